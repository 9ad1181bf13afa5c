#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

#include "foundation/geometry_lines.h"
#include "geometry_test_support.h"

class GeometryLinesTest : public GeometryTest {
 protected:
  TLineEq E;
  TLinePointDir F;
};

TEST_F(GeometryLinesTest, LineEquationForms) {
  LineEquation(0, TRealPoint{0.0, 0.0}, TRealPoint{1.0, 0.0}, E, F);
  EXPECT_EQ(GeoErrorCode, 0);
  EXPECT_EQ(GeoRoutineName, "LineEquation");
  EXPECT_EQ(E.A, 0.0);
  EXPECT_EQ(E.B, -1.0);
  EXPECT_EQ(E.C, 0.0);
  // Positive to the right of travel, negative to the left.
  EXPECT_EQ(DistPntLine(0, TRealPoint{0.0, -1.0}, {}, {}, E, F), 1.0);
  EXPECT_LT(DistPntLine(0, TRealPoint{5.0, 3.0}, {}, {}, E, F), 0.0);

  LineEquation(1, TRealPoint{0.0, 0.0}, TRealPoint{2.0, 0.0}, E, F);
  EXPECT_EQ(F.P, (TRealPoint{0.0, 0.0}));
  EXPECT_EQ(F.D, (TRealPoint{-1.0, 0.0}));

  NormalizeLines = false;
  LineEquation(0, TRealPoint{0.0, 0.0}, TRealPoint{3.0, 4.0}, E, F);
  EXPECT_EQ(E, (TLineEq{4.0, -3.0, 0.0}));

  TLineEq keepE{7.0, 8.0, 9.0};
  E = keepE;
  LineEquation(0, TRealPoint{1.0, 1.0}, TRealPoint{1.0, 1.0}, E, F);
  EXPECT_EQ(GeoErrorCode, 2);
  EXPECT_EQ(E, keepE);
  LineEquation(7, TRealPoint{0.0, 0.0}, TRealPoint{1.0, 1.0}, E, F);
  EXPECT_EQ(GeoErrorCode, 1);

  // Differences whose squares underflow are degenerate, not a division by 0.
  NormalizeLines = true;
  LineEquation(0, TRealPoint{0.0, 0.0}, TRealPoint{1.0E-200, 0.0}, E, F);
  EXPECT_EQ(GeoErrorCode, 2);
  EXPECT_EQ(E, keepE);

  BothLineEquations(TRealPoint{1.0, 1.0}, TRealPoint{4.0, 5.0}, E, F);
  EXPECT_NEAR(E.A * E.A + E.B * E.B, 1.0, 1.0E-15);
  EXPECT_NEAR(F.D.X * F.D.X + F.D.Y * F.D.Y, 1.0, 1.0E-15);
}

TEST_F(GeometryLinesTest, NormalizeAndConvert) {
  E = TLineEq{0.0, 2.0, 4.0};
  NormalizeLine(0, E, F);
  EXPECT_EQ(E, (TLineEq{0.0, -1.0, -2.0}));
  E = TLineEq{1.0, -1.0, 0.0};
  NormalizeLine(0, E, F);
  EXPECT_NEAR(E.A, -std::sqrt(0.5), 1.0E-15);
  EXPECT_NEAR(E.B, std::sqrt(0.5), 1.0E-15);
  E = TLineEq{0.0, 0.0, 1.0};
  NormalizeLine(0, E, F);
  EXPECT_EQ(GeoErrorCode, 3);
  F = TLinePointDir{{1.0, 1.0}, {0.0, 0.0}};
  NormalizeLine(1, E, F);
  EXPECT_EQ(GeoErrorCode, 4);
  F.D = TRealPoint{3.0, 4.0};
  NormalizeLine(1, E, F);
  EXPECT_EQ(F.D, (TRealPoint{0.6, 0.8}));

  E = TLineEq{0.0, 1.0, -5.0};
  ConvLineEq(0, E, F);
  EXPECT_EQ(F.P, (TRealPoint{0.0, 5.0}));
  EXPECT_EQ(F.D, (TRealPoint{1.0, 0.0}));
  E = TLineEq{2.0, 1.0, 0.0};
  ConvLineEq(0, E, F);
  EXPECT_POINT_NEAR(F.P, 0.0, 0.0, 0.0);
  EXPECT_NEAR(F.D.X, 1.0 / std::sqrt(5.0), 1.0E-15);
  EXPECT_NEAR(F.D.Y, -2.0 / std::sqrt(5.0), 1.0E-15);
  E = TLineEq{1.0E-170, 1.0E-170, 1.0};  // A*A + B*B underflows
  ConvLineEq(0, E, F);
  EXPECT_EQ(GeoErrorCode, 3);
  F = TLinePointDir{{1.0, 2.0}, {1.0, 1.0}};
  ConvLineEq(1, E, F);
  EXPECT_EQ(E.A * 1.0 + E.B * 2.0 + E.C, 0.0);
}

