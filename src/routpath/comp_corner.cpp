#include "routpath/comp_corner.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundation/display_units.h"
#include "foundation/geometry_intersect.h"
#include "foundation/geometry_matrix.h"
#include "routpath/cutter_compensator.h"

namespace {

constexpr double kIntLimit = 2147483647.0;

double Clamp(double v) { return std::clamp(v, -kIntLimit, kIntLimit); }

double Direction(double dx, double dy) {
  double r, a;
  RectToPolar(dx, dy, r, a);
  return NormalizeAngle360(a);
}

bool IsArc(uint8_t type) { return type == cmArcCCW || type == cmArcCW; }

TCompSegment MakeSegment(uint8_t type, const TCompSegment& templ, double x1, double y1, double x2,
                         double y2, double cx, double cy) {
  TCompSegment s = templ;
  s.Kind = 1;
  s.Type = type;
  s.X1 = x1;
  s.Y1 = y1;
  s.X2 = x2;
  s.Y2 = y2;
  s.CX = cx;
  s.CY = cy;
  return s;
}

double MeanRadius(const TCompSegment& s) {
  return (std::hypot(s.X1 - s.CX, s.Y1 - s.CY) + std::hypot(s.X2 - s.CX, s.Y2 - s.CY)) / 2.0;
}

// The point on the right of the direction at distance r from the origin.
TRealPoint RightOf(double direction, double r) {
  double x, y;
  PolarToRect(r, direction - 90.0, x, y);
  return {x, y};
}

// Outside corner: the offset ends are joined by arcs about the corner, or
// two lines by their mitre.
int OutsideCorner(TCompSegmentList& s, double a, double r) {
  double px, py;
  PolarToRect(r, a - 90.0, px, py);
  if (a <= 90.0 && s[0].Type == cmLine && s[1].Type == cmLine) {
    double qx, qy;
    PolarToRect(r, 270.0 + a / 2.0, qx, qy);
    const double x = qy == 0.0 ? 0.0 : -r * qx / qy;
    s[0].X2 = s[1].X1 = x;
    s[0].Y2 = s[1].Y1 = -r;
    return 2;
  }
  TCompSegment first = s[0], second = s[1];
  first.X2 = 0.0;
  first.Y2 = -r;
  second.X1 = px;
  second.Y1 = py;
  s[0] = first;
  if (a > 90.0) {
    s[1] = MakeSegment(cmArcCCW, first, 0.0, -r, r, 0.0, 0.0, 0.0);
    s[2] = MakeSegment(cmArcCCW, first, r, 0.0, px, py, 0.0, 0.0);
    s[3] = second;
    return 4;
  }
  s[1] = MakeSegment(cmArcCCW, first, 0.0, -r, px, py, 0.0, 0.0);
  s[2] = second;
  return 3;
}

// Arc then line in the frame of the corner at the origin: the offset circle
// met by the offset line. Sets p and answers true when a point is found.
bool LineCircleMeet(const TCompSegment& arc, const TCompSegment& line, double r, double limit,
                    TRealPoint& p) {
  // Offset line: right of the line's direction by r.
  const double dir = Direction(line.X2 - line.X1, line.Y2 - line.Y1);
  const TRealPoint n = RightOf(dir, r);
  const double lx = line.X1 + n.X, ly = line.Y1 + n.Y;  // a point of the offset line
  const double ux = std::cos(dir * M_PI / 180.0), uy = std::sin(dir * M_PI / 180.0);
  const double rho = std::fabs(MeanRadius(arc) + (arc.Type == cmArcCCW ? r : -r));
  // Foot of the perpendicular from the centre onto the offset line.
  const double t = (arc.CX - lx) * ux + (arc.CY - ly) * uy;
  const double fx = lx + t * ux, fy = ly + t * uy;
  const double d = std::hypot(fx - arc.CX, fy - arc.CY);
  const double rad = rho * rho - d * d;
  if (rad >= -Epsilon) {
    const double h = std::sqrt(std::max(0.0, rad));
    const TRealPoint p1{fx + h * ux, fy + h * uy}, p2{fx - h * ux, fy - h * uy};
    // The meeting nearer the corner.
    p = std::hypot(p1.X, p1.Y) <= std::hypot(p2.X, p2.Y) ? p1 : p2;
    return true;
  }
  if (std::fabs(d - rho) <= limit && d > 0.0) {
    p = {arc.CX + (fx - arc.CX) * rho / d, arc.CY + (fy - arc.CY) * rho / d};
    return true;
  }
  return false;
}

// Arc and arc: the two offset circles meet near the corner.
int ArcArcCorner(TCompSegmentList& s, double r, double tolerance) {
  const double o1 = s[0].Type == cmArcCCW ? r : -r;
  const double o2 = s[1].Type == cmArcCCW ? r : -r;
  const double r1 = MeanRadius(s[0]) + o1, r2 = MeanRadius(s[1]) + o2;
  const double d = std::hypot(s[1].CX - s[0].CX, s[1].CY - s[0].CY);
  const TRealPoint end1 = RightOf(EndDirection(s[0]), r);
  const TRealPoint start2 = RightOf(StartDirection(s[1]), r);
  TRealPoint p;
  if (d <= 2.0 * tolerance) {
    p = end1;
  } else if (r1 + r2 <= d) {
    // The offset circles do not meet: a connecting line between the offset
    // ends.
    TCompSegment second = s[1];
    s[0].X2 = end1.X;
    s[0].Y2 = end1.Y;
    second.X1 = start2.X;
    second.Y1 = start2.Y;
    s[1] = MakeSegment(cmLine, s[0], end1.X, end1.Y, start2.X, start2.Y, 0.0, 0.0);
    s[2] = second;
    return 3;
  } else {
    TCircleEq c1, c2;
    c1.Center = {s[0].CX, s[0].CY};
    c1.Radius = std::fabs(r1);
    c2.Center = {s[1].CX, s[1].CY};
    c2.Radius = std::fabs(r2);
    TRealPoint q1, q2;
    uint8_t n = 0;
    IntCircles(0, c1, c2, q1, q2, n);
    if (n >= 1) {
      if (n == 1) q2 = q1;
      p = std::hypot(q1.X, q1.Y) <= std::hypot(q2.X, q2.Y) ? q1 : q2;
    } else {
      // One offset circle inside the other: meet half-way between the two
      // offset ends.
      p = {(end1.X + start2.X) / 2.0, (end1.Y + start2.Y) / 2.0};
    }
  }
  p = {Clamp(p.X), Clamp(p.Y)};
  s[0].X2 = s[1].X1 = p.X;
  s[0].Y2 = s[1].Y1 = p.Y;
  return 2;
}

// Line and arc (either order): the offset line meets the offset circle.
int LineArcCorner(TCompSegmentList& s, double r, double limit) {
  const bool arcFirst = IsArc(s[0].Type);
  TRealPoint p;
  bool found;
  if (arcFirst) {
    found = LineCircleMeet(s[0], s[1], r, limit, p);
  } else {
    // The line reversed runs away from the corner; the arc reversed arrives
    // at it, and the right side becomes the left: mirror to keep it right.
    TCompSegment two[kMaxCornerElements] = {s[0], s[1]};
    MirrorSegmentsY(two, 2);
    ReverseSegments(two, 2);
    found = LineCircleMeet(two[0], two[1], r, limit, p);
    p.Y = -p.Y;
  }
  if (!found) return 2;  // both keep the programmed corner
  p = {Clamp(p.X), Clamp(p.Y)};
  s[0].X2 = s[1].X1 = p.X;
  s[0].Y2 = s[1].Y1 = p.Y;
  return 2;
}

int InsideCorner(TCompSegmentList& s, double a, double r, double tolerance) {
  if (s[0].Type == cmLine && s[1].Type == cmLine) {
    const double h = (a - 180.0) / 2.0;
    double x = a <= 270.0 ? -(r / TanDeg(h)) : -(TanDeg(90.0 - h) * r);
    x = Clamp(x);
    s[0].X2 = s[1].X1 = x;
    s[0].Y2 = s[1].Y1 = -r;
    return 2;
  }
  if (IsArc(s[0].Type) && IsArc(s[1].Type)) return ArcArcCorner(s, r, tolerance);
  if ((s[0].Type == cmLine || IsArc(s[0].Type)) && (s[1].Type == cmLine || IsArc(s[1].Type)))
    return LineArcCorner(s, r, 2.6 * tolerance);
  // A jog: the ends meet at the first's offset end.
  s[0].X2 = s[1].X1 = 0.0;
  s[0].Y2 = s[1].Y1 = -r;
  return 2;
}

bool IsInside(const TCompSegment& a1, const TCompSegment& a2, double a) {
  const uint8_t t1 = a1.Type, t2 = a2.Type;
  if (t1 == cmLine && t2 == cmLine) return a > 180.0;
  const bool hasLine = t1 == cmLine || t2 == cmLine;
  const bool hasCW = t1 == cmArcCW || t2 == cmArcCW;
  if (hasLine && hasCW) return a > 180.0 || a < 0.1;
  if (hasLine && (IsArc(t1) || IsArc(t2))) return a >= 180.0;
  if (t1 == cmArcCCW && t2 == cmArcCCW) return a >= 180.0 || a < 0.1;
  return a > 180.0 || a <= 0.1;
}

// Corner at the origin, compensation to the right.
int SolveCorner(TCompSegmentList& s, double r, double tolerance) {
  if (IsZeroLength(s[0])) {
    const double a1 = StartDirection(s[1]);
    RotateSegments(s.data(), 2, -a1);
    TCompSegment second = s[1];
    s[0] = MakeSegment(cmLine, s[0], 0.0, 0.0, 0.0, -r, 0.0, 0.0);
    second.X1 = 0.0;
    second.Y1 = -r;
    s[1] = second;
    RotateSegments(s.data(), 2, a1);
    return 2;
  }
  const double a1 = EndDirection(s[0]);
  RotateSegments(s.data(), 2, -a1);
  int n;
  if (IsZeroLength(s[1])) {
    s[0].X2 = 0.0;
    s[0].Y2 = -r;
    s[1] = MakeSegment(cmLine, s[1], 0.0, -r, 0.0, 0.0, 0.0, 0.0);
    n = 2;
  } else {
    const double a = StartDirection(s[1]);
    n = IsInside(s[0], s[1], a) ? InsideCorner(s, a, r, tolerance) : OutsideCorner(s, a, r);
  }
  RotateSegments(s.data(), n, a1);
  return n;
}

int32_t Manhattan(const TIntPoint& a, const TIntPoint& b) {
  const int64_t d = std::llabs(int64_t{a.X} - b.X) + std::llabs(int64_t{a.Y} - b.Y);
  return static_cast<int32_t>(std::min<int64_t>(d, 2147483647));
}

// Two differences point the same way when both are positive or both
// negative.
bool SameWay(int64_t a, int64_t b) { return (a > 0 && b > 0) || (a < 0 && b < 0); }

// Dominant-axis difference of p - q: Y when |dx| <= |dy|.
bool DominantY(const TIntPoint& p, const TIntPoint& q) {
  return std::llabs(int64_t{p.X} - q.X) <= std::llabs(int64_t{p.Y} - q.Y);
}

int64_t AxisDiff(const TIntPoint& p, const TIntPoint& q, bool y) {
  return y ? int64_t{p.Y} - q.Y : int64_t{p.X} - q.X;
}

}  // namespace

