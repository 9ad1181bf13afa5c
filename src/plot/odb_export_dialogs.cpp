#include "plot/odb_export_dialogs.h"

#include <algorithm>

#include "foundation/display_units.h"
#include "foundation/utilities.h"
#include "model/view_services.h"
#include "platform/message_box.h"

std::string OdbLayerLabel(int32_t layer) {
  if (layer >= 40) return "R" + std::to_string(layer - 40);
  if (layer >= 30) return "D" + std::to_string(layer - 30);
  return std::to_string(layer);
}

namespace {

void AddButtons(TForm& form) {
  TPanel& buttons = form.Add<TPanel>("ButtonPanel");
  buttons.SetFlow(TFlow::Horizontal);
  buttons.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
}

}  // namespace

TValorExportDialog::TValorExportDialog(const TOdbLayerFlags& flags, bool select)
    : TForm(select ? "TLayerSelectDialog" : "TValorExportDialog"), Flags(flags), select_(select) {
  SetCaption(select ? "Select Layer to Save" : "Export Database in Valor ODB++ Format");
  TPanel& labels = Add<TPanel>("LabelPanel");
  labels.Add<TLabel>("OutputLabel", "Output").SetBounds(0, 0, 44, 15);
  labels.Add<TLabel>("LayerLabel", "Layer").SetBounds(48, 0, 44, 15);
  labels.Add<TLabel>("NameLabel", "Name").SetBounds(96, 0, 44, 15);
  labels.SetAlign(alTop);
  TPanel& center = Add<TPanel>("CenterPanel");
  center.SetAlign(alClient);
  // The rows start at the panel's edge, as the heads above them do, so each
  // head stands over its column.
  center.SetBevel(bvNone);
  TScrollBox& rows = center.Add<TScrollBox>("ScrollBox");
  rows.SetAlign(alClient);
  int32_t r = 0;
  for (int32_t l = 0; l < 45; ++l) {
    if (!Flags[static_cast<std::size_t>(l)]) continue;
    ++r;
    const std::string n = std::to_string(l);
    if (select) {
      rows.Add<TRadioButton>("Select" + n).SetBounds(16, 24 * r - 14, 12, 12);
    } else {
      TCheckBox& box = rows.Add<TCheckBox>("Output" + n);
      box.SetChecked(true);
      box.SetBounds(16, 24 * r - 14, 12, 12);
    }
    rows.Add<TLabel>("Label" + n, OdbLayerLabel(l)).SetBounds(56, 24 * r - 16, 36, 15);
    TEdit& edit = rows.Add<TEdit>("Name" + n);
    edit.SetMaxLength(static_cast<int>(kOdbNameLength));
    edit.SetText(LayerNames[l]);
    edit.SetBounds(96, 24 * r - 20, 150, 21);
  }
  AddButtons(*this);
  FindControl("ButtonPanel")->SetAlign(alBottom);
  // 24 pixels a row and the frame; a long list scrolls.
  SetClientSize(PreferredSize().X, std::min(24 * r + 86, 400));
  OnCloseQuery = [this](TForm&, bool&) {
    if (ModalResult() == mrOk) OKButtonClick();
  };
}

void TValorExportDialog::OKButtonClick() {
  for (int32_t l = 0; l < 45; ++l) {
    if (!Flags[static_cast<std::size_t>(l)]) continue;
    const std::string n = std::to_string(l);
    if (select_) {
      if (Get<TRadioButton>("Select" + n).Checked()) Chosen = l;
    } else if (Get<TCheckBox>("Output" + n).Checked()) {
      LayerNames[l] = Get<TEdit>("Name" + n).Text().substr(0, 20);
    } else {
      Flags[static_cast<std::size_t>(l)] = false;
    }
  }
}

TUpdateDialog::TUpdateDialog() : TForm("TUpdateDialog") {
  SetCaption("Update Valor Database");
  TRadioGroup& group = Add<TRadioGroup>("UpdateGroup", "Update Type");
  group.SetItems({"&Add New Step (Multiple Layers)", "&Overwrite Layer (One Layer)",
                  "Add &Layer (One Layer)"});
  group.SetItemIndex(0);
  AddButtons(*this);
}

TNewNameDialog::TNewNameDialog(bool layer, const std::vector<std::string>& existing)
    : TForm(layer ? "TLayerNameDialog" : "TStepNameDialog"), layer_(layer), existing_(existing) {
  SetCaption(layer ? "Enter New Layer Name" : "Enter New Step Name");
  Add<TLabel>("ExistingLabel", layer ? "Existing Layer Names" : "Existing Step Names");
  Add<TListBox>("ExistingListBox").SetItems(existing);
  Add<TLabel>("NewNameLabel", layer ? "&New Layer Name" : "&New Step Name");
  Add<TEdit>("NewNameEdit").SetText(layer ? "NEWLAYER" : "NEWSTEP");
  AddButtons(*this);
  OnCloseQuery = [this](TForm&, bool& canClose) {
    if (ModalResult() == mrOk && !OKButtonClick()) canClose = false;
  };
}

