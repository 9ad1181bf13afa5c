// The command interpreter ECO: the table of command numbers and their
// texts, the active command, and the routing of input events to it.
//
// Every command number that can run has a definition: its command text
// (the word and argument list, "UNDO", "ZOOMALL") and its starter. A
// command event (kind 1024, the number in Flags[0]) runs the starter; a
// starter either finishes at once (Undo, Zoom All) or makes an interactive
// command the active one, which then receives the mouse and key events of
// the drawing area that its input mode accepts until it finishes or is
// cancelled. Command 1 cancels the active command; every layer change, New
// and Open send it.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "command/input_event.h"

// A command waiting for input.
class TInteractiveCommand {
 public:
  virtual ~TInteractiveCommand() = default;
  // The event kinds it accepts (ievMouseDown | ievClick | ...).
  virtual uint16_t InputMode() const = 0;
  // One accepted event; returns false when the command has finished.
  virtual bool HandleEvent(TInputEvent& event) = 0;
  // The command is cancelled (command 1, another command, a layer change):
  // take back what it shows (rubber bands, prompts).
  virtual void Cancel() {}
};

// Starts a command; true when it started (a one-shot command that ran also
// counts as started).
using TCommandStarter = std::function<bool()>;

// Adds or replaces the definition of a command number (1..255). The owning
// units define their commands when their objects are created.
void DefineCommand(int32_t number, const std::string& text, TCommandStarter starter);
// Forgets a definition.
void UndefineCommand(int32_t number);
bool CommandDefined(int32_t number);
// The command text of a number ("" when undefined).
std::string CommandText(int32_t number);

// The Undo and Redo tool buttons show whether the active journal has a step
// to undo or redo: the same answer the Edit menu gives.
void ShowUndoButtons();

class TCommandInterpreter {
 public:
  // Defines the built-in commands (Undo 79 and Redo 124).
  TCommandInterpreter();
  // Cancels the active command.
  virtual ~TCommandInterpreter();
  TCommandInterpreter(const TCommandInterpreter&) = delete;
  TCommandInterpreter& operator=(const TCommandInterpreter&) = delete;

  // Greatest deviation, in device units, between an arc and the chords
  // drawn for it.
  double ArcDisplayTolerance = 0.4;
  // Radius bound, in inches, of the arcs that rout path edits add as real
  // arcs.
  double ArcLengthParameter = 0.0;

  // Routes an event: a command event runs its command (1 cancels); a mouse
  // or key event updates the pointer state and goes to the active command
  // when its input mode accepts the kind.
  void HandleEvent(TInputEvent& event);
  // Starts a command as a command event does; true when it started.
  bool RunCommand(int32_t number);
  // Cancels the active command (nothing when none is active).
  void CancelCommand();

  // Makes the command the active one (cancelling the one before), under the
  // number it was started by.
  void SetActiveCommand(std::unique_ptr<TInteractiveCommand> command);
  TInteractiveCommand* ActiveCommand() const { return Active_.get(); }
  int32_t ActiveCommandNumber() const { return Active_ ? ActiveNumber_ : 0; }
  // What the active command accepts (0 when none is active).
  uint16_t InputMode() const { return Active_ ? Active_->InputMode() : 0; }

  // Mode hooks of the editor mode switch.
  void EnterCadMode();
  void EnterRoutMode();
  void EnterDrillMode();
  uint8_t Mode() const { return Mode_; }

  // The newest command text ("" before the first command).
  void GetCurrentCommand(std::string& text) const { text = CurrentCommand_; }

  // Text typed on the command line and entered: a waiting command that
  // takes keys gets it as one key event per character followed by Enter;
  // otherwise a two-letter keyboard code ("ZA") runs its command. False
  // when nothing took it.
  bool EnterText(const std::string& text);

  // The pointer state of the last mouse event.
  const TInputEvent& Pointer() const { return Pointer_; }

 private:
  std::unique_ptr<TInteractiveCommand> Active_;
  int32_t ActiveNumber_ = 0;
  int32_t Starting_ = 0;
  std::string CurrentCommand_;
  TInputEvent Pointer_;
  uint8_t Mode_ = 2;
};

// Created tenth at start-up; null before and after.
extern TCommandInterpreter* ECO;