TEST_F(GeometryLinesTest, DistancesAndAngles) {
  F = TLinePointDir{{0.0, 0.0}, {2.0, 0.0}};
  EXPECT_EQ(DistPntLine(1, TRealPoint{5.0, -3.0}, {}, {}, E, F), 3.0);
  EXPECT_EQ(DistPntLine(1, TRealPoint{5.0, 3.0}, {}, {}, E, F), 3.0);
  F.D = TRealPoint{};
  EXPECT_EQ(DistPntLine(1, TRealPoint{5.0, 3.0}, {}, {}, E, F), 1.0);
  EXPECT_EQ(GeoErrorCode, 4);
  EXPECT_NEAR(DistPntLine(2, TRealPoint{0.0, 3.0}, TRealPoint{0.0, 0.0}, TRealPoint{4.0, 0.0}, E, F),
              -3.0, 1.0E-15);
  EXPECT_EQ(DistPntLine(2, TRealPoint{0.0, 3.0}, TRealPoint{1.0, 1.0}, TRealPoint{1.0, 1.0}, E, F),
            1.0);
  EXPECT_EQ(GeoErrorCode, 2);

  TLineEq x{0.0, 1.0, 0.0}, y{1.0, 0.0, 0.0}, xOpp{0.0, -3.0, 0.0}, diag{1.0, -1.0, 0.0};
  EXPECT_EQ(AngleTwoLines(0, x, y), 90.0);
  EXPECT_EQ(AngleTwoLines(0, x, xOpp), 0.0);
  EXPECT_NEAR(AngleTwoLines(0, x, diag), 45.0, 1.0E-9);
  EXPECT_EQ(AngleTwoLines(1, x, y), 1.5707963267948966);
  EXPECT_NEAR(AngleTwoLines(2, x, diag), std::sqrt(0.5), 1.0E-15);
  // Parallel lines whose normals round to a cosine just above 1.
  TLineEq a{0.1, 0.7, 1.0}, b{0.3, 2.1, 5.0};
  double angle = AngleTwoLines(0, a, b);
  EXPECT_FALSE(std::isnan(angle));
  EXPECT_NEAR(angle, 0.0, 1.0E-6);
  AngleTwoLines(0, x, TLineEq{0.0, 0.0, 1.0});
  EXPECT_EQ(GeoErrorCode, 3);
  AngleTwoLines(3, x, y);
  EXPECT_EQ(GeoErrorCode, 1);
}

