#include "routpath/auto_tab_dialog.h"

#include <algorithm>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/rout_database.h"
#include "routpath/auto_tab_bounds.h"
#include "routpath/setting_pictures.h"

namespace {
double Units() { return UnitsPerDisplayUnit > 0 ? UnitsPerDisplayUnit : InchUnitsPerDisplayUnit; }
std::string Length(int32_t v) { return FieldRealText(v / Units()); }
int32_t Stored(const TEdit& e) { return SaturatingRound(StrToRealLenient(e.Text()) * Units()); }
}  // namespace

TAutoTabDialog::TAutoTabDialog(const TAutoTabSettings& settings)
    : TForm("TAutoTabDialog"), settings_(settings) {
  SetCaption("Auto Tab Settings");
  auto& area = Add<TPanel>("FieldPanel");
  area.SetBevel(bvNone);
  area.SetFlow(TFlow::Horizontal);
  auto& column = area.Add<TPanel>("SettingsPanel");
  column.SetBevel(bvNone);
  auto edit = [](TControl& parent, const std::string& name, const std::string& caption) {
    parent.Add<TLabel>(name + "Label", caption);
    return &parent.Add<TEdit>(name);
  };
  WidthEdit = edit(column, "WidthEdit", " Width (A)");
  CutInWidthEdit = edit(column, "CutInWidthEdit", " Cut-In Width (B)");
  CutInOffsetEdit = edit(column, "CutInOffsetEdit", " Cut-In Offset (C)");
  RadiusCompCheckBox = &column.Add<TCheckBox>("RadiusCompCheckBox", "Cutter Radius Offset");
  auto& holes = column.Add<TGroupBox>("HoleGroup", "Drilled Holes");
  DrilledHolesCheckBox = &holes.Add<TCheckBox>("DrilledHolesCheckBox", "Drilled Holes Enabled");
  HoleOffsetEdit = edit(holes, "HoleOffsetEdit", " Hole Offset (D)");
  holes.Add<TLabel>("NumberOfHolesSpinLabel", " Number of Holes");
  NumberOfHolesSpin = &holes.Add<TSpinEdit>("NumberOfHolesSpin");
  NumberOfHolesSpin->SetRange(int(AutoTabBounds.NumberOfHoles.Low), int(AutoTabBounds.NumberOfHoles.Inch));
  HoleSpacingEdit = edit(holes, "HoleSpacingEdit", " Hole Spacing");
  ToolNumberEdit = edit(holes, "ToolNumberEdit", " Tool Number");
  DefaultsCheckBox = &column.Add<TCheckBox>("DefaultsCheckBox", "Save Defaults");
  // The pictures are the choices: the complex tab above the simple one,
  // page "2" measuring between the cutter's edges; a radio button beside
  // each row.
  auto& pictures = area.Add<TPanel>("PicturePanel");
  pictures.SetBevel(bvNone);
  pictures.SetFlow(TFlow::Horizontal);
  ButtonBook = &pictures.Add<TTabbedPages>("ButtonBook");
  ButtonBook->SetShowTabs(false);
  TTabPage& page1 = ButtonBook->AddPage("Page1", "1");
  TTabPage& page2 = ButtonBook->AddPage("Page2", "2");
  auto picture = [](TTabPage& page, const std::string& name, bool simple, bool edges, int group) {
    auto* b = &page.Add<TSpeedButton>(name);
    b->SetGlyph(TabPicture(simple, edges));
    b->SetGroupIndex(group);
    return b;
  };
  ComplexTabButton0 = picture(page1, "ComplexTabButton0", false, false, 1);
  SimpleTabButton0 = picture(page1, "SimpleTabButton0", true, false, 1);
  ComplexTabButton1 = picture(page2, "ComplexTabButton1", false, true, 2);
  SimpleTabButton1 = picture(page2, "SimpleTabButton1", true, true, 2);
  auto& radios = pictures.Add<TPanel>("RadioPanel");
  radios.SetBevel(bvNone);
  const int row = ComplexTabButton0->PreferredSize().Y;
  radios.SetWidth(24);
  radios.SetHeight(2 * row + 8);
  ComplexRadioButton = &radios.Add<TRadioButton>("ComplexRadioButton");
  SimpleRadioButton = &radios.Add<TRadioButton>("SimpleRadioButton");
  ComplexRadioButton->SetBounds(4, row / 2 - 8, 18, 18);
  SimpleRadioButton->SetBounds(4, row + row / 2 - 8, 18, 18);
  auto& buttons = Add<TPanel>("ButtonPanel");
  buttons.SetFlow(TFlow::Horizontal);
  buttons.SetBevel(bvNone);
  buttons.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);

  WidthEdit->SetText(Length(settings_.Width));
  CutInOffsetEdit->SetText(Length(settings_.CutInOffset));
  CutInWidthEdit->SetText(Length(settings_.CutInWidth));
  HoleOffsetEdit->SetText(Length(settings_.HoleOffset));
  HoleSpacingEdit->SetText(Length(settings_.HoleSpacing));
  ToolNumberEdit->SetText(std::to_string(settings_.ToolNumber));
  NumberOfHolesSpin->SetText(std::to_string(settings_.NumberOfHoles));
  DrilledHolesCheckBox->SetChecked(settings_.DrilledHolesEnabled);
  RadiusCompCheckBox->SetChecked(settings_.CutterRadiusOffset);
  EnableHoles();
  SetTabType(settings_.TabType);
  ButtonBook->SetActivePage(settings_.CutterRadiusOffset ? 1 : 0);

  for (TSpeedButton* b : {ComplexTabButton0, ComplexTabButton1})
    b->OnClick = [this](TControl&) { SetTabType(false); };
  for (TSpeedButton* b : {SimpleTabButton0, SimpleTabButton1})
    b->OnClick = [this](TControl&) { SetTabType(true); };
  ComplexRadioButton->OnClick = [this](TControl&) { SetTabType(false); };
  SimpleRadioButton->OnClick = [this](TControl&) { SetTabType(true); };
  RadiusCompCheckBox->OnClick = [this](TControl&) {
    ButtonBook->SetActivePage(RadiusCompCheckBox->Checked() ? 1 : 0);
  };
  DrilledHolesCheckBox->OnClick = [this](TControl&) { EnableHoles(); };

  const bool mm = Metric;
  const TAutoTabBounds& b = AutoTabBounds;
  // A count is bounded in either unit alike; a length up to the widest of
  // its bounds, in whichever unit the job shows.
  auto bounded = [&](TControl& field, bool integer, const TAutoTabBound& bound) -> TCheckedFields::TField& {
    return fields_.Add(field, integer, bound.Low, integer ? bound.High(mm) : bound.Widest() / Units());
  };
  auto& width = bounded(*WidthEdit, false, b.Width);
  // A narrower tab takes the neck down with it.
  width.Accepted = [this](double w) {
    if (StrToRealLenient(CutInWidthEdit->Text()) > w) CutInWidthEdit->SetText(RealToStr(w));
  };
  auto& neck = fields_.Add(*CutInWidthEdit, false, [] { return 0.0; },
                           [this] { return StrToRealLenient(WidthEdit->Text()); });
  neck.RangeMessage = "This value cannot be greater than the width (A)";
  bounded(*CutInOffsetEdit, false, b.CutInOffset);
  bounded(*HoleOffsetEdit, false, b.HoleOffset);
  bounded(*NumberOfHolesSpin, true, b.NumberOfHoles);
  bounded(*HoleSpacingEdit, false, b.HoleSpacing);
  bounded(*ToolNumberEdit, true, b.ToolNumber);
  fields_.RememberAll();
  MoveFocusOnEnter({WidthEdit, CutInWidthEdit, CutInOffsetEdit, HoleOffsetEdit, NumberOfHolesSpin,
                    HoleSpacingEdit, ToolNumberEdit});
  OnCloseQuery = [this](TForm& form, bool& canClose) {
    if (form.ModalResult() == mrOk && !fields_.CheckAll()) canClose = false;
  };
}

