#include <gtest/gtest.h>

#include <algorithm>

#include "cleanup_test_support.h"
#include "command/command_services.h"
#include "edit/clean_dialog.h"
#include "edit/cleanup.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/entity_store.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"

namespace {

using V = std::vector<std::string>;

// ---- Tolerance texts -----------------------------------------------------------------

TEST_F(TCleanupTest, ToleranceTextsFollowTheDisplayUnits) {
  EXPECT_EQ(CleanTextToLength("0.002"), 50800);
  EXPECT_EQ(CleanLengthToText(2540), "0.0001");
  EXPECT_EQ(CleanLengthToText(254000), "0.0100");
  EXPECT_EQ(CleanTextToLength("junk"), 0);
  EXPECT_EQ(CleanTextToLength("1e30"), 2147483647);  // saturates, never wraps
  Metric = true;
  UnitsPerDisplayUnit = MetricUnitsPerDisplayUnit;
  EXPECT_EQ(CleanTextToLength("0.05"), 50000);
  EXPECT_EQ(CleanLengthToText(50800), "0.051");
  EXPECT_EQ(CleanLengthToText(2540), "0.003");
  EXPECT_EQ(CleanLengthToText(254000), "0.254");
}

// ---- Dialog ---------------------------------------------------------------------------

TEST_F(TCleanupTest, DialogShowsTheStoredDefaultsAndReadsEveryBoxBack) {
  SaveAutoCleanupDefaults(true, false, true, false, 2540, 76200, 101600);
  QueueModalScript("TCleanDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Clean Up Drawing");
    EXPECT_TRUE(f.Get<TCheckBox>("CheckBox1").Checked());
    EXPECT_FALSE(f.Get<TCheckBox>("CheckBox2").Checked());
    EXPECT_TRUE(f.Get<TCheckBox>("CheckBox3").Checked());
    EXPECT_FALSE(f.Get<TCheckBox>("CheckBox4").Checked());
    EXPECT_FALSE(f.Get<TCheckBox>("CheckBox5").Checked());
    EXPECT_EQ(f.Get<TEdit>("OverlapToleranceEdit").Text(), "0.0001");
    EXPECT_EQ(f.Get<TEdit>("ArcToleranceEdit").Text(), "0.0030");
    EXPECT_EQ(f.Get<TEdit>("CircleToleranceEdit").Text(), "0.0040");
    EXPECT_EQ(f.Get<TCheckBox>("CheckBox4").Caption(), "&Build Circles From Arcs");
    for (const char* box : {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4"}) {
      EXPECT_TRUE(f.Click(box));
    }
    auto& arc = f.Get<TEdit>("ArcToleranceEdit");
    arc.SetFocus();
    arc.SetText("0.005");
    EXPECT_TRUE(f.Click("CheckBox5"));
    EXPECT_TRUE(f.Click("OKButton"));
  });
  TCleanupSettings s;
  ASSERT_TRUE(RunCleanDialog(s));
  EXPECT_FALSE(s.KillDuplicates);
  EXPECT_TRUE(s.KillOverlaps);
  EXPECT_FALSE(s.BuildArcs);
  EXPECT_TRUE(s.BuildCircles);
  EXPECT_EQ(s.OverlapTolerance, 2540);
  EXPECT_EQ(s.ArcTolerance, 127000);
  EXPECT_EQ(s.CircleTolerance, 101600);
  EXPECT_EQ(View.ModalDepth, 1);  // only the status box's bracket is left open
  // Saved, in the family's order.
  TCleanupSettings loaded{true, true, true, true, 1, 1, 1};
  LoadAutoCleanupDefaults(loaded.KillDuplicates, loaded.KillOverlaps, loaded.BuildArcs,
                          loaded.BuildCircles, loaded.OverlapTolerance, loaded.ArcTolerance,
                          loaded.CircleTolerance);
  EXPECT_FALSE(loaded.KillDuplicates);
  EXPECT_TRUE(loaded.KillOverlaps);
  EXPECT_EQ(loaded.ArcTolerance, 127000);
}