TEST_F(GeometryLinesTest, SlopeAndPerpendicular) {
  double s = 0;
  Slope(TRealLine{{1.0, 1.0}, {1.0, 5.0}}, s);
  EXPECT_EQ(s, 1.0E37);
  EXPECT_EQ(GeoErrorCode, 8);
  Slope(TRealLine{{1.0, 1.0}, {1.0, 1.0}}, s);
  EXPECT_EQ(s, 1.0E37);
  EXPECT_EQ(GeoErrorCode, 7);
  Slope(TRealLine{{0.0, 0.0}, {2.0, 1.0}}, s);
  EXPECT_EQ(s, 0.5);
  EXPECT_EQ(GeoErrorCode, 0);

  TRealLine vertical{{0.0, 0.0}, {0.0, 1.0}}, horizontal{{0.0, 0.0}, {3.0, 0.0}};
  TRealLine rising{{0.0, 0.0}, {1.0, 2.0}}, falling{{0.0, 0.0}, {-2.0, 1.0}}, point{{1.0, 1.0}, {1.0, 1.0}};
  for (const auto& [a, b, perpendicular] :
       {std::tuple{vertical, horizontal, true}, {horizontal, vertical, true}, {rising, falling, true},
        {rising, horizontal, false}, {vertical, vertical, false}, {point, horizontal, false},
        {horizontal, point, false}})
    EXPECT_EQ(Perpendicular(a, b), perpendicular);
}

TEST_F(GeometryLinesTest, BoxesAndSegmentRelations) {
  TRealRect r;
  LineRectangle(TRealLine{{3.0, -1.0}, {1.0, 2.0}}, r);
  EXPECT_EQ(r, (TRealRect{1.0, -1.0, 3.0, 2.0}));
  EXPECT_EQ(GeoErrorCode, 0);
  LineRectangle(TRealLine{{3.0, 3.0}, {3.0, 3.0}}, r);
  EXPECT_EQ(GeoErrorCode, 2);
  EXPECT_EQ(r, (TRealRect{3.0, 3.0, 3.0, 3.0}));

  TRealLine box{{3.0, 2.0}, {1.0, -1.0}};
  EXPECT_TRUE(InRectangle(box, TRealPoint{1.0, 2.0}));
  EXPECT_FALSE(InRectangle(box, TRealPoint{0.999, 0.0}));
  EXPECT_TRUE(PointInLineBox(box, TRealPoint{2.0, 0.0}));
  EXPECT_TRUE(PointInLineBox(box, TRealPoint{3.0, -1.0}));
  EXPECT_FALSE(PointInLineBox(box, TRealPoint{2.0, 2.5}));
  TRealLine dot{{1.0, 1.0}, {1.0, 1.0}};
  EXPECT_TRUE(InRectangle(dot, TRealPoint{1.0, 1.0}));
  EXPECT_EQ(GeoErrorCode, 2);
  EXPECT_FALSE(InRectangle(dot, TRealPoint{1.0, 1.5}));

  // Every relation against l2 (relation 1: crossing l2's line beyond its end).
  const TRealLine l2{{0.0, 0.0}, {1.0, 0.0}}, others[8] = {
      {{7.0, 0.0}, {8.0, 3.0}}, {{5.0, -1.0}, {5.0, 1.0}}, {{0.0, 1.0}, {4.0, 2.0}}, {{0.2, 0.0}, {0.8, 0.0}},
      {{0.5, 0.0}, {0.5, 4.0}}, {{0.5, 4.0}, {0.5, 0.0}}, {{-1.0, 0.0}, {2.0, 0.0}}, {{7.0, 0.0}, {7.0, 3.0}}};
  for (int relation = 0; relation < 8; ++relation) EXPECT_EQ(SegmentRelation(others[relation], l2), relation);
}

TEST_F(GeometryLinesTest, CircleEquation) {
  TCircleEq c;
  c.D = -2.0;
  c.E = -4.0;
  c.F = 1.0;  // (x - 1)^2 + (y - 2)^2 = 4
  CPRadCircle(c);
  EXPECT_EQ(GeoErrorCode, 0);
  EXPECT_EQ(c.Center, (TRealPoint{1.0, 2.0}));
  EXPECT_EQ(c.Radius, 2.0);
  c.F = 5.0;
  CPRadCircle(c);
  EXPECT_EQ(GeoErrorCode, 13);
  EXPECT_EQ(c.Radius, 0.0);
  c.Radius = 9.0;
  c.F = 6.0;
  CPRadCircle(c);
  EXPECT_EQ(GeoErrorCode, 14);
  EXPECT_EQ(c.Radius, 9.0);
}

