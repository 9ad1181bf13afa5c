#include "bench_run.h"

int main(int argc, char** argv) { return korvex_bench::RunBenchmarks(argc, argv); }
