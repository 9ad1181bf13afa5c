// The format guess over several tapes in a row, and the tool sizes it
// weighs whatever the tool numbers.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "korvex_test.h"
#include "tapein/drill_format_guess.h"

namespace {

class DrillFormatGuess : public TKorvexTest {
 protected:
  std::string Tape(const std::string& name, const std::vector<std::string>& lines) {
    const auto path = TempDir / name;
    std::ofstream out(path);
    for (const auto& l : lines) out << l << "\n";
    return path.string();
  }
  static auto Fields(const TTapeFormatGuess& g) {
    return std::make_tuple(g.UnitsKnown, g.Metric, g.ZerosKnown, g.LeadingZeros, g.DigitsKnown,
                           g.IntegerDigits, g.DecimalDigits, g.Words, g.PointWords);
  }
};

TEST_F(DrillFormatGuess, EachTapeIsGuessedAsIfAlone) {
  // Tapes that leave different things behind: tool sizes and comment
  // sizes, an incremental mode, long words, many hits (more than are kept
  // for the next tape), none at all.
  std::vector<std::string> big = {"M48", "INCH,TZ", "T1C0.02", "%", "T1"};
  for (int i = 0; i < 40000; ++i)
    big.push_back("X" + std::to_string(1000 + (i % 200) * 500) + "Y" + std::to_string(1000 + (i / 200) * 500));
  std::vector<std::string> spaced = {";T3 0.2MM", "T3C0.2", "%", "T3"};
  for (int i = 0; i < 30; ++i)
    spaced.push_back("X" + std::to_string(10000 + (i % 6) * 2500) + "Y" + std::to_string(10000 + (i / 6) * 2500));
  std::vector<std::string> incremental = {"T2C0.8", "%", "G91", "T2"};
  for (int i = 0; i < 30; ++i) incremental.push_back(i % 6 == 0 ? "X-125Y250" : "X25");
  const std::vector<std::string> tapes = {
      Tape("big.drl", big),
      Tape("spaced.drl", spaced),
      // Its size alone shows no unit.
      Tape("undecided.drl", {"T3C0.2", "%", "T3", "X1000Y1000"}),
      Tape("incremental.drl", incremental),
      Tape("long.drl", {"T1C0.02", "X123456789012345678901234Y1", "X0000012Y000034", "X15Y25"}),
      Tape("empty.drl", {"M48", "%", "M30"}),
      Tape("tools.drl", {";T1500 0.2IN", "T1500C0.2", "T4C0.25", "%", "T1500", "X5000Y5000"}),
  };
  TStoredTapeFormat stored;
  std::vector<TTapeFormatGuess> forward, backward;
  for (const std::string& t : tapes) forward.push_back(GuessTapeFormat(t, stored));
  for (auto t = tapes.rbegin(); t != tapes.rend(); ++t) backward.insert(backward.begin(), GuessTapeFormat(*t, stored));
  for (size_t i = 0; i < tapes.size(); ++i) {
    SCOPED_TRACE(tapes[i]);
    EXPECT_EQ(Fields(forward[i]), Fields(backward[i]));
    EXPECT_EQ(Fields(forward[i]), Fields(GuessTapeFormat(tapes[i], stored)));
  }
  EXPECT_EQ(forward[0].Words, 80000);
  EXPECT_FALSE(forward[2].UnitsKnown);
  EXPECT_TRUE(forward[6].UnitsKnown);
  EXPECT_FALSE(forward[6].Metric);
  // A file that cannot be read after them guesses nothing.
  EXPECT_EQ(Fields(GuessTapeFormat((TempDir / "absent.drl").string(), stored)), Fields(TTapeFormatGuess()));
}

TEST_F(DrillFormatGuess, CommentSizesShowTheUnitWhateverTheToolNumber) {
  // A size of 0.2 says neither unit by itself; the drill list's comment
  // does. Where two tools disagree the lower number decides.
  struct TCase {
    int Tool;
    const char* Unit;
    bool Metric;
  };
  for (const TCase& c : {TCase{7, "MM", true}, TCase{999, "IN", false}, TCase{1000, "MM", true},
                         TCase{123456, "IN", false}}) {
    const std::string t = "T" + std::to_string(c.Tool);
    const TTapeFormatGuess g = GuessTapeFormat(
        Tape("unit.drl", {";" + t + " 0.2" + c.Unit, t + "C0.2", "%", t, "X1000Y1000"}), TStoredTapeFormat());
    SCOPED_TRACE(t);
    EXPECT_TRUE(g.UnitsKnown);
    EXPECT_EQ(g.Metric, c.Metric);
  }
  const TTapeFormatGuess lower = GuessTapeFormat(
      Tape("two.drl", {";T1000 0.2MM", ";T999 0.2IN", "T1000C0.2", "T999C0.2", "%", "T999", "X1000Y1000"}),
      TStoredTapeFormat());
  EXPECT_TRUE(lower.UnitsKnown);
  EXPECT_FALSE(lower.Metric);
}

TEST_F(DrillFormatGuess, TapeFeedInACommentsSizeIsPassedOverAsTheReaderDoes) {
  using namespace std::string_literals;
  // A drill list's comment with feed in its tool, its size or its unit
  // gives the size the reader reads: 12 mils, not 1 nor 2 (a size of 1 mil
  // would have these words read with one integer digit).
  const std::vector<std::string> body = {"T01",            "X004450Y000200", "X009874Y002026", "X006159Y004159",
                                         "X025532Y000117", "X014610Y001680", "X028815Y000117", "X017710Y001680",
                                         "X027165Y000117", "X016160Y001680", "X023882Y000117"};
  const auto guess = [&](const std::string& comment) {
    std::vector<std::string> lines = {comment};
    lines.insert(lines.end(), body.begin(), body.end());
    return Fields(GuessTapeFormat(Tape("list.drl", lines), TStoredTapeFormat()));
  };
  const auto clean = guess(";T01 Holesize 1. = 12.000000 Tolerance = +0.000000/-0.000000 PLATED MILS");
  for (const std::string& comment :
       {";T01 Holesize 1. = 1\0" "2.000000 Tolerance = +0.000000/-0.000000 PLATED MILS"s,
        std::string(";T01 Holesize 1. = 12.\x7f" "000000 Tolerance = +0.000000/-0.000000 PLATED MILS"),
        std::string(";T0\x13" "1 Holesize 1. = 12.000000 Tolerance = +0.000000/-0.000000 PLATED MI\x11LS")}) {
    SCOPED_TRACE(comment);
    EXPECT_EQ(guess(comment), clean);
  }
}

}  // namespace
