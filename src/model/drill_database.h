// The drill database DRDB and its undo journal DrillUndo.
//
// DRDB owns the drill store DrillEntities (layers 30..39; slot word bit
// (layer - 30), bit 31 deleted) and the drill-side state of the job: the
// current tool, the G93 origin, the drill defaults of tape making and of the
// drill editing commands, and the pick-cycle state. Its operations are the
// primitives every drill edit uses; the edits follow the journal's rule: the
// old entity is marked deleted, a changed clone is appended, each index is
// journalled in order (RecordDelete, RecordAdd), and the caller closes the
// operation with BeginOperation.
//
// Tool numbers and layers that enter the database from outside (adds with an
// explicit tool, import tool offsets) are checked: a tool outside 1..1000 or
// a layer outside 30..39 is refused with a message and nothing changes.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/settings_families.h"
#include "model/drill_entities.h"
#include "model/tool_tables.h"
#include "model/job_database.h"
#include "model/undo_journal.h"
#include "platform/types.h"

class TDrillHandle;

constexpr uint8_t kFirstDrillLayer = 30;
constexpr uint8_t kLastDrillLayer = 39;
constexpr bool ValidDrillLayer(int32_t layer) {
  return layer >= kFirstDrillLayer && layer <= kLastDrillLayer;
}
// Slot words of the scratch entities of tape output.
constexpr uint32_t ScratchDeletedWord = 0xFFFFFFFFu;
constexpr uint32_t ScratchLiveWord = 0x7FFFFFFFu;

// Per-tool hit counts; entries 1..1000 are used.
using TToolHits = std::array<int32_t, 1001>;
// Entity counts by type: index 12..15 deleted holes, slots, circles, texts;
// 27..30 the live ones.
using TDrillStatistics = std::array<int32_t, 31>;

// Drawing of the rout origin mark in the rout and CAD modes (installed by the
// rout database): show true draws it, false erases it.
extern std::function<void(bool show)> RoutOriginMarker;


// Drill entities made ahead of the store they are meant for (a job being
// read), in slots as the store keeps them, in order; a slot may wait empty
// (nullptr) for its entity. TDrillDatabase::TakeEntities hands them to the
// store; entities still held when the batch goes are freed with it.
class TDrillEntityBatch {
 public:
  TDrillEntityBatch();
  ~TDrillEntityBatch();
  TDrillEntityBatch(TDrillEntityBatch&& other) noexcept;
  TDrillEntityBatch& operator=(TDrillEntityBatch&& other) noexcept;

  // A new empty slot at the end with the slot word (its entity to be put
  // in); nullptr when the batch holds as many as a store takes. Inline
  // while the last page has room.
  TEntitySlot* Append(uint32_t word) {
    if (Free_ == PageEnd_) return AppendOnNewPage(word);
    *Free_ = {word, nullptr};
    ++Count_;
    return Free_++;
  }
  // The slot of the index, 1..Count().
  TEntitySlot& At(int32_t index) { return *Slots_->GetSlot(index); }
  int32_t Count() const { return Count_; }

 private:
  friend class TDrillDatabase;
  TEntitySlot* AppendOnNewPage(uint32_t word);
  // Frees every entity held and empties the batch.
  void Clear();
  // The store behind the batch, whose count follows Count_ when a page is
  // added or the slots are handed over; the unused slots of the last page.
  std::unique_ptr<TDrillEntities> Slots_;
  int32_t Count_ = 0;
  TEntitySlot* Free_ = nullptr;
  TEntitySlot* PageEnd_ = nullptr;
};

// What the drill import keeps while it places imported entities.
struct TImportPlacement {
  int32_t MinX = 0, MaxX = 0, MinY = 0, MaxY = 0;
  int32_t WorkX = 0, WorkY = 0;
  int32_t FirstIndex = 0;
  uint8_t Flags = 0;
};

