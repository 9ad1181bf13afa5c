// The drill-symbol drawer: the line-drawn shape that marks a drill hit of a
// given tool, on the screen and on plots.
//
// Each tool number picks one of 40 shapes (tool mod 40), made of straight
// strokes only so that any pen device can draw them. The drawer knows only
// two virtual operations, MoveTo and LineTo in device coordinates; every
// output supplies them (a canvas, a plot file's pen-up and pen-down moves).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/canvas.h"

class TSymbolDrawer {
 public:
  explicit TSymbolDrawer(int32_t size) : Size(size) {}
  virtual ~TSymbolDrawer() = default;

  // Slots 0 and 1: device moves, supplied by each output.
  virtual void MoveTo(int32_t x, int32_t y) = 0;
  virtual void LineTo(int32_t x, int32_t y) = 0;
  // Slot 2: the tool's symbol centred on (x, y). Below size 4 a dot (one
  // pixel, or a 2 x 2 block when 3 x size / 2 rounds to 2 or more) stands
  // for every tool. y counts as the device counts it (down on the screen).
  virtual void DrawSymbol(int32_t x, int32_t y, uint16_t tool);

  // The strokes of the tool's symbol of size 4 or more as DrawSymbol draws
  // them once at the centre: moves and lines to offsets from the centre.
  // Fills steps (room for MaxSteps) and answers their number.
  static constexpr size_t MaxSteps = 8;
  static size_t SymbolSteps(uint16_t tool, int32_t size, TFigureStep* steps);

  void SetSize(int32_t size) { Size = size; }
  int32_t GetSize() const { return Size; }

  static constexpr int32_t ShapeCount = 40;

  int32_t Size;  // device units
};

// The drawer on a canvas: MoveTo and LineTo are the canvas's own.
class TCanvasSymbolDrawer : public TSymbolDrawer {
 public:
  TCanvasSymbolDrawer(TCanvas* canvas, int32_t size) : TSymbolDrawer(size), Canvas(canvas) {}

  void MoveTo(int32_t x, int32_t y) override { Canvas->MoveTo(x, y); }
  void LineTo(int32_t x, int32_t y) override { Canvas->LineTo(x, y); }
  // Moves the canvas pen to the centre first, then draws the symbol.
  void DrawSymbol(int32_t x, int32_t y, uint16_t tool) override;

  TCanvas* Canvas;  // not owned
};
