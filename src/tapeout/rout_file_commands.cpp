#include "tapeout/rout_file_commands.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/input_event.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/import_guard.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/entity_store.h"
#include "model/import_transaction.h"
#include "model/model_services.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/forms.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "tapein/rout_import.h"
#include "tapeout/rout_tape_writer.h"

namespace {


// Ends the active command, as a Cancel command event does.
void EndActiveCommand() {
  if (ECO == nullptr) return;
  TInputEvent event = CommandEvent(static_cast<uint8_t>(cmdCancel));
  ECO->HandleEvent(event);
}

void ResetRoutJournal() {
  if (RoutUndo != nullptr) RoutUndo->Reset();
}

void ZoomToExtents() {
  if (DB != nullptr) DB->ZoomExtents();
}

// A layer taken out of the way of an import that replaces it, and put back
// when the import fails.
class TLayerReplacement {
 public:
  explicit TLayerReplacement(uint8_t layer) : layer_(layer) {
    savedPage_ = RoutToolPages[layer];
    savedTools_ = RoutLayerTools[layer];
    savedModified_ = RoutLayerModified[layer];
    if (RTDB == nullptr || Seq == nullptr) return;
    savedPath_ = RTDB->PathState[layer];
    savedOrigin_ = RTDB->G93Origins[layer];
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) order_.push_back(Seq->HandleAt(layer, p));
    const uint32_t bit = NCLayerBit(layer);
    for (int32_t i = 1; i <= RoutEntityCount; ++i) {
      const TEntitySlot* slot = RTDB->SlotAt(i);
      if (slot && !SlotDeleted(slot->Flags) && SlotHasBit(slot->Flags, bit)) live_.push_back(i);
    }
  }

  // Empties the layer (and gives it the default tool page) for the import;
  // the undo history stays until the import has replaced the layer.
  void Clear() {
    if (!DefaultToolFile.empty()) LoadRoutToolPage(DefaultToolFile, layer_);
    if (RTDB != nullptr) RTDB->EmptyLayer(layer_);
  }

  // The layer as it was before Clear.
  void Restore() {
    RoutToolPages[layer_] = savedPage_;
    RoutLayerTools[layer_] = savedTools_;
    RoutLayerModified[layer_] = savedModified_;
    if (RTDB == nullptr || Seq == nullptr) return;
    for (int32_t h : live_) RTDB->UndeleteEntity(h);
    Seq->ClearLayer(layer_);
    for (int32_t h : order_) Seq->InsertHandle(layer_, h);
    RTDB->PathState[layer_] = savedPath_;
    RTDB->G93Origins[layer_] = savedOrigin_;
    RTDB->EntityChanged = RTDB->PathChanged = 0;
    RTDB->FirstChangedEntity = RTDB->FirstChangedPath = kNoChangedHandle;
    RTDB->Redraw(0);
  }

 private:
  uint8_t layer_;
  TRoutToolPage savedPage_;
  TRoutLayerTool savedTools_;
  bool savedModified_ = false;
  TRoutPathState savedPath_;
  TIntPoint savedOrigin_;
  std::vector<int32_t> order_;
  std::vector<int32_t> live_;
};

// The file dialog of the rout import; true with the chosen name and filter.
bool ChooseRoutFile(std::string& name, uint8_t& filter) {
  name = RoutImportPath + "*.*";
  filter = RoutImportFilter;
  return ExecuteImportFilterDialog("Select rout file to open", name, 255, filter);
}

// The import of a chosen file with the view handling around it.
// The view keeps showing the job while the tape's format is asked and the
// tape read; the whole working area is shown only when the job then has
// nothing to zoom to.
bool ImportChosenRoutFile(const std::string& name, uint8_t filter) {
  bool ok = false;
  {
    THourGlassCursor hourglass;
    // Out of memory the import ends with a box and the layer as it was.
    if (!RunGuardedImport(name, [&] { ok = ImportRoutTape(name, filter, false); })) ok = false;
    if (ok) {
      RoutImportPath = FolderOf(name);
      if ((DB == nullptr || !DB->ZoomExtents()) && WindowServices.ZoomAll) WindowServices.ZoomAll();
    }
  }
  RoutImportFilter = filter;
  return ok;
}

}  // namespace

