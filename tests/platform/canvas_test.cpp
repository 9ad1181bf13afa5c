#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <tuple>

#include "canvas_test_helpers.h"
#include "korvex_test.h"
#include "platform/canvas.h"
#include "platform/headless/raster_canvas.h"
#include "platform/headless/recording_canvas.h"

namespace {

class CanvasTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    SetCanvasBackend(nullptr);
  }
};

// The shared figures and a dotted rectangle.
void DrawFigures(TCanvas& c) {
  DrawBasicFigures(c);
  c.Pen.Style = psDot;
  c.Rectangle(12, 12, 66, 66);
  c.Pen.Style = psSolid;
}

// Draws case k of the set of ellipses and arcs on a fresh patterned picture
// and answers a hash of the picture. kind: 0 filled or outlined ellipses,
// 1 circles drawn as two half arcs, 2 arcs between any rays, 3 dashed arcs.
uint64_t DrawShapeCase(int kind, int k) {
  uint32_t seed = uint32_t(1000003 * kind + k);
  auto R = [&](int n) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % uint32_t(n));
  };
  const int sizes[][2] = {{64, 48}, {200, 150}, {7, 5}, {300, 40}};
  const int W = sizes[k % 4][0], H = sizes[k % 4][1];
  auto bmp = TBitmap::Create(W, H);
  TCanvas& c = bmp->Canvas();
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) c.SetPixel(x, y, TColor((x * 7 + y * 13) * 0x010203) & 0xFFFFFF);
  // From 1 pixel to 100 times the picture, inside, across an edge or round it.
  const int scale = R(5);
  const int side = scale == 0 ? 6 : scale == 1 ? W : scale == 2 ? 3 * W : scale == 3 ? 20 * W : 100 * W;
  const int ew = 1 + R(side), eh = R(3) == 0 ? ew : 1 + R(side);
  int l = R(W + ew) - ew + R(3) - 1, t = R(H + eh) - eh + R(3) - 1;
  if (R(6) == 0) l = W / 2 - ew / 2, t = H / 2 - eh / 2;
  const int widths[] = {1, 1, 1, 2, 3, 5, 8};
  const TPenStyle styles[] = {psSolid, psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame};
  const TPenMode modes[] = {pmCopy, pmXor, pmNotXor, pmNot, pmCopy};
  const TBrushStyle brushes[] = {bsSolid, bsClear, bsClear, bsHorizontal, bsDiagCross};
  c.Pen.Width = kind == 3 ? 1 : widths[R(7)];
  c.Pen.Style = kind == 3 ? styles[2 + R(4)] : styles[R(8)];
  c.Pen.Mode = modes[R(5)];
  c.Pen.Color = TColor(R(0xFFFFFF));
  c.Brush.Style = brushes[R(5)];
  c.Brush.Color = TColor(R(0xFFFFFF));
  c.BackColor = TColor(R(0xFFFFFF));
  if (R(4) == 0) c.ClipRect({R(W), R(H), R(W) + W / 2, R(H) + H / 2});
  if (kind == 0) {
    c.Ellipse(l, t, l + ew, t + eh);
  } else if (kind == 1 || (kind == 3 && R(2) == 0)) {
    const int x1 = l, y1 = t + eh, x2 = l + ew, y2 = t;
    c.Arc(x1, y1 + 1, x2 + 1, y2, x1, y1, x2, y2);
    c.Arc(x1, y1 + 1, x2 + 1, y2, x2, y2, x1, y1);
  } else {
    int rx = R(3) == 0 ? l + R(ew + 1) : l - ew + R(3 * ew + 1);
    int ry = R(3) == 0 ? t + R(eh + 1) : t - eh + R(3 * eh + 1);
    int qx = R(4) == 0 ? rx : l - ew + R(3 * ew + 1), qy = R(4) == 0 ? ry : t - eh + R(3 * eh + 1);
    if (R(5) == 0) qx = 2 * l + ew - rx, qy = 2 * t + eh - ry;
    c.Arc(l, t, l + ew, t + eh, rx, ry, qx, qy);
  }
  uint64_t h = 1469598103934665603ull;
  for (TColor p : bmp->Pixels()) h = (h ^ p) * 1099511628211ull;
  return h;
}
}  // namespace

TEST_F(CanvasTest, XorAndNotXorDrawnTwiceRestoreThePicture) {
  for (TPenMode mode : {pmXor, pmNotXor}) {
    auto bmp = Patterned(80, 72);
    std::vector<TColor> before = bmp->Pixels();
    TCanvas& c = bmp->Canvas();
    c.Pen.Mode = mode;
    c.Pen.Color = clWhite;
    c.Brush.Color = RGB(0x12, 0x34, 0x56);
    c.Brush.Style = bsDiagCross;
    c.BackColor = clYellow;
    DrawFigures(c);
    EXPECT_NE(bmp->Pixels(), before) << "mode " << mode;
    DrawFigures(c);
    EXPECT_EQ(bmp->Pixels(), before) << "mode " << mode;
  }
}

TEST_F(CanvasTest, LinesExcludeTheirEndAndRectanglesTheirRightAndBottomEdge) {
  auto bmp = TBitmap::Create(20, 20);
  TCanvas& c = bmp->Canvas();
  c.MoveTo(2, 3);
  c.LineTo(7, 3);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(c.GetPixel(x, 3), (x >= 2 && x < 7) ? clBlack : clWhite) << x;
  EXPECT_EQ(c.PenPos(), (TPoint{7, 3}));

  // A diagonal covers one pixel per step.
  c.MoveTo(10, 10);
  c.LineTo(14, 14);
  EXPECT_EQ(c.GetPixel(13, 13), clBlack);
  EXPECT_EQ(c.GetPixel(14, 14), clWhite);

  auto r = TBitmap::Create(12, 12);
  TCanvas& rc = r->Canvas();
  rc.Pen.Color = clRed;
  rc.Brush.Color = clBlue;
  rc.Rectangle(2, 2, 8, 6);
  EXPECT_EQ(CountColor(*r, clRed), 2 * 6 + 2 * 2);  // the 6 x 4 border
  EXPECT_EQ(CountColor(*r, clBlue), 4 * 2);
  EXPECT_EQ(rc.GetPixel(7, 5), clRed);
  EXPECT_EQ(rc.GetPixel(8, 5), clWhite);
  EXPECT_EQ(rc.GetPixel(7, 6), clWhite);

  // FillRect ignores the pen's raster mode.
  rc.Pen.Mode = pmXor;
  rc.Brush.Color = clLime;
  rc.FillRect({0, 0, 2, 2});
  EXPECT_EQ(rc.GetPixel(1, 1), clLime);
}

