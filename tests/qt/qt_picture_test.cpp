// The screen picture on the Qt backend: a small job rendered into the
// off-screen bitmap (background, grid, zero lines, a CAD line, a kerf-filled
// rout line, a drill symbol) and its middle third copied to a view, checked
// pixel by pixel.
#include <gtest/gtest.h>


#include "foundation/settings.h"
#include "korvex_test.h"
#include "platform/qt/qt_canvas.h"
#include "workspace/db_bitmap.h"

namespace {

constexpr double Inch = 25400000.0;

class QtPictureTest : public TKorvexTest {
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

TEST_F(QtPictureTest, SmallJobRendersAndCopiesToTheView) {
  // A 100 x 100 view; the picture three times that, 100 pixels per inch,
  // centred on world (0, 0).
  TEncapsulatingBitmap bitmap(300, 300, 32);
  bitmap.SetWidth(300);
  bitmap.SetHeight(300);
  TDBBitmap picture(bitmap);
  picture.PixelsPerInch = 100;
  picture.Left = -1.5 * Inch;
  picture.Top = 1.5 * Inch;

  picture.Clear();
  picture.Reset();
  picture.DrawGrid();  // 0.05 in: a dot every 5 pixels
  picture.DrawZeroLines();
  picture.SetColor(clRed);
  picture.SetPenStyle(0);
  picture.DrawLine(int32_t(0.1 * Inch), int32_t(-0.2 * Inch), int32_t(0.4 * Inch),
                   int32_t(-0.2 * Inch));
  DisplayRoutsFullWidth = true;
  KerfFill = true;
  picture.SetColor(clLime);
  picture.DrawRoutLine(int32_t(-0.4 * Inch), int32_t(0.3 * Inch), int32_t(-0.1 * Inch),
                       int32_t(0.3 * Inch), int32_t(0.06 * Inch));
  picture.SetColor(clYellow);
  picture.DrawHoleSymbol(int32_t(-0.3 * Inch), int32_t(-0.3 * Inch), 40);  // shape 0
  EXPECT_TRUE(picture.Dirty);

  auto px = [&](int x, int y) { return bitmap.Pixels().Canvas().GetPixel(x, y); };
  EXPECT_EQ(px(3, 3), BackgroundColor);
  EXPECT_EQ(px(5, 5), GridAndAxisColor);
  EXPECT_EQ(px(170, 170), clRed);            // the CAD line on row 170
  EXPECT_EQ(px(125, 120), clLime);           // the kerf, 6 pixels thick, on row 120
  EXPECT_EQ(px(125, 117), clLime);
  EXPECT_EQ(px(126, 126), BackgroundColor);
  // The symbol: 0.01 in is one pixel here, a 2 x 2 block at (120, 180).
  EXPECT_EQ(px(120, 180), clYellow);
  int block = 0;
  for (int y = 179; y <= 182; ++y)
    for (int x = 119; x <= 122; ++x) block += px(x, y) == clYellow;
  EXPECT_GE(block, 3);
  EXPECT_LE(block, 4);

  // The view shows the middle third.
  auto view = TBitmap::Create(100, 100);
  view->Canvas().CopyRect({0, 0, 100, 100}, bitmap.Pixels(), {100, 100, 200, 200});
  EXPECT_EQ(view->Canvas().GetPixel(70, 70), clRed);
  EXPECT_EQ(view->Canvas().GetPixel(25, 20), clLime);
  EXPECT_EQ(view->Canvas().GetPixel(20, 80), clYellow);
}

TEST_F(QtPictureTest, ShadingBeyondTheLimitsAtTheLargestZoom) {
  TEncapsulatingBitmap bitmap(300, 300, 32);
  bitmap.SetWidth(300);
  bitmap.SetHeight(300);
  TDBBitmap picture(bitmap);
  picture.PixelsPerInch = 1e9;  // the limits lie billions of pixels away
  picture.Left = DatabaseLimit - 2.54;  // except the right one, at column 100
  picture.Top = 0;
  picture.Clear();
  picture.ShadeOutsideLimits();
  picture.DrawZeroLines();
  picture.Reset();
  picture.DrawLine(-DatabaseLimit, 0, DatabaseLimit, 0);
  auto px = [&](int x, int y) { return bitmap.Pixels().Canvas().GetPixel(x, y); };
  EXPECT_EQ(px(50, 150), BackgroundColor);
  EXPECT_EQ(px(250, 150), 0x808080u);
  EXPECT_EQ(px(50, 0), clAqua);  // the line along row 0
}

}  // namespace
