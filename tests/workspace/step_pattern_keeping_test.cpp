// Step patterns through the started program: the editors and the tape
// readers count what the job will hold after the edit, make no pattern that
// cannot expand (a box names what was left out), Save writes whatever the
// job holds and the job opens again, and no drill tape is written from a
// pattern cut short.
#include <gtest/gtest.h>

#include <algorithm>

#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/entity_store.h"
#include "model/job_file_reader.h"
#include "model/job_file_writer.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/step_repeat.h"
#include "tapeout/make_drill_tape.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t Inch = 25400000;

class TStepPatternKeepingTest : public TWorkspaceDialogsTest {
 protected:
  struct TStepBound {
    explicit TStepBound(int64_t work) { SetJobStepWorkLimit(work); }
    ~TStepBound() { SetJobStepWorkLimit(0); }
  };
  // The drawn copies a job may come to, lowered while it lives.
  struct TDrawnLimit {
    explicit TDrawnLimit(int64_t copies) { SetJobDrawnCopiesLimit(copies); }
    ~TDrawnLimit() { SetJobDrawnCopiesLimit(0); }
  };
  // The Edit Steps dialog answers OK on one level of the lines given.
  static void ScriptSteps(std::vector<std::string> lines) {
    QueueModalScript("TEditStepDialog", [lines](TForm& f) {
      f.Get<TMemo>("Step1Memo").SetLines(lines);
      f.Click("OKButton");
    });
  }
  // "M01", "R<count>M02X0Y0", "M02", "M08": count copies in place.
  static std::vector<std::string> Copies(int count) {
    return {"M01", (count > 1 ? "R" + std::to_string(count) : std::string()) + "M02X0Y0", "M02", "M08"};
  }
  // Drill > Create Step & Repeat over the holes of the window.
  static void CreateDrillSteps(TWorkspace& form, const TIntPoint& a, const TIntPoint& b,
                               std::vector<std::string> lines) {
    ScriptSteps(std::move(lines));
    Run(form, emDrill, "CreateStepRepeat2");
    Click(a.X, a.Y);
    Click(b.X, b.Y);
    form.KeyDown(VK_ESCAPE);
  }
  static TStepObject* StepsAt(int32_t hole) { return DRDB->EntityAt(hole)->GetStepObj(); }
  static std::size_t CopiesAt(int32_t hole) { return StepsAt(hole) ? StepsAt(hole)->Offsets().size() : 0; }
  static bool CrashShown() {
    for (const auto& box : ShownMessageBoxes())
      if (box.Text.find("Step && Repeat Crash") != std::string::npos) return true;
    return false;
  }
  // File > Save As, File > New and File > Open of the job, without a box.
  void SaveAndOpen(TWorkspace& form, uint8_t mode, const std::string& name) {
    const std::string job = (TempDir / name).string();
    const size_t boxes = ShownMessageBoxes().size();
    ScriptFileDialogAnswer(job);
    Run(form, mode, "SaveAs1");
    ASSERT_EQ(ShownMessageBoxes().size(), boxes) << LastBox();
    ASSERT_FALSE(DatabaseModified);
    Run(form, mode, "New1");
    ScriptFileDialogAnswer(job);
    Run(form, mode, "Open1");
    EXPECT_EQ(ShownMessageBoxes().size(), boxes) << LastBox();
    EXPECT_EQ(DatabaseFileName, job);
  }
  // Open Rout Tape of the text into layer 40; gives the box shown.
  std::string OpenRoutTape(TWorkspace& form, const std::string& name, const std::string& tape) {
    SelectLayer(40);
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    ScriptFileDialogAnswer(Input(name, tape));
    const size_t boxes = ShownMessageBoxes().size();
    Run(form, emRout, "OpenRoutTape1");
    return ShownMessageBoxes().size() > boxes ? LastBox() : "";
  }
  // The step chain of the first live path start.
  static TStepObject* FirstRoutSteps() {
    for (int32_t i = 1; i <= RoutEntityCount; ++i)
      if (TRoutEntity* e = RTDB->EntityAt(i);
          e != nullptr && !SlotDeleted(RTDB->SlotAt(i)->Flags) && IsPathStartType(e->GetType()))
        return e->GetStepObj();
    return nullptr;
  }
  // n lines "M02<axis>000010".
  static std::string Steps(int n, char axis) {
    std::string text;
    for (int k = 0; k < n; ++k) text += std::string("M02") + axis + "000010\n";
    return text;
  }
};

const std::string kCannotExpand =
    "The step pattern would make more than 65,535 copies or move outside the coordinate range.\r\n"
    "The step pattern was not made.";

