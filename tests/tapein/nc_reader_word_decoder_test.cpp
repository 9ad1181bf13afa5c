#include "foundation/nc_word_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TWords {
  std::vector<char> Letters;
  std::vector<int32_t> Values;
};

TWords Decode(const std::string& block) {
  std::array<char, MaxNcWords> letters{};
  std::array<int32_t, MaxNcWords> values{};
  const int32_t n = DecodeNcBlock(block, letters, values);
  TWords w;
  for (int32_t i = 0; i < n; ++i) {
    w.Letters.push_back(letters[static_cast<std::size_t>(i)]);
    w.Values.push_back(values[static_cast<std::size_t>(i)]);
  }
  return w;
}

}  // namespace

TEST(NcWordDecoder, RestoringFormatFillsMissingTrailingDigits) {
  SetNcWordFormats(0, true, 2, 4, false);
  EXPECT_EQ(Decode("X15").Values, std::vector<int32_t>{150000});
  EXPECT_EQ(Decode("X-15").Values, std::vector<int32_t>{-150000});
  EXPECT_EQ(Decode("X000150").Values, std::vector<int32_t>{150});
  SetNcWordFormats(0, false, 2, 4, false);
  EXPECT_EQ(Decode("X15").Values, std::vector<int32_t>{15});
}

TEST(NcWordDecoder, DecimalPointsScaleAndMarkOnlyXAndY) {
  SetNcWordFormats(0, true, 2, 4, false);
  EXPECT_EQ(Decode("I1.5").Values, std::vector<int32_t>{15000});
  EXPECT_FALSE(NcDecimalXYSeen);
  EXPECT_EQ(Decode("X1.5").Values, std::vector<int32_t>{15000});
  EXPECT_TRUE(NcDecimalXYSeen);
  SetNcWordFormats(0, true, 2, 4, false);
  EXPECT_FALSE(NcDecimalXYSeen);
  SetNcWordFormats(0, false, 2, 3, true);
  EXPECT_EQ(Decode("X100").Values, std::vector<int32_t>{100000});
}

TEST(NcWordDecoder, PhotoplotPresetKeepsGAndDOnTheirOwnFormat) {
  SetNcWordFormats(1, true, 2, 4, false);
  auto w = Decode("G01X100D02*");
  EXPECT_EQ(w.Letters, (std::vector<char>{'G', 'X', 'D'}));
  EXPECT_EQ(w.Values, (std::vector<int32_t>{1, 100000, 2}));
}

TEST(NcWordDecoder, OddTextAndLimits) {
  SetNcWordFormats(0, false, 2, 4, false);
  // Lower case, blanks and stray signs are skipped; a bare letter is 0.
  auto w = Decode(" x1 X5 - Y");
  EXPECT_EQ(w.Letters, (std::vector<char>{'X', 'Y'}));
  EXPECT_EQ(w.Values, (std::vector<int32_t>{5, 0}));
  std::string many;
  for (int i = 0; i < 41; ++i) many += "G1";
  EXPECT_EQ(Decode(many).Letters.size(), 40u);
  EXPECT_EQ(ClampRoundToInt(1e12), 2147483647);
  EXPECT_EQ(ClampRoundToInt(-1e12), -2147483647);
  EXPECT_EQ(ClampRoundToInt(0.5), 0);
  EXPECT_EQ(Decode("X99999999999").Values, std::vector<int32_t>{2147483647});
}
