#include "routpath/auto_rout.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <string>

#include "command/argument_command.h"
#include "command/command_interpreter.h"
#include "command/command_text.h"
#include "foundation/display_units.h"
#include "foundation/geometry_intersect.h"
#include "foundation/geometry_lines.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "routpath/cad_path_link.h"
#include "model/cad_undo.h"
#include "model/drill_tools.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "platform/message_box.h"
#include "routpath/contour_offset.h"
#include "routpath/path_selection.h"
#include "routpath/pocket_rout.h"
#include "tapein/rout_import.h"
#include "model/tool_tables.h"
#include "model/undo_journal.h"

namespace {

constexpr int32_t kLowFeedCutOutOvercut = -3810000;  // stops 0.15 in short

struct TVec {
  double X = 0, Y = 0;
};

TVec Sub(const TIntPoint& a, const TIntPoint& b) { return {double(a.X) - b.X, double(a.Y) - b.Y}; }
double Len(TVec v) { return std::hypot(v.X, v.Y); }
double Dist(const TIntPoint& a, const TIntPoint& b) { return Len(Sub(a, b)); }
TVec Unit(TVec v) {
  const double l = Len(v);
  return l == 0.0 ? TVec{} : TVec{v.X / l, v.Y / l};
}
TIntPoint Moved(const TIntPoint& p, TVec dir, double d) {
  return {SaturatingRound(p.X + dir.X * d), SaturatingRound(p.Y + dir.Y * d)};
}
// Rotated a quarter turn to the left (left true) or right.
TVec Normal(TVec d, bool left) { return left ? TVec{-d.Y, d.X} : TVec{d.Y, -d.X}; }

int32_t RoundedDistance(const TIntPoint& a, const TIntPoint& b) {
  return SaturatingRound(Dist(a, b));
}

// The point of the entity's circle at arc length s from q in the direction
// of travel (negative s goes back).
TIntPoint AlongArc(const TProfileEntity& e, const TIntPoint& q, double s) {
  const double r = e.Radius();
  if (r == 0.0) return q;
  double a = s * 180.0 / (r * M_PI);
  if (e.Reversed) a = -a;  // clockwise travel
  double x = double(q.X) - e.Centre.X, y = double(q.Y) - e.Centre.Y;
  const double c = CosDeg(a), sn = SinDeg(a);
  return {SaturatingRound(e.Centre.X + x * c - y * sn), SaturatingRound(e.Centre.Y + x * sn + y * c)};
}

// The direction of travel of the entity at q.
TVec TangentAt(const TProfileEntity& e, const TIntPoint& q) {
  if (!e.IsArc()) return Unit(Sub(e.To(), e.From()));
  const TVec radial = Unit(Sub(q, e.Centre));
  return Normal(radial, !e.Reversed);
}

// Swept length of the entity as cut.
double ArcSweepDeg(const TProfileEntity& e) {
  const double a1 = std::atan2(double(e.P1.Y) - e.Centre.Y, double(e.P1.X) - e.Centre.X);
  const double a2 = std::atan2(double(e.P2.Y) - e.Centre.Y, double(e.P2.X) - e.Centre.X);
  double sweep = (a2 - a1) * 180.0 / M_PI;
  return NormalizeAngle360(sweep);
}

// The writer of one generation: the settings of the call, the tool of the
// layer, the feed words and the failure messages.
class TAutoRouter {
 public:
  TAutoRouter(TRoutDatabase& rtdb, bool group, bool& suppress)
      : Db(rtdb), Group(group), Suppress(suppress), Settings(rtdb.AutoRout),
        Layer(CurrentLayer) {
    const TRoutLayerTool& tools = RoutLayerTools[Layer];
    if (tools.Tool >= 1 && tools.Tool <= kToolCount) Tool = RoutToolPages[Layer][tools.Tool];
    if (tools.CompIndex >= 1 && tools.CompIndex <= kToolCount)
      CompDiameter = RoutToolPages[Layer][tools.CompIndex].CompDiameter;
    LeftComp = rtdb.AutoRoutCompensation == 1;
  }

  bool Route(std::vector<TProfileEntity>& path, bool reverse);

