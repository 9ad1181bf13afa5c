#include "model/rout_edit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// The angle helpers against the plain repeated-360 definition on ordinary
// input, and their behaviour where that definition breaks down.
TEST(RoutAngles, NormalizeDegreesMatchesTheRepeatedTurnOnOrdinaryInput) {
  auto looped = [](double a) {
    while (a < 0) a += 360.0;
    while (a >= 360.0) a -= 360.0;
    return a;
  };
  for (double a : {0.0, 1.5, 90.0, 359.999, 360.0, 361.0, 725.25, -0.5, -90.0, -360.0, -721.0,
                   1e-12, -1e-12, 3599.0}) {
    EXPECT_EQ(NormalizeDegrees(a), looped(a)) << a;
  }
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(NormalizeDegrees(inf), 0.0);
  EXPECT_EQ(NormalizeDegrees(-inf), 0.0);
  EXPECT_EQ(NormalizeDegrees(std::nan("")), 0.0);
  // Huge values finish at once and land in range.
  const double big = NormalizeDegrees(1e300);
  EXPECT_GE(big, 0.0);
  EXPECT_LT(big, 360.0);
}

TEST(RoutAngles, QuadrantAnglesFromEveryQuadrantInBothDirections) {
  EXPECT_EQ(NextQuadrantAngle(90), 90);
  EXPECT_EQ(NextQuadrantAngle(91), 180);
  EXPECT_EQ(PreviousQuadrantAngle(90), 0);
  EXPECT_EQ(PreviousQuadrantAngle(-30), 270);
  for (int q = 0; q < 360; q += 90) {
    EXPECT_EQ(NextQuadrantAngle(q), q);
    EXPECT_EQ(NextQuadrantAngle(q + 0.5), (q + 90) % 360);
    EXPECT_EQ(NextQuadrantAngle(q - 0.5), q);
    EXPECT_EQ(PreviousQuadrantAngle(q), (q + 270) % 360);
    EXPECT_EQ(PreviousQuadrantAngle(q + 0.5), q);
    EXPECT_EQ(PreviousQuadrantAngle(q + 360), (q + 270) % 360);
  }
}

std::vector<double> Pieces(double a0, double a1, bool cw) { return ArcPieceAngles(a0, a1, cw, true); }

TEST(RoutArcPieces, QuadrantCuttingEndsOnEveryInnerAxisAndNeverMakesAnEmptyPiece) {
  EXPECT_EQ(Pieces(30, 200, false), (std::vector<double>{90, 180}));
  EXPECT_EQ(Pieces(200, 30, true), (std::vector<double>{180, 90}));
  // Starting on an axis: the start itself is no piece end.
  for (int q = 0; q < 360; q += 90) {
    const double next = (q + 90) % 360, prev = (q + 270) % 360;
    EXPECT_EQ(Pieces(q, q + 45, false), std::vector<double>{}) << q;
    EXPECT_EQ(Pieces(q, q + 135, false), std::vector<double>{next}) << q;
    EXPECT_EQ(Pieces(q, q - 45, true), std::vector<double>{}) << q;
    EXPECT_EQ(Pieces(q, q - 135, true), std::vector<double>{prev}) << q;
    // Ending on an axis: the last piece ends there, no piece before it does.
    EXPECT_EQ(Pieces(q - 30, q, false), std::vector<double>{}) << q;
    EXPECT_EQ(Pieces(q + 30, q, true), std::vector<double>{}) << q;
    // Axis to axis, half a turn.
    EXPECT_EQ(Pieces(q, q + 180, false), std::vector<double>{next}) << q;
    EXPECT_EQ(Pieces(q, q + 180, true), std::vector<double>{prev}) << q;
  }
  // Almost a full turn crosses all four axes once.
  EXPECT_EQ(Pieces(30, 29, false), (std::vector<double>{90, 180, 270, 0}));
  EXPECT_EQ(Pieces(0, 359, false), (std::vector<double>{90, 180, 270}));
  EXPECT_EQ(Pieces(270, 0, false), std::vector<double>{});
}

TEST(RoutArcPieces, WithoutQuadrantCuttingPiecesStayBelow135Degrees) {
  auto pieces = ArcPieceAngles(10, 310, false, false);  // 300 degrees
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_DOUBLE_EQ(pieces[0], 110);
  EXPECT_DOUBLE_EQ(pieces[1], 210);
  pieces = ArcPieceAngles(0, 135, false, false);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_DOUBLE_EQ(pieces[0], 67.5);
  EXPECT_TRUE(ArcPieceAngles(0, 90, false, false).empty());
  pieces = ArcPieceAngles(90, 300, true, false);  // 150 degrees clockwise
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_DOUBLE_EQ(pieces[0], 15);
}