TEST_F(CanvasTest, RasterModesCombinePenAndPicture) {
  const TColor dest = RGB(0xF0, 0x0F, 0x55), pen = RGB(0xCC, 0x33, 0x0F);
  struct TCase {
    TPenMode mode;
    TColor expected;
  } cases[] = {
      {pmBlack, 0}, {pmWhite, 0xFFFFFF}, {pmNop, dest}, {pmNot, ~dest & 0xFFFFFF}, {pmCopy, pen},
      {pmNotCopy, ~pen & 0xFFFFFF}, {pmMerge, pen | dest}, {pmMask, pen & dest},
      {pmXor, pen ^ dest}, {pmNotXor, ~(pen ^ dest) & 0xFFFFFF}, {pmMaskPenNot, pen & ~dest},
      {pmMergeNotPen, (~pen | dest) & 0xFFFFFF},
  };
  for (const TCase& k : cases) {
    auto bmp = TBitmap::Create(4, 1);
    TCanvas& c = bmp->Canvas();
    for (int x = 0; x < 4; ++x) c.SetPixel(x, 0, dest);
    c.Pen.Color = pen;
    c.Pen.Mode = k.mode;
    c.MoveTo(0, 0);
    c.LineTo(3, 0);
    EXPECT_EQ(c.GetPixel(1, 0), k.expected) << "mode " << k.mode;
    EXPECT_EQ(c.GetPixel(3, 0), dest) << "mode " << k.mode;
  }
}

TEST_F(CanvasTest, ArcsRunCounterClockwiseFromStartRayToEndRay) {
  // Quadrants of a circle of radius 20 around (20, 20) as seen on the
  // device (y grows downwards).
  auto quadrants = [](const TBitmap& b) {
    std::array<int, 4> n{};  // top-right, top-left, bottom-left, bottom-right
    std::vector<TColor> px = b.Pixels();
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        if (px[size_t(y * b.Width() + x)] != clBlack) continue;
        bool right = x >= 21, left = x <= 18, top = y <= 18, bottom = y >= 21;
        if (right && top) ++n[0];
        if (left && top) ++n[1];
        if (left && bottom) ++n[2];
        if (right && bottom) ++n[3];
      }
    return n;
  };
  auto bmp = TBitmap::Create(40, 40);
  bmp->Canvas().Arc(0, 0, 40, 40, 39, 20, 20, 0);  // from east to north
  auto q = quadrants(*bmp);
  EXPECT_GT(q[0], 20);
  EXPECT_EQ(q[1] + q[2] + q[3], 0);

  bmp = TBitmap::Create(40, 40);
  bmp->Canvas().Arc(0, 0, 40, 40, 20, 0, 39, 20);  // north round to east
  q = quadrants(*bmp);
  EXPECT_EQ(q[0], 0);
  EXPECT_GT(q[1], 20);
  EXPECT_GT(q[2], 20);
  EXPECT_GT(q[3], 20);

  // The same ray twice is the whole ellipse; the arc is never filled.
  bmp = TBitmap::Create(40, 40);
  bmp->Canvas().Brush.Color = clRed;
  bmp->Canvas().Arc(0, 0, 40, 40, 5, 5, 5, 5);
  q = quadrants(*bmp);
  for (int k = 0; k < 4; ++k) EXPECT_GT(q[k], 20);
  EXPECT_EQ(CountColor(*bmp, clRed), 0);
  EXPECT_EQ(bmp->Canvas().GetPixel(20, 20), clWhite);
}

TEST_F(CanvasTest, FilledShapesUseBrushInsideAndPenOnTheOutline) {
  auto bmp = TBitmap::Create(50, 50);
  TCanvas& c = bmp->Canvas();
  c.Pen.Color = clRed;
  c.Brush.Color = clBlue;
  c.Ellipse(0, 0, 41, 41);
  for (const auto& [x, y, colour] :
       {std::tuple{20, 20, clBlue}, {20, 0, clRed}, {0, 20, clRed}, {40, 20, clRed}, {2, 2, clWhite}})
    EXPECT_EQ(c.GetPixel(x, y), colour) << x << "," << y;

  // Even-odd: the inner square of a square drawn round twice stays empty.
  auto p = TBitmap::Create(30, 30);
  TCanvas& pc = p->Canvas();
  pc.Pen.Style = psClear;
  pc.Brush.Color = clGreen;
  pc.Polygon({{0, 0}, {20, 0}, {20, 20}, {0, 20}, {0, 0}, {5, 5}, {15, 5}, {15, 15}, {5, 15}, {5, 5}});
  EXPECT_EQ(pc.GetPixel(2, 2), clGreen);
  EXPECT_EQ(pc.GetPixel(10, 10), clWhite);
  EXPECT_EQ(pc.GetPixel(19, 19), clGreen);
  EXPECT_EQ(pc.GetPixel(20, 20), clWhite);

  // A clear brush leaves the inside alone.
  c.Brush.Style = bsClear;
  c.Pen.Color = clLime;
  c.Rectangle(10, 10, 30, 30);
  EXPECT_EQ(c.GetPixel(20, 20), clBlue);
  EXPECT_EQ(c.GetPixel(10, 20), clLime);
}

