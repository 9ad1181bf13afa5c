// A full redraw of a panel into the off-screen picture: 50,000 CAD lines
// and 500,000 drill hits on a 20 x 16 in panel, rendered into a picture of
// 3 x 1280 by 3 x 1024 pixels (clear, grid, zero lines, CAD, drill), once
// with the whole panel in view and once zoomed in ten times, where most of
// the job lies outside the picture. Reports the time per full redraw.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>

#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "workspace/db_bitmap.h"
#include "../tests/support/picture_view.h"

namespace {

constexpr double Inch = 25400000.0;
constexpr int32_t ViewWidth = 1280, ViewHeight = 1024;

struct TJob {
  TJob() {
    savedDb = DB;
    savedDrill = DRDB;
    DB = new TCadDatabase();
    DRDB = new TDrillDatabase();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> x(0, int32_t(20 * Inch)), y(0, int32_t(16 * Inch));
    std::uniform_int_distribution<int32_t> d(-int32_t(Inch / 4), int32_t(Inch / 4));
    std::uniform_int_distribution<int32_t> tool(1, 40);
    std::uniform_int_distribution<int32_t> cadLayer(0, 3), drillLayer(30, 32);
    for (int i = 0; i < 50000; ++i) {
      int32_t x1 = x(rng), y1 = y(rng);
      DB->AddLineOnLayer(x1, y1, x1 + d(rng), y1 + d(rng), uint8_t(cadLayer(rng)));
    }
    // Drills of 0.007 to 0.046 in: the circles of the default display.
    for (int32_t t = 1; t <= 40; ++t) {
      ActiveTools[t] = true;
      ToolTable[t].Diameter = int32_t(Inch / 1000) * (6 + t);
    }
    for (int i = 0; i < 500000; ++i)
      DRDB->AddHoleOnLayer(x(rng), y(rng), uint8_t(drillLayer(rng)), tool(rng), true);
  }
  ~TJob() {
    delete DRDB;
    delete DB;
    DB = savedDb;
    DRDB = savedDrill;
  }
  TCadDatabase* savedDb;
  TDrillDatabase* savedDrill;
};

TJob& Job() {
  static TJob job;
  return job;
}

void BM_FullRedraw(benchmark::State& state) {
  Job();
  const double zoom = double(state.range(0));
  DisplayHolesAs = uint8_t(state.range(1));
  TEncapsulatingBitmap bitmap(3 * ViewWidth, 3 * ViewHeight, 32);
  bitmap.SetWidth(3 * ViewWidth);
  bitmap.SetHeight(3 * ViewHeight);
  TDBBitmap picture(bitmap);
  // The whole panel fills the view at zoom 1; the view is centred on it.
  picture.PixelsPerInch = ViewWidth / 20.0 * zoom;
  const double cx = 10 * Inch, cy = 8 * Inch;
  picture.Left = cx - 1.5 * ViewWidth / picture.PixelsPerInch * Inch;
  picture.Top = cy + 1.5 * ViewHeight / picture.PixelsPerInch * Inch;
  TPictureView view(picture);
  TViewServices* saved = SetViewServices(&view);
  TDrawingBase* savedSurface = DrawSurface;
  DrawSurface = &picture;
  for (auto _ : state) {
    picture.Clear();
    picture.Reset();
    picture.DrawGrid();
    picture.DrawZeroLines();
    picture.ShadeOutsideLimits();
    DB->Redraw();
    DRDB->Redraw();
    benchmark::DoNotOptimize(picture.Dirty);
  }
  // How much of the picture the job covers, as a check that it was drawn.
  int64_t drawn = 0;
  for (TColor c : bitmap.Pixels().Pixels()) drawn += c != BackgroundColor;
  state.counters["painted_pixels"] = double(drawn);
  DrawSurface = savedSurface;
  SetViewServices(saved);
}

}  // namespace

// Arguments: zoom (1 = whole panel in view), hole display (0 pixel, 1
// circles of the tool's size, the program's default, 3 shapes).
BENCHMARK(BM_FullRedraw)
    ->Args({1, 3})
    ->Args({10, 3})
    ->Args({1, 1})
    ->Args({10, 1})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
