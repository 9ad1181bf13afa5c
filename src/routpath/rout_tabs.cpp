#include "routpath/rout_tabs.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <numbers>

#include "foundation/display_units.h"
#include "foundation/geometry_points.h"
#include "foundation/settings.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/tool_tables.h"
#include "platform/message_box.h"
#include "routpath/checked_fields.h"

namespace {

struct TVec {
  double X = 0, Y = 0;
};
TVec operator+(TVec a, TVec b) { return {a.X + b.X, a.Y + b.Y}; }
TVec operator*(double k, TVec a) { return {k * a.X, k * a.Y}; }
TVec Of(const TIntPoint& p) { return {double(p.X), double(p.Y)}; }
TIntPoint Rounded(TVec v) { return {SaturatingRound(v.X), SaturatingRound(v.Y)}; }
// p + v with v rounded on its own first.
TIntPoint Moved(const TIntPoint& p, TVec v) {
  const TIntPoint r = Rounded(v);
  return Rounded({double(p.X) + r.X, double(p.Y) + r.Y});
}
double Distance(const TIntPoint& a, const TIntPoint& b) { return std::hypot(double(a.X) - b.X, double(a.Y) - b.Y); }
TVec Unit(double degrees) {
  const double r = degrees * std::numbers::pi / 180.0;
  return {std::cos(r), std::sin(r)};
}
double AngleOf(TVec v) {
  if (std::hypot(v.X, v.Y) <= 1e-10) return 0.0;
  return std::atan2(v.Y, v.X) * 180.0 / std::numbers::pi;
}
TVec Left(TVec f) { return {-f.Y, f.X}; }

// What the two tab operations share: the picked entity, its path and the
// tab's width.
struct TTabSetup {
  int32_t Index = 0, Prev = 0, Jog = 0;
  uint8_t Layer = 0;
  TIntPoint S, E;
  TRoutEntity* Picked = nullptr;
  TRoutEntity* PathJog = nullptr;
  TAutoTabSettings Tab;
  int32_t A = 0;   // half of the neck offset along the path, (A - B) div 2
  int32_t W = 0;   // the gap between the path points
  int32_t H = 0;   // half of it
};

bool Prepare(int32_t index, TTabSetup& s) {
  if (RTDB == nullptr || Seq == nullptr) return false;
  s.Index = index;
  s.Picked = RTDB->EntityAt(index);
  s.Layer = Seq->LayerOf(index);
  if (s.Picked == nullptr || !IsRoutLayer(s.Layer)) return false;
  Seq->SeekHandle(index);
  s.Prev = Seq->PrevPathEntity(s.Layer);
  // A path without its jog is a damaged sequence (already reported); the
  // tab would have no tool or comp side to start the new path with.
  s.Jog = Seq->FindPathJog(index);
  s.PathJog = RTDB->EntityAt(s.Jog);
  TRoutEntity* prev = RTDB->EntityAt(s.Prev);
  if (s.PathJog == nullptr || prev == nullptr) return false;
  prev->GetPoint(s.S);
  s.Picked->GetPoint(s.E);
  s.Tab = RTDB->AutoTab;
  s.A = (s.Tab.Width - s.Tab.CutInWidth) / 2;
  int64_t w = s.Tab.Width;
  if (s.Tab.CutterRadiusOffset) {
    int32_t tool = s.PathJog->GetToolNumber();
    if (tool < 1 || tool > kToolCount) tool = 1;
    const uint8_t layer = IsRoutLayer(CurrentLayer) ? CurrentLayer : s.Layer;
    const double d = RoutToolPages[layer][tool].Diameter;
    w += int64_t(d);
    // A complex tab on a compensated path: the cutter's edge runs along the
    // slanted neck, which widens the gap by the cutter's width across it.
    if (!s.Tab.TabType && s.PathJog->GetComp() != 0) {
      const double len = std::hypot(double(s.A), double(s.Tab.CutInOffset));
      const double x = len <= 1e-10 ? d * 0.5 : d * 0.5 * s.A / len;
      w += std::llround(2.0 * x);
    }
  }
  s.W = int32_t(std::clamp<int64_t>(w, 0, INT32_MAX));
  s.H = s.W / 2;
  return true;
}

// The path side: left of travel, right when the path is compensated left.
TVec PathSide(const TTabSetup& s, TVec travel) {
  const TVec left = Left(travel);
  return s.PathJog->GetComp() == 1 ? -1.0 * left : left;
}

void Carry(int32_t index, const TTabSetup& s) {
  if (TRoutEntity* e = RTDB->EntityAt(index)) e->SetStepObj(s.PathJog->GetStepObj());
}

// Holes from first, stepping by step, then the new path start (and the
// complex tab's neck back to p2).
void FinishTab(const TTabSetup& s, const TIntPoint& p2, TVec travel, TVec side, TIntPoint hole,
               TVec holeStep) {
  if (s.Tab.DrilledHolesEnabled)
    for (int k = 0; k < s.Tab.NumberOfHoles; ++k) {
      Carry(RTDB->AddHole(hole, s.Layer, s.Tab.ToolNumber), s);
      hole = Moved(hole, holeStep);
    }
  const bool complex = !s.Tab.TabType;
  const TIntPoint start =
      complex ? Moved(p2, -double(s.A) * travel + double(s.Tab.CutInOffset) * side) : p2;
  Carry(RTDB->AddJog(start, s.Layer, s.PathJog->GetComp(), s.PathJog->GetToolNumber(),
                     s.PathJog->GetCompIndex()),
        s);
  if (complex) RTDB->AddLine(p2, s.Layer, 0, NoZOffset);
  if (RoutUndo != nullptr) RoutUndo->BeginOperation("Add Tab");
  RTDB->MarkPathChanged(s.Prev);
  RTDB->UpdateChangedPath();
}

}  // namespace

