// A canvas that records its drawing calls, for tests of drawing code.
//
// Every drawing call (and ClipRect) is kept with its arguments and the pen,
// brush, font, copy mode and background colour at the time. Queries
// (PenPos, GetPixel, TextExtent) are not recorded. When a target canvas is
// given, each call is also drawn on it (with this canvas's state), so a test
// can check the calls and the pixels at once; without one, GetPixel answers
// clWhite and TextExtent measures with the headless fixed-cell font.
#pragma once
#include <string>
#include <vector>

#include "platform/canvas.h"

struct TCanvasCall {
  std::string Op;               // "MoveTo", "LineTo", "Rectangle", ...
  std::vector<int> Args;        // integer arguments in call order (rectangles as 4 values)
  std::vector<TPoint> Points;   // Polygon and Polyline
  std::string Text;             // TextOut and TextRect
  TPen Pen;
  TBrush Brush;
  TFont Font;
  TCopyMode CopyMode = cmSrcCopy;
  TColor BackColor = clWhite;

  // "Op(a,b,...)" with the points as "x:y" and the text in quotes, for
  // compact assertions.
  std::string ToString() const;
};

class TRecordingCanvas : public TCanvas {
 public:
  explicit TRecordingCanvas(TCanvas* target = nullptr, int pixelsPerInch = 96)
      : target_(target), ppi_(pixelsPerInch) {}

  std::vector<TCanvasCall> Calls;
  // ToString of every call, in order.
  std::vector<std::string> Describe() const;

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
  TCanvasCall& Record(const char* op, std::vector<int> args);
  TCanvas* Target();  // the target with this canvas's state, or null

  TCanvas* target_;
  int ppi_;
  TPoint pos_;
};
