// Blank tape as a machine's tape reader passes over it: the feed bytes taken
// out of a line wherever they stand, those between two characters of a
// block told apart, and the lines that hold no block.
#include "foundation/tape_feed.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(TapeFeed, FeedIsTakenOutWhereverItStandsAndBlankLinesAreTold) {
  const struct {
    std::string Line, Kept;
    std::size_t Bytes;
    bool Inside, Blank;
  } cases[] = {
      {"G01X021234", "G01X021234", 0, false, false},
      {"G01X02\0" "1234"s, "G01X021234", 1, true, false},
      {"\0\0G01X1"s, "G01X1", 2, false, false},
      {"M30\x13", "M30", 1, false, false},
      {"\x11\x11M48", "M48", 2, false, false},
      {"\x12%\x14", "%", 2, false, false},
      {"X1\x7f\x7fY2", "X1Y2", 2, true, false},
      {"X1 \0 Y2"s, "X1  Y2", 1, true, false},
      {" \0G01 \0"s, " G01 ", 2, false, false},
      // TAB and blanks are no feed, nor are other control characters.
      {"M47,A\tB", "M47,A\tB", 0, false, false},
      {"M47,A\x01" "B", "M47,A\x01" "B", 0, false, false},
      {"M47,A\x1a" "B", "M47,A\x1a" "B", 0, false, false},
      // Lines of blank tape.
      {"", "", 0, false, true},
      {"\0\0\0"s, "", 3, false, true},
      {"\x7f\x7f", "", 2, false, true},
      {"\x11", "", 1, false, true},
      {" \t ", " \t ", 0, false, true},
      {"\x1a", "\x1a", 0, false, true},
      {"\x1a\0 \x1a"s, "\x1a \x1a", 1, false, true},
  };
  for (const auto& c : cases) {
    std::string line = c.Line;
    SCOPED_TRACE(testing::PrintToString(c.Line));
    const TTapeFeedDropped dropped = DropTapeFeed(line);
    EXPECT_EQ(line, c.Kept);
    EXPECT_EQ(dropped.Bytes, c.Bytes);
    EXPECT_EQ(dropped.Inside, c.Inside);
    EXPECT_EQ(HoldsTapeFeed(c.Line), c.Bytes > 0);
    EXPECT_EQ(IsBlankTapeLine(line), c.Blank);
    EXPECT_EQ(IsBlankTapeLine(c.Line), c.Blank);
  }
}

}  // namespace
