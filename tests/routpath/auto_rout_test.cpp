// Automatic rout of closed CAD profiles into the current rout layer: the cut
// direction for each compensation side, the cut-in and cut-out of each
// style, feeds, circles, the pick command, and a failed generation taking
// back everything it added.
#include "routpath/auto_rout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "command/argument_command.h"
#include "command/command_interpreter.h"
#include "command/user_panel.h"
#include "foundation/settings.h"
#include "model/rout_shadow.h"
#include "routpath/cutter_compensator.h"
#include "routpath/path_selection.h"
#include "rout_generation_fixture.h"

namespace {

using rout_generation::Inch;

struct TCut {
  uint8_t Type;
  TIntPoint P;
  uint16_t Feed = 0;
};

// The shared rout generation objects, with the cut feeds read as well and
// the picked path kept for the command under test.
class AutoRoutTest : public rout_generation::TRoutGenerationTest {
 protected:
  void TearDown() override {
    FreeObjectList<TRootEntityHandle>(Path);
    Path = nullptr;
    TRoutGenerationTest::TearDown();
  }

  // Routs the profile of the CAD entities; the handle list stays with the
  // fixture until the next call or the end of the test.
  bool Rout(const std::vector<int32_t>& indices, bool inside, bool linked = true,
            bool group = false) {
    FreeObjectList<TRootEntityHandle>(Path);
    Path = Handles(indices);
    bool suppress = false;
    return AutoRoutPath(*RTDB, Path, inside, linked, group, suppress);
  }

