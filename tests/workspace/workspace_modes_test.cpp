// Editor modes, the menus and the tool buttons, the modal bracket and the
// status box, the hint strip, undo and redo through the menus.
#include <stdexcept>

#include "command/rubber_brain.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "workspace/error_log.h"
#include "foundation/report_windows.h"
#include "platform/headless/headless_events.h"
#include "workspace_test_support.h"

namespace {
bool SlotIsDeleted(int32_t index) {
  TEntitySlot* slot = DB->SlotAt(index);
  return slot == nullptr || SlotDeleted(slot->Flags);
}
}  // namespace

TEST_F(TWorkspaceTest, SelectingALayerSwitchesTheEditorMode) {
  TWorkspace& form = StartProgram();
  SelectLayer(35);
  EXPECT_EQ(EditorMode, emDrill);
  EXPECT_EQ(form.Menu(), &form.DrillMenu);
  EXPECT_EQ(form.Caption(), "KORVEX 6  VarovUvov");
  EXPECT_EQ(ActiveUndo, DrillUndo);
  EXPECT_EQ(ActiveDB, static_cast<TJobDatabase*>(DRDB));
  EXPECT_EQ(ButtonManager().Mode(), emDrill);
  auto shown = ButtonManager().ShownCommands();
  EXPECT_NE(std::find(shown.begin(), shown.end(), 30), shown.end());   // Drill Slot
  EXPECT_EQ(std::find(shown.begin(), shown.end(), 86), shown.end());   // Create Point
  ASSERT_NE(ButtonManager().ButtonOf(30), nullptr);
  EXPECT_TRUE(ButtonManager().ButtonOf(30)->Visible());
  EXPECT_FALSE(ButtonManager().ButtonOf(86)->Visible());
  EXPECT_EQ(ECO->Mode(), emDrill);

  // A click on the rout layer's button.
  ASSERT_TRUE(form.LayerPanel.FindControl("L41")->Click());
  EXPECT_EQ(CurrentLayer, 41);
  EXPECT_EQ(EditorMode, emRout);
  EXPECT_EQ(form.Menu(), &form.RoutMenu);
  EXPECT_EQ(form.Caption(), "KORVEX 6  ZuraZeru");
  EXPECT_EQ(ButtonManager().Mode(), emRout);
  EXPECT_TRUE(ButtonManager().ButtonOf(47)->Visible());  // Comp None
  EXPECT_EQ(ActiveUndo, RoutUndo);
  EXPECT_EQ(ActiveDB, static_cast<TJobDatabase*>(RTDB));

  SelectLayer(3);
  EXPECT_EQ(form.Menu(), &form.CadMenu);
  EXPECT_EQ(form.Caption(), "KORVEX 6  Cad");
  EXPECT_EQ(ActiveUndo, CadUndo);
  EXPECT_EQ(ActiveDB, static_cast<TJobDatabase*>(DB));
  EXPECT_TRUE(ButtonManager().ButtonOf(86)->Visible());
  DatabaseFileName = "JOB.ZUL";
  form.UpdateCaption();
  EXPECT_EQ(form.Caption(), "KORVEX 6  Cad: <JOB.ZUL>");
  DatabaseFileName.clear();
}

TEST_F(TWorkspaceTest, NestedBracketsWithTheStatusBoxKeepTheAreaBusyUntilTheLast) {
  TWorkspace& form = StartProgram();
  form.OpenStatus("Importing");
  ASSERT_TRUE(form.StatusBoxOpen());
  EXPECT_EQ(form.StatusBox()->CaptionPanel.Caption(), "Importing");
  EXPECT_EQ(form.StatusBox()->Caption(), "Status...");
  EXPECT_EQ(form.ModalLevel(), 1);
  EXPECT_EQ(form.Menu(), &form.WorkingMenu);
  EXPECT_EQ(MyScreen->Activity, acModal);
  EXPECT_FALSE(UserPanel->EntryEnabled());
  {
    // A dialog inside the long operation.
    TModalBracket dialog;
    EXPECT_EQ(form.ModalLevel(), 2);
    EXPECT_EQ(UserPanel->DisabledCount(), 2);
  }
  // The inner bracket closed: still busy, still the "Working..." menu.
  EXPECT_EQ(form.ModalLevel(), 1);
  EXPECT_EQ(MyScreen->Activity, acModal);
  EXPECT_EQ(form.Menu(), &form.WorkingMenu);
  EXPECT_FALSE(UserPanel->EntryEnabled());
  // Mouse events of the drawing area reach nobody meanwhile.
  form.CloseStatus();
  EXPECT_EQ(form.ModalLevel(), 0);
  EXPECT_EQ(MyScreen->Activity, acIdle);
  EXPECT_EQ(form.Menu(), &form.CadMenu);
  EXPECT_TRUE(UserPanel->EntryEnabled());
  // Closing again, or an unmatched end, changes nothing.
  form.CloseStatus();
  form.EndModal();
  EXPECT_EQ(form.ModalLevel(), 0);
  EXPECT_TRUE(UserPanel->EntryEnabled());
}

