// Number fields of the rout settings dialogs: entering a field remembers its
// value, leaving it checks the typed text (allowed characters and bounds,
// both included) and on refusal shows "Illegal value: <text>" and puts the
// remembered value back. OK checks every field again, so a value that never
// left its field cannot slip through.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms.h"

// The first six characters of RealToStr(value): how lengths are shown in a
// message.
std::string ShortRealText(double value);
// A number in a field: every digit RealToStr gives, so that a field left as
// it was shown, or as it was typed, keeps its value.
std::string FieldRealText(double value);

// True when the text is not empty, holds only digits (and, for a real
// number, "+", "-" and ".") and its value lies within [low, high].
bool NumberTextAccepted(const std::string& text, bool integer, double low, double high);

class TCheckedFields {
 public:
  // An edit or a spin edit: its text is its caption.
  struct TField {
    TControl* Edit = nullptr;
    bool Integer = false;
    std::function<double()> Low, High;
    // The message for a value out of range (empty: the illegal-value text).
    std::string RangeMessage;
    double Remembered = 0;
    std::function<void(double)> Accepted;  // after the text is rewritten
  };
  // Watches the edit: OnEnter remembers, OnExit checks.
  TField& Add(TControl& edit, bool integer, double low, double high);
  TField& Add(TControl& edit, bool integer, std::function<double()> low, std::function<double()> high);
  // Checks one field; on refusal the message is shown, the remembered value
  // put back and the field focused.
  bool Check(TField& field);
  // Takes the fields' present texts as the values to put back (after the
  // dialog filled them).
  void RememberAll();
  // Checks every enabled field in order; stops at the first refusal.
  bool CheckAll();
  // The value of an edit as typed (lenient reading).
  static double Value(const TControl& edit, bool integer);

 private:
  std::vector<std::unique_ptr<TField>> fields_;
  bool checking_ = false;
};

// Enter in one of the controls moves the focus to the next (the last back to
// the first) and is consumed; in any other control it keeps its meaning.
void MoveFocusOnEnter(const std::vector<TControl*>& order);
