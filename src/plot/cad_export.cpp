#include "plot/cad_export.h"

#include <algorithm>
#include <cerrno>
#include <new>

#include "command/command_services.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "import/dxf_import.h"
#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/view_services.h"
#include "platform/common_dialogs.h"
#include "platform/events.h"
#include "platform/forms.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "plot/dxf_export.h"
#include "plot/gcadd_export.h"
#include "plot/hpgl_export.h"
#include "plot/igi_export.h"
#include "plot/odb_export.h"

bool CadExportInches = true;
int32_t CurrentLayerForExport = 0;
uint8_t CadExportFormat = cfNone;
const std::array<const char*, 6> CadExportFormatNames = {
    "None", "DXF", "GCadd Drawing", "Infinite Graphics Post", "HPGL", "Valor Genesis ODB++"};

const char* const CadExportFilterText =
    "DXF (*.DXF)|*.DXF|GCadd Drawing (*.GCD)|*.GCD|Infinite Graphics Post|*.PST|HPGL (*.HPL)|*.HPL|"
    "VALOR |*.*";
const char* const OdbExportFilterText = "VALOR |*.*";

TOdbExportEntry OdbExportEntry = ExportOdbProduct;

// ---- Writer output --------------------------------------------------------------

namespace {
// Bytes gathered before they go to the file.
constexpr std::size_t kOutputBlock = 64 * 1024;
}  // namespace

bool TCadExportWriter::ExportBegin(const std::string& fileName) {
  ExportAbort();
  Error_ = 0;
  // The output is tried now, so that a target that cannot be written is
  // reported before anything is asked; the file itself is made when the
  // first bytes go out, so no empty file stands beside the target while the
  // export still asks for its layers.
  const std::string path = NativeSavePath(fileName);
  if (TReplacingFile probe(path); !probe.Opened()) {
    Error_ = probe.Error() != 0 ? probe.Error() : EIO;
    return false;
  }
  Path_ = path;
  Pending_ = true;
  Buffer_.clear();
  WriteHead();
  return true;
}

void TCadExportWriter::Put(const void* data, std::size_t size) {
  if (!Open()) return;
  Buffer_.append(static_cast<const char*>(data), size);
  if (Buffer_.size() >= kOutputBlock) Flush();
}

void TCadExportWriter::Flush() {
  if (Pending_) {
    Pending_ = false;
    auto file = std::make_unique<TReplacingFile>(Path_);
    if (file->Opened())
      File_ = std::move(file);
    else if (Error_ == 0)
      Error_ = file->Error() != 0 ? file->Error() : EIO;
  }
  if (File_ && !Buffer_.empty()) {
    if (const int code = File_->Write(Buffer_.data(), Buffer_.size()); code != 0 && Error_ == 0) Error_ = code;
  }
  Buffer_.clear();
}

int TCadExportWriter::ExportEnd() {
  if (!Open()) return Error_;
  WriteTail();
  Flush();
  int code = Error_;
  if (code == 0 && !File_) code = EIO;
  if (code == 0) code = File_->Close();
  if (code == 0) code = File_->Commit();
  if (code != 0 && Error_ == 0) Error_ = code;
  File_.reset();  // removes the temporary file unless it was put in place
  return code;
}

void TCadExportWriter::ExportAbort() {
  File_.reset();
  Pending_ = false;
  Buffer_.clear();
}

// ---- Save Layers ------------------------------------------------------------------

TSaveLayerDialog::TSaveLayerDialog()
    : TForm("TSaveLayerDialog"), OKButton((BuildLayerGrid(), Add<TButton>("OKButton", "OK", mrOk))) {
  SetCaption("Save Layers");
  SetSizeable(false);
  OKButton.SetDefault(true);
}