TEST(RoutArcPieces, ChordStepsKeepTheDeviation) {
  int32_t steps = 0;
  double angle = 0;
  const TRealPoint c{0, 0};
  ArcChordSteps(c, {1e6, 0}, {0, 1e6}, 1000, steps, angle);
  const double deviation = 1e6 * (1 - std::cos(angle * M_PI / 360.0));
  EXPECT_LE(deviation, 1000.0);
  EXPECT_NEAR(steps * angle, 90.0, 1e-9);
  EXPECT_GT(steps, 1);
  ArcChordSteps(c, {1e6, 0}, {1e6, 0}, 1000, steps, angle);
  EXPECT_NEAR(steps * angle, 360.0, 1e-9);
  ArcChordSteps(c, {100, 0}, {0, 100}, 1000, steps, angle);  // tolerance beyond the radius
  EXPECT_EQ(steps, 1);
  EXPECT_DOUBLE_EQ(angle, 90.0);
}

}  // namespace

// ---- Step commands, deletion and single-step play on a live rout database ----

#include "foundation/geometry_matrix.h"
#include "rout_db_support.h"

namespace {

using TRoutEditTest = TRoutDbTest;
using V = std::vector<std::string>;

TEST(RoutAutoStep, CommandListsOfEveryOrder) {
  TAutoStepRepeatSettings s{3, 10, 2, 20, false, true, true};
  TStepCommandList first, second;
  RoutAutoStepLists(s, false, first, second);
  EXPECT_EQ(first, (TStepCommandList{{1, 1, 0, 0, 0}, {0, 2, 10, 0, 0}, {0, 1, 0, 20, 0},
                                     {0, 2, -10, 0, 0}, {0, 1, 0, 0, 0}}));
  EXPECT_TRUE(second.empty());
  s.Serpentine = false;
  RoutAutoStepLists(s, false, first, second);
  EXPECT_EQ(first, (TStepCommandList{{1, 1, 0, 0, 0}, {0, 2, 10, 0, 0}, {0, 1, -20, 20, 0},
                                     {0, 2, 10, 0, 0}, {0, 1, 0, 0, 0}}));
  s.StepHorizontalFirst = false;
  s.Serpentine = true;
  RoutAutoStepLists(s, false, first, second);  // columns: 3 is odd
  EXPECT_EQ(first, (TStepCommandList{{1, 1, 0, 0, 0}, {0, 1, 0, 20, 0}, {0, 1, 10, 0, 0},
                                     {0, 1, 0, -20, 0}, {0, 1, 10, 0, 0}, {0, 1, 0, 20, 0},
                                     {0, 1, 0, 0, 0}}));
  // Nested, vertical first: the Y list outside, the X list inside.
  RoutAutoStepLists(s, true, first, second);
  EXPECT_EQ(first, (TStepCommandList{{1, 1, 0, 0, 0}, {0, 1, 0, 20, 0}, {0, 1, 0, 0, 0}}));
  EXPECT_EQ(second, (TStepCommandList{{1, 1, 0, 0, 0}, {0, 2, 10, 0, 0}, {0, 1, 0, 0, 0}}));
  s.NumberInY = 1;  // an empty first list gives way to the second
  RoutAutoStepLists(s, true, first, second);
  EXPECT_EQ(first.size(), 3u);
  EXPECT_TRUE(second.empty());
}

TEST_F(TRoutEditTest, StepDepthLimitsAndDeleteStepUndo) {
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);
  RoutUndo->BeginOperation("Build");
  RTDB->AutoStepRepeat = {2, 5000, 1, 0, true, true, true};
  std::string name;
  for (int depth = 1; depth <= 3; ++depth) {
    TRootEntityHandle* list = All();
    list->Step();
    FreeRoutHandles(list);
    ASSERT_TRUE(RoutUndo->CanUndo(name));
    EXPECT_EQ(name, "Auto Step && Repeat");
  }
  // Depth two with Nested on: told, and stepped unnested to depth three.
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "One or more of the cuts you have selected\r\nalready has a nesting depth of two.\r\n"
            "Switching to unnested auto step.");
  TRootEntityHandle* list = All();
  EXPECT_EQ(TRoutHandle::MaxStepDepth(list), 3);
  list->Step();  // refused
  FreeRoutHandles(list);
  EXPECT_EQ(ShownMessageBoxes().back().Text,
            "One or more of the cuts you have selected\r\nalready has a nesting depth of three.");
  EXPECT_EQ(Layer(), (V{"J 0,0 t1 x7", "L 1000,0"}));

  // A step of one by one does nothing and names no step.
  RTDB->AutoStepRepeat.NumberInX = 1;
  const int32_t records = RoutUndo->RecordCount();
  list = All();
  list->Step();
  FreeRoutHandles(list);
  EXPECT_EQ(RoutUndo->RecordCount(), records);

  list = All();
  list->DeleteStep();
  FreeRoutHandles(list);
  ASSERT_TRUE(RoutUndo->CanUndo(name));
  EXPECT_EQ(name, "Delete Step && Repea");
  EXPECT_EQ(Layer(), (V{"J 0,0 t1", "L 1000,0"}));
  ExpectConsistent();
  RoutUndo->Undo();
  EXPECT_EQ(Layer(), (V{"J 0,0 t1 x7", "L 1000,0"}));
  RoutUndo->Redo();
  EXPECT_EQ(Layer(), (V{"J 0,0 t1", "L 1000,0"}));
  ExpectConsistent();
}

