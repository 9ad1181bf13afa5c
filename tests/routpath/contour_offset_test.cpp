// The contour offset engine: single corners against hand-computed points,
// and whole contours (squares, circles, slots, an outline with concave
// corners and arcs) offset inside and outside.
#include "routpath/contour_offset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "foundation/geometry.h"
#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"

namespace {

TContourElement El(uint8_t kind, double x1, double y1, double x2, double y2, double cx = 0,
                   double cy = 0) {
  TContourElement e;
  e.Kind = kind;
  e.X1 = x1;
  e.Y1 = y1;
  e.X2 = x2;
  e.Y2 = y2;
  e.CX = cx;
  e.CY = cy;
  return e;
}

struct TResult {
  TContourElement E[4];
  int N = 0;
};

TResult Corner(const TContourElement& a, const TContourElement& b, double r, bool right = true) {
  TResult res;
  const TContourElement in[2] = {a, b};
  res.N = OffsetContour(res.E, in, r, right, 25000.0);
  return res;
}

// The ring an offset plays back, arcs kept with their centres.
struct TStep {
  char Op;  // M, L, C (clockwise arc), A (counter-clockwise arc)
  int32_t X, Y, CX, CY, Tag;
};

class TRecordingContour : public TContourList {
 public:
  std::vector<TStep> Steps;

 protected:
  void MoveTo(int32_t x, int32_t y) override { Steps.push_back({'M', x, y, 0, 0, 0}); }
  void LineTo(int32_t x, int32_t y, int32_t tag) override { Steps.push_back({'L', x, y, 0, 0, tag}); }
  void ArcToCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy) override {
    Steps.push_back({'C', x, y, cx, cy, tag});
  }
  void ArcToCCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy) override {
    Steps.push_back({'A', x, y, cx, cy, tag});
  }
};

// Twice the signed area of the played-back ring.
double RingArea2(const std::vector<TStep>& steps) {
  TContourList ring;
  ring.Start(steps[0].X, steps[0].Y);
  for (std::size_t i = 1; i < steps.size(); ++i) {
    const TStep& s = steps[i];
    if (s.Op == 'C')
      ring.AppendArcCW(s.X, s.Y, 0, s.CX, s.CY);
    else if (s.Op == 'A')
      ring.AppendArcCCW(s.X, s.Y, 0, s.CX, s.CY);
    else
      ring.AppendLine(s.X, s.Y, 0);
  }
  ring.Close();
  return ring.SignedArea2();
}

constexpr int32_t M = 1000000;

class ContourOffsetTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ArcAdjustDisabled = false;
  }
  void TearDown() override {
    ArcAdjustDisabled = false;
    TKorvexTest::TearDown();
  }
};

}  // namespace

TEST_F(ContourOffsetTest, LineCornersAreSharpUpToAQuarterTurnAndRoundedBeyond) {
  const double r = 1000;
  const TContourElement in = El(ckLine, -M, 0, 0, 0);
  // Straight on: the offset point lies r to the right.
  TResult straight = Corner(in, El(ckLine, 0, 0, M, 0), r);
  ASSERT_EQ(straight.N, 2);
  EXPECT_NEAR(straight.E[0].X2, 0, 1e-6);
  EXPECT_NEAR(straight.E[0].Y2, -r, 1e-6);
  // Left by exactly 90: still sharp, the extensions meet at (r, -r).
  TResult left90 = Corner(in, El(ckLine, 0, 0, 0, M), r);
  ASSERT_EQ(left90.N, 2);
  EXPECT_NEAR(left90.E[0].X2, r, 1e-6);
  EXPECT_NEAR(left90.E[1].Y1, -r, 1e-6);
  // Left by 135: a quarter arc and a 45-degree arc about the corner.
  TResult left135 = Corner(in, El(ckLine, 0, 0, -M, M), r);
  ASSERT_EQ(left135.N, 4);
  EXPECT_EQ(left135.E[1].Kind, ckArcCCW);
  EXPECT_NEAR(left135.E[1].X2, r, 1e-6);
  EXPECT_NEAR(left135.E[1].Y2, 0, 1e-6);
  EXPECT_NEAR(left135.E[2].X2, r * std::sqrt(0.5), 1e-6);
  EXPECT_NEAR(left135.E[2].Y2, r * std::sqrt(0.5), 1e-6);
  EXPECT_NEAR(left135.E[3].X1, left135.E[2].X2, 1e-9);
  // Reversing: a half circle of two quarter arcs.
  TResult back = Corner(in, El(ckLine, 0, 0, -M, 0), r);
  ASSERT_EQ(back.N, 4);
  EXPECT_NEAR(back.E[2].X2, 0, 1e-6);
  EXPECT_NEAR(back.E[2].Y2, r, 1e-6);
  // Right by 90: element 1 is shortened by r.
  TResult right90 = Corner(in, El(ckLine, 0, 0, 0, -M), r);
  ASSERT_EQ(right90.N, 2);
  EXPECT_NEAR(right90.E[0].X2, -r, 1e-6);
  EXPECT_NEAR(right90.E[0].Y2, -r, 1e-6);
  // The left side mirrors the right about the path.
  TResult mirrored = Corner(in, El(ckLine, 0, 0, 0, M), r, false);
  ASSERT_EQ(mirrored.N, 2);
  EXPECT_NEAR(mirrored.E[0].X2, -r, 1e-6);
  EXPECT_NEAR(mirrored.E[0].Y2, r, 1e-6);
}