bool TNewNameDialog::OKButtonClick() {
  // The name is cut first so that the check sees the name that is stored.
  const std::string name = UpperCaseStr(TrimBlanks(Get<TEdit>("NewNameEdit").Text())).substr(0, kOdbNameLength);
  bool clash = name.empty();
  for (const std::string& e : existing_) clash = clash || UpperCaseStr(e).substr(0, kOdbNameLength) == name;
  if (clash) {
    ErrorBox(layer_ ? "The layer name you have entered is the same as an existing\r\n"
                      "layer name.  Please enter a different layer name"
                    : "The step name you have entered is the same as an existing\r\n"
                      "step name.  Please enter a different step name");
    Get<TEdit>("NewNameEdit").SetText(layer_ ? "NEWLAYER" : "NEWSTEP");
    return false;
  }
  NewName = name;
  return true;
}

bool RunValorExportDialog(TOdbLayerFlags& flags) {
  TModalBracket bracket;
  TValorExportDialog dialog(flags);
  if (dialog.ShowModal() != mrOk) return false;
  flags = dialog.Flags;
  return true;
}

bool RunLayerSelectDialog(const TOdbLayerFlags& flags, int32_t& layer) {
  TModalBracket bracket;
  TValorExportDialog dialog(flags, true);
  if (dialog.ShowModal() != mrOk || dialog.Chosen <= 0) return false;
  layer = dialog.Chosen;
  return true;
}

bool RunUpdateDialog(uint8_t& updateType) {
  TModalBracket bracket;
  TUpdateDialog dialog;
  if (dialog.ShowModal() != mrOk) return false;
  updateType = static_cast<uint8_t>(std::clamp(dialog.Get<TRadioGroup>("UpdateGroup").ItemIndex(), 0, 2));
  return true;
}

namespace {

bool RunNameDialog(bool layer, const std::vector<std::string>& existing, std::string& newName) {
  TModalBracket bracket;
  TNewNameDialog dialog(layer, existing);
  if (dialog.ShowModal() != mrOk) return false;
  newName = dialog.NewName;
  return true;
}

}  // namespace

bool RunStepNameDialog(const std::vector<std::string>& existing, std::string& newName) {
  return RunNameDialog(false, existing, newName);
}

bool RunLayerNameDialog(const std::vector<std::string>& existing, std::string& newName) {
  return RunNameDialog(true, existing, newName);
}

bool RunValorPickLayerDialog(const std::vector<std::string>& layers,
                             const std::vector<std::string>& steps, int32_t& layer,
                             int32_t& step) {
  if (layers.size() > kOdbNameTableSize || steps.size() > kOdbNameTableSize) return false;
  TModalBracket bracket;
  TForm dialog("TValorPickLayerDialog");
  dialog.SetCaption("Overwrite Valor Layer");
  TPanel& numbers = dialog.Add<TPanel>("StepnumberPanel");
  numbers.SetCaption("Step Number:");
  TPanel& names = dialog.Add<TPanel>("LayerNamePanel");
  names.Add<TLabel>("LayersLabel", "Layers");
  TPanel& grid = dialog.Add<TPanel>("GridPanel");
  TPanel& stepPanel = dialog.Add<TPanel>("StepPanel");
  stepPanel.Add<TLabel>("StepsLabel", "Steps");
  const int32_t nl = static_cast<int32_t>(layers.size()), ns = static_cast<int32_t>(steps.size());
  for (int32_t j = 1; j <= ns; ++j) {
    numbers.Add<TLabel>("StepNumber" + std::to_string(j), std::to_string(j)).SetBounds(16 * j + 65, 2, 14, 14);
    stepPanel.Add<TLabel>("StepName" + std::to_string(j), std::to_string(j) + " " + steps[static_cast<std::size_t>(j - 1)]);
  }
  for (int32_t i = 1; i <= nl; ++i) {
    names.Add<TLabel>("LayerName" + std::to_string(i), layers[static_cast<std::size_t>(i - 1)]).SetBounds(0, 16 * i, 74, 15);
    for (int32_t j = 1; j <= ns; ++j)
      grid.Add<TRadioButton>("Pick" + std::to_string(i) + "_" + std::to_string(j)).SetBounds(16 * j + 66, 16 * i + 19, 12, 12);
  }
  AddButtons(dialog);
  if (dialog.ShowModal() != mrOk) return false;
  for (int32_t i = 1; i <= nl; ++i)
    for (int32_t j = 1; j <= ns; ++j)
      if (dialog.Get<TRadioButton>("Pick" + std::to_string(i) + "_" + std::to_string(j)).Checked()) {
        layer = i;
        step = j;
        return true;
      }
  return false;
}

bool RunValorPickStepDialog(const std::vector<std::string>& steps, int32_t& step) {
  if (steps.size() > kOdbNameTableSize) return false;
  TModalBracket bracket;
  TForm dialog("TValorPickStepDialog");
  dialog.SetCaption("Add to Valor Step");
  TPanel& list = dialog.Add<TPanel>("StepList");
  for (std::size_t j = 1; j <= steps.size(); ++j)
    list.Add<TRadioButton>("Step" + std::to_string(j), steps[j - 1]).SetBounds(16, 16 * static_cast<int>(j - 1), 170, 16);
  AddButtons(dialog);
  if (dialog.ShowModal() != mrOk) return false;
  for (std::size_t j = 1; j <= steps.size(); ++j)
    if (dialog.Get<TRadioButton>("Step" + std::to_string(j)).Checked()) {
      step = static_cast<int32_t>(j);
      return true;
    }
  return false;
}
