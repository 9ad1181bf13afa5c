// The "Follow Branch" alert: shown when a followed path reaches a point where
// several entities continue, before the user picks one of the red candidates.
#pragma once
#include "platform/forms.h"

class TFollowBranchDialog : public TForm {
 public:
  // Controls: Message1..Message3 (centred text), ShowAlertCheckBox (ticked),
  // OKButton "OK" (default, mrOk) and StopHereButton "Stop Here" (cancel,
  // mrCancel).
  TFollowBranchDialog();
  bool ShowAlertNextTime() { return Get<TCheckBox>("ShowAlertCheckBox").Checked(); }
};