bool AddTabOnLine(int32_t handle, const TIntPoint& q) {
  TTabSetup s;
  if (!Prepare(handle, s) || s.Picked->GetType() != etRoutLine) return false;
  if (q.X < std::min(s.S.X, s.E.X) || q.X > std::max(s.S.X, s.E.X) ||
      q.Y < std::min(s.S.Y, s.E.Y) || q.Y > std::max(s.S.Y, s.E.Y)) {
    ErrorBox("You must select a point on the line!");
    return false;
  }
  if (Distance(s.S, q) < s.H || Distance(s.E, q) < s.H) {
    ErrorBox("Tab is too close to the end of the line!");
    return false;
  }
  RTDB->EraseEntity(handle);
  const TVec u = Unit(AngleOf({double(s.S.X) - q.X, double(s.S.Y) - q.Y}));
  const TVec f = -1.0 * u;
  const TVec n = PathSide(s, f);
  const TIntPoint p1 = Rounded(Of(q) + double(s.H) * u);
  const TIntPoint p2 = Rounded(Of(q) + double(s.H) * f);
  Seq->SetInsertAfter(s.Prev);
  RTDB->AddLine(p1, s.Layer, 0, NoZOffset);
  if (!s.Tab.TabType)
    RTDB->AddLine(Moved(p1, double(s.A) * f + double(s.Tab.CutInOffset) * n), s.Layer, 0, NoZOffset);
  const double spread = (s.Tab.NumberOfHoles - 1) / 2.0 * s.Tab.HoleSpacing;
  const TIntPoint first = Moved(Moved(q, double(s.Tab.HoleOffset) * n), spread * u);
  FinishTab(s, p2, f, n, first, double(s.Tab.HoleSpacing) * f);
  return true;
}

