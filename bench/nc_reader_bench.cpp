// Reading synthetic drill tapes of growing size: the time per hit must stay
// flat (no quadratic slow-down in the reader, its emission or its tool
// bookkeeping).
//
// Measured on the shared 8-core build machine under load (Release): the
// 1,000,000-hit tape reads in 0.21-0.22 s (0.43-0.46 s before the lines were
// split from whole blocks, decoded once and kept in reused buffers) against
// 2.0-2.1 s for the peer reader in bench/tape_read_vs_peer.sh, about 9.5
// times faster; the process's peak resident memory stays at 5 MB (the reader
// holds one line and one 64 KiB block of the file). Per line the reader
// runs about 2,200 instructions (callgrind), down from 3,800.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/bench_run.h"
#include "bench_tapes.h"
#include "tapein/nc_reader.h"

namespace {

class TCountingReader : public TNCReader {
 public:
  using TNCReader::TNCReader;
  void Poll(bool& abort) override {}
  void Hit(int32_t x, int32_t y, int32_t, int32_t, int32_t, uint8_t) override {
    ++Hits;
    Sum += x ^ y;
  }
  void Done() override { Finish(); }
  int64_t Hits = 0;
  int64_t Sum = 0;
};

void BM_ReadDrillTape(benchmark::State& state) {
  const int64_t n = state.range(0);
  const auto path = MakeTape(n);
  const auto scratch = std::filesystem::temp_directory_path() / "korvex_bench";
  for (auto _ : state) {
    TCountingReader reader(path.string(), "", scratch.string(), 1, false, 2, 4, false, false, false,
                           1, false, false);
    bool failed = false;
    reader.Run(failed);
    if (reader.Hits != n) state.SkipWithError("hit count differs");
    benchmark::DoNotOptimize(reader.Sum);
    reader.Done();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// A tape of 1,000,000 hits whose last block is a pattern: 950,000 hits as
// MakeTape writes them (2,500 in a smoke run), then a pattern of 2,500 hits
// read 20 times (19 M02 offsets); written once into
// $TMPDIR/korvex_bench/pattern_tape_<hits>.drl.
const int64_t PatternLead = korvex_bench::Size(950000, 2500);
const int64_t PatternTapeHits = PatternLead + 2500 * 20;

std::filesystem::path MakePatternTape() {
  const auto dir = std::filesystem::temp_directory_path() / "korvex_bench";
  std::filesystem::create_directories(dir);
  const auto path = dir / ("pattern_tape_" + std::to_string(PatternTapeHits) + ".drl");
  if (std::filesystem::exists(path)) return path;
  const auto lead = MakeTape(PatternLead);
  std::string text;
  {
    std::ifstream in(lead, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  text.resize(text.rfind("M30"));
  text += "M25\nT3\n";
  for (int i = 0; i < 2500; ++i)
    text += "X" + std::to_string((i % 50) * 100) + "Y" + std::to_string(100000 + (i / 50) * 100) + "\n";
  text += "M01\n";
  for (int k = 0; k < 19; ++k) text += "M02X6000Y0\n";
  text += "M08\nM30\n";
  std::ofstream out(path, std::ios::binary);
  out << text;
  return path;
}

// Each pass of the pattern reads the pattern's 2,522 lines, not the 1 million
// before it; with argument 1 the tape comes in through a swap filter of one
// rule, which every line read passes.
//
// Measured (Release, shared machine under load): 0.14-0.16 s without a filter
// (as fast as the plain 1,000,000-hit tape) and 0.26-0.29 s through the filter,
// about 1.05 million lines read. When every pass read the tape again from
// its start (20 million lines) the reading stopped at its bound of 4 million
// lines read; with that bound lifted it took 0.38-0.60 s without and 2.45 s
// with the filter.
void BM_ReadTapeEndingInPattern(benchmark::State& state) {
  const auto path = MakePatternTape();
  const auto scratch = std::filesystem::temp_directory_path() / "korvex_bench";
  std::string filter;
  if (state.range(0) != 0) {
    filter = (scratch / "pattern_bench.swp").string();
    std::ofstream(filter, std::ios::binary) << "Q=X\r\n";
  }
  for (auto _ : state) {
    TCountingReader reader(path.string(), filter, scratch.string(), 1, false, 2, 4, false, false,
                           false, 1, false, false);
    bool failed = false;
    reader.Run(failed);
    if (failed || reader.Hits != PatternTapeHits) state.SkipWithError("the tape was not read whole");
    benchmark::DoNotOptimize(reader.Sum);
    reader.Done();
  }
  state.SetItemsProcessed(state.iterations() * PatternTapeHits);
}

}  // namespace

BENCHMARK(BM_ReadTapeEndingInPattern)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDrillTape)->Apply(korvex_bench::Sizes<2000, 50000, 100000, 200000, 1000000>)->Unit(benchmark::kMillisecond);