 private:
  void Fail(const std::string& text) {
    if (Group)
      ShowSuppressibleWarning(text, Suppress);
    else
      ErrorBox(text);
  }
  // The feed word of the next move: a changed feed once, then 0.
  uint16_t Word(uint16_t feed) {
    if (feed == 0 || feed == Current) return 0;
    Current = feed;
    return feed;
  }
  TIntPoint Here() const { return {Db.PathState[Layer].LastX, Db.PathState[Layer].LastY}; }
  void Jog(const TIntPoint& p) { Db.AppendJog(p); }
  void LineTo(const TIntPoint& p, uint16_t feed) { Db.AppendLine(p, Word(feed), NoZOffset); }
  void ArcTo(const TIntPoint& p, const TProfileEntity& e, uint16_t feed) {
    Db.AppendArc(p, e.Centre, Word(feed), NoZOffset, e.Reversed);
  }
  void Cut(const TProfileEntity& e, const TIntPoint& to, uint16_t feed) {
    if (e.IsArc())
      ArcTo(to, e, feed);
    else
      LineTo(to, feed);
  }
  // The compensation side of the direction of travel.
  TVec SideOf(TVec direction) const { return Normal(direction, LeftComp); }

  bool Plunge(const std::vector<TProfileEntity>& path, uint16_t feed);
  void CutOut(const std::vector<TProfileEntity>& path, uint16_t feed);
  void CutOutOnLast(const TProfileEntity& last, int32_t overcut, uint16_t feed);
  bool GougeCorner(const std::vector<TProfileEntity>& path, std::size_t i, TIntPoint& corner);

