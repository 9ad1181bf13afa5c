// A drawing surface for tests: world units map to device pixels at a fixed
// scale, every drawing operation called through the surface is noted, and
// the base operations paint on a recording canvas, so a test sees both the
// entity-level calls and the raw canvas calls of the fast paths.
#pragma once
#include <string>
#include <vector>

#include "model/drawing_base.h"
#include "platform/headless/recording_canvas.h"

class TRecordingSurface : public TDrawingBase {
 public:
  // One device pixel per unitsPerPixel world units; world (0, 0) at device
  // (0, 0); Y grows downwards on the device.
  explicit TRecordingSurface(double unitsPerPixel = 1000.0, bool screen = true);

  int32_t LengthToDevice(int32_t length) override;
  double LengthToDeviceReal(int32_t length) override;
  void WorldToDevice(double x, double y, int32_t& dx, int32_t& dy) override;
  void WorldToDeviceReal(double x, double y, double& dx, double& dy) override;

  void SetColor(TColor colour) override;
  void SetPenStyle(uint8_t style) override;
  void DrawPlusMark(int32_t x, int32_t y) override;
  void DrawXMark(int32_t x, int32_t y) override;
  void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void DrawCircle(double cx, double cy, double r) override;
  void DrawArc(bool clockwise, double x1, double y1, double x2, double y2, double xc,
               double yc) override;
  bool IsScreen() override { return Screen; }

  // Surface calls in order, e.g. "DrawLine(0,0,10,0)", "SetColor(255)".
  std::vector<std::string> Calls;
  // Calls whose text starts with the prefix.
  int Count(const std::string& prefix) const;
  void Clear() {
    Calls.clear();
    Recorder.Calls.clear();
  }

  TRecordingCanvas Recorder;
  double UnitsPerPixel;
  bool Screen;
};

// ---- Fixture of the CAD model tests ----------------------------------------------

#include "korvex_test.h"

class TCadDatabase;
class TCadUndo;

// A fresh DB and CadUndo (ActiveUndo) per test, CAD editing mode, all layers
// active, layer 0 current, the recording surface as the screen picture.
class TCadTest : public TKorvexTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  TRecordingSurface Surface;
};