TEST_F(ContourOffsetTest, PathEndsAndTheDisabledEngine) {
  const double r = 500;
  TResult start = Corner(El(ckLine, 0, 0, 0, 0), El(ckLine, 0, 0, 0, M), r);
  ASSERT_EQ(start.N, 2);
  EXPECT_NEAR(start.E[0].X2, r, 1e-6);  // right of +Y is +X
  EXPECT_NEAR(start.E[1].X1, r, 1e-6);
  EXPECT_EQ(start.E[1].Source, 1);
  TResult end = Corner(El(ckLine, 0, 0, M, 0), El(ckLine, M, 0, M, 0), r);
  ASSERT_EQ(end.N, 2);
  EXPECT_NEAR(end.E[0].Y2, -r, 1e-6);
  EXPECT_NEAR(end.E[1].X2, M, 1e-6);
  EXPECT_NEAR(end.E[1].Y2, 0, 1e-6);
  EXPECT_EQ(end.E[1].Source, 1);  // the lead-out carries element 2's fields
  ArcAdjustDisabled = true;
  TResult off = Corner(El(ckLine, -M, 0, 0, 0), El(ckLine, 0, 0, 0, M), r);
  ASSERT_EQ(off.N, 2);
  EXPECT_EQ(off.E[0].X2, 0);
  EXPECT_EQ(off.E[1].Y2, M);
}

TEST_F(ContourOffsetTest, ArcCornersMeetOnTheOffsetCircles) {
  const double r = 10000;
  // A counter-clockwise arc of radius 100,000 about (0, 100000) arriving at
  // the origin heading +X, then a line turning right (down): sharp, where
  // the line's offset x = -r meets the arc's offset circle of radius R + r
  // (the cutter on the right runs outside the arc).
  TResult arcLine = Corner(El(ckArcCCW, -100000, 100000, 0, 0, 0, 100000),
                           El(ckLine, 0, 0, 0, -M), r);
  ASSERT_EQ(arcLine.N, 2);
  EXPECT_NEAR(arcLine.E[0].X2, -r, 1e-3);
  EXPECT_NEAR(std::hypot(arcLine.E[0].X2, arcLine.E[0].Y2 - 100000), 100000 + r, 1e-3);
  // The same arc followed by a line turning left: rounded by a corner arc.
  TResult rounded = Corner(El(ckArcCCW, -100000, 100000, 0, 0, 0, 100000),
                           El(ckLine, 0, 0, 0, M), r);
  EXPECT_EQ(rounded.N, 3);
  // Line into a clockwise arc (the cutter inside it): the meeting lies on
  // the offset line and the circle of radius R - r.
  TResult lineArc = Corner(El(ckLine, -M, 0, 0, 0), El(ckArcCW, 0, 0, 100000, -100000, 0, -100000), r);
  ASSERT_EQ(lineArc.N, 2);
  EXPECT_NEAR(lineArc.E[0].Y2, -r, 1e-3);
  EXPECT_NEAR(std::hypot(lineArc.E[0].X2, lineArc.E[0].Y2 + 100000), 100000 - r, 1e-3);
  // Two counter-clockwise arcs meeting at a right turn: both offset circles.
  TResult arcs = Corner(El(ckArcCCW, -211803, 50000, 0, 0, -100000, 50000),
                        El(ckArcCCW, 0, 0, 211803, 50000, 100000, 50000), r);
  ASSERT_EQ(arcs.N, 2);
  EXPECT_NEAR(arcs.E[0].X2, 0, 1.0);
  EXPECT_NEAR(std::hypot(arcs.E[0].X2 + 100000, arcs.E[0].Y2 - 50000), 111803 + r, 1.0);
}

