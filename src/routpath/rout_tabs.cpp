#include "routpath/rout_tabs.h"

#include <algorithm>
#include <climits>
#include <map>
#include <initializer_list>
#include <cmath>
#include <numbers>
#include <optional>

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
#include "routpath/auto_tab_bounds.h"
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

// The gap between the path points that a tab of the settings leaves in a
// path of the jog's tool and comp side, the cutter's diameter read from the
// layer's tool page: the tab's width, widened by the cutter where the
// settings ask.
int32_t TabGap(const TAutoTabSettings& tab, uint8_t layer, TRoutEntity& jog) {
  int64_t w = tab.Width;
  if (tab.CutterRadiusOffset) {
    int32_t tool = jog.GetToolNumber();
    if (tool < 1 || tool > kToolCount) tool = 1;
    const double d = RoutToolPages[layer][tool].Diameter;
    w += int64_t(d);
    // A complex tab on a compensated path: the cutter's edge runs along the
    // slanted neck, which widens the gap by the cutter's width across it.
    if (!tab.TabType && jog.GetComp() != 0) {
      const int32_t a = (tab.Width - tab.CutInWidth) / 2;
      const double len = std::hypot(double(a), double(tab.CutInOffset));
      const double x = len <= 1e-10 ? d * 0.5 : d * 0.5 * a / len;
      w += std::llround(2.0 * x);
    }
  }
  return int32_t(std::clamp<int64_t>(w, 0, INT32_MAX));
}

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
  s.W = TabGap(s.Tab, IsRoutLayer(CurrentLayer) ? CurrentLayer : s.Layer, *s.PathJog);
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
  // The way back along the line, from its ends: a point put within a few
  // units of an end is rounded off the line's way.
  const TVec u = Unit(AngleOf({double(s.S.X) - s.E.X, double(s.S.Y) - s.E.Y}));
  const TVec f = -1.0 * u;
  const TVec n = PathSide(s, f);
  const TIntPoint p1 = Rounded(Of(q) + double(s.H) * u);
  const TIntPoint p2 = Rounded(Of(q) + double(s.H) * f);
  // The tab goes into the path; the next path drawn goes where it would have gone.
  const TKeptInsertPoints kept;
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
  const TKeptInsertPoints kept;
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
      // A line of no length moves nowhere (a complex tab whose neck has
      // neither offset nor slant leaves one on either side of its gap).
      if (type == etRoutLine && at == run.End) continue;
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

// What reading a tape back moves a coordinate by: half a unit of its last
// digit, in the coarsest formats whose tapes keep a tabbed cut whole when
// Open Rout Tape reads them back (inches with 3 decimals, millimetres with
// 2; coarser ones may part its pieces).
constexpr double TenTo(int n) { return n <= 0 ? 1.0 : 10.0 * TenTo(n - 1); }
constexpr int kFewestInchDecimals = 3, kFewestMetricDecimals = 2;
constexpr double kTapeRounding = 0.5 * std::max(UnitsFactorOf(false) / TenTo(kFewestInchDecimals),
                                                UnitsFactorOf(true) / TenTo(kFewestMetricDecimals));
// What that rounding adds up to: for a point read back (both coordinates
// rounded), for a difference of two points (a step, a point's distance from
// a line through two others), and for a difference of two steps.
constexpr double kPointSlack = std::numbers::sqrt2 * kTapeRounding;
constexpr double kDifferenceSlack = 2 * kPointSlack;
constexpr double kStepsSlack = 4 * kPointSlack;
// The farthest a tab of the Auto Tab dialog's settings reaches, in either
// unit: the widest tab, the farthest neck and row of break-off holes off the
// path, the widest spacing of the holes.
constexpr double kWidestTab = AutoTabBounds.Width.Widest();
constexpr double kFarthestNeck = AutoTabBounds.CutInOffset.Widest();
constexpr double kFarthestRow = AutoTabBounds.HoleOffset.Widest();
constexpr double kWidestSpacing = AutoTabBounds.HoleSpacing.Widest();