TEST_F(GeometryLinesTest, Quadrants) {
  TRealPoint any;
  for (const auto& [angle, quadrant] :
       {std::pair{90.0, 1}, {90.0001, 2}, {180.0, 2}, {360.0, 1}, {725.0, 1}, {360.0 * 1.0E6 + 100.0, 2}})
    EXPECT_EQ(Quadrant(2, any, angle), quadrant) << angle;
  EXPECT_EQ(Quadrant(0, TRealPoint{0.0, -1.0}, 0.0), 4);
  EXPECT_EQ(Quadrant(0, TRealPoint{-1.0, 0.0}, 0.0), 2);
  EXPECT_EQ(Quadrant(0, TRealPoint{0.0, 0.0}, 0.0), 1);
  EXPECT_EQ(Quadrant(0, TRealPoint{-1.0, -1.0}, 0.0), 3);
  EXPECT_EQ(Quadrant(3, any, 3.2), 3);
  EXPECT_EQ(Quadrant(1, any, 2.5), 3);
  Quadrant(1, any, 4.5);
  EXPECT_EQ(GeoErrorCode, 19);
  Quadrant(2, any, -1.0);
  EXPECT_EQ(GeoErrorCode, 20);
  Quadrant(9, any, 1.0);
  EXPECT_EQ(GeoErrorCode, 1);

  // Non-finite and huge angles end quickly with a defined answer.
  const double inf = std::numeric_limits<double>::infinity();
  Quadrant(2, any, inf);
  EXPECT_EQ(GeoErrorCode, 19);
  Quadrant(3, any, std::nan(""));
  EXPECT_EQ(GeoErrorCode, 19);
  Quadrant(2, any, -inf);
  EXPECT_EQ(GeoErrorCode, 20);
  int32_t q = Quadrant(2, any, 1.0E300);
  EXPECT_EQ(GeoErrorCode, 0);
  EXPECT_GE(q, 1);
  EXPECT_LE(q, 4);
}

TEST_F(GeometryLinesTest, QuadrantMatchesTurnByTurnReductionUnderATolerance) {
  SetTolerance(1.0E-6);
  TGridRandom rnd(11);
  TRealPoint any;
  for (int i = 0; i < 5000; ++i) {
    double a = i % 2 ? rnd.Real(0.0, 30000.0) : 90.0 * static_cast<double>(rnd.Int(0, 300)) +
                                                     rnd.Real(-1.0E-3, 1.0E-3);
    if (a < 0.0) continue;
    double b = a;
    while (GreaterEqualTol(b, 360.0)) b -= 360.0;
    int32_t expected = (NotNegativeTol(b) && LessEqualTol(b, 90.0))    ? 1
                       : (GreaterTol(b, 90.0) && LessEqualTol(b, 180.0)) ? 2
                       : (GreaterTol(b, 180.0) && LessEqualTol(b, 270.0)) ? 3
                                                                           : 4;
    ASSERT_EQ(Quadrant(2, any, a), expected) << a;
  }
}

