#include <cmath>
#include <vector>

#include "foundation/geometry_intersect.h"
#include "foundation/geometry_lines.h"
#include "geometry_test_support.h"

namespace {

using ld = long double;

TCircleEq Circle(double x, double y, double r) {
  TCircleEq c;
  c.Center = TRealPoint{x, y};
  c.Radius = r;
  return c;
}

TCircleEq Circle(const TGridPoint& c, int64_t r) {
  return Circle(static_cast<double>(c.X), static_cast<double>(c.Y), static_cast<double>(r));
}

// The same circle given only by its equation x^2 + y^2 + Dx + Ey + F = 0.
TCircleEq CircleByEquation(const TGridPoint& c, int64_t r) {
  TCircleEq e;
  e.Center = TRealPoint{1.0E9, 1.0E9};  // must not be used
  e.Radius = -1.0;
  e.D = -2.0 * static_cast<double>(c.X);
  e.E = -2.0 * static_cast<double>(c.Y);
  e.F = static_cast<double>(c.X * c.X + c.Y * c.Y - r * r);
  return e;
}

// Distance from q to the exact line through the grid points a and b.
ld DistToGridLine(const TRealPoint& q, const TGridPoint& a, const TGridPoint& b) {
  ld dx = static_cast<ld>(b.X - a.X), dy = static_cast<ld>(b.Y - a.Y);
  ld cross = dx * (static_cast<ld>(q.Y) - a.Y) - dy * (static_cast<ld>(q.X) - a.X);
  return std::fabs(cross) / std::sqrt(dx * dx + dy * dy);
}

ld DistToGridCircle(const TRealPoint& q, const TGridPoint& c, int64_t r) {
  return std::fabs(std::hypot(static_cast<ld>(q.X) - c.X, static_cast<ld>(q.Y) - c.Y) - r);
}

int Sign(int128 v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

// Sign of (sigma * sqrt(disc) - m), exactly; disc >= 0.
int CompareSqrt(int sigma, int128 disc, int128 m) {
  if (sigma > 0) {
    if (m < 0) return 1;
    return Sign(disc - m * m);
  }
  if (m > 0) return -1;
  return Sign(m * m - disc);  // -sqrt(disc) - m = |m| - sqrt(disc) when m <= 0
}

// Pythagorean directions, so that integer circles can be made to touch.
const int64_t kTriples[][3] = {{3, 4, 5}, {4, -3, 5}, {-5, 12, 13}, {8, 6, 10}, {0, 1, 1},
                               {-1, 0, 1}, {-12, -5, 13}, {6, -8, 10}};

// Two circles, a third of them touching from outside or inside.
struct TCirclePair {
  TGridPoint C1, C2;
  int64_t R1 = 1, R2 = 1;
  // Squared distance of the centres, of the radii's sum and difference, exactly.
  int128 D2() const { return Sq(C2.X - C1.X) + Sq(C2.Y - C1.Y); }
  int128 Sum2() const { return Sq(R1 + R2); }
  int128 Diff2() const { return Sq(R1 - R2); }
  static int128 Sq(int64_t v) { return int128{v} * v; }
};

TCirclePair RandomCirclePair(TGridRandom& rnd, int i) {
  TCirclePair p;
  p.C1 = rnd.Point(30);
  p.R1 = rnd.Int(1, 30);
  switch (i % 6) {
    case 0:
    case 1: {  // touching
      const int64_t* t = kTriples[rnd.Int(0, 7)];
      int64_t k = rnd.Int(1, 6);
      int64_t d = t[2] * k;
      p.C2 = TGridPoint{p.C1.X + t[0] * k, p.C1.Y + t[1] * k};
      if (i % 6 == 0) {
        p.R1 = rnd.Int(1, d - 1 > 0 ? d - 1 : 1);
        p.R2 = d - p.R1 > 0 ? d - p.R1 : 1;
      } else {
        p.R2 = p.R1 + d;
        if (rnd.Int(0, 1)) std::swap(p.R1, p.R2);
      }
      break;
    }
    case 2:  // concentric now and then
      p.C2 = rnd.Int(0, 3) == 0 ? p.C1 : rnd.Point(30);
      p.R2 = rnd.Int(1, 30);
      break;
    default:
      p.C2 = rnd.Point(30);
      p.R2 = rnd.Int(1, 30);
      break;
  }
  return p;
}

}  // namespace

class GeometryIntersectTest : public GeometryTest {
 protected:
  TRealPoint Q1, Q2;
  uint8_t N = 99;
  TLineEq NoE;
  TLinePointDir NoF;
  TRealLine NoL;
};

// ---- Documented cases ----

TEST_F(GeometryIntersectTest, CircleAndLine) {
  TCircleEq unit = Circle(0, 0, 1);
  IntCircleLine(0, unit, TRealLine{{-2, 0}, {2, 0}}, NoF, Q1, Q2, N);
  EXPECT_EQ(GeoErrorCode, 0);
  ASSERT_EQ(N, 2);
  EXPECT_EQ(Q1, (TRealPoint{1, 0}));
  EXPECT_EQ(Q2, (TRealPoint{-1, 0}));
  IntCircleLine(0, unit, TRealLine{{0, 0}, {2, 0}}, NoF, Q1, Q2, N);
  ASSERT_EQ(N, 1);
  EXPECT_EQ(Q1, (TRealPoint{1, 0}));
  IntCircleLine(2, unit, NoL, TLinePointDir{{5, 1}, {3, 0}}, Q1, Q2, N);
  ASSERT_EQ(N, 1);  // at distance exactly r
  EXPECT_EQ(Q1, (TRealPoint{0, 1}));
  IntCircleLine(2, unit, NoL, TLinePointDir{{5, 1.5}, {1, 0}}, Q1, Q2, N);
  EXPECT_EQ(N, 0);
  EXPECT_EQ(GeoErrorCode, 0);
  IntCircleLine(0, unit, TRealLine{{1, 1}, {1, 1}}, NoF, Q1, Q2, N);
  EXPECT_EQ(GeoErrorCode, 2);
  EXPECT_EQ(N, 0);
  IntCircleLine(2, unit, NoL, TLinePointDir{{0, 0}, {0, 0}}, Q1, Q2, N);
  EXPECT_EQ(GeoErrorCode, 4);
  IntCircleLine(4, unit, NoL, NoF, Q1, Q2, N);
  EXPECT_EQ(GeoErrorCode, 1);
  // The caller's NormalizeLines survives the segment modes.
  NormalizeLines = false;
  IntCircleLine(0, unit, TRealLine{{-2, 0}, {2, 0}}, NoF, Q1, Q2, N);
  EXPECT_FALSE(NormalizeLines);
  EXPECT_EQ(N, 2);
}

TEST_F(GeometryIntersectTest, TwoCircles) {
  TCircleEq a = Circle(0, 0, 1), b = Circle(2, 0, 1);
  IntCircles(0, a, b, Q1, Q2, N);
  EXPECT_EQ(GeoRoutineName, "IntCircles");
  ASSERT_EQ(N, 1);
  EXPECT_EQ(Q1, (TRealPoint{1, 0}));
  b = Circle(1, 0, 1);
  IntCircles(0, a, b, Q1, Q2, N);
  ASSERT_EQ(N, 2);
  EXPECT_POINT_NEAR(Q1, 0.5, -std::sqrt(0.75), 1.0E-15);
  EXPECT_POINT_NEAR(Q2, 0.5, std::sqrt(0.75), 1.0E-15);
  b = Circle(0, 0, 3);
  IntCircles(0, a, b, Q1, Q2, N);
  EXPECT_EQ(GeoErrorCode, 16);
  EXPECT_EQ(N, 0);
  IntCircles(3, a, b, Q1, Q2, N);
  EXPECT_EQ(GeoErrorCode, 1);
  TCircleEq bad;
  bad.D = 0;
  bad.E = 0;
  bad.F = 1;  // x^2 + y^2 + 1 = 0
  IntCircles(2, a, bad, Q1, Q2, N);
  EXPECT_EQ(GeoErrorCode, 14);
  EXPECT_EQ(N, 0);
}

TEST_F(GeometryIntersectTest, LinesAndSegments) {
  TRealPoint q;
  Intersect(0, TLineEq{1, 0, 0}, TLineEq{0, 1, 0}, NoF, NoF, NoL, NoL, q, N);
  EXPECT_EQ(N, 1);
  EXPECT_EQ(q, (TRealPoint{0, 0}));
  Intersect(0, TLineEq{1, 1, 1}, TLineEq{2, 2, 2}, NoF, NoF, NoL, NoL, q, N);
  EXPECT_EQ(GeoErrorCode, 6);
  EXPECT_EQ(N, 0);
  Intersect(0, TLineEq{1, 2, 3}, TLineEq{1, 2, 3}, NoF, NoF, NoL, NoL, q, N);
  EXPECT_EQ(GeoErrorCode, 5);
  Intersect(6, NoE, NoE, NoF, NoF, NoL, NoL, q, N);
  EXPECT_EQ(GeoErrorCode, 1);

  uint8_t status = 9;
  IntSegments(TRealLine{{0, 0}, {1, 0}}, TRealLine{{1, 0}, {1, 1}}, q, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(q, (TRealPoint{1, 0}));
  TRealPoint keep{9, 9};
  q = keep;
  IntSegments(TRealLine{{0, 0}, {1, 0}}, TRealLine{{2, -1}, {2, 1}}, q, status);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(q, keep);
  IntSegments(TRealLine{{0, 0}, {1, 0}}, TRealLine{{0, 1}, {1, 1}}, q, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(q, keep);

  // The line x = 3 against a segment that stops short of it.
  Intersect(4, TLineEq{1, 0, -3}, NoE, NoF, NoF, TRealLine{{0, 0}, {2, 2}}, NoL, q, N);
  EXPECT_EQ(GeoErrorCode, 0);
  EXPECT_EQ(N, 0);
  Intersect(4, TLineEq{1, 0, -3}, NoE, NoF, NoF, TRealLine{{0, 0}, {4, 4}}, NoL, q, N);
  EXPECT_EQ(N, 1);
  EXPECT_POINT_NEAR(q, 3, 3, 1.0E-15);
  Intersect(5, NoE, NoE, TLinePointDir{{3, -7}, {0, 2}}, NoF, TRealLine{{0, 0}, {2, 2}}, NoL, q, N);
  EXPECT_EQ(N, 0);
  Intersect(2, TLineEq{0, 1, -2}, NoE, TLinePointDir{{0, 0}, {1, 1}}, NoF, NoL, NoL, q, N);
  EXPECT_EQ(N, 1);
  EXPECT_POINT_NEAR(q, 2, 2, 1.0E-15);
}

TEST_F(GeometryIntersectTest, TangentsFromAPoint) {
  TCircleEq unit = Circle(0, 0, 1);
  TRealLine t1, t2;
  int32_t n = -1;
  tanpntcircle(unit, TRealPoint{2, 0}, t1, t2, n);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(t1.P1, (TRealPoint{2, 0}));
  EXPECT_POINT_NEAR(t1.P2, 0.5, -std::sqrt(0.75), 1.0E-15);
  EXPECT_POINT_NEAR(t2.P2, 0.5, std::sqrt(0.75), 1.0E-15);
  tanpntcircle(unit, TRealPoint{1, 0}, t1, t2, n);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(t1.P2, (TRealPoint{1, 0}));
  // Failures leave no stale count behind.
  n = 2;
  tanpntcircle(unit, TRealPoint{0.5, 0}, t1, t2, n);
  EXPECT_EQ(GeoErrorCode, 69);
  EXPECT_EQ(n, 0);
  n = 2;
  tanpntcircle(unit, TRealPoint{0, 0}, t1, t2, n);
  EXPECT_EQ(GeoErrorCode, 68);
  EXPECT_EQ(n, 0);
}

TEST_F(GeometryIntersectTest, CommonTangentsCountOnlyTheLinesWritten) {
  TRealLine t[4];
  TRealLine untouched{{-7, -7}, {-7, -7}};
  auto run = [&](TCircleEq a, TCircleEq b) {
    for (auto& l : t) l = untouched;
    int32_t n = -1;
    TangentLinesTwoCircles(a, b, n, t[0], t[1], t[2], t[3]);
    for (int i = n < 0 ? 0 : n; i < 4; ++i) EXPECT_EQ(t[i], untouched) << "slot " << i;
    return n;
  };
  EXPECT_EQ(run(Circle(0, 0, 1), Circle(5, 0, 2)), 4);
  EXPECT_EQ(run(Circle(0, 0, 2), Circle(3, 0, 2)), 2);
  EXPECT_EQ(run(Circle(0, 0, 5), Circle(1, 0, 1)), 0);
  EXPECT_EQ(run(Circle(0, 0, 5), Circle(0, 0, 1)), 0);
  EXPECT_EQ(GeoErrorCode, 16);
  EXPECT_EQ(run(Circle(0, 0, 1), Circle(3, 0, 2)), 3);  // touching from outside
  EXPECT_POINT_NEAR(t[2].P1, 1, 0, 1.0E-12);
  EXPECT_POINT_NEAR(t[2].P2, 1, 0, 1.0E-12);
  // Touching from inside: the two outer candidates give the one tangent at
  // the touching point; there is no third line to count.
  EXPECT_EQ(run(Circle(0, 0, 3), Circle(1, 0, 2)), 2);
  EXPECT_POINT_NEAR(t[0].P1, 3, 0, 1.0E-12);
  EXPECT_POINT_NEAR(t[1].P2, 3, 0, 1.0E-12);
  EXPECT_EQ(GeoErrorCode, 0);
  // The first point of each line lies on the circle with the smaller X.
  EXPECT_EQ(run(Circle(5, 0, 2), Circle(0, 0, 1)), 4);
  EXPECT_NEAR(std::hypot(t[0].P1.X, t[0].P1.Y), 1.0, 1.0E-12);
}

TEST_F(GeometryIntersectTest, CirclesTangentToTwoLines) {
  TCircleEq c[4];
  int32_t n = -1;
  circlestan2lines(TRealLine{{0, 0}, {1, 0}}, TRealLine{{0, 0}, {0, 1}}, n, 1.0, c[0], c[1], c[2],
                   c[3]);
  ASSERT_EQ(n, 4);
  EXPECT_EQ(c[0].Center, (TRealPoint{-1, 1}));
  EXPECT_EQ(c[1].Center, (TRealPoint{1, 1}));
  EXPECT_EQ(c[2].Center, (TRealPoint{1, -1}));
  EXPECT_EQ(c[3].Center, (TRealPoint{-1, -1}));
  EXPECT_EQ(c[3].Radius, 1.0);
  circlestan2lines(TRealLine{{0, 0}, {1, 0}}, TRealLine{{0, 1}, {5, 1}}, n, 1.0, c[0], c[1], c[2],
                   c[3]);
  EXPECT_EQ(GeoErrorCode, 6);
  EXPECT_EQ(n, 0);
  circlestan2lines(TRealLine{{0, 0}, {0, 0}}, TRealLine{{0, 1}, {5, 1}}, n, 1.0, c[0], c[1], c[2],
                   c[3]);
  EXPECT_EQ(GeoErrorCode, 2);
  EXPECT_EQ(n, 0);
}

TEST_F(GeometryIntersectTest, ArcAndLine) {
  TRealArc upper;
  upper.Radius = 1;
  upper.AngleUnit = 1;
  upper.StartAngle = 0;
  upper.EndAngle = 180;
  IntArcLine(1, upper, NoL, NoE, TLinePointDir{{0, 0.5}, {1, 0}}, Q1, Q2, N);
  EXPECT_EQ(GeoErrorCode, 0);
  EXPECT_EQ(N, 2);
  IntArcLine(1, upper, NoL, NoE, TLinePointDir{{0, -0.5}, {1, 0}}, Q1, Q2, N);
  EXPECT_EQ(N, 0);
  IntArcLine(2, upper, NoL, TLineEq{1, 0, -0.5}, NoF, Q1, Q2, N);  // x = 0.5
  ASSERT_EQ(N, 1);
  EXPECT_POINT_NEAR(Q1, 0.5, std::sqrt(0.75), 1.0E-15);
  IntArcLine(0, upper, TRealLine{{-3, 3}, {3, -3}}, NoE, NoF, Q1, Q2, N);
  ASSERT_EQ(N, 1);
  EXPECT_POINT_NEAR(Q1, -std::sqrt(0.5), std::sqrt(0.5), 1.0E-15);
  IntArcLine(0, upper, TRealLine{{-3, 3}, {-2, 2}}, NoE, NoF, Q1, Q2, N);
  EXPECT_EQ(N, 0);
  EXPECT_EQ(GeoErrorCode, 0);
  // A wrapping arc from 270 through 0 to 90 holds the right half.
  TRealArc right = upper;
  right.StartAngle = 270;
  right.EndAngle = 90;
  IntArcLine(1, right, NoL, NoE, TLinePointDir{{0, 0.5}, {1, 0}}, Q1, Q2, N);
  ASSERT_EQ(N, 1);
  EXPECT_GT(Q1.X, 0.0);
  IntArcLine(3, upper, NoL, NoE, NoF, Q1, Q2, N);
  EXPECT_EQ(GeoErrorCode, 1);
}

// ---- Properties on an integer grid, checked with exact arithmetic ----

TEST_F(GeometryIntersectTest, SegmentIntersectionsMatchExactArithmetic) {
  TGridRandom rnd(101);
  for (int64_t range : {int64_t{12}, int64_t{1000000}}) {
    int hits = 0;
    for (int i = 0; i < 4000; ++i) {
      TGridPoint a1 = rnd.Point(range), a2 = rnd.Point(range);
      TGridPoint b1 = rnd.Point(range), b2 = rnd.Point(range);
      int64_t ux = a2.X - a1.X, uy = a2.Y - a1.Y, vx = b2.X - b1.X, vy = b2.Y - b1.Y;
      int64_t wx = b1.X - a1.X, wy = b1.Y - a1.Y;
      int128 det = Cross(vx, vy, ux, uy);
      int128 tn = Cross(vx, vy, wx, wy);
      int128 sn = Cross(ux, uy, wx, wy);
      if (det < 0) {
        det = -det;
        tn = -tn;
        sn = -sn;
      }
      uint8_t expected = det == 0 ? 1 : (tn >= 0 && tn <= det && sn >= 0 && sn <= det ? 0 : 2);
      TRealLine l1{Real(a1), Real(a2)}, l2{Real(b1), Real(b2)};
      TRealPoint q{1.0E300, 1.0E300};
      uint8_t status = 9;
      IntSegments(l1, l2, q, status);
      ASSERT_EQ(status, expected) << i;
      TRealPoint q3;
      Intersect(3, NoE, NoE, NoF, NoF, l1, l2, q3, N);
      ASSERT_EQ(N, expected == 0 ? 1 : 0);
      if (expected != 0) continue;
      ++hits;
      ASSERT_EQ(q3, q);
      ld x = static_cast<ld>(a1.X) + static_cast<ld>(tn) * ux / static_cast<ld>(det);
      ld y = static_cast<ld>(a1.Y) + static_cast<ld>(tn) * uy / static_cast<ld>(det);
      ld tol = 1.0E-14L * range;
      ASSERT_LE(std::fabs(q.X - x), tol) << i;
      ASSERT_LE(std::fabs(q.Y - y), tol) << i;
    }
    EXPECT_GT(hits, 200);
  }
}

TEST_F(GeometryIntersectTest, LineIntersectionsInEveryFormMatchExactArithmetic) {
  // A tolerance well below the smallest sine between two distinct grid lines
  // and above rounding, so that parallel lines are recognised.
  SetTolerance(1.0E-12);
  TGridRandom rnd(202);
  int parallel = 0;
  for (int i = 0; i < 4000; ++i) {
    const int64_t range = i % 3 == 0 ? 6 : 1000;
    TGridPoint p1 = rnd.Point(range), p2 = rnd.Point(range), p3 = rnd.Point(range),
               p4 = rnd.Point(range);
    if (i % 7 == 0) p4 = TGridPoint{p3.X + 2 * (p2.X - p1.X), p3.Y + 2 * (p2.Y - p1.Y)};
    if ((p1.X == p2.X && p1.Y == p2.Y) || (p3.X == p4.X && p3.Y == p4.Y)) continue;
    TLineEq e1, e2;
    TLinePointDir f1, f2;
    LineEquation(0, Real(p1), Real(p2), e1, f1);
    LineEquation(1, Real(p1), Real(p2), e1, f1);
    LineEquation(0, Real(p3), Real(p4), e2, f2);
    LineEquation(1, Real(p3), Real(p4), e2, f2);
    ASSERT_EQ(GeoErrorCode, 0);
    int64_t d1x = p2.X - p1.X, d1y = p2.Y - p1.Y, d2x = p4.X - p3.X, d2y = p4.Y - p3.Y;
    int128 det = Cross(d1x, d1y, d2x, d2y);
    TRealLine seg2{Real(p3), Real(p4)};
    for (uint8_t mode : {0, 1, 2, 4, 5}) {
      TRealPoint q{1.0E300, 1.0E300};
      N = 9;
      switch (mode) {
        case 0: Intersect(0, e1, e2, NoF, NoF, NoL, NoL, q, N); break;
        case 1: Intersect(1, NoE, NoE, f1, f2, NoL, NoL, q, N); break;
        case 2: Intersect(2, e1, NoE, f2, NoF, NoL, NoL, q, N); break;  // e1 against line 2
        case 4: Intersect(4, e1, NoE, NoF, NoF, seg2, NoL, q, N); break;
        default: Intersect(5, NoE, NoE, f1, NoF, seg2, NoL, q, N); break;
      }
      if (det == 0) {
        ASSERT_TRUE(GeoErrorCode == 5 || GeoErrorCode == 6) << i << " mode " << int(mode);
        ASSERT_EQ(N, 0);
        ++parallel;
        continue;
      }
      ASSERT_EQ(GeoErrorCode, 0) << i << " mode " << int(mode);
      // Position along the second line, exactly: p3 + s*(p4 - p3).
      int128 sn = Cross(d1x, d1y, p3.X - p1.X, p3.Y - p1.Y);
      int128 dd = det;
      if (dd < 0) {
        dd = -dd;
        sn = -sn;
      }
      // sn/dd is -(position) because the cross products run the other way.
      sn = -sn;
      bool inside = sn >= 0 && sn <= dd;
      bool onEnd = sn == 0 || sn == dd;
      if (mode >= 4) {
        if (!onEnd) {
          ASSERT_EQ(N, inside ? 1 : 0) << i << " mode " << int(mode);
        }
        if (N == 0) continue;
      } else {
        ASSERT_EQ(N, 1);
      }
      // The point lies on both exact lines, and near the exact point by the
      // conditioning of the pair.
      ld tolOn = 1.0E-12L * range;
      ASSERT_LE(DistToGridLine(q, p1, p2), tolOn) << i << " mode " << int(mode);
      ASSERT_LE(DistToGridLine(q, p3, p4), tolOn) << i << " mode " << int(mode);
      ld s = static_cast<ld>(sn) / static_cast<ld>(dd);
      ld x = p3.X + s * d2x, y = p3.Y + s * d2y;
      ld cond = std::hypot(static_cast<ld>(d1x), static_cast<ld>(d1y)) *
                std::hypot(static_cast<ld>(d2x), static_cast<ld>(d2y)) /
                std::fabs(static_cast<ld>(det));
      ASSERT_LE(std::fabs(q.X - x), tolOn * cond) << i << " mode " << int(mode);
      ASSERT_LE(std::fabs(q.Y - y), tolOn * cond) << i << " mode " << int(mode);
    }
  }
  EXPECT_GT(parallel, 100);
}

TEST_F(GeometryIntersectTest, CircleLineIntersectionsMatchExactArithmetic) {
  // Distinct grid configurations keep the discriminant at least 1/(4a) away
  // from 0, so this tolerance classifies tangents exactly.
  SetTolerance(1.0E-9);
  TGridRandom rnd(303);
  int tangents = 0, pairs = 0, ends = 0;
  for (int i = 0; i < 4000; ++i) {
    TGridPoint c = rnd.Point(30);
    int64_t r = rnd.Int(1, 30);
    TGridPoint p1 = rnd.Point(40), p2 = rnd.Point(40);
    if (i % 5 == 0) {  // make tangents and end points on the circle common
      const int64_t* t = kTriples[rnd.Int(0, 7)];
      int64_t k = rnd.Int(1, 5);
      r = t[2] * k;
      p1 = TGridPoint{c.X + t[0] * k, c.Y + t[1] * k};
      int64_t along = rnd.Int(-20, 20);
      if (rnd.Int(0, 1)) p2 = TGridPoint{p1.X - t[1] * along, p1.Y + t[0] * along};  // tangent
    }
    if (p1.X == p2.X && p1.Y == p2.Y) continue;
    // P(t) = p1 + t (p2 - p1): a t^2 + b t + cc = 0.
    int64_t dx = p2.X - p1.X, dy = p2.Y - p1.Y, wx = p1.X - c.X, wy = p1.Y - c.Y;
    int128 a = int128{dx} * dx + int128{dy} * dy;
    int128 b = 2 * (int128{dx} * wx + int128{dy} * wy);
    int128 cc = int128{wx} * wx + int128{wy} * wy - int128{r} * r;
    int128 disc = b * b - 4 * a * cc;
    int expectedLine = disc < 0 ? 0 : (disc == 0 ? 1 : 2);
    tangents += expectedLine == 1;

    TCircleEq byCentre = Circle(c, r), byEquation = CircleByEquation(c, r);
    TLinePointDir f{Real(p1), TRealPoint{static_cast<double>(dx) * 3.0, static_cast<double>(dy) * 3.0}};
    TRealLine seg{Real(p1), Real(p2)};
    for (uint8_t mode : {0, 1, 2, 3}) {
      const TCircleEq& circle = (mode == 1 || mode == 3) ? byEquation : byCentre;
      IntCircleLine(mode, circle, seg, f, Q1, Q2, N);
      ASSERT_EQ(GeoErrorCode, 0);
      if (mode >= 2) {
        ASSERT_EQ(N, expectedLine) << i << " mode " << int(mode);
      } else {
        // Roots inside [0, 1], exactly; a root on an end point (an end on
        // the circle) may go either way without a tolerance at 0.
        int expectedSeg = 0;
        bool edge = false;
        for (int sigma : {-1, 1}) {
          if (disc < 0 || (disc == 0 && sigma > 0)) continue;
          int lo = CompareSqrt(sigma, disc, b);          // -b + s*sqrt >= 0
          int hi = CompareSqrt(sigma, disc, 2 * a + b);  // -b + s*sqrt <= 2a
          if (lo == 0 || hi == 0) edge = true;
          ld root = (-static_cast<ld>(b) + sigma * std::sqrt(static_cast<ld>(disc))) /
                    (2 * static_cast<ld>(a));
          if (std::fabs(root) < 1.0E-6L || std::fabs(root - 1) < 1.0E-6L) edge = true;
          if (lo >= 0 && hi <= 0) ++expectedSeg;
        }
        ends += edge;
        if (!edge) {
          ASSERT_EQ(N, expectedSeg) << i << " mode " << int(mode);
        }
      }
      for (int k = 0; k < N; ++k) {
        const TRealPoint& q = k == 0 ? Q1 : Q2;
        ASSERT_LE(DistToGridCircle(q, c, r), 1.0E-9L) << i << " mode " << int(mode);
        ASSERT_LE(DistToGridLine(q, p1, p2), 1.0E-9L) << i << " mode " << int(mode);
      }
      if (N == 2) {
        ++pairs;
        // q1 lies further back along the line's direction: from p2 towards
        // p1 for a segment, along f.D for a line.
        double sense = mode <= 1 ? -1.0 : 1.0;
        ASSERT_GT(((Q2.X - Q1.X) * dx + (Q2.Y - Q1.Y) * dy) * sense, 0.0) << i;
      }
    }
  }
  EXPECT_GT(tangents, 100);
  EXPECT_GT(pairs, 1000);
  EXPECT_GT(ends, 50);
}

TEST_F(GeometryIntersectTest, CircleCircleIntersectionsMatchExactArithmetic) {
  TGridRandom rnd(404);
  int touching = 0, pairs = 0;
  for (int i = 0; i < 5000; ++i) {
    TCirclePair p = RandomCirclePair(rnd, i);
    int128 dx = p.C2.X - p.C1.X, dy = p.C2.Y - p.C1.Y, d2 = p.D2(), sum2 = p.Sum2(), diff2 = p.Diff2();
    int expected = (d2 > sum2 || d2 < diff2) ? 0 : ((d2 == sum2 || d2 == diff2) ? 1 : 2);
    for (uint8_t mode : {0, 1, 2}) {
      TCircleEq a = mode == 1 ? CircleByEquation(p.C1, p.R1) : Circle(p.C1, p.R1);
      TCircleEq b = mode >= 1 ? CircleByEquation(p.C2, p.R2) : Circle(p.C2, p.R2);
      N = 9;
      IntCircles(mode, a, b, Q1, Q2, N);
      if (d2 == 0) {
        ASSERT_EQ(GeoErrorCode, 16);
        ASSERT_EQ(N, 0);
        continue;
      }
      ASSERT_EQ(GeoErrorCode, 0);
      ASSERT_EQ(N, expected) << i << " mode " << int(mode);
      for (int k = 0; k < N; ++k) {
        const TRealPoint& q = k == 0 ? Q1 : Q2;
        ASSERT_LE(DistToGridCircle(q, p.C1, p.R1), 1.0E-10L) << i;
        ASSERT_LE(DistToGridCircle(q, p.C2, p.R2), 1.0E-10L) << i;
      }
      if (N == 2) {
        // q1 to the right of the direction c1 -> c2, q2 to the left.
        ld r1 = static_cast<ld>(dx) * (Q1.Y - p.C1.Y) - static_cast<ld>(dy) * (Q1.X - p.C1.X);
        ld r2 = static_cast<ld>(dx) * (Q2.Y - p.C1.Y) - static_cast<ld>(dy) * (Q2.X - p.C1.X);
        ASSERT_LT(r1, 0) << i;
        ASSERT_GT(r2, 0) << i;
      }
    }
    touching += expected == 1;
    pairs += expected == 2;
  }
  EXPECT_GT(touching, 500);
  EXPECT_GT(pairs, 500);
}

TEST_F(GeometryIntersectTest, CommonTangentsTouchBothCircles) {
  TGridRandom rnd(505);
  int counts[5] = {};
  for (int i = 0; i < 5000; ++i) {
    TCirclePair p = RandomCirclePair(rnd, i);
    int128 d2 = p.D2(), sum2 = p.Sum2(), diff2 = p.Diff2();
    int expected = d2 == 0        ? 0
                   : d2 > sum2    ? 4
                   : d2 == sum2   ? 3
                   : d2 > diff2   ? 2
                   : d2 == diff2  ? 2
                                  : 0;
    TRealLine t[4];
    int32_t n = -1;
    TangentLinesTwoCircles(Circle(p.C1, p.R1), Circle(p.C2, p.R2), n, t[0], t[1], t[2], t[3]);
    ASSERT_EQ(n, expected) << i;
    ASSERT_EQ(GeoErrorCode, d2 == 0 ? 16 : 0) << i;
    ++counts[n];
    // The first point of every line is on the circle with the smaller X
    // (then the smaller Y).
    bool c1First = p.C1.X < p.C2.X || (p.C1.X == p.C2.X && p.C1.Y <= p.C2.Y);
    TGridPoint sc = c1First ? p.C1 : p.C2, tc = c1First ? p.C2 : p.C1;
    int64_t sr = c1First ? p.R1 : p.R2, tr = c1First ? p.R2 : p.R1;
    for (int k = 0; k < n; ++k) {
      ASSERT_LE(DistToGridCircle(t[k].P1, sc, sr), 1.0E-9L) << i << " line " << k;
      ASSERT_LE(DistToGridCircle(t[k].P2, tc, tr), 1.0E-9L) << i << " line " << k;
      ld ux = t[k].P2.X - t[k].P1.X, uy = t[k].P2.Y - t[k].P1.Y;
      ld len = std::hypot(ux, uy);
      if (len < 1.0E-6L) continue;  // the line through a touching point
      ux /= len;
      uy /= len;
      // Touching: each radius to its tangent point is perpendicular to the line.
      ASSERT_LE(std::fabs((t[k].P1.X - sc.X) * ux + (t[k].P1.Y - sc.Y) * uy), 1.0E-9L) << i;
      ASSERT_LE(std::fabs((t[k].P2.X - tc.X) * ux + (t[k].P2.Y - tc.Y) * uy), 1.0E-9L) << i;
      // Outer tangents first (both centres on one side), then inner ones.
      ld sideS = ux * (sc.Y - t[k].P1.Y) - uy * (sc.X - t[k].P1.X);
      ld sideT = ux * (tc.Y - t[k].P1.Y) - uy * (tc.X - t[k].P1.X);
      if (k < 2) {
        ASSERT_GT(sideS * sideT, 0) << i << " line " << k;
      } else {
        ASSERT_LT(sideS * sideT, 0) << i << " line " << k;
      }
    }
  }
  for (int k : {0, 2, 3, 4}) EXPECT_GT(counts[k], 100) << k;
}

TEST_F(GeometryIntersectTest, TangentsFromAPointTouchTheCircle) {
  TGridRandom rnd(606);
  int on = 0;
  for (int i = 0; i < 4000; ++i) {
    TGridPoint c = rnd.Point(30), p = rnd.Point(60);
    int64_t r = rnd.Int(1, 30);
    if (i % 4 == 0) {  // on the circle
      const int64_t* t = kTriples[rnd.Int(0, 7)];
      int64_t k = rnd.Int(1, 5);
      r = t[2] * k;
      p = TGridPoint{c.X + t[0] * k, c.Y + t[1] * k};
    }
    int128 d2 = int128{p.X - c.X} * (p.X - c.X) + int128{p.Y - c.Y} * (p.Y - c.Y);
    int128 r2 = int128{r} * r;
    TRealLine t1, t2;
    int32_t n = 5;
    tanpntcircle(Circle(c, r), Real(p), t1, t2, n);
    if (d2 == 0) {
      ASSERT_EQ(GeoErrorCode, 68);
      ASSERT_EQ(n, 0);
      continue;
    }
    if (d2 < r2) {
      ASSERT_EQ(GeoErrorCode, 69);
      ASSERT_EQ(n, 0);
      continue;
    }
    ASSERT_EQ(GeoErrorCode, 0);
    ASSERT_EQ(n, d2 == r2 ? 1 : 2) << i;
    on += n == 1;
    for (const TRealLine* t : {&t1, &t2}) {
      if (t == &t2 && n < 2) break;
      ASSERT_EQ(t->P1, Real(p));
      ASSERT_LE(DistToGridCircle(t->P2, c, r), 1.0E-9L) << i;
      ld along = (static_cast<ld>(t->P2.X) - p.X) * (t->P2.X - c.X) +
                 (static_cast<ld>(t->P2.Y) - p.Y) * (t->P2.Y - c.Y);
      ASSERT_LE(std::fabs(along), 1.0E-9L * static_cast<ld>(d2)) << i;
    }
    if (n == 2) {
      // The first tangent point lies left of the direction p -> centre.
      ld side1 = static_cast<ld>(c.X - p.X) * (t1.P2.Y - p.Y) - static_cast<ld>(c.Y - p.Y) * (t1.P2.X - p.X);
      ld side2 = static_cast<ld>(c.X - p.X) * (t2.P2.Y - p.Y) - static_cast<ld>(c.Y - p.Y) * (t2.P2.X - p.X);
      ASSERT_GT(side1, 0) << i;
      ASSERT_LT(side2, 0) << i;
    }
  }
  EXPECT_GT(on, 500);
}

TEST_F(GeometryIntersectTest, CirclesTangentToTwoLinesSitOnTheirSides) {
  TGridRandom rnd(707);
  for (int i = 0; i < 3000; ++i) {
    TGridPoint a1 = rnd.Point(100), a2 = rnd.Point(100), b1 = rnd.Point(100), b2 = rnd.Point(100);
    if ((a1.X == a2.X && a1.Y == a2.Y) || (b1.X == b2.X && b1.Y == b2.Y)) continue;
    int128 det = Cross(a2.X - a1.X, a2.Y - a1.Y, b2.X - b1.X, b2.Y - b1.Y);
    double r = rnd.Real(0.5, 50.0);
    TCircleEq c[4];
    int32_t n = -1;
    circlestan2lines(TRealLine{Real(a1), Real(a2)}, TRealLine{Real(b1), Real(b2)}, n, r, c[0], c[1],
                     c[2], c[3]);
    if (det == 0) {
      ASSERT_EQ(GeoErrorCode, 6);
      ASSERT_EQ(n, 0);
      continue;
    }
    ASSERT_EQ(n, 4);
    const int leftOf1[4] = {1, 1, -1, -1}, leftOf2[4] = {1, -1, -1, 1};
    ld cond = 1.0L / std::fabs(static_cast<ld>(det));
    for (int k = 0; k < 4; ++k) {
      ASSERT_EQ(c[k].Radius, r);
      ld tol = 1.0E-9L * (1.0L + r) * (1.0L + 1.0E4L * cond);
      ASSERT_NEAR(DistToGridLine(c[k].Center, a1, a2), r, tol) << i << " circle " << k;
      ASSERT_NEAR(DistToGridLine(c[k].Center, b1, b2), r, tol) << i << " circle " << k;
      ld s1 = static_cast<ld>(a2.X - a1.X) * (c[k].Center.Y - a1.Y) -
              static_cast<ld>(a2.Y - a1.Y) * (c[k].Center.X - a1.X);
      ld s2 = static_cast<ld>(b2.X - b1.X) * (c[k].Center.Y - b1.Y) -
              static_cast<ld>(b2.Y - b1.Y) * (c[k].Center.X - b1.X);
      ASSERT_GT(s1 * leftOf1[k], 0) << i << " circle " << k;
      ASSERT_GT(s2 * leftOf2[k], 0) << i << " circle " << k;
    }
  }
}

TEST_F(GeometryIntersectTest, ArcLineIntersectionsKeepOnlyPointsOnTheArc) {
  SetTolerance(1.0E-9);
  TGridRandom rnd(808);
  int found[3] = {};
  for (int i = 0; i < 4000; ++i) {
    TGridPoint c = rnd.Point(30);
    int64_t r = rnd.Int(1, 30);
    TGridPoint p1 = rnd.Point(40), p2 = rnd.Point(40);
    if (p1.X == p2.X && p1.Y == p2.Y) continue;
    TRealArc arc;
    arc.Center = Real(c);
    arc.Radius = static_cast<double>(r);
    int64_t startDeg = rnd.Int(0, 359), endDeg = rnd.Int(0, 359);
    if (i % 10 == 0) endDeg = startDeg;  // a full circle
    arc.AngleUnit = static_cast<uint8_t>(i % 3 == 0 ? 0 : 1);
    double start = static_cast<double>(startDeg), end = static_cast<double>(endDeg);
    arc.StartAngle = arc.AngleUnit == 0 ? start * M_PI / 180.0 : start;
    arc.EndAngle = arc.AngleUnit == 0 ? end * M_PI / 180.0 : end;
    // Arc membership of a circle point; unknown within a hair of the ends.
    auto onArc = [&](const TRealPoint& q, bool& unsure) {
      ld g = std::atan2(static_cast<ld>(q.Y) - c.Y, static_cast<ld>(q.X) - c.X) * 180.0L / M_PI;
      if (g < 0) g += 360;
      ld fromStart = std::fmod(g - start + 720.0L, 360.0L);
      ld sweep = startDeg == endDeg ? 360.0L : std::fmod(end - start + 720.0L, 360.0L);
      ld margin = 1.0E-5L;
      if (startDeg != endDeg &&
          (std::fabs(fromStart) < margin || std::fabs(fromStart - sweep) < margin ||
           std::fabs(fromStart - 360) < margin))
        unsure = true;
      return fromStart <= sweep;
    };
    TLinePointDir f{Real(p1), TRealPoint{static_cast<double>(p2.X - p1.X), static_cast<double>(p2.Y - p1.Y)}};
    TLineEq e;
    TLinePointDir unused;
    LineEquation(0, Real(p1), Real(p2), e, unused);
    TRealLine seg{Real(p1), Real(p2)};
    for (uint8_t mode : {0, 1, 2}) {
      TRealPoint c1, c2;
      uint8_t m = 0;
      TCircleEq circle = Circle(c, r);
      if (mode == 0) {
        IntCircleLine(0, circle, seg, f, c1, c2, m);
      } else if (mode == 1) {
        IntCircleLine(2, circle, seg, f, c1, c2, m);
      } else {
        // The equation's own direction (B, -A) orders the points.
        TLineEq copy = e;
        TLinePointDir pd;
        ConvLineEq(0, copy, pd);
        IntCircleLine(2, circle, seg, pd, c1, c2, m);
      }
      std::vector<TRealPoint> expected;
      bool unsure = false;
      for (int k = 0; k < m; ++k) {
        const TRealPoint& q = k == 0 ? c1 : c2;
        if (onArc(q, unsure)) expected.push_back(q);
      }
      IntArcLine(mode, arc, seg, e, f, Q1, Q2, N);
      ASSERT_EQ(GeoErrorCode, 0) << i << " mode " << int(mode) << " " << GeoRoutineName << " unit "
                                 << int(arc.AngleUnit) << " " << arc.StartAngle << " " << arc.EndAngle;
      if (unsure) continue;
      ASSERT_EQ(N, expected.size()) << i << " mode " << int(mode);
      for (size_t k = 0; k < expected.size(); ++k) {
        const TRealPoint& q = k == 0 ? Q1 : Q2;
        ASSERT_NEAR(q.X, expected[k].X, 1.0E-9) << i << " mode " << int(mode);
        ASSERT_NEAR(q.Y, expected[k].Y, 1.0E-9) << i << " mode " << int(mode);
      }
      ++found[N];
    }
  }
  for (int k = 0; k < 3; ++k) EXPECT_GT(found[k], 500) << k;
}
