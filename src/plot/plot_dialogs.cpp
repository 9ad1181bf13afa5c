#include "plot/plot_dialogs.h"

#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "model/view_services.h"
#include "platform/message_box.h"
#include "platform/printer.h"
#include "plot/plot_device.h"

namespace {

const std::vector<std::string> ScaleTexts = {"1/4  : 1", "1/2  : 1", "   1 : 1", "   2 : 1",
                                             "   4 : 1"};

void AddButtons(TForm& form, bool cancel) {
  auto& row = form.Add<TPanel>("ButtonRow");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  row.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  if (cancel) row.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
}

void AddOrientation(TForm& form) {
  auto& o = form.Add<TRadioGroup>("OrientationRadioGroup", "Orientation");
  o.SetItems({"&Normal", "R&otated"});
  o.SetItemIndex(0);
}

}  // namespace

TPlotPromptDialog::TPlotPromptDialog() : TForm("TPlotPromptDialog") {
  SetCaption("Plotter File");
  auto& scale = Add<TRadioGroup>("ScaleRadioGroup", "Scale");
  scale.SetItems(ScaleTexts);
  scale.SetItemIndex(2);
  AddOrientation(*this);
  Add<TRadioGroup>("PaperRadioGroup", "Paper Size");
  auto& custom = Add<TGroupBox>("CustomGroupBox", "Custom Paper Size");
  custom.Add<TLabel>("XLabel", "&X");
  custom.Add<TEdit>("XEdit").SetText("8.5");
  custom.Add<TLabel>("YLabel", "&Y");
  custom.Add<TEdit>("YEdit").SetText("11");
  Add<TCheckBox>("DefaultsCheckBox", "Set De&faults");
  AddButtons(*this, true);
}

TQuickPrintDialog::TQuickPrintDialog() : TForm("TQuickPrintDialog") {
  SetCaption("Quick Print");
  auto& scale = Add<TRadioGroup>("ScaleRadioGroup", "Scale");
  std::vector<std::string> items = ScaleTexts;
  items.push_back("Auto Scale");
  scale.SetItems(items);
  scale.SetItemIndex(2);
  AddOrientation(*this);
  Add<TCheckBox>("DefaultsCheckBox", "Set De&faults");
  Add<TButton>("PrinterSetupButton", "Printer Setup").OnClick = [](TControl&) {
    Printer().ExecuteSetupDialog();
  };
  AddButtons(*this, true);
}

TPlotConfigurationDialog::TPlotConfigurationDialog() : TForm("TPlotConfigurationDialog") {
  SetCaption("Plot Configuration");
  auto& panel = Add<TGroupBox>("TitleGroupBox", "Title Block Contents");
  panel.Add<TEdit>("Line1Edit");
  panel.Add<TEdit>("Line2Edit");
  Add<TCheckBox>("FormatBlockCheckBox", "&Plot format block");
  AddButtons(*this, false);
}

TGerberDialog::TGerberDialog() : TForm("TGerberDialog") {
  SetCaption("Gerber Configuration");
  Add<TCheckBox>("InterpolationCheckBox", "Use &circular interpolation");
  Add<TCheckBox>("FlashCheckBox", "&Flash true sized holes");
  AddButtons(*this, true);
}

THP7580Dialog::THP7580Dialog() : TForm("THP7580Dialog") {
  SetCaption("HP7580 Configuration");
  Add<TCheckBox>("FineCirclesCheckBox", "&Fine Circles");
  AddButtons(*this, true);
}

