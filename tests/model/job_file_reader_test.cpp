#include "model/job_file_reader.h"

#include <gtest/gtest.h>

#include <array>

#include <algorithm>
#include <bit>
#include <string>
#include <utility>
#include <vector>

#include "job_file_test_support.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/job_file_writer.h"
#include "model/rout_database.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "workspace/job_file.h"
#include "workspace/startup.h"

namespace {

std::string Crlf(std::initializer_list<const char*> lines) {
  std::string s;
  for (const char* l : lines) s += std::string(l) + "\r\n";
  return s;
}

const char* const Title = "Orbenwright ZUL Database format file";

class JobFileReaderTest : public TJobFileTest {};

TEST_F(JobFileReaderTest, ARichJobComesBackIdentical) {
  BuildRichJob();
  const std::string before = DumpJob();
  const std::string first = FileIn("FIRST.ZUL");
  ASSERT_EQ(WriteJobFile(first), 0);

  TJobContents contents;
  ASSERT_TRUE(ReadJobFile(first, contents)) << ::testing::PrintToString(Boxes());
  ClearAll();
  ASSERT_EQ(DumpJob().find("rout t"), std::string::npos);
  CommitJobContents(contents);

  EXPECT_EQ(DumpJob(), before);
  const std::string second = FileIn("SECOND.ZUL");
  ASSERT_EQ(WriteJobFile(second), 0);
  EXPECT_EQ(ReadFileBytes(second), ReadFileBytes(first));
  EXPECT_TRUE(Boxes().empty()) << ::testing::PrintToString(Boxes());

  // The hidden layer's entities and the command came back; the step
  // objects are shared as before (one object for the hole and the slot).
  EXPECT_NE(before.find("rout t11 5000000,5000000 text 'M47,CHECK  Tab' hold 1"),
            std::string::npos);
  EXPECT_NE(before.find("rout t7 1000000,1000000 centre 500000,1000000 feed 0 z -100"),
            std::string::npos);
  EXPECT_EQ(DRDB->EntityAt(1)->GetStepObj(), DRDB->EntityAt(2)->GetStepObj());
  EXPECT_EQ(DRDB->EntityAt(1)->GetStepObj()->LevelCount(), 3);
  EXPECT_EQ(DRDB->EntityAt(3)->GetStepObj(), DRDB->EntityAt(1)->GetStepObj()->GetLevel(2));
}

TEST_F(JobFileReaderTest, OldLayoutBlanksAndCaseAndUnknownRecordsAreRead) {
  // Holes before paths, a rout tool without Z offset, an M08 without id,
  // names with blanks and lower case, an unknown record and group.
  WriteFileBytes(TempDir / "OLD.ZUL",
                 Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "TOOLSECTION",
                       "0", "TOOL", "8", "R0", "50", "1", "60", "812800", "61", "6350", "63", "0",
                       "66", "2540", "0", "comp index", "8", "R0", "51", "1", "63", "800000",
                       "0", "ENDSEC", "0", "STEPSECTION",
                       "0", "STEPLIST", "0", "M01", "0", "M02", "10", "1000", "0", "M08",
                       "53", "0", "0", "ENDSTEPLIST", "0", "ENDSEC",
                       "0", "ENTITIES",
                       "0", "ROUTHOLE", "10", "5", "50", "1", "52", "1",
                       "0", " rout jog ", "43", "0", "50", "1", "51", "1",
                       "0", "routline", "10", "100", "77", "ignored",
                       "0", "FUTURETHING", "10", "1",
                       "0", "DRILLTEXT", "3", " Mixed Case ", "8", "2", "50", "1",
                       "0", "ENDSEC", "0", "EOF"}));
  ASSERT_TRUE(LoadJobFile(FileIn("OLD.ZUL"))) << ::testing::PrintToString(Boxes());
  const std::string dump = DumpJob();
  EXPECT_NE(dump.find("rout tool 40/1: 812800 800000 6350 2540 0"), std::string::npos) << dump;
  // The list without id got id 1 and a count of 1: one copy.
  EXPECT_NE(dump.find("  rout t10 5,0 tool 1 steps [{1,1,0,0,0}{0,1,1000,0,0}] copies 0\n"
                      "  rout t5 0,0 side 0 tool 1 comp 1\n"
                      "  rout t6 100,0 feed 0 z 0\n"),
            std::string::npos)
      << dump;
  EXPECT_NE(dump.find("drill t15 L2 0,0 tool 1 ' Mixed Case ' v0"), std::string::npos) << dump;
}

// A job loaded first, then a damaged file: a clear message naming the line,
// the job as it was.
class JobFileFaultTest : public TJobFileTest {
 protected:
  void SetUp() override {
    TJobFileTest::SetUp();
    BuildRichJob();
    ASSERT_EQ(WriteJobFile(FileIn("GOOD.ZUL")), 0);
    Good = ReadFileBytes(TempDir / "GOOD.ZUL");
    DatabaseFileName = "KEPT.ZUL";
    Before = DumpJob();
  }
  // Opens the text as a job file; the message shown.
  std::string OpenBad(const std::string& text) {
    WriteFileBytes(TempDir / "BAD.ZUL", text);
    ResetHeadlessDialogs();
    EXPECT_FALSE(OpenJobFile(FileIn("BAD.ZUL")));
    EXPECT_EQ(DumpJob(), Before);
    EXPECT_EQ(DatabaseFileName, "KEPT.ZUL");
    EXPECT_TRUE(DatabaseModified);
    const auto boxes = Boxes();
    EXPECT_EQ(boxes.size(), 1u);
    return boxes.empty() ? "" : boxes[0];
  }
  static std::string Entities(std::initializer_list<const char*> records) {
    return Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "ENTITIES"}) + Crlf(records) +
           Crlf({"0", "ENDSEC", "0", "EOF"});
  }
  // The step lists, and a hole that uses list 1 (a list no entity uses is
  // never expanded).
  static std::string Steps(std::initializer_list<const char*> records) {
    return Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "STEPSECTION"}) +
           Crlf(records) +
           Crlf({"0", "ENDSEC", "0", "ENTITIES", "0", "DRILLHOLE", "50", "1", "52", "1", "0",
                 "ENDSEC", "0", "EOF"});
  }
  std::string Good, Before;
};

