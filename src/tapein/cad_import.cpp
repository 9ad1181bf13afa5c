#include "tapein/cad_import.h"

#include <algorithm>
#include <cmath>

#include "foundation/display_units.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/editor_state.h"
#include "model/silent_drawing.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "tapein/drill_format_guess.h"
#include "tapein/drill_import.h"
#include "tapein/rout_import.h"

uint8_t CadImportLayer = 0;

// ---- Excellon-to-CAD dialog ------------------------------------------------------------

TCadInputFormatDialog::TCadInputFormatDialog()
    : TExcellonFormatForm("TCadInputFormatDialog"),
      ClockWiseGroup(OptionPanel.Add<TRadioGroup>("ClockWiseGroup", "CCW")),
      CompCheckBox(OptionPanel.Add<TCheckBox>("CompCheckBox", "&Use Rout Compensation")) {
  SetCaption("Excellon-to-CAD");
  ClockWiseGroup.SetItems({"O&ff", "&On"});
  OKButton.OnClick = [this](TControl&) { OKButtonClick(); };
}

void TCadInputFormatDialog::FillControls() {
  UnitGroup.SetItemIndex(Work.Metric ? 1 : 0);
  DecimalGroup.SetItemIndex(Work.ZerosUsed);
  IntegerEdit.SetValue(Work.Metric ? Work.MetricIntegerDigits : Work.IntegerDigits);
  DecimalEdit.SetValue(Work.Metric ? Work.MetricDecimalDigits : Work.DecimalDigits);
  AxisGroup.SetItemIndex(Work.Version - 1);
  AbsoluteGroup.SetItemIndex(Work.Absolute ? 0 : 1);
  BlockDeleteGroup.SetItemIndex(Work.BlockDelete ? 0 : 1);
  ClockWiseGroup.SetItemIndex(Work.CounterClockwise ? 1 : 0);
  CompCheckBox.SetChecked(Work.UseCutterCompensation);
}

void TCadInputFormatDialog::OKButtonClick() {
  ReadSharedControls(Work, CadInputFormat);
  Work.CounterClockwise = ClockWiseGroup.ItemIndex() == 1;
  Work.UseCutterCompensation = CompCheckBox.Checked();
  CadInputFormat = Work;
  if (DefaultCheckBox.Checked()) SaveCadFormatDefaults(CadInputFormat, false);
}

bool RunCadFormatDialog(const std::string& fileName) {
  TCadInputFormatDialog dialog;
  // Pre-filled with what the tape states or shows, over the stored format.
  dialog.Work = PrefilledTapeFormat(fileName, CadInputFormat);
  dialog.FileName = fileName.substr(0, 255);
  TModalBracket bracket;
  dialog.FillControls();
  return dialog.ShowModal() == mrOk;
}

// ---- The reader ----------------------------------------------------------------------------

namespace {

int32_t CadDigits(const TCadFormatRecord& f, bool integer) {
  if (f.Metric) return integer ? f.MetricIntegerDigits : f.MetricDecimalDigits;
  return integer ? f.IntegerDigits : f.DecimalDigits;
}

}  // namespace

TCadTapeReader::TCadTapeReader(const std::string& fileName)
    : TNCReader(fileName, "", ExecutionPath() + "SCRATCH\\", 1,
                CadInputFormat.ZerosUsed == 0 || CadInputFormat.ZerosUsed == 2,
                CadDigits(CadInputFormat, true), CadDigits(CadInputFormat, false),
                !CadInputFormat.Absolute, CadInputFormat.UseCutterCompensation,
                CadInputFormat.Metric, CadInputFormat.Version, CadInputFormat.BlockDelete,
                CadInputFormat.CounterClockwise) {}

void TCadTapeReader::Poll(bool& abort) {
  if (!CancelBox.TimeToLook(GlobalRec ? GlobalRec->LinesRead + GlobalRec->TapeEmits : 0)) return;
  ProcessMessages();
  if (CancelBox.Cancelled(PercentRead())) abort = true;
}

void TCadTapeReader::Error(std::string text) { Errors.push_back(std::move(text)); }

void TCadTapeReader::Hit(int32_t x, int32_t y, int32_t size, int32_t, int32_t, uint8_t) {
  DB->AddCircleOnLayer(x, y, size / 2, CadImportLayer);
}

void TCadTapeReader::Circle(int32_t x, int32_t y, int32_t size, int32_t diameter, int32_t,
                            int32_t) {
  const int32_t r = diameter / 2;
  DB->AddCircleOnLayer(x, y, ClampCompToInt(int64_t{r} - size), CadImportLayer);
  DB->AddCircleOnLayer(x, y, r, CadImportLayer);
}

void TCadTapeReader::Slot(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size, int32_t,
                          int32_t, uint8_t) {
  AddSlotOutline(x0, y0, x1, y1, size, CadImportLayer);
}

void TCadTapeReader::LineMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t, int32_t,
                              int32_t, uint8_t) {
  DB->AddLineOnLayer(x0, y0, x1, y1, CadImportLayer);
}

