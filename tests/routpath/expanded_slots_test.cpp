// Conversion of expanded slots: slots expanded by the program's own slot
// pattern come back as the original slots; hits that only look like a row
// stay hits; the nibble size question and undo.
#include "routpath/expanded_slots.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "drill_tools_fixture.h"
#include "foundation/settings.h"
#include "model/hit_patterns.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

class TCollectingSlot : public TDrilledSlotPattern {
 public:
  using TDrilledSlotPattern::TDrilledSlotPattern;
  void EmitHit(int32_t x, int32_t y) override { Hits.push_back({x, y}); }
  std::vector<TIntPoint> Hits;
};

class TExpandedSlotsTest : public TDrillToolsTest {
 protected:
  void SetUp() override {
    TDrillToolsTest::SetUp();
    ToolTable[1].Diameter = 1000000;
    ToolTable[2].Diameter = 1000000;
  }
  // Expands a slot into holes the way a tape drills it.
  static void ExpandedSlot(TIntPoint a, TIntPoint b, int32_t tool, int32_t cusp, uint8_t layer = 30,
                           TStepObject* step = nullptr) {
    TCollectingSlot pattern(0, a, b, ToolTable[tool].Diameter, cusp);
    pattern.Generate();
    for (const TIntPoint& p : pattern.Hits) {
      const int32_t n = Hole(p.X, p.Y, tool, layer);
      if (step != nullptr) DRDB->EntityAt(n)->SetStepObj(step);
    }
  }
  static void Convert(const std::string& nib = "0.001") {
    ScriptInputBoxAnswer(nib);
    ConvertExpandedSlots();
  }
  struct TSlot {
    TIntPoint A, B;
    int32_t Tool;
    uint32_t Word;
    TStepObject* Step;
  };
  static std::vector<TSlot> LiveSlots() {
    std::vector<TSlot> slots;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      TDrillEntity* e = DRDB->EntityAt(i);
      if (!Live(i) || e->GetType() != etDrillSlot) continue;
      TSlot s{{}, {}, e->Tool, DRDB->WordAt(i), e->GetStepObj()};
      e->GetPoint(s.A);
      e->GetSecondPoint(s.B);
      slots.push_back(s);
    }
    return slots;
  }
  static int32_t LiveHoles() {
    int32_t n = 0;
    for (int32_t i = 1; i <= DrillEntityCount; ++i)
      n += Live(i) && DRDB->EntityAt(i)->GetType() == etDrillHole ? 1 : 0;
    return n;
  }
};

TEST_F(TExpandedSlotsTest, PitchFollowsTheCusp) {
  EXPECT_EQ(NibblePitch(500000, 500000), 0);
  EXPECT_EQ(NibblePitch(500000, 600000), 0);
  EXPECT_NEAR(NibblePitch(500000, 101600), 2 * std::sqrt(500000.0 * 500000 - 398400.0 * 398400), 1e-6);
}

TEST_F(TExpandedSlotsTest, ExpandedSlotsOfEveryLengthAngleAndOverlapComeBack) {
  struct TCase {
    double Length, Angle;
    int32_t Cusp;
  };
  std::vector<TCase> cases;
  for (double length : {700000.0, 1000000.0, 2540000.0, 7777777.0, 25400000.0})
    for (double angle : {0.0, 30.0, 45.0, 90.0, 137.5, 180.0, 271.0})
      for (int32_t cusp : {2540, 12700, 50000, 101600}) cases.push_back({length, angle, cusp});
  std::set<std::pair<std::pair<int32_t, int32_t>, std::pair<int32_t, int32_t>>> expected;
  int32_t column = 0;
  for (const TCase& c : cases) {
    // Each slot far from the others.
    const int32_t ox = (column % 20) * 40000000 - 400000000, oy = (column / 20) * 40000000 - 400000000;
    ++column;
    const double r = c.Angle * Pi / 180;
    const TIntPoint a{ox + 3, oy - 7};
    const TIntPoint b{int32_t(std::lround(ox + c.Length * std::cos(r))), int32_t(std::lround(oy + c.Length * std::sin(r)))};
    ExpandedSlot(a, b, 1, c.Cusp);
    expected.insert({{a.X, a.Y}, {b.X, b.Y}});
  }
  const int32_t holes = LiveHoles();
  ASSERT_GT(holes, int32_t(cases.size()) * 3);
  DrillUndo->BeginOperation("Setup");
  Convert();
  EXPECT_EQ(LiveHoles(), 0);
  std::set<std::pair<std::pair<int32_t, int32_t>, std::pair<int32_t, int32_t>>> found;
  for (const TSlot& s : LiveSlots()) {
    EXPECT_EQ(s.Tool, 1);
    EXPECT_EQ(s.Word, NCLayerBit(30));
    found.insert({{s.A.X, s.A.Y}, {s.B.X, s.B.Y}});  // runs from the first hit drilled
  }
  EXPECT_EQ(found, expected);
  // One undo step brings every hit back.
  std::string name;
  ASSERT_TRUE(DrillUndo->CanUndo(name));
  EXPECT_EQ(name, "Expanded Slot Conv.");
  DrillUndo->Undo();
  EXPECT_EQ(LiveHoles(), holes);
  EXPECT_TRUE(LiveSlots().empty());
}