TEST_F(JobFileFaultTest, TruncatedFilesAreRefused) {
  // Cut after a whole line, and in the middle of a line.
  const std::size_t half = Good.find("\r\n", Good.size() / 2) + 2;
  EXPECT_NE(OpenBad(Good.substr(0, half)).find("the file ends"), std::string::npos);
  EXPECT_NE(OpenBad(Good.substr(0, Good.size() - 5)).find("the file ends"), std::string::npos);
  // Whole records, but no EOF record.
  const std::size_t last = Good.rfind("0\r\nENDSEC");
  EXPECT_NE(OpenBad(Good.substr(0, last)).find("it is incomplete"), std::string::npos);
  EXPECT_NE(OpenBad("").find("the file is empty"), std::string::npos);
  EXPECT_NE(OpenBad(Crlf({"0", "HEADER", "999"})).find("value of group 999"), std::string::npos);
}

TEST_F(JobFileFaultTest, GarbageIsRefusedWithItsLine) {
  std::string text = Good;
  const std::size_t at = text.find("0\r\nDRILLHOLE");
  text.insert(at, "hello world\r\n");
  const std::size_t line = std::count(text.begin(), text.begin() + at, '\n') + 1;
  const std::string box = OpenBad(text);
  EXPECT_NE(box.find("Line " + std::to_string(line) + ": a group code was expected, not \"hello "
                     "world\"."),
            std::string::npos)
      << box;
  EXPECT_NE(box.find("The job was left as it was."), std::string::npos);
  EXPECT_NE(OpenBad("JUNK\r\n").find("Line 1: a record"), std::string::npos);
  EXPECT_NE(OpenBad(Crlf({"0", "PICTURE", "0", "EOF"})).find("not a job database file"),
            std::string::npos);
}

TEST_F(JobFileReaderTest, HoleRecordsReadAlikeInEveryForm) {
  // Holes as the writer writes them, with LF line ends, with a layer of
  // leading zeros, with groups a hole does not write and with blanks: each
  // reads as the general way reads it, and the lines stay counted.
  std::string text = Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "ENTITIES",
                           "0", "DRILLHOLE", "8", "1", "10", "-123456789", "20", "987654321",
                           "50", "7",
                           "0", "DRILLHOLE", "8", "03", "10", "1", "11", "999", "77", "x",
                           "20", "2", "50", "3",
                           "0", "DRILLHOLE", "10", " 5", "20", "6", "50", "4"});
  text += "0\nDRILLHOLE\n8\n2\n10\n12345678\n20\n-9\n50\n2\n";
  text += Crlf({"0", "DRILLHOLE", "20", "1", "50", "1", "0", "ENDSEC", "0", "EOF"});
  WriteFileBytes(TempDir / "HOLES.ZUL", text);
  ASSERT_TRUE(LoadJobFile(FileIn("HOLES.ZUL"))) << ::testing::PrintToString(Boxes());
  const std::string dump = DumpJob();
  for (const char* hole : {"drill t12 L1 -123456789,987654321 tool 7\n", "drill t12 L3 1,2 tool 3\n",
                           "drill t12 L0 5,6 tool 4\n", "drill t12 L2 12345678,-9 tool 2\n",
                           "drill t12 L0 0,1 tool 1\n"})
    EXPECT_NE(dump.find(hole), std::string::npos) << hole << dump;

  // A fault after such holes names its own line.
  std::string bad = text;
  bad.insert(bad.rfind("0\r\nENDSEC"), Crlf({"0", "DRILLHOLE", "10", "1", "50", "5000"}));
  const std::size_t line =
      std::size_t(std::count(bad.begin(), bad.begin() + bad.rfind("DRILLHOLE"), '\n')) + 1;
  WriteFileBytes(TempDir / "BADHOLE.ZUL", bad);
  ResetHeadlessDialogs();
  EXPECT_FALSE(OpenJobFile(FileIn("BADHOLE.ZUL")));
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Line " + std::to_string(line) + ": the tool number 5000"),
            std::string::npos)
      << boxes[0];
}

// A drill hole as read: where the batch holds it, and its step id.
struct TReadHole {
  int32_t Index, Layer, X, Y, Tool, StepId;
  uint16_t XBand, YBand;
};

std::vector<TReadHole> HolesRead(TJobContents& c) {
  std::vector<TReadHole> holes;
  auto step = c.HoleSteps.begin();
  for (int32_t i = 1; i <= c.Drill.Count(); ++i) {
    const TEntitySlot& slot = c.Drill.At(i);
    auto* hole = static_cast<TDrillEntity*>(slot.Entity);
    if (hole == nullptr || hole->GetType() != etDrillHole) continue;
    while (step != c.HoleSteps.end() && step->first < i) ++step;
    const int32_t id = step != c.HoleSteps.end() && step->first == i ? step->second : 0;
    holes.push_back({i, kFirstDrillLayer + std::countr_zero(slot.Flags), hole->X, hole->Y,
                     hole->Tool, id, hole->XBand, hole->YBand});
  }
  return holes;
}

// The entities read, one line each, every field the list keeps; the drill
// holes after them as the same fields would hold them.
std::string ContentsText(TJobContents& c) {
  std::string text = std::to_string(c.EntityCount()) + " entities\n";
  auto line = [&](const TJobContents::TEntity& e) {
    for (const int32_t v : {int32_t(e.Type), int32_t(e.Layer), int32_t(e.Side), int32_t(e.Flag),
                            int32_t(e.HoldOff), e.X, e.Y, e.X2, e.Y2, e.X3, e.Y3, e.Radius, e.Tool,
                            e.Index, e.StepId, e.Feed, e.ZOffset, e.Text})
      text += std::to_string(v) + " ";
    text += "\n";
  };
  c.ForEachEntity(line);
  for (const TReadHole& h : HolesRead(c)) {
    TJobContents::TEntity e;
    e.Type = etDrillHole;
    e.Layer = uint8_t(h.Layer);
    e.X = h.X, e.Y = h.Y, e.Tool = h.Tool, e.StepId = h.StepId;
    line(e);
  }
  return text;
}

