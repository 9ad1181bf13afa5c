// The reader's run over whole files: header keywords, progress, skipped
// lines, decoding errors, M99 subprograms and their repeats, the default
// file, tool lists, and the verdict of a run that met errors.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "foundation/file_utils.h"
#include "korvex_test.h"
#include "nc_call_log.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t U = 2540;  // internal units per tape unit (inch, 4 decimals)

class NcReaderRun : public TKorvexTest {
 protected:
  std::string File(const std::string& name, const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    WriteFileBytes(TempDir / name, text);
    return (TempDir / name).string();
  }

  std::unique_ptr<TCallLog> Reader(const std::string& file, const TTapeOptions& options = {}) {
    return std::make_unique<TCallLog>(file, TempDir.string(), options);
  }

  static std::vector<std::pair<int32_t, int32_t>> Points(const TCallLog& r) {
    std::vector<std::pair<int32_t, int32_t>> p;
    for (const auto& h : r.Hits) p.push_back({h.X, h.Y});
    return p;
  }

  // Scratch files left behind in the test folder.
  int ScratchFiles() {
    int n = 0;
    for (const auto& e : fs::directory_iterator(TempDir))
      if (e.path().extension() == ".TMP") ++n;
    return n;
  }
};

using Pts = std::vector<std::pair<int32_t, int32_t>>;

const std::vector<std::string> ThreeNotices = {
    "Notice ", "Notice Some errors were detected in this file.",
    "Notice Inspect the output carefully!"};

std::vector<std::string> Notices(const TCallLog& r) {
  return r.With("Notice ");
}

}  // namespace

TEST_F(NcReaderRun, HeaderKeywordsSetTheReadersOptions) {
  auto r = Reader(File("h.drl", {"M48", "INCH,LZ,00.0000", ";header comment", "VER,2", "VER,9",
                                 "FMAT,1", "ICI,ON", "ICI,OFF", "BLKDEL,ON", "CCW,ON",
                                 "SG,STEP A", "T1C0.125", "%", "/X1Y1", ";body comment", "X1Y2",
                                 "M30"}));
  EXPECT_FALSE(r->RunFailed());
  EXPECT_FALSE(r->Metric);
  EXPECT_TRUE(r->HeaderZeros);
  EXPECT_EQ(r->HeaderIntegerDigits, 2);
  EXPECT_EQ(r->HeaderDecimalDigits, 4);
  EXPECT_EQ(r->AxisVersion, 2);  // VER,9 leaves it
  EXPECT_FALSE(r->Incremental);
  EXPECT_TRUE(r->BlockDelete);
  EXPECT_TRUE(r->CounterClockwise);
  EXPECT_EQ(r->With("HeaderDone"), std::vector<std::string>{"HeaderDone 2"});
  EXPECT_EQ(r->First("M96Block"), "M96Block 10 SG,STEPA");
  EXPECT_EQ(r->First("ToolDiameter"), "ToolDiameter 1 3175000");
  // Comments: kind 1 in the header, kind 2 in the body; the "/" line is
  // skipped under block delete.
  EXPECT_EQ(r->With("Unparsed"),
            (std::vector<std::string>{"Unparsed ;header comment 1", "Unparsed /X1Y1 2",
                                      "Unparsed ;body comment 2"}));
  // LZ 2.4 (axis version 2 swaps X and Y): X1Y2 is 10 inch, 20 inch.
  EXPECT_EQ(Points(*r), (Pts{{200000 * U, 100000 * U}}));
  EXPECT_TRUE(Notices(*r).empty());
  r->Done();
  EXPECT_EQ(ScratchFiles(), 0);
}

TEST_F(NcReaderRun, MetricUnitsLineWithTrailingZeros) {
  auto r = Reader(File("m.drl", {"M48", "METRIC,000.000,TZ", "%", "X1000Y-2500", "M30"}));
  EXPECT_FALSE(r->RunFailed());
  EXPECT_TRUE(r->Metric);
  EXPECT_FALSE(r->HeaderZeros);
  EXPECT_EQ(r->HeaderIntegerDigits, 3);
  EXPECT_EQ(r->HeaderDecimalDigits, 3);
  EXPECT_EQ(Points(*r), (Pts{{1000000, -2500000}}));
  r->Done();
}

