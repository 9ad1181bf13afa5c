// Text drawn in strokes of the built-in font (foundation/stroke_glyphs.h):
// short texts drawn as lines by any output that can move and draw, the
// workspace view's notices and the labels of printed and plotted pages.
//
// Every glyph is a list of pen-up and pen-down moves on a grid of 15 units
// per character cell (x 0..11, y 0 at the baseline to 15 at the top of the
// capitals, y growing upwards). TStrokeText draws a text character by
// character through two virtual operations, MoveTo and LineTo, which each
// output supplies.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/stroke_glyphs.h"

class TStrokeText {
 public:
  // The text is upper-cased (and cut to 255 characters); the scales are the
  // character width and height over 15 device units per grid unit.
  TStrokeText(const std::string& text, int32_t x, int32_t y, int32_t charWidth,
              int32_t charHeight);
  virtual ~TStrokeText() = default;

  // Device moves, supplied by each output.
  virtual void MoveTo(int32_t x, int32_t y) = 0;
  virtual void LineTo(int32_t x, int32_t y) = 0;

  // Draws every character in turn; X ends one cell width per character
  // further on.
  void Draw();
  // Draws one character at the current position and advances X by one cell
  // (also for a character the font does not have).
  void DrawGlyph(char c);

  std::string Text;
  int32_t X = 0;
  int32_t Y = 0;
  double ScaleX = 0.0;
  double ScaleY = 0.0;
  double GlyphX = 0.0;
  double GlyphY = 0.0;
  bool PenDown = false;
  int32_t GlyphIndex = 0;
  int32_t ReadPos = 0;
  char CurChar = '\0';
  char NextChar = '\0';

 private:
  // The next character of the record being read ('\0' past its end).
  char ReadChar();
  // Decimal digits from the read position, up to and past the separator.
  int32_t ReadNumber();
};
