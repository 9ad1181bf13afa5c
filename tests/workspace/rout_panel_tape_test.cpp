// A rout panel through the started program: Make Rout Tape writes every step
// copy the screen shows, the tape opened into another layer cuts the same,
// with the same cutter whatever that layer's tool page holds, and Text Edit
// Rout keeps the copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "editor/editor_window.h"
#include "foundation/file_utils.h"
#include "model/rout_database.h"
#include "model/rout_sequence.h"
#include "model/rout_shadow.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

// The cuts drawn for a layer, its step copies' included, in a fixed order.
std::vector<std::array<int32_t, 7>> Cuts(uint8_t layer) {
  std::vector<std::array<int32_t, 7>> cuts;
  for (int32_t p = 1; p <= Seq->Count(layer); ++p)
    if (TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(layer, p)))
      for (const TRoutShadow* s = e->Shadow; s != nullptr; s = s->Next)
        if ((s->Kind == rsLine && !s->HeadUp) || s->Kind == rsArc)
          cuts.push_back({s->Kind, s->A.X, s->A.Y, s->B.X, s->B.Y, s->C.X, s->C.Y});
  std::sort(cuts.begin(), cuts.end());
  return cuts;
}

// The menu items as the tests choose them.
struct TMenus : TWorkspaceTest {
  using TWorkspaceTest::Run;
};

// Make Rout Tape of the layer picked, as the named tape in the offered format.
std::string MakeTape(TWorkspace& form, const char* name) {
  const std::string tape = NativePath(ExecutionPath() + "ROUT\\" + name);
  ScriptFileDialogAnswer(tape);
  QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  TMenus::Run(form, emRout, "MakeRoutTape1");
  return tape;
}

// The cuts of the tape opened into the layer (41 unless named) in the
// offered format.
std::vector<std::array<int32_t, 7>> CutsReadBack(TWorkspace& form, const std::string& tape, uint8_t layer = 41) {
  SelectLayer(layer);
  ScriptFileDialogAnswer(tape);
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  TMenus::Run(form, emRout, "OpenRoutTape1");
  return Cuts(layer);
}

// A plain 2 x 2 panel, a path nested in two levels (the inner one mirrored),
// a turned copy and a mirrored copy, each path cut on the left: an inch
// along X, then a quarter arc.
TEST_F(TWorkspaceDialogsTest, MakeRoutTapeCutsEveryStepCopyTheScreenShows) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AutoRoutCompensation = 1;
  for (uint8_t layer : {40, 41}) RoutToolPages[layer][1].Diameter = RoutToolPages[layer][1].CompDiameter = In / 8;
  const TIntPoint at[] = {{0, 0}, {10 * In, 0}, {10 * In, 0}, {0, 10 * In}, {10 * In, 10 * In}};
  for (int k : {0, 1, 3, 4}) {
    RTDB->AddLineSegment(at[k], {at[k].X + In, at[k].Y}, false, NoZOffset, 0);
    RTDB->AppendArc({at[k].X + 2 * In, at[k].Y + In}, {at[k].X + In, at[k].Y + In}, 0, NoZOffset, false);
  }
  const std::vector<std::string> steps[] = {
      {"M01", "M02X030000Y000000", "M02X000000Y030000", "M02X-030000Y000000", "M02"},
      {"M01", "M02X030000Y000000M80", "M02"}, {"M01", "M02X000000Y030000", "M02"},
      {"M01", "M02X030000Y000000M70M80", "M02"}, {"M01", "M02X000000Y030000M90", "M02"}};
  for (int k = 0; k < 5; ++k) {
    QueueModalScript("TEditStepDialog", [&steps, k](TForm& f) {
      f.Get<TMemo>("Step1Memo").SetLines(steps[k]);
      f.Click("OKButton");
    });
    Run(form, emRout, "CreateStepRepeat1");
    Click(at[k].X + In / 2, at[k].Y);
    form.KeyDown(VK_ESCAPE);
  }
  const auto screen = Cuts(40);
  ASSERT_EQ(screen.size(), 12u * 2) << LastBox();

  const std::string tape = MakeTape(form, "PANEL.RT");
  EXPECT_EQ(form.HintPanel.Caption(), "Rout tape written: R0, 12 paths, 36 moves, " + tape);
  const std::string text = ReadFileBytes(tape);
  for (const char* word : {"M25", "M02X-03Y0\r\nM08", "M02X03Y0M70M80", "M02X0Y03M90"})
    EXPECT_NE(text.find(word), std::string::npos) << word << "\n" << text;
  EXPECT_EQ(CutsReadBack(form, tape), screen);

  SelectLayer(40);
  QueueModalScript("TQuillexForm", [](TForm& f) {
    static_cast<TQuillexForm&>(f).Editor->InsertString(";EDITED\r\n");
    f.Get<TButton>("OKButton").Click();
  });
  Run(form, emRout, "TextEditRout1");
  EXPECT_EQ(Cuts(40), screen);
  // The nested pattern is cut copy by copy on the tape: the box says so.
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtInformation);
  EXPECT_EQ(LastBox(), "The rout tape cannot state this step pattern as a pattern (a nested list, an incremental "
                       "tape, an orientation the axis version cannot state): the text to edit writes out each "
                       "copy.\r\nthe path at X 10.0 Y 0.0: 3 copies\r\nOK in the editor turns the pattern into "
                       "plain copies, which Undo cannot take back; Cancel there keeps the layer as it is.");
}