bool ConfirmRoutLayerSave(uint8_t layer) {
  if (!IsRoutLayer(layer) || !RoutLayerModified[layer]) return true;
  switch (ConfirmSaveRoutLayer(layer)) {
    case mrYes:
      return SaveRoutFileAs(layer);
    case mrNo:
      return true;
    default:
      return false;
  }
}

bool SelectAndImportRoutFile() {
  TModalBracket bracket;
  std::string name;
  uint8_t filter = 0;
  bool ok = false;
  if (ChooseRoutFile(name, filter)) ok = ImportChosenRoutFile(name, filter);
  ViewServices().UpdateView();
  return ok;
}

void OpenRoutTape(uint8_t layer) {
  if (!IsRoutLayer(layer) || !ConfirmRoutLayerSave(layer)) return;
  EndActiveCommand();
  TModalBracket bracket;
  std::string name;
  uint8_t filter = 0;
  // The layer is replaced only once a tape was chosen and read.
  if (!ChooseRoutFile(name, filter)) return;
  TLayerReplacement replacement(layer);
  // A tape that fails leaves the job as it was, its undo history too.
  TImportTransaction transaction;
  replacement.Clear();
  if (!ImportChosenRoutFile(name, filter)) {
    replacement.Restore();
    transaction.TakeBack();
    ViewServices().UpdateView();
    return;
  }
  transaction.Commit();
  RoutLayerFileNames[layer].clear();
  ResetRoutJournal();
  RoutLayerModified[layer] = false;
  ViewServices().UpdateView();
}

bool ReimportRoutFile(const std::string& fileName) {
  TModalBracket bracket;
  bool ok = false;
  {
    THourGlassCursor hourglass;
    ok = ImportRoutTape(fileName, RoutImportFilter, true);
    ZoomToExtents();
  }
  ViewServices().UpdateView();
  return ok;
}

bool ReloadRoutLayer(const std::string& fileName) {
  const uint8_t layer = CurrentLayer;
  if (!IsRoutLayer(layer)) return false;
  EndActiveCommand();
  TLayerReplacement replacement(layer);
  const TIntPoint origin = RTDB != nullptr ? RTDB->G93Origins[layer] : TIntPoint{};
  TImportTransaction transaction;
  if (RTDB != nullptr) RTDB->EmptyLayer(layer);
  if (!ReimportRoutFile(fileName)) {
    replacement.Restore();
    transaction.TakeBack();
    return false;
  }
  transaction.Commit();
  // The layer keeps its panel origin unless the tape read back gives one: a
  // tape written without G93 (the output format leaves it out) carries none.
  // A zero origin is no origin here, as in the job file and the tape writer.
  if (RTDB != nullptr && RTDB->G93Origins[layer] == TIntPoint{}) RTDB->G93Origins[layer] = origin;
  ResetRoutJournal();
  RoutLayerModified[layer] = false;
  return true;
}

bool SaveRoutFileAs(uint8_t layer) {
  if (!IsRoutLayer(layer)) return false;
  std::string name;
  if (!RoutLayerFileNames[layer].empty())
    name = RoutMakeTapePath + BareName(RoutLayerFileNames[layer]);
  else if (!DatabaseFileName.empty())
    name = RoutMakeTapePath + BareName(DatabaseFileName) + ".RT";
  else
    name = RoutMakeTapePath + "*.*";
  uint8_t filter = RoutLayerExportFilter[layer];
  std::string backup;
  while (true) {
    if (!ExecuteExportFilterDialog("Save Rout file as:", name, 255, filter)) return false;
    // A name typed without an extension is a rout tape's.
    if (name.find('.', name.find_last_of("\\/") + 1) == std::string::npos) name += ".RT";
    if (!FileExistsNoWild(name)) break;
    name = ExistingFileName(name);  // the file replaced, in its own spelling
    if (ConfirmOverwrite(name)) {
      backup = ChangeFileExtension(name, "~RT");
      // A tape already named "*.~RT" is its own backup: it is kept as it is
      // until the new one replaces it.
      if (NativePath(backup) == NativePath(name)) {
        backup.clear();
        break;
      }
      DeleteFileIfExists(backup);
      if (std::rename(NativePath(name).c_str(), NativePath(backup).c_str()) != 0) {
        ReportIOError(errno, "renaming rout file.");
        return false;
      }
      break;
    }
    name = RoutMakeTapePath + "*.RT";
  }
  if (!WriteRoutFileWithDialog(layer, filter, name)) {
    // Nothing was written: the old tape comes back from its backup.
    if (!backup.empty() && !FileExistsNoWild(name))
      std::rename(NativePath(backup).c_str(), NativePath(name).c_str());
    return false;
  }
  RoutLayerFileNames[layer] = name;
  RoutMakeTapePath = FolderOf(name);
  if (DatabaseFileName.empty()) {
    DatabaseFileName = DatabasePath + BareName(name) + ".ZUL";
    if (WindowServices.UpdateCaption) WindowServices.UpdateCaption();
  }
  RoutLayerExportFilter[layer] = filter;
  RoutLayerModified[layer] = false;
  // The hint strip says what went out, the step copies of a path counted
  // with it (the counts first: a long path is cut at the strip's end).
  int64_t paths = 0, moves = 0;
  if (RTDB != nullptr && Seq != nullptr) {
    int64_t copies = 1;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      const TEntitySlot* slot = RTDB->SlotAt(h);
      TRoutEntity* e = RTDB->EntityAt(h);
      if (slot == nullptr || e == nullptr || SlotDeleted(slot->Flags)) continue;
      if (IsPathStartType(e->GetType())) {
        const TStepObject* step = e->GetStepObj();
        copies = step != nullptr ? int64_t(step->Offsets().size()) + 1 : 1;
      }
      moves += copies;
      if (e->GetType() == etRoutJog) paths += copies;
    }
  }
  SetApplicationHint("Rout tape written: R" + std::to_string(layer - kFirstRoutLayer) + ", " +
                     std::to_string(paths) + (paths == 1 ? " path, " : " paths, ") + std::to_string(moves) +
                     (moves == 1 ? " move, " : " moves, ") + name);
  return true;
}