double Cross(TVec a, TVec b) { return a.X * b.Y - a.Y * b.X; }
double Dot(TVec a, TVec b) { return a.X * b.X + a.Y * b.Y; }
TVec Minus(const TIntPoint& a, const TIntPoint& b) { return {double(a.X) - b.X, double(a.Y) - b.Y}; }
// Counter-clockwise from a to b about centre c, in radians (0 to 2 pi);
// clockwise where ccw is false.
double Turn(const TIntPoint& c, const TIntPoint& a, const TIntPoint& b, bool ccw) {
  const TVec u = Minus(a, c), v = Minus(b, c);
  const double r = std::atan2(Cross(u, v), Dot(u, v));
  const double t = ccw ? r : -r;
  return t < 0 ? t + 2 * std::numbers::pi : t;
}
// Point p turned about centre c by the angle, in radians counter-clockwise.
TVec TurnedAbout(const TIntPoint& c, const TIntPoint& p, double radians) {
  const TVec r = Minus(p, c);
  return Of(c) + TVec{r.X * std::cos(radians) - r.Y * std::sin(radians), r.X * std::sin(radians) + r.Y * std::cos(radians)};
}
// The centre of the circle through three points, none where they stand
// in a line.
std::optional<TIntPoint> CircleThrough(const TIntPoint& a, const TIntPoint& b, const TIntPoint& c) {
  const TVec ab = Minus(b, a), ac = Minus(c, a);
  const double d = 2 * Cross(ab, ac);
  if (std::fabs(d) <= 1e-6 * (Dot(ab, ab) + Dot(ac, ac))) return std::nullopt;
  const double ab2 = Dot(ab, ab), ac2 = Dot(ac, ac);
  const TVec centre{double(a.X) + (ac.Y * ab2 - ab.Y * ac2) / d, double(a.Y) + (ab.X * ac2 - ac.X * ab2) / d};
  if (std::fabs(centre.X) > INT32_MAX || std::fabs(centre.Y) > INT32_MAX) return std::nullopt;
  return Rounded(centre);
}
// The middle of an arc's move on its own circle.
TVec ArcMiddle(const TCutRun::TMove& m) {
  const bool ccw = m.Type == etRoutArc;
  return TurnedAbout(m.Centre, m.From, Turn(m.Centre, m.From, m.To, ccw) / 2 * (ccw ? 1 : -1));
}

// The gap a tab left between move m, which ends at the tab, and move n,
// which begins after it, found from the moves alone: n runs on m's line,
// ahead of m in m's direction, or on m's circle, ahead of m the way m turns,
// the two within the one arc they were cut from (n may begin where m ended:
// a gap of none). Its two ends on the line or circle; false where n does not
// continue m so.
struct TTabGap {
  TIntPoint From, To;
  // Of a point: how far it stands off the line (left of travel) or off the
  // circle (outward).
  double Off(const TIntPoint& p) const { return Off(Of(p)); }
  double Off(TVec p) const {
    const TVec d = p + -1.0 * Of(Centre ? *Centre : Start);
    if (!Centre) return Cross(Direction, d) / std::hypot(Direction.X, Direction.Y);
    return std::hypot(d.X, d.Y) - Radius;
  }
  // The middle of the gap on the line or circle (on a circle: not the
  // middle of its chord, which lies inside it).
  TVec Middle() const {
    const TVec chord{(double(From.X) + To.X) / 2, (double(From.Y) + To.Y) / 2};
    if (!Centre) return chord;
    return TurnedAbout(*Centre, From, Length / Radius / 2 * (Ccw ? 1 : -1));
  }
  // The way the line or circle runs at the gap's middle, as a unit: taken
  // from the whole line or from the centre, not from the gap's ends, whose
  // rounding turns a narrow gap.
  TVec Along() const {
    TVec d = Direction;
    if (Centre) d = Left(Middle() + -1.0 * Of(*Centre));
    const double length = std::hypot(d.X, d.Y);
    return length > 0 ? (1.0 / length) * d : TVec{};
  }
  TIntPoint Start;
  TVec Direction;
  std::optional<TIntPoint> Centre;
  double Radius = 0;
  bool Ccw = false;
  // The gap's length along the line or circle.
  double Length = 0;
  // How far a point read back from a tape may stand off the line or circle
  // (whose centre and radius were read back too).
  double Slack = kDifferenceSlack;
  // Of a line, the length between the two points it was taken through.
  double Base = 0;
  // How far, in radians, the way the line or circle runs may be turned by
  // the tape's rounding: the slack over the length the line was taken over,
  // or over the circle's radius (a line taken over short stubs beside a
  // tab near a corner is known far less surely than one taken over sides).
  double Turning() const {
    const double over = Centre ? Radius : Base;
    return over > Slack ? Slack / over : 1.0;
  }
};
bool Continues(const TCutRun::TMove& m, const TCutRun::TMove& n, TTabGap& gap) {
  if (m.Type != n.Type) return false;
  gap.From = m.To, gap.To = n.From;
  if (m.Type == etRoutLine) {
    const TVec d = Minus(n.To, m.From);
    const double length = std::hypot(d.X, d.Y);
    if (length <= kDifferenceSlack) return false;
    gap.Start = m.From, gap.Centre.reset(), gap.Direction = d, gap.Slack = kDifferenceSlack, gap.Base = length;
    // Along the line from m's start; n's start where n has no length (a
    // tab's end on a corner) lies at its end, not past it by the rounding
    // of the division.
    double along = 0;
    for (const TIntPoint* p : {&m.To, &n.From}) {
      const double t = *p == n.To ? length : Dot(d, Minus(*p, m.From)) / length;
      if (std::fabs(gap.Off(*p)) > gap.Slack || t < along || t > length) return false;
      along = t;
    }
    gap.Length = Dot(d, Minus(n.From, m.To)) / length;
    return true;
  }
  // The circle is the longer arc's: a short arc's centre read back from a
  // tape that gives the radius is far less sure than its ends, so the
  // other arc is judged by lying on that circle, its ends and its middle.
  // Where both arcs are short (a tab near the end of each), neither centre
  // is sure: the circle is then the one through the ends of both, the two
  // arcs judged by their middles.
  gap.Slack = kStepsSlack;
  gap.Ccw = m.Type == etRoutArc;
  auto lies = [&](const TIntPoint& centre, const TIntPoint& on, std::initializer_list<const TCutRun::TMove*> arcs) {
    gap.Centre = centre;
    gap.Radius = Distance(on, centre);
    if (gap.Radius <= kStepsSlack) return false;
    for (const TIntPoint* p : {&m.From, &m.To, &n.From, &n.To})
      if (std::fabs(gap.Off(*p)) > gap.Slack) return false;
    for (const TCutRun::TMove* arc : arcs)
      if (std::fabs(gap.Off(ArcMiddle(*arc))) > gap.Slack) return false;
    return true;
  };
  const bool byM = Distance(m.From, m.To) >= Distance(n.From, n.To);
  if (!lies(byM ? m.Centre : n.Centre, byM ? m.From : n.To, {byM ? &n : &m})) {
    // Through the outer ends and the inner end farther from their chord.
    const TIntPoint& inner = std::fabs(Cross(Minus(n.To, m.From), Minus(m.To, m.From))) >=
                                     std::fabs(Cross(Minus(n.To, m.From), Minus(n.From, m.From)))
                                 ? m.To
                                 : n.From;
    const std::optional<TIntPoint> through = CircleThrough(m.From, inner, n.To);
    if (!through || !lies(*through, m.From, {&m, &n})) return false;
  }
  const TIntPoint& c = *gap.Centre;
  const double ahead = Turn(c, m.To, n.From, gap.Ccw);
  gap.Length = ahead * gap.Radius;
  return Turn(c, m.From, m.To, gap.Ccw) + ahead + Turn(c, n.From, n.To, gap.Ccw) <= 2 * std::numbers::pi + 1e-9;
}

