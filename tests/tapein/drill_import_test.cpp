// The drill tape import: format dialog, the drill consumer, the tool table,
// the results report, withdrawal of a stopped import, detection.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include "detached_undo_window.h"
#include "drill_import_test_support.h"
#include "model/cad_undo.h"
#include "platform/events.h"
#include "platform/headless/headless_events.h"
#include "tapein/drill_format_dialog.h"

namespace {

constexpr int32_t Inch = 25400000;

class DrillImportTest : public TDrillImportCommandTest {
 protected:
  void SetUp() override {
    TDrillImportCommandTest::SetUp();
    DetachedUndoWindow().Clear();
    ResetLayerMasks();
    Metric = false;
    UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
    // The results window: its lines are taken and OK pressed once it waits.
    HeadlessSetProcessMessagesHook([this] {
      if (DrillTapeReader != nullptr && DrillTapeReader->Report &&
          DrillTapeReader->Report->OKVisible) {
        ReportLines = DrillTapeReader->Report->Memo1.Lines();
        DrillTapeReader->Report->OKButton.Click();
      }
    });
  }

  std::string Tape(const std::string& name, const std::string& text) {
    const auto path = TempDir / name;
    WriteFileBytes(path, text);
    return path.string();
  }
  // Accepts the format dialog as it is.
  static void AcceptFormat() {
    QueueModalScript("TDrillInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  }
  bool Import(const std::string& file) {
    AcceptFormat();
    return ImportDrillTape(file, 0);
  }
  // Entities from the index: hole count per tool.
  static std::map<int32_t, int32_t> HolesPerTool(int32_t first) {
    std::map<int32_t, int32_t> m;
    for (int32_t i = first; i <= DrillEntityCount; ++i)
      if (DRDB->EntityAt(i)->GetType() == etDrillHole) ++m[DRDB->EntityAt(i)->GetToolNumber()];
    return m;
  }
  static bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  std::vector<std::string> ReportLines;
};

const char* const SmallTape =
    "M48\nINCH,LZ\nT1C0.028F200S100\nT2C0.034\n%\nT1\nX002250Y002300\nX004500Y006000\n"
    "T2\nX010000Y002200\nM30\n";

// ---- Format dialog ---------------------------------------------------------------------

TEST_F(DrillImportTest, FormatDialogOkStoresTheChoiceAndCancelChangesNothing) {
  const TDrillFormatRecord before = DrillInputFormat;
  QueueModalScript("TDrillInputFormatDialog", [](TForm& f) {
    f.Get<TRadioGroup>("UnitGroup").ClickItem(1);
    f.Get<TSpinEdit>("IntegerEdit").SetText("4");
    f.Get<TRadioGroup>("AxisGroup").ClickItem(5);
    f.Click("CancelButton");
  });
  EXPECT_FALSE(RunDrillFormatDialog("x.drl"));
  EXPECT_EQ(DrillInputFormat, before);

  QueueModalScript("TDrillInputFormatDialog", [](TForm& f) {
    auto& d = static_cast<TDrillInputFormatDialog&>(f);
    // Switching units shows that unit's stored digits.
    d.UnitGroup.ClickItem(1);
    EXPECT_EQ(d.IntegerEdit.Value(), 3);
    EXPECT_EQ(d.DecimalEdit.Value(), 3);
    d.IntegerEdit.SetText("x");  // does not parse: the stored count stays
    d.DecimalEdit.SetText("2");
    d.DecimalGroup.ClickItem(1);
    d.AxisGroup.ClickItem(5);
    d.AbsoluteGroup.ClickItem(1);
    d.BlockDeleteGroup.ClickItem(1);
    d.ResolveG93Group.ClickItem(1);
    d.ShowMessagesCheckBox.SetChecked(false);
    f.Click("OKButton");
  });
  EXPECT_TRUE(RunDrillFormatDialog("x.drl"));
  EXPECT_TRUE(DrillInputFormat.Metric);
  EXPECT_EQ(DrillInputFormat.UnitsFactor, 1000000u);
  EXPECT_EQ(DrillInputFormat.MetricIntegerDigits, 3);
  EXPECT_EQ(DrillInputFormat.MetricDecimalDigits, 2);
  EXPECT_EQ(DrillInputFormat.IntegerDigits, before.IntegerDigits);
  EXPECT_EQ(DrillInputFormat.ZerosUsed, 1);
  EXPECT_EQ(DrillInputFormat.Version, 6);
  EXPECT_FALSE(DrillInputFormat.Absolute);
  EXPECT_FALSE(DrillInputFormat.BlockDelete);
  EXPECT_TRUE(DrillInputFormat.ResolveG93);
  EXPECT_FALSE(DrillInputFormat.ShowMessages);
  // Not saved unless asked.
  TDrillFormatRecord stored = DefaultDrillFormat(false);
  LoadDrillFormatDefaults(stored, false);
  EXPECT_FALSE(stored.Metric);
}

TEST_F(DrillImportTest, CancelInTheFormatDialogImportsNothing) {
  const std::string file = Tape("a.drl", SmallTape);
  QueueModalScript("TDrillInputFormatDialog", [](TForm& f) { f.Click("CancelButton"); });
  EXPECT_FALSE(ImportDrillTape(file, 0));
  EXPECT_EQ(DrillEntityCount, 0);
  EXPECT_EQ(ToolTable[1], TToolRecord{});
  EXPECT_EQ(DrillUndo->RecordCount(), 0);
}

TEST_F(DrillImportTest, MissingSwapFileIsRefused) {
  ImportFilters[1] = {"Filter A", (TempDir / "none.swp").string()};
  EXPECT_FALSE(ImportDrillTape(Tape("a.drl", SmallTape), 1));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            " Cannot find specified swap file " + (TempDir / "none.swp").string() + "!");
  EXPECT_TRUE(ModalFormsShown().empty());
}

// ---- The import ---------------------------------------------------------------------------

TEST_F(DrillImportTest, HitsBecomeHiddenJournalledEntitiesWithTheirTools) {
  EXPECT_TRUE(Import(Tape("a.drl", SmallTape)));
  ASSERT_EQ(DrillEntityCount, 3);
  for (int32_t i = 1; i <= 3; ++i) EXPECT_LT(static_cast<int32_t>(DRDB->WordAt(i)), 0) << i;
  EXPECT_EQ(HolesPerTool(1), (std::map<int32_t, int32_t>{{1, 2}, {2, 1}}));
  TIntPoint p;
  DRDB->EntityAt(2)->GetPoint(p);
  EXPECT_EQ(p, (TIntPoint{Inch * 45 / 100, Inch * 6 / 10}));
  EXPECT_EQ(ToolTable[1].Diameter, 711200);
  EXPECT_EQ(ToolTable[1].Feed, 84666);  // 200 in/min in 1/25,400 in/s
  EXPECT_EQ(ToolTable[1].Speed, 100);  // the S word as the reader decodes it, div 100
  EXPECT_EQ(ToolTable[2].Diameter, 863600);
  EXPECT_EQ(DRDB->CurrentTool, 1);  // put back
  EXPECT_EQ(DRDB->ImportPlacement.FirstIndex, 1);
  EXPECT_EQ(DrillUndo->RecordCount(), 3);  // three adds, to be closed by the caller
  // The report.
  EXPECT_EQ(ReportLines.front().rfind("Decoding ", 0), 0u);
  EXPECT_TRUE(Has(ReportLines, "There were 3 regular hits."));
  EXPECT_TRUE(Has(ReportLines, "There were about 0 hits from"));
  // Extents widened by half the largest tool (0.017 in).
  EXPECT_TRUE(Has(ReportLines, "X Min =    0.20\"   Y Min =    0.20\" "));
  EXPECT_TRUE(Has(ReportLines, "X Max =    1.01\"   Y Max =    0.61\" "));
  EXPECT_EQ(ReportLines.back(), "Done decoding file.");
  EXPECT_TRUE(ShownMessageBoxes().empty());
}

TEST_F(DrillImportTest, ToolsMeetingToolsInUseAreOffsetPastThemWithTheImportsNotice) {
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 5, true), 0);
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 12, true), 0);
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 40, false), 0);  // deleted: does not count
  EXPECT_TRUE(Import(Tape("a.drl", "M48\nT5C0.020\nT7C0.030\n%\nT5\nX010000Y010000\nT7\n"
                                   "X020000Y010000\nM30\n")));
  EXPECT_EQ(DrillToolOffset, 12);
  EXPECT_EQ(HolesPerTool(4), (std::map<int32_t, int32_t>{{17, 1}, {19, 1}}));
  EXPECT_EQ(ToolTable[17].Diameter, 508000);
  EXPECT_EQ(ToolTable[5].Diameter, 0);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "12 tool numbers are already in use.\r\nNew tool numbers will be offset by 12");
}

