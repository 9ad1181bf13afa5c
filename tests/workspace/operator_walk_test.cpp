// An operator's walk through the started program: Escape stops the marking
// of tooling hits, the command line always shows the prompt of a waiting
// command, a tape or an import that ends says what became of it, the first
// drill import into an empty job is shown whole, and the view keeps the job
// while an import asks its questions.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/drill_tools.h"
#include "model/tool_tables.h"
#include "command/rubber_brain.h"
#include "platform/headless/headless_events.h"
#include "platform/keys.h"
#include "tapein/drill_import_command.h"
#include "tapeout/make_drill_tape.h"
#include "tapeout/tooling_hit_marks.h"
#include "workspace/view_mapping.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

const char* const Photoplot =
    "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nG54D10*\nX10000Y10000D03*\nX12000Y10000D03*\n"
    "X15000Y20000D03*\nM02*\n";

class TOperatorWalkTest : public TWorkspaceDialogsTest {
 protected:
  void SetUp() override {
    TWorkspaceDialogsTest::SetUp();
    RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  }
  static std::vector<std::string> Prompts() {
    return {UserPanel->PromptLine(1), UserPanel->PromptLine(2), UserPanel->PromptLine(3)};
  }
};

TEST_F(TOperatorWalkTest, EscapeStopsTheToolingHitMarksAndATapeSaysWhatItWrote) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  ToolTable[2].Diameter = In / 20;
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  DRDB->AddHoleOnLayer(2 * In, In, 30, 1, true);
  DRDB->AddHoleOnLayer(3 * In, In, 30, 2, true);
  const std::vector<std::string> waiting = Prompts();
  ASSERT_EQ(waiting[2], "Pick entity to inspect > ");

  // While the windows are marked the command line holds the marking prompt
  // alone; Escape from the keyboard ends the command and writes nothing.
  std::vector<std::string> marking;
  int escapes = 0;
  HeadlessSetProcessMessagesHook([&] {
    if (!ToolingMarks.Marking || escapes > 0) return;
    marking = Prompts();
    ++escapes;
    form.KeyDown(VK_ESCAPE);
  });
  auto options = [](bool mark) {
    return [mark](TForm& f) {
      auto& d = static_cast<TMakeDrillTapeDialog&>(f);
      d.M48CheckBox.SetChecked(false);
      d.ToolTableCheckBox.SetChecked(false);
      d.MarkFirstCheckBox.SetChecked(mark);
      d.MarkLastCheckBox.SetChecked(mark);
      d.OKButton.Click();
    };
  };
  QueueModalScript("TMakeDrillTapeDialog", options(true));
  const size_t dialogs = ShownCommonDialogs().size();
  Run(form, emDrill, "MakeDrillTape1");
  EXPECT_EQ(escapes, 1);
  EXPECT_EQ(marking, (std::vector<std::string>{
                         "Window the FIRST tooling hits; right button when done, Esc to stop", "", ""}));
  EXPECT_FALSE(ToolingMarks.Marking);
  EXPECT_EQ(ShownCommonDialogs().size(), dialogs);  // no file asked for
  EXPECT_EQ(LastBox(), "The marking of the tooling hits was stopped: no drill tape was written.");
  EXPECT_EQ(MyScreen->Activity, acIdle);
  EXPECT_EQ(Prompts(), waiting);

  // A tape written says so in the hint strip.
  HeadlessSetProcessMessagesHook(nullptr);
  QueueModalScript("TMakeDrillTapeDialog", options(false));
  const std::string tape = (TempDir / "PANEL.DRL").string();
  ScriptFileDialogAnswer(tape);
  Run(form, emDrill, "MakeDrillTape1");
  ASSERT_TRUE(std::filesystem::exists(tape));
  EXPECT_EQ(form.HintPanel.Caption(), "Drill tape written: 3 hits, 2 tools, " + tape);
}

