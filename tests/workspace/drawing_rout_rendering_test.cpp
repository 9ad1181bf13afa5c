// The drawing base and the rout and hole renderings, through a surface that
// notes the primitive calls the composites make.
#include <gtest/gtest.h>

#include <climits>

#include "command/command_services.h"
#include "foundation/settings.h"
#include "korvex_test.h"
#include "drawing_test_surface.h"

namespace {

constexpr int32_t Inch = 25400000;

class DrawingBaseTest : public TKorvexTest {};

int CountOps(const TRecordingCanvas& c, const std::string& op) {
  int n = 0;
  for (const TCanvasCall& call : c.Calls) n += call.Op == op;
  return n;
}

TEST_F(DrawingBaseTest, ToolColoursWrapForEveryToolNumber) {
  TTestSurface s;
  EXPECT_EQ(s.ColorOfTool(1), clAqua);
  EXPECT_EQ(s.ColorOfTool(9), clAqua);
  EXPECT_EQ(s.ColorOfTool(8), clWhite);
  EXPECT_EQ(s.ColorOfTool(2), clRed);
  // Below 1 the table wraps the same way instead of reading before it.
  EXPECT_EQ(s.ColorOfTool(0), clWhite);
  EXPECT_EQ(s.ColorOfTool(-7), clAqua);
  EXPECT_EQ(s.ColorOfTool(INT_MIN), ToolColors[7]);
  EXPECT_EQ(s.ColorOfTool(INT_MAX), ToolColors[(INT_MAX - 1) % 8]);
}

TEST_F(DrawingBaseTest, ColourChangesOnlyWhenDifferent) {
  TTestSurface s;
  s.Recorder.Pen.Color = clBlack;
  s.SetColorIfChanged(0x12345678 & 0xFFFFFF);  // differs from the start value
  EXPECT_EQ(s.Recorder.Pen.Color, 0x345678u);
  s.Recorder.Pen.Color = clBlack;
  s.SetColorIfChanged(0x345678);
  EXPECT_EQ(s.Recorder.Pen.Color, clBlack);  // remembered: canvas untouched
}

TEST_F(DrawingBaseTest, ArcsAreFlattenedIntoAtMostOneHundredChords) {
  TTestSurface s(1.0);
  // 270 degrees at a radius of a million pixels.
  s.DrawArc(false, 1e6, 0, 0, -1e6, 0, 0);
  EXPECT_EQ(CountOps(s.Recorder, "MoveTo"), 1);
  EXPECT_EQ(CountOps(s.Recorder, "LineTo"), 100);
  s.Forget();
  // The arc's start (the second end given) on the centre: a single chord.
  s.DrawArc(false, 50, 0, 0, 0, 0, 0);
  ASSERT_EQ(CountOps(s.Recorder, "LineTo"), 1);
  s.Forget();
  // Ends closer than 0.01 device units: nothing.
  s.DrawArc(false, 100, 0, 100.005, 0, 0, 0);
  EXPECT_TRUE(s.Recorder.Calls.empty());
}

TEST_F(DrawingBaseTest, TinyCircleIsOnePixel) {
  TTestSurface s(10000.0);
  s.DrawCircle(0, 0, 14000);  // 1.4 device units
  EXPECT_EQ(s.Recorder.Describe(), (std::vector<std::string>{"MoveTo(-1,1)", "LineTo(-1,2)"}));
}

TEST_F(DrawingBaseTest, SlotOutlinesForEachDirection) {
  TTestSurface s;
  s.DrawSlotOutline(0, 0, 0, 10000000, 2000000);
  auto lines = s.Only("Line");
  auto arcs = s.Only("ArcCCW");
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_EQ(arcs.size(), 2u);
  EXPECT_EQ(lines[0].Args, (std::vector<double>{-1e6, 1e7, -1e6, 0}));
  EXPECT_EQ(lines[1].Args, (std::vector<double>{1e6, 1e7, 1e6, 0}));
  EXPECT_EQ(arcs[0].Args, (std::vector<double>{1e6, 1e7, -1e6, 1e7, 0, 1e7}));
  EXPECT_EQ(arcs[1].Args, (std::vector<double>{-1e6, 0, 1e6, 0, 0, 0}));

  s.Forget();
  s.DrawSlotOutline(0, 0, 10000000, 0, 2000000);
  lines = s.Only("Line");
  arcs = s.Only("ArcCCW");
  EXPECT_EQ(lines[0].Args, (std::vector<double>{1e7, 1e6, 0, 1e6}));
  EXPECT_EQ(arcs[0].Args, (std::vector<double>{1e7, -1e6, 1e7, 1e6, 1e7, 0}));

  s.Forget();
  s.DrawSlotOutline(0, 0, 3000000, 4000000, 2000000);
  lines = s.Only("Line");
  arcs = s.Only("ArcCCW");
  EXPECT_EQ(lines[0].Args, (std::vector<double>{8e5, -6e5, 3.8e6, 3.4e6}));
  EXPECT_EQ(lines[1].Args, (std::vector<double>{-8e5, 6e5, 2.2e6, 4.6e6}));
  EXPECT_EQ(arcs[1].Args, (std::vector<double>{3.8e6, 3.4e6, 2.2e6, 4.6e6, 3e6, 4e6}));
}

TEST_F(DrawingBaseTest, RoutLineRenderingFollowsTheToggles) {
  TTestSurface s;
  DisplayRoutsFullWidth = false;
  s.DrawRoutLine(0, 0, 10000000, 0, 1000000);
  EXPECT_EQ(s.Notes.size(), 1u);

  DisplayRoutsFullWidth = true;
  s.Forget();
  s.DrawRoutLine(0, 0, 10000000, 0, 0);  // no width: centre line
  EXPECT_EQ(s.Notes.size(), 1u);

  s.Forget();
  s.DrawRoutLine(0, 0, 10000000, 0, 1000000);  // outline
  EXPECT_EQ(s.Only("Line").size(), 2u);
  EXPECT_EQ(s.Only("ArcCCW").size(), 2u);

  KerfFill = true;
  s.Forget();
  s.DrawRoutLine(0, 0, 10000000, 0, 1000000);
  ASSERT_EQ(s.Notes.size(), 1u);
  EXPECT_EQ(s.Notes[0].PenWidth, 100);  // the kerf as one thick line
  EXPECT_EQ(s.Recorder.Pen.Width, 1);   // and nothing after it inherits the width

  s.Mirrored = true;  // a plot file gets the outline even with kerf fill
  s.Forget();
  s.DrawRoutLine(0, 0, 10000000, 0, 1000000);
  EXPECT_EQ(s.Only("ArcCCW").size(), 2u);

  s.Mirrored = false;
  RoutDirectionArrows = true;
  s.Forget();
  s.DrawRoutLine(0, 0, 10000000, 0, 1000000);
  std::vector<std::string> ops;
  for (auto& n : s.Notes) ops.push_back(n.Op);
  EXPECT_EQ(ops, (std::vector<std::string>{"Line", "PenMode", "Line", "Line", "Line", "PenMode"}));
  EXPECT_EQ(s.Notes[1].Args[0], 5);
  EXPECT_EQ(s.Notes[5].Args[0], 4);
}

TEST_F(DrawingBaseTest, DirectionArrowSitsAtTheMiddle) {
  TTestSurface s;
  s.DrawDirectionArrow(0, 0, 5080000, 0, 1000000);  // 0.2 in: no arrow
  EXPECT_TRUE(s.Notes.empty());
  s.DrawDirectionArrow(0, 0, 10000000, 0, 1000000);
  auto lines = s.Only("Line");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].Args, (std::vector<double>{2460000, 0, 7540000, 0}));
  EXPECT_EQ(lines[1].Args, (std::vector<double>{5000000, 700000, 7540000, 0}));
  EXPECT_EQ(lines[2].Args, (std::vector<double>{5000000, -700000, 7540000, 0}));
  // A wide tool spreads the barbs 0.1 in at most.
  s.Forget();
  s.DrawDirectionArrow(0, 0, 10000000, 0, 10000000);
  EXPECT_EQ(s.Only("Line")[1].Args, (std::vector<double>{5000000, 2540000, 7540000, 0}));
}