TEST_F(DrillImportTest, ToolsApartFromTheToolsInUseAreOffsetAllTheSame) {
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 1, true), 0);
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 2, true), 0);
  ToolTable[3].Diameter = 33;  // a tape tool's own number: left alone
  ToolTable[7].Diameter = 77;  // the offset T5: written over
  const TToolRecord firstTool = ToolTable[1];
  EXPECT_TRUE(Import(Tape("a.drl", "M48\nT3C0.020\nT5C0.030\n%\nT3\nX010000Y010000\nT5\n"
                                   "X020000Y010000\nX030000Y010000\nM30\n")));
  EXPECT_EQ(DrillToolOffset, 2);
  EXPECT_EQ(HolesPerTool(3), (std::map<int32_t, int32_t>{{5, 1}, {7, 2}}));
  EXPECT_EQ(ToolTable[5].Diameter, 508000);
  EXPECT_EQ(ToolTable[7].Diameter, 762000);
  EXPECT_EQ(ToolTable[3].Diameter, 33);
  EXPECT_EQ(ToolTable[1].Diameter, firstTool.Diameter);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "2 tool numbers are already in use.\r\nNew tool numbers will be offset by 2");
  // Hits before any tool change belong to an unnamed tool of the tape: they
  // stay past the tools in use.
  DRDB->Clear();
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 1, true), 0);
  EXPECT_TRUE(Import(Tape("b.drl", "M48\nT3C0.020\n%\nX010000Y010000\nT3\nX020000Y010000\nM30\n")));
  EXPECT_EQ(HolesPerTool(2), (std::map<int32_t, int32_t>{{2, 1}, {4, 1}}));
}

