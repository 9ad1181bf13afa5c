#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QObject>
#include <array>
#include <functional>
#include <chrono>
#include <thread>

#include "canvas_test_helpers.h"
#include "korvex_test.h"
#include "platform/canvas.h"
#include "platform/events.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/raster_canvas.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_events.h"

namespace {

class QtCanvasTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    InstallQtCanvasBackend();
  }
  void TearDown() override {
    SetCanvasBackend(nullptr);
    TKorvexTest::TearDown();
  }
};

// The shared figures and shapes far outside the device.
void DrawFigures(TCanvas& c) {
  DrawBasicFigures(c);
  // Far outside the device, as a strongly zoomed view produces.
  c.MoveTo(-2147483647, 20);
  c.LineTo(2147483647, 21);
  c.Ellipse(-2000000000, -2000000000, 2000000000, 2000000000);
  c.Polygon({{-2000000000, 0}, {50, 2000000000}, {60, 30}});
}

}  // namespace

TEST_F(QtCanvasTest, XorAndNotXorDrawnTwiceRestoreTheImage) {
  for (TPenMode mode : {pmXor, pmNotXor}) {
    auto bmp = Patterned(80, 72);
    ASSERT_NE(dynamic_cast<TQtBitmap*>(bmp.get()), nullptr);
    std::vector<TColor> before = bmp->Pixels();
    TCanvas& c = bmp->Canvas();
    c.Pen.Mode = mode;
    c.Pen.Color = clWhite;
    c.Brush.Color = RGB(0x12, 0x34, 0x56);
    c.Brush.Style = bsDiagCross;
    DrawFigures(c);
    EXPECT_NE(bmp->Pixels(), before);
    DrawFigures(c);
    EXPECT_EQ(bmp->Pixels(), before) << "mode " << mode;
  }
}

TEST_F(QtCanvasTest, PixelGeometryFollowsTheClassicDevice) {
  auto bmp = TBitmap::Create(20, 20);
  TCanvas& c = bmp->Canvas();
  c.MoveTo(2, 3);
  c.LineTo(7, 3);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(c.GetPixel(x, 3), (x >= 2 && x < 7) ? clBlack : clWhite) << x;
  c.MoveTo(10, 10);
  c.LineTo(14, 14);
  EXPECT_EQ(c.GetPixel(13, 13), clBlack);
  EXPECT_EQ(c.GetPixel(14, 14), clWhite);

  auto r = TBitmap::Create(12, 12);
  TCanvas& rc = r->Canvas();
  rc.Pen.Color = clRed;
  rc.Brush.Color = clBlue;
  rc.Rectangle(2, 2, 8, 6);
  EXPECT_EQ(CountColor(*r, clRed), 16);
  EXPECT_EQ(CountColor(*r, clBlue), 8);
  EXPECT_EQ(rc.GetPixel(8, 5), clWhite);

  // Raster modes reach the pixels.
  rc.Pen.Mode = pmNot;
  rc.MoveTo(0, 11);
  rc.LineTo(12, 11);
  EXPECT_EQ(rc.GetPixel(5, 11), clBlack);
  rc.Pen.Mode = pmNotCopy;
  rc.Pen.Color = clYellow;
  rc.MoveTo(0, 10);
  rc.LineTo(12, 10);
  EXPECT_EQ(rc.GetPixel(5, 10), clBlue);
}

TEST_F(QtCanvasTest, ArcsLandInTheRightQuadrants) {
  auto quadrants = [](const TBitmap& b) {
    std::array<int, 4> n{};
    std::vector<TColor> px = b.Pixels();
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        if (px[size_t(y * b.Width() + x)] != clBlack) continue;
        bool right = x >= 22, left = x <= 17, top = y <= 17, bottom = y >= 22;
        n[0] += right && top;
        n[1] += left && top;
        n[2] += left && bottom;
        n[3] += right && bottom;
      }
    return n;
  };
  auto bmp = TBitmap::Create(40, 40);
  bmp->Canvas().Arc(0, 0, 40, 40, 39, 20, 20, 0);
  auto q = quadrants(*bmp);
  EXPECT_GT(q[0], 15);
  EXPECT_EQ(q[1] + q[2] + q[3], 0);

  bmp = TBitmap::Create(40, 40);
  bmp->Canvas().Arc(0, 0, 40, 40, 20, 0, 39, 20);
  q = quadrants(*bmp);
  EXPECT_EQ(q[0], 0);
  EXPECT_GT(q[1], 15);
  EXPECT_GT(q[2], 15);
  EXPECT_GT(q[3], 15);
}

