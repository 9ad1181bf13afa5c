#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_printer.h"
#include "platform/printer.h"

namespace {

class PrinterTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    SetPrinterBackend(nullptr);
    HeadlessPrinter().Reset();
  }
  void TearDown() override {
    HeadlessPrinter().Reset();
    TKorvexTest::TearDown();
  }
  THeadlessPrinter& hp = HeadlessPrinter();
};

}  // namespace

TEST_F(PrinterTest, PagesRecordTheirCanvasCalls) {
  TPrinter& p = Printer();
  ASSERT_EQ(&p, &hp);
  p.Title = "Job";
  ASSERT_TRUE(p.BeginDoc());
  EXPECT_TRUE(p.Printing());
  EXPECT_EQ(p.PageNumber(), 1);
  TCanvas& c = p.Canvas();
  c.Pen.Color = clRed;
  c.MoveTo(10, 10);
  c.LineTo(100, 10);
  p.NewPage();
  EXPECT_EQ(p.PageNumber(), 2);
  c.Pen.Width = 3;
  c.Rectangle(0, 0, 50, 50);
  p.EndDoc();
  EXPECT_FALSE(p.Printing());

  ASSERT_EQ(hp.Documents.size(), 1u);
  const THeadlessPrintedDocument& d = hp.Documents[0];
  EXPECT_EQ(d.Title, "Job");
  EXPECT_EQ(d.PrinterName, "Headless Printer");
  EXPECT_TRUE(d.Finished);
  EXPECT_FALSE(d.Aborted);
  EXPECT_EQ(d.PageWidth, 2400);  // 8 in of printable width at 300 dpi
  EXPECT_EQ(d.PageHeight, 3150);
  ASSERT_EQ(d.Pages.size(), 2u);
  ASSERT_EQ(d.Pages[0].Calls.size(), 2u);
  EXPECT_EQ(d.Pages[0].Calls[1].ToString(), "LineTo(100,10)");
  EXPECT_EQ(d.Pages[0].Calls[1].Pen.Color, clRed);
  ASSERT_EQ(d.Pages[1].Calls.size(), 1u);
  EXPECT_EQ(d.Pages[1].Calls[0].ToString(), "Rectangle(0,0,50,50)");
  EXPECT_EQ(d.Pages[1].Calls[0].Pen.Width, 3);

  // An aborted document is recorded as such; a second BeginDoc while
  // printing is refused.
  ASSERT_TRUE(p.BeginDoc());
  EXPECT_FALSE(p.BeginDoc());
  EXPECT_FALSE(p.LastError.empty());
  p.Abort();
  EXPECT_TRUE(p.Aborted());
  EXPECT_TRUE(hp.Documents[1].Aborted);
  EXPECT_FALSE(hp.Documents[1].Finished);
}

TEST_F(PrinterTest, LineChannelFillsPagesWithLines) {
  TPrinter& p = Printer();
  {
    TPrinterLineChannel channel;
    ASSERT_TRUE(channel.Open());
    // 10-point cells at 300 dpi are 42 pixels high: 75 lines on a page.
    for (int i = 1; i <= 160; ++i) channel.WriteLine("N" + std::to_string(i) + (i == 1 ? "\r\n" : ""));
    channel.WriteLine("");
  }  // closing ends the document
  EXPECT_FALSE(p.Printing());
  ASSERT_EQ(hp.Documents.size(), 1u);
  const auto& pages = hp.Documents[0].Pages;
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].Lines.size(), 75u);
  EXPECT_EQ(pages[1].Lines.size(), 75u);
  EXPECT_EQ(pages[2].Lines.size(), 11u);
  EXPECT_EQ(pages[0].Lines[0], "N1");
  EXPECT_EQ(pages[1].Lines[0], "N76");
  EXPECT_EQ(pages[2].Lines.back(), "");
  EXPECT_EQ(pages[0].Calls[1].ToString(), "TextOut(0,42,\"N2\")");
  EXPECT_EQ(pages[1].Calls[0].ToString(), "TextOut(0,0,\"N76\")");
  EXPECT_TRUE(pages[0].Calls[0].Font.FixedPitch);
  EXPECT_TRUE(hp.Documents[0].Finished);

  // Without a printer the channel does not open.
  hp.SetPrinters({});
  TPrinterLineChannel none;
  EXPECT_FALSE(none.Open());
  EXPECT_FALSE(p.LastError.empty());
  none.WriteLine("lost");
  EXPECT_EQ(hp.Documents.size(), 1u);
}

