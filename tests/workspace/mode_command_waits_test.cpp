// While the drawing area takes an input of its own (the plot placement, the
// coupon pick, the marking of tooling hits, single step, the import
// placement) a tool button or a typed keyboard code waits as the menus do:
// it beeps, the hint strip says how to end the input, nothing runs and the
// input goes on; Escape still ends it. An import placed and then undone
// takes back the tools it set; Redo puts them back.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "command/button_manager.h"
#include "command/command_interpreter.h"
#include "foundation/file_utils.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/drill_tools.h"
#include "model/rout_database.h"
#include "model/rout_edit.h"
#include "model/tool_tables.h"
#include "model/undo_journal.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/keys.h"
#include "platform/paths.h"
#include "tapein/drill_import_command.h"
#include "tapeout/make_drill_tape.h"
#include "tapeout/tooling_hit_marks.h"
#include "workspace_test_support.h"
#include "../support/entity_counts.h"

namespace {

constexpr int32_t In = 25400000;

// Two apertures: two tools, three holes.
const char* const Photoplot =
    "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\n%ADD11C,0.0200*%\nG54D10*\nX10000Y10000D03*\n"
    "X12000Y10000D03*\nG54D11*\nX15000Y20000D03*\nM02*\n";

class TModeCommandWaitsTest : public TWorkspaceDialogsTest {
 protected:
  void SetUp() override {
    TWorkspaceDialogsTest::SetUp();
    RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  }
  // A step in the mode's journal that Undo would take back.
  static void JournalAStep(int32_t index) {
    ActiveUndo->RecordAdd(index);
    ActiveUndo->BeginOperation("Test step");
  }
  static bool CanUndo() {
    std::string name;
    return ActiveUndo->CanUndo(name);
  }
  // The Undo button clicked and its code "OO" typed while the input `what`
  // runs: both wait and say so, the step stays and the waiting command too.
  void ExpectUndoWaits(TWorkspace& form, const std::string& what, uint8_t activity) {
    SCOPED_TRACE(what);
    const int32_t waiting = ECO->ActiveCommandNumber();
    TSpeedButton* undo = ButtonManager().ButtonOf(UndoCommand);
    ASSERT_NE(undo, nullptr);
    const std::string code = ButtonManager().CodeOf(UndoCommand);
    ASSERT_EQ(code, "OO");
    const std::string says = "The menus wait until the " + what + " ends: press Esc to stop it.";
    SetApplicationHint("");
    undo->OnClick(*undo);
    EXPECT_EQ(form.HintPanel.Caption(), says);
    EXPECT_TRUE(CanUndo());
    SetApplicationHint("");
    for (char c : code) form.FormKeyPress(c);
    // The plot placement keeps the command line shut.
    const bool typed = UserPanel->Entry() == code;
    EXPECT_EQ(typed, activity != acPrintPlacement);
    form.KeyDown(VK_RETURN);
    EXPECT_EQ(form.HintPanel.Caption(), typed ? says : "");
    EXPECT_TRUE(CanUndo());
    EXPECT_EQ(UserPanel->Entry(), "");
    EXPECT_EQ(ECO->ActiveCommandNumber(), waiting);
    EXPECT_EQ(MyScreen->Activity, activity);
    ++Checked;
  }
  int Checked = 0;
  // Make Drill Tape's dialog answered OK: with the coupon pick, or with the
  // marking of the first tooling hits.
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
  // File > Plot's paper and dialogs answered, up to the page placement.
  static void ScriptPlotDialogs() {
    WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT",
                   "papers\nof the test\nLetter\n11\n8.5\n0\n0\n");
    for (const char* f : {"TPlotPromptDialog", "TPlotConfigurationDialog"})
      RegisterModalScript(f, [](TForm& dialog) { dialog.Click("OKButton"); });
  }
};

