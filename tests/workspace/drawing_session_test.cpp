// A user drawing in the running main window: mouse events of the drawing
// area and typed text reach the command language through the window's
// event path; Text Add writes the stroke font; BRANCH answers the path
// follow's question.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "command/argument_command.h"
#include "command/user_panel.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/drill_handles.h"
#include "model/undo_journal.h"
#include "command/rubber_brain.h"
#include "model/entity_store.h"
#include "platform/headless/headless_menus.h"
#include "platform/keys.h"
#include "routpath/endpoint_grid.h"
#include "workspace_test_support.h"

namespace {

class TDrawingSessionTest : public TWorkspaceTest {
 protected:
  void SetUp() override {
    TWorkspaceTest::SetUp();
    ResetHeadlessDialogs();
  }
  void TearDown() override {
    FollowPickState = fpsIdle;
    ResetHeadlessDialogs();
    TWorkspaceTest::TearDown();
  }
  // A left click at a pixel of the drawing area; the world point it hit.
  TIntPoint ClickAt(TWorkspace& form, int x, int y) {
    form.PaintBox.MouseMove(0, x, y);
    form.PaintBox.MouseDown(mbLeft, 0, x, y);
    form.PaintBox.MouseUp(mbLeft, 0, x, y);
    return {MyScreen->MouseToWorldX(x), MyScreen->MouseToWorldY(y)};
  }
  static void TypeLine(TWorkspace& form, const std::string& text) {
    for (char c : text) form.KeyPress(c);
    form.KeyDown(VK_RETURN);
  }
  static int32_t LiveEntities() {
    int32_t n = 0;
    for (int32_t i = 1; i <= CadEntityCount; ++i)
      if (TEntitySlot* slot = DB->SlotAt(i); slot != nullptr && !SlotDeleted(slot->Flags)) ++n;
    return n;
  }
};

TEST_F(TDrawingSessionTest, ALineByClicksInTheDrawingAreaAndOneByTypedPoints) {
  TWorkspace& form = StartProgram();
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Edit|&Line"));
  EXPECT_EQ(UserPanel->PromptLine(3), "Select line start point > ");
  const TIntPoint a = ClickAt(form, 40, 50);
  const TIntPoint b = ClickAt(form, 200, 50);
  ASSERT_EQ(LiveEntities(), 1);
  auto* line = dynamic_cast<TCadLine*>(DB->EntityAt(1));
  ASSERT_NE(line, nullptr);
  EXPECT_EQ((TIntPoint{line->X1, line->Y1}), a);
  EXPECT_EQ((TIntPoint{line->X2, line->Y2}), b);
  // Between the first point and the second the band follows the pointer.
  ClickAt(form, 60, 60);
  form.PaintBox.MouseMove(0, 90, 80);
  EXPECT_TRUE(RubberBrain->HasBand());
  ClickAt(form, 90, 80);
  EXPECT_FALSE(RubberBrain->HasBand());
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Edit|&UnDo"));
  TypeLine(form, "0,0");
  TypeLine(form, "@1,1");
  EXPECT_EQ(LiveEntities(), 2);
  // Undo from the menu takes the typed line back, then the clicked one.
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Edit|&UnDo"));
  EXPECT_EQ(LiveEntities(), 1);
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Edit|&UnDo"));
  EXPECT_EQ(LiveEntities(), 0);
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Edit|Re&Do"));
  EXPECT_EQ(LiveEntities(), 1);
  // Escape ends the line being drawn; Line, CAD mode's own command, waits
  // again with its prompt.
  ClickAt(form, 20, 20);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(LiveEntities(), 1);
  EXPECT_EQ(ECO->ActiveCommandNumber(), 59);
  EXPECT_EQ(UserPanel->PromptLine(3), "Select line start point > ");
}

// Points typed on the command line finish the line from the keyboard: the
// window shows it at once, with no mouse move over the drawing to bring it.
TEST_F(TDrawingSessionTest, ALineOfTypedPointsIsShownAtOnce) {
  TWorkspace& form = StartProgram();
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Edit|&Line"));
  const int row = form.PaintBox.Height() / 2;
  auto inches = [](int32_t units) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", double(units) / 25400000.0);
    return std::string(text);
  };
  const std::string y = inches(MyScreen->MouseToWorldY(row));
  TypeLine(form, inches(MyScreen->MouseToWorldX(20)) + "," + y);
  TypeLine(form, inches(MyScreen->MouseToWorldX(form.PaintBox.Width() - 20)) + "," + y);
  ASSERT_EQ(LiveEntities(), 1);
  const int column = form.PaintBox.Width() / 3;
  bool shown = false;
  for (int r = row - 1; r <= row + 1; ++r)
    shown = shown || form.PaintBox.Canvas().GetPixel(column, r) != BackgroundColor;
  EXPECT_TRUE(shown);
}

