// Automatic rout of closed CAD profiles into the current rout layer: the cut
// direction for each compensation side, the cut-in and cut-out of each
// style, feeds, circles, the pick command, and a failed generation taking
// back everything it added.
#include "routpath/auto_rout.h"

#include <gtest/gtest.h>

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
  // A miss changes nothing and the command still waits.
  TInputEvent miss = pick;
  miss.WorldY = Inch;
  ECO->HandleEvent(miss);
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
