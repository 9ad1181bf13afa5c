#include "plot/gerber_plot_device.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/utilities.h"
#include "plot/plot_dialogs.h"

bool TGerberPlotDevice::BeginPlot() {
  if (!RunGerberDialog(CircularInterpolation, FlashHoles)) return false;
  OpenOutput();
  OutputFactor = 1000.0 / ScaleX;
  StartOutput();
  return true;
}

void TGerberPlotDevice::StartOutput() {}

void TRS274XPlotDevice::StartOutput() {
  WriteRawLine("G04 KORVEX CHECKPLOT*");
  WriteRawLine("%FSLAX23Y23*%");
  WriteRawLine("%MOIN*%");
  WriteRawLine("%INKORVEX_CHECKPLOT*%");
  // D10 is the 0.010 in pen; D11.. grow by 0.001 in.
  WriteRawLine("%ADD10C,0.010*%");
  char line[32];
  for (int n = 11; n <= 309; ++n) {
    std::snprintf(line, sizeof line, "%%ADD%dC,%.3f*%%", n, (n - 10) / 1000.0);
    WriteRawLine(line);
  }
  // Arcs are written quadrant by quadrant, with unsigned centre offsets.
  WriteLine("G74");
  WriteLine("G01");
  WriteLine("D10");
  SelectedPen = 1;
  Aperture = 10;
}

void TGerberPlotDevice::EndPlot() {
  WriteLine("M02");
  CommitOutput();
}

void TGerberPlotDevice::WriteLine(const std::string& s) { Emit(s + "*\n"); }
void TGerberPlotDevice::WriteRawLine(const std::string& s) { Emit(s + "\n"); }

std::string TGerberPlotDevice::FormatCoordinates(int32_t x, int32_t y, bool offsets) {
  if (!offsets) {
    x += PaperOffsetX;
    y += PaperOffsetY;
  }
  std::string s;
  if (offsets || x != LastX) s += (offsets ? "I" : "X") + IntToShortStr(SaturatingRound(x * OutputFactor));
  if (offsets || y != LastY) s += (offsets ? "J" : "Y") + IntToShortStr(SaturatingRound(y * OutputFactor));
  if (!offsets) {
    LastX = x;
    LastY = y;
  }
  return s;
}

void TGerberPlotDevice::WriteBlock(const std::string& gCode, const std::string& words,
                                   const char* dCode, bool dCodeDue) {
  if (!Extended()) {
    WriteLine(gCode + words + (dCodeDue ? dCode : ""));
    return;
  }
  if (!gCode.empty()) WriteLine(gCode == "G1" ? "G01" : gCode == "G2" ? "G02" : "G03");
  // Every coordinate block states its operation.
  if (!words.empty()) WriteLine(words + dCode);
}

void TGerberPlotDevice::SelectPen(int32_t pen) {
  int32_t n = pen % 100;
  if (n <= 0) n = 1;
  if (n == SelectedPen) return;
  SelectedPen = n;
  // RS-274X: the pen's aperture is selected by the draw that needs it (a
  // flash takes the aperture of its hole).
  if (!Extended()) {
    WriteLine("G54D" + IntToShortStr(n + 9));
    WriteLine("D2");
  }
  PenDown = false;
}

void TGerberPlotDevice::PenUpMove(int32_t x, int32_t y) {
  const std::string words = FormatCoordinates(x, y, false);
  std::string g;
  if (!LinearInForce) {
    g = "G1";
    LinearInForce = true;
  }
  WriteBlock(g, words, "D2", PenDown);
  PenDown = false;
}

void TGerberPlotDevice::SelectAperture(int32_t dCode) {
  if (dCode == Aperture) return;
  Aperture = dCode;
  WriteLine("D" + IntToShortStr(dCode));
}

void TGerberPlotDevice::TakePenAperture() {
  if (Extended() && SelectedPen > 0) SelectAperture(SelectedPen + 9);
}

void TGerberPlotDevice::PenDownDraw(int32_t x, int32_t y) {
  TakePenAperture();
  const std::string words = FormatCoordinates(x, y, false);
  std::string g;
  if (!LinearInForce) {
    g = "G1";
    LinearInForce = true;
  }
  WriteBlock(g, words, "D1", !PenDown);
  PenDown = true;
}

void TGerberPlotDevice::FlashAt(int32_t x, int32_t y) {
  if (!LinearInForce) {
    WriteLine(Extended() ? "G01" : "G1");
    LinearInForce = true;
  }
  std::string words = FormatCoordinates(x, y, false);
  // A flash at the current point still names a coordinate in RS-274X.
  if (Extended() && words.empty()) words = "X" + IntToShortStr(SaturatingRound(x * OutputFactor));
  WriteLine(words + "D3");
  PenDown = false;
}

