#include <algorithm>
#include <climits>
#include <random>
#include <utility>
#include <vector>

#include "drill_test_fixture.h"
#include "foundation/geometry_matrix.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"

namespace {

TMatrix3 Shift(double dx, double dy) {
  TMatrix3 m = IdentityMatrix;
  TranslateMatrix(m, dx, dy);
  return m;
}

TIntPoint PointOf(int32_t index) {
  TIntPoint p;
  DRDB->EntityAt(index)->GetPoint(p);
  return p;
}

void FreeList(TDrillHandle* list) { FreeObjectList<TRootEntityHandle>(list); }

}  // namespace

class TDrillDatabaseTest : public TDrillTest {
 protected:
  void SetUp() override {
    TDrillTest::SetUp();
    ToolTable[1].Diameter = 1000000;
    ToolTable[2].Diameter = 2000000;
  }
};

// The editing road with undo and redo: add, move, copy, step, delete, each a
// journalled operation that undoes and redoes as one step.
TEST_F(TDrillDatabaseTest, EditsUndoAndRedo) {
  const int32_t a = DRDB->AddHole(0, 0, true);
  DrillUndo->BeginOperation("Add Hole");
  EXPECT_EQ(LiveCount(), 1);
  EXPECT_TRUE(DatabaseModified);

  // Move.
  auto* h = new TDrillHandle(a);
  bool failed = true;
  h->TransformList(Shift(5000000, 0), false, failed, 30, false);
  FreeList(h);
  DrillUndo->BeginOperation("Move");
  EXPECT_FALSE(failed);
  ASSERT_EQ(DrillEntityCount, 2);
  EXPECT_EQ(PointOf(2), (TIntPoint{5000000, 0}));
  EXPECT_EQ(LiveCount(), 1);

  // Copy onto layer D3.
  h = new TDrillHandle(2);
  h->TransformList(Shift(0, 5000000), true, failed, 33, true);
  FreeList(h);
  DrillUndo->BeginOperation("Copy");
  EXPECT_EQ(LiveCount(), 2);
  EXPECT_EQ(Word(3), NCLayerBit(33));

  // Automatic step 3 x 1 on the copy.
  TAutoStepRepeatSettings s;
  s.NumberInX = 3;
  s.NumberInY = 1;
  s.DistanceInX = 10000000;
  s.Nested = true;
  AutoStepRepeatSettings = [s] { return s; };
  h = new TDrillHandle(3);
  h->Step();
  FreeList(h);
  ASSERT_EQ(DrillEntityCount, 4);
  ASSERT_NE(At(4)->GetStepObj(), nullptr);
  EXPECT_EQ(At(4)->GetStepObj()->Commands(),
            (TStepCommandList{{1, 1, 0, 0, 0}, {0, 2, 10000000, 0, 0}, {0, 1, 0, 0, 0}}));
  EXPECT_EQ(At(4)->HitCount(), 3);

  // Delete the stepped hole.
  h = new TDrillHandle(4);
  h->DeleteList();
  FreeList(h);
  DrillUndo->BeginOperation("Delete");
  EXPECT_EQ(LiveCount(), 1);

  std::string name;
  ASSERT_TRUE(DrillUndo->CanUndo(name));
  EXPECT_EQ(name, "Delete");
  DrillUndo->Undo();  // delete
  EXPECT_EQ(LiveCount(), 2);
  DrillUndo->Undo();  // step
  EXPECT_TRUE(static_cast<int32_t>(Word(3)) > 0);
  EXPECT_TRUE(SlotDeleted(Word(4)));
  DrillUndo->Undo();  // copy
  DrillUndo->Undo();  // move
  EXPECT_EQ(LiveCount(), 1);
  EXPECT_TRUE(static_cast<int32_t>(Word(1)) > 0);
  DrillUndo->Redo();  // move
  DrillUndo->Redo();  // copy
  DrillUndo->Redo();  // step
  EXPECT_EQ(LiveCount(), 2);
  EXPECT_TRUE(static_cast<int32_t>(Word(4)) > 0);
  EXPECT_TRUE(SlotDeleted(Word(3)));
}

