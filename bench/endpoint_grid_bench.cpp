// Linking a closed polygon outline of n sides through the endpoint grid:
// Init, Build and one FollowPath over the whole outline. The time per side
// should stay flat as n grows.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "foundation/utilities.h"
#include "model/cad_undo.h"
#include "routpath/endpoint_grid.h"
#include "workspace/view_services.h"

namespace {

class TSide : public TRootDBObject {
 public:
  TSide(TIntPoint s, TIntPoint e) : S(s), E(e) {}
  uint8_t GetType() override { return etCadLine; }
  void DrawColour(TColor) override {}
  void Erase() override {}
  void Draw(uint8_t) override {}
  void GetPoint(TIntPoint& p) override { p = S; }
  void GetSecondPoint(TIntPoint& p) override { p = E; }
  int32_t GetRadius() override { return 0; }
  void SetPoint(const TIntPoint& p) override { S = p; }
  void SetSecondPoint(const TIntPoint& p) override { E = p; }
  bool Transform(const TMatrix3&) override { return false; }
  void GetCentre(TIntPoint& p) override { p = S; }
  TIntPoint S, E;
};

void BM_LinkPolygonOutline(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  // Radius 20 in: sides of 0.0126 in at n = 10,000.
  const double r = 508000000.0;
  std::vector<std::unique_ptr<TSide>> sides;
  TEntityArray store;
  TEntityArray* saved = EntityArray;
  const int32_t savedCount = CadEntityCount;
  EntityArray = &store;
  CadEntityCount = 0;
  std::vector<TIntPoint> v(n);
  for (int32_t i = 0; i < n; ++i) {
    const double a = 2.0 * 3.14159265358979323846 * i / n;
    v[i] = {static_cast<int32_t>(std::lround(r * std::cos(a))),
            static_cast<int32_t>(std::lround(r * std::sin(a)))};
  }
  for (int32_t i = 0; i < n; ++i) {
    sides.push_back(std::make_unique<TSide>(v[i], v[(i + 1) % n]));
    TEntitySlot* slot = store.AddSlot(CadEntityCount);
    slot->Flags = 1;
    slot->Entity = sides.back().get();
  }
  for (auto _ : state) {
    TEndpointGrid grid;
    grid.Init(0, LinkTolerance, false);
    grid.Build();
    TRootEntityHandle* path = new TCadHandle(1);
    benchmark::DoNotOptimize(grid.FollowPath(path, false));
    FreeObjectList<TRootEntityHandle>(path);
  }
  state.SetComplexityN(n);
  EntityArray = saved;
  CadEntityCount = savedCount;
}
// At n = 100,000 the sides are shorter than the link tolerance, so each
// search meets several candidates and takes the one exactly on the end.
BENCHMARK(BM_LinkPolygonOutline)->Arg(1000)->Arg(10000)->Arg(100000)->Complexity();

}  // namespace
