#include "routpath/slot_settings_dialogs.h"

#include <cctype>
#include <cmath>
#include <vector>

#include "foundation/nc_format.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/view_services.h"
#include "platform/message_box.h"
#include "routpath/checked_fields.h"

// ---- Checked fields ---------------------------------------------------------------------

TCheckedField::TCheckedField(TEdit& edit, bool whole, double low, double high, double scale)
    : Edit(edit), Whole(whole), Low(low), High(high), Scale(scale) {
  Edit.OnEnter = [this](TControl&) { Remembered = Whole ? StrToIntLenient(Edit.Text()) : StrToRealLenient(Edit.Text()); };
  Edit.OnExit = [this](TControl&) { Check(); };
}

void TCheckedField::Show(double value) {
  Remembered = value;
  Edit.SetText(Whole ? IntToShortStr(int32_t(value)).substr(0, 3) : FieldRealText(value));
}

double TCheckedField::Value() const {
  return (Whole ? double(StrToIntLenient(Edit.Text())) : StrToRealLenient(Edit.Text())) * Scale;
}

bool TCheckedField::Check() {
  const std::string text = Edit.Text();
  bool legal = true;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c)) && (Whole || (c != '+' && c != '-' && c != '.'))) legal = false;
  const double value = Value();
  // A legal entry stays as typed: shortening it would change the value.
  if (legal && value >= Low && value <= High) return true;
  ErrorBox("Illegal value: <" + text + ">");
  Show(Remembered);
  return false;
}

namespace {

void AddButtons(TForm& form, TButton** ok) {
  auto& buttons = form.Add<TPanel>("ButtonRow");
  buttons.SetFlow(TFlow::Horizontal);
  buttons.SetBevel(bvNone);
  *ok = &buttons.Add<TButton>("OKButton", "OK", mrOk);
  (*ok)->SetDefault(true);
  buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
}

TEdit& LabelledEdit(TControl& parent, const std::string& label, const std::string& caption,
                    const std::string& edit) {
  auto& row = parent.Add<TPanel>(edit + "Row");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  row.Add<TLabel>(label, caption).SetWidth(110);
  auto& e = row.Add<TEdit>(edit);
  e.SetWidth(80);
  return e;
}

double LengthLimit() { return Metric ? 25.4 : 1.0; }

bool RunModal(TForm& form) {
  ViewServices().BeginModal();
  const TModalResult result = form.ShowModal();
  ViewServices().EndModal();
  return result == mrOk;
}

}  // namespace

// ---- Slot Configuration -------------------------------------------------------------------

TSlotConfigDialog::TSlotConfigDialog()
    : TForm("TSlotConfigDialog"),
      AngleEdit(LabelledEdit(*this, "AngleLabel", "&Angle", "AngleEdit")),
      LengthEdit(LabelledEdit(*this, "LengthLabel", "&Length", "LengthEdit")),
      DefaultsCheckBox(Add<TCheckBox>("DefaultsCheckBox", "&Save Defaults")),
      Angle(AngleEdit, false, 0, 360),
      Length(LengthEdit, false, 0, LengthLimit()) {
  SetCaption("Slot Configuration");
  SetSizeable(false);
  TButton* ok;
  AddButtons(*this, &ok);
  ok->OnClick = [this](TControl&) { OKButtonClick(); };
  if (DRDB != nullptr) {
    Angle.Show(DRDB->DrilledSlots.Angle);
    Length.Show(double(DRDB->DrilledSlots.Length) / double(UnitsPerDisplayUnit));
  }
}

void TSlotConfigDialog::OKButtonClick() {
  // The field being edited was checked when the button took the focus.
  if (DRDB == nullptr) return;
  DRDB->DrilledSlots.Angle = std::nearbyint(Angle.Value() * 1000) * 0.001;
  DRDB->DrilledSlots.Length = int32_t(std::nearbyint(Length.Value() * double(UnitsPerDisplayUnit)));
  if (DefaultsCheckBox.Checked()) SaveDrilledSlotSettings(DRDB->DrilledSlots);
}

bool ExecuteSlotConfigDialog() {
  TSlotConfigDialog dialog;
  return RunModal(dialog);
}

