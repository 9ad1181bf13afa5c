// What the entity model and the databases use of the command language: the
// tool buttons of ButtonManager, the yes/no confirmation, and the command
// interpreter's two arc parameters (display flattening tolerance and the
// radius bound of real arcs added to rout paths).
//
// The button side is a small interface that the main window's button bar
// installs; until then a headless bar keeps the state of every button, so
// the model works and can be tested with no window.
#pragma once
#include <cstdint>
#include <map>
#include <string>

class TButtonBar {
 public:
  virtual ~TButtonBar() = default;
  // Shows the command's tool button up and enabled.
  virtual void ReleaseButton(int32_t command) = 0;
  // Shows the command's tool button up and disabled.
  virtual void DisableButton(int32_t command) = 0;
};

// The bar when no window is installed: it keeps each button's last state.
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

// Installs the window's bar (not owned); nullptr puts the headless one back.
// Returns the one installed before (nullptr for the headless one).
TButtonBar* SetButtonBar(TButtonBar* bar);
TButtonBar& ButtonManager();
THeadlessButtonBar& HeadlessButtonBar();

// A confirmation box with Yes and No for the text; true when Yes.
bool ConfirmYesNo(const std::string& text);

// Deviation, in device units, within which arcs are flattened into chords
// for display (0.4 at start).
double ArcDisplayTolerance();
void SetArcDisplayTolerance(double tolerance);
// Radius bound, in inches, of the arcs that rout path edits add as real arcs.
double ArcLengthParameter();
void SetArcLengthParameter(double inches);
