// Scripted sessions of the drawing and editing commands: the events a user
// makes (tool presses, clicks in the drawing, typed text) go through ECO,
// and the drawing is compared before and after, and after Undo and Redo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "cleanup_test_support.h"
#include "command/argument_command.h"
#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/user_panel.h"
#include "edit/edit_commands.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/entity_store.h"
#include "model/step_repeat.h"
#include "model/undo_journal.h"
#include "platform/headless/headless_dialogs.h"

namespace {

using V = std::vector<std::string>;
constexpr int32_t In = 25400000;

class TEditSessionTest : public TCleanupTest {
 protected:
  void SetUp() override {
    TCleanupTest::SetUp();
    ECO = new TCommandInterpreter();
    UserPanel = new TUserPanel();
    ButtonManagerObject = new TButtonManager();
    ButtonManagerObject->AddButtons(nullptr);
    ButtonManagerObject->AddCommandHints();
    DefineEditCommands();
    CommandServices.Aperture = [] { return int32_t(254000); };
    FilletRadius = ChamferDistanceA = ChamferDistanceB = 0.0;
  }
  void TearDown() override {
    delete ECO;
    ECO = nullptr;
    delete ButtonManagerObject;
    ButtonManagerObject = nullptr;
    delete UserPanel;
    UserPanel = nullptr;
    CommandServices.Aperture = nullptr;
    TCleanupTest::TearDown();
  }
  static void Press(int32_t command) { ButtonManager().Press(command); }
  static void Click(int32_t x, int32_t y, uint8_t buttons = mbtLeft) {
    TInputEvent e;
    e.Kind = ievMouseDown;
    e.Buttons = buttons;
    e.WorldX = x;
    e.WorldY = y;
    ECO->HandleEvent(e);
  }
  static bool Type(const std::string& text) { return ECO->EnterText(text); }
  static void Undo() { Press(UndoCommand); }
  static void Redo() { Press(RedoCommand); }
  static std::string LastBox() {
    return ShownMessageBoxes().empty() ? "" : ShownMessageBoxes().back().Text;
  }
  // Undo gives the drawing before, Redo the drawing after (any order).
  void ExpectOneStep(const V& before, const V& after) {
    EXPECT_EQ(Drawing(), Sorted(after));
    Undo();
    EXPECT_EQ(Drawing(), Sorted(before));
    Redo();
    EXPECT_EQ(Drawing(), Sorted(after));
  }
  static V Sorted(V v) {
    std::sort(v.begin(), v.end());
    return v;
  }
};

// ---- Drawing by clicks, typed points and snaps -----------------------------------------

TEST_F(TEditSessionTest, LineByTwoClicksIsOneUndoStepAndTheCommandGoesOn) {
  Press(59);
  EXPECT_EQ(UserPanel->PromptLine(1), "Create Line");
  EXPECT_EQ(UserPanel->PromptLine(3), "Select line start point > ");
  Click(0, 0);
  EXPECT_EQ(UserPanel->PromptLine(3), "Select line end point > ");
  Click(In, 0);
  std::string text;
  ECO->GetCurrentCommand(text);
  EXPECT_EQ(text, "ADDLINE(0,0,25400000,0)");
  ExpectOneStep({}, {Line(0, 0, In, 0)});
  // Line starts again: a second line is a second step.
  EXPECT_EQ(ECO->ActiveCommandNumber(), 59);
  Click(0, In);
  Click(In, In);
  EXPECT_EQ(Drawing(), (V{Line(0, 0, In, 0), Line(0, In, In, In)}));
  Undo();
  EXPECT_EQ(Drawing(), V{Line(0, 0, In, 0)});
}

TEST_F(TEditSessionTest, TypedCoordinatesAbsoluteRelativeAndAsExpressions) {
  Press(59);
  EXPECT_TRUE(Type("1,2"));
  EXPECT_TRUE(Type("@1+0.5,(3-1)/4"));
  EXPECT_EQ(Drawing(), V{Line(In, 2 * In, In * 5 / 2, In * 5 / 2)});
  // Millimetres when the display units are.
  Metric = true;
  UnitsPerDisplayUnit = MetricUnitsPerDisplayUnit;
  Type("0,0");
  Type("25.4,0");
  EXPECT_EQ(Drawing().front(), Line(0, 0, In, 0));
}

TEST_F(TEditSessionTest, ATypedPointThatDoesNotReadIsRefusedNeverTakenAsZero) {
  Press(59);
  for (const char* bad : {"1,,2", "abc", "1+,2", "5", "1,(2", "2/0,1", "99999,0"}) {
    SCOPED_TRACE(bad);
    EXPECT_TRUE(Type(bad));
    EXPECT_EQ(LastBox(), "<" + std::string(bad) + "> is illegal! Must be from -42.2733 to +42.2733");
  }
  // Nothing was taken: the next two points make the line.
  EXPECT_EQ(UserPanel->PromptLine(3), "Select line start point > ");
  Type("1,1");
  Type("2,1");
  EXPECT_EQ(Drawing(), V{Line(In, In, 2 * In, In)});
}

TEST_F(TEditSessionTest, SnapsGiveTheWaitingPointIntersectionMidpointAndEnd) {
  DB->AddLine(0, 0, 2 * In, 2 * In);
  DB->AddLine(0, 2 * In, 2 * In, 0);
  ActiveUndo->BeginOperation("Lines");
  const V before = Drawing();
  Press(59);
  Press(104);
  EXPECT_EQ(ECO->QueuedCommands(), (V{"ADDLINE(CLICK,CLICK)", "POSINTER(PICK,PICK)"}));
  Click(In / 2, In / 2);
  Click(In / 2, In * 3 / 2);
  // The intersection became the line's first point.
  EXPECT_EQ(ECO->QueuedCommands(), V{"ADDLINE(25400000,25400000,CLICK)"});
  Press(106);  // the midpoint of the first line: the same point
  Click(In * 3 / 2, In * 3 / 2);
  // A line of no length is stored as a point.
  V after = before;
  after.push_back("P 25400000 25400000");
  EXPECT_EQ(Drawing(), Sorted(after));
  Press(100);  // the closest end of the second line
  Click(2 * In - 1000, 1000);
  Click(0, 0);
  after.push_back(Line(0, 0, 2 * In, 0));
  EXPECT_EQ(Drawing(), Sorted(after));
  // A snap pressed while no command waits for a point beeps.
  ECO->CancelCommand();
  const size_t beeps = Beeps().size();
  EXPECT_FALSE(ButtonManager().Press(104));
  EXPECT_EQ(Beeps().size(), beeps + 1);
}

TEST_F(TEditSessionTest, TangentAndPerpendicularSnapsFromThePointBefore) {
  DB->AddCircle(0, 0, In);
  DB->AddLine(-4 * In, -2 * In, 4 * In, -2 * In);
  ActiveUndo->BeginOperation("Shapes");
  Press(59);
  Click(3 * In, 0);
  Press(110);
  Click(0, In);  // near the upper tangent point
  // From (3, 0) the tangent touches the unit circle at (1/3, sqrt(8)/3).
  const V drawn = Drawing();
  const std::string expected = Line(SaturatingRound(In / 3.0), SaturatingRound(std::sqrt(8.0) / 3 * In), 3 * In, 0);
  EXPECT_NE(std::find(drawn.begin(), drawn.end(), expected), drawn.end())
      << testing::PrintToString(drawn);
  // Without a point before it the tangent waits for the next point.
  Press(110);
  Click(0, In);
  ASSERT_FALSE(ECO->QueuedCommands().empty());
  EXPECT_NE(ECO->QueuedCommands().front().find("TNCIR[0.0,0.0,25400000.0,0.0,25400000.0]"), std::string::npos)
      << ECO->QueuedCommands().front();
  ECO->BackUpOneStep();
  Click(In, 2 * In);
  Press(108);
  Click(2 * In, -2 * In);
  const V withFoot = Drawing();
  EXPECT_NE(std::find(withFoot.begin(), withFoot.end(), Line(In, -2 * In, In, 2 * In)), withFoot.end())
      << testing::PrintToString(withFoot);
}

// The newest line of the drawing.
TCadLine* NewestLine() {
  for (int32_t i = CadEntityCount; i >= 1; --i)
    if (TCadEntity* e = DB->EntityAt(i); e != nullptr && e->GetType() == etCadLine)
      return static_cast<TCadLine*>(e);
  return nullptr;
}

double DistanceToLine(const TCadLine& l, double x, double y) {
  const double dx = double(l.X2) - l.X1, dy = double(l.Y2) - l.Y1;
  return std::fabs(dx * (y - l.Y1) - dy * (x - l.X1)) / std::hypot(dx, dy);
}

TEST_F(TEditSessionTest, TangentPerpendicularAndParallelAsTheFirstPointWaitForTheNext) {
  DB->AddCircle(0, 0, In);
  DB->AddCircle(5 * In, 0, In / 2);
  DB->AddLine(-4 * In, -3 * In, 4 * In, -3 * In);
  ActiveUndo->BeginOperation("Shapes");
  Press(59);

  // Tangent to two circles: the line touches both, on the side picked.
  Press(110);
  Click(0, In);
  Press(110);
  Click(5 * In, In / 2);
  TCadLine* t = NewestLine();
  ASSERT_NE(t, nullptr);
  EXPECT_NEAR(DistanceToLine(*t, 0, 0), In, 1.0);
  EXPECT_NEAR(DistanceToLine(*t, 5 * In, 0), In / 2, 1.0);
  EXPECT_GT(t->Y1, 0);
  EXPECT_GT(t->Y2, 0);
  EXPECT_NEAR(std::hypot(double(t->X1), double(t->Y1)), In, 1.0) << "an end on the first circle";
  // Picked below, the lower outer tangent.
  Press(110);
  Click(0, -In);
  Press(110);
  Click(5 * In, -In / 2);
  t = NewestLine();
  EXPECT_NEAR(DistanceToLine(*t, 0, 0), In, 1.0);
  EXPECT_NEAR(DistanceToLine(*t, 5 * In, 0), In / 2, 1.0);
  EXPECT_LT(t->Y1, 0);

  // Tangent first, then a click: the tangent from the clicked point.
  Press(110);
  Click(0, In);
  Click(3 * In, 0);
  t = NewestLine();
  EXPECT_EQ(Line(t->X1, t->Y1, t->X2, t->Y2),
            Line(SaturatingRound(In / 3.0), SaturatingRound(std::sqrt(8.0) / 3 * In), 3 * In, 0));

  // Perpendicular first: the line runs from its foot on the picked line to
  // the next point, at 90 degrees.
  Press(108);
  Click(In, -3 * In);
  Click(2 * In, 2 * In);
  t = NewestLine();
  EXPECT_EQ(Line(t->X1, t->Y1, t->X2, t->Y2), Line(2 * In, -3 * In, 2 * In, 2 * In));
  // Onto a circle: radially.
  Press(108);
  Click(In, 0);
  Click(3 * In, 0);
  t = NewestLine();
  EXPECT_EQ(Line(t->X1, t->Y1, t->X2, t->Y2), Line(In, 0, 3 * In, 0));

  // Parallel first at a typed distance: the line lies on the parallel and
  // ends at the next point's foot on it.
  Press(105);
  Click(0, -3 * In + In / 100);  // the line, picked on its upper side
  Type("0.5");
  Click(3 * In, 7 * In);
  t = NewestLine();
  EXPECT_EQ(t->Y1, -3 * In + In / 2);
  EXPECT_EQ(t->Y2, -3 * In + In / 2);
  EXPECT_EQ(std::max(t->X1, t->X2), 3 * In);

  // Tangent, then a parallel: the parallel to the line that touches the circle.
  Press(110);
  Click(0, -In);
  Press(105);
  Click(2 * In, -3 * In);
  Type("1");
  t = NewestLine();
  EXPECT_EQ(t->Y1, -In);
  EXPECT_EQ(t->Y2, -In);
  EXPECT_NEAR(DistanceToLine(*t, 0, 0), In, 1.0);
  ECO->CancelCommand();
}

TEST_F(TEditSessionTest, BackUpOneStepRightClickAndCancel) {
  const TPromptBuffer before{"one", "two", "three"};
  UserPanel->RestorePrompts(before);
  Press(59);
  Click(0, 0);
  Press(106);
  ECO->BackUpOneStep();  // the snap goes
  EXPECT_EQ(ECO->QueuedCommands(), V{"ADDLINE(0,0,CLICK)"});
  ECO->BackUpOneStep();  // then the first point
  EXPECT_EQ(ECO->QueuedCommands(), V{"ADDLINE(CLICK,CLICK)"});
  Click(In, In);
  Click(0, 0, mbtRight);  // right: back one step
  Click(0, 0, mbtRight);  // nothing to take back: the command ends
  EXPECT_EQ(ECO->ActiveCommandNumber(), 0);
  EXPECT_EQ(UserPanel->PromptLine(1), "one");
  // Cancel (command event 1) mid-command leaves nothing behind.
  Press(91);
  Click(0, 0);
  TInputEvent cancel = CommandEvent(cmdCancel);
  ECO->HandleEvent(cancel);
  EXPECT_EQ(ECO->ActiveCommandNumber(), 0);
  EXPECT_TRUE(Drawing().empty());
  EXPECT_EQ(UserPanel->PromptLine(3), "three");
}

TEST_F(TEditSessionTest, RectangleArcsCircleAndPoint) {
  Press(91);
  Click(0, 0);
  Click(2 * In, In);
  ExpectOneStep({}, {Line(0, 0, 2 * In, 0), Line(0, 0, 0, In), Line(0, In, 2 * In, In),
                     Line(2 * In, 0, 2 * In, In)});
  ECO->CancelCommand();
  DB->Clear();
  Press(21);
  Click(0, 0);
  Click(0, In);
  Press(10);  // through three points of the unit circle about (5, 0)
  Click(6 * In, 0);
  Click(5 * In, In);
  Click(4 * In, 0);
  Press(9);  // 2-point arc: start, end, centre; the end is brought onto the circle
  Click(In, 5 * In);
  Click(0, 7 * In);
  Click(0, 5 * In);
  Press(86);
  Click(7, 7);
  EXPECT_EQ(Drawing(), (V{Arc(6 * In, 0, 4 * In, 0, 5 * In, 0), Arc(In, 5 * In, 0, 6 * In, 0, 5 * In),
                          Circle(0, 0, In), "P 7 7"}));
}

// ---- Modify ---------------------------------------------------------------------------

TEST_F(TEditSessionTest, FilletTwoLinesWithTheTypedRadius) {
  DB->AddLine(0, 0, 2 * In, 0);
  DB->AddLine(0, 0, 0, 2 * In);
  ActiveUndo->BeginOperation("Lines");
  const V before = Drawing();
  Press(42);
  Type("0.5");
  EXPECT_DOUBLE_EQ(FilletRadius, In / 2.0);
  Press(40);
  Click(3 * In / 2, 0);
  Click(0, 3 * In / 2);
  ExpectOneStep(before, {Arc(0, In / 2, In / 2, 0, In / 2, In / 2), Line(0, In / 2, 0, 2 * In),
                         Line(In / 2, 0, 2 * In, 0)});
  // A radius out of bounds is refused and kept.
  Press(42);
  Type("-1");
  EXPECT_EQ(LastBox(), "<-1> is illegal! Must be from 0.0 to 1000.0");
  EXPECT_DOUBLE_EQ(FilletRadius, In / 2.0);
}

TEST_F(TEditSessionTest, ChamferAndJoin) {
  DB->AddLine(0, 0, 2 * In, 0);
  DB->AddLine(0, 0, 0, 2 * In);
  ActiveUndo->BeginOperation("Lines");
  const V before = Drawing();
  Press(12);
  Press(11);  // asked while the first waits
  Type("0.25");
  Type("0.5");
  EXPECT_DOUBLE_EQ(ChamferDistanceB, In / 4.0);
  EXPECT_DOUBLE_EQ(ChamferDistanceA, In / 2.0);
  Press(15);
  Click(In, 0);
  Click(0, In);
  ExpectOneStep(before, {Line(0, In / 4, 0, 2 * In), Line(0, In / 4, In / 2, 0), Line(In / 2, 0, 2 * In, 0)});
  Undo();
  // Join: two lines apart meet at their corner.
  DB->Clear();
  DB->AddLine(In, 0, 2 * In, 0);
  DB->AddLine(0, In, 0, 2 * In);
  ActiveUndo->BeginOperation("Lines");
  Press(54);
  Click(3 * In / 2, 0);
  Click(0, 3 * In / 2);
  EXPECT_EQ(Drawing(), (V{Line(0, 0, 0, 2 * In), Line(0, 0, 2 * In, 0)}));
}

TEST_F(TEditSessionTest, TrimALineAtAnotherAndExtendOneToIt) {
  DB->AddLine(In, -In, In, In);       // the boundary
  DB->AddLine(0, 0, 3 * In, 0);       // crosses it
  DB->AddLine(0, In / 2, In / 2, In / 2);  // stops short of it
  ActiveUndo->BeginOperation("Lines");
  const V before = Drawing();
  Press(94);
  Click(In, In / 4);
  Click(In / 2, 0);  // the part to keep
  ExpectOneStep(before, {Line(0, 0, In, 0), Line(0, In / 2, In / 2, In / 2), Line(In, -In, In, In)});
  Click(In, -In / 4);
  Click(In / 4, In / 2);
  EXPECT_EQ(Drawing(), (V{Line(0, 0, In, 0), Line(0, In / 2, In, In / 2), Line(In, -In, In, In)}));
  // Picking beside everything beeps and waits.
  const size_t beeps = Beeps().size();
  Click(50 * In, 50 * In);
  EXPECT_EQ(Beeps().size(), beeps + 1);
}

TEST_F(TEditSessionTest, BreakTakesThePartBetweenTwoPointsOut) {
  DB->AddLine(0, 0, 4 * In, 0);
  ActiveUndo->BeginOperation("Line");
  Press(75);
  Click(2 * In, 0);
  Click(In, 0);
  Click(3 * In, 0);
  ExpectOneStep({Line(0, 0, 4 * In, 0)}, {Line(0, 0, In, 0), Line(3 * In, 0, 4 * In, 0)});
}

// ---- Window edits -----------------------------------------------------------------------

TEST_F(TEditSessionTest, WindowMoveCopyEraseAndRotate) {
  DB->AddLine(0, 0, In, 0);
  DB->AddCircle(In / 2, In / 2, In / 4);
  DB->AddLine(5 * In, 5 * In, 6 * In, 5 * In);  // outside the window
  ActiveUndo->BeginOperation("Shapes");
  const V before = Drawing();
  Press(130);
  Click(-In / 10, -In / 10);
  Click(In + In / 10, In + In / 10);
  Click(0, 0);
  Click(2 * In, 0);
  const V moved{Circle(5 * In / 2, In / 2, In / 4), Line(2 * In, 0, 3 * In, 0), Line(5 * In, 5 * In, 6 * In, 5 * In)};
  ExpectOneStep(before, moved);
  EXPECT_EQ(ECO->ActiveCommandNumber(), 0);  // a window edit runs once

  Press(126);  // copy with typed points
  Type("1.9,-0.1");
  Type("3.1,1.1");
  Type("2,0");
  Type("@0,-2");
  EXPECT_EQ(Drawing().size(), 5u);
  Undo();
  EXPECT_EQ(Drawing(), Sorted(moved));

  Press(95);  // rotate a quarter turn about (2, 0)
  Click(19 * In / 10, -In / 10);
  Click(31 * In / 10, In / 10);
  Click(2 * In, 0);
  Type("90");
  EXPECT_EQ(Drawing(), Sorted({Circle(5 * In / 2, In / 2, In / 4), Line(2 * In, 0, 2 * In, In),
                               Line(5 * In, 5 * In, 6 * In, 5 * In)}));
  Press(127);
  Click(4 * In, 4 * In);
  Click(7 * In, 6 * In);
  EXPECT_EQ(Drawing().size(), 2u);
  Undo();
  EXPECT_EQ(Drawing().size(), 3u);
}

TEST_F(TEditSessionTest, MirrorScaleAndMatrixCopy) {
  DB->AddLine(In, 0, 2 * In, 0);
  ActiveUndo->BeginOperation("Line");
  Press(129);  // mirrored copy across the Y axis
  Click(0, -In);
  Click(3 * In, In);
  Click(0, 0);
  Click(0, In);
  EXPECT_EQ(Drawing(), (V{Line(-2 * In, 0, -In, 0), Line(In, 0, 2 * In, 0)}));
  Undo();
  Press(111);  // doubled about its start
  Click(0, -In);
  Click(3 * In, In);
  Click(In, 0);
  Type("2");
  EXPECT_EQ(Drawing(), V{Line(In, 0, 3 * In, 0)});
  Undo();
  Press(63);  // two columns, three rows
  Click(0, -In);
  Click(3 * In, In);
  Type("2");
  Type("3");
  Type("5");
  Type("1");
  EXPECT_EQ(Drawing().size(), 6u);
  Undo();
  EXPECT_EQ(Drawing(), V{Line(In, 0, 2 * In, 0)});
}

TEST_F(TEditSessionTest, StretchFlipRadialCopyAndDeleteOutside) {
  DB->AddLine(0, 0, 2 * In, 0);
  DB->AddCircle(2 * In, In, In / 4);
  ActiveUndo->BeginOperation("Shapes");
  const V before = Drawing();
  Press(132);  // only the line's right end and the circle lie in the window
  Click(3 * In / 2, -In / 2);
  Click(5 * In / 2, 3 * In / 2);
  Click(2 * In, 0);
  Click(3 * In, 0);
  ExpectOneStep(before, {Circle(3 * In, In, In / 4), Line(0, 0, 3 * In, 0)});
  Undo();

  Press(128);  // flipped left to right about the window's middle (x = 1.5)
  Click(0, -In);
  Click(3 * In, In);
  EXPECT_EQ(Drawing(), Sorted({Line(In, 0, 3 * In, 0), Circle(2 * In, In, In / 4)}));
  Undo();
  DB->Clear();
  DB->AddPoint(In, 0);
  DB->AddLine(5 * In, 5 * In, 6 * In, 5 * In);
  ActiveUndo->BeginOperation("Shapes");
  Press(89);  // three copies a quarter turn apart about the origin
  Click(In / 2, -In / 2);
  Click(3 * In / 2, In / 2);
  Click(0, 0);
  Type("3");
  Type("90");
  EXPECT_EQ(Drawing(), Sorted({"P 0 -25400000", "P -25400000 0", "P 0 25400000", "P 25400000 0",
                               Line(5 * In, 5 * In, 6 * In, 5 * In)}));
  Undo();
  Press(131);  // everything wholly outside the window goes
  Click(4 * In, 4 * In);
  Click(7 * In, 6 * In);
  ExpectOneStep({"P 25400000 0", Line(5 * In, 5 * In, 6 * In, 5 * In)},
                {Line(5 * In, 5 * In, 6 * In, 5 * In)});
}

TEST_F(TEditSessionTest, ParallelSnapLaysTheTypedDistanceOffTowardsThePick) {
  DB->AddLine(0, 0, 4 * In, 0);
  ActiveUndo->BeginOperation("Line");
  Press(86);
  Press(105);
  Click(In, 1000);
  Type("0.5");
  EXPECT_EQ(Drawing(), Sorted({"P 25400000 12700000", Line(0, 0, 4 * In, 0)}));
  Press(105);
  Click(3 * In, -1000);
  Type("0.25");
  const V drawn = Drawing();
  EXPECT_NE(std::find(drawn.begin(), drawn.end(), "P 76200000 -6350000"), drawn.end());
}

TEST_F(TEditSessionTest, TestPathReportsAClosedOutline) {
  Press(91);
  Click(0, 0);
  Click(2 * In, In);
  ECO->CancelCommand();
  const V before = Drawing();
  Press(119);
  Click(In, 0);
  EXPECT_EQ(LastBox(), "Linked closed path...");
  EXPECT_EQ(Drawing(), before);  // testing changes nothing
}

TEST_F(TEditSessionTest, OrthoAndGridShapeClickedPoints) {
  Press(80);
  EXPECT_TRUE(ECO->Ortho);
  Press(59);
  Click(0, 0);
  Click(2 * In, In / 10);  // nearly horizontal: made horizontal
  EXPECT_EQ(Drawing(), V{Line(0, 0, 2 * In, 0)});
  ECO->CancelCommand();
  Press(74);
  Type("45");
  Press(59);
  Click(0, 0);
  Click(2 * In, 2 * In + 1000);
  EXPECT_EQ(Drawing().back(), Line(0, 0, 2 * In + 500, 2 * In + 500));
  ECO->CancelCommand();
  Press(80);
  EXPECT_FALSE(ECO->Ortho);
  SnapToGrid = true;
  CommandServices.GridStep = [] { return double(In) / 10; };
  Press(86);
  Click(In / 10 + 1000, In / 5 - 999);
  EXPECT_EQ(Drawing().back(), "P 2540000 5080000");
  SnapToGrid = false;
  CommandServices.GridStep = nullptr;
}

}  // namespace

namespace {
// Auto Step & Repeat asks for its settings first: a cancelled dialog starts
// no command, a confirmed one goes on to the picking.
TEST_F(TEditSessionTest, AutoStepAndRepeatRunsItsDialogBeforeThePicking) {
  int shown = 0;
  bool answer = false;
  SetStepRepeatDialog([&] {
    ++shown;
    return answer;
  });
  ECO->EnterDrillMode();
  Press(109);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(ECO->ActiveCommandNumber(), 0);
  answer = true;
  Press(109);
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(ECO->ActiveCommandNumber(), 109);
  SetStepRepeatDialog(nullptr);
  ECO->CancelCommand();
}
}  // namespace
