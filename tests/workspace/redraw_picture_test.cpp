// The full redraw of a mixed job into the screen picture, pixel for pixel:
// CAD lines, arcs and circles, drill hits of every tool with and without
// step patterns, slots, drill circles and texts, some far outside the
// picture, at several zooms and in every hole display. The picture the
// databases' Redraw paints must equal the one painted by drawing every
// entity in store order with no culling at all, and the pictures keep the
// checksums they had before the redraw was made fast.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/editor_state.h"
#include "model/step_repeat.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "picture_view.h"
#include "workspace/db_bitmap.h"

namespace {

constexpr double Inch = 25400000.0;
constexpr int32_t Width = 600, Height = 480;


class RedrawPictureTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    savedDb_ = DB;
    savedDrill_ = DRDB;
    DB = new TCadDatabase();
    DRDB = new TDrillDatabase();
    bitmap_.SetWidth(Width);
    bitmap_.SetHeight(Height);
    savedView_ = SetViewServices(&view_);
    savedSurface_ = DrawSurface;
    DrawSurface = nullptr;
    for (int32_t t = 1; t <= 60; ++t) {
      ActiveTools[t] = t != 13;  // one tool switched off
      ToolTable[t].Diameter = t * 5080;  // 0.0002 in steps
    }
    BuildJob();
  }
  void TearDown() override {
    DrawSurface = savedSurface_;
    SetViewServices(savedView_);
    delete DRDB;
    delete DB;
    DB = savedDb_;
    DRDB = savedDrill_;
    TKorvexTest::TearDown();
  }

  // A 4 x 3 in board near the origin, with a little beyond the picture at
  // every zoom and a few entities far away or across the whole range.
  void BuildJob() {
    std::mt19937 rng(11);
    auto in = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    const int32_t w = int32_t(4 * Inch), h = int32_t(3 * Inch), q = int32_t(Inch / 4);
    for (int i = 0; i < 1500; ++i) {
      int32_t x = in(-q, w + q), y = in(-q, h + q);
      DB->AddLineOnLayer(x, y, x + in(-q, q), y + in(-q, q), uint8_t(in(0, 3)));
    }
    for (int i = 0; i < 40; ++i) {
      int32_t x = in(0, w), y = in(0, h);
      DB->AddLineOnLayer(x, y, x + in(-w, w), y, 1);  // long horizontal and vertical lines
      DB->AddLineOnLayer(x, y, x, y + in(-h, h), 2);
    }
    DB->AddLineOnLayer(-1000000000, -900000000, 1000000000, 950000000, 0);
    DB->AddLineOnLayer(-1000000000, 700000, 1000000000, 700000, 3);
    DB->AddLineOnLayer(900000000, 900000000, 950000000, 1000000000, 0);
    for (int i = 0; i < 60; ++i) {
      int32_t x = in(0, w), y = in(0, h), r = in(1000, q);
      DB->AddCircleOnLayer(x, y, r, uint8_t(in(0, 3)));
      TIntPoint c{x, y};
      DB->AddArcOnLayer({x + r, y}, {x, y + r}, c, uint8_t(in(0, 3)));
    }
    for (int i = 0; i < 3000; ++i)
      DRDB->AddHoleOnLayer(in(-q, w + q), in(-q, h + q), uint8_t(in(30, 32)), in(1, 45), true);
    for (int i = 0; i < 30; ++i) {
      int32_t x = in(0, w), y = in(0, h);
      DRDB->AddSlotOnLayer(x, y, x + in(-q, q), y + in(-q, q), uint8_t(in(30, 31)), in(1, 20), true);
      DRDB->AddCircleOnLayer(x, y, in(10000, q), 30, in(1, 20), true);
    }
    DRDB->AddTextOnLayer(int32_t(Inch), int32_t(Inch), "123", false, 30, 3, true);
    DRDB->AddTextOnLayer(int32_t(2 * Inch), int32_t(Inch), "45", true, 31, 4, true);
    DRDB->AddHoleOnLayer(1000000000, 1000000000, 30, 2, true);
    DRDB->AddHoleOnLayer(-1000000000, 5000000, 31, 3, true);
    // Stepped holes whose copies reach into the picture from outside it.
    for (int i = 0; i < 20; ++i) {
      int32_t n = DRDB->AddHoleOnLayer(in(-w, 0), in(0, h), uint8_t(in(30, 32)), in(1, 40), true);
      auto* e = static_cast<TDrillEntity*>(DrillEntities->GetSlot(n)->Entity);
      e->SetStepObj(new TStepObject({{1, 1, 0, 0, 0}, {0, 6, int32_t(Inch / 2), 0, 0}, {0, 1, 0, 0, 0}}));
    }
  }

  // The picture centred on the board at the zoom (pixels per inch).
  void Place(double ppi) {
    picture_.PixelsPerInch = ppi;
    picture_.Left = 2 * Inch - Width / 2.0 / ppi * Inch;
    picture_.Top = 1.5 * Inch + Height / 2.0 / ppi * Inch;
  }

  void Background() {
    picture_.Clear();
    picture_.Reset();
    picture_.DrawGrid();
    picture_.DrawZeroLines();
    picture_.ShadeOutsideLimits();
    if (Xor) picture_.SetPenMode(pmXor);
  }

  // The databases' own redraw.
  std::vector<TColor> Redrawn() {
    Background();
    DB->Redraw();
    DRDB->Redraw();
    return bitmap_.Pixels().Pixels();
  }

  // Every entity drawn in store order, one by one, as the redraws order
  // them (CAD: other layers, then the current one; drill: layer by layer),
  // with no window test.
  std::vector<TColor> DrawnOneByOne() {
    Background();
    TDrawingBase& p = picture_;
    bool cadMode = EditorMode == emCad;
    uint32_t currentWord = cadMode && CurrentLayer <= 29 ? CadLayerBit(CurrentLayer) : 0;
    p.SetColor(cadMode ? LayerColors[0] : DimColor);
    p.SetPenStyle(0);
    for (int pass = 0; pass < 2; ++pass)
      for (int32_t i = 1; i <= CadEntityCount; ++i) {
        TEntitySlot* s = EntityArray->GetSlot(i);
        if (!SlotInMask(s->Flags, DisplayedLayerMask) || (pass == 0) == (s->Flags == currentWord))
          continue;
        uint8_t layer = LayerOfBit(s->Flags);
        static_cast<TCadEntity*>(s->Entity)->Draw(layer);
      }
    DRDB->ShowOriginMarker();
    p.SetColor(CurrentLayer < LayerColors.size() ? LayerColors[CurrentLayer] : DimColor);
    p.SetPenStyle(0);
    for (uint8_t layer = 30; layer <= 39; ++layer) {
      if ((DisplayedNCLayerMask & NCLayerBit(layer)) == 0) continue;
      for (int32_t i = 1; i <= DrillEntityCount; ++i) {
        TEntitySlot* s = DrillEntities->GetSlot(i);
        if (s->Flags == NCLayerBit(layer)) static_cast<TDrillEntity*>(s->Entity)->Draw(layer);
      }
    }
    return bitmap_.Pixels().Pixels();
  }

  bool Xor = false;
  TEncapsulatingBitmap bitmap_{Width, Height, 32};
  TDBBitmap picture_{bitmap_};
  TPictureView view_{picture_};

 private:
  TCadDatabase* savedDb_ = nullptr;
  TDrillDatabase* savedDrill_ = nullptr;
  TViewServices* savedView_ = nullptr;
  TDrawingBase* savedSurface_ = nullptr;
};

