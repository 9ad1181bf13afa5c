// Block interpretation, moves, patterns, cycles and emission, driven through
// whole tapes read by a recording consumer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "nc_call_log.h"
#include "routpath/contour_offset.h"
#include "tapein/contour_offset_seam.h"

namespace {

constexpr int32_t U = 2540;  // internal units per tape unit (inch, 4 decimals)

class NcInterpret : public TKorvexTest {
 protected:
  void TearDown() override {
    SetOffsetContourEngine({});
    TKorvexTest::TearDown();
  }

  std::string Tape(const std::vector<std::string>& lines) {
    const auto path = TempDir / "tape.drl";
    std::ofstream out(path);
    for (const auto& l : lines) out << l << "\r\n";
    return path.string();
  }

  // Reads the tape; the log stays readable after the reader's Done.
  void Read(TCallLog& r) {
    bool failed = false;
    r.Run(failed);
    Failed = failed;
  }

  std::unique_ptr<TCallLog> Reader(const std::vector<std::string>& lines, bool metric = false) {
    return std::make_unique<TCallLog>(Tape(lines), TempDir.string(), metric);
  }

  static std::vector<std::pair<int32_t, int32_t>> Points(const TCallLog& r) {
    std::vector<std::pair<int32_t, int32_t>> p;
    for (const auto& h : r.Hits) p.push_back({h.X, h.Y});
    return p;
  }

