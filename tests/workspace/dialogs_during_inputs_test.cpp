// What a dialog leaves behind when it opens during an input of the drawing
// area (single step, the import placement, the coupon pick, the marking of
// tooling hits): an input that ended inside it stays ended, and Esc always
// brings the program back to idle. A pan chosen during an input ends with
// it. Questions whose Yes erases or replaces for good answer No to Enter.
// Select Layer For Data closed without OK withdraws the import; a job that
// holds drill hits places the next import.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "command/button_manager.h"
#include "command/command_interpreter.h"
#include "foundation/file_utils.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/keys.h"
#include "tapein/drill_import_command.h"
#include "tapeout/make_drill_tape.h"
#include "tapeout/tooling_hit_marks.h"
#include "workspace/small_dialogs.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

// Two apertures: two tools, three holes.
const char* const Photoplot =
    "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\n%ADD11C,0.0200*%\nG54D10*\nX10000Y10000D03*\n"
    "X12000Y10000D03*\nG54D11*\nX15000Y20000D03*\nM02*\n";

const char* const Withdrawn = "The import was withdrawn; the drill database is unchanged.";

class TDialogsDuringInputsTest : public TWorkspaceDialogsTest {
 protected:
  void SetUp() override {
    TWorkspaceDialogsTest::SetUp();
    RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  }
  // File > Options answered OK with one change: "background" another
  // background colour, "layers" or "toolbar" the panel unticked.
  static void Options(TWorkspace& form, uint8_t mode, const std::string& change) {
    QueueModalScript("TOptionsDialog", [change](TForm& f) {
      auto& d = static_cast<TOptionsDialog&>(f);
      if (change == "background") d.ColorGrid1.SetBackgroundIndex((d.ColorGrid1.BackgroundIndex() + 1) % 16);
      if (change == "layers") d.LayerCheckBox.SetChecked(false);
      if (change == "toolbar") d.ToolBarCheckBox.SetChecked(false);
      d.OKButton.Click();
    });
    Run(form, mode, "Options1");
    ShowLayerButtons = ShowToolbar = true;
  }
  // The program is idle: Save As is not held back by the menus.
  void ExpectIdle(TWorkspace& form, uint8_t mode) {
    EXPECT_EQ(MyScreen->Activity, acIdle);
    SetApplicationHint("");
    ScriptCommonDialogCancel();
    const size_t dialogs = ShownCommonDialogs().size();
    Run(form, mode, "SaveAs1");
    EXPECT_EQ(ShownCommonDialogs().size(), dialogs + 1);
    EXPECT_EQ(form.HintPanel.Caption(), "");
  }
  static void MakeTapeWith(bool coupon) {
    if (coupon) {  // tool 1 drills a first hit in the coupon
      ToolTable[1].FirstLastHit = 1;
      DRDB->FirstLastHitDefaults.FirstHit = true;
    }
    QueueModalScript("TMakeDrillTapeDialog", [coupon](TForm& f) {
      auto& d = static_cast<TMakeDrillTapeDialog&>(f);
      d.FirstLastCheckBox.SetChecked(coupon);
      d.MarkFirstCheckBox.SetChecked(!coupon);
      d.MarkLastCheckBox.SetChecked(false);
      d.OKButton.Click();
    });
  }
};

TEST_F(TDialogsDuringInputsTest, OptionsDuringSingleStepLeaveThePlayEndedAndTheProgramIdle) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  for (int i = 1; i <= 4; ++i) RTDB->AppendLine({In * (i % 2), In * i}, 0, NoZOffset);
  const std::string prompt = UserPanel->PromptLine(1);
  for (const char* change : {"background", "layers", "toolbar", "nothing"}) {
    SCOPED_TRACE(change);
    Run(form, emRout, "SingleStep1");
    ASSERT_EQ(MyScreen->Activity, acSingleStep);
    Options(form, emRout, change);
    // Another background colour redraws, which ends the play.
    if (std::string(change) == "background") EXPECT_EQ(RTDB->SingleStepActive, 0);
    if (RTDB->SingleStepActive == 0) {
      // The dialog's redraw ended the play: the program is idle at once.
      EXPECT_EQ(MyScreen->Activity, acIdle);
      EXPECT_EQ(UserPanel->PromptLine(1), prompt);
    } else {
      // The play goes on and steps as before.
      EXPECT_EQ(MyScreen->Activity, acSingleStep);
      const int32_t cursor = RTDB->PlayCursor;
      ASSERT_TRUE(ButtonManager().Press(PlayNextCutCommand));
      EXPECT_GT(RTDB->PlayCursor, cursor);
    }
    form.KeyDown(VK_ESCAPE);
    EXPECT_EQ(RTDB->SingleStepActive, 0);
    ExpectIdle(form, emRout);
  }
}