TEST_F(JobFileReaderTest, HolesAsWrittenReadAsTheGeneralWayReadsThem) {
  // Hole records as the writer writes them, over more than one block of
  // the reader, with the extremes of 32 bits, every drill layer, missing
  // fields, step ids, fields twice and in another order; among them
  // records that only the general way reads (a code a hole does not
  // write, eleven digits, a "+").
  std::string holes;
  auto hole = [&](std::initializer_list<std::pair<const char*, std::string>> fields) {
    holes += "0\r\nDRILLHOLE\r\n";
    for (const auto& [code, value] : fields) holes += std::string(code) + "\r\n" + value + "\r\n";
  };
  hole({{"8", "9"}, {"10", "-2147483648"}, {"20", "2147483647"}, {"50", "1000"}, {"52", "1"}});
  hole({{"10", "2147483647"}, {"20", "-2147483648"}, {"50", "1"}});
  hole({{"50", "17"}});
  hole({{"50", "3"}, {"20", "-5"}, {"10", "12345678"}, {"8", "2"}});
  hole({{"8", "1"}, {"8", "3"}, {"10", "7"}, {"10", "-8"}, {"50", "2"}, {"50", "4"}});
  hole({{"8", "0"}, {"10", "-0"}, {"20", "0"}, {"50", "09"}, {"52", "0"}});
  hole({{"10", "1"}, {"11", "5"}, {"50", "6"}});
  hole({{"10", "00000000012"}, {"50", "6"}});
  hole({{"10", "+12"}, {"50", "6"}});
  hole({{"8", "1"}, {"8", "2"}, {"10", "-2147483648"}, {"20", "-1000000000"}, {"50", "1000"},
        {"52", "1"}});
  uint32_t seed = 7;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (int32_t i = 0; i < 30000; ++i) {
    const int32_t x = int32_t(next());
    const uint32_t shift = next() % 31;
    const int32_t y = int32_t(next()) >> shift;
    hole({{"8", std::to_string(next() % 10)}, {"10", std::to_string(x)},
          {"20", std::to_string(y)}, {"50", std::to_string(1 + next() % 1000)}});
    if (i % 97 == 0) holes += "52\r\n1\r\n";
  }
  const std::string head = Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0",
                                 "STEPSECTION", "0", "STEPLIST", "0", "M01", "0", "M02", "10",
                                 "1000", "0", "M08", "52", "1", "0", "ENDSTEPLIST", "0", "ENDSEC",
                                 "0", "ENTITIES", "0", "POINT", "10", "4"});
  const std::string tail = Crlf({"0", "POINT", "20", "5", "0", "ENDSEC", "0", "EOF"});
  const std::string written = head + holes + tail;
  ASSERT_GT(written.size(), std::size_t(1) << 20);

  // The same records with a blank behind every line, which only the
  // general way reads, and with LF line ends.
  auto relined = [](const std::string& text, const char* end) {
    std::string out;
    for (std::size_t at = 0, stop; (stop = text.find("\r\n", at)) != std::string::npos;
         at = stop + 2)
      out += text.substr(at, stop - at) + end;
    return out;
  };
  const std::string blanks = relined(written, " \r\n"), lf = relined(written, "\n");
  std::string expected;
  for (const auto& [name, text] : {std::pair{"WRITTEN.ZUL", written},
                                   std::pair{"BLANKS.ZUL", blanks}, std::pair{"LF.ZUL", lf}}) {
    WriteFileBytes(TempDir / name, text);
    TJobContents contents;
    ASSERT_TRUE(ReadJobFile(FileIn(name), contents)) << name << ::testing::PrintToString(Boxes());
    const std::string read = ContentsText(contents);
    if (expected.empty()) {
      expected = read;
      EXPECT_EQ(contents.EntityCount(), 30012);
      EXPECT_NE(read.find("\n12 39 0 0 0 -2147483648 2147483647 0 0 0 0 0 1000 0 1 "),
                std::string::npos);
      EXPECT_NE(read.find("\n12 33 0 0 0 -8 0 0 0 0 0 0 4 0 0 "), std::string::npos);
      EXPECT_NE(read.find("\n12 30 0 0 0 12 0 0 0 0 0 0 6 0 0 "), std::string::npos);
      EXPECT_NE(read.find("\n12 32 0 0 0 -2147483648 -1000000000 0 0 0 0 0 1000 0 1 "),
                std::string::npos);
      // Put in, the holes take their store in the order read, the stepped
      // ones with their list.
      const std::vector<TReadHole> holes = HolesRead(contents);
      CommitJobContents(contents);
      ASSERT_EQ(DrillEntityCount, 30010);
      EXPECT_EQ(contents.Drill.Count(), 0);
      for (const TReadHole& h : holes) {
        TDrillEntity* hole = DRDB->EntityAt(h.Index);
        ASSERT_NE(hole, nullptr);
        EXPECT_EQ((TIntPoint{hole->X, hole->Y}), (TIntPoint{h.X, h.Y})) << h.Index;
        EXPECT_EQ(hole->Tool, h.Tool) << h.Index;
        EXPECT_EQ(DRDB->WordAt(h.Index), NCLayerBit(uint8_t(h.Layer))) << h.Index;
        EXPECT_EQ(hole->GetStepObj() != nullptr, h.StepId != 0) << h.Index;
      }
    } else {
      const auto diff = std::mismatch(read.begin(), read.end(), expected.begin(), expected.end());
      EXPECT_TRUE(read == expected)
          << name << " differs from line "
          << std::count(read.begin(), diff.first, '\n') + 1 << ": "
          << read.substr(std::size_t(diff.first - read.begin()), 80);
    }
  }

  // A fault behind them names its line alike in every form.
  const std::string bad = Crlf({"0", "DRILLHOLE", "10", "1", "50", "5000"});
  const std::size_t line = std::size_t(std::count(written.begin(), written.end(), '\n')) -
                           std::size_t(std::count(tail.begin(), tail.end(), '\n')) + 2;
  for (const std::string& text :
       {head + holes + bad + tail, relined(head + holes + bad + tail, " \r\n")}) {
    WriteFileBytes(TempDir / "BAD.ZUL", text);
    ResetHeadlessDialogs();
    TJobContents contents;
    EXPECT_FALSE(ReadJobFile(FileIn("BAD.ZUL"), contents));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Line " + std::to_string(line) + ": the tool number 5000"),
              std::string::npos)
        << boxes[0];
  }
}

