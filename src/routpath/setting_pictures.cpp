#include "routpath/setting_pictures.h"

#include <string>

namespace {

constexpr TColor kBoard = 0x00D8E8D8;    // the part, a pale green
constexpr TColor kProfile = clBlack;     // its edge
constexpr TColor kPath = clBlue;         // where the cutter goes
constexpr TColor kMeasure = clMaroon;    // measures and their letters

std::unique_ptr<TBitmap> Blank(int width, int height) {
  auto picture = TBitmap::Create(width, height);
  TCanvas& c = picture->Canvas();
  c.Brush = TBrush{clWhite, bsSolid};
  c.FillRect(TRect{0, 0, width, height});
  c.Font.Name = "Arial";
  c.Font.Size = 8;
  c.Font.Bold = true;
  c.Font.Color = kMeasure;
  return picture;
}

void Line(TCanvas& c, TColor colour, int width, int x1, int y1, int x2, int y2) {
  c.Pen = TPen{colour, width};
  c.MoveTo(x1, y1);
  c.LineTo(x2, y2);
  c.SetPixel(x2, y2, colour);
}

void Board(TCanvas& c, int x1, int y1, int x2, int y2) {
  c.Brush = TBrush{kBoard, bsSolid};
  c.FillRect(TRect{x1, y1, x2, y2});
}

// A plunge: the cutter going down, a ring around the point.
void Plunge(TCanvas& c, int x, int y) {
  c.Pen = TPen{kPath, 2};
  c.Brush = TBrush{clWhite, bsClear};
  c.Ellipse(x - 4, y - 4, x + 5, y + 5);
}

void Letter(TCanvas& c, int x, int y, const std::string& letter) {
  c.Brush = TBrush{clWhite, bsClear};
  c.TextOut(x, y, letter);
}

// A measure along x between x1 and x2 at height y, its letter above.
void MeasureX(TCanvas& c, int x1, int x2, int y, const std::string& letter) {
  Line(c, kMeasure, 1, x1, y, x2, y);
  Line(c, kMeasure, 1, x1, y - 3, x1, y + 3);
  Line(c, kMeasure, 1, x2, y - 3, x2, y + 3);
  const TPoint size = c.TextExtent(letter);
  Letter(c, (x1 + x2 - size.X) / 2, y - size.Y - 1, letter);
}

// A measure along y between y1 and y2 at x, its letter on the given side.
void MeasureY(TCanvas& c, int x, int y1, int y2, const std::string& letter, bool letterLeft) {
  Line(c, kMeasure, 1, x, y1, x, y2);
  Line(c, kMeasure, 1, x - 3, y1, x + 3, y1);
  Line(c, kMeasure, 1, x - 3, y2, x + 3, y2);
  const TPoint size = c.TextExtent(letter);
  Letter(c, letterLeft ? x - size.X - 4 : x + 5, (y1 + y2 - size.Y) / 2, letter);
}

void Hole(TCanvas& c, int x, int y) {
  c.Pen = TPen{kProfile, 1};
  c.Brush = TBrush{clWhite, bsSolid};
  c.Ellipse(x - 3, y - 3, x + 4, y + 4);
}

}  // namespace

std::unique_ptr<TBitmap> AutoRoutStylePicture(uint8_t style) {
  constexpr int W = 150, H = 84;
  auto picture = Blank(W, H);
  TCanvas& c = picture->Canvas();
  if (style == 0) {
    // Corner: the plunge on the extension of the first side before the
    // corner (A), the cut-out running on past the corner (B).
    const int cx = 70, cy = 40, a = 26, b = 30;
    Board(c, 8, cy, cx, H - 6);
    Line(c, kProfile, 1, 8, cy, cx, cy);
    Line(c, kProfile, 1, cx, cy, cx, H - 6);
    Line(c, kPath, 2, cx, cy - a, cx, H - 6);
    Line(c, kPath, 2, 8, cy, cx + b, cy);
    Plunge(c, cx, cy - a);
    MeasureY(c, cx - 10, cy - a, cy, "A", true);
    MeasureX(c, cx, cx + b, cy - 10, "B");
    return picture;
  }
  // Pinless and inline: the plunge C off the first side, coming onto it A
  // from its start; the cut-out runs B past the cut-in and, inline, leaves
  // the side by C again.
  const int sy = 56, t0 = 22, a = 40, b = 34, cOff = 24;
  const int p = t0 + a, end = p + b;
  Board(c, t0, sy, W - 8, H - 4);
  Line(c, kProfile, 1, t0, sy, W - 8, sy);
  Line(c, kProfile, 1, t0, sy, t0, H - 4);
  Line(c, kPath, 2, t0, H - 4, t0, sy);
  Line(c, kPath, 2, t0, sy, W - 8, sy);
  Line(c, kPath, 2, p, sy - cOff, p, sy);
  if (style != 1) Line(c, kPath, 2, end, sy, end, sy - cOff);
  Plunge(c, p, sy - cOff);
  MeasureX(c, t0, p, 16, "A");
  MeasureX(c, p, end, 16, "B");
  MeasureY(c, p - 10, sy - cOff, sy, "C", true);
  return picture;
}

std::unique_ptr<TBitmap> TabPicture(bool simple, bool cutterEdges) {
  constexpr int W = 170, H = 96;
  auto picture = Blank(W, H);
  TCanvas& c = picture->Canvas();
  const int py = 30, left = 52, right = 118, turn = 12, bIn = 10, holeY = 74, r = 7;
  // The part below the path, the tab joining it across the gap.
  Board(c, 8, py, W - 8, H - 4);
  Line(c, kPath, 2, 8, py, left, py);
  Line(c, kPath, 2, right, py, W - 8, py);
  if (!simple) {
    Line(c, kPath, 2, left, py, left + bIn, py + turn);
    Line(c, kPath, 2, right, py, right - bIn, py + turn);
  }
  if (cutterEdges) {
    c.Pen = TPen{kPath, 1};
    c.Brush = TBrush{clWhite, bsClear};
    c.Ellipse(left - r, py - r, left + r + 1, py + r + 1);
    c.Ellipse(right - r, py - r, right + r + 1, py + r + 1);
  }
  for (int k = 0; k < 4; ++k) Hole(c, left + 12 + k * 14, holeY);
  const int edge = cutterEdges ? r : 0;
  MeasureX(c, left + edge, right - edge, py - 16, "A");
  if (!simple) {
    MeasureX(c, left + bIn, right - bIn, py + turn + 14, "B");
    MeasureY(c, left - 12, py, py + turn, "C", true);
  }
  MeasureY(c, W - 20, py, holeY, "D", true);
  return picture;
}
