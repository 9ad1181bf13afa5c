// While the drawing area takes an input of its own (the plot placement,
// single step, the marking of tooling hits, the import placement) what the
// operator keys or types for the command under it waits as the menus do: a
// Delete or Enter of an entity edit, a typed point, the window's close. Each
// beeps and says how to end the input; Escape ends it and the command under
// it goes on where it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "command/button_manager.h"
#include "command/command_interpreter.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_edit.h"
#include "model/tool_tables.h"
#include "model/undo_journal.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/keys.h"
#include "tapein/drill_import_command.h"
#include "tapeout/make_drill_tape.h"
#include "workspace/startup.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

class TWaitRoutesTest : public TWorkspaceDialogsTest {
 protected:
  static int32_t LiveCad() {
    int32_t n = 0;
    for (int32_t i = 1; i <= CadEntityCount; ++i)
      if (TEntitySlot* slot = DB->SlotAt(i); slot != nullptr && !SlotDeleted(slot->Flags)) ++n;
    return n;
  }
  static void Key(TWorkspace& form, uint16_t key) { form.KeyDown(key); }
  // The input `what` holds what `act` did: one beep, the menus' hint.
  static void ExpectHeld(TWorkspace& form, const std::string& what, const std::function<void()>& act) {
    SetApplicationHint("");
    const size_t beeps = Beeps().size();
    act();
    EXPECT_EQ(form.HintPanel.Caption(), "The menus wait until the " + what + " ends: press Esc to stop it.");
    EXPECT_EQ(Beeps().size(), beeps + 1);
  }
  // File > Plot up to its page placement, where `during` runs.
  void DuringPlotPlacement(TWorkspace& form, const std::function<void()>& during) {
    WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT",
                   "papers\nof the test\nLetter\n11\n8.5\n0\n0\n");
    for (const char* f : {"TPlotPromptDialog", "TPlotConfigurationDialog"})
      RegisterModalScript(f, [](TForm& dialog) { dialog.Click("OKButton"); });
    bool reached = false;
    HeadlessSetProcessMessagesHook([&] {
      if (reached || MyScreen->Activity != acPrintPlacement) return;
      reached = true;
      during();
    });
    ScriptFileDialogAnswer((TempDir / "waited.ps").string(), 4);
    Run(form, emCad, "Plot1");
    HeadlessSetProcessMessagesHook(nullptr);
    EXPECT_TRUE(reached);
  }
};

// An entity edit that Inspect holds when the plot placement starts keeps
// its entity: Delete and Enter wait, Escape ends the placement and not the
// edit, and Delete then deletes.
TEST_F(TWaitRoutesTest, AnEntityEditWaitsUnderThePlotPlacement) {
  TWorkspace& form = StartProgram();
  const TIntPoint a{MyScreen->MouseToWorldX(40), MyScreen->MouseToWorldY(50)};
  const TIntPoint b{MyScreen->MouseToWorldX(200), MyScreen->MouseToWorldY(50)};
  DB->AddLine(a.X, a.Y, b.X, b.Y);
  ActiveUndo->BeginOperation("Line");
  Run(form, emCad, "Inspect1");
  Click(form, 120, 50);
  ASSERT_TRUE(ECO->Inspecting());
  const std::string plot = (TempDir / "waited.ps").string();
  DuringPlotPlacement(form, [&] {
    ExpectHeld(form, "plot placement", [&] { Key(form, VK_DELETE); });
    ExpectHeld(form, "plot placement", [&] { Key(form, VK_RETURN); });
    EXPECT_EQ(LiveCad(), 1);
    EXPECT_EQ(CadEntityCount, 1);
    EXPECT_TRUE(ECO->Inspecting());
    Key(form, VK_ESCAPE);
  });
  EXPECT_EQ(MyScreen->Activity, acIdle);
  EXPECT_TRUE(ECO->Inspecting());
  EXPECT_FALSE(std::filesystem::exists(plot));
  Key(form, VK_DELETE);
  EXPECT_EQ(LiveCad(), 0);
}