  // The layer in cut order, with the feeds.
  static std::vector<TCut> Cuts() {
    std::vector<TCut> out;
    for (int32_t p = 1; p <= Seq->Count(40); ++p) {
      const int32_t h = Seq->HandleAt(40, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      const TEntitySlot* slot = RTDB->SlotAt(h);
      if (!e || !slot || SlotDeleted(slot->Flags)) continue;
      TCut c{e->GetType(), {e->X, e->Y}};
      if (c.Type >= 6 && c.Type <= 8) c.Feed = e->GetFeedRate();
      out.push_back(c);
    }
    return out;
  }
  // Twice the signed area swept by the cut moves (lines only).
  static double CutArea2(const std::vector<TCut>& cuts) {
    double sum = 0;
    for (std::size_t i = 1; i < cuts.size(); ++i)
      sum += double(cuts[i - 1].P.X) * cuts[i].P.Y - double(cuts[i].P.X) * cuts[i - 1].P.Y;
    return sum;
  }
  static std::string LastBox() {
    const auto& boxes = ShownMessageBoxes();
    return boxes.empty() ? std::string() : boxes.back().Text;
  }

  TRootEntityHandle* Path = nullptr;
};

}  // namespace

TEST_F(AutoRoutTest, CutDirectionFollowsTheSideAndTheCompensation) {
  RTDB->AutoRout.AutoRoutStyle = 0;  // corner
  struct TCase {
    bool Inside;
    uint8_t Comp;
    bool CounterClockwise;
  };
  for (const TCase& c : {TCase{false, 2, true}, TCase{false, 1, false}, TCase{true, 2, false},
                         TCase{true, 1, true}}) {
    SCOPED_TRACE(std::to_string(c.Inside) + " comp " + std::to_string(c.Comp));
    delete Seq;
    Seq = new TSequenceStore();
    RTDB->PathState[40] = {};
    RTDB->AutoRoutCompensation = c.Comp;
    const std::vector<int32_t> sides = Rect(0, 0, 4 * Inch, 2 * Inch);
    ASSERT_TRUE(Rout(sides, c.Inside));
    EXPECT_EQ(Path, nullptr);  // the list is freed
    const std::vector<TCut> cuts = Cuts();
    ASSERT_GE(cuts.size(), 5u);
    EXPECT_EQ(cuts[0].Type, 5);
    EXPECT_EQ(CutArea2(cuts) > 0, c.CounterClockwise);
  }
  // One undo step per rout.
  std::string name;
  EXPECT_TRUE(RoutUndo->CanUndo(name));
  EXPECT_EQ(name, "auto rout inside");
}

TEST_F(AutoRoutTest, EitherOrientationOfAnOutlineWithArcsRoutsOutsideCounterClockwise) {
  // A board outline with a rounded corner, drawn both ways; the profile list
  // follows the drawing order.
  const int32_t w = 4 * Inch, h = 3 * Inch, r = Inch / 2;
  for (bool reversed : {false, true}) {
    SCOPED_TRACE(reversed ? "drawn clockwise" : "drawn counter-clockwise");
    std::vector<TProfileEntity> profile;
    auto line = [&](TIntPoint a, TIntPoint b) {
      TProfileEntity e;
      e.Type = 2;
      e.P1 = a;
      e.P2 = b;
      profile.push_back(e);
    };
    line({0, 0}, {w, 0});
    line({w, 0}, {w, h - r});
    TProfileEntity arc;
    arc.Type = 3;
    arc.P1 = {w, h - r};
    arc.P2 = {w - r, h};
    arc.Centre = {w - r, h - r};
    profile.push_back(arc);
    line({w - r, h}, {0, h});
    line({0, h}, {0, 0});
    if (reversed) std::reverse(profile.begin(), profile.end());
    RTDB->AutoRout.Inside = 0;
    RTDB->AutoRoutCompensation = 2;
    // Walked from the first entity's first point, the clockwise drawing runs
    // clockwise and must be reversed; the other not.
    EXPECT_EQ(ChooseCutDirection(*RTDB, profile), reversed);
    RTDB->AutoRout.Inside = 1;
    EXPECT_EQ(ChooseCutDirection(*RTDB, profile), !reversed);
  }
}

TEST_F(AutoRoutTest, StylesPlaceTheCutInAndTheCutOut) {
  const int32_t w = 4 * Inch, h = 2 * Inch;
  const TAutoRoutSettings& s = RTDB->AutoRout;
  // Pinless, outside, right compensation: cut counter-clockwise from the
  // longest side (the bottom), the jog C off the side at A along it.
  RTDB->AutoRout.AutoRoutStyle = 1;
  ASSERT_TRUE(Rout(Rect(0, 0, w, h), false));
  std::vector<TCut> cuts = Cuts();
  ASSERT_GE(cuts.size(), 7u);
  EXPECT_EQ(cuts[0].Type, 5);
  EXPECT_EQ(cuts[0].P, (TIntPoint{s.PlungeOffset, -s.EdgeOffset}));
  EXPECT_EQ(cuts[1].P, (TIntPoint{s.PlungeOffset, 0}));
  EXPECT_EQ(cuts[2].P, (TIntPoint{w, 0}));
  // Pinless ends at the overcut point past the plunge.
  EXPECT_EQ(cuts.back().P, (TIntPoint{s.PlungeOffset + s.Overcut, 0}));

  // Inline adds the move back out to the edge offset.
  delete Seq;
  Seq = new TSequenceStore();
  RTDB->PathState[40] = {};
  RTDB->AutoRout.AutoRoutStyle = 2;
  ASSERT_TRUE(Rout(Rect(0, 0, w, h), false));
  cuts = Cuts();
  EXPECT_EQ(cuts.back().P, (TIntPoint{s.PlungeOffset + s.Overcut, -s.EdgeOffset}));

  // Corner style outside: the jog on the side's extension, the cut-out
  // straight on past the corner.
  delete Seq;
  Seq = new TSequenceStore();
  RTDB->PathState[40] = {};
  RTDB->AutoRout.AutoRoutStyle = 0;
  RTDB->AutoRout.LowFeedCutOut = false;
  ASSERT_TRUE(Rout(Rect(0, 0, w, h), false));
  cuts = Cuts();
  EXPECT_EQ(cuts[0].P, (TIntPoint{-s.PlungeOffset, 0}));
  EXPECT_EQ(cuts.back().P, (TIntPoint{0, -s.Overcut}));
}

TEST_F(AutoRoutTest, ShortSidesFailThePlungeOnlyWhereTheStyleNeedsRoom) {
  // Sides of 0.3 in: shorter than A + B = 0.4 in.
  const int32_t side = 3 * Inch / 10;
  RTDB->AutoRout.AutoRoutStyle = 1;
  EXPECT_FALSE(Rout(Rect(0, 0, side, side), false));
  EXPECT_EQ(LastBox(), "Error on plunge : Side is too short for cut-in.");
  EXPECT_EQ(Seq->Count(40), 0);
  std::string name;
  EXPECT_FALSE(RoutUndo->CanUndo(name));
  // Corner style outside does not need the room.
  RTDB->AutoRout.AutoRoutStyle = 0;
  EXPECT_TRUE(Rout(Rect(0, 0, side, side), false));
}

TEST_F(AutoRoutTest, LowFeedsGoOnTheCutInAndTheFirstProfileMove) {
  RTDB->AutoRout.AutoRoutStyle = 1;
  RTDB->AutoRout.LowFeedCutIn = true;
  RTDB->AutoRout.LowFeedCutOut = false;
  ASSERT_TRUE(Rout(Rect(0, 0, 4 * Inch, 2 * Inch), false));
  const std::vector<TCut> cuts = Cuts();
  ASSERT_GE(cuts.size(), 4u);
  EXPECT_EQ(cuts[1].Feed, 100);  // the cut-in at the low feed
  EXPECT_EQ(cuts[2].Feed, 300);  // back to the high feed
  for (std::size_t i = 3; i < cuts.size(); ++i) EXPECT_EQ(cuts[i].Feed, 0);
}

TEST_F(AutoRoutTest, ALoneCircleIsRoutedOnlyWhenPickedAlone) {
  const int32_t c = DB->AddCircleOnLayer(Inch, Inch, Inch / 2, 0);
  EXPECT_FALSE(Rout({c}, false, false, true));
  EXPECT_NE(Path, nullptr);  // left to the caller in group mode
  EXPECT_FALSE(Rout({c}, true, false, true));
  EXPECT_EQ(Seq->Count(40), 0);
  // Inside: a routed circle, cut as a hole.
  EXPECT_FALSE(Rout({c}, true, false, false));
  EXPECT_EQ(Path, nullptr);
  std::vector<TCut> cuts = Cuts();
  ASSERT_EQ(cuts.size(), 1u);
  EXPECT_EQ(cuts[0].Type, 9);
  EXPECT_EQ(cuts[0].P, (TIntPoint{Inch, Inch}));
  EXPECT_EQ(UndoName(), "auto rout inside");
}

TEST_F(AutoRoutTest, ALoneCircleRoutedOutsideHasTheCutterRoundIt) {
  // Outside, a routed circle would put the cutter inside the circle and cut
  // the part undersize: the circle is cut as a profile of two half arcs,
  // counter-clockwise with the cutter on the right, i.e. outside.
  RoutLayerTools[40] = {1, 1};
  const int32_t r = Inch / 2;
  const int32_t c = DB->AddCircleOnLayer(Inch, Inch, r, 0);
  ASSERT_TRUE(Rout({c}, false, false, false));
  EXPECT_EQ(Path, nullptr);
  EXPECT_EQ(UndoName(), "auto rout outside");
  const std::vector<TCut> cuts = Cuts();
  ASSERT_GE(cuts.size(), 5u);
  EXPECT_EQ(cuts[0].Type, 5);
  auto radius = [](const TIntPoint& p) { return std::hypot(double(p.X) - Inch, double(p.Y) - Inch); };
  EXPECT_NEAR(radius(cuts[0].P), r + RTDB->AutoRout.EdgeOffset, 2.0);  // the jog outside
  int arcs = 0;
  for (std::size_t i = 1; i < cuts.size(); ++i) {
    EXPECT_NEAR(radius(cuts[i].P), i == cuts.size() - 1 && cuts[i].Type == 6
                                       ? r + RTDB->AutoRout.EdgeOffset : r, 2.0) << i;
    if (cuts[i].Type == 7) ++arcs;
    EXPECT_NE(cuts[i].Type, 8) << "cut counter-clockwise";
  }
  EXPECT_GE(arcs, 2);
  // The path the cutter follows lies the cutter radius outside the circle.
  TCutterCompensator comp(40);
  for (int32_t p = 1; p <= Seq->Count(40); ++p) {
    TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(40, p));
    e->FreeShadows();
    comp.AddEntity(e);
  }
  comp.Finish();
  int cutArcs = 0;
  for (int32_t p = 1; p <= Seq->Count(40); ++p)
    for (TRoutShadow* s = RTDB->EntityAt(Seq->HandleAt(40, p))->Shadow; s; s = s->Next)
      if (s->Kind == rsArc) {
        ++cutArcs;
        EXPECT_NEAR(radius(s->A), r + rout_generation::Tool / 2, 2.0);
        EXPECT_NEAR(radius(s->B), r + rout_generation::Tool / 2, 2.0);
      }
  EXPECT_GE(cutArcs, 2);
  EXPECT_EQ(CompensationViolations, 0);
}

