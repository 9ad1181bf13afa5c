#include "command/command_services.h"

#include <memory>

#include "command/button_manager.h"
#include "command/command_interpreter.h"
#include "platform/message_box.h"

namespace {
TButtonBar* InstalledBar = nullptr;
std::unique_ptr<TButtonManager> StandIn;
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

TButtonBar& ButtonBar() { return InstalledBar != nullptr ? *InstalledBar : HeadlessButtonBar(); }

TButtonManager& ButtonManager() {
  if (ButtonManagerObject != nullptr) return *ButtonManagerObject;
  if (!StandIn) StandIn = std::make_unique<TButtonManager>();
  return *StandIn;
}

bool ConfirmYesNo(const std::string& text) {
  return MessageDlg(text, mtConfirmation, mbYesNo) == mrYes;
}

int ConfirmSaveDatabase() {
  return MessageDlg(
      "You are about to lose changes made made to the database! Do you wish to save it?",
      mtWarning, mbYesNoCancel);
}

int ConfirmSaveRoutLayer(int layer) {
  const std::string name = "R" + std::to_string(layer - 40);
  return MessageDlg("The rout file of layer " + name + " is not saved.\r\nSave it now?",
                    mtWarning, mbYesNoCancel);
}

void NotAvailableYet(const std::string& caption) {
  // "&&" shows one "&"; a single "&" marks the accelerator.
  std::string name;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      name += caption[i];
    } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
      name += '&';
      ++i;
    }
  }
  InformationBox("\"" + name + "\" is not available yet.");
}

