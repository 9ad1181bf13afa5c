// Small files whose reading would multiply: macros drawn into millions of
// points, flashes past the drawing's room, step lists that expand past what
// a job holds, patterns of thousands of repeats, a job store filled by an
// ODB++ layer. Each reads in moments through the started program, ending
// with one box naming the file and the job as it was, or with the job read
// whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "entity_counts.h"
#include "import/gerber_macro.h"
#include "import/import_frame.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/job_file_reader.h"
#include "model/rout_database.h"
#include "model/step_repeat.h"
#include "platform/headless/headless_dialogs.h"
#include "workspace_test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t In = 25400000;

class THostileFileImportTest : public TWorkspaceDialogsTest {
 protected:
  void SetUp() override {
    TWorkspaceDialogsTest::SetUp();
    for (const char* form : {"TDrawingUnits", "TGerberDrillDialog"})
      RegisterModalScript(form, [](TForm& f) { f.Click("OKButton"); });
  }
  static int32_t LiveRouts() {
    int32_t n = 0;
    for (int32_t i = 1; i <= RoutEntityCount; ++i)
      if (RTDB->EntityAt(i) != nullptr && !SlotDeleted(RTDB->SlotAt(i)->Flags)) ++n;
    return n;
  }
  static std::string Repeat(const std::string& text, int times) {
    std::string all;
    for (int k = 0; k < times; ++k) all += text;
    return all;
  }
};

TEST_F(THostileFileImportTest, PhotoplotMacrosAndFlashesPastTheDrawingEndWithABoxAndTheDrawingAsItWas) {
  TWorkspace& form = StartProgram();
  DB->AddLineOnLayer(0, 0, In, In, 0);
  const auto counts = CadCounts();
  const std::string head = "%FSLAX24Y24*%\n%MOIN*%\n";

  // Forty-one polygons of 100,000 vertices: a line of text for millions of
  // points. The allowance is the file's, not the aperture's.
  const std::string polygons = Input(
      "POLYGONS.GBR", head + "%AMPOLY*" + Repeat("5,1,100000,0,0,1,0*", 41) + "%\n%ADD10POLY*%\nD10*\nX0Y0D03*\nM02*\n");
  ImportIntoCad(form, polygons, fcGerber);
  EXPECT_EQ(LastBox(), polygons + ", line 4: the aperture macros make more than 4,000,000 points (macro POLY); no job "
                                  "holds them\r\nNothing was imported.");
  EXPECT_EQ(CadCounts(), counts);
  const std::string apertures =
      Input("APERTURES.GBR", head + "%AMRING*5,1,100000,0,0,1,0*%\n" + Repeat("%ADD10RING*%\n", 41) + "D10*\nX0Y0D03*\nM02*\n");
  ImportIntoCad(form, apertures, fcGerber);
  EXPECT_NE(LastBox().find("the aperture macros make more than 4,000,000 points (macro RING)"), std::string::npos)
      << LastBox();
  EXPECT_EQ(CadCounts(), counts);

  // One polygon within the allowance, flashed until the drawing is full:
  // the reading stops at the flash that passes its room.
  const std::string flashes = Input("FLASHES.GBR", head + "%AMPOLY*5,1,100000,0,0,1,0*%\n%ADD10POLY*%\nD10*\n" +
                                                       Repeat("X0Y0D03*\n", 200) + "M02*\n");
  ImportIntoCad(form, flashes, fcGerber);
  EXPECT_EQ(LastBox(), flashes + ", line 15: the file draws more entities than the CAD drawing has room for "
                                 "(999,999 more)\r\nNothing was imported.");
  EXPECT_EQ(CadCounts(), counts);
  EXPECT_EQ(DatabaseFileName, "");

  // An expression nested past any macro costs its aperture's flashes, not
  // the program; the rest of the file is drawn.
  const std::string deep = Input("DEEP.GBR", head + "%AMDEEP*1,1," + Repeat(std::string(1000, '(') + "\n", 100) + "1" +
                                                 Repeat(std::string(1000, ')') + "\n", 100) +
                                                 ",0,0*%\n%ADD10DEEP*%\n%ADD11C,0.01*%\nD10*\nX0Y0D03*\nD11*\n"
                                                 "X10000Y0D03*\nM02*\n");
  const int32_t before = CadEntityCount;
  ImportIntoCad(form, deep, fcGerber);
  EXPECT_NE(LastBox().find("1 flashes of D10 (the macro DEEP holds a bad value in \"1,1," + std::string(36, '(') +
                           "...\" (200,009 characters))"),
            std::string::npos)
      << LastBox();
  // The statement is quoted by its start: the box stays readable.
  EXPECT_LT(LastBox().size(), 600u);
  EXPECT_EQ(CadEntityCount, before + 1);
}

