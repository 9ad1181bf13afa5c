#include "model/drawing_base.h"

#include <gtest/gtest.h>

#include "command/command_services.h"
#include "recording_surface.h"

namespace {

int CountOps(const TRecordingCanvas& c, const std::string& op) {
  int n = 0;
  for (const auto& call : c.Calls) n += call.Op == op;
  return n;
}

TEST(CadDrawingBaseTest, IfChangedCallsTouchTheCanvasOnlyOnChange) {
  TRecordingSurface s;
  s.Canvas->Pen.Color = clBlack;
  s.SetColorIfChanged(0x12345678);  // the "no colour yet" value is never taken as set
  EXPECT_EQ(s.Calls.size(), 0u);
  s.SetColorIfChanged(clRed);
  EXPECT_EQ(s.Calls, (std::vector<std::string>{"SetColor(255)"}));
  s.Canvas->Pen.Width = 4;
  s.SetColorIfChanged(clRed);
  EXPECT_EQ(s.Canvas->Pen.Width, 4);
  s.SetPenStyle(1);
  EXPECT_EQ(s.Canvas->Pen.Width, 1);
  EXPECT_EQ(s.Canvas->Pen.Style, psDash);
  EXPECT_EQ(s.Canvas->BackColor, 0x800000u);
  s.SetPenModeIfChanged(14);
  EXPECT_EQ(s.Canvas->Pen.Mode, pmXor);
  EXPECT_EQ(s.GetColor(), clRed);
  s.Reset();
  EXPECT_EQ(s.Color, clAqua);
  EXPECT_EQ(s.PenStyle, 0);
  EXPECT_EQ(s.PenMode, 4);
  EXPECT_EQ(s.Canvas->Font.Name, "System");
}

TEST(CadDrawingBaseTest, ArcsAreFlattenedIntoAtMostAHundredChords) {
  TRecordingSurface s(1.0);
  // Ends closer than 0.01 device units draw nothing.
  s.DrawArc(false, 100.0, 0.0, 100.004, 0.0, 0.0, 0.0);
  EXPECT_TRUE(s.Recorder.Calls.empty());
  EXPECT_FALSE(s.Dirty);
  // A zero-radius arc: one chord from its start.
  s.DrawArc(false, 5.0, 5.0, 9.0, 9.0, 9.0, 9.0);
  ASSERT_EQ(s.Recorder.Calls.size(), 2u);
  EXPECT_EQ(s.Recorder.Calls[0].ToString(), "MoveTo(9,-9)");
  EXPECT_EQ(s.Recorder.Calls[1].ToString(), "LineTo(9,-9)");
  // 270 degrees at a huge radius.
  s.Recorder.Calls.clear();
  s.DrawArc(false, 1e8, 0.0, 0.0, -1e8, 0.0, 0.0);
  EXPECT_EQ(CountOps(s.Recorder, "MoveTo"), 1);
  EXPECT_EQ(CountOps(s.Recorder, "LineTo"), 100);
  // The polyline runs from the end back to the start on a Y-down device.
  EXPECT_EQ(s.Recorder.Calls.front().ToString(), "MoveTo(0,100000000)");
  EXPECT_EQ(s.Recorder.Calls.back().ToString(), "LineTo(100000000,0)");
  EXPECT_TRUE(s.Dirty);

  int32_t n;
  double theta;
  ArcStepTransform(10, 0, 10, 0, 0, 0, ArcDisplayTolerance(), n, theta);
  EXPECT_EQ(n, 12);  // a full circle of radius 10 within 0.4: 32.5 degrees a chord
  EXPECT_NEAR(theta * n, 360.0, 1e-9);
}

TEST(CadDrawingBaseTest, CirclesToolColoursAndMarks) {
  TRecordingSurface s(1000.0);
  s.DrawCircle(0.0, 0.0, 1000.0);  // one device unit
  ASSERT_EQ(s.Recorder.Calls.size(), 2u);
  EXPECT_EQ(s.Recorder.Calls[0].ToString(), "MoveTo(-1,1)");
  EXPECT_EQ(s.Recorder.Calls[1].ToString(), "LineTo(-1,2)");
  s.Clear();
  s.DrawCircle(0.0, 0.0, 10000.0);
  EXPECT_EQ(CountOps(s.Recorder, "Arc"), 2);
  // A corner at the end of the device's range stays there (one beyond it
  // would overflow).
  TRecordingSurface far(1.0);
  far.DrawCircle(0.0, 100.0 - 2147483647.0, 100.0);
  ASSERT_EQ(CountOps(far.Recorder, "Arc"), 2);
  EXPECT_EQ(far.Recorder.Calls[0].ToString(), "Arc(-100,2147483647,101,2147483447,-100,2147483647,100,2147483447)");
  s.Clear();
  s.DrawCircleDia(0.0, 0.0, 2000.0);
  EXPECT_EQ(s.Calls, (std::vector<std::string>{"DrawCircle(0,0,1000)"}));

  EXPECT_EQ(s.ColorOfTool(1), clAqua);
  EXPECT_EQ(s.ColorOfTool(9), clAqua);
  EXPECT_EQ(s.ColorOfTool(8), clWhite);
  // Tool numbers below 1 wrap into the table like the others.
  EXPECT_EQ(s.ColorOfTool(0), clWhite);
  EXPECT_EQ(s.ColorOfTool(-5), clYellow);

  s.Clear();
  s.SetColor(clRed);
  s.DrawPixel(3000, -4000);
  EXPECT_EQ(s.Recorder.Calls.back().ToString(), "SetPixel(3,4,255)");
}

}  // namespace
