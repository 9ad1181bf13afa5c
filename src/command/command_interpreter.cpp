#include "command/command_interpreter.h"

#include <exception>
#include <map>

#include "command/command_services.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/undo_journal.h"
#include "platform/message_box.h"

TCommandInterpreter* ECO = nullptr;
TEntityEditorFactory EntityEditorFactory;

namespace {
struct TCommandDefinition {
  std::string Text;
  TCommandStarter Starter;
};

std::map<int32_t, TCommandDefinition>& Definitions() {
  static std::map<int32_t, TCommandDefinition> table;
  return table;
}

bool UndoStarter() {
  // An entity edit in progress ends first (as if abandoned): it holds
  // store indices that the journal is about to change.
  if (ECO != nullptr && ECO->Inspecting()) ECO->EndInspect();
  std::string name;
  if (ActiveUndo == nullptr || !ActiveUndo->CanUndo(name)) {
    ShowUndoButtons();
    return false;
  }
  ActiveUndo->Undo();
  ShowUndoButtons();
  return true;
}

bool RedoStarter() {
  // An entity edit in progress ends first (as if abandoned): it holds
  // store indices that the journal is about to change.
  if (ECO != nullptr && ECO->Inspecting()) ECO->EndInspect();
  std::string name;
  if (ActiveUndo == nullptr || !ActiveUndo->CanRedo(name)) {
    ShowUndoButtons();
    return false;
  }
  ActiveUndo->Redo();
  ShowUndoButtons();
  return true;
}
}  // namespace

void ShowUndoButtons() {
  std::string name;
  if (ActiveUndo != nullptr && ActiveUndo->CanUndo(name))
    ButtonManager().ReleaseButton(UndoCommand);
  else
    ButtonManager().DisableButton(UndoCommand);
  if (ActiveUndo != nullptr && ActiveUndo->CanRedo(name))
    ButtonManager().ReleaseButton(RedoCommand);
  else
    ButtonManager().DisableButton(RedoCommand);
}

void DefineCommand(int32_t number, const std::string& text, TCommandStarter starter) {
  Definitions()[number] = {text, std::move(starter)};
}

void UndefineCommand(int32_t number) { Definitions().erase(number); }

bool CommandDefined(int32_t number) {
  auto it = Definitions().find(number);
  return it != Definitions().end() && it->second.Starter;
}

std::string CommandText(int32_t number) {
  auto it = Definitions().find(number);
  return it == Definitions().end() ? std::string() : it->second.Text;
}

TCommandInterpreter::TCommandInterpreter()
    : ToolbarBehaviour(!LoadButtonBarStyle()), StickyLines(LoadStickyLines()) {
  DefineCommand(UndoCommand, "UNDO", UndoStarter);
  DefineCommand(RedoCommand, "REDO", RedoStarter);
}

TCommandInterpreter::~TCommandInterpreter() {
  CancelCommand();
  Editor_.reset();
}

void TCommandInterpreter::HandleEvent(TInputEvent& event) {
  struct TResume {
    TCommandInterpreter& Self;
    uint32_t Endings = Self.Endings_;
    ~TResume() {
      if (std::uncaught_exceptions() == 0 && Self.Endings_ != Endings) Self.ResumeDefault();
    }
  } resume{*this};
  // A key or a field of the strip meant for the waiting command (or the
  // entity editor) waits while the drawing area takes an input of its own.
  if ((event.Kind & (ievKey | ievFieldAccepted)) && UserInputGate != nullptr && !UserInputGate(true)) return;
  // A living entity editor sees every event first; a left click in the view
  // abandons the edit (as Escape would, the pick cycle kept) and picks again
  // with the command that started it: at a spot of stacked entities, the
  // next of them.
  if (Editor_ && event.Kind != ievCommand) {
    const bool pickAgain = (event.Kind & ievMouseDown) && (event.Buttons & mbtLeft) && !Active_ &&
                           EditCommand_ != 0;
    if (!pickAgain) {
      if (Editor_->HandleEvent(event)) EndInspect();
      return;
    }
    const int32_t number = EditCommand_;
    EndInspect();
    // Starting the command again is no cancel: the pick cycle goes on.
    KeepPick_ = true;
    const bool started = ButtonManager().Press(number);
    KeepPick_ = false;
    if (!started || !Active_) return;
  }
  if (event.Kind == ievCommand) {
    const int32_t number = event.Flags[0];
    if (number == cmdCancel)
      CancelCommand();
    else
      RunCommand(number);
    return;
  }
  if (event.Kind & (ievMouseDown | ievMouseUp | ievMouseMove | ievClick)) Pointer_ = event;
  // A pointer that left the spot of the last drill pick starts a new cycle.
  if ((event.Kind & ievMouseMove) && DRDB != nullptr) DRDB->CheckPickMoved(event.WorldX, event.WorldY);
  if (Active_ && (Active_->InputMode() & event.Kind)) {
    // The command may finish, or start another one, while it handles the
    // event: only the command that handled it is dropped when it finished.
    TInteractiveCommand* handling = Active_.get();
    const bool goesOn = handling->HandleEvent(event);
    if (!goesOn && Active_.get() == handling) FinishActive();
  }
}

