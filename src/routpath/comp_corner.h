// The corner geometry of cutter compensation: given two consecutive moves of
// a rout path and the cutter radius, where the offset copy of the first move
// ends, where the offset copy of the second starts, which elements are
// inserted between them (arcs around outside corners, connecting lines, the
// lead-in and retract lines of a path's ends), and whether the corner gouges.
//
// Only the corner end of the first move and the corner start of the second
// are computed; the far end of the first was fixed by the corner before it.
// The work is done in doubles in database units; results come back rounded.
//
// This solver serves the display of rout layers. The contour offset engine
// (contour_offset.h) has a corner solver of its own with other rules for
// choosing between a sharp and a rounded corner; the two are kept apart.
#pragma once
#include <array>
#include <cstdint>

#include "foundation/geometry.h"

// Move types: 5 jog, 6 line, 7 counter-clockwise arc, 8 clockwise arc.
enum : uint8_t { cmJog = 5, cmLine = 6, cmArcCCW = 7, cmArcCW = 8 };

// One move of a path as fed to the compensator, and one element of its
// output. Kind 1 is a move; kind 0 a gouge pointer at Start with the pointer
// angle in PointerAngle.
struct TCompMove {
  uint8_t Kind = 1;
  uint8_t Type = cmJog;
  uint8_t Side = 0;  // 0 none, 1 left, 2 right
  uint8_t Cutting = 0;
  int32_t Tool = 0;
  int32_t CompIndex = 0;
  TIntPoint Start;
  TIntPoint End;
  TIntPoint Centre;
  int32_t Step = 1;
  double PointerAngle = 0.0;
};

// The working form of a move.
struct TCompSegment {
  uint8_t Kind = 1;
  uint8_t Type = cmJog;
  uint8_t Side = 0;
  uint8_t Cutting = 0;
  int32_t Tool = 0;
  int32_t CompIndex = 0;
  double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0, CX = 0, CY = 0;
  int32_t Step = 1;
};

constexpr int kMaxCornerElements = 5;
using TCompMoveList = std::array<TCompMove, kMaxCornerElements>;
using TCompSegmentList = std::array<TCompSegment, kMaxCornerElements>;

// Manhattan distance below which a compensated element counts as gouged
// (0.0005 in).
constexpr int32_t kGougeDistance = 12700;

// Solves the corner between in[0] (the previous move) and in[1] (the current
// one) for a cutter of the radius on the right (right) or the left of travel.
// out[0].Start must be preset to where the previous element ended. Returns
// the count (2 to 5): kind 1 moves and at most one kind 0 pointer, which is
// placed just before the last element. A gouge found adds one to
// CompensationViolations.
int CompensateCorner(TCompMoveList& out, const TCompMove in[2], int32_t radius, bool right,
                     double tolerance);

// The geometry alone, on working segments (no gouge test): seg[0..1] in,
// the result in seg[0..n-1]; returns n.
int SolveCornerFrame(TCompSegmentList& seg, bool right, double tolerance, double r);

// Segment-list operations on the first n segments.
void ReverseSegments(TCompSegment* s, int n);
void TranslateSegments(TCompSegment* s, int n, double dx, double dy);
void RotateSegments(TCompSegment* s, int n, double angle);
void MirrorSegmentsX(TCompSegment* s, int n);
void MirrorSegmentsY(TCompSegment* s, int n);
uint8_t SwapArcDirection(uint8_t type);
bool IsZeroLength(const TCompSegment& s);
double StartDirection(const TCompSegment& s);
double EndDirection(const TCompSegment& s);

// The centre, relative to a circle's centre, of the lead-in arc of radius
// radius that joins the point 0.01 in inside the cutter path circle on its
// horizontal to the top of that circle. False (0, 0) when the path circle is
// too small for such an arc.
bool CompensationEntryArc(int32_t radius, int32_t& x, int32_t& y);
