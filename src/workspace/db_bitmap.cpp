#include "workspace/db_bitmap.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <typeinfo>

#include "foundation/display_units.h"
#include "foundation/settings.h"

TEncapsulatingBitmap* OffscreenBitmap = nullptr;
TDBBitmap* DBBitmap = nullptr;

namespace {

constexpr double UnitsPerInch = 25400000.0;
constexpr double DeviceLimit = 2147483647.0;
constexpr TColor ShadeColor = 0x808080;

// Rounds a value already inside the 32-bit range, halves to even.
int32_t RoundInRange(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

}  // namespace

TDBBitmap::TDBBitmap(TEncapsulatingBitmap& bitmap)
    : TPictureSurface(&bitmap.Canvas(), BackgroundColor), Bitmap(&bitmap) {
  Left = 0.0;
  Top = 0.0;
}

bool TDBBitmap::DevicePointNear(int32_t x, int32_t y, int32_t margin) {
  int64_t m = std::max(margin, 0);
  return x >= -m && y >= -m && x <= W() + m && y <= H() + m;
}

TPictureSurface* TDBBitmap::PlainPicture(int32_t margin, TRect& near) {
  if (typeid(*this) != typeid(TDBBitmap)) return nullptr;
  // The box of DevicePointNear, when it fits the 32-bit range.
  const int64_t m = std::max(margin, 0), right = W() + m, bottom = H() + m;
  if (right > INT32_MAX || bottom > INT32_MAX) return nullptr;
  near = {int32_t(-m), int32_t(-m), int32_t(right), int32_t(bottom)};
  return this;
}

bool TDBBitmap::CanvasBox(TRect& box) {
  const TBitmap& pixels = Bitmap->Pixels();
  box = {0, 0, pixels.Width(), pixels.Height()};
  return true;
}

bool TDBBitmap::ContainsPoint(double x, double y) const {
  double right = Left + W() / PixelsPerInch * UnitsPerInch;
  double bottom = Top - H() / PixelsPerInch * UnitsPerInch;
  return Left <= x && x <= right && bottom <= y && y <= Top;
}

int32_t TDBBitmap::PictureLeft() const { return RoundInRange(std::max(Left, -DeviceLimit)); }

int32_t TDBBitmap::PictureRight() const {
  return RoundInRange(std::min(Left + W() / PixelsPerInch * UnitsPerInch, DeviceLimit));
}

int32_t TDBBitmap::PictureTop() const { return RoundInRange(std::min(Top, DeviceLimit)); }

int32_t TDBBitmap::PictureBottom() const {
  return RoundInRange(std::max(Top - H() / PixelsPerInch * UnitsPerInch, -DeviceLimit));
}

void TDBBitmap::Clear() {
  TCanvas& c = *Canvas;
  c.Pen.Style = psSolid;
  c.Pen.Color = BackgroundColor;
  c.Pen.Width = 0;
  c.Pen.Mode = pmCopy;
  c.Brush.Style = bsSolid;
  c.Brush.Color = BackgroundColor;
  c.Rectangle(0, 0, W(), H());
  // Keep the remembered pen in step with the canvas, so the next IfChanged
  // call sees the truth.
  PenStyle = 0;
  PenMode = 4;
  Color = BackgroundColor;
  Dirty = true;
}

void TDBBitmap::DrawGrid() {
  static constexpr std::array<double, 10> Steps = {0.025, 0.05, 0.1, 1, 5, 10, 25, 100, 250, 500};
  const double u = UnitsPerDisplayUnit > 0 ? UnitsPerDisplayUnit : UnitsPerInch;
  double span = std::max(double(PictureRight()) - PictureLeft(),
                         double(PictureTop()) - PictureBottom()) /
                u;
  GridStep = 500;
  for (double s : Steps)
    if (s * 100 >= span) {
      GridStep = s;
      break;
    }
  double x0 = SaturatingRound(PictureLeft() / u / GridStep) * GridStep * u;
  double y0 = SaturatingRound(PictureTop() / u / GridStep) * GridStep * u;
  double dx, dy;
  WorldToDeviceReal(x0, y0, dx, dy);
  double step = LengthToDeviceReal(SaturatingRound(u * GridStep));
  std::array<int32_t, 100> cols, rows;
  for (size_t i = 0; i < 100; ++i) {
    cols[i] = SaturatingRound(dx);
    rows[i] = SaturatingRound(dy);
    dx += step;
    dy += step;
  }
  TCanvas& c = *Canvas;
  c.Pen.Style = psSolid;
  c.Pen.Color = GridAndAxisColor;
  c.Pen.Width = 1;
  c.Pen.Mode = pmCopy;
  PenStyle = 0;
  PenMode = 4;
  Color = GridAndAxisColor;
  // Each dot is one pixel in copy mode; dots off the picture are left out.
  const int32_t w = W(), h = H();
  for (int32_t col : cols) {
    if (col < 0 || col >= w) continue;
    for (int32_t row : rows)
      if (row >= 0 && row < h) c.SetPixel(col, row, GridAndAxisColor);
  }
  Dirty = true;
}

void TDBBitmap::DrawZeroLines() {
  TCanvas& c = *Canvas;
  c.BackColor = BackgroundColor;
  c.Pen.Style = psDashDot;
  c.Pen.Color = GridAndAxisColor;
  c.Pen.Width = 1;
  c.Pen.Mode = pmCopy;
  PenStyle = 3;
  PenMode = 4;
  Color = GridAndAxisColor;
  int32_t x1, y1, x2, y2;
  WorldToDevice(0, DatabaseLimit, x1, y1);
  WorldToDevice(0, -DatabaseLimit, x2, y2);
  c.MoveTo(x1, y1);
  c.LineTo(x2, y2);
  WorldToDevice(DatabaseLimit, 0, x1, y1);
  WorldToDevice(-DatabaseLimit, 0, x2, y2);
  c.MoveTo(x1, y1);
  c.LineTo(x2, y2);
  Dirty = true;
}

void TDBBitmap::ShadeOutsideLimits() {
  TCanvas& c = *Canvas;
  c.Pen.Style = psSolid;
  c.Pen.Width = 0;
  c.Pen.Mode = pmCopy;
  c.Pen.Color = ShadeColor;
  c.Brush.Style = bsSolid;
  c.Brush.Color = ShadeColor;
  PenStyle = 0;
  PenMode = 4;
  Color = ShadeColor;
  int32_t l, t, r, b;
  WorldToDevice(-DatabaseLimit, DatabaseLimit, l, t);
  WorldToDevice(DatabaseLimit, -DatabaseLimit, r, b);
  const int32_t w = W(), h = H();
  if (ColumnInside(l)) c.Rectangle(0, 0, l, h);
  if (RowInside(t)) c.Rectangle(0, 0, w, t);
  if (ColumnInside(r)) c.Rectangle(r, 0, w, h);
  if (RowInside(b)) c.Rectangle(0, b, w, h);
  Dirty = true;
}