// Routed moves have no place on a drill layer: they are counted and the
// operator is told where they can be read, never dropped unnoticed.
TEST_F(DrillImportTest, RoutedMovesAreReportedAsNotImported) {
  const std::string tape =
      "M48\nINCH,LZ\nT1C0.028\nT2C0.040\n%\nT1\nX002250Y002300\nT2\nG00X010000Y010000\nM15\n"
      "G01X020000Y010000\nM16\nG00X010000Y020000\nM15\nG01Y030000\nM16\nM30\n";
  EXPECT_TRUE(Import(Tape("r.drl", tape)));
  EXPECT_EQ(HolesPerTool(1), (std::map<int32_t, int32_t>{{1, 1}}));
  const std::string notice =
      "2 routed moves were not imported: a drill layer takes holes and slots only.\r\n"
      "Open Rout Tape on a rout layer reads them.";
  EXPECT_TRUE(Has(ReportLines, "Notice: Rout Commands were decoded in this file."));
  EXPECT_TRUE(Has(ReportLines, notice));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, notice);

  // The slot tape of the samples into a job with tools T1 and T2: its tools
  // are offset past them, and its three routed slots are reported.
  const auto file = SharedTestData() / "excellon" /
                    "altium-composite-drill__NC_Drill__LimeSDR-QPCIe_1v2-SlotHoles.TXT";
  if (SharedTestData().empty() || !std::filesystem::exists(file)) GTEST_SKIP() << "no sample tapes";
  DRDB->Clear();
  ResetHeadlessDialogs();
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 1, true), 0);
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 2, true), 0);
  EXPECT_TRUE(Import(file.string()));
  EXPECT_EQ(DrillToolOffset, 2);
  EXPECT_EQ(DrillEntityCount, 2);
  ASSERT_EQ(ShownMessageBoxes().size(), 2u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "2 tool numbers are already in use.\r\nNew tool numbers will be offset by 2");
  EXPECT_EQ(ShownMessageBoxes()[1].Text.rfind("3 routed moves were not imported", 0), 0u);
}

TEST_F(DrillImportTest, ToolsBeyondTheTableAreRefusedAndTheImportWithdrawn) {
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 995, true), 0);
  const int32_t before = DrillEntityCount;
  const int32_t records = DrillUndo->RecordCount();
  const auto tools = ToolTable;
  // T3 is fine (998); T9 would be tool 1004.
  const std::string file =
      Tape("a.drl", "M48\nT3C0.020\nT9C0.030\n%\nT3\nX010000Y010000\nT9\nX020000Y010000\nM30\n");
  EXPECT_FALSE(Import(file));
  EXPECT_EQ(DrillEntityCount, before);
  EXPECT_EQ(ToolTable.Items, tools.Items);
  EXPECT_EQ(DrillUndo->RecordCount(), records);
  EXPECT_EQ(DRDB->CurrentTool, 1);
  EXPECT_TRUE(Has(ReportLines,
                  "Tool T9 in line 3 (offset by 995 to tool 1004) is beyond the last drill tool 1000."));
  EXPECT_TRUE(Has(ReportLines, "Errors were encountered reading the file."));

  // Raw header tool numbers up to 9999 with no offset at all.
  delete DRDB;
  DRDB = new TDrillDatabase();
  EXPECT_FALSE(Import(Tape("b.drl", "M48\nT1500C0.020\n%\nT1500\nX010000Y010000\nM30\n")));
  EXPECT_EQ(DrillEntityCount, 0);
  EXPECT_TRUE(Has(ReportLines, "Tool T1500 in line 2 is beyond the last drill tool 1000."));
}

TEST_F(DrillImportTest, CancelDuringALongReadingWithdrawsTheImport) {
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 3, true), 0);
  const int32_t records = DrillUndo->RecordCount();
  // Every look at the events takes 50 ms; the user has pressed Cancel.
  HeadlessSetProcessMessagesHook([this] {
    HeadlessAdvanceTime(50);
    if (DrillTapeReader != nullptr && DrillTapeReader->Report && DrillTapeReader->Report->OKVisible) {
      ReportLines = DrillTapeReader->Report->Memo1.Lines();
      DrillTapeReader->Report->OKButton.Click();
    }
  });
  HeadlessViewServices().CancelPressed = true;
  EXPECT_FALSE(Import(Tape("p.drl", "M48\nINCH,LZ\nT1C0.020\n%\nT1\nP7000\nM30\n")));
  EXPECT_EQ(DrillEntityCount, 1);
  EXPECT_EQ(DrillUndo->RecordCount(), records);
  EXPECT_EQ(HeadlessViewServices().StatusText, "Reading the tape: Cancel withdraws the import.");
  EXPECT_FALSE(HeadlessViewServices().StatusOpen);
  EXPECT_TRUE(Has(ReportLines, "The import was withdrawn; the drill database is unchanged."));

  // A short reading shows no box and is not cancelled.
  HeadlessViewServices().StatusText.clear();
  EXPECT_TRUE(Import(Tape("q.drl", "M48\nINCH,LZ\nT1C0.020\n%\nT1\nX010000Y010000\nM30\n")));
  EXPECT_EQ(HeadlessViewServices().StatusText, "");
  EXPECT_EQ(DrillEntityCount, 2);
}

TEST_F(DrillImportTest, ABlockFaultIsReportedAndTheImportKeptHidden) {
  // An M02 without M01: the block is ignored and reported, the rest is read.
  const std::string file = Tape("a.drl", "M48\nT1C0.020\n%\nT1\nX010000Y010000\nM02X01Y01\nX020000Y010000\nM30\n");
  EXPECT_TRUE(Import(file));
  EXPECT_EQ(HolesPerTool(1), (std::map<int32_t, int32_t>{{1, 2}}));
  EXPECT_TRUE(Has(ReportLines, "Errors were encountered reading the file."));
  EXPECT_TRUE(Has(ReportLines, "Inspect output carefully for errors!"));
  // Nothing was put live on the layer.
  EXPECT_TRUE(DRDB->LayerIsEmpty(30) || static_cast<int32_t>(DRDB->WordAt(1)) < 0);

  // A rubout between two words is no fault: the report names the block
  // and the tape reads as the clean tape, with no word of errors.
  ReportLines.clear();
  EXPECT_TRUE(Import(Tape("b.drl", "M48\nT1C0.020\n%\nT1\nG05\x7fX010000Y010000\nM30\n")));
  EXPECT_EQ(DrillEntityCount, 3);
  EXPECT_TRUE(std::any_of(ReportLines.begin(), ReportLines.end(), [](const std::string& line) {
    return line.find("Line 5: the tape feed inside the block") == 0;
  })) << testing::PrintToString(ReportLines);
  EXPECT_FALSE(Has(ReportLines, "Errors were encountered reading the file."));
}

