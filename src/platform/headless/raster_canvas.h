// The headless canvas: a software raster on a 32-bit pixel buffer
// ($00BBGGRR), with the classic raster modes, pen widths and styles, and
// the fixed-cell font of canvas_text_cell.h for text.
#pragma once
#include <utility>
#include <vector>

#include "platform/canvas.h"

class TRasterBitmap;

// A pixel of a dashed arc with its doubled offset from the ellipse's centre
// and its half of the turn from the start ray, while the arc's pixels are
// put in order.
struct TArcPoint {
  TPoint P;
  long long DX, DY;
  int Half;
};

class TRasterCanvas : public TCanvas {
 public:
  explicit TRasterCanvas(TRasterBitmap& bitmap) : bitmap_(bitmap) {}

  // Resolution used to size fonts (points to pixels).
  int PixelsPerInch = 96;

  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  TPoint PenPos() const override { return pos_; }
  void SetPixel(int x, int y, TColor c) override;
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

  // The ring of an ellipse cut to the picture, as runs from the top; kept
  // for the next arc on the same ellipse (a circle's two halves).
  struct TRingRun {
    int Y, X0, X1;
  };
  struct TRingKey {
    TRect Shape, Limit;
    int Width;
    bool InsideFrame;
    bool operator==(const TRingKey&) const = default;
  };
  const std::vector<TRingRun>& RingRuns(const TRect& r, int w, bool insideFrame, const TRect& limit);

  TRasterBitmap& bitmap_;
  TPoint pos_;
  std::vector<TRingRun> ringRuns_;
  TRingKey ringKey_{};
  bool ringValid_ = false;
  std::vector<std::pair<double, TPoint>> arcPixels_;  // a dashed arc's pixels, reused
  std::vector<TArcPoint> arcLists_[5];                // and their lists while ordered
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
