#include "routpath/auto_rout_settings_dialog.h"

#include <array>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/rout_database.h"
#include "platform/message_box.h"
#include "routpath/setting_bounds.h"
#include "routpath/setting_pictures.h"

namespace {
double Units() { return UnitsPerDisplayUnit > 0 ? UnitsPerDisplayUnit : InchUnitsPerDisplayUnit; }
std::string Length(int32_t v) { return FieldRealText(v / Units()); }
int32_t Stored(const TEdit& e) { return SaturatingRound(StrToRealLenient(e.Text()) * Units()); }

void AddButtons(TForm& form) {
  auto& buttons = form.Add<TPanel>("ButtonPanel");
  buttons.SetFlow(TFlow::Horizontal);
  buttons.SetBevel(bvNone);
  buttons.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
}
}  // namespace

TAutoRoutDialog::TAutoRoutDialog(const TAutoRoutSettings& settings)
    : TForm("TAutoRoutDialog"), settings_(settings) {
  SetCaption("Auto Rout Settings");
  auto& area = Add<TPanel>("FieldPanel");
  area.SetBevel(bvNone);
  area.SetFlow(TFlow::Horizontal);
  // The pictures are the choices: each style's picture button with its
  // radio button beside it.
  auto& style = area.Add<TGroupBox>("StyleGroup", "Style");
  auto choice = [&style](const std::string& name, uint8_t picture) {
    auto& row = style.Add<TPanel>(name + "Row");
    row.SetBevel(bvNone);
    row.SetFlow(TFlow::Horizontal);
    auto* button = &row.Add<TSpeedButton>(name + "RoutButton");
    button->SetGlyph(AutoRoutStylePicture(picture));
    button->SetGroupIndex(1);
    return button;
  };
  CornerRoutButton = choice("Corner", 0);
  CornerRadioButton = &CornerRoutButton->Parent()->Add<TRadioButton>("CornerRadioButton");
  PinlessRoutButton = choice("Pinless", 1);
  PinlessRadioButton = &PinlessRoutButton->Parent()->Add<TRadioButton>("PinlessRadioButton");
  InlineRoutButton = choice("Inline", 2);
  InlineRadioButton = &InlineRoutButton->Parent()->Add<TRadioButton>("InlineRadioButton");
  auto& column = area.Add<TPanel>("SettingsPanel");
  column.SetBevel(bvNone);
  auto& sizes = column.Add<TGroupBox>("DimensionGroup", "Dimensions and Parameters");
  auto edit = [&sizes](const std::string& name, const std::string& caption) {
    sizes.Add<TLabel>(name + "Label", caption);
    return &sizes.Add<TEdit>(name);
  };
  PlungeOffsetEdit = edit("PlungeOffsetEdit", " Plunge Offset (A)");
  OvercutEdit = edit("OvercutEdit", " Overcut (B)");
  EdgeOffsetEdit = edit("EdgeOffsetEdit", " Edge Offset (C)");
  LowFeedInCheckBox = &sizes.Add<TCheckBox>("LowFeedInCheckBox", "Cut in using low feed rate");
  LowFeedOutCheckBox = &sizes.Add<TCheckBox>("LowFeedOutCheckBox", "Cut out using low feed rate");
  DefaultsCheckBox = &column.Add<TCheckBox>("DefaultsCheckBox", "Save Defaults");
  AddButtons(*this);

  PlungeOffsetEdit->SetText(Length(settings_.PlungeOffset));
  OvercutEdit->SetText(Length(settings_.Overcut));
  EdgeOffsetEdit->SetText(Length(settings_.EdgeOffset));
  LowFeedInCheckBox->SetChecked(settings_.LowFeedCutIn);
  LowFeedOutCheckBox->SetChecked(settings_.LowFeedCutOut);
  SetStyle(settings_.AutoRoutStyle);
  const std::array<TSpeedButton*, 3> pictures{CornerRoutButton, PinlessRoutButton, InlineRoutButton};
  const std::array<TRadioButton*, 3> radios{CornerRadioButton, PinlessRadioButton, InlineRadioButton};
  for (uint8_t k = 0; k < 3; ++k) {
    pictures[k]->OnClick = [this, k](TControl&) { SetStyle(k); };
    radios[k]->OnClick = [this, k](TControl&) { SetStyle(k); };
  }

  const double high = AutoRoutLengthBound.Units() / Units();
  fields_.Add(*PlungeOffsetEdit, false, 0.0, high);
  fields_.Add(*OvercutEdit, false, Metric ? -25.4 : -1.0, high);
  fields_.Add(*EdgeOffsetEdit, false, 0.0, high);
  fields_.RememberAll();
  MoveFocusOnEnter({PlungeOffsetEdit, OvercutEdit, EdgeOffsetEdit});
  OnCloseQuery = [this](TForm& form, bool& canClose) {
    if (form.ModalResult() == mrOk && !fields_.CheckAll()) canClose = false;
  };
}

