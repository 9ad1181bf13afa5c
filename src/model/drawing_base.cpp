#include "model/drawing_base.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "model/model_services.h"
#include "model/symbol_drawer.h"

TDrawingBase* DrawSurface = nullptr;

const std::array<TColor, 8> ToolColors = {0xFFFF00, 0x0000FF, 0x00FFFF, 0x00FF00,
                                          0xFF0000, 0xFF00FF, 0xC0C0C0, 0xFFFFFF};

namespace {

TPenStyle PenStyleOf(uint8_t style) {
  return style <= psInsideFrame ? static_cast<TPenStyle>(style) : psSolid;
}
TPenMode PenModeOf(uint8_t mode) {
  return mode <= pmNotXor ? static_cast<TPenMode>(mode) : pmCopy;
}
int32_t RoundToInt(double v) { return SaturatingRound(v); }

}  // namespace

TDrawingBase::TDrawingBase(TCanvas* canvas, TColor backColor)
    : SymbolDrawer(new TCanvasSymbolDrawer(canvas, 4)), BackColor(backColor), Canvas(canvas) {}

TDrawingBase::~TDrawingBase() { delete SymbolDrawer; }

void TDrawingBase::Reset() {
  Canvas->Pen.Style = psSolid;
  PenStyle = 0;
  Canvas->Pen.Mode = pmCopy;
  PenMode = 4;
  Canvas->Pen.Color = clAqua;
  Canvas->Font.Color = clAqua;
  Color = clAqua;
  Canvas->Font.Bold = Canvas->Font.Italic = Canvas->Font.Underline = false;
  Canvas->Font.Size = 10;
  Canvas->Font.Name = "System";
  Canvas->Pen.Width = 1;
  Canvas->BackColor = BackColor;
}

void TDrawingBase::SetPenStyle(uint8_t style) {
  Canvas->Pen.Style = PenStyleOf(style);
  Canvas->Pen.Width = 1;
  Canvas->BackColor = BackColor;
  PenStyle = style;
}

void TDrawingBase::SetPenStyleIfChanged(uint8_t style) {
  if (style != PenStyle) SetPenStyle(style);
}

void TDrawingBase::SetPenMode(uint8_t mode) {
  Canvas->Pen.Mode = PenModeOf(mode);
  Canvas->Pen.Width = 1;
  PenMode = mode;
}

void TDrawingBase::SetPenModeIfChanged(uint8_t mode) {
  if (mode != PenMode) SetPenMode(mode);
}

void TDrawingBase::SetColor(TColor colour) {
  Canvas->Pen.Color = colour;
  Canvas->Font.Color = colour;
  Canvas->Pen.Width = 1;
  Color = colour;
}

void TDrawingBase::SetColorIfChanged(TColor colour) {
  if (colour != Color) SetColor(colour);
}

TColor TDrawingBase::GetColor() { return Canvas->Pen.Color; }

void TDrawingBase::DrawPixel(int32_t x, int32_t y) {
  int32_t dx, dy;
  WorldToDevice(x, y, dx, dy);
  Canvas->SetPixel(dx, dy, Color);
  Dirty = true;
}

void TDrawingBase::DrawPlusMark(int32_t x, int32_t y) {
  int32_t dx, dy;
  WorldToDevice(x, y, dx, dy);
  if (!DevicePointNear(dx, dy, 3)) return;
  Canvas->MoveTo(dx - 3, dy);
  Canvas->LineTo(dx + 3, dy);
  Canvas->MoveTo(dx, dy - 3);
  Canvas->LineTo(dx, dy + 3);
  Dirty = true;
}

void TDrawingBase::DrawXMark(int32_t x, int32_t y) {
  int32_t dx, dy;
  WorldToDevice(x, y, dx, dy);
  if (!DevicePointNear(dx, dy, 3)) return;
  Canvas->MoveTo(dx - 2, dy - 2);
  Canvas->LineTo(dx + 3, dy + 3);
  Canvas->MoveTo(dx - 2, dy + 2);
  Canvas->LineTo(dx + 3, dy - 3);
  Dirty = true;
}

void TDrawingBase::DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  int32_t dx1, dy1, dx2, dy2;
  WorldToDevice(x1, y1, dx1, dy1);
  WorldToDevice(x2, y2, dx2, dy2);
  DrawDeviceLine(dx1, dy1, dx2, dy2);
}

void TDrawingBase::DrawDeviceLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  Canvas->MoveTo(x1, y1);
  Canvas->LineTo(x2, y2);
  Dirty = true;
}

void TDrawingBase::DrawCircle(double cx, double cy, double r) {
  int32_t x1, y1, x2, y2;
  WorldToDevice(cx - r, cy - r, x1, y1);
  WorldToDevice(cx + r, cy + r, x2, y2);
  double rd = LengthToDeviceReal(SaturatingRound(r));
  if (rd < 1.5) {
    Canvas->MoveTo(x1, y1);
    Canvas->LineTo(x1, TCircleMark::Beyond(y1));
  } else {
    // The corners may lie at the end of the device's range.
    const int32_t below = TCircleMark::Beyond(y1), right = TCircleMark::Beyond(x2);
    Canvas->Arc(x1, below, right, y2, x1, y1, x2, y2);
    Canvas->Arc(x1, below, right, y2, x2, y2, x1, y1);
  }
  Dirty = true;
}

