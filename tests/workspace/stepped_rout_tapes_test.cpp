// The tapes of a stepped panel through the started program: each rout path,
// hole and circle is cut with its own copies whatever the coordinate mode,
// each pattern block names the tools it cuts with, and an export filter's
// M48 header states the tape's units and each tool size once.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "command/button_manager.h"
#include "foundation/file_utils.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "model/rout_sequence.h"
#include "model/rout_shadow.h"
#include "model/tool_tables.h"
#include "tapeout/make_drill_tape.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

using TCut = std::array<int32_t, 7>;

class TSteppedRoutTapesTest : public TTapeWritingTest {
 protected:
  // What the screen draws of a layer, its step copies' included: cuts,
  // holes and routed circles, in a fixed order.
  static std::vector<TCut> Drawn(uint8_t layer) {
    std::vector<TCut> out;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      if (e == nullptr || SlotDeleted(RTDB->SlotAt(h)->Flags)) continue;
      for (const TRoutShadow* s = e->Shadow; s != nullptr; s = s->Next)
        if ((s->Kind == rsLine && !s->HeadUp) || s->Kind == rsArc)
          out.push_back({s->Kind, s->A.X, s->A.Y, s->B.X, s->B.Y, s->C.X, s->C.Y});
        else if (s->Kind == rsHole)
          out.push_back({s->Kind, s->A.X, s->A.Y, 0, 0, 0, 0});
        else if (s->Kind == rsFullCircle)
          out.push_back({s->Kind, s->A.X, s->A.Y, s->B.X, 0, 0, 0});
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  // Make Rout Tape of the layer picked in the output format as it stands,
  // through the export filter at the place given (0: as offered); the tape's text.
  std::string MakeRoutTape(TWorkspace& form, const std::string& name, int filter = 0) {
    const std::string tape = NativePath(ExecutionPath() + "ROUT\\" + name);
    ScriptFileDialogAnswer(tape, filter);
    QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emRout, "MakeRoutTape1");
    return ReadFileBytes(tape);
  }
  // Open Rout Tape of the named tape into the layer, read as the rout input
  // format dialog offers it, and what the layer then draws.
  std::vector<TCut> ReadBack(TWorkspace& form, const std::string& name, uint8_t layer, bool absolute = true) {
    SelectLayer(layer);
    ScriptFileDialogAnswer(NativePath(ExecutionPath() + "ROUT\\" + name));
    QueueModalScript("TRoutInputFormatDialog", [absolute](TForm& f) {
      f.Get<TRadioGroup>("AbsoluteGroup").SetItemIndex(absolute ? 0 : 1);
      f.Click("OKButton");
    });
    Run(form, emRout, "OpenRoutTape1");
    return Drawn(layer);
  }
  // Create Step & Repeat on the path picked at the point with one level of
  // the lines given.
  static void CreateSteps(TWorkspace& form, const TIntPoint& at, std::vector<std::string> lines) {
    QueueModalScript("TEditStepDialog", [lines](TForm& f) {
      f.Get<TMemo>("Step1Memo").SetLines(lines);
      f.Click("OKButton");
    });
    Run(form, emRout, "CreateStepRepeat1");
    Click(at.X, at.Y);
    ECO->CancelCommand();
  }
  static int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

};

// A stepped path, then a hole and a routed circle stepped each its own way
// and a path cut once after them: the tape cuts every copy the screen shows
// of each, as M25 patterns on an absolute tape and written out copy by copy
// on an incremental one (which could not say where a pattern's run ends).
TEST_F(TSteppedRoutTapesTest, EachStartIsCutWithItsOwnCopiesInEitherCoordinateMode) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, true, NoZOffset, 0);
  ButtonManager().Press(26);  // the hole button
  Click(In, In);
  ECO->CancelCommand();
  RTDB->AddCircleAndDraw({2 * In, 2 * In}, {2 * In, 2 * In + In / 2}, 0);
  RTDB->AddLineSegment({0, 4 * In}, {In, 4 * In}, true, NoZOffset, 0);
  CreateSteps(form, {In / 2, 0}, {"M01", "M02X030000Y000000", "M02X030000Y000000", "M02", "M08"});
  CreateSteps(form, {In, In}, {"M01", "M02X000000Y050000", "M02", "M08"});
  CreateSteps(form, {2 * In, 2 * In + In / 2}, {"M01", "M02X070000Y000000", "M02", "M08"});
  const std::vector<TCut> screen = Drawn(40);
  // The first path twice more, the hole once more 5" up, the circle (six
  // arcs) once more 7" along, the last path once.
  std::vector<TIntPoint> holes;
  for (const TCut& c : screen)
    if (c[0] == rsHole) holes.push_back({c[1], c[2]});
  ASSERT_EQ(holes, (std::vector<TIntPoint>{{In, In}, {In, 6 * In}})) << LastBox();
  ASSERT_EQ(screen.size(), 3u + 2u + 2u * 6u + 1u);
  EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();

  RoutOutputFormat.Absolute = true;
  const std::string absolute = MakeRoutTape(form, "OWN.RT");
  EXPECT_EQ(Count(absolute, "M25"), 3) << absolute;
  EXPECT_EQ(ReadBack(form, "OWN.RT", 41), screen) << absolute;

  SelectLayer(40);
  RoutOutputFormat.Absolute = false;
  const std::string incremental = MakeRoutTape(form, "OWNINC.RT");
  EXPECT_EQ(Count(incremental, "M25"), 0) << incremental;
  EXPECT_EQ(Count(incremental, "M01"), 0) << incremental;
  EXPECT_EQ(ReadBack(form, "OWNINC.RT", 42, false), screen) << incremental;
}