// Options during the other inputs (the import placement, a command of two
// corners, the coupon pick, the marking of tooling hits): each goes on after
// the dialog, and Esc ends it.
TEST_F(TDialogsDuringInputsTest, OptionsDuringThePlacementAndThePicksLeaveEachInputToEsc) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ImportSecondPart(form, Photoplot);
  ASSERT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  Options(form, emDrill, "background");
  EXPECT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  form.KeyDown(VK_ESCAPE);
  EXPECT_NE(ECO->ActiveCommandNumber(), cmImportFinalize);
  EXPECT_EQ(form.HintPanel.Caption(), Withdrawn);
  ExpectIdle(form, emDrill);

  // A command of two corners with its rubber band (Zoom In).
  ASSERT_TRUE(ButtonManager().Press(cmZoomIn));
  Options(form, emDrill, "background");
  EXPECT_EQ(ECO->ActiveCommandNumber(), cmZoomIn);
  form.KeyDown(VK_ESCAPE);
  EXPECT_NE(ECO->ActiveCommandNumber(), cmZoomIn);
  ExpectIdle(form, emDrill);

  ToolTable[1].Diameter = In / 40;
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  for (bool coupon : {true, false}) {
    SCOPED_TRACE(coupon);
    const uint8_t input = coupon ? acMakeTapePick : acWindowMarking;
    int seen = 0;
    HeadlessSetProcessMessagesHook([&] {
      if (MyScreen->Activity != input) return;
      if (++seen == 1) {
        Options(form, emDrill, "background");
        EXPECT_EQ(MyScreen->Activity, input);
      } else {
        form.KeyDown(VK_ESCAPE);
      }
    });
    MakeTapeWith(coupon);
    Run(form, emDrill, "MakeDrillTape1");
    HeadlessSetProcessMessagesHook(nullptr);
    EXPECT_EQ(seen, 2);
    ExpectIdle(form, emDrill);
  }
}

// A play that ends while any dialog is up is not given back when the dialog
// closes; Esc clears a single step left without a play.
TEST_F(TDialogsDuringInputsTest, APlayEndedUnderADialogIsNotGivenBack) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  Run(form, emRout, "SingleStep1");
  {
    TModalBracket outer;
    {
      TModalBracket inner;
      RTDB->EndSingleStep();
      EXPECT_EQ(MyScreen->Activity, acModal);
    }
    EXPECT_EQ(MyScreen->Activity, acModal);
  }
  EXPECT_EQ(MyScreen->Activity, acIdle);

  ViewServices().SetActivity(acSingleStep);
  form.KeyDown(VK_ESCAPE);
  ExpectIdle(form, emRout);
}

// Layer Erase on the current layer: Enter, Enter and Enter keep the layer.
TEST_F(TDialogsDuringInputsTest, EnterAtLayerEraseKeepsTheLayer) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  for (int i = 0; i < 3; ++i) DRDB->AddHoleOnLayer(In * (i + 1), In, 30, 1, true);
  QueueModalScript("TPickLayerDialog", [](TForm& f) { f.PressKey(VK_RETURN); });
  ScriptMessageBoxEnter();
  Run(form, emDrill, "LayerErase1");
  ASSERT_FALSE(ShownMessageBoxes().empty());
  const TMessageBoxRecord& box = ShownMessageBoxes().back();
  EXPECT_EQ(box.Text, "This erase cannot be undone!\r\nAre you sure you wish to erase\r\nlayer D0?");
  EXPECT_EQ(box.Default, mbNo);
  EXPECT_EQ(box.Answer, mrNo);
  EXPECT_EQ(LiveDrillEntities(), 3);

  // Yes still erases.
  QueueModalScript("TPickLayerDialog", [](TForm& f) { f.PressKey(VK_RETURN); });
  ScriptMessageBoxAnswer(mrYes);
  Run(form, emDrill, "LayerErase1");
  EXPECT_EQ(LiveDrillEntities(), 0);
}

