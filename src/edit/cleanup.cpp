#include "edit/cleanup.h"

#include <string>

#include "command/command_services.h"
#include "edit/clean_dialog.h"
#include "edit/cleanup_passes.h"
#include "edit/cleanup_support.h"
#include "model/cad_database.h"
#include "model/undo_journal.h"
#include "workspace/view_services.h"

namespace {

// Closes the journalled changes under the command's name on every path, so
// that even an interrupted clean-up is one undo step.
class TUndoStep {
 public:
  ~TUndoStep() {
    if (ActiveUndo) ActiveUndo->BeginOperation("Auto Cleanup");
  }
};

void SetUndoRedoButtons() {
  std::string name;
  if (ActiveUndo && ActiveUndo->CanUndo(name)) {
    ButtonManager().ReleaseButton(UndoCommand);
  } else {
    ButtonManager().DisableButton(UndoCommand);
  }
  if (ActiveUndo && ActiveUndo->CanRedo(name)) {
    ButtonManager().ReleaseButton(RedoCommand);
  } else {
    ButtonManager().DisableButton(RedoCommand);
  }
}

}  // namespace

bool RunAutomaticCleanup() {
  TCleanupSettings settings;  // all four passes, 0.002 in each
  if (!RunCleanDialog(settings)) return false;

  bool cancelled = false;
  TCadStatistics before;
  {
    TUndoStep step;
    TStatusBox status("Automatic cleanup");
    before = DB->CountByType();
    ResetCleanupStatusClock();
    if (settings.KillDuplicates) EraseDuplicates();
    if (settings.BuildArcs) BuildArcsFromChords(settings.ArcTolerance);
    if (settings.BuildCircles) BuildCirclesFromArcs(settings.CircleTolerance);
    if (settings.KillOverlaps) RemoveOverlaps(settings.OverlapTolerance);
    ViewServices().UpdateStatus("Automatic cleanup", 100, cancelled);
    status.Close();
    DB->ShowStatistics(cancelled, before);
  }
  SetUndoRedoButtons();
  ViewServices().RedrawView();
  return true;
}
