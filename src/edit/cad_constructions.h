// Constructions that a snap given as the first point of a command leaves
// open until the next point is known, and the small readers of picked
// entities that the command texts use.
//
// The open construction is written into the command text as a token:
//   "TNCIR[cx,cy,r,px,py]"       tangent from the circle (centre, radius),
//                                touching near the pick point (px, py);
//   "PRPLIN[x1,y1,x2,y2,px,py]"  perpendicular onto the line through two
//                                points, picked at (px, py);
//   "PRPCIR[cx,cy,r,px,py]"      perpendicular (radial) onto the circle;
//   "PRL[x,y,dx,dy]"             a point of the line through (x, y) in the
//                                direction (dx, dy): a parallel.
// Numbers in the tokens are written with a decimal point (RealToStr).
//
// The next point settles it: a click gives the tangent or perpendicular
// from that point, or its foot on the parallel; a second Snap Tangent gives
// the common tangent of the two circles; a Snap Parallel after a tangent
// gives the parallel to the picked line that touches the circle.
#pragma once
#include <cstdint>
#include <string>

#include "command/argument_command.h"
#include "foundation/geometry.h"

// The definition text of a picked CAD entity for the tokens: "PRPLIN[x1,y1,
// x2,y2" for a line, "PRPCIR[cx,cy,r" (tangent: "TNCIR[cx,cy,r") for an arc
// or a circle; "" for anything else.
std::string GetPerpDefString(int32_t index, bool tangent);
// The definition text, then "," and the two reals, then "]" ("" without an
// entity of those kinds).
std::string BuildPerpDefText(int32_t index, double x, double y, bool tangent = false);
// The values of a TNCIR token; false when it has fewer than five.
bool ParseTnCirToken(const std::string& token, int32_t& cx, int32_t& cy, double& radius, int32_t& px,
                     int32_t& py);
// The radius of the arc or circle of argument 1 and its defining point;
// false for other entities.
bool GetPickedRadius(const std::string& text, double& radius, TIntPoint& point);
// The common tangent of the token's circle and the arc or circle of the
// snap text's argument 1, as "x1,y1,x2,y2" (the first end on the token's
// circle): of the tangents whose first ends lie nearer the token's pick
// point, the one whose second end lies nearer the mouse. "" for concentric
// circles, no tangent, or an unreadable token.
std::string ResolveTnCirSnap(const std::string& token, const std::string& text, int32_t mouseX,
                             int32_t mouseY);
// The point of a PRL text's line nearest to point (in place); false for a
// text that does not read or a line without direction.
bool ResolvePrl(const std::string& text, TIntPoint& point);
// The PRL token of the parallel snap (argument 1 a line, argument 2 its
// distance) picked at pointer: through the snap's point, along the line.
bool BuildParallelToken(const std::string& text, const TIntPoint& pointer, std::string& token,
                        TIntPoint& point);
// A point given after a PRL token: its foot on the parallel.
bool ResolveParallelPoint(const std::string& token, const TIntPoint& given, TIntPoint& point);

// Settles an open construction (see argument_command.h). A tangent and a
// perpendicular given one after the other make the line that touches the
// circle and stands at right angles to the other entity.
TConstructionResult ResolveConstruction(const std::string& token, const std::string& nextSnap,
                                        const TIntPoint* next, const TIntPoint& pointer, TIntPoint& first,
                                        TIntPoint& second);

// The two ends of the entity of argument 1 (of the editor mode's database),
// the one nearer the reference first; a point-like entity gives its point
// twice. False when argument 1 is no entity.
bool OrderEntityEnds(const std::string& text, const TIntPoint& reference, TIntPoint& first,
                     TIntPoint& second);
// The direction of the CAD entity of argument 1 in degrees, less 180 when it
// is 180 or more (0 without an entity).
double GetEntityAngle(const std::string& text);
// Its midpoint and that angle together; false without an entity.
bool GetEntityMidPointAndAngle(const std::string& text, TIntPoint& point, double& angle);
// Writes "x,y" of the midpoint of the CAD entity of argument 1 of queued in
// place of the last "R" of text, keeping text within limit characters;
// false (text unchanged) without an entity, an "R" or the room.
bool SubstituteMidPoint(std::string& text, size_t limit, const std::string& queued);
