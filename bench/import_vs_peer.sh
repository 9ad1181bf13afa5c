#!/usr/bin/env bash
# The photoplot import beside a peer reader on the same generated 50 MB
# RS-274X file: the import benchmark writes the file and times the import
# into the CAD drawing; the peer (Debian package gerbv, installed when
# missing) reads it and writes it back out as RS-274X. Each side runs five
# times; prints the medians and their ratio. Then the 1,000,000-entity
# drawing import alone, with its time and the process's peak memory.
#   bench/import_vs_peer.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"
if ! command -v gerbv >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends gerbv >/dev/null
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF -DKORVEX_QT=OFF -DKORVEX_BENCH=ON \
  "${launcher[@]}" >/dev/null
cmake --build build/bench -j3 --target bench_import_bench >/dev/null
scratch="${TMPDIR:-/tmp}"
json="$scratch/korvex_import_vs_peer.json"
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Ours and the peer's runs alternate, so a busy spell of the machine falls on both.
ours=()
peer=()
for run in $(seq "$runs"); do
  build/bench/bench_import_bench --benchmark_filter='BM_PhotoplotToCad' --benchmark_format=json >"$json"
  ours+=("$(python3 -c '
import json, sys
print(json.load(open(sys.argv[1]))["benchmarks"][0]["real_time"])' "$json")")
  start=$(date +%s.%N)
  gerbv -x rs274x -o "$scratch/korvex_bench_peer.gbr" "$scratch/korvex_bench_50mb.gbr" 2>/dev/null
  end=$(date +%s.%N)
  peer+=("$(echo "($end - $start) * 1000" | bc -l)")
done
own_ms=$(printf '%s\n' "${ours[@]}" | median)
peer_ms=$(printf '%s\n' "${peer[@]}" | median)
printf 'photoplot, %s runs each (ms):\n  own import: %s\n  peer:       %s\n' "$runs" \
  "$(printf '%.0f ' "${ours[@]}")" "$(printf '%.0f ' "${peer[@]}")"
printf 'median own import into CAD: %.0f ms\nmedian peer reader:         %.0f ms\nratio:                      %.2fx\n' \
  "$own_ms" "$peer_ms" "$(echo "$peer_ms / $own_ms" | bc -l)"

# The drawing: time and peak resident memory of a process that imports it.
/usr/bin/time -f 'peak resident memory: %M KB' build/bench/bench_import_bench \
  --benchmark_filter='BM_DrawingToCad' 2>&1 | grep -E 'BM_DrawingToCad|peak resident'
