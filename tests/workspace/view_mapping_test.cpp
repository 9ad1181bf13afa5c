// RubberPaint: world-to-pixel mapping and the exclusive-or rubber bands.
#include <cmath>

#include "foundation/geometry_matrix.h"
#include "platform/headless/recording_canvas.h"
#include "view_test_support.h"

namespace {

class TRubberPaintTest : public TViewTest {
 protected:
  void SetUp() override {
    TViewTest::SetUp();
    Screen->SetZoom(50.0);
    Screen->PanTo(0, 0);
    Picture = TBitmap::Create(300, 200);
    Picture->Canvas().Brush.Color = clNavy;
    Picture->Canvas().FillRect({0, 0, 300, 200});
    RubberPaint->SetCanvas(&Picture->Canvas());
    RubberPaint->SetXorPen();
    Before = Picture->Pixels();
  }
  double Ppi() { return Screen->PixelsPerInch; }
  // World point of a pixel of the paint box.
  TRealPoint At(double px, double py) {
    return {RubberPaint->WindowLeft + px / Ppi() * UnitsPerInchD,
            RubberPaint->WindowTop - py / Ppi() * UnitsPerInchD};
  }
  bool Unchanged() { return Picture->Pixels() == Before; }
  std::unique_ptr<TBitmap> Picture;
  std::vector<TColor> Before;
};

}  // namespace

TEST_F(TRubberPaintTest, WorldPointsMapToPaintBoxPixels) {
  RubberPaint->WindowLeft = 1000.0;
  RubberPaint->WindowTop = 5000.0;
  EXPECT_EQ(RubberPaint->ScreenX(1000.0), 0);
  EXPECT_EQ(RubberPaint->ScreenY(5000.0), 0);
  EXPECT_DOUBLE_EQ(RubberPaint->ScreenXReal(1000.0 + UnitsPerInchD), Ppi());
  EXPECT_EQ(RubberPaint->ScreenX(1000.0 + UnitsPerInchD), SaturatingRound(Ppi()));
  EXPECT_LT(RubberPaint->ScreenY(5000.0 + UnitsPerInchD), 0);
  EXPECT_EQ(RubberPaint->ScaleLength(2.0 * UnitsPerInchD), SaturatingRound(2.0 * Ppi()));
  // Far away points saturate instead of wrapping.
  Screen->SetZoom(100000.0);
  EXPECT_EQ(RubberPaint->ScreenX(1e15), 2147483647);
  EXPECT_EQ(RubberPaint->ScreenX(-1e15), -2147483646);
  EXPECT_EQ(RubberPaint->ScreenY(-1e15), 2147483647);
  EXPECT_EQ(RubberPaint->ScaleLength(1e12), 2147483647);
}

TEST_F(TRubberPaintTest, TheViewKeepsTheWindowUpToDate) {
  Screen->PanTo(25400000, 12700000);
  EXPECT_EQ(RubberPaint->ViewCentreX, 25400000.0);
  EXPECT_EQ(RubberPaint->ViewCentreY, 12700000.0);
  EXPECT_EQ(RubberPaint->ScreenX(25400000), 150);
  EXPECT_EQ(RubberPaint->ScreenY(12700000), 100);
}