TEST_F(AutoRoutTest, LinkingFailureAndAFailedGenerationLeaveTheLayerAsItWas) {
  // An open chain does not link closed.
  const int32_t a = DB->AddLineOnLayer(0, 0, Inch, 0, 0);
  DB->AddLineOnLayer(Inch, 0, Inch, Inch, 0);
  EXPECT_FALSE(Rout({a}, false, false));
  EXPECT_EQ(LastBox(), "AutoRout could not link a closed path!");
  EXPECT_EQ(Path, nullptr);

  // Corner style inside on a 0.1 in square with a small plunge: the plunge
  // and the profile are written, then the cut-out finds the side too short;
  // the warning (a group pick) throws, and everything written goes.
  RTDB->AutoRout.AutoRoutStyle = 0;
  RTDB->AutoRout.PlungeOffset = Inch / 20;
  const TRoutPathState before = RTDB->PathState[40];
  QueueModalScript("TSuppressDialog", [](TForm&) { throw std::runtime_error("interrupted"); });
  const std::vector<int32_t> square = Rect(0, 0, Inch / 10, Inch / 10);
  EXPECT_THROW(Rout(square, true, true, true), std::runtime_error);
  EXPECT_EQ(Cuts().size(), 0u);
  EXPECT_EQ(RTDB->PathState[40], before);
  EXPECT_EQ(RTDB->AutoRout.Overcut, TAutoRoutSettings{}.Overcut);
  // Undo has nothing of it to bring back, and a following rout is whole.
  ResetModalScripts();
  RTDB->AutoRout.PlungeOffset = TAutoRoutSettings{}.PlungeOffset;
  RTDB->AutoRout.AutoRoutStyle = 1;
  ASSERT_TRUE(Rout(Rect(0, 0, 4 * Inch, 2 * Inch), false));
  const std::size_t whole = Cuts().size();
  RoutUndo->Undo();
  RTDB->UpdateChangedPath();
  EXPECT_EQ(Cuts().size(), 0u);
  RoutUndo->Redo();
  EXPECT_EQ(Cuts().size(), whole);
}

