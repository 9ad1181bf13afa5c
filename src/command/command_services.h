// What the rest of the program uses of the command language without
// knowing its objects: ButtonManager's tool buttons, the yes/no
// confirmations, and the interpreter's two arc parameters (declared with
// the model's services, which this header includes).
//
// The buttons' look is reported to a TButtonBar as well: the headless bar
// keeps the state of every button so that tests can read what the window
// would show.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "command/button_manager.h"
#include "model/model_services.h"

class TButtonBar {
 public:
  virtual ~TButtonBar() = default;
  // The command's tool button is now up and enabled.
  virtual void ReleaseButton(int32_t command) = 0;
  // The command's tool button is now up and disabled.
  virtual void DisableButton(int32_t command) = 0;
};

// The bar when no other is installed: it keeps each button's last state.
class THeadlessButtonBar : public TButtonBar {
 public:
  enum TState { bsUnknown, bsReleased, bsDisabled };
  void ReleaseButton(int32_t command) override { States[command] = bsReleased; }
  void DisableButton(int32_t command) override { States[command] = bsDisabled; }
  TState StateOf(int32_t command) const {
    auto it = States.find(command);
    return it == States.end() ? bsUnknown : it->second;
  }
  std::map<int32_t, TState> States;
};

// Installs a bar (not owned); nullptr puts the headless one back. Returns
// the one installed before (nullptr for the headless one).
TButtonBar* SetButtonBar(TButtonBar* bar);
TButtonBar& ButtonBar();
THeadlessButtonBar& HeadlessButtonBar();

// The global ButtonManager object, or before start-up (and in tests that
// build no objects) a stand-in manager without buttons.
TButtonManager& ButtonManager();

// A confirmation box with Yes and No for the text; true when Yes.
bool ConfirmYesNo(const std::string& text);
// Warns that unsaved changes of the job are about to be lost and asks
// whether to save it: Yes, No or Cancel; returns the modal result.
int ConfirmSaveDatabase();
// Warns that the rout file of a rout layer (40..44, shown R0..R4) is not
// saved and asks whether to save it: Yes, No or Cancel; returns the modal
// result (mrYes, mrNo, mrCancel).
int ConfirmSaveRoutLayer(int layer);

// Every menu item and command whose work is not in the program yet answers
// here: "\"" caption "\" is not available yet." (the caption without its
// accelerator marks).
void NotAvailableYet(const std::string& caption);
