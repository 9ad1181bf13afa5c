#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "foundation/geometry.h"
#include "geometry_test_support.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// The turn-at-a-time reductions that the normalisers must agree with.
double SteppedNormalize360(double a) {
  while (a < 0.0) a += 360.0;
  while (a >= 360.0) a -= 360.0;
  return a;
}

double SteppedNormalize180(double a) {
  while (a <= -180.0) a += 360.0;
  while (a > 180.0) a -= 360.0;
  return a;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

class GeometryToleranceTest : public GeometryTest {};

TEST_F(GeometryToleranceTest, StartTolerancesCompareExactly) {
  EXPECT_FALSE(IsZeroTol(1.0E-300));
  EXPECT_TRUE(IsZeroTol(0.0));
  EXPECT_TRUE(IsZeroTol(-0.0));
  EXPECT_TRUE(EqualTol(2.5, 2.5));
  EXPECT_FALSE(EqualTol(2.5, std::nextafter(2.5, 3.0)));
  EXPECT_TRUE(LessEqualTol(1.0, 1.0));
  EXPECT_FALSE(LessTol(1.0, 1.0));
  EXPECT_TRUE(GreaterEqualTol(1.0, 1.0));
  EXPECT_FALSE(GreaterTol(1.0, 1.0));
  EXPECT_TRUE(NotNegativeTol(0.0));
  EXPECT_TRUE(NegativeTol(-1.0E-300));
  EXPECT_TRUE(NotPositiveTol(0.0));
  EXPECT_TRUE(PositiveTol(1.0E-300));
  EXPECT_EQ(SafeReciprocal(0.0), 0.0);
  EXPECT_EQ(SafeReciprocal(4.0), 0.25);
  EXPECT_EQ(MinTol(1.0, 2.0), 1.0);
  EXPECT_EQ(MinTol(2.0, 2.0), 2.0);
  EXPECT_EQ(GreaterOf(1.0, 2.0), 2.0);
}

TEST_F(GeometryToleranceTest, SetToleranceWidensThePredicates) {
  SetTolerance(0.5);
  EXPECT_EQ(AbsTol, 0.5);
  EXPECT_EQ(RelTol, 1.0);
  EXPECT_TRUE(EqualTol(1.5, 1.0));
  EXPECT_FALSE(EqualTol(1.0, 0.0));  // a zero reference makes the tolerance zero
  EXPECT_TRUE(IsZeroTol(-0.5));
  EXPECT_FALSE(IsZeroTol(0.50001));
  EXPECT_TRUE(NotNegativeTol(-0.5));
  EXPECT_FALSE(PositiveTol(0.5));
  EXPECT_TRUE(PointsEqualTol(TRealPoint{1.0, 1.0}, TRealPoint{1.4, 0.6}));
  EXPECT_FALSE(PointsEqualTol(TRealPoint{1.0, 1.0}, TRealPoint{1.6, 1.0}));
  double x = 0.3;
  ClearIfZeroTol(x);
  EXPECT_EQ(x, 0.0);
  EXPECT_EQ(SafeReciprocal(0.4), 0.0);
  // MinTol takes the first only when it is clearly below the second.
  EXPECT_EQ(MinTol(1.0, 1.5), 1.5);
  EXPECT_EQ(MinTol(0.5, 2.0), 2.0);
  EXPECT_EQ(MinTol(-1.0, 2.0), -1.0);
}

TEST_F(GeometryToleranceTest, GuardsRestoreTheStateOnEveryPath) {
  {
    TToleranceGuard tolerance(0.25);
    TEpsilonGuard epsilon(0.5);
    NormalizeLines = false;
    TNormalizeLinesGuard lines;
    EXPECT_EQ(RelTol, 0.5);
    EXPECT_EQ(Epsilon, 0.5);
    EXPECT_TRUE(NormalizeLines);
  }
  EXPECT_EQ(AbsTol, 0.0);
  EXPECT_EQ(RelTol, 0.0);
  EXPECT_EQ(Epsilon, 1.0E-10);
  EXPECT_FALSE(NormalizeLines);
}

TEST_F(GeometryToleranceTest, ErrorHookKeepsEightyCharacters) {
  SetGeomRoutine(std::string(100, 'x'));
  EXPECT_EQ(GeoRoutineName, std::string(80, 'x'));
  SetGeomRoutine("IntCircles");
  EXPECT_EQ(GeoRoutineName, "IntCircles");
  SetGeomError(69);
  EXPECT_EQ(GeoErrorCode, 69);
  SetGeomError(0);
  EXPECT_EQ(GeoErrorCode, 0);
}

class GeometryAngleTest : public GeometryTest {};

TEST_F(GeometryAngleTest, NormalizersKeepTheirRangesAndBoundaries) {
  EXPECT_EQ(NormalizeAngle360(-90.0), 270.0);
  EXPECT_EQ(NormalizeAngle360(360.0), 0.0);
  EXPECT_EQ(NormalizeAngle360(720.5), 0.5);
  EXPECT_EQ(NormalizeAngle360(-720.0), 0.0);
  EXPECT_FALSE(std::signbit(NormalizeAngle360(-720.0)));
  EXPECT_EQ(NormalizeAngle360(-1.0E-20), 0.0);  // -tiny + 360 rounds to 360, then wraps
  EXPECT_EQ(NormalizeAngle180(180.0), 180.0);
  EXPECT_EQ(NormalizeAngle180(-180.0), 180.0);
  EXPECT_EQ(NormalizeAngle180(270.0), -90.0);
  EXPECT_EQ(NormalizeAngle180(540.0), 180.0);
  EXPECT_EQ(NormalizeAngle180(-540.0), 180.0);
  EXPECT_EQ(NormalizeAngle180(-720.0), 0.0);
  EXPECT_FALSE(std::signbit(NormalizeAngle180(-720.0)));
}

TEST_F(GeometryAngleTest, NormalizersMatchTurnByTurnReductionBitForBit) {
  TGridRandom rnd(2024);
  for (int i = 0; i < 20000; ++i) {
    double a;
    switch (i % 4) {
      case 0: a = rnd.Real(-1.0E5, 1.0E5); break;
      case 1: a = 360.0 * static_cast<double>(rnd.Int(-300, 300)) + rnd.Real(-1.0E-9, 1.0E-9); break;
      case 2: a = 180.0 * static_cast<double>(rnd.Int(-300, 300)); break;
      default: a = rnd.Real(-1.0, 1.0) * std::ldexp(1.0, static_cast<int>(rnd.Int(-60, 16))); break;
    }
    ASSERT_TRUE(SameBits(NormalizeAngle360(a), SteppedNormalize360(a))) << a;
    ASSERT_TRUE(SameBits(NormalizeAngle180(a), SteppedNormalize180(a))) << a;
  }
}

TEST_F(GeometryAngleTest, NormalizersTerminateOnHugeAndNonFiniteAngles) {
  // Stepping by 360 would never end on these.
  for (double a : {1.0E300, -1.0E300, 1.0E17, -3.0E16, std::ldexp(1.0, 60)}) {
    double r = NormalizeAngle360(a);
    EXPECT_GE(r, 0.0);
    EXPECT_LT(r, 360.0);
    double s = NormalizeAngle180(a);
    EXPECT_GT(s, -180.0);
    EXPECT_LE(s, 180.0);
  }
  for (double a : {kInf, -kInf, kNaN}) {
    EXPECT_EQ(NormalizeAngle360(a), 0.0);
    EXPECT_EQ(NormalizeAngle180(a), 0.0);
    EXPECT_EQ(AngleQuadrant(a), 1);
    EXPECT_EQ(SinDeg(a), 0.0);
    double dx = 0, dy = 0;
    PolarToRect(2.0, a, dx, dy);
    EXPECT_EQ(dx, 2.0);
    EXPECT_EQ(dy, 0.0);
  }
}

TEST_F(GeometryAngleTest, TrigonometryOnDegrees) {
  EXPECT_NEAR(TanDeg(45.0), 1.0, 1.0E-12);
  EXPECT_NEAR(TanDeg(135.0), -1.0, 1.0E-12);
  EXPECT_NEAR(TanDeg(-45.0), -1.0, 1.0E-12);
  EXPECT_NEAR(SinDeg(-90.0), -1.0, 1.0E-15);
  EXPECT_NEAR(CosDeg(720.0 + 60.0), 0.5, 1.0E-15);
  EXPECT_EQ(ArcSinDeg(-1.0), -90.0);
  EXPECT_EQ(ArcSinDeg(1.0), 90.0);
  EXPECT_NEAR(ArcSinDeg(0.5), 30.0, 1.0E-9);
  EXPECT_NEAR(ArcCosDeg(0.5), 60.0, 1.0E-9);
  EXPECT_EQ(ArcCosTol(1.0), 0.0);
  EXPECT_EQ(ArcCosTol(-1.0), 180.0);
  EXPECT_EQ(ArcCosTol(0.0), 90.0);
  EXPECT_NEAR(ArcCosTol(0.5), 60.0, 1.0E-9);
  EXPECT_NEAR(ArcCosTol(-0.5), 120.0, 1.0E-9);
  // A cosine rounded just past 1 still gives an angle, not NaN.
  EXPECT_EQ(ArcCosTol(std::nextafter(1.0, 2.0)), 0.0);
  EXPECT_EQ(ArcCosTol(std::nextafter(-1.0, -2.0)), 180.0);
}

TEST_F(GeometryAngleTest, PolarConversions) {
  double r = -1, a = -1;
  RectToPolar(0.0, 0.0, r, a);
  EXPECT_EQ(r, 0.0);
  EXPECT_EQ(a, 0.0);
  RectToPolar(0.0, -1.0, r, a);
  EXPECT_EQ(a, 270.0);
  RectToPolar(-1.0, 0.0, r, a);
  EXPECT_EQ(a, 180.0);
  double dx, dy;
  PolarToRect(2.0, 90.0, dx, dy);
  EXPECT_NEAR(dx, 0.0, 1.0E-15);
  EXPECT_NEAR(dy, 2.0, 1.0E-15);
  PolarToRect(5.0E-11, 45.0, dx, dy);
  EXPECT_EQ(dx, 0.0);
  EXPECT_EQ(dy, 0.0);

  // Round trips and agreement with atan2 over all directions.
  TGridRandom rnd(7);
  for (int i = 0; i < 3000; ++i) {
    double x = static_cast<double>(rnd.Int(-1000, 1000));
    double y = static_cast<double>(rnd.Int(-1000, 1000));
    if (x == 0.0 && y == 0.0) continue;
    RectToPolar(x, y, r, a);
    ASSERT_GE(a, 0.0);
    ASSERT_LT(a, 360.0);
    double expected = std::atan2(y, x) * 180.0 / M_PI;
    if (expected < 0.0) expected += 360.0;
    double diff = std::fabs(a - expected);
    ASSERT_LT(std::min(diff, 360.0 - diff), 1.0E-8) << x << "," << y;
    double v = VectorAngleDeg(x, y);
    diff = std::fabs(v - expected);
    ASSERT_LT(std::min(diff, 360.0 - diff), 1.0E-8) << x << "," << y;
    PolarToRect(r, a, dx, dy);
    ASSERT_NEAR(dx, x, 1.0E-8);
    ASSERT_NEAR(dy, y, 1.0E-8);
  }
}

TEST_F(GeometryAngleTest, QuadrantsAndVertexAngles) {
  EXPECT_EQ(AngleQuadrant(0.0), 1);
  EXPECT_EQ(AngleQuadrant(89.9), 1);
  EXPECT_EQ(AngleQuadrant(135.0), 2);
  EXPECT_EQ(AngleQuadrant(359.0), 4);
  EXPECT_EQ(AngleQuadrant(450.5), 2);
  uint8_t huge = AngleQuadrant(1.0E300);
  EXPECT_GE(huge, 1);
  EXPECT_LE(huge, 4);
  // A negative angle counts by its direction rather than giving 0 or 255.
  EXPECT_EQ(AngleQuadrant(-10.0), 4);
  EXPECT_EQ(AngleQuadrant(-200.0), 2);

  TRealPoint o{0.0, 0.0};
  EXPECT_EQ(VertexAngle(TRealPoint{0.0, 1.0}, o, TRealPoint{1.0, 0.0}), 90.0);
  EXPECT_EQ(VertexAngle(TRealPoint{1.0, 0.0}, o, TRealPoint{0.0, 1.0}), 270.0);
  EXPECT_EQ(VertexAngle(o, o, TRealPoint{1.0, 0.0}), 0.0);
  EXPECT_EQ(VertexAngle(TRealPoint{1.0, 0.0}, o, TRealPoint{1.0, 0.0}), 0.0);
  EXPECT_NEAR(DirectionAngle(TRealPoint{1.0, 1.0}, TRealPoint{0.0, 2.0}), 135.0, 1.0E-9);

  // RayBetween: a = +X, b = +Y; the diagonal lies between, -X does not, and
  // the rays themselves are excluded.
  TRealPoint a{1.0, 0.0}, b{0.0, 1.0};
  EXPECT_TRUE(RayBetween(a, b, o, TRealPoint{1.0, 1.0}));
  EXPECT_FALSE(RayBetween(a, b, o, TRealPoint{-1.0, 0.0}));
  EXPECT_FALSE(RayBetween(a, b, o, TRealPoint{2.0, 0.0}));
  EXPECT_FALSE(RayBetween(a, b, o, TRealPoint{0.0, 3.0}));
  EXPECT_TRUE(RayBetween(b, a, o, TRealPoint{-1.0, -1.0}));  // the long way round
}
