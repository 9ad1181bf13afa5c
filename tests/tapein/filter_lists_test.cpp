#include "tapein/filter_lists.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"

class FilterListsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetModalScripts();
  }
  void TearDown() override {
    ResetModalScripts();
    TKorvexTest::TearDown();
  }
  static void SetFilters(std::array<TFilterRecord, FilterCount + 1>& table, int n) {
    for (int k = 1; k <= FilterCount; ++k) {
      table[static_cast<std::size_t>(k)] =
          k <= n ? TFilterRecord{"F" + std::to_string(k), "F" + std::to_string(k) + ".SWP"} : TFilterRecord{};
    }
  }
  // Runs the Filters dialog with a script acting on it.
  static void RunTables(std::function<void(TForm&)> script) {
    QueueModalScript("TSwapTablesDialog", [script](TForm& f) {
      script(f);
      f.Click("OKButton");
    });
    ExecuteSwapTablesDialog();
  }
  static std::string LastError() {
    const auto& boxes = ShownMessageBoxes();
    return boxes.empty() ? std::string() : boxes.back().Text;
  }
};

TEST_F(FilterListsTest, PickFilterWithNoNamedFilterAnswersStandardWithoutShowing) {
  SetFilters(ImportFilters, 0);
  uint8_t index = 7;
  EXPECT_TRUE(PickFilter(index, true));
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(ModalFormsShown().empty());
}

TEST_F(FilterListsTest, PickFilterListsTheChosenSideAndCancelStillTakesTheSelection) {
  SetFilters(ImportFilters, 3);
  SetFilters(ExportFilters, 2);
  QueueModalScript("TPickFilterDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Import Filters");
    EXPECT_EQ(f.Get<TGroupBox>("ExportGroup").Caption(), "Import Filters");
    auto& list = f.Get<TListBox>("ExportList");
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"Standard", "F1", "F2", "F3"}));
    EXPECT_EQ(list.ItemIndex(), 2);
    EXPECT_TRUE(list.Focused());
    list.ClickItem(3);
    f.Click("CancelButton");
  });
  uint8_t index = 2;
  EXPECT_FALSE(PickFilter(index, true));
  EXPECT_EQ(index, 3);

  QueueModalScript("TPickFilterDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Export Filters");
    EXPECT_EQ(f.Get<TListBox>("ExportList").Items().size(), 3u);
    EXPECT_EQ(f.Get<TListBox>("ExportList").ItemIndex(), 0);  // a stale index selects Standard
    f.Get<TListBox>("ExportList").ClickItem(1);
    f.Click("OKButton");
  });
  index = 9;
  EXPECT_TRUE(PickFilter(index, false));
  EXPECT_EQ(index, 1);
}

TEST_F(FilterListsTest, NewFilterAsksNameAndSwapFileAndRefusesReservedOrDuplicateNames) {
  SetFilters(ImportFilters, 1);
  ScriptInputBoxAnswer("Metric in");
  ScriptFileDialogAnswer((TempDir / "home" / "SWAP" / "metric.swp").string());
  ScriptInputBoxAnswer("Standard");
  ScriptInputBoxAnswer("F1");
  ScriptInputBoxAnswer("standard");
  ScriptCommonDialogCancel();
  const std::string chosen = UpperCaseStr((TempDir / "home" / "SWAP" / "metric.swp").string());
  RunTables([&chosen](TForm& f) {
    auto& d = static_cast<TSwapTablesDialog&>(f);
    EXPECT_EQ(d.ImportCount, 1);
    f.Click("INewButton");
    EXPECT_EQ(d.ImportCount, 2);
    EXPECT_EQ(d.ImportList.Items().back(), "Metric in");
    f.Click("INewButton");
    EXPECT_EQ(LastError(), "Cannot assign 'Standard' as a name!");
    f.Click("INewButton");
    EXPECT_EQ(LastError(), "That name already exists!");
    f.Click("INewButton");  // accepted name, but no file chosen
    EXPECT_EQ(d.ImportCount, 2);
    d.ImportList.ClickItem(2);
    EXPECT_EQ(d.ImportPanel.Caption(), chosen);
  });
  EXPECT_EQ(ImportFilters[2].Name, "Metric in");
  EXPECT_EQ(ImportFilters[2].SwapFile, UpperCaseStr((TempDir / "home" / "SWAP" / "metric.swp").string()));
  const auto& input = ShownMessageBoxes()[0];
  EXPECT_EQ(input.Caption, "Filter Name");
  EXPECT_EQ(input.Text, "Enter a new name for an import filter");
  const auto& dialog = ShownCommonDialogs()[0];
  EXPECT_EQ(dialog.Title, "Select swap file");
  EXPECT_EQ(dialog.FileName, "*.*");
}

