#include "model/entity_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/cad_entities.h"
#include "model/slot_pool.h"

#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"

namespace {

class EntityStoreTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
  }
  void TearDown() override {
    ResetHeadlessDialogs();
    TKorvexTest::TearDown();
  }
};

TEST_F(EntityStoreTest, EmptyStoreGrowsOnFirstSlot) {
  TEntityArray store;
  EXPECT_EQ(store.AllocatedPages(), 0);
  ASSERT_NE(store.GetSlot(1), nullptr);
  EXPECT_EQ(store.Count(), 1);
  EXPECT_TRUE(store.PageAllocated(1));
  EXPECT_EQ(store.AllocatedPages(), 1);
}

TEST_F(EntityStoreTest, CadPagesFollowTheCountAcrossBoundaries) {
  TEntityArray store;
  store.SetCount(10000);
  EXPECT_EQ(store.AllocatedPages(), 1);
  store.GetSlot(10000)->Flags = 0x00000004;
  store.SetCount(10001);
  EXPECT_EQ(store.AllocatedPages(), 2);
  EXPECT_TRUE(store.PageAllocated(2));
  store.GetSlot(10001)->Flags = 0x00000008;
  // Growing keeps what the earlier pages hold.
  EXPECT_EQ(store.GetSlot(10000)->Flags, 0x00000004u);
  store.SetCount(10000);
  EXPECT_EQ(store.AllocatedPages(), 1);
  EXPECT_FALSE(store.PageAllocated(2));
  store.SetCount(9999);
  EXPECT_EQ(store.AllocatedPages(), 1);
  EXPECT_EQ(store.GetSlot(10000)->Flags, 0x00000004u);
  // A jump allocates every page up to the one needed, shrinking to 0 frees all.
  store.SetCount(35000);
  EXPECT_EQ(store.AllocatedPages(), 4);
  store.SetCount(0);
  EXPECT_EQ(store.AllocatedPages(), 0);
}

TEST_F(EntityStoreTest, DrillAndRoutStoresChangePagesEvery2500Slots) {
  TRoutEntities rout;
  rout.SetCount(2500);
  EXPECT_EQ(rout.AllocatedPages(), 1);
  rout.GetSlot(2501);
  EXPECT_EQ(rout.AllocatedPages(), 2);
  // Adding slot by slot keeps the count and the pages in step.
  TDrillEntities drill;
  int32_t count = 0;
  for (int i = 0; i < 2501; ++i) {
    TEntitySlot* added = drill.AddSlot(count);
    // The slot of the new index, on either side of a page boundary.
    ASSERT_EQ(added, drill.GetSlot(count)) << count;
    added->Flags = static_cast<uint32_t>(count);
  }
  EXPECT_EQ(count, 2501);
  EXPECT_EQ(drill.Count(), 2501);
  EXPECT_EQ(drill.AllocatedPages(), 2);
  for (int32_t i = 1; i <= 2501; ++i) ASSERT_EQ(drill.GetSlot(i)->Flags, static_cast<uint32_t>(i));
  // Shrunk into its first page (as a withdrawn import leaves it), the store
  // grows again from there, into a fresh second page.
  drill.SetCount(2499);
  count = 2499;
  EXPECT_EQ(drill.AllocatedPages(), 1);
  for (int i = 0; i < 3; ++i) {
    TEntitySlot* added = drill.AddSlot(count);
    ASSERT_EQ(added, drill.GetSlot(count)) << count;
  }
  EXPECT_EQ(drill.Count(), 2502);
  EXPECT_EQ(drill.AllocatedPages(), 2);
  EXPECT_EQ(drill.GetSlot(2501)->Flags, 0u);
  // A count behind the store's (a store already grown by GetSlot) takes the
  // next index all the same.
  drill.GetSlot(2600);
  TEntitySlot* next = drill.AddSlot(count);
  EXPECT_EQ(next, drill.GetSlot(2503));
  EXPECT_EQ(drill.Count(), 2600);
}