// The overwrite questions of the job and of the drill and rout tapes: Enter
// leaves the file there as it was.
TEST_F(TDialogsDuringInputsTest, EnterAtAnOverwriteQuestionKeepsTheFile) {
  TWorkspace& form = StartProgram();
  const std::string old = "kept as it was\r\n";
  auto expectKept = [&](const std::string& path) {
    ASSERT_FALSE(ShownMessageBoxes().empty());
    const TMessageBoxRecord& box = ShownMessageBoxes().back();
    EXPECT_EQ(box.Text, "File <" + path + "> exists!\r\nDo you wish to overwrite it?");
    EXPECT_EQ(box.Default, mbNo);
    EXPECT_EQ(ReadFileBytes(path), old);
  };
  DB->AddLine(0, 0, In, In);
  const std::string job = Input("BOARD.ZUL", old);
  ScriptFileDialogAnswer(job);
  ScriptMessageBoxEnter();
  ScriptCommonDialogCancel();  // asked again for a name: cancelled
  Run(form, emCad, "SaveAs1");
  expectKept(job);

  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  const std::string drill = Input("BOARD.DRL", old);
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.MarkFirstCheckBox.SetChecked(false);
    d.MarkLastCheckBox.SetChecked(false);
    d.FirstLastCheckBox.SetChecked(false);
    d.OKButton.Click();
  });
  ScriptFileDialogAnswer(drill);
  ScriptMessageBoxEnter();
  ScriptCommonDialogCancel();
  Run(form, emDrill, "MakeDrillTape1");
  expectKept(drill);

  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  const std::string rout = Input("BOARD.RT", old);
  ScriptFileDialogAnswer(rout);
  QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ScriptMessageBoxEnter();
  ScriptCommonDialogCancel();
  Run(form, emRout, "MakeRoutTape1");
  expectKept(rout);
}

// Select Layer For Data closed without OK withdraws the import, for the main
// part and for a part to place; nothing of it stays.
TEST_F(TDialogsDuringInputsTest, ClosingSelectLayerForDataWithdrawsTheImport) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  const std::string part = Input("PART.GBR", Photoplot);
  for (bool mainPart : {true, false}) {
    SCOPED_TRACE(mainPart);
    DRDB->MainPartSet = !mainPart;
    ScriptFileDialogAnswer(part);
    QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    if (mainPart) ScriptMessageBoxAnswer(mrYes);
    bool asked = false;
    QueueModalScript("TPickDrillLayerDialog", [&](TForm& f) {
      asked = true;
      f.Close();
    });
    SetApplicationHint("");
    Run(form, emDrill, "Import2");
    EXPECT_TRUE(asked);
    EXPECT_EQ(form.HintPanel.Caption(), Withdrawn);
    EXPECT_EQ(LiveDrillEntities(), 0);
    EXPECT_EQ(DRDB->MainPartSet, !mainPart);
    EXPECT_NE(ECO->ActiveCommandNumber(), cmImportFinalize);
    std::string step;
    EXPECT_FALSE(DrillUndo->CanUndo(step)) << step;
    ExpectIdle(form, emDrill);
  }
}

