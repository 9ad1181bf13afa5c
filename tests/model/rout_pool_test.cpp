// The shared blocks of the rout store's holes and display records: places
// handed out over several blocks never overlap a live one, freed places and
// emptied blocks are used again, and a class derived with more fields than
// the pooled one gets its memory from the heap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

#include "model/rout_entities.h"
#include "model/slot_pool.h"
#include "model/rout_shadow.h"

namespace {

using TPool = TSlotPool<72, 8>;

// A place handed out, filled with its mark in every word.
struct TPlace {
  uint64_t* At;
  uint64_t Mark;
  void Fill() const { std::fill(At, At + TPool::SlotBytes / 8, Mark); }
  bool Intact() const { return std::all_of(At, At + TPool::SlotBytes / 8, [&](uint64_t v) { return v == Mark; }); }
};

TEST(RoutPoolTest, PlacesOverSeveralBlocksStayApartAndAreUsedAgain) {
  TPool pool;
  std::vector<TPlace> live;
  uint64_t mark = 1;
  // About two and a half blocks.
  for (int i = 0; i < 70000; ++i) {
    live.push_back({static_cast<uint64_t*>(pool.Allocate()), mark++});
    live.back().Fill();
  }
  // Every other place, and then the whole first block, freed.
  std::vector<TPlace> kept;
  std::set<void*> freed;
  for (std::size_t i = 0; i < live.size(); ++i) {
    if (i % 2 == 1 || i < 29000) {
      freed.insert(live[i].At);
      pool.Release(live[i].At);
    } else {
      kept.push_back(live[i]);
    }
  }
  std::set<void*> used;
  for (const TPlace& p : kept) used.insert(p.At);
  // The freed places come back before any fresh one, and none is live.
  size_t reused = 0;
  for (int i = 0; i < 40000; ++i) {
    TPlace p{static_cast<uint64_t*>(pool.Allocate()), mark++};
    EXPECT_TRUE(used.insert(p.At).second);
    reused += freed.count(p.At);
    p.Fill();
    kept.push_back(p);
  }
  EXPECT_GE(reused, size_t(20000));
  for (const TPlace& p : kept) EXPECT_TRUE(p.Intact()) << p.Mark;
  for (const TPlace& p : kept) pool.Release(p.At);
  // Emptied, then filled again: the kept block serves.
  void* again = pool.Allocate();
  EXPECT_NE(again, nullptr);
  pool.Release(again);
}

struct TWiderRecord : TRoutShadow {
  using TRoutShadow::TRoutShadow;
  int64_t Extra[6] = {1, 2, 3, 4, 5, 6};
};

TEST(RoutPoolTest, RecordsComeAndGoAndAWiderClassUsesTheHeap) {
  TRoutHole owner({0, 0}, 1, 40);
  for (int round = 0; round < 3; ++round) {
    for (int32_t i = 0; i < 40000; ++i)
      owner.AttachShadow(new TRoutShadow({i, -i}, {}, {}, false, 1, rsHole, false, i, 40, 0, 0));
    ASSERT_EQ(owner.ShadowCount(), 40000);
    int32_t expected = 39999;
    for (TRoutShadow* r = owner.Shadow; r != nullptr; r = r->Next, --expected)
      ASSERT_TRUE(r->A.X == expected && r->A.Y == -expected && r->CopyNumber == expected);
    owner.FreeShadows();
  }
  TRoutShadow* wide = new TWiderRecord({}, {}, {}, false, 1, rsLine, false, 1, 40, 0, 0);
  EXPECT_EQ(static_cast<TWiderRecord*>(wide)->Extra[5], 6);
  delete wide;
  TRoutEntity* hole = new TRoutHole({7, 8}, 3, 41);
  EXPECT_EQ(hole->GetToolNumber(), 3);
  delete hole;
}

}  // namespace
