// Printing on the current printer: the Quick Print choices, placement,
// Auto Scale fitting and turning the page, and colours on a monochrome
// printer.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_printer.h"
#include "plot/printer_device.h"
#include "plot_test_support.h"

namespace {

class PrinterPlotTest : public TPlotTest {
 protected:
  static void Choose(int scale, int orientation = 0) {
    RegisterModalScript("TQuickPrintDialog", [=](TForm& f) {
      f.Get<TRadioGroup>("ScaleRadioGroup").SetItemIndex(scale);
      f.Get<TRadioGroup>("OrientationRadioGroup").SetItemIndex(orientation);
      f.Click("OKButton");
    });
  }
  static const THeadlessPrintedDocument& Printed() { return HeadlessPrinter().Documents.back(); }
  static bool AnyCall(const std::string& op, TColor colour) {
    for (const TCanvasCall& c : Printed().Pages[0].Calls)
      if (c.Op == op && c.Pen.Color == colour) return true;
    return false;
  }
};

TEST_F(PrinterPlotTest, CancelPrintsNothingAndAnEmptyAutoScaleJobPrintsAtOneToOne) {
  RegisterModalScript("TQuickPrintDialog", [](TForm& f) { f.Click("CancelButton"); });
  QuickPrint();
  EXPECT_TRUE(HeadlessPrinter().Documents.empty());
  Choose(5);
  SetPagePlacer([](int32_t, int32_t, int32_t&, int32_t&) -> bool {
    ADD_FAILURE() << "no placement with Auto Scale";
    return false;
  });
  // Nothing shown: the page prints at 1 : 1 from the origin, unasked.
  PlotScaleFactors[5] = 0.25;
  QuickPrint();
  ASSERT_EQ(HeadlessPrinter().Documents.size(), 1u);
  EXPECT_TRUE(Printed().Finished);
  EXPECT_TRUE(ShownMessageBoxes().empty());
  EXPECT_EQ(PlotScaleFactors[5], 1.0);
  EXPECT_EQ(DrawSurface, nullptr);
  // One hole, printed without a placement too.
  ToolTable[1].Diameter = Inch / 10;
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 1, true);
  QuickPrint();
  ASSERT_EQ(HeadlessPrinter().Documents.size(), 2u);
  EXPECT_TRUE(Printed().Finished);
}

TEST_F(PrinterPlotTest, AutoScaleFitsAndTurnsTheDrawing) {
  TPrinterDevice d;
  d.ReadCapabilities();
  // Twice as wide as tall on a portrait page: the turned page fits better.
  DB->AddLineOnLayer(0, 0, 20 * Inch, 10 * Inch, 0);
  EXPECT_TRUE(d.AutoFit(8 * Inch, 10.5 * Inch));
  EXPECT_NEAR(PlotScaleFactors[5], 10.5 / 22.0, 1e-9);
  // A single hole has no extent in X or Y: no division by zero, 1 : 1
  // about it.
  delete DB;
  DB = new TCadDatabase();
  ToolTable[1].Diameter = 0;
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 1, true);
  d.AutoFit(8 * Inch, 10.5 * Inch);
  EXPECT_TRUE(std::isfinite(PlotScaleFactors[5]));
  EXPECT_GT(PlotScaleFactors[5], 0.0);
  // A straight horizontal line, whatever its zero height, takes the long
  // side of the turned page.
  delete DRDB;
  DRDB = new TDrillDatabase();
  DB->AddLineOnLayer(0, 0, 4 * Inch, 0, 0);
  EXPECT_TRUE(d.AutoFit(8 * Inch, 10.5 * Inch));
  EXPECT_NEAR(PlotScaleFactors[5], 10.5 / 4.4, 1e-9);
  EXPECT_NEAR(d.OriginX, -0.2 * Inch, 1.0);
  EXPECT_NEAR(d.OriginY, 4.0 * Inch * 4.4 / 10.5, 1.0);

  // Through Quick Print the page turns to landscape.
  delete DB;
  DB = new TCadDatabase();
  DB->AddLineOnLayer(0, 0, 20 * Inch, 10 * Inch, 0);
  Choose(5, 0);
  QuickPrint();
  EXPECT_EQ(Printed().Orientation, poLandscape);
}

TEST_F(PrinterPlotTest, PlacedPageAndMonochromePrinter) {
  THeadlessPrinterInfo mono;
  mono.Name = "Mono";
  mono.NumColors = 2;
  HeadlessPrinter().SetPrinters({mono});
  DB->AddLineOnLayer(Inch, Inch, 2 * Inch, Inch, 0);
  LayerColors[0] = clRed;
  int placements = 0, prompts = 0;
  RegisterModalScript("TQuickPrintDialog", [&](TForm& f) {
    ++prompts;
    f.Click("OKButton");
  });
  SetPagePlacer([&](int32_t w, int32_t, int32_t& x, int32_t& y) {
    EXPECT_EQ(w, SaturatingRound(8.0 * Inch));  // 8.5 in less the margins
    x = 0;
    y = 0;
    return ++placements == 2;  // the right button first: the dialog again
  });
  QuickPrint();
  EXPECT_EQ(prompts, 2);
  ASSERT_EQ(HeadlessPrinter().Documents.size(), 1u);
  // The line in black: 300 dpi, the page's top-left corner at 10.5 in.
  bool found = false;
  for (const TCanvasCall& c : Printed().Pages[0].Calls)
    if (c.Op == "LineTo" && c.Args == std::vector<int>{600, 2850}) {
      found = true;
      EXPECT_EQ(c.Pen.Color, clBlack);
    }
  EXPECT_TRUE(found);
  EXPECT_FALSE(AnyCall("LineTo", clRed));
  TPrinterDevice d;
  d.ReadCapabilities();
  EXPECT_EQ(d.ColorOfTool(3), clBlack);
}

}  // namespace

TEST_F(PrinterPlotTest, APrintThatWentToAFileSaysWhere) {
  ToolTable[1].Diameter = Inch / 10;
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 1, true);
  const std::size_t boxes = ShownMessageBoxes().size();
  Choose(5);
  QuickPrint();
  ASSERT_EQ(HeadlessPrinter().Documents.size(), 1u);
  EXPECT_EQ(ShownMessageBoxes().size(), boxes);  // printed on paper
  const std::string pdf = (TempDir / "plot.pdf").string();
  Printer().OutputFileName = pdf;
  Choose(5);
  QuickPrint();
  ASSERT_EQ(HeadlessPrinter().Documents.size(), 2u);
  EXPECT_TRUE(Printed().Finished);
  ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
  EXPECT_EQ(ShownMessageBoxes().back().Text,
            "The print was written to the file\n" + std::filesystem::absolute(pdf).lexically_normal().string());
  Printer().OutputFileName.clear();
}
