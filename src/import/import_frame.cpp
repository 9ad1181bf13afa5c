#include "import/import_frame.h"

#include <algorithm>
#include <cerrno>
#include <algorithm>
#include <cstdio>

#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/import_guard.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "import/dxf_import.h"
#include "import/esi_import.h"
#include "import/gcadd_import.h"
#include "import/hpgl_reader.h"
#include "import/igi_post_import.h"
#include "import/ipc_import.h"
#include "import/gerber_cad.h"
#include "import/import_host.h"
#include "import/odb_import.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drawing_base.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/import_transaction.h"
#include "model/silent_drawing.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "import/gerber_to_drill.h"
#include "tapein/cad_import.h"
#include "tapein/drill_import_command.h"
#include "tapein/nc_words.h"

const std::array<const char*, FormatCount> FormatListNames = {
    "Unrecognized",       "DXF",           "HPGL",
    "Excellon Drill/Rout", "Gerber Photoplot", "GCadd Drawing",
    "Infinite Graphics Post", "IPC D-350",  "Valor Genesis ODB++",
    "ESI Laser"};

namespace {

std::array<TImportFormat, FormatCount>& Formats() {
  static std::array<TImportFormat, FormatCount> table = [] {
    std::array<TImportFormat, FormatCount> t{};
    t[fcDxf] = {DetectDxf, [](const std::string& f) { ImportDxfToCad(f); }};
    t[fcHpgl] = {DetectHpgl, ImportHpglToCad};
    // A tape that imported nothing names no job.
    t[fcExcellon] = {DetectExcellonFile, [](const std::string& f) {
                       if (!ImportExcellonToCad(f)) ImportFailed();
                     }};
    t[fcGerber] = {DetectGerberFile, ImportGerberToCad};
    t[fcGcadd] = {DetectGcadd, ImportGcaddToCad};
    t[fcIgiPost] = {DetectIgiPost, ImportIgiPostToCad};
    t[fcIpc] = {DetectIpcFile, ImportIpcFile};
    t[fcOdb] = {DetectValorMatrix, ImportValorJob};
    t[fcEsi] = {DetectEsi, ImportEsiToCad};
    return t;
  }();
  return table;
}

TModalResult ShowUntilChosen(TForceFormatDialog& dialog) {
  // The memo holds its lines whole: a narrower one wraps the words of the
  // question and hides its end behind a scroll bar.
  TMemo& memo = dialog.Memo1;
  int width = 0, height = 0;
  for (const std::string& line : memo.Lines()) {
    const TPoint extent = FormsBackend().TextExtent(line.empty() ? " " : line);
    width = std::max(width, extent.X);
    height += extent.Y;
  }
  memo.SetWordWrap(false);
  memo.SetWidth(std::max(memo.Width(), width + 24));
  memo.SetHeight(std::max(memo.Height(), height + 16));
  TModalResult result;
  do {
    result = dialog.ShowModal();
  } while (result == mrRetry);
  return result;
}

uint8_t ChosenCode(TForceFormatDialog& dialog, TModalResult result) {
  if (result == mrCancel) return fcUnrecognized;
  const int index = dialog.PullDown.ItemIndex();
  if (index <= 0) ReportNoFormatChosen();
  return index > 0 && index < FormatCount ? static_cast<uint8_t>(index) : fcUnrecognized;
}

}  // namespace

// ---- Pending entities -----------------------------------------------------------------------

namespace {

// Set while File/Import runs an entry: it zooms to the extents afterwards,
// which redraws the view, so the entry need not.
bool zoomFollowsImport = false;

}  // namespace

