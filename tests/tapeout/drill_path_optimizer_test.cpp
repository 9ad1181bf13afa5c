// The drill-path optimisers: every hit exactly once, short paths that start
// near the previous tool's last hit, and the time budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "tapeout/drill_path_optimizer.h"

namespace {

TOptimizerOptions Method(int method) {
  TOptimizerOptions o;
  o.Method = method;
  o.BudgetMilliseconds = 50;
  o.MaxKicks = method == 5 ? 300 : 0;
  return o;
}

bool IsPermutation(std::vector<int32_t> order, std::size_t n) {
  std::sort(order.begin(), order.end());
  std::vector<int32_t> expected(n);
  std::iota(expected.begin(), expected.end(), 0);
  return order == expected;
}

TEST(DrillPathOptimizer, EveryMethodDrillsEachHitExactlyOnce) {
  std::mt19937 random(7);
  std::vector<std::vector<TIntPoint>> sets = {{}, {{5, 5}}, {{0, 0}, {0, 0}}, {{1, 2}, {3, 4}, {1, 2}}};
  // Hits on a coarse grid, so that many share a position.
  for (int n : {5, 9, 60, 700}) {
    std::vector<TIntPoint> points;
    for (int i = 0; i < n; ++i)
      points.push_back({static_cast<int32_t>(random() % 12) * 254000,
                        static_cast<int32_t>(random() % 9) * 254000});
    sets.push_back(points);
  }
  sets.push_back(std::vector<TIntPoint>(40, TIntPoint{-7, 3}));  // all in one place
  for (const auto& points : sets)
    for (int method = 0; method < kOptimizerCount; ++method) {
      SCOPED_TRACE(testing::Message() << points.size() << " hits, method " << method);
      EXPECT_TRUE(IsPermutation(OptimizeDrillPath(points, {0, 0}, Method(method)), points.size()));
    }
}

TEST(DrillPathOptimizer, PathsAreShortAndBeginNearTheStart) {
  // A row of hits drilled from a point left of it: every method but the
  // space-filling curve runs straight along it from the left end.
  std::vector<TIntPoint> row;
  for (int i = 0; i < 100; ++i) row.push_back({(i * 37 % 100) * 1000, 0});
  for (int method : {1, 2, 5}) {
    const auto order = OptimizeDrillPath(row, {-5000, 0}, Method(method));
    EXPECT_DOUBLE_EQ(OpenPathLength(row, order, {-5000, 0}), 104000.0) << "method " << method;
  }
  // The band sweep along Y on a column.
  std::vector<TIntPoint> column;
  for (const TIntPoint& p : row) column.push_back({0, p.X});
  EXPECT_DOUBLE_EQ(OpenPathLength(column, OptimizeDrillPath(column, {0, 200000}, Method(3)), {0, 200000}),
                   200000.0);

  // Scattered hits: the database order is long, the local search far
  // shorter, and the best-in-time search no longer than the standard one.
  std::mt19937 random(11);
  std::vector<TIntPoint> points;
  for (int i = 0; i < 500; ++i)
    points.push_back({static_cast<int32_t>(random() % 100000), static_cast<int32_t>(random() % 100000)});
  const TIntPoint start{0, 0};
  auto length = [&](int method) {
    return OpenPathLength(points, OptimizeDrillPath(points, start, Method(method)), start);
  };
  const double none = length(0), standard = length(1);
  EXPECT_LT(standard, none / 5);
  for (int method : {2, 3, 4}) EXPECT_LT(length(method), none / 3) << "method " << method;
  TOptimizerOptions best = Method(5);
  best.MaxKicks = 2000;
  best.BudgetMilliseconds = 60000;
  EXPECT_LE(OpenPathLength(points, OptimizeDrillPath(points, start, best), start), standard * 1.01);
}

TEST(DrillPathOptimizer, GroupsFarApartAreEachDrilledInOneVisit) {
  // A panel of four small boards: 25 hits in a 0.1 in box each, boards
  // 2 in apart. A good order drills each board out before moving on, so it
  // makes exactly three long moves; the path starts at the nearest board.
  std::mt19937 random(5);
  std::vector<TIntPoint> points;
  for (int board = 0; board < 4; ++board)
    for (int k = 0; k < 25; ++k)
      points.push_back({static_cast<int32_t>((board % 2) * 50800000 + random() % 2540000),
                        static_cast<int32_t>((board / 2) * 50800000 + random() % 2540000)});
  std::shuffle(points.begin(), points.end(), random);
  const TIntPoint start{-1000000, -1000000};
  for (int method : {1, 5}) {
    TOptimizerOptions o = Method(method);
    o.MaxKicks = 0;
    o.BudgetMilliseconds = 600000;  // ends on its own once nothing is left to find
    const std::vector<int32_t> order = OptimizeDrillPath(points, start, o);
    ASSERT_TRUE(IsPermutation(order, points.size()));
    int longMoves = 0;
    for (std::size_t k = 1; k < order.size(); ++k) {
      const TIntPoint& a = points[order[k - 1]];
      const TIntPoint& b = points[order[k]];
      if (std::hypot(double(a.X) - b.X, double(a.Y) - b.Y) > 25400000) ++longMoves;
    }
    EXPECT_EQ(longMoves, 3) << "method " << method;
    EXPECT_LT(points[order[0]].X, 2540000) << "method " << method;
    EXPECT_LT(points[order[0]].Y, 2540000) << "method " << method;
  }
}

TEST(DrillPathOptimizer, ABoardOfTightGroupsIsDrilledGroupByGroup) {
  // Sixty groups of 4 to 24 hits on a 0.15 mm pitch, some hits repeated and
  // some 1 um beside another, scattered over 150 x 150 mm, as a board of
  // packages and via fields is. A search that starts from the
  // nearest-neighbour order leaves groups half drilled and crosses the board
  // again for the rest; the kicks it has cannot undo that. Each kick here is
  // counted, so the length is the same on any machine.
  std::mt19937 random(17);
  std::vector<TIntPoint> points;
  for (int group = 0; group < 60; ++group) {
    const int32_t x0 = static_cast<int32_t>(random() % 150000) * 1000;
    const int32_t y0 = static_cast<int32_t>(random() % 150000) * 1000;
    const int hits = 4 + static_cast<int>(random() % 21);
    const std::size_t first = points.size();
    for (int k = 0; k < hits; ++k) {
      const unsigned kind = random() % 10;
      if (kind < 2 && points.size() > first) {
        TIntPoint p = points[first + random() % (points.size() - first)];
        p.X += kind == 0 ? 0 : 1000;
        points.push_back(p);
      } else {
        points.push_back({x0 + static_cast<int32_t>(random() % 6) * 150000,
                          y0 + static_cast<int32_t>(random() % 5) * 150000});
      }
    }
  }
  const TIntPoint start{0, 0};
  TOptimizerOptions o = Method(5);
  o.MaxKicks = 20;
  o.BudgetMilliseconds = 600000;
  const std::vector<int32_t> order = OptimizeDrillPath(points, start, o);
  ASSERT_TRUE(IsPermutation(order, points.size()));
  // The shortest path known is 967.1 mm (30,000 kicks); the search from
  // the nearest-neighbour order came to 1,061 mm.
  EXPECT_LE(OpenPathLength(points, order, start), 985000000.0);
}

TEST(DrillPathOptimizer, CancelAndTimeBudgetStopTheSearchWithAWholeOrder) {
  std::vector<TIntPoint> points;
  for (int i = 0; i < 3000; ++i) points.push_back({(i * 7919) % 100000, (i * 104729) % 100000});
  TOptimizerOptions o = Method(5);
  o.MaxKicks = 0;
  o.BudgetMilliseconds = 0;  // expires at once
  EXPECT_TRUE(IsPermutation(OptimizeDrillPath(points, {0, 0}, o), points.size()));
  int calls = 0;
  o.BudgetMilliseconds = 600000;
  o.Cancelled = [&calls] { return ++calls > 2; };
  EXPECT_TRUE(IsPermutation(OptimizeDrillPath(points, {0, 0}, o), points.size()));
  EXPECT_GT(calls, 2);

  TTimeBudget budget;
  EXPECT_FALSE(budget.Expired());  // no budget set: never expires
  budget.SetBudget(0);
  EXPECT_TRUE(budget.Expired());
  EXPECT_TRUE(budget.Expired());  // latched
}

}  // namespace

