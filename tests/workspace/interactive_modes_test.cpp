// The interactive modes of the started program: Escape ends each of them
// (plot and print placement, single step, import placement, the coupon pick)
// and gives the menus back; a menu picked meanwhile says how to end the mode;
// the import placement takes a typed point; a withdrawn import takes back
// what it added.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "command/button_manager.h"
#include "editor/editor_window.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_printer.h"
#include "platform/keys.h"
#include "tapein/drill_import_command.h"
#include "tapeout/make_drill_tape.h"
#include "tapeout/tooling_hit_marks.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

// Two apertures: two tools, three holes at (1, 1), (1.2, 1) and (1.5, 2) in.
const char* const Photoplot =
    "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\n%ADD11C,0.0200*%\nG54D10*\nX10000Y10000D03*\n"
    "X12000Y10000D03*\nG54D11*\nX15000Y20000D03*\nM02*\n";

class TInteractiveModesTest : public TWorkspaceDialogsTest {
 protected:
  void SetUp() override {
    TWorkspaceDialogsTest::SetUp();
    RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  }
  static const std::string MenusWait(const std::string& what) {
    return "The menus wait until the " + what + " ends: press Esc to stop it.";
  }
};

TEST_F(TInteractiveModesTest, EscapeEndsThePlotAndPrintPlacementsAndMenusSayWhy) {
  TWorkspace& form = StartProgram();
  WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT",
                 "papers\nof the test\nLetter\n11\n8.5\n0\n0\n");
  int prompts = 0;
  RegisterModalScript("TPlotPromptDialog", [&](TForm& dialog) {
    ++prompts;
    dialog.Click("OKButton");
  });
  RegisterModalScript("TPlotConfigurationDialog", [](TForm& dialog) { dialog.Click("OKButton"); });
  DB->AddLine(0, 0, In, In);
  UserPanel->SetPromptLine(1, 1, "Command:");
  const size_t boxes = ShownMessageBoxes().size();
  // While the page is placed a menu item does nothing but say so; Escape
  // then ends the placement and the plot.
  std::string hint;
  int placements = 0;
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acPrintPlacement) return;
    ++placements;
    Run(form, emCad, "New1");
    hint = form.HintPanel.Caption();
    form.KeyDown(VK_ESCAPE);
  });
  const std::string path = (TempDir / "escaped.ps").string();
  ScriptFileDialogAnswer(path, 4);
  Run(form, emCad, "Plot1");
  EXPECT_EQ(placements, 1);
  EXPECT_EQ(prompts, 1);  // not asked again as the right button would
  EXPECT_EQ(hint, MenusWait("plot placement"));
  EXPECT_EQ(CadEntityCount, 1);  // New did not run
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(MyScreen->Activity, acIdle);
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 8), "Command:");
  EXPECT_EQ(ShownMessageBoxes().size(), boxes);

  // Quick Print's placement ends the same way, with nothing printed.
  int quickPrints = 0;
  RegisterModalScript("TQuickPrintDialog", [&](TForm& f) {
    ++quickPrints;
    f.Get<TRadioGroup>("ScaleRadioGroup").SetItemIndex(2);
    f.Click("OKButton");
  });
  placements = 0;
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acPrintPlacement) return;
    ++placements;
    form.KeyDown(VK_ESCAPE);
  });
  Run(form, emCad, "QuickPrint1");
  EXPECT_EQ(placements, 1);
  EXPECT_EQ(quickPrints, 1);
  EXPECT_TRUE(HeadlessPrinter().Documents.empty());
  EXPECT_EQ(MyScreen->Activity, acIdle);

  // The menus work again.
  HeadlessSetProcessMessagesHook(nullptr);
  ScriptMessageBoxAnswer(mrNo);  // the drawing is not saved
  Run(form, emCad, "New1");
  EXPECT_EQ(CadEntityCount, 0);
}

TEST_F(TInteractiveModesTest, EscapeEndsTheSingleStepPlayAnimatedOrNot) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({In, In}, 0, NoZOffset);
  const std::string prompt = UserPanel->PromptLine(1);
  for (bool animate : {false, true}) {
    SCOPED_TRACE(animate);
    Run(form, emRout, "SingleStep1");
    ASSERT_EQ(RTDB->SingleStepActive, 1);
    ASSERT_EQ(MyScreen->Activity, acSingleStep);
    if (animate) {
      char a = 'a';
      form.FormKeyPress(a);
      ASSERT_EQ(RTDB->Animate, 1);
    }
    // A menu waits and says why.
    Run(form, emRout, "Save1");
    EXPECT_EQ(form.HintPanel.Caption(), MenusWait("single step"));
    form.KeyDown(VK_ESCAPE);
    EXPECT_EQ(RTDB->SingleStepActive, 0);
    EXPECT_EQ(RTDB->Animate, 0);
    EXPECT_EQ(MyScreen->Activity, acIdle);
    EXPECT_EQ(UserPanel->PromptLine(1), prompt);
  }
}

