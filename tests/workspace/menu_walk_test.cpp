// A walk of every item of the three mode menus in a program started with
// nothing set by hand and a small job of CAD, drill and rout data opened
// through File > Open. Every question gets its default answer: Escape for
// a command that waits for the mouse, Cancel where a dialog offers it. The
// items that make a file (export, plot, tape, save) are answered with OK and
// a fresh file name instead, and the program's own reader reads the file
// back. Each item must end without an exception and leave a job that saves
// and reads back.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "import/import_frame.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/job_file_reader.h"
#include "model/job_file_writer.h"
#include "model/tool_tables.h"
#include "platform/common_dialogs.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/headless/headless_printer.h"
#include "platform/keys.h"
#include "platform/message_box.h"
#include "tapein/drill_import_command.h"
#include "tapeout/make_drill_tape.h"
#include "workspace/job_file.h"
#include "workspace_test_support.h"
#include "../support/entity_counts.h"

namespace {

namespace fs = std::filesystem;

const char* const Artwork =
    "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nG54D10*\nX10000Y10000D02*\nX20000Y10000D01*\n"
    "X20000Y20000D01*\nX15000Y15000D03*\nM02*\n";
// Holes whose coordinates use enough digits for the tape detector.
const char* const DrillTape = "M48\nINCH,LZ\nT01C0.030\nT02C0.062\n%\nT01\nX012340Y015670\n"
                              "X023450Y018900\nT02\nX016780Y029010\nM30\n";
const char* const RoutTape = "M48\nINCH,LZ\nT01C0.125\n%\nG90\nT01\nG00X010000Y010000\nM15\n"
                             "G01X050000Y010000\nG01X050000Y030000\nM16\nM30\n";

// The items that make a file: answered with OK and a fresh name, and the
// file read back.
const std::set<std::string> FileItems = {"Plot1",           "Save1",        "SaveAs1",
                                         "Export1",         "Export2",      "MakeDrillTape1",
                                         "MakeRoutTape1",   "MakeESILaserFile1", "SaveToolTable1"};

// Default answers to every dialog, box and wait of the program.
class TDefaultAnswers : public TFormsBackend, public TMessageBoxBackend, public TCommonDialogBackend {
 public:
  bool Accept = false;         // OK and a fresh file name instead of Cancel
  fs::path SaveFolder;         // where the fresh names go
  std::deque<std::string> OpenAnswers;  // files for the next open dialogs
  std::vector<std::string> Asked;       // what was asked during the item
  int Saves = 0;
  int Beeps = 0;
  // Answers of their own for some forms, by class name.
  std::map<std::string, std::function<void(TForm&)>> Scripts;

  // --- modal forms ---
  void RunModal(TForm& form) override {
    Asked.push_back("form " + form.ClassName());
    if (auto script = Scripts.find(form.ClassName()); script != Scripts.end()) {
      script->second(form);
      if (form.ModalEnded()) return;
    }
    if (Accept && form.ClassName() == "TValorLayerDialog")
      for (int step = 1; form.Find<TControl>("Step" + std::to_string(step)); ++step)
        form.Click("Step" + std::to_string(step));  // every layer of every step
    // A tape's results window would wait for its OK.
    if (auto* messages = form.Find<TCheckBox>("ShowMessagesCheckBox")) messages->SetChecked(false);
    TButton* ok = form.DefaultButton();
    if (ok == nullptr) ok = form.Find<TButton>("OKButton");
    TButton* cancel = form.CancelButton();
    if (cancel == nullptr) cancel = form.Find<TButton>("CancelButton");
    if (Accept && ok != nullptr && ok->Enabled()) ok->Click();
    if (!form.ModalEnded() && cancel != nullptr && cancel->Enabled()) cancel->Click();
    if (!form.ModalEnded() && ok != nullptr && ok->Enabled()) ok->Click();
    if (!form.ModalEnded()) form.Close();
    if (!form.ModalEnded())
      throw std::runtime_error("the modal form " + form.ClassName() + " cannot be closed");
  }
  void EndModal(TForm& form) override { HeadlessFormsBackend().EndModal(form); }
  void ShowForm(TForm& form) override { HeadlessFormsBackend().ShowForm(form); }
  void HideForm(TForm& form) override { HeadlessFormsBackend().HideForm(form); }
  void BringFormToFront(TForm& form) override { HeadlessFormsBackend().BringFormToFront(form); }
  TPoint TextExtent(const std::string& text) override { return HeadlessFormsBackend().TextExtent(text); }
  bool LaysOutShownForms() const override { return HeadlessFormsBackend().LaysOutShownForms(); }

