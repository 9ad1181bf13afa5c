// The rout tape writer: tape lines in the output format, the export
// filter's frame lines, and the tape kept whole when a write is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/file_utils.h"
#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/paths.h"
#include "tapeout/drill_tape_writer.h"
#include "tapeout/rout_tape_writer.h"

namespace {

constexpr int32_t Inch = 25400000;

class TRoutTapeWriterTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ASSERT_TRUE(EnsureWorkingDirectories());
    Tools.Fill({});
    Tools[1].Diameter = Inch / 8;
    Program.Items = {
        {TRoutTapeItemKind::Jog, {Inch, Inch}, {}, false, 0, 0, 1, 1, 2, false, ""},
        {TRoutTapeItemKind::Line, {2 * Inch, Inch}, {}, false, 0, 127 * 40, 1, 1, 0, false, ""},
        {TRoutTapeItemKind::Arc, {3 * Inch, 2 * Inch}, {3 * Inch, Inch}, true, 0, 0, 1, 1, 0, false, ""},
        {TRoutTapeItemKind::Command, {}, {}, false, 0, 0, 1, 1, 0, false, "M47,CHECK"},
    };
  }
  void TearDown() override {
    ResetHeadlessDialogs();
    for (auto& f : ExportFilters) f = {};
    TKorvexTest::TearDown();
  }
  std::vector<std::string> Lines(const TRoutFormatRecord& format, bool m48 = false, bool m30 = false) {
    std::vector<std::string> lines;
    std::string error;
    EXPECT_TRUE(BuildRoutTapeLines(Program, format, Tools, m48, m30, lines, error)) << error;
    return lines;
  }
  TRoutTapeProgram Program;
  TRoutToolPage Tools;
};

TEST_F(TRoutTapeWriterTest, ThePathIsWrittenWithHeadMovesToolsAndCompensation) {
  EXPECT_EQ(Lines(DefaultRoutFormat(true)),
            (std::vector<std::string>{"M48", "INCH,LZ", "; FILE_FORMAT=2:4", "T01C0.125", "CP,1,0.0", "%", "G90",
                                      "T01", "G00X01Y01", "G42", "M15", "G01X02Y01F040", "G02X03Y02A01", "M47,CHECK",
                                      "M16", "M30"}));
  // A swap file's own M48 and M30 replace the writer's; the digits and the
  // tools follow the swap file's header lines, and the block is closed.
  const auto framed = Lines(DefaultRoutFormat(true), true, true);
  EXPECT_EQ(std::vector<std::string>(framed.begin(), framed.begin() + 5),
            (std::vector<std::string>{"; FILE_FORMAT=2:4", "T01C0.125", "CP,1,0.0", "%", "G90"}));
  EXPECT_EQ(framed.back(), "M16");
}

// The header states the compensation size of every tool the tape cuts with
// and of every compensation index it names, equal to the tool's size or
// not: a page that reads the tape back compensates with the same cutters.
TEST_F(TRoutTapeWriterTest, EveryToolAndCompensationIndexStatesItsCompensationSize) {
  Tools[1].CompDiameter = Inch / 8;
  Tools[2] = {Inch / 16, Inch / 10};
  Tools[3] = {Inch / 4, Inch / 4};
  Program.Items[0].CompIndex = 2;
  TRoutTapeItem circle{TRoutTapeItemKind::Circle, {4 * Inch, Inch}, {}, false, Inch, 0, 3, 3, 0, true, ""};
  Program.Items.push_back(circle);
  const auto lines = Lines(DefaultRoutFormat(true));
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.begin() + 9),
            (std::vector<std::string>{"T01C0.125", "CP,1,0.125", "CP,2,0.1", "T03C0.25", "CP,3,0.25", "%"}));
}

