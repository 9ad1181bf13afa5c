#include "platform/message_box.h"

#include <gtest/gtest.h>

#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"

class MessageBoxTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetMessageBoxScript();
  }
  void TearDown() override {
    ResetMessageBoxScript();
    TKorvexTest::TearDown();
  }
};

TEST_F(MessageBoxTest, BoxesAreRecordedWithKindCaptionTextAndButtons) {
  ErrorBox("Illegal value: <12x>");
  InformationBox("No drill data loaded!");
  WarningBox("Warning: HPGL is not very p");
  ShowMessage("Step && Repeat Crash.  Error Line: 3");
  ScriptMessageBoxAnswer(mrNo);
  EXPECT_EQ(ConfirmationBox("Is this the main part?"), mrNo);

  const auto& shown = ShownMessageBoxes();
  ASSERT_EQ(shown.size(), 5u);
  EXPECT_EQ(shown[0].Type, mtError);
  EXPECT_EQ(shown[0].Caption, "Error");
  EXPECT_EQ(shown[0].Text, "Illegal value: <12x>");
  EXPECT_EQ(shown[0].Buttons, TMsgDlgButtons(mbOK));
  EXPECT_EQ(shown[0].Answer, mrOk);
  EXPECT_EQ(shown[1].Caption, "Information");
  EXPECT_EQ(shown[2].Caption, "Warning");
  EXPECT_EQ(shown[3].Type, mtCustom);
  EXPECT_EQ(shown[3].Caption, "KORVEX 6");
  EXPECT_EQ(shown[3].Text, "Step && Repeat Crash.  Error Line: 3");
  EXPECT_EQ(shown[4].Caption, "Confirm");
  EXPECT_EQ(shown[4].Buttons, mbYesNo);
  EXPECT_EQ(shown[4].Answer, mrNo);
  EXPECT_EQ(shown[4].Kind, TMessageBoxKind::MessageBox);
}

TEST_F(MessageBoxTest, ScriptedAnswersAreTakenInOrderAndOkBoxesPassThrough) {
  // An OK box in between neither needs nor steals an answer meant for a
  // question; a queued mrOk is taken by the OK box it was meant for.
  ScriptMessageBoxAnswer(mrYes);
  ScriptMessageBoxAnswer(mrOk);
  ScriptMessageBoxAnswer(mrCancel);
  ErrorBox("first");
  EXPECT_EQ(MessageDlg("save?", mtWarning, mbYesNoCancel), mrYes);
  ErrorBox("second");
  EXPECT_EQ(PendingMessageBoxAnswers(), 1u);
  EXPECT_EQ(MessageDlgCaption("Own caption", "go on?", mtConfirmation, mbOKCancel), mrCancel);
  EXPECT_EQ(ShownMessageBoxes().back().Caption, "Own caption");
  EXPECT_EQ(PendingMessageBoxAnswers(), 0u);

  ScriptMessageBoxAnswer(mrAll);
  ScriptMessageBoxAnswer(mrIgnore);
  EXPECT_EQ(MessageDlg("replace?", mtConfirmation, mbYesAllNo), mrAll);
  EXPECT_EQ(MessageDlg("disk", mtError, mbAbortRetryIgnore), mrIgnore);
}

TEST_F(MessageBoxTest, UnansweredQuestionsFailLoudlyNamingTheirText) {
  try {
    ConfirmationBox("This erase cannot be undone!");
    FAIL() << "an unscripted question must throw";
  } catch (const EUnscriptedDialog& e) {
    EXPECT_NE(std::string(e.what()).find("This erase cannot be undone!"), std::string::npos);
  }
  // The box is still on record, unanswered.
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Answer, mrNone);

  // An answer the box has no button for is a script error, and stays queued.
  ScriptMessageBoxAnswer(mrCancel);
  EXPECT_THROW(ConfirmationBox("Yes or no?"), EUnscriptedDialog);
  EXPECT_EQ(PendingMessageBoxAnswers(), 1u);
  ResetMessageBoxScript();

  // An input answer does not answer a box, nor a box answer an input box.
  ScriptInputBoxAnswer("x");
  EXPECT_THROW(ConfirmationBox("q"), EUnscriptedDialog);
  ResetMessageBoxScript();
  ScriptMessageBoxAnswer(mrOk);
  std::string v;
  EXPECT_THROW(InputQuery("Filter Name", "Enter a new name for an import filter", v),
               EUnscriptedDialog);
  ResetMessageBoxScript();
  EXPECT_THROW(InputBox("c", "p", "d"), EUnscriptedDialog);

  EXPECT_THROW(MessageDlg("nothing to press", mtError, TMsgDlgButtons()), std::invalid_argument);
}

