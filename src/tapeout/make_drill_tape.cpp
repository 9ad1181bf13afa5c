#include "tapeout/make_drill_tape.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/step_repeat.h"
#include "model/drill_tools.h"
#include "platform/events.h"
#include "platform/forms.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tapeout/drill_gerber_writer.h"
#include "tapeout/drill_tape_writer.h"
#include "model/tool_tables.h"
#include "tapeout/tooling_hit_marks.h"
#include "model/view_services.h"

uint32_t DrillPathTimeBudget = 2000;

namespace {

std::function<void(bool)> SlotAlgorithmDialog;

// The thickest panel the dialog takes: ten inches, a length in either unit.
constexpr int32_t kMostThickness = 254000000;

// A length typed in the tape's unit, in database units; false when the text
// is not a number or the length is negative or beyond kMostThickness (then
// *beyond is set).
bool ReadLength(const std::string& text, bool metric, int32_t& units, bool* beyond = nullptr) {
  const std::string t = TrimBlanks(text);
  if (t.empty()) return false;
  char* end = nullptr;
  const double value = std::strtod(t.c_str(), &end);
  if (end == t.c_str() || *end != '\0' || !std::isfinite(value)) return false;
  const double scaled = std::round(value * UnitsFactorOf(metric));
  if (value < 0 || scaled > kMostThickness) {
    if (beyond != nullptr) *beyond = true;
    return false;
  }
  units = static_cast<int32_t>(scaled);
  return true;
}

std::string LengthText(int32_t units, bool metric) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, metric ? "%.3f" : "%.4f",
                static_cast<double>(units) / UnitsFactorOf(metric));
  return buffer;
}

}  // namespace

TMakeDrillTapeDialog::TMakeDrillTapeDialog()
    : TExcellonFormatForm("TMakeDrillTapeDialog"),
      M48CheckBox(OptionPanel.Add<TCheckBox>("M48CheckBox", "O&utput M48 Header")),
      G93CheckBox(OptionPanel.Add<TCheckBox>("G93CheckBox", "Output &G93")),
      ToolDiametersCheckBox(OptionPanel.Add<TCheckBox>("ToolDiametersCheckBox", "Output Tool &Diameters")),
      FirstLastCheckBox(OptionPanel.Add<TCheckBox>("FirstLastCheckBox", "Output &First-Last Hit")),
      MarkFirstCheckBox(OptionPanel.Add<TCheckBox>("MarkFirstCheckBox", "Mark first tooling hits")),
      MarkLastCheckBox(OptionPanel.Add<TCheckBox>("MarkLastCheckBox", "Mark last tooling hits")),
      HardLinkCheckBox(OptionPanel.Add<TCheckBox>("HardLinkCheckBox", "Hard Lin&k Tools")),
      ExpandSlotsCheckBox(OptionPanel.Add<TCheckBox>("ExpandSlotsCheckBox", "Expand Sl&ots")),
      ExpandCirclesCheckBox(OptionPanel.Add<TCheckBox>("ExpandCirclesCheckBox", "Expand Ci&rcles")),
      ExpandTextCheckBox(OptionPanel.Add<TCheckBox>("ExpandTextCheckBox", "Expand Drilled Te&xt")),
      ExpandStepsCheckBox(OptionPanel.Add<TCheckBox>("ExpandStepsCheckBox", "&Expand Steps")),
      PinAvoidanceCheckBox(OptionPanel.Add<TCheckBox>("PinAvoidanceCheckBox", "Tooling Pin A&voidance")),
      ToolTableCheckBox(OptionPanel.Add<TCheckBox>("ToolTableCheckBox", "&Write Tool Table File")),
      GerberCheckBox(OptionPanel.Add<TCheckBox>("GerberCheckBox", "Output Ger&ber File")),
      // Each edit under a label saying what it holds.
      GerberPathEdit((OptionPanel.Add<TLabel>("GerberPathLabel", "Gerber Path"),
                      OptionPanel.Add<TEdit>("GerberPathEdit"))),
      ThicknessEdit((OptionPanel.Add<TLabel>("ThicknessLabel", "Thickness"),
                     OptionPanel.Add<TEdit>("ThicknessEdit"))),
      OptimizerGroup(OptionPanel.Add<TRadioGroup>("OptimizerGroup", "Optimizer")),
      CircleSlotButton(ButtonPanel.Add<TButton>("CircleSlotButton", "C&ircle/Slot")) {
  SetCaption("Make Drill Tape");
  // The options stand in a column of their own beside the format groups: in
  // one column the dialog would be taller than many screens.
  OptionPanel.SetAlign(alRight);
  DecimalGroup.SetItems({"&Leading", "&Trailing", "Bot&h", "Decimal &Point"});
  ViewButton.SetVisible(false);
  GerberPathEdit.SetMaxLength(255);
  std::vector<std::string> names(OptimizerNames, OptimizerNames + kOptimizerCount);
  for (int i = 0; i < kOptimizerCount; ++i) names[i] = IntToShortStr(i) + " " + names[i];
  OptimizerGroup.SetItems(names);
  OptimizerGroup.SetColumns(2);
  CircleSlotButton.SetEnabled(static_cast<bool>(SlotAlgorithmDialog));
  UnitGroup.OnClick = [this](TControl&) { UnitGroupClick(); };
  CircleSlotButton.OnClick = [this](TControl&) { CircleSlotButtonClick(); };
  OKButton.OnClick = [this](TControl&) {
    if (!OKButtonClick()) SetModalResult(mrNone);
  };
}