bool AddTabOnArc(int32_t handle, const TIntPoint& q) {
  TTabSetup s;
  if (!Prepare(handle, s) || !IsArcType(s.Picked->GetType())) return false;
  const uint8_t type = s.Picked->GetType();
  TIntPoint k;
  s.Picked->GetCentre(k);
  const double radius = Distance(s.S, k);
  // Distance from the arc: off the radius within the sweep, else to the
  // nearer end.
  const double aS = AngleOf({double(s.S.X) - k.X, double(s.S.Y) - k.Y});
  const double aE = AngleOf({double(s.E.X) - k.X, double(s.E.Y) - k.Y});
  const double aQ = AngleOf({double(q.X) - k.X, double(q.Y) - k.Y});
  auto ccwFrom = [](double from, double to) {
    double d = std::fmod(to - from, 360.0);
    return d < 0 ? d + 360.0 : d;
  };
  const bool ccw = type == etRoutArc;
  double sweep = ccw ? ccwFrom(aS, aE) : ccwFrom(aE, aS);
  if (sweep == 0.0) sweep = 360.0;
  const bool within = (ccw ? ccwFrom(aS, aQ) : ccwFrom(aQ, aS)) <= sweep;
  const double off = within ? std::fabs(radius - Distance(q, k))
                            : std::min(Distance(q, s.S), Distance(q, s.E));
  if (off / double(InchUnitsPerDisplayUnit) >= 0.0001) {
    ErrorBox("You must select a point on arc !");
    return false;
  }
  if (Distance(s.S, q) < s.H || Distance(s.E, q) < s.H) {
    ErrorBox("Tab is too close to the end of the arc!");
    return false;
  }
  RTDB->EraseEntity(handle);
  double theta = radius > 0 ? s.W / radius * 180.0 / std::numbers::pi : 0.0;
  if (ccw) theta = -theta;
  const TVec r = {double(q.X) - k.X, double(q.Y) - k.Y};
  auto turned = [&](double degrees) {
    const TVec c = Unit(degrees);
    return Rounded(Of(k) + TVec{r.X * c.X - r.Y * c.Y, r.X * c.Y + r.Y * c.X});
  };
  const TIntPoint p1 = turned(theta / 2), p2 = turned(-theta / 2);
  const TVec t = Unit(aQ + 90.0);
  const TVec f = ccw ? t : -1.0 * t;
  const TVec n = PathSide(s, f);
  Seq->SetInsertAfter(s.Prev);
  RTDB->AddArc(p1, s.Layer, 0, !ccw, k, NoZOffset);
  if (!s.Tab.TabType)
    RTDB->AddLine(Moved(p1, double(s.A) * f + double(s.Tab.CutInOffset) * n), s.Layer, 0, NoZOffset);
  const double spread = (s.Tab.NumberOfHoles - 1) / 2.0 * s.Tab.HoleSpacing;
  const TIntPoint first = Moved(Moved(q, double(s.Tab.HoleOffset) * n), spread * t);
  FinishTab(s, p2, f, n, first, -double(s.Tab.HoleSpacing) * t);
  return true;
}

bool AddTabAt(int32_t handle, const TIntPoint& click) {
  TRoutEntity* e = RTDB != nullptr && Seq != nullptr ? RTDB->EntityAt(handle) : nullptr;
  if (e == nullptr) return false;
  const uint8_t type = e->GetType();
  if (type != etRoutLine && !IsArcType(type)) return false;
  TIntPoint end;
  e->GetPoint(end);
  if (IsArcType(type)) {
    TIntPoint k;
    e->GetCentre(k);
    TIntPoint start;
    const uint8_t layer = Seq->LayerOf(handle);
    Seq->SeekHandle(handle);
    TRoutEntity* prev = RTDB->EntityAt(Seq->PrevPathEntity(layer));
    if (prev == nullptr) return false;
    prev->GetPoint(start);
    const double radius = Distance(start, k);
    const TVec r = {double(click.X) - k.X, double(click.Y) - k.Y};
    const double len = std::hypot(r.X, r.Y);
    if (len <= 1e-10) return false;
    return AddTabOnArc(handle, Rounded(Of(k) + (radius / len) * r));
  }
  const uint8_t layer = Seq->LayerOf(handle);
  Seq->SeekHandle(handle);
  TRoutEntity* prev = RTDB->EntityAt(Seq->PrevPathEntity(layer));
  if (prev == nullptr) return false;
  TIntPoint start;
  prev->GetPoint(start);
  const TVec d = {double(end.X) - start.X, double(end.Y) - start.Y};
  const double len2 = d.X * d.X + d.Y * d.Y;
  if (len2 <= 0) return false;
  const double t = ((double(click.X) - start.X) * d.X + (double(click.Y) - start.Y) * d.Y) / len2;
  return AddTabOnLine(handle, Rounded(Of(start) + t * d));
}

