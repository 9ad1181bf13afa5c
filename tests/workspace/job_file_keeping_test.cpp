// What Save and Open keep through the started program: another job's file
// is replaced only when the user says so, a previous version kept under a
// temporary name outlives the next save, and a stepped hole split on a full
// store keeps its hits.
#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/file_utils.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/job_file_reader.h"
#include "model/job_file_writer.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/tool_tables.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/step_repeat.h"
#include "platform/file_ops.h"
#include "workspace_test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t Inch = 25400000;

class TJobFileKeepingTest : public TWorkspaceDialogsTest {
 protected:
  // The job's step bound lowered for a test (reaching the real one takes
  // seconds under the sanitizers), the real one again after it.
  struct TStepBound {
    explicit TStepBound(int64_t work) { SetJobStepWorkLimit(work); }
    ~TStepBound() { SetJobStepWorkLimit(0); }
  };
  // File > Save As under the name, then File > Open of it, through the menus
  // of the mode: neither says a word, and the job read carries the name.
  static void SaveAndOpen(TWorkspace& form, uint8_t mode, const std::string& job) {
    const size_t boxes = ShownMessageBoxes().size();
    ScriptFileDialogAnswer(job);
    Run(form, mode, "SaveAs1");
    ASSERT_FALSE(DatabaseModified) << LastBox();
    ScriptFileDialogAnswer(job);
    Run(form, mode, "Open1");
    EXPECT_EQ(ShownMessageBoxes().size(), boxes) << LastBox();
    EXPECT_EQ(DatabaseFileName, job);
    EXPECT_FALSE(DatabaseModified);
  }
  // The copies of each live drill entity's pattern (0: none).
  static std::vector<std::size_t> DrillPatternCopies() {
    std::vector<std::size_t> copies;
    for (int32_t i = 1; i <= DrillEntityCount; ++i)
      if (static_cast<int32_t>(DRDB->WordAt(i)) > 0)
        copies.push_back(DRDB->EntityAt(i)->GetStepObj() ? DRDB->EntityAt(i)->GetStepObj()->Offsets().size() : 0);
    return copies;
  }
  // Drill Import of the Excellon tape with its results window, whose text
  // is given back.
  std::string ImportWithResults(TWorkspace& form, const std::string& name, const std::string& tape) {
    SelectLayer(30);
    std::string report;
    CloseResultWindows(&report);
    ImportExcellonTape(form, Input(name, tape), mrYes, true);
    HeadlessSetProcessMessagesHook(nullptr);
    return report;
  }
  // The names in the test folder that begin with prefix, sorted.
  std::vector<std::string> FilesStartingWith(const std::string& prefix) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(TempDir))
      if (e.path().filename().string().rfind(prefix, 0) == 0) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(TJobFileKeepingTest, SavingAJobReadFromAnotherExtensionAsksBeforeReplacingThatJobsFile) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ASSERT_NE(DRDB->AddHole(Inch, Inch, true), 0);
  // A job file named FOO.JOB, and another job in FOO.ZUL beside it.
  const std::string other = (TempDir / "OTHER.ZUL").string();
  ScriptFileDialogAnswer(other);
  Run(form, emDrill, "SaveAs1");
  ASSERT_FALSE(DatabaseModified);
  const std::string job = (TempDir / "FOO.JOB").string();
  fs::copy_file(other, job);
  const std::string zul = (TempDir / "FOO.ZUL").string();
  WriteFileBytes(zul, "0\r\nHEADER\r\nanother job\r\n");
  ScriptFileDialogAnswer(job);
  Run(form, emDrill, "Open1");
  ASSERT_EQ(DatabaseFileName, job);

  // F2: the question; No asks for a name (cancelled), FOO.ZUL untouched.
  const std::string question = "File <" + zul + "> exists!\r\nDo you wish to overwrite it?";
  ResetHeadlessDialogs();
  ScriptMessageBoxAnswer(mrNo);
  ScriptCommonDialogCancel();
  EXPECT_TRUE(form.Menu()->ClickShortCut("F2"));
  EXPECT_EQ(LastBox(), question);
  EXPECT_EQ(ShownCommonDialogs().size(), 1u);
  EXPECT_EQ(ReadFileBytes(zul), "0\r\nHEADER\r\nanother job\r\n");
  EXPECT_FALSE(fs::exists(TempDir / "FOO.~ZU"));
  EXPECT_EQ(DatabaseFileName, job);

  // Yes replaces it, keeps it as the backup, and the next F2 asks no more.
  ScriptMessageBoxAnswer(mrYes);
  EXPECT_TRUE(form.Menu()->ClickShortCut("F2"));
  EXPECT_EQ(ReadFileBytes(zul), ReadFileBytes(job));
  EXPECT_EQ(ReadFileBytes(TempDir / "FOO.~ZU"), "0\r\nHEADER\r\nanother job\r\n");
  const std::size_t boxes = ShownMessageBoxes().size();
  DatabaseModified = true;
  EXPECT_TRUE(form.Menu()->ClickShortCut("F2"));
  EXPECT_EQ(ShownMessageBoxes().size(), boxes);
  EXPECT_FALSE(DatabaseModified);
}

