#include "model/symbol_drawer.h"

#include <array>
#include <cmath>

namespace {

// The strokes of each shape: "M" (move) or "L" (line) followed by the x and
// the y offset from the centre, each "0" or a sign and one of A (half the
// size), B (one and a half times the size) or S (the size).
constexpr std::array<const char*, TSymbolDrawer::ShapeCount> ShapeStrokes = {
    "M+B+B L-B-B L+B-B L+B+B L-B+B L+B-B",          // 0
    "M-B+B L0-B L+B+B L-B+B",                       // 1
    "M-B-B L-B+B L+B0 L-B-B",                       // 2
    "M-B-B L0+B L+B-B L-B-B",                       // 3
    "M+B-B L+B+B L-B0 L+B-B",                       // 4
    "M-B+B L0-B L+B+B L-B+B M0-B L0+B",             // 5
    "M-B-B L-B+B L+B0 L-B-B M-B0 L+B0",             // 6
    "M-B-B L0+B L+B-B L-B-B M0-B L0+B",             // 7
    "M+B-B L+B+B L-B0 L+B-B M+B0 L-B0",             // 8
    "M-A-A L-A+A L+A+A L+A-A L-A-A M00 L0-S",       // 9
    "M-A-A L-A+A L+A+A L+A-A L-A-A M00 L+B-B",      // 10
    "M-A-A L-A+A L+A+A L+A-A L-A-A M00 L+S0",       // 11
    "M-A-A L-A+A L+A+A L+A-A L-A-A M00 L+B+B",      // 12
    "M-A-A L-A+A L+A+A L+A-A L-A-A M00 L0+S",       // 13
    "M-A-A L-A+A L+A+A L+A-A L-A-A M00 L-B+B",      // 14
    "M-A-A L-A+A L+A+A L+A-A L-A-A M00 L-S0",       // 15
    "M-A-A L-A+A L+A+A L+A-A L-A-A M00 L-B-B",      // 16
    "M-B0 L0+B L+B0 L0-B L-B0 M00 L0-S",            // 17
    "M-B0 L0+B L+B0 L0-B L-B0 M00 L+S-S",           // 18
    "M-B0 L0+B L+B0 L0-B L-B0 M00 L+S0",            // 19
    "M-B0 L0+B L+B0 L0-B L-B0 M00 L+S+S",           // 20
    "M-B0 L0+B L+B0 L0-B L-B0 M00 L0+S",            // 21
    "M-B0 L0+B L+B0 L0-B L-B0 M00 L-S+S",           // 22
    "M-B0 L0+B L+B0 L0-B L-B0 M00 L-S0",            // 23
    "M-B0 L0+B L+B0 L0-B L-B0 M00 L-S-S",           // 24
    "M0+B L-B0 L+B0 L0+B L0-B",                     // 25
    "M-A+A L-A-A L+A+A L-A+A L+A-A",                // 26
    "M-B0 L0-B L0+B L-B0 L+B0",                     // 27
    "M-A-A L+A-A L-A+A L-A-A L+A+A",                // 28
    "M0-B L+B0 L-B0 L0-B L0+B",                     // 29
    "M+A-A L+A+A L-A-A L+A-A L-A+A",                // 30
    "M+B0 L0+B L0-B L+B0 L-B0",                     // 31
    "M+A+A L-A+A L+A-A L+A+A L-A-A",                // 32
    "M-B-B L-B+B L+B+B L+B-B L00 L-B-B",            // 33
    "M-B-B L-B+B L+B+B L00 L+B-B L-B-B",            // 34
    "M-B-B L-B+B L00 L+B+B L+B-B L-B-B",            // 35
    "M-B-B L00 L-B+B L+B+B L+B-B L-B-B",            // 36
    "M-B+B L+B-B L+B+B L-B+B L-B-B L+B+B",          // 37
    "M-B-B L+B+B L-B+B L-B-B L+B-B L-B+B",          // 38
    "M+B-B L-B+B L-B-B L+B-B L+B+B L-B-B",          // 39
};

// One offset term at text[i] ("0", or a sign and A, B or S) as 0 or a
// signed unit (1 for A, 2 for B, 3 for S); i moves past it.
int8_t Term(const char* text, int& i) {
  if (text[i] == '0') {
    ++i;
    return 0;
  }
  const int8_t sign = text[i] == '-' ? -1 : 1;
  const char unit = text[i + 1];
  i += 2;
  return int8_t(sign * (unit == 'A' ? 1 : unit == 'B' ? 2 : 3));
}

// The strokes of a shape, read once from its text.
struct TStroke {
  bool Line;
  int8_t X, Y;  // signed units of Term
};
struct TShape {
  std::array<TStroke, 8> Strokes{};
  int Count = 0;
};

const std::array<TShape, TSymbolDrawer::ShapeCount>& Shapes() {
  static const auto shapes = [] {
    std::array<TShape, TSymbolDrawer::ShapeCount> all{};
    for (size_t k = 0; k < all.size(); ++k) {
      const char* strokes = ShapeStrokes[k];
      int i = 0;
      while (strokes[i] != '\0') {
        if (strokes[i] == ' ') {
          ++i;
          continue;
        }
        TStroke& st = all[k].Strokes[size_t(all[k].Count++)];
        st.Line = strokes[i] == 'L';
        ++i;
        st.X = Term(strokes, i);
        st.Y = Term(strokes, i);
      }
    }
    return all;
  }();
  return shapes;
}

// Round to the nearest integer, halves to the even neighbour.
int32_t RoundEven(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

// The moves of the tool's symbol of size s (4 or more) centred on (x, y):
// move(line, x, y) for each stroke end.
template <class F>
void ForEachStroke(int32_t x, int32_t y, uint16_t tool, int32_t s, F move) {
  const int32_t magnitude[4] = {0, RoundEven(s * 0.5), RoundEven(3.0 * s * 0.5), s};
  auto offset = [&](int8_t u) { return u < 0 ? -magnitude[-u] : magnitude[u]; };
  const TShape& shape = Shapes()[tool % TSymbolDrawer::ShapeCount];
  for (int k = 0; k < shape.Count; ++k) {
    const TStroke& st = shape.Strokes[size_t(k)];
    move(st.Line, x + offset(st.X), y + offset(st.Y));
  }
}

}  // namespace

size_t TSymbolDrawer::SymbolSteps(uint16_t tool, int32_t size, TFigureStep* steps) {
  size_t n = 0;
  ForEachStroke(0, 0, tool, size, [&](bool line, int32_t dx, int32_t dy) {
    if (n < MaxSteps) steps[n++] = {dx, dy, line};
  });
  return n;
}

void TSymbolDrawer::DrawSymbol(int32_t x, int32_t y, uint16_t tool) {
  const int32_t s = Size;
  const int32_t b = RoundEven(3.0 * s * 0.5);
  if (s < 4) {
    MoveTo(x, y);
    LineTo(x, y + 1);
    if (b >= 2) {
      LineTo(x + 1, y + 1);
      LineTo(x + 1, y);
    }
    return;
  }
  ForEachStroke(x, y, tool, s, [this](bool line, int32_t px, int32_t py) {
    if (line)
      LineTo(px, py);
    else
      MoveTo(px, py);
  });
}

void TCanvasSymbolDrawer::DrawSymbol(int32_t x, int32_t y, uint16_t tool) {
  if (Size < 4) {
    // The dot of every tool, straight on the canvas: a whole panel of
    // holes is drawn this way when zoomed out. Three steps of one pixel
    // (one when the size rounds to nothing), each painting its start pixel.
    // A thin solid pen that copies paints them as they are: the pixels are
    // set straight, without the line machinery, and the pen is left where
    // the steps leave it.
    const bool three = Size >= 1;  // three halves of the size round to 2 or more
    TCanvas& c = *Canvas;
    const bool solid = c.Pen.Style == psSolid || c.Pen.Style == psInsideFrame;
    if (c.Pen.Mode == pmCopy && c.Pen.Width <= 1 && solid) {
      const TPoint dots[3] = {{x, y}, {x, y + 1}, {x + 1, y + 1}};
      c.SetPixels(dots, three ? 3 : 1, c.Pen.Color);
      if (three)
        c.MoveTo(x + 1, y);
      else
        c.MoveTo(x, y + 1);
      return;
    }
    c.MoveTo(x, y);
    c.LineTo(x, y + 1);
    if (three) {
      c.LineTo(x + 1, y + 1);
      c.LineTo(x + 1, y);
    }
    return;
  }
  Canvas->MoveTo(x, y);
  // The canvas's own moves, called straight.
  TCanvas& c = *Canvas;
  ForEachStroke(x, y, tool, Size, [&c](bool line, int32_t px, int32_t py) {
    if (line)
      c.LineTo(px, py);
    else
      c.MoveTo(px, py);
  });
}