class TDrillDatabase : public TJobDatabase {
 public:
  // Loads the drill families ("Drilled Slots", "Drilled Circles", "Make Tape
  // Defaults", "First Last Hit Coupon Defaults", the drill format defaults
  // and "Drilled Slot Algorithm"), makes every tool active and creates the
  // store.
  TDrillDatabase();
  // Frees every entity and the store.
  ~TDrillDatabase() override;
  TDrillDatabase(const TDrillDatabase&) = delete;
  TDrillDatabase& operator=(const TDrillDatabase&) = delete;

  // ---- Virtual operations (slot order of the databases) ----
  // Removes deleted entities; indices of live ones change.
  void Compact() override;
  // Frees every entity, empties the store and the tool table, zeroes the
  // G93 origin.
  void Clear() override;
  // Deletes every live entity on the layer and compacts; the journal is
  // reset, since its indices no longer name the same entities.
  void DeleteLayer(uint8_t layer) override;
  // Entities inside (invert 0) or outside (invert 1) the window, in
  // descending index order.
  virtual bool SelectInWindow(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t invert,
                              TDrillHandle*& list, bool activeLayers);
  // The nearest entity not yet returned at this spot (see the pick cycle).
  virtual bool PickCycle(int32_t tolerance, int32_t x, int32_t y, int32_t& distance,
                         TDrillHandle*& list, bool visibleLayers);
  virtual void Redraw();
  void Redraw(uint8_t) override { Redraw(); }

  // ---- Per-index primitives (1-based store indices) ----
  TDrillEntity* EntityAt(int32_t index);  // nullptr outside 1..DrillEntityCount
  uint32_t WordAt(int32_t index);         // 0 outside 1..DrillEntityCount
  void EraseEntity(int32_t index);
  void DrawEntity(int32_t index);
  void MarkDeleted(int32_t index);
  void Undelete(int32_t index);
  // Marks a live entity deleted and journals it; false for a deleted one.
  bool DeleteEntity(int32_t index);
  bool EraseEntityImage(int32_t index);
  // Moves a live entity to the layer as a journalled delete and add.
  bool MoveToLayer(int32_t index, uint8_t layer);

  // ---- Display ----
  void ShowOriginMarker();
  void HideOriginMarker();
  // The marker on the picture unless it is hidden (no view update).
  void DrawOriginMarker();
  bool OriginMarkerHidden = false;
  void EraseAll();

  // ---- Layers and statistics ----
  bool LayerIsEmpty(uint8_t layer);
  void CollectStatistics(TDrillStatistics& counters);
  static void StatisticsBytes(const TDrillStatistics& counters, int32_t& percent,
                              int32_t& deletedBytes);

  // ---- Adds: each returns the new index, 0 when refused ----
  int32_t AddHole(int32_t x, int32_t y, bool visible);
  int32_t AddHoleOnLayer(int32_t x, int32_t y, uint8_t layer, int32_t tool, bool visible);
  int32_t AddTempHole(int32_t x, int32_t y, int32_t tool);
  int32_t AddTempHoleWithSteps(int32_t x, int32_t y, TStepObject* step, int32_t tool);
  int32_t AddSlot(int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool visible);
  int32_t AddSlotOnLayer(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t layer,
                         int32_t tool, bool visible);
  int32_t AddTempSlot(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t tool);
  int32_t AddCircle(int32_t x, int32_t y, int32_t radius, bool visible);
  int32_t AddCircleOnLayer(int32_t x, int32_t y, int32_t radius, uint8_t layer, int32_t tool,
                           bool visible);
  int32_t AddTempCircle(int32_t x, int32_t y, int32_t radius, int32_t tool);
  int32_t AddText(int32_t x, int32_t y, const std::string& text, bool vertical, bool visible);
  int32_t AddTextOnLayer(int32_t x, int32_t y, const std::string& text, bool vertical,
                         uint8_t layer, int32_t tool, bool visible);
  int32_t AddTempText(int32_t x, int32_t y, const std::string& text, bool vertical,
                      int32_t tool);

