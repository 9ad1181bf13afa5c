// Start-up and shutdown of the whole program.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "command/button_manager.h"
#include "model/cad_entities.h"
#include "model/entity_store.h"
#include "command/rubber_brain.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/drill_handles.h"
#include "model/rout_database.h"
#include "model/rout_sequence.h"
#include "model/tool_tables.h"
#include "platform/registry.h"
#include "platform/single_instance.h"
#include "plot/plot_device.h"
#include "workspace/clock_panel.h"
#include "workspace/view_mapping.h"
#include "workspace_test_support.h"

namespace fs = std::filesystem;

TEST_F(TWorkspaceTest, StartUpCreatesFoldersObjectsAndTheFirstMode) {
  TWorkspace& form = StartProgram();
  for (const char* name : WorkingDirectoryNames) EXPECT_TRUE(fs::is_directory(Home() / name)) << name;
  // Every object of the order that exists in the program was created.
  for (const TGlobalObject& object : GlobalObjects())
    if (object.Exists) {
      EXPECT_TRUE(object.Exists()) << object.Name;
    }
  EXPECT_EQ(GlobalObjects().size(), 15u);
  EXPECT_EQ(GlobalObjects()[0].Name, "CadUndo");
  EXPECT_EQ(GlobalObjects()[9].Name, "ECO");
  EXPECT_EQ(GlobalObjects()[14].Name, "Seq");
  EXPECT_TRUE(WorkspaceReady);
  EXPECT_EQ(Workspace, &form);
  EXPECT_EQ(ECO->ArcDisplayTolerance, 0.4);
  EXPECT_EQ(ArcDisplayTolerance(), 0.4);
  // Layer 0 is current: CAD mode with its menu and caption.
  EXPECT_EQ(EditorMode, emCad);
  EXPECT_EQ(form.Menu(), &form.CadMenu);
  EXPECT_EQ(form.Caption(), "KORVEX 6  Cad");
  EXPECT_EQ(ActiveUndo, CadUndo);
  EXPECT_EQ(ActiveDB, static_cast<TJobDatabase*>(DB));
  // Names the program builds and shows read with one separator.
  EXPECT_EQ(HelpFileName, ExecutionPath() + "HELP/KORVEX6.HLP");
  // The built-in rout tools (1/8" becomes its metric counterpart).
  EXPECT_EQ(RoutToolPages[40][1].Diameter, 812800);
  EXPECT_EQ(RoutToolPages[44][3].HighFeed, 10160);
  EXPECT_EQ(RoutToolPages[42][4].Diameter, EquivalentToolSize(3175000, false));
  EXPECT_EQ(RoutToolPages[40][5], TRoutToolRecord{});
  EXPECT_EQ(DatabasePath, ExecutionPath() + "DATABASE/");
  for (const std::string* path : {&DrillImportPath, &RoutImportPath, &CadImportPath, &DrillMakeTapePath,
                                  &RoutMakeTapePath, &CadExportPath, &DNCUploadDirectory})
    EXPECT_EQ(path->find('\\'), std::string::npos) << *path;
}

TEST_F(TWorkspaceTest, StartUpWritesThePaperListOnlyWhenItIsMissing) {
  fs::remove(Home() / "PLOTSPEC.TXT");
  StartProgram();
  std::ifstream in(Home() / "PLOTSPEC.TXT", std::ios::binary);
  ASSERT_TRUE(in.good());
  std::stringstream text;
  text << in.rdbuf();
  TPaperTable papers;
  ReadPaperSpecs(text.str(), papers);
  ASSERT_EQ(papers.Count, 5);
  EXPECT_EQ(papers[1].Name, "Letter");
  EXPECT_EQ(papers[1].Width, 8.5);
  EXPECT_EQ(papers[1].Height, 11.0);
  EXPECT_EQ(papers[5].Name, "A3");
  for (int i = 1; i <= 5; ++i) EXPECT_TRUE(papers[i].Valid) << i;
  CloseProgram();

  // The shop's own list is kept as it is.
  WriteFileBytes(Home() / "PLOTSPEC.TXT", "mine\nmine\nRoll\n36\n48\n0\n0\n");
  StartProgram();
  std::ifstream again(Home() / "PLOTSPEC.TXT", std::ios::binary);
  std::stringstream kept;
  kept << again.rdbuf();
  EXPECT_EQ(kept.str(), "mine\nmine\nRoll\n36\n48\n0\n0\n");
}

