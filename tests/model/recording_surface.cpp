#include "recording_surface.h"

#include <cmath>

namespace {
std::string Num(double v) {
  if (v == std::floor(v) && std::fabs(v) < 1e15) return std::to_string(static_cast<long long>(v));
  return std::to_string(v);
}
}  // namespace

TRecordingSurface::TRecordingSurface(double unitsPerPixel, bool screen)
    : TDrawingBase(nullptr, 0x800000), UnitsPerPixel(unitsPerPixel), Screen(screen) {
  Canvas = &Recorder;
}

int32_t TRecordingSurface::LengthToDevice(int32_t length) {
  return static_cast<int32_t>(std::lround(LengthToDeviceReal(length)));
}
double TRecordingSurface::LengthToDeviceReal(int32_t length) { return length / UnitsPerPixel; }

void TRecordingSurface::WorldToDeviceReal(double x, double y, double& dx, double& dy) {
  dx = x / UnitsPerPixel;
  dy = -y / UnitsPerPixel;
}

void TRecordingSurface::WorldToDevice(double x, double y, int32_t& dx, int32_t& dy) {
  double rx, ry;
  WorldToDeviceReal(x, y, rx, ry);
  dx = static_cast<int32_t>(std::lround(rx));
  dy = static_cast<int32_t>(std::lround(ry));
}

void TRecordingSurface::SetColor(TColor colour) {
  Calls.push_back("SetColor(" + std::to_string(colour) + ")");
  TDrawingBase::SetColor(colour);
}
void TRecordingSurface::SetPenStyle(uint8_t style) {
  Calls.push_back("SetPenStyle(" + std::to_string(style) + ")");
  TDrawingBase::SetPenStyle(style);
}
void TRecordingSurface::DrawPlusMark(int32_t x, int32_t y) {
  Calls.push_back("DrawPlusMark(" + Num(x) + "," + Num(y) + ")");
  TDrawingBase::DrawPlusMark(x, y);
}
void TRecordingSurface::DrawXMark(int32_t x, int32_t y) {
  Calls.push_back("DrawXMark(" + Num(x) + "," + Num(y) + ")");
  TDrawingBase::DrawXMark(x, y);
}
void TRecordingSurface::DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  Calls.push_back("DrawLine(" + Num(x1) + "," + Num(y1) + "," + Num(x2) + "," + Num(y2) + ")");
  TDrawingBase::DrawLine(x1, y1, x2, y2);
}
void TRecordingSurface::DrawCircle(double cx, double cy, double r) {
  Calls.push_back("DrawCircle(" + Num(cx) + "," + Num(cy) + "," + Num(r) + ")");
  TDrawingBase::DrawCircle(cx, cy, r);
}
void TRecordingSurface::DrawArc(bool clockwise, double x1, double y1, double x2, double y2,
                                double xc, double yc) {
  Calls.push_back("DrawArc(" + std::string(clockwise ? "cw," : "ccw,") + Num(x1) + "," + Num(y1) +
                  "," + Num(x2) + "," + Num(y2) + "," + Num(xc) + "," + Num(yc) + ")");
  TDrawingBase::DrawArc(clockwise, x1, y1, x2, y2, xc, yc);
}

int TRecordingSurface::Count(const std::string& prefix) const {
  int n = 0;
  for (const std::string& c : Calls)
    if (c.rfind(prefix, 0) == 0) ++n;
  return n;
}

#include "command/command_services.h"
#include "detached_undo_window.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/paths.h"

void TCadTest::SetUp() {
  TKorvexTest::SetUp();
  ResetHeadlessDialogs();
  DetachedUndoWindow().Clear();
  HeadlessButtonBar().States.clear();
  ASSERT_TRUE(EnsureWorkingDirectories());
  ResetHeadlessViewServices();
  HeadlessViewServices().PictureOverride = &Surface;
  DrawSurface = nullptr;
  EditorMode = emCad;
  ResetLayerMasks();
  CurrentLayer = 0;
  ConstructionPoints = false;
  DatabaseModified = false;
  CadUndo = new TCadUndo();
  ActiveUndo = CadUndo;
  DB = new TCadDatabase();
}

void TCadTest::TearDown() {
  delete DB;
  DB = nullptr;
  delete CadUndo;
  CadUndo = nullptr;
  ActiveUndo = nullptr;
  DrawSurface = nullptr;
  ResetHeadlessViewServices();
  ResetHeadlessDialogs();
  DetachedUndoWindow().Clear();
  TKorvexTest::TearDown();
}
