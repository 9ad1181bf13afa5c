// The "Auto Step & Repeat" dialog: how many copies across and up and how far
// apart, the automatic step-and-repeat settings of the rout database. The
// distances are shown and typed in the machine's axis version.
#pragma once
#include "foundation/settings_families.h"
#include "routpath/checked_fields.h"

class TStepRepeatDialog : public TForm {
 public:
  // Controls: NumberXEdit, NumberYEdit, DistanceXEdit, DistanceYEdit,
  // NestedCheckBox "&Nested Steps", DoXFirstCheckBox "Step Hor. &First",
  // SerpentineCheckBox "Ser&pentine", DefaultsCheckBox "&Save Defaults",
  // OKButton "OK" (default), CancelButton "Cancel".
  explicit TStepRepeatDialog(const TAutoStepRepeatSettings& settings);
  // The settings as the dialog holds them (OK).
  TAutoStepRepeatSettings Result() const;
  bool SaveDefaults() const;

  TEdit *NumberXEdit = nullptr, *NumberYEdit = nullptr;
  TEdit *DistanceXEdit = nullptr, *DistanceYEdit = nullptr;
  TCheckBox *NestedCheckBox = nullptr, *DoXFirstCheckBox = nullptr;
  TCheckBox *SerpentineCheckBox = nullptr, *DefaultsCheckBox = nullptr;

 private:
  TAutoStepRepeatSettings settings_;
  bool rememberedSerpentine_ = false;
  TCheckedFields fields_;
};

// Runs the dialog on the rout database's settings inside the caller's modal
// bracket; true on OK (the settings then replaced, and saved as defaults
// when asked).
bool ExecuteStepRepeatDialog();
