// Holes painted in runs straight into the canvas, against the same redraw
// with every entity drawing itself. Generated jobs of several tools and
// layers (some tools switched off, stepped holes, some of patterns that make
// no copy, slots and circles in among the holes, holes on and far off the
// picture) are redrawn in every
// colour rule, as pixels and as symbols at zooms where a symbol is a dot
// and where it is not, in the drill and the CAD editor, in copy and
// exclusive-or mode. The picture, the picture as each progressive copy
// showed it to the view, and the surface and pen the redraw leaves must be
// the same either way.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/editor_state.h"
#include "model/step_repeat.h"
#include "model/symbol_drawer.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "picture_view.h"
#include "workspace/db_bitmap.h"
#include "workspace_test_support.h"

namespace {

constexpr double Inch = 25400000.0;
constexpr int32_t Width = 360, Height = 300;

// What a redraw leaves: the picture, each copy the view was shown, and the
// state of the surface and its canvas.
struct TOutcome {
  std::vector<TColor> Pixels;
  std::vector<uint64_t> Copies;
  TColor Color = 0;
  uint8_t PenStyle = 0, PenMode = 0;
  bool Dirty = false;
  double CachedZoom = 0;
  int32_t SymbolSize = 0;
  TCanvas* SymbolCanvas = nullptr;
  TPoint PenPos;
  TPen Pen;
  TColor FontColor = 0, BackColor = 0;
};

void ExpectSame(const TOutcome& runs, const TOutcome& single) {
  EXPECT_TRUE(runs.Pixels == single.Pixels);
  EXPECT_EQ(runs.Copies, single.Copies);
  EXPECT_EQ(runs.Color, single.Color);
  EXPECT_EQ(runs.PenStyle, single.PenStyle);
  EXPECT_EQ(runs.PenMode, single.PenMode);
  EXPECT_EQ(runs.Dirty, single.Dirty);
  EXPECT_EQ(runs.CachedZoom, single.CachedZoom);
  EXPECT_EQ(runs.SymbolSize, single.SymbolSize);
  EXPECT_EQ(runs.SymbolCanvas, single.SymbolCanvas);
  EXPECT_EQ(runs.PenPos, single.PenPos);
  EXPECT_TRUE(runs.Pen == single.Pen);
  EXPECT_EQ(runs.FontColor, single.FontColor);
  EXPECT_EQ(runs.BackColor, single.BackColor);
}

// The headless view with a DBBitmap as its picture, keeping the picture as
// each progressive copy shows it.
class TCopyingView : public TPictureView {
 public:
  using TPictureView::TPictureView;
  void CopyPictureToView(const TRect& source, const TRect& target) override {
    Copies.push_back(PixelChecksum(P.Bitmap->Pixels().Pixels()) ^ uint64_t(source.Left) ^
                     uint64_t(target.Right) << 32);
  }
  std::vector<uint64_t> Copies;
};

class HoleRunsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    savedDrill_ = DRDB;
    DRDB = new TDrillDatabase();
    bitmap_.SetWidth(Width);
    bitmap_.SetHeight(Height);
    savedView_ = SetViewServices(&view_);
    savedSurface_ = DrawSurface;
    DrawSurface = nullptr;
    for (int32_t t = 1; t <= 60; ++t) {
      ActiveTools[t] = t % 7 != 3;
      ToolTable[t].Diameter = t * 5080;
    }
    DisplayedNCLayerMask = 0x3FF;
  }
  void TearDown() override {
    PaintHoleRuns = true;
    DrawSurface = savedSurface_;
    SetViewServices(savedView_);
    delete DRDB;
    DRDB = savedDrill_;
    TKorvexTest::TearDown();
  }

  // Holes over a 2 x 1.5 in board and a margin round it, some far away;
  // every few holes a slot, a circle or a stepped hole among them.
  void BuildJob(uint32_t seed, int holes) {
    std::mt19937 rng(seed);
    auto in = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    const int32_t w = int32_t(2 * Inch), h = int32_t(1.5 * Inch), q = int32_t(Inch / 2);
    for (int i = 0; i < holes; ++i) {
      const uint8_t layer = uint8_t(in(30, 33));
      const int32_t x = in(-q, w + q), y = in(-q, h + q), tool = in(1, 45);
      switch (in(0, 60)) {
        case 0:
          DRDB->AddSlotOnLayer(x, y, x + in(-q, q) / 4, y + in(-q, q) / 4, layer, tool, true);
          break;
        case 1:
          DRDB->AddCircleOnLayer(x, y, in(10000, q / 4), layer, tool, true);
          break;
        case 2: {
          int32_t n = DRDB->AddHoleOnLayer(x, y, layer, tool, true);
          auto* e = static_cast<TDrillEntity*>(DrillEntities->GetSlot(n)->Entity);
          // Some patterns make no copy at all.
          const int32_t copies = in(0, 3) == 0 ? 1 : 3;
          e->SetStepObj(new TStepObject({{1, 1, 0, 0, 0}, {0, copies, int32_t(Inch / 8), 0, 0}}));
          break;
        }
        case 3:
          DRDB->AddHoleOnLayer(in(-1000000000, 1000000000), in(-1000000000, 1000000000), layer, tool, true);
          break;
        default:
          DRDB->AddHoleOnLayer(x, y, layer, tool, true);
      }
    }
    // Holes on the half-pixel lattice of 100 pixels per inch, where the
    // rounding of halves decides the pixel.
    for (int i = 0; i < 200; ++i)
      DRDB->AddHoleOnLayer((2 * in(0, 400) + 1) * 127000, (2 * in(0, 300) + 1) * 127000, 30, in(1, 45), true);
  }

  // The picture centred on the board at the zoom (pixels per inch).
  void Place(double ppi) {
    picture_.PixelsPerInch = ppi;
    picture_.Left = 1 * Inch - Width / 2.0 / ppi * Inch;
    picture_.Top = 0.75 * Inch + Height / 2.0 / ppi * Inch;
  }

  TOutcome Redraw(bool runs, bool xorPen) {
    PaintHoleRuns = runs;
    view_.Copies.clear();
    picture_.Clear();
    picture_.Reset();
    picture_.CachedZoom = 0;
    picture_.SymbolDrawer->SetSize(4);
    if (xorPen) picture_.SetPenMode(pmXor);
    picture_.Dirty = false;
    picture_.Canvas->MoveTo(-7, -7);
    DRDB->Redraw();
    TOutcome o;
    o.Pixels = bitmap_.Pixels().Pixels();
    o.Copies = view_.Copies;
    o.Color = picture_.Color;
    o.PenStyle = picture_.PenStyle;
    o.PenMode = picture_.PenMode;
    o.Dirty = picture_.Dirty;
    o.CachedZoom = picture_.CachedZoom;
    o.SymbolSize = picture_.SymbolDrawer->GetSize();
    o.SymbolCanvas = picture_.SymbolDrawer->Canvas;
    o.PenPos = picture_.Canvas->PenPos();
    o.Pen = picture_.Canvas->Pen;
    o.FontColor = picture_.Canvas->Font.Color;
    o.BackColor = picture_.Canvas->BackColor;
    return o;
  }

  TEncapsulatingBitmap bitmap_{Width, Height, 32};
  TDBBitmap picture_{bitmap_};
  TCopyingView view_{picture_};

 private:
  TDrillDatabase* savedDrill_ = nullptr;
  TViewServices* savedView_ = nullptr;
  TDrawingBase* savedSurface_ = nullptr;
};

