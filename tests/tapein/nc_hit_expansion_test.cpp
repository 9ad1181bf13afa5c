#include "tapein/nc_hit_expansion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct THit {
  int32_t X, Y;
  bool Travel;
  bool operator==(const THit& o) const { return X == o.X && Y == o.Y && Travel == o.Travel; }
};

std::vector<THit> Slot(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size,
                       int32_t divisor = 1) {
  std::vector<THit> hits;
  ExpandSlotHits(x0, y0, x1, y1, size, divisor,
                 [&](int32_t x, int32_t y, bool t) {
                   hits.push_back({x, y, t});
                   return true;
                 });
  return hits;
}

std::vector<THit> Circle(int32_t x, int32_t y, int32_t size, int32_t diameter, int32_t divisor = 1) {
  std::vector<THit> hits;
  ExpandCircleHits(x, y, size, diameter, divisor,
                   [&](int32_t hx, int32_t hy, bool t) {
                     hits.push_back({hx, hy, t});
                     return true;
                   });
  return hits;
}

TEST(SlotExpansion, ShortSlots) {
  // Length 0: one step, so two hits on the same point, without travel.
  EXPECT_EQ(Slot(100, 200, 100, 200, 2540000),
            (std::vector<THit>{{100, 200, false}, {100, 200, false}}));
  const auto hits = Slot(0, 0, 1000000, 0, 2540000);
  // r = 1,270,000, c = 12,700: pitch 2 sqrt(635000^2 - 622300^2) = 252,726, so
  // trunc(1e6 / 252726) = 3 steps and four hits.
  EXPECT_EQ(hits, (std::vector<THit>{
                      {0, 0, false}, {333333, 0, false}, {666667, 0, false}, {1000000, 0, false}}));
}

TEST(SlotExpansion, LongSlotRowsAndFillPasses) {
  // Length exactly r: first row hits both ends, the first fill pass runs back
  // from the end and puts one hit in the middle; then the cusp is met.
  const int32_t size = 2540000, r = 1270000;
  auto hits = Slot(0, 0, r, 0, size);
  ASSERT_GE(hits.size(), 3u);
  EXPECT_EQ(hits[0], (THit{0, 0, true}));
  EXPECT_EQ(hits[1], (THit{r, 0, true}));
  EXPECT_EQ(hits[2], (THit{r / 2, 0, true}));
  for (const THit& h : hits) EXPECT_TRUE(h.Travel);
  // Every later pass fills the gaps, alternately from the start and from the end.
  // Spacing r/8 leaves a cusp below 0.0005 inch (judged with the radius as
  // the drill), so the passes stop after 2 + 1 + 2 + 4 hits.
  ASSERT_EQ(hits.size(), 3u + 2u + 4u);
  EXPECT_EQ(hits[3].X, r / 4);
  EXPECT_EQ(hits[4].X, 3 * r / 4);
  EXPECT_EQ(hits[5].X, r - r / 8);
  EXPECT_EQ(hits[8].X, r / 8);
}

TEST(SlotExpansion, DefaultSizeForSpacingOnly) {
  // Sizes 0 and 1 both space the hits with the default radius of 3,175,000.
  EXPECT_EQ(Slot(0, 0, 5000000, 0, 0), Slot(0, 0, 5000000, 0, 1));
  EXPECT_EQ(Slot(0, 0, 5000000, 0, 0), Slot(0, 0, 5000000, 0, 6350000));
  EXPECT_EQ(Slot(0, 0, 50000, 0, 0, 100), Slot(0, 0, 50000, 0, 63500, 100));
}

TEST(SlotExpansion, TinyToolsEndAtOneHitPerEnd) {
  // A 0.001-inch tool (radius = cusp limit) and a smaller one give one hit
  // at each end, short or long.
  EXPECT_EQ(Slot(0, 0, 10000, 0, 25400),
            (std::vector<THit>{{0, 0, false}, {10000, 0, false}}));
  EXPECT_EQ(Slot(0, 0, 30000000, 0, 2000), (std::vector<THit>{{0, 0, true}, {30000000, 0, true}}));
}

TEST(SlotExpansion, TinyCuspLimitIsCapped) {
  // A huge divisor makes the cusp limit tiny: the passes stop at the hit cap.
  const auto hits = Slot(0, 0, 2000000000, 0, 2000000, 1000000);
  EXPECT_LE(hits.size(), 1000000u);
  EXPECT_GT(hits.size(), 1000u);
}