TEST_F(DrillImportTest, AMissingTapeIsReportedAndChangesNothing) {
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 3, true), 0);
  const std::string file = (TempDir / "gone.drl").string();
  EXPECT_FALSE(Import(file));
  EXPECT_EQ(DrillEntityCount, 1);
  EXPECT_TRUE(Has(ReportLines, "File not found: " + file));
  EXPECT_TRUE(Has(ReportLines, "Errors were encountered reading the file."));
  EXPECT_TRUE(Has(ReportLines, "The import was withdrawn; the drill database is unchanged."));
}

TEST_F(DrillImportTest, SecondOriginShiftsLaterCoordinates) {
  const std::string file = Tape(
      "a.drl", "M48\nT1C0.020\n%\nG93X010000Y010000\nT1\nX010000Y010000\nG93X030000Y020000\n"
               "X010000Y010000\nM30\n");
  EXPECT_TRUE(Import(file));
  ASSERT_EQ(DrillEntityCount, 2);
  TIntPoint a, b;
  DRDB->EntityAt(1)->GetPoint(a);
  DRDB->EntityAt(2)->GetPoint(b);
  EXPECT_EQ(ImportOriginX, Inch);
  EXPECT_EQ(b.X - a.X, 2 * Inch);
  EXPECT_EQ(b.Y - a.Y, Inch);
}

TEST_F(DrillImportTest, PatternEntitiesShareOneStepObject) {
  const std::string file = Tape(
      "a.drl", "M48\nT1C0.020\n%\nT1\nM25\nX010000Y010000\nX011000Y010000\nM01\nX050000\nM02X020000\nM08\nM30\n");
  EXPECT_TRUE(Import(file));
  ASSERT_GE(DrillEntityCount, 2);
  TStepObject* step = DRDB->EntityAt(1)->GetStepObj();
  ASSERT_NE(step, nullptr);
  EXPECT_EQ(DRDB->EntityAt(2)->GetStepObj(), step);
  EXPECT_EQ(step->Commands().front().Command, 1);
  // The one M02 makes one copy, as the reader drills it.
  EXPECT_EQ(step->CopyCount(), 1);
}

// A pattern ended again and again wraps its holes once per end, up to the
// three levels a step list nests: every copy of the three is there (a
// fourth level used to stop the expansion with a crash box and keep only
// part of the copies), the report names each later line left out, and the
// reading goes on.
TEST_F(DrillImportTest, PatternEndedOverAndOverStopsWrappingItsHoles) {
  std::string text = "M48\nT1C0.020\n%\nT1\nM25\nX010000Y010000\n";
  for (int i = 0; i < 12; ++i) text += "M01\nM02X001000\n";
  text += "M08\nX020000Y010000\nM30\n";
  EXPECT_TRUE(Import(Tape("ends.drl", text)));
  ASSERT_EQ(DrillEntityCount, 2);
  TStepObject* step = DRDB->EntityAt(1)->GetStepObj();
  ASSERT_NE(step, nullptr);
  EXPECT_EQ(step->LevelCount(), 3);
  // Each level doubles the hole: 2 x 2 x 2 holes, the original and 7 copies
  // one step of 0.01 inch apart per level.
  EXPECT_EQ(step->CopyCount(), 7);
  std::set<int32_t> xs;
  for (const TStepCommand& r : step->Offsets())
    if (r.Command == 0) xs.insert(r.DX);
  EXPECT_EQ(xs, (std::set<int32_t>{Inch / 100, 2 * Inch / 100, 3 * Inch / 100}));
  for (const TMessageBoxRecord& box : ShownMessageBoxes())
    EXPECT_EQ(box.Text.find("Step && Repeat Crash"), std::string::npos) << box.Text;
  EXPECT_EQ(DRDB->EntityAt(2)->GetStepObj(), nullptr);
  int refusals = 0;
  for (const std::string& line : ReportLines)
    if (line.find("the pattern's repeats were not applied to 1 entity already repeated by 3 "
                  "patterns.") != std::string::npos)
      ++refusals;
  EXPECT_EQ(refusals, 9);
  EXPECT_TRUE(Has(ReportLines, "Errors were encountered reading the file."));
}