TEST_F(TCleanupTest, DialogWithoutSaveDefaultsOrCancelledLeavesTheRegistry) {
  SaveAutoCleanupDefaults(true, true, true, true, 50800, 50800, 50800);
  QueueModalScript("TCleanDialog", [](TForm& f) {
    f.Click("CheckBox1");
    f.Click("OKButton");
  });
  QueueModalScript("TCleanDialog", [](TForm& f) {
    f.Click("CheckBox2");
    f.Click("CancelButton");
  });
  TCleanupSettings s;
  ASSERT_TRUE(RunCleanDialog(s));
  EXPECT_FALSE(s.KillDuplicates);
  TCleanupSettings t;
  EXPECT_FALSE(RunCleanDialog(t));
  EXPECT_TRUE(t.KillDuplicates);  // as loaded
  EXPECT_TRUE(t.KillOverlaps);
}

TEST_F(TCleanupTest, IllegalToleranceIsRefusedAndTheOldTextComesBack) {
  QueueModalScript("TCleanDialog", [](TForm& f) {
    auto& overlap = f.Get<TEdit>("OverlapToleranceEdit");
    overlap.SetFocus();
    overlap.SetText("0.00009");
    f.Get<TEdit>("ArcToleranceEdit").SetFocus();  // leaving it checks it
    EXPECT_EQ(overlap.Text(), "0.0020");
    auto& arc = f.Get<TEdit>("ArcToleranceEdit");
    arc.SetText("0.0001");  // legal: 2,540
    auto& circle = f.Get<TEdit>("CircleToleranceEdit");
    circle.SetFocus();
    circle.SetText("abc");
    // Enter takes the default button while the focus stays in the edit: OK
    // is refused, the old text is back and the dialog stays open.
    f.SetModalResult(mrOk);
    EXPECT_EQ(f.ModalResult(), mrNone);
    EXPECT_EQ(circle.Text(), "0.0020");
    f.Click("OKButton");
  });
  TCleanupSettings s;
  ASSERT_TRUE(RunCleanDialog(s));
  EXPECT_EQ(s.OverlapTolerance, 50800);
  EXPECT_EQ(s.ArcTolerance, 2540);
  EXPECT_EQ(s.CircleTolerance, 50800);
  const auto& boxes = ShownMessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].Type, mtError);
  EXPECT_EQ(boxes[0].Text, "Overlap Tolerance is illegal! Must be from \r\n0.0001 to 0.0100");
  EXPECT_EQ(boxes[1].Text, "Circle Tolerance is illegal! Must be from \r\n0.0001 to 0.0100");
}

// ---- The whole command --------------------------------------------------------------

// A drawing for every pass: duplicates, a circle of chords, a quarter circle
// of chords, four quarter arcs, and overlapping lines.
void BuildMixedDrawing() {
  DB->AddLine(0, 0, 1000000, 0);
  DB->AddLine(1000000, 0, 0, 0);
  DB->AddLine(1000000, 0, 2000000, 0);
  TCleanupTest::AddChords(12700000, 0, 10, 36, 50000000, 0);
  TCleanupTest::AddChords(12700000, 0, 7.5, 12, 0, 50000000);
  const int32_t r = 3000000, c = -40000000;
  DB->AddArc({c + r, 0}, {c, r}, {c, 0});
  DB->AddArc({c, r}, {c - r, 0}, {c, 0});
  DB->AddArc({c - r, 0}, {c, -r}, {c, 0});
  DB->AddArc({c, -r}, {c + r, 0}, {c, 0});
  DB->AddLineOnLayer(0, 0, 1000000, 0, 4);
  CadUndo->BeginOperation("Draw");
}

