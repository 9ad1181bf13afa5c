// The Drill Import command: format detection, the format dialog, placement
// as the main part and the hand-over to the interactive placement.
#include <gtest/gtest.h>

#include <filesystem>

#include "command/command_interpreter.h"
#include "command/input_event.h"
#include "command/user_panel.h"
#include "drill_import_test_support.h"
#include "tapein/drill_import_command.h"

namespace fs = std::filesystem;

namespace {

const char* const Photoplot =
    "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\n%ADD11C,0.0200*%\nG54D10*\nX10000Y10000D03*\n"
    "X12000Y10000D03*\nG54D11*\nX15000Y20000D03*\nX16000Y21000D03*\nX17000Y22000D03*\n"
    "X18000Y23000D03*\nX19000Y24000D03*\nM02*\n";

void ChooseFormat(uint8_t format) {
  QueueModalScript("TForceDrillFormatDialog", [format](TForm& f) {
    f.Get<TComboBox>("PullDown").SetItemIndex(format);
    f.Click("OKButton");
  });
}

double Fixed(const std::string&) { return 0.7; }
double FixedClose(const std::string&) { return 0.75; }
double FixedHigh(const std::string&) { return 0.9; }
double Nothing(const std::string&) { return 0.0; }

TEST_F(TDrillImportCommandTest, DetectionPicksTheBestClearScore) {
  const std::string gerber = Input("A.GBR", Photoplot);
  uint8_t format = 99;
  ASSERT_TRUE(DetectImportFormat(gerber, format));
  EXPECT_EQ(format, ifGerber);
  const std::string tape = Input("A.DRL", "M48\nINCH,LZ\nT01C0.0100\n%\nT01\nX012345Y067890\n"
                                          "X023456Y078901\nX034567Y089012\nM30\n");
  ASSERT_TRUE(DetectImportFormat(tape, format));
  EXPECT_EQ(format, ifExcellon);

  // Two scores above 0.6 within 0.12, the later higher: no decision.
  SetDrillFormatImporter(ifValor, {Fixed, nullptr});
  SetDrillFormatImporter(ifEsi, {FixedClose, nullptr});
  ASSERT_TRUE(DetectImportFormat(Input("N.TXT", "nothing\n"), format));
  EXPECT_EQ(format, ifUnrecognized);
  // A DXF score never makes the result doubtful.
  SetDrillFormatImporter(ifValor, {Nothing, nullptr});
  SetDrillFormatImporter(ifEsi, {Nothing, nullptr});
  SetDrillFormatImporter(ifDxf, {FixedHigh, nullptr});
  ASSERT_TRUE(DetectImportFormat(Input("N.TXT", "nothing\n"), format));
  EXPECT_EQ(format, ifDxf);
  SetDrillFormatImporter(ifDxf, {});

  EXPECT_FALSE(DetectImportFormat(ExecutionPath() + "INDATA\\MISSING.GBR", format));
  EXPECT_EQ(ShownMessageBoxes().back().Type, mtError);
}

// A short Excellon tape is offered as Excellon with a punch's blank leader
// and trailer of NULs as without them, the leader on lines of its own or
// ahead of the first block; a file ending in more zero bytes than a tape's
// trailer holds is left to the user, unless its program ended before them
// (M30), where the reader stops. A TAB is a blank, no sign of a binary file.
TEST_F(TDrillImportCommandTest, DetectionReadsPastABlankLeaderAndTrailer) {
  const std::string body = "M48\r\nINCH,LZ\r\nT01C0.0400\r\nT02C0.0200\r\n%\r\nT01\r\nX012345Y006789\r\n"
                           "X023456Y017890\r\nT02\r\nX015000Y020000\r\n";
  const std::string nuls(300, '\0');
  const struct {
    std::string Lead, Tail;
    uint8_t Format;
    std::string End = "M30\r\n";
  } cases[] = {
      {"", "", ifExcellon},
      {"", nuls, ifExcellon},
      {nuls, "", ifExcellon},
      {nuls + "\r\n" + nuls, "\x1a" + nuls + "\r\n" + nuls, ifExcellon},
      {"", std::string(100000, '\0'), ifExcellon},
      {"", std::string(100000, '\0'), ifUnrecognized, ""},
      {"", std::string(100000, '\0'), ifUnrecognized, "M16\r\n"},
      // A TAB between two words is a blank, here as to the reader, in a
      // short tape with a long line as in any.
      {";" + std::string(300, '=') + "\r\n", "", ifExcellon, "X012345\tY016789\r\nM30\r\n"},
  };
  for (const auto& c : cases) {
    uint8_t format = 99;
    ASSERT_TRUE(DetectImportFormat(Input("BLANK.DRL", c.Lead + body + c.End + c.Tail), format));
    EXPECT_EQ(format, c.Format) << c.Lead.size() << " " << c.Tail.size() << " " << c.End;
  }
}

TEST_F(TDrillImportCommandTest, MainPartGoesLiveOnTheChosenLayerAsOneUndoStep) {
  const std::string gerber = Input("MAIN.GBR", Photoplot);
  ScriptFileDialogAnswer(NativePath(gerber));
  ChooseFormat(ifGerber);
  ScriptMessageBoxAnswer(mrYes);  // the main part
  QueueModalScript("TPickDrillLayerDialog", [](TForm& f) {
    f.Get<TRadioGroup>("LayerGroup").SetItemIndex(2);
    f.Click("OKButton");
  });
  ImportDrillFile();
  ASSERT_EQ(DrillEntityCount, 7);
  EXPECT_TRUE(DRDB->MainPartSet);
  for (int32_t i = 1; i <= 7; ++i) EXPECT_EQ(DRDB->WordAt(i), NCLayerBit(32)) << i;
  EXPECT_EQ(HolesPerDiameter(), (std::map<int32_t, int>{{254000, 2}, {508000, 5}}));
  EXPECT_EQ(NativePath(DrillImportPath), NativePath(ExecutionPath() + "INDATA\\"));
  EXPECT_EQ(DatabaseFileName, DatabasePath + "MAIN.ZUL");
  std::string step;
  ASSERT_TRUE(DrillUndo->CanUndo(step));
  EXPECT_EQ(step, "Import file");
  DrillUndo->Undo();
  for (int32_t i = 1; i <= 7; ++i) EXPECT_TRUE(SlotDeleted(DRDB->WordAt(i)) || DRDB->WordAt(i) != NCLayerBit(32));
}

// Live hits on a drill layer, counted from the index on.
int LiveHits(int32_t first = 1) {
  int live = 0;
  for (int32_t i = first; i <= DrillEntityCount; ++i) live += !SlotDeleted(DRDB->WordAt(i));
  return live;
}

TInputEvent LeftClickAt(int32_t x, int32_t y) {
  TInputEvent click;
  click.Kind = ievMouseDown;
  click.Buttons = mbtLeft;
  click.WorldX = x;
  click.WorldY = y;
  return click;
}

void PickLayer(int index) {
  QueueModalScript("TPickDrillLayerDialog", [index](TForm& f) {
    f.Get<TRadioGroup>("LayerGroup").SetItemIndex(index);
    f.Click("OKButton");
  });
}

TEST_F(TDrillImportCommandTest, UndoingTheMainPartImportAsksForTheMainPartAgain) {
  DRDB->G93OriginX = 11;
  DRDB->G93OriginY = 22;
  const std::string gerber = Input("MAIN.GBR", Photoplot);
  auto importAsMainPart = [&] {
    ScriptFileDialogAnswer(NativePath(gerber));
    ChooseFormat(ifGerber);
    ScriptMessageBoxAnswer(mrYes);
    PickLayer(0);
    ImportDrillFile();
  };
  importAsMainPart();
  ASSERT_TRUE(DRDB->MainPartSet);
  const int32_t originX = DRDB->G93OriginX, originY = DRDB->G93OriginY;
  DrillUndo->Undo();
  EXPECT_FALSE(DRDB->MainPartSet);
  EXPECT_EQ(DRDB->G93OriginX, 11);
  EXPECT_EQ(DRDB->G93OriginY, 22);
  DrillUndo->Redo();
  EXPECT_TRUE(DRDB->MainPartSet);
  EXPECT_EQ(DRDB->G93OriginX, originX);
  EXPECT_EQ(DRDB->G93OriginY, originY);
  DrillUndo->Undo();
  // Imported again, the file is again offered as the main part and goes live.
  const size_t shown = ShownMessageBoxes().size();
  importAsMainPart();
  bool asked = false;
  for (size_t i = shown; i < ShownMessageBoxes().size(); ++i)
    asked = asked || ShownMessageBoxes()[i].Text == "Is this the main part?";
  EXPECT_TRUE(asked);
  EXPECT_EQ(LiveHits(), 7);
}

// A command that puts back the prompt lines it found when it is cancelled,
// as the commands of the command language do.
class TPromptKeepingCommand : public TInteractiveCommand {
 public:
  TPromptKeepingCommand() { UserPanel->SavePrompts(saved_); }
  uint16_t InputMode() const override { return ievMouseDown; }
  bool HandleEvent(TInputEvent&) override { return true; }
  void Cancel() override { UserPanel->RestorePrompts(saved_); }

