// Rout paths that follow CAD profiles: follow profile (with a branch),
// window auto follow, the inline cut-in and cut-out, the nesting of a
// panel's profiles and the automatic part rout of a whole panel.
#include "routpath/part_rout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/headless/headless_events.h"
#include "command/command_interpreter.h"
#include "routpath/pocket_rout.h"
#include "routpath/rout_path_commands.h"
#include "rout_generation_fixture.h"

using namespace rout_generation;

namespace {

class TScriptHost : public TFollowBranchHost {
 public:
  void PressBranchCommand() override { ++Presses; }
  void BackUpOneStep() override {}
  bool AppClosing() override { return false; }
  int Presses = 0;
};

class PartRoutTest : public TRoutGenerationTest {
 protected:
  void TearDown() override {
    SetFollowBranchHost(nullptr);
    HeadlessSetProcessMessagesHook({});
    TRoutGenerationTest::TearDown();
  }
  // The profile of a rectangle drawn counter-clockwise, in chain order.
  static std::vector<TProfileEntity> RectProfile(int32_t x, int32_t y, int32_t w, int32_t h) {
    const TIntPoint p[4] = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
    std::vector<TProfileEntity> out;
    for (int i = 0; i < 4; ++i) {
      TProfileEntity e;
      e.Type = 2;
      e.P1 = p[i];
      e.P2 = p[(i + 1) % 4];
      out.push_back(e);
    }
    return out;
  }
  static TPartProfile Part(int32_t x, int32_t y, int32_t w, int32_t h) {
    TPartProfile p;
    p.Entities = RectProfile(x, y, w, h);
    return p;
  }
  void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { DB->AddLineOnLayer(x1, y1, x2, y2, 0); }
};

TEST_F(PartRoutTest, InlineCutInAndOutSitAtTheMiddleOfTheSide) {
  RTDB->FullPanelInline.UseCutterSize = false;
  RTDB->FullPanelInline.Overcut = 1574800;  // 0.062 in
  TProfileEntity side = RectProfile(0, 0, Inch, Inch)[0];
  TIntPoint p;
  ASSERT_TRUE(InlineCutInOut(*RTDB, p, side, false));
  EXPECT_EQ(p, (TIntPoint{Inch / 2 - 787400, 0}));  // 0.031 in before the middle
  ASSERT_TRUE(InlineCutInOut(*RTDB, p, side, true));
  EXPECT_EQ(p, (TIntPoint{Inch / 2 + 787400, 0}));
  // A 0.15 in side: d = L / 6, then (L - D) / 2 = 0.0125 in.
  side.P2 = {3810000, 0};
  ASSERT_TRUE(InlineCutInOut(*RTDB, p, side, false));
  EXPECT_EQ(p, (TIntPoint{1905000 - 317500, 0}));
  // Reversed travel and an arc: the point moves against the direction.
  side.Reversed = true;
  ASSERT_TRUE(InlineCutInOut(*RTDB, p, side, false));
  EXPECT_EQ(p, (TIntPoint{1905000 + 317500, 0}));
  TProfileEntity arc;
  arc.Type = 3;
  arc.P1 = {Inch, 0};
  arc.P2 = {-Inch, 0};
  arc.Centre = {0, 0};
  ASSERT_TRUE(InlineCutInOut(*RTDB, p, arc, true));
  const double a = 90.0 + 787400.0 * 180.0 / (Inch * M_PI);
  EXPECT_NEAR(p.X, Inch * std::cos(a * M_PI / 180.0), 1);
  EXPECT_NEAR(p.Y, Inch * std::sin(a * M_PI / 180.0), 1);
  // A tool wider than the side does not fit.
  side.P2 = {3000000, 0};
  EXPECT_FALSE(InlineCutInOut(*RTDB, p, side, false));
  // "Use Cutter Size": the overcut is the tool, 0.062 in for none.
  RTDB->FullPanelInline.UseCutterSize = true;
  EXPECT_EQ(InlineOvercut(*RTDB, Tool), Tool);
  EXPECT_EQ(InlineOvercut(*RTDB, 0), 1574800);
}

TEST_F(PartRoutTest, NestingIsClassifiedFromTheOutermostProfileInward) {
  // A border with a part that has a hole and a plain part, and beside the
  // border a lone part with a hole.
  std::vector<TPartProfile> p;
  p.push_back(Part(0, 0, 10 * Inch, 8 * Inch));                // border
  p.push_back(Part(Inch, Inch, 2 * Inch, 2 * Inch));           // part with a hole
  p.push_back(Part(7 * Inch / 4, 7 * Inch / 4, Inch / 2, Inch / 2));  // its hole
  p.push_back(Part(5 * Inch, Inch, 2 * Inch, 2 * Inch));       // plain part
  p.push_back(Part(12 * Inch, Inch, 2 * Inch, 2 * Inch));      // lone part
  p.push_back(Part(12 * Inch + Inch / 2, Inch + Inch / 2, Inch, Inch));  // its hole
  bool allOneLevel = true;
  ClassifyProfiles(p, allOneLevel);
  EXPECT_FALSE(allOneLevel);
  std::vector<int32_t> depths;
  std::vector<int> classes;
  for (const TPartProfile& q : p) {
    depths.push_back(q.Depth);
    classes.push_back(q.Class);
  }
  EXPECT_EQ(depths, (std::vector<int32_t>{1, 2, 3, 2, 1, 2}));
  EXPECT_EQ(classes, (std::vector<int>{pcNotRouted, pcOuter, pcInner, pcOuter, pcOuter, pcInner}));
  // Profiles side by side: one level.
  std::vector<TPartProfile> flat;
  flat.push_back(Part(0, 0, Inch, Inch));
  flat.push_back(Part(2 * Inch, 0, Inch, Inch));
  ClassifyProfiles(flat, allOneLevel);
  EXPECT_TRUE(allOneLevel);
  EXPECT_EQ(flat[0].Class, pcInner);
}

TEST_F(PartRoutTest, AutoPartRoutRoutsHolesFirstThenPartsAndReportsTheRest) {
  Rect(0, 0, 10 * Inch, 8 * Inch);                           // border
  Rect(Inch, Inch, 2 * Inch, 2 * Inch);                      // part
  Rect(7 * Inch / 4, 7 * Inch / 4, Inch / 2, Inch / 2);      // hole
  Rect(5 * Inch / 2, 5 * Inch / 2, Inch / 10, Inch / 10);    // hole narrower than the tool
  Rect(5 * Inch, Inch, 2 * Inch, 2 * Inch);                  // plain part
  Line(20 * Inch, 0, 21 * Inch, 0);                          // open chain
  Line(21 * Inch, 0, 21 * Inch, Inch);
  const TPartRoutReport report = AutoPartRout(*RTDB);
  EXPECT_TRUE(report.SomethingRouted);
  EXPECT_EQ(report.NotRouted, 1);
  EXPECT_EQ(report.OpenChains, 1);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "1 polygon(s) could not be routed\nbecause the selected tool is too large.",
                         "1 string(s) or single entities\nwere encountered in the database and were "
                         "not routed\nbecause they did not form a closed path."}));
  EXPECT_EQ(UndoName(), "full panel inline ro");
  EXPECT_EQ(RTDB->AutoRoutCompensation, 2);
  // Paths: the hole (its jog on its longest side), then the two parts;
  // nothing along the border.
  std::vector<TIntPoint> jogs;
  for (const TMove& m : Layer())
    if (m.Type == 5) jogs.push_back(m.P);
  ASSERT_EQ(jogs.size(), 3u);
  auto inBox = [](TIntPoint p, double x, double y, double w, double h) {
    return p.X >= x - 1 && p.X <= x + w + 1 && p.Y >= y - 1 && p.Y <= y + h + 1;
  };
  EXPECT_TRUE(inBox(jogs[0], 7 * Inch / 4, 7 * Inch / 4, Inch / 2, Inch / 2));
  for (int k : {1, 2}) {
    const bool partA = inBox(jogs[k], 0.5 * Inch, 0.5 * Inch, 3 * Inch, 3 * Inch);
    const bool partB = inBox(jogs[k], 4.5 * Inch, 0.5 * Inch, 3 * Inch, 3 * Inch);
    EXPECT_TRUE(partA || partB) << jogs[k].X << "," << jogs[k].Y;
  }
  for (const TMove& m : Layer()) EXPECT_LT(m.P.X, 8 * Inch);
  // One undo step takes it all back.
  RoutUndo->Undo();
  EXPECT_TRUE(Layer().empty());
}

