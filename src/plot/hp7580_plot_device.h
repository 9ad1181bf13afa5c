// The pen-plotter plot file: HP-GL commands for an eight-pen plotter, one
// command a line (carriage return, line feed). Device steps are 1/1,000
// inch; the plotter counts 1/1,016 inch, so every coordinate is written as
// steps x 1.016 rounded (halves to even), plus the paper offset. Circles
// and arcs that fit on the page are drawn by the plotter itself (CI, AA)
// with chord tolerances by size and by the "Fine Circles" option.
#pragma once
#include "plot/plot_device.h"

class THP7580PlotDevice : public TFilePlotDevice {
 public:
  explicit THP7580PlotDevice(std::string fileName) : TFilePlotDevice(std::move(fileName)) {}

  void DrawCircle(double cx, double cy, double r) override;
  void DrawArc(bool clockwise, double x1, double y1, double x2, double y2, double xc,
               double yc) override;
  bool BeginPlot() override;
  void EndPlot() override;
  // Plot pens 1..16 cycle through plotter pens 1..7.
  void SelectPen(int32_t pen) override;
  void PenUpMove(int32_t x, int32_t y) override { Move("PU", x, y); }
  void PenDownDraw(int32_t x, int32_t y) override { Move("PD", x, y); }
  int32_t Resolution() override { return 1000; }
  void WriteLine(const std::string& s) override { Emit(s + "\r\n"); }

  int32_t LastX = 2147483647;
  int32_t LastY = 2147483647;
  bool ForceMove = true;
  int32_t LastPen = 0;
  bool FineCircles = false;
  bool ChordModeOne = true;
  int32_t Velocity = 1;

 private:
  void Move(const char* command, int32_t x, int32_t y);
};

// Device steps to plotter units: round(v x 1.016), halves to even.
int32_t PlotterUnits(double v);