// Text Edit Rout names, before the editor opens, the patterns the tape cuts
// copy by copy in the output format: the turned copy on a tape of axis
// version 2, every pattern on an incremental tape (the first eight named).
// Cancel in the editor keeps the patterns.
TEST_F(TWorkspaceDialogsTest, TextEditRoutNamesThePatternsItsTapeWritesAsCopies) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  for (int32_t k = 0; k < 9; ++k) {
    RTDB->AddLineSegment({0, k * In}, {In, k * In}, false, NoZOffset, 0);
    QueueModalScript("TEditStepDialog", [k](TForm& f) {
      f.Get<TMemo>("Step1Memo").SetLines({"M01", k == 1 ? "M02X03Y0M80" : "M02X03Y0", "M02"});
      f.Click("OKButton");
    });
    Run(form, emRout, "CreateStepRepeat1");
    Click(In / 2, k * In);
    form.KeyDown(VK_ESCAPE);
  }
  const auto screen = Cuts(40);
  ASSERT_EQ(screen.size(), 18u) << LastBox();
  auto textEdit = [&form] {
    std::size_t before = 0;
    QueueModalScript("TQuillexForm", [&before](TForm& f) {
      before = ShownMessageBoxes().size();
      static_cast<TQuillexForm&>(f).Editor->InsertString(";EDITED\r\n");
      f.Get<TButton>("CancelButton").Click();
    });
    const std::size_t boxes = ShownMessageBoxes().size();
    Run(form, emRout, "TextEditRout1");
    EXPECT_EQ(before, ShownMessageBoxes().size());
    return before > boxes ? LastBox() : std::string();
  };
  const std::string head = "The rout tape cannot state ";
  const std::string reasons = " (a nested list, an incremental tape, an orientation the axis version cannot state): "
                              "the text to edit writes out each copy.\r\n";
  RoutOutputFormat.Version = 2;
  EXPECT_EQ(textEdit(), head + "this step pattern as a pattern" + reasons +
                            "the path at X 0.0 Y 1.0: 1 copy\r\nOK in the editor turns the pattern into plain "
                            "copies, which Undo cannot take back; Cancel there keeps the layer as it is.");
  RoutOutputFormat.Version = 1;
  RoutOutputFormat.Absolute = false;
  std::string named;
  for (int k = 0; k < 8; ++k) named += "the path at X 0.0 Y " + std::to_string(k) + ".0: 1 copy\r\n";
  EXPECT_EQ(textEdit(), head + "these step patterns as patterns" + reasons + named +
                            "(1 more)\r\nOK in the editor turns the patterns into plain copies, which Undo cannot "
                            "take back; Cancel there keeps the layer as it is.");
  EXPECT_EQ(Cuts(40), screen);
}

