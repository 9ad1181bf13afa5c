#include "foundation/display_units.h"

#include <cfenv>
#include <cmath>

bool MicronMetricToolResolution = false;

int32_t SaturatingRound(double value) {
  if (std::isnan(value)) return 0;
  if (value < -2147483646.0) value = -2147483646.0;
  if (value > 2147483647.0) value = 2147483647.0;
  // nearbyint follows the current rounding mode, which is to nearest, ties
  // to even, unless somebody changed it.
  return static_cast<int32_t>(std::nearbyint(value));
}
