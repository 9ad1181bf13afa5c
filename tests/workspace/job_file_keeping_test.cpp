// What Save and Open keep through the started program: another job's file
// is replaced only when the user says so, a previous version kept under a
// temporary name outlives the next save, and a stepped hole split on a full
// store keeps its hits.
#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/file_utils.h"
#include "model/drill_database.h"
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

}  // namespace
