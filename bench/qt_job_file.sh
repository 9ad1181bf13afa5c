#!/usr/bin/env bash
# Job save + open against the raw write of the same bytes, as the program a
# user runs does them: bench_job_file_bench's BM_JobSaveOpenVsRaw built with
# the Qt events backend (bench/qt/qt_job_file.cpp), so that the reader's and
# the writer's passes of the message loop cost what Qt's event loop costs,
# in turn with the headless build. The window system is X when DISPLAY is
# set, else Qt's offscreen platform (KORVEX_QT_PLATFORM names another).
# Prints the medians of each run and the median ratio (save + open) / raw.
#   bench/qt_job_file.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-3}"
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF -DKORVEX_QT=OFF -DKORVEX_BENCH=ON >/dev/null
cmake --build build/bench -j4 --target bench_job_file_bench >/dev/null
cmake -S . -B build/benchqt -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF -DKORVEX_QT=ON -DKORVEX_BENCH=ON >/dev/null
cmake --build build/benchqt -j4 --target bench_qt_job_file >/dev/null
platform="${KORVEX_QT_PLATFORM:-}"
[ -n "$platform" ] || { [ -n "${DISPLAY:-}" ] && platform=xcb || platform=offscreen; }
scratch="${TMPDIR:-/tmp}"
# The job folder goes beside the build (a disk, not a memory file system).
cd build/bench
for run in $(seq "$runs"); do
  QT_QPA_PLATFORM="$platform" ../benchqt/bench_qt_job_file --benchmark_filter=SaveOpenVsRaw --benchmark_format=json \
    >"$scratch/korvex_qt_job_$run.json"
  ./bench_job_file_bench --benchmark_filter=SaveOpenVsRaw --benchmark_format=json \
    >"$scratch/korvex_headless_job_$run.json"
done
python3 - "$scratch" "$runs" "$platform" <<'PY'
import json, statistics, sys
scratch, runs, platform = sys.argv[1], int(sys.argv[2]), sys.argv[3]
print(f"job save + open against the raw write, each run the median of its iterations (ms)")
for kind, label in (("qt", f"Qt ({platform})"), ("headless", "headless")):
    ratios = []
    for run in range(1, runs + 1):
        b = json.load(open(f"{scratch}/korvex_{kind}_job_{run}.json"))["benchmarks"][0]
        ratios.append(b["ratio"])
        print(f"  {label:<16} save {b['save_ms']:6.1f}  open {b['open_ms']:6.1f}  raw {b['raw_ms']:6.1f}"
              f"  ratio {b['ratio']:.2f}")
    print(f"  {label:<16} median ratio {statistics.median(ratios):.2f} (goal: 3.00 or less)")
PY
