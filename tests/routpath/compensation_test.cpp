// Cutter compensation: the corner solver on hand-computed corners, its gouge
// tests, and the compensator that hangs the offset path of a rout layer on
// its entities.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/drawing_base.h"
#include "model/rout_entities.h"
#include "model/rout_shadow.h"
#include "platform/headless/headless_dialogs.h"
#include "routpath/comp_corner.h"
#include "routpath/cutter_compensator.h"
#include "model/tool_tables.h"

namespace {

TCompMove Move(uint8_t type, TIntPoint start, TIntPoint end, TIntPoint centre = {},
               uint8_t side = 2) {
  TCompMove m;
  m.Type = type;
  m.Side = side;
  m.Cutting = type != cmJog;
  m.Start = start;
  m.End = end;
  m.Centre = centre;
  return m;
}

struct TCorner {
  TCompMoveList Out{};
  int Count = 0;
};

TCorner Solve(const TCompMove& a, const TCompMove& b, int32_t r, bool right = true) {
  TCorner c;
  c.Out[0].Start = a.Start;
  const TCompMove in[2] = {a, b};
  c.Count = CompensateCorner(c.Out, in, r, right, 25400.0);
  return c;
}

double Len(const TIntPoint& p, const TIntPoint& q) {
  return std::hypot(double(p.X) - q.X, double(p.Y) - q.Y);
}

class CompensationTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    CompensationViolations = 0;
  }
};

}  // namespace

TEST_F(CompensationTest, LineCornersMitreOutsideAndMeetInside) {
  const int32_t r = 1000;
  // Left turn by 90 degrees, cutter on the right: the outside mitre.
  TCorner left = Solve(Move(cmLine, {-100000, 0}, {0, 0}), Move(cmLine, {0, 0}, {0, 100000}), r);
  ASSERT_EQ(left.Count, 2);
  EXPECT_EQ(left.Out[0].End, (TIntPoint{1000, -1000}));
  EXPECT_EQ(left.Out[1].Start, (TIntPoint{1000, -1000}));
  EXPECT_EQ(left.Out[0].Start, (TIntPoint{-100000, 0}));  // the preset start is kept
  // Right turn by 90 degrees: the inside corner shortens both.
  TCorner right = Solve(Move(cmLine, {-100000, 0}, {0, 0}), Move(cmLine, {0, 0}, {0, -100000}), r);
  ASSERT_EQ(right.Count, 2);
  EXPECT_EQ(right.Out[0].End, (TIntPoint{-1000, -1000}));
  // Straight on and nearly straight on: the offset point lies r to the right.
  TCorner straight = Solve(Move(cmLine, {-100000, 0}, {0, 0}), Move(cmLine, {0, 0}, {100000, 0}), r);
  EXPECT_EQ(straight.Count, 2);
  EXPECT_EQ(straight.Out[0].End, (TIntPoint{0, -1000}));
  TCorner nearly = Solve(Move(cmLine, {-100000, 0}, {0, 0}), Move(cmLine, {0, 0}, {100000, 50}), r);
  EXPECT_EQ(nearly.Count, 2);
  EXPECT_EQ(nearly.Out[0].End, (TIntPoint{0, -1000}));
  EXPECT_EQ(CompensationViolations, 0);
}

TEST_F(CompensationTest, SharpLeftTurnGetsTwoArcsAboutTheCorner) {
  // Left turn by 120 degrees: a quarter arc and a 30-degree arc of radius r.
  const int32_t r = 10000;
  const TIntPoint far{static_cast<int32_t>(std::lround(100000 * std::cos(120 * M_PI / 180))),
                      static_cast<int32_t>(std::lround(100000 * std::sin(120 * M_PI / 180)))};
  TCorner c = Solve(Move(cmLine, {-100000, 0}, {0, 0}), Move(cmLine, {0, 0}, far), r);
  ASSERT_EQ(c.Count, 4);
  EXPECT_EQ(c.Out[0].End, (TIntPoint{0, -r}));
  EXPECT_EQ(c.Out[1].Type, cmArcCCW);
  EXPECT_EQ(c.Out[1].End, (TIntPoint{r, 0}));
  EXPECT_EQ(c.Out[2].Type, cmArcCCW);
  EXPECT_EQ(c.Out[2].End, (TIntPoint{8660, 5000}));
  EXPECT_EQ(c.Out[3].Start, c.Out[2].End);
  EXPECT_EQ(c.Out[1].Centre, (TIntPoint{0, 0}));
}

