#include "foundation/geometry_matrix.h"

#include <cmath>

namespace {

TMatrix3 Product(const TMatrix3& m, const TMatrix3& a) {
  TMatrix3 p;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double s = 0.0;
      for (int k = 0; k < 3; ++k) s += m.M[i][k] * a.M[k][j];
      p.M[i][j] = s;
    }
  }
  return p;
}

// The clockwise rotation about c as an elementary matrix.
TMatrix3 RotationAbout(const TRealPoint& c, double angle) {
  double r = DegToRad(-angle);
  double cs = std::cos(r);
  double sn = std::sin(r);
  TMatrix3 a = IdentityMatrix;
  a(1, 1) = cs;
  a(1, 2) = sn;
  a(2, 1) = -sn;
  a(2, 2) = cs;
  a(3, 1) = -c.X * cs + c.Y * sn + c.X;
  a(3, 2) = -c.X * sn - c.Y * cs + c.Y;
  return a;
}

}  // namespace

void ConcatMatrix(const TMatrix3& a, TMatrix3& m) { m = Product(m, a); }

void TranslateMatrix(TMatrix3& m, double dx, double dy) {
  TMatrix3 a = IdentityMatrix;
  a(3, 1) = dx;
  a(3, 2) = dy;
  ConcatMatrix(a, m);
}

void ScaleMatrix(const TRealPoint& c, TMatrix3& m, double sx, double sy) {
  TMatrix3 a = IdentityMatrix;
  a(1, 1) = sx;
  a(2, 2) = sy;
  a(3, 1) = (1.0 - sx) * c.X;
  a(3, 2) = (1.0 - sy) * c.Y;
  ConcatMatrix(a, m);
}

void RotateMatrix(const TRealPoint& c, TMatrix3& m, double angle) {
  ConcatMatrix(RotationAbout(c, angle), m);
}

void MirrorMatrix(const TRealPoint& p1, const TRealPoint& p2, TMatrix3& m) {
  double r, t;
  RectToPolar(p2.X - p1.X, p2.Y - p1.Y, r, t);
  if (r == 0.0) return;
  RotateMatrix(p1, m, t);
  ScaleMatrix(p1, m, -1.0, 1.0);
  RotateMatrix(p1, m, -t);
}

void ConcatMatrix2D(const TMatrix3& a, TMatrix3& m) { ConcatMatrix(a, m); }

void TranslateMatrix2D(TMatrix3& m, double dx, double dy) { TranslateMatrix(m, dx, dy); }

void RotateMatrix2D(const TRealPoint& c, TMatrix3& m, double angle) {
  ConcatMatrix(RotationAbout(c, angle), m);
}

void ScaleMatrix2D(const TRealPoint& c, TMatrix3& m, double sx, double sy) {
  SetGeomError(0);
  SetGeomRoutine("ScaleMatrix2D");
  if (NotPositiveTol(sx) && NotPositiveTol(sy)) {
    SetGeomError(44);
    return;
  }
  ScaleMatrix(c, m, sx, sy);
}

void TransformPoint(double x, double y, double& x2, double& y2, const TMatrix3& m) {
  double nx = m(1, 1) * x + m(2, 1) * y + m(3, 1);
  double ny = m(1, 2) * x + m(2, 2) * y + m(3, 2);
  x2 = nx;
  y2 = ny;
}

bool MatrixIsUniform(const TMatrix3& m) {
  return std::fabs(std::fabs(m(1, 1)) - std::fabs(m(2, 2))) < Epsilon &&
         std::fabs(std::fabs(m(1, 2)) - std::fabs(m(2, 1))) < Epsilon;
}

bool MatrixIsMirrored(const TMatrix3& m) {
  double ox, oy, xx, xy, yx, yy;
  TransformPoint(0.0, 0.0, ox, oy, m);
  TransformPoint(1.0, 0.0, xx, xy, m);
  TransformPoint(0.0, 1.0, yx, yy, m);
  double r, a1, a2;
  RectToPolar(xx - ox, xy - oy, r, a1);
  RectToPolar(yx - ox, yy - oy, r, a2);
  if (a2 < a1) a2 += 360.0;
  return (a2 - a1 - 90.0) > 90.0;
}

void RotatePoint(double& x, double& y, double angle) {
  if (angle == 0.0) return;
  TMatrix3 m = IdentityMatrix;
  RotateMatrix(TRealPoint{}, m, -angle);
  TransformPoint(x, y, x, y, m);
}

void RotatePointRec(TRealPoint& p, double angle) { RotatePoint(p.X, p.Y, angle); }

void ToLineFrame(TRealPoint& p, const TRealPoint& s, const TRealPoint& e) {
  p.X -= s.X;
  p.Y -= s.Y;
  RotatePointRec(p, -DirectionAngle(s, e));
}

void FromLineFrame(TRealPoint& p, const TRealPoint& s, const TRealPoint& e) {
  RotatePointRec(p, DirectionAngle(s, e));
  p.X += s.X;
  p.Y += s.Y;
}
