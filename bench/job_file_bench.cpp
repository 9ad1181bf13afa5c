// Saving and opening a job of 1,000,000 drill entities (999,000 holes, slots,
// circles and texts in 40 tools and three drill layers, some of them with
// step-and-repeat), 30,000 CAD entities and a few thousand rout entities
// with their tools: about 51 MB of job file.
//
// BM_JobSave writes the job file (temporary file, fsync, rename, folder
// sync), BM_JobOpen opens it into an empty job as File Open does
// (BM_JobReadOnly: its reading and checking alone, the holes made but not
// put in), and
// BM_RawWrite writes the same bytes to a fresh file with one fsync, which is
// the floor any save and open is measured against. BM_JobSaveOpenVsRaw does
// all three in every iteration and reports the median of the iterations'
// ratios (save + open) / raw, so the noise of a shared machine hits the three
// alike, and the medians of the three times.
//
// open_faults counts the page faults of an open (first touches of memory,
// which cost as much as the reading itself).
//
// Memory: peak_open_mb is the growth of the peak resident set during the
// open over the resident set of the empty job before it (the job's own
// databases included), job_mb the growth that stays with the open job.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/bench_run.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/job_file_reader.h"
#include "model/job_file_writer.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/step_repeat.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/registry.h"
#include "workspace/job_file.h"
#include "workspace/startup.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int32_t Inch = 25400000;
const int32_t DrillEntities = int32_t(korvex_bench::Size(1000000, 5000));

// The resident set in MB.
double ResidentMb() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0.0;
  long size = 0, resident = 0;
  const int n = std::fscanf(f, "%ld %ld", &size, &resident);
  std::fclose(f);
  return n == 2 ? double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1 << 20) : 0.0;
}

// The largest resident set seen while it lives, sampled every half
// millisecond by a thread of its own (the kernel's high-water mark is not
// kept reliably once reset).
class TPeakSampler {
 public:
  TPeakSampler() : Peak_(ResidentMb()), Thread_([this] {
      while (!Stop_.load()) {
        const double now = ResidentMb();
        if (now > Peak_.load()) Peak_.store(now);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
      }
    }) {}
  ~TPeakSampler() { Stop(); }
  double Stop() {
    if (Thread_.joinable()) {
      Stop_.store(true);
      Thread_.join();
      const double now = ResidentMb();
      if (now > Peak_.load()) Peak_.store(now);
    }
    return Peak_.load();
  }

 private:
  std::atomic<bool> Stop_{false};
  std::atomic<double> Peak_;
  std::thread Thread_;
};

