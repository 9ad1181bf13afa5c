#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "cleanup_test_support.h"
#include "edit/layer_to_cad.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_forms.h"

namespace {

using V = std::vector<std::string>;

class LayerToCadTest : public TCleanupTest {
 protected:
  void SetUp() override {
    TCleanupTest::SetUp();
    View.CloseStatus();
    FullWidth = DisplayRoutsFullWidth;
    Arrows = RoutDirectionArrows;
    HolesAs = DisplayHolesAs;
    DisplayRoutsFullWidth = false;
    RoutDirectionArrows = false;
    TargetCadLayer = 0;
  }
  void TearDown() override {
    if (OwnDrill) {
      delete DRDB;
      DRDB = nullptr;
    }
    if (OwnRout) {
      delete RTDB;
      RTDB = nullptr;
    }
    ToolTable.Fill(TToolRecord{});
    ActiveTools.Fill(true);
    DisplayRoutsFullWidth = FullWidth;
    RoutDirectionArrows = Arrows;
    DisplayHolesAs = HolesAs;
    TargetCadLayer = 0;
    TCleanupTest::TearDown();
  }
  static int Count(const V& drawing, char kind) {
    return int(std::count_if(drawing.begin(), drawing.end(),
                             [kind](const std::string& e) { return e[0] == kind; }));
  }

  TCadLayerEmitter Emit;
  bool OwnDrill = false;
  bool OwnRout = false;
  bool FullWidth = false;
  bool Arrows = false;
  uint8_t HolesAs = 1;
};

constexpr int32_t R = 10000000;

// ---- Rout geometry ---------------------------------------------------------------------

TEST_F(LayerToCadTest, RoutArcsKeepTheirTurnOverHalfACircle) {
  // Counter-clockwise from (R, 0) to (0, -R): three quarters of the circle.
  Emit.AddCadRoutArc(R, 0, 0, -R, 0, 0, 0, 1);
  EXPECT_EQ(Drawing(), V{Arc(R, 0, 0, -R, 0, 0)});
  DB->Clear();
  // Clockwise the same way: the quarter, its ends exchanged.
  Emit.AddCadRoutArc(R, 0, 0, -R, 0, 0, 0, -1);
  EXPECT_EQ(Drawing(), V{Arc(0, -R, R, 0, 0, 0)});
  DB->Clear();
  // A record without a turn takes the shorter way round.
  Emit.AddCadRoutArc(R, 0, 0, -R, 0, 0, 0, 0);
  EXPECT_EQ(Drawing(), V{Arc(0, -R, R, 0, 0, 0)});
  DB->Clear();
  // Full width: two concentric arcs and two end caps about the ends.
  DisplayRoutsFullWidth = true;
  Emit.AddCadRoutArc(R, 0, 0, -R, 0, 0, 2000000, 1);
  V full = Drawing();
  EXPECT_EQ(full.size(), 4u);
  EXPECT_NE(std::find(full.begin(), full.end(), Arc(R + 1000000, 0, 0, -R - 1000000, 0, 0)),
            full.end());
  EXPECT_NE(std::find(full.begin(), full.end(), Arc(R - 1000000, 0, 0, -R + 1000000, 0, 0)),
            full.end());
}

TEST_F(LayerToCadTest, ArcArrowLiesOnTheArcAndPointsToItsEnd) {
  RoutDirectionArrows = true;
  Emit.AddCadRoutArc(R, 0, 0, -R, 0, 0, 0, 1);
  V drawing = Drawing();
  ASSERT_EQ(Count(drawing, 'A'), 2);
  ASSERT_EQ(Count(drawing, 'L'), 2);
  // The shaft is centred on the arc's middle (225 degrees) and the head's
  // lines meet at the tip, past the middle in the arc's direction (toward
  // 270 degrees).
  TIntPoint tip{0, 0};
  int tips = 0;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TRootDBObject* e = EntityArray->GetSlot(i)->Entity;
    if (e->GetType() != 2) continue;
    TIntPoint b;
    e->GetSecondPoint(b);
    tip = b;
    ++tips;
  }
  ASSERT_EQ(tips, 2);
  EXPECT_NEAR(std::hypot(double(tip.X), double(tip.Y)), double(R), 2.0);
  EXPECT_LT(tip.X, -R * 0.70710678);  // beyond 225 degrees, toward 270
}