// Expand Steps on a stepped hole when the drill store has no room for its
// copies: refused whole with a box, the hole keeps its pattern, nothing is
// added, deleted or journalled.
TEST_F(TJobFileKeepingTest, ExpandingStepsWithoutRoomForTheCopiesKeepsTheHitsAndSaysSo) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  const int32_t hole = DRDB->AddHole(Inch, Inch, true);
  ASSERT_NE(hole, 0);
  auto* pattern = new TStepObject({{1, 1, 0, 0, 0}, {0, 10, Inch / 10, 0, 0}});
  DRDB->EntityAt(hole)->SetStepObj(pattern);
  ASSERT_EQ(pattern->Offsets().size(), 9u);
  // Holes far from the window fill the store up to room for 5 more.
  TDrillEntityBatch filler;
  const int32_t room = 5;
  while (filler.Count() < TDrillEntities::HighestIndex - DrillEntityCount - room)
    filler.Append(NCLayerBit(30))->Entity = new TDrillHole({-10 * Inch, filler.Count()}, 1);
  DRDB->TakeEntities(filler);
  ASSERT_EQ(DrillEntityCount, TDrillEntities::HighestIndex - room);
  if (DrillUndo != nullptr) DrillUndo->BeginOperation("filled");
  const int32_t live = LiveDrillEntities();
  ResetHeadlessDialogs();

  Run(form, emDrill, "ExpandSteps2");
  Click(Inch / 2, Inch / 2);
  Click(3 * Inch, 2 * Inch);
  EXPECT_EQ(LastBox(), "The drill database is full: it holds at most 1,000,000 entities.\r\n"
                       "Expanding the steps needs 10 more; there is room for 5.\r\nNothing was changed.");
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(DrillEntityCount, TDrillEntities::HighestIndex - room);
  EXPECT_EQ(LiveDrillEntities(), live);
  EXPECT_GT(static_cast<int32_t>(DRDB->WordAt(hole)), 0);
  EXPECT_EQ(DRDB->EntityAt(hole)->GetStepObj(), pattern);
  EXPECT_EQ(DRDB->EntityAt(hole)->GetStepObj()->Offsets().size(), 9u);
  form.KeyDown(VK_ESCAPE);
}

// Seventy holes, each with a pattern of 60,000 copies of its own (as Edit
// Steps makes them one by one): saved, they open again with every pattern.
TEST_F(TJobFileKeepingTest, SeventyHolesOfSixtyThousandCopiesEachAreSavedAndOpenedAgain) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  constexpr int32_t Holes = 70;
  for (int32_t k = 0; k < Holes; ++k) {
    const int32_t hole = DRDB->AddHole(k * Inch, Inch, true);
    ASSERT_NE(hole, 0);
    DRDB->EntityAt(hole)->SetStepObj(new TStepObject({{1, 1, 0, 0, 0}, {0, 60000, 0, 10 + k, 0}}));
  }
  DatabaseModified = true;
  const std::vector<std::size_t> made = DrillPatternCopies();
  ASSERT_EQ(made, std::vector<std::size_t>(Holes, 59999));
  EXPECT_TRUE(ShownMessageBoxes().empty()) << LastBox();

  SaveAndOpen(form, emDrill, (TempDir / "SEVENTY.ZUL").string());
  EXPECT_EQ(DrillPatternCopies(), made);
}

