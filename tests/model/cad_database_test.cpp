#include "model/cad_database.h"

#include <gtest/gtest.h>

#include "foundation/geometry_matrix.h"
#include "foundation/settings.h"
#include "model/cad_undo.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "recording_surface.h"

namespace {

// A surface that converts but paints nothing.
class TSilentSurface : public TRecordingSurface {
 public:
  void DrawPlusMark(int32_t, int32_t) override {}
};

class CadDatabaseTest : public TCadTest {
 protected:
  uint32_t FlagsOf(int32_t i) { return DB->SlotAt(i)->Flags; }
  bool Live(int32_t i) { return !SlotDeleted(FlagsOf(i)); }
  static void Free(TRootEntityHandle* list) {
    while (list != nullptr) {
      TRootEntityHandle* next = list->Next;
      delete list;
      list = next;
    }
  }
  static std::vector<int32_t> Indices(TRootEntityHandle* list) {
    std::vector<int32_t> v;
    for (; list != nullptr; list = list->Next) v.push_back(list->Index);
    return v;
  }
};

TEST_F(CadDatabaseTest, AddsStoreTheRightTypesOnTheRightLayersAndJournal) {
  CurrentLayer = 4;
  EXPECT_EQ(DB->AddLine(0, 0, 499, -499), 1);
  EXPECT_EQ(DB->EntityAt(1)->GetType(), etCadPoint);
  EXPECT_EQ(DB->AddLine(0, 0, 500, 0), 2);
  EXPECT_EQ(DB->EntityAt(2)->GetType(), etCadLine);
  EXPECT_EQ(DB->AddArcThroughPoints({0, 0}, {5000, 5000}, {10000, 10000}), 3);
  EXPECT_EQ(DB->EntityAt(3)->GetType(), etCadLine);  // collinear
  auto* line = static_cast<TCadLine*>(DB->EntityAt(3));
  EXPECT_EQ((TIntPoint{line->X2, line->Y2}), (TIntPoint{10000, 10000}));
  EXPECT_EQ(DB->AddArcThroughPoints({1000, 0}, {0, 1000}, {-1000, 0}), 4);
  EXPECT_EQ(DB->EntityAt(4)->GetType(), etCadArc);
  EXPECT_EQ(DB->AddCircleThroughPoint({0, 0}, {3, 4}), 5);
  EXPECT_EQ(DB->EntityAt(5)->GetRadius(), 5);
  EXPECT_EQ(DB->AddCircleOnLayer(0, 0, 10, 29), 6);
  EXPECT_EQ(DB->AddPointOnLayer(0, 0, 30), 0);  // not a CAD layer
  EXPECT_EQ(CadEntityCount, 6);
  EXPECT_EQ(FlagsOf(1), 1u << 4);
  EXPECT_EQ(FlagsOf(6), 1u << 29);
  EXPECT_EQ(CadUndo->RecordCount(), 6);
  EXPECT_TRUE(DatabaseModified);
  // Every add was drawn.
  EXPECT_EQ(Surface.Count("DrawPlusMark"), 1);
  EXPECT_EQ(Surface.Count("DrawLine"), 2);
  EXPECT_EQ(Surface.Count("DrawArc"), 1);
  EXPECT_EQ(Surface.Count("DrawCircle"), 2);
}

TEST_F(CadDatabaseTest, PickingTakesTheNearestAndTheLowerIndexOnATie) {
  DB->AddLine(0, 0, 10000, 0);      // 1
  DB->AddLine(0, 2000, 10000, 2000);  // 2: same distance from y = 1000
  DB->AddPoint(5000, 1400);         // 3: nearer
  TRootEntityHandle* h = nullptr;
  int32_t d = 0;
  ASSERT_TRUE(DB->PickNearest(5000, 5000, 1000, true, h, d));
  EXPECT_EQ(h->Index, 3);
  EXPECT_EQ(d, 400);
  EXPECT_EQ(h->GetKind(), 3);
  Free(h);
  DB->MarkDeleted(3);
  ASSERT_TRUE(DB->PickNearest(5000, 5000, 1000, true, h, d));
  EXPECT_EQ(h->Index, 1);
  EXPECT_EQ(d, 1000);
  Free(h);

  // Only the current layer unless all active layers are asked for.
  CurrentLayer = 7;
  EXPECT_FALSE(DB->PickNearest(5000, 5000, 1000, false, h, d));
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(d, NotNear);
  // Inactive layers are never picked.
  ActiveLayerMask = 0x80000000u | (1u << 7);
  EXPECT_FALSE(DB->PickNearest(5000, 5000, 1000, true, h, d));
}

TEST_F(CadDatabaseTest, WindowSelectionListsHighestIndexFirst) {
  DB->AddPoint(10, 10);              // 1 inside
  DB->AddLine(0, 0, 5000, 5000);     // 2 inside
  DB->AddLine(0, 0, 50000, 50000);   // 3 crosses
  DB->AddCircle(90000, 90000, 10);   // 4 outside
  DB->AddPoint(20, 20);              // 5 inside but deleted
  DB->MarkDeleted(5);
  TRootEntityHandle* list = nullptr;
  ASSERT_TRUE(DB->SelectInWindow({10000, 10000}, {-100, -100}, true, 0, list));
  EXPECT_EQ(Indices(list), (std::vector<int32_t>{2, 1}));
  Free(list);
  ASSERT_TRUE(DB->SelectInWindow({-100, -100}, {10000, 10000}, true, 1, list));
  EXPECT_EQ(Indices(list), (std::vector<int32_t>{4}));
  Free(list);
  EXPECT_FALSE(DB->SelectInWindow({-100, -100}, {10000, 10000}, false, 3, list));
  EXPECT_EQ(list, nullptr);

  TRootEntityHandle *inside = nullptr, *crossing = nullptr;
  ASSERT_TRUE(DB->SelectInWindowForStretch({-100, -100}, {10000, 10000}, 0, inside, crossing));
  EXPECT_EQ(Indices(inside), (std::vector<int32_t>{2, 1}));
  ASSERT_EQ(Indices(crossing), (std::vector<int32_t>{3}));
  EXPECT_EQ(static_cast<TCadStretchHandle*>(crossing)->Inside, (TPointsInside{1, 0, 0}));
  Free(inside);
  Free(crossing);
}

TEST_F(CadDatabaseTest, TheStoreTakesAMillionEntitiesAndRefusesTheNext) {
  // No journal and a surface that draws nowhere: this test is about the store.
  ActiveUndo = nullptr;
  TSilentSurface silent;
  DrawSurface = &silent;
  constexpr int32_t Limit = TEntityArray::HighestIndex;
  for (int32_t i = 1; i <= Limit; ++i) ASSERT_EQ(DB->AddPointOnLayer(i, 0, 0), i);
  EXPECT_TRUE(ShownMessageBoxes().empty());
  EXPECT_EQ(DB->AddPointOnLayer(0, 0, 0), 0);
  EXPECT_EQ(CadEntityCount, Limit);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtError);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "The CAD drawing is full: it holds at most 1,000,000 entities.");
  TCadStatistics s = DB->CountByType();
  EXPECT_EQ(s[16], Limit);
}