TEST_F(QtCanvasTest, CopyRectStretchesAndTheImageShowsTheDrawing) {
  auto src = TBitmap::Create(2, 2);
  src->Canvas().SetPixel(0, 0, clRed);
  src->Canvas().SetPixel(1, 0, clLime);
  src->Canvas().SetPixel(0, 1, clBlue);
  src->Canvas().SetPixel(1, 1, clYellow);
  auto dst = TBitmap::Create(6, 6);
  TCanvas& c = dst->Canvas();
  c.CopyRect({1, 1, 5, 5}, *src, {0, 0, 2, 2});
  EXPECT_EQ(CountColor(*dst, clRed), 4);
  EXPECT_EQ(c.GetPixel(2, 2), clRed);
  EXPECT_EQ(c.GetPixel(3, 1), clLime);
  EXPECT_EQ(c.GetPixel(1, 4), clBlue);
  EXPECT_EQ(c.GetPixel(4, 4), clYellow);
  EXPECT_EQ(c.GetPixel(5, 5), clWhite);

  auto big = Patterned(8, 8);
  std::vector<TColor> before = big->Pixels();
  big->Canvas().CopyMode = cmSrcInvert;
  big->Canvas().CopyRect({0, 0, 4, 4}, *src, {0, 0, 2, 2});
  EXPECT_NE(big->Pixels(), before);
  big->Canvas().CopyRect({0, 0, 4, 4}, *src, {0, 0, 2, 2});
  EXPECT_EQ(big->Pixels(), before);

  // The image a widget shows holds what was drawn, in RGB32.
  auto* qt = dynamic_cast<TQtBitmap*>(dst.get());
  ASSERT_NE(qt, nullptr);
  c.Pen.Color = clNavy;
  c.MoveTo(0, 0);
  c.LineTo(3, 0);
  const QImage& image = qt->Image();
  EXPECT_EQ(image.format(), QImage::Format_RGB32);
  EXPECT_EQ(FromQRgb(image.pixel(1, 0)), clNavy);
  EXPECT_TRUE(dst->SaveToPng((TempDir / "q.png").string()));
}

TEST_F(QtCanvasTest, TextIsMeasuredAndDrawn) {
  auto bmp = TBitmap::Create(120, 40);
  TCanvas& c = bmp->Canvas();
  c.Font.Name = "DejaVu Sans Mono";
  c.Font.FixedPitch = true;
  TPoint one = c.TextExtent("W"), four = c.TextExtent("WWWW");
  EXPECT_GT(one.X, 0);
  EXPECT_GT(one.Y, 0);
  EXPECT_EQ(four.X, 4 * one.X);
  c.Font.Color = clRed;
  c.Brush.Color = clYellow;
  c.TextOut(2, 2, "WWWW");
  EXPECT_EQ(c.PenPos().X, 2 + four.X);
  EXPECT_GT(CountColor(*bmp, clYellow), 0);
  EXPECT_EQ(c.GetPixel(2 + four.X + 2, 5), clWhite);
}

TEST(QtEvents, TimersFireUnderProcessEvents) {
  InstallQtEventsBackend();
  int fired = 0, other = 0;
  {
    TTimer once, repeating;
    once.SetInterval(5);
    once.OnTimer = [&] {
      ++fired;
      once.SetEnabled(false);
    };
    repeating.SetInterval(1);
    repeating.OnTimer = [&] { ++other; };
    QElapsedTimer wait;
    wait.start();
    uint32_t t0 = GetTickCount();
    while ((fired == 0 || other < 3) && wait.elapsed() < 5000) ProcessMessages();
    EXPECT_EQ(fired, 1);
    EXPECT_GE(other, 3);
    EXPECT_GE(GetTickCount() - t0, 5u);
    for (int i = 0; i < 20; ++i) ProcessMessages();
    EXPECT_EQ(fired, 1);
  }
  TDateTimeParts now = LocalNow();
  EXPECT_GE(now.Year, 2024);
  SetEventsBackend(nullptr);
}