 private:
  TPromptBuffer saved_;
};

TEST_F(TDrillImportCommandTest, ASecondPartIsPlacedWhereTheUserClicks) {
  TCommandInterpreter interpreter;
  ECO = &interpreter;
  TUserPanel panel;
  UserPanel = &panel;
  interpreter.SetActiveCommand(std::make_unique<TPromptKeepingCommand>());
  DRDB->MainPartSet = true;
  const std::string gerber = Input("SECOND.GBR", Photoplot);
  ScriptFileDialogAnswer(NativePath(gerber));
  QueueModalScript("TForceDrillFormatDialog", [&panel](TForm& f) {
    EXPECT_EQ(panel.PromptLine(1), "Drill Import > ");
    EXPECT_EQ(panel.PromptLine(3), "");
    f.Get<TComboBox>("PullDown").SetItemIndex(ifGerber);
    f.Click("OKButton");
  });
  PickLayer(1);
  ImportDrillFile();
  EXPECT_EQ(panel.PromptLine(1), "Import Placement > ");
  EXPECT_EQ(panel.PromptLine(3), "");
  ASSERT_EQ(DrillEntityCount, 7);
  // No question was asked; the entities wait hidden for the click.
  for (const auto& box : ShownMessageBoxes()) EXPECT_NE(box.Text, "Is this the main part?");
  EXPECT_EQ(LiveHits(), 0);
  EXPECT_EQ(DRDB->ImportPlacement.FirstIndex, 1);
  EXPECT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
  const int32_t before = DRDB->EntityAt(1)->X;
  // The placement says what it waits for; the command it replaced, which
  // put back the prompts it found as it ended, did so before.
  ASSERT_NE(UserPanel, nullptr);
  EXPECT_EQ(UserPanel->PromptLine(1), "Import Placement > ");
  EXPECT_EQ(UserPanel->PromptLine(2), "Click where the origin of the imported file goes");

  // A right click is not the placement; the left click is.
  TInputEvent right = LeftClickAt(1000, 2000);
  right.Buttons = mbtRight;
  ECO->HandleEvent(right);
  EXPECT_EQ(LiveHits(), 0);
  TInputEvent click = LeftClickAt(254000, -508000);
  ECO->HandleEvent(click);
  EXPECT_EQ(ECO->ActiveCommand(), nullptr);
  EXPECT_EQ(LiveHits(), 7);
  for (int32_t i = 1; i <= 7; ++i) EXPECT_EQ(DRDB->WordAt(i), NCLayerBit(31)) << i;
  EXPECT_EQ(DRDB->EntityAt(1)->X, before + 254000);
  std::string step;
  ASSERT_TRUE(DrillUndo->CanUndo(step));
  EXPECT_EQ(step, "Import file");
  DrillUndo->Undo();
  EXPECT_EQ(LiveHits(), 0);
  ECO = nullptr;
  UserPanel = nullptr;
}

// Import, Undo, import the same file again: nothing is lost on the way.
TEST_F(TDrillImportCommandTest, AnImportUndoneAndImportedAgainEndsWithEveryHitLive) {
  TCommandInterpreter interpreter;
  ECO = &interpreter;
  const std::string gerber = Input("AGAIN.GBR", Photoplot);
  ScriptFileDialogAnswer(NativePath(gerber));
  ChooseFormat(ifGerber);
  ScriptMessageBoxAnswer(mrYes);
  PickLayer(0);
  ImportDrillFile();
  EXPECT_EQ(LiveHits(), 7);
  DrillUndo->Undo();
  EXPECT_EQ(LiveHits(), 0);

  // The undone import took its main-part answer with it: the question comes
  // again, and "No" places this one by a click.
  ScriptFileDialogAnswer(NativePath(gerber));
  ChooseFormat(ifGerber);
  ScriptMessageBoxAnswer(mrNo);
  PickLayer(0);
  ImportDrillFile();
  TInputEvent click = LeftClickAt(0, 0);
  ECO->HandleEvent(click);
  EXPECT_EQ(DrillEntityCount, 14);
  EXPECT_EQ(LiveHits(), 7);
  EXPECT_EQ(LiveHits(8), 7);

  // "No" to the main-part question leads to the same placement.
  delete DRDB;
  DRDB = new TDrillDatabase();
  ScriptFileDialogAnswer(NativePath(gerber));
  ChooseFormat(ifGerber);
  ScriptMessageBoxAnswer(mrNo);
  PickLayer(2);
  ImportDrillFile();
  EXPECT_FALSE(DRDB->MainPartSet);
  EXPECT_EQ(LiveHits(), 0);
  click = LeftClickAt(0, 0);
  ECO->HandleEvent(click);
  EXPECT_EQ(LiveHits(), 7);
  EXPECT_EQ(DRDB->WordAt(1), NCLayerBit(32));

  // Cancelled (Escape, a layer change): the hidden entities stay hidden and
  // the job is as it was.
  ScriptFileDialogAnswer(NativePath(gerber));
  ChooseFormat(ifGerber);
  ScriptMessageBoxAnswer(mrNo);
  PickLayer(2);
  ImportDrillFile();
  ECO->CancelCommand();
  EXPECT_EQ(LiveHits(), 7);
  ECO = nullptr;
}

TEST_F(TDrillImportCommandTest, CancelAnywhereOrAnEmptyImportChangesNothing) {
  const std::string gerber = Input("C.GBR", Photoplot);
  ScriptCommonDialogCancel();
  ImportDrillFile();
  ScriptFileDialogAnswer(NativePath(gerber));
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("CancelButton"); });
  ImportDrillFile();
  EXPECT_EQ(DrillEntityCount, 0);

  // View File shows the file and the dialog comes back.
  ScriptFileDialogAnswer(NativePath(gerber));
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("ViewButton"); });
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("CancelButton"); });
  ImportDrillFile();
  ASSERT_FALSE(HeadlessViewServices().Reports.empty());
  EXPECT_EQ(HeadlessViewServices().Reports.back().Lines.front(), "%FSLAX24Y24*%");

  // A photoplot without flashes: no question, no placement.
  ScriptFileDialogAnswer(NativePath(Input("E.GBR", "%FSLAX24Y24*%\nG54D10*\nX1Y1D02*\nM02*\n")));
  ChooseFormat(ifGerber);
  ImportDrillFile();
  EXPECT_EQ(DrillEntityCount, 0);
  EXPECT_FALSE(DRDB->MainPartSet);
}

TEST_F(TDrillImportCommandTest, FormatsWithoutAReaderSaySoPlainly) {
  ScriptFileDialogAnswer(NativePath(Input("P.LAS", "nothing\n")));
  SetDrillFormatImporter(ifEsi, {});  // as before the laser reader is installed
  ChooseFormat(ifEsi);
  ImportDrillFile();
  EXPECT_EQ(ShownMessageBoxes().back().Text, "ESI Laser files cannot be imported into drill layers yet.");
  EXPECT_EQ(DrillEntityCount, 0);
}

TEST_F(TDrillImportCommandTest, ExcellonTapesGoThroughTheDrillTapeImport) {
  const fs::path data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  // A drill drawing that carries the .grb extension is an Excellon tape.
  const std::string file = (data / "gerber" / "numpres.pcb.output_plated-drill.grb").string();
  uint8_t format = 0;
  ASSERT_TRUE(DetectImportFormat(file, format));
  EXPECT_EQ(format, ifExcellon);
}

}  // namespace