// Three rows of ten boxes, above the button.
void TSaveLayerDialog::BuildLayerGrid() {
  TPanel& grid = Add<TPanel>("LayerGrid");
  grid.SetBevel(bvNone);
  for (int row = 0; row < 3; ++row) {
    TPanel& line = grid.Add<TPanel>("Row" + std::to_string(row));
    line.SetBevel(bvNone);
    line.SetFlow(TFlow::Horizontal);
    for (int column = 0; column < 10; ++column) {
      const int layer = row * 10 + column;
      Boxes[static_cast<std::size_t>(layer)] =
          &line.Add<TCheckBox>("Layer" + std::to_string(layer), std::to_string(layer));
    }
  }
}

void TSaveLayerDialog::SetLayerMask(uint32_t mask) {
  for (std::size_t i = 0; i < Boxes.size(); ++i) Boxes[i]->SetChecked((mask >> i & 1u) != 0);
}

uint32_t TSaveLayerDialog::GetLayerMask() const {
  uint32_t mask = 0;
  for (std::size_t i = 0; i < Boxes.size(); ++i)
    if (Boxes[i]->Checked()) mask |= 1u << i;
  return mask;
}

// ---- Cancel box ---------------------------------------------------------------------

TCancelDialog::TCancelDialog(uint8_t& cancelled)
    : TForm("TCancelDialog"),
      ImagePanel(Add<TPanel>("ImagePanel")),
      TextBox(Add<TPaintBox>("TextBox")),
      CancelButton(Add<TButton>("CancelButton", "Cancel")),
      Cancelled_(cancelled) {
  SetCaption("Cancel Cad Operation");
  SetColor(clWhite);
  ImagePanel.SetColor(clWhite);
  ImagePanel.SetCaption("");
  TextBox.SetColor(clWhite);
  TextBox.OnPaint = [this](TControl&) { TextBoxPaint(); };
  CancelButton.SetCancel(true);
  CancelButton.OnClick = [this](TControl&) { Cancelled_ = 1; };
}

void TCancelDialog::TextBoxPaint() {
  TCanvas& canvas = TextBox.Canvas();
  canvas.Font.Name = "Fixedsys";
  canvas.Brush.Style = bsSolid;
  canvas.Brush.Color = clWhite;
  canvas.FillRect({0, 0, TextBox.Width(), TextBox.Height()});
  int32_t n = 0;
  for (int32_t k = 1; k <= 10; ++k)
    if (!Lines[static_cast<std::size_t>(k - 1)].empty()) n = k;
  if (n == 0) return;
  const int32_t th = canvas.TextHeight("X");
  int32_t widest = 0;
  for (int32_t k = 0; k < n; ++k) widest = std::max(widest, canvas.TextWidth(Lines[static_cast<std::size_t>(k)]));
  // The box grows to its lines; it never shrinks.
  int32_t width = Width(), height = Height();
  if (n > 3 && height < th * (n - 3) + 140) height = th * (n - 3) + 140;
  if (width < TextBox.Left() + widest + 20) width = TextBox.Left() + widest + 20;
  if (width != Width() || height != Height()) SetClientSize(width, height);
  const int32_t y0 = n == 1 ? th : n == 2 ? th / 2 : 0;
  for (int32_t k = 1; k <= n; ++k)
    canvas.TextOut(5, th * (k - 1) + y0 + 5, Lines[static_cast<std::size_t>(k - 1)]);
}

TCancelBox::TCancelBox() : Dialog(Cancelled) {}

TCancelBox::~TCancelBox() { Dialog.Hide(); }