  TRoutDatabase& Db;
  bool Group;
  bool& Suppress;
  TAutoRoutSettings Settings;
  uint8_t Layer;
  TRoutToolRecord Tool;
  int32_t CompDiameter = 0;
  bool LeftComp = false;
  uint16_t Current = 0;
};

bool TAutoRouter::Plunge(const std::vector<TProfileEntity>& path, uint16_t feed) {
  const TProfileEntity& first = path.front();
  const TIntPoint t0 = first.From(), t1 = first.To();
  const double a = Settings.PlungeOffset, b = Settings.Overcut, c = Settings.EdgeOffset;
  const uint8_t style = Settings.AutoRoutStyle;
  const bool inside = Settings.Inside != 0;
  if (first.Type != etCadLine && first.Type != etCadArc) {
    Fail("Illegal Plunge");
    return false;
  }
  if (style != 0 || !inside) {
    if (style != 0 && a + b > Dist(t0, t1)) {
      Fail("Error on plunge : Side is too short for cut-in.");
      return false;
    }
    if (style != 0) {
      const TIntPoint p = first.IsArc() ? AlongArc(first, t0, a) : Moved(t0, Unit(Sub(t1, t0)), a);
      Jog(Moved(p, SideOf(TangentAt(first, p)), c));
      LineTo(p, feed);
    } else {
      // Corner style outside: the jog on the side's extension before T0;
      // an arc is entered along its tangent.
      const TVec back = TangentAt(first, t0);
      Jog(Moved(t0, back, -a));
      if (first.IsArc()) LineTo(t0, feed);
    }
    return true;
  }
  // Corner style inside: the plunge lies on the last entity, ending at T0.
  TProfileEntity last = path.back();
  if (Dist(last.P1, t0) < Dist(last.P2, t0)) last.Reversed = true;
  else last.Reversed = false;
  if (last.IsArc()) {
    // The plunge point must lie on the arc itself.
    const TIntPoint q = AlongArc(last, t0, -a);
    if (a > last.Length() + kVertexTolerance) {
      Fail("Error on plunge : Side is too short for cut-in.");
      return false;
    }
    Jog(q);
    ArcTo(t0, last, feed);
    return true;
  }
  if (last.Type != etCadLine) {
    Fail("Illegal Plunge");
    return false;
  }
  if (last.Length() < a) {
    Fail("Error on plunge : Side is too short for cut-in.");
    return false;
  }
  Jog(Moved(t0, Unit(Sub(last.From(), last.To())), a));
  LineTo(t0, feed);
  return true;
}

void TAutoRouter::CutOut(const std::vector<TProfileEntity>& path, uint16_t feed) {
  const TProfileEntity& first = path.front();
  const TIntPoint t0 = first.From(), t1 = first.To();
  const double a = Settings.PlungeOffset, b = Settings.Overcut, c = Settings.EdgeOffset;
  const uint8_t style = Settings.AutoRoutStyle;
  if (style != 0) {
    const TIntPoint p = first.IsArc() ? AlongArc(first, t0, a + b) : Moved(t0, Unit(Sub(t1, t0)), a + b);
    Cut(first, p, feed);
    if (style == 2) LineTo(Moved(p, SideOf(TangentAt(first, p)), c), 0);
    return;
  }
  if (Settings.Inside == 0) {
    TProfileEntity last = path.back();
    last.Reversed = Dist(last.P1, t0) < Dist(last.P2, t0);
    LineTo(Moved(t0, TangentAt(last, t0), b), feed);
    return;
  }
  if (first.IsArc()) {
    if (b > first.Length() + kVertexTolerance) {
      Fail("Error on cutout : Side is too short.");
      return;
    }
    ArcTo(AlongArc(first, t0, b), first, feed);
    return;
  }
  if (first.Length() < b) {
    Fail("Error on cutout : Side is too short.");
    return;
  }
  LineTo(Moved(t0, Unit(Sub(t1, t0)), b), feed);
}

void TAutoRouter::CutOutOnLast(const TProfileEntity& last, int32_t overcut, uint16_t feed) {
  const TIntPoint e1 = last.To();
  if (overcut < 0 && last.Length() < -double(overcut)) {
    Fail("Error on cutout : Side is too short.");
    Cut(last, e1, feed);
    return;
  }
  const TIntPoint p = last.IsArc() ? AlongArc(last, e1, overcut)
                                   : Moved(e1, Unit(Sub(e1, last.From())), overcut);
  Cut(last, p, feed);
}

// A line, an arc with the cutter on its inner side too small for the tool,
// and a line: the two lines meet instead (the arc is skipped).
bool TAutoRouter::GougeCorner(const std::vector<TProfileEntity>& path, std::size_t i,
                              TIntPoint& corner) {
  if (!GougeAvoid || path[i].IsArc() || i + 1 >= path.size()) return false;
  const TProfileEntity& arc = path[i + 1];
  const TProfileEntity& next = path[(i + 2) % path.size()];
  if (!arc.IsArc() || next.IsArc()) return false;
  // The arc has not been cut yet, so its direction is decided here as the
  // profile loop will decide it: from where the line ends.
  const TIntPoint lineEnd = path[i].To();
  const bool arcReversed = Dist(arc.P2, lineEnd) < Dist(arc.P1, lineEnd);
  const bool right = !LeftComp;
  if (!((arcReversed && right) || (!arcReversed && !right))) return false;
  const double d = 2.0 * RoundedDistance(arc.Centre, arc.P1) - 25400.0;
  if (Tool.Diameter < d || CompDiameter < d) return false;
  TRealPoint p1{double(path[i].From().X), double(path[i].From().Y)};
  TRealPoint p2{double(path[i].To().X), double(path[i].To().Y)};
  TRealPoint q1{double(next.P1.X), double(next.P1.Y)};
  TRealPoint q2{double(next.P2.X), double(next.P2.Y)};
  TLineEq e1, e2;
  TLinePointDir f;
  TRealLine l;
  LineEquation(0, p1, p2, e1, f);
  LineEquation(0, q1, q2, e2, f);
  TRealPoint q;
  uint8_t n = 0;
  Intersect(0, e1, e2, f, f, l, l, q, n);
  if (n == 0 || GeoErrorCode != 0) return false;
  corner = {SaturatingRound(q.X), SaturatingRound(q.Y)};
  return true;
}

bool TAutoRouter::Route(std::vector<TProfileEntity>& path, bool reverse) {
  // The joint vertex: the second entity continues from where the first ends.
  path.front().Reversed = reverse;
  const TIntPoint s = path.front().To();
  if (path.size() > 1) {
    const TProfileEntity& second = path[1];
    if (std::min(Dist(second.P1, s), Dist(second.P2, s)) > kVertexTolerance)
      std::reverse(path.begin() + 1, path.end());
  }
  const uint16_t cutInFeed = Settings.LowFeedCutIn ? Tool.LowFeed : 0;
  if (!Plunge(path, cutInFeed)) return false;
  uint16_t feed = Settings.LowFeedCutIn ? Tool.HighFeed : 0;
  bool cutOutPending = true;
  bool emitted = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    TProfileEntity& e = path[i];
    if (i > 0) e.Reversed = Dist(e.P2, Here()) < Dist(e.P1, Here());
    const bool last = i + 1 == path.size();
    if (last && Settings.AutoRoutStyle == 0 && Settings.Overcut < 0) {
      CutOutOnLast(e, Settings.Overcut, feed);
      cutOutPending = false;
      emitted = true;
      break;
    }
    if (last && Settings.LowFeedCutOut && Settings.AutoRoutStyle == 0) {
      CutOutOnLast(e, kLowFeedCutOutOvercut, feed);
      Cut(e, e.To(), Tool.LowFeed);
      emitted = true;
      continue;
    }
    TIntPoint corner;
    if (GougeCorner(path, i, corner)) {
      LineTo(corner, feed);
      feed = 0;
      emitted = true;
      ++i;  // the arc is skipped; the next line starts at the corner
      continue;
    }
    Cut(e, e.To(), feed);
    feed = 0;
    emitted = true;
  }
  if (cutOutPending) CutOut(path, Settings.LowFeedCutOut ? Tool.LowFeed : 0);
  return emitted;
}