// A loop's pass right behind another is left out, and one that comes after
// the interval runs; a plain pass always runs. The headless backend runs
// every pass of a loop.
TEST(QtEvents, LoopPassesFollowingTheLastTooCloselyAreLeftOut) {
  InstallQtEventsBackend();
  int delivered = 0;
  QObject receiver;
  auto post = [&] { QMetaObject::invokeMethod(&receiver, [&] { ++delivered; }, Qt::QueuedConnection); };
  // The machine may pause between the two calls: one of many tries shows it.
  bool leftOut = false;
  for (int i = 0; i < 200 && !leftOut; ++i) {
    ProcessMessages();
    const int before = delivered;
    post();
    ProcessMessagesInLoop();
    leftOut = delivered == before;
    ProcessMessages();
    EXPECT_EQ(delivered, before + 1);
  }
  EXPECT_TRUE(leftOut);
  post();
  std::this_thread::sleep_for(std::chrono::milliseconds(2 * kLoopPassMs));
  const int before = delivered;
  ProcessMessagesInLoop();
  EXPECT_EQ(delivered, before + 1);
  SetEventsBackend(nullptr);

  int passes = 0;
  HeadlessSetProcessMessagesHook([&] { ++passes; });
  for (int i = 0; i < 5; ++i) ProcessMessagesInLoop();
  HeadlessSetProcessMessagesHook({});
  EXPECT_EQ(passes, 5);
}

// A run of lines keeps the painter's pen between LineTo calls and hands its
// lines to Qt together: whatever changes or draws in between (pen, width,
// mode, style, clip, background, fills, shapes, text, copies, pixels read and
// written, the image shown) must come after the lines before it and reach the
// next line, so the picture equals the one where every line is drawn on its
// own as a two-point polyline.
TEST_F(QtCanvasTest, RunsOfLinesFollowEveryChangeBetweenThem) {
  auto a = TBitmap::Create(64, 48), b = TBitmap::Create(64, 48);
  auto source = Patterned(8, 8);
  uint32_t seed = 5;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  struct TStep {
    uint32_t Kind, X, Y, V;
  };
  std::vector<TStep> steps;
  for (int i = 0; i < 3000; ++i) steps.push_back({next(22), next(70), next(54), next(1000)});
  auto run = [&](TBitmap& bmp, bool lineTo) {
    TCanvas& c = bmp.Canvas();
    const TPenMode modes[] = {pmCopy, pmXor, pmNotXor, pmCopy};
    const TPenStyle styles[] = {psSolid, psDot, psDashDot, psSolid};
    auto line = [&](int x, int y) {
      if (lineTo) {
        c.LineTo(x, y);
      } else {
        TPoint from = c.PenPos();
        c.Polyline({from, {x, y}});
        c.MoveTo(x, y);
      }
    };
    for (const TStep& s : steps) {
      int x = int(s.X) - 3, y = int(s.Y) - 3;
      switch (s.Kind) {
        case 0: c.Pen.Color = RGB(uint8_t(s.V), uint8_t(s.V * 7), uint8_t(s.V * 13)); break;
        case 1: c.Pen.Mode = modes[s.V % 4]; break;
        case 2: c.Pen.Style = styles[s.V % 4]; break;
        case 3: c.ClipRect(s.V % 3 == 0 ? TRect{} : TRect{x, y, x + 30, y + 20}); break;
        case 4: c.BackColor = RGB(uint8_t(s.V * 3), 0, uint8_t(s.V)); break;
        case 5: c.Rectangle(x, y, x + 5, y + 4); break;
        case 6: c.SetPixel(x, y, clRed); break;
        case 7: (void)c.GetPixel(x, y); break;
        case 8: c.MoveTo(x, y); break;
        case 9:
          c.Font.Color = RGB(0, uint8_t(s.V), 0x80);
          c.TextOut(x, y, "7");
          break;
        case 11: c.Pen.Width = s.V % 4 == 0 ? 3 : 1; break;
        case 12:
          c.Brush.Color = RGB(uint8_t(s.V * 5), 0x40, 0);
          c.FillRect({x, y, x + 6, y + 3});
          break;
        case 13: c.Ellipse(x, y, x + 7, y + 5); break;
        case 14: c.CopyRect({x, y, x + 8, y + 8}, *source, {0, 0, 8, 8}); break;
        case 15: (void)static_cast<TQtBitmap&>(bmp).Image(); break;
        default:
          if (s.Kind == 10) {  // one step, as the dots of small symbols
            x = c.PenPos().X + int(s.V % 3) - 1;
            y = c.PenPos().Y + int(s.V / 3 % 3) - 1;
          }
          line(x, y);
      }
    }
    // Long runs in one pen, in every direction and partly outside, as a
    // redraw's lines and symbol dots come: longer than Qt is handed at once,
    // in copy and crossing themselves in XOR.
    c.ClipRect({});
    c.Pen = TPen{};
    for (TPenMode mode : {pmCopy, pmXor}) {
      c.Pen.Mode = mode;
      c.Pen.Color = mode == pmXor ? clLime : clNavy;
      for (int i = 0; i < 10000; ++i) {
        int x = int(next(80)) - 8, y = int(next(64)) - 8;
        if (i % 2) {
          x = c.PenPos().X + int(next(3)) - 1;
          y = c.PenPos().Y + int(next(3)) - 1;
        } else if (i % 5 == 0) {
          c.MoveTo(x, y);
          continue;
        }
        line(x, y);
      }
    }
  };
  const uint32_t start = seed;
  run(*a, true);
  seed = start;
  run(*b, false);
  const QImage& shown = static_cast<TQtBitmap&>(*a).Image();
  EXPECT_EQ(a->Pixels(), b->Pixels());
  EXPECT_EQ(shown, static_cast<TQtBitmap&>(*b).Image());
}

