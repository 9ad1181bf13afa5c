#!/usr/bin/env bash
# The full redraw benchmark through the Qt canvas (bench/qt/qt_redraw.cpp):
# builds the core in the benchmark build, compiles the Qt canvas and the
# benchmark against it and runs it on Qt's offscreen platform. Arguments go
# to the benchmark, e.g. --benchmark_filter=BM_FullRedraw/1/3.
#   bench/qt_redraw.sh [benchmark options]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF -DKORVEX_QT=OFF -DKORVEX_BENCH=ON >/dev/null
cmake --build build/bench -j4 --target korvex_core >/dev/null
"${CXX:-g++}" -std=c++20 -O2 -DNDEBUG -fPIC -Isrc bench/qt/qt_redraw.cpp src/platform/qt/qt_canvas.cpp \
  build/bench/libkorvex_core.a -lbenchmark -lpthread -lutil $(pkg-config --cflags --libs Qt6Gui) \
  -o build/bench/qt_redraw
QT_QPA_PLATFORM=offscreen build/bench/qt_redraw "$@"
