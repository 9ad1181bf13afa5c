#!/usr/bin/env bash
# Set-up, build and run on a Debian 12 machine.
#   tools/korvex.sh run    install what is missing, build the program, start it
#   tools/korvex.sh test   install what is missing, build the test configuration, run every test
#   tools/korvex.sh bench  build and run the benchmarks
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
          libbenchmark-dev fonts-dejavu-core ghostscript)
# The benchmarks, which the test run also runs once each at a small
# size: the offset benchmark's yardstick, and compress for the .Z benchmark's
# file and its uncompress beside ours.
packages+=(libpolyclipping-dev ncompress)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

jobs=$(nproc 2>/dev/null || echo 2)

case "${1:-}" in
  run)
    # The program is a desktop program: without a graphical session there is
    # nothing to show it on. Say so before a long build, not after it.
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "korvex: no graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
      echo "Run this from a desktop session, or over ssh -X; the tests run without one: $0 test" >&2
      exit 1
    fi
    install_missing
    cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEX_TESTS=OFF
    cmake --build build/release -j "$jobs" --target korvex
    exec build/release/korvex
    ;;
  test)
    install_missing
    # Every benchmark is built with the tests and runs once at a small
    # size among them (label "bench"), so that one that breaks fails here.
    cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DKORVEX_SANITIZE=ON -DKORVEX_BENCH=ON
    cmake --build build/test -j "$jobs"
    cd build/test
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs"
    ;;
  bench)
    packages+=(gerbv)  # the peer reader the tape and import benchmarks are measured against
    install_missing
    cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF -DKORVEX_QT=OFF -DKORVEX_BENCH=ON
    cmake --build build/bench -j "$jobs"
    # A benchmark that fails is named at the end; the others still run.
    failed=()
    for b in build/bench/bench_*; do "$b" || failed+=("$b"); done
    # The comparisons that print a ratio: the Drill Import command and the
    # tape reader alone beside the peer reader, the redraw through Qt beside
    # the headless one and in the started program, the job file's save and
    # open through Qt's event loop beside the headless ones.
    for s in bench/drill_import_vs_peer.sh bench/tape_read_vs_peer.sh bench/qt_redraw.sh \
             bench/qt_program_redraw.sh bench/qt_job_file.sh; do
      bash "$s" || failed+=("$s")
    done
    if ((${#failed[@]})); then
      echo "korvex: benchmarks that failed: ${failed[*]}" >&2
      exit 1
    fi
    ;;
  *)
    echo "usage: $0 run|test|bench" >&2
    exit 2
    ;;
esac
