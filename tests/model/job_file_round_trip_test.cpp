// Round trips of varied jobs through the job file: every field comes back,
// a second save is the first one byte for byte, the bytes a save writes stay
// what they were, and a file edited by hand (blanks, lower case, LF line
// ends, blank lines, signs and leading zeros, lines across the reader's
// blocks) reads as the file it was made from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <random>
#include <sstream>

#include "job_file_test_support.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/job_file_reader.h"
#include "model/job_file_writer.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/rout_handles.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_dialogs.h"
#include "workspace/job_file.h"

namespace {

class JobFileRoundTripTest : public TJobFileTest {
 protected:
  // A job of every entity kind on every layer group with fields drawn from
  // seed: zero, negative and large values, texts with blanks and lower case,
  // deleted entities, shared and nested step objects, tools of every kind.
  // holes: how many drill holes come on top (a big file).
  static void BuildRandomJob(uint32_t seed, int32_t holes) {
    std::mt19937 rng(seed);
    auto pick = [&](int32_t lo, int32_t hi) {
      return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
    };
    // Coordinates: often 0 or small (fields left out, short lines), else
    // anywhere in +-500,000,000.
    auto coord = [&] {
      switch (pick(0, 5)) {
        case 0: return 0;
        case 1: return pick(-9, 9);
        default: return pick(-500000000, 500000000);
      }
    };
    auto text = [&](int32_t maxLength) {
      static const std::string kChars = " abcXYZ019,.;:#%$-+*/()[]_'\"";
      std::string t(std::size_t(pick(1, maxLength)), ' ');
      for (char& ch : t) ch = kChars[std::size_t(pick(0, int32_t(kChars.size()) - 1))];
      return t;
    };

    // Every value is drawn in a statement of its own (or in a braced list,
    // which runs left to right): the order in which C++ evaluates function
    // arguments and operands is unspecified, and the job must not depend on
    // the compiler or the build.
    for (int32_t i = 0; i < 60; ++i) {
      const TToolRecord tool{pick(0, 10000000), pick(-5, 100000), pick(0, 200000),
                             coord(), pick(0, 1000000), uint8_t(pick(0, 1))};
      ToolTable[pick(1, kToolCount)] = tool;
    }
    ToolTable[1000] = {25400000, -2147483647 - 1, 2147483647, -1, 0, 1};
    for (int l = kFirstRoutLayer; l <= kLastRoutLayer; ++l)
      for (int32_t i = 0; i < 8; ++i) {
        const int32_t diameter = pick(1, 10000000);
        const int32_t compensated = pick(0, 1);
        const int32_t compensation = pick(1, 900000);
        const TRoutToolRecord tool{diameter, compensated * compensation, uint16_t(pick(0, 65535)),
                                   uint16_t(pick(0, 65535)), coord()};
        RoutToolPages[l][pick(1, kToolCount)] = tool;
      }

    std::vector<TStepObject*> steps;
    for (int32_t i = 0; i < 6; ++i)
      steps.push_back(MakeSteps({{0, pick(1, 4), pick(-2000000, 2000000), pick(-2000000, 2000000),
                                  uint8_t(pick(0, 7))},
                                 {0, pick(1, 2), pick(-50000, 50000), 0, 0}}));
    steps[1]->SetNested(steps[0]);
    steps[2]->SetNested(steps[1]);
    steps[4]->SetNested(steps[3]);
    auto someSteps = [&]() -> TStepObject* {
      return pick(0, 3) == 0 ? steps[std::size_t(pick(0, 5))] : nullptr;
    };

    for (int32_t i = 0; i < 400; ++i) {
      const uint8_t layer = uint8_t(pick(0, 29));
      int32_t n = 0;
      switch (pick(0, 3)) {
        case 0: {
          const int32_t y = coord(), x = coord();
          n = DB->AddPointOnLayer(x, y, layer);
          break;
        }
        case 1: {
          const int32_t y2 = coord(), x2 = coord(), y1 = coord(), x1 = coord();
          n = DB->AddLineOnLayer(x1, y1, x2, y2, layer);
          break;
        }
        case 2: {
          const TIntPoint c{coord(), coord()}, e{coord(), coord()}, s{coord(), coord()};
          n = DB->AddArcOnLayer(s, e, c, layer);
          break;
        }
        default: {
          const int32_t r = pick(0, 50000000), y = coord(), x = coord();
          n = DB->AddCircleOnLayer(x, y, r, layer);
          break;
        }
      }
      if (pick(0, 9) == 0) DB->MarkDeleted(n);
    }

    DRDB->G93OriginX = coord();
    DRDB->G93OriginY = coord();
    for (int32_t i = 0; i < 400 + holes; ++i) {
      const uint8_t layer = uint8_t(pick(kFirstDrillLayer, kLastDrillLayer));
      const int32_t tool = pick(1, kToolCount);
      int32_t n = 0;
      switch (i < 400 ? pick(0, 3) : 0) {
        case 0: {
          const int32_t y = coord(), x = coord();
          n = DRDB->AddHoleOnLayer(x, y, layer, tool, true);
          break;
        }
        case 1: {
          const int32_t y2 = coord(), x2 = coord(), y1 = coord(), x1 = coord();
          n = DRDB->AddSlotOnLayer(x1, y1, x2, y2, layer, tool, true);
          break;
        }
        case 2: {
          const int32_t r = pick(0, 50000000), y = coord(), x = coord();
          n = DRDB->AddCircleOnLayer(x, y, r, layer, tool, true);
          break;
        }
        default: {
          const bool flag = pick(0, 1) != 0;
          const std::string t = text(40);
          const int32_t y = coord(), x = coord();
          n = DRDB->AddTextOnLayer(x, y, t, flag, layer, tool, true);
          break;
        }
      }
      ASSERT_NE(n, 0);
      if (TStepObject* s = someSteps()) DRDB->EntityAt(n)->SetStepObj(s);
      if (pick(0, 19) == 0) DRDB->DeleteEntity(n);
    }

    for (int l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) {
      RTDB->G93Origins[l] = {coord(), coord()};
      const uint8_t layer = uint8_t(l);
      for (int32_t i = 0; i < 120; ++i) {
        // Some entities go to the start of the cut order.
        if (pick(0, 9) == 0) Seq->SetInsertAtStart(layer); else Seq->SetInsertAtEnd(layer);
        const TIntPoint p{coord(), coord()};
        const uint16_t feed = uint16_t(pick(0, 65535));
        const int32_t z = pick(0, 4) == 0 ? NoZOffset : coord();
        int32_t h = 0;
        switch (pick(0, 6)) {
          case 0: {
            const int32_t comp = pick(0, kToolCount), tool = pick(1, kToolCount);
            const uint8_t side = uint8_t(pick(0, 2));
            h = RTDB->AddJog(p, layer, side, tool, comp);
            break;
          }
          case 1: h = RTDB->AddLine(p, layer, feed, z); break;
          case 2: {
            const TIntPoint c{coord(), coord()};
            const bool clockwise = pick(0, 1) != 0;
            h = RTDB->AddArc(p, layer, feed, clockwise, c, z);
            break;
          }
          case 3: {
            const bool g32 = pick(0, 1) != 0;
            const int32_t r = pick(0, 50000000), comp = pick(0, kToolCount), tool = pick(1, kToolCount);
            h = RTDB->AddCircle(p, layer, tool, feed, comp, r, g32, z);
            break;
          }
          case 4: h = RTDB->AddHole(p, layer, pick(1, kToolCount)); break;
          default: {
            const uint8_t saved = CurrentLayer;
            CurrentLayer = layer;
            const uint8_t holdOff = uint8_t(pick(0, 255));
            const std::string t = text(60);
            h = RTDB->AddCommand(p, t, holdOff);
            CurrentLayer = saved;
            break;
          }
        }
        ASSERT_NE(h, 0);
        const uint8_t type = RTDB->EntityAt(h)->Type;
        if (type == etRoutJog || type == etRoutCircle || type == etRoutHole || type == etRoutCommand)
          if (TStepObject* s = someSteps()) RTDB->EntityAt(h)->SetStepObj(s);
        if (pick(0, 19) == 0) RTDB->SlotAt(h)->Flags |= SlotDeletedBit;
      }
    }
    // Objects no entity took are freed.
    for (TStepObject* s : steps) {
      s->AddRef();
      ReleaseStepObject(s);
    }
  }