// Deleting a layer compacts the store, so the journal's indices are dropped
// with it; an undo afterwards changes nothing.
TEST_F(TDrillDatabaseTest, DeleteLayerResetsJournal) {
  DRDB->AddHoleOnLayer(0, 0, 31, 1, true);
  DRDB->AddHoleOnLayer(1, 1, 30, 1, true);
  DRDB->AddHoleOnLayer(2, 2, 30, 1, true);
  DrillUndo->BeginOperation("Adds");
  ASSERT_TRUE(DRDB->DeleteEntity(2));
  DrillUndo->BeginOperation("Delete");
  DRDB->DeleteLayer(31);
  ASSERT_EQ(DrillEntityCount, 1);
  EXPECT_EQ(PointOf(1), (TIntPoint{2, 2}));
  std::string name;
  EXPECT_FALSE(DrillUndo->CanUndo(name));
  DrillUndo->Undo();
  EXPECT_EQ(DrillEntityCount, 1);
  EXPECT_EQ(LiveCount(), 1);
  EXPECT_TRUE(DRDB->LayerIsEmpty(31));
}

// Tool numbers and layers that enter from outside are checked.
TEST_F(TDrillDatabaseTest, RefusesToolsOutsideTheTable) {
  EXPECT_EQ(DRDB->AddHoleOnLayer(0, 0, 30, 1001, true), 0);
  EXPECT_EQ(DRDB->AddSlotOnLayer(0, 0, 1, 1, 30, 0, true), 0);
  EXPECT_EQ(DRDB->AddTempHole(0, 0, -3), 0);
  EXPECT_EQ(DRDB->AddCircleOnLayer(0, 0, 5, 45, 1, true), 0);
  EXPECT_EQ(DrillEntityCount, 0);
  ASSERT_EQ(ShownMessageBoxes().size(), 4u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "Tool number 1001 is outside the tool table (1 to 1000).");

  // An import offset that would carry tool 990 past 1000 is refused before
  // any tool changes; the import is still made live.
  DRDB->AddHoleOnLayer(0, 0, 30, 5, false);
  DRDB->AddHoleOnLayer(0, 0, 30, 990, false);
  EXPECT_FALSE(DRDB->ActivateFrom(1, 20));
  EXPECT_EQ(At(1)->Tool, 5);
  EXPECT_EQ(At(2)->Tool, 990);
  EXPECT_EQ(LiveCount(), 2);
  EXPECT_TRUE(DRDB->ActivateFrom(1, 10));
  EXPECT_EQ(At(2)->Tool, 1000);
}

// A batch made ahead goes into an empty store as it is, and behind what a
// store holds over the page ends of both, in order; a store that fills up
// takes what fits, frees the rest and says so once.
TEST_F(TDrillDatabaseTest, TakeEntitiesFillsPagesInOrderUpToAFullStore) {
  auto fill = [](TDrillEntityBatch& batch, int32_t count) {
    std::vector<std::pair<TDrillEntity*, uint32_t>> made;
    for (int32_t i = 0; i < count; ++i) {
      TEntitySlot* slot = batch.Append(NCLayerBit(uint8_t(30 + i % 10)));
      slot->Entity = new TDrillHole({i, -i}, uint16_t(1 + i % 2));
      made.push_back({static_cast<TDrillEntity*>(slot->Entity), slot->Flags});
    }
    return made;
  };
  const int32_t count = TDrillEntities::PageSlots + 7;
  for (const bool empty : {true, false}) {
    DRDB->Clear();
    if (!empty) DRDB->AddHoleOnLayer(1, 2, 30, 1, true);
    const int32_t first = DrillEntityCount + 1;
    TDrillEntityBatch batch;
    const auto made = fill(batch, count);
    EXPECT_EQ(DRDB->TakeEntities(batch), count);
    EXPECT_EQ(batch.Count(), 0);
    ASSERT_EQ(DrillEntityCount, count + first - 1);
    EXPECT_EQ(DrillEntities->Count(), DrillEntityCount);
    for (int32_t i = 0; i < count; ++i) {
      ASSERT_EQ(At(first + i), made[std::size_t(i)].first) << i;
      ASSERT_EQ(Word(first + i), made[std::size_t(i)].second) << i;
    }
    // The emptied batch takes more and frees what it still holds.
    fill(batch, 3);
  }
  EXPECT_TRUE(ShownMessageBoxes().empty());

  // Room for two more.
  const int32_t nearlyFull = TDrillEntities::HighestIndex - 2;
  DrillEntities->SetCount(nearlyFull);
  DrillEntityCount = nearlyFull;
  TDrillEntityBatch batch;
  const auto made = fill(batch, 4);
  EXPECT_EQ(DRDB->TakeEntities(batch), 2);
  EXPECT_EQ(DrillEntityCount, TDrillEntities::HighestIndex);
  EXPECT_EQ(At(DrillEntityCount), made[1].first);
  EXPECT_EQ(batch.Count(), 0);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "The drill database is full: it holds at most 1,000,000 entities.");
  EXPECT_EQ(DRDB->TakeEntities(batch), 0);
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
}

