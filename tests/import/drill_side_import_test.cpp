// Photoplot flashes and drawing circles taken into the drill database as
// holes, also through the Drill Import command.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "../tapein/drill_import_test_support.h"
#include "import/gerber_reader.h"
#include "import/gerber_to_drill.h"
#include "tapein/drill_import_command.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t Inch = 25400000;

using TGerberToDrillTest = TDrillImportCommandTest;

TEST_F(TGerberToDrillTest, SixDecimalInchCoordinatesKeepTheirFullPrecision) {
  // 2.6 inch: one file unit is 25.4 database units, not 25.
  const std::string file = Input("P26.GBR",
                                 "%FSLAX26Y26*%\n%MOIN*%\n%ADD10C,0.012500*%\n%ADD11C,0.031250*%\n"
                                 "G54D10*\nX1234567Y2345678D03*\nX0000001Y0000003D03*\n"
                                 "G54D11*\nX1999999Y0D03*\nM02*\n");
  ImportGerberToDrill(file);
  ASSERT_EQ(DrillEntityCount, 3);
  TIntPoint p;
  DRDB->EntityAt(1)->GetPoint(p);
  EXPECT_EQ(p.X, 31358002);  // 1.234567 in = 31,358,001.8 units
  EXPECT_EQ(p.Y, 59580221);  // 2.345678 in = 59,580,221.2 units
  DRDB->EntityAt(2)->GetPoint(p);
  EXPECT_EQ(p.X, 25);        // 25.4 rounded
  EXPECT_EQ(p.Y, 76);        // 76.2 rounded
  DRDB->EntityAt(3)->GetPoint(p);
  EXPECT_EQ(p.X, 50799975);  // 1.999999 in
  EXPECT_EQ(ToolTable[1].Diameter, 317500);
  EXPECT_EQ(ToolTable[2].Diameter, 793750);
  // Stored hidden until the import is placed.
  EXPECT_TRUE(SlotDeleted(DRDB->WordAt(1)));
}

TEST_F(TGerberToDrillTest, SevenMetricDecimalsStillScale) {
  const std::string file = Input("M37.GBR",
                                 "%FSLAX37Y37*%\n%MOMM*%\n%ADD10C,0.8000000*%\nG54D10*\n"
                                 "X12345678Y30D03*\nM02*\n");
  ImportGerberToDrill(file);
  ASSERT_EQ(DrillEntityCount, 1);
  TIntPoint p;
  DRDB->EntityAt(1)->GetPoint(p);
  EXPECT_EQ(p.X, 1234568);  // 1.2345678 mm
  EXPECT_EQ(p.Y, 3);        // 0.000003 mm
  EXPECT_EQ(ToolTable[1].Diameter, 800000);
}

TEST_F(TGerberToDrillTest, SizesGetToolsInOrderAndReuseThem) {
  // A live hole already uses tool 1: new sizes start at tool 2.
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 1, true), 0);
  ToolTable[1].Diameter = 999;
  const std::string file = Input("S.GBR",
                                 "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\n%ADD11C,0.0200*%\n"
                                 "%ADD12C,0.0100*%\nG54D10*\nX10000Y10000D03*\nG54D11*\nX20000D03*\n"
                                 "G54D12*\nX30000D03*\nM02*\n");
  ImportGerberToDrill(file);
  ASSERT_EQ(DrillEntityCount, 4);
  EXPECT_EQ(DRDB->EntityAt(2)->GetToolNumber(), 2);
  EXPECT_EQ(DRDB->EntityAt(3)->GetToolNumber(), 3);
  EXPECT_EQ(DRDB->EntityAt(4)->GetToolNumber(), 2);  // 10 mil again
  EXPECT_EQ(ToolTable[2].Diameter, 254000);
  EXPECT_EQ(ToolTable[3].Diameter, 508000);
  EXPECT_EQ(ToolTable[1].Diameter, 999);
}

