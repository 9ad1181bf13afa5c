// Fixture of the drill model tests: a fresh DRDB and DrillUndo (the active
// journal) per test, drill editing mode on layer D0, all layers and tools
// active, an empty tool table, and a recording surface as the screen picture
// that also notes the hole renderings.
#pragma once
#include <string>

#include "korvex_test.h"
#include "model/drill_database.h"
#include "model/drill_handles.h"
#include "recording_surface.h"

class TDrillSurface : public TRecordingSurface {
 public:
  using TRecordingSurface::TRecordingSurface;
  void DrawPixel(int32_t x, int32_t y) override;
  void DrawHoleLetter(int32_t x, int32_t y, uint16_t tool) override;
  void DrawHoleSymbol(int32_t x, int32_t y, uint16_t tool) override;
  void DrawSlotOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width) override;
  void DrawOriginMark(int32_t x, int32_t y, TColor colour) override;
};

class TDrillTest : public TKorvexTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The entity of a store index.
  static TDrillEntity* At(int32_t index) { return DRDB->EntityAt(index); }
  static uint32_t Word(int32_t index) { return DRDB->WordAt(index); }
  // Live entities on any layer.
  static int32_t LiveCount();
  // A step object of n copies along X at the pitch (not yet held by anyone).
  static TStepObject* RowPattern(int32_t copies, int32_t pitch);

  TDrillSurface Surface;
};
