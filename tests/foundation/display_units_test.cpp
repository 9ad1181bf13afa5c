#include "foundation/display_units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

class DisplayUnitsTest : public ::testing::Test {
 protected:
  void SetUp() override { MicronMetricToolResolution = false; }
  void TearDown() override { MicronMetricToolResolution = false; }
};

TEST_F(DisplayUnitsTest, ToolSizeTextsRoundHalvesUp) {
  struct TRow {
    int32_t Size;
    const char *Metric, *Micron;
  };
  for (const TRow& r : {TRow{1500000, "1.50", "1.500"}, TRow{4999, "0.00", "0.005"}, TRow{5000, "0.01", "0.005"},
                        TRow{499, "0.00", "0.000"}, TRow{500, "0.00", "0.001"}, TRow{kMax, "2147.48", "2147.484"}}) {
    MicronMetricToolResolution = false;
    EXPECT_EQ(FormatToolSizeMetric(r.Size), r.Metric) << r.Size;
    MicronMetricToolResolution = true;
    EXPECT_EQ(FormatToolSizeMetric(r.Size), r.Micron) << r.Size;
  }
  // Inches; negative values are not tool sizes, but get no wrong digits either.
  const std::pair<int32_t, const char*> inch[] = {{1269, ".0000"},        {1270, ".0001"},     {342900, ".0135"},
                                                  {25400000, "1.0000"},   {kMax, "84.5466"},   {-25400000, "-1.0000"},
                                                  {-1, ".0000"},          {kMin, "-84.5466"}};
  for (const auto& [size, text] : inch) EXPECT_EQ(FormatToolSizeInch(size), text) << size;
}

TEST_F(DisplayUnitsTest, FeedDigitsDropTrailingZeros) {
  EXPECT_EQ(FormatFeedDigits(12700, false), "1");
  EXPECT_EQ(FormatFeedDigits(900, true), "003");
  EXPECT_EQ(FormatFeedDigits(126, false), "");
  EXPECT_EQ(FormatFeedDigits(0, true), "");
  EXPECT_EQ(FormatFeedDigits(65535, false), "516");
  EXPECT_EQ(FormatFeedDigits(65535, true), "218");
}

TEST_F(DisplayUnitsTest, LayerNamesAndCommandCodes) {
  LayerNames[3] = "changed";
  InitLayerNames();
  const std::pair<int, const char*> names[] = {{0, "0"}, {3, "3"},   {29, "29"}, {30, "D0"},
                                               {39, "D9"}, {40, "R0"}, {44, "R4"}};
  for (const auto& [layer, name] : names) EXPECT_EQ(LayerNames[layer], name) << layer;

  EXPECT_EQ(FindCommandCode("  "), 0);
  EXPECT_EQ(FindCommandCode("!!"), 1);
  EXPECT_EQ(FindCommandCode("ZW"), 153);
  for (const char* unknown : {"??", "QQ", "oo", ""}) EXPECT_EQ(FindCommandCode(unknown), 154) << unknown;
  // Every code names exactly its own command number.
  for (int i = 0; i < kCommandCodeCount; ++i) {
    EXPECT_EQ(std::string(CommandCodes[i]).size(), 2u) << i;
    EXPECT_EQ(FindCommandCode(CommandCodes[i]), i) << CommandCodes[i];
  }
}

TEST_F(DisplayUnitsTest, RoundingAndClampingStayInRange) {
  EXPECT_EQ(SaturatingRound(3.0e9), kMax);
  EXPECT_EQ(SaturatingRound(-3.0e9), -2147483646);
  EXPECT_EQ(SaturatingRound(2.5), 2);
  EXPECT_EQ(SaturatingRound(-3.5), -4);
  EXPECT_EQ(SaturatingRound(std::nan("")), 0);

  EXPECT_EQ(ClampCompToInt(std::numeric_limits<int64_t>::max()), kMax);
  EXPECT_EQ(ClampCompToInt(std::numeric_limits<int64_t>::min()), -kMax);
  EXPECT_EQ(ClampCompToInt(int64_t{kMin}), -kMax);
  EXPECT_EQ(ClampCompToInt(-5), -5);
}

