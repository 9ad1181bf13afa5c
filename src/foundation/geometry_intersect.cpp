#include "foundation/geometry_intersect.h"

#include <cmath>

#include "foundation/geometry_lines.h"

namespace {

void Enter(const char* name) {
  SetGeomError(0);
  SetGeomRoutine(name);
}

TRealPoint Along(const TRealPoint& p, double t, const TRealPoint& d) {
  return TRealPoint{p.X + t * d.X, p.Y + t * d.Y};
}

// Cheap rejection for IntArcLine: true when the arc's box and the segment's
// box touch (a corner of one inside the other, or the boxes crossing as a
// plus sign, which the segment then crosses the arc box's diagonal).
bool BoxesTouch(const TRealRect& box, const TRealLine& l) {
  TRealLine diagonal{{box.XMin, box.YMin}, {box.XMax, box.YMax}};
  if (InRectangle(diagonal, l.P1) || InRectangle(diagonal, l.P2) ||
      InRectangle(diagonal, TRealPoint{l.P1.X, l.P2.Y}) ||
      InRectangle(diagonal, TRealPoint{l.P2.X, l.P1.Y})) {
    return true;
  }
  if (InRectangle(l, diagonal.P1) || InRectangle(l, diagonal.P2) ||
      InRectangle(l, TRealPoint{box.XMin, box.YMax}) ||
      InRectangle(l, TRealPoint{box.XMax, box.YMin})) {
    return true;
  }
  return SegmentRelation(diagonal, l) == 1;
}

}  // namespace

void IntCircleLine(uint8_t mode, const TCircleEq& c, const TRealLine& l, const TLinePointDir& f,
                   TRealPoint& q1, TRealPoint& q2, uint8_t& n) {
  n = 0;
  Enter("IntCircleLine");
  TCircleEq circle = c;
  TLinePointDir line;
  TLineEq unused;
  switch (mode) {
    case 0:
    case 1: {
      TNormalizeLinesGuard unitNormals;
      LineEquation(1, l.P1, l.P2, unused, line);
      break;
    }
    case 2:
    case 3:
      line = f;
      if (NotEqualTol(line.D.X * line.D.X + line.D.Y * line.D.Y, 1.0)) {
        NormalizeLine(1, unused, line);
      }
      break;
    default:
      SetGeomError(1);
      return;
  }
  if (GeoErrorCode != 0) return;
  if (mode == 1 || mode == 3) {
    CPRadCircle(circle);
    if (GeoErrorCode != 0) return;
  }
  const TRealPoint& p = line.P;
  const TRealPoint& d = line.D;
  double ux = circle.Center.X - p.X;
  double uy = circle.Center.Y - p.Y;
  double h = d.X * uy - d.Y * ux;
  double disc = circle.Radius * circle.Radius - h * h;
  if (NegativeTol(disc) || std::isnan(disc)) return;
  double t0 = d.X * ux + d.Y * uy;
  bool segment = mode <= 1;
  if (IsZeroTol(disc)) {
    q1 = Along(p, t0, d);
    n = (!segment || PointInLineBox(l, q1)) ? 1 : 0;
    return;
  }
  double s = std::sqrt(disc);
  q1 = Along(p, t0 - s, d);
  q2 = Along(p, t0 + s, d);
  if (!segment) {
    n = 2;
    return;
  }
  bool in1 = PointInLineBox(l, q1);
  bool in2 = PointInLineBox(l, q2);
  if (in1) {
    n = in2 ? 2 : 1;
  } else if (in2) {
    q1 = q2;
    n = 1;
  }
}