// A pattern group after an M08 without an M25 of its own repeats nothing,
// and the report says why.
TEST_F(DrillImportTest, APatternGroupWithoutItsOwnM25RepeatsNothing) {
  EXPECT_TRUE(Import(Tape("group.drl", "M48\nINCH,LZ\nT1C0.030\n%\nT1\nM25\nX010000Y010000\nM01\n"
                                       "M02X010000\nM08\nM01\nM02X020000\nM01\nM30\n")));
  ASSERT_EQ(DrillEntityCount, 1);
  TStepObject* step = DRDB->EntityAt(1)->GetStepObj();
  ASSERT_NE(step, nullptr);
  EXPECT_EQ(step->CopyCount(), 1);
  EXPECT_TRUE(Has(ReportLines, "Line 11: M01 ends a pattern that no M25 began after the step and "
                               "repeat ended in line 10; the pattern holds no blocks and its "
                               "repeats add nothing."));
  ReportLines.clear();
  EXPECT_TRUE(Import(Tape("short.drl", "M1\nM8\nM1\nM2\nM1\n")));
  EXPECT_EQ(DrillEntityCount, 1);
  EXPECT_TRUE(Has(ReportLines, "Line 1: M01 ends a pattern that no M25 began; the pattern holds no "
                               "blocks and its repeats add nothing."));
}

// No hit counts for an empty file: the report says it draws nothing.
TEST_F(DrillImportTest, EmptyFileReportsThatItDrawsNothing) {
  const std::string tape = Tape("e.drl", "");
  EXPECT_TRUE(Import(tape));
  EXPECT_EQ(DrillEntityCount, 0);
  EXPECT_EQ(std::vector<std::string>(ReportLines.begin() + std::min<size_t>(2, ReportLines.size()), ReportLines.end()),
            (std::vector<std::string>{"", "<" + tape + "> draws nothing.", "Nothing was imported.", "",
                                      "Done decoding file."}));
}

TEST_F(DrillImportTest, WithoutShowMessagesNoWindowWaits) {
  DrillInputFormat.ShowMessages = false;
  EXPECT_TRUE(Import(Tape("a.drl", SmallTape)));
  EXPECT_TRUE(ReportLines.empty());  // the hook never saw an OK button
  EXPECT_EQ(DrillEntityCount, 3);
}

TEST_F(DrillImportTest, PickedFilterIsRemembered) {
  ImportFilters[1] = {"Filter A", (TempDir / "none.swp").string()};
  QueueModalScript("TPickFilterDialog", [](TForm& f) {
    f.Get<TListBox>("ExportList").ClickItem(0);
    f.Click("OKButton");
  });
  AcceptFormat();
  DrillImportFilter = 1;
  EXPECT_TRUE(ImportDrillTapeWithFilter(Tape("a.drl", SmallTape)));
  EXPECT_EQ(DrillImportFilter, 0);
  EXPECT_EQ(HeadlessViewServices().Cursor, crDefault);
}

// ---- Format from the tape --------------------------------------------------------------------

TEST_F(DrillImportTest, DialogIsPrefilledFromTheTapeAndAMisreadTapeIsWithdrawn) {
  // Leading zeros suppressed without a word about it.
  const std::string tape = Tape(
      "tz.drl", "M48\nT1C0.02\n%\nT1\nX40500Y6270\nX12100Y5314\nX9250Y14064\nM30\n");
  DrillInputFormat.ShowMessages = true;
  int32_t shown = -1;
  QueueModalScript("TDrillInputFormatDialog", [&shown](TForm& f) {
    shown = f.Get<TRadioGroup>("DecimalGroup").ItemIndex();
    f.Click("OKButton");
  });
  ASSERT_TRUE(ImportDrillTape(tape, 0));
  EXPECT_EQ(shown, 1);  // "Trailing"
  TIntPoint p;
  DRDB->EntityAt(1)->GetPoint(p);
  EXPECT_EQ(p, (TIntPoint{102870000, 15925800}));  // 4.05 in, 0.627 in

  // Answered "Leading" against the tape, the third hole would lie 92.5 in
  // out: the import stops there, says so and leaves the database alone.
  const int32_t count = DrillEntityCount;
  QueueModalScript("TDrillInputFormatDialog", [](TForm& f) {
    f.Get<TRadioGroup>("DecimalGroup").ClickItem(0);
    f.Click("OKButton");
  });
  EXPECT_FALSE(ImportDrillTape(tape, 0));
  EXPECT_EQ(DrillEntityCount, count);
  EXPECT_TRUE(Has(ReportLines,
                  "Line 7 \"X9250Y14064\": the position lies beyond the largest coordinate "
                  "(84.5466 in). Check the units, digits and zeros of the format."));
  EXPECT_TRUE(Has(ReportLines, "The import was withdrawn; the drill database is unchanged."));
}

// What the words show and the comments state settle the format the dialog
// offers: pressing OK reads each tape where its board is.
TEST_F(DrillImportTest, TheFormatIsGatheredFromTheWordsAndTheComments) {
  struct TCase {
    const char* File;
    TIntPoint First, Second;
  };
  const TCase cases[] = {
      // Short words beginning with 0 and none ending in 0: the trailing
      // zeros are left out; metric 3.3 (M71 after the header).
      {"excellon-metric-trailing-suppressed.drl", {12345000, 23400000}, {98700000, 50000000}},
      // Words of 4 and 5 digits showing neither zero: only leading zeros
      // left out give a board with the stored 2.4.
      {"excellon-inch-no-zero-statement.drl", {31356300, 17244060}, {59578240, 20043140}},
      // The drill list's comment gives metric 4.4 with trailing zeros left
      // out.
      {"excellon-format-comment.drl", {12345600, 12345000}, {23000000, 45600000}},
      // METRIC without digits, signed six-digit words with every zero: 3.3
      // gives an 800 x 600 mm board whose holes stand some 25 sizes apart;
      // 2.4 gives 80 x 60 mm with pads at 2.54 mm.
      {"excellon-metric-six-digits-signed.drl", {28575000, -13335000}, {42545000, -23495000}},
  };
  const TDrillFormatRecord stored = DrillInputFormat;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    // Each from the default answers, not those given for the tape before.
    DrillInputFormat = stored;
    const int32_t first = DrillEntityCount + 1;
    ASSERT_TRUE(Import((std::filesystem::path(KORVEX_TEST_DATA_DIR) / c.File).string()));
    TIntPoint p;
    DRDB->EntityAt(first)->GetPoint(p);
    EXPECT_EQ(p, c.First);
    DRDB->EntityAt(first + 1)->GetPoint(p);
    EXPECT_EQ(p, c.Second);
  }
}