namespace {

// One run of a layer's cut order as the tabs see it: a jog's path, a hole,
// or what no tab makes (a circle's path, a command).
struct TCutRun {
  enum TKind : uint8_t { Path, Hole, Other } Kind = Other;
  int32_t Start = 0;
  TIntPoint Begin, End;  // of a path: its jog's point and its last point
  // Of a path: where its first move ends (a lead-in meets the profile
  // there), and its moves.
  TIntPoint Entry;
  struct TMove {
    TIntPoint From, To, Centre;
    uint8_t Type = 0;  // a line's or an arc's
  };
  std::vector<TMove> Moves;
};

std::vector<TCutRun> CutRuns(uint8_t layer) {
  std::vector<TCutRun> runs;
  std::size_t path = SIZE_MAX;  // the run the next line or arc goes on
  for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
    const int32_t h = Seq->HandleAt(layer, p);
    TRoutEntity* e = SlotInMask(RoutSlotFlags(h), DisplayedNCLayerMask) ? RTDB->EntityAt(h) : nullptr;
    if (e == nullptr) continue;
    TIntPoint at;
    e->GetPoint(at);
    const uint8_t type = e->GetType();
    if (type == etRoutLine || IsArcType(type)) {
      if (path >= runs.size()) continue;
      TCutRun& run = runs[path];
      if (run.Moves.empty()) run.Entry = at;
      TIntPoint centre = at;
      if (type != etRoutLine) e->GetCentre(centre);
      run.Moves.push_back({run.End, at, centre, type});
      run.End = at;
      continue;
    }
    if (type == etRoutJog) path = runs.size();
    if (type == etRoutCircle) path = SIZE_MAX;
    runs.push_back({type == etRoutJog ? TCutRun::Path : type == etRoutHole ? TCutRun::Hole : TCutRun::Other, h,
                    at, at, {}, {}});
  }
  return runs;
}

// Whether the holes between paths u and v stand as a tab puts its break-off
// holes: their row is centred on the gap (on a line, an arc, simple or
// complex, also after a copy is moved, turned or mirrored), so their mean
// lies on the line square to the gap through its middle. 0.0001 in allows
// for the rounding of every point.
bool BesideGap(const std::vector<TCutRun>& runs, std::size_t u, std::size_t v) {
  const double gx = double(runs[v].Begin.X) - runs[u].End.X, gy = double(runs[v].Begin.Y) - runs[u].End.Y;
  const double gap = std::hypot(gx, gy);
  if (gap == 0) return true;
  double x = 0, y = 0;
  for (std::size_t k = u + 1; k < v; ++k) x += runs[k].Begin.X, y += runs[k].Begin.Y;
  const double n = double(v - u - 1);
  x = x / n - (double(runs[u].End.X) + runs[v].Begin.X) / 2;
  y = y / n - (double(runs[u].End.Y) + runs[v].Begin.Y) / 2;
  return std::fabs(x * gx + y * gy) / gap <= InchUnitsPerDisplayUnit * 0.0001;
}

// Whether the move passes the point, within 0.0001 in.
bool Passes(const TCutRun::TMove& m, const TIntPoint& p) {
  int64_t d = 0;
  if (m.Type == etRoutLine) {
    d = HalvingSegmentDistance(m.From.X, m.From.Y, m.To.X, m.To.Y, p.X, p.Y);
  } else {
    const TIntPoint& s = m.Type == etRoutArc ? m.From : m.To;  // counter-clockwise from s
    const TIntPoint& e = m.Type == etRoutArc ? m.To : m.From;
    d = DistPointArc(s.X, s.Y, e.X, e.Y, m.Centre.X, m.Centre.Y, p.X, p.Y,
                     SaturatingRound(Distance(m.From, m.Centre)));
  }
  return d <= InchUnitsPerDisplayUnit * 0.0001;
}

// Whether a profile that the path first begins closes with the path last:
// last ends where first begins; or, the profile entered and left by leads,
// last passes the point first entered it at; or, entered along a side and
// left past the corner it began at (a corner rout), a move of last ends on
// the first move of first.
bool Closes(const TCutRun& first, const TCutRun& last) {
  if (last.End.X == first.Begin.X && last.End.Y == first.Begin.Y) return true;
  for (const TCutRun::TMove& m : last.Moves)
    if ((first.Moves.size() > 1 && Passes(m, first.Entry)) ||
        (!first.Moves.empty() && Passes(first.Moves.front(), m.To)))
      return true;
  return false;
}

// What a tab's new jog takes from the jog of its path.
bool SameCut(TRoutEntity& a, TRoutEntity& b) {
  return a.GetComp() == b.GetComp() && a.GetToolNumber() == b.GetToolNumber() &&
         a.GetCompIndex() == b.GetCompIndex() && a.GetStepObj() == b.GetStepObj();
}

}  // namespace

