// The screen picture on the Qt backend: a small job rendered into the
// off-screen bitmap (background, grid, zero lines, a CAD line, a kerf-filled
// rout line, a drill symbol) and its middle third copied to a view, checked
// pixel by pixel.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
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

// The picture and its view on the canvas backend installed when made.
struct TRedrawnPicture : THeadlessViewServices {
  TRedrawnPicture(int w, int h) : Bitmap(w, h, 32), Screen(Bitmap) {
    Bitmap.SetWidth(w);
    Bitmap.SetHeight(h);
  }
  double PixelsPerInch() override { return Screen.PixelsPerInch; }
  TDrawingBase& Picture() override { return Screen; }
  double PictureLeftX() override { return Screen.Left; }
  double PictureTopY() override { return Screen.Top; }
  int32_t PictureWidth() override { return Screen.W(); }
  int32_t PictureHeight() override { return Screen.H(); }
  TCanvas& PictureCanvas() override { return *Screen.Canvas; }

  // A full redraw as the view does it, at the zoom, centred on (cx, cy).
  std::vector<TColor> Redraw(double ppi, double cx, double cy, bool xorPen) {
    Screen.PixelsPerInch = ppi;
    Screen.Left = cx - Screen.W() / 2.0 / ppi * Inch;
    Screen.Top = cy + Screen.H() / 2.0 / ppi * Inch;
    TViewServices* savedView = SetViewServices(this);
    TDrawingBase* savedSurface = DrawSurface;
    DrawSurface = nullptr;
    Screen.Clear();
    Screen.Reset();
    Screen.DrawGrid();
    Screen.DrawZeroLines();
    Screen.ShadeOutsideLimits();
    if (xorPen) Screen.SetPenMode(pmXor);
    DB->Redraw();
    DRDB->Redraw();
    DrawSurface = savedSurface;
    SetViewServices(savedView);
    return Bitmap.Pixels().Pixels();
  }

  TEncapsulatingBitmap Bitmap;
  TDBBitmap Screen;
};

// A panel of CAD lines (up to reach long each way) and plain holes of
// tools 1 to 40 (tool 7 inactive) from 1 to 7 in by 1 to 5 in, drawn at
// random from the seed, in databases of its own; the origin mark is left
// out (its two-pixel letters come out differently on the two canvases).
struct TPanelJob {
  TPanelJob(uint32_t seed, int lines, int holes, int32_t reach) {
    DB = new TCadDatabase();
    DRDB = new TDrillDatabase();
    for (int32_t t = 1; t <= 40; ++t) ActiveTools[t] = t != 7;
    std::mt19937 rng(seed);
    auto in = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    ShowG93 = false;
    const int32_t o = int32_t(Inch), w = int32_t(6 * Inch), h = int32_t(4 * Inch);
    for (int i = 0; i < lines; ++i) {
      const int32_t x = in(o, o + w), y = in(o, o + h);
      DB->AddLineOnLayer(x, y, x + in(-reach, reach), y + in(-reach, reach), uint8_t(in(0, 3)));
    }
    for (int i = 0; i < holes; ++i)
      DRDB->AddHoleOnLayer(in(o, o + w), in(o, o + h), uint8_t(in(30, 32)), in(1, 40), true);
  }
  ~TPanelJob() {
    ShowG93 = SavedG93;
    delete DRDB;
    delete DB;
    DB = SavedDb;
    DRDB = SavedDrill;
  }
  TCadDatabase* SavedDb = DB;
  TDrillDatabase* SavedDrill = DRDB;
  bool SavedG93 = ShowG93;
};

// A full redraw of a panel of CAD lines and plain holes through the Qt
// canvas equals the headless raster's, pixel for pixel: holes as dots and
// 2 x 2 blocks, as symbols small and large, as pixels, in copy and
// exclusive-or mode.
TEST_F(QtPictureTest, FullRedrawMatchesTheHeadlessRaster) {
  const TPanelJob job(31, 3000, 30000, int32_t(Inch / 8));
  TRedrawnPicture qt(1200, 900);
  SetCanvasBackend(nullptr);
  TRedrawnPicture raster(1200, 900);
  InstallQtCanvasBackend();
  struct TCase {
    double Ppi;
    uint8_t Holes;
    bool Xor;
  };
  const TCase cases[] = {{60, 3, false}, {150, 3, false}, {500, 3, false},  {1200, 3, false},
                         {9000, 3, false}, {500, 3, true},  {150, 0, false}, {500, 0, true}};
  const uint8_t savedHoles = DisplayHolesAs;
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "zoom " << c.Ppi << " holes " << int(c.Holes) << (c.Xor ? " xor" : ""));
    DisplayHolesAs = c.Holes;
    EditorMode = emDrill;
    const double cx = 4 * Inch, cy = 3 * Inch;
    std::vector<TColor> onQt = qt.Redraw(c.Ppi, cx, cy, c.Xor);
    std::vector<TColor> onRaster = raster.Redraw(c.Ppi, cx, cy, c.Xor);
    EXPECT_TRUE(onQt == onRaster);
    size_t painted = 0;
    for (TColor p : onQt) painted += p != BackgroundColor;
    EXPECT_GT(painted, onQt.size() / 100);
  }
  DisplayHolesAs = savedHoles;
}

// The view paints again only the box of what was erased or drawn out of
// order, clipped: on the Qt canvas the box so painted holds the pixels a
// full redraw gives it, the grid, the axes, lines and holes cut by its
// edges included, for holes as symbols, as pixels and as circles.
TEST_F(QtPictureTest, ARedrawClippedToABoxPaintsItAsAFullRedraw) {
  const TPanelJob job(47, 300, 3000, int32_t(Inch / 2));
  TRedrawnPicture qt(600, 450);
  const uint8_t savedHoles = DisplayHolesAs;
  EditorMode = emDrill;
  for (const uint8_t holes : {3, 0, 1})
    for (const double ppi : {40.0, 150.0, 900.0}) {
      SCOPED_TRACE(::testing::Message() << "zoom " << ppi << " holes " << int(holes));
      DisplayHolesAs = holes;
      const std::vector<TColor> full = qt.Redraw(ppi, 4 * Inch, 3 * Inch, false);
      TCanvas& canvas = *qt.Screen.Canvas;
      for (const TRect box : {TRect{137, 101, 311, 233}, TRect{0, 0, 57, 450}, TRect{290, 219, 291, 220}}) {
        // A picture painted over, the box painted again: the box as the full
        // redraw has it, the rest left alone.
        canvas.Brush.Color = clRed;
        canvas.Brush.Style = bsSolid;
        canvas.FillRect({0, 0, 600, 450});
        canvas.ClipRect(box);
        const std::vector<TColor> repainted = qt.Redraw(ppi, 4 * Inch, 3 * Inch, false);
        canvas.ClipRect(TRect{});
        size_t wrong = 0;
        for (int y = 0; y < 450; ++y)
          for (int x = 0; x < 600; ++x) {
            const bool inside = x >= box.Left && x < box.Right && y >= box.Top && y < box.Bottom;
            const size_t k = size_t(y) * 600 + size_t(x);
            wrong += repainted[k] != (inside ? full[k] : TColor(clRed));
          }
        EXPECT_EQ(wrong, 0u) << "box " << box.Left << ", " << box.Top;
      }
    }
  DisplayHolesAs = savedHoles;
}

}  // namespace