// A job opened from its file with drill hits has its main part: the next
// import is placed without the question.
TEST_F(TDialogsDuringInputsTest, AnImportIntoAnOpenedJobWithHitsIsPlaced) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  DRDB->AddHoleOnLayer(5 * In, 5 * In, 30, 1, true);
  const std::string job = (TempDir / "OPENED.ZUL").string();
  ScriptFileDialogAnswer(job);
  Run(form, emDrill, "SaveAs1");
  ASSERT_TRUE(std::filesystem::exists(job));
  ScriptFileDialogAnswer(job);
  Run(form, emDrill, "Open1");
  ASSERT_EQ(LiveDrillEntities(), 1);
  ASSERT_FALSE(DRDB->MainPartSet);

  const size_t boxes = ShownMessageBoxes().size();
  ScriptFileDialogAnswer(Input("PART.GBR", Photoplot));
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emDrill, "Import2");
  EXPECT_EQ(ShownMessageBoxes().size(), boxes) << LastBox();
  EXPECT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  Type(form, "1,1");
  ASSERT_EQ(LiveDrillEntities(), 4);
  EXPECT_EQ(DRDB->EntityAt(2)->X, 2 * In);
  EXPECT_EQ(DRDB->EntityAt(2)->Y, 2 * In);
}

// Pan chosen during the import placement ends with it: the next command's
// first click and its Esc are its own.
TEST_F(TDialogsDuringInputsTest, APanEndsWithTheInputItWasChosenIn) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ImportSecondPart(form, Photoplot);
  ASSERT_TRUE(ButtonManager().Press(cmZoomPan));
  ASSERT_TRUE(MyScreen->PanPick);
  Type(form, "0,0");
  ASSERT_EQ(LiveDrillEntities(), 3);
  const double x = MyScreen->CentreX, y = MyScreen->CentreY;

  // Zoom In waits for two corners: Esc ends it at once.
  ASSERT_TRUE(ButtonManager().Press(cmZoomIn));
  ASSERT_EQ(ECO->ActiveCommandNumber(), cmZoomIn);
  form.KeyDown(VK_ESCAPE);
  EXPECT_NE(ECO->ActiveCommandNumber(), cmZoomIn);
  EXPECT_FALSE(MyScreen->PanPick);
  EXPECT_EQ(MyScreen->CentreX, x);
  EXPECT_EQ(MyScreen->CentreY, y);

  // The coupon pick ended by a typed corner ends its pan too.
  ToolTable[1].Diameter = In / 40;
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acMakeTapePick) return;
    ASSERT_TRUE(ButtonManager().Press(cmZoomPan));
    Type(form, "2,3");
  });
  MakeTapeWith(true);
  ScriptCommonDialogCancel();
  Run(form, emDrill, "MakeDrillTape1");
  HeadlessSetProcessMessagesHook(nullptr);
  EXPECT_EQ(CouponOrigin.X, 2 * In);
  ASSERT_TRUE(ButtonManager().Press(cmZoomIn));
  Click(form, 30, 40);
  EXPECT_EQ(UserPanel->PromptLine(3), "Select opposite corner of window > ");
  EXPECT_EQ(MyScreen->CentreX, x);
  form.KeyDown(VK_ESCAPE);
  EXPECT_NE(ECO->ActiveCommandNumber(), cmZoomIn);
}

// The animated play's timer steps the play; a pan waiting meanwhile takes
// only a click.
TEST_F(TDialogsDuringInputsTest, TheSingleStepTimerIsNoClick) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({In, In}, 0, NoZOffset);
  RTDB->AppendLine({0, In}, 0, NoZOffset);
  RTDB->AppendLine({0, 2 * In}, 0, NoZOffset);
  Run(form, emRout, "SingleStep1");
  char a = 'a';
  form.FormKeyPress(a);
  ASSERT_EQ(RTDB->Animate, 1);
  ASSERT_TRUE(ButtonManager().Press(cmZoomPan));
  const double x = MyScreen->CentreX, y = MyScreen->CentreY;
  const int32_t cursor = RTDB->PlayCursor;
  form.SingleStepTick();
  EXPECT_GT(RTDB->PlayCursor, cursor);
  EXPECT_EQ(MyScreen->CentreX, x);
  EXPECT_EQ(MyScreen->CentreY, y);
  EXPECT_TRUE(MyScreen->PanPick);
  const int32_t px = MyScreen->MouseToWorldX(30), py = MyScreen->MouseToWorldY(40);
  Click(form, 30, 40);
  EXPECT_EQ(MyScreen->CentreX, px);
  EXPECT_EQ(MyScreen->CentreY, py);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(RTDB->SingleStepActive, 0);
  ExpectIdle(form, emRout);
}

}  // namespace
