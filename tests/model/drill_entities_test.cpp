#include <climits>
#include <memory>
#include <vector>

#include "drill_test_fixture.h"
#include "foundation/geometry_matrix.h"
#include "foundation/settings.h"
#include "model/hit_patterns.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"

namespace {

TMatrix3 Shift(double dx, double dy) {
  TMatrix3 m = IdentityMatrix;
  TranslateMatrix(m, dx, dy);
  return m;
}

TIntBox Around(int32_t x, int32_t y, int32_t t) { return {x - t, y - t, x + t, y + t}; }

}  // namespace

class TDrillEntityTest : public TDrillTest {};

// A refused transform changes nothing at all: neither a point, nor the other
// end of a slot, nor the step object.
TEST_F(TDrillEntityTest, RefusedTransformLeavesEntityWhole) {
  ToolTable[1].Diameter = 1000;
  const int32_t edge = 1073741000;
  TDrillHole hole({edge, 0}, 1);
  TStepObject* pattern = RowPattern(2, 100);
  hole.SetStepObj(pattern);
  EXPECT_FALSE(hole.Transform(Shift(1000, 0)));
  EXPECT_EQ(hole.X, edge);
  EXPECT_EQ(hole.GetStepObj(), pattern);

  // First end would leave the extent, second end would not.
  TDrillSlot slot({edge, 0}, {0, 0}, 1);
  EXPECT_FALSE(slot.Transform(Shift(1000, 5)));
  EXPECT_EQ((TIntPoint{slot.X, slot.Y}), (TIntPoint{edge, 0}));
  EXPECT_EQ((TIntPoint{slot.X2, slot.Y2}), (TIntPoint{0, 0}));
  // Second end out, first in.
  TDrillSlot slot2({0, 0}, {edge, 0}, 1);
  EXPECT_FALSE(slot2.Transform(Shift(1000, 5)));
  EXPECT_EQ((TIntPoint{slot2.X2, slot2.Y2}), (TIntPoint{edge, 0}));

  // An accepted move takes both ends and a transformed step object.
  EXPECT_TRUE(slot.Transform(Shift(-1000, 5)));
  EXPECT_EQ((TIntPoint{slot.X, slot.Y}), (TIntPoint{edge - 1000, 5}));
  EXPECT_EQ((TIntPoint{slot.X2, slot.Y2}), (TIntPoint{-1000, 5}));
  EXPECT_TRUE(hole.Transform(Shift(-1000, 0)));
  EXPECT_NE(hole.GetStepObj(), nullptr);
}

// Hits: a step object multiplies them; products that pass 32 bits saturate
// instead of wrapping negative.
TEST_F(TDrillEntityTest, HitCountsWithStepCopies) {
  ToolTable[1].Diameter = 1000000;
  TDrillHole hole({0, 0}, 1);
  EXPECT_EQ(hole.HitCount(), 1);
  hole.SetStepObj(RowPattern(9, 5000000));
  EXPECT_EQ(hole.HitCount(), 10);

  TDrillSlot slot({0, 0}, {20000000, 0}, 1);
  const int32_t one = slot.HitCount();
  ASSERT_GT(one, 1);
  slot.SetStepObj(RowPattern(3, 30000000));
  EXPECT_EQ(slot.HitCount(), 4 * one);

  TDrillText text({0, 0}, "AB", false, 1);
  const int32_t letters = CountTextHits("AB");
  text.SetStepObj(RowPattern(2, 30000000));
  EXPECT_EQ(text.HitCount(), 3 * letters);

  ToolTable[2].Diameter = 100;
  TDrillCircle big({0, 0}, 500000000, 2);
  const int32_t ring = big.HitCount();
  ASSERT_GT(ring, 40000);
  big.SetStepObj(RowPattern(60000, 10));
  EXPECT_EQ(big.HitCount(), INT32_MAX);
}

// A circle smaller than its tool draws its inner edge at radius 0; the ring
// distance finds the circle from near its centre and from outside.
TEST_F(TDrillEntityTest, CircleRingAndClampedInnerRadius) {
  ToolTable[1].Diameter = 3000000;
  TDrillCircle small({0, 0}, 1000000, 1);
  EXPECT_EQ(small.InnerRadius(), 0);
  small.Draw(30);
  EXPECT_EQ(Surface.Count("DrawCircle(0,0,0)"), 1);
  EXPECT_EQ(Surface.Count("DrawCircle(0,0,1000000)"), 1);

  TIntBox box = Around(0, 0, 5000000);
  EXPECT_EQ(small.DistanceToPoint(box, NotNearDrill, 0, 0), 0);
  box = Around(0, 0, 5000000);
  EXPECT_EQ(small.DistanceToPoint(box, NotNearDrill, 400000, 0), 400000);
  box = Around(0, 0, 5000000);
  EXPECT_EQ(small.DistanceToPoint(box, NotNearDrill, 1200000, 0), 200000);
  EXPECT_EQ(box, Around(1200000, 0, 200000));

  // The radius is not scaled by a transform; the window needs the whole square.
  TMatrix3 m = IdentityMatrix;
  ScaleMatrix(TRealPoint{0, 0}, m, 2.0, 2.0);
  TDrillCircle c({1000, 0}, 500, 1);
  EXPECT_TRUE(c.Transform(m));
  EXPECT_EQ(c.X, 2000);
  EXPECT_EQ(c.Radius, 500);
  EXPECT_TRUE(c.InWindowTest({1500, -500, 2500, 500}));
  EXPECT_FALSE(c.InWindowTest({1501, -500, 2500, 500}));
}

