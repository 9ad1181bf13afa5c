// The pixels of arcs as the headless raster draws them, for any picture:
// the headless raster paints them into its buffer and the Qt canvas into
// its image's rows, so an arc looks the same on both. The ring of the last
// ellipse is kept for the next arc on it (a circle is drawn as two halves),
// and the lists a dashed arc is ordered in are reused: no arc allocates
// once they have grown.
#pragma once
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
  // Calls paint(x, y, on) once for each pixel inside limit of the arc of
  // the ellipse in r (normalized, not empty) from the ray through the
  // centre of pixel (x3, y3) counter-clockwise to the ray through (x4, y4),
  // for a pen of width w and style (psClear draws nothing). on is false
  // for the gaps of a dashed one-pixel pen, which take the background.
  template <class F>
  void Arc(const TRect& r, int w, TPenStyle style, const TRect& limit, int x3, int y3, int x4, int y4, F paint) {
    ForArcPixels(r, w, style, limit, x3, y3, x4, y4, &Call<F>, &paint);
  }

 private:
  template <class F>
  static void Call(void* paint, int x, int y, bool on) {
    (*static_cast<F*>(paint))(x, y, on);
  }
  void ForArcPixels(const TRect& r, int w, TPenStyle style, const TRect& limit, int x3, int y3, int x4, int y4,
                    void (*paint)(void*, int, int, bool), void* context);

  // The ring of an ellipse cut to the limit, as runs from the top.
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

  std::vector<TRingRun> ringRuns_;
  TRingKey ringKey_{};
  bool ringValid_ = false;
  std::vector<std::pair<double, TPoint>> pixels_;  // a dashed arc's pixels
  std::vector<TArcPoint> lists_[5];                // and their lists while ordered
};
