#include <cmath>
#include <cstdint>
#include <tuple>

#include "foundation/geometry_points.h"
#include "geometry_test_support.h"

class GeometryPointsTest : public GeometryTest {};

TEST_F(GeometryPointsTest, CircleThroughThreePoints) {
  double cx, cy, r;
  CircleThreePoints(0, 0, 1, 0, 0, 1, cx, cy, r);
  EXPECT_NEAR(cx, 0.5, 1.0E-15);
  EXPECT_NEAR(cy, 0.5, 1.0E-15);
  EXPECT_NEAR(r, std::sqrt(0.5), 1.0E-15);
  CircleThreePoints(0, 0, 1, 1, 3, 3, cx, cy, r);
  EXPECT_EQ(cx, 0.0);
  EXPECT_EQ(cy, 0.0);
  EXPECT_EQ(r, -1.0);
  CircleThreePoints(2, 2, 2, 2, 5, 1, cx, cy, r);  // two points the same
  EXPECT_EQ(r, -1.0);
}

TEST_F(GeometryPointsTest, ThreePointArcs) {
  double sx, sy, ex, ey, cx, cy, a1, a2, r;
  ArcThreePoints(1000, 0, 0, 1000, -1000, 0, sx, sy, ex, ey, cx, cy, a1, a2, r);
  EXPECT_EQ(sx, 1000);
  EXPECT_EQ(ex, -1000);
  EXPECT_NEAR(cx, 0, 1.0E-9);
  EXPECT_NEAR(cy, 0, 1.0E-9);
  EXPECT_NEAR(a1, 0, 1.0E-9);
  EXPECT_NEAR(a2, 180, 1.0E-9);
  EXPECT_NEAR(r, 1000, 1.0E-9);
  ArcThreePoints(-1000, 0, 0, 1000, 1000, 0, sx, sy, ex, ey, cx, cy, a1, a2, r);
  EXPECT_EQ(sx, 1000);  // the ends are exchanged: the same arc
  EXPECT_EQ(ex, -1000);
  EXPECT_NEAR(a2, 180, 1.0E-9);

  uint8_t cw = 9;
  ArcThreePointsDir(-1000, 0, 0, 1000, 1000, 0, sx, sy, ex, ey, cx, cy, cw, r);
  EXPECT_EQ(cw, 1);
  EXPECT_EQ(sx, -1000);
  EXPECT_EQ(ex, 1000);
  ArcThreePointsDir(1000, 0, 0, 1000, -1000, 0, sx, sy, ex, ey, cx, cy, cw, r);
  EXPECT_EQ(cw, 0);

  int32_t isx, isy, iex, iey, icx, icy, ia1, ia2;
  ArcThreePointsInt(-1000, 0, 0, 1000, 1000, 0, isx, isy, iex, iey, icx, icy, ia1, ia2, r);
  EXPECT_EQ(isx, 1000);
  EXPECT_EQ(iex, -1000);
  EXPECT_EQ(icx, 0);
  EXPECT_EQ(icy, 0);
  EXPECT_EQ(ia1, 0);
  EXPECT_EQ(ia2, 180);
  ArcThreePointsIntShort(0, 1000, 707, 707, 1000, 0, isx, isy, iex, iey, icx, icy);
  EXPECT_EQ(isx, 1000);
  EXPECT_EQ(iey, 1000);

  // Collinear points: zeros, radius -1, not clockwise.
  ArcThreePoints(0, 0, 5, 5, 10, 10, sx, sy, ex, ey, cx, cy, a1, a2, r);
  EXPECT_EQ(sx + sy + ex + ey + cx + cy + a1 + a2, 0.0);
  EXPECT_EQ(r, -1.0);
  cw = 9;
  ArcThreePointsDir(0, 0, 5, 5, 10, 10, sx, sy, ex, ey, cx, cy, cw, r);
  EXPECT_EQ(cw, 0);
  EXPECT_EQ(r, -1.0);
  ArcThreePointsInt(0, 0, 5, 5, 10, 10, isx, isy, iex, iey, icx, icy, ia1, ia2, r);
  EXPECT_EQ(isx | isy | iex | iey | icx | icy | ia1 | ia2, 0);
  EXPECT_EQ(r, -1.0);
}

