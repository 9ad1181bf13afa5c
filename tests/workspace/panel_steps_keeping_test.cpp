// A stepped panel's job through the started program: the editors and Open
// Rout Tape make no copy past the coordinate range in any direction, a step
// command takes only the tabbed pieces that share a pattern, and a rout tool
// the job emptied stays empty through Save, New and Open.
#include <gtest/gtest.h>

#include "model/drill_database.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/step_repeat.h"
#include "model/tool_tables.h"
#include "model/undo_journal.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

const std::string kCannotExpand =
    "The step pattern would make more than 65,535 copies or move outside the coordinate range.\r\n"
    "The step pattern was not made.";

class TPanelStepsKeepingTest : public TWorkspaceDialogsTest {
 protected:
  // The menu item of the mode, then clicks at world points; the command ended.
  static void Do(TWorkspace& form, uint8_t mode, const std::string& item, std::vector<TIntPoint> at) {
    Run(form, mode, item);
    for (const TIntPoint& p : at) Click(p.X, p.Y);
    ECO->CancelCommand();
  }
  // The Edit Steps dialog answers OK on one level of the lines given.
  static void ScriptSteps(std::vector<std::string> lines) {
    QueueModalScript("TEditStepDialog", [lines](TForm& f) {
      f.Get<TMemo>("Step1Memo").SetLines(lines);
      f.Click("OKButton");
    });
  }
  // The copies' offsets of each live start (jog, circle, hole) of a rout
  // layer in cut order, in tenths of an inch ("" without a pattern).
  static std::vector<std::string> Copies(uint8_t layer) {
    std::vector<std::string> out;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      if (e == nullptr || SlotDeleted(RTDB->SlotAt(h)->Flags) || !IsPathStartType(e->GetType())) continue;
      std::string& copies = out.emplace_back();
      if (TStepObject* steps = e->GetStepObj())
        for (const TStepCommand& c : steps->Offsets())
          copies += "+" + std::to_string(c.DX / (In / 10)) + "," + std::to_string(c.DY / (In / 10));
    }
    return out;
  }
  // The handles of a rout layer's live starts, in cut order.
  static std::vector<int32_t> Starts(uint8_t layer) {
    std::vector<int32_t> out;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      if (e != nullptr && !SlotDeleted(RTDB->SlotAt(h)->Flags) && IsPathStartType(e->GetType())) out.push_back(h);
    }
    return out;
  }
  // File > Save As, File > New and File > Open of the job, without a box.
  void SaveNewAndOpen(TWorkspace& form, const std::string& name) {
    const std::string job = (TempDir / name).string();
    ScriptFileDialogAnswer(job);
    Run(form, emRout, "SaveAs1");
    ASSERT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
    Run(form, emRout, "New1");
    ScriptFileDialogAnswer(job);
    Run(form, emRout, "Open1");
    EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
    EXPECT_EQ(DatabaseFileName, job);
  }
  // Open Rout Tape of the text into the layer, as the input format dialog
  // offers it; the box it showed ("" when none).
  std::string OpenRoutTape(TWorkspace& form, uint8_t layer, const std::string& name, const std::string& tape) {
    SelectLayer(layer);
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    ScriptFileDialogAnswer(Input(name, tape));
    const std::size_t boxes = ShownMessageBoxes().size();
    Run(form, emRout, "OpenRoutTape1");
    return ShownMessageBoxes().size() > boxes ? LastBox() : "";
  }
};

// Steps along +Y that would put a copy past the coordinate range (84.55")
// are refused as those along X are: a hole at 40" up stepped 50" up, a path
// whose start would fit 44" up but whose line's end would not. A path
// whose copy stays inside takes its pattern.
TEST_F(TPanelStepsKeepingTest, StepsAlongYMakeNoCopyPastTheCoordinateRange) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  DRDB->AddHole(0, 40 * In, true);
  DrillUndo->BeginOperation("Hole");
  ScriptSteps({"M01", "M02X000000Y500000", "M02", "M08"});
  Do(form, emDrill, "CreateStepRepeat2", {{-In, 39 * In}, {In, 41 * In}});
  EXPECT_EQ(LastBox(), kCannotExpand);
  ASSERT_EQ(LiveDrillEntities(), 1);
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (static_cast<int32_t>(DRDB->WordAt(i)) > 0) {
      EXPECT_EQ(DRDB->EntityAt(i)->GetStepObj(), nullptr);
    }

  SelectLayer(40);
  RTDB->AddLineSegment({0, 40 * In}, {0, 41 * In}, true, NoZOffset, 0);
  RTDB->AddLineSegment({2 * In, 40 * In}, {2 * In, 41 * In}, true, NoZOffset, 0);
  RoutUndo->BeginOperation("Lines");
  ResetHeadlessDialogs();
  ScriptSteps({"M01", "M02X000000Y440000", "M02", "M08"});
  Do(form, emRout, "CreateStepRepeat1", {{0, 40 * In + In / 2}});
  EXPECT_EQ(LastBox(), kCannotExpand);
  ResetHeadlessDialogs();
  ScriptSteps({"M01", "M02X000000Y430000", "M02", "M08"});
  Do(form, emRout, "CreateStepRepeat1", {{2 * In, 40 * In + In / 2}});
  EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
  EXPECT_EQ(Copies(40), (std::vector<std::string>{"", "+0,430"}));
}