TEST_F(JobFileReaderTest, RecordsAsWrittenReadAsTheGeneralWayReadsThem) {
  // Records of every kind as the writer writes them, their fields in the
  // writer's order or another, some twice; among them forms only the
  // general way reads (a "+", leading zeros, eleven digits, a code of four
  // digits, texts, tool kinds, more pairs than a record has). Read as
  // written, with a blank behind every line and with LF line ends, the
  // job is the same, and so is the fault of a record behind them.
  uint32_t seed = 11;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  auto number = [&](int32_t lo, int32_t hi) {
    return lo + int32_t((uint64_t(next()) << 16 ^ next()) % uint64_t(int64_t(hi) - lo + 1));
  };
  auto value = [&](int32_t v) {
    switch (next() % 64) {
      case 0: return "+" + std::to_string(v);
      case 1: return "00" + std::to_string(v);
      case 2: return v == 0 ? std::string("-0") : std::to_string(v);
      default: return std::to_string(v);
    }
  };
  std::string text;
  auto record = [&](const char* name, std::vector<std::pair<std::string, std::string>> fields) {
    if (next() % 8 == 0) std::swap(fields.front(), fields.back());
    if (next() % 16 == 0) fields.push_back(fields.front());
    if (next() % 32 == 0) fields.push_back({"77", "5"});
    if (next() % 64 == 0) fields.push_back({"0010", "3"});
    text += std::string("0\r\n") + name + "\r\n";
    for (const auto& [code, v] : fields) text += code + "\r\n" + v + "\r\n";
  };
  auto coordinate = [&] { return value(next() % 16 == 0 ? 0 : number(-50000000, 50000000)); };
  text += Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "TOOLSECTION"});
  for (int32_t t = 1; t <= 60; ++t) {
    const std::string tool = value(number(1, 1000));
    if (t % 3 == 0)
      record("TOOL", {{"8", "R" + std::to_string(t % 5)}, {"50", tool}, {"60", value(t * 100)},
                      {"61", value(t)}, {"63", value(-t)}, {"66", value(2 * t)}});
    else
      record("TOOL", {{"50", tool}, {"60", value(number(0, 300000))}, {"61", value(t)},
                      {"62", value(number(0, 90000))}, {"63", value(-t)},
                      {"64", value(number(0, 5000))}, {"65", value(t % 2)}});
  }
  record("COMPINDEX", {{"8", "R2"}, {"51", "7"}, {"63", "2540"}});
  text += Crlf({"0", "ENDSEC", "0", "STEPSECTION"});
  for (int32_t id = 1; id <= 3; ++id) {
    text += Crlf({"0", "STEPLIST"});
    record("M01", {{"70", value(number(1, 3))}});
    record("M02", {{"10", value(number(-1000000, 1000000))}, {"20", value(number(0, 1000000))},
                   {"70", value(number(1, 4))}, {"71", value(number(0, 7))}});
    record("M08", {{"52", value(id)}, {"53", "0"}});
    text += Crlf({"0", "ENDSTEPLIST"});
  }
  text += Crlf({"0", "ENDSEC", "0", "ENTITIES"});
  for (int32_t i = 0; i < 6000; ++i) {
    const std::string cad = value(number(0, 29)), drill = value(number(0, 9)),
                      rout = value(number(0, 4)), tool = value(number(1, 1000)),
                      step = value(number(0, 3));
    switch (next() % 16) {
      case 0: record("POINT", {{"8", cad}, {"10", coordinate()}, {"20", coordinate()}}); break;
      case 1:
        record("LINE", {{"8", cad}, {"10", coordinate()}, {"11", coordinate()},
                        {"20", coordinate()}, {"21", coordinate()}});
        break;
      case 2:
        record("ARC", {{"8", cad}, {"10", coordinate()}, {"11", coordinate()}, {"12", coordinate()},
                       {"20", coordinate()}, {"21", coordinate()}, {"22", coordinate()}});
        break;
      case 3:
        record("CIRCLE", {{"8", cad}, {"10", coordinate()}, {"20", coordinate()},
                          {"40", value(number(1, 1000000))}});
        break;
      case 4:
        record("DRILLSLOT", {{"8", drill}, {"10", coordinate()}, {"11", coordinate()},
                             {"20", coordinate()}, {"21", coordinate()}, {"50", tool},
                             {"52", step}});
        break;
      case 5:
        record("DRILLCIRCLE", {{"8", drill}, {"10", coordinate()}, {"20", coordinate()},
                               {"40", value(number(1, 1000000))}, {"50", tool}, {"52", step}});
        break;
      case 6:
        record("DRILLTEXT", {{"3", "LOT " + std::to_string(i)}, {"8", drill},
                             {"10", coordinate()}, {"20", coordinate()},
                             {"44", value(number(0, 1))}, {"50", tool}, {"52", step}});
        break;
      case 7:
        record("ROUTJOG", {{"8", rout}, {"10", coordinate()}, {"20", coordinate()},
                           {"43", value(number(0, 2))}, {"50", tool},
                           {"51", value(number(0, 1000))}, {"52", step}});
        break;
      case 8:
        record("ROUTLINE", {{"8", rout}, {"10", coordinate()}, {"20", coordinate()},
                            {"61", value(number(0, 65535))}, {"63", value(number(-9999, 9999))}});
        break;
      case 9:
        record("ROUTARC", {{"8", rout}, {"10", coordinate()}, {"11", coordinate()},
                           {"20", coordinate()}, {"21", coordinate()},
                           {"42", value(number(0, 1))}, {"61", value(number(0, 65535))},
                           {"63", value(number(-9999, 9999))}});
        break;
      case 10:
        record("ROUTCIRCLE", {{"8", rout}, {"10", coordinate()}, {"20", coordinate()},
                              {"40", value(number(1, 1000000))}, {"42", value(number(0, 1))},
                              {"50", tool}, {"51", value(number(0, 1000))}, {"52", step},
                              {"61", value(number(0, 65535))}, {"63", value(number(-99, 99))}});
        break;
      case 11:
        record("ROUTHOLE", {{"8", rout}, {"10", coordinate()}, {"20", coordinate()},
                            {"50", tool}, {"52", step}});
        break;
      case 12:
        record("ROUTCOMMAND", {{"3", "M47,CHECK " + std::to_string(i)}, {"8", rout},
                               {"45", value(number(0, 255))}, {"52", step}});
        break;
      case 13:
        if (next() % 2 == 0)
          record("DRILLG93", {{"10", coordinate()}, {"20", coordinate()}});
        else
          record("ROUTG93", {{"8", rout}, {"10", coordinate()}, {"20", coordinate()}});
        break;
      case 14:
        record("LINE", {{"8", cad}, {"10", "2147483647"}, {"11", "-2147483648"},
                        {"20", "00000000012"}, {"21", "-2147483647"}});
        break;
      default: {
        // More pairs than a record has.
        std::vector<std::pair<std::string, std::string>> many;
        for (int32_t k = 0; k < 17; ++k) many.push_back({"10", coordinate()});
        many.push_back({"8", cad});
        record("POINT", many);
        break;
      }
    }
  }
  const std::string tail = Crlf({"0", "ENDSEC", "0", "EOF"});

  // A text keeps its blanks: the lines of texts get no blank behind them.
  auto relined = [](const std::string& from, const char* end) {
    std::string out, previous;
    for (std::size_t at = 0, stop; (stop = from.find("\r\n", at)) != std::string::npos;
         at = stop + 2) {
      std::string line = from.substr(at, stop - at);
      out += line + (previous == "3" || previous == "999" ? "\r\n" : end);
      previous = std::move(line);
    }
    return out;
  };
  std::string expected;
  for (const char* end : {"\r\n", " \r\n", "\n"}) {
    SCOPED_TRACE(end);
    WriteFileBytes(TempDir / "RECORDS.ZUL", relined(text + tail, end));
    ClearAll();
    TJobContents contents;
    ASSERT_TRUE(ReadJobFile(FileIn("RECORDS.ZUL"), contents)) << ::testing::PrintToString(Boxes());
    EXPECT_EQ(contents.SkippedRecords, 0);
    CommitJobContents(contents);
    const std::string job = DumpJob();
    if (expected.empty()) {
      expected = job;
      EXPECT_GT(std::count(job.begin(), job.end(), '\n'), 3000);
      continue;
    }
    const auto diff = std::mismatch(job.begin(), job.end(), expected.begin(), expected.end());
    EXPECT_TRUE(job == expected) << "differs from line "
                                 << std::count(job.begin(), diff.first, '\n') + 1 << ": "
                                 << job.substr(std::size_t(diff.first - job.begin()), 80);
  }

  // A record the loader refuses names its line alike in every form.
  const std::string bad = Crlf({"0", "LINE", "8", "30", "10", "1", "20", "2"});
  const std::size_t line = std::size_t(std::count(text.begin(), text.end(), '\n')) + 2;
  for (const char* end : {"\r\n", " \r\n", "\n"}) {
    SCOPED_TRACE(end);
    WriteFileBytes(TempDir / "BAD.ZUL", relined(text + bad + tail, end));
    ResetHeadlessDialogs();
    TJobContents contents;
    EXPECT_FALSE(ReadJobFile(FileIn("BAD.ZUL"), contents));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Line " + std::to_string(line) +
                            ": the layer \"30\" lies outside the CAD layers 0 to 29."),
              std::string::npos)
        << boxes[0];
  }
}