TEST_F(LayerToCadTest, RoutLinesHeadUpMovesAndArrows) {
  // A purely horizontal head-up move: its 45-degree leg is a point.
  Emit.AddCadHeadUpMove(0, 0, R, 0);
  EXPECT_EQ(Drawing(), (V{Line(0, 0, R, 0), "P 0 0"}));
  DB->Clear();
  Emit.AddCadHeadUpMove(0, 0, R, 2 * R);
  EXPECT_EQ(Drawing(), (V{Line(0, 0, R, R), Line(R, R, R, 2 * R)}));
  DB->Clear();

  // A vertical full-width line gives the same outline either way round.
  DisplayRoutsFullWidth = true;
  Emit.AddCadRoutLine(0, 0, 0, R, 1000000);
  const V up = Drawing();
  DB->Clear();
  Emit.AddCadRoutLine(0, R, 0, 0, 1000000);
  EXPECT_EQ(Drawing(), up);
  EXPECT_EQ(up, (V{Arc(-500000, 0, 500000, 0, 0, 0), Arc(500000, R, -500000, R, 0, R),
                   Line(-500000, 0, -500000, R), Line(500000, 0, 500000, R)}));
  DB->Clear();

  // Arrows: none on a line of 0.2 in or less, a 0.2-in shaft and a head
  // otherwise.
  RoutDirectionArrows = true;
  Emit.AddCadRoutLine(0, 0, 5080000, 0, 1000000);
  EXPECT_EQ(Drawing().size(), 4u);
  DB->Clear();
  Emit.AddCadRoutLine(0, 0, 4 * R, 0, 1000000);
  V drawing = Drawing();
  EXPECT_EQ(drawing.size(), 7u);
  EXPECT_NE(std::find(drawing.begin(), drawing.end(), Line(R + R - 2540000, 0, 2 * R + 2540000, 0)),
            drawing.end());
}

TEST_F(LayerToCadTest, SequenceNumbersAndHoleCircles) {
  Emit.AddCadSequenceNumber(0, 0, 17);
  V digits = Drawing();
  ASSERT_FALSE(digits.empty());
  for (const std::string& e : digits) EXPECT_EQ(e[0], 'L') << e;
  DB->Clear();
  Emit.AddCadHoleCircle(100, 200, 1001);
  Emit.AddCadHoleCircle(100, 200, 0);  // no diameter: nothing
  EXPECT_EQ(Drawing(), V{Circle(100, 200, 500)});
}

// ---- Drill symbols and letters ----------------------------------------------------------

TEST_F(LayerToCadTest, DrillSymbolsAndLettersFollowTheTool) {
  Emit.AddCadDrillSymbol(0, 0, 1);
  const V one = Drawing();
  EXPECT_EQ(one, (V{Line(-381000, 381000, 0, -381000), Line(-381000, 381000, 381000, 381000),
                    Line(0, -381000, 381000, 381000)}));
  DB->Clear();
  Emit.AddCadDrillSymbol(0, 0, 41);  // the same shape, the same size
  EXPECT_EQ(Drawing(), one);
  DB->Clear();
  Emit.AddCadDrillSymbol(0, 0, 5);  // two strokes
  EXPECT_EQ(Drawing().size(), 4u);
  DB->Clear();

  // Tool 53 is the letter A (three strokes on the 15-unit grid, 0.03 in
  // high), tool 27 the small a, tool 52 the small z.
  Emit.AddCadStrokeText(0, 0, 53);
  const V capital = Drawing();
  EXPECT_EQ(capital, (V{Line(0, 0, 304800, 762000), Line(152400, 406400, 406400, 406400),
                        Line(304800, 762000, 558800, 0)}));
  DB->Clear();
  Emit.AddCadStrokeText(0, 0, 27);
  EXPECT_EQ(Drawing().size(), 3u);  // the font draws its small letters as capitals
  DB->Clear();
  Emit.AddCadStrokeText(0, 0, 52);
  EXPECT_EQ(Drawing().size(), 3u);
}

