#include "routpath/panel_origin_dialog.h"

#include <cmath>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/rout_database.h"
#include "routpath/setting_bounds.h"

namespace {

bool EditsRout() { return EditorMode != emDrill && RTDB != nullptr && IsRoutLayer(CurrentLayer); }

TIntPoint StoredOrigin() {
  if (EditsRout()) return RTDB->G93Origins[CurrentLayer];
  if (DRDB != nullptr) return {DRDB->G93OriginX, DRDB->G93OriginY};
  return {0, 0};
}

double Units() { return UnitsPerDisplayUnit > 0 ? UnitsPerDisplayUnit : InchUnitsPerDisplayUnit; }

}  // namespace

TG93Dialog::TG93Dialog() : TForm("TG93Dialog") {
  SetCaption("New Panel Origin");
  auto& fields = Add<TPanel>("FieldPanel");
  fields.SetBevel(bvNone);
  fields.Add<TLabel>("XLabel", "&X");
  XEdit = &fields.Add<TEdit>("XEdit");
  fields.Add<TLabel>("YLabel", "&Y");
  YEdit = &fields.Add<TEdit>("YEdit");
  auto& buttons = Add<TPanel>("ButtonPanel");
  buttons.SetFlow(TFlow::Horizontal);
  buttons.SetBevel(bvNone);
  buttons.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);

  const TIntPoint stored = StoredOrigin();
  int32_t x = 0, y = 0;
  OrientPoint(stored.X, stored.Y, Version, x, y);
  XEdit->SetText(FieldRealText(x / Units()));
  YEdit->SetText(FieldRealText(y / Units()));
  const double limit = PanelOriginBound.Units() / Units();
  fields_.Add(*XEdit, false, -limit, limit);
  fields_.Add(*YEdit, false, -limit, limit);  // the same check as X
  fields_.RememberAll();
  OnCloseQuery = [this](TForm& form, bool& canClose) {
    if (form.ModalResult() == mrOk && !fields_.CheckAll()) canClose = false;
  };
}

void TG93Dialog::Store() const {
  const int32_t x = SaturatingRound(StrToRealLenient(XEdit->Text()) * Units());
  const int32_t y = SaturatingRound(StrToRealLenient(YEdit->Text()) * Units());
  int32_t ux = 0, uy = 0;
  UnorientPoint(x, y, Version, ux, uy);
  if (EditsRout()) {
    RTDB->G93Origins[CurrentLayer] = {ux, uy};
  } else if (DRDB != nullptr) {
    DRDB->G93OriginX = ux;
    DRDB->G93OriginY = uy;
  }
}

bool ExecuteG93Dialog() {
  TG93Dialog dialog;
  if (dialog.ShowModal() != mrOk) return false;
  dialog.Store();
  return true;
}
