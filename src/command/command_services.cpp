#include "command/command_services.h"

#include "platform/message_box.h"

namespace {
TButtonBar* InstalledBar = nullptr;
double DisplayTolerance = 0.4;
double LengthParameter = 0.0;
}  // namespace

THeadlessButtonBar& HeadlessButtonBar() {
  static THeadlessButtonBar bar;
  return bar;
}

TButtonBar* SetButtonBar(TButtonBar* bar) {
  TButtonBar* old = InstalledBar;
  InstalledBar = bar;
  return old;
}

TButtonBar& ButtonManager() {
  return InstalledBar != nullptr ? *InstalledBar : HeadlessButtonBar();
}

bool ConfirmYesNo(const std::string& text) {
  return MessageDlg(text, mtConfirmation, mbYesNo) == mrYes;
}

double ArcDisplayTolerance() { return DisplayTolerance; }
void SetArcDisplayTolerance(double tolerance) { DisplayTolerance = tolerance; }
double ArcLengthParameter() { return LengthParameter; }
void SetArcLengthParameter(double inches) { LengthParameter = inches; }
