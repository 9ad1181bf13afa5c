// Board descriptions of 80-column records: detection, paths over
// continuation records, arcs of both widths, parameter records in the
// report, records without line breaks, short records and files cut short.
#include <gtest/gtest.h>

#include <cstdio>

#include "import/import_frame.h"
#include "import/ipc_import.h"
#include "import_test_support.h"

namespace {

constexpr double Tenth = 2540.0;  // database units per 0.0001 in

// An 80-column record: the code, then text or pairs from column 31.
std::string Record(const std::string& head, const std::string& fields = "") {
  std::string r = head;
  r.resize(30, ' ');
  r += fields;
  r.resize(80, ' ');
  return r;
}
std::string Pair7(int x, int y) {
  char b[15];
  std::snprintf(b, sizeof b, "X%06dY%06d", x, y);
  return b;
}
std::string Pair10(int x, int y) {
  char b[21];
  std::snprintf(b, sizeof b, "X%09dY%09d", x, y);
  return b;
}

std::string Job(const std::vector<std::string>& body, bool lines = true) {
  std::vector<std::string> all = {Record("P  JOB   TEST BOARD")};
  for (int i = 0; i < 20; ++i) all.push_back(Record("C  filler comment " + std::to_string(i)));
  all.insert(all.end(), body.begin(), body.end());
  all.push_back(Record("999"));
  std::string text;
  for (const std::string& r : all) text += r + (lines ? "\r\n" : "");
  return text;
}

class IpcImportTest : public TImportTest {
 protected:
  static std::string LastBox() {
    const auto& boxes = ShownMessageBoxes();
    return boxes.empty() ? std::string() : boxes.back().Text;
  }
};

TEST_F(IpcImportTest, PathsAndArcsInLinesOrOneStream) {
  const std::vector<std::string> body = {
      Record("171", Pair7(0, 0) + Pair7(10000, 0) + Pair7(10000, 10000)),
      Record(" 0 ", Pair7(0, 10000) + "              " + Pair7(0, 0)),
      Record("181", Pair7(5000, 5000) + Pair7(0, 900000) + Pair7(1000, 1)),
      Record("182", Pair10(5000, 5000) + Pair10(0, 0)), Record(" 0 ", Pair10(2000, -1)),
      Record("P  UNITS  CUST 0")};
  for (bool lines : {true, false}) {
    SCOPED_TRACE(lines);
    const std::string file = Write("b.ipc", Job(body, lines));
    EXPECT_DOUBLE_EQ(DetectIpcFile(file), 0.9);
    EXPECT_EQ(DetectFileFormat(file), fcIpc);
    const int32_t before = CadEntityCount;
    ImportIpcFile(file);
    const TTally t = Tally(Tenth, before + 1);
    EXPECT_EQ(t.ByType[2], 4) << Shown(t);  // the square over two records
    EXPECT_EQ(t.ByType[3], 1);
    EXPECT_EQ(t.ByType[4], 1);
    EXPECT_DOUBLE_EQ(t.MaxX, 10000);
  }
  // The arc runs from 90 to 0 degrees counter-clockwise (direction > 0).
  TIntPoint s;
  DB->EntityAt(CadEntityCount - 1)->GetPoint(s);
  EXPECT_EQ(s.Y, SaturatingRound(6000 * Tenth));
  const std::string& report = DetachedImportHost().Reports.back().Text;
  EXPECT_NE(report.find("JOB   TEST BOARD"), std::string::npos);
  EXPECT_NE(report.find("UNITS  CUST 0"), std::string::npos);
  EXPECT_TRUE(ShownMessageBoxes().empty());  // a profile was found
}

TEST_F(IpcImportTest, DetectorWantsTwentyFullRecords) {
  std::string text = Job({});
  EXPECT_DOUBLE_EQ(DetectIpcFile(Write("ok.ipc", text)), 0.9);
  text.erase(82 * 5 + 79, 1);  // record 6 of 79 characters
  EXPECT_DOUBLE_EQ(DetectIpcFile(Write("short.ipc", text)), 0.0);
}

TEST_F(IpcImportTest, ShortRecordsCutFilesAndNoProfile) {
  // Records shorter than their pairs read nothing past their end.
  std::string text = Job({Record("171", Pair7(0, 0) + Pair7(100, 0)), "171" + std::string(27, ' ') + "X000",
                          "181", "182", " 0"});
  ImportIpcFile(Write("s.ipc", text));
  EXPECT_EQ(CadEntityCount, 1);
  // Without the end record the file is read to its end, and the report
  // says so.
  text = Job({Record("171", Pair7(0, 0) + Pair7(100, 0))});
  ImportIpcFile(Write("cut.ipc", text.substr(0, text.size() - 82)));
  EXPECT_EQ(CadEntityCount, 2);
  EXPECT_NE(DetachedImportHost().Reports.back().Text.find("ends without its end record"), std::string::npos);
  // A last record cut in two ends the reading there: the records before it
  // are imported and the report says what was left.
  const std::string cards = Job({Record("171", Pair7(0, 0) + Pair7(100, 0))}, false);
  const size_t boxes = ShownMessageBoxes().size();
  ImportIpcFile(Write("half.ipc", cards.substr(0, cards.size() - 80) + "171   "));
  EXPECT_EQ(CadEntityCount, 3);
  EXPECT_NE(DetachedImportHost().Reports.back().Text.find(
                "The last 6 characters hold no whole record and were not read."),
            std::string::npos)
      << DetachedImportHost().Reports.back().Text;
  EXPECT_EQ(ShownMessageBoxes().size(), boxes);  // a profile was found: no box
  // A line longer than any record ends the reading the same way: the rest of
  // the file is not read to find its end.
  text = Job({Record("171", Pair7(0, 0) + Pair7(100, 0)), "C  " + std::string(70000, 'x'),
              Record("171", Pair7(0, 0) + Pair7(0, 100))});
  ImportIpcFile(Write("long.ipc", text));
  EXPECT_EQ(CadEntityCount, 4);
  EXPECT_NE(DetachedImportHost().Reports.back().Text.find(
                "Line 23 is longer than any record: the reading stopped there."),
            std::string::npos)
      << DetachedImportHost().Reports.back().Text;
  // No geometry: the notice.
  ImportIpcFile(Write("none.ipc", Job({})));
  EXPECT_NE(LastBox().find("did not contain"), std::string::npos) << LastBox();
  EXPECT_EQ(CadEntityCount, 4);
}

}  // namespace