// Hidden imports become live where they are placed; an entity that would
// leave the extent is reported and stays put.
TEST_F(TDrillDatabaseTest, TranslateFromReportsRefusals) {
  DRDB->AddHole(0, 0, false);
  DRDB->AddHole(1073000000, 0, false);
  EXPECT_TRUE(SlotDeleted(Word(1)));
  EXPECT_FALSE(DRDB->TranslateFrom(1, 1000000, 0, 32));
  EXPECT_EQ(Word(1), NCLayerBit(32));
  EXPECT_EQ(PointOf(1), (TIntPoint{1000000, 0}));
  EXPECT_EQ(PointOf(2), (TIntPoint{1073000000, 0}));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "1 of the 2 imported entities were moved; the other 1 stay where the file placed "
            "them, as they would leave the database extent.");
  // When nothing could be moved, the warning says so.
  EXPECT_FALSE(DRDB->TranslateFrom(2, 1000000, 0, 32));
  EXPECT_EQ(PointOf(2), (TIntPoint{1073000000, 0}));
  ASSERT_EQ(ShownMessageBoxes().size(), 2u);
  EXPECT_EQ(ShownMessageBoxes()[1].Text,
            "None of the 1 imported entities was moved: they stay where the file placed them, as "
            "they would leave the database extent.");
  // Placed where the file put it (the main part), a slot past the extent
  // stays there: the box says so and moves nothing.
  DRDB->AddSlot(1073000000, 0, 1074000000, 0, false);
  EXPECT_TRUE(DRDB->TranslateFrom(3, 0, 0, 32));
  EXPECT_EQ(Word(3), NCLayerBit(32));
  ASSERT_EQ(ShownMessageBoxes().size(), 3u);
  EXPECT_EQ(ShownMessageBoxes()[2].Text,
            "The imported entity lies past the editing area of +/- 42.27 in: it stays where the file put it "
            "and is drilled there.");
}

// Extents cover step copies, circles by their radius and half the largest
// tool; a start beyond the store leaves the box alone.
TEST_F(TDrillDatabaseTest, ExtentsWithStepCopies) {
  ToolTable.Fill(TToolRecord{});
  ToolTable[7].Diameter = 3;
  DRDB->AddHoleOnLayer(0, 0, 30, 7, true);
  int32_t minX = INT32_MAX, maxX = -INT32_MAX, minY = INT32_MAX, maxY = -INT32_MAX;
  ASSERT_TRUE(DRDB->ExtentsFrom(1, minX, maxX, minY, maxY));
  EXPECT_EQ((TIntBox{minX, minY, maxX, maxY}), (TIntBox{-1, -1, 1, 1}));

  int32_t keep[4] = {5, 6, 7, 8};
  EXPECT_FALSE(DRDB->ExtentsFrom(2, keep[0], keep[1], keep[2], keep[3]));
  EXPECT_EQ(keep[0], 5);

  const int32_t c = DRDB->AddCircleOnLayer(1000, 0, 500, 31, 7, true);
  At(c)->SetStepObj(RowPattern(2, 10000));
  minX = minY = INT32_MAX;
  maxX = maxY = -INT32_MAX;
  ASSERT_TRUE(DRDB->VisibleExtents(minX, minY, maxX, maxY, true));
  EXPECT_EQ((TIntBox{minX, minY, maxX, maxY}), (TIntBox{-1, -501, 21501, 501}));
  minX = minY = INT32_MAX;
  maxX = maxY = -INT32_MAX;
  ASSERT_TRUE(DRDB->VisibleExtents(minX, minY, maxX, maxY, false));
  EXPECT_EQ(maxX, 1501);
}