// Zooms where the symbol is one pixel (size 0), the three-pixel dot (sizes
// 1 to 3) and a drawn symbol (5 and more); at 100 and 500 the picture's
// edges lie on whole pixels.
constexpr double Zooms[] = {30, 100, 180, 330, 500, 900};

TEST_F(HoleRunsTest, RunsPaintWhatEveryHoleDrawnByItselfPaints) {
  size_t painted = 0;
  for (uint32_t seed = 1; seed <= 2; ++seed) {
    delete DRDB;
    DRDB = new TDrillDatabase();
    BuildJob(seed, 2200);
    for (double ppi : Zooms)
      for (uint8_t display : {uint8_t(0), uint8_t(1), uint8_t(3), uint8_t(7)})
        for (uint8_t by = 0; by <= 5; ++by)
          for (uint8_t mode : {uint8_t(emDrill), uint8_t(emCad)}) {
            if ((mode == emCad && by % 2 == 1) || (display == 7 && by != 2)) continue;
            const bool xorPen = by == 4 && ppi == 180;
            SCOPED_TRACE(::testing::Message() << "seed " << seed << " zoom " << ppi << " display "
                                              << int(display) << " colour by " << int(by) << " mode "
                                              << int(mode) << (xorPen ? " xor" : ""));
            Place(ppi);
            DisplayHolesAs = display;
            ColorHolesBy = by;
            EditorMode = mode;
            CurrentLayer = uint8_t(30 + seed);
            const TOutcome runs = Redraw(true, xorPen);
            const TOutcome single = Redraw(false, xorPen);
            ExpectSame(runs, single);
            EXPECT_FALSE(runs.Copies.empty());
            for (TColor p : runs.Pixels) painted += p != BackgroundColor;
          }
  }
  EXPECT_GT(painted, size_t(100000));
}

