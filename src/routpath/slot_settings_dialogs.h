// The drilled slot and circle settings dialogs: the angle and length of a
// slot made from one hole ("Slot Configuration"), the radius of a drilled
// circle ("Circle Configuration"), and how slots are expanded into hits when
// a drill tape is made ("Slot algorithm", opened from Make Drill Tape in the
// tape's units).
//
// Every field is checked when it is left: only digits, signs and a point
// (digits only in a percent field) and a value in the field's range; a
// refused entry shows "Illegal value: <text>" and the field gets back what it
// held when it was entered.
#pragma once
#include <string>

#include "platform/forms.h"

// An edit that checks its text when it is left. Lengths and angles are
// reals shown as the first 6 characters of their text; percents are whole
// numbers shown with at most 3 characters.
class TCheckedField {
 public:
  TCheckedField(TEdit& edit, bool whole, double low, double high, double scale = 1.0);
  // Shows the value (in the field's own units).
  void Show(double value);
  // The value typed (lenient), times the scale.
  double Value() const;
  // The check of leaving the field; false after the message and the restore.
  bool Check();

  TEdit& Edit;
  bool Whole;
  double Low, High;  // range of Value()
  double Scale;
  double Remembered = 0;
};

class TSlotConfigDialog : public TForm {
 public:
  TSlotConfigDialog();
  TEdit& AngleEdit;
  TEdit& LengthEdit;
  TCheckBox& DefaultsCheckBox;
  TCheckedField Angle, Length;
  void OKButtonClick();
};

class TCircleConfigDialog : public TForm {
 public:
  TCircleConfigDialog();
  TEdit& RadiusEdit;
  TCheckBox& DefaultsCheckBox;
  TCheckedField Radius;
  void OKButtonClick();
};

// Changes DRDB's drilled-slot angle and length, or drilled-circle radius, on
// OK (and saves them with "&Save Defaults" ticked). True on OK.
bool ExecuteSlotConfigDialog();
bool ExecuteCircleConfigDialog();
// Changes DRDB's slot algorithm settings on OK (and saves them with "&Set
// Defaults" ticked); lengths are shown in mm when metric, else in inches.
bool ExecuteSlotAlgorithmDialog(bool metric);