TEST_F(TModeCommandWaitsTest, ButtonsAndTypedCodesWaitForThePlacementsAndPicks) {
  TWorkspace& form = StartProgram();
  // The plot placement.
  ScriptPlotDialogs();
  SelectLayer(0);
  JournalAStep(DB->AddLine(0, 0, In, In));
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acPrintPlacement) return;
    ExpectUndoWaits(form, "plot placement", acPrintPlacement);
    form.KeyDown(VK_ESCAPE);
  });
  const std::string plot = (TempDir / "waited.ps").string();
  ScriptFileDialogAnswer(plot, 4);
  Run(form, emCad, "Plot1");
  EXPECT_EQ(Checked, 1);
  EXPECT_FALSE(std::filesystem::exists(plot));
  EXPECT_EQ(MyScreen->Activity, acIdle);

  // The coupon pick of Make Drill Tape, then the marking of tooling hits.
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  JournalAStep(DRDB->AddHoleOnLayer(In, In, 30, 1, true));
  for (const auto& [what, activity] : {std::pair<std::string, uint8_t>{"coupon pick", acMakeTapePick},
                                       {"marking of tooling hits", acWindowMarking}}) {
    const bool coupon = activity == acMakeTapePick;
    Checked = 0;
    HeadlessSetProcessMessagesHook([&, what = what, activity = activity] {
      if (MyScreen->Activity != activity || Checked > 0) return;
      ExpectUndoWaits(form, what, activity);
      form.KeyDown(VK_ESCAPE);
    });
    MakeTapeWith(coupon);
    const size_t dialogs = ShownCommonDialogs().size();
    Run(form, emDrill, "MakeDrillTape1");
    EXPECT_EQ(Checked, 1) << what;
    EXPECT_EQ(ShownCommonDialogs().size(), dialogs) << what;
    EXPECT_EQ(MyScreen->Activity, acIdle) << what;
    EXPECT_FALSE(ToolingMarks.Marking);
  }
  EXPECT_EQ(LiveDrillEntities(), 1);

  // Once the input has ended the Undo button works again.
  HeadlessSetProcessMessagesHook(nullptr);
  TSpeedButton* undo = ButtonManager().ButtonOf(UndoCommand);
  undo->OnClick(*undo);
  EXPECT_EQ(LiveDrillEntities(), 0);
}

TEST_F(TModeCommandWaitsTest, SingleStepTakesOnlyItsPlayCommands) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({In, In}, 0, NoZOffset);
  RTDB->AppendLine({2 * In, In}, 0, NoZOffset);
  JournalAStep(RoutEntityCount);
  Run(form, emRout, "SingleStep1");
  ASSERT_EQ(MyScreen->Activity, acSingleStep);
  ExpectUndoWaits(form, "single step", acSingleStep);
  // The play commands step on from their buttons and codes.
  const int32_t before = RTDB->PlayCursor;
  Type(form, ButtonManager().CodeOf(PlayNextCutCommand));
  EXPECT_NE(RTDB->PlayCursor, before);
  TSpeedButton* back = ButtonManager().ButtonOf(PlayBackCutCommand);
  back->OnClick(*back);
  EXPECT_EQ(RTDB->PlayCursor, before);
  // Animate steers the play; Save waits.
  Run(form, emRout, "Animate1");
  EXPECT_EQ(RTDB->Animate, 1);
  Run(form, emRout, "Animate1");
  EXPECT_EQ(RTDB->Animate, 0);
  SetApplicationHint("");
  const size_t beeps = Beeps().size();
  Run(form, emRout, "Save1");
  EXPECT_EQ(form.HintPanel.Caption(), "The menus wait until the single step ends: press Esc to stop it.");
  EXPECT_EQ(Beeps().size(), beeps + 1);
  EXPECT_EQ(MyScreen->Activity, acSingleStep);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(MyScreen->Activity, acIdle);
  EXPECT_TRUE(CanUndo());
}

