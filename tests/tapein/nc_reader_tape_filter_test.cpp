#include "tapein/tape_input_filter.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "korvex_test.h"

namespace {

class TapeFilterTest : public TKorvexTest {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const auto path = TempDir / name;
    WriteFileBytes(path, bytes);
    return path.string();
  }
  static std::vector<std::string> Blocks(TTapeFilter& filter) {
    std::vector<std::string> blocks;
    std::string block;
    while (filter.ReadBlock(block)) blocks.push_back(block);
    return blocks;
  }
};

// The even-parity punching of an ASCII text.
std::string IsoPunch(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    unsigned char b = c & 0x7F;
    if (std::popcount(static_cast<unsigned>(b)) % 2 != 0) b |= 0x80;
    out.push_back(static_cast<char>(b));
  }
  return out;
}

}  // namespace

TEST_F(TapeFilterTest, AsciiWithCrLfEndsBlocksAtTheCarriageReturn) {
  TTapeFilter filter;
  ASSERT_TRUE(filter.Init(Write("a.drl", "M48\r\nT1C0.125\r\nX100Y200\r\nM30\r\n")));
  EXPECT_EQ(filter.CodeName(), "ASCII");
  EXPECT_EQ(filter.EndOfBlockChar(), '\r');
  EXPECT_FALSE(filter.Plausible());
  // The line feed after the last block end is a block of its own, with
  // nothing printable in it.
  EXPECT_EQ(Blocks(filter),
            (std::vector<std::string>{"M48", "T1C0.125", "X100Y200", "M30", ""}));
  // A second pass from the start keeps what the first open detected.
  filter.Reset();
  EXPECT_EQ(Blocks(filter).size(), 5u);
  filter.Close();
}

TEST_F(TapeFilterTest, IsoTapeIsDetectedAndLineFeedsBecomeBlockEnds) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "X" + std::to_string(1000 + i) + "Y2000\n";
  TTapeFilter filter;
  ASSERT_TRUE(filter.Init(Write("iso.drl", IsoPunch("G90\n" + text))));
  EXPECT_EQ(filter.CodeName(), "ISOASCII");
  EXPECT_EQ(filter.EndOfBlockChar(), '*');
  auto blocks = Blocks(filter);
  ASSERT_EQ(blocks.size(), 41u);
  EXPECT_EQ(blocks[0], "G90");
  EXPECT_EQ(blocks[1], "X1000Y2000");
}

TEST_F(TapeFilterTest, ShortFileWithStarsEndsBlocksAtTheStar) {
  TTapeFilter filter;
  ASSERT_TRUE(filter.Init(Write("s.gbr", "X1Y2D01*\r\nX3Y4D02*\r\n")));
  EXPECT_EQ(filter.EndOfBlockChar(), '*');
  EXPECT_EQ(Blocks(filter), (std::vector<std::string>{"X1Y2D01", "X3Y4D02", ""}));
}

TEST_F(TapeFilterTest, LongLineComesBackInPiecesOf255) {
  TTapeFilter filter;
  ASSERT_TRUE(filter.Init(Write("long.txt", std::string(300, 'A') + "\n")));
  auto blocks = Blocks(filter);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0].size(), 255u);
  EXPECT_EQ(blocks[1].size(), 45u);
}

TEST_F(TapeFilterTest, EmptyMissingAndBinaryFiles) {
  TTapeFilter empty;
  ASSERT_TRUE(empty.Init(Write("e.txt", "")));
  EXPECT_EQ(empty.CodeName(), "ASCII");
  EXPECT_EQ(empty.EndOfBlockChar(), '\n');
  EXPECT_TRUE(empty.Plausible());
  std::string block;
  EXPECT_FALSE(empty.ReadBlock(block));

  TTapeFilter missing;
  EXPECT_FALSE(missing.Init((TempDir / "none.txt").string()));
  EXPECT_FALSE(missing.ReadBlock(block));

  std::string binary;
  for (int i = 0; i < 2000; ++i) binary.push_back(static_cast<char>((i * 37) & 0xFF));
  TTapeFilter noise;
  ASSERT_TRUE(noise.Init(Write("b.bin", binary)));
  EXPECT_TRUE(noise.Plausible());
}

TEST_F(TapeFilterTest, EbcdicAndEiaTables) {
  std::array<bool, 256> valid{};
  std::array<unsigned char, 256> translate{};
  TapeCodeTable(2, valid, translate);
  EXPECT_EQ(translate[0xE7], 'X');
  EXPECT_EQ(translate[0x25], '\n');
  EXPECT_FALSE(valid[0x05]);
  TapeCodeTable(3, valid, translate);
  int count = 0;
  for (bool v : valid) count += v ? 1 : 0;
  EXPECT_EQ(count, 86);
  EXPECT_EQ(translate[0x37], 'X');
  EXPECT_EQ(translate[0x80], '*');
}

// A drill tape punched in EIA code by a board CAD program, and the drill
// report that came with it. The report is plain ASCII text (not a punched
// tape, whatever its company suggests): the filter must see that and hand
// out its lines unchanged.
TEST_F(TapeFilterTest, PunchedTapeSampleDecodesToExcellonText) {
  const auto folder = SharedTestData();
  if (folder.empty()) GTEST_SKIP() << "shared test data absent";
  TTapeFilter filter;
  ASSERT_TRUE(filter.Init((folder / "excellon/SE_SG_IF_V2.DRL").string()));
  EXPECT_EQ(filter.CodeName(), "EIA");
  EXPECT_EQ(filter.EndOfBlockChar(), '*');
  EXPECT_FALSE(filter.Plausible());
  auto blocks = Blocks(filter);
  ASSERT_GT(blocks.size(), 400u);
  EXPECT_EQ(blocks[0], "M72");
  EXPECT_EQ(blocks[1], "M48");
  EXPECT_EQ(blocks[2], "T1F00S00C0.012");
  EXPECT_EQ(blocks[13], "T01");
  EXPECT_EQ(blocks[14], "X0152Y00455");
  int xy = 0;
  for (const std::string& b : blocks) {
    for (char c : b)
      EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  std::string("+-.%,").find(c) != std::string::npos)
          << b;
    if (b.rfind("X", 0) == 0 || b.rfind("Y", 0) == 0) ++xy;
  }
  // The report beside it counts 427 holes.
  EXPECT_EQ(xy, 427);
  EXPECT_EQ(blocks.back(), "M30");

  TTapeFilter report;
  ASSERT_TRUE(report.Init((folder / "excellon/SE_SG_IF_V2.DRR").string()));
  EXPECT_EQ(report.CodeName(), "ASCII");
  EXPECT_FALSE(report.Plausible());
  auto lines = Blocks(report);
  ASSERT_GT(lines.size(), 3u);
  EXPECT_EQ(lines[1].rfind("NCDrill File Report For: SE_SG_IF_V2.PCBDOC", 0), 0u);
}