TEST(CircleExpansion, HitsAroundFromTheTop) {
  // A 0.5-inch circle with a 1/8-inch tool.
  const int32_t d = 12700000, h = 3175000;
  const auto hits = Circle(1000, 2000, h, d);
  ASSERT_GT(hits.size(), 8u);
  const double rho = d / 2 - h / 2.0;
  EXPECT_EQ(hits[0], (THit{1000, 2000 + int32_t(std::nearbyint(rho)), true}));
  for (const THit& p : hits)
    EXPECT_NEAR(std::hypot(p.X - 1000.0, p.Y - 2000.0), rho, 1.0);
  // The second hit is at 360 (n - 1) / n degrees, the first's neighbour.
  const double n = hits.size();
  const double step = 2 * rho * std::sin(M_PI / n);
  EXPECT_NEAR(std::hypot(hits[1].X - hits[0].X, hits[1].Y - hits[0].Y), step, 2.0);
}

TEST(CircleExpansion, SmallCirclesAndDefaultSize) {
  // Diameter no larger than the hit: one hit at the centre.
  EXPECT_EQ(Circle(5, 6, 3175000, 3175000), (std::vector<THit>{{5, 6, true}}));
  EXPECT_EQ(Circle(5, 6, 0, 3000000), (std::vector<THit>{{5, 6, true}}));
  // Size 0 stands for 1/8 inch.
  EXPECT_EQ(Circle(0, 0, 0, 12700000), Circle(0, 0, 3175000, 12700000));
}

// A sink that answers false takes no further hit: a reading that stopped
// does not sit through the rest of a slot or circle of many thousand hits.
TEST(SlotExpansion, SinkEndsTheExpansion) {
  auto taken = [](auto expand, int stopAt) {
    int calls = 0;
    expand([&](int32_t, int32_t, bool) { return ++calls < stopAt; });
    return calls;
  };
  // Long (rows of a one-unit cusp across two inches), short, and the ends of
  // a hit no wider than the cusp.
  const auto longSlot = [](const TExpandedHitSink& s) { ExpandSlotHits(0, 0, 50800000, 0, 254000, 1, s); };
  const auto shortSlot = [](const TExpandedHitSink& s) { ExpandSlotHits(0, 0, 1000000, 0, 2540000, 1, s); };
  const auto thin = [](const TExpandedHitSink& s) { ExpandSlotHits(0, 0, 1000000, 0, 20000, 1, s); };
  const auto circle = [](const TExpandedHitSink& s) { ExpandCircleHits(0, 0, 254000, 25400000, 1, s); };
  EXPECT_GT(taken(longSlot, 1 << 30), 500);
  EXPECT_GT(taken(circle, 1 << 30), 100);
  for (int stopAt : {1, 2, 3, 50}) {
    EXPECT_EQ(taken(longSlot, stopAt), stopAt);
    EXPECT_EQ(taken(circle, stopAt), stopAt);
  }
  EXPECT_EQ(taken(shortSlot, 2), 2);
  EXPECT_EQ(taken(thin, 1), 1);
  EXPECT_EQ(taken(thin, 5), 2);
}

TEST(TextExpansion, DotsOfHI) {
  std::vector<std::pair<int32_t, int32_t>> dots;
  ExpandTextHits("HI", 25, false, 1, [&](int32_t x, int32_t y) { dots.push_back({x, y}); });
  // pitch 30; H has 16 dots over columns 0-3, so I starts at 5 x 30.
  ASSERT_EQ(dots.size(), 16u + 11u);
  EXPECT_EQ(dots[0], (std::pair<int32_t, int32_t>{0, 0}));
  EXPECT_EQ(dots[16], (std::pair<int32_t, int32_t>{150, 0}));  // I's bottom row: 1C
  int32_t top = 0;
  for (auto& d : dots) top = std::max(top, d.second);
  EXPECT_EQ(top, 6 * 30);
}

TEST(TextExpansion, VerticalAndOrientation) {
  std::vector<std::pair<int32_t, int32_t>> plain, vertical, turned;
  ExpandTextHits("L", 25, false, 1, [&](int32_t x, int32_t y) { plain.push_back({x, y}); });
  ExpandTextHits("L", 25, true, 1, [&](int32_t x, int32_t y) { vertical.push_back({x, y}); });
  ExpandTextHits("L", 25, false, 3, [&](int32_t x, int32_t y) { turned.push_back({x, y}); });
  ASSERT_EQ(plain.size(), vertical.size());
  for (size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(vertical[i], (std::pair<int32_t, int32_t>{-plain[i].second, plain[i].first}));
    EXPECT_EQ(turned[i], (std::pair<int32_t, int32_t>{-plain[i].second, plain[i].first}));
  }
  // Lower case drills nothing.
  int count = 0;
  ExpandTextHits("ab", 25, false, 1, [&](int32_t, int32_t) { ++count; });
  EXPECT_EQ(count, 0);
}

}  // namespace
