// Repeats of a pattern read the pattern's lines again: the holes, tools,
// block numbers and messages of every pass must be those of the reading
// from the tape's start, whatever stands before the pattern and whatever
// the swap filter carries from line to line. The expectations were taken
// from the reader that rewound the tape and read it again up to the pattern
// on every pass.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/file_utils.h"
#include "korvex_test.h"
#include "nc_call_log.h"

namespace {

// FNV-1a over the whole call log, one line after another.
uint64_t Digest(const std::vector<std::string>& calls) {
  uint64_t h = 1469598103934665603ull;
  for (const std::string& line : calls) {
    for (const unsigned char c : line) h = (h ^ c) * 1099511628211ull;
    h = (h ^ '\n') * 1099511628211ull;
  }
  return h;
}

class NcPatternReread : public TKorvexTest {
 protected:
  std::string File(const std::string& name, const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    WriteFileBytes(TempDir / name, text);
    return (TempDir / name).string();
  }
  std::string Swap(const std::string& name, const std::string& rules) {
    WriteFileBytes(TempDir / "SWAP" / name, rules);
    return (TempDir / "SWAP" / name).string();
  }
  std::unique_ptr<TCallLog> Run(const std::string& file, const std::string& filter = "") {
    TTapeOptions options;
    options.SwapFilter = filter;
    auto r = std::make_unique<TCallLog>(file, TempDir.string(), options);
    Failed = r->RunFailed();
    return r;
  }
  struct TOutcome {
    bool Failed;
    std::size_t Hits, Calls;
    uint64_t Digest;
  };
  // The run's verdict, its counts and the digest of its whole log (every
  // hit, tool, block number and message in order), as the reading that went
  // back to the tape's start gave them.
  void Expect(const TCallLog& r, const TOutcome& want) {
    EXPECT_EQ(Failed, want.Failed);
    EXPECT_EQ(r.Hits.size(), want.Hits);
    EXPECT_EQ(r.Calls.size(), want.Calls);
    EXPECT_EQ(Digest(r.Calls), want.Digest);
  }
  bool Failed = false;
};

// The hits of the given blocks as "x y tool block".
std::vector<std::string> HitsOf(const TCallLog& r, int32_t fromBlock, int32_t toBlock) {
  std::vector<std::string> out;
  for (const TLoggedHit& h : r.Hits)
    if (h.Block >= fromBlock && h.Block <= toBlock)
      out.push_back(std::to_string(h.X) + " " + std::to_string(h.Y) + " " + std::to_string(h.Tool) +
                    " " + std::to_string(h.Block));
  return out;
}

// A drill tape: header with three tools, a lead-in of `leadIn` holes (a
// tool change half way, an M02 with no pattern open after a third), then the
// pattern lines and the tail.
std::vector<std::string> Tape(int leadIn, const std::vector<std::string>& pattern,
                              const std::vector<std::string>& tail) {
  std::vector<std::string> lines = {"M48", "INCH,TZ", "T1C0.0100", "T2C0.0200", "T3C0.125", "%",
                                    "T1"};
  for (int i = 0; i < leadIn; ++i) {
    if (i == leadIn / 3) lines.push_back("M02X5");
    if (i == leadIn / 2) lines.push_back("T2");
    lines.push_back("X" + std::to_string((i % 60) * 100) + "Y" + std::to_string((i / 60) * 100));
  }
  lines.insert(lines.end(), pattern.begin(), pattern.end());
  lines.insert(lines.end(), tail.begin(), tail.end());
  return lines;
}

const std::vector<std::string> kPattern = {
    "M25",  "T3", "X100Y100", "X200Y100G84X0100", "X300Y300*", "M47,PASS", "T1", "X400Y400",
    "M01",  "M02X10000Y0", "M02X0Y10000M70", "M02X10000Y0M80", "M08"};
const std::vector<std::string> kTail = {"X9Y9", "M30"};

}  // namespace

