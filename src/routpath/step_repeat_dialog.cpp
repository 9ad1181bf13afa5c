#include "routpath/step_repeat_dialog.h"

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/rout_database.h"
#include "routpath/setting_bounds.h"

namespace {
double Units() { return UnitsPerDisplayUnit > 0 ? UnitsPerDisplayUnit : InchUnitsPerDisplayUnit; }
}  // namespace

TStepRepeatDialog::TStepRepeatDialog(const TAutoStepRepeatSettings& settings)
    : TForm("TStepRepeatDialog"), settings_(settings) {
  SetCaption("Auto Step & Repeat");
  auto& area = Add<TPanel>("FieldPanel");
  area.SetBevel(bvNone);
  auto& across = area.Add<TPanel>("DirectionPanel");
  across.SetBevel(bvNone);
  across.SetFlow(TFlow::Horizontal);
  auto direction = [&across](const std::string& name, const std::string& caption, TEdit*& number,
                             TEdit*& distance) {
    auto& group = across.Add<TGroupBox>(name + "Group", caption);
    group.Add<TLabel>("Number" + name + "Label", "Number of Steps ");
    number = &group.Add<TEdit>("Number" + name + "Edit");
    group.Add<TLabel>("Distance" + name + "Label", "Step Distance");
    distance = &group.Add<TEdit>("Distance" + name + "Edit");
  };
  direction("X", "&Horizontal Direction", NumberXEdit, DistanceXEdit);
  direction("Y", "&Vertical Direction", NumberYEdit, DistanceYEdit);
  NestedCheckBox = &area.Add<TCheckBox>("NestedCheckBox", "&Nested Steps");
  DoXFirstCheckBox = &area.Add<TCheckBox>("DoXFirstCheckBox", "Step Hor. &First");
  SerpentineCheckBox = &area.Add<TCheckBox>("SerpentineCheckBox", "Ser&pentine");
  DefaultsCheckBox = &area.Add<TCheckBox>("DefaultsCheckBox", "&Save Defaults");
  auto& buttons = Add<TPanel>("ButtonPanel");
  buttons.SetFlow(TFlow::Horizontal);
  buttons.SetBevel(bvNone);
  buttons.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);

  int32_t dx = 0, dy = 0;
  OrientPoint(settings_.DistanceInX, settings_.DistanceInY, Version, dx, dy);
  NumberXEdit->SetText(std::to_string(settings_.NumberInX));
  NumberYEdit->SetText(std::to_string(settings_.NumberInY));
  DistanceXEdit->SetText(FieldRealText(dx / Units()));
  DistanceYEdit->SetText(FieldRealText(dy / Units()));
  NestedCheckBox->SetChecked(settings_.Nested);
  DoXFirstCheckBox->SetChecked(settings_.StepHorizontalFirst);
  rememberedSerpentine_ = settings_.Serpentine;
  SerpentineCheckBox->SetChecked(!settings_.Nested && settings_.Serpentine);
  SerpentineCheckBox->SetEnabled(!settings_.Nested);
  NestedCheckBox->OnClick = [this](TControl&) {
    const bool enable = !NestedCheckBox->Checked();
    if (enable == SerpentineCheckBox->Enabled()) return;
    if (enable) {
      SerpentineCheckBox->SetChecked(rememberedSerpentine_);
    } else {
      rememberedSerpentine_ = SerpentineCheckBox->Checked();
      SerpentineCheckBox->SetChecked(false);
    }
    SerpentineCheckBox->SetEnabled(enable);
  };

  const double limit = StepDistanceBound.Units() / Units();
  fields_.Add(*NumberXEdit, true, 1, 99);
  fields_.Add(*NumberYEdit, true, 1, 99);
  fields_.Add(*DistanceXEdit, false, -limit, limit);
  fields_.Add(*DistanceYEdit, false, -limit, limit);
  fields_.RememberAll();
  OnCloseQuery = [this](TForm& form, bool& canClose) {
    if (form.ModalResult() == mrOk && !fields_.CheckAll()) canClose = false;
  };
}

TAutoStepRepeatSettings TStepRepeatDialog::Result() const {
  TAutoStepRepeatSettings s = settings_;
  s.NumberInX = StrToIntLenient(NumberXEdit->Text());
  s.NumberInY = StrToIntLenient(NumberYEdit->Text());
  const int32_t x = SaturatingRound(StrToRealLenient(DistanceXEdit->Text()) * Units());
  const int32_t y = SaturatingRound(StrToRealLenient(DistanceYEdit->Text()) * Units());
  UnorientPoint(x, y, Version, s.DistanceInX, s.DistanceInY);
  s.Nested = NestedCheckBox->Checked();
  s.StepHorizontalFirst = DoXFirstCheckBox->Checked();
  // With Nested on the stored choice stays as it was.
  if (SerpentineCheckBox->Enabled()) s.Serpentine = SerpentineCheckBox->Checked();
  return s;
}

bool TStepRepeatDialog::SaveDefaults() const { return DefaultsCheckBox->Checked(); }

bool ExecuteStepRepeatDialog() {
  if (RTDB == nullptr) return false;
  TStepRepeatDialog dialog(RTDB->AutoStepRepeat);
  if (dialog.ShowModal() != mrOk) return false;
  RTDB->AutoStepRepeat = dialog.Result();
  if (dialog.SaveDefaults()) SaveAutoStepRepeatSettings(RTDB->AutoStepRepeat);
  return true;
}