TEST_F(MessageBoxTest, InputQueryAndInputBox) {
  ScriptInputBoxAnswer("ALPHA");
  ScriptInputBoxCancel();
  ScriptInputBoxCancel();
  ScriptInputBoxAnswer("0.5");

  std::string name;
  EXPECT_TRUE(InputQuery("Filter Name", "Enter a new name for an import filter", name));
  EXPECT_EQ(name, "ALPHA");
  std::string keep = "old.txt";
  EXPECT_FALSE(InputQuery("Select remote file name", "file name", keep));
  EXPECT_EQ(keep, "old.txt");
  EXPECT_EQ(InputBox("Maximum nibble size", "Enter nib size in inches", "0.001"), "0.001");
  EXPECT_EQ(InputBox("Maximum nibble size", "Enter nib size in mm", "0.0254"), "0.5");

  const auto& shown = ShownMessageBoxes();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].Kind, TMessageBoxKind::InputBox);
  EXPECT_EQ(shown[0].Caption, "Filter Name");
  EXPECT_EQ(shown[0].Text, "Enter a new name for an import filter");
  EXPECT_EQ(shown[0].Proposal, "");
  EXPECT_EQ(shown[0].Answer, mrOk);
  EXPECT_EQ(shown[1].Proposal, "old.txt");
  EXPECT_EQ(shown[1].Answer, mrCancel);
  EXPECT_EQ(shown[3].Proposal, "0.0254");
  EXPECT_EQ(shown[3].Value, "0.5");
}

TEST_F(MessageBoxTest, BeepsAreRecorded) {
  MessageBeep(0xFFFF);
  MessageBeep(MB_SIMPLEBEEP);
  EXPECT_EQ(Beeps(), (std::vector<uint32_t>{0xFFFF, 0xFFFFFFFF}));
}

TEST_F(MessageBoxTest, ButtonOrderDefaultsAndEscape) {
  EXPECT_EQ((mbNo | mbCancel | mbYes).List(), (std::vector<TMsgDlgBtn>{mbYes, mbNo, mbCancel}));
  EXPECT_EQ(DefaultButton(mbOKCancel), mbOK);
  EXPECT_EQ(DefaultButton(mbYesNoCancel), mbYes);
  EXPECT_EQ(DefaultButton(mbAbortRetryIgnore), mbAbort);

  TMsgDlgBtn esc = mbOK;
  EXPECT_TRUE(EscapeButton(mbYesNoCancel, esc));
  EXPECT_EQ(esc, mbCancel);
  EXPECT_TRUE(EscapeButton(mbYesAllNo, esc));
  EXPECT_EQ(esc, mbNo);
  EXPECT_TRUE(EscapeButton(mbOK, esc));
  EXPECT_EQ(esc, mbOK);
  EXPECT_FALSE(EscapeButton(mbAbortRetryIgnore, esc));

  EXPECT_EQ(ButtonModalResult(mbAll), mrAll);
  EXPECT_EQ(ButtonModalResult(mbYes), 6);
  EXPECT_EQ(ButtonModalResult(mbNo), 7);
}

TEST_F(MessageBoxTest, DisplayTextResolvesAmpersandsAndLineBreaks) {
  EXPECT_EQ(MessageDisplayText("Step && Repeat error.\r\nCheck line 4 for errors."),
            "Step & Repeat error.\nCheck line 4 for errors.");
  EXPECT_EQ(MessageDisplayText("File <a> exists!\nDo you wish"), "File <a> exists!\nDo you wish");
  EXPECT_EQ(MessageDisplayText("a\rb&c&"), "a\nbc");
}

// A backend installed in place of the headless one receives every call.
TEST_F(MessageBoxTest, InstalledBackendReceivesTheCalls) {
  struct TFake : TMessageBoxBackend {
    TMessageBoxRequest Last;
    int BeepCount = 0;
    TModalResult ShowMessageBox(const TMessageBoxRequest& r) override {
      Last = r;
      return mrRetry;
    }
    bool InputQuery(const std::string&, const std::string&, std::string& value) override {
      value += "!";
      return true;
    }
    void Beep(uint32_t) override { ++BeepCount; }
  } fake;
  TMessageBoxBackend* previous = SetMessageBoxBackend(&fake);
  EXPECT_EQ(previous, nullptr);
  EXPECT_EQ(MessageDlg("again?", mtWarning, mbAbortRetryIgnore), mrRetry);
  EXPECT_EQ(fake.Last.Caption, "Warning");
  EXPECT_EQ(fake.Last.Buttons, mbAbortRetryIgnore);
  EXPECT_EQ(InputBox("c", "p", "x"), "x!");
  MessageBeep(MB_OK);
  EXPECT_EQ(fake.BeepCount, 1);
  SetMessageBoxBackend(nullptr);
  EXPECT_TRUE(ShownMessageBoxes().empty());
  EXPECT_TRUE(Beeps().empty());
}
