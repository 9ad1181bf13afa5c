// Import speed of the two big readers, headless, into an empty CAD
// database, with one undo step per import.
//
// Photoplot: a generated RS-274X file of about 50 MB: 20 apertures (18
// circles, a rectangle and a macro of a circle and a vector line), 600,000
// draws, 200,000 flashes, 100,000 moves and 700,000 comments in 2.6 inch
// coordinates, with an aperture change every 1,000 blocks: 870,000 CAD
// entities. bench/import_vs_peer.sh times BM_PhotoplotToCad beside the peer
// reader's "-x rs274x" export of the same file, alternating five runs each.
//
// Measured with that script on the shared 8-core build machine (Release,
// load average 4 to 6): over two runs of the script the median import into
// the drawing took 216-219 ms and the peer 2,109-2,157 ms, 9.8 times faster,
// with a peak resident memory of 74 MB against the peer's 609 MB (the file's
// text is given back before its entities are stored). The reading alone
// (BM_PhotoplotRead) takes about 160 ms. Counted by callgrind, the import
// runs 1.78 billion instructions: the blocks' decoding about half, the
// report of the 700,000 comments a seventh, adding the entities to the
// drawing with their undo records about a sixth. The import adds its
// entities without drawing them one by one (the view is drawn once
// afterwards, by the redraw that follows every import; the headless view
// only counts it, and the peer's export draws nothing either).
//
// DXF: 1,000,000 entities (LINE, CIRCLE, ARC and POINT in turn: the CAD
// drawing's full 1,000,000) in a drawing that declares millimetres import in
// about 470 ms with a peak resident memory of 108 MB for the whole process
// (the "peak_rss_mb" counter; run the benchmark alone,
// --benchmark_filter=Drawing, for the figure). Every benchmark here fails
// when its import imported nothing.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/bench_run.h"
#include "foundation/settings_families.h"
#include "import/dxf_import.h"
#include "import/gerber_cad.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/undo_journal.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"

namespace {

std::string ScratchFile(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

// Writes the photoplot of the header comment (also used by the script).
std::string WritePhotoplot() {
  const std::string name = ScratchFile(korvex_bench::Smoke() ? "korvex_bench_smoke.gbr" : "korvex_bench_50mb.gbr");
  if (std::filesystem::exists(name)) return name;
  std::ofstream out(name, std::ios::binary);
  out << "G04 generated photoplot*\n%FSLAX26Y26*%\n%MOIN*%\n"
         "%AMPADRING*1,1,$1,0,0*20,1,$2,-0.02,0,0.02,0,0*%\n";
  for (int d = 10; d < 28; ++d) out << "%ADD" << d << "C,0.0" << (10 + d) << "00*%\n";
  out << "%ADD28R,0.060000X0.030000*%\n%ADD29PADRING,0.070X0.010*%\nG01*\n";
  char block[128];
  unsigned seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % 9000000);
  };
  // Groups of ten blocks: a move, six draws along a track and two flashes,
  // then a comment; a new aperture every hundred groups.
  for (int64_t group = 0, groups = korvex_bench::Size(100000, 1000); group < groups; ++group) {
    if (group % 100 == 0) out << "D" << (10 + (group / 100) % 20) << "*\n";
    std::snprintf(block, sizeof block, "X%07dY%07dD02*\n", next(), next());
    out << block;
    for (int k = 0; k < 6; ++k) {
      std::snprintf(block, sizeof block, "X%07dY%07dD01*\nG04 track %06d segment %d of net SIGNAL_%05d*\n", next(), next(),
                    group, k, group % 10000);
      out << block;
    }
    std::snprintf(block, sizeof block, "X%07dY%07dD03*\nX%07dY%07dD03*\nG04 pads of group %06d*\n", next(),
                  next(), next(), next(), group);
    out << block;
  }
  out << "M02*\n";
  return name;
}

std::string WriteDrawing() {
  // In millimetres, as its header says: it reaches 500 units, beyond a job
  // in inches.
  const std::string name = ScratchFile(korvex_bench::Smoke() ? "korvex_bench_smoke_mm.dxf" : "korvex_bench_1m_mm.dxf");
  if (std::filesystem::exists(name)) return name;
  std::ofstream out(name, std::ios::binary);
  out << "0\nSECTION\n2\nHEADER\n9\n$INSUNITS\n70\n4\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n";
  for (int i = 0, n = int(korvex_bench::Size(1000000, 4000)); i < n; ++i) {
    const double x = (i % 1000) * 0.5, y = (i / 1000) * 0.5;
    switch (i % 4) {
      case 0: out << "0\nLINE\n8\n1\n10\n" << x << "\n20\n" << y << "\n11\n" << x + 0.3 << "\n21\n" << y + 0.2 << "\n"; break;
      case 1: out << "0\nCIRCLE\n8\n2\n10\n" << x << "\n20\n" << y << "\n40\n0.1\n"; break;
      case 2: out << "0\nARC\n8\n3\n10\n" << x << "\n20\n" << y << "\n40\n0.2\n50\n15\n51\n200\n"; break;
      default: out << "0\nPOINT\n8\n4\n10\n" << x << "\n20\n" << y << "\n"; break;
    }
  }
  out << "0\nENDSEC\n0\nEOF\n";
  return name;
}

// A fresh CAD database and journal for every run.
struct TCadJob {
  TCadJob() {
    CadUndo = new TCadUndo();
    ActiveUndo = CadUndo;
    DB = new TCadDatabase();
  }
  ~TCadJob() {
    delete DB;
    DB = nullptr;
    delete CadUndo;
    CadUndo = nullptr;
    ActiveUndo = nullptr;
  }
};

