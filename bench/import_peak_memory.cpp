// One File > Import (CAD) or Drill File > Import of a given file, headless,
// with every dialog answered at once, for bench/import_peak_memory.sh to
// measure the process's peak memory with /usr/bin/time. The file and the
// answers come from the environment:
//   KORVEX_PEAK_FILE    the file to import (unset: a generated drill tape)
//   KORVEX_PEAK_MODE    "cad" (File > Import, the default) or "drill"
//   KORVEX_PEAK_FORMAT  the format picked in the "File Format" dialog (its
//                       list index); unset: the detected one is confirmed
// Prints the boxes shown (and the end of a tape's results window) and the
// entities the job holds afterwards. The
// figures measured are in the script's header.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_tapes.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "import/import_frame.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tapein/drill_import.h"
#include "tapein/drill_import_command.h"
#include "workspace/startup.h"

namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

void BM_ImportOnce(benchmark::State& state) {
  // Without a file named, a generated tape of 2,000 hits, which must come in.
  const bool generated = Env("KORVEX_PEAK_FILE").empty();
  const std::string file = generated ? MakeTape(2000).string() : Env("KORVEX_PEAK_FILE");
  const bool drill = Env("KORVEX_PEAK_MODE") == "drill";
  const std::string format = Env("KORVEX_PEAK_FORMAT");
  const fs::path home = fs::temp_directory_path() / "korvex_bench" / "peak_home";
  fs::create_directories(home);
  setenv("KORVEX_HOME", home.c_str(), 1);
  setenv("KORVEX_CONFIG_DIR", home.c_str(), 1);
  TRegistryStore::Instance().Clear();
  ResetHeadlessDialogs();
  HeadlessResetEvents();
  ResetStartupSettings();
  ResetFamilySettings();
  InstallModelServices();
  ResetHeadlessViewServices();
  InstallDrillImporters();
  if (!EnsureWorkingDirectories()) std::abort();
  EditorMode = drill ? emDrill : emCad;
  CurrentLayer = drill ? 30 : 0;
  HeadlessSetProcessMessagesHook([] {
    if (DrillTapeReader != nullptr && DrillTapeReader->Report && DrillTapeReader->Report->OKVisible) {
      // The results window: its last lines, as the user reads them before OK.
      std::string text = DrillTapeReader->Report->Memo1.Text();
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      const std::size_t from = text.size() > 120 ? text.size() - 120 : 0;
      for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
      std::fprintf(stderr, "box: (results window) %s\n", text.substr(from).c_str());
      DrillTapeReader->Report->OKButton.Click();
    }
  });
  for (const char* form : {"TDrawingUnits", "TGerberDrillDialog", "TCadInputFormatDialog",
                           "TDrillInputFormatDialog", "TValorLayerDialog", "TPickFilterDialog",
                           "TSwapTablesDialog", "TPickDrillLayerDialog"})
    RegisterModalScript(form, [](TForm& f) { f.Click("OKButton"); });
  for (const char* form : {"TForceFormatDialog", "TForceDrillFormatDialog"})
    RegisterModalScript(form, [format](TForm& f) {
      if (!format.empty()) f.Get<TComboBox>("PullDown").SetItemIndex(std::atoi(format.c_str()));
      f.Click("OKButton");
    });
  for (auto _ : state) {
    ToolTable.Fill(TToolRecord{});
    CadUndo = new TCadUndo();
    DrillUndo = new TDrillUndo();
    ActiveUndo = drill ? static_cast<TUndoJournal*>(DrillUndo) : CadUndo;
    DB = new TCadDatabase();
    DRDB = new TDrillDatabase();
    ScriptFileDialogAnswer(file);
    if (drill) ImportDrillFile();
    else RunCadImport();
    for (const TMessageBoxRecord& box : ShownMessageBoxes())
      std::fprintf(stderr, "box: %s\n", box.Text.c_str());
    std::fprintf(stderr, "CAD entities: %d, drill entities: %d\n", CadEntityCount, DrillEntityCount);
    state.counters["boxes"] = static_cast<double>(ShownMessageBoxes().size());
    if (generated && CadEntityCount + DrillEntityCount == 0) state.SkipWithError("the generated tape was not imported");
    delete DRDB;
    DRDB = nullptr;
    delete DB;
    DB = nullptr;
    delete DrillUndo;
    DrillUndo = nullptr;
    delete CadUndo;
    CadUndo = nullptr;
    ActiveUndo = nullptr;
  }
}
BENCHMARK(BM_ImportOnce)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