// A hole plunges its own tool: the tape names it where the tool before is
// another, and the header states its size like a cutter's.
TEST_F(TRoutTapeWriterTest, AHoleIsPlungedWithItsOwnTool) {
  Tools[4] = {Inch / 4, Inch / 4};
  Program.Items.resize(2);
  TRoutTapeItem hole{TRoutTapeItemKind::Hole, {5 * Inch, Inch}, {}, false, 0, 0, 1, 1, 0, false, ""};
  Program.Items.push_back(hole);
  hole.Point.X = 6 * Inch;
  hole.Tool = 4;
  Program.Items.push_back(hole);
  hole.Point.X = 7 * Inch;
  Program.Items.push_back(hole);
  EXPECT_EQ(Lines(DefaultRoutFormat(true)),
            (std::vector<std::string>{"M48", "INCH,LZ", "; FILE_FORMAT=2:4", "T01C0.125", "CP,1,0.0", "T04C0.25",
                                      "CP,4,0.25", "%", "G90", "T01", "G00X01Y01", "G42", "M15", "G01X02Y01F040",
                                      "M16", "G05X05Y01", "T04", "G05X06Y01", "G05X07Y01", "M30"}));
}

TEST_F(TRoutTapeWriterTest, NumbersFollowTheZeroModeUnitsAndCoordinateMode) {
  TRoutFormatRecord f = DefaultRoutFormat(true);
  f.OutputM48Header = false;
  f.ZerosUsed = 1;  // trailing zeros written
  f.Absolute = false;
  f.IJMode = true;
  auto lines = Lines(f);
  EXPECT_EQ(lines[2], "G00X10000Y10000");
  EXPECT_EQ(lines[5], "G01X10000Y0F040");
  EXPECT_EQ(lines[6], "G02X10000Y10000I10000J0");  // centre from the start point
  f.Metric = true;
  f.ZerosUsed = 3;
  f.Absolute = true;
  f.IJMode = false;
  lines = Lines(f);
  EXPECT_EQ(lines[2], "G00X25.4Y25.4");
  EXPECT_EQ(lines[5], "G01X50.8Y25.4F017");  // 5080 feed units at 300 a step
  // The header states the digits.
  f = DefaultRoutFormat(true);
  f.MetricIntegerDigits = 4;
  f.Metric = true;
  lines = Lines(f);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
            (std::vector<std::string>{"M48", "METRIC,LZ", ";FILE_FORMAT=4:3"}));
  EXPECT_EQ(lines[8], "G00X00254Y00254");
}

// The box names the word by its length, with leading zeros kept as with
// both: the digits cut to the format would name another number.
TEST_F(TRoutTapeWriterTest, ANumberTooWideRefusesTheTapeAndKeepsTheOldOne) {
  Program.Items[1].Point = {1000000000, Inch};  // 1000 mm: four integer digits in a 3.3 format
  for (const uint8_t zeros : {uint8_t(0), uint8_t(2)}) {
    SCOPED_TRACE(int(zeros));
    TRoutFormatRecord f = DefaultRoutFormat(true);
    f.Metric = true;
    f.ZerosUsed = zeros;
    const std::string name = ExecutionPath() + "ROUT\\WIDE.RT";
    WriteFileBytes(NativePath(name), "OLD\r\n");
    EXPECT_FALSE(WriteRoutTape(Program, f, Tools, 0, name));
    EXPECT_EQ(ReadFileBytes(NativePath(name)), "OLD\r\n");
    ASSERT_FALSE(ShownMessageBoxes().empty());
    EXPECT_NE(ShownMessageBoxes().back().Text.find("The word X 1000.0 mm does not fit the rout output format 3.3."),
              std::string::npos)
        << ShownMessageBoxes().back().Text;
  }
}