TEST_F(AutoRoutTest, ThePickCommandPromptsAndRoutsTheProfileUnderTheCursor) {
  DefineAutoRoutCommands();
  EXPECT_EQ(CommandText(AutoRoutOutsideCommand), "AUTOROUTOUTPATH(PICK)");
  EXPECT_EQ(CommandText(AutoRoutInsideCommand), "AUTOROUTINPATH(PICK)");
  Rect(0, 0, 4 * Inch, 2 * Inch);
  CommandServices.Pick = [](int32_t x, int32_t y, int32_t aperture, uint8_t) {
    TRootEntityHandle* picked = nullptr;
    int32_t distance = 0;
    if (!DB->PickNearest(aperture, x, y, true, picked, distance) || picked == nullptr) return int32_t(0);
    const int32_t index = picked->GetIndex();
    FreeObjectList(picked);
    return index;
  };
  TUserPanel panel;
  UserPanel = &panel;
  ECO = new TCommandInterpreter();
  // The user is told what to do: the panel is not left blank.
  ASSERT_TRUE(ECO->RunCommand(AutoRoutOutsideCommand));
  EXPECT_EQ(panel.PromptLine(1), "Auto Rout Outside");
  EXPECT_EQ(panel.PromptLine(3), "Pick entity of the profile > ");
  TInputEvent pick;
  pick.Kind = ievMouseDown;
  pick.Buttons = mbtLeft;
  pick.WorldX = 2 * Inch;
  pick.WorldY = 10000;
  // A miss opens a window instead; the right button takes its corner back
  // and the command still waits for the pick.
  TInputEvent miss = pick;
  miss.WorldY = Inch;
  ECO->HandleEvent(miss);
  EXPECT_EQ(panel.PromptLine(3), "Select opposite corner of window > ");
  TInputEvent back = miss;
  back.Buttons = mbtRight;
  ECO->HandleEvent(back);
  EXPECT_EQ(panel.PromptLine(3), "Pick entity of the profile > ");
  EXPECT_TRUE(Cuts().empty());
  ECO->HandleEvent(pick);
  EXPECT_GE(Cuts().size(), 6u);
  std::string name;
  EXPECT_TRUE(RoutUndo->CanUndo(name));
  EXPECT_EQ(name, "auto rout outside");
  // It waits for the next profile, as the other path commands do.
  EXPECT_NE(ECO->ActiveCommand(), nullptr);
  EXPECT_EQ(panel.PromptLine(3), "Pick entity of the profile > ");
  ECO->CancelCommand();
  delete ECO;
  ECO = nullptr;
  UserPanel = nullptr;
  CommandServices.Pick = nullptr;
  UndefineCommand(AutoRoutOutsideCommand);
  UndefineCommand(AutoRoutInsideCommand);
}

