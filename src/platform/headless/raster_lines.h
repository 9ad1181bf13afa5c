// The pixels of a one-pixel line as the raster canvases set them: the
// headless raster and the Qt canvas's image rows walk the same steps, so a
// line looks the same on both. The end pixel is not drawn (the classic
// device's rule).
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include "platform/canvas.h"
#include "platform/types.h"

// Rounds a / b to the nearest integer (halves up), b > 0.
inline long long RoundDiv(__int128 a, __int128 b) {
  __int128 n = 2 * a + b, d = 2 * b;
  __int128 q = n / d;
  if ((n % d != 0) && ((n < 0) != (d < 0))) --q;
  return (long long)q;
}

// Runs of on and off pixels of the styled one-pixel pens, starting with a
// dash; null for the solid ones. The gaps take the canvas's BackColor.
inline const std::vector<int>* DashPattern(TPenStyle style) {
  static const std::vector<int> dash{18, 6}, dot{3, 3}, dashDot{9, 6, 3, 6}, dashDotDot{9, 3, 3, 3, 3, 3};
  switch (style) {
    case psDash: return &dash;
    case psDot: return &dot;
    case psDashDot: return &dashDot;
    case psDashDotDot: return &dashDotDot;
    default: return nullptr;
  }
}

// Whether pixel index (counted from the start of the line) of a pattern is on.
inline bool PatternOn(const std::vector<int>& pattern, long long index) {
  long long period = 0;
  for (int n : pattern) period += n;
  long long i = index % period;
  for (size_t k = 0; k < pattern.size(); ++k) {
    if (i < pattern[k]) return k % 2 == 0;
    i -= pattern[k];
  }
  return false;
}

// Calls f(x, y, step) for the pixels of the line from (x0, y0) towards
// (x1, y1), the end pixel excluded, that lie inside limit. step counts the
// pixels from the start (also those outside limit), so dash patterns do not
// depend on clipping. Answers the number of steps of the whole line.
//
// Step i lies at major0 + i on the major axis and at minor0 + round(i x
// dMinor / n) (halves up) on the other; the rounding is carried from step
// to step as a quotient and remainder, so only the first visible step
// divides.
template <class F>
long long ForLinePixels(int x0, int y0, int x1, int y1, const TRect& limit, F f) {
  long long dx = (long long)x1 - x0, dy = (long long)y1 - y0;
  long long n = std::max(std::llabs(dx), std::llabs(dy));
  if (n == 0 || limit.Width() <= 0 || limit.Height() <= 0) return n;
  // A line wholly beside the limit has no pixel in it.
  if (std::max(x0, x1) < limit.Left || std::min(x0, x1) >= limit.Right || std::max(y0, y1) < limit.Top ||
      std::min(y0, y1) >= limit.Bottom)
    return n;
  bool xMajor = std::llabs(dx) >= std::llabs(dy);
  long long major0 = xMajor ? x0 : y0;
  long long minor0 = xMajor ? y0 : x0;
  long long dMinor = xMajor ? dy : dx;
  long long step = (xMajor ? dx : dy) > 0 ? 1 : -1;
  long long lo = xMajor ? limit.Left : limit.Top, hi = (xMajor ? limit.Right : limit.Bottom) - 1;
  long long minorLo = xMajor ? limit.Top : limit.Left, minorHi = (xMajor ? limit.Bottom : limit.Right) - 1;
  // Steps i in [0, n) with major0 + step * i in [lo, hi].
  long long iFirst, iLast;
  if (step > 0) {
    iFirst = std::max(0LL, lo - major0);
    iLast = std::min(n - 1, hi - major0);
  } else {
    iFirst = std::max(0LL, major0 - hi);
    iLast = std::min(n - 1, major0 - lo);
  }
  if (iFirst > iLast) return n;
  // round(i dMinor / n) = floor((2 i dMinor + n) / 2n) = q, with remainder
  // r in [0, 2n); each step adds 2 dMinor (at most 2n in size) to r.
  const long long d2 = 2 * n;
  long long q = 0, r = n;
  if (iFirst != 0) {
    if (iFirst < (1LL << 30) && std::llabs(dMinor) < (1LL << 31)) {
      // Fits 64 bits: floor division by hand.
      long long num = 2 * iFirst * dMinor + n;
      q = num / d2;
      r = num - q * d2;
      if (r < 0) {
        r += d2;
        --q;
      }
    } else {
      q = RoundDiv(__int128(iFirst) * dMinor, n);
      r = (long long)(2 * __int128(iFirst) * dMinor + n - __int128(q) * d2);
    }
  }
  const long long add = 2 * dMinor;
  long long ma = major0 + step * iFirst;
  for (long long i = iFirst; i <= iLast; ++i, ma += step) {
    long long mi = minor0 + q;
    if (mi >= minorLo && mi <= minorHi) {
      if (xMajor) f(int(ma), int(mi), i);
      else f(int(mi), int(ma), i);
    }
    r += add;
    if (r >= d2) {
      r -= d2;
      ++q;
    } else if (r < 0) {
      r += d2;
      --q;
    }
  }
  return n;
}

