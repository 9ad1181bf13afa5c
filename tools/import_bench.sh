#!/usr/bin/env bash
# The photoplot import beside the peer reader on the same generated file:
# builds the import benchmark, lets it write the file, and times the peer's
# RS-274X export of it (Debian package gerbv).
#   tools/import_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF -DKORVEX_QT=OFF -DKORVEX_BENCH=ON >/dev/null
cmake --build build/bench -j4 --target bench_import_bench >/dev/null
build/bench/bench_import_bench --benchmark_filter=Photoplot
build/bench/bench_import_bench --benchmark_filter=Drawing
file="${TMPDIR:-/tmp}/korvex_bench_50mb.gbr"
if ! command -v gerbv >/dev/null; then
  echo "gerbv is not installed: sudo apt-get install gerbv" >&2
  exit 1
fi
for run in 1 2 3; do
  start=$(date +%s.%N)
  gerbv -x rs274x -o "${TMPDIR:-/tmp}/korvex_bench_peer.gbr" "$file"
  end=$(date +%s.%N)
  echo "peer reader, run $run: $(echo "($end - $start) * 1000" | bc -l | cut -d. -f1) ms"
done
