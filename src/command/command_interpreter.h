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
#include <vector>

#include "command/input_event.h"
#include "model/model_services.h"

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
  // Text typed on the command line; false when the command does not take
  // typed input (the text then goes on as key events or a keyboard code).
  virtual bool TypedText(const std::string&) { return false; }
  // Takes back the newest argument given; false when there was none.
  virtual bool BackUpOneStep() { return false; }
  // The texts of the command being entered, oldest first.
  virtual void QueueTexts(std::vector<std::string>&) const {}
  // True while the command carries out its work (which may wait for
  // further input of its own): it is then not replaced, and a cancel only
  // takes back that further input.
  virtual bool Busy() const { return false; }
  // Draws the entities its queued texts picked in the highlight colour.
  virtual void ShowPicked() {}
};

// The entity editor of Inspect: it sees every event first while it lives.
class TEntityEditor {
 public:
  virtual ~TEntityEditor() = default;
  // One event; true when the edit has ended.
  virtual bool HandleEvent(TInputEvent& event) = 0;
  // Draws the entity being edited in the highlight colour again (after
  // every render).
  virtual void Show() {}
};
// Makes the editor of the editor mode (0 drill, 1 rout, 2 CAD) for the
// entity index; installed by the editors (null: none is available).
using TEntityEditorFactory =
    std::function<std::unique_ptr<TEntityEditor>(uint8_t mode, int32_t index)>;
extern TEntityEditorFactory EntityEditorFactory;

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
  double ArcLengthParameter = DefaultArcLengthParameter;
  // The toolbar-behaviour flag (true: the tool buttons behave the new way;
  // the System value "KORVEX 5 Button bar" holds its opposite) and the
  // sticky-lines flag ("Sticky Lines"), both loaded when the interpreter is
  // made; the Options dialog changes and saves them.
  bool ToolbarBehaviour = true;
  bool StickyLines = false;

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

  // The command that waits whenever no other does (the mode's own: the
  // main window sets it with the mode); 0 for none. After an event or a
  // typed text has ended the waiting command, it is started again, so the
  // command line always shows a prompt.
  int32_t DefaultCommand = 0;

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

  // Takes back the newest argument of the command being entered.
  void BackUpOneStep();
  // The texts of the command being entered, oldest first (empty when no
  // command waits).
  std::vector<std::string> QueuedCommands() const;
  // The end of every render: the entities picked by the queued commands
  // and the entity being inspected are drawn highlighted again, then
  // ReleasePickedHook runs.
  void ReleasePickedEntities();
  std::function<void()> ReleasePickedHook;
  // Records the newest command text (a completed argument command).
  void SetCurrentCommand(const std::string& text) { CurrentCommand_ = text; }

  // Ortho: clicked points after the first of a command lie on the ortho
  // angle's direction, or across it, from the point before.
  bool Ortho = false;
  double OrthoAngle = 0.0;  // degrees

  // ---- Inspect ----
  // Creates the editor of the mode for the entity (only while the
  // entity-edit flag is clear); false when none was made.
  bool StartEntityEdit(int32_t index);
  // Ends the edit: the editor is freed.
  void EndInspect();
  bool Inspecting() const { return static_cast<bool>(Editor_); }
  // Set while an editor lives; the drill editor clears it while its text
  // dialog is shown.
  uint8_t EntityEditFlag = 0;

 private:
  // The active command has finished: it goes and its button comes up.
  void FinishActive();
  // Starts DefaultCommand when nothing waits and no entity is being edited.
  void ResumeDefault();
  bool Resuming_ = false;
  // Counts the ends of commands and entity edits: an event that ended one
  // brings the default back (and only such an event tries to).
  uint32_t Endings_ = 0;
  std::unique_ptr<TEntityEditor> Editor_;
  int32_t EditCommand_ = 0;  // the command that started the entity edit
  bool KeepPick_ = false;    // while that command starts again for the next pick
  std::unique_ptr<TInteractiveCommand> Active_;
  int32_t ActiveNumber_ = 0;
  int32_t Starting_ = 0;
  std::string CurrentCommand_;
  TInputEvent Pointer_;
  uint8_t Mode_ = 2;
};

// Created tenth at start-up; null before and after.
extern TCommandInterpreter* ECO;
