// A full redraw of a panel into the off-screen picture: 50,000 CAD lines
// and 500,000 drill hits on a 20 x 16 in panel, rendered into a picture of
// 3 x 1280 by 3 x 1024 pixels (clear, grid, zero lines, CAD, drill), once
// with the whole panel in view and once zoomed in ten times, where most of
// the job lies outside the picture. Reports the time per full redraw.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "workspace/db_bitmap.h"
#include "redraw_panel.h"
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
    AddRedrawPanel();
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

BENCHMARK(BM_FullRedraw)->Apply(RedrawCases);