  bool Failed = false;
};

using Pts = std::vector<std::pair<int32_t, int32_t>>;

TEST_F(NcInterpret, HoleRepeatsStepFromTheCurrentPosition) {
  auto r = Reader({"T1", "X5000Y0", "X1000Y2000R3", "M30"});
  Read(*r);
  EXPECT_EQ(Points(*r), (Pts{{5000 * U, 0}, {6000 * U, 2000 * U}, {7000 * U, 4000 * U},
                             {8000 * U, 6000 * U}}));
  r->Done();
}

TEST_F(NcInterpret, HoleRepeatsInIncrementalModeStepByTheWords) {
  // Each repeat steps once by X/Y, not by the running position again.
  auto r = Reader({"G91", "X5000Y0", "X1000Y0R2", "G90", "X100", "M30"});
  Read(*r);
  EXPECT_EQ(Points(*r), (Pts{{5000 * U, 0}, {6000 * U, 0}, {7000 * U, 0}, {100 * U, 0}}));
  r->Done();
}

TEST_F(NcInterpret, IncrementalAndAbsoluteModes) {
  auto r = Reader({"G91", "X100Y50", "X100", "G90", "X100", "Y-20", "M30"});
  Read(*r);
  EXPECT_EQ(Points(*r), (Pts{{100 * U, 50 * U}, {200 * U, 50 * U}, {100 * U, 50 * U},
                             {100 * U, -20 * U}}));
  r->Done();
}

TEST_F(NcInterpret, ToolWordsWithOffsets) {
  auto r = Reader({"T250", "X1", "T0", "X2", "T0102", "X3", "M30"});
  Read(*r);
  EXPECT_EQ(r->With("ToolChange"),
            (std::vector<std::string>{"ToolChange 2 50", "ToolChange 1 1", "ToolChange 1 2"}));
  ASSERT_EQ(r->Hits.size(), 3u);
  EXPECT_EQ(r->Hits[0].Tool, 2);
  EXPECT_EQ(r->Hits[1].Tool, 1);
  r->Done();
}

TEST_F(NcInterpret, MetricAndInchCodesRescaleOnce) {
  // 0.1 inch, then the same place in millimetres (metric 3.3: 2540 units of
  // 0.001 mm), then back in inches.
  auto r = Reader({"X1000Y0", "M71", "M71", "Y0", "X2540Y254", "M72", "M72", "Y0", "M30"});
  Read(*r);
  EXPECT_EQ(Points(*r), (Pts{{2540000, 0}, {2540000, 0}, {2540000, 254000}, {2540000, 0}}));
  r->Done();
}

TEST_F(NcInterpret, UnhandledBlocksAndDoubleWords) {
  auto r = Reader({"%", "N10", "N11X5", "X100X200", "M30"});
  Read(*r);
  EXPECT_EQ(r->With("Unparsed"), (std::vector<std::string>{"Unparsed N10 2"}));
  EXPECT_EQ(r->With("Message"),
            (std::vector<std::string>{"Message Error : Double X in block 4",
                                      "Message Error : <X100X200>"}));
  EXPECT_EQ(Points(*r), (Pts{{5 * U, 0}, {100 * U, 0}}));
  r->Done();
}

TEST_F(NcInterpret, AConsumerThatKeepsNoMessagesGetsTheSameTapeWithoutThem) {
  // An unclosed header, a double word, a word of too many digits and an M02
  // without M01, among holes, a pattern and its repeat.
  const std::vector<std::string> tape{"M48", "T1C0.01", "T1", "X100X200Y5", "X200Y6F123456789012345",
                                      "M02X100", "M25", "X300Y300", "M01", "M02X10Y0", "M08",
                                      "X400Y400", "M30"};
  const auto faultText = [](const std::string& l) {
    return l.rfind("Message", 0) == 0 || l.rfind("BlockMessage", 0) == 0 ||
           l.rfind("Notice The header opened by M48", 0) == 0;
  };
  auto keeping = Reader(tape);
  Read(*keeping);
  auto quiet = Reader(tape);
  quiet->Quiet = true;
  Read(*quiet);
  // The tape does reach every fault text, for the consumer that keeps them.
  for (const char* text : {"Message Error : Double X", "Message Error in block number 6",
                           "BlockMessage ", "Notice The header opened by M48"})
    EXPECT_FALSE(keeping->First(text).empty()) << text;
  std::vector<std::string> expected;
  for (const std::string& l : keeping->Calls)
    if (!faultText(l)) expected.push_back(l);
  EXPECT_EQ(quiet->Calls, expected);
  EXPECT_EQ(Points(*quiet), Points(*keeping));
  keeping->Done();
  quiet->Done();
}

TEST_F(NcInterpret, AFatalFormatErrorStopsAConsumerThatKeepsNoMessages) {
  auto r = Reader({"X1000Y1000", "X1234567", "X2000Y1000", "M30"});
  r->Quiet = true;
  r->ErrorsAreFatal = true;
  Read(*r);
  EXPECT_TRUE(Failed);
  EXPECT_EQ(r->First("Error"), "Error Block 2:Digit Overflow");
  EXPECT_EQ(r->Hits.size(), 1u);
  r->Done();
}

TEST_F(NcInterpret, EndOfProgramStopsTheBlock) {
  auto r = Reader({"X1", "M30X5", "X7"});
  Read(*r);
  EXPECT_EQ(Points(*r), (Pts{{1 * U, 0}}));
  r->Done();
}

TEST_F(NcInterpret, DualInlinePackageAndSymbolRepeats) {
  auto r = Reader({"G82", "X0Y0", "X7000Y3000", "P3X5000", "M30"});
  Read(*r);
  ASSERT_EQ(r->Hits.size(), 16u + 3u * 16u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Points(*r)[i], (std::pair<int32_t, int32_t>{i * 1000 * U, 0}));
    EXPECT_EQ(Points(*r)[8 + i], (std::pair<int32_t, int32_t>{(7 - i) * 1000 * U, 3000 * U}));
  }
  // The third copy is 1.5 inch to the right.
  EXPECT_EQ(Points(*r)[16 * 3], (std::pair<int32_t, int32_t>{15000 * U, 0}));
  r->Done();
}

// Before any package cycle a P block repeats the default symbol: two rows of
// seven pins a tenth of an inch apart, three tenths between the rows. A
// cycle's own symbol then takes its place, and its scratch file is gone when
// the reading ends.
TEST_F(NcInterpret, TheDefaultSymbolRepeatsUntilACycleRecordsItsOwn) {
  const auto scratch = TempDir / "scratch";
  std::filesystem::create_directories(scratch);
  TCallLog r(Tape({"P2X5000", "G82", "X0Y0", "X7000Y3000", "P1Y8000", "M30"}), scratch.string());
  Read(r);
  const Pts p = Points(r);
  ASSERT_EQ(p.size(), 2u * 14u + 16u + 16u);
  for (int copy = 1; copy <= 2; ++copy) {
    const std::size_t at = std::size_t(copy - 1) * 14;
    for (int i = 0; i <= 6; ++i) {
      EXPECT_EQ(p[at + i], (std::pair<int32_t, int32_t>{copy * 5000 * U, i * 1000 * U}));
      EXPECT_EQ(p[at + 7 + i], (std::pair<int32_t, int32_t>{(copy * 5000 + 3000) * U, (6 - i) * 1000 * U}));
    }
  }
  EXPECT_EQ(p[28], (std::pair<int32_t, int32_t>{0, 0}));
  EXPECT_EQ(p[28 + 16], (std::pair<int32_t, int32_t>{0, 8000 * U}));
  EXPECT_EQ(p[28 + 16 + 15], (std::pair<int32_t, int32_t>{0, 11000 * U}));
  r.Done();
  EXPECT_FALSE(Failed);
  EXPECT_TRUE(std::filesystem::is_empty(scratch));
}