TEST_F(TWorkspaceTest, AFailingObjectStopsStartUpWithItsName) {
  SetFailingObject("ECO");
  EXPECT_THROW(StartProgram(), EStartupFailed);
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Text, "ECO object failed to start");
  EXPECT_EQ(ShownMessageBoxes().back().Type, mtError);
  // Nothing is left behind: the objects made before it are gone.
  EXPECT_EQ(ECO, nullptr);
  EXPECT_EQ(DB, nullptr);
  EXPECT_EQ(CadUndo, nullptr);
  EXPECT_EQ(Workspace, nullptr);
}

TEST_F(TWorkspaceTest, ShutDownSavesSettingsDestroysObjectsAndRemovesScratchFiles) {
  TWorkspace& form = StartProgram();
  const fs::path scratch = Home() / "SCRATCH";
  WriteFileBytes(scratch / "00000099.TMP", "x");
  WriteFileBytes(scratch / "KEEP.DAT", "y");
  Metric = true;
  ZeroZeroLines = false;
  DatabasePath = ExecutionPath() + "CAD\\";
  ImportFilters[3].Name = "Mill filter";
  form.ResizedByUser(700, 500);
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|E&xit"));
  EXPECT_FALSE(WorkspaceReady);
  EXPECT_TRUE(AppClosing);
  for (const TGlobalObject& object : GlobalObjects())
    if (object.Exists) {
      EXPECT_FALSE(object.Exists()) << object.Name;
    }
  EXPECT_EQ(LayerBar, nullptr);
  EXPECT_EQ(ActiveUndo, nullptr);
  EXPECT_FALSE(fs::exists(scratch / "00000099.TMP"));
  EXPECT_TRUE(fs::exists(scratch / "KEEP.DAT"));
  Form.reset();

  // The next start reads what the last one saved.
  ResetStartupSettings();
  ResetFamilySettings();
  StartProgram();
  EXPECT_TRUE(Metric);
  EXPECT_FALSE(ZeroZeroLines);
  EXPECT_EQ(DatabasePath, ExecutionPath() + "CAD\\");
  EXPECT_EQ(ImportFilters[3].Name, "Mill filter");
  EXPECT_EQ(MainFormBounds.Width, Form->Width());
  EXPECT_EQ(Form->Width(), 700);
}

TEST_F(TWorkspaceTest, ACancelledCloseKeepsTheProgramRunning) {
  TWorkspace& form = StartProgram();
  JobFileSaveQuery = [] { return false; };
  EXPECT_FALSE(form.Close());
  EXPECT_TRUE(WorkspaceReady);
  EXPECT_NE(ECO, nullptr);
  JobFileSaveQuery = [] { return true; };
  // A dialog or a long operation holds the modal bracket: the window stays
  // and nothing is freed under it.
  form.BeginModal();
  EXPECT_FALSE(form.Close());
  EXPECT_TRUE(WorkspaceReady);
  EXPECT_NE(RTDB, nullptr);
  form.EndModal();
  EXPECT_TRUE(form.Close());
  EXPECT_FALSE(WorkspaceReady);
}

TEST_F(TWorkspaceTest, ASecondInstanceAsksTheFirstToComeForwardAndEnds) {
  int raised = 0;
  bool looped = false;
  {
    TSingleInstanceLock first(InstanceLockName(ShortProductName), [&raised] { ++raised; });
    ASSERT_TRUE(first.IsFirst());
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunProgram([&looped] {
                looped = true;
                return 0;
              }),
              0);
    // One line says why nothing opens.
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "KORVEX is already running for this user: that copy was asked to show its window, and this one ends.\n");
  }
  EXPECT_EQ(raised, 1);
  EXPECT_FALSE(looped);
  EXPECT_EQ(Workspace, nullptr);
  EXPECT_EQ(ECO, nullptr);
  EXPECT_TRUE(ShownMessageBoxes().empty());
}

TEST_F(TWorkspaceTest, RunProgramKeepsItsSettingsInTheRegistryFile) {
  EXPECT_EQ(RunProgram([] {
              Metric = true;
              EXPECT_TRUE(ClickMenu(*Workspace->Menu(), "&File|E&xit"));
              return 0;
            }),
            0);
  EXPECT_EQ(Workspace, nullptr);
  // The settings reached the registry file and come back from it.
  TRegistryStore::Instance().Clear();
  ResetStartupSettings();
  bool metricAtStart = false;
  EXPECT_EQ(RunProgram([&metricAtStart] {
              metricAtStart = Metric;
              return 0;  // the loop ends without Exit: the program still shuts down
            }),
            0);
  EXPECT_TRUE(metricAtStart);
  EXPECT_EQ(ECO, nullptr);
}