// Lines of solid one-pixel pens and single pixels, which a redraw draws by
// the hundred thousand, land on the Qt image exactly where the headless
// raster puts them: in every mode, clipped or not, partly or wholly outside
// the picture, one step long (the dots of symbols) or long; pixels set
// several at once as one by one.
TEST_F(QtCanvasTest, SolidLinesAndPixelsMatchTheHeadlessRaster) {
  auto qt = TBitmap::Create(90, 70);
  TRasterBitmap raster(90, 70);
  uint32_t seed = 11;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  const TPenMode modes[] = {pmCopy, pmXor, pmNot, pmNotXor, pmMerge, pmMask, pmNotCopy, pmNop};
  for (TCanvas* c : {&qt->Canvas(), &raster.Canvas()}) c->Pen.Color = clBlack;
  for (int i = 0; i < 20000; ++i) {
    const uint32_t kind = next(12);
    const uint32_t v = next(1000);
    int x = int(next(130)) - 20, y = int(next(110)) - 20;
    for (TCanvas* c : {&qt->Canvas(), &raster.Canvas()}) {
      switch (kind) {
        case 0: c->Pen.Color = RGB(uint8_t(v), uint8_t(v * 7), uint8_t(v * 13)); break;
        case 1: c->Pen.Mode = modes[v % 8]; break;
        case 2: c->ClipRect(v % 2 == 0 ? TRect{} : TRect{x, y, x + 40, y + 30}); break;
        case 3: c->SetPixel(x, y, RGB(uint8_t(v), 0x20, 0x40)); break;
        case 11: {
          // A symbol's dot: set at once on the Qt image, pixel by pixel on
          // the headless raster.
          const TPoint dot[3] = {{x, y}, {x, y + 1}, {x + 1, y + 1}};
          const size_t count = 1 + v % 3;
          if (c == &raster.Canvas())
            for (size_t k = 0; k < count; ++k) c->SetPixel(dot[k].X, dot[k].Y, RGB(0x30, uint8_t(v), 0x50));
          else
            c->SetPixels(dot, count, RGB(0x30, uint8_t(v), 0x50));
          break;
        }
        case 4: c->MoveTo(x, y); break;
        case 5:
        case 6: c->LineTo(c->PenPos().X + int(v % 3) - 1, c->PenPos().Y + int(v / 3 % 3) - 1); break;
        default: c->LineTo(x, y); break;
      }
    }
  }
  EXPECT_EQ(qt->Pixels(), raster.Pixels());
}

