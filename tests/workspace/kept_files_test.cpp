// Files the program keeps: a saved job's previous version when its backup
// name is taken, and the undo journals when scratch names are taken.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "entity_counts.h"
#include "foundation/file_utils.h"
#include "model/rout_handles.h"
#include "platform/file_ops.h"
#include "workspace_test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t Inch = 25400000;

class TKeptFilesTest : public TWorkspaceDialogsTest {
 protected:
  void TearDown() override {
    SetFileWrites(nullptr);
    TWorkspaceDialogsTest::TearDown();
    DatabaseFileName.clear();
  }
  // Starts the program and saves a job of one hole as PANEL.ZUL; gives its bytes.
  std::string SaveFirstVersion() {
    StartProgram();
    Form->LayerPanel.FindControl("L30")->Click();
    EXPECT_NE(DRDB->AddHole(Inch, Inch, true), 0);
    ScriptFileDialogAnswer(Job());
    EXPECT_TRUE(ClickMenu(*Form->Menu(), "&File|Save &As"));
    return ReadFileBytes(Job());
  }
  // Adds a hole and saves with File > Save; gives the job's bytes before.
  std::string ChangeAndSave(int32_t x) {
    const std::string before = ReadFileBytes(Job());
    EXPECT_NE(DRDB->AddHole(x, Inch, true), 0);
    DatabaseModified = true;
    ResetHeadlessDialogs();
    EXPECT_TRUE(ClickMenu(*Form->Menu(), "&File|&Save"));
    EXPECT_NE(ReadFileBytes(Job()), before);
    return before;
  }
  // The one box of the save: the warning that names where the previous
  // version was kept.
  void ExpectWarning(int error, const std::string& kept) const {
    ASSERT_EQ(ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(ShownMessageBoxes()[0].Type, mtWarning);
    EXPECT_EQ(ShownMessageBoxes()[0].Text, "The job was saved as <" + Job() + ">, but its previous version could "
                                           "not be kept as <" + Backup() + ">:\r\n" + SystemErrorText(error) +
                                               "\r\nThe previous version was kept as <" + kept + ">.");
  }
  std::string Job() const { return (TempDir / "PANEL.ZUL").string(); }
  std::string Backup() const { return (TempDir / "PANEL.~ZU").string(); }
  // The names beside the job that begin with PANEL, sorted.
  std::vector<std::string> JobFolder() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(TempDir))
      if (e.path().filename().string().rfind("PANEL", 0) == 0) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Scratch names as the program's entry seeds them.
  static std::string ScratchLeaf(int n) { return std::to_string(67772162 + n) + ".TMP"; }
};

// Folders and someone's file at the backup name and the next numbered
// names: each save keeps its previous version at the first free one and
// says where; nothing that stood there is touched.
TEST_F(TKeptFilesTest, APreviousVersionTakesTheFirstFreeNameBesideTheJob) {
  const std::string first = SaveFirstVersion();
  for (const char* n : {"", "1", "2"}) fs::create_directory(Backup() + n);
  WriteFileBytes(Backup() + "3", "someone's file");
  EXPECT_EQ(ChangeAndSave(2 * Inch), first);
  ExpectWarning(EISDIR, Backup() + "4");
  const std::string second = ChangeAndSave(3 * Inch);
  ExpectWarning(EISDIR, Backup() + "5");
  EXPECT_EQ(ReadFileBytes(Backup() + "5"), second);
  EXPECT_EQ(ReadFileBytes(Backup() + "4"), first);
  EXPECT_EQ(ReadFileBytes(Backup() + "3"), "someone's file");
  EXPECT_EQ(JobFolder(), (std::vector<std::string>{"PANEL.ZUL", "PANEL.~ZU", "PANEL.~ZU1", "PANEL.~ZU2",
                                                    "PANEL.~ZU3", "PANEL.~ZU4", "PANEL.~ZU5"}));
  for (const char* n : {"", "1", "2"}) EXPECT_TRUE(fs::is_directory(Backup() + n)) << n;
}

// Every backup name refuses the old version: it stays under the temporary
// name it was held in, which is named; the last copy is never removed, not
// by the clean-up of the next saves either.
class TRefusingBackupNames : public TFileWrites {
 public:
  ssize_t Write(int fd, const void* data, std::size_t size) override { return ::write(fd, data, size); }
  int Rename(const char* from, const char* to) override {
    const std::string target = to;
    if (target.size() >= 4 && target.compare(target.size() - 4, 4, ".~ZU") == 0) {
      errno = EACCES;
      return -1;
    }
    return TFileWrites::Rename(from, to);
  }
  int RenameNoReplace(const char*, const char*) override {
    errno = ENOSPC;
    return -1;
  }
};