TEST_F(NcInterpret, DualInlinePackageDefaultsInMillimetres) {
  // 2.54 mm and 7.62 mm in 0.0001-mm units.
  auto r = Reader({"G82", "X0Y0", "X76200Y25400", "M30"}, true);
  Read(*r);
  ASSERT_EQ(r->Hits.size(), 4u);  // rows of 2 along Y, 7.62 mm apart along X
  EXPECT_EQ(Points(*r)[1], (std::pair<int32_t, int32_t>{0, 2540000}));
  EXPECT_EQ(Points(*r)[2], (std::pair<int32_t, int32_t>{7620000, 2540000}));
  r->Done();
}

// A pitch of one tape unit over a long package stops at the reader's limit
// instead of drilling without end (repeats are bounded per line: tape bounds).
TEST_F(NcInterpret, PackageCyclesAreBounded) {
  auto r = Reader({"G82X1Y3000", "X0Y0", "X2000000000Y3000", "M30"});
  Read(*r);
  EXPECT_EQ(r->Hits.size(), std::size_t(kMaxPackagePins));
  r->Done();
}

TEST_F(NcInterpret, EightPinPack) {
  auto r = Reader({"G83", "X0Y0", "X10000Y500", "M30"});
  Read(*r);
  ASSERT_EQ(r->Hits.size(), 8u);
  EXPECT_EQ(Points(*r)[0], (std::pair<int32_t, int32_t>{0, 0}));
  EXPECT_EQ(Points(*r)[2], (std::pair<int32_t, int32_t>{2000 * U, 2000 * U}));
  EXPECT_EQ(Points(*r)[4], (std::pair<int32_t, int32_t>{4000 * U, 0}));
  EXPECT_EQ(Points(*r)[5], (std::pair<int32_t, int32_t>{3414 * U, -1414 * U}));
  r->Done();
}

TEST_F(NcInterpret, DrilledCirclesAndSlots) {
  auto r = Reader({"X10000Y10000G84X5000", "Y20000G84", "G85", "X0Y0G85X10000Y0",
                   "G91", "X100Y100G85X1000", "M30"});
  Read(*r);
  EXPECT_EQ(r->With("Circle"),
            (std::vector<std::string>{"Circle 25400000 25400000 d12700000",
                                      "Circle 25400000 50800000 d12700000"}));
  // A lone G85 is a slot of length 0 at the current position; the
  // incremental slot starts 100/100 from the last end and runs 1000 in X.
  EXPECT_EQ(r->With("Slot"), (std::vector<std::string>{"Slot 25400000 50800000 25400000 50800000",
                                                       "Slot 0 0 25400000 0",
                                                       "Slot 25654000 254000 28194000 254000"}));
  r->Done();
}

// A circle narrower than twice its tool is drilled and warned about; M47
// hands its block (blanks taken out like every block's) to the operator.
TEST_F(NcInterpret, NarrowDrilledCirclesAreWarnedAboutAndM47ReachesTheOperator) {
  auto r = Reader({"M48", "INCH,TZ", "T1C0.125", "%", "T1", "X1000Y1000G84X2000",
                   "X5000Y1000G84X3000", "M47,CHECK THE PINS", "M30"});
  Read(*r);
  EXPECT_EQ(r->With("Circle").size(), 2u);
  const auto warnings = r->With("Warning");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("G84 ILLEGAL DIAMETER!"), std::string::npos);
  EXPECT_EQ(r->With("Operator"), (std::vector<std::string>{"Operator M47,CHECKTHEPINS"}));
  r->Done();
}

TEST_F(NcInterpret, DrilledCircleWithoutDiameterIsAnError) {
  auto r = Reader({"X100Y100G84", "M30"});
  Read(*r);
  EXPECT_TRUE(r->With("Circle").empty());
  EXPECT_TRUE(Failed);
  r->Done();
}