// Text laid out mirrored runs left and down from its position: the window
// test and the searches use the normalised rectangle.
TEST_F(TDrillEntityTest, OrientedTextUsesNormalisedRectangle) {
  ToolTable[1].Diameter = 500000;
  TextFlipsWithVersion = true;
  Version = 6;  // (-x, -y)
  TDrillText text({0, 0}, "AB", false, 1);
  int32_t w, h;
  text.Extent(w, h);
  ASSERT_LT(w, 0);
  ASSERT_LT(h, 0);
  TIntBox r = text.RectangleAt(0, 0);
  EXPECT_EQ(r, (TIntBox{w, h, 0, 0}));
  EXPECT_EQ(TDrillText::RectangleDistance(r, w / 2, h / 2), 0);
  EXPECT_TRUE(text.InWindowTest({w, h, 0, 0}));
  EXPECT_FALSE(text.InWindowTest({w + 1, h, 0, 0}));

  // A query inside the rectangle snaps to the nearest dot, which is a hit of
  // the pattern.
  TIntBox box = Around(w / 2, h / 2, 100000000);
  int32_t sx = 0, sy = 0;
  int32_t d = text.NearestSnapPoint(box, NotNearDrill, w / 2, h / 2, sx, sy);
  ASSERT_LT(d, NotNearDrill);
  EXPECT_EQ(SnapPointFound, 1);
  bool isDot = false;
  struct TFind : TDrilledTextPattern {
    using TDrilledTextPattern::TDrilledTextPattern;
    int32_t X = 0, Y = 0;
    bool* Found = nullptr;
    void EmitHit(int32_t x, int32_t y) override {
      if (x == X && y == Y) *Found = true;
    }
  } find("AB", 500000, 6, false);
  find.X = sx;
  find.Y = sy;
  find.Found = &isDot;
  find.Generate();
  EXPECT_TRUE(isDot);

  // Text without dots is never found and leaves the box alone.
  TDrillText blank({0, 0}, "   ", false, 1);
  box = Around(0, 0, 1000);
  EXPECT_EQ(blank.DistanceToPoint(box, NotNearDrill, 0, 0), NotNearDrill);
  EXPECT_EQ(box, Around(0, 0, 1000));
}

// Colours by type: yellow unstepped, red stepped with blue copies; outside
// drill editing the screen shows every drill entity silver. An inactive tool
// hides the entity from drawing, searches and windows.
TEST_F(TDrillEntityTest, ColoursAndInactiveTools) {
  ToolTable[1].Diameter = 1000;
  ColorHolesBy = 2;
  TDrillHole plain({0, 0}, 1);
  TDrillHole stepped({0, 0}, 1);
  stepped.SetStepObj(RowPattern(1, 10000));
  plain.Draw(30);
  stepped.Draw(30);
  std::vector<std::string> expected = {"SetColor(65535)", "SetColor(255)", "SetColor(16711680)"};
  std::vector<std::string> colours;
  for (const auto& c : Surface.Calls)
    if (c.rfind("SetColor", 0) == 0) colours.push_back(c);
  EXPECT_EQ(colours, expected);

  Surface.Clear();
  EditorMode = emCad;
  plain.Draw(30);
  EXPECT_EQ(Surface.Count("SetColor(" + std::to_string(DimColor) + ")"), 1);

  ActiveTools[1] = false;
  Surface.Clear();
  plain.Draw(30);
  plain.Erase();
  EXPECT_TRUE(Surface.Calls.empty());
  TIntBox box = Around(0, 0, 10);
  EXPECT_EQ(plain.DistanceToPoint(box, NotNearDrill, 0, 0), NotNearDrill);
  EXPECT_FALSE(plain.InWindowTest(Around(0, 0, 10)));
}

// Display mode one pixel: a pixel on the screen, the true size elsewhere.
TEST_F(TDrillEntityTest, OnePixelModeOnScreenAndPrinter) {
  ToolTable[1].Diameter = 2000;
  DisplayHolesAs = 0;
  TDrillHole hole({5000, 7000}, 1);
  hole.Draw(30);
  EXPECT_EQ(Surface.Count("DrawPixel(5000,7000)"), 1);
  TDrillSurface printer(1000.0, false);
  DrawSurface = &printer;
  hole.Draw(30);
  DrawSurface = nullptr;
  EXPECT_EQ(printer.Count("DrawCircle(5000,7000,1000)"), 1);
  EXPECT_EQ(printer.Count("DrawPixel"), 0);
}

