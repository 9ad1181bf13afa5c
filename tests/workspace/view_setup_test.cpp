// The view and the layer bar inside the main window.
#include "view_test_support.h"
#include "workspace/view_setup.h"
#include "workspace/workspace.h"

namespace {

class TViewSetupTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessViewServices();
    ResetModalScripts();
    ResetLayerMasks();
    EditorMode = emCad;
  }
  void TearDown() override {
    SetViewServices(nullptr);
    ResetModalScripts();
    ResetHeadlessViewServices();
    TKorvexTest::TearDown();
  }
};

}  // namespace

TEST_F(TViewSetupTest, TheWindowsViewAndLayerBarWorkThroughMyScreen) {
  CurrentLayer = 36;
  TWorkspace form;
  Workspace = &form;
  ASSERT_TRUE(CreateMyScreen());
  ASSERT_TRUE(CreateRubberPaint());
  TWorkspaceViewServices services(form);
  SetViewServices(&services);
  ConnectView(form, services);
  ConnectLayerBar(form);
  form.Realign();
  EXPECT_EQ(EditorMode, emDrill);
  EXPECT_EQ(form.Menu(), &form.DrillMenu);
  ASSERT_NE(LayerBar, nullptr);
  EXPECT_TRUE(LayerBar->Buttons[36]->Down());
  // A click on a CAD layer button goes through the window's mode switch.
  LayerBar->Buttons[4]->Click();
  EXPECT_EQ(CurrentLayer, 4);
  EXPECT_EQ(form.Menu(), &form.CadMenu);
  EXPECT_EQ(CurrentHelpContext, 2);
  // The view answers the databases and the window.
  MyScreen->SetZoom(3.0);
  EXPECT_EQ(ViewServices().PixelsPerInch(), MyScreen->PixelsPerInch);
  EXPECT_EQ(ViewServices().ViewWidth(), form.PaintBox.Width());
  {
    TModalBracket bracket;
    EXPECT_EQ(MyScreen->Activity, acModal);
  }
  EXPECT_EQ(MyScreen->Activity, acIdle);
  DisconnectView(&services);
  EXPECT_EQ(LayerBar, nullptr);
  FreeRubberPaint();
  FreeMyScreen();
  Workspace = nullptr;
}
