// How the benchmarks run. At full size (tools/korvex.sh bench) each measures
// what its comment says; with KORVEX_BENCH_SMOKE set (the test suite runs
// every benchmark so) each runs once at a small size, so that one that
// breaks (throws, aborts, or finds a wrong result) is noticed without the
// wait. Speed goals are judged only at full size: a small or sanitized run
// says nothing about them.
#pragma once
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace korvex_bench {

// True in a smoke run.
inline bool Smoke() {
  static const bool on = [] {
    const char* value = std::getenv("KORVEX_BENCH_SMOKE");
    return value != nullptr && *value != '\0' && *value != '0';
  }();
  return on;
}

// A size fixed by the benchmark: the full one, or the small one in a smoke run.
inline int64_t Size(int64_t full, int64_t smoke) { return Smoke() ? smoke : full; }

// Registers one argument per size, or only the small one in a smoke run:
// BENCHMARK(BM_X)->Apply(korvex_bench::Sizes<2000, 20000, 200000>), the
// smoke run's size first.
template <int64_t SmokeSize, int64_t... FullSizes>
void Sizes(benchmark::internal::Benchmark* b) {
  if (Smoke()) {
    b->Arg(SmokeSize);
    return;
  }
  (b->Arg(FullSizes), ...);
}

// The same for benchmarks of several arguments, from a function of the
// benchmark's own that Apply calls.
inline void AddCases(benchmark::internal::Benchmark* b, const std::vector<std::vector<int64_t>>& cases,
                     const std::vector<int64_t>& smoke) {
  if (Smoke()) {
    b->Args(smoke);
    return;
  }
  for (const auto& args : cases) b->Args(args);
}

// A fixed count of iterations, or one in a smoke run.
inline int64_t Iterations(int64_t full) { return Smoke() ? 1 : full; }

// Runs the benchmarks the command line selects, as the library's own main
// does, and answers 1 when one of them reported an error (a wrong result, a
// missed goal): a benchmark that breaks fails the command that ran it.
int RunBenchmarks(int argc, char** argv);

// The same in two steps, for a main that has more to do between them: takes
// the library's options out of the arguments (false when one is unknown),
// then runs and answers as RunBenchmarks.
bool InitializeBenchmarks(int* argc, char** argv);
int RunInitializedBenchmarks();

}  // namespace korvex_bench