void TMakeDrillTapeDialog::FillControls() {
  UnitGroup.SetItemIndex(Format.Metric ? 1 : 0);
  DecimalGroup.SetItemIndex(std::min<int>(Format.ZerosUsed, 3));
  IntegerEdit.SetValue(Format.Metric ? Format.MetricIntegerDigits : Format.IntegerDigits);
  DecimalEdit.SetValue(Format.Metric ? Format.MetricDecimalDigits : Format.DecimalDigits);
  AxisGroup.SetItemIndex(std::clamp<int>(Format.Version, 1, 8) - 1);
  AbsoluteGroup.SetItemIndex(Format.Absolute ? 0 : 1);
  BlockDeleteGroup.SetItemIndex(Format.BlockDelete ? 0 : 1);
  M48CheckBox.SetChecked(Options.OutputM48Header);
  G93CheckBox.SetChecked(Options.OutputG93);
  ToolDiametersCheckBox.SetChecked(Options.OutputToolDiameters);
  FirstLastCheckBox.SetChecked(Options.OutputFirstLastHit);
  MarkFirstCheckBox.SetChecked(Options.MarkFirstToolingHits);
  MarkLastCheckBox.SetChecked(Options.MarkLastToolingHits);
  HardLinkCheckBox.SetChecked(Options.HardLinkTools);
  ExpandSlotsCheckBox.SetChecked(Options.ExpandSlots);
  ExpandCirclesCheckBox.SetChecked(Options.ExpandCircles);
  ExpandTextCheckBox.SetChecked(Options.ExpandDrilledText);
  ExpandStepsCheckBox.SetChecked(Options.ExpandSteps);
  PinAvoidanceCheckBox.SetChecked(Options.DoToolingPinAvoidance);
  ToolTableCheckBox.SetChecked(Options.WriteToolTableFile);
  GerberCheckBox.SetChecked(Options.OutputGerberFile);
  GerberPathEdit.SetText(Options.GerberPath);
  ThicknessEdit.SetText(LengthText(Options.Thickness, Format.Metric));
  OptimizerGroup.SetItemIndex(Options.Optimizer < kOptimizerCount ? Options.Optimizer : 1);
}

void TMakeDrillTapeDialog::UnitGroupClick() {
  int32_t thickness = Options.Thickness;
  const bool wasMetric = Format.Metric;
  ReadLength(ThicknessEdit.Text(), wasMetric, thickness);
  Format.Metric = UnitGroup.ItemIndex() == 1;
  IntegerEdit.SetValue(Format.Metric ? Format.MetricIntegerDigits : Format.IntegerDigits);
  DecimalEdit.SetValue(Format.Metric ? Format.MetricDecimalDigits : Format.DecimalDigits);
  ThicknessEdit.SetText(LengthText(thickness, Format.Metric));
}

