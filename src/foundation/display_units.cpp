#include "foundation/display_units.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <limits>

bool MicronMetricToolResolution = false;

int32_t SaturatingRound(double value) {
  if (std::isnan(value)) return 0;
  if (value < -2147483646.0) value = -2147483646.0;
  if (value > 2147483647.0) value = 2147483647.0;
  return static_cast<int32_t>(RoundHalfEven(value));
}

namespace {

// Rounds size / divisor to the nearest integer, halves upward for
// non-negative sizes, and writes its digits padded to minDigits with the
// point before the last decimals digits. Negative sizes (never a tool size)
// get "-" in front of their magnitude's text unless it shows as zero.
std::string FixedPointText(int32_t size, int64_t divisor, std::size_t minDigits,
                           std::size_t decimals) {
  int64_t magnitude = size < 0 ? -int64_t{size} : int64_t{size};
  const int64_t rounded = (magnitude + divisor / 2) / divisor;
  std::string digits = std::to_string(rounded);
  if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), '0');
  digits.insert(digits.size() - decimals, 1, '.');
  return (size < 0 && rounded > 0) ? "-" + digits : digits;
}

}  // namespace

std::string FormatToolSizeMetric(int32_t size) {
  if (MicronMetricToolResolution) return FixedPointText(size, 1000, 4, 3);
  return FixedPointText(size, 10000, 3, 2);
}

std::string FormatToolSizeInch(int32_t size) { return FixedPointText(size, 2540, 4, 4); }

std::string FormatFeedDigits(uint16_t feed, bool metric) {
  std::string digits = std::to_string(metric ? feed / 300 : feed / 127);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  return digits;
}

std::string LayerNames[kLayerCount];

void InitLayerNames() {
  for (int layer = 0; layer < kLayerCount; ++layer) {
    if (layer < 30) LayerNames[layer] = std::to_string(layer);
    else if (layer < 40) LayerNames[layer] = "D" + std::to_string(layer - 30);
    else LayerNames[layer] = "R" + std::to_string(layer - 40);
  }
}

const char* const CommandCodes[kCommandCodeCount] = {
    "  ", "!!", "US", "AI", "AO", "AR", "AS", "AT", "AU", "A2",  // 0..9
    "A3", "CA", "CB", "CD", "CE", "CH", "CI", "CO", "CS", "CT",  // 10..19
    "CZ", "C2", "DB", "DC", "DD", "DF", "DH", "DL", "DO", "DR",  // 20..29
    "DS", "DT", "DU", "DZ", "EI", "EN", "EX", "FB", "FE", "FF",  // 30..39
    "FL", "FP", "FR", "GC", "HC", "HE", "HL", "HN", "HR", "HS",  // 40..49
    "HT", "IF", "IN", "IR", "JO", "KB", "LC", "LD", "LF", "LI",  // 50..59
    "LO", "LR", "LS", "MC", "ME", "MO", "MP", "MR", "MS", "NC",  // 60..69
    "NP", "NT", "NX", "NY", "OA", "OB", "OC", "OE", "OI", "OO",  // 70..79
    "OR", "PA", "PB", "PC", "PE", "PL", "PO", "PR", "RA", "RC",  // 80..89
    "RD", "RE", "RG", "RI", "RM", "RO", "RS", "RT", "RW", "SA",  // 90..99
    "SC", "SD", "SE", "SH", "SI", "SL", "SM", "SN", "SP", "SR",  // 100..109
    "ST", "SW", "SX", "SY", "TA", "TC", "TD", "TH", "TN", "TP",  // 110..119
    "TR", "TT", "TV", "UP", "UU", "WA", "WC", "WE", "WF", "WI",  // 120..129
    "WM", "WO", "WS", "WT", "X1", "X2", "XC", "XD", "XE", "XS",  // 130..139
    "XP", "Y1", "Y2", "YC", "YD", "YE", "YS", "ZA", "ZB", "ZD",  // 140..149
    "ZF", "ZI", "ZO", "ZW", "??",  // 150..154
};

int32_t FindCommandCode(const std::string& code) {
  for (int32_t i = 0; i < kCommandCodeCount - 1; ++i)
    if (code == CommandCodes[i]) return i;
  return kCommandCodeCount - 1;
}

namespace {

// Negation that stays in range: -(-2,147,483,648) gives 2,147,483,647.
int32_t Neg(int32_t v) {
  return v == std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::max() : -v;
}
double Neg(double v) { return -v; }

template <typename T>
void Orient(T x, T y, uint8_t code, T& X, T& Y) {
  T rx = x, ry = y;
  switch (code) {
    case 2: rx = y; ry = x; break;
    case 3: rx = y; ry = Neg(x); break;
    case 4: rx = Neg(x); ry = y; break;
    case 5: rx = Neg(y); ry = Neg(x); break;
    case 6: rx = Neg(x); ry = Neg(y); break;
    case 7: rx = x; ry = Neg(y); break;
    case 8: rx = Neg(y); ry = x; break;
    default: break;
  }
  X = rx;
  Y = ry;
}

// 3 and 8 undo each other; every other code undoes itself.
uint8_t InverseCode(uint8_t code) {
  if (code == 3) return 8;
  if (code == 8) return 3;
  return code;
}

}  // namespace

void OrientPoint(int32_t x, int32_t y, uint8_t code, int32_t& X, int32_t& Y) {
  Orient(x, y, code, X, Y);
}

void UnorientPoint(int32_t X, int32_t Y, uint8_t code, int32_t& x, int32_t& y) {
  Orient(X, Y, InverseCode(code), x, y);
}

void OrientRealPoint(double x, double y, uint8_t code, double& X, double& Y) {
  Orient(x, y, code, X, Y);
}

void UnorientRealPoint(double X, double Y, uint8_t code, double& x, double& y) {
  Orient(X, Y, InverseCode(code), x, y);
}

void StepTransformPointNoExtra(int32_t x, int32_t y, int32_t dx, int32_t dy, uint8_t stepCode,
                               int32_t& X, int32_t& Y) {
  StepTransformPoint(x, y, dx, dy, stepCode, 0, 0, X, Y);
}
