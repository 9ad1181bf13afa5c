// The screen picture on its off-screen bitmap: the world-to-pixel mapping,
// the picture's edges, and the background layers (clear, grid, zero lines,
// shading beyond the database limits), checked on the headless raster.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "foundation/settings.h"
#include "korvex_test.h"
#include "workspace/db_bitmap.h"

namespace {

constexpr double Inch = 25400000.0;

class DrawingPictureTest : public TKorvexTest {
 protected:
  // A 300 x 300 picture at 100 pixels per inch with its top-left corner at
  // world (left, top).
  void Place(double left, double top, double ppi = 100.0) {
    Picture.Left = left;
    Picture.Top = top;
    Picture.PixelsPerInch = ppi;
  }
  TColor Pixel(int x, int y) { return Bitmap.Pixels().Canvas().GetPixel(x, y); }
  int Count(TColor c) {
    auto px = Bitmap.Pixels().Pixels();
    return int(std::count(px.begin(), px.end(), c));
  }

  TEncapsulatingBitmap Bitmap{300, 300, 8};
  TDBBitmap Picture{Bitmap};
};

TEST_F(DrawingPictureTest, WorldPointsMapToPixelsAndClampAtAnyZoom) {
  Place(-Inch, Inch);
  int32_t x, y;
  Picture.WorldToDevice(0, 0, x, y);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 100);
  EXPECT_EQ(Picture.LengthToDevice(254000), 1);
  EXPECT_TRUE(Picture.IsScreen());
  EXPECT_FALSE(Picture.MirrorsY());

  Place(0, 0, 1e9);
  Picture.WorldToDevice(1073741823, -1073741823, x, y);
  EXPECT_EQ(x, 2147483647);
  EXPECT_EQ(y, 2147483647);
  Picture.WorldToDevice(-1073741823, 1073741823, x, y);
  EXPECT_EQ(x, -2147483647);
  EXPECT_EQ(y, -2147483647);
  double rx, ry;
  Picture.WorldToDeviceReal(-2e9, 2e9, rx, ry);
  EXPECT_EQ(rx, -2147483647.0);
  EXPECT_EQ(ry, -2147483647.0);
  // Halves go to the even neighbour, on both sides of zero.
  Place(0, 0, 2.0);  // half a pixel is 6,350,000 units
  for (int32_t k = -9; k <= 9; ++k) {
    Picture.WorldToDevice(6350000.0 * k, -6350000.0 * k, x, y);
    EXPECT_EQ(x, int32_t(std::nearbyint(k * 0.5))) << k;
    EXPECT_EQ(y, x) << k;
    Picture.WorldToDevice(6350000.0 * k + 1, 0, x, y);
    EXPECT_EQ(x, int32_t(std::lround(k * 0.5 + 1e-9))) << k;
  }
}

// The whole-pixel position is the real one rounded as nearbyint rounds,
// wherever the picture lies and at any zoom, halves and the 32-bit edges
// included.
TEST_F(DrawingPictureTest, PixelPositionsAreTheRealOnesRoundedToEven) {
  uint64_t state = 12345;
  auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return double(int64_t(state >> 11) - (int64_t(1) << 52)) / double(int64_t(1) << 52);
  };
  const double zooms[] = {0.01, 1.0, 2.0, 64.0, 100.0, 1280.0 / 20, 12345.678, 1e9};
  int32_t x, y;
  double rx, ry;
  for (const double ppi : zooms) {
    for (int i = 0; i < 2000; ++i) {
      Place(next() * 2e9, next() * 2e9, ppi);
      // Every fourth point lies on a half pixel.
      double wx = next() * 2.2e9, wy = next() * 2.2e9;
      if (i % 4 == 0) {
        const double half = Inch / ppi / 2;
        wx = Picture.Left + std::round((wx - Picture.Left) / half) * half;
        wy = Picture.Top - std::round((Picture.Top - wy) / half) * half;
      }
      Picture.WorldToDevice(wx, wy, x, y);
      Picture.WorldToDeviceReal(wx, wy, rx, ry);
      ASSERT_EQ(x, int32_t(std::nearbyint(rx))) << ppi << " " << wx;
      ASSERT_EQ(y, int32_t(std::nearbyint(ry))) << ppi << " " << wy;
    }
  }
}

