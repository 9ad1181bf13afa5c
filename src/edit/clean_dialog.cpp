#include "edit/clean_dialog.h"

#include <cmath>
#include <cstdio>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "model/view_services.h"
#include "platform/message_box.h"

std::string CleanLengthToText(int32_t length) {
  double x = double(length) / double(UnitsPerDisplayUnit);
  char text[64];
  if (Metric) {
    std::snprintf(text, sizeof text, "%.3f", std::nearbyint(x * 1000.0) * 0.001);
  } else {
    std::snprintf(text, sizeof text, "%.4f", std::nearbyint(x * 10000.0) * 0.0001);
  }
  return text;
}

int32_t CleanTextToLength(const std::string& text) {
  // Saturating, so that a huge number is refused as out of range instead of
  // wrapping into it.
  return SaturatingRound(StrToRealLenient(text) * double(UnitsPerDisplayUnit));
}

namespace {
const char* const OverlapPrefix = "Overlap Tolerance is illegal! Must be from \r\n";
const char* const ArcPrefix = "Arc Tolerance is illegal! Must be from \r\n";
const char* const CirclePrefix = "Circle Tolerance is illegal! Must be from \r\n";

// A check box with its tolerance edit beside it.
TCheckBox& AddRow(TForm& form, const std::string& rowName, const std::string& boxName,
                  const std::string& caption, const std::string& editName, TEdit** edit) {
  auto& row = form.Add<TPanel>(rowName);
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  auto& box = row.Add<TCheckBox>(boxName, caption);
  box.SetWidth(180);
  if (edit) {
    *edit = &row.Add<TEdit>(editName, "0.002");
    (*edit)->SetWidth(70);
  }
  return box;
}
}  // namespace

TCleanDialog::TCleanDialog() : TForm("TCleanDialog") {
  SetCaption("Clean Up Drawing");
  SetSizeable(false);
  CheckBox1 = &AddRow(*this, "Row1", "CheckBox1", "Kill &Duplicates", "", nullptr);
  CheckBox2 = &AddRow(*this, "Row2", "CheckBox2", "Kill &Overlapped Lines",
                      "OverlapToleranceEdit", &OverlapToleranceEdit);
  CheckBox3 = &AddRow(*this, "Row3", "CheckBox3", "Build &Arcs From Chords", "ArcToleranceEdit",
                      &ArcToleranceEdit);
  CheckBox4 = &AddRow(*this, "Row4", "CheckBox4", "&Build Circles From Arcs",
                      "CircleToleranceEdit", &CircleToleranceEdit);
  CheckBox5 = &Add<TCheckBox>("CheckBox5", "&Save Defaults");
  auto& buttons = Add<TPanel>("ButtonRow");
  buttons.SetFlow(TFlow::Horizontal);
  buttons.SetBevel(bvNone);
  buttons.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);

  OverlapToleranceEdit->OnEnter = [this](TControl& c) { OverlapToleranceEditEnter(c); };
  ArcToleranceEdit->OnEnter = [this](TControl& c) { ArcToleranceEditEnter(c); };
  CircleToleranceEdit->OnEnter = [this](TControl& c) { CircleToleranceEditEnter(c); };
  OverlapToleranceEdit->OnExit = [this](TControl& c) { OverlapToleranceEditExit(c); };
  ArcToleranceEdit->OnExit = [this](TControl& c) { ArcToleranceEditExit(c); };
  CircleToleranceEdit->OnExit = [this](TControl& c) { CircleToleranceEditExit(c); };
  // OK never hands on an illegal tolerance, even when the edit kept the
  // focus: every edit is checked again, and on the first bad one its message
  // shows, its old text comes back and the dialog stays open.
  OnCloseQuery = [this](TForm& form, bool& canClose) {
    if (form.ModalResult() != mrOk) return;
    canClose = CheckTolerance(*OverlapToleranceEdit, OverlapSaved, OverlapPrefix) &&
               CheckTolerance(*ArcToleranceEdit, ArcSaved, ArcPrefix) &&
               CheckTolerance(*CircleToleranceEdit, CircleSaved, CirclePrefix);
  };
}

