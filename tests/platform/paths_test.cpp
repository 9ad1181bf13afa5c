#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "korvex_test.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace {

class PathsTest : public TKorvexTest {
 protected:
  std::string Home() { return (TempDir / "home").string() + "/"; }
};

TEST_F(PathsTest, ExecutionPathEndsInASeparator) {
  EXPECT_EQ(ExecutionPath(), Home());
  setenv("KORVEX_HOME", Home().c_str(), 1);
  EXPECT_EQ(ExecutionPath(), Home());

  std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  unsetenv("KORVEX_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(ExecutionPath(), "/home/someone/KORVEX6/");
  setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(PathsTest, SavesWriteTheirOwnNameAndFindTheirFolderInAnyCase) {
  WriteFileBytes(TempDir / "home" / "Jobs" / "JOB.ZUL", "x");
  // The file itself is never taken in another case; its folder is.
  EXPECT_EQ(NativeSavePath(Home() + "JOBS\\job.zul"), Home() + "Jobs/job.zul");
  EXPECT_EQ(NativeSavePath(Home() + "jobs/JOB.ZUL"), Home() + "Jobs/JOB.ZUL");
  EXPECT_EQ(NativeSavePath("C:job.zul"), "job.zul");
  EXPECT_EQ(NativeSavePath(Home() + "jobs/"), Home() + "Jobs/");
  EXPECT_EQ(NativeSavePath(Home() + "JOBS\\\\new.zul"), Home() + "Jobs/new.zul");
  EXPECT_EQ(NativeSavePath("C:\\job.zul"), "/job.zul");
  // The existing file the question is about, spelt as it is on disk.
  EXPECT_EQ(ExistingFileName(Home() + "jobs\\job.zul"), Home() + "jobs\\JOB.ZUL");
  EXPECT_EQ(ExistingFileName(Home() + "Jobs/new.zul"), Home() + "Jobs/new.zul");
  EXPECT_EQ(ExistingFileName(Home() + "jobs"), Home() + "jobs");  // a folder is no file
}

TEST_F(PathsTest, WindowsNamesFindExistingEntriesIgnoringCase) {
  WriteFileBytes(TempDir / "home" / "SCRATCH" / "Job.Zul", "x");
  fs::create_directories(TempDir / "home" / "Drill" / "Sub");

  // Separators and the case of existing folders and files.
  EXPECT_EQ(NativePath(Home() + "scratch\\JOB.ZUL"), Home() + "SCRATCH/Job.Zul");
  EXPECT_EQ(NativePath(Home() + "SCRATCH\\Job.Zul"), Home() + "SCRATCH/Job.Zul");
  // A new file keeps its name; its folder is still found.
  EXPECT_EQ(NativePath(Home() + "scratch\\67772162.TMP"), Home() + "SCRATCH/67772162.TMP");
  // The same when the folder is spelt as it is: the file in another case,
  // a new file, the folder itself, and its parent.
  EXPECT_EQ(NativePath(Home() + "SCRATCH\\JOB.ZUL"), Home() + "SCRATCH/Job.Zul");
  EXPECT_EQ(NativePath(Home() + "SCRATCH\\NEW.TMP"), Home() + "SCRATCH/NEW.TMP");
  EXPECT_EQ(NativePath(Home() + "SCRATCH\\"), Home() + "SCRATCH/");
  EXPECT_EQ(NativePath(Home() + "SCRATCH\\.."), Home() + "SCRATCH/..");
  EXPECT_EQ(NativePath(Home() + "Drill\\SUB\\..\\sub"), Home() + "Drill/Sub/../Sub");
  // Below a missing folder nothing is looked up.
  EXPECT_EQ(NativePath(Home() + "NEW\\sub\\A.TXT"), Home() + "NEW/sub/A.TXT");
  // A trailing separator stays; doubled separators collapse.
  EXPECT_EQ(NativePath(Home() + "DRILL\\SUB\\"), Home() + "Drill/Sub/");
  EXPECT_EQ(NativePath(Home() + "DRILL\\\\sub"), Home() + "Drill/Sub");
  EXPECT_EQ(NativePath(Home() + "DRILL\\..\\scratch"), Home() + "Drill/../SCRATCH");

  // Where two entries differ only in case, an exact one wins, otherwise the
  // first in name order.
  WriteFileBytes(TempDir / "home" / "a.txt", "1");
  WriteFileBytes(TempDir / "home" / "A.TXT", "2");
  EXPECT_EQ(NativePath(Home() + "a.txt"), Home() + "a.txt");
  EXPECT_EQ(NativePath(Home() + "A.txt"), Home() + "A.TXT");

  // A drive is dropped: its root is the file system's root.
  EXPECT_EQ(NativePath("C:\\"), "/");
  EXPECT_EQ(NativePath("c:" + Home() + "SCRATCH\\JOB.ZUL"), Home() + "SCRATCH/Job.Zul");
  EXPECT_EQ(NativePath("D:\\NO_SUCH_DIR_K6\\FILE.DRL"), "/NO_SUCH_DIR_K6/FILE.DRL");
  EXPECT_EQ(NativePath(""), "");

  // Relative names start from the current folder; "C:NAME" is relative too.
  fs::path cwd = fs::current_path();
  fs::current_path(TempDir / "home");
  EXPECT_EQ(NativePath("scratch\\job.zul"), "SCRATCH/Job.Zul");
  EXPECT_EQ(NativePath("C:drill"), "Drill");
  EXPECT_EQ(NativePath("C:"), ".");
  fs::current_path(cwd);
}

TEST(MaskTest, WindowsMasks) {
  struct Case {
    const char* name;
    const char* mask;
    bool match;
  } cases[] = {
      {"README", "*.*", true},     {"a.b.c", "*.*", true},       {".hidden", "*.*", true},
      {"x.tmp", "*.TMP", true},    {"X.TMP", "*.tmp", true},     {"x.tmpx", "*.TMP", false},
      {"xtmp", "*.TMP", false},    {"matrix", "MATRIX.*", true}, {"matrix.z", "MATRIX.*", true},
      {"matrixes", "MATRIX.*", false},
      {"A1.DRL", "A?.DRL", true},  {"A.DRL", "A?.DRL", false},   {"AB1.DRL", "A?.DRL", false},
      {"abcbcd", "a*bcd", true},   {"abcbce", "a*bcd", false},   {"anything", "*", true},
      {"a", "a", true},            {"a", "b", false},            {"ab", "a", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesMask(c.name, c.mask), c.match) << c.name << " / " << c.mask;
}

TEST_F(PathsTest, DirectorySearch) {
  fs::path scratch = TempDir / "home" / "Scratch";
  WriteFileBytes(scratch / "b.tmp", "12345");
  WriteFileBytes(scratch / "A.TMP", "");
  WriteFileBytes(scratch / "c.zul", "");
  WriteFileBytes(scratch / ".x.tmp", "");
  fs::create_directories(scratch / "d.tmp");
  fs::permissions(scratch / "A.TMP", fs::perms::owner_read | fs::perms::group_read);

  auto names = [](TDirSearch& search, const std::string& mask, uint8_t attr) {
    std::vector<std::string> out;
    TSearchRec rec;
    for (bool ok = search.FindFirst(mask, attr, rec); ok; ok = search.FindNext(rec)) out.push_back(rec.Name);
    return out;
  };
  TDirSearch search;
  using V = std::vector<std::string>;
  EXPECT_EQ(names(search, Home() + "SCRATCH\\*.TMP", faArchive), (V{"A.TMP", "b.tmp"}));
  EXPECT_EQ(names(search, Home() + "SCRATCH\\*.*", faArchive), (V{"A.TMP", "b.tmp", "c.zul"}));
  EXPECT_EQ(names(search, Home() + "SCRATCH\\*.TMP", faArchive | faDirectory | faHidden),
            (V{".x.tmp", "A.TMP", "b.tmp", "d.tmp"}));
  EXPECT_EQ(names(search, Home() + "SCRATCH\\*.DRL", faArchive), V{});
  EXPECT_EQ(names(search, Home() + "MISSING\\*.*", faAnyFile), V{});
  EXPECT_EQ(names(search, Home() + "SCRATCH\\", faAnyFile), V{});

  TSearchRec rec;
  ASSERT_TRUE(search.FindFirst(Home() + "scratch\\*.TMP", faAnyFile, rec));
  EXPECT_EQ(rec.Name, ".x.tmp");
  EXPECT_EQ(rec.Attr, faArchive | faHidden);
  ASSERT_TRUE(search.FindNext(rec));
  EXPECT_EQ(rec.Attr, faArchive | faReadOnly);
  ASSERT_TRUE(search.FindNext(rec));
  EXPECT_EQ(rec.Name, "b.tmp");
  EXPECT_EQ(rec.Size, 5);
  ASSERT_TRUE(search.FindNext(rec));
  EXPECT_EQ(rec.Attr, faDirectory);
  EXPECT_FALSE(search.FindNext(rec));
  EXPECT_FALSE(search.FindNext(rec));
}

TEST_F(PathsTest, WorkingDirectoriesAreCreatedOnce) {
  fs::create_directories(TempDir / "home" / "scratch");
  std::string error = "x";
  EXPECT_TRUE(EnsureWorkingDirectories(&error));
  EXPECT_EQ(error, "");
  for (const char* name : WorkingDirectoryNames) {
    if (std::string(name) == "SCRATCH") continue;
    EXPECT_TRUE(fs::is_directory(TempDir / "home" / name)) << name;
  }
  EXPECT_FALSE(fs::exists(TempDir / "home" / "SCRATCH"));  // the existing "scratch" serves
  EXPECT_TRUE(EnsureWorkingDirectories());

  // A home folder that cannot exist.
  WriteFileBytes(TempDir / "blocker", "file");
  setenv("KORVEX_HOME", (TempDir / "blocker" / "home").c_str(), 1);
  EXPECT_FALSE(EnsureWorkingDirectories(&error));
  EXPECT_NE(error.find("Cannot create the folder"), std::string::npos);
}

}  // namespace
