#include "model/rout_database.h"

#include <gtest/gtest.h>

#include "foundation/geometry_matrix.h"
#include "rout_db_support.h"

namespace {

using TRoutDatabaseTest = TRoutDbTest;
using V = std::vector<std::string>;

TMatrix3 Move(double dx, double dy) {
  TMatrix3 m = IdentityMatrix;
  TranslateMatrix(m, dx, dy);
  return m;
}

// A path of lines and arcs built with the edit primitives, stepped, reversed
// and partly deleted; every step undoes and redoes to the exact layer, and
// the cut sequence matches the store throughout.
TEST_F(TRoutDatabaseTest, EditsUndoAndRedoStepByStep) {
  RTDB->AddLineSegment({0, 0}, {10000, 0}, true, NoZOffset, 100);
  RTDB->AppendLine({10000, 10000}, 100, NoZOffset);
  RTDB->AppendArc({0, 10000}, {5000, 10000}, 100, NoZOffset, false);
  RoutUndo->BeginOperation("Build");
  const V built = Layer();
  EXPECT_EQ(built, (V{"J 0,0 t1", "L 10000,0", "L 10000,10000", "A7 5000,15000 c5000,10000",
                      "A7 0,10000 c5000,10000"}));
  ExpectConsistent();

  RTDB->AutoStepRepeat = {3, 50000, 1, 0, false, true, true};
  TRootEntityHandle* list = All();
  list->Step();
  FreeRoutHandles(list);
  const V stepped = Layer();
  EXPECT_EQ(stepped[0], "J 0,0 t1 x2");
  ExpectConsistent();

  list = All();
  bool failed = true;
  static_cast<TRoutHandle*>(list)->ReversePaths(IdentityMatrix, false, failed);
  EXPECT_FALSE(failed);
  FreeRoutHandles(list);
  RoutUndo->BeginOperation("Reverse");
  const V reversed = Layer();
  EXPECT_EQ(reversed, (V{"J 0,10000 t1 x2", "A8 5000,15000 c5000,10000",
                         "A8 10000,10000 c5000,10000", "L 10000,0", "L 0,0"}));
  ExpectConsistent();

  // Delete the second arc: the line after it now starts where it started.
  list = All();
  TRootEntityHandle* arc = list->Next->Next;
  auto* single = new TRoutHandle(arc->Index);
  FreeRoutHandles(list);
  single->DeleteList();
  delete single;
  RoutUndo->BeginOperation("Delete");
  const V deleted = Layer();
  EXPECT_EQ(deleted, (V{"J 0,10000 t1 x2", "A8 5000,15000 c5000,10000", "L 10000,0", "L 0,0"}));
  ExpectConsistent();

  const std::vector<V> states{V{}, built, stepped, reversed, deleted};
  for (int k = 4; k >= 1; --k) {
    RoutUndo->Undo();
    EXPECT_EQ(Layer(), states[k - 1]) << "undo to state " << k - 1;
    ExpectConsistent();
  }
  for (int k = 1; k <= 4; ++k) {
    RoutUndo->Redo();
    EXPECT_EQ(Layer(), states[k]) << "redo to state " << k;
    ExpectConsistent();
  }
}

TEST_F(TRoutDatabaseTest, ArcsChordsAndZeroLengthRules) {
  // A line to the last point is made only at the very start of a layer.
  RTDB->AppendLine({0, 0}, 0, NoZOffset);
  EXPECT_EQ(Layer(), V{"L 0,0"});
  RTDB->AppendLine({0, 0}, 0, NoZOffset);
  EXPECT_EQ(Layer().size(), 1u);

  // Quadrant cutting for unsigned I/J: a quarter from an axis is one piece
  // (no empty first piece); 30 to 200 degrees ends at 90, 180 and 200.
  RoutOutputFormat.IJMode = true;
  RoutOutputFormat.IJSigned = false;
  CurrentLayer = 41;
  RTDB->AppendJog({1000, 0});
  RTDB->AppendArc({0, 1000}, {0, 0}, 0, NoZOffset, false);
  EXPECT_EQ(Layer(41), (V{"J 1000,0 t1", "A7 0,1000 c0,0"}));
  RTDB->AppendArc({1000, 0}, {0, 0}, 0, NoZOffset, true);
  EXPECT_EQ(Layer(41), (V{"J 1000,0 t1", "A7 0,1000 c0,0", "A8 1000,0 c0,0"}));
  CurrentLayer = 42;
  RTDB->AppendJog({866, 500});
  RTDB->AppendArc({-940, -342}, {0, 0}, 0, NoZOffset, false);
  EXPECT_EQ(Layer(42), (V{"J 866,500 t1", "A7 0,1000 c0,0", "A7 -1000,0 c0,0",
                          "A7 -940,-342 c0,0"}));

  // A radius beyond the arc length bound goes in as chords.
  const double bound = ArcLengthParameter();
  SetArcLengthParameter(0.1);
  CurrentLayer = 43;
  RTDB->AddArcSegment({10000000, 0}, false, {0, 10000000}, false, 0, NoZOffset, {0, 0});
  const V chords = Layer(43);
  ASSERT_GT(chords.size(), 3u);
  EXPECT_EQ(chords.front(), "J 10000000,0 t1");
  EXPECT_EQ(chords.back(), "L 0,10000000");
  for (std::size_t k = 1; k < chords.size(); ++k) EXPECT_EQ(chords[k][0], 'L');
  SetArcLengthParameter(bound);
  ExpectConsistent();
}

TEST_F(TRoutDatabaseTest, InsertSegmentTurnsTheFollowingArcIntoALine) {
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);
  RTDB->AppendArc({2000, 0}, {1500, 0}, 0, NoZOffset, false);
  RTDB->AppendLine({3000, 0}, 0, NoZOffset);
  RoutUndo->BeginOperation("Build");
  TRootEntityHandle* list = All();
  Seq->SetInsertAfter(list->Next->Index);  // after the first line
  FreeRoutHandles(list);
  RTDB->InsertLineSegment({1000, 500}, true, 0, NoZOffset);
  RoutUndo->BeginOperation("Insert");
  // Only the piece right after the insertion starts elsewhere now.
  EXPECT_EQ(Layer(), (V{"J 0,0 t1", "L 1000,0", "L 1000,500", "L 1500,-500",
                        "A7 2000,0 c1500,0", "L 3000,0"}));
  ExpectConsistent();
  RoutUndo->Undo();
  EXPECT_EQ(Layer(), (V{"J 0,0 t1", "L 1000,0", "A7 1500,-500 c1500,0", "A7 2000,0 c1500,0",
                        "L 3000,0"}));
  ExpectConsistent();
}

