// A fresh drill database and journal per test, drill mode on D0, all layers
// and tools active, an empty tool table.
#pragma once
#include <gtest/gtest.h>

#include "korvex_test.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/editor_state.h"
#include "model/step_repeat.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"

class TDrillToolsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetModalScripts();
    ASSERT_TRUE(EnsureWorkingDirectories());
    ResetHeadlessViewServices();
    EditorMode = emDrill;
    ResetLayerMasks();
    CurrentLayer = 30;
    ToolTable.Fill(TToolRecord{});
    ActiveTools.Fill(true);
    DrillUndo = new TDrillUndo();
    ActiveUndo = DrillUndo;
    DRDB = new TDrillDatabase();
  }
  void TearDown() override {
    delete DRDB;
    DRDB = nullptr;
    delete DrillUndo;
    DrillUndo = nullptr;
    ActiveUndo = nullptr;
    ResetHeadlessViewServices();
    ResetModalScripts();
    TKorvexTest::TearDown();
  }
  static int32_t Hole(int32_t x, int32_t y, int32_t tool, uint8_t layer = 30) {
    return DRDB->AddHoleOnLayer(x, y, layer, tool, true);
  }
  static bool Live(int32_t index) { return static_cast<int32_t>(DRDB->WordAt(index)) > 0; }
  static int32_t LiveCount() {
    int32_t n = 0;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) n += Live(i) ? 1 : 0;
    return n;
  }
  // A step object of n copies along X at the pitch.
  static TStepObject* RowPattern(int32_t copies, int32_t pitch) {
    return new TStepObject({{1, 1, 0, 0, 0}, {0, copies, pitch, 0, 0}, {0, 1, 0, 0, 0}});
  }
};
