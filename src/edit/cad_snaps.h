// Points that the snaps and the line edits find on picked CAD entities:
// intersections, middles, centres, ends, perpendicular feet, tangent
// points and points on a parallel. None of them changes the drawing.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/geometry.h"

// A picked entity reduced to what the constructions need: a line through
// two points, or a circle (an arc keeps its start and end angles).
struct TPickedShape {
  enum TKind : uint8_t { skNone, skPoint, skLine, skCircle, skArc } Kind = skNone;
  TRealPoint P1, P2;       // line ends (point: P1)
  TRealPoint Center;
  double Radius = 0.0;
  double StartAngle = 0.0;  // arcs: degrees, counter-clockwise to EndAngle
  double EndAngle = 0.0;
};

// The shape of the live CAD entity at the index (skNone when there is none).
TPickedShape PickedShape(int32_t index);

// The intersection of two entities nearest the reference point: lines as
// infinite lines, arcs by their circles (points on the arc preferred);
// false when they do not meet.
bool IntersectEntities(int32_t index1, int32_t index2, const TRealPoint& reference,
                       TRealPoint& point);

// The snaps' evaluators over completed snap texts; each gives the point or
// false (the user was told). last: the waiting command's newest point (may
// be null); pointer: where the last pick was made.
bool EvalPosEnd(const std::string& text, const TIntPoint& pointer, TIntPoint& point);
bool EvalPosInter(const std::string& text, const TIntPoint& pointer, TIntPoint& point);
bool EvalPosMid(const std::string& text, TIntPoint& point);
bool EvalPosCtr(const std::string& text, TIntPoint& point);
bool EvalPerpPoint(const std::string& text, const TIntPoint* last, TIntPoint& point);
bool EvalTangentPoint(const std::string& text, const TIntPoint* last, const TIntPoint& pointer,
                      TIntPoint& point);
// The point at the typed offset (argument 2, display units) from the
// picked line, on the pointer's side, across from the pointer.
bool ResolveParallelSnap(const std::string& text, const TIntPoint& pointer, TIntPoint& point);