TEST_F(TRoutDatabaseTest, LengthsExtentsAndStatisticsCountStepCopies) {
  TPathLengthTable table;
  TRoutStatistics stats;
  TIntBox box{1, 2, 3, 4};
  EXPECT_FALSE(RTDB->GetExtents(box, true));
  EXPECT_EQ(box, (TIntBox{1, 2, 3, 4}));
  RTDB->CollectStatistics(stats);
  EXPECT_EQ(stats, TRoutStatistics{});

  RoutToolPages[40][1].Diameter = 254000;
  RoutToolPages[41][7].Diameter = 100000;
  RTDB->AddLineSegment({0, 0}, {3000, 4000}, false, NoZOffset, 0);
  RTDB->AutoStepRepeat = {3, 100000, 1, 0, false, true, true};
  TRootEntityHandle* list = All();
  list->Step();
  FreeRoutHandles(list);
  CurrentLayer = 41;
  RoutLayerTools[41].Tool = 7;
  RTDB->AddCircleAndDraw({0, 0}, {0, 1000}, 0);
  RTDB->AddHoleAndDraw({5, 5});

  RTDB->PathLengths(table);
  EXPECT_DOUBLE_EQ(table[40][1], 15000.0);  // 5000 cut three times
  EXPECT_DOUBLE_EQ(table[41][7], 9425.0);   // 3 x pi x r for a circle
  ASSERT_TRUE(RTDB->GetExtents(box, false));
  EXPECT_EQ(box, (TIntBox{0, 0, 3000, 4000}));
  ASSERT_TRUE(RTDB->GetExtents(box, true));
  EXPECT_EQ(box, (TIntBox{-127000, -127000, 203000 + 127000, 4000 + 127000}));

  RTDB->CollectStatistics(stats);
  EXPECT_EQ(stats[etRoutJog], 1);       // the unstepped original
  EXPECT_EQ(stats[etRoutJog + 15], 1);  // its stepped clone
  EXPECT_EQ(stats[etRoutLine + 15], 1);
  EXPECT_EQ(stats[etRoutCircle + 15], 1);
  EXPECT_EQ(stats[etRoutHole + 15], 1);
  EXPECT_EQ(HeadlessViewServices().PleaseWaitTexts.back(), "Collecting statistics.  Please wait...");
}