TEST_F(CompensationTest, LeftCompensationMirrorsRightOnTheReversedPair) {
  const TCompMove a = Move(cmLine, {-50000, 20000}, {0, 0}, {}, 1);
  const TCompMove b = Move(cmArcCW, {0, 0}, {60000, 0}, {30000, -10000}, 1);
  TCorner left = Solve(a, b, 5000, false);
  TCompMove ra = b, rb = a;
  std::swap(ra.Start, ra.End);
  std::swap(rb.Start, rb.End);
  ra.Type = cmArcCCW;
  TCorner right = Solve(ra, rb, 5000, true);
  ASSERT_EQ(left.Count, right.Count);
  // The corner point is the same; the elements come in the other order.
  EXPECT_EQ(left.Out[0].End, right.Out[right.Count - 1].Start);
  EXPECT_EQ(left.Out[left.Count - 1].Start, right.Out[0].End);
}

TEST_F(CompensationTest, ArcAndLineCornersMeetOnTheOffsetCircle) {
  const int32_t r = 10000;
  // A clockwise quarter arc of radius 100,000 about (0, -100000) ending at
  // the origin heading -Y... then a line on along -Y: tangent, the offset
  // meets at r to the right of the corner.
  TCorner tangent = Solve(Move(cmArcCW, {-100000, -100000}, {0, 0}, {-100000, 0}),
                          Move(cmLine, {0, 0}, {0, -100000}), r);
  ASSERT_EQ(tangent.Count, 2);
  EXPECT_EQ(tangent.Out[0].End, (TIntPoint{-r, 0}));
  // Counter-clockwise arc into a right turn: the inside meeting lies on the
  // circle of radius R + r and on the line offset by r.
  const TCompMove arc = Move(cmArcCCW, {100000, -100000}, {0, 0}, {0, -100000});
  const TCompMove down = Move(cmLine, {0, 0}, {0, -200000});
  // The arc arrives at the origin heading -X; the line leaves heading -Y: a
  // left turn of 90 degrees... the cutter on the right is outside.
  TCorner outside = Solve(arc, down, r);
  EXPECT_EQ(outside.Count, 3);
  EXPECT_EQ(outside.Out[0].End, (TIntPoint{0, r}));
  EXPECT_EQ(outside.Out[2].Start, (TIntPoint{-r, 0}));
  // The same arc with the line heading +Y turns right: inside.
  TCorner inside = Solve(arc, Move(cmLine, {0, 0}, {0, 200000}), r);
  ASSERT_EQ(inside.Count, 2);
  const TIntPoint p = inside.Out[0].End;
  EXPECT_NEAR(p.X, r, 1);  // on the offset line x = r
  EXPECT_NEAR(Len(p, {0, -100000}), 100000 + r, 1.5);
  EXPECT_GT(p.Y, 0);
  // Line into an arc, the reverse arrangement.
  TCorner lineArc = Solve(Move(cmLine, {0, -200000}, {0, 0}),
                          Move(cmArcCW, {0, 0}, {100000, -100000}, {0, -100000}), r);
  ASSERT_EQ(lineArc.Count, 2);
  const TIntPoint q = lineArc.Out[0].End;
  EXPECT_NEAR(q.X, r, 1);
  EXPECT_NEAR(Len(q, {0, -100000}), 100000 - r, 1.5);
  EXPECT_EQ(CompensationViolations, 0);
}

