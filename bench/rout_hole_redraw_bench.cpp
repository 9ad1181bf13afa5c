// The redraw of a rout job whose holes are drawn as circles larger than the
// view: a short tape with an 8-inch tool makes 10,000 holes in a row and
// repeats the row six times, so 70,000 circles about 1,100 pixels across
// cross the picture (the step copies dashed). The job is centred in a
// picture of 3 x 1280 by 3 x 1024 pixels, as the main window draws for a
// 1280 x 1024 view; reports the time of one redraw of the rout database.
//
// Measured on the shared 8-core build machine under load (Release, CPU
// time): 42 s a redraw when each arc built its ellipse's whole ring in span
// sets and worked out every ring pixel's angle, 12-13 s with the ring's rows
// painted as they come, kept for the circle's second half, and the pixels
// taken by the side of each ray. Through the Qt canvas (bench/qt_redraw.sh
// with KORVEX_QT_BENCH=rout_hole_redraw) 20.7 s when Qt stroked the arcs,
// 12.7 s (wall) with the arcs written into the image's rows.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/bench_run.h"
#include "foundation/settings.h"
#include "model/editor_state.h"
#include "model/model_services.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "routpath/cutter_compensator.h"
#include "tapein/rout_import.h"

namespace {

constexpr double UnitsPerInch = 25400000.0;

// The rout import's fuzz seed tests/fuzz/corpus/rout_import/large-tool-repeats.rou
// is the same tape with two repeats of the row (30,000 holes).
// A smoke run repeats the row 99 times.
const std::string kTape = "M48\nINCH,TZ\nT01C80000\n%\nT01\nG05\nM25\nX0Y0\nR" +
                          std::to_string(korvex_bench::Size(9999, 99)) +
                          "X1\nM01\nM02Y100\nM02Y100\nM02Y100\nM02Y100\nM02Y100\nM02Y100\nM08\nM30\n";

struct TJob {
  TJob() {
    const auto dir = std::filesystem::temp_directory_path() / "korvex_bench";
    std::filesystem::create_directories(dir);
    const auto path = dir / "large_tool_repeats.rou";
    std::ofstream(path) << kTape;
    ResetHeadlessViewServices();
    THeadlessViewServices& view = HeadlessViewServices();
    view.SetPicture(0.0, 0.0, 100.0, 3 * 1280, 3 * 1024);
    EditorMode = emRout;
    CurrentLayer = 40;
    // The compensator draws the holes, as start-up installs it.
    ModelServices.LayerCompensation = [](uint8_t layer) -> std::unique_ptr<TLayerCompensation> {
      return std::make_unique<TRoutLayerCompensator>(layer);
    };
    RoutUndo = new TRoutUndo();
    ActiveUndo = RoutUndo;
    RTDB = new TRoutDatabase();
    Seq = new TSequenceStore();
    TRoutTapeReader reader(*RoutImportTarget(), path.string(), "", dir.string(), false, 2, 4, false,
                           false, 1, false, false, false);
    bool failed = false;
    reader.Run(failed);
    reader.Done();
    // Centred on the holes (step repeats included) at a zoom that makes the
    // tool's circles 1,105 pixels across.
    TIntBox box;
    RTDB->GetExtents(box, true);
    const double ppi = 1105 / 8.0, cx = (double(box.Left) + box.Right) / 2, cy = (double(box.Bottom) + box.Top) / 2;
    const int w = 3 * 1280, h = 3 * 1024;
    view.SetPicture(cx - w / 2.0 / ppi * UnitsPerInch, cy + h / 2.0 / ppi * UnitsPerInch, ppi, w, h);
  }
  ~TJob() {
    delete RTDB;
    RTDB = nullptr;
    delete Seq;
    Seq = nullptr;
    delete RoutUndo;
    RoutUndo = nullptr;
    ActiveUndo = nullptr;
  }
};

TJob& Job() {
  static TJob job;
  return job;
}

void BM_RedrawLargeToolHoles(benchmark::State& state) {
  Job();
  THeadlessViewServices& view = HeadlessViewServices();
  TDrawingBase& picture = view.Picture();
  for (auto _ : state) {
    view.Bitmap->Canvas().Brush.Color = BackgroundColor;
    view.Bitmap->Canvas().FillRect({0, 0, view.Bitmap->Width(), view.Bitmap->Height()});
    RTDB->Redraw(0);
    benchmark::DoNotOptimize(picture.Dirty);
  }
  int64_t drawn = 0;
  for (TColor c : view.Bitmap->Pixels()) drawn += c != BackgroundColor;
  state.counters["entities"] = double(RoutEntityCount);
  state.counters["painted_pixels"] = double(drawn);
  if (std::getenv("KORVEX_BENCH_PNG")) view.Bitmap->SaveToPng(std::getenv("KORVEX_BENCH_PNG"));
}

}  // namespace

BENCHMARK(BM_RedrawLargeToolHoles)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