// Under the import placement, the marking of tooling hits and the plot
// placement (and the coupon pick) the view settings act at once (Snap to Grid, to place the
// import on the grid), and the view is zoomed and moved to find the spot:
// Zoom All, Zoom Out, Full Screen, and Pan to a click. The input goes on;
// the items that act only on an idle drawing area (Save, Import) and the
// window zoom wait.
TEST_F(TModeCommandWaitsTest, TheViewSettingsAndCommandsActUnderEveryInput) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  DRDB->AddHoleOnLayer(5 * In, 5 * In, 30, 1, true);
  DRDB->AddHoleOnLayer(9 * In, 7 * In, 30, 1, true);
  DrillUndo->BeginOperation("Add holes");
  auto expectFree = [&](const std::string& what) {
    SCOPED_TRACE(what);
    const uint8_t activity = MyScreen->Activity;
    const int32_t command = ECO->ActiveCommandNumber();
    SnapToGrid = DisplayGrid = false;
    const size_t beeps = Beeps().size();
    Run(form, emDrill, "SnapToGrid1");
    EXPECT_TRUE(SnapToGrid);
    EXPECT_TRUE(DisplayGrid);
    Run(form, emDrill, "DisplayGrid1");
    EXPECT_FALSE(DisplayGrid);
    EXPECT_FALSE(SnapToGrid);
    Run(form, emDrill, "Refresh1");
    Run(form, emDrill, "ZoomAll1");
    const double extents = MyScreen->Zoom;
    EXPECT_GT(extents, 2.0);
    Run(form, emDrill, "ZoomOut2X1");
    EXPECT_DOUBLE_EQ(MyScreen->Zoom, extents / 2);
    Run(form, emDrill, "FullScreen1");
    EXPECT_LT(MyScreen->Zoom, 1.0);
    Run(form, emDrill, "ZoomAll1");
    Run(form, emDrill, "Pan1");
    const int32_t x = MyScreen->MouseToWorldX(30), y = MyScreen->MouseToWorldY(40);
    Click(form, 30, 40);
    EXPECT_EQ(MyScreen->CentreX, x);
    EXPECT_EQ(MyScreen->CentreY, y);
    // Esc after Pan leaves the view as it is and the input on.
    Run(form, emDrill, "Pan1");
    form.KeyDown(VK_ESCAPE);
    EXPECT_EQ(MyScreen->CentreX, x);
    EXPECT_EQ(Beeps().size(), beeps);
    EXPECT_FALSE(DatabaseModified);
    for (const char* item : {"Save1", "Import2", "ZoomIn1"}) {
      SetApplicationHint("");
      Run(form, emDrill, item);
      EXPECT_EQ(form.HintPanel.Caption(), "The menus wait until the " + what + " ends: press Esc to stop it.")
          << item;
    }
    EXPECT_EQ(Beeps().size(), beeps + 3);
    EXPECT_EQ(MyScreen->Activity, activity);
    EXPECT_EQ(ECO->ActiveCommandNumber(), command);
    ++Checked;
  };

  // The import placement: afterwards the import is placed at a typed point.
  ImportSecondPart(form, Photoplot);
  ASSERT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  DatabaseModified = false;
  expectFree("import placement");
  Type(form, "0,0");
  EXPECT_EQ(LiveDrillEntities(), 5);
  EXPECT_NE(ECO->ActiveCommandNumber(), cmImportFinalize);

  // The marking of tooling hits of Make Drill Tape, ended with Esc.
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acWindowMarking || Checked > 1) return;
    expectFree("marking of tooling hits");
    form.KeyDown(VK_ESCAPE);
  });
  MakeTapeWith(false);
  DatabaseModified = false;
  Run(form, emDrill, "MakeDrillTape1");
  EXPECT_EQ(Checked, 2);
  EXPECT_EQ(MyScreen->Activity, acIdle);

  // The coupon pick of Make Drill Tape: the code of Zoom Out typed runs.
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acMakeTapePick || Checked > 2) return;
    ++Checked;
    Run(form, emDrill, "ZoomAll1");
    const double zoom = MyScreen->Zoom;
    Type(form, ButtonManager().CodeOf(cmZoomOut));
    EXPECT_DOUBLE_EQ(MyScreen->Zoom, zoom / 2);
    EXPECT_EQ(MyScreen->Activity, acMakeTapePick);
    form.KeyDown(VK_ESCAPE);
  });
  MakeTapeWith(true);
  Run(form, emDrill, "MakeDrillTape1");
  EXPECT_EQ(Checked, 3);

  // The plot placement, ended with Esc: no plot is written.
  ScriptPlotDialogs();
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acPrintPlacement || Checked > 3) return;
    expectFree("plot placement");
    form.KeyDown(VK_ESCAPE);
  });
  const std::string plot = (TempDir / "waited.ps").string();
  ScriptFileDialogAnswer(plot, 4);
  Run(form, emDrill, "Plot1");
  HeadlessSetProcessMessagesHook(nullptr);
  EXPECT_EQ(Checked, 4);
  EXPECT_FALSE(std::filesystem::exists(plot));
  EXPECT_EQ(MyScreen->Activity, acIdle);
  EXPECT_EQ(LiveDrillEntities(), 5);
}

