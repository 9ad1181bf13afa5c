// The hole spacing check: the pair classes, the reports of a recording
// check, a brute-force comparison on random holes, the dialog, and the menu
// command that deletes and moves single hits under one undo step.
#include "routpath/hole_spacing.h"

#include <algorithm>
#include <random>
#include <set>
#include <tuple>

#include "drill_tools_fixture.h"
#include "foundation/settings.h"

namespace {

class TRecordingCheck : public TSpacingCheck {
 public:
  std::vector<int32_t> TooClose, Identical, Pilot;
  std::set<std::pair<int32_t, int32_t>> ClosePositions;
  // Every report in order: fault, hole, place.
  std::vector<std::tuple<int, int32_t, int32_t, int32_t>> Sequence;
  bool Suffice = true;

 protected:
  void ReportTooClose(const TSpacingHit& h) override {
    TooClose.push_back(h.Index);
    ClosePositions.insert({h.X, h.Y});
    Sequence.push_back({1, h.Index, h.X, h.Y});
  }
  void ReportIdentical(const TSpacingHit& h) override {
    Identical.push_back(h.Index);
    Sequence.push_back({4, h.Index, h.X, h.Y});
  }
  void ReportPilot(const TSpacingHit& h) override {
    Pilot.push_back(h.Index);
    Sequence.push_back({2, h.Index, h.X, h.Y});
  }
  bool FirstReportsSuffice(const std::vector<TSpacingReport>&) override { return Suffice; }
};

class THoleSpacingTest : public TDrillToolsTest {
 protected:
  void SetUp() override {
    TDrillToolsTest::SetUp();
    ToolTable[1].Diameter = 1000000;
    ToolTable[2].Diameter = 2000000;
    ToolTable[3].Diameter = 1000000;
    ToolTable[4].Diameter = 1000001;
    ToolTable[5].Diameter = 1000001;
  }
  TRecordingCheck Check(int32_t spacing, bool pilot = true, bool duplicate = true, bool clear = true,
                        bool firstOnly = false, bool suffice = true) {
    TRecordingCheck c;
    c.FirstReportsOnly = firstOnly;
    c.Suffice = suffice;
    c.Init(pilot, duplicate, clear, spacing);
    c.Build();
    c.Run();
    return c;
  }
};

using V = std::vector<int32_t>;

TEST_F(THoleSpacingTest, WallsExactlyAtTheClearancePassAndOneUnitCloserFail) {
  Hole(0, 0, 1);
  Hole(1000000 + 50000, 0, 1);  // same tool: allowance is the diameter
  EXPECT_EQ(Check(50000).TooClose, V{});
  DRDB->AddHoleOnLayer(0, 10000000, 30, 1, true);
  Hole(1000000 + 49999, 10000000, 1);
  EXPECT_EQ(Check(50000).TooClose, (V{4, 3}));
  // Different tools of odd diameters: each half truncated.
  Hole(0, 20000000, 4);
  Hole(1000000 + 50000, 20000000, 5);
  EXPECT_EQ(Check(50000).TooClose, (V{4, 3}));
  Hole(0, 30000000, 4);
  Hole(1000000 + 49999, 30000000, 5);
  EXPECT_EQ(Check(50000).TooClose, (V{4, 3, 8, 7}));
}

TEST_F(THoleSpacingTest, IdenticalAndPilotHolesAreReportedByDiameter) {
  Hole(0, 0, 1);
  Hole(0, 0, 3);  // another tool number, the same diameter
  Hole(0, 0, 1);
  Hole(5000000, 0, 2);
  Hole(5000000, 0, 1);  // a pilot that comes after the large hole
  Hole(9000000, 0, 1);  // a pilot that comes first
  Hole(9000000, 0, 2);
  TRecordingCheck c = Check(0);
  std::sort(c.Identical.begin(), c.Identical.end());
  EXPECT_EQ(c.Identical, (V{2, 3, 3}));  // the highest twice, the middle once
  std::sort(c.Pilot.begin(), c.Pilot.end());
  EXPECT_EQ(c.Pilot, (V{5, 6}));
  EXPECT_EQ(c.TooClose, V{});
  // Each kind only when asked for.
  TRecordingCheck quiet = Check(0, false, false, true);
  EXPECT_TRUE(quiet.Identical.empty());
  EXPECT_TRUE(quiet.Pilot.empty());
}

TEST_F(THoleSpacingTest, DuplicatesAreFoundEvenWhenNothingHasADiameter) {
  ToolTable.Fill(TToolRecord{});
  Hole(7, 7, 1);
  Hole(7, 7, 1);
  Hole(8, 7, 1);
  TRecordingCheck c = Check(0);
  EXPECT_EQ(c.Identical, V{2});
  EXPECT_EQ(c.TooClose, V{});
}

TEST_F(THoleSpacingTest, OnlyLiveHolesOfTheDrillLayersTakePart) {
  Hole(0, 0, 1, 39);
  Hole(0, 0, 1, 35);
  DRDB->AddSlotOnLayer(0, 0, 100, 0, 30, 1, true);
  DRDB->AddCircleOnLayer(0, 0, 500, 30, 1, true);
  const int32_t gone = Hole(0, 0, 1);
  DRDB->DeleteEntity(gone);
  EXPECT_EQ(Check(0).Identical, V{2});
}

TEST_F(THoleSpacingTest, StepCopiesTakePartButNeverMeetTheirOwnHole) {
  const int32_t a = Hole(0, 0, 1);
  DRDB->EntityAt(a)->SetStepObj(RowPattern(3, 1500000));  // hits at 0 to 4.5 mm, too close
  EXPECT_EQ(Check(100000).TooClose, V{});
  Hole(4000000, 0, 1);  // between the last two copies
  TRecordingCheck c = Check(100000);
  EXPECT_EQ(c.TooClose.size(), 4u);
  EXPECT_EQ(c.ClosePositions, (std::set<std::pair<int32_t, int32_t>>{{3000000, 0}, {4000000, 0}, {4500000, 0}}));
}

TEST_F(THoleSpacingTest, PairsAcrossBucketBordersAndHugeReachesAreFound) {
  // Diagonal neighbours either way, around bucket borders and the origin.
  ToolTable[6].Diameter = 60000000;  // a reach beyond 2^25
  Hole(-1, -1, 1);
  Hole(0, 0, 1);
  Hole(33554431, -33554433, 1);
  Hole(33554433, -33554431, 1);
  Hole(100000000, 0, 6);
  Hole(150000000, 0, 6);  // 50,000,000 apart: walls overlap
  TRecordingCheck c = Check(0);
  std::sort(c.TooClose.begin(), c.TooClose.end());
  EXPECT_EQ(c.TooClose, (V{1, 2, 3, 4, 5, 6}));
}

TEST_F(THoleSpacingTest, MatchesABruteForceSearchOnRandomHoles) {
  std::mt19937 rng(29);
  std::uniform_int_distribution<int32_t> pos(-60000000, 60000000), tool(1, 5);
  std::vector<TSpacingHit> holes;
  for (int32_t i = 0; i < 5000; ++i) {
    TSpacingHit h{pos(rng), pos(rng), tool(rng), 0};
    if (i % 50 == 0 && !holes.empty()) {  // some exact coincidences
      h.X = holes.back().X;
      h.Y = holes.back().Y;
    }
    h.Index = Hole(h.X, h.Y, h.Tool);
    holes.push_back(h);
  }
  const int32_t spacing = 200000;
  TRecordingCheck c = Check(spacing);
  c.Init(true, true, true, spacing);
  c.Build();  // the reach, for the brute force
  std::multiset<int32_t> close, identical, pilot;
  for (size_t i = 0; i < holes.size(); ++i)
    for (size_t j = 0; j < i; ++j) {
      switch (c.Classify(holes[i], holes[j])) {
        case 1: close.insert({holes[i].Index, holes[j].Index}); break;
        case 2: pilot.insert(holes[i].Index); break;
        case 3: pilot.insert(holes[j].Index); break;
        case 4: identical.insert(holes[i].Index); break;
      }
    }
  ASSERT_GT(close.size(), 20u);
  TRecordingCheck r = Check(spacing);
  EXPECT_EQ(std::multiset<int32_t>(r.TooClose.begin(), r.TooClose.end()), close);
  EXPECT_EQ(std::multiset<int32_t>(r.Identical.begin(), r.Identical.end()), identical);
  EXPECT_EQ(std::multiset<int32_t>(r.Pilot.begin(), r.Pilot.end()), pilot);
}

// Stacks of identical hits and pilots, hits near them and across bucket
// borders, several tools, step copies on top of each other and of other
// holes: reporting each hit once per fault gives every pair's reports with
// the repeats left out, in the same order.
TEST_F(THoleSpacingTest, FirstReportsAreEveryPairsReportsWithoutTheRepeats) {
  std::mt19937 rng(7);
  auto pick = [&rng](int32_t a, int32_t b) { return std::uniform_int_distribution<int32_t>(a, b)(rng); };
  ToolTable[6].Diameter = 0;
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    delete DRDB;
    DRDB = new TDrillDatabase();
    std::vector<std::pair<int32_t, int32_t>> places;
    for (int k = pick(1, 8); k > 0; --k) places.push_back({pick(-5000000, 5000000), pick(-5000000, 5000000)});
    TStepObject* steps[] = {RowPattern(3, 0), RowPattern(2, pick(-1500000, 1500000))};
    for (int k = pick(1, 400); k > 0; --k) {
      auto [x, y] = places[pick(0, int32_t(places.size()) - 1)];
      const int kind = pick(0, 9);
      if (kind >= 6 && kind < 9) {
        x += pick(-1500000, 1500000);
        y += pick(-1500000, 1500000);
      } else if (kind == 9) {
        x = pick(-8000000, 8000000);
      }
      const int32_t hole = Hole(x, y, pick(0, 3) == 0 ? pick(1, 6) : pick(1, 2));
      if (pick(0, 15) == 0) DRDB->EntityAt(hole)->SetStepObj(steps[pick(0, 1)]);
    }
    const int32_t spacing = pick(0, 3) * 100000;
    const bool pilot = pick(0, 3) != 0, duplicate = pick(0, 3) != 0, clear = pick(0, 3) != 0;
    const TRecordingCheck pairs = Check(spacing, pilot, duplicate, clear);
    std::set<std::tuple<int, int32_t, int32_t, int32_t>> seen;
    std::vector<std::tuple<int, int32_t, int32_t, int32_t>> first;
    for (const auto& r : pairs.Sequence)
      if (seen.insert(r).second) first.push_back(r);
    EXPECT_EQ(Check(spacing, pilot, duplicate, clear, true).Sequence, first);
    // A reaction that wants every pair gets every pair.
    EXPECT_EQ(Check(spacing, pilot, duplicate, clear, true, false).Sequence, pairs.Sequence);
    for (TStepObject* step : steps)
      if (step->IsUnused()) delete step;
  }
}