// ---- The commands ------------------------------------------------------------------------

TEST_F(LayerToCadTest, DrillLayersCopyAsOneUndoStep) {
  DRDB = new TDrillDatabase();
  OwnDrill = true;
  ToolTable[1].Diameter = 1000000;
  ToolTable[2].Diameter = 500000;
  DisplayHolesAs = 1;
  DRDB->AppendEntity(new TDrillHole({0, 0}, 1), 1u << 0);
  DRDB->AppendEntity(new TDrillSlot({0, 0}, {R, 0}, 2), 1u << 0);
  DRDB->AppendEntity(new TDrillCircle({R, R}, 3000000, 1), 1u << 1);
  // A circle smaller than its tool: the inner circle's radius comes out 0
  // and is left out, not drawn inside out.
  DRDB->AppendEntity(new TDrillCircle({-R, -R}, 400000, 1), 1u << 1);
  DRDB->AppendEntity(new TDrillText({2 * R, 0}, "1", false, 2), 1u << 1);
  DRDB->AppendEntity(new TDrillHole({5, 5}, 1), (1u << 0) | 0x80000000u);  // deleted
  DRDB->AppendEntity(new TDrillHole({7, 7}, 1), 1u << 5);  // layer hidden below
  DisplayedNCLayerMask = 0x80000000u | 0x3u;
  ActiveTools[2] = true;

  CopyDrillLayersToCad();
  V drawing = Drawing();
  // Hole: a circle; slot: two sides and two caps; circle: two circles; the
  // small circle: one; the text: one circle per drilled dot.
  EXPECT_EQ(Count(drawing, 'L'), 2);
  EXPECT_EQ(Count(drawing, 'A'), 2);
  EXPECT_NE(std::find(drawing.begin(), drawing.end(), Circle(0, 0, 500000)), drawing.end());
  EXPECT_NE(std::find(drawing.begin(), drawing.end(), Circle(R, R, 3000000)), drawing.end());
  EXPECT_NE(std::find(drawing.begin(), drawing.end(), Circle(R, R, 2000000)), drawing.end());
  EXPECT_NE(std::find(drawing.begin(), drawing.end(), Circle(-R, -R, 400000)), drawing.end());
  EXPECT_EQ(std::count(drawing.begin(), drawing.end(), Circle(5, 5, 500000)), 0);
  EXPECT_EQ(std::count(drawing.begin(), drawing.end(), Circle(7, 7, 500000)), 0);
  const int textDots = Count(drawing, 'C') - 4;
  EXPECT_GT(textDots, 2);
  for (const std::string& e : drawing) EXPECT_EQ(e.find('@'), std::string::npos) << e;

  std::string name;
  ASSERT_TRUE(CadUndo->CanUndo(name));
  EXPECT_EQ(name, "Copy Layer to CAD");
  EXPECT_EQ(ActiveUndo, CadUndo);
  CadUndo->Undo();
  EXPECT_TRUE(Drawing().empty());
  EXPECT_FALSE(CadUndo->CanUndo(name));

  // Nothing on a displayed layer: nothing added, no undo step.
  DisplayedNCLayerMask = 0x80000000u | (1u << 7);
  CopyDrillLayersToCad();
  EXPECT_TRUE(Drawing().empty());
  EXPECT_FALSE(CadUndo->CanUndo(name));
}