// The page faults of the process so far (each a first touch of memory).
long PageFaults() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt + usage.ru_majflt;
}

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// The program's objects as start-up builds them, headless, with the job
// folder beside the build (a disk, not a memory file system, so that fsync
// costs what it costs).
class TBenchJob {
 public:
  TBenchJob() {
    Folder = fs::current_path() / "korvex_job_bench";
    fs::create_directories(Folder / "home");
    setenv("KORVEX_HOME", (Folder / "home").c_str(), 1);
    setenv("KORVEX_CONFIG_DIR", (Folder / "home").c_str(), 1);
    TRegistryStore::Instance().Clear();
    ResetStartupSettings();
    ResetFamilySettings();
    InstallModelServices();
    ResetHeadlessViewServices();
    EditorMode = emCad;
    ResetLayerMasks();
    CadUndo = new TCadUndo();
    RoutUndo = new TRoutUndo();
    DrillUndo = new TDrillUndo();
    ActiveUndo = CadUndo;
    DB = new TCadDatabase();
    RTDB = new TRoutDatabase();
    DRDB = new TDrillDatabase();
    Seq = new TSequenceStore();
    Build();
    JobFile = (Folder / "BENCH.ZUL").string();
    if (WriteJobFile(JobFile) != 0) std::abort();
    std::ifstream in(JobFile, std::ios::binary);
    Bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ~TBenchJob() {
    ClearJob();
    std::error_code ec;
    fs::remove_all(Folder, ec);
  }

  // Empties the job as File New does, and hands the freed memory back so
  // that the open's peak shows.
  static void Drop() {
    ClearJob();
    malloc_trim(0);
  }

  bool Open() {
    return OpenJobFile(JobFile) && DrillEntityCount == DrillEntities;
  }

  // The file's bytes written to a fresh file in 1 MB blocks, then fsync.
  bool RawWrite() {
    const std::string name = (Folder / "RAW.BIN").string();
    ::unlink(name.c_str());
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    for (std::size_t at = 0; ok && at < Bytes.size();) {
      const std::size_t n = std::min<std::size_t>(1 << 20, Bytes.size() - at);
      const ssize_t w = ::write(fd, Bytes.data() + at, n);
      ok = w > 0;
      at += ok ? std::size_t(w) : 0;
    }
    ok = ::fsync(fd) == 0 && ok;
    return ::close(fd) == 0 && ok;
  }

  fs::path Folder;
  std::string JobFile;
  std::string Bytes;

 private:
  static void Build() {
    std::mt19937 rng(21);
    std::uniform_int_distribution<int32_t> x(0, 20 * Inch), y(0, 16 * Inch);
    std::uniform_int_distribution<int32_t> d(-Inch / 4, Inch / 4);
    std::uniform_int_distribution<int32_t> tool(1, 40);
    std::uniform_int_distribution<int32_t> cadLayer(0, 5), drillLayer(30, 32);

    for (int32_t t = 1; t <= 40; ++t)
      ToolTable[t] = {t * 25400, 2540 + t, 600, -12700, 0, uint8_t(t % 2)};
    for (int32_t t = 1; t <= 8; ++t)
      RoutToolPages[40][t] = {t * 127000, t * 127000 + 2540, 6350, 2540, -25400};

    // Two patterns: a 2 x 3 panel and a single copy nested in it.
    TStepCommandList outer{{1, 1, 0, 0, 0}, {0, 2, 10 * Inch, 0, 0}, {0, 3, 0, 8 * Inch, 0}};
    TStepCommandList inner{{1, 1, 0, 0, 0}, {0, 1, Inch, Inch, 2}};
    auto* panel = new TStepObject(outer);
    auto* coupon = new TStepObject(inner);
    coupon->SetNested(panel);

    for (int i = 0; i < 20000; ++i) {
      const int32_t x1 = x(rng), y1 = y(rng);
      DB->AddLineOnLayer(x1, y1, x1 + d(rng), y1 + d(rng), uint8_t(cadLayer(rng)));
    }
    for (int i = 0; i < 4000; ++i) {
      const int32_t cx = x(rng), cy = y(rng), r = Inch / 8;
      DB->AddArcOnLayer({cx + r, cy}, {cx, cy + r}, {cx, cy}, uint8_t(cadLayer(rng)));
      DB->AddCircleOnLayer(cx, cy, r / 2, uint8_t(cadLayer(rng)));
    }
    for (int i = 0; i < 2000; ++i) DB->AddPointOnLayer(x(rng), y(rng), uint8_t(cadLayer(rng)));

    // Rout: 1,000 contours of a jog, four lines and an arc, holes and commands.
    for (int i = 0; i < 1000; ++i) {
      const int32_t cx = x(rng), cy = y(rng), s = Inch / 2;
      const int32_t h = RTDB->AddJog({cx, cy}, 40, uint8_t(i % 3), 1 + i % 8, 1 + i % 8);
      if (i % 10 == 0) RTDB->EntityAt(h)->SetStepObj(panel);
      RTDB->AddLine({cx + s, cy}, 40, 3000, 0);
      RTDB->AddLine({cx + s, cy + s}, 40, 3000, 0);
      RTDB->AddLine({cx, cy + s}, 40, 0, -2540);
      RTDB->AddArc({cx, cy}, 40, 1500, i % 2 == 0, {cx, cy + s / 2}, NoZOffset);
      RTDB->AddHole({cx + s / 2, cy + s / 2}, 41, 1 + i % 8);
    }
    {
      const uint8_t saved = CurrentLayer;
      CurrentLayer = 40;
      for (int i = 0; i < 50; ++i) RTDB->AddCommand({0, 0}, "M47,CHECK " + std::to_string(i), 1);
      CurrentLayer = saved;
    }

    // Drill: slots, circles and texts first, then holes up to a million.
    for (int i = 0; i < 600; ++i) {
      const int32_t x1 = x(rng), y1 = y(rng);
      DRDB->AddSlotOnLayer(x1, y1, x1 + d(rng), y1, uint8_t(drillLayer(rng)), tool(rng), true);
    }
    for (int i = 0; i < 300; ++i)
      DRDB->AddCircleOnLayer(x(rng), y(rng), Inch / 10, uint8_t(drillLayer(rng)), tool(rng), true);
    for (int i = 0; i < 100; ++i)
      DRDB->AddTextOnLayer(x(rng), y(rng), "LOT " + std::to_string(i), i % 2 == 0,
                           uint8_t(drillLayer(rng)), tool(rng), true);
    while (DrillEntityCount < DrillEntities) {
      const int32_t n =
          DRDB->AddHoleOnLayer(x(rng), y(rng), uint8_t(drillLayer(rng)), tool(rng), true);
      if (n % 1000 == 0) DRDB->EntityAt(n)->SetStepObj(n % 2000 == 0 ? coupon : panel);
    }
  }
};

TBenchJob& Job() {
  static TBenchJob job;
  return job;
}

void BM_JobSave(benchmark::State& state) {
  TBenchJob& job = Job();
  if (!job.Open()) return state.SkipWithError("not opened");
  for (auto _ : state)
    if (WriteJobFile(job.JobFile) != 0) {
      state.SkipWithError("not saved");
      break;
    }
  state.counters["MB"] = double(job.Bytes.size()) / 1e6;
}

void BM_JobOpen(benchmark::State& state) {
  TBenchJob& job = Job();
  double peak = 0, rss = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TBenchJob::Drop();
    const double before = ResidentMb();
    TPeakSampler sampler;
    state.ResumeTiming();
    const bool opened = job.Open();
    state.PauseTiming();
    peak = sampler.Stop() - before;
    rss = ResidentMb() - before;
    state.ResumeTiming();
    if (!opened) {
      state.SkipWithError("not opened");
      break;
    }
  }
  state.counters["peak_open_mb"] = peak;
  state.counters["job_mb"] = rss;
}

