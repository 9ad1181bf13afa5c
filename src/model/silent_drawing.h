// A surface that paints nothing, put in place of the present one while an
// import adds its entities. A big file would otherwise be drawn twice, entity
// by entity while it is added and again by the redraw that follows the
// import; the view is drawn once, complete, by that redraw.
#pragma once
#include <cstdint>

#include "model/drawing_base.h"

class TSilentSurface : public TDrawingBase {
 public:
  TSilentSurface() : TDrawingBase(nullptr, clBlack) {}
  int32_t LengthToDevice(int32_t) override { return 0; }
  double LengthToDeviceReal(int32_t) override { return 0.0; }
  void WorldToDevice(double, double, int32_t& dx, int32_t& dy) override { dx = dy = 0; }
  void WorldToDeviceReal(double, double, double& dx, double& dy) override { dx = dy = 0.0; }
  void Reset() override {}
  void SetPenStyle(uint8_t) override {}
  void SetPenStyleIfChanged(uint8_t) override {}
  void SetPenMode(uint8_t) override {}
  void SetPenModeIfChanged(uint8_t) override {}
  void SetColor(TColor) override {}
  void SetColorIfChanged(TColor) override {}
  TColor GetColor() override { return clBlack; }
  void DrawPixel(int32_t, int32_t) override {}
  void DrawPlusMark(int32_t, int32_t) override {}
  void DrawXMark(int32_t, int32_t) override {}
  void DrawHoleSymbol(int32_t, int32_t, uint16_t) override {}
  void DrawHoleLetter(int32_t, int32_t, uint16_t) override {}
  void DrawLine(int32_t, int32_t, int32_t, int32_t) override {}
  void DrawDeviceLine(int32_t, int32_t, int32_t, int32_t) override {}
  void DrawCircle(double, double, double) override {}
  void DrawNumber(int32_t, int32_t, int32_t) override {}
  void DrawArc(bool, double, double, double, double, double, double) override {}
  void DrawCircleDia(double, double, double) override {}
  void DrawPolyline(const TDevicePolyline&) override {}
  bool DevicePointNear(int32_t, int32_t, int32_t) override { return false; }
};

// The silent surface in place of the present one for the guard's lifetime.
class TSilentDrawing {
 public:
  TSilentDrawing() : saved_(DrawSurface) { DrawSurface = &surface_; }
  ~TSilentDrawing() { DrawSurface = saved_; }
  TSilentDrawing(const TSilentDrawing&) = delete;
  TSilentDrawing& operator=(const TSilentDrawing&) = delete;

 private:
  TDrawingBase* saved_;
  TSilentSurface surface_;
};

