// Pocket clearing and the web rout of a whole panel.
//
// BM_HatchPocketWithIslands: the scan-line fill of a 300 mm x 300 mm pocket
// with a grid of round islands (5 mm radius) at the pass spacing of a 1 mm
// tool (range(0) islands, range(1) the spacing in microns). The time should
// follow scan lines x crossings, not scan lines x edges.
//
// BM_WebRoutPanel: the full-panel rout of an 18 x 24 in panel holding
// range(0) copies of a rounded board outline, a 0.125 in tool.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "support/bench_run.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/editor_state.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "routpath/hatch_fill.h"
#include "routpath/pocket_rout.h"

namespace {

constexpr int32_t Mm = 1000000;
constexpr int32_t Inch = 25400000;

class TCountingDriver : public THatchDriver {
 public:
  int64_t Passes = 0;

 protected:
  void EmitPass(int32_t, int32_t, int32_t, int32_t) override { ++Passes; }
};

std::vector<TRingSegment> Square(int32_t x, int32_t y, int32_t w) {
  std::vector<TRingSegment> ring(4);
  const TIntPoint p[4] = {{x + w, y}, {x + w, y + w}, {x, y + w}, {x, y}};
  for (int i = 0; i < 4; ++i) {
    ring[i].Kind = 1;
    ring[i].X = p[i].X;
    ring[i].Y = p[i].Y;
  }
  return ring;
}

std::vector<TRingSegment> Circle(int32_t cx, int32_t cy, int32_t r) {
  std::vector<TRingSegment> ring(2);
  ring[0] = {0.0, 0, cx - r, cy, 0, 3, cx, cy};
  ring[1] = {0.0, 0, cx + r, cy, 0, 3, cx, cy};
  return ring;
}

void BM_HatchPocketWithIslands(benchmark::State& state) {
  const int32_t islands = static_cast<int32_t>(state.range(0));
  const int32_t spacing = static_cast<int32_t>(state.range(1)) * 1000;
  std::vector<std::vector<TRingSegment>> rings{Square(0, 0, 300 * Mm)};
  const int32_t side = static_cast<int32_t>(std::ceil(std::sqrt(double(islands))));
  for (int32_t i = 0; i < islands; ++i) {
    const int32_t step = 300 * Mm / (side + 1);
    rings.push_back(Circle(step * (1 + i % side), step * (1 + i / side), 5 * Mm));
  }
  int64_t passes = 0;
  for (auto _ : state) {
    TCountingDriver driver;
    driver.Fill(rings, spacing, kPocketChordTolerance);
    passes = driver.Passes;
  }
  state.counters["passes"] = double(passes);
  state.SetComplexityN(int64_t(300 * Mm / spacing) * (2 + 2 * side));
}
void PocketCases(benchmark::internal::Benchmark* b) {
  korvex_bench::AddCases(b, {{0, 1000}, {50, 1000}, {200, 1000}, {800, 1000}, {200, 500}, {200, 250}}, {5, 1000});
}
BENCHMARK(BM_HatchPocketWithIslands)
    ->Apply(PocketCases)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_WebRoutPanel(benchmark::State& state) {
  const int32_t copies = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    CadUndo = new TCadUndo();
    DB = new TCadDatabase();
    RoutUndo = new TRoutUndo();
    ActiveUndo = RoutUndo;
    RTDB = new TRoutDatabase();
    Seq = new TSequenceStore();
    CurrentLayer = 40;
    RoutLayerTools[40] = {};
    RoutToolPages[40][1] = TRoutToolRecord{3175000, 3175000, 300, 100, 0};
    // Boards of 1.0 x 1.4 in with rounded corners in a grid of 0.2 in webs.
    const int32_t w = Inch, h = 14 * Inch / 10, r = Inch / 8, gap = Inch / 5;
    const int32_t across = (18 * Inch) / (w + gap);
    for (int32_t i = 0; i < copies; ++i) {
      const int32_t x = (i % across) * (w + gap), y = (i / across) * (h + gap);
      DB->AddLineOnLayer(x + r, y, x + w - r, y, 0);
      DB->AddArcOnLayer({x + w - r, y}, {x + w, y + r}, {x + w - r, y + r}, 0);
      DB->AddLineOnLayer(x + w, y + r, x + w, y + h - r, 0);
      DB->AddArcOnLayer({x + w, y + h - r}, {x + w - r, y + h}, {x + w - r, y + h - r}, 0);
      DB->AddLineOnLayer(x + w - r, y + h, x + r, y + h, 0);
      DB->AddArcOnLayer({x + r, y + h}, {x, y + h - r}, {x + r, y + h - r}, 0);
      DB->AddLineOnLayer(x, y + h - r, x, y + r, 0);
      DB->AddArcOnLayer({x, y + r}, {x + r, y}, {x + r, y + r}, 0);
    }
    state.ResumeTiming();
    if (!FullPanelAutoRout(*RTDB, false)) state.SkipWithError("nothing was routed");
    state.PauseTiming();
    state.counters["moves"] = RoutEntityCount;
    delete RTDB;
    RTDB = nullptr;
    delete Seq;
    Seq = nullptr;
    delete RoutUndo;
    RoutUndo = nullptr;
    ActiveUndo = nullptr;
    delete DB;
    DB = nullptr;
    delete CadUndo;
    CadUndo = nullptr;
    state.ResumeTiming();
  }
  state.SetComplexityN(copies);
}
BENCHMARK(BM_WebRoutPanel)->Apply(korvex_bench::Sizes<4, 50, 200>)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
