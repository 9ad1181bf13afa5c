// Display texts of lengths and feeds, saturating conversion to database
// units, and the eight board orientations.
#pragma once
#include <cstdint>

// Millimetre tool sizes are shown with 3 decimals instead of 2 (System
// setting "Micron Metric Tool Resolution").
extern bool MicronMetricToolResolution;

// Limits the value to -2,147,483,646 .. 2,147,483,647 and rounds to the
// nearest integer, an exact half going to the even neighbour. NaN gives 0.
int32_t SaturatingRound(double value);