// A move of no length at p on kept's line or circle.
TCutRun::TMove NoMove(const TIntPoint& p, const TCutRun::TMove& kept) {
  return TCutRun::TMove{p, p, kept.Type == etRoutLine ? p : kept.Centre, kept.Type};
}

// Where path v continues path u across a tab, the gap the tab left on the
// line or circle they were cut on: a simple tab ends u and begins v on it;
// a complex tab leads u off it by its cut-in move and v back onto it by its
// cut-out move, the two necks standing alike off it on one side (Necks). A
// tab as far from an end of what it was put on as half its gap leaves
// nothing of it there: u's neck begins where what it was put on begins (u
// may be its neck alone, or go on to it from another line or arc), or v's
// neck back ends where it ends (v may be that neck alone, or go on from
// there along another), not both: the tab was put on something.
bool Necks(const TCutRun& u, const TCutRun& v, TTabGap& gap) {
  if ((u.Moves.size() < 2 && v.Moves.size() < 2) || u.Moves.back().Type != etRoutLine ||
      v.Moves.front().Type != etRoutLine)
    return false;
  // The moves cut before the neck and after the neck back; where one of
  // them is not on what the tab was put on, the neck's end on it instead,
  // a move of no length on the other's line or circle.
  const TCutRun::TMove* before = u.Moves.size() < 2 ? nullptr : &u.Moves[u.Moves.size() - 2];
  const TCutRun::TMove* after = v.Moves.size() < 2 ? nullptr : &v.Moves[1];
  const auto none = NoMove;
  const TIntPoint& neckStart = u.Moves.back().From;
  const TIntPoint& neckEnd = v.Moves.front().To;
  const bool found = before != nullptr && after != nullptr
                         ? Continues(*before, *after, gap) || Continues(*before, none(neckEnd, *before), gap) ||
                               Continues(none(neckStart, *after), *after, gap)
                         : before != nullptr ? Continues(*before, none(neckEnd, *before), gap)
                                             : Continues(none(neckStart, *after), *after, gap);
  if (!found) return false;
  const double reach = std::hypot(kWidestTab / 2, kFarthestNeck) + kDifferenceSlack;
  return std::fabs(gap.Off(u.End) - gap.Off(v.Begin)) <= 2 * gap.Slack && Distance(u.End, gap.From) <= reach &&
         Distance(v.Begin, gap.To) <= reach;
}
bool Stays(const TCutRun::TMove& m);
bool Speck(const TCutRun& run);

