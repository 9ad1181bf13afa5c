#include <filesystem>
#include <unistd.h>

#include "drill_test_fixture.h"
#include "foundation/settings.h"
#include "model/drill_tools.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/headless/headless_printer.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

class TDrillToolsTest : public TDrillTest {
 protected:
  fs::path ToolFile(const std::string& name) {
    return fs::path(NativePath(ExecutionPath() + "TOOLDATA\\")) / name;
  }
};

// The file is the 1,000 records in order, 21 bytes each, little-endian, no
// header; reading it back gives the same table.
TEST_F(TDrillToolsTest, ToolTableFileLayout) {
  ToolTable[1] = {0x01020304, 5, -6, 7, 8, 1};
  ToolTable[1000] = {-1, 0x7FFFFFFF, 0, 0, 0, 0};
  const std::string name = ExecutionPath() + "TOOLDATA\\PANEL1";
  ASSERT_TRUE(WriteDrillToolTableFile(name));
  const std::string bytes = ReadFileBytes(ToolFile("PANEL1"));
  ASSERT_EQ(bytes.size(), 21000u);
  const std::string first("\x04\x03\x02\x01\x05\0\0\0\xFA\xFF\xFF\xFF\x07\0\0\0\x08\0\0\0\x01", 21);
  EXPECT_EQ(bytes.substr(0, 21), first);
  EXPECT_EQ(bytes.substr(21, 21), std::string(21, '\0'));
  const std::string last("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 8);
  EXPECT_EQ(bytes.substr(999 * 21, 8), last);

  auto saved = ToolTable;
  ToolTable.Fill(TToolRecord{});
  ASSERT_TRUE(ReadDrillToolTableFile(name));
  EXPECT_EQ(ToolTable.Items, saved.Items);
}

// A short file fills the first tools and empties the rest; a file whose size
// is not a multiple of 21 bytes, or a missing one, leaves the table alone.
TEST_F(TDrillToolsTest, ShortAndBrokenFiles) {
  for (int32_t t = 1; t <= 1000; ++t) ToolTable[t].Diameter = t;
  std::string ten;
  for (int32_t t = 1; t <= 10; ++t) {
    auto r = EncodeToolRecord({500 + t, 0, 0, 0, 0, 0});
    ten.append(r.begin(), r.end());
  }
  WriteFileBytes(ToolFile("TEN"), ten);
  WriteFileBytes(ToolFile("ODD"), ten.substr(0, 100));

  ASSERT_TRUE(ReadDrillToolTableFile(ExecutionPath() + "TOOLDATA\\TEN"));
  EXPECT_EQ(ToolTable[10].Diameter, 510);
  EXPECT_EQ(ToolTable[11], TToolRecord{});
  EXPECT_EQ(ToolTable[1000], TToolRecord{});

  auto before = ToolTable;
  EXPECT_FALSE(ReadDrillToolTableFile(ExecutionPath() + "TOOLDATA\\ODD"));
  EXPECT_EQ(ToolTable.Items, before.Items);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("not a multiple of 21"), std::string::npos);

  EXPECT_FALSE(ReadDrillToolTableFile(ExecutionPath() + "TOOLDATA\\NONE"));
  EXPECT_EQ(ToolTable.Items, before.Items);

  // A file of 2.1 GB (sparse) whose size is a multiple of 21: its first
  // 1,000 records are read, without taking the whole file into memory.
  {
    std::string head = ten;
    head.resize(21000, '\0');
    WriteFileBytes(ToolFile("HUGE"), head);
    ASSERT_EQ(::truncate(ToolFile("HUGE").c_str(), off_t{21} * 100000000), 0);
  }
  ASSERT_TRUE(ReadDrillToolTableFile(ExecutionPath() + "TOOLDATA\\HUGE"));
  EXPECT_EQ(ToolTable[10].Diameter, 510);
  EXPECT_EQ(ToolTable[11], TToolRecord{});
  ::unlink(ToolFile("HUGE").c_str());

  // The menu's load: Cancel changes nothing; a chosen file is read.
  ScriptCommonDialogCancel();
  EXPECT_FALSE(LoadDrillToolTable());
  ScriptFileDialogAnswer("TEN");
  ToolTable[11].Diameter = 99;
  EXPECT_TRUE(LoadDrillToolTable());
  EXPECT_EQ(ToolTable[11].Diameter, 0);
}

// After a tape was written the table is saved under the tape's name in
// TOOLDATA without a dialog.
TEST_F(TDrillToolsTest, SaveUnderTapeName) {
  ToolTable[3].Diameter = 1234;
  DrillTapeFileName = ExecutionPath() + "DRILL\\BOARD7.DRL";
  ASSERT_TRUE(SaveDrillToolTable());
  EXPECT_EQ(ReadFileBytes(ToolFile("BOARD7.DRL")).size(), 21000u);
  DrillTapeFileName.clear();
  ScriptFileDialogAnswer("SAVED");
  ASSERT_TRUE(SaveDrillToolTable());
  EXPECT_TRUE(fs::exists(ToolFile("SAVED")));
}

