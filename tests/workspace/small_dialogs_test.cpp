// Options, about and splash boxes, the file viewer and the out-of-bounds
// warning.
#include <gtest/gtest.h>

#include "command/command_services.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/cad_undo.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "workspace/small_dialogs.h"

namespace {

class SmallDialogsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ResetModalScripts();
    ResetHeadlessViewServices();
    HeadlessDialogHost() = THeadlessDialogHost{};
    HeadlessButtonBar().States.clear();
    BackgroundColor = clNavy;
    HighlightColor = clYellow;
    GridAndAxisColor = clGray;
    ShowLayerButtons = true;
    ShowToolbar = true;
    MicronMetricToolResolution = false;
    GougeAvoid = false;
    Metric = false;
  }
  void TearDown() override {
    ResetModalScripts();
    ResetHeadlessDialogs();
    HideSplash();
    TKorvexTest::TearDown();
  }
};

TEST_F(SmallDialogsTest, OptionsCancelChangesNothing) {
  QueueModalScript("TOptionsDialog", [](TForm& f) {
    auto& d = static_cast<TOptionsDialog&>(f);
    EXPECT_TRUE(d.GougeAvoidCheckBox.Visible());
    // The grid shows the current colours.
    EXPECT_EQ(d.ColorGrid1.BackgroundColor(), clNavy);
    EXPECT_EQ(d.ColorGrid1.ForegroundColor(), clYellow);
    d.ColorGrid1.ClickColor(0, mbRight);
    d.TabbedNotebook1.SetActivePage(1);
    EXPECT_TRUE(d.LayerCheckBox.Click());
    EXPECT_TRUE(d.KORVEX5CheckBox.Click());
    f.Click("Button1");
  });
  ShowOptionsDialog();
  EXPECT_EQ(BackgroundColor, clNavy);
  EXPECT_TRUE(ShowLayerButtons);
  EXPECT_TRUE(HeadlessDialogHost().LayerPanelShown);
  EXPECT_TRUE(HeadlessDialogHost().Toolbar);
  EXPECT_FALSE(LoadButtonBarStyle());
  EXPECT_FALSE(LoadStickyLines());
  EXPECT_EQ(HeadlessViewServices().RedrawCount, 0);
  EXPECT_EQ(HeadlessViewServices().ModalDepth, 0);
}

TEST_F(SmallDialogsTest, OptionsOkAppliesEverySwitch) {
  QueueModalScript("TOptionsDialog", [](TForm& f) {
    auto& d = static_cast<TOptionsDialog&>(f);
    d.ColorGrid1.ClickColor(0, mbRight);  // black background
    d.ColorGrid1.ClickColor(15, mbLeft);  // white foreground
    d.TabbedNotebook1.SetActivePage(1);
    d.LayerCheckBox.Click();    // off
    d.ToolBarCheckBox.Click();  // off
    d.KORVEX5CheckBox.Click();  // on: the old toolbar behaviour
    d.StickyCheckBox.Click();
    d.ToolResCheckBox.Click();
    d.GougeAvoidCheckBox.Click();
    f.Click("OKButton");
  });
  ShowOptionsDialog();
  const THeadlessDialogHost& host = HeadlessDialogHost();
  EXPECT_FALSE(ShowLayerButtons);
  EXPECT_FALSE(host.LayerPanelShown);
  EXPECT_FALSE(ShowToolbar);
  EXPECT_FALSE(host.ToolbarPanelShown);
  EXPECT_FALSE(host.Toolbar);
  EXPECT_TRUE(host.Sticky);
  EXPECT_TRUE(LoadButtonBarStyle());
  EXPECT_TRUE(LoadStickyLines());
  EXPECT_TRUE(MicronMetricToolResolution);
  EXPECT_TRUE(GougeAvoid);
  EXPECT_EQ(BackgroundColor, clBlack);
  EXPECT_EQ(host.DrawingAreaColor, clBlack);
  EXPECT_EQ(HighlightColor, clWhite);
  EXPECT_EQ(GridAndAxisColor, clWhite);
  EXPECT_EQ(HeadlessViewServices().RedrawCount, 1);

  // The same background again: no redraw; the layer panel comes back.
  QueueModalScript("TOptionsDialog", [](TForm& f) {
    auto& d = static_cast<TOptionsDialog&>(f);
    EXPECT_FALSE(d.LayerCheckBox.Checked());
    EXPECT_TRUE(d.KORVEX5CheckBox.Checked());
    d.TabbedNotebook1.SetActivePage(1);
    d.LayerCheckBox.Click();
    f.Click("OKButton");
  });
  ShowOptionsDialog();
  EXPECT_EQ(HeadlessViewServices().RedrawCount, 1);
  EXPECT_TRUE(HeadlessDialogHost().LayerPanelShown);
  EXPECT_TRUE(ShowLayerButtons);
}