TEST_F(TWorkspaceTest, BracketsCloseWhenTheOperationFails) {
  TWorkspace& form = StartProgram();
  try {
    TStatusBracket status("Working hard");
    TModalBracket dialog;
    THourGlass wait;
    wait.Show("Please wait");
    // The hourglass reaches the platform, over every window.
    EXPECT_EQ(ScreenCursor(), crHourGlass);
    throw std::runtime_error("disk full");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(form.StatusBoxOpen());
  EXPECT_EQ(form.ModalLevel(), 0);
  EXPECT_EQ(MyScreen->Activity, acIdle);
  EXPECT_EQ(form.Menu(), &form.CadMenu);
  EXPECT_FALSE(HeadlessViewServices().PleaseWaitShown);
  EXPECT_EQ(HeadlessViewServices().Cursor, crDefault);
  EXPECT_EQ(ScreenCursor(), crDefault);
}

TEST_F(TWorkspaceTest, StatusUpdatesAreThrottledAndReportCancel) {
  TWorkspace& form = StartProgram();
  bool cancelled = false;
  EXPECT_FALSE(form.UpdateStatus("x", 10, cancelled));
  EXPECT_TRUE(cancelled);  // no box: the operation stops
  form.OpenStatus("Reading");
  HeadlessAdvanceTime(600);
  EXPECT_TRUE(form.UpdateStatus("Reading block 2", 150, cancelled));
  EXPECT_FALSE(cancelled);
  EXPECT_EQ(form.StatusBox()->StatusGauge.Progress(), 100);
  HeadlessAdvanceTime(100);
  EXPECT_FALSE(form.UpdateStatus("Reading block 3", 20, cancelled));
  EXPECT_EQ(form.StatusBox()->CaptionPanel.Caption(), "Reading block 2");
  // Cancel pressed while the operation lets messages run.
  HeadlessSetProcessMessagesHook([&form] {
    if (form.StatusBox() != nullptr) form.StatusBox()->CancelButton.Click();
  });
  HeadlessAdvanceTime(500);
  EXPECT_TRUE(form.UpdateStatus("Reading block 4", 30, cancelled));
  EXPECT_TRUE(cancelled);
  HeadlessSetProcessMessagesHook({});
  form.CloseStatus();
}

TEST_F(TWorkspaceTest, HintStripNamesTheUndoStepAndRoutWords) {
  TWorkspace& form = StartProgram();
  SetApplicationHint("[OO] Undo");
  EXPECT_EQ(form.HintPanel.Caption(), "[OO] Undo");
  DB->AddLine(0, 0, 25400000, 0);
  CadUndo->BeginOperation("Add Line");
  SetApplicationHint("");
  SetApplicationHint("[OO] Undo");
  EXPECT_EQ(form.HintPanel.Caption(), "[OO] Undo Add Line");
  SelectLayer(40);
  SetApplicationHint("[LI] Create Line, create again");
  EXPECT_EQ(form.HintPanel.Caption(), "[LI] Rout Line, Rout again");
}

TEST_F(TWorkspaceTest, UndoAndRedoRunThroughTheMenusAndButtons) {
  TWorkspace& form = StartProgram();
  EXPECT_FALSE(ButtonManager().IsEnabled(UndoCommand));
  const int32_t line = DB->AddLine(0, 0, 25400000, 25400000);
  CadUndo->BeginOperation("Add Line");
  ASSERT_GT(line, 0);
  // The Edit menu's drop-down enables the items from the journal.
  TMenuItem* edit = FindMenuItem(*form.Menu(), "&Edit");
  ASSERT_NE(edit, nullptr);
  edit->DropDown();
  EXPECT_TRUE(FindMenuItem(*form.Menu(), "&Edit|&UnDo")->Enabled());
  EXPECT_FALSE(FindMenuItem(*form.Menu(), "&Edit|Re&Do")->Enabled());
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Edit|&UnDo"));
  EXPECT_TRUE(SlotIsDeleted(line));
  EXPECT_FALSE(ButtonManager().IsEnabled(UndoCommand));
  EXPECT_TRUE(ButtonManager().IsEnabled(RedoCommand));
  EXPECT_FALSE(ButtonManager().IsDown(UndoCommand));
  std::string text;
  ECO->GetCurrentCommand(text);
  EXPECT_EQ(text, "UNDO");
  EXPECT_EQ(CurrentCommandText(), "UNDO");  // the error log's "Last command"
  // The Redo tool button.
  ASSERT_TRUE(ButtonManager().ButtonOf(RedoCommand)->Click());
  EXPECT_FALSE(SlotIsDeleted(line));
  EXPECT_TRUE(ButtonManager().IsEnabled(UndoCommand));
  // The Alt+Backspace shortcut.
  EXPECT_TRUE(form.Menu()->ClickShortCut("Alt+Backspace"));
  EXPECT_TRUE(SlotIsDeleted(line));
}

TEST_F(TWorkspaceTest, TypedKeyboardCodesRunTheirCommands) {
  TWorkspace& form = StartProgram();
  DB->AddLine(0, 0, 25400000, 0);
  CadUndo->BeginOperation("Add Line");
  form.KeyPress('o');
  form.KeyPress('o');
  EXPECT_EQ(UserPanel->Entry(), "oo");
  form.KeyDown(VK_RETURN);
  EXPECT_EQ(UserPanel->Entry(), "");
  std::string text;
  ECO->GetCurrentCommand(text);
  EXPECT_EQ(text, "UNDO");
  // Line waits for its first point: a text that is no point is refused.
  EXPECT_EQ(ECO->ActiveCommandNumber(), 59);
  form.KeyPress('q');
  form.KeyDown(VK_RETURN);
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Text, "<q> is illegal! Must be from -42.2733 to +42.2733");
  // With no command taking typed text an unknown code beeps: drill mode's
  // Inspect waits for a pick.
  form.KeyDown(VK_ESCAPE);
  SelectLayer(30);
  const size_t beeps = Beeps().size();
  form.KeyPress('q');
  form.KeyDown(VK_RETURN);
  EXPECT_EQ(Beeps().size(), beeps + 1);
  // While a dialog runs, typing is ignored.
  form.BeginModal();
  form.KeyPress('z');
  EXPECT_EQ(UserPanel->Entry(), "");
  form.EndModal();
}