TEST_F(PartRoutTest, ProfilesOnOneLevelAskWhetherToRoutOutside) {
  Rect(0, 0, Inch, Inch);
  Rect(2 * Inch, 0, Inch, Inch);
  ScriptMessageBoxAnswer(mrYes);
  ASSERT_TRUE(AutoPartRout(*RTDB).SomethingRouted);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Rout all profiles outside?"}));
  // Outside: the cuts lie outside the squares' sides.
  for (const TMove& m : Layer())
    if (m.Type == 6) EXPECT_TRUE(m.P.Y <= 0 || m.P.Y >= Inch || m.P.X <= 0 || m.P.X >= Inch) << m.P.X << "," << m.P.Y;
  RoutUndo->Undo();
  ResetHeadlessDialogs();
  ScriptMessageBoxAnswer(mrNo);
  ASSERT_TRUE(AutoPartRout(*RTDB).SomethingRouted);
  // Inline: every path starts on the middle of its square's longest side.
  for (const TMove& m : Layer())
    if (m.Type == 5) EXPECT_TRUE(m.P.Y == 0 || m.P.Y == Inch || m.P.X % Inch == 0) << m.P.X << "," << m.P.Y;
  // Escape (or the close box) stops the command: nothing more is routed and
  // no undo step is added.
  const size_t moves = Layer().size();
  std::string step;
  ASSERT_TRUE(RoutUndo->CanUndo(step));
  RoutUndo->Undo();
  ASSERT_TRUE(Layer().empty());
  ResetHeadlessDialogs();
  ScriptMessageBoxAnswer(mrCancel);
  EXPECT_FALSE(AutoPartRout(*RTDB).SomethingRouted);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Rout all profiles outside?"}));
  EXPECT_TRUE(Layer().empty());
  EXPECT_FALSE(RoutUndo->CanUndo(step));
  EXPECT_GT(moves, 0u);
}