bool TPendingCad::Commit() {
  TImportHost& host = ImportHost();
  if (DB == nullptr) return false;
  const int64_t room = TEntityArray::HighestIndex - static_cast<int64_t>(CadEntityCount);
  if (static_cast<int64_t>(count_) > room) {
    ErrorBox("The file makes " + IntToStrGrouped(static_cast<int32_t>(std::min<std::size_t>(count_, INT32_MAX))) +
             " entities; the CAD drawing has room for " + IntToStrGrouped(static_cast<int32_t>(std::max<int64_t>(room, 0))) +
             " more.\r\nNothing was imported.");
    ImportFailed();
    Clear();
    return false;
  }
  const bool added = count_ != 0;
  {
    // The entities go to the CAD drawing's own journal, in whatever mode the
    // import runs: Undo in CAD mode takes them back.
    struct TCadJournal {
      TUndoJournal* Kept = ActiveUndo;
      TCadJournal() { ActiveUndo = CadUndo; }
      ~TCadJournal() { ActiveUndo = Kept; }
    } journal;
    TSilentDrawing silent;
    uint32_t shown = 0;
    int32_t counter = 0;
    std::size_t arc = 0;
    // Each chunk is given back once its entities are in the drawing.
    for (std::size_t chunk = 0; chunk < chunks_.size(); ++chunk) {
      const std::size_t n = std::min(kChunkItems, count_ - chunk * kChunkItems);
      const std::unique_ptr<TItem[]> items = std::move(chunks_[chunk]);
      for (const TItem* it = items.get(); it < items.get() + n; ++it) {
        switch (it->Kind) {
          case kPoint: DB->AddPointOnLayer(it->A, it->B, it->Layer); break;
          case kLine: DB->AddLineOnLayer(it->A, it->B, it->C, it->D, it->Layer); break;
          case kArc: {
            const TCentre& c = arcCentres_[arc++];
            DB->AddArcOnLayer({it->A, it->B}, {it->C, it->D}, {c.X, c.Y}, it->Layer);
            break;
          }
          case kCircle: DB->AddCircleOnLayer(it->A, it->B, it->C, it->Layer); break;
          default: DB->AddCircleThroughPointOnLayer({it->A, it->B}, {it->C, it->D}, it->Layer); break;
        }
        if ((shown & (1u << it->Layer)) == 0) {
          shown |= 1u << it->Layer;
          host.ShowCadLayer(it->Layer);
        }
        if (++counter > 4096) {
          ProcessMessages();
          counter = 0;
        }
      }
    }
  }
  if (CadUndo != nullptr) CadUndo->BeginOperation("Import file");
  Clear();
  if (added && !zoomFollowsImport) ViewServices().RedrawView();
  host.UpdateView();
  return true;
}

// ---- Checks and captions ------------------------------------------------------------------

bool CheckImportFile(const std::string& fileName) {
  int32_t code = 0;
  std::FILE* f = FileExistsNoWild(fileName) ? std::fopen(NativePath(fileName).c_str(), "rb") : nullptr;
  if (f == nullptr) {
    code = FileExistsNoWild(fileName) ? RuntimeCodeOfErrno(errno) : 2;
    if (code == 0) code = 5;
  } else {
    if (std::fgetc(f) == EOF) code = std::ferror(f) ? 100 : 100;
    std::fclose(f);
  }
  if (code == 0) return true;
  ErrorBox("File access error #" + std::to_string(code) + "\r\n" + IoErrorText(code));
  return false;
}

std::string ImportCaption(const std::string& what, const std::string& version,
                          const std::string& fileName) {
  return what + version + " <" + CleanUpperCase(AbbreviatePath(fileName, 25)) + ">";
}

// ---- Detection ------------------------------------------------------------------------------

const TImportFormat& ImportFormat(uint8_t code) { return Formats()[code < FormatCount ? code : 0]; }

void SetImportFormat(uint8_t code, const TImportFormat& format) {
  if (code > 0 && code < FormatCount) Formats()[code] = format;
}

uint8_t PickFormat(const std::array<double, FormatCount>& scores) {
  double best = 0.0;
  uint8_t code = fcUnrecognized;
  bool ambiguous = false;
  for (uint8_t c = fcDxf; c < FormatCount; ++c) {
    const double s = scores[c];
    if (s > 0.6 && s > best) {
      if (c != fcDxf) ambiguous = s - best < 0.12;
      code = c;
      best = s;
    }
  }
  return ambiguous ? fcUnrecognized : code;
}

uint8_t DetectFileFormat(const std::string& fileName) {
  std::array<double, FormatCount> scores{};
  for (uint8_t c = fcDxf; c < FormatCount; ++c)
    if (Formats()[c].Detect != nullptr) scores[c] = Formats()[c].Detect(fileName);
  return PickFormat(scores);
}

