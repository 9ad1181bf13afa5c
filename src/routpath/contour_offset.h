// The contour offset engine: moves a path of lines and arcs sideways by a
// cutter radius, one corner at a time. Given two consecutive elements in
// their programmed geometry it returns the first with its end moved onto the
// offset path, the elements inserted at the corner (rounding arcs of at most
// 90 degrees each, a lead-in or lead-out line at a path's ends), and the
// second with its start moved. A caller that walks a path corner by corner
// and emits every returned element but the last obtains the whole offset
// path, because each element is emitted by its end point.
//
// Two callers: the NC tape reader (compensated tape moves, through the seam
// the reader declares; InstallContourOffsetEngine connects it) and
// TContourList::Offset, which offsets a whole closed contour for the panel
// and pocket routs.
//
// The corner rules here differ on purpose from the display compensator's
// (comp_corner.h): this engine rounds left turns of more than 90.1 degrees
// between lines and treats arc pairs by its own table.
#pragma once
#include <cstdint>
#include <vector>

// Element kinds: 2 line, 3 clockwise arc, 4 counter-clockwise arc.
enum : uint8_t { ckLine = 2, ckArcCW = 3, ckArcCCW = 4 };

// One element in database units. Source is the index of the input element it
// derives from (0 or 1); an inserted corner element carries 0, the lead-out
// line 1.
struct TContourElement {
  uint8_t Kind = ckLine;
  double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0, CX = 0, CY = 0;
  uint8_t Source = 0;
};

// Bound for computed coordinates (2,147,483,647 at start); the tape reader
// owns it and sets it again when it starts a file.
extern double CoordinateLimit;
// While set, OffsetContour returns its input unchanged; the tape reader owns
// it and sets it from its option before each run, TContourList::Offset
// clears it.
extern bool ArcAdjustDisabled;

// Offsets the pair in[0], in[1] (the end of the first is the start of the
// second) by radius to the right of travel when right, else to the left.
// resolution is a length in database units that scales the tolerances (the
// automatic routs pass 25,000). Writes 2 to 4 elements to out and returns
// their count; coordinates are not rounded.
int OffsetContour(TContourElement out[4], const TContourElement in[2], double radius, bool right,
                  double resolution);

// Connects the engine to the NC tape reader's offset seam.
void InstallContourOffsetEngine();

// One element of a contour list: the element that ends at (X, Y). Tag is the
// 1-based index of the source entity, 0 for the closing line. Kind 0 start
// point, 1 line, 2 clockwise arc, 3 counter-clockwise arc.
struct TContourNode {
  int32_t X = 0, Y = 0;
  int32_t Tag = 0;
  uint8_t Kind = 0;
  int32_t CX = 0, CY = 0;
};

// A contour built element by element and offset as a whole; the offset path
// is handed to the virtual playback operations of a descendant.
class TContourList {
 public:
  TContourList() = default;
  virtual ~TContourList() = default;

  void Clear();
  // Clears the list and starts it at the point.
  void Start(int32_t x, int32_t y);
  // Nothing happens before Start.
  void AppendLine(int32_t x, int32_t y, int32_t tag);
  void AppendArcCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy);
  void AppendArcCCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy);
  // Closes the contour with a line back to the start when it does not end
  // there, and repeats its first two elements after the last one, so the
  // walk of Offset passes every corner. A list of fewer than two elements
  // stays open.
  void Close();
  bool Closed() const { return Closed_; }
  const std::vector<TContourNode>& Nodes() const { return Nodes_; }

  // Twice the signed area enclosed (arcs counted by their segments);
  // positive for a counter-clockwise contour with Y up. The closed contour
  // without its repeated elements is measured.
  double SignedArea2() const;
  // True when the closed contour runs clockwise (with Y up). A contour that
  // is not closed, or encloses no area, gets an information box and the
  // answer true.
  bool IsClockwise() const;
  // The side argument of Offset that puts the path outside the closed
  // contour: the left of a clockwise contour, the right of another.
  uint8_t OutsideSide() const { return IsClockwise() ? 0 : 1; }

  // Offsets the contour by radius to side (0 left, any other right);
  // resolution scales the engine's tolerances. A closed contour gives one
  // path that starts with MoveTo and closes on itself.
  void Offset(uint8_t side, int32_t radius, double resolution);

 protected:
  virtual void MoveTo(int32_t x, int32_t y) {}
  virtual void LineTo(int32_t x, int32_t y, int32_t tag) {}
  virtual void ArcToCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy) {}
  virtual void ArcToCCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy) {}

 private:
  void Append(uint8_t kind, int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy);
  std::vector<TContourNode> Nodes_;
  bool Closed_ = false;
  std::size_t Repeated_ = 0;  // elements repeated by Close
};