void TMakeDrillTapeDialog::CircleSlotButtonClick() {
  if (SlotAlgorithmDialog) SlotAlgorithmDialog(UnitGroup.ItemIndex() == 1);
}

bool TMakeDrillTapeDialog::OKButtonClick() {
  const TDrillFormatRecord stored = Format;
  ReadSharedControls(Format, stored);
  int32_t thickness = 0;
  bool beyond = false;
  if (!ReadLength(ThicknessEdit.Text(), Format.Metric, thickness, &beyond)) {
    ErrorBox("The thickness \"" + ThicknessEdit.Text() + "\" is not a valid length" +
             (beyond ? ": it must be between 0 and " + LengthText(kMostThickness, Format.Metric) +
                           (Format.Metric ? " mm." : " inches.")
                     : "."));
    ThicknessEdit.SetFocus();
    return false;
  }
  Options.Thickness = thickness;
  Options.OutputM48Header = M48CheckBox.Checked();
  Options.OutputG93 = G93CheckBox.Checked();
  Options.OutputToolDiameters = ToolDiametersCheckBox.Checked();
  Options.OutputFirstLastHit = FirstLastCheckBox.Checked();
  Options.MarkFirstToolingHits = MarkFirstCheckBox.Checked();
  Options.MarkLastToolingHits = MarkLastCheckBox.Checked();
  Options.HardLinkTools = HardLinkCheckBox.Checked();
  Options.ExpandSlots = ExpandSlotsCheckBox.Checked();
  Options.ExpandCircles = ExpandCirclesCheckBox.Checked();
  Options.ExpandDrilledText = ExpandTextCheckBox.Checked();
  Options.ExpandSteps = ExpandStepsCheckBox.Checked();
  Options.DoToolingPinAvoidance = PinAvoidanceCheckBox.Checked();
  Options.WriteToolTableFile = ToolTableCheckBox.Checked();
  Options.OutputGerberFile = GerberCheckBox.Checked();
  Options.GerberPath = GerberPathEdit.Text().substr(0, 255);
  Options.Optimizer = static_cast<uint8_t>(std::clamp(OptimizerGroup.ItemIndex(), 0, kOptimizerCount - 1));
  return true;
}

void SetSlotAlgorithmDialog(std::function<void(bool metric)> dialog) {
  SlotAlgorithmDialog = std::move(dialog);
}

bool ExecuteMakeDrillTapeDialog() {
  if (DRDB == nullptr) return false;
  TMakeDrillTapeDialog dialog;
  dialog.Format = DrillOutputFormat;
  dialog.Options = DRDB->MakeTapeDefaults;
  dialog.FillControls();
  TModalBracket bracket;
  if (dialog.ShowModal() != mrOk) return false;
  DrillOutputFormat = dialog.Format;
  DRDB->MakeTapeDefaults = dialog.Options;
  if (dialog.DefaultCheckBox.Checked()) {
    SaveDrillFormatDefaults(DrillOutputFormat, true);
    SaveMakeTapeDefaults(DRDB->MakeTapeDefaults);
  }
  return true;
}

