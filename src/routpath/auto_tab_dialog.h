// The "Auto Tab Settings" dialog: the shape of the tabs that the Add Tab
// command leaves on rout lines and arcs, held by the rout database.
#pragma once
#include "foundation/settings_families.h"
#include "routpath/checked_fields.h"

class TAutoTabDialog : public TForm {
 public:
  // Controls: WidthEdit, CutInWidthEdit, CutInOffsetEdit, RadiusCompCheckBox,
  // DrilledHolesCheckBox, HoleOffsetEdit, NumberOfHolesSpin, HoleSpacingEdit,
  // ToolNumberEdit, ButtonBook (pages "1" and "2") with ComplexTabButton0/1
  // and SimpleTabButton0/1, ComplexRadioButton, SimpleRadioButton,
  // DefaultsCheckBox, OKButton, CancelButton.
  explicit TAutoTabDialog(const TAutoTabSettings& settings);
  TAutoTabSettings Result() const;
  bool SaveDefaults() const { return DefaultsCheckBox->Checked(); }

  TEdit *WidthEdit = nullptr, *CutInWidthEdit = nullptr, *CutInOffsetEdit = nullptr;
  TEdit *HoleOffsetEdit = nullptr, *HoleSpacingEdit = nullptr, *ToolNumberEdit = nullptr;
  TSpinEdit* NumberOfHolesSpin = nullptr;
  TCheckBox *RadiusCompCheckBox = nullptr, *DrilledHolesCheckBox = nullptr;
  TCheckBox* DefaultsCheckBox = nullptr;
  TTabbedPages* ButtonBook = nullptr;
  TSpeedButton *ComplexTabButton0 = nullptr, *SimpleTabButton0 = nullptr;
  TSpeedButton *ComplexTabButton1 = nullptr, *SimpleTabButton1 = nullptr;
  TRadioButton *ComplexRadioButton = nullptr, *SimpleRadioButton = nullptr;

 private:
  void SetTabType(bool simple);
  void EnableHoles();
  TAutoTabSettings settings_;
  TCheckedFields fields_;
};

// Runs the dialog on the rout database's tab settings inside the caller's
// modal bracket; true on OK.
bool ExecuteAutoTabDialog();
