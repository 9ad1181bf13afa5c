#include "routpath/part_rout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "command/command_services.h"
#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/editor_state.h"
#include "model/rout_entities.h"
#include "model/rout_handles.h"
#include "model/view_services.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "routpath/cad_path_link.h"
#include "routpath/endpoint_grid.h"
#include "routpath/path_follower.h"
#include "routpath/hatch_fill.h"
#include "routpath/pocket_dialogs.h"
#include "routpath/pocket_rout.h"

namespace {

// The working overcut when the tool has no diameter (0.062 in).
constexpr int32_t kDefaultInlineOvercut = 1574800;
// Distance of the nesting probes from a profile (0.003 in).
constexpr double kProbeOffset = 76200.0;

double Dist(const TIntPoint& a, const TIntPoint& b) {
  return std::hypot(double(a.X) - b.X, double(a.Y) - b.Y);
}
TIntPoint Here(const TRoutDatabase& rtdb) {
  const TRoutPathState& s = rtdb.PathState[CurrentLayer];
  return {s.LastX, s.LastY};
}
void FreePath(TRootEntityHandle*& path) {
  FreeObjectList(path);
  path = nullptr;
}
void ReverseList(TRootEntityHandle*& list) {
  TRootEntityHandle* reversed = nullptr;
  while (list != nullptr) {
    TRootEntityHandle* next = list->Next;
    list->Next = reversed;
    reversed = list;
    list = next;
  }
  list = reversed;
}
TProfileEntity EntityOf(TRootDBObject* o) {
  TProfileEntity e;
  e.Type = o->GetType();
  o->GetPoint(e.P1);
  o->GetSecondPoint(e.P2);
  if (e.Type == etCadArc) o->GetThirdPoint(e.Centre);
  return e;
}
// Angle in degrees of p seen from c.
double AngleOf(const TIntPoint& c, const TIntPoint& p) {
  return std::atan2(double(p.Y) - c.Y, double(p.X) - c.X) * 180.0 / M_PI;
}
// Counter-clockwise sweep of a CAD arc from P1 to P2, in degrees.
double CadSweep(const TProfileEntity& e) {
  double s = AngleOf(e.Centre, e.P2) - AngleOf(e.Centre, e.P1);
  while (s <= 0.0) s += 360.0;
  return s;
}
void Cut(TRoutDatabase& rtdb, const TProfileEntity& e) {
  if (e.IsArc())
    rtdb.AppendArc(e.To(), e.Centre, 0, NoZOffset, e.Reversed);
  else
    rtdb.AppendLine(e.To(), 0, NoZOffset);
}

}  // namespace

// ---- Follow profile ------------------------------------------------------------------------

bool FollowProfile(TRoutDatabase& rtdb, TRootEntityHandle*& path, const TIntPoint& pick) {
  if (path == nullptr) return false;
  bool direction = false;
  if (!LinkPathQuiet(path, pick, direction)) {
    ErrorBox("Rout halted due to multiple paths!");
    if (path != nullptr) path->DrawList();
    FreePath(path);
    return false;
  }
  path->DrawList();
  bool written = false;
  {
    TRoutSettingsScope settings(rtdb, rtdb.AutoRoutCompensation);
    TGenerationGuard guard(rtdb);
    const int32_t before = RoutEntityCount;
    bool first = true;
    for (TRootEntityHandle* h = path; h != nullptr; h = h->Next) {
      TRootDBObject* o = h->GetEntity();
      if (o == nullptr || (o->GetType() != etCadLine && o->GetType() != etCadArc)) continue;
      TProfileEntity e = EntityOf(o);
      if (first) {
        rtdb.AppendJog(direction ? e.P2 : e.P1);
        first = false;
      }
      const TIntPoint here = Here(rtdb);
      e.Reversed = IntPointDistance(e.P2, here) < IntPointDistance(e.P1, here);
      Cut(rtdb, e);
    }
    written = RoutEntityCount > before;
    guard.Commit();
    settings.Commit();
  }
  FreePath(path);
  rtdb.Redraw(1);
  if (written && RoutUndo != nullptr) RoutUndo->BeginOperation("follow profile");
  return written;
}

// ---- Pocket path ---------------------------------------------------------------------------