TEST_F(TKeptFilesTest, APreviousVersionThatCanTakeNoNameStaysWhereItWasHeld) {
  const std::string first = SaveFirstVersion();
  TRefusingBackupNames refusing;
  SetFileWrites(&refusing);
  EXPECT_EQ(ChangeAndSave(2 * Inch), first);
  SetFileWrites(nullptr);
  const std::vector<std::string> names = JobFolder();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[1].rfind("PANEL.~ZU.keeping-", 0), 0u);
  EXPECT_EQ(ReadFileBytes(TempDir / names[1]), first);
  ExpectWarning(EACCES, (TempDir / names[1]).string());

  // The next saves keep their backups as ever and leave it alone.
  const std::string second = ChangeAndSave(3 * Inch);
  EXPECT_TRUE(ShownMessageBoxes().empty());
  EXPECT_EQ(ReadFileBytes(Backup()), second);
  ChangeAndSave(4 * Inch);
  EXPECT_EQ(JobFolder(), (std::vector<std::string>{"PANEL.ZUL", "PANEL.~ZU", names[1]}));
  EXPECT_EQ(ReadFileBytes(TempDir / names[1]), first);
}

// Files and folders at the next two dozen scratch names at start-up: the
// journals take free names, a line is undone and redone without a word, and
// what stood at the names stays while the program runs.
TEST_F(TKeptFilesTest, TakenScratchNamesLeaveUndoWorking) {
  const fs::path scratch = Home() / "SCRATCH";
  std::set<std::string> taken;
  for (int n = 0; n < 24; n += 2) {
    fs::create_directories(scratch / ScratchLeaf(n));
    WriteFileBytes(scratch / ScratchLeaf(n + 1), "journal of an earlier run");
    taken.insert({ScratchLeaf(n), ScratchLeaf(n + 1)});
  }
  // The program as it starts: its own start-up numbers the scratch files.
  bool ran = false;
  EXPECT_EQ(RunProgram([&] {
              ran = true;
              TWorkspace& form = *Workspace;
              EXPECT_TRUE(ShownMessageBoxes().empty());
              for (TUndoJournal* journal : {static_cast<TUndoJournal*>(CadUndo), static_cast<TUndoJournal*>(RoutUndo),
                                            static_cast<TUndoJournal*>(DrillUndo)}) {
                const fs::path file = NativePath(journal->FileName());
                EXPECT_TRUE(fs::is_regular_file(file)) << file;
                EXPECT_EQ(taken.count(file.filename().string()), 0u) << file;
              }
              EXPECT_TRUE(ClickMenu(*form.Menu(), "&Edit|&Line"));
              Click(form, 40, 50);
              Click(form, 200, 50);
              const auto drawn = CadCounts();
              EXPECT_FALSE(drawn.empty());
              EXPECT_TRUE(ClickMenu(*form.Menu(), "&Edit|&UnDo"));
              EXPECT_TRUE(CadCounts().empty());
              EXPECT_TRUE(ClickMenu(*form.Menu(), "&Edit|Re&Do"));
              EXPECT_EQ(CadCounts(), drawn);
              EXPECT_TRUE(ShownMessageBoxes().empty());
              for (int n = 0; n < 24; n += 2) {
                EXPECT_TRUE(fs::is_directory(scratch / ScratchLeaf(n)));
                EXPECT_EQ(ReadFileBytes(scratch / ScratchLeaf(n + 1)), "journal of an earlier run");
              }
              return 0;
            }),
            0);
  EXPECT_TRUE(ran);
}

// A scratch folder the user may not write to: one box at start-up names
// the file that could not be made and why.
TEST_F(TKeptFilesTest, AScratchFolderThatCannotBeWrittenIsReportedOnce) {
  const fs::path scratch = Home() / "SCRATCH";
  fs::create_directories(scratch);
  for (const auto& e : fs::recursive_directory_iterator(TempDir)) ::chmod(e.path().c_str(), 0777);
  ::chmod(TempDir.c_str(), 0777);
  ::chmod(scratch.c_str(), 0555);
  const int result = RunUnprivileged([&] {
    StartProgram();
    std::vector<std::string> journalBoxes;
    for (const auto& box : ShownMessageBoxes())
      if (box.Text.find("undo journal") != std::string::npos) journalBoxes.push_back(box.Text);
    const std::string expected = SystemErrorText(EACCES) + "\r\nwhile creating the undo journal " +
                                 ExecutionPath() + "SCRATCH" + PathDelim;
    return journalBoxes.size() == 1 && journalBoxes[0].rfind(expected, 0) == 0 &&
           journalBoxes[0].size() == expected.size() + 12;
  });
  ::chmod(scratch.c_str(), 0755);
  if (result < 0) GTEST_SKIP() << "cannot drop privileges";
  EXPECT_EQ(result, 1);
}

}  // namespace
