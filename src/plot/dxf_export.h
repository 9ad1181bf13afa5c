// The DXF writer of the CAD export: an ASCII drawing with a fixed HEADER
// (its extents always +-24), fixed TABLES (one viewport, the CONTINUOUS
// line type, the layers "0" to "30", the STANDARD text style and empty VIEW,
// UCS and DWGMGR tables), an empty BLOCKS section and one POINT, LINE, ARC or
// CIRCLE per exported entity on its CAD layer's number. Every group is the
// code and the value on two lines ended by carriage return and line feed.
//
// Coordinates come in inches or millimetres (CadExportInches) and are
// written as they come, through FormatDxfReal: 2 gives "2.0", 1.5 "1.5",
// 0.0001 "0.0001".
#pragma once
#include <string>

#include "plot/cad_export.h"

// Fixed notation with 10 decimals, trailing zeros dropped down to one
// decimal.
std::string FormatDxfReal(double value);

class TDxfExportWriter : public TCadExportWriter {
 public:
  bool InchesOnly() const override { return false; }
  void ExportPoint(double x, double y) override;
  void ExportLine(double x1, double y1, double x2, double y2) override;
  // ARC about (x3, y3): radius the mean of both ends' distances, start and
  // end angles in degrees [0, 360) of the start and end points.
  void ExportArc(double x1, double y1, double x2, double y2, double x3, double y3) override;
  void ExportCircle(double x, double y, double r) override;

 protected:
  void WriteHead() override;
  void WriteTail() override;

 private:
  void Group(int code, const std::string& value);
  void Real(int code, double value) { Group(code, FormatDxfReal(value)); }
  // Groups given as "code/value" words separated by blanks ("1/" is an
  // empty value).
  void Groups(const char* text);
};
