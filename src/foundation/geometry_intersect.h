// Intersections and tangents of the geometry kernel: lines, segments, circles
// and arcs. Counts come back with the points; the order of the points is
// fixed (see each routine). All but IntSegments clear GeoErrorCode and report
// failures there; counts are 0 after a failure.
#pragma once
#include <cstdint>

#include "foundation/geometry.h"

// Mode 0: segment l against c by Center and Radius; 1: l against c by its
// equation (CPRadCircle first, on a copy); 2: the infinite line f against c by
// Center and Radius; 3: f against c by equation. q1 is the point further back
// along the line's direction (for a segment: nearer l.P2), q2 the other.
void IntCircleLine(uint8_t mode, const TCircleEq& c, const TRealLine& l, const TLinePointDir& f,
                   TRealPoint& q1, TRealPoint& q2, uint8_t& n);
// Mode 0: segment l; 1: the infinite line f; 2: the infinite line e. Only
// points on the arc count, in IntCircleLine's order.
void IntArcLine(uint8_t mode, const TRealArc& a, const TRealLine& l, const TLineEq& e,
                const TLinePointDir& f, TRealPoint& q1, TRealPoint& q2, uint8_t& n);
// Mode 0: both circles by Center and Radius; 1: both by equation (Center and
// Radius filled in place); 2: c1 by Center and Radius, c2 by equation. q1
// lies right of the direction c1 -> c2, q2 left. Error 16 for equal centres.
void IntCircles(uint8_t mode, TCircleEq& c1, TCircleEq& c2, TRealPoint& q1, TRealPoint& q2,
                uint8_t& n);
// Mode 0: e1 with e2; 1: f1 with f2; 2: e1 with f1; 3: segments l1 and l2;
// 4: e1 with segment l1; 5: f1 with segment l1. n is 0 or 1. Errors 5
// (identical equations) and 6 (parallel).
void Intersect(uint8_t mode, const TLineEq& e1, const TLineEq& e2, const TLinePointDir& f1,
               const TLinePointDir& f2, const TRealLine& l1, const TRealLine& l2, TRealPoint& q,
               uint8_t& n);
// status 0 with q; 1 parallel; 2 the lines meet outside either segment (q
// untouched for 1 and 2). Touching at an end counts. No error hook.
void IntSegments(const TRealLine& l1, const TRealLine& l2, TRealPoint& q, uint8_t& status);
// The common tangents of two circles by Center and Radius: outer tangents
// first, then inner ones. Each ti holds the tangent point on the circle with
// the smaller centre X (then Y) in P1 and on the other in P2. n is the number
// of lines written (t1 .. tn), 0 on error (16: same centre).
void TangentLinesTwoCircles(const TCircleEq& c1, const TCircleEq& c2, int32_t& n, TRealLine& t1,
                            TRealLine& t2, TRealLine& t3, TRealLine& t4);
// The tangents from p to the circle: t1 and t2 are (p, tangent point), the
// first on the side reached by turning the direction p -> centre by +90
// degrees. n = 2, or 1 with p on the circle, or 0 on error (68: p at the
// centre, 69: p inside).
void tanpntcircle(const TCircleEq& c, const TRealPoint& p, TRealLine& t1, TRealLine& t2,
                  int32_t& n);
// The four circles of radius r tangent to the lines through l1 and l2: left
// of both (c1), left of l1 and right of l2 (c2), right of both (c3), right of
// l1 and left of l2 (c4). Errors 2 (degenerate line) and 6 (parallel).
void circlestan2lines(const TRealLine& l1, const TRealLine& l2, int32_t& n, double r,
                      TCircleEq& c1, TCircleEq& c2, TCircleEq& c3, TCircleEq& c4);
