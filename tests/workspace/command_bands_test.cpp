// The rubber bands of the drawing commands in the started program: the
// pointer moved over the drawing shows the arc, the rays of a measured
// angle, the cutting direction of a rout line or the placing cross, drawn
// on the view's canvas (recorded on its way there).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "command/rubber_brain.h"
#include "platform/keys.h"
#include "model/rout_database.h"
#include "platform/headless/recording_canvas.h"
#include "workspace/view_mapping.h"
#include "workspace_test_support.h"

namespace {

class TCommandBandsTest : public TWorkspaceTest {
 protected:
  void TearDown() override {
    if (RubberPaint != nullptr) RubberPaint->SetCanvas(nullptr);
    TWorkspaceTest::TearDown();
  }
  // The view's canvas calls from here on are kept in Recorder.
  void Record(TWorkspace& form) {
    Recorder = std::make_unique<TRecordingCanvas>(&form.PaintBox.Canvas());
    RubberPaint->SetCanvas(Recorder.get());
  }
  std::vector<TCanvasCall> Calls(const std::string& op) const {
    std::vector<TCanvasCall> r;
    for (const TCanvasCall& c : Recorder->Calls)
      if (c.Op == op) r.push_back(c);
    return r;
  }
  static void Move(TWorkspace& form, int x, int y) { form.PaintBox.MouseMove(0, x, y); }
  std::unique_ptr<TRecordingCanvas> Recorder;
};

// The arc's box: centre and radius in pixels.
void ExpectArcAbout(const TCanvasCall& arc, int cx, int cy, int r) {
  ASSERT_GE(arc.Args.size(), 8u);
  EXPECT_NEAR((arc.Args[0] + arc.Args[2]) / 2.0, cx, 1.0);
  EXPECT_NEAR((arc.Args[1] + arc.Args[3]) / 2.0, cy, 1.0);
  EXPECT_NEAR((arc.Args[2] - arc.Args[0]) / 2.0, r, 1.5);
}

TEST_F(TCommandBandsTest, ArcsShowTheArcWhileTheirLastPointIsPlaced) {
  TWorkspace& form = StartProgram();
  // Three points: start, a point on the arc, end; the pointer is the end.
  Run(form, emCad, "N3PointArc1");
  Click(form, 100, 200);
  Click(form, 200, 100);
  Record(form);
  Move(form, 300, 200);
  ASSERT_EQ(Calls("Arc").size(), 1u);
  ExpectArcAbout(Calls("Arc")[0], 200, 200, 100);
  // Moved on, the old arc goes (drawn again) and the new one comes.
  Recorder->Calls.clear();
  Move(form, 200, 300);
  ASSERT_EQ(Calls("Arc").size(), 2u);
  ExpectArcAbout(Calls("Arc")[1], 200, 200, 100);
  form.KeyDown(VK_ESCAPE);

  // Two points and the centre: the pointer is the centre; the radius line
  // runs to the end point given.
  Run(form, emCad, "Point2");
  Click(form, 100, 100);
  Click(form, 300, 100);
  Record(form);
  Move(form, 200, 150);
  ASSERT_EQ(Calls("Arc").size(), 1u);
  ExpectArcAbout(Calls("Arc")[0], 200, 150, 112);
  bool radiusLine = false;
  for (const TCanvasCall& c : Recorder->Calls)
    radiusLine = radiusLine || (c.Op == "LineTo" && c.Args == std::vector<int>{300, 100});
  EXPECT_TRUE(radiusLine);
  // Before the second point the band is the line from the start.
  form.KeyDown(VK_ESCAPE);
  Run(form, emCad, "Point2");
  Click(form, 100, 100);
  Recorder->Calls.clear();
  Move(form, 180, 120);
  EXPECT_TRUE(Calls("Arc").empty());
  EXPECT_FALSE(Calls("LineTo").empty());
}

// A rout line shows where it cuts: an arrow at the pointer that leans to
// the side of the compensation, none in CAD.
TEST_F(TCommandBandsTest, ARoutLineShowsTheArrowOfItsCompensationSide) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  auto arrowTail = [&](const char* side) {
    TMenuItem* item = form.MenuItem(emRout, side);
    item->OnClick(*item);
    Run(form, emRout, "Line1");
    Click(form, 100, 200);
    Record(form);
    Move(form, 300, 200);
    form.KeyDown(VK_ESCAPE);
    // The arrow's shaft starts at the pointer, moved across the path.
    for (const TCanvasCall& c : Calls("MoveTo"))
      if (c.Args[0] == 300 && std::abs(c.Args[1] - 200) <= 10) return c.Args[1] - 200;
    return 99;
  };
  EXPECT_EQ(arrowTail("Left1"), -10);  // left of a path to the right: up the screen
  EXPECT_EQ(arrowTail("Right1"), 10);
  EXPECT_EQ(arrowTail("None1"), 0);
  // The CAD line has no arrow: only its own line.
  SelectLayer(0);
  Run(form, emCad, "Line1");
  Click(form, 100, 200);
  Record(form);
  Move(form, 300, 200);
  EXPECT_EQ(Calls("LineTo").size(), 1u);
}

TEST_F(TCommandBandsTest, MeasureShowsTheAngleItMeasuresAndPointsTheirCross) {
  TWorkspace& form = StartProgram();
  Run(form, emCad, "Measure1");
  Click(form, 200, 200);
  Click(form, 300, 200);
  Record(form);
  Click(form, 200, 100);
  // The corner at the first point: both rays and the arc of 32 pixels.
  ASSERT_EQ(Calls("Arc").size(), 1u);
  ExpectArcAbout(Calls("Arc")[0], 200, 200, 32);
  // The line of the two points before goes, the two rays come.
  EXPECT_EQ(Calls("LineTo").size(), 3u);
  form.KeyDown(VK_ESCAPE);

  // A point or a hole is placed under a cross that follows the pointer.
  Run(form, emCad, "Point1");
  Record(form);
  Move(form, 150, 120);
  std::vector<std::string> drawn;
  for (const TCanvasCall& c : Recorder->Calls) drawn.push_back(c.ToString());
  EXPECT_EQ(drawn, (std::vector<std::string>{"MoveTo(142,120)", "LineTo(159,120)", "MoveTo(150,112)",
                                             "LineTo(150,129)"}));
}

}  // namespace