// A tape that states its cutter's size and no compensation size, plain or
// stepped, opened in a fresh program (its page's tool 1 a 0.032" cutter):
// the cut is compensated for the tape's 0.125" cutter, as the tape stating
// CP draws it. A page whose tool 1 has the tape's size keeps its own
// compensation. The tape written again states the cutter it compensates
// with, so a layer whose page holds another compensation for that size cuts
// it the same.
TEST_F(TWorkspaceDialogsTest, ARoutTapeKeepsItsCutterSizeReadAndWrittenAgain) {
  TWorkspace& form = StartProgram();
  const std::string path = "G00X0Y0\nG41\nM15\nG01X01Y0\nM16\n";
  for (const std::string& body : {path, "M25\n" + path + "M01\nM02X02Y0\nM02X0Y02\nM08\n"}) {
    SCOPED_TRACE(body);
    for (uint8_t layer = 40; layer <= 42; ++layer) RoutToolPages[layer] = DefaultRoutToolPage();
    ASSERT_EQ(RoutToolPages[40][1].Diameter, 812800);
    const std::string head = "M48\nINCH,LZ\nT01C0.125\n";
    const std::string bare = Input("BARE.RT", head + "%\nG90\nT01\n" + body + "M30\n");
    const auto drawn = CutsReadBack(form, bare, 40);
    EXPECT_EQ(RoutToolPages[40][1].CompDiameter, In / 8);
    EXPECT_EQ(drawn, CutsReadBack(form, Input("CP.RT", head + "CP,1,0.125\n%\nG90\nT01\n" + body + "M30\n")));
    ASSERT_FALSE(drawn.empty());
    // The first cut a cutter's radius to the left of the line.
    EXPECT_EQ(drawn.front()[2], In / 16);

    RoutToolPages[42][1].Diameter = In / 8;
    RoutToolPages[42][1].CompDiameter = In / 10;
    CutsReadBack(form, bare, 42);
    EXPECT_EQ(RoutToolPages[42][1].CompDiameter, In / 10);

    SelectLayer(40);
    const std::string again = MakeTape(form, body == path ? "AGAIN.RT" : "STEPPED.RT");
    const std::string text = ReadFileBytes(again);
    EXPECT_NE(text.find("T01C0.125\r\nCP,1,0.125\r\n"), std::string::npos) << text;
    EXPECT_EQ(CutsReadBack(form, again, 42), drawn);
  }
  EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
}

