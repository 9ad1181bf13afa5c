// Digit strings of NC words. The value comes in the tape's unit (inch or
// millimetre); the formatters scale it by the decimal digit count, round to
// the nearest integer (an exact half to the even neighbour) and write the
// digits by the format's zero mode. The caller puts the word letter in front.
//
// Zero mode of a drill or rout format record and its formatter:
//   0 leading zeros written   FormatNCNumberTZ (integer digits, total digits)
//   1 trailing zeros written  FormatNCNumberLZ (decimal digits)
//   2 both                    FormatNCNumber   (integer digits, total digits)
//   3 explicit decimal point  FormatDecimalNumber (decimal digits)
#pragma once
#include <cstdint>
#include <string>

// 10^n for n = 0..10, the only scale factors the formatters use.
extern const double PowersOfTen[11];

// What a formatter made of its input. A tape writer writes the text only for
// Fits and refuses the tape otherwise.
enum class TNCFormatStatus : uint8_t {
  // The number is written with the format's digits.
  Fits,
  // The number needs more integer digits than the format has (the text holds
  // all its digits), or its scaled value leaves the 32-bit range (the text
  // holds the value limited to +-2,147,483,647; NaN is written as 0).
  TooWide,
  // The digit counts are unusable: a scale exponent (decimal digits) outside
  // 0..10, negative integer digits, or fewer than 2 total digits where
  // trailing zeros are suppressed. The text is kNCFormatErrorText.
  BadFormat,
};

// A count word of a tape (R and P, repeats) has at most four digits: the
// readers take no longer one, so a writer states at most 9,999 repeats in
// one word.
inline constexpr int32_t kTapeCountDigits = 4;
inline constexpr int32_t kMostTapeRepeats = 9999;

// The text written in place of a number whose format is unusable.
inline constexpr const char* kNCFormatErrorText = "FORMAT ERROR: NOTIFY ORBENWRIGHT!";

// All digits: zero-padded on the left to TotalDigits, "-" in front of
// negatives (not counted in TotalDigits). 1.5 in 2.4 gives "015000".
std::string FormatNCNumber(int32_t IntegerDigits, int32_t TotalDigits, double Value,
                           TNCFormatStatus* status = nullptr);
// FormatNCNumber with trailing zeros removed (at least one digit stays):
// 1.5 in 2.4 gives "015".
std::string FormatNCNumberTZ(int32_t IntegerDigits, int32_t TotalDigits, double Value,
                             TNCFormatStatus* status = nullptr);
// The scaled value without padding: 1.5 with 4 decimals gives "15000".
std::string FormatNCNumberLZ(int32_t Decimals, double Value, TNCFormatStatus* status = nullptr);
// Explicit decimal point, leading and trailing zeros removed, at least one
// digit on each side of the point: 1.5 gives "1.5", 0.0 gives "0.0".
std::string FormatDecimalNumber(int32_t Decimals, double Value,
                                TNCFormatStatus* status = nullptr);

// The header comment that states a tape's digits, ";FILE_FORMAT=3:4": a
// units line says no digits (a reader takes its own, or infers them from
// the numbers), so every tape states them; empty where the numbers carry
// their point (zeros mode 3). The digits the units line implies (inch 2.4,
// metric 3.3) are stated as "; FILE_FORMAT=2:4": readers that go by the
// units line alone read those digits anyway, and some readers that take the
// compact statement misplace the point of a tape with its leading zeros; a
// reader that drops the blanks, as this program's do, takes it as written.
std::string TapeDigitsComment(bool metric, int32_t IntegerDigits, int32_t DecimalDigits,
                              uint8_t ZerosUsed);