TEST(DrillPathOptimizer, HitsInOneRowOrColumnAreOrderedEndToEnd) {
  // Searches: a row of hits makes a grid one cell high: the searches for the sides
  // that hold no hits must not walk ring after ring of cells outside it
  // (this took minutes for a few hundred hits).
  std::mt19937 random(3);
  std::vector<int32_t> at(800);
  for (int32_t& v : at) v = static_cast<int32_t>(random() % 4000) * 127000;
  const int32_t low = *std::min_element(at.begin(), at.end());
  const int32_t high = *std::max_element(at.begin(), at.end());
  for (bool row : {true, false}) {
    std::vector<TIntPoint> points;
    for (int32_t v : at) points.push_back(row ? TIntPoint{v, 0} : TIntPoint{0, v});
    const TIntPoint start = row ? TIntPoint{low, 0} : TIntPoint{0, low};
    // And the band sweep whose bands the row or column crosses: a band's
    // hits level along its sweep are drilled on towards the next band.
    for (int method : {1, 5, row ? 3 : 2}) {
      SCOPED_TRACE(testing::Message() << (row ? "row" : "column") << ", method " << method);
      const std::vector<int32_t> order = OptimizeDrillPath(points, start, Method(method));
      ASSERT_TRUE(IsPermutation(order, points.size()));
      EXPECT_LE(OpenPathLength(points, order, start), 1.01 * (double(high) - low));
    }
  }
}