TEST_F(TGerberToDrillTest, PublicPhotoplotsGiveTheirFlashesPerAperture) {
  const fs::path data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  struct TCase {
    const char* File;
    int Flashes;
    std::map<int32_t, int> PerDiameter;
    TIntPoint First;
  };
  // Counted from the files: D14 (40 mil square) 52, D17 and D20 (60 mil) 2 +
  // 30, D23 (100 mil) 10; the first flash at X250Y732 in 2.3 inch.
  const TCase cases[] = {
      {"top.gbx", 94, {{1016000, 52}, {1524000, 32}, {2540000, 10}}, {6350000, 18592800}},
      {"top-cop.gbx", 151, {}, {35292 * 2540, 27353 * 2540}},
      {"rs232_cm.top", 40, {}, {10570 * 2540, 1200 * 2540}},
      {"d1.grb", 0, {}, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    GerberImportDefaults = TGerberFormatRecord{};
    const int32_t first = DrillEntityCount + 1;
    ImportGerberToDrill((data / "gerber" / c.File).string());
    EXPECT_EQ(DrillEntityCount - first + 1, c.Flashes);
    if (!c.PerDiameter.empty()) {
      EXPECT_EQ(HolesPerDiameter(first), c.PerDiameter);
    }
    if (c.Flashes > 0) {
      TIntPoint p;
      DRDB->EntityAt(first)->GetPoint(p);
      EXPECT_EQ(p, c.First);
    }
  }
}

TEST_F(TGerberToDrillTest, DetectorKnowsPhotoplotsFromTapes) {
  const std::string gerber = Input("F.GBR",
                                   "%FSLAX24Y24*%\n%ADD10C,0.0100*%\nG54D10*\nX12345Y67890D03*\n"
                                   "X23456Y78901D03*\nM02*\n");
  // The %FS parameter announces RS-274X.
  EXPECT_DOUBLE_EQ(DetectGerberForDrill(gerber), 0.91);
  const std::string tape = Input("T.DRL", "M48\nT01C0.0100\n%\nT01\nX012345Y067890\nM30\n");
  EXPECT_LT(DetectGerberForDrill(tape), 0.6);
  EXPECT_EQ(DetectGerberForDrill(ExecutionPath() + "INDATA\\NONE.GBR"), 0.0);
}

TEST_F(TGerberToDrillTest, ApertureDefinitionsParseAsWritten) {
  TApertureRecord r;
  ASSERT_TRUE(TGerberReader::ParseApertureDefinition("ADD11R,0.0600X0.0300*%", r));
  EXPECT_EQ(r.DCode, 11);
  EXPECT_EQ(r.Shape, 1);
  EXPECT_DOUBLE_EQ(r.SizeX, 0.06);
  EXPECT_DOUBLE_EQ(r.SizeY, 0.03);
  ASSERT_TRUE(TGerberReader::ParseApertureDefinition("ADD12c,0.05*%", r));
  EXPECT_EQ(r.Shape, 3);
  EXPECT_FALSE(TGerberReader::ParseApertureDefinition("ADD13C,abc*%", r));
  // A D-code no 32-bit number holds is refused, never converted.
  EXPECT_FALSE(TGerberReader::ParseApertureDefinition("ADD5555525555*", r));
  EXPECT_FALSE(TGerberReader::ParseApertureDefinition("ADD5555525555C,0.01*", r));
  ASSERT_TRUE(TGerberReader::ParseApertureDefinition("ADD999999999C,0.01*", r));
  EXPECT_EQ(r.DCode, 999999999);
}

TEST_F(TGerberToDrillTest, ABlockLongerThanAnyPhotoplotsIsRefusedAtOnce) {
  const std::string name = Input("LONG.GBR", "%FSLAX24Y24*%\n%ADD10C,0.01*%\nX" + std::string(4 << 20, '1'));
  TGerberReader reader(name, false);
  EXPECT_FALSE(reader.Opened);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "DECODE FAILED: a block of " + name +
                " is longer than 65,536 characters!\r\nThis file is not a Gerber Photoplot.");
  // Without an end of line, blocks of a sane length are read as ever.
  std::string one = "%FSLAX24Y24*%%ADD10C,0.01*%D10*";
  for (int i = 0; i < 3000; ++i) one += "X" + std::to_string(10000 + i) + "Y10000D03*";
  ResetHeadlessDialogs();
  QueueModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  TGerberReader flat(Input("FLAT.GBR", one + "M02*"), false);
  EXPECT_TRUE(flat.Opened);
  EXPECT_TRUE(ShownMessageBoxes().empty());
}