TEST_F(JobFileReaderTest, HolesMadeWhileReadingTakeTheBandsOfTheToolTableInForce) {
  // Holes beside the lines between bands at 0: their tool's diameter
  // decides whether they reach into the next band. Tool 1 is set before
  // the holes, tool 2 before and again after them, tool 3 only in the job
  // a file is added to, tool 4 nowhere.
  const std::string text =
      Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "TOOLSECTION", "0", "TOOL", "50",
            "1", "60", "1000", "0", "TOOL", "50", "2", "60", "8", "0", "ENDSEC", "0", "ENTITIES",
            "0", "DRILLHOLE", "10", "100", "20", "100", "50", "1",
            "0", "DRILLHOLE", "10", "100", "20", "-100", "50", "2",
            "0", "DRILLSLOT", "10", "100", "11", "200", "20", "-100", "21", "-100", "50", "2",
            "0", "DRILLHOLE", "10", "-100", "20", "100", "50", "3",
            "0", "DRILLHOLE", "10", "100", "20", "100", "50", "4",
            "0", "DRILLHOLE", "10", "-300", "20", "300", "50", "2",
            "0", "DRILLHOLE", "10", "2147483647", "20", "-2147483648", "50", "1",
            "0", "DRILLHOLE", "10", "-2147483648", "20", "2147483647", "50", "2",
            "0", "ENDSEC", "0", "TOOLSECTION", "0", "TOOL", "50", "2", "60", "1000", "0", "ENDSEC",
            "0", "EOF"});
  WriteFileBytes(TempDir / "BANDS.ZUL", text);
  for (const bool added : {false, true}) {
    ClearAll();
    if (added) ToolTable[3].Diameter = 1000;
    ASSERT_TRUE(added ? LoadJobFile(FileIn("BANDS.ZUL")) : OpenJobFile(FileIn("BANDS.ZUL")))
        << ::testing::PrintToString(Boxes());
    ASSERT_EQ(DrillEntityCount, 8);
    EXPECT_EQ(DRDB->EntityAt(4)->XBand, added ? 0x0180 : 0x0080);
    EXPECT_EQ(DRDB->EntityAt(2)->YBand, 0x0180);
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      TDrillEntity* e = DRDB->EntityAt(i);
      if (e->GetType() != etDrillHole) continue;
      // A hole made now, in the job as it stands, has the same bands.
      const TDrillHole fresh({e->X, e->Y}, e->Tool);
      EXPECT_EQ(e->XBand, fresh.XBand) << added << " " << i;
      EXPECT_EQ(e->YBand, fresh.YBand) << added << " " << i;
    }
  }
}

