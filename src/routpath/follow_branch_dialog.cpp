#include "routpath/follow_branch_dialog.h"

TFollowBranchDialog::TFollowBranchDialog() : TForm("TFollowBranchDialog") {
  SetCaption("Follow Branch");
  const char* lines[] = {"Multiple entities connected to a link point.",
                         "Please pick the appropriate direction for path",
                         "from red highlighted entities."};
  int n = 1;
  for (const char* text : lines) {
    auto& label = Add<TLabel>("Message" + std::to_string(n++), text);
    label.SetAlignment(taCenter);
  }
  Add<TCheckBox>("ShowAlertCheckBox", "&Show Alert Next Time").SetChecked(true);
  auto& row = Add<TPanel>("ButtonRow");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  row.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  row.Add<TButton>("StopHereButton", "Stop Here", mrCancel).SetCancel(true);
}