TEST_F(TWorkspaceTest, NewClearsTheJobAndZoomsAll) {
  TWorkspace& form = StartProgram();
  DB->AddLine(0, 0, 25400000, 0);
  CadUndo->BeginOperation("Add Line");
  DatabaseModified = true;
  DisplayedLayerMask = 1;
  ActiveLayerMask = 1;
  bool asked = false;
  JobFileSaveQuery = [&asked] {
    asked = true;
    return true;
  };
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|&New"));
  EXPECT_TRUE(asked);
  EXPECT_FALSE(DatabaseModified);
  EXPECT_EQ(DisplayedLayerMask, 0xFFFFFFFFu);
  std::string name;
  EXPECT_FALSE(CadUndo->CanUndo(name));
  std::string command;
  ECO->GetCurrentCommand(command);
  EXPECT_EQ(command, "ZOOMEXTENTS");
  // Kept job: nothing cleared, but the caption is rebuilt.
  DatabaseModified = true;
  JobFileSaveQuery = [] { return false; };
  form.SetCaption("x");
  ClickMenu(*form.Menu(), "&File|&New");
  EXPECT_TRUE(DatabaseModified);
  EXPECT_EQ(form.Caption(), "KORVEX 6  Cad");
}

TEST_F(TWorkspaceTest, HelpSaysPlainlyThatTheHelpFileIsMissing) {
  TWorkspace& form = StartProgram();
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Help|&Contents"));
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Text,
            "Help is not available: the help file " + ExecutionPath() +
                "HELP/KORVEX6.HLP is not installed.");
}