TEST_F(NcReaderRun, ProgressDotEveryHundredLinesAndPercentEndsTheHeader) {
  std::vector<std::string> lines = {"M48", "INCH,TZ"};
  lines.push_back("%");
  for (int i = 0; i < 246; ++i) lines.push_back("X" + std::to_string(i) + "Y0");
  lines.push_back("M30");
  auto r = Reader(File("p.drl", lines));
  EXPECT_FALSE(r->RunFailed());
  EXPECT_EQ(r->With("Progress .").size(), 2u);
  EXPECT_EQ(r->Hits.size(), 246u);
  EXPECT_EQ(r->First("PatternStart"), "PatternStart 2");  // "%" is read as M25
  r->Done();
}

TEST_F(NcReaderRun, DecodingErrorsAreReportedWithTheBlockNumber) {
  auto r = Reader(File("e.drl", {"M48", "INCH,LZ", "%", "X1234567Y1", "X1Y1*", "M30"}));
  EXPECT_FALSE(r->RunFailed());
  EXPECT_EQ(r->With("Message"),
            (std::vector<std::string>{"Message Block 4:Digit Overflow",
                                      "Message Block 5:Format Overflow"}));
  EXPECT_EQ(r->With("BlockMessage"),
            (std::vector<std::string>{"BlockMessage 3 Digit Overflow",
                                      "BlockMessage 4 Format Overflow"}));
  // The blocks are still used.
  EXPECT_EQ(r->Hits.size(), 2u);
  r->Done();
}

TEST_F(NcReaderRun, BlockOfMoreThanFortyWordsIsCutAndReported) {
  std::string block;
  for (int i = 0; i < 44; ++i) block += "G5";
  block += "X1000Y1000";
  auto r = Reader(File("w.drl", {"M48", "INCH,TZ", "%", block, "M30"}));
  EXPECT_FALSE(r->RunFailed());
  EXPECT_EQ(r->First("Message"), "Message Block 4:Too many words");
  EXPECT_EQ(r->First("BlockMessage"), "BlockMessage 3 Too many words");
  r->Done();
}

TEST_F(NcReaderRun, FatalDecodingErrorFailsTheRun) {
  // The error stops the reading; it must not be replaced by the file's own
  // error state at the end, or the cut-off import would count as good.
  auto r = Reader(File("f.drl", {"X1000Y1000", "X1234567", "X2000Y1000", "M30"}));
  r->ErrorsAreFatal = true;
  EXPECT_TRUE(r->RunFailed());
  EXPECT_EQ(r->First("Error"), "Error Block 2:Digit Overflow");
  EXPECT_EQ(r->Hits.size(), 1u);
  EXPECT_EQ(Notices(*r), ThreeNotices);
  r->Done();
}

namespace {

// A consumer whose tape read fails once a number of hits went through, as
// a disk would fail in the middle of a file.
class TFailingDisk : public TCallLog {
 public:
  using TCallLog::TCallLog;
  std::size_t FailAfter = 1;
  void Poll(bool& abort) override {
    TCallLog::Poll(abort);
    if (Hits.size() == FailAfter && !failed_) {
      failed_ = true;
      InOutRes = EIO;
    }
  }

 private:
  bool failed_ = false;
};

}  // namespace

TEST_F(NcReaderRun, ReadErrorInTheMiddleOfTheFileFailsTheRun) {
  TFailingDisk r(File("t.drl", {"X1000Y1000", "X2000Y1000", "X3000Y1000", "M30"}), TempDir.string(),
                 TTapeOptions{});
  EXPECT_TRUE(r.RunFailed());
  EXPECT_EQ(r.First("Error"), "Error Disk read error Reading Data File");
  EXPECT_EQ(r.Hits.size(), 1u);
  EXPECT_EQ(Notices(r), ThreeNotices);
  r.Done();
}

TEST_F(NcReaderRun, MissingFileFailsWithoutMessage) {
  auto r = Reader((TempDir / "none.drl").string());
  EXPECT_TRUE(r->RunFailed());
  EXPECT_TRUE(r->Ran);
  EXPECT_TRUE(r->With("Error").empty());
  EXPECT_EQ(Notices(*r), ThreeNotices);
  r->Done();
}

