// The composite drawing operations of TDrawingBase: stroke numbers, the
// arrow and origin marks, rout lines and arcs (centre line, kerf or
// outline), their direction arrows, the feed-rate and Z-offset marks and
// table moves.
//
// Apart from DrawOriginMark, which paints on the canvas, they reach the
// device only through the primitive operations (conversion, DrawLine,
// DrawDeviceLine, DrawCircle, DrawArc, SetColor, SetPenMode), so every
// surface renders them at its own resolution. World arithmetic runs in
// 64-bit integers or doubles and is saturated back to the 32-bit range, so
// paths near the database limits never wrap.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>

#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/settings.h"
#include "model/drawing_base.h"
#include "model/symbol_drawer.h"

const std::array<std::array<std::array<uint8_t, 2>, 16>, 10> DigitStrokes = {{
    {{{1, 2}, {2, 1}, {3, 1}, {4, 2}, {4, 6}, {3, 7}, {2, 7}, {1, 6}, {1, 2}}},
    {{{1, 3}, {3, 1}, {3, 7}, {2, 7}, {4, 7}}},
    {{{1, 2}, {2, 1}, {3, 1}, {4, 2}, {4, 3}, {1, 7}, {4, 7}}},
    {{{1, 2}, {2, 1}, {3, 1}, {4, 2}, {4, 3}, {3, 4}, {2, 4}, {3, 4}, {4, 5}, {4, 6}, {3, 7},
      {2, 7}, {1, 6}}},
    {{{3, 7}, {3, 1}, {1, 4}, {4, 4}}},
    {{{4, 1}, {1, 1}, {1, 4}, {3, 4}, {4, 5}, {4, 6}, {3, 7}, {2, 7}, {1, 6}}},
    {{{3, 1}, {1, 5}, {1, 6}, {2, 7}, {3, 7}, {4, 6}, {4, 5}, {3, 4}, {2, 4}, {1, 5}}},
    {{{1, 1}, {4, 1}, {2, 7}}},
    {{{2, 4}, {1, 3}, {1, 2}, {2, 1}, {3, 1}, {4, 2}, {4, 3}, {3, 4}, {2, 4}, {1, 5}, {1, 6},
      {2, 7}, {3, 7}, {4, 6}, {4, 5}, {3, 4}}},
    {{{2, 7}, {4, 3}, {4, 2}, {3, 1}, {2, 1}, {1, 2}, {1, 3}, {2, 4}, {3, 4}, {4, 3}}},
}};

const std::array<std::array<int32_t, 2>, 6> ArrowMarkPoints = {
    {{-7, 8}, {-5, 2}, {-15, 2}, {-15, -2}, {-5, -2}, {-7, -8}}};

namespace {

constexpr double UnitsPerInch = 25400000.0;
constexpr int64_t ArrowLimit = 5080000;  // 0.2 in: shorter paths carry no arrow
constexpr int64_t TenthInch = 2540000;
// The most zigzag legs a Z-offset mark draws: a width far below the path's
// length would otherwise ask for millions of legs, all finer than a pixel.
constexpr int64_t MaxZigzagLegs = 10000;

int32_t Sat(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, -2147483647LL, 2147483647LL));
}
int32_t Rnd(double v) { return SaturatingRound(v); }

double Length(int64_t dx, int64_t dy) {
  return std::sqrt(double(dx) * double(dx) + double(dy) * double(dy));
}

// Angle difference normalised to [0, 360).
double Norm360(double a) {
  while (a < 0.0) a += 360.0;
  while (a >= 360.0) a -= 360.0;
  return a;
}

struct TPolar {
  double R = 0.0;
  double A = 0.0;
};

TPolar PolarOf(int64_t x, int64_t y, int64_t cx, int64_t cy) {
  TPolar p;
  RectToPolar(double(x - cx), double(y - cy), p.R, p.A);
  return p;
}

// C + Round(polar(r, a)), rounded after adding the centre when asked.
void PolarPoint(int64_t cx, int64_t cy, double r, double a, int32_t& x, int32_t& y) {
  double dx, dy;
  PolarToRect(r, a, dx, dy);
  x = Sat(cx + Rnd(dx));
  y = Sat(cy + Rnd(dy));
}

