// Message boxes, the input box and the system beep.
//
// A message box shows a text with an icon chosen by its kind and a row of
// buttons, and returns the modal result of the button pressed. The text is
// passed through as the program wrote it: line breaks may be "\r\n", and a
// doubled "&&" stands for one "&" (a single "&" marks no shortcut in the text
// and is dropped, as labels do).
//
// Boxes go through the installed backend; with none installed the headless
// backend answers them from its script (see headless/headless_dialogs.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

// The kind of a box: its icon and its default caption.
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// The buttons a box can have; they are always shown in this order.
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll };

// A set of buttons.
struct TMsgDlgButtons {
  uint32_t Bits = 0;
  constexpr TMsgDlgButtons() = default;
  constexpr TMsgDlgButtons(TMsgDlgBtn b) : Bits(1u << b) {}  // NOLINT: a single button is a set
  constexpr bool Has(TMsgDlgBtn b) const { return (Bits & (1u << b)) != 0; }
  constexpr bool Empty() const { return Bits == 0; }
  constexpr bool operator==(const TMsgDlgButtons&) const = default;
  // The buttons in display order.
  std::vector<TMsgDlgBtn> List() const;
};
constexpr TMsgDlgButtons operator|(TMsgDlgButtons a, TMsgDlgButtons b) {
  TMsgDlgButtons r;
  r.Bits = a.Bits | b.Bits;
  return r;
}
constexpr TMsgDlgButtons operator|(TMsgDlgBtn a, TMsgDlgBtn b) {
  return TMsgDlgButtons(a) | TMsgDlgButtons(b);
}

// The button sets the program uses.
inline constexpr TMsgDlgButtons mbOKOnly = mbOK;
inline constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;
inline constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;
inline constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
inline constexpr TMsgDlgButtons mbAbortRetryIgnore = mbAbort | mbRetry | mbIgnore;
inline constexpr TMsgDlgButtons mbYesAllNo = mbYes | mbAll | mbNo;
inline constexpr TMsgDlgButtons mbYesAllNoCancel = mbYes | mbAll | mbNo | mbCancel;

// The modal result a button gives, its caption ("&Yes", "OK", "&All", ...),
// and the default caption of a kind ("Warning", "Error", "Information",
// "Confirm"; a custom box carries the application title).
TModalResult ButtonModalResult(TMsgDlgBtn b);
std::string ButtonCaption(TMsgDlgBtn b);
std::string DefaultMessageCaption(TMsgDlgType type);
// "KORVEX 6": the caption of plain messages.
extern const char* const ApplicationTitle;

// The button Enter presses (OK, else Yes, else the first), and the one that
// Escape and the window's close box press: Cancel, else No, else the only
// button. EscapeButton returns false when there is none (Abort, Retry,
// Ignore): such a box must be answered with a button.
TMsgDlgBtn DefaultButton(TMsgDlgButtons buttons);
bool EscapeButton(TMsgDlgButtons buttons, TMsgDlgBtn& out);

// Everything a backend needs to show one box.
struct TMessageBoxRequest {
  TMsgDlgType Type = mtInformation;
  std::string Caption;
  std::string Text;
  TMsgDlgButtons Buttons = mbOK;
  // Escape and the close box answer mrCancel, whatever the buttons.
  bool EscapeCancels = false;
  // Yes erases or replaces something for good: Enter presses No.
  bool NoIsDefault = false;
};

// The button Enter presses in this box: No when the box says so and has one,
// else DefaultButton of its buttons.
TMsgDlgBtn DefaultButton(const TMessageBoxRequest& request);

// The text as it is shown on screen: "&&" becomes "&", a lone "&" is dropped,
// and "\r\n" or a lone "\r" become "\n".
std::string MessageDisplayText(const std::string& text);

class TMessageBoxBackend {
 public:
  virtual ~TMessageBoxBackend() = default;
  // Shows the box modally and returns the result of the button pressed.
  virtual TModalResult ShowMessageBox(const TMessageBoxRequest& request) = 0;
  // Asks for one line of text; value holds the proposal and, on OK, the
  // answer. Returns true on OK.
  virtual bool InputQuery(const std::string& caption, const std::string& prompt,
                          std::string& value) = 0;
  virtual void Beep(uint32_t type) = 0;
};

// Installs a backend (not owned; it must outlive its use). nullptr puts the
// headless backend back. Returns the previously installed one (nullptr for
// the headless default).
TMessageBoxBackend* SetMessageBoxBackend(TMessageBoxBackend* backend);
TMessageBoxBackend& MessageBoxBackend();

// The box with its kind's default caption. Buttons must not be empty.
TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);
// The same with an explicit caption.
TModalResult MessageDlgCaption(const std::string& caption, const std::string& text,
                               TMsgDlgType type, TMsgDlgButtons buttons);
// A plain box with an OK button and the application title.
void ShowMessage(const std::string& text);
// Boxes with one OK button.
void ErrorBox(const std::string& text);
void WarningBox(const std::string& text);
void InformationBox(const std::string& text);
// A question whose every button changes the job (No goes on differently):
// Escape and the close box answer mrCancel, so the command can stop and
// change nothing. The headless script answers it with mrCancel for Escape.
TModalResult AskChangingQuestion(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);
// A question; Yes and No unless other buttons are given.
TModalResult ConfirmationBox(const std::string& text, TMsgDlgButtons buttons = mbYesNo);
// A Yes/No question whose Yes erases or replaces something that cannot be
// had back: No is the default, so a stray Enter keeps it. True on Yes.
bool ConfirmDestroying(const std::string& text);
// "File <name> exists!" / "Do you wish to overwrite it?", asked so; true on
// Yes.
bool ConfirmOverwrite(const std::string& fileName);

// Asks for a line of text. value is the proposal; on OK it becomes the
// answer and the result is true; on Cancel it stays as it was.
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
// The answer, or defaultValue when the user cancels.
std::string InputBox(const std::string& caption, const std::string& prompt,
                     const std::string& defaultValue);

// Sound types of MessageBeep.
constexpr uint32_t MB_OK = 0x00000000;
constexpr uint32_t MB_ICONHAND = 0x00000010;
constexpr uint32_t MB_ICONQUESTION = 0x00000020;
constexpr uint32_t MB_ICONEXCLAMATION = 0x00000030;
constexpr uint32_t MB_ICONASTERISK = 0x00000040;
constexpr uint32_t MB_SIMPLEBEEP = 0xFFFFFFFF;
// Plays the system sound of the type (all types give the one beep here).
void MessageBeep(uint32_t type);
