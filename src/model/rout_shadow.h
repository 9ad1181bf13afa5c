// The display records of rout entities: one drawable piece of an entity's
// compensated geometry (a cut segment, a head-up move, a hole, a path number,
// a violation mark) for the entity itself or one of its step copies.
//
// Records form a singly linked chain hung on the entity (TRoutEntity::Shadow),
// newest first. The chain routines are called on the first record and walk to
// the end; each sets no pen of its own except the styles its rules name, so
// the entity chooses colour and mode before the call. Walks are loops, so a
// chain of any length needs no stack.
//
// The tool diameter of a record is the diameter of tool `Tool` in the rout
// tool page of layer `Layer`; a tool outside 1..1000 (or a layer outside
// 40..44) has none, and its record is drawn with diameter 0 (the centre line).
#pragma once
#include <cstddef>
#include <cstdint>

#include "foundation/geometry.h"
#include "model/entity_store.h"
#include "platform/types.h"

class TDrawingBase;

// Record kinds.
enum : uint8_t {
  rsHeadUpMove = 0,     // A to B, head up
  rsLine = 1,           // A to B (head up when HeadUp)
  rsArc = 2,            // A to B about C
  rsHole = 3,           // at A, tool diameter
  rsSequenceNumber = 4, // the number Tool at A
  rsFullCircle = 5,     // centre A, radius B.X
  rsViolationMark = 6,  // at A, size B.X
};

// Where the rout-to-CAD conversion puts what PushChain hands it (the CAD
// side of the conversion installs it).
class TRoutCadTarget {
 public:
  virtual ~TRoutCadTarget() = default;
  virtual void AddCadHeadUpMove(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
  virtual void AddCadSequenceNumber(int32_t x, int32_t y, int32_t n) = 0;
  virtual void AddCadRoutLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                              int32_t diameter) = 0;
  // turn: the record's Turn (+1 counter-clockwise, -1 clockwise, 0 the
  // shorter way round).
  virtual void AddCadRoutArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t cx,
                             int32_t cy, int32_t diameter, int8_t turn) = 0;
  virtual void AddCadHoleCircle(int32_t x, int32_t y, int32_t diameter) = 0;
};
// Installs the conversion target (not owned); nullptr removes it. Returns the
// one installed before. While none is installed, Push converts nothing.
TRoutCadTarget* SetRoutCadTarget(TRoutCadTarget* target);
TRoutCadTarget* RoutCadTarget();

// Set while a redraw rebuilds every layer's records and then draws every
// chain again on the surface the records are made on, in a copy pen. A hole
// or circle record paints the same pixels both times, so whoever draws
// records as it makes them may leave those out meanwhile (a cut is still
// drawn: its ends may open when the next cut is made).
extern bool RoutShapesDrawnAgain;

class TRoutShadow {
 public:
  // Arguments in record order; Next := nullptr.
  TRoutShadow(const TIntPoint& a, const TIntPoint& b, const TIntPoint& c, bool headUp,
              int32_t tool, uint8_t kind, bool isCopy, int32_t copyNumber, uint8_t layer,
              uint16_t feedRate, int32_t zOffset);
  virtual ~TRoutShadow() = default;
  // Records come by the hundred thousand at each redraw: they are carved
  // from shared blocks (model/slot_pool.h), wherever they are made or deleted.
  static void* operator new(std::size_t size);
  static void operator delete(void* p, std::size_t size) noexcept;
  TRoutShadow(const TRoutShadow&) = delete;
  TRoutShadow& operator=(const TRoutShadow&) = delete;

  // The largest copy number from this record to the end of the chain.
  virtual int32_t MaxCopyNumber() const;
  // Snap to the compensated path: the nearest end point (A, and B of lines
  // and arcs) in the box from this record on, stopping at the first head-up
  // move, path number or violation mark. Protocol of the rout entities:
  // on a take (outX, outY) and the box change; the result is the best
  // distance so far (best itself when nothing was nearer).
  virtual int32_t NearestEndPoint(TIntBox& box, int32_t best, int32_t pickX, int32_t pickY,
                                  int32_t& outX, int32_t& outY);

  // ---- Chain walks ----
  // The picture on the current surface (screen, plot or print) by the view
  // toggles; step copies dotted while DisplayStepsDashed is on.
  void DrawChain();
  // The highlight on the screen picture in the caller's dotted pen.
  void HighlightChain();
  // Every record in the caller's (background) pen, toggles ignored except
  // for path numbers and violation marks.
  void EraseChain();
  // The records of copy n by the DrawChain rules; true when one was drawn.
  bool DrawCopy(int32_t copyNumber);
  // The records of copy n in the caller's (background) pen, no toggles.
  void UndrawCopy(int32_t copyNumber);
  // The chain as CAD geometry through the installed conversion target.
  void PushChain();
  // False while DisplayStepsDashed is off; else true when a record from
  // here on belongs to copy n.
  bool HasCopy(int32_t copyNumber) const;

  // One record by the DrawChain rules on the surface (used by the chain
  // walks and by the compensator that draws records as it makes them).
  void DrawRecord(TDrawingBase& surface);
  // True when the record is a hole or circle and RoutShapesDrawnAgain is set.
  bool DrawnAgainLater() const {
    return RoutShapesDrawnAgain && (Kind == rsHole || Kind == rsFullCircle);
  }
  // How far the point lies outside the cuts of this chain drawn at their
  // tool's width (0 inside one); step copies and head-up moves left out.
  // RoutNotNear when no cut comes within limit of the point.
  int32_t KerfDistance(int32_t pickX, int32_t pickY, int32_t limit) const;
  // The record's tool diameter; 0 when the tool or layer has no table entry.
  int32_t ToolDiameter() const;
  // Records from here to the end of the chain.
  int32_t ChainLength() const;

  TRoutShadow* Next = nullptr;
  TIntPoint A;
  TIntPoint B;
  TIntPoint C;
  uint8_t Kind;
  int32_t CopyNumber;
  int32_t Tool;
  uint8_t Layer;
  bool HeadUp;
  bool IsCopy;
  uint16_t FeedRate;
  int32_t ZOffset;
  // Arcs: +1 counter-clockwise, -1 clockwise from A to B; 0 when unknown
  // (the picture then takes the shorter way round).
  int8_t Turn = 0;
  // Cuts: the ends where the cut before or after runs on smoothly (bit 1 at
  // A, bit 2 at B); the outline of the kerf is drawn through them.
  uint8_t OpenEnds = 0;

 private:
  enum TPass { psDraw, psHighlight, psErase, psUndraw };
  void PaintRecord(TDrawingBase& surface, TPass pass);
  void MarkStale(TDrawingBase& surface) const;
};
