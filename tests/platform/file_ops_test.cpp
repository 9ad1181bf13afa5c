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
