// Rout database housekeeping: the emptiness test of a layer and the sharing
// of equal step lists, which must leave every remaining copy intact when the
// entities that held a shared object go away.
#include "model/rout_housekeeping.h"

#include <gtest/gtest.h>

#include "rout_db_support.h"

namespace {

using V = std::vector<std::string>;

class TRoutHousekeepingTest : public TRoutDbTest {
 protected:
  // Two copies across, `mark` as the pattern mark's count.
  static TStepObject* Row(int32_t pitch, int32_t mark = 1) {
    return new TStepObject({{1, mark, 0, 0, 0}, {0, 2, pitch, 0, 0}, {0, 1, 0, 0, 0}});
  }
  static TStepObject* StepOf(int32_t handle) { return RTDB->EntityAt(handle)->GetStepObj(); }
};

TEST_F(TRoutHousekeepingTest, ALayerIsEmptyWithoutLiveEntitiesWhetherOrNotCompacted) {
  EXPECT_TRUE(RoutLayerEmpty(40));
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);  // 1, 2 on 40
  CurrentLayer = 41;
  RTDB->AddLineSegment({0, 100}, {1000, 100}, false, NoZOffset, 0);  // 3, 4 on 41
  EXPECT_FALSE(RoutLayerEmpty(40));
  EXPECT_FALSE(RoutLayerEmpty(41));
  EXPECT_TRUE(RoutLayerEmpty(42));
  RTDB->DeleteEntity(3);
  RTDB->DeleteEntity(4);
  EXPECT_TRUE(RoutLayerEmpty(41));  // deleted, not yet compacted
  RTDB->Compact();
  EXPECT_TRUE(RoutLayerEmpty(41));
  EXPECT_FALSE(RoutLayerEmpty(40));
  RTDB->DeleteLayer(40);  // the slots stay until the next Compact
  EXPECT_TRUE(RoutLayerEmpty(40));
  RTDB->Clear();
  EXPECT_TRUE(RoutLayerEmpty(40));
}

TEST_F(TRoutHousekeepingTest, ListsCompareLevelByLevelWithMarksAlwaysEqual) {
  TStepObject* a = Row(1000);
  TStepObject* b = Row(1000, 7);  // differs only in the mark's count
  TStepObject* c = Row(2000);
  a->AddRef(), b->AddRef(), c->AddRef();
  EXPECT_TRUE(SameStepLists(a, b));
  EXPECT_FALSE(SameStepLists(a, c));
  EXPECT_FALSE(SameStepLists(a, nullptr));
  // A nested level makes the chains differ.
  TStepObject* outer = Row(5000);
  outer->AddRef();
  TStepObject* nestedA = Row(1000);
  nestedA->AddRef();
  nestedA->SetNested(outer);
  EXPECT_FALSE(SameStepLists(a, nestedA));
  for (TStepObject* s : {a, b, c, nestedA, outer}) ReleaseStepObject(s);
}

// Three equal lists x, y, z become two objects (x's entities take y, y's take
// z); deleting the entities afterwards, in any order, never touches a freed
// object and every survivor keeps its copies.
TEST_F(TRoutHousekeepingTest, SharingEqualListsKeepsEveryCopyAfterDeletions) {
  for (int32_t k = 0; k < 4; ++k)
    RTDB->AddLineSegment({0, k * 1000}, {1000, k * 1000}, false, NoZOffset, 0);  // jogs 1,3,5,7
  TStepObject* x = Row(10000);
  TStepObject* y = Row(10000, 3);
  TStepObject* z = Row(10000);
  TStepObject* w = Row(20000);
  TStepObject* made[] = {x, y, z, w};
  for (int32_t k = 0; k < 4; ++k) {
    made[k]->AddRef();
    RTDB->EntityAt(1 + 2 * k)->SetStepObj(made[k]);
    ReleaseStepObject(made[k]);
  }
  // A drill-free database: only the rout layers are walked.
  EXPECT_EQ(ShareIdenticalStepLists(), 2);
  EXPECT_TRUE(ShownMessageBoxes().empty());  // lines are not asked for a step object
  EXPECT_NE(StepOf(1), StepOf(3));
  EXPECT_EQ(StepOf(3), StepOf(5));
  EXPECT_NE(StepOf(5), StepOf(7));
  EXPECT_EQ(StepOf(1)->RefCount(), 1);
  EXPECT_EQ(StepOf(3)->RefCount(), 2);

  RTDB->DeleteEntity(3);
  RTDB->DeleteEntity(4);
  RTDB->Compact();
  // Old 5 is now 3: its shared object lives on.
  ASSERT_NE(StepOf(3), nullptr);
  EXPECT_EQ(StepOf(3)->CopyCount(), 2);
  EXPECT_EQ(StepOf(3)->Offsets().back().DX, 20000);
  EXPECT_EQ(StepOf(1)->CopyCount(), 2);
  EXPECT_EQ(Layer(40)[0], "J 0,0 t1 x2");
  // A second run finds nothing more to share that would free a used object.
  ShareIdenticalStepLists();
  RTDB->Clear();
  ExpectConsistent();
}

TEST_F(TRoutHousekeepingTest, NoMoreThanTheMostPairsAreMadeInOneRun) {
  const int32_t paths = kMaxStepListPairs + 3;
  for (int32_t k = 0; k < paths; ++k) {
    RTDB->AddLineSegment({0, k * 10}, {1000, k * 10}, false, NoZOffset, 0);
    TStepObject* s = Row(10000);
    s->AddRef();
    RTDB->EntityAt(RoutEntityCount - 1)->SetStepObj(s);
    ReleaseStepObject(s);
  }
  EXPECT_EQ(ShareIdenticalStepLists(), kMaxStepListPairs);
  // The last objects keep their own lists.
  EXPECT_NE(StepOf(RoutEntityCount - 1), StepOf(RoutEntityCount - 3));
}

}  // namespace
