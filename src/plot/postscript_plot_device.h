// The PostScript plot file: pen moves, lines, circles and arcs as path
// operators; a page wider than high is turned onto the upright sheet. Device
// steps are 1/10,000 inch; the file
// speaks in points (x 0.0072). Every pen draws in the same black.
#pragma once
#include "plot/plot_device.h"

class TPostScriptPlotDevice : public TFilePlotDevice {
 public:
  explicit TPostScriptPlotDevice(std::string fileName) : TFilePlotDevice(std::move(fileName)) {}

  void DrawCircle(double cx, double cy, double r) override;
  void DrawArc(bool clockwise, double x1, double y1, double x2, double y2, double xc,
               double yc) override;
  bool BeginPlot() override;
  void EndPlot() override;
  void SelectPen(int32_t pen) override { Pen = pen; }
  void PenUpMove(int32_t x, int32_t y) override;
  void PenDownDraw(int32_t x, int32_t y) override;
  // One line; a text starting with the end-of-transmission character gets
  // no line end.
  void WriteLine(const std::string& s) override;

  int32_t Pen = 0;
  bool PathOpen = false;
  int32_t LastX = 2147483647;
  int32_t LastY = 2147483647;

 private:
  void FlushPath();
};

// RealToStr(v x 0.0072): device steps as points.
std::string PostScriptPoints(double v);
