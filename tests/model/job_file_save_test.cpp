#include "workspace/job_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "foundation/file_utils.h"
#include "foundation/settings_families.h"
#include "job_file_test_support.h"
#include "model/drill_database.h"
#include "model/drill_tools.h"
#include "model/job_file_reader.h"
#include "model/job_file_writer.h"
#include "model/rout_entities.h"
#include "model/view_services.h"
#include "platform/file_ops.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_files.h"
#include "platform/message_box.h"
#include "workspace/layers.h"
#include "workspace/startup.h"

namespace fs = std::filesystem;

namespace {

class JobFileSaveTest : public TJobFileTest {
 protected:
  void SetUp() override {
    TJobFileTest::SetUp();
    LayerHooks.UpdateCaption = [this] { ++Captions; };
  }
  void TearDown() override {
    LayerHooks.UpdateCaption = nullptr;
    TJobFileTest::TearDown();
  }
  // Names of the files in the folder.
  static std::vector<std::string> Files(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
  }
  int Captions = 0;
};

TEST_F(JobFileSaveTest, SaveGivesTheJobExtensionKeepsTheFolderAndKeepsABackup) {
  fs::create_directories(TempDir / "Jobs");
  DatabaseFileName = (TempDir / "Jobs" / "panel7.dat").string();
  DRDB->AddHoleOnLayer(1, 2, 30, 1, true);
  DatabaseModified = true;
  RoutLayerModified[42] = true;
  ASSERT_TRUE(SaveJobFile());
  const fs::path saved = TempDir / "Jobs" / "panel7.ZUL";
  EXPECT_EQ(DatabaseFileName, saved.string());
  EXPECT_FALSE(DatabaseModified);
  EXPECT_FALSE(RoutLayerModified[42]);
  EXPECT_EQ(Captions, 1);
  const std::string first = ReadFileBytes(saved);
  EXPECT_NE(first.find("DRILLHOLE"), std::string::npos);
  EXPECT_EQ(Files(TempDir / "Jobs"), std::vector<std::string>{"panel7.ZUL"});

  // A second save keeps the first version as the backup; a third replaces
  // the older backup.
  DRDB->AddHoleOnLayer(3, 4, 30, 1, true);
  ASSERT_TRUE(SaveJobFile());
  EXPECT_EQ(ReadFileBytes(TempDir / "Jobs" / "panel7.~ZU"), first);
  const std::string second = ReadFileBytes(saved);
  EXPECT_NE(second, first);
  ASSERT_TRUE(SaveJobFile());
  EXPECT_EQ(ReadFileBytes(TempDir / "Jobs" / "panel7.~ZU"), second);
  EXPECT_EQ(Files(TempDir / "Jobs"), (std::vector<std::string>{"panel7.ZUL", "panel7.~ZU"}));
  EXPECT_EQ(HeadlessViewServices().ModalDepth, 0);
}

TEST_F(JobFileSaveTest, AnInterruptedSaveKeepsTheOldFileAndTheModifiedJob) {
  BuildRichJob();
  DatabaseFileName = FileIn("JOB.ZUL");
  ASSERT_TRUE(SaveJobFile());
  const std::string old = ReadFileBytes(TempDir / "JOB.ZUL");
  DRDB->AddHoleOnLayer(9, 9, 30, 1, true);
  DatabaseModified = true;
  RoutLayerModified[40] = true;
  ResetHeadlessDialogs();

  HeadlessFailWritesAfter(300);
  EXPECT_FALSE(SaveJobFile());
  EXPECT_EQ(ReadFileBytes(TempDir / "JOB.ZUL"), old);
  EXPECT_FALSE(fs::exists(TempDir / "JOB.~ZU"));  // no backup of a save that failed
  EXPECT_TRUE(DatabaseModified);
  EXPECT_TRUE(RoutLayerModified[40]);
  EXPECT_EQ(Boxes(), std::vector<std::string>{SystemErrorText(ENOSPC) +
                                             "\r\nwhile saving the job file " + FileIn("JOB.ZUL")});
  // No temporary file is left behind.
  EXPECT_EQ(Files(TempDir), (std::vector<std::string>{"JOB.ZUL", "config", "home"}));

  HeadlessFailWritesAfter(-1);
  EXPECT_TRUE(SaveJobFile());
  EXPECT_FALSE(DatabaseModified);
  EXPECT_EQ(ReadFileBytes(TempDir / "JOB.~ZU"), old);
}

TEST_F(JobFileSaveTest, ASaveIntoAReadOnlyFolderKeepsEverything) {
  fs::create_directories(TempDir / "ro");
  DatabaseFileName = (TempDir / "ro" / "JOB.ZUL").string();
  ASSERT_TRUE(SaveJobFile());
  const std::string old = ReadFileBytes(TempDir / "ro" / "JOB.ZUL");
  ::chmod((TempDir / "ro").c_str(), 0555);
  ::chmod(TempDir.c_str(), 0755);
  DRDB->AddHoleOnLayer(9, 9, 30, 1, true);
  DatabaseModified = true;
  const int result = RunUnprivileged([&] {
    ResetHeadlessDialogs();
    const bool saved = SaveJobFile();
    const auto boxes = Boxes();
    return !saved && DatabaseModified && boxes.size() == 1 &&
           boxes[0].find(SystemErrorText(EACCES)) == 0 &&
           ReadFileBytes(TempDir / "ro" / "JOB.ZUL") == old;
  });
  ::chmod((TempDir / "ro").c_str(), 0755);
  if (result < 0) GTEST_SKIP() << "cannot drop privileges";
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Files(TempDir / "ro"), std::vector<std::string>{"JOB.ZUL"});
}