// A rout tape closed by a Ctrl-Z without M30 brings no command of that byte;
// an M47 message and an M97 text holding one keep it, and the job saved
// with them opens again with the same texts, written so that the file holds
// no Ctrl-Z.
TEST_F(TJobFileKeepingTest, TextsHoldingACtrlZOrLineEndsAreSavedAndOpenedAgain) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  ScriptFileDialogAnswer(Input("CLOSED.ROU", "M48\r\nINCH,LZ\r\nT01C0.1250\r\n%\r\nG90\r\nT01\r\n"
                                             "M47,CHECK\x1a" "LOT\r\nG00X0100000Y0100000\r\nM15\r\n"
                                             "G01X0200000Y0100000\r\nM16\r\n\x1a"));
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emRout, "OpenRoutTape1");
  auto routTexts = [] {
    std::vector<std::string> texts;
    for (int32_t p = 1; p <= Seq->Count(40); ++p) {
      TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(40, p));
      if (e == nullptr || e->GetType() != etRoutCommand) continue;
      std::string text;
      e->GetString(text);
      texts.push_back(text);
    }
    return texts;
  };
  const std::vector<std::string> rout = routTexts();
  EXPECT_EQ(rout, std::vector<std::string>{"M47,CHECK\x1a" "LOT"});
  const int32_t routEntities = RoutEntityCount;

  ImportExcellonTape(form, Input("TEXT.DRL", "M48\r\nINCH,LZ\r\nT01C0.0350\r\n%\r\nT01\r\n"
                                             "M97,LOT\x1a" "7\r\nX010000Y010000\r\nM30\r\n\x1a"));
  int32_t text = 0;
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (DRDB->EntityAt(i)->GetType() == etDrillText) text = i;
  ASSERT_NE(text, 0) << LastBox();
  std::string imported;
  DRDB->EntityAt(text)->GetString(imported);
  EXPECT_EQ(imported, "LOT\x1a" "7");
  // A text with a line end in it.
  const int32_t typedText = DRDB->AddTextOnLayer(Inch, 2 * Inch, "A\r\nB", false, 30, 1, true);
  ASSERT_NE(typedText, 0);

  const std::string job = (TempDir / "TEXTS.ZUL").string();
  SaveAndOpen(form, emRout, job);
  const std::string bytes = ReadFileBytes(job);
  EXPECT_EQ(bytes.find('\x1a'), std::string::npos);
  EXPECT_NE(bytes.find("ROUTCOMMAND\r\n1\r\nM47,CHECK%1ALOT\r\n"), std::string::npos) << bytes;
  EXPECT_EQ(routTexts(), rout);
  EXPECT_EQ(RoutEntityCount, routEntities);
  std::vector<std::string> drillTexts;
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (DRDB->EntityAt(i)->GetType() == etDrillText) {
      std::string t;
      DRDB->EntityAt(i)->GetString(t);
      drillTexts.push_back(t);
    }
  EXPECT_EQ(drillTexts, (std::vector<std::string>{"LOT\x1a" "7", "A\r\nB"}));
}

// Holes sharing one pattern are drawn once for every copy each: a job of 64
// holes sharing 65,535 copies, as Create Step & Repeat makes it, is saved
// and opened again, while a file whose holes share so many that drawing them
// would take hours (32,769 x 65,535 copies, one more hole than a job
// counts) is refused at once, naming the list, and the job stays.
TEST_F(TJobFileKeepingTest, HolesSharingAPatternOpenUnlessTheirCopiesWouldTakeHoursToDraw) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  TStepObject* shared = new TStepObject({{1, 1, 0, 0, 0}, {0, 65535, 1000, 0, 0}, {0, 1, 0, 1000, 0}});
  ASSERT_EQ(shared->CopyCount(), 65535);
  for (int32_t k = 0; k < 64; ++k) {
    const int32_t hole = DRDB->AddHole(k * Inch / 10, Inch, true);
    ASSERT_NE(hole, 0);
    DRDB->EntityAt(hole)->SetStepObj(shared);
  }
  DatabaseModified = true;
  const std::string job = (TempDir / "SHARED.ZUL").string();
  SaveAndOpen(form, emDrill, job);
  ASSERT_EQ(DrillEntityCount, 64);
  EXPECT_EQ(DrillPatternCopies(), std::vector<std::size_t>(64, 65535));

  std::string hostile = "0\r\nHEADER\r\n999\r\n" + std::string(JobFileTitle) +
                        "\r\n0\r\nENDSEC\r\n0\r\nSTEPSECTION\r\n0\r\nSTEPLIST\r\n0\r\nM01\r\n"
                        "0\r\nM02\r\n10\r\n1000\r\n70\r\n65535\r\n0\r\nM02\r\n20\r\n1000\r\n"
                        "0\r\nM08\r\n52\r\n1\r\n0\r\nENDSTEPLIST\r\n0\r\nENDSEC\r\n0\r\nENTITIES\r\n";
  for (int32_t k = 0; k < 32769; ++k)
    hostile += "0\r\nDRILLHOLE\r\n10\r\n" + std::to_string(k * 100) + "\r\n50\r\n1\r\n52\r\n1\r\n";
  hostile += "0\r\nENDSEC\r\n0\r\nEOF\r\n";
  const std::string file = Input("HOURS.ZUL", hostile);
  ScriptFileDialogAnswer(file);
  Run(form, emDrill, "Open1");
  EXPECT_EQ(LastBox(), "The job file " + file +
                           " cannot be read.\r\nLine 24: the entities using the step lists up to "
                           "step list 1 come to more than 2,147,483,647 copies: drawing them "
                           "would take hours.\r\nThe job was left as it was.");
  EXPECT_EQ(DrillEntityCount, 64);
  EXPECT_EQ(DatabaseFileName, job);
}

