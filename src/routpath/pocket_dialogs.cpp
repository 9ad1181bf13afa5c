#include "routpath/pocket_dialogs.h"

#include <cmath>

#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/view_services.h"

namespace {
// The largest depth the dialog takes, in display units.
double DepthLimit() { return Metric ? 24.999 : 0.9999; }
bool DepthCharacters(const std::string& text) {
  for (char c : text)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.')) return false;
  return true;
}
}  // namespace

TZDepthDialog::TZDepthDialog()
    : TForm("TZDepthDialog"),
      ZEditLabel(Add<TLabel>("ZEditlabel", "Please input &Z Depth :")),
      OffsetEdit(Add<TEdit>("OffsetEdit", "0.0")),
      OKButton(Add<TButton>("OKButton", "OK", mrOk)),
      CancelButton(Add<TButton>("CancelButton", "Cancel", mrCancel)),
      DefaultButton(Add<TButton>("DefaultButton", "&Use Default Tool Offset", mrYes)) {
  SetCaption("Milled Pocket Rout");
  OKButton.SetDefault(true);
  CancelButton.SetCancel(true);
  Accepted_ = OffsetEdit.Text();
  OffsetEdit.OnEnter = [this](TControl&) { Accepted_ = OffsetEdit.Text(); };
  OffsetEdit.OnChange = [this](TControl&) { OffsetEditChange(); };
  OffsetEdit.OnExit = [this](TControl&) { OffsetEditExit(); };
  OKButton.OnClick = [this](TControl&) {
    Value = static_cast<int32_t>(std::trunc(StrToRealLenient(OffsetEdit.Text()) *
                                            UnitsPerDisplayUnit));
  };
  DefaultButton.OnClick = [this](TControl&) { Value = NoZOffset; };
}

void TZDepthDialog::OffsetEditChange() {
  if (Changing_) return;
  Changing_ = true;
  const std::string text = OffsetEdit.Text();
  double x = StrToRealLenient(text);
  const bool negative = x < 0.0;
  x = std::fabs(x);
  const bool limited = x >= (Metric ? 25.0 : 1.0);
  if (limited) x = DepthLimit();
  if (negative) x = -x;
  if (!DepthCharacters(text))
    OffsetEdit.SetText(Accepted_);
  else if (limited)
    OffsetEdit.SetText(RealToStr(x).substr(0, 7));
  Accepted_ = OffsetEdit.Text();
  Changing_ = false;
}

void TZDepthDialog::OffsetEditExit() {
  double x = StrToRealLenient(OffsetEdit.Text());
  if (x >= (Metric ? 25.0 : 1.0)) x = DepthLimit();
  Changing_ = true;
  OffsetEdit.SetText(RealToStr(x).substr(0, 7));
  Accepted_ = OffsetEdit.Text();
  Changing_ = false;
}

bool ExecuteZDepthDialog(int32_t& value) {
  TZDepthDialog dialog;
  dialog.Value = 0;
  TModalResult result;
  {
    TModalBracket modal;
    result = dialog.ShowModal();
  }
  if (result == mrCancel || result == mrNone) return false;
  value = dialog.Value;
  return true;
}

TFullPanelAutoRoutConfigDlg::TFullPanelAutoRoutConfigDlg()
    : TForm("TFullPanelAutoRoutConfigDlg"),
      DustCheckBox(Add<TCheckBox>("DustCheckBox", "&Dust Out Internal Pockets")),
      DefaultsCheckBox(Add<TCheckBox>("DefaultsCheckBox", "&Save Defaults")),
      OKButton(Add<TButton>("OKButton", "OK", mrOk)),
      CancelButton(Add<TButton>("CancelButton", "Cancel", mrCancel)) {
  SetCaption("Configure Auto Web Rout");
  OKButton.SetDefault(true);
  CancelButton.SetCancel(true);
}

void ExecuteFullPanelAutoRoutConfigDialog() {
  if (RTDB == nullptr) return;
  TFullPanelAutoRoutConfigDlg dialog;
  dialog.DustCheckBox.SetChecked(RTDB->PocketDusting);
  TModalResult result;
  {
    TModalBracket modal;
    result = dialog.ShowModal();
  }
  if (result != mrOk) return;
  RTDB->PocketDusting = dialog.DustCheckBox.Checked();
  if (dialog.DefaultsCheckBox.Checked()) SaveFullPanelAutoRout(RTDB->PocketDusting);
}
