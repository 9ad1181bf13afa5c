#include "foundation/geometry_points.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "foundation/display_units.h"
#include "foundation/geometry_matrix.h"

// ---- Points and vectors ----

void IntPointToReal(const TIntPoint& ip, TRealPoint& p) {
  p = TRealPoint{static_cast<double>(ip.X), static_cast<double>(ip.Y)};
}

void MakeLine(const TRealPoint& p1, const TRealPoint& p2, TRealLine& l) { l = TRealLine{p1, p2}; }

void SwapPoints(TRealPoint& p, TRealPoint& q) {
  TRealPoint t = p;
  p = q;
  q = t;
}

void AddPoint(TRealPoint& p, const TRealPoint& q) {
  p.X += q.X;
  p.Y += q.Y;
}

void SubPoint(TRealPoint& p, const TRealPoint& q) {
  p.X -= q.X;
  p.Y -= q.Y;
}

void NegateX(TRealPoint& p) { p.X = -p.X; }
void NegateY(TRealPoint& p) { p.Y = -p.Y; }

void MidPoint(const TRealPoint& p, const TRealPoint& q, TRealPoint& m) {
  m = TRealPoint{(p.X + q.X) * 0.5, (p.Y + q.Y) * 0.5};
}

double Distance(const TRealPoint& p, const TRealPoint& q) { return std::sqrt(DistanceSqr(p, q)); }

double DistanceSqr(const TRealPoint& p, const TRealPoint& q) {
  double dx = p.X - q.X;
  double dy = p.Y - q.Y;
  return dx * dx + dy * dy;
}

double SumSquares(double a, double b) { return a * a + b * b; }

void OffsetPoint(const TRealPoint& p, TRealPoint& q, double dist, double angle) {
  if (!(dist > 0.0)) {
    q = p;
    return;
  }
  double dx, dy;
  PolarToRect(dist, angle, dx, dy);
  q = TRealPoint{p.X + dx, p.Y + dy};
}

bool ProjectsInsideSegment(const TRealPoint& a, const TRealPoint& p, const TRealPoint& c) {
  if (PointsEqualTol(p, a) || PointsEqualTol(p, c)) return true;
  TRealPoint x = p;
  ToLineFrame(x, a, c);
  return x.X >= 0.001 && x.X <= std::fabs(Distance(a, c)) - 0.001;
}

bool PointProjectsOnLine(const TRealLine& l, const TRealPoint& p) {
  return ProjectsInsideSegment(l.P1, p, l.P2);
}

// ---- Circle helpers ----

void CircleThreePoints(double x1, double y1, double x2, double y2, double x3, double y3,
                       double& cx, double& cy, double& r) {
  double ax = x2 - x1, ay = y2 - y1;
  double bx = x3 - x1, by = y3 - y1;
  double det = (bx * ay - ax * by) * 2.0;
  if (!(std::fabs(det) > Epsilon)) {
    cx = 0.0;
    cy = 0.0;
    r = -1.0;
    return;
  }
  double s2 = ax * ax + ay * ay;
  double s3 = bx * bx + by * by;
  double ccx = (ay * s3 - by * s2) / det;
  double ccy = (bx * s2 - ax * s3) / det;
  r = std::sqrt(ccx * ccx + ccy * ccy);
  cx = ccx + x1;
  cy = ccy + y1;
}

namespace {

bool TangentLeg(double square, double sum, double& leg) {
  double t = square - sum * sum;
  if (t < 0.0 && std::fabs(t) <= Epsilon) t = 0.0;
  if (!(t >= 0.0)) return false;
  leg = std::sqrt(t);
  return true;
}

}  // namespace

bool TangentLegInner(double a, double b, double c, double& leg, double& sum) {
  sum = b + c;
  return TangentLeg((a - b) * (a - b), sum, leg);
}

bool TangentLegOuter(double a, double b, double c, double& leg, double& sum) {
  sum = b + c;
  return TangentLeg((a + b) * (a + b), sum, leg);
}

