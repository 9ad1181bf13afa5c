// The job file benchmark (bench/job_file_bench.cpp) with the Qt events
// backend installed, as the program runs: the reader's and the writer's
// passes of the message loop go through the application's event loop, on
// the window system the script names. Built when both the benchmarks and the
// Qt front end are; run by bench/qt_job_file.sh.
#include <QGuiApplication>

#include "platform/qt/qt_events.h"
#include "../support/bench_run.h"
#include "../job_file_bench.cpp"

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  InstallQtEventsBackend();
  return korvex_bench::RunBenchmarks(argc, argv);
}
