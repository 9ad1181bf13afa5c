// The layer model: current layer and editor mode, the mask rules, the
// layer button bar and Layer Erase.
#include "view_test_support.h"
#include "workspace/layer_dialogs.h"

namespace {

class TLayerModelTest : public TViewTest {
 protected:
  void SetUp() override {
    TViewTest::SetUp();
    ViewHooks.CommandEvent = [this](TInputEvent& e) { Events.push_back(e); };
    LayerHooks.SetMode = [this](uint8_t mode) {
      Modes.push_back(mode);
      EditorMode = mode;
    };
    ViewHooks.DrawOriginMarks = [this] { ++Renders; };
  }
  std::vector<TInputEvent> Events;
  std::vector<uint8_t> Modes;
  int Renders = 0;
};

}  // namespace

TEST_F(TLayerModelTest, LayerNamesAndGroups) {
  EXPECT_EQ(LayerName(0), "0");
  EXPECT_EQ(LayerName(29), "29");
  EXPECT_EQ(LayerName(30), "D0");
  EXPECT_EQ(LayerName(39), "D9");
  EXPECT_EQ(LayerName(40), "R0");
  EXPECT_EQ(LayerName(44), "R4");
  EXPECT_EQ(LayerName(45), "");
  EXPECT_EQ(LayerName(-1), "");
  EXPECT_EQ(ModeOfLayer(12), emCad);
  EXPECT_EQ(ModeOfLayer(33), emDrill);
  EXPECT_EQ(ModeOfLayer(42), emRout);
}

TEST_F(TLayerModelTest, AnActiveLayerIsAlwaysDisplayed) {
  SetLayerDisplayed(5, false);
  EXPECT_FALSE(LayerActive(5));
  EXPECT_FALSE(LayerDisplayed(5));
  EXPECT_EQ(DisplayedLayerMask & (1u << 5), 0u);
  SetLayerActive(5, true);
  EXPECT_TRUE(LayerDisplayed(5));
  SetLayerActive(5, false);
  EXPECT_TRUE(LayerDisplayed(5));
  EXPECT_FALSE(LayerActive(5));
  // Drill and rout layers use the NC pair, bit layer - 30.
  SetLayerDisplayed(41, false);
  EXPECT_EQ(DisplayedNCLayerMask & (1u << 11), 0u);
  EXPECT_EQ(ActiveNCLayerMask & (1u << 11), 0u);
  EXPECT_EQ(DisplayedLayerMask & (1u << 11), 1u << 11);
  // Out of range numbers touch nothing.
  uint32_t a = ActiveNCLayerMask, d = DisplayedNCLayerMask;
  SetLayerDisplayed(45, false);
  SetLayerActive(-3, false);
  EXPECT_EQ(ActiveNCLayerMask, a);
  EXPECT_EQ(DisplayedNCLayerMask, d);
}

TEST_F(TLayerModelTest, MakingADrillLayerCurrentSwitchesToDrillMode) {
  SelectLayer(33);
  EXPECT_EQ(CurrentLayer, 33);
  EXPECT_EQ(EditorMode, emDrill);
  EXPECT_EQ(Modes, std::vector<uint8_t>{emDrill});
  EXPECT_EQ(Renders, 1);
  // The running command was cancelled.
  ASSERT_EQ(Events.size(), 1u);
  EXPECT_EQ(Events[0].Kind, ievCommand);
  EXPECT_EQ(Events[0].Flags[0], 1);
  EXPECT_EQ(Events[0].Flags[3], 1);
  EXPECT_EQ(Events[0].WorldX, 2147483647);
  EXPECT_EQ(Events[0].WorldY, 2147483647);
  // A rout layer: rout mode; another rout layer only rebuilds the caption.
  int captions = 0;
  LayerHooks.UpdateCaption = [&] { ++captions; };
  int cleared = 0;
  LayerHooks.ClearRoutSelection = [&] { ++cleared; };
  SelectLayer(40);
  EXPECT_EQ(EditorMode, emRout);
  SelectLayer(44);
  EXPECT_EQ(captions, 1);
  EXPECT_EQ(cleared, 2);
  EXPECT_EQ(Renders, 2);
  SelectLayer(7);
  EXPECT_EQ(EditorMode, emCad);
  EXPECT_EQ(Modes, (std::vector<uint8_t>{emDrill, emRout, emCad}));
}

TEST_F(TLayerModelTest, SelectingAHiddenLayerShowsItAndRedraws) {
  SetLayerDisplayed(12, false);
  SelectLayer(12);
  EXPECT_TRUE(LayerActive(12));
  EXPECT_TRUE(LayerDisplayed(12));
  EXPECT_EQ(Renders, 1);
  // An inactive but displayed layer becomes active without a redraw.
  SetLayerActive(13, false);
  SelectLayer(13);
  EXPECT_TRUE(LayerActive(13));
  EXPECT_EQ(Renders, 1);
}

TEST_F(TLayerModelTest, SelectingTheCurrentLayerOnlyChecksTheMode) {
  CurrentLayer = 31;
  EditorMode = emCad;
  SelectLayer(31);
  EXPECT_TRUE(Events.empty());
  EXPECT_EQ(EditorMode, emDrill);
  EXPECT_EQ(Renders, 1);
  SelectLayer(31);
  EXPECT_EQ(Renders, 1);
  // A number outside the layers changes nothing.
  SelectLayer(45);
  SelectLayer(200);
  EXPECT_EQ(CurrentLayer, 31);
  EXPECT_TRUE(Events.empty());
}

