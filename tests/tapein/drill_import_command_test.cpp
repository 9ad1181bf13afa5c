// The Drill Import command: format detection, the format dialog, placement
// as the main part and the hand-over to the interactive placement.
#include <gtest/gtest.h>

#include <filesystem>

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

TEST_F(TDrillImportCommandTest, ASecondImportIsHandedToThePlacement) {
  DRDB->MainPartSet = true;
  const std::string gerber = Input("SECOND.GBR", Photoplot);
  ScriptFileDialogAnswer(NativePath(gerber));
  ChooseFormat(ifGerber);
  ImportDrillFile();
  ASSERT_EQ(DrillEntityCount, 7);
  // No question was asked; the entities wait hidden for the placement.
  for (const auto& box : ShownMessageBoxes()) EXPECT_NE(box.Text, "Is this the main part?");
  EXPECT_TRUE(SlotDeleted(DRDB->WordAt(1)));
  EXPECT_EQ(DRDB->ImportPlacement.FirstIndex, 1);
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
  ScriptFileDialogAnswer(NativePath(Input("P.DXF", "0\nSECTION\n")));
  ChooseFormat(ifDxf);
  ImportDrillFile();
  EXPECT_EQ(ShownMessageBoxes().back().Text, "DXF files cannot be imported into drill layers yet.");
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