// A click on a value of the prompt lines selects it for the next typed
// value, wherever the pointer moved over the drawing before.
TEST_F(TDrawingSessionTest, AClickOnAPanelValueSelectsIt) {
  TWorkspace& form = StartProgram();
  UserPanel->SetPromptLine(1, 1, "A~1R[0..10]RARA~ B~2R[0..10]XCXC~");
  ASSERT_EQ(UserPanel->Fields().size(), 2u);
  ASSERT_EQ(UserPanel->SelectedField(), 0);
  const TPanelField second = UserPanel->Fields()[1];
  const int cell = form.CommandPaintBox.Canvas().TextWidth("X");
  // The strip's lines are 16 pixels apart from 2 down, 4 in from the left.
  const int x = 4 + (second.Column - 1) * cell + cell / 2;
  const int y = 2 + 16 / 2;
  form.PaintBox.MouseMove(0, 300, 200);
  form.CommandPaintBox.MouseDown(mbLeft, 0, x, y);
  form.CommandPaintBox.MouseUp(mbLeft, 0, x, y);
  form.CommandPaintBox.Click();
  EXPECT_EQ(UserPanel->SelectedField(), 1);
  // The selected value is shown in reverse, the other one is not.
  TCanvas& strip = form.CommandPaintBox.Canvas();
  const TPanelField first = UserPanel->Fields()[0];
  EXPECT_EQ(strip.GetPixel(4 + (second.Column - 1) * cell + 1, 3), clNavy);
  EXPECT_NE(strip.GetPixel(4 + (first.Column - 1) * cell + 1, 3), clNavy);
}

TEST_F(TDrawingSessionTest, TextAddWritesTheStrokeFontAsLines) {
  TWorkspace& form = StartProgram();
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Edit|&Text"));
  TypeLine(form, "1,1");
  TypeLine(form, "0.2");
  TypeLine(form, "L");
  // "L" is two strokes.
  EXPECT_EQ(LiveEntities(), 2);
  TIntPoint min{INT32_MAX, INT32_MAX}, max{INT32_MIN, INT32_MIN};
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    auto* l = dynamic_cast<TCadLine*>(DB->EntityAt(i));
    ASSERT_NE(l, nullptr);
    for (const TIntPoint& p : {TIntPoint{l->X1, l->Y1}, TIntPoint{l->X2, l->Y2}}) {
      min = {std::min(min.X, p.X), std::min(min.Y, p.Y)};
      max = {std::max(max.X, p.X), std::max(max.Y, p.Y)};
    }
  }
  // Standing on the baseline at (1, 1), as high as asked.
  EXPECT_EQ(min.Y, 25400000);
  EXPECT_EQ(max.Y - min.Y, 5080000);
  EXPECT_GE(min.X, 25400000);
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Edit|&UnDo"));
  EXPECT_EQ(LiveEntities(), 0);
}

TEST_F(TDrawingSessionTest, DrillStepsAreCreatedAndDeletedOnTheHolesOfAWindow) {
  StartProgram();
  SelectLayer(35);
  ASSERT_EQ(ECO->Mode(), 0);
  const int32_t hole = DRDB->AddHole(25400000, 25400000, true);
  const int32_t outside = DRDB->AddHole(127000000, 0, true);
  ASSERT_NE(hole, 0);
  // The Edit Steps dialog is accepted as it comes.
  SetEditStepDialog([](TEditStepLists&) { return true; });
  auto window = [](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    for (const TIntPoint& p : {TIntPoint{x1, y1}, TIntPoint{x2, y2}}) Click(p.X, p.Y);
  };
  ASSERT_TRUE(ButtonManager().Press(18));
  window(0, 0, 50800000, 50800000);
  EXPECT_NE(DRDB->EntityAt(DrillEntityCount)->GetStepObj(), nullptr);
  EXPECT_EQ(DRDB->EntityAt(outside)->GetStepObj(), nullptr);
  ASSERT_TRUE(ButtonManager().Press(101));
  window(0, 0, 50800000, 50800000);
  EXPECT_EQ(DRDB->EntityAt(DrillEntityCount)->GetStepObj(), nullptr);
  SetEditStepDialog(nullptr);
  // In CAD mode the step commands do not start.
  SelectLayer(0);
  EXPECT_FALSE(ButtonManager().Press(18));
}

