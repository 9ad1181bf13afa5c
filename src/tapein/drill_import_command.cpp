#include "tapein/drill_import_command.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "command/argument_command.h"
#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/input_event.h"
#include "command/user_panel.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/import_guard.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/import_transaction.h"
#include "model/tool_tables.h"
#include "model/model_services.h"
#include "model/view_services.h"
#include "platform/events.h"
#include "platform/forms.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "tapein/drill_import.h"
#include "tapein/rout_import.h"

int32_t ImportOffsetX = 0;
int32_t ImportOffsetY = 0;

namespace {

const char* const FormatNames[6] = {"Unrecognized",      "DXF",
                                    "Excellon Drill/Rout", "Gerber Photoplot",
                                    "Valor Genesis ODB++", "ESI Laser"};

std::array<TDrillFormatImporter, 6>& Importers() {
  static std::array<TDrillFormatImporter, 6> table = [] {
    std::array<TDrillFormatImporter, 6> t{};
    t[ifExcellon] = {DetectExcellonDrillFile,
                     [](const std::string& name) { ImportDrillTapeWithFilter(name); }};
    // The DXF and photoplot importers are installed by the import
    // subsystem (InstallDrillImporters).
    return t;
  }();
  return table;
}

constexpr TModalResult mrViewFile = static_cast<TModalResult>(4);

// Shows the dialog again while View File closed it.
TModalResult ShowFormatDialog(TForceDrillFormatDialog& dialog) {
  TModalResult result;
  do {
    result = dialog.ShowModal();
  } while (result == mrViewFile);
  return result;
}

// Runs the importer of the format; false when it is not available or ran
// out of memory.
bool RunImporter(uint8_t format, const std::string& fileName) {
  const TDrillFormatImporter& importer = Importers()[format];
  if (!importer.Import) {
    InformationBox(std::string(FormatNames[format]) +
                   " files cannot be imported into drill layers yet.");
    return false;
  }
  // Out of memory the import ends with a box; what it began is withdrawn.
  return RunGuardedImport(fileName, [&] { importer.Import(fileName); });
}

// An import read but not yet in place: its hidden entities from FirstIndex
// on, in a transaction of its own. An import that is withdrawn is taken back
// whole (whatever the reader brought to any store, the tools it set, the
// job's name and modified flag); one that is placed journals its entities
// and the tools it set, so that Undo takes them back, and names an unnamed
// job after the file.
struct TPendingImport {
  bool Pending = false;
  int32_t FirstIndex = 0;
  TIndexedArray<TToolRecord, 1, kToolCount> ToolsBefore;
  TIndexedArray<bool, 1, kToolCount> ActiveBefore;
  // The job's name once the import is in place ("" leaves it as it is).
  std::string JobName;
  std::unique_ptr<TImportTransaction> Transaction;