// The count of feed-rate circles: one per 1/16 in at most, 160 div
// (feed div 127) at least one; 0 when the feed is below 127 (no density
// can be given) or the path is shorter than 1/32 in.
int32_t FeedCircleCount(double length, int64_t feed) {
  int64_t q = feed / 127;
  if (q <= 0) return 0;
  int64_t n = std::max<int64_t>(160 / q, 1);
  int64_t limit = Rnd(length / UnitsPerInch * 16.0);
  if (limit < 0) limit = 0;
  return int32_t(std::min(n, limit));
}

// The strokes of the axis letters, centred on (x, y).
void AxisLetterX(TCanvas& c, int32_t x, int32_t y) {
  c.MoveTo(x - 4, y - 4);
  c.LineTo(x + 4, y + 4);
  c.MoveTo(x - 4, y + 4);
  c.LineTo(x + 4, y - 4);
}
void AxisLetterY(TCanvas& c, int32_t x, int32_t y) {
  c.MoveTo(x - 4, y - 4);
  c.LineTo(x, y);
  c.LineTo(x + 4, y - 4);
  c.MoveTo(x, y);
  c.LineTo(x, y + 4);
}

}  // namespace

// ---- Stroke numbers and marks --------------------------------------------------------

void TDrawingBase::DrawNumber(int32_t x, int32_t y, int32_t n) {
  constexpr double u = 1016000.0;  // 0.04 in
  std::string text = std::to_string(n);
  double cell = double(x) + 2 * u;
  for (char ch : text) {
    if (ch >= '0' && ch <= '9') {
      const auto& glyph = DigitStrokes[size_t(ch - '0')];
      int32_t px = 0, py = 0;
      for (size_t i = 0; i < glyph.size() && glyph[i][0] > 0; ++i) {
        int32_t dx, dy;
        WorldToDevice(cell + glyph[i][0] * u, double(y) + 10 * u - glyph[i][1] * u, dx, dy);
        if (i > 0) DrawDeviceLine(px, py, dx, dy);
        px = dx;
        py = dy;
      }
    }
    cell += 5 * u;
  }
  Dirty = true;
}

void TDrawingBase::DrawPolygonMark(int32_t x, int32_t y, double angle, TColor colour) {
  constexpr int64_t unit = 635000;  // 0.025 in
  TColor kept = Color;
  SetColor(colour);
  double rad = angle * 0.01745329252;
  double cs = std::cos(rad), sn = std::sin(rad);
  int32_t tipX, tipY;
  WorldToDevice(x, y, tipX, tipY);
  int32_t px = tipX, py = tipY;
  for (const auto& p : ArrowMarkPoints) {
    int64_t rx = Rnd(p[0] * cs - p[1] * sn);
    int64_t ry = Rnd(p[0] * sn + p[1] * cs);
    int32_t dx, dy;
    WorldToDevice(double(x) + double(rx * unit), double(y) - double(ry * unit), dx, dy);
    DrawDeviceLine(px, py, dx, dy);
    px = dx;
    py = dy;
  }
  DrawDeviceLine(px, py, tipX, tipY);
  SetColor(kept);
  Dirty = true;
}

void TDrawingBase::DrawOriginMark(int32_t x, int32_t y, TColor colour) {
  if (TracksStale) MarkStale(x, y, x, y, 0, 24);
  int32_t X, Y;
  WorldToDevice(x, y, X, Y);
  if (!DevicePointNear(X, Y, 20)) return;
  TCanvas& c = *Canvas;
  c.BackColor = colour;
  c.Pen.Style = psSolid;
  c.Pen.Color = colour;
  c.Font.Color = colour;
  Color = colour;
  c.Pen.Width = 1;
  c.Pen.Mode = pmCopy;
  // Arm directions per axis version: vertical (-1 up, +1 down), horizontal
  // (+1 right, -1 left), and whether the X letter sits on the vertical arm.
  struct TArms {
    int8_t V, H;
    bool XOnVertical;
  };
  static constexpr TArms Arms[8] = {{-1, 1, false}, {-1, 1, true},  {-1, -1, true}, {-1, -1, false},
                                    {1, -1, true},  {1, -1, false}, {1, 1, false},  {1, 1, true}};
  uint8_t v = Version >= 1 && Version <= 8 ? Version : 1;
  const TArms& a = Arms[v - 1];
  c.MoveTo(X, Y);
  c.LineTo(X, Y + 10 * a.V);
  c.MoveTo(X, Y);
  c.LineTo(X + 10 * a.H, Y);
  c.Pen.Width = 2;
  int32_t vx = X, vy = Y + 15 * a.V, hx = X + 15 * a.H, hy = Y;
  if (a.XOnVertical) {
    AxisLetterX(c, vx, vy);
    AxisLetterY(c, hx, hy);
  } else {
    AxisLetterX(c, hx, hy);
    AxisLetterY(c, vx, vy);
  }
  c.Pen.Width = 1;
  Dirty = true;
}