TEST_F(TRubberPaintTest, EveryRubberBandVanishesWhenItEnds) {
  // Start (nothing to erase), two moves, end (nothing new drawn): the
  // picture underneath comes back exactly.
  RubberPaint->RubberLine(At(10, 10), At(200, 150), true, false);
  EXPECT_FALSE(Unchanged());
  RubberPaint->RubberLine(At(10, 10), At(220, 40), false, false);
  RubberPaint->RubberLine(At(10, 10), At(20, 190), false, false);
  RubberPaint->RubberLine(At(10, 10), At(20, 190), false, true);
  EXPECT_TRUE(Unchanged());

  RubberPaint->RubberRectangle(At(30, 30), At(120, 90), true, false);
  RubberPaint->RubberRectangle(At(30, 30), At(140, 60), false, false);
  RubberPaint->RubberRectangle(At(30, 30), At(140, 60), false, true);
  EXPECT_TRUE(Unchanged());

  RubberPaint->RubberCircle(At(150, 100), 30.0 / Ppi() * UnitsPerInchD, true, false);
  RubberPaint->RubberCircle(At(150, 100), 50.0 / Ppi() * UnitsPerInchD, false, false);
  RubberPaint->RubberCircle(At(150, 100), 50.0 / Ppi() * UnitsPerInchD, false, true);
  EXPECT_TRUE(Unchanged());

  RubberPaint->RubberCrossHair(At(50, 50), true, false);
  RubberPaint->RubberCrossHair(At(60, 70), false, false);
  RubberPaint->RubberCrossHair(At(60, 70), false, true);
  EXPECT_TRUE(Unchanged());

  RubberPaint->RubberArrow(At(100, 100), 30.0, true, false);
  RubberPaint->RubberArrow(At(110, 100), 200.0, false, false);
  RubberPaint->RubberArrow(At(110, 100), 200.0, false, true);
  EXPECT_TRUE(Unchanged());

  TRealPoint radiusEnd = At(190, 100);
  RubberPaint->RubberArc(At(200, 100), At(150, 50), At(150, 100), &radiusEnd, true, false);
  EXPECT_FALSE(Unchanged());
  RubberPaint->RubberArc(At(150, 150), At(200, 100), At(150, 100), nullptr, false, false);
  RubberPaint->RubberArc(At(150, 150), At(200, 100), At(150, 100), nullptr, false, true);
  EXPECT_TRUE(Unchanged());
}

TEST_F(TRubberPaintTest, CornersDoubleArcsAndTransformedArcsVanishToo) {
  auto world = [&](int px, int py) {
    TRealPoint p = At(px, py);
    return TIntPoint{SaturatingRound(p.X), SaturatingRound(p.Y)};
  };
  RubberPaint->RubberCorner(world(20, 150), world(100, 150), world(100, 150), world(100, 60), 4,
                            true, true, false);
  EXPECT_TRUE(RubberPaint->CornerArcShown);
  RubberPaint->RubberCorner(world(20, 150), world(100, 150), world(100, 150), world(180, 60), 4,
                            true, false, false);
  // A corner whose first leg has no length gets no corner arc.
  RubberPaint->RubberCorner(world(100, 150), world(100, 150), world(100, 150), world(180, 60), 0,
                            true, false, false);
  EXPECT_FALSE(RubberPaint->CornerArcShown);
  RubberPaint->RubberCorner(world(100, 150), world(100, 150), world(100, 150), world(180, 60), 0,
                            true, false, true);
  EXPECT_TRUE(Unchanged());

  std::array<TIntPoint, 6> arcs{world(190, 100), world(150, 60), world(200, 100),
                                world(150, 50), world(150, 100), world(170, 120)};
  RubberPaint->RubberDoubleArc(arcs, true, false);
  EXPECT_FALSE(Unchanged());
  arcs[1] = world(110, 100);
  arcs[3] = world(100, 100);
  RubberPaint->RubberDoubleArc(arcs, false, false);
  RubberPaint->RubberDoubleArc(arcs, false, true);
  EXPECT_TRUE(Unchanged());

  // A transformed arc replaces a plain arc and is replaced by one.
  RubberPaint->RubberArc(At(200, 100), At(150, 50), At(150, 100), nullptr, true, false);
  RubberPaint->RubberTransformedArc(At(200, 100), At(150, 100), At(100, 100), IdentityMatrix,
                                    false, false);
  EXPECT_TRUE(RubberPaint->ArcIsPolyline);
  RubberPaint->RubberArc(At(200, 100), At(150, 50), At(150, 100), nullptr, false, false);
  EXPECT_FALSE(RubberPaint->ArcIsPolyline);
  RubberPaint->RubberArc(At(200, 100), At(150, 50), At(150, 100), nullptr, false, true);
  EXPECT_TRUE(Unchanged());
}

TEST_F(TRubberPaintTest, AnArcWhoseEndsMeetOnScreenDrawsNothing) {
  TRecordingCanvas rec;
  RubberPaint->SetCanvas(&rec);
  RubberPaint->DrawScreenArc({10, 10}, {10, 10}, {0, 0});
  EXPECT_TRUE(rec.Calls.empty());
  RubberPaint->DrawScreenArc({13, 10}, {10, 13}, {10, 10});
  ASSERT_EQ(rec.Calls.size(), 1u);
  EXPECT_EQ(rec.Calls[0].ToString(), "Arc(7,7,13,13,13,10,10,13)");
}

