// The settings dialogs of the automatic rout ("Auto Rout Settings") and of
// the automatic part rout ("Configure Auto Part Rout"), both working on the
// records the rout database holds. Lengths are in the display unit.
#pragma once
#include "foundation/settings_families.h"
#include "routpath/checked_fields.h"

class TAutoRoutDialog : public TForm {
 public:
  // Controls: CornerRoutButton, PinlessRoutButton, InlineRoutButton (one
  // group) with CornerRadioButton, PinlessRadioButton, InlineRadioButton;
  // PlungeOffsetEdit, OvercutEdit, EdgeOffsetEdit; LowFeedInCheckBox,
  // LowFeedOutCheckBox, DefaultsCheckBox; OKButton, CancelButton.
  explicit TAutoRoutDialog(const TAutoRoutSettings& settings);
  TAutoRoutSettings Result() const;
  bool SaveDefaults() const { return DefaultsCheckBox->Checked(); }

  TSpeedButton *CornerRoutButton = nullptr, *PinlessRoutButton = nullptr, *InlineRoutButton = nullptr;
  TRadioButton *CornerRadioButton = nullptr, *PinlessRadioButton = nullptr, *InlineRadioButton = nullptr;
  TEdit *PlungeOffsetEdit = nullptr, *OvercutEdit = nullptr, *EdgeOffsetEdit = nullptr;
  TCheckBox *LowFeedInCheckBox = nullptr, *LowFeedOutCheckBox = nullptr, *DefaultsCheckBox = nullptr;

 private:
  void SetStyle(uint8_t style);
  TAutoRoutSettings settings_;
  TCheckedFields fields_;
};

class TInlineCfgDialog : public TForm {
 public:
  // Controls: OverCutEdit with UnitLabel ("inch" or "mm"), SizeCheckBox
  // "&Use Cutter Size", DefaultsCheckBox "&Save Defaults", OKButton,
  // CancelButton. The edit is enabled only while the cutter size is not used.
  explicit TInlineCfgDialog(const TFullPanelInlineRout& settings);
  TFullPanelInlineRout Result() const;
  bool SaveDefaults() const { return DefaultsCheckBox->Checked(); }

  TEdit* OverCutEdit = nullptr;
  TLabel* UnitLabel = nullptr;
  TCheckBox *SizeCheckBox = nullptr, *DefaultsCheckBox = nullptr;

 private:
  TFullPanelInlineRout settings_;
  TCheckedFields fields_;
  bool rewriting_ = false;
};

// Each runs its dialog on the rout database's record inside the caller's
// modal bracket; true on OK (the record replaced, saved when asked).
bool ExecuteAutoRoutDialog();
bool ConfigureAutoPartRout();