TEST_F(FilterListsTest, TenFiltersIsTheMaximumOnEachSide) {
  SetFilters(ExportFilters, 10);
  SetFilters(ImportFilters, 10);
  RunTables([](TForm& f) {
    f.Click("ENewButton");
    EXPECT_EQ(LastError(), "Maximum number of export filters reached!\r\nIf you need more than 10 filters,\r\n"
                           "contact Orbenwright!");
    f.Click("INewButton");
    EXPECT_EQ(LastError(), "Maximum number of import filters reached!\r\nIf you need more than 10 filters,\r\n"
                           "contact Orbenwright!");
  });
  EXPECT_EQ(ShownMessageBoxes().size(), 2u);
}

TEST_F(FilterListsTest, BrowseAssignsAFileButNotToStandard) {
  SetFilters(ExportFilters, 2);
  ScriptFileDialogAnswer((TempDir / "other.swp").string());
  RunTables([](TForm& f) {
    f.Click("EBrowseButton");
    EXPECT_EQ(LastError(), "Cannot assign swap file to standard output!");
    f.Click("IBrowseButton");
    EXPECT_EQ(LastError(), "Cannot assign swap file to standard input!");
    f.Get<TListBox>("ExportList").ClickItem(2);
    EXPECT_EQ(f.Get<TPanel>("ExportPanel").Caption(), "F2.SWP");
    f.Click("EBrowseButton");
  });
  EXPECT_EQ(ExportFilters[2].SwapFile, UpperCaseStr((TempDir / "other.swp").string()));
}

TEST_F(FilterListsTest, DeleteClosesTheGapAndFixesEveryDefault) {
  SetFilters(ImportFilters, 4);
  SetFilters(ExportFilters, 4);
  RoutImportFilter = 3;
  DrillImportFilter = 2;
  RoutLayerExportFilter[40] = 2;
  RoutLayerExportFilter[41] = 4;
  RoutLayerExportFilter[44] = 1;
  DrillExportFilter = 3;
  RunTables([](TForm& f) {
    f.Click("IDeleteButton");
    EXPECT_EQ(LastError(), "Cannot delete standard input!");
    f.Click("EDeleteButton");
    EXPECT_EQ(LastError(), "Cannot delete standard output!");
    f.Get<TListBox>("ImportList").ClickItem(2);
    f.Click("IDeleteButton");
    f.Get<TListBox>("ExportList").ClickItem(2);
    f.Click("EDeleteButton");
    auto& d = static_cast<TSwapTablesDialog&>(f);
    EXPECT_EQ(d.ImportCount, 3);
    EXPECT_EQ(d.ImportList.Items(), (std::vector<std::string>{"Standard", "F1", "F3", "F4"}));
  });
  EXPECT_EQ(ImportFilters[2].Name, "F3");
  EXPECT_EQ(ImportFilters[3].Name, "F4");
  EXPECT_EQ(ImportFilters[4], TFilterRecord{});
  EXPECT_EQ(RoutImportFilter, 2);
  EXPECT_EQ(DrillImportFilter, 0);  // pointed at the deleted filter
  EXPECT_EQ(RoutLayerExportFilter[40], 0);
  EXPECT_EQ(RoutLayerExportFilter[41], 3);
  EXPECT_EQ(RoutLayerExportFilter[44], 1);
  EXPECT_EQ(DrillExportFilter, 2);
  EXPECT_EQ(FixFilterDefault(9, 2, 3), 0);  // a stale default is clamped
}

TEST_F(FilterListsTest, NoSelectionChangesNothing) {
  SetFilters(ImportFilters, 3);
  RoutImportFilter = 2;
  QueueModalScript("TPickFilterDialog", [](TForm& f) {
    f.Get<TListBox>("ExportList").SetItemIndex(-1);
    f.Click("OKButton");
  });
  uint8_t index = 2;
  EXPECT_TRUE(PickFilter(index, true));
  EXPECT_EQ(index, 2);  // not 255
  RunTables([](TForm& f) {
    f.Get<TListBox>("ImportList").SetItemIndex(-1);
    f.Click("IDeleteButton");
    f.Click("IBrowseButton");
  });
  EXPECT_EQ(FilterListCount(ImportFilters), 3);
  EXPECT_EQ(RoutImportFilter, 2);
  EXPECT_TRUE(ShownMessageBoxes().empty());
}