TEST_F(JobFileFaultTest, AFaultBehindManyHolesLeavesTheJobAsItWas) {
  // Thousands of holes as the writer writes them and as only the general
  // way reads them are made before the fault is met; all of them go.
  std::string holes;
  for (int32_t i = 0; i < 20000; ++i)
    holes += "0\r\nDRILLHOLE\r\n8\r\n" + std::to_string(i % 10) + "\r\n10\r\n" +
             std::to_string(i * 7) + (i % 3 == 0 ? " " : "") + "\r\n50\r\n" +
             std::to_string(1 + i % 40) + "\r\n";
  const std::string text = Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "ENTITIES"}) +
                           holes + Crlf({"0", "DRILLSLOT", "50", "1001", "0", "ENDSEC", "0", "EOF"});
  DatabaseModified = false;
  for (const bool added : {false, true}) {
    WriteFileBytes(TempDir / "LATE.ZUL", text);
    ResetHeadlessDialogs();
    EXPECT_FALSE(added ? LoadJobFile(FileIn("LATE.ZUL")) : OpenJobFile(FileIn("LATE.ZUL")));
    EXPECT_EQ(DumpJob(), Before);
    EXPECT_FALSE(DatabaseModified);
    EXPECT_EQ(DatabaseFileName, "KEPT.ZUL");
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Line 160010: the tool number 1001"), std::string::npos) << boxes[0];
  }
  // A hole the writer never writes, far from the end of the file: a layer
  // of two digits, or of a sign, is still refused with its line.
  for (const char* layer : {"12", "-1"}) {
    const std::string early = Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "ENTITIES",
                                    "0", "DRILLHOLE", "8", layer, "10", "5", "50", "1"}) +
                              holes + Crlf({"0", "ENDSEC", "0", "EOF"});
    WriteFileBytes(TempDir / "LAYER.ZUL", early);
    ResetHeadlessDialogs();
    EXPECT_FALSE(OpenJobFile(FileIn("LAYER.ZUL")));
    EXPECT_EQ(DumpJob(), Before);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Line 10: the layer \"" + std::string(layer) +
                            "\" lies outside the drill layers 0 to 9."),
              std::string::npos)
        << boxes[0];
  }
}

TEST_F(JobFileFaultTest, ToolsAndLayersOutsideTheirRangesAreRefused) {
  EXPECT_NE(OpenBad(Entities({"0", "DRILLHOLE", "50", "5000"}))
                .find("Line 10: the tool number 5000 lies outside 1 to 1000."),
            std::string::npos);
  EXPECT_NE(OpenBad(Entities({"0", "ROUTHOLE", "50", "0"})).find("tool number 0"),
            std::string::npos);
  EXPECT_NE(OpenBad(Entities({"0", "POINT", "8", "30"}))
                .find("the layer \"30\" lies outside the CAD layers 0 to 29."),
            std::string::npos);
  EXPECT_NE(OpenBad(Entities({"0", "DRILLSLOT", "8", "10", "50", "1"})).find("drill layers"),
            std::string::npos);
  EXPECT_NE(OpenBad(Entities({"0", "ROUTLINE", "8", "5"})).find("rout layers 0 to 4"),
            std::string::npos);
  EXPECT_NE(OpenBad(Entities({"0", "ROUTLINE", "8", "-1"})).find("rout layers"),
            std::string::npos);
  EXPECT_NE(OpenBad(Entities({"0", "ROUTG93", "8", "7"})).find("rout layers"), std::string::npos);
  EXPECT_NE(OpenBad(Entities({"0", "ROUTJOG", "43", "3", "50", "1"})).find("compensation side 3"),
            std::string::npos);
  const std::string tools =
      Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "TOOLSECTION", "0", "TOOL", "50",
            "5000", "0", "ENDSEC", "0", "EOF"});
  EXPECT_NE(OpenBad(tools).find("the drill tool number 5000"), std::string::npos);
  const std::string routTool =
      Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "TOOLSECTION", "0", "TOOL", "8",
            "R9", "50", "1", "0", "ENDSEC", "0", "EOF"});
  EXPECT_NE(OpenBad(routTool).find("the layer \"R9\""), std::string::npos);
}

TEST_F(JobFileFaultTest, StepCyclesDeepNestingAndHugeCountsAreRefused) {
  EXPECT_NE(OpenBad(Steps({"0", "STEPLIST", "0", "M01", "0", "M08", "52", "1", "53", "2", "0",
                           "ENDSTEPLIST", "0", "STEPLIST", "0", "M01", "0", "M08", "52", "2", "53",
                           "1", "0", "ENDSTEPLIST"}))
                .find("Line 14: step list 1 nests itself."),
            std::string::npos);
  EXPECT_NE(OpenBad(Steps({"0", "STEPLIST", "0", "M01", "0", "M08", "52", "4", "53", "4", "0",
                           "ENDSTEPLIST"}))
                .find("step list 4 nests itself"),
            std::string::npos);
  EXPECT_NE(OpenBad(Steps({"0", "STEPLIST", "0", "M01", "0", "M08", "52", "1", "53", "2",
                           "0", "ENDSTEPLIST", "0", "STEPLIST", "0", "M01", "0", "M08", "52", "2",
                           "53", "3", "0", "ENDSTEPLIST", "0", "STEPLIST", "0", "M01", "0", "M08",
                           "52", "3", "53", "4", "0", "ENDSTEPLIST", "0", "STEPLIST", "0", "M01",
                           "0", "M08", "52", "4", "0", "ENDSTEPLIST"}))
                .find("step list 1 nests more than three levels deep"),
            std::string::npos);
  EXPECT_NE(OpenBad(Steps({"0", "STEPLIST", "0", "M01", "0", "M02", "10", "5", "70",
                           "2000000000", "0", "M08", "0", "ENDSTEPLIST"}))
                .find("the repeat count 2000000000 lies outside 0 to 65535"),
            std::string::npos);
  EXPECT_NE(OpenBad(Steps({"0", "STEPLIST", "0", "M01", "0", "M08", "52", "1", "0", "ENDSTEPLIST",
                           "0", "STEPLIST", "0", "M01", "0", "M08", "52", "1", "0",
                           "ENDSTEPLIST"}))
                .find("step list 1 is defined twice"),
            std::string::npos);
  EXPECT_NE(OpenBad(Steps({"0", "M02", "10", "5"})).find("outside a step list"),
            std::string::npos);
}

