// Fixture of the main window tests: the whole program started headlessly
// (CreateWorkspace) and shut down again after each test.
#pragma once
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/user_panel.h"
#include "foundation/display_units.h"
#include "foundation/report_windows.h"
#include "foundation/settings_families.h"
#include "korvex_test.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/model_services.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/keys.h"
#include "platform/menus.h"
#include "platform/paths.h"
#include "workspace/layers.h"
#include "workspace/my_screen.h"
#include "workspace/startup.h"
#include "workspace/workspace.h"

// The items of a menu that open no submenu, separators left out, in menu order.
inline void CollectLeaves(TMenuItem& item, std::vector<TMenuItem*>& leaves) {
  for (const auto& child : item.Items()) {
    if (child->IsSeparator()) continue;
    if (child->Count() == 0)
      leaves.push_back(child.get());
    else
      CollectLeaves(*child, leaves);
  }
}

class TWorkspaceTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessViewServices();
    ResetModalScripts();
    HeadlessButtonBar().States.clear();
    SetFailingObject("");
    JobFileSaveQuery = [] { return true; };
    ForgetWhatStartUpSets();
    // The about box of the start-up is closed as a user would.
    RegisterModalScript("TAboutDialog", [](TForm& f) { f.Click("OKButton"); });
  }
  void TearDown() override {
    JobFileSaveQuery = [] { return true; };
    CloseProgram();
    SetFailingObject("");
    JobFileSaveQuery = [] { return true; };
    ResetModalScripts();
    ResetHeadlessViewServices();
    TKorvexTest::TearDown();
  }
  // What start-up sets is left unset here, so that a test of the started
  // program sees start-up's own work and not what an earlier test, or the
  // shared fixture, left behind.
  static void ForgetWhatStartUpSets() {
    for (std::string& name : LayerNames) name.clear();
    ModelServices = TModelServices{};
    WindowServices = TWindowServices{};
    for (int layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer) RoutLayerTools[layer] = {0, 0};
    SetUndoWindow(nullptr);
  }
  // Starts the program's main window headlessly.
  TWorkspace& StartProgram() {
    Form = CreateWorkspace();
    return *Form;
  }
  // Closes the window as Exit does and frees it. An input of the drawing
  // area that a test left waiting holds the close: Escape ends it first.
  void CloseProgram() {
    for (int tries = 0; Form && WorkspaceReady && tries < 4; ++tries)
      if (!Form->Close()) Form->KeyDown(VK_ESCAPE);
    if (Workspace == Form.get()) Workspace = nullptr;
    Form.reset();
  }
  std::filesystem::path Home() const { return TempDir / "home"; }
  // A left click at a pixel of the drawing area, as the mouse gives it.
  static void Click(TWorkspace& form, int x, int y) {
    form.PaintBox.MouseMove(0, x, y);
    form.PaintBox.MouseDown(mbLeft, 0, x, y);
    form.PaintBox.MouseUp(mbLeft, 0, x, y);
  }
  // Picks the menu item of the mode by its name.
  // Chooses a menu item as a user does: the menus above it drop down, then
  // it is carried out unless the menus hold it back.
  static void Run(TWorkspace& form, uint8_t mode, const std::string& item) {
    TMenuItem* entry = form.MenuItem(mode, item);
    ASSERT_NE(entry, nullptr) << item;
    std::vector<TMenuItem*> above;
    for (TMenuItem* p = entry->Parent(); p != nullptr && p->Parent() != nullptr; p = p->Parent())
      above.push_back(p);
    for (auto it = above.rbegin(); it != above.rend(); ++it) (*it)->DropDown();
    entry->Click();
  }
  // A file of the test's own folder holding the text; gives its path.
  std::string Input(const std::string& name, const std::string& text) {
    const std::string path = (TempDir / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  // A click at a world point, given to the command interpreter.
  static void Click(int32_t x, int32_t y, uint8_t buttons = mbtLeft) {
    TInputEvent e;
    e.Kind = ievMouseDown;
    e.Buttons = buttons;
    e.WorldX = x;
    e.WorldY = y;
    ECO->HandleEvent(e);
  }
  // Text typed at the command line and ended with Enter.
  static void Type(TWorkspace& form, const std::string& text) {
    for (char c : text) form.FormKeyPress(c);
    form.KeyDown(VK_RETURN);
  }
  // Drill > Import of an Excellon tape, the main-part question answered
  // (Yes: the main part), without the results window unless asked for, in
  // the axis version given (0: as offered), into the layer offered.
  void ImportExcellonTape(TWorkspace& form, const std::string& path, TModalResult mainPart = mrYes,
                          bool results = false, int axisVersion = 0) {
    ScriptFileDialogAnswer(path);
    QueueModalScript("TForceDrillFormatDialog", [](TForm& f) {
      f.Get<TComboBox>("PullDown").SetItemIndex(2);  // Excellon
      f.Click("OKButton");
    });
    QueueModalScript("TDrillInputFormatDialog", [results, axisVersion](TForm& f) {
      if (axisVersion > 0) f.Get<TRadioGroup>("AxisGroup").SetItemIndex(axisVersion - 1);
      f.Get<TCheckBox>("ShowMessagesCheckBox").SetChecked(results);
      f.Click("OKButton");
    });
    ScriptMessageBoxAnswer(mainPart);
    QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emDrill, "Import2");
  }
  // File > Import into CAD in the format of the list's index (0: the
  // detected one confirmed).
  static void ImportIntoCad(TWorkspace& form, const std::string& file, int format) {
    ScriptFileDialogAnswer(file);
    QueueModalScript("TForceFormatDialog", [format](TForm& f) {
      if (format > 0) f.Get<TComboBox>("PullDown").SetItemIndex(format);
      f.Click("OKButton");
    });
    Run(form, emCad, "Import1");
  }
  // A tape's results window, once it waits for its OK, gets it; its text is
  // kept in *report.
  static void CloseResultWindows(std::string* report = nullptr) {
    HeadlessSetProcessMessagesHook([report] {
      auto* window = static_cast<TGTScrollWindow*>(ShowingModelessForm("TGTScrollWindow"));
      if (window == nullptr || !window->OKVisible) return;
      if (report != nullptr) *report = window->Memo1.Text();
      window->Click("OKButton");
    });
  }
  // A one-step ODB++ job in the folder: step PCB, signal layer TOP with one
  // pad. Gives the path of its matrix.
  static std::string SmallOdbJob(const std::filesystem::path& job) {
    std::filesystem::create_directories(job / "matrix");
    std::filesystem::create_directories(job / "steps/pcb/layers/top");
    std::ofstream(job / "matrix/matrix") << "STEP {\n COL=1\n NAME=PCB\n}\nLAYER {\n ROW=1\n CONTEXT=BOARD\n"
                                            " TYPE=SIGNAL\n NAME=TOP\n POLARITY=POSITIVE\n}\n";
    std::ofstream(job / "steps/pcb/layers/top/features") << "UNITS=INCH\n$0 r10\nP 1 1 0 P 0 0\n";
    std::ofstream(job / "steps/pcb/profile") << "";
    std::ofstream(job / "steps/pcb/stephdr") << "";
    return (job / "matrix/matrix").string();
  }
  static std::string LastBox() { return ShownMessageBoxes().empty() ? "" : ShownMessageBoxes().back().Text; }
  // Starts the drill import of the photoplot as a part placed by hand.
  void ImportSecondPart(TWorkspace& form, const std::string& photoplot) {
    DRDB->MainPartSet = true;
    ScriptFileDialogAnswer(Input("PART.GBR", photoplot));
    QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emDrill, "Import2");
  }
  // The tool table, tool 1 first.
  static std::vector<TToolRecord> Tools() {
    std::vector<TToolRecord> tools;
    for (int32_t t = 1; t <= kToolCount; ++t) tools.push_back(ToolTable[t]);
    return tools;
  }
  // The drill entities in use.
  static int32_t LiveDrillEntities() {
    int32_t live = 0;
    for (int32_t i = 1; i <= DrillEntityCount; ++i)
      if (static_cast<int32_t>(DRDB->WordAt(i)) > 0) ++live;
    return live;
  }
  std::unique_ptr<TWorkspace> Form;
};

