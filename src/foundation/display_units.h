// Display texts of lengths and feeds, saturating conversion to database
// units, and the eight board orientations.
#pragma once
#include <cstdint>
#include <string>

// Millimetre tool sizes are shown with 3 decimals instead of 2 (System
// setting "Micron Metric Tool Resolution").
extern bool MicronMetricToolResolution;

// The value rounded to the nearest whole number, an exact half going to the
// even neighbour, as nearbyint rounds (the program never changes the
// rounding mode), for magnitudes up to 2^51: adding 1.5 x 2^52 leaves no
// bits below the unit. Without nearbyint's library call, which every point
// of a tape and of a redraw went through.
inline double RoundHalfEven(double value) {
  constexpr double shift = 6755399441055744.0;
  return (value + shift) - shift;
}

// Limits the value to -2,147,483,646 .. 2,147,483,647 and rounds to the
// nearest integer, an exact half going to the even neighbour. NaN gives 0.
int32_t SaturatingRound(double value);

// Limits the value to -2,147,483,647 .. 2,147,483,647. Inline: the tape
// readers call it several times for every hit.
inline int32_t ClampCompToInt(int64_t value) {
  return static_cast<int32_t>(value < -2147483647 ? -2147483647
                              : value > 2147483647 ? 2147483647
                                                   : value);
}
// Limits the value to the whole 32-bit range. Inline for the same reason.
inline int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : value);
}

// ---- Display texts (nearest, halves upward) --------------------------------

// Millimetres: "1.500" with micron resolution, else "1.50"; at least one
// digit before the point. A negative size gets "-" in front of its magnitude.
std::string FormatToolSizeMetric(int32_t size);
// Inches with 4 decimals and no digit before the point below one inch:
// 342,900 gives ".0135", 25,400,000 gives "1.0000".
std::string FormatToolSizeInch(int32_t size);
// Digits of a rout tape feed word: feed div 300 (metric) or div 127, padded to
// 3 digits, then every trailing "0" deleted (0 gives the empty text).
std::string FormatFeedDigits(uint16_t feed, bool metric);

// ---- Name tables -------------------------------------------------------------

constexpr int kLayerCount = 45;
// "0".."29" for the CAD layers, "D0".."D9" for 30..39, "R0".."R4" for 40..44
// (at most 20 characters each).
extern std::string LayerNames[kLayerCount];
void InitLayerNames();

constexpr int kCommandCodeCount = 155;
// Two-letter code of each command number; entry 0 is two blanks, entry 154
// "??".
extern const char* const CommandCodes[kCommandCodeCount];
// Index 0..153 of the first entry equal to code (case-sensitive); 154 when
// none is.
int32_t FindCommandCode(const std::string& code);

// ---- Board orientations ------------------------------------------------------

// Orientation (axis version) code 1..8 applied to (x, y):
//   1 (x, y)   2 (y, x)   3 (y, -x)   4 (-x, y)
//   5 (-y, -x) 6 (-x, -y) 7 (x, -y)   8 (-y, x)
// Any other code leaves the point unchanged. Integer negation saturates
// (-2,147,483,648 becomes 2,147,483,647).
void OrientPoint(int32_t x, int32_t y, uint8_t code, int32_t& X, int32_t& Y);
// The inverse of OrientPoint for the same code.
void UnorientPoint(int32_t X, int32_t Y, uint8_t code, int32_t& x, int32_t& y);
void OrientRealPoint(double x, double y, uint8_t code, double& X, double& Y);
void UnorientRealPoint(double X, double Y, uint8_t code, double& x, double& y);

// Step-and-repeat transform: the step code's negations (bit value 2 negates
// x, 4 negates y) and then its exchange (bit value 1), followed by the offsets:
// X = x' + dx + dx2, Y = y' + dy + dy2, limited to +-2,147,483,647. Inline:
// the tape readers place every hole through it.
inline void StepTransformPoint(int32_t x, int32_t y, int32_t dx, int32_t dy, uint8_t stepCode,
                               int32_t dx2, int32_t dy2, int32_t& X, int32_t& Y) {
  int64_t px = x, py = y;
  if (stepCode & 2) px = -px;
  if (stepCode & 4) py = -py;
  if (stepCode & 1) {
    const int64_t t = px;
    px = py;
    py = t;
  }
  X = ClampCompToInt(px + dx + dx2);
  Y = ClampCompToInt(py + dy + dy2);
}
void StepTransformPointNoExtra(int32_t x, int32_t y, int32_t dx, int32_t dy, uint8_t stepCode,
                               int32_t& X, int32_t& Y);
