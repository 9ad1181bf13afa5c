// Make Drill Tape of a stepped panel: what the tooling-hit marking, the
// coupon and the hint say, each tape read back through Drill Import.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "model/step_repeat.h"
#include "platform/registry.h"
#include "tapeout/drill_tape_writer.h"
#include "tapeout/make_drill_tape.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

class TMakeDrillTapePanelTest : public TWorkspaceDialogsTest {
 protected:
  // Two holes of tool 1 stepped along X: six hits.
  static void Panel() {
    SelectLayer(30);
    ToolTable[1].Diameter = In / 40;
    auto* steps = new TStepObject({{1, 1, 0, 0, 0}, {0, 3, 2 * In, 0, 0}});
    for (int32_t x : {1, 2}) DRDB->EntityAt(DRDB->AddHoleOnLayer(x * In, In, 30, 1, true))->SetStepObj(steps);
  }
  // Every hit the job drills, copies included, in order of X.
  static std::vector<TIntPoint> Hits() {
    TMakeTapeDefaults expanded;
    expanded.ExpandSteps = true;
    std::vector<TIntPoint> out;
    for (const TDrillTapeTool& t : CollectDrillTape(expanded, DrillTapeLayerMask(), DrillOutputFormat).Tools)
      for (const TDrillTapeItem& item : t.Items) out.insert(out.end(), item.Points.begin(), item.Points.end());
    std::sort(out.begin(), out.end(), [](TIntPoint a, TIntPoint b) { return a.X < b.X; });
    return out;
  }
  // Make Drill Tape as a pattern tape, the dialog's boxes set by the caller.
  std::string MakeTape(TWorkspace& form, const std::string& name, std::function<void(TMakeDrillTapeDialog&)> set) {
    QueueModalScript("TMakeDrillTapeDialog", [set](TForm& f) {
      auto& d = static_cast<TMakeDrillTapeDialog&>(f);
      d.ExpandStepsCheckBox.SetChecked(false);
      d.ToolTableCheckBox.SetChecked(false);
      set(d);
      d.OKButton.Click();
    });
    const std::string tape = (TempDir / name).string();
    ScriptFileDialogAnswer(tape);
    Run(form, emDrill, "MakeDrillTape1");
    return tape;
  }
  std::vector<TIntPoint> ReadBack(TWorkspace& form, const std::string& tape) {
    DRDB->Clear();
    ImportExcellonTape(form, tape);
    return Hits();
  }
};

TEST_F(TMakeDrillTapePanelTest, AStepPanelsTapeSaysItIsUnmarkedAndCountsEveryHitItDrills) {
  TWorkspace& form = StartProgram();
  Panel();
  std::vector<TIntPoint> hits;
  for (int32_t x = 1; x <= 6; ++x) hits.push_back({x * In, In});
  ASSERT_EQ(Hits(), hits);
  const std::string tape = MakeTape(form, "PANEL.DRL", [](TMakeDrillTapeDialog& d) {
    d.FirstLastCheckBox.SetChecked(false);
    d.MarkFirstCheckBox.SetChecked(true);
    d.MarkLastCheckBox.SetChecked(true);
  });
  EXPECT_EQ(LastBox(), "Every hole on the displayed drill layers has a step pattern, and tooling hits are marked "
                       "among the holes without one: the drill tape is written without marked tooling hits.");
  EXPECT_EQ(form.HintPanel.Caption(), "Drill tape written: 6 hits, 1 tool, " + tape);
  EXPECT_EQ(ReadBack(form, tape), hits);

  // A stepped slot goes out as one line a copy: the hint counts the hits
  // drilled for it, as the tool table does.
  ToolTable[2].Diameter = In / 16;
  auto* steps = new TStepObject({{1, 1, 0, 0, 0}, {0, 3, 2 * In, 0, 0}});
  DRDB->EntityAt(DRDB->AddSlotOnLayer(In, 2 * In, 2 * In, 2 * In, 30, 2, true))->SetStepObj(steps);
  TToolHits holes, others;
  DRDB->HitsPerTool(holes, others);
  const std::string slots = MakeTape(form, "SLOTS.DRL", [](TMakeDrillTapeDialog& d) {
    d.FirstLastCheckBox.SetChecked(false);
    d.MarkFirstCheckBox.SetChecked(false);
    d.MarkLastCheckBox.SetChecked(false);
  });
  ASSERT_GT(others[2], 3);
  EXPECT_EQ(form.HintPanel.Caption(), "Drill tape written: " + std::to_string(6 + others[2]) + " hits, 2 tools, " + slots);
}

TEST_F(TMakeDrillTapePanelTest, OutputFirstLastHitSaysWhenTheTapeGetsNoCouponHit) {
  TWorkspace& form = StartProgram();
  Panel();
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity == acMakeTapePick) Type(form, "9,1");
  });
  const auto coupon = [](TMakeDrillTapeDialog& d) {
    d.FirstLastCheckBox.SetChecked(true);
    d.MarkFirstCheckBox.SetChecked(false);
    d.MarkLastCheckBox.SetChecked(false);
  };
  const std::string without = ": the drill tape is written without coupon hits.";
  ToolTable[2].FirstLastHit = 1;  // not on the tape
  MakeTape(form, "NOTOOL.DRL", coupon);
  EXPECT_EQ(LastBox(), "No tool of the tape is marked for the first/last hit coupon (the First/Last column of "
                       "Tools > Edit Tool Table)" + without);
  ToolTable[1].FirstLastHit = 1;
  MakeTape(form, "NONE.DRL", coupon);
  const std::string section = "[\\Software\\Orbenwright\\KORVEX\\6.0\\First Last Hit Coupon Defaults]";
  EXPECT_EQ(LastBox(), "The first/last hit coupon settings ask for neither a first nor a last hit" + without +
                           " No dialog sets them: with the program closed, set \"First Hit\" or \"Last Hit\" to "
                           "dword:00000001 under " + section + " in the settings file " + RegistryFilePath() + ".");
  // The settings file edited there as the box says: a first hit asked for
  // when the program starts, the corner's hit reads back with the others.
  std::string text = RegistryToText(TRegistryStore::Instance().Root());
  const std::string off = "\"First Hit\"=dword:00000000";
  const std::size_t at = text.find(off, text.find(section));
  ASSERT_NE(at, std::string::npos) << text;
  text.replace(at, off.size(), "\"First Hit\"=dword:00000001");
  ASSERT_TRUE(RegistryFromText(text, TRegistryStore::Instance().Root()));
  LoadFirstLastHitDefaults(DRDB->FirstLastHitDefaults);
  ASSERT_TRUE(DRDB->FirstLastHitDefaults.FirstHit);
  std::vector<TIntPoint> hits = Hits();
  hits.push_back({9 * In, In});
  EXPECT_EQ(ReadBack(form, MakeTape(form, "COUPON.DRL", coupon)), hits);
}

}  // namespace
