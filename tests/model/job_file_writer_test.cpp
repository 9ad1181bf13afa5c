#include "model/job_file_writer.h"

#include <gtest/gtest.h>

#include <random>

#include "job_file_test_support.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "model/tool_tables.h"
#include "model/view_services.h"

namespace {

class JobFileWriterTest : public TJobFileTest {
 protected:
  std::string Write() {
    const std::string name = FileIn("JOB.ZUL");
    EXPECT_EQ(WriteJobFile(name), 0);
    return ReadFileBytes(name);
  }
  static std::string Lines(std::initializer_list<const char*> lines) {
    std::string s;
    for (const char* l : lines) s += std::string(l) + "\r\n";
    return s;
  }
};

TEST_F(JobFileWriterTest, AnEmptyJobIsTheHeaderAndTheEndRecords) {
  EXPECT_EQ(Write(), Lines({"0", "HEADER", "999", "Orbenwright ZUL Database format file", "0",
                            "ENDSEC", "0", "EOF"}));
}

TEST_F(JobFileWriterTest, ToolsAloneAreClosedByTheFinalEndsec) {
  ToolTable[3] = {100, 0, 0, 0, 0, 0};
  RoutToolPages[41][2] = {0, 5000, 1, 1, 0};  // no diameter: not written
  RoutToolPages[43][9] = {200, 0, 7, 8, -9};
  EXPECT_EQ(Write(),
            Lines({"0", "HEADER", "999", "Orbenwright ZUL Database format file", "0", "ENDSEC",
                   "0", "TOOLSECTION",
                   "0", "TOOL", "8", "R3", "50", "9", "60", "200", "61", "7", "63", "-9", "66", "8",
                   "0", "TOOL", "50", "3", "60", "100", "61", "0", "62", "0", "63", "0", "64", "0",
                   "65", "0",
                   "0", "ENDSEC", "0", "EOF"}));
}

TEST_F(JobFileWriterTest, SharedStepListsZeroFieldsAndSectionOrder) {
  TStepObject* s = MakeSteps({{0, 0, 500, 0, 3}});  // a count of 0 is written as 1
  int32_t n = DRDB->AddHoleOnLayer(0, -5, 30, 1, true);
  DRDB->EntityAt(n)->SetStepObj(s);
  n = DRDB->AddHoleOnLayer(10, 0, 32, 4, true);
  DRDB->EntityAt(n)->SetStepObj(s);
  const std::string text = Write();
  EXPECT_EQ(text,
            Lines({"0", "HEADER", "999", "Orbenwright ZUL Database format file", "0", "ENDSEC",
                   "0", "STEPSECTION", "0", "STEPLIST", "0", "M01", "0", "M02", "10", "500",
                   "70", "1", "71", "3", "0", "M08", "52", "1", "53", "0", "0", "ENDSTEPLIST",
                   "0", "ENDSEC", "0", "ENTITIES",
                   "0", "DRILLHOLE", "20", "-5", "50", "1", "52", "1",
                   "0", "DRILLHOLE", "8", "2", "10", "10", "50", "4", "52", "1",
                   "0", "ENDSEC", "0", "EOF"}));
}

TEST_F(JobFileWriterTest, RoutEntitiesAreWrittenInCutOrderWithCommandsAndHiddenLayers) {
  RTDB->AddJog({0, 0}, 41, 1, 3, 2);
  RTDB->AddLine({100, 0}, 41, 7, NoZOffset);
  Seq->SetInsertAtStart(41);
  RTDB->AddHole({5, 5}, 41, 2);
  CurrentLayer = 41;
  RTDB->AddCommand({1, 2}, "M47, Hi", 3);
  DisplayedNCLayerMask &= ~NCLayerBit(41);
  const std::string text = Write();
  EXPECT_NE(text.find(Lines({"0", "ENTITIES",
                             "0", "ROUTHOLE", "8", "1", "10", "5", "20", "5", "50", "2",
                             "0", "ROUTCOMMAND", "3", "M47, Hi", "8", "1", "10", "1", "20", "2",
                             "45", "3",
                             "0", "ROUTJOG", "8", "1", "43", "1", "50", "3", "51", "2",
                             "0", "ROUTLINE", "8", "1", "10", "100", "61", "7", "63", "2147483647",
                             "0", "ENDSEC"})),
            std::string::npos)
      << text;
}

TEST_F(JobFileWriterTest, AFileThatCannotBeCreatedGivesTheSystemError) {
  EXPECT_NE(WriteJobFile(FileIn("no/such/folder/JOB.ZUL")), 0);
  EXPECT_FALSE(std::filesystem::exists(TempDir / "no"));
}

// Holes are written in one piece: the fields of value 0 but the tool left
// out, every number in its shortest form, the extremes included, and the GUI
// let run once every 51 record and field writes as for any other record.
TEST_F(JobFileWriterTest, HoleRecordsKeepTheirTextAndTheirTicks) {
  class TCountingWriter : public TJobFileWriter {
   public:
    using TJobFileWriter::TJobFileWriter;
    void Yield() override { ++Yields; }
    int Yields = 0;
  };
  const std::string name = FileIn("HOLES.ZUL");
  {
    TCountingWriter w(name);
    w.WriteDrillHole(0, 0, 0, 0, 0);
    w.WriteDrillHole(-2147483647 - 1, 2147483647, 9, 2147483647, 1000);
    w.WriteDrillHole(-5, 0, 0, 7, 12345678);
    w.WriteDrillHole(100000000, -99999999, 1, 0, 1);
    // Header 2 ticks, ENDSEC and ENTITIES 2, the holes above 2 + 6 + 4 + 5.
    for (int i = 0; i < 100; ++i) w.WriteDrillHole(i + 1, 7, 0, 0, 3);
    EXPECT_EQ(w.Yields, (4 + 17 + 100 * 4) / 51);
    ASSERT_EQ(w.Finish(), 0);
    ASSERT_EQ(w.Commit(""), 0);
  }
  std::string holes;
  for (int i = 0; i < 100; ++i) holes += Lines({"0", "DRILLHOLE", "10"}) + std::to_string(i + 1) +
                                         "\r\n" + Lines({"20", "7", "50", "3"});
  EXPECT_EQ(ReadFileBytes(name),
            Lines({"0", "HEADER", "999", "Orbenwright ZUL Database format file", "0", "ENDSEC",
                   "0", "ENTITIES",
                   "0", "DRILLHOLE", "50", "0",
                   "0", "DRILLHOLE", "8", "9", "10", "-2147483648", "20", "2147483647", "50",
                   "1000", "52", "2147483647",
                   "0", "DRILLHOLE", "10", "-5", "50", "12345678", "52", "7",
                   "0", "DRILLHOLE", "8", "1", "10", "100000000", "20", "-99999999", "50", "1"}) +
                holes + Lines({"0", "ENDSEC", "0", "EOF"}));
}

// The hole records of many generated holes, every layer, coordinates of
// every length and sign, zeros and the 32-bit extremes, tools and step ids
// in and out of their ranges, are the text that writing them field by
// field gives (each field its decimal text, left out when 0 but the tool),
// and the GUI runs as often as for that many record and field writes.
TEST_F(JobFileWriterTest, GeneratedHolesAreWrittenFieldByField) {
  class TCountingWriter : public TJobFileWriter {
   public:
    using TJobFileWriter::TJobFileWriter;
    void Yield() override { ++Yields; }
    int Yields = 0;
  };
  std::mt19937 rng(44);
  auto pick = [&](int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
  };
  // A value of any length: 0, a few digits, or anywhere in 32 bits.
  auto any = [&]() -> int32_t {
    switch (pick(0, 6)) {
      case 0: return 0;
      case 1: return pick(-9, 9);
      case 2: return pick(-99999, 99999);
      case 3: return pick(0, 1) == 0 ? 2147483647 : -2147483647 - 1;
      case 4: return pick(-999999999, 999999999);
      default: return pick(-2147483647 - 1, 2147483647);
    }
  };
  const std::string name = FileIn("HOLES.ZUL");
  std::string expected = Lines({"0", "HEADER", "999", "Orbenwright ZUL Database format file",
                                "0", "ENDSEC", "0", "ENTITIES"});
  int32_t ticks = 4;
  {
    TCountingWriter w(name);
    for (int32_t i = 0; i < 20000; ++i) {
      const int32_t x = any(), y = any();
      // Drill layers 0..9 mostly, else numbers just beside them or any.
      const int32_t layer = pick(0, 4) != 0 ? pick(0, 9) : pick(0, 1) != 0 ? pick(-11, 21) : any();
      const int32_t tool = pick(0, 3) != 0 ? pick(1, 1000) : any();
      const int32_t stepId = pick(0, 3) == 0 ? any() : 0;
      w.WriteDrillHole(x, y, layer, stepId, tool);
      expected += "0\r\nDRILLHOLE\r\n";
      ++ticks;
      for (const auto& [code, value, always] :
           {std::tuple{8, layer, false}, std::tuple{10, x, false}, std::tuple{20, y, false},
            std::tuple{50, tool, true}, std::tuple{52, stepId, false}})
        if (value != 0 || always) {
          expected += std::to_string(code) + "\r\n" + std::to_string(value) + "\r\n";
          ++ticks;
        }
    }
    EXPECT_EQ(w.Yields, ticks / 51);
    ASSERT_EQ(w.Finish(), 0);
    ASSERT_EQ(w.Commit(""), 0);
  }
  expected += Lines({"0", "ENDSEC", "0", "EOF"});
  const std::string written = ReadFileBytes(name);
  const auto diff = std::mismatch(written.begin(), written.end(), expected.begin(), expected.end());
  EXPECT_TRUE(written == expected)
      << "differs at byte " << (diff.first - written.begin()) << ": "
      << written.substr(std::size_t(diff.first - written.begin()), 60);
}

}  // namespace
