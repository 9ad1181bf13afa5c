// The pixels of arcs as the headless raster draws them, for any picture:
// the headless raster paints them into its buffer and the Qt canvas into
// its image's rows, so an arc looks the same on both. The ring of the last
// ellipse is kept for the next arc on it (a circle is drawn as two halves),
// and for a thin one that lies wholly in the picture, for the next one of
// its size anywhere else in it (the circles of one tool along a rout); the
// lists a dashed arc is ordered in are reused: no arc allocates once they
// have grown.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/canvas.h"

// A pixel of a dashed arc with its doubled offset from the ellipse's centre
// and its half of the turn from the start ray, while the arc's pixels are
// put in order.
struct TArcPoint {
  TPoint P;
  long long DX, DY;
  int Half;
};

class TArcRaster {
 public:
  // Calls paint(y, x0, x1, on) for runs of pixels x0 .. x1 - 1 of row y
  // that together are each pixel inside limit of the arc of the ellipse in
  // r (normalized, not empty) from the ray through the centre of pixel
  // (x3, y3) counter-clockwise to the ray through (x4, y4) once, for a pen
  // of width w and style (psClear draws nothing). on is false for the gaps
  // of a dashed one-pixel pen, which take the background; a dashed arc
  // comes one pixel at a time, along the curve.
  template <class F>
  void Arc(const TRect& r, int w, TPenStyle style, const TRect& limit, int x3, int y3, int x4, int y4, F paint) {
    ForArcRuns(r, w, style, limit, x3, y3, x4, y4, &Call<F>, &paint);
  }

 private:
  template <class F>
  static void Call(void* paint, int y, int x0, int x1, bool on) {
    (*static_cast<F*>(paint))(y, x0, x1, on);
  }
  void ForArcRuns(const TRect& r, int w, TPenStyle style, const TRect& limit, int x3, int y3, int x4, int y4,
                  void (*paint)(void*, int, int, int, bool), void* context);

  // The ring of an ellipse cut to the limit, as runs from the top.
  struct TRingRun {
    int Y, X0, X1;
  };
  // A ring kept relative to its shape's top left corner has Shape and
  // Limit moved there too.
  struct TRingKey {
    TRect Shape, Limit;
    int Width;
    bool InsideFrame, Relative;
    bool operator==(const TRingKey&) const = default;
  };
  // The runs, to be moved by origin.
  const std::vector<TRingRun>& RingRuns(const TRect& r, int w, bool insideFrame, const TRect& limit, TPoint& origin);

  std::vector<TRingRun> ringRuns_;
  TRingKey ringKey_{};
  TRect ringShape_{};    // the shape the ring was worked out for
  int ringMovable_ = 0;  // whether it serves elsewhere: 1 yes, -1 no, 0 not yet known
  bool ringValid_ = false;
  unsigned ringGeneration_ = 0;  // counts the rings worked out
  // The side of each pixel of the ring for the last solid arc (see
  // TArcSweep::Side), its ring, shape, rays and kind.
  std::vector<uint8_t> sides_;
  unsigned sidesRing_ = 0;
  TRect sidesShape_{};
  int sidesRays_[4] = {};
  int sidesKind_ = 0;
  bool sidesValid_ = false;
  std::vector<std::pair<double, TPoint>> pixels_;  // a dashed arc's pixels
  std::vector<TArcPoint> lists_[5];                // and their lists while ordered
};
