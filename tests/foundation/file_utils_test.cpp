#include "foundation/file_utils.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <thread>

#include "korvex_test.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace {

class FileUtilsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    InitUtilities();
    SeedTempFileCounter(10);
    Scratch = ExecutionPath() + "SCRATCH\\";
    fs::create_directories(TempDir / "home" / "Scratch");
  }
  void TearDown() override {
    DoneUtilities();
    TKorvexTest::TearDown();
  }
  fs::path Disk(const std::string& name) { return TempDir / "home" / "Scratch" / name; }
  std::string Scratch;  // as the program writes it
};

TEST_F(FileUtilsTest, ScratchNamesCountWithinTheirSeed) {
  EXPECT_EQ(MakeTempFileName(), "67772162.TMP");
  EXPECT_EQ(MakeTempFileName(), "67772163.TMP");
  EXPECT_EQ(TempFileCounter, 167772163u);

  // The running number wraps within its 24 bits; the seed stays.
  TempFileCounter = (10u << 24) | 0xFFFFFEu;
  EXPECT_EQ(MakeTempFileName(), "84549375.TMP");  // 184549375
  EXPECT_EQ(MakeTempFileName(), "67772160.TMP");  // 167772160: low bits 0
  EXPECT_EQ(TempFileCounter, 10u << 24);
  EXPECT_EQ(MakeTempFileName(), "67772161.TMP");

  // Bit 31 is never set; small counters are padded to eight digits.
  SeedTempFileCounter(0xFF);
  EXPECT_EQ(TempFileCounter, 0x7F000001u);
  EXPECT_EQ(MakeTempFileName(), "30706434.TMP");  // 2130706434
  SeedTempFileCounter(0);
  EXPECT_EQ(MakeTempFileName(), "00000002.TMP");

  InitUtilities();
  EXPECT_EQ(TempFileCounter, 0u);
}

TEST_F(FileUtilsTest, ScratchNamesAreUniqueAcrossThreads) {
  std::vector<std::vector<std::string>> made(4);
  std::vector<std::thread> threads;
  for (auto& list : made)
    threads.emplace_back([&list] {
      for (int i = 0; i < 2000; ++i) list.push_back(MakeTempFileName());
    });
  for (auto& t : threads) t.join();
  std::set<std::string> all;
  for (auto& list : made) all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), 8000u);
  EXPECT_EQ(TempFileCounter, 167772161u + 8000u);
}

TEST_F(FileUtilsTest, ExistenceSizeAndDeletion) {
  WriteFileBytes(Disk("Job.Zul"), "0123456789");
  WriteFileBytes(Disk("a*b"), "x");
  EXPECT_TRUE(FileExistsNoWild(Scratch + "JOB.ZUL"));
  EXPECT_FALSE(FileExistsNoWild(Scratch + "*.ZUL"));
  EXPECT_FALSE(FileExistsNoWild(Scratch + "a*b"));  // wildcards never name a file
  EXPECT_FALSE(FileExistsNoWild(Scratch + "MISSING.ZUL"));
  EXPECT_FALSE(FileExistsNoWild(ExecutionPath() + "SCRATCH"));  // a folder
  EXPECT_FALSE(FileExistsNoWild(""));

  EXPECT_EQ(FileSizeOf(Scratch + "job.zul"), 10);
  EXPECT_EQ(GetFileSize(Scratch + "job.zul"), 10);
  EXPECT_EQ(FileSizeOf(Scratch + "MISSING.ZUL"), -1);
  EXPECT_EQ(FileSizeOf(ExecutionPath() + "SCRATCH"), -1);

  InOutRes = 5;
  DeleteFileIfExists(Scratch + "JOB.ZUL");
  EXPECT_FALSE(fs::exists(Disk("Job.Zul")));
  EXPECT_EQ(InOutRes, 0);
  DeleteFileIfExists(Scratch + "JOB.ZUL");  // already gone: nothing happens
  DeleteFileIfExists(Scratch + "a*b");      // a wildcard name erases nothing
  EXPECT_TRUE(fs::exists(Disk("a*b")));
  EXPECT_EQ(IOResult(), 0);
}

