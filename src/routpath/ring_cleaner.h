// Overlapping cut removal on offset rings: when neighbouring parts of a
// panel are offset one by one, their offset paths often run along the same
// channel once in each direction. The cleaner turns every element that runs
// along a longer element (within 0.004 in) into a non-cutting move,
// stretches the longer element over what it absorbed, and plays the cleaned
// ring back through its virtual operations, which a descendant supplies.
#pragma once
#include <cstdint>
#include <vector>

// Distance within which cuts overlap (0.004 in).
constexpr double kOverlapTolerance = 101600.0;

// One element of a ring: the element that ends at (X, Y); its start is the
// point of the element before it (the ring is circular).
struct TRingSegment {
  double Length = 0.0;  // ordering key: the element's length
  uint8_t Fixed = 0;    // never changed again (absorbed arcs, inserted moves)
  int32_t X = 0, Y = 0;
  int32_t Tag = 0;      // source entity; 0 for corner elements and moves
  uint8_t Kind = 1;     // 0 move (no cut), 1 line, 2 clockwise arc, 3 counter-clockwise arc
  int32_t CX = 0, CY = 0;
  int32_t Next = -1, Prev = -1;  // ring links (indices), filled in by Run
};

class TRingCleaner {
 public:
  TRingCleaner() = default;
  virtual ~TRingCleaner() = default;

  // Takes the ring in order (element i + 1 follows element i, the first
  // follows the last), cleans it and plays it back once.
  void Run(std::vector<TRingSegment> ring);

 protected:
  virtual void MoveTo(int32_t x, int32_t y) {}
  virtual void MoveToIndexed(int32_t x, int32_t y, int32_t tag) {}
  virtual void LineTo(int32_t x, int32_t y, int32_t tag) {}
  virtual void ArcToCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy) {}
  virtual void ArcToCCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy) {}

 private:
  void Clean();
  // Bounds element e by two zero-length moves.
  void Isolate(int32_t e);
  void CleanLine(int32_t e);
  void CleanArc(int32_t e, uint8_t sought);
  void Play();
  int32_t InsertAfter(int32_t at, const TRingSegment& s);

  std::vector<TRingSegment> Ring;
  int32_t First = -1;
};