TEST_F(CompensationTest, ArcToArcCornersMeetWhereTheOffsetCirclesCross) {
  const int32_t r = 10000;
  // Two counter-clockwise arcs of radius 100,000 with centres (0, 100000)
  // and (0, -100000)... the first arrives at the origin heading +X, the
  // second is clockwise below: an S bend through the origin (tangent).
  TCorner s = Solve(Move(cmArcCCW, {-100000, 100000}, {0, 0}, {0, 100000}),
                    Move(cmArcCW, {0, 0}, {100000, -100000}, {0, -100000}), r);
  ASSERT_EQ(s.Count, 2);
  EXPECT_EQ(s.Out[0].End, (TIntPoint{0, -r}));
  // Two counter-clockwise arcs meeting at a right turn, the cutter outside
  // both: the point lies on both offset circles (radius R + r), at
  // (0, 50000 - sqrt(121803^2 - 100000^2)).
  const TIntPoint c1{-100000, 50000}, c2{100000, 50000};
  const TCompMove a = Move(cmArcCCW, {-211803, 50000}, {0, 0}, c1);
  const TCompMove b = Move(cmArcCCW, {0, 0}, {211803, 50000}, c2);
  TCorner in = Solve(a, b, r);
  ASSERT_EQ(in.Count, 2);
  EXPECT_EQ(in.Out[0].End.X, 0);
  EXPECT_NEAR(in.Out[0].End.Y, 50000 - std::sqrt(121803.4 * 121803.4 - 1e10), 2);
}

TEST_F(CompensationTest, GougesAreFlaggedWithAPointerAndCounted) {
  // A line running tangent into a clockwise arc of radius 500,000 (the
  // cutter on the right is inside it) with a cutter of radius 1,000,000: the
  // offset start crosses the centre.
  const TCompMove line = Move(cmLine, {0, -10000000}, {0, 0});
  const TCompMove arc = Move(cmArcCW, {0, 0}, {1000000, 0}, {500000, 0});
  TCorner c = Solve(line, arc, 1000000);
  EXPECT_EQ(CompensationViolations, 1);
  ASSERT_EQ(c.Count, 3);
  EXPECT_EQ(c.Out[1].Kind, 0);
  EXPECT_EQ(c.Out[1].Start, (TIntPoint{500000, 0}));
  EXPECT_EQ(c.Out[2].Kind, 1);  // the current move stays last
  // The same arc with a cutter of radius 100,000 is fine.
  Solve(line, arc, 100000);
  EXPECT_EQ(CompensationViolations, 1);
  // A cutting line shorter than 0.0005 in followed by a line.
  TCorner shortLine = Solve(Move(cmLine, {0, 0}, {10000, 0}), Move(cmLine, {10000, 0}, {10000, 90000}), 2000);
  EXPECT_EQ(CompensationViolations, 2);
  EXPECT_EQ(shortLine.Out[shortLine.Count - 2].Kind, 0);
  EXPECT_EQ(shortLine.Out[shortLine.Count - 2].Start, (TIntPoint{5000, 0}));
  // A line that turns back on itself after an inside corner shorter than r.
  TCorner reversed = Solve(Move(cmLine, {0, 0}, {30000, 0}), Move(cmLine, {30000, 0}, {30000, -90000}), 40000);
  EXPECT_EQ(CompensationViolations, 3);
  EXPECT_EQ(reversed.Out[reversed.Count - 2].Kind, 0);
}

TEST_F(CompensationTest, PathEndsGetPerpendicularLeadInAndRetract) {
  const TCompMove jog = Move(cmJog, {0, 0}, {0, 0}, {}, 0);
  TCorner in = Solve(jog, Move(cmLine, {0, 0}, {100000, 0}), 5000);
  ASSERT_EQ(in.Count, 2);
  EXPECT_EQ(in.Out[0].Type, cmLine);
  EXPECT_EQ(in.Out[0].End, (TIntPoint{0, -5000}));
  EXPECT_EQ(in.Out[0].Cutting, 0);  // the lead-in does not cut
  EXPECT_EQ(in.Out[1].Cutting, 1);
  TCorner out = Solve(Move(cmLine, {0, 0}, {100000, 0}), Move(cmJog, {100000, 0}, {100000, 0}, {}, 0), 5000);
  ASSERT_EQ(out.Count, 2);
  EXPECT_EQ(out.Out[0].End, (TIntPoint{100000, -5000}));
  EXPECT_EQ(out.Out[1].End, (TIntPoint{100000, 0}));
  EXPECT_EQ(out.Out[1].Cutting, 0);
}

