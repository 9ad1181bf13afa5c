// The rout database RTDB: the rout layers 40 to 44 of the job in the rout
// store RoutEntities (count RoutEntityCount), cut in the order the sequence
// store Seq keeps per layer. Every rout walk (drawing, picking, extents,
// lengths) follows Seq, never the store's slot order.
//
// It offers selection by window and picking (lists of TRoutHandle, owned by
// the caller), the redraw of the rout layers with their compensated display
// and step-and-repeat copies, extents, path lengths, statistics, compaction,
// clearing, the per-index callbacks of RoutUndo, the per-layer path state
// that the edit primitives continue, the creating operations and single-step
// play (implemented in rout_edit.cpp), and the settings records of the
// automatic rout generators.
//
// Creating an entity takes these steps in this order: the slot count rises by
// one, RoutUndo records the add, Seq inserts the handle at the layer's
// insertion point, the slot word becomes the layer bit, the entity is made.
// Compact, Clear and DeleteLayer renumber or empty the store or a sequence,
// so they reset RoutUndo: no stale index is ever replayed.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/geometry.h"
#include "foundation/settings_families.h"
#include "model/entity_store.h"
#include "model/job_database.h"
#include "model/model_services.h"
#include "model/rout_edit.h"
#include "model/rout_entities.h"
#include "model/rout_sequence.h"
#include "model/step_repeat.h"
#include "model/tool_tables.h"

class TRootEntityHandle;

// Handle value meaning "no entity changed" for the change tracking.
constexpr int32_t kNoChangedHandle = 2147483647;

// Counter t (5..11) counts deleted rout entities of type t, counter t + 15
// the live ones; the others stay 0.
using TRoutStatistics = std::array<int32_t, 31>;
// Length cut per rout layer (40..44) and tool (1..1000), in database units.
using TPathLengthTable = TIndexedArray<TIndexedArray<double, 1, kToolCount>, kFirstRoutLayer, 5>;

// Where the next path entity of a layer starts and which tool and
// compensation index its path uses.
struct TRoutPathState {
  int32_t LastX = 0;
  int32_t LastY = 0;
  int32_t Tool = 0;
  int32_t CompIndex = 0;
  bool operator==(const TRoutPathState&) const = default;
};

// One entity of one copy in the single-step play list.
struct TPlayNode {
  int32_t Handle = 0;
  bool PathStart = false;
  int32_t CopyNumber = 1;
};

// One level of a step object as the Edit Steps dialog changed it: the level's
// object in the chain and its new command list (Removed: the level goes).
struct TStepLevelEdit {
  TStepObject* Target = nullptr;
  bool Changed = false;
  bool Removed = false;
  TStepCommandList Commands;
};
using TStepLevelEdits = std::array<TStepLevelEdit, 3>;

class TRoutDatabase : public TJobDatabase, public TSequenceHost {
 public:
  // Creates RoutEntities (empty), sets the settings records and the two rout
  // format records to their built-in values and loads the stored ones over
  // them.
  TRoutDatabase();
  // Frees every entity and the store and saves the auto rout compensation.
  // It neither re-creates Seq nor reloads tool pages.
  ~TRoutDatabase() override;
  TRoutDatabase(const TRoutDatabase&) = delete;
  TRoutDatabase& operator=(const TRoutDatabase&) = delete;