// ---- Dialog and command -----------------------------------------------------------------

TEST_F(THoleSpacingTest, DialogRefusesAnOutOfRangeClearanceAndReadsTheBoxes) {
  QueueModalScript("TSpacingCheckDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Spacing Check");
    EXPECT_EQ(f.Get<TEdit>("ClearanceEdit").Text(), "0.005");
    EXPECT_TRUE(f.Get<TCheckBox>("DuplicateCheckBox").Checked());
    EXPECT_FALSE(f.Get<TCheckBox>("PilotCheckBox").Checked());
    f.Get<TEdit>("ClearanceEdit").SetText("1.5");
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    f.Get<TEdit>("ClearanceEdit").SetText("0.002");
    f.Click("PilotCheckBox");
    f.Click("OKButton");
  });
  bool duplicate = false, pilot = false, clearance = false;
  int32_t spacing = -1;
  ASSERT_TRUE(ExecuteSpacingCheckDialog(duplicate, pilot, clearance, spacing));
  EXPECT_EQ(spacing, 50800);
  EXPECT_TRUE(duplicate && pilot && clearance);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "Invalid input <1.5>.  Value must\r\nbe between 0 and 1 inch");
  // All boxes clear, and Cancel: nothing to do.
  QueueModalScript("TSpacingCheckDialog", [](TForm& f) {
    f.Click("DuplicateCheckBox");
    f.Click("ClearanceCheckBox");
    f.Click("OKButton");
  });
  EXPECT_FALSE(ExecuteSpacingCheckDialog(duplicate, pilot, clearance, spacing));
  QueueModalScript("TSpacingCheckDialog", [](TForm& f) { f.Click("CancelButton"); });
  EXPECT_FALSE(ExecuteSpacingCheckDialog(duplicate, pilot, clearance, spacing));
}

