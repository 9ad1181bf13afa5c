// File > Plot, Quick Print and Printer Setup reach the plot job and the
// printer in every mode.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <vector>

#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/headless/headless_printer.h"
#include "workspace_test_support.h"

namespace {

class TPlotMenuTest : public TWorkspaceTest {
 protected:
  // The page waiting to be placed is placed with a click at (100, 200).
  static void PlaceThePageOnClick() {
    HeadlessSetProcessMessagesHook([] {
      if (MyScreen->Activity != acPrintPlacement) return;
      for (uint16_t kind : {ievMouseMove, ievMouseDown, ievMouseUp}) {
        TInputEvent e;
        e.Kind = kind;
        e.Buttons = kind == ievMouseDown ? mbtLeft : 0;
        e.X = 100;
        e.Y = 200;
        MyScreen->HandleEvent(e);
      }
    });
  }
};

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

TEST_F(TPlotMenuTest, ThePageIsPlacedWhereTheUserClicks) {
  TWorkspace& form = StartProgram();
  WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT",
                 "papers\nof the test\nLetter\n11\n8.5\n0\n0\n");
  for (const char* f : {"TPlotPromptDialog", "TPlotConfigurationDialog"})
    RegisterModalScript(f, [](TForm& dialog) { dialog.Click("OKButton"); });
  const int32_t x = MyScreen->MouseToWorldX(100), y = MyScreen->MouseToWorldY(200);
  DB->AddLine(x, y, x + 25400000, y);
  // The mouse moves to the point, the right button gives up once (the
  // prompt comes again), then the left button places the page.
  int step = 0;
  std::string prompt;
  UserPanel->SetPromptLine(1, 1, "Command:");
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acPrintPlacement) return;
    prompt = UserPanel->PromptLine(1);
    static const uint16_t kinds[] = {ievMouseMove, ievMouseDown, ievMouseUp};
    TInputEvent e;
    e.Kind = kinds[step % 3];
    e.Buttons = e.Kind == ievMouseDown ? (step < 3 ? mbtRight : mbtLeft) : 0;
    e.X = 100;
    e.Y = 200;
    ++step;
    MyScreen->HandleEvent(e);
  });
  const std::string path = (TempDir / "placed.ps").string();
  ScriptFileDialogAnswer(path, 4);
  TMenuItem* plot = form.ModeMenu(emCad).Items().FindByName("Plot1");
  plot->OnClick(*plot);
  HeadlessSetProcessMessagesHook({});
  EXPECT_EQ(step, 6);
  EXPECT_EQ(prompt.substr(0, 35), "left button to plot, right for menu");
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 8), "Command:");
  EXPECT_EQ(MyScreen->Activity, acIdle);
  ASSERT_TRUE(std::filesystem::exists(path));
  const std::string ps = ReadFileBytes(path);
  EXPECT_NE(ps.find("0.0 0.0 moveto \n72.0 0.0 lineto"), std::string::npos);
}

// File > Plot and CAD Export to the name of an existing file ask before
// replacing it: No asks for another name and leaves the file as it was,
// Yes replaces it.
TEST_F(TPlotMenuTest, PlotAndExportAskBeforeReplacingAFile) {
  TWorkspace& form = StartProgram();
  WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT",
                 "papers\nof the test\nLetter\n11\n8.5\n0\n0\n");
  for (const char* f :
       {"TPlotPromptDialog", "TPlotConfigurationDialog", "TGerberDialog", "TDrawingUnits", "TSaveLayerDialog"})
    RegisterModalScript(f, [](TForm& dialog) { dialog.Click("OKButton"); });
  const int32_t x = MyScreen->MouseToWorldX(100), y = MyScreen->MouseToWorldY(200);
  DB->AddLine(x, y, x + 25400000, y);
  PlaceThePageOnClick();
  const std::string old = "not replaced\r\n";
  for (const auto& [item, name, index] : {std::tuple{"Plot1", "OLD.GBR", 1}, std::tuple{"Export1", "OLD.DXF", 1}}) {
    SCOPED_TRACE(item);
    const std::string path = (TempDir / name).string();
    WriteFileBytes(path, old);
    const size_t boxes = ShownMessageBoxes().size();
    const size_t dialogs = ShownCommonDialogs().size();
    ScriptFileDialogAnswer(path, index);
    ScriptMessageBoxAnswer(mrNo);
    ScriptCommonDialogCancel();
    Run(form, emCad, item);
    ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
    EXPECT_EQ(ShownMessageBoxes().back().Text, "File <" + path + "> exists!\r\nDo you wish to overwrite it?");
    EXPECT_EQ(ShownMessageBoxes().back().Buttons, mbYesNo);
    EXPECT_EQ(ShownCommonDialogs().size(), dialogs + 2);  // No asked for another name
    EXPECT_EQ(ReadFileBytes(path), old);

    ScriptFileDialogAnswer(path, index);
    ScriptMessageBoxAnswer(mrYes);
    Run(form, emCad, item);
    EXPECT_NE(ReadFileBytes(path), old);
    EXPECT_GT(ReadFileBytes(path).size(), 20u);
  }
  HeadlessSetProcessMessagesHook({});
}

