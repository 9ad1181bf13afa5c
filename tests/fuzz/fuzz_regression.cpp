// Runs saved inputs through the fuzz targets' entries with the ordinary
// compiler, so every input that once broke a reader, and every seed, is run
// again by the test suite:
//   fuzz_regression TARGET PATH...
// A path is a file or a folder (its files, in name order). A folder's file
// whose name starts with another target's name and "-" is left to that
// target. Each input gets at most the given seconds of the process's CPU
// time (KORVEX_FUZZ_SECONDS, 10 by default): the input's own work, however
// busy the machine is; the sanitizers report memory faults and the test's
// environment bounds the memory. An input that makes more than the fuzzer's
// limit of work is run again as the fuzzer ran it, cut at the limit. With
// KORVEX_FUZZ_CUT set, each input runs once, as the fuzzer runs it (for
// profiling what the fuzzer's inputs cost).
//   fuzz_regression --check-limit
// shows that the limit counts CPU time: an input that sleeps past it runs
// on, one that spins is stopped.
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

#include "fuzz_entries.h"

namespace fs = std::filesystem;

namespace {

const char* CurrentInput = "";

void TimeUp(int) {
  // Only async-signal-safe calls here.
  const char text[] = "fuzz_regression: time limit reached on ";
  (void)!::write(2, text, sizeof text - 1);
  (void)!::write(2, CurrentInput, std::char_traits<char>::length(CurrentInput));
  (void)!::write(2, "\n", 1);
  ::_exit(3);
}

// Arms the limit: SIGPROF once the process has spent the seconds of CPU
// time (user and system) from now; 0 disarms it.
void LimitCpuSeconds(unsigned seconds) {
  itimerval timer{};
  timer.it_value.tv_sec = static_cast<time_t>(seconds);
  ::setitimer(ITIMER_PROF, &timer, nullptr);
}

// The limit of one second against two inputs of its own: two seconds asleep
// (no CPU time: not stopped), then a spin (stopped, as TimeUp says).
int CheckLimit() {
  std::signal(SIGPROF, TimeUp);
  CurrentInput = "an input asleep past the limit";
  LimitCpuSeconds(1);
  ::sleep(2);
  LimitCpuSeconds(0);
  CurrentInput = "a spinning input, after one asleep past the limit ran on";
  LimitCpuSeconds(1);
  volatile uint64_t spins = 0;
  for (;;) spins = spins + 1;
}

// True when the file belongs to another target of the folder of bad inputs.
bool OtherTargets(const std::string& target, const std::string& name) {
  for (const std::string& other : FuzzTargetNames())
    if (other != target && name.rfind(other + "-", 0) == 0) return true;
  return name == "README.md";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--check-limit") return CheckLimit();
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s TARGET PATH...\n", argv[0]);
    return 2;
  }
  const std::string target = argv[1];
  const TFuzzEntry entry = FindFuzzEntry(target);
  if (entry == nullptr) {
    std::fprintf(stderr, "unknown target %s\n", target.c_str());
    return 2;
  }
  std::vector<fs::path> inputs;
  for (int i = 2; i < argc; ++i) {
    // Absolute: the program may change the working folder.
    std::error_code ec;
    const fs::path path = fs::absolute(argv[i], ec);
    if (fs::is_directory(path, ec)) {
      std::vector<fs::path> files;
      for (const auto& e : fs::directory_iterator(path))
        if (e.is_regular_file() && !OtherTargets(target, e.path().filename().string()))
          files.push_back(e.path());
      std::sort(files.begin(), files.end());
      inputs.insert(inputs.end(), files.begin(), files.end());
    } else if (fs::exists(path, ec)) {
      inputs.push_back(path);
    }
  }
  const char* limit = std::getenv("KORVEX_FUZZ_SECONDS");
  const unsigned seconds = limit != nullptr ? unsigned(std::atoi(limit)) : 10u;
  std::signal(SIGPROF, TimeUp);
  const bool cutOnly = std::getenv("KORVEX_FUZZ_CUT") != nullptr;
  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string name = input.string();
    CurrentInput = name.c_str();
    for (const int64_t limit : {int64_t(0), kFuzzWorkLimit}) {
      if (cutOnly && limit == 0) continue;
      SetFuzzWorkLimit(limit);
      LimitCpuSeconds(seconds);
      entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      LimitCpuSeconds(0);
      const auto& messages = LastFuzzMessages();
      std::printf("%s%s: %zu message(s)%s%s\n", name.c_str(), limit > 0 ? " (cut)" : "",
                  messages.size(), messages.empty() ? "" : ", first: ",
                  messages.empty() ? "" : messages.front().substr(0, 160).c_str());
      const bool cut = LastFuzzWork() > kFuzzWorkLimit;
      ReleaseFuzzInput();
      if (!cut) break;
    }
    SetFuzzWorkLimit(0);
  }
  std::printf("%zu input(s) of %s ran\n", inputs.size(), target.c_str());
  return 0;
}