// weak: the gap is found from where u ends or v begins alone (see below).
// next: the path after v that may be its piece, if any.
bool TabGapBetween(const TCutRun& u, const TCutRun& v, TTabGap& gap, bool& weak, const TCutRun* next) {
  weak = false;
  if (u.Moves.empty() && v.Moves.empty() && next == nullptr) return false;
  if (!u.Moves.empty() && !v.Moves.empty() &&
      (Continues(u.Moves.back(), v.Moves.front(), gap) || Necks(u, v, gap)))
    return true;
  // A simple tab as near an end of what it was put on as half its gap
  // leaves a stub of it there that a tape may not keep (shorter than its
  // last digit, it is read back as no move): u then ends on the corner
  // where v's line or circle begins, v goes on along the next side from the
  // corner, or, both stubs gone, v is a start alone on the corner between
  // two tabs. The move on the other side of the gap then leaves the line or
  // circle at the corner, or folds back along it where the corner is
  // sharper than the stub is long (one that runs on along it the gap's way
  // is no stub's: Continues judged it). u's end alone behind v's first move
  // on its line or circle, or v's start alone ahead of u's last move on its
  // own, may as well be a cut begun or ended there: such a gap is taken
  // only within a profile that closes (weak).
  auto runsOn = [&](const TIntPoint& from, const TIntPoint& to) {
    if (std::fabs(gap.Off(from)) > gap.Slack || std::fabs(gap.Off(to)) > gap.Slack) return false;
    if (gap.Centre) return Turn(*gap.Centre, from, to, gap.Ccw) < std::numbers::pi;
    return Dot(gap.Direction, Minus(to, from)) > 0;
  };
  weak = (!v.Moves.empty() && Continues(NoMove(u.End, v.Moves.front()), v.Moves.front(), gap) &&
          (u.Moves.empty() || !runsOn(u.Moves.back().From, u.End))) ||
         (!u.Moves.empty() && Continues(u.Moves.back(), NoMove(v.Begin, u.Moves.back()), gap) &&
          (v.Moves.empty() || !runsOn(v.Begin, v.Moves.front().To)));
  if (weak || !Speck(v) || next == nullptr || next->Moves.empty()) return weak;
  // Or u ends on the corner (or is a start alone itself) and v is a start
  // alone on the next side between two tabs put there, the stub by the
  // corner and the one between the tabs gone (or so short that they show no
  // way): that side is known from the piece after v, which goes on along it
  // from v's start as u's end lies behind it.
  const TCutRun::TMove& on = next->Moves.front();
  if (!Continues(NoMove(u.End, on), on, gap) ||
      (!u.Moves.empty() && !Stays(u.Moves.back()) && runsOn(u.Moves.back().From, u.End)) ||
      std::fabs(gap.Off(v.Begin)) > gap.Slack)
    return false;
  const double toV = gap.Centre ? Turn(*gap.Centre, u.End, v.Begin, gap.Ccw) * gap.Radius
                                : Dot(gap.Direction, Minus(v.Begin, u.End)) / std::hypot(gap.Direction.X, gap.Direction.Y);
  if (toV < -gap.Slack || toV > gap.Length + gap.Slack) return false;
  gap.To = v.Begin;
  gap.Length = std::max(0.0, toV);
  weak = true;
  return true;
}

// Whether the holes between runs u and v stand in the gap as a tab puts its
// break-off holes: a row along the gap, evenly spaced no wider than a tab
// spaces them, its middle on the line square to the gap through the gap's
// middle on its line or circle, and no farther from it than a tab sets the
// row off the path (on a line, an arc, simple or complex, also after a copy
// is moved, turned or mirrored, and read back from a tape).
bool StandInGap(const std::vector<TCutRun>& runs, std::size_t u, std::size_t v, const TTabGap& gap) {
  const TVec along = gap.Along();
  TVec mean;
  for (std::size_t k = u + 1; k < v; ++k) mean = mean + (1.0 / double(v - u - 1)) * Of(runs[k].Begin);
  const TVec off = mean + -1.0 * gap.Middle();
  // The way the line or circle runs is known to its Turning: the row's
  // middle off the square through the gap's middle, and its step off the
  // line, by as much more as the row stands off and as far as it steps.
  const double slack = kPointSlack + gap.Slack, turning = gap.Turning();
  const double offLength = std::hypot(off.X, off.Y);
  if (std::fabs(Dot(off, along)) > slack + offLength * turning || offLength > kFarthestRow + slack) return false;
  const TVec step = v > u + 2 ? Minus(runs[u + 2].Begin, runs[u + 1].Begin) : TVec{};
  const double length = std::hypot(step.X, step.Y);
  if (length > kWidestSpacing + kDifferenceSlack ||
      std::fabs(Cross(step, along)) > kDifferenceSlack + length * turning)
    return false;
  for (std::size_t k = u + 2; k < v; ++k) {
    const TVec s = Minus(runs[k].Begin, runs[k - 1].Begin);
    if (std::hypot(s.X - step.X, s.Y - step.Y) > kStepsSlack) return false;
  }
  return true;
}

