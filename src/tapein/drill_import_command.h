// The Drill Import command: a drilling file of any of the five formats
// (Excellon drill tape, DXF, Gerber photoplot, ODB++ job, ESI laser file)
// read into the drill database. The file is scored by the format detectors,
// the user confirms or picks the format, the importer stores the new
// entities hidden, and they are placed as the job's main part on a chosen
// drill layer or handed to the interactive placement.
#pragma once
#include <cstdint>
#include <string>

#include "platform/forms.h"

// Format codes, also the items of the "File Format" list.
enum : uint8_t {
  ifUnrecognized = 0,
  ifDxf = 1,
  ifExcellon = 2,
  ifGerber = 3,
  ifValor = 4,
  ifEsi = 5,
};

// The placement command of an import that is not the main part.
constexpr int32_t cmImportFinalize = 51;

// Offset by which the placement moves imported entities, and the origin an
// importer found (database units); reset by every Drill Import.
extern int32_t ImportOffsetX;
extern int32_t ImportOffsetY;

// The drill-side importers of other file formats. Each entry is empty until
// the reader of its format is present; an empty detector scores 0 and an
// empty importer makes the command say that the format is not available.
struct TDrillFormatImporter {
  double (*Detect)(const std::string& fileName) = nullptr;
  void (*Import)(const std::string& fileName) = nullptr;
};
void SetDrillFormatImporter(uint8_t format, const TDrillFormatImporter& importer);

// Form "TForceDrillFormatDialog" ("File Format").
class TForceDrillFormatDialog : public TForm {
 public:
  TForceDrillFormatDialog();
  TLabel& Label1;
  TComboBox& PullDown;
  TButton& OKButton;
  TButton& CancelButton;
  TButton& ViewButton;
  std::string FileName;
  void ViewButtonClick();
};

// The Drill Import command.
void ImportDrillFile();
// False when the file cannot be opened; else the best format code or 0.
bool DetectImportFormat(const std::string& fileName, uint8_t& format);
// The dialog with the "cannot determine" text; the chosen code, 0 on Cancel.
uint8_t PickImportFormat(const std::string& fileName);
// The dialog preset to the detected format; 0 on Cancel.
void ConfirmImportFormat(uint8_t& format, const std::string& fileName);
// OK with the file type left at "Unrecognized" imports nothing: the user is
// told so (both import commands' format dialogs).
void ReportNoFormatChosen();
// The file exists and opens (an I/O error is reported "while opening the
// file").
bool FileOpensForReading(const std::string& fileName);