TEST_F(GeometryLinesTest, HalfTangentParameters) {
  EXPECT_NEAR(ParmTanHAngle(0, 90.0), 1.0, 1.0E-9);
  EXPECT_NEAR(ParmTanHAngle(0, 180.0), 2.0, 1.0E-9);
  EXPECT_NEAR(ParmTanHAngle(0, 45.0), std::tan(M_PI / 8.0), 1.0E-9);
  EXPECT_NEAR(ParmTanHAngle(0, 45.0 + 720.0), std::tan(M_PI / 8.0), 1.0E-9);
  EXPECT_EQ(ParmTanHAngle(0, 0.0), 0.0);
  ParmTanHAngle(0, -10.0);
  EXPECT_EQ(GeoErrorCode, 20);
  // Exactly the base of a quadrant: nothing left inside it.
  EXPECT_EQ(ParmTanHAngle(1, 1.570796327), 1.0);
  EXPECT_EQ(GeoErrorCode, 0);
  ParmTanHAngle(0, std::numeric_limits<double>::infinity());
  EXPECT_EQ(GeoErrorCode, 19);
  double huge = ParmTanHAngle(0, 1.0E300);
  EXPECT_EQ(GeoErrorCode, 0);
  EXPECT_GE(huge, 0.0);
  EXPECT_LT(huge, 4.0);

  EXPECT_NEAR(HalfTanParmToAngle(0, 1.5), 90.0 + 2.0 * std::atan(0.5) * 180.0 / M_PI, 1.0E-9);
  EXPECT_NEAR(HalfTanParmToAngle(1, 2.0), 3.1415922, 1.0E-15);
  EXPECT_EQ(HalfTanParmToAngle(0, 0.0), 0.0);
  HalfTanParmToAngle(0, -0.5);
  EXPECT_EQ(GeoErrorCode, 20);
  HalfTanParmToAngle(0, 4.0);
  EXPECT_EQ(GeoErrorCode, 19);
  HalfTanParmToAngle(0, std::nan(""));
  EXPECT_EQ(GeoErrorCode, 19);

  // Round trip over all directions, and order-keeping.
  double previous = -1.0;
  for (int deg = 0; deg < 360; ++deg) {
    double p = ParmTanHAngle(0, deg + 0.5);
    ASSERT_EQ(GeoErrorCode, 0);
    ASSERT_GT(p, previous);
    previous = p;
    ASSERT_NEAR(HalfTanParmToAngle(0, p), deg + 0.5, 1.0E-7);
  }
}

TEST_F(GeometryLinesTest, ToleranceNeverPairsAFractionWithTheNextQuadrant) {
  // 0.9999999 stands for 89.99999 degrees; the tolerance must not turn it
  // into 90 + 89.99999.
  SetTolerance(1.0E-6);
  EXPECT_NEAR(HalfTanParmToAngle(0, 0.9999999), 90.0, 1.0E-4);
  EXPECT_NEAR(HalfTanParmToAngle(0, 1.9999999), 180.0, 1.0E-4);
  HalfTanParmToAngle(0, 3.9999999);
  EXPECT_EQ(GeoErrorCode, 19);
}

TEST_F(GeometryLinesTest, DirectionParameters) {
  TRealPoint o{0.0, 0.0};
  const TRealPoint axes[4] = {{1.0, 0.0}, {0.0, 2.0}, {-2.0, 0.0}, {0.0, -2.0}};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(DirectionParm(0, o, axes[k]), k);
  EXPECT_NEAR(DirectionParm(1, o, TRealPoint{1.0, -1.0}), 315.0, 1.0E-9);
  EXPECT_NEAR(DirectionParm(2, o, TRealPoint{-1.0, 1.0}), 0.75 * M_PI, 1.0E-6);
  EXPECT_EQ(DirectionParm(0, o, o), 0.0);
  EXPECT_EQ(GeoErrorCode, 2);
  // A nearly vertical direction: the slope's square would overflow.
  EXPECT_NEAR(DirectionParm(0, o, TRealPoint{1.0E-300, 1.0}), 1.0, 1.0E-12);
  EXPECT_NEAR(DirectionParm(0, o, TRealPoint{-1.0E-300, -1.0}), 3.0, 1.0E-12);

  TGridRandom rnd(5);
  for (int i = 0; i < 3000; ++i) {
    TGridPoint p = rnd.Point(1000);
    if (p.X == 0 && p.Y == 0) continue;
    double expected = std::atan2(static_cast<double>(p.Y), static_cast<double>(p.X)) * 180.0 / M_PI;
    if (expected < 0.0) expected += 360.0;
    double got = DirectionParm(1, o, Real(p));
    ASSERT_EQ(GeoErrorCode, 0);
    ASSERT_NEAR(got, expected, 2.0E-5) << p.X << "," << p.Y;
  }
}