// Open Rout Tape looks at the far end of a pattern's copies too: a path
// reaching 80" along X or up, stepped 10" that way, comes without its
// pattern and the box says why; stepped 4" it keeps it.
TEST_F(TPanelStepsKeepingTest, OpenRoutTapeMakesNoCopyPastTheFarEndOfTheRange) {
  TWorkspace& form = StartProgram();
  const std::string refused = "Line 9: the pattern's repeats were not applied to 1 entity: they would make more "
                              "than 65,535 copies or move outside the coordinate range.\r\n";
  // The path's end, the step, and the copies the path keeps ("": none).
  const struct {
    const char* end;
    const char* step;
    const char* copies;
  } cases[] = {{"X80.0Y0.0", "X10.0Y0.0", ""}, {"X0.0Y80.0", "X0.0Y10.0", ""},
               {"X80.0Y0.0", "X4.0Y0.0", "+40,0"}, {"X0.0Y80.0", "X0.0Y4.0", "+0,40"}};
  uint8_t layer = 40;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.end) + " " + c.step);
    const std::string box = OpenRoutTape(form, layer, "FAR" + std::to_string(layer) + ".RT",
                                         std::string("%\nM25\nG00X0.0Y0.0\nM15\nG01") + c.end + "\nM16\nM01\nM02" +
                                             c.step + "\nM08\nM30\n");
    EXPECT_EQ(Copies(layer), (std::vector<std::string>{c.copies})) << box;
    EXPECT_EQ(box.empty() ? std::string() : box.substr(0, refused.size()), *c.copies != '\0' ? "" : refused);
    ++layer;
  }
}

// A square tabbed twice whose second piece (with the holes of its tab) was
// stepped on its own: a step command picked on the first piece leaves the
// second with its own pattern, as a piece of another cut.
TEST_F(TPanelStepsKeepingTest, AStepCommandTakesNoTabbedPieceOfAnotherPattern) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AutoTab = TAutoTabSettings{In / 5, 0, 0, In / 10, true, true, 3, false, 7, In / 10};
  RTDB->AddLineSegment({0, 0}, {2 * In, 0}, false, NoZOffset, 0);
  for (const TIntPoint p : {TIntPoint{2 * In, 2 * In}, TIntPoint{0, 2 * In}, TIntPoint{0, 0}})
    RTDB->AppendLine(p, 0, NoZOffset);
  RoutUndo->BeginOperation("Line");
  Do(form, emRout, "Tab1", {{In, 0}, {In, 0}});
  Do(form, emRout, "Tab1", {{In, 2 * In}, {In, 2 * In}});
  // Three pieces, each tab's three break-off holes after the piece before it.
  const std::vector<int32_t> starts = Starts(40);
  ASSERT_EQ(starts.size(), 9u) << LastBox();
  TStepObject* own = new TStepObject({{1, 1, 0, 0, 0}, {0, 1, 0, 3 * In, 0}, {0, 1, 0, 0, 0}});
  for (std::size_t k = 4; k < 8; ++k) RTDB->EntityAt(starts[k])->SetStepObj(own);
  RTDB->Redraw(0);
  ASSERT_EQ(Copies(40), (std::vector<std::string>{"", "", "", "", "+0,30", "+0,30", "+0,30", "+0,30", ""}));

  ScriptSteps({"M01", "M02X030000Y000000", "M02", "M08"});
  Do(form, emRout, "CreateStepRepeat1", {{In / 2, 0}});
  const std::vector<std::string> copies = Copies(40);
  ASSERT_EQ(copies.size(), 9u);
  EXPECT_EQ(copies[0], "+30,0") << LastBox();
  for (std::size_t k = 4; k < 8; ++k) EXPECT_EQ(copies[k], "+0,30") << k;
}

// A built-in rout tool the job emptied is saved as emptied: the job opened
// again, after New, has no tool there, and the other layers keep theirs.
TEST_F(TPanelStepsKeepingTest, ABuiltInRoutToolTheJobEmptiedStaysEmpty) {
  TWorkspace& form = StartProgram();
  const TRoutToolRecord builtIn = RoutToolPages[41][2];
  ASSERT_NE(builtIn.Diameter, 0);
  RoutToolPages[41][2] = TRoutToolRecord{};
  SaveNewAndOpen(form, "EMPTIED.ZUL");
  EXPECT_EQ(RoutToolPages[41][2], TRoutToolRecord{});
  EXPECT_EQ(RoutToolPages[40][2], builtIn);
  EXPECT_EQ(RoutToolPages[42][2], builtIn);
}

}  // namespace