// A stack scattered through many other holes: clicking on it visits every
// stacked hole once, lowest index first, before the cycle runs out.
TEST_F(TDrillDatabaseTest, PickCyclePassesOverEveryHolePickedBefore) {
  std::mt19937 rng(3);
  std::vector<int32_t> stacked;
  for (int32_t i = 1; i <= 600; ++i) {
    if (rng() % 5 == 0) {
      DRDB->AddHole(1000000, 1000000, true);
      stacked.push_back(i);
    } else {
      DRDB->AddHole(90000000 + int32_t(rng() % 1000000), 90000000, true);
    }
  }
  std::vector<int32_t> got;
  int32_t distance;
  TDrillHandle* list = nullptr;
  while (got.size() <= stacked.size() &&
         DRDB->PickCycle(6000000, 1000000, 1000000, distance, list, true)) {
    got.push_back(list->Index);
    FreeList(list);
  }
  EXPECT_EQ(got, stacked);
}

// Three holes on one spot: each click returns the next one (lowest index
// first), with the notice of several items; then the cycle fails once and
// starts again. Moving 21 pixels restarts it, 19 continues it.
TEST_F(TDrillDatabaseTest, PickCycleThroughStackedHoles) {
  for (int k = 0; k < 3; ++k) DRDB->AddHole(1000000, 1000000, true);
  DRDB->AddHole(9000000, 9000000, true);
  const int32_t tol = 6000000;
  std::vector<int32_t> got;
  int32_t distance;
  TDrillHandle* list = nullptr;
  for (int k = 0; k < 3; ++k) {
    ASSERT_TRUE(DRDB->PickCycle(tol, 1000000, 1000000, distance, list, true));
    got.push_back(list->Index);
    EXPECT_EQ(distance, 0);
    DRDB->ShowPickMarks();
    FreeList(list);
  }
  EXPECT_EQ(got, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(DRDB->PickMarkMultiple);
  EXPECT_TRUE(HeadlessViewServices().NoticeShown);
  EXPECT_FALSE(DRDB->PickCycle(tol, 1000000, 1000000, distance, list, true));
  EXPECT_EQ(list, nullptr);
  EXPECT_FALSE(HeadlessViewServices().NoticeShown);
  ASSERT_TRUE(DRDB->PickCycle(tol, 1000000, 1000000, distance, list, true));
  EXPECT_EQ(list->Index, 1);
  FreeList(list);

  const int32_t pixel = PixelsToLength(1);
  ASSERT_TRUE(DRDB->PickCycle(tol, 1000000 + 19 * pixel, 1000000, distance, list, true));
  EXPECT_EQ(list->Index, 2);
  FreeList(list);
  ASSERT_TRUE(DRDB->PickCycle(tol, 1000000 + 21 * pixel, 1000000, distance, list, true));
  EXPECT_EQ(list->Index, 1);
  FreeList(list);

  // Nearest pick, snap, window selection in either corner order and inverted.
  ASSERT_TRUE(DRDB->PickNearest(tol, 9000100, 9000000, true, list));
  EXPECT_EQ(list->Index, 4);
  FreeList(list);
  int32_t sx, sy;
  EXPECT_TRUE(DRDB->SnapPoint(tol, 8900000, 9000000, false, sx, sy));
  EXPECT_EQ((TIntPoint{sx, sy}), (TIntPoint{9000000, 9000000}));
  EXPECT_FALSE(DRDB->SnapPoint(10, 0, 0, false, sx, sy));
  EXPECT_EQ((TIntPoint{sx, sy}), (TIntPoint{0, 0}));
  ASSERT_TRUE(DRDB->SelectInWindow(2000000, 2000000, 0, 0, 0, list, true));
  EXPECT_EQ(list->Index, 3);
  EXPECT_EQ(list->NextHandle()->Index, 2);
  FreeList(list);
  ASSERT_TRUE(DRDB->SelectInWindow(0, 0, 2000000, 2000000, 1, list, true));
  EXPECT_EQ(list->Index, 4);
  EXPECT_EQ(list->Next, nullptr);
  FreeList(list);
}

// The pointer check compares in 64 bits: far from the initial last pick it
// always counts as moved.
TEST_F(TDrillDatabaseTest, CheckPickMovedFarFromLastPick) {
  DRDB->PickCount = 5;
  DRDB->CheckPickMoved(-2147483000, -2147483000);
  EXPECT_EQ(DRDB->PickCount, 0);
  DRDB->LastPickX = -2147483000;
  DRDB->LastPickY = 0;
  DRDB->PickCount = 5;
  DRDB->CheckPickMoved(2147483000, 0);
  EXPECT_EQ(DRDB->PickCount, 0);
  DRDB->PickCount = 5;
  DRDB->CheckPickMoved(-2147483000, 0);
  EXPECT_EQ(DRDB->PickCount, 5);
}

// A stepped panel of holes, slots, circles and text: hits, expansion into
// real entities, statistics and compaction.
TEST_F(TDrillDatabaseTest, SteppedPanel) {
  ToolTable[3].Diameter = 500000;
  DRDB->AddHoleOnLayer(0, 0, 30, 1, true);
  DRDB->AddHoleOnLayer(3000000, 0, 30, 1, true);
  DRDB->AddCircleOnLayer(6000000, 0, 4000000, 30, 2, true);
  DRDB->AddSlotOnLayer(0, 9000000, 5000000, 9000000, 31, 2, true);
  DRDB->AddTextOnLayer(0, 20000000, "A1", false, 31, 3, true);
  DrillUndo->BeginOperation("Panel");
  TStepObject* panel = new TStepObject(
      {{1, 1, 0, 0, 0}, {0, 2, 50000000, 0, 0}, {0, 1, 0, 30000000, 0}, {0, 1, 0, 0, 0}});
  for (int32_t i = 1; i <= 3; ++i) At(i)->SetStepObj(panel);
  TStepObject* other = RowPattern(1, 60000000);
  At(4)->SetStepObj(other);
  At(5)->SetStepObj(other);
  EXPECT_EQ(panel->CopyCount(), 3);

  TToolHits holes, others;
  DRDB->HitsPerTool(holes, others);
  EXPECT_EQ(holes[1], 8);
  EXPECT_EQ(others[2], At(3)->HitCount() + At(4)->HitCount());
  EXPECT_EQ(At(3)->HitCount() % 4, 0);

  TDrillHandle* list = nullptr;
  ASSERT_TRUE(DRDB->SelectInWindow(-5000000, -5000000, 11000000, 5000000, 0, list, true));
  list->ExpandStepsIntoDatabase();
  FreeList(list);
  // Three bases plus 3 x 3 copies.
  EXPECT_EQ(DrillEntityCount, 5 + 3 + 9);
  EXPECT_EQ(LiveCount(), 2 + 12);
  int circles = 0;
  for (int32_t i = 6; i <= DrillEntityCount; ++i) {
    EXPECT_EQ(At(i)->GetStepObj(), nullptr);
    if (At(i)->GetType() == etDrillCircle) {
      ++circles;
      EXPECT_EQ(At(i)->GetRadius(), 4000000);
    }
  }
  EXPECT_EQ(circles, 4);
  EXPECT_EQ(PointOf(DrillEntityCount), (TIntPoint{100000000, 30000000}));
  DRDB->HitsPerTool(holes, others);
  EXPECT_EQ(holes[1], 8);

  DrillUndo->Undo();
  EXPECT_EQ(LiveCount(), 5);

  TDrillStatistics stats;
  DRDB->CollectStatistics(stats);
  EXPECT_EQ(stats[12 + 15], 2);
  EXPECT_EQ(stats[12], 8);
  EXPECT_EQ(stats[14], 4);
  int32_t percent, bytes;
  TDrillDatabase::StatisticsBytes(stats, percent, bytes);
  EXPECT_EQ(bytes, 8 * 22 + 4 * 26);
  DRDB->Compact();
  EXPECT_EQ(DrillEntityCount, 5);
  TDrillStatistics none{};
  TDrillDatabase::StatisticsBytes(none, percent, bytes);
  EXPECT_EQ(percent, 0);
}

// Replacement edits and layer moves journal a delete and an add each.
TEST_F(TDrillDatabaseTest, ReplacementsKeepTheStepObject) {
  const int32_t a = DRDB->AddHole(0, 0, true);
  DrillUndo->BeginOperation("Add Hole");
  TStepObject* pattern = RowPattern(1, 1000);
  At(a)->SetStepObj(pattern);
  TDrillHandle h(a);
  DRDB->HoleToSlot(&h);
  ASSERT_EQ(DrillEntityCount, 2);
  TIntPoint p1, p2;
  At(2)->GetPoint(p1);
  At(2)->GetSecondPoint(p2);
  EXPECT_EQ(p1, (TIntPoint{-4490128, -4490128}));
  EXPECT_EQ(p2, (TIntPoint{4490128, 4490128}));
  EXPECT_EQ(At(2)->GetStepObj(), pattern);
  EXPECT_TRUE(DRDB->MoveToLayer(2, 30));
  EXPECT_EQ(DrillEntityCount, 3);
  EXPECT_FALSE(DRDB->MoveToLayer(2, 30));
  DrillUndo->BeginOperation("Edit");
  DrillUndo->Undo();
  EXPECT_EQ(LiveCount(), 1);
  EXPECT_TRUE(static_cast<int32_t>(Word(1)) > 0);
}

TEST_F(TDrillDatabaseTest, DrillAutoStepLists) {
  TAutoStepRepeatSettings s;
  s.NumberInX = 2;
  s.NumberInY = 3;
  s.DistanceInX = 7;
  s.DistanceInY = 9;
  TStepCommandList a, b;
  DrillAutoStepLists(s, false, a, b);
  EXPECT_EQ(a, (TStepCommandList{{1, 1, 0, 0, 0},
                                 {0, 1, 7, 0, 0},
                                 {0, 1, 0, 9, 0},
                                 {0, 1, -7, 0, 0},
                                 {0, 1, 0, 9, 0},
                                 {0, 1, 7, 0, 0},
                                 {0, 1, 0, 0, 0}}));
  EXPECT_TRUE(b.empty());
  s.NumberInX = 1;
  DrillAutoStepLists(s, true, a, b);
  EXPECT_EQ(a, (TStepCommandList{{1, 1, 0, 0, 0}, {0, 2, 0, 9, 0}, {0, 1, 0, 0, 0}}));
  EXPECT_TRUE(b.empty());
}

// Patterns already three deep stop the automatic step before any change.
TEST_F(TDrillDatabaseTest, StepRefusesThirdLevel) {
  const int32_t a = DRDB->AddHole(0, 0, true);
  TStepObject* inner = RowPattern(1, 10);
  TStepObject* middle = RowPattern(1, 100);
  TStepObject* outer = RowPattern(1, 1000);
  middle->SetNested(outer);
  inner->SetNested(middle);
  At(a)->SetStepObj(inner);
  TAutoStepRepeatSettings s;
  AutoStepRepeatSettings = [s] { return s; };
  TDrillHandle h(a);
  h.Step();
  EXPECT_EQ(DrillEntityCount, 1);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "One or more of the holes you have selected\r\nalready has a nesting depth of three.");
}

