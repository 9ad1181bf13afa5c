#include "model/hit_patterns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

namespace {

// Generators that collect what they emit.
class TTextCollector : public TDrilledTextPattern {
 public:
  using TDrilledTextPattern::TDrilledTextPattern;
  void EmitHit(int32_t x, int32_t y) override { Hits.push_back({x, y}); }
  std::vector<TIntPoint> Hits;
};

class TCircleCollector : public TDrilledCirclePattern {
 public:
  using TDrilledCirclePattern::TDrilledCirclePattern;
  void EmitHit(int32_t x, int32_t y) override { Hits.push_back({x, y}); }
  std::vector<TIntPoint> Hits;
};

class TSlotCollector : public TDrilledSlotPattern {
 public:
  using TDrilledSlotPattern::TDrilledSlotPattern;
  void EmitHit(int32_t x, int32_t y) override { Hits.push_back({x, y}); }
  void EmitPilotHit(int32_t x, int32_t y) override { Pilots.push_back({x, y}); }
  void BeginShortSlot() override { ++ShortStarts; }
  std::vector<TIntPoint> Hits;
  std::vector<TIntPoint> Pilots;
  int ShortStarts = 0;
};

double Dist(double ax, double ay, TIntPoint b) { return std::hypot(ax - b.X, ay - b.Y); }

// Distance from a point to the union of the hit disks (0 inside).
double GapToHits(double x, double y, const std::vector<TIntPoint>& hits, double radius) {
  double best = 1e300;
  for (TIntPoint h : hits) best = std::min(best, Dist(x, y, h) - radius);
  return std::max(best, 0.0);
}

std::vector<int32_t> Xs(const std::vector<TIntPoint>& hits) {
  std::vector<int32_t> xs;
  for (TIntPoint h : hits) xs.push_back(h.X);
  return xs;
}

// ---- Slots ----------------------------------------------------------------

TEST(HitPatternsTest, SlotOfWholeDrillLengthsEndsOnEndTwo) {
  // 3 drill lengths along a 3-4-5 direction.
  const int32_t S = 1000000;
  TSlotCollector slot(0, {100, 200}, {100 + 3 * 600000, 200 + 3 * 800000}, S, 2540);
  slot.Generate();
  ASSERT_GE(slot.Hits.size(), 4u);
  EXPECT_EQ(slot.Hits[0], (TIntPoint{100, 200}));
  EXPECT_EQ(slot.Hits[1], (TIntPoint{600100, 800200}));
  EXPECT_EQ(slot.Hits[3], (TIntPoint{1800100, 2400200}));
  // Row 0 has spacing S, so a midpoint row always follows, from end 2 back.
  ASSERT_GE(slot.Hits.size(), 7u);
  EXPECT_EQ(slot.Hits[4], (TIntPoint{1500100, 2000200}));
  EXPECT_EQ(slot.Hits[6], (TIntPoint{300100, 400200}));
  EXPECT_EQ(slot.Count(), static_cast<int32_t>(slot.Hits.size()));
  EXPECT_EQ(CountSlotHits({100, 200}, {1800100, 2400200}, S, 2540), slot.Count());
  EXPECT_EQ(slot.ShortStarts, 0);
}

TEST(HitPatternsTest, ShortSlots) {
  // Shorter than a tenth of the drill: both ends.
  TSlotCollector tiny(0, {0, 0}, {500, 0}, 10000, 10);
  tiny.Generate();
  EXPECT_EQ(tiny.Hits, (std::vector<TIntPoint>{{0, 0}, {500, 0}}));
  EXPECT_EQ(tiny.ShortStarts, 1);
  // Coincident ends: one hit.
  TSlotCollector dot(0, {7, 7}, {7, 7}, 10000, 10);
  dot.Generate();
  EXPECT_EQ(dot.Hits, (std::vector<TIntPoint>{{7, 7}}));
  EXPECT_EQ(dot.Count(), 1);
  // 0.35 drill: 3 steps of a third.
  TSlotCollector third(0, {0, 0}, {3500, 0}, 10000, 10);
  EXPECT_TRUE(third.IsShort());
  third.Generate();
  EXPECT_EQ(Xs(third.Hits), (std::vector<int32_t>{0, 1167, 2333, 3500}));
  // Compensated to the left of the direction, capped by the maximum.
  TSlotCollector comp(0, {0, 0}, {3500, 0}, 10000, 10);
  comp.GenerateWith(true, true, 100.0 / 25400000.0, 0.5);
  EXPECT_EQ(comp.Hits,
            (std::vector<TIntPoint>{{0, 0}, {1167, 100}, {2333, 100}, {3500, 100}}));
  EXPECT_FALSE(comp.Compensate);
  TSlotCollector right(0, {0, 0}, {3500, 0}, 10000, 10);
  right.GenerateWith(true, false, 1.0, 0.01);
  EXPECT_EQ(right.Hits.back(), (TIntPoint{3500, -100}));
}

TEST(HitPatternsTest, SubdivisionPassOrder) {
  // P = 2 sqrt(1000) = 63.2: N = 15, halves, 17 hits.
  TSlotCollector slot(1, {0, 0}, {1000, 0}, 1000, 1);
  slot.Generate();
  EXPECT_EQ(slot.Count(), 17);
  ASSERT_EQ(slot.Hits.size(), 17u);
  const std::vector<int32_t> head = {0, 1000, 500, 250, 750, 125, 375, 625, 875, 62, 188};
  const std::vector<int32_t> xs = Xs(slot.Hits);
  EXPECT_EQ(std::vector<int32_t>(xs.begin(), xs.begin() + 11), head);
  // Longer than three drills with a count that fits thirds better.
  TSlotCollector thirds(1, {0, 0}, {400, 0}, 100, 1);
  thirds.Generate();
  EXPECT_EQ(thirds.Count(), 25);
  const std::vector<int32_t> xt = Xs(thirds.Hits);
  EXPECT_EQ(std::vector<int32_t>(xt.begin(), xt.begin() + 7),
            (std::vector<int32_t>{0, 400, 133, 267, 67, 200, 333}));
}

TEST(HitPatternsTest, PilotPass) {
  TSlotCollector slot(0, {0, 0}, {3600, 0}, 1000, 10);
  slot.GeneratePilot(200);
  EXPECT_EQ(Xs(slot.Pilots), (std::vector<int32_t>{600, 1800, 3000}));
  const std::vector<int32_t> head = {0, 1200, 2400, 3600, 3000, 1800, 600, 3300, 2700};
  const std::vector<int32_t> xs = Xs(slot.Hits);
  EXPECT_EQ(std::vector<int32_t>(xs.begin(), xs.begin() + 9), head);
  // Rows of 6 and 12 more: the spacing ends at 150, whose cusp (5.7) is
  // within the limit; 300 (cusp 23) would not be.
  EXPECT_EQ(slot.Count(), 4 + 3 + 6 + 12);
  EXPECT_EQ(slot.Count(), static_cast<int32_t>(slot.Hits.size()));

  TSlotCollector shortSlot(0, {0, 0}, {400, 0}, 1000, 10);
  shortSlot.GeneratePilot(200);
  EXPECT_EQ(shortSlot.ShortStarts, 1);
  EXPECT_EQ(shortSlot.Pilots, (std::vector<TIntPoint>{{0, 0}, {800, 0}}));
  EXPECT_EQ(Xs(shortSlot.Hits), (std::vector<int32_t>{0, 100, 200, 300, 400}));
  EXPECT_EQ(shortSlot.Count(), 5);
}

TEST(HitPatternsTest, CuspHeight) {
  EXPECT_DOUBLE_EQ(CuspHeight(600, 1000), 100.0);
  EXPECT_DOUBLE_EQ(CuspHeight(1000, 1000), 999999999.9);
  EXPECT_DOUBLE_EQ(CuspHeight(0, 1000), 0.0);
}

// ---- Circles --------------------------------------------------------------

TEST(HitPatternsTest, CircleCases) {
  // A drill at least as large as the circle: one hit at the centre.
  EXPECT_EQ(CountCircleHits({5, 5}, 500, 1000, 10), 1);
  TCircleCollector one(5, 6, 400, 1000, 10);
  one.Generate();
  EXPECT_EQ(one.Hits, (std::vector<TIntPoint>{{5, 6}}));
  // Hits start at the top and go clockwise on radius R - T/2.
  TCircleCollector c(1000, 2000, 1000000, 200000, 2540);
  c.Generate();
  ASSERT_GE(c.Hits.size(), 3u);
  EXPECT_EQ(c.Hits[0], (TIntPoint{1000, 902000}));
  EXPECT_GT(c.Hits[1].X, 1000);
  EXPECT_EQ(c.Count(), static_cast<int32_t>(c.Hits.size()));
  EXPECT_EQ(CountCircleHits({1000, 2000}, 1000000, 200000, 2540), c.Count());
}

TEST(HitPatternsTest, CircleAtAndBeyondTheCuspLimit) {
  // The cusp limit also bounds the drill from below (the drill is the larger
  // of the two sizes). A radius equal to the limit: the ring of hits lies
  // inside the drill's radius, and two hits cut the circle.
  TCircleCollector atLimit(0, 0, 1000000, 200000, 1000000);
  atLimit.Generate();
  EXPECT_EQ(atLimit.Hits, (std::vector<TIntPoint>{{0, 500000}, {0, -500000}}));
  EXPECT_EQ(CountCircleHits({0, 0}, 1000000, 1000000, 1000000), 2);
  // Limits near the drill size: neighbours are spaced to overlap, not (as
  // an ever deeper cusp crossing would ask) ever closer together.
  for (int32_t cusp : {150000, 199999, 200000}) {
    const int32_t n = CountCircleHits({0, 0}, 1000000, 200000, cusp);
    EXPECT_EQ(n, 29) << cusp;
    const double a = 360.0 / n * std::numbers::pi / 180.0;
    EXPECT_LT(2.0 * 900000.0 * std::sin(a / 2.0), 200000.0) << cusp;
  }
  // Limits at the extremes stay finite.
  EXPECT_LE(CircleHitCount(1, 1, 4000000000.0), kMaxPatternHits);
  EXPECT_EQ(CircleHitCount(-5, 1000, 2000000), kMaxPatternHits);
  EXPECT_EQ(CircleHitCount(5, 1000, 900), 1);
}

// The count the reports take without making the points is the count the
// points come to, for every kind of circle: inside the drill, sizes of 0 and
// below, deep and negative cusp limits, and circles past the hit limit.
TEST(HitPatternsTest, CircleCountWithoutPointsMatchesTheMadeHits) {
  const struct {
    int32_t Radius, A, B;
  } rows[] = {{500, 1000, 10},           {400, 1000, 10},          {1000000, 200000, 2540},
              {1000000, 1000000, 1000000}, {1000000, 200000, 150000}, {1000000, 200000, 0},
              {1000000, 0, 0},           {0, 0, 0},                {-5000, 1000, 10},
              {1000000, -200000, 2540},  {1000000, 200000, -5},     {2000000000, 2, 1},
              {1073741824, 254000, 12700}, {254000, 254001, 12700},  {254000, 253999, 12700}};
  for (const auto& row : rows) {
    TDrilledCirclePattern made(7, -9, row.Radius, row.A, row.B);
    made.Generate();
    EXPECT_EQ(CountCircleHits({7, -9}, row.Radius, row.A, row.B), made.Count())
        << row.Radius << " " << row.A << " " << row.B;
  }
}

// ---- Text -----------------------------------------------------------------

TEST(HitPatternsTest, TextHitsAndExtent) {
  TTextCollector hi("HI", 1000000, 1, false);
  EXPECT_EQ(hi.Pitch, 1200000);
  int32_t w = 0, h = 0;
  hi.GetExtent(w, h);
  EXPECT_EQ(w, 9 * 1200000);  // H is 4 columns wide, I 3, one blank after each
  EXPECT_EQ(h, 7 * 1200000 - 1);
  hi.Generate();
  EXPECT_EQ(hi.Hits.size(), 27u);
  EXPECT_EQ(CountTextHits("HI"), 27);
  // The bottom row of H first, left to right.
  EXPECT_EQ(hi.Hits[0], (TIntPoint{0, 0}));
  EXPECT_EQ(hi.Hits[1], (TIntPoint{3 * 1200000, 0}));
  // I starts 5 pitches in; its bottom row is 1C.
  EXPECT_EQ(hi.Hits[16], (TIntPoint{5 * 1200000, 0}));
  EXPECT_EQ(hi.Advance, 9 * 1200000);
  for (TIntPoint p : hi.Hits) {
    EXPECT_GE(p.X, 0);
    EXPECT_LT(p.X, w);
    EXPECT_GE(p.Y, 0);
    EXPECT_LE(p.Y, h);
  }

  TTextCollector vertical("HI", 1000000, 1, true);
  vertical.GetExtent(w, h);
  EXPECT_EQ(w, -(7 * 1200000 - 1));
  EXPECT_EQ(h, 9 * 1200000);
  vertical.Generate();
  EXPECT_EQ(vertical.Hits[1], (TIntPoint{0, 3 * 1200000}));

  // Orientation 6 turns everything half round.
  TTextCollector turned("HI", 1000000, 6, false);
  turned.Generate();
  EXPECT_EQ(turned.Hits[1], (TIntPoint{-3 * 1200000, 0}));

  // Lower case is outside the font: blank glyphs, one pitch each.
  TTextCollector lower("ab", 0, 1, false);
  EXPECT_EQ(lower.Pitch, 1057656);
  lower.Generate();
  EXPECT_TRUE(lower.Hits.empty());
  lower.GetExtent(w, h);
  EXPECT_EQ(w, 2 * 1057656);
  EXPECT_EQ(TDrilledTextPattern::GlyphWidth('4'), 5);
  EXPECT_EQ(TDrilledTextPattern::GlyphWidth('1'), 3);
  EXPECT_EQ(TDrilledTextPattern::GlyphWidth(' '), 0);
}

// ---- Hit counts beyond 16 bits and bounded work ------------------------------

TEST(HitPatternsTest, LargeCountsAreExactAndBounded) {
  // 40,001 hits in the first row alone.
  const int32_t n = CountSlotHits({0, 0}, {40000 * 1000, 0}, 1000, 1000);
  EXPECT_GT(n, 40001);
  EXPECT_LE(n, kMaxPatternHits);
  // A one-unit drill down a long slot would need billions: capped.
  EXPECT_EQ(CountSlotHits({-2000000000, 0}, {2000000000, 0}, 1, 1), kMaxPatternHits);
  TSlotCollector sub(1, {-2000000000, 0}, {2000000000, 0}, 1, 1);
  sub.Generate();
  EXPECT_EQ(sub.Count(), kMaxPatternHits);
  // A negative cusp limit can never be met: the rows stop at the cap.
  EXPECT_EQ(CountSlotHits({0, 0}, {100000, 0}, 1000, -1), kMaxPatternHits);
}

// The text count is worked out from the glyphs without the dots: it must be
// what the pattern emits, for every character (blank ones too) and for texts
// longer than the 255 characters a pattern keeps.
TEST(HitPatternsTest, TextCountIsWhatThePatternEmits) {
  auto emitted = [](const std::string& text) {
    TTextHitCounter counter(text);
    counter.Generate();
    return counter.Counter;
  };
  for (int c = 0; c < 256; ++c) {
    const std::string one(1, static_cast<char>(c));
    EXPECT_EQ(CountTextHits(one), emitted(one)) << c;
  }
  std::mt19937 rng(77);
  std::uniform_int_distribution<int> byte(0, 255), length(0, 400);
  for (int i = 0; i < 40; ++i) {
    std::string text(static_cast<std::size_t>(length(rng)), ' ');
    for (char& ch : text) ch = static_cast<char>(byte(rng));
    EXPECT_EQ(CountTextHits(text), emitted(text)) << text.size();
  }
  const std::string longText(300, 'W');
  EXPECT_EQ(CountTextHits(longText), emitted(longText));
  EXPECT_EQ(CountTextHits(longText), CountTextHits(longText.substr(0, 255)));
}

// The count is worked out row by row without the points: it must be the
// number of hits the row-refinement pass emits, for short and long slots,
// every direction, drills from one unit up and cusp limits down to none.
TEST(HitPatternsTest, SlotCountIsWhatTheRowPassEmits) {
  std::mt19937 rng(4021);
  std::uniform_int_distribution<int32_t> coord(-3000000, 3000000);
  std::uniform_int_distribution<int32_t> drill(1, 2000000);
  std::uniform_int_distribution<int32_t> cusp(-3, 60000);
  auto same = [](TIntPoint a, TIntPoint b, int32_t d, int32_t c) {
    TSlotCollector slot(0, a, b, d, c);
    slot.Generate();
    EXPECT_EQ(CountSlotHits(a, b, d, c), slot.Count()) << a.X << "," << a.Y << " " << b.X << "," << b.Y
                                                        << " drill " << d << " cusp " << c;
  };
  for (int i = 0; i < 400; ++i) {
    const TIntPoint a{coord(rng), coord(rng)};
    const int32_t d = drill(rng);
    // Half the slots near the drill's length, where short and long meet.
    const TIntPoint b = i % 2 == 0 ? TIntPoint{coord(rng), coord(rng)}
                                   : TIntPoint{a.X + d * (i % 7) / 3, a.Y + (i % 5) - 2};
    same(a, b, d, cusp(rng));
  }
  same({0, 0}, {0, 0}, 1000, 10);
  same({0, 0}, {0, 0}, 0, 0);
  same({5, 5}, {1005, 5}, 1000, 0);
  same({0, 0}, {999, 0}, 1000, 1);
  same({0, 0}, {100000, 0}, 1000, -1);
  same({-2000000000, 0}, {2000000000, 0}, 1, 1);
  same({-2000000000, -2000000000}, {2000000000, 2000000000}, 2000000000, 1);
}

// ---- The cusp rule as a property ------------------------------------------------

TEST(HitPatternsTest, SlotHitsStayWithinTheCuspOfTheSlot) {
  std::mt19937 rng(2155);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 60; ++trial) {
    const int32_t S = 50000 + int32_t(unit(rng) * 2000000);
    const int32_t C = std::max<int32_t>(1, int32_t(S * (0.001 + 0.05 * unit(rng))));
    const double length = S * (trial % 3 == 0 ? unit(rng) * 0.99 : 1.0 + 12.0 * unit(rng));
    const double angle = unit(rng) * 2.0 * std::numbers::pi;
    const TIntPoint e1{int32_t(unit(rng) * 1e7), int32_t(unit(rng) * 1e7)};
    const TIntPoint e2{e1.X + int32_t(std::lround(length * std::cos(angle))),
                       e1.Y + int32_t(std::lround(length * std::sin(angle)))};
    for (bool pilot : {false, true}) {
      TSlotCollector slot(0, e1, e2, S, C);
      if (pilot) {
        slot.GeneratePilot(S / 4);
      } else {
        slot.Generate();
      }
      ASSERT_FALSE(slot.Hits.empty());
      const double ex = e2.X - e1.X, ey = e2.Y - e1.Y;
      const double L = std::hypot(ex, ey);
      const double ux = L > 0 ? ex / L : 1.0, uy = L > 0 ? ey / L : 0.0;
      // Every hit lies on the slot's centre line: the cut never leaves it.
      for (TIntPoint h : slot.Hits) {
        const double along = (h.X - e1.X) * ux + (h.Y - e1.Y) * uy;
        const double across = -(h.X - e1.X) * uy + (h.Y - e1.Y) * ux;
        EXPECT_LE(std::fabs(across), 1.0);
        EXPECT_GE(along, -1.0);
        EXPECT_LE(along, L + 1.0);
      }
      // Every point of the outline is within the cusp of the cut. Short
      // slots are drilled in tenths of the drill, which allows their own cusp.
      const double limit =
          (L < S ? std::max<double>(C, CuspHeight(0.2 * S, S)) : double(C)) + 1.5;
      const double r = S / 2.0;
      for (int k = 0; k <= 400; ++k) {
        const double t = L * k / 400.0;
        for (double side : {-1.0, 1.0}) {
          const double x = e1.X + t * ux - side * r * uy, y = e1.Y + t * uy + side * r * ux;
          ASSERT_LE(GapToHits(x, y, slot.Hits, r), limit) << trial << " at " << t;
        }
      }
      for (int k = 0; k <= 36; ++k) {
        const double a = std::numbers::pi * k / 36.0;
        const double cx = std::cos(a), sx = std::sin(a);
        // Round ends: behind end 1 and beyond end 2.
        const double bx = e1.X - r * (ux * sx - uy * cx), by = e1.Y - r * (uy * sx + ux * cx);
        const double fx = e2.X + r * (ux * sx + uy * cx), fy = e2.Y + r * (uy * sx - ux * cx);
        ASSERT_LE(GapToHits(bx, by, slot.Hits, r), limit) << trial;
        ASSERT_LE(GapToHits(fx, fy, slot.Hits, r), limit) << trial;
      }
    }
  }
}