bool CircleIntersectionOffsets(double r1, double r2, double d, double& along, double& half) {
  double dd = d * d;
  if (!(std::fabs(dd) > Epsilon)) return false;
  double t = ((r1 * r1 - r2 * r2) / dd + 1.0) * 0.5;
  double u = r1 * r1 / dd - t * t;
  if (u < 0.0 && std::fabs(u) <= Epsilon) u = 0.0;
  if (!(u >= 0.0)) return false;
  along = t * d;
  half = std::sqrt(u) * d;
  return true;
}

// ---- Arcs on integer points ----

namespace {

// The circle through three integer points and the sense of the arc from the
// first through the second to the third.
struct TArcFit {
  bool Found = false;
  double Cx = 0.0;
  double Cy = 0.0;
  double R = -1.0;
  bool Clockwise = false;
};

TArcFit FitArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3) {
  TArcFit fit;
  CircleThreePoints(x1, y1, x2, y2, x3, y3, fit.Cx, fit.Cy, fit.R);
  if (!(fit.R > 0.0)) {
    fit = TArcFit{};
    return fit;
  }
  fit.Found = true;
  double a1 = VectorAngle(TRealPoint{x1 - fit.Cx, y1 - fit.Cy});
  TRealPoint p2{x2 - fit.Cx, y2 - fit.Cy};
  TRealPoint p3{x3 - fit.Cx, y3 - fit.Cy};
  RotatePointRec(p2, -a1);
  RotatePointRec(p3, -a1);
  // Counter-clockwise sweeps from the first point: the third before the
  // second means the arc through the second runs clockwise.
  fit.Clockwise = VectorAngle(p2) > VectorAngle(p3);
  return fit;
}

int32_t ClampToUnits(int64_t v) {
  if (v < -2147483646) return -2147483646;
  if (v > 2147483647) return 2147483647;
  return static_cast<int32_t>(v);
}

double Diff(int32_t a, int32_t b) { return static_cast<double>(a) - static_cast<double>(b); }

}  // namespace

void ArcThreePoints(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                    double& sx, double& sy, double& ex, double& ey, double& cx, double& cy,
                    double& startAngle, double& endAngle, double& r) {
  TArcFit fit = FitArc(x1, y1, x2, y2, x3, y3);
  if (!fit.Found) {
    sx = sy = ex = ey = cx = cy = startAngle = endAngle = 0.0;
    r = -1.0;
    return;
  }
  if (fit.Clockwise) {
    std::swap(x1, x3);
    std::swap(y1, y3);
  }
  sx = x1;
  sy = y1;
  ex = x3;
  ey = y3;
  cx = fit.Cx;
  cy = fit.Cy;
  startAngle = VectorAngle(TRealPoint{sx - cx, sy - cy});
  endAngle = VectorAngle(TRealPoint{ex - cx, ey - cy});
  r = fit.R;
}

void ArcThreePointsDir(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                       double& sx, double& sy, double& ex, double& ey, double& cx, double& cy,
                       uint8_t& clockwise, double& r) {
  TArcFit fit = FitArc(x1, y1, x2, y2, x3, y3);
  if (!fit.Found) {
    sx = sy = ex = ey = cx = cy = 0.0;
    clockwise = 0;
    r = -1.0;
    return;
  }
  sx = x1;
  sy = y1;
  ex = x3;
  ey = y3;
  cx = fit.Cx;
  cy = fit.Cy;
  clockwise = fit.Clockwise ? 1 : 0;
  r = fit.R;
}

void ArcThreePointsInt(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                       int32_t& sx, int32_t& sy, int32_t& ex, int32_t& ey, int32_t& cx,
                       int32_t& cy, int32_t& startAngle, int32_t& endAngle, double& r) {
  double dsx, dsy, dex, dey, dcx, dcy, a1, a2;
  ArcThreePoints(x1, y1, x2, y2, x3, y3, dsx, dsy, dex, dey, dcx, dcy, a1, a2, r);
  // The ends are integer inputs, so these conversions are exact.
  sx = static_cast<int32_t>(dsx);
  sy = static_cast<int32_t>(dsy);
  ex = static_cast<int32_t>(dex);
  ey = static_cast<int32_t>(dey);
  cx = SaturatingRound(dcx);
  cy = SaturatingRound(dcy);
  startAngle = SaturatingRound(a1);
  endAngle = SaturatingRound(a2);
}