// A message box is modal like a dialog: the "Working..." menu stands while it
// is up and no please-wait box stays behind it; the hint of what the pointer
// rested on goes when the pointer is over the drawing.
TEST_F(TInteractiveModesTest, MessageBoxesShowTheWorkingMenuAndOldHintsGo) {
  struct TRecorder : TMessageBoxBackend {
    TWorkspace* Form = nullptr;
    std::vector<std::string> Menus;
    std::vector<bool> Waiting;
    TModalResult ShowMessageBox(const TMessageBoxRequest&) override {
      Menus.push_back(Form->Menu() == nullptr || Form->Menu()->Items().Count() == 0
                          ? ""
                          : Form->Menu()->Items().Items().front()->Caption());
      Waiting.push_back(Form->WaitBox() != nullptr);
      return mrOk;
    }
    bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
    void Beep(uint32_t) override {}
  } recorder;
  SetMessageBoxBackend(&recorder);
  TWorkspace& form = StartProgram();
  recorder.Form = &form;
  const TMainMenu* menu = form.Menu();
  form.ShowPleaseWait("Checking Format...");
  InformationBox("Nothing was imported.");
  EXPECT_EQ(recorder.Menus, std::vector<std::string>{"Working..."});
  EXPECT_EQ(recorder.Waiting, std::vector<bool>{false});
  EXPECT_EQ(form.Menu(), menu);

  SetPointedHint("[ZA] Zoom All");
  EXPECT_EQ(form.HintPanel.Caption(), "[ZA] Zoom All");
  form.PaintBox.MouseMove(0, 20, 20);
  EXPECT_EQ(form.HintPanel.Caption(), "");
  CloseProgram();
  SetMessageBoxBackend(nullptr);
}

// Text Edit Rout edits the layer as a scratch file: saved in the editor, it
// leaves neither the file nor the editor's backup of it behind.
TEST_F(TInteractiveModesTest, TextEditRoutLeavesNothingInTheScratchFolder) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({In, In}, 0, NoZOffset);
  const std::filesystem::path scratch = std::filesystem::path(ExecutionPath()) / "SCRATCH";
  auto leftOver = [&scratch] {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(scratch)) {
      const std::string ext = entry.path().extension().string();
      if (ext == ".BAK" || ext == ".bak") names.push_back(entry.path().filename().string());
    }
    return names;
  };
  bool saved = false;
  QueueModalScript("TQuillexForm", [&](TForm& f) {
    auto& q = static_cast<TQuillexForm&>(f);
    q.Save();
    saved = true;
    f.Close();
  });
  Run(form, emRout, "TextEditRout1");
  EXPECT_TRUE(saved);
  EXPECT_EQ(leftOver(), std::vector<std::string>{});
}

// The whole tape deleted in Text Edit Rout and OK: the box speaks of the
// edited tape, never of the scratch file it was edited in, and the layer
// keeps its paths.
TEST_F(TInteractiveModesTest, AnEditedRoutTapeThatDrawsNothingKeepsTheLayer) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({In, In}, 0, NoZOffset);
  const int32_t live = RoutEntityCount;
  QueueModalScript("TQuillexForm", [](TForm& f) {
    auto& q = static_cast<TQuillexForm&>(f);
    q.Editor->Clear();
    q.Editor->SetModified(true);
    q.BottomPanel.FindControl("OKButton")->Click();
  });
  const size_t boxes = ShownMessageBoxes().size();
  Run(form, emRout, "TextEditRout1");
  ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
  EXPECT_EQ(ShownMessageBoxes().back().Text, "The edited rout tape draws nothing.\r\nThe layer was kept as it was.");
  EXPECT_EQ(RoutEntityCount, live);
  EXPECT_EQ(CurrentLayer, 40);
}

TEST_F(TInteractiveModesTest, EscapeEndsTheCouponPickAndNoTapeIsWritten) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  ToolTable[1].FirstLastHit = 1;
  DRDB->FirstLastHitDefaults.FirstHit = true;
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  int picks = 0;
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acMakeTapePick) return;
    ++picks;
    Run(form, emDrill, "New1");
    EXPECT_EQ(form.HintPanel.Caption(), MenusWait("coupon pick"));
    form.KeyDown(VK_ESCAPE);
  });
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.FirstLastCheckBox.SetChecked(true);
    d.MarkFirstCheckBox.SetChecked(false);
    d.MarkLastCheckBox.SetChecked(false);
    d.OKButton.Click();
  });
  const size_t dialogs = ShownCommonDialogs().size();
  Run(form, emDrill, "MakeDrillTape1");
  EXPECT_EQ(picks, 1);
  EXPECT_EQ(LastBox(), "The pick of the coupon corner was stopped: no drill tape was written.");
  EXPECT_EQ(ShownCommonDialogs().size(), dialogs);
  EXPECT_EQ(MyScreen->Activity, acIdle);
  EXPECT_EQ(DrillEntityCount, 1);

  // The corner typed on the command line is taken as a click; the tape's
  // file is asked for next.
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acMakeTapePick) return;
    Type(form, "2,3");
  });
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.FirstLastCheckBox.SetChecked(true);
    d.OKButton.Click();
  });
  ScriptCommonDialogCancel();
  Run(form, emDrill, "MakeDrillTape1");
  EXPECT_EQ(CouponOrigin.X, 2 * In);
  EXPECT_EQ(CouponOrigin.Y, 3 * In);
  EXPECT_EQ(ShownCommonDialogs().size(), dialogs + 1);
  EXPECT_EQ(MyScreen->Activity, acIdle);
}