// Redraw paints live entities of displayed layers inside the view only:
// deleted, hidden, scratch and far-away entities stay off the picture.
TEST_F(TDrillDatabaseTest, RedrawShowsLiveEntitiesInView) {
  HeadlessViewServices().SetPicture(-25400000.0, 25400000.0, 100.0, 600, 600);
  DRDB->AddHoleOnLayer(1000000, 1000000, 30, 1, true);
  DRDB->AddHoleOnLayer(2000000, 2000000, 31, 1, false);
  DRDB->AddTempHole(3000000, 3000000, 1);
  DRDB->AddHoleOnLayer(1000000000, 1000000000, 30, 1, true);
  DRDB->AddHoleOnLayer(4000000, 4000000, 32, 1, true);
  DisplayedNCLayerMask &= ~NCLayerBit(32);
  Surface.Clear();
  DRDB->Redraw();
  EXPECT_EQ(Surface.Count("DrawCircle("), 1);
  EXPECT_EQ(Surface.Count("DrawCircle(1000000,1000000,500000)"), 1);
}

// Editing a pattern gives every entity that shares it the new pattern,
// without a journal entry.
TEST_F(TDrillDatabaseTest, EditStepReplacesSharedPattern) {
  const int32_t a = DRDB->AddHole(0, 0, true);
  const int32_t b = DRDB->AddHole(5, 5, true);
  DrillUndo->BeginOperation("Adds");
  TStepObject* pattern = RowPattern(1, 1000);
  At(a)->SetStepObj(pattern);
  At(b)->SetStepObj(pattern);
  SetEditStepDialog([](TEditStepLists& lists) {
    EXPECT_TRUE(lists[0].has_value());
    EXPECT_FALSE(lists[1].has_value());
    lists[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 4, 1000, 0, 0}, {0, 1, 0, 0, 0}};
    return true;
  });
  TDrillHandle h(a);
  h.EditStep();
  ASSERT_NE(At(a)->GetStepObj(), nullptr);
  EXPECT_EQ(At(a)->GetStepObj(), At(b)->GetStepObj());
  EXPECT_EQ(At(b)->HitCount(), 5);
  std::string name;
  ASSERT_TRUE(DrillUndo->CanUndo(name));
  EXPECT_EQ(name, "Adds");
}

