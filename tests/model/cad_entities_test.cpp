#include "model/cad_entities.h"

#include <gtest/gtest.h>

#include <memory>

#include "foundation/geometry_matrix.h"
#include "foundation/settings.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "recording_surface.h"

namespace {

class CadEntityTest : public TCadTest {};

TMatrix3 Translation(double dx, double dy) {
  TMatrix3 m = IdentityMatrix;
  TranslateMatrix(m, dx, dy);
  return m;
}

TEST_F(CadEntityTest, LinePickMeasuresToTheSegmentAndShrinksTheBox) {
  TCadLine line(0, 0, 10, 0);
  TIntBox box{5 - 10, 3 - 10, 5 + 10, 3 + 10};
  EXPECT_EQ(line.DistanceToPoint(box, NotNear, 5, 3), 3);
  EXPECT_EQ(box, (TIntBox{2, 0, 8, 6}));

  // Beyond the end: the distance to that end.
  TIntBox box2{10, -10, 30, 10};
  EXPECT_EQ(line.DistanceToPoint(box2, NotNear, 20, 0), 10);

  // A slanted line by halving.
  TCadLine slanted(0, 0, 1000, 1000);
  TIntBox box3{-1000, -1000, 3000, 3000};
  EXPECT_EQ(slanted.DistanceToPoint(box3, NotNear, 1000, 0), 707);
  // A box the line misses entirely (both ends share an outcode) is not near.
  TIntBox far{5000, 5000, 6000, 6000};
  EXPECT_EQ(slanted.DistanceToPoint(far, NotNear, 5500, 5500), NotNear);
  EXPECT_EQ(far, (TIntBox{5000, 5000, 6000, 6000}));
}

TEST_F(CadEntityTest, NoCandidateNearerThanBestLeavesTheBoxAlone) {
  TCadPoint inside(1, 1);
  TIntBox box{-10, -10, 10, 10};
  EXPECT_EQ(inside.DistanceToPoint(box, 1, 0, 0), 1);  // not better than best 1
  EXPECT_EQ(box, (TIntBox{-10, -10, 10, 10}));

  // A point outside the box is never near, however close.
  TCadPoint outside(11, 0);
  EXPECT_EQ(outside.DistanceToPoint(box, NotNear, 10, 0), NotNear);
}

TEST_F(CadEntityTest, NearestPointPrefersTheEarlierPointOnATie) {
  TCadLine line(-5, 0, 5, 0);
  TIntBox box{-10, -10, 10, 10};
  int32_t x = 99, y = 99;
  EXPECT_EQ(line.NearestPoint(box, NotNear, x, y, 0, 0), 5);
  EXPECT_EQ(x, -5);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(box, (TIntBox{-5, -5, 5, 5}));

  TCadArc arc(1000, 0, 0, 1000, 0, 0);
  TIntBox abox{-2000, -2000, 2000, 2000};
  EXPECT_EQ(arc.NearestPoint(abox, NotNear, x, y, 100, 100), 141);
  EXPECT_EQ(x, 0);  // the centre
}

TEST_F(CadEntityTest, ArcAndCircleDistances) {
  TCadArc arc(1000, 0, 0, 1000, 0, 0);  // quarter circle, counter-clockwise
  TIntBox box{-5000, -5000, 5000, 5000};
  EXPECT_EQ(arc.DistanceToPoint(box, NotNear, 800, 0), 200);

  TCadCircle circle(0, 0, 1000);
  TIntBox cbox{-5000, -5000, 5000, 5000};
  EXPECT_EQ(circle.DistanceToPoint(cbox, NotNear, 0, 1300), 300);
  EXPECT_EQ(cbox, (TIntBox{-300, 1000, 300, 1600}));
}

TEST_F(CadEntityTest, DuplicatesHashesMidpointsAndSecondPoints) {
  TCadLine a(1, 2, 3, 4), reversed(3, 4, 1, 2);
  EXPECT_TRUE(a.IsDuplicateOf(reversed));
  TCadArc arc(1000, 0, 0, 1000, 0, 0), reversedArc(0, 1000, 1000, 0, 0, 0);
  EXPECT_FALSE(arc.IsDuplicateOf(reversedArc));
  EXPECT_TRUE(arc.IsDuplicateOf(arc));
  TCadPoint p(0, 0);
  TCadCircle c(0, 0, 0);
  EXPECT_FALSE(p.IsDuplicateOf(c));

  EXPECT_EQ(TCadPoint(65537, 2).HashKey(), 2);
  EXPECT_EQ(TCadPoint(-1, 0).HashKey(), 0);  // FFFF xor FFFF

  TIntPoint m;
  TCadLine(1, 0, 3, 0).MiddlePoint(m);
  EXPECT_EQ(m, (TIntPoint{1, 0}));

  TCadCircle circle(10, 20, 500);
  TIntPoint second;
  circle.GetSecondPoint(second);
  EXPECT_EQ(second, (TIntPoint{500, 500}));
  circle.SetSecondPoint({700, 0});
  EXPECT_EQ(circle.GetRadius(), 700);
}

TEST_F(CadEntityTest, OperationsATypeLacksShowTheirBoxAndReturnZero) {
  TCadPoint p(5, 6);
  TIntPoint q{9, 9};
  p.GetSecondPoint(q);
  EXPECT_EQ(q, (TIntPoint{0, 0}));
  EXPECT_EQ(p.GetRadius(), 0);
  TCadLine line(0, 0, 10, 0);
  line.GetThirdPoint(q);
  line.TangentPoint({1, 1}, q);
  const auto& boxes = ShownMessageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].Text, "Error: Illegal second point call!");
  EXPECT_EQ(boxes[0].Type, mtError);
  EXPECT_EQ(boxes[1].Text, "Error: Illegal get radius call!");
  EXPECT_EQ(boxes[2].Text, "Error: Illegal third point call!");
  EXPECT_EQ(boxes[3].Text,
            "Internal error: Tangent op accepted a line.\r\nReport to Orbenwright!\r\n"
            "Press <Enter> to proceed...");
}