TEST_F(NcInterpret, DrilledTextsAndTheirDots) {
  // The block after a text block gives its position (here the current one).
  auto r = Reader({"M97,AB", "X2000Y0", "N5M98,C", "Y0", "M97,*", "X0Y0", "M30"});
  r->ExpandDrilled = true;
  Read(*r);
  EXPECT_EQ(r->With("Text"), (std::vector<std::string>{"Text 5080000 0 h AB", "Text 5080000 0 v C",
                                                       "Text 0 0 h *"}));
  // A and B drilled as dots: 16 + 17, C vertical: 11, "*" is blank.
  EXPECT_EQ(r->Hits.size(), 16u + 17u + 11u);
  r->Done();
}

TEST_F(NcInterpret, FreeTextKeepsItsCaseAndItsSemicolons) {
  // A block in lower case reads as in capitals up to the comma of its text
  // code, which keeps its text as written, semicolons and all; a comment
  // after other words goes.
  auto r = Reader({"m97,Ab;c", "x2000y0 ;first", "m47,Check;Pins", "x0y1000;m97,x", "N7m98,z",
                   "Y0", "M30"});
  Read(*r);
  EXPECT_EQ(r->With("Text"), (std::vector<std::string>{"Text 5080000 0 h Ab;c", "Text 0 0 v z"}));
  EXPECT_EQ(r->With("Operator"), (std::vector<std::string>{"Operator M47,Check;Pins"}));
  r->Done();
}

TEST_F(NcInterpret, PatternsTakenByTheConsumer) {
  auto r = Reader({"M25", "X100Y100", "M01", "M02X1000Y0M70", "M02X0Y1000M80M90R3", "M08", "M30"});
  r->TakesSteps = true;
  Read(*r);
  EXPECT_EQ(r->With("Pattern"),
            (std::vector<std::string>{"PatternStart 0", "PatternEnd", "PatternRepeat 2540000 0 o1 n1",
                                      "PatternRepeat 0 2540000 o6 n3", "PatternsDone"}));
  EXPECT_EQ(r->Hits.size(), 1u);
  r->Done();
}

TEST_F(NcInterpret, PatternsExpandedByTheReaderDrillEveryOffset) {
  // Two M02 blocks: the body at 0, at the first offset and at their sum.
  auto r = Reader({"M25", "X100Y100", "M01", "M02X1000Y0", "M02X1000Y0", "M08", "X5Y5", "M30"});
  Read(*r);
  EXPECT_EQ(Points(*r), (Pts{{100 * U, 100 * U}, {1100 * U, 100 * U}, {2100 * U, 100 * U},
                             {5 * U, 5 * U}}));
  EXPECT_EQ(r->With("StepRepeatEnd").size(), 1u);
  r->Done();
}

TEST_F(NcInterpret, PatternRepeatWithMirror) {
  auto r = Reader({"M25", "X100Y100", "M01", "M02X1000Y0M80", "M08", "M30"});
  Read(*r);
  EXPECT_EQ(Points(*r), (Pts{{100 * U, 100 * U}, {900 * U, 100 * U}}));
  r->Done();
}

TEST_F(NcInterpret, PatternRepeatWithoutPattern) {
  auto r = Reader({"M02X100", "M30"});
  Read(*r);
  EXPECT_EQ(r->With("Message"),
            (std::vector<std::string>{"Message Error in block number 1 : M02 code with no prior M01",
                                      "Message Block 1 ignored."}));
  EXPECT_TRUE(Failed);
  r->Done();
}

TEST_F(NcInterpret, PatternRepeatCountRunsTheBlockForAnExpandingReader) {
  // Without a pattern each run is reported; R4 gives four reports.
  auto r = Reader({"M02X100R4", "M30"});
  Read(*r);
  EXPECT_EQ(r->With("Message Block").size(), 4u);
  r->Done();
}

// ---- Rout moves --------------------------------------------------------------

TEST_F(NcInterpret, RoutLinesArcsAndWarnings) {
  auto r = Reader({"%", "G00X0Y0", "M15", "G02X100Y0A30", "G01X100Y0", "G00X200Y0", "M16",
                   "G00X300Y0", "M30"});
  Read(*r);
  EXPECT_EQ(r->With("ArcCW"), (std::vector<std::string>{"ArcCW 0 0 254000 0 127000 0 c0"}));
  EXPECT_EQ(r->With("Warning"),
            (std::vector<std::string>{"Warning 254000 0 4 G01 REPEAT XY!",
                                      "Warning 381000 0 5 G00 WITH HEAD DOWN!"}));
  EXPECT_EQ(r->With("Line"), (std::vector<std::string>{"Line 254000 0 254000 0 f0 c0",
                                                       "Line 254000 0 508000 0 f0 c0"}));
  EXPECT_EQ(r->With("Rapid").back(), "Rapid 508000 0 762000 0");
  r->Done();
}