  // Reads the file into the emptied job; the message boxes shown.
  std::vector<std::string> Reload(const std::string& file) {
    ClearAll();
    ToolTable.Fill(TToolRecord{});
    ResetHeadlessDialogs();
    TJobContents contents;
    if (ReadJobFile(file, contents)) CommitJobContents(contents);
    return Boxes();
  }

  // 64-bit FNV-1a of the bytes.
  static uint64_t Fingerprint(const std::string& bytes) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
  }
};

TEST_F(JobFileRoundTripTest, EveryFieldOfVariedJobsComesBackAndTheSecondSaveIsTheFirst) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    ClearAll();
    ToolTable.Fill(TToolRecord{});
    BuildRandomJob(seed, 0);
    const std::string before = DumpJob();
    const std::string first = FileIn("FIRST.ZUL");
    ASSERT_EQ(WriteJobFile(first), 0);
    ASSERT_TRUE(Reload(first).empty()) << ::testing::PrintToString(Boxes());
    EXPECT_EQ(DumpJob(), before);
    // A load is no edit: nothing of it can be undone.
    EXPECT_FALSE(CadUndo->OpenRecords());
    EXPECT_FALSE(DrillUndo->OpenRecords());
    EXPECT_FALSE(RoutUndo->OpenRecords());
    const std::string second = FileIn("SECOND.ZUL");
    ASSERT_EQ(WriteJobFile(second), 0);
    EXPECT_EQ(ReadFileBytes(second), ReadFileBytes(first));
  }
}