void ArcThreePointsIntShort(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3,
                            int32_t y3, int32_t& sx, int32_t& sy, int32_t& ex, int32_t& ey,
                            int32_t& cx, int32_t& cy) {
  int32_t a1, a2;
  double r;
  ArcThreePointsInt(x1, y1, x2, y2, x3, y3, sx, sy, ex, ey, cx, cy, a1, a2, r);
}

namespace {

// Offset of the middle of the counter-clockwise arc from s to e about c.
void MidOffset(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy,
               double& dx, double& dy) {
  double r1, a1, r2, a2;
  RectToPolar(Diff(sx, cx), Diff(sy, cy), r1, a1);
  RectToPolar(Diff(ex, cx), Diff(ey, cy), r2, a2);
  if (a2 < a1) a2 += 360.0;
  // The mean radius absorbs the rounding of the integer ends.
  PolarToRect((r1 + r2) / 2.0, (a1 + a2) / 2.0, dx, dy);
}

}  // namespace

void ArcMidPoint(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy,
                 int32_t& mx, int32_t& my) {
  double dx, dy;
  MidOffset(sx, sy, ex, ey, cx, cy, dx, dy);
  // Summed in 64 bits and saturated: a centre near the edge of the database
  // range must not overflow.
  mx = ClampToUnits(int64_t{SaturatingRound(dx)} + cx);
  my = ClampToUnits(int64_t{SaturatingRound(dy)} + cy);
}

void ArcMidPointReal(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy,
                     double& mx, double& my) {
  double dx, dy;
  MidOffset(sx, sy, ex, ey, cx, cy, dx, dy);
  mx = dx + cx;
  my = dy + cy;
}

void ArcMidPointWrapper(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy,
                        int32_t& s2x, int32_t& s2y, int32_t& mx, int32_t& my, int32_t& e2x,
                        int32_t& e2y) {
  s2x = sx;
  s2y = sy;
  e2x = ex;
  e2y = ey;
  ArcMidPoint(sx, sy, ex, ey, cx, cy, mx, my);
}

int32_t DistPointArc(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy,
                     int32_t px, int32_t py, int32_t r) {
  double rs, as, re, ae, rp, ap;
  RectToPolar(Diff(sx, cx), Diff(sy, cy), rs, as);
  RectToPolar(Diff(ex, cx), Diff(ey, cy), re, ae);
  RectToPolar(Diff(px, cx), Diff(py, cy), rp, ap);
  if (ae <= as) ae += 360.0;  // equal angles: a full circle
  if (ap < as) ap += 360.0;
  if (ap <= ae) return SaturatingRound(std::fabs(r - rp));
  TRealPoint p{static_cast<double>(px), static_cast<double>(py)};
  int32_t ds = SaturatingRound(Distance(p, TRealPoint{static_cast<double>(sx), static_cast<double>(sy)}));
  int32_t de = SaturatingRound(Distance(p, TRealPoint{static_cast<double>(ex), static_cast<double>(ey)}));
  return ds < de ? ds : de;
}

int32_t HalvingSegmentDistance(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px,
                               int64_t py) {
  auto sq = [&](int64_t x, int64_t y) {
    double dx = double(x - px), dy = double(y - py);
    return dx * dx + dy * dy;
  };
  double pa = sq(ax, ay), pb = sq(bx, by);
  while (std::llabs(ax - bx) + std::llabs(ay - by) > 3) {
    int64_t mx = (ax + bx) / 2, my = (ay + by) / 2;
    if (pa < pb) {
      bx = mx;
      by = my;
      pb = sq(bx, by);
    } else {
      ax = mx;
      ay = my;
      pa = sq(ax, ay);
    }
  }
  return SaturatingRound(std::sqrt(pa));
}
