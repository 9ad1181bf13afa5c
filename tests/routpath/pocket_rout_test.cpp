// The scan-line fill, pocket and milled pocket routs (with an island, for
// either compensation side and outline direction), the web rout of a whole
// panel and the two dialogs of these routs.
#include "routpath/pocket_rout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "import/dxf_import.h"
#include "platform/forms.h"
#include "routpath/hatch_fill.h"
#include "routpath/part_rout.h"
#include "routpath/pocket_dialogs.h"
#include "rout_generation_fixture.h"

using namespace rout_generation;

namespace {

struct TPass {
  int32_t X1, Y1, X2, Y2;
  bool operator==(const TPass&) const = default;
};
class TPassRecorder : public THatchDriver {
 public:
  std::vector<TPass> Passes;

 protected:
  void EmitPass(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
    Passes.push_back({x1, y1, x2, y2});
  }
};
std::vector<TRingSegment> Polygon(const std::vector<TIntPoint>& points) {
  std::vector<TRingSegment> ring;
  for (std::size_t i = 1; i <= points.size(); ++i) {
    TRingSegment s;
    s.Kind = 1;
    s.X = points[i % points.size()].X;
    s.Y = points[i % points.size()].Y;
    ring.push_back(s);
  }
  return ring;
}

TEST(HatchFill, ScanLinesSpansAndIslands) {
  // Scan lines from one unit below the lowest vertex, every spacing.
  TPassRecorder rect;
  rect.Fill(Polygon({{0, 0}, {4000, 0}, {4000, 4000}, {0, 4000}}), 1000, 100.0);
  EXPECT_EQ(rect.Passes, (std::vector<TPass>{{0, 999, 4000, 999}, {0, 1999, 4000, 1999},
                                             {0, 2999, 4000, 2999}, {0, 3999, 4000, 3999}}));
  // A vertex the contour passes through counts once; one it only touches
  // does not split the span.
  TPassRecorder diamond;
  diamond.Fill(Polygon({{0, 1}, {10, 10}, {0, 19}, {-10, 10}}), 5, 1.0);
  ASSERT_EQ(diamond.Passes.size(), 3u);
  EXPECT_EQ(diamond.Passes[1], (TPass{-10, 10, 10, 10}));
  TPassRecorder notch;
  notch.Fill(Polygon({{-10, 1}, {10, 1}, {10, 20}, {0, 10}, {-10, 20}}), 5, 1.0);
  ASSERT_EQ(notch.Passes.size(), 4u);
  EXPECT_EQ(notch.Passes[1], (TPass{-10, 10, 10, 10}));
  // An inner contour is left out.
  TPassRecorder holed;
  holed.Fill({Polygon({{0, 0}, {100, 0}, {100, 100}, {0, 100}}),
              Polygon({{40, 40}, {60, 40}, {60, 60}, {40, 60}})},
             10, 1.0);
  for (const TPass& p : holed.Passes)
    if (p.Y1 > 40 && p.Y1 < 60)
      EXPECT_TRUE(p.X2 <= 40 || p.X1 >= 60) << p.X1 << ".." << p.X2 << " at " << p.Y1;
  // A spacing below one unit would never end.
  TPassRecorder none;
  EXPECT_THROW(none.Fill(Polygon({{0, 0}, {10, 0}, {10, 10}}), 0, 1.0), EHatchFill);
}

TEST(HatchFill, ArcChordCounts) {
  const double r = 1000.0;
  // 0.15 r: a step of 63.6 degrees, 3 chords for a half circle, 6 for a full one.
  EXPECT_EQ(ArcChordStep(r, 0, -r, 0, 0, 0, false, 0.15 * r).Count, 3);
  EXPECT_EQ(ArcChordStep(r, 0, r, 0, 0, 0, false, 0.15 * r).Count, 6);
  EXPECT_NEAR(ArcChordStep(r, 0, r, 0, 0, 0, true, 0.15 * r).StepDeg, -60.0, 1e-9);
  // At most 35 chords, never fewer than 2.
  EXPECT_EQ(ArcChordStep(r, 0, r, 0, 0, 0, false, 1e-6).Count, 35);
  EXPECT_EQ(ArcChordStep(r, 0, r * std::cos(0.001), r * std::sin(0.001), 0, 0, false, 0.15 * r).Count, 2);
  // A tolerance beyond the diameter still gives two real chords.
  const TChordStep wide = ArcChordStep(r, 0, -r, 0, 0, 0, false, 5.0 * r);
  EXPECT_EQ(wide.Count, 2);
  EXPECT_TRUE(std::isfinite(wide.StepDeg));
  EXPECT_NEAR(wide.StepDeg, 90.0, 1e-9);
}

class PocketRoutTest : public TRoutGenerationTest {
 protected:
  // A 2 x 1.5 in pocket at (1, 1) in with a round island of 0.25 in radius
  // in its middle; the outline's handles, in drawing order.
  std::vector<int32_t> PocketWithIsland(bool cw) {
    const std::vector<int32_t> sides = Rect(Inch, Inch, 2 * Inch, 3 * Inch / 2, cw);
    DB->AddCircleOnLayer(2 * Inch, 7 * Inch / 4, Inch / 4, 0);
    return sides;
  }
  void Reset() {
    delete Seq;
    Seq = new TSequenceStore();
    RTDB->PathState[40] = {};
  }
};

TEST_F(PocketRoutTest, SpacingAndInsetFollowTheTool) {
  const TPocketSpacing plain = PocketSpacing(1587500, false);
  EXPECT_EQ(plain.Spacing, 3175000);
  EXPECT_EQ(plain.Inset, 1587500);
  const TPocketSpacing milled = PocketSpacing(1587500, true);
  EXPECT_EQ(milled.Spacing, 2540000);
  EXPECT_EQ(milled.Inset, 0);
}

TEST_F(PocketRoutTest, PocketIsClearedAroundTheIslandForEverySideAndDirection) {
  const double R = Tool / 2.0;
  const TRealPoint island{2.0 * Inch, 1.75 * Inch};
  const double islandR = Inch / 4.0;
  for (bool cw : {false, true}) {
    for (uint8_t comp : {0, 1, 2}) {
      SCOPED_TRACE(std::string(cw ? "clockwise" : "counter-clockwise") + " comp " +
                   std::to_string(comp));
      delete DB;
      DB = new TCadDatabase();
      Reset();
      RTDB->AutoRoutCompensation = comp;
      TRootEntityHandle* path = Handles(PocketWithIsland(cw));
      ASSERT_TRUE(PocketRoutPath(*RTDB, path, false));
      EXPECT_EQ(path, nullptr);
      EXPECT_EQ(RTDB->AutoRoutCompensation, comp);  // given back
      EXPECT_EQ(UndoName(), "Pocket Rout");
      const std::vector<TMove> moves = Layer();
      ASSERT_FALSE(moves.empty());
      EXPECT_EQ(moves.front().Type, 5);
      const std::vector<TRealPoint> cuts = CutSamples(moves, R / 8);
      // No cut leaves the pocket or enters the island (tool edge included).
      for (const TRealPoint& p : cuts) {
        if (std::isnan(p.X)) continue;
        ASSERT_GE(p.X, Inch + R - 2000);
        ASSERT_LE(p.X, 3.0 * Inch - R + 2000);
        ASSERT_GE(p.Y, Inch + R - 2000);
        ASSERT_LE(p.Y, 2.5 * Inch - R + 2000);
        ASSERT_GE(std::hypot(p.X - island.X, p.Y - island.Y), islandR + R - 2000);
      }
      // Every point of the pocket that a round tool can reach (all but the
      // very corners) lies within one tool radius of a cut.
      int uncovered = 0;
      const double m = 0.3 * R;
      for (double x = Inch + m; x < 3.0 * Inch - m; x += Inch / 32.0)
        for (double y = Inch + m; y < 2.5 * Inch - m; y += Inch / 32.0) {
          if (std::hypot(x - island.X, y - island.Y) <= islandR) continue;
          if (DistanceToCuts(cuts, x, y) > R + 2000) ++uncovered;
        }
      EXPECT_EQ(uncovered, 0);
    }
  }
}

TEST_F(PocketRoutTest, NoSliverIsLeftBetweenThePassEndsAndTheProfile) {
  // A fine look along both sides of a plain pocket, where the passes end.
  const double R = Tool / 2.0;
  const std::vector<int32_t> sides = Rect(0, 0, 2 * Inch, Inch);
  TRootEntityHandle* path = Handles({sides[0]});
  ASSERT_TRUE(PocketRoutPath(*RTDB, path, false));
  const std::vector<TRealPoint> cuts = CutSamples(Layer(), R / 8);
  int uncovered = 0;
  for (double x = R; x < 4 * R; x += R / 16)
    for (double y = R; y < Inch - R; y += R / 16)
      for (double px : {x, 2.0 * Inch - x})
        if (DistanceToCuts(cuts, px, y) > R + 2000) ++uncovered;
  EXPECT_EQ(uncovered, 0);
}

TEST_F(PocketRoutTest, MilledPocketAsksForItsDepthAndCancelLeavesTheLayer) {
  const std::vector<int32_t> sides = Rect(0, 0, Inch, Inch);
  QueueModalScript("TZDepthDialog", [](TForm& f) {
    f.Get<TEdit>("OffsetEdit").SetText("-0.25");
    f.Click("OKButton");
  });
  TRootEntityHandle* path = Handles(sides);
  ASSERT_TRUE(PocketRoutPath(*RTDB, path, true));
  EXPECT_EQ(UndoName(), "Milled Pocket Rout");
  const std::vector<TMove> moves = Layer();
  int deep = 0;
  for (std::size_t i = 1; i < moves.size(); ++i)
    if (moves[i - 1].Type == 5 && moves[i].Type == 6) {
      EXPECT_EQ(moves[i].Z, -6350000);
      ++deep;
    } else if (moves[i].Type == 6) {
      EXPECT_EQ(moves[i].Z, NoZOffset);
    }
  EXPECT_GE(deep, 2);  // the passes and the outline
  // Cancel: nothing written.
  Reset();
  const int32_t count = RoutEntityCount;
  QueueModalScript("TZDepthDialog", [](TForm& f) { f.Click("CancelButton"); });
  path = Handles(sides);
  EXPECT_FALSE(PocketRoutPath(*RTDB, path, true));
  EXPECT_EQ(RoutEntityCount, count);
  // The default tool offset: no depth of its own.
  QueueModalScript("TZDepthDialog", [](TForm& f) { f.Click("DefaultButton"); });
  path = Handles(sides);
  ASSERT_TRUE(PocketRoutPath(*RTDB, path, true));
  for (const TMove& m : Layer())
    if (m.Type == 6) EXPECT_EQ(m.Z, NoZOffset);
}

TEST_F(PocketRoutTest, ToolTooSmallOrUnlinkedOutlineWritesNothing) {
  const std::vector<int32_t> sides = Rect(0, 0, Inch, Inch);
  for (int32_t diameter : {0, 1}) {
    SetTool(diameter);
    TRootEntityHandle* path = Handles(sides);
    EXPECT_THROW(PocketRoutPath(*RTDB, path, false), EHatchFill);
    EXPECT_EQ(RoutEntityCount, 0);
    EXPECT_EQ(RTDB->AutoRout.Inside, 0);
  }
  SetTool(Tool);
  // A pocket narrower than the tool is refused rather than cut beyond.
  const std::vector<int32_t> narrow = Rect(3 * Inch, 0, Inch / 10, Inch);
  TRootEntityHandle* tight = Handles({narrow[0]});
  try {
    PocketRoutPath(*RTDB, tight, false);
    ADD_FAILURE() << "a pocket narrower than the tool was cut";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "The rout tool is too large for this pocket.");
  }
  EXPECT_EQ(RoutEntityCount, 0);
  // An open outline cannot be pocketed.
  const int32_t open = DB->AddLineOnLayer(5 * Inch, 0, 6 * Inch, 0, 0);
  DB->AddLineOnLayer(6 * Inch, 0, 6 * Inch, Inch, 0);
  TRootEntityHandle* path = Handles({open});
  EXPECT_FALSE(PocketRoutPath(*RTDB, path, false));
  EXPECT_EQ(Boxes().back(), "Pocket Rout could not link a closed path!");
  EXPECT_EQ(RoutEntityCount, 0);
}

