// The step commands of the drill and rout editors working on each other's
// database once the connections are installed.
#include "model/step_connections.h"

#include <gtest/gtest.h>

#include "model/drill_database.h"
#include "model/drill_handles.h"
#include "rout_db_support.h"

namespace {

using V = std::vector<std::string>;

class TStepConnectionsTest : public TRoutDbTest {
 protected:
  void SetUp() override {
    TRoutDbTest::SetUp();
    DrillUndo = new TDrillUndo();
    DRDB = new TDrillDatabase();
    InstallStepConnections();
  }
  void TearDown() override {
    RemoveStepConnections();
    delete DRDB;
    DRDB = nullptr;
    delete DrillUndo;
    DrillUndo = nullptr;
    TRoutDbTest::TearDown();
  }
  // A rout path on layer 40 and a drill hole on D0 that share one pattern of
  // one copy 10000 to the right; the drill hole's index.
  int32_t SharedPattern() {
    RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);
    const int32_t hole = DRDB->AddHoleOnLayer(500, 500, 30, 1, true);
    DRDB->EntityAt(hole)->SetStepObj(
        new TStepObject({{1, 1, 0, 0, 0}, {0, 1, 10000, 0, 0}, {0, 1, 0, 0, 0}}));
    TRootEntityHandle* list = All();
    list->CrossCopyStepList(hole);
    FreeRoutHandles(list);
    return hole;
  }
  static TStepObject* RoutPattern() {
    return RTDB->EntityAt(Seq->FindPathJog(Seq->HandleAt(40, 2)))->GetStepObj();
  }
  static void TwoCopies() {
    SetEditStepDialog([](TEditStepLists& lists) {
      lists[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 2, 10000, 0, 0}, {0, 1, 0, 0, 0}};
      return true;
    });
  }
};

TEST_F(TStepConnectionsTest, PatternsCopyAcrossInBothDirections) {
  const int32_t hole = SharedPattern();
  EXPECT_EQ(Layer(), (V{"J 0,0 t1 x1", "L 1000,0"}));
  EXPECT_EQ(RoutPattern(), DRDB->EntityAt(hole)->GetStepObj());
  std::string name;
  ASSERT_TRUE(RoutUndo->CanUndo(name));
  EXPECT_EQ(name, "Add To Step && Repea");

  // A drill hole takes the pattern of the rout path that a line belongs to.
  const int32_t other = DRDB->AddHoleOnLayer(0, 9000, 30, 1, true);
  TDrillHandle h(other);
  h.CrossCopyStepList(Seq->HandleAt(40, 2));
  const int32_t copy = DrillEntityCount;  // the clone that replaced the hole
  ASSERT_NE(DRDB->EntityAt(copy), nullptr);
  EXPECT_EQ(DRDB->EntityAt(copy)->GetStepObj(), RoutPattern());
  EXPECT_EQ(DRDB->EntityAt(copy)->HitCount(), 2);
}

TEST_F(TStepConnectionsTest, EditingOnTheDrillSideChangesTheRoutPaths) {
  const int32_t hole = SharedPattern();
  TwoCopies();
  TDrillHandle h(hole);
  h.EditStep();
  EXPECT_EQ(DRDB->EntityAt(hole)->HitCount(), 3);
  EXPECT_EQ(Layer().front(), "J 0,0 t1 x2");
  EXPECT_EQ(RoutPattern(), DRDB->EntityAt(hole)->GetStepObj());
}

TEST_F(TStepConnectionsTest, EditingOnTheRoutSideChangesTheDrillHoles) {
  const int32_t hole = SharedPattern();
  TwoCopies();
  TRootEntityHandle* list = All();
  list->EditStep();
  FreeRoutHandles(list);
  EXPECT_EQ(Layer().front(), "J 0,0 t1 x2");
  EXPECT_EQ(DRDB->EntityAt(hole)->HitCount(), 3);
}

// The drill side steps with the rout database's settings as they stand, not
// with the saved ones.
TEST_F(TStepConnectionsTest, DrillAutoStepUsesTheLiveSettings) {
  TAutoStepRepeatSettings saved{1, 0, 1, 0, false, true, false};
  SaveAutoStepRepeatSettings(saved);
  RTDB->AutoStepRepeat = {3, 5000, 1, 0, false, true, false};
  const int32_t hole = DRDB->AddHoleOnLayer(0, 0, 30, 1, true);
  TDrillHandle h(hole);
  h.Step();
  ASSERT_EQ(DrillEntityCount, 2);
  EXPECT_EQ(DRDB->EntityAt(2)->HitCount(), 3);
}

}  // namespace