// The image handed out keeps what it showed: drawing after it was copied
// changes the canvas's picture, not the copy.
TEST_F(QtCanvasTest, AnImageCopyStaysAsItWasWhenDrawingGoesOn) {
  auto bmp = TBitmap::Create(20, 20);
  auto& qt = static_cast<TQtBitmap&>(*bmp);
  TCanvas& c = bmp->Canvas();
  c.MoveTo(0, 5);
  c.LineTo(10, 5);
  const QImage copy = qt.Image();
  c.MoveTo(0, 7);
  c.LineTo(10, 7);
  c.SetPixel(3, 9, clRed);
  EXPECT_EQ(FromQRgb(copy.pixel(4, 5)), clBlack);
  EXPECT_EQ(FromQRgb(copy.pixel(4, 7)), clWhite);
  EXPECT_EQ(FromQRgb(copy.pixel(3, 9)), clWhite);
  EXPECT_EQ(c.GetPixel(4, 7), clBlack);
  EXPECT_EQ(c.GetPixel(3, 9), clRed);
  // A picture as large as a screen's lies on memory of its own.
  bmp->SetSize(3 * 1280, 3 * 1024);
  c.MoveTo(5, 5);
  c.LineTo(3000, 2000);
  EXPECT_EQ(c.GetPixel(5, 5), clBlack);
  EXPECT_EQ(qt.Image().width(), 3 * 1280);
}

TEST_F(QtCanvasTest, OnePixelArcsHaveTheHeadlessRastersPixels) {
  // Circles as two halves, arcs between any rays, solid and dashed, in copy
  // and XOR, clipped, inside the image, across its edge and far larger.
  struct TCase {
    TRect Box;
    TPoint From, To;
    TPenStyle Style;
    TPenMode Mode;
    TRect Clip;
  };
  const TCase cases[] = {
      {{10, 8, 51, 49}, {10, 48}, {50, 8}, psSolid, pmCopy, {}},
      {{10, 8, 51, 49}, {50, 8}, {10, 48}, psDashDot, pmXor, {}},
      {{-30, 20, 90, 70}, {0, 0}, {60, 70}, psDot, pmCopy, {5, 5, 40, 30}},
      {{4, 4, 58, 44}, {31, 24}, {31, 24}, psDash, pmNotXor, {}},
      {{-4000, -3000, 4060, 3050}, {-4000, 0}, {4060, 3050}, psSolid, pmXor, {}},
      {{-2000000000, -1000, 2000000000, 3000}, {0, -1000}, {0, 3000}, psDashDotDot, pmCopy, {}},
  };
  for (const TCase& k : cases) {
    auto qt = Patterned(64, 48);
    TRasterBitmap raster(64, 48);
    raster.Buffer() = qt->Pixels();
    for (TCanvas* c : {&qt->Canvas(), &raster.Canvas()}) {
      c->Pen.Color = RGB(0x20, 0xA0, 0x60);
      c->BackColor = clYellow;
      c->Pen.Style = k.Style;
      c->Pen.Mode = k.Mode;
      c->ClipRect(k.Clip);
      c->Arc(k.Box.Left, k.Box.Top, k.Box.Right, k.Box.Bottom, k.From.X, k.From.Y, k.To.X, k.To.Y);
    }
    EXPECT_EQ(qt->Pixels(), raster.Pixels()) << "arc in " << k.Box.Left << "," << k.Box.Top << " style " << k.Style;
  }
}