// Searches: an equal distance never replaces an earlier find; copies are
// found with their own marker; slot snaps find ends, picks report midpoints.
TEST_F(TDrillEntityTest, SearchesOverCopies) {
  ToolTable[1].Diameter = 1000;
  TDrillHole hole({0, 0}, 1);
  hole.SetStepObj(RowPattern(2, 10000));
  TIntBox box = Around(20100, 0, 50000);
  TIntPoint p;
  EXPECT_EQ(hole.DistanceToPointWithSteps(box, NotNearDrill, 20100, 0, p), 100);
  EXPECT_EQ(p, (TIntPoint{20000, 0}));
  EXPECT_EQ(SnapPointFound, 0);
  EXPECT_EQ(box, Around(20100, 0, 100));

  box = Around(0, 0, 10);
  EXPECT_EQ(hole.DistanceToPoint(box, 0, 0, 0), 0);  // not below Best 0
  EXPECT_EQ(box, Around(0, 0, 10));

  TDrillSlot slot({0, 0}, {10000, 0}, 1);
  box = Around(5000, 300, 100000);
  EXPECT_EQ(slot.DistanceToPoint(box, NotNearDrill, 5000, 300), 300);
  box = Around(12000, 0, 100000);
  EXPECT_EQ(slot.DistanceToPoint(box, NotNearDrill, 12000, 0), 2000);
  slot.SetStepObj(RowPattern(1, 0));
  slot.SetStepObj(RowPattern(1, 100000));
  box = Around(105000, 10, 100000);
  EXPECT_EQ(slot.DistanceToPointWithSteps(box, NotNearDrill, 105000, 10, p), 10);
  EXPECT_EQ(p, (TIntPoint{105000, 0}));
  box = Around(104000, 0, 100000);
  int32_t sx, sy;
  EXPECT_EQ(slot.NearestSnapPointWithSteps(box, NotNearDrill, 104000, 0, sx, sy), 4000);
  EXPECT_EQ((TIntPoint{sx, sy}), (TIntPoint{100000, 0}));
}

// Operations a type does not have show their error box and change nothing.
TEST_F(TDrillEntityTest, MissingOperationsReport) {
  TDrillHole hole({0, 0}, 1);
  TIntPoint p{7, 7};
  hole.GetSecondPoint(p);
  hole.SetRadius(5);
  hole.SetString("X");
  EXPECT_EQ(p, (TIntPoint{7, 7}));
  const auto& boxes = ShownMessageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].Text, "GetSecondPoint called on non-Slot!");
  EXPECT_EQ(boxes[1].Text, "SetRadius called on non-Circle entity");
  EXPECT_EQ(boxes[2].Text, "SetString called on non-text entity");
}

// Holes come from shared blocks: deleting them in any order, across many
// blocks, while others are made, leaves every living hole as it was made and
// reuses the freed room (the address sanitizer guards the freed slots).
TEST_F(TDrillEntityTest, HolesSurviveChurnAcrossBlocks) {
  ToolTable[1].Diameter = 1000;
  std::vector<std::unique_ptr<TDrillHole>> holes;
  auto* pattern = new TStepObject(TStepCommandList{{1, 1, 0, 0, 0}, {0, 2, 5000, 0, 0}});
  pattern->AddRef();
  auto make = [&](int32_t i) {
    auto hole = std::make_unique<TDrillHole>(TIntPoint{i, -i}, uint16_t(1 + i % 7));
    if (i % 97 == 0) hole->SetStepObj(pattern);
    return hole;
  };
  for (int32_t i = 0; i < 30000; ++i) holes.push_back(make(i));
  // Every third goes, then the gaps are filled with new holes.
  for (std::size_t i = 0; i < holes.size(); i += 3) holes[i].reset();
  for (std::size_t i = 0; i < holes.size(); i += 3) holes[i] = make(int32_t(i) + 1000000);
  // A whole run in the middle goes, emptying blocks entirely.
  for (std::size_t i = 10000; i < 25000; ++i) holes[i].reset();
  for (std::size_t i = 0; i < holes.size(); ++i) {
    if (!holes[i]) continue;
    const int32_t made = i % 3 == 0 ? int32_t(i) + 1000000 : int32_t(i);
    ASSERT_EQ(holes[i]->X, made);
    ASSERT_EQ(holes[i]->Y, -made);
    ASSERT_EQ(holes[i]->Tool, 1 + made % 7);
    ASSERT_EQ(holes[i]->GetStepObj(), made % 97 == 0 ? pattern : nullptr);
  }
  for (std::size_t i = 10000; i < 25000; ++i) holes[i] = make(int32_t(i));
  for (std::size_t i = 10000; i < 25000; ++i) ASSERT_EQ(holes[i]->X, int32_t(i));
  holes.clear();
  // The entities gave their references back: only this test's is left.
  EXPECT_EQ(pattern->RefCount(), 1);
  ReleaseStepObject(pattern);
}