// The import's report walk: holes alone, holes with copies and the other
// entities counted apart, each widening the box by its own points and copies;
// the counts equal the entities' own hit counts.
TEST_F(TDrillDatabaseTest, ExtentsAndHitsCountHolesApart) {
  ToolTable.Fill(TToolRecord{});
  ToolTable[7].Diameter = 4;
  DRDB->AddHoleOnLayer(-5000, 300, 30, 7, false);
  const int32_t first = DRDB->AddHoleOnLayer(100, 200, 30, 7, false);
  DRDB->AddHoleOnLayer(900, -700, 30, 7, false);
  const int32_t stepped = DRDB->AddHoleOnLayer(0, 0, 30, 7, false);
  At(stepped)->SetStepObj(RowPattern(3, 1000));
  const int32_t slot = DRDB->AddSlotOnLayer(-200, 50, 400, 50, 30, 7, false);
  DRDB->AddHoleOnLayer(50, 60, 30, 7, false);

  int64_t holes = 0, others = 0;
  for (int32_t i = first; i <= DrillEntityCount; ++i)
    (At(i)->GetType() == etDrillHole ? holes : others) += At(i)->HitCount();
  int32_t minX = INT32_MAX, maxX = -INT32_MAX, minY = INT32_MAX, maxY = -INT32_MAX;
  int32_t h = -1, o = -1;
  ASSERT_TRUE(DRDB->ExtentsAndHitsFrom(first, minX, maxX, minY, maxY, h, o));
  EXPECT_EQ(h, holes);
  EXPECT_EQ(o, others);
  EXPECT_EQ(h, 3 + 4);  // three holes and one with three copies
  EXPECT_EQ(o, At(slot)->HitCount());
  // The hole before the first index is left out; the copies reach x = 3000;
  // the largest tool widens the box by 2 on each side.
  EXPECT_EQ((TIntBox{minX, minY, maxX, maxY}), (TIntBox{-202, -702, 3002, 202}));
}

