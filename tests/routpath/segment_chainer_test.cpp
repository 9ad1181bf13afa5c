// Segment chaining: joining ends within the tolerance, seeds, the
// travelling order, dropped cutter-sized holes, and arc centre adjustment.
#include "routpath/segment_chainer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

// Plays back into a text per chain: "M x,y" then "L x,y" / "CW x,y" /
// "CCW x,y" for each segment.
class TRecordingChainer : public TSegmentChainer {
 public:
  using TSegmentChainer::TSegmentChainer;
  std::vector<std::string> Chains;
  int PenDowns = 0;

 protected:
  void MoveTo(int32_t x, int32_t y) override { Chains.push_back("M " + P(x, y)); }
  void PenDown() override { ++PenDowns; }
  void LineTo(int32_t x, int32_t y) override { Chains.back() += " L " + P(x, y); }
  void ArcToCW(int32_t x, int32_t y, int32_t, int32_t) override { Chains.back() += " CW " + P(x, y); }
  void ArcToCCW(int32_t x, int32_t y, int32_t, int32_t) override { Chains.back() += " CCW " + P(x, y); }

 private:
  static std::string P(int32_t x, int32_t y) { return std::to_string(x) + "," + std::to_string(y); }
};

constexpr int32_t M = 1000000;

}  // namespace

TEST(SegmentChainer, EndsJoinWithinTheToleranceInBothAxes) {
  TRecordingChainer joined(0);
  joined.AddLine(0, 0, 2 * M, 0);
  joined.AddLine(2 * M + 50800, 50800, 3 * M, 0);
  joined.Process();
  ASSERT_EQ(joined.Chains.size(), 1u);
  EXPECT_EQ(joined.Chains[0], "M 0,0 L 2000000,0 L 3000000,0");

  TRecordingChainer apart(0);
  apart.AddLine(0, 0, 2 * M, 0);
  apart.AddLine(2 * M + 50801, 0, 3 * M, 0);
  apart.Process();
  EXPECT_EQ(apart.Chains.size(), 2u);
  // Processing empties the chainer.
  apart.Chains.clear();
  apart.Process();
  EXPECT_TRUE(apart.Chains.empty());
}

TEST(SegmentChainer, AnOutlineInAnyOrderBecomesOneChainFromItsLongestSide) {
  // A quadrilateral with sides of different lengths, added shuffled and
  // with two sides reversed.
  TRecordingChainer c(0);
  c.AddLine(3 * M, 2 * M, 0, 2 * M);      // top, 3 M
  c.AddLine(0, 0, 4 * M, 0);              // bottom, 4 M: the seed
  c.AddLine(0, 2 * M, 0, 0);              // left, 2 M
  c.AddLine(3 * M, 2 * M, 4 * M, 0);      // right, reversed
  c.AddLine(5 * M, 5 * M, 5 * M, 5 * M);  // of no length: never added
  EXPECT_EQ(c.Count(), 4u);
  c.Process();
  ASSERT_EQ(c.Chains.size(), 1u);
  EXPECT_EQ(c.Chains[0],
            "M 0,0 L 4000000,0 L 3000000,2000000 L 0,2000000 L 0,0");
  EXPECT_EQ(c.PenDowns, 1);
}

TEST(SegmentChainer, ChainsAreCutNearestFirstAndTurnedToTheNearEnd) {
  TRecordingChainer c(0);
  c.AddLine(10 * M, 0, 20 * M, 0);    // far
  c.AddLine(5 * M, 3 * M, 1 * M, 0);  // near, its end nearest (0, 0)
  c.Process();
  ASSERT_EQ(c.Chains.size(), 2u);
  EXPECT_EQ(c.Chains[0], "M 1000000,0 L 5000000,3000000");
  EXPECT_EQ(c.Chains[1], "M 10000000,0 L 20000000,0");
}

TEST(SegmentChainer, ArcsJoinReversedAndCutterSizedHolesAreDropped) {
  TRecordingChainer c(100000);
  // A lone arc of radius 140,000: dropped; one of 160,000 stays.
  c.AddArc(140000, 0, 0, 140000, 0, 0);
  c.AddArc(10 * M + 160000, 0, 10 * M, 160000, 10 * M, 0);
  // A line meeting the end of a counter-clockwise arc takes the arc
  // reversed (clockwise).
  c.AddLine(20 * M, 0, 22 * M, 0);
  c.AddArc(22 * M + M, 0, 22 * M, 0, 22 * M + M / 2, 0);
  c.Process();
  ASSERT_EQ(c.Chains.size(), 2u);
  EXPECT_EQ(c.Chains[0], "M 10000000,160000 CW 10160000,0");
  EXPECT_EQ(c.Chains[1], "M 20000000,0 L 22000000,0 CW 23000000,0");
}

