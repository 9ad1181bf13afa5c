// Photoplot files of a plot: Gerber (RS-274-D blocks, pens as D codes D10
// upward, the aperture table kept by the photoplotter operator) and
// RS-274X (the same blocks behind a header that declares the format 2.3 in
// inches, single-quadrant arcs and 300 round apertures: D10 0.010 in and
// D11..D309 of 0.001..0.299 in).
//
// Coordinates are written in thousandths of an inch plus the paper offset,
// modally (an unchanged X or Y is left out). Arcs are cut at the quadrant
// boundaries, each piece a G2 or G3 block with unsigned I and J. With
// "Flash true sized holes" holes drawn at true size are flashed: in RS-274X
// with the aperture of the table that has the hole's size on the paper (a
// hole above 0.299 in is drawn as its circle), and the pen's aperture is
// selected again for the next draw; in Gerber with the current pen's D
// code, the table being the photoplotter operator's.
#pragma once
#include "plot/plot_device.h"

class TGerberPlotDevice : public TFilePlotDevice {
 public:
  explicit TGerberPlotDevice(std::string fileName) : TFilePlotDevice(std::move(fileName)) {}

  void DrawArc(bool clockwise, double x1, double y1, double x2, double y2, double xc,
               double yc) override;
  void DrawCircleDia(double cx, double cy, double d) override;
  // Asks for the options, then starts the output.
  bool BeginPlot() override;
  void EndPlot() override;
  void SelectPen(int32_t pen) override;
  void PenUpMove(int32_t x, int32_t y) override;
  void PenDownDraw(int32_t x, int32_t y) override;
  // The text followed by "*" as one line.
  void WriteLine(const std::string& s) override;
  // The text as one line without "*".
  void WriteRawLine(const std::string& s);
  // X and Y words of a point (paper offset added, unchanged ones left out),
  // or with offsets I and J words of a centre offset (always written).
  std::string FormatCoordinates(int32_t x, int32_t y, bool offsets);
  void FlashAt(int32_t x, int32_t y);

  int32_t SelectedPen = 0;
  int32_t LastX = 2147483647;
  int32_t LastY = 2147483647;
  bool LinearInForce = true;
  bool PenDown = false;
  double OutputFactor = 0.1;
  bool FlashHoles = false;
  bool CircularInterpolation = false;
  // RS-274X: the D code in force (a pen's, or a flashed hole's).
  int32_t Aperture = 0;

 protected:
  // Starts the output after the options were taken; the RS-274X device
  // adds its header.
  virtual void StartOutput();
  // RS-274X: one command per block (G codes and aperture selections stand
  // alone, every coordinate block says D01, D02 or D03) and no empty blocks.
  virtual bool Extended() const { return false; }
  // Writes a coordinate block: the G code (alone in RS-274X), the words and
  // the D code when it is due.
  void WriteBlock(const std::string& gCode, const std::string& words, const char* dCode,
                  bool dCodeDue);
  // RS-274X: selects the aperture unless it is in force.
  void SelectAperture(int32_t dCode);
  // RS-274X: the current pen's aperture again before a draw.
  void TakePenAperture();
  void WriteArcSegment(const char* prefix, double cx, double cy, double r, double angle,
                       double& sx, double& sy);
};

class TRS274XPlotDevice : public TGerberPlotDevice {
 public:
  explicit TRS274XPlotDevice(std::string fileName) : TGerberPlotDevice(std::move(fileName)) {}

 protected:
  void StartOutput() override;
  bool Extended() const override { return true; }
};