// The import placement holds its import hidden: a command that could change
// the job waits, a zoom runs and the placement goes on.
TEST_F(TModeCommandWaitsTest, TheImportPlacementWaitsForCommandsButZooms) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  JournalAStep(DRDB->AddHoleOnLayer(5 * In, 5 * In, 30, 1, true));
  ImportSecondPart(form, Photoplot);
  ASSERT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  ExpectUndoWaits(form, "import placement", acIdle);
  Run(form, emDrill, "Save1");
  EXPECT_EQ(form.HintPanel.Caption(), "The menus wait until the import placement ends: press Esc to stop it.");
  // Another layer waits too.
  form.LayerPanel.FindControl("L40")->Click();
  EXPECT_EQ(CurrentLayer, 30);
  EXPECT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  Type(form, ButtonManager().CodeOf(cmZoomExtents));
  EXPECT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  Type(form, "0,0");
  EXPECT_EQ(LiveDrillEntities(), 4);
  EXPECT_NE(ECO->ActiveCommandNumber(), cmImportFinalize);
}

// The import placement holds the import's holes hidden: File > Pack
// Database, the tool sorts, Layer Erase and the shortcuts of Save and Switch
// To Layer wait with a beep while it runs, and the import is then placed
// whole; packed afterwards, the job keeps every hole.
TEST_F(TModeCommandWaitsTest, PackAndTheToolItemsWaitForTheImportPlacement) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  std::vector<int32_t> holes;
  for (int32_t i = 0; i < 6; ++i) holes.push_back(DRDB->AddHoleOnLayer((5 + i) * In, 5 * In, 30, 1, true));
  DrillUndo->BeginOperation("Add holes");
  for (int32_t i = 0; i < 6; i += 2) ASSERT_TRUE(DRDB->DeleteEntity(holes[size_t(i)]));
  DrillUndo->BeginOperation("Delete holes");
  const std::vector<TToolRecord> tools = Tools();
  ImportSecondPart(form, Photoplot);
  ASSERT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  const int32_t count = DrillEntityCount;
  const std::string says = "The menus wait until the import placement ends: press Esc to stop it.";
  auto expectHeld = [&](const std::string& what, const std::function<void()>& choose) {
    SCOPED_TRACE(what);
    SetApplicationHint("");
    const size_t beeps = Beeps().size();
    const size_t dialogs = ShownCommonDialogs().size();
    choose();
    EXPECT_EQ(form.HintPanel.Caption(), says);
    EXPECT_EQ(Beeps().size(), beeps + 1);
    EXPECT_EQ(ShownCommonDialogs().size(), dialogs);
    EXPECT_EQ(DrillEntityCount, count);
    EXPECT_EQ(LiveDrillEntities(), 3);
    EXPECT_EQ(CurrentLayer, 30);
    EXPECT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  };
  for (const char* item : {"PackDatabase3", "SortFewestHitsFirst1", "SortMostHitsFirst1", "SortSmallToolFirst1",
                           "SortBigToolFirst1", "MergeSameSize1", "RemoveEmpties1", "LayerErase1"})
    expectHeld(item, [&] { Run(form, emDrill, item); });
  for (const char* key : {"F2", "Ctrl+L"})
    expectHeld(key, [&] { EXPECT_FALSE(form.ModeMenu(emDrill).ClickShortCut(key)); });
  expectHeld("Pack of the CAD menu", [&] { Run(form, emCad, "PackDatabase1"); });
  // A layer's own box (the right button on its layer button) waits too.
  const size_t boxes = ModalFormsShown().size();
  expectHeld("the box of layer D1", [&] { LayerBar->LayerMouseDown(*LayerBar->Buttons[31], mbRight, 5, 6); });
  EXPECT_EQ(ModalFormsShown().size(), boxes);

  Type(form, "0,0");
  EXPECT_NE(ECO->ActiveCommandNumber(), cmImportFinalize);
  // The three kept holes and the three of the import, where the file has them.
  const std::multiset<std::pair<int32_t, int32_t>> placed = {
      {6 * In, 5 * In}, {8 * In, 5 * In}, {10 * In, 5 * In}, {In, In}, {In + In / 5, In}, {In + In / 2, 2 * In}};
  EXPECT_EQ(LiveDrillPositions(), placed);
  EXPECT_NE(Tools(), tools);

  Run(form, emDrill, "PackDatabase3");
  EXPECT_EQ(form.HintPanel.Caption(), "Database packed: 6 entities, 3 deleted entities removed");
  EXPECT_EQ(LiveDrillPositions(), placed);
}

