// The job file benchmark (bench/job_file_bench.cpp) with the Qt events
// backend installed, as the program runs: the reader's and the writer's
// passes of the message loop go through the application's event loop, on
// the window system the script names. Built and run by bench/qt_job_file.sh
// (the benchmark build has no Qt).
#include <QGuiApplication>

#include "platform/qt/qt_events.h"
#include "../job_file_bench.cpp"

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  InstallQtEventsBackend();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