TEST_F(FileUtilsTest, Directories) {
  EXPECT_FALSE(DirectoryExists(""));
  EXPECT_TRUE(DirectoryExists(ExecutionPath() + "SCRATCH"));
  EXPECT_TRUE(DirectoryExists(Scratch));
  EXPECT_FALSE(DirectoryExists(ExecutionPath() + "NOWHERE"));
  WriteFileBytes(Disk("f"), "");
  EXPECT_FALSE(DirectoryExists(Scratch + "F"));

  EXPECT_FALSE(DirectoryIsWritable(""));
  EXPECT_FALSE(DirectoryIsWritable(ExecutionPath() + "NOWHERE"));
  // A left-over scratch file of the same name is neither overwritten nor
  // in the way.
  WriteFileBytes(Disk("67772162.TMP"), "keep");
  EXPECT_TRUE(DirectoryIsWritable(ExecutionPath() + "scratch"));
  EXPECT_EQ(ReadFileBytes(Disk("67772162.TMP")), "keep");
  size_t entries = 0;
  for (auto& e : fs::directory_iterator(Disk(""))) entries += e.exists() ? 1 : 0;
  EXPECT_EQ(entries, 2u);  // f and the left-over: the test file is gone

  fs::permissions(Disk(""), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
  std::string dir = Scratch;
  int result = RunUnprivileged([&] { return !DirectoryIsWritable(dir) && DirectoryExists(dir); });
  fs::permissions(Disk(""), fs::perms::owner_all);
  if (result < 0) GTEST_SKIP() << "cannot drop root privileges here";
  EXPECT_EQ(result, 1);
}

// A scratch file takes the next name nobody has, however many are taken by
// left-over files or folders; what stands at the names is left as it was.
TEST_F(FileUtilsTest, ScratchFilesTakeTheNextFreeNameAndReportWhatFails) {
  std::set<std::string> taken;
  for (int n = 0; n < 40; ++n) {
    const std::string leaf = std::to_string(67772162 + n) + ".TMP";
    if (n % 2 == 0)
      fs::create_directory(Disk(leaf));
    else
      WriteFileBytes(Disk(leaf), "left over " + std::to_string(n));
    taken.insert(leaf);
  }
  std::string name;
  const int fd = CreateScratchFile(Scratch, name);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(IOResult(), 0);
  EXPECT_EQ(name, Scratch + "67772202.TMP");
  ASSERT_EQ(::write(fd, "abc", 3), 3);
  ::close(fd);
  EXPECT_EQ(ReadFileBytes(Disk("67772202.TMP")), "abc");
  EXPECT_EQ(ReadFileBytes(Disk("67772163.TMP")), "left over 1");
  EXPECT_TRUE(fs::is_directory(Disk("67772162.TMP")));

  // A reserved name is an empty file of the caller's; the next one differs.
  const std::string reserved = ReserveScratchFile(Scratch);
  EXPECT_EQ(reserved, Scratch + "67772203.TMP");
  EXPECT_EQ(FileSizeOf(reserved), 0);
  EXPECT_EQ(ReserveScratchFile(Scratch), Scratch + "67772204.TMP");

  // A folder that is not there: no name, the name tried and the reason.
  std::string tried;
  EXPECT_EQ(ReserveScratchFile(ExecutionPath() + "NOWHERE\\", &tried), "");
  EXPECT_EQ(IOResult(), ENOENT);
  EXPECT_EQ(tried, ExecutionPath() + "NOWHERE\\67772205.TMP");
}

TEST_F(FileUtilsTest, FindNamesAndDeleteMatching) {
  for (const char* name : {"b.TMP", "a.tmp", "keep.zul", "c.TMP"}) WriteFileBytes(Disk(name), "");
  fs::create_directories(Disk("dir.tmp"));

  uint8_t attr = 0;
  EXPECT_EQ(FindFirstName(Scratch + "*.TMP", &attr), "a.tmp");
  EXPECT_EQ(attr, faArchive);
  EXPECT_EQ(FindNextName(), "b.TMP");
  EXPECT_EQ(FindNextName(), "c.TMP");
  EXPECT_EQ(FindNextName(), "");  // folders are not reported
  EXPECT_EQ(FindNextName(), "");
  EXPECT_EQ(FindFirstName(Scratch + "*.DRL"), "");

  DeleteMatchingFiles(ExecutionPath() + "SCRATCH", "*.TMP");
  std::set<std::string> left;
  for (auto& e : fs::directory_iterator(Disk(""))) left.insert(e.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"keep.zul", "dir.tmp"}));
  DeleteMatchingFiles(ExecutionPath() + "NOWHERE\\", "*.*");  // nothing to do
  EXPECT_EQ(IOResult(), 0);
}