// A rout path of a layer: its jog's tool and compensation, and the profile
// corners its cuts end on, each once, in the order it reaches them.
struct TRoutedProfile {
  int32_t Tool = 0;
  uint8_t Comp = 0;
  std::vector<TIntPoint> Corners;
};

// True when a path of the layer made before the entities first ..
// RoutEntityCount (the path just made of the profile) cuts the profile
// already: with the same tool and compensation, reaching every corner of the
// profile the new path reaches, in the same turn (from wherever it started,
// so a pick on another side of the profile counts too).
bool RoutedAlready(TRoutDatabase& rtdb, uint8_t layer, int32_t first, const std::vector<TProfileEntity>& profile) {
  if (Seq == nullptr || first > RoutEntityCount || !IsRoutLayer(layer)) return false;
  std::vector<TIntPoint> corners;
  for (const TProfileEntity& e : profile) corners.insert(corners.end(), {e.P1, e.P2});
  auto reach = [&](TRoutedProfile& path, TRoutEntity& e) {
    const TIntPoint at{e.X, e.Y};
    if (std::find(corners.begin(), corners.end(), at) != corners.end() &&
        std::find(path.Corners.begin(), path.Corners.end(), at) == path.Corners.end())
      path.Corners.push_back(at);
  };
  TRoutedProfile made;
  for (int32_t h = first; h <= RoutEntityCount; ++h) {
    TRoutEntity* e = rtdb.EntityAt(h);
    if (e == nullptr) continue;
    if (h == first) {
      if (e->GetType() != etRoutJog) return false;
      made.Tool = e->GetToolNumber();
      made.Comp = e->GetComp();
    } else {
      reach(made, *e);
    }
  }
  if (made.Corners.size() < 2) return false;
  auto same = [&](const TRoutedProfile& path) {
    if (path.Tool != made.Tool || path.Comp != made.Comp || path.Corners.size() != made.Corners.size()) return false;
    const std::size_t n = path.Corners.size();
    const auto at = std::find(path.Corners.begin(), path.Corners.end(), made.Corners.front());
    if (at == path.Corners.end()) return false;
    const std::size_t k = std::size_t(at - path.Corners.begin());
    for (std::size_t i = 0; i < n; ++i)
      if (!(path.Corners[(k + i) % n] == made.Corners[i])) return false;
    return true;
  };
  TRoutedProfile path;
  bool walking = false;
  for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
    const int32_t h = Seq->HandleAt(layer, p);
    const TEntitySlot* slot = rtdb.SlotAt(h);
    TRoutEntity* e = rtdb.EntityAt(h);
    if (h >= first || slot == nullptr || SlotDeleted(slot->Flags) || e == nullptr) continue;
    const uint8_t t = e->GetType();
    if (t == etRoutLine || IsArcType(t)) {
      if (walking) reach(path, *e);
      continue;
    }
    if (walking && same(path)) return true;
    walking = t == etRoutJog;
    if (walking) path = {e->GetToolNumber(), e->GetComp(), {}};
  }
  return walking && same(path);
}

TProfileEntity EntityOf(TRootDBObject* o) {
  TProfileEntity e;
  e.Type = o->GetType();
  o->GetPoint(e.P1);
  o->GetSecondPoint(e.P2);
  if (e.Type == etCadArc) o->GetThirdPoint(e.Centre);
  return e;
}

}  // namespace

