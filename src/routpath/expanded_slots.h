// Conversion of expanded slots into slots: a drilled slot that was expanded
// into a row of closely spaced hits (one hole per hit) becomes one slot
// again. Rows are looked for among the live holes of one drill layer, one
// tool and one step object at a time; a row of three or more hits, each
// within the nibble pitch of the next and all on one line, is replaced by a
// slot from the end hit that comes first in the drill store to the other
// end, on the same layer, with the same tool and step object. A row's ends
// are its outermost hits along its line, whatever order they were drilled
// in.
#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>

class TStepObject;

// Largest hit-to-hit distance of a row cut by a drill of the radius with
// the given cusp height (both in database units); 0 when radius <= cusp.
double NibblePitch(double radius, double cusp);

// Off-line tolerance of a row, database units (0.00056 inch).
constexpr double RowLineTolerance = 14224.0;

// Finds rows among the hits entered and hands every hit to the virtual
// reactions: a row's end hits and inner hits are deleted, each row becomes
// one slot, and hits of no row are kept.
class TExpandedSlotFinder {
 public:
  // radius of the tool and the cusp height, database units.
  TExpandedSlotFinder(double radius, double cusp);
  virtual ~TExpandedSlotFinder() = default;

  void AddHit(int32_t x, int32_t y, int32_t index);
  // Traces every row.
  void Find();
  // Reports every hit in the order entered, then forgets them.
  void Emit();
  // The rows found: the slots Emit adds.
  int32_t RowCount() const { return int32_t(Rows.size()); }

  double Pitch = 0;

 protected:
  virtual void AddSlot(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
  virtual void KeepHit(int32_t x, int32_t y, int32_t index) {}
  virtual void DeleteHit(int32_t x, int32_t y, int32_t index) = 0;

 private:
  struct THit {
    int32_t X, Y, Index;
    uint8_t Status;  // 0 keep, 1 end of a row, 3 inner hit of a row
    int32_t Row;     // for an end: the row (index into Rows)
    bool Visited;
    // The hits at the hit's place, in the order entered, are
    // PlaceHits[First, End); the hit is PlaceHits[Slot].
    int32_t Slot, First, End;
  };
  struct TLine {
    double AX, AY, UX, UY;  // a point and the unit direction
  };
  int64_t CellOf(double v) const;
  // The nearest free hit within the pitch of hit p, not at p's place; with
  // a line, only hits within the tolerance of it and beyond p along it: on
  // the side of its direction times outward (1 or -1). -1 when none.
  int32_t FindNeighbour(int32_t p, const TLine* line, double outward);
  // Sorts the hits into places, and the places into cells.
  void BuildPlaces();
  // The first hit of PlaceHits[first, end) neither visited nor in a row;
  // -1 when none.
  int32_t FirstFree(int32_t first, int32_t end);
  void Settle(int32_t h);
  TLine LineThrough(int32_t a, int32_t b) const;
  void TraceRow(int32_t s);

  double CellSize = 1;
  std::vector<THit> Hits;
  std::vector<int32_t> PlaceHits;
  // Per slot of PlaceHits: a slot at or before the next one whose hit is in
  // no row, so a place's first free hit is found at once however many hits
  // stack there.
  std::vector<int32_t> Ahead;
  std::unordered_map<uint64_t, std::vector<int32_t>> Cells;  // the first hit of each place
  std::vector<std::vector<int32_t>> Rows;  // hit positions from end to end
};

// The drill Edit menu's "Convert E&xpanded Slot to Slot": asks for the
// nibble size (Cancel stops with nothing changed) and converts every layer,
// tool and step object; one undo operation "Expanded Slot Conv.". Without
// room in the drill store for every slot found, a box says so and nothing
// is converted.
void ConvertExpandedSlots();