// ---- Straight rout paths ---------------------------------------------------------------

void TDrawingBase::DrawSlotOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                   int32_t width) {
  int64_t h = width / 2;
  int64_t ax, ay, bx, by, cx, cy, dx, dy;
  int64_t X1 = x1, Y1 = y1, X2 = x2, Y2 = y2;
  if (X1 == X2) {
    if (Y1 < Y2) std::swap(Y1, Y2);
    ax = X1 - h, ay = Y1, bx = X1 - h, by = Y2;
    cx = X1 + h, cy = Y1, dx = X1 + h, dy = Y2;
  } else if (Y1 == Y2) {
    if (X1 < X2) std::swap(X1, X2);
    ax = X1, ay = Y1 + h, bx = X2, by = Y1 + h;
    cx = X1, cy = Y1 - h, dx = X2, dy = Y1 - h;
  } else {
    double L = double(Rnd(Length(X1 - X2, Y1 - Y2)));
    int64_t oy = Rnd(double(X1 - X2) * double(h) / L);
    int64_t ox = Rnd(double(Y1 - Y2) * double(h) / L);
    ax = X1 - ox, ay = Y1 + oy, bx = X2 - ox, by = Y2 + oy;
    cx = X1 + ox, cy = Y1 - oy, dx = X2 + ox, dy = Y2 - oy;
  }
  DrawLine(Sat(ax), Sat(ay), Sat(bx), Sat(by));
  DrawLine(Sat(cx), Sat(cy), Sat(dx), Sat(dy));
  // The ends may have been swapped above: the open bits name them as passed.
  const bool swapped = X1 != x1 || Y1 != y1;
  const bool open1 = OpenRoutEnds & (swapped ? 2 : 1), open2 = OpenRoutEnds & (swapped ? 1 : 2);
  if (!open1)
    DrawArc(false, double(cx), double(cy), double(ax), double(ay), double(X1), double(Y1));
  if (!open2)
    DrawArc(false, double(bx), double(by), double(dx), double(dy), double(X2), double(Y2));
}

void TDrawingBase::DrawRoutLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width) {
  if (!DisplayRoutsFullWidth || width < 1) {
    DrawLine(x1, y1, x2, y2);
    return;
  }
  int32_t arrow = static_cast<int32_t>(width * 0.5);
  if (KerfFill && !MirrorsY()) {
    Canvas->Pen.Width = std::max(LengthToDevice(width), 1);
    DrawLine(x1, y1, x2, y2);
    if (RoutDirectionArrows) {
      SetPenMode(5);
      DrawDirectionArrow(x1, y1, x2, y2, arrow);
      SetPenMode(4);
    }
    // The thick pen ends with the kerf, so nothing drawn afterwards in the
    // same colour inherits it.
    Canvas->Pen.Width = 1;
    return;
  }
  if (RoutDirectionArrows) DrawDirectionArrow(x1, y1, x2, y2, arrow);
  DrawSlotOutline(x1, y1, x2, y2, width);
}