// A hole in a 300-copy pattern, then 300 more around it, makes 90,000: not
// a pattern that expands. Create Step & Repeat leaves the hole as it was and
// says why (no crash box), in drill and in rout, and the job is saved and
// opened again.
TEST_F(TStepPatternKeepingTest, CreateStepRepeatMakesNoPatternThatCannotExpand) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  const int32_t hole = DRDB->AddHole(Inch, Inch, true);
  DrillUndo->BeginOperation("Hole");
  CreateDrillSteps(form, {Inch / 2, Inch / 2}, {2 * Inch, 2 * Inch}, Copies(299));
  ASSERT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
  const int32_t stepped = DrillEntityCount;
  ASSERT_EQ(CopiesAt(stepped), 299u);
  CreateDrillSteps(form, {Inch / 2, Inch / 2}, {2 * Inch, 2 * Inch}, Copies(299));
  EXPECT_EQ(LastBox(), kCannotExpand);
  EXPECT_FALSE(CrashShown());
  EXPECT_EQ(DrillEntityCount, stepped);
  EXPECT_EQ(CopiesAt(stepped), 299u);
  EXPECT_EQ(StepsAt(stepped)->LevelCount(), 1);
  (void)hole;

  // The rout path: its start takes 299 copies, then refuses 299 more.
  ResetHeadlessDialogs();
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {Inch, 0}, false, NoZOffset, 0);
  RoutUndo->BeginOperation("Line");
  for (int round = 0; round < 2; ++round) {
    ScriptSteps(Copies(299));
    Run(form, emRout, "CreateStepRepeat1");
    Click(Inch / 2, 0);
    form.KeyDown(VK_ESCAPE);
  }
  EXPECT_EQ(LastBox(), kCannotExpand);
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
  ASSERT_NE(FirstRoutSteps(), nullptr);
  EXPECT_EQ(FirstRoutSteps()->Offsets().size(), 299u);
  EXPECT_EQ(FirstRoutSteps()->LevelCount(), 1);
  ResetHeadlessDialogs();
  SaveAndOpen(form, emRout, "UNCUT.ZUL");
  ASSERT_NE(FirstRoutSteps(), nullptr);
  EXPECT_EQ(FirstRoutSteps()->Offsets().size(), 299u);
}

// The editors count what the job will hold after the edit: the chains the
// changed holes let go of no longer count (so an edit is no longer refused
// at half the bound), and every level of the chains made counts (a chain of
// two levels kept by another hole no longer lets the job pass the bound).
TEST_F(TStepPatternKeepingTest, CreateAndEditStepsCountWhatTheJobHoldsAfterTheEdit) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  {
    // One hole of 2,999 copies takes one more level of two: 5,999 copies.
    const TStepBound bound(8000);
    DRDB->AddHole(Inch, Inch, true);
    DrillUndo->BeginOperation("Hole");
    CreateDrillSteps(form, {Inch / 2, Inch / 2}, {2 * Inch, 2 * Inch}, Copies(2999));
    CreateDrillSteps(form, {Inch / 2, Inch / 2}, {2 * Inch, 2 * Inch}, Copies(1));
    EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
    EXPECT_EQ(CopiesAt(DrillEntityCount), 5999u);
    EXPECT_LE(JobStepWork(), 8000);

    // Edit Steps of the hole's 2,999 copies to 3,990 (7,981 in all): its
    // chain is replaced, not kept beside the new one.
    ResetHeadlessDialogs();
    QueueModalScript("TEditStepDialog", [](TForm& f) {
      f.Get<TMemo>("Step1Memo").SetLines({"M01", "R3990M02X0Y0", "M02"});
      f.Click("OKButton");
    });
    Run(form, emDrill, "EditStepList2");
    Click(Inch / 2, Inch / 2);
    Click(2 * Inch, 2 * Inch);
    form.KeyDown(VK_ESCAPE);
    EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
    EXPECT_EQ(CopiesAt(DrillEntityCount), 7981u);
    EXPECT_LE(JobStepWork(), 8000);
  }
  ScriptMessageBoxAnswer(mrNo);
  Run(form, emDrill, "New1");
  ResetHeadlessDialogs();
  const TStepBound bound(16000);
  // Two holes share a chain of two levels: one copy inside 1,999.
  DRDB->AddHole(Inch, Inch, true);
  DRDB->AddHole(3 * Inch, Inch, true);
  DrillUndo->BeginOperation("Holes");
  CreateDrillSteps(form, {Inch / 2, Inch / 2}, {4 * Inch, 2 * Inch}, Copies(1));
  CreateDrillSteps(form, {Inch / 2, Inch / 2}, {4 * Inch, 2 * Inch}, Copies(1999));
  ASSERT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
  const int64_t work = JobStepWork();
  ASSERT_LE(work, 16000);
  // One more level on the first hole alone makes both its levels anew
  // beside the chain the second keeps: past the bound.
  CreateDrillSteps(form, {Inch / 2, Inch / 2}, {2 * Inch, 2 * Inch}, Copies(1));
  EXPECT_EQ(LastBox().rfind("The job's step patterns come to 18,", 0), 0u) << LastBox();
  EXPECT_NE(LastBox().find("a job file holds at most 16,000.\r\nThe step pattern was not made."), std::string::npos);
  EXPECT_EQ(JobStepWork(), work);
}

