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

// One offset term at text[i] ("0", or a sign and A, B or S); i moves past it.
int32_t Term(const char* text, int& i, int32_t a, int32_t b, int32_t s) {
  if (text[i] == '0') {
    ++i;
    return 0;
  }
  const int32_t sign = text[i] == '-' ? -1 : 1;
  const char unit = text[i + 1];
  i += 2;
  const int32_t magnitude = unit == 'A' ? a : unit == 'B' ? b : s;
  return sign * magnitude;
}

// Round to the nearest integer, halves to the even neighbour.
int32_t RoundEven(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

}  // namespace

void TSymbolDrawer::DrawSymbol(int32_t x, int32_t y, uint16_t tool) {
  const int32_t s = Size;
  const int32_t a = RoundEven(s * 0.5);
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
  const char* strokes = ShapeStrokes[tool % ShapeCount];
  int i = 0;
  while (strokes[i] != '\0') {
    if (strokes[i] == ' ') {
      ++i;
      continue;
    }
    const bool line = strokes[i] == 'L';
    ++i;
    const int32_t dx = Term(strokes, i, a, b, s);
    const int32_t dy = Term(strokes, i, a, b, s);
    if (line)
      LineTo(x + dx, y + dy);
    else
      MoveTo(x + dx, y + dy);
  }
}

void TCanvasSymbolDrawer::DrawSymbol(int32_t x, int32_t y, uint16_t tool) {
  Canvas->MoveTo(x, y);
  if (Size < 4) {
    // The dot of every tool, straight on the canvas: a whole panel of
    // holes is drawn this way when zoomed out.
    Canvas->LineTo(x, y + 1);
    if (RoundEven(3.0 * Size * 0.5) >= 2) {
      Canvas->LineTo(x + 1, y + 1);
      Canvas->LineTo(x + 1, y);
    }
    return;
  }
  TSymbolDrawer::DrawSymbol(x, y, tool);
}
