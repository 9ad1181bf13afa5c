#include "fuzz_entries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "command/button_manager.h"
#include "command/command_interpreter.h"
#include "command/input_event.h"
#include "command/user_panel.h"
#include "editor/editor_window.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "import/dxf_import.h"
#include "import/esi_import.h"
#include "import/gcadd_import.h"
#include "import/gerber_cad.h"
#include "import/gerber_reader.h"
#include "import/gerber_to_drill.h"
#include "import/hpgl_reader.h"
#include "import/igi_post_import.h"
#include "import/import_frame.h"
#include "import/import_host.h"
#include "import/ipc_import.h"
#include "import/lzw_decompress.h"
#include "import/odb_import.h"
#include "model/drill_tools.h"
#include "model/tool_tables.h"
#include "plot/plot_device.h"
#include "tapein/drill_import_command.h"
#include "tapeout/tool_table_dialogs.h"
#include "workspace/error_log.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/undo_journal.h"
#include "foundation/display_units.h"
#include "workspace/job_file.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "platform/forms.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tapein/cad_import.h"
#include "tapein/drill_import.h"
#include "tapein/filter_lists.h"
#include "tapein/nc_reader.h"
#include "model/drawing_base.h"
#include "tapein/rout_import.h"
#include "foundation/swap_basic.h"
#include "foundation/swap_filter.h"
#include "workspace/layers.h"
#include "workspace/startup.h"
#include "model/view_services.h"
#include "workspace/workspace.h"

namespace {

std::vector<std::string> Messages;
// The job was cleared by ReleaseFuzzInput and nothing ran since.
bool JobReleased = false;
// The input ran a tape import into the layer selected already and nothing
// else: it sent the command interpreter no event, so the command the last
// clearing of the job started afresh is still as fresh.
bool CommandLeftFresh = false;

// The work of a long reading (see SetFuzzWorkLimit): the limit, the most
// the import running has reached, and the most of any import of the input.
int64_t WorkLimit = 0;
int64_t Work = 0;
int64_t PeakWork = 0;
// The reader polls once or twice for each line it reads (a pattern's lines
// again for each repeat): ten polls count as one hole.
int64_t Polls = 0;
constexpr int64_t kPollsPerHole = 10;

void CountWork(int64_t made) {
  Work = std::max({Work, made, Polls / kPollsPerHole});
  PeakWork = std::max(PeakWork, Work);
}

// Holes, moves and entities made so far by the import running: the
// entities in the job (empty when it began), or the emissions of the tape
// reader running and its lines read (ten to a hole) when they make more
// (the repeats of a block that makes no entity count as emissions), and the
// copies its pattern ends made (25 to a hole: what an expansion costs a
// copy against what a hole costs, both measured under the sanitizers).
constexpr int64_t kCopiesPerHole = 25;
int64_t ReaderWork(const TNCReader* reader) {
  if (reader == nullptr || !reader->GlobalRec) return 0;
  return reader->GlobalRec->TapeEmits + reader->GlobalRec->LinesRead / kPollsPerHole +
         reader->RepeatCopies / kCopiesPerHole;
}
int64_t InputWork() {
  const int64_t work = int64_t(DrillEntityCount) + RoutEntityCount + CadEntityCount;
  return std::max({work, ReaderWork(DrillTapeReader), ReaderWork(CurrentReader)});
}

// Called whenever the program lets messages through: past the limit, the
// user presses the Cancel of the import's status box (shown once the
// reading has taken a second).
void WatchWork() {
  ++Polls;
  CountWork(InputWork());
  THeadlessViewServices& view = HeadlessViewServices();
  if (WorkLimit > 0 && Work > WorkLimit && !view.CancelPressed) {
    view.CancelPressed = true;
    HeadlessAdvanceTime(1000);
  }
}

// The program's home for this process: made once, kept to the end. It is
// on the memory file system where there is one: each input writes its file,
// and the readers and journals make and erase theirs, a few times an input.
// It is named after the process, so that a later one removes it when the
// fuzzer ended this one without its exit handlers.
std::string Home() {
  static const std::string home = [] {
    const std::string folder = ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
    RemoveEndedFuzzHomes(folder);
    std::string pattern = folder + "/korvex_fuzz_" + std::to_string(::getpid()) + "_XXXXXX";
    const char* made = ::mkdtemp(pattern.data());
    const std::string dir = made != nullptr ? made : "/tmp";
    ::setenv("KORVEX_HOME", (dir + "/home").c_str(), 1);
    ::setenv("KORVEX_CONFIG_DIR", (dir + "/config").c_str(), 1);
    ::mkdir((dir + "/home").c_str(), 0755);
    ::mkdir((dir + "/config").c_str(), 0755);
    static const std::string removed = dir;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(removed, ec);
    });
    return dir;
  }();
  return home;
}

// The working folder the process was started in: the program's start-up
// moves to its home, but the fuzzer reads and writes its files relative to
// where it was started.
std::filesystem::path& StartFolder() {
  static std::filesystem::path folder = std::filesystem::current_path();
  return folder;
}

void BackToStartFolder() {
  std::error_code ec;
  std::filesystem::current_path(StartFolder(), ec);
}

