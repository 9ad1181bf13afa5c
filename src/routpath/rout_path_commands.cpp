#include "routpath/rout_path_commands.h"

#include <exception>
#include <string>

#include "command/argument_command.h"
#include "command/command_text.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/rout_database.h"
#include "platform/message_box.h"
#include "routpath/part_rout.h"
#include "routpath/path_selection.h"
#include "routpath/pocket_rout.h"

namespace {

// Runs a generation; a failure has been taken back by then and is told.
template <class TWork>
bool Guarded(TWork work) {
  if (RTDB == nullptr) return false;
  try {
    return work();
  } catch (const ERoutCancelled&) {
    return false;
  } catch (const std::exception& e) {
    ErrorBox(e.what());
    return false;
  }
}

TRootEntityHandle* PickedHandle(const std::string& text) {
  const int32_t index = GetCommandEntityRef(text, 1);
  if (DB == nullptr || DB->EntityAt(index) == nullptr) return nullptr;
  return new TCadHandle(index);
}

// The picked entity or the window of the command, as one path or a group.
bool RoutPicked(const std::string& text, TPathRoutKind kind) {
  if (RTDB == nullptr) return false;
  TRootEntityHandle* selection = SelectionOfCommand(text);
  if (selection == nullptr) {
    MessageBeep(MB_OK);
    return false;
  }
  const bool routed = Guarded([&] { return RoutSelection(*RTDB, selection, kind); });
  FreeObjectList(selection);
  return routed;
}

void DefinePick(int32_t number, const std::string& text, const std::string& title,
                const std::string& prompt, TCommandExecutor execute, bool windowPick = false) {
  TArgumentCommandDef def;
  def.WindowPick = windowPick;
  def.Text = text;
  def.Title = title;
  def.Prompts = {prompt};
  def.PickMode = 2;
  def.Repeat = true;
  def.Execute = std::move(execute);
  DefineArgumentCommand(number, def);
}

}  // namespace

void DefineRoutPathCommands() {
  DefinePick(FollowProfileCommand, "FOLLOWPATH(PICKAT)", "Follow Profile",
             "Pick entity of the profile near the end to follow from", [](const std::string& t) {
               return Guarded([&] {
                 TRootEntityHandle* path = PickedHandle(t);
                 return path != nullptr && FollowProfile(*RTDB, path, GetCommandPoint(t, 2));
               });
             });
  DefinePick(PocketRoutCommand, "POCKETPATH(PICK)", "Pocket Rout", "Pick entity of the pocket",
             [](const std::string& t) { return RoutPicked(t, prkPocket); }, true);
  DefinePick(MilledPocketRoutCommand, "MILLPOCKETPATH(PICK)", "Milled Pocket Rout",
             "Pick entity of the pocket", [](const std::string& t) { return RoutPicked(t, prkMilledPocket); },
             true);
  TArgumentCommandDef window;
  window.Text = "WINDOWAUTOFOLLOW(CLICK,CLICK)";
  window.Title = "Window Auto Follow";
  window.Prompts = {"Select first corner of window", "Select opposite corner of window"};
  window.Band = bandRectangle;
  window.Repeat = true;
  window.Execute = [](const std::string& t) {
    return Guarded([&] {
      TRootEntityHandle* list = nullptr;
      if (DB != nullptr)
        DB->SelectInWindow(GetCommandPoint(t, 1), GetCommandPoint(t, 3), true, 0, list);
      if (list == nullptr) {
        MessageBeep(MB_OK);
        return false;
      }
      return WindowAutoFollow(*RTDB, list);
    });
  };
  DefineArgumentCommand(WindowAutoFollowCommand, window);
  DefineCommand(AutoWebRoutCommand, "AUTOWEBROUT", [] {
    Guarded([] { return FullPanelAutoRout(*RTDB, RTDB->PocketDusting); });
    return true;
  });
  DefineCommand(AutoPartRoutCommand, "AUTOPARTROUT", [] {
    Guarded([] { return AutoPartRout(*RTDB).SomethingRouted; });
    return true;
  });
}