TEST_F(CanvasTest, PenWidthAndStyles) {
  auto bmp = TBitmap::Create(60, 20);
  TCanvas& c = bmp->Canvas();
  c.Pen.Width = 3;
  c.MoveTo(10, 10);
  c.LineTo(50, 10);
  for (int y = 7; y <= 13; ++y) EXPECT_EQ(c.GetPixel(30, y), (y >= 9 && y <= 11) ? clBlack : clWhite) << y;

  // A dotted line: three on, three off, the gaps in the background colour.
  auto d = TBitmap::Create(20, 3);
  TCanvas& dc = d->Canvas();
  dc.Pen.Style = psDot;
  dc.BackColor = clYellow;
  dc.MoveTo(0, 1);
  dc.LineTo(12, 1);
  std::string seen;
  for (int x = 0; x < 13; ++x) seen += dc.GetPixel(x, 1) == clBlack ? 'x' : dc.GetPixel(x, 1) == clYellow ? '.' : ' ';
  EXPECT_EQ(seen, "xxx...xxx... ");

  // A clear pen draws nothing.
  dc.Pen.Style = psClear;
  dc.MoveTo(0, 0);
  dc.LineTo(19, 0);
  EXPECT_EQ(CountColor(*d, clBlack), 6);
}

TEST_F(CanvasTest, CopyRectStretchesAndCombines) {
  auto src = TBitmap::Create(2, 2);
  src->Canvas().SetPixel(0, 0, clRed);
  src->Canvas().SetPixel(1, 0, clLime);
  src->Canvas().SetPixel(0, 1, clBlue);
  src->Canvas().SetPixel(1, 1, clYellow);

  auto dst = TBitmap::Create(6, 6);
  TCanvas& c = dst->Canvas();
  c.CopyRect({1, 1, 5, 5}, *src, {0, 0, 2, 2});
  for (const auto& [x, y, colour] : {std::tuple{1, 1, clRed}, {2, 2, clRed}, {3, 1, clLime}, {4, 2, clLime},
                                     {1, 4, clBlue}, {4, 4, clYellow}, {5, 5, clWhite}, {0, 0, clWhite}})
    EXPECT_EQ(c.GetPixel(x, y), colour) << x << "," << y;

  // Shrinking picks source pixels; XOR copies twice restore.
  auto big = Patterned(8, 8);
  std::vector<TColor> before = big->Pixels();
  big->Canvas().CopyMode = cmSrcInvert;
  big->Canvas().CopyRect({0, 0, 4, 4}, *src, {0, 0, 2, 2});
  EXPECT_NE(big->Pixels(), before);
  big->Canvas().CopyRect({0, 0, 4, 4}, *src, {0, 0, 2, 2});
  EXPECT_EQ(big->Pixels(), before);

  // A picture copied onto itself reads the pixels from before the copy.
  auto self = Patterned(8, 1);
  std::vector<TColor> row = self->Pixels();
  self->Canvas().CopyRect({1, 0, 8, 1}, *self, {0, 0, 7, 1});
  std::vector<TColor> shifted = self->Pixels();
  for (int x = 1; x < 8; ++x) EXPECT_EQ(shifted[size_t(x)], row[size_t(x - 1)]);
}

TEST_F(CanvasTest, ClippingAndFarAwayCoordinates) {
  auto bmp = TBitmap::Create(30, 30);
  TCanvas& c = bmp->Canvas();
  c.ClipRect({10, 10, 20, 20});
  c.Brush.Color = clRed;
  c.FillRect({0, 0, 30, 30});
  EXPECT_EQ(CountColor(*bmp, clRed), 100);
  c.ClipRect({});
  c.Pen.Color = clBlue;
  // Coordinates at the limits of the device range draw the visible part
  // quickly.
  c.MoveTo(-2147483647, 5);
  c.LineTo(2147483647, 5);
  c.MoveTo(15, -2147483647);
  c.LineTo(15, 2147483647);
  c.Brush.Style = bsClear;
  c.Ellipse(-2000000000, -2000000000, 2000000000, 2000000000);
  c.Pen.Width = 3;
  c.MoveTo(-2147483647, -2147483647);
  c.LineTo(2147483647, 2147483647);
  EXPECT_EQ(c.GetPixel(0, 5), clBlue);
  EXPECT_EQ(c.GetPixel(29, 5), clBlue);
  EXPECT_EQ(c.GetPixel(15, 29), clBlue);
  EXPECT_EQ(c.GetPixel(20, 20), clBlue);
}

// Lines and arcs beside the picture are passed over without painting: the
// picture must come out as when every line and arc is worked out in full.
TEST_F(CanvasTest, LinesAndArcsBesideThePicturePaintWhatTheFullDrawingPaints) {
  std::srand(11);
  auto coordinate = [] { return std::rand() % 80 - 25; };
  for (int round = 0; round < 40; ++round) {
    auto fast = TBitmap::Create(30, 24);
    auto full = TBitmap::Create(30, 24);
    TCanvas& a = fast->Canvas();
    TCanvas& b = full->Canvas();
    if (round % 3 == 1) {
      a.ClipRect({4, 3, 21, 17});
      b.ClipRect({4, 3, 21, 17});
    }
    for (TCanvas* c : {&a, &b}) {
      c->Pen.Width = 1 + round % 6;
      c->Pen.Style = round % 4 == 3 ? psDash : psSolid;
      c->Pen.Mode = round % 2 ? pmXor : pmCopy;
      c->Pen.Color = TColor(0x102030 * (1 + round % 5));
    }
    TPoint at{coordinate(), coordinate()};
    a.MoveTo(at.X, at.Y);
    for (int k = 0; k < 60; ++k) {
      const TPoint to{coordinate(), coordinate()};
      a.LineTo(to.X, to.Y);
      b.Polyline({at, to});  // the whole line, never passed over
      at = to;
    }
    EXPECT_EQ(fast->Pixels(), full->Pixels()) << "lines, round " << round;
  }
  // Arcs in XOR, one after another on one canvas (which keeps what it worked
  // out for the last ring), against each arc on a canvas of its own.
  for (int width : {1, 3}) {
    auto together = TBitmap::Create(30, 24);
    std::vector<TColor> separate(30 * 24, 0);
    TCanvas& t = together->Canvas();
    t.Brush.Color = clBlack;
    t.FillRect({0, 0, 30, 24});
    for (int k = 0; k < 80; ++k) {
      const int x = coordinate(), y = coordinate(), d = 4 + std::rand() % 12;
      // Halves of one circle follow each other now and then, some beside
      // the picture, some across its edge.
      const bool half = k % 3 != 0;
      const int rays[2][4] = {{x + d, y + d / 2, x, y + d / 2}, {x, y + d / 2, x + d, y + d / 2}};
      for (int h = 0; h < (half ? 2 : 1); ++h) {
        const int* r = rays[h];
        auto own = TBitmap::Create(30, 24);
        own->Canvas().Brush.Color = clBlack;
        own->Canvas().FillRect({0, 0, 30, 24});
        for (TCanvas* c : {&t, &own->Canvas()}) {
          c->Pen.Width = width;
          c->Pen.Mode = pmXor;
          c->Pen.Color = clWhite;
          c->Arc(x, y, x + d, y + d, r[0], r[1], r[2], r[3]);
        }
        const std::vector<TColor> mine = own->Pixels();
        for (size_t i = 0; i < separate.size(); ++i) separate[i] ^= mine[i];
      }
    }
    EXPECT_EQ(together->Pixels(), separate) << "arcs of width " << width;
  }
}

