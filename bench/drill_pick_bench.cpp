// Clicking again and again on one spot of a drill layer of 100,000 hits with
// a stack of 500 hits under the cursor: each click picks the next hit of the
// stack, passing over those picked before. Reports the time per click.
#include <benchmark/benchmark.h>

#include <random>

#include "support/bench_run.h"
#include "foundation/settings.h"

#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/drill_handles.h"
#include "model/editor_state.h"
#include "model/tool_tables.h"
#include "model/view_services.h"

namespace {

constexpr int32_t Spot = 1000000;

void BM_PickCycleOnAStack(benchmark::State& state) {
  const int32_t n = int32_t(state.range(0)), stack = int32_t(state.range(1));
  ResetHeadlessViewServices();
  EditorMode = emDrill;
  ResetLayerMasks();
  CurrentLayer = 30;
  ActiveTools.Fill(true);
  TDrillDatabase* saved = DRDB;
  DRDB = new TDrillDatabase();
  std::mt19937 rng(5);
  std::uniform_int_distribution<int32_t> far(20000000, 400000000);
  // The stacked hits spread evenly through the store.
  const int32_t every = n / stack;
  for (int32_t i = 0; i < n; ++i) {
    if (i % every == 0) DRDB->AddHole(Spot, Spot, true);
    else DRDB->AddHole(far(rng), far(rng), true);
  }
  int32_t distance = 0, picks = 0;
  for (auto _ : state) {
    TDrillHandle* list = nullptr;
    if (DRDB->PickCycle(6000000, Spot, Spot, distance, list, true)) ++picks;
    FreeObjectList<TRootEntityHandle>(list);
  }
  if (picks == 0) state.SkipWithError("nothing picked");
  delete DRDB;
  DRDB = saved;
  state.SetItemsProcessed(state.iterations());
}

void PickCases(benchmark::internal::Benchmark* b) { korvex_bench::AddCases(b, {{100000, 500}}, {2000, 50}); }

}  // namespace

BENCHMARK(BM_PickCycleOnAStack)
    ->Apply(PickCases)
    ->Iterations(korvex_bench::Iterations(1000))
    ->Unit(benchmark::kMillisecond);
