// The CAD database DB: the drawing of layers 0 to 29 in EntityArray with its
// count CadEntityCount, and every operation through which the rest of the
// program changes or queries it: adds, per-index draw/erase/delete/undelete
// for the undo journal, picking and snapping, window selection, extents and
// zoom to extents, the redraw of the screen picture, compaction, clearing and
// the type statistics.
//
// Adds journal themselves (RecordAdd on ActiveUndo); the caller closes the
// operation with BeginOperation. Compact and Clear renumber or empty the
// store and therefore reset CadUndo: no stale index is ever replayed.
#pragma once
#include <array>
#include <cstdint>
#include <functional>

#include "foundation/geometry.h"
#include "model/cad_entities.h"
#include "model/entity_store.h"
#include "model/job_database.h"
#include "platform/types.h"

class TRootEntityHandle;

// Counter t (1..15) counts deleted entities of type code t, counter t + 15
// the live ones; counter 0 stays 0.
using TCadStatistics = std::array<int32_t, 31>;

// A line whose ends differ by less than this in X and in Y is stored as a
// point.
constexpr int32_t PointThreshold = 500;
// The smallest side of the rectangle that zoom to extents zooms to.
constexpr int32_t MinimumZoomSide = 254000;

// The extents of the rout and drill databases for zoom to extents (with step
// copies): installed by those databases; they widen the pair and answer
// whether they saw anything.
using TExtentsFunction = std::function<bool(TIntPoint& min, TIntPoint& max)>;
extern TExtentsFunction RoutZoomExtents;
extern TExtentsFunction DrillZoomExtents;

class TCadDatabase : public TJobDatabase {
 public:
  // Creates EntityArray (empty), puts the built-in CAD input format into
  // CadInputFormat and loads the stored one over it.
  TCadDatabase();
  // Disposes the entities and destroys EntityArray.
  ~TCadDatabase() override;
  TCadDatabase(const TCadDatabase&) = delete;
  TCadDatabase& operator=(const TCadDatabase&) = delete;

  // Drops deleted slots and renumbers the rest (please-wait box), then
  // resets CadUndo when any slot was dropped.
  void Compact() override;
  // Disposes every entity, empties the store, resets CadUndo.
  void Clear() override;
  // Erases and marks deleted every slot carrying the layer's bit; not
  // journalled.
  void DeleteLayer(uint8_t layer) override;
  // Handles (highest index first) of the live entities on the active
  // layers (allActive) or the current layer that answer InsideWindow (box,
  // mode); false when none.
  virtual bool SelectInWindow(const TIntPoint& corner1, const TIntPoint& corner2, bool allActive,
                              uint8_t mode, TRootEntityHandle*& list);
  // The entity nearest to (x, y) within the half-size h (the lower index on
  // equal distances): a new handle and its distance; false, no handle and
  // 2147483647 when nothing is near.
  virtual bool PickNearest(int32_t h, int32_t x, int32_t y, bool allActive,
                           TRootEntityHandle*& handle, int32_t& distance);
  // The CAD part of a view refresh: every displayed entity in the picture's
  // world window, the current layer last, construction marks on top.
  virtual void Redraw();
  void Redraw(uint8_t) override { Redraw(); }
  // Every displayed entity through Draw; no window test, no view copies.
  virtual void DrawAll();
  // Has the view paint the layer's displayed entities again, in redraw
  // order, when it next shows the picture (the current layer lies over the
  // others).
  void RepaintLayer(uint8_t layer);

  // ---- Per-index primitives (indices above CadEntityCount are ignored) ----
  void DrawEntity(int32_t index);
  void EraseEntity(int32_t index);
  void MarkDeleted(int32_t index);
  void Undelete(int32_t index);

  // ---- Adds: draw the entity and RecordAdd on ActiveUndo. The result is
  // the new index; 0 when the store is full (reported in a box) or the
  // layer is not a CAD layer. ----
  int32_t AddPoint(int32_t x, int32_t y);
  int32_t AddPointOnLayer(int32_t x, int32_t y, uint8_t layer);
  // A point at the first end when the ends differ by less than 500 in X and Y.
  int32_t AddLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  int32_t AddLineOnLayer(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t layer);
  // The arc through three points; a line from start to end when collinear.
  int32_t AddArcThroughPoints(const TIntPoint& start, const TIntPoint& middle,
                              const TIntPoint& end);
  int32_t AddArc(const TIntPoint& start, const TIntPoint& end, const TIntPoint& centre);
  int32_t AddArcOnLayer(const TIntPoint& start, const TIntPoint& end, const TIntPoint& centre,
                        uint8_t layer);
  int32_t AddCircleThroughPoint(const TIntPoint& centre, const TIntPoint& point);
  int32_t AddCircleThroughPointOnLayer(const TIntPoint& centre, const TIntPoint& point,
                                       uint8_t layer);
  int32_t AddCircle(int32_t x, int32_t y, int32_t radius);
  int32_t AddCircleOnLayer(int32_t x, int32_t y, int32_t radius, uint8_t layer);

