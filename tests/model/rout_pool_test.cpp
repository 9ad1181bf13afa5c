// The shared blocks of the rout store's holes and display records: places
// handed out over several blocks never overlap a live one, freed places and
// emptied blocks are used again, and a class derived with more fields than
// the pooled one gets its memory from the heap.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "model/rout_entities.h"
#include "model/rout_pool.h"
#include "model/rout_shadow.h"

namespace {

using TPool = TRoutPool<72, 8>;

struct TPlace {
  void* At;
  uint64_t Mark;
};

void Fill(TPlace& p) {
  for (std::size_t k = 0; k < TPool::PlaceBytes / 8; ++k) std::memcpy(static_cast<char*>(p.At) + 8 * k, &p.Mark, 8);
}

bool Intact(const TPlace& p) {
  for (std::size_t k = 0; k < TPool::PlaceBytes / 8; ++k) {
    uint64_t v;
    std::memcpy(&v, static_cast<char*>(p.At) + 8 * k, 8);
    if (v != p.Mark) return false;
  }
  return true;
}

TEST(RoutPoolTest, PlacesOverSeveralBlocksStayApartAndAreUsedAgain) {
  TPool pool;
  std::vector<TPlace> live;
  uint64_t mark = 1;
  // About two and a half blocks.
  for (int i = 0; i < 70000; ++i) {
    live.push_back({pool.Allocate(), mark++});
    Fill(live.back());
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
    TPlace p{pool.Allocate(), mark++};
    EXPECT_TRUE(used.insert(p.At).second);
    reused += freed.count(p.At);
    Fill(p);
    kept.push_back(p);
  }
  EXPECT_GE(reused, size_t(20000));
  for (const TPlace& p : kept) EXPECT_TRUE(Intact(p)) << p.Mark;
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

TEST(RoutPoolTest, RecordsAndHolesComeAndGoWherever) {
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
  std::vector<TRoutEntity*> holes;
  for (int32_t i = 0; i < 5000; ++i) holes.push_back(new TRoutHole({i, i}, i % 7 + 1, 41));
  for (int32_t i = 0; i < 5000; ++i) {
    TIntPoint p;
    holes[size_t(i)]->GetPoint(p);
    ASSERT_TRUE(p.X == i && p.Y == i && holes[size_t(i)]->GetToolNumber() == i % 7 + 1);
  }
  for (TRoutEntity* h : holes) delete h;
}

}  // namespace
