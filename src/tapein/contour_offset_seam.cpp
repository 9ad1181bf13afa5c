#include "tapein/contour_offset_seam.h"

#include <algorithm>
#include <utility>

namespace {

TOffsetContourEngine& Engine() {
  static TOffsetContourEngine engine;
  return engine;
}

}  // namespace

void SetOffsetContourEngine(TOffsetContourEngine engine) { Engine() = std::move(engine); }

bool OffsetContourEngineInstalled() { return static_cast<bool>(Engine()); }

bool OffsetContour(TNCMove* out, int32_t& count, const TNCMove* in, int32_t radius, bool side,
                   double tolerance) {
  count = std::clamp(count, 0, MaxOffsetRecords);
  if (!Engine()) {
    std::copy(in, in + count, out);
    return false;
  }
  Engine()(out, count, in, radius, side, tolerance);
  count = std::clamp(count, 0, MaxOffsetRecords);
  return true;
}