// One pattern over two paths cut with different tools, after a path of the
// first tool: the machine repeats the block from the tool its run ended
// with, so each block names its first path's tool before its first move.
TEST_F(TSteppedRoutTapesTest, EachPatternBlockNamesItsToolBeforeItsFirstMove) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, true, NoZOffset, 0);
  RTDB->AddLineSegment({0, 2 * In}, {In, 2 * In}, true, NoZOffset, 0);
  RoutLayerTools[40] = {2, 2};
  RTDB->AddLineSegment({0, 4 * In}, {In, 4 * In}, true, NoZOffset, 0);
  CreateSteps(form, {In / 2, 2 * In}, {"M01", "M02X050000Y000000", "M02", "M08"});
  Run(form, emRout, "AddtoStepList1");
  Click(In / 2, 4 * In);
  Click(In / 2, 2 * In);
  ECO->CancelCommand();
  const std::vector<TCut> screen = Drawn(40);
  ASSERT_EQ(screen.size(), 5u) << LastBox();

  const std::string tape = MakeRoutTape(form, "TOOLS.RT");
  ASSERT_EQ(Count(tape, "M25"), 1) << tape;
  // Between M25 and the block's first move: the first path's tool.
  const std::string block = tape.substr(tape.find("M25\r\n"));
  EXPECT_NE(block.substr(0, block.find("G00")).find("T01\r\n"), std::string::npos) << tape;
  EXPECT_LT(block.find("T02\r\n"), block.find("M01")) << tape;
  EXPECT_EQ(ReadBack(form, "TOOLS.RT", 41), screen) << tape;
}

// An export filter whose header opens M48 and states the units of the other
// system: the drill and rout tapes state their own units there instead, and
// read back where they were written; a drill tape whose tool sizes the
// filter's header takes (the M48 option off) states each size once.
TEST_F(TSteppedRoutTapesTest, AnExportFiltersHeaderStatesTheTapesUnitsAndEachToolSizeOnce) {
  TWorkspace& form = StartProgram();
  DrillOutputFormat.ZerosUsed = 1;
  RoutOutputFormat.ZerosUsed = 1;
  ExportFilters[1] = {"Metric frame", Input("METRIC.SWP", "HEADER=M48\nHEADER=METRIC,TZ\nTRAILER=M30\n")};
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  ToolTable[2].Diameter = In / 8;
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  DRDB->AddHoleOnLayer(2 * In, 3 * In, 30, 2, true);
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.M48CheckBox.SetChecked(false);
    d.ToolDiametersCheckBox.SetChecked(true);
    d.ToolTableCheckBox.SetChecked(false);
    d.MarkFirstCheckBox.SetChecked(false);
    d.MarkLastCheckBox.SetChecked(false);
    d.OKButton.Click();
  });
  const std::string drillTape = (TempDir / "FRAMED.DRL").string();
  ScriptFileDialogAnswer(drillTape, 2);
  Run(form, emDrill, "MakeDrillTape1");
  const std::string drill = ReadFileBytes(drillTape);
  EXPECT_EQ(Count(drill, "INCH,TZ\r\n"), 1) << drill;
  EXPECT_EQ(Count(drill, "METRIC"), 0) << drill;
  EXPECT_EQ(Count(drill, "T01C"), 1) << drill;
  EXPECT_EQ(Count(drill, "T02C"), 1) << drill;
  auto holes = [] {
    std::vector<std::array<int32_t, 2>> at;
    for (int32_t i = 1; i <= DrillEntityCount; ++i)
      if (static_cast<int32_t>(DRDB->WordAt(i)) > 0) at.push_back({DRDB->EntityAt(i)->X, DRDB->EntityAt(i)->Y});
    std::sort(at.begin(), at.end());
    return at;
  };
  const auto drilled = holes();
  DRDB->Clear();
  ToolTable[1].Diameter = ToolTable[2].Diameter = 0;
  ImportExcellonTape(form, drillTape);
  EXPECT_EQ(holes(), drilled) << drill;
  EXPECT_EQ(ToolTable[1].Diameter, In / 40);
  EXPECT_EQ(ToolTable[2].Diameter, In / 8);

  SelectLayer(40);
  RTDB->AddLineSegment({In, In}, {3 * In, 2 * In}, true, NoZOffset, 0);
  const std::vector<TCut> screen = Drawn(40);
  const std::string rout = MakeRoutTape(form, "FRAMED.RT", 2);
  EXPECT_EQ(Count(rout, "INCH,TZ\r\n"), 1) << rout;
  EXPECT_EQ(Count(rout, "METRIC"), 0) << rout;
  EXPECT_EQ(ReadBack(form, "FRAMED.RT", 41), screen) << rout;
}

}  // namespace