// As ForLinePixels for a line whose both ends lie inside the picture (so
// every pixel does): f(pixel) for each pixel of the line, walking the
// buffer of row width w with the same rounding.
template <class TPixel, class F>
void ForInsideLinePixels(TPixel* data, ptrdiff_t w, int x0, int y0, int x1, int y1, F f) {
  long long dx = (long long)x1 - x0, dy = (long long)y1 - y0;
  long long n = std::max(std::llabs(dx), std::llabs(dy));
  if (n == 0) return;
  bool xMajor = std::llabs(dx) >= std::llabs(dy);
  ptrdiff_t majorStep = xMajor ? (dx > 0 ? 1 : -1) : (dy > 0 ? w : -w);
  ptrdiff_t minorUnit = xMajor ? w : 1;
  long long dMinor = xMajor ? dy : dx;
  const long long d2 = 2 * n, add = 2 * dMinor;
  long long r = n;
  TPixel* p = data + ptrdiff_t(y0) * w + x0;
  if (add == 0 || add == d2 || add == -d2) {
    // Straight and 45-degree lines move the same way at every step.
    const ptrdiff_t move = majorStep + (add == 0 ? 0 : add > 0 ? minorUnit : -minorUnit);
    for (long long i = 0; i < n; ++i, p += move) f(*p);
    return;
  }
  for (long long i = 0; i < n; ++i, p += majorStep) {
    f(*p);
    r += add;
    if (r >= d2) {
      r -= d2;
      p += minorUnit;
    } else if (r < 0) {
      r += d2;
      p -= minorUnit;
    }
  }
}

// SetPatternPixels on rows of pixels (data[y x stride + x]): the pixels
// inside limit, in order, each point's colour converted once. A point whose
// whole pattern lies inside limit is set without a test per pixel.
template <class TPixel, class FConvert>
void SetPatternPixelsIn(TPixel* data, ptrdiff_t stride, const TRect& limit, const TColoredPoint* points,
                        size_t count, const TPoint* offsets, size_t offsetCount, FConvert convert) {
  if (offsetCount == 0 || limit.Right <= limit.Left || limit.Bottom <= limit.Top) return;
  long long minX = offsets[0].X, maxX = minX, minY = offsets[0].Y, maxY = minY;
  for (size_t k = 1; k < offsetCount; ++k) {
    minX = std::min<long long>(minX, offsets[k].X);
    maxX = std::max<long long>(maxX, offsets[k].X);
    minY = std::min<long long>(minY, offsets[k].Y);
    maxY = std::max<long long>(maxY, offsets[k].Y);
  }
  // The points whose pattern fits: left <= x < right, top <= y < bottom;
  // their pixels lie at fixed steps from the point's own.
  const long long left = limit.Left - minX, right = limit.Right - maxX;
  const long long top = limit.Top - minY, bottom = limit.Bottom - maxY;
  constexpr size_t Steps = 8;
  ptrdiff_t step[Steps];
  const bool stepped = offsetCount <= Steps;
  for (size_t k = 0; stepped && k < offsetCount; ++k) step[k] = ptrdiff_t(offsets[k].Y) * stride + offsets[k].X;
  for (size_t i = 0; i < count; ++i) {
    const long long x = points[i].X, y = points[i].Y;
    const TPixel value = convert(points[i].Color);
    if (stepped && x >= left && x < right && y >= top && y < bottom) {
      TPixel* at = data + ptrdiff_t(y) * stride + ptrdiff_t(x);
      for (size_t k = 0; k < offsetCount; ++k) at[step[k]] = value;
      continue;
    }
    for (size_t k = 0; k < offsetCount; ++k) {
      const long long px = x + offsets[k].X, py = y + offsets[k].Y;
      if (px >= limit.Left && px < limit.Right && py >= limit.Top && py < limit.Bottom)
        data[ptrdiff_t(py) * stride + ptrdiff_t(px)] = value;
    }
  }
}

// DrawStamps on rows of pixels (data[y x stride + x]) for a solid one-pixel
// pen that copies: a stamp whose whole figure lies inside limit has its
// lines written straight into the rows, pixel for pixel as
// ForInsideLinePixels walks them; any other stamp goes to drawOne(stamp), which draws it with
// the canvas's own moves (and may move the rows: data is read again after
// it). Answers whether the last stamp drawn was written
// here, and where its steps left the pen (its point for a figure without
// steps).
template <class TPixel, class FConvert, class FDrawOne>
bool DrawStampsIn(TPixel*& data, ptrdiff_t stride, const TRect& limit, const TStamp* stamps, size_t count,
                  const TFigure* figures, size_t figureCount, FConvert convert, FDrawOne drawOne, TPoint& pen) {
  struct TBox {
    long long Left, Top, Right, Bottom;  // step offsets, edges included
  };
  std::vector<TBox> boxes(figureCount);
  for (size_t f = 0; f < figureCount; ++f) {
    TBox b{0, 0, 0, 0};
    for (size_t k = 0; k < figures[f].Count; ++k) {
      const TFigureStep& st = figures[f].Steps[k];
      b = {std::min<long long>(b.Left, st.DX), std::min<long long>(b.Top, st.DY),
           std::max<long long>(b.Right, st.DX), std::max<long long>(b.Bottom, st.DY)};
    }
    boxes[f] = b;
  }
  auto inside = [&](const TStamp& s) {
    const TBox& b = boxes[s.Figure];
    return s.X + b.Left >= limit.Left && s.X + b.Right < limit.Right && s.Y + b.Top >= limit.Top &&
           s.Y + b.Bottom < limit.Bottom;
  };
  bool written = false;
  for (size_t i = 0; i < count; ++i) {
    const TStamp& s = stamps[i];
    if (s.Figure >= figureCount) continue;
    if (!inside(s)) {
      drawOne(s);
      written = false;
      continue;
    }
    const TPixel value = convert(s.Color);
    const TFigure& f = figures[s.Figure];
    int px = s.X, py = s.Y;
    for (size_t k = 0; k < f.Count; ++k) {
      const int x = s.X + f.Steps[k].DX, y = s.Y + f.Steps[k].DY;
      if (f.Steps[k].Line) ForInsideLinePixels(data, stride, px, py, x, y, [value](TPixel& p) { p = value; });
      px = x;
      py = y;
    }
    pen = {px, py};
    written = true;
  }
  return written;
}