// ---- Segment operations ---------------------------------------------------------------

uint8_t SwapArcDirection(uint8_t type) {
  if (type == cmArcCCW) return cmArcCW;
  if (type == cmArcCW) return cmArcCCW;
  return type;
}

void ReverseSegments(TCompSegment* s, int n) {
  std::reverse(s, s + n);
  for (int i = 0; i < n; ++i) {
    std::swap(s[i].X1, s[i].X2);
    std::swap(s[i].Y1, s[i].Y2);
    s[i].Type = SwapArcDirection(s[i].Type);
  }
}

void TranslateSegments(TCompSegment* s, int n, double dx, double dy) {
  for (int i = 0; i < n; ++i) {
    s[i].X1 += dx;
    s[i].X2 += dx;
    s[i].CX += dx;
    s[i].Y1 += dy;
    s[i].Y2 += dy;
    s[i].CY += dy;
  }
}

void RotateSegments(TCompSegment* s, int n, double angle) {
  for (int i = 0; i < n; ++i) {
    RotatePoint(s[i].X1, s[i].Y1, angle);
    RotatePoint(s[i].X2, s[i].Y2, angle);
    RotatePoint(s[i].CX, s[i].CY, angle);
  }
}

void MirrorSegmentsX(TCompSegment* s, int n) {
  for (int i = 0; i < n; ++i) {
    s[i].X1 = -s[i].X1;
    s[i].X2 = -s[i].X2;
    s[i].CX = -s[i].CX;
    s[i].Type = SwapArcDirection(s[i].Type);
  }
}