  // ---- Loading a job: neither drawn nor journalled ----
  // Appends the entity on the layer; the new index, 0 (the entity freed)
  // when refused as an add is.
  int32_t AppendEntity(TCadEntity* entity, uint8_t layer);
  // The entity AddLineOnLayer adds for the ends.
  static TCadEntity* NewLineOrPoint(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

  // ---- Queries ----
  // True when no slot carries the layer's bit (deleted slots count).
  bool LayerIsEmpty(uint8_t layer);
  // Widens the pair (started with InitExtents) by every displayed entity;
  // true when one was seen.
  bool GetExtents(TIntPoint& min, TIntPoint& max);
  // Zooms to the extents of the three databases; nothing (false) when all
  // are empty.
  bool ZoomExtents();
  // Snap to the nearest defining point of a displayed entity within h:
  // true with the point, else false with (x, y).
  bool FindNearestPoint(int32_t x, int32_t y, int32_t h, int32_t& px, int32_t& py);
  // The last live line on the layer with these ends in either order; 0 when
  // none.
  int32_t FindLineSlot(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t layer);
  // The same on CurrentLayer as a new TCadHandle; nullptr when none.
  TRootEntityHandle* FindLineByEnds(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // Window selection for a stretch on the active layers: entities answering
  // InsideWindow (box, mode) go to the inside list, lines with exactly one
  // end inside to the crossing list as stretch handles.
  bool SelectInWindowForStretch(const TIntPoint& corner1, const TIntPoint& corner2, uint8_t mode,
                                TRootEntityHandle*& inside, TRootEntityHandle*& crossing);

  // ---- Edit replacements (trim, break, fillet) ----
  // When the handled entity is on CurrentLayer: erase it if asked, delete
  // it (journalled) and add the line A-B (rounded).
  void ReplaceWithLine(TRootEntityHandle* handle, const TRealPoint& a, const TRealPoint& b,
                       bool eraseFirst);
  // The same deletion, then a point at C when P3 lies on C, a circle about
  // C (mean radius) when P2 lies on P3, else the arc from P2 to P3 about C;
  // coordinates rounded.
  void ReplaceEntity(TRootEntityHandle* handle, bool eraseFirst, const TRealPoint& c,
                     const TRealPoint& p2, const TRealPoint& p3);

  // ---- Statistics ----
  TCadStatistics CountByType();
  // deletedBytes: 16 / 24 / 32 / 20 per deleted point / line / arc / circle;
  // percent of the bytes of all CAD entities, rounded.
  void EstimateMemory(const TCadStatistics& statistics, int32_t& percent, int32_t& deletedBytes);
  // The "Drawing Statistics" report of a clean-up.
  void ShowStatistics(bool partial, const TCadStatistics& before);
  // The Clean Up Drawing command ("&Automatic Cleanup" of the CAD mode).
  void CleanUp();

  // ---- View helpers ----
  // target: the paint box; source: the same size in the picture, at the
  // view's top-left.
  void GetViewRects(TRect& source, TRect& target);
  void CopyPictureToView(const TRect& source, const TRect& target);

  // The entity of a slot index (1..CadEntityCount), else nullptr.
  TCadEntity* EntityAt(int32_t index);
  // The slot of an index in use, else nullptr.
  TEntitySlot* SlotAt(int32_t index);

 private:
  int32_t AddEntity(TCadEntity* entity, uint8_t layer);
};

// Copies the picture to the view every 1,000 entities drawn, so long walks
// show progress.
class TProgressiveCopy {
 public:
  TProgressiveCopy(int32_t start, const TRect& source, const TRect& target)
      : Counter(start), Source(source), Target(target) {}
  void Tick();
  int32_t Counter;
  TRect Source, Target;
};

extern TCadDatabase* DB;