bool TCommandInterpreter::RunCommand(int32_t number) {
  auto it = Definitions().find(number);
  if (it == Definitions().end() || !it->second.Starter) return false;
  CurrentCommand_ = it->second.Text;
  const int32_t outer = Starting_;
  Starting_ = number;
  // A copy: the starter may redefine its own command.
  TCommandStarter starter = it->second.Starter;
  const bool started = starter();
  Starting_ = outer;
  return started;
}

void TCommandInterpreter::CancelCommand() {
  if (Editor_) EndInspect();
  if (DRDB != nullptr && !KeepPick_) DRDB->CancelPick();
  if (!Active_) return;
  if (Active_->Busy()) {
    Active_->Cancel();
    return;
  }
  std::unique_ptr<TInteractiveCommand> cancelled = std::move(Active_);
  const int32_t number = ActiveNumber_;
  ActiveNumber_ = 0;
  cancelled->Cancel();
  ++Endings_;
  if (number != 0) ButtonManager().ReleaseButton(number);
}

void TCommandInterpreter::SetActiveCommand(std::unique_ptr<TInteractiveCommand> command) {
  // A command at work stays; the new one is not started.
  if (Active_ && Active_->Busy()) {
    MessageBeep(MB_OK);
    return;
  }
  CancelCommand();
  Active_ = std::move(command);
  ActiveNumber_ = Active_ ? Starting_ : 0;
}

void TCommandInterpreter::EnterCadMode() { Mode_ = 2; }
void TCommandInterpreter::EnterRoutMode() { Mode_ = 1; }
void TCommandInterpreter::EnterDrillMode() { Mode_ = 0; }

bool TCommandInterpreter::EnterText(const std::string& text) {
  struct TResume {
    TCommandInterpreter& Self;
    uint32_t Endings = Self.Endings_;
    ~TResume() {
      if (std::uncaught_exceptions() == 0 && Self.Endings_ != Endings) Self.ResumeDefault();
    }
  } resume{*this};
  const std::string typed = TrimBlanks(text);
  if (typed.empty()) return false;
  const int32_t command = ButtonManager().CommandOfCode(typed);
  // While the drawing area takes an input of its own the waiting command
  // gets no text: a code goes to the commands' gate, any other text waits.
  const bool held = UserInputGate != nullptr && !UserInputGate(command == 0);
  if (held && command == 0) return true;
  if (!held && Active_ && Active_->TypedText(typed)) {
    // The command may have finished with this text.
    if (Active_ && Active_->InputMode() == 0) FinishActive();
    return true;
  }
  if (!held && Active_ && (Active_->InputMode() & ievKey)) {
    for (char c : typed + "\r") {
      TInputEvent key;
      key.Kind = ievKey;
      const uint16_t code = c == '\r' ? 13 : static_cast<uint8_t>(c);
      key.Flags[0] = code & 0xFF;
      key.Flags[1] = code >> 8;
      key.Flags[2] = static_cast<uint8_t>(c);
      key.X = Pointer_.X;
      key.Y = Pointer_.Y;
      key.WorldX = Pointer_.WorldX;
      key.WorldY = Pointer_.WorldY;
      HandleEvent(key);
      if (!Active_) break;
    }
    return true;
  }
  if (command == 0) return false;
  // A code that must wait has said so: the text is taken all the same.
  if (UserCommandGate != nullptr && !UserCommandGate(command)) return true;
  return ButtonManager().Press(command);
}

void TCommandInterpreter::FinishActive() {
  // A command that handed its pick to an entity editor keeps the cycle.
  if (DRDB != nullptr && !Editor_) DRDB->CancelPick();
  const int32_t number = ActiveNumber_;
  Active_.reset();
  ActiveNumber_ = 0;
  ++Endings_;
  ButtonManager().ReleaseButton(number);
}

void TCommandInterpreter::ResumeDefault() {
  if (Resuming_ || Active_ || Editor_ || Starting_ != 0 || !CommandDefined(DefaultCommand)) return;
  Resuming_ = true;
  ButtonManager().Press(DefaultCommand);
  Resuming_ = false;
}

void TCommandInterpreter::ReleasePickedEntities() {
  if (Active_) Active_->ShowPicked();
  if (Editor_) Editor_->Show();
  if (ReleasePickedHook) ReleasePickedHook();
}

void TCommandInterpreter::BackUpOneStep() {
  if (Active_) Active_->BackUpOneStep();
}

std::vector<std::string> TCommandInterpreter::QueuedCommands() const {
  std::vector<std::string> texts;
  if (Active_) Active_->QueueTexts(texts);
  return texts;
}

bool TCommandInterpreter::StartEntityEdit(int32_t index) {
  if (EntityEditFlag != 0 || Editor_ || !EntityEditorFactory) return false;
  Editor_ = EntityEditorFactory(Mode_, index);
  if (Editor_) EntityEditFlag = 1;
  EditCommand_ = Editor_ && Active_ ? ActiveNumber_ : 0;
  return static_cast<bool>(Editor_);
}

void TCommandInterpreter::EndInspect() {
  std::unique_ptr<TEntityEditor> ended = std::move(Editor_);
  ended.reset();
  EntityEditFlag = 0;
  ++Endings_;
}