TEST_F(ContourOffsetTest, SquareOffsetsToASharpSquareOutsideAndInside) {
  // Counter-clockwise square: the right is outside.
  TRecordingContour sq;
  sq.Start(0, 0);
  sq.AppendLine(M, 0, 1);
  sq.AppendLine(M, M, 2);
  sq.AppendLine(0, M, 3);
  sq.AppendLine(0, 0, 4);
  sq.Close();
  EXPECT_FALSE(sq.IsClockwise());
  EXPECT_EQ(sq.OutsideSide(), 1);
  sq.Offset(1, 100000, 25000.0);
  ASSERT_FALSE(sq.Steps.empty());
  EXPECT_EQ(sq.Steps[0].Op, 'M');
  EXPECT_EQ(sq.Steps[0].X, M + 100000);
  EXPECT_EQ(sq.Steps[0].Y, -100000);
  // The ring closes on its start and is the 1.2 M square.
  EXPECT_EQ(sq.Steps.back().X, sq.Steps[0].X);
  EXPECT_EQ(sq.Steps.back().Y, sq.Steps[0].Y);
  EXPECT_EQ(sq.Steps.size(), 5u);
  EXPECT_DOUBLE_EQ(RingArea2(sq.Steps), 2.0 * 1.2e6 * 1.2e6);
  // Every side keeps its source tag.
  std::vector<int32_t> tags;
  for (std::size_t i = 1; i < sq.Steps.size(); ++i) tags.push_back(sq.Steps[i].Tag);
  EXPECT_EQ(tags, (std::vector<int32_t>{2, 3, 4, 1}));
  // Inside: the left.
  sq.Steps.clear();
  sq.Offset(0, 100000, 25000.0);
  EXPECT_DOUBLE_EQ(RingArea2(sq.Steps), 2.0 * 0.8e6 * 0.8e6);
}

TEST_F(ContourOffsetTest, CirclesAndSlotsGrowByTheRadius) {
  const int32_t R = 500000, r = 50000;
  // A circle of two counter-clockwise half arcs.
  TRecordingContour circle;
  circle.Start(R, 0);
  circle.AppendArcCCW(-R, 0, 1, 0, 0);
  circle.AppendArcCCW(R, 0, 1, 0, 0);
  circle.Close();
  circle.Offset(circle.OutsideSide(), r, 25000.0);
  for (const TStep& s : circle.Steps) EXPECT_NEAR(std::hypot(s.X, s.Y), R + r, 1.0);
  EXPECT_NEAR(RingArea2(circle.Steps) / 2.0, M_PI * (R + r) * double(R + r), 1e3);
  // A slot: two lines and two half arcs, clockwise this time.
  TRecordingContour slot;
  slot.Start(0, R);
  slot.AppendLine(2 * M, R, 1);
  slot.AppendArcCW(2 * M, -R, 2, 2 * M, 0);
  slot.AppendLine(0, -R, 3);
  slot.AppendArcCW(0, R, 4, 0, 0);
  slot.Close();
  EXPECT_TRUE(slot.IsClockwise());
  EXPECT_EQ(slot.OutsideSide(), 0);
  slot.Offset(slot.OutsideSide(), r, 25000.0);
  const double grown = 2.0 * M * 2.0 * (R + r) + M_PI * double(R + r) * (R + r);
  EXPECT_NEAR(-RingArea2(slot.Steps) / 2.0, grown, grown * 1e-6);
  slot.Steps.clear();
  slot.Offset(1, r, 25000.0);  // inside
  const double shrunk = 2.0 * M * 2.0 * (R - r) + M_PI * double(R - r) * (R - r);
  EXPECT_NEAR(-RingArea2(slot.Steps) / 2.0, shrunk, shrunk * 1e-6);
}