TEST_F(CompensationTest, EntryArcExistsOnlyForLargeEnoughCircles) {
  int32_t x = 7, y = 7;
  EXPECT_TRUE(CompensationEntryArc(100000, x, y));
  // The centre lies r from the top point (0, r) and from the entry point.
  EXPECT_NEAR(std::hypot(x, y - 100000.0), 100000, 1.5);
  EXPECT_NEAR(std::hypot(x - (254000.0 - 100000), y), 100000, 1.5);
  EXPECT_FALSE(CompensationEntryArc(92000, x, y));
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

// ---- The compensator on a rout layer --------------------------------------------------

namespace {

class CompensatorTest : public CompensationTest {
 protected:
  void SetUp() override {
    CompensationTest::SetUp();
    for (int l = 40; l <= 44; ++l)
      for (int t = 1; t <= 3; ++t) RoutToolPages[l][t] = TRoutToolRecord{};
    // Tool 2: a 0.0625 in cutter; tool 1 small enough to draw uncompensated.
    RoutToolPages[40][2] = TRoutToolRecord{1587500, 1587500, 100, 50, 0};
    RoutToolPages[40][1] = TRoutToolRecord{200000, 200000, 100, 50, 0};
  }
  void TearDown() override {
    for (int t = 1; t <= 3; ++t) RoutToolPages[40][t] = TRoutToolRecord{};
    CompensationTest::TearDown();
  }
  template <class T, class... A>
  T* Make(A&&... args) {
    auto p = std::make_unique<T>(std::forward<A>(args)...);
    T* raw = p.get();
    Owned.push_back(std::move(p));
    return raw;
  }
  void Feed(TCutterCompensator& comp) {
    for (auto& e : Owned) comp.AddEntity(e.get());
    comp.Finish();
  }
  // Every cut record of the layer, oldest first per entity.
  std::vector<TRoutShadow*> Records(uint8_t kind) {
    std::vector<TRoutShadow*> out;
    for (auto& e : Owned) {
      std::vector<TRoutShadow*> mine;
      for (TRoutShadow* r = e->Shadow; r; r = r->Next)
        if (r->Kind == kind) mine.insert(mine.begin(), r);
      out.insert(out.end(), mine.begin(), mine.end());
    }
    return out;
  }
  std::vector<std::unique_ptr<TRoutEntity>> Owned;
};

}  // namespace

TEST_F(CompensatorTest, SquareOutlineIsOffsetByTheCutterRadius) {
  // A 1 in square cut counter-clockwise with the cutter on the right: the
  // cutter runs outside, 793,750 units away.
  const int32_t s = 25400000, r = 793750;
  Make<TRoutJog>(TIntPoint{0, 0}, uint8_t{2}, 2, 2, uint8_t{40});
  Make<TRoutLine>(TIntPoint{s, 0}, uint16_t{100}, NoZOffset, uint8_t{40});
  Make<TRoutLine>(TIntPoint{s, s}, uint16_t{0}, NoZOffset, uint8_t{40});
  Make<TRoutLine>(TIntPoint{0, s}, uint16_t{0}, NoZOffset, uint8_t{40});
  Make<TRoutLine>(TIntPoint{0, 0}, uint16_t{0}, NoZOffset, uint8_t{40});
  TCutterCompensator comp(40);
  Feed(comp);
  std::vector<TRoutShadow*> lines = Records(rsLine);
  std::vector<TRoutShadow*> cuts;
  for (TRoutShadow* l : lines)
    if (!l->HeadUp) cuts.push_back(l);
  ASSERT_EQ(cuts.size(), 4u);
  // Right-angle outside corners are mitred.
  EXPECT_EQ(cuts[0]->A, (TIntPoint{0, -r}));
  EXPECT_EQ(cuts[0]->B, (TIntPoint{s + r, -r}));
  EXPECT_EQ(cuts[1]->A, (TIntPoint{s + r, -r}));
  EXPECT_EQ(cuts[1]->B, (TIntPoint{s + r, s + r}));
  EXPECT_EQ(cuts[2]->B, (TIntPoint{-r, s + r}));
  // The last side ends at its own offset end: the retract is solved with the
  // path's tool, not with tool 1.
  EXPECT_EQ(cuts[3]->B, (TIntPoint{-r, 0}));
  EXPECT_TRUE(Records(rsArc).empty());
  // The lead-in is a head-up line; the retract of the last path waits for
  // a next path.
  EXPECT_EQ(lines.size(), 5u);
  EXPECT_TRUE(lines[0]->HeadUp);
  EXPECT_EQ(CompensationViolations, 0);
  EXPECT_EQ(comp.PathCounter(), 1);
}

TEST_F(CompensatorTest, SmallToolsAndSideNoneDrawTheProgrammedPath) {
  Make<TRoutJog>(TIntPoint{0, 0}, uint8_t{2}, 1, 1, uint8_t{40});
  Make<TRoutLine>(TIntPoint{1000000, 0}, uint16_t{100}, NoZOffset, uint8_t{40});
  Make<TRoutJog>(TIntPoint{0, 5000000}, uint8_t{0}, 2, 2, uint8_t{40});
  Make<TRoutLine>(TIntPoint{1000000, 5000000}, uint16_t{100}, NoZOffset, uint8_t{40});
  TCutterCompensator comp(40);
  Feed(comp);
  std::vector<TRoutShadow*> cuts;
  for (TRoutShadow* l : Records(rsLine))
    if (!l->HeadUp) cuts.push_back(l);
  ASSERT_EQ(cuts.size(), 2u);
  EXPECT_EQ(cuts[0]->A, (TIntPoint{0, 0}));
  EXPECT_EQ(cuts[0]->B, (TIntPoint{1000000, 0}));
  EXPECT_EQ(cuts[1]->A, (TIntPoint{0, 5000000}));
  EXPECT_EQ(cuts[1]->B, (TIntPoint{1000000, 5000000}));
}

TEST_F(CompensatorTest, CircleTooSmallForTheCutterIsAViolation) {
  // Tool 2 cuts a path of radius 0.0625 in / 2 less than the circle.
  Make<TRoutCircle>(TIntPoint{0, 0}, uint16_t{100}, NoZOffset, 2, 700000, 2, true, uint8_t{40});
  TRoutCircle* fine = Make<TRoutCircle>(TIntPoint{10000000, 0}, uint16_t{100}, NoZOffset, 2,
                                        5000000, 2, true, uint8_t{40});
  TCutterCompensator comp(40);
  Feed(comp);
  EXPECT_EQ(CompensationViolations, 1);
  EXPECT_EQ(Records(rsViolationMark).size(), 1u);
  EXPECT_EQ(Records(rsViolationMark)[0]->A, (TIntPoint{0, 0}));
  // The fine circle: lead-in, four quarters and lead-out on radius p.
  const int32_t p = 5000000 - 793750;
  std::vector<TRoutShadow*> arcs;
  for (TRoutShadow* r = fine->Shadow; r; r = r->Next)
    if (r->Kind == rsArc) arcs.insert(arcs.begin(), r);
  ASSERT_EQ(arcs.size(), 6u);
  EXPECT_EQ(arcs[0]->A, (TIntPoint{10000000 - p + 254000, 0}));  // clockwise: entry on the left
  EXPECT_EQ(arcs[0]->B, (TIntPoint{10000000, p}));
  EXPECT_EQ(arcs[1]->B, (TIntPoint{10000000 + p, 0}));
  EXPECT_EQ(arcs[5]->B, (TIntPoint{10000000 + p - 254000, 0}));
  GougeDetect = true;
  TGougeReport report{1, 0, 0, 0};
  comp.ReportViolations(report);
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Text, "There is one compensation\nviolation.  See RED pointer.");
  GougeDetect = false;
}

