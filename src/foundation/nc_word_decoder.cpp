#include "foundation/nc_word_decoder.h"

#include <cmath>

#include "foundation/display_units.h"

namespace {

using TPreset = std::array<TNcWordFormat, 26>;

constexpr TNcWordFormat F(bool used, bool restore, int32_t i, int32_t d) {
  return TNcWordFormat{used, restore, i, d, false};
}

// Preset 0: drill and feed/speed style words.
constexpr TPreset Preset0 = {
    F(true, true, 3, 3),    // A
    F(true, true, 3, 3),    // B
    F(true, true, 1, 4),    // C
    F(true, true, 3, 3),    // D
    F(true, true, 3, 3),    // E
    F(false, true, 3, 0),   // F
    F(false, false, 2, 0),  // G
    F(false, false, 4, 0),  // H
    F(true, true, 3, 3),    // I
    F(true, true, 3, 3),    // J
    F(true, true, 3, 3),    // K
    F(true, true, 3, 3),    // L
    F(false, false, 2, 0),  // M
    F(true, true, 3, 3),    // N
    F(true, true, 3, 3),    // O
    F(false, false, 4, 0),  // P
    F(false, false, 4, 0),  // Q
    F(false, false, 4, 0),  // R
    F(false, true, 2, 1),   // S
    F(false, false, 2, 0),  // T
    F(true, true, 3, 3),    // U
    F(true, true, 3, 3),    // V
    F(true, true, 3, 3),    // W
    F(true, true, 3, 3),    // X
    F(true, true, 3, 3),    // Y
    F(true, true, 3, 3),    // Z
};

// Preset 1: photoplot words.
constexpr TPreset Preset1 = {
    F(true, true, 3, 3),    // A
    F(true, true, 3, 3),    // B
    F(true, true, 3, 3),    // C
    F(false, false, 2, 0),  // D
    F(true, true, 3, 3),    // E
    F(true, true, 3, 3),    // F
    F(false, false, 2, 0),  // G
    F(false, false, 3, 3),  // H
    F(true, true, 3, 3),    // I
    F(true, true, 3, 3),    // J
    F(true, true, 3, 3),    // K
    F(true, true, 3, 3),    // L
    F(false, false, 2, 0),  // M
    F(false, false, 4, 0),  // N
    F(true, true, 3, 3),    // O
    F(true, true, 3, 3),    // P
    F(true, true, 3, 3),    // Q
    F(true, true, 3, 3),    // R
    F(true, true, 3, 3),    // S
    F(true, true, 3, 3),    // T
    F(true, true, 3, 3),    // U
    F(true, true, 3, 3),    // V
    F(true, true, 3, 3),    // W
    F(true, true, 3, 3),    // X
    F(true, true, 3, 3),    // Y
    F(true, true, 3, 3),    // Z
};

constexpr int32_t PowersOfTen[10] = {1,      10,      100,      1000,      10000,
                                     100000, 1000000, 10000000, 100000000, 1000000000};

bool IsLetter(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }


int64_t Scale(int64_t value, int32_t digits) {
  for (int32_t k = 0; k < digits && k < 18; ++k) {
    value *= 10;
    if (value > 4611686018427387903LL || value < -4611686018427387903LL) break;
  }
  return value;
}

struct TNcScan {
  bool Ok = false;
  char Letter = 0;
  int32_t Value = 0;
  int32_t Digits = 0;
  bool Point = false;
  std::size_t Covered = 0;
};

TNcScan ScanNcWord(const std::string& text, std::size_t from) {
  TNcScan scan;
  std::size_t i = from;
  while (i < text.size() && !IsLetter(text[i])) ++i;
  if (i >= text.size()) return scan;
  scan.Letter = text[i++];
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int32_t value = 0;
  while (i < text.size()) {
    if (text[i] == '.') {
      scan.Point = true;
      ++i;
      break;
    }
    if (!IsDigit(text[i])) break;
    if (value >= 214748363) return scan;
    value = value * 10 + (text[i] - '0');
    ++scan.Digits;
    ++i;
  }
  scan.Value = negative ? -value : value;
  scan.Covered = i - from;
  scan.Ok = true;
  return scan;
}

int32_t ParseWordValue(const std::string& text, std::size_t& pos, const TNcWordFormat& format,
                       bool& point) {
  point = false;
  if (pos < text.size() && text[pos] == '+') ++pos;
  if (pos >= text.size()) return 0;
  const char c = text[pos];
  if (c != '-' && c != '.' && !IsDigit(c)) return 0;
  const bool negative = c == '-';
  if (negative) ++pos;
  std::size_t k = pos;
  while (k < text.size() && IsDigit(text[k])) ++k;
  const bool hasPoint = k < text.size() && text[k] == '.';
  int64_t value = 0;
  if (!format.RealValue && !hasPoint) {
    // The longest integer prefix.
    std::size_t n = 0;
    while (pos + n < text.size() && IsDigit(text[pos + n])) {
      value = value * 10 + (text[pos + n] - '0');
      if (value > 2147483647) value = 2147483647;
      ++n;
    }
    pos += n;
    if (format.RestoreZeros && format.IntDigits + format.DecDigits > static_cast<int32_t>(n))
      value = Scale(value, format.IntDigits + format.DecDigits - static_cast<int32_t>(n));
    value = ClampCompToInt(value);
  } else {
    double v = 0.0;
    while (pos < text.size() && IsDigit(text[pos])) v = v * 10.0 + (text[pos++] - '0');
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      point = true;
      double f = 0.1;
      while (pos < text.size() && IsDigit(text[pos])) {
        v += (text[pos++] - '0') * f;
        f *= 0.1;
      }
    }
    if (format.DecDigits >= 1) v *= std::pow(10.0, format.DecDigits);
    value = ClampRoundToInt(v);
  }
  return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

std::array<TNcWordFormat, 26> NcWordFormats = Preset0;
TNcWordFormat NcDefaultFormat{};
bool NcFormatsSet = false;
bool NcDecimalXYSeen = false;

int32_t ClampRoundToInt(double value) {
  if (std::isnan(value)) return 0;
  if (std::fabs(value) > 2147483647.0) return value < 0 ? -2147483647 : 2147483647;
  return static_cast<int32_t>(std::nearbyint(value));
}

void SetNcWordFormats(int32_t preset, bool restoreZeros, int32_t intDigits, int32_t decDigits,
                      bool realValue) {
  NcDecimalXYSeen = false;
  NcDefaultFormat = TNcWordFormat{false, restoreZeros, intDigits, decDigits, realValue};
  if (preset == 0) NcWordFormats = Preset0;
  if (preset == 1) NcWordFormats = Preset1;
  for (TNcWordFormat& f : NcWordFormats) {
    if (!f.Used) continue;
    f.RestoreZeros = restoreZeros;
    f.IntDigits = intDigits;
    f.DecDigits = decDigits;
    f.RealValue = realValue;
  }
  NcFormatsSet = true;
}

int32_t DecodeNcBlock(const std::string& block, std::array<char, MaxNcWords>& letters,
                      std::array<int32_t, MaxNcWords>& values) {
  int32_t count = 0;
  std::size_t rest = 0;
  while (rest < block.size() && count < MaxNcWords) {
    const TNcScan scan = ScanNcWord(block, rest);
    if (scan.Ok) {
      const TNcWordFormat& format = NcWordFormats[static_cast<std::size_t>(scan.Letter - 'A')];
      if (!format.RealValue && !scan.Point) {
        int64_t value = scan.Value;
        const int32_t total = format.IntDigits + format.DecDigits;
        if (format.RestoreZeros && scan.Digits < total) {
          const int32_t missing = total - scan.Digits;
          value = missing < 10 ? value * PowersOfTen[missing] : Scale(value, missing);
        }
        letters[static_cast<std::size_t>(count)] = scan.Letter;
        values[static_cast<std::size_t>(count)] = ClampCompToInt(value);
        ++count;
        rest += scan.Covered;
        continue;
      }
    }
    // Slow path: points, real formats and odd text.
    while (rest < block.size() && !IsLetter(block[rest])) ++rest;
    if (rest >= block.size()) break;
    const char letter = block[rest++];
    const TNcWordFormat& own = NcWordFormats[static_cast<std::size_t>(letter - 'A')];
    const TNcWordFormat& format = own.Used ? NcDefaultFormat : own;
    bool point = false;
    const int32_t value = ParseWordValue(block, rest, format, point);
    if (point && (letter == 'X' || letter == 'Y')) NcDecimalXYSeen = true;
    letters[static_cast<std::size_t>(count)] = letter;
    values[static_cast<std::size_t>(count)] = value;
    ++count;
  }
  return count;
}