TEST_F(JobFileSaveTest, SaveAsAsksBeforeOverwritingAndAsksAgainInTheSameFolder) {
  fs::create_directories(TempDir / "out");
  WriteFileBytes(TempDir / "out" / "TAKEN.ZUL", "old");
  ScriptFileDialogAnswer((TempDir / "out" / "TAKEN").string());
  ScriptMessageBoxAnswer(mrNo);
  ScriptFileDialogAnswer((TempDir / "out" / "Fresh").string());
  ASSERT_TRUE(SaveJobFileAs());
  const auto& dialogs = ShownCommonDialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].Title, "Save Database as:");
  EXPECT_EQ(dialogs[0].FileName, "*.ZUL");
  EXPECT_EQ(dialogs[1].FileName, "*.ZUL");
  EXPECT_EQ(dialogs[1].InitialDir, (TempDir / "out").string());
  EXPECT_EQ(Boxes(), std::vector<std::string>{"File <" + (TempDir / "out" / "TAKEN.ZUL").string() +
                                             "> exists!\r\nDo you wish to overwrite it?"});
  EXPECT_EQ(ReadFileBytes(TempDir / "out" / "TAKEN.ZUL"), "old");
  EXPECT_EQ(DatabaseFileName, (TempDir / "out" / "Fresh.ZUL").string());
  EXPECT_EQ(DatabasePath, (TempDir / "out").string() + "/");
  EXPECT_TRUE(fs::exists(TempDir / "out" / "Fresh.ZUL"));

  // Yes overwrites and keeps the old file as the backup.
  ResetHeadlessDialogs();
  ScriptFileDialogAnswer((TempDir / "out" / "TAKEN.ZUL").string());
  ScriptMessageBoxAnswer(mrYes);
  ASSERT_TRUE(SaveJobFileAs());
  EXPECT_EQ(ReadFileBytes(TempDir / "out" / "TAKEN.~ZU"), "old");
  EXPECT_NE(ReadFileBytes(TempDir / "out" / "TAKEN.ZUL").find("HEADER"), std::string::npos);

  // A name typed with the job extension in any case is written as typed.
  for (const char* typed : {"job1.ZUL", "Job2.zul"}) {
    ResetHeadlessDialogs();
    ScriptFileDialogAnswer((TempDir / "out" / typed).string());
    ASSERT_TRUE(SaveJobFileAs());
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(DatabaseFileName, (TempDir / "out" / typed).string());
    EXPECT_TRUE(fs::exists(TempDir / "out" / typed));
  }
  EXPECT_EQ(Files(TempDir / "out"), (std::vector<std::string>{"Fresh.ZUL", "Job2.zul", "TAKEN.ZUL",
                                                              "TAKEN.~ZU", "job1.ZUL"}));
}

