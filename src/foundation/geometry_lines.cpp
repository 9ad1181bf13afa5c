#include "foundation/geometry_lines.h"

#include <cmath>

namespace {

void Enter(const char* name) {
  SetGeomError(0);
  SetGeomRoutine(name);
}

constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPi = 3.141592653589793;
// The ten-digit constants the half-tangent conversions have always used.
constexpr double kTwoPi10 = 6.283185307;
constexpr double kQuadrantBase10[4] = {0.0, 1.570796327, 3.141592654, 4.712388981};

// Subtracts whole turns while GreaterEqualTol(a, period) holds, giving what
// stepping one turn at a time gives. Values many turns away are first brought
// to within two turns by an exact remainder, and the stepping is bounded, so
// huge values and absurd tolerances cannot stall the kernel. The caller
// rejects non-finite values.
double ReduceTurns(double a, double period) {
  constexpr int kMaxSteps = 64;
  if (a >= kMaxSteps * period) a = std::fmod(a, period) + period;
  for (int i = 0; i < kMaxSteps + 2 && GreaterEqualTol(a, period); ++i) a -= period;
  return a;
}

// Tangent of half the angle whose tangent is m. For huge slopes m*m would
// overflow; the value there is +-1 to double precision.
double HalfTangent(double m) {
  if (IsZeroTol(m)) return 0.0;
  if (std::fabs(m) > 1.0E150) return m > 0.0 ? 1.0 : -1.0;
  return (std::sqrt(m * m + 1.0) - 1.0) / m;
}

}  // namespace

// ---- Lines ----

void LineEquation(uint8_t mode, const TRealPoint& p1, const TRealPoint& p2, TLineEq& e,
                  TLinePointDir& f) {
  Enter("LineEquation");
  double dx = p1.X - p2.X;
  double dy = p1.Y - p2.Y;
  if (IsZeroTol(dx) && IsZeroTol(dy)) {
    SetGeomError(2);
    return;
  }
  if (mode > 1) {
    SetGeomError(1);
    return;
  }
  double k = 1.0;
  if (NormalizeLines) {
    double s = dx * dx + dy * dy;
    if (!(s > 0.0)) {  // differences so small that their squares vanish
      SetGeomError(2);
      return;
    }
    k = 1.0 / std::sqrt(s);
  }
  if (mode == 0) {
    e = TLineEq{-dy * k, dx * k, (p2.X * p1.Y - p1.X * p2.Y) * k};
  } else {
    f = TLinePointDir{p1, TRealPoint{dx * k, dy * k}};
  }
}

void BothLineEquations(const TRealPoint& p1, const TRealPoint& p2, TLineEq& e,
                       TLinePointDir& f) {
  Enter("BothLineEquations");
  double dx = p1.X - p2.X;
  double dy = p1.Y - p2.Y;
  double s = dx * dx + dy * dy;
  if ((IsZeroTol(dx) && IsZeroTol(dy)) || !(s > 0.0)) {
    SetGeomError(2);
    return;
  }
  double k = 1.0 / std::sqrt(s);
  e = TLineEq{-dy * k, dx * k, (p2.X * p1.Y - p1.X * p2.Y) * k};
  f = TLinePointDir{p1, TRealPoint{dx * k, dy * k}};
}

void LineEqPointDir(const TRealPoint& d, const TRealPoint& p, TLineEq& e) {
  e = TLineEq{d.Y, -d.X, d.X * p.Y - d.Y * p.X};
}

void NormalizeLine(uint8_t mode, TLineEq& e, TLinePointDir& f) {
  Enter("NormalizeLine");
  if (mode == 0) {
    double s = e.A * e.A + e.B * e.B;
    if (IsZeroTol(s) || !(s > 0.0)) {
      SetGeomError(3);
      return;
    }
    double k = 1.0 / std::sqrt(s);
    if (e.C > 0.0) k = -k;
    if (IsZeroTol(e.C) && e.B < 0.0) k = -k;
    e.A *= k;
    e.B *= k;
    e.C *= k;
  } else if (mode == 1) {
    double s = f.D.X * f.D.X + f.D.Y * f.D.Y;
    if (IsZeroTol(s) || !(s > 0.0)) {
      SetGeomError(4);
      return;
    }
    double len = std::sqrt(s);
    f.D.X /= len;
    f.D.Y /= len;
  } else {
    SetGeomError(1);
  }
}