TEST_F(CadEntityTest, WindowTests) {
  TIntBox box{0, 0, 100, 100};
  TCadLine crossing(-50, 50, 150, 50);
  EXPECT_FALSE(crossing.InsideWindow(box, 0));
  EXPECT_TRUE(crossing.InsideWindow(box, 1));  // both ends outside, though it crosses
  EXPECT_FALSE(crossing.CrossesWindow(box));
  TCadLine half(50, 50, 150, 50);
  EXPECT_TRUE(half.CrossesWindow(box));
  TPointsInside inside;
  half.PointsInWindow(box, inside);
  EXPECT_EQ(inside, (TPointsInside{1, 0, 0}));
  TCadLine border(0, 0, 100, 100);
  EXPECT_TRUE(border.InsideWindow(box, 0));
  EXPECT_FALSE(border.InsideWindow(box, 2));
  TCadCircle circle(50, 50, 50);
  EXPECT_TRUE(circle.InsideWindow(box, 0));
  EXPECT_FALSE(TCadCircle(50, 50, 51).InsideWindow(box, 0));
}

TEST_F(CadEntityTest, TransformsMoveScaleAndMirror) {
  TCadLine line(0, 0, 1000, 0);
  ASSERT_TRUE(line.Transform(Translation(10, 20)));
  EXPECT_EQ(line.X1, 10);
  EXPECT_EQ(line.Y2, 20);

  TCadCircle circle(0, 0, 1000);
  TMatrix3 scale = IdentityMatrix;
  ScaleMatrix({0, 0}, scale, 2.0, 2.0);
  ASSERT_TRUE(circle.Transform(scale));
  EXPECT_EQ(circle.Radius, 2000);

  TCadArc arc(1000, 0, 0, 1000, 0, 0);
  TMatrix3 mirror = IdentityMatrix;
  MirrorMatrix({0, 0}, {1, 0}, mirror);  // across the Y axis
  ASSERT_TRUE(arc.Transform(mirror));
  // Start and end exchange so the arc stays counter-clockwise.
  EXPECT_EQ((TIntPoint{arc.SX, arc.SY}), (TIntPoint{0, 1000}));
  EXPECT_EQ((TIntPoint{arc.EX, arc.EY}), (TIntPoint{-1000, 0}));

  // A non-uniform scale rebuilds the arc through three mapped points.
  TCadArc half(1000, 0, -1000, 0, 0, 0);
  TMatrix3 stretchX = IdentityMatrix;
  ScaleMatrix({0, 0}, stretchX, 1.0, 2.0);
  ASSERT_TRUE(half.Transform(stretchX));
  EXPECT_EQ((TIntPoint{half.SX, half.SY}), (TIntPoint{1000, 0}));
  EXPECT_EQ((TIntPoint{half.EX, half.EY}), (TIntPoint{-1000, 0}));
  EXPECT_EQ(half.RadiusOf(), 1250);  // through (0, 2000)
}