TEST_F(JobFileSaveTest, AFileWhoseNameDiffersOnlyInCaseIsNeverReplacedUnasked) {
  fs::create_directories(TempDir / "out");
  WriteFileBytes(TempDir / "out" / "JOB.ZUL", "other job");
  // Save As asks about that very file, under its own name; No keeps it.
  ScriptFileDialogAnswer((TempDir / "out" / "job.zul").string());
  ScriptMessageBoxAnswer(mrNo);
  ScriptCommonDialogCancel();
  EXPECT_FALSE(SaveJobFileAs());
  EXPECT_EQ(Boxes(), std::vector<std::string>{"File <" + (TempDir / "out" / "JOB.ZUL").string() +
                                             "> exists!\r\nDo you wish to overwrite it?"});
  EXPECT_EQ(ReadFileBytes(TempDir / "out" / "JOB.ZUL"), "other job");
  // Yes replaces it, and the job is named as that file is.
  ResetHeadlessDialogs();
  ScriptFileDialogAnswer((TempDir / "out" / "job.zul").string());
  ScriptMessageBoxAnswer(mrYes);
  ASSERT_TRUE(SaveJobFileAs());
  EXPECT_EQ(DatabaseFileName, (TempDir / "out" / "JOB.ZUL").string());
  EXPECT_NE(ReadFileBytes(TempDir / "out" / "JOB.ZUL").find("HEADER"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(TempDir / "out" / "JOB.~ZU"), "other job");
  EXPECT_EQ(Files(TempDir / "out"), (std::vector<std::string>{"JOB.ZUL", "JOB.~ZU"}));

  // Save, which asks nothing, writes its own name beside the other file.
  WriteFileBytes(TempDir / "out" / "PANEL.ZUL", "panel");
  DatabaseFileName = (TempDir / "out" / "panel.ZUL").string();
  ASSERT_TRUE(SaveJobFile());
  EXPECT_EQ(ReadFileBytes(TempDir / "out" / "PANEL.ZUL"), "panel");
  EXPECT_NE(ReadFileBytes(TempDir / "out" / "panel.ZUL").find("HEADER"), std::string::npos);
}

TEST_F(JobFileSaveTest, ConfirmSaveJobFileFollowsTheAnswer) {
  EXPECT_TRUE(ConfirmSaveJobFile());  // not modified: nothing asked
  EXPECT_TRUE(Boxes().empty());
  DatabaseModified = true;
  ScriptMessageBoxAnswer(mrYes);
  ScriptCommonDialogCancel();
  EXPECT_FALSE(ConfirmSaveJobFile());
  EXPECT_EQ(Boxes(), std::vector<std::string>{"You are about to lose changes made made to the "
                                             "database! Do you wish to save it?"});
  EXPECT_EQ(Captions, 1);
  ScriptMessageBoxAnswer(mrNo);
  EXPECT_TRUE(ConfirmSaveJobFile());
  ScriptMessageBoxAnswer(mrCancel);
  EXPECT_FALSE(ConfirmSaveJobFile());
  EXPECT_TRUE(DatabaseModified);
  InstallJobFileOperations();
  ScriptMessageBoxAnswer(mrCancel);
  EXPECT_FALSE(JobFileSaveQuery());
  JobFileSaveQuery = [] { return true; };
}

TEST_F(JobFileSaveTest, OpenReplacesTheJobAndNamesIt) {
  BuildRichJob();
  const std::string before = DumpJob();
  ASSERT_EQ(WriteJobFile(FileIn("JOB.ZUL")), 0);
  // Another job is being edited when the file is opened.
  ClearAll();
  DRDB->AddHoleOnLayer(5, 5, 35, 3, true);
  DatabaseModified = true;
  RoutLayerFileNames[41] = "R1.ROU";
  DrillTapeFileName = "OLD.DRL";
  DatabasePath = "elsewhere/";
  ScriptMessageBoxAnswer(mrNo);  // drop the changes
  ScriptFileDialogAnswer(FileIn("JOB.ZUL"));
  ASSERT_TRUE(OpenJobCommand());
  EXPECT_EQ(ShownCommonDialogs()[0].Title, "Select file to open");
  EXPECT_EQ(ShownCommonDialogs()[0].FileName, "*.ZUL");
  EXPECT_EQ(DumpJob(), before);
  EXPECT_EQ(DatabaseFileName, FileIn("JOB.ZUL"));
  EXPECT_EQ(DatabasePath, TempDir.string() + "/");
  EXPECT_FALSE(DatabaseModified);
  EXPECT_EQ(RoutLayerFileNames[41], "");
  EXPECT_EQ(DrillTapeFileName, "");
  EXPECT_EQ(Captions, 1);
  EXPECT_EQ(HeadlessViewServices().PleaseWaitTexts,
            std::vector<std::string>{" Opening Orbenwright Database file..."});
  EXPECT_FALSE(HeadlessViewServices().PleaseWaitShown);
  EXPECT_EQ(HeadlessViewServices().ModalDepth, 0);
  // The loaded entities cannot be undone one by one.
  std::string step;
  EXPECT_FALSE(DrillUndo->CanUndo(step));
}

TEST_F(JobFileSaveTest, AJobOpenedByANameInAnotherCaseIsSavedToTheFileItCameFrom) {
  DRDB->AddHoleOnLayer(5, 5, 35, 3, true);
  ASSERT_EQ(WriteJobFile(FileIn("PANEL.ZUL")), 0);
  ClearAll();
  ASSERT_TRUE(OpenJobFile(FileIn("panel.zul")));
  EXPECT_EQ(DatabaseFileName, FileIn("PANEL.ZUL"));
  DRDB->AddHoleOnLayer(6, 6, 35, 3, true);
  ASSERT_TRUE(SaveJobFile());
  EXPECT_FALSE(fs::exists(TempDir / "panel.zul"));
  ClearAll();
  ASSERT_TRUE(OpenJobFile(FileIn("PANEL.ZUL")));
  EXPECT_EQ(DrillEntityCount, 2);
}

// The folder's files apart from the fixture's own.
std::vector<std::string> JobFolderFiles(const fs::path& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename() != "config" && e.path().filename() != "home")
      out.push_back(e.path().filename());
  std::sort(out.begin(), out.end());
  return out;
}