// A hole added on a layer gets the bands a hole made with the tool's
// shadow has, over coordinates and diameters up to the ends of the range
// (the widened extent saturates there), and marks the job changed.
TEST_F(TDrillDatabaseTest, HoleOnLayerHasTheBandsOfItsShadow) {
  std::mt19937 random(4407);
  const int32_t ends[] = {INT32_MIN, INT32_MIN + 1, -134217728, -1, 0, 1, 134217727, INT32_MAX - 1,
                          INT32_MAX};
  const auto coordinate = [&]() -> int32_t {
    if (random() % 3 == 0)
      return int32_t(std::clamp<int64_t>(int64_t{ends[random() % 9]} + int64_t(random() % 5) - 2,
                                         INT32_MIN, INT32_MAX));
    return int32_t(random());
  };
  for (int round = 0; round < 20000; ++round) {
    const int32_t tool = 1 + int32_t(random() % kToolCount);
    ToolTable[tool].Diameter = random() % 4 == 0 ? ends[random() % 9] : int32_t(random() % 20000000);
    const int32_t x = coordinate(), y = coordinate();
    DatabaseModified = false;
    const int32_t index = DRDB->AddHoleOnLayer(x, y, 31, tool, false);
    ASSERT_GT(index, 0);
    EXPECT_TRUE(DatabaseModified);
    TDrillEntity* made = DRDB->EntityAt(index);
    const TDrillHole shadow({x, y}, uint16_t(tool));
    ASSERT_EQ(made->XBand, shadow.XBand) << x << " " << ToolTable[tool].Diameter;
    ASSERT_EQ(made->YBand, shadow.YBand) << y << " " << ToolTable[tool].Diameter;
    EXPECT_EQ(made->Tool, tool);
    EXPECT_EQ(DRDB->WordAt(index), NCLayerBit(31) | SlotDeletedBit);
    if (DrillEntityCount > 5000) DRDB->Clear();
  }
}
