// MyScreen: zoom and its limits, scroll bars, pixel/world mapping, drag-pan,
// window and extents zooms, the picture and the coordinate panel.
#include <cmath>
#include <stdexcept>

#include "model/drill_database.h"
#include "platform/headless/headless_events.h"
#include "view_test_support.h"

namespace {

constexpr double Limit = 1073741824.0 / 25400000.0;

TInputEvent Mouse(uint16_t kind, uint8_t buttons, int x, int y, bool shift = false) {
  TInputEvent e;
  e.Kind = kind;
  e.Buttons = buttons;
  e.X = x;
  e.Y = y;
  e.Shift = shift ? 1 : 0;
  return e;
}

}  // namespace

class TMyScreenTest : public TViewTest {};

TEST_F(TMyScreenTest, ZoomIsClampedAndSetsTheScale) {
  Screen->SetZoom(1.0);
  EXPECT_DOUBLE_EQ(Screen->PixelsPerInch, 200.0 / (2.0 * Limit));
  Screen->SetZoom(1e9);
  EXPECT_EQ(Screen->Zoom, 100000.0);
  Screen->ZoomIn();
  EXPECT_EQ(Screen->Zoom, 100000.0);
  EXPECT_DOUBLE_EQ(Screen->PixelsPerInch, 200.0 * 100000.0 / (2.0 * Limit));
  Screen->SetZoom(0.1);
  EXPECT_EQ(Screen->Zoom, 0.95);
  Screen->ZoomOut();
  EXPECT_EQ(Screen->Zoom, 0.95);
  EXPECT_EQ(HeadlessButtonBar().StateOf(cmZoomOut), THeadlessButtonBar::bsReleased);
  Screen->SetZoom(std::nan(""));
  EXPECT_EQ(Screen->Zoom, 0.95);
  Screen->SetZoom(8.0);
  Screen->ZoomOut();
  EXPECT_EQ(Screen->Zoom, 4.0);
  Screen->ZoomIn();
  EXPECT_EQ(Screen->Zoom, 8.0);
  EXPECT_EQ(Form->Horizontal->LargeChange(), 50);
  EXPECT_EQ(Form->Horizontal->SmallChange(), 12);
}

TEST_F(TMyScreenTest, ScrollBarsVanishWhenTheWholeExtentIsVisible) {
  Screen->SetZoom(1.0);
  EXPECT_EQ(Screen->ScrollBarsHidden, 1);
  EXPECT_FALSE(Form->Horizontal->Visible());
  EXPECT_FALSE(Form->Vertical->Visible());
  EXPECT_EQ(Form->XRoot->Height(), 0);
  EXPECT_EQ(Form->YRoot->Width(), 0);
  Screen->SetZoom(1.5);
  EXPECT_EQ(Screen->ScrollBarsHidden, 0);
  EXPECT_TRUE(Form->Horizontal->Visible());
  EXPECT_TRUE(Form->Vertical->Visible());
  EXPECT_EQ(Form->XRoot->Height(), 17);
  EXPECT_EQ(Form->YRoot->Width(), 17);
}

TEST_F(TMyScreenTest, ScrollPositionsCentreTheViewAcrossTheExtent) {
  Screen->SetZoom(4.0);
  struct {
    int Position;
    double Centre;
  } cases[] = {{0, -1073741824.0}, {5000, 0.0}, {10000, 1073741824.0}, {2500, -536870912.0}};
  for (auto c : cases) {
    Form->Horizontal->SetPosition(c.Position);
    Form->Vertical->SetPosition(c.Position);
    Screen->ScrollbarChange();
    EXPECT_EQ(Screen->CentreX, c.Centre) << c.Position;
    EXPECT_EQ(Screen->CentreY, -c.Centre) << c.Position;
  }
  // Panning moves the bars to the matching positions, and that move does
  // not drag the view onto the bars' coarser grid.
  Screen->PanTo(123456789, -987654);
  EXPECT_EQ(Form->Horizontal->Position(), 5575);
  EXPECT_EQ(Form->Vertical->Position(), 5005);
  EXPECT_EQ(Screen->CentreX, 123456789.0);
  EXPECT_EQ(Screen->CentreY, -987654.0);
}

TEST_F(TMyScreenTest, ACentreOutsideTheDatabaseExtentIsRefused) {
  Screen->SetZoom(4.0);
  Screen->PanTo(1000, 2000);
  EXPECT_FALSE(Screen->SetViewCentre(1073741825.0, 0.0));
  EXPECT_FALSE(Screen->SetViewCentre(0.0, -1073741825.0));
  EXPECT_FALSE(Screen->SetViewCentre(std::nan(""), 0.0));
  EXPECT_EQ(Screen->CentreX, 1000.0);
  EXPECT_EQ(Screen->CentreY, 2000.0);
  EXPECT_TRUE(Screen->SetViewCentre(1073741824.0, -1073741824.0));
}