// Edit Steps changes a level in every chain that holds it: 40,000 copies
// are a pattern of their own for one hole, but inside the other hole's
// chain, which repeats them twice, they would make 80,001. The lists stay
// as they were and the box says why.
TEST_F(TStepPatternKeepingTest, EditStepsMakesNoChainThatCannotExpand) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  DRDB->AddHole(Inch, Inch, true);
  DRDB->AddHole(3 * Inch, Inch, true);
  DrillUndo->BeginOperation("Holes");
  CreateDrillSteps(form, {Inch / 2, Inch / 2}, {2 * Inch, 2 * Inch}, Copies(1));
  CreateDrillSteps(form, {Inch / 2, Inch / 2}, {4 * Inch, 2 * Inch}, Copies(1999));
  ASSERT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
  std::vector<std::size_t> copies;
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (static_cast<int32_t>(DRDB->WordAt(i)) > 0) copies.push_back(CopiesAt(i));
  std::sort(copies.begin(), copies.end());
  ASSERT_EQ(copies, (std::vector<std::size_t>{1999, 3999}));
  const int64_t work = JobStepWork();
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "R40000M02X0Y0", "M02", "M08"});
    f.Click("OKButton");
  });
  Run(form, emDrill, "EditStepList2");
  Click(5 * Inch / 2, Inch / 2);
  Click(4 * Inch, 2 * Inch);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(LastBox(), "The step pattern would make more than 65,535 copies or move outside the coordinate range."
                       "\r\nThe step lists were not changed.");
  EXPECT_FALSE(CrashShown());
  EXPECT_EQ(JobStepWork(), work);
  std::vector<std::size_t> after;
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (static_cast<int32_t>(DRDB->WordAt(i)) > 0) after.push_back(CopiesAt(i));
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, copies);
}

// An undo or redo in one mode brings back patterns the other mode's edits
// were not counted against: the job passes the editors' bound, and Save
// writes it all the same; the file opens again.
TEST_F(TStepPatternKeepingTest, ARedoPastTheBoundInTheOtherModeIsSavedAndOpened) {
  TWorkspace& form = StartProgram();
  const TStepBound bound(10000);
  SelectLayer(30);
  DRDB->AddHole(Inch, Inch, true);
  DrillUndo->BeginOperation("Hole");
  CreateDrillSteps(form, {Inch / 2, Inch / 2}, {2 * Inch, 2 * Inch}, Copies(5999));
  ASSERT_EQ(CopiesAt(DrillEntityCount), 5999u);
  Run(form, emDrill, "Undo3");
  ASSERT_EQ(JobStepWork(), 0);

  SelectLayer(40);
  RTDB->AddLineSegment({0, 5 * Inch}, {Inch, 5 * Inch}, false, NoZOffset, 0);
  RoutUndo->BeginOperation("Line");
  ScriptSteps(Copies(5999));
  Run(form, emRout, "CreateStepRepeat1");
  Click(Inch / 2, 5 * Inch);
  form.KeyDown(VK_ESCAPE);
  ASSERT_NE(FirstRoutSteps(), nullptr);
  EXPECT_EQ(FirstRoutSteps()->Offsets().size(), 5999u);

  SelectLayer(30);
  Run(form, emDrill, "Redo3");
  const int64_t work = JobStepWork();
  ASSERT_GT(work, 10000);
  EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
  SaveAndOpen(form, emDrill, "REDONE.ZUL");
  EXPECT_EQ(JobStepWork(), work);
}

// Drill Import: a pattern that cannot expand (steps that leave the
// coordinate range; 300 x 300 copies of a pattern ended twice) is left
// unapplied, and with the results window off a box says so. The job is
// saved and opened again.
TEST_F(TStepPatternKeepingTest, DrillImportLeavesPatternsThatCannotExpandAndSaysSoInABox) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  std::string tape = "M48\nINCH,LZ\nT1C0.020\n%\nT1\n";
  tape += "M25\nX010000Y010000\nM01\n" + Steps(299, 'Y') + "M01\n" + Steps(299, 'X') + "M08\n";
  tape += "M25\nX020000Y010000\nM01\n";
  for (int k = 0; k < 99; ++k) tape += "M02X100000\n";
  tape += "M08\nM30\n";
  ImportExcellonTape(form, Input("WIDE.DRL", tape));
  EXPECT_FALSE(CrashShown());
  ASSERT_EQ(DrillEntityCount, 2);
  EXPECT_EQ(CopiesAt(1), 299u);
  EXPECT_EQ(CopiesAt(2), 0u);
  const std::string text = " the pattern's repeats were not applied to 1 entity: they would make more than 65,535 "
                           "copies or move outside the coordinate range.";
  const auto& boxes = ShownMessageBoxes();
  const auto box = std::find_if(boxes.begin(), boxes.end(), [](const auto& b) { return b.Type == mtWarning; });
  ASSERT_NE(box, boxes.end());
  EXPECT_EQ(box->Text, "Line 608:" + text + "\r\nLine 711:" + text);
  ResetHeadlessDialogs();
  SaveAndOpen(form, emDrill, "WIDE.ZUL");
  EXPECT_EQ(CopiesAt(1), 299u);
}

