#include "plot/gcadd_export.h"

#include "foundation/byte_order.h"
#include "foundation/geometry.h"

namespace {
constexpr int kUnitSize = 10;
}  // namespace

void TGcaddExportWriter::Record(uint8_t type, std::initializer_list<TUnitPoint> units) {
  if (!Open()) return;
  uint8_t unit[kUnitSize] = {0, 0, type, 0, 0, 3, 0, 0, 0, 0};
  PutUInt16(unit + 8, static_cast<uint16_t>(units.size()));
  Put(unit, sizeof unit);
  uint16_t number = 0;
  for (const TUnitPoint& p : units) {
    PutUInt16(unit, ++number);
    PutFloat32(unit + 2, static_cast<float>(p.X));
    PutFloat32(unit + 6, static_cast<float>(p.Y));
    Put(unit, sizeof unit);
  }
}

void TGcaddExportWriter::ExportPoint(double x, double y) { Record(1, {{x, y}}); }

void TGcaddExportWriter::ExportLine(double x1, double y1, double x2, double y2) {
  Record(2, {{x1, y1}, {x2, y2}});
}

void TGcaddExportWriter::ExportCircle(double x, double y, double r) { Record(10, {{x, y}, {x, y + r}}); }

void TGcaddExportWriter::ExportArc(double x1, double y1, double x2, double y2, double x3, double y3) {
  double r1 = 0.0, a0 = 0.0, r2 = 0.0, a1 = 0.0;
  RectToPolar(x1 - x3, y1 - y3, r1, a0);
  RectToPolar(x2 - x3, y2 - y3, r2, a1);
  if (a1 < a0) a1 += 360.0;
  double dx = 0.0, dy = 0.0;
  PolarToRect((r1 + r2) / 2, (a0 + a1) / 2, dx, dy);
  Record(11, {{x1, y1}, {x3 + dx, y3 + dy}, {x2, y2}});
}

void TGcaddExportWriter::WriteTail() {
  const uint8_t end[kUnitSize] = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
  Put(end, sizeof end);
}