  // Appends the entity with the slot word, not journalled; 0 when the store
  // is full (the entity is then freed).
  int32_t AppendEntity(TDrillEntity* entity, uint32_t word) { return Append(entity, word, false); }
  // Appends the batch's slots (every one with its entity), in order, not
  // journalled (what a job load puts in), and leaves the batch empty: an
  // empty store takes the batch's pages as they are. When the store is
  // full, the entities left are freed and the store's message is shown
  // once. The number appended.
  int32_t TakeEntities(TDrillEntityBatch& batch);

  // After an edit of the pattern levels (old1..old3) of a step chain: every
  // drill entity whose chain holds a changed level gets the chain with the
  // new lists (a level without a list is removed). Nothing happens when no
  // change flag is set.
  void ReplaceStepLevels(bool change1, bool change2, const TEditStepLists& lists,
                         TStepObject* old3, TStepObject* old2, TStepObject* old1, bool change3);

  // ---- Replacements (journalled; the caller closes the operation) ----
  void JoinHolesIntoSlot(TDrillHandle* h1, TDrillHandle* h2);
  void HoleToSlot(TDrillHandle* h);
  void HoleToCircle(TDrillHandle* h);

  // ---- Extents and counts (boxes preset by the caller) ----
  bool ExtentsFrom(int32_t startIndex, int32_t& minX, int32_t& maxX, int32_t& minY,
                   int32_t& maxY);
  bool VisibleExtents(int32_t& minX, int32_t& minY, int32_t& maxX, int32_t& maxY,
                      bool withSteps);
  // ExtentsFrom and the hit counts (holes; hits of slots, circles and text)
  // in one walk over the entities; the counts are set only when it returns true.
  bool ExtentsAndHitsFrom(int32_t startIndex, int32_t& minX, int32_t& maxX, int32_t& minY,
                          int32_t& maxY, int32_t& holes, int32_t& others);

  // ---- Import helpers ----
  // Moves every entity from startIndex on by (dx, dy) and makes it live on
  // the layer. False (after a message naming how many) when some entities
  // would leave the database extent: those stay where they were. Placed
  // where the file put them (no move), entities past the extent stay there
  // and a message names how many.
  bool TranslateFrom(int32_t startIndex, int32_t dx, int32_t dy, uint8_t layer);
  // Makes every entity from startIndex on live and adds toolOffset (> 0) to
  // its tool. An offset that would carry a tool past 1000 is refused with a
  // message before anything changes (the entities are still made live) and
  // the result is false.
  bool ActivateFrom(int32_t startIndex, int32_t toolOffset);
  bool AnyWithoutSteps(const std::array<bool, 1001>& toolSet, uint32_t layerMask);

  // ---- Tool services (drill_tools.cpp) ----
  void HitsPerTool(TToolHits& holes, TToolHits& others);
  void ShowToolData(bool print);
  void RenumberToolsByHits();
  void RenumberToolsByHitsAscending();
  void RenumberToolsBySize();
  void RenumberToolsBySizeAscending();
  void RenumberToolsUsedFirst();
  void RenumberToolsMergeSizes();

  // ---- Picking (drill_picking.cpp) ----
  bool PickNearest(int32_t tolerance, int32_t x, int32_t y, bool activeLayers,
                   TDrillHandle*& list);
  bool SnapPoint(int32_t tolerance, int32_t x, int32_t y, bool withSteps, int32_t& sx,
                 int32_t& sy);
  void SetPickMark(const TIntPoint& point, bool multiple);
  void ShowPickMarks();
  void RemovePickMarks();
  void CancelPick();
  void CheckPickMoved(int32_t x, int32_t y);

