// Segment chaining: loose lines and arcs become continuous paths. A caller
// adds segments one by one and calls Process; the chainer joins segments
// whose ends meet (within 50,800 units in X and in Y) into chains, puts the
// chains into a travelling order (nearest end first) and plays each back
// through its virtual operations, which a descendant supplies.
//
// Ends are found through a grid of end points and the longest remaining
// segment through a heap, so chaining n segments takes O(n log n) for
// outlines of ordinary density; the travelling order searches a grid of
// chain ends outward from the current point.
//
// AdjustArcCentre moves an arc's centre onto the perpendicular bisector of
// its chord when its two end radii differ, before an arc is stored.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "foundation/geometry.h"

// Two segment ends within this distance in X and in Y meet (0.002 in).
constexpr int32_t kChainJoinTolerance = 50800;

// One segment. Clockwise 0: an arc runs counter-clockwise from start to end.
struct TChainSegment {
  int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0, CX = 0, CY = 0;
  uint8_t Clockwise = 0;
  uint8_t Kind = 0;  // 0 line, 1 arc
  // Swaps start and end; an arc changes direction.
  void Reverse();
  double Length() const;
};

class TSegmentChainer {
 public:
  // radius: a chain of one arc of about this mean radius (a cutter-sized
  // hole) is not played back.
  explicit TSegmentChainer(double radius) : Radius(radius) {}
  virtual ~TSegmentChainer() = default;

  // Segments of no length (a line whose ends coincide, an arc whose start is
  // its end) are not added.
  virtual void AddLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  virtual void AddArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t cx, int32_t cy);
  // Chains, orders and plays back everything added; afterwards the chainer
  // is empty.
  virtual void Process();

  std::size_t Count() const { return Pool.size(); }

 protected:
  virtual void MoveTo(int32_t x, int32_t y) {}
  virtual void PenDown() {}
  virtual void SetMode(int32_t mode) {}
  virtual void LineTo(int32_t x, int32_t y) {}
  virtual void ArcToCW(int32_t x, int32_t y, int32_t cx, int32_t cy) {}
  virtual void ArcToCCW(int32_t x, int32_t y, int32_t cx, int32_t cy) {}
  virtual void EndChain() {}

  double Radius;

 private:
  std::vector<TChainSegment> Pool;
};

// Chains the parallel hatch lines of a pocket into a zigzag: lines one
// spacing apart are linked end to end with the connecting moves inserted,
// chains are cut nearest first, and a lone line is not cut at all. Arcs are
// ignored. Each link step compares the chain's tail with every line left, so
// it suits the hatch passes of one pocket rather than a whole panel.
class TLineChainer {
 public:
  explicit TLineChainer(int32_t spacing) : Spacing(spacing) {}
  virtual ~TLineChainer() = default;

  virtual void AddLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  virtual void AddArc(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {}
  virtual void Process();

 protected:
  virtual void MoveTo(int32_t x, int32_t y) {}
  virtual void PenDown() {}
  virtual void SetMode(int32_t mode) {}
  virtual void LineTo(int32_t x, int32_t y) {}
  virtual void EndChain() {}

  int32_t Spacing;

 private:
  std::vector<TChainSegment> Pool;
};

// The error raised by AdjustArcCentre for impossible geometry.
class EArcAdjust : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// When the distances of the start and the end from the centre differ by
// more than 1,000 units, the centre moves to the point at their mean
// distance from both ends on the given centre's side of the chord; raises
// EArcAdjust "Arc adjust error, no intersection." when there is none and
// "Arc adjust error, original center was on line with endpoints." when both
// sides are equally near.
void AdjustArcCentre(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t& cx, int32_t& cy);
