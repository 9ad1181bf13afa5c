// The layer dialogs, driven by modal scripts.
#include "view_test_support.h"
#include "workspace/layer_dialogs.h"

namespace {

class TLayerDialogsTest : public TViewTest {
 protected:
  void SetUp() override {
    TViewTest::SetUp();
    ViewHooks.DrawOriginMarks = [this] { ++Renders; };
  }
  int Renders = 0;
};

}  // namespace

TEST_F(TLayerDialogsTest, LayerControlTiesActiveAndDisplayedAndRebuildsTheMasks) {
  CurrentLayer = 2;
  SetLayerDisplayed(7, false);
  SetLayerDisplayed(36, false);
  RegisterModalScript("TLayerDialog", [](TForm& form) {
    auto& f = static_cast<TLayerDialog&>(form);
    EXPECT_EQ(f.Caption(), "Layer Control");
    EXPECT_EQ(ViewServices().Activity(), acModal);  // inside the modal bracket
    EXPECT_EQ(f.Get<TLabel>("Layer30Caption").Caption(), "  D0");
    EXPECT_EQ(f.Get<TLabel>("Layer4Caption").Caption(), "   4");
    EXPECT_FALSE(f.Active(7).Checked());
    EXPECT_FALSE(f.Displayed(7).Checked());
    EXPECT_TRUE(f.Active(8).Checked());
    // The current layer's row cannot be changed.
    EXPECT_FALSE(f.Active(2).Enabled());
    EXPECT_FALSE(f.Displayed(2).Click());
    // Unticking Displayed unticks Active; ticking Active of a hidden layer
    // shows it.
    f.Displayed(5).Click();
    EXPECT_FALSE(f.Active(5).Checked());
    f.Active(7).Click();
    EXPECT_TRUE(f.Displayed(7).Checked());
    f.Active(40).Click();  // active, still displayed
    f.Displayed(36).Click();  // displayed, not active
    f.Click("OKButton");
  });
  ExecuteLayerControl();
  EXPECT_EQ(ViewServices().Activity(), acIdle);
  EXPECT_FALSE(LayerDisplayed(5));
  EXPECT_FALSE(LayerActive(5));
  EXPECT_TRUE(LayerActive(7));
  EXPECT_TRUE(LayerDisplayed(7));
  EXPECT_FALSE(LayerActive(40));
  EXPECT_TRUE(LayerDisplayed(40));
  EXPECT_TRUE(LayerDisplayed(36));
  EXPECT_FALSE(LayerActive(36));
  EXPECT_TRUE(LayerActive(2));
  // Only the layers' bits and bit 31 stay set.
  EXPECT_EQ(DisplayedLayerMask, 0x80000000u | (0x3FFFFFFFu & ~(1u << 5)));
  EXPECT_EQ(ActiveNCLayerMask, 0x80000000u | (0x7FFFu & ~(1u << 10) & ~(1u << 6)));
  EXPECT_EQ(DisplayedNCLayerMask, 0x80007FFFu);
  EXPECT_EQ(Renders, 1);
}

TEST_F(TLayerDialogsTest, CancelKeepsTheMasksButNotTheColourChanges) {
  LayerColors[9] = clAqua;
  BackgroundColor = clNavy;
  RegisterModalScript("TLayerColorDialog", [](TForm& f) {
    auto& grid = f.Get<TColorGrid>("ColorGrid1");
    EXPECT_EQ(grid.ForegroundColor(), clAqua);
    EXPECT_EQ(grid.BackgroundColor(), clNavy);
    grid.ClickColor(TColorGrid::IndexOfColor(clRed), mbLeft);
    grid.ClickColor(TColorGrid::IndexOfColor(clBlack), mbRight);
    f.Click("OKButton");
  });
  RegisterModalScript("TLayerDialog", [](TForm& form) {
    auto& f = static_cast<TLayerDialog&>(form);
    f.Displayed(12).Click();
    f.Click("Color9");
    f.Click("CancelButton");
  });
  ExecuteLayerControl();
  EXPECT_TRUE(LayerDisplayed(12));
  EXPECT_EQ(LayerColors[9], clRed);
  EXPECT_EQ(BackgroundColor, clBlack);
  EXPECT_EQ(Renders, 1);
  // Nothing changed: no redraw.
  RegisterModalScript("TLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  ExecuteLayerControl();
  EXPECT_EQ(Renders, 1);
}

TEST_F(TLayerDialogsTest, TheIndividualBoxActsAtOnce) {
  CreateLayerButtons(*Form->LayerPanel);
  LayerBar = new TLayerBar(*Form->LayerPanel);
  BackgroundColor = clNavy;
  RegisterModalScript("TLayerColorDialog", [](TForm& f) {
    auto& grid = f.Get<TColorGrid>("ColorGrid1");
    grid.ClickColor(TColorGrid::IndexOfColor(clGreen), mbLeft);
    grid.ClickColor(TColorGrid::IndexOfColor(clWhite), mbRight);
    EXPECT_EQ(ViewServices().Activity(), acModal);
    f.Click("OKButton");
  });
  RegisterModalScript("TIndividualLayerDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Layer  R3");
    EXPECT_EQ(ViewServices().Activity(), acModal);
    EXPECT_EQ(f.Left(), 2 * 24 + 320 + 5);
    f.Get<TCheckBox>("Displayed0").Click();
    EXPECT_FALSE(LayerDisplayed(43));
    EXPECT_FALSE(LayerActive(43));
    EXPECT_FALSE(f.Get<TCheckBox>("Active0").Checked());
    f.Get<TCheckBox>("Active0").Click();
    EXPECT_TRUE(LayerActive(43));
    EXPECT_TRUE(LayerDisplayed(43));
    EXPECT_TRUE(f.Get<TCheckBox>("Displayed0").Checked());
    f.Get<TCheckBox>("Active0").Click();
    EXPECT_FALSE(LayerActive(43));
    EXPECT_TRUE(LayerDisplayed(43));
    f.Click("Color0");
    f.Click("OKButton");
  });
  const int before = Renders;
  LayerBar->LayerMouseDown(*LayerBar->Buttons[43], mbRight, 5, 6);
  EXPECT_EQ(LayerColors[43], clGreen);
  EXPECT_EQ(ViewServices().Activity(), acIdle);
  EXPECT_EQ(BackgroundColor, clNavy);  // not from this box
  EXPECT_EQ(Renders, before + 1);
  // The current layer's box cannot change it; the left button opens nothing.
  RegisterModalScript("TIndividualLayerDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Layer   0");
    EXPECT_FALSE(f.Get<TCheckBox>("Active0").Click());
    f.Click("OKButton");
  });
  LayerBar->LayerMouseDown(*LayerBar->Buttons[0], mbRight, 1, 1);
  LayerBar->LayerMouseDown(*LayerBar->Buttons[0], mbLeft, 1, 1);
  EXPECT_EQ(ModalFormsShown().size(), 3u);
  EXPECT_EQ(TIndividualLayerDialog::RowCaption(15), " 15");
  EXPECT_EQ(TIndividualLayerDialog::RowCaption(31), " D1");
}

