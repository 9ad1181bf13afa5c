// The headless canvas: a software raster on a 32-bit pixel buffer
// ($00BBGGRR), with the classic raster modes, pen widths and styles, and
// the fixed-cell font of canvas_text_cell.h for text.
#pragma once
#include <vector>

#include "platform/canvas.h"
#include "platform/headless/raster_arcs.h"

class TRasterBitmap;

class TRasterCanvas : public TCanvas {
 public:
  explicit TRasterCanvas(TRasterBitmap& bitmap) : bitmap_(bitmap) {}

  // Resolution used to size fonts (points to pixels).
  int PixelsPerInch = 96;

  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  TPoint PenPos() const override { return pos_; }
  void SetPixel(int x, int y, TColor c) override;
  void SetPixels(const TPoint* points, size_t count, TColor c) override;
  void SetPatternPixels(const TColoredPoint* points, size_t count, const TPoint* offsets,
                        size_t offsetCount) override;
  void DrawStamps(const TStamp* stamps, size_t count, const TFigure* figures, size_t figureCount) override;
  void DrawCircles(const TCircleMark* circles, size_t count) override;
  TColor GetPixel(int x, int y) const override;
  void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) override;
  void Ellipse(int x1, int y1, int x2, int y2) override;
  void Rectangle(int x1, int y1, int x2, int y2) override;
  void Polygon(const std::vector<TPoint>& points) override;
  void Polyline(const std::vector<TPoint>& points) override;
  void FillRect(const TRect& r) override;
  void FrameRect(const TRect& r) override;
  void TextOut(int x, int y, const std::string& text) override;
  void TextRect(const TRect& r, int x, int y, const std::string& text) override;
  TPoint TextExtent(const std::string& text) override;
  void CopyRect(const TRect& dest, const TBitmap& source, const TRect& src) override;
  void ClipRect(const TRect& r) override;

 private:
  class TSpans;
  TRect Bounds() const;  // the picture, cut to the clip rectangle
  void Paint(const TSpans& spans, TColor color, TPenMode mode);
  void PaintBrush(const TSpans& spans);
  void DrawLines(const std::vector<TPoint>& points, bool closed, TSpans* outline) {
    DrawLines(points.data(), points.size(), closed, outline);
  }
  void DrawLines(const TPoint* points, size_t count, bool closed, TSpans* outline);
  void DrawText(const TRect& limit, int x, int y, const std::string& text);

  TRasterBitmap& bitmap_;
  TPoint pos_;
  TArcRaster arcs_;
  bool clipped_ = false;
  TRect clip_;
};

class TRasterBitmap final : public TBitmap {
 public:
  TRasterBitmap(int width, int height);
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void SetSize(int width, int height) override;
  TCanvas& Canvas() override { return canvas_; }
  std::vector<TColor> Pixels() const override { return pixels_; }
  bool SaveToPng(const std::string& path) const override;

  // Direct access to the pixel buffer (row by row from the top).
  const std::vector<TColor>& Buffer() const { return pixels_; }
  std::vector<TColor>& Buffer() { return pixels_; }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<TColor> pixels_;
  TRasterCanvas canvas_;
};

class THeadlessCanvasBackend : public TCanvasBackend {
 public:
  std::unique_ptr<TBitmap> CreateBitmap(int width, int height) override {
    return std::make_unique<TRasterBitmap>(width, height);
  }
};