// A pattern after three thousand holes: every pass drills the pattern's
// holes at its offsets with the pattern's tools and reports its blocks under
// their own numbers; the lead-in's report comes once.
TEST_F(NcPatternReread, PatternAfterALongLeadIn) {
  auto r = Run(File("long.drl", Tape(3000, kPattern, kTail)));
  Expect(*r, {true, 3013, 6138, 0xfcc28179facff18eull});
  EXPECT_EQ(r->With("Message Error in block number 1008").size(), 1u);
  EXPECT_EQ(r->With("Warning 508000 254000 3012 G84").size(), 1u);
  EXPECT_EQ(r->With("BlockMessage 3013 Format Overflow").size(), 4u);
  EXPECT_EQ(r->With("Operator M47,PASS").size(), 4u);
  EXPECT_EQ(HitsOf(*r, 3009, 3022),
            (std::vector<std::string>{
                "254000 254000 3 3011", "762000 762000 3 3013", "1016000 1016000 1 3016",
                "25654000 254000 3 3011", "26162000 762000 3 3013", "26416000 1016000 1 3016",
                "25654000 25654000 3 3011", "26162000 26162000 3 3013", "26416000 26416000 1 3016",
                "50546000 25654000 3 3011", "50038000 26162000 3 3013", "49784000 26416000 1 3016",
                "22860 22860 1 3022"}));
  r->Done();
}

// Three levels, each pass of an outer level reading the inner ones again.
TEST_F(NcPatternReread, NestedPatterns) {
  auto r = Run(File("nested.drl",
                    Tape(40,
                         {"M25", "X100Y100", "T2", "X150Y100", "M01", "M02X1000Y0", "M02X1000Y0",
                          "M01", "M02X0Y2000M80", "M01", "M02X0Y0M90", "M08"},
                         kTail)));
  Expect(*r, {true, 65, 203, 0xbd155919ebdb3571ull});
  EXPECT_EQ(r->With("PatternEnd").size(), 28u);
  r->Done();
}

// M25 on the tape's first line: the passes go back to the second line.
TEST_F(NcPatternReread, PatternOnTheFirstLine) {
  auto r = Run(File("start.drl", {"M25", "X100Y100", "X1Y1*", "M01", "M02X1000Y0", "M02X1000Y0",
                                  "M08", "X5Y5", "M30"}));
  Expect(*r, {false, 7, 33, 0x86b45ee7d378bc5cull});
  EXPECT_EQ(HitsOf(*r, 0, 9),
            (std::vector<std::string>{
                "254000000 254000000 1 1", "254000000 254000000 1 2", "508000000 254000000 1 1",
                "508000000 254000000 1 2", "762000000 254000000 1 1", "762000000 254000000 1 2",
                "1270000000 1270000000 1 7"}));
  EXPECT_EQ(r->With("BlockMessage 2 Format Overflow").size(), 3u);
  r->Done();
}

// The filter splits the M25 line in two: its second half is pending when the
// pattern begins and is read again by every pass.
TEST_F(NcPatternReread, SwapFilterSplitsThePatternsFirstLine) {
  const std::string filter = Swap("SPLIT.SWP", "Q=X\r\nM25=M25[/c]\r\n");
  auto lines = Tape(500, {"M25T2", "Q100Y100", "Q200Y200", "M01", "M02Q1000Y0", "M02Q1000Y0",
                          "M08"},
                    kTail);
  auto r = Run(File("split.drl", lines), filter);
  Expect(*r, {true, 507, 1046, 0x1b508bc2ccae5d74ull});
  EXPECT_EQ(HitsOf(*r, 509, 516),
            (std::vector<std::string>{"254000 254000 2 510", "508000 508000 2 511",
                                      "2794000 254000 2 510", "3048000 508000 2 511",
                                      "5334000 254000 2 510", "5588000 508000 2 511",
                                      "22860 22860 2 516"}));
  r->Done();
}

// The filter numbers the NOTE lines: each pass numbers the lead-in's notes
// again before the pattern's own, as the reading from the start does.
TEST_F(NcPatternReread, SwapFilterCountingLinesAcrossPasses) {
  const std::string filter = Swap("COUNT.SWP", "NOTE=[/%1=%1+1]%%1\r\nQ=X\r\n");
  auto lines = Tape(300, {"M25", "M47,NOTE", "Q100Y100", "M47,NOTE", "M01", "M02Q1000Y0",
                          "M02Q1000Y0", "M08"},
                    kTail);
  lines.insert(lines.begin() + 8, "M47,NOTE");
  lines.insert(lines.begin() + 200, "M47,NOTE");
  auto r = Run(File("count.drl", lines), filter);
  Expect(*r, {true, 304, 670, 0x98119a216c6c8c0aull});
  EXPECT_EQ(r->With("Operator"),
            (std::vector<std::string>{"Operator M47,NOTE1", "Operator M47,NOTE2", "Operator M47,NOTE3",
                                      "Operator M47,NOTE4", "Operator M47,NOTE7", "Operator M47,NOTE8",
                                      "Operator M47,NOTE11", "Operator M47,NOTE12"}));
  r->Done();
}

