// The format the drill format dialog is pre-filled with, gathered from a
// generated tape of 999,980 hits (bench/bench_tapes.h): the statements, the
// words' zeros and digits, the tool sizes and the spacing of the holes. The
// scan stops after the words it keeps, so the time does not grow with the
// tape beyond them.
//
// Measured on the shared 8-core build machine under load (Release), medians
// of runs alternating with the code before: 17-19 ms against 15-17 ms
// before the spacing of the holes was weighed (the nearest neighbours of
// 4,096 hits found in cells of about one hole, the extents of every format
// worked out from the extremes of each word length, tool and G words found
// in one pass over a block), against some 340 ms for the whole Drill Import
// of the same tape.
#include <benchmark/benchmark.h>

#include "support/bench_run.h"
#include "bench_tapes.h"
#include "foundation/settings_families.h"
#include "tapein/drill_format_guess.h"

namespace {

void BM_PrefilledDrillFormat(benchmark::State& state) {
  const std::string tape = MakeTape(korvex_bench::Size(999980, 2000)).string();
  const TDrillFormatRecord stored = DefaultDrillFormat(false);
  for (auto _ : state) {
    const TDrillFormatRecord f = PrefilledTapeFormat(tape, stored);
    benchmark::DoNotOptimize(f);
  }
}
BENCHMARK(BM_PrefilledDrillFormat)->Unit(benchmark::kMillisecond);

}  // namespace
