// The command interpreter, the tool buttons, the command line and the
// rubber band, without a main window.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/rubber_brain.h"
#include "command/user_panel.h"
#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"

namespace {
// A command that takes clicks and finishes after the second one.
class TTwoClicks : public TInteractiveCommand {
 public:
  explicit TTwoClicks(std::vector<TInputEvent>* seen, bool* cancelled)
      : Seen_(seen), Cancelled_(cancelled) {}
  uint16_t InputMode() const override { return ievClick | ievKey; }
  bool HandleEvent(TInputEvent& event) override {
    Seen_->push_back(event);
    return event.Kind != ievClick || ++Clicks_ < 2;
  }
  void Cancel() override { *Cancelled_ = true; }

 private:
  std::vector<TInputEvent>* Seen_;
  bool* Cancelled_;
  int Clicks_ = 0;
};

class TCommandTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    HeadlessButtonBar().States.clear();
    ECO = new TCommandInterpreter();
    ButtonManagerObject = new TButtonManager();
    ButtonManagerObject->AddButtons(nullptr);
    ButtonManagerObject->AddCommandHints();
    DefineCommand(59, "ADDLINE(CLICK,CLICK)", [this] {
      ECO->SetActiveCommand(std::make_unique<TTwoClicks>(&Seen, &Cancelled));
      return true;
    });
  }
  void TearDown() override {
    UndefineCommand(59);
    delete ECO;
    ECO = nullptr;
    delete ButtonManagerObject;
    ButtonManagerObject = nullptr;
    TKorvexTest::TearDown();
  }
  TInputEvent Mouse(uint16_t kind, int x, int y) {
    TInputEvent e;
    e.Kind = kind;
    e.X = x;
    e.Y = y;
    return e;
  }
  std::vector<TInputEvent> Seen;
  bool Cancelled = false;
};
}  // namespace

TEST_F(TCommandTest, EventsReachTheWaitingCommandByItsInputMode) {
  EXPECT_TRUE(ButtonManager().Press(59));
  EXPECT_TRUE(ButtonManager().IsDown(59));
  EXPECT_EQ(ECO->ActiveCommandNumber(), 59);
  std::string text;
  ECO->GetCurrentCommand(text);
  EXPECT_EQ(text, "ADDLINE(CLICK,CLICK)");
  TInputEvent move = Mouse(ievMouseMove, 5, 6);
  ECO->HandleEvent(move);  // not accepted: only the pointer state follows
  EXPECT_TRUE(Seen.empty());
  EXPECT_EQ(ECO->Pointer().X, 5);
  TInputEvent click = Mouse(ievClick, 7, 8);
  ECO->HandleEvent(click);
  ECO->HandleEvent(click);
  ASSERT_EQ(Seen.size(), 2u);
  // Finished after the second click: the button comes up.
  EXPECT_EQ(ECO->ActiveCommand(), nullptr);
  EXPECT_FALSE(ButtonManager().IsDown(59));
  EXPECT_FALSE(Cancelled);
}

TEST_F(TCommandTest, CommandEventOneCancelsTheActiveCommand) {
  TInputEvent start = CommandEvent(59);
  ECO->HandleEvent(start);
  ASSERT_NE(ECO->ActiveCommand(), nullptr);
  TInputEvent cancel = CommandEvent(cmdCancel);
  ECO->HandleEvent(cancel);
  EXPECT_TRUE(Cancelled);
  EXPECT_EQ(ECO->ActiveCommand(), nullptr);
  EXPECT_EQ(HeadlessButtonBar().StateOf(59), THeadlessButtonBar::bsReleased);
  // Cancelling with nothing active does nothing.
  ECO->HandleEvent(cancel);
  // An undefined number starts nothing.
  EXPECT_FALSE(ButtonManager().Press(200));
  EXPECT_FALSE(ButtonManager().Press(86));
}

TEST_F(TCommandTest, TypedTextGoesToAKeyCommandOrRunsAKeyboardCode) {
  EXPECT_EQ(ButtonManager().CommandOfCode("li"), 59);
  EXPECT_EQ(ButtonManager().CodeOf(147), "ZA");
  EXPECT_EQ(ButtonManager().HintOf(79), "[OO] Undo");
  EXPECT_TRUE(ECO->EnterText(" li "));
  ASSERT_NE(ECO->ActiveCommand(), nullptr);
  EXPECT_TRUE(ECO->EnterText("1.5"));
  ASSERT_EQ(Seen.size(), 4u);  // '1', '.', '5', Enter
  EXPECT_EQ(Seen[1].Flags[2], '.');
  EXPECT_EQ(Seen[3].Flags[0], 13);
  ECO->CancelCommand();
  EXPECT_FALSE(ECO->EnterText("ZZ"));
  EXPECT_FALSE(ECO->EnterText("   "));
}

TEST_F(TCommandTest, ButtonsShowTheModeSetsAndTheirStates) {
  ButtonManager().SetDrillMode();
  auto drill = ButtonManager().ShownCommands();
  EXPECT_NE(std::find(drill.begin(), drill.end(), 23), drill.end());
  EXPECT_EQ(std::find(drill.begin(), drill.end(), 59), drill.end());
  ButtonManager().SetCadMode();
  ButtonManager().DisableButton(79);
  EXPECT_FALSE(ButtonManager().IsEnabled(79));
  EXPECT_EQ(HeadlessButtonBar().StateOf(79), THeadlessButtonBar::bsDisabled);
  ButtonManager().ReleaseButton(79);
  EXPECT_TRUE(ButtonManager().IsEnabled(79));
  EXPECT_EQ(HeadlessButtonBar().StateOf(79), THeadlessButtonBar::bsReleased);
}