// What a fresh rout database holds besides its entities and their lists,
// and the tool pages of the rout layers: what a tape import may change.
struct TFreshRout {
  TIndexedArray<TIntPoint, kFirstRoutLayer, 5> G93Origins;
  TIndexedArray<TRoutPathState, kFirstRoutLayer, 5> PathState;
  TIndexedArray<TRoutLayerTool, kFirstRoutLayer, 5> LayerTools;
  TIndexedArray<TRoutToolPage, kFirstRoutLayer, 5> ToolPages;
  uint8_t CompSide = 0;
};

TFreshRout& FreshRout() {
  static TFreshRout fresh;
  return fresh;
}

void KeepFreshRout() {
  TFreshRout& f = FreshRout();
  f.G93Origins = RTDB->G93Origins;
  f.PathState = RTDB->PathState;
  f.LayerTools = RoutLayerTools;
  f.ToolPages = RoutToolPages;
  f.CompSide = RTDB->AutoRoutCompensation;
}

// The headless program, started on first use; never freed (it lives as long
// as the process).
void StartProgram() {
  static bool started = false;
  if (started) return;
  started = true;
  StartFolder();
  Home();
  TRegistryStore::Instance().Clear();
  TRegistryStore::Instance().BackingFile.clear();
  RegisterModalScript("TAboutDialog", [](TForm& f) { f.Click("OKButton"); });
  JobFileSaveQuery = [] { return true; };
  static TWorkspace* program = CreateWorkspace().release();
  // Hidden, the window does not lay itself out again at every change of
  // mode (a layer of another kind selected), which took most of the time of
  // the inputs that import on both sides.
  program->Hide();
  // The window's picture is not drawn: redrawing it after each import and
  // each cleared job took most of an input's time. The headless view takes
  // the drawing calls instead.
  SetViewServices(nullptr);
  // Nor do the entities draw themselves into the window's picture (three
  // times the screen): they draw on the headless view's, as the view's own
  // drawing does. A rout of a few hundred holes was drawn twice, once into
  // each picture, and the window's took the most.
  DrawSurface = nullptr;
  // And the headless view's picture is 96 pixels square instead of 600: the
  // entities still draw into it, clipped to it, but the circles of a rout's
  // tool paths (its holes drawn at the size of the cutter) cost their
  // visible pixels, and a third of the instructions of a rout input went
  // into drawing them.
  HeadlessViewServices().SetPicture(0.0, 0.0, 100.0, 96, 96);
  // The imports' report windows likewise: the host without a window keeps
  // their texts (emptied for each input).
  SetImportHost(nullptr);
  // Nor are the tool buttons laid out anew at each change of mode (a layer
  // of another mode selected for an input): the buttons keep their states,
  // the window's layout is left as it is.
  if (ButtonManagerObject != nullptr) ButtonManagerObject->DetachPanel();
  // And the prompt lines of the command a change of mode starts are kept by
  // a panel without a strip to paint them on (the window's panel is kept
  // aside as it is).
  static TUserPanel* const windowPanel = UserPanel;
  static TUserPanel quietPanel(nullptr);
  if (windowPanel != nullptr) UserPanel = &quietPanel;
  ClearJob();
  KeepFreshRout();
  BackToStartFolder();
}

// Writes the bytes to a file of the program's home; its program name.
std::string InputFile(const char* name, const uint8_t* data, std::size_t size) {
  const std::string file = ExecutionPath() + "INDATA\\" + name;
  // Written straight: a stream's buffer is one more heap block an input.
  const int fd = ::open(NativePath(file).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return file;
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += std::size_t(n);
  }
  ::close(fd);
  return file;
}

// The format dialog's answers of an input (see the header), and the tape
// behind them.
struct TTapeInput {
  bool Scripted = false;
  uint8_t Options[4] = {};
  const uint8_t* Tape = nullptr;
  std::size_t Size = 0;
};

TTapeInput SplitOptions(const uint8_t* data, std::size_t size) {
  TTapeInput in;
  in.Tape = data;
  in.Size = size;
  if (size >= 5 && data[0] == 0x01) {
    in.Scripted = true;
    for (int i = 0; i < 4; ++i) in.Options[i] = data[1 + i];
    in.Tape = data + 5;
    in.Size = size - 5;
  }
  return in;
}

// Answers the dialog of className as the options say, then OK.
void ScriptFormatDialog(const char* className, const TTapeInput& in) {
  QueueModalScript(className, [in](TForm& f) {
    if (in.Scripted) {
      const uint8_t* o = in.Options;
      if (auto* g = f.Find<TRadioGroup>("UnitGroup")) g->SetItemIndex(o[0] & 1);
      if (auto* e = f.Find<TSpinEdit>("IntegerEdit")) e->SetText(std::to_string(o[1] & 15));
      if (auto* e = f.Find<TSpinEdit>("DecimalEdit")) e->SetText(std::to_string(o[1] >> 4));
      if (auto* g = f.Find<TRadioGroup>("DecimalGroup")) g->SetItemIndex(o[2] & 1);
      if (auto* g = f.Find<TRadioGroup>("AbsoluteGroup")) g->SetItemIndex((o[2] >> 1) & 1);
      if (auto* g = f.Find<TRadioGroup>("AxisGroup")) g->SetItemIndex(o[3] % 8);
    }
    f.Click("OKButton");
  });
}

// ---- Between inputs ---------------------------------------------------------------------
//
// Every input starts from the job of a fresh program, and once its log is
// read (ReleaseFuzzInput) leaves behind nothing that it allocated: the
// fuzzer takes more allocations than releases in an input for a leak and
// searches the whole memory for it.