// Open Rout Tape nests a pattern ended twice as Drill Import does (3 x 4
// copies, not the outer 4 alone); 300 x 300 is not applied and the box
// names its line.
TEST_F(TStepPatternKeepingTest, OpenRoutTapeNestsAPatternEndedTwice) {
  TWorkspace& form = StartProgram();
  const std::string path = "M25\nG00X010000Y010000\nM15\nG01X020000Y010000\nM16\nM01\n";
  EXPECT_EQ(OpenRoutTape(form, "NESTED.RT", "%\n" + path + Steps(2, 'Y') + "M01\n" + Steps(3, 'X') + "M08\nM30\n"),
            "");
  TStepObject* steps = FirstRoutSteps();
  ASSERT_NE(steps, nullptr);
  EXPECT_EQ(steps->LevelCount(), 2);
  EXPECT_EQ(steps->Offsets().size(), 11u);  // 3 x 4 in all
  EXPECT_EQ(steps->Commands().size(), 4u);

  ScriptMessageBoxAnswer(mrNo);
  Run(form, emRout, "New1");
  ResetHeadlessDialogs();
  const std::string box =
      OpenRoutTape(form, "WIDE.RT", "%\n" + path + Steps(299, 'Y') + "M01\n" + Steps(299, 'X') + "M08\nM30\n");
  EXPECT_EQ(box.rfind("Line 607: the pattern's repeats were not applied to 1 entity: they would make more than "
                      "65,535 copies or move outside the coordinate range.\r\n", 0),
            0u)
      << box;
  EXPECT_FALSE(CrashShown());
  ASSERT_NE(FirstRoutSteps(), nullptr);
  EXPECT_EQ(FirstRoutSteps()->Offsets().size(), 299u);
  ResetHeadlessDialogs();
  SaveAndOpen(form, emRout, "WIDE.ZUL");
  ASSERT_NE(FirstRoutSteps(), nullptr);
  EXPECT_EQ(FirstRoutSteps()->Offsets().size(), 299u);
}

// Open Rout Tape of a tape whose patterns would take the job past the
// copies a job file holds brings nothing, as a saved job of it would not
// open again; under the limit the same tape is read.
TEST_F(TStepPatternKeepingTest, OpenRoutTapePastTheDrawnCopiesAFileHoldsBringsNothing) {
  TWorkspace& form = StartProgram();
  const std::string path = "M25\nG00X010000Y010000\nM15\nG01X020000Y010000\nM16\nM01\n";
  const std::string tape = "%\n" + path + Steps(2, 'Y') + "M01\n" + Steps(3, 'X') + "M08\nM30\n";
  EXPECT_EQ(OpenRoutTape(form, "NESTED.RT", tape), "");
  const int64_t drawn = JobDrawnCopies();
  ASSERT_GT(drawn, 11);  // the jog and its line, 11 copies each

  ScriptMessageBoxAnswer(mrNo);
  Run(form, emRout, "New1");
  ResetHeadlessDialogs();
  const TDrawnLimit limit(drawn - 1);
  const std::string box = OpenRoutTape(form, "NESTED.RT", tape);
  EXPECT_NE(box.find(">: The job's stepped entities would come to " + std::to_string(drawn) +
                     " copies; a job file holds at most " + std::to_string(drawn - 1) +
                     ".\r\nNothing was imported."),
            std::string::npos)
      << box;
  EXPECT_EQ(FirstRoutSteps(), nullptr);
  EXPECT_EQ(JobDrawnCopies(), 0);
}

// A mirrored copy's step moves with the hole: moved 40" to the right, a
// pattern whose mirrored copy lies 10" away would put it past the coordinate
// range. Window Move leaves the hole and its pattern as they were and says
// why; a shorter move goes.
TEST_F(TStepPatternKeepingTest, WindowMoveMakesNoPatternThatCannotExpand) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  const int32_t hole = DRDB->AddHole(-20 * Inch, 0, true);
  DRDB->EntityAt(hole)->SetStepObj(new TStepObject({{1, 1, 0, 0, 0}, {0, 1, 10 * Inch, 0, 2}, {0, 1, 0, 0, 0}}));
  DrillUndo->BeginOperation("Hole");
  auto move = [&](int32_t by) {
    Run(form, emDrill, "Move1");
    Click(-21 * Inch, -Inch);
    Click(-19 * Inch, Inch);
    Click(-20 * Inch, 0);
    Click(-20 * Inch + by, 0);
    form.KeyDown(VK_ESCAPE);
  };
  move(40 * Inch);
  EXPECT_EQ(LastBox(), "The step pattern would make more than 65,535 copies or move outside the coordinate "
                       "range.\r\nNothing was changed.");
  EXPECT_FALSE(CrashShown());
  EXPECT_EQ(LiveDrillEntities(), 1);
  TIntPoint at;
  DRDB->EntityAt(hole)->GetPoint(at);
  EXPECT_EQ(at.X, -20 * Inch);
  ResetHeadlessDialogs();
  move(10 * Inch);
  EXPECT_EQ(ShownMessageBoxes().size(), 0u) << LastBox();
  EXPECT_EQ(LiveDrillEntities(), 1);
  ASSERT_NE(StepsAt(DrillEntityCount), nullptr);
  EXPECT_TRUE(StepsAt(DrillEntityCount)->ChainWhole());
}

