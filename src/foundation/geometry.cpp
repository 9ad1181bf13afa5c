#include "foundation/geometry.h"

#include <cmath>

double AbsTol = 0.0;
double RelTol = 0.0;
bool NormalizeLines = true;
int32_t GeoErrorCode = 0;
std::string GeoRoutineName;
double Epsilon = 1.0E-10;
const double HugeValue = 1.0E37;

namespace {

// The degree factor of the kernel and its inverse, as the kernel has always
// used them (not the exact 180/pi).
constexpr double kDegPerRad = 57.2957795131;
constexpr double kRadPerDeg = 0.01745329252;

// Extended-precision pi/180 for the trigonometric functions on degrees.
constexpr long double kPiL = 3.14159265358979323846264338327950288L;
constexpr long double kOneOver180L = 1.0L / 180.0L;

}  // namespace

TEpsilonGuard::TEpsilonGuard(double value) : Saved(Epsilon) { Epsilon = value; }
TEpsilonGuard::~TEpsilonGuard() { Epsilon = Saved; }

TToleranceGuard::TToleranceGuard(double tolerance) : Saved(AbsTol) { SetTolerance(tolerance); }
TToleranceGuard::~TToleranceGuard() { SetTolerance(Saved); }

TNormalizeLinesGuard::TNormalizeLinesGuard() : Saved(NormalizeLines) { NormalizeLinesOn(); }
TNormalizeLinesGuard::~TNormalizeLinesGuard() { NormalizeLines = Saved; }

// ---- Tolerance predicates ----

void SetTolerance(double t) {
  AbsTol = t;
  RelTol = t + t;
}

bool IsZeroTol(double x) { return std::fabs(x) <= AbsTol; }
bool NotNegativeTol(double x) { return x >= -AbsTol; }
bool PositiveTol(double x) { return x > AbsTol; }
bool NotPositiveTol(double x) { return x <= AbsTol; }
bool NegativeTol(double x) { return x < -AbsTol; }
bool EqualTol(double a, double b) { return std::fabs(a - b) <= std::fabs(b) * RelTol; }
bool NotEqualTol(double a, double b) { return std::fabs(a - b) > std::fabs(b) * RelTol; }
bool GreaterEqualTol(double a, double b) { return a >= b - std::fabs(b) * RelTol; }
bool GreaterTol(double a, double b) { return a > b + std::fabs(b) * RelTol; }
bool LessEqualTol(double a, double b) { return a <= b + std::fabs(b) * RelTol; }
bool LessTol(double a, double b) { return a < b - std::fabs(b) * RelTol; }

bool PointsEqualTol(const TRealPoint& p, const TRealPoint& q) {
  return IsZeroTol(p.X - q.X) && IsZeroTol(p.Y - q.Y);
}

void ClearIfZeroTol(double& x) {
  if (IsZeroTol(x)) x = 0.0;
}

double MinTol(double a, double b) { return LessTol(a, b) ? a : b; }
double GreaterOf(double a, double b) { return a > b ? a : b; }
double SafeReciprocal(double x) { return IsZeroTol(x) ? 0.0 : 1.0 / x; }

// ---- Error hook ----

void SetGeomError(uint8_t code) { GeoErrorCode = code; }

void SetGeomRoutine(std::string_view name) {
  GeoRoutineName.assign(name.substr(0, 80));
}

void NormalizeLinesOn() { NormalizeLines = true; }

// ---- Angles ----

double DegToRad(double a) { return a * kRadPerDeg; }
double RadToDeg(double a) { return a * kDegPerRad; }

// Both normalisers give the value that adding or subtracting whole turns one
// at a time would give. Those steps are exact for every angle below 2^55
// except a final step that changes sign, so an exact remainder (fmod)
// followed by that one final step gives the same result, without looping on
// huge values.
double NormalizeAngle360(double a) {
  if (a >= 0.0 && a < 360.0) return a;
  if (!std::isfinite(a)) return 0.0;
  double r = std::fmod(a, 360.0);  // exact, in (-360, 360), sign of a
  if (r == 0.0) return 0.0;
  if (r < 0.0) {
    r += 360.0;
    if (r >= 360.0) r -= 360.0;  // -tiny + 360 rounds to 360
  }
  return r;
}

double NormalizeAngle180(double a) {
  if (a > -180.0 && a <= 180.0) return a;
  if (!std::isfinite(a)) return 0.0;
  double r = std::fmod(a, 360.0);
  if (r > 180.0) r -= 360.0;
  if (r <= -180.0) r += 360.0;
  if (r == 0.0) r = 0.0;  // whole turns give +0 as the stepping does
  return r;
}

double SinDeg(double a) {
  long double r = static_cast<long double>(NormalizeAngle360(a)) * kPiL * kOneOver180L;
  return static_cast<double>(std::sin(r));
}

double CosDeg(double a) {
  long double r = static_cast<long double>(NormalizeAngle360(a)) * kPiL * kOneOver180L;
  return static_cast<double>(std::cos(r));
}

