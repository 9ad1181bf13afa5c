// The GCADD drawing writer of the CAD export: 10-byte units, little-endian.
// A record is a header unit (bytes 0-1 zero, byte 2 the record type, bytes
// 3-7 00 00 03 00 00, bytes 8-9 the count of data units) and its data units
// (bytes 0-1 the unit's number within the record, 1, 2, 3; then X and Y as
// float32). Points are type 1, lines 2, circles 10 (centre and the point
// above it on the circle) and arcs 11 (start, a point halfway round and end,
// counter-clockwise). The ten bytes FF FF and eight zeros end the drawing.
// The file has no header variant, so its size is a multiple of 10.
//
// The format knows inches only.
#pragma once
#include <cstdint>

#include "plot/cad_export.h"

class TGcaddExportWriter : public TCadExportWriter {
 public:
  bool InchesOnly() const override { return true; }
  void ExportPoint(double x, double y) override;
  void ExportLine(double x1, double y1, double x2, double y2) override;
  void ExportArc(double x1, double y1, double x2, double y2, double x3, double y3) override;
  void ExportCircle(double x, double y, double r) override;

 protected:
  void WriteTail() override;

 private:
  struct TUnitPoint {
    double X, Y;
  };
  void Record(uint8_t type, std::initializer_list<TUnitPoint> units);
};