TGenerationGuard::TGenerationGuard(TRoutDatabase& rtdb)
    : Db(rtdb), Layer(CurrentLayer), First(RoutEntityCount + 1) {
  if (Layer >= kFirstRoutLayer && Layer <= kLastRoutLayer) Saved = rtdb.PathState[Layer];
}

TGenerationGuard::~TGenerationGuard() {
  if (Committed) return;
  if (TRoutImportTarget* target = RoutImportTarget()) target->DiscardFrom(First);
  // The additions stay in the journal's open step; their deletions go
  // with them, so no later step brings them back.
  if (RoutUndo != nullptr)
    for (int32_t i = RoutEntityCount; i >= First; --i) RoutUndo->RecordDelete(i);
  if (Layer >= kFirstRoutLayer && Layer <= kLastRoutLayer) Db.PathState[Layer] = Saved;
}

double TProfileEntity::Radius() const { return RoundedDistance(Centre, P1); }

double TProfileEntity::Length() const {
  if (!IsArc()) return Dist(P1, P2);
  return Radius() * M_PI * ArcSweepDeg(*this) / 180.0;
}

std::vector<TProfileEntity> ProfileOf(TRootEntityHandle* path) {
  std::vector<TProfileEntity> out;
  for (TRootEntityHandle* h = path; h != nullptr; h = h->Next) {
    TRootDBObject* o = h->GetEntity();
    if (o == nullptr) continue;
    const uint8_t t = o->GetType();
    if (t == etCadLine || t == etCadArc) out.push_back(EntityOf(o));
  }
  return out;
}

bool ChooseCutDirection(const TRoutDatabase& rtdb, const std::vector<TProfileEntity>& path) {
  if (path.empty()) return false;
  // The profile in its natural direction, measured by its enclosed area.
  TContourList contour;
  TIntPoint at = path.front().P1;
  contour.Start(at.X, at.Y);
  for (std::size_t i = 0; i < path.size(); ++i) {
    TProfileEntity e = path[i];
    e.Reversed = i > 0 && RoundedDistance(e.P2, at) < RoundedDistance(e.P1, at);
    const TIntPoint to = e.To();
    if (!e.IsArc())
      contour.AppendLine(to.X, to.Y, 0);
    else if (e.Reversed)
      contour.AppendArcCW(to.X, to.Y, 0, e.Centre.X, e.Centre.Y);
    else
      contour.AppendArcCCW(to.X, to.Y, 0, e.Centre.X, e.Centre.Y);
    at = to;
  }
  contour.Close();
  const double area = contour.Closed() ? contour.SignedArea2() : 0.0;
  if (area == 0.0) {
    InformationBox("Figure eight detected.  Rout errors might occur!");
    return false;
  }
  const bool inside = rtdb.AutoRout.Inside != 0;
  const bool left = rtdb.AutoRoutCompensation == 1;
  // An outside rout with the cutter on the right runs counter-clockwise.
  const bool counterClockwise = area > 0.0;
  return counterClockwise ? (left ? !inside : inside) : (left ? inside : !inside);
}

void StartAtLongestSide(std::vector<TProfileEntity>& path) {
  if (path.size() < 2) return;
  std::size_t best = 0;
  double longest = 0.0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const double l = path[i].Length();
    if (l > longest) {
      longest = l;
      best = i;
    }
  }
  std::rotate(path.begin(), path.begin() + best, path.end());
  const TIntPoint s = path.front().P2;
  const TProfileEntity& second = path[1];
  if (std::min(Dist(second.P1, s), Dist(second.P2, s)) > kVertexTolerance)
    std::reverse(path.begin() + 1, path.end());
}