  // Drops deleted slots and renumbers the rest (Seq follows), then resets
  // RoutUndo when any slot was dropped.
  void Compact() override;
  // Frees every entity, empties the store, re-creates Seq, sets every rout
  // layer's tool and compensation index to 1, reloads DefaultToolFile into
  // each rout tool page, zeroes the path state and the G93 origins, ends
  // single-step play and resets RoutUndo.
  void Clear() override;
  // Marks deleted every entity of the layer, empties its sequence, zeroes its
  // path state and G93 origin and resets RoutUndo. The slots stay until the
  // next Compact, so a failed replacement import can take them back.
  void DeleteLayer(uint8_t layer) override;
  // The same without resetting RoutUndo: for a replacement that may fail and
  // then leaves the layer and its undo history as they were.
  void EmptyLayer(uint8_t layer);
  // Whole paths of the active rout layers (allLayers) or of the current layer
  // lying inside the window (mode 0) or wholly outside it (mode 1); false
  // when none.
  virtual bool SelectInWindow(const TIntPoint& corner1, const TIntPoint& corner2, bool allLayers,
                              TRootEntityHandle*& list, uint8_t mode);
  // The active entity nearest the point within the tolerance: one handle and
  // its distance; false, nullptr and RoutNotNear when none.
  virtual bool PickNearest(int32_t tolerance, const TIntPoint& point, bool allLayers,
                           TRootEntityHandle*& list, int32_t& distance);
  // The compensated display and step copies of every layer, the layers, and
  // the end of a running single-step play.
  void Redraw(uint8_t flag) override;

  // ---- Selection and picking ----
  bool SelectPathsInWindow(const TIntPoint& corner1, const TIntPoint& corner2,
                           TRootEntityHandle*& list);
  // Every handle of the picked entity's path, in sequence order.
  bool PickPath(int32_t tolerance, const TIntPoint& point, bool allLayers,
                TRootEntityHandle*& list);
  // Every handle of the path the start (a jog or circle) begins, in
  // sequence order; false when start is 0.
  bool ListPath(int32_t start, TRootEntityHandle*& list);
  // The active entity before the picked one, the picked one, the one after.
  bool PickEntity(int32_t tolerance, const TIntPoint& point, TRootEntityHandle*& list);
  // The entity whose defining point is nearest.
  bool PickByPoint(int32_t tolerance, const TIntPoint& point, TRootEntityHandle*& list);
  // The same, with the active entity after it.
  bool PickPathByPoint(int32_t tolerance, const TIntPoint& point, TRootEntityHandle*& list);
  // The last active path entity of the layer whose point equals the point.
  bool FindEntityAt(const TIntPoint& point, uint8_t layer, int32_t& handle);
  // Snap to the nearest defining point (mode: use the display chain); false
  // with the point itself when none is in range.
  bool FindNearestPoint(int32_t tolerance, const TIntPoint& point, uint8_t mode,
                        TIntPoint& out);

  // ---- Drawing (nothing while drawing is suspended) ----
  void DrawLayers();
  void DrawLayer(uint8_t layer);
  // From the handle (0: the current layer's first visible entity) to the end
  // of its layer.
  void DrawFrom(int32_t handle);
  void DrawPath(int32_t handle);
  void ErasePath(int32_t handle);
  void ErasePathStarts(uint8_t layer);
  void DrawPathStarts(uint8_t layer);
  void EraseLayer(uint8_t layer);
  // Rebuilds and draws the compensated display of the layer's entities and
  // their step copies; the report record is handed to the compensator.
  void DrawStepRepeats(uint8_t layer, TGougeReport& report);
  void DrawStepRepeats(uint8_t layer);
  void DrawAllStepRepeats(uint8_t flag);
  void DrawCurrentLayer(int32_t handle);
  void DrawG93Origin();
  void EraseG93Origin();
  void SuspendDrawing();
  void ResumeDrawing();

  // ---- Queries ----
  // The box of the displayed entities' points (with their step copies and
  // half the largest rout tool when withSteps); false, box untouched, when
  // none was counted.
  bool GetExtents(TIntBox& box, bool withSteps);
  void PathLengths(TPathLengthTable& table);
  // Shows the please-wait box while it counts.
  void CollectStatistics(TRoutStatistics& counters);
  static int32_t Distance(const TIntPoint& a, const TIntPoint& b);

