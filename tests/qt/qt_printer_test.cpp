#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/paths.h"
#include "platform/printer.h"
#include "platform/qt/qt_printer.h"

namespace {

class QtPrinterTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    InstallQtPrinterBackend();
    std::vector<std::string> names = Printer().Printers();
    ASSERT_FALSE(names.empty());
    ASSERT_EQ(names.back(), kPrintToPdfName);
    Printer().SetPrinterIndex(int(names.size()) - 1);
  }
  void TearDown() override {
    SetPrinterBackend(nullptr);
    TKorvexTest::TearDown();
  }
  static std::string OutputPath(const char* name) {
    std::filesystem::path dir = std::filesystem::path(KORVEX_BUILD_DIR) / "test_output";
    std::filesystem::create_directories(dir);
    std::filesystem::path file = dir / name;
    std::filesystem::remove(file);
    return file.string();
  }
  static bool IsPdf(const std::string& path) {
    return std::filesystem::exists(path) && std::filesystem::file_size(path) > 100 &&
           ReadFileBytes(path).substr(0, 5) == "%PDF-";
  }
};

}  // namespace

TEST_F(QtPrinterTest, CanvasPagesBecomeAPdfFile) {
  TPrinter& p = Printer();
  p.OutputFileName = OutputPath("canvas.pdf");
  p.Title = "Plot";
  EXPECT_GT(p.PageWidth(), 1000);
  EXPECT_GT(p.PageHeight(), p.PageWidth());
  EXPECT_EQ(p.PixelsPerInchX(), 600);
  p.SetOrientation(poLandscape);
  EXPECT_GT(p.PageWidth(), p.PageHeight());

  ASSERT_TRUE(p.BeginDoc()) << p.LastError;
  TCanvas& c = p.Canvas();
  c.Pen.Color = clBlue;
  c.Pen.Width = 5;
  c.MoveTo(100, 100);
  c.LineTo(2000, 1500);
  c.Pen.Mode = pmXor;  // drawn as copy on paper
  c.Ellipse(200, 200, 900, 900);
  c.Arc(1000, 200, 1600, 800, 1600, 500, 1300, 200);
  c.Font.Size = 12;
  c.TextOut(100, 1600, "KORVEX 6");
  EXPECT_GT(c.TextWidth("KORVEX 6"), 0);
  p.NewPage();
  EXPECT_EQ(p.PageNumber(), 2);
  c.Pen.Mode = pmCopy;
  c.Rectangle(10, 10, 500, 300);
  p.EndDoc();
  EXPECT_TRUE(IsPdf(p.OutputFileName));

  // An aborted document leaves no file.
  p.OutputFileName = OutputPath("aborted.pdf");
  ASSERT_TRUE(p.BeginDoc());
  c.MoveTo(0, 0);
  c.LineTo(10, 10);
  p.Abort();
  EXPECT_TRUE(p.Aborted());
  EXPECT_FALSE(std::filesystem::exists(p.OutputFileName));
}

// Without a printer the PDF is proposed in the program's PLOT folder, as
// the plots are; no folder is made in the user's account.
TEST_F(QtPrinterTest, WithoutAFileNameThePdfGoesToThePlotFolder) {
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  const std::filesystem::path home = TempDir / "fresh-account";
  std::filesystem::create_directories(home);
  setenv("HOME", home.c_str(), 1);
  ASSERT_TRUE(EnsureWorkingDirectories());
  const std::filesystem::path plot = NativePath(ExecutionPath() + "PLOT");
  TPrinter& p = Printer();
  p.OutputFileName.clear();
  p.Title = "KORVEX plot";
  // Asked where, the user first cancels (nothing is written, nothing to
  // report), then takes the name proposed.
  ScriptCommonDialogCancel();
  const bool cancelled = !p.BeginDoc();
  const std::string cancelError = p.LastError;
  const bool leftNothing = !std::filesystem::exists(plot / "KORVEX plot.pdf");
  ScriptFileDialogAnswer("KORVEX plot.pdf");
  const bool begun = p.BeginDoc();
  if (begun) {
    p.Canvas().MoveTo(10, 10);
    p.Canvas().LineTo(500, 500);
    p.EndDoc();
  }
  setenv("HOME", savedHome.c_str(), 1);
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(cancelError, "");
  EXPECT_TRUE(leftNothing);
  ASSERT_TRUE(begun) << p.LastError;
  ASSERT_EQ(ShownCommonDialogs().size(), 2u);
  EXPECT_EQ(ShownCommonDialogs()[1].Title, "Save Print as:");
  EXPECT_EQ(ShownCommonDialogs()[1].InitialDir, plot.string());
  EXPECT_EQ(ShownCommonDialogs()[1].FileName, "KORVEX plot.pdf");
  EXPECT_TRUE(IsPdf((plot / "KORVEX plot.pdf").string()));
  // The file's whole path, for the user to be told.
  EXPECT_EQ(p.WrittenFile, (plot / "KORVEX plot.pdf").string());
  EXPECT_TRUE(std::filesystem::is_empty(home));
}

TEST_F(QtPrinterTest, LineChannelWritesAPdfFile) {
  TPrinter& p = Printer();
  p.OutputFileName = OutputPath("lines.pdf");
  p.Title = "Quillex print job";
  p.Canvas().Font.Name = "Courier New";
  TPrinterLineChannel channel;
  ASSERT_TRUE(channel.Open()) << p.LastError;
  for (int i = 0; i < 200; ++i) channel.WriteLine("G01 X" + std::to_string(i) + " Y" + std::to_string(2 * i));
  EXPECT_GT(p.PageNumber(), 1);
  channel.Close();
  EXPECT_FALSE(p.Printing());
  EXPECT_TRUE(IsPdf(p.OutputFileName));
}

TEST_F(QtPrinterTest, PrintDialogAcceptedAndCancelled) {
  TPrinter& p = Printer();
  p.OutputFileName = OutputPath("dialog.pdf");
  p.SetCopies(2);
  auto answer = [](bool ok) {
    QTimer::singleShot(0, [ok] {
      if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) ok ? d->accept() : d->reject();
    });
  };
  answer(false);
  EXPECT_FALSE(p.ExecutePrintDialog());
  EXPECT_EQ(p.Copies(), 2);
  answer(true);
  EXPECT_TRUE(p.ExecutePrintDialog());
  EXPECT_EQ(p.PrinterName(), kPrintToPdfName);
  EXPECT_GE(p.Copies(), 1);
}

// Printer Setup takes settings and prints nothing: its button reads OK; the
// print dialog's still reads as printing.
TEST_F(QtPrinterTest, PrinterSetupsButtonReadsOk) {
  TPrinter& p = Printer();
  p.OutputFileName = OutputPath("setup.pdf");
  QString setupButton, printButton;
  auto look = [](QString* text) {
    QTimer::singleShot(0, [text] {
      auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (d == nullptr) return;
      for (QDialogButtonBox* box : d->findChildren<QDialogButtonBox*>())
        if (QPushButton* ok = box->button(QDialogButtonBox::Ok)) *text = ok->text();
      d->reject();
    });
  };
  look(&setupButton);
  EXPECT_FALSE(p.ExecuteSetupDialog());
  look(&printButton);
  EXPECT_FALSE(p.ExecutePrintDialog());
  EXPECT_EQ(setupButton.toStdString(), "OK");
  EXPECT_NE(printButton.toStdString(), "OK");
}