TEST_F(LayerToCadTest, RoutLayerGoesToTheChosenCadLayerAndIsShown) {
  RTDB = new TRoutDatabase();
  OwnRout = true;
  RoutToolPages[41][1].Diameter = 1000000;
  auto put = [](TRoutEntity* e, uint8_t layer, uint32_t extra = 0) {
    const int32_t i = RoutEntityCount + 1;
    TEntitySlot* slot = RoutEntities->GetSlot(i);
    slot->Entity = e;
    slot->Flags = (1u << (layer - 30)) | extra;
    RoutEntityCount = i;
  };
  auto* arc = new TRoutArc(etRoutArc, 0, 0, {0, -R}, {0, 0}, 41);
  auto* rec = new TRoutShadow({R, 0}, {0, -R}, {0, 0}, false, 1, rsArc, false, 1, 41, 0, 0);
  rec->Turn = 1;
  arc->AttachShadow(rec);
  put(arc, 41);
  auto* line = new TRoutLine({R, R}, 0, 0, 41);
  line->AttachShadow(new TRoutShadow({0, 0}, {R, R}, {}, false, 1, rsLine, false, 1, 41, 0, 0));
  line->AttachShadow(new TRoutShadow({0, 0}, {0, 0}, {}, false, 1, rsHole, true, 2, 41, 0, 0));
  put(line, 41);
  auto* other = new TRoutLine({R, R}, 0, 0, 40);  // another rout layer
  other->AttachShadow(new TRoutShadow({0, 0}, {5, 5}, {}, false, 1, rsLine, false, 1, 40, 0, 0));
  put(other, 40);
  auto* gone = new TRoutLine({R, R}, 0, 0, 41);  // deleted
  gone->AttachShadow(new TRoutShadow({0, 0}, {7, 7}, {}, false, 1, rsLine, false, 1, 41, 0, 0));
  put(gone, 41, 0x80000000u);
  DisplayedLayerMask = 0x80000000u | 1u;

  // Cancel changes nothing.
  RegisterModalScript("TPushDialog", [](TForm& f) { f.Click("CancelButton"); });
  EXPECT_FALSE(CopyRoutLayerToCad());
  EXPECT_TRUE(Drawing().empty());
  ResetModalScripts();

  RegisterModalScript("TPushDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Copy Rout Layer to Cad");
    EXPECT_EQ(f.Get<TRadioGroup>("CadGroup").Items().size(), 30u);
    f.Get<TRadioGroup>("RoutGroup").SetItemIndex(1);
    f.Get<TRadioGroup>("CadGroup").SetItemIndex(5);
    f.Click("OKButton");
  });
  ASSERT_TRUE(CopyRoutLayerToCad());
  EXPECT_EQ(Drawing(), (V{Arc(R, 0, 0, -R, 0, 0) + " @5", Circle(0, 0, 500000) + " @5",
                          Line(0, 0, R, R) + " @5"}));
  EXPECT_EQ(TargetCadLayer, 5);
  EXPECT_TRUE(DisplayedLayerMask & (1u << 5));
  std::string name;
  ASSERT_TRUE(CadUndo->CanUndo(name));
  EXPECT_EQ(name, "Copy Layer to CAD");

  // The drill copy that follows writes to the same CAD layer.
  DRDB = new TDrillDatabase();
  OwnDrill = true;
  ToolTable[1].Diameter = 200000;
  DRDB->AppendEntity(new TDrillHole({3 * R, 0}, 1), 1u << 0);
  DisplayedNCLayerMask = 0xFFFFFFFFu;
  CopyDrillLayersToCad();
  V drawing = Drawing();
  EXPECT_NE(std::find(drawing.begin(), drawing.end(), Circle(3 * R, 0, 100000) + " @5"),
            drawing.end());
  CadUndo->Undo();
  CadUndo->Undo();
  EXPECT_TRUE(Drawing().empty());
  RoutToolPages[41][1].Diameter = 0;
}

}  // namespace