TEST_F(JobFileSaveTest, NamesThatWouldBeCutAndReadOnlyFilesAreRefusedBeforeWriting) {
  // A name of 255 characters without extension: with ".ZUL" it no longer
  // fits, and a cut name would make the job and its backup one file.
  const std::string base = TempDir.string() + "/";
  const std::string chosen = base + std::string(255 - base.size(), 'J');
  WriteFileBytes(chosen, "other");
  DRDB->AddHoleOnLayer(1, 2, 30, 1, true);
  DatabaseModified = true;
  ScriptFileDialogAnswer(chosen);
  EXPECT_FALSE(SaveJobFileAs());
  const std::string zul = JobFileNameOf(chosen);
  EXPECT_EQ(zul.size(), 259u);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"The name <" + zul +
                                             "> is too long!\r\nA job file name may hold at "
                                             "most 255 characters."});
  EXPECT_TRUE(DatabaseModified);
  EXPECT_EQ(ReadFileBytes(chosen), "other");
  DatabaseFileName = chosen;
  EXPECT_FALSE(SaveJobFile());
  EXPECT_EQ(JobFolderFiles(TempDir), std::vector<std::string>{fs::path(chosen).filename()});

  // The commit itself never takes the target as its own backup.
  DatabaseFileName = FileIn("JOB.ZUL");
  ASSERT_TRUE(SaveJobFile());
  const std::string saved = ReadFileBytes(TempDir / "JOB.ZUL");
  {
    TJobFileWriter w(FileIn("JOB.ZUL"));
    ASSERT_EQ(w.Finish(), 0);
    EXPECT_EQ(w.Commit(FileIn("JOB.ZUL")), EINVAL);
  }
  EXPECT_EQ(ReadFileBytes(TempDir / "JOB.ZUL"), saved);

  // A read-only job file is not replaced behind the user's back.
  ResetHeadlessDialogs();
  ::chmod((TempDir / "JOB.ZUL").c_str(), 0444);
  DatabaseModified = true;
  EXPECT_FALSE(SaveJobFile());
  EXPECT_EQ(Boxes(), std::vector<std::string>{"File <" + FileIn("JOB.ZUL") +
                                             "> is read-only!\r\nThe job was not saved."});
  EXPECT_TRUE(DatabaseModified);
  EXPECT_EQ(ReadFileBytes(TempDir / "JOB.ZUL"), saved);
  ::chmod((TempDir / "JOB.ZUL").c_str(), 0644);
  EXPECT_TRUE(SaveJobFile());
}