// A command holding a control character (a NUL of a damaged tape, a line
// end, an escape) would end its block or reach the machine as it stands:
// the tape is refused naming the command, shown with its control
// characters, and the old tape stays, as does the missing one. A TAB is a
// blank to every reader and is written.
TEST_F(TRoutTapeWriterTest, ACommandHoldingControlCharactersRefusesTheTape) {
  const std::string name = ExecutionPath() + "ROUT\\CONTROL.RT";
  const struct {
    std::string Text, Shown;
  } cases[] = {
      {std::string("G04\0X1", 6), "\"G04<NUL>X1\""},
      {std::string(3, '\0'), "\"<NUL><NUL><NUL>\""},
      {"M47,A\r\nM30", "\"M47,A<CR><LF>M30\""},
      {"M47,\x1b" "B", "\"M47,<ESC>B\""},
      {"M47,CHECK\x1a" "LOT", "\"M47,CHECK<SUB>LOT\""},
      {"M47,A\tB", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Shown);
    Program.Items.back().Text = c.Text;
    for (const bool old : {true, false}) {
      if (old) WriteFileBytes(NativePath(name), "OLD\r\n");
      else DeleteFileIfExists(name);
      const size_t boxes = ShownMessageBoxes().size();
      const bool written = WriteRoutTape(Program, DefaultRoutFormat(true), Tools, 0, name);
      if (c.Shown.empty()) {
        EXPECT_TRUE(written);
        EXPECT_NE(ReadFileBytes(NativePath(name)).find("\r\n" + c.Text + "\r\n"), std::string::npos);
        continue;
      }
      EXPECT_FALSE(written);
      EXPECT_EQ(FileExistsNoWild(name), old);
      if (old) EXPECT_EQ(ReadFileBytes(NativePath(name)), "OLD\r\n");
      ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
      const std::string& text = ShownMessageBoxes().back().Text;
      EXPECT_NE(text.find("Rout command 1 in cut order, " + c.Shown + ", holds characters no tape may carry"),
                std::string::npos)
          << text;
    }
  }
  // Left out of the tape with the other commands, it refuses nothing.
  TRoutFormatRecord f = DefaultRoutFormat(true);
  f.OutputUnparsed = false;
  Program.Items.back().Text = std::string("G04\0X1", 6);
  EXPECT_TRUE(WriteRoutTape(Program, f, Tools, 0, name));
}