// ---- Report lengths and detection ------------------------------------------------------------

TEST_F(DrillImportTest, ReportLengthsAreCutToTwoDecimals) {
  EXPECT_EQ(FormatReportLength(1.5), "   1.50\" ");
  EXPECT_EQ(FormatReportLength(1.234), "   1.23\" ");
  EXPECT_EQ(FormatReportLength(-12.999), " -12.99\" ");
  Metric = true;
  EXPECT_EQ(FormatReportLength(2), "   2.00mm");
  EXPECT_EQ(FormatReportLength(123456.5), "123456.50mm");
}

TEST_F(DrillImportTest, DetectionScoresTapesAndNothingElse) {
  EXPECT_DOUBLE_EQ(DetectExcellonDrillFile(Tape("t.drl", "M48\nT1C0.02\n%\nT1\nX012345Y067890\nM30\n")), 0.9);
  // TABs are blanks of the blocks, no odd characters.
  EXPECT_DOUBLE_EQ(DetectExcellonDrillFile(Tape("tab.drl", "M48\nT1\tC0.02\n%\nT1\nX012345\tY067\t890\nM30\n")),
                   0.9);
  // Nor are spaces, which take no share from the odd ones: X, Y, five
  // digits and a T, one odd character in 19.
  EXPECT_DOUBLE_EQ(DetectExcellonDrillFile(Tape("sp.drl", "T1\nX0123 45Y06 7890~\n")), 0.6 * 17 / 19);
  // Empty and comment-only files have nothing to measure: 0, no division by zero.
  EXPECT_EQ(DetectExcellonDrillFile(Tape("e.drl", "")), 0.0);
  EXPECT_EQ(DetectExcellonDrillFile(Tape("c.drl", ";one\n;two\n")), 0.0);
  EXPECT_EQ(DetectExcellon((TempDir / "c.drl").string(), false), 0.0);
  EXPECT_EQ(DetectExcellonDrillFile((TempDir / "missing.drl").string()), 0.0);
  // A first line of any length is read whole (CAD programs write long
  // comment lines first).
  EXPECT_DOUBLE_EQ(DetectExcellonDrillFile(Tape("l.drl", ";" + std::string(300, 'c') +
                                                             "\nM48\nT1C0.02\n%\nT1\n"
                                                             "X012345Y067890\nM30\n")),
                   0.9);
  // X and Y with few digits and no T: 0.4 of the clean share.
  EXPECT_DOUBLE_EQ(DetectExcellonDrillFile(Tape("xy.drl", "X1Y1\nX1Y2\n")), 0.4);
  // Photoplot marks cost points.
  EXPECT_NEAR(DetectExcellonDrillFile(Tape("g.drl", "%FSLAX24Y24*%\n%MOIN*%\nX1Y1D03*\n")),
              0.5 - 0.3, 1e-9);  // X, Y and five digits: 0.5
  EXPECT_EQ(DetectExcellonDrillFile(Tape("p.drl", "G04%PAR.%*\nT1\nX123456Y789012\n%\n")), 0.0);
}

// ---- Public sample tapes ---------------------------------------------------------------------

struct TSample {
  const char* File;
  int32_t Hits;
  int32_t ToolsUsed;
  // Hit-centre extents, inches, to the 0.0001 the README gives.
  double MinX, MaxX, MinY, MaxY;
  // Every tool that drills has its size from the tape.
  bool SizesInTape = true;
  // Hits of the header's T0, a tool of its own (0: none).
  int32_t ZeroToolHits = 0;
};

// The right answers of the shared tapes' README: hits, tools that drill and
// hit-centre extents, read with the format dialog's pre-filled answers.
// Left out: rs232_cm.drd is a photoplot of a drill drawing (the Gerber-to-
// drill path reads it) and the SE_SG_IF_V2 files are punched-tape code.
const TSample Samples[] = {
    {"drill0.exc", 2704, 12, 1.5106, 7.7402, 1.0660, 4.8890},
    {"drill1.exc", 16, 8, 1.6705, 7.6614, 1.2368, 4.5219},
    {"drill20.exc", 202, 2, 1.8290, 7.0885, 1.1617, 4.3515, true, 196},
    {"drill30.exc", 73, 2, 1.6200, 7.0190, 1.3870, 3.9490, true, 70},
    // The deliberate error: T99 drills without being defined, so it has no
    // size; its hits are still read.
    {"test_syntax_error.exc", 36, 5, 0.1500, 2.0800, 0.4064, 1.6964, false},
    {"altium-composite-drill__NC_Drill__LimeSDR-QPCIe_1v2-RoundHoles.TXT", 4255, 12, 0.0020,
     7.4813, 0.2756, 4.3780},
    {"easyeda__Gerber_Drill_PTH.DRL", 94, 5, -0.3543, 3.1890, 0.0000, 2.7559},
    // The sizes of this tape's tools are in the separate parameter file
    // allegro__nc_param.txt, not in the tape: the tools come in without size.
    {"allegro__ncdrill-1-4.drl", 287, 6, 0.0000, 3.3534, -0.0180, 1.9459, false},
    {"diptrace__mainboard.drl", 168, 13, 0.4500, 3.6187, 0.5125, 2.3937},
    {"eagle-newer__drills.xln", 39, 2, 0.3500, 2.3000, 0.0500, 0.7500},
    {"hellboard.plated-drill.cnc", 360, 1, 0.0505, 3.4885, 0.1500, 3.9500},
    {"kicad-older__chibi_2024.drl", 342, 8, 1.9675, 5.7087, -4.7525, -1.8000},
    {"pcb-rnd__power-art.xln", 88, 7, 1.5900, 4.2400, 5.5400, 9.2100},
    {"thruhole.tap", 13, 3, 0.2250, 1.0000, 0.2200, 0.6000},
    // A milling tape (G00, M15, G01, M16): routs, not holes.
    {"jj1.drl", 0, 0, 0, 0, 0, 0},
};