  void Begin() {
    Transaction.reset();
    Pending = true;
    FirstIndex = DrillEntityCount + 1;
    ToolsBefore = ToolTable;
    ActiveBefore = ActiveTools;
    JobName.clear();
    Transaction = std::make_unique<TImportTransaction>();
  }
  // The import stays: its adds go to the journal, closed with its marker.
  void Keep() {
    if (!Pending) return;
    Pending = false;
    if (DrillUndo != nullptr) {
      for (int32_t i = FirstIndex; i <= DrillEntityCount; ++i) DrillUndo->RecordAdd(i);
      // The tools it set go back with its entities when it is undone.
      for (int32_t t = 1; t <= kToolCount; ++t)
        if (!(ToolTable[t] == ToolsBefore[t]) || ActiveTools[t] != ActiveBefore[t])
          DrillUndo->RecordTool(t, ToolsBefore[t], ActiveBefore[t]);
      DrillUndo->BeginOperation("Import file");
    }
    if (!JobName.empty() && DatabaseFileName.empty()) {
      DatabaseFileName = JobName;
      if (WindowServices.UpdateCaption) WindowServices.UpdateCaption();
    }
    if (Transaction) Transaction->Commit();
    Transaction.reset();
  }
  void Withdraw() {
    if (!Pending) return;
    Pending = false;
    Transaction.reset();
    ViewServices().RedrawView();
  }
  // An import still waiting for its place when the program ends goes with
  // the job.
  ~TPendingImport() {
    if (Transaction) Transaction->Drop();
  }
};
TPendingImport PendingImport;

// The user stopped the import: it goes, and the hint strip says so.
void WithdrawnByUser() {
  PendingImport.Withdraw();
  SetApplicationHint("The import was withdrawn; the drill database is unchanged.");
}

// The placement of an import that is not the job's main part: the drill
// layer was asked when it started; the next left click in the drawing area,
// or a point typed on the command line, is the offset by which the hidden
// entities of the import move onto that layer, as one undo step. A placement
// cancelled (Escape, another command) withdraws the import.
class TImportPlacementCommand : public TInteractiveCommand {
 public:
  TImportPlacementCommand(uint8_t layer, bool zoomToJob) : layer_(layer), zoomToJob_(zoomToJob) {
    if (UserPanel == nullptr) return;
    UserPanel->SavePrompts(prompts_);
    // An empty text would leave a line as it stood: clear the three first.
    UserPanel->ClearPrompts();
    UserPanel->SetPromptLine(1, 1, "Import Placement >");
    UserPanel->SetPromptLine(2, 1, "Click where the origin of the imported file goes");
  }
  uint16_t InputMode() const override { return placed_ ? 0 : ievMouseDown; }
  bool HandleEvent(TInputEvent& event) override {
    if (event.Kind != ievMouseDown || (event.Buttons & mbtLeft) == 0) return true;
    if (event.WorldX == NoPosition || event.WorldY == NoPosition) return true;
    Place(event.WorldX, event.WorldY);
    return false;
  }
  bool TypedText(const std::string& typed) override {
    // A keyboard code (a zoom) runs its command meanwhile.
    if (typed.size() == 2 && ButtonManager().CommandOfCode(typed) != 0) return false;
    TIntPoint p{0, 0};
    if (AcceptTypedPoint(typed, nullptr, p)) Place(p.X, p.Y);
    return true;
  }
  void Cancel() override {
    RestorePrompts();
    if (!placed_) WithdrawnByUser();
  }

 private:
  void RestorePrompts() {
    if (UserPanel != nullptr) UserPanel->RestorePrompts(prompts_);
  }
  void Place(int32_t x, int32_t y) {
    placed_ = true;
    RestorePrompts();
    if (DRDB == nullptr) return;
    ImportOffsetX = x;
    ImportOffsetY = y;
    DRDB->TranslateFrom(DRDB->ImportPlacement.FirstIndex, ImportOffsetX, ImportOffsetY, layer_);
    PendingImport.Keep();
    if (zoomToJob_ && DB != nullptr) DB->ZoomExtents();
    ViewServices().RedrawView();
  }
  uint8_t layer_;
  bool zoomToJob_;
  bool placed_ = false;
  TPromptBuffer prompts_;
};

// The import goes into a job that shows nothing yet: the view then moves to
// the job's extents once the import is in place.
bool ZoomAfterImport = false;

bool JobShowsNothing() {
  if (DB == nullptr) return false;
  TIntPoint min{2147483647, 2147483647}, max{-2147483647, -2147483647};
  bool found = DB->GetExtents(min, max);
  if (RoutZoomExtents && RoutZoomExtents(min, max)) found = true;
  if (DrillZoomExtents && DrillZoomExtents(min, max)) found = true;
  return !found;
}

bool StartImportPlacement() {
  if (ECO == nullptr || DRDB == nullptr) return false;
  const int32_t layer = WindowServices.PickDrillLayer ? WindowServices.PickDrillLayer() : 30;
  // The layer box closed without OK withdraws the import, as Escape in the
  // placement does.
  if (layer < 0) {
    WithdrawnByUser();
    return true;
  }
  // The command it replaces goes first: its end puts back the prompt lines
  // it found, which would hide the placement's own.
  ECO->CancelCommand();
  ECO->SetActiveCommand(
      std::make_unique<TImportPlacementCommand>(static_cast<uint8_t>(layer), ZoomAfterImport));
  return true;
}

// Hands the hidden entities of the last import to the placement command.
void SendPlacementEvent() {
  if (ECO == nullptr) return;
  DefineCommand(cmImportFinalize, "IMPORTFINALIZE", StartImportPlacement);
  TInputEvent event = CommandEvent(cmImportFinalize);
  event.Flags[2] = '3';
  ECO->HandleEvent(event);
}

}  // namespace

void SetDrillFormatImporter(uint8_t format, const TDrillFormatImporter& importer) {
  if (format >= ifDxf && format <= ifEsi) Importers()[format] = importer;
}

