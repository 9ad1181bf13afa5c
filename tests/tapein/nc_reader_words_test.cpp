#include <gtest/gtest.h>

#include <cerrno>
#include <limits>
#include <string>

#include "tapein/nc_words.h"

namespace {

// A table where X and Y are left-aligned 2.4 words and G is a plain 2.0 word.
TWordFormatTable TwoFour() {
  TWordFormatTable t;
  t.Default = {true, 2, 4, false};
  for (char c : std::string("XYIJ")) t.Of(c) = {true, true, 2, 4, false};
  t.Of('G') = t.Of('M') = {false, false, 2, 0, false};
  t.Of('T') = t.Of('R') = t.Of('P') = {false, false, 4, 0, false};
  t.Of('N') = {true, true, 3, 3, false};
  return t;
}

struct TDecoded {
  TDecodedBlock Block;
  bool Error = false;
  std::string Text;
};

TDecoded Decode(TWordFormatTable& t, const std::string& line) {
  TDecoded d;
  DecodeLine(t, line, d.Block, d.Error, d.Text);
  return d;
}

}  // namespace

TEST(NcReaderWords, LeadingZeroFormatFillsMissingDigitsOnTheRight) {
  TWordFormatTable t = TwoFour();
  auto d = Decode(t, "X12Y-12");
  ASSERT_EQ(d.Block.WordCount, 2);
  EXPECT_EQ(d.Block.Letters[1], 'X');
  EXPECT_EQ(d.Block.Values[1], 120000);
  EXPECT_EQ(d.Block.Values[2], -120000);
  EXPECT_FALSE(d.Error);
  EXPECT_EQ(Decode(t, "X123456").Block.Values[1], 123456);
}

TEST(NcReaderWords, TooManyDigitsIsDigitOverflowAndKeepsTheLeadingDigits) {
  TWordFormatTable t = TwoFour();
  auto d = Decode(t, "X1234567Y1");
  EXPECT_TRUE(d.Error);
  EXPECT_EQ(d.Text, "Digit Overflow");
  EXPECT_EQ(d.Block.Values[1], 123456);
  EXPECT_EQ(d.Block.WordCount, 2);
}

TEST(NcReaderWords, AShortWordInAWideLeadingZeroFormatIsClampedNotOverflowed) {
  // 10.10 with leading zeros kept: "X99" fills to 99 followed by 18 zeros,
  // past the 64-bit range; the word is clamped like any other too large.
  TWordFormatTable t;
  t.Default = {true, 10, 10, false};
  for (char c : std::string("XY")) t.Of(c) = {true, true, 10, 10, false};
  auto d = Decode(t, "X99Y-99");
  ASSERT_EQ(d.Block.WordCount, 2);
  EXPECT_GT(d.Block.Values[1], 2000000000);
  EXPECT_LT(d.Block.Values[2], -2000000000);
  EXPECT_EQ(Decode(t, "X0").Block.Values[1], 0);
}

TEST(NcReaderWords, WordsWhoseSizeIsUnknownAreDroppedAndNamed) {
  TWordFormatTable t = TwoFour();
  // A count with more digits than its format: never used in part or whole.
  auto d = Decode(t, "R999999999X10Y10");
  EXPECT_EQ(d.Text, "Digit Overflow");
  EXPECT_EQ(d.Block.WordCount, 2);
  EXPECT_EQ(d.Block.Letters[1], 'X');
  EXPECT_EQ(t.DroppedLetters, "R");
  // Beyond 32 bits, in any format.
  d = Decode(t, "X99999999999999999999Y1P12345");
  EXPECT_EQ(d.Block.WordCount, 1);
  EXPECT_EQ(d.Block.Letters[1], 'Y');
  EXPECT_EQ(t.DroppedLetters, "XP");
  // The next decode starts afresh.
  d = Decode(t, "X1Y1");
  EXPECT_FALSE(d.Error);
  EXPECT_EQ(t.DroppedLetters, "");
}

TEST(NcReaderWords, TrailingZeroFormatReadsTheNumberAsWritten) {
  TWordFormatTable t = TwoFour();
  t.Of('X').LeftAligned = false;
  EXPECT_EQ(Decode(t, "X12").Block.Values[1], 12);
  EXPECT_EQ(Decode(t, "X-0012").Block.Values[1], -12);
}

