// Floating-point 2-D geometry kernel: records, global state, tolerance
// predicates, error hook and angle functions.
//
// The kernel computes in doubles on its own records, apart from the integer
// database units of the entity model. Angles are in degrees, counter-clockwise
// from +X, and directions are reported in [0, 360). The kernel never throws
// and shows nothing: every named routine clears GeoErrorCode on entry, sets it
// on failure, and callers test GeoErrorCode != 0 after the call.
//
// Error codes:
//   1  mode or kind out of range
//   2  degenerate line or box: the two points coincide
//   3  line equation with A and B both zero
//   4  zero direction vector
//   5  the two line equations are identical
//   6  the lines are parallel
//   7  slope of a degenerate line (both differences zero)
//   8  slope of a vertical line
//   13 circle equation with zero radius
//   14 circle equation with no real circle
//   16 the two circles have the same centre
//   19 half-tangent parameter, quadrant or angle out of range (also a
//      non-finite angle)
//   20 negative argument
//   44 both scale factors zero or negative
//   68 tangent from a point at the circle's centre
//   69 tangent from a point inside the circle
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Integer point in database units. Shared with the entity model.
struct TIntPoint {
  int32_t X = 0;
  int32_t Y = 0;
  bool operator==(const TIntPoint&) const = default;
};

// A point or a vector.
struct TRealPoint {
  double X = 0.0;
  double Y = 0.0;
  bool operator==(const TRealPoint&) const = default;
};

// A segment, a line through two points, or (as a box) two opposite corners.
struct TRealLine {
  TRealPoint P1;
  TRealPoint P2;
  bool operator==(const TRealLine&) const = default;
};

// The line A*x + B*y + C = 0.
struct TLineEq {
  double A = 0.0;
  double B = 0.0;
  double C = 0.0;
  bool operator==(const TLineEq&) const = default;
};

// The line through P with direction D (D need not be of unit length).
struct TLinePointDir {
  TRealPoint P;
  TRealPoint D;
  bool operator==(const TLinePointDir&) const = default;
};

// A circle, either by Center and Radius or by the equation
// x*x + y*y + D*x + E*y + F = 0 (CPRadCircle fills Center and Radius).
struct TCircleEq {
  TRealPoint Center;
  double Radius = 0.0;
  double D = 0.0;
  double E = 0.0;
  double F = 0.0;
};

// A counter-clockwise arc from StartAngle to EndAngle. AngleUnit: 0 radians,
// 1 degrees, 2 half-tangent parameter.
struct TRealArc {
  TRealPoint Center;
  double Radius = 0.0;
  uint8_t AngleUnit = 0;
  double StartAngle = 0.0;
  double EndAngle = 0.0;
};

// An axis-aligned box.
struct TRealRect {
  double XMin = 0.0;
  double YMin = 0.0;
  double XMax = 0.0;
  double YMax = 0.0;
  bool operator==(const TRealRect&) const = default;
};

// 3 x 3 transform, row-vector convention: a point (x, y) is the row (x, y, 1)
// times the matrix, so x' = m11*x + m21*y + m31 and y' = m12*x + m22*y + m32.
// M[i-1][j-1] holds m_ij; operator() takes the 1-based indices.
struct TMatrix3 {
  double M[3][3] = {};
  constexpr double& operator()(int row, int col) { return M[row - 1][col - 1]; }
  constexpr double operator()(int row, int col) const { return M[row - 1][col - 1]; }
  bool operator==(const TMatrix3&) const = default;
};