void ConvLineEq(uint8_t mode, TLineEq& e, TLinePointDir& f) {
  Enter("ConvLineEq");
  if (mode == 0) {
    double s = e.A * e.A + e.B * e.B;
    if ((IsZeroTol(e.A) && IsZeroTol(e.B)) || !(s > 0.0)) {
      SetGeomError(3);
      return;
    }
    double k = 1.0 / s;
    double root = std::sqrt(k);
    f.P = TRealPoint{-e.C * k * e.A, -e.C * k * e.B};
    f.D = TRealPoint{e.B * root, -e.A * root};
  } else if (mode == 1) {
    e = TLineEq{-f.D.Y, f.D.X, f.P.X * f.D.Y - f.P.Y * f.D.X};
  } else {
    SetGeomError(1);
  }
}

double DistPntLine(uint8_t mode, const TRealPoint& p, const TRealPoint& q, const TRealPoint& r,
                   const TLineEq& e, const TLinePointDir& f) {
  Enter("DistPntLine");
  switch (mode) {
    case 0:
      return e.A * p.X + e.B * p.Y + e.C;
    case 1: {
      double s = f.D.X * f.D.X + f.D.Y * f.D.Y;
      if (IsZeroTol(s) || !(s > 0.0)) {
        SetGeomError(4);
        return 1.0;
      }
      double ux = p.X - f.P.X;
      double uy = p.Y - f.P.Y;
      double w = f.D.X * f.D.Y;
      double a = f.D.Y * f.D.Y * ux - w * uy;
      double b = f.D.X * f.D.X * uy - w * ux;
      double inv = 1.0 / s;
      return std::sqrt(inv * inv * (a * a + b * b));
    }
    case 2: {
      if (IsZeroTol(q.X - r.X) && IsZeroTol(q.Y - r.Y)) {
        SetGeomError(2);
        return 1.0;
      }
      TLineEq line;
      TLinePointDir unused;
      LineEquation(0, q, r, line, unused);
      if (GeoErrorCode != 0) return 1.0;
      return line.A * p.X + line.B * p.Y + line.C;
    }
    default:
      SetGeomError(1);
      return 1.0;
  }
}

double AngleTwoLines(uint8_t mode, const TLineEq& e1, const TLineEq& e2) {
  Enter("AngleTwoLines");
  if (mode > 2) {
    SetGeomError(1);
    return 0.0;
  }
  TLineEq a = e1;
  TLineEq b = e2;
  TLinePointDir unused;
  NormalizeLine(0, a, unused);
  if (GeoErrorCode != 0) return 0.0;
  NormalizeLine(0, b, unused);
  if (GeoErrorCode != 0) return 0.0;
  double c = a.A * b.A + a.B * b.B;
  if (NegativeTol(c)) c = -c;
  switch (mode) {
    case 0: return IsZeroTol(c) ? 90.0 : ArcCosTol(c);
    case 1: return IsZeroTol(c) ? kHalfPi : DegToRad(ArcCosTol(c));
    default: return IsZeroTol(c) ? 0.0 : c;
  }
}

void Slope(const TRealLine& l, double& s) {
  Enter("Slope");
  double dx = l.P2.X - l.P1.X;
  double dy = l.P2.Y - l.P1.Y;
  if (IsZeroTol(dx)) {
    s = HugeValue;
    SetGeomError(IsZeroTol(dy) ? 7 : 8);
    return;
  }
  s = IsZeroTol(dy) ? 0.0 : dy / dx;
}