// The pages of all stores share blocks: pages of stores grown side by side
// never overlap, whole blocks of them included, and a page given back and
// taken again reads {0, nullptr} like a new one, whichever block it comes
// from.
TEST_F(EntityStoreTest, SharedPagesStayApartAndComeBackEmpty) {
  auto drill = std::make_unique<TDrillEntities>();
  auto rout = std::make_unique<TRoutEntities>();
  auto cad = std::make_unique<TEntityArray>();
  auto word = [](int32_t store, int32_t index) { return uint32_t(store) << 28 | uint32_t(index); };
  auto fill = [&](auto& store, int32_t id, int32_t from, int32_t to) {
    for (int32_t i = from; i <= to; ++i) {
      TEntitySlot* s = store.GetSlot(i);
      ASSERT_EQ(s->Flags, 0u) << id << " " << i;
      ASSERT_EQ(s->Entity, nullptr) << id << " " << i;
      s->Flags = word(id, i);
      s->Entity = reinterpret_cast<TRootDBObject*>(s);
    }
  };
  auto check = [&](auto& store, int32_t id, int32_t from, int32_t to) {
    for (int32_t i = from; i <= to; ++i) {
      const TEntitySlot* s = store.GetSlot(i);
      ASSERT_EQ(s->Flags, word(id, i)) << id << " " << i;
      ASSERT_EQ(s->Entity, reinterpret_cast<const TRootDBObject*>(s)) << id << " " << i;
    }
  };
  // Pages taken in turn by the three stores, over several blocks.
  for (int32_t page = 1; page <= 60; ++page) {
    fill(*drill, 1, (page - 1) * 2500 + 1, page * 2500);
    if (page <= 40) fill(*rout, 2, (page - 1) * 2500 + 1, page * 2500);
    if (page <= 20) fill(*cad, 3, (page - 1) * 10000 + 1, page * 10000);
  }
  check(*drill, 1, 1, 150000);
  check(*rout, 2, 1, 100000);
  check(*cad, 3, 1, 200000);

  // Every other drill page given back, and the rout store's pages all but
  // its first: the blocks keep the pages still in use, and hand out the
  // freed ones (and fresh ones) cleared.
  drill->SetCount(2500);
  rout->SetCount(100);
  check(*drill, 1, 1, 2500);
  check(*cad, 3, 1, 200000);
  fill(*drill, 4, 2501, 150000);
  check(*rout, 2, 1, 100);
  for (int32_t i = 101; i <= 2500; ++i) EXPECT_EQ(rout->GetSlot(i)->Flags, word(2, i));
  fill(*rout, 5, 2501, 100000);
  check(*drill, 4, 2501, 150000);
  check(*cad, 3, 1, 200000);

  // A store dropped whole gives its pages back to blocks the others still use.
  drill.reset();
  check(*rout, 5, 2501, 100000);
  check(*cad, 3, 1, 200000);
  TDrillEntities again;
  fill(again, 6, 1, 150000);
  check(*cad, 3, 1, 200000);

  // Exchanged stores keep their slots.
  TRoutEntities other;
  other.SwapSlots(*rout);
  EXPECT_EQ(rout->Count(), 0);
  EXPECT_EQ(rout->AllocatedPages(), 0);
  check(other, 5, 2501, 100000);
}

TEST_F(EntityStoreTest, AStoreEmptiedAndFilledAgainFindsItsSlotsEmpty) {
  // Blocks of its own emptied whole (one is kept for the next pages, with
  // the old slots still in it), then the same number of pages again.
  TDrillEntities store;
  for (int round = 0; round < 3; ++round) {
    for (int32_t i = 1; i <= 400000; ++i) {
      TEntitySlot* s = store.GetSlot(i);
      ASSERT_EQ(s->Flags, 0u) << round << " " << i;
      ASSERT_EQ(s->Entity, nullptr) << round << " " << i;
      s->Flags = uint32_t(i);
      s->Entity = reinterpret_cast<TRootDBObject*>(s);
    }
    store.SetCount(0);
    EXPECT_EQ(store.AllocatedPages(), 0);
  }
}