bool AutoRoutPath(TRoutDatabase& rtdb, TRootEntityHandle*& path, bool inside, bool alreadyLinked,
                  bool group, bool& suppress) {
  if (path == nullptr) return false;
  rtdb.AutoRout.Inside = inside ? 1 : 0;
  const std::string operation = inside ? "auto rout inside" : "auto rout outside";
  auto freePath = [&] {
    FreeObjectList(path);
    path = nullptr;
  };
  TRootDBObject* head = path->GetEntity();
  std::vector<TProfileEntity> profile;
  if (head != nullptr && head->GetType() == etCadCircle) {
    if (group) return false;
    TIntPoint centre;
    head->GetPoint(centre);
    const int32_t radius = head->GetRadius();
    const TIntPoint on{static_cast<int32_t>(int64_t{centre.X} + radius), centre.Y};
    if (inside) {
      // A routed circle: the machine cuts it as a hole, inside its radius.
      rtdb.AddCircleAndDraw(centre, on, 0);
      if (RoutUndo != nullptr) RoutUndo->BeginOperation(operation);
      freePath();
      return false;
    }
    // Outside, the cutter must run round the circle, not in it: the circle
    // is routed as a profile of its two halves.
    const TIntPoint far{static_cast<int32_t>(int64_t{centre.X} - radius), centre.Y};
    TProfileEntity half;
    half.Type = etCadArc;
    half.Centre = centre;
    half.P1 = on;
    half.P2 = far;
    profile.push_back(half);
    std::swap(half.P1, half.P2);
    profile.push_back(half);
  } else {
    if (!alreadyLinked && !LinkClosedPathTest(path, true)) {
      ErrorBox("AutoRout could not link a closed path!");
      freePath();
      return false;
    }
    profile = ProfileOf(path);
    if (alreadyLinked) StartAtLongestSide(profile);
  }
  path->DrawList();
  if (profile.empty()) {
    freePath();
    return false;
  }
  const bool reverse = ChooseCutDirection(rtdb, profile);
  bool emitted = false, twice = false;
  const TUndoJournal::TMark mark = RoutUndo != nullptr ? RoutUndo->Mark() : TUndoJournal::TMark{};
  {
    TGenerationGuard guard(rtdb);
    const int32_t first = RoutEntityCount + 1;
    TAutoRouter router(rtdb, group, suppress);
    emitted = router.Route(profile, reverse);
    // A picked profile whose path the layer has already would be routed
    // twice: the second path is taken out again.
    twice = emitted && !alreadyLinked && RoutedAlready(rtdb, CurrentLayer, first, profile);
    if (!twice) guard.Commit();
  }
  if (twice) {
    // Nothing of it is left to undo or redo.
    if (RoutUndo != nullptr) RoutUndo->TakeBackTo(mark);
    rtdb.Redraw(1);
    const std::string text = "This profile is routed on layer R" + std::to_string(CurrentLayer - kFirstRoutLayer) +
                             " already: a second path would rout it twice.\r\nNothing was changed.";
    if (group)
      ShowSuppressibleWarning(text, suppress);
    else
      ErrorBox(text);
    freePath();
    return false;
  }
  if (emitted) {
    rtdb.Redraw(1);
    if (!group && RoutUndo != nullptr) RoutUndo->BeginOperation(operation);
  }
  freePath();
  return emitted;
}

// ---- The pick commands -------------------------------------------------------------------

namespace {

// Routs the profile of the picked CAD entity, or every closed profile of a
// window (nearest first, one undo step). The pick goes through the argument
// command, which prompts for it, highlights it and lets it be typed or
// taken back like any other pick.
void DefineAutoRoutPick(int32_t number, const std::string& text, const std::string& title, bool inside) {
  TArgumentCommandDef def;
  def.Text = text + "(PICK)";
  def.Title = title;
  def.Prompts = {"Pick entity of the profile"};
  def.PickMode = 2;
  def.Repeat = true;
  def.WindowPick = true;
  def.Execute = [inside](const std::string& command) {
    if (RTDB == nullptr) return false;
    TRootEntityHandle* selection = SelectionOfCommand(command);
    if (selection == nullptr) {
      MessageBeep(MB_OK);
      return false;
    }
    bool emitted = false;
    try {
      emitted = RoutSelection(*RTDB, selection, inside ? prkAutoInside : prkAutoOutside);
    } catch (const ERoutCancelled&) {
    } catch (const std::exception& e) {
      ErrorBox(e.what());
    }
    FreeObjectList(selection);
    return emitted;
  };
  DefineArgumentCommand(number, def);
}

}  // namespace

void DefineAutoRoutCommands() {
  DefineAutoRoutPick(AutoRoutOutsideCommand, "AUTOROUTOUTPATH", "Auto Rout Outside", false);
  DefineAutoRoutPick(AutoRoutInsideCommand, "AUTOROUTINPATH", "Auto Rout Inside", true);
}
