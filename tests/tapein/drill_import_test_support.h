// Set-up of the Drill Import tests: a drill database of its own per test,
// drill editing on layer D0, and the hit list of the database.
#pragma once
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "command/command_services.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/entity_store.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "tapein/drill_import.h"
#include "workspace/startup.h"

class TDrillImportCommandTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ResetModalScripts();
    HeadlessResetEvents();
    ASSERT_TRUE(EnsureWorkingDirectories());
    ResetHeadlessViewServices();
    EditorMode = emDrill;
    CurrentLayer = 30;
    ToolTable.Fill(TToolRecord{});
    ActiveTools.Fill(true);
    DrillUndo = new TDrillUndo();
    ActiveUndo = DrillUndo;
    DRDB = new TDrillDatabase();
    GerberImportDefaults = TGerberFormatRecord{};
    DatabaseFileName.clear();
    DrillImportPath = ExecutionPath() + "INDATA\\";
    // Photoplot imports confirm the coordinate format the file announced.
    RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
    HeadlessSetProcessMessagesHook([] {
      if (DrillTapeReader != nullptr && DrillTapeReader->Report &&
          DrillTapeReader->Report->OKVisible)
        DrillTapeReader->Report->OKButton.Click();
    });
  }
  void TearDown() override {
    HeadlessSetProcessMessagesHook({});
    delete DRDB;
    DRDB = nullptr;
    delete DrillUndo;
    DrillUndo = nullptr;
    ActiveUndo = nullptr;
    ResetModalScripts();
    ResetHeadlessDialogs();
    ResetHeadlessViewServices();
    TKorvexTest::TearDown();
  }

  static std::string Input(const std::string& name, const std::string& text) {
    const std::string file = ExecutionPath() + "INDATA\\" + name;
    WriteFileBytes(NativePath(file), text);
    return file;
  }

  // Holes from the index on: count per tool diameter.
  static std::map<int32_t, int> HolesPerDiameter(int32_t first = 1) {
    std::map<int32_t, int> out;
    for (int32_t i = first; i <= DrillEntityCount; ++i)
      if (TDrillEntity* e = DRDB->EntityAt(i)) ++out[ToolTable[e->GetToolNumber()].Diameter];
    return out;
  }
};