TEST_F(GeometryLinesTest, PointAtAngleAndDistance) {
  TRealPoint o{0.0, 0.0}, q;
  PntAngleDist(2, o, q, 10.0, 2.0);
  EXPECT_EQ(q, (TRealPoint{-10.0, 0.0}));
  PntAngleDist(2, o, q, 10.0, 3.0);
  EXPECT_EQ(q, (TRealPoint{0.0, -10.0}));
  PntAngleDist(2, o, q, -10.0, 3.0);
  EXPECT_EQ(q, (TRealPoint{0.0, -10.0}));
  PntAngleDist(0, TRealPoint{1.0, 1.0}, q, 2.0, 405.0);
  EXPECT_POINT_NEAR(q, 1.0 + std::sqrt(2.0), 1.0 + std::sqrt(2.0), 1.0E-9);
  PntAngleDist(1, o, q, 1.0, M_PI / 3.0);
  EXPECT_POINT_NEAR(q, 0.5, std::sqrt(0.75), 1.0E-9);

  TRealPoint keep{7.0, 7.0};
  q = keep;
  PntAngleDist(2, o, q, 1.0, 4.0);
  EXPECT_EQ(GeoErrorCode, 19);
  EXPECT_EQ(q, keep);
  PntAngleDist(0, o, q, 1.0, -90.0);
  EXPECT_EQ(GeoErrorCode, 20);
  EXPECT_EQ(q, keep);
  // A parameter with no quadrant is an error rather than a silent no-op.
  PntAngleDist(2, o, q, 1.0, -1.5);
  EXPECT_EQ(GeoErrorCode, 20);
  EXPECT_EQ(q, keep);
  for (double bad : {std::numeric_limits<double>::infinity(), std::nan("")}) {
    for (uint8_t mode = 0; mode <= 2; ++mode) {
      PntAngleDist(mode, o, q, 1.0, bad);
      EXPECT_EQ(GeoErrorCode, 19);
      EXPECT_EQ(q, keep);
    }
  }
  PntAngleDist(0, o, q, 1.0, 1.0E300);  // ends, on the unit circle
  EXPECT_EQ(GeoErrorCode, 0);
  EXPECT_NEAR(std::hypot(q.X, q.Y), 1.0, 1.0E-9);
  PntAngleDist(3, o, q, 1.0, 0.0);
  EXPECT_EQ(GeoErrorCode, 1);

  // Degrees: every direction lands where cos/sin put it.
  for (int i = 0; i < 3600; ++i) {
    double deg = i * 0.1;
    PntAngleDist(0, TRealPoint{5.0, -3.0}, q, 100.0, deg);
    ASSERT_EQ(GeoErrorCode, 0) << deg;
    ASSERT_NEAR(q.X, 5.0 + 100.0 * std::cos(deg * M_PI / 180.0), 1.0E-6) << deg;
    ASSERT_NEAR(q.Y, -3.0 + 100.0 * std::sin(deg * M_PI / 180.0), 1.0E-6) << deg;
  }
}

