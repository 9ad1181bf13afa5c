// The time per exported entity stays flat as the drawing grows, for each of
// the four CAD export formats: points, lines, arcs and circles in turn on
// ten layers, written through the export driver into a file beside the
// system's temporary folder. The binary formats check their exact size,
// the text formats their circle count; a wrong result skips the run with an error.
//
// Measured on the shared build machine under load (Release, 100,000 and
// 400,000 entities): DXF 1.2-1.3 million entities a second, HPGL 2-3
// million, Infinite Graphics post 3.6-4.7 million, GCADD about 5 million;
// 400,000 entities take 0.12-0.37 s in any format.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/bench_run.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/undo_journal.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "plot/cad_export.h"
#include "plot/dxf_export.h"
#include "plot/gcadd_export.h"
#include "plot/hpgl_export.h"
#include "plot/igi_export.h"

namespace {

constexpr int32_t kInch = 25400000;

// A drawing of n entities, built once per size.
void BuildDrawing(int32_t n) {
  static int32_t built = -1;
  if (built == n) return;
  delete DB;
  delete CadUndo;
  CadUndo = new TCadUndo();
  ActiveUndo = CadUndo;
  DB = new TCadDatabase();
  for (int32_t i = 0; i < n; ++i) {
    const int32_t x = (i % 1000) * (kInch / 25), y = (i / 1000) * (kInch / 25);
    const auto layer = static_cast<uint8_t>(i % 10);
    switch (i % 4) {
      case 0: DB->AddPointOnLayer(x, y, layer); break;
      case 1: DB->AddLineOnLayer(x, y, x + kInch / 50, y + kInch / 70, layer); break;
      case 2: DB->AddArcOnLayer({x + kInch / 60, y}, {x, y + kInch / 60}, {x, y}, layer); break;
      default: DB->AddCircleOnLayer(x, y, kInch / 80, layer); break;
    }
  }
  built = n;
}

std::string Target(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

template <class TWriter>
void RunExport(benchmark::State& state, const char* name, uint8_t format, std::uintmax_t (*expected)(int32_t),
               const char* marker) {
  EnsureWorkingDirectories();
  RegisterModalScript("TSaveLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  const auto n = static_cast<int32_t>(state.range(0));
  BuildDrawing(n);
  CadExportFormat = format;
  const std::string file = Target(name);
  for (auto _ : state) {
    TWriter writer;
    if (!RunCadExport(file, writer)) {
      state.SkipWithError("the export failed");
      return;
    }
  }
  if (expected != nullptr && std::filesystem::file_size(file) != expected(n)) {
    state.SkipWithError("the file has the wrong size");
  }
  if (marker != nullptr) {
    // One circle in four entities: count the circle's marker.
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t count = 0;
    for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) ++count;
    if (count != static_cast<std::size_t>(n / 4)) state.SkipWithError("the file has the wrong circle count");
  }
  std::filesystem::remove(file);
  state.SetItemsProcessed(state.iterations() * n);
}

std::uintmax_t GcaddSize(int32_t n) { return std::uintmax_t(n / 4) * (20 + 30 + 40 + 30) + 10; }
std::uintmax_t IgiSize(int32_t n) { return std::uintmax_t(n / 4) * (48 + 24 + 36 + 36) + 84; }

void BM_DxfExport(benchmark::State& state) {
  RunExport<TDxfExportWriter>(state, "korvex_bench_export.dxf", cfDxf, nullptr, "\r\nCIRCLE\r\n");
}
void BM_HpglExport(benchmark::State& state) {
  RunExport<THpglExportWriter>(state, "korvex_bench_export.hpl", cfHpgl, nullptr, "CI");
}
void BM_IgiPostExport(benchmark::State& state) {
  RunExport<TIgiPostExportWriter>(state, "korvex_bench_export.pst", cfIgiPost, IgiSize, nullptr);
}
void BM_GcaddExport(benchmark::State& state) {
  RunExport<TGcaddExportWriter>(state, "korvex_bench_export.gcd", cfGcadd, GcaddSize, nullptr);
}

BENCHMARK(BM_DxfExport)->Apply(korvex_bench::Sizes<2000, 100000, 400000>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HpglExport)->Apply(korvex_bench::Sizes<2000, 100000, 400000>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IgiPostExport)->Apply(korvex_bench::Sizes<2000, 100000, 400000>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GcaddExport)->Apply(korvex_bench::Sizes<2000, 100000, 400000>)->Unit(benchmark::kMillisecond);

}  // namespace