TEST_F(DrawingBaseTest, FeedRateCirclesShowTheFeed) {
  TTestSurface s;
  FeedRateChanges = true;
  auto circles = [&](int32_t feed, int32_t length) {
    s.Forget();
    s.DrawFeedRateLineMark(0, 0, length, 0, 400000, feed);
    return s.Only("Circle").size();
  };
  EXPECT_EQ(circles(127, 10 * Inch), 160u);
  EXPECT_EQ(circles(127, Inch), 16u);  // one per 1/16 in at most
  EXPECT_EQ(circles(1270, 10 * Inch), 16u);
  EXPECT_EQ(circles(20447, 10 * Inch), 1u);
  EXPECT_EQ(circles(126, 10 * Inch), 0u);  // slower than 127: no density to show
  EXPECT_EQ(circles(1, 10 * Inch), 0u);
  EXPECT_EQ(circles(0, 10 * Inch), 0u);
  EXPECT_EQ(circles(1270, Inch / 40), 0u);  // shorter than 1/32 in
  circles(20447, 2 * Inch);
  EXPECT_EQ(s.Notes[0].Args, (std::vector<double>{double(Inch), 0, 100000}));

  FeedRateChanges = false;
  EXPECT_EQ(circles(127, 10 * Inch), 0u);

  FeedRateChanges = true;
  s.Forget();
  s.DrawFeedRateArcMark(10 * Inch, 0, 0, 10 * Inch, 0, 0, 400000, 1270);
  EXPECT_EQ(s.Only("Circle").size(), 16u);
  s.Forget();
  s.DrawFeedRateArcMark(10 * Inch, 0, 0, 10 * Inch, 0, 0, 400000, 100);
  EXPECT_TRUE(s.Notes.empty());
}