TEST_F(AutoRoutTest, AnArcFirstSideIsEnteredAndLeftOnItsCircle) {
  // A round part of two half arcs: the pinless cut-in starts C off the
  // circle, outward for an outside rout, and the cut-out ends on the circle.
  const int32_t r = Inch;
  const int32_t a = DB->AddArcOnLayer({r, 0}, {-r, 0}, {0, 0}, 0);
  const int32_t b = DB->AddArcOnLayer({-r, 0}, {r, 0}, {0, 0}, 0);
  RTDB->AutoRout.AutoRoutStyle = 1;
  ASSERT_TRUE(Rout({a, b}, false));
  const std::vector<TCut> cuts = Cuts();
  ASSERT_GE(cuts.size(), 4u);
  auto radius = [](const TIntPoint& p) { return std::hypot(double(p.X), double(p.Y)); };
  EXPECT_EQ(cuts[0].Type, 5);
  EXPECT_NEAR(radius(cuts[0].P), r + RTDB->AutoRout.EdgeOffset, 2.0);
  EXPECT_EQ(cuts[1].Type, 6);
  EXPECT_NEAR(radius(cuts[1].P), r, 2.0);
  for (std::size_t i = 2; i < cuts.size(); ++i) {
    EXPECT_NEAR(radius(cuts[i].P), r, 2.0) << i;
    EXPECT_EQ(cuts[i].Type, 7) << "cut counter-clockwise";
  }
}