// A pattern longer than the blocks the file is read in: each pass begins
// at the pattern's first hole and ends at its last.
TEST_F(NcPatternReread, PatternLongerThanAReadBlock) {
  std::vector<std::string> pattern = {"M25"};
  for (int i = 0; i < 9000; ++i)
    pattern.push_back("X" + std::to_string(i % 90 * 100) + "Y" + std::to_string(i / 90 * 100));
  pattern.insert(pattern.end(), {"M01", "M02X20000Y0", "M02X0Y20000", "M08"});
  auto r = Run(File("big.drl", Tape(200, pattern, kTail)));
  ASSERT_EQ(r->Hits.size(), 200u + 3 * 9000u + 1u);
  for (int pass = 0; pass < 3; ++pass) {
    const TLoggedHit& first = r->Hits[200 + pass * 9000];
    const TLoggedHit& last = r->Hits[200 + pass * 9000 + 8999];
    EXPECT_EQ(first.X, (pass > 0 ? 20000 : 0) * 2540);
    EXPECT_EQ(first.Y, (pass > 1 ? 20000 : 0) * 2540);
    EXPECT_EQ(first.Block, 210);
    EXPECT_EQ(last.X, (8900 + (pass > 0 ? 20000 : 0)) * 2540);
    EXPECT_EQ(last.Block, 9209);
  }
  EXPECT_EQ(Digest(r->Calls), 0x1b9fbccf45358637ull);  // as the reading from the start gave
  r->Done();
}

// The lines a reading may read count the pattern's lines of every pass but
// not the lead-in the passes go back over: 400 passes after 12,000 holes
// are read whole.
TEST_F(NcPatternReread, PassesCountOnlyThePatternsLines) {
  std::vector<std::string> pattern = {"M25", "X100Y100", "M01"};
  for (int i = 0; i < 399; ++i) pattern.push_back("M02X10Y0");
  pattern.push_back("M08");
  auto r = Run(File("many.drl", Tape(12000, pattern, {"M30"})));
  EXPECT_TRUE(r->With("Error ").empty());
  EXPECT_EQ(r->Hits.size(), 12000u + 400u);
  ASSERT_FALSE(r->Hits.empty());
  EXPECT_EQ(r->Hits.back().X, (100 + 399 * 10) * 2540);
  EXPECT_EQ(r->Hits.back().Y, 100 * 2540);
  r->Done();
}

// A pattern group after an M08 without an M25 of its own holds no blocks:
// the passes never go back over the step and repeat that ended before it,
// every group is read once, and the reader says what is wrong, the same for
// a reader that reads patterns again and one that takes its repeats itself.
TEST_F(NcPatternReread, AGroupWithoutItsOwnM25IsReadOnce) {
  const std::string shortTape = File("short.drl", {"M1", "M8", "M1", "M2", "M1"});
  const std::string group =
      File("group.drl", {"M48", "INCH,LZ", "T1C0.030", "%", "T1", "M25", "X010000Y010000", "M01",
                         "M02X010000", "M08", "M01", "M02X020000", "M01", "M30"});
  for (const bool takesSteps : {false, true}) {
    SCOPED_TRACE(takesSteps ? "takes the repeats" : "reads again");
    TCallLog s(shortTape, TempDir.string());
    s.TakesSteps = takesSteps;
    EXPECT_FALSE(s.RunFailed());
    EXPECT_TRUE(s.Hits.empty());
    EXPECT_TRUE(s.With("Error ").empty());
    EXPECT_EQ(s.With("Message Line 1: M01 ends a pattern that no M25 began; the pattern holds no "
                     "blocks and its repeats add nothing.")
                  .size(),
              1u);
    EXPECT_EQ(s.With("Message Line 3: M01 ends a pattern that no M25 began after the step and "
                     "repeat ended in line 2;")
                  .size(),
              1u);
    s.Done();

    TCallLog g(group, TempDir.string());
    g.TakesSteps = takesSteps;
    EXPECT_FALSE(g.RunFailed());
    EXPECT_TRUE(g.With("Error ").empty());
    EXPECT_EQ(g.With("Message Line 11: M01 ends a pattern that no M25 began after the step and "
                     "repeat ended in line 10;")
                  .size(),
              1u);
    // The pattern's hole, and its copy when the reader reads it again.
    ASSERT_EQ(g.Hits.size(), takesSteps ? 1u : 2u);
    EXPECT_EQ(g.Hits[0].X, 25400000);
    if (!takesSteps) EXPECT_EQ(g.Hits[1].X, 2 * 25400000);
    EXPECT_EQ(g.With("PatternRepeat ").size(), takesSteps ? 2u : 3u);
    g.Done();
  }
}
