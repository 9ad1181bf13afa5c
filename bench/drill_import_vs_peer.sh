#!/usr/bin/env bash
# The whole Drill Import command beside a peer reader on the same generated
# Excellon tape of 999,980 hits: bench/drill_import_command_bench.cpp writes the
# tape and times the command as the user runs it (dialogs answered at once);
# the peer (Debian package gerbv) reads the tape and writes it back out. The
# two alternate, so a busy spell of the machine falls on both; prints each
# side's runs, the medians, their ratio and the peak resident memory of one
# process each (from /usr/bin/time).
#   bench/drill_import_vs_peer.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"
if ! command -v gerbv >/dev/null; then
  echo "drill_import_vs_peer: the peer reader gerbv is not installed (apt-get install gerbv)" >&2
  exit 1
fi
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF -DKORVEX_QT=OFF -DKORVEX_BENCH=ON >/dev/null
cmake --build build/bench -j4 --target bench_drill_import_command_bench >/dev/null
scratch="${TMPDIR:-/tmp}"
json="$scratch/korvex_drill_import.json"
tape="$scratch/korvex_bench/tape_999980.drl"
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ours=()
peer=()
for run in $(seq "$runs"); do
  build/bench/bench_drill_import_command_bench --benchmark_format=json >"$json"
  ours+=("$(python3 -c '
import json, sys
b = json.load(open(sys.argv[1]))["benchmarks"][0]
if "error_message" in b: sys.exit("drill import: " + b["error_message"])
print(b["real_time"])' "$json")")
  start=$(date +%s.%N)
  gerbv -x drill -o "$scratch/korvex_peer_import.drl" "$tape" 2>/dev/null
  end=$(date +%s.%N)
  peer+=("$(echo "($end - $start) * 1000" | bc -l)")
done
own_ms=$(printf '%s\n' "${ours[@]}" | median)
peer_ms=$(printf '%s\n' "${peer[@]}" | median)
printf 'Drill Import of %s, %s runs each (ms):\n  own command: %s\n  peer:        %s\n' \
  "$(basename "$tape")" "$runs" "$(printf '%.0f ' "${ours[@]}")" "$(printf '%.0f ' "${peer[@]}")"
printf 'median own Drill Import: %.0f ms\nmedian peer reader:      %.0f ms\nratio:                   %.2fx\n' \
  "$own_ms" "$peer_ms" "$(echo "$peer_ms / $own_ms" | bc -l)"

# Peak resident memory of one process each: the benchmark process runs the
# command once (its set-up included), the peer reads and writes the tape.
if [ -x /usr/bin/time ]; then
  peak() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; }
  own_kb=$(peak build/bench/bench_drill_import_command_bench --benchmark_min_time=0)
  peer_kb=$(peak gerbv -x drill -o "$scratch/korvex_peer_import.drl" "$tape")
  printf 'peak memory: own %.0f MB, peer %.0f MB (own/peer %.2f)\n' \
    "$(echo "$own_kb / 1024" | bc -l)" "$(echo "$peer_kb / 1024" | bc -l)" \
    "$(echo "$own_kb / $peer_kb" | bc -l)"
fi
