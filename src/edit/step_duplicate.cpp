// Duplicate Step & Repeat: the step list of a rout path given to the drill
// hits in a window (drill mode), or the step list of a drill hit given to a
// picked rout path (rout mode). The other database's entity is found near a
// clicked point on any of its displayed layers. The handles copy the list
// and journal it as one step.
#include <memory>

#include "command/argument_command.h"
#include "command/command_interpreter.h"
#include "command/command_text.h"
#include "edit/edit_commands.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/drill_handles.h"
#include "model/editor_state.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "platform/forms.h"
#include "platform/message_box.h"
#include "routpath/rout_tabs.h"

namespace {

// The tabbed cut of the rout path picked as argument n.
TTabbedCut PickedCut(const std::string& text, int n) {
  const int32_t index = GetCommandEntityRef(text, n);
  const int32_t start = index != 0 && Seq != nullptr ? Seq->FindPathJog(index) : 0;
  return start != 0 ? FindTabbedCut(start) : TTabbedCut{};
}

// The entity of the other database (rout in drill mode, drill in rout mode)
// nearest to the point; 0 when none is near.
int32_t OtherDatabaseEntity(uint8_t mode, const TIntPoint& p) {
  const int32_t aperture = CommandServices.Aperture ? CommandServices.Aperture() : 254000;
  // The picks look at active layers only: for this one the displayed layers
  // of the other database count as active.
  const uint32_t active = ActiveNCLayerMask;
  ActiveNCLayerMask |= DisplayedNCLayerMask;
  int32_t found = 0;
  if (mode == 0 && RTDB != nullptr) {
    TRootEntityHandle* list = nullptr;
    int32_t distance = 0;
    if (RTDB->PickNearest(aperture, p, true, list, distance) && list != nullptr) found = list->Index;
    FreeObjectList(list);
  } else if (mode == 1 && DRDB != nullptr) {
    TDrillHandle* list = nullptr;
    if (DRDB->PickNearest(aperture, p.X, p.Y, true, list) && list != nullptr) found = list->Index;
    FreeObjectList<TRootEntityHandle>(list);
  }
  ActiveNCLayerMask = active;
  return found;
}

// Drill: DUPLICATE(window corner, corner, point near the rout path);
// rout: DUPLICATE(picked path, point near the drill hit).
bool Duplicate(const std::string& text, uint8_t mode) {
  TTabbedCut cut;
  TRootEntityHandle* list =
      mode == 0 ? SelectWindowByMode(0, GetCommandPoint(text, 1), GetCommandPoint(text, 3), false)
                : PickedPathStart(text, 1, &cut);
  const int32_t source = list != nullptr ? OtherDatabaseEntity(mode, GetCommandPoint(text, mode == 0 ? 5 : 2)) : 0;
  if (source == 0) {
    FreeObjectList(list);
    MessageBeep(MB_OK);
    return false;
  }
  const int32_t count = RoutEntityCount;
  list->CrossCopyStepList(source);
  FreeObjectList(list);
  if (RoutEntityCount != count) {
    if (cut.Starts.size() > 1) SetApplicationHint(TabbedCutTakenText(cut, "Duplicate Step & Repeat"));
    if (!cut.Unsure.empty()) InformationBox(TabbedCutLeftOutText(cut, "Duplicate Step & Repeat"));
  }
  return true;
}

TArgumentCommandDef DuplicateDef(uint8_t mode) {
  TArgumentCommandDef def;
  def.Title = "Duplicate Step & Repeat";
  if (mode == 0) {
    def.Text = "STEPDUPLICATE(CLICK,CLICK,CLICK)";
    def.Prompts = {"Select first corner of window", "Select opposite corner of window",
                   "Select a point on the rout path whose step list is taken"};
  } else {
    def.Text = "STEPDUPLICATE(PICK,CLICK)";
    def.Prompts = {"Pick the rout path", "Select the drill hit whose step list is taken"};
  }
  def.Repeat = true;
  def.Execute = [mode](const std::string& text) { return Duplicate(text, mode); };
  return def;
}
}  // namespace

TRootEntityHandle* PickedPathStart(const std::string& text, int n, TTabbedCut* left) {
  TTabbedCut cut = PickedCut(text, n);
  TRootEntityHandle* list = nullptr;
  for (auto it = cut.Starts.rbegin(); it != cut.Starts.rend(); ++it) {
    auto* h = new TRoutHandle(*it);
    h->Next = list;
    list = h;
  }
  if (left != nullptr) *left = std::move(cut);
  return list;
}

TRootEntityHandle* PickedPath(const std::string& text, int n, TTabbedCut* left) {
  TTabbedCut cut = PickedCut(text, n);
  TRootEntityHandle* list = nullptr;
  TRootEntityHandle** tail = &list;
  if (RTDB != nullptr)
    for (const int32_t start : cut.Starts) {
      RTDB->ListPath(start, *tail);
      while (*tail != nullptr) tail = &(*tail)->Next;
    }
  if (left != nullptr) *left = std::move(cut);
  return list;
}

void DefineDuplicateStepCommand() {
  const TArgumentCommandDef drill = DuplicateDef(0), rout = DuplicateDef(1);
  DefineCommand(32, drill.Text, [drill, rout] {
    if (ECO == nullptr || ECO->Mode() == 2) {
      MessageBeep(MB_OK);
      return false;
    }
    ECO->CancelCommand();
    ECO->SetActiveCommand(std::make_unique<TArgumentCommand>(ECO->Mode() == 0 ? drill : rout));
    return true;
  });
}
