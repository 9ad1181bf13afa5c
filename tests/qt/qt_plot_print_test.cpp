// Quick Print through the real printer backend: a small job becomes a PDF
// file under the offscreen platform.
#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/printer.h"
#include "platform/qt/qt_printer.h"
#include "plot/plot_commands.h"
#include "plot/plot_placement.h"

namespace {

constexpr int32_t Inch = 25400000;

class QtPlotPrintTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetModalScripts();
    ResetHeadlessViewServices();
    ResetLayerMasks();
    ToolTable.Fill(TToolRecord{});
    CadUndo = new TCadUndo();
    DrillUndo = new TDrillUndo();
    ActiveUndo = CadUndo;
    DB = new TCadDatabase();
    DRDB = new TDrillDatabase();
    InstallQtPrinterBackend();
    const std::vector<std::string> names = Printer().Printers();
    ASSERT_FALSE(names.empty());
    Printer().SetPrinterIndex(int(names.size()) - 1);
  }
  void TearDown() override {
    SetPrinterBackend(nullptr);
    SetPagePlacer({});
    delete DRDB;
    DRDB = nullptr;
    delete DB;
    DB = nullptr;
    delete DrillUndo;
    DrillUndo = nullptr;
    delete CadUndo;
    CadUndo = nullptr;
    ActiveUndo = nullptr;
    ResetModalScripts();
    TKorvexTest::TearDown();
  }
};

TEST_F(QtPlotPrintTest, QuickPrintOfASampleJobWritesAPdf) {
  DB->AddLineOnLayer(0, 0, 6 * Inch, 3 * Inch, 0);
  DB->AddCircleOnLayer(3 * Inch, 2 * Inch, Inch, 0);
  ToolTable[1].Diameter = Inch / 10;
  ToolTable[2].Diameter = Inch / 5;
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 1, true);
  DRDB->AddHoleOnLayer(4 * Inch, Inch, 30, 2, true);
  const std::filesystem::path pdf = TempDir / "quick.pdf";
  Printer().OutputFileName = pdf.string();
  for (int scale : {5, 2}) {
    std::filesystem::remove(pdf);
    RegisterModalScript("TQuickPrintDialog", [=](TForm& f) {
      f.Get<TRadioGroup>("ScaleRadioGroup").SetItemIndex(scale);
      f.Click("OKButton");
    });
    RegisterModalScript("TPlotConfigurationDialog", [](TForm& f) {
      f.Get<TEdit>("Line1Edit").SetText("Sample job");
      f.Get<TCheckBox>("FormatBlockCheckBox").SetChecked(true);
      f.Click("OKButton");
    });
    SetPagePlacer([](int32_t, int32_t, int32_t& x, int32_t& y) {
      x = -Inch;
      y = -Inch;
      return true;
    });
    QuickPrint();
    ASSERT_TRUE(std::filesystem::exists(pdf)) << "scale " << scale;
    EXPECT_GT(std::filesystem::file_size(pdf), 500u);
    EXPECT_EQ(ReadFileBytes(pdf).substr(0, 5), "%PDF-");
    EXPECT_EQ(DrawSurface, nullptr);
    ASSERT_FALSE(ShownMessageBoxes().empty());
    EXPECT_EQ(ShownMessageBoxes().back().Text, "The print was written to the file\n" + pdf.string());
  }
}

}  // namespace