// Window edits that give stepped holes patterns of their own (a move of part
// of a group sharing one, a matrix copy) are refused where they are made when
// the job's patterns would come to more than a job file holds (the bound
// lowered here), and leave the job as it was, a step to redo too; a move of
// the whole group keeps one pattern and goes ahead. The job is saved and
// opened again.
TEST_F(TJobFileKeepingTest, WindowEditsOfSteppedHolesAreRefusedWherePatternsWouldPassAJobFile) {
  TWorkspace& form = StartProgram();
  TStepBound bound(100000);
  SelectLayer(30);
  auto* shared = new TStepObject({{1, 1, 0, 0, 0}, {0, 60000, 0, 10, 0}});
  for (int32_t k = 0; k < 4; ++k) DRDB->EntityAt(DRDB->AddHole(k * Inch, Inch, true))->SetStepObj(shared);
  DrillUndo->BeginOperation("Holes");
  DRDB->AddHole(-Inch, -Inch, true);
  DrillUndo->BeginOperation("Hole");
  Run(form, emDrill, "Undo3");
  const int64_t work = JobStepWork();
  ASSERT_EQ(work, 60001);
  const std::string box = "The job's step patterns come to 120,002 commands and copies; a job file holds at most "
                          "100,000.\r\nNothing was changed.";
  auto expectAsBefore = [&](const char* what) {
    EXPECT_EQ(LastBox(), box) << what;
    EXPECT_EQ(LiveDrillEntities(), 4) << what;
    EXPECT_EQ(JobStepWork(), work) << what;
    std::string redo;
    EXPECT_TRUE(DrillUndo->CanRedo(redo)) << what;
    EXPECT_EQ(redo, "Hole") << what;
    ResetHeadlessDialogs();
  };
  // Two of the four moved.
  Run(form, emDrill, "Move1");
  Click(-Inch / 2, Inch / 2);
  Click(Inch + Inch / 2, 2 * Inch);
  Click(0, Inch);
  Click(0, 3 * Inch);
  form.KeyDown(VK_ESCAPE);
  expectAsBefore("move of two");
  // All four copied once to the right.
  Run(form, emDrill, "MatrixCopy1");
  Click(-Inch / 2, Inch / 2);
  Click(4 * Inch, 2 * Inch);
  for (const char* typed : {"2", "1", "20", "0"}) Type(form, typed);
  form.KeyDown(VK_ESCAPE);
  expectAsBefore("matrix copy");
  // A hundred by a hundred: refused as soon, no copy worked out.
  Run(form, emDrill, "MatrixCopy1");
  Click(-Inch / 2, Inch / 2);
  Click(4 * Inch, 2 * Inch);
  for (const char* typed : {"100", "100", "5", "5"}) Type(form, typed);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(LastBox(), "The job's step patterns come to 600,010,000 commands and copies; a job file holds at most "
                       "100,000.\r\nNothing was changed.");
  ResetHeadlessDialogs();

  // All four moved: still one pattern.
  Run(form, emDrill, "Move1");
  Click(-Inch / 2, Inch / 2);
  Click(4 * Inch, 2 * Inch);
  Click(0, Inch);
  Click(0, 3 * Inch);
  form.KeyDown(VK_ESCAPE);
  EXPECT_TRUE(ShownMessageBoxes().empty()) << LastBox();
  EXPECT_EQ(LiveDrillEntities(), 4);
  EXPECT_EQ(JobStepWork(), work);
  SaveAndOpen(form, emDrill, (TempDir / "STEPPED.ZUL").string());
  EXPECT_EQ(LiveDrillEntities(), 4);
  EXPECT_EQ(JobStepWork(), work);

  // A rout path whose start carries a pattern: copied, refused; moved
  // whole, it goes.
  Run(form, emDrill, "New1");
  SetJobStepWorkLimit(10000);
  form.LayerPanel.FindControl("L40")->Click();
  RTDB->AddLineSegment({0, 0}, {Inch, 0}, false, NoZOffset, 0);
  RoutUndo->BeginOperation("Line");
  for (int32_t i = 1; i <= RoutEntityCount; ++i)
    if (IsPathStartType(RTDB->EntityAt(i)->GetType()))
      RTDB->EntityAt(i)->SetStepObj(new TStepObject({{1, 1, 0, 0, 0}, {0, 6000, 0, 10, 0}}));
  ASSERT_EQ(JobStepWork(), 6001);
  const int32_t routs = RoutEntityCount;
  ResetHeadlessDialogs();
  Run(form, emRout, "MatrixCopy1");
  Click(-Inch / 2, -Inch / 2);
  Click(2 * Inch, Inch / 2);
  for (const char* typed : {"2", "1", "20", "0"}) Type(form, typed);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(LastBox(), "The job's step patterns come to 12,002 commands and copies; a job file holds at most "
                       "10,000.\r\nNothing was changed.");
  EXPECT_EQ(RoutEntityCount, routs);
  ResetHeadlessDialogs();
  Run(form, emRout, "Move1");
  Click(-Inch / 2, -Inch / 2);
  Click(2 * Inch, Inch / 2);
  Click(0, 0);
  Click(0, Inch);
  form.KeyDown(VK_ESCAPE);
  EXPECT_TRUE(ShownMessageBoxes().empty()) << LastBox();
  EXPECT_GT(RoutEntityCount, routs);
  EXPECT_EQ(JobStepWork(), 6001);
}