TEST_F(DrillImportTest, SharedTapesImportWithTheirRightPositionsByPressingOk) {
  const auto dir = SharedTestData() / "excellon";
  if (SharedTestData().empty() || !std::filesystem::exists(dir)) GTEST_SKIP() << "no sample tapes";
  const TDrillFormatRecord stored = DrillInputFormat;
  for (const TSample& s : Samples) {
    SCOPED_TRACE(s.File);
    DRDB->Clear();
    ToolTable.Fill(TToolRecord{});
    // Every tape starts from the stored defaults, as a new user's would.
    DrillInputFormat = stored;
    DrillInputFormat.ShowMessages = false;
    ASSERT_TRUE(Import((dir / s.File).string()));
    int32_t hits = 0;
    const auto perTool = HolesPerTool(1);
    for (const auto& [tool, n] : perTool) {
      hits += n;
      if (s.SizesInTape) {
        EXPECT_GT(ToolTable[tool].Diameter, 0) << "tool " << tool;
      }
    }
    EXPECT_EQ(hits, s.Hits);
    EXPECT_EQ(int32_t(perTool.size()), s.ToolsUsed);
    if (s.Hits == 0) continue;
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      const TDrillEntity* e = DRDB->EntityAt(i);
      minX = std::min(minX, e->X / double(Inch));
      maxX = std::max(maxX, e->X / double(Inch));
      minY = std::min(minY, e->Y / double(Inch));
      maxY = std::max(maxY, e->Y / double(Inch));
    }
    EXPECT_NEAR(minX, s.MinX, 0.00006);
    EXPECT_NEAR(maxX, s.MaxX, 0.00006);
    EXPECT_NEAR(minY, s.MinY, 0.00006);
    EXPECT_NEAR(maxY, s.MaxY, 0.00006);
    if (s.ZeroToolHits > 0) {
      // T0 (0.006 in) is the first number the header left free, T2; every
      // T0 of the body selects it.
      EXPECT_EQ(perTool.at(2), s.ZeroToolHits);
      EXPECT_EQ(ToolTable[2].Diameter, Inch * 6 / 1000);
    }
  }
}

TEST_F(DrillImportTest, SampleToolSizesAndExtents) {
  const auto dir = SharedTestData() / "excellon";
  if (SharedTestData().empty() || !std::filesystem::exists(dir)) GTEST_SKIP() << "no sample tapes";
  // thruhole.tap: T1C0.028, T2C0.034, T3C0.039 defined in the body; hits
  // from X0.225 to X1.0 and Y0.22 to Y0.6 inch.
  EXPECT_TRUE(Import((dir / "thruhole.tap").string()));
  EXPECT_EQ(HolesPerTool(1), (std::map<int32_t, int32_t>{{1, 9}, {2, 3}, {3, 1}}));
  EXPECT_EQ(ToolTable[1].Diameter, 711200);
  EXPECT_EQ(ToolTable[2].Diameter, 863600);
  EXPECT_EQ(ToolTable[3].Diameter, 990600);
  // Widened by half the largest tool, 0.0195 in.
  EXPECT_EQ(DRDB->ImportPlacement.MinX, 5715000 - 495300);
  EXPECT_EQ(DRDB->ImportPlacement.MaxX, Inch + 495300);
  EXPECT_EQ(DRDB->ImportPlacement.MinY, Inch * 22 / 100 - 495300);
  EXPECT_EQ(DRDB->ImportPlacement.MaxY, Inch * 6 / 10 + 495300);

  // eagle-newer__drills.xln: metric tools T1 1.016 mm and T2 0.813 mm.
  DRDB->Clear();
  ToolTable.Fill(TToolRecord{});
  EXPECT_TRUE(Import((dir / "eagle-newer__drills.xln").string()));
  EXPECT_EQ(ToolTable[1].Diameter, 1016000);
  EXPECT_EQ(ToolTable[2].Diameter, 813000);
}