// Drill texts and rout commands may hold any byte (a tape's M47 message or
// M97 text with a Ctrl-Z, a text typed with a line end): a job of every
// entity kind with every byte 0..255 in its texts opens as it was saved.
// Texts a value line carries as they stand are written as they always were.
TEST_F(JobFileRoundTripTest, TextsOfEveryByteComeBackAndPlainTextsAreWrittenAsEver) {
  BuildRichJob();
  std::string every;
  for (int c = 0; c < 256; ++c) every.push_back(char(c));
  DRDB->AddTextOnLayer(100, 200, every.substr(0, 255), false, 31, 2, true);
  DRDB->AddTextOnLayer(300, 400, every.substr(255) + "%41\x1a" "%", true, 30, 1, true);
  const std::vector<std::string> plain = {"%41 100%", std::string("\t\x7f\0 \xff", 5), ""};
  for (const std::string& t : plain) DRDB->AddTextOnLayer(0, 0, t, false, 30, 1, true);
  const uint8_t saved = CurrentLayer;
  CurrentLayer = 41;
  for (std::size_t at = 0; at < every.size(); at += TRoutCommand::MaxTextLength)
    RTDB->AddCommand({int32_t(at), 0}, every.substr(at, TRoutCommand::MaxTextLength), 1);
  for (const char* t : {"\x1a", "\r", "\n", "M47,\r\n%0D"}) RTDB->AddCommand({0, 5}, t, 0);
  CurrentLayer = saved;

  const std::string before = DumpJob();
  const std::string first = FileIn("TEXTS.ZUL");
  ASSERT_EQ(WriteJobFile(first), 0);
  const std::string bytes = ReadFileBytes(first);
  EXPECT_EQ(bytes.find('\x1a'), std::string::npos);
  for (const std::string& t : plain)
    EXPECT_NE(bytes.find("DRILLTEXT\r\n3\r\n" + t + "\r\n"), std::string::npos) << t;
  EXPECT_NE(bytes.find("ROUTCOMMAND\r\n1\r\nM47,%0D%0A%250D\r\n"), std::string::npos);
  ASSERT_TRUE(Reload(first).empty()) << ::testing::PrintToString(Boxes());
  EXPECT_EQ(DumpJob(), before);
  const std::string second = FileIn("TEXTS2.ZUL");
  ASSERT_EQ(WriteJobFile(second), 0);
  EXPECT_EQ(ReadFileBytes(second), bytes);
}

// Group 1 as a hand or another program writes it: hex digits of either
// case; a "%" without two of them, and blanks, stand for themselves.
TEST_F(JobFileRoundTripTest, AnEscapedTextReadsLeniently) {
  EXPECT_EQ(UnescapeJobText("a%0d%0A%1a b"), "a\r\n\x1a b");
  EXPECT_EQ(UnescapeJobText("%zz%4%"), "%zz%4%");
  EXPECT_EQ(UnescapeJobText("%41\r%42"), "AB");
  EXPECT_EQ(UnescapeJobText(std::string(600, 'x')).size(), 255u);
  const std::string file = FileIn("HAND.ZUL");
  WriteFileBytes(file,
                 "0\nHEADER\n999\n" + std::string(JobFileTitle) +
                     "\n0\nENDSEC\n0\nENTITIES\n0\nDRILLTEXT\n1\n 100%%0D%0a\n8\n2\n50\n1\n"
                     "0\nENDSEC\n0\nEOF\n");
  ASSERT_TRUE(Reload(file).empty()) << ::testing::PrintToString(Boxes());
  ASSERT_EQ(DrillEntityCount, 1);
  std::string text;
  DRDB->EntityAt(1)->GetString(text);
  EXPECT_EQ(text, " 100%\r\n");
}

