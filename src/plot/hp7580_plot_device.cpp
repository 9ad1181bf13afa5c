#include "plot/hp7580_plot_device.h"

#include <cmath>

#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/geometry_matrix.h"
#include "foundation/utilities.h"
#include "plot/plot_dialogs.h"

int32_t PlotterUnits(double v) { return SaturatingRound(v * 1.016); }

namespace {
std::string Num(int32_t v) { return IntToShortStr(v); }
constexpr int32_t PenCount = 8;
}  // namespace

bool THP7580PlotDevice::BeginPlot() {
  if (!RunHP7580Dialog(FineCircles)) return false;
  OpenOutput();
  WriteLine("IN;");
  WriteLine("VS" + Num(Velocity) + ";");
  WriteLine("DT\r;");
  WriteLine("SI0.12,0.12;");
  WriteLine("CT 1;");
  return true;
}

void THP7580PlotDevice::EndPlot() {
  WriteLine("SP0;NR;");
  CommitOutput();
}

void THP7580PlotDevice::SelectPen(int32_t pen) {
  if (pen == LastPen) return;
  int32_t n = (pen - 1) % (PenCount - 1);
  if (n < 0) n += PenCount - 1;
  WriteLine("SP" + Num(n + 1) + ";");
  LastPen = pen;
}

void THP7580PlotDevice::Move(const char* command, int32_t x, int32_t y) {
  x += PaperOffsetX;
  y += PaperOffsetY;
  if (x != LastX || y != LastY || ForceMove) {
    WriteLine(std::string(command) + Num(PlotterUnits(x)) + "," + Num(PlotterUnits(y)) + ";");
    LastX = x;
    LastY = y;
  }
  ForceMove = false;
}

void THP7580PlotDevice::DrawCircle(double cx, double cy, double r) {
  int32_t dx, dy;
  WorldToDevice(cx, cy, dx, dy);
  const int32_t d = LengthToDevice(SaturatingRound(2 * r));
  if (Outcode(dx + d / 2.0, dy + d / 2.0) != 0 || Outcode(dx - d / 2.0, dy - d / 2.0) != 0) {
    DrawArc(true, std::nearbyint(cx - r), cy, std::nearbyint(cx + r), cy, cx, cy);
    DrawArc(true, std::nearbyint(cx + r), cy, std::nearbyint(cx - r), cy, cx, cy);
    return;
  }
  PenUpMove(dx, dy);
  const bool small = d < 500;
  if (small == ChordModeOne) {
    WriteLine(small ? "CT0;" : "CT1;");
    ChordModeOne = !small;
  }
  const char* tolerance = small ? (FineCircles ? ",12;" : ",45;") : (FineCircles ? ",3;" : ",20;");
  WriteLine("CI" + Num(PlotterUnits(d * 0.5)) + tolerance);
  ForceMove = true;
  Dirty = true;
}

void THP7580PlotDevice::DrawArc(bool clockwise, double x1, double y1, double x2, double y2,
                                double xc, double yc) {
  double sx, sy, ex, ey, cx, cy;
  WorldToDeviceReal(x1, y1, sx, sy);
  WorldToDeviceReal(x2, y2, ex, ey);
  WorldToDeviceReal(xc, yc, cx, cy);
  double r, a0;
  RectToPolar(sx - cx, sy - cy, r, a0);
  if (Outcode(cx + r, cy + r) != 0 || Outcode(cx - r, cy - r) != 0) {
    TDrawingBase::DrawArc(clockwise, x1, y1, x2, y2, xc, yc);
    return;
  }
  PenUpMove(SaturatingRound(sx), SaturatingRound(sy));
  double tx = ex - cx, ty = ey - cy;
  RotatePoint(tx, ty, -a0);
  double rr, sweep;
  RectToPolar(tx, ty, rr, sweep);
  if (clockwise) sweep -= 360.0;
  if (SaturatingRound(sweep) != 0) {
    if (!ChordModeOne) {
      WriteLine("CT1;");
      ChordModeOne = true;
    }
    WriteLine("PD;AA" + Num(PlotterUnits(cx + PaperOffsetX)) + "," +
              Num(PlotterUnits(cy + PaperOffsetY)) + "," + Num(SaturatingRound(sweep)) + ",3;");
  }
  LastX = SaturatingRound(ex) + PaperOffsetX;
  LastY = SaturatingRound(ey) + PaperOffsetY;
  Dirty = true;
}
