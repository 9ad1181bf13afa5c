// Tabs on rout lines and arcs: where the path is split, the new path start,
// the complex tab's neck, the break-off holes, the refusals that change
// nothing, and the one undo step that takes it all back.
#include "routpath/rout_tabs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "korvex_test.h"
#include "model/editor_state.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/paths.h"

namespace {

using V = std::vector<std::string>;
constexpr int32_t In = 25400000;
constexpr int32_t Tenth = In / 10;

class TRoutTabsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ASSERT_TRUE(EnsureWorkingDirectories());
    ResetHeadlessViewServices();
    EditorMode = emRout;
    CurrentLayer = 40;
    for (int l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) RoutToolPages[l].Fill({});
    RoutToolPages[40][3] = TRoutToolRecord{In / 8, In / 8, 300, 100, 0};
    RoutUndo = new TRoutUndo();
    ActiveUndo = RoutUndo;
    RTDB = new TRoutDatabase();
    Seq = new TSequenceStore();
    TAutoTabSettings t;
    t.Width = In;
    t.CutInWidth = 6 * Tenth;
    t.CutInOffset = 2 * Tenth;
    t.HoleOffset = 2 * Tenth;
    t.HoleSpacing = 2 * Tenth;
    t.NumberOfHoles = 3;
    t.DrilledHolesEnabled = false;
    t.CutterRadiusOffset = false;
    t.TabType = true;
    t.ToolNumber = 7;
    RTDB->AutoTab = t;
  }
  void TearDown() override {
    delete RTDB;
    RTDB = nullptr;
    delete Seq;
    Seq = nullptr;
    delete RoutUndo;
    RoutUndo = nullptr;
    ActiveUndo = nullptr;
    ResetHeadlessViewServices();
    ResetHeadlessDialogs();
    TKorvexTest::TearDown();
  }
  // Layer 40 in cut order, coordinates in tenths of an inch where exact:
  // "J x,y c<side> t<tool>", "L x,y", "A7 x,y", "H x,y t<tool>".
  static V Layer() {
    V out;
    Seq->SetReadCursor(40, 1);
    for (int32_t h = Seq->NextVisible(40); h != 0; h = Seq->NextVisible(40)) {
      TRoutEntity* e = RTDB->EntityAt(h);
      auto n = [](int32_t v) {
        return v % (Tenth / 10) == 0 ? std::to_string(v / (Tenth / 10)) : std::to_string(v) + "u";
      };
      const std::string pt = n(e->X) + "," + n(e->Y);
      switch (e->GetType()) {
        case etRoutJog:
          out.push_back("J " + pt + " c" + std::to_string(e->GetComp()) + " t" +
                        std::to_string(e->GetToolNumber()) + (e->GetStepObj() ? " s" : ""));
          break;
        case etRoutLine: out.push_back("L " + pt); break;
        case etRoutHole:
          out.push_back("H " + pt + " t" + std::to_string(e->GetToolNumber()) + (e->GetStepObj() ? " s" : ""));
          break;
        default: out.push_back("A" + std::to_string(e->GetType()) + " " + pt); break;
      }
    }
    return out;
  }
  // A path from (0,0) to (10 in, 0) with the given comp side: jog 1, line 2.
  static void StraightPath(uint8_t side = 0) {
    Seq->SetInsertAtEnd(40);
    RTDB->AddJog({0, 0}, 40, side, 3, 1);
    RTDB->AddLine({10 * In, 0}, 40, 0, NoZOffset);
    RoutUndo->BeginOperation("Path");
  }
  static std::string LastBox() {
    return ShownMessageBoxes().empty() ? "" : ShownMessageBoxes().back().Text;
  }
};

// In hundredths of an inch below (the Layer() unit).
TEST_F(TRoutTabsTest, ASimpleTabSplitsTheLineAndOneUndoTakesItBack) {
  StraightPath();
  const V before = Layer();
  ASSERT_TRUE(AddTabOnLine(2, {5 * In, 0}));
  EXPECT_EQ(Layer(), (V{"J 0,0 c0 t3", "L 450,0", "J 550,0 c0 t3", "L 1000,0"}));
  std::string name;
  ASSERT_TRUE(RoutUndo->CanUndo(name));
  EXPECT_EQ(name, "Add Tab");
  RoutUndo->Undo();
  EXPECT_EQ(Layer(), before);

  // The cutter's width widens the gap.
  RTDB->AutoTab.CutterRadiusOffset = true;
  ASSERT_TRUE(AddTabOnLine(2, {5 * In, 0}));
  EXPECT_EQ(Layer()[1], "L 112712500u,0");  // 4.4375 in: the gap grew by 0.125 in
}