TEST_F(CanvasTest, TextIsMeasuredInFixedCells) {
  auto bmp = TBitmap::Create(100, 30);
  TCanvas& c = bmp->Canvas();
  EXPECT_EQ(c.TextExtent("ABC"), (TPoint{24, 13}));  // 10 points at 96 pixels per inch
  c.Font.Size = 20;
  EXPECT_EQ(c.TextWidth("ABC"), 3 * 16);
  EXPECT_EQ(c.TextHeight(""), 27);
  EXPECT_EQ(c.TextWidth("\xC2\xB0X"), 2 * 16);  // a two-byte character counts once

  c.Font.Size = 10;
  c.Font.Color = clRed;
  c.Brush.Color = clYellow;
  c.TextOut(4, 2, "H");
  EXPECT_EQ(c.PenPos(), (TPoint{12, 2}));
  int red = 0, yellow = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 100; ++x) {
      TColor p = c.GetPixel(x, y);
      bool inCell = x >= 4 && x < 12 && y >= 2 && y < 15;
      if (!inCell) {
        EXPECT_EQ(p, clWhite) << x << "," << y;
      }
      red += p == clRed;
      yellow += p == clYellow;
    }
  EXPECT_GT(red, 10);
  EXPECT_EQ(red + yellow, 8 * 13);

  // A clear brush leaves the background; TextRect clips to its rectangle.
  c.Brush.Style = bsClear;
  c.TextOut(40, 2, "H");
  EXPECT_EQ(c.GetPixel(47, 14), clWhite);
  c.Brush.Style = bsSolid;
  c.Brush.Color = clAqua;
  c.TextRect({60, 0, 64, 20}, 60, 2, "HHHH");
  EXPECT_EQ(c.GetPixel(63, 19), clAqua);
  EXPECT_EQ(c.GetPixel(64, 5), clWhite);
  EXPECT_EQ(c.GetPixel(70, 5), clWhite);
}

TEST_F(CanvasTest, RecordingCanvasKeepsCallsWithState) {
  auto bmp = TBitmap::Create(20, 20);
  TRecordingCanvas rec(&bmp->Canvas());
  rec.Pen.Color = clRed;
  rec.Pen.Mode = pmXor;
  rec.MoveTo(1, 1);
  rec.LineTo(10, 1);
  rec.Brush.Style = bsClear;
  rec.Polygon({{0, 0}, {5, 5}, {0, 5}});
  rec.TextOut(2, 3, "Hi");
  ASSERT_EQ(rec.Calls.size(), 4u);
  EXPECT_EQ(rec.Describe(),
            (std::vector<std::string>{"MoveTo(1,1)", "LineTo(10,1)", "Polygon(0:0,5:5,0:5)", "TextOut(2,3,\"Hi\")"}));
  EXPECT_EQ(rec.Calls[1].Pen.Mode, pmXor);
  EXPECT_EQ(rec.Calls[1].Pen.Color, clRed);
  EXPECT_EQ(rec.Calls[2].Brush.Style, bsClear);
  // The target drew the line with the recorded pen.
  EXPECT_EQ(bmp->Canvas().GetPixel(5, 1), RGB(0, 0xFF, 0xFF));
  EXPECT_EQ(rec.PenPos(), (TPoint{2 + 16, 3}));

  TRecordingCanvas alone(nullptr, 300);
  EXPECT_EQ(alone.TextExtent("AB"), (TPoint{2 * 25, 42}));
  EXPECT_EQ(alone.GetPixel(3, 3), clWhite);
}

TEST_F(CanvasTest, BitmapsComeFromTheInstalledBackendAndSaveAsPng) {
  auto bmp = TBitmap::Create(3, 2);
  EXPECT_NE(dynamic_cast<TRasterBitmap*>(bmp.get()), nullptr);
  EXPECT_EQ(bmp->Pixels(), std::vector<TColor>(6, clWhite));
  bmp->Canvas().SetPixel(0, 0, clRed);
  bmp->SetSize(4, 4);
  EXPECT_EQ(bmp->Pixels(), std::vector<TColor>(16, clWhite));

  auto path = (TempDir / "pic.png").string();
  bmp->Canvas().SetPixel(1, 1, clNavy);
  ASSERT_TRUE(bmp->SaveToPng(path));
  std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  EXPECT_FALSE(bmp->SaveToPng((TempDir / "missing" / "pic.png").string()));

  struct TCountingBackend : TCanvasBackend {
    int* count;
    explicit TCountingBackend(int* c) : count(c) {}
    std::unique_ptr<TBitmap> CreateBitmap(int w, int h) override {
      ++*count;
      return std::make_unique<TRasterBitmap>(w, h);
    }
  };
  int made = 0;
  SetCanvasBackend(std::make_unique<TCountingBackend>(&made));
  TBitmap::Create(1, 1);
  EXPECT_EQ(made, 1);
  SetCanvasBackend(nullptr);
  TBitmap::Create(1, 1);
  EXPECT_EQ(made, 1);
}

