#include "drill_test_fixture.h"

#include "detached_undo_window.h"
#include "foundation/settings.h"
#include "model/drill_tools.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"

namespace {
std::string P(int32_t x, int32_t y) { return std::to_string(x) + "," + std::to_string(y); }
}  // namespace

void TDrillSurface::DrawPixel(int32_t x, int32_t y) { Calls.push_back("DrawPixel(" + P(x, y) + ")"); }
void TDrillSurface::DrawHoleLetter(int32_t x, int32_t y, uint16_t tool) {
  Calls.push_back("DrawHoleLetter(" + P(x, y) + "," + std::to_string(tool) + ")");
}
void TDrillSurface::DrawHoleSymbol(int32_t x, int32_t y, uint16_t tool) {
  Calls.push_back("DrawHoleSymbol(" + P(x, y) + "," + std::to_string(tool) + ")");
}
void TDrillSurface::DrawSlotOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                    int32_t width) {
  Calls.push_back("DrawSlotOutline(" + P(x1, y1) + "," + P(x2, y2) + "," + std::to_string(width) +
                  ")");
}
void TDrillSurface::DrawOriginMark(int32_t x, int32_t y, TColor colour) {
  Calls.push_back("DrawOriginMark(" + P(x, y) + "," + std::to_string(colour) + ")");
}

void TDrillTest::SetUp() {
  TKorvexTest::SetUp();
  ResetHeadlessDialogs();
  ResetModalScripts();
  DetachedUndoWindow().Clear();
  ASSERT_TRUE(EnsureWorkingDirectories());
  ResetHeadlessViewServices();
  HeadlessViewServices().PictureOverride = &Surface;
  DrawSurface = nullptr;
  EditorMode = emDrill;
  ResetLayerMasks();
  CurrentLayer = 30;
  DisplayHolesAs = 1;
  ColorHolesBy = 0;
  TextFlipsWithVersion = false;
  Version = 1;
  DatabaseModified = false;
  ToolTable.Fill(TToolRecord{});
  ActiveTools.Fill(true);
  DrillTapeFileName.clear();
  DrillUndo = new TDrillUndo();
  ActiveUndo = DrillUndo;
  DRDB = new TDrillDatabase();
}

void TDrillTest::TearDown() {
  delete DRDB;
  DRDB = nullptr;
  delete DrillUndo;
  DrillUndo = nullptr;
  ActiveUndo = nullptr;
  AutoStepRepeatSettings = nullptr;
  SetEditStepDialog(nullptr);
  DrawSurface = nullptr;
  ResetHeadlessViewServices();
  ResetHeadlessDialogs();
  ResetModalScripts();
  TKorvexTest::TearDown();
}

int32_t TDrillTest::LiveCount() {
  int32_t n = 0;
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (static_cast<int32_t>(Word(i)) > 0) ++n;
  return n;
}

TStepObject* TDrillTest::RowPattern(int32_t copies, int32_t pitch) {
  return new TStepObject({{1, 1, 0, 0, 0}, {0, copies, pitch, 0, 0}, {0, 1, 0, 0, 0}});
}