// A hole whose pattern stops at 65,535 copies is not written to a tape
// short of the holes the job shows: Make Drill Tape refuses before the
// file is asked for.
TEST_F(TStepPatternKeepingTest, MakeDrillTapeRefusesAPatternCutShort) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = Inch / 40;
  const int32_t hole = DRDB->AddHoleOnLayer(Inch, 2 * Inch, 30, 1, true);
  {
    TQuietStepExpansion quiet;
    auto* outer = new TStepObject({{1, 1, 0, 0, 0}, {0, 299, 0, 10, 0}});
    outer->SetNested(new TStepObject({{1, 1, 0, 0, 0}, {0, 299, 10, 0, 0}}));
    DRDB->EntityAt(hole)->SetStepObj(outer);
    ASSERT_FALSE(outer->ChainWhole());
  }
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.FirstLastCheckBox.SetChecked(false);
    d.MarkFirstCheckBox.SetChecked(false);
    d.MarkLastCheckBox.SetChecked(false);
    d.OKButton.Click();
  });
  const size_t dialogs = ShownCommonDialogs().size();
  Run(form, emDrill, "MakeDrillTape1");
  EXPECT_EQ(ShownCommonDialogs().size(), dialogs);
  EXPECT_EQ(LastBox(), "The step pattern of the hole at X 1.0 Y 2.0 cannot be expanded: it makes more than 65,535 "
                       "copies or moves outside the coordinate range.\r\nThe tape was not written: delete or "
                       "change that pattern first.");
}

// Create Step & Repeat over more holes than the drill store has room left
// for their clones gives none of them the pattern and says why, instead of
// the holes beyond the room keeping none (a clone the store refused freed
// the pattern under the others).
TEST_F(TStepPatternKeepingTest, CreateStepRepeatOnAFullStoreChangesNoHole) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  std::vector<int32_t> holes;
  for (int32_t k = 0; k < 4; ++k) holes.push_back(DRDB->AddHole(Inch + k * Inch / 10, Inch, true));
  TDrillEntityBatch filler;
  const int32_t room = 2;
  while (filler.Count() < TDrillEntities::HighestIndex - DrillEntityCount - room)
    filler.Append(NCLayerBit(30))->Entity = new TDrillHole({-10 * Inch, filler.Count()}, 1);
  DRDB->TakeEntities(filler);
  if (DrillUndo != nullptr) DrillUndo->BeginOperation("filled");
  const int32_t live = LiveDrillEntities();
  ResetHeadlessDialogs();

  CreateDrillSteps(form, {Inch / 2, Inch / 2}, {2 * Inch, 2 * Inch}, Copies(3));
  EXPECT_EQ(LastBox(), "The drill database is full: it holds at most 1,000,000 entities.\r\n"
                       "Giving the holes the step pattern needs 4 more; there is room for 2.\r\n"
                       "Nothing was changed.");
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(LiveDrillEntities(), live);
  for (const int32_t hole : holes) {
    EXPECT_GT(static_cast<int32_t>(DRDB->WordAt(hole)), 0);
    EXPECT_EQ(StepsAt(hole), nullptr);
  }
  // A window of as many holes as there is room for gives both the pattern.
  ResetHeadlessDialogs();
  CreateDrillSteps(form, {Inch / 2, Inch / 2}, {Inch + Inch * 15 / 100, 2 * Inch}, Copies(3));
  EXPECT_TRUE(ShownMessageBoxes().empty()) << LastBox();
  EXPECT_EQ(LiveDrillEntities(), live);
  int32_t stepped = 0;
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (DRDB->WordAt(i) > 0 && DRDB->EntityAt(i)->GetStepObj() != nullptr) {
      ++stepped;
      EXPECT_EQ(DRDB->EntityAt(i)->GetStepObj()->Offsets().size(), 3u);
    }
  EXPECT_EQ(stepped, 2);
}

const std::string kPastDrawn = "The job's stepped entities would come to ";