// A layer of nothing but switched-off tools, or of holes all off the
// picture, leaves the surface as the one-by-one draw does: untouched by the
// holes.
TEST_F(HoleRunsTest, HolesThatPaintNothingLeaveTheSurfaceAlone) {
  for (int i = 0; i < 1500; ++i) DRDB->AddHoleOnLayer(i * 1000, i * 700, 30, 3, true);  // tool 3 is off
  for (int i = 0; i < 1500; ++i) DRDB->AddHoleOnLayer(900000000 + i, -900000000, 31, 5, true);
  for (uint8_t display : {uint8_t(0), uint8_t(1), uint8_t(3)}) {
    SCOPED_TRACE(int(display));
    Place(150);
    DisplayHolesAs = display;
    ColorHolesBy = 0;
    EditorMode = emDrill;
    ExpectSame(Redraw(true, false), Redraw(false, false));
  }
}

// The headless view's own picture (a plain picture surface whose marks
// reach the whole device range) paints the same in runs.
TEST_F(HoleRunsTest, HeadlessPicturePaintsTheSameInRuns) {
  SetViewServices(nullptr);
  ResetHeadlessViewServices();
  THeadlessViewServices& v = HeadlessViewServices();
  BuildJob(9, 3000);
  for (double ppi : {60.0, 200.0, 600.0}) {
    for (uint8_t display : {uint8_t(0), uint8_t(1), uint8_t(3)}) {
      SCOPED_TRACE(::testing::Message() << "zoom " << ppi << " display " << int(display));
      v.SetPicture(-0.2 * Inch, 1.8 * Inch, ppi, 400, 320);
      DisplayHolesAs = display;
      ColorHolesBy = 0;
      EditorMode = emDrill;
      auto draw = [&](bool runs) {
        PaintHoleRuns = runs;
        v.Surface.SetColor(BackgroundColor);
        v.Bitmap->Canvas().FillRect({0, 0, 400, 320});
        v.Surface.Reset();
        DRDB->Redraw();
        return std::make_pair(v.Bitmap->Pixels(), v.Surface.Canvas->PenPos());
      };
      const auto runs = draw(true);
      const auto single = draw(false);
      EXPECT_TRUE(runs.first == single.first);
      EXPECT_EQ(runs.second, single.second);
    }
  }
  ResetHeadlessViewServices();
}

// Through the started program: the view's redraw of a drill job shows the
// same picture with and without runs.
class HoleRunsProgramTest : public TWorkspaceTest {
 protected:
  void TearDown() override {
    PaintHoleRuns = true;
    TWorkspaceTest::TearDown();
  }
};

TEST_F(HoleRunsProgramTest, TheViewShowsTheSamePictureWithRuns) {
  StartProgram();
  ASSERT_NE(DRDB, nullptr);
  ASSERT_NE(OffscreenBitmap, nullptr);
  std::mt19937 rng(5);
  std::uniform_int_distribution<int32_t> x(0, int32_t(3 * Inch)), y(0, int32_t(2 * Inch));
  std::uniform_int_distribution<int32_t> tool(1, 20);
  for (int32_t t = 1; t <= 20; ++t) {
    ToolTable[t].Diameter = t * 2540;
    ActiveTools[t] = t != 6;
  }
  for (int i = 0; i < 2500; ++i) DRDB->AddHoleOnLayer(x(rng), y(rng), 30, tool(rng), true);
  EditorMode = emDrill;
  for (int zoom = 0; zoom < 2; ++zoom) {
    if (zoom == 0)
      ViewServices().ZoomWindow(0, 0, int32_t(3 * Inch), int32_t(2 * Inch));
    else
      ViewServices().ZoomWindow(int32_t(Inch), int32_t(Inch / 2), int32_t(1.4 * Inch), int32_t(0.8 * Inch));
    for (uint8_t display : {uint8_t(0), uint8_t(1), uint8_t(3)}) {
      SCOPED_TRACE(::testing::Message() << "zoom " << zoom << " display " << int(display));
      DisplayHolesAs = display;
      PaintHoleRuns = true;
      ViewServices().RedrawView();
      const std::vector<TColor> runs = OffscreenBitmap->Pixels().Pixels();
      PaintHoleRuns = false;
      ViewServices().RedrawView();
      const std::vector<TColor> single = OffscreenBitmap->Pixels().Pixels();
      EXPECT_TRUE(runs == single);
      // The holes were drawn: at the smallest scale, as single pixels, many
      // share one.
      size_t painted = 0;
      for (TColor p : runs) painted += p != BackgroundColor;
      EXPECT_GT(painted, size_t(250));
    }
  }
}

}  // namespace