void MirrorSegmentsY(TCompSegment* s, int n) {
  for (int i = 0; i < n; ++i) {
    s[i].Y1 = -s[i].Y1;
    s[i].Y2 = -s[i].Y2;
    s[i].CY = -s[i].CY;
    s[i].Type = SwapArcDirection(s[i].Type);
  }
}

bool IsZeroLength(const TCompSegment& s) { return s.X1 == s.X2 && s.Y1 == s.Y2; }

double StartDirection(const TCompSegment& s) {
  if (s.Type == cmArcCCW) return NormalizeAngle360(Direction(s.X1 - s.CX, s.Y1 - s.CY) + 90.0);
  if (s.Type == cmArcCW) return NormalizeAngle360(Direction(s.X1 - s.CX, s.Y1 - s.CY) - 90.0);
  return Direction(s.X2 - s.X1, s.Y2 - s.Y1);
}

double EndDirection(const TCompSegment& s) {
  if (s.Type == cmArcCCW) return NormalizeAngle360(Direction(s.X2 - s.CX, s.Y2 - s.CY) + 90.0);
  if (s.Type == cmArcCW) return NormalizeAngle360(Direction(s.X2 - s.CX, s.Y2 - s.CY) - 90.0);
  return Direction(s.X2 - s.X1, s.Y2 - s.Y1);
}