TEST_F(TRubberPaintTest, TheArrowLeansByTheCompensationSide) {
  TRecordingCanvas rec;
  RubberPaint->SetCanvas(&rec);
  auto firstPoint = [&](uint8_t side) {
    CurrentCompensationSide = [side] { return side; };
    rec.Calls.clear();
    RubberPaint->DrawArrowHead(0.0, 100, 100);
    return std::make_pair(rec.Calls[0].Args[0], rec.Calls[0].Args[1]);
  };
  // Along +X the left of the path is up the screen.
  EXPECT_EQ(firstPoint(0), std::make_pair(100, 100));
  EXPECT_EQ(firstPoint(1), std::make_pair(100, 90));
  EXPECT_EQ(firstPoint(2), std::make_pair(100, 110));
  CurrentCompensationSide = nullptr;
  rec.Calls.clear();
  RubberPaint->DrawArrowHead(90.0, 100, 100);
  // Pointing up: the tip is 15 pixels above.
  EXPECT_EQ(rec.Calls[1].ToString(), "LineTo(100,85)");
}

TEST_F(TRubberPaintTest, ATransformedArcIsAChordPolylineThroughTheTransform) {
  TRealPoint s = At(200, 100), c = At(150, 100);
  // Start equals end: a full circle of at most 100 chords.
  RubberPaint->RubberTransformedArc(s, c, s, IdentityMatrix, true, false);
  const auto& pts = RubberPaint->LastPolyline;
  ASSERT_GE(pts.size(), 3u);
  ASSERT_LE(pts.size(), 101u);
  EXPECT_EQ(pts.front(), (TPoint{200, 100}));
  EXPECT_EQ(pts.back(), (TPoint{200, 100}));
  for (const TPoint& p : pts) EXPECT_NEAR(std::hypot(p.X - 150, p.Y - 100), 50.0, 1.0);
  // Every point goes through the caller's transform (a shift here).
  TMatrix3 shift = IdentityMatrix;
  TranslateMatrix(shift, 10.0, -5.0);
  RubberPaint->RubberTransformedArc(s, c, At(100, 100), shift, false, false);
  EXPECT_EQ(RubberPaint->LastPolyline.front(), (TPoint{210, 95}));
  EXPECT_EQ(RubberPaint->LastPolyline.back(), (TPoint{110, 95}));
  // A zero radius gives the start point alone.
  RubberPaint->RubberTransformedArc(c, c, c, IdentityMatrix, false, true);
  EXPECT_EQ(RubberPaint->LastPolyline.size(), 1u);
}

TEST_F(TRubberPaintTest, LabelledBoxesAndDigitsPaintInTheirColour) {
  TRecordingCanvas rec;
  RubberPaint->SetCanvas(&rec);
  RubberPaint->SetXorPen();
  RubberPaint->RubberLabelledBox(At(10, 50), At(80, 90), clRed, 12, true, false);
  ASSERT_FALSE(rec.Calls.empty());
  for (const TCanvasCall& call : rec.Calls) {
    EXPECT_EQ(call.Pen.Color, clRed);
    EXPECT_EQ(call.Pen.Mode, pmCopy);
  }
  // Two digits and the four sides; the digit "1" begins at (10 + 4 + 2, 50 - 20 + 6).
  EXPECT_EQ(rec.Calls[0].ToString(), "MoveTo(16,36)");
  EXPECT_EQ(rec.Pen.Mode, pmXor);
  EXPECT_EQ(rec.Pen.Color, clWhite);
}

TEST_F(TRubberPaintTest, CrossMarksAndTheMultipleItemsNoticeAreDrawnTwiceToVanish) {
  Screen->RedrawView();
  RubberPaint->SetCanvas(nullptr);  // the paint box itself
  TPaintBox& box = *Form->PaintBox;
  std::vector<TColor> before = box.Buffer().Pixels();
  ViewServices().DrawCrossMark(0, 0);
  EXPECT_NE(box.Buffer().Pixels(), before);
  ViewServices().DrawCrossMark(0, 0);
  EXPECT_EQ(box.Buffer().Pixels(), before);

  ViewServices().ShowMultipleItemsNotice();
  EXPECT_NE(box.Buffer().Pixels(), before);
  ViewServices().ShowMultipleItemsNotice();
  EXPECT_EQ(box.Buffer().Pixels(), before);
}
