// The real program on the Qt backend (offscreen): it starts, shows its main
// window, switches modes and closes. A screenshot of each mode is saved in
// the build folder for review.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <memory>
#include <set>

#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/user_panel.h"
#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "platform/canvas.h"
#include "platform/events.h"
#include "platform/forms.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/menus.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_events.h"
#include "platform/qt/qt_forms.h"
#include "platform/qt/qt_menus.h"
#include "platform/single_instance.h"
#include "tapein/drill_import.h"
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

// Answers every window that waits for the user (the about box at start-up,
// format dialogs) with its OK button, as a user would; remembers the
// captions of the windows it closed.
class TOkClicker {
 public:
  TOkClicker() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
  }
  std::vector<std::string> Closed;

 private:
  void Tick() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (!top->isVisible() || (Workspace != nullptr && top == QtWidgetOf(*Workspace))) continue;
      for (QPushButton* button : top->findChildren<QPushButton*>()) {
        if (button->text() != "OK" || !button->isVisible() || !button->isEnabled()) continue;
        Closed.push_back(top->windowTitle().toStdString());
        button->click();
        return;
      }
    }
  }
  QTimer timer_;
};

QStringList MenuTitles(TMainMenu& menu) {
  QStringList titles;
  for (QAction* action : QtMenuBarOf(menu)->actions()) titles << action->text();
  return titles;
}
}  // namespace

TEST_F(QtWorkspaceTest, TheProgramStartsSwitchesModesAndCloses) {
  TOkClicker user;
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
    // The whole window, menu bar and frame with it, stands in the middle of
    // the screen.
    const QRect area = window->screen()->availableGeometry();
    EXPECT_NEAR(window->frameGeometry().center().y(), area.center().y(), 1);
    EXPECT_NEAR(window->frameGeometry().center().x(), area.center().x(), 1);

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
    // The button of the compensation side shows down; a click moves it.
    auto shownDown = [](int32_t command) {
      return static_cast<QToolButton*>(QtWidgetOf(*ButtonManager().ButtonOf(command)))->isChecked();
    };
    const int32_t sides[] = {47, 46, 48};  // none, left, right
    const int32_t side = sides[RTDB->AutoRoutCompensation <= 2 ? RTDB->AutoRoutCompensation : 0];
    for (int32_t c : sides) EXPECT_EQ(shownDown(c), c == side) << c;
    const int32_t other = side == 46 ? 48 : 46;
    static_cast<QToolButton*>(QtWidgetOf(*ButtonManager().ButtonOf(other)))->click();
    Settle();
    for (int32_t c : sides) EXPECT_EQ(shownDown(c), c == other) << c;
    // Zoom In through its menu item asks for its window on the real view.
    EXPECT_TRUE(ClickMenu(*form->Menu(), "&View|Zoom &In"));
    EXPECT_EQ(UserPanel->PromptLine(3), "Select first corner of window > ");
    ECO->CancelCommand();

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
  // The about box came up at start-up and was closed with OK.
  ASSERT_FALSE(user.Closed.empty());
  EXPECT_EQ(user.Closed.front(), "About KORVEX 6");
}

// The current layer's caption keeps its layer's colour and reads: a grey
// layer (1, 5, 10, D2) no longer stands grey on a grey face like a disabled
// button. The button left goes back to the usual face.
TEST_F(QtWorkspaceTest, TheCurrentLayersCaptionReadsInItsColour) {
  TOkClicker user;
  const int rc = RunProgram([] {
    TWorkspace* form = Workspace;
    if (form == nullptr) return 1;
    Settle();
    const QColor usualFace = QApplication::palette(QtWidgetOf(*form->LayerPanel.FindControl("L0")))
                                 .color(QPalette::Active, QPalette::Button);
    for (const char* name : {"L1", "L5", "L10", "L32"}) {
      TControl* button = form->LayerPanel.FindControl(name);
      button->Click();
      Settle();
      const QPalette p = QtWidgetOf(*button)->palette();
      const QColor face = p.color(QPalette::Active, QPalette::Button);
      const QColor text = p.color(QPalette::Active, QPalette::ButtonText);
      EXPECT_EQ(face, QColor(BackgroundColor & 0xFF, (BackgroundColor >> 8) & 0xFF,
                             (BackgroundColor >> 16) & 0xFF)) << name;
      EXPECT_EQ(ReadableTextColor(text, face.darker(112)), text) << name;
    }
    form->LayerPanel.FindControl("L0")->Click();
    Settle();
    EXPECT_EQ(QtWidgetOf(*form->LayerPanel.FindControl("L32"))->palette().color(QPalette::Active, QPalette::Button),
              usualFace);
    QtWidgetOf(*form)->close();
    Settle();
    return 0;
  });
  EXPECT_EQ(rc, 0);
}