// The bytes of these saves are the ones the program has always written:
// files saved before must compare equal with files saved now.
TEST_F(JobFileRoundTripTest, SavesWriteTheSameBytesAsEver) {
  BuildRichJob();
  ASSERT_EQ(WriteJobFile(FileIn("RICH.ZUL")), 0);
  const std::string rich = ReadFileBytes(TempDir / "RICH.ZUL");
  EXPECT_EQ(rich.size(), 2369u);
  EXPECT_EQ(Fingerprint(rich), 6826672384206729245ull);
  ClearAll();
  ToolTable.Fill(TToolRecord{});
  BuildRandomJob(7, 3000);
  ASSERT_EQ(WriteJobFile(FileIn("RANDOM.ZUL")), 0);
  const std::string random = ReadFileBytes(TempDir / "RANDOM.ZUL");
  EXPECT_EQ(random.size(), 254520u);
  EXPECT_EQ(Fingerprint(random), 8179087868443702364ull);
}

TEST_F(JobFileRoundTripTest, NumbersAreWrittenInTheirShortestDecimalForm) {
  const int32_t values[] = {1, -1, 9, -9, 10, 99, 100, -100, 999, 1000, 9999, 10000, 65535,
                            99999999, 100000000, -100000000, 999999999, 1000000000,
                            1234567890, 2147483647, -2147483647 - 1, 20000001, 10000000, 7000007};
  std::string expected;
  int32_t tool = 1;
  for (int32_t v : values) {
    ToolTable[tool] = {v, v, v, v, v, 1};
    expected += "0\r\nTOOL\r\n50\r\n" + std::to_string(tool) + "\r\n";
    for (int32_t code = 60; code <= 64; ++code)
      expected += std::to_string(code) + "\r\n" + std::to_string(v) + "\r\n";
    expected += "65\r\n1\r\n";
    ++tool;
  }
  ASSERT_EQ(WriteJobFile(FileIn("NUMBERS.ZUL")), 0);
  EXPECT_NE(ReadFileBytes(TempDir / "NUMBERS.ZUL").find(expected), std::string::npos)
      << ReadFileBytes(TempDir / "NUMBERS.ZUL");
}

// Rewrites a job file as an editor or another program might leave it,
// without changing what it says: names in lower case or with blanks, group
// codes and numbers with blanks, signs and leading zeros, LF line ends,
// blank lines where a group code or a record belongs. Text values stay.
std::string EditByHand(const std::string& file, uint32_t seed) {
  std::mt19937 rng(seed);
  auto chance = [&](int32_t in) { return std::uniform_int_distribution<int32_t>(0, in - 1)(rng) == 0; };
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < file.size();) {
    const std::size_t end = file.find("\r\n", at);
    lines.push_back(file.substr(at, end - at));
    at = end + 2;
  }
  auto number = [&](std::string n) {
    if (chance(6)) n = (n[0] == '-' ? "-00" + n.substr(1) : "00" + n);
    if (chance(6) && n[0] != '-') n = "+" + n;
    if (chance(5) && n.size() > 1) n.insert(n.size() / 2, " ");
    if (chance(6)) n = "  " + n + " ";
    return n;
  };
  std::string out;
  auto put = [&](const std::string& line) { out += line + (chance(4) ? "\n" : "\r\n"); };
  enum { kRecord, kName, kCode, kValue } expect = kRecord;
  int32_t code = 0;
  for (const std::string& line : lines) {
    switch (expect) {
      case kRecord:
        if (chance(20)) put(chance(2) ? "" : "   ");
        put(chance(4) ? " 0 " : line);
        expect = kName;
        break;
      case kName: {
        std::string name = line;
        if (chance(3))
          for (char& ch : name) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        if (chance(4)) name.insert(name.size() / 2, "  ");
        put(name);
        expect = kCode;
        break;
      }
      case kCode:
        if (chance(20)) put("");
        if (line == "0") {
          put(chance(4) ? " 0 " : line);
          expect = kName;
          break;
        }
        code = std::stoi(line);
        put(number(line));
        expect = kValue;
        break;
      case kValue:
        put(code == 3 || code == 999 || code == 8 ? line : number(line));
        expect = kCode;
        break;
    }
  }
  return out;
}