TEST(DrillPathOptimizer, StackedHitsAreDrilledTogetherInTheirOwnOrder) {
  // Twenty thousand hits in seven stacks along a row: each stack's hits come
  // one after another, lowest number first, and the stacks in row order from
  // the start. (Stacked hits filled one another's candidate lists, and a
  // search over them took minutes.)
  std::vector<TIntPoint> points;
  for (int i = 0; i < 20000; ++i) points.push_back({(i * 3 % 7) * 100000, 0});
  for (int method : {1, 5}) {
    SCOPED_TRACE(testing::Message() << "method " << method);
    const std::vector<int32_t> order = OptimizeDrillPath(points, {-1000, 0}, Method(method));
    ASSERT_TRUE(IsPermutation(order, points.size()));
    EXPECT_DOUBLE_EQ(OpenPathLength(points, order, {-1000, 0}), 601000.0);
    for (std::size_t k = 1; k < order.size(); ++k)
      if (points[order[k]].X == points[order[k - 1]].X) {
        ASSERT_LT(order[k - 1], order[k]) << "at " << k;
      }
  }
}

TEST(DrillPathOptimizer, ToolsOfVeryManyHitsAreSearchedInPiecesThatJoinUp) {
  // A 60 x 50 grid searched in pieces of 300 hits: every hit once, from the
  // corner at the start, and the pieces join with little lost over the
  // 2,999 steps of the best path. A cancel after the first piece still
  // gives every hit.
  std::vector<TIntPoint> points;
  for (int i = 0; i < 3000; ++i) points.push_back({(i * 7 % 60) * 1000, (i * 7 / 60 % 50) * 1000});
  for (int method : {1, 5}) {
    SCOPED_TRACE(testing::Message() << "method " << method);
    TOptimizerOptions options = Method(method);
    options.WholeSearchHits = 600;
    const std::vector<int32_t> order = OptimizeDrillPath(points, {-1000, 0}, options);
    ASSERT_TRUE(IsPermutation(order, points.size()));
    EXPECT_EQ(points[order.front()].X, 0);
    EXPECT_EQ(points[order.front()].Y, 0);
    EXPECT_LE(OpenPathLength(points, order, {-1000, 0}), 1.08 * 3000000.0);
    int pieces = 0;
    options.Cancelled = [&pieces] { return ++pieces > 0; };
    EXPECT_TRUE(IsPermutation(OptimizeDrillPath(points, {-1000, 0}, options), points.size()));
  }
}