TEST_F(PrinterTest, PageSizeFollowsPrinterAndOrientation) {
  THeadlessPrinterInfo mono;
  mono.Name = "Mono";
  mono.Dpi = 600;
  mono.NumColors = 2;
  mono.PaperWidth = 8.27;
  mono.PaperHeight = 11.69;
  mono.Margin = 0;
  mono.Fonts = {"Courier", "Arial"};
  THeadlessPrinterInfo colour;
  colour.Name = "Colour";
  hp.SetPrinters({colour, mono}, 1);
  TPrinter& p = Printer();
  EXPECT_EQ(p.Printers(), (std::vector<std::string>{"Colour", "Mono"}));
  EXPECT_EQ(p.PrinterName(), "Mono");
  EXPECT_EQ(p.PageWidth(), 4962);
  EXPECT_EQ(p.PageHeight(), 7014);
  EXPECT_EQ(p.PixelsPerInchX(), 600);
  EXPECT_EQ(p.NumColors(), 2);
  EXPECT_EQ(p.Fonts().front(), "Courier");
  p.SetOrientation(poLandscape);
  EXPECT_EQ(p.PageWidth(), 7014);
  EXPECT_EQ(p.PageHeight(), 4962);
  // Text is measured at the printer's resolution.
  EXPECT_EQ(p.Canvas().TextHeight("X"), 83);
  p.SetPrinterIndex(7);
  EXPECT_EQ(p.PrinterIndex(), 1);
  p.SetPrinterIndex(0);
  EXPECT_EQ(p.NumColors(), 16777216);
  EXPECT_EQ(p.Canvas().TextHeight("X"), 42);
}

TEST_F(PrinterTest, DialogsAreScripted) {
  THeadlessPrinterInfo a, b;
  a.Name = "A";
  b.Name = "B";
  hp.SetPrinters({a, b});
  TPrinter& p = Printer();

  hp.QueueDialogAnswer({true, 1, poLandscape, 5});
  EXPECT_TRUE(p.ExecuteSetupDialog());
  EXPECT_EQ(p.PrinterName(), "B");
  EXPECT_EQ(p.Orientation(), poLandscape);
  EXPECT_EQ(p.Copies(), 1);  // the set-up dialog has no copies

  hp.QueueDialogAnswer({true, -1, -1, 3});
  EXPECT_TRUE(p.ExecutePrintDialog());
  EXPECT_EQ(p.Copies(), 3);
  EXPECT_EQ(p.PrinterName(), "B");

  hp.QueueDialogAnswer({false, 0, poPortrait, 9});
  EXPECT_FALSE(p.ExecutePrintDialog());
  EXPECT_EQ(p.PrinterName(), "B");
  EXPECT_EQ(p.Orientation(), poLandscape);
  EXPECT_EQ(p.Copies(), 3);

  EXPECT_THROW(p.ExecuteSetupDialog(), std::logic_error);
  EXPECT_EQ(hp.ShownDialogs, (std::vector<std::string>{"Printer Setup", "Print", "Print", "Printer Setup"}));

  ASSERT_TRUE(p.BeginDoc());
  p.EndDoc();
  EXPECT_EQ(hp.Documents[0].Copies, 3);
  EXPECT_EQ(hp.Documents[0].Orientation, poLandscape);
  EXPECT_EQ(hp.Documents[0].PrinterName, "B");
}

TEST_F(PrinterTest, ADocumentWrittenToAFileTellsItsFullPath) {
  // On a printer: nothing to tell.
  ResetHeadlessDialogs();
  TPrinter& p = Printer();
  {
    TPrinterLineChannel channel;
    ASSERT_TRUE(channel.Open());
    channel.WriteLine("N1");
    channel.Close();
  }
  EXPECT_TRUE(p.WrittenFile.empty());
  EXPECT_TRUE(ShownMessageBoxes().empty());
  // To a file given relative to the working folder: its whole path, in an
  // information box once the document has ended.
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(TempDir);
  p.OutputFileName = "tools.pdf";
  TPrinterLineChannel channel;
  const bool opened = channel.Open();
  channel.WriteLine("N1");
  EXPECT_TRUE(ShownMessageBoxes().empty());
  channel.Close();
  std::filesystem::current_path(saved);
  ASSERT_TRUE(opened);
  const std::string full = (std::filesystem::canonical(TempDir) / "tools.pdf").string();
  EXPECT_EQ(p.WrittenFile, full);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "The print was written to the file\n" + full);
  // A document ended by dropping the channel (an error on the way) is not
  // told; the next document starts with no file named.
  ResetHeadlessDialogs();
  {
    TPrinterLineChannel dropped;
    ASSERT_TRUE(dropped.Open());
    EXPECT_TRUE(p.WrittenFile.empty());
  }
  EXPECT_TRUE(ShownMessageBoxes().empty());
  ResetHeadlessDialogs();
}
