#include "model/step_connections.h"

#include "model/drill_database.h"
#include "model/drill_handles.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"

void InstallStepConnections() {
  // An edit made on the rout side: the same level changes on the drill
  // entities.
  SetDrillStepLevelsHook([](const TStepLevelEdits& edits) {
    if (DRDB == nullptr) return;
    TEditStepLists lists;
    for (int k = 0; k < 3; ++k)
      if (edits[k].Changed && !edits[k].Removed) lists[k] = edits[k].Commands;
    DRDB->ReplaceStepLevels(edits[0].Changed, edits[1].Changed, lists, edits[2].Target,
                            edits[1].Target, edits[0].Target, edits[2].Changed);
  });
  SetDrillStepObjectHook([](int32_t index) -> TStepObject* {
    TDrillEntity* e = DRDB != nullptr ? DRDB->EntityAt(index) : nullptr;
    return e != nullptr ? e->GetStepObj() : nullptr;
  });
  // An edit made on the drill side: the same level changes on the rout
  // paths.
  RoutReplaceStepLevels = [](bool change1, bool change2, const TEditStepLists& lists,
                             TStepObject* old3, TStepObject* old2, TStepObject* old1,
                             bool change3) {
    if (RTDB == nullptr) return;
    const bool changed[3] = {change1, change2, change3};
    TStepObject* old[3] = {old1, old2, old3};
    TStepLevelEdits edits;
    bool any = false;
    for (int k = 0; k < 3; ++k) {
      edits[k].Target = old[k];
      edits[k].Changed = changed[k] && old[k] != nullptr;
      edits[k].Removed = !lists[k].has_value();
      if (lists[k]) edits[k].Commands = *lists[k];
      any = any || edits[k].Changed;
    }
    if (any) RTDB->ReplaceStepLevels(edits);
  };
  RoutPathStepObject = [](int32_t routIndex) -> TStepObject* {
    if (RTDB == nullptr || Seq == nullptr) return nullptr;
    TRoutEntity* start = RTDB->EntityAt(Seq->FindPathJog(routIndex));
    return start != nullptr ? start->GetStepObj() : nullptr;
  };
  AutoStepRepeatSettings = []() {
    if (RTDB != nullptr) return RTDB->AutoStepRepeat;
    TAutoStepRepeatSettings s;
    LoadAutoStepRepeatSettings(s);
    return s;
  };
}

void RemoveStepConnections() {
  SetDrillStepLevelsHook(nullptr);
  SetDrillStepObjectHook(nullptr);
  RoutReplaceStepLevels = nullptr;
  RoutPathStepObject = nullptr;
  AutoStepRepeatSettings = nullptr;
}