// A loaded layer may begin with a cut that has no jog before it.
TEST_F(TRoutDatabaseTest, CutsWithoutAPathStartAreSkippedAndReported) {
  RTDB->AddLine({1000, 0}, 40, 0, NoZOffset);
  RTDB->AddLine({2000, 0}, 40, 0, NoZOffset);
  TPathLengthTable table;
  RTDB->PathLengths(table);
  EXPECT_EQ(table[40][1], 0.0);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "DataBase error.  Jog missing from sequence.");
  TIntBox box;
  EXPECT_TRUE(RTDB->GetExtents(box, true));
  TRootEntityHandle* list = nullptr;
  EXPECT_FALSE(RTDB->PickPath(10, {1500, 0}, true, list));
  EXPECT_EQ(list, nullptr);
  TRoutHandle h(2);
  h.EditStep();  // nothing to edit, nothing dereferenced
  RTDB->UpdateChangedPath();
}

TEST_F(TRoutDatabaseTest, RefusedTransformKeepsTheSource) {
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);
  RTDB->AddLineSegment({1000000000, 0}, {1000000500, 0}, false, NoZOffset, 0);
  RoutUndo->BeginOperation("Build");
  TRootEntityHandle* list = All();
  bool failed = false;
  list->TransformList(Move(100000000, 0), false, failed, 0, false);
  FreeRoutHandles(list);
  RoutUndo->BeginOperation("Move");
  EXPECT_TRUE(failed);
  // The moved copy goes after the run; the refused path stays in place.
  EXPECT_EQ(Layer(), (V{"J 1000000000,0 t1", "L 1000000500,0", "J 100000000,0 t1",
                        "L 100001000,0"}));
  ExpectConsistent();
  RoutUndo->Undo();
  EXPECT_EQ(Layer(), (V{"J 0,0 t1", "L 1000,0", "J 1000000000,0 t1", "L 1000000500,0"}));
}

TEST_F(TRoutDatabaseTest, CompactClearAndDeleteLayerRenumberAndResetTheJournal) {
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);       // 1, 2
  RTDB->AddLineSegment({5000, 0}, {6000, 0}, false, NoZOffset, 0);    // 3, 4
  CurrentLayer = 41;
  RTDB->AddLineSegment({0, 100}, {1000, 100}, false, NoZOffset, 0);   // 5, 6
  RoutUndo->BeginOperation("Add");
  RTDB->DeleteEntity(3);
  RTDB->DeleteEntity(4);
  RoutUndo->RecordDelete(3);
  RoutUndo->RecordDelete(4);
  RoutUndo->BeginOperation("Delete");
  RTDB->Compact();
  EXPECT_EQ(RoutEntityCount, 4);
  EXPECT_EQ(Seq->HandleAt(41, 1), 3);
  EXPECT_EQ(Seq->HandleAt(41, 2), 4);
  EXPECT_EQ(Layer(41), (V{"J 0,100 t1", "L 1000,100"}));
  std::string name;
  EXPECT_FALSE(RoutUndo->CanUndo(name));
  ExpectConsistent();
  // The layer's end is the insertion point again.
  RTDB->AppendLine({2000, 100}, 0, NoZOffset);
  EXPECT_EQ(Layer(41).back(), "L 2000,100");

  RoutUndo->BeginOperation("Line");
  RTDB->DeleteLayer(40);
  EXPECT_FALSE(RoutUndo->CanUndo(name));
  EXPECT_TRUE(Layer(40).empty());
  EXPECT_EQ(Seq->Count(40), 0);
  RTDB->Compact();
  ExpectConsistent();
  EXPECT_EQ(RoutEntityCount, 3);

  // Clear starts the cut order afresh: no layer keeps an entry, a cursor, an
  // insertion point or a logged undo step.
  Seq->SetInsertPoint(41, 2);
  Seq->SetReadCursor(41, 3);
  ASSERT_TRUE(Seq->SaveUndoLayer(41));
  ASSERT_NE(Seq->UndoPos(), 1);
  RoutLayerTools[41] = {5, 6};
  RTDB->G93Origins[41] = {7, 8};
  RTDB->Clear();
  ASSERT_NE(Seq, nullptr);
  for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) {
    EXPECT_EQ(Seq->Count(l), 0);
    EXPECT_EQ(Seq->ReadCursor(l), 1);
    EXPECT_EQ(Seq->InsertPoint(l), 1);
  }
  EXPECT_EQ(Seq->UndoPos(), 1);
  EXPECT_EQ(RoutEntityCount, 0);
  EXPECT_EQ(RoutLayerTools[41], (TRoutLayerTool{1, 1}));
  EXPECT_EQ(RTDB->G93Origins[41], (TIntPoint{0, 0}));
  EXPECT_FALSE(RoutUndo->CanUndo(name));
}

