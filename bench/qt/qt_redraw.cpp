// The full redraw benchmark drawn through the Qt canvas: the same panel and
// picture as bench/redraw_bench.cpp, with the Qt canvas backend installed, so
// the picture is a QImage painted by QPainter on Qt's offscreen platform, as
// the program draws its screen picture. Built and run by bench/qt_redraw.sh
// (the benchmark build has no Qt), which may name another redraw benchmark
// of bench/ in KORVEX_QT_BENCH_SOURCE.
#include <QGuiApplication>
#include <cstdlib>

#include "platform/qt/qt_canvas.h"
#ifndef KORVEX_QT_BENCH_SOURCE
#define KORVEX_QT_BENCH_SOURCE "../redraw_bench.cpp"
#endif
#include KORVEX_QT_BENCH_SOURCE

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  InstallQtCanvasBackend();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
