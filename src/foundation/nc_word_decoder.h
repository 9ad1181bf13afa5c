// NC word decoder: splits one block of NC text (such as X12500Y-3.25D01)
// into address words, each a letter A..Z with an integer value in the
// input's integer units. Every letter has a number format, kept in one
// program-wide table that its users fill before decoding (the photoplot
// reader, the feed and speed file reader, the step editor).
#pragma once
#include <array>
#include <cstdint>
#include <string>

struct TNcWordFormat {
  bool Used = false;          // takes the common format when formats are set
  bool RestoreZeros = false;  // fewer digits than IntDigits + DecDigits: missing ones are zeros on the right
  int32_t IntDigits = 0;
  int32_t DecDigits = 0;
  bool RealValue = false;     // always parsed as a real number and rounded
};

// Index 0 = "A".
extern std::array<TNcWordFormat, 26> NcWordFormats;
extern TNcWordFormat NcDefaultFormat;
extern bool NcFormatsSet;
// An X or Y value was written with a decimal point since the last
// SetNcWordFormats.
extern bool NcDecimalXYSeen;

inline constexpr int32_t MaxNcWords = 40;

// Copies preset 0 or 1 into the table (any other preset leaves it) and gives
// every letter whose Used is set the common format.
void SetNcWordFormats(int32_t preset, bool restoreZeros, int32_t intDigits, int32_t decDigits,
                      bool realValue);

// Splits the block into at most 40 words (the rest of the block is ignored);
// letters[0..count-1], values[0..count-1]; returns count. Before any
// SetNcWordFormats the table holds preset 0 as it is.
int32_t DecodeNcBlock(const std::string& block, std::array<char, MaxNcWords>& letters,
                      std::array<int32_t, MaxNcWords>& values);

// Nearest integer (halves to even); beyond +-2,147,483,647 the limit with
// the value's sign.
int32_t ClampRoundToInt(double value);