TEST_F(DrawingBaseTest, ZOffsetZigzagAcrossTheCut) {
  TTestSurface s;
  ZOffsetChanges = true;
  s.DrawZOffsetLineMark(0, 0, 10000000, 0, 1000000);
  auto lines = s.Only("Line");
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0].Args, (std::vector<double>{0, 500000, 909091, -500000}));
  EXPECT_EQ(lines[1].Args, (std::vector<double>{909091, -500000, 1818182, 500000}));

  // No width or no length: nothing, instead of a division by zero.
  s.Forget();
  s.DrawZOffsetLineMark(0, 0, 10000000, 0, 0);
  s.DrawZOffsetLineMark(5, 5, 5, 5, 1000000);
  s.DrawZOffsetMark(Inch, 0, 0, Inch, 0, 0, 0);
  s.DrawZOffsetMark(Inch, 0, Inch, 0, 0, 0, 1000);
  EXPECT_TRUE(s.Notes.empty());

  // A quarter arc of radius 1 in, width 0.1 in: n = Round(15.7) + 1 legs.
  s.DrawZOffsetMark(Inch, 0, 0, Inch, 0, 0, Inch / 10);
  lines = s.Only("Line");
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0].Args[0], Inch - Inch / 20);  // starts on the inner edge
  EXPECT_EQ(lines[0].Args[1], 0);

  // A hair-thin tool on a long path stays bounded.
  s.Forget();
  s.DrawZOffsetLineMark(0, 0, 40 * Inch, 0, 1);
  EXPECT_LE(s.Only("Line").size(), 10000u);

  ZOffsetChanges = false;
  s.Forget();
  s.DrawZOffsetLineMark(0, 0, 10000000, 0, 1000000);
  EXPECT_TRUE(s.Notes.empty());
}

TEST_F(DrawingBaseTest, TableMoveGoesDiagonalThenStraight) {
  TTestSurface s;
  s.DrawTableMove(0, 0, 3000000, -1000000);
  auto lines = s.Only("Line");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].Args, (std::vector<double>{0, 0, 1e6, -1e6}));
  EXPECT_EQ(lines[1].Args, (std::vector<double>{1e6, -1e6, 3e6, -1e6}));
}

