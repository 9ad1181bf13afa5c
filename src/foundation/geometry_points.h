// Point and vector helpers of the geometry kernel, the circle through three
// points and two circle-construction helpers, and the arc helpers on integer
// points (database units) used by entity creation, picking and transforms.
#pragma once
#include <cstdint>

#include "foundation/geometry.h"

// ---- Points and vectors ----

void IntPointToReal(const TIntPoint& ip, TRealPoint& p);
void MakeLine(const TRealPoint& p1, const TRealPoint& p2, TRealLine& l);
void SwapPoints(TRealPoint& p, TRealPoint& q);
void AddPoint(TRealPoint& p, const TRealPoint& q);  // p := p + q
void SubPoint(TRealPoint& p, const TRealPoint& q);  // p := p - q
void NegateX(TRealPoint& p);
void NegateY(TRealPoint& p);
void MidPoint(const TRealPoint& p, const TRealPoint& q, TRealPoint& m);
double Distance(const TRealPoint& p, const TRealPoint& q);
double DistanceSqr(const TRealPoint& p, const TRealPoint& q);
double SumSquares(double a, double b);
// q := p + PolarToRect(dist, angle) when dist > 0, else q := p.
void OffsetPoint(const TRealPoint& p, TRealPoint& q, double dist, double angle);
// True when p equals a or c, or projects onto the segment a-c at least 0.001
// inside both ends.
bool ProjectsInsideSegment(const TRealPoint& a, const TRealPoint& p, const TRealPoint& c);
bool PointProjectsOnLine(const TRealLine& l, const TRealPoint& p);

// ---- Circle helpers ----

// The circle through three points; collinear points give (0, 0) and r = -1.
void CircleThreePoints(double x1, double y1, double x2, double y2, double x3, double y3,
                       double& cx, double& cy, double& r);
// sum := b + c; leg := sqrt((a - b)^2 - sum^2) when that is not negative
// (within Epsilon), else false with leg untouched.
bool TangentLegInner(double a, double b, double c, double& leg, double& sum);
// The same with (a + b)^2.
bool TangentLegOuter(double a, double b, double c, double& leg, double& sum);
// For circles of radii r1, r2 with centres d apart: along = distance from the
// first centre to the common chord, half = half the chord; false when the
// circles do not meet or d is 0.
bool CircleIntersectionOffsets(double r1, double r2, double d, double& along, double& half);

// ---- Arcs on integer points ----
// The second point is the one the arc passes through. Collinear points give 0
// in every output except the radius (-1.0) and the clockwise flag (0).

// The counter-clockwise arc through the three points: start and end (the
// first and third point, exchanged when the arc through the second runs
// clockwise), centre, angles of start and end in [0, 360), radius.
void ArcThreePoints(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                    double& sx, double& sy, double& ex, double& ey, double& cx, double& cy,
                    double& startAngle, double& endAngle, double& r);
// Start = first point, end = third (never exchanged); clockwise = 1 when the
// arc from the first through the second to the third runs clockwise.
void ArcThreePointsDir(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                       double& sx, double& sy, double& ex, double& ey, double& cx, double& cy,
                       uint8_t& clockwise, double& r);
// As ArcThreePoints with the centre and both angles rounded to integers.
void ArcThreePointsInt(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                       int32_t& sx, int32_t& sy, int32_t& ex, int32_t& ey, int32_t& cx,
                       int32_t& cy, int32_t& startAngle, int32_t& endAngle, double& r);
// Start, end and rounded centre only.
void ArcThreePointsIntShort(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3,
                            int32_t y3, int32_t& sx, int32_t& sy, int32_t& ex, int32_t& ey,
                            int32_t& cx, int32_t& cy);
// The point half-way along the counter-clockwise arc from s to e about c.
void ArcMidPoint(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy,
                 int32_t& mx, int32_t& my);
void ArcMidPointReal(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy,
                     double& mx, double& my);
// Start, middle and end of the arc.
void ArcMidPointWrapper(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy,
                        int32_t& s2x, int32_t& s2y, int32_t& mx, int32_t& my, int32_t& e2x,
                        int32_t& e2y);
// Distance from p to the counter-clockwise arc from s to e about c with
// radius r, rounded.
int32_t DistPointArc(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy,
                     int32_t px, int32_t py, int32_t r);

// Distance from P to the segment AB by halving, as the pick searches measure
// it: the end farther from P moves to the midpoint until the ends are within
// 3 units (Manhattan); the distance to the nearer end, rounded and saturated.
int32_t HalvingSegmentDistance(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px,
                               int64_t py);