TEST_F(CadDatabaseTest, ExtentsCountOnlyDisplayedEntities) {
  DB->AddLine(500, 600, -100, -200);
  DB->AddCircle(0, 0, 1000);
  CurrentLayer = 2;
  DB->AddPoint(90000, 90000);
  TIntPoint min, max;
  InitExtents(min, max);
  ASSERT_TRUE(DB->GetExtents(min, max));
  EXPECT_EQ(min, (TIntPoint{-1000, -1000}));
  EXPECT_EQ(max, (TIntPoint{90000, 90000}));
  DisplayedLayerMask = 0x80000000u | 1u;
  InitExtents(min, max);
  ASSERT_TRUE(DB->GetExtents(min, max));
  EXPECT_EQ(max, (TIntPoint{1000, 1000}));
  DisplayedLayerMask = 0x80000000u;
  InitExtents(min, max);
  EXPECT_FALSE(DB->GetExtents(min, max));

  EXPECT_FALSE(DB->LayerIsEmpty(2));
  DB->MarkDeleted(3);
  EXPECT_FALSE(DB->LayerIsEmpty(2));  // a deleted entity still holds the layer
  EXPECT_TRUE(DB->LayerIsEmpty(3));
}

TEST_F(CadDatabaseTest, StatisticsAndMemoryEstimate) {
  int32_t percent = -1, bytes = -1;
  DB->EstimateMemory(DB->CountByType(), percent, bytes);
  EXPECT_EQ(percent, 0);
  EXPECT_EQ(bytes, 0);

  DB->AddPoint(0, 0);
  DB->AddLine(0, 0, 10000, 0);
  DB->AddArc({1000, 0}, {0, 1000}, {0, 0});
  DB->AddCircle(0, 0, 5);
  DB->AddCircle(0, 0, 6);
  TCadStatistics before = DB->CountByType();
  DB->MarkDeleted(2);
  DB->MarkDeleted(4);
  TCadStatistics s = DB->CountByType();
  EXPECT_EQ(s[2], 1);
  EXPECT_EQ(s[4], 1);
  EXPECT_EQ(s[16], 1);
  EXPECT_EQ(s[18], 1);
  EXPECT_EQ(s[19], 1);
  EXPECT_EQ(s[0], 0);
  DB->EstimateMemory(s, percent, bytes);
  EXPECT_EQ(bytes, 24 + 20);
  EXPECT_EQ(percent, 39);  // 44 of 112

  DB->ShowStatistics(true, before);
  const auto& reports = HeadlessViewServices().Reports;
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Caption, "Drawing Statistics");
  EXPECT_EQ(reports[0].Lines,
            (std::vector<std::string>{"Statistics after partial cleanup:", "",
                                      "Entity Type        before     after",
                                      "-----------------------------------",
                                      "Deleted Entities : 0          2",
                                      "          Points : 1          1",
                                      "           Lines : 1          0",
                                      "            Arcs : 1          1",
                                      "         Circles : 2          1",
                                      "-----------------------------------",
                                      "           Total : 5          5"}));
}

