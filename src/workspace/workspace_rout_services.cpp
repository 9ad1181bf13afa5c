#include "workspace/workspace_rout_services.h"

#include "command/user_panel.h"
#include "editor/editor_window.h"
#include "foundation/file_utils.h"
#include "foundation/utilities.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "tapeout/rout_file_commands.h"
#include "workspace/workspace.h"

void TWorkspaceRoutEditServices::SavePrompts(TPromptLines& lines) {
  if (UserPanel != nullptr) UserPanel->SavePrompts(lines);
}

void TWorkspaceRoutEditServices::RestorePrompts(const TPromptLines& lines) {
  if (UserPanel != nullptr) UserPanel->RestorePrompts(lines);
}

void TWorkspaceRoutEditServices::SetPromptLine(int32_t column, int32_t line, const std::string& text) {
  if (UserPanel != nullptr) UserPanel->SetPromptLine(line, column, text);
}

void TWorkspaceRoutEditServices::SetAnimateChecked(bool checked) {
  // The animate item of the rout menu, once the single-step menu has one.
  if (Workspace == nullptr) return;
  if (TMenuItem* item = Workspace->RoutMenu.FindItem("Animate1")) item->SetChecked(checked);
  // The single-step timer steps the play on while animate is on.
  Workspace->SingleStepTimer.SetTimerEnabled(checked);
}

std::string TWorkspaceRoutEditServices::SaveRoutLayerToScratch(uint8_t layer) {
  std::string name;
  if (!::SaveRoutLayerToScratch(layer, name)) return {};
  TellRoutPatternsWrittenAsCopies(layer);
  return name;
}

void TWorkspaceRoutEditServices::ReloadRoutLayer(const std::string& fileName) {
  ::ReloadRoutLayer(fileName);
}

bool TWorkspaceRoutEditServices::RunTextEditor(const std::string& fileName, int32_t line) {
  const bool saved = RunWorkspaceTextEditor(fileName, line);
  // The layer is edited as a scratch file: the editor's backup of it
  // ("*.BAK" beside it) is nobody's and goes with it.
  DeleteFileIfExists(ChangeFileExtension(fileName, "BAK"));
  return saved;
}

bool RunWorkspaceTextEditor(const std::string& fileName, int32_t line) {
  // The main window's menus stay locked while the editor runs.
  struct TBracket {
    TBracket() {
      if (Workspace != nullptr) Workspace->BeginModal();
    }
    ~TBracket() {
      if (Workspace != nullptr) Workspace->EndModal();
    }
  } bracket;
  return ::RunTextEditor(fileName.empty() ? fileName : NativePath(fileName), line);
}