TEST_F(JobFileSaveTest, AFileSizeLimitIsAWriteErrorAndLeavesNoTemporaryFile) {
  BuildRichJob();
  DatabaseFileName = FileIn("JOB.ZUL");
  ASSERT_TRUE(SaveJobFile());
  const std::string old = ReadFileBytes(TempDir / "JOB.ZUL");
  ASSERT_GT(old.size(), 600u);
  // In a child, so the limit stays there; a limit crossed would end the
  // child by signal if the save did not ignore it.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    struct rlimit limit {512, 512};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ResetHeadlessDialogs();
    DatabaseModified = true;
    const bool saved = SaveJobFile();
    const bool replaced = WriteFileReplacing(FileIn("OTHER.BIN"), std::vector<uint8_t>(4096, 7));
    const auto boxes = Boxes();
    const bool reported = boxes.size() == 1 && boxes[0].find(SystemErrorText(EFBIG)) == 0;
    ::_exit(!saved && !replaced && DatabaseModified && reported ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFileBytes(TempDir / "JOB.ZUL"), old);
  EXPECT_EQ(JobFolderFiles(TempDir), std::vector<std::string>{"JOB.ZUL"});
}

TEST_F(JobFileSaveTest, AFailedSaveKeepsTheOldJobAndTheOldBackup) {
  DatabaseFileName = FileIn("JOB.ZUL");
  DRDB->AddHoleOnLayer(1, 2, 30, 1, true);
  ASSERT_TRUE(SaveJobFile());
  const std::string first = ReadFileBytes(TempDir / "JOB.ZUL");
  DRDB->AddHoleOnLayer(3, 4, 30, 1, true);
  ASSERT_TRUE(SaveJobFile());
  const std::string second = ReadFileBytes(TempDir / "JOB.ZUL");
  ASSERT_EQ(ReadFileBytes(TempDir / "JOB.~ZU"), first);

  // A folder has taken the job file's place.
  fs::create_directories(TempDir / "store");
  fs::rename(TempDir / "JOB.ZUL", TempDir / "store" / "JOB.ZUL");
  fs::create_directory(TempDir / "JOB.ZUL");
  DRDB->AddHoleOnLayer(5, 6, 30, 1, true);
  DatabaseModified = true;
  ResetHeadlessDialogs();
  EXPECT_FALSE(SaveJobFile());
  EXPECT_EQ(Boxes(), std::vector<std::string>{SystemErrorText(EISDIR) +
                                             "\r\nwhile saving the job file " + FileIn("JOB.ZUL")});
  EXPECT_EQ(ReadFileBytes(TempDir / "JOB.~ZU"), first);
  EXPECT_TRUE(DatabaseModified);
  EXPECT_EQ(JobFolderFiles(TempDir), (std::vector<std::string>{"JOB.ZUL", "JOB.~ZU", "store"}));

  // The job file is a link to another file system, whose rename fails for
  // want of space.
  fs::remove(TempDir / "JOB.ZUL");
  fs::create_symlink("store/JOB.ZUL", TempDir / "JOB.ZUL");
  HeadlessFailRenames(ENOSPC);
  ResetHeadlessDialogs();
  EXPECT_FALSE(SaveJobFile());
  EXPECT_EQ(Boxes(), std::vector<std::string>{SystemErrorText(ENOSPC) +
                                             "\r\nwhile saving the job file " + FileIn("JOB.ZUL")});
  EXPECT_EQ(ReadFileBytes(TempDir / "store" / "JOB.ZUL"), second);
  EXPECT_EQ(ReadFileBytes(TempDir / "JOB.~ZU"), first);
  EXPECT_EQ(JobFolderFiles(TempDir), (std::vector<std::string>{"JOB.ZUL", "JOB.~ZU", "store"}));
  EXPECT_EQ(JobFolderFiles(TempDir / "store"), std::vector<std::string>{"JOB.ZUL"});

  HeadlessFailRenames(0);
  ASSERT_TRUE(SaveJobFile());
  EXPECT_TRUE(fs::is_symlink(TempDir / "JOB.ZUL"));
  EXPECT_EQ(ReadFileBytes(TempDir / "JOB.~ZU"), second);
  EXPECT_NE(ReadFileBytes(TempDir / "store" / "JOB.ZUL"), second);
}

