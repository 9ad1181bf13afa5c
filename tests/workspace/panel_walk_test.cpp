// An operator's panel day through the started program: a profile routed
// outside, tabbed and stepped 2 x 2 cuts what the screen shows through the
// rout tape, the job file and Text Edit Rout, in the other output forms too,
// and the panel's drill holes come back from their tape.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "command/button_manager.h"
#include "editor/editor_window.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "model/rout_sequence.h"
#include "model/rout_shadow.h"
#include "model/step_repeat.h"
#include "routpath/auto_rout.h"
#include "tapeout/make_drill_tape.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

class TPanelWalkTest : public TWorkspaceDialogsTest {
 protected:
  // The cuts and holes drawn for a layer, its step copies' included.
  static std::vector<std::array<int32_t, 7>> Cuts(uint8_t layer) {
    std::vector<std::array<int32_t, 7>> cuts;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p)
      if (TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(layer, p));
          e != nullptr && !SlotDeleted(RTDB->SlotAt(Seq->HandleAt(layer, p))->Flags))
        for (const TRoutShadow* s = e->Shadow; s != nullptr; s = s->Next)
          if ((s->Kind == rsLine && !s->HeadUp) || s->Kind == rsArc)
            cuts.push_back({s->Kind, s->A.X, s->A.Y, s->B.X, s->B.Y, s->C.X, s->C.Y});
          else if (s->Kind == rsHole)
            cuts.push_back({s->Kind, s->A.X, s->A.Y, 0, 0, 0, 0});
    std::sort(cuts.begin(), cuts.end());
    return cuts;
  }
  // What one list of cuts holds that the other lacks, in inches.
  static std::string Unlike(const std::vector<std::array<int32_t, 7>>& a, const std::vector<std::array<int32_t, 7>>& b) {
    std::vector<std::array<int32_t, 7>> only;
    std::set_symmetric_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(only));
    std::string text = std::to_string(a.size()) + " vs " + std::to_string(b.size()) + ":";
    for (const auto& c : only) {
      text += (std::binary_search(a.begin(), a.end(), c) ? "\n- " : "\n+ ") + std::to_string(c[0]);
      for (int k = 1; k < 7; ++k) text += " " + std::to_string(c[k] / 254000 / 100.0).substr(0, 5);
    }
    return only.empty() ? "" : text;
  }
  // The menu item, then clicks at world points; the command ended.
  static void Do(TWorkspace& form, uint8_t mode, const std::string& item, std::vector<TIntPoint> at) {
    Run(form, mode, item);
    for (const TIntPoint& p : at) Click(p.X, p.Y);
    ECO->CancelCommand();
  }
  // Make Rout Tape of the layer in the output form, Open Rout Tape of it into
  // another, read in the same form.
  static void TapeInto(TWorkspace& form, uint8_t from, uint8_t into, const std::string& tape, bool absolute,
                       int axis) {
    SelectLayer(from);
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TRoutOutputFormatDialog", [=](TForm& f) {
      f.Get<TRadioGroup>("AbsoluteGroup").SetItemIndex(absolute ? 0 : 1);
      f.Get<TRadioGroup>("AxisGroup").SetItemIndex(axis - 1);
      f.Click("OKButton");
    });
    Run(form, emRout, "MakeRoutTape1");
    SelectLayer(into);
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TRoutInputFormatDialog", [=](TForm& f) {
      f.Get<TRadioGroup>("AbsoluteGroup").SetItemIndex(absolute ? 0 : 1);
      f.Get<TRadioGroup>("AxisGroup").SetItemIndex(axis - 1);
      f.Click("OKButton");
    });
    Run(form, emRout, "OpenRoutTape1");
  }
  // The drill hits of a layer, each copy of a pattern's.
  static std::vector<std::pair<int32_t, int32_t>> Hits(uint8_t layer) {
    std::vector<std::pair<int32_t, int32_t>> hits;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      const uint32_t word = DRDB->WordAt(i);
      TDrillEntity* e = static_cast<int32_t>(word) > 0 && (word >> (layer - 30) & 1) ? DRDB->EntityAt(i) : nullptr;
      if (e == nullptr) continue;
      hits.push_back({e->X, e->Y});
      if (TStepObject* steps = e->GetStepObj())
        for (const TStepCommand& c : steps->Offsets()) hits.push_back({e->X + c.DX, e->Y + c.DY});
    }
    std::sort(hits.begin(), hits.end());
    return hits;
  }
};