// ---- Circle Configuration -----------------------------------------------------------------

TCircleConfigDialog::TCircleConfigDialog()
    : TForm("TCircleConfigDialog"),
      RadiusEdit(LabelledEdit(*this, "RadiusLabel", "&Radius", "RadiusEdit")),
      DefaultsCheckBox(Add<TCheckBox>("DefaultsCheckBox", "&Save Defaults")),
      Radius(RadiusEdit, false, 0, LengthLimit()) {
  SetCaption("Circle Configuration");
  SetSizeable(false);
  TButton* ok;
  AddButtons(*this, &ok);
  ok->OnClick = [this](TControl&) { OKButtonClick(); };
  if (DRDB != nullptr) Radius.Show(double(DRDB->DrilledCircleRadius) / double(UnitsPerDisplayUnit));
}

void TCircleConfigDialog::OKButtonClick() {
  if (DRDB == nullptr) return;
  DRDB->DrilledCircleRadius = int32_t(std::nearbyint(Radius.Value() * double(UnitsPerDisplayUnit)));
  if (DefaultsCheckBox.Checked()) SaveDrilledCircleSettings(DRDB->DrilledCircleRadius);
}

bool ExecuteCircleConfigDialog() {
  TCircleConfigDialog dialog;
  return RunModal(dialog);
}

// ---- Slot algorithm -------------------------------------------------------------------------

namespace {

constexpr double MaxCompLimit = 508001;  // database units

class TSlotAlgorithmDialog : public TForm {
 public:
  explicit TSlotAlgorithmDialog(bool metric)
      : TForm("TSlotAlgorithmDialog"), Units(metric ? 1000000.0 : 25400000.0) {
    SetCaption("Slot algorithm");
    SetSizeable(false);
    // The fields' handlers hold their addresses: room for all of them first.
    Min.reserve(2);
    Fields.reserve(3);
    auto& longSlots = Add<TGroupBox>("LongSlotGroup", "Long Slots");
    Bidirectional = &longSlots.Add<TRadioButton>("BidirectionalButton", "&Bi-directional ");
    Unidirectional = &longSlots.Add<TRadioButton>("UnidirectionalButton", "Uni-directional ");
    MultiTool = &longSlots.Add<TCheckBox>("MultiToolCheckBox", "Multi Tool Piloting");
    PilotLabels = {&longSlots.Add<TLabel>("Label3", "Pilot Tool Size "),
                   &longSlots.Add<TLabel>("Label6", "(% of slot tool size)")};
    Min.emplace_back(LabelledEdit(longSlots, "Label4", "Min", "MinEdit"), true, 10, 90);
    Min.emplace_back(LabelledEdit(longSlots, "Label5", "Max", "MaxEdit"), true, 10, 90);
    auto& shortSlots = Add<TGroupBox>("ShortSlotGroup", "Short Slots");
    Normal = &shortSlots.Add<TRadioButton>("NormalButton", "Normal slots");
    Comp = &shortSlots.Add<TRadioButton>("CompButton", "Compensated Slots");
    MultiShort = &shortSlots.Add<TRadioButton>("MultiShortButton", "Multi Tool Piloting");
    Fields.emplace_back(LabelledEdit(shortSlots, "Label1", "Comp &Factor", "CompFactorEdit"), true, 0, 20);
    shortSlots.Add<TLabel>("PercentLabel", "%");
    Fields.emplace_back(LabelledEdit(shortSlots, "Label2", "&Max Comp", "MaxCompEdit"), false, 0, MaxCompLimit,
                        Units);
    UnitsLabel = &shortSlots.Add<TLabel>("UnitsLabel", metric ? "mm" : "\"");
    Fields.emplace_back(LabelledEdit(*this, "CuspLabel", "Circle/Slot &Cusp", "CuspEdit"), false, 0,
                        MaxCompLimit, Units);
    Defaults = &Add<TCheckBox>("DefaultsCheckBox", "&Set Defaults");
    TButton* ok;
    AddButtons(*this, &ok);
    // An entry refused as the OK button takes the focus keeps the dialog
    // open; one refused on the way to another field does not.
    for (auto* field : {&Min[0], &Min[1], &Fields[0], &Fields[1], &Fields[2]}) {
      field->Edit.OnEnter = [this, enter = field->Edit.OnEnter](TControl& c) {
        Refused = false;
        enter(c);
      };
      field->Edit.OnExit = [this, field](TControl&) {
        if (!field->Check()) Refused = true;
      };
    }
    MultiTool->OnChange = [this](TControl&) { EnableControls(); };
    for (TRadioButton* b : {Normal, Comp, MultiShort}) b->OnChange = [this](TControl&) { EnableControls(); };
    ok->OnClick = [this](TControl&) {
      // A refused entry keeps the dialog open.
      if (Refused) SetModalResult(mrNone);
      Refused = false;
    };
  }