TEST_F(PocketRoutTest, WebRoutOffsetsEveryClosedChainOutsideOnce) {
  RTDB->AutoRoutCompensation = 1;
  Rect(0, 0, Inch, Inch);
  Rect(2 * Inch, 0, Inch, Inch, true);
  // An open polyline and a square whose corner misses by one unit.
  DB->AddLineOnLayer(5 * Inch, 0, 6 * Inch, 0, 0);
  DB->AddLineOnLayer(6 * Inch, 0, 6 * Inch, Inch, 0);
  DB->AddLineOnLayer(8 * Inch, 0, 9 * Inch, 0, 0);
  DB->AddLineOnLayer(9 * Inch, 0, 9 * Inch, Inch, 0);
  DB->AddLineOnLayer(9 * Inch, Inch, 8 * Inch, Inch, 0);
  DB->AddLineOnLayer(8 * Inch, Inch, 8 * Inch, 1, 0);
  ASSERT_TRUE(FullPanelAutoRout(*RTDB, false));
  EXPECT_EQ(UndoName(), "Full Panel AutoRout");
  EXPECT_EQ(RTDB->AutoRoutCompensation, 1);
  const std::vector<TMove> moves = Layer();
  EXPECT_EQ(Jogs(moves), 2);
  const double R = Tool / 2.0;
  for (const TRealPoint& p : CutSamples(moves, R)) {
    if (std::isnan(p.X)) continue;
    EXPECT_LT(p.X, 3.0 * Inch + R + 2000);  // nothing near the open or broken chains
    const bool nearFirst = p.X < 1.5 * Inch;
    const double x0 = nearFirst ? 0.0 : 2.0 * Inch;
    // Each cut is one tool radius outside its square.
    const double dx = std::max({x0 - p.X, p.X - (x0 + Inch), 0.0});
    const double dy = std::max({-p.Y, p.Y - Inch, 0.0});
    // Sharp corners stand out by up to the diagonal.
    EXPECT_GE(std::hypot(dx, dy), R - 3000.0) << p.X << "," << p.Y;
    EXPECT_LE(std::hypot(dx, dy), R * std::sqrt(2.0) + 3000.0) << p.X << "," << p.Y;
  }
  // Undo takes the whole rout back.
  RoutUndo->Undo();
  EXPECT_TRUE(Layer().empty());
}

