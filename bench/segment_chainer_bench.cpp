// Chaining loose segments: outlines of lines and arcs broken into their
// segments and added in a scrambled order, 20,000 and 200,000 segments. The
// time per segment should stay flat (n log n at worst).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "support/bench_run.h"
#include "routpath/segment_chainer.h"

namespace {

struct TLoose {
  bool Arc;
  int32_t X1, Y1, X2, Y2, CX, CY;
};

// Outlines of 100 segments (every other one an arc) on a grid, their
// segments scrambled, some reversed.
std::vector<TLoose> MakeSegments(int count) {
  const int outlines = count / 100;
  const double radius = 8890000.0, pitch = 20320000.0;
  std::vector<TLoose> all;
  for (int n = 0; n < outlines; ++n) {
    const double ox = (n % 50 - 25) * pitch, oy = (n / 50 - 20) * pitch;
    std::vector<std::pair<int32_t, int32_t>> v;
    for (int k = 0; k < 100; ++k) {
      const double t = 2.0 * M_PI * k / 100;
      v.push_back({int32_t(std::lround(ox + radius * std::cos(t))),
                   int32_t(std::lround(oy + radius * std::sin(t)))});
    }
    for (int k = 0; k < 100; ++k) {
      const auto [ax, ay] = v[k];
      const auto [bx, by] = v[(k + 1) % 100];
      TLoose s{k % 2 == 1, ax, ay, bx, by, int32_t(std::lround(ox)), int32_t(std::lround(oy))};
      if (k % 3 == 0 && !s.Arc) {
        std::swap(s.X1, s.X2);
        std::swap(s.Y1, s.Y2);
      }
      all.push_back(s);
    }
  }
  std::vector<TLoose> scrambled(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) scrambled[(i * 7919) % all.size()] = all[i];
  return scrambled;
}

class TCountingChainer : public TSegmentChainer {
 public:
  TCountingChainer() : TSegmentChainer(0.0) {}
  std::size_t Chains = 0;

 protected:
  void EndChain() override { ++Chains; }
};

void BM_ChainLooseSegments(benchmark::State& state) {
  const std::vector<TLoose> segments = MakeSegments(int(state.range(0)));
  std::size_t chains = 0;
  for (auto _ : state) {
    TCountingChainer c;
    for (const TLoose& s : segments) {
      if (s.Arc)
        c.AddArc(s.X1, s.Y1, s.X2, s.Y2, s.CX, s.CY);
      else
        c.AddLine(s.X1, s.Y1, s.X2, s.Y2);
    }
    c.Process();
    chains = c.Chains;
  }
  state.counters["chains"] = double(chains);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ChainLooseSegments)->Apply(korvex_bench::Sizes<2000, 20000, 200000>)->Unit(benchmark::kMillisecond);

}  // namespace
