#include "model/tool_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"

namespace {

class ToolTablesTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    Reset();
  }
  void TearDown() override {
    Reset();
    TKorvexTest::TearDown();
  }
  static void Reset() {
    Metric = false;
    UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
    MicronMetricToolResolution = false;
    ToolTable.Fill(TToolRecord{});
    for (int layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer)
      RoutToolPages[layer].Fill(TRoutToolRecord{});
  }
  std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
  }
};

TEST_F(ToolTablesTest, ToolRecordLayoutIs21BytesLittleEndian) {
  const TToolRecord r{0x01020304, -2, 0x7FFFFFFF, -2147483647 - 1, 0x00ABCDEF, 1};
  const auto b = EncodeToolRecord(r);
  EXPECT_EQ(std::string(b.begin(), b.end()),
            Bytes({0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00,
                   0x00, 0x00, 0x80, 0xEF, 0xCD, 0xAB, 0x00, 0x01}));
  EXPECT_EQ(DecodeToolRecord(b.data()), r);
  // The flag byte keeps its value.
  auto odd = b;
  odd[20] = 7;
  EXPECT_EQ(EncodeToolRecord(DecodeToolRecord(odd.data())), odd);
}

TEST_F(ToolTablesTest, RoutToolRecordLayoutIs16BytesLittleEndian) {
  const TRoutToolRecord r{812800, -1, 6350, 0xFFFF, 0x11223344};
  const auto b = EncodeRoutToolRecord(r);
  EXPECT_EQ(std::string(b.begin(), b.end()),
            Bytes({0x00, 0x67, 0x0C, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xCE, 0x18, 0xFF, 0xFF, 0x44,
                   0x33, 0x22, 0x11}));
  EXPECT_EQ(DecodeRoutToolRecord(b.data()), r);
}

TEST_F(ToolTablesTest, TablesAreIndexedByToolAndLayer) {
  ToolTable[1000].Diameter = 5;
  EXPECT_EQ(ToolTable.Items.back().Diameter, 5);
  EXPECT_THROW(ToolTable[0], std::out_of_range);
  EXPECT_THROW(ToolTable[1001], std::out_of_range);
  RoutToolPages[44][1].Diameter = 9;
  EXPECT_EQ(RoutToolPages.Items[4].Items[0].Diameter, 9);
  EXPECT_THROW(RoutToolPages[39], std::out_of_range);
  EXPECT_THROW(RoutLayerTools[45], std::out_of_range);
  EXPECT_EQ(RoutLayerTools[40], (TRoutLayerTool{1, 1}));
  EXPECT_TRUE(ActiveTools[1]);
  EXPECT_TRUE(ActiveTools[1000]);
  EXPECT_TRUE(ValidToolNumber(1000));
  EXPECT_FALSE(ValidToolNumber(0));
}

TEST_F(ToolTablesTest, RoutToolPageFileRoundTrip) {
  for (int32_t t = 1; t <= kToolCount; ++t)
    RoutToolPages[41][t] = TRoutToolRecord{t * 1000, t * 1000 + 1, uint16_t(t), uint16_t(t + 1), -t};
  const auto path = TempDir / "page.rtt";
  ASSERT_TRUE(SaveRoutToolPage(path.string(), 41));
  const std::string file = ReadFileBytes(path);
  ASSERT_EQ(file.size(), 16000u);
  // Tool 3 starts at byte 32.
  const auto tool3 = EncodeRoutToolRecord(RoutToolPages[41][3]);
  EXPECT_EQ(file.substr(32, 16), std::string(tool3.begin(), tool3.end()));

  RoutToolPages[42][7].Diameter = 99;
  ASSERT_TRUE(LoadRoutToolPage(path.string(), 42));
  EXPECT_EQ(RoutToolPages[42].Items, RoutToolPages[41].Items);

  // Saving again replaces the file whole, leaving no temporary file behind.
  RoutToolPages[41][1].Diameter = 1;
  ASSERT_TRUE(SaveRoutToolPage(path.string(), 41));
  EXPECT_EQ(DecodeRoutToolRecord(reinterpret_cast<const uint8_t*>(ReadFileBytes(path).data()))
                .Diameter,
            1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(TempDir),
                          std::filesystem::directory_iterator()),
            3);  // home, config and the page
}