inline constexpr TMatrix3 IdentityMatrix{{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};

// ---- Kernel state (one instance for the program, GUI thread only) ----

// Absolute tolerance of the zero and sign predicates (start 0.0).
extern double AbsTol;
// Relative tolerance of the comparison predicates; always 2 * AbsTol.
extern double RelTol;
// LineEquation scales its result to a unit normal while set (start true).
extern bool NormalizeLines;
// Code of the last failure of a kernel routine; 0 = no error.
extern int32_t GeoErrorCode;
// Name of the kernel routine that announced itself last (at most 80
// characters); for diagnostics only.
extern std::string GeoRoutineName;
// Zero limit of RectToPolar, PolarToRect, CircleThreePoints, the tangent legs,
// CircleIntersectionOffsets and MatrixIsUniform (start 1.0E-10). Change it
// only through TEpsilonGuard.
extern double Epsilon;
// Stands for an infinite slope.
extern const double HugeValue;

// Sets Epsilon for the guard's lifetime and restores the previous value.
class TEpsilonGuard {
 public:
  explicit TEpsilonGuard(double value);
  ~TEpsilonGuard();
  TEpsilonGuard(const TEpsilonGuard&) = delete;
  TEpsilonGuard& operator=(const TEpsilonGuard&) = delete;

 private:
  double Saved;
};

// Sets the tolerance for the guard's lifetime and restores the previous
// AbsTol (through SetTolerance) on every path out.
class TToleranceGuard {
 public:
  explicit TToleranceGuard(double tolerance);
  ~TToleranceGuard();
  TToleranceGuard(const TToleranceGuard&) = delete;
  TToleranceGuard& operator=(const TToleranceGuard&) = delete;

 private:
  double Saved;
};

// Turns NormalizeLines on for the guard's lifetime and puts the saved value
// back afterwards.
class TNormalizeLinesGuard {
 public:
  TNormalizeLinesGuard();
  ~TNormalizeLinesGuard();
  TNormalizeLinesGuard(const TNormalizeLinesGuard&) = delete;
  TNormalizeLinesGuard& operator=(const TNormalizeLinesGuard&) = delete;

 private:
  bool Saved;
};

// ---- Tolerance predicates (b is the reference value) ----

void SetTolerance(double t);  // AbsTol := t; RelTol := t + t
bool IsZeroTol(double x);     // abs(x) <= AbsTol
bool NotNegativeTol(double x);
bool PositiveTol(double x);
bool NotPositiveTol(double x);
bool NegativeTol(double x);
bool EqualTol(double a, double b);  // abs(a - b) <= abs(b) * RelTol
bool NotEqualTol(double a, double b);
bool GreaterEqualTol(double a, double b);
bool GreaterTol(double a, double b);
bool LessEqualTol(double a, double b);
bool LessTol(double a, double b);
bool PointsEqualTol(const TRealPoint& p, const TRealPoint& q);
void ClearIfZeroTol(double& x);
double MinTol(double a, double b);      // a when LessTol(a, b), else b
double GreaterOf(double a, double b);   // a when a > b, else b
double SafeReciprocal(double x);        // 0 when IsZeroTol(x), else 1/x

// ---- Error hook ----

void SetGeomError(uint8_t code);
void SetGeomRoutine(std::string_view name);  // keeps the first 80 characters
void NormalizeLinesOn();

// ---- Angle functions (degrees unless stated) ----

double DegToRad(double a);  // a * 0.01745329252
double RadToDeg(double a);  // a * 57.2957795131
// [0, 360) and (-180, 180]; a non-finite angle gives 0.
double NormalizeAngle360(double a);
double NormalizeAngle180(double a);
double SinDeg(double a);
double CosDeg(double a);
double TanDeg(double a);
double ArcSinDeg(double x);
double ArcCosDeg(double x);
double ArcCosTol(double x);  // [0, 180]; |x| > 1 counts as +-1
double VectorAngleDeg(double dx, double dy);
void RectToPolar(double dx, double dy, double& r, double& angle);
void PolarToRect(double r, double angle, double& dx, double& dy);
// 1 to 4 by 90-degree sectors of the direction; a non-finite angle gives 1.
uint8_t AngleQuadrant(double angle);
double VectorAngle(const TRealPoint& v);
double DirectionAngle(const TRealPoint& p, const TRealPoint& q);
void PointsToPolar(const TRealPoint& p, const TRealPoint& q, double& dist, double& angle);
// Counter-clockwise sweep from the ray v->c to the ray v->a, in [0, 360).
double VertexAngle(const TRealPoint& a, const TRealPoint& v, const TRealPoint& c);
// True when the ray v->d lies inside the counter-clockwise sweep from the ray
// v->a to the ray v->b, at least 0.001 degree away from both.
bool RayBetween(const TRealPoint& a, const TRealPoint& b, const TRealPoint& v,
                const TRealPoint& d);
