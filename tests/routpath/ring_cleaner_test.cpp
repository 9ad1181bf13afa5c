// Overlapping cut removal on offset rings: two parts routed along one
// channel, the longer cut covering the shorter, arcs absorbed only by an
// arc of the other direction on the same circle.
#include "routpath/ring_cleaner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int32_t M = 1000000;

struct TPlayed {
  char Op;  // M move-to, m indexed move, L line, C / A arcs
  int32_t X, Y, Tag;
};

class TRecordingCleaner : public TRingCleaner {
 public:
  std::vector<TPlayed> Played;
  // The cutting elements of a tag.
  int Cuts(int32_t tag) const {
    int n = 0;
    for (const TPlayed& p : Played)
      if (p.Tag == tag && p.Op != 'm' && p.Op != 'M') ++n;
    return n;
  }
  const TPlayed* Cut(int32_t tag) const {
    for (const TPlayed& p : Played)
      if (p.Tag == tag && p.Op != 'm' && p.Op != 'M') return &p;
    return nullptr;
  }

 protected:
  void MoveTo(int32_t x, int32_t y) override { Played.push_back({'M', x, y, 0}); }
  void MoveToIndexed(int32_t x, int32_t y, int32_t tag) override { Played.push_back({'m', x, y, tag}); }
  void LineTo(int32_t x, int32_t y, int32_t tag) override { Played.push_back({'L', x, y, tag}); }
  void ArcToCW(int32_t x, int32_t y, int32_t tag, int32_t, int32_t) override {
    Played.push_back({'C', x, y, tag});
  }
  void ArcToCCW(int32_t x, int32_t y, int32_t tag, int32_t, int32_t) override {
    Played.push_back({'A', x, y, tag});
  }
};

// A ring of lines through the points, closing on the first; tags 1, 2, ...
std::vector<TRingSegment> LineRing(const std::vector<std::pair<int32_t, int32_t>>& points) {
  std::vector<TRingSegment> ring;
  const std::size_t n = points.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto [x0, y0] = points[i];
    const auto [x1, y1] = points[(i + 1) % n];
    TRingSegment s;
    s.Kind = 1;
    s.X = x1;
    s.Y = y1;
    s.Tag = int32_t(i + 1);
    s.Length = std::hypot(double(x1) - x0, double(y1) - y0);
    ring.push_back(s);
  }
  return ring;
}

}  // namespace

TEST(RingCleaner, TheLongerOfTwoCutsAlongAChannelCoversBoth) {
  // Out along y = 0 from (2M, 0) to (10.5M, 0), over, and back along
  // y = 50,000 (within 0.004 in) from (10M) to (0): the way back is longer
  // and takes the span of both; the way out becomes a move.
  TRecordingCleaner c;
  c.Run(LineRing({{2 * M, 0}, {10 * M + M / 2, 0}, {10 * M, 50000}, {0, 50000}, {0, 3 * M},
                  {2 * M, 3 * M}}));
  EXPECT_EQ(c.Cuts(1), 0);
  ASSERT_NE(c.Cut(3), nullptr);
  EXPECT_EQ(c.Cut(3)->X, 0);
  // The longer cut now starts where the shorter one ended.
  std::size_t at = 0;
  while (c.Played[at].Tag != 3 || c.Played[at].Op != 'L') ++at;
  ASSERT_GT(at, 0u);
  EXPECT_EQ(c.Played[at - 1].X, 10 * M + M / 2);
  EXPECT_EQ(c.Played[at - 1].Y, 0);
  // The other sides are cut once each.
  for (int32_t tag : {4, 5, 6}) EXPECT_EQ(c.Cuts(tag), 1) << tag;
}

TEST(RingCleaner, AnOverlapWithinTheLongerCutMovesNoEnd) {
  TRecordingCleaner c;
  c.Run(LineRing({{2 * M, 0}, {8 * M, 0}, {8 * M, 50000}, {0, 50000}, {0, 3 * M}, {2 * M, 3 * M}}));
  EXPECT_EQ(c.Cuts(1), 0);
  std::size_t at = 0;
  while (c.Played[at].Tag != 3 || c.Played[at].Op != 'L') ++at;
  // Tag 3 runs from its own start (8M, 50000) unchanged.
  EXPECT_EQ(c.Played[at - 1].X, 8 * M);
  EXPECT_EQ(c.Played[at - 1].Y, 50000);
  // The short link across the channel lies within the tolerance of the
  // long cut too: a move.
  EXPECT_EQ(c.Cuts(2), 0);
  for (int32_t tag : {4, 5, 6}) EXPECT_EQ(c.Cuts(tag), 1) << tag;
}

TEST(RingCleaner, ArcsAreAbsorbedOnlyByTheOtherDirection) {
  // A clockwise half circle about (0, 0) from (-R, 0) over the top to
  // (R, 0), a link out, a counter-clockwise quarter on the same circle back
  // inside the half's range, and a link home.
  const int32_t R = 5 * M;
  auto arc = [](int32_t x, int32_t y, uint8_t kind, int32_t tag, double length) {
    TRingSegment s;
    s.X = x;
    s.Y = y;
    s.Kind = kind;
    s.Tag = tag;
    s.Length = length;
    return s;
  };
  auto line = [](int32_t x, int32_t y, int32_t tag, double length) {
    TRingSegment s;
    s.X = x;
    s.Y = y;
    s.Kind = 1;
    s.Tag = tag;
    s.Length = length;
    return s;
  };
  const int32_t d = static_cast<int32_t>(std::lround(R * std::sqrt(0.5)));
  for (uint8_t quarterKind : {uint8_t{3}, uint8_t{2}}) {
    std::vector<TRingSegment> ring = {
        arc(R, 0, 2, 1, M_PI * R),                          // clockwise half, longest
        line(d, d, 2, 100.0),                               // to 45 degrees
        arc(-d, d, quarterKind, 3, M_PI * R / 2.0),         // the quarter (CCW: back over the top)
        line(-R, 0, 4, 100.0),                              // home
    };
    if (quarterKind == 2) {
      // The same quarter in the half's direction runs from 135 to 45.
      ring[1] = line(-d, d, 2, 100.0);
      ring[2] = arc(d, d, 2, 3, M_PI * R / 2.0);
    }
    TRecordingCleaner c;
    c.Run(ring);
    if (quarterKind == 3)
      EXPECT_EQ(c.Cuts(3), 0) << "the opposite quarter becomes a move";
    else
      EXPECT_EQ(c.Cuts(3), 1) << "an arc in the same direction stays";
    EXPECT_EQ(c.Cuts(1), 1);
  }
}