// Several CAD programs end blocks with a comment: the words before it are
// read, in the header as in the body and in either unit, and the comment
// neither adds words nor stops the reading.
TEST_F(DrillImportTest, CommentsAfterTheWordsLeaveTheBlockItsWords) {
  DrillInputFormat.ShowMessages = false;
  const std::string tapes[] = {
      "M48 ; header\nINCH,LZ ; units\nT1C0.035 ; via, drill Y2 X1\n%\nT1 ; select\n"
      "X01Y01 ; first hit\nX02Y005;second\nM30\n",
      "M48\nMETRIC,LZ;mm\nT1C0.889;Tool 1\n%\nT1\nX0254Y0254 ;C1 X9\nX0508Y0127\nM30\n"};
  for (const std::string& text : tapes) {
    SCOPED_TRACE(text);
    DRDB->Clear();
    ToolTable.Fill(TToolRecord{});
    ASSERT_TRUE(Import(Tape("comments.drl", text)));
    ASSERT_EQ(DrillEntityCount, 2);
    EXPECT_EQ(DRDB->EntityAt(1)->X, Inch);
    EXPECT_EQ(DRDB->EntityAt(1)->Y, Inch);
    EXPECT_EQ(DRDB->EntityAt(2)->X, 2 * Inch);
    EXPECT_EQ(DRDB->EntityAt(2)->Y, Inch / 2);
    EXPECT_EQ(HolesPerTool(1), (std::map<int32_t, int32_t>{{1, 2}}));
    EXPECT_NEAR(ToolTable[1].Diameter, 889000, 100);
  }
}

// Other programs write the same tapes with CR line ends (older systems) or in
// lower case: every hole comes back in the same place with the same size.
TEST_F(DrillImportTest, SharedTapesReadTheSameWithCrLineEndsAndInLowerCase) {
  const auto dir = SharedTestData() / "excellon";
  if (SharedTestData().empty() || !std::filesystem::exists(dir)) GTEST_SKIP() << "no sample tapes";
  const TDrillFormatRecord stored = DrillInputFormat;
  auto holes = [&](const std::string& file) {
    DRDB->Clear();
    ToolTable.Fill(TToolRecord{});
    DrillInputFormat = stored;
    DrillInputFormat.ShowMessages = false;
    EXPECT_TRUE(Import(file));
    std::multiset<std::tuple<int32_t, int32_t, int32_t>> out;
    for (int32_t i = 1; i <= DrillEntityCount; ++i)
      if (const TDrillEntity* e = DRDB->EntityAt(i))
        out.insert({e->X, e->Y, ToolTable[e->GetToolNumber()].Diameter});
    return out;
  };
  for (const TSample& s : Samples) {
    if (s.Hits == 0) continue;
    SCOPED_TRACE(s.File);
    const auto original = holes((dir / s.File).string());
    ASSERT_EQ(int32_t(original.size()), s.Hits);
    std::string lf;
    for (const char c : ReadFileBytes(dir / s.File))
      if (c != '\r') lf += c;
    std::string cr = lf, lower = lf;
    std::replace(cr.begin(), cr.end(), '\n', '\r');
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(holes(Tape("cr.drl", cr)), original) << "CR line ends";
    EXPECT_EQ(holes(Tape("lower.drl", lower)), original) << "lower case";
  }
}

}  // namespace

// A long tape shows its progress in the status box; Cancel part way leaves
// the job as it was. The reading looks at the events every few hundred
// lines, not at every line.
TEST_F(DrillImportTest, ALongTapeShowsProgressAndCancelWithdrawsIt) {
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 3, true), 0);
  const auto toolsBefore = ToolTable;
  std::string text = "M48\nT1C0.020\n%\nT1\n";
  for (int i = 0; i < 30000; ++i) text += "X" + std::to_string(10000 + i) + "Y010000\n";
  text += "M30\n";
  const std::string file = Tape("long.drl", text);

  int32_t highest = 0;
  int looks = 0;
  bool boxOpenWhileReading = false;
  // Every look at the events takes 250 ms: the box shows after a second.
  HeadlessSetProcessMessagesHook([&] {
    HeadlessAdvanceTime(250);
    if (DrillTapeReader != nullptr) ++looks;
    THeadlessViewServices& view = HeadlessViewServices();
    if (DrillTapeReader != nullptr && view.StatusOpen) {
      boxOpenWhileReading = true;
      highest = std::max(highest, view.StatusPercent);
      if (view.StatusPercent >= 40) view.CancelPressed = true;  // the user gives up
    }
    if (DrillTapeReader != nullptr && DrillTapeReader->Report && DrillTapeReader->Report->OKVisible) {
      ReportLines = DrillTapeReader->Report->Memo1.Lines();
      DrillTapeReader->Report->OKButton.Click();
    }
  });
  EXPECT_FALSE(Import(file));
  EXPECT_TRUE(boxOpenWhileReading);
  EXPECT_GE(highest, 40);
  EXPECT_LT(highest, 100);
  // A look every 256 lines or so (each line of a hit counts twice), not one
  // a line: Cancel came at about 12,000 lines.
  EXPECT_LT(looks, 80);
  EXPECT_FALSE(HeadlessViewServices().StatusOpen);
  EXPECT_EQ(DrillEntityCount, 1);
  EXPECT_EQ(ToolTable[1].Diameter, toolsBefore[1].Diameter);
  EXPECT_TRUE(Has(ReportLines, "The import was withdrawn; the drill database is unchanged."));

  // Read to its end, the same tape reaches 100 and is kept.
  HeadlessViewServices().CancelPressed = false;
  highest = 0;
  HeadlessSetProcessMessagesHook([&] {
    HeadlessAdvanceTime(250);
    THeadlessViewServices& view = HeadlessViewServices();
    if (DrillTapeReader != nullptr && view.StatusOpen) highest = std::max(highest, view.StatusPercent);
    if (DrillTapeReader != nullptr && DrillTapeReader->Report && DrillTapeReader->Report->OKVisible)
      DrillTapeReader->Report->OKButton.Click();
  });
  EXPECT_TRUE(Import(file));
  EXPECT_GT(highest, 90);
  EXPECT_EQ(DrillEntityCount, 30001);
  EXPECT_FALSE(HeadlessViewServices().StatusOpen);
}