void TCadTapeReader::ArcMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx,
                             int32_t cy, int32_t, bool clockwise, int32_t, int32_t) {
  // CAD arcs run counter-clockwise from start to end.
  if (clockwise) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  DB->AddArcOnLayer({x0, y0}, {x1, y1}, {cx, cy}, CadImportLayer);
}

void AddSlotOutline(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size, uint8_t layer) {
  const int32_t r = size / 2;
  // n: the offset from the axis to the left side when walking from the first
  // end to the second.
  int32_t nx = 0, ny = 0;
  if (x0 == x1) {
    if (y0 < y1) {
      std::swap(x0, x1);
      std::swap(y0, y1);
    }
    nx = r;  // walking down: the left side is +X
  } else if (y0 == y1) {
    if (x0 < x1) {
      std::swap(x0, x1);
      std::swap(y0, y1);
    }
    ny = -r;  // walking towards -X: the left side is -Y
  } else {
    const double dx = double(x1) - x0, dy = double(y1) - y0;
    const double length = std::hypot(dx, dy);
    nx = ClampCompToInt(int64_t(std::nearbyint(-dy / length * r)));
    ny = ClampCompToInt(int64_t(std::nearbyint(dx / length * r)));
  }
  auto at = [](int32_t v, int32_t d) { return ClampCompToInt(int64_t{v} + d); };
  // The right side first (x0 - r of a vertical slot, y0 + r of a horizontal
  // one), then the left side.
  DB->AddLineOnLayer(at(x0, -nx), at(y0, -ny), at(x1, -nx), at(y1, -ny), layer);
  DB->AddLineOnLayer(at(x0, nx), at(y0, ny), at(x1, nx), at(y1, ny), layer);
  // Half circles bulging outwards, counter-clockwise: around the first end
  // from its left point to its right point, around the second from right to
  // left.
  DB->AddArcOnLayer({at(x0, nx), at(y0, ny)}, {at(x0, -nx), at(y0, -ny)}, {x0, y0}, layer);
  DB->AddArcOnLayer({at(x1, -nx), at(y1, -ny)}, {at(x1, nx), at(y1, ny)}, {x1, y1}, layer);
}

// ---- The import ------------------------------------------------------------------------------

namespace {

// Takes out the entities from first on (an import that was not journalled).
void WithdrawCadEntitiesFrom(int32_t first) {
  for (int32_t i = CadEntityCount; i >= std::max(1, first); --i) {
    TEntitySlot* s = EntityArray->GetSlot(i);
    delete s->Entity;
    *s = TEntitySlot{};
  }
  const int32_t count = std::max(0, first - 1);
  if (count < CadEntityCount) {
    CadEntityCount = count;
    EntityArray->SetCount(count);
  }
}

}  // namespace

bool ImportExcellonToCad(const std::string& fileName) {
  if (DB == nullptr) return false;
  std::vector<std::string> errors;
  if (TapeHoldsNoHoles(fileName)) {
    ReportTapeWithoutHoles(fileName);
    return false;
  }
  CadImportLayer = 0;
  DisplayedLayerMask |= 1u << CadImportLayer;
  if (!RunCadFormatDialog(fileName)) return false;
  TModalBracket bracket;
  const int32_t first = CadEntityCount + 1;
  const bool modifiedBefore = DatabaseModified;
  TUndoJournal* journal = ActiveUndo;
  bool stopped = false;
  TTapeFaults faults;
  {
    // The import is all or nothing: its entities are journalled only once it
    // is kept. Nor are they drawn one by one: the redraw at the end shows
    // what was kept.
    TSilentDrawing silent;
    ActiveUndo = nullptr;
    TCadTapeReader reader(fileName);
    bool failed = false;
    reader.Run(failed);
    reader.Done();
    ActiveUndo = journal;
    stopped = reader.Abort || !reader.Errors.empty() || !FileExistsNoWild(fileName);
    if (stopped) {
      WithdrawCadEntitiesFrom(first);
      DatabaseModified = modifiedBefore;
      reader.Errors.push_back("The import was withdrawn; the drawing is unchanged.");
    }
    errors = reader.Errors;
    faults = std::move(reader.Faults);
  }
  // A tape read to its end that drew nothing: said, as the other imports
  // say it, and not taken for an import.
  if (!stopped && CadEntityCount < first) {
    ReportTapeDrawsNothing(fileName, faults);
    return false;
  }
  if (!stopped && ActiveUndo != nullptr) {
    for (int32_t i = first; i <= CadEntityCount; ++i) ActiveUndo->RecordAdd(i);
    ActiveUndo->BeginOperation("Import file");
  }
  if (stopped) {
    std::string text = "The file could not be read to its end:";
    for (const std::string& e : errors) text += "\r\n" + e;
    if (errors.size() == 1) text += "\r\n" + fileName;
    ErrorBox(text);
  }
  ViewServices().RedrawView();
  if (!stopped && !faults.Empty()) ShowTapeFaults(faults);
  return !stopped;
}

double DetectExcellonFile(const std::string& fileName) { return DetectExcellon(fileName, false); }