TEST_F(JobFileRoundTripTest, AFileEditedByHandReadsAsTheFileItWasMadeFrom) {
  // Big enough that lines cross the reader's blocks.
  BuildRandomJob(11, 40000);
  const std::string before = DumpJob();
  ASSERT_EQ(WriteJobFile(FileIn("SAVED.ZUL")), 0);
  const std::string saved = ReadFileBytes(TempDir / "SAVED.ZUL");
  ASSERT_GT(saved.size(), std::size_t(2) << 20);
  for (uint32_t seed : {5u, 6u}) {
    SCOPED_TRACE(seed);
    WriteFileBytes(TempDir / "EDITED.ZUL", EditByHand(saved, seed));
    ASSERT_TRUE(Reload(FileIn("EDITED.ZUL")).empty()) << ::testing::PrintToString(Boxes());
    EXPECT_EQ(DumpJob(), before);
    ASSERT_EQ(WriteJobFile(FileIn("AGAIN.ZUL")), 0);
    EXPECT_EQ(ReadFileBytes(TempDir / "AGAIN.ZUL"), saved);
  }
}

TEST_F(JobFileRoundTripTest, BigFilesEndWhereTheyEndAndLongLinesAreMeasuredAcrossBlocks) {
  BuildRandomJob(13, 30000);
  const std::string before = DumpJob();
  ASSERT_EQ(WriteJobFile(FileIn("BIG.ZUL")), 0);
  const std::string big = ReadFileBytes(TempDir / "BIG.ZUL");
  ASSERT_GT(big.size(), std::size_t(3) << 19);

  // A DOS end mark and rubbish behind the EOF record, past the first block.
  WriteFileBytes(TempDir / "DOS.ZUL", big + "\x1a" + std::string(3000, '#'));
  EXPECT_TRUE(Reload(FileIn("DOS.ZUL")).empty()) << ::testing::PrintToString(Boxes());
  EXPECT_EQ(DumpJob(), before);
  // A file without its last line end.
  WriteFileBytes(TempDir / "OPEN.ZUL", big.substr(0, big.size() - 2));
  EXPECT_TRUE(Reload(FileIn("OPEN.ZUL")).empty()) << ::testing::PrintToString(Boxes());
  EXPECT_EQ(DumpJob(), before);

  // A Ctrl-Z in the middle ends the text there: the file is incomplete.
  std::string cut = big;
  const std::size_t middle = cut.find("\r\n0\r\nDRILLHOLE", cut.size() / 2 + 12345) + 2;
  cut.insert(middle, "\x1a");
  const std::size_t line = std::size_t(std::count(cut.begin(), cut.begin() + middle, '\n')) + 1;
  WriteFileBytes(TempDir / "CUT.ZUL", cut);
  std::vector<std::string> boxes = Reload(FileIn("CUT.ZUL"));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Line " + std::to_string(line) +
                          ": the file ends before its EOF record: it is incomplete."),
            std::string::npos)
      << boxes[0];

  // A text of 60,000 characters that starts past the first block is read
  // (and cut to 255); one of 65,537 is refused, however many CRs it
  // holds, while CRs are no characters of a line.
  const std::size_t at = big.find("\r\n0\r\nDRILLHOLE", (std::size_t(1) << 20) - 30000) + 2;
  const std::string head = big.substr(0, at), tail = big.substr(at);
  const std::string record = "0\r\nDRILLTEXT\r\n50\r\n1\r\n3\r\n";
  WriteFileBytes(TempDir / "LONG.ZUL", head + record + std::string(60000, 'T') + "\r\n" + tail);
  EXPECT_TRUE(Reload(FileIn("LONG.ZUL")).empty()) << ::testing::PrintToString(Boxes());
  EXPECT_NE(DumpJob().find("drill t15 L0 0,0 tool 1 '" + std::string(255, 'T') + "' v0"),
            std::string::npos);
  std::string crs(65536, 'T');
  for (std::size_t i = 0; i < crs.size(); i += 3) crs.insert(i, 1, '\r');
  WriteFileBytes(TempDir / "CRS.ZUL", head + record + crs + "\r\n" + tail);
  EXPECT_TRUE(Reload(FileIn("CRS.ZUL")).empty()) << ::testing::PrintToString(Boxes());
  WriteFileBytes(TempDir / "TOOLONG.ZUL", head + record + crs + "T\r\n" + tail);
  const std::size_t longLine = std::size_t(std::count(head.begin(), head.end(), '\n')) + 6;
  boxes = Reload(FileIn("TOOLONG.ZUL"));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Line " + std::to_string(longLine) +
                          ": the line is longer than 65536 characters."),
            std::string::npos)
      << boxes[0];
}

}  // namespace