// Writes that end the process at the third write, as a kill mid-save would.
class TKillingWrites : public TFileWrites {
 public:
  ssize_t Write(int fd, const void* data, std::size_t size) override {
    if (++Calls_ == 3) ::kill(::getpid(), SIGKILL);
    return ::write(fd, data, size);
  }

 private:
  int Calls_ = 0;
};

TEST_F(JobFileSaveTest, WhatASaveKilledMidWriteLeftIsRemovedByTheNextSave) {
  BuildRichJob();
  for (int32_t i = 0; i < 20000; ++i) DRDB->AddHoleOnLayer(i * 100, i * 7, 30, 1 + i % 9, true);
  DatabaseFileName = FileIn("JOB.ZUL");
  ASSERT_TRUE(SaveJobFile());
  const std::string saved = ReadFileBytes(TempDir / "JOB.ZUL");
  ASSERT_GT(saved.size(), 600000u);
  WriteFileBytes(TempDir / "JOB.ZUL.saving-Qq1Ww2", "another program's file");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    static TKillingWrites killing;
    SetFileWrites(&killing);
    SaveJobFile();
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ReadFileBytes(TempDir / "JOB.ZUL"), saved);
  std::vector<std::string> files = JobFolderFiles(TempDir);
  ASSERT_EQ(files.size(), 3u);  // the job, the other file and the left-over
  const std::string leftOver = files[1] == "JOB.ZUL.saving-Qq1Ww2" ? files[2] : files[1];
  EXPECT_EQ(leftOver.rfind("JOB.ZUL.saving-", 0), 0u);
  EXPECT_EQ(leftOver.size(), 21u);
  EXPECT_GT(fs::file_size(TempDir / leftOver), 200000u);

  ASSERT_TRUE(SaveJobFile());
  EXPECT_EQ(JobFolderFiles(TempDir),
            (std::vector<std::string>{"JOB.ZUL", "JOB.ZUL.saving-Qq1Ww2", "JOB.~ZU"}));
  EXPECT_EQ(ReadFileBytes(TempDir / "JOB.ZUL.saving-Qq1Ww2"), "another program's file");
}

