#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "model/drawing_base.h"
#include "model/symbol_drawer.h"
#include "platform/headless/raster_canvas.h"
#include "platform/headless/recording_canvas.h"

namespace {

// Records the strokes relative to the symbol's centre.
class TStrokeRecorder : public TSymbolDrawer {
 public:
  explicit TStrokeRecorder(int32_t size) : TSymbolDrawer(size) {}
  void MoveTo(int32_t x, int32_t y) override { Strokes.push_back({'M', x - Cx, y - Cy}); }
  void LineTo(int32_t x, int32_t y) override { Strokes.push_back({'L', x - Cx, y - Cy}); }
  struct TStroke {
    char Op;
    int32_t X, Y;
    bool operator<(const TStroke& o) const {
      return std::tie(Op, X, Y) < std::tie(o.Op, o.X, o.Y);
    }
    bool operator==(const TStroke& o) const { return Op == o.Op && X == o.X && Y == o.Y; }
  };
  std::vector<TStroke> Draw(int32_t x, int32_t y, uint16_t tool) {
    Strokes.clear();
    Cx = x;
    Cy = y;
    DrawSymbol(x, y, tool);
    return Strokes;
  }
  std::vector<TStroke> Strokes;
  int32_t Cx = 0, Cy = 0;
};

}  // namespace

TEST(SymbolDrawerTest, FortyDistinctShapesThatScaleWithTheSize) {
  TStrokeRecorder small(8);  // A 4, B 12
  TStrokeRecorder large(16);  // A 8, B 24
  std::set<std::vector<TStrokeRecorder::TStroke>> shapes;
  for (uint16_t tool = 0; tool < 40; ++tool) {
    const auto a = small.Draw(100, 200, tool);
    const auto b = large.Draw(-50, 30, tool);
    ASSERT_GE(a.size(), 4u) << "tool " << tool;
    EXPECT_EQ(a.front().Op, 'M') << "tool " << tool;
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].Op, b[i].Op);
      EXPECT_EQ(2 * a[i].X, b[i].X) << "tool " << tool << " stroke " << i;
      EXPECT_EQ(2 * a[i].Y, b[i].Y) << "tool " << tool << " stroke " << i;
      // Every stroke stays within one and a half sizes of the centre.
      EXPECT_LE(std::abs(a[i].X), 12);
      EXPECT_LE(std::abs(a[i].Y), 12);
    }
    shapes.insert(a);
  }
  EXPECT_EQ(shapes.size(), 40u);
  // The shape follows tool mod 40: 3 and 43 are alike, 40 is shape 0.
  EXPECT_EQ(small.Draw(0, 0, 3), small.Draw(0, 0, 43));
  EXPECT_EQ(small.Draw(0, 0, 40), small.Draw(0, 0, 0));
  EXPECT_EQ(small.Draw(0, 0, 65535), small.Draw(0, 0, 65535 % 40));
}

TEST(SymbolDrawerTest, HalfAndThreeHalvesRoundToEven) {
  TStrokeRecorder d(5);  // A = Round(2.5) = 2, B = Round(7.5) = 8
  auto s = d.Draw(0, 0, 9);  // small square of half-width A with a tick of S toward -y
  ASSERT_EQ(s.size(), 7u);
  EXPECT_EQ(s[0].X, -2);
  EXPECT_EQ(s[0].Y, -2);
  EXPECT_EQ(s[6].Y, -5);
  s = d.Draw(0, 0, 1);  // triangle with half-width B
  EXPECT_EQ(s[0].X, -8);
  EXPECT_EQ(s[0].Y, 8);

  TStrokeRecorder four(4);  // A 2, B 6: full shapes from size 4
  s = four.Draw(0, 0, 18);  // diamond, tick toward (+S, -S)
  ASSERT_EQ(s.size(), 7u);
  EXPECT_EQ(s[0].X, -6);
  EXPECT_EQ(s[6].X, 4);
  EXPECT_EQ(s[6].Y, -4);
  s = four.Draw(0, 0, 10);  // small square, diagonal tick uses B
  EXPECT_EQ(s[6].X, 6);
  EXPECT_EQ(s[6].Y, -6);
}