TEST_F(PartRoutTest, FollowProfileCopiesTheChainAndAsksAtABranch) {
  Line(0, 0, Inch, 0);
  Line(2 * Inch, Inch, Inch, 0);  // drawn backwards
  Line(2 * Inch, Inch, 3 * Inch, Inch);
  TRootEntityHandle* path = Handles({1});
  // Picked near its start: the chain is followed from that end's side.
  ASSERT_TRUE(FollowProfile(*RTDB, path, {1000, 0}));
  EXPECT_EQ(path, nullptr);
  std::vector<TMove> moves = Layer();
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(moves[0].P, (TIntPoint{Inch, 0}));
  EXPECT_EQ(moves[1].P, (TIntPoint{0, 0}));
  RoutUndo->Undo();
  // Picked near its end: the whole chain, the backwards line reversed.
  path = Handles({1});
  ASSERT_TRUE(FollowProfile(*RTDB, path, {Inch - 1000, 0}));
  moves = Layer();
  ASSERT_EQ(moves.size(), 4u);
  EXPECT_EQ(moves[0].Type, 5);
  EXPECT_EQ(moves[0].P, (TIntPoint{0, 0}));
  EXPECT_EQ(moves[2].P, (TIntPoint{2 * Inch, Inch}));
  EXPECT_EQ(moves[3].P, (TIntPoint{3 * Inch, Inch}));
  EXPECT_EQ(UndoName(), "follow profile");
  // A branch at the far end: the question is asked; "Stop Here" halts.
  RoutUndo->Undo();
  const int32_t branch = DB->AddLineOnLayer(3 * Inch, Inch, 3 * Inch, 2 * Inch, 0);
  Line(3 * Inch, Inch, 4 * Inch, Inch);
  TScriptHost host;
  SetFollowBranchHost(&host);
  ShowBranchAlert = true;
  QueueModalScript("TFollowBranchDialog", [](TForm& f) { f.Click("StopHereButton"); });
  path = Handles({1});
  EXPECT_FALSE(FollowProfile(*RTDB, path, {Inch - 1000, 0}));
  EXPECT_EQ(host.Presses, 1);
  EXPECT_EQ(Boxes().back(), "Rout halted due to multiple paths!");
  EXPECT_TRUE(Layer().empty());
  // Picking one branch goes on along it.
  ShowBranchAlert = false;
  HeadlessSetProcessMessagesHook([&] {
    if (FollowPickState != fpsWaitingForPick) return;
    FollowPickEntity = EntityArray->GetSlot(branch)->Entity;
    FollowPickIndex = branch;
    FollowPickState = fpsPicked;
  });
  path = Handles({1});
  ASSERT_TRUE(FollowProfile(*RTDB, path, {Inch - 1000, 0}));
  const std::vector<TMove> branched = Layer();
  EXPECT_EQ(branched.back().P, (TIntPoint{3 * Inch, 2 * Inch}));
  // A closed chain that runs back into itself ends.
  RoutUndo->Undo();
  const std::vector<int32_t> square = Rect(10 * Inch, 0, Inch, Inch);
  path = Handles({square[0]});
  ASSERT_TRUE(FollowProfile(*RTDB, path, {10 * Inch, 0}));
  EXPECT_EQ(Layer().size(), 5u);
}