TEST_F(TRoutEditTest, CreateEditAndExpandSteps) {
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);
  RTDB->AppendArc({2000, 0}, {1500, 0}, 0, NoZOffset, false);
  RoutUndo->BeginOperation("Build");
  // Cancel changes nothing.
  TRootEntityHandle* list = All();
  list->CreateStep();
  std::string name;
  ASSERT_TRUE(RoutUndo->CanUndo(name));
  EXPECT_EQ(name, "Build");
  // The dialog turns the pattern into one copy 10000 to the right.
  SetEditStepDialog([](TEditStepLists& levels) {
    levels[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 1, 10000, 0, 0}, {0, 1, 0, 0, 0}};
    return true;
  });
  list->CreateStep();
  FreeRoutHandles(list);
  ASSERT_TRUE(RoutUndo->CanUndo(name));
  EXPECT_EQ(name, "Create Step && Repea");
  EXPECT_EQ(Layer(), (V{"J 0,0 t1 x1", "L 1000,0", "A7 1500,-500 c1500,0", "A7 2000,0 c1500,0"}));

  // Editing the level to two copies rebuilds the start's pattern.
  SetEditStepDialog([](TEditStepLists& levels) {
    levels[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 2, 10000, 0, 0}, {0, 1, 0, 0, 0}};
    return true;
  });
  list = All();
  list->Next->EditStep();
  EXPECT_EQ(Layer().front(), "J 0,0 t1 x2");
  FreeRoutHandles(list);

  list = All();
  list->ExpandStepsIntoDatabase();
  FreeRoutHandles(list);
  const V expanded = Layer();
  EXPECT_EQ(expanded, (V{"J 0,0 t1", "L 1000,0", "A7 1500,-500 c1500,0", "A7 2000,0 c1500,0",
                         "J 10000,0 t1", "L 11000,0", "A7 11500,-500 c11500,0",
                         "A7 12000,0 c11500,0", "J 20000,0 t1", "L 21000,0",
                         "A7 21500,-500 c21500,0", "A7 22000,0 c21500,0"}));
  ExpectConsistent();
  RoutUndo->Undo();
  EXPECT_EQ(Layer().front(), "J 0,0 t1 x2");
  EXPECT_EQ(Layer().size(), 4u);
  RoutUndo->Redo();
  EXPECT_EQ(Layer(), expanded);
}

// Without room for every copy of the path, Expand Steps changes nothing and
// says so: the start keeps its pattern, nothing is added or journalled.
TEST_F(TRoutEditTest, ExpandingStepsWithoutRoomForEveryCopyIsRefusedWhole) {
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);
  RTDB->AppendArc({2000, 0}, {1500, 0}, 0, NoZOffset, false);
  SetEditStepDialog([](TEditStepLists& levels) {
    levels[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 2, 10000, 0, 0}, {0, 1, 0, 0, 0}};
    return true;
  });
  TRootEntityHandle* list = All();
  list->CreateStep();
  FreeRoutHandles(list);
  const V stepped = Layer();
  ASSERT_EQ(stepped.front(), "J 0,0 t1 x2");
  // A clone of the start and two copies of its four entities need 9 slots.
  while (RoutEntityCount < TRoutEntities::HighestIndex - 8) ASSERT_NE(RTDB->AddHole({-9000, 0}, 44, 1), 0);
  const int32_t count = RoutEntityCount;
  RoutUndo->BeginOperation("Filled");
  ResetHeadlessDialogs();
  list = All();
  list->ExpandStepsIntoDatabase();
  FreeRoutHandles(list);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "The rout database is full: it holds at most 100,000 entities.\r\nExpanding the steps needs 9 "
            "more; there is room for 8.\r\nNothing was changed.");
  EXPECT_EQ(RoutEntityCount, count);
  EXPECT_EQ(Layer(), stepped);
  std::string name;
  ASSERT_TRUE(RoutUndo->CanUndo(name));
  EXPECT_EQ(name, "Filled");
}

