#include "foundation/nc_format.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundation/utilities.h"

const double PowersOfTen[11] = {1.0,      1.0E1, 1.0E2, 1.0E3, 1.0E4, 1.0E5,
                                1.0E6,    1.0E7, 1.0E8, 1.0E9, 1.0E10};

namespace {

void Report(TNCFormatStatus* status, TNCFormatStatus value) {
  if (status != nullptr) *status = value;
}

std::string BadFormat(TNCFormatStatus* status) {
  Report(status, TNCFormatStatus::BadFormat);
  return kNCFormatErrorText;
}

// Value x 10^exponent as a 32-bit integer, nearest with ties to even.
// Returns false (and a value limited to +-2,147,483,647, 0 for NaN) when the
// result does not fit. The exponent must be 0..10.
bool ScaleToInt(int32_t exponent, double value, int64_t& scaled) {
  double s = std::nearbyint(value * PowersOfTen[exponent]);
  if (std::isnan(s)) {
    scaled = 0;
    return false;
  }
  if (s > 2147483647.0) {
    scaled = 2147483647;
    return false;
  }
  if (s < -2147483648.0) {
    scaled = -2147483647;
    return false;
  }
  scaled = static_cast<int64_t>(s);
  return true;
}

bool ExponentUsable(int64_t exponent) { return exponent >= 0 && exponent <= 10; }

std::string Digits(int64_t magnitude) { return std::to_string(magnitude); }

}  // namespace

std::string FormatNCNumber(int32_t IntegerDigits, int32_t TotalDigits, double Value,
                           TNCFormatStatus* status) {
  const int64_t exponent = int64_t{TotalDigits} - IntegerDigits;
  if (IntegerDigits < 0 || !ExponentUsable(exponent)) return BadFormat(status);
  int64_t scaled = 0;
  bool fits = ScaleToInt(static_cast<int32_t>(exponent), Value, scaled);
  const bool negative = scaled < 0;
  std::string t = Digits(std::llabs(scaled));
  if (static_cast<int64_t>(t.size()) > TotalDigits) fits = false;
  // Pad to the digit count, never beyond the short-string limit.
  const int64_t width = std::min<int64_t>(TotalDigits, kShortStringMax - 1);
  if (static_cast<int64_t>(t.size()) < width) t.insert(0, width - t.size(), '0');
  if (negative) t.insert(0, 1, '-');
  Report(status, fits ? TNCFormatStatus::Fits : TNCFormatStatus::TooWide);
  return ShortStr(std::move(t));
}

std::string FormatNCNumberTZ(int32_t IntegerDigits, int32_t TotalDigits, double Value,
                             TNCFormatStatus* status) {
  if (TotalDigits < 2) return BadFormat(status);
  TNCFormatStatus inner = TNCFormatStatus::Fits;
  std::string t = FormatNCNumber(IntegerDigits, TotalDigits, Value, &inner);
  Report(status, inner);
  if (inner == TNCFormatStatus::BadFormat) return t;
  const bool negative = !t.empty() && t[0] == '-';
  if (negative) t.erase(0, 1);
  while (t.size() > 1 && t.back() == '0') t.pop_back();
  if (negative) t.insert(0, 1, '-');
  return t;
}

std::string FormatNCNumberLZ(int32_t Decimals, double Value, TNCFormatStatus* status) {
  if (!ExponentUsable(Decimals)) return BadFormat(status);
  int64_t scaled = 0;
  const bool fits = ScaleToInt(Decimals, Value, scaled);
  Report(status, fits ? TNCFormatStatus::Fits : TNCFormatStatus::TooWide);
  std::string t = Digits(std::llabs(scaled));
  if (scaled < 0) t.insert(0, 1, '-');
  return t;
}

std::string FormatDecimalNumber(int32_t Decimals, double Value, TNCFormatStatus* status) {
  TNCFormatStatus inner = TNCFormatStatus::Fits;
  std::string t = FormatNCNumberLZ(Decimals, Value, &inner);
  Report(status, inner);
  if (inner == TNCFormatStatus::BadFormat) return t;
  const bool negative = !t.empty() && t[0] == '-';
  if (negative) t.erase(0, 1);
  // At least one digit before the point.
  const std::size_t minLength = static_cast<std::size_t>(Decimals) + 1;
  if (t.size() < minLength) t.insert(0, minLength - t.size(), '0');
  t.insert(t.size() - static_cast<std::size_t>(Decimals), 1, '.');
  std::size_t lead = 0;
  while (lead < t.size() && t[lead] == '0') ++lead;
  t.erase(0, lead);
  while (!t.empty() && t.back() == '0') t.pop_back();
  if (t.front() == '.') t.insert(0, 1, '0');
  if (t.back() == '.') t.push_back('0');
  if (negative) t.insert(0, 1, '-');
  return t;
}

std::string TapeDigitsComment(bool metric, int32_t IntegerDigits, int32_t DecimalDigits,
                              uint8_t ZerosUsed) {
  if (ZerosUsed == 3) return {};
  const bool implied = IntegerDigits == (metric ? 3 : 2) && DecimalDigits == (metric ? 3 : 4);
  return (implied ? "; FILE_FORMAT=" : ";FILE_FORMAT=") + std::to_string(IntegerDigits) + ":" +
         std::to_string(DecimalDigits);
}
