// The headless backend of message boxes and common dialogs.
//
// No window is shown. A test scripts the answers before it drives the
// program, and afterwards reads the record of every box and dialog that was
// shown, with its exact texts and settings.
//
// Message boxes and input boxes take their answers, in order, from one queue:
// - a box whose only button is OK needs no answer: it takes a queued mrOk (or Enter)
//   when that is next, and otherwise answers OK without touching the queue;
// - any other box, and every input box, takes the next answer; with none
//   queued, or with an answer of the wrong kind (an input answer for a box, a
//   result the box has no button for), it throws EUnscriptedDialog naming
//   the box's text.
// File and font dialogs take theirs from a second queue in the same way and
// always need one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/common_dialogs.h"
#include "platform/message_box.h"

// A dialog that asked a question no script answered.
class EUnscriptedDialog : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// --- Message boxes ---------------------------------------------------------

enum class TMessageBoxKind { MessageBox, InputBox };

struct TMessageBoxRecord {
  TMessageBoxKind Kind = TMessageBoxKind::MessageBox;
  TMsgDlgType Type = mtInformation;  // message boxes
  std::string Caption;
  std::string Text;                  // the message, or the input box's prompt
  TMsgDlgButtons Buttons;            // message boxes
  TMsgDlgBtn Default = mbOK;         // message boxes: the button Enter presses
  TModalResult Answer = mrNone;      // mrOk / mrCancel for input boxes; mrNone when unanswered
  std::string Proposal;              // input boxes: the text offered
  std::string Value;                 // input boxes: the text returned on OK
};

// Queue the answer to the next box.
void ScriptMessageBoxAnswer(TModalResult answer);
// Queue Enter for the next box: its default button answers.
void ScriptMessageBoxEnter();
// Queue OK with the given text, or Cancel, for the next input box.
void ScriptInputBoxAnswer(const std::string& value);
void ScriptInputBoxCancel();
// Answers still waiting in the queue.
size_t PendingMessageBoxAnswers();

// Every box shown since the last reset, in order (also those that threw).
const std::vector<TMessageBoxRecord>& ShownMessageBoxes();
// The types passed to MessageBeep, in order.
const std::vector<uint32_t>& Beeps();
// Empties the queue and both records.
void ResetMessageBoxScript();

// --- Common dialogs --------------------------------------------------------

enum class TCommonDialogKind { Open, Save, Font };

struct TCommonDialogRecord {
  TCommonDialogKind Kind = TCommonDialogKind::Open;
  // File dialogs: the settings the program proposed.
  std::string Title;
  std::string InitialDir;
  std::string FileName;
  std::string Filter;
  int FilterIndex = 1;
  TOpenOptions Options = 0;
  // Font dialogs: the font proposed and the options.
  TFont Font;
  TFontDialogOptions FontOptions = 0;
  bool Accepted = false;
};

// Queue OK with this file for the next open or save dialog. A name without
// "/" is taken inside the dialog's initial folder (the current folder when
// it has none). filterIndex 0 keeps the dialog's index; another value is the
// filter the user picked (1-based) and must exist.
void ScriptFileDialogAnswer(const std::string& fileName, int filterIndex = 0);
// Queue OK with this font for the next font dialog.
void ScriptFontDialogAnswer(const TFont& font);
// Queue Cancel for the next dialog of any kind.
void ScriptCommonDialogCancel();
size_t PendingCommonDialogAnswers();

const std::vector<TCommonDialogRecord>& ShownCommonDialogs();
void ResetCommonDialogScript();

// Both resets.
void ResetHeadlessDialogs();

// The headless backends (the defaults of message_box.h and common_dialogs.h).
TMessageBoxBackend& HeadlessMessageBoxBackend();
TCommonDialogBackend& HeadlessCommonDialogBackend();