struct TCase {
  double Ppi;
  uint8_t Holes;
  uint8_t Mode;
  bool Xor;  // exclusive-or pen: a pixel painted twice vanishes
};

// Zooms from a picture wider than the board (holes as dots and 2 x 2
// blocks) to one where symbols are large, in every hole display, in the
// drill and the CAD editor, in copy and exclusive-or mode.
const TCase Cases[] = {
    {40, 3, emDrill, false},  {100, 3, emDrill, false}, {250, 3, emDrill, false},
    {700, 3, emDrill, false}, {2500, 3, emDrill, false}, {40, 0, emDrill, false},
    {250, 0, emDrill, false}, {100, 1, emDrill, false}, {700, 1, emDrill, false},
    {100, 2, emDrill, false}, {700, 2, emDrill, false}, {250, 3, emCad, false},
    {700, 0, emCad, false},   {40, 3, emDrill, true},   {250, 0, emDrill, true},
    {700, 3, emDrill, true},  {700, 1, emDrill, true},
};

// The checksums of the pictures of Cases, as painted before the redraw's
// fast paths existed.
const uint64_t Expected[] = {
    0x1a4d78a61a27037full, 0xaf61280e92ff4187ull, 0xa021417e1dde3e95ull,
    0xda2b427170e8c2feull, 0x3cca70a2f1c2dfebull, 0xdf2c060dcdc8b838ull,
    0x6131c4a62a2d5e9bull, 0x85b990c74757e754ull, 0xb7d395be016beb9eull,
    0xdbf88fe35a1b16c2ull, 0x214215269daebf94ull, 0x089deb89141b577dull,
    0xc47d44ee15cd51cfull, 0x0c380ebe4ee9bb2eull, 0xb4ec40a995af3910ull,
    0xf3d2ce11d0514a8cull, 0x4ca8a912e5dfcc52ull,
};

TEST_F(RedrawPictureTest, RedrawEqualsDrawingEveryEntityAndKeepsThePicture) {
  static_assert(std::size(Cases) == std::size(Expected));
  for (size_t k = 0; k < std::size(Cases); ++k) {
    const TCase& c = Cases[k];
    SCOPED_TRACE(::testing::Message() << "zoom " << c.Ppi << " holes " << int(c.Holes) << " mode "
                                      << int(c.Mode) << (c.Xor ? " xor" : ""));
    Place(c.Ppi);
    DisplayHolesAs = c.Holes;
    EditorMode = c.Mode;
    Xor = c.Xor;
    std::vector<TColor> fast = Redrawn();
    std::vector<TColor> plain = DrawnOneByOne();
    EXPECT_TRUE(fast == plain);
    EXPECT_EQ(PixelChecksum(fast), Expected[k]);
    size_t painted = 0;
    for (TColor p : fast) painted += p != BackgroundColor;
    EXPECT_GT(painted, size_t(Width * Height / 50));
  }
}

}  // namespace
