// The HPGL writer of the CAD export: pen 1, pen-up moves, pen-down lines,
// absolute arcs (AA) and circles (CI) in plotter units of 1/1,016 inch,
// commands one after another with no line breaks, each ended by ";".
//
// The writer keeps the pen position so that connected entities are drawn
// without lifting the pen: a line or arc that starts where the pen is
// continues, one that ends there is drawn backwards. Every arc is drawn pen
// down, so it shows on the plot. The format knows inches only.
#pragma once
#include <cstdint>
#include <string>

#include "plot/cad_export.h"

// Value x 1,016 rounded to the nearest integer (halves to even), in decimal.
std::string FormatPlotterUnits(double inches);

class THpglExportWriter : public TCadExportWriter {
 public:
  bool InchesOnly() const override { return true; }
  std::string OpenWarning() const override;
  // A plus of two lines 0.025 inch each way from the point.
  void ExportPoint(double x, double y) override;
  void ExportLine(double x1, double y1, double x2, double y2) override;
  void ExportArc(double x1, double y1, double x2, double y2, double x3, double y3) override;
  void ExportCircle(double x, double y, double r) override;

  // The pen position after the last command, in inches; far off the
  // drawing after the head so that the first entity starts pen up.
  double LastX = -2147483647.0;
  double LastY = -2147483647.0;

 protected:
  void WriteHead() override;

 private:
  // "PD;" when the pen is up (and it is down afterwards), else nothing.
  std::string PenDownText();
  bool PenDown_ = false;
};
