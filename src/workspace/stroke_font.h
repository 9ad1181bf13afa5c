// The workspace view's stroke text: notices drawn in the built-in stroke
// font (foundation/stroke_text.h) across the view.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/stroke_text.h"
#include "platform/canvas.h"

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
