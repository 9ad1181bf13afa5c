// The count a window edit of stepped holes makes before it is done: a
// matrix copy of n holes, each with a step pattern of its own, 10 x 10
// times. The count takes time linear in the holes and the copies (the time
// per hole stays flat), and the copy is refused: the patterns would pass
// what a job file holds.
//
// Measured on the shared build machine under load, in the test build
// (Debug, sanitizers): 10,000 / 50,000 / 100,000 holes are counted in
// 0.08 / 0.6 / 1.4 s. The count told the patterns apart by a search of
// those met so far (BM_DistinctPatternsBySearch): that alone took 1.4 s for
// 10,000 and 30 s for 50,000, growing with the square, some two minutes
// for 100,000 before the refusal.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "support/bench_run.h"
#include "foundation/geometry_matrix.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/editor_state.h"
#include "model/job_file_reader.h"
#include "model/job_file_writer.h"
#include "model/step_repeat.h"
#include "model/tool_tables.h"
#include "model/view_services.h"

namespace {

void BM_MatrixCopyCountOfDistinctPatterns(benchmark::State& state) {
  const int32_t n = int32_t(state.range(0));
  ResetHeadlessViewServices();
  EditorMode = emDrill;
  ResetLayerMasks();
  CurrentLayer = 30;
  ActiveTools.Fill(true);
  TDrillDatabase* saved = DRDB;
  DRDB = new TDrillDatabase();
  std::vector<TStepObject*> chains;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t hole = DRDB->AddHole(i * 1000, 0, true);
    auto* steps = new TStepObject({{1, 1, 0, 0, 0}, {0, 10, 0, 1000 + i, 0}, {0, 1, 0, 0, 0}});
    DRDB->EntityAt(hole)->SetStepObj(steps);
    chains.push_back(steps);
  }
  int32_t refused = 0;
  for (auto _ : state) {
    const bool fits = JobStepsTakeTransforms(chains, 100, [](int64_t k) {
      TMatrix3 m = IdentityMatrix;
      TranslateMatrix(m, double(k % 10) * 1e7, double(k / 10) * 1e7);
      return m;
    }, true);
    if (!fits) ++refused;
  }
  // Each hole's chain comes to 13 commands and copies, and as much again
  // for each of its hundred copies: past the bound from some 12,200 holes.
  if ((refused > 0) != (int64_t(n) * 1313 > JobStepWorkLimit())) state.SkipWithError("wrong refusal");
  delete DRDB;
  DRDB = saved;
  state.SetItemsProcessed(state.iterations() * n);
}

// The count's first step as it was: the distinct patterns of the holes
// found by a search of those met so far, alone.
void BM_DistinctPatternsBySearch(benchmark::State& state) {
  const int64_t n = state.range(0);
  std::vector<int64_t> chains(static_cast<std::size_t>(n));
  for (int64_t i = 0; i < n; ++i) chains[std::size_t(i)] = i * 7919 % n;
  for (auto _ : state) {
    std::vector<int64_t> distinct;
    for (const int64_t chain : chains)
      if (std::find(distinct.begin(), distinct.end(), chain) == distinct.end()) distinct.push_back(chain);
    if (int64_t(distinct.size()) != n) state.SkipWithError("patterns lost");
    benchmark::DoNotOptimize(distinct.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(BM_DistinctPatternsBySearch)
    ->Apply(korvex_bench::Sizes<2000, 10000, 20000>)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatrixCopyCountOfDistinctPatterns)
    ->Apply(korvex_bench::Sizes<2000, 10000, 50000, 100000>)
    ->Iterations(korvex_bench::Iterations(3))
    ->Unit(benchmark::kMillisecond);