void IntArcLine(uint8_t mode, const TRealArc& a, const TRealLine& l, const TLineEq& e,
                const TLinePointDir& f, TRealPoint& q1, TRealPoint& q2, uint8_t& n) {
  n = 0;
  Enter("IntArcLine");
  if (mode > 2) {
    SetGeomError(1);
    return;
  }
  TRealPoint s, en;
  ArcPnts(a, s, en);
  if (GeoErrorCode != 0) return;
  TRealRect box;
  ArcBox(a, s, en, box);
  TCircleEq circle;
  circle.Center = a.Center;
  circle.Radius = a.Radius;
  TRealPoint p1, p2;
  uint8_t m = 0;
  if (mode == 0) {
    if (PointsEqualTol(l.P1, l.P2)) {
      SetGeomError(2);
      return;
    }
    bool touch = BoxesTouch(box, l);
    SetGeomError(0);  // a zero-size arc box is no failure here
    if (!touch) return;
    IntCircleLine(0, circle, l, f, p1, p2, m);
  } else if (mode == 1) {
    IntCircleLine(2, circle, l, f, p1, p2, m);
  } else {
    TLineEq eq = e;
    TLinePointDir pd;
    ConvLineEq(0, eq, pd);
    if (GeoErrorCode != 0) return;
    IntCircleLine(2, circle, l, pd, p1, p2, m);
  }
  if (GeoErrorCode != 0 || m == 0) return;

  double start = a.StartAngle;
  double end = a.EndAngle;
  if (a.AngleUnit == 0) {
    start = RadToDeg(start);
    end = RadToDeg(end);
  } else if (a.AngleUnit == 2) {
    start = HalfTanParmToAngle(0, start);
    if (GeoErrorCode != 0) return;
    end = HalfTanParmToAngle(0, end);
    if (GeoErrorCode != 0) return;
  }
  auto holds = [&](const TRealPoint& q) {
    double g = DirectionParm(1, a.Center, q);
    if (EqualTol(end, start)) return true;
    if (!LessTol(end, start)) return GreaterEqualTol(g, start) && LessEqualTol(g, end);
    return !(GreaterTol(g, end) && LessTol(g, start));
  };
  TRealLine boxDiagonal{{box.XMin, box.YMin}, {box.XMax, box.YMax}};
  if (m == 1) {
    if (!InRectangle(boxDiagonal, p1)) return;
    if (holds(p1)) {
      q1 = p1;
      n = 1;
    }
    return;
  }
  bool h1 = holds(p1);
  bool h2 = holds(p2);
  if (h1 && h2) {
    q1 = p1;
    q2 = p2;
    n = 2;
  } else if (h1) {
    q1 = p1;
    n = 1;
  } else if (h2) {
    q1 = p2;
    q2 = p2;
    n = 1;
  }
}

void IntCircles(uint8_t mode, TCircleEq& c1, TCircleEq& c2, TRealPoint& q1, TRealPoint& q2,
                uint8_t& n) {
  n = 0;
  Enter("IntCircles");
  switch (mode) {
    case 0:
      break;
    case 1:
      CPRadCircle(c1);
      if (GeoErrorCode != 0) return;
      CPRadCircle(c2);
      if (GeoErrorCode != 0) return;
      break;
    case 2:
      CPRadCircle(c2);
      if (GeoErrorCode != 0) return;
      break;
    default:
      SetGeomError(1);
      return;
  }
  const TRealPoint& a = c1.Center;
  const TRealPoint& b = c2.Center;
  double dx = a.X - b.X;
  double dy = a.Y - b.Y;
  double d2 = dx * dx + dy * dy;
  if (NotPositiveTol(d2)) {
    SetGeomError(16);
    return;
  }
  double r1 = c1.Radius;
  double r2 = c2.Radius;
  double w = r1 * r1 + r2 * r2;
  double v = r2 * r2 - r1 * r1;
  double disc = 2.0 * w * d2 - d2 * d2 - v * v;
  if (!NotNegativeTol(disc)) return;
  double k = 0.5 / d2;
  double m = 0.5 - v * k;
  TRealPoint base;
  base.X = LessEqualTol(a.X, b.X) ? a.X + std::fabs(dx) * m : a.X - std::fabs(dx) * m;
  base.Y = LessEqualTol(a.Y, b.Y) ? a.Y + std::fabs(dy) * m : a.Y - std::fabs(dy) * m;
  if (IsZeroTol(disc)) {
    q1 = base;
    n = 1;
    return;
  }
  double h = std::sqrt(disc) * k;
  q1 = TRealPoint{base.X - dy * h, base.Y + dx * h};
  q2 = TRealPoint{base.X + dy * h, base.Y - dx * h};
  n = 2;
}