TEST_F(JobFileSaveTest, ASavedJobAndItsBackupKeepTheOwnerAndPermissionBits) {
  auto mode = [](const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
  };
  DatabaseFileName = FileIn("JOB.ZUL");
  ASSERT_TRUE(SaveJobFile());
  ::chmod((TempDir / "JOB.ZUL").c_str(), 0640);
  const bool root = ::geteuid() == 0;
  if (root) ASSERT_EQ(::chown((TempDir / "JOB.ZUL").c_str(), 65534, 65534), 0);
  ASSERT_TRUE(SaveJobFile());
  EXPECT_EQ(mode(TempDir / "JOB.ZUL"), 0640u);
  EXPECT_EQ(mode(TempDir / "JOB.~ZU"), 0640u);
  if (root) {
    struct stat st {};
    ::stat((TempDir / "JOB.ZUL").c_str(), &st);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
  }

  // A job on another file system: its backup beside the link is a copy,
  // and keeps the job's bits all the same.
  struct stat here {}, there {};
  if (::stat(TempDir.c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 ||
      here.st_dev == there.st_dev || ::access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "no second file system to save to";
  const fs::path store = fs::path("/dev/shm") / ("korvex_" + TempDir.filename().string());
  fs::create_directories(store);
  fs::create_symlink(store / "FAR.ZUL", TempDir / "FAR.ZUL");
  DatabaseFileName = FileIn("FAR.ZUL");
  ASSERT_TRUE(SaveJobFile());
  ::chmod((store / "FAR.ZUL").c_str(), 0600);
  ASSERT_TRUE(SaveJobFile());
  EXPECT_EQ(mode(store / "FAR.ZUL"), 0600u);
  EXPECT_EQ(mode(TempDir / "FAR.~ZU"), 0600u);
  EXPECT_NE(ReadFileBytes(TempDir / "FAR.~ZU").find("HEADER"), std::string::npos);
  fs::remove_all(store);
}

TEST_F(JobFileSaveTest, ALinkAtTheJobsNameThatPointsNowhereIsSavedThrough) {
  fs::create_directories(TempDir / "store");
  fs::create_symlink("store/REAL.ZUL", TempDir / "JOB.ZUL");
  DatabaseFileName = FileIn("JOB.ZUL");
  DRDB->AddHoleOnLayer(1, 2, 30, 1, true);
  DatabaseModified = true;
  ASSERT_TRUE(SaveJobFile());
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(fs::is_symlink(TempDir / "JOB.ZUL"));
  EXPECT_NE(ReadFileBytes(TempDir / "store" / "REAL.ZUL").find("DRILLHOLE"), std::string::npos);
  EXPECT_EQ(JobFolderFiles(TempDir), (std::vector<std::string>{"JOB.ZUL", "store"}));

  // Into a folder that is gone: refused as a save to that folder is, and
  // the link stays.
  fs::create_symlink(TempDir / "gone" / "X.ZUL", TempDir / "LOST.ZUL");
  DatabaseFileName = FileIn("LOST.ZUL");
  DatabaseModified = true;
  EXPECT_FALSE(SaveJobFile());
  EXPECT_EQ(Boxes(), std::vector<std::string>{SystemErrorText(ENOENT) +
                                             "\r\nwhile saving the job file " + FileIn("LOST.ZUL")});
  EXPECT_TRUE(fs::is_symlink(TempDir / "LOST.ZUL"));
  EXPECT_TRUE(DatabaseModified);
}

TEST_F(JobFileSaveTest, AnOpenTellsHowManyRecordsItPassedOverAndOnWhichLines) {
  for (int32_t i = 1; i <= 3; ++i) DRDB->AddHoleOnLayer(i, i, 30, 1, true);
  ASSERT_EQ(WriteJobFile(FileIn("JOB.ZUL")), 0);
  std::string text = ReadFileBytes(TempDir / "JOB.ZUL");
  auto lineOf = [&](std::size_t at) {
    return std::to_string(std::count(text.begin(), text.begin() + long(at), '\n') + 1);
  };
  // One hole's record name damaged, and a record of a newer version.
  const std::size_t second = text.find("DRILLHOLE", text.find("DRILLHOLE") + 1);
  text.replace(second, 9, "DRILLHOLF");
  const std::size_t eof = text.rfind("0\r\nENDSEC");
  text.insert(eof, "0\r\nPOLYLINE\r\n8\r\n1\r\n");
  WriteFileBytes(TempDir / "JOB.ZUL", text);
  ClearAll();
  ASSERT_TRUE(OpenJobFile(FileIn("JOB.ZUL")));
  EXPECT_EQ(DrillEntityCount, 2);
  EXPECT_EQ(Boxes(), std::vector<std::string>{
                         "2 records of the file <" + FileIn("JOB.ZUL") +
                         "> could not be read and were left out: their names are unknown (lines " +
                         lineOf(second) + ", " + lineOf(eof + 3) +
                         ").\r\nSaving the job will write the file without them."});
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtWarning);

  // The end of the header damaged: the tool section inside it is passed
  // over whole, and said so.
  ClearAll();
  ToolTable[4].Diameter = 500000;
  ASSERT_EQ(WriteJobFile(FileIn("TOOLS.ZUL")), 0);
  text = ReadFileBytes(TempDir / "TOOLS.ZUL");
  const std::size_t end = text.find("ENDSEC");
  text.replace(end, 6, "ENDSEX");
  WriteFileBytes(TempDir / "TOOLS.ZUL", text);
  ClearAll();
  ResetHeadlessDialogs();
  ASSERT_TRUE(OpenJobFile(FileIn("TOOLS.ZUL")));
  EXPECT_EQ(ToolTable[4].Diameter, 0);
  EXPECT_EQ(Boxes(), std::vector<std::string>{
                         "3 records of the file <" + FileIn("TOOLS.ZUL") +
                         "> could not be read and were left out: their names are unknown (lines " +
                         lineOf(end) + ", " + lineOf(text.find("TOOLSECTION")) + ", " +
                         lineOf(text.find("\r\nTOOL\r\n") + 2) +
                         ").\r\nSaving the job will write the file without them."});
}

}  // namespace