// True when the rout database holds what a fresh one does not.
bool RoutChanged() {
  const TFreshRout& f = FreshRout();
  if (RoutEntityCount != 0) return true;
  for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l)
    if (Seq != nullptr && Seq->Count(l) != 0) return true;
  return RTDB->G93Origins.Items != f.G93Origins.Items || RTDB->PathState.Items != f.PathState.Items ||
         RoutLayerTools.Items != f.LayerTools.Items || RTDB->AutoRoutCompensation != f.CompSide ||
         !RTDB->PlayList.empty() || RTDB->SingleStepActive != 0;
}

// Empties the rout database in place, by the program's own deletion of each
// layer and compaction, and puts back what a fresh one holds. Clearing it
// makes its sequence store anew (2 MB), which took most of an input's time.
void EmptyRoutDatabase() {
  for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l)
    if (Seq == nullptr || Seq->Count(l) != 0) RTDB->DeleteLayer(l);
  RTDB->Compact();
  if (RoutEntityCount != 0 || Seq == nullptr) {
    RTDB->Clear();
    return;
  }
  const TFreshRout& f = FreshRout();
  RTDB->G93Origins = f.G93Origins;
  RTDB->PathState = f.PathState;
  RTDB->AutoRoutCompensation = f.CompSide;
  RoutLayerTools = f.LayerTools;
  RoutToolPages = f.ToolPages;
  RTDB->PlayList.clear();
  RTDB->PlayCursor = -1;
  Seq->RewindAll();
}

// True when the journal holds a record or a state a reset one does not.
bool JournalUsed(const TUndoJournal* journal) {
  return journal != nullptr && (journal->RecordCount() != 0 || journal->UndoCount() != 0 ||
                                journal->RedoCount() != 0 || journal->UndoneCount() != 0);
}

// True when the drill database holds what a cleared one does not.
bool DrillChanged() {
  static const TIndexedArray<TToolRecord, 1, kToolCount> noTools{};
  // The bytes first: the table of an input that left it alone is still all
  // zero (padding included), and a field by field look at a thousand tools
  // cost a few per cent of a small input; bytes that differ are looked at
  // field by field.
  const bool toolsUsed =
      std::memcmp(ToolTable.Items.data(), noTools.Items.data(), sizeof noTools.Items) != 0 &&
      ToolTable.Items != noTools.Items;
  return DrillEntityCount != 0 || toolsUsed || DRDB->G93OriginX != 0 || DRDB->G93OriginY != 0 ||
         DRDB->MainPartSet || DRDB->PickCount != 0 || JournalUsed(DrillUndo);
}

// Hides a database or journal from ClearJob for the guard's life when the
// input left it as a cleared one is.
template <typename T>
class TLeftAlone {
 public:
  TLeftAlone(T*& object, bool leave) : object_(object), kept_(object) {
    if (leave) object_ = nullptr;
  }
  ~TLeftAlone() { object_ = kept_; }
  TLeftAlone(const TLeftAlone&) = delete;
  TLeftAlone& operator=(const TLeftAlone&) = delete;

 private:
  T*& object_;
  T* const kept_;
};

// File > New for the input, as the program does it, but for what the last
// input left as a fresh job has it: a database or journal it did not change
// is not cleared again (each journal's reset makes its file anew), and the
// rout database is emptied in place when it did.
void ClearJobForInput() {
  // A command the input left running is cancelled (the mode's default one
  // then starts afresh): the command a change of mode started ends first,
  // with the job whole, and ClearJob cancels again. A fresh command is
  // left alone, as cancelling it would only start it afresh, twice.
  const bool commandFresh = CommandLeftFresh;
  CommandLeftFresh = false;
  if (ECO != nullptr && !commandFresh) {
    TInputEvent cancel = CommandEvent(cmdCancel);
    ECO->HandleEvent(cancel);
  }
  if (RoutChanged()) EmptyRoutDatabase();
  TLeftAlone<TCommandInterpreter> commands(ECO, commandFresh);
  TLeftAlone<TRoutDatabase> rout(RTDB, true);
  TLeftAlone<TRoutUndo> routJournal(RoutUndo, !JournalUsed(RoutUndo));
  TLeftAlone<TDrillDatabase> drill(DRDB, !DrillChanged());
  TLeftAlone<TDrillUndo> drillJournal(DrillUndo, !JournalUsed(DrillUndo));
  TLeftAlone<TCadUndo> cadJournal(CadUndo, !JournalUsed(CadUndo));
  ClearJob();
}

// Drops what the last input left for the log: the texts of its boxes,
// reports and notices.
void ForgetInput() {
  Messages.clear();
  Messages.shrink_to_fit();
  ResetHeadlessDialogs();
  ResetModalScripts();
  HeadlessSetProcessMessagesHook({});
  DetachedImportHost() = TDetachedImportHost{};
  THeadlessViewServices& view = HeadlessViewServices();
  view.PleaseWaitTexts = {};
  view.Zooms = {};
  view.CrossMarks = {};
  view.Reports = {};
  view.CancelPressed = false;
}

