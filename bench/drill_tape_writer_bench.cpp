// Writing a drill tape of a million hits in ten tools: the tape lines and the
// file, without the drilling order (database order). Reports hits per second.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "support/bench_run.h"
#include "foundation/settings_families.h"
#include "tapeout/drill_tape_writer.h"

namespace {

void BM_WriteMillionHitTape(benchmark::State& state) {
  const int64_t n = state.range(0);
  TDrillTapeProgram program;
  for (int32_t t = 1; t <= 10; ++t) {
    TDrillTapeTool tool{t, 254000 * t, {}, {}};
    for (int64_t i = 0; i < n / 10; ++i)
      tool.Items.push_back({TDrillTapeItemKind::Hits,
                            {{static_cast<int32_t>((i % 1000) * 254000), static_cast<int32_t>((i / 1000) * 254000 + t)}},
                            0, "", false});
    program.Tools.push_back(std::move(tool));
  }
  const TDrillFormatRecord format = DefaultDrillFormat(true);
  TMakeTapeDefaults options;
  const auto file = std::filesystem::temp_directory_path() / "korvex_bench_tape.drl";
  for (auto _ : state) {
    if (!WriteDrillTape(program, format, options, 0, file.string())) state.SkipWithError("not written");
  }
  std::filesystem::remove(file);
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["hits_per_second"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_WriteMillionHitTape)->Apply(korvex_bench::Sizes<2000, 1000000>)->Unit(benchmark::kMillisecond);