TEST_F(CompensatorTest, ArcRecordsKeepTheirTurn) {
  // Three quarters of a circle each way round, on the programmed path: the
  // records say which way, so that a copy into the drawing does not take
  // the shorter way round.
  const int32_t r = 10000000;
  Make<TRoutJog>(TIntPoint{r, 0}, uint8_t{0}, 1, 1, uint8_t{40});
  Make<TRoutArc>(uint8_t{etRoutArc}, uint16_t{100}, NoZOffset, TIntPoint{0, -r}, TIntPoint{0, 0},
                 uint8_t{40});
  Make<TRoutArc>(uint8_t{etRoutArcReverse}, uint16_t{100}, NoZOffset, TIntPoint{r, 0},
                 TIntPoint{0, 0}, uint8_t{40});
  TCutterCompensator comp(40);
  Feed(comp);
  std::vector<TRoutShadow*> arcs = Records(rsArc);
  ASSERT_EQ(arcs.size(), 2u);
  EXPECT_EQ(arcs[0]->A, (TIntPoint{r, 0}));
  EXPECT_EQ(arcs[0]->Turn, 1);
  EXPECT_EQ(arcs[1]->A, (TIntPoint{0, -r}));
  EXPECT_EQ(arcs[1]->Turn, -1);
}

namespace {

// Notes the centre of every arc the outline drawing makes; nothing is
// painted.
class TArcCentres : public TDrawingBase {
 public:
  TArcCentres() : TDrawingBase(nullptr, 0) {}
  int32_t LengthToDevice(int32_t length) override { return length / 1000; }
  double LengthToDeviceReal(int32_t length) override { return length / 1000.0; }
  void WorldToDevice(double x, double y, int32_t& dx, int32_t& dy) override {
    dx = int32_t(x / 1000);
    dy = int32_t(-y / 1000);
  }
  void WorldToDeviceReal(double x, double y, double& dx, double& dy) override {
    dx = x / 1000;
    dy = -y / 1000;
  }
  void DrawLine(int32_t, int32_t, int32_t, int32_t) override {}
  void DrawArc(bool, double, double, double, double, double xc, double yc) override {
    Centres.push_back(TIntPoint{SaturatingRound(xc), SaturatingRound(yc)});
  }
  int At(const TIntPoint& p) const { return int(std::count(Centres.begin(), Centres.end(), p)); }
  std::vector<TIntPoint> Centres;
};

}  // namespace