bool Perpendicular(const TRealLine& l1, const TRealLine& l2) {
  Enter("Perpendicular");
  double s1 = 0.0, s2 = 0.0;
  Slope(l1, s1);
  int32_t err1 = GeoErrorCode;
  if (err1 == 7) return false;
  bool vertical1 = err1 == 8;
  Slope(l2, s2);
  int32_t err2 = GeoErrorCode;
  if (err2 == 0) return vertical1 ? IsZeroTol(s2) : EqualTol(s1 * s2, -1.0);
  if (err2 == 8 && !vertical1) return IsZeroTol(s1);
  return false;
}

// ---- Boxes ----

void LineRectangle(const TRealLine& l, TRealRect& r) {
  Enter("LineRectangle");
  r.XMin = MinTol(l.P1.X, l.P2.X);
  r.YMin = MinTol(l.P1.Y, l.P2.Y);
  r.XMax = GreaterOf(l.P1.X, l.P2.X);
  r.YMax = GreaterOf(l.P1.Y, l.P2.Y);
  if (PointsEqualTol(l.P1, l.P2)) SetGeomError(2);
}

bool InRectangle(const TRealLine& l, const TRealPoint& p) {
  TRealRect r;
  LineRectangle(l, r);
  return LessEqualTol(p.X, r.XMax) && LessEqualTol(p.Y, r.YMax) && GreaterEqualTol(p.X, r.XMin) &&
         GreaterEqualTol(p.Y, r.YMin);
}

namespace {
bool Between(double v, double a, double b) {
  return (GreaterEqualTol(v, a) && LessEqualTol(v, b)) ||
         (GreaterEqualTol(v, b) && LessEqualTol(v, a));
}
}  // namespace

bool PointInLineBox(const TRealLine& l, const TRealPoint& p) {
  return Between(p.X, l.P1.X, l.P2.X) && Between(p.Y, l.P1.Y, l.P2.Y);
}

int32_t SegmentRelation(const TRealLine& l1, const TRealLine& l2) {
  double ux = l2.P2.X - l2.P1.X;
  double uy = l2.P2.Y - l2.P1.Y;
  double x1 = ux * (l1.P1.Y - l2.P1.Y) - uy * (l1.P1.X - l2.P1.X);
  double x2 = ux * (l1.P2.Y - l2.P2.Y) - uy * (l1.P2.X - l2.P2.X);
  double s = x1 * x2;
  if (PositiveTol(s)) return 2;
  if (NegativeTol(s)) return 1;
  bool in1 = PointInLineBox(l2, l1.P1);
  bool in2 = PointInLineBox(l2, l1.P2);
  if (in1 && in2) return 3;
  if (in1) return 4;
  if (in2) return 5;
  if (PointInLineBox(l1, l2.P1) && PointInLineBox(l1, l2.P2)) return 6;
  if (Perpendicular(l1, l2)) return 7;
  return 0;
}

// ---- Circles, quadrants and arcs ----

void CPRadCircle(TCircleEq& c) {
  Enter("CPRadCircle");
  c.Center = TRealPoint{-c.D / 2.0, -c.E / 2.0};
  double t = c.D * c.D + c.E * c.E - 4.0 * c.F;
  if (IsZeroTol(t)) {
    SetGeomError(13);
    c.Radius = 0.0;
    return;
  }
  if (NegativeTol(t)) {
    SetGeomError(14);
    return;
  }
  c.Radius = std::sqrt(t) / 2.0;
}

