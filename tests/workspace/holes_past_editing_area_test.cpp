// Holes a drill tape puts past the editing area (+/- 42.27"), read as the
// main part: they stay where the file put them, the box says so, the tape
// drills them there, and a window edit may bring them in or move them along
// the edge, never farther out.
#include <gtest/gtest.h>

#include <algorithm>

#include "tapeout/drill_tape_writer.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

// The live holes of the job, in order of X, then Y.
std::vector<TIntPoint> Holes() {
  std::vector<TIntPoint> out;
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (static_cast<int32_t>(DRDB->WordAt(i)) > 0) out.push_back({DRDB->EntityAt(i)->X, DRDB->EntityAt(i)->Y});
  std::sort(out.begin(), out.end(), [](TIntPoint a, TIntPoint b) { return a.X != b.X ? a.X < b.X : a.Y < b.Y; });
  return out;
}

TEST_F(TWorkspaceDialogsTest, HolesPastTheEditingAreaStayWhereTheFilePutThemAndMoveNoFartherOut) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ImportExcellonTape(form, Input("FAR.DRL", "M48\nINCH,LZ\n;FILE_FORMAT=2:4\nT1C0.020\n%\nT1\nX010000Y010000\nX500000Y000000\nX500000Y010000\nM30\n"));
  EXPECT_EQ(LastBox(), "2 of the 3 imported entities lie past the editing area of +/- 42.27 in: they stay where the "
                       "file put them and are drilled there.");
  ASSERT_EQ(Holes(), (std::vector<TIntPoint>{{In, In}, {50 * In, 0}, {50 * In, In}}));
  std::vector<std::string> lines, errors;
  ASSERT_TRUE(BuildDrillTapeLines(CollectDrillTape(TMakeTapeDefaults{}, DrillTapeLayerMask(), DrillOutputFormat),
                                  DrillOutputFormat, TMakeTapeDefaults{}, false, false, lines, errors));
  std::string tape;
  for (const std::string& line : lines) tape += line + "\n";
  for (const char* hit : {"\nX5Y0\n", "\nX5Y01\n"}) EXPECT_NE(tape.find(hit), std::string::npos) << hit << tape;

  // Window Move of the two far holes by the offset given.
  auto move = [&](int32_t dx, int32_t dy) {
    ResetHeadlessDialogs();
    Run(form, emDrill, "Move1");
    Click(30 * In, -3 * In);
    Click(60 * In, 3 * In);
    Click(0, 0);
    Click(dx, dy);
    form.KeyDown(VK_ESCAPE);
  };
  const std::string refused = "Some entities would leave the drawing area: they were left where they were.";
  move(-5 * In, 0);  // toward the origin, still past the area
  EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
  EXPECT_EQ(Holes(), (std::vector<TIntPoint>{{In, In}, {45 * In, 0}, {45 * In, In}}));
  move(0, -In);  // along its edge
  EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
  EXPECT_EQ(Holes(), (std::vector<TIntPoint>{{In, In}, {45 * In, -In}, {45 * In, 0}}));
  move(In, 0);  // farther out
  EXPECT_EQ(LastBox(), refused);
  EXPECT_EQ(Holes(), (std::vector<TIntPoint>{{In, In}, {45 * In, -In}, {45 * In, 0}}));
  move(-5 * In, 0);  // into the area, and out of it no more
  EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
  EXPECT_EQ(Holes(), (std::vector<TIntPoint>{{In, In}, {40 * In, -In}, {40 * In, 0}}));
  move(5 * In, 0);
  EXPECT_EQ(LastBox(), refused);
  EXPECT_EQ(Holes(), (std::vector<TIntPoint>{{In, In}, {40 * In, -In}, {40 * In, 0}}));
}

}  // namespace