TEST_F(PocketRoutTest, WebRoutDustingClearsInsideAndRefusesAToolTooSmall) {
  Rect(0, 0, Inch, Inch);
  ASSERT_TRUE(FullPanelAutoRout(*RTDB, true));
  EXPECT_GT(Jogs(Layer()), 1);  // passes besides the outline
  const int32_t count = RoutEntityCount;
  SetTool(1);
  EXPECT_THROW(FullPanelAutoRout(*RTDB, true), EHatchFill);
  EXPECT_EQ(RoutEntityCount, count);
}

TEST_F(PocketRoutTest, DepthAndWebRoutDialogs) {
  TZDepthDialog d;
  d.OffsetEdit.SetText("1.5");
  EXPECT_EQ(d.OffsetEdit.Text(), "0.9999");
  d.OffsetEdit.SetText("-0.25");
  EXPECT_EQ(d.OffsetEdit.Text(), "-0.25");
  d.OffsetEdit.SetText("-0.25x");
  EXPECT_EQ(d.OffsetEdit.Text(), "-0.25");
  Metric = true;
  UnitsPerDisplayUnit = MetricUnitsPerDisplayUnit;
  d.OffsetEdit.SetText("30");
  EXPECT_EQ(d.OffsetEdit.Text(), "24.999");
  Metric = false;
  UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;

  RTDB->PocketDusting = true;
  QueueModalScript("TFullPanelAutoRoutConfigDlg", [](TForm& f) {
    f.Get<TCheckBox>("DustCheckBox").SetChecked(false);
    f.Click("OKButton");
  });
  ExecuteFullPanelAutoRoutConfigDialog();
  EXPECT_FALSE(RTDB->PocketDusting);
  bool stored = true;
  LoadFullPanelAutoRout(stored);
  EXPECT_TRUE(stored);  // not saved without "Save Defaults"
  QueueModalScript("TFullPanelAutoRoutConfigDlg", [](TForm& f) {
    f.Get<TCheckBox>("DustCheckBox").SetChecked(true);
    f.Click("CancelButton");
  });
  ExecuteFullPanelAutoRoutConfigDialog();
  EXPECT_FALSE(RTDB->PocketDusting);
  QueueModalScript("TFullPanelAutoRoutConfigDlg", [](TForm& f) {
    f.Get<TCheckBox>("DefaultsCheckBox").SetChecked(true);
    f.Click("OKButton");
  });
  ExecuteFullPanelAutoRoutConfigDialog();
  LoadFullPanelAutoRout(stored);
  EXPECT_FALSE(stored);
}

}  // namespace