TEST_F(TMyScreenTest, PixelsAndWorldMapBothWaysAtEveryZoom) {
  for (double zoom : {0.95, 1.0, 3.0, 250.0, 100000.0}) {
    Screen->SetZoom(zoom);
    Screen->PanTo(25400000, -12700000);
    const double ppi = Screen->PixelsPerInch;
    // The centre pixel is the view centre.
    EXPECT_NEAR(Screen->MouseToWorldX(150), 25400000.0, UnitsPerInchD / ppi) << zoom;
    EXPECT_NEAR(Screen->MouseToWorldY(100), -12700000.0, UnitsPerInchD / ppi) << zoom;
    for (int px : {0, 17, 150, 299}) {
      int32_t wx = Screen->MouseToWorldX(px);
      int32_t wy = Screen->MouseToWorldY(px / 2);
      EXPECT_EQ(RubberPaint->ScreenX(wx), px) << zoom;
      EXPECT_EQ(RubberPaint->ScreenY(wy), px / 2) << zoom;
    }
    EXPECT_EQ(Screen->PixelsToLength(10), SaturatingRound(10 / ppi * UnitsPerInchD));
  }
}

TEST_F(TMyScreenTest, SnapToGridGivesWholeGridSteps) {
  Screen->SetZoom(40.0);
  Screen->PanTo(30000000, 30000000);
  SnapToGrid = true;
  for (int px = 0; px < 300; px += 37) {
    EXPECT_EQ(Screen->MouseToWorldX(px) % 25400000, 0);
    EXPECT_EQ(Screen->MouseToWorldY(px / 2) % 25400000, 0);
  }
  GridStep = 0.1;
  int32_t x = Screen->MouseToWorldX(123);
  EXPECT_EQ(x % 2540000, 0);
  Metric = true;
  UnitsPerDisplayUnit = 1000000;
  GridStep = 5;
  EXPECT_EQ(Screen->MouseToWorldX(88) % 5000000, 0);
}

TEST_F(TMyScreenTest, ShiftDragPansWithoutReachingTheCommand) {
  int commands = 0;
  ViewHooks.CommandEvent = [&](TInputEvent&) { ++commands; };
  Screen->SetZoom(10.0);
  Screen->PanTo(0, 0);
  TInputEvent down = Mouse(ievMouseDown, mbtLeft, 100, 100, true);
  Screen->HandleEvent(down);
  EXPECT_EQ(Screen->Activity, acDragPan);
  TInputEvent move = Mouse(ievMouseMove, mbtLeft, 150, 80);
  Screen->HandleEvent(move);
  EXPECT_EQ(Screen->CentreX, -Screen->PixelsToLength(50));
  EXPECT_EQ(Screen->CentreY, Screen->PixelsToLength(-20));
  TInputEvent up = Mouse(ievMouseUp, 0, 150, 80);
  Screen->HandleEvent(up);
  EXPECT_EQ(Screen->Activity, acIdle);
  EXPECT_EQ(commands, 0);
  // Without Shift the click goes to the command with its world position.
  int32_t worldX = 0;
  ViewHooks.CommandEvent = [&](TInputEvent& e) { worldX = e.WorldX; };
  TInputEvent click = Mouse(ievMouseDown, mbtLeft, 10, 10);
  Screen->HandleEvent(click);
  EXPECT_EQ(worldX, Screen->MouseToWorldX(10));
}

TEST_F(TMyScreenTest, RightButtonDuringADragReturnsTheViewToWhereItBegan) {
  Screen->SetZoom(10.0);
  Screen->PanTo(5000000, 7000000);
  Screen->Activity = acMakeTapePick;  // a drag-pan returns to the state it interrupted
  TInputEvent down = Mouse(ievMouseDown, mbtLeft, 100, 100, true);
  Screen->HandleEvent(down);
  TInputEvent move = Mouse(ievMouseMove, mbtLeft, 140, 130);
  Screen->HandleEvent(move);
  EXPECT_NE(Screen->CentreX, 5000000.0);
  TInputEvent right = Mouse(ievMouseDown, mbtLeft | mbtRight, 140, 130);
  Screen->HandleEvent(right);
  EXPECT_EQ(Screen->PanCancelled, 1);
  TInputEvent stillHeld = Mouse(ievMouseMove, mbtRight, 160, 130);
  Screen->HandleEvent(stillHeld);
  EXPECT_EQ(Screen->PanCancelled, 1);
  TInputEvent released = Mouse(ievMouseUp, 0, 160, 130);
  Screen->HandleEvent(released);
  EXPECT_EQ(Screen->PanCancelled, 0);
  EXPECT_EQ(Screen->CentreX, 5000000.0);
  EXPECT_EQ(Screen->CentreY, 7000000.0);
  EXPECT_EQ(Screen->Activity, acMakeTapePick);
}