bool PocketRoutPath(TRoutDatabase& rtdb, TRootEntityHandle*& path, bool milled, bool group) {
  if (path == nullptr) return false;
  // The outline is linked from its first entity.
  FreePath(path->Next);
  if (!LinkClosedPathTest(path, true)) {
    ErrorBox("Pocket Rout could not link a closed path!");
    if (path != nullptr) path->DrawList();
    FreePath(path);
    return false;
  }
  path->DrawList();
  const TAutoRoutSettings saved = rtdb.AutoRout;
  rtdb.AutoRout.Inside = 1;
  if (ChooseCutDirection(rtdb, ProfileOf(path))) ReverseList(path);
  int32_t depth = NoZOffset;
  if (milled && !ExecuteZDepthDialog(depth)) {
    rtdb.AutoRout = saved;
    FreePath(path);
    return false;
  }
  const int32_t before = RoutEntityCount;
  try {
    PocketRout(rtdb, milled, path, group, depth);
  } catch (...) {
    rtdb.AutoRout = saved;
    FreePath(path);
    throw;
  }
  FreePath(path);
  return RoutEntityCount > before;
}

// ---- Window auto follow --------------------------------------------------------------------

bool WindowAutoFollow(TRoutDatabase& rtdb, TRootEntityHandle*& selection) {
  if (selection == nullptr) return false;
  selection->DrawList();
  ReverseList(selection);
  bool written = false;
  {
    THourGlassCursor cursor;
    TRoutSettingsScope settings(rtdb);
    TGenerationGuard guard(rtdb);
    const int32_t before = RoutEntityCount;
    TRoutWriter writer(rtdb, NoZOffset);
    for (TRootEntityHandle* h = selection; h != nullptr; h = h->Next) {
      TRootDBObject* o = h->GetEntity();
      if (o == nullptr) continue;
      const uint8_t type = o->GetType();
      if (type != etCadLine && type != etCadArc) {
        // Nothing is written, but the next move starts a new path.
        TIntPoint first;
        o->GetPoint(first);
        writer.MoveTo(first);
        continue;
      }
      const TProfileEntity e = EntityOf(o);
      // A move that does not start where the last ended starts a new path.
      if (writer.PenUp() || !(e.P1 == writer.Last())) writer.MoveTo(e.P1);
      if (type == etCadLine)
        writer.LineTo(e.P2);
      else
        writer.ArcTo(e.P2, e.Centre, false);
    }
    written = RoutEntityCount > before;
    guard.Commit();
    settings.Commit();
  }
  FreePath(selection);
  rtdb.Redraw(1);
  if (written && RoutUndo != nullptr) RoutUndo->BeginOperation("Window Auto Follow");
  return written;
}

// ---- Inline part rout ----------------------------------------------------------------------

int32_t InlineOvercut(const TRoutDatabase& rtdb, int32_t toolDiameter) {
  if (!rtdb.FullPanelInline.UseCutterSize) return rtdb.FullPanelInline.Overcut;
  return toolDiameter == 0 ? kDefaultInlineOvercut : toolDiameter;
}

bool InlineCutInOut(TRoutDatabase& rtdb, TIntPoint& point, const TProfileEntity& e, bool atEnd) {
  const double D = CurrentToolDiameter();
  const double W = InlineOvercut(rtdb, int32_t(D));
  auto shift = [&](double L) {
    double d = 3.0 * W <= L ? W / 2.0 : L / 6.0;
    if (2.0 * d + D > L) d = (L - D) / 2.0;
    return d;
  };
  if (e.Type == etCadLine) {
    const TIntPoint a = e.From(), b = e.To();
    const double L = Dist(a, b);
    if (D > L || L == 0.0) return false;
    const double d = shift(L) * (atEnd ? 1.0 : -1.0);
    const double ux = (double(b.X) - a.X) / L, uy = (double(b.Y) - a.Y) / L;
    const double mx = (double(a.X) + b.X) / 2.0, my = (double(a.Y) + b.Y) / 2.0;
    point = {SaturatingRound(mx + ux * d), SaturatingRound(my + uy * d)};
    if (atEnd)
      rtdb.AppendLine(point, 0, NoZOffset);
    else
      rtdb.AppendJog(point);
    return true;
  }
  if (e.Type == etCadArc) {
    const double r = e.Radius();
    if (D > 2.0 * r || r == 0.0) return false;
    const double sweep = CadSweep(e);
    const double L = r * M_PI * sweep / 180.0;
    double delta = shift(L) * 180.0 / (r * M_PI);
    if (!atEnd) delta = -delta;
    const double middle = AngleOf(e.Centre, e.P1) + sweep / 2.0;
    const double a = e.Reversed ? middle - delta : middle + delta;
    point = {SaturatingRound(e.Centre.X + r * CosDeg(a)),
             SaturatingRound(e.Centre.Y + r * SinDeg(a))};
    if (atEnd)
      rtdb.AppendArc(point, e.Centre, 0, NoZOffset, e.Reversed);
    else
      rtdb.AppendJog(point);
    return true;
  }
  ErrorBox("Illegal Plunge");
  return false;
}