// A machine tape carries text only: DEL (tape feed to a reader) and bytes
// from 0x80 on refuse the tape as control characters do. Every command
// refused is counted and the first three named by their place in cut order;
// the old tape stays byte for byte.
TEST_F(TRoutTapeWriterTest, EveryCommandATapeCannotCarryIsCountedAndTheFirstNamed) {
  const std::string name = ExecutionPath() + "ROUT\\TEXT.RT";
  const std::string old = "OLD\r\n\x7f\xe9\r\n";
  const struct {
    std::vector<std::string> Commands;
    std::string Box;
  } cases[] = {
      {{"G04\x7f"}, "Rout command 1 in cut order, \"G04<DEL>\", holds characters no tape may carry"},
      {{"M47,OK", "M47,LOT\x80"}, "Rout command 2 in cut order, \"M47,LOT<x80>\", holds"},
      {{"\xff"}, "Rout command 1 in cut order, \"<xFF>\", holds"},
      {{"M47,CAF\xc3\xa9"}, "\"M47,CAF<xC3><xA9>\""},
      {{"M47,A", "G04\x7f", "M47,B", "M47,C", "M47,\xe9", "M47,\tD", "X\x01"},
       "3 rout commands in cut order hold characters no tape may carry (shown in angle brackets): the 2nd "
       "(\"G04<DEL>\"), the 5th (\"M47,<xE9>\") and the 7th (\"X<SOH>\"): the tape is not written."},
      {{"\x7f", "\x80", "M47", "\x1b", "\xfe", "M47", "\x7f\x7f"},
       "5 rout commands in cut order hold characters no tape may carry (shown in angle brackets): the 1st "
       "(\"<DEL>\"), the 2nd (\"<x80>\"), the 4th (\"<ESC>\") and 2 more: the tape is not written."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Box);
    Program.Items.resize(3);
    for (const std::string& text : c.Commands)
      Program.Items.push_back({TRoutTapeItemKind::Command, {}, {}, false, 0, 0, 1, 1, 0, false, text});
    WriteFileBytes(NativePath(name), old);
    const size_t boxes = ShownMessageBoxes().size();
    EXPECT_FALSE(WriteRoutTape(Program, DefaultRoutFormat(true), Tools, 0, name));
    EXPECT_EQ(ReadFileBytes(NativePath(name)), old);
    ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
    EXPECT_NE(ShownMessageBoxes().back().Text.find(c.Box), std::string::npos) << ShownMessageBoxes().back().Text;
  }
  // The 11th to 13th, the 21st and the 22nd in cut order.
  Program.Items.resize(3);
  for (int32_t k = 1; k <= 22; ++k)
    Program.Items.push_back({TRoutTapeItemKind::Command, {}, {}, false, 0, 0, 1, 1, 0, false,
                             k == 11 || k == 12 || k == 13 || k == 21 || k == 22 ? "\x7f" : "M47"});
  EXPECT_FALSE(WriteRoutTape(Program, DefaultRoutFormat(true), Tools, 0, name));
  EXPECT_NE(ShownMessageBoxes().back().Text.find("the 11th (\"<DEL>\"), the 12th (\"<DEL>\"), the 13th (\"<DEL>\") and 2 more"),
            std::string::npos)
      << ShownMessageBoxes().back().Text;
  Program.Items.resize(6);
  Program.Items[3].Text = "\x7f";
  Program.Items[4].Text = "\x80";
  Program.Items[5].Text = "\x1b";
  EXPECT_FALSE(WriteRoutTape(Program, DefaultRoutFormat(true), Tools, 0, name));
  EXPECT_NE(ShownMessageBoxes().back().Text.find("the 1st (\"<DEL>\"), the 2nd (\"<x80>\") and the 3rd (\"<ESC>\")"),
            std::string::npos)
      << ShownMessageBoxes().back().Text;
}

// A tape reader takes no negative compensation size: a page loaded from a
// page file or an older job that holds one for a tool the header would
// state refuses the tape, naming the tools and the layer, and the old tape
// stays. A tool the layer does not cut with, or a tape without a header,
// states none and is written.
TEST_F(TRoutTapeWriterTest, ANegativeCompensationSizeRefusesTheTape) {
  const std::string name = ExecutionPath() + "ROUT\\NEGCP.RT";
  const struct {
    int32_t Comp1, Comp2, Comp5;
    bool Metric, Header;
    std::string Box;  // empty: written
  } cases[] = {
      {-Inch / 8, 0, 0, false, true,
       "Tool 1 (-0.125 in) on the tool page of rout layer R2 has a negative compensation size, which no tape may "
       "state: give it its size in Cutter Config (Modify menu) before writing the tape."},
      {-Inch / 8, -Inch / 10, 0, true, true,
       "Tools 1 (-3.175 mm) and 2 (-2.54 mm) on the tool page of rout layer R2 have negative compensation sizes"},
      {0, -Inch / 10, 0, false, true, "Tool 2 (-0.1 in) on the tool page"},
      {0, 0, -Inch / 8, false, true, ""},
      {-Inch / 8, -Inch / 10, 0, false, false, ""},
  };
  Program.Layer = kFirstRoutLayer + 2;
  Program.Items[0].CompIndex = 2;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Box);
    Tools[1].CompDiameter = c.Comp1;
    Tools[2].CompDiameter = c.Comp2;
    Tools[5] = {Inch / 8, c.Comp5};
    TRoutFormatRecord f = DefaultRoutFormat(true);
    f.Metric = c.Metric;
    f.OutputM48Header = c.Header;
    WriteFileBytes(NativePath(name), "OLD\r\n");
    const size_t boxes = ShownMessageBoxes().size();
    const bool written = WriteRoutTape(Program, f, Tools, 0, name);
    const std::string tape = ReadFileBytes(NativePath(name));
    if (c.Box.empty()) {
      EXPECT_TRUE(written);
      EXPECT_EQ(tape.find("CP,1,-"), std::string::npos) << tape;
      EXPECT_EQ(tape.find("CP,5"), std::string::npos) << tape;
      continue;
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(tape, "OLD\r\n");
    ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
    EXPECT_NE(ShownMessageBoxes().back().Text.find(c.Box), std::string::npos) << ShownMessageBoxes().back().Text;
  }
}