TEST_F(TGerberToDrillTest, DrillImportTakesTheCirclesOfADrawing) {
  const std::string dxf = Input("HOLES.DXF",
                                "0\nSECTION\n2\nENTITIES\n0\nCIRCLE\n8\n0\n10\n1\n20\n1\n40\n0.02\n"
                                "0\nCIRCLE\n8\n0\n10\n2\n20\n1\n40\n0.02\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n0\n"
                                "0\nENDSEC\n0\nEOF\n");
  ScriptFileDialogAnswer(NativePath(dxf));
  int offered = -1;
  QueueModalScript("TForceDrillFormatDialog", [&offered](TForm& f) {
    offered = f.Get<TComboBox>("PullDown").ItemIndex();
    f.Click("OKButton");
  });
  QueueModalScript("TDrawingUnits", [](TForm& f) { f.Click("OKButton"); });
  ScriptMessageBoxAnswer(mrYes);  // the main part
  QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  ImportDrillFile();
  EXPECT_EQ(offered, ifDxf);
  ASSERT_EQ(DrillEntityCount, 2);
  EXPECT_EQ(HolesPerDiameter(), (std::map<int32_t, int>{{1016000, 2}}));
  TIntPoint p;
  DRDB->EntityAt(2)->GetPoint(p);
  EXPECT_EQ(p, (TIntPoint{2 * Inch, Inch}));
}

TEST_F(TGerberToDrillTest, DrillImportTakesALaserFile) {
  const std::string las = Input("LASER.LAS", "%\n(ESI 5100)\nT0 3\nT2 127\nT1 1\nX25400 Y0\nX50800 Y25400\nM02\n");
  ScriptFileDialogAnswer(NativePath(las));
  int offered = -1;
  QueueModalScript("TForceDrillFormatDialog", [&offered](TForm& f) {
    offered = f.Get<TComboBox>("PullDown").ItemIndex();
    f.Click("OKButton");
  });
  ScriptMessageBoxAnswer(mrYes);  // the main part
  QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  ImportDrillFile();
  EXPECT_EQ(offered, ifEsi);
  ASSERT_EQ(DrillEntityCount, 2);
  EXPECT_EQ(HolesPerDiameter(), (std::map<int32_t, int>{{127000, 2}}));
  TIntPoint p;
  DRDB->EntityAt(2)->GetPoint(p);
  EXPECT_EQ(p, (TIntPoint{2 * Inch, Inch}));
}

TEST_F(TGerberToDrillTest, DrillImportReadsTheHolesOfAJobTree) {
  const fs::path root = TempDir / "job";
  fs::create_directories(root / "matrix");
  fs::create_directories(root / "steps/pcb/layers/drill");
  WriteFileBytes(root / "matrix/matrix",
                 "STEP {\n COL=1\n NAME=PCB\n}\nLAYER {\n ROW=1\n CONTEXT=BOARD\n TYPE=DRILL\n"
                 " NAME=DRILL\n POLARITY=POSITIVE\n START_NAME=\n END_NAME=\n}\n");
  WriteFileBytes(root / "steps/pcb/stephdr", "");
  WriteFileBytes(root / "steps/pcb/profile", "");
  WriteFileBytes(root / "steps/pcb/layers/drill/features",
                 "UNITS=MM\n$0 r800\nP 25.4 25.4 0 P 0 0\nP 50.8 25.4 0 P 0 0\n");
  ScriptFileDialogAnswer(NativePath((root / "matrix/matrix").string()));
  int offered = -1;
  QueueModalScript("TForceDrillFormatDialog", [&offered](TForm& f) {
    offered = f.Get<TComboBox>("PullDown").ItemIndex();
    f.Click("OKButton");
  });
  QueueModalScript("TValorLayerDialog", [](TForm& f) {
    f.Click("Layer1");
    f.Click("OKButton");
  });
  ScriptMessageBoxAnswer(mrYes);  // the main part
  QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  ImportDrillFile();
  EXPECT_EQ(offered, ifValor);
  ASSERT_EQ(DrillEntityCount, 2);
  EXPECT_EQ(HolesPerDiameter(), (std::map<int32_t, int>{{800000, 2}}));
  TIntPoint p;
  DRDB->EntityAt(2)->GetPoint(p);
  EXPECT_EQ(p, (TIntPoint{2 * Inch, Inch}));
}

}  // namespace