// Create Step & Repeat, Add To Step & Repeat, Window Copy and Edit Steps
// refuse an edit that takes the job past the copies a job file holds, with
// the box and nothing changed; a job at the limit is saved and opened again,
// and the reader holds it to the same limit.
TEST_F(TStepPatternKeepingTest, DrillEditsKeepTheJobWithinTheDrawnCopiesAFileHolds) {
  TWorkspace& form = StartProgram();
  const TDrawnLimit limit(1000);
  SelectLayer(30);
  for (int32_t k = 0; k < 3; ++k) DRDB->AddHole(Inch + k * Inch / 5, Inch, true);
  const int32_t single = DRDB->AddHole(3 * Inch, Inch, true);
  DrillUndo->BeginOperation("Holes");
  const int32_t count = DrillEntityCount;
  auto stepped = [] {
    std::vector<std::size_t> copies;
    for (int32_t i = 1; i <= DrillEntityCount; ++i)
      if (static_cast<int32_t>(DRDB->WordAt(i)) > 0) copies.push_back(CopiesAt(i));
    std::sort(copies.begin(), copies.end());
    return copies;
  };

  CreateDrillSteps(form, {Inch / 2, Inch / 2}, {2 * Inch, 2 * Inch}, Copies(334));
  EXPECT_EQ(LastBox(), kPastDrawn + "1,002 copies; a job file holds at most 1,000.\r\nThe step pattern was not made.");
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(DrillEntityCount, count);
  EXPECT_EQ(stepped(), (std::vector<std::size_t>{0, 0, 0, 0}));
  EXPECT_EQ(JobDrawnCopies(), 0);

  ResetHeadlessDialogs();
  CreateDrillSteps(form, {Inch / 2, Inch / 2}, {2 * Inch, 2 * Inch}, Copies(333));
  ASSERT_TRUE(ShownMessageBoxes().empty()) << LastBox();
  ASSERT_EQ(stepped(), (std::vector<std::size_t>{0, 333, 333, 333}));
  EXPECT_EQ(JobDrawnCopies(), 999);

  // Add To Step & Repeat: the fourth hole takes the pattern of the first.
  Run(form, emDrill, "AddtoStepList2");
  Click(5 * Inch / 2, Inch / 2);
  Click(7 * Inch / 2, 3 * Inch / 2);
  Click(Inch, Inch);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(LastBox(), kPastDrawn + "1,332 copies; a job file holds at most 1,000.\r\nNothing was changed.");
  EXPECT_EQ(StepsAt(single), nullptr);

  // Window Copy of the three stepped holes.
  ResetHeadlessDialogs();
  Run(form, emDrill, "Copy1");
  Click(Inch / 2, Inch / 2);
  Click(2 * Inch, 2 * Inch);
  Click(Inch, Inch);
  Click(Inch, 3 * Inch);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(LastBox(), kPastDrawn + "1,998 copies; a job file holds at most 1,000.\r\nNothing was changed.");
  EXPECT_EQ(LiveDrillEntities(), 4);

  // Edit Steps of the pattern the three share: 340 copies each.
  ResetHeadlessDialogs();
  ScriptSteps(Copies(340));
  Run(form, emDrill, "EditStepList2");
  Click(Inch / 2, Inch / 2);
  Click(2 * Inch, 2 * Inch);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(LastBox(), kPastDrawn + "1,020 copies; a job file holds at most 1,000.\r\nThe step lists were not changed.");
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(stepped(), (std::vector<std::size_t>{0, 333, 333, 333}));

  ResetHeadlessDialogs();
  SaveAndOpen(form, emDrill, "DRAWN.ZUL");
  EXPECT_EQ(stepped(), (std::vector<std::size_t>{0, 333, 333, 333}));
  EXPECT_EQ(JobDrawnCopies(), 999);

  // The reader takes twice the editors' limit and one: it refuses the same
  // job under an editors' limit of 498.
  const TDrawnLimit lower(498);
  Run(form, emDrill, "New1");
  ScriptFileDialogAnswer((TempDir / "DRAWN.ZUL").string());
  Run(form, emDrill, "Open1");
  EXPECT_NE(LastBox().find("come to more than 997 copies"), std::string::npos) << LastBox();
  // Under 499 it opens.
  const TDrawnLimit higher(499);
  Run(form, emDrill, "New1");
  ScriptFileDialogAnswer((TempDir / "DRAWN.ZUL").string());
  Run(form, emDrill, "Open1");
  EXPECT_EQ(JobDrawnCopies(), 999);
}