TEST(SymbolDrawerTest, SmallSizesDrawADot) {
  using S = TStrokeRecorder::TStroke;
  for (int32_t size : {1, 2, 3}) {
    TStrokeRecorder d(size);
    EXPECT_EQ(d.Draw(10, 10, 7), (std::vector<S>{{'M', 0, 0}, {'L', 0, 1}, {'L', 1, 1}, {'L', 1, 0}}))
        << "size " << size;
  }
  TStrokeRecorder zero(0);
  EXPECT_EQ(zero.Draw(10, 10, 7), (std::vector<S>{{'M', 0, 0}, {'L', 0, 1}}));
}

// The dot of a small symbol paints what its three one-pixel steps paint, and
// leaves the pen where they leave it, whatever the pen, the clip and where
// the dot lies (partly or wholly outside the picture).
TEST(SymbolDrawerTest, TheDotPaintsWhatItsStepsPaint) {
  TRasterBitmap dots(40, 30), steps(40, 30);
  TCanvasSymbolDrawer drawer(&dots.Canvas(), 1);
  uint32_t seed = 5;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  const TPenMode modes[] = {pmCopy, pmCopy, pmXor, pmNot, pmMerge, pmNop};
  const TPenStyle styles[] = {psSolid, psSolid, psInsideFrame, psDot, psClear};
  for (int i = 0; i < 5000; ++i) {
    const int32_t size = int32_t(next(5)) - 1;  // -1 .. 3
    const int x = int(next(50)) - 5, y = int(next(40)) - 5;
    const uint32_t v = next(1000);
    const TRect clip = next(3) == 0 ? TRect{int(next(40)), int(next(30)), 25, 20} : TRect{};
    for (TCanvas* c : {&dots.Canvas(), &steps.Canvas()}) {
      c->Pen.Color = RGB(uint8_t(v), uint8_t(v * 7), uint8_t(v * 13));
      c->Pen.Mode = modes[v % 6];
      c->Pen.Style = styles[v / 6 % 5];
      c->Pen.Width = v % 7 == 0 ? 2 : 1;
      c->ClipRect(clip);
    }
    drawer.SetSize(size);
    drawer.DrawSymbol(x, y, 7);
    TCanvas& c = steps.Canvas();
    c.MoveTo(x, y);
    c.LineTo(x, y + 1);
    if (size >= 1) {
      c.LineTo(x + 1, y + 1);
      c.LineTo(x + 1, y);
    }
    ASSERT_EQ(dots.Canvas().PenPos().X, c.PenPos().X) << i;
    ASSERT_EQ(dots.Canvas().PenPos().Y, c.PenPos().Y) << i;
  }
  EXPECT_EQ(dots.Pixels(), steps.Pixels());
}

TEST(SymbolDrawerTest, CanvasDrawerMovesToTheCentreFirst) {
  TRecordingCanvas canvas;
  TCanvasSymbolDrawer drawer(&canvas, 4);
  drawer.DrawSymbol(50, 60, 2);
  const auto calls = canvas.Describe();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0], "MoveTo(50,60)");
  EXPECT_EQ(calls[1], "MoveTo(44,54)");
  EXPECT_EQ(calls[2], "LineTo(44,66)");
  EXPECT_EQ(calls[3], "LineTo(56,60)");
  EXPECT_EQ(calls[4], "LineTo(44,54)");
  drawer.SetSize(10);
  EXPECT_EQ(drawer.GetSize(), 10);
}

namespace {
class TBareSurface : public TDrawingBase {
 public:
  using TDrawingBase::TDrawingBase;
  int32_t LengthToDevice(int32_t l) override { return l; }
  double LengthToDeviceReal(int32_t l) override { return l; }
  void WorldToDevice(double x, double y, int32_t& dx, int32_t& dy) override {
    dx = int32_t(x);
    dy = int32_t(y);
  }
  void WorldToDeviceReal(double x, double y, double& dx, double& dy) override {
    dx = x;
    dy = y;
  }
};
}  // namespace

TEST(SymbolDrawerTest, DrawingSurfaceOwnsASymbolDrawerOnItsCanvas) {
  TRecordingCanvas canvas;
  TBareSurface surface(&canvas, clBlack);
  ASSERT_NE(surface.SymbolDrawer, nullptr);
  EXPECT_EQ(surface.SymbolDrawer->GetSize(), 4);
  EXPECT_EQ(surface.SymbolDrawer->Canvas, &canvas);
  EXPECT_TRUE(canvas.Calls.empty());
}