TEST_F(ToolTablesTest, RoutToolPageLoadFailuresAndShortFiles) {
  RoutToolPages[40][2].Diameter = 77;
  EXPECT_FALSE(LoadRoutToolPage((TempDir / "missing.rtt").string(), 40));
  EXPECT_FALSE(LoadRoutToolPage("", 40));
  EXPECT_EQ(RoutToolPages[40][2].Diameter, 77);

  // Two whole records and part of a third: the page is cleared, then filled.
  const auto a = EncodeRoutToolRecord({100, 200, 3, 4, 5});
  const auto b = EncodeRoutToolRecord({600, 700, 8, 9, 10});
  const std::string bytes = std::string(a.begin(), a.end()) + std::string(b.begin(), b.end()) + "xyz";
  WriteFileBytes(TempDir / "short.rtt", bytes);
  ASSERT_TRUE(LoadRoutToolPage((TempDir / "short.rtt").string(), 40));
  EXPECT_EQ(RoutToolPages[40][1], (TRoutToolRecord{100, 200, 3, 4, 5}));
  EXPECT_EQ(RoutToolPages[40][2], (TRoutToolRecord{600, 700, 8, 9, 10}));
  EXPECT_EQ(RoutToolPages[40][3], TRoutToolRecord{});

  EXPECT_FALSE(LoadRoutToolPage((TempDir / "short.rtt").string(), 39));
  EXPECT_FALSE(SaveRoutToolPage((TempDir / "x.rtt").string(), 45));
}

TEST_F(ToolTablesTest, FailedSaveKeepsTheOldFileAndSaysSo) {
  const auto path = TempDir / "nowhere" / "page.rtt";
  EXPECT_FALSE(SaveRoutToolPage(path.string(), 40));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtError);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("\r\nwhile writing a file"), std::string::npos);
}

TEST_F(ToolTablesTest, EquivalentSizeTableIsOrderedAndSymmetric) {
  for (int i = 0; i < kEquivalentSizeCount; ++i) {
    const TToolSizePair& p = EquivalentSizes[i];
    if (i > 0) {
      EXPECT_LT(EquivalentSizes[i - 1].Inch, p.Inch) << i;
      EXPECT_LT(EquivalentSizes[i - 1].Metric, p.Metric) << i;
    }
    EXPECT_LE(std::abs(double(p.Metric) - p.Inch), 0.035 * p.Inch) << i;
    // Whole ten-thousandths or 64ths of an inch.
    EXPECT_TRUE(p.Inch % 2540 == 0 || p.Inch % 396875 == 0) << i;
    EXPECT_EQ(p.Metric % 50000, 0) << i;  // whole twentieths of a millimetre
    EXPECT_EQ(EquivalentToolSize(p.Inch, false), p.Metric);
    EXPECT_EQ(EquivalentToolSize(p.Metric, true), p.Inch);
    EXPECT_EQ(EquivalentToolSize(EquivalentToolSize(p.Inch, false), true), p.Inch);
    EXPECT_EQ(EquivalentToolSize(EquivalentToolSize(p.Metric, true), false), p.Metric);
  }
  // #80 (0.0135 in) and 0.35 mm.
  EXPECT_EQ(EquivalentToolSize(342900, false), 350000);
  // Sizes not in the table pass unchanged, in both directions.
  EXPECT_EQ(EquivalentToolSize(342901, false), 342901);
  EXPECT_EQ(EquivalentToolSize(342900, true), 342900);
  EXPECT_EQ(EquivalentToolSize(0, false), 0);
  MicronMetricToolResolution = true;
  EXPECT_EQ(EquivalentToolSize(342900, false), 342900);
}

TEST_F(ToolTablesTest, DisplayTexts) {
  EXPECT_EQ(DisplaySizeToText(342900.0 / 25400000.0), ".0135");
  EXPECT_EQ(DisplaySizeToText(1.0), "1.0000");
  EXPECT_EQ(FeedRateToText(25400), "060");
  EXPECT_EQ(FeedRateToText(1000), "002");
  EXPECT_EQ(FeedRateToText(127000), "300");
  EXPECT_EQ(FeedRateToText(2540000), "6000");
  EXPECT_EQ(SpeedToText(600), "060.0");
  EXPECT_EQ(SpeedToText(5), "000.5");
  EXPECT_EQ(SpeedToText(99), "009.9");
  EXPECT_EQ(SpeedToText(1205), "120.5");
  EXPECT_EQ(ZOffsetToText(254000), "0.0100");
  EXPECT_EQ(ZOffsetToText(-254000), "-0.0100");
  EXPECT_EQ(ZOffsetToText(-1000), "0.0000");
  EXPECT_EQ(PadIntText(42, 5, ' '), "   42");
  EXPECT_EQ(PadIntText(12345, 3, '0'), "12345");
  EXPECT_EQ(PadIntText(7, 0, '0'), "7");

  Metric = true;
  UnitsPerDisplayUnit = MetricUnitsPerDisplayUnit;
  EXPECT_EQ(DisplaySizeToText(0.35), "0.35");
  MicronMetricToolResolution = true;
  EXPECT_EQ(DisplaySizeToText(0.35), "0.350");
  EXPECT_EQ(FeedRateToText(12345), "012");
  EXPECT_EQ(FeedRateToText(12500), "012");  // halves go to even
  EXPECT_EQ(ZOffsetToText(250000), "0.250");
  EXPECT_EQ(ZOffsetToText(-1500), "-0.002");
}

}  // namespace