namespace {

// A board outline with two rounded corners, a rectangular notch (two
// concave corners) and a concave arc bite, counter-clockwise.
void BoardOutline(TContourList& c, bool clockwise) {
  struct TV {
    char Op;
    int32_t X, Y, CX, CY;
  };
  const std::vector<TV> ccw = {
      {'L', 4 * M, 0, 0, 0},          {'A', 5 * M, M, 4 * M, M},        // rounded corner
      {'L', 5 * M, 3 * M, 0, 0},      {'L', 3 * M, 3 * M, 0, 0},
      {'L', 3 * M, 2 * M, 0, 0},      {'L', 2 * M, 2 * M, 0, 0},        // the notch
      {'L', 2 * M, 3 * M, 0, 0},      {'L', M, 3 * M, 0, 0},
      {'A', 0, 2 * M, M, 2 * M},      {'L', 0, 1500000, 0, 0},          // rounded corner
      {'C', 0, 500000, 0, M},         {'L', 0, 0, 0, 0}};               // the bite
  std::vector<TV> path = ccw;
  TIntPoint start{0, 0};
  if (clockwise) {
    // The same outline walked the other way.
    std::vector<TV> rev;
    std::vector<TIntPoint> starts{start};
    for (const TV& v : ccw) starts.push_back({v.X, v.Y});
    for (int i = int(ccw.size()) - 1; i >= 0; --i) {
      TV v = ccw[i];
      v.X = starts[i].X;
      v.Y = starts[i].Y;
      if (v.Op == 'A')
        v.Op = 'C';
      else if (v.Op == 'C')
        v.Op = 'A';
      rev.push_back(v);
    }
    path = rev;
  }
  c.Start(start.X, start.Y);
  int32_t tag = 1;
  for (const TV& v : path) {
    if (v.Op == 'A')
      c.AppendArcCCW(v.X, v.Y, tag++, v.CX, v.CY);
    else if (v.Op == 'C')
      c.AppendArcCW(v.X, v.Y, tag++, v.CX, v.CY);
    else
      c.AppendLine(v.X, v.Y, tag++);
  }
  c.Close();
}

// Distance from a point to the closed outline (its elements without the two
// repeated by Close).
double DistanceToOutline(const TContourList& c, double x, double y) {
  const auto& n = c.Nodes();
  double best = 1e300;
  for (std::size_t i = 1; i + 2 < n.size(); ++i) {
    const double ax = n[i - 1].X, ay = n[i - 1].Y, bx = n[i].X, by = n[i].Y;
    double d;
    if (n[i].Kind == 1) {
      const double dx = bx - ax, dy = by - ay;
      double t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy);
      t = std::clamp(t, 0.0, 1.0);
      d = std::hypot(x - (ax + t * dx), y - (ay + t * dy));
    } else {
      const double cx = n[i].CX, cy = n[i].CY;
      const double radius = std::hypot(ax - cx, ay - cy);
      // Sweep counter-clockwise from the arc's low end to its high end.
      double s = std::atan2(ay - cy, ax - cx), e = std::atan2(by - cy, bx - cx);
      if (n[i].Kind == 2) std::swap(s, e);
      double sweep = e - s, at = std::atan2(y - cy, x - cx) - s;
      while (sweep <= 0) sweep += 2 * M_PI;
      while (at < 0) at += 2 * M_PI;
      d = at <= sweep ? std::fabs(std::hypot(x - cx, y - cy) - radius)
                      : std::min(std::hypot(x - ax, y - ay), std::hypot(x - bx, y - by));
    }
    best = std::min(best, d);
  }
  return best;
}

}  // namespace

TEST_F(ContourOffsetTest, BoardOutlineInEitherOrientationIsRoutedOutsideByItsArea) {
  const int32_t r = 62500;  // a 1/8 in cutter on a 1 in = 1,000,000 grid
  for (bool clockwise : {false, true}) {
    SCOPED_TRACE(clockwise ? "clockwise" : "counter-clockwise");
    TRecordingContour board;
    BoardOutline(board, clockwise);
    EXPECT_EQ(board.IsClockwise(), clockwise);
    const double area = std::fabs(board.SignedArea2()) / 2.0;
    board.Offset(board.OutsideSide(), r, 25000.0);
    const double outside = std::fabs(RingArea2(board.Steps)) / 2.0;
    EXPECT_GT(outside, area);
    board.Steps.clear();
    board.Offset(board.OutsideSide() == 1 ? 0 : 1, r, 25000.0);
    const double inside = std::fabs(RingArea2(board.Steps)) / 2.0;
    EXPECT_LT(inside, area);
    // Every point of both rings keeps the cutter radius from the outline
    // (to within rounding), and none lies farther than a mitre's reach.
    for (bool out : {true, false}) {
      board.Steps.clear();
      board.Offset(out ? board.OutsideSide() : 1 - board.OutsideSide(), r, 25000.0);
      for (const TStep& s : board.Steps) {
        const double d = DistanceToOutline(board, s.X, s.Y);
        EXPECT_GE(d, r - 2.0) << s.X << "," << s.Y;
        EXPECT_LE(d, r * std::sqrt(2.0) + 2.0) << s.X << "," << s.Y;
      }
    }
  }
}

TEST_F(ContourOffsetTest, OrientationMessagesForOpenAndEmptyContours) {
  TContourList open;
  open.Start(0, 0);
  open.AppendLine(M, 0, 1);
  EXPECT_TRUE(open.IsClockwise());
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Text, "No start or not closed on IsCCW call!");
  // There and back again encloses nothing.
  TContourList flat;
  flat.Start(0, 0);
  flat.AppendLine(M, 0, 1);
  flat.AppendLine(2 * M, 0, 2);
  flat.AppendLine(0, 0, 3);
  flat.Close();
  EXPECT_TRUE(flat.IsClockwise());
  EXPECT_EQ(ShownMessageBoxes().back().Text, "Figure eight detected in IsCCW call!");
}