void Intersect(uint8_t mode, const TLineEq& e1, const TLineEq& e2, const TLinePointDir& f1,
               const TLinePointDir& f2, const TRealLine& l1, const TRealLine& l2, TRealPoint& q,
               uint8_t& n) {
  n = 0;
  Enter("Intersect");
  switch (mode) {
    case 0: {
      if (IsZeroTol(std::fabs(e1.A - e2.A)) && IsZeroTol(std::fabs(e1.B - e2.B)) &&
          IsZeroTol(std::fabs(e1.C - e2.C))) {
        SetGeomError(5);
        return;
      }
      double det = e1.A * e2.B - e2.A * e1.B;
      if (IsZeroTol(det)) {
        SetGeomError(6);
        return;
      }
      double k = SafeReciprocal(det);
      q = TRealPoint{(e1.B * e2.C - e2.B * e1.C) * k, (e2.A * e1.C - e1.A * e2.C) * k};
      n = 1;
      return;
    }
    case 1: {
      double det = f2.D.X * f1.D.Y - f1.D.X * f2.D.Y;
      if (IsZeroTol(det)) {
        SetGeomError(6);
        return;
      }
      double wx = f2.P.X - f1.P.X;
      double wy = f2.P.Y - f1.P.Y;
      double t = (f2.D.X * wy - f2.D.Y * wx) * SafeReciprocal(det);
      q = Along(f1.P, t, f1.D);
      ClearIfZeroTol(q.X);
      ClearIfZeroTol(q.Y);
      n = 1;
      return;
    }
    case 2: {
      double den = e1.A * f1.D.X + e1.B * f1.D.Y;
      if (IsZeroTol(den)) {
        SetGeomError(6);
        return;
      }
      double k = SafeReciprocal(den);
      double c = f1.P.X * f1.D.Y - f1.P.Y * f1.D.X;
      q = TRealPoint{(e1.B * c - e1.C * f1.D.X) * k, -(e1.A * c + e1.C * f1.D.Y) * k};
      n = 1;
      return;
    }
    case 3: {
      uint8_t status = 0;
      IntSegments(l1, l2, q, status);
      n = status == 0 ? 1 : 0;
      return;
    }
    case 4:
    case 5: {
      TLineEq segEq;
      TLinePointDir segDir;
      LineEquation(mode == 4 ? 0 : 1, l1.P1, l1.P2, segEq, segDir);
      if (GeoErrorCode != 0) return;
      TRealPoint p;
      uint8_t m = 0;
      if (mode == 4) {
        Intersect(0, e1, segEq, f1, f2, l1, l2, p, m);
      } else {
        Intersect(1, e1, e2, f1, segDir, l1, l2, p, m);
      }
      if (GeoErrorCode != 0 || m == 0) return;
      q = p;
      n = PointInLineBox(l1, p) ? 1 : 0;
      return;
    }
    default:
      SetGeomError(1);
      return;
  }
}

void IntSegments(const TRealLine& l1, const TRealLine& l2, TRealPoint& q, uint8_t& status) {
  TRealPoint v{l2.P2.X - l2.P1.X, l2.P2.Y - l2.P1.Y};
  TRealPoint u{l1.P2.X - l1.P1.X, l1.P2.Y - l1.P1.Y};
  TRealPoint w{l2.P1.X - l1.P1.X, l2.P1.Y - l1.P1.Y};
  double det = v.X * u.Y - v.Y * u.X;
  if (IsZeroTol(det)) {
    status = 1;
    return;
  }
  double k = SafeReciprocal(det);
  double t = (v.X * w.Y - v.Y * w.X) * k;
  double s = (u.X * w.Y - u.Y * w.X) * k;
  if (NegativeTol(t) || GreaterTol(t, 1.0) || NegativeTol(s) || GreaterTol(s, 1.0)) {
    status = 2;
    return;
  }
  q = Along(l1.P1, t, u);
  ClearIfZeroTol(q.X);
  ClearIfZeroTol(q.Y);
  status = 0;
}

void TangentLinesTwoCircles(const TCircleEq& c1, const TCircleEq& c2, int32_t& n, TRealLine& t1,
                            TRealLine& t2, TRealLine& t3, TRealLine& t4) {
  n = 0;
  TCircleEq a = c1;
  TCircleEq b = c2;
  TRealPoint p1, p2;
  uint8_t m = 0;
  IntCircles(0, a, b, p1, p2, m);
  SetGeomRoutine("TangentLinesTwoCircles");
  int32_t candidates = 0;
  if (m == 0) {
    if (PointsEqualTol(c1.Center, c2.Center)) {
      SetGeomError(16);
      return;
    }
    double dx = c1.Center.X - c2.Center.X;
    double dy = c1.Center.Y - c2.Center.Y;
    double d = std::sqrt(dx * dx + dy * dy);
    candidates = (d > c1.Radius && d > c2.Radius) ? 4 : 0;
  } else {
    candidates = m == 1 ? 3 : 2;
  }

  bool firstIsC1 = EqualTol(c1.Center.X, c2.Center.X) ? LessEqualTol(c1.Center.Y, c2.Center.Y)
                                                       : LessEqualTol(c1.Center.X, c2.Center.X);
  const TCircleEq& s = firstIsC1 ? c1 : c2;
  const TCircleEq& t = firstIsC1 ? c2 : c1;
  TRealPoint v{t.Center.X - s.Center.X, t.Center.Y - s.Center.Y};
  double d2 = v.X * v.X + v.Y * v.Y;
  if (IsZeroTol(d2)) {
    SetGeomError(16);
    return;
  }
  SetGeomError(0);

  TRealLine* out[4] = {&t1, &t2, &t3, &t4};
  int32_t written = 0;
  for (int32_t i = 1; i <= candidates; ++i) {
    double rs = (i == 1 || i == 3) ? s.Radius : -s.Radius;
    double rt = (i == 1 || i == 4) ? t.Radius : -t.Radius;
    double g = rt - rs;
    double q = d2 - g * g;
    if (NegativeTol(q)) continue;  // no such tangent (circles touching inside)
    double h = std::sqrt(GreaterOf(q, 0.0));
    double k = 1.0 / d2;
    TRealPoint nn{(-g * v.X - v.Y * h) * k, (-g * v.Y + v.X * h) * k};
    TLineEq tangent{nn.X, nn.Y, -(nn.X * s.Center.X + rs + nn.Y * s.Center.Y)};
    TLineEq throughS, throughT;
    LineEqPointDir(nn, s.Center, throughS);
    LineEqPointDir(nn, t.Center, throughT);
    TLinePointDir noDir;
    TRealLine noLine;
    TRealPoint onS, onT;
    uint8_t found = 0;
    Intersect(0, tangent, throughS, noDir, noDir, noLine, noLine, onS, found);
    if (GeoErrorCode != 0 || found == 0) continue;
    Intersect(0, tangent, throughT, noDir, noDir, noLine, noLine, onT, found);
    if (GeoErrorCode != 0 || found == 0) continue;
    *out[written++] = TRealLine{onS, onT};
  }
  SetGeomError(0);
  SetGeomRoutine("TangentLinesTwoCircles");
  n = written;
}