// A rout path's lines are drawn with its start's pattern: a jog and its two
// lines take 333 copies (999 drawn), not 334, and are not copied by a
// window; the job opens again.
TEST_F(TStepPatternKeepingTest, RoutStepsCountThePathLinesDrawnWithTheStart) {
  TWorkspace& form = StartProgram();
  const TDrawnLimit limit(1000);
  SelectLayer(40);
  RTDB->AddLineSegment({0, 0}, {Inch, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({Inch, Inch}, 0, NoZOffset);
  RoutUndo->BeginOperation("Lines");
  auto create = [&](int copies) {
    ScriptSteps(Copies(copies));
    Run(form, emRout, "CreateStepRepeat1");
    Click(Inch / 2, 0);
    form.KeyDown(VK_ESCAPE);
  };
  create(334);
  EXPECT_EQ(LastBox(), kPastDrawn + "1,002 copies; a job file holds at most 1,000.\r\nThe step pattern was not made.");
  EXPECT_EQ(FirstRoutSteps(), nullptr);
  ResetHeadlessDialogs();
  create(333);
  ASSERT_TRUE(ShownMessageBoxes().empty()) << LastBox();
  ASSERT_NE(FirstRoutSteps(), nullptr);
  EXPECT_EQ(JobDrawnCopies(), 999);
  // Window Copy of the path copies its start with its lines.
  const int32_t entities = RoutEntityCount;
  Run(form, emRout, "Copy1");
  Click(-Inch / 2, -Inch / 2);
  Click(3 * Inch / 2, 3 * Inch / 2);
  Click(0, 0);
  Click(0, 3 * Inch);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(LastBox(), kPastDrawn + "1,998 copies; a job file holds at most 1,000.\r\nNothing was changed.");
  EXPECT_EQ(RoutEntityCount, entities);
  ResetHeadlessDialogs();
  SaveAndOpen(form, emRout, "PATH.ZUL");
  ASSERT_NE(FirstRoutSteps(), nullptr);
  EXPECT_EQ(FirstRoutSteps()->Offsets().size(), 333u);
  EXPECT_EQ(JobDrawnCopies(), 999);
}

// Drill Import applies no pattern that would take the job past the copies
// a job file holds: the hole keeps the copies it has, the box names the
// line, and the job is saved and opened again.
TEST_F(TStepPatternKeepingTest, DrillImportLeavesAPatternPastTheDrawnCopiesAFileHolds) {
  TWorkspace& form = StartProgram();
  const TDrawnLimit limit(1000);
  SelectLayer(30);
  std::string tape = "M48\nINCH,LZ\nT1C0.020\n%\nT1\n";
  tape += "M25\nX010000Y010000\nM01\n" + Steps(500, 'Y') + "M08\n";
  tape += "M25\nX020000Y010000\nM01\n" + Steps(600, 'Y') + "M08\nM30\n";
  ImportExcellonTape(form, Input("MANY.DRL", tape));
  ASSERT_EQ(DrillEntityCount, 2);
  EXPECT_EQ(CopiesAt(1), 500u);
  EXPECT_EQ(CopiesAt(2), 0u);
  const auto& boxes = ShownMessageBoxes();
  const auto box = std::find_if(boxes.begin(), boxes.end(), [](const auto& b) { return b.Type == mtWarning; });
  ASSERT_NE(box, boxes.end());
  EXPECT_EQ(box->Text, "Line 1113: the pattern's repeats were not applied to 1 entity: the job's stepped entities "
                       "would come to more than 1,000 copies, all a job file holds.");
  ResetHeadlessDialogs();
  SaveAndOpen(form, emDrill, "MANY.ZUL");
  EXPECT_EQ(CopiesAt(1), 500u);
  EXPECT_EQ(JobDrawnCopies(), 500);
}

// A part placed by a click far from its tape's coordinates takes no
// pattern that cannot expand there (a mirrored copy's step moves with the
// hole): the hole stays where the file put it, the box says why, and the job
// saved opens again. A job file with patterns that cannot expand where their
// entities stand opens whole: those entities come without them, named.
TEST_F(TStepPatternKeepingTest, APatternThatCannotExpandNeverKeepsAJobFromOpening) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ImportExcellonTape(form, Input("MIRROR.DRL", "M48\nINCH,LZ\nT1C0.020\n%\nT1\nM25\nX-200000Y0\nM01\nM02X100000M80\nM08\nM30\n"),
                     mrNo);
  Click(40 * Inch, 0);
  EXPECT_EQ(LastBox(), "None of the 1 imported entities was moved: they stay where the file placed them, as their step "
                       "patterns would make more than 65,535 copies or move outside the coordinate range.");
  EXPECT_FALSE(CrashShown());
  ASSERT_EQ(LiveDrillEntities(), 1);
  EXPECT_EQ(DRDB->EntityAt(1)->X, -20 * Inch);
  EXPECT_EQ(CopiesAt(1), 1u);
  ResetHeadlessDialogs();
  SaveAndOpen(form, emDrill, "MIRROR.ZUL");
  ASSERT_EQ(LiveDrillEntities(), 1);
  EXPECT_EQ(CopiesAt(1), 1u);

  // List 1 steps past the range; list 2's 50" step takes the hole at 40"
  // and the rout path whose line ends there past it, not the hole at 0.
  std::string job = "0\r\nHEADER\r\n999\r\nOrbenwright ZUL Database format file\r\n0\r\nENDSEC\r\n0\r\nSTEPSECTION\r\n";
  for (const char* list : {"10\r\n2000000000\r\n70\r\n3\r\n0\r\nM02\r\n0\r\nM08\r\n52\r\n1",
                           "10\r\n1270000000\r\n0\r\nM02\r\n0\r\nM08\r\n52\r\n2"})
    job += std::string("0\r\nSTEPLIST\r\n0\r\nM01\r\n0\r\nM02\r\n") + list + "\r\n0\r\nENDSTEPLIST\r\n";
  job += "0\r\nENDSEC\r\n0\r\nENTITIES\r\n";
  for (const char* hole : {"25400000\r\n52\r\n1", "1016000000\r\n52\r\n2", "0\r\n52\r\n2"})
    job += std::string("0\r\nDRILLHOLE\r\n50\r\n1\r\n10\r\n") + hole + "\r\n";
  job += "0\r\nROUTJOG\r\n50\r\n1\r\n52\r\n2\r\n0\r\nROUTLINE\r\n10\r\n1016000000\r\n";
  job += "0\r\nLINE\r\n11\r\n25400000\r\n0\r\nENDSEC\r\n0\r\nEOF\r\n";
  const std::string file = Input("HAND.ZUL", job);
  ResetHeadlessDialogs();
  ScriptFileDialogAnswer(file);
  Run(form, emDrill, "Open1");
  EXPECT_EQ(LastBox(), "The step patterns of 3 entities of the file <" + file + "> cannot be expanded where they stand: "
                       "they would make more than 65,535 copies or move outside the coordinate range. The repeats "
                       "were not applied to:\r\nthe rout path at X 0.0 Y 0.0\r\nthe drill hole at X 1.0 Y 0.0\r\n"
                       "the drill hole at X 40.0 Y 0.0\r\nSaving the job will write them without their patterns.");
  EXPECT_EQ(DatabaseFileName, file);
  ASSERT_EQ(LiveDrillEntities(), 3);
  EXPECT_EQ(std::vector<std::size_t>({CopiesAt(1), CopiesAt(2), CopiesAt(3)}), std::vector<std::size_t>({0, 0, 1}));
  EXPECT_EQ(FirstRoutSteps(), nullptr);
  EXPECT_EQ(CadEntityCount, 1);
}

// Copies past the coordinate range are a pattern that cannot expand, not
// copies stacked on its edge: Drill Import leaves the 0.5" steps off the
// hole at 40" (they would reach 89.5") and gives them to the hole at -40";
// Open Rout Tape does the same.
TEST_F(TStepPatternKeepingTest, DrillImportStacksNoCopiesOnTheEdgeOfTheCoordinateRange) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ImportExcellonTape(form, Input("EDGE.DRL", "M48\nINCH,LZ\nT1C0.020\n%\nT1\nM25\nX-400000Y0\nX400000Y0\nM01\n"
                                             "M02X005000R99\nM08\nM30\n"));
  const auto& boxes = ShownMessageBoxes();
  const auto box = std::find_if(boxes.begin(), boxes.end(), [](const auto& b) { return b.Type == mtWarning; });
  ASSERT_NE(box, boxes.end());
  EXPECT_EQ(box->Text, "Line 11: the pattern's repeats were not applied to 1 entity: they would make more than 65,535 "
                       "copies or move outside the coordinate range.");
  ASSERT_EQ(DrillEntityCount, 2);
  EXPECT_EQ(CopiesAt(2), 0u);
  ASSERT_EQ(CopiesAt(1), 99u);
  EXPECT_EQ(StepsAt(1)->Offsets().back().DX, 99 * (Inch / 2));
  ResetHeadlessDialogs();
  SaveAndOpen(form, emDrill, "EDGE.ZUL");
  EXPECT_EQ(CopiesAt(1) + CopiesAt(2), 99u);
  // Open Rout Tape leaves them off a path from 40" to 41".
  const std::string rout = OpenRoutTape(form, "EDGE.RT", "%\nM25\nG00X40.0Y0\nM15\nG01X41.0Y0\nM16\nM01\nM02X0.5R99\nM08\nM30\n");
  EXPECT_EQ(rout.rfind("Line 9: the pattern's repeats were not applied to 1 entity: they would make more than 65,535 "
                       "copies or move outside the coordinate range.\r\n", 0), 0u) << rout;
  EXPECT_EQ(FirstRoutSteps(), nullptr);
}


