// The real program on the Qt backend (offscreen): it starts, shows its main
// window, switches modes and closes. A screenshot of each mode is saved in
// the build folder for review.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenuBar>
#include <QPixmap>
#include <QWidget>
#include <set>

#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "korvex_test.h"
#include "platform/canvas.h"
#include "platform/events.h"
#include "platform/forms.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/menus.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_events.h"
#include "platform/qt/qt_forms.h"
#include "platform/qt/qt_menus.h"
#include "workspace/layers.h"
#include "workspace/my_screen.h"
#include "workspace/startup.h"
#include "workspace/workspace.h"

namespace {
class QtWorkspaceTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessViewServices();
    InstallQtCanvasBackend();
    InstallQtEventsBackend();
    InstallQtFormsBackend();
  }
  void TearDown() override {
    SetFormsBackend(nullptr);
    SetMenusBackend(nullptr);
    SetEventsBackend(nullptr);
    SetCanvasBackend(nullptr);
    ResetHeadlessViewServices();
    TKorvexTest::TearDown();
  }
};

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// The number of distinct colours in the image: a blank window has very few.
size_t ColourCount(const QImage& image) {
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 3)
    for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
  return colours.size();
}

QStringList MenuTitles(TMainMenu& menu) {
  QStringList titles;
  for (QAction* action : QtMenuBarOf(menu)->actions()) titles << action->text();
  return titles;
}
}  // namespace

TEST_F(QtWorkspaceTest, TheProgramStartsSwitchesModesAndCloses) {
  bool looped = false;
  const int rc = RunProgram([&looped] {
    looped = true;
    TWorkspace* form = Workspace;
    if (form == nullptr) return 1;
    QWidget* window = QtWidgetOf(*form);
    Settle();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle().toStdString(), "KORVEX 6  Cad");
    EXPECT_TRUE(MenuTitles(form->CadMenu).contains("&Edit"));

    struct TShot {
      const char* Layer;
      const char* Caption;
      const char* File;
    };
    const TShot shots[] = {
        {"L0", "KORVEX 6  Cad", "/workspace_cad.png"},
        {"L35", "KORVEX 6  VarovUvov", "/workspace_drill.png"},
        {"L41", "KORVEX 6  ZuraZeru", "/workspace_rout.png"},
    };
    for (const TShot& shot : shots) {
      form->LayerPanel.FindControl(shot.Layer)->Click();
      Settle();
      EXPECT_EQ(window->windowTitle().toStdString(), shot.Caption);
      const QImage image = window->grab().toImage();
      EXPECT_GE(image.width(), 600);
      EXPECT_GT(ColourCount(image), 4u) << shot.File;
      EXPECT_TRUE(image.save(QString(KORVEX_BUILD_DIR) + shot.File));
    }
    EXPECT_EQ(form->Menu(), &form->RoutMenu);
    // A button that only the rout mode shows sits where the model put it.
    TSpeedButton* hole = ButtonManager().ButtonOf(26);
    QWidget* holeWidget = QtWidgetOf(*hole);
    EXPECT_TRUE(holeWidget->isVisible());
    EXPECT_EQ(holeWidget->x(), hole->Left());
    EXPECT_EQ(holeWidget->y(), hole->Top());
    // Zoom In through its menu item works on the real view.
    const double zoom = MyScreen->Zoom;
    EXPECT_TRUE(ClickMenu(*form->Menu(), "&View|Zoom &In"));
    EXPECT_EQ(MyScreen->Zoom, zoom * 2);

    // The window system's close button ends the program.
    window->close();
    Settle();
    EXPECT_FALSE(WorkspaceReady);
    return 0;
  });
  EXPECT_TRUE(looped);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Workspace, nullptr);
  EXPECT_EQ(ECO, nullptr);
  EXPECT_TRUE(ShownMessageBoxes().empty());
}