// Two paths sharing one pattern: both starts lose it, each copy is cut once.
TEST_F(TRoutEditTest, ExpandingTwoPathsThatShareAPattern) {
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);
  RTDB->AddLineSegment({0, 5000}, {1000, 5000}, false, NoZOffset, 0);
  SetEditStepDialog([](TEditStepLists& levels) {
    levels[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 1, 10000, 0, 0}, {0, 1, 0, 0, 0}};
    return true;
  });
  TRootEntityHandle* list = All();
  list->CreateStep();
  FreeRoutHandles(list);
  ASSERT_EQ(Layer(), (V{"J 0,0 t1 x1", "L 1000,0", "J 0,5000 t1 x1", "L 1000,5000"}));
  list = All();
  list->ExpandStepsIntoDatabase();
  FreeRoutHandles(list);
  EXPECT_EQ(Layer(), (V{"J 0,0 t1", "L 1000,0", "J 0,5000 t1", "L 1000,5000", "J 10000,0 t1",
                        "L 11000,0", "J 10000,5000 t1", "L 11000,5000"}));
  ExpectConsistent();
  RoutUndo->Undo();
  EXPECT_EQ(Layer(), (V{"J 0,0 t1 x1", "L 1000,0", "J 0,5000 t1 x1", "L 1000,5000"}));
  ExpectConsistent();
}

// A mirrored copy runs its arcs the other way and cuts on the other side.
TEST_F(TRoutEditTest, ExpandingAMirroredCopy) {
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);
  RTDB->AppendArc({2000, 0}, {1500, 0}, 0, NoZOffset, true);
  SetEditStepDialog([](TEditStepLists& levels) {
    levels[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 1, 10000, 0, 2}, {0, 1, 0, 0, 0}};
    return true;
  });
  TRootEntityHandle* list = All();
  list->CreateStep();
  FreeRoutHandles(list);
  list = All();
  list->ExpandStepsIntoDatabase();
  FreeRoutHandles(list);
  ExpectConsistent();
  int32_t ccw = 0, cw = 0;
  std::vector<uint8_t> sides;
  Seq->SetReadCursor(40, 1);
  for (int32_t h = Seq->NextVisible(40); h != 0; h = Seq->NextVisible(40)) {
    TRoutEntity* e = RTDB->EntityAt(h);
    if (e->GetType() == etRoutArc) ++ccw;
    if (e->GetType() == etRoutArcReverse) ++cw;
    if (e->GetType() == etRoutJog) sides.push_back(e->GetComp());
  }
  EXPECT_EQ(cw, 2);   // the original's two pieces
  EXPECT_EQ(ccw, 2);  // the mirrored copy's
  EXPECT_EQ(sides, (std::vector<uint8_t>{2, 1}));
}

TEST_F(TRoutEditTest, DeletingTheOnlyPathStartKeepsAStartAtTheOrigin) {
  RTDB->AddLineSegment({500, 500}, {1000, 500}, false, NoZOffset, 0);
  RTDB->AppendLine({1000, 1000}, 0, NoZOffset);
  RoutUndo->BeginOperation("Build");
  TRoutHandle jog(1);
  jog.DeleteList();
  RoutUndo->BeginOperation("Delete");
  EXPECT_EQ(Layer(), (V{"J 0,0 t1", "L 1000,500", "L 1000,1000"}));
  ExpectConsistent();
  RoutUndo->Undo();
  EXPECT_EQ(Layer(), (V{"J 500,500 t1", "L 1000,500", "L 1000,1000"}));
  ExpectConsistent();
}

