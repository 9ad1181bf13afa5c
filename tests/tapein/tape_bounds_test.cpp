// Tapes that would make the reader run away or read numbers wrongly: repeat
// counts, positions and tools out of range, formats with too many digits,
// lines longer than any block, and cancelling a long expansion.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "korvex_test.h"
#include "nc_call_log.h"

namespace {

class TapeBounds : public TKorvexTest {
 protected:
  std::string File(const std::string& name, const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    WriteFileBytes(TempDir / name, text);
    return (TempDir / name).string();
  }
  // An LZ inch tape of one tool with the given body.
  std::string Tape(const std::vector<std::string>& body) {
    std::vector<std::string> lines = {"M48", "INCH,LZ", "T1C0.030", "%", "T1"};
    lines.insert(lines.end(), body.begin(), body.end());
    lines.push_back("M30");
    return File("t.drl", lines);
  }
  std::unique_ptr<TCallLog> Run(const std::string& file, const TTapeOptions& options = {}) {
    auto r = std::make_unique<TCallLog>(file, TempDir.string(), options);
    bool failed = false;
    r->Run(failed);
    Failed = failed || r->ErrorFlag;
    return r;
  }
  bool Failed = false;
};

TEST_F(TapeBounds, RepeatCountsAreBoundedAndOverlongCountsAreNeverUsed) {
  // The built-in symbol has 14 hits: 9,999 copies are more than one line
  // may make. The reading stops there, naming the line.
  auto r = Run(Tape({"P9999"}));
  EXPECT_TRUE(Failed);
  EXPECT_EQ(r->First("Error"), "Error Line 6 \"P9999\": its repeats make more than 100,000 holes "
                               "and moves; the reading stops.");
  EXPECT_LE(r->Hits.size(), 100000u);
  r->Done();

  // A count with more digits than its format is reported and dropped, not
  // used in full (a billion holes) nor cut.
  r = Run(Tape({"X010000Y010000", "R999999999X000010Y000010", "P99999999"}));
  EXPECT_FALSE(Failed);
  EXPECT_EQ(r->With("Message Block"),
            (std::vector<std::string>{"Message Block 7:Digit Overflow", "Message Block 8:Digit Overflow"}));
  EXPECT_LE(r->Hits.size(), 2u);
  r->Done();

  // Within the bounds a repeat runs in full.
  r = Run(Tape({"X010000Y010000", "R5X000100Y000000"}));
  EXPECT_FALSE(Failed);
  EXPECT_EQ(r->Hits.size(), 6u);
  EXPECT_EQ(r->Hits.back().X, 2540 * 10500);
  r->Done();
}

TEST_F(TapeBounds, RepeatsOfABlockThatMakesNoHoleCountAgainstTheLimit) {
  // A bare M word repeated 99,999,999 times (a decimal count) makes no hole;
  // each repeat still counts as one, so the reading stops at the line's limit.
  auto r = Run(File("m.drl", {"M48", "METRIC,TZ", "T1C0.8", "%", "T1", "MR99999999.", "M30"}));
  EXPECT_TRUE(Failed);
  EXPECT_EQ(r->First("Error"), "Error Line 6 \"MR99999999.\": its repeats make more than 100,000 "
                               "holes and moves; the reading stops.");
  EXPECT_TRUE(r->Hits.empty());
  r->Done();

  // Repeats that make holes count each hole once, as before.
  r = Run(Tape({"X010000Y010000", "R5X000100Y000000"}));
  EXPECT_FALSE(Failed);
  EXPECT_EQ(r->Hits.size(), 6u);
  r->Done();
}

TEST_F(TapeBounds, ATapeOfExactlyAsManyHitsAsTheLimitReadsAndOneMoreStops) {
  // A hundred rows of one hit and 9,999 repeats: 1,000,000 hits, then M30.
  // A sequence number before each row is no hole or move.
  std::vector<std::string> body;
  for (int i = 0; i < 100; ++i) {
    body.push_back("N" + std::to_string(i + 1));
    body.push_back("X010000Y" + std::to_string(1000000 + 100 * i).substr(1));
    body.push_back("R9999X000001Y000000");
  }
  auto r = Run(Tape(body));
  EXPECT_FALSE(Failed) << r->First("Error");
  EXPECT_EQ(r->Hits.size(), 1000000u);
  r->Done();

  body.push_back("X010000Y050000");
  r = Run(Tape(body));
  EXPECT_TRUE(Failed);
  EXPECT_EQ(r->First("Error"), "Error Line 306: the tape makes more than 1,000,000 holes and moves; "
                               "the reading stops.");
  EXPECT_EQ(r->Hits.size(), 1000000u);
  r->Done();
}

// A reader whose user presses Cancel as soon as the reader asks.
class TCancelledLog : public TCallLog {
 public:
  using TCallLog::TCallLog;
  void Poll(bool& abort) override {
    if (++Polls > PollsBeforeCancel || (CancelOnceHit && !Hits.empty())) abort = true;
  }
  int Polls = 0;
  int PollsBeforeCancel = 0;
  bool CancelOnceHit = false;
};

TEST_F(TapeBounds, ALongExpansionCanBeCancelled) {
  // 7,000 copies of the symbol: 98,000 hits within one line.
  const std::string file = Tape({"P7000"});
  TCancelledLog r(file, TempDir.string(), TTapeOptions{});
  // The lines before the P block pass; the expansion asks again and stops.
  r.PollsBeforeCancel = 12;
  bool failed = false;
  r.Run(failed);
  EXPECT_TRUE(r.Abort);
  EXPECT_GT(r.Hits.size(), 0u);
  EXPECT_LT(r.Hits.size(), 10000u);
  r.Done();

  // Pressed once the expansion has begun, the Cancel is seen within a few
  // hundred holes, not thousands (the rout and CAD imports make an entity
  // and draw it for each).
  TCancelledLog early(file, TempDir.string(), TTapeOptions{});
  early.PollsBeforeCancel = 1 << 30;
  early.CancelOnceHit = true;
  early.Run(failed);
  EXPECT_TRUE(early.Abort);
  EXPECT_GT(early.Hits.size(), 0u);
  EXPECT_LE(early.Hits.size(), 256u);
  early.Done();
}

TEST_F(TapeBounds, PositionsAndToolsOutOfRangeStopTheReadingWithTheirLine) {
  auto r = Run(Tape({"X010000Y010000", "X99999999999999999999Y010000", "X020000Y010000"}));
  EXPECT_TRUE(Failed);
  EXPECT_EQ(r->First("Error"),
            "Error Line 7 \"X99999999999999999999Y010000\": the X word lies beyond the largest "
            "coordinate (84.5466 in) or has more digits than the format (Format Overflow).");
  // Never a hole at the previous position.
  EXPECT_EQ(r->Hits.size(), 1u);
  r->Done();

  r = Run(Tape({"X010000Y010000", "T-5", "X020000Y010000"}));
  EXPECT_TRUE(Failed);
  EXPECT_EQ(r->First("Error"), "Error Line 7 \"T-5\": the tool T-5 lies outside the tools 1 to 1000.");
  EXPECT_EQ(r->Hits.size(), 1u);
  r->Done();

  r = Run(Tape({"T123456", "X020000Y010000"}));
  EXPECT_TRUE(Failed);
  EXPECT_NE(r->First("Error").find("the tool T123456 lies outside"), std::string::npos);
  EXPECT_TRUE(r->Hits.empty());
  r->Done();
}

TEST_F(TapeBounds, FormatsWithTooManyDigitsAreRefusedAndTenDecimalsWork) {
  TTapeOptions ten;
  ten.IntegerDigits = 2;
  ten.DecimalDigits = 10;
  // The built-in symbol is a tenth of an inch wide: 10^9 tape units.
  const std::string file = File("d.drl", {"%", "P1", "M30"});
  auto r = Run(file, ten);
  EXPECT_FALSE(Failed) << r->First("Error");
  EXPECT_EQ(r->Hits.size(), 14u);
  r->Done();

  TTapeOptions eleven = ten;
  eleven.DecimalDigits = 11;
  r = Run(file, eleven);
  EXPECT_TRUE(Failed);
  EXPECT_EQ(r->First("Error"), "Error The tape format 2.11 has more digits than a number can hold "
                               "(at most 10 before and after the point).");
  EXPECT_TRUE(r->Hits.empty());
  r->Done();
}

TEST_F(TapeBounds, ALineLongerThanAnyBlockIsRefusedWithoutReadingItWhole) {
  std::string text = "M48\r\nINCH,LZ\r\n%\r\nX010000Y010000\r\n";
  text += std::string(8 << 20, '7');
  WriteFileBytes(TempDir / "long.drl", text);
  auto r = Run((TempDir / "long.drl").string());
  EXPECT_TRUE(Failed);
  EXPECT_EQ(r->First("Error"),
            "Error Line 5 is longer than 65,536 characters: this is no tape; the reading stops.");
  EXPECT_EQ(r->Hits.size(), 1u);
  r->Done();
}

}  // namespace
