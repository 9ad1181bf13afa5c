// The panel the redraw benchmarks draw: 50,000 CAD lines on layers 0 to 3
// and 500,000 drill hits on layers 30 to 32 in 40 tools of 0.007 to 0.046 in
// (the circles of the default display), over 20 x 16 in, added to DB and
// DRDB. The same seed every time, so that every benchmark draws one panel.
// A smoke run draws a hundredth of it, in one case.
#pragma once
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "support/bench_run.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/tool_tables.h"

inline void AddRedrawPanel() {
  constexpr double Inch = 25400000.0;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> x(0, int32_t(20 * Inch)), y(0, int32_t(16 * Inch));
  std::uniform_int_distribution<int32_t> d(-int32_t(Inch / 4), int32_t(Inch / 4));
  std::uniform_int_distribution<int32_t> tool(1, 40);
  std::uniform_int_distribution<int32_t> cadLayer(0, 3), drillLayer(30, 32);
  for (int64_t i = 0, n = korvex_bench::Size(50000, 500); i < n; ++i) {
    const int32_t x1 = x(rng), y1 = y(rng);
    DB->AddLineOnLayer(x1, y1, x1 + d(rng), y1 + d(rng), uint8_t(cadLayer(rng)));
  }
  for (int32_t t = 1; t <= 40; ++t) {
    ActiveTools[t] = true;
    ToolTable[t].Diameter = int32_t(Inch / 1000) * (6 + t);
  }
  for (int64_t i = 0, n = korvex_bench::Size(500000, 5000); i < n; ++i)
    DRDB->AddHoleOnLayer(x(rng), y(rng), uint8_t(drillLayer(rng)), tool(rng), true);
}

// The cases every redraw benchmark times, as (zoom, hole display): zoom 1
// has the whole panel in view, 10 a tenth of it; hole display 0 pixels, 1
// circles of the tool's size (the program's default), 3 shapes. Times in
// ms of the wall clock, with the process's CPU time beside them.
inline void RedrawCases(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
  if (korvex_bench::Smoke()) {
    b->Args({1, 1});
    return;
  }
  b->Args({1, 3})
      ->Args({10, 3})
      ->Args({1, 1})
      ->Args({10, 1})
      ->Args({1, 0});
}
