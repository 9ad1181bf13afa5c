// Opening a job whose holes share one step pattern of many copies: 1,000
// holes of a 0.16 x 0.16 in coupon share a pattern of 65,535 copies (a grid
// of 256 x 256 coupons a quarter inch apart less the original), a job file of
// some 41 KB. The open is
// File Open's: the file read and checked, the job put in, and the drill
// database drawn with the job in view (in a picture of 3 x 1280 by 3 x 1024
// pixels, as the main window draws for a 1280 x 1024 view). Reports the time
// of one open and checks that every copy was drawn (each coupon's pixels).
//
// BM_SteppedJobOpen/holes: the open of the job with that many holes.
// Measured on the shared 8-core build machine (Release): 3.0 to 3.8 s for
// 1,000 holes (about 50 ns a copy drawn) when each stepped hole drew its
// copies by itself, 1.9 s with the copies put into the run of hole marks
// that plain holes are painted in. BM_SteppedJobRefused: 10 to 20 ms.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
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
#include "workspace/db_bitmap.h"
#include "workspace/job_file.h"
#include "workspace/startup.h"
#include "../tests/support/picture_view.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t Inch = 25400000;
constexpr int32_t ViewWidth = 1280, ViewHeight = 1024;
// The pattern's grid: Side x Side coupons, Pitch apart.
constexpr int32_t Pitch = Inch / 4;
const int32_t Side = int32_t(korvex_bench::Size(256, 16));

// The program's objects as start-up builds them, headless (once).
void StartModel(const fs::path& folder) {
  fs::create_directories(folder / "home");
  static bool started = false;
  if (started) return;
  started = true;
  setenv("KORVEX_HOME", (folder / "home").c_str(), 1);
  setenv("KORVEX_CONFIG_DIR", (folder / "home").c_str(), 1);
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
}

// Saves the job of that many holes sharing the pattern; the file's name.
std::string SaveSteppedJob(const fs::path& folder, int32_t holes) {
  ClearJob();
  ToolTable[1] = {Inch / 250, 2540, 600, 0, 0, 0};
  // A row of Side coupons along X, repeated Side times along Y: Side x Side
  // coupons, the original among them.
  auto* pattern = new TStepObject(
      {{1, 1, 0, 0, 0}, {0, Side, Pitch, 0, 0}, {1, 1, 0, 0, 0}, {0, Side, 0, Pitch, 0}});
  if (pattern->CopyCount() != Side * Side - 1) {
    std::fprintf(stderr, "copies %d\n", int(pattern->CopyCount()));
    std::abort();
  }
  for (int32_t k = 0; k < holes; ++k) {
    const int32_t hole = DRDB->AddHoleOnLayer(Inch / 20 + (k % 32) * (Inch / 200),
                                              Inch / 20 + (k / 32) * (Inch / 200), 30, 1, true);
    DRDB->EntityAt(hole)->SetStepObj(pattern);
  }
  const std::string file = (folder / ("STEPPED" + std::to_string(holes) + ".ZUL")).string();
  if (WriteJobFile(file) != 0) std::abort();
  ClearJob();
  return file;
}