// Save Tool Table writes the job's tools under the last tape's name: while
// an import waits to be placed it waits too (the table holds the import's
// tools), and once the import is withdrawn it writes the job's own and
// names the file in the hint strip. Load Tool Table of a missing file names
// the file.
TEST_F(TModeCommandWaitsTest, SaveToolTableWaitsForTheImportPlacementAndNamesItsFile) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  DRDB->AddHoleOnLayer(5 * In, 5 * In, 30, 1, true);
  DrillUndo->BeginOperation("Add hole");
  const std::vector<TToolRecord> before = Tools();
  DrillTapeFileName = (TempDir / "PANEL.DRL").string();
  const std::string table = ExecutionPath() + "TOOLDATA" + PathDelim + "PANEL.DRL";
  ImportSecondPart(form, Photoplot);
  ASSERT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  ASSERT_NE(Tools(), before);
  SetApplicationHint("");
  Run(form, emDrill, "SaveToolTable1");
  EXPECT_EQ(form.HintPanel.Caption(), "The menus wait until the import placement ends: press Esc to stop it.");
  EXPECT_FALSE(std::filesystem::exists(NativePath(table)));

  form.KeyDown(VK_ESCAPE);
  ASSERT_NE(ECO->ActiveCommandNumber(), cmImportFinalize);
  EXPECT_EQ(Tools(), before);
  Run(form, emDrill, "SaveToolTable1");
  EXPECT_EQ(form.HintPanel.Caption(), "Drill tool table written: " + table);
  ToolTable[1].Diameter = 0;
  ASSERT_TRUE(ReadDrillToolTableFile(table));
  EXPECT_EQ(Tools(), before);

  // Load Tool Table of a name that is not there names it.
  const std::string missing = (TempDir / "GONE.TT").string();
  ScriptFileDialogAnswer(missing);
  Run(form, emDrill, "LoadToolTable1");
  EXPECT_EQ(LastBox(), SystemErrorText(ENOENT) + "\r\nwhile opening the drill tool table " + missing);
  EXPECT_EQ(Tools(), before);
}

// Edit > Undo of a placed import takes back its entities and the tools it
// set; Redo puts both back; a tool edited after the import keeps the edit.
TEST_F(TModeCommandWaitsTest, UndoOfAnImportTakesBackItsTools) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  DRDB->AddHoleOnLayer(5 * In, 5 * In, 30, 1, true);
  DrillUndo->BeginOperation("Add hole");
  const std::vector<TToolRecord> before = Tools();
  ImportSecondPart(form, Photoplot);
  Type(form, "0,0");
  ASSERT_EQ(LiveDrillEntities(), 4);
  const std::vector<TToolRecord> imported = Tools();
  ASSERT_NE(imported, before);

  Run(form, emDrill, "Undo3");
  EXPECT_EQ(LiveDrillEntities(), 1);
  EXPECT_EQ(Tools(), before);
  Run(form, emDrill, "Redo3");
  EXPECT_EQ(LiveDrillEntities(), 4);
  EXPECT_EQ(Tools(), imported);

  // A tool the import set and the user then edited stays as edited.
  int32_t edited = 0;
  for (int32_t t = 1; t <= kToolCount && edited == 0; ++t)
    if (!(imported[size_t(t - 1)] == before[size_t(t - 1)])) edited = t;
  ASSERT_NE(edited, 0);
  ToolTable[edited].Diameter = In / 7;
  Run(form, emDrill, "Undo3");
  EXPECT_EQ(LiveDrillEntities(), 1);
  EXPECT_EQ(ToolTable[edited].Diameter, In / 7);
  for (int32_t t = 1; t <= kToolCount; ++t)
    if (t != edited) EXPECT_EQ(ToolTable[t], before[size_t(t - 1)]) << t;
}

}  // namespace