TEST_F(THoleSpacingTest, CommandActsOnSingleHitsAndUndoesInOneStep) {
  Hole(20000000, 0, 1);
  const int32_t stepped = Hole(0, 0, 1);  // its third hit is the duplicate of the first hole
  DRDB->EntityAt(stepped)->SetStepObj(RowPattern(3, 10000000));  // hits at 0, 10, 20, 30 mm
  Hole(50000000, 0, 2);
  Hole(50000000, 0, 1);                                           // a pilot
  Hole(70000000, 0, 1);
  Hole(71000000, 0, 1);                                           // too close
  DrillUndo->BeginOperation("Setup");
  QueueModalScript("TSpacingCheckDialog", [](TForm& f) {
    f.Click("PilotCheckBox");
    f.Click("OKButton");
  });
  SpacingCheckCommand();
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "Spacing Check did the following:\r\n1 identical holes were deleted\r\n"
            "1 pilot holes were deleted\r\n2 holes failed the spacing check and\r\n"
            "were moved to layer D9 for inspection.");
  // Every hit of the stepped hole but the duplicate one is still drilled.
  std::multiset<std::pair<int32_t, int32_t>> hits;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    if (!Live(i)) continue;
    TDrillEntity* e = DRDB->EntityAt(i);
    TIntPoint p;
    e->GetPoint(p);
    hits.insert({p.X, int32_t(DRDB->WordAt(i))});
    if (e->BeginStepCopies())
      while (e->NextStepCopy(p)) hits.insert({p.X, int32_t(DRDB->WordAt(i))});
  }
  const std::multiset<std::pair<int32_t, int32_t>> expected{
      {0, 1}, {10000000, 1}, {20000000, 1}, {30000000, 1}, {50000000, 1}, {70000000, 512}, {71000000, 512}};
  EXPECT_EQ(hits, expected);
  EXPECT_NE(DisplayedNCLayerMask & NCLayerBit(39), 0u);
  std::string name;
  ASSERT_TRUE(DrillUndo->CanUndo(name));
  EXPECT_EQ(name, "Spacing Check");
  const int32_t before = LiveCount();
  DrillUndo->Undo();
  EXPECT_EQ(LiveCount(), 6);
  EXPECT_EQ(before, 7);  // the stepped hole became four holes, two holes went
  EXPECT_TRUE(Live(stepped));
}