TEST_F(THostileFileImportTest, StepListsThatExpandPastAJobAreRefusedAndLongOnesReadInOnePass) {
  TWorkspace& form = StartProgram();
  DB->AddLineOnLayer(0, 0, In, In, 0);
  const std::string kept = (TempDir / "KEPT.ZUL").string();
  ScriptFileDialogAnswer(kept);
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|Save &As"));
  const auto counts = CadCounts();
  const std::string head = "0\nHEADER\n999\nOrbenwright ZUL Database format file\n0\nENDSEC\n0\nSTEPSECTION\n";
  const std::string tail = "0\nENDSEC\n0\nENTITIES\n0\nDRILLHOLE\n8\n0\n10\n1000\n20\n2000\n50\n1\n52\n1\n0\nENDSEC\n0\nEOF\n";
  // Each list alone is within its 65,535 copies; together, each used by a
  // hole, they are not (the job's bound lowered: the real one lies past
  // what seventy such lists come to).
  std::string lists, holes;
  for (int id = 1; id <= 70; ++id) {
    lists += "0\nSTEPLIST\n0\nM01\n0\nM02\n10\n1\n70\n65535\n0\nM08\n52\n" + std::to_string(id) + "\n0\nENDSTEPLIST\n";
    holes += "0\nDRILLHOLE\n10\n" + std::to_string(id * 1000) + "\n50\n1\n52\n" + std::to_string(id) + "\n";
  }
  const std::string many =
      Input("MANY.ZUL", head + lists + "0\nENDSEC\n0\nENTITIES\n" + holes + "0\nENDSEC\n0\nEOF\n");
  SetJobStepWorkLimit(1000000);  // a job file takes twice that
  struct TRestore {
    ~TRestore() { SetJobStepWorkLimit(0); }
  } restore;
  ScriptFileDialogAnswer(many);
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|&Open"));
  EXPECT_EQ(LastBox(), "The job file " + many + " cannot be read.\r\nLine 500: the step lists up to step list 31 come "
                       "to more than 2,000,000 commands and copies.\r\nThe job was left as it was.");
  EXPECT_EQ(CadCounts(), counts);
  EXPECT_EQ(DatabaseFileName, kept);
  // Used by one hole only, the other lists are never expanded.
  const std::string one = Input("ONE.ZUL", head + lists + tail);
  ScriptFileDialogAnswer(one);
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|&Open"));
  EXPECT_EQ(DatabaseFileName, one) << LastBox();
  ASSERT_EQ(DrillEntityCount, 1);
  ASSERT_NE(DRDB->EntityAt(1)->StepObj, nullptr);
  EXPECT_EQ(DRDB->EntityAt(1)->StepObj->CopyCount(), 65534);

  // A list of 30,000 single steps: each copy sums the steps before it.
  std::string steps = "0\nSTEPLIST\n0\nM01\n";
  for (int k = 0; k < 30000; ++k) steps += "0\nM02\n10\n" + std::to_string(k % 2 == 0 ? 1 : 2) + "\n";
  steps += "0\nM02\n0\nM08\n52\n1\n0\nENDSTEPLIST\n";
  const std::string single = Input("SINGLE.ZUL", head + steps + tail);
  ScriptFileDialogAnswer(single);
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|&Open"));
  EXPECT_EQ(DatabaseFileName, single) << LastBox();
  ASSERT_EQ(DrillEntityCount, 1);
  TStepObject* step = DRDB->EntityAt(1)->StepObj;
  ASSERT_NE(step, nullptr);
  EXPECT_EQ(step->CopyCount(), 30000);
}

// A tape's pattern of thousands of single repeats, one M02 a line, is read
// in one pass of its list.
TEST_F(THostileFileImportTest, APatternOfThousandsOfRepeatsReadsAsOneStepList) {
  TWorkspace& form = StartProgram();
  CloseResultWindows();
  SelectLayer(30);
  const std::string tape =
      Input("REPEATS.DRL", "M48\nINCH,TZ\nT1C0.0100\n%\nT1\nM25\nX001000Y001000\nM01\n" + Repeat("M02X0001\n", 30000) + "M08\nM30\n");
  ImportExcellonTape(form, tape);
  ASSERT_EQ(LiveDrillEntities(), 1) << LastBox();
  TDrillEntity* hole = nullptr;
  for (int32_t i = 1; i <= DrillEntityCount && hole == nullptr; ++i)
    if (static_cast<int32_t>(DRDB->WordAt(i)) > 0) hole = DRDB->EntityAt(i);
  ASSERT_NE(hole, nullptr);
  ASSERT_NE(hole->StepObj, nullptr);
  EXPECT_EQ(hole->StepObj->CopyCount(), 30000);
}

// An ODB++ rout layer that fills the rout database: one box naming the job,
// and the layers as they were.
TEST_F(THostileFileImportTest, AnOdbLayerPastTheRoutDatabaseEndsWithOneBoxAndTheJobAsItWas) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  while (RoutEntityCount < 99990) RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  const int32_t routs = LiveRouts();
  const fs::path job = TempDir / "panel";
  fs::create_directories(job / "matrix");
  fs::create_directories(job / "steps/pcb/layers/rout");
  std::ofstream(job / "matrix/matrix") << "STEP {\n COL=1\n NAME=PCB\n}\nLAYER {\n ROW=1\n CONTEXT=BOARD\n"
                                          " TYPE=ROUT\n NAME=ROUT\n POLARITY=POSITIVE\n}\n";
  std::string features = "UNITS=INCH\n@0 .rout_chain\n@1 .comp\n$0 r100\n";
  for (int k = 0; k < 40; ++k)
    features += "L " + std::to_string(k) + " 0 " + std::to_string(k + 1) + " 0 0 P 0;0=" + std::to_string(k + 1) + ",1=0\n";
  std::ofstream(job / "steps/pcb/layers/rout/features") << features;
  std::ofstream(job / "steps/pcb/profile") << "";
  std::ofstream(job / "steps/pcb/stephdr") << "";
  QueueModalScript("TValorLayerDialog", [](TForm& f) {
    f.Click("Step1");
    f.Click("OKButton");
  });
  const size_t boxes = ShownMessageBoxes().size();
  ImportIntoCad(form, (job / "matrix/matrix").string(), fcOdb);
  ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
  EXPECT_EQ(LastBox(), "<" + job.string() + ">: The rout database is full: it holds at most 100,000 entities.\r\n"
                       "Nothing was imported.");
  EXPECT_EQ(LiveRouts(), routs);
}

}  // namespace
