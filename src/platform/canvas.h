// Drawing on windows, paint boxes, bitmaps and printer pages.
//
// A canvas keeps its pen, brush and font as plain fields (set them, then
// draw); every drawing call reads them. Raster modes follow the classic
// binary raster operations, so XOR drawing twice restores the picture.
//
// Geometry follows the classic device rules: rectangles and the bounding
// boxes of ellipses and arcs include their left/top edge and exclude their
// right/bottom edge; LineTo draws up to but not including its end point;
// fills (brush) and outlines (pen) never share a pixel, so a filled shape
// drawn twice in XOR mode restores the picture too.
#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/types.h"

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
// Raster modes of the pen (and of fills drawn with the brush). With P the
// pen (or brush) colour and D the pixel already there: pmBlack 0, pmWhite 1,
// pmNop D, pmNot ~D, pmCopy P, pmNotCopy ~P, pmMergePenNot P|~D,
// pmMaskPenNot P&~D, pmMergeNotPen ~P|D, pmMaskNotPen ~P&D, pmMerge P|D,
// pmNotMerge ~(P|D), pmMask P&D, pmNotMask ~(P&D), pmXor P^D, pmNotXor ~(P^D).
enum TPenMode {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
  pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
// Copy modes of CopyRect, with S the source pixel and D the destination:
// cmSrcCopy S, cmSrcInvert S^D, cmSrcAnd S&D, cmSrcPaint S|D, cmNotSrcCopy ~S,
// cmDstInvert ~D.
enum TCopyMode { cmSrcCopy, cmSrcInvert, cmSrcAnd, cmSrcPaint, cmNotSrcCopy, cmDstInvert };

// Applies a raster mode to one pixel (colours as $00BBGGRR; the result keeps
// the top byte clear).
TColor ApplyPenMode(TPenMode mode, TColor pen, TColor dest);
TColor ApplyCopyMode(TCopyMode mode, TColor source, TColor dest);

struct TPen {
  TColor Color = clBlack;
  int Width = 1;  // device pixels; below 1 counts as 1
  // Dash, dot and the mixed styles apply to 1-pixel pens; wider pens draw
  // solid. The gaps are painted in the canvas's BackColor.
  TPenStyle Style = psSolid;
  TPenMode Mode = pmCopy;
  bool operator==(const TPen&) const = default;
};

struct TBrush {
  TColor Color = clWhite;
  // Hatched styles draw their lines in Color and the space between them in
  // the canvas's BackColor.
  TBrushStyle Style = bsSolid;
  bool operator==(const TBrush&) const = default;
};

struct TFont {
  std::string Name = "Courier New";
  int Size = 10;  // points
  TColor Color = clBlack;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool FixedPitch = false;
  bool StrikeOut = false;
  bool operator==(const TFont&) const = default;
};

class TBitmap;

// A pixel's place and the colour to set it in.
struct TColoredPoint {
  int X = 0;
  int Y = 0;
  TColor Color = clBlack;
};

// One step of a figure: a move (Line false) or a line from the pen to the
// stamp's point moved by (DX, DY).
struct TFigureStep {
  int DX = 0;
  int DY = 0;
  bool Line = false;
};
// A small line drawing made of steps, drawn at many points by DrawStamps.
struct TFigure {
  const TFigureStep* Steps = nullptr;
  size_t Count = 0;
};
// Where, in which colour and which figure DrawStamps draws.
struct TStamp {
  int X = 0;
  int Y = 0;
  TColor Color = clBlack;
  uint32_t Figure = 0;
};
// A circle as DrawCircles draws it: the ellipse in the box (X1, Y1 + 1) -
// (X2 + 1, Y2) of corners (X1, Y1) and (X2, Y2), in the colour (a corner
// at the largest int stays there: see Beyond).
struct TCircleMark {
  int X1 = 0;
  int Y1 = 0;
  int X2 = 0;
  int Y2 = 0;
  TColor Color = clBlack;
  // The coordinate one beyond v, held at the largest int.
  static int Beyond(int v) { return v < std::numeric_limits<int>::max() ? v + 1 : v; }
};

class TCanvas {
 public:
  TPen Pen;
  TBrush Brush;
  TFont Font;
  TCopyMode CopyMode = cmSrcCopy;
  // The device's background colour: the colour painted in the gaps of dashed
  // and dotted pens and between the lines of hatched brushes.
  TColor BackColor = clWhite;

  virtual ~TCanvas() = default;