// ---- The corner -------------------------------------------------------------------------

int SolveCornerFrame(TCompSegmentList& seg, bool right, double tolerance, double r) {
  TEpsilonGuard epsilon(2e-05 * tolerance);
  const double kx = seg[0].X2, ky = seg[0].Y2;
  const uint8_t cut1 = seg[0].Cutting, cut2 = seg[1].Cutting;
  if (!right) ReverseSegments(seg.data(), 2);
  TranslateSegments(seg.data(), 2, -kx, -ky);
  int n = SolveCorner(seg, r, tolerance);
  TranslateSegments(seg.data(), n, kx, ky);
  if (!right) ReverseSegments(seg.data(), n);
  for (int i = 0; i < n; ++i) {
    if (cut1 == cut2)
      seg[i].Cutting = cut1;
    else if (cut1)
      seg[i].Cutting = i == 0;
    else
      seg[i].Cutting = i == n - 1;
  }
  for (int i = n - 2; i >= 1; --i) {
    if (std::fabs(seg[i].X1 - seg[i].X2) < 2.0 && std::fabs(seg[i].Y1 - seg[i].Y2) < 2.0) {
      for (int j = i; j < n - 1; ++j) seg[j] = seg[j + 1];
      --n;
    }
  }
  return n;
}

int CompensateCorner(TCompMoveList& out, const TCompMove in[2], int32_t radius, bool right,
                     double tolerance) {
  const TIntPoint presetStart = out[0].Start;
  TCompSegmentList seg{};
  for (int i = 0; i < 2; ++i) {
    const TCompMove& m = in[i];
    TCompSegment& s = seg[i];
    s.Kind = 1;
    s.Type = m.Type;
    s.Side = m.Side;
    s.Cutting = m.Cutting;
    s.Tool = m.Tool;
    s.CompIndex = m.CompIndex;
    s.X1 = m.Start.X;
    s.Y1 = m.Start.Y;
    s.X2 = m.End.X;
    s.Y2 = m.End.Y;
    s.CX = m.Centre.X;
    s.CY = m.Centre.Y;
    s.Step = m.Step;
  }
  int n = SolveCornerFrame(seg, right, tolerance, radius);
  for (int i = 0; i < n; ++i) {
    const TCompSegment& s = seg[i];
    TCompMove& m = out[i];
    m = TCompMove{};
    m.Kind = 1;
    m.Type = s.Type;
    m.Side = s.Side;
    m.Cutting = s.Cutting;
    m.Tool = s.Tool;
    m.CompIndex = s.CompIndex;
    m.Start = {SaturatingRound(s.X1), SaturatingRound(s.Y1)};
    m.End = {SaturatingRound(s.X2), SaturatingRound(s.Y2)};
    m.Centre = {SaturatingRound(s.CX), SaturatingRound(s.CY)};
    m.Step = s.Step;
  }
  out[0].Start = presetStart;

  // Gouge tests.
  const TCompMove& first = in[0];
  const TCompMove& second = in[1];
  if (first.Start == first.End) return n;
  bool gouge = false;
  TCompMove pointer;
  pointer.Kind = 0;
  const bool arcTest = IsArc(second.Type) && second.Side != 0 && second.Cutting && n == 2;
  if (arcTest) {
    const TIntPoint& s = second.Start;
    const TIntPoint& s2 = out[1].Start;
    const TIntPoint& c = second.Centre;
    const bool y = DominantY(s, c);
    gouge = Manhattan(s, c) < kGougeDistance || Manhattan(s2, c) < kGougeDistance ||
            !SameWay(AxisDiff(s, c, y), AxisDiff(s2, c, y));
    if (gouge) {
      double d1 = Direction(double(s.X) - c.X, double(s.Y) - c.Y);
      double d2 = Direction(double(second.End.X) - c.X, double(second.End.Y) - c.Y);
      if (std::fabs(d1 - d2) > 180.0) (d1 > d2 ? d1 : d2) -= 360.0;
      pointer.Start = pointer.End = c;
      pointer.PointerAngle = NormalizeAngle360(360.0 - (d1 + d2) / 2.0);
    }
  } else if (first.Type == cmLine && first.Side != 0 && first.Cutting) {
    const TIntPoint& a = first.Start;
    const TIntPoint& b = first.End;
    const TIntPoint& a2 = out[0].Start;
    const TIntPoint& b2 = out[1].Start;
    const bool y = DominantY(b, a);
    gouge = Manhattan(b, a) < kGougeDistance || Manhattan(b2, a2) < kGougeDistance ||
            !SameWay(AxisDiff(b, a, y), AxisDiff(b2, a2, y));
    if (gouge) {
      pointer.Start = pointer.End = {a.X / 2 + b.X / 2, a.Y / 2 + b.Y / 2};
      pointer.PointerAngle = NormalizeAngle360(
          360.0 - (Direction(double(a.X) - b.X, double(a.Y) - b.Y) + 90.0));
    }
  }
  if (gouge) {
    ++CompensationViolations;
    out[n] = out[n - 1];
    out[n - 1] = pointer;
    ++n;
  }
  return n;
}

// ---- Lead-in arcs of routed circles -----------------------------------------------------

bool CompensationEntryArc(int32_t radius, int32_t& x, int32_t& y) {
  x = 0;
  y = 0;
  const double r = radius;
  TCircleEq a, b;
  a.Center = {0.0, r};
  a.Radius = r;
  b.Center = {254000.0 - r, 0.0};
  b.Radius = r;
  TRealPoint q1, q2;
  uint8_t n = 0;
  IntCircles(0, a, b, q1, q2, n);
  if (n < 2) return false;
  const TRealPoint& p = q2.X > q1.X ? q2 : q1;
  x = SaturatingRound(p.X);
  y = SaturatingRound(p.Y);
  return true;
}
