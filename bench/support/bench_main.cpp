#include <unistd.h>

#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "bench_run.h"

namespace korvex_bench {
namespace {

// Shows the runs as the chosen format does and counts those that ended in
// an error.
class TCountingReporter : public benchmark::BenchmarkReporter {
 public:
  explicit TCountingReporter(std::unique_ptr<benchmark::BenchmarkReporter> shown) : Shown(std::move(shown)) {}
  bool ReportContext(const Context& context) override { return Shown->ReportContext(context); }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.error_occurred) continue;
      ++Errors;
      Failed.push_back(run.benchmark_name() + ": " + run.error_message);
    }
    Shown->ReportRuns(runs);
  }
  void Finalize() override { Shown->Finalize(); }

  int Errors = 0;
  std::vector<std::string> Failed;

 private:
  std::unique_ptr<benchmark::BenchmarkReporter> Shown;
};

// The format the command line asks for (the library's flag, read before the
// library takes it out of the arguments).
std::unique_ptr<benchmark::BenchmarkReporter> ShownReporter(int argc, char** argv) {
  std::string format = "console";
  for (int i = 1; i < argc; ++i) {
    constexpr const char* kFlag = "--benchmark_format=";
    if (std::strncmp(argv[i], kFlag, std::strlen(kFlag)) == 0) format = argv[i] + std::strlen(kFlag);
  }
  if (format == "json") return std::make_unique<benchmark::JSONReporter>();
  return std::make_unique<benchmark::ConsoleReporter>(
      isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular : benchmark::ConsoleReporter::OO_Tabular);
}

// The reporter of the run the command line asked for.
std::unique_ptr<TCountingReporter> Reporter;

}  // namespace

bool InitializeBenchmarks(int* argc, char** argv) {
  Reporter = std::make_unique<TCountingReporter>(ShownReporter(*argc, argv));
  benchmark::Initialize(argc, argv);
  return !benchmark::ReportUnrecognizedArguments(*argc, argv);
}

int RunInitializedBenchmarks() {
  benchmark::RunSpecifiedBenchmarks(Reporter.get());
  benchmark::Shutdown();
  for (const std::string& failed : Reporter->Failed) std::cerr << "benchmark failed: " << failed << "\n";
  return Reporter->Errors == 0 ? 0 : 1;
}

int RunBenchmarks(int argc, char** argv) {
  if (!InitializeBenchmarks(&argc, argv)) return 1;
  return RunInitializedBenchmarks();
}

}  // namespace korvex_bench