TEST(NcReaderWords, DecimalPointWordsAreScaledByTheDecimalDigits) {
  TWordFormatTable t = TwoFour();
  auto d = Decode(t, "X1.5");
  EXPECT_EQ(d.Block.Values[1], 15000);
  EXPECT_TRUE(t.XYPoint);
  t.Default.DecimalDigits = 3;
  EXPECT_EQ(Decode(t, "X-0.25").Block.Values[1], -250);
  // I follows the default format too, but does not mark the XY point.
  TWordFormatTable u = TwoFour();
  EXPECT_EQ(Decode(u, "I.5").Block.Values[1], 5000);
  EXPECT_FALSE(u.XYPoint);
  // Point mode reads a plain number as a decimal.
  u.Of('Y').PointMode = true;
  u.Of('Y').UseDefault = false;
  u.Of('Y').DecimalDigits = 3;
  EXPECT_EQ(Decode(u, "Y100").Block.Values[1], 100000);
}

TEST(NcReaderWords, TrailingCharacterWithoutLetterIsFormatOverflowAndKeepsTheWords) {
  TWordFormatTable t = TwoFour();
  auto d = Decode(t, "G01X12*");
  EXPECT_TRUE(d.Error);
  EXPECT_EQ(d.Text, "Format Overflow");
  ASSERT_EQ(d.Block.WordCount, 2);
  EXPECT_EQ(d.Block.Values[1], 1);
  EXPECT_EQ(d.Block.Values[2], 120000);
}

TEST(NcReaderWords, OverlongNumberIsFormatOverflowAndTheScanGoesOn) {
  TWordFormatTable t = TwoFour();
  auto d = Decode(t, "T99999999999G5");
  EXPECT_EQ(d.Text, "Format Overflow");
  ASSERT_EQ(d.Block.WordCount, 1);
  EXPECT_EQ(d.Block.Letters[1], 'G');
  EXPECT_EQ(d.Block.Values[1], 5);
}

TEST(NcReaderWords, LowerCaseLettersAreNotAddresses) {
  TWordFormatTable t = TwoFour();
  auto d = Decode(t, "g01X12");
  ASSERT_EQ(d.Block.WordCount, 1);
  EXPECT_EQ(d.Block.Letters[1], 'X');
}

TEST(NcReaderWords, BlockOfMoreThanFortyWordsIsBoundedAndReported) {
  TWordFormatTable t = TwoFour();
  std::string line;
  for (int i = 0; i < 45; ++i) line += "G1";
  auto d = Decode(t, line);
  EXPECT_EQ(d.Block.WordCount, 40);
  EXPECT_TRUE(d.Error);
  EXPECT_EQ(d.Text, "Too many words");
  // Exactly forty words are fine.
  auto e = Decode(t, line.substr(0, 80));
  EXPECT_EQ(e.Block.WordCount, 40);
  EXPECT_FALSE(e.Error);
}

TEST(NcReaderWords, FirstWordDecodesOnlyUpToTheWantedWord) {
  TWordFormatTable t = TwoFour();
  char letter = 0;
  int32_t value = 0;
  bool found = false, error = false;
  std::string text;
  DecodeFirstWord(t, "N10M47,HELLO", 2, letter, value, found, error, text);
  EXPECT_TRUE(found);
  EXPECT_EQ(letter, 'M');
  DecodeFirstWord(t, "G1", 2, letter, value, found, error, text);
  EXPECT_FALSE(found);
}

TEST(NcReaderWords, SafeRoundAndErrorTexts) {
  // Nearest, exact halves to the even neighbour, saturating; NaN gives the
  // negative limit.
  const struct {
    double In;
    int32_t Out;
  } rows[] = {{2.5, 2},
              {-3.5, -4},
              {0.5, 0},
              {1.5, 2},
              {-0.5, 0},
              {0.49999999999999994, 0},
              {-0.49999999999999994, 0},
              {1e-300, 0},
              {2.5000000000000004, 3},
              {12345678.5, 12345678},
              {-12345677.5, -12345678},
              {2147483646.5, 2147483646},
              {-2147483646.5, -2147483646},
              {2147483647.0, 2147483647},
              {-2147483647.0, -2147483647},
              {2147483647.4, 2147483647},
              {2147483647.6, 2147483647},
              {-2147483648.0, -2147483647},
              {3e10, 2147483647},
              {-3e10, -2147483647},
              {std::numeric_limits<double>::infinity(), 2147483647},
              {std::numeric_limits<double>::quiet_NaN(), -2147483647}};
  for (const auto& row : rows) EXPECT_EQ(SafeRound(row.In), row.Out) << row.In;
  EXPECT_EQ(IoErrorText(99), "Undefined");
  EXPECT_EQ(IoResultText(ENOENT), "File not found");
}