TEST_F(TMyScreenTest, EventsFollowTheActivityState) {
  int commands = 0, steps = 0, ends = 0, toggles = 0;
  bool animating = false;
  ViewHooks.CommandEvent = [&](TInputEvent&) { ++commands; };
  ViewHooks.StepForward = [&] { ++steps; };
  ViewHooks.EndSingleStep = [&] { ++ends; };
  ViewHooks.Animating = [&] { return animating; };
  ViewHooks.ToggleAnimate = [&] { ++toggles; };
  TInputEvent left = Mouse(ievMouseDown, mbtLeft, 5, 5);
  TInputEvent right = Mouse(ievMouseDown, mbtRight, 5, 5);
  Screen->Activity = acModal;
  Screen->HandleEvent(left);
  EXPECT_EQ(commands, 0);
  Screen->Activity = acSingleStep;
  Screen->HandleEvent(left);
  Screen->HandleEvent(right);
  animating = true;
  Screen->HandleEvent(right);
  EXPECT_EQ(steps, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(toggles, 1);
  EXPECT_EQ(commands, 0);
  // A sink that fails leaves the handler ready for the next event.
  Screen->Activity = acIdle;
  ViewHooks.CommandEvent = [&](TInputEvent&) { throw std::runtime_error("sink"); };
  EXPECT_THROW(Screen->HandleEvent(left), std::runtime_error);
  EXPECT_EQ(Screen->HandlingEvent, 0);
  // A sink that pumps an event into the handler is not re-entered.
  ViewHooks.CommandEvent = [&](TInputEvent& e) {
    ++commands;
    Screen->HandleEvent(e);
  };
  Screen->HandleEvent(left);
  EXPECT_EQ(commands, 1);
}

TEST_F(TMyScreenTest, ZoomWindowFitsTheWindowAndCentresOnIt) {
  Screen->ZoomWindow(0, 0, 25400000, 25400000);
  // 300 x 200: the vertical half-extent at zoom 1 is Limit, the
  // horizontal one Limit x 1.5; the window is one inch each way.
  EXPECT_DOUBLE_EQ(Screen->Zoom, 0.9 * std::min(2.0 * Limit * 1.5, 2.0 * Limit));
  EXPECT_EQ(Screen->CentreX, 12700000.0);
  EXPECT_EQ(Screen->CentreY, 12700000.0);
  EXPECT_EQ(Form->Horizontal->Position(), 5059);
  EXPECT_EQ(Form->Vertical->Position(), 4941);
  // The whole window lies inside the paint box.
  EXPECT_GE(RubberPaint->ScreenX(0), 0);
  EXPECT_LE(RubberPaint->ScreenX(25400000), 300);
  EXPECT_GE(RubberPaint->ScreenY(25400000), 0);
  EXPECT_LE(RubberPaint->ScreenY(0), 200);
  // Corners in any order give the same view.
  Screen->ZoomWindow(25400000, 25400000, 0, 0);
  EXPECT_EQ(Screen->CentreX, 12700000.0);
}

TEST_F(TMyScreenTest, ZoomWindowOnAPointIsClampedAtTheLargestZoom) {
  Screen->ZoomWindow(1000, 2000, 1000, 2000);
  EXPECT_EQ(Screen->Zoom, 100000.0);
  EXPECT_EQ(Screen->CentreX, 1000.0);  // Round(999.5) to even
  EXPECT_EQ(Screen->CentreY, 2000.0);
  EXPECT_TRUE(std::isfinite(Screen->PixelsPerInch));
}

TEST_F(TMyScreenTest, ZoomExtentsZoomsOntoTheDrawingAndReleasesItsButton) {
  CreateDatabase();
  DB->AddLine(-50800000, -25400000, 50800000, 25400000);
  Screen->ExecuteViewCommand(cmZoomExtents);
  EXPECT_EQ(HeadlessButtonBar().StateOf(cmZoomExtents), THeadlessButtonBar::bsReleased);
  EXPECT_NEAR(Screen->CentreX, 0.0, 1.0);
  EXPECT_NEAR(Screen->CentreY, 0.0, 1.0);
  EXPECT_GT(Screen->Zoom, 1.0);
  EXPECT_GE(RubberPaint->ScreenX(-50800000), 0);
  EXPECT_LE(RubberPaint->ScreenX(50800000), 300);
  // Full Screen shows the whole extent, Zoom In and Out double and halve.
  Screen->ExecuteViewCommand(cmFullScreen);
  EXPECT_EQ(Screen->Zoom, 0.95);
  Screen->ExecuteViewCommand(cmZoomIn);
  EXPECT_EQ(Screen->Zoom, 1.9);
  Screen->ExecuteViewCommand(cmZoomOut);
  EXPECT_EQ(Screen->Zoom, 0.95);
  EXPECT_FALSE(Screen->ExecuteViewCommand(cmZoomPan));
}

TEST_F(TMyScreenTest, ThePictureIsRenderedAroundTheViewAndCopiedIntoThePaintBox) {
  CountRenders();
  CreateDatabase();
  BackgroundColor = clNavy;
  LayerColors[0] = clYellow;
  Screen->SetZoom(20.0);
  Screen->PanTo(0, 0);
  DB->AddLine(-2540000, 0, 2540000, 0);
  Screen->RedrawView();
  EXPECT_EQ(Screen->PictureBitmap().GetWidth(), 900);
  EXPECT_EQ(Screen->PictureBitmap().GetHeight(), 600);
  TCanvas& view = Form->PaintBox->Canvas();
  EXPECT_EQ(view.GetPixel(5, 5), clNavy);
  EXPECT_EQ(view.GetPixel(150, 100), clYellow);
  const int before = *Renders;
  // A pan inside the picture only copies.
  Screen->PanTo(Screen->PixelsToLength(40), 0);
  EXPECT_EQ(*Renders, before);
  EXPECT_EQ(view.GetPixel(110, 100), clYellow);
  EXPECT_EQ(view.GetPixel(150, 100), clNavy);
  // Leaving it renders again.
  Screen->PanTo(Screen->PixelsToLength(400), 0);
  EXPECT_EQ(*Renders, before + 1);
  // A locked view paints nothing until it is released.
  Screen->BeginUpdate();
  Screen->ZoomIn();
  EXPECT_EQ(*Renders, before + 1);
  Screen->EndUpdate();
  Screen->EndUpdate();  // an extra release does not wrap the lock
  EXPECT_EQ(Screen->UpdateLock, 0);
  Screen->Refresh();
  EXPECT_EQ(*Renders, before + 2);
}

// The drawing walks offer a copy of the picture every 1,000 entities: one
// is made, the next within kProgressCopyMs left out, one after it made; the
// view shows the whole picture when the redraw ends, however recent the last
// copy.
TEST_F(TMyScreenTest, ProgressiveCopiesCloserThanTheIntervalAreLeftOut) {
  CreateDatabase();
  BackgroundColor = clNavy;
  Screen->SetZoom(20.0);
  Screen->PanTo(0, 0);
  Screen->RedrawView();
  TCanvas& view = Form->PaintBox->Canvas();
  auto offered = [&] {
    view.Brush.Color = clRed;
    view.FillRect({0, 0, 300, 200});
    TRect source, target;
    DrillViewRects(source, target);
    ViewServices().CopyPictureToView(source, target);
    return view.GetPixel(5, 5) == clNavy;
  };
  EXPECT_TRUE(offered());
  EXPECT_FALSE(offered());
  HeadlessAdvanceTime(kProgressCopyMs - 1);
  EXPECT_FALSE(offered());
  HeadlessAdvanceTime(1);
  EXPECT_TRUE(offered());

  // A redraw whose walk offered copies within the interval ends with the
  // whole picture in the view.
  LayerColors[0] = clYellow;
  for (int32_t i = 0; i < 5000; ++i) DB->AddLine(-2540000, i, 2540000, i);
  view.Brush.Color = clRed;
  view.FillRect({0, 0, 300, 200});
  Screen->RedrawView();
  EXPECT_EQ(view.GetPixel(5, 5), clNavy);
  EXPECT_EQ(view.GetPixel(150, 100), clYellow);
}

TEST_F(TMyScreenTest, TheCurrentModesDatabaseIsDrawnLast) {
  std::string order;
  ViewHooks.RedrawRout = [&](bool) { order += "R"; };
  ViewHooks.RedrawDrill = [&] { order += "D"; };
  CreateDatabase();
  DB->AddLine(0, 0, 2540000, 0);
  auto render = [&](uint8_t mode) {
    order.clear();
    EditorMode = mode;
    Screen->RedrawView();
    return order;
  };
  EXPECT_EQ(render(emCad), "RD");
  EXPECT_EQ(render(emDrill), "RD");
  EXPECT_EQ(render(emRout), "DR");
}

TEST_F(TMyScreenTest, AViewOfNoSizeStillHasAUsableScale) {
  TMyScreen bare;
  bare.SetViewSize(0, 0);
  bare.SetZoom(3.0);
  EXPECT_GT(bare.PixelsPerInch, 0.0);
  EXPECT_TRUE(std::isfinite(bare.PixelsPerInch));
  bare.ZoomWindow(0, 0, 100, 100);
  EXPECT_TRUE(std::isfinite(bare.ViewLeft));
  EXPECT_EQ(bare.MouseToWorldX(0), SaturatingRound(bare.ViewLeft));
}

TEST_F(TMyScreenTest, ModalBracketSetsTheActivity) {
  {
    TModalBracket bracket;
    EXPECT_EQ(Screen->Activity, acModal);
    EXPECT_EQ(ViewServices().Activity(), acModal);
    {
      TModalBracket inner;  // a dialog opened from a dialog
    }
    EXPECT_EQ(Screen->Activity, acModal);
    EXPECT_EQ(HeadlessViewServices().ActivityByte, 4);
  }
  EXPECT_EQ(Screen->Activity, acIdle);
  EXPECT_EQ(HeadlessViewServices().ActivityByte, 0);
}

// The notice is drawn on the view itself, and the second call takes it away.
TEST_F(TMyScreenTest, TheMultipleItemsNoticeIsDrawnOnTheViewAndRemoved) {
  TCanvas& view = Form->PaintBox->Canvas();
  auto pixels = [&] {
    std::vector<TColor> all;
    for (int y = 0; y < Screen->ViewHeight(); ++y)
      for (int x = 0; x < Screen->ViewWidth(); ++x) all.push_back(view.GetPixel(x, y));
    return all;
  };
  const std::vector<TColor> before = pixels();
  ViewServices().ShowMultipleItemsNotice();
  EXPECT_NE(pixels(), before);
  EXPECT_FALSE(HeadlessViewServices().NoticeShown);
  ViewServices().ShowMultipleItemsNotice();
  EXPECT_EQ(pixels(), before);
}

TEST_F(TMyScreenTest, CoordinatesAreFormattedInSevenCharacters) {
  EXPECT_EQ(TMyScreen::FormatCoordinate(1.23456), " 01.235");
  EXPECT_EQ(TMyScreen::FormatCoordinate(-0.5), "-00.500");
  EXPECT_EQ(TMyScreen::FormatCoordinate(0.0), " 00.000");
  EXPECT_EQ(TMyScreen::FormatCoordinate(42.0), " 42.000");
  Metric = true;
  EXPECT_EQ(TMyScreen::FormatCoordinate(12.345), " 012.34");
  EXPECT_EQ(TMyScreen::FormatCoordinate(-1073.7), "-1073.7");
  EXPECT_EQ(TMyScreen::FormatCoordinate(5.0), " 005.00");
}

TEST_F(TMyScreenTest, TheCoordinatePanelFollowsThePointer) {
  Screen->PaintCoordinates();
  EXPECT_EQ(Screen->CoordinateText, "X 00.000 Y 00.000");
  EXPECT_EQ(Form->Coordinates->Width(),
            Form->Coordinates->Canvas().TextWidth("X 00.000 Y 00.000") + 10);
  Screen->SetZoom(40.0);
  Screen->PanTo(25400000, -63500000);
  TInputEvent move = Mouse(ievMouseMove, 0, 150, 100);
  Screen->HandleEvent(move);
  EXPECT_EQ(Screen->CoordinateText, "X O1.OOO Y-O2.5OO");
  // The machine orientation of the axis version: 2 exchanges X and Y.
  Version = 2;
  Screen->HandleEvent(move);
  EXPECT_EQ(Screen->CoordinateText, "X-O2.5OO Y O1.OOO");
  Metric = true;
  Screen->PaintCoordinates();
  EXPECT_EQ(Screen->CoordinateText, "X 000.00 Y 000.00");
}

TEST_F(TMyScreenTest, ShowErrorPutsBothLinesInOneBox) {
  TMyScreen::ShowError("First", "Second");
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "First\r\nSecond");
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtError);
}
