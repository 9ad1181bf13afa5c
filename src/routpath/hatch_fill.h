// Scan-line hatch fill: the inside of one or more closed contours (a pocket
// ring and its islands) is cut by horizontal scan lines a fixed spacing
// apart, and every inside span goes to a pass writer. Arcs are flattened
// into chords first. Inside is decided by the even-odd rule, so an island
// within the outline is left out.
//
// Edges are kept sorted by their lowest Y and swept upwards with a list of
// the edges the scan line currently cuts, and the crossings of one scan
// line are sorted once: the fill costs about (scan lines x crossings) plus
// the sort of the edges, not (scan lines x edges).
#pragma once
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "routpath/ring_cleaner.h"

// Raised for a fill that cannot run (a spacing below one unit).
class EHatchFill : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The chords of an arc: the counter-clockwise rotation step, in degrees,
// and the number of chords (2 .. maxSegments - 1). The sweep runs from the
// start to the end point in the arc's direction; an arc whose end is its
// start is a full circle. A chord tolerance of twice the radius or more
// still gives at least two chords.
struct TChordStep {
  double StepDeg = 0.0;
  int32_t Count = 2;
};
TChordStep ArcChordStep(double sx, double sy, double ex, double ey, double cx, double cy,
                        bool clockwise, double chordTolerance, int32_t maxSegments = 36);

// A polygon of one or more closed contours, kept as straight edges.
class THatchPolygon {
 public:
  THatchPolygon(double chordTolerance, int32_t spacing, int32_t maxSegments = 36)
      : ChordTolerance(chordTolerance), Spacing(spacing), MaxSegments(maxSegments) {}
  virtual ~THatchPolygon() = default;

  // The first vertex of a contour starts it; each further vertex adds the
  // edge to it.
  void AddVertex(double x, double y);
  // An arc from the last vertex to (x, y) about (cx, cy), clockwise or
  // counter-clockwise, added as chords.
  void AddArc(double x, double y, double cx, double cy, bool clockwise);
  // Ends the contour (an edge back to its first vertex when needed).
  void Close();

  // Scan lines every Spacing from one unit below the lowest vertex up to one
  // unit above the highest; EmitSpan for every inside span, lowest scan line
  // first, left to right. Nothing when the polygon has fewer than two edges.
  // Raises EHatchFill when Spacing is below one unit.
  void Run();
  // Even-odd test of a point against every contour.
  bool Contains(double x, double y) const;
  // How many times the horizontal ray from (x, y) towards +X crosses the
  // edges.
  int32_t RayCrossings(double x, double y) const;

  int32_t ContourCount() const { return ContourCount_; }
  std::size_t EdgeCount() const { return Edges_.size(); }

 protected:
  // One inside span of the scan line at y, x1 < x2.
  virtual void EmitSpan(double x1, double x2, double y) {}

  double ChordTolerance;
  int32_t Spacing;
  int32_t MaxSegments;

 private:
  struct TEdge {
    double X1, Y1, X2, Y2;
  };
  std::vector<TEdge> Edges_;
  bool Open_ = false;
  double FirstX_ = 0, FirstY_ = 0, LastX_ = 0, LastY_ = 0;
  int32_t ContourCount_ = 0;
};

// The base of every pass writer: fills a closed ring (each segment ends at
// its point and starts at the point of the one before it; the first follows
// the last) and hands each inside span to EmitPass.
class THatchDriver {
 public:
  virtual ~THatchDriver() = default;
  // Fills the ring. Rings of fewer than two segments give no passes.
  void Fill(const std::vector<TRingSegment>& ring, int32_t spacing, double chordTolerance);
  // The same for several rings at once (an outline and its islands).
  void Fill(const std::vector<std::vector<TRingSegment>>& rings, int32_t spacing,
            double chordTolerance);

 protected:
  virtual void EmitPass(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
};

// Adds a ring (as above) to a polygon as one contour.
void AddRingToPolygon(THatchPolygon& polygon, const std::vector<TRingSegment>& ring);