TEST(SegmentChainer, ManyShuffledOutlinesChainBackIntoTheirRings) {
  // 100 squares broken into sides added in a scrambled order.
  TRecordingChainer c(0);
  std::vector<std::array<int32_t, 4>> sides;
  for (int i = 0; i < 100; ++i) {
    const int32_t x = (i % 10) * 3 * M, y = (i / 10) * 3 * M;
    sides.push_back({x, y, x + M, y});
    sides.push_back({x + M, y, x + M, y + 2 * M});
    sides.push_back({x, y + 2 * M, x + M, y + 2 * M});  // reversed
    sides.push_back({x, y + 2 * M, x, y});
  }
  for (std::size_t k = 0; k < sides.size(); ++k) {
    const auto& s = sides[(k * 37) % sides.size()];
    c.AddLine(s[0], s[1], s[2], s[3]);
  }
  c.Process();
  ASSERT_EQ(c.Chains.size(), 100u);
  for (const std::string& chain : c.Chains) {
    // Four segments that come back to the start.
    EXPECT_EQ(std::count(chain.begin(), chain.end(), 'L'), 4);
    const std::string start = chain.substr(2, chain.find(' ', 2) - 2);
    EXPECT_EQ(chain.substr(chain.size() - start.size()), start);
  }
}

TEST(SegmentChainer, ArcCentresAreAdjustedOnlyBeyondTheSlack) {
  // Ends at (-1000000, 0) and (1000000, 0).
  int32_t cx = 0, cy = 1000;  // end radii equal: untouched
  AdjustArcCentre(-M, 0, M, 0, cx, cy);
  EXPECT_EQ(cx, 0);
  EXPECT_EQ(cy, 1000);
  // Radii differing by 1,000: untouched; by 1,001: onto the bisector.
  cx = 500;
  cy = 500000;
  const double r1 = std::hypot(M + 500.0, 500000.0), r2 = std::hypot(M - 500.0, 500000.0);
  ASSERT_LE(std::fabs(r1 - r2), 1000.0);
  AdjustArcCentre(-M, 0, M, 0, cx, cy);
  EXPECT_EQ(cx, 500);
  cx = 1120;
  cy = 500000;
  AdjustArcCentre(-M, 0, M, 0, cx, cy);
  EXPECT_EQ(cx, 0);
  EXPECT_GT(cy, 0);  // the given centre's side
  // A centre on the line through the ends: both candidates equally near.
  cx = 3 * M;
  cy = 0;
  try {
    AdjustArcCentre(-M, 0, M, 0, cx, cy);
    FAIL();
  } catch (const EArcAdjust& e) {
    EXPECT_STREQ(e.what(), "Arc adjust error, original center was on line with endpoints.");
  }
}

namespace {

class TRecordingLineChainer : public TLineChainer {
 public:
  using TLineChainer::TLineChainer;
  std::vector<std::string> Chains;
  int Ends = 0;

 protected:
  void MoveTo(int32_t x, int32_t y) override { Chains.push_back("M " + P(x, y)); }
  void LineTo(int32_t x, int32_t y) override { Chains.back() += " L " + P(x, y); }
  void EndChain() override { ++Ends; }

 private:
  static std::string P(int32_t x, int32_t y) { return std::to_string(x) + "," + std::to_string(y); }
};

}  // namespace

TEST(LineChainer, HatchLinesOneSpacingApartBecomeAZigzag) {
  const int32_t s = 500000;
  TRecordingLineChainer c(s);
  c.AddLine(0, 0, 10 * M, 0);
  c.AddLine(0, s, 10 * M, s);
  c.AddLine(0, 2 * s, 10 * M, 2 * s);
  c.AddArc(0, 0, 1, 1, 0, 1);  // arcs are not hatch lines
  c.Process();
  ASSERT_EQ(c.Chains.size(), 1u);
  // Aligned ends: one square connecting move between passes.
  EXPECT_EQ(c.Chains[0], "M 0,0 L 10000000,0 L 10000000,500000 L 0,500000 L 0,1000000 "
                         "L 10000000,1000000");
  EXPECT_EQ(c.Ends, 1);
}

TEST(LineChainer, ALoneLineIsNotCutButEndsItsChain) {
  TRecordingLineChainer c(500000);
  c.AddLine(0, 0, 10 * M, 0);
  c.AddLine(0, 5 * M, 10 * M, 5 * M);  // ten spacings away
  c.Process();
  EXPECT_TRUE(c.Chains.empty());
  EXPECT_EQ(c.Ends, 2);
}

TEST(LineChainer, AShorterPassBehindTheTailIsReachedAlongTheTail) {
  // The second pass starts behind the first pass's end: the link runs back
  // along the first pass to the foot of the second's start, then across.
  const int32_t s = 500000;
  TRecordingLineChainer c(s);
  c.AddLine(0, 0, 10 * M, 0);
  c.AddLine(2 * M, s, 8 * M, s);
  c.Process();
  ASSERT_EQ(c.Chains.size(), 1u);
  EXPECT_EQ(c.Chains[0], "M 0,0 L 10000000,0 L 8000000,0 L 8000000,500000 L 2000000,500000");
}
