// What a drill tape says, or lets one infer, about its number format: the
// answers the Excellon format dialog is pre-filled with, so that pressing OK
// reads the holes where the board is.
//
// Stated beats inferred: unit lines (INCH, METRIC with LZ/TZ and "000.000"),
// M71/M72 and ";FILE_FORMAT=i:d" comments are taken as written. Where the
// tape is silent, the zeros are inferred from the coordinate words of varying
// length (a suppressed leading zero leaves words that end in 0, a suppressed
// trailing zero words that begin with 0), and the digits from the words that
// do not fit the stored ones and from the extent the board would have. What
// the tape neither states nor shows is left as stored.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/settings_families.h"

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

// Scans the tape; a file that cannot be read gives an empty guess. stored
// is the format the guess starts from (its unit and digits where the tape is
// silent).
TTapeFormatGuess GuessTapeFormat(const std::string& fileName, const TDrillFormatRecord& stored);

// The stored format with what the tape states or shows laid over it: the
// dialog's pre-filled answers.
TDrillFormatRecord PrefilledDrillFormat(const std::string& fileName,
                                        const TDrillFormatRecord& stored);