// How near a move passes a point to pass it: 0.0001 in.
constexpr double kPassing = InchUnitsPerDisplayUnit * 0.0001;
// Whether the move passes the point.
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
  return d <= kPassing;
}
// Whether the move ends where it began, to within passing, without going
// round (a tab put as near an end of a line or arc as it may be leaves such
// a stub of it beside its neck).
bool Stays(const TCutRun::TMove& m) {
  if (Distance(m.From, m.To) > kPassing) return false;
  return m.Type == etRoutLine ||
         (m.From != m.To && Turn(m.Centre, m.From, m.To, m.Type == etRoutArc) < std::numbers::pi);
}

// Whether the path stays within passing of where it began: a start alone,
// or a stub of a line or arc between a tab and an end of what it was put on
// or another tab, which the cut that closes past it passes over.
bool Speck(const TCutRun& run) {
  for (const TCutRun::TMove& m : run.Moves)
    if (Distance(run.Begin, m.To) > kPassing || !Stays(m)) return false;
  return true;
}

// Whether a profile that the path first begins closes with the path last:
// last ends where first begins; or, the profile entered and left by leads,
// last passes the point first entered it at; or, entered along a side and
// left past the corner it began at (a corner rout), a move of last ends on
// the first move of first.
bool Closes(const TCutRun& first, const TCutRun& last) {
  if (last.End.X == first.Begin.X && last.End.Y == first.Begin.Y) return true;
  // Begun where first ended (a tab that left no gap): a neck cut out and
  // straight back ends on first's first move without closing anything.
  if (last.Begin == first.End) return false;
  for (const TCutRun::TMove& m : last.Moves)
    if ((first.Moves.size() > 1 && Passes(m, first.Entry)) ||
        (!first.Moves.empty() && Passes(first.Moves.front(), m.To)))
      return true;
  return false;
}

// Whether line n goes straight back to where line m began (the neck of a
// complex tab 0 wide, cut out and back in one path where a tape goes on
// cutting from the neck's end).
bool Spike(const TCutRun::TMove& m, const TCutRun::TMove& n) {
  return m.Type == etRoutLine && n.Type == etRoutLine && n.To == m.From;
}

// Whether a path that ends where it began closes a profile: out along a
// line and straight back closes nothing (a neck back and the neck of a tab
// put next to it, the stub between dropped by a tape).
bool EndsWhereBegun(const TCutRun& run) {
  return !run.Moves.empty() && run.End == run.Begin &&
         (run.Moves.size() != 2 || !Spike(run.Moves[0], run.Moves[1]));
}

// Whether the path closes a profile on its own, so that no tab split it:
// it ends where it began, or a move after its first comes back over its
// first move (the second staying where the first ended does not) or (a move
// after its second, or after its third where the second stays: that one
// begins where the path entered) passes the point it entered the profile at.
// Two lines close nothing: the second line of two from the entry that
// passes it, or a second line that ends on a first (after a move that stays
// where the first ended, too), folds back on the first (a stub of a side
// beside a tab's neck and the next side, from a corner sharper than the stub
// is long; a complex tab's neck back, a stub and the neck of a tab put next
// to it); nor does a spike out and straight back.
bool ClosesAlone(const TCutRun& run) {
  // A start alone (a tape's piece whose stubs it did not keep) closes nothing.
  if (run.Moves.empty()) return false;
  if (run.End.X == run.Begin.X && run.End.Y == run.Begin.Y) return EndsWhereBegun(run);
  // The move that leaves the entry: after one that stays there, and after
  // a spike out and back to it.
  std::size_t leaves = run.Moves.size() > 1 && Stays(run.Moves[1]) ? 2 : 1;
  if (run.Moves.size() > leaves + 1 && Spike(run.Moves[leaves], run.Moves[leaves + 1])) leaves += 2;
  std::size_t afterEntry = leaves + 1;
  if (run.Moves.size() > afterEntry && run.Moves[afterEntry - 1].Type == etRoutLine &&
      run.Moves[afterEntry].Type == etRoutLine)
    ++afterEntry;
  for (std::size_t k = 1; k < run.Moves.size(); ++k)
    if ((k >= afterEntry && Passes(run.Moves[k], run.Entry)) ||
        (Passes(run.Moves.front(), run.Moves[k].To) && !Spike(run.Moves[k - 1], run.Moves[k]) &&
         !(k == 1 && Stays(run.Moves[1])) &&
         !(k == leaves && run.Moves[0].Type == etRoutLine && run.Moves[k].Type == etRoutLine)))
      return true;
  return false;
}

// What a tab's new jog takes from the jog of its path.
bool SameCut(TRoutEntity& a, TRoutEntity& b) {
  return a.GetComp() == b.GetComp() && a.GetToolNumber() == b.GetToolNumber() &&
         a.GetCompIndex() == b.GetCompIndex() && a.GetStepObj() == b.GetStepObj();
}