int32_t Quadrant(uint8_t mode, const TRealPoint& v, double a) {
  Enter("Quadrant");
  switch (mode) {
    case 0:
      if (NotNegativeTol(v.X) && NotNegativeTol(v.Y)) return 1;
      if (NegativeTol(v.X) && NotNegativeTol(v.Y)) return 2;
      if (NegativeTol(v.X) && NegativeTol(v.Y)) return 3;
      return 4;
    case 1: {
      double n = std::trunc(a);
      if (IsZeroTol(n)) return 1;
      if (EqualTol(n, 1.0)) return 2;
      if (EqualTol(n, 2.0)) return 3;
      if (EqualTol(n, 3.0)) return 4;
      SetGeomError(19);
      return 1;
    }
    case 2:
    case 3: {
      double turn = mode == 2 ? 360.0 : kTwoPi;
      double q1 = mode == 2 ? 90.0 : kHalfPi;
      double q2 = mode == 2 ? 180.0 : kPi;
      double q3 = mode == 2 ? 270.0 : kHalfPi + kPi;
      if (NegativeTol(a)) {
        SetGeomError(20);
        return 1;
      }
      if (!std::isfinite(a)) {
        SetGeomError(19);
        return 1;
      }
      a = ReduceTurns(a, turn);
      if (NotNegativeTol(a) && LessEqualTol(a, q1)) return 1;
      if (GreaterTol(a, q1) && LessEqualTol(a, q2)) return 2;
      if (GreaterTol(a, q2) && LessEqualTol(a, q3)) return 3;
      return 4;
    }
    default:
      SetGeomError(1);
      return 1;
  }
}

double ParmTanHAngle(uint8_t mode, double a) {
  Enter("ParmTanHAngle");
  if (mode > 1) {
    SetGeomError(1);
    return 0.0;
  }
  if (IsZeroTol(a)) return 0.0;
  if (!std::isfinite(a)) {
    SetGeomError(a < 0.0 ? 20 : 19);
    return 0.0;
  }
  if (mode == 0) {
    a = DegToRad(ReduceTurns(a, 360.0));
  } else {
    a = ReduceTurns(a, kTwoPi10);
  }
  int32_t q = Quadrant(3, TRealPoint{}, a);
  if (GeoErrorCode != 0) return 0.0;
  a -= kQuadrantBase10[q - 1];
  double sn = std::sin(a);
  // Nothing left inside the quadrant: the parameter of its first direction.
  if (sn == 0.0) return q - 1;
  return (q - 1) + (1.0 - std::cos(a)) / sn;
}

double HalfTanParmToAngle(uint8_t mode, double p) {
  SetGeomError(0);
  if (mode > 1) {
    SetGeomError(1);
    return 0.0;
  }
  if (NotPositiveTol(p)) {
    if (!IsZeroTol(p)) SetGeomError(20);
    return 0.0;
  }
  if (!std::isfinite(p) || GreaterEqualTol(p, 4.0)) {
    SetGeomError(19);
    return 0.0;
  }
  // The quadrant comes from the same whole part as the fraction, so that a
  // tolerance can never pair the fraction of one quadrant with the offset of
  // the next.
  double whole = std::trunc(p);
  if (whole > 3.0) {
    SetGeomError(19);
    return 0.0;
  }
  double t = 2.0 * std::atan(p - whole);
  int q = static_cast<int>(whole);
  if (mode == 0) {
    static constexpr double kOffsets[4] = {0.0, 90.0, 180.0, 270.0};
    return kOffsets[q] + RadToDeg(t);
  }
  static constexpr double kOffsets[4] = {0.0, 1.5707961, 3.1415922, 4.7123883};
  return kOffsets[q] + t;
}

double DirectionParm(uint8_t mode, const TRealPoint& p1, const TRealPoint& p2) {
  SetGeomError(0);
  if (mode > 2) {
    SetGeomError(1);
    return 0.0;
  }
  TRealPoint d{p2.X - p1.X, p2.Y - p1.Y};
  if (IsZeroTol(d.X) && IsZeroTol(d.Y)) {
    SetGeomError(2);
    return 0.0;
  }
  double parm;
  switch (Quadrant(0, d, 0.0)) {
    case 1: parm = PositiveTol(d.X) ? HalfTangent(d.Y / d.X) : 1.0; break;
    case 2: parm = PositiveTol(d.Y) ? 1.0 + HalfTangent(-d.X / d.Y) : 2.0; break;
    case 3: parm = NegativeTol(d.X) ? 2.0 + HalfTangent(d.Y / d.X) : 3.0; break;
    default: parm = NegativeTol(d.Y) ? 3.0 + HalfTangent(-d.X / d.Y) : 0.0; break;
  }
  if (mode == 0) return parm;
  return HalfTanParmToAngle(mode == 1 ? 0 : 1, parm);
}