// The tooling hits are windowed as every window of the program is made: a
// click on one corner, a rubber band to the pointer, a click on the
// opposite corner. Each window says how many hits it caught, and the tape
// drills them first and last.
TEST_F(TOperatorWalkTest, TwoClicksMakeAToolingHitWindowAndSayWhatItCaught) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  for (int32_t x : {1, 2, 3}) DRDB->AddHoleOnLayer(x * In, In, 30, 1, true);
  Run(form, emDrill, "ZoomAll1");
  auto pixel = [](double x, double y) { return RubberPaint->ScreenPoint(x * In, y * In); };
  // One step of the mouse each time the marking waits.
  std::vector<std::function<void()>> steps;
  auto click = [&form, &steps, &pixel](double x, double y, TMouseButton button = mbLeft) {
    steps.push_back([&form, &pixel, x, y, button] {
      const TPoint p = pixel(x, y);
      form.PaintBox.MouseMove(0, p.X, p.Y);
      form.PaintBox.MouseDown(button, 0, p.X, p.Y);
      form.PaintBox.MouseUp(button, 0, p.X, p.Y);
    });
  };
  std::vector<std::vector<std::string>> said;
  bool banded = false;
  auto look = [&] { said.push_back(Prompts()); };
  // First: two clicks round the hole at 3 in, the band shown between them.
  click(2.8, 0.8);
  steps.push_back([&] {
    const TPoint p = pixel(3.2, 1.2);
    form.PaintBox.MouseMove(0, p.X, p.Y);
    banded = RubberBrain->Drawn();
  });
  click(3.2, 1.2);
  steps.push_back(look);
  click(0, 0, mbRight);
  steps.push_back(look);
  // Last: two clicks round the hole at 1 in, then the right button ends.
  click(0.8, 0.8);
  click(1.2, 1.2);
  steps.push_back(look);
  click(0, 0, mbRight);
  size_t next = 0;
  HeadlessSetProcessMessagesHook([&] {
    if (ToolingMarks.Marking && next < steps.size()) steps[next++]();
  });
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.M48CheckBox.SetChecked(false);
    d.ToolTableCheckBox.SetChecked(false);
    d.FirstLastCheckBox.SetChecked(false);
    d.MarkFirstCheckBox.SetChecked(true);
    d.MarkLastCheckBox.SetChecked(true);
    d.OptimizerGroup.ClickItem(1);
    d.OKButton.Click();
  });
  const std::string tape = (TempDir / "MARKED.DRL").string();
  ScriptFileDialogAnswer(tape);
  Run(form, emDrill, "MakeDrillTape1");
  HeadlessSetProcessMessagesHook(nullptr);
  EXPECT_EQ(next, steps.size());
  EXPECT_TRUE(banded);
  EXPECT_FALSE(RubberBrain->Drawn());
  const std::string first = "Window the FIRST tooling hits; right button when done, Esc to stop";
  const std::string last = "Window the LAST tooling hits; right button when done, Esc to stop";
  ASSERT_EQ(said.size(), 3u);
  EXPECT_EQ(said[0], (std::vector<std::string>{first, "The window marks 1 hit to drill first; 1 hit marked first in all", ""}));
  EXPECT_EQ(said[1], (std::vector<std::string>{last, "1 hit marked first", ""}));
  EXPECT_EQ(said[2], (std::vector<std::string>{last, "The window marks 1 hit to drill last; 1 hit marked last in all", ""}));
  // The hole at 3 in first, the one at 1 in last.
  const std::string bytes = ReadFileBytes(tape);
  const size_t x3 = bytes.find("X03"), x2 = bytes.find("X02"), x1 = bytes.find("X01");
  ASSERT_NE(x1, std::string::npos) << bytes;
  EXPECT_LT(x3, x2) << bytes;
  EXPECT_LT(x2, x1) << bytes;

  // A window round no hit says so.
  steps.clear();
  said.clear();
  next = 0;
  click(5, 5);
  click(6, 6);
  steps.push_back(look);
  steps.push_back([&form] { form.KeyDown(VK_ESCAPE); });
  HeadlessSetProcessMessagesHook([&] {
    if (ToolingMarks.Marking && next < steps.size()) steps[next++]();
  });
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) { static_cast<TMakeDrillTapeDialog&>(f).OKButton.Click(); });
  Run(form, emDrill, "MakeDrillTape1");
  HeadlessSetProcessMessagesHook(nullptr);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0][1], "The window marks no hit: a hit is marked when its centre is inside");
}

TEST_F(TOperatorWalkTest, AFormatLeftAtUnrecognizedSaysThatNothingWasImported) {
  TWorkspace& form = StartProgram();
  const std::string file = Input("NOTES.TXT", "nothing a reader knows\n");
  const std::string said = "The file type was left at \"Unrecognized\".\r\nNothing was imported.";
  // The CAD import.
  ScriptFileDialogAnswer(file);
  QueueModalScript("TForceFormatDialog", [](TForm& f) {
    f.Get<TComboBox>("PullDown").SetItemIndex(0);
    f.Click("OKButton");
  });
  Run(form, emCad, "Import1");
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Text, said);
  // The drill import.
  SelectLayer(30);
  const size_t boxes = ShownMessageBoxes().size();
  ScriptFileDialogAnswer(file);
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) {
    f.Get<TComboBox>("PullDown").SetItemIndex(0);
    f.Click("OKButton");
  });
  Run(form, emDrill, "Import2");
  ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
  EXPECT_EQ(ShownMessageBoxes().back().Text, said);
  EXPECT_EQ(DrillEntityCount, 0);
  // Cancel stays silent.
  ScriptFileDialogAnswer(file);
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("CancelButton"); });
  Run(form, emDrill, "Import2");
  EXPECT_EQ(ShownMessageBoxes().size(), boxes + 1);
}