  void Fill(const TSlotAlgorithmSettings& s) {
    Fields[2].Edit.SetText(FormatDecimalNumber(4, double(s.CuspDefault) / Units));
    (s.BiDirectional == 0 ? Bidirectional : Unidirectional)->SetChecked(true);
    MultiTool->SetChecked(s.MultiToolPiloting);
    (s.DoShortSlotComp == 1 ? Comp : s.DoShortSlotComp == 2 ? MultiShort : Normal)->SetChecked(true);
    Fields[0].Show(s.ShortSlotCompFactor);
    Fields[1].Show(double(s.ShortSlotMaxComp) / Units);
    Min[0].Show(s.MinPilotHolePercent);
    Min[1].Show(s.MaxPilotHolePercent);
    EnableControls();
  }

  void Read(TSlotAlgorithmSettings& s) {
    s.CuspDefault = int32_t(std::nearbyint(Fields[2].Value()));
    s.BiDirectional = Bidirectional->Checked() ? 0 : 1;
    s.MultiToolPiloting = MultiTool->Checked();
    s.DoShortSlotComp = Comp->Checked() ? 1 : MultiShort->Checked() ? 2 : 0;
    const double factor = Fields[0].Value();
    if (factor >= 0 && factor <= 20) s.ShortSlotCompFactor = uint8_t(factor);
    const double low = Min[0].Value(), high = Min[1].Value();
    if (low >= 10 && low <= 90) s.MinPilotHolePercent = uint8_t(low);
    s.MaxPilotHolePercent = high >= s.MinPilotHolePercent && high <= 90 ? uint8_t(high) : s.MinPilotHolePercent;
    const double comp = std::nearbyint(Fields[1].Value());
    if (comp >= 0 && comp <= MaxCompLimit) s.ShortSlotMaxComp = int32_t(comp);
  }

  void EnableControls() {
    const bool comp = Comp->Checked();
    for (const char* name : {"Label1", "CompFactorEdit", "PercentLabel", "Label2", "MaxCompEdit", "UnitsLabel"})
      Get<TControl>(name).SetEnabled(comp);
    const bool multi = MultiTool->Checked();
    for (const char* name : {"Label3", "Label6", "Label4", "MinEdit", "Label5", "MaxEdit"})
      Get<TControl>(name).SetEnabled(multi);
  }

  double Units;
  TRadioButton *Bidirectional, *Unidirectional, *Normal, *Comp, *MultiShort;
  TCheckBox *MultiTool, *Defaults;
  TLabel* UnitsLabel;
  std::vector<TLabel*> PilotLabels;
  std::vector<TCheckedField> Min;     // minimum and maximum pilot size
  std::vector<TCheckedField> Fields;  // comp factor, max comp, cusp
  bool Refused = false;
};

}  // namespace

bool ExecuteSlotAlgorithmDialog(bool metric) {
  if (DRDB == nullptr) return false;
  TSlotAlgorithmDialog dialog(metric);
  TSlotAlgorithmSettings copy = DRDB->SlotAlgorithm;
  dialog.Fill(copy);
  if (!RunModal(dialog)) return false;
  dialog.Read(copy);
  DRDB->SlotAlgorithm = copy;
  if (dialog.Defaults->Checked()) SaveSlotAlgorithmSettings(copy);
  return true;
}
