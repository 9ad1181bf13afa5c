// The two small dialogs of the pocket and panel routs: the Z depth of a
// milled pocket rout, and the Pocket Dusting option of the web rout.
#pragma once
#include <cstdint>
#include <string>

#include "platform/forms.h"

// "Milled Pocket Rout": the depth in display units, limited below one inch
// (25 mm); a text with anything but digits, "-" and "." is refused and the
// text before it comes back.
class TZDepthDialog : public TForm {
 public:
  TZDepthDialog();
  TLabel& ZEditLabel;
  TEdit& OffsetEdit;
  TButton& OKButton;
  TButton& CancelButton;
  TButton& DefaultButton;  // "&Use Default Tool Offset": no depth of its own
  int32_t Value = 0;       // database units after OK or the default button

 private:
  void OffsetEditChange();
  void OffsetEditExit();
  std::string Accepted_;
  bool Changing_ = false;
};

// Shows the dialog; false only when it was cancelled. value: the depth in
// database units, or NoZOffset for the tool's own depth.
bool ExecuteZDepthDialog(int32_t& value);

// "Configure Auto Web Rout": the Pocket Dusting option of RTDB, saved as a
// default on request.
class TFullPanelAutoRoutConfigDlg : public TForm {
 public:
  TFullPanelAutoRoutConfigDlg();
  TCheckBox& DustCheckBox;
  TCheckBox& DefaultsCheckBox;
  TButton& OKButton;
  TButton& CancelButton;
};

// Shows it for RTDB; OK stores the option (and saves it when asked).
void ExecuteFullPanelAutoRoutConfigDialog();