void TAutoTabDialog::SetTabType(bool simple) {
  (simple ? SimpleTabButton0 : ComplexTabButton0)->SetDown(true);
  (simple ? SimpleTabButton1 : ComplexTabButton1)->SetDown(true);
  (simple ? SimpleRadioButton : ComplexRadioButton)->SetChecked(true);
}

void TAutoTabDialog::EnableHoles() {
  const bool on = DrilledHolesCheckBox->Checked();
  TControl* const holeControls[] = {HoleOffsetEdit, NumberOfHolesSpin, HoleSpacingEdit, ToolNumberEdit};
  for (TControl* e : holeControls) e->SetEnabled(on);
}

TAutoTabSettings TAutoTabDialog::Result() const {
  TAutoTabSettings s = settings_;
  s.Width = Stored(*WidthEdit);
  s.CutInOffset = Stored(*CutInOffsetEdit);
  s.CutInWidth = Stored(*CutInWidthEdit);
  s.HoleOffset = Stored(*HoleOffsetEdit);
  s.HoleSpacing = Stored(*HoleSpacingEdit);
  s.DrilledHolesEnabled = DrilledHolesCheckBox->Checked();
  s.TabType = SimpleTabButton0->Down();
  s.NumberOfHoles = uint8_t(std::clamp(StrToIntLenient(NumberOfHolesSpin->Text()), 0, 255));
  s.CutterRadiusOffset = RadiusCompCheckBox->Checked();
  s.ToolNumber = StrToIntLenient(ToolNumberEdit->Text());
  return s;
}

bool ExecuteAutoTabDialog() {
  if (RTDB == nullptr) return false;
  TAutoTabDialog dialog(RTDB->AutoTab);
  if (dialog.ShowModal() != mrOk) return false;
  RTDB->AutoTab = dialog.Result();
  if (dialog.SaveDefaults()) SaveAutoTabSettings(RTDB->AutoTab);
  return true;
}
