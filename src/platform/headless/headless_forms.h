// The headless forms backend. A modal form runs the script registered for
// its class name in place of a user: the script sets controls and clicks
// buttons through the form model, and one of its actions closes the form.
//
//   RegisterModalScript("TDrillFormatDialog", [](TForm& f) {
//     f.Get<TSpinEdit>("Digits").SetValue(3);
//     f.Click("OKButton");
//   });
//
// A modal form without a script, or whose script returns with the form still
// open, throws (the test fails naming the form's class).
#pragma once
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/forms.h"

using TModalScript = std::function<void(TForm& form)>;

// The script for every modal showing of the class (replaces an earlier one).
void RegisterModalScript(const std::string& className, TModalScript script);
// A script for the next showing only; queued scripts run before the
// registered one, in order.
void QueueModalScript(const std::string& className, TModalScript script);
// Forgets every script and the record of shown forms.
void ResetModalScripts();
// Class names of the modal forms shown since the last reset, in order.
const std::vector<std::string>& ModalFormsShown();
// The last form of the class shown modeless and not hidden since, or null
// (a test reaches a progress box's Cancel button through it).
TForm* ShowingModelessForm(const std::string& className);

// A modal form was shown with no script for its class.
class EUnscriptedModalForm : public std::runtime_error {
 public:
  explicit EUnscriptedModalForm(const std::string& className);
  const std::string& ClassName() const { return className_; }

 private:
  std::string className_;
};

// A modal form's script returned without closing the form.
class EModalScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

TFormsBackend& HeadlessFormsBackend();