void TDrawingBase::DrawDirectionArrow(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                      int32_t size) {
  double len = Length(int64_t(x2) - x1, int64_t(y2) - y1);
  if (Rnd(len) <= ArrowLimit) return;
  int64_t mx = x1 / 2 + x2 / 2, my = y1 / 2 + y2 / 2;
  double r, a;
  RectToPolar(double(int64_t(x2) - x1), double(int64_t(y2) - y1), r, a);
  double fx, fy;
  PolarToRect(double(TenthInch), a, fx, fy);
  int64_t ax = Rnd(fx), ay = Rnd(fy);
  int32_t hx = Sat(mx + ax), hy = Sat(my + ay);
  DrawLine(Sat(mx - ax), Sat(my - ay), hx, hy);
  // The barbs start across the path from the middle: 0.1 in out when the
  // spread 0.7 x size exceeds it, else that spread.
  int64_t s = static_cast<int64_t>(size * 0.7);
  int64_t px = -ay, py = ax;
  if (s <= TenthInch) {
    PolarToRect(double(s), a, fx, fy);
    px = -Rnd(fy);
    py = Rnd(fx);
  }
  DrawLine(Sat(mx + px), Sat(my + py), hx, hy);
  DrawLine(Sat(mx - px), Sat(my - py), hx, hy);
}

void TDrawingBase::DrawFeedRateLineMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                        int32_t width, int32_t feed) {
  if (feed <= 0 || !FeedRateChanges) return;
  int64_t X2 = x2, Y2 = y2;
  int64_t X = x1, Y = y1;
  int32_t n = FeedCircleCount(double(Rnd(Length(X2 - X, Y2 - Y))), feed);
  double radius = double(width / 4);
  int64_t dx = Rnd(double(X2 - X) / (n + 1)), dy = Rnd(double(Y2 - Y) / (n + 1));
  for (int32_t i = 1; i <= n; ++i) {
    X += dx;
    Y += dy;
    DrawCircle(double(X), double(Y), radius);
  }
}

void TDrawingBase::DrawZOffsetLineMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                       int32_t width) {
  if (!ZOffsetChanges || width < 1) return;
  int64_t X = x1, Y = y1, X2 = x2, Y2 = y2;
  int64_t L = Rnd(Length(X2 - X, Y2 - Y));
  if (L <= 0) return;
  int64_t n = std::min(L / width + 1, MaxZigzagLegs);
  int64_t dx = Rnd(double(X2 - X) / n), dy = Rnd(double(Y2 - Y) / n);
  double half = width * 0.5 * double(n) / double(L);
  int64_t px = Rnd(double(dy) * half), py = Rnd(double(dx) * half);
  int64_t qx = X - px, qy = Y + py;
  for (int64_t i = 1; i <= n; ++i) {
    X += dx;
    Y += dy;
    int64_t nx = (i % 2 == 1) ? X + px : X - px;
    int64_t ny = (i % 2 == 1) ? Y - py : Y + py;
    DrawLine(Sat(qx), Sat(qy), Sat(nx), Sat(ny));
    qx = nx;
    qy = ny;
  }
}

void TDrawingBase::DrawTableMove(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  int64_t ex = int64_t(x2) - x1, ey = int64_t(y2) - y1;
  int64_t m = std::min(std::llabs(ex), std::llabs(ey));
  int64_t mx = int64_t(x1) + (ex < 0 ? -m : m), my = int64_t(y1) + (ey < 0 ? -m : m);
  DrawLine(x1, y1, Sat(mx), Sat(my));
  DrawLine(Sat(mx), Sat(my), x2, y2);
}

// ---- Rout arcs --------------------------------------------------------------------------

namespace {

// The arc from P1 counter-clockwise to P2 of at most 180 degrees: swaps the
// ends when the sweep passed in is larger and says so.
struct TMinorArc {
  int32_t X1, Y1, X2, Y2;
  TPolar P1, P2;
  bool Reversed = false;
  double Sweep = 0.0;
};

TMinorArc MinorArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xc, int32_t yc) {
  TMinorArc m{x1, y1, x2, y2, PolarOf(x1, y1, xc, yc), PolarOf(x2, y2, xc, yc)};
  if (Norm360(m.P2.A - m.P1.A) > 180.0) {
    std::swap(m.X1, m.X2);
    std::swap(m.Y1, m.Y2);
    std::swap(m.P1, m.P2);
    m.Reversed = true;
  }
  m.Sweep = Norm360(m.P2.A - m.P1.A);
  return m;
}

}  // namespace

