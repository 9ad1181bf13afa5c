// Named line, box, circle and arc routines of the geometry kernel.
//
// Each routine (unless noted) clears GeoErrorCode, announces its name through
// SetGeomRoutine and on failure sets the error code and returns; its outputs
// are then not to be used. A mode outside the listed ones sets error 1.
//
// Half-tangent parameter: a direction of angle theta is encoded as
// q + tan(theta'/2), with q (0 to 3) the quadrant index and theta' the angle
// inside the quadrant; 0 at 0 degrees, 1, 2, 3 at 90, 180, 270, towards 4 at
// 360, monotonic.
#pragma once
#include <cstdint>

#include "foundation/geometry.h"

// ---- Lines ----

// Mode 0 writes e with the normal (A, B) to the right of travel p1 -> p2
// (unit length while NormalizeLines is set); mode 1 writes f = (p1, the
// direction from p2 towards p1). Error 2 for coincident points (outputs
// untouched).
void LineEquation(uint8_t mode, const TRealPoint& p1, const TRealPoint& p2, TLineEq& e,
                  TLinePointDir& f);
// Both forms at once, always of unit length. Error 2 for coincident points.
void BothLineEquations(const TRealPoint& p1, const TRealPoint& p2, TLineEq& e,
                       TLinePointDir& f);
// The line through p with direction d, not normalised. No error hook.
void LineEqPointDir(const TRealPoint& d, const TRealPoint& p, TLineEq& e);
// Mode 0: unit normal with C <= 0 (and B >= 0 through the origin), error 3;
// mode 1: unit direction, error 4.
void NormalizeLine(uint8_t mode, TLineEq& e, TLinePointDir& f);
// Mode 0: equation to point-direction (foot of the perpendicular from the
// origin, unit direction (B, -A)), error 3; mode 1: point-direction to
// equation, not normalised.
void ConvLineEq(uint8_t mode, TLineEq& e, TLinePointDir& f);
// Mode 0: A*p.X + B*p.Y + C; mode 1: unsigned distance from p to f (error
// 4); mode 2: mode 0 against the line through q and r (error 2). 1.0 on
// error.
double DistPntLine(uint8_t mode, const TRealPoint& p, const TRealPoint& q, const TRealPoint& r,
                   const TLineEq& e, const TLinePointDir& f);
// The acute angle between two lines: mode 0 degrees, mode 1 radians, mode 2
// its cosine. Error 3 for a line with A = B = 0; 0 on error.
double AngleTwoLines(uint8_t mode, const TLineEq& e1, const TLineEq& e2);
// dy/dx of the segment; HugeValue with error 8 (vertical) or 7 (a point).
void Slope(const TRealLine& l, double& s);
bool Perpendicular(const TRealLine& l1, const TRealLine& l2);

// ---- Boxes ----

// The box of the two points; filled even when they coincide (error 2).
void LineRectangle(const TRealLine& l, TRealRect& r);
// True when p lies in the box with opposite corners l.P1 and l.P2.
bool InRectangle(const TRealLine& l, const TRealPoint& p);
// The same test, inclusive, with no error hook.
bool PointInLineBox(const TRealLine& l, const TRealPoint& p);
// 2: both ends of l1 strictly on one side of the line of l2; 1: on opposite
// sides; with an end on the line: 3 l1 inside l2, 4 only l1.P1 inside, 5 only
// l1.P2 inside, 6 l2 inside l1, 7 perpendicular, else 0. No error hook.
int32_t SegmentRelation(const TRealLine& l1, const TRealLine& l2);

// ---- Circles, quadrants and arcs ----

// Center and Radius from D, E, F. Error 13 (zero radius, Radius := 0) or 14
// (no real circle, Radius unchanged).
void CPRadCircle(TCircleEq& c);
// 1 to 4. Mode 0 by the vector v; mode 1 a half-tangent parameter (error 19);
// mode 2 degrees, mode 3 radians (error 20 for negative, 19 for non-finite).
// Boundaries belong to the lower quadrant.
int32_t Quadrant(uint8_t mode, const TRealPoint& v, double a);
// Half-tangent parameter of an angle in degrees (mode 0) or radians (mode 1).
double ParmTanHAngle(uint8_t mode, double a);
// Angle of a half-tangent parameter, degrees (mode 0) or radians (mode 1).
// Error 20 for negative p, 19 for p >= 4. Announces no name.
double HalfTanParmToAngle(uint8_t mode, double p);
// Direction p1 -> p2 as a half-tangent parameter (mode 0), degrees (1) or
// radians (2). Error 2 (result 0) for coincident points. Announces no name.
double DirectionParm(uint8_t mode, const TRealPoint& p1, const TRealPoint& p2);
// q := the point at distance abs(dist) from c in the direction angle:
// degrees (mode 0), radians (mode 1) or half-tangent parameter (mode 2).
// q is untouched on error.
void PntAngleDist(uint8_t mode, const TRealPoint& c, TRealPoint& q, double dist, double angle);
// Start and end points of the arc. Error 1 for an unknown AngleUnit.
void ArcPnts(const TRealArc& a, TRealPoint& s, TRealPoint& e);
// Bounding box of the counter-clockwise arc from s to e (as ArcPnts gives
// them); equal end points give the whole circle. Announces no name.
void ArcBox(const TRealArc& a, const TRealPoint& s, const TRealPoint& e, TRealRect& r);