TEST_F(TRoutTabsTest, AComplexTabTurnsToThePathSideWithItsHoles) {
  StraightPath();
  RTDB->AutoTab.TabType = false;
  RTDB->AutoTab.DrilledHolesEnabled = true;
  ASSERT_TRUE(AddTabOnLine(2, {5 * In, 0}));
  EXPECT_EQ(Layer(), (V{"J 0,0 c0 t3", "L 450,0", "L 470,20", "H 480,20 t7", "H 500,20 t7",
                        "H 520,20 t7", "J 530,20 c0 t3", "L 550,0", "L 1000,0"}));
  RoutUndo->Undo();

  // Compensated left: the neck and holes go to the right of travel.
  delete RTDB;
  delete Seq;
  RTDB = new TRoutDatabase();
  Seq = new TSequenceStore();
  RTDB->AutoTab = TAutoTabSettings{In, 2 * Tenth, 6 * Tenth, 2 * Tenth, false, false, 0, false, 1, 0};
  StraightPath(1);
  ASSERT_TRUE(AddTabOnLine(2, {5 * In, 0}));
  EXPECT_EQ(Layer(), (V{"J 0,0 c1 t3", "L 450,0", "L 470,-20", "J 530,-20 c1 t3", "L 550,0", "L 1000,0"}));
}

TEST_F(TRoutTabsTest, RefusalsChangeNothing) {
  StraightPath();
  const V before = Layer();
  // Half the width exactly reaches the end: accepted; one unit nearer: refused.
  EXPECT_FALSE(AddTabOnLine(2, {In / 2 - 1, 0}));
  EXPECT_EQ(LastBox(), "Tab is too close to the end of the line!");
  EXPECT_FALSE(AddTabOnLine(2, {5 * In, 1}));
  EXPECT_EQ(LastBox(), "You must select a point on the line!");
  EXPECT_FALSE(AddTabOnLine(1, {5 * In, 0}));  // a jog is no line
  EXPECT_EQ(Layer(), before);
  std::string name;
  ASSERT_TRUE(RoutUndo->CanUndo(name));
  EXPECT_EQ(name, "Path");
  EXPECT_TRUE(AddTabOnLine(2, {In / 2, 0}));
  EXPECT_EQ(Layer()[1], "L 0,0");
}

// A counter-clockwise half circle of radius 5 in about (5 in, 0) from
// (10 in, 0) to (0, 0) through (5 in, 5 in).
TEST_F(TRoutTabsTest, ATabOnAnArcSplitsItAtTheGapAngleWithHolesOnTheTangent) {
  Seq->SetInsertAtEnd(40);
  RTDB->AddJog({10 * In, 0}, 40, 0, 3, 1);
  RTDB->AddArc({0, 0}, 40, 0, false, {5 * In, 0}, NoZOffset);
  RoutUndo->BeginOperation("Path");
  RTDB->AutoTab.DrilledHolesEnabled = true;
  RTDB->AutoTab.NumberOfHoles = 2;
  EXPECT_FALSE(AddTabOnArc(2, {5 * In, 5 * In + 2540}));
  EXPECT_EQ(LastBox(), "You must select a point on arc !");
  ASSERT_TRUE(AddTabOnArc(2, {5 * In, 5 * In}));
  const V got = Layer();
  ASSERT_EQ(got.size(), 6u);
  // The gap of 1 in on a 5 in radius: 0.2 rad; the run-up ends toward the
  // start (x > 5 in), the new start lies toward the end.
  TRoutEntity* runUp = RTDB->EntityAt(Seq->HandleAt(40, 2));
  EXPECT_EQ(runUp->GetType(), etRoutArc);
  EXPECT_NEAR(runUp->X, 5 * In + 5 * In * std::sin(0.1), 2);
  EXPECT_NEAR(runUp->Y, 5 * In * std::cos(0.1), 2);
  // Travel at the top runs toward -X; its left is toward the centre: the
  // holes sit 0.2 in below the top, the first on the end side.
  EXPECT_EQ(got[2], "H 490,480 t7");
  EXPECT_EQ(got[3], "H 510,480 t7");
  TRoutEntity* start = RTDB->EntityAt(Seq->HandleAt(40, 5));
  EXPECT_EQ(start->GetType(), etRoutJog);
  EXPECT_NEAR(start->X, 5 * In - 5 * In * std::sin(0.1), 2);
  EXPECT_EQ(got[5], "A7 0,0");
  RoutUndo->Undo();
  EXPECT_EQ(Layer(), (V{"J 1000,0 c0 t3", "A7 0,0"}));
}