TEST_F(AutoRoutTest, GougeAvoidanceSharpensOnlyFilletsWithTheCutterOnTheirInnerSide) {
  // A 2 x 1 in board with a 0.03 in convex fillet at (2, 0) and a 0.125 in
  // tool: the fillet is too small for the tool on the board's side of it, so
  // an inside rout cuts the corner sharp; outside, the cutter runs round it.
  GougeAvoid = true;
  const int32_t w = 2 * Inch, h = Inch, r = 762000;
  struct TCase {
    bool Inside;
    uint8_t Comp;
    std::size_t Arcs;
  };
  for (const TCase& c : {TCase{false, 2, 1}, TCase{false, 1, 1}, TCase{true, 2, 0},
                         TCase{true, 1, 0}}) {
    SCOPED_TRACE(std::string(c.Inside ? "inside" : "outside") + " comp " + std::to_string(c.Comp));
    delete Seq;
    Seq = new TSequenceStore();
    RTDB->PathState[40] = {};
    RTDB->AutoRoutCompensation = c.Comp;
    const std::vector<int32_t> profile = {
        DB->AddLineOnLayer(0, 0, w - r, 0, 0),
        DB->AddArcOnLayer({w - r, 0}, {w, r}, {w - r, r}, 0),
        DB->AddLineOnLayer(w, r, w, h, 0),
        DB->AddLineOnLayer(w, h, 0, h, 0),
        DB->AddLineOnLayer(0, h, 0, 0, 0)};
    ASSERT_TRUE(Rout(profile, c.Inside));
    const std::vector<TCut> cuts = Cuts();
    const std::size_t arcs = std::count_if(cuts.begin(), cuts.end(),
                                           [](const TCut& m) { return m.Type == 7 || m.Type == 8; });
    EXPECT_EQ(arcs, c.Arcs);
    const bool sharp = std::any_of(cuts.begin(), cuts.end(), [&](const TCut& m) {
      return m.Type == 6 && m.P == TIntPoint{w, 0};
    });
    EXPECT_EQ(sharp, c.Arcs == 0) << "the two sides meet at the drawn corner";
  }
  // Off, every fillet is cut as drawn.
  GougeAvoid = false;
  delete Seq;
  Seq = new TSequenceStore();
  RTDB->PathState[40] = {};
  const std::vector<int32_t> profile = {DB->AddLineOnLayer(0, 0, w - r, 0, 0),
                                        DB->AddArcOnLayer({w - r, 0}, {w, r}, {w - r, r}, 0),
                                        DB->AddLineOnLayer(w, r, w, h, 0),
                                        DB->AddLineOnLayer(w, h, 0, h, 0),
                                        DB->AddLineOnLayer(0, h, 0, 0, 0)};
  ASSERT_TRUE(Rout(profile, true));
  const std::vector<TCut> cuts = Cuts();
  EXPECT_EQ(std::count_if(cuts.begin(), cuts.end(), [](const TCut& m) { return m.Type == 7 || m.Type == 8; }),
            1);
}

namespace {

// Runs the pick command over a window from a to b, as a user drags it: a
// click on empty space opens it, the next click closes it.
void RoutWindow(int32_t command, const TIntPoint& a, const TIntPoint& b) {
  TInputEvent click;
  click.Kind = ievMouseDown;
  click.Buttons = mbtLeft;
  ASSERT_TRUE(ECO->RunCommand(command));
  click.WorldX = a.X;
  click.WorldY = a.Y;
  ECO->HandleEvent(click);
  if (UserPanel != nullptr) EXPECT_EQ(UserPanel->PromptLine(3), "Select opposite corner of window > ");
  click.WorldX = b.X;
  click.WorldY = b.Y;
  ECO->HandleEvent(click);
  ECO->CancelCommand();
}

}  // namespace

TEST_F(AutoRoutTest, AWindowOfOutlinesIsRoutedNearestFirstAsOneStep) {
  DefineAutoRoutCommands();
  CommandServices.Pick = [](int32_t x, int32_t y, int32_t aperture, uint8_t) {
    TRootEntityHandle* picked = nullptr;
    int32_t distance = 0;
    if (!DB->PickNearest(aperture, x, y, true, picked, distance) || picked == nullptr) return int32_t(0);
    const int32_t index = picked->GetIndex();
    FreeObjectList(picked);
    return index;
  };
  TUserPanel panel;
  UserPanel = &panel;
  ECO = new TCommandInterpreter();
  // A panel of 40 boards, 1 x 0.5 in, in 8 columns and 5 rows, drawn from
  // the far corner back to the origin.
  const int32_t dx = 3 * Inch / 2, dy = Inch;
  for (int row = 4; row >= 0; --row)
    for (int col = 7; col >= 0; --col) Rect(col * dx, row * dy, Inch, Inch / 2);
  RoutWindow(AutoRoutOutsideCommand, {-Inch, -Inch}, {13 * Inch, 6 * Inch});
  std::vector<std::pair<int, int>> boards;
  for (const TCut& c : Cuts())
    if (c.Type == 5) boards.push_back({(c.P.X + Inch / 4) / dx, (c.P.Y + Inch / 4) / dy});
  ASSERT_EQ(boards.size(), 40u);
  EXPECT_EQ(boards.front(), (std::pair<int, int>{0, 0})) << "the board at the origin comes first";
  std::sort(boards.begin(), boards.end());
  EXPECT_EQ(std::unique(boards.begin(), boards.end()), boards.end()) << "each board once";
  // One undo step takes the whole panel back.
  std::string name;
  EXPECT_TRUE(RoutUndo->CanUndo(name));
  EXPECT_EQ(name, "auto rout outside");
  RoutUndo->Undo();
  RTDB->UpdateChangedPath();
  EXPECT_TRUE(Cuts().empty());
  EXPECT_FALSE(RoutUndo->CanUndo(name));

  ECO->CancelCommand();
  delete ECO;
  ECO = nullptr;
  UserPanel = nullptr;
  CommandServices.Pick = nullptr;
  UndefineCommand(AutoRoutOutsideCommand);
  UndefineCommand(AutoRoutInsideCommand);
}

