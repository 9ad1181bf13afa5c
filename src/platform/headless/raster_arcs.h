// The pixels of arcs as the headless raster draws them, for any picture:
// the headless raster paints them into its buffer and the Qt canvas into
// its image's rows, so an arc looks the same on both. The ring of the last
// ellipse is kept for the next arc on it (a circle is drawn as two halves),
// and for a thin one that lies wholly in the picture, for the next one of
// its size anywhere else in it (the circles of one tool along a rout); the
// lists a dashed arc is ordered in are reused: no arc allocates once they
// have grown.
#pragma once
#include <algorithm>
#include <cstddef>
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

  // Sets to value, in the picture at data (rows stride pixels apart, all of
  // limit in it), each pixel inside limit that two arcs of the ellipse in r
  // (normalized) take for a solid pen of one pixel (psInsideFrame when
  // insideFrame, else psSolid): the arc from the ray through (x3, y3) to
  // the ray through (x4, y4) and the arc back, a circle as
  // TCanvas::DrawCircles draws it. The pixels of a circle that lies wholly
  // inside the limit are kept by its size and rays, for the next circle of
  // them anywhere else (the holes of one tool across a panel), when the
  // ellipse's ring moves unchanged (see RingRuns): the two arcs are worked
  // out once for them.
  template <class P>
  void Circle(const TRect& r, bool insideFrame, const TRect& limit, int x3, int y3, int x4, int y4, P* data,
              ptrdiff_t stride, P value) {
    size_t count = 0;
    const TRingPixel* p = nullptr;
    if (stride < kLongestKeptRow && (p = KeptCircle(r, insideFrame, limit, x3, y3, x4, y4, count)) != nullptr) {
      P* corner = data + ptrdiff_t(r.Top) * stride + r.Left;
      const int32_t* o = KeptOffsets(p, stride);
#pragma GCC unroll 4
      for (const int32_t* end = o + count; o != end; ++o) corner[*o] = value;
      return;
    }
    auto paint = [&](int y, int x0, int x1) {
      std::fill(data + ptrdiff_t(y) * stride + x0, data + ptrdiff_t(y) * stride + x1, value);
    };
    ForCircleArcs(r, insideFrame, limit, x3, y3, x4, y4, &CallRun<decltype(paint)>, &paint);
  }

 private:
  template <class F>
  static void Call(void* paint, int y, int x0, int x1, bool on) {
    (*static_cast<F*>(paint))(y, x0, x1, on);
  }
  template <class F>
  static void CallRun(void* paint, int y, int x0, int x1) {
    (*static_cast<F*>(paint))(y, x0, x1);
  }
  // The pixels of the ring of a circle wholly inside the limit, relative to
  // the top left corner of r, worked out when new; nullptr for any other
  // circle, which takes its two arcs (ForCircleArcs).
  struct TRingPixel {
    int16_t X, Y;
  };
  const TRingPixel* KeptCircle(const TRect& r, bool insideFrame, const TRect& limit, int x3, int y3, int x4, int y4,
                             size_t& count);
  // The kept pixels from p on as offsets in a picture of rows stride
  // pixels apart, worked out for the pixels kept since the last call, or
  // for all of them when the stride changed: a ring is stamped without a
  // multiplication a pixel. A kept ring spans at most 514 rows, so the
  // offsets fit 32 bits in rows shorter than kLongestKeptRow.
  static constexpr ptrdiff_t kLongestKeptRow = ptrdiff_t(1) << 21;
  const int32_t* KeptOffsets(const TRingPixel* p, ptrdiff_t stride) {
    if (stride != offsetStride_) {
      circleOffsets_.clear();
      offsetStride_ = stride;
    }
    for (size_t i = circleOffsets_.size(); i < circlePixels_.size(); ++i)
      circleOffsets_.push_back(int32_t(circlePixels_[i].Y * stride + circlePixels_[i].X));
    return circleOffsets_.data() + (p - circlePixels_.data());
  }
  void ForCircleArcs(const TRect& r, bool insideFrame, const TRect& limit, int x3, int y3, int x4, int y4,
                     void (*paint)(void*, int, int, int), void* context);
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
  // The circles kept, by their size and rays relative to the shape's top
  // left corner, with their pixels (relative to it too) in circlePixels_;
  // a circle whose ring does not move is kept without them. circleSlots_ is
  // their hash table (-1 for an empty slot).
  struct TCircleKey {
    int Width, Height;
    long long X3, Y3, X4, Y4;
    bool InsideFrame;
    bool operator==(const TCircleKey&) const = default;
  };
  struct TCircleEntry {
    TCircleKey Key;
    bool Movable;
    size_t First, Count;
  };
  std::vector<TCircleEntry> circles_;
  std::vector<TRingPixel> circlePixels_;
  std::vector<int32_t> circleOffsets_;  // their offsets in rows offsetStride_ apart
  ptrdiff_t offsetStride_ = 0;
  std::vector<int> circleSlots_;
  std::vector<uint8_t> circleMask_;  // a new circle's pixels while worked out
  std::vector<std::pair<double, TPoint>> pixels_;  // a dashed arc's pixels
  std::vector<TArcPoint> lists_[5];                // and their lists while ordered
};