// Lines and rectangles on the raster match the plain rule pixel for pixel,
// whatever the fast paths take them: step i of a line from (x0, y0) lies at
// major0 + i on its longer axis and at minor0 + round(i x dMinor / n),
// halves up, on the other, for i = 0 .. n - 1. Lines short and long, steep
// and flat, inside, crossing the clip or the picture's edge, and reaching
// to the ends of the 32-bit range; XOR shows a pixel painted twice.
TEST_F(CanvasTest, LinesAndRectanglesFollowThePlainRuleEverywhere) {
  constexpr int W = 41, H = 37;
  auto bmp = TBitmap::Create(W, H);
  TCanvas& c = bmp->Canvas();
  std::vector<TColor> want(size_t(W) * H, clWhite);
  auto plainLine = [&](long long x0, long long y0, long long x1, long long y1, TRect clip, TColor pen) {
    long long dx = x1 - x0, dy = y1 - y0, n = std::max(std::llabs(dx), std::llabs(dy));
    bool xMajor = std::llabs(dx) >= std::llabs(dy);
    // Only the steps whose major coordinate can lie in the picture.
    long long m0 = xMajor ? x0 : y0, s = (xMajor ? dx : dy) > 0 ? 1 : -1, extent = xMajor ? W : H;
    long long first = std::max(0LL, s > 0 ? -m0 : m0 - extent), last = std::min(n - 1, s > 0 ? extent - m0 : m0);
    for (long long i = first; i <= last; ++i) {
      __int128 num = 2 * __int128(i) * (xMajor ? dy : dx) + n, den = 2 * __int128(n);
      __int128 q = num / den;
      if (num % den != 0 && num < 0) --q;
      long long ma = (xMajor ? x0 : y0) + ((xMajor ? dx : dy) > 0 ? i : -i);
      long long mi = (xMajor ? y0 : x0) + (long long)q;
      long long x = xMajor ? ma : mi, y = xMajor ? mi : ma;
      if (x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom)
        want[size_t(y) * W + size_t(x)] ^= pen;
    }
  };
  uint32_t seed = 9;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % n);
  };
  const int far[] = {-2147483647, -1000000, -50, 2147483647, 1000000, 90};
  c.Pen.Mode = pmXor;
  for (int k = 0; k < 3000; ++k) {
    TRect clip{0, 0, W, H};
    if (k % 3 == 0) {
      clip = {next(W), next(H), 0, 0};
      clip.Right = clip.Left + 1 + next(W);
      clip.Bottom = clip.Top + 1 + next(H);
      c.ClipRect(clip);
      clip = {std::max(clip.Left, 0), std::max(clip.Top, 0), std::min(clip.Right, W), std::min(clip.Bottom, H)};
    } else {
      c.ClipRect({});
    }
    int x0 = next(W + 20) - 10, y0 = next(H + 20) - 10, x1, y1;
    switch (k % 4) {
      case 0: x1 = x0 + next(3) - 1, y1 = y0 + next(3) - 1; break;  // one step
      case 1: x1 = next(W + 20) - 10, y1 = next(H + 20) - 10; break;
      case 2: x1 = far[next(6)], y1 = far[next(6)]; break;
      default: x1 = x0 + next(2 * W) - W, y1 = y0 + (next(3) - 1) * std::abs(x1 - x0); break;  // 0 or 45 degrees
    }
    if (k % 8 == 6) std::swap(x0, x1), std::swap(y0, y1);
    TColor pen = TColor(0x010101 * (1 + k % 200)) & 0xFFFFFF;
    c.Pen.Color = pen;
    c.MoveTo(x0, y0);
    c.LineTo(x1, y1);
    plainLine(x0, y0, x1, y1, clip, pen);
    ASSERT_EQ(bmp->Pixels(), want) << "line " << k << ": " << x0 << "," << y0 << " - " << x1 << "," << y1;
  }
  // Solid rectangles: outline in the pen, inside in the brush, every
  // pixel once.
  c.ClipRect({});
  c.Brush.Style = bsSolid;
  for (int k = 0; k < 300; ++k) {
    int l = next(W + 10) - 5, t = next(H + 10) - 5, r = l + next(12), b = t + next(12);
    c.Pen.Color = 0x102030u * (1 + k % 5) & 0xFFFFFF;
    c.Brush.Color = 0x030201u * (1 + k % 7) & 0xFFFFFF;
    c.Pen.Style = k % 3 == 0 ? psClear : psSolid;
    c.Rectangle(l, t, r, b);
    for (int y = std::max(t, 0); y < std::min(b, H); ++y)
      for (int x = std::max(l, 0); x < std::min(r, W); ++x) {
        bool edge = y == t || y == b - 1 || x == l || x == r - 1;
        want[size_t(y) * W + size_t(x)] ^= (edge && k % 3 != 0) ? c.Pen.Color : c.Brush.Color;
      }
    ASSERT_EQ(bmp->Pixels(), want) << "rectangle " << k;
  }
}