TEST_F(EntityStoreTest, IndicesAreOneBased) {
  int32_t page, slot;
  using TPageSlot = std::pair<int32_t, int32_t>;
  TEntityArray::LocateSlot(1, page, slot);
  EXPECT_EQ(TPageSlot(page, slot), TPageSlot(1, 1));
  TEntityArray::LocateSlot(10000, page, slot);
  EXPECT_EQ(TPageSlot(page, slot), TPageSlot(1, 10000));
  TEntityArray::LocateSlot(10001, page, slot);
  EXPECT_EQ(TPageSlot(page, slot), TPageSlot(2, 1));
  TDrillEntities::LocateSlot(2501, page, slot);
  EXPECT_EQ(TPageSlot(page, slot), TPageSlot(2, 1));
  TEntityArray::LocateSlot(0, page, slot);
  EXPECT_EQ(slot, 0);

  // Each index has its own slot.
  TRoutEntities store;
  for (int32_t i = 1; i <= 5001; ++i) store.GetSlot(i)->Flags = static_cast<uint32_t>(i);
  for (int32_t i = 1; i <= 5001; ++i) ASSERT_EQ(store.GetSlot(i)->Flags, static_cast<uint32_t>(i));
  // Indices outside the store address no slot and change nothing.
  EXPECT_EQ(store.GetSlot(0), nullptr);
  EXPECT_EQ(store.GetSlot(-3), nullptr);
  EXPECT_EQ(store.GetSlot(TRoutEntities::HighestIndex + 1), nullptr);
  EXPECT_EQ(store.Count(), 5001);
}

TEST_F(EntityStoreTest, FullStoreRefusesTheNextAdd) {
  TRoutEntities rout;
  int32_t count = TRoutEntities::HighestIndex - 1;
  TEntitySlot* last = rout.AddSlot(count);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(count, 100000);
  EXPECT_EQ(rout.Count(), 100000);
  EXPECT_TRUE(ShownMessageBoxes().empty());
  EXPECT_EQ(rout.AddSlot(count), nullptr);
  EXPECT_EQ(count, 100000);
  EXPECT_EQ(rout.Count(), 100000);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtError);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "The rout database is full: it holds at most 100,000 entities.");

  TEntityArray cad;
  int32_t cadCount = 999999;
  EXPECT_NE(cad.AddSlot(cadCount), nullptr);
  EXPECT_EQ(cad.AddSlot(cadCount), nullptr);
  EXPECT_EQ(cadCount, 1000000);
  EXPECT_EQ(ShownMessageBoxes().back().Text,
            "The CAD drawing is full: it holds at most 1,000,000 entities.");
}

TEST_F(EntityStoreTest, SlotWordTestsUseBit31) {
  const uint32_t allLayers = 0xFFFFFFFFu;
  uint32_t deletedOnLayer2 = SlotDeletedBit | CadLayerBit(2);
  EXPECT_FALSE(SlotInMask(deletedOnLayer2, allLayers));
  EXPECT_TRUE(SlotHasBit(deletedOnLayer2, 4));
  EXPECT_TRUE(SlotDeleted(deletedOnLayer2));

  uint32_t liveOnLayer2 = CadLayerBit(2);
  EXPECT_TRUE(SlotInMask(liveOnLayer2, allLayers));
  EXPECT_TRUE(SlotInMask(liveOnLayer2, SlotDeletedBit | CadLayerBit(2)));
  EXPECT_FALSE(SlotInMask(liveOnLayer2, SlotDeletedBit | CadLayerBit(3)));
  EXPECT_FALSE(SlotDeleted(liveOnLayer2));

  // Drill layer 30 is bit 0, rout layer 44 is bit 14.
  EXPECT_EQ(NCLayerBit(30), 0x0001u);
  EXPECT_EQ(NCLayerBit(40), 0x0400u);
  EXPECT_EQ(NCLayerBit(44), 0x4000u);
  // The scratch words of tape output: all layers and deleted, or all live.
  EXPECT_FALSE(SlotInMask(0xFFFFFFFFu, SlotDeletedBit | NCLayerBit(35)));
  EXPECT_TRUE(SlotInMask(0x7FFFFFFFu, SlotDeletedBit | NCLayerBit(35)));
}