void TCancelBox::SetText(int32_t column, int32_t line, const std::string& text) {
  if (line < 1 || line > 10 || column < 1) return;
  std::string& old = Dialog.Lines[static_cast<std::size_t>(line - 1)];
  if (column == 1 && text.empty()) {
    old.clear();
  } else {
    const std::size_t start = static_cast<std::size_t>(column - 1);
    std::string tail = old.size() > start + text.size() ? old.substr(start + text.size()) : std::string();
    std::string head = old.substr(0, std::min(old.size(), start));
    head.resize(start, ' ');
    old = head + text + tail;
  }
  // The text box holds its lines: left to the layout it would be a sliver
  // that shows none of them.
  // Measured in the font the lines are painted in.
  TCanvas& canvas = Dialog.TextBox.Canvas();
  canvas.Font.Name = "Fixedsys";
  int32_t lines = 0, widest = 0;
  for (int32_t k = 1; k <= 10; ++k) {
    const std::string& shown = Dialog.Lines[static_cast<std::size_t>(k - 1)];
    if (shown.empty()) continue;
    lines = k;
    widest = std::max(widest, canvas.TextWidth(shown));
  }
  const int32_t lineHeight = canvas.TextHeight("X");
  const int32_t width = widest + 20, height = lineHeight * std::max(lines, 3) + 10;
  if (Dialog.TextBox.Width() < width) Dialog.TextBox.SetWidth(width);
  if (Dialog.TextBox.Height() < height) Dialog.TextBox.SetHeight(height);
  Dialog.TextBox.Invalidate();
}

void TCancelBox::Show() {
  Dialog.Show();
  Dialog.Realign();
  Dialog.TextBox.Repaint();
  ProcessMessages();
}

// ---- The run ----------------------------------------------------------------------

namespace {

// Hands every live CAD entity on a chosen layer to the writer, in store
// order; false when Cancel stopped it.
bool ExportEntities(TCadExportWriter& writer, uint32_t layerMask, const uint8_t& cancelled) {
  const double div = writer.InchesOnly() || CadExportInches ? ExportUnitsPerInch : ExportUnitsPerMm;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    if (cancelled != 0) return false;
    if (i % 1000 == 0) {
      ProcessMessages();
      if (cancelled != 0) return false;
    }
    const TEntitySlot* slot = DB->SlotAt(i);
    if (slot == nullptr || !SlotInMask(slot->Flags, layerMask)) continue;
    TCadEntity* e = DB->EntityAt(i);
    if (e == nullptr) continue;
    CurrentLayerForExport = LayerOfBit(slot->Flags);
    TIntPoint p1, p2, p3;
    e->GetPoint(p1);
    // A point has no second point: asking for one shows an error box.
    if (e->GetType() != etCadPoint) e->GetSecondPoint(p2);
    switch (e->GetType()) {
      case etCadPoint:
        writer.ExportPoint(p1.X / div, p1.Y / div);
        break;
      case etCadLine:
        writer.ExportLine(p1.X / div, p1.Y / div, p2.X / div, p2.Y / div);
        break;
      case etCadArc:
        e->GetThirdPoint(p3);
        writer.ExportArc(p1.X / div, p1.Y / div, p2.X / div, p2.Y / div, p3.X / div, p3.Y / div);
        break;
      case etCadCircle:
        writer.ExportCircle(p1.X / div, p1.Y / div, p2.X / div);
        break;
      default:
        break;
    }
  }
  return cancelled == 0;
}

void ReportExportFailure(int code, const std::string& fileName) {
  ReportIOError(code != 0 ? code : EIO, "exporting file " + fileName);
}

}  // namespace

bool RunCadExport(const std::string& fileName, TCadExportWriter& writer) {
  if (DB == nullptr) return false;
  std::unique_ptr<TCancelBox> box;
  try {
    box = std::make_unique<TCancelBox>();
  } catch (const std::bad_alloc&) {
    ErrorBox("Out of memory for file export.");
    return false;
  }
  box->Title = "Exporting file...";
  box->SetText(1, 1, "Exporting database in");
  box->SetText(1, 2, std::string(CadExportFormatNames[CadExportFormat < CadExportFormatNames.size()
                                                          ? CadExportFormat
                                                          : 0]) +
                         " format...");
  box->Show();
  ProcessMessages();

  if (!writer.ExportBegin(fileName)) {
    ReportExportFailure(writer.Error(), fileName);
    return false;
  }
  // Whatever ends the run early drops the output; the target stays as it was.
  struct TAbortGuard {
    TCadExportWriter& Writer;
    ~TAbortGuard() { Writer.ExportAbort(); }
  } guard{writer};
  if (const std::string warning = writer.OpenWarning(); !warning.empty()) MessageDlg(warning, mtWarning, mbOKOnly);

  uint32_t layerMask = 0;
  {
    TSaveLayerDialog layers;
    layers.SetLayerMask(DisplayedLayerMask);
    layers.ShowModal();
    layerMask = layers.GetLayerMask() | 0x80000000u;
  }
  if (!ExportEntities(writer, layerMask, box->Cancelled)) return false;
  if (const int code = writer.ExportEnd(); code != 0) {
    ReportExportFailure(code, fileName);
    return false;
  }
  SetApplicationHint(std::string(CadExportFormatNames[CadExportFormat < CadExportFormatNames.size()
                                                          ? CadExportFormat
                                                          : 0]) +
                     " file written: " + fileName);
  return true;
}