namespace {

// Save writes what the job holds: patterns past the bound the editors keep
// (an undo in one mode brings back patterns the other mode's edits were not
// counted against) are saved, and the reader, which takes twice that bound,
// opens the file again. A job past what the reader takes is not saved: the
// file keeps the job it held.
TEST_F(JobFileSaveTest, AJobPastTheEditorsStepBoundIsSavedAndOpenedAgain) {
  DatabaseFileName = FileIn("JOB.ZUL");
  const int32_t hole = DRDB->AddHoleOnLayer(1, 2, 30, 1, true);
  DRDB->EntityAt(hole)->SetStepObj(MakeSteps({{0, 100, 10, 0, 0}}));
  DatabaseModified = true;
  SetJobStepWorkLimit(60);
  ResetHeadlessDialogs();
  EXPECT_TRUE(SaveJobFile());
  EXPECT_EQ(Boxes(), std::vector<std::string>{});
  EXPECT_FALSE(DatabaseModified);
  ASSERT_TRUE(OpenJobFile(FileIn("JOB.ZUL")));
  EXPECT_EQ(Boxes(), std::vector<std::string>{});
  EXPECT_EQ(JobStepWork(), 101);
  SetJobStepWorkLimit(50);
  ASSERT_FALSE(OpenJobFile(FileIn("JOB.ZUL")));
  EXPECT_NE(Boxes().back().find("come to more than 100 commands and copies"), std::string::npos) << Boxes().back();

  const std::string saved = ReadFileBytes(FileIn("JOB.ZUL"));
  DRDB->AddHoleOnLayer(3, 4, 30, 1, true);
  DatabaseModified = true;
  ResetHeadlessDialogs();
  EXPECT_FALSE(SaveJobFile());
  SetJobStepWorkLimit(0);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"The job's step patterns come to 101 commands and copies; a job file "
                                              "opens with at most 100.\r\nThe job was not saved."});
  EXPECT_TRUE(DatabaseModified);
  EXPECT_EQ(ReadFileBytes(FileIn("JOB.ZUL")), saved);
}

}  // namespace