// What editors and transfers leave in a good file: a blank line after EOF, a
// DOS end-of-file character, blank lines between records.
TEST_F(JobFileFaultTest, BlankLinesAndADosEndOfFileAreAccepted) {
  std::string text = Good;
  const std::size_t at = text.find("0\r\nDRILLHOLE");
  ASSERT_NE(at, std::string::npos);
  text.insert(at, "\r\n  \r\n");
  for (const std::string& tail : {std::string("\r\n"), std::string("\x1a"), std::string("\r\n\x1a")}) {
    WriteFileBytes(TempDir / "EDITED.ZUL", text + tail);
    ResetHeadlessDialogs();
    EXPECT_TRUE(OpenJobFile(FileIn("EDITED.ZUL"))) << ::testing::PrintToString(Boxes());
    EXPECT_EQ(DumpJob(), Before);
  }
  // Still refused: a blank line where a record's name belongs.
  std::string named = Good;
  named.insert(named.find("0\r\nDRILLHOLE") + 3, "\r\n");
  DatabaseFileName = "KEPT.ZUL";
  DatabaseModified = true;
  EXPECT_NE(OpenBad(named).find("a group code was expected, not \"DRILLHOLE\""), std::string::npos);
}

TEST_F(JobFileFaultTest, AMissingFileChangesNothing) {
  EXPECT_FALSE(OpenJobFile(FileIn("NOWHERE.ZUL")));
  EXPECT_FALSE(LoadJobFile(FileIn("NOWHERE.ZUL")));
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"File does not exist!", "File does not exist!"}));
  EXPECT_EQ(DumpJob(), Before);
}

}  // namespace

namespace {

TEST_F(JobFileFaultTest, ValuesBeyondThirtyTwoBitsAreRefusedAsWritten) {
  // A coordinate is never clamped to the largest integer.
  EXPECT_NE(OpenBad(Entities({"0", "DRILLHOLE", "10", "1e20", "50", "1"}))
                .find("Line 12: the value 1e20 of group 10 lies outside -2147483648 to 2147483647."),
            std::string::npos);
  EXPECT_NE(OpenBad(Entities({"0", "POINT", "20", "-99999999999"})).find("the value -99999999999"),
            std::string::npos);
  // A repeat count is reported as it stands in the file.
  EXPECT_NE(OpenBad(Steps({"0", "STEPLIST", "0", "M01", "0", "M02", "10", "5", "70",
                           "99999999999", "0", "M08", "0", "ENDSTEPLIST"}))
                .find("the value 99999999999 of group 70"),
            std::string::npos);
  // The extreme values themselves still load.
  WriteFileBytes(TempDir / "EDGE.ZUL",
                 Entities({"0", "POINT", "10", "2147483647", "20", "-2147483648"}));
  EXPECT_TRUE(LoadJobFile(FileIn("EDGE.ZUL"))) << ::testing::PrintToString(Boxes());
}

// Hole records as the writer writes them are read straight from the buffer;
// ten digits beyond 32 bits in any of their fields, deep in a run of good
// holes or at its end, are refused with the line of the value as the
// general way refuses them, never wrapped round.
TEST_F(JobFileFaultTest, HoleValuesJustBeyondThirtyTwoBitsAreRefusedInsideARun) {
  const std::string head = Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "ENTITIES"});
  const std::string tail = Crlf({"0", "ENDSEC", "0", "EOF"});
  std::string run;
  for (int32_t i = 0; i < 2000; ++i)
    run += Crlf({"0", "DRILLHOLE", "8", "1", "10", "2147483647", "20", "-2147483648", "50",
                 "12"});
  const int32_t runLines = int32_t(std::count(run.begin(), run.end(), '\n'));
  for (const char* value : {"2147483648", "-2147483649", "4294967295", "4294967296",
                            "9999999999", "-9999999999"})
    for (const char* code : {"10", "20", "50", "52"})
      for (const bool last : {false, true}) {
        SCOPED_TRACE(std::string(value) + " in group " + code + (last ? " at the end" : ""));
        std::string bad = Crlf({"0", "DRILLHOLE", "8", "2", "10", "5"});
        bad += Crlf({code, value, "50", "7"});
        // The value's line: the header's eight lines, the run, then the
        // record's name, layer and x.
        const int32_t line = 8 + runLines + 6 + 2;
        const std::string text = head + run + bad + (last ? "" : run) + tail;
        const std::string box = OpenBad(text);
        EXPECT_NE(box.find("Line " + std::to_string(line) + ": the value " + value + " of group " +
                           code + " lies outside -2147483648 to 2147483647."),
                  std::string::npos)
            << box;
      }
}