TEST(HitPatternsTest, CircleHitsStayWithinTheCuspOfTheCircle) {
  std::mt19937 rng(1552);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 80; ++trial) {
    const int32_t T = 50000 + int32_t(unit(rng) * 1000000);
    const int32_t R = T / 2 + 1000 + int32_t(unit(rng) * 4000000);
    // Mostly fine limits; some at or beyond the radius and the drill.
    int32_t C;
    switch (trial % 4) {
      case 0: C = R; break;
      case 1: C = T / 2 + int32_t(unit(rng) * T / 2); break;
      default: C = std::max<int32_t>(1, int32_t(T * (0.002 + 0.05 * unit(rng)))); break;
    }
    const TIntPoint c{int32_t(unit(rng) * 1e7) - 5000000, int32_t(unit(rng) * 1e7)};
    TCircleCollector circle(c.X, c.Y, R, T, C);
    circle.Generate();
    ASSERT_FALSE(circle.Hits.empty());
    const double r = circle.DrillDiameter / 2.0;
    if (r >= R) continue;  // one hit, wider than the circle
    for (TIntPoint h : circle.Hits) EXPECT_LE(Dist(c.X, c.Y, h) + r, R + 1.0) << trial;
    // Hits by angle about the centre, so that each outline point is measured
    // against its nearest few hits only.
    std::vector<std::pair<double, TIntPoint>> byAngle;
    for (TIntPoint h : circle.Hits) byAngle.push_back({std::atan2(h.Y - c.Y, h.X - c.X), h});
    std::sort(byAngle.begin(), byAngle.end(),
              [](const auto& p, const auto& q) { return p.first < q.first; });
    const int n = int(byAngle.size());
    const int samples = std::max<int>(720, 16 * n);
    for (int k = 0; k < samples; ++k) {
      const double a = -std::numbers::pi + 2.0 * std::numbers::pi * k / samples;
      const double x = c.X + R * std::cos(a), y = c.Y + R * std::sin(a);
      const int at = int(std::lower_bound(byAngle.begin(), byAngle.end(), a,
                                          [](const auto& p, double v) { return p.first < v; }) -
                         byAngle.begin());
      std::vector<TIntPoint> near;
      for (int d = -2; d <= 2; ++d) near.push_back(byAngle[((at + d) % n + n) % n].second);
      ASSERT_LE(GapToHits(x, y, near, r), C + 1.5) << trial << " C " << C;
    }
  }
}

}  // namespace
