// Fixture of the main window tests: the whole program started headlessly
// (CreateWorkspace) and shut down again after each test.
#pragma once
#include <filesystem>
#include <memory>

#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/user_panel.h"
#include "korvex_test.h"
#include "model/cad_undo.h"
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
  std::unique_ptr<TWorkspace> Form;
};