TEST_F(NcInterpret, ArcCentresLieOnTheSideOfTheDirection) {
  // Minor arcs: clockwise with the centre below the chord, counter-clockwise
  // above it; a counter-clockwise input format swaps G02 and G03. The centre
  // is rounded in tape units (50, -87) before it is converted.
  auto r = Reader({"%", "M15", "G02X100Y0A100", "G03X0Y0A100", "M30"});
  Read(*r);
  EXPECT_EQ(r->With("Arc"), (std::vector<std::string>{"ArcCW 0 0 254000 0 127000 -220980 c0",
                                                      "ArcCCW 254000 0 0 0 127000 -220980 c0"}));
  r->Done();

  auto ccw = std::make_unique<TCallLog>(Tape({"%", "M15", "G02X100Y0A100", "M30"}), TempDir.string());
  ccw->CounterClockwise = true;
  Read(*ccw);
  EXPECT_EQ(ccw->With("Arc"), (std::vector<std::string>{"ArcCCW 0 0 254000 0 127000 220980 c0"}));
  ccw->Done();
}

TEST_F(NcInterpret, RoutCirclesOfferedWholeAndNotModal) {
  auto r = Reader({"%", "G32X5000Y5000A2000", "X6000", "M30"});
  r->TakeRoutCircles = true;
  Read(*r);
  EXPECT_EQ(r->With("RoutCircle"), (std::vector<std::string>{"RoutCircle 12700000 12700000 5080000"}));
  EXPECT_TRUE(r->With("Arc").empty());
  // The position jumps to the circle's centre; the next move is a rapid.
  EXPECT_EQ(r->With("Rapid").back(), "Rapid 0 0 15240000 12700000");
  r->Done();

  auto moves = Reader({"%", "G33X5000Y5000A2000", "M30"});
  Read(*moves);
  EXPECT_EQ(moves->With("ArcCW").size(), 6u);
  EXPECT_EQ(moves->With("ArcCW")[1], "ArcCW 12700000 17780000 17780000 12700000 12700000 12700000 c2");
  moves->Done();
}

TEST_F(NcInterpret, HitAfterARoutMoveWritesTheMoveFirst) {
  auto r = Reader({"%", "G00X0Y0", "M15", "G01X1000Y0", "G05", "X2000Y0", "M30"});
  Read(*r);
  const auto lines = r->With("");
  std::vector<std::string> moves;
  for (const auto& l : lines)
    if (l.rfind("Line", 0) == 0 || l.rfind("Hit", 0) == 0) moves.push_back(l);
  EXPECT_EQ(moves, (std::vector<std::string>{"Line 0 0 2540000 0 f0 c0", "Hit 5080000 0 t1"}));
  r->Done();
}

TEST_F(NcInterpret, QueuedTextsKeepTheirPlaceWithDirectEmission) {
  auto r = Reader({"%", "G00X0Y0", "N10", "G00X1000Y0", "N20", "M30"});
  r->SetDirectEmission();
  Read(*r);
  std::vector<std::string> order;
  for (const auto& l : r->Calls)
    if (l.rfind("Rapid", 0) == 0 || l.rfind("Unparsed", 0) == 0) order.push_back(l);
  EXPECT_EQ(order, (std::vector<std::string>{"Rapid 0 0 0 0", "Unparsed N10 2",
                                             "Rapid 0 0 2540000 0", "Unparsed N20 2"}));
  r->Done();
}

TEST_F(NcInterpret, CompensationWithoutAnEngineIsSaidOnce) {
  const std::vector<std::string> tape = {"M48", "T1R500", "%", "T1", "G00X0Y0", "M15", "G41",
                                         "G01X1000Y0", "X1000Y1000", "X0Y1000", "M30"};
  auto r = Reader(tape);
  Read(*r);
  EXPECT_EQ(r->With("Notice Cutter").size(), 1u);
  // The header's R is the tool's radius, not a repeat count.
  EXPECT_EQ(r->CompList[1], 2540000);
  EXPECT_EQ(r->With("Line").size(), 4u);  // the compensation change and three cuts
  r->Done();
}

