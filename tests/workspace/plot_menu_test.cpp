// File > Plot, Quick Print and Printer Setup reach the plot job and the
// printer in every mode.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "model/cad_database.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
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