bool PartRoutPath(TRoutDatabase& rtdb, std::vector<TProfileEntity> path, bool inside) {
  if (path.empty()) return false;
  StartAtLongestSide(path);
  rtdb.AutoRout.Inside = inside ? 1 : 0;
  const bool reverse = ChooseCutDirection(rtdb, path);
  path.front().Reversed = reverse;
  const TIntPoint s = path.front().To();
  if (path.size() > 1) {
    const TProfileEntity& second = path[1];
    if (std::min(Dist(second.P1, s), Dist(second.P2, s)) > kVertexTolerance)
      std::reverse(path.begin() + 1, path.end());
  }
  TIntPoint point;
  if (!InlineCutInOut(rtdb, point, path.front(), false)) return false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    TProfileEntity& e = path[i];
    if (i > 0) {
      const TIntPoint here = Here(rtdb);
      e.Reversed = Dist(e.P2, here) < Dist(e.P1, here);
    }
    Cut(rtdb, e);
  }
  return InlineCutInOut(rtdb, point, path.front(), true);
}

// ---- Nesting -------------------------------------------------------------------------------

void ClassifyProfiles(std::vector<TPartProfile>& profiles, bool& allOneLevel) {
  allOneLevel = false;
  const std::size_t n = profiles.size();
  if (n == 0) return;
  struct TShape {
    std::unique_ptr<THatchPolygon> Polygon;
    double MinX, MinY, MaxX, MaxY;
    bool Decided = false;
    double PX = 0, PY = 0;  // inside probe
  };
  std::vector<TShape> shapes(n);
  for (std::size_t i = 0; i < n; ++i) {
    TShape& sh = shapes[i];
    sh.Polygon = std::make_unique<THatchPolygon>(25400.0, 25400);
    const std::vector<TProfileEntity>& es = profiles[i].Entities;
    sh.MinX = sh.MinY = std::numeric_limits<double>::max();
    sh.MaxX = sh.MaxY = std::numeric_limits<double>::lowest();
    auto widen = [&](const TIntPoint& p, double r) {
      sh.MinX = std::min(sh.MinX, p.X - r);
      sh.MinY = std::min(sh.MinY, p.Y - r);
      sh.MaxX = std::max(sh.MaxX, p.X + r);
      sh.MaxY = std::max(sh.MaxY, p.Y + r);
    };
    if (es.empty()) continue;
    sh.Polygon->AddVertex(es.front().From().X, es.front().From().Y);
    for (const TProfileEntity& e : es) {
      widen(e.From(), 0.0);
      if (e.IsArc()) {
        sh.Polygon->AddArc(e.To().X, e.To().Y, e.Centre.X, e.Centre.Y, e.Reversed);
        widen(e.Centre, e.Radius());
      } else {
        sh.Polygon->AddVertex(e.To().X, e.To().Y);
      }
    }
    sh.Polygon->Close();
    // Two probes on either side of the first entity; the one inside the
    // profile is its probe.
    const TProfileEntity& f = es.front();
    double ax, ay, bx, by;
    if (f.IsArc()) {
      const double m = AngleOf(f.Centre, f.P1) + CadSweep(f) / 2.0, r = f.Radius();
      ax = f.Centre.X + (r + kProbeOffset) * CosDeg(m);
      ay = f.Centre.Y + (r + kProbeOffset) * SinDeg(m);
      bx = f.Centre.X + (r - kProbeOffset) * CosDeg(m);
      by = f.Centre.Y + (r - kProbeOffset) * SinDeg(m);
    } else {
      const double L = std::max(Dist(f.P1, f.P2), 1.0);
      const double nx = -(double(f.P2.Y) - f.P1.Y) / L, ny = (double(f.P2.X) - f.P1.X) / L;
      const double mx = (double(f.P1.X) + f.P2.X) / 2.0, my = (double(f.P1.Y) + f.P2.Y) / 2.0;
      ax = mx + nx * kProbeOffset;
      ay = my + ny * kProbeOffset;
      bx = mx - nx * kProbeOffset;
      by = my - ny * kProbeOffset;
    }
    const bool ia = sh.Polygon->Contains(ax, ay), ib = sh.Polygon->Contains(bx, by);
    if (ia != ib) {
      sh.Decided = true;
      sh.PX = ia ? ax : bx;
      sh.PY = ia ? ay : by;
    }
  }
  // Depth: the profiles containing the probe, its own included; the root:
  // the outermost of them.
  std::vector<int32_t> root(n, -1);
  int32_t maxDepth = 0;
  for (std::size_t i = 0; i < n; ++i) {
    profiles[i].Depth = 0;
    if (!shapes[i].Decided) continue;
    int32_t depth = 0;
    std::vector<std::size_t> containing;
    for (std::size_t j = 0; j < n; ++j) {
      const TShape& o = shapes[j];
      if (shapes[i].PX < o.MinX || shapes[i].PX > o.MaxX || shapes[i].PY < o.MinY ||
          shapes[i].PY > o.MaxY)
        continue;
      if (o.Polygon->Contains(shapes[i].PX, shapes[i].PY)) {
        ++depth;
        containing.push_back(j);
      }
    }
    profiles[i].Depth = depth;
    maxDepth = std::max(maxDepth, depth);
    root[i] = int32_t(i);
    for (std::size_t j : containing) root[i] = int32_t(j);  // refined below
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (root[i] < 0) continue;
    // The containing profile of depth 1.
    for (std::size_t j = 0; j < n; ++j)
      if (profiles[j].Depth == 1 && shapes[j].Decided &&
          shapes[j].Polygon->Contains(shapes[i].PX, shapes[i].PY)) {
        root[i] = int32_t(j);
        break;
      }
  }
  std::vector<int32_t> height(n, 0);
  for (std::size_t i = 0; i < n; ++i)
    if (root[i] >= 0) height[root[i]] = std::max(height[root[i]], profiles[i].Depth);
  allOneLevel = maxDepth == 1;
  for (std::size_t i = 0; i < n; ++i) {
    TPartProfile& p = profiles[i];
    if (allOneLevel) {
      p.Class = pcInner;
      continue;
    }
    if (root[i] < 0) {
      p.Class = pcNotRouted;
      continue;
    }
    const int32_t h = height[root[i]];
    const int32_t level = h >= 3 ? p.Depth - 1 : p.Depth;  // 1: part, 2: hole
    p.Class = level == 1 ? pcOuter : level == 2 ? pcInner : pcNotRouted;
  }
}