// A chain that cannot expand is no fault of the file: its hole comes
// without it, counted and named, and the rest of the job is read.
TEST_F(JobFileFaultTest, StepChainsThatExpandTooFarLeaveTheirEntitiesWithoutThem) {
  // Three nested lists of 65,535 copies each; steps past the coordinate range.
  for (const std::string& text :
       {Steps({"0", "STEPLIST", "0", "M01", "0", "M02", "10", "5", "70", "65535", "0", "M08", "52", "1", "53", "2",
               "0", "ENDSTEPLIST", "0", "STEPLIST", "0", "M01", "0", "M02", "20", "5", "70", "65535", "0", "M08",
               "52", "2", "53", "3", "0", "ENDSTEPLIST", "0", "STEPLIST", "0", "M01", "0", "M02", "10", "7", "70",
               "65535", "0", "M08", "52", "3", "0", "ENDSTEPLIST"}),
        Steps({"0", "STEPLIST", "0", "M01", "0", "M02", "10", "2000000000", "70", "3", "0", "M08", "52", "1", "0",
               "ENDSTEPLIST"})}) {
    WriteFileBytes(TempDir / "FAR.ZUL", text);
    TJobContents contents;
    ASSERT_TRUE(ReadJobFile(FileIn("FAR.ZUL"), contents)) << ::testing::PrintToString(Boxes());
    ClearAll();
    CommitJobContents(contents);
    EXPECT_EQ(contents.StepNotices, std::vector<std::string>{"the drill hole at X 0.0 Y 0.0"});
    EXPECT_EQ(DRDB->EntityAt(1)->GetStepObj(), nullptr);
    EXPECT_TRUE(Boxes().empty()) << ::testing::PrintToString(Boxes());
  }
}

// The copies a file's entities are drawn with are counted as the job draws
// them: each entity that uses a list once per copy of its chain, the lines
// and arcs of a rout path with their start's list. Up to the most hits a job
// counts the file is read; one entity more is refused, naming the list.
TEST_F(JobFileFaultTest, EntitiesDrawnWithMoreCopiesThanAJobCountsAreRefused) {
  // One list of 65,535 copies (and one nested in it, which counts only
  // through its user); 32,768 users come to 2,147,450,880 copies.
  const std::string steps =
      Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "STEPSECTION", "0", "STEPLIST", "0",
            "M01", "0", "M02", "10", "1000", "70", "65535", "0", "M02", "20", "1000", "0", "M08",
            "52", "1", "53", "2", "0", "ENDSTEPLIST", "0", "STEPLIST", "0", "M01", "0", "M08", "52",
            "2", "0", "ENDSTEPLIST", "0", "ENDSEC", "0", "ENTITIES"});
  const std::string end = Crlf({"0", "ENDSEC", "0", "EOF"});
  auto job = [&](int32_t holes, int32_t jogs, int32_t lines, int32_t arcs) {
    std::string records;
    for (int32_t k = 0; k < holes; ++k) records += "0\r\nDRILLHOLE\r\n50\r\n1\r\n52\r\n1\r\n";
    for (int32_t k = 0; k < jogs; ++k) records += "0\r\nROUTJOG\r\n8\r\n2\r\n50\r\n1\r\n52\r\n1\r\n";
    // A path without a pattern on another layer between them counts nothing.
    records += "0\r\nROUTJOG\r\n8\r\n3\r\n50\r\n1\r\n0\r\nROUTLINE\r\n8\r\n3\r\n";
    for (int32_t k = 0; k < lines; ++k) records += "0\r\nROUTLINE\r\n8\r\n2\r\n";
    for (int32_t k = 0; k < arcs; ++k) records += "0\r\nROUTARC\r\n8\r\n2\r\n42\r\n1\r\n";
    return steps + records + end;
  };
  const std::string file = FileIn("COPIES.ZUL");
  for (const auto& [holes, jogs, lines, arcs] :
       {std::array<int32_t, 4>{32768, 0, 0, 0}, {0, 1, 30000, 2767}, {16000, 2, 16000, 766}}) {
    WriteFileBytes(file, job(holes, jogs, lines, arcs));
    TJobContents contents;
    EXPECT_TRUE(ReadJobFile(file, contents)) << ::testing::PrintToString(Boxes());
  }
  for (const auto& [holes, jogs, lines, arcs] :
       {std::array<int32_t, 4>{32769, 0, 0, 0}, {0, 1, 30000, 2768}, {16000, 2, 16001, 766}}) {
    const std::string box = OpenBad(job(holes, jogs, lines, arcs));
    EXPECT_NE(box.find("Line 24: the entities using the step lists up to step list 1 come to "
                       "more than 2,147,483,647 copies"),
              std::string::npos)
        << box;
  }
}

// A file with more entities than the job's store takes is refused whole,
// not loaded in part with a message per entity left out.
TEST_F(JobFileFaultTest, MoreEntitiesThanAStoreTakesAreRefused) {
  std::string records;
  for (int32_t i = 0; i <= 100000; ++i) records += "0\r\nROUTHOLE\r\n50\r\n1\r\n";
  const std::string text = Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "ENTITIES"}) +
                           records + Crlf({"0", "ENDSEC", "0", "EOF"});
  EXPECT_NE(OpenBad(text).find("Line 400010: the rout database takes at most 100000 entities."),
            std::string::npos);
}

TEST_F(JobFileFaultTest, AnOverlongLineIsRefusedWithoutReadingItWhole) {
  std::string text = Crlf({"0", "HEADER", "999", Title, "0", "ENDSEC", "0", "ENTITIES", "0",
                           "POINT", "10"});
  text += std::string(4 << 20, '7');
  EXPECT_NE(OpenBad(text).find("Line 12: the line is longer than 65536 characters."),
            std::string::npos);
}

TEST_F(JobFileFaultTest, OpenSaysWhyAFolderOrAMissingFileCannotBeOpened) {
  namespace fs = std::filesystem;
  fs::create_directories(TempDir / "FOLDER.ZUL");
  ScriptFileDialogAnswer((TempDir / "FOLDER.ZUL").string());
  std::string name;
  EXPECT_FALSE(OpenJobFileDialog(name));
  ScriptFileDialogAnswer(FileIn("GONE.ZUL"));
  EXPECT_FALSE(OpenJobFileDialog(name));
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"<" + (TempDir / "FOLDER.ZUL").string() +
                                                   "> is a folder, not a job file!",
                                               "File does not exist!"}));
  EXPECT_EQ(DumpJob(), Before);
}

}  // namespace