TEST_F(TPanelWalkTest, AStepAndRepeatPanelCutsAndDrillsWhatTheScreenShowsThroughTapesAndJobs) {
  TWorkspace& form = StartProgram();
  for (uint8_t layer = 40; layer <= 44; ++layer) {
    RoutToolPages[layer][1].Diameter = RoutToolPages[layer][1].CompDiameter = In / 8;
    RoutToolPages[layer][7].Diameter = RoutToolPages[layer][7].CompDiameter = In / 20;
  }
  // A 2 x 1 in board with quarter-inch arcs at its corners.
  const int32_t r = In / 4;
  DB->AddLineOnLayer(r, 0, 2 * In - r, 0, 0);
  DB->AddArcOnLayer({2 * In - r, 0}, {2 * In, r}, {2 * In - r, r}, 0);
  DB->AddLineOnLayer(2 * In, r, 2 * In, In - r, 0);
  DB->AddArcOnLayer({2 * In, In - r}, {2 * In - r, In}, {2 * In - r, In - r}, 0);
  DB->AddLineOnLayer(2 * In - r, In, r, In, 0);
  DB->AddArcOnLayer({r, In}, {0, In - r}, {r, In - r}, 0);
  DB->AddLineOnLayer(0, In - r, 0, r, 0);
  DB->AddArcOnLayer({0, r}, {r, 0}, {r, r}, 0);
  SelectLayer(40);
  RTDB->AutoTab = TAutoTabSettings{In / 5, 0, 0, In / 10, true, true, 3, false, 7, In / 10};
  RTDB->AutoStepRepeat = {2, 3 * In, 2, 2 * In, true, false, true};
  ASSERT_TRUE(ButtonManager().Press(AutoRoutOutsideCommand));
  Click(In, 0);
  ECO->CancelCommand();
  Do(form, emRout, "Tab1", {{In, In}, {In, In}});
  QueueModalScript("TStepRepeatDialog", [](TForm& f) { f.Click("OKButton"); });
  Do(form, emRout, "AutoStepRepeat1", {{2 * In, In / 2}});
  const auto screen = Cuts(40);
  ASSERT_GT(screen.size(), 4u * 11) << LastBox();

  // (1) The tape read into another layer; (2) the job saved and opened.
  const std::string tape = (TempDir / "PANEL.RT").string();
  TapeInto(form, 40, 41, tape, true, 1);
  EXPECT_EQ(Unlike(Cuts(41), screen), "");
  const std::string job = (TempDir / "PANEL.ZUL").string();
  ScriptFileDialogAnswer(job);
  Run(form, emRout, "SaveAs1");
  ASSERT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
  Run(form, emRout, "New1");
  ScriptFileDialogAnswer(job);
  Run(form, emRout, "Open1");
  EXPECT_EQ(Unlike(Cuts(40), screen), "");
  EXPECT_EQ(Unlike(Cuts(41), screen), "");

  // (3) Text Edit Rout with a comment keeps the copies; the box before the
  // editor said the nested panel is written copy by copy.
  SelectLayer(40);
  QueueModalScript("TQuillexForm", [](TForm& f) {
    static_cast<TQuillexForm&>(f).Editor->InsertString(";EDITED\r\n");
    f.Get<TButton>("OKButton").Click();
  });
  Run(form, emRout, "TextEditRout1");
  EXPECT_EQ(Unlike(Cuts(40), screen), "");
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(LastBox().find("\r\nthe path at X 0.5 Y -0.1: 3 copies\r\n"), std::string::npos) << LastBox();

  // (4) The tape of a nested list holds expanded copies: the first board,
  // led in and out and split by its tab, is stepped again on its own (no box
  // about the board cut next), with a mirrored and a turned copy, written
  // absolute, incremental and for axis version 2.
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "M02X040000Y000000M80", "M02X000000Y030000M70", "M02", "M08"});
    f.Click("OKButton");
  });
  Do(form, emRout, "CreateStepRepeat1", {{2 * In, In / 2}});
  const auto turned = Cuts(40);
  ASSERT_GT(turned.size(), 3u * 11) << LastBox();
  uint8_t into = 42;
  for (const auto& [absolute, axis] : std::vector<std::pair<bool, int>>{{true, 1}, {false, 1}, {true, 2}}) {
    SCOPED_TRACE(std::to_string(absolute) + " " + std::to_string(axis));
    const std::string copy = (TempDir / ("PANEL" + std::to_string(into) + ".RT")).string();
    TapeInto(form, 40, into, copy, absolute, axis);
    EXPECT_EQ(Unlike(Cuts(into++), turned), "") << ReadFileBytes(copy);
  }
  EXPECT_EQ(ShownMessageBoxes().size(), 1u) << LastBox();

  // (5) Holes stepped by the panel's pattern: the drill tape drills them all.
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  for (const TIntPoint p : {TIntPoint{In / 2, In / 2}, TIntPoint{3 * In / 2, In / 2}})
    ASSERT_NE(DRDB->AddHoleOnLayer(p.X, p.Y, 30, 1, true), 0);
  QueueModalScript("TStepRepeatDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emDrill, "AutoStepRepeat2");
  Click(-In / 4, -In / 4);
  Click(2 * In, In);
  form.KeyDown(VK_ESCAPE);
  const auto hits = Hits(30);
  ASSERT_EQ(hits.size(), 8u) << LastBox();
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.MarkFirstCheckBox.SetChecked(false);
    d.MarkLastCheckBox.SetChecked(false);
    d.FirstLastCheckBox.SetChecked(false);
    d.OKButton.Click();
  });
  const std::string drill = (TempDir / "PANEL.DRL").string();
  ScriptFileDialogAnswer(drill);
  Run(form, emDrill, "MakeDrillTape1");
  SelectLayer(31);
  ImportExcellonTape(form, drill);
  Click(0, 0);  // the import placed at the job's origin
  EXPECT_EQ(Hits(31), hits) << ReadFileBytes(drill);
}

}  // namespace
