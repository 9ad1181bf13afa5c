// The console report window and the scrolling report window.
#include <gtest/gtest.h>

#include "foundation/report_windows.h"
#include "korvex_test.h"
#include "platform/keys.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"

namespace {

class ReportWindowsTest : public TKorvexTest {};

std::string Trimmed(const std::string& s) { return s.substr(0, s.find_last_not_of(' ') + 1); }

TEST_F(ReportWindowsTest, ConsoleWritesWrapsAndScrolls) {
  TGTWindow w;
  w.SetScreenSize(10, 3);
  EXPECT_EQ(w.Columns, 10);
  EXPECT_EQ(w.Rows, 3);
  EXPECT_EQ(w.Lines[1], std::string(80, ' '));
  // A text that ends exactly at the last column moves the cursor on.
  w.Write("0123456789");
  EXPECT_EQ(w.WhereX(), 1);
  EXPECT_EQ(w.WhereY(), 2);
  // One more character than fits is still written on the row (no clipping).
  w.Write("ABCDEFGHIJK");
  EXPECT_EQ(Trimmed(w.Lines[2]), "ABCDEFGHIJK");
  EXPECT_EQ(w.WhereY(), 3);
  w.WriteLn("row3");
  // Row 4 of 3: the buffer scrolled up by one.
  EXPECT_EQ(w.WhereY(), 3);
  EXPECT_EQ(Trimmed(w.Lines[1]), "ABCDEFGHIJK");
  EXPECT_EQ(Trimmed(w.Lines[2]), "row3");
  EXPECT_EQ(w.Lines[25], std::string(80, ' '));
  // Writing inside a line keeps what stands after the text.
  w.GotoXY(2, 2);
  w.Write("x");
  EXPECT_EQ(Trimmed(w.Lines[2]), "rxw3");
  w.GotoXY(6, 1);
  w.Write("!");
  EXPECT_EQ(w.Lines[1].substr(0, 12), "ABCDE!GHIJK ");
  w.ClrScr();
  EXPECT_EQ(w.Lines[1], std::string(80, ' '));
}

// Lines written faster than anyone reads them (an import reporting every
// comment of a big file) repaint the console at intervals, not at every
// scroll: the lines are all kept, and the timer paints the last of them.
TEST_F(ReportWindowsTest, ConsoleWrittenFastRepaintsAtIntervals) {
  TGTWindow w;
  w.SetScreenSize(10, 3);
  int paints = 0;
  const auto paint = w.PaintBox.OnPaint;
  w.PaintBox.OnPaint = [&](TControl& c) {
    ++paints;
    paint(c);
  };
  for (int i = 1; i <= 1000; ++i) w.WriteLn("line " + std::to_string(i));
  EXPECT_LE(paints, 1);
  EXPECT_EQ(Trimmed(w.Lines[1]), "line 999");
  EXPECT_EQ(Trimmed(w.Lines[2]), "line 1000");
  const int before = paints;
  HeadlessAdvanceTime(TGTWindow::kRepaintMs);
  EXPECT_EQ(paints, before + 1);
  // Nothing more to show: the timer stays quiet.
  HeadlessAdvanceTime(10 * TGTWindow::kRepaintMs);
  EXPECT_EQ(paints, before + 1);
  // A scroll after a pause is painted at once.
  w.WriteLn("again");
  EXPECT_EQ(paints, before + 2);
  EXPECT_EQ(Trimmed(w.Lines[2]), "again");
}

TEST_F(ReportWindowsTest, ConsoleSizeFollowsTheWindowAtRepaint) {
  TGTWindow w;
  w.SetScreenSize(20, 5);
  w.ShowOKButton();
  EXPECT_TRUE(w.OKVisible);
  EXPECT_TRUE(w.OKButton.Visible());
  const int h = w.Height();
  w.ShowOKButton();  // a second time changes nothing
  EXPECT_EQ(w.Height(), h);
  // The user makes the window larger: the next repaint takes the new size.
  w.ResizedByUser(40 * w.CharWidth + 17, 8 * w.CharHeight + 36 + 41);
  w.Realign();
  w.PaintBoxPaint();
  EXPECT_EQ(w.Columns, 40);
  EXPECT_EQ(w.Rows, 8);
}

// Reports can be made larger; the scroll report opens as wide as its
// longest line, and console rows are as high as the font the lines are
// drawn in (letters reaching below the line are not cut by the next row).
TEST_F(ReportWindowsTest, ReportsFitTheirTextAndCanBeResized) {
  TGTScrollWindow report;
  report.SetTextSize(30, 16);
  EXPECT_TRUE(report.Sizeable());
  const int narrow = report.Width();
  const std::string line = "Decoding " + std::string(100, 'x') + "/drill0.exc";
  report.WriteLn(line);
  EXPECT_GT(report.Width(), FormsBackend().TextExtent(line).X);
  EXPECT_GT(report.Width(), narrow);
  const int wide = report.Width();
  report.WriteLn("Tools 4, hits 1,200");
  EXPECT_EQ(report.Width(), wide);
  // On the screen it widens when its work is done.
  report.Show();
  const std::string longer = line + " and more";
  report.WriteLn(longer);
  EXPECT_EQ(report.Width(), wide);
  report.ShowOKButton();
  EXPECT_GT(report.Width(), FormsBackend().TextExtent(longer).X);
  report.Hide();
  // Made wider by the user, OK stays in the middle.
  report.ResizedByUser(report.Width() + 400, report.Height());
  report.Realign();
  const TRect ok = report.OKButton.Bounds();
  EXPECT_NEAR((ok.Left + ok.Right) / 2, report.ButtonPanel.Width() / 2, 2);

  TGTWindow console;
  EXPECT_TRUE(console.Sizeable());
  console.PaintBox.Canvas().Font.Size = 24;
  console.PaintBoxPaint();
  EXPECT_EQ(console.CharHeight, console.PaintBox.Canvas().TextHeight("X"));
  EXPECT_GT(console.CharHeight, FormsBackend().TextExtent("X").Y);
}

TEST_F(ReportWindowsTest, ScrollWindowKeepsWriteAndWriteLnApart) {
  TGTScrollWindow w;
  w.Write("first");
  w.Write(" part");
  w.WriteLn("second");
  EXPECT_EQ(w.Memo1.Lines(), (std::vector<std::string>{"first part", "second"}));
  w.Write(std::string(250, 'a'));
  w.Write("bcdefgh");  // crosses the limit: its first five characters are kept
  w.Write(std::string(300, 'a'));
  EXPECT_EQ(w.PendingLine, std::string(250, 'a') + "bcdef");
  w.WriteLn();
  EXPECT_EQ(w.Memo1.Lines().size(), 4u);
  w.ScrollToEnd();
  EXPECT_EQ(w.CaretLine, 3);
  EXPECT_EQ(w.CaretColumn, 0);
  w.Clear();
  EXPECT_TRUE(w.Memo1.Lines().empty());
}

TEST_F(ReportWindowsTest, ScrollWindowOkStrip) {
  TGTScrollWindow w;
  w.SetTextSize(30, 16);
  w.Realign();
  const int h = w.Height();
  EXPECT_EQ(h, 16 * TGTScrollWindow::MemoFontHeight + 31);
  EXPECT_EQ(w.Width(), 30 * TGTScrollWindow::MemoFontHeight + 12);
  w.ShowOKButton();
  EXPECT_EQ(w.Height(), h + 41);
  EXPECT_FALSE(w.OKPressed());
  w.Show();
  EXPECT_TRUE(w.OKButton.Click());
  EXPECT_TRUE(w.OKPressed());
  w.HideOKButton();
  EXPECT_EQ(w.Height(), h);
  EXPECT_FALSE(w.OKButton.Visible());
  w.ShowOKButton();  // shown again: not pressed yet
  EXPECT_FALSE(w.OKPressed());
  // Waiting for its OK, the report holds the keyboard: the focus left on
  // another control by a message box in between comes back to OK.
  w.Memo1.SetFocus();
  w.HideOKButton();
  w.ShowOKButton();
  EXPECT_TRUE(w.OKButton.Focused());
  EXPECT_EQ(w.DefaultButton(), &w.OKButton);
}

// A report too long for the console is shown modally in the scroll window:
// its OK button ends it.
TEST_F(ReportWindowsTest, AScrollReportShownModallyEndsWithOk) {
  ResetModalScripts();
  RegisterModalScript("TGTScrollWindow", [](TForm& f) { f.Click("OKButton"); });
  TGTScrollWindow w;
  for (int i = 0; i < 40; ++i) w.WriteLn("line " + std::to_string(i));
  w.ShowOKButton();
  EXPECT_EQ(w.ShowModal(), mrOk);
  EXPECT_TRUE(w.OKPressed());
  ResetModalScripts();
}

// A statistics report waits for OK: Enter gives it, as the button would.
TEST_F(ReportWindowsTest, EnterEndsAConsoleReport) {
  ResetModalScripts();
  TGTWindow w;
  w.SetScreenSize(40, 13);
  w.WriteLn("Statistics after cleanup:");
  w.ShowOKButton();
  RegisterModalScript("TGTWindow", [](TForm& f) { f.PressKey(VK_RETURN); });
  EXPECT_EQ(w.ShowModal(), mrOk);
  ResetModalScripts();
}

// The OK strip shows its button: inside the strip, of a button's size.
TEST_F(ReportWindowsTest, TheOkStripHoldsAVisibleButton) {
  auto check = [](TForm& w, TPanel& strip, TButton& ok) {
    w.Realign();
    EXPECT_EQ(strip.Height(), 41);
    EXPECT_TRUE(ok.Visible());
    EXPECT_GE(ok.Width(), 40);
    EXPECT_GE(ok.Height(), 16);
    EXPECT_GE(ok.Top(), 0);
    EXPECT_LE(ok.Top() + ok.Height(), strip.Height());
    EXPECT_GE(ok.Left(), 0);
    EXPECT_LE(ok.Left() + ok.Width(), strip.Width());
  };
  TGTScrollWindow scroll;
  scroll.SetTextSize(30, 16);
  scroll.ShowOKButton();
  check(scroll, scroll.ButtonPanel, scroll.OKButton);
  TGTWindow console;
  console.SetScreenSize(40, 10);
  console.ShowOKButton();
  check(console, console.ButtonPanel, console.OKButton);
}

}  // namespace