// Every input starts from an empty job and no recorded boxes; the report
// windows of the imports are closed as soon as they wait.
void FreshJob() {
  StartProgram();
  // Only a tape import's entry says otherwise, once it ran.
  CommandLeftFresh = false;
  ForgetInput();
  RegisterModalScript("TAboutDialog", [](TForm& f) { f.Click("OKButton"); });
  Work = Polls = 0;
  HeadlessSetProcessMessagesHook([] {
    WatchWork();
    if (DrillTapeReader != nullptr && DrillTapeReader->Report && DrillTapeReader->Report->OKVisible) {
      if (std::getenv("KORVEX_FUZZ_VERBOSE") != nullptr)
        for (const std::string& l : DrillTapeReader->Report->Memo1.Lines()) std::fprintf(stderr, "| %s\n", l.c_str());
      DrillTapeReader->Report->OKButton.Click();
    }
  });
  // The job the last input's release cleared is cleared already.
  if (!JobReleased) ClearJobForInput();
  JobReleased = false;
  ResetStartupSettings();
  ResetFamilySettings();
}

// The layer the last tape import was read into, selected by
// SelectInputLayer; -1 before the first.
int LayerSelected = -1;

// Selects the layer a tape import reads into, as a user would before the
// import. An input after one read into the same layer finds it selected
// already: only its number went back to 0 with the start-up settings'
// reset (FreshJob), the mode, the layer masks (all set by every cleared
// job) and the command stayed. Selecting it again would draw the origin
// mark over and restart the mode's command, for every input. True when the
// layer was selected already.
bool SelectInputLayer(uint8_t layer) {
  if (LayerSelected == layer && EditorMode == ModeOfLayer(layer)) {
    CurrentLayer = layer;
    return true;
  }
  SelectLayer(layer);
  LayerSelected = layer;
  return false;
}

void KeepMessages() {
  BackToStartFolder();
  for (const TMessageBoxRecord& box : ShownMessageBoxes()) Messages.push_back(box.Text);
  if (std::getenv("KORVEX_FUZZ_VERBOSE") != nullptr) {
    std::fprintf(stderr, "forms:");
    for (const std::string& f : ModalFormsShown()) std::fprintf(stderr, " %s", f.c_str());
    std::fprintf(stderr, "; drill %d rout %d cad %d\n", DrillEntityCount, RoutEntityCount, CadEntityCount);
  }
  // A dialog the harness did not answer is a gap of the harness, not of the
  // reader: the modal scripts are dropped for the next input.
  ResetModalScripts();
}

// The runs below catch what the headless backend throws for a question it
// has no answer for; everything else is left to the sanitizers.
template <typename F>
void Guarded(F run) {
  Messages.clear();
  try {
    run();
    CountWork(InputWork());
  } catch (const EUnscriptedDialog& e) {
    Messages.push_back(std::string("(unanswered) ") + e.what());
  } catch (const EUnscriptedModalForm& e) {
    Messages.push_back(std::string("(unanswered) ") + e.what());
  }
  KeepMessages();
}

// ---- The tape reader on its own: a consumer that counts ----------------------------------

class TCountingReader : public TNCReader {
 public:
  TCountingReader(const std::string& file, const TTapeInput& in)
      : TNCReader(file, "", ExecutionPath() + "SCRATCH\\", 1, (in.Options[2] & 1) == 0,
                  in.Scripted ? (in.Options[1] & 15) : 2, in.Scripted ? (in.Options[1] >> 4) : 4,
                  (in.Options[2] & 2) != 0, false, (in.Options[0] & 1) != 0,
                  1 + in.Options[3] % 8, false, false) {}
  // Past the limit of a long reading the reading is cancelled.
  void Poll(bool& abort) override {
    if (!GlobalRec) return;
    ++Polls;
    CountWork(GlobalRec->TapeEmits);
    if (WorkLimit > 0 && Work > WorkLimit) abort = true;
  }
  void Hit(int32_t, int32_t, int32_t, int32_t, int32_t, uint8_t) override { ++Hits; }
  void Error(std::string text) override { Messages.push_back(std::move(text)); }
  void Done() override { Finish(); }
  int64_t Hits = 0;
};

void RunNcReader(const uint8_t* data, std::size_t size) {
  FreshJob();
  const TTapeInput in = SplitOptions(data, size);
  const std::string file = InputFile("FUZZ.DRL", in.Tape, in.Size);
  Guarded([&] {
    TCountingReader reader(file, in);
    bool failed = false;
    reader.Run(failed);
    reader.Done();
  });
}

void RunDrillImport(const uint8_t* data, std::size_t size) {
  FreshJob();
  const TTapeInput in = SplitOptions(data, size);
  const std::string file = InputFile("FUZZ.DRL", in.Tape, in.Size);
  const bool wasSelected = SelectInputLayer(30);
  ScriptFormatDialog("TDrillInputFormatDialog", in);
  Guarded([&] {
    const bool kept = ImportDrillTape(file, 0);
    if (std::getenv("KORVEX_FUZZ_VERBOSE") != nullptr) std::fprintf(stderr, "kept %d count %d layer %d\n", kept, DrillEntityCount, CurrentLayer);
  });
  CommandLeftFresh = wasSelected;
}

void RunRoutImport(const uint8_t* data, std::size_t size) {
  FreshJob();
  const TTapeInput in = SplitOptions(data, size);
  const std::string file = InputFile("FUZZ.ROU", in.Tape, in.Size);
  const bool wasSelected = SelectInputLayer(40);
  ScriptFormatDialog("TRoutInputFormatDialog", in);
  // Without options the tape is read again in the rout output format, as a
  // re-import does.
  Guarded([&] { ImportRoutTape(file, 0, !in.Scripted); });
  CommandLeftFresh = wasSelected;
}