// A page keeps its compensation where its cutter, stated in the tape's unit
// with the digits the tape states sizes with, is the tape's cutter, in
// either unit; another cutter compensates by its size. The tape written
// again compensates as the page does.
TEST_F(TWorkspaceDialogsTest, APagesCutterIsTheTapesWhenStatedAsTheTapeStatesIt) {
  TWorkspace& form = StartProgram();
  const TRoutFormatRecord savedOutput = RoutOutputFormat;
  constexpr int32_t Um = 1000;  // a micron
  struct TCase {
    const char* Header;  // the tape's unit line and tool 1
    int32_t Size, Comp;  // the page's tool 1
    int32_t Kept;        // its compensation after the reading
    bool MetricAgain;    // the unit of the tape written again
    const char* CP;      // and what its CP for tool 1 says
  };
  const TCase cases[] = {
      {"METRIC,LZ\nT01C3.2", 3200 * Um, 3100 * Um, 3100 * Um, true, "3.1"},
      {"INCH,LZ\nT01C0.126", 3200 * Um, 3100 * Um, 3100 * Um, false, "0.122"},
      {"INCH,LZ\nT01C0.0787", 2000 * Um, 1900 * Um, 1900 * Um, false, "0.0748"},
      // Without a point the tape states sizes with its format's decimals.
      {"INCH,LZ,00.000\nT01C00079", 2000 * Um, 1900 * Um, 1900 * Um, false, "0.0748"},
      {"INCH,LZ\nT01C0.125", 3200 * Um, 3100 * Um, In / 8, false, "0.125"},
      // A point may leave trailing zeros off: 0.13 is 0.1300, not 3.2 mm.
      {"INCH,LZ\nT01C0.13", 3200 * Um, 3100 * Um, In / 100 * 13, false, "0.13"},
      {"METRIC,LZ\nT01C1.999", In / 10000 * 787, In / 1000 * 75, In / 1000 * 75, true, "1.905"},
      {"METRIC,LZ\nT01C2.0", In / 10000 * 787, In / 1000 * 75, 2000 * Um, true, "2.0"},
  };
  int n = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Header);
    RoutToolPages[41] = DefaultRoutToolPage();
    RoutToolPages[41][1].Diameter = c.Size;
    RoutToolPages[41][1].CompDiameter = c.Comp;
    const std::string name = "SIZE" + std::to_string(++n) + ".RT";
    CutsReadBack(form, Input(name, std::string("M48\n") + c.Header +
                                       "\n%\nG90\nT01\nG00X0Y0\nG41\nM15\nG01X01Y0\nM16\nM30\n"));
    EXPECT_EQ(RoutToolPages[41][1].CompDiameter, c.Kept);
    RoutOutputFormat.Metric = c.MetricAgain;
    const std::string text = ReadFileBytes(MakeTape(form, ("AGAIN" + std::to_string(n) + ".RT").c_str()));
    EXPECT_NE(text.find(std::string("\nCP,1,") + c.CP + "\r\n"), std::string::npos) << text;
  }
  RoutOutputFormat = savedOutput;
  EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
}

// The step list of one copy 3" along X, for the next Create Step & Repeat.
void ScriptOneCopy() {
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "M02X030000Y000000", "M02"});
    f.Click("OKButton");
  });
}

// Step & Repeat made, removed or expanded on the first path leaves drawing
// to go on where it was: each path drawn next comes last, whole.
TEST_F(TWorkspaceDialogsTest, StepCommandsLeaveTheInsertionPointWhereItWas) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  int32_t y = 0;
  for (const char* item : {"CreateStepRepeat1", "DeleteStepRepeat1", "CreateStepRepeat1", "ExpandSteps1"}) {
    if (item[0] == 'C') ScriptOneCopy();
    Run(form, emRout, item);
    Click(In / 2, 0);
    form.KeyDown(VK_ESCAPE);
    y += In;
    RTDB->AddLineSegment({0, y}, {In, y}, false, NoZOffset, 0);
  }
  std::vector<int32_t> rows;  // the row of each entity, in cutting order
  for (int32_t p = 1; p <= Seq->Count(40); ++p)
    if (TIntPoint at; !SlotDeleted(RTDB->SlotAt(Seq->HandleAt(40, p))->Flags)) {
      RTDB->EntityAt(Seq->HandleAt(40, p))->GetPoint(at);
      rows.push_back(at.Y / In);
    }
  EXPECT_EQ(rows, (std::vector<int32_t>{0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4})) << LastBox();
}

// A stepped path that starts where the path before it ends, and a path that
// starts where it ends, the same tool cutting them (drawn apart, then put in
// that order): the tape reads back as the screen shows it.
TEST_F(TWorkspaceDialogsTest, RoutTapePatternBetweenJoiningPathsReadsBack) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({In, 0}, {In, In}, false, NoZOffset, 0);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  RTDB->AddLineSegment({In, In}, {0, In}, false, NoZOffset, 0);
  ScriptOneCopy();
  for (const char* item : {"DoFirst1", "CreateStepRepeat1"}) {
    Run(form, emRout, item);
    Click(item[0] == 'D' ? In / 2 : In, item[0] == 'D' ? 0 : In / 2);
    form.KeyDown(VK_ESCAPE);
  }
  const auto screen = Cuts(40);
  ASSERT_EQ(screen.size(), 4u) << LastBox();
  const std::string tape = MakeTape(form, "JOINED.RT");
  EXPECT_EQ(CutsReadBack(form, tape), screen) << ReadFileBytes(tape);
  EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
}