  // --- message and input boxes ---
  TModalResult ShowMessageBox(const TMessageBoxRequest& request) override {
    Asked.push_back("box " + request.Text);
    std::vector<TModalResult> offered;
    for (TMsgDlgBtn b : request.Buttons.List()) offered.push_back(ButtonModalResult(b));
    const std::vector<TModalResult> order = Accept ? std::vector<TModalResult>{mrOk, mrYes, mrCancel, mrNo}
                                                   : std::vector<TModalResult>{mrCancel, mrNo, mrOk, mrIgnore};
    for (TModalResult r : order)
      for (TModalResult o : offered)
        if (o == r) return r;
    return offered.empty() ? mrOk : offered.front();
  }
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string&) override {
    Asked.push_back("input " + caption + ": " + prompt);
    return Accept;
  }
  void Beep(uint32_t) override { ++Beeps; }

  // --- file and font dialogs ---
  bool ExecuteFileDialog(TOpenDialog& dialog) override {
    Asked.push_back("file " + dialog.Title);
    if (dialog.Kind() != TFileDialogKind::Save) {
      if (OpenAnswers.empty()) return false;
      dialog.FileName = OpenAnswers.front();
      OpenAnswers.pop_front();
      return true;
    }
    if (!Accept) return false;
    std::string base = fs::path(dialog.FileName).filename().string();
    if (base.empty() || base.find('*') != std::string::npos) base = "OUT";
    dialog.FileName = (SaveFolder / (std::to_string(++Saves) + "_" + base)).string();
    return true;
  }
  bool ExecuteFontDialog(TFontDialog&) override { return false; }
};