void RunCadImport(const uint8_t* data, std::size_t size) {
  FreshJob();
  const TTapeInput in = SplitOptions(data, size);
  const std::string file = InputFile("FUZZ.DRL", in.Tape, in.Size);
  const bool wasSelected = SelectInputLayer(0);
  ScriptFormatDialog("TCadInputFormatDialog", in);
  Guarded([&] { ImportExcellonToCad(file); });
  CommandLeftFresh = wasSelected;
}

void RunJobFile(const uint8_t* data, std::size_t size) {
  FreshJob();
  const std::string file = InputFile("FUZZ.ZUL", data, size);
  Guarded([&] { OpenJobFile(file); });
}

// ---- Swap filters and their BASIC ---------------------------------------------------------

void RunSwapBasic(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Messages.clear();
  TVarArray vars;
  vars[0] = "X0125Y-0300";
  bool stopped = false;
  EvaluateExpression(Tokenize(text), vars);
  TStatementList statements;
  std::vector<std::string> problems;
  CompileStatementList("/" + text, statements, problems);
  for (const TTokenizedBasic& s : statements) {
    if (stopped) break;
    RunStatement(s.Text, vars, stopped);
  }
}

void RunSwapFilter(const uint8_t* data, std::size_t size) {
  StartProgram();
  Messages.clear();
  // The first line (up to the first LF) is the tape, the rest the rule file.
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::size_t lf = all.find('\n');
  const std::string tape = lf == std::string::npos ? std::string("X01Y02\r\nT1") : all.substr(0, lf);
  const std::string rules = lf == std::string::npos ? all : all.substr(lf + 1);
  const std::string file = NativePath(InputFile("FUZZ.SWP", reinterpret_cast<const uint8_t*>(rules.data()),
                                                rules.size()));
  for (bool output : {false, true}) {
    TSwapFilter filter;
    LoadSwapFiles(filter, file, {}, output, [](const std::string& m) { Messages.push_back(m); });
    ApplySwapFilter(filter, tape);
  }
}

// ---- Settings from the registry file ----------------------------------------------------------

void RunFilterLists(const uint8_t* data, std::size_t size) {
  StartProgram();
  Messages.clear();
  const std::string text(reinterpret_cast<const char*>(data), size);
  TRegistryStore& store = TRegistryStore::Instance();
  TRegKey root;
  if (!RegistryFromText(text, root)) return;
  store.Clear();
  RegistryFromText(text, store.Root());
  LoadFilterSettings();
  FilterListCount(ImportFilters);
  FilterListCount(ExportFilters);
  ResetHeadlessDialogs();
  QueueModalScript("TPickFilterDialog", [](TForm& f) { f.Click("OKButton"); });
  uint8_t index = 0;
  Guarded([&] { PickFilter(index, true); });
  store.Clear();
}

void RunRegistryFile(const uint8_t* data, std::size_t size) {
  StartProgram();
  Messages.clear();
  const std::string text(reinterpret_cast<const char*>(data), size);
  TRegKey root;
  std::string error;
  if (RegistryFromText(text, root, &error)) {
    // What was read is written and read back the same.
    TRegKey again;
    if (!RegistryFromText(RegistryToText(root), again) || RegistryToText(again) != RegistryToText(root))
      std::abort();
  } else {
    Messages.push_back(error);
  }
  const std::string file = NativePath(InputFile("FUZZ.REG", data, size));
  TRegistryStore store;
  store.LoadFromFile(file, &error);
}

// ---- The CAD imports of File > Import ----------------------------------------------------------

// Every dialog an import may raise is answered with OK; the layer dialog of
// ODB++ takes the whole first step.
void AnswerImportDialogs() {
  for (const char* form : {"TDrawingUnits", "TForceFormatDialog", "TGerberDrillDialog"})
    RegisterModalScript(form, [](TForm& f) { f.Click("OKButton"); });
  RegisterModalScript("TValorLayerDialog", [](TForm& f) {
    f.Click("Step1");
    f.Click("OKButton");
  });
}

// Runs one import of a file holding the input, on a fresh job, with the
// layer selected.
void RunFileImport(const char* name, const uint8_t* data, std::size_t size, void (*import)(const std::string&),
                   uint8_t layer = 0) {
  FreshJob();
  AnswerImportDialogs();
  const std::string file = InputFile(name, data, size);
  SelectLayer(layer);
  Guarded([&] { import(file); });
}

// Imports on both sides: the side whose kind of layer is selected first, so
// that an input changes the mode once (each side starts from a fresh job
// with its own layer selected, in either order).
void RunBothSides(const char* name, const uint8_t* data, std::size_t size, void (*cad)(const std::string&),
                  void (*drill)(const std::string&)) {
  const bool drillFirst = CurrentLayer == 30;
  RunFileImport(name, data, size, drillFirst ? drill : cad, drillFirst ? 30 : 0);
  RunFileImport(name, data, size, drillFirst ? cad : drill, drillFirst ? 0 : 30);
}

void RunDxf(const uint8_t* data, std::size_t size) {
  RunBothSides(
      "FUZZ.DXF", data, size,
      [](const std::string& f) {
        DetectDxf(f);
        ImportDxfToCad(f);
      },
      [](const std::string& f) { ImportDxfToDrill(f); });
}