void PntAngleDist(uint8_t mode, const TRealPoint& c, TRealPoint& q, double dist, double angle) {
  Enter("PntAngleDist");
  if (mode > 2) {
    SetGeomError(1);
    return;
  }
  if (!std::isfinite(angle)) {
    SetGeomError(19);
    return;
  }
  double p;
  if (mode == 0) {
    p = ParmTanHAngle(0, ReduceTurns(angle, 360.0));
    if (GeoErrorCode != 0) return;
  } else if (mode == 1) {
    p = ParmTanHAngle(1, ReduceTurns(angle, kTwoPi10));
    if (GeoErrorCode != 0) return;
  } else {
    p = angle;
    if (GreaterEqualTol(p, 4.0)) {
      SetGeomError(19);
      return;
    }
  }
  // A parameter of -1 or less has no quadrant; leaving q untouched without an
  // error would hand the caller a stale point.
  double whole = std::trunc(p);
  if (whole < 0.0) {
    SetGeomError(20);
    return;
  }
  if (whole > 3.0) {
    SetGeomError(19);
    return;
  }
  double f = p - whole;
  double k = std::fabs(dist) / (1.0 + f * f);
  double cs = (1.0 - f * f) * k;
  double sn = 2.0 * f * k;
  switch (static_cast<int>(whole)) {
    case 0: q = TRealPoint{c.X + cs, c.Y + sn}; break;
    case 1: q = TRealPoint{c.X - sn, c.Y + cs}; break;
    case 2: q = TRealPoint{c.X - cs, c.Y - sn}; break;
    default: q = TRealPoint{c.X + sn, c.Y - cs}; break;
  }
  ClearIfZeroTol(q.X);
  ClearIfZeroTol(q.Y);
}

void ArcPnts(const TRealArc& a, TRealPoint& s, TRealPoint& e) {
  Enter("ArcPnts");
  uint8_t m;
  switch (a.AngleUnit) {
    case 0: m = 1; break;
    case 1: m = 0; break;
    case 2: m = 2; break;
    default: SetGeomError(1); return;
  }
  PntAngleDist(m, a.Center, s, a.Radius, a.StartAngle);
  if (GeoErrorCode != 0) return;
  PntAngleDist(m, a.Center, e, a.Radius, a.EndAngle);
}

void ArcBox(const TRealArc& a, const TRealPoint& s, const TRealPoint& e, TRealRect& r) {
  const TRealPoint& c = a.Center;
  int32_t q1 = Quadrant(0, TRealPoint{s.X - c.X, s.Y - c.Y}, 0.0);
  int32_t q2 = Quadrant(0, TRealPoint{e.X - c.X, e.Y - c.Y}, 0.0);
  TRealRect box{MinTol(s.X, e.X), MinTol(s.Y, e.Y), GreaterOf(s.X, e.X), GreaterOf(s.Y, e.Y)};
  bool whole = false;
  if (q1 == q2) {
    whole = q1 <= 2 ? LessEqualTol(s.X, e.X) : LessEqualTol(e.X, s.X);
    if (whole) {
      box = TRealRect{c.X - a.Radius, c.Y - a.Radius, c.X + a.Radius, c.Y + a.Radius};
    }
  } else {
    // Each quadrant boundary crossed counter-clockwise brings in the circle's
    // extreme on that side.
    for (int32_t q = q1; q != q2; q = q % 4 + 1) {
      switch (q) {
        case 1: box.YMax = c.Y + a.Radius; break;
        case 2: box.XMin = c.X - a.Radius; break;
        case 3: box.YMin = c.Y - a.Radius; break;
        default: box.XMax = c.X + a.Radius; break;
      }
    }
  }
  r = box;
}
