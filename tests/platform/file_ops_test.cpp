#include "platform/file_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "korvex_test.h"
#include "platform/headless/headless_files.h"

namespace fs = std::filesystem;

namespace {
class FileOpsTest : public TKorvexTest {
 protected:
  int Entries() const { return int(std::distance(fs::directory_iterator(Dir()), fs::directory_iterator())); }
  fs::path Dir() const { return TempDir / "home"; }
};
}  // namespace

TEST_F(FileOpsTest, ReplacesWholeFilesAndKeepsTheOldOneOnAnyFailure) {
  const fs::path target = Dir() / "TOOLS.TBL";
  const std::string text(5000, 'x');
  ASSERT_EQ(ReplaceFileContents(target, text.data(), text.size()), 0);
  EXPECT_EQ(ReadFileBytes(target), text);
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);

  // A replaced file keeps its permissions.
  ::chmod(target.c_str(), 0600);
  ASSERT_EQ(ReplaceFileContents(target, "new", 3), 0);
  EXPECT_EQ(ReadFileBytes(target), "new");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  // A write that fails halfway leaves the old file and no temporary file.
  HeadlessFailWritesAfter(100, EIO);
  EXPECT_EQ(ReplaceFileContents(target, text.data(), text.size()), EIO);
  EXPECT_EQ(ReadFileBytes(target), "new");
  EXPECT_EQ(Entries(), 1);
  HeadlessFailWritesAfter(-1);
  EXPECT_EQ(ReplaceFileContents(target, text.data(), text.size()), 0);

  // A missing folder is reported, nothing is made.
  EXPECT_EQ(ReplaceFileContents(Dir() / "NONE" / "X", "a", 1), ENOENT);
  EXPECT_EQ(Entries(), 1);
}

TEST_F(FileOpsTest, ALinkIsReplacedWhereItPoints) {
  const fs::path real = Dir() / "real.reg";
  const fs::path link = Dir() / "link.reg";
  WriteFileBytes(real, "old");
  fs::create_symlink(real, link);
  ASSERT_EQ(ReplaceFileContents(link, "new", 3), 0);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(real), "new");
}

TEST_F(FileOpsTest, ALinkThatPointsNowhereIsSavedThroughNeverReplaced) {
  // A relative link to a file not made yet: the file is made where the link
  // says, the link stays.
  fs::create_directories(Dir() / "jobs");
  fs::create_symlink("jobs/REAL.ZUL", Dir() / "JOB.ZUL");
  ASSERT_EQ(ReplaceFileContents(Dir() / "JOB.ZUL", "new", 3), 0);
  EXPECT_TRUE(fs::is_symlink(Dir() / "JOB.ZUL"));
  EXPECT_EQ(ReadFileBytes(Dir() / "jobs" / "REAL.ZUL"), "new");

  // Into a folder that is not there: refused as a save to that name is.
  fs::create_symlink(Dir() / "gone" / "X.ZUL", Dir() / "LOST.ZUL");
  EXPECT_EQ(ReplaceFileContents(Dir() / "LOST.ZUL", "x", 1), ENOENT);
  EXPECT_TRUE(fs::is_symlink(Dir() / "LOST.ZUL"));

  // Links that lead round in a circle.
  fs::create_symlink("B", Dir() / "A");
  fs::create_symlink("A", Dir() / "B");
  TReplacingFile circle((Dir() / "A").string());
  EXPECT_FALSE(circle.Opened());
  EXPECT_EQ(circle.Error(), ELOOP);
  EXPECT_TRUE(fs::is_symlink(Dir() / "A"));
  EXPECT_EQ(Entries(), 5);
}

TEST_F(FileOpsTest, WhatACutShortSaveLeftIsRemovedAndNothingElse) {
  const std::string signature = "0\r\nHEADER\r\n";
  const fs::path target = Dir() / "JOB.ZUL";
  WriteFileBytes(target, signature + "saved");
  WriteFileBytes(Dir() / "JOB.ZUL.saving-a1B2c3", signature + "cut short");  // goes
  WriteFileBytes(Dir() / "JOB.ZUL.saving-Zz9Yy8", "another program's");      // other contents
  WriteFileBytes(Dir() / "JOB.ZUL.backup", signature);                       // the user's
  WriteFileBytes(Dir() / "JOB.ZUL.saving-a1B2c3d", signature);               // other name
  WriteFileBytes(Dir() / "OTHER.ZUL.saving-a1B2c3", signature);              // another file's
  WriteFileBytes(Dir() / "kept", signature);
  fs::create_symlink(Dir() / "kept", Dir() / "JOB.ZUL.saving-Lnk123");       // a link
  // A save in progress holds its file.
  TReplacingFile running(target.string());
  ASSERT_EQ(running.Write(signature.data(), signature.size()), 0);
  EXPECT_EQ(RemoveStaleReplacingFiles(target.string(), signature), 1);
  EXPECT_FALSE(fs::exists(Dir() / "JOB.ZUL.saving-a1B2c3"));
  EXPECT_EQ(Entries(), 8);
  EXPECT_EQ(running.Close(), 0);
  EXPECT_EQ(running.Commit(), 0);
  EXPECT_EQ(ReadFileBytes(target), signature);
}