class TMenuWalkTest : public TWorkspaceTest {
 protected:
  void TearDown() override {
    HeadlessSetProcessMessagesHook(nullptr);
    SetFormsBackend(nullptr);
    SetMessageBoxBackend(nullptr);
    SetCommonDialogBackend(nullptr);
    TWorkspaceTest::TearDown();
  }
  // Live entities of the three databases.
  static std::array<int32_t, 3> Counts() {
    std::array<int32_t, 3> n{};
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      const uint32_t flags = DB->SlotAt(i)->Flags;
      if (flags != 0 && !SlotDeleted(flags)) ++n[0];
    }
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      const uint32_t word = DRDB->WordAt(i);
      if (word != 0 && !SlotDeleted(word)) ++n[1];
    }
    for (int32_t i = 1; i <= RoutEntityCount; ++i) {
      TEntitySlot* slot = RoutEntities->GetSlot(i);
      if (slot != nullptr && slot->Flags != 0 && !SlotDeleted(slot->Flags)) ++n[2];
    }
    return n;
  }
  static int32_t Total() {
    const auto n = Counts();
    return n[0] + n[1] + n[2];
  }
  // The job of the walk, made through the imports and saved with Save As.
  std::string MakeJob(TWorkspace& form) {
    ScriptFileDialogAnswer(Input("ART.GBR", Artwork));
    QueueModalScript("TForceFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    QueueModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emCad, "Import1");
    SelectLayer(30);
    ImportExcellonTape(form, Input("HOLES.DRL", DrillTape));
    SelectLayer(40);
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    ScriptFileDialogAnswer(Input("PATH.RT", RoutTape));
    Run(form, emRout, "OpenRoutTape1");
    const std::string job = (TempDir / "WALK.ZUL").string();
    ScriptFileDialogAnswer(job);
    Run(form, emCad, "SaveAs1");
    EXPECT_EQ(PendingCommonDialogAnswers(), 0u);
    EXPECT_EQ(PendingMessageBoxAnswers(), 0u);
    return job;
  }
  // Files (and folders) directly in the folder.
  static std::set<fs::path> Entries(const fs::path& folder) {
    std::set<fs::path> out;
    for (const auto& e : fs::directory_iterator(folder)) out.insert(e.path());
    return out;
  }
  // The job in memory saves and the saved file reads back.
  bool JobReadable(std::string& why) {
    const std::string scratch = (TempDir / "CHECK.ZUL").string();
    const int error = WriteJobFile(scratch);
    if (error != 0) {
      why = "the job cannot be saved (error " + std::to_string(error) + ")";
      return false;
    }
    TJobContents contents;
    if (!ReadJobFile(scratch, contents)) {
      why = "the saved job does not read back";
      return false;
    }
    return true;
  }
  // The program's own reader reads a file an item made: a job file as a
  // job, a tool table through Load Tool Table, a rout tape through Open Rout
  // Tape on an empty rout layer, anything else through the CAD import of its
  // detected format.
  void ReadBack(TWorkspace& form, const std::string& item, const fs::path& made) {
    SCOPED_TRACE(made.string());
    if (made.extension() == ".ZUL") {
      TJobContents contents;
      EXPECT_TRUE(ReadJobFile(made.string(), contents));
      return;
    }
    if (item == "SaveToolTable1" || item == "MakeRoutTape1") {
      const auto tools = ToolTable;
      const int32_t before = Total();
      if (item == "MakeRoutTape1") SelectLayer(41);
      Answers.Asked.clear();
      Answers.OpenAnswers.push_back(made.string());
      Answers.Accept = true;
      Run(form, item == "MakeRoutTape1" ? emRout : emDrill,
          item == "MakeRoutTape1" ? "OpenRoutTape1" : "LoadToolTable1");
      Answers.Accept = false;
      EXPECT_TRUE(Answers.OpenAnswers.empty());
      for (const std::string& a : Answers.Asked) EXPECT_EQ(a.rfind("box ", 0), std::string::npos) << a;
      if (item == "MakeRoutTape1") EXPECT_GT(Total(), before) << "the tape reads back empty";
      else
        for (int32_t t = 1; t <= kToolCount; ++t) EXPECT_EQ(ToolTable[t].Diameter, tools[t].Diameter) << t;
      return;
    }
    const fs::path file = fs::is_directory(made) ? made / "matrix" / "matrix" : made;
    const uint8_t format = DetectFileFormat(file.string());
    ASSERT_NE(format, 0) << "no reader recognises the file";
    const int32_t before = Total();
    Answers.Accept = true;
    RunImportEntry(format, file.string());
    Answers.Accept = false;
    EXPECT_GT(Total(), before) << "the file reads back empty";
  }

  // Chooses every usable item of the three mode menus while the input
  // `what` waits; gives the names of those that ran. An item that waits
  // beeps, says so in the hint strip and asks nothing.
  std::set<std::string> ChooseEveryItem(TWorkspace& form, const std::string& what) {
    const std::string says = "The menus wait until the " + what + " ends: press Esc to stop it.";
    std::set<std::string> ran;
    for (uint8_t mode : {emCad, emDrill, emRout}) {
      std::vector<TMenuItem*> leaves;
      CollectLeaves(form.ModeMenu(mode).Items(), leaves);
      for (TMenuItem* item : leaves) {
        SCOPED_TRACE(std::to_string(mode) + " " + item->Name());
        for (TMenuItem* p = item->Parent(); p != nullptr && p->Parent() != nullptr; p = p->Parent()) p->DropDown();
        if (!item->IsUsable()) continue;
        SetApplicationHint("");
        Answers.Asked.clear();
        const int beeps = Answers.Beeps;
        HeadlessPrinter().Reset();
        for (int i = 0; i < 3; ++i) HeadlessPrinter().QueueDialogAnswer({false});
        try {
          item->Click();
        } catch (const std::exception& e) {
          ADD_FAILURE() << "threw: " << e.what();
        }
        if (Answers.Beeps == beeps) {
          ran.insert(item->Name());
        } else {
          EXPECT_EQ(Answers.Beeps, beeps + 1);
          EXPECT_EQ(form.HintPanel.Caption(), says);
          EXPECT_TRUE(Answers.Asked.empty()) << Answers.Asked.front();
        }
      }
    }
    return ran;
  }

  TDefaultAnswers Answers;
};