TEST_F(EntityStoreTest, BandMasks) {
  EXPECT_EQ(BandMask(0, 0), 0x0100);
  EXPECT_EQ(BandMask(-1, 0), 0x0180);
  EXPECT_EQ(BandMask(-2147483647 - 1, 2147483647), 0xFFFF);
  EXPECT_EQ(BandMask(134217728, -1), 0x0380);
  EXPECT_EQ(BandMask(-1, 134217728), 0x0380);
  // Band 0 reaches down to -2^31, band 15 up to 2^31 - 1.
  EXPECT_EQ(BandMask(-2147483647 - 1, -2147483647 - 1), 0x0001);
  EXPECT_EQ(BandMask(-7 * 134217728 - 1, -7 * 134217728 - 1), 0x0001);
  EXPECT_EQ(BandMask(-7 * 134217728, -7 * 134217728), 0x0002);
  EXPECT_EQ(BandMask(7 * 134217728, 2147483647), 0x8000);
  EXPECT_EQ(BandMask(7 * 134217728 - 1, 7 * 134217728 - 1), 0x4000);
}

TEST_F(EntityStoreTest, BoxClipHelpers) {
  TIntBox box{-10, -20, 10, 20};
  EXPECT_EQ(OutCode(box, -11, 21), 9);
  EXPECT_EQ(OutCode(box, 11, -21), 6);
  EXPECT_EQ(OutCode(box, -10, 20), 0);
  EXPECT_EQ(OutCode(box, 0, 0), 0);
  EXPECT_FALSE(PointOutsideBox(10, -20, box));
  EXPECT_FALSE(PointOutsideBox(-10, 20, box));
  EXPECT_TRUE(PointOutsideBox(11, 0, box));
  EXPECT_TRUE(PointOutsideBox(0, -21, box));
}

TEST_F(EntityStoreTest, ExtentsPair) {
  TIntPoint min, max;
  InitExtents(min, max);
  EXPECT_EQ(min, (TIntPoint{2147483647, 2147483647}));
  EXPECT_EQ(max, (TIntPoint{-2147483647, -2147483647}));
  ExtendExtents(min, max, {5, -7});
  EXPECT_EQ(min, (TIntPoint{5, -7}));
  EXPECT_EQ(max, (TIntPoint{5, -7}));
  ExtendExtents(min, max, {-3, 9});
  EXPECT_EQ(min, (TIntPoint{-3, -7}));
  EXPECT_EQ(max, (TIntPoint{5, 9}));
}

// Slots handed out past the end of a block, freed in an order of their own
// and handed out again: no slot is given twice while it lives, what a live
// slot holds survives the others' churn, and a pool emptied starts again in
// its kept block.
TEST_F(EntityStoreTest, SlotPoolReusesFreedSlotsAcrossBlocks) {
  struct TPayload {
    int64_t Value;
    int64_t Check;
  };
  TSlotPool<sizeof(TPayload), alignof(TPayload)> pool;
  constexpr int kCount = 150000;  // more than one 2 MB block of 16-byte slots
  std::vector<TPayload*> live;
  for (int i = 0; i < kCount; ++i) {
    auto* p = static_cast<TPayload*>(pool.Allocate());
    *p = {i, ~int64_t(i)};
    live.push_back(p);
  }
  const TPayload* first = live.front();
  std::vector<TPayload*> sorted = live;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  // Every third slot back; as many taken again must be exactly those.
  std::vector<TPayload*> freed;
  for (int i = 0; i < kCount; i += 3) {
    pool.Release(live[i]);
    freed.push_back(live[i]);
    live[i] = nullptr;
  }
  std::vector<TPayload*> again;
  for (std::size_t i = 0; i < freed.size(); ++i) again.push_back(static_cast<TPayload*>(pool.Allocate()));
  std::sort(freed.begin(), freed.end());
  std::sort(again.begin(), again.end());
  EXPECT_EQ(again, freed);
  for (int i = 0; i < kCount; ++i)
    if (live[i] != nullptr) {
      ASSERT_EQ(live[i]->Value, i);
      ASSERT_EQ(live[i]->Check, ~int64_t(i));
    }
  for (TPayload* p : again) pool.Release(p);
  for (TPayload* p : live)
    if (p != nullptr) pool.Release(p);
  void* reused = pool.Allocate();
  EXPECT_EQ(reused, static_cast<const void*>(first));
#ifdef KORVEX_POOL_POISON
  // The kept block's other slots stay marked: a use of a freed entity, or
  // a write past the end of a live one, is caught.
  auto* bytes = static_cast<char*>(reused);
  EXPECT_FALSE(__asan_address_is_poisoned(bytes));
  EXPECT_TRUE(__asan_address_is_poisoned(bytes + sizeof(TPayload)));
  EXPECT_TRUE(__asan_address_is_poisoned(bytes + 1000 * sizeof(TPayload)));
#endif
  pool.Release(reused);
}