// ---- The format dialog -------------------------------------------------------------------

TForceDrillFormatDialog::TForceDrillFormatDialog()
    : TForm("TForceDrillFormatDialog"),
      Label1(Add<TLabel>("Label1")),
      PullDown(Add<TComboBox>("PullDown")),
      OKButton(Add<TPanel>("ButtonRow").Add<TButton>("OKButton", "OK", mrOk)),
      CancelButton(Get<TPanel>("ButtonRow").Add<TButton>("CancelButton", "Cancel", mrCancel)),
      ViewButton(Get<TPanel>("ButtonRow").Add<TButton>("ViewButton", "&View File", mrViewFile)) {
  SetCaption("File Format");
  auto& row = Get<TPanel>("ButtonRow");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  Label1.SetWordWrap(true);
  Label1.SetWidth(260);
  PullDown.SetStyle(csDropDownList);
  PullDown.SetItems({FormatNames, FormatNames + 6});
  PullDown.SetItemIndex(0);
  OKButton.SetDefault(true);
  CancelButton.SetCancel(true);
  ViewButton.OnClick = [this](TControl&) { ViewButtonClick(); };
}

void TForceDrillFormatDialog::ViewButtonClick() { ViewTextFile(FileName); }

uint8_t PickImportFormat(const std::string& fileName) {
  TForceDrillFormatDialog dialog;
  dialog.FileName = fileName;
  dialog.Label1.SetCaption(
      "KORVEX cannot determine the format of the file you have chosen. Please select a file type "
      "from the list.");
  dialog.Label1.SetWidth(dialog.Label1.Width() + 50);
  dialog.PullDown.SetItemIndex(0);
  if (ShowFormatDialog(dialog) != mrOk) return ifUnrecognized;
  const int index = dialog.PullDown.ItemIndex();
  if (index <= 0) ReportNoFormatChosen();
  return index >= 0 && index <= ifEsi ? static_cast<uint8_t>(index) : uint8_t(ifUnrecognized);
}

void ConfirmImportFormat(uint8_t& format, const std::string& fileName) {
  TForceDrillFormatDialog dialog;
  dialog.FileName = fileName;
  dialog.Label1.SetCaption("KORVEX has determined the file to be of the following type.  Please "
                           "correct as necessary.");
  dialog.PullDown.SetItemIndex(format <= ifEsi ? format : 0);
  if (ShowFormatDialog(dialog) != mrOk) {
    format = ifUnrecognized;
    return;
  }
  const int index = dialog.PullDown.ItemIndex();
  if (index <= 0) ReportNoFormatChosen();
  format = index >= 0 && index <= ifEsi ? static_cast<uint8_t>(index) : uint8_t(ifUnrecognized);
}

void ReportNoFormatChosen() {
  InformationBox("The file type was left at \"Unrecognized\".\r\nNothing was imported.");
}

// ---- Detection -----------------------------------------------------------------------------

bool FileOpensForReading(const std::string& fileName) {
  if (!FileExistsNoWild(fileName)) {
    ReportIOError(ENOENT, "opening the file");
    return false;
  }
  std::FILE* f = std::fopen(NativePath(fileName).c_str(), "rb");
  if (!f) {
    ReportIOError(errno, "opening the file");
    return false;
  }
  std::fclose(f);
  return true;
}

bool DetectImportFormat(const std::string& fileName, uint8_t& format) {
  if (!FileOpensForReading(fileName)) return false;
  double best = 0.0;
  uint8_t code = ifUnrecognized;
  bool close = false;
  for (uint8_t f = ifDxf; f <= ifEsi; ++f) {
    const TDrillFormatImporter& importer = Importers()[f];
    if (!importer.Detect) continue;
    const double s = importer.Detect(fileName);
    if (s > 0.6 && s > best) {
      if (f != ifDxf) close = s - best < 0.12;
      code = f;
      best = s;
    }
  }
  format = close ? uint8_t(ifUnrecognized) : code;
  return true;
}

// ---- The command ---------------------------------------------------------------------------

namespace {

// True when a live drill entity lies below the index end (the import's
// first).
bool JobHoldsDrillHits(int32_t end) {
  for (int32_t i = 1; i < end && i <= DrillEntityCount; ++i)
    if (static_cast<int32_t>(DRDB->WordAt(i)) > 0) return true;
  return false;
}

}  // namespace