// A box around points and moves, widened by 0.0001 in: a path's moves
// (an arc by its sweep: its ends and the points of its circle farthest
// along either axis that it passes), or a path's first move alone.
struct TBox {
  double X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  explicit TBox(const TIntPoint& p) : X0(p.X), Y0(p.Y), X1(p.X), Y1(p.Y) {}
  // m from the box's last point on.
  void Add(const TCutRun::TMove& m) {
    Add(Of(m.To));
    if (m.Type == etRoutLine) return;
    const double r = Distance(m.From, m.Centre);
    const bool ccw = m.Type == etRoutArc;
    // An arc that ends where it began goes all round.
    const double sweep = m.From == m.To ? 2 * std::numbers::pi : Turn(m.Centre, m.From, m.To, ccw);
    const TVec c = Of(m.Centre);
    for (const TVec axis : {TVec{1, 0}, TVec{0, 1}, TVec{-1, 0}, TVec{0, -1}}) {
      const TVec p = c + r * axis;
      if (Turn(m.Centre, m.From, Rounded(p), ccw) <= sweep) Add(p);
    }
  }
  void Add(TVec p) {
    X0 = std::min(X0, p.X), Y0 = std::min(Y0, p.Y);
    X1 = std::max(X1, p.X), Y1 = std::max(Y1, p.Y);
  }
  bool Meets(const TBox& o) const {
    const double t = 2.0 * InchUnitsPerDisplayUnit * 0.0001;
    return X0 <= o.X1 + t && o.X0 <= X1 + t && Y0 <= o.Y1 + t && o.Y0 <= Y1 + t;
  }
};

// The most pieces one profile is looked for in: a board cut with more than
// a thousand tabs is no board, and the search stays linear in the layer.
constexpr std::size_t kMostPieces = 1000;

}  // namespace