TEST_F(TOperatorWalkTest, TheCommandLineShowsTheWaitingCommandsPromptAfterEveryEnd) {
  TWorkspace& form = StartProgram();
  const std::string line = "Select line start point > ";
  ASSERT_EQ(UserPanel->PromptLine(3), line);
  // Pan says what it waits for; after the click Line waits again.
  Run(form, emCad, "Pan1");
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"Pan", "", "Pick the new centre of the view > "}));
  Click(form, 100, 100);
  EXPECT_EQ(UserPanel->PromptLine(3), line);
  EXPECT_EQ(ECO->ActiveCommandNumber(), 59);
  // Escape in a command, and Escape with the default waiting.
  Run(form, emCad, "Circle1");
  EXPECT_NE(UserPanel->PromptLine(3), line);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(UserPanel->PromptLine(3), line);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(UserPanel->PromptLine(3), line);
  // New (it cancels the running command) leaves the prompt.
  Run(form, emCad, "New1");
  EXPECT_EQ(UserPanel->PromptLine(3), line);

  // In drill mode Inspect waits; a placed import gives it back.
  SelectLayer(30);
  const std::string inspect = "Pick entity to inspect > ";
  ASSERT_EQ(UserPanel->PromptLine(3), inspect);
  DRDB->MainPartSet = true;
  ScriptFileDialogAnswer(Input("PART.GBR", Photoplot));
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emDrill, "Import2");
  EXPECT_EQ(UserPanel->PromptLine(1), "Import Placement > ");
  Click(form, 200, 200);
  EXPECT_EQ(UserPanel->PromptLine(3), inspect);
}

TEST_F(TOperatorWalkTest, TheFirstDrillImportIntoAnEmptyJobIsShownWhole) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  const double before = MyScreen->Zoom;
  ScriptFileDialogAnswer(Input("FIRST.GBR", Photoplot));
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ScriptMessageBoxAnswer(mrYes);  // the main part
  QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emDrill, "Import2");
  ASSERT_EQ(DrillEntityCount, 3);
  // The holes span 0.5 x 1 inch: the view fits them instead of the whole
  // working area.
  EXPECT_GT(MyScreen->Zoom, before * 10);
  const int32_t left = MyScreen->MouseToWorldX(0);
  const int32_t right = MyScreen->MouseToWorldX(form.PaintBox.Width() - 1);
  EXPECT_LT(left, In);
  EXPECT_GT(right, 3 * In / 2);
  EXPECT_LT(right - left, 4 * In);

  // A later import into a job that shows something leaves the view alone.
  const double zoom = MyScreen->Zoom;
  ScriptFileDialogAnswer(Input("SECOND.GBR", Photoplot));
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emDrill, "Import2");
  Click(form, 100, 100);
  EXPECT_EQ(MyScreen->Zoom, zoom);
}

TEST_F(TOperatorWalkTest, TheViewKeepsTheJobWhileACadImportAsksItsQuestions) {
  TWorkspace& form = StartProgram();
  DB->AddLine(0, 0, In, In);
  DB->ZoomExtents();
  const double zoom = MyScreen->Zoom;
  ASSERT_GT(zoom, 1.0);
  bool asked = false;
  double zoomWhileAsked = 0.0;
  bool barsWhileAsked = false;
  QueueModalScript("TGerberDrillDialog", [&](TForm& f) {
    asked = true;
    zoomWhileAsked = MyScreen->Zoom;
    barsWhileAsked = form.HorizontalScrollbar.Visible();
    f.Click("CancelButton");
  });
  ScriptFileDialogAnswer(Input("ART.GBR", Photoplot));
  QueueModalScript("TForceFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emCad, "Import1");
  ASSERT_TRUE(asked);
  EXPECT_EQ(zoomWhileAsked, zoom);
  EXPECT_TRUE(barsWhileAsked);
}

// Open Rout Tape the same: while the tape's format is asked the view shows
// the job as it was; the tape read, the view fits the job.
TEST_F(TOperatorWalkTest, TheViewKeepsTheJobWhileARoutTapeAsksItsFormat) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  DB->AddLine(0, 0, In, In);
  DB->ZoomExtents();
  const double zoom = MyScreen->Zoom;
  ASSERT_GT(zoom, 1.0);
  double zoomWhileAsked = 0.0;
  bool barsWhileAsked = false;
  QueueModalScript("TRoutInputFormatDialog", [&](TForm& f) {
    zoomWhileAsked = MyScreen->Zoom;
    barsWhileAsked = form.HorizontalScrollbar.Visible();
    f.Click("OKButton");
  });
  ScriptFileDialogAnswer(Input("PATH.RT", "M48\nINCH,LZ\nT01C0.125\n%\nG90\nT01\nG00X010000Y010000\nM15\n"
                                          "G01X050000Y010000\nM16\nM30\n"));
  Run(form, emRout, "OpenRoutTape1");
  EXPECT_EQ(zoomWhileAsked, zoom);
  EXPECT_TRUE(barsWhileAsked);
  EXPECT_EQ(PendingCommonDialogAnswers(), 0u);
  EXPECT_NE(MyScreen->Zoom, zoom);  // fitted to the job with the path
}

}  // namespace