void TDrawingBase::DrawRoutArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xc,
                               int32_t yc, int32_t width) {
  TMinorArc m = MinorArc(x1, y1, x2, y2, xc, yc);
  int32_t size = static_cast<int32_t>(width * 0.5);
  // The arrow follows the arc in the direction it was passed in.
  auto arrow = [&](int32_t ax1, int32_t ay1, int32_t ax2, int32_t ay2) {
    if (m.Reversed)
      DrawArcDirectionArrow(ax2, ay2, ax1, ay1, xc, yc, size, true);
    else
      DrawArcDirectionArrow(ax1, ay1, ax2, ay2, xc, yc, size, false);
  };
  if (!DisplayRoutsFullWidth || width < 1) {
    DrawArc(false, m.X1, m.Y1, m.X2, m.Y2, xc, yc);
    if (RoutDirectionArrows) arrow(m.X1, m.Y1, m.X2, m.Y2);
    return;
  }
  if (KerfFill && !MirrorsY()) {
    Canvas->Pen.Width = std::max(LengthToDevice(width), 1);
    DrawArc(false, m.X1, m.Y1, m.X2, m.Y2, xc, yc);
    if (RoutDirectionArrows) {
      SetPenMode(5);
      arrow(m.X1, m.Y1, m.X2, m.Y2);
      SetPenMode(4);
    }
    Canvas->Pen.Width = 1;
    return;
  }
  double w = width * 0.5;
  int32_t o1x, o1y, o2x, o2y, i1x, i1y, i2x, i2y;
  PolarPoint(xc, yc, m.P1.R + w, m.P1.A, o1x, o1y);
  PolarPoint(xc, yc, m.P2.R + w, m.P2.A, o2x, o2y);
  PolarPoint(xc, yc, m.P1.R - w, m.P1.A, i1x, i1y);
  PolarPoint(xc, yc, m.P2.R - w, m.P2.A, i2x, i2y);
  // A cap is left out where the cut runs on smoothly (the ends as passed).
  const bool openEnd = OpenRoutEnds & (m.Reversed ? 1 : 2);
  const bool openStart = OpenRoutEnds & (m.Reversed ? 2 : 1);
  DrawArc(false, o1x, o1y, o2x, o2y, xc, yc);                       // outer edge
  if (!openEnd) DrawArc(false, o2x, o2y, i2x, i2y, m.X2, m.Y2);    // end cap
  DrawArc(false, i1x, i1y, i2x, i2y, xc, yc);                       // inner edge
  if (!openStart) DrawArc(false, i1x, i1y, o1x, o1y, m.X1, m.Y1);  // start cap
  if (RoutDirectionArrows) {
    int32_t e1x, e1y, e2x, e2y;
    PolarPoint(xc, yc, m.P1.R, m.P1.A, e1x, e1y);
    PolarPoint(xc, yc, m.P2.R, m.P2.A, e2x, e2y);
    arrow(e1x, e1y, e2x, e2y);
  }
}

void TDrawingBase::DrawArcDirectionArrow(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                         int32_t xc, int32_t yc, int32_t size, bool reversed) {
  TPolar p1 = PolarOf(x1, y1, xc, yc), p2 = PolarOf(x2, y2, xc, yc);
  double sweep = Norm360(reversed ? p1.A - p2.A : p2.A - p1.A);
  double r = (p1.R + p2.R) / 2.0;
  double L = double(Rnd(r * 2.0 * 3.14159265 * sweep * (1.0 / 360.0)));
  if (L <= double(ArrowLimit)) return;
  double half = sweep / 2.0;
  double d = double(ArrowLimit) / L * half;
  double mid = reversed ? p2.A + half : p2.A - half;
  double mx, my, wx, wy;
  PolarToRect(r, mid, mx, my);
  int64_t s = static_cast<int64_t>(size * 0.7);
  PolarToRect(r + double(s > TenthInch ? TenthInch : s), mid, wx, wy);
  int64_t ox = Rnd(wx - mx), oy = Rnd(wy - my);
  double tail = reversed ? mid + d : mid - d;
  double head = reversed ? mid - d : mid + d;
  int32_t tx, ty, hx, hy;
  PolarPoint(xc, yc, r, tail, tx, ty);
  PolarPoint(xc, yc, r, head, hx, hy);
  int64_t mix = int64_t(xc) + Rnd(mx), miy = int64_t(yc) + Rnd(my);
  DrawArc(reversed, tx, ty, hx, hy, xc, yc);
  DrawLine(Sat(mix + ox), Sat(miy + oy), hx, hy);
  DrawLine(Sat(mix - ox), Sat(miy - oy), hx, hy);
}

