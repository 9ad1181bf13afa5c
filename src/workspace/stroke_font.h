// The built-in stroke font: short texts drawn as lines (notices across the
// workspace view, labels on printed plots).
//
// Every glyph is a list of pen-up and pen-down moves on a grid of 15 units
// per character cell (x 0..11, y 0 at the baseline to 15 at the top of the
// capitals, y growing upwards). TStrokeText draws a text character by
// character through two virtual operations, MoveTo and LineTo, which each
// output device supplies.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "foundation/stroke_glyphs.h"
#include "platform/canvas.h"


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

// The workspace view's stroke text: draws on the view's canvas at (x, -y),
// so the font's upward y becomes the screen's upward direction.
class TViewStrokeText : public TStrokeText {
 public:
  TViewStrokeText(TCanvas& canvas, const std::string& text, int32_t x, int32_t y,
                  int32_t charWidth, int32_t charHeight)
      : TStrokeText(text, x, y, charWidth, charHeight), Canvas(canvas) {}
  void MoveTo(int32_t x, int32_t y) override { Canvas.MoveTo(x, -y); }
  void LineTo(int32_t x, int32_t y) override { Canvas.LineTo(x, -y); }

  TCanvas& Canvas;
};

// "Multiple items at this location" across the view's paint box of the
// given size: 8 by 12 pixel characters, starting 100 pixels left of the
// middle, the baseline 20 pixels above the bottom edge. Drawn in the
// canvas's current pen (in XOR mode a second call removes it).
void ShowMultipleItemsNotice(TCanvas& canvas, int32_t paintBoxWidth, int32_t paintBoxHeight);