// A point typed while single step or the marking of tooling hits runs does
// not reach the command under it; the play codes still step, and the
// command takes its point once the input has ended.
TEST_F(TWaitRoutesTest, TypedPointsWaitUnderSingleStepAndTheToolingHitMarks) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({In, In}, 0, NoZOffset);
  RTDB->AppendLine({2 * In, In}, 0, NoZOffset);
  ActiveUndo->BeginOperation("Rout");
  Type(form, "LI");
  Type(form, "3,3");
  const int32_t routs = RoutEntityCount;
  Run(form, emRout, "SingleStep1");
  ASSERT_EQ(MyScreen->Activity, acSingleStep);
  ExpectHeld(form, "single step", [&] { Type(form, "4,4"); });
  EXPECT_EQ(RoutEntityCount, routs);
  EXPECT_EQ(UserPanel->Entry(), "");
  const int32_t cursor = RTDB->PlayCursor;
  Type(form, ButtonManager().CodeOf(PlayNextCutCommand));
  EXPECT_NE(RTDB->PlayCursor, cursor);
  Key(form, VK_ESCAPE);
  ASSERT_EQ(MyScreen->Activity, acIdle);
  Type(form, "4,4");
  EXPECT_GT(RoutEntityCount, routs);

  // Drill Hole waits for its point under the marking of tooling hits.
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  ActiveUndo->BeginOperation("Hole");
  Type(form, "DH");
  ASSERT_EQ(ECO->ActiveCommandNumber(), ButtonManager().CommandOfCode("DH"));
  int32_t marked = 0;
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acWindowMarking || marked > 0) return;
    ++marked;
    ExpectHeld(form, "marking of tooling hits", [&] { Type(form, "2,2"); });
    EXPECT_EQ(LiveDrillEntities(), 1);
    Key(form, VK_ESCAPE);
  });
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.FirstLastCheckBox.SetChecked(false);
    d.MarkFirstCheckBox.SetChecked(true);
    d.MarkLastCheckBox.SetChecked(false);
    d.OKButton.Click();
  });
  Run(form, emDrill, "MakeDrillTape1");
  HeadlessSetProcessMessagesHook(nullptr);
  EXPECT_EQ(marked, 1);
  EXPECT_EQ(LiveDrillEntities(), 1);
}

// The window's close waits for the import placement (the import would be
// lost, or saved unplaced) and for single step; no save question comes.
// A drag of the view over the placement holds the Undo button as well.
// Once the import is placed whole the window closes.
TEST_F(TWaitRoutesTest, TheWindowStaysWhileAnInputOfTheDrawingAreaWaits) {
  RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  TWorkspace& form = StartProgram();
  int asked = 0;
  JobFileSaveQuery = [&asked] {
    ++asked;
    return true;
  };
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  DRDB->AddHoleOnLayer(5 * In, 5 * In, 30, 1, true);
  DrillUndo->BeginOperation("Add hole");
  ImportSecondPart(form,
                   "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nG54D10*\nX10000Y10000D03*\nX12000Y10000D03*\n"
                   "X15000Y20000D03*\nM02*\n");
  ASSERT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  ExpectHeld(form, "import placement", [&] { EXPECT_FALSE(form.Close()); });
  EXPECT_TRUE(WorkspaceReady);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);

  form.PaintBox.MouseMove(0, 100, 100);
  form.PaintBox.MouseDown(mbLeft, ssShift, 100, 100);
  ASSERT_EQ(MyScreen->Activity, acDragPan);
  TSpeedButton* undo = ButtonManager().ButtonOf(UndoCommand);
  ExpectHeld(form, "import placement", [&] { undo->OnClick(*undo); });
  form.PaintBox.MouseUp(mbLeft, ssShift, 100, 100);
  EXPECT_EQ(MyScreen->Activity, acIdle);
  EXPECT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);

  Type(form, "0,0");
  EXPECT_EQ(LiveDrillEntities(), 4);
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({In, In}, 0, NoZOffset);
  Run(form, emRout, "SingleStep1");
  ASSERT_EQ(MyScreen->Activity, acSingleStep);
  ExpectHeld(form, "single step", [&] { EXPECT_FALSE(form.Close()); });
  EXPECT_EQ(asked, 0);
  Key(form, VK_ESCAPE);
  EXPECT_TRUE(form.Close());
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(WorkspaceReady);
}

}  // namespace
