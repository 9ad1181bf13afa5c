#include <cmath>

#include "foundation/geometry_matrix.h"
#include "geometry_test_support.h"

namespace {

TRealPoint Apply(const TMatrix3& m, double x, double y) {
  TRealPoint p;
  TransformPoint(x, y, p.X, p.Y, m);
  return p;
}

}  // namespace

class GeometryMatrixTest : public GeometryTest {};

TEST_F(GeometryMatrixTest, TransformsActInTheOrderTheyAreAppended) {
  TMatrix3 m = IdentityMatrix;
  TranslateMatrix(m, 10.0, 0.0);
  RotateMatrix(TRealPoint{0.0, 0.0}, m, 90.0);
  EXPECT_POINT_NEAR(Apply(m, 0.0, 0.0), 0.0, -10.0, 1.0E-9);

  TMatrix3 r = IdentityMatrix;
  RotateMatrix(TRealPoint{0.0, 0.0}, r, 90.0);  // clockwise
  EXPECT_POINT_NEAR(Apply(r, 1.0, 0.0), 0.0, -1.0, 1.0E-9);
  TMatrix3 r2 = IdentityMatrix;
  RotateMatrix2D(TRealPoint{0.0, 0.0}, r2, 90.0);
  EXPECT_EQ(r, r2);

  double x = 1.0, y = 0.0;
  RotatePoint(x, y, 90.0);  // counter-clockwise
  EXPECT_NEAR(x, 0.0, 1.0E-9);
  EXPECT_NEAR(y, 1.0, 1.0E-9);
  x = 0.1;
  y = 0.2;
  RotatePoint(x, y, 0.0);
  EXPECT_EQ(x, 0.1);
  EXPECT_EQ(y, 0.2);

  // Rotation about a centre keeps the centre.
  TMatrix3 c = IdentityMatrix;
  RotateMatrix(TRealPoint{3.0, 4.0}, c, 37.0);
  EXPECT_POINT_NEAR(Apply(c, 3.0, 4.0), 3.0, 4.0, 1.0E-12);
}

TEST_F(GeometryMatrixTest, ScaleAndMirror) {
  TMatrix3 s = IdentityMatrix;
  ScaleMatrix(TRealPoint{5.0, 5.0}, s, 2.0, 2.0);
  EXPECT_POINT_NEAR(Apply(s, 6.0, 5.0), 7.0, 5.0, 1.0E-12);
  EXPECT_POINT_NEAR(Apply(s, 5.0, 5.0), 5.0, 5.0, 1.0E-12);

  TMatrix3 m = IdentityMatrix;
  MirrorMatrix(TRealPoint{0.0, 0.0}, TRealPoint{1.0, 0.0}, m);
  EXPECT_POINT_NEAR(Apply(m, 1.0, 2.0), -1.0, 2.0, 1.0E-9);
  EXPECT_TRUE(MatrixIsMirrored(m));
  MirrorMatrix(TRealPoint{2.0, 3.0}, TRealPoint{5.0, 7.0}, m);
  EXPECT_FALSE(MatrixIsMirrored(m));

  TMatrix3 same = IdentityMatrix;
  TranslateMatrix(same, 1.0, 2.0);
  TMatrix3 before = same;
  MirrorMatrix(TRealPoint{1.0, 1.0}, TRealPoint{1.0, 1.0}, same);
  EXPECT_EQ(same, before);
}

TEST_F(GeometryMatrixTest, ScaleMatrix2DRejectsTwoNonPositiveFactors) {
  TMatrix3 m = IdentityMatrix;
  TranslateMatrix2D(m, 1.0, 1.0);
  TMatrix3 before = m;
  ScaleMatrix2D(TRealPoint{0.0, 0.0}, m, 0.0, 0.0);
  EXPECT_EQ(GeoErrorCode, 44);
  EXPECT_EQ(GeoRoutineName, "ScaleMatrix2D");
  EXPECT_EQ(m, before);
  ScaleMatrix2D(TRealPoint{0.0, 0.0}, m, -1.0, -2.0);
  EXPECT_EQ(GeoErrorCode, 44);
  EXPECT_EQ(m, before);
  ScaleMatrix2D(TRealPoint{0.0, 0.0}, m, -1.0, 2.0);
  EXPECT_EQ(GeoErrorCode, 0);
  EXPECT_POINT_NEAR(Apply(m, 0.0, 0.0), -1.0, 2.0, 1.0E-12);
  EXPECT_TRUE(MatrixIsMirrored(m));
}

TEST_F(GeometryMatrixTest, UniformAndMirroredTests) {
  EXPECT_TRUE(MatrixIsUniform(IdentityMatrix));
  EXPECT_FALSE(MatrixIsMirrored(IdentityMatrix));
  for (double angle = -350.0; angle <= 350.0; angle += 23.5) {
    TMatrix3 r = IdentityMatrix;
    RotateMatrix(TRealPoint{1.0, -2.0}, r, angle);
    EXPECT_TRUE(MatrixIsUniform(r)) << angle;
    EXPECT_FALSE(MatrixIsMirrored(r)) << angle;
    ScaleMatrix(TRealPoint{0.0, 0.0}, r, 3.0, 3.0);
    EXPECT_TRUE(MatrixIsUniform(r)) << angle;
    MirrorMatrix(TRealPoint{0.0, 0.0}, TRealPoint{std::cos(angle), std::sin(angle)}, r);
    EXPECT_TRUE(MatrixIsMirrored(r)) << angle;
  }
  TMatrix3 s = IdentityMatrix;
  ScaleMatrix(TRealPoint{0.0, 0.0}, s, 2.0, 1.0);
  EXPECT_FALSE(MatrixIsUniform(s));
}

TEST_F(GeometryMatrixTest, TransformPointMayWriteOverItsInputs) {
  TMatrix3 m = IdentityMatrix;
  RotateMatrix(TRealPoint{0.0, 0.0}, m, 30.0);
  TranslateMatrix(m, 5.0, -2.0);
  double x2, y2;
  TransformPoint(3.0, 4.0, x2, y2, m);
  double x = 3.0, y = 4.0;
  TransformPoint(x, y, x, y, m);
  EXPECT_EQ(x, x2);
  EXPECT_EQ(y, y2);
}

TEST_F(GeometryMatrixTest, LineFrameRoundTrip) {
  TRealPoint s{1.0, 1.0}, e{4.0, 5.0};
  TRealPoint p{4.0, 5.0};
  ToLineFrame(p, s, e);
  EXPECT_POINT_NEAR(p, 5.0, 0.0, 1.0E-9);
  TRealPoint left{1.0 - 4.0, 1.0 + 3.0};  // perpendicular, to the left of s->e
  ToLineFrame(left, s, e);
  EXPECT_POINT_NEAR(left, 0.0, 5.0, 1.0E-9);
  FromLineFrame(left, s, e);
  EXPECT_POINT_NEAR(left, -3.0, 4.0, 1.0E-9);
}
