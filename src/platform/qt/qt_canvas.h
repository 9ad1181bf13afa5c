// The Qt canvas: TCanvas drawn through a QPainter, and TBitmap on a QImage
// (Format_RGB32) that widgets show as their back buffer.
//
// Drawing is aliased (pixel-exact, like the classic device). On images the
// raster modes map to QPainter's raster-op composition modes, so XOR drawing
// twice restores the image exactly. On devices without raster operations
// (printers, PDF) the modes that need the old pixel draw as copy (pmNot as
// black). Shapes reaching far outside the device are cut to it before Qt
// sees them: lines and polygons geometrically; ellipses and arcs on images
// through the headless raster code; on printers such ellipses and arcs are
// left out. On RGB32 images, lines of one-pixel pens, solid (most of what a
// redraw draws) or dashed, are written straight into the image's rows,
// pixel for pixel as the headless raster sets them, with the painter
// closed. On other images, a run of LineTo calls in one pen is gathered and
// handed to Qt at once; anything else that draws, reads or ends the picture
// draws the gathered lines first.
#pragma once
#include <QImage>
#include <QPainter>
#include <functional>
#include <vector>

#include "platform/canvas.h"
#include "platform/headless/raster_arcs.h"

class TQtPainterCanvas : public TCanvas {
 public:
  void MoveTo(int x, int y) override { pos_ = PackPos(x, y); }
  void LineTo(int x, int y) override;
  TPoint PenPos() const override { return {PosX(), PosY()}; }
  void DrawStamps(const TStamp* stamps, size_t count, const TFigure* figures, size_t figureCount) override;
  void DrawCircles(const TCircleMark* circles, size_t count) override;
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

  // The font as Qt sees it.
  QFont QtFont() const;

 protected:
  // The painter to draw with now, or null when nothing can be drawn.
  virtual QPainter* Painter() = 0;
  // The device that fonts are measured on, and its size in pixels.
  virtual QPaintDevice* Device() = 0;
  // Draws a shape too large for Qt's rasterizer; false when it cannot.
  virtual bool DrawHuge(const std::function<void(TCanvas&)>& draw) { return false; }
  // The rows of 32-bit pixels (0xffRRGGBB) of a device that lines may be
  // written into directly, with no painter open on it; false when there
  // are none (printers, other image formats).
  struct TPixelRows {
    QRgb* Data = nullptr;
    ptrdiff_t Stride = 0;  // pixels from one row to the next
    int Width = 0;
    int Height = 0;
  };
  // Looks the rows up into rows_ (rowsValid_ then set); false when there
  // are none. The image canvas keeps them while they stay good.
  virtual bool FindPixelRows() { return false; }
  TPixelRows rows_;
  mutable bool rowsValid_ = false;

  // A painter prepared with the clip rectangle and the raster mode for a
  // colour; null when nothing is to be drawn (no painter, or pmNop).
  QPainter* Prepare(TColor color, TPenMode mode, QColor& out);
  QRect DeviceRect();
  // Which painting the painter of Painter() is in: a device whose painter
  // stays open between calls counts each opening; 0 (the default) for one
  // whose painter's state may change behind the canvas's back.
  virtual unsigned long PainterSession() const { return 0; }
  // Draws the lines LineTo has gathered, in the painter state they were
  // gathered under. Every call that changes the painter, draws otherwise,
  // ends the painting or reads the pixels calls it first.
  void FlushLines() const;

  bool clipped_ = false;
  TRect clip_;

 private:
  void Stroke(const std::vector<TPoint>& points, bool closed);
  // A one-pixel line, end pixel excluded, written into the rows pixel by
  // pixel as the headless raster does: solid, or in the dashes given
  // from pixel step of their pattern on. Answers the steps of a dashed
  // line (where the next one's pattern goes on).
  long long WriteLine(const TPixelRows& rows, TPoint from, TPoint to, const std::vector<int>* dashes,
                      long long step);
  void FillRects(const std::vector<QRect>& rects, TColor color, TPenMode mode);
  void DrawText(const QRect* limit, int x, int y, const std::string& text);

  // The pen position packed in one 64-bit word (x low, y high): a redraw
  // moves and reads it millions of times, and a word read back right after
  // one write is forwarded from the store, where a point read whole after
  // two 32-bit writes waits for them.
  static uint64_t PackPos(int x, int y) { return uint64_t(uint32_t(x)) | uint64_t(uint32_t(y)) << 32; }
  int PosX() const { return int(uint32_t(pos_)); }
  int PosY() const { return int(uint32_t(pos_ >> 32)); }
  uint64_t pos_ = 0;
  // The painter state the last LineTo left (pen, background, clip), still
  // in force while no other drawing call and no new painting came between:
  // a run of lines in one pen sets it once.
  bool lineReady_ = false;
  unsigned long lineSession_ = 0;
  TPen linePen_;
  TColor lineBack_ = clWhite;
  bool lineClipped_ = false;
  TRect lineClip_;
  QRect lineBounds_;  // the device
  // The lines of the current run not yet handed to Qt (one drawLines call
  // per run costs far less than one drawLine per line), and their painter.
  mutable std::vector<QLine> lines_;
  mutable QPainter* linePainter_ = nullptr;
  // The headless raster's arcs, written into the rows.
  TArcRaster arcs_;
};

// The canvas of a QImage. The painter stays open between drawing calls and
// is closed whenever the pixels are read.
class TQtImageCanvas : public TQtPainterCanvas {
 public:
  explicit TQtImageCanvas(QImage& image) : image_(image) {}
  ~TQtImageCanvas() override { End(); }
  void SetPixel(int x, int y, TColor c) override;
  void SetPixels(const TPoint* points, size_t count, TColor c) override;
  void SetPatternPixels(const TColoredPoint* points, size_t count, const TPoint* offsets,
                        size_t offsetCount) override;
  TColor GetPixel(int x, int y) const override;
  // Finishes painting so that the image can be read, copied or changed.
  void End() const;

 protected:
  QPainter* Painter() override;
  QPaintDevice* Device() override { return &image_; }
  bool DrawHuge(const std::function<void(TCanvas&)>& draw) override;
  bool FindPixelRows() override;
  unsigned long PainterSession() const override { return session_; }

 private:
  QImage& image_;
  mutable QPainter painter_;
  unsigned long session_ = 0;  // painter openings
  // Draws the gathered lines and closes the painter (the image stays this
  // canvas's own).
  void ClosePainter() const;
};

class TQtBitmap : public TBitmap {
 public:
  TQtBitmap(int width, int height);
  int Width() const override { return image_.width(); }
  int Height() const override { return image_.height(); }
  void SetSize(int width, int height) override;
  TCanvas& Canvas() override { return canvas_; }
  std::vector<TColor> Pixels() const override;
  bool SaveToPng(const std::string& path) const override;

  // The picture with every drawing call so far applied, for widgets that
  // show it.
  const QImage& Image() const;

 private:
  QImage image_;
  TQtImageCanvas canvas_;
};

// Colours between TColor ($00BBGGRR) and Qt.
QColor ToQColor(TColor c);
TColor FromQRgb(QRgb rgb);

void InstallQtCanvasBackend();