TEST_F(DrawingBaseTest, RoutArcDrawsTheMinorArcAndArrowsTheWayItWasPassed) {
  TTestSurface s;
  RoutDirectionArrows = true;
  // 270 degrees counter-clockwise from (10, 0) to (0, -10) in: drawn as the
  // 90-degree arc, the arrow running clockwise from the first point.
  s.DrawRoutArc(10 * Inch, 0, 0, -10 * Inch, 0, 0, 0);
  auto ccw = s.Only("ArcCCW");
  auto cw = s.Only("ArcCW");
  ASSERT_EQ(ccw.size(), 1u);
  EXPECT_EQ(ccw[0].Args, (std::vector<double>{0, -10.0 * Inch, 10.0 * Inch, 0, 0, 0}));
  ASSERT_EQ(cw.size(), 1u);
  double tail = std::atan2(cw[0].Args[1], cw[0].Args[0]) * 180 / M_PI + 360;
  double head = std::atan2(cw[0].Args[3], cw[0].Args[2]) * 180 / M_PI + 360;
  EXPECT_NEAR(tail, 315 + 0.57296, 0.0001);  // 0.1 in of arc each side
  EXPECT_NEAR(head, 315 - 0.57296, 0.0001);
  EXPECT_EQ(s.Only("Line").size(), 2u);  // the barbs

  // Full width as an outline: outer edge, end cap, inner edge, start cap.
  s.Forget();
  RoutDirectionArrows = false;
  s.DrawRoutArc(Inch, 0, 0, Inch, 0, 0, Inch / 5);
  ccw = s.Only("ArcCCW");
  ASSERT_EQ(ccw.size(), 4u);
  const double out = 27940000, in = 22860000;
  EXPECT_EQ(ccw[0].Args, (std::vector<double>{out, 0, 0, out, 0, 0}));
  EXPECT_EQ(ccw[1].Args, (std::vector<double>{0, out, 0, in, 0, double(Inch)}));
  EXPECT_EQ(ccw[3].Args, (std::vector<double>{in, 0, out, 0, double(Inch), 0}));

  KerfFill = true;
  s.Forget();
  s.DrawRoutArc(Inch, 0, 0, Inch, 0, 0, Inch / 5);
  ASSERT_EQ(s.Notes.size(), 1u);
  EXPECT_EQ(s.Notes[0].PenWidth, 508);
  EXPECT_EQ(s.Recorder.Pen.Width, 1);
}

TEST_F(DrawingBaseTest, NumbersInStrokeDigits) {
  TTestSurface s(101600.0);  // 0.04 in = 10 pixels
  s.DrawNumber(0, 0, 10);
  auto calls = s.Recorder.Describe();
  // Glyph 1: 5 points, 4 strokes; glyph 0 one cell (50 pixels) on: 8.
  ASSERT_EQ(calls.size(), 24u);
  EXPECT_EQ(calls[0], "MoveTo(30,-70)");
  EXPECT_EQ(calls[1], "LineTo(50,-90)");
  EXPECT_EQ(calls[8], "MoveTo(80,-80)");
  EXPECT_EQ(calls[9], "LineTo(90,-90)");
  EXPECT_TRUE(s.Dirty);
}

TEST_F(DrawingBaseTest, PolygonMarkPointsAlongItsAngleAndKeepsTheColour) {
  TTestSurface s(635000.0);  // 0.025 in = 1 pixel
  s.SetColor(clLime);
  s.DrawPolygonMark(0, 0, 0.0, clRed);
  auto calls = s.Recorder.Describe();
  ASSERT_EQ(calls.size(), 14u);
  EXPECT_EQ(calls[1], "LineTo(-7,8)");
  EXPECT_EQ(calls[7], "LineTo(-15,-2)");
  EXPECT_EQ(calls[13], "LineTo(0,0)");
  EXPECT_EQ(s.Recorder.Calls[1].Pen.Color, clRed);
  EXPECT_EQ(s.Color, clLime);
  s.Forget();
  s.DrawPolygonMark(0, 0, 90.0, clRed);  // points to -Y: the body lies above
  EXPECT_EQ(s.Recorder.Describe()[1], "LineTo(-8,-7)");
}