TTabbedCut FindTabbedCut(int32_t start) {
  TTabbedCut cut;
  cut.Starts = {start};
  const uint8_t layer = RTDB != nullptr && Seq != nullptr ? Seq->LayerOf(start) : 0;
  if (!IsRoutLayer(layer)) return cut;
  const std::vector<TCutRun> runs = CutRuns(layer);
  constexpr std::size_t none = SIZE_MAX;
  auto entity = [&](std::size_t u) -> TRoutEntity& { return *RTDB->EntityAt(runs[u].Start); };
  // The widest gap a tab leaves in a path of u's tool: the widest tab the
  // Auto Tab dialog makes, widened by the cutter where the tab is offset by
  // it and once more across a complex tab's slanted neck. The cutter is
  // taken a quarter inch at least, so that a tool page changed since the
  // tab was made does not narrow it.
  auto widest = [&](std::size_t u) {
    int32_t tool = entity(u).GetToolNumber();
    if (tool < 1 || tool > kToolCount) tool = 1;
    const double cutter = std::max<double>(RoutToolPages[layer][tool].Diameter, InchUnitsPerDisplayUnit * 0.25);
    return kWidestTab + 2 * cutter + kDifferenceSlack;
  };
  // The piece a tab started after path u: the next path in the cut order,
  // only holes of u's pattern between, cut as a tab's new jog cuts (SameCut),
  // continuing across a tab's gap the line or circle u ran on (TabGapBetween;
  // a tab 0 wide, or a complex one whose necks meet, leaves a gap of none
  // and v begins where u ended), and the holes between standing in that
  // gap; neither closing a profile on its own (ClosesAlone). holed: break-off
  // holes join the two by a gap found from u's last move and v's first
  // (not from u's end or v's start alone: TabGapBetween's weak gap).
  auto after = [&](std::size_t u, bool* holed) -> std::size_t {
    std::size_t v = u + 1;
    while (v < runs.size() && runs[v].Kind == TCutRun::Hole && entity(v).GetStepObj() == entity(u).GetStepObj()) ++v;
    if (v >= runs.size() || runs[v].Kind != TCutRun::Path || !SameCut(entity(u), entity(v))) return none;
    std::size_t w = v + 1;
    while (w < runs.size() && runs[w].Kind == TCutRun::Hole) ++w;
    const TCutRun* next =
        w < runs.size() && runs[w].Kind == TCutRun::Path && SameCut(entity(v), entity(w)) ? &runs[w] : nullptr;
    TTabGap gap;
    bool weak = false;
    // A stub by a tab 0 wide at a profile's start or end, which the other
    // piece closes over: ending where the stub begins, or the stub ending
    // where it begins.
    const bool closedOver = (Speck(runs[u]) && Distance(runs[u].Begin, runs[v].End) <= kPassing) ||
                            (Speck(runs[v]) && Distance(runs[v].End, runs[u].Begin) <= kPassing);
    if (!TabGapBetween(runs[u], runs[v], gap, weak, next) || gap.Length > widest(u) ||
        (!closedOver && (ClosesAlone(runs[u]) || ClosesAlone(runs[v]))))
      return none;
    // A complex tab's necks with next to no offset also run on one line
    // with each other: its holes stand in the gap it left on what it was
    // put on.
    TTabGap necks;
    if (v > u + 1 && !StandInGap(runs, u, v, gap) &&
        (runs[u].Moves.empty() || runs[v].Moves.empty() || !Necks(runs[u], runs[v], necks) ||
         necks.Length > widest(u) || !StandInGap(runs, u, v, necks)))
      return none;
    if (holed != nullptr) *holed = v > u + 1 && !weak;
    return v;
  };
  // The path before v whose piece v may be.
  auto before = [&](std::size_t v, bool* holed) -> std::size_t {
    std::size_t u = v;
    while (u > 0 && runs[u - 1].Kind == TCutRun::Hole) --u;
    return u > 0 && runs[u - 1].Kind == TCutRun::Path && after(u - 1, holed) == v ? u - 1 : none;
  };
  std::size_t picked = none;
  for (std::size_t u = 0; u < runs.size() && picked == none; ++u)
    if (runs[u].Start == start) picked = u;
  if (picked == none || runs[picked].Kind == TCutRun::Other) return cut;
  // The paths the pick lies among: a path itself, or the two whose gap a
  // hole stands in.
  std::size_t a = picked, b = picked;
  if (runs[picked].Kind == TCutRun::Hole) {
    while (a > 0 && runs[a].Kind == TCutRun::Hole) --a;
    if (runs[a].Kind != TCutRun::Path) return cut;
    b = after(a, nullptr);
    if (b == none || b < picked) return cut;
  }
  // The run of paths a tab may have split, in order, and for each whether
  // break-off holes join it to the one before (after's holed).
  std::vector<std::size_t> chain;
  std::vector<bool> holed;
  bool h = false;
  for (std::size_t u = a; u != none; u = before(u, &h)) {
    chain.push_back(u);
    holed.push_back(h);
    h = false;
  }
  std::reverse(chain.begin(), chain.end());
  std::reverse(holed.begin(), holed.end());
  // Each holed told of the path after it: shifted to the path it joins.
  std::rotate(holed.rbegin(), holed.rbegin() + 1, holed.rend());
  holed.front() = false;
  std::size_t ia = chain.size() - 1;
  for (std::size_t u = a;;) {
    h = false;
    const std::size_t v = after(u, &h);
    if (v == none) break;
    chain.push_back(v);
    holed.push_back(h);
    u = v;
  }
  std::size_t ib = b != a ? ia + 1 : ia;
  // A path that ends exactly where a path before it in the run began, or
  // where it began itself, closes that profile, and the path after it
  // begins another cut (a board begun where the last one ended, on one of
  // its corners or part way along its side: moved or copied there), not a
  // piece after a tab at the profile's start; unless it stays within
  // passing of its start, ends the run and no path begins where it ends (a
  // start alone or a stub after the last tab, which the closed cut takes
  // below): one that a piece goes on from begins that board. The run is cut
  // there.
  auto goneOnFrom = [&](std::size_t u) {
    std::size_t v = u + 1;
    while (v < runs.size() && runs[v].Kind == TCutRun::Hole) ++v;
    return v < runs.size() && runs[v].Kind == TCutRun::Path && runs[v].Begin == runs[u].End;
  };
  std::map<std::pair<int32_t, int32_t>, std::size_t> begun;  // the last path of the run begun at a point
  std::size_t from = 0, to = chain.size() - 1;
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
    const TCutRun &u = runs[chain[i]], &v = runs[chain[i + 1]];
    const auto at = begun.find({u.End.X, u.End.Y});
    const bool closes =
        (at != begun.end() && at->second + kMostPieces > i) || (EndsWhereBegun(u) && !Speck(u));
    begun[{u.Begin.X, u.Begin.Y}] = i;
    if (!closes || (Speck(v) && i + 2 == chain.size() && !goneOnFrom(chain[i + 1]))) continue;
    // A hole picked between the two stands for itself.
    if (i >= ia && i < ib) return cut;
    if (i < ia) {
      // The pick's board begins with v: the paths before it close no
      // profile of it.
      from = i + 1;
      begun.clear();
    }
    if (i >= ib) {
      to = i;
      break;
    }
  }
  chain.erase(chain.begin() + std::ptrdiff_t(to) + 1, chain.end());
  chain.erase(chain.begin(), chain.begin() + std::ptrdiff_t(from));
  holed.erase(holed.begin() + std::ptrdiff_t(to) + 1, holed.end());
  holed.erase(holed.begin(), holed.begin() + std::ptrdiff_t(from));
  holed.front() = false;
  ia -= from, ib -= from;
  // The shortest stretch around the pick that closes (Closes), of at most
  // kMostPieces pieces and closing no profile before its last; a path closes
  // with itself only where it ends where it began.
  std::vector<TBox> boxes, firsts;
  const std::size_t lowest = ia + 1 > kMostPieces ? ia + 1 - kMostPieces : 0;
  const std::size_t highest = std::min(chain.size(), ib + kMostPieces);
  for (std::size_t i = lowest; i < highest; ++i) {
    const TCutRun& run = runs[chain[i]];
    TBox all(run.Begin), first(run.Begin);
    for (const TCutRun::TMove& m : run.Moves) all.Add(m);
    if (!run.Moves.empty()) first.Add(run.Moves.front());
    boxes.push_back(all);
    firsts.push_back(first);
  }
  // Whether path m closes a profile begun by a path before it; whether one
  // of the stretch from k to j other than k and j does so, so that j is cut
  // after a profile closed (a slot along a side of a tabbed board).
  std::vector<int8_t> closesAt(highest - lowest, -1);
  auto closedWithin = [&](std::size_t k, std::size_t j) {
    for (std::size_t m = k + 1; m < j; ++m) {
      int8_t& c = closesAt[m - lowest];
      for (std::size_t f = m; c < 0 && f-- > std::max(lowest, m + 1 > kMostPieces ? m + 1 - kMostPieces : 0);)
        if (boxes[m - lowest].Meets(firsts[f - lowest]) && Closes(runs[chain[f]], runs[chain[m]])) c = 1;
      if (c < 0) c = 0;
      if (c > 0) return true;
    }
    return false;
  };
  std::size_t first = none, last = none;
  for (std::size_t j = ib; j < highest; ++j) {
    const TCutRun& end = runs[chain[j]];
    if (j == ia && EndsWhereBegun(end)) {
      first = last = j;
      break;
    }
    std::size_t k = std::min(ia + 1, j);
    const std::size_t bound = std::max(j + 1 > kMostPieces ? j + 1 - kMostPieces : 0,
                                       first == none ? 0 : j - (last - first) + 1);
    for (; k-- > bound;)
      if (boxes[j - lowest].Meets(firsts[k - lowest]) && Closes(runs[chain[k]], end) && !closedWithin(k, j)) {
        first = k, last = j;
        break;
      }
    if (first != none && j + 1 - (last - first) > ia) break;
  }
  if (first != none) {
    // A start alone, or a stub within passing of it, joined to either end of
    // a closed cut is its piece too (a tab 0 wide by the profile's start: a
    // tape kept no stub beside it, or the stub is shorter than the cut that
    // closes past it misses its start by, and the piece before it closes the
    // profile).
    while (last + 1 < chain.size() && Speck(runs[chain[last + 1]])) ++last;
    while (first > 0 && Speck(runs[chain[first - 1]])) --first;
  } else if (Speck(runs[chain[ib]]) && ib > 0 && !Speck(runs[chain[ib - 1]])) {
    // Such a start picked, or a hole before it: the cut of the path before,
    // where that takes it.
    TTabbedCut joined = FindTabbedCut(runs[chain[ib - 1]].Start);
    if (std::find(joined.Starts.begin(), joined.Starts.end(), start) != joined.Starts.end()) return joined;
  }
  if (first == none) {
    // An open cut: the paths its break-off holes join to the pick. A path
    // joined to them without holes may be a piece of it or a cut of its own;
    // so may the two beside a picked hole whose gap is weak (the hole alone).
    if (ib != ia && !holed[ib]) return cut;
    for (first = ia; first > 0 && holed[first];) --first;
    for (last = ib; last + 1 < chain.size() && holed[last + 1];) ++last;
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
  // A box shows "&&" as the "&" of the command's title.
  std::string text;
  for (const char c : command) text += c == '&' ? "&&" : std::string(1, c);
  text += " took only the pieces of the cut picked that break-off holes join: they close no profile, "
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

std::string TabbedCutTakenText(const TTabbedCut& cut, const std::string& command) {
  if (cut.Starts.size() < 2 || RTDB == nullptr) return "";
  std::size_t holes = 0;
  for (const int32_t h : cut.Starts)
    if (TRoutEntity* e = RTDB->EntityAt(h); e != nullptr && e->GetType() == etRoutHole) ++holes;
  const std::size_t paths = cut.Starts.size() - holes;
  auto counted = [](std::size_t n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); };
  const std::string took = command + " took " + counted(paths, "path") +
                           (holes > 0 ? " and " + counted(holes, "hole") : "") + ": ";
  // Of a cut that closes no profile, as its box says: only the pieces its
  // holes join.
  if (!cut.Unsure.empty()) return took + "only the pieces of the cut picked that break-off holes join.";
  return took + "every piece" + (holes > 0 ? " and break-off hole" : "") + " of the tabbed cut picked.";
}
