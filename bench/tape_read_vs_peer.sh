#!/usr/bin/env bash
# The drill tape reader beside a peer reader on the same generated
# 1,000,000-hit Excellon tape: the benchmark writes the tape and times the
# program's own reader; the peer (Debian package gerbv, installed when
# missing) reads it and writes it back out. Prints both times, the ratio and
# the peak memory of both processes (resident set, from /usr/bin/time -v).
#   bench/tape_read_vs_peer.sh
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v gerbv >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends gerbv >/dev/null
fi
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF -DKORVEX_QT=OFF -DKORVEX_BENCH=ON >/dev/null
cmake --build build/bench -j4 --target bench_nc_reader_bench >/dev/null
scratch="${TMPDIR:-/tmp}"
json="$scratch/korvex_tape_read.json"
build/bench/bench_nc_reader_bench --benchmark_filter='BM_ReadDrillTape/1000000$' \
  --benchmark_repetitions=3 --benchmark_format=json >"$json"
ours=$(python3 -c '
import json, sys
runs = [b for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("run_type") == "iteration"]
print(min(b["real_time"] for b in runs))' "$json")
tape="$scratch/korvex_bench/tape_1000000.drl"
best=""
for run in 1 2 3; do
  start=$(date +%s.%N)
  gerbv -x drill -o "$scratch/korvex_peer_tape.drl" "$tape" 2>/dev/null
  end=$(date +%s.%N)
  ms=$(echo "($end - $start) * 1000" | bc -l)
  if [ -z "$best" ] || [ "$(echo "$ms < $best" | bc -l)" = 1 ]; then best=$ms; fi
done
printf 'own reader:  %.0f ms\npeer reader: %.0f ms\nratio:       %.2fx\n' \
  "$ours" "$best" "$(echo "$best / $ours" | bc -l)"
# Peak resident memory of one reading each (the benchmark process reads the
# tape once more for it).
peak() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ {print int($2 / 1024)}'; }
if [ -x /usr/bin/time ]; then
  own_mb=$(peak build/bench/bench_nc_reader_bench --benchmark_filter='BM_ReadDrillTape/1000000$' \
    --benchmark_min_time=0)
  peer_mb=$(peak gerbv -x drill -o "$scratch/korvex_peer_tape.drl" "$tape")
  printf 'peak memory: own %s MB, peer %s MB\n' "$own_mb" "$peer_mb"
fi
