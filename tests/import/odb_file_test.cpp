// Job-tree file access: compressed-only files, the sum-file check, the
// error queue, byte sums and the packed date-time texts; the reader's text
// helpers and symbol names.
#include <gtest/gtest.h>

#include <filesystem>

#include "import/odb_file.h"
#include "import/odb_reader.h"
#include "korvex_test.h"

namespace fs = std::filesystem;

namespace {

class OdbFileTest : public TKorvexTest {};

TEST_F(OdbFileTest, CompressedCopyOpensAsThePlainFile) {
  const fs::path packed = SharedTestData() / "compress" / "tiny.txt.Z";
  if (!fs::exists(packed)) GTEST_SKIP() << "shared test data absent";
  fs::copy(packed, TempDir / "tiny.txt.Z");
  TOdbFile file((TempDir / "tiny.txt").string());
  ASSERT_TRUE(file.OpenRead(kOdbNoVerify)) << file.NextError();
  std::string line;
  ASSERT_TRUE(file.ReadLine(line));
  EXPECT_EQ(line + "\n", ReadFileBytes(SharedTestData() / "compress" / "tiny.txt").substr(0, line.size() + 1));
  // Opening twice fails and leaves the first open alone.
  EXPECT_FALSE(file.OpenRead(kOdbNoVerify));
  EXPECT_EQ(file.NextError(), "File <" + (TempDir / "tiny.txt").string() + "> already open.");
  EXPECT_EQ(file.State(), 1);
  file.Close();
  EXPECT_TRUE(fs::exists(TempDir / "tiny.txt"));
  EXPECT_TRUE(fs::exists(TempDir / "tiny.txt.Z"));
  // A broken compressed copy: the reason is queued, no plain file appears.
  WriteFileBytes(TempDir / "bad.Z", "not compressed");
  TOdbFile bad((TempDir / "bad").string());
  EXPECT_FALSE(bad.OpenRead(kOdbNoVerify));
  EXPECT_EQ(bad.NextError().rfind("Error decompressing " + (TempDir / "bad.Z").string(), 0), 0u);
  EXPECT_FALSE(fs::exists(TempDir / "bad"));
}

TEST_F(OdbFileTest, SumFileIsCheckedOnlyWhenAsked) {
  WriteFileBytes(TempDir / "f", "AB");  // byte sum 131
  TOdbFile unchecked((TempDir / "f").string());
  EXPECT_TRUE(unchecked.OpenRead(kOdbNoVerify));  // no sum file needed
  TOdbFile missing((TempDir / "f").string());
  EXPECT_FALSE(missing.OpenRead(1000000000));
  EXPECT_EQ(missing.NextError(), "File <" + (TempDir / "f.SUM").string() + "> not found.");
  WriteFileBytes(TempDir / "f.SUM", "SIZE=2\nSUM=130\nDATE=01/01/99\nTIME=00:00:00\n");
  TOdbFile wrong((TempDir / "f").string());
  EXPECT_FALSE(wrong.OpenRead(2000000000));
  EXPECT_EQ(wrong.NextError(), "Checksum error, reported 130, read 131");
  WriteFileBytes(TempDir / "f.SUM", "SIZE=3\nSUM=-1\n");
  TOdbFile size((TempDir / "f").string());
  EXPECT_FALSE(size.OpenRead(2000000000));
  EXPECT_EQ(size.NextError(), "File size mismatch on <" + (TempDir / "f").string() + ">.");
  WriteFileBytes(TempDir / "f.SUM", "SIZE=2\nSUM=-1\nDATE=01/01/99\nTIME=00:00:00\n");
  TOdbFile old((TempDir / "f").string());
  EXPECT_FALSE(old.OpenRead(1000));
  EXPECT_EQ(old.NextError().rfind("Time mismatch: Check time = 00:00:00 01/01/99, Actual time = ", 0), 0u);
}

TEST_F(OdbFileTest, ErrorsComeOutOldestFirst) {
  TOdbFile f("x");
  f.AddError("one");
  f.AddError("two");
  f.AddError("three");
  EXPECT_EQ(f.NextError(), "one");
  EXPECT_EQ(f.NextError(), "two");
  EXPECT_EQ(f.NextError(), "three");
  EXPECT_EQ(f.NextError(), "");
}

TEST_F(OdbFileTest, ByteSumsAndDateTimes) {
  std::string bytes(200, '\0');
  for (int i = 0; i < 200; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>(i + 50);
  WriteFileBytes(TempDir / "b", bytes);
  int32_t expected = 0;
  for (int i = 0; i < 200; ++i) expected += (i + 50) & 0xFF;
  EXPECT_EQ(FileByteSum((TempDir / "b").string()), expected);
  EXPECT_EQ(FileByteSum((TempDir / "none").string()), -1);
  TOdbSumRecord sum;
  sum.Date = "24/12/07";
  sum.Time = "13:45:58";
  const int32_t dos = SumDateTimeToDos(sum);
  EXPECT_EQ(DosDateText(dos), "24/12/07");
  EXPECT_EQ(DosTimeText(dos), "13:45:58");
  sum.Date = "01/02/95";
  EXPECT_EQ(DosDateText(SumDateTimeToDos(sum)), "01/02/95");
}

TEST_F(OdbFileTest, WrittenFileAppearsWholeOnClose) {
  const std::string name = (TempDir / "w").string();
  WriteFileBytes(TempDir / "w", "old");
  TOdbFile f(name);
  EXPECT_FALSE(f.OpenWrite(false));
  ASSERT_TRUE(f.OpenWrite(true));
  f.WriteLine("NEW");
  EXPECT_EQ(ReadFileBytes(TempDir / "w"), "old");
  EXPECT_TRUE(f.Close());
  EXPECT_EQ(ReadFileBytes(TempDir / "w"), "NEW\r\n");
}

TEST_F(OdbFileTest, TextHelpersAndSymbols) {
  EXPECT_TRUE(IsYesWord(" y;1=2"));
  EXPECT_TRUE(IsYesWord("Oui"));
  EXPECT_FALSE(IsYesWord("N"));
  EXPECT_EQ(SkipToken("A  B C"), "B C");
  EXPECT_EQ(SymbolShapeIndex("rect20x30"), ssRect);
  EXPECT_EQ(SymbolShapeIndex("donut_r50x40"), ssDonutR);
  EXPECT_EQ(SymbolShapeIndex("oval20x40"), 3);
  EXPECT_EQ(SymbolShapeIndex("mystery"), -1);
  EXPECT_EQ(NormaliseSymbolText("20x30xr5"), "20 30 5");
  EXPECT_EQ(OdbWordValue(OdbTypeWords, "rout"), otRout);
  EXPECT_EQ(OdbWordValue(OdbTypeWords, "COMPONENT"), 10);
}

}  // namespace