TEST_F(NcReaderRun, SubprogramRunsAtItsOffsetAndRepeatsOnPBlocks) {
  File("SUB.NC", {"X0Y0", "X100Y0"});
  auto r = Reader(File("main.drl", {"M48", "INCH,TZ", "%", "M99,SUB.NC", "X1000Y2000", "P3X500", "M30"}));
  EXPECT_FALSE(r->RunFailed());
  EXPECT_EQ(Points(*r), (Pts{{1000 * U, 2000 * U}, {1100 * U, 2000 * U},
                             {1500 * U, 2000 * U}, {1600 * U, 2000 * U},
                             {2000 * U, 2000 * U}, {2100 * U, 2000 * U},
                             {2500 * U, 2000 * U}, {2600 * U, 2000 * U}}));
  r->Done();
}

// A subprogram tape is read as the main tape is: its tape feed, line ends
// and blank lines change no hole, and the line a stop names is its own
// tape's line, blank lines and all.
TEST_F(NcReaderRun, ASubprogramTapeIsReadAsATapeWithItsOwnLines) {
  using namespace std::string_literals;
  const std::string main = "M48\r\nINCH,TZ\r\n%\r\nM99,SUB.NC\r\nX1000Y2000\r\nP3X500\r\nM30\r\n";
  const struct {
    std::string Sub, Stop;
  } cases[] = {
      {"X0Y0\r\nX100Y0\r\n", ""},
      {"\x11\r\nX0\0Y0\r\n\r\n \r\nX1\x7f" "00Y0\r\n\x1a"s, ""},
      {"X0Y0\n\rX100Y0\r\r\n", ""},
      {"\r\n\r\n\x11\r\n" + std::string(70000, '7') + "\r\n",
       "Error Line 4 is longer than 65,536 characters: this is no tape; the reading stops."},
      {"X0Y0\r\r\n\r\r\n" + std::string(70000, '\0') + "\r\nX100Y0\r\n",
       "Error Line 3: more than 65,536 zero bytes in a row, more than blank tape holds: this is no tape; the "
       "reading stops."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Sub.substr(0, 40)));
    WriteFileBytes(TempDir / "SUB.NC", c.Sub);
    WriteFileBytes(TempDir / "main.drl", main);
    auto r = Reader((TempDir / "main.drl").string());
    EXPECT_EQ(r->RunFailed(), !c.Stop.empty());
    EXPECT_EQ(r->First("Error"), c.Stop);
    if (c.Stop.empty()) EXPECT_EQ(Points(*r).size(), 8u);
    r->Done();
  }
}

TEST_F(NcReaderRun, SubprogramCalledFromTheLastLinesIsStillRead) {
  File("SUB.NC", {"X0Y0", "X100Y0"});
  // The offset line is the file's last line.
  auto r = Reader(File("main.drl", {"M48", "INCH,TZ", "%", "M99,SUB.NC", "X1000Y2000"}));
  EXPECT_FALSE(r->RunFailed());
  EXPECT_EQ(Points(*r), (Pts{{1000 * U, 2000 * U}, {1100 * U, 2000 * U}}));
  r->Done();
  // The call itself is the last line: no offset.
  auto s = Reader(File("last.drl", {"M48", "INCH,TZ", "%", "M99,SUB.NC"}));
  EXPECT_FALSE(s->RunFailed());
  EXPECT_EQ(Points(*s), (Pts{{0, 0}, {100 * U, 0}}));
  s->Done();
}

TEST_F(NcReaderRun, NestedOrMissingSubprogramMarksTheFile) {
  File("SUB.NC", {"X0Y0", "M99,OTHER.NC", "X5Y5", "X100Y0"});
  auto r = Reader(File("main.drl", {"M48", "INCH,TZ", "%", "M99,SUB.NC", "X1000Y0", "M30"}));
  EXPECT_TRUE(r->RunFailed());
  EXPECT_EQ(r->With("Message"),
            (std::vector<std::string>{"Message Illegal nested M99 call!",
                                      "Message <M99,OTHER.NC>", "Message <X5Y5>"}));
  EXPECT_EQ(Points(*r), (Pts{{1000 * U, 0}, {1100 * U, 0}}));
  EXPECT_EQ(Notices(*r), ThreeNotices);
  r->Done();

  auto m = Reader(File("miss.drl", {"M48", "INCH,TZ", "%", "M99,NONE.NC", "X1000Y0", "X1Y1", "M30"}));
  EXPECT_TRUE(m->RunFailed());
  EXPECT_EQ(m->First("Message"), "Message Error : M99 file not found!");
  // The offset line goes with the failed call; the reading goes on.
  EXPECT_EQ(Points(*m), (Pts{{1 * U, 1 * U}}));
  m->Done();
}