// ---- Automatic part rout -------------------------------------------------------------------

namespace {

// Records every closed chain of the active CAD layers as a profile, each
// entity turned to run on from the one before; open chains are counted and
// drawn again in their layer colours.
class TAutoPartFollower : public TPathFollower {
 public:
  TAutoPartFollower(std::vector<TPartProfile>& profiles, TPartRoutReport& report)
      : Profiles(profiles), Report(report) {}
  std::vector<TPartProfile>& Profiles;
  TPartRoutReport& Report;
  void AfterPath() override {
    bool cancelled = false;
    const int32_t count = std::max(1, EntityCount());
    ViewServices().UpdateStatus("Auto Part Rout", int32_t(int64_t(CurrentStart()) * 50 / count), cancelled);
    ProcessMessages();
    if (cancelled) throw ERoutCancelled();
  }
  void ClosedPath(TRootEntityHandle*& path, bool&) override {
    TPartProfile p;
    TIntPoint cur;
    bool first = true;
    for (TRootEntityHandle* h = path; h != nullptr; h = h->Next) {
      TRootDBObject* o = h->GetEntity();
      if (o == nullptr) continue;
      TProfileEntity e = EntityOf(o);
      if (first) cur = e.P1;
      first = false;
      e.Reversed = Dist(e.P2, cur) <= Dist(e.P1, cur);
      cur = e.To();
      p.Entities.push_back(e);
    }
    p.Handles = path;  // the profile keeps the chain
    path = nullptr;
    Profiles.push_back(std::move(p));
  }
  void OpenPath(TRootEntityHandle*& path, bool& flag) override {
    ++Report.OpenChains;
    TPathFollower::OpenPath(path, flag);
  }
};

}  // namespace