void TDrawingBase::DrawFeedRateArcMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                       int32_t xc, int32_t yc, int32_t width, uint16_t feed) {
  if (feed == 0 || !FeedRateChanges) return;
  TMinorArc m = MinorArc(x1, y1, x2, y2, xc, yc);
  double length = m.Sweep * (1.0 / 180.0) * 3.14159265358979 * m.P1.R;
  int32_t n = FeedCircleCount(length, feed);
  double radius = double(width / 4);
  double step = m.Sweep / (n + 1);
  for (int32_t i = 1; i <= n; ++i) {
    double dx, dy;
    PolarToRect(m.P1.R, m.P1.A + i * step, dx, dy);
    DrawCircle(double(Rnd(xc + dx)), double(Rnd(yc + dy)), radius);
  }
}

void TDrawingBase::DrawZOffsetMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xc,
                                   int32_t yc, int32_t width) {
  if (!ZOffsetChanges || width < 1) return;
  TMinorArc m = MinorArc(x1, y1, x2, y2, xc, yc);
  double length = m.Sweep * (1.0 / 180.0) * 3.14159265358979 * m.P1.R;
  if (!(length > 0.0)) return;
  int64_t n = std::min<int64_t>(Rnd(length / width) + 1, MaxZigzagLegs);
  double w = double(width / 2);
  double step = m.Sweep / double(n);
  int32_t qx, qy;
  PolarPoint(xc, yc, m.P1.R - w, m.P1.A, qx, qy);
  for (int64_t i = 1; i <= n; ++i) {
    int32_t nx, ny;
    PolarPoint(xc, yc, i % 2 == 1 ? m.P1.R + w : m.P1.R - w, m.P1.A + double(i) * step, nx, ny);
    DrawLine(qx, qy, nx, ny);
    qx = nx;
    qy = ny;
  }
}

// ---- Hole symbols and letters ------------------------------------------------------------


namespace {
// Beyond this symbol size (pixels) the shapes' arithmetic could leave the
// 32-bit range; no view comes near it.
constexpr int32_t MaxSymbolSize = 1 << 28;
}  // namespace

void TDrawingBase::RefreshSymbolSize() {
  // The symbol is 0.01 in at the present scale, recomputed only when the
  // scale changes.
  double scale = LengthToDeviceReal(25400000);
  if (scale != CachedZoom) {
    CachedZoom = scale;
    SymbolDrawer->SetSize(LengthToDevice(254000));
  }
  SymbolDrawer->Canvas = Canvas;
}

int32_t TDrawingBase::RefreshedSymbolSize() {
  return LengthToDeviceReal(25400000) != CachedZoom ? LengthToDevice(254000) : SymbolDrawer->GetSize();
}

void TDrawingBase::DrawHoleSymbol(int32_t x, int32_t y, uint16_t tool) {
  int32_t X, Y;
  WorldToDevice(x, y, X, Y);
  RefreshSymbolSize();
  int32_t size = SymbolDrawer->GetSize();
  if (size > MaxSymbolSize || !DevicePointNear(X, Y, 2 * std::max(size, 1) + 2)) return;
  SymbolDrawer->DrawSymbol(X, Y, tool);
  Dirty = true;
}

void TDrawingBase::DrawHoleLetter(int32_t x, int32_t y, uint16_t tool) {
  int32_t X, Y;
  WorldToDevice(x, y, X, Y);
  RefreshSymbolSize();
  if (!DevicePointNear(X, Y, 64)) return;
  int32_t size = SymbolDrawer->GetSize();
  TCanvas& c = *Canvas;
  if (size < 2) {
    c.MoveTo(X, Y);
    c.LineTo(X, Y + 1);
  } else if (size < 4) {
    c.MoveTo(X, Y);
    c.LineTo(X, Y + 1);
    c.LineTo(X + 1, Y + 1);
    c.LineTo(X + 1, Y);
  } else {
    int32_t n = tool % 52;
    if (n == 0) n = 52;
    char letter = n <= 26 ? char('A' + n - 1) : char('a' + n - 27);
    c.TextOut(X, Y, std::string(1, letter));
  }
  Dirty = true;
}