TEST_F(TLayerDialogsTest, ALayerColourOutsideTheGridIsKeptUnlessOneIsPicked) {
  TColor layer = 0x00123456, back = clNavy;
  RegisterModalScript("TLayerColorDialog", [](TForm& f) { f.Click("OKButton"); });
  ExecuteLayerColor(layer, back);
  EXPECT_EQ(layer, 0x00123456u);
  EXPECT_EQ(back, clNavy);
  // The sample shows the layer colour on the background.
  TLayerColorDialog dialog(clYellow, clNavy);
  dialog.Realign();
  dialog.PaintSample();
  auto& box = dialog.Get<TPaintBox>("SamplePaintBox");
  EXPECT_EQ(box.Canvas().GetPixel(box.Width() / 2, box.Height() / 2), clYellow);
  EXPECT_EQ(box.Canvas().GetPixel(1, 1), clNavy);
}

TEST_F(TLayerDialogsTest, SwitchToLayerTakesTheLastGroupClicked) {
  CurrentLayer = 12;
  QueueModalScript("TSwitchLayerDialog", [](TForm& f) {
    EXPECT_EQ(f.Get<TRadioGroup>("CadGroup").ItemIndex(), 12);
    f.Get<TRadioGroup>("DrillGroup").ClickItem(2);
    EXPECT_EQ(f.Get<TRadioGroup>("CadGroup").ItemIndex(), -1);
    f.Get<TRadioGroup>("RoutGroup").ClickItem(3);
    EXPECT_EQ(f.Get<TRadioGroup>("DrillGroup").ItemIndex(), -1);
    EXPECT_EQ(ViewServices().Activity(), acModal);
    f.Click("OKButton");
  });
  int32_t layer = CurrentLayer;
  EXPECT_TRUE(ExecuteSwitchLayer(layer));
  EXPECT_EQ(layer, 43);
  EXPECT_EQ(Screen->Activity, acIdle);
  QueueModalScript("TSwitchLayerDialog", [](TForm& f) { f.Click("CancelButton"); });
  layer = 12;
  EXPECT_FALSE(ExecuteSwitchLayer(layer));
  EXPECT_EQ(layer, 12);
}

TEST_F(TLayerDialogsTest, PickersReturnTheChosenLayer) {
  QueueModalScript("TPickLayerDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Select Layer To Erase");
    auto& g = f.Get<TRadioGroup>("LayerGroup");
    EXPECT_EQ(g.ItemIndex(), 41);
    EXPECT_EQ(g.Items().size(), 45u);
    EXPECT_EQ(g.Items()[41], "R1");
    g.ClickItem(39);
    f.Click("OKButton");
  });
  int32_t layer = 41;
  EXPECT_TRUE(ExecutePickLayer(layer));
  EXPECT_EQ(layer, 39);
  // Select Layer For Data always answers a drill layer.
  CurrentLayer = 37;
  QueueModalScript("TPickDrillLayerDialog", [](TForm& f) {
    EXPECT_EQ(f.Get<TRadioGroup>("LayerGroup").ItemIndex(), 7);
    f.Click("OKButton");
  });
  EXPECT_EQ(PickDrillLayer(), 37);
  CurrentLayer = 3;
  QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  EXPECT_EQ(PickDrillLayer(), 30);
  QueueModalScript("TPickDrillLayerDialog", [](TForm& f) {
    f.Get<TRadioGroup>("LayerGroup").ClickItem(5);
    f.Click("OKButton");
  });
  EXPECT_EQ(PickDrillLayer(), 35);
  EXPECT_EQ(Screen->Activity, acIdle);
}
