#include "workspace/stroke_font.h"

#include <cmath>
#include <cstring>

#include "foundation/utilities.h"

const std::array<const char*, StrokeGlyphCount> ViewStrokeFont = {
    "A U0,0 D6,15 D11,0 U3,8 D8,8 E",
    "B U0,0 D0,15 D8,15 D11,13 D11,9 D9,8 D0,8 U9,8 D11,7 D11,2 D9,0 D0,0 E",
    "C U11,2 D9,0 D2,0 D0,2 D0,13 D2,15 D9,15 D11,13 E",
    "D U0,0 D0,15 D9,15 D11,13 D11,2 D9,0 D0,0 E",
    "E U11,0 D0,0 D0,15 D11,15 U0,8 D8,8 E",
    "F U0,0 D0,15 D11,15 U0,8 D8,8 E",
    "G U8,6 D8,7 D11,7 D11,2 D8,0 D2,0 D0,2 D0,13 D2,15 D8,15 D11,13 E",
    "H U0,0 D0,15 U0,8 D11,8 U11,0 D11,15 E",
    "I U3,0 D7,0 U5,0 D5,15 U3,15 D8,15 E",
    "J U0,2 D2,0 D9,0 D11,2 D11,15 E",
    "K U0,0 D0,15 U0,7 D11,15 U2,9 D11,0 E",
    "L U11,0 D0,0 D0,15 E",
    "M U0,0 D0,15 U0,15 D6,8 D11,15 D11,0 E",
    "N U0,0 D0,15 D11,0 D11,15 E",
    "O U0,2 D0,13 D2,15 D9,15 D11,13 D11,2 D9,0 D2,0 D0,2 E",
    "P U0,0 D0,15 D9,15 D11,13 D11,9 D9,8 D0,8 E",
    "Q U0,2 D0,13 D2,15 D9,15 D11,13 D11,2 D9,0 D2,0 D0,2 U11,0 D9,2 E",
    "R U0,0 D0,15 D9,15 D11,13 D11,9 D9,8 D0,8 U5,8 D11,0 E",
    "S U0,2 D2,0 D9,0 D11,2 D11,5 D9,7 D2,7 D0,9 D0,13 D2,15 D9,15 D11,13 E",
    "T U5,0 D5,15 U0,15 D10,15 E",
    "U U0,15 D0,2 D2,0 D9,0 D11,2 D11,15 E",
    "V U0,15 D5,0 D10,15 E",
    "W U0,15 D3,0 D5,7 D7,0 D10,15 E",
    "X U0,0 D11,15 U0,15 D11,0 E",
    "Y U0,15 D5,8 D10,15 U5,8 D5,0 E",
    "Z U11,0 D0,0 D11,15 D0,15 E",
    "a U0,0 D6,15 D11,0 U3,8 D8,8 E",
    "b U0,0 D0,15 D8,15 D11,13 D11,9 D9,8 D0,8 U9,8 D11,7 D11,2 D9,0 D0,0 E",
    "c U11,2 D9,0 D2,0 D0,2 D0,13 D2,15 D9,15 D11,13 E",
    "d U0,0 D0,15 D9,15 D11,13 D11,2 D9,0 D0,0 E",
    "e U11,0 D0,0 D0,15 D11,15 U0,8 D8,8 E",
    "f U0,0 D0,15 D11,15 U0,8 D8,8 E",
    "g U8,6 D8,7 D11,7 D11,2 D8,0 D2,0 D0,2 D0,13 D2,15 D8,15 D11,13 E",
    "h U0,0 D0,15 U0,8 D11,8 U11,0 D11,15 E",
    "i U3,0 D7,0 U5,0 D5,15 U3,15 D8,15 E",
    "j U0,2 D2,0 D9,0 D11,2 D11,15 E",
    "k U0,0 D0,15 U0,7 D11,15 U2,9 D11,0 E",
    "l U11,0 D0,0 D0,15 E",
    "m U0,0 D3,15 D6,8 D8,15 D11,0 E",
    "n U0,0 D0,15 D11,0 D11,15 E",
    "o U0,2 D0,13 D2,15 D9,15 D11,13 D11,2 D9,0 D2,0 D0,2 E",
    "p U0,0 D0,15 D9,15 D11,13 D11,9 D9,8 D0,8 E",
    "q U0,2 D0,13 D2,15 D9,15 D11,13 D11,2 D9,0 D2,0 D0,2 U11,0 D9,2 E",
    "r U0,0 D0,15 D9,15 D11,13 D11,9 D9,8 D0,8 U5,8 D11,0 E",
    "s U0,2 D2,0 D9,0 D11,2 D11,5 D9,7 D2,7 D0,9 D0,13 D2,15 D9,15 D11,13 E",
    "t U5,0 D5,15 U0,15 D10,15 E",
    "u U0,15 D0,2 D2,0 D9,0 D11,2 D11,15 E",
    "v U0,15 D5,0 D10,15 E",
    "w U0,15 D3,0 D5,7 D7,0 D10,15 E",
    "x U0,0 D11,15 U0,15 D11,0 E",
    "y U0,15 D5,8 D10,15 U5,8 D5,0 E",
    "z U11,0 D0,0 D11,15 D0,15 E",
    "0 U0,2 D0,13 D2,15 D9,15 D11,13 D11,2 D9,0 D2,0 D0,2 U0,0 D11,15 E",
    "1 U3,0 D7,0 U5,0 D5,15 D4,14 E",
    "2 U9,0 D0,0 D0,3 D9,9 D9,12 D6,15 D2,15 D0,13 E",
    "3 U0,3 D3,0 D8,0 D11,3 D11,6 D9,8 D11,10 D11,12 D8,15 D3,15 D0,13 U9,8 D4,8 E",
    "4 U8,0 D8,15 D0,5 D9,5 E",
    "5 U0,2 D2,0 D7,0 D10,3 D10,7 D7,9 D2,9 D0,7 D0,15 D10,15 E",
    "6 U0,7 D2,9 D7,9 D9,7 D9,2 D7,0 D2,0 D0,2 D0,13 D2,15 D7,15 D9,13 E",
    "7 U1,14 D1,15 D11,15 D11,14 D9,11 D5,9 D4,5 D4,0 U2,7 D8,7 E",
    "8 U2,8 D0,6 D0,2 D2,0 D8,0 D10,2 D10,6 D8,8 D2,8 D0,10 D0,13 D2,15 D8,15 D10,13 D10,10 D8,8 E",
    "9 U0,2 D2,0 D8,0 D10,2 D10,13 D8,15 D2,15 D0,13 D0,8 D2,6 D8,6 D10,8 E",
    "/ U0,0 D11,15 E",
    "\\ U0,15 D11,0 E",
    "= U3,5 D8,5 U8,8 D3,8 E",
    "+ U5,3 D5,11 U2,7 D8,7 E",
    "- U3,7 D8,7 E",
    "( U3,0 D1,2 D1,13 D3,15 E",
    ") U8,0 D10,2 D10,13 D8,15 E",
    "# U4,3 D4,12 U7,3 D7,12 U2,5 D9,5 U2,10 D9,10 E",
    "& U9,9 D9,2 D7,0 D2,0 D0,2 D0,6 D1,7 D9,11 D9,14 D7,15 D4,15 D2,14 D2,11 D10,0 E",
    "? U1,13 D3,15 D8,15 D10,13 D10,10 D8,8 D5,8 D5,2 U5,1 D5,0 E",
    ": U6,4 D5,4 D5,5 D6,5 D6,4 U6,10 D5,10 D5,11 D6,11 D6,10 E",
    "; U6,4 D5,4 D5,5 D6,5 D6,4 D5,3 U6,10 D5,10 D5,11 D6,11 D6,10 D5,9 E",
    "* U1,1 D9,9 U9,1 D1,9 U0,5 D9,5 E",
    ". U7,0 D7,1 D8,1 D8,0 D7,0 E",
    ", U7,0 D8,1 D8,2 D7,2 D7,1 D8,1 E",
    "' U7,13 D8,14 D8,15 D7,15 D7,14 D8,14 E",
    "\" U5,13 D6,14 D6,15 D5,15 D5,14 D6,14 U8,13 D9,14 D9,15 D8,15 D8,14 D9,14 E",
    "  E",
};

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

void ShowMultipleItemsNotice(TCanvas& canvas, int32_t paintBoxWidth, int32_t paintBoxHeight) {
  TViewStrokeText text(canvas, "Multiple items at this location", paintBoxWidth / 2 - 100,
                       20 - paintBoxHeight, 8, 12);
  text.Draw();
}
