// Drill selections: singly linked lists of TDrillHandle naming drill
// entities by store index, with the list operations the drill editing
// commands use (highlight, draw, erase, delete, move, copy) and the
// step-and-repeat commands (automatic step, create, edit, delete, copy,
// expand).
//
// Every list operation is called on the first handle and walks the list; a
// walk stops at the first index beyond DrillEntityCount. Changes follow the
// journal's rule: the old entity is marked deleted and a changed clone
// appended, each journalled in DrillUndo; the step commands close their
// operation under their own name, the other edits leave that to the caller.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "foundation/settings_families.h"
#include "model/drill_database.h"
#include "model/root_entity.h"

class TDrillHandle : public TRootEntityHandle {
 public:
  explicit TDrillHandle(int32_t index) : TRootEntityHandle(index) {}

  uint8_t GetKind() override { return 1; }
  // Highlights every listed entity in HighlightColor (whatever colour).
  void DrawListColour(TColor colour) override;
  // Draws the listed entities on displayed layers in their layer colour.
  void DrawList() override;
  void EraseList() override;
  // Deletes the listed entities on active layers (journalled); the others
  // only lose their highlight.
  void DeleteList() override;
  // Moves (or with copy, copies) every listed entity on an active layer by
  // the matrix, onto the layer when changeLayer is set. An entity whose
  // move is refused stays as it was and failed is set.
  void TransformList(const TMatrix3& matrix, bool copy, bool& failed, uint8_t layer,
                     bool changeLayer) override;
  void MovedStepChains(std::vector<TStepObject*>& chains, std::vector<int64_t>& drawn,
                       std::vector<std::vector<TIntPoint>>& reach) override;
  TRootDBObject* GetEntity() override;
  TDrillEntity* DrillEntity();
  TDrillHandle* NextHandle() const { return static_cast<TDrillHandle*>(Next); }

  // Step-and-repeat commands (journalled under their names, except EditStep).
  void Step() override;                 // "Auto Step && Repeat"
  void CreateStep() override;           // "Create Step && Repea"
  void EditStep() override;             // not journalled
  void DeleteStep() override;           // "Delete Step && Repea"
  void CopyStepList(TRootEntityHandle* source) override;  // "Add To Step && Repea"
  void CrossCopyStepList(int32_t routIndex) override;     // "Duplicate Step && Re"
  void ExpandStepsIntoDatabase() override;                // "Expand Step && Repea"

  void GetMiddlePoint(TIntPoint& point);
  void GetDefString(std::string& text);
  void GetPerpPoint(const TIntPoint& from, TIntPoint& point);
  void GetSecondPoint(TIntPoint& point);
  uint8_t GetEntityType();
};

// The deepest step chain among the listed entities; 0 when none has one.
int32_t NestingDepth(TDrillHandle* list);
// Copies (or moves) every listed entity on an active layer, giving it the
// tool (1..1000, else 1) and, with changeLayer, the layer. Journalled; the
// caller closes the operation.
void CopySelectionToLayer(TDrillHandle* list, bool copy, int32_t tool, bool changeLayer,
                          uint8_t layer);

// ---- What the step commands need from other parts of the program ----------

// The step object of the rout path that holds a rout entity (installed by
// the rout database); nullptr when there is none.
extern std::function<TStepObject*(int32_t routIndex)> RoutPathStepObject;
// The same level replacement on the rout entities (installed by the rout
// database).
extern std::function<void(bool change1, bool change2, const TEditStepLists& lists,
                          TStepObject* old3, TStepObject* old2, TStepObject* old1, bool change3)>
    RoutReplaceStepLevels;
// The automatic step-and-repeat settings; while the rout database has not
// installed its own, the saved "Auto Step & Repeat Settings".
extern std::function<TAutoStepRepeatSettings()> AutoStepRepeatSettings;

// The command list of an automatic step and repeat of nx by ny copies at
// pitches dx, dy: the nested form gives one list per axis (second empty when
// only one axis repeats); the unnested form one serpentine list.
void DrillAutoStepLists(const TAutoStepRepeatSettings& s, bool nested, TStepCommandList& first,
                   TStepCommandList& second);
