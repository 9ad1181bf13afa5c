// The redraw of the rout job of 8-inch holes (bench/rout_hole_redraw_bench.cpp)
// drawn through the Qt canvas on Qt's offscreen platform, as the program
// draws its screen picture. Built and run by bench/qt_redraw.sh with
// KORVEX_QT_BENCH=rout_hole_redraw.
#include <QGuiApplication>
#include <cstdlib>

#include "platform/qt/qt_canvas.h"
#include "../rout_hole_redraw_bench.cpp"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  InstallQtCanvasBackend();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