// Rounding without the library call gives what nearbyint gives, halves,
// the values just beside them and the ends of the 32-bit range included.
TEST_F(DisplayUnitsTest, RoundingHalvesToEvenAsTheLibraryDoes) {
  std::vector<double> values = {0.0, -0.0, 0.49999999999999994, -0.49999999999999994, 0.5, -0.5,
                                1.5, -1.5, 2.5, 2147483646.5, -2147483646.5, 2147483647.0,
                                -2147483647.0, 1e-300, -1e-300};
  uint64_t state = 99;
  for (int i = 0; i < 100000; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    // An even number within the 32-bit range.
    const double k = double(int64_t(state >> 33) - (int64_t(1) << 30)) * 2.0;
    values.push_back(k + 0.5);
    values.push_back(std::nextafter(k + 0.5, 0.0));
    values.push_back(std::nextafter(k + 0.5, 4e9));
    values.push_back(k + double(state & 0xFFFF) / 65536.0);
  }
  for (const double v : values) {
    ASSERT_EQ(RoundHalfEven(v), std::nearbyint(v)) << v;
    if (v >= -2147483646.0 && v <= 2147483647.0)
      ASSERT_EQ(SaturatingRound(v), int32_t(std::nearbyint(v))) << v;
  }
}

TEST_F(DisplayUnitsTest, OrientationTableAndInverses) {
  const std::pair<int32_t, int32_t> expected[9] = {
      {3, 5},  // code 0: not an orientation, unchanged
      {3, 5}, {5, 3}, {5, -3}, {-3, 5}, {-5, -3}, {-3, -5}, {3, -5}, {-5, 3}};
  for (uint8_t code = 0; code <= 9; ++code) {
    SCOPED_TRACE(int(code));
    int32_t X = 0, Y = 0;
    OrientPoint(3, 5, code, X, Y);
    const auto want = code <= 8 ? expected[code] : std::make_pair(3, 5);
    EXPECT_EQ(X, want.first);
    EXPECT_EQ(Y, want.second);
    int32_t x = 0, y = 0;
    UnorientPoint(X, Y, code, x, y);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 5);

    double RX = 0, RY = 0;
    OrientRealPoint(3.5, -2.5, code, RX, RY);
    double rx = 0, ry = 0;
    UnorientRealPoint(RX, RY, code, rx, ry);
    EXPECT_EQ(rx, 3.5);
    EXPECT_EQ(ry, -2.5);
    int32_t IX = 0, IY = 0;
    OrientPoint(35, -25, code, IX, IY);
    EXPECT_EQ(RX * 10, IX);
    EXPECT_EQ(RY * 10, IY);
  }
  // Output may alias the input.
  int32_t x = 3, y = 5;
  OrientPoint(x, y, 3, x, y);
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, -3);
  // Negating the most negative integer saturates instead of overflowing.
  OrientPoint(kMin, 0, 4, x, y);
  EXPECT_EQ(x, kMax);
}

TEST_F(DisplayUnitsTest, StepTransformNegatesBeforeExchanging) {
  struct {
    uint8_t Code;
    int32_t X, Y;
  } cases[] = {
      {0, 3, 5},  {1, 5, 3},   {2, -3, 5},  {3, 5, -3},
      {4, 3, -5}, {5, -5, 3},  {6, -3, -5}, {7, -5, -3},
  };
  for (const auto& c : cases) {
    int32_t X = 0, Y = 0;
    StepTransformPoint(3, 5, 100, 200, c.Code, 10, 20, X, Y);
    EXPECT_EQ(X, c.X + 110) << int(c.Code);
    EXPECT_EQ(Y, c.Y + 220) << int(c.Code);
    StepTransformPointNoExtra(3, 5, 100, 200, c.Code, X, Y);
    EXPECT_EQ(X, c.X + 100) << int(c.Code);
    EXPECT_EQ(Y, c.Y + 200) << int(c.Code);
  }
  int32_t X = 0, Y = 0;
  StepTransformPoint(kMax, kMin, kMax, kMin, 0, kMax, kMin, X, Y);
  EXPECT_EQ(X, kMax);
  EXPECT_EQ(Y, -kMax);
}

}  // namespace