TEST_F(TCleanupTest, AutomaticCleanupRunsEveryPassAndUndoesAsOneStep) {
  View.CloseStatus();
  BuildMixedDrawing();
  const V before = Drawing();
  RegisterModalScript("TCleanDialog", [](TForm& f) { f.Click("OKButton"); });
  ASSERT_TRUE(RunAutomaticCleanup());
  EXPECT_EQ(Drawing(), (V{Arc(12700000, 50000000, 0, 62700000, 0, 50000000),
                          Circle(-40000000, 0, 3000000), Circle(50000000, 0, 12700000),
                          Line(0, 0, 1000000, 0) + " @4", Line(0, 0, 2000000, 0)}));
  EXPECT_FALSE(View.StatusOpen);
  EXPECT_EQ(View.ModalDepth, 0);
  ASSERT_EQ(View.Reports.size(), 1u);
  EXPECT_EQ(View.Reports[0].Caption, "Drawing Statistics");
  EXPECT_EQ(View.Reports[0].Lines[0], "Statistics after cleanup:");
  std::string name;
  ASSERT_TRUE(CadUndo->CanUndo(name));
  EXPECT_EQ(name, "Auto Cleanup");
  EXPECT_EQ(HeadlessButtonBar().StateOf(79), THeadlessButtonBar::bsReleased);
  EXPECT_EQ(HeadlessButtonBar().StateOf(124), THeadlessButtonBar::bsDisabled);
  EXPECT_GE(View.RedrawCount, 1);

  CadUndo->Undo();
  EXPECT_EQ(Drawing(), before);
  CadUndo->Redo();
  EXPECT_EQ(Drawing().size(), 5u);
}

TEST_F(TCleanupTest, CancelledDialogChangesNothing) {
  View.CloseStatus();
  BuildMixedDrawing();
  const V before = Drawing();
  QueueModalScript("TCleanDialog", [](TForm& f) { f.Click("CancelButton"); });
  EXPECT_FALSE(RunAutomaticCleanup());
  EXPECT_EQ(Drawing(), before);
  EXPECT_TRUE(View.Reports.empty());
  std::string name;
  ASSERT_TRUE(CadUndo->CanUndo(name));
  EXPECT_EQ(name, "Draw");
}

TEST_F(TCleanupTest, CancelStopsBetweenEntitiesAndWhatWasDoneUndoes) {
  View.CloseStatus();
  // Sixty pairs of duplicates, each in a bucket of its own.
  for (int32_t k = 0; k < 60; ++k) {
    DB->AddLine(k * 1000000, 0, k * 1000000, 3000000 + k);
    DB->AddLine(k * 1000000, 3000000 + k, k * 1000000, 0);
  }
  CadUndo->BeginOperation("Draw");
  const V before = Drawing();
  // A line (x, 0)-(x, y) hashes to the fold of y alone. The duplicate pass
  // reports twice, then once per bucket before working on it: cancel at the
  // bucket of the 31st pair.
  std::vector<int32_t> keys;
  for (int32_t k = 0; k < 60; ++k) {
    uint32_t y = 3000000 + k;
    keys.push_back(int32_t((y >> 16) ^ (y & 0xFFFF)));
  }
  std::sort(keys.begin(), keys.end());
  View.CancelAtUpdate = 3 + keys[30];
  QueueModalScript("TCleanDialog", [](TForm& f) { f.Click("OKButton"); });
  ASSERT_TRUE(RunAutomaticCleanup());
  const V after = Drawing();
  EXPECT_LT(after.size(), before.size());
  EXPECT_GT(after.size(), 60u);  // stopped before all duplicates were gone
  EXPECT_LE(after.size(), 90u);
  ASSERT_EQ(View.Reports.size(), 1u);
  EXPECT_EQ(View.Reports[0].Lines[0], "Statistics after partial cleanup:");
  // The later passes saw the cancel at once.
  for (const std::string& text : View.Texts) {
    EXPECT_EQ(text.find("Removing"), std::string::npos) << text;
  }
  std::string name;
  ASSERT_TRUE(CadUndo->CanUndo(name));
  EXPECT_EQ(name, "Auto Cleanup");
  CadUndo->Undo();
  EXPECT_EQ(Drawing(), before);
}

}  // namespace