TEST_F(PartRoutTest, WindowAutoFollowKeepsTheSelectionOrder) {
  // The window selection lists the highest index first.
  const std::vector<int32_t> triangle = {DB->AddLineOnLayer(0, 0, Inch, 0, 0),
                                         DB->AddLineOnLayer(Inch, 0, 0, Inch, 0),
                                         DB->AddLineOnLayer(0, Inch, 0, 0, 0)};
  TRootEntityHandle* selection = Handles({triangle[2], triangle[1], triangle[0]});
  RTDB->AutoRoutCompensation = 1;
  ASSERT_TRUE(WindowAutoFollow(*RTDB, selection));
  EXPECT_EQ(selection, nullptr);
  EXPECT_EQ(RTDB->AutoRoutCompensation, 1);
  std::vector<TMove> moves = Layer();
  EXPECT_EQ(Jogs(moves), 1);
  EXPECT_EQ(moves.size(), 4u);
  EXPECT_EQ(UndoName(), "Window Auto Follow");
  // A line drawn backwards starts a new path; a circle writes nothing, and
  // a line starting at the circle's point starts a path there instead of
  // cutting across from the last line.
  RoutUndo->Undo();
  const int32_t backwards = DB->AddLineOnLayer(2 * Inch, Inch, 2 * Inch, 0, 0);
  const int32_t circle = DB->AddCircleOnLayer(5 * Inch, 5 * Inch, Inch, 0);
  TIntPoint c;
  EntityArray->GetSlot(circle)->Entity->GetPoint(c);
  const int32_t after = DB->AddLineOnLayer(c.X, c.Y, c.X + Inch, c.Y, 0);
  selection = Handles({after, circle, backwards, triangle[0]});
  ASSERT_TRUE(WindowAutoFollow(*RTDB, selection));
  moves = Layer();
  EXPECT_EQ(Jogs(moves), 3);
  ASSERT_EQ(moves.size(), 6u);
  EXPECT_EQ(moves[4].Type, 5);
  EXPECT_EQ(moves[4].P, c);
}

TEST_F(PartRoutTest, WebAndPartRoutCommandsTellAFailureAndLeaveTheLayer) {
  DefineRoutPathCommands();
  EXPECT_EQ(CommandText(AutoWebRoutCommand), "AUTOWEBROUT");
  EXPECT_EQ(CommandText(AutoPartRoutCommand), "AUTOPARTROUT");
  EXPECT_EQ(CommandText(FollowProfileCommand), "FOLLOWPATH(PICKAT)");
  EXPECT_EQ(CommandText(PocketRoutCommand), "POCKETPATH(PICK)");
  EXPECT_EQ(CommandText(MilledPocketRoutCommand), "MILLPOCKETPATH(PICK)");
  EXPECT_EQ(CommandText(WindowAutoFollowCommand), "WINDOWAUTOFOLLOW(CLICK,CLICK)");
  Rect(0, 0, Inch, Inch);
  ECO = new TCommandInterpreter();
  RTDB->PocketDusting = true;
  SetTool(1);
  ECO->RunCommand(AutoWebRoutCommand);
  ASSERT_FALSE(Boxes().empty());
  EXPECT_EQ(Boxes().back(),
            "The rout tool is too small to clear a pocket: choose a tool of at least 2 units "
            "diameter.");
  EXPECT_TRUE(Layer().empty());
  EXPECT_EQ(UndoName(), "");
  EXPECT_EQ(RTDB->AutoRoutCompensation, 2);
  SetTool(Tool);
  ECO->RunCommand(AutoWebRoutCommand);
  EXPECT_EQ(UndoName(), "Full Panel AutoRout");
  RoutUndo->Undo();
  ScriptMessageBoxAnswer(mrYes);
  ECO->RunCommand(AutoPartRoutCommand);
  EXPECT_EQ(UndoName(), "full panel inline ro");
  EXPECT_FALSE(Layer().empty());
  delete ECO;
  ECO = nullptr;
  for (int32_t c : {AutoWebRoutCommand, AutoPartRoutCommand, FollowProfileCommand, PocketRoutCommand,
                    MilledPocketRoutCommand, WindowAutoFollowCommand})
    UndefineCommand(c);
}

}  // namespace