TEST_F(FileUtilsTest, TextLinesEndAtLfCrLfOrALoneCr) {
  // Tapes and drawings from older systems end their lines with CR alone; a
  // twice-converted transfer writes CR CR LF. Each is one line end.
  const fs::path file = Disk("lines.txt");
  const std::vector<std::string> four = {"G90", "T1", "", "X1Y2"};
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"G90\nT1\n\nX1Y2", four},
      {"G90\r\nT1\r\n\r\nX1Y2\r\n", four},
      {"G90\rT1\r\n\rX1Y2\r", four},
      {"G90\r\r\nT1\r\r\n\nX1Y2", four},
      // A run of CRs is one line end.
      {"G90\rT1\r\rX1Y2\r", {"G90", "T1", "X1Y2"}},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    WriteFileBytes(file, text);
    std::FILE* f = std::fopen(file.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<std::string> lines;
    std::string line;
    while (ReadTextLine(f, line)) lines.push_back(line);
    std::fclose(f);
    EXPECT_EQ(lines, expected);
    f = std::fopen(file.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ReadTextLineLimited(f, line, 3), lrLine);
    EXPECT_EQ(line, "G90");
    EXPECT_EQ(ReadTextLineLimited(f, line, 3), lrLine);
    EXPECT_EQ(line, "T1");
    std::fclose(f);
  }
}

// The bounded line reader against the character-by-character reading it
// replaced, over random texts of line ends, NULs and long lines, with limits
// below, at and above its chunk of 256 characters: the same lines, the same
// results and the same place in the file after each.
TEST_F(FileUtilsTest, BoundedLinesReadAsCharacterByCharacter) {
  const auto reference = [](std::FILE* file, std::string& line, std::size_t limit) {
    line.clear();
    int c = std::fgetc(file);
    if (c == EOF) return lrEnd;
    while (c != EOF && c != '\n' && c != '\r') {
      if (line.size() >= limit) return lrTooLong;
      line.push_back(static_cast<char>(c));
      c = std::fgetc(file);
    }
    if (c == '\r') {
      int next = std::fgetc(file);
      while (next == '\r') next = std::fgetc(file);
      if (next != '\n' && next != EOF) std::ungetc(next, file);
    }
    return lrLine;
  };
  std::mt19937 random(4412);
  const fs::path file = Disk("bounded.txt");
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int pieces = 1 + int(random() % 20);
    for (int k = 0; k < pieces; ++k) {
      const int kind = int(random() % 6);
      if (kind == 0) text += "\r";
      else if (kind == 1) text += "\n";
      else if (kind == 2) text += std::string(1, '\0');
      else text += std::string(random() % (kind == 5 ? 700 : 20), char('A' + random() % 26));
    }
    WriteFileBytes(file, text);
    const std::size_t limits[] = {0, 1, 3, 255, 256, 257, 511, 512, 600, kMaxTextLine};
    const std::size_t limit = limits[random() % 10];
    SCOPED_TRACE(std::to_string(round) + " limit " + std::to_string(limit));
    std::FILE* a = std::fopen(file.c_str(), "rb");
    std::FILE* b = std::fopen(file.c_str(), "rb");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    for (int n = 0; n < 100; ++n) {
      std::string got, expected;
      const TLineRead result = ReadTextLineLimited(a, got, limit);
      ASSERT_EQ(result, reference(b, expected, limit));
      ASSERT_EQ(got, expected);
      ASSERT_EQ(std::ftell(a), std::ftell(b));
      if (result == lrEnd) break;
    }
    std::fclose(a);
    std::fclose(b);
  }
}

TEST(IOResultTest, ReadsAndClearsThePendingResult) {
  InOutRes = ENOENT;
  EXPECT_EQ(IOResult(), ENOENT);
  EXPECT_EQ(IOResult(), 0);
  EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(SystemErrorText(EACCES), "Permission denied");
  EXPECT_FALSE(SystemErrorText(99999).empty());
}

}  // namespace