TEST_F(AutoRoutTest, AGroupOrdersItsPathsFromTheOriginAndAsksItsWarningOnce) {
  // Three boards out of order: cut from the origin outwards.
  const std::vector<int32_t> far = Rect(10 * Inch, 0, 2 * Inch, Inch);
  const std::vector<int32_t> near = Rect(0, 0, 2 * Inch, Inch);
  const std::vector<int32_t> middle = Rect(5 * Inch, 0, 2 * Inch, Inch);
  std::vector<int32_t> all = far;
  all.insert(all.end(), near.begin(), near.end());
  all.insert(all.end(), middle.begin(), middle.end());
  TRootEntityHandle* selection = Handles(all);
  ASSERT_TRUE(RoutSelection(*RTDB, selection, prkAutoInside));
  EXPECT_EQ(selection, nullptr);
  std::vector<int32_t> starts;
  for (const TCut& c : Cuts())
    if (c.Type == 5) starts.push_back(c.P.X / (5 * Inch));
  EXPECT_EQ(starts, (std::vector<int32_t>{0, 1, 2}));
  std::string name;
  ASSERT_TRUE(RoutUndo->CanUndo(name));
  EXPECT_EQ(name, "auto rout inside");
  RoutUndo->Undo();
  RTDB->UpdateChangedPath();
  EXPECT_TRUE(Cuts().empty());

  // Every side too short for the cut-in: the warning offers "OK to &All",
  // and once it is chosen the rest of the group goes on without asking.
  RTDB->AutoRout.PlungeOffset = 3 * Inch;
  int asked = 0;
  RegisterModalScript("TSuppressDialog", [&asked](TForm& f) {
    ++asked;
    EXPECT_EQ(f.Get<TLabel>("WarningLabel").Caption(), "Error on plunge : Side is too short for cut-in.");
    f.Click("SuppressButton");
  });
  selection = Handles(all);
  EXPECT_FALSE(RoutSelection(*RTDB, selection, prkAutoOutside));
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(Cuts().empty());
  EXPECT_FALSE(RoutUndo->CanUndo(name)) << "nothing written, no step";

  // A lone circle in a group is left out; the outline beside it is routed.
  RTDB->AutoRout.PlungeOffset = TAutoRoutSettings{}.PlungeOffset;
  std::vector<int32_t> withCircle = near;
  withCircle.push_back(DB->AddCircleOnLayer(20 * Inch, 0, Inch / 2, 0));
  selection = Handles(withCircle);
  ASSERT_TRUE(RoutSelection(*RTDB, selection, prkAutoOutside));
  for (const TCut& c : Cuts()) EXPECT_LT(c.P.X, 10 * Inch);
  RoutUndo->Undo();
  RTDB->UpdateChangedPath();

  // Pockets of a group are one step as well.
  selection = Handles(all);
  ASSERT_TRUE(RoutSelection(*RTDB, selection, prkPocket));
  ASSERT_TRUE(RoutUndo->CanUndo(name));
  EXPECT_EQ(name, "Pocket Rout");
  std::vector<int32_t> pockets;
  for (const TCut& c : Cuts())
    if (pockets.empty() || c.P.X / (5 * Inch) != pockets.back()) pockets.push_back(c.P.X / (5 * Inch));
  EXPECT_EQ(pockets, (std::vector<int32_t>{0, 1, 2}));
  RoutUndo->Undo();
  RTDB->UpdateChangedPath();
  EXPECT_TRUE(Cuts().empty());
}
