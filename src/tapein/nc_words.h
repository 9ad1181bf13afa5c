// Word decoding of the NC tape reader: a block of text becomes a list of
// address words (a letter A-Z and a signed integer in the tape's own units),
// read with one number format per letter. Also the run-time error texts the
// reader puts into its I/O messages.
#pragma once
#include <array>
#include <cmath>
#include <cstdint>
#include <string>

#include "foundation/display_units.h"

// Most words one decoded block holds.
inline constexpr int32_t MaxBlockWords = 40;

// The number format of one address letter.
struct TLetterFormat {
  bool UseDefault = false;  // words written with a point use the default format
  bool LeftAligned = false; // trailing zeros suppressed: missing digits are on the right
  int32_t IntegerDigits = 0;
  int32_t DecimalDigits = 0;
  bool PointMode = false;   // always read the value as a decimal number
};

// The default format (the tape's own digit format).
struct TDefaultFormat {
  bool LeftAligned = false;
  int32_t IntegerDigits = 0;
  int32_t DecimalDigits = 0;
  bool PointMode = false;
};

// The per-letter format table of a reader (rebuilt per file by
// TNCReader::ResetNumberFormat).
struct TWordFormatTable {
  std::array<TLetterFormat, 26> Letters{};  // index 0 = "A"
  TDefaultFormat Default;
  bool XYPoint = false;       // an X or Y word had a decimal point; only the reset clears it
  bool DecodeError = false;   // the last decode met an error
  std::string DecodeErrorText;  // "Digit Overflow" or "Format Overflow"
  // The letters of the words the last decode dropped because their number
  // did not fit (more digits than the format, or beyond 32 bits).
  std::string DroppedLetters;

  TLetterFormat& Of(char letter) { return Letters[static_cast<std::size_t>(letter - 'A')]; }
  // Clears the letter table, the point flag and the error state.
  void Clear();
  // End of a file's use of the table: the error state is dropped.
  void Done();
};

// One decoded block.
struct TDecodedBlock {
  std::array<char, MaxBlockWords + 1> Letters{};     // entries 1..40
  std::array<int32_t, MaxBlockWords + 1> Values{};   // entries 1..40
  int32_t WordCount = 0;
};

// Decodes every word of text into letters and values (entries 1..count).
// Words after the 40th are not stored; they are reported as "Too many words"
// through the error flag and text. A word whose number overflows 32 bits
// ("Format Overflow") and a repeat count (P, R) with more digits than its
// format ("Digit Overflow") are not stored either: their letters are added
// to the table's DroppedLetters. Errors do not stop the decode: the text of
// the last error is returned.
void DecodeLine(TWordFormatTable& formats, const std::string& text, char* letters, int32_t* values,
                int32_t& count, bool& error, std::string& errorText);
void DecodeLine(TWordFormatTable& formats, const std::string& text, TDecodedBlock& block,
                bool& error, std::string& errorText);

// The common hole line ("X..Y..", "X..", "Y..": at most one X and one Y,
// each an optional sign and one to nine digits without a point, nothing
// else) decoded as DecodeLine decodes it: the same words, values and table
// state. False, with nothing changed, for any other line and for a word
// DecodeLine would read another way (a point format, more digits than the
// format, a format of more than 18 digits); DecodeLine then takes it.
bool DecodePlainPositionLine(TWordFormatTable& formats, const std::string& text, char* letters,
                             int32_t* values, int32_t& count);

// Decodes words up to the one with the given index (from 1) and returns it.
void DecodeFirstWord(TWordFormatTable& formats, const std::string& text, int32_t wordIndex,
                     char& letter, int32_t& value, bool& found, bool& error, std::string& errorText);

// The nearest integer (halves to even); beyond +-2147483647 the result is
// 2147483647 for positive and -2147483647 for other values.
// Inline: every coordinate of a tape comes through here.
inline int32_t SafeRound(double value) {
  if (std::fabs(value) > 2147483647.0 || std::isnan(value))
    return value > 0 ? 2147483647 : -2147483647;
  return static_cast<int32_t>(RoundHalfEven(value));
}

// Message text of a run-time I/O or error code ("File not found", ...,
// "Undefined" for codes not in the table).
std::string IoErrorText(int32_t code);

// The run-time code of a system error number (ENOENT gives 2 "File not
// found", EACCES 5 "File access denied", ...); 0 when it has none.
int32_t RuntimeCodeOfErrno(int errnoValue);

// Text of a pending I/O result as the reader reports it: the run-time text
// of its code, or the system's text for an error number with no run-time
// code.
std::string IoResultText(int errnoValue);

// Error texts of the decoder.
inline constexpr const char* DigitOverflowText = "Digit Overflow";
inline constexpr const char* FormatOverflowText = "Format Overflow";
inline constexpr const char* TooManyWordsText = "Too many words";