TEST_F(CadEntityTest, RefusedTransformsLeaveTheEntityUnchanged) {
  TCadLine line(0, 0, 1000, 0);
  EXPECT_FALSE(line.Transform(Translation(1073741823.0, 0)));
  EXPECT_EQ(line.X2, 1000);

  // Squashing an arc flat puts its three image points on a line: no arc
  // can be built, so the transform is refused instead of storing zeros.
  TCadArc arc(1000, 0, -1000, 0, 0, 0);
  TMatrix3 flatten = IdentityMatrix;
  ScaleMatrix({0, 0}, flatten, 1.0, 0.0);
  EXPECT_FALSE(arc.Transform(flatten));
  EXPECT_EQ((TCadArc(1000, 0, -1000, 0, 0, 0).IsDuplicateOf(arc)), true);

  TCadCircle circle(1073741000, 0, 1000);
  EXPECT_FALSE(circle.Transform(Translation(0, 0)));
}

TEST_F(CadEntityTest, StretchMovesOnlyTheFlaggedEnds) {
  TCadLine line(0, 0, 1000, 0);
  ASSERT_TRUE(line.TransformPoints(Translation(0, 500), {0, 1, 0}));
  EXPECT_EQ((TIntPoint{line.X1, line.Y1}), (TIntPoint{0, 0}));
  EXPECT_EQ((TIntPoint{line.X2, line.Y2}), (TIntPoint{1000, 500}));
  EXPECT_FALSE(line.TransformPoints(Translation(0, 2e9), {1, 0, 0}));
  EXPECT_EQ(line.Y1, 0);
  EXPECT_FALSE(TCadPoint(0, 0).TransformPoints(Translation(1, 1), {1, 1, 0}));
}

TEST_F(CadEntityTest, BandMasksOfHugeArcsSaturate) {
  // The circle of this arc reaches past the int32 range on the right.
  TCadArc arc(2000000000, 0, 1000000000, 1000000000, 1000000000, 0);
  EXPECT_EQ(arc.XMask, BandMask(0, 2147483647));
  TCadArc left(-2000000000, 0, -1000000000, -1000000000, -1000000000, 0);
  EXPECT_EQ(left.XMask, BandMask(-2147483647, 0));
  TCadLine line(0, 0, 1 << 28, 0);
  EXPECT_EQ(line.XMask, BandMask(0, 1 << 28));
  line.SetSecondPoint({-(1 << 28), 0});
  EXPECT_EQ(line.XMask, BandMask(-(1 << 28), 0));
}