// Animate makes the single-step timer play the layer on, one cut a tick; off,
// or with play ended, the timer stops.
TEST_F(TWorkspaceTest, AnimateStepsThePlayOnTheTimer) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {25400000, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({25400000, 25400000}, 0, NoZOffset);
  RTDB->AppendLine({0, 25400000}, 0, NoZOffset);
  RTDB->StartSingleStep();
  ASSERT_EQ(RTDB->SingleStepActive, 1);
  const int32_t first = RTDB->PlayCursor;
  HeadlessAdvanceTime(1000);
  EXPECT_EQ(RTDB->PlayCursor, first);  // no animate: the timer is off
  RTDB->ToggleAnimate();
  EXPECT_TRUE(form.SingleStepTimer.TimerEnabled());
  HeadlessAdvanceTime(500);
  EXPECT_GT(RTDB->PlayCursor, first);
  RTDB->EndSingleStep();
  EXPECT_FALSE(form.SingleStepTimer.TimerEnabled());
}

// The Filters dialog runs inside the window's modal bracket.
TEST_F(TWorkspaceTest, TheFiltersDialogRunsInsideTheModalBracket) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  int32_t level = -1;
  QueueModalScript("TSwapTablesDialog", [&](TForm& f) {
    level = form.ModalLevel();
    f.Close();
  });
  TMenuItem* filters = form.RoutMenu.FindItem("Filters1");
  ASSERT_NE(filters, nullptr);
  filters->Click();
  EXPECT_EQ(level, 1);
  EXPECT_EQ(form.ModalLevel(), 0);
}

// The statistics open in a text screen of their size, the path lengths in a
// scrolling window, however few lines they hold.
TEST_F(TWorkspaceTest, ReportsOpenInWindowsOfTheirKindAndSize) {
  TWorkspace& form = StartProgram();
  int32_t columns = 0, rows = 0;
  QueueModalScript("TGTWindow", [&](TForm& f) {
    auto& w = static_cast<TGTWindow&>(f);
    columns = w.Columns;
    rows = w.Rows;
    f.Close();
  });
  ViewServices().ShowReport("Drawing Statistics", {"a", "b"}, {false, 50, 13});
  EXPECT_EQ(columns, 50);
  EXPECT_EQ(rows, 13);
  QueueModalScript("TGTScrollWindow", [](TForm& f) { f.Close(); });
  ViewServices().ShowReport("Path Length Report", {"a", "b"}, {true, 22, 16});
  ASSERT_FALSE(ModalFormsShown().empty());
  EXPECT_EQ(ModalFormsShown().back(), "TGTScrollWindow");
  (void)form;
}

// Pack Database compacts the database of the mode, whichever it is.
TEST_F(TWorkspaceTest, PackDatabaseCompactsTheActiveDatabase) {
  TWorkspace& form = StartProgram();
  DB->AddLine(0, 0, 25400000, 0);
  CadUndo->BeginOperation("Add Line");
  // Nothing to pack: every index stays, and so does the undo history.
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|Pac&k Database"));
  std::string name;
  EXPECT_TRUE(CadUndo->CanUndo(name));
  DB->MarkDeleted(DB->AddLine(0, 0, 0, 25400000));
  ASSERT_EQ(CadEntityCount, 2);
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|Pac&k Database"));
  EXPECT_EQ(CadEntityCount, 1);
  EXPECT_FALSE(CadUndo->CanUndo(name));  // the indices it held are gone

  SelectLayer(30);
  EXPECT_EQ(ActiveDB, static_cast<TJobDatabase*>(DRDB));
  DRDB->AddHoleOnLayer(0, 0, 30, 1, true);
  DRDB->DeleteEntity(DRDB->AddHoleOnLayer(5, 5, 30, 1, true));
  ASSERT_EQ(DrillEntityCount, 2);
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|Pac&k Database"));
  EXPECT_EQ(DrillEntityCount, 1);
  EXPECT_EQ(CadEntityCount, 1);
}
