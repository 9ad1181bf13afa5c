// Fixture of the main window tests: the whole program started headlessly
// (CreateWorkspace) and shut down again after each test.
#pragma once
#include <filesystem>
#include <memory>
#include <string>

#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/user_panel.h"
#include "foundation/display_units.h"
#include "korvex_test.h"
#include "model/cad_undo.h"
#include "model/model_services.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/menus.h"
#include "platform/paths.h"
#include "workspace/layers.h"
#include "workspace/my_screen.h"
#include "workspace/startup.h"
#include "workspace/workspace.h"

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
  }
  // Starts the program's main window headlessly.
  TWorkspace& StartProgram() {
    Form = CreateWorkspace();
    return *Form;
  }
  // Closes the window as Exit does and frees it.
  void CloseProgram() {
    if (Form && WorkspaceReady) Form->Close();
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
  static void Run(TWorkspace& form, uint8_t mode, const std::string& item) {
    TMenuItem* entry = form.MenuItem(mode, item);
    ASSERT_NE(entry, nullptr) << item;
    entry->OnClick(*entry);
  }
  std::unique_ptr<TWorkspace> Form;
};