TEST_F(TRoutEditTest, SingleStepPlaysEveryCopyAndEndsCleanly) {
  RoutToolPages[40][1].Diameter = 1000;
  RTDB->AddLineSegment({0, 0}, {1000, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({1000, 1000}, 0, NoZOffset);
  RTDB->AutoStepRepeat = {3, 5000, 1, 0, false, true, true};
  TRootEntityHandle* list = All();
  list->Step();
  FreeRoutHandles(list);
  Seq->SetInsertAtEnd(40);
  RTDB->AddLineSegment({0, 9000}, {500, 9000}, false, NoZOffset, 0);
  RTDB->AddHoleAndDraw({7, 7});
  RTDB->DrawAllStepRepeats(0);

  auto nodes = RTDB->BuildPlayList(40);
  std::vector<std::string> got;
  for (const TPlayNode& n : nodes)
    got.push_back(std::to_string(n.Handle) + "/" + std::to_string(n.CopyNumber) +
                  (n.PathStart ? "s" : ""));
  // Holes are not played; the stepped path plays once per copy.
  EXPECT_EQ(got, (V{"4/1s", "2/1", "3/1", "4/2s", "2/2", "3/2", "4/3s", "2/3", "3/3", "5/1s",
                    "6/1"}));

  HeadlessRoutEditServices().Prompts = {"a", "b", "c"};
  RTDB->StartSingleStep();
  ASSERT_TRUE(RTDB->SingleStepActive);
  EXPECT_EQ(ViewServices().Activity(), 1);
  EXPECT_EQ(HeadlessRoutEditServices().Prompts[2], "Command > ");
  EXPECT_EQ(HeadlessButtonBar().StateOf(87), THeadlessButtonBar::bsReleased);
  RTDB->StepForwardPath();
  EXPECT_EQ(RTDB->PlayCursor, 2);
  RTDB->StepForward();
  EXPECT_EQ(RTDB->PlayCursor, 3);
  RTDB->StepBackPath();
  EXPECT_EQ(RTDB->PlayCursor, 2);
  RTDB->ToggleAnimate();
  EXPECT_TRUE(HeadlessRoutEditServices().AnimateChecked);
  for (int k = 0; k < 20 && RTDB->SingleStepActive; ++k) RTDB->StepForward();
  EXPECT_FALSE(RTDB->SingleStepActive);
  EXPECT_FALSE(HeadlessRoutEditServices().AnimateChecked);
  EXPECT_EQ(ViewServices().Activity(), 0);
  EXPECT_EQ(HeadlessRoutEditServices().Prompts, (TPromptLines{"a", "b", "c"}));
  EXPECT_EQ(HeadlessButtonBar().StateOf(87), THeadlessButtonBar::bsDisabled);

  // An empty layer plays nothing and puts the prompt back at once.
  CurrentLayer = 42;
  RTDB->StartSingleStep();
  EXPECT_FALSE(RTDB->SingleStepActive);
  EXPECT_EQ(HeadlessRoutEditServices().Prompts, (TPromptLines{"a", "b", "c"}));
}

// The edit key hands the layer's tape to the editor and takes it back only
// when the editor says so and the tape was changed; the scratch file is
// removed either way.
TEST_F(TRoutEditTest, SingleStepEditRoundTrip) {
  struct TServices : THeadlessRoutEditServices {
    std::string SaveRoutLayerToScratch(uint8_t) override {
      WriteFileBytes(File, "M48\n");
      return File.string();
    }
    bool RunTextEditor(const std::string& name, int32_t line) override {
      Lines.push_back(line);
      Edited.push_back(name);
      if (Answer && Change) WriteFileBytes(File, "M48\nX1Y1\n");
      return Answer;
    }
    std::filesystem::path File;
    bool Answer = false, Change = false;
    std::vector<int32_t> Lines;
  } services;
  services.File = TempDir / "layer.tmp";
  SetRoutEditServices(&services);
  LocateEntityLine = 5;
  RTDB->SingleStepEdit();
  EXPECT_EQ(services.Lines, std::vector<int32_t>{5});
  EXPECT_TRUE(services.Reloaded.empty());
  EXPECT_FALSE(std::filesystem::exists(services.File));
  EXPECT_EQ(LocateEntityLine, 1);
  // OK on the tape unchanged takes nothing back.
  services.Answer = true;
  RTDB->SingleStepEdit();
  EXPECT_TRUE(services.Reloaded.empty());
  services.Change = true;
  RTDB->SingleStepEdit();
  EXPECT_EQ(services.Reloaded, std::vector<std::string>{services.File.string()});
  SetRoutEditServices(nullptr);
}

}  // namespace