void ImportDrillFile() {
  bool placement = false;
  {
    TModalBracket bracket;
    TPromptBuffer prompts;
    if (UserPanel != nullptr) {
      UserPanel->SavePrompts(prompts);
      // The waiting command's lines go: an empty text would leave them.
      UserPanel->ClearPrompts();
      UserPanel->SetPromptLine(1, 1, "Drill Import >");
    }
    std::string name = DrillImportPath + "*.*";
    uint8_t format = ifUnrecognized;
    bool go = ExecuteCadImportDialog("Select file to import", name, 255);
    if (go && !DetectImportFormat(name, format)) {
      if (UserPanel != nullptr) UserPanel->RestorePrompts(prompts);
      return;
    }
    if (go) {
      if (format != ifUnrecognized) ConfirmImportFormat(format, name);
      else format = PickImportFormat(name);
      go = format != ifUnrecognized && DRDB != nullptr;
    }
    if (go) {
      ProcessMessages();
      THourGlassCursor hourglass;
      TImportPlacement& record = DRDB->ImportPlacement;
      record.FirstIndex = DrillEntityCount + 1;
      record.MinX = record.MinY = 2147483647;
      record.MaxX = record.MaxY = -2147483647;
      record.Flags &= uint8_t(~1u);
      ImportOffsetX = ImportOffsetY = 0;
      ImportOriginX = ImportOriginY = 0;
      ZoomAfterImport = JobShowsNothing();
      PendingImport.Begin();
      bool ran = false;
      {
        TDrillJournalPause pause;
        ran = RunImporter(format, name);
      }
      if (ran) {
        int32_t minX = record.MinX, maxX = record.MaxX, minY = record.MinY, maxY = record.MaxY;
        const bool any = (record.Flags & 1) != 0 ||
                         DRDB->ExtentsFrom(record.FirstIndex, minX, maxX, minY, maxY);
        if (any) {
          if ((record.Flags & 1) == 0) {
            record.MinX = minX;
            record.MaxX = maxX;
            record.MinY = minY;
            record.MaxY = maxY;
          }
          ViewServices().UpdateView();
          bool mainPart = false;
          bool withdrawn = false;
          int32_t layer = 30;
          // A job that holds drill hits already has its main part (a job
          // opened from its file among them): the import is placed.
          if (!DRDB->MainPartSet && !JobHoldsDrillHits(record.FirstIndex)) {
            // Escape (or the close box) withdraws the import; No places it.
            const TModalResult answer =
                AskChangingQuestion("Is this the main part?", mtConfirmation, mbYesNo);
            mainPart = answer == mrYes;
            withdrawn = answer == mrCancel;
            // The main part's layer: the box closed without OK withdraws it too.
            if (mainPart && WindowServices.PickDrillLayer) layer = WindowServices.PickDrillLayer();
            if (layer < 0) {
              mainPart = false;
              withdrawn = true;
            }
            if (mainPart) {
              const int32_t oldX = DRDB->G93OriginX, oldY = DRDB->G93OriginY;
              DRDB->MainPartSet = true;
              DRDB->G93OriginX = ImportOriginX;
              DRDB->G93OriginY = ImportOriginY;
              if (DrillUndo != nullptr) DrillUndo->RecordMainPart(false, oldX, oldY);
            }
          }
          if (withdrawn) {
            WithdrawnByUser();
            if (UserPanel != nullptr) UserPanel->RestorePrompts(prompts);
            return;
          }
          if (format == ifValor) {
            DrillImportPath = name + PathDelim;
          } else {
            DrillImportPath = FolderOf(name);
          }
          {
            const std::size_t slash = name.find_last_of("\\/");
            const std::string part = slash == std::string::npos ? name : name.substr(slash + 1);
            PendingImport.JobName = DatabasePath + ChangeFileExtension(part, "ZUL");
          }
          if (mainPart) {
            DRDB->TranslateFrom(record.FirstIndex, ImportOffsetX, ImportOffsetY,
                                static_cast<uint8_t>(layer));
            PendingImport.Keep();
            if (ZoomAfterImport) DB->ZoomExtents();
          } else {
            placement = true;
          }
          ViewServices().RedrawView();
        }
      }
      // Nothing to place: whatever the reading set goes back.
      if (!placement) PendingImport.Withdraw();
    }
    ViewServices().UpdateView();
    if (UserPanel != nullptr) UserPanel->RestorePrompts(prompts);
  }
  if (placement) SendPlacementEvent();
}
