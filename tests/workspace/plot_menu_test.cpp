// File > Plot, Quick Print and Printer Setup reach the plot job and the
// printer in every mode.
#include <gtest/gtest.h>

#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/headless/headless_printer.h"
#include "workspace_test_support.h"

namespace {

class TPlotMenuTest : public TWorkspaceTest {};

TEST_F(TPlotMenuTest, PlotQuickPrintAndPrinterSetupInEveryMode) {
  TWorkspace& form = StartProgram();
  int quickPrints = 0;
  RegisterModalScript("TQuickPrintDialog", [&](TForm& f) {
    ++quickPrints;
    f.Click("CancelButton");
  });
  for (uint8_t mode : {emCad, emRout, emDrill}) {
    SCOPED_TRACE(int(mode));
    TMainMenu& menu = form.ModeMenu(mode);
    HeadlessPrinter().QueueDialogAnswer({false});
    TMenuItem* setup = menu.Items().FindByName("PrinterSetup1");
    ASSERT_NE(setup, nullptr);
    setup->OnClick(*setup);
    ScriptCommonDialogCancel();
    menu.Items().FindByName("Plot1")->OnClick(*menu.Items().FindByName("Plot1"));
    menu.Items().FindByName("QuickPrint1")->OnClick(*menu.Items().FindByName("QuickPrint1"));
  }
  EXPECT_EQ(HeadlessPrinter().ShownDialogs,
            (std::vector<std::string>{"Printer Setup", "Printer Setup", "Printer Setup"}));
  EXPECT_EQ(ShownCommonDialogs().size(), 3u);
  EXPECT_EQ(quickPrints, 3);
  EXPECT_TRUE(HeadlessPrinter().Documents.empty());
}

}  // namespace