TEST_F(CompensatorTest, CircleAtTheEdgeOfTheRangeKeepsItsPathPointsInTheRange) {
  // A circle whose cutter path reaches past the largest coordinate: the path
  // points there stand at the edge instead of wrapping to the far side.
  const int32_t edge = 2147483647, c = edge - 1000;
  TRoutCircle* circle = Make<TRoutCircle>(TIntPoint{c, c}, uint16_t{100}, NoZOffset, 2, 5000000, 2,
                                          true, uint8_t{40});
  TCutterCompensator comp(40);
  Feed(comp);
  std::vector<TRoutShadow*> arcs;
  for (TRoutShadow* r = circle->Shadow; r; r = r->Next)
    if (r->Kind == rsArc) arcs.insert(arcs.begin(), r);
  ASSERT_EQ(arcs.size(), 6u);
  const int32_t p = 5000000 - 793750;
  EXPECT_EQ(arcs[0]->B, (TIntPoint{c, edge}));  // the top
  EXPECT_EQ(arcs[0]->C.Y, edge);                // the entry arc's centre
  EXPECT_EQ(arcs[1]->B, (TIntPoint{edge, c}));  // the right
  EXPECT_EQ(arcs[2]->B, (TIntPoint{c, c - p}));  // the bottom, in range as it was
  EXPECT_EQ(arcs[3]->B, (TIntPoint{c - p, c}));
}