TEST_F(TMenuWalkTest, EveryItemOfTheModeMenusEndsCleanlyOnAJobOpenedInAFreshProgram) {
  TWorkspace& form = StartProgram();
  const std::string job = MakeJob(form);
  ASSERT_TRUE(fs::exists(job));

  // From here on every question gets its default answer.
  Answers.SaveFolder = TempDir / "made";
  fs::create_directories(Answers.SaveFolder);
  SetFormsBackend(&Answers);
  SetMessageBoxBackend(&Answers);
  SetCommonDialogBackend(&Answers);
  // Waits end as a user ends them: a command that waits for the mouse with
  // Escape, a plot's page placed at a click. An item that waits on and on
  // fails.
  int64_t waits = 0;
  bool stuck = false;
  HeadlessSetProcessMessagesHook([&] {
    if (++waits > 20000) {
      stuck = true;
      throw std::runtime_error("the item keeps waiting");
    }
    if (MyScreen == nullptr || MyScreen->Activity == acIdle || MyScreen->Activity == acModal) return;
    const int x = form.PaintBox.Width() / 2, y = form.PaintBox.Height() / 2;
    if (MyScreen->Activity == acPrintPlacement && Answers.Accept) {
      Click(form, x, y);
      return;
    }
    // Tooling hits: none marked, the right button says done.
    if (MyScreen->Activity == acWindowMarking && Answers.Accept) {
      form.PaintBox.MouseDown(mbRight, 0, x, y);
      form.PaintBox.MouseUp(mbRight, 0, x, y);
      return;
    }
    form.KeyDown(VK_ESCAPE);
  });

  // File > Open of the saved job in a fresh program.
  Run(form, emCad, "New1");
  ASSERT_EQ(Total(), 0);
  Answers.OpenAnswers.push_back(job);
  Run(form, emCad, "Open1");
  const std::array<int32_t, 3> counts = Counts();
  ASSERT_GT(counts[0], 0);
  ASSERT_GT(counts[1], 0);
  ASSERT_GT(counts[2], 0);

  const std::pair<uint8_t, int32_t> modes[] = {{emCad, 0}, {emDrill, 30}, {emRout, 40}};
  int walked = 0;
  for (const auto& [mode, layer] : modes) {
    std::vector<TMenuItem*> leaves;
    CollectLeaves(form.ModeMenu(mode).Items(), leaves);
    for (TMenuItem* item : leaves) {
      const std::string name = item->Name();
      if (name == "Exit1" || !item->Enabled()) continue;
      SCOPED_TRACE(std::to_string(mode) + " " + name);
      // Each item starts from the job as opened.
      if (DatabaseModified || Counts() != counts || DatabaseFileName != job) {
        Answers.Accept = true;
        ASSERT_TRUE(OpenJobFile(job));
        Answers.Accept = false;
      }
      SelectLayer(layer);
      Answers.Asked.clear();
      Answers.Accept = FileItems.count(name) != 0;
      const std::set<fs::path> before = Entries(Answers.SaveFolder);
      const auto saved = fs::last_write_time(job);
      waits = 0;
      stuck = false;
      HeadlessPrinter().Reset();
      for (int i = 0; i < 3; ++i) HeadlessPrinter().QueueDialogAnswer({false});
      try {
        item->OnClick(*item);
        form.KeyDown(VK_ESCAPE);
        for (int i = 0; i < 3 && MyScreen->Activity != acIdle; ++i) form.KeyDown(VK_ESCAPE);
      } catch (const std::exception& e) {
        ADD_FAILURE() << name << " threw: " << e.what();
      }
      Answers.Accept = false;
      ++walked;
      std::string asked;
      for (const std::string& a : Answers.Asked) asked += "\n  " + a;
      // An error that reached the error log shows its window (the Error
      // Inspector item shows the log itself).
      if (name != "ErrorInspector1")
        EXPECT_EQ(std::count(Answers.Asked.begin(), Answers.Asked.end(), "form TExceptionHandler"), 0)
            << name << " ended in an error" << asked;
      EXPECT_FALSE(stuck) << name << " kept waiting" << asked;
      std::string why;
      EXPECT_TRUE(JobReadable(why)) << name << ": " << why << asked;
      if (FileItems.count(name) == 0) continue;
      std::vector<fs::path> made;
      for (const fs::path& p : Entries(Answers.SaveFolder))
        if (before.count(p) == 0) made.push_back(p);
      if (name == "Save1") {
        EXPECT_NE(fs::last_write_time(job), saved) << "Save wrote nothing" << asked;
        made.push_back(job);
      }
      EXPECT_FALSE(made.empty()) << name << " made no file" << asked;
      for (const fs::path& p : made) ReadBack(form, name, p);
    }
  }
  EXPECT_GT(walked, 200);

  // Exit with a changed job: Cancel in the save question keeps the program.
  SelectLayer(0);
  Run(form, emCad, "Line1");
  Click(form, 100, 100);
  Click(form, 300, 200);
  form.KeyDown(VK_ESCAPE);
  ASSERT_TRUE(DatabaseModified);
  Run(form, emCad, "Exit1");
  EXPECT_TRUE(WorkspaceReady);
}

constexpr int32_t In = 25400000;