void ArcStepTransform(double sx, double sy, double ex, double ey, double cx, double cy, double t,
                      int32_t& n, double& theta) {
  double r, aS;
  RectToPolar(sx - cx, sy - cy, r, aS);
  if (!(r > 0.0)) {
    n = 1;
    theta = 0.0;
    return;
  }
  double c = (r - t) / r;
  if (c < -1.0) c = -1.0;
  if (c > 1.0) c = 1.0;
  double s = 2.0 * ArcCosDeg(c);
  if (std::fabs(s) < 0.5) s = 1.0;
  double aE = aS;
  if (!(ex == sx && ey == sy)) {
    double rE;
    RectToPolar(ex - cx, ey - cy, rE, aE);
  }
  double sweep;
  if (std::fabs(aS - aE) < 0.0001) {
    sweep = 360.0;
  } else {
    sweep = aE - aS;
    if (sweep < 0.0) sweep += 360.0;
  }
  double q = std::fabs(sweep / s);
  if (!(q <= 100.0)) q = 100.0;
  n = static_cast<int32_t>(q);
  if (q > n) ++n;
  if (n < 1) n = 1;
  theta = sweep / n;
}

void TDrawingBase::DrawArc(bool clockwise, double x1, double y1, double x2, double y2, double xc,
                           double yc) {
  double p1x, p1y, p2x, p2y, cx, cy;
  WorldToDeviceReal(x1, y1, p1x, p1y);
  WorldToDeviceReal(x2, y2, p2x, p2y);
  WorldToDeviceReal(xc, yc, cx, cy);
  if (std::fabs(p1x - p2x) < 0.01 && std::fabs(p1y - p2y) < 0.01) return;
  if (MirrorsY() != clockwise) {
    std::swap(p1x, p2x);
    std::swap(p1y, p2y);
  }
  // Start at P2 and turn towards P1 in increasing device angle.
  int32_t n;
  double theta;
  ArcStepTransform(p2x, p2y, p1x, p1y, cx, cy, ArcDisplayTolerance(), n, theta);
  double rad = theta * 0.01745329252;
  double cs = std::cos(rad), sn = std::sin(rad);
  TDevicePolyline line;
  double x = p2x, y = p2y;
  line.P[2] = {RoundToInt(x), RoundToInt(y)};
  for (int32_t i = 1; i <= n; ++i) {
    double nx = cx + cs * (x - cx) - sn * (y - cy);
    double ny = cy + sn * (x - cx) + cs * (y - cy);
    x = nx;
    y = ny;
    line.P[2 + i] = {RoundToInt(x), RoundToInt(y)};
  }
  line.P[1].X = n + 2;
  DrawPolyline(line);
}

void TDrawingBase::DrawCircleDia(double cx, double cy, double d) { DrawCircle(cx, cy, d * 0.5); }

bool TDrawingBase::IsScreen() { return false; }

void TDrawingBase::MarkStale(double minX, double minY, double maxX, double maxY, double margin,
                             int32_t pixels) {
  Dirty = true;
  TRect canvas;
  if (!CanvasBox(canvas)) return;
  double x1, y1, x2, y2;
  WorldToDeviceReal(minX - margin, maxY + margin, x1, y1);
  WorldToDeviceReal(maxX + margin, minY - margin, x2, y2);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  // Within the canvas (the conversion keeps to the 32-bit range).
  auto within = [](double v, int low, int high) { return int(std::clamp(std::floor(v), double(low), double(high))); };
  const TRect box{within(x1 - pixels, canvas.Left, canvas.Right), within(y1 - pixels, canvas.Top, canvas.Bottom),
                  within(x2 + pixels + 1, canvas.Left, canvas.Right), within(y2 + pixels + 1, canvas.Top, canvas.Bottom)};
  if (box.Left >= box.Right || box.Top >= box.Bottom) return;
  if (StaleBox.Left >= StaleBox.Right || StaleBox.Top >= StaleBox.Bottom) {
    StaleBox = box;
    return;
  }
  StaleBox = {std::min(StaleBox.Left, box.Left), std::min(StaleBox.Top, box.Top),
              std::max(StaleBox.Right, box.Right), std::max(StaleBox.Bottom, box.Bottom)};
}

bool TDrawingBase::MirrorsY() { return false; }

void TDrawingBase::DrawPolyline(const TDevicePolyline& line) {
  int32_t last = line.P[1].X;
  if (last < 2) return;
  if (last >= TDevicePolyline::Entries) last = TDevicePolyline::Entries - 1;
  Canvas->MoveTo(line.P[2].X, line.P[2].Y);
  for (int32_t i = 3; i <= last; ++i) Canvas->LineTo(line.P[i].X, line.P[i].Y);
  Dirty = true;
}

TColor TDrawingBase::ColorOfTool(int32_t tool) {
  int64_t i = (int64_t(tool) - 1) % 8;
  if (i < 0) i += 8;
  return ToolColors[size_t(i)];
}

bool TDrawingBase::DevicePointNear(int32_t x, int32_t y, int32_t margin) {
  // Marks reach at most a few hundred pixels from their point.
  constexpr int32_t Safe = 1 << 30;
  (void)margin;
  return x > -Safe && x < Safe && y > -Safe && y < Safe;
}

TPictureSurface* TDrawingBase::PlainPicture(int32_t, TRect&) { return nullptr; }

bool TDrawingBase::CanvasBox(TRect&) { return false; }