// Without room in the store for every hole the check would add, nothing is
// deleted, split or moved: one box says what it needs, no summary, no undo
// step. With just the room it needs, it goes ahead.
TEST_F(THoleSpacingTest, CommandWithoutRoomForItsHolesChangesNothing) {
  // A stepped hole of four hits, one of them too close to a hole: the split
  // adds four holes and the two moves two more.
  const int32_t stepped = Hole(0, 0, 1);
  DRDB->EntityAt(stepped)->SetStepObj(RowPattern(3, 10000000));
  Hole(10400000, 0, 1);
  Hole(50000000, 0, 1);
  Hole(50000000, 0, 1);  // identical: deleted, adds nothing
  Hole(80000000, 0, 1);
  Hole(81500000, 0, 1);  // too close at a clearance of 0.04 in, not at 0
  DrillUndo->BeginOperation("Setup");
  while (DrillEntityCount < TDrillEntities::HighestIndex - 6)
    DRDB->AppendEntity(new TDrillHole({-90000000, 0}, 1), NCLayerBit(30) | SlotDeletedBit);
  auto check = [](const char* clearance) {
    ResetHeadlessDialogs();
    QueueModalScript("TSpacingCheckDialog", [clearance](TForm& f) {
      f.Get<TEdit>("ClearanceEdit").SetText(clearance);
      f.Click("OKButton");
    });
    SpacingCheckCommand();
  };
  check("0.04");
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "The drill database is full: it holds at most 1,000,000 entities.\r\nChecking the spacing needs 8 "
            "more; there is room for 6.\r\nNothing was changed.");
  EXPECT_EQ(DrillEntityCount, TDrillEntities::HighestIndex - 6);
  EXPECT_EQ(LiveCount(), 6);
  EXPECT_TRUE(Live(stepped));
  EXPECT_EQ(DRDB->EntityAt(stepped)->GetStepObj()->Offsets().size(), 3u);
  std::string name;
  ASSERT_TRUE(DrillUndo->CanUndo(name));
  EXPECT_EQ(name, "Setup");

  check("0");
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "Spacing Check did the following:\r\n1 identical holes were deleted\r\n"
            "0 pilot holes were deleted\r\n2 holes failed the spacing check and\r\n"
            "were moved to layer D9 for inspection.");
  EXPECT_EQ(DrillEntityCount, TDrillEntities::HighestIndex);
  EXPECT_EQ(LiveCount(), 8);  // four hits of the stepped hole, four holes
  ASSERT_TRUE(DrillUndo->CanUndo(name));
  EXPECT_EQ(name, "Spacing Check");
}

}  // namespace