// The command's click beside the path is taken onto it: perpendicular to a
// line, radially to an arc; other entities are not tabbed.
TEST_F(TRoutTabsTest, TheClickIsTakenOntoThePickedLineOrArc) {
  StraightPath();
  EXPECT_FALSE(AddTabAt(1, {5 * In, 0}));
  ASSERT_TRUE(AddTabAt(2, {5 * In, 3 * In}));
  EXPECT_EQ(Layer(), (V{"J 0,0 c0 t3", "L 450,0", "J 550,0 c0 t3", "L 1000,0"}));

  delete RTDB;
  delete Seq;
  RTDB = new TRoutDatabase();
  Seq = new TSequenceStore();
  RTDB->AutoTab = TAutoTabSettings{In, 0, 0, 0, false, true, 0, false, 1, 0};
  Seq->SetInsertAtEnd(40);
  RTDB->AddJog({10 * In, 0}, 40, 0, 3, 1);
  RTDB->AddArc({0, 0}, 40, 0, false, {5 * In, 0}, NoZOffset);
  ASSERT_TRUE(AddTabAt(2, {5 * In, 7 * In}));  // projected to (5 in, 5 in)
  EXPECT_EQ(Layer().size(), 4u);
}

// Tabs put a few units from a slanted line's start: the break-off holes
// stand square to the line, however the tab's point was rounded onto it.
TEST_F(TRoutTabsTest, HolesOfATabByALinesStartStandSquareToTheLine) {
  RTDB->AutoTab = TAutoTabSettings{0, 0, 0, 2 * Tenth, true, true, 3, false, 7, Tenth};
  // The line's end, and a point about 3 units along it.
  for (const auto& [end, at] : {std::pair{TIntPoint{10 * In, In}, TIntPoint{3, 0}},
                                std::pair{TIntPoint{-3 * In, 10 * In}, TIntPoint{-1, 3}}}) {
    RTDB->Clear();
    Seq->SetInsertAtEnd(40);
    RTDB->AddJog({0, 0}, 40, 0, 3, 1);
    const int32_t line = RTDB->AddLine(end, 40, 0, NoZOffset);
    ASSERT_TRUE(AddTabAt(line, at));
    const double length = std::hypot(double(end.X), double(end.Y));
    for (int32_t p = 1; p <= Seq->Count(40); ++p)
      if (TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(40, p)); e->GetType() == etRoutHole)
        EXPECT_NEAR((double(end.X) * e->Y - double(end.Y) * e->X) / length, 2 * Tenth, 2) << e->X << "," << e->Y;
  }
}

