// The step-and-repeat commands of the drill and rout modes. In drill mode
// the holes, slots and circles inside a window are chosen; in rout mode the
// path of a picked rout entity, with the other pieces and break-off holes of
// a cut that tabs split. The handles carry out the work (with their
// dialogs) and journal it themselves.
#include <memory>
#include <vector>

#include "command/argument_command.h"
#include "command/command_interpreter.h"
#include "command/command_text.h"
#include "edit/edit_commands.h"
#include "foundation/utilities.h"
#include "model/entity_store.h"
#include "model/rout_handles.h"
#include "platform/forms.h"
#include "platform/message_box.h"
#include "routpath/rout_tabs.h"

namespace {
using TStepAction = void (*)(TRootEntityHandle& list, const std::string& text, int next);

// The chosen entities: a window's in drill mode (arguments 1 to 4), the
// picked path's start in rout mode (argument 1), or with wholePath every
// entity of the path; a path that tabs split comes with its other pieces
// and break-off holes (cut: what was found). next: the argument after them.
TRootEntityHandle* Chosen(const std::string& text, uint8_t mode, bool wholePath, int& next, TTabbedCut& cut) {
  if (mode == 0) {
    next = 5;
    return SelectWindowByMode(0, GetCommandPoint(text, 1), GetCommandPoint(text, 3), false);
  }
  next = 2;
  return wholePath ? PickedPath(text, 1, &cut) : PickedPathStart(text, 1, &cut);
}

// The step list of each level of the pattern the rout start carries (none
// when it carries none).
std::vector<TStepCommandList> PatternLevels(int32_t start) {
  std::vector<TStepCommandList> levels;
  TRoutEntity* e = RTDB != nullptr ? RTDB->EntityAt(start) : nullptr;
  TStepObject* pattern = e != nullptr && IsPathStartType(e->GetType()) ? e->GetStepObj() : nullptr;
  for (int32_t n = 1; pattern != nullptr && pattern->GetLevel(n) != nullptr; ++n)
    levels.push_back(pattern->GetLevel(n)->Commands());
  return levels;
}

// before: run when the command starts; false ends it there. wholePath: a
// rout command that works on the picked path's every entity, not its start.
void DefineStep(int32_t number, const std::string& word, const std::string& title, bool withSource,
                TStepAction action, bool (*before)() = nullptr, bool wholePath = false) {
  auto make = [=](uint8_t mode) {
    TArgumentCommandDef def;
    def.Title = title;
    def.Text = word + (mode == 0 ? "(CLICK,CLICK" : "(PICK") + (withSource ? ",PICK)" : ")");
    def.Prompts = mode == 0 ? std::vector<std::string>{"Select first corner of window",
                                                       "Select opposite corner of window"}
                            : std::vector<std::string>{"Pick the rout path"};
    if (withSource) def.Prompts.push_back("Pick the entity whose step list is taken");
    def.Repeat = true;
    def.Execute = [mode, action, wholePath, title](const std::string& text) {
      int next = 0;
      TTabbedCut cut;
      TRootEntityHandle* list = Chosen(text, mode, wholePath, next, cut);
      if (list == nullptr) {
        MessageBeep(MB_OK);
        return false;
      }
      const int32_t count = RoutEntityCount;
      // An edit of the pattern changes it in place, for every piece that
      // shares it.
      const int32_t start = cut.Starts.size() > 1 ? list->Index : 0;
      const std::vector<TStepCommandList> pattern = PatternLevels(start);
      action(*list, text, next);
      FreeObjectList(list);
      if (RoutEntityCount != count) {
        // What was taken beyond the pick, and the paths that may be pieces
        // of the cut but were left as they were.
        if (cut.Starts.size() > 1) SetApplicationHint(TabbedCutTakenText(cut, title));
        if (!cut.Unsure.empty()) InformationBox(TabbedCutLeftOutText(cut, title));
      } else if (start != 0 && PatternLevels(start) != pattern) {
        SetApplicationHint(TabbedCutTakenText(cut, title));
      }
      return true;
    };
    return def;
  };
  const TArgumentCommandDef drill = make(0), rout = make(1);
  DefineCommand(number, drill.Text, [drill, rout, before] {
    if (ECO == nullptr || ECO->Mode() == 2) {
      MessageBeep(MB_OK);
      return false;
    }
    if (before != nullptr && !before()) return false;
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
}  // namespace

void DefineStepCommands() {
  DefineStep(102, "STEPMODIFY", "Step & Repeat Edit", false,
             [](TRootEntityHandle& list, const std::string&, int) { list.EditStep(); });
  DefineStep(18, "STEPCREATE", "Create Step & Repeat", false,
             [](TRootEntityHandle& list, const std::string&, int) { list.CreateStep(); });
  DefineStep(109, "STEPAUTO", "Step & Repeat", false,
             [](TRootEntityHandle& list, const std::string&, int) { list.Step(); },
             ConfirmAutoStepRepeat);
  DefineStep(6, "STEPADD", "Add to Step & Repeat", true,
             [](TRootEntityHandle& list, const std::string& text, int next) {
               std::unique_ptr<TRootEntityHandle> source = SourceHandle(text, next);
               if (source) list.CopyStepList(source.get());
             });
  DefineStep(140, "STEPEXPAND", "Expand Step & Repeat", false,
             [](TRootEntityHandle& list, const std::string&, int) { list.ExpandStepsIntoDatabase(); },
             nullptr, true);
  DefineStep(101, "STEPDEL", "Step & Repeat Delete", false,
             [](TRootEntityHandle& list, const std::string&, int) { list.DeleteStep(); });
}