TEST_F(TRoutDatabaseTest, DeletingALayerDropsItsG93OriginAndKeepsTheOthers) {
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);
  RTDB->G93Origins[40] = {11, 12};
  RTDB->G93Origins[41] = {13, 14};
  RTDB->DeleteLayer(40);
  EXPECT_EQ(RTDB->G93Origins[40], (TIntPoint{0, 0}));
  EXPECT_EQ(RTDB->G93Origins[41], (TIntPoint{13, 14}));
  // A path drawn on the emptied layer starts from a clean state.
  RTDB->AddLineSegment({5000, 0}, {6000, 0}, false, NoZOffset, 0);
  EXPECT_EQ(Layer(40), (V{"J 5000,0 t1", "L 6000,0"}));
  EXPECT_EQ(RTDB->G93Origins[40], (TIntPoint{0, 0}));
}

// Shutdown may destroy the globals in any order; the database's destruction
// touches neither the sequence store nor the tool pages.
TEST_F(TRoutDatabaseTest, DestructionIsOrderIndependent) {
  WriteFileBytes(TempDir / "page.rtt", std::string(16, '\x01'));
  DefaultToolFile = (TempDir / "page.rtt").string();
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);
  TSequenceStore* seq = Seq;
  delete RTDB;
  RTDB = nullptr;
  EXPECT_EQ(Seq, seq);
  EXPECT_EQ(RoutToolPages[40][1].Diameter, 0);
  EXPECT_EQ(RoutEntities, nullptr);

  RTDB = new TRoutDatabase();
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);
  delete Seq;
  Seq = nullptr;
  delete RTDB;  // with the sequence store already gone
  RTDB = nullptr;
  Seq = new TSequenceStore();
  DefaultToolFile.clear();
}

TEST_F(TRoutDatabaseTest, WindowSelectionAndPicking) {
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);          // inside
  RTDB->AddLineSegment({5000, 5000}, {6000, 5000}, false, NoZOffset, 0); // outside
  RTDB->AddLineSegment({500, 500}, {9000, 500}, false, NoZOffset, 0);    // crossing
  auto indices = [](TRootEntityHandle* l) {
    std::vector<int32_t> v;
    for (; l != nullptr; l = l->Next) v.push_back(l->Index);
    return v;
  };
  TRootEntityHandle* list = nullptr;
  // The leading jog is not tested, so the first path's head-up move from
  // the origin does not count.
  ASSERT_TRUE(RTDB->SelectInWindow({-10, -10}, {2000, 2000}, true, list, 0));
  EXPECT_EQ(indices(list), (std::vector<int32_t>{1, 2}));
  FreeRoutHandles(list);
  ASSERT_TRUE(RTDB->SelectInWindow({2000, -10}, {-10, 2000}, true, list, 1));
  EXPECT_EQ(indices(list), (std::vector<int32_t>{3, 4}));
  FreeRoutHandles(list);

  int32_t distance = 0;
  ASSERT_TRUE(RTDB->PickNearest(100, {5500, 5030}, true, list, distance));
  EXPECT_EQ(list->Index, 4);
  EXPECT_EQ(distance, 30);
  FreeRoutHandles(list);
  ASSERT_TRUE(RTDB->PickPath(100, {5500, 5030}, true, list));
  EXPECT_EQ(indices(list), (std::vector<int32_t>{3, 4}));
  FreeRoutHandles(list);
  ASSERT_TRUE(RTDB->PickEntity(100, {5500, 5030}, list));
  EXPECT_EQ(indices(list), (std::vector<int32_t>{3, 4, 5}));
  FreeRoutHandles(list);
  EXPECT_FALSE(RTDB->PickNearest(10, {-5000, -5000}, true, list, distance));
  EXPECT_EQ(distance, RoutNotNear);
  TIntPoint snap;
  EXPECT_TRUE(RTDB->FindNearestPoint(100, {990, 20}, 0, snap));
  EXPECT_EQ(snap, (TIntPoint{1000, 0}));
  int32_t at = 0;
  EXPECT_TRUE(RTDB->FindEntityAt({6000, 5000}, 40, at));
  EXPECT_EQ(at, 4);
}

}  // namespace