// The editors make no copy past the coordinate range either: a window move,
// Create Step & Repeat, Edit Steps and Add to Step List that would put one
// there leave the job as it was and say why, in drill and in rout, so the job
// saved opens with every pattern.
TEST_F(TStepPatternKeepingTest, EditorsPutNoCopyPastTheCoordinateRange) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  auto steps = [](int32_t dx) { return new TStepObject({{1, 1, 0, 0, 0}, {0, 1, dx, 0, 0}, {0, 1, 0, 0, 0}}); };
  DRDB->EntityAt(DRDB->AddHole(30 * Inch, 0, true))->SetStepObj(steps(44 * Inch));
  DRDB->EntityAt(DRDB->AddHole(-40 * Inch, 0, true))->SetStepObj(steps(80 * Inch));
  DRDB->AddHole(40 * Inch, 0, true);
  DrillUndo->BeginOperation("Holes");
  auto refused = [&](uint8_t mode, const std::string& item, std::vector<TIntPoint> at) {
    ResetHeadlessDialogs();
    Run(form, mode, item);
    for (const TIntPoint& p : at) Click(p.X, p.Y);
    form.KeyDown(VK_ESCAPE);
    return LastBox().rfind(kCannotExpand.substr(0, 89), 0) == 0;
  };
  ScriptSteps({"M01", "M02X600000Y0", "M02", "M08"});
  EXPECT_TRUE(refused(emDrill, "EditStepList2", {{29 * Inch, -Inch}, {31 * Inch, Inch}}));
  EXPECT_TRUE(refused(emDrill, "Move1", {{29 * Inch, -Inch}, {31 * Inch, Inch}, {30 * Inch, 0}, {42 * Inch, 0}}));
  ScriptSteps({"M01", "M02X500000Y0", "M02", "M08"});
  EXPECT_TRUE(refused(emDrill, "CreateStepRepeat2", {{39 * Inch, -Inch}, {41 * Inch, Inch}}));
  EXPECT_TRUE(refused(emDrill, "AddtoStepList2", {{39 * Inch, -Inch}, {41 * Inch, Inch}, {-40 * Inch, 0}}));
  EXPECT_EQ(std::vector<std::size_t>({CopiesAt(1), CopiesAt(2), CopiesAt(3)}), std::vector<std::size_t>({1, 1, 0}));
  EXPECT_EQ(DRDB->EntityAt(1)->X, 30 * Inch);
  // A path whose line ends 1" past its start, stepped 44".
  SelectLayer(40);
  RTDB->AddLineSegment({30 * Inch, 0}, {31 * Inch, 0}, false, NoZOffset, 0);
  RoutUndo->BeginOperation("Line");
  ScriptSteps({"M01", "M02X440000Y0", "M02", "M08"});
  EXPECT_FALSE(refused(emRout, "CreateStepRepeat1", {{30 * Inch + Inch / 2, 0}}));
  EXPECT_TRUE(refused(emRout, "Move1", {{29 * Inch, -Inch}, {32 * Inch, Inch}, {30 * Inch, 0}, {40 * Inch, 0}}));
  ResetHeadlessDialogs();
  SaveAndOpen(form, emRout, "EDGE.ZUL");
  ASSERT_NE(FirstRoutSteps(), nullptr);
  EXPECT_EQ(FirstRoutSteps()->Offsets().size(), 1u);
}

}  // namespace
