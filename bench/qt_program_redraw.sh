#!/usr/bin/env bash
# The full redraw as the user waits for it: the started program on the Qt
# front end, its window sized to a view of 1280 x 1024 pixels on a screen of
# Qt's offscreen platform, with 50,000 CAD lines and 500,000 drill hits in its databases
# (bench/qt/qt_program_redraw.cpp). The view and the picture are the
# program's own, with the progressive copies to the paint box and the paint
# of the window, which bench/qt_redraw.sh leaves out. Prints each case's
# median over the runs and its ratio to the 50 ms a redraw may take.
# KORVEX_QT_RUNS: the number of runs (5).
#   bench/qt_program_redraw.sh [benchmark options]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/benchqt -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF -DKORVEX_QT=ON -DKORVEX_BENCH=ON >/dev/null
cmake --build build/benchqt -j4 --target bench_qt_program_redraw >/dev/null
scratch="${TMPDIR:-/tmp}"
cat >"$scratch/korvex_screen.json" <<'JSON'
{ "screens": [ { "name": "bench", "x": 0, "y": 0, "width": 1920, "height": 1200, "dpi": 96, "dpr": 1 } ] }
JSON
runs="${KORVEX_QT_RUNS:-5}"
# The program's settings and scratch files go to a folder of the run's own,
# and so does its runtime folder: the one-copy-per-user lock lives there, so
# a copy of the program the user has open is not asked to take over.
home="$scratch/korvex_program_redraw_home"
mkdir -p "$home/runtime"
chmod 700 "$home/runtime"
for run in $(seq "$runs"); do
  out="$scratch/korvex_program_redraw_$run.json"
  rc=0
  KORVEX_HOME="$home" KORVEX_CONFIG_DIR="$home" XDG_RUNTIME_DIR="$home/runtime" \
    QT_QPA_PLATFORM="offscreen:configfile=$scratch/korvex_screen.json" \
    build/benchqt/bench_qt_program_redraw --benchmark_format=json "$@" \
    >"$out" 2>"$scratch/korvex_program_redraw_$run.err" || rc=$?
  if [ "$rc" -ne 0 ] || ! grep -q '"benchmarks"' "$out"; then
    echo "qt_program_redraw: the program ended without running the benchmark (exit status $rc):" \
      "$(grep -v '^QStandardPaths\|^This plugin' "$scratch/korvex_program_redraw_$run.err" | tail -n 1)" >&2
    exit 1
  fi
done
python3 - "$scratch" "$runs" <<'PY'
import json, statistics, sys
scratch, runs = sys.argv[1], int(sys.argv[2])
times, views = {}, {}
for run in range(1, runs + 1):
    for b in json.load(open(f"{scratch}/korvex_program_redraw_{run}.json"))["benchmarks"]:
        name = b["name"].split("/process_time")[0]
        times.setdefault(name, []).append(b["real_time"])
        views[name] = (int(b["view_width"]), int(b["view_height"]), b["pixels_per_inch"])
print(f"full redraw of the started program through Qt, median of {runs} runs (ms)   /50 ms   view, pixels an inch")
for name, t in times.items():
    m = statistics.median(t)
    print(f"  {name:<36} {m:9.1f} {m / 50:8.2f}   {views[name][0]} x {views[name][1]}, {views[name][2]:.0f}")
PY