void tanpntcircle(const TCircleEq& c, const TRealPoint& p, TRealLine& t1, TRealLine& t2,
                  int32_t& n) {
  n = 0;
  Enter("tanpntcircle");
  TRealPoint d{c.Center.X - p.X, c.Center.Y - p.Y};
  double d2 = d.X * d.X + d.Y * d.Y;
  if (IsZeroTol(d2) || !(d2 > 0.0)) {
    SetGeomError(68);
    return;
  }
  double r = c.Radius;
  double l2 = d2 - r * r;
  if (NegativeTol(l2)) {
    SetGeomError(69);
    return;
  }
  double k = 1.0 / d2;
  TRealPoint foot{c.Center.X - r * r * k * d.X, c.Center.Y - r * r * k * d.Y};
  if (IsZeroTol(l2)) {
    t1 = TRealLine{p, foot};
    n = 1;
    return;
  }
  double tl = std::sqrt(l2);
  TRealPoint off{r * tl * k * -d.Y, r * tl * k * d.X};
  t1 = TRealLine{p, TRealPoint{foot.X + off.X, foot.Y + off.Y}};
  t2 = TRealLine{p, TRealPoint{foot.X - off.X, foot.Y - off.Y}};
  n = 2;
}

void circlestan2lines(const TRealLine& l1, const TRealLine& l2, int32_t& n, double r,
                      TCircleEq& c1, TCircleEq& c2, TCircleEq& c3, TCircleEq& c4) {
  n = 0;
  Enter("circlestan2lines");
  double a[2], b[2], cc[2];
  const TRealLine* lines[2] = {&l1, &l2};
  for (int i = 0; i < 2; ++i) {
    const TRealLine& l = *lines[i];
    double dx = l.P1.X - l.P2.X;
    double dy = l.P1.Y - l.P2.Y;
    if (IsZeroTol(dx) && IsZeroTol(dy)) {
      SetGeomError(2);
      return;
    }
    a[i] = -dy;
    b[i] = dx;
    cc[i] = l.P2.X * l.P1.Y - l.P1.X * l.P2.Y;
  }
  double det = a[1] * b[0] - a[0] * b[1];
  if (IsZeroTol(std::fabs(det)) || det == 0.0) {
    SetGeomError(6);
    return;
  }
  double k = 1.0 / det;
  double g1 = std::sqrt(a[0] * a[0] + b[0] * b[0]) * r;
  double g2 = std::sqrt(a[1] * a[1] + b[1] * b[1]) * r;
  const double e1s[4] = {cc[0] + g1, cc[0] + g1, cc[0] - g1, cc[0] - g1};
  const double e2s[4] = {cc[1] + g2, cc[1] - g2, cc[1] - g2, cc[1] + g2};
  TCircleEq* out[4] = {&c1, &c2, &c3, &c4};
  for (int i = 0; i < 4; ++i) {
    out[i]->Center = TRealPoint{(b[1] * e1s[i] - b[0] * e2s[i]) * k,
                                (a[0] * e2s[i] - a[1] * e1s[i]) * k};
    out[i]->Radius = r;
  }
  n = 4;
}
