// The rout database's full redraw, pixel for pixel, against its two drawings
// done one after the other: the rebuild of every layer's compensated records
// (each drawn as it is made) and then every chain drawn again. Holes with and
// without step copies, routed circles and a path, on two layers that overlap,
// in both colour rules, with dashed and solid copies, in and out of the rout
// editor; also with the chains drawn on another surface and with an entity
// listed twice, where the records drawn as made are all that shows of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "foundation/settings.h"
#include "model/editor_state.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/rout_sequence.h"
#include "model/step_repeat.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "workspace/db_bitmap.h"
#include "workspace/startup.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t Inch = 25400000;

class RoutRedrawPictureTest : public TWorkspaceTest {
 protected:
  void TearDown() override {
    DrawSurface = nullptr;
    TWorkspaceTest::TearDown();
  }

  void BuildJob() {
    std::mt19937 rng(17);
    auto in = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    for (uint8_t l : {uint8_t(40), uint8_t(41)})
      for (int32_t t = 1; t <= 8; ++t) RoutToolPages[l][t].Diameter = t * 127000 + (l - 40) * 50000;
    for (int i = 0; i < 300; ++i) {
      const uint8_t layer = uint8_t(40 + i % 2);
      const int32_t h = RTDB->AddHole({in(0, 3 * Inch), in(0, 2 * Inch)}, layer, in(1, 8));
      if (i % 25 == 0) {
        auto* hole = static_cast<TRoutEntity*>(RoutEntities->GetSlot(h)->Entity);
        hole->SetStepObj(new TStepObject({{1, 1, 0, 0, 0}, {0, 3, Inch / 5, 0, 0}, {0, 1, 0, 0, 0}}));
      }
    }
    for (int i = 0; i < 6; ++i)
      RTDB->AddCircle({in(0, 3 * Inch), in(0, 2 * Inch)}, uint8_t(40 + i % 2), in(1, 8), 0, 0,
                      in(Inch / 20, Inch / 4), false, NoZOffset);
    CurrentLayer = 40;
    RTDB->AddLineSegment({Inch / 2, Inch / 2}, {2 * Inch, Inch}, false, NoZOffset, 0);
  }

  std::vector<TColor> Picture() { return OffscreenBitmap->Pixels().Pixels(); }

  // Redraw, and the rebuild followed by the second drawing, from a clear
  // picture; the pictures and the pen the two leave must be the same.
  void ExpectRedrawAsBothDrawings() {
    DBBitmap->Clear();
    RTDB->Redraw(0);
    const std::vector<TColor> redrawn = Picture();
    const TColor colour = PictureSurface().Color;
    const uint8_t style = PictureSurface().PenStyle, mode = PictureSurface().PenMode;
    DBBitmap->Clear();
    RTDB->DrawAllStepRepeats(0);
    RTDB->DrawLayers();
    RTDB->EndSingleStep();
    EXPECT_TRUE(redrawn == Picture());
    EXPECT_EQ(colour, PictureSurface().Color);
    EXPECT_EQ(style, PictureSurface().PenStyle);
    EXPECT_EQ(mode, PictureSurface().PenMode);
    size_t painted = 0;
    for (TColor p : redrawn) painted += p != redrawn[0];
    EXPECT_GT(painted, size_t(500));
  }
};

TEST_F(RoutRedrawPictureTest, RedrawPaintsWhatBothDrawingsPaint) {
  StartProgram();
  ASSERT_NE(RTDB, nullptr);
  ASSERT_NE(DBBitmap, nullptr);
  ClearJob();  // File > New: every layer shown
  BuildJob();
  ViewServices().ZoomWindow(0, 0, 3 * Inch, 2 * Inch);
  for (uint8_t colours : {uint8_t(0), uint8_t(1)})
    for (bool dashed : {false, true})
      for (uint8_t mode : {emRout, emDrill}) {
        SCOPED_TRACE(::testing::Message() << "colours " << int(colours) << " dashed " << dashed
                                          << " editor " << int(mode));
        RoutColors = colours;
        DisplayStepsDashed = dashed;
        EditorMode = mode;
        ExpectRedrawAsBothDrawings();
      }

  // The chains drawn on another surface: the picture keeps the records
  // drawn as they were made.
  TEncapsulatingBitmap other(200, 100, 32);
  TDBBitmap elsewhere(other);
  DrawSurface = &elsewhere;
  EditorMode = emRout;
  ExpectRedrawAsBothDrawings();
  DrawSurface = nullptr;

  // A hole listed on both layers: its records from the first layer are
  // dropped by the second rebuild and drawn only as made.
  Seq->SetInsertAtEnd(41);
  ASSERT_TRUE(Seq->InsertHandle(41, Seq->HandleAt(40, 1)));
  EXPECT_FALSE(Seq->HandlesDistinct());
  ExpectRedrawAsBothDrawings();
}

}  // namespace
