// Arcs from chords on one long open chain: a wave of n chords, every 20
// chords a quarter circle turning the other way, so the chain is one piece
// and holds n / 20 arcs; and on one closed chain: a circle of n chords. The
// time per chord should stay flat as n grows, and the long chains need no
// deep stack.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <utility>

#include "support/bench_run.h"
#include "edit/cleanup_passes.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/view_services.h"
#include "platform/paths.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

void BuildWave(int32_t n) {
  delete DB;
  delete CadUndo;
  CadUndo = new TCadUndo();
  ActiveUndo = CadUndo;
  DB = new TCadDatabase();
  CurrentLayer = 0;
  // Quarter circles of radius 0.5 in, 20 chords each, alternating sides.
  const double r = 12700000.0;
  double cx = 0.0, cy = 0.0, a = kPi;  // start at (-r, 0) about the first centre
  int32_t px = static_cast<int32_t>(std::lround(cx + r * std::cos(a)));
  int32_t py = static_cast<int32_t>(std::lround(cy + r * std::sin(a)));
  double turn = -1.0;
  for (int32_t i = 0; i < n; ++i) {
    a += turn * (kPi / 2.0) / 20.0;
    const int32_t x = static_cast<int32_t>(std::lround(cx + r * std::cos(a)));
    const int32_t y = static_cast<int32_t>(std::lround(cy + r * std::sin(a)));
    DB->AddLine(px, py, x, y);
    px = x;
    py = y;
    if ((i + 1) % 20 == 0) {
      // Mirror the centre through the current point: the next quarter turns
      // the other way, tangent to this one.
      cx = 2.0 * x - cx;
      cy = 2.0 * y - cy;
      a += kPi;
      turn = -turn;
    }
  }
}

// A circle of radius 10 in drawn as n even chords.
void BuildLoop(int32_t n) {
  delete DB;
  delete CadUndo;
  CadUndo = new TCadUndo();
  ActiveUndo = CadUndo;
  DB = new TCadDatabase();
  CurrentLayer = 0;
  const double r = 254000000.0;
  auto at = [&](int32_t k) {
    const double a = 2.0 * kPi * (k % n) / n;
    return std::pair{static_cast<int32_t>(std::lround(r * std::cos(a))),
                     static_cast<int32_t>(std::lround(r * std::sin(a)))};
  };
  for (int32_t k = 0; k < n; ++k) {
    const auto [x1, y1] = at(k);
    const auto [x2, y2] = at(k + 1);
    DB->AddLine(x1, y1, x2, y2);
  }
}

void BM_ArcsFromLongChain(benchmark::State& state) {
  EnsureWorkingDirectories();
  const auto n = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    BuildWave(n);
    state.ResumeTiming();
    TStatusBracket status("Automatic cleanup");
    BuildArcsFromChords(50800);
    if (ArcCount < n / 20 - 1) {
      state.SkipWithError(("the wave came back as " + std::to_string(ArcCount) + " arcs").c_str());
      break;
    }
  }
  state.SetComplexityN(n);
  state.counters["arcs"] = ArcCount;
}
BENCHMARK(BM_ArcsFromLongChain)
    ->Apply(korvex_bench::Sizes<2000, 20000, 200000>)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Complexity();

void BM_CircleFromLongLoop(benchmark::State& state) {
  EnsureWorkingDirectories();
  const auto n = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    BuildLoop(n);
    state.ResumeTiming();
    TStatusBracket status("Automatic cleanup");
    BuildArcsFromChords(50800);
    if (CircleCount != 1) {
      state.SkipWithError(("the loop came back as " + std::to_string(CircleCount) + " circles").c_str());
      break;
    }
  }
  state.SetComplexityN(n);
}
BENCHMARK(BM_CircleFromLongLoop)
    ->Apply(korvex_bench::Sizes<2000, 20000, 200000>)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Complexity();

}  // namespace