// Layers as Open Rout Tape reads tabbed boards back, in database units
// ("J x,y", "L x,y", "H x,y"): every path start and hole is one tabbed cut.
TEST_F(TRoutTabsTest, EveryPieceOfATabbedBoardReadBackIsOneCut) {
  const std::vector<V> layers{
      // A complex tab by a corner of a board begun within a side: the piece
      // after it is its neck back alone, ending on the side's end, which the
      // side before it reaches (to the rounding of its length) and no farther.
      {"J -157940000,-149660000", "L -176400000,-146290000", "L -193450000,-158290000", "L -196790000,-167530000",
       "L -185090000,-193160000", "L -177950000,-181720000", "L -163210000,-179800000", "H -165880000,-175310000",
       "H -165880000,-175310000", "J -160670000,-175740000", "L -165420000,-161650000", "H -161580000,-155720000",
       "J -157940000,-149670000", "L -157940000,-149660000"},
      // A tab 0 wide by the end of a board's last side: the tape kept no stub
      // after it, the piece before ends where the board began, and the start
      // after its holes is one alone.
      {"J 0,0", "L 20320000,0", "J 30480000,0", "L 50800000,0", "L 50800000,50800000", "L 0,50800000", "L 0,0",
       "H 1270000,254000", "H 1270000,-254000", "J 0,0"},
      // A complex tab 0 wide without holes, its neck cut out and straight
      // back in the piece after a tab's gap: the tape went on cutting from
      // the neck's end.
      {"J 0,0", "L 20320000,0", "J 30480000,0", "L 40640000,0", "L 40640000,2540000", "L 40640000,0",
       "L 50800000,0", "L 50800000,50800000", "L 0,50800000", "L 0,0"},
      // Complex tabs with square necks put 2 units apart: the piece between
      // is the first's neck back, a stub and the second's neck, which runs
      // back beside the neck back without closing anything; a tape drops
      // the stub, the neck then ending where the piece began.
      {"J 0,0", "L 7620000,0", "L 7620000,5080000", "J 17780000,5080000", "L 17780000,0", "L 17780002,0",
       "L 17780002,5080000", "J 27940002,5080000", "L 27940002,0", "L 50800000,0", "L 50800000,50800000",
       "L 0,50800000", "L 0,0"},
      {"J 0,0", "L 7620000,0", "L 7620000,5080000", "J 17780000,5080000", "L 17780000,0", "L 17780000,5080000",
       "J 27940000,5080000", "L 27940000,0", "L 50800000,0", "L 50800000,50800000", "L 0,50800000", "L 0,0"},
      // A tab 0 wide 2 units from the start of a board and one on its top
      // side: the last piece closes past the second piece's start, and the
      // stub before it is a piece of the board too.
      {"J 0,0", "L 2,0", "J 2,0", "L 50800000,0", "L 50800000,50800000", "L 30480000,50800000",
       "J 20320000,50800000", "L 0,50800000", "L 0,0"},
      // A board begun part way along a side, a tab 0 wide 2 units on with
      // break-off holes: the one piece after it closes over the stub.
      {"J 25400000,0", "L 25400002,0", "H 25400002,5080000", "J 25400002,0", "L 50800000,0",
       "L 50800000,50800000", "L 0,50800000", "L 0,0", "L 25400000,0"},
      // Simple tabs put half their gap from a board's start, and after a
      // corner half their gap from it and a gap apart: the tape kept no stub
      // by the corner nor between the two, the start after the corner alone
      // on the side that only the piece after it runs on.
      {"J -650684800,-350822600", "J -654552200,-342613200", "L -656359200,-338777500", "J -660226600,-330568000",
       "L -660400000,-330200000", "J -668609500,-334067400", "L -705049300,-351234000", "J -701181900,-359443400",
       "J -697314400,-367652900", "L -695334100,-371856600", "L -650684800,-350822600"},
      // Tabs 0 wide with break-off holes put 2 and 4 units past a corner:
      // the stubs they leave show no way, the side is known from the piece
      // after them.
      {"J 327720846,661603326", "L 307314067,671508319", "L 319440645,638233021", "L 319440646,638233023",
       "H 316764467,636397348", "H 317995845,638934297", "H 319227223,641471246", "J 319440646,638233023",
       "L 319440647,638233025", "H 316764468,636397350", "H 317995846,638934299", "H 319227224,641471248",
       "J 319440647,638233025", "L 330200000,660400000", "L 328372212,661287167", "H 330207887,658610988",
       "H 327670938,659842366", "H 325133989,661073744", "J 328372212,661287167", "L 327720846,661603326"},
      // Simple tabs with break-off holes put a gap apart, three in a row:
      // the two pieces between are starts alone, the line they stand on
      // known from the pieces before and after them.
      {"J -334493540,-291278742", "L -332677897,-294158314", "H -331295400,-296350919", "H -331191083,-296516349",
       "H -331086765,-296681779", "J -329704268,-298874383", "H -328321772,-301067013", "H -328217454,-301232443",
       "H -328113136,-301397873", "J -326730639,-303590477", "H -325348143,-305783082", "H -325243825,-305948537",
       "H -325139507,-306113967", "J -323757011,-308306572", "L -296931207,-350851572", "L -299885024,-354985091",
       "L -347443704,-365356140", "L -336620993,-291572671", "L -334493540,-291278742"},
  };
  for (std::size_t k = 0; k < layers.size(); ++k) {
    RTDB->Clear();
    Seq->SetInsertAtEnd(40);
    std::vector<int32_t> starts;
    for (const std::string& e : layers[k]) {
      std::istringstream in(e.substr(2));
      TIntPoint p;
      char comma = 0;
      in >> p.X >> comma >> p.Y;
      if (e[0] == 'J') starts.push_back(RTDB->AddJog(p, 40, 0, 3, 1));
      if (e[0] == 'H') starts.push_back(RTDB->AddHole(p, 40, 7));
      if (e[0] == 'L') RTDB->AddLine(p, 40, 0, NoZOffset);
    }
    for (const int32_t h : starts) EXPECT_EQ(FindTabbedCut(h).Starts, starts) << "layer " << k << ", start " << h;
  }
}

}  // namespace