bool RunPlotPrompt(TPaperTable& papers) {
  TModalBracket modal;
  LoadPlotDefaults();
  TPlotPromptDialog dialog;
  dialog.Get<TRadioGroup>("ScaleRadioGroup").SetItemIndex(PlotDefaults.ScaleChosen);
  dialog.Get<TRadioGroup>("OrientationRadioGroup").SetItemIndex(PlotDefaults.Orientation);
  auto& paperGroup = dialog.Get<TRadioGroup>("PaperRadioGroup");
  for (int i = 1; i <= papers.Count; ++i) paperGroup.AddItem(papers[i].Name);
  if (papers.Count == 0 || papers[papers.Count].Name != "Custom") {
    ++papers.Count;
    TPaperSpec& custom = papers[papers.Count];
    custom = TPaperSpec{"Custom", PlotDefaults.XCustomSize, PlotDefaults.YCustomSize, 0.0, 0.0,
                        true};
    paperGroup.AddItem("Custom");
  }
  TPaperSpec& last = papers[papers.Count];
  dialog.Get<TEdit>("XEdit").SetText(RealToStr(last.Width));
  dialog.Get<TEdit>("YEdit").SetText(RealToStr(last.Height));
  paperGroup.SetItemIndex(PlotDefaults.SizeIndex - 1);
  const bool ok = dialog.ShowModal() == mrOk;
  bool legal = true;
  if (ok) {
    PlotDefaults.ScaleChosen = uint8_t(std::max(0, dialog.Get<TRadioGroup>("ScaleRadioGroup").ItemIndex()));
    PlotDefaults.Orientation =
        uint8_t(std::max(0, dialog.Get<TRadioGroup>("OrientationRadioGroup").ItemIndex()));
    PlotDefaults.SizeIndex = paperGroup.ItemIndex() + 1;
    auto check = [&](const std::string& text, double& size, double previous) {
      size = StrToRealLenient(text);
      if (size < 1.0 || size > 80.0) {
        ErrorBox("Illegal entry <" + text + ">");
        size = previous;
        legal = false;
      }
    };
    check(dialog.Get<TEdit>("XEdit").Text(), last.Width, PlotDefaults.XCustomSize);
    check(dialog.Get<TEdit>("YEdit").Text(), last.Height, PlotDefaults.YCustomSize);
    PlotDefaults.XCustomSize = last.Width;
    PlotDefaults.YCustomSize = last.Height;
  }
  if (dialog.Get<TCheckBox>("DefaultsCheckBox").Checked()) SavePlotDefaults();
  return ok && legal;
}

bool RunQuickPrintDialog(uint8_t& scale, uint8_t& orientation) {
  TModalBracket modal;
  LoadPrintDefaults(scale, orientation);
  TQuickPrintDialog dialog;
  dialog.Get<TRadioGroup>("ScaleRadioGroup").SetItemIndex(scale);
  dialog.Get<TRadioGroup>("OrientationRadioGroup").SetItemIndex(orientation);
  const bool ok = dialog.ShowModal() == mrOk;
  if (ok) {
    scale = uint8_t(std::max(0, dialog.Get<TRadioGroup>("ScaleRadioGroup").ItemIndex()));
    orientation = uint8_t(std::max(0, dialog.Get<TRadioGroup>("OrientationRadioGroup").ItemIndex()));
  }
  if (dialog.Get<TCheckBox>("DefaultsCheckBox").Checked()) SavePrintDefaults(scale, orientation);
  return ok;
}

bool AskPlotConfiguration(std::string& line1, std::string& line2) {
  TModalBracket modal;
  TPlotConfigurationDialog dialog;
  dialog.ShowModal();
  line1 = ShortStr(dialog.Get<TEdit>("Line1Edit").Text());
  line2 = ShortStr(dialog.Get<TEdit>("Line2Edit").Text());
  return dialog.Get<TCheckBox>("FormatBlockCheckBox").Checked();
}

bool RunGerberDialog(bool& circularInterpolation, bool& flashHoles) {
  TModalBracket modal;
  TGerberDialog dialog;
  dialog.Get<TCheckBox>("FlashCheckBox").SetEnabled(DisplayHolesAs == 1);
  if (dialog.ShowModal() != mrOk) return false;
  circularInterpolation = dialog.Get<TCheckBox>("InterpolationCheckBox").Checked();
  flashHoles = DisplayHolesAs == 1 && dialog.Get<TCheckBox>("FlashCheckBox").Checked();
  return true;
}

bool RunHP7580Dialog(bool& fineCircles) {
  TModalBracket modal;
  THP7580Dialog dialog;
  if (dialog.ShowModal() != mrOk) return false;
  fineCircles = dialog.Get<TCheckBox>("FineCirclesCheckBox").Checked();
  return true;
}