// A typed point places the import exactly: "0,0" lays the tape over the
// original; a text that is no point is refused and the placement waits on.
TEST_F(TInteractiveModesTest, TheImportPlacementTakesATypedPoint) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ImportSecondPart(form, Photoplot);
  ASSERT_EQ(UserPanel->PromptLine(2), "Click where the origin of the imported file goes");
  ASSERT_EQ(DrillEntityCount, 3);
  const size_t boxes = ShownMessageBoxes().size();
  ScriptMessageBoxAnswer(mrOk);
  Type(form, "here");
  ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
  EXPECT_EQ(ShownMessageBoxes().back().Text.substr(0, 21), "<here> is illegal! Mu");
  EXPECT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  EXPECT_EQ(LiveDrillEntities(), 0);

  Type(form, "0,0");
  EXPECT_NE(ECO->ActiveCommandNumber(), cmImportFinalize);
  ASSERT_EQ(LiveDrillEntities(), 3);
  EXPECT_EQ(DRDB->EntityAt(1)->X, In);
  EXPECT_EQ(DRDB->EntityAt(1)->Y, In);
  EXPECT_EQ(DRDB->EntityAt(3)->X, 3 * In / 2);
  EXPECT_EQ(DRDB->EntityAt(3)->Y, 2 * In);
  EXPECT_EQ(UserPanel->PromptLine(3), "Pick entity to inspect > ");
  std::string step;
  ASSERT_TRUE(DrillUndo->CanUndo(step));
  EXPECT_EQ(step, "Import file");

  // A second one typed half an inch off lands there.
  ImportSecondPart(form, Photoplot);
  Type(form, "0.5,-0.25");
  ASSERT_EQ(LiveDrillEntities(), 6);
  EXPECT_EQ(DRDB->EntityAt(4)->X, In + In / 2);
  EXPECT_EQ(DRDB->EntityAt(4)->Y, In - In / 4);

  // Pan's "Pick the new centre of the view" takes one as well.
  ASSERT_TRUE(ButtonManager().Press(cmZoomPan));
  ASSERT_EQ(UserPanel->PromptLine(3), "Pick the new centre of the view > ");
  Type(form, "2,3");
  EXPECT_NEAR(MyScreen->CentreX, 2.0 * In, In / 100.0);
  EXPECT_NEAR(MyScreen->CentreY, 3.0 * In, In / 100.0);
  EXPECT_EQ(UserPanel->PromptLine(3), "Pick entity to inspect > ");
}

// Escape at the placement or at the main-part question withdraws the import:
// its hidden entities and the tools it set go; the job is saved without them.
TEST_F(TInteractiveModesTest, AWithdrawnImportTakesBackItsEntitiesAndTools) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  DRDB->AddHoleOnLayer(5 * In, 5 * In, 30, 1, true);
  const std::vector<TToolRecord> before = Tools();
  ImportSecondPart(form, Photoplot);
  ASSERT_EQ(DrillEntityCount, 4);
  ASSERT_NE(Tools(), before);  // the import set its tools
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(DrillEntityCount, 1);
  EXPECT_EQ(Tools(), before);
  EXPECT_EQ(ECO->ActiveCommandNumber(), 78);  // Inspect waits again
  EXPECT_EQ(form.HintPanel.Caption(), "The import was withdrawn; the drill database is unchanged.");

  // The main-part question answered with Escape: asked of a job without
  // drill hits only (a job that holds some has its main part).
  DRDB->MainPartSet = false;
  ASSERT_TRUE(DRDB->DeleteEntity(1));
  ScriptFileDialogAnswer(Input("MAIN.GBR", Photoplot));
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ScriptMessageBoxAnswer(mrCancel);
  Run(form, emDrill, "Import2");
  EXPECT_EQ(ShownMessageBoxes().back().Text, "Is this the main part?");
  EXPECT_EQ(DrillEntityCount, 1);
  EXPECT_EQ(Tools(), before);
  EXPECT_FALSE(DRDB->MainPartSet);
  EXPECT_EQ(ECO->ActiveCommandNumber(), 78);
  EXPECT_EQ(form.HintPanel.Caption(), "The import was withdrawn; the drill database is unchanged.");
}

}  // namespace