TEST_F(GeometryPointsTest, ThreePointArcsRunCounterClockwiseThroughTheMiddlePoint) {
  TGridRandom rnd(909);
  int exchanged = 0;
  for (int n = 0; n < 4000; ++n) {
    int64_t range = n % 2 ? 50 : 2000000;
    TGridPoint p1 = rnd.Point(range), p2 = rnd.Point(range), p3 = rnd.Point(range);
    int128 turn = Cross(p2.X - p1.X, p2.Y - p1.Y, p3.X - p1.X, p3.Y - p1.Y);
    auto i = [](int64_t v) { return static_cast<int32_t>(v); };
    double sx, sy, ex, ey, cx, cy, a1, a2, r, dsx, dsy, dex, dey, dcx, dcy, dr;
    ArcThreePoints(i(p1.X), i(p1.Y), i(p2.X), i(p2.Y), i(p3.X), i(p3.Y), sx, sy, ex, ey, cx, cy, a1, a2, r);
    uint8_t cw = 9;
    ArcThreePointsDir(i(p1.X), i(p1.Y), i(p2.X), i(p2.Y), i(p3.X), i(p3.Y), dsx, dsy, dex, dey, dcx, dcy, cw, dr);
    if (turn == 0) {
      ASSERT_EQ(r, -1.0);
      ASSERT_EQ(cw, 0);
      continue;
    }
    // Through three points the arc from the first via the second to the
    // third turns the way the triangle does.
    ASSERT_EQ(cw, turn < 0 ? 1 : 0) << n;
    bool swapped = sx != static_cast<double>(p1.X) || sy != static_cast<double>(p1.Y);
    ASSERT_EQ(swapped, turn < 0) << n;
    exchanged += swapped;
    long double tol = 1.0E-9L * r;
    for (const TGridPoint& p : {p1, p2, p3}) {
      ASSERT_NEAR(std::hypot(static_cast<long double>(p.X) - cx, static_cast<long double>(p.Y) - cy),
                  static_cast<long double>(r), tol)
          << n;
    }
    // Counter-clockwise from start, the middle point comes before the end.
    auto angle = [&](double x, double y) {
      double a = std::atan2(y - cy, x - cx) * 180.0 / M_PI;
      return a < 0 ? a + 360.0 : a;
    };
    ASSERT_NEAR(std::fmod(a1 - angle(sx, sy) + 540.0, 360.0), 180.0, 1.0E-6);
    ASSERT_NEAR(std::fmod(a2 - angle(ex, ey) + 540.0, 360.0), 180.0, 1.0E-6);
    double toMid = std::fmod(angle(p2.X, p2.Y) - a1 + 720.0, 360.0);
    double toEnd = std::fmod(a2 - a1 + 720.0, 360.0);
    ASSERT_LE(toMid, toEnd + 1.0E-9) << n;
  }
  EXPECT_GT(exchanged, 1000);
}

TEST_F(GeometryPointsTest, ArcMiddlePoints) {
  int32_t mx, my;
  ArcMidPoint(1000, 0, 0, 1000, 0, 0, mx, my);
  EXPECT_EQ(mx, 707);
  EXPECT_EQ(my, 707);
  ArcMidPoint(0, 1000, 1000, 0, 0, 0, mx, my);
  EXPECT_EQ(mx, -707);
  EXPECT_EQ(my, -707);
  ArcMidPoint(1000, 0, 1000, 0, 0, 0, mx, my);  // equal angles: that point
  EXPECT_EQ(mx, 1000);
  EXPECT_EQ(my, 0);
  double rx, ry;
  ArcMidPointReal(1000, 0, 0, 1000, 0, 0, rx, ry);
  EXPECT_NEAR(rx, 1000.0 * std::sqrt(0.5), 1.0E-9);
  EXPECT_NEAR(ry, 1000.0 * std::sqrt(0.5), 1.0E-9);
  int32_t s2x, s2y, e2x, e2y;
  ArcMidPointWrapper(1000, 5, -1000, 5, 0, 5, s2x, s2y, mx, my, e2x, e2y);
  EXPECT_EQ(s2x, 1000);
  EXPECT_EQ(s2y, 5);
  EXPECT_EQ(e2x, -1000);
  EXPECT_EQ(e2y, 5);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 1005);

  // A centre at the edge of the database range saturates instead of
  // overflowing.
  const int32_t top = 2147483647;
  ArcMidPoint(top, top - 1000, top - 1000, top, top - 1000, top - 1000, mx, my);
  EXPECT_EQ(mx, top - 1000 + 707);
  // The right half of a circle whose centre lies 10 units inside the range:
  // its middle is 990 units beyond it.
  ArcMidPoint(top - 10, -1000, top - 10, 1000, top - 10, 0, mx, my);
  EXPECT_EQ(mx, top);
  EXPECT_EQ(my, 0);
  const int32_t bottom = -2147483646;
  ArcMidPoint(bottom + 10, 1000, bottom + 10, -1000, bottom + 10, 0, mx, my);
  EXPECT_EQ(mx, bottom);
}