// A store emptied and filled again gets its page back zeroed, and the
// pages around it stay marked under the address checker.
TEST_F(EntityStoreTest, AStoreFilledAgainGetsAZeroedPage) {
  TEntityArray store;
  TEntitySlot* first = store.GetSlot(1);
  ASSERT_NE(first, nullptr);
  first->Flags = 0x1234;
  store.SetCount(0);
  TEntitySlot* again = store.GetSlot(1);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Flags, 0u);
  EXPECT_EQ(again->Entity, nullptr);
#ifdef __SANITIZE_ADDRESS__
  EXPECT_FALSE(__asan_address_is_poisoned(again + TEntityArray::PageSlots - 1));
  EXPECT_TRUE(__asan_address_is_poisoned(again + TEntityArray::PageSlots));
#endif
}

// CAD circles come from their pool and go back to it through the base class.
TEST_F(EntityStoreTest, CadCirclesComeAndGoThroughTheirPool) {
  std::vector<std::unique_ptr<TCadEntity>> circles;
  for (int i = 0; i < 1000; ++i) circles.emplace_back(new TCadCircle(i, -i, 10 + i));
  circles.erase(circles.begin() + 100, circles.begin() + 600);
  for (int i = 0; i < 500; ++i) circles.emplace_back(new TCadCircle(-i, i, 5));
  for (std::size_t i = 0; i < 100; ++i) EXPECT_EQ(circles[i]->GetRadius(), 10 + int(i));
  for (std::size_t i = 100; i < 500; ++i) EXPECT_EQ(circles[i]->GetRadius(), 10 + int(i) + 500);
  for (std::size_t i = 500; i < 1000; ++i) EXPECT_EQ(circles[i]->GetRadius(), 5);
}

// So do points, lines and arcs, each from a pool of its own: freed in the
// middle and made again, every entity keeps its own points.
TEST_F(EntityStoreTest, CadPointsLinesAndArcsComeAndGoThroughTheirPools) {
  std::vector<std::unique_ptr<TCadEntity>> entities;
  const auto make = [](int i) -> TCadEntity* {
    switch (i % 3) {
      case 0: return new TCadPoint(i, -i);
      case 1: return new TCadLine(i, -i, i + 7, 3);
      default: return new TCadArc(i, -i, i + 7, 3, 0, 0);
    }
  };
  for (int i = 0; i < 3000; ++i) entities.emplace_back(make(i));
  entities.erase(entities.begin() + 300, entities.begin() + 1800);
  for (int i = 3000; i < 4500; ++i) entities.emplace_back(make(i));
  for (std::size_t k = 0; k < entities.size(); ++k) {
    const int i = static_cast<int>(k < 300 ? k : k + 1500);
    TIntPoint a;
    entities[k]->GetPoint(a);
    ASSERT_EQ(a, (TIntPoint{i, -i})) << k;
    ASSERT_EQ(entities[k]->GetType(), i % 3 == 0 ? etCadPoint : i % 3 == 1 ? etCadLine : etCadArc) << k;
    if (i % 3 == 0) continue;
    entities[k]->GetSecondPoint(a);
    ASSERT_EQ(a, (TIntPoint{i + 7, 3})) << k;
  }
}

}  // namespace
