// The reader's own Slot, Circle and DrilledText: for consumers that take
// only hits, drilled slots, circles and texts become single hits, each
// counted like any other hit (and against the bounds of a line and a tape).
#include "foundation/display_units.h"
#include "tapein/nc_hit_expansion.h"
#include "tapein/nc_reader.h"

namespace {

// A consumer value back in internal units.
int32_t Internal(int32_t v, int32_t divisor) { return ClampCompToInt(int64_t{v} * divisor); }

}  // namespace

void TNCReader::Slot(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size, int32_t tool,
                     int32_t block, uint8_t flag) {
  ExpandSlotHits(x0, y0, x1, y1, size, Divisor, [&](int32_t hx, int32_t hy, bool travel) {
    if (!CountEmission()) return false;
    Hit(hx, hy, size, tool, block, 0);
    CountHit(Internal(hx, Divisor), Internal(hy, Divisor), tool);
    if (travel) AddTravel(tool, Internal(hx, Divisor), Internal(hy, Divisor));
    return true;
  });
}

void TNCReader::Circle(int32_t x, int32_t y, int32_t size, int32_t diameter, int32_t tool,
                       int32_t block) {
  ExpandCircleHits(x, y, size, diameter, Divisor, [&](int32_t hx, int32_t hy, bool travel) {
    if (!CountEmission()) return false;
    Hit(hx, hy, size, tool, block, 0);
    CountHit(Internal(hx, Divisor), Internal(hy, Divisor), tool);
    if (travel) AddTravel(tool, Internal(hx, Divisor), Internal(hy, Divisor));
    return true;
  });
}

void TNCReader::DrilledText(int32_t x, int32_t y, int32_t size, bool vertical, int32_t tool,
                            const std::string& text, int32_t block) {
  // The dots are relative to the text origin; the reader's axis version
  // turns them like the rest of the tape.
  const uint8_t orientation = static_cast<uint8_t>(AxisVersion);
  ExpandTextHits(text, size, vertical, orientation, [&](int32_t dx, int32_t dy) {
    if (!CountEmission()) return;
    const int32_t hx = ClampCompToInt(int64_t{x} + dx), hy = ClampCompToInt(int64_t{y} + dy);
    Hit(hx, hy, size, tool, block, 0);
    CountHit(Internal(hx, Divisor), Internal(hy, Divisor), tool);
  });
}
