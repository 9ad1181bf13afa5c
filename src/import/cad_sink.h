// The CAD side shared by the readers of plotter, laser, board-description
// and drawing files: every element goes to the pending entities on CAD
// layer (layer mod 30), to be added as one undo step once the whole file
// has been read.
#pragma once
#include <cmath>
#include <cstdint>

#include "foundation/display_units.h"
#include "import/import_frame.h"

template <class TReader>
class TToCad : public TReader {
 public:
  using TReader::TReader;
  void AddPoint(int32_t layer, double x, double y) override {
    Pending.Point(LayerOf(layer), SaturatingRound(x), SaturatingRound(y));
  }
  void AddLine(int32_t layer, double x1, double y1, double x2, double y2) override {
    Pending.Line(LayerOf(layer), SaturatingRound(x1), SaturatingRound(y1), SaturatingRound(x2),
                 SaturatingRound(y2));
  }
  // Ends that meet, or angles that do, make the whole circle.
  void AddArc(int32_t layer, double sx, double sy, double ex, double ey, double cx, double cy,
              double a1, double a2) override {
    if ((sx == ex && sy == ey) || std::fabs(a1 - a2) < 1e-10) {
      AddCircle(layer, cx, cy, std::hypot(sx - cx, sy - cy));
      return;
    }
    Pending.Arc(LayerOf(layer), SaturatingRound(sx), SaturatingRound(sy), SaturatingRound(ex),
                SaturatingRound(ey), SaturatingRound(cx), SaturatingRound(cy));
  }
  void AddCircle(int32_t layer, double cx, double cy, double r) override {
    Pending.Circle(LayerOf(layer), SaturatingRound(cx), SaturatingRound(cy), SaturatingRound(r));
  }

  TPendingCad Pending;

 private:
  static uint8_t LayerOf(int32_t layer) { return layer < 0 ? 0 : static_cast<uint8_t>(layer % 30); }
};
