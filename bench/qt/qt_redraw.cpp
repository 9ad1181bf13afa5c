// The full redraw benchmark drawn through the Qt canvas: the same panel and
// picture as bench/redraw_bench.cpp, with the Qt canvas backend installed, so
// the picture is a QImage painted by QPainter on Qt's offscreen platform, as
// the program draws its screen picture. Built when both the benchmarks and
// the Qt front end are (another redraw benchmark of bench/ may be named in
// KORVEX_QT_BENCH_SOURCE); run by bench/qt_redraw.sh.
#include <QGuiApplication>
#include <cstdlib>

#include "platform/qt/qt_canvas.h"
#include "../support/bench_run.h"
#ifndef KORVEX_QT_BENCH_SOURCE
#define KORVEX_QT_BENCH_SOURCE "../redraw_bench.cpp"
#endif
#include KORVEX_QT_BENCH_SOURCE

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  InstallQtCanvasBackend();
  return korvex_bench::RunBenchmarks(argc, argv);
}