  virtual void MoveTo(int x, int y) = 0;
  // Line from the pen position to (x, y), excluding (x, y); the pen position
  // becomes (x, y).
  virtual void LineTo(int x, int y) = 0;
  virtual TPoint PenPos() const = 0;
  // Pixels are set and read directly (no raster mode). Reading outside the
  // picture, or on a device that cannot be read back, answers clWhite.
  virtual void SetPixel(int x, int y, TColor c) = 0;
  // SetPixel for each of the count points in turn.
  virtual void SetPixels(const TPoint* points, size_t count, TColor c) {
    for (size_t i = 0; i < count; ++i) SetPixel(points[i].X, points[i].Y, c);
  }
  // For each of the count points in turn, SetPixel at the point moved by
  // each of the offsetCount offsets in turn, in the point's own colour: the
  // small marks of many entities in one call.
  virtual void SetPatternPixels(const TColoredPoint* points, size_t count, const TPoint* offsets,
                                size_t offsetCount) {
    for (size_t i = 0; i < count; ++i)
      for (size_t k = 0; k < offsetCount; ++k) {
        const long long x = (long long)points[i].X + offsets[k].X;
        const long long y = (long long)points[i].Y + offsets[k].Y;
        if (x == int(x) && y == int(y)) SetPixel(int(x), int(y), points[i].Color);
      }
  }
  // For each stamp in turn, with the pen in the stamp's colour: MoveTo its
  // point, then MoveTo or LineTo its point moved by each step of its figure
  // (figures[Figure], below figureCount). The pen keeps its colour and is
  // left where the last step leaves it.
  virtual void DrawStamps(const TStamp* stamps, size_t count, const TFigure* figures, size_t figureCount) {
    const TColor colour = Pen.Color;
    for (size_t i = 0; i < count; ++i) {
      const TStamp& s = stamps[i];
      if (s.Figure >= figureCount) continue;
      Pen.Color = s.Color;
      MoveTo(s.X, s.Y);
      const TFigure& f = figures[s.Figure];
      for (size_t k = 0; k < f.Count; ++k) {
        const TFigureStep& step = f.Steps[k];
        if (step.Line)
          LineTo(s.X + step.DX, s.Y + step.DY);
        else
          MoveTo(s.X + step.DX, s.Y + step.DY);
      }
    }
    Pen.Color = colour;
  }
  // For each circle in turn, with the pen in the circle's colour: the arc
  // of its ellipse from the ray towards (X1, Y1) to the ray towards
  // (X2, Y2), then the arc back. The pen keeps its colour and position.
  virtual void DrawCircles(const TCircleMark* circles, size_t count) {
    const TColor colour = Pen.Color;
    for (size_t i = 0; i < count; ++i) {
      const TCircleMark& c = circles[i];
      Pen.Color = c.Color;
      const int y1 = TCircleMark::Beyond(c.Y1), x2 = TCircleMark::Beyond(c.X2);
      Arc(c.X1, y1, x2, c.Y2, c.X1, c.Y1, c.X2, c.Y2);
      Arc(c.X1, y1, x2, c.Y2, c.X2, c.Y2, c.X1, c.Y1);
    }
    Pen.Color = colour;
  }
  virtual TColor GetPixel(int x, int y) const = 0;
  // Arc of the ellipse bounded by (x1,y1)-(x2,y2), counter-clockwise (as seen
  // on the device) from the ray from the centre towards (x3,y3) to the ray
  // towards (x4,y4); the same ray twice gives the whole ellipse. Never filled.
  virtual void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) = 0;
  // Ellipse, rectangle and polygon: outlined with the pen, filled with the
  // brush (nothing when its style is bsClear), both in the pen's raster
  // mode. Polygons fill by the even-odd rule.
  virtual void Ellipse(int x1, int y1, int x2, int y2) = 0;
  virtual void Rectangle(int x1, int y1, int x2, int y2) = 0;
  virtual void Polygon(const std::vector<TPoint>& points) = 0;
  // Lines through the points, the last point excluded like LineTo; neither
  // uses nor moves the pen position.
  virtual void Polyline(const std::vector<TPoint>& points) = 0;
  // Fills with the brush, no outline; always in copy mode.
  virtual void FillRect(const TRect& r) = 0;
  // A 1-pixel border in the brush colour (copy mode).
  virtual void FrameRect(const TRect& r) = 0;
  // Text with its top-left corner at (x, y) in Font; the text cell is first
  // filled with the brush unless the brush is bsClear. Always drawn in copy
  // mode. The pen position moves to the end of the text.
  virtual void TextOut(int x, int y, const std::string& text) = 0;
  // Fills r with the brush (unless bsClear) and draws the text at (x, y)
  // clipped to r.
  virtual void TextRect(const TRect& r, int x, int y, const std::string& text) = 0;
  // Width and height of the text in Font, in device pixels.
  virtual TPoint TextExtent(const std::string& text) = 0;
  // Copies src (in the bitmap's coordinates) to dest on this canvas, using
  // CopyMode; the rectangles may differ in size (stretching by the nearest
  // source pixel). Empty or inverted rectangles copy nothing.
  virtual void CopyRect(const TRect& dest, const TBitmap& source, const TRect& src) = 0;
  // Restricts all drawing to r; an empty rectangle removes the restriction.
  virtual void ClipRect(const TRect& r) = 0;

  int TextWidth(const std::string& t) { return TextExtent(t).X; }
  int TextHeight(const std::string& t) { return TextExtent(t).Y; }
};

// An off-screen picture with its own canvas. Created through the installed
// backend: raster in memory for the headless backend, QImage for Qt. A new
// or resized bitmap is white.
class TBitmap {
 public:
  static std::unique_ptr<TBitmap> Create(int width, int height);
  virtual ~TBitmap() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetSize(int width, int height) = 0;
  virtual TCanvas& Canvas() = 0;
  // Pixels as $00BBGGRR, row by row from the top.
  virtual std::vector<TColor> Pixels() const = 0;
  virtual bool SaveToPng(const std::string& path) const = 0;
};

// Makes the bitmaps of a backend. The headless raster backend is used until
// another one is installed.
// The display the pictures are shown on: its size in pixels and its colour
// depth.
struct TScreenMetrics {
  int Width = 1024;
  int Height = 768;
  int BitsPerPixel = 32;
};

class TCanvasBackend {
 public:
  virtual ~TCanvasBackend() = default;
  virtual std::unique_ptr<TBitmap> CreateBitmap(int width, int height) = 0;
  // The primary display (headless: 1024 x 768 at 32 bits per pixel).
  virtual TScreenMetrics Screen() { return TScreenMetrics{}; }
};

// Installs a backend; nullptr goes back to the headless one.
void SetCanvasBackend(std::unique_ptr<TCanvasBackend> backend);
TCanvasBackend& CanvasBackend();
// The installed backend's display.
TScreenMetrics ScreenMetrics();
