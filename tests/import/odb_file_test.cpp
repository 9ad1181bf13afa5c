// Job-tree file access: compressed-only files, the sum-file check, the
// error queue, byte sums and the packed date-time texts; the reader's text
// helpers and symbol names; every layer of the sample trees against their
// reference figures.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>

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

namespace {

// Counts the reader's callbacks per matrix position.
class TCountingReader : public TValorReader {
 public:
  struct TCount {
    int Pads = 0, Lines = 0, Arcs = 0;
  };
  std::map<int, TCount> Counts;
  void Pad(int32_t l, const std::string&, double, double) override { ++Counts[l].Pads; }
  void Hole(int32_t l, int32_t, double, double) override { ++Counts[l].Pads; }
  void Line(int32_t l, const std::string&, double, double, double, double) override { ++Counts[l].Lines; }
  void Arc(int32_t l, const std::string&, double, double, double, double, double, double) override {
    ++Counts[l].Arcs;
  }
};

class OdbSampleTest : public TKorvexTest {
 protected:
  // Every layer of step 1, lines and arcs from L and A records only.
  void CheckAgainstReadme(const fs::path& job) {
    TCountingReader reader;
    std::string message;
    ASSERT_TRUE(reader.Init((job / "matrix" / "matrix").string(), message, kOdbNoVerify)) << message;
    ASSERT_EQ(reader.Steps.size(), 1u);
    EXPECT_EQ(reader.Steps[0].Name, "PCB");
    ASSERT_EQ(reader.Layers.size(), 24u);
    EXPECT_EQ(reader.Layers[22].Type, otDrill);
    EXPECT_EQ(reader.Layers[4].Name, "TOP_COPPER");
    reader.SetFeatureKinds(true, true, true, true, false);
    for (int32_t l = 1; l <= 24; ++l) reader.ReadStepLayer(l, 1);
    // From the README: pads / lines / arcs per row.
    const std::map<int, std::array<int, 3>> expected = {
        {2, {4, 2114, 20}}, {4, {247, 0, 0}},  {5, {248, 1038, 0}}, {7, {248, 543, 0}},
        {8, {247, 0, 0}},   {14, {6, 0, 0}},   {17, {0, 5, 0}},     {20, {7, 230, 0}},
        {22, {4, 4650, 11}}, {23, {6, 0, 0}},  {24, {248, 0, 0}}};
    for (int32_t l = 1; l <= 24; ++l) {
      const auto it = expected.find(l);
      const std::array<int, 3> want = it == expected.end() ? std::array<int, 3>{} : it->second;
      const TCountingReader::TCount got = reader.Counts[l];
      EXPECT_EQ(got.Pads, want[0]) << "row " << l;
      EXPECT_EQ(got.Lines, want[1]) << "row " << l;
      EXPECT_EQ(got.Arcs, want[2]) << "row " << l;
    }
    // The drill layers' tool files: 6 and 248 blocks.
    int nonPlated = 0, plated = 0;
    for (const TOdbToolRecord& t : reader.DrillTools) {
      if (t.Layer == 23) ++nonPlated;
      if (t.Layer == 24) ++plated;
    }
    EXPECT_EQ(nonPlated, 6);
    EXPECT_EQ(plated, 248);
  }
};

TEST_F(OdbSampleTest, PlainAndCompressedTreesMatchTheReadme) {
  for (const char* name : {"kicad9-flat_hierarchy", "kicad9-flat_hierarchy-Z"}) {
    const fs::path job = SharedTestData() / "odb" / name;
    if (!fs::exists(job)) GTEST_SKIP() << "shared test data absent";
    fs::copy(job, TempDir / name, fs::copy_options::recursive);
    SCOPED_TRACE(name);
    CheckAgainstReadme(TempDir / name);
  }
}

}  // namespace
