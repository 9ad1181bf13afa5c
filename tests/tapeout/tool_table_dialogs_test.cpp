// The tool table dialogs: edits reach the tables only on OK and only when
// every cell reads; untouched values are kept exactly; tool page files.
#include <gtest/gtest.h>

#include "../tapein/drill_import_test_support.h"
#include "foundation/settings_families.h"
#include "tapeout/tool_table_dialogs.h"

namespace {

constexpr int32_t Inch = 25400000;

class TToolTableDialogsTest : public TDrillImportCommandTest {
 protected:
  void SetUp() override {
    TDrillImportCommandTest::SetUp();
    Metric = false;
    UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
    RoutToolPages[40].Fill({});
  }
  void TearDown() override {
    DefaultToolFile.clear();
    Version = 1;
    TDrillImportCommandTest::TearDown();
  }
};

TEST_F(TToolTableDialogsTest, ToolTableEditsAreKeptOnlyWhenEveryCellReads) {
  ToolTable[1] = {Inch / 40, 12345, 600, 0, 0, 0};
  ToolTable[2] = {Inch / 20, 0, 0, -254000, 500, 1};
  const auto before = ToolTable;
  QueueModalScript("TToolTableDialog", [](TForm& f) {
    auto& d = static_cast<TToolTableDialog&>(f);
    EXPECT_EQ(d.Grid.Cell(1, 1), ".0250");
    EXPECT_EQ(d.Grid.Cell(6, 2), "Y");
    d.Grid.SetCell(1, 1, "0.0135");
    d.Click("CancelButton");
  });
  EXPECT_FALSE(ExecuteToolTableDialog());
  EXPECT_EQ(ToolTable.Items, before.Items);

  QueueModalScript("TToolTableDialog", [](TForm& f) {
    auto& d = static_cast<TToolTableDialog&>(f);
    d.Grid.SetCell(1, 1, "0.0135");
    d.Grid.SetCell(3, 3, "fast");
    d.Grid.SetCell(5, 2, "");
    d.Grid.SetCell(6, 2, "n");
    d.OKButton.Click();
    // The bad cell stops the dialog and names itself; nothing changed yet.
    EXPECT_EQ(ShownMessageBoxes().back().Text, "Tool 3: \"fast\" is not a valid Speed.");
    EXPECT_EQ(ToolTable[1].Diameter, Inch / 40);
    d.Grid.SetCell(3, 3, "060.0");
    d.Grid.SetCell(2, 3, "-5");
    d.OKButton.Click();
    EXPECT_EQ(ShownMessageBoxes().back().Text, "Tool 3: \"-5\" is not a valid Feed.");
    d.Grid.SetCell(2, 3, "120");
    d.OKButton.Click();
  });
  EXPECT_TRUE(ExecuteToolTableDialog());
  EXPECT_EQ(ToolTable[1].Diameter, 342900);
  EXPECT_EQ(ToolTable[1].Feed, 12345);  // shown rounded, kept exact
  EXPECT_EQ(ToolTable[1].Speed, 600);
  EXPECT_EQ(ToolTable[2], (TToolRecord{Inch / 20, 0, 0, -254000, 0, 0}));
  EXPECT_EQ(ToolTable[3].Speed, 600);
  EXPECT_EQ(ToolTable[3].Feed, 50800);  // 120 inches per minute
}

TEST_F(TToolTableDialogsTest, ActiveToolsListsTheToolsInUseAndVersionSetsTheAxes) {
  ToolTable[2].Diameter = Inch / 40;
  DRDB->AddHoleOnLayer(0, 0, 30, 2, true);
  DRDB->AddHoleOnLayer(Inch, 0, 30, 2, true);
  DRDB->AddHoleOnLayer(0, Inch, 30, 7, true);
  QueueModalScript("TActiveToolsDialog", [](TForm& f) {
    auto& d = static_cast<TActiveToolsDialog&>(f);
    EXPECT_EQ(d.ToolList.Items(), (std::vector<std::string>{"T2  .0250  2 hits", "T7    1 hits"}));
    EXPECT_EQ(d.ToolList.SelCount(), 2);
    d.NoneButton.Click();
    d.ToolList.SetSelected(1, true);
    d.OKButton.Click();
  });
  EXPECT_TRUE(ExecuteActiveToolsDialog());
  EXPECT_FALSE(ActiveTools[2]);
  EXPECT_TRUE(ActiveTools[7]);
  EXPECT_TRUE(ActiveTools[3]);  // not listed, not touched

  QueueModalScript("TVersionDialog", [](TForm& f) {
    static_cast<TVersionDialog&>(f).VersionGroup.ClickItem(2);
    f.Click("OKButton");
  });
  EXPECT_TRUE(ShowVersionDialog());
  EXPECT_EQ(Version, 3);
}

TEST_F(TToolTableDialogsTest, ToolPagesAreEditedSavedAndLoaded) {
  RoutToolPages[40][1] = {Inch / 8, Inch / 8, 300, 100, 0};
  const std::string file = (TempDir / "PAGE.RTT").string();
  QueueModalScript("TToolPageDialog", [&file](TForm& f) {
    auto& d = static_cast<TToolPageDialog&>(f);
    d.Grid.SetCell(2, 1, "0.1200");
    d.Grid.SetCell(3, 2, "70000");  // beyond a feed word
    d.SaveButton.Click();
    EXPECT_EQ(ShownMessageBoxes().back().Text, "Tool 2: \"70000\" is not a valid High Feed.");
    d.Grid.SetCell(3, 2, "250");
    ScriptFileDialogAnswer(file);
    d.SaveButton.Click();
    // Saving leaves the layer's page alone until OK.
    EXPECT_EQ(RoutToolPages[40][1].CompDiameter, Inch / 8);
    d.Grid.SetCell(1, 1, "0.5");
    ScriptFileDialogAnswer(file);
    d.LoadButton.Click();
    EXPECT_EQ(d.Grid.Cell(1, 1), ".1250");
    EXPECT_EQ(d.Grid.Cell(2, 1), ".1200");
    d.OKButton.Click();
  });
  EXPECT_TRUE(ExecuteToolPageDialog(40));
  EXPECT_EQ(RoutToolPages[40][1], (TRoutToolRecord{Inch / 8, 3048000, 300, 100, 0}));
  EXPECT_EQ(RoutToolPages[40][2].HighFeed, 250);

  // The default page: a file that cannot be read changes nothing.
  RoutToolPages[41].Fill({});
  ScriptFileDialogAnswer((TempDir / "NONE.RTT").string());
  EXPECT_FALSE(ExecuteDefaultToolPageDialog(41));
  EXPECT_TRUE(DefaultToolFile.empty());
  ScriptFileDialogAnswer(file);
  EXPECT_TRUE(ExecuteDefaultToolPageDialog(41));
  EXPECT_EQ(DefaultToolFile, file);
  EXPECT_EQ(RoutToolPages[41][2].HighFeed, 250);
}

TEST_F(TToolTableDialogsTest, FeedSpeedTableGivesEachToolTheLineOfItsSizeOrTheNextLarger) {
  ToolTable[1] = {Inch / 40, 1, 2, 0, 0, 0};    // 0.025 in: its own line
  ToolTable[2] = {Inch * 3 / 100, 1, 2, 0, 0, 0};  // 0.030 in: the 0.050 line
  ToolTable[3] = {Inch * 6 / 100, 1, 2, 0, 0, 0};  // 0.060 in: no line, kept
  const std::string table = (TempDir / "FS.TXT").string();
  WriteFileBytes(table, "C0.0500F060S20\nC0.0250F120S30\n");  // F in/min, S krpm
  ScriptFileDialogAnswer(table);
  ASSERT_TRUE(LoadFeedSpeedTable()) << (ShownMessageBoxes().empty() ? "" : ShownMessageBoxes().back().Text);
  EXPECT_EQ(ShownCommonDialogs().back().Title, "Select Feed/Speed Table");
  EXPECT_EQ(ToolTable[1].Feed, 50800);  // 120 inches per minute
  EXPECT_EQ(ToolTable[1].Speed, 300);   // 30,000 rpm
  EXPECT_EQ(ToolTable[2].Feed, 25400);
  EXPECT_EQ(ToolTable[2].Speed, 200);
  EXPECT_EQ(ToolTable[3], (TToolRecord{Inch * 6 / 100, 1, 2, 0, 0, 0}));
  // A missing table changes nothing and says so.
  const auto before = ToolTable;
  EXPECT_FALSE(LoadFeedSpeedTableFile((TempDir / "NONE.TXT").string()));
  EXPECT_EQ(ShownMessageBoxes().back().Text,
            "The feed/speed table " + (TempDir / "NONE.TXT").string() + " cannot be found.");
  EXPECT_EQ(ToolTable.Items, before.Items);
}

// The table is read once for all the tools: a faulty line refuses it only
// when some tool's search reaches that line, as each tool's own search would.
TEST_F(TToolTableDialogsTest, FeedSpeedTableFaultsCountWhereSomeToolsSearchReachesThem) {
  const std::string table = (TempDir / "FS.TXT").string();
  WriteFileBytes(table, "C0.0250F120S30\nC0.0500F060S20\nX99999999999999999999\nC0.0600F030S10\n");
  for (int32_t t = 1; t <= 600; ++t) ToolTable[t] = {t % 2 == 0 ? Inch / 40 : Inch / 20, 1, 2, 0, 0, 0};
  ASSERT_TRUE(LoadFeedSpeedTableFile(table)) << (ShownMessageBoxes().empty() ? "" : ShownMessageBoxes().back().Text);
  EXPECT_EQ(ToolTable[600].Feed, 50800);
  EXPECT_EQ(ToolTable[599].Feed, 25400);
  ToolTable[601] = {Inch * 3 / 50, 1, 2, 0, 0, 0};  // 0.060 in: past the faulty line
  const auto before = ToolTable;
  EXPECT_FALSE(LoadFeedSpeedTableFile(table));
  EXPECT_EQ(ShownMessageBoxes().back().Text.rfind("The feed/speed table was not loaded:\r\n", 0), 0u)
      << ShownMessageBoxes().back().Text;
  EXPECT_EQ(ToolTable.Items, before.Items);
}

// A table that came over a serial link or from a punch reads as the clean
// table: its tape feed, wherever it stands, its lines of blank tape and the
// blanks inside its words are passed over as the tape reader passes over
// them.
TEST_F(TToolTableDialogsTest, FeedSpeedTableReadsPastTapeFeedAsATapeDoes) {
  using namespace std::string_literals;
  const std::string table = (TempDir / "FS.TXT").string();
  const std::string clean = "C0.0250F120S30\r\nC0.0500F060S20\r\n";
  ToolTable[1] = {Inch / 40, 1, 2, 0, 0, 0};
  ToolTable[2] = {Inch / 20, 1, 2, 0, 0, 0};
  const auto before = ToolTable;
  WriteFileBytes(table, clean);
  const auto feeds = [] {
    return std::vector<int32_t>{ToolTable[1].Feed, ToolTable[1].Speed, ToolTable[2].Feed, ToolTable[2].Speed};
  };
  ASSERT_TRUE(LoadFeedSpeedTableFile(table));
  const auto want = feeds();
  ASSERT_EQ(want, (std::vector<int32_t>{50800, 300, 25400, 200}));
  for (const std::string& text : {"\x11\r\n" + clean + "\x13\r\n", "C0.02\0" "50F120S30\r\nC0.0500F0\x7f" "60S20\r\n"s,
                                  "C0.0250F120S30\r\n\0\0\r\n \x7f\r\nC0.0500F060S20\r\n\x1a"s,
                                  "\x12" + clean + "\x14", "C0.\t0250F120S30\r\nC0.0500 F060\tS20\r\n"s}) {
    SCOPED_TRACE(::testing::PrintToString(text));
    ToolTable = before;
    WriteFileBytes(table, text);
    EXPECT_TRUE(LoadFeedSpeedTableFile(table)) << ShownMessageBoxes().back().Text;
    EXPECT_EQ(feeds(), want);
  }
}

TEST_F(TToolTableDialogsTest, DrilledTextAndFeedRateDialogsAnswerOnlyOnOk) {
  std::string text = "AB";
  bool vertical = false;
  QueueModalScript("TM97M98Dialog", [](TForm& f) {
    auto& d = static_cast<TM97M98Dialog&>(f);
    EXPECT_EQ(d.TextEdit.Text(), "AB");
    d.TextEdit.SetText("LONGER TEXT");
    d.OrientationGroup.ClickItem(1);
    d.Click("CancelButton");
  });
  EXPECT_FALSE(RunDrilledTextDialog(text, 5, vertical));
  EXPECT_EQ(text, "AB");
  EXPECT_FALSE(vertical);
  QueueModalScript("TM97M98Dialog", [](TForm& f) {
    auto& d = static_cast<TM97M98Dialog&>(f);
    d.TextEdit.SetText("LONGER TEXT");  // cut to the length
    d.OrientationGroup.ClickItem(1);
    d.OKButton.Click();
  });
  EXPECT_TRUE(RunDrilledTextDialog(text, 5, vertical));
  EXPECT_EQ(text, "LONGE");
  EXPECT_TRUE(vertical);

  int scope = -1;
  QueueModalScript("TFeedRateDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "New Z Offset");
    auto& d = static_cast<TFeedRateDialog&>(f);
    EXPECT_EQ(d.ScopeGroup.Items().front(), "all cuts up to the next Z offset change");
    d.ScopeGroup.ClickItem(2);
    d.OKButton.Click();
  });
  EXPECT_TRUE(RunFeedRateDialog(scope, true));
  EXPECT_EQ(scope, 2);
  QueueModalScript("TFeedRateDialog", [](TForm& f) { f.Click("CancelButton"); });
  EXPECT_FALSE(RunFeedRateDialog(scope, false));
  EXPECT_EQ(scope, 2);
}

}  // namespace