void TAutoRoutDialog::SetStyle(uint8_t style) {
  if (style > 2) style = 2;
  settings_.AutoRoutStyle = style;
  const std::array<TSpeedButton*, 3> pictures{CornerRoutButton, PinlessRoutButton, InlineRoutButton};
  const std::array<TRadioButton*, 3> radios{CornerRadioButton, PinlessRadioButton, InlineRadioButton};
  pictures[style]->SetDown(true);
  radios[style]->SetChecked(true);
}

TAutoRoutSettings TAutoRoutDialog::Result() const {
  TAutoRoutSettings s = settings_;
  s.PlungeOffset = Stored(*PlungeOffsetEdit);
  s.EdgeOffset = Stored(*EdgeOffsetEdit);
  s.Overcut = Stored(*OvercutEdit);
  s.LowFeedCutIn = LowFeedInCheckBox->Checked();
  s.LowFeedCutOut = LowFeedOutCheckBox->Checked();
  return s;
}

TInlineCfgDialog::TInlineCfgDialog(const TFullPanelInlineRout& settings)
    : TForm("TInlineCfgDialog"), settings_(settings) {
  SetCaption("Configure Auto Part Rout");
  auto& area = Add<TPanel>("FieldPanel");
  area.SetBevel(bvNone);
  area.Add<TLabel>("OverCutLabel", "&Overcut");
  OverCutEdit = &area.Add<TEdit>("OverCutEdit");
  UnitLabel = &area.Add<TLabel>("UnitLabel", Metric ? "mm" : "inch");
  SizeCheckBox = &area.Add<TCheckBox>("SizeCheckBox", "&Use Cutter Size");
  DefaultsCheckBox = &area.Add<TCheckBox>("DefaultsCheckBox", "&Save Defaults");
  AddButtons(*this);

  OverCutEdit->SetText(Length(settings_.Overcut));
  SizeCheckBox->SetChecked(settings_.UseCutterSize);
  OverCutEdit->SetEnabled(!settings_.UseCutterSize);
  SizeCheckBox->OnClick = [this](TControl&) { OverCutEdit->SetEnabled(!SizeCheckBox->Checked()); };

  auto& overcut = fields_.Add(*OverCutEdit, false, 0.0, Metric ? 25.4 : 1.0);
  fields_.RememberAll();
  // Every change is checked as it is typed.
  OverCutEdit->OnExit = nullptr;
  TCheckedFields::TField* field = &overcut;
  OverCutEdit->OnChange = [this, field](TControl&) {
    if (rewriting_) return;
    rewriting_ = true;
    const std::string text = OverCutEdit->Text();
    if (NumberTextAccepted(text, false, field->Low(), field->High())) {
      if (text.size() > 6) OverCutEdit->SetText(text.substr(0, 6));
    } else if (!text.empty()) {
      ErrorBox("Illegal value: <" + text + ">");
      OverCutEdit->SetText(FieldRealText(field->Remembered));
    }
    rewriting_ = false;
  };
  OnCloseQuery = [this](TForm& form, bool& canClose) {
    if (form.ModalResult() == mrOk && !fields_.CheckAll()) canClose = false;
  };
}

TFullPanelInlineRout TInlineCfgDialog::Result() const {
  TFullPanelInlineRout s = settings_;
  s.Overcut = Stored(*OverCutEdit);
  s.UseCutterSize = SizeCheckBox->Checked();
  return s;
}

bool ExecuteAutoRoutDialog() {
  if (RTDB == nullptr) return false;
  TAutoRoutDialog dialog(RTDB->AutoRout);
  if (dialog.ShowModal() != mrOk) return false;
  RTDB->AutoRout = dialog.Result();
  if (dialog.SaveDefaults()) SaveAutoRoutSettings(RTDB->AutoRout);
  return true;
}

bool ConfigureAutoPartRout() {
  if (RTDB == nullptr) return false;
  TInlineCfgDialog dialog(RTDB->FullPanelInline);
  if (dialog.ShowModal() != mrOk) return false;
  RTDB->FullPanelInline = dialog.Result();
  if (dialog.SaveDefaults()) SaveFullPanelInlineRout(RTDB->FullPanelInline);
  return true;
}
