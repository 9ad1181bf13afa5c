#include "workspace/command_bands.h"

#include <cmath>

#include "command/command_interpreter.h"
#include "foundation/geometry.h"
#include "foundation/geometry_points.h"
#include "workspace/view_mapping.h"

namespace {

TRealPoint Real(const TIntPoint& p) { return {double(p.X), double(p.Y)}; }

// In rout mode the band shows the cutting direction at its end: the arrow
// leans to the side the compensation cuts on.
bool RoutBand() { return ECO != nullptr && ECO->Mode() == 1; }

void Arrow(TRubberPaint& paint, const TRealPoint& at, double angle) {
  if (RoutBand()) paint.RubberArrow(at, angle, true, false);
}

void Polyline(TRubberPaint& paint, const std::vector<TIntPoint>& points) {
  std::vector<TPoint> screen;
  for (const TIntPoint& p : points) screen.push_back(paint.ScreenPoint(p.X, p.Y));
  paint.DrawScreenPolyline(screen);
}

// The line of the last two points, with the rout arrow at its end.
void Line(TRubberPaint& paint, const std::vector<TIntPoint>& points) {
  Polyline(paint, points);
  const TIntPoint& a = points[points.size() - 2];
  const TIntPoint& b = points.back();
  if (!(a == b)) Arrow(paint, Real(b), DirectionAngle(Real(a), Real(b)));
}

// The arc counter-clockwise from start to end about the centre (the end
// already on the start's circle); with the radius line to fourth.
void Arc(TRubberPaint& paint, const TRealPoint& start, const TRealPoint& end, const TRealPoint& centre,
         const TRealPoint* fourth, bool clockwise) {
  if (clockwise)
    paint.RubberArc(end, start, centre, fourth, true, false);
  else
    paint.RubberArc(start, end, centre, fourth, true, false);
  // The tangent at the end, in the direction of travel.
  const double radial = DirectionAngle(centre, end);
  Arrow(paint, end, std::fmod(radial + (clockwise ? 270.0 : 90.0), 360.0));
}

// Start, end, centre: the arc of the start's radius, ending on the ray from
// the centre toward the end, and that ray.
void ArcByEnds(TRubberPaint& paint, const std::vector<TIntPoint>& points) {
  const TRealPoint s = Real(points[0]), e = Real(points[1]), c = Real(points[2]);
  const double r = Distance(c, s), de = Distance(c, e);
  if (r == 0.0 || de == 0.0) {
    Polyline(paint, points);
    return;
  }
  const TRealPoint end{c.X + (e.X - c.X) * r / de, c.Y + (e.Y - c.Y) * r / de};
  Arc(paint, s, end, c, &e, false);
}

// Start, a point on the arc, end: the arc through the three, or the two
// lines when they stand in a row.
void ArcThrough(TRubberPaint& paint, const std::vector<TIntPoint>& points) {
  const TIntPoint &s = points[0], &m = points[1], &e = points[2];
  const double turn =
      (double(m.X) - s.X) * (double(e.Y) - s.Y) - (double(m.Y) - s.Y) * (double(e.X) - s.X);
  if (turn == 0.0 || s == e) {
    Polyline(paint, points);
    return;
  }
  TRealPoint centre;
  double radius = 0.0;
  CircleThreePoints(s.X, s.Y, m.X, m.Y, e.X, e.Y, centre.X, centre.Y, radius);
  // The middle to the left of start -> end: the points turn clockwise.
  Arc(paint, Real(s), Real(e), centre, nullptr, turn < 0.0);
}

}  // namespace

void DrawCommandBand(TBandKind kind, const std::vector<TIntPoint>& points) {
  if (RubberPaint == nullptr || points.empty()) return;
  TRubberPaint& paint = *RubberPaint;
  paint.SetXorPen();
  if (kind == bandCrossHair) {
    paint.RubberCrossHair(Real(points.back()), true, false);
    return;
  }
  if (points.size() < 2) return;
  const TIntPoint& a = points[points.size() - 2];
  const TIntPoint& b = points.back();
  switch (kind) {
    case bandRectangle: {
      std::vector<TIntPoint> corners;
      for (const TIntPoint& p : {a, TIntPoint{b.X, a.Y}, b, TIntPoint{a.X, b.Y}, a}) corners.push_back(p);
      Polyline(paint, corners);
      break;
    }
    case bandCircle: {
      const double r = std::hypot(double(b.X) - a.X, double(b.Y) - a.Y);
      paint.DrawScreenEllipse(paint.ScreenX(a.X - r), paint.ScreenY(a.Y + r), paint.ScreenX(a.X + r),
                              paint.ScreenY(a.Y - r));
      break;
    }
    case bandArcEnds:
      if (points.size() >= 3)
        ArcByEnds(paint, points);
      else
        Line(paint, points);
      break;
    case bandArcThrough:
      if (points.size() >= 3)
        ArcThrough(paint, points);
      else
        Line(paint, points);
      break;
    case bandCorner:
      if (points.size() >= 3)
        paint.RubberCorner(points[0], points[1], points[1], points[2], 0, true, true, false);
      else
        Polyline(paint, points);
      break;
    case bandLine:
      Line(paint, points);
      break;
    default:
      Polyline(paint, points);
      break;
  }
}