TEST_F(CompensatorTest, TangentJoinsOfTheCutterPathHaveNoEndsDrawn) {
  // A routed circle: its four quarter arcs and the nearly tangent lead-in
  // and lead-out run on from each other, so the kerf outline has no half
  // circles at the quarter points (they showed as small loops).
  TRoutCircle* circle = Make<TRoutCircle>(TIntPoint{0, 0}, uint16_t{100}, NoZOffset, 2, 5000000,
                                          2, true, uint8_t{40});
  // A rounded rectangle, cut counter-clockwise with the cutter outside:
  // lines and corner arcs meet tangentially; the start and the end of the
  // path stay ends.
  const int32_t r = 2540000, w = 25400000, h = 12700000, x = 20000000;
  Make<TRoutJog>(TIntPoint{x + r, 0}, uint8_t{2}, 2, 2, uint8_t{40});
  Make<TRoutLine>(TIntPoint{x + w - r, 0}, uint16_t{100}, NoZOffset, uint8_t{40});
  Make<TRoutArc>(uint8_t{etRoutArc}, uint16_t{0}, NoZOffset, TIntPoint{x + w, r}, TIntPoint{x + w - r, r}, uint8_t{40});
  Make<TRoutLine>(TIntPoint{x + w, h - r}, uint16_t{0}, NoZOffset, uint8_t{40});
  Make<TRoutArc>(uint8_t{etRoutArc}, uint16_t{0}, NoZOffset, TIntPoint{x + w - r, h}, TIntPoint{x + w - r, h - r}, uint8_t{40});
  Make<TRoutLine>(TIntPoint{x + r, h}, uint16_t{0}, NoZOffset, uint8_t{40});
  Make<TRoutArc>(uint8_t{etRoutArc}, uint16_t{0}, NoZOffset, TIntPoint{x, h - r}, TIntPoint{x + r, h - r}, uint8_t{40});
  Make<TRoutLine>(TIntPoint{x, r}, uint16_t{0}, NoZOffset, uint8_t{40});
  Make<TRoutArc>(uint8_t{etRoutArc}, uint16_t{0}, NoZOffset, TIntPoint{x + r, 0}, TIntPoint{x + r, r}, uint8_t{40});
  // A square corner is no tangent join.
  Make<TRoutJog>(TIntPoint{0, 40000000}, uint8_t{2}, 2, 2, uint8_t{40});
  Make<TRoutLine>(TIntPoint{10000000, 40000000}, uint16_t{100}, NoZOffset, uint8_t{40});
  Make<TRoutLine>(TIntPoint{10000000, 50000000}, uint16_t{0}, NoZOffset, uint8_t{40});
  TCutterCompensator comp(40);
  Feed(comp);

  std::vector<TRoutShadow*> pieces;
  for (TRoutShadow* s = circle->Shadow; s; s = s->Next)
    if (s->Kind == rsArc) pieces.insert(pieces.begin(), s);
  ASSERT_EQ(pieces.size(), 6u);
  EXPECT_EQ(pieces[0]->OpenEnds, 2);  // the lead-in starts inside the circle
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(pieces[i]->OpenEnds, 3) << i;
  EXPECT_EQ(pieces[5]->OpenEnds, 1);
  // Drawn full width: no arc is centred on a quarter point.
  DisplayRoutsFullWidth = true;
  KerfFill = false;
  TArcCentres surface;
  for (TRoutShadow* s : pieces) s->DrawRecord(surface);
  const int32_t p = 5000000 - 793750;
  for (const TIntPoint q : {TIntPoint{0, p}, TIntPoint{p, 0}, TIntPoint{0, -p}, TIntPoint{-p, 0}})
    EXPECT_EQ(surface.At(q), 0) << q.X << "," << q.Y;
  EXPECT_EQ(surface.At(pieces[0]->A), 1);  // the path's own ends keep theirs
  EXPECT_EQ(surface.At(pieces[5]->B), 1);

  // The rounded rectangle: every cut after the first runs on from the one
  // before; the lead-in and the retract are not cuts.
  std::vector<TRoutShadow*> cuts;
  for (auto& e : Owned) {
    std::vector<TRoutShadow*> mine;
    for (TRoutShadow* s = e->Shadow; s; s = s->Next)
      if (((s->Kind == rsLine && !s->HeadUp) || s->Kind == rsArc) && e.get() != circle)
        mine.insert(mine.begin(), s);
    cuts.insert(cuts.end(), mine.begin(), mine.end());
  }
  ASSERT_EQ(cuts.size(), 10u);
  EXPECT_EQ(cuts[0]->OpenEnds, 2);
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(cuts[i]->OpenEnds, 3) << i;
  EXPECT_EQ(cuts[7]->OpenEnds, 1);
  EXPECT_EQ(cuts[8]->OpenEnds, 0);  // the square corner keeps both ends
  EXPECT_EQ(cuts[9]->OpenEnds, 0);
  surface.Centres.clear();
  cuts[1]->DrawRecord(surface);  // the first corner arc: its outline only
  EXPECT_EQ(surface.At(cuts[1]->A) + surface.At(cuts[1]->B), 0);
  cuts[8]->DrawRecord(surface);
  EXPECT_EQ(surface.At(cuts[8]->A) + surface.At(cuts[8]->B), 2);
}