// ---- The format dialog ----------------------------------------------------------------------

TForceFormatDialog::TForceFormatDialog()
    : TForm("TForceFormatDialog"),
      Memo1(Add<TMemo>("Memo1")),
      PullDown(Add<TComboBox>("PullDown")),
      OKButton(Add<TPanel>("ButtonRow").Add<TButton>("OKButton", "OK", mrOk)),
      CancelButton(Get<TPanel>("ButtonRow").Add<TButton>("CancelButton", "Cancel", mrCancel)),
      ViewButton(Get<TPanel>("ButtonRow").Add<TButton>("ViewButton", "&View File", mrRetry)) {
  SetCaption("File Format");
  auto& row = Get<TPanel>("ButtonRow");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  Memo1.SetReadOnly(true);
  Memo1.SetLines({"KORVEX has determined the ", "file to be of the following type.  ",
                  "Please correct as necessary."});
  // Wide and high enough for the longest of its texts (AskFileFormat's has
  // four lines), so that they read as written: unwrapped, no scroll bar.
  // The margins leave room for the frame, the text's inset and a scroll bar.
  int width = 0;
  for (const char* line : {"KORVEX has determined the ", "file to be of the following type.  ",
                           "Please correct as necessary.", "KORVEX cannot determine the format",
                           "of the file you have chosen. Please", "select a file type from the list."})
    width = std::max(width, FormsBackend().TextExtent(line).X);
  Memo1.SetWidth(width + 40);
  Memo1.SetHeight(4 * (FormsBackend().TextExtent("Xg").Y + 3) + 16);
  PullDown.SetStyle(csDropDownList);
  PullDown.SetItems({FormatListNames.begin(), FormatListNames.end()});
  PullDown.SetItemIndex(0);
  OKButton.SetDefault(true);
  CancelButton.SetCancel(true);
  ViewButton.OnClick = [this](TControl&) { ViewButtonClick(); };
}

void TForceFormatDialog::ViewButtonClick() { ImportHost().ViewFile(FileName); }

uint8_t AskFileFormat(const std::string& fileName) {
  TForceFormatDialog dialog;
  dialog.FileName = fileName;
  dialog.Memo1.SetText("KORVEX cannot determine the format\r\nof the file you have chosen. Please\r\n"
                       "select a file type from the list.\r\n");
  dialog.PullDown.SetItemIndex(0);
  const TModalResult result = ShowUntilChosen(dialog);
  return ChosenCode(dialog, result);
}

void ConfirmFileFormat(uint8_t& code, const std::string& fileName) {
  TForceFormatDialog dialog;
  dialog.FileName = fileName;
  dialog.PullDown.SetItemIndex(code < FormatCount ? code : 0);
  const TModalResult result = ShowUntilChosen(dialog);
  code = ChosenCode(dialog, result);
}

// ---- Dispatch -------------------------------------------------------------------------------

namespace {
bool importFailed = false;
}  // namespace

void ImportFailed() { importFailed = true; }

void NothingImported(const std::string& reason) {
  ErrorBox(reason + "\r\nNothing was imported.");
  ImportFailed();
}

std::string RepeatsPastTheDrawingText(const std::string& fileName, const std::string& through) {
  return "<" + fileName + "> makes more than " + IntToStrGrouped(static_cast<int32_t>(TPendingCad::MostItems)) +
         " entities through " + through + "; a CAD drawing holds no more.";
}

std::string RepeatsPastTheLimitText(const std::string& fileName, const std::string& through) {
  return "<" + fileName + "> repeats more than " +
         IntToStrGrouped(static_cast<int32_t>(std::min<int64_t>(ImportRepeatLimit(), INT32_MAX))) +
         " records through " + through + ".";
}

std::string NestedTooDeepText(const std::string& fileName, const std::string& what) {
  return "<" + fileName + "> nests " + what + " more than " + std::to_string(ImportNestingLimit) + " deep.";
}

