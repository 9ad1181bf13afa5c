#include "tapein/drill_import_command.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "command/command_interpreter.h"
#include "command/input_event.h"
#include "command/user_panel.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/model_services.h"
#include "model/view_services.h"
#include "platform/events.h"
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

// Runs the importer of the format; false when it is not available.
bool RunImporter(uint8_t format, const std::string& fileName) {
  const TDrillFormatImporter& importer = Importers()[format];
  if (!importer.Import) {
    InformationBox(std::string(FormatNames[format]) +
                   " files cannot be imported into drill layers yet.");
    return false;
  }
  importer.Import(fileName);
  return true;
}

// The placement of an import that is not the job's main part: the drill
// layer was asked when it started; the next left click in the drawing area
// is the offset by which the hidden entities of the import move onto that
// layer, as one undo step.
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
  uint16_t InputMode() const override { return ievMouseDown; }
  bool HandleEvent(TInputEvent& event) override {
    if (event.Kind != ievMouseDown || (event.Buttons & mbtLeft) == 0) return true;
    if (event.WorldX == NoPosition || event.WorldY == NoPosition) return true;
    RestorePrompts();
    if (DRDB == nullptr) return false;
    ImportOffsetX = event.WorldX;
    ImportOffsetY = event.WorldY;
    DRDB->TranslateFrom(DRDB->ImportPlacement.FirstIndex, ImportOffsetX, ImportOffsetY, layer_);
    if (DrillUndo != nullptr) DrillUndo->BeginOperation("Import file");
    if (zoomToJob_ && DB != nullptr) DB->ZoomExtents();
    ViewServices().RedrawView();
    return false;
  }
  void Cancel() override { RestorePrompts(); }

 private:
  void RestorePrompts() {
    if (UserPanel != nullptr) UserPanel->RestorePrompts(prompts_);
  }
  uint8_t layer_;
  bool zoomToJob_;
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
      if (RunImporter(format, name)) {
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
          if (!DRDB->MainPartSet) {
            mainPart = MessageDlg("Is this the main part?", mtConfirmation, mbYesNo) == mrYes;
            if (mainPart) {
              const int32_t oldX = DRDB->G93OriginX, oldY = DRDB->G93OriginY;
              DRDB->MainPartSet = true;
              DRDB->G93OriginX = ImportOriginX;
              DRDB->G93OriginY = ImportOriginY;
              if (DrillUndo != nullptr) DrillUndo->RecordMainPart(false, oldX, oldY);
            }
          }
          if (format == ifValor) {
            DrillImportPath = name + PathDelim;
          } else {
            DrillImportPath = FolderOf(name);
          }
          if (DatabaseFileName.empty()) {
            const std::size_t slash = name.find_last_of("\\/");
            const std::string part = slash == std::string::npos ? name : name.substr(slash + 1);
            DatabaseFileName = DatabasePath + ChangeFileExtension(part, "ZUL");
            if (WindowServices.UpdateCaption) WindowServices.UpdateCaption();
          }
          if (mainPart) {
            const int32_t layer = WindowServices.PickDrillLayer ? WindowServices.PickDrillLayer() : 30;
            DRDB->TranslateFrom(record.FirstIndex, ImportOffsetX, ImportOffsetY,
                                static_cast<uint8_t>(layer));
            if (DrillUndo != nullptr) DrillUndo->BeginOperation("Import file");
            if (ZoomAfterImport) DB->ZoomExtents();
          } else {
            placement = true;
          }
          ViewServices().RedrawView();
        }
      }
    }
    ViewServices().UpdateView();
    if (UserPanel != nullptr) UserPanel->RestorePrompts(prompts);
  }
  if (placement) SendPlacementEvent();
}