TEST_F(NcReaderRun, DefaultFileIsReadAsHeader) {
  const std::string defaults = File("DEFAULT.M48", {"METRIC,000.000,TZ", "T2C1.5"});
  auto r = Reader(File("d.drl", {"T2", "X1000Y0", "M30"}));
  r->SetDefaultFile(defaults);
  EXPECT_FALSE(r->RunFailed());
  EXPECT_TRUE(r->Metric);
  EXPECT_EQ(r->First("ToolDiameter"), "ToolDiameter 2 1500000");
  EXPECT_EQ(Points(*r), (Pts{{1000000, 0}}));
  r->Done();
}

TEST_F(NcReaderRun, ToolsComeOutInAscendingOrderWithTheirDefinitions) {
  // R is an integer word of its own format (four digits, no decimals).
  auto r = Reader(File("t.drl", {"M48", "INCH,LZ,00.0000", "T3C0.125F200S45H500(BIG ONE)",
                                 "T1C0.04", "T2R0625", "CP,4,0.05", "%", "T1", "X1Y1", "X2Y1",
                                 "T3", "X3Y1", "M30"}));
  EXPECT_FALSE(r->RunFailed());
  EXPECT_EQ(r->First("ToolCompDiameter 2"), "ToolCompDiameter 2 3175000");
  EXPECT_EQ(r->First("ToolCompDiameter 4"), "ToolCompDiameter 4 1270000");
  EXPECT_EQ(r->With("Progress  T"),
            (std::vector<std::string>{"Progress  T1", "Progress  T3"}));
  std::vector<int32_t> order;
  TNCReader::TTakenTool tool;
  while (r->TakeFirstTool(tool)) {
    order.push_back(tool.Tool);
    if (tool.Tool == 3) {
      EXPECT_EQ(tool.Diameter, 3175000);
      EXPECT_TRUE(tool.InchDefined);
      EXPECT_EQ(tool.Speed, 45000);  // S is a left-aligned 2.3 word
      EXPECT_EQ(tool.MaxHits, 500);
      EXPECT_EQ(tool.Feed, SafeRound(200.0 / 60.0 * 25400000.0));
      EXPECT_EQ(tool.Comment, "BIG ONE");
      EXPECT_EQ(tool.Definition, "T3C0.125F200S45H500(BIG ONE)");
      EXPECT_EQ(tool.Hits, 1);
    }
    if (tool.Tool == 1) {
      EXPECT_EQ(tool.Hits, 2);
    }
    if (tool.Tool == 2) {
      EXPECT_EQ(tool.Diameter, 3175000);
    }
  }
  EXPECT_EQ(order, (std::vector<int32_t>{1, 2, 3}));
  r->Done();
}

// A compensation size written with a point keeps every digit, as the
// cutter's size does, whatever digits the tape's coordinates are read with.
TEST_F(NcReaderRun, ACompensationSizeKeepsTheDigitsItIsWrittenWith) {
  for (const bool metric : {false, true}) {
    SCOPED_TRACE(metric);
    TTapeOptions options;
    options.Metric = metric;
    options.IntegerDigits = 3;
    options.DecimalDigits = 2;
    auto r = Reader(File("cp.rt", {"M48", metric ? "METRIC,LZ" : "INCH,LZ", metric ? "T1C1.5875" : "T1C0.0625",
                                   metric ? "CP,1,1.5875" : "CP,1,0.0625", "CP,2,0.1", "%", "T1", "X0Y0", "M30"}),
                    options);
    EXPECT_FALSE(r->RunFailed());
    EXPECT_EQ(r->First("ToolDiameter 1"), "ToolDiameter 1 1587500");
    EXPECT_EQ(r->First("ToolCompDiameter 1"), "ToolCompDiameter 1 1587500");
    EXPECT_EQ(r->First("ToolCompDiameter 2"), metric ? "ToolCompDiameter 2 100000" : "ToolCompDiameter 2 2540000");
    r->Done();
  }
}