void BM_SteppedJobOpen(benchmark::State& state) {
  const fs::path folder = fs::temp_directory_path() / "korvex_stepped_job_bench";
  StartModel(folder);
  const int32_t holes = int32_t(state.range(0));
  const std::string file = SaveSteppedJob(folder, holes);
  TEncapsulatingBitmap bitmap(3 * ViewWidth, 3 * ViewHeight, 32);
  bitmap.SetWidth(3 * ViewWidth);
  bitmap.SetHeight(3 * ViewHeight);
  TDBBitmap picture(bitmap);
  // The grid of coupons fills the view.
  picture.PixelsPerInch = double(ViewHeight) * Inch / (double(Side) * Pitch);
  picture.Left = Side * 0.5 * Pitch - 1.5 * ViewWidth / picture.PixelsPerInch * Inch;
  picture.Top = Side * 0.5 * Pitch + 1.5 * ViewHeight / picture.PixelsPerInch * Inch;
  TPictureView view(picture);
  TViewServices* saved = SetViewServices(&view);
  TDrawingBase* savedSurface = DrawSurface;
  DrawSurface = &picture;
  int32_t copies = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ClearJob();
    picture.Clear();
    picture.Reset();
    state.ResumeTiming();
    TJobContents contents;
    if (!ReadJobFile(file, contents)) {
      state.SkipWithError("not read");
      break;
    }
    CommitJobContents(contents);
    DRDB->Redraw();
    benchmark::DoNotOptimize(picture.Dirty);
    TStepObject* step = DrillEntityCount > 0 ? DRDB->EntityAt(1)->GetStepObj() : nullptr;
    copies = step != nullptr ? step->CopyCount() : 0;
  }
  // Every coupon of the grid shows its holes: a pixel in each square of the
  // grid.
  int32_t shown = 0;
  const std::vector<TColor> pixels = bitmap.Pixels().Pixels();
  for (int32_t i = 0; i < Side; ++i)
    for (int32_t j = 0; j < Side; ++j) {
      bool painted = false;
      const double square = double(Pitch) / Inch * picture.PixelsPerInch;
      const double x0 = (i * double(Pitch) - picture.Left) / Inch * picture.PixelsPerInch;
      const double y0 = (picture.Top - (j + 1) * double(Pitch)) / Inch * picture.PixelsPerInch;
      for (int32_t y = int32_t(y0); y <= int32_t(y0 + square) && !painted; ++y)
        for (int32_t x = int32_t(x0); x <= int32_t(x0 + square) && !painted; ++x)
          painted = x >= 0 && y >= 0 && x < bitmap.GetWidth() && y < bitmap.GetHeight() &&
                    pixels[std::size_t(y) * bitmap.GetWidth() + std::size_t(x)] != BackgroundColor;
      shown += painted;
    }
  DrawSurface = savedSurface;
  SetViewServices(saved);
  ClearJob();
  state.counters["copies"] = copies;
  state.counters["hole_copies"] = double(holes) * copies;
  if (copies != Side * Side - 1) state.SkipWithError("the pattern's copies differ");
  if (shown != Side * Side) state.SkipWithError("a coupon of the grid was not drawn");
  std::error_code ec;
  fs::remove_all(folder, ec);
}

// A file of more holes sharing the pattern than a job counts copies of
// (32,769 x 65,535): read and refused, in far less time than drawing them
// would take. Reports the time of the refusal.
void BM_SteppedJobRefused(benchmark::State& state) {
  const fs::path folder = fs::temp_directory_path() / "korvex_stepped_job_bench";
  StartModel(folder);
  std::string text = "0\r\nHEADER\r\n999\r\n" + std::string(JobFileTitle) +
                     "\r\n0\r\nENDSEC\r\n0\r\nSTEPSECTION\r\n0\r\nSTEPLIST\r\n0\r\nM01\r\n"
                     "0\r\nM02\r\n10\r\n1000\r\n70\r\n65535\r\n0\r\nM02\r\n20\r\n1000\r\n"
                     "0\r\nM08\r\n52\r\n1\r\n0\r\nENDSTEPLIST\r\n0\r\nENDSEC\r\n0\r\nENTITIES\r\n";
  for (int32_t k = 0; k <= int32_t(kMaxJobDrawnCopies / kMaxStepCopies); ++k)
    text += "0\r\nDRILLHOLE\r\n10\r\n" + std::to_string(k * 100) + "\r\n50\r\n1\r\n52\r\n1\r\n";
  text += "0\r\nENDSEC\r\n0\r\nEOF\r\n";
  const std::string file = (folder / "HOURS.ZUL").string();
  {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size()) std::abort();
    std::fclose(f);
  }
  bool refused = true;
  for (auto _ : state) {
    TJobContents contents;
    refused = refused && !ReadJobFile(file, contents);
  }
  ClearJob();
  if (!refused) state.SkipWithError("the file was read");
  std::error_code ec;
  fs::remove_all(folder, ec);
}

}  // namespace

BENCHMARK(BM_SteppedJobRefused)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_SteppedJobOpen)
    ->Apply(korvex_bench::Sizes<100, 100, 1000>)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
