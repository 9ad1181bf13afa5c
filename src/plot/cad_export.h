// The CAD export: File/Export writes the chosen CAD layers (0..29) as a DXF,
// GCADD drawing, Infinite Graphics post or HPGL file, or starts the ODB++
// export. One driver serves the four CAD formats: it asks which layers to
// write, shows a progress box with Cancel, walks the CAD store once in store
// order and hands each live entity to the format's writer.
//
// Units: the writers get coordinates in their file units. DXF files are in
// inches or millimetres, as CadExportInches says (the "DXF File Units"
// dialog sets it); the other three formats are read back in inches only, so
// their writers always get inches whatever the flag says.
//
// Nothing half-written is ever left under the chosen name: a writer builds
// its file beside the target and renames it into place only when the whole
// export succeeded. A cancelled or failed export leaves the target as it was
// (an existing file keeps its old contents) and no temporary file behind.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_ops.h"
#include "platform/forms.h"

// ---- Export settings ----------------------------------------------------------

// DXF output in inches (true, the start value) or millimetres; kept until
// the program ends.
extern bool CadExportInches;
// The CAD layer (0..29) of the entity being exported.
extern int32_t CurrentLayerForExport;
// The filter index chosen in the CAD Export dialog: 1 DXF, 2 GCADD, 3
// Infinite Graphics post, 4 HPGL, 5 ODB++.
extern uint8_t CadExportFormat;
enum : uint8_t { cfNone = 0, cfDxf = 1, cfGcadd = 2, cfIgiPost = 3, cfHpgl = 4, cfOdb = 5 };
// The format names the progress box shows, by CadExportFormat.
extern const std::array<const char*, 6> CadExportFormatNames;

// Filter texts of the two export dialogs.
extern const char* const CadExportFilterText;
extern const char* const OdbExportFilterText;

// Database units per inch and per millimetre.
constexpr double ExportUnitsPerInch = 25400000.0;
constexpr double ExportUnitsPerMm = 1000000.0;

// ---- Writers ------------------------------------------------------------------

// One export run of one format. ExportBegin opens the output, the four entity
// routines append, ExportEnd finishes the file and puts it in place;
// ExportAbort drops what was written. The entity routines do nothing while
// the output is not open.
class TCadExportWriter {
 public:
  virtual ~TCadExportWriter() = default;

  // True when the format holds inches only (the driver then passes inches
  // whatever CadExportInches says).
  virtual bool InchesOnly() const = 0;
  // A warning to show once the output is open; empty for none.
  virtual std::string OpenWarning() const { return ""; }

  // Opens the output and writes the file's head; false with Error() set
  // when it cannot be created. The file beside the target is made when the
  // first block goes out (at the latest by ExportEnd).
  bool ExportBegin(const std::string& fileName);
  virtual void ExportPoint(double x, double y) = 0;
  virtual void ExportLine(double x1, double y1, double x2, double y2) = 0;
  // Counter-clockwise from the start (x1, y1) to the end (x2, y2) about the
  // centre (x3, y3).
  virtual void ExportArc(double x1, double y1, double x2, double y2, double x3, double y3) = 0;
  virtual void ExportCircle(double x, double y, double r) = 0;
  // Writes the file's tail and renames the file over the target; the error
  // number, or 0. The output is closed afterwards either way.
  int ExportEnd();
  // Closes the output and removes it; the target stays as it was.
  void ExportAbort();

  bool Open() const { return File_ != nullptr || Pending_; }
  // The error number of the first failure, or 0.
  int Error() const { return Error_; }

 protected:
  // The file's head and tail.
  virtual void WriteHead() {}
  virtual void WriteTail() {}
  // Appends bytes to the output (gathered, written in blocks).
  void Put(const void* data, std::size_t size);
  void Put(const std::string& text) { Put(text.data(), text.size()); }

 private:
  void Flush();
  std::unique_ptr<TReplacingFile> File_;
  std::string Path_;      // the target, while its file is still to be made
  bool Pending_ = false;  // begun, nothing written yet
  std::string Buffer_;
  int Error_ = 0;
};

// ---- Dialogs ------------------------------------------------------------------

// Form "TSaveLayerDialog" ("Save Layers"): one box per CAD layer, "0" to
// "29", named Layer0 .. Layer29, and OK; there is no Cancel.
class TSaveLayerDialog : public TForm {
 public:
  TSaveLayerDialog();
  // Checks box i for each set bit i of 0..29.
  void SetLayerMask(uint32_t mask);
  uint32_t GetLayerMask() const;
  std::array<TCheckBox*, 30> Boxes{};
  TButton& OKButton;

 private:
  void BuildLayerGrid();
};

// Form "TCancelDialog" ("Cancel Cad Operation"): ten lines of text and a
// Cancel button that sets the owner's flag.
class TCancelDialog : public TForm {
 public:
  explicit TCancelDialog(uint8_t& cancelled);
  TPanel& ImagePanel;
  TPaintBox& TextBox;
  TButton& CancelButton;
  std::array<std::string, 10> Lines;

 private:
  void TextBoxPaint();
  uint8_t& Cancelled_;
};

// The progress box with Cancel of a long CAD operation.
class TCancelBox {
 public:
  TCancelBox();
  ~TCancelBox();
  TCancelBox(const TCancelBox&) = delete;
  TCancelBox& operator=(const TCancelBox&) = delete;
  // Puts text into line 1..10 from column 1.., like a character screen:
  // what stood beyond the text stays; column 1 with empty text clears it.
  void SetText(int32_t column, int32_t line, const std::string& text);
  const std::string& Line(int32_t line) const { return Dialog.Lines.at(static_cast<std::size_t>(line - 1)); }
  // Shows the box modeless and lets the message loop run once.
  void Show();

  std::string Title;
  uint8_t Cancelled = 0;
  TCancelDialog Dialog;
};

// ---- Commands -----------------------------------------------------------------

// Runs one export of the CAD layers through the writer into the file; true
// when the file was written whole. Cancel or a failure leaves the target as
// it was; a failure is reported in an error box.
bool RunCadExport(const std::string& fileName, TCadExportWriter& writer);

// The format entries: each builds its writer and runs the export. The DXF
// entry first asks for the drawing units (Cancel writes nothing).
void ExportDxfFile(const std::string& fileName);
void ExportGcaddFile(const std::string& fileName);
void ExportIgiPostFile(const std::string& fileName);
void ExportHpglFile(const std::string& fileName);

// The ODB++ export run for a chosen path (the product-model export; tests
// may put another in its place). With none the choice says it is not
// available.
using TOdbExportEntry = void (*)(const std::string& path);
extern TOdbExportEntry OdbExportEntry;

// File/Export of the CAD mode: the save dialog with the five formats, then
// the chosen format's entry.
void ExportCadFile();
// File/Export of the drill mode: the ODB++ export alone.
void ExportOdbFile();
