// A drawing surface for the drawing tests: one device pixel per Scale world
// units, world (0, 0) at device (0, 0), Y down (or up when Mirrored). The
// primitive slots the composites go through are noted in world units, and
// the canvas calls land on a recording canvas.
#pragma once
#include <cmath>
#include <string>
#include <vector>

#include "foundation/display_units.h"
#include "model/drawing_base.h"
#include "model/symbol_drawer.h"
#include "platform/headless/recording_canvas.h"

class TTestSurface : public TDrawingBase {
 public:
  explicit TTestSurface(double scale = 10000.0) : TDrawingBase(&Recorder, clNavy), Scale(scale) {}

  int32_t LengthToDevice(int32_t length) override { return SaturatingRound(length / Scale); }
  double LengthToDeviceReal(int32_t length) override { return length / Scale; }
  void WorldToDevice(double x, double y, int32_t& dx, int32_t& dy) override {
    double rx, ry;
    WorldToDeviceReal(x, y, rx, ry);
    dx = SaturatingRound(rx);
    dy = SaturatingRound(ry);
  }
  void WorldToDeviceReal(double x, double y, double& dx, double& dy) override {
    dx = x / Scale;
    dy = (Mirrored ? y : -y) / Scale;
  }
  bool MirrorsY() override { return Mirrored; }

  void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
    Note("Line", {double(x1), double(y1), double(x2), double(y2)});
    TDrawingBase::DrawLine(x1, y1, x2, y2);
  }
  void DrawCircle(double cx, double cy, double r) override {
    Note("Circle", {cx, cy, r});
    TDrawingBase::DrawCircle(cx, cy, r);
  }
  void DrawArc(bool clockwise, double x1, double y1, double x2, double y2, double xc,
               double yc) override {
    Note(clockwise ? "ArcCW" : "ArcCCW", {x1, y1, x2, y2, xc, yc});
    TDrawingBase::DrawArc(clockwise, x1, y1, x2, y2, xc, yc);
  }
  void SetPenMode(uint8_t mode) override {
    Note("PenMode", {double(mode)});
    TDrawingBase::SetPenMode(mode);
  }

  struct TNote {
    std::string Op;
    std::vector<double> Args;
    int PenWidth;  // the canvas pen width when the call was made
  };
  std::vector<TNote> Notes;
  std::vector<TNote> Only(const std::string& op) const {
    std::vector<TNote> r;
    for (const TNote& n : Notes)
      if (n.Op == op) r.push_back(n);
    return r;
  }
  void Forget() {
    Notes.clear();
    Recorder.Calls.clear();
  }

  TRecordingCanvas Recorder;
  double Scale;
  bool Mirrored = false;

 private:
  void Note(const char* op, std::vector<double> args) {
    Notes.push_back({op, std::move(args), Recorder.Pen.Width});
  }
};