TEST_F(DrawingBaseTest, OriginMarkFollowsTheAxisVersion) {
  TTestSurface s;
  Version = 2;
  s.DrawOriginMark(0, 0, clYellow);
  auto calls = s.Recorder.Describe();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[1], "LineTo(0,-10)");  // vertical arm up
  EXPECT_EQ(calls[3], "LineTo(10,0)");   // horizontal arm right
  EXPECT_EQ(calls[4], "MoveTo(-4,-19)");  // X above
  EXPECT_EQ(calls[5], "LineTo(4,-11)");
  EXPECT_EQ(calls[8], "MoveTo(11,-4)");  // Y to the right
  EXPECT_EQ(s.Recorder.Calls[5].Pen.Width, 2);
  EXPECT_EQ(s.Recorder.Pen.Width, 1);
  Version = 6;
  s.Forget();
  s.DrawOriginMark(0, 0, clYellow);
  calls = s.Recorder.Describe();
  EXPECT_EQ(calls[1], "LineTo(0,10)");
  EXPECT_EQ(calls[3], "LineTo(-10,0)");
  EXPECT_EQ(calls[4], "MoveTo(-19,-4)");  // X to the left
}

TEST_F(DrawingBaseTest, HoleSymbolsAndLettersAtTheirSizes) {
  TTestSurface s(10000.0);  // 0.01 in = 25.4 pixels: symbol size 25
  s.DrawHoleSymbol(0, 0, 41);  // shape 1, like tool 1
  auto calls = s.Recorder.Describe();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0], "MoveTo(0,0)");
  EXPECT_EQ(calls[1], "MoveTo(-38,38)");  // B = 3 x 25 / 2, halves to even
  EXPECT_EQ(calls[2], "LineTo(0,-38)");
  EXPECT_EQ(s.SymbolDrawer->GetSize(), 25);

  s.Forget();
  s.DrawHoleLetter(0, 0, 53);
  s.DrawHoleLetter(0, 0, 52);
  ASSERT_EQ(s.Recorder.Calls.size(), 2u);
  EXPECT_EQ(s.Recorder.Calls[0].Text, "A");
  EXPECT_EQ(s.Recorder.Calls[1].Text, "z");

  // The size follows the scale: 3 pixels gives the 2 x 2 block, 1 a dot.
  s.Scale = 100000.0;
  s.Forget();
  s.DrawHoleLetter(0, 0, 5);
  EXPECT_EQ(s.Recorder.Describe(), (std::vector<std::string>{"MoveTo(0,0)", "LineTo(0,1)",
                                                             "LineTo(1,1)", "LineTo(1,0)"}));
  s.Scale = 254000.0;
  s.Forget();
  s.DrawHoleLetter(0, 0, 5);
  EXPECT_EQ(s.Recorder.Describe(), (std::vector<std::string>{"MoveTo(0,0)", "LineTo(0,1)"}));
  EXPECT_TRUE(s.Dirty);
}

TEST_F(DrawingBaseTest, MarksFarOutsideTheDeviceRangeDrawNothing) {
  TTestSurface s(0.001);  // a thousand pixels per unit: the limits overflow
  s.DrawXMark(2000000000, 2000000000);
  s.DrawPlusMark(-2000000000, 0);
  s.DrawOriginMark(2000000000, 0, clRed);
  s.DrawHoleSymbol(2000000000, 0, 5);
  s.DrawHoleLetter(2000000000, 0, 5);
  EXPECT_TRUE(s.Recorder.Calls.empty());
  // Paths near the limits keep their arithmetic in range.
  s.DrawSlotOutline(2147483647, 2147483647, 2147483000, -2147483647, 2000000000);
  s.DrawTableMove(-2147483647, -2147483647, 2147483647, 2147483647);
  DisplayRoutsFullWidth = true;
  RoutDirectionArrows = true;
  s.DrawRoutArc(2147483647, 0, 0, 2147483647, 0, 0, 2000000000);
}

}  // namespace