// A busy operation of the started program shows the hourglass over its
// windows; the arrow comes back when it ends.
TEST_F(QtWorkspaceTest, ABusyOperationShowsTheHourglassUntilItEnds) {
  TOkClicker user;
  const int rc = RunProgram([] {
    if (Workspace == nullptr) return 1;
    Settle();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    {
      THourGlass wait;
      wait.Show("Please wait");
      const QCursor* cursor = QApplication::overrideCursor();
      EXPECT_TRUE(cursor != nullptr && cursor->shape() == Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    QtWidgetOf(*Workspace)->close();
    Settle();
    return 0;
  });
  EXPECT_EQ(rc, 0);
}

// A real sample tape imported into a drill layer and shown at its extents:
// the screenshot is kept for review in the build folder.
TEST_F(QtWorkspaceTest, ASampleJobIsDrawnInTheMainWindow) {
  const auto tape = SharedTestData() / "excellon" / "drill0.exc";
  if (SharedTestData().empty() || !std::filesystem::exists(tape)) GTEST_SKIP() << "no sample tapes";
  TOkClicker user;
  const int rc = RunProgram([&tape] {
    TWorkspace* form = Workspace;
    if (form == nullptr) return 1;
    QWidget* window = QtWidgetOf(*form);
    Settle();
    form->LayerPanel.FindControl("L30")->Click();
    Settle();
    EXPECT_EQ(EditorMode, emDrill);
    // The tape's coordinates are inch 2.4 with leading zeros left out (a
    // board about 7 by 4 inches): the format a user picks in the dialog.
    DrillInputFormat.ShowMessages = false;
    DrillInputFormat.ZerosUsed = 1;
    EXPECT_TRUE(ImportDrillTape(tape.string(), 0));
    // Put the imported hits live on the layer as one undo step.
    EXPECT_TRUE(DRDB->TranslateFrom(DRDB->ImportPlacement.FirstIndex, 0, 0, 30));
    ActiveUndo->BeginOperation("Import file");
    std::string name;
    EXPECT_TRUE(ActiveUndo->CanUndo(name));
    EXPECT_EQ(name, "Import file");
    EXPECT_TRUE(ShownMessageBoxes().empty());
    MyScreen->ZoomExtents();
    Settle();
    EXPECT_GT(MyScreen->Zoom, 1.0);

    const QImage image = window->grab().toImage();
    EXPECT_TRUE(image.save(QString(KORVEX_BUILD_DIR) + "/workspace_sample_job.png"));
    // The drawing area shows the holes: many pixels that are neither the
    // background nor the axis lines nor the shading beyond the limits.
    const QImage area = QtWidgetOf(form->PaintBox)->grab().toImage();
    int64_t holePixels = 0;
    for (int y = 0; y < area.height(); ++y)
      for (int x = 0; x < area.width(); ++x) {
        const TColor c = FromQRgb(area.pixel(x, y));
        holePixels += c != BackgroundColor && c != GridAndAxisColor && c != 0x808080u;
      }
    EXPECT_GT(holePixels, 2000) << "hole pixels";
    ScriptMessageBoxAnswer(mrNo);  // the imported job is not saved
    window->close();
    Settle();
    return 0;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Workspace, nullptr);
  EXPECT_EQ(DBBitmap, nullptr);
  EXPECT_EQ(OffscreenBitmap, nullptr);
}

// File > Exit ends the real event loop with exit code 0; a later start
// finds no window left behind. A start while the window was hidden shows it.
TEST_F(QtWorkspaceTest, ExitEndsTheEventLoopAndALaterStartShowsTheWindow) {
  TOkClicker user;
  bool hiddenWindowShown = false;
  const int rc = RunProgram([&hiddenWindowShown] {
    TWorkspace* form = Workspace;
    if (form == nullptr) return 1;
    QWidget* window = QtWidgetOf(*form);
    // A second start meets a hidden main window: it must come back.
    QTimer::singleShot(50, [form, window, &hiddenWindowShown] {
      form->Hide();
      Settle();
      TSingleInstanceLock second(InstanceLockName(ShortProductName), nullptr);
      EXPECT_FALSE(second.IsFirst());
      Settle();
      hiddenWindowShown = window->isVisible() && form->Showing();
      EXPECT_TRUE(ClickMenu(*form->Menu(), "&File|E&xit"));
    });
    // Should the loop not end, the test fails instead of hanging.
    QTimer::singleShot(30000, [] { QCoreApplication::exit(7); });
    return QApplication::exec();
  });
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(hiddenWindowShown);
  EXPECT_EQ(Workspace, nullptr);
  EXPECT_TRUE(ShownMessageBoxes().empty());
}