TEST_F(SmallDialogsTest, GridColoursOutsideTheGridKeepTheDesignIndexes) {
  TOptionsDialog d;
  SelectGridColors(d.ColorGrid1, 0x00123456, 0x00654321);
  EXPECT_EQ(d.ColorGrid1.ForegroundIndex(), 14);
  EXPECT_EQ(d.ColorGrid1.BackgroundIndex(), 4);
}

TEST_F(SmallDialogsTest, AboutBoxAndSplash) {
  ShowSplash();
  ASSERT_NE(SplashScreen(), nullptr);
  EXPECT_EQ(SplashScreen()->RevisionPanel.Caption(), "Revision 6.12.5");
  QueueModalScript("TAboutDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "About KORVEX 6");
    EXPECT_EQ(f.Get<TPanel>("RevisionPanel").Caption(), "Revision 6.12.5");
    f.Click("OKButton");
  });
  ShowAboutBox(false);
  EXPECT_NE(SplashScreen(), nullptr);
  QueueModalScript("TAboutDialog", [](TForm& f) { f.Click("OKButton"); });
  ShowAboutBox(true);
  EXPECT_EQ(SplashScreen(), nullptr);
}

TEST_F(SmallDialogsTest, ViewerShowsTextFilesWholeAndOthersInBlocks) {
  TViewFileDialog text;
  WriteFileBytes(TempDir / "a.drl", "M48\r\nT1C0.02\r\n%\r\n");
  ViewFile(text, (TempDir / "a.drl").string());
  EXPECT_EQ(text.Memo.Lines(), (std::vector<std::string>{"M48", "T1C0.02", "%"}));
  EXPECT_EQ(text.Caption().front(), '<');
  EXPECT_EQ(text.Caption().back(), '>');
  EXPECT_LE(text.Caption().size(), 42u);

  // 70,000 bytes of binary: only 255 blocks of 255 bytes.
  std::string bytes(70000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i % 7 == 0 ? 1 : 'A' + i % 26);
  WriteFileBytes(TempDir / "b.bin", bytes);
  TViewFileDialog binary;
  ViewFile(binary, (TempDir / "b.bin").string());
  ASSERT_EQ(binary.Memo.Lines().size(), 255u);
  size_t total = 0;
  for (const auto& l : binary.Memo.Lines()) total += l.size();
  EXPECT_EQ(total, 65025u);
  EXPECT_EQ(binary.Memo.Lines()[1], bytes.substr(255, 255));

  // A missing file leaves the viewer empty.
  TViewFileDialog none;
  ViewFile(none, (TempDir / "none.drl").string());
  EXPECT_TRUE(none.Memo.Lines().empty());
}

TEST_F(SmallDialogsTest, OutOfBoundsWarningTextsAndUndo) {
  EXPECT_EQ(OutOfBoundsLimitText(), "data outside the database limits of +/- 42.3\".");
  Metric = true;
  EXPECT_EQ(OutOfBoundsLimitText(), "data outside the database limits of +/- 1073.7mm.");
  Metric = false;

  QueueModalScript("TOutOfBoundsDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Warning");
    EXPECT_EQ(f.Get<TLabel>("Label1").Caption(), "Warning:  You have attempted to create");
    EXPECT_EQ(f.Get<TLabel>("Label2").Caption(), "data outside the database limits of +/- 42.3\".");
    f.Click("OKButton");
  });
  ShowOutOfBoundsNotice();
  EXPECT_TRUE(HeadlessDialogHost().Pressed.empty());

  // Undo with nothing to undo only closes.
  ActiveUndo = nullptr;
  QueueModalScript("TOutOfBoundsDialog", [](TForm& f) { f.Click("UndoButton"); });
  ShowOutOfBoundsNotice();
  EXPECT_TRUE(HeadlessDialogHost().Pressed.empty());

  ASSERT_TRUE(EnsureWorkingDirectories());
  TCadUndo journal;
  journal.RecordAdd(1);
  journal.BeginOperation("Line");
  ActiveUndo = &journal;
  QueueModalScript("TOutOfBoundsDialog", [](TForm& f) { f.Click("UndoButton"); });
  ShowOutOfBoundsNotice();
  ActiveUndo = nullptr;
  EXPECT_EQ(HeadlessDialogHost().Pressed, std::vector<int32_t>{79});
  EXPECT_EQ(HeadlessButtonBar().StateOf(79), THeadlessButtonBar::bsReleased);
}

}  // namespace