// Window Mirror of a path cut on the left, a line and a quarter arc: the
// mirrored copy's arc is a quarter turning the other way, cut on the right,
// and the tape of both reads back as the screen shows them.
TEST_F(TWorkspaceDialogsTest, WindowMirrorTurnsArcsAndCutterSide) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AutoRoutCompensation = 1;
  RTDB->AddLineSegment({In, 0}, {2 * In, 0}, false, NoZOffset, 0);
  RTDB->AppendArc({3 * In, In}, {2 * In, In}, 0, NoZOffset, false);
  Run(form, emRout, "Mirror1");
  for (const TIntPoint& p : {TIntPoint{0, -In}, {4 * In, 2 * In}, {0, 0}, {0, In}}) Click(p.X, p.Y);
  form.KeyDown(VK_ESCAPE);
  std::vector<int> sides, arcs;
  for (int32_t p = 1; p <= Seq->Count(40); ++p) {
    TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(40, p));
    if (e != nullptr && e->GetType() == etRoutJog) sides.push_back(e->GetComp());
    if (e != nullptr && IsArcType(e->GetType())) arcs.push_back(e->GetType());
  }
  EXPECT_EQ(sides, (std::vector<int>{1, 2})) << LastBox();
  EXPECT_EQ(arcs, (std::vector<int>{etRoutArc, etRoutArcReverse}));
  const auto screen = Cuts(40);
  EXPECT_EQ(CutsReadBack(form, MakeTape(form, "MIRROR.RT")), screen);
}

// A panel whose step, 45.5" along X, is wider than a metric 3.3 tape holds
// while its copies lie within it (the board left of the origin): the tape
// is refused with the step in millimetres, and once Expand Steps has made
// the copy a path of its own the tape is written and reads back as the
// screen shows it.
TEST_F(TWorkspaceDialogsTest, AStepWiderThanTheRoutFormatIsNamedInTheTapesUnit) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  // A cutter the metric tape states to its last digit (0.8 mm).
  RoutToolPages[40][1].Diameter = RoutToolPages[40][1].CompDiameter = 800000;
  RTDB->AddLineSegment({-24 * In, 0}, {-23 * In, 0}, false, NoZOffset, 0);
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "M02X455000Y000000", "M02"});
    f.Click("OKButton");
  });
  Run(form, emRout, "CreateStepRepeat1");
  Click(-23 * In - In / 2, 0);
  form.KeyDown(VK_ESCAPE);
  const auto screen = Cuts(40);
  ASSERT_EQ(screen.size(), 2u) << LastBox();
  const std::string tape = NativePath(ExecutionPath() + "ROUT\\WIDE.RT");
  auto makeMetric = [&] {
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) {
      f.Get<TRadioGroup>("UnitGroup").SetItemIndex(1);
      f.Click("OKButton");
    });
    TMenus::Run(form, emRout, "MakeRoutTape1");
  };
  makeMetric();
  EXPECT_EQ(LastBox(), "The step offset X 1155.700 mm, Y 0.000 mm does not fit the rout output format 3.3. Expand "
                       "Steps (Modify menu) writes such a panel, each copy with its own coordinates.");
  EXPECT_FALSE(FileExistsNoWild(tape));

  ResetHeadlessDialogs();
  Run(form, emRout, "ExpandSteps1");
  Click(-23 * In - In / 2, 0);
  form.KeyDown(VK_ESCAPE);
  makeMetric();
  EXPECT_TRUE(ShownMessageBoxes().empty()) << LastBox();
  EXPECT_EQ(CutsReadBack(form, tape), screen) << ReadFileBytes(tape);
}

}  // namespace