double TanDeg(double a) {
  double s = SinDeg(a);
  double c = CosDeg(a);
  double t = std::fabs(c) < 1.0E-37 ? 1.0E37 : std::fabs(s) / std::fabs(c);
  if ((s < 0.0) != (c < 0.0)) t = -t;
  return t;
}

double ArcSinDeg(double x) {
  double ax = std::fabs(x);
  double a = ax == 1.0 ? 90.0 : RadToDeg(std::atan(ax / std::sqrt(std::fabs(1.0 - x * x))));
  return x < 0.0 ? -a : a;
}

double ArcCosDeg(double x) { return 90.0 - ArcSinDeg(x); }

double ArcCosTol(double x) {
  if (IsZeroTol(x)) return 90.0;
  // Rounding can push the cosine of parallel unit normals just past 1.
  if (x >= 1.0) return 0.0;
  if (x <= -1.0) return 180.0;
  if (x > 0.0) {
    if (IsZeroTol(1.0 - x)) return 0.0;
  } else if (x < 0.0) {
    if (IsZeroTol(1.0 + x)) return 180.0;
  } else {
    return 90.0;  // NaN or a zero that the tolerance did not catch
  }
  return VectorAngleDeg(x / std::sqrt(1.0 - x * x), 1.0);
}

double VectorAngleDeg(double dx, double dy) {
  if (IsZeroTol(dx)) {
    if (IsZeroTol(dy)) return 0.0;
    return dy > 0.0 ? 90.0 : 270.0;
  }
  if (IsZeroTol(dy)) return dx > 0.0 ? 0.0 : 180.0;
  double a = std::atan(std::fabs(dy / dx)) * kDegPerRad;
  if (dx > 0.0) return dy > 0.0 ? a : 360.0 - a;
  return dy > 0.0 ? 180.0 - a : 180.0 + a;
}

void RectToPolar(double dx, double dy, double& r, double& angle) {
  double rr = std::sqrt(dx * dx + dy * dy);
  if (rr <= Epsilon) {
    r = 0.0;
    angle = 0.0;
    return;
  }
  double a;
  if (dx >= 0.0 && dy >= 0.0) {
    a = ArcSinDeg(dy / rr);
  } else if (dx >= 0.0 && dy < 0.0) {
    a = 360.0 - ArcSinDeg(-dy / rr);
  } else if (dx < 0.0 && dy >= 0.0) {
    a = 180.0 - ArcSinDeg(dy / rr);
  } else {
    a = 180.0 + ArcSinDeg(-dy / rr);
  }
  r = rr;
  angle = a;
}

void PolarToRect(double r, double angle, double& dx, double& dy) {
  if (std::fabs(r) <= Epsilon) {
    dx = 0.0;
    dy = 0.0;
    return;
  }
  double a = NormalizeAngle360(angle);
  int q = 1;
  while (a > 90.0) {
    a -= 90.0;
    ++q;
  }
  q = ((q - 1) % 4) + 1;
  long double ar = static_cast<long double>(a) * kPiL * kOneOver180L;
  double c = static_cast<double>(std::cos(ar));
  double s = static_cast<double>(std::sin(ar));
  switch (q) {
    case 1: dx = r * c; dy = r * s; break;
    case 2: dx = -r * s; dy = r * c; break;
    case 3: dx = -r * c; dy = -r * s; break;
    default: dx = r * s; dy = -r * c; break;
  }
}

uint8_t AngleQuadrant(double angle) {
  // Negative angles would give a sector outside 1 to 4; count them by their
  // direction instead.
  if (!(angle >= 0.0) || !std::isfinite(angle)) angle = NormalizeAngle360(angle);
  double sectors = std::trunc(angle / 90.0);
  return static_cast<uint8_t>(std::fmod(sectors, 4.0)) + 1;
}

double VectorAngle(const TRealPoint& v) {
  double r, a;
  RectToPolar(v.X, v.Y, r, a);
  return a;
}

double DirectionAngle(const TRealPoint& p, const TRealPoint& q) {
  return VectorAngle(TRealPoint{q.X - p.X, q.Y - p.Y});
}

void PointsToPolar(const TRealPoint& p, const TRealPoint& q, double& dist, double& angle) {
  RectToPolar(q.X - p.X, q.Y - p.Y, dist, angle);
}

double VertexAngle(const TRealPoint& a, const TRealPoint& v, const TRealPoint& c) {
  if (PointsEqualTol(a, v) || PointsEqualTol(a, c) || PointsEqualTol(v, c)) return 0.0;
  return NormalizeAngle360(DirectionAngle(v, a) + 360.0 - DirectionAngle(v, c));
}

bool RayBetween(const TRealPoint& a, const TRealPoint& b, const TRealPoint& v,
                const TRealPoint& d) {
  double t = VertexAngle(d, v, a);
  double u = VertexAngle(b, v, a);
  return t >= 0.001 && t <= u - 0.001;
}
