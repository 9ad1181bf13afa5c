// What the started program says of a tape's faulty blocks: File > Import
// into CAD names the same faults as the drill import's results window (and
// tape feed passed over as a note, no fault), a
// tape of thousands of faults shows ten and counts the rest, and Drill
// Import without its results window names what stopped the reading or left
// the tape without a hole.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "../workspace/workspace_test_support.h"
#include "import/import_frame.h"
#include "model/cad_database.h"
#include "platform/headless/headless_dialogs.h"
#include "tapein/cad_import.h"

namespace {

namespace fs = std::filesystem;

const std::string kInspect = "Some errors were detected in this file.\r\nInspect the output carefully!";

class TTapeFaultReportTest : public TWorkspaceDialogsTest {
 protected:
  // File > Import of the tape as Excellon, its dialog confirmed; the boxes
  // it ended with.
  std::vector<TMessageBoxRecord> ImportIntoCadLayer(TWorkspace& form, const std::string& tape) {
    const size_t boxes = ShownMessageBoxes().size();
    QueueModalScript("TCadInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    ImportIntoCad(form, tape, fcExcellon);
    return {ShownMessageBoxes().begin() + std::ptrdiff_t(boxes), ShownMessageBoxes().end()};
  }
  // A tape of pattern ends that no M25 began, one a line, after a hole.
  static std::string PatternFaults(int count) {
    std::string tape = "M48\nINCH,LZ\nT1C0.030\n%\nT1\nX010000Y010000\n";
    for (int k = 0; k < count; ++k) tape += "M08\nM01\n";
    return tape + "M30\n";
  }
};

// The shared tapes that came in without a word: each is drawn, then one
// warning names its faults with the lines the drill import's results window
// gives them.
TEST_F(TTapeFaultReportTest, ACadImportOfATapeWithFaultyBlocksNamesThemAsTheDrillImportDoes) {
  TWorkspace& form = StartProgram();
  const std::string own = Input("BOARD.DRL", "M48\nINCH,LZ\nT1C0.030\n%\nT1\nX0100000000Y01\nX010000Y010000\nM30\n");
  std::vector<TMessageBoxRecord> said = ImportIntoCadLayer(form, own);
  EXPECT_EQ(CadEntityCount, 2);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0].Type, mtWarning);
  EXPECT_EQ(said[0].Text, "Block 6:Digit Overflow\r\n" + kInspect);
  // A rubout between two words is no fault: the block is named in a note,
  // with no word of errors.
  said = ImportIntoCadLayer(form, Input("FEED.DRL", "M48\nINCH,LZ\nT1C0.030\n%\nT1\nX010000\x7fY020000\nM30\n"));
  EXPECT_EQ(CadEntityCount, 3);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0].Type, mtInformation);
  EXPECT_EQ(said[0].Text.rfind("Line 6: the tape feed inside the block", 0), 0u) << said[0].Text;
  EXPECT_EQ(said[0].Text.find("rror"), std::string::npos) << said[0].Text;

  const fs::path bad = SharedTestData() / "bad-input";
  if (!fs::exists(bad)) GTEST_SKIP() << "shared test data absent";
  const struct {
    const char* Name;
    int32_t Drawn;
    const char* Fault;
  } tapes[] = {{"nc_reader-1.bin", 7, "Block 12:Digit Overflow"},
               {"rout_import-2.bin", 89, "Block 12:Format Overflow"},
               {"rout_import-5.bin", 149, "Error : Double X in block 301"}};
  SelectLayer(30);
  for (const auto& [name, drawn, fault] : tapes) {
    SCOPED_TRACE(name);
    const std::string tape = (bad / name).string();
    const int32_t before = CadEntityCount;
    said = ImportIntoCadLayer(form, tape);
    EXPECT_EQ(CadEntityCount - before, drawn);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].Type, mtWarning);
    const std::string& text = said[0].Text;
    ASSERT_GT(text.size(), kInspect.size());
    EXPECT_EQ(text.substr(text.size() - kInspect.size()), kInspect);
    EXPECT_NE(text.find(std::string(fault) + "\r\n"), std::string::npos) << text;
    // Every fault named is a line of the drill import's report.
    std::string report;
    CloseResultWindows(&report);
    ImportExcellonTape(form, tape, mrNo, true);
    HeadlessSetProcessMessagesHook(nullptr);
    form.KeyDown(VK_ESCAPE);
    for (size_t at = 0, end; (end = text.find("\r\n", at)) < text.size() - kInspect.size(); at = end + 2)
      if (text[at] != '(') {
        EXPECT_NE(report.find(text.substr(at, end - at)), std::string::npos) << text.substr(at, end - at);
      }
  }
}

