// The rout selection handles, their step-and-repeat commands, and RoutUndo.
//
// A rout selection is a linked list of TRoutHandle, one per selected rout
// entity, as the pickers and window selection of RTDB return it. Every list
// operation is called on the first handle. Edits never change an entity in
// place: the source is marked deleted and a clone is added after it in the
// cut sequence, journalled (RecordDelete, RecordAdd) in RoutUndo; the step
// commands close their own undo step, the others leave BeginOperation to the
// caller.
//
// A step object belongs to the start of a path (jog, circle or hole); the
// whole path is stepped with it. Chains nest at most three levels deep.
//
// RoutUndo replays its records through RTDB, and its change records restore
// whole layer sequences from the sequence logs of Seq.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "model/root_entity.h"
#include "model/rout_database.h"
#include "model/step_repeat.h"
#include "model/undo_journal.h"

// The undo step names of the step commands (20 characters at most).
inline constexpr const char* kAutoStepName = "Auto Step && Repeat";
inline constexpr const char* kCreateStepName = "Create Step && Repea";
inline constexpr const char* kDeleteStepName = "Delete Step && Repea";
inline constexpr const char* kAddToStepName = "Add To Step && Repea";
inline constexpr const char* kExpandStepName = "Expand Step && Repea";

// The drill database's part of an edited step pattern: the same level
// changes applied to the drill entities. Installed by the drill side.
using TDrillStepLevelsHook = std::function<void(const TStepLevelEdits& edits)>;
void SetDrillStepLevelsHook(TDrillStepLevelsHook hook);
// The step object of a drill entity (CrossCopyStepList); installed by the
// drill side, none by default.
using TDrillStepObjectHook = std::function<TStepObject*(int32_t index)>;
void SetDrillStepObjectHook(TDrillStepObjectHook hook);

class TRoutUndo : public TUndoJournal {
 public:
  // The journal's Reset, then the sequence logs are emptied.
  void Reset() override;
  // The journal's Undo / Redo, then RTDB redraws what changed.
  void Undo() override;
  void Redo() override;

 protected:
  void EraseEntity(int32_t index) override;
  void DrawEntity(int32_t index) override;
  void DeleteEntity(int32_t index) override;
  void UndeleteEntity(int32_t index) override;
  // count: the saved sequence's length; flag: its layer.
  void UndoChange(int32_t count, uint8_t layer) override;
  void RedoChange(int32_t count, uint8_t layer) override;
};

extern TRoutUndo* RoutUndo;

class TRoutHandle : public TRootEntityHandle {
 public:
  explicit TRoutHandle(int32_t index, bool asLine = false, bool include = true)
      : TRootEntityHandle(index), AsLine(asLine), Include(include) {}

  uint8_t GetKind() override { return 2; }
  // Every listed entity highlighted: red when as-line, else in the colour.
  void DrawListColour(TColor colour) override;
  // Every displayed listed entity in the layer of the first handle.
  void DrawList() override;
  void EraseList() override;
  // Path-aware deletion (journalled); a layer keeps a path start.
  void DeleteList() override;
  // Moves or copies the included handles of active layers (as-line handles
  // as lines); an entity whose transform is refused stays where it was and
  // failed is set. The layer arguments are not used by rout handles.
  void TransformList(const TMatrix3& matrix, bool copy, bool& failed, uint8_t layer,
                     bool changeLayer) override;
  void MovedStepChains(std::vector<TStepObject*>& chains, std::vector<int64_t>& drawn,
                       std::vector<std::vector<TIntPoint>>& reach) override;
  TRootDBObject* GetEntity() override;

  void Step() override;
  void CreateStep() override;
  void EditStep() override;
  void DeleteStep() override;
  void CopyStepList(TRootEntityHandle* source) override;
  void CrossCopyStepList(int32_t drillIndex) override;
  void ExpandStepsIntoDatabase() override;

  void AveragePoint(TIntPoint& point);
  void PerpDefString(std::string& text);
  void PerpPoint(const TIntPoint& pick, TIntPoint& point);
  // Where the handle's entity starts: the point of the path entity before it.
  void StartPoint(TIntPoint& point);
  uint8_t GetEntityType();
  // Writes the listed paths reversed and transformed (copy keeps the
  // sources); failed is set when an entity's transform was refused.
  void ReversePaths(const TMatrix3& matrix, bool copy, bool& failed);

  // The largest nesting depth over the listed path starts; 0 when none.
  static int32_t MaxStepDepth(TRootEntityHandle* list);

  // The rout entity of the handle, or nullptr.
  TRoutEntity* RoutEntity();

  bool AsLine = false;
  bool Include = true;

 private:
  // Replaces every listed path start by a clone carrying a step object
  // (append: nested around the old chain; otherwise replacing it; nullptr
  // with append false removes it). The number replaced.
  int32_t ReplaceStarts(TStepObject* step, bool append);
};

// Appends a step command at the end of the list.
void AddStepCommand(TStepCommandList& list, uint8_t command, int32_t dx, int32_t count,
                    uint8_t orientation, int32_t dy);
// The command lists of an automatic step and repeat (nested: the outer list
// first, the inner one second, which may be empty; unnested: one list).
// False, with both lists empty, when the way back across a row or a column
// is longer than a step can be.
bool RoutAutoStepLists(const TAutoStepRepeatSettings& s, bool nested, TStepCommandList& first,
                   TStepCommandList& second);
// Frees a handle list.
void FreeRoutHandles(TRootEntityHandle*& list);
