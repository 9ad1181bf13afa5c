// Importing rout tapes of growing size into an empty rout layer. A tape that
// opens with '%' records every entity for the pattern repeat that may follow,
// so this is the path every rout tape takes: the time per hole must stay flat.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/bench_run.h"
#include "foundation/settings.h"
#include "model/editor_state.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "tapein/rout_import.h"

namespace {

// n holes in rows of 100, with a short line path after every pathEvery holes.
std::filesystem::path MakeRoutTape(int64_t n, int64_t pathEvery) {
  const auto dir = std::filesystem::temp_directory_path() / "korvex_bench";
  std::filesystem::create_directories(dir);
  const auto path = dir / ("rout_" + std::to_string(n) + "_" + std::to_string(pathEvery) + ".rou");
  if (std::filesystem::exists(path)) return path;
  std::ofstream out(path);
  out << "%\nG90\nT1\n";
  for (int64_t i = 0; i < n; ++i) {
    const int64_t x = (i % 100) * 1000, y = (i / 100) * 1000;
    out << "G05X" << x << "Y" << y << "\n";
    if (i % pathEvery == pathEvery - 1)
      out << "G00X" << x << "Y" << y + 300 << "\nM15\nG01X" << x + 500 << "Y" << y + 300
          << "\nM17\n";
  }
  out << "M30\n";
  return path;
}

void BM_ImportRoutTape(benchmark::State& state) {
  const int64_t n = state.range(0);
  const auto path = MakeRoutTape(n, state.range(1));
  const auto scratch = std::filesystem::temp_directory_path() / "korvex_bench";
  ResetHeadlessViewServices();
  EditorMode = emRout;
  CurrentLayer = 40;
  int32_t count = 0;
  for (auto _ : state) {
    state.PauseTiming();
    RoutUndo = new TRoutUndo();
    ActiveUndo = RoutUndo;
    RTDB = new TRoutDatabase();
    Seq = new TSequenceStore();
    state.ResumeTiming();
    {
      TRoutTapeReader reader(*RoutImportTarget(), path.string(), "", scratch.string(), false, 2, 4,
                             false, false, 1, false, false, false);
      bool failed = false;
      reader.Run(failed);
      reader.Done();
    }
    count = RoutEntityCount;
    state.PauseTiming();
    delete RTDB;
    RTDB = nullptr;
    delete Seq;
    Seq = nullptr;
    delete RoutUndo;
    RoutUndo = nullptr;
    ActiveUndo = nullptr;
    state.ResumeTiming();
  }
  if (count < n) state.SkipWithError("holes missing");
  state.counters["entities"] = count;
  state.SetItemsProcessed(state.iterations() * n);
}

// Mostly holes, then a path after every hole.
void RoutTapeCases(benchmark::internal::Benchmark* b) {
  korvex_bench::AddCases(b, {{5000, 50}, {10000, 50}, {20000, 50}, {5000, 1}, {10000, 1}, {20000, 1}}, {500, 50});
}

}  // namespace

BENCHMARK(BM_ImportRoutTape)
    ->Apply(RoutTapeCases)
    ->Unit(benchmark::kMillisecond);