TTabbedCut FindTabbedCut(int32_t start) {
  TTabbedCut cut;
  cut.Starts = {start};
  const uint8_t layer = RTDB != nullptr && Seq != nullptr ? Seq->LayerOf(start) : 0;
  if (!IsRoutLayer(layer)) return cut;
  const std::vector<TCutRun> runs = CutRuns(layer);
  constexpr std::size_t none = SIZE_MAX;
  auto entity = [&](std::size_t u) -> TRoutEntity& { return *RTDB->EntityAt(runs[u].Start); };
  // For each path: the path after it that a tab may have started (only holes
  // of its pattern between them), and whether a tab's break-off holes join
  // the two.
  std::vector<std::size_t> next(runs.size(), none), prev(runs.size(), none);
  std::vector<bool> holed(runs.size(), false);  // by the later path
  std::size_t picked = none;
  for (std::size_t u = 0; u < runs.size(); ++u) {
    if (runs[u].Start == start) picked = u;
    if (runs[u].Kind != TCutRun::Path) continue;
    std::size_t v = u + 1;
    while (v < runs.size() && runs[v].Kind == TCutRun::Hole && entity(v).GetStepObj() == entity(u).GetStepObj()) ++v;
    if (v < runs.size() && runs[v].Kind == TCutRun::Path && SameCut(entity(u), entity(v))) {
      next[u] = v;
      prev[v] = u;
      holed[v] = v > u + 1 && BesideGap(runs, u, v);
    }
  }
  if (picked == none || runs[picked].Kind == TCutRun::Other) return cut;
  // The paths the pick lies among: a path itself, or the two a hole joins.
  std::size_t a = picked, b = picked;
  if (runs[picked].Kind == TCutRun::Hole) {
    while (a > 0 && runs[a].Kind == TCutRun::Hole) --a;
    if (runs[a].Kind != TCutRun::Path || next[a] == none || next[a] < picked) return cut;
    b = next[a];
  }
  std::vector<std::size_t> chain;  // the run of paths a tab may have split, in order
  for (std::size_t u = a; u != none; u = prev[u]) chain.push_back(u);
  std::reverse(chain.begin(), chain.end());
  const std::size_t ia = chain.size() - 1;
  if (b != a) chain.push_back(b);
  const std::size_t ib = chain.size() - 1;
  for (std::size_t u = next[chain.back()]; u != none; u = next[u]) chain.push_back(u);
  // The shortest stretch around the pick that closes (Closes).
  std::map<std::pair<int32_t, int32_t>, std::size_t> begins;
  for (std::size_t i = 0; i <= ia; ++i) begins[{runs[chain[i]].Begin.X, runs[chain[i]].Begin.Y}] = i;
  std::size_t first = none, last = none;
  for (std::size_t j = ib; j < chain.size(); ++j) {
    const auto found = begins.find({runs[chain[j]].End.X, runs[chain[j]].End.Y});
    std::size_t i = found != begins.end() ? found->second : none;
    for (std::size_t k = std::min(ia + 1, j); i == none && k-- > 0;)
      if (Closes(runs[chain[k]], runs[chain[j]])) i = k;
    if (i != none && (first == none || j - i < last - first)) first = i, last = j;
  }
  if (first == none) {
    // An open cut: the paths its break-off holes join to the pick. A path
    // joined to them without holes may be a piece of it or a cut of its own.
    for (first = ia; first > 0 && holed[chain[first]];) --first;
    for (last = ib; last + 1 < chain.size() && holed[chain[last + 1]];) ++last;
    if (last > first) {
      if (first > 0) cut.Unsure.push_back(runs[chain[first - 1]].Start);
      if (last + 1 < chain.size()) cut.Unsure.push_back(runs[chain[last + 1]].Start);
    }
  }
  cut.Starts.clear();
  for (std::size_t u = chain[first]; u <= chain[last]; ++u) cut.Starts.push_back(runs[u].Start);
  return cut;
}

std::string TabbedCutLeftOutText(const TTabbedCut& cut, const std::string& command) {
  if (cut.Unsure.empty() || RTDB == nullptr) return "";
  std::string text = command +
                     " took only the pieces of the cut picked that break-off holes join: they close no profile, "
                     "and the paths cut next to them may be pieces of it too.\r\nNot taken: the path";
  text += cut.Unsure.size() > 1 ? "s starting at " : " starting at ";
  const double unit = UnitsPerDisplayUnit > 0 ? UnitsPerDisplayUnit : InchUnitsPerDisplayUnit;
  for (std::size_t k = 0; k < cut.Unsure.size(); ++k) {
    TIntPoint p;
    if (TRoutEntity* e = RTDB->EntityAt(cut.Unsure[k])) e->GetPoint(p);
    text += (k > 0 ? " and (" : "(") + ShortRealText(p.X / unit) + ", " + ShortRealText(p.Y / unit) + ")";
  }
  return text + ".";
}
