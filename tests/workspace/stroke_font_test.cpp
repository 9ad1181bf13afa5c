#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "platform/headless/recording_canvas.h"
#include "workspace/stroke_font.h"

namespace {

struct TMove {
  bool Line;
  int32_t X, Y;
};

class TRecordingStrokeText : public TStrokeText {
 public:
  using TStrokeText::TStrokeText;
  void MoveTo(int32_t x, int32_t y) override { Moves.push_back({false, x, y}); }
  void LineTo(int32_t x, int32_t y) override { Moves.push_back({true, x, y}); }
  std::vector<TMove> Moves;
};

}  // namespace

TEST(StrokeFontTest, EveryGlyphStaysInsideItsCell) {
  int drawn = 0;
  for (const char* record : ViewStrokeFont) {
    const char c = record[0];
    // A lower-case character draws its capital (the text is upper-cased).
    TRecordingStrokeText text(std::string(1, c), 1000, 2000, 30, 45);  // 2 x 3 per grid unit
    text.Draw();
    EXPECT_EQ(text.X, 1030) << "glyph " << c;
    for (const TMove& m : text.Moves) {
      EXPECT_GE(m.X, 1000) << "glyph " << c;
      EXPECT_LE(m.X, 1000 + 22) << "glyph " << c;  // x 0..11
      EXPECT_GE(m.Y, 2000) << "glyph " << c;
      EXPECT_LE(m.Y, 2000 + 45) << "glyph " << c;  // y 0..15
    }
    if (c != ' ') {
      EXPECT_FALSE(text.Moves.empty()) << "glyph " << c;
      if (!text.Moves.empty()) {
        EXPECT_FALSE(text.Moves.front().Line) << "glyph " << c;
      }
    }
    drawn += static_cast<int>(text.Moves.size());
  }
  EXPECT_GT(drawn, 500);
}

TEST(StrokeFontTest, TableRecordsAreWellFormed) {
  for (const char* record : ViewStrokeFont) {
    const std::string r = record;
    ASSERT_GE(r.size(), 3u);
    EXPECT_LE(r.size(), 101u);
    EXPECT_EQ(r[1], ' ');
    EXPECT_EQ(r.substr(r.size() - 1), "E") << r;
  }
  // Lower-case records repeat the capitals, except the "m".
  for (int i = 0; i < 26; ++i) {
    const std::string upper = ViewStrokeFont[size_t(i)] + 1;
    const std::string lower = ViewStrokeFont[size_t(26 + i)] + 1;
    EXPECT_EQ(ViewStrokeFont[size_t(26 + i)][0], 'a' + i);
    if (i == 'm' - 'a') {
      EXPECT_EQ(lower, " U0,0 D3,15 D6,8 D8,15 D11,0 E");
    } else {
      EXPECT_EQ(upper, lower);
    }
  }
}

TEST(StrokeFontTest, TextExtentAndUnknownCharacters) {
  TRecordingStrokeText text("a%b c", 10, 5, 8, 12);
  EXPECT_EQ(text.Text, "A%B C");
  text.Draw();
  EXPECT_EQ(text.X, 10 + 5 * 8);
  EXPECT_EQ(text.Y, 5);
  int32_t minX = INT32_MAX, maxX = INT32_MIN;
  for (const TMove& m : text.Moves) {
    minX = std::min(minX, m.X);
    maxX = std::max(maxX, m.X);
    // The "%" cell (18..26) and the blank cell (34..42) stay empty: "A"
    // reaches x 16, "B" starts at 26 and reaches 32, "C" starts at 42.
    EXPECT_FALSE(m.X > 16 && m.X < 26) << m.X;
    EXPECT_FALSE(m.X > 32 && m.X < 42) << m.X;
  }
  EXPECT_EQ(minX, 10);
  EXPECT_LE(maxX, 10 + 5 * 8);
  // "m" draws like "M" since the text is upper-cased.
  TRecordingStrokeText m("m", 0, 0, 15, 15), mm("M", 0, 0, 15, 15);
  m.Draw();
  mm.Draw();
  ASSERT_EQ(m.Moves.size(), mm.Moves.size());
  ASSERT_EQ(m.Moves.size(), 6u);
  EXPECT_EQ(m.Moves[3].X, 6);
  EXPECT_EQ(m.Moves[3].Y, 8);
}

TEST(StrokeFontTest, GlyphPointsRoundHalvesToEven) {
  // Width 10 gives 2/3 per grid unit: 6 -> 4, 11 -> 7.33 -> 7; height 2 gives
  // 2/15: 15 -> 2, 8 -> 1.07 -> 1.
  TRecordingStrokeText a("A", 0, 0, 10, 2);
  a.Draw();
  ASSERT_EQ(a.Moves.size(), 5u);
  EXPECT_EQ(a.Moves[1].X, 4);
  EXPECT_EQ(a.Moves[1].Y, 2);
  EXPECT_EQ(a.Moves[2].X, 7);
  EXPECT_EQ(a.Moves[3].Y, 1);
  EXPECT_EQ(a.X, 10);
  // Width 5 gives 1/3 per unit: "I" at 3 -> 1, 5 -> 1.67 -> 2, 7 -> 2.33 -> 2.
  TRecordingStrokeText i("I", 0, 0, 5, 15);
  i.Draw();
  ASSERT_EQ(i.Moves.size(), 6u);
  EXPECT_EQ(i.Moves[0].X, 1);
  EXPECT_EQ(i.Moves[1].X, 2);
  EXPECT_EQ(i.Moves[2].X, 2);
  EXPECT_EQ(i.X, 5);
}

TEST(StrokeFontTest, ViewTextDrawsUpwardsOnTheCanvas) {
  TRecordingCanvas canvas;
  TViewStrokeText text(canvas, "A", 100, -300, 8, 12);
  text.Draw();
  const auto calls = canvas.Describe();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0], "MoveTo(100,300)");  // baseline at row 300
  EXPECT_EQ(calls[1], "LineTo(103,288)");  // apex 12 rows above
  EXPECT_EQ(calls[2], "LineTo(106,300)");
  EXPECT_EQ(text.X, 108);

  TRecordingCanvas view;
  ShowMultipleItemsNotice(view, 600, 400);
  ASSERT_FALSE(view.Calls.empty());
  EXPECT_EQ(view.Calls.front().ToString(), "MoveTo(200,380)");  // "M" at 600/2 - 100, 20 above the bottom
  for (const TCanvasCall& c : view.Calls) {
    EXPECT_GE(c.Args[1], 380 - 12);
    EXPECT_LE(c.Args[1], 380);
  }
}