TPartRoutReport AutoPartRout(TRoutDatabase& rtdb) {
  TPartRoutReport report;
  if (EntityArray == nullptr) return report;
  std::vector<TPartProfile> profiles;
  struct TFree {
    std::vector<TPartProfile>& List;
    ~TFree() {
      for (TPartProfile& p : List) FreePath(p.Handles);
    }
  } freeAll{profiles};
  bool routAllOutside = false;
  {
    THourGlassCursor cursor;
    TRoutSettingsScope settings(rtdb, 2);
    TGenerationGuard guard(rtdb);
    {
      TStatusBracket status("Auto Part Rout");
      TAutoPartFollower follower(profiles, report);
      follower.InitFlag(false);
      follower.Run();
      follower.Done();
    }
    bool allOneLevel = false;
    ClassifyProfiles(profiles, allOneLevel);
    if (allOneLevel) {
      TModalBracket modal;
      // Escape stops the command: nothing is routed.
      const TModalResult answer =
          AskChangingQuestion("Rout all profiles outside?", mtConfirmation, mbYesNo);
      if (answer == mrCancel) return report;
      routAllOutside = answer == mrYes;
    }
    // Inner profiles first, then the parts, each nearest first.
    std::vector<std::size_t> order;
    for (uint8_t cls : {pcInner, pcOuter}) {
      std::vector<std::size_t> left;
      for (std::size_t i = 0; i < profiles.size(); ++i)
        if (profiles[i].Class == cls && !profiles[i].Entities.empty()) left.push_back(i);
      TIntPoint ref{-2147483647, -2147483647};
      while (!left.empty()) {
        std::size_t best = 0;
        double bestDist = std::numeric_limits<double>::max();
        for (std::size_t k = 0; k < left.size(); ++k) {
          const double d = Dist(ref, profiles[left[k]].Entities.front().From());
          if (d < bestDist) {
            bestDist = d;
            best = k;
          }
        }
        const std::size_t chosen = left[best];
        left.erase(left.begin() + best);
        order.push_back(chosen);
        ref = profiles[chosen].Entities.back().To();
      }
    }
    bool suppress = false;
    TStatusBracket status("Auto Part Rout");
    for (std::size_t k = 0; k < order.size(); ++k) {
      bool cancelled = false;
      ViewServices().UpdateStatus("Auto Part Rout",
                                  50 + int32_t(int64_t(k) * 50 / int64_t(order.size())), cancelled);
      ProcessMessages();
      if (cancelled) throw ERoutCancelled();
      TPartProfile& p = profiles[order[k]];
      bool routed;
      if (p.Class == pcOuter || routAllOutside)
        routed = AutoRoutPath(rtdb, p.Handles, false, true, true, suppress);
      else
        routed = PartRoutPath(rtdb, p.Entities, true);
      if (routed)
        report.SomethingRouted = true;
      else
        ++report.NotRouted;
      if (p.Handles != nullptr) p.Handles->DrawList();
      FreePath(p.Handles);
    }
    guard.Commit();
    settings.Commit();
  }
  if (report.NotRouted > 0)
    ErrorBox(std::to_string(report.NotRouted) + " polygon(s) could not be routed\n" +
             "because the selected tool is too large.");
  if (report.OpenChains > 0)
    ErrorBox(std::to_string(report.OpenChains) + " string(s) or single entities\n" +
             "were encountered in the database and were not routed\n" +
             "because they did not form a closed path.");
  if (report.SomethingRouted) {
    if (RoutUndo != nullptr) RoutUndo->BeginOperation("full panel inline ro");
    rtdb.Redraw(1);
  }
  return report;
}