void TCleanDialog::SetSettings(const TCleanupSettings& s) {
  CheckBox1->SetChecked(s.KillDuplicates);
  CheckBox2->SetChecked(s.KillOverlaps);
  CheckBox3->SetChecked(s.BuildArcs);
  CheckBox4->SetChecked(s.BuildCircles);
  CheckBox5->SetChecked(false);
  OverlapToleranceEdit->SetText(CleanLengthToText(s.OverlapTolerance));
  ArcToleranceEdit->SetText(CleanLengthToText(s.ArcTolerance));
  CircleToleranceEdit->SetText(CleanLengthToText(s.CircleTolerance));
  OverlapSaved = OverlapToleranceEdit->Text();
  ArcSaved = ArcToleranceEdit->Text();
  CircleSaved = CircleToleranceEdit->Text();
}

void TCleanDialog::GetSettings(TCleanupSettings& s) {
  s.KillDuplicates = CheckBox1->Checked();
  s.KillOverlaps = CheckBox2->Checked();
  s.BuildArcs = CheckBox3->Checked();
  s.BuildCircles = CheckBox4->Checked();
  s.OverlapTolerance = CleanTextToLength(OverlapToleranceEdit->Text());
  s.ArcTolerance = CleanTextToLength(ArcToleranceEdit->Text());
  s.CircleTolerance = CleanTextToLength(CircleToleranceEdit->Text());
}

void TCleanDialog::OverlapToleranceEditEnter(TControl&) {
  OverlapSaved = OverlapToleranceEdit->Text().substr(0, 255);
}
void TCleanDialog::ArcToleranceEditEnter(TControl&) {
  ArcSaved = ArcToleranceEdit->Text().substr(0, 255);
}
void TCleanDialog::CircleToleranceEditEnter(TControl&) {
  CircleSaved = CircleToleranceEdit->Text().substr(0, 255);
}
void TCleanDialog::OverlapToleranceEditExit(TControl&) {
  CheckTolerance(*OverlapToleranceEdit, OverlapSaved, OverlapPrefix);
}
void TCleanDialog::ArcToleranceEditExit(TControl&) {
  CheckTolerance(*ArcToleranceEdit, ArcSaved, ArcPrefix);
}
void TCleanDialog::CircleToleranceEditExit(TControl&) {
  CheckTolerance(*CircleToleranceEdit, CircleSaved, CirclePrefix);
}

bool TCleanDialog::CheckTolerance(TEdit& edit, const std::string& saved,
                                  const std::string& prefix) {
  int32_t value = CleanTextToLength(edit.Text());
  if (value >= MinCleanTolerance && value <= MaxCleanTolerance) return true;
  ErrorBox(prefix + CleanLengthToText(MinCleanTolerance) + " to " +
           CleanLengthToText(MaxCleanTolerance));
  edit.SetText(saved);
  return false;
}

bool RunCleanDialog(TCleanupSettings& s) {
  LoadAutoCleanupDefaults(s.KillDuplicates, s.KillOverlaps, s.BuildArcs, s.BuildCircles,
                          s.OverlapTolerance, s.ArcTolerance, s.CircleTolerance);
  TCleanDialog dialog;
  dialog.SetSettings(s);
  TModalResult result;
  {
    TModalBracket bracket;
    result = dialog.ShowModal();
  }
  if (result != mrOk) return false;
  dialog.GetSettings(s);
  if (dialog.Get<TCheckBox>("CheckBox5").Checked()) {
    SaveAutoCleanupDefaults(s.KillDuplicates, s.KillOverlaps, s.BuildArcs, s.BuildCircles,
                            s.OverlapTolerance, s.ArcTolerance, s.CircleTolerance);
  }
  return true;
}
