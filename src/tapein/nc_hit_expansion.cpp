#include "tapein/nc_hit_expansion.h"

#include <algorithm>
#include <cmath>

#include "foundation/display_units.h"
#include "foundation/geometry_matrix.h"
#include "model/hit_patterns.h"

namespace {

int32_t Nearest(double v) { return SaturatingRound(v); }

// Long slots use the entity model's row-refinement generator: the reader
// spaces its first row by the hit radius rather than the diameter and judges
// the cusps as if the radius were the drill, so it runs the generator with
// the radius as the drill size. The generator keeps the cusp limit in whole
// units; it is exact for the divisor 1 every import uses.
class TReaderSlotRows : public TDrilledSlotPattern {
 public:
  TReaderSlotRows(TIntPoint a, TIntPoint b, int32_t radius, int32_t cusp,
                  const TExpandedHitSink& sink)
      : TDrilledSlotPattern(0, a, b, radius, cusp), Sink(sink) {}
  void EmitHit(int32_t x, int32_t y) override {
    if (!Sink(x, y, true)) Stopped = true;
  }
  const TExpandedHitSink& Sink;
};

class TReaderTextPattern : public TDrilledTextPattern {
 public:
  TReaderTextPattern(const std::string& text, int32_t size, uint8_t orientation, bool vertical,
                  const std::function<void(int32_t, int32_t)>& dot)
      : TDrilledTextPattern(text, size, orientation, vertical), Dot(dot) {}
  void EmitHit(int32_t x, int32_t y) override { Dot(x, y); }
  const std::function<void(int32_t, int32_t)>& Dot;
};

}  // namespace

void ExpandSlotHits(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size,
                    int32_t divisor, const TExpandedHitSink& hit) {
  if (divisor < 1) divisor = 1;
  int32_t r = size / 2;
  if (r <= 0) r = kReaderDefaultHitSize / divisor;
  const double c = kReaderCuspLimit / divisor;
  const double dx = double(x1) - x0, dy = double(y1) - y0;
  const double L = std::sqrt(dx * dx + dy * dy);
  const bool shortSlot = L < r;

  // A hit no wider than the cusp limit can never meet it: such a slot gets
  // one hit at each end instead of an endless or undefined spacing.
  if (r <= c) {
    if (hit(x0, y0, !shortSlot)) hit(x1, y1, !shortSlot);
    return;
  }

  if (shortSlot) {
    const double half = r * 0.5;
    const double s = 2.0 * std::sqrt(half * half - (half - c) * (half - c));
    double n = std::trunc(L / s);
    if (n < 1.0) n = 1.0;
    n = std::min<double>(n, kMaxPatternHits - 1);
    const double sx = dx / n, sy = dy / n;
    for (int32_t i = 0; i <= int32_t(n); ++i)
      if (!hit(ClampCompToInt(int64_t{x0} + Nearest(i * sx)), ClampCompToInt(int64_t{y0} + Nearest(i * sy)),
               false))
        return;
    return;
  }

  // The generator stops at its hit limit, which bounds the doubling passes.
  TReaderSlotRows rows(TIntPoint{x0, y0}, TIntPoint{x1, y1}, r, std::max(1, Nearest(c)), hit);
  rows.Generate();
}

void ExpandCircleHits(int32_t x, int32_t y, int32_t size, int32_t diameter, int32_t divisor,
                      const TExpandedHitSink& hit) {
  if (divisor < 1) divisor = 1;
  const double h = size > 0 ? size : kReaderDefaultHitSize / divisor;
  const int32_t R0 = diameter / 2;
  const double c = kReaderCuspLimit / divisor;
  // The count is the entity model's: the angle between neighbours whose rims
  // cross at the cusp depth, or touch where a tiny drill never reaches it.
  const int32_t n = 2.0 * R0 - h > 0.0 ? CircleHitCount(c, h, 2.0 * R0) : 1;
  if (n <= 1) {
    hit(x, y, true);
    return;
  }
  // The hits go round from the top, the k-th at 360 x k / n degrees counted
  // down from a full turn, so every position is computed afresh.
  const double rho = R0 - h * 0.5;
  for (int32_t k = n; k >= 1; --k) {
    double px = 0.0, py = rho;
    RotatePoint(px, py, 360.0 * k / n);
    if (!hit(ClampCompToInt(int64_t{x} + Nearest(px)), ClampCompToInt(int64_t{y} + Nearest(py)), true)) return;
  }
}

void ExpandTextHits(const std::string& text, int32_t size, bool vertical, uint8_t orientation,
                    const std::function<void(int32_t dx, int32_t dy)>& dot) {
  TReaderTextPattern pattern(text, size, orientation, vertical, dot);
  pattern.Generate();
}