namespace {

// A real drawing: a plate outline with a column of 14 holes, imported in
// inches.
TEST_F(PocketRoutTest, PlateWithAColumnOfHolesIsPocketedAroundTheHoles) {
  const std::filesystem::path file = SharedTestData() / "dxf" / "librecad__arrayed-holes.dxf";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "shared test data absent";
  QueueModalScript("TDrawingUnits", [](TForm& f) {
    f.Get<TRadioGroup>("DrawingUnitsGroup").SetItemIndex(0);
    f.Click("OKButton");
  });
  ImportDxfToCad(file.string());
  std::vector<TIntPoint> holes;
  int32_t firstLine = 0;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TCadEntity* e = DB->EntityAt(i);
    if (e == nullptr) continue;
    TIntPoint p;
    e->GetPoint(p);
    if (e->GetType() == etCadCircle) holes.push_back(p);
    if (e->GetType() == etCadLine && firstLine == 0) firstLine = i;
  }
  ASSERT_EQ(holes.size(), 14u);
  ASSERT_NE(firstLine, 0);
  TRootEntityHandle* path = Handles({firstLine});
  ASSERT_TRUE(PocketRoutPath(*RTDB, path, false));
  const std::vector<TMove> moves = Layer();
  EXPECT_GE(Jogs(moves), 15);  // passes, the outline and each hole's ring
  const double R = Tool / 2.0, holeR = 0.13 * Inch;
  for (const TRealPoint& p : CutSamples(moves, R / 2)) {
    if (std::isnan(p.X)) continue;
    for (const TIntPoint& h : holes)
      ASSERT_GE(std::hypot(p.X - h.X, p.Y - h.Y), holeR + R - 3000.0);
  }
  // The whole panel's web rout cuts the one outline; the part rout asks
  // and routs it outside.
  RoutUndo->Undo();
  ASSERT_TRUE(FullPanelAutoRout(*RTDB, false));
  EXPECT_EQ(Jogs(Layer()), 1);
  RoutUndo->Undo();
  ScriptMessageBoxAnswer(mrYes);
  EXPECT_TRUE(AutoPartRout(*RTDB).SomethingRouted);
  EXPECT_EQ(Jogs(Layer()), 1);
}

}  // namespace