TEST_F(CanvasTest, EllipsesLargerThanThePictureKeepTheirPixelsWhereTheyCrossIt) {
  // A small picture cut from a large ellipse shows the same pixels as the
  // ellipse drawn whole on a picture that holds it: both thin and wide pens,
  // with and without a fill, at the rim, the top and inside.
  struct TCase {
    int width;
    TPenStyle style;
    TBrushStyle brush;
  };
  const TCase cases[] = {{1, psSolid, bsClear}, {1, psSolid, bsSolid}, {5, psSolid, bsSolid},
                         {4, psInsideFrame, bsClear}, {1, psClear, bsSolid}};
  const std::pair<int, int> windows[] = {{40, 300}, {400, 46}, {400, 300}, {700, 80}, {110, 560}};
  for (const TCase& k : cases) {
    auto style = [&](TCanvas& c) {
      c.Pen.Width = k.width;
      c.Pen.Style = k.style;
      c.Brush.Style = k.brush;
      c.Brush.Color = clRed;
    };
    auto whole = TBitmap::Create(900, 700);
    style(whole->Canvas());
    whole->Canvas().Ellipse(50, 50, 851, 651);
    whole->Canvas().Arc(60, 60, 841, 641, 800, 60, 60, 600);
    for (auto [ox, oy] : windows) {
      auto part = TBitmap::Create(60, 40);
      style(part->Canvas());
      part->Canvas().Ellipse(50 - ox, 50 - oy, 851 - ox, 651 - oy);
      part->Canvas().Arc(60 - ox, 60 - oy, 841 - ox, 641 - oy, 800 - ox, 60 - oy, 60 - ox, 600 - oy);
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
          ASSERT_EQ(part->Canvas().GetPixel(x, y), whole->Canvas().GetPixel(x + ox, y + oy))
              << "pen " << k.width << " style " << k.style << " at " << x + ox << "," << y + oy;
    }
  }
}

TEST_F(CanvasTest, EllipsesAndArcsKeepThePixelsOfTheFormerDrawing) {
  // Hashes of 600 pictures per kind drawn by the former raster (a span set
  // per shape, every ring pixel's angle worked out by arc tangent): filled
  // and outlined ellipses, circles as two half arcs, arcs between any rays
  // and dashed arcs, from 1 pixel to 100 times the picture, inside, across
  // its edges and round it, clipped or not, in every pen width, style and
  // raster mode. A change of a single pixel anywhere changes a hash.
  const uint64_t want[] = {0x1161b0d0c280a42cull, 0xfe1dd628a62f56f7ull, 0xdd419ca25b1b9261ull,
                           0xa3d40b2f1a99fbbdull};
  for (int kind = 0; kind < 4; ++kind) {
    uint64_t h = 0;
    for (int k = 0; k < 600; ++k) h = h * 31 + DrawShapeCase(kind, k);
    EXPECT_EQ(h, want[kind]) << "kind " << kind;
  }
}

TEST_F(CanvasTest, AnArcOnTheEllipseOfTheLastArcFollowsThePenAndClipOfItsOwn) {
  // Two arcs on one ellipse, in XOR, drawn in both orders: the same picture
  // unless the second arc reuses a ring the first one's pen or clip made.
  struct TSetting {
    int Width;
    TPenStyle Style;
    TRect Clip;
  };
  const TSetting settings[][2] = {
      {{1, psSolid, {}}, {3, psSolid, {}}},
      {{4, psSolid, {}}, {4, psInsideFrame, {}}},
      {{1, psSolid, {}}, {1, psSolid, {10, 5, 50, 30}}},
      {{1, psDashDot, {0, 0, 30, 60}}, {1, psDashDot, {20, 0, 60, 60}}},
      {{2, psSolid, {}}, {1, psDot, {}}},
  };
  for (const auto& pair : settings) {
    auto draw = [&](TCanvas& c, const TSetting& s, bool first) {
      c.Pen.Width = s.Width;
      c.Pen.Style = s.Style;
      c.ClipRect(s.Clip);
      if (first) c.Arc(4, 3, 57, 51, 60, 3, 0, 50);
      else c.Arc(4, 3, 57, 51, 0, 0, 60, 50);
    };
    std::vector<TColor> pictures[2];
    for (int order = 0; order < 2; ++order) {
      auto bmp = Patterned(64, 56);
      TCanvas& c = bmp->Canvas();
      c.Pen.Mode = pmXor;
      c.Pen.Color = RGB(0x40, 0x80, 0xC0);
      draw(c, pair[order], order == 0);
      draw(c, pair[1 - order], order != 0);
      pictures[order] = bmp->Pixels();
    }
    EXPECT_EQ(pictures[0], pictures[1]) << "widths " << pair[0].Width << ", " << pair[1].Width;
  }
}