void TellRoutPatternsWrittenAsCopies(uint8_t layer) {
  TRoutTapeProgram program;
  if (!CollectRoutLayer(layer, program)) return;
  constexpr std::size_t kMaxNamed = 8;
  std::vector<std::string> named;
  std::size_t count = 0;
  const double unit = UnitsPerDisplayUnit > 0 ? UnitsPerDisplayUnit : InchUnitsPerDisplayUnit;
  int32_t last = 0;
  // A pattern's run of items is named by its first: where its first path,
  // circle or hole starts.
  for (const TRoutTapeItem& item : program.Items) {
    const int32_t p = item.Pattern;
    if (p == last) continue;
    last = p;
    if (p <= 0 || std::size_t(p) > program.Patterns.size() ||
        RoutTapeStatesPattern(program.Patterns[p - 1], RoutOutputFormat) || ++count > kMaxNamed)
      continue;
    const std::size_t copies = program.Patterns[p - 1].Offsets.size();
    const char* what = item.Kind == TRoutTapeItemKind::Hole     ? "hole"
                       : item.Kind == TRoutTapeItemKind::Circle ? "circle"
                                                                : "path";
    named.push_back(std::string("the ") + what + " at X " + RealToStr(item.Point.X / unit) + " Y " +
                    RealToStr(item.Point.Y / unit) + ": " + Int64ToStrGrouped(int64_t(copies)) +
                    (copies == 1 ? " copy" : " copies"));
  }
  if (count == 0) return;
  const bool one = count == 1;
  std::string text = std::string("The rout tape cannot state ") +
                     (one ? "this step pattern as a pattern" : "these step patterns as patterns") +
                     " (a nested list, an incremental tape, an orientation the axis version cannot state): the "
                     "text to edit writes out each copy.";
  for (const std::string& n : named) text += "\r\n" + n;
  if (count > named.size()) text += "\r\n(" + Int64ToStrGrouped(int64_t(count - named.size())) + " more)";
  InformationBox(text + "\r\nOK in the editor turns " + (one ? "the pattern" : "the patterns") +
                 " into plain copies, which Undo cannot take back; Cancel there keeps the layer as it is.");
}

bool SaveRoutLayerToScratch(uint8_t layer, std::string& fileName) {
  // The tape is written over an empty file made at a free scratch name.
  std::string tried;
  fileName = ReserveScratchFile(ExecutionPath() + "SCRATCH" + PathDelim, &tried);
  if (fileName.empty()) {
    ReportIOError(IOResult(), "creating the scratch file " + tried);
    return false;
  }
  if (!WriteRoutFileNoDialog(layer, RoutLayerExportFilter[layer], fileName)) {
    DeleteFileIfExists(fileName);
    fileName.clear();
    return false;
  }
  return true;
}