  // ---- State ----
  uint16_t CurrentTool = 1;
  TMakeTapeDefaults MakeTapeDefaults;
  TSlotAlgorithmSettings SlotAlgorithm;
  TFirstLastHitDefaults FirstLastHitDefaults;
  std::array<int32_t, 3> TapeWork{};
  int32_t G93OriginX = 0;
  int32_t G93OriginY = 0;
  TDrilledSlotSettings DrilledSlots;
  int32_t DrilledCircleRadius = DefaultDrilledCircleRadius;
  bool PickMarkPending = false;
  bool PickMarkMultiple = false;
  bool PickMarkShown = false;
  bool MultipleNoticeShown = false;
  bool MainPartSet = false;
  TImportPlacement ImportPlacement;
  uint16_t PickCount = 0;
  std::array<int32_t, 1001> PickList{};  // entries 1..1000
  bool LastPickMultiple = false;
  int32_t LastPickX = 2147483647;
  int32_t LastPickY = 2147483647;
  int32_t PickMarkX = 0;
  int32_t PickMarkY = 0;

 private:
  // Appends the entity with the word; journals it when asked. nullptr entity
  // or a full store: 0 (the entity is freed).
  int32_t Append(TDrillEntity* entity, uint32_t word, bool journal);
  int32_t AddEntity(TDrillEntity* entity, uint8_t layer, bool visible, bool setActive);
  int32_t AddTemp(TDrillEntity* entity, int32_t tool);
  void ReplaceWith(TDrillHandle* h, TDrillEntity* created);
  void ExtendEntity(TDrillEntity* e, bool withSteps, TIntPoint& mn, TIntPoint& mx);
  void WidenByLargestTool(TIntPoint& mn, TIntPoint& mx);
  void Renumber(const std::array<int32_t, 1001>& newNo);
  // Renumbers tools 1..995 in the order of a key computed per tool from its
  // hit count, its diameter and whether it is used.
  void RenumberByKey(bool largestFirst,
                     const std::function<int64_t(int64_t hits, int64_t diameter, bool used)>& keyOf);
};

// Checks a tool number and a drill layer where they enter the database;
// false after an error box.
bool CheckDrillTool(int32_t tool);
bool CheckDrillLayer(int32_t layer);

class TDrillUndo : public TUndoJournal {
 public:
  // The journal's Reset, then the kept main-part settings are dropped.
  void Reset() override;
  void Undo() override;
  void Redo() override;
  // Journals DRDB's main-part flag and G93 origin as an import has just set
  // them, with the values they had before, so that Undo and Redo of the
  // import's step take them back and forth with its entities.
  void RecordMainPart(bool wasSet, int32_t oldX, int32_t oldY);
  // Journals the record and active flag of a drill tool as an import has
  // just set them, with the values they had before. Undo and Redo of the
  // step put them back and forth, each only while the tool still holds what
  // the step left (a tool edited since keeps the edit).
  void RecordTool(int32_t tool, const TToolRecord& before, bool activeBefore);

 protected:
  void EraseEntity(int32_t index) override;
  void DrawEntity(int32_t index) override;
  void DeleteEntity(int32_t index) override;
  void UndeleteEntity(int32_t index) override;
  // index: the kept settings' entry; flag: what was changed.
  void UndoChange(int32_t index, uint8_t flag) override;
  void RedoChange(int32_t index, uint8_t flag) override;

 private:
  struct TMainPartChange {
    bool WasSet = false, IsSet = false;
    int32_t OldX = 0, OldY = 0, NewX = 0, NewY = 0;
  };
  std::vector<TMainPartChange> MainPartChanges_;
  struct TToolChange {
    int32_t Tool = 0;
    TToolRecord Before, After;
    bool ActiveBefore = false, ActiveAfter = false;
  };
  std::vector<TToolChange> ToolChanges_;
};

extern TDrillDatabase* DRDB;
extern TDrillUndo* DrillUndo;

// The paint box (target) and the same area of the picture at the view's
// top-left (source), for copying the picture to the view during long walks.
void DrillViewRects(TRect& source, TRect& target);

// Sets DBBitmap's pen for erasing: background colour, copy mode, solid.
void SetErasePen();