// The fixture of the tests that script dialogs and message boxes: the
// scripted answers, the boxes shown and the message hook are cleared before
// and after each test.
class TWorkspaceDialogsTest : public TWorkspaceTest {
 protected:
  void SetUp() override {
    TWorkspaceTest::SetUp();
    ResetHeadlessDialogs();
  }
  void TearDown() override {
    HeadlessSetProcessMessagesHook(nullptr);
    ResetHeadlessDialogs();
    TWorkspaceTest::TearDown();
  }
  // Drill File > Import of a file, the format chosen by its place in the
  // "File Format" list.
  static void ImportDrill(TWorkspace& form, const std::string& file, int format) {
    ScriptFileDialogAnswer(file);
    QueueModalScript("TForceDrillFormatDialog", [format](TForm& f) {
      f.Get<TComboBox>("PullDown").SetItemIndex(format);
      f.Click("OKButton");
    });
    Run(form, emDrill, "Import2");
  }
};

// Tests that write tapes: the output formats they set and the export
// filters are put back after each test.
class TTapeWritingTest : public TWorkspaceDialogsTest {
 protected:
  void SetUp() override {
    TWorkspaceDialogsTest::SetUp();
    savedDrill_ = DrillOutputFormat;
    savedRout_ = RoutOutputFormat;
  }
  void TearDown() override {
    for (auto& f : ExportFilters) f = {};
    DrillOutputFormat = savedDrill_;
    RoutOutputFormat = savedRout_;
    TWorkspaceDialogsTest::TearDown();
  }

 private:
  TDrillFormatRecord savedDrill_;
  TRoutFormatRecord savedRout_;
};