bool WriteDrillTapeFile(const std::string& fileName, uint8_t filter) {
  if (DRDB == nullptr) return false;
  const TMakeTapeDefaults& options = DRDB->MakeTapeDefaults;
  THourGlassCursor hourglass;
  TDrillTapeProgram program =
      CollectDrillTape(options, DrillTapeLayerMask(), DrillOutputFormat);
  if (options.MarkFirstToolingHits) program.FirstMarks = ToolingMarks.First;
  if (options.MarkLastToolingHits) program.LastMarks = ToolingMarks.Last;
  if (program.Tools.empty()) {
    ErrorBox("There are no drill hits to write on the displayed drill layers.");
    return false;
  }
  TOptimizerOptions order;
  order.Method = options.Optimizer;
  order.BudgetMilliseconds = DrillPathTimeBudget;
  // Ordering may take a while: the status box's Cancel stops it, and then
  // nothing is written.
  TStatusBracket status("Making drill tape");
  bool cancelled = false;
  order.Cancelled = [&cancelled]() {
    if (!cancelled) {
      ProcessMessages();
      ViewServices().UpdateStatus("Ordering the hits", 50, cancelled);
    }
    return cancelled;
  };
  if (!OrderDrillTape(program, order) || cancelled) return false;
  status.Close();
  if (options.OutputFirstLastHit)
    AddFirstLastHitCoupon(program, DRDB->FirstLastHitDefaults, CouponOrigin);
  if (!WriteDrillTape(program, DrillOutputFormat, options, filter, fileName)) return false;
  DrillTapeFileName = fileName;
  // The tool table goes under the tape's name; the hint strip then says
  // what the tape holds.
  if (options.WriteToolTableFile) SaveDrillToolTable();
  // The hint strip says what went out (the counts first: a long path is
  // cut at the strip's end).
  const int64_t hits = program.HitCount();
  const std::size_t tools = program.Tools.size();
  SetApplicationHint("Drill tape written: " + std::to_string(hits) + (hits == 1 ? " hit, " : " hits, ") +
                     std::to_string(tools) + (tools == 1 ? " tool, " : " tools, ") + fileName);
  // The tape is written; a Gerber file that fails says so on its own.
  if (options.OutputGerberFile)
    WriteDrillGerberFile(DrillGerberFileName(options.GerberPath, fileName), DrillOutputFormat.Metric);
  return true;
}

namespace {
// False, with the box, when a hole of the layers written has a step pattern
// that did not expand whole: its copies stop short, and the tape would
// drill fewer holes than the job asks for.
bool DrillStepsExpandWhole(uint32_t layerMask) {
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    TDrillEntity* e = DRDB->EntityAt(i);
    if (e == nullptr || e->GetStepObj() == nullptr || e->GetStepObj()->ChainWhole() ||
        !SlotInMask(DRDB->WordAt(i), layerMask | 0x80000000u) || !DrillToolActive(e->GetToolNumber()))
      continue;
    TIntPoint at;
    e->GetPoint(at);
    const double unit = UnitsPerDisplayUnit;
    ErrorBox("The step pattern of the hole at X " + RealToStr(at.X / unit) + " Y " + RealToStr(at.Y / unit) +
             " cannot be expanded: it makes more than " +
             IntToStrGrouped(kMaxStepCopies) + " copies or moves outside the coordinate range.\r\n"
             "The tape was not written: delete or change that pattern first.");
    return false;
  }
  return true;
}

// The items of the tape as the windows of the tooling hits catch them: by
// where each starts.
std::vector<TMarkableHit> MarkableHits(const TMakeTapeDefaults& options) {
  const TDrillTapeProgram program = CollectDrillTape(options, DrillTapeLayerMask(), DrillOutputFormat);
  std::vector<TMarkableHit> hits;
  for (const TDrillTapeTool& tool : program.Tools)
    for (const TDrillTapeItem& item : tool.Items)
      hits.push_back({item.Points.front(), static_cast<int64_t>(item.HitCount())});
  return hits;
}

// Whether the layers written hold a hole of an active tool with a step
// pattern (stepped) or without one.
bool AnyTapeHole(uint32_t layerMask, bool stepped) {
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    TDrillEntity* e = DRDB->EntityAt(i);
    if (e != nullptr && (e->GetStepObj() != nullptr) == stepped &&
        SlotInMask(DRDB->WordAt(i), layerMask | 0x80000000u) && DrillToolActive(e->GetToolNumber()))
      return true;
  }
  return false;
}