TEST_F(NcInterpret, OffsetEngineCountsAreGuarded) {
  const std::vector<std::string> tape = {"M48", "T1R500", "%", "T1", "G00X0Y0", "M15", "G41",
                                         "G01X1000Y0", "X1000Y1000", "X0Y1000", "M30"};
  // An engine that answers one record: nothing is emitted for it.
  SetOffsetContourEngine([](TNCMove* out, int32_t& count, const TNCMove* in, int32_t, bool, double) {
    out[0] = in[1];
    count = 1;
  });
  auto few = Reader(tape);
  Read(*few);
  EXPECT_TRUE(few->With("Line 0 0 2540000").empty());
  few->Done();

  // One that claims more records than there is room for: four are read.
  int calls = 0;
  SetOffsetContourEngine([&](TNCMove* out, int32_t& count, const TNCMove* in, int32_t, bool, double) {
    for (int i = 0; i < MaxOffsetRecords; ++i) out[i] = in[i < 2 ? 0 : 1];
    count = 9;
    ++calls;
  });
  auto many = Reader(tape);
  Read(*many);
  EXPECT_GT(calls, 0);
  EXPECT_TRUE(many->With("Notice Cutter").empty());
  many->Done();
}

}  // namespace

namespace {

TEST_F(NcInterpret, CompensatedMovesAreOffsetByTheToolRadius) {
  // A 1 in square cut counter-clockwise with G41 (cutter on the left, inside)
  // and a tool of radius 0.05 in.
  InstallContourOffsetEngine();
  const std::vector<std::string> tape = {"M48", "T1R500", "%", "T1", "G00X0Y0", "M15", "G41",
                                         "G01X10000Y0", "X10000Y10000", "X0Y10000", "X0Y0",
                                         "G40", "M16", "M30"};
  TTapeOptions options;
  options.LeadingZeros = false;
  options.CutterCompensation = true;
  auto r = std::make_unique<TCallLog>(Tape(tape), TempDir.string(), options);
  Read(*r);
  const int32_t s = 10000 * U, rad = 500 * U;
  const auto lines = r->With("Line");
  EXPECT_TRUE(r->With("Notice Cutter").empty());
  // The programmed square offset inside by the radius: each side runs on the
  // offset line and the sides meet at the offset corners.
  const std::string bottom = "Line 0 " + std::to_string(rad) + " " + std::to_string(s - rad) +
                             " " + std::to_string(rad);
  const std::string right = "Line " + std::to_string(s - rad) + " " + std::to_string(rad) + " " +
                            std::to_string(s - rad) + " " + std::to_string(s - rad);
  const std::string top = "Line " + std::to_string(s - rad) + " " + std::to_string(s - rad) +
                          " " + std::to_string(rad) + " " + std::to_string(s - rad);
  auto has = [&](const std::string& prefix) {
    for (const std::string& l : lines)
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  };
  EXPECT_TRUE(has(bottom)) << ::testing::PrintToString(lines);
  EXPECT_TRUE(has(right)) << ::testing::PrintToString(lines);
  EXPECT_TRUE(has(top)) << ::testing::PrintToString(lines);
  r->Done();

  // Without the reader's compensation option the moves are read as
  // programmed.
  options.CutterCompensation = false;
  auto plain = std::make_unique<TCallLog>(Tape(tape), TempDir.string(), options);
  Read(*plain);
  EXPECT_TRUE(plain->With(bottom).empty());
  EXPECT_FALSE(plain->With("Line 0 0 " + std::to_string(s) + " 0").empty())
      << ::testing::PrintToString(plain->With("Line"));
  plain->Done();
}

}  // namespace

TEST_F(NcInterpret, RepeatedTextsComeOutOnceForEachRepeatInTapeOrder) {
  // The pattern's comment block is queued again at every repeat; the texts
  // of one run and of the runs around it keep their number and order.
  auto r = Reader({"%", "G00X0Y0", "M25", "N10", "N10", "N20", "M01", "M02X1000Y0R3", "M08", "N30",
                   "G00X0Y0", "M30"});
  Read(*r);
  std::vector<std::string> order;
  for (const auto& l : r->Calls)
    if (l.rfind("Rapid", 0) == 0 || l.rfind("Unparsed", 0) == 0) order.push_back(l);
  const std::vector<std::string> pass = {"Rapid 0 0 0 0", "Unparsed N10 2", "Unparsed N10 2",
                                         "Unparsed N20 2"};
  std::vector<std::string> expected;
  for (int k = 0; k < 4; ++k) expected.insert(expected.end(), pass.begin(), pass.end());
  expected.insert(expected.end(), {"Rapid 0 0 0 0", "Unparsed N30 2", "Rapid 0 0 0 0"});
  EXPECT_EQ(order, expected);
  r->Done();
}