TEST_F(TCommandTest, CompensationButtonsKeepOneOfTheirGroupDown) {
  for (int32_t c : {46, 47, 48}) DefineCommand(c, "COMP", [] { return true; });
  EXPECT_TRUE(ButtonManager().Press(47));
  EXPECT_TRUE(ButtonManager().IsDown(47));
  EXPECT_TRUE(ButtonManager().Press(46));
  EXPECT_TRUE(ButtonManager().IsDown(46));
  EXPECT_FALSE(ButtonManager().IsDown(47));
  for (int32_t c : {46, 47, 48}) UndefineCommand(c);
}

TEST_F(TCommandTest, ArcParametersLiveInTheInterpreter) {
  EXPECT_EQ(ArcDisplayTolerance(), 0.4);
  SetArcDisplayTolerance(0.25);
  EXPECT_EQ(ECO->ArcDisplayTolerance, 0.25);
  SetArcLengthParameter(2.0);
  EXPECT_EQ(ECO->ArcLengthParameter, 2.0);
}

TEST_F(TCommandTest, ConfirmationBoxes) {
  ScriptMessageBoxAnswer(mrYes);
  EXPECT_TRUE(ConfirmYesNo("Erase layer 3?"));
  ScriptMessageBoxAnswer(mrCancel);
  EXPECT_EQ(ConfirmSaveRoutLayer(42), mrCancel);
  const TMessageBoxRecord& box = ShownMessageBoxes().back();
  EXPECT_EQ(box.Type, mtWarning);
  EXPECT_EQ(box.Buttons, mbYesNoCancel);
  EXPECT_NE(box.Text.find("layer R2"), std::string::npos);
}

TEST(UserPanelTest, PromptLinesEntryAndNesting) {
  TUserPanel panel;
  panel.SetPromptLine(1, 1, "Pick first point");
  panel.SetPromptLine(1, 20, "X");
  EXPECT_EQ(panel.PromptLine(1), "Pick first point   X");
  panel.SetPromptLine(1, 6, "FIRST");
  EXPECT_EQ(panel.PromptLine(1), "Pick FIRST");
  // A shorter text leaves nothing of the longer one behind it.
  panel.SetPromptLine(1, 1, "Window the FIRST hits; Esc to stop");
  panel.SetPromptLine(1, 1, "Window the LAST hits; Esc to stop");
  EXPECT_EQ(panel.PromptLine(1), "Window the LAST hits; Esc to stop");
  panel.SetPromptLine(2, 1, "Pick a hit");
  panel.SetPromptLine(2, 1, "");  // a finished command's prompt goes
  EXPECT_EQ(panel.PromptLine(2), "");
  panel.SetPromptLine(2, 250, std::string(20, 'a'));
  EXPECT_EQ(panel.PromptLine(2).size(), 256u);
  panel.SetPromptLine(4, 1, "ignored");
  EXPECT_EQ(panel.PromptLine(4), "");
  TPromptBuffer saved;
  panel.SavePrompts(saved);
  panel.ClearPrompts();
  EXPECT_EQ(panel.PromptLine(1), "");
  panel.RestorePrompts(saved);
  EXPECT_EQ(panel.PromptLine(1), "Window the LAST hits; Esc to stop");

  panel.TypeChar('a');
  panel.TypeChar('\t');  // not a typed character
  panel.DisableEntry();
  panel.DisableEntry();
  panel.TypeChar('b');
  panel.EnableEntry();
  EXPECT_FALSE(panel.EntryEnabled());
  panel.TypeChar('c');
  panel.EnableEntry();
  panel.EnableEntry();  // never below zero
  EXPECT_TRUE(panel.EntryEnabled());
  // Disabling and enabling clear what was typed.
  panel.TypeChar('d');
  EXPECT_EQ(panel.Entry(), "d");
  panel.TypeChar('e');
  panel.Backspace();
  EXPECT_EQ(panel.Entry(), "d");
  panel.BlinkCursor();
  const bool shown = panel.CursorShown();
  panel.BlinkCursor();
  EXPECT_NE(panel.CursorShown(), shown);
}

TEST(RubberBrainTest, ExclusiveOrBandIsTakenOffAndPutBack) {
  TRubberBrain brain;
  int drawnA = 0, drawnB = 0;
  brain.Show([&drawnA] { ++drawnA; });
  EXPECT_TRUE(brain.Drawn());
  EXPECT_EQ(drawnA, 1);
  // A new shape: the old one is drawn again (off), the new one on.
  brain.Show([&drawnB] { ++drawnB; });
  EXPECT_EQ(drawnA, 2);
  EXPECT_EQ(drawnB, 1);
  // The view was copied: the band is gone from the screen and comes back.
  brain.ViewRestored();
  EXPECT_EQ(drawnB, 2);
  // A resize forgets it without drawing.
  brain.Forget();
  EXPECT_FALSE(brain.Drawn());
  EXPECT_EQ(drawnB, 2);
  brain.Hide();
  EXPECT_EQ(drawnB, 2);
  EXPECT_FALSE(brain.HasBand());
}