// The marks of a run of holes, stamped at once on the Qt image, land where
// the headless raster sets them pixel by pixel: across the edges, clipped
// or not, with a painter open or closed in between.
TEST_F(QtCanvasTest, PatternPixelsMatchTheHeadlessRaster) {
  auto qt = TBitmap::Create(80, 60);
  TRasterBitmap raster(80, 60);
  uint32_t seed = 29;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  const TPoint dot[3] = {{0, 0}, {0, 1}, {1, 1}};
  const TPoint wide[9] = {{-2, 0}, {3, -1}, {0, 0}, {1, 4}, {-1, -3}, {2, 2}, {0, 1}, {4, 4}, {-3, 1}};
  for (int round = 0; round < 300; ++round) {
    const bool clip = next(3) == 0;
    const TRect r{int(next(90)) - 5, int(next(70)) - 5, int(next(90)) - 5, int(next(70)) - 5};
    for (TCanvas* c : {&qt->Canvas(), &raster.Canvas()}) c->ClipRect(clip ? r : TRect{});
    if (next(4) == 0) {
      // A rectangle filled through the painter in between.
      const int top = round % 60;
      for (TCanvas* c : {&qt->Canvas(), static_cast<TCanvas*>(&raster.Canvas())}) {
        c->Brush.Color = RGB(0x10, uint8_t(round), 0x70);
        c->FillRect({5, top, 40, top + 7});
      }
    }
    std::vector<TColoredPoint> points(1 + next(30));
    for (TColoredPoint& p : points)
      p = {int(next(100)) - 10, int(next(80)) - 10, RGB(uint8_t(next(256)), uint8_t(next(256)), 0x40)};
    const TPoint* offsets = next(2) ? dot : wide;
    const size_t n = offsets == dot ? 1 + next(3) : 1 + next(9);
    qt->Canvas().SetPatternPixels(points.data(), points.size(), offsets, n);
    for (const TColoredPoint& p : points)
      for (size_t k = 0; k < n; ++k) raster.Canvas().SetPixel(p.X + offsets[k].X, p.Y + offsets[k].Y, p.Color);
  }
  EXPECT_EQ(qt->Pixels(), raster.Pixels());
}

// Circles drawn at once on the Qt image paint what the headless raster's
// two arcs paint: rings of a few sizes over and over, across the edges,
// clipped or not, in copy and XOR.
TEST_F(QtCanvasTest, CirclesMatchTheHeadlessRastersArcs) {
  auto qt = TBitmap::Create(90, 70);
  TRasterBitmap raster(90, 70);
  uint32_t seed = 53;
  auto next = [&](int n) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % uint32_t(n));
  };
  for (int round = 0; round < 60; ++round) {
    const bool clip = next(3) == 0;
    const TRect r{next(100) - 5, next(80) - 5, next(100) - 5, next(80) - 5};
    const TPenMode mode = next(5) == 0 ? pmXor : pmCopy;
    for (TCanvas* c : {&qt->Canvas(), static_cast<TCanvas*>(&raster.Canvas())}) {
      c->ClipRect(clip ? r : TRect{});
      c->Pen.Mode = mode;
      c->Pen.Style = psSolid;
    }
    std::vector<TCircleMark> circles(size_t(next(30)));
    for (TCircleMark& m : circles) {
      const int d = 2 + 5 * next(6), x = next(110) - 10, y = next(90) - 10;
      m = {x, y + d, x + d, y, RGB(uint8_t(next(256)), 0x30, uint8_t(next(256)))};
    }
    qt->Canvas().DrawCircles(circles.data(), circles.size());
    raster.Canvas().TCanvas::DrawCircles(circles.data(), circles.size());
  }
  EXPECT_EQ(qt->Pixels(), raster.Pixels());
}

// Symbols stamped at once on the Qt image land where the headless raster's
// own lines put them, and leave the pen where the raster leaves it.
TEST_F(QtCanvasTest, StampsMatchTheHeadlessRaster) {
  auto qt = TBitmap::Create(90, 70);
  TRasterBitmap raster(90, 70);
  uint32_t seed = 41;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  std::vector<std::vector<TFigureStep>> steps(4);
  for (auto& f : steps) {
    f.resize(1 + next(6));
    for (TFigureStep& s : f) s = {int(next(21)) - 10, int(next(21)) - 10, next(3) != 0};
  }
  std::vector<TFigure> figures;
  for (const auto& f : steps) figures.push_back({f.data(), f.size()});
  for (int round = 0; round < 200; ++round) {
    const bool clip = next(3) == 0;
    const TRect r{int(next(100)) - 5, int(next(80)) - 5, int(next(100)) - 5, int(next(80)) - 5};
    const TPenMode mode = next(4) == 0 ? pmXor : pmCopy;
    std::vector<TStamp> stamps(next(25));
    for (TStamp& s : stamps)
      s = {int(next(110)) - 10, int(next(90)) - 10, RGB(uint8_t(next(256)), 0x20, uint8_t(next(256))), next(4)};
    for (TCanvas* c : {&qt->Canvas(), static_cast<TCanvas*>(&raster.Canvas())}) {
      c->ClipRect(clip ? r : TRect{});
      c->Pen.Mode = mode;
      c->MoveTo(0, 0);
    }
    qt->Canvas().DrawStamps(stamps.data(), stamps.size(), figures.data(), figures.size());
    raster.Canvas().TCanvas::DrawStamps(stamps.data(), stamps.size(), figures.data(), figures.size());
    ASSERT_EQ(qt->Canvas().PenPos(), raster.Canvas().PenPos()) << "round " << round;
  }
  EXPECT_EQ(qt->Pixels(), raster.Pixels());
}