// A drill tape whose patterns would take the job past what a job file holds
// (the bound lowered here): the patterns that fit are applied, the next is
// not and the results window says so, and the job read is saved and opened
// again with every pattern it holds.
TEST_F(TJobFileKeepingTest, ADrillTapeIsReadNoFurtherThanAJobFileHoldsItsPatterns) {
  TWorkspace& form = StartProgram();
  const TStepBound bound(20000);
  // Ten holes, each repeated 3,000 times by a pattern of its own: 6,002
  // commands and copies each.
  std::string tape = "M48\nINCH,LZ\nT1C0.020\n%\nT1\n";
  for (int k = 0; k < 10; ++k) {
    tape += "M25\nX0" + std::to_string(10000 + k * 1000) + "Y010000\nM01\n";
    for (int c = 0; c < 3000; ++c) tape += "M02Y000010\n";
    tape += "M08\n";
  }
  tape += "M30\n";
  const std::string report = ImportWithResults(form, "PATTERNS.DRL", tape);
  ASSERT_EQ(DrillEntityCount, 10);
  const std::vector<std::size_t> made = DrillPatternCopies();
  EXPECT_EQ(made, (std::vector<std::size_t>{3000, 3000, 3000, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_NE(report.find(": the pattern's repeats were not applied to 1 entity: the job's step patterns would come "
                        "to more than 20,000 commands and copies, all a job file holds."),
            std::string::npos)
      << report;
  SaveAndOpen(form, emDrill, (TempDir / "PATTERNS.ZUL").string());
  EXPECT_EQ(DrillPatternCopies(), made);
}

// Patterns ended twice wrap their holes in chains of two levels, and a job
// file holds each level as a step list of its own: the tape is read no
// further than all of them fit, and the job is saved and opened again.
TEST_F(TJobFileKeepingTest, ADrillTapeOfNestedPatternsCountsEveryLevelAJobFileHolds) {
  TWorkspace& form = StartProgram();
  const TStepBound bound(30000);
  // Each hole: two copies, then the three 3,001 times over. The chain comes
  // to some 12,000 commands and copies, its inner level to 6,000 more.
  std::string tape = "M48\nINCH,LZ\nT1C0.020\n%\nT1\n";
  for (int k = 0; k < 3; ++k) {
    tape += "M25\nX0" + std::to_string(10000 + k * 1000) + "Y010000\nM01\nM02Y000100\nM02Y000100\nM01\n";
    for (int c = 0; c < 3000; ++c) tape += "M02X000010\n";
    tape += "M08\n";
  }
  tape += "M30\n";
  const std::string report = ImportWithResults(form, "NESTED.DRL", tape);
  ASSERT_EQ(DrillEntityCount, 3);
  const std::vector<std::size_t> made = DrillPatternCopies();
  EXPECT_EQ(made, (std::vector<std::size_t>{3 * 3001 - 1, 2, 2}));
  EXPECT_NE(report.find(": the pattern's repeats were not applied to 1 entity: the job's step patterns would come "
                        "to more than 30,000 commands and copies, all a job file holds."),
            std::string::npos)
      << report;
  EXPECT_LE(JobStepWork(), 30000);
  SaveAndOpen(form, emDrill, (TempDir / "NESTED.ZUL").string());
  EXPECT_EQ(DrillPatternCopies(), made);
}

// The same for a rout tape through Open Rout Tape: three paths, each repeated
// 3,000 times by a pattern of its own (6,002 commands and copies); the first
// is applied, the others are not and the box says so, and the job is saved
// and opened again.
TEST_F(TJobFileKeepingTest, ARoutTapeIsReadNoFurtherThanAJobFileHoldsItsPatterns) {
  TWorkspace& form = StartProgram();
  const TStepBound bound(10000);
  std::string tape = "%\n";
  for (int k = 0; k < 3; ++k) {
    const std::string x = std::to_string(10000 + k * 1000);
    tape += "M25\nG00X0" + x + "Y010000\nM15\nG01X0" + x + "Y020000\nM16\nM01\n";
    for (int c = 0; c < 3000; ++c) tape += "M02Y000010\n";
    tape += "M08\n";
  }
  tape += "M30\n";
  SelectLayer(40);
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ScriptFileDialogAnswer(Input("PATTERNS.RT", tape));
  Run(form, emRout, "OpenRoutTape1");
  const std::string past = ": the pattern's repeats were not applied to 1 entity: the job's step patterns would come "
                           "to more than 10,000 commands and copies, all a job file holds.\r\n";
  EXPECT_EQ(LastBox(), "Line 6015" + past + "Line 9022" + past +
                           "Some errors were detected in this file.\r\nInspect the output carefully!");
  const int64_t work = JobStepWork();
  EXPECT_EQ(work, 6002);  // 3,000 copies, the mark, the steps and the closing step

  SaveAndOpen(form, emRout, (TempDir / "ROUTED.ZUL").string());
  EXPECT_EQ(JobStepWork(), work);
}

// The largest job the model holds: every store full with every entity type,
// every tool of both tables, step chains three deep, the longest step list
// Edit Steps takes and distinct patterns up to the job's step bound (lowered
// here: the real one takes a minute under the sanitizers). Saved through the
// program and opened again, it comes back whole: a second save writes the
// same bytes. A pattern beyond the bound is refused where it is made.
TEST_F(TJobFileKeepingTest, TheLargestJobTheModelHoldsIsSavedAndOpenedWhole) {
  TWorkspace& form = StartProgram();
  const TStepBound bound(600000);
  for (int32_t t = 1; t <= kToolCount; ++t) {
    ToolTable[t] = {t * 2540, t % 300 + 1, t % 200 + 1, -t, t % 7, uint8_t(t % 2)};
    for (int layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer) {
      TRoutToolRecord& r = RoutToolPages[layer][t];
      r.Diameter = t * 1000 + layer;
      r.HighFeed = uint16_t(t % 500 + 1);
      r.LowFeed = uint16_t(t % 90 + 1);
      r.ZOffset = -t;
      r.CompDiameter = t * 999;
    }
  }
  DRDB->G93OriginX = 1270000;
  DRDB->G93OriginY = -2540000;
  RTDB->G93Origins[42] = {5, -7};

  // Step patterns: the longest list Edit Steps takes, chains three deep,
  // and distinct small ones up to the bound.
  std::vector<TStepObject*> patterns;
  TStepCommandList longest{{1, 1, 0, 0, 0}};
  for (int32_t i = 0; i < kMaxStepCopies - 1; ++i) longest.push_back({0, 1, 10 + i % 3, i % 5, uint8_t(i % 8)});
  patterns.push_back(new TStepObject(longest));
  ASSERT_TRUE(patterns.back()->Whole());
  for (int32_t n = 0; n < 8; ++n) {
    auto* outer = new TStepObject({{1, 1, 0, 0, 0}, {0, 3, 0, 5000000 + n, 1}});
    auto* middle = new TStepObject({{1, 1, 0, 0, 0}, {0, 4, 2000000, 0, 2}});
    middle->SetNested(new TStepObject({{1, 1, 0, 0, 0}, {0, 5 + n, 100000, 0, 0}}));
    outer->SetNested(middle);
    patterns.push_back(outer);
  }
  for (int32_t n = 0; n < 40; ++n)
    patterns.push_back(new TStepObject({{1, 1, 0, 0, 0}, {0, 2 + n, 1000 + n, n, uint8_t(n % 8)}}));
  for (int32_t n = 0; n < 6; ++n)
    patterns.push_back(new TStepObject({{1, 1, 0, 0, 0}, {0, kMaxStepCopies, 7 + n, 0, 0}}));

  // Every store full: the drill entities and rout paths take the patterns.
  TDrillEntityBatch drill;
  for (int32_t i = 0; drill.Count() < TDrillEntities::HighestIndex; ++i) {
    TDrillEntity* e = nullptr;
    const TIntPoint p{(i % 1000) * 1000, (i / 1000) * 1000 - 7};
    const uint16_t tool = uint16_t(1 + i % kToolCount);
    switch (i % 50) {
      case 1: e = new TDrillSlot(p, {p.X + 500, p.Y + 300}, tool); break;
      case 2: e = new TDrillCircle(p, 20000 + i % 77, tool); break;
      case 3: e = new TDrillText(p, "Lot " + std::to_string(i % 9), i % 2 == 0, tool); break;
      default: e = new TDrillHole(p, tool); break;
    }
    if (i < int32_t(patterns.size())) e->SetStepObj(patterns[std::size_t(i)]);
    drill.Append(NCLayerBit(uint8_t(30 + i % 10)))->Entity = e;
  }
  DRDB->TakeEntities(drill);
  for (int32_t i = 0; RoutEntityCount < TRoutEntities::HighestIndex; ++i) {
    const uint8_t layer = uint8_t(kFirstRoutLayer + i % 5);
    const TIntPoint p{i * 100, -i * 50};
    int32_t h = 0;
    switch (i % 6) {
      case 0: h = RTDB->AddJog(p, layer, uint8_t(i % 3), 1 + i % kToolCount, i % 7); break;
      case 1: h = RTDB->AddLine(p, layer, uint16_t(i % 900), -i % 400); break;
      case 2: h = RTDB->AddArc(p, layer, 100, i % 4 == 0, {p.X - 1000, p.Y}, 0); break;
      case 3: h = RTDB->AddCircle(p, layer, 2, 300, 1, 40000, i % 4 == 1, 5); break;
      case 4: h = RTDB->AddHole(p, layer, 3); break;
      default: {
        CurrentLayer = layer;
        h = RTDB->AddCommand(p, "M47,PANEL " + std::to_string(i), uint8_t(i % 256));
        break;
      }
    }
    ASSERT_NE(h, 0) << i;
    if (i % 6 == 0 && i / 6 < int32_t(patterns.size())) RTDB->EntityAt(h)->SetStepObj(patterns[std::size_t(i / 6)]);
  }
  for (int32_t i = 0; CadEntityCount < TEntityArray::HighestIndex; ++i) {
    const uint8_t layer = uint8_t(i % 30);
    TCadEntity* e = i % 3 == 0   ? static_cast<TCadEntity*>(new TCadPoint(i, -i))
                    : i % 3 == 1 ? static_cast<TCadEntity*>(new TCadLine(i, 0, i + 100000, i))
                                 : static_cast<TCadEntity*>(new TCadCircle(i, i, 1 + i % 1000));
    ASSERT_NE(DB->AppendEntity(e, layer), 0) << i;
  }
  // The patterns reach close to the bound.
  const int64_t work = JobStepWork();
  ASSERT_LE(work, JobStepWorkLimit());
  ASSERT_GT(work, JobStepWorkLimit() - 100000);
  DatabaseModified = true;
  ResetHeadlessDialogs();

  const std::string first = (TempDir / "LARGEST.ZUL").string();
  ScriptFileDialogAnswer(first);
  Run(form, emDrill, "SaveAs1");
  ASSERT_EQ(DatabaseFileName, first);
  ASSERT_FALSE(DatabaseModified);
  Run(form, emDrill, "New1");
  ASSERT_EQ(DrillEntityCount, 0);
  ScriptFileDialogAnswer(first);
  Run(form, emDrill, "Open1");
  EXPECT_TRUE(ShownMessageBoxes().empty()) << LastBox();
  EXPECT_EQ(DatabaseFileName, first);
  EXPECT_EQ(CadEntityCount, TEntityArray::HighestIndex);
  EXPECT_EQ(DrillEntityCount, TDrillEntities::HighestIndex);
  EXPECT_EQ(RoutEntityCount, TRoutEntities::HighestIndex);
  EXPECT_EQ(JobStepWork(), work);
  const std::string second = (TempDir / "AGAIN.ZUL").string();
  ScriptFileDialogAnswer(second);
  Run(form, emDrill, "SaveAs1");
  {
    const std::string a = ReadFileBytes(first), b = ReadFileBytes(second);
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    EXPECT_TRUE(a == b) << "sizes " << a.size() << " " << b.size() << " first difference at " << at << ":\n"
                        << a.substr(at > 200 ? at - 200 : 0, 400) << "\n----\n" << b.substr(at > 200 ? at - 200 : 0, 400);
  }

  // A pattern beyond the bound (set just above what the job holds) is
  // refused as Create Step & Repeat makes it.
  SetJobStepWorkLimit(work + 1000);
  SelectLayer(30);
  std::string refused;
  QueueModalScript("TEditStepDialog", [&refused](TForm& f) {
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "R60000M02X0Y0", "M02", "M08"});
    const std::size_t boxes = ShownMessageBoxes().size();
    f.Click("OKButton");
    if (ShownMessageBoxes().size() == boxes) return;
    refused = LastBox();
    f.Click("CancelButton");
  });
  Run(form, emDrill, "CreateStepRepeat2");
  Click(99500, -100);  // two drill entities without a pattern
  Click(101500, 100);
  EXPECT_EQ(refused, "");
  EXPECT_EQ(LastBox().rfind("The job's step patterns come to ", 0), 0u) << LastBox();
  EXPECT_NE(LastBox().find(" commands and copies; a job file holds at most " + IntToStrGrouped(int32_t(work + 1000)) +
                           ".\r\nThe step pattern was not made."),
            std::string::npos)
      << LastBox();
  EXPECT_EQ(JobStepWork(), work);
  form.KeyDown(VK_ESCAPE);
}

// A job opens the same whatever was open before: the rout tools its file
// does not list are those a new job starts with, not the last job's.
TEST_F(TJobFileKeepingTest, OpeningAJobKeepsNoRoutToolOfTheJobBefore) {
  TWorkspace& form = StartProgram();
  const TRoutToolRecord builtIn = RoutToolPages[40][1];
  auto open = [&](const char* name, const char* tool, const char* diameter) {
    const std::string file = Input(name, std::string("0\r\nHEADER\r\n999\r\nOrbenwright ZUL Database format file\r\n0\r\n") +
                                             "ENDSEC\r\n0\r\nTOOLSECTION\r\n0\r\nTOOL\r\n8\r\nR0\r\n50\r\n" + tool +
                                             "\r\n60\r\n" + diameter + "\r\n0\r\nENDSEC\r\n0\r\nEOF\r\n");
    ScriptFileDialogAnswer(file);
    Run(form, emRout, "Open1");
  };
  open("A.ZUL", "5", "988060");
  ASSERT_EQ(RoutToolPages[40][5].Diameter, 988060);
  open("B.ZUL", "2", "1000000");
  const std::string saved = (TempDir / "C.ZUL").string();
  ScriptFileDialogAnswer(saved);
  Run(form, emRout, "SaveAs1");
  EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
  EXPECT_EQ(RoutToolPages[40][5], TRoutToolRecord{});
  EXPECT_EQ(RoutToolPages[40][1], builtIn);
  EXPECT_EQ(RoutToolPages[40][2].Diameter, 1000000);
  EXPECT_EQ(ReadFileBytes(saved).find("988060"), std::string::npos);
}

}  // namespace