// Why a tape of hits gets no coupon hit though Output First-Last Hit is
// ticked; empty when it gets one (or has no hit at all).
std::string CouponLeftOut(const TMakeTapeDefaults& options) {
  const uint32_t mask = DrillTapeLayerMask();
  if (!AnyTapeHole(mask, false) && !AnyTapeHole(mask, true)) return "";
  const std::string written = ": the drill tape is written without coupon hits.";
  // The tape is collected only when a flagged tool may be on it.
  bool flagged = false;
  for (int32_t t = 1; t <= kToolCount && !flagged; ++t) flagged = ActiveTools[t] && ToolTable[t].FirstLastHit != 0;
  if (flagged) {
    flagged = false;
    for (const TDrillTapeTool& tool : CollectDrillTape(options, mask, DrillOutputFormat).Tools)
      flagged = flagged || (ValidToolNumber(tool.Tool) && ToolTable[tool.Tool].FirstLastHit != 0);
  }
  if (!flagged)
    return "No tool of the tape is marked for the first/last hit coupon (the First/Last column of Tools > Edit "
           "Tool Table)" + written;
  const TFirstLastHitDefaults& coupon = DRDB->FirstLastHitDefaults;
  // No dialog edits the coupon settings: the box names their values in the
  // settings file, read when the program starts and written over when it
  // ends.
  if (!coupon.FirstHit && !coupon.LastHit)
    return "The first/last hit coupon settings ask for neither a first nor a last hit" + written +
           " No dialog sets them: with the program closed, set \"First Hit\" or \"Last Hit\" to dword:00000001 "
           "under [" + std::string(RegistryBaseKey) + "\\First Last Hit Coupon Defaults] in the settings file " +
           RegistryFilePath() + ".";
  return "";
}

}  // namespace

bool MakeDrillTape() {
  if (DRDB == nullptr || !ExecuteMakeDrillTapeDialog()) return false;
  if (!DrillStepsExpandWhole(DrillTapeLayerMask())) return false;
  // The tooling hits are marked among the unstepped hits; a panel whose
  // holes are all stepped has none, and the tape goes out unmarked.
  const TMakeTapeDefaults& options = DRDB->MakeTapeDefaults;
  ToolingMarks = TToolingMarks{};
  if (options.MarkFirstToolingHits || options.MarkLastToolingHits) {
    if (!AnyTapeHole(DrillTapeLayerMask(), false)) {
      if (ToolingMarkViewAvailable() && AnyTapeHole(DrillTapeLayerMask(), true))
        InformationBox("Every hole on the displayed drill layers has a step pattern, and tooling hits are "
                       "marked among the holes without one: the drill tape is written without marked "
                       "tooling hits.");
    } else if (!MarkToolingHits(options.MarkFirstToolingHits, options.MarkLastToolingHits,
                                MarkableHits(options))) {
      if (ToolingMarks.Stopped)
        InformationBox("The marking of the tooling hits was stopped: no drill tape was written.");
      return false;
    }
  }
  if (options.OutputFirstLastHit) {
    const std::string leftOut = CouponLeftOut(options);
    if (!leftOut.empty()) {
      InformationBox(leftOut);
    } else if (!PickCouponOrigin()) {
      if (CouponPickStopped())
        InformationBox("The pick of the coupon corner was stopped: no drill tape was written.");
      return false;
    }
  }
  std::string name = !DrillTapeFileName.empty() ? DrillTapeFileName : DrillMakeTapePath + "*.*";
  uint8_t filter = DrillExportFilter;
  while (true) {
    TModalBracket bracket;
    if (!ExecuteExportFilterDialog("Save Drill Tape as:", name, 255, filter)) return false;
    // A name typed without an extension is a drill tape's.
    if (name.find('.', name.find_last_of("\\/") + 1) == std::string::npos) name += ".DRL";
    if (!FileExistsNoWild(name)) break;
    name = ExistingFileName(name);  // the file replaced, in its own spelling
    if (ConfirmOverwrite(name)) break;
    name = DrillMakeTapePath + "*.*";
  }
  if (!WriteDrillTapeFile(name, filter)) return false;
  DrillMakeTapePath = FolderOf(name);
  DrillExportFilter = filter;
  return true;
}