// Renumbering: by hits, remove empties, merge same size. Tools 996..1000
// never move and a used tool without a diameter is not merged away.
TEST_F(TDrillToolsTest, Renumbering) {
  ToolTable[3].Diameter = 300;
  ToolTable[5].Diameter = 500;
  ToolTable[7].Diameter = 700;
  ToolTable[998].Diameter = 998;
  for (int k = 0; k < 10; ++k) DRDB->AddHoleOnLayer(k, 0, 30, 3, true);
  for (int k = 0; k < 10; ++k) DRDB->AddHoleOnLayer(k, 1, 30, 5, true);
  for (int k = 0; k < 20; ++k) DRDB->AddHoleOnLayer(k, 2, 30, 7, true);
  DRDB->AddHoleOnLayer(0, 3, 30, 998, true);
  DRDB->RenumberToolsByHits();
  EXPECT_EQ(At(21)->Tool, 1);
  EXPECT_EQ(At(1)->Tool, 2);
  EXPECT_EQ(At(11)->Tool, 3);
  EXPECT_EQ(At(41)->Tool, 998);
  EXPECT_EQ(ToolTable[1].Diameter, 700);
  EXPECT_EQ(ToolTable[2].Diameter, 300);
  EXPECT_EQ(ToolTable[998].Diameter, 998);

  // Remove Empties with used tools 3 and 7.
  DRDB->Clear();
  ToolTable[1].Diameter = 100;
  ToolTable[3].Diameter = 300;
  ToolTable[7].Diameter = 700;
  DRDB->AddHoleOnLayer(0, 0, 30, 7, true);
  DRDB->AddHoleOnLayer(0, 0, 30, 3, true);
  DRDB->RenumberToolsUsedFirst();
  EXPECT_EQ(At(1)->Tool, 2);
  EXPECT_EQ(At(2)->Tool, 1);
  EXPECT_EQ(ToolTable[1].Diameter, 300);
  EXPECT_EQ(ToolTable[2].Diameter, 700);
  EXPECT_EQ(ToolTable[3].Diameter, 100);

  // Merge Same Size: 0.5 mm twice and 0.8 mm; two used tools without a
  // diameter keep tools of their own, the unused empty ones merge.
  DRDB->Clear();
  ToolTable[1] = {500000, 1, 0, 0, 0, 0};
  ToolTable[2] = {800000, 0, 0, 0, 0, 0};
  ToolTable[3] = {500000, 3, 0, 0, 0, 0};
  ToolTable[4] = {0, 0, 44, 0, 0, 0};
  ToolTable[6] = {0, 0, 66, 0, 0, 0};
  DRDB->AddHoleOnLayer(0, 0, 30, 3, true);
  DRDB->AddHoleOnLayer(0, 0, 30, 4, true);
  DRDB->AddHoleOnLayer(0, 0, 30, 6, true);
  DRDB->AddHoleOnLayer(0, 0, 30, 2, true);
  DRDB->RenumberToolsMergeSizes();
  EXPECT_EQ(At(1)->Tool, 1);
  EXPECT_EQ(ToolTable[1].Feed, 3);
  EXPECT_EQ(At(4)->Tool, 2);
  EXPECT_EQ(At(2)->Tool, 3);
  EXPECT_EQ(At(3)->Tool, 5);
  EXPECT_EQ(ToolTable[3].Speed, 44);
  EXPECT_EQ(ToolTable[5].Speed, 66);
}

// The tool data report lists tools with hits, on screen and on the printer.
TEST_F(TDrillToolsTest, ToolDataReport) {
  DRDB->ShowToolData(false);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "No drill data loaded!");

  ToolTable[2] = {342900, 0, 600, 0, 1500, 1};
  DRDB->AddHoleOnLayer(0, 0, 30, 2, true);
  DRDB->AddHoleOnLayer(0, 0, 30, 2, true);
  DRDB->AddSlotOnLayer(0, 0, 1000000, 0, 30, 9, true);
  DRDB->ShowToolData(false);
  const auto& reports = HeadlessViewServices().Reports;
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Caption, "Tool Data");
  const auto& lines = reports[0].Lines;
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "Tool  Diam  INF  K-RPM  Offset  MAX-H   HITS  CST HITS  FLH-COUP");
  EXPECT_EQ(lines[2].substr(0, 3), "  2");
  EXPECT_NE(lines[2].find("    2        0    YES"), std::string::npos);
  EXPECT_EQ(lines[3].substr(0, 3), "  9");
  EXPECT_EQ(lines.back(), "Total hits = " + std::to_string(2 + At(3)->HitCount()));

  auto& printer = dynamic_cast<THeadlessPrinter&>(Printer());
  DRDB->ShowToolData(true);
  ASSERT_FALSE(printer.Documents.empty());
  const auto& doc = printer.Documents.back();
  EXPECT_EQ(doc.Title, "KORVEX 6 Drill Edit Tool Data");
  ASSERT_FALSE(doc.Pages.empty());
  EXPECT_EQ(doc.Pages[0].Lines[1], "KORVEX 6 Drill Edit Tool Table ");
}

// "OK to &All" sets the flag and later warnings stay quiet; "OK" does not.
TEST_F(TDrillToolsTest, SuppressibleWarning) {
  bool suppressed = false;
  std::string seen;
  QueueModalScript("TSuppressDialog", [&](TForm& f) {
    seen = f.Get<TLabel>("WarningLabel").Caption();
    EXPECT_GE(f.Width(), 210);
    f.Click("OKButton");
  });
  ShowSuppressibleWarning("Tab does not fit", suppressed);
  EXPECT_EQ(seen, "Tab does not fit");
  EXPECT_FALSE(suppressed);
  QueueModalScript("TSuppressDialog", [](TForm& f) { f.Click("SuppressButton"); });
  ShowSuppressibleWarning("Tab does not fit", suppressed);
  EXPECT_TRUE(suppressed);
  ShowSuppressibleWarning("Tab does not fit", suppressed);  // no script needed
  EXPECT_EQ(ModalFormsShown().size(), 2u);
}