  // ---- Per-index operations (indices beyond RoutEntityCount are ignored) ----
  void DeleteEntity(int32_t handle);
  void UndeleteEntity(int32_t handle);
  void MarkPathChanged(int32_t handle);
  void MarkEntityChanged(int32_t handle);
  // Brings the layer the marks hold up to date when it is not the handle's.
  void KeepChangesToOneLayer(int32_t handle);
  // The drawing part of UpdateChangedPath: the marked layer's paths worked
  // out and drawn again, the marks cleared.
  void DrawChangedPaths();
  void EraseEntity(int32_t handle);
  void DrawEntity(int32_t handle);
  // Redraws from the first changed path or entity to the end of its layer,
  // clears the change tracking and sets the current layer's path state from
  // the entity before the insertion point.
  void UpdateChangedPath();
  // The layer's path state as its insertion point stands: at the start,
  // none; else the point, tool and cutter of the entity before it.
  void PathStateFromSequence(uint8_t layer);
  // The path entity after the handle, when an arc, becomes a line to its end
  // point (journalled); any other following entity is only erased.
  void ReplaceNextArcByLine(int32_t handle);
  // Rebuilds the step object of every path start whose chain holds a
  // changed level (levels applied outermost first); replaced objects no
  // longer used are freed; every layer is erased first, then Redraw(0).
  void ReplaceStepLevels(const TStepLevelEdits& edits);
  // The path state's last point of the layer (the sequence store's host).
  void SetLastPoint(int32_t x, int32_t y, uint8_t layer) override;
  // Journals a saved layer sequence in RoutUndo.
  void RecordSequenceSave(int32_t count, uint8_t layer) override;

  // ---- Layer-addressed adds (no drawing, no path state); the new handle, 0
  // when the store is full ----
  int32_t AddHole(const TIntPoint& point, uint8_t layer, int32_t tool);
  int32_t AddJog(const TIntPoint& point, uint8_t layer, uint8_t compSide, int32_t tool,
                 int32_t compIndex);
  int32_t AddLine(const TIntPoint& point, uint8_t layer, uint16_t feed, int32_t zOffset);
  // Type 8 (clockwise) when clockwise, else 7.
  int32_t AddArc(const TIntPoint& end, uint8_t layer, uint16_t feed, bool clockwise,
                 const TIntPoint& centre, int32_t zOffset);
  int32_t AddCircle(const TIntPoint& centre, uint8_t layer, int32_t tool, uint16_t feed,
                    int32_t compIndex, int32_t radius, bool g32, int32_t zOffset);

  // ---- Current-layer path primitives ----
  void AppendJog(const TIntPoint& point);
  // At the first (end 0) or second (end 1) point of a drawing entity.
  void AppendJogComp(TRootEntityHandle* entity, uint8_t end);
  void AppendLine(const TIntPoint& end, uint16_t feed, int32_t zOffset);
  // As AppendLine without advancing the insertion point; the last point is
  // restored afterwards. Creates nothing when no path entity precedes the
  // insertion point.
  void InsertLine(const TIntPoint& end, uint16_t feed, int32_t zOffset);
  // One or more arc pieces from the last point to end about centre.
  void AppendArc(const TIntPoint& end, const TIntPoint& centre, uint16_t feed, int32_t zOffset,
                 bool clockwise);
  void AddCircleAndDraw(const TIntPoint& centre, const TIntPoint& onCircle, uint16_t feed);
  void AddHoleAndDraw(const TIntPoint& point);
  int32_t AddCommand(const TIntPoint& point, const std::string& text, uint8_t holdOff);
  void AddLineSegment(const TIntPoint& first, const TIntPoint& second, bool redraw,
                      int32_t zOffset, uint16_t feed);
  void InsertLineSegment(const TIntPoint& end, bool redraw, uint16_t feed, int32_t zOffset);
  void AddArcSegment(const TIntPoint& start, bool redraw, const TIntPoint& end, bool clockwise,
                     uint16_t feed, int32_t zOffset, const TIntPoint& centre);
  void AddArcChords(const TIntPoint& start, const TIntPoint& end, const TIntPoint& centre,
                    bool clockwise, uint16_t feed, int32_t zOffset);
  void InsertArcChords(const TIntPoint& end, const TIntPoint& centre, bool clockwise,
                       uint16_t feed, int32_t zOffset);
  void InsertArcSegment(const TIntPoint& end, const TIntPoint& centre, bool clockwise,
                        uint16_t feed, int32_t zOffset, bool redraw);
  // The arc from the last point to end as chords (lines), never as arcs.
  void AppendRealArc(const TRealPoint& centre, const TRealPoint& start, const TRealPoint& end,
                     bool clockwise, uint16_t feed, int32_t zOffset);

