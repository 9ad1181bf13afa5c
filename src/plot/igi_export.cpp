#include "plot/igi_export.h"


#include "foundation/byte_order.h"

namespace {
// The header record's X and Y hold this bit pattern.
constexpr uint32_t kHeaderMark = 0x7344FFBBu;
constexpr double kPlusArm = 0.025;
constexpr double kCircleGap = 0.00005;
}  // namespace

void TIgiPostExportWriter::Record(int16_t type, double x, double y, int16_t word) {
  uint8_t bytes[IgiPostRecordSize];
  PutUInt16(bytes, static_cast<uint16_t>(type));
  PutFloat32(bytes + 2, static_cast<float>(x));
  PutFloat32(bytes + 6, static_cast<float>(y));
  PutUInt16(bytes + 10, static_cast<uint16_t>(word));
  Put(bytes, sizeof bytes);
}

void TIgiPostExportWriter::WriteHead() {
  uint8_t bytes[IgiPostRecordSize];
  PutUInt16(bytes, 60);
  PutInt32(bytes + 2, static_cast<int32_t>(kHeaderMark));
  PutInt32(bytes + 6, static_cast<int32_t>(kHeaderMark));
  PutUInt16(bytes + 10, 0xFF33);
  Put(bytes, sizeof bytes);
  Record(61, 0, 0, 200);
  Record(62, 0, 0, 1);
  Record(63, 0, 0, 257);
  Record(64, 0, 0, 500);
  Record(10, 0.001, 0.001, 0);
}

void TIgiPostExportWriter::WriteTail() { Record(9, 0, 0, 0); }

void TIgiPostExportWriter::ExportPoint(double x, double y) {
  ExportLine(x, y - kPlusArm, x, y + kPlusArm);
  ExportLine(x - kPlusArm, y, x + kPlusArm, y);
}

void TIgiPostExportWriter::ExportLine(double x1, double y1, double x2, double y2) {
  if (!Open()) return;
  Record(2, x1, y1, 0);
  Record(3, x2, y2, 0);
}

void TIgiPostExportWriter::ExportArc(double x1, double y1, double x2, double y2, double x3, double y3) {
  if (!Open()) return;
  Record(30, x3, y3, 0);
  Record(36, x1, y1, 1);
  Record(37, x2, y2, 0);
}

void TIgiPostExportWriter::ExportCircle(double x, double y, double r) {
  if (!Open()) return;
  Record(30, x, y, 0);
  Record(36, x - kCircleGap, y + r, 1);
  Record(37, x + kCircleGap, y + r, 0);
}