TEST_F(TExpandedSlotsTest, ARowInAnyDrillingOrderBecomesTheSlotFromEndToEnd) {
  // Six hits 0.004 in apart under a 0.030 in drill: each reaches five of the
  // others. Every order of them, alone and drilled twice, comes back as the
  // whole slot; no hole is left and none deleted outside it.
  ToolTable[1].Diameter = 762000;
  std::vector<int32_t> xs;
  for (int i = 0; i < 6; ++i) xs.push_back(38100000 + i * 101600);
  const std::vector<int32_t> sorted = xs;
  int orders = 0;
  do {
    for (int copies : {1, 2}) {
      if (copies == 2 && orders % 7 != 0) continue;
      delete DRDB;
      DRDB = new TDrillDatabase();
      for (int c = 0; c < copies; ++c)
        for (int32_t x : xs) Hole(x, 25400000, 1);
      Convert();
      const std::vector<TSlot> slots = LiveSlots();
      ASSERT_EQ(slots.size(), size_t(copies)) << orders;
      EXPECT_EQ(LiveHoles(), 0) << orders;
      for (const TSlot& s : slots) {
        EXPECT_EQ(std::min(s.A.X, s.B.X), sorted.front()) << orders;
        EXPECT_EQ(std::max(s.A.X, s.B.X), sorted.back()) << orders;
      }
    }
    ++orders;
  } while (std::next_permutation(xs.begin(), xs.end()));
  EXPECT_EQ(orders, 720);
}

TEST_F(TExpandedSlotsTest, ASlotDrilledTwiceComesBackTwiceWhole) {
  // Each hit of the row stands twice (a tape read in twice): the rows pass
  // over the places they hold, so both copies come back as the whole slot.
  ExpandedSlot({0, 0}, {5000000, 0}, 1, 12700);
  ExpandedSlot({0, 0}, {5000000, 0}, 1, 12700);
  Convert();
  EXPECT_EQ(LiveHoles(), 0);
  const std::vector<TSlot> slots = LiveSlots();
  ASSERT_EQ(slots.size(), 2u);
  for (const TSlot& s : slots) {
    EXPECT_EQ(std::min(s.A.X, s.B.X), 0);
    EXPECT_EQ(std::max(s.A.X, s.B.X), 5000000);
  }
}

TEST_F(TExpandedSlotsTest, HitsThatOnlyLookLikeARowStayHits) {
  // Two hits alone.
  Hole(0, 0, 1);
  Hole(200000, 0, 1);
  // Three hits farther apart than the pitch (604,252 at this nibble).
  Hole(0, 10000000, 1);
  Hole(610000, 10000000, 1);
  Hole(1220000, 10000000, 1);
  // Three hits of two tools, and three across two layers.
  Hole(0, 20000000, 1);
  Hole(200000, 20000000, 2);
  Hole(400000, 20000000, 1);
  Hole(0, 30000000, 1);
  Hole(200000, 30000000, 1, 31);
  Hole(400000, 30000000, 1);
  // A bend: the third hit is more than the tolerance off the line.
  Hole(0, 40000000, 1);
  Hole(200000, 40000000, 1);
  Hole(400000, 40000000 + 30000, 1);
  // Three hits of which one belongs to a stepped hole.
  Hole(0, 50000000, 1);
  Hole(200000, 50000000, 1);
  DRDB->EntityAt(Hole(400000, 50000000, 1))->SetStepObj(RowPattern(2, 100000000));
  // Two hits stacked beside a third within the pitch: no row of no length
  // swallows the third.
  Hole(0, 70000000, 1);
  Hole(0, 70000000, 1);
  Hole(200000, 70000000, 1);
  // Slots, circles and text are never touched.
  DRDB->AddSlotOnLayer(0, 60000000, 100, 60000000, 30, 1, true);
  DRDB->AddCircleOnLayer(200000, 60000000, 500000, 30, 1, true);
  const int32_t live = LiveCount();
  Convert();
  EXPECT_EQ(LiveCount(), live);
  EXPECT_EQ(LiveSlots().size(), 1u);
}

TEST_F(TExpandedSlotsTest, HitsOfOneStepObjectBecomeASlotThatKeepsIt) {
  TStepObject* step = RowPattern(2, 100000000);
  ExpandedSlot({0, 0}, {3000000, 0}, 1, 12700, 30, step);
  Hole(1000000, 0, 1);  // a plain hole on the same row joins no stepped slot
  Convert();
  const auto slots = LiveSlots();
  ASSERT_EQ(slots.size(), 1u);
  EXPECT_EQ(slots[0].Step, step);
  EXPECT_EQ(slots[0].A, (TIntPoint{0, 0}));
  EXPECT_EQ(slots[0].B, (TIntPoint{3000000, 0}));
  EXPECT_EQ(LiveHoles(), 1);
}

TEST_F(TExpandedSlotsTest, CancelAndIllegalNibblesChangeNothing) {
  ExpandedSlot({0, 0}, {3000000, 0}, 1, 12700);
  const int32_t count = DrillEntityCount;
  DrillUndo->BeginOperation("Setup");
  ScriptInputBoxCancel();
  ConvertExpandedSlots();
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Caption, "Maximum nibble size");
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "Enter nib size in inches");
  EXPECT_EQ(ShownMessageBoxes()[0].Proposal, "0.001");
  Convert("0.0000999");  // 2,539 units
  Convert("0.25001");    // beyond 6,350,000
  Convert("abc");
  EXPECT_EQ(DrillEntityCount, count);
  ASSERT_EQ(ShownMessageBoxes().size(), 7u);
  EXPECT_EQ(ShownMessageBoxes()[6].Text, "Illegal value.");
  EXPECT_EQ(ShownMessageBoxes()[6].Type, mtError);
  std::string name;
  ASSERT_TRUE(DrillUndo->CanUndo(name));
  EXPECT_EQ(name, "Setup");
  // The smallest and the largest nibble are accepted.
  Convert("0.0001");
  EXPECT_EQ(LiveSlots().size(), 1u);
}

}  // namespace
