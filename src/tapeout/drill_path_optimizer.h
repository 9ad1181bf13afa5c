// The drill-path optimisers: the order in which the hits of one tool are
// drilled. Each optimiser returns a permutation of the hits (every index
// exactly once) forming an open path that starts near a given point, the
// last hit of the tool before.
//
//   0 "None"            the hits in database order
//   1 "Standard"        nearest neighbour (on a board of tight groups of
//                       hits, the groups drilled whole one after another,
//                       in the order of a search over the groups, when that
//                       is shorter), then 2-opt, Or-opt and
//                       Lin-Kernighan moves over candidate lists (the
//                       nearest hits and the nearest on each side), then a
//                       short run of kicks as in 5 (three per hit, at most
//                       150 ms)
//   2 "Band Sweep X"    bands swept along X, back and forth
//   3 "Band Sweep Y"    bands swept along Y, back and forth
//   4 "Space Filling"   the order of a Hilbert curve over the hits
//   5 "Best in Time"    as 1, then iterated local search with double-bridge
//                       kicks, each kept only when the tour gets shorter,
//                       until the time budget runs out or many kicks in a
//                       row have found nothing
//
// Methods 1 and 5 search hits at one place as one, and a tool of very many
// hits in pieces (TOptimizerOptions::WholeSearchHits).
// The local search of 1 and 5 always runs to its end (only Cancel stops it);
// the time budget bounds the kicks.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/geometry.h"

constexpr int kOptimizerCount = 6;
// The names the Make Drill Tape dialog lists, by index.
extern const char* const OptimizerNames[kOptimizerCount];

// A deadline some milliseconds from now; Expired latches once it has passed.
class TTimeBudget {
 public:
  TTimeBudget() = default;
  void SetBudget(uint32_t milliseconds);
  bool Expired();

 private:
  std::chrono::steady_clock::time_point deadline_{};
  bool set_ = false;
  bool expired_ = false;
};

struct TOptimizerOptions {
  int Method = 1;                  // 0..5; others count as 1
  uint32_t BudgetMilliseconds = 1000;  // method 5
  // Method 5 also stops after this many kicks (0: no limit), so a run can be
  // repeated exactly.
  int64_t MaxKicks = 0;
  uint32_t Seed = 12345;
  // Methods 1 and 5 search a tool of more hits than this in pieces of half
  // as many, cut along a space-filling curve, each an open path from where
  // the one before ended: the search of the whole grows with the square of
  // the hits.
  int32_t WholeSearchHits = 50000;
  // Polled now and then during long runs; true stops the search early with
  // the best order found so far.
  std::function<bool()> Cancelled;
};

// The drilling order of the points: a permutation of 0..n-1, an open path
// from `start`. Methods 1 and 5 search the open path itself; the sweeps run
// from whichever end lies nearer, and the curve is cut where the path from
// the start comes out shortest; method 0 keeps the given order.
std::vector<int32_t> OptimizeDrillPath(const std::vector<TIntPoint>& points, const TIntPoint& start,
                                       const TOptimizerOptions& options);

// The closed tour of the method (the sweeps' and the curve's own order, the
// search methods' closed tour): what the methods are compared by.
std::vector<int32_t> OptimizeClosedTour(const std::vector<TIntPoint>& points,
                                        const TOptimizerOptions& options);

// Length of the open path through the points in the order, starting at start.
double OpenPathLength(const std::vector<TIntPoint>& points, const std::vector<int32_t>& order,
                      const TIntPoint& start);