TEST_F(GeometryPointsTest, DistanceToAnArc) {
  // The upper half circle of radius 1000: outside its sweep the nearer end counts.
  for (const auto& [x, y, d] : {std::tuple{0, 1100, 100}, {0, 900, 100}, {0, -1100, 1487}, {1000, -10, 10},
                                {-1000, -30, 30}})
    EXPECT_EQ(DistPointArc(1000, 0, -1000, 0, 0, 0, x, y, 1000), d) << x << "," << y;
  EXPECT_EQ(DistPointArc(1000, 0, 1000, 0, 0, 0, 0, -1100, 1000), 100);  // full circle
}

TEST_F(GeometryPointsTest, SegmentProjectionAndOffsets) {
  TRealPoint a{0, 0}, c{10, 0};
  EXPECT_FALSE(ProjectsInsideSegment(a, TRealPoint{0.0005, 3}, c));
  EXPECT_TRUE(ProjectsInsideSegment(a, TRealPoint{5, 3}, c));
  EXPECT_TRUE(ProjectsInsideSegment(a, TRealPoint{0, 0}, c));
  EXPECT_FALSE(ProjectsInsideSegment(a, TRealPoint{9.9995, -1}, c));
  EXPECT_FALSE(ProjectsInsideSegment(a, TRealPoint{11, 0}, c));
  EXPECT_TRUE(PointProjectsOnLine(TRealLine{{0, 0}, {0, 10}}, TRealPoint{-4, 5}));
  SetTolerance(0.001);
  EXPECT_TRUE(ProjectsInsideSegment(a, TRealPoint{0.0005, 0}, c));

  TRealPoint p{1, 2}, q;
  OffsetPoint(p, q, 0.0, 45.0);
  EXPECT_EQ(q, p);
  OffsetPoint(p, q, -3.0, 45.0);
  EXPECT_EQ(q, p);
  OffsetPoint(p, q, 2.0, 90.0);
  EXPECT_POINT_NEAR(q, 1.0, 4.0, 1.0E-12);

  TIntPoint ip{-7, 2147483647};
  IntPointToReal(ip, q);
  EXPECT_EQ(q, (TRealPoint{-7.0, 2147483647.0}));
  TRealPoint m;
  MidPoint(TRealPoint{1, 2}, TRealPoint{4, -2}, m);
  EXPECT_EQ(m, (TRealPoint{2.5, 0}));
  EXPECT_EQ(Distance(TRealPoint{1, 1}, TRealPoint{4, 5}), 5.0);
}

TEST_F(GeometryPointsTest, TangentLegsAndChordOffsets) {
  double leg = -1, sum = -1;
  EXPECT_TRUE(TangentLegInner(5, 1, 1, leg, sum));
  EXPECT_EQ(sum, 2.0);
  EXPECT_NEAR(leg, std::sqrt(12.0), 1.0E-15);
  leg = -1;
  EXPECT_FALSE(TangentLegInner(1, 1, 1, leg, sum));
  EXPECT_EQ(sum, 2.0);
  EXPECT_EQ(leg, -1.0);
  EXPECT_TRUE(TangentLegOuter(2, 1, 2, leg, sum));  // exactly touching
  EXPECT_EQ(leg, 0.0);
  EXPECT_TRUE(TangentLegOuter(3, 1, 1, leg, sum));
  EXPECT_NEAR(leg, std::sqrt(12.0), 1.0E-15);

  double along = -1, half = -1;
  EXPECT_TRUE(CircleIntersectionOffsets(1, 1, 1, along, half));
  EXPECT_NEAR(along, 0.5, 1.0E-15);
  EXPECT_NEAR(half, std::sqrt(0.75), 1.0E-15);
  EXPECT_FALSE(CircleIntersectionOffsets(1, 1, 3, along, half));
  EXPECT_FALSE(CircleIntersectionOffsets(1, 1, 0, along, half));
  EXPECT_TRUE(CircleIntersectionOffsets(3, 2, 5, along, half));  // touching
  EXPECT_NEAR(along, 3.0, 1.0E-12);
  EXPECT_EQ(half, 0.0);
}
