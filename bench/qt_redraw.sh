#!/usr/bin/env bash
# The full redraw benchmark through the Qt canvas (bench/qt/qt_redraw.cpp):
# builds it in the benchmark build with the Qt front end and runs it on Qt's
# offscreen platform, in turn with the same redraw on the headless raster
# canvas (bench/redraw_bench.cpp).
# Prints each case's median over the runs, the ratio Qt / headless and the
# ratio to the 50 ms a redraw may take. Arguments go to both benchmarks,
# e.g. --benchmark_filter=BM_FullRedraw/1/3. KORVEX_QT_BENCH names another
# redraw benchmark (bench/NAME_bench.cpp), e.g. rout_hole_redraw;
# KORVEX_QT_RUNS the number of runs (5).
#   bench/qt_redraw.sh [benchmark options]
set -euo pipefail
cd "$(dirname "$0")/.."
name="${KORVEX_QT_BENCH:-redraw}"
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF -DKORVEX_QT=OFF -DKORVEX_BENCH=ON >/dev/null
cmake --build build/bench -j4 --target "bench_${name}_bench" >/dev/null
cmake -S . -B build/benchqt -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF -DKORVEX_QT=ON -DKORVEX_BENCH=ON >/dev/null
cmake --build build/benchqt -j4 --target "bench_qt_${name}" >/dev/null
scratch="${TMPDIR:-/tmp}"
runs="${KORVEX_QT_RUNS:-5}"
for run in $(seq "$runs"); do
  QT_QPA_PLATFORM=offscreen "build/benchqt/bench_qt_${name}" --benchmark_format=json "$@" >"$scratch/korvex_qt_redraw_$run.json"
  "build/bench/bench_${name}_bench" --benchmark_format=json "$@" >"$scratch/korvex_raster_redraw_$run.json"
done
python3 - "$scratch" "$runs" <<'PY'
import json, statistics, sys
scratch, runs = sys.argv[1], int(sys.argv[2])
def times(kind):
    out = {}
    for run in range(1, runs + 1):
        for b in json.load(open(f"{scratch}/korvex_{kind}_redraw_{run}.json"))["benchmarks"]:
            name = b["name"].split("/process_time")[0]
            out.setdefault(name, []).append(b["real_time"])
    return out
qt, raster = times("qt"), times("raster")
print(f"full redraw, median of {runs} runs (ms)   Qt canvas  headless  Qt/headless  Qt/50 ms")
for name in qt:
    q, r = statistics.median(qt[name]), statistics.median(raster.get(name, [float("nan")]))
    print(f"  {name:<34} {q:9.1f} {r:9.1f} {q / r:12.2f} {q / 50:9.2f}")
PY