TEST_F(CanvasTest, ThinArcsOfOneSizeAnywhereKeepThePixelsTheirRuleGives) {
  // Circles and near circles drawn in turn across a picture, as the halves
  // of a circle and as arcs either way round between any rays: wholly
  // inside, across an edge, far larger than the picture and of a pixel or
  // two, solid and dashed, in XOR. Each must give the picture it gives on
  // its own on a fresh canvas; the solid ones the pixels of the rule too:
  // the pixels whose centres lie inside the ellipse and touch one outside
  // it, taken when the angle of the centre from the start ray is within
  // the sweep.
  constexpr int W = 160, H = 120;
  struct TShape {
    int Left, Top, Width, Height, X3, Y3, X4, Y4;
  };
  auto rule = [](const TShape& s, int x, int y) {
    const double cx = s.Left + s.Width / 2.0, cy = s.Top + s.Height / 2.0;
    auto inside = [&](long long px, long long py) {
      const double t = (double(py) + 0.5 - cy) / (s.Height / 2.0);
      if (std::fabs(t) > 1) return false;
      const double h = s.Width / 2.0 * std::sqrt(1 - t * t);
      return (long long)std::ceil(cx - h - 0.5) <= px && px < (long long)std::floor(cx + h - 0.5) + 1;
    };
    if (!inside(x, y) || (inside(x - 1, y) && inside(x + 1, y) && inside(x, y - 1) && inside(x, y + 1)))
      return false;
    auto angle = [&](double dx, double dy) {
      const double a = std::atan2(-dy, dx) * 180.0 / std::numbers::pi;
      return a < 0 ? a + 360.0 : a;
    };
    const double start = angle(s.X3 + 0.5 - cx, s.Y3 + 0.5 - cy);
    double sweep = angle(s.X4 + 0.5 - cx, s.Y4 + 0.5 - cy) - start;
    if (sweep < 0) sweep += 360;
    if (std::fabs(sweep) < 1e-9) sweep = 360;
    double d = angle(x + 0.5 - cx, y + 0.5 - cy) - start;
    if (d < 0) d += 360;
    return d <= sweep + 1e-9;
  };
  uint32_t seed = 7;
  auto next = [&](int n) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % uint32_t(n));
  };
  const std::pair<int, int> sizes[] = {{2, 2}, {3, 2}, {5, 5}, {9, 8}, {37, 37}, {61, 60}, {100, 101}, {3000, 2999}};
  for (TPenStyle style : {psSolid, psDot}) {
    for (auto [w, h] : sizes) {
      std::vector<TShape> shapes;
      for (int k = 0; k < 24; ++k) {
        // Mostly wholly inside; every fourth across an edge or round it.
        const bool inside = k % 4 != 3 && w < W - 2 && h < H - 2;
        const int l = inside ? 1 + next(W - w - 1) : next(W + w) - w + 2;
        const int t = inside ? 1 + next(H - h - 1) : next(H + h) - h + 2;
        // The halves of a circle as the drawing draws them, or any rays.
        int x3 = l, y3 = t + h - 1, x4 = l + w - 1, y4 = t;
        if (k % 3 == 1) {
          x3 = l + next(w + 20) - 10, y3 = t + next(h + 20) - 10;
          x4 = l + next(w + 20) - 10, y4 = t + next(h + 20) - 10;
        }
        shapes.push_back({l, t, w, h, x3, y3, x4, y4});
        shapes.push_back({l, t, w, h, x4, y4, x3, y3});
      }
      auto draw = [&](TCanvas& c, const TShape& s) {
        c.Pen.Mode = pmXor;
        c.Pen.Style = style;
        c.Pen.Color = RGB(0x40, 0x80, 0xC0);
        c.Arc(s.Left, s.Top, s.Left + s.Width, s.Top + s.Height, s.X3, s.Y3, s.X4, s.Y4);
      };
      auto together = TBitmap::Create(W, H);
      std::vector<TColor> alone(size_t(W) * H, clWhite), byRule(size_t(W) * H, clWhite);
      for (const TShape& s : shapes) {
        draw(together->Canvas(), s);
        auto fresh = TBitmap::Create(W, H);
        draw(fresh->Canvas(), s);
        const std::vector<TColor> px = fresh->Pixels();
        for (size_t i = 0; i < px.size(); ++i) alone[i] ^= px[i] ^ clWhite;
        if (style == psSolid)
          for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
              if (rule(s, x, y)) byRule[size_t(y) * W + size_t(x)] ^= RGB(0x40, 0x80, 0xC0);
      }
      ASSERT_EQ(together->Pixels(), alone) << "size " << w << "x" << h << " style " << style;
      if (style == psSolid) {
        ASSERT_EQ(together->Pixels(), byRule) << "size " << w << "x" << h;
      }
    }
  }
}

// Circles drawn at once paint what their two arcs paint drawn one by one:
// rings of a few sizes over and over across the picture (the holes of a
// few tools), some across its edges, clipped or far away, of sizes whose
// rows end on a pixel's centre, in copy and XOR, solid, inside the frame
// and dotted; the pen keeps its colour and place.
TEST(CanvasCircleTest, CirclesPaintWhatTheirTwoArcsPaint) {
  int W = 150, H = 110;
  TRasterBitmap together(W, H), apart(W, H);
  uint32_t seed = 11;
  auto next = [&](int n) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % uint32_t(n));
  };
  const std::pair<int, int> sizes[] = {{1, 1}, {2, 2}, {3, 3}, {4, 5}, {6, 6}, {7, 7}, {11, 10},
                                       {16, 16}, {23, 24}, {31, 31}, {60, 60}, {82, 83}, {97, 96}};
  size_t painted = 0;
  for (int round = 0; round < 120; ++round) {
    // Halfway, the pictures take another width: the rings kept for the
    // rows of the first are stamped into rows of another length.
    if (round == 60) {
      W = 171;
      H = 97;
      for (TRasterBitmap* b : {&together, &apart}) b->SetSize(W, H);
    }
    const int kind = next(8);
    const TPenStyle style = kind == 6 ? psDot : kind == 5 ? psInsideFrame : psSolid;
    const TPenMode mode = kind == 7 ? pmXor : pmCopy;
    const bool clip = next(5) == 0;
    const TRect r{next(W), next(H), next(W), next(H)};
    for (TRasterBitmap* b : {&together, &apart}) {
      TCanvas& c = b->Canvas();
      c.ClipRect(clip ? r : TRect{});
      c.Pen.Style = style;
      c.Pen.Mode = mode;
      c.Pen.Color = RGB(1, 2, 3);
      c.MoveTo(5, 7);
    }
    std::vector<TCircleMark> circles(1 + size_t(next(60)));
    for (TCircleMark& m : circles) {
      const auto [w, h] = sizes[next(int(std::size(sizes)))];
      const int at = next(20);
      const int l = at == 0 ? next(W + 2 * w) - 2 * w : 1 + next(W - std::min(w, W - 4) - 2);
      const int t = at == 1 ? next(H + 2 * h) - 2 * h : 1 + next(H - std::min(h, H - 4) - 2);
      // Corners as a picture gives them (y upwards) or the other way up.
      m = at == 2 ? TCircleMark{l, t, l + w, t + h} : TCircleMark{l, t + h, l + w, t};
      if (at == 3) m = TCircleMark{INT32_MAX - w, INT32_MAX, INT32_MAX, INT32_MAX - h};
      m.Color = RGB(uint8_t(next(256)), uint8_t(next(256)), uint8_t(next(256))) | (uint32_t(next(2)) << 24);
    }
    together.Canvas().DrawCircles(circles.data(), circles.size());
    apart.Canvas().TCanvas::DrawCircles(circles.data(), circles.size());
    ASSERT_EQ(together.Pixels(), apart.Pixels()) << "round " << round;
    ASSERT_EQ(together.Canvas().PenPos(), apart.Canvas().PenPos());
    ASSERT_EQ(together.Canvas().Pen.Color, RGB(1, 2, 3));
    if (round % 10 == 9) {
      for (TColor c : together.Pixels()) painted += c != clWhite;
      for (TRasterBitmap* b : {&together, &apart}) std::fill(b->Buffer().begin(), b->Buffer().end(), clWhite);
    }
  }
  EXPECT_GT(painted, size_t(20000));
}