TEST_F(GeometryLinesTest, ArcEndsAndBoxes) {
  TRealArc a;
  a.Center = TRealPoint{0.0, 0.0};
  a.Radius = 1.0;
  a.AngleUnit = 1;
  a.StartAngle = 0.0;
  a.EndAngle = 90.0;
  TRealPoint s, e;
  ArcPnts(a, s, e);
  EXPECT_EQ(GeoErrorCode, 0);
  EXPECT_POINT_NEAR(s, 1.0, 0.0, 1.0E-12);
  EXPECT_POINT_NEAR(e, 0.0, 1.0, 1.0E-9);
  a.AngleUnit = 2;
  a.EndAngle = 2.0;
  ArcPnts(a, s, e);
  EXPECT_EQ(e, (TRealPoint{-1.0, 0.0}));
  a.AngleUnit = 0;
  a.EndAngle = M_PI * 1.5;
  ArcPnts(a, s, e);
  EXPECT_POINT_NEAR(e, 0.0, -1.0, 1.0E-9);
  a.AngleUnit = 3;
  ArcPnts(a, s, e);
  EXPECT_EQ(GeoErrorCode, 1);

  a.AngleUnit = 1;
  TRealRect r;
  ArcBox(a, TRealPoint{1.0, 0.0}, TRealPoint{0.0, 1.0}, r);
  EXPECT_EQ(r, (TRealRect{0.0, 0.0, 1.0, 1.0}));
  ArcBox(a, TRealPoint{0.0, 1.0}, TRealPoint{1.0, 0.0}, r);
  EXPECT_EQ(r, (TRealRect{-1.0, -1.0, 1.0, 1.0}));
  ArcBox(a, TRealPoint{0.0, 1.0}, TRealPoint{0.0, 1.0}, r);
  EXPECT_EQ(r, (TRealRect{-1.0, -1.0, 1.0, 1.0}));
  ArcBox(a, TRealPoint{-1.0, 0.0}, TRealPoint{0.0, -1.0}, r);
  EXPECT_EQ(r, (TRealRect{-1.0, -1.0, 0.0, 0.0}));
  ArcBox(a, TRealPoint{0.0, -1.0}, TRealPoint{-1.0, 0.0}, r);  // 270 degrees round
  EXPECT_EQ(r, (TRealRect{-1.0, -1.0, 1.0, 1.0}));

  // Property: the box of any arc holds sampled points of the arc and is
  // reached by them on every side.
  TGridRandom rnd(17);
  for (int i = 0; i < 2000; ++i) {
    a.Center = TRealPoint{static_cast<double>(rnd.Int(-50, 50)), static_cast<double>(rnd.Int(-50, 50))};
    a.Radius = static_cast<double>(rnd.Int(1, 40));
    a.StartAngle = static_cast<double>(rnd.Int(0, 359));
    a.EndAngle = static_cast<double>(rnd.Int(0, 359));
    ArcPnts(a, s, e);
    ASSERT_EQ(GeoErrorCode, 0);
    ArcBox(a, s, e, r);
    double sweep = a.EndAngle - a.StartAngle;
    if (sweep <= 0.0) sweep += 360.0;
    TRealRect seen{1e300, 1e300, -1e300, -1e300};
    double slack = a.Radius * 1.0E-8;  // the kernel's degree constants
    for (int k = 0; k <= 720; ++k) {
      double g = (a.StartAngle + sweep * k / 720.0) * M_PI / 180.0;
      double x = a.Center.X + a.Radius * std::cos(g);
      double y = a.Center.Y + a.Radius * std::sin(g);
      ASSERT_GE(x, r.XMin - slack);
      ASSERT_LE(x, r.XMax + slack);
      ASSERT_GE(y, r.YMin - slack);
      ASSERT_LE(y, r.YMax + slack);
      seen = TRealRect{std::min(seen.XMin, x), std::min(seen.YMin, y), std::max(seen.XMax, x),
                       std::max(seen.YMax, y)};
    }
    slack = a.Radius * 1.0E-4;  // sampling
    ASSERT_LT(seen.XMin - r.XMin, slack) << i;
    ASSERT_LT(r.XMax - seen.XMax, slack) << i;
    ASSERT_LT(seen.YMin - r.YMin, slack) << i;
    ASSERT_LT(r.YMax - seen.YMax, slack) << i;
  }
}