// A compensation size that is no number, a negative one or none is named
// in the messages and not taken; the tape's other sizes are.
TEST_F(NcReaderRun, ACompensationSizeThatIsNoPositiveNumberIsNamedAndNotTaken) {
  for (const std::string bad : {"CP,1,-0.125", "CP,1,ABC", "CP,1", "CP,1,", "CP,1,0.1.2", "CP,1,0.1X"}) {
    SCOPED_TRACE(bad);
    auto r = Reader(File("cp.rt", {"M48", "INCH,LZ", "T1C0.0625", bad, "CP,2,0.1", "%", "T1", "X0Y0", "M30"}));
    EXPECT_FALSE(r->RunFailed());
    EXPECT_EQ(r->First("ToolCompDiameter 1"), "");
    EXPECT_EQ(r->First("ToolCompDiameter 2"), "ToolCompDiameter 2 2540000");
    const auto messages = r->With("Message ");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Line 4 \"" + bad + "\""), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("not a positive number"), std::string::npos) << messages[0];
    r->Done();
  }
}

TEST_F(NcReaderRun, HitLimitOfTheToolRaisesANotice) {
  auto r = Reader(File("l.drl", {"M48", "INCH,TZ", "T1C0.04H3", "%", "T1", "X1Y0", "X2Y0",
                                 "X3Y0", "X4Y0", "M30"}));
  EXPECT_FALSE(r->RunFailed());
  EXPECT_EQ(r->With("Notice Max hits reached.").size(), 1u);
  EXPECT_EQ(r->HitCount, 2);
  r->Done();
}

TEST_F(NcReaderRun, ScratchPathThatCannotBeUsedStopsTheRunAtOnce) {
  // Without a usable scratch folder and without a current folder to fall
  // back on, the reader is still fully set up and its run fails at once.
  const fs::path gone = TempDir / "gone";
  fs::create_directories(gone);
  const fs::path here = fs::current_path();
  ASSERT_EQ(::chdir(gone.c_str()), 0);
  fs::remove(gone);
  TTapeOptions options;
  options.Divisor = 10;
  options.Metric = true;
  options.BlockDelete = true;
  TCallLog r(File("s.drl", {"X1Y1", "M30"}), (TempDir / "missing").string(), options);
  fs::current_path(here);
  EXPECT_TRUE(r.ErrorFlag);
  EXPECT_EQ(r.Divisor, 10);
  EXPECT_TRUE(r.Metric);
  EXPECT_TRUE(r.BlockDelete);
  EXPECT_EQ(r.MoveParameter, 2147483647);
  EXPECT_TRUE(r.RunFailed());
  // The failed check is reported when the consumer can hear it.
  EXPECT_EQ(r.First("Error").rfind("Error File not found checking path <", 0), 0u);
  EXPECT_TRUE(r.Hits.empty());
  r.Done();
}

TEST_F(NcReaderRun, ScratchPathFallsBackToTheCurrentFolder) {
  TCallLog r(File("s.drl", {"M30"}), (TempDir / "missing").string(), TTapeOptions{});
  EXPECT_FALSE(r.ErrorFlag);
  ASSERT_FALSE(r.ScratchDir.empty());
  EXPECT_EQ(r.ScratchDir.back(), '\\');
  r.Done();
}

TEST_F(NcReaderRun, SwapFilterRewritesLinesOnTheWayIn) {
  WriteFileBytes(TempDir / "SWAP" / "IN.SWP", "Q=X\r\n");
  TTapeOptions options;
  options.SwapFilter = (TempDir / "SWAP" / "IN.SWP").string();
  auto r = Reader(File("q.drl", {"M48", "INCH,TZ", "%", "Q1000Y0", "M30"}), options);
  EXPECT_FALSE(r->RunFailed());
  EXPECT_EQ(Points(*r), (Pts{{1000 * U, 0}}));
  r->Done();
}

// Rules that do nothing are told about as notices: the tape is still read,
// filtered by the sound rules.
TEST_F(NcReaderRun, InertSwapRulesAreNoticesAndTheTapeIsRead) {
  WriteFileBytes(TempDir / "SWAP" / "INERT.SWP", "X=[/LET %1=5]\r\nX=[/%12=5]\r\nX=[/c2 x]\r\nQ=X\r\n");
  TTapeOptions options;
  options.SwapFilter = (TempDir / "SWAP" / "INERT.SWP").string();
  auto r = Reader(File("i.drl", {"M48", "INCH,TZ", "%", "Q1000Y0", "M30"}), options);
  EXPECT_FALSE(r->RunFailed());
  EXPECT_TRUE(r->With("Error ").empty());
  int inert = 0;
  for (const std::string& n : Notices(*r)) inert += n.find("INERT.SWP") != std::string::npos;
  EXPECT_GE(inert, 3);
  EXPECT_EQ(Points(*r), (Pts{{1000 * U, 0}}));
  r->Done();
}
