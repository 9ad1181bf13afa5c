// Rout entity types, their display records and the compensator that builds
// them.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "foundation/geometry_matrix.h"
#include "model/rout_shadow.h"
#include "model/step_repeat.h"
#include "routpath/cutter_compensator.h"
#include "rout_test_support.h"

namespace {

using TEntityPtr = std::unique_ptr<TRoutEntity>;

TIntBox Box(int32_t l, int32_t b, int32_t r, int32_t t) { return {l, b, r, t}; }
TIntBox Wide() { return Box(-2000000000, -2000000000, 2000000000, 2000000000); }

TMatrix3 Scale2() {
  TMatrix3 m = IdentityMatrix;
  ScaleMatrix({0, 0}, m, 2.0, 2.0);
  return m;
}
TMatrix3 Shift(double dx, double dy) {
  TMatrix3 m = IdentityMatrix;
  m.M[2][0] = dx;
  m.M[2][1] = dy;
  return m;
}

// One copy 1000 to the right.
TStepObject* NewSteps() { return new TStepObject({{1, 1, 0, 0, 0}, {0, 1, 1000, 0, 0}, {0, 1, 0, 0, 0}}); }

TRoutShadow* Record(uint8_t kind, TIntPoint a, TIntPoint b, int32_t copy = 1, bool isCopy = false,
                    int32_t tool = 1, bool headUp = false, int32_t z = NoZOffset) {
  return new TRoutShadow(a, b, {0, 0}, headUp, tool, kind, isCopy, copy, 40, 7, z);
}

}  // namespace

class RoutEntityTest : public TRoutTest {};

// ---- Construction, accessors and the operations a type does not have ----------------