void TGerberPlotDevice::DrawCircleDia(double cx, double cy, double d) {
  if (!FlashHoles) {
    TDrawingBase::DrawCircleDia(cx, cy, d);
    return;
  }
  // RS-274X: the aperture of the hole's size in thousandths of an inch on
  // the paper, as the file's table holds it (D11 0.001 to D309 0.299 in); a
  // larger hole is drawn as its circle.
  int32_t dCode = 0;
  if (Extended()) {
    const double thousandths = LengthToDeviceReal(SaturatingRound(d)) * OutputFactor;
    if (!(thousandths < 299.5)) {
      TDrawingBase::DrawCircleDia(cx, cy, d);
      return;
    }
    dCode = 10 + std::max<int32_t>(1, SaturatingRound(thousandths));
  }
  double x, y;
  WorldToDeviceReal(cx, cy, x, y);
  if (Outcode(x, y) == 0) {
    if (dCode != 0) SelectAperture(dCode);
    FlashAt(SaturatingRound(x), SaturatingRound(y));
  }
  Dirty = true;
}

void TGerberPlotDevice::WriteArcSegment(const char* prefix, double cx, double cy, double r,
                                        double angle, double& sx, double& sy) {
  double px, py;
  PolarToRect(r, angle, px, py);
  px += cx;
  py += cy;
  TakePenAperture();
  const std::string to = FormatCoordinates(SaturatingRound(px), SaturatingRound(py), false);
  const std::string offset = FormatCoordinates(SaturatingRound(std::fabs(sx - cx)),
                                               SaturatingRound(std::fabs(sy - cy)), true);
  if (Extended()) {
    WriteLine(prefix[1] == '2' ? "G02" : "G03");
    WriteLine(to + offset + "D1");
  } else {
    WriteLine(prefix + to + offset + (PenDown ? "" : "D1"));
  }
  PenDown = true;
  sx = px;
  sy = py;
}

namespace {
double Normalized(double a) {
  a = std::fmod(a, 360.0);
  if (a < 0) a += 360.0;
  return a;
}
bool IsMultipleOf90(double a) { return std::fmod(a, 90.0) == 0.0; }
}  // namespace

void TGerberPlotDevice::DrawArc(bool clockwise, double x1, double y1, double x2, double y2,
                                double xc, double yc) {
  if (!CircularInterpolation) {
    TDrawingBase::DrawArc(clockwise, x1, y1, x2, y2, xc, yc);
    LinearInForce = false;
    return;
  }
  if (x1 == x2 && y1 == y2) return;
  double ax, ay, bx, by, cx, cy;
  WorldToDeviceReal(x1, y1, ax, ay);
  WorldToDeviceReal(x2, y2, bx, by);
  WorldToDeviceReal(xc, yc, cx, cy);
  double r1, a1, r2, a2;
  RectToPolar(ax - cx, ay - cy, r1, a1);
  RectToPolar(bx - cx, by - cy, r2, a2);
  if (Outcode(cx + r2, cy + r2) != 0 || Outcode(cx - r2, cy - r2) != 0) {
    TDrawingBase::DrawArc(clockwise, x1, y1, x2, y2, xc, yc);
    return;
  }
  PenUpMove(SaturatingRound(ax), SaturatingRound(ay));
  double sx = ax, sy = ay;
  constexpr double Step = 0.000001, Close = 0.00001;
  if (clockwise) {
    auto quadrant = [](double a) { return int(std::floor(a / 90.0)); };
    double a = Normalized(a1 - Step);
    // A whole turn has at most five quadrant pieces; the count also stops
    // angles that rounding keeps apart from every boundary.
    for (int n = 0; n < 5 && (quadrant(a) != quadrant(a2) || a2 - a > Close); ++n) {
      double below = std::floor(a / 90.0) * 90.0;
      if (below == a) below -= 90.0;
      a = below < 0 ? 270.0 : below;
      WriteArcSegment("G2", cx, cy, r1, a, sx, sy);
      a = Normalized(a - Step);
    }
    WriteArcSegment("G2", cx, cy, r1, a2, sx, sy);
  } else {
    auto quadrant = [](double a) { return int(std::ceil(a / 90.0)); };
    double a = Normalized(a1 + Step);
    if (a2 < Close) a2 += 360.0;
    for (int n = 0; n < 5 && (quadrant(a) != quadrant(a2) || a - a2 > Close); ++n) {
      if (!IsMultipleOf90(a)) a = std::ceil(a / 90.0) * 90.0;
      if (a >= 360.0) a = 0.0;
      WriteArcSegment("G3", cx, cy, r1, a, sx, sy);
      a += Step;
    }
    WriteArcSegment("G3", cx, cy, r1, a2, sx, sy);
  }
  LinearInForce = false;
  // RS-274X goes back to linear interpolation at once, so that no later
  // block (an aperture selection) is read under the arc mode.
  if (Extended()) {
    WriteLine("G01");
    LinearInForce = true;
  }
  Dirty = true;
}