// ---- Format entries ---------------------------------------------------------------

void ExportDxfFile(const std::string& fileName) {
  if (!AskDrawingUnits(CadExportInches)) return;
  TDxfExportWriter writer;
  RunCadExport(fileName, writer);
}

void ExportGcaddFile(const std::string& fileName) {
  TGcaddExportWriter writer;
  RunCadExport(fileName, writer);
}

void ExportIgiPostFile(const std::string& fileName) {
  TIgiPostExportWriter writer;
  RunCadExport(fileName, writer);
}

void ExportHpglFile(const std::string& fileName) {
  THpglExportWriter writer;
  RunCadExport(fileName, writer);
}

// ---- Menu commands ----------------------------------------------------------------

namespace {

// The save dialog of both export commands; true on OK with the name, and
// the filter index in every case.
bool ExecuteExportDialog(const char* filter, std::string& fileName, int& filterIndex) {
  TSaveDialog dialog;
  dialog.InitialDir = DirectoryExists(CadExportPath) ? CadExportPath : ExecutionPath();
  dialog.FileName = "";
  dialog.Filter = filter;
  dialog.FilterIndex = filterIndex;
  dialog.Options = ofHideReadOnly;
  const bool ok = dialog.Execute();
  filterIndex = dialog.FilterIndex;
  if (ok) fileName = dialog.FileName;
  return ok;
}

void RunOdbExport(const std::string& path) {
  if (OdbExportEntry == nullptr) {
    NotAvailableYet(CadExportFormatNames[cfOdb]);
    return;
  }
  OdbExportEntry(path);
}

}  // namespace

void ExportCadFile() {
  std::string fileName;
  int filterIndex = CadExportFormat >= cfDxf && CadExportFormat <= cfOdb ? int(CadExportFormat) : int(cfDxf);
  bool ok = false;
  // A file of a drawing format is replaced only when the user says so; No
  // asks for another name. (An ODB++ model named by an existing matrix is
  // added to, not replaced.)
  for (;;) {
    ok = ExecuteExportDialog(CadExportFilterText, fileName, filterIndex);
    if (!ok || filterIndex == cfOdb || !FileExistsNoWild(fileName)) break;
    fileName = ExistingFileName(fileName);  // the file replaced, in its own spelling
    if (ConfirmOverwrite(fileName)) break;
  }
  CadExportFormat = static_cast<uint8_t>(filterIndex);
  TModalBracket bracket;
  THourGlassCursor hourGlass;
  if (!ok) return;
  CadExportPath = FolderOf(fileName);
  switch (CadExportFormat) {
    case cfDxf:
      ExportDxfFile(fileName);
      break;
    case cfGcadd:
      ExportGcaddFile(fileName);
      break;
    case cfIgiPost:
      ExportIgiPostFile(fileName);
      break;
    case cfHpgl:
      ExportHpglFile(fileName);
      break;
    case cfOdb:
      RunOdbExport(fileName);
      break;
    default:
      break;
  }
}

void ExportOdbFile() {
  std::string fileName;
  int filterIndex = 1;
  const bool ok = ExecuteExportDialog(OdbExportFilterText, fileName, filterIndex);
  TModalBracket bracket;
  THourGlassCursor hourGlass;
  if (!ok) return;
  CadExportPath = FolderOf(fileName);
  if (filterIndex == 1) RunOdbExport(fileName);
}