TEST_F(DrawingPictureTest, PictureEdgesAndContainment) {
  Place(0, 0);  // 3 in square below and right of the origin
  EXPECT_TRUE(Picture.ContainsPoint(3 * Inch, -3 * Inch));  // right and bottom edges
  EXPECT_TRUE(Picture.ContainsPoint(0, 0));
  EXPECT_FALSE(Picture.ContainsPoint(3 * Inch + 1, 0));
  EXPECT_FALSE(Picture.ContainsPoint(0, 1));
  EXPECT_EQ(Picture.PictureLeft(), 0);
  EXPECT_EQ(Picture.PictureRight(), 76200000);
  EXPECT_EQ(Picture.PictureBottom(), -76200000);
  EXPECT_TRUE(Picture.ColumnInside(300));
  EXPECT_FALSE(Picture.ColumnInside(0));
  Place(-3e9, 3e9, 0.001);  // a picture wider than the 32-bit range
  EXPECT_EQ(Picture.PictureLeft(), -2147483647);
  EXPECT_EQ(Picture.PictureTop(), 2147483647);
  EXPECT_EQ(Picture.PictureRight(), 2147483647);
}

TEST_F(DrawingPictureTest, ClearFillsTheBackgroundAndResetsTheRememberedPen) {
  Picture.Clear();
  EXPECT_EQ(Count(BackgroundColor), 300 * 300);
  // The first colour after a clear always reaches the canvas.
  Picture.SetColorIfChanged(BackgroundColor);
  Picture.SetColorIfChanged(clRed);
  EXPECT_EQ(Picture.Canvas->Pen.Color, clRed);
}

TEST_F(DrawingPictureTest, GridStepFitsTheLargerSide) {
  Place(0, 0);  // 3 in: 0.05 in, a dot every 5 pixels
  Picture.Clear();
  Picture.DrawGrid();
  EXPECT_DOUBLE_EQ(GridStep, 0.05);
  EXPECT_EQ(Pixel(5, 5), GridAndAxisColor);
  EXPECT_EQ(Pixel(295, 0), GridAndAxisColor);
  EXPECT_EQ(Pixel(6, 5), BackgroundColor);
  EXPECT_EQ(Count(GridAndAxisColor), 60 * 60);  // 100 x 100 dots, those on the picture

  Metric = true;
  UnitsPerDisplayUnit = MetricUnitsPerDisplayUnit;
  Place(0, 0, 300 / (50 / 25.4));  // 50 mm: 1 mm
  Picture.DrawGrid();
  EXPECT_DOUBLE_EQ(GridStep, 1.0);
  Place(0, 0, 0.0001);  // the edges clamp to the 32-bit range: 2,147 mm
  Picture.DrawGrid();
  EXPECT_DOUBLE_EQ(GridStep, 25.0);
  // Grid points whose pixels lie far beyond the picture are left out
  // without overflow at the largest zoom.
  Place(1073741823 - 1000.0, 0, 1e9);
  Picture.DrawGrid();
}

TEST_F(DrawingPictureTest, ZeroLinesCrossAtTheOrigin) {
  Place(-1.5 * Inch, 1.5 * Inch);
  Picture.Clear();
  Picture.DrawZeroLines();
  int onColumn = 0, onRow = 0;
  for (int i = 0; i < 300; ++i) {
    onColumn += Pixel(150, i) == GridAndAxisColor;
    onRow += Pixel(i, 150) == GridAndAxisColor;
  }
  EXPECT_GT(onColumn, 100);  // dash-dot: most of the column
  EXPECT_LT(onColumn, 300);
  EXPECT_GT(onRow, 100);
  EXPECT_EQ(Pixel(149, 20), BackgroundColor);
  EXPECT_EQ(Picture.PenStyle, 3);
}