// Holes at (1, 1), (1.2, 1) and (1.5, 2) in.
const char* const PartHoles =
    "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\n%ADD11C,0.0200*%\nG54D10*\nX10000Y10000D03*\n"
    "X12000Y10000D03*\nG54D11*\nX15000Y20000D03*\nM02*\n";

// While a drill import waits for its placement, and while Make Drill Tape
// waits for tooling hits to be marked, the items that act only on an idle
// drawing area and the commands wait; the view settings, the view commands
// and the boxes of their own act. The import is then placed whole, the job
// as it was.
TEST_F(TMenuWalkTest, TheIdleItemsAndTheCommandsWaitForTheImportPlacementAndTheMarkingOfToolingHits) {
  TWorkspace& form = StartProgram();
  MakeJob(form);
  SelectLayer(30);
  const auto holes = LiveDrillPositions();
  QueueModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  ImportSecondPart(form, PartHoles);
  ASSERT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  auto state = [] { return std::tuple(Counts(), Tools(), Metric, CurrentLayer, EditorMode, DatabaseFileName); };
  const auto before = state();
  auto expectWalked = [](const std::set<std::string>& ran) {
    for (const char* item : {"Refresh1", "DisplayGrid1", "SnapToGrid1", "ZeroZero1", "FullScreen1", "ZoomOut2X1",
                             "ZoomAll1", "Pan1", "OnePixel1", "ShowToolTable1"})
      EXPECT_EQ(ran.count(item), 1u) << item << " waited";
    for (const char* item : {"New1", "Open1", "Save1", "SaveAs1", "Import1", "Import2", "Export1", "Export2",
                             "Plot1", "Inches1", "Layers1", "PackDatabase3", "LayerErase1", "SortBigToolFirst1",
                             "MakeDrillTape1", "ZoomIn1", "Undo3", "DrillHole3", "Line1", "Delete1",
                             "ChamferDistance1", "DoFirst1"})
      EXPECT_EQ(ran.count(item), 0u) << item << " ran";
  };

  Answers.SaveFolder = TempDir / "made";
  fs::create_directories(Answers.SaveFolder);
  SetFormsBackend(&Answers);
  SetMessageBoxBackend(&Answers);
  SetCommonDialogBackend(&Answers);
  int64_t waits = 0;
  HeadlessSetProcessMessagesHook([&] {
    if (++waits > 20000) throw std::runtime_error("an item keeps waiting");
  });
  expectWalked(ChooseEveryItem(form, "import placement"));
  ASSERT_TRUE(ECO != nullptr && ECO->ActiveCommandNumber() == cmImportFinalize);
  EXPECT_EQ(state(), before);
  EXPECT_TRUE(Entries(Answers.SaveFolder).empty());
  // Pan waits for its click: Esc ends it, not the placement.
  form.KeyDown(VK_ESCAPE);
  ASSERT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);

  Type(form, "0,0");
  EXPECT_NE(ECO->ActiveCommandNumber(), cmImportFinalize);
  auto placed = holes;
  placed.insert({{In, In}, {In + In / 5, In}, {In + In / 2, 2 * In}});
  EXPECT_EQ(LiveDrillPositions(), placed);

  // Make Drill Tape's marking of tooling hits: nothing runs; Esc ends it.
  Answers.Scripts["TMakeDrillTapeDialog"] = [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.FirstLastCheckBox.SetChecked(false);
    d.MarkFirstCheckBox.SetChecked(true);
    d.MarkLastCheckBox.SetChecked(false);
    d.OKButton.Click();
  };
  const auto placedState = state();
  bool walked = false;
  HeadlessSetProcessMessagesHook([&] {
    if (++waits > 40000) throw std::runtime_error("the marking keeps waiting");
    if (MyScreen->Activity != acWindowMarking || walked) return;
    walked = true;
    expectWalked(ChooseEveryItem(form, "marking of tooling hits"));
    EXPECT_EQ(MyScreen->Activity, acWindowMarking);
    // The first Esc ends the Pan, the second the marking.
    form.KeyDown(VK_ESCAPE);
    EXPECT_EQ(MyScreen->Activity, acWindowMarking);
    form.KeyDown(VK_ESCAPE);
  });
  Run(form, emDrill, "MakeDrillTape1");
  EXPECT_TRUE(walked);
  EXPECT_EQ(MyScreen->Activity, acIdle);
  EXPECT_EQ(state(), placedState);
  EXPECT_EQ(LiveDrillPositions(), placed);
  EXPECT_TRUE(Entries(Answers.SaveFolder).empty());
}

}  // namespace
