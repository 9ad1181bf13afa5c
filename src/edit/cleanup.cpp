#include "edit/cleanup.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "command/command_services.h"
#include "edit/clean_dialog.h"
#include "edit/cleanup_passes.h"
#include "edit/cleanup_support.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/entity_store.h"
#include "model/import_transaction.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "platform/message_box.h"

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
    // What the passes add cannot be told before they run: they run as one
    // transaction, and when the drawing refuses an entity the whole
    // clean-up is taken back, or the chords, arcs and lines it removed
    // would be lost without what was to replace them.
    TImportTransaction transaction;
    const int32_t count = CadEntityCount;
    const uint32_t bit = CleanupLayerBit();
    std::vector<int32_t> taking;  // the slots the passes may remove
    for (int32_t i = 1; i <= count; ++i)
      if (EntityArray->GetSlot(i)->Flags == bit) taking.push_back(i);
    TUndoStep step;
    TStatusBracket status("Automatic cleanup");
    TStoreRefusalWatch watch;
    before = DB->CountByType();
    ResetCleanupStatusClock();
    if (settings.KillDuplicates) EraseDuplicates();
    if (settings.BuildArcs) BuildArcsFromChords(settings.ArcTolerance);
    if (settings.BuildCircles) BuildCirclesFromArcs(settings.CircleTolerance);
    if (settings.KillOverlaps) RemoveOverlaps(settings.OverlapTolerance);
    ViewServices().UpdateStatus("Automatic cleanup", 100, cancelled);
    status.Close();
    if (watch.Refused()) {
      // Added and refused: at least what the drawing would need.
      const int64_t needed = int64_t(CadEntityCount) - count + watch.Refusals();
      for (int32_t i : taking) EntityArray->GetSlot(i)->Flags = bit;
      transaction.TakeBack();
      ViewServices().RedrawView();
      ErrorBox(watch.Text() + "\r\nCleaning up the drawing needs at least " +
               IntToStrGrouped(int32_t(std::min<int64_t>(needed, INT32_MAX))) + " more; there is room for " +
               IntToStrGrouped(std::max(0, TEntityArray::HighestIndex - count)) + ".\r\nNothing was changed.");
      return true;
    }
    if (ActiveUndo) ActiveUndo->BeginOperation("Auto Cleanup");
    transaction.Commit();
    DB->ShowStatistics(cancelled, before);
  }
  SetUndoRedoButtons();
  ViewServices().RedrawView();
  return true;
}