TEST_F(TWorkspaceTest, ProgramWithAFailingObjectEndsWithCodeOne) {
  SetFailingObject("Seq");
  EXPECT_EQ(RunProgram([] { return 0; }), 1);
  EXPECT_EQ(ShownMessageBoxes().back().Text, "Seq object failed to start");
}

// The step commands find the Edit Steps dialog, shown inside the window's
// modal bracket, and the other editor's database; shutdown takes them away.
TEST_F(TWorkspaceTest, StartUpInstallsTheStepDialogAndConnections) {
  TWorkspace& form = StartProgram();
  TEditStepLists table;
  table[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 1, 0, 0, 0}};
  int32_t level = 0;
  QueueModalScript("TEditStepDialog", [&](TForm& f) {
    level = form.ModalLevel();
    f.Click("CancelButton");
  });
  EXPECT_FALSE(ExecuteEditStepDialog(table));
  EXPECT_EQ(level, 1);
  EXPECT_EQ(form.ModalLevel(), 0);
  ASSERT_TRUE(static_cast<bool>(AutoStepRepeatSettings));
  RTDB->AutoStepRepeat.NumberInX = 7;
  EXPECT_EQ(AutoStepRepeatSettings().NumberInX, 7);
  CloseProgram();
  EXPECT_FALSE(static_cast<bool>(AutoStepRepeatSettings));
  EXPECT_FALSE(ExecuteEditStepDialog(table));  // no dialog: cancelled
}

// The rubber band's arrow follows the rout database's compensation side.
TEST_F(TWorkspaceTest, TheArrowHeadLeansByTheRoutCompensationSide) {
  StartProgram();
  ASSERT_TRUE(static_cast<bool>(CurrentCompensationSide));
  RTDB->AutoRoutCompensation = 2;
  EXPECT_EQ(CurrentCompensationSide(), 2);
  RTDB->AutoRoutCompensation = 1;
  EXPECT_EQ(CurrentCompensationSide(), 1);
}

#include "workspace/small_dialogs.h"

namespace {

// The interpreter loads the two command options when it is made; the
// Options dialog shows and changes the interpreter's values and saves them.
TEST_F(TWorkspaceTest, TheInterpreterLoadsTheCommandOptionsAndTheOptionsDialogSetsThem) {
  SaveButtonBarStyle(true);
  SaveStickyLines(true);
  TWorkspace& form = StartProgram();
  EXPECT_FALSE(ECO->ToolbarBehaviour);
  EXPECT_TRUE(ECO->StickyLines);
  bool shownOld = false, shownSticky = false;
  QueueModalScript("TOptionsDialog", [&](TForm& f) {
    auto& d = static_cast<TOptionsDialog&>(f);
    shownOld = d.KORVEX5CheckBox.Checked();
    shownSticky = d.StickyCheckBox.Checked();
    d.KORVEX5CheckBox.SetChecked(false);
    d.StickyCheckBox.SetChecked(false);
    f.Click("OKButton");
  });
  TMenuItem* options = form.MenuItem(emCad, "Options1");
  ASSERT_NE(options, nullptr);
  options->OnClick(*options);
  EXPECT_TRUE(shownOld);
  EXPECT_TRUE(shownSticky);
  EXPECT_TRUE(ECO->ToolbarBehaviour);
  EXPECT_FALSE(ECO->StickyLines);
  EXPECT_FALSE(LoadButtonBarStyle());
  EXPECT_FALSE(LoadStickyLines());
}

// With sticky lines a CAD line starts where the last one ended; without,
// every line takes two clicks.
TEST_F(TWorkspaceTest, StickyLinesChainTheCadLineCommand) {
  SaveStickyLines(true);
  StartProgram();
  SelectLayer(3);
  constexpr int32_t In = 25400000;
  auto lines = [] {
    std::vector<std::pair<TIntPoint, TIntPoint>> out;
    for (int32_t i = 1; i <= CadEntityCount; ++i)
      if (TCadEntity* e = DB->EntityAt(i); e != nullptr && e->GetType() == 2) {
        TIntPoint a, b;
        e->GetPoint(a);
        e->GetSecondPoint(b);
        out.push_back({a, b});
      }
    return out;
  };
  ASSERT_TRUE(ButtonManager().Press(59));
  Click(0, 0);
  Click(In, 0);
  Click(In, In);
  ECO->CancelCommand();
  EXPECT_EQ(lines(), (std::vector<std::pair<TIntPoint, TIntPoint>>{{{0, 0}, {In, 0}}, {{In, 0}, {In, In}}}));

  ECO->StickyLines = false;
  ASSERT_TRUE(ButtonManager().Press(59));
  Click(0, 2 * In);
  Click(In, 2 * In);
  Click(2 * In, 2 * In);
  ECO->CancelCommand();
  EXPECT_EQ(lines().size(), 3u);
}

}  // namespace

