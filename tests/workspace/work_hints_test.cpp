// Work that ends says what it did in the hint strip: the rout tape (under
// its type's extension when typed without one), the plot file, the CAD
// export, Pack Database, the tool sorts and merges, and Copy Layer to CAD.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "command/button_manager.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "model/tool_tables.h"
#include "model/undo_journal.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/paths.h"
#include "plot/cad_export.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

class TWorkHintsTest : public TWorkspaceDialogsTest {
 protected:
  static std::string Hint(TWorkspace& form) { return form.HintPanel.Caption(); }
};

TEST_F(TWorkHintsTest, TapesPlotsAndExportsSayWhatTheyWrote) {
  TWorkspace& form = StartProgram();
  // A rout tape typed without an extension is a ".RT" file.
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({In, In}, 0, NoZOffset);
  const std::string typed = (TempDir / "PANEL").string();
  ScriptFileDialogAnswer(typed);
  QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emRout, "MakeRoutTape1");
  EXPECT_FALSE(std::filesystem::exists(typed));
  ASSERT_TRUE(std::filesystem::exists(typed + ".RT"));
  EXPECT_EQ(Hint(form), "Rout tape written: R0, 1 path, 3 moves, " + typed + ".RT");

  // A plot file.
  SelectLayer(0);
  DB->AddLine(0, 0, In, In);
  WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT",
                 "papers\nof the test\nLetter\n11\n8.5\n0\n0\n");
  for (const char* f : {"TPlotPromptDialog", "TPlotConfigurationDialog"})
    RegisterModalScript(f, [](TForm& dialog) { dialog.Click("OKButton"); });
  // The page is placed with a left click.
  int step = 0;
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acPrintPlacement) return;
    TInputEvent e;
    e.Kind = step++ == 0 ? ievMouseDown : ievMouseUp;
    e.Buttons = e.Kind == ievMouseDown ? mbtLeft : 0;
    MyScreen->HandleEvent(e);
  });
  const std::string plot = (TempDir / "BOARD.PS").string();
  ScriptFileDialogAnswer(plot, 4);
  Run(form, emCad, "Plot1");
  HeadlessSetProcessMessagesHook(nullptr);
  ASSERT_TRUE(std::filesystem::exists(plot));
  EXPECT_EQ(Hint(form), "Plot written: PostScript, " + plot);

  // A DXF export.
  const std::string dxf = (TempDir / "BOARD.DXF").string();
  ScriptFileDialogAnswer(dxf, cfDxf);
  QueueModalScript("TDrawingUnits", [](TForm& f) { f.Click("OKButton"); });
  QueueModalScript("TSaveLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emCad, "Export1");
  ASSERT_TRUE(std::filesystem::exists(dxf));
  EXPECT_EQ(Hint(form), "DXF file written: " + dxf);
}

TEST_F(TWorkHintsTest, PackToolOrdersAndCopiesToCadSayWhatTheyDid) {
  TWorkspace& form = StartProgram();
  // Pack in CAD mode.
  DB->AddLine(0, 0, In, 0);
  DB->AddLine(0, 0, 0, In);
  DB->AddLine(0, 0, In, In);
  DB->MarkDeleted(2);
  Run(form, emCad, "PackDatabase1");
  EXPECT_EQ(Hint(form), "Database packed: 2 entities, 1 deleted entity removed");

  // The tools: T1 and T3 of one size, T3 with the more hits.
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  ToolTable[3].Diameter = In / 40;
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  DRDB->AddHoleOnLayer(2 * In, In, 30, 3, true);
  DRDB->AddHoleOnLayer(3 * In, In, 30, 3, true);
  Run(form, emDrill, "SortMostHitsFirst1");
  EXPECT_EQ(Hint(form), "Tools sorted, most hits first: 2 tools in use");
  Run(form, emDrill, "RemoveEmpties1");
  EXPECT_EQ(Hint(form), "Empty tools removed: 2 tools in use");
  Run(form, emDrill, "MergeSameSize1");
  EXPECT_EQ(Hint(form), "Tools of the same size merged: 1 tool in use (2 before)");

  // Copy Layer to CAD names the CAD layer.
  const int32_t cad = CadEntityCount;
  Run(form, emDrill, "MoveLayertoCad2");
  EXPECT_GT(CadEntityCount, cad);
  EXPECT_EQ(Hint(form), "Copied to CAD layer 0: " + std::to_string(CadEntityCount - cad) + " entities");
  // The copy is a CAD step: the Undo button shows what Edit > Undo of the
  // drill mode shows.
  TMenuItem* undo = form.MenuItem(emDrill, "Undo3");
  ASSERT_NE(undo, nullptr);
  form.Edit3Click();
  EXPECT_EQ(ButtonManager().IsEnabled(UndoCommand), undo->Enabled());
}

// Snap to Grid is ticked in every menu that has it while points snap, and
// turning the grid display off clears the ticks.
TEST_F(TWorkHintsTest, SnapToGridIsTickedInEveryMode) {
  TWorkspace& form = StartProgram();
  auto ticks = [&form] {
    std::vector<bool> shown;
    for (uint8_t mode : {emDrill, emRout, emCad}) {
      TMenuItem* item = form.MenuItem(mode, "SnapToGrid1");
      EXPECT_NE(item, nullptr) << int(mode);
      shown.push_back(item != nullptr && item->Checked());
    }
    return shown;
  };
  SelectLayer(30);
  ASSERT_FALSE(SnapToGrid);
  Run(form, emDrill, "SnapToGrid1");
  ASSERT_TRUE(SnapToGrid);
  EXPECT_EQ(ticks(), (std::vector<bool>{true, true, true}));
  Run(form, emDrill, "DisplayGrid1");
  ASSERT_FALSE(SnapToGrid);
  EXPECT_EQ(ticks(), (std::vector<bool>{false, false, false}));
  SelectLayer(40);
  Run(form, emRout, "SnapToGrid1");
  EXPECT_EQ(ticks(), (std::vector<bool>{true, true, true}));
}

}  // namespace