TEST_F(TRoutTapeWriterTest, TheExportFilterFramesAndRewritesTheTape) {
  const std::string swap = ExecutionPath() + "SWAP\\OUT.SWP";
  WriteFileBytes(NativePath(swap), "HEADER = M48\r\nheader=;JOB 7\r\nTRAILER=M30\r\nSWAP=G42=G41\r\n");
  ExportFilters[1] = {"Out", swap};
  const std::string name = ExecutionPath() + "ROUT\\F.RT";
  ASSERT_TRUE(WriteRoutTape(Program, DefaultRoutFormat(true), Tools, 1, name));
  const std::string text = ReadFileBytes(NativePath(name));
  EXPECT_EQ(text.substr(0, 65), "M48\r\n;JOB7\r\nINCH,LZ\r\n; FILE_FORMAT=2:4\r\nT01C0.125\r\nCP,1,0.0\r\n%\r\nG");
  EXPECT_EQ(text.find("M48", 1), std::string::npos);  // the header's M48 stands alone
  EXPECT_NE(text.find("\r\nG41\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 5), "M30\r\n");
  EXPECT_EQ(text.find("M30"), text.size() - 5);

  ExportFilters[2] = {"Gone", ExecutionPath() + "SWAP\\GONE.SWP"};
  EXPECT_FALSE(WriteRoutTape(Program, DefaultRoutFormat(true), Tools, 2, name));
  EXPECT_EQ(ShownMessageBoxes().back().Text,
            " Cannot find specified swap file " + ExecutionPath() + "SWAP\\GONE.SWP!");
  EXPECT_EQ(ReadFileBytes(NativePath(name)), text);
}

// An export filter whose header, trailer or rules put bytes no tape may
// carry into the tape refuses it, rout tape and drill tape alike: the box
// names the lines of the tape and the filter, and the old tape stays. A TAB
// is a blank. What a tape reader passes over is carried: a punch's leader
// and rewind stops, a link's XON and XOFF, rubouts, the DOS end mark
// behind the last line.
TEST_F(TRoutTapeWriterTest, AnExportFilterPuttingControlCharactersOnTheTapeRefusesIt) {
  Program.Items.back().Text = "M47,A\tB";
  const std::string swap = ExecutionPath() + "SWAP\\CTRL.SWP";
  const std::string name = ExecutionPath() + "ROUT\\CTRL.RT";
  ExportFilters[1] = {"Punch", swap};
  const std::string nuls(20, '\0');
  const struct {
    std::string Swap;
    bool Drill;
    std::string Box;  // empty: written, beginning with Head and ending with Tail
    std::string Head = "", Tail = "";
  } cases[] = {
      {"HEADER=M48\x1b\r\n", false,
       "Line 1 of the tape, \"M48<ESC>\", holds characters no tape may carry (shown in angle brackets): the export "
       "filter Punch (" + swap + ") puts them there. The tape is not written."},
      {"TRAILER=;CAF\xc9\r\nTRAILER=M30\x1b\r\n", false,
       "2 lines of the tape hold characters no tape may carry (shown in angle brackets): line 16 (\";CAF<xC9>\") "
       "and line 17 (\"M30<ESC>\"): the export filter Punch"},
      {"SWAP=G42=G41\x07\r\n", false, "Line 10 of the tape, \"G41<BEL>\", holds"},
      {"HEADER=\x12M48\x1b\r\n", true, "Line 1 of the tape, \"<DC2>M48<ESC>\", holds"},
      {"TRAILER=M30\x1a%\r\n", true, "\"M30<SUB>%\""},
      {"HEADER=;JOB 7\r\nTRAILER=M30\r\n", false, "", ";JOB7\r\n", "M30\r\n"},
      {"HEADER=\x12%\r\nTRAILER=%\x14\r\n", false, "", "\x12%\r\nM48\r\n", "M30\r\n%\x14\r\n"},
      {"HEADER=\x12%\r\nTRAILER=%\x14\r\n", true, "", "\x12%\r\nM48\r\n", "M30\r\n%\x14\r\n"},
      {"HEADER=\x12\r\n", true, "", "\x12\r\nM48\r\n"},
      {"HEADER=" + nuls + "\r\nTRAILER=" + nuls + "\r\n", false, "", nuls + "\r\nM48\r\n", "M30\r\n" + nuls + "\r\n"},
      {"HEADER=" + nuls + "\r\nTRAILER=" + nuls + "\r\n", true, "", nuls + "\r\nM48\r\n", "M30\r\n" + nuls + "\r\n"},
      {"HEADER=\x11\r\nTRAILER=\x13\r\n", true, "", "\x11\r\nM48\r\n", "M30\r\n\x13\r\n"},
      {"HEADER=" + std::string(40, '\x7f') + "\r\n", false, "", std::string(40, '\x7f') + "\r\nM48\r\n"},
      {"TRAILER=M30\x1a\r\n", true, "", "M48\r\n", "M30\x1a\r\n"},
      {"SWAP=G42=G41\x7f\r\n", false, "", "M48\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Swap);
    WriteFileBytes(NativePath(swap), c.Swap);
    WriteFileBytes(NativePath(name), "OLD\r\n");
    const size_t boxes = ShownMessageBoxes().size();
    bool written = false;
    if (c.Drill) {
      TDrillTapeTool tool;
      tool.Diameter = Inch / 40;
      tool.Items.push_back({TDrillTapeItemKind::Hits, {{Inch, Inch}}, 0, "", false});
      TDrillTapeProgram drill;
      drill.Tools.push_back(tool);
      written = WriteDrillTape(drill, DefaultDrillFormat(true), TMakeTapeDefaults{}, 1, name);
    } else {
      written = WriteRoutTape(Program, DefaultRoutFormat(true), Tools, 1, name);
    }
    const std::string tape = ReadFileBytes(NativePath(name));
    if (c.Box.empty()) {
      EXPECT_TRUE(written) << (ShownMessageBoxes().empty() ? "" : ShownMessageBoxes().back().Text);
      EXPECT_EQ(ShownMessageBoxes().size(), boxes);
      EXPECT_EQ(tape.substr(0, c.Head.size()), c.Head);
      EXPECT_EQ(tape.substr(tape.size() - std::min(tape.size(), c.Tail.size())), c.Tail);
      if (!c.Drill) EXPECT_NE(tape.find("\r\nM47,A\tB\r\n"), std::string::npos) << tape;
      continue;
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(tape, "OLD\r\n");
    ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
    EXPECT_NE(ShownMessageBoxes().back().Text.find(c.Box), std::string::npos) << ShownMessageBoxes().back().Text;
  }
}

TEST_F(TRoutTapeWriterTest, SwapFrameLinesLoseTheirBlanks) {
  const std::string swap = ExecutionPath() + "SWAP\\FRAME.SWP";
  WriteFileBytes(NativePath(swap), "Header= G 93 X0\nnothing\nTrailer=M 30 ; end\n");
  const TSwapTapeFrame frame = ReadSwapTapeFrame(swap);
  EXPECT_EQ(frame.Header, (std::vector<std::string>{"G93X0"}));
  EXPECT_EQ(frame.Trailer, (std::vector<std::string>{"M30;end"}));
  EXPECT_FALSE(frame.HeaderHasM48);
  EXPECT_TRUE(frame.TrailerHasM30);
}

}  // namespace
