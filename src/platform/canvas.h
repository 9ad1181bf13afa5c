// Drawing on windows, paint boxes, bitmaps and printer pages.
//
// A canvas keeps its pen, brush and font as plain fields (set them, then
// draw); every drawing call reads them. Raster modes follow the classic
// binary raster operations, so XOR drawing twice restores the picture.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/types.h"

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
// Raster modes of the pen (and of fills drawn with the brush).
enum TPenMode {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
  pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
// Copy modes of CopyRect.
enum TCopyMode { cmSrcCopy, cmSrcInvert, cmSrcAnd, cmSrcPaint, cmNotSrcCopy, cmDstInvert };

struct TPen {
  TColor Color = clBlack;
  int Width = 1;
  TPenStyle Style = psSolid;
  TPenMode Mode = pmCopy;
};

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
};

struct TFont {
  std::string Name = "Courier New";
  int Size = 10;  // points
  TColor Color = clBlack;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool FixedPitch = false;
};

class TBitmap;

class TCanvas {
 public:
  TPen Pen;
  TBrush Brush;
  TFont Font;
  TCopyMode CopyMode = cmSrcCopy;

  virtual ~TCanvas() = default;

  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;
  virtual TPoint PenPos() const = 0;
  virtual void SetPixel(int x, int y, TColor c) = 0;
  virtual TColor GetPixel(int x, int y) const = 0;
  // Arc of the ellipse bounded by (x1,y1)-(x2,y2), counter-clockwise from the
  // ray towards (x3,y3) to the ray towards (x4,y4).
  virtual void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) = 0;
  virtual void Ellipse(int x1, int y1, int x2, int y2) = 0;
  virtual void Rectangle(int x1, int y1, int x2, int y2) = 0;
  virtual void Polygon(const std::vector<TPoint>& points) = 0;
  virtual void Polyline(const std::vector<TPoint>& points) = 0;
  virtual void FillRect(const TRect& r) = 0;
  virtual void FrameRect(const TRect& r) = 0;
  virtual void TextOut(int x, int y, const std::string& text) = 0;
  virtual TPoint TextExtent(const std::string& text) = 0;
  // Copies src (in the bitmap's coordinates) to dest on this canvas, using
  // CopyMode; the rectangles may differ in size (stretching).
  virtual void CopyRect(const TRect& dest, const TBitmap& source, const TRect& src) = 0;
  virtual void ClipRect(const TRect& r) = 0;  // restrict drawing; empty rect clears
  int TextWidth(const std::string& t) { return TextExtent(t).X; }
  int TextHeight(const std::string& t) { return TextExtent(t).Y; }
};

// An off-screen picture with its own canvas. Created through the installed
// backend: raster in memory for the headless backend, QImage for Qt.
class TBitmap {
 public:
  static std::unique_ptr<TBitmap> Create(int width, int height);
  virtual ~TBitmap() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetSize(int width, int height) = 0;  // contents become undefined
  virtual TCanvas& Canvas() = 0;
  // Pixels as $00BBGGRR, row by row from the top.
  virtual std::vector<TColor> Pixels() const = 0;
  virtual bool SaveToPng(const std::string& path) const = 0;
};