// The open's first half alone: the file read and checked and its holes
// made, nothing put into the job.
void BM_JobReadOnly(benchmark::State& state) {
  TBenchJob& job = Job();
  for (auto _ : state) {
    TJobContents contents;
    if (!ReadJobFile(job.JobFile, contents) || contents.EntityCount() < DrillEntities) {
      state.SkipWithError("not read");
      break;
    }
  }
}

void BM_RawWrite(benchmark::State& state) {
  TBenchJob& job = Job();
  for (auto _ : state)
    if (!job.RawWrite()) {
      state.SkipWithError("not written");
      break;
    }
  state.counters["MB"] = double(job.Bytes.size()) / 1e6;
}

void BM_JobSaveOpenVsRaw(benchmark::State& state) {
  TBenchJob& job = Job();
  std::vector<double> save, open, raw, ratio;
  long openFaults = 0;
  if (!job.Open()) return state.SkipWithError("not opened");
  for (auto _ : state) {
    Clock::time_point t = Clock::now();
    const bool saved = WriteJobFile(job.JobFile) == 0;
    save.push_back(Seconds(t));
    state.PauseTiming();
    TBenchJob::Drop();
    state.ResumeTiming();
    t = Clock::now();
    const long faults = PageFaults();
    const bool opened = saved && job.Open();
    open.push_back(Seconds(t));
    openFaults += PageFaults() - faults;
    t = Clock::now();
    const bool written = opened && job.RawWrite();
    raw.push_back(Seconds(t));
    if (!written) {
      state.SkipWithError(!saved ? "not saved" : !opened ? "not opened" : "not written");
      break;
    }
    ratio.push_back(raw.back() > 0 ? (save.back() + open.back()) / raw.back() : 0.0);
  }
  if (ratio.empty()) return;
  // Medians: one iteration caught by a busy spell of the machine moves none
  // of them. The ratio is the median of the iterations' own ratios, each
  // taken from its three parts run back to back.
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 != 0 ? v[m] : (v[m - 1] + v[m]) / 2;
  };
  state.counters["save_ms"] = median(save) * 1e3;
  state.counters["open_ms"] = median(open) * 1e3;
  state.counters["raw_ms"] = median(raw) * 1e3;
  state.counters["ratio"] = median(ratio);
  state.counters["open_faults"] = double(openFaults) / double(ratio.size());
}

}  // namespace

BENCHMARK(BM_JobSave)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JobOpen)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JobReadOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JobSaveOpenVsRaw)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(korvex_bench::Iterations(5));