namespace {

// Patterns stamped at many points in their own colours set the pixels that
// SetPixel sets one by one: points inside, across the edges and far
// outside the picture, clipped or not, with one-pixel and wider patterns.
TEST(CanvasPatternTest, PatternPixelsAreThePixelsSetOneByOne) {
  TRasterBitmap stamped(70, 50), single(70, 50);
  uint32_t seed = 3;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  const TPoint dot[3] = {{0, 0}, {0, 1}, {1, 1}};
  const TPoint wide[10] = {{-2, 0}, {3, -1}, {0, 0}, {1, 4}, {-1, -3}, {2, 2}, {0, 1}, {4, 4}, {-3, 1}, {1, 0}};
  for (int round = 0; round < 400; ++round) {
    const bool clip = next(3) == 0;
    const TRect r{int(next(80)) - 5, int(next(60)) - 5, int(next(80)) - 5, int(next(60)) - 5};
    for (TRasterBitmap* b : {&stamped, &single}) b->Canvas().ClipRect(clip ? r : TRect{});
    std::vector<TColoredPoint> points(1 + next(40));
    for (TColoredPoint& p : points) {
      const bool far = next(20) == 0;
      p.X = far ? int(next(2) ? INT32_MAX - next(3) : INT32_MIN + next(3)) : int(next(90)) - 10;
      p.Y = far ? int(next(2) ? INT32_MAX - next(3) : INT32_MIN + next(3)) : int(next(70)) - 10;
      p.Color = RGB(uint8_t(next(256)), uint8_t(next(256)), uint8_t(next(256))) | (next(2) << 24);
    }
    const TPoint* offsets = next(2) ? dot : wide;
    const size_t n = offsets == dot ? 1 + next(3) : 1 + next(10);
    stamped.Canvas().SetPatternPixels(points.data(), points.size(), offsets, n);
    single.Canvas().TCanvas::SetPatternPixels(points.data(), points.size(), offsets, n);
    ASSERT_EQ(stamped.Pixels(), single.Pixels()) << "round " << round;
  }
  size_t painted = 0;
  for (TColor c : stamped.Pixels()) painted += c != clWhite;
  EXPECT_GT(painted, size_t(1000));
}

}  // namespace

namespace {

// Figures stamped at many points draw what the canvas's own moves and
// lines draw: inside, across the edges and far off the picture, clipped or
// not, in every pen; the pen keeps its colour and ends where the last
// stamp's steps leave it.
TEST(CanvasPatternTest, StampsDrawWhatTheirMovesAndLinesDraw) {
  TRasterBitmap stamped(90, 70), single(90, 70);
  uint32_t seed = 17;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  std::vector<std::vector<TFigureStep>> steps(5);
  for (auto& f : steps) {
    f.resize(next(7));
    for (TFigureStep& s : f) s = {int(next(21)) - 10, int(next(21)) - 10, next(3) != 0};
  }
  steps[0] = {{1, 0, true}};  // a one-step line: the dot of a small symbol
  // A square whose sides run along the edges of its box.
  steps[1] = {{10, -6, false}, {10, 6, true}, {-10, 6, true}, {-10, -6, true}, {10, -6, true}};
  std::vector<TFigure> figures;
  for (const auto& f : steps) figures.push_back({f.data(), f.size()});
  const TPenStyle styles[] = {psSolid, psSolid, psSolid, psDash, psInsideFrame, psClear};
  const TPenMode modes[] = {pmCopy, pmCopy, pmCopy, pmXor, pmNot};
  for (int round = 0; round < 600; ++round) {
    const bool clip = next(3) == 0;
    const TRect r{int(next(100)) - 5, int(next(80)) - 5, int(next(100)) - 5, int(next(80)) - 5};
    const TPenStyle style = styles[next(6)];
    const TPenMode mode = modes[next(5)];
    const int width = next(6) == 0 ? 3 : 1;
    for (TRasterBitmap* b : {&stamped, &single}) {
      TCanvas& c = b->Canvas();
      c.ClipRect(clip ? r : TRect{});
      c.Pen = {RGB(9, 8, 7), width, style, mode};
      c.MoveTo(-3, -3);
    }
    // Stamps anywhere, or near the edges of the picture and the clip.
    auto near = [&](int a, int b) { return (next(2) ? a : b) + int(next(25)) - 12; };
    std::vector<TStamp> stamps(next(30));
    for (TStamp& s : stamps) {
      const bool far = next(25) == 0, edge = next(2) == 0;
      s.X = far ? 1 << 29 : edge ? near(next(2) ? 0 : 90, next(2) ? r.Left : r.Right) : int(next(110)) - 10;
      s.Y = far ? -(1 << 29) : edge ? near(next(2) ? 0 : 70, next(2) ? r.Top : r.Bottom) : int(next(90)) - 10;
      s.Color = RGB(uint8_t(next(256)), uint8_t(next(256)), 0x40);
      s.Figure = next(6);  // figure 5 does not exist
    }
    stamped.Canvas().DrawStamps(stamps.data(), stamps.size(), figures.data(), figures.size());
    single.Canvas().TCanvas::DrawStamps(stamps.data(), stamps.size(), figures.data(), figures.size());
    ASSERT_EQ(stamped.Pixels(), single.Pixels()) << "round " << round;
    ASSERT_EQ(stamped.Canvas().PenPos(), single.Canvas().PenPos()) << "round " << round;
    ASSERT_EQ(stamped.Canvas().Pen.Color, RGB(9, 8, 7));
  }
  size_t painted = 0;
  for (TColor c : stamped.Pixels()) painted += c != clWhite;
  EXPECT_GT(painted, size_t(1000));
}

}  // namespace