std::string BlankRecordsText(int64_t count, const std::string& fileName) {
  const std::string n = count <= INT32_MAX ? IntToStrGrouped(static_cast<int32_t>(count)) : std::to_string(count);
  return n + (count == 1 ? " record" : " records") + " of <" + fileName +
         "> hold only zero bytes and were passed over.";
}

int64_t DrillRoomForImport() {
  return std::max<int64_t>(TDrillEntities::HighestIndex - int64_t{DrillEntityCount}, 0);
}

std::string NoRoomForHolesText() {
  return "more holes than the job has room for (" + IntToStrGrouped(static_cast<int32_t>(DrillRoomForImport())) +
         " more)";
}

int64_t CadRoomForImport() {
  return std::max<int64_t>(TEntityArray::HighestIndex - static_cast<int64_t>(CadEntityCount), 0);
}

std::string NoRoomForEntitiesText() {
  return "more entities than the CAD drawing has room for (" +
         IntToStrGrouped(static_cast<int32_t>(CadRoomForImport())) + " more)";
}

bool RunImportEntry(uint8_t code, const std::string& fileName) {
  const TImportFormat& format = ImportFormat(code);
  if (code == fcUnrecognized) return false;
  if (format.Import == nullptr) {
    InformationBox(std::string(FormatListNames[code]) + " files cannot be imported yet.");
    return false;
  }
  // An entry that runs out of memory ends with a box, and whatever it had
  // added is taken back: the job stays as it was.
  TImportTransaction transaction;
  if (RunGuardedImport(fileName, [&] { format.Import(fileName); })) {
    transaction.Commit();
  } else {
    transaction.TakeBack();
    ImportFailed();
  }
  return true;
}

void RunCadImport() {
  TImportHost& host = ImportHost();
  TImportModal bracket;
  std::string fileName = CadImportPath + "*.*";
  if (!ExecuteCadImportDialog("Select file to import", fileName, 255)) return;
  uint8_t code = fcUnrecognized;
  {
    host.SetBusyCursor(true);
    host.ShowPleaseWait("Checking Format...");
    const bool detected = RunGuardedImport(fileName, [&] { code = DetectFileFormat(fileName); });
    host.HidePleaseWait();
    host.SetBusyCursor(false);
    if (!detected) return;
  }
  if (code == fcUnrecognized) code = AskFileFormat(fileName);
  else ConfirmFileFormat(code, fileName);
  if (code == fcUnrecognized) return;
  if (ImportFormat(code).Import == nullptr) {
    RunImportEntry(code, fileName);
    return;
  }
  // An import that adds nothing (withdrawn, refused, empty) leaves the job
  // exactly as it was: its transaction takes back whatever it had begun.
  TImportTransaction transaction;
  // The view keeps showing the job while the entry asks its questions (units,
  // coordinate format) and reads: the whole working area is shown only when
  // the import leaves nothing to zoom to.
  host.BeginUpdate();
  {
    struct TGuard {
      TImportHost& Host;
      ~TGuard() {
        zoomFollowsImport = false;
        Host.EndUpdate();
        Host.SetBusyCursor(false);
      }
    } guard{host};
    host.SetBusyCursor(true);
    importFailed = false;
    zoomFollowsImport = true;
    RunImportEntry(code, fileName);
  }
  CadImportPath = FolderOf(fileName);
  const bool kept = !importFailed && transaction.Added();
  if (kept) transaction.Commit();
  else transaction.TakeBack();
  if (DB != nullptr && !DB->ZoomExtents()) host.ZoomAll();
  if (!kept) return;
  // A job tree is named after its folder, not after its matrix file.
  const std::string named = code == fcOdb ? ValorJobName(fileName) : fileName;
  host.NameJobAfter(named.substr(FolderOf(named).size()));
}

void InstallDrillImporters() {
  SetDrillFormatImporter(ifDxf, {DetectDxfForDrill, ImportDxfToDrill});
  SetDrillFormatImporter(ifGerber, {DetectGerberForDrill, ImportGerberToDrill});
  SetDrillFormatImporter(ifEsi, {DetectEsiForDrill, ImportEsiToDrill});
  SetDrillFormatImporter(ifValor, {DetectValorMatrix, ImportValorJob});
}