TEST_F(CadDatabaseTest, ZoomExtentsFitsTheDrawingWithAMinimumBox) {
  THeadlessViewServices& view = HeadlessViewServices();
  DB->ZoomExtents();
  EXPECT_TRUE(view.Zooms.empty());  // nothing anywhere: the view stays

  DB->AddPoint(1000, 2000);
  DB->ZoomExtents();
  ASSERT_EQ(view.Zooms.size(), 1u);
  // A single point zooms to a box of the minimum side around it.
  EXPECT_EQ(view.Zooms[0], (TRealLine{{1000 - 127000, 2000 - 127000}, {1000 + 127000, 2000 + 127000}}));
  EXPECT_GT(view.PixelsPerInch(), 0.0);

  DB->AddLine(-2147483647, 0, 2147483647, 0);
  DB->ZoomExtents();
  EXPECT_EQ(view.Zooms[1], (TRealLine{{-2147483647.0, 1000 - 127000}, {2147483647.0, 1000 + 127000}}));

  // The rout and drill databases widen the box.
  DB->Clear();
  RoutZoomExtents = [](TIntPoint& min, TIntPoint& max) {
    ExtendExtents(min, max, {-5000000, -5000000});
    ExtendExtents(min, max, {5000000, 5000000});
    return true;
  };
  DB->ZoomExtents();
  RoutZoomExtents = nullptr;
  EXPECT_EQ(view.Zooms[2], (TRealLine{{-5000000, -5000000}, {5000000, 5000000}}));
}

class CadRedrawTest : public CadDatabaseTest {
 protected:
  void SetUp() override {
    CadDatabaseTest::SetUp();
    HeadlessViewServices().PictureOverride = nullptr;
    // A 6-inch picture at 100 pixels per inch, top-left at (0, 10 in).
    HeadlessViewServices().SetPicture(0.0, 254000000.0, 100.0, 600, 600);
    HeadlessViewServices().Surface.Canvas = &Canvas;
  }
  int MoveTos() const {
    int n = 0;
    for (const auto& c : Canvas.Calls) n += c.Op == "MoveTo";
    return n;
  }
  TRecordingCanvas Canvas;
};

TEST_F(CadRedrawTest, OnlyEntitiesInTheViewAreDrawnAndTheCurrentLayerLast) {
  CurrentLayer = 1;
  DB->AddPoint(10000000, 200000000);      // in view, current layer
  CurrentLayer = 0;
  DB->AddPoint(20000000, 200000000);      // in view
  DB->AddPoint(-500000000, 200000000);    // far left
  DB->AddPoint(20000000, -500000000);     // far below
  DB->AddLine(-900000000, 0, -800000000, 0);  // far away
  CurrentLayer = 1;
  Canvas.Calls.clear();
  HeadlessViewServices().Surface.Dirty = false;
  DB->Redraw();
  ASSERT_EQ(MoveTos(), 4);  // two plus marks
  // The other layer first, then the current layer in its colour.
  EXPECT_EQ(Canvas.Calls[0].ToString(), "MoveTo(76,213)");
  EXPECT_EQ(Canvas.Calls[0].Pen.Color, LayerColors[0]);
  EXPECT_EQ(Canvas.Calls[4].ToString(), "MoveTo(36,213)");
  EXPECT_EQ(Canvas.Calls[4].Pen.Color, LayerColors[1]);
  EXPECT_TRUE(HeadlessViewServices().Surface.Dirty);
  EXPECT_EQ(HeadlessViewServices().Cursor, crDefault);

  // Outside CAD editing everything is dimmed, the current layer included.
  EditorMode = emRout;
  Canvas.Calls.clear();
  DB->Redraw();
  ASSERT_EQ(MoveTos(), 4);
  for (const auto& c : Canvas.Calls) EXPECT_EQ(c.Pen.Color, DimColor);

  // Hidden layers are not drawn; construction marks come on top.
  EditorMode = emCad;
  DisplayedLayerMask = 0x80000000u | 1u;
  ConstructionPoints = true;
  Canvas.Calls.clear();
  DB->Redraw();
  EXPECT_EQ(MoveTos(), 2);  // the layer-0 point; points have no marks
}

TEST_F(CadRedrawTest, ExtremeZoomOutSaturatesTheWindow) {
  DB->AddPoint(0, 0);
  DB->AddPoint(2000000000, -2000000000);
  HeadlessViewServices().SetPicture(-2147483647.0, 2147483647.0, 1e-6, 600, 600);
  HeadlessViewServices().Surface.Canvas = &Canvas;
  Canvas.Calls.clear();
  DB->Redraw();
  EXPECT_EQ(MoveTos(), 4);
}

}  // namespace
