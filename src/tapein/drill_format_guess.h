// What a drill tape says, or lets one infer, about its number format: the
// answers the Excellon format dialog is pre-filled with, so that pressing OK
// reads the holes where the board is.
//
// Stated beats inferred: unit lines (INCH, METRIC with LZ/TZ and "000.000"),
// M71/M72 and ";FILE_FORMAT=i:d" comments are taken as written. Where the
// tape is silent, the zeros are inferred from the coordinate words of varying
// length (a suppressed leading zero leaves words that end in 0, a suppressed
// trailing zero words that begin with 0), the unit from the tool sizes, and
// the digits from the words that do not fit the stored ones, the extent the
// board would have and how far its holes stand apart for their sizes. A
// tape that writes every coordinate with its point is offered the decimals
// it writes where they are more. What the tape neither states nor shows is
// left as stored.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/settings_families.h"

// The most decimals an Excellon format takes: a millimetre's millionth is
// the job's unit; an inch's is 25.4 of them.
inline constexpr int32_t MostFormatDecimals = 6;

struct TTapeFormatGuess {
  bool UnitsKnown = false;
  bool Metric = false;
  bool ZerosKnown = false;
  bool LeadingZeros = true;  // leading zeros written, trailing suppressed
  bool DigitsKnown = false;
  int32_t IntegerDigits = 0;
  int32_t DecimalDigits = 0;
  // Coordinate words seen (with and without a decimal point).
  int32_t Words = 0;
  int32_t PointWords = 0;
};

// The format a guess starts from: the unit and digits where the tape is
// silent.
struct TStoredTapeFormat {
  bool Metric = false;
  bool LeadingZeros = true;
  bool Absolute = true;
  int32_t IntegerDigits = 2, DecimalDigits = 4;
  int32_t MetricIntegerDigits = 3, MetricDecimalDigits = 3;
};

// Scans the tape; a file that cannot be read gives an empty guess.
TTapeFormatGuess GuessTapeFormat(const std::string& fileName, const TStoredTapeFormat& stored);

// The stored format (drill, rout or CAD input record) with what the tape
// states or shows laid over it: the format dialog's pre-filled answers.
template <typename TRecord>
TRecord PrefilledTapeFormat(const std::string& fileName, const TRecord& stored) {
  TStoredTapeFormat from;
  from.Metric = stored.Metric;
  from.LeadingZeros = stored.ZerosUsed == 0 || stored.ZerosUsed == 2;
  from.Absolute = stored.Absolute;
  from.IntegerDigits = stored.IntegerDigits;
  from.DecimalDigits = stored.DecimalDigits;
  from.MetricIntegerDigits = stored.MetricIntegerDigits;
  from.MetricDecimalDigits = stored.MetricDecimalDigits;
  const TTapeFormatGuess g = GuessTapeFormat(fileName, from);
  TRecord f = stored;
  if (g.UnitsKnown) f.Metric = g.Metric;
  f.UnitsFactor = UnitsFactorOf(f.Metric);
  // "Both" stays for a tape that writes its leading zeros.
  if (g.ZerosKnown && g.LeadingZeros != from.LeadingZeros) f.ZerosUsed = g.LeadingZeros ? 0 : 1;
  if (g.DigitsKnown) {
    (f.Metric ? f.MetricIntegerDigits : f.IntegerDigits) = uint8_t(g.IntegerDigits);
    (f.Metric ? f.MetricDecimalDigits : f.DecimalDigits) = uint8_t(g.DecimalDigits);
  }
  return f;
}