// Gerber: the detection, then the file read into the CAD drawing and into
// the drill layers, as File > Import does on either side.
void RunGerber(const uint8_t* data, std::size_t size) {
  RunBothSides(
      "FUZZ.GBR", data, size,
      [](const std::string& f) {
        TGerberReader quiet(f, TGerberReader::TQuiet{});
        DetectGerber(quiet);
        ImportGerberToCad(f);
      },
      [](const std::string& f) { ImportGerberToDrill(f); });
}

void RunHpgl(const uint8_t* data, std::size_t size) {
  RunFileImport("FUZZ.HPG", data, size, [](const std::string& f) {
    DetectHpgl(f);
    ImportHpglToCad(f);
  });
}

void RunIpc(const uint8_t* data, std::size_t size) {
  RunFileImport("FUZZ.IPC", data, size, [](const std::string& f) {
    DetectIpcFile(f);
    ImportIpcFile(f);
  });
}

void RunEsi(const uint8_t* data, std::size_t size) {
  RunBothSides(
      "FUZZ.ESI", data, size,
      [](const std::string& f) {
        DetectEsi(f);
        ImportEsiToCad(f);
      },
      [](const std::string& f) { ImportEsiToDrill(f); });
}

void RunIgiPost(const uint8_t* data, std::size_t size) {
  RunFileImport("FUZZ.IGI", data, size, [](const std::string& f) {
    DetectIgiPost(f);
    ImportIgiPostToCad(f);
  });
}

void RunGcadd(const uint8_t* data, std::size_t size) {
  RunFileImport("FUZZ.GCD", data, size, [](const std::string& f) {
    DetectGcadd(f);
    ImportGcaddToCad(f);
  });
}

// The format guesses made for a file picked without a format: every
// detector of the CAD and the drill imports.
void RunDetect(const uint8_t* data, std::size_t size) {
  RunFileImport("FUZZ.DAT", data, size, [](const std::string& f) {
    DetectFileFormat(f);
    uint8_t format = 0;
    DetectImportFormat(f, format);
  });
}

// ---- ODB++: a job tree made from the input ------------------------------------------------------

// The input is cut at lines "#>" into the files of a small job, in this
// order: the top layer's features, the drill layer's features, the rout
// layer's features, the drill layer's tools, the step's profile (a square
// when not given) and the matrix (the fixed one below when not given); the
// step header is always the same. A part starting with the
// compress magic bytes is written as the compressed copy (".Z").
const char* const kOdbMatrix =
    "STEP {\n COL=1\n NAME=PANEL\n}\n"
    "LAYER {\n ROW=1\n CONTEXT=BOARD\n TYPE=SIGNAL\n NAME=TOP\n POLARITY=POSITIVE\n}\n"
    "LAYER {\n ROW=2\n CONTEXT=BOARD\n TYPE=DRILL\n NAME=DRILL\n POLARITY=POSITIVE\n}\n"
    "LAYER {\n ROW=3\n CONTEXT=BOARD\n TYPE=ROUT\n NAME=ROUT\n POLARITY=POSITIVE\n}\n";

void RunOdb(const uint8_t* data, std::size_t size) {
  FreshJob();
  AnswerImportDialogs();
  namespace fs = std::filesystem;
  const fs::path job = fs::path(Home()) / "odbjob";
  std::error_code ec;
  fs::remove_all(job, ec);
  const std::string all(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t cut = all.find("\n#>\n", from);
    parts.push_back(all.substr(from, cut == std::string::npos ? std::string::npos : cut - from));
    if (cut == std::string::npos || parts.size() == 6) break;
    from = cut + 4;
  }
  if (parts.size() < 6) parts.resize(6);
  if (parts[4].empty()) parts[4] = "S P 0\nOB 0 0 I\nOS 2 0\nOS 2 1\nOS 0 1\nOS 0 0\nOE\nSE\n";
  if (parts[5].empty()) parts[5] = kOdbMatrix;
  const char* const names[] = {"steps/panel/layers/top/features", "steps/panel/layers/drill/features",
                               "steps/panel/layers/rout/features", "steps/panel/layers/drill/tools",
                               "steps/panel/profile", "matrix/matrix"};
  for (std::size_t i = 0; i < 6; ++i) {
    if (parts[i].empty()) continue;
    fs::path file = job / names[i];
    if (parts[i].size() >= 2 && uint8_t(parts[i][0]) == 0x1F && uint8_t(parts[i][1]) == 0x9D)
      file += ".Z";
    fs::create_directories(file.parent_path(), ec);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(parts[i].data(), std::streamsize(parts[i].size()));
  }
  {
    std::ofstream header(job / "steps" / "panel" / "stephdr", std::ios::binary | std::ios::trunc);
    header << "X_DATUM=0\nY_DATUM=0\n";
  }
  SelectLayer(0);
  Guarded([&] { ImportValorJob((job / "matrix" / "matrix").string()); });
}

// ---- ODB++: a whole job tree, step headers included ---------------------------------------------