// Dashed one-pixel lines (the step copies, the zero lines) and arcs land on
// the Qt image where the headless raster puts them, gaps in the background:
// in every direction, steep or shallow, a polyline's dashes running on from
// segment to segment, across the edge, clipped, far outside, in copy and
// XOR. Drawn again in the solid pen of the background, as an erase does,
// they leave nothing behind.
TEST_F(QtCanvasTest, DashedLinesAndArcsMatchTheHeadlessRasterAndEraseCleanly) {
  struct TShape {
    const char* Name;
    std::function<void(TCanvas&)> Draw;
  };
  auto line = [](int x0, int y0, int x1, int y1) {
    return [=](TCanvas& c) {
      c.MoveTo(x0, y0);
      c.LineTo(x1, y1);
    };
  };
  const TShape shapes[] = {
      {"to the right", line(5, 6, 57, 6)},
      {"to the left", line(57, 9, 5, 9)},
      {"down", line(60, 3, 60, 44)},
      {"up", line(62, 44, 62, 3)},
      {"shallow to the left", line(50, 30, 4, 14)},
      {"steep up", line(40, 45, 33, 2)},
      {"one step", line(20, 40, 21, 41)},
      {"across the edge", line(-20, 35, 30, 47)},
      {"far outside", line(-2000000000, 20, 2000000000, 24)},
      {"polyline", [](TCanvas& c) { c.Polyline({{3, 40}, {17, 12}, {29, 12}, {29, 38}, {8, 44}}); }},
      {"arc", [](TCanvas& c) { c.Arc(10, 8, 51, 41, 51, 24, 10, 8); }},
      {"circle", [](TCanvas& c) {
         c.Arc(20, 10, 45, 35, 20, 35, 45, 10);
         c.Arc(20, 10, 45, 35, 45, 10, 20, 35);
       }},
  };
  const TColor back = RGB(0, 0, 0x80);
  for (TPenStyle style : {psDash, psDot, psDashDot, psDashDotDot}) {
    for (const TShape& s : shapes) {
      SCOPED_TRACE(::testing::Message() << s.Name << " style " << style);
      for (TPenMode mode : {pmCopy, pmXor}) {
        for (bool clip : {false, true}) {
          auto qt = Patterned(64, 48);
          TRasterBitmap raster(64, 48);
          raster.Buffer() = qt->Pixels();
          for (TCanvas* c : {&qt->Canvas(), static_cast<TCanvas*>(&raster.Canvas())}) {
            c->Pen.Color = RGB(0xC0, 0xC0, 0xC0);
            c->Pen.Style = style;
            c->Pen.Mode = mode;
            c->BackColor = back;
            c->ClipRect(clip ? TRect{8, 5, 50, 40} : TRect{});
            s.Draw(*c);
          }
          EXPECT_EQ(qt->Pixels(), raster.Pixels()) << (mode == pmXor ? "xor" : "copy") << (clip ? " clipped" : "");
        }
      }
      auto qt = TBitmap::Create(64, 48);
      TCanvas& c = qt->Canvas();
      c.Brush.Color = back;
      c.FillRect({0, 0, 64, 48});
      c.Pen.Color = RGB(0xC0, 0xC0, 0xC0);
      c.Pen.Style = style;
      c.BackColor = back;
      s.Draw(c);
      EXPECT_GT(64 * 48 - CountColor(*qt, back), 0);
      c.Pen.Color = back;
      c.Pen.Style = psSolid;
      s.Draw(c);
      EXPECT_EQ(CountColor(*qt, back), 64 * 48);
    }
  }
}
