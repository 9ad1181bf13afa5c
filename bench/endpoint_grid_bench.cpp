// Linking a closed polygon outline of n sides through the endpoint grid:
// Init, Build and one FollowPath over the whole outline. The time per side
// should stay flat as n grows.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "support/bench_run.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/view_services.h"
#include "routpath/endpoint_grid.h"

namespace {

void BM_LinkPolygonOutline(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  // Radius 20 in: sides of 0.0126 in at n = 10,000.
  const double r = 508000000.0;
  TCadDatabase* saved = DB;
  DB = new TCadDatabase();
  std::vector<TIntPoint> v(n);
  for (int32_t i = 0; i < n; ++i) {
    const double a = 2.0 * 3.14159265358979323846 * i / n;
    v[i] = {static_cast<int32_t>(std::lround(r * std::cos(a))),
            static_cast<int32_t>(std::lround(r * std::sin(a)))};
  }
  for (int32_t i = 0; i < n; ++i) {
    const TIntPoint s = v[i], e = v[(i + 1) % n];
    DB->AddLineOnLayer(s.X, s.Y, e.X, e.Y, 0);
  }
  for (auto _ : state) {
    TEndpointGrid grid;
    grid.Init(0, LinkTolerance, false);
    grid.Build();
    TRootEntityHandle* path = new TCadHandle(1);
    const uint8_t result = grid.FollowPath(path, false);
    FreeObjectList<TRootEntityHandle>(path);
    if (result != fpClosed) {
      state.SkipWithError("the outline did not link closed");
      break;
    }
  }
  state.SetComplexityN(n);
  delete DB;
  DB = saved;
}
// At n = 100,000 the sides are shorter than the link tolerance, so each
// search meets several candidates and takes the one exactly on the end.
BENCHMARK(BM_LinkPolygonOutline)->Apply(korvex_bench::Sizes<1000, 1000, 10000, 100000>)->Complexity();

}  // namespace