// The input is cut at lines "#>" into files: the first part is the panel
// step's header; each later part begins with a line naming its file in the
// job tree (a relative path of letters, digits, "_", "-" and "." between
// "/", no ".." part), the rest being the file. A file starting with the
// compress magic bytes is written as its compressed copy (".Z"). What is not
// given: the matrix below (steps PANEL and PCB, layers TOP, DRILL and ROUT)
// and a square profile for each step. Every layer of every step is chosen.
const char* const kOdbTreeMatrix =
    "STEP {\n COL=1\n NAME=PANEL\n}\nSTEP {\n COL=2\n NAME=PCB\n}\n"
    "LAYER {\n ROW=1\n CONTEXT=BOARD\n TYPE=SIGNAL\n NAME=TOP\n POLARITY=POSITIVE\n}\n"
    "LAYER {\n ROW=2\n CONTEXT=BOARD\n TYPE=DRILL\n NAME=DRILL\n POLARITY=POSITIVE\n}\n"
    "LAYER {\n ROW=3\n CONTEXT=BOARD\n TYPE=ROUT\n NAME=ROUT\n POLARITY=POSITIVE\n}\n";

// A path the input may name: inside the job folder, at most eight parts.
bool JobTreePath(const std::string& path) {
  if (path.empty() || path.size() > 200 || path.front() == '/' || path.back() == '/') return false;
  int parts = 1;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') {
      const char c = path[i];
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.') return false;
      continue;
    }
    const std::string part = path.substr(start, i - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (i < path.size()) ++parts;
    start = i + 1;
  }
  return parts <= 8;
}

void RunOdbTree(const uint8_t* data, std::size_t size) {
  FreshJob();
  AnswerImportDialogs();
  RegisterModalScript("TValorLayerDialog", [](TForm& f) {
    for (int s = 1; s <= 32; ++s)
      if (const std::string number = "Step" + std::to_string(s); f.FindControl(number) != nullptr) f.Click(number);
    f.Click("OKButton");
  });
  namespace fs = std::filesystem;
  const fs::path job = fs::path(Home()) / "odbtree";
  std::error_code ec;
  fs::remove_all(job, ec);
  const std::string all(reinterpret_cast<const char*>(data), size);
  std::map<std::string, std::string> files = {{"matrix/matrix", kOdbTreeMatrix},
                                              {"steps/panel/profile", "OB 0 0 I\nOS 4 0\nOS 4 2\nOS 0 2\nOE\n"},
                                              {"steps/pcb/profile", "OB 0 0 I\nOS 1 0\nOS 1 1\nOS 0 1\nOE\n"}};
  std::size_t from = 0;
  for (bool first = true; files.size() < 64; first = false) {
    const std::size_t cut = all.find("\n#>\n", from);
    const std::string part = all.substr(from, cut == std::string::npos ? std::string::npos : cut - from);
    if (first) {
      files["steps/panel/stephdr"] = part;
    } else {
      const std::size_t end = part.find('\n');
      const std::string path = part.substr(0, end);
      if (JobTreePath(path)) files[path] = end == std::string::npos ? std::string() : part.substr(end + 1);
    }
    if (cut == std::string::npos) break;
    from = cut + 4;
  }
  for (const auto& [path, text] : files) {
    fs::path file = job / path;
    if (text.size() >= 2 && uint8_t(text[0]) == 0x1F && uint8_t(text[1]) == 0x9D) file += ".Z";
    fs::create_directories(file.parent_path(), ec);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), std::streamsize(text.size()));
  }
  SelectLayer(0);
  Guarded([&] { ImportValorJob((job / "matrix" / "matrix").string()); });
}

// ---- The .Z decompressor on its own ----------------------------------------------------------------

void RunLzw(const uint8_t* data, std::size_t size) {
  StartProgram();
  Messages.clear();
  const std::string in = NativePath(InputFile("FUZZ.Z", data, size));
  const std::string out = NativePath(ExecutionPath() + "INDATA\\FUZZ.OUT");
  TDecompressor decompressor;
  std::string message;
  if (!Decompress(decompressor, in, out, 255, message)) Messages.push_back(message);
  std::error_code ec;
  std::filesystem::remove(out, ec);
}

// ---- The text editor's file load -------------------------------------------------------------------

void RunEditorFile(const uint8_t* data, std::size_t size) {
  FreshJob();
  const std::string file = NativePath(InputFile("FUZZ.TXT", data, size));
  QueueModalScript("TQuillexForm", [](TForm& f) {
    auto& w = static_cast<TQuillexForm&>(f);
    w.Editor->SetModified(false);
    f.Close();
  });
  Guarded([&] { RunTextEditor(file, 3); });
}

// ---- Small files of the program's home ---------------------------------------------------------------

void RunPlotSpec(const uint8_t* data, std::size_t size) {
  Messages.clear();
  TPaperTable papers;
  ReadPaperSpecs(std::string(reinterpret_cast<const char*>(data), size), papers);
}

// Drill tool table, rout tool page and feed/speed table files, loaded as
// the menu items do once the file is chosen.
void RunToolTables(const uint8_t* data, std::size_t size) {
  FreshJob();
  const std::string file = NativePath(InputFile("FUZZ.TLS", data, size));
  Guarded([&] {
    ReadDrillToolTableFile(file);
    LoadRoutToolPage(file, 40);
    // The feed/speed table is looked up for every tool with a size.
    ToolTable.Fill(TToolRecord{});
    ToolTable[1].Diameter = 254000;
    ToolTable[2].Diameter = 889000;
    ToolTable[7].Diameter = 3175000;
    LoadFeedSpeedTableFile(file);
  });
}