namespace {

// The window opens centred; the first start makes it most of the screen
// (the headless screen is 1024 x 768), a later one keeps the saved size.
TEST_F(TWorkspaceTest, TheWindowOpensCentredAndAFirstStartTakesMostOfTheScreen) {
  TWorkspace& form = StartProgram();
  EXPECT_EQ(form.Width(), 921);
  EXPECT_EQ(form.Height(), 691);
  EXPECT_EQ(form.Left(), (1024 - 921) / 2);
  EXPECT_EQ(form.Top(), (768 - 691) / 2);
  CloseProgram();
  MainFormBounds = {};
  TWorkspace& again = StartProgram();
  EXPECT_EQ(again.Width(), 921);
  CloseProgram();
  // A saved size larger than the screen stands at its top left corner.
  MainFormBounds = {};
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Orbenwright\\KORVEX\\6.0\\Layout", true));
  reg.WriteInteger("Width", 1100);
  reg.WriteInteger("Height", 500);
  reg.WriteInteger("Left", 7);
  reg.CloseKey();
  TWorkspace& wide = StartProgram();
  EXPECT_EQ(wide.Width(), 1100);
  EXPECT_EQ(wide.Left(), 0);
  EXPECT_EQ(wide.Top(), (768 - 500) / 2);
  EXPECT_FALSE(wide.Maximized());
  // Closed maximised (as the window system reports it), it opens maximised
  // with the size it had before.
  wide.MaximizedFromBackend(true);
  CloseProgram();
  MainFormMaximized = false;
  TWorkspace& big = StartProgram();
  EXPECT_TRUE(big.Maximized());
  EXPECT_EQ(big.Width(), 1100);
  big.MaximizedFromBackend(false);
  CloseProgram();
  MainFormMaximized = true;
  EXPECT_FALSE(StartProgram().Maximized());
}

}  // namespace

namespace {

// The window opens as the last session left it: the layer and tool button
// panels the user hid in Options stay hidden, the drawing area has the
// chosen background, and Options shows them again.
TEST_F(TWorkspaceTest, TheWindowOpensWithThePanelsAndColourTheSettingsHold) {
  TWorkspace& first = StartProgram();
  EXPECT_TRUE(first.LayerPanel.Visible());
  EXPECT_TRUE(first.CadButtonPanel.Visible());
  EXPECT_EQ(first.PaintBoxRoot.Color(), clNavy);
  QueueModalScript("TOptionsDialog", [](TForm& f) {
    f.Get<TCheckBox>("LayerCheckBox").SetChecked(false);
    f.Get<TCheckBox>("ToolBarCheckBox").SetChecked(false);
    f.Click("OKButton");
  });
  ASSERT_TRUE(ClickMenu(*first.Menu(), "&File|Options"));
  EXPECT_FALSE(first.LayerPanel.Visible());
  EXPECT_FALSE(first.CadButtonPanel.Visible());
  BackgroundColor = clBlack;
  CloseProgram();

  // The next run starts from the built-in values and loads the saved ones.
  ResetStartupSettings();
  TWorkspace& next = StartProgram();
  EXPECT_FALSE(ShowLayerButtons);
  EXPECT_FALSE(next.LayerPanel.Visible());
  EXPECT_FALSE(next.CadButtonPanel.Visible());
  EXPECT_EQ(next.PaintBoxRoot.Color(), clBlack);
  QueueModalScript("TOptionsDialog", [](TForm& f) {
    EXPECT_FALSE(f.Get<TCheckBox>("LayerCheckBox").Checked());
    f.Get<TCheckBox>("LayerCheckBox").SetChecked(true);
    f.Click("OKButton");
  });
  ASSERT_TRUE(ClickMenu(*next.Menu(), "&File|Options"));
  EXPECT_TRUE(next.LayerPanel.Visible());
  EXPECT_FALSE(next.CadButtonPanel.Visible());
}

}  // namespace