  // ---- Single-step play ----
  void StartSingleStep();
  void StepForward();
  void StepForwardPath();
  void StepBack();
  void StepBackPath();
  void EndSingleStep();
  void ToggleAnimate();
  void SingleStepEdit();
  std::vector<TPlayNode> BuildPlayList(uint8_t layer);

  // The path entity before / after the handle in its layer's sequence; 0
  // when none.
  int32_t PathEntityBefore(int32_t handle);
  int32_t PathEntityAfter(int32_t handle);

  // ---- Store access ----
  // The entity of a handle in use, else nullptr.
  TRoutEntity* EntityAt(int32_t handle);
  TEntitySlot* SlotAt(int32_t handle);

  // ---- Fields ----
  uint8_t AutoRoutCompensation = DefaultCompensation;
  uint8_t JogAppended = 0;
  uint8_t SingleStepActive = 0;
  uint8_t Animate = 0;
  TAutoTabSettings AutoTab;
  TAutoStepRepeatSettings AutoStepRepeat;
  TAutoRoutSettings AutoRout;
  TIndexedArray<TIntPoint, kFirstRoutLayer, 5> G93Origins;
  bool PocketDusting = DefaultPocketDusting;
  TFullPanelInlineRout FullPanelInline;
  TIndexedArray<TRoutPathState, kFirstRoutLayer, 5> PathState;
  uint8_t EntityChanged = 0;
  int32_t FirstChangedEntity = kNoChangedHandle;
  uint8_t PathChanged = 0;
  int32_t FirstChangedPath = kNoChangedHandle;
  std::vector<TPlayNode> PlayList;
  int32_t PlayCursor = -1;  // index into PlayList, -1 when none
  uint8_t PlayedLayer = 0;
  TPromptLines SavedPrompt;
  uint8_t DrawingEnabled = 1;

 private:
  // The common creation steps; the new handle, 0 when the store is full.
  // The entity is made by make(layer) after the slot is set up.
  template <class TMake>
  int32_t CreateEntity(uint8_t layer, TMake make, bool keepInsertPoint = false);
  void FreeAllEntities();
  void ResetJournal();
  // The pick walk: the best entity's handle and distance, 0 when none.
  int32_t PickWalk(int32_t tolerance, const TIntPoint& point, bool allLayers, bool byPoint,
                   int32_t& distance);
  void InsertLineOn(uint8_t layer, const TIntPoint& end, uint16_t feed, int32_t zOffset);
  void AppendLineOn(uint8_t layer, const TIntPoint& end, uint16_t feed, int32_t zOffset);
  // The insert forms' common start and end around the appended piece.
  int32_t InsertSegmentBegin(int32_t& next);
  void InsertSegmentEnd(int32_t before, int32_t next, bool redraw);
  void RedrawAfterAdd(int32_t from, bool redraw);
  bool DrawPlayNode(const TPlayNode& node);
  bool UndrawPlayNode(const TPlayNode& node);
};

extern TRoutDatabase* RTDB;

// Where the operator goes on drawing, kept across a command that adds
// entities elsewhere in the cut order (a tab, a step command, a window edit):
// each rout layer's insertion point goes back before the handle it stood
// before (or to the end), and the layer's path state, which the drawing
// primitives continue, comes back with it where the same entry still stands
// before that point; elsewhere it is taken from the entry now before it.
class TKeptInsertPoints {
 public:
  TKeptInsertPoints();
  ~TKeptInsertPoints();
  TKeptInsertPoints(const TKeptInsertPoints&) = delete;
  TKeptInsertPoints& operator=(const TKeptInsertPoints&) = delete;

 private:
  struct TKept {
    int32_t Anchor = 0;  // the handle at the insertion point; 0 at the end
    int32_t Before = 0;  // the handle before it; 0 at the start
    TRoutPathState State;
  };
  std::array<TKept, kLastRoutLayer - kFirstRoutLayer + 1> Kept_{};
};
