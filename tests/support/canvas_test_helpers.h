// Pictures and figures shared by the canvas tests of both backends.
#pragma once
#include <memory>

#include "platform/canvas.h"

// A picture with a different colour in every pixel, so that any change shows.
inline std::unique_ptr<TBitmap> Patterned(int w, int h) {
  auto bmp = TBitmap::Create(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bmp->Canvas().SetPixel(x, y, RGB(uint8_t(x * 7), uint8_t(y * 5), uint8_t(x ^ y)));
  return bmp;
}

inline int CountColor(const TBitmap& bmp, TColor c) {
  int n = 0;
  for (TColor p : bmp.Pixels()) n += p == c;
  return n;
}

// Every kind of figure, in the canvas's present pen and brush: lines, a
// rectangle, an ellipse, an arc, a polygon, a wide line and polyline and a
// dotted line. The pen is back to width 1 and solid afterwards.
inline void DrawBasicFigures(TCanvas& c) {
  c.MoveTo(3, 4);
  c.LineTo(70, 33);
  c.LineTo(10, 60);
  c.Rectangle(5, 5, 40, 30);
  c.Ellipse(20, 10, 61, 45);
  c.Arc(10, 10, 50, 50, 50, 30, 30, 10);
  c.Polygon({{8, 50}, {60, 8}, {70, 60}, {30, 20}});
  c.Pen.Width = 4;
  c.MoveTo(0, 70);
  c.LineTo(79, 2);
  c.Polyline({{2, 2}, {40, 70}, {78, 40}});
  c.Pen.Width = 1;
  c.Pen.Style = psDot;
  c.MoveTo(0, 40);
  c.LineTo(79, 41);
  c.Pen.Style = psSolid;
}
