#include "plot/hpgl_export.h"

#include <cmath>

#include "foundation/geometry.h"
#include "foundation/utilities.h"

namespace {
constexpr double kPlotterUnitsPerInch = 1016.0;
constexpr double kPlusArm = 0.025;
}  // namespace

std::string FormatPlotterUnits(double inches) {
  // nearbyint rounds halves to even in the default rounding mode.
  return std::to_string(static_cast<int64_t>(std::nearbyint(inches * kPlotterUnitsPerInch)));
}

std::string THpglExportWriter::OpenWarning() const {
  return "Warning: HPGL is not very precise!\nYour exported drawing will lose accuracy.";
}

void THpglExportWriter::WriteHead() {
  Put("IN;SC;SP1;PU;");
  PenDown_ = false;
  LastX = -2147483647.0;
  LastY = -2147483647.0;
}

void THpglExportWriter::ExportLine(double x1, double y1, double x2, double y2) {
  if (!Open()) return;
  PenDown_ = true;  // every branch ends with PD
  if (x1 == LastX && y1 == LastY) {
    Put("PD" + FormatPlotterUnits(x2) + "," + FormatPlotterUnits(y2) + ";");
    LastX = x2;
    LastY = y2;
  } else if (x2 == LastX && y2 == LastY) {
    Put("PD" + FormatPlotterUnits(x1) + "," + FormatPlotterUnits(y1) + ";");
    LastX = x1;
    LastY = y1;
  } else {
    Put("PU" + FormatPlotterUnits(x1) + "," + FormatPlotterUnits(y1) + ";PD" + FormatPlotterUnits(x2) + "," +
        FormatPlotterUnits(y2) + ";");
    LastX = x2;
    LastY = y2;
  }
}

void THpglExportWriter::ExportPoint(double x, double y) {
  ExportLine(x, y - kPlusArm, x, y + kPlusArm);
  ExportLine(x - kPlusArm, y, x + kPlusArm, y);
}

void THpglExportWriter::ExportArc(double x1, double y1, double x2, double y2, double x3, double y3) {
  if (!Open()) return;
  double r = 0.0, a0 = 0.0, a1 = 0.0;
  RectToPolar(x1 - x3, y1 - y3, r, a0);
  RectToPolar(x2 - x3, y2 - y3, r, a1);
  const double sweep = NormalizeAngle360(a1 + 360.0 - a0);
  const std::string arc = "AA" + FormatPlotterUnits(x3) + "," + FormatPlotterUnits(y3) + ",";
  // AA draws in the pen's state: an arc after a pen-up move would leave no
  // trace on the plot, so the pen goes down first.
  if (x1 == LastX && y1 == LastY) {
    Put(PenDownText() + arc + RealToStr(sweep) + ";");
    LastX = x2;
    LastY = y2;
  } else if (x2 == LastX && y2 == LastY) {
    Put(PenDownText() + arc + RealToStr(-sweep) + ";");
    LastX = x1;
    LastY = y1;
  } else {
    Put("PU" + FormatPlotterUnits(x1) + "," + FormatPlotterUnits(y1) + ";");
    PenDown_ = false;
    Put(PenDownText() + arc + RealToStr(sweep) + ";");
    LastX = x2;
    LastY = y2;
  }
}

std::string THpglExportWriter::PenDownText() {
  if (PenDown_) return "";
  PenDown_ = true;
  return "PD;";
}

void THpglExportWriter::ExportCircle(double x, double y, double r) {
  if (!Open()) return;
  if (x != LastX || y != LastY) {
    Put("PU" + FormatPlotterUnits(x) + "," + FormatPlotterUnits(y) + ";");
    PenDown_ = false;
    LastX = x;
    LastY = y;
  }
  Put("CI" + FormatPlotterUnits(r) + ";");
}