TEST_F(RoutEntityTest, ConstructionMarksTheLayerModifiedAndCutsCommandText) {
  TEntityPtr jog(new TRoutJog({10, 20}, 2, 7, 8, 41));
  EXPECT_TRUE(RoutLayerModified[41]);
  EXPECT_FALSE(RoutLayerModified[40]);
  EXPECT_TRUE(DatabaseModified);
  std::string text;
  TEntityPtr command(new TRoutCommand(40, {0, 0}, std::string(100, 'M'), 3));
  command->GetString(text);
  EXPECT_EQ(text, std::string(80, 'M'));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(RoutEntityTest, MissingOperationsShowTheirBoxAndChangeNothing) {
  TRoutJog jog({1, 1}, 0, 1, 1, 40);
  TRoutLine line({2, 2}, 5, 0, 40);
  TRoutHole hole({3, 3}, 4, 40);
  TRoutCommand command(40, {4, 4}, "M47", 0);
  TIntPoint p{9, 9};
  std::string s = "kept";
  const std::vector<std::pair<std::function<void()>, std::string>> cases = {
      {[&] { jog.GetFeedRate(); }, "GetFeedRate called on untyped entity"},
      {[&] { line.GetStepObj(); }, "GetStepObject called on non-jog/drill"},
      {[&] { line.SetStepObj(nullptr); }, "SetStepObject called on non-jog/drill"},
      {[&] { line.AppendStepObj(nullptr); }, "AppendStepObject called on non-jog/drill"},
      {[&] { hole.GetString(s); }, "GetString called on untyped entity"},
      {[&] { command.AveragePoint(0, p); }, "AveragePoint called on untyped entity!"},
      {[&] { hole.EntityLength(0); }, "EntityLength called on one-point entity!"},
      {[&] { jog.PerpPoint(0, {0, 0}, p); }, "PerpPoint called on illegal entity!"},
      {[&] { line.GetSecondPoint(p); }, "GetSecondPoint called on untyped entity"},
      {[&] { line.Mirror(); }, "Mirror called on untyped entity"},
      {[&] { line.GetComp(); }, "GetComp called on non-jog!"},
      {[&] { command.GetToolNumber(); }, "GetToolNumber called on non-jog/hole!"},
      {[&] { hole.GetCompIndex(); }, "GetCompIndex called on non-jog!"},
      {[&] { jog.GetRadius(); }, "GetRadius called on non-Circle entity"},
      {[&] { line.IsAG32(); }, "IsAG32 called on non-Circle entity"},
  };
  for (const auto& [call, text] : cases) {
    ResetHeadlessDialogs();
    call();
    ASSERT_EQ(Boxes(), std::vector<std::string>{text});
  }
  EXPECT_EQ(p, (TIntPoint{9, 9}));
  EXPECT_EQ(s, "kept");
  EXPECT_EQ(line.GetType(), etRoutLine);
}

// ---- Geometry with the previous point ----------------------------------------------

TEST_F(RoutEntityTest, JogMeasuresItsHeadUpMove) {
  int32_t start = Add(new TRoutJog({0, 0}, 0, 1, 1, 40));
  TRoutJog jog({300, 100}, 0, 1, 1, 40);
  TIntPoint p;
  jog.AveragePoint(start, p);
  EXPECT_EQ(p, (TIntPoint{150, 50}));
  EXPECT_EQ(jog.EntityLength(start), 300);
  TRoutJog far({-700, 200}, 0, 1, 1, 40);
  EXPECT_EQ(far.EntityLength(0), 700);  // from the origin

  // Corner at (100, 100): a pick beside the diagonal leg and one on the
  // horizontal leg beyond its far end.
  TIntBox box = Wide();
  EXPECT_EQ(jog.DistanceToPoint(start, box, RoutNotNear, 200, 130), 30);
  EXPECT_EQ(box, Box(170, 100, 230, 160));
  box = Wide();
  EXPECT_EQ(jog.DistanceToPoint(start, box, RoutNotNear, 330, 140), 50);
  box = Wide();
  EXPECT_EQ(jog.DistanceToPoint(start, box, 10, 330, 140), RoutNotNear);  // not below best
  EXPECT_EQ(box, Wide());

  HeadUpMoves = false;
  box = Wide();
  EXPECT_EQ(jog.DistanceToPoint(start, box, RoutNotNear, 300, 100), RoutNotNear);

  EXPECT_TRUE(jog.InWindowTest(start, Box(-10, -10, 400, 200)));
  EXPECT_FALSE(jog.InWindowTest(start, Box(200, 0, 400, 200)));  // holds only the jog's end
}

TEST_F(RoutEntityTest, LineMeasuresFromThePreviousPoint) {
  int32_t start = Add(new TRoutJog({0, 0}, 0, 1, 1, 40));
  TRoutLine line({3000, 4000}, 10, NoZOffset, 40);
  TIntPoint p;
  line.AveragePoint(start, p);
  EXPECT_EQ(p, (TIntPoint{1500, 2000}));
  EXPECT_EQ(line.EntityLength(start), 5000);

  // Vertical line: a pick beyond its upper end measures to that end.
  int32_t base = Add(new TRoutJog({1000, 0}, 0, 1, 1, 40));
  TRoutLine up({1000, 1000}, 10, 0, 40);
  TIntBox box = Wide();
  EXPECT_EQ(up.DistanceToPoint(base, box, RoutNotNear, 1030, 1040), 50);
  box = Wide();
  EXPECT_EQ(up.DistanceToPoint(base, box, RoutNotNear, 1020, 500), 20);
  box = Box(2000, 0, 3000, 1000);  // wholly right of the line
  EXPECT_EQ(up.DistanceToPoint(base, box, RoutNotNear, 2500, 500), RoutNotNear);

  // A diagonal line is measured even when it only crosses the pick box.
  box = Box(1450, 1950, 1550, 2050);
  EXPECT_LE(line.DistanceToPoint(start, box, RoutNotNear, 1500, 2000), 2);

  line.PerpPoint(start, {4000, -3000}, p);
  EXPECT_EQ(p, (TIntPoint{0, 0}));
  std::string text;
  up.PerpDefString(base, text);
  EXPECT_EQ(text, "1.0,0.0,-1000.0");
}

TEST_F(RoutEntityTest, LineOfNoLengthAnswersWithoutAnEquation) {
  int32_t start = Add(new TRoutJog({500, 500}, 0, 1, 1, 40));
  TRoutLine dot({500, 500}, 10, 0, 40);
  TIntPoint p;
  dot.PerpPoint(start, {800, 900}, p);
  EXPECT_EQ(p, (TIntPoint{800, 900}));
  std::string text;
  dot.PerpDefString(start, text);
  EXPECT_EQ(text, "0.0,0.0,0.0");
  EXPECT_EQ(dot.EntityLength(start), 0);
  TIntBox box = Wide();
  EXPECT_EQ(dot.DistanceToPoint(start, box, RoutNotNear, 500, 530), 30);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(RoutEntityTest, ArcLengthPicksAndDirection) {
  int32_t start = Add(new TRoutJog({1000, 0}, 0, 1, 1, 40));
  TRoutArc ccw(7, 10, 0, {0, 1000}, {0, 0}, 40);
  TRoutArc cw(8, 10, 0, {0, 1000}, {0, 0}, 40);
  EXPECT_EQ(ccw.EntityLength(start), 1571);
  EXPECT_EQ(cw.EntityLength(start), 1571);  // measured the shorter way round
  TRoutArc full(7, 10, 0, {1000, 0}, {0, 0}, 40);
  EXPECT_EQ(full.EntityLength(start), 6283);  // equal ends: the whole circle

  // A pick at 45 degrees lies on the counter-clockwise arc, not on the
  // clockwise one (which runs the other 270 degrees).
  TIntBox box = Wide();
  EXPECT_EQ(ccw.DistanceToPoint(start, box, RoutNotNear, 800, 800), 131);
  box = Wide();
  EXPECT_EQ(cw.DistanceToPoint(start, box, RoutNotNear, 800, 800), 825);
  box = Box(5000, 5000, 6000, 6000);  // beyond the whole circle
  EXPECT_EQ(ccw.DistanceToPoint(start, box, RoutNotNear, 5500, 5500), RoutNotNear);

  // A half circle whose ends lie in the window counts as inside.
  TRoutArc half(7, 10, 0, {-1000, 0}, {0, 0}, 40);
  EXPECT_TRUE(half.InWindowTest(start, Box(-1000, -10, 1000, 10)));

  half.Mirror();
  EXPECT_EQ(half.GetType(), 8);
  half.Mirror();
  EXPECT_EQ(half.GetType(), 7);

  TIntPoint p;
  ccw.PerpPoint(start, {0, 0}, p);
  EXPECT_EQ(p, (TIntPoint{0, 0}));
  ccw.PerpPoint(start, {3000, 0}, p);
  EXPECT_EQ(p, (TIntPoint{1000, 0}));
  std::string text;
  ccw.PerpDefString(start, text);
  EXPECT_EQ(text, "0.0,0.0,1000.0");
}

TEST_F(RoutEntityTest, ArcClonesAndTransforms) {
  TRoutArc arc(8, 250, 17, {1000, 2000}, {0, 2000}, 40);
  TEntityPtr line(arc.CloneAsLine(42));
  EXPECT_EQ(line->GetType(), etRoutLine);
  TIntPoint p;
  line->GetPoint(p);
  EXPECT_EQ(p, (TIntPoint{1000, 2000}));
  EXPECT_EQ(line->GetFeedRate(), 250);
  EXPECT_EQ(line->GetZOffset(), 17);
  TEntityPtr copy(arc.Clone(43));
  EXPECT_EQ(copy->GetType(), 8);
  copy->GetCentre(p);
  EXPECT_EQ(p, (TIntPoint{0, 2000}));

  EXPECT_TRUE(arc.Transform(Scale2()));
  EXPECT_EQ(arc.X, 2000);
  EXPECT_EQ(arc.Centre, (TIntPoint{0, 4000}));
  EXPECT_EQ(arc.GetType(), 8);
  // The end stays inside the extent but the centre would not: nothing moves.
  TRoutArc edge(7, 1, 0, {0, 0}, {1073741000, 0}, 40);
  EXPECT_FALSE(edge.Transform(Shift(1000, 0)));
  EXPECT_EQ(edge.X, 0);
  EXPECT_EQ(edge.Centre.X, 1073741000);
}

TEST_F(RoutEntityTest, CircleLengthPicksWindowAndTransform) {
  TRoutCircle circle({0, 0}, 10, 0, 1, 1000000, 1, false, 40);
  EXPECT_EQ(circle.EntityLength(0), 9424778);

  TRoutCircle small({0, 0}, 10, 0, 1, 1000, 1, false, 40);
  TIntBox box = Wide();
  EXPECT_EQ(small.DistanceToPoint(0, box, RoutNotNear, 0, 0), 0);
  box = Wide();
  EXPECT_EQ(small.DistanceToPoint(0, box, RoutNotNear, 400, 0), 400);
  box = Wide();
  EXPECT_EQ(small.DistanceToPoint(0, box, RoutNotNear, 1500, 0), 500);
  box = Box(100, 100, 200, 200);  // inside the circle, away from its five points
  EXPECT_EQ(small.DistanceToPoint(0, box, RoutNotNear, 150, 150), RoutNotNear);

  EXPECT_TRUE(small.InWindowTest(0, Box(-1000, -1000, 1000, 1000)));
  EXPECT_FALSE(small.InWindowTest(0, Box(-500, -500, 1000, 1000)));

  TIntPoint p;
  small.PerpPoint(0, {0, 0}, p);
  EXPECT_EQ(p, (TIntPoint{0, 0}));
  small.PerpPoint(0, {0, -5000}, p);
  EXPECT_EQ(p, (TIntPoint{0, -1000}));
  std::string text;
  TRoutCircle placed({1000, -2000}, 10, 0, 1, 500, 1, false, 40);
  placed.PerpDefString(0, text);
  EXPECT_EQ(text, "1000.0,-2000.0,500.0");

  EXPECT_TRUE(small.Transform(Scale2()));
  EXPECT_EQ(small.Radius, 2000);
  TMatrix3 turn = IdentityMatrix;
  RotateMatrix({0, 0}, turn, 30.0);
  EXPECT_TRUE(small.Transform(turn));
  EXPECT_EQ(small.Radius, 2000);
}

TEST_F(RoutEntityTest, HoleAndCommandPicks) {
  TRoutHole hole({1000, 1000}, 5, 40);
  TIntBox box = Box(900, 900, 1100, 1100);
  EXPECT_EQ(hole.DistanceToPoint(0, box, RoutNotNear, 1030, 1040), 50);
  EXPECT_EQ(box, Box(980, 990, 1080, 1090));
  box = Box(0, 0, 999, 999);  // centre just outside
  EXPECT_EQ(hole.DistanceToPoint(0, box, RoutNotNear, 999, 999), RoutNotNear);
  TIntPoint p;
  hole.AveragePoint(12345, p);
  EXPECT_EQ(p, (TIntPoint{1000, 1000}));

  TRoutCommand command(40, {0, 0}, "M47", 0);
  box = Wide();
  EXPECT_EQ(command.DistanceToPoint(0, box, RoutNotNear, 0, 0), RoutNotNear);
  EXPECT_TRUE(command.InWindowTest(0, Box(0, 0, 0, 0)));
  // A snap to own points finds the command; the border counts as inside.
  int32_t x = 0, y = 0;
  box = Box(-10, 0, 10, 10);
  EXPECT_EQ(command.NearestPoint(box, RoutNotNear, 0, 5, x, y, false), 5);
  EXPECT_EQ(box, Box(-5, 0, 5, 10));
  EXPECT_EQ(command.NearestPoint(box, RoutNotNear, 0, 5, x, y, true), RoutNotNear);
}

// ---- Step objects -------------------------------------------------------------------

TEST_F(RoutEntityTest, ClonesShareOrDropTheStepObject) {
  TStepObject* steps = NewSteps();
  TRoutHole hole({0, 0}, 1, 40);
  hole.SetStepObj(steps);
  EXPECT_EQ(steps->RefCount(), 1);
  TEntityPtr holeCopy(hole.Clone(41));
  EXPECT_EQ(holeCopy->GetStepObj(), steps);
  EXPECT_EQ(steps->RefCount(), 2);
  TRoutJog jog({0, 0}, 1, 1, 1, 40);
  jog.SetStepObj(steps);
  TEntityPtr jogCopy(jog.Clone(40));
  EXPECT_EQ(jogCopy->GetStepObj(), steps);
  TRoutCommand command(40, {0, 0}, "M47", 0);
  command.SetStepObj(steps);
  TEntityPtr commandCopy(command.Clone(40));
  EXPECT_EQ(commandCopy->GetStepObj(), nullptr);
  EXPECT_EQ(steps->RefCount(), 5);
  holeCopy.reset();
  jogCopy.reset();
  EXPECT_EQ(steps->RefCount(), 3);
}

TEST_F(RoutEntityTest, SettingTheSameStepObjectAgainKeepsIt) {
  TRoutCircle circle({0, 0}, 1, 0, 1, 100, 1, false, 40);
  circle.SetStepObj(NewSteps());
  TStepObject* steps = circle.GetStepObj();
  circle.SetStepObj(steps);  // its only reference: must not free it
  EXPECT_EQ(circle.GetStepObj(), steps);
  EXPECT_EQ(steps->RefCount(), 1);
  EXPECT_EQ(steps->CopyCount(), 1);
  circle.SetStepObj(nullptr);
  EXPECT_EQ(circle.GetStepObj(), nullptr);
}

TEST_F(RoutEntityTest, AppendAndTransformReplaceTheStepObject) {
  TRoutJog jog({0, 0}, 0, 1, 1, 40);
  jog.AppendStepObj(NewSteps());  // none yet: taken as it is
  TStepObject* inner = jog.GetStepObj();
  ASSERT_NE(inner, nullptr);
  TStepObject* outer = new TStepObject({{1, 1, 0, 0, 0}, {0, 1, 0, 500, 0}, {0, 1, 0, 0, 0}});
  outer->AddRef();
  jog.AppendStepObj(outer);
  TStepObject* nested = jog.GetStepObj();
  ASSERT_NE(nested, inner);  // the inner object was freed with its last holder
  EXPECT_EQ(nested->LevelCount(), 2);

  // A refused transform still moves the step object.
  TRoutJog edge({1073741000, 0}, 0, 1, 1, 40);
  edge.SetStepObj(nested);
  EXPECT_FALSE(edge.Transform(Shift(1000, 0)));
  EXPECT_EQ(edge.X, 1073741000);
  EXPECT_NE(edge.GetStepObj(), nested);
  EXPECT_NE(edge.GetStepObj(), nullptr);
  ReleaseStepObject(outer);
}

// ---- Display chain ---------------------------------------------------------------------

TEST_F(RoutEntityTest, AnEntityWithoutAChainDrawsNothing) {
  TRoutLine line({100, 0}, 1, 0, 40);
  line.Draw(40);
  line.DrawColour(0xFF);
  line.Erase();
  line.DrawShadow();
  EXPECT_FALSE(line.DrawStep(1));
  line.UndrawStep(1);
  EXPECT_TRUE(Surface.Drawn().empty());
  EXPECT_EQ(line.CopyCount(), 1);
  EXPECT_FALSE(line.HasCopy(1));
  int32_t x, y;
  TIntBox box = Wide();
  EXPECT_EQ(line.NearestPoint(box, RoutNotNear, 0, 0, x, y, true), RoutNotNear);
}

TEST_F(RoutEntityTest, DrawColourFollowsModeSurfaceAndToolOfTheFirstRecord) {
  LayerColors[40] = 0x123456;
  TRoutHole hole({0, 0}, 9, 40);
  hole.AttachShadow(Record(rsHole, {0, 0}, {0, 0}, 1, false, 3));
  hole.Draw(40);
  EXPECT_EQ(Surface.Calls.front(), "SetPenMode(4)");
  EXPECT_EQ(Surface.Count("SetColor(1193046)"), 1);  // layer colour

  RoutColors = 0;  // by tool: the record's tool 3, not the hole's own 9
  Surface.Clear();
  hole.Draw(40);
  EXPECT_EQ(Surface.Count("SetColor(" + std::to_string(ToolColors[2]) + ")"), 1);

  EditorMode = emCad;  // dimmed on the screen...
  Surface.Clear();
  hole.Draw(40);
  EXPECT_EQ(Surface.Count("SetColor(" + std::to_string(DimColor) + ")"), 1);
  TRoutRecordingSurface plot(1000.0, false);  // ...but a plot keeps its colour
  DrawSurface = &plot;
  hole.Draw(40);
  EXPECT_EQ(plot.Count("SetColor(" + std::to_string(ToolColors[2]) + ")"), 1);
  EXPECT_EQ(plot.Count("DrawCircleDia"), 1);
}

// An arc's Z-offset mark follows the arc (a zigzag about its radius), not
// its chord.
TEST_F(RoutEntityTest, AnArcsZOffsetMarkFollowsTheArc) {
  RoutToolPages[40][1].Diameter = 100;
  const bool saved = ZOffsetChanges;
  ZOffsetChanges = true;
  TRoutArc arc(7, 200, 0, {2000, 0}, {1000, 0}, 40);
  arc.AttachShadow(new TRoutShadow({0, 1000}, {2000, 1000}, {1000, 1000}, false, 1, rsArc, false, 1,
                                   40, 7, 0));
  arc.DrawShadow();
  EXPECT_EQ(Surface.Count("DrawZOffsetLineMark"), 0);
  int zigzag = 0;
  for (const std::string& c : Surface.Drawn())
    if (c.rfind("DrawLine(", 0) == 0) ++zigzag;
  EXPECT_GT(zigzag, 2);
  ZOffsetChanges = saved;
}

TEST_F(RoutEntityTest, ChainDrawingFollowsTheViewToggles) {
  RoutToolPages[40][1].Diameter = 100;
  TRoutLine line({0, 0}, 1, 0, 40);
  line.AttachShadow(Record(rsHeadUpMove, {0, 0}, {50, 50}));
  line.AttachShadow(Record(rsLine, {50, 50}, {90, 50}, 1, false, 1, true));  // head-up line
  line.AttachShadow(Record(rsLine, {90, 50}, {150, 50}, 1, false, 1, false, 0));
  line.AttachShadow(Record(rsHole, {7, 7}, {0, 0}, 2, true));
  line.AttachShadow(Record(rsSequenceNumber, {1, 1}, {0, 0}, 1, false, 12));

  line.DrawShadow();
  EXPECT_EQ(Surface.Drawn(),
            (std::vector<std::string>{"DrawNumber(1,1,12)", "DrawCircleDia(7,7,100)",
                                      "DrawRoutLine(90,50,150,50,100)",
                                      "DrawFeedRateLineMark(90,50,150,50,100,7)",
                                      "DrawZOffsetLineMark(90,50,150,50,100)",
                                      "DrawRoutLine(50,50,90,50,100)",
                                      "DrawTableMove(0,0,50,50)"}));
  // The copy's hole is dotted while steps are shown dashed.
  EXPECT_EQ(Surface.Calls[1], "SetPenStyle(2)");

  HeadUpMoves = false;
  DisplayStepsDashed = false;
  DisplaySequenceNumbers = false;
  Surface.Clear();
  line.DrawShadow();
  EXPECT_EQ(Surface.Count("DrawTableMove"), 0);
  EXPECT_EQ(Surface.Count("DrawRoutLine"), 1);
  EXPECT_EQ(Surface.Count("DrawNumber"), 0);
  EXPECT_EQ(Surface.Count("SetPenStyle(2)"), 0);  // the copy now solid

  // Erasing follows the toggles as drawing does: hidden moves and path
  // numbers are not painted over; moves shown are.
  Surface.Clear();
  line.Erase();
  EXPECT_EQ(Surface.Count("DrawTableMove"), 0);
  EXPECT_EQ(Surface.Count("DrawRoutLine"), 1);
  EXPECT_EQ(Surface.Count("DrawNumber"), 0);
  HeadUpMoves = true;
  Surface.Clear();
  line.Erase();
  EXPECT_EQ(Surface.Count("DrawTableMove"), 1);
  EXPECT_EQ(Surface.Count("DrawRoutLine"), 2);
  HeadUpMoves = false;

  // The highlight draws the copy with the caller's dotted pen throughout.
  DisplayStepsDashed = true;
  Surface.Clear();
  line.DrawColour(0xFF);
  EXPECT_EQ(Surface.Count("SetPenStyle(0)"), 0);

  // Single step: only copy 2, and undrawing it.
  Surface.Clear();
  EXPECT_TRUE(line.DrawStep(2));
  EXPECT_EQ(Surface.Drawn(), std::vector<std::string>{"DrawCircleDia(7,7,100)"});
  EXPECT_FALSE(line.DrawStep(3));
  EXPECT_EQ(line.CopyCount(), 2);
  EXPECT_TRUE(line.HasCopy(2));
  DisplayStepsDashed = false;
  EXPECT_FALSE(line.HasCopy(2));
  RoutToolPages[40][1].Diameter = 0;
}

TEST_F(RoutEntityTest, SnapToTheChainStopsAtAMoveOrNumber) {
  TRoutLine line({0, 0}, 1, 0, 40);
  line.AttachShadow(Record(rsLine, {0, 0}, {1000, 0}));           // oldest: never reached
  line.AttachShadow(Record(rsSequenceNumber, {0, 0}, {0, 0}));
  line.AttachShadow(Record(rsArc, {2000, 0}, {3000, 0}));          // newest
  int32_t x = 0, y = 0;
  TIntBox box = Wide();
  EXPECT_EQ(line.NearestPoint(box, RoutNotNear, 2900, 10, x, y, true), 100);
  EXPECT_EQ((TIntPoint{x, y}), (TIntPoint{3000, 0}));
  box = Wide();
  EXPECT_EQ(line.NearestPoint(box, 50, 900, 0, x, y, true), 50);  // best comes back

  TRoutJog jog({0, 0}, 0, 1, 1, 40);
  jog.AttachShadow(Record(rsHeadUpMove, {0, 0}, {10, 10}));
  box = Wide();
  EXPECT_EQ(jog.NearestPoint(box, 77, 0, 0, x, y, true), 77);
}

TEST_F(RoutEntityTest, PushHandsTheChainToTheCadConversion) {
  struct TTarget : TRoutCadTarget {
    std::vector<std::string> Got;
    void AddCadHeadUpMove(int32_t, int32_t, int32_t, int32_t) override { Got.push_back("move"); }
    void AddCadSequenceNumber(int32_t, int32_t, int32_t n) override {
      Got.push_back("number " + std::to_string(n));
    }
    void AddCadRoutLine(int32_t, int32_t, int32_t, int32_t, int32_t d) override {
      Got.push_back("line " + std::to_string(d));
    }
    void AddCadRoutArc(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                       int8_t) override {
      Got.push_back("arc");
    }
    void AddCadHoleCircle(int32_t, int32_t, int32_t d) override {
      Got.push_back("circle " + std::to_string(d));
    }
  } target;
  TRoutCadTarget* old = SetRoutCadTarget(&target);
  RoutToolPages[40][1].Diameter = 80;
  TRoutCircle circle({0, 0}, 1, 0, 1, 500, 1, false, 40);
  circle.AttachShadow(Record(rsFullCircle, {0, 0}, {500, 0}));
  circle.AttachShadow(Record(rsLine, {0, 0}, {1, 1}, 1, false, 1, true));
  circle.AttachShadow(Record(rsHeadUpMove, {0, 0}, {1, 1}));
  circle.AttachShadow(Record(rsViolationMark, {0, 0}, {5, 0}));
  circle.AttachShadow(Record(rsSequenceNumber, {0, 0}, {0, 0}, 1, false, 4));
  circle.Push();
  EXPECT_EQ(target.Got, (std::vector<std::string>{"number 4", "move", "line 80", "circle 1000"}));
  HeadUpMoves = false;
  target.Got.clear();
  circle.Push();
  EXPECT_EQ(target.Got, (std::vector<std::string>{"number 4", "circle 1000"}));
  SetRoutCadTarget(old);
  RoutToolPages[40][1].Diameter = 0;
}

// ---- The compensator ---------------------------------------------------------------------

namespace {
std::vector<std::string> Kinds(TRoutEntity& e) {
  std::vector<std::string> out;  // oldest record first
  for (TRoutShadow* r = e.Shadow; r; r = r->Next)
    out.insert(out.begin(), std::to_string(r->Kind) + ":" + std::to_string(r->A.X) + "," +
                                std::to_string(r->A.Y) + ">" + std::to_string(r->B.X) + "," +
                                std::to_string(r->B.Y) + "#" + std::to_string(r->CopyNumber) +
                                (r->IsCopy ? "c" : ""));
  return out;
}
}  // namespace

TEST_F(RoutEntityTest, CompensatorHangsTheToolCentrePathOnEachEntity) {
  TRoutJog jog({1000, 0}, 1, 5, 5, 40);
  TRoutLine line({2000, 0}, 300, 40, 40);
  TRoutArc arc(7, 200, NoZOffset, {2000, 2000}, {2000, 1000}, 40);
  TRoutCommand command(40, {0, 0}, "M47", 0);
  TRoutHole hole({4000, 4000}, 6, 40);
  TRoutCircle circle({6000, 0}, 100, 0, 7, 500, 7, false, 40);
  TRoutLine dot({6000, 0}, 1, 0, 40);  // a line of no length after the circle
  {
    TCutterCompensator comp(40);
    for (TRoutEntity* e : std::initializer_list<TRoutEntity*>{&jog, &line, &arc, &command, &hole,
                                                              &circle, &dot})
      comp.AddEntity(e);
    comp.Finish();
    EXPECT_EQ(comp.PathCounter(), 3);
  }
  EXPECT_EQ(Kinds(jog), std::vector<std::string>{"0:0,0>1000,0#1"});
  EXPECT_EQ(Kinds(line), (std::vector<std::string>{"4:1000,0>1000,0#1", "1:1000,0>2000,0#1"}));
  EXPECT_EQ(Kinds(arc), std::vector<std::string>{"2:2000,0>2000,2000#1"});
  EXPECT_EQ(arc.Shadow->C, (TIntPoint{2000, 1000}));
  EXPECT_EQ(Kinds(command), std::vector<std::string>{});
  EXPECT_EQ(Kinds(hole), std::vector<std::string>{"3:4000,4000>4000,4000#1"});
  // A path circle smaller than 0.01 in is entered from its centre, with no
  // lead-in arc; the circle itself is four quarter arcs from the top.
  EXPECT_EQ(Kinds(circle), (std::vector<std::string>{
                               "4:6000,0>6000,0#1", "0:2000,2000>6000,0#1",
                               "2:6000,500>5500,0#1", "2:5500,0>6000,-500#1",
                               "2:6000,-500>6500,0#1", "2:6500,0>6000,500#1"}));
  EXPECT_EQ(line.Shadow->FeedRate, 300);
  EXPECT_EQ(line.Shadow->ZOffset, 40);
  EXPECT_EQ(line.Shadow->Tool, 5);
  EXPECT_EQ(jog.Shadow->ZOffset, NoZOffset);
  EXPECT_TRUE(jog.Shadow->HeadUp);
  TRoutShadow* first = circle.Shadow;
  while (first->Next) first = first->Next;
  EXPECT_EQ(first->Tool, 2);  // the circle's path number
  EXPECT_EQ(circle.Shadow->FeedRate, 100);
  EXPECT_EQ(Kinds(dot).size(), 2u);  // its number and its segment of no length
}

TEST_F(RoutEntityTest, StepCopiesCarryTheirNumberAndMirroredSide) {
  TRoutJog jog({0, 0}, 1, 1, 1, 40);
  TRoutLine line({100, 0}, 10, 0, 40);
  TRoutHole hole({50, 50}, 2, 40);
  TRoutLayerCompensator comp(40);
  comp.AddEntity(&jog);
  comp.AddEntity(&line);
  comp.AddEntity(&hole);
  comp.AddStepEntity(&jog, {1000, 0}, true, 2, etRoutJog, {});
  comp.AddStepEntity(&line, {1100, 0}, true, 2, etRoutLine, {});
  comp.AddStepEntity(&hole, {1050, 50}, true, 2, etRoutHole, {});
  comp.Finish();
  EXPECT_EQ(Kinds(line), (std::vector<std::string>{"4:0,0>0,0#1", "1:0,0>100,0#1",
                                                   "4:1000,0>1000,0#2c", "1:1000,0>1100,0#2c"}));
  // The mirrored copy changes side (1 to 2): its path is closed and reopened,
  // so the copy's jog starts from where the original ended.
  EXPECT_EQ(Kinds(jog), std::vector<std::string>{"0:100,0>1000,0#2c"});
  EXPECT_EQ(Kinds(hole), (std::vector<std::string>{"3:50,50>50,50#1", "3:1050,50>1050,50#2c"}));
  EXPECT_EQ(line.CopyCount(), 2);
  EXPECT_EQ(line.Shadow->CopyNumber, 2);
  // Every record was drawn as it was attached.
  EXPECT_EQ(Surface.Count("DrawCircleDia"), 2);
  EXPECT_EQ(Surface.Count("DrawTableMove"), 1);
  TGougeReport report;
  comp.Done(report);
  EXPECT_EQ(report.ViolationCount, 0);
}

TEST_F(RoutEntityTest, ViolationReportAccumulatesOnlyWithGougeDetect) {
  TGougeReport report{1, 1, 1, 0};
  {
    TCutterCompensator comp(40);
    comp.ReportViolations(report);
  }
  EXPECT_EQ(report.ViolationCount, 1);
  EXPECT_TRUE(Boxes().empty());
  GougeDetect = true;
  TCutterCompensator comp(40);
  comp.ReportViolations(report);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"There is one compensation\nviolation.  See RED pointer."});
  CompensationViolations = 1;
  comp.ReportViolations(report);
  EXPECT_EQ(report.ViolationCount, 2);
  EXPECT_EQ(Boxes().back(), "\nThere are 2\r compensation\nviolations.  See RED pointers.");
  report.ShowViolations = 0;
  ResetHeadlessDialogs();
  comp.ReportViolations(report);
  EXPECT_TRUE(Boxes().empty());
}