// Thousands of pattern faults: the box shows ten and counts the others,
// and the reader keeps no more than it shows.
TEST_F(TTapeFaultReportTest, ATapeOfThousandsOfFaultsShowsTenAndCountsTheRest) {
  TWorkspace& form = StartProgram();
  const std::string tape = Input("FAULTS.DRL", PatternFaults(5000));
  const std::vector<TMessageBoxRecord> said = ImportIntoCadLayer(form, tape);
  EXPECT_EQ(CadEntityCount, 1);
  ASSERT_EQ(said.size(), 1u);
  const std::string first = "Line 8: M01 ends a pattern that no M25 began after the step and repeat ended in line 7";
  EXPECT_EQ(said[0].Text.find(first), 0u) << said[0].Text;
  EXPECT_NE(said[0].Text.find("Line 26: M01"), std::string::npos);
  EXPECT_EQ(said[0].Text.find("Line 28: M01"), std::string::npos);
  EXPECT_NE(said[0].Text.find("\r\n(4990 more)\r\n" + kInspect), std::string::npos) << said[0].Text;

  // The same through Open Rout Tape.
  SelectLayer(40);
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ScriptFileDialogAnswer(tape);
  const size_t boxes = ShownMessageBoxes().size();
  Run(form, emRout, "OpenRoutTape1");
  ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
  EXPECT_EQ(LastBox().find(first), 0u) << LastBox();
  EXPECT_NE(LastBox().find("\r\n(4990 more)\r\n" + kInspect), std::string::npos) << LastBox();

  TCadTapeReader reader(Input("MORE.DRL", PatternFaults(50000)));
  bool failed = false;
  reader.Run(failed);
  reader.Done();
  EXPECT_EQ(reader.Faults.Count(), 50000);
  EXPECT_EQ(reader.Faults.Kept().size(), TTapeFaults::kShown);
}

// The drill import's results window lists the first thousand lines of a
// tape's faults and its last ones, and counts those between; the summary
// follows them whole, and the holes come in.
TEST_F(TTapeFaultReportTest, TheResultsWindowOfADrillImportListsTheFirstFaultsAndCountsTheRest) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  std::string report;
  CloseResultWindows(&report);
  ImportExcellonTape(form, Input("FAULTS.DRL", PatternFaults(5000)), mrYes, true);
  HeadlessSetProcessMessagesHook(nullptr);
  EXPECT_EQ(DrillEntityCount, 1);
  std::vector<std::string> lines;
  for (size_t at = 0, end; at <= report.size(); at = end + 2) {
    end = std::min(report.find("\r\n", at), report.size());
    lines.push_back(report.substr(at, end - at));
  }
  const auto fault = [](int line) {
    return "Line " + std::to_string(line) + ": M01 ends a pattern that no M25 began after the step and repeat ended "
           "in line " + std::to_string(line - 1);
  };
  const auto count = [&](const std::string& start) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
  };
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  ASSERT_LT(lines.size(), 1100u);
  EXPECT_EQ(count("Line "), 1008);
  EXPECT_EQ(count(fault(8)), 1);
  EXPECT_EQ(count(fault(2006)), 1);  // the thousandth
  EXPECT_EQ(count(fault(2008)), 0);
  const auto more = std::find(lines.begin(), lines.end(), "(3992 more lines are not listed here.)");
  ASSERT_NE(more, lines.end()) << report;
  for (int k = 0; k < 8; ++k) EXPECT_EQ(more[k + 1].rfind(fault(9992 + 2 * k), 0), 0u) << more[k + 1];
  EXPECT_NE(std::find(more, lines.end(), "Done decoding file."), lines.end());
  EXPECT_EQ(lines.back(), "Inspect output carefully for errors!");
}

// Drill Import with Show Messages off: a stop names its reason beside the
// withdrawal, and a tape whose only hole did not decode says why it draws
// nothing.
TEST_F(TTapeFaultReportTest, ADrillImportWithoutItsResultsWindowNamesWhatStoppedIt) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  const std::string far = Input("FAR.DRL", "M48\nINCH,LZ\nT1C0.030\n%\nT1\nX010000Y010000\nX99999999999999999999Y1\n");
  ImportExcellonTape(form, far);
  EXPECT_EQ(DrillEntityCount, 0);
  EXPECT_EQ(ShownMessageBoxes().back().Type, mtError);
  EXPECT_EQ(LastBox(), "Line 7 \"X99999999999999999999Y1\": the X word lies beyond the largest coordinate (84.5466 in) "
                       "or has more digits than the format (Format Overflow).\r\nThe import was withdrawn; the drill "
                       "database is unchanged.");

  const std::string none = Input("NONE.DRL", "M48\nMETRIC,TZ\nT1C1.0\n%\nT1\nP99999999\nM30\n");
  ImportExcellonTape(form, none);
  EXPECT_EQ(DrillEntityCount, 0);
  EXPECT_EQ(LastBox(), "<" + none + "> draws nothing.\r\nBlock 6:Digit Overflow\r\nNothing was imported.");
}

}  // namespace