TEST_F(DrawingPictureTest, ShadingCoversOnlyWhatLiesBeyondTheLimits) {
  Place(-1.5 * Inch, 1.5 * Inch);
  Picture.Clear();
  Picture.ShadeOutsideLimits();
  EXPECT_EQ(Count(0x808080), 0);

  // The right limit at column 150, the top limit at row 100.
  Place(DatabaseLimit - 1.5 * Inch, DatabaseLimit + 1.0 * Inch);
  Picture.Clear();
  Picture.ShadeOutsideLimits();
  EXPECT_EQ(Pixel(200, 200), 0x808080u);
  EXPECT_EQ(Pixel(100, 50), 0x808080u);
  EXPECT_EQ(Pixel(100, 200), BackgroundColor);

  // At the largest zoom the limits' corners clamp and nothing wraps.
  Place(DatabaseLimit - 2.54, 0, 1e9);  // the right limit at column 100
  Picture.Clear();
  Picture.ShadeOutsideLimits();
  EXPECT_EQ(Pixel(0, 150), BackgroundColor);
  EXPECT_EQ(Pixel(290, 150), 0x808080u);
}

TEST_F(DrawingPictureTest, MarksOutOfViewAreSkippedAndLinesClipped) {
  Place(0, 0, 1e9);
  Picture.Clear();
  Picture.Reset();
  Picture.SetColor(clRed);
  Picture.DrawXMark(DatabaseLimit, -DatabaseLimit);
  Picture.DrawHoleSymbol(DatabaseLimit, -DatabaseLimit, 7);
  EXPECT_EQ(Count(clRed), 0);
  // A line across the whole database passes through the picture's row 0.
  Picture.DrawLine(-DatabaseLimit, 0, DatabaseLimit, 0);
  EXPECT_EQ(Pixel(150, 0), clRed);
}

TEST_F(DrawingPictureTest, DeviceAndFixedBufferBitmaps) {
  TEncapsulatingBitmap ddb(40, 30, 8);
  EXPECT_FALSE(ddb.UsesDIB);
  EXPECT_EQ(ddb.GetWidth(), 40);
  ddb.SetWidth(20);
  ddb.SetHeight(10);
  EXPECT_EQ(ddb.Pixels().Width(), 20);
  EXPECT_EQ(ddb.GetHeight(), 10);

  TEncapsulatingBitmap dib(40, 30, 32);
  EXPECT_TRUE(dib.UsesDIB);
  EXPECT_EQ(dib.GetWidth(), 0);  // nothing reported until set
  dib.SetWidth(20);
  dib.SetHeight(10);
  EXPECT_EQ(dib.GetWidth(), 20);
  EXPECT_EQ(dib.GetHeight(), 10);
  // The buffer keeps its size: drawing still reaches its far corner.
  EXPECT_EQ(dib.Pixels().Width(), 40);
  dib.Canvas().SetPixel(39, 29, clFuchsia);
  EXPECT_EQ(dib.Pixels().Canvas().GetPixel(39, 29), clFuchsia);
  // Every palette colour comes back exactly.
  const TColor palette[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                              0x808000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                              0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
  for (int i = 0; i < 16; ++i) {
    dib.Canvas().Pen.Color = palette[i];
    dib.Canvas().MoveTo(i, 0);
    dib.Canvas().LineTo(i, 1);
    EXPECT_EQ(dib.Pixels().Canvas().GetPixel(i, 0), palette[i]);
  }

  EXPECT_EQ(LayerBit(3), 8u);
  EXPECT_EQ(LayerBit(33), 2u);
  EXPECT_EQ(LayerOfBit(0), 30);
  EXPECT_EQ(LayerOfBit(1u << 29), 29);
  EXPECT_EQ(LayerOfBit((1u << 3) | (1u << 7)), 3);
}

}  // namespace