TEST_F(CadEntityTest, InfoStringsAnglesAndPerpendiculars) {
  std::string text;
  TCadPoint(10, 20).InfoString(text);
  EXPECT_EQ(text, "10.0,20.0,0.0");
  TCadCircle(1, 2, 3).InfoString(text);
  EXPECT_EQ(text, "1.0,2.0,3.0");
  TCadArc(3, 0, 0, 3, 0, 0).InfoString(text);
  EXPECT_EQ(text, "0.0,0.0,3.0");

  EXPECT_DOUBLE_EQ(TCadLine(0, 0, 0, -10).Angle(), 270.0);
  EXPECT_DOUBLE_EQ(TCadArc(10, 0, -10, 0, 0, 0).Angle(), 180.0);

  TIntPoint foot;
  TCadLine(0, 0, 100, 0).PerpPoint({40, 70}, foot);
  EXPECT_EQ(foot, (TIntPoint{40, 0}));
  TCadCircle(0, 0, 100).PerpPoint({0, 7}, foot);
  EXPECT_EQ(foot, (TIntPoint{0, 100}));
  TCadCircle(0, 0, 100).PerpPoint({0, 0}, foot);
  EXPECT_EQ(foot, (TIntPoint{0, 0}));
}

TEST_F(CadEntityTest, ConstructionAndClonesMarkTheJobModified) {
  DatabaseModified = false;
  TCadPoint p(1, 2);
  EXPECT_TRUE(DatabaseModified);
  DatabaseModified = false;
  std::unique_ptr<TCadEntity> clone(p.Clone());
  EXPECT_TRUE(DatabaseModified);
  EXPECT_TRUE(clone->IsDuplicateOf(p));
}

TEST_F(CadEntityTest, DrawingUsesLayerColoursDimColourAndMarks) {
  LayerColors[3] = 0x0000FF;
  TCadLine line(0, 0, 10000, 0);
  line.Draw(3);
  EXPECT_EQ(Surface.Calls, (std::vector<std::string>{"SetColor(255)", "SetPenStyle(0)",
                                                     "DrawLine(0,0,10000,0)"}));
  Surface.Clear();
  EditorMode = emDrill;
  line.Draw(3);
  EXPECT_EQ(Surface.Calls.front(), "SetColor(" + std::to_string(DimColor) + ")");

  // A plot device keeps the layer colour in any mode.
  TRecordingSurface plot(1000.0, false);
  DrawSurface = &plot;
  line.Draw(3);
  EXPECT_EQ(plot.Calls.front(), "SetColor(255)");
  // Highlight and erase always go to the screen picture.
  Surface.Clear();
  line.DrawColour(0x00FF00);
  EXPECT_EQ(Surface.Calls, (std::vector<std::string>{"SetColor(65280)", "SetPenStyle(2)",
                                                     "DrawLine(0,0,10000,0)"}));
  EXPECT_EQ(Surface.Canvas->Pen.Mode, pmCopy);
  Surface.Clear();
  line.Erase();
  EXPECT_EQ(Surface.Calls.front(), "SetColor(" + std::to_string(BackgroundColor) + ")");
  DrawSurface = nullptr;

  EditorMode = emCad;
  ConstructionPoints = true;
  Surface.Clear();
  TCadArc(1000, 0, 0, 1000, 0, 0).Draw(0);
  EXPECT_EQ(Surface.Count("DrawArc(ccw,1000,0,0,1000,0,0)"), 1);
  EXPECT_EQ(Surface.Count("DrawXMark"), 3);
  EXPECT_EQ(Surface.Count("SetColor(16777215)"), 1);
}

TEST_F(CadEntityTest, FastPathsDrawDeviceLinesOnTheCanvas) {
  TRecordingCanvas canvas;
  TCadPoint(10000, -20000).FastDraw(canvas);
  EXPECT_EQ(canvas.Describe(), (std::vector<std::string>{"MoveTo(7,20)", "LineTo(13,20)",
                                                         "MoveTo(10,17)", "LineTo(10,23)"}));
  canvas.Calls.clear();
  TCadLine(0, 0, 5000, 5000).FastDrawMarks(canvas);
  EXPECT_EQ(canvas.Describe(),
            (std::vector<std::string>{"MoveTo(-2,-2)", "LineTo(3,3)", "MoveTo(-2,2)",
                                      "LineTo(3,-3)", "MoveTo(3,-7)", "LineTo(8,-2)",
                                      "MoveTo(3,-3)", "LineTo(8,-8)"}));
}

}  // namespace
