// The step-and-repeat commands of the drill and rout modes. In drill mode
// the holes, slots and circles inside a window are chosen; in rout mode the
// path of a picked rout entity. The handles carry out the work (with their
// dialogs) and journal it themselves.
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
#include "platform/message_box.h"

namespace {
using TStepAction = void (*)(TRootEntityHandle& list, const std::string& text, int next);

// The chosen entities: a window's in drill mode (arguments 1 to 4), the
// start of the picked path in rout mode (argument 1). next: the argument
// after them.
TRootEntityHandle* Chosen(const std::string& text, uint8_t mode, int& next) {
  if (mode == 0) {
    next = 5;
    return SelectWindowByMode(0, GetCommandPoint(text, 1), GetCommandPoint(text, 3), false);
  }
  next = 2;
  // The pattern lives on the path's start, whichever entity was picked.
  const int32_t index = GetCommandEntityRef(text, 1);
  const int32_t start = index != 0 && Seq != nullptr ? Seq->FindPathJog(index) : 0;
  return start != 0 ? new TRoutHandle(start) : nullptr;
}

// What a step command takes after the chosen entities: nothing, a picked
// entity of the same database, or a point near an entity of the other one.
enum TStepSource { ssNone, ssPick, ssOther };

void DefineStep(int32_t number, const std::string& word, const std::string& title, TStepSource source,
                TStepAction action) {
  auto make = [=](uint8_t mode) {
    TArgumentCommandDef def;
    def.Title = title;
    def.Text = word + (mode == 0 ? "(CLICK,CLICK" : "(PICK") +
               (source == ssPick ? ",PICK)" : source == ssOther ? ",CLICK)" : ")");
    def.Prompts = mode == 0 ? std::vector<std::string>{"Select first corner of window",
                                                       "Select opposite corner of window"}
                            : std::vector<std::string>{"Pick the rout path"};
    if (source == ssPick) def.Prompts.push_back("Pick the entity whose step list is taken");
    if (source == ssOther)
      def.Prompts.push_back(mode == 0 ? "Select a point on the rout path whose step list is taken"
                                      : "Select the drill hit whose step list is taken");
    def.Repeat = true;
    def.Execute = [mode, action](const std::string& text) {
      int next = 0;
      TRootEntityHandle* list = Chosen(text, mode, next);
      if (list == nullptr) {
        MessageBeep(MB_OK);
        return false;
      }
      action(*list, text, next);
      FreeObjectList(list);
      return true;
    };
    return def;
  };
  const TArgumentCommandDef drill = make(0), rout = make(1);
  DefineCommand(number, drill.Text, [drill, rout] {
    if (ECO == nullptr || ECO->Mode() == 2) {
      MessageBeep(MB_OK);
      return false;
    }
    const TArgumentCommandDef& def = ECO->Mode() == 0 ? drill : rout;
    ECO->CancelCommand();
    ECO->SetActiveCommand(std::make_unique<TArgumentCommand>(def));
    return true;
  });
}

// The source of Add to Step List, as a handle of the mode's kind.
std::unique_ptr<TRootEntityHandle> SourceHandle(const std::string& text, int n) {
  const int32_t index = GetCommandEntityRef(text, n);
  if (index == 0 || ECO == nullptr) return nullptr;
  if (ECO->Mode() == 0) return std::unique_ptr<TRootEntityHandle>(NewDrillHandle(index));
  return std::make_unique<TRoutHandle>(index);
}

// The entity of the other database (rout in drill mode, drill in rout mode)
// nearest to the point given as argument n, on any of its displayed layers;
// 0 when none is near.
int32_t OtherDatabaseEntity(const std::string& text, int n) {
  if (ECO == nullptr) return 0;
  const TIntPoint p = GetCommandPoint(text, n);
  const int32_t aperture = CommandServices.Aperture ? CommandServices.Aperture() : 254000;
  // The picks look at active layers only: for this one the displayed layers
  // of the other database count as active.
  const uint32_t active = ActiveNCLayerMask;
  ActiveNCLayerMask |= DisplayedNCLayerMask;
  int32_t found = 0;
  if (ECO->Mode() == 0 && RTDB != nullptr) {
    TRootEntityHandle* list = nullptr;
    int32_t distance = 0;
    if (RTDB->PickNearest(aperture, p, true, list, distance) && list != nullptr) found = list->Index;
    FreeObjectList(list);
  } else if (ECO->Mode() == 1 && DRDB != nullptr) {
    TDrillHandle* list = nullptr;
    if (DRDB->PickNearest(aperture, p.X, p.Y, true, list) && list != nullptr) found = list->Index;
    FreeObjectList<TRootEntityHandle>(list);
  }
  ActiveNCLayerMask = active;
  return found;
}
}  // namespace

void DefineStepCommands() {
  DefineStep(102, "STEPMODIFY", "Step & Repeat Edit", ssNone,
             [](TRootEntityHandle& list, const std::string&, int) { list.EditStep(); });
  DefineStep(18, "STEPCREATE", "Create Step & Repeat", ssNone,
             [](TRootEntityHandle& list, const std::string&, int) { list.CreateStep(); });
  DefineStep(109, "STEPAUTO", "Step & Repeat", ssNone,
             [](TRootEntityHandle& list, const std::string&, int) { list.Step(); });
  DefineStep(6, "STEPADD", "Add to Step & Repeat", ssPick,
             [](TRootEntityHandle& list, const std::string& text, int next) {
               std::unique_ptr<TRootEntityHandle> source = SourceHandle(text, next);
               if (source) list.CopyStepList(source.get());
             });
  DefineStep(140, "STEPEXPAND", "Expand Step & Repeat", ssNone,
             [](TRootEntityHandle& list, const std::string&, int) { list.ExpandStepsIntoDatabase(); });
  DefineStep(101, "STEPDEL", "Step & Repeat Delete", ssNone,
             [](TRootEntityHandle& list, const std::string&, int) { list.DeleteStep(); });
  // The step list of a rout path given to drill hits, or of a drill hit to
  // a rout path.
  DefineStep(32, "STEPDUPLICATE", "Duplicate Step & Repeat", ssOther,
             [](TRootEntityHandle& list, const std::string& text, int next) {
               const int32_t source = OtherDatabaseEntity(text, next);
               if (source == 0) {
                 MessageBeep(MB_OK);
                 return;
               }
               list.CrossCopyStepList(source);
             });
}