void RunErrorLog(const uint8_t* data, std::size_t size) {
  StartProgram();
  Messages.clear();
  const std::string file = NativePath(InputFile("FUZZ.LOG", data, size));
  for (int32_t want : {1, 2, 1000000}) {
    int32_t entry = want, newest = 0;
    std::vector<std::string> lines;
    ReadLogEntry(file, entry, lines, newest);
  }
}

// Every settings family read from a registry file of the input.
void RunSettings(const uint8_t* data, std::size_t size) {
  FreshJob();
  const std::string text(reinterpret_cast<const char*>(data), size);
  TRegistryStore& store = TRegistryStore::Instance();
  TRegKey root;
  if (!RegistryFromText(text, root)) return;
  store.Clear();
  RegistryFromText(text, store.Root());
  Guarded([&] {
    LoadAllSettings();
    TMakeTapeDefaults makeTape;
    LoadMakeTapeDefaults(makeTape);
    TFirstLastHitDefaults firstLast;
    LoadFirstLastHitDefaults(firstLast);
    TSlotAlgorithmSettings slots;
    LoadSlotAlgorithmSettings(slots);
    TDrilledSlotSettings drilledSlots;
    LoadDrilledSlotSettings(drilledSlots);
    int32_t radius = 0;
    LoadDrilledCircleSettings(radius);
    LoadPlotDefaults();
    uint8_t scale = 0, orientation = 0;
    LoadPrintDefaults(scale, orientation);
    bool b1 = false, b2 = false, b3 = false, b4 = false;
    int32_t t1 = 0, t2 = 0, t3 = 0;
    LoadAutoCleanupDefaults(b1, b2, b3, b4, t1, t2, t3);
    LoadGerberImportDefaults();
    LoadDefaultRoutToolPage();
    TAutoTabSettings tabs;
    LoadAutoTabSettings(tabs);
    for (bool output : {false, true}) {
      TDrillFormatRecord drill;
      LoadDrillFormatDefaults(drill, output);
      TCadFormatRecord cad;
      LoadCadFormatDefaults(cad, output);
    }
    for (int selector : {RoutFormatOutput, RoutFormatInput, RoutFormatTextEdit}) {
      TRoutFormatRecord rout;
      LoadRoutFormatDefaults(rout, selector);
    }
    TAutoStepRepeatSettings stepRepeat;
    LoadAutoStepRepeatSettings(stepRepeat);
    uint8_t compensation = 0;
    LoadAutoRoutCompensation(compensation);
    TAutoRoutSettings autoRout;
    LoadAutoRoutSettings(autoRout);
    LoadLastDirectories();
    LoadFilterSettings();
    bool dusting = false;
    LoadFullPanelAutoRout(dusting);
    TFullPanelInlineRout inlineRout;
    LoadFullPanelInlineRout(inlineRout);
    LoadDncSettings();
    LoadTableParameters();
  });
  store.Clear();
  ResetStartupSettings();
  ResetFamilySettings();
}

struct TNamedEntry {
  const char* Name;
  TFuzzEntry Entry;
};

const TNamedEntry kEntries[] = {
    {"nc_reader", RunNcReader},         {"drill_import", RunDrillImport},
    {"rout_import", RunRoutImport},     {"cad_import", RunCadImport},
    {"gerber", RunGerber},              {"job_file", RunJobFile},
    {"swap_basic", RunSwapBasic},       {"swap_filter", RunSwapFilter},
    {"filter_lists", RunFilterLists},   {"registry_file", RunRegistryFile},
    {"dxf", RunDxf},                    {"odb", RunOdb},
    {"odb_tree", RunOdbTree},
    {"lzw", RunLzw},                    {"hpgl", RunHpgl},
    {"ipc", RunIpc},                    {"esi", RunEsi},
    {"igi_post", RunIgiPost},           {"gcadd", RunGcadd},
    {"detect", RunDetect},              {"editor_file", RunEditorFile},
    {"plot_spec", RunPlotSpec},         {"tool_tables", RunToolTables},
    {"error_log", RunErrorLog},         {"settings", RunSettings},
};

}  // namespace

const std::vector<std::string>& FuzzTargetNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const TNamedEntry& e : kEntries) out.push_back(e.Name);
    return out;
  }();
  return names;
}

TFuzzEntry FindFuzzEntry(const std::string& name) {
  for (const TNamedEntry& e : kEntries)
    if (name == e.Name) return e.Entry;
  return nullptr;
}

const std::vector<std::string>& LastFuzzMessages() { return Messages; }

void ReleaseFuzzInput() {
  // The job too: what the input put in it goes now, not with the next input.
  if (RTDB != nullptr) ClearJobForInput();
  ForgetInput();
  JobReleased = RTDB != nullptr;
  PeakWork = 0;
}

void SetFuzzWorkLimit(int64_t limit) { WorkLimit = limit; }

int64_t LastFuzzWork() { return PeakWork; }

void RemoveEndedFuzzHomes(const std::string& folder) {
  const std::string prefix = "korvex_fuzz_";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    const std::size_t end = name.find('_', prefix.size());
    if (end == std::string::npos || end == prefix.size() || end - prefix.size() > 9) continue;
    const std::string pid = name.substr(prefix.size(), end - prefix.size());
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    // A process that runs (or that this one may not signal) keeps its home.
    if (::kill(::pid_t(std::stol(pid)), 0) == 0 || errno != ESRCH) continue;
    std::error_code removeError;
    std::filesystem::remove_all(entry.path(), removeError);
  }
}
