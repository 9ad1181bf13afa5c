#include "foundation/stroke_text.h"

#include <cmath>
#include <cstring>

#include "foundation/utilities.h"

namespace {
int32_t RoundEven(double v) { return static_cast<int32_t>(std::nearbyint(v)); }
}  // namespace

TStrokeText::TStrokeText(const std::string& text, int32_t x, int32_t y, int32_t charWidth,
                         int32_t charHeight)
    : Text(UpperCaseStr(ShortStr(text))),
      X(x),
      Y(y),
      ScaleX(static_cast<double>(charWidth) * (1.0 / StrokeGridUnits)),
      ScaleY(static_cast<double>(charHeight) * (1.0 / StrokeGridUnits)) {}

void TStrokeText::Draw() {
  for (char c : Text) DrawGlyph(c);
}

char TStrokeText::ReadChar() {
  const char* record = ViewStrokeFont[static_cast<size_t>(GlyphIndex)];
  // Reading never runs past the record's end.
  if (ReadPos < 0 || static_cast<size_t>(ReadPos) >= std::strlen(record)) return '\0';
  return record[ReadPos++];
}

int32_t TStrokeText::ReadNumber() {
  int32_t value = 0;
  NextChar = ReadChar();
  while (NextChar >= '0' && NextChar <= '9') {
    if (value < 100000) value = value * 10 + (NextChar - '0');
    NextChar = ReadChar();
  }
  return value;
}

void TStrokeText::DrawGlyph(char c) {
  GlyphIndex = -1;
  for (int32_t i = 0; i < StrokeGlyphCount; ++i) {
    if (ViewStrokeFont[static_cast<size_t>(i)][0] == c) {
      GlyphIndex = i;
      break;
    }
  }
  if (GlyphIndex >= 0) {
    ReadPos = 2;
    for (;;) {
      CurChar = ReadChar();
      if (CurChar == ' ') continue;
      CurChar = static_cast<char>(CurChar >= 'a' && CurChar <= 'z' ? CurChar - 32 : CurChar);
      if (CurChar == 'D') {
        PenDown = true;
      } else if (CurChar == 'U') {
        PenDown = false;
      } else {
        if (CurChar == 'E') PenDown = false;
        break;  // "E", or anything else (also the record's end), ends the glyph
      }
      GlyphX = ReadNumber();
      GlyphY = ReadNumber();
      const int32_t px = X + RoundEven(GlyphX * ScaleX);
      const int32_t py = Y + RoundEven(GlyphY * ScaleY);
      if (PenDown)
        LineTo(px, py);
      else
        MoveTo(px, py);
    }
  }
  X += RoundEven(StrokeGridUnits * ScaleX);
}
