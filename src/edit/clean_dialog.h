// The "Clean Up Drawing" dialog: which clean-up passes run and with which
// tolerances, and the conversions between a tolerance and its text.
#pragma once
#include <cstdint>
#include <string>

#include "platform/forms.h"

// The seven clean-up settings, in the order of the settings family
// "AutoCleanup Defaults". Tolerances are in database units.
struct TCleanupSettings {
  bool KillDuplicates = true;
  bool KillOverlaps = true;
  bool BuildArcs = true;
  bool BuildCircles = true;
  int32_t OverlapTolerance = 50800;
  int32_t ArcTolerance = 50800;
  int32_t CircleTolerance = 50800;
};

// Legal tolerances: 0.0001 in to 0.01 in.
constexpr int32_t MinCleanTolerance = 2540;
constexpr int32_t MaxCleanTolerance = 254000;

// A length in database units as display text: millimetres with 3 decimals
// when Metric is on, else inches with 4, no unit and no blanks.
std::string CleanLengthToText(int32_t length);
// Display text to database units (x UnitsPerDisplayUnit, rounded); an
// unreadable text gives 0.
int32_t CleanTextToLength(const std::string& text);

class TCleanDialog : public TForm {
 public:
  TCleanDialog();

  // Shows the settings (Save Defaults unticked) and reads them back.
  void SetSettings(const TCleanupSettings& settings);
  void GetSettings(TCleanupSettings& settings);

  void OverlapToleranceEditEnter(TControl&);
  void ArcToleranceEditEnter(TControl&);
  void CircleToleranceEditEnter(TControl&);
  void OverlapToleranceEditExit(TControl&);
  void ArcToleranceEditExit(TControl&);
  void CircleToleranceEditExit(TControl&);

 private:
  // Refuses a text outside the legal range: the message with the prefix, and
  // the saved text back into the edit. True when the text was legal.
  bool CheckTolerance(TEdit& edit, const std::string& saved, const std::string& prefix);

  TCheckBox* CheckBox1;
  TCheckBox* CheckBox2;
  TCheckBox* CheckBox3;
  TCheckBox* CheckBox4;
  TCheckBox* CheckBox5;
  TEdit* OverlapToleranceEdit;
  TEdit* ArcToleranceEdit;
  TEdit* CircleToleranceEdit;
  // Each edit's text as it was when it last received the focus.
  std::string OverlapSaved;
  std::string ArcSaved;
  std::string CircleSaved;
};

// Loads "AutoCleanup Defaults" into the settings (a value missing there
// keeps the one passed in), shows the dialog inside the main form's modal
// bracket and, on OK, reads the settings back and saves them to the family
// when Save Defaults is ticked. True when OK was pressed; on Cancel the
// settings stay as loaded.
bool RunCleanDialog(TCleanupSettings& settings);