// Quick Print names its own document, whatever was printed before: a
// print without a printer proposes a file of the plot's name, not of the
// tool table printed last.
TEST_F(TPlotMenuTest, QuickPrintNamesItsOwnDocument) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = 25400000 / 40;
  DRDB->AddHoleOnLayer(MyScreen->MouseToWorldX(100), MyScreen->MouseToWorldY(200), 30, 1, true);
  Run(form, emDrill, "PrintToolTable1");
  ASSERT_EQ(HeadlessPrinter().Documents.size(), 1u);
  EXPECT_EQ(HeadlessPrinter().Documents[0].Title, "KORVEX 6 Drill Edit Tool Data");
  for (const char* f : {"TQuickPrintDialog", "TPlotConfigurationDialog"})
    RegisterModalScript(f, [](TForm& dialog) { dialog.Click("OKButton"); });
  PlaceThePageOnClick();
  Run(form, emDrill, "QuickPrint1");
  HeadlessSetProcessMessagesHook({});
  ASSERT_EQ(HeadlessPrinter().Documents.size(), 2u);
  EXPECT_EQ(HeadlessPrinter().Documents[1].Title, "KORVEX plot");
}

// Quick Print's page frame, given up with the right button and the dialog's
// Cancel, leaves nothing on the window, even after a repaint while the page
// was being placed.
TEST_F(TPlotMenuTest, ACancelledPlacementLeavesNoFrameOnTheWindow) {
  TWorkspace& form = StartProgram();
  const int32_t x = MyScreen->MouseToWorldX(100), y = MyScreen->MouseToWorldY(200);
  DB->AddLine(x, y, x + 25400000, y);
  ViewServices().RedrawView();
  auto window = [&form] {
    std::vector<TColor> pixels;
    for (int32_t row = 0; row < form.PaintBox.Height(); ++row)
      for (int32_t col = 0; col < form.PaintBox.Width(); ++col)
        pixels.push_back(form.PaintBox.Canvas().GetPixel(col, row));
    return pixels;
  };
  const std::vector<TColor> before = window();
  int dialogs = 0;
  RegisterModalScript("TQuickPrintDialog", [&](TForm& f) {
    if (++dialogs == 1) {
      f.Get<TRadioGroup>("ScaleRadioGroup").SetItemIndex(2);
      f.Click("OKButton");
    } else {
      f.Click("CancelButton");
    }
  });
  int step = 0;
  bool frameShown = false;
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acPrintPlacement) return;
    TInputEvent e;
    e.X = 120;
    e.Y = 220;
    switch (step++) {
      case 0:
        frameShown = window() != before;
        e.Kind = ievMouseMove;
        break;
      case 1:
        MyScreen->ShowView(false);  // the window is repainted from the picture
        return;
      case 2: e.Kind = ievMouseDown; e.Buttons = mbtRight; break;
      default: e.Kind = ievMouseUp; break;
    }
    MyScreen->HandleEvent(e);
  });
  TMenuItem* quick = form.ModeMenu(emCad).Items().FindByName("QuickPrint1");
  quick->OnClick(*quick);
  HeadlessSetProcessMessagesHook({});
  EXPECT_EQ(dialogs, 2);
  EXPECT_TRUE(frameShown);
  EXPECT_EQ(MyScreen->Activity, acIdle);
  EXPECT_TRUE(window() == before);
  EXPECT_TRUE(HeadlessPrinter().Documents.empty());
}

}  // namespace