// A benchmark of an import that imported nothing timed nothing.
bool ImportedSomething(benchmark::State& state, double entities) {
  if (entities > 0) return true;
  state.SkipWithError("the import imported nothing");
  return false;
}

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

void BM_PhotoplotToCad(benchmark::State& state) {
  EnsureWorkingDirectories();
  const std::string file = WritePhotoplot();
  RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  int32_t entities = 0;
  for (auto _ : state) {
    TCadJob job;
    GerberImportDefaults = TGerberFormatRecord{};
    ImportGerberToCad(file);
    entities = CadEntityCount;
  }
  if (!ImportedSomething(state, entities)) return;
  state.counters["entities"] = entities;
  state.counters["file_mb"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
}
BENCHMARK(BM_PhotoplotToCad)->Unit(benchmark::kMillisecond)->Iterations(1);

// The reading alone: the file into the CAD reader's entities in database
// units, without adding them to the drawing.
void BM_PhotoplotRead(benchmark::State& state) {
  EnsureWorkingDirectories();
  const std::string file = WritePhotoplot();
  RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  std::size_t entities = 0;
  for (auto _ : state) {
    GerberImportDefaults = TGerberFormatRecord{};
    TGerberCadReader reader(file);
    reader.InchScale = 25400000.0 / 1e6;
    reader.MetricScale = 1000000.0 / 1e6;
    reader.TGerberReader::Run();
    entities = reader.Pending.Count();
  }
  if (!ImportedSomething(state, static_cast<double>(entities))) return;
  state.counters["entities"] = static_cast<double>(entities);
}
BENCHMARK(BM_PhotoplotRead)->Unit(benchmark::kMillisecond)->Iterations(1);

// A photoplot of many aperture macros, each flashed once through its own
// aperture: every aperture finds its macro by name, so the reading grows
// with the file (measured below at 100,000 macros).
void BM_PhotoplotManyMacros(benchmark::State& state) {
  EnsureWorkingDirectories();
  const int64_t macros = korvex_bench::Size(100000, 2000);
  const std::string file = ScratchFile(korvex_bench::Smoke() ? "korvex_bench_smoke_macros.gbr" : "korvex_bench_macros.gbr");
  {
    std::ofstream out(file, std::ios::binary);
    out << "%FSLAX24Y24*%\n%MOIN*%\n";
    for (int64_t k = 0; k < macros; ++k) out << "%AMMACRO" << k << "*1,1,0.01,0,0*%\n";
    for (int64_t k = 0; k < macros; ++k) out << "%ADD" << 10 + k << "MACRO" << k << "*%\n";
    for (int64_t k = 0; k < macros; ++k) out << "D" << 10 + k << "*\nX" << k % 1000 * 10 << "Y" << k / 1000 * 10 << "D03*\n";
    out << "M02*\n";
  }
  RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  int32_t entities = 0;
  for (auto _ : state) {
    TCadJob job;
    GerberImportDefaults = TGerberFormatRecord{};
    ImportGerberToCad(file);
    entities = CadEntityCount;
  }
  // Each flash drew its macro's circle.
  if (entities != macros) {
    state.SkipWithError("the flashes did not each draw their macro");
    return;
  }
  state.counters["entities"] = entities;
}
BENCHMARK(BM_PhotoplotManyMacros)->Unit(benchmark::kMillisecond)->Iterations(1);

// A file of a few kilobytes whose aperture blocks flash, level upon level,
// blocks that draw nothing: the flashes are counted against the objects a
// file may place, so it is refused at once instead of replaying them for
// hours.
void BM_PhotoplotEmptyBlockChain(benchmark::State& state) {
  EnsureWorkingDirectories();
  const std::string file = ScratchFile("korvex_bench_empty_blocks.gbr");
  {
    std::ofstream out(file, std::ios::binary);
    out << "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\n%ABD11*%\n%AB*%\n";
    for (int d = 12; d <= 17; ++d) {
      out << "%ABD" << d << "*%\nD" << d - 1 << "*\n";
      for (int k = 0; k < 100; ++k) out << "X0Y0D03*\n";
      out << "%AB*%\n";
    }
    out << "D17*\nX0Y0D03*\nD10*\nX0Y0D03*\nM02*\n";
  }
  RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  int32_t entities = -1;
  for (auto _ : state) {
    TCadJob job;
    GerberImportDefaults = TGerberFormatRecord{};
    ImportGerberToCad(file);
    entities = CadEntityCount;
  }
  // Refused whole: nothing drawn.
  if (entities != 0) {
    state.SkipWithError("the chain of empty blocks was not refused");
    return;
  }
  state.counters["file_kb"] = static_cast<double>(std::filesystem::file_size(file)) / 1e3;
}
BENCHMARK(BM_PhotoplotEmptyBlockChain)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_DrawingToCad(benchmark::State& state) {
  EnsureWorkingDirectories();
  const std::string file = WriteDrawing();
  RegisterModalScript("TDrawingUnits", [](TForm& f) { f.Click("OKButton"); });
  int32_t entities = 0;
  for (auto _ : state) {
    TCadJob job;
    ImportDxfToCad(file);
    entities = CadEntityCount;
  }
  if (!ImportedSomething(state, entities)) return;
  state.counters["entities"] = entities;
  state.counters["peak_rss_mb"] = PeakRssMb();
}
BENCHMARK(BM_DrawingToCad)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
