// The Infinite Graphics post writer of the CAD export: a file of 12-byte
// records, little-endian: Type (int16), X and Y (float32, inches) and Word
// (int16). Six header records open the file and an end record (Type 9)
// closes it. A line is a draw pair (Types 2 and 3); an arc is its centre
// (30), its start (36, Word 1: counter-clockwise) and its end (37); a circle
// is an arc from 0.00005 inch left of its top point round to 0.00005 inch
// right of it; a point is a plus of two lines 0.025 inch each way.
//
// The format knows inches only.
#pragma once
#include <cstdint>

#include "plot/cad_export.h"

constexpr int32_t IgiPostRecordSize = 12;

class TIgiPostExportWriter : public TCadExportWriter {
 public:
  bool InchesOnly() const override { return true; }
  void ExportPoint(double x, double y) override;
  void ExportLine(double x1, double y1, double x2, double y2) override;
  void ExportArc(double x1, double y1, double x2, double y2, double x3, double y3) override;
  void ExportCircle(double x, double y, double r) override;

 protected:
  void WriteHead() override;
  void WriteTail() override;

 private:
  void Record(int16_t type, double x, double y, int16_t word);
};
