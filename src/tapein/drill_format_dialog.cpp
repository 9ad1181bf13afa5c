#include "tapein/drill_format_dialog.h"

#include <algorithm>

#include "foundation/file_viewer.h"
#include "foundation/utilities.h"
#include "tapein/drill_format_guess.h"
#include "model/view_services.h"

// ---- Shared controls ------------------------------------------------------------------

TExcellonFormatForm::TExcellonFormatForm(const std::string& className)
    : TForm(className),
      DigitsPanel(Add<TPanel>("DigitsPanel", " Digits   ")),
      IntegerPanel(DigitsPanel.Add<TLabel>("IntegerPanel", "&Integer")),
      IntegerEdit(DigitsPanel.Add<TSpinEdit>("IntegerEdit")),
      DecimalPanel(DigitsPanel.Add<TLabel>("DecimalPanel", "&Decimal")),
      DecimalEdit(DigitsPanel.Add<TSpinEdit>("DecimalEdit")),
      UnitGroup(Add<TRadioGroup>("UnitGroup", "Units")),
      DecimalGroup(Add<TRadioGroup>("DecimalGroup", "Zeros Used")),
      AxisGroup(Add<TRadioGroup>("AxisGroup", "Axis Version")),
      AbsoluteGroup(Add<TRadioGroup>("AbsoluteGroup", "Coordinate Mode")),
      BlockDeleteGroup(Add<TRadioGroup>("BlockDeleteGroup", "Block Delete")),
      OptionPanel(Add<TPanel>("OptionPanel")),
      DefaultCheckBox(Add<TCheckBox>("DefaultCheckBox", "&Save Defaults")),
      ButtonPanel(Add<TPanel>("ButtonPanel")),
      OKButton(ButtonPanel.Add<TButton>("OKButton", "OK", mrOk)),
      CancelButton(ButtonPanel.Add<TButton>("CancelButton", "Cancel", mrCancel)),
      ViewButton(ButtonPanel.Add<TButton>("ViewButton", "&View File")) {
  SetSizeable(false);
  DigitsPanel.SetFlow(TFlow::Horizontal);
  IntegerEdit.SetRange(1, 4);
  IntegerEdit.SetValue(2);
  DecimalEdit.SetRange(1, MostFormatDecimals);
  DecimalEdit.SetValue(4);
  UnitGroup.SetItems({"I&nches", "&Millimeters"});
  DecimalGroup.SetItems({"&Leading", "&Trailing", "Bot&h"});
  AxisGroup.SetItems({"&1", "&2", "&3", "&4", "&5", "&6", "&7", "&8"});
  AxisGroup.SetColumns(4);
  AbsoluteGroup.SetItems({"&Absolute", "In&cremental"});
  BlockDeleteGroup.SetItems({"On", "Off"});
  OptionPanel.SetBevel(bvNone);
  ButtonPanel.SetFlow(TFlow::Horizontal);
  ButtonPanel.SetBevel(bvNone);
  OKButton.SetDefault(true);
  CancelButton.SetCancel(true);
  IntegerPanel.OnClick = [this](TControl&) { IntegerPanelClick(); };
  DecimalPanel.OnClick = [this](TControl&) { DecimalPanelClick(); };
  ViewButton.OnClick = [this](TControl&) { ViewButtonClick(); };
}

void TExcellonFormatForm::ViewButtonClick() {
  TViewFileDialog viewer;
  ViewFile(viewer, FileName);
  viewer.ShowModal();
}

int32_t TExcellonFormatForm::EditDigits(const TSpinEdit& edit) {
  const int32_t value = StrToIntLenient(edit.Text());
  if (value <= 0) return 0;
  return std::clamp<int32_t>(value, edit.MinValue(), edit.MaxValue());
}

// ---- Excellon-to-Drill -------------------------------------------------------------------

TDrillInputFormatDialog::TDrillInputFormatDialog()
    : TExcellonFormatForm("TDrillInputFormatDialog"),
      ResolveG93Group(OptionPanel.Add<TRadioGroup>("ResolveG93Group", "Resolve G93")),
      ShowMessagesCheckBox(OptionPanel.Add<TCheckBox>("ShowMessagesCheckBox", "Show Messages")) {
  SetCaption("Excellon-to-Drill");
  // Alt+N is Resolve G93's No here: Inches takes I.
  UnitGroup.SetItems({"&Inches", "&Millimeters"});
  ResolveG93Group.SetItems({"&No", "&Yes"});
  UnitGroup.OnClick = [this](TControl&) { UnitGroupClick(); };
  OKButton.OnClick = [this](TControl&) { OKButtonClick(); };
}

void TDrillInputFormatDialog::FillControls() {
  UnitGroup.SetItemIndex(Work.Metric ? 1 : 0);
  DecimalGroup.SetItemIndex(Work.ZerosUsed);
  IntegerEdit.SetValue(Work.Metric ? Work.MetricIntegerDigits : Work.IntegerDigits);
  DecimalEdit.SetValue(Work.Metric ? Work.MetricDecimalDigits : Work.DecimalDigits);
  AxisGroup.SetItemIndex(Work.Version - 1);
  AbsoluteGroup.SetItemIndex(Work.Absolute ? 0 : 1);
  BlockDeleteGroup.SetItemIndex(Work.BlockDelete ? 0 : 1);
  ResolveG93Group.SetItemIndex(Work.ResolveG93 ? 1 : 0);
  ShowMessagesCheckBox.SetChecked(Work.ShowMessages);
}

void TDrillInputFormatDialog::UnitGroupClick() {
  // Digits typed for the other unit and not confirmed are dropped.
  Work.Metric = UnitGroup.ItemIndex() == 1;
  IntegerEdit.SetValue(Work.Metric ? Work.MetricIntegerDigits : Work.IntegerDigits);
  DecimalEdit.SetValue(Work.Metric ? Work.MetricDecimalDigits : Work.DecimalDigits);
}

void TDrillInputFormatDialog::OKButtonClick() {
  ReadSharedControls(Work, DrillInputFormat);
  Work.ResolveG93 = ResolveG93Group.ItemIndex() == 1;
  Work.ShowMessages = ShowMessagesCheckBox.Checked();
  DrillInputFormat = Work;
  if (DefaultCheckBox.Checked()) SaveDrillFormatDefaults(DrillInputFormat, false);
}

bool RunDrillFormatDialog(const std::string& fileName) {
  TDrillInputFormatDialog dialog;
  // Pre-filled with what the tape states or shows, over the stored format.
  dialog.Work = PrefilledTapeFormat(fileName, DrillInputFormat);
  dialog.FileName = fileName.substr(0, 255);
  TModalBracket bracket;
  dialog.FillControls();
  return dialog.ShowModal() == mrOk;
}