TEST_F(TDrawingSessionTest, RoutLinesAndHolesGoOnTheCurrentRoutLayer) {
  StartProgram();
  SelectLayer(40);
  ASSERT_EQ(ECO->Mode(), 1);
  const int32_t before = RoutEntityCount;
  ASSERT_TRUE(ButtonManager().Press(59));
  for (const TIntPoint& p : {TIntPoint{0, 0}, TIntPoint{25400000, 0}}) {
    TInputEvent e;
    e.Kind = ievMouseDown;
    e.Buttons = mbtLeft;
    e.WorldX = p.X;
    e.WorldY = p.Y;
    ECO->HandleEvent(e);
  }
  EXPECT_GT(RoutEntityCount, before);
  std::string name;
  ASSERT_TRUE(ActiveUndo->CanUndo(name));
  EXPECT_EQ(name, "Add Line");
}

TEST_F(TDrawingSessionTest, BranchPicksACadEntityOrStopsTheFollow) {
  TWorkspace& form = StartProgram();
  DB->AddLine(0, 0, 25400000, 0);
  FollowPickState = fpsWaitingForPick;
  EXPECT_TRUE(ButtonManager().Press(37));
  TypeLine(form, "0.5,0");  // a pick is made with the mouse
  EXPECT_EQ(FollowPickState, fpsWaitingForPick);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(FollowPickState, fpsStopped);

  FollowPickState = fpsWaitingForPick;
  ButtonManager().Press(37);
  TInputEvent pick;
  pick.Kind = ievMouseDown;
  pick.Buttons = mbtLeft;
  pick.WorldX = 12700000;
  pick.WorldY = 0;
  ECO->HandleEvent(pick);
  EXPECT_EQ(FollowPickState, fpsPicked);
  EXPECT_EQ(FollowPickIndex, 1);
  EXPECT_EQ(FollowPickEntity, DB->EntityAt(1));
}

TEST_F(TDrawingSessionTest, InspectFromTheMenuEditsTheClickedLineByTypedFields) {
  TWorkspace& form = StartProgram();
  const TIntPoint a{MyScreen->MouseToWorldX(40), MyScreen->MouseToWorldY(50)};
  const TIntPoint b{MyScreen->MouseToWorldX(200), MyScreen->MouseToWorldY(50)};
  DB->AddLine(a.X, a.Y, b.X, b.Y);
  ActiveUndo->BeginOperation("Line");
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Check|&Inspect"));
  ClickAt(form, 120, 50);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 6), "Line X");
  // The first field takes the typed value (the line grows an inch to the
  // left); Escape with text typed only clears it.
  TypeLine(form, std::to_string(a.X / 25400000.0) + "-1");
  for (char c : std::string("77")) form.KeyPress(c);
  form.KeyDown(VK_ESCAPE);
  EXPECT_TRUE(ECO->Inspecting());
  EXPECT_TRUE(UserPanel->Entry().empty());
  // A refused value is not a save.
  TypeLine(form, "1e9");
  EXPECT_TRUE(ECO->Inspecting());
  // Enter with nothing typed saves: one new line.
  form.KeyDown(VK_RETURN);
  EXPECT_FALSE(ECO->Inspecting());
  ASSERT_EQ(LiveEntities(), 1);
  auto* line = dynamic_cast<TCadLine*>(DB->EntityAt(2));  // the old one stays at 1, deleted
  ASSERT_NE(line, nullptr);
  EXPECT_NEAR(line->X1, a.X - 25400000, 100);
  EXPECT_EQ(line->Y1, a.Y);
  EXPECT_EQ(line->X2, b.X);
  std::string name;
  ASSERT_TRUE(ActiveUndo->CanUndo(name));
  EXPECT_EQ(name, "Hand Edit");
  // Delete in an edit deletes; Escape with nothing typed leaves everything.
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Check|&Inspect"));
  ClickAt(form, 120, 50);
  ASSERT_TRUE(ECO->Inspecting());
  form.KeyDown(VK_ESCAPE);
  EXPECT_FALSE(ECO->Inspecting());
  EXPECT_EQ(LiveEntities(), 1);
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Check|&Inspect"));
  ClickAt(form, 120, 50);
  form.KeyDown(VK_DELETE);
  EXPECT_EQ(LiveEntities(), 0);
  EXPECT_TRUE(UserPanel->EntryEnabled());
}

}  // namespace