TEST_F(TLayerModelTest, TheBarStartsOnTheSavedLayerInItsMode) {
  CurrentLayer = 44;
  LayerColors[44] = clLime;
  CreateLayerButtons(*Form->LayerPanel);
  LayerBar = new TLayerBar(*Form->LayerPanel);
  EXPECT_EQ(CurrentLayer, 44);
  EXPECT_EQ(EditorMode, emRout);
  EXPECT_EQ(Modes, std::vector<uint8_t>{emRout});
  TSpeedButton* r4 = LayerBar->Buttons[44];
  ASSERT_NE(r4, nullptr);
  EXPECT_EQ(r4->Caption(), "R4");
  EXPECT_TRUE(r4->Down());
  EXPECT_EQ(r4->FontColor(), clLime);
  EXPECT_EQ(LayerBar->Buttons[30]->Caption(), "D0");
  EXPECT_EQ(LayerBar->LayerOfButton(Form->PaintBox), -1);
}

TEST_F(TLayerModelTest, ClickingLayerButtons) {
  CurrentLayer = 0;
  LayerColors[3] = clRed;
  CreateLayerButtons(*Form->LayerPanel);
  LayerBar = new TLayerBar(*Form->LayerPanel);
  int contexts = 0;
  LayerHooks.SetHelpContext = [&](int32_t c) { contexts = c; };
  for (int i = 0; i < LayerLimit; ++i) {
    TSpeedButton* b = LayerBar->Buttons[i];
    b->OnClick = [b](TControl&) { LayerBar->LClick(*b); };
  }
  LayerBar->Buttons[3]->Click();
  EXPECT_EQ(CurrentLayer, 3);
  EXPECT_TRUE(LayerBar->Buttons[3]->Down());
  EXPECT_FALSE(LayerBar->Buttons[0]->Down());
  EXPECT_EQ(LayerBar->Buttons[3]->FontColor(), clRed);
  EXPECT_EQ(LayerBar->Buttons[0]->FontColor(), clBlack);
  EXPECT_EQ(contexts, 2);
  // The pressed button stays pressed when clicked again.
  LayerBar->Buttons[3]->Click();
  EXPECT_TRUE(LayerBar->Buttons[3]->Down());
  EXPECT_EQ(CurrentLayer, 3);
  // While the view is busy a click only shows the current layer again.
  Screen->Activity = acModal;
  LayerBar->Buttons[35]->Click();
  EXPECT_EQ(CurrentLayer, 3);
  EXPECT_TRUE(LayerBar->Buttons[3]->Down());
  EXPECT_FALSE(LayerBar->Buttons[35]->Down());
  Screen->Activity = acIdle;
  LayerBar->Buttons[35]->Click();
  EXPECT_EQ(CurrentLayer, 35);
  EXPECT_EQ(EditorMode, emDrill);
  EXPECT_EQ(contexts, 3);
}

TEST_F(TLayerModelTest, SwitchToLayerPressesTheChosenButton) {
  CreateLayerButtons(*Form->LayerPanel);
  LayerBar = new TLayerBar(*Form->LayerPanel);
  QueueModalScript("TSwitchLayerDialog", [](TForm& f) {
    f.Get<TRadioGroup>("DrillGroup").ClickItem(4);
    f.Click("OKButton");
  });
  SwitchToLayer1Click();
  EXPECT_EQ(CurrentLayer, 34);
  EXPECT_TRUE(LayerBar->Buttons[34]->Down());
  EXPECT_EQ(Screen->Activity, acIdle);
  // Not while the view is busy.
  Screen->Activity = acSingleStep;
  SwitchToLayer1Click();
  EXPECT_EQ(ModalFormsShown().size(), 1u);
}

TEST_F(TLayerModelTest, LayerEraseAsksAndErasesOnlyOnYes) {
  CreateDatabase();
  DB->AddLineOnLayer(0, 0, 2540000, 0, 6);
  CurrentLayer = 6;
  auto pick = [](TForm& f) { f.Click("OKButton"); };
  QueueModalScript("TPickLayerDialog", pick);
  ScriptMessageBoxAnswer(mrNo);
  LayerErase1Click();
  EXPECT_FALSE(DB->LayerIsEmpty(6));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "This erase cannot be undone!\r\nAre you sure you wish to erase\r\nlayer 6?");
  EXPECT_EQ(Renders, 1);
  QueueModalScript("TPickLayerDialog", pick);
  ScriptMessageBoxAnswer(mrYes);
  LayerErase1Click();
  EXPECT_EQ(DB->CountByType()[17], 0);
  // A drill layer goes to the drill database; Cancel erases nothing.
  int erased = -1;
  LayerHooks.DeleteDrillLayer = [&](uint8_t l) { erased = l; };
  QueueModalScript("TPickLayerDialog", [](TForm& f) {
    f.Get<TRadioGroup>("LayerGroup").ClickItem(32);
    f.Click("CancelButton");
  });
  LayerErase1Click();
  EXPECT_EQ(erased, -1);
  QueueModalScript("TPickLayerDialog", [](TForm& f) {
    f.Get<TRadioGroup>("LayerGroup").ClickItem(32);
    f.Click("OKButton");
  });
  ScriptMessageBoxAnswer(mrYes);
  LayerErase1Click();
  EXPECT_EQ(erased, 32);
  EXPECT_EQ(Renders, 4);
  EXPECT_EQ(Screen->Activity, acIdle);
}
