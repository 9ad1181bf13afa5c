// The Qt backend as a user meets it: keys typed into dialogs, the end of the
// program, long reports.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <functional>
#include <string>

#include "editor/editor_window.h"
#include "platform/common_dialogs.h"
#include "platform/forms.h"
#include "platform/keys.h"
#include "platform/menus.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_common_dialogs.h"
#include "platform/qt/qt_forms.h"
#include "platform/qt/qt_menus.h"

namespace {

class QtUserSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallQtCanvasBackend();
    InstallQtFormsBackend();
  }
  void TearDown() override {
    QApplication::processEvents();
    SetFormsBackend(nullptr);
    SetMenusBackend(nullptr);
    SetCanvasBackend(nullptr);
  }
};

// A main window that, like the program's, previews every key for its
// command line and swallows what it uses.
class TPreviewingForm : public TForm {
 public:
  TPreviewingForm() : TForm("TPreviewingForm") {
    SetCaption("Main");
    SetBounds(0, 0, 400, 300);
    Add<TPanel>("Drawing");
    KeyPreview = true;
    OnKeyDown = [this](TControl&, uint16_t& key, TShiftState) {
      if (key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN || key == VK_BACK) {
        Swallowed += "[" + std::to_string(key) + "]";
        key = 0;
      }
    };
    OnKeyPress = [this](TControl&, char& key) {
      if (key >= 32 && key <= 126) {
        Swallowed += key;
        key = 0;
      }
    };
    auto& file = Menu.Add("&File", "File1");
    file.Add("&Close", "Close1");
    file.Add("&Open", "Open1");
    SetMenu(&Menu);
  }
  TMainMenu Menu{"MainMenu"};
  std::string Swallowed;
};

void SendKey(QWidget* to, int key, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(to, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(to, &release);
}

void TypeInto(QWidget* to, const QString& text) {
  for (QChar c : text) SendKey(to, c == QChar('/') ? int(Qt::Key_Slash) : int(c.toUpper().unicode()), QString(c));
}

// Runs action on the modal widget once it is open.
void WhenModalOpens(std::function<void(QWidget*)> action, int tries = 200) {
  QTimer::singleShot(10, [action, tries] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      QPointer<QWidget> guard = w;
      action(w);
      if (auto* d = qobject_cast<QDialog*>(guard.data()); d && d->isVisible()) d->reject();
    } else if (tries > 0) {
      WhenModalOpens(action, tries - 1);
    }
  });
}

}  // namespace

TEST_F(QtUserSessionTest, KeysTypedIntoDialogsReachTheirFieldsNotTheMainWindow) {
  TPreviewingForm main;
  main.Show();
  QWidget* mainWindow = QtWidgetOf(main);
  mainWindow->activateWindow();
  QApplication::processEvents();

  // The file dialog on top of the main window: a path is typed, corrected
  // with Backspace, and the dialog answers it.
  TOpenDialog settings;
  settings.Title = "Import file";
  settings.Filter = "All files|*.*";
  QString typed;
  QPointer<QFileDialog> dialog = CreateQtFileDialog(settings, mainWindow);
  WhenModalOpens([&](QWidget* w) {
    auto* edit = w->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->clear();
    edit->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), edit);
    TypeInto(edit, "/tmp/drill1x");
    SendKey(edit, Qt::Key_Backspace);
    SendKey(edit, Qt::Key_Left);
    typed = edit->text();
  });
  dialog->exec();
  delete dialog;
  EXPECT_EQ(typed, "/tmp/drill1");
  EXPECT_EQ(main.Swallowed, "");

  // An edit of a dialog form of ours gets its letters too.
  TForm format("TFormatDialog");
  format.SetCaption("Drill Input Format");
  auto& digits = format.Add<TEdit>("Digits", "");
  auto& ok = format.Add<TButton>("OK", "OK");
  ok.SetModalResult(mrOk);
  QString formatTyped;
  WhenModalOpens([&](QWidget*) {
    QWidget* edit = QtWidgetOf(digits);
    edit->setFocus();
    QApplication::processEvents();
    TypeInto(edit, "2.4");
    formatTyped = static_cast<QLineEdit*>(edit)->text();
    ok.Click();
  });
  format.ShowModal();
  EXPECT_EQ(formatTyped, "2.4");
  EXPECT_EQ(digits.Text(), "2.4");
  EXPECT_EQ(main.Swallowed, "");

  // With a menu open its keys go to the menu: no panning, nothing typed
  // into the command line.
  QMenu* fileMenu = QtMenuBarOf(main.Menu)->actions().value(0)->menu();
  ASSERT_NE(fileMenu, nullptr);
  fileMenu->popup(mainWindow->mapToGlobal(QPoint(10, 10)));
  QApplication::processEvents();
  QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : fileMenu;
  SendKey(target, Qt::Key_Down);
  SendKey(target, Qt::Key_Right);
  EXPECT_EQ(main.Swallowed, "");
  fileMenu->hide();
  QApplication::processEvents();

  // The main window itself still previews its keys.
  QWidget* drawing = QtWidgetOf(*main.FindControl("Drawing"));
  drawing->setFocusPolicy(Qt::StrongFocus);
  drawing->setFocus();
  QApplication::processEvents();
  if (QApplication::focusWidget() == drawing) {
    TypeInto(drawing, "c");
    EXPECT_EQ(main.Swallowed, "c");
  }
  main.Hide();
}

TEST_F(QtUserSessionTest, AWindowComesBackOnAScreenAndKeepsItsNormalPlace) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  TForm form("TMainLike");
  form.SetSizeable(true);
  form.Add<TPanel>("Area").SetAlign(alClient);

  // Kept where no screen is (a window saved while minimised): centred.
  form.SetBounds(-32000, -32000, 300, 200);
  form.SetClientSize(300, 200);
  form.Show();
  QApplication::processEvents();
  QWidget* window = QtWidgetOf(form);
  EXPECT_TRUE(area.contains(window->frameGeometry().center())) << window->x() << "," << window->y();
  form.Hide();

  // Larger than the screen: cut to it, and on it.
  form.SetBounds(area.left() + 10, area.top() + 10, area.width() * 3, area.height() * 3);
  form.SetClientSize(area.width() * 3, area.height() * 3);
  form.Show();
  QApplication::processEvents();
  EXPECT_LE(window->width(), area.width());
  EXPECT_LE(window->height(), area.height());
  form.Hide();

  // On a screen: exactly there. Maximised later, what is kept is the normal
  // place and size.
  form.SetBounds(area.left() + 40, area.top() + 30, 320, 240);
  form.SetClientSize(320, 240);
  form.Show();
  QApplication::processEvents();
  EXPECT_EQ(window->pos(), QPoint(area.left() + 40, area.top() + 30));
  TRect normal = form.NormalBounds();
  EXPECT_EQ(normal.Left, area.left() + 40);
  EXPECT_EQ(normal.Top, area.top() + 30);
  EXPECT_EQ(normal.Width(), 320);
  EXPECT_EQ(normal.Height(), 240);
  window->showMaximized();
  QApplication::processEvents();
  if (window->isMaximized()) {
    normal = form.NormalBounds();
    EXPECT_EQ(normal.Width(), 320);
    EXPECT_EQ(normal.Height(), 240);
  }
  window->showNormal();
  form.Hide();
}

// A small fixed dialog with a long caption: the window is wide enough for
// the caption, and the form lays out at that width.
TEST_F(QtUserSessionTest, AFixedWindowIsWideEnoughForItsCaption) {
  TForm form("TPickSomething");
  form.SetCaption("Pick the drill layer for the second part");
  form.Add<TButton>("OK", "OK").SetModalResult(mrOk);
  form.Show();
  QApplication::processEvents();
  QWidget* window = QtWidgetOf(form);
  const int need = QFontMetrics(window->font()).horizontalAdvance(window->windowTitle());
  EXPECT_GT(window->width(), need);
  EXPECT_EQ(form.Width(), window->width());
  form.Hide();
}

// The editor's Find dialog opens with the keyboard in "Text to find", also
// when the window below is handed the activation back after the dialog
// showed: the text typed at once is found, and Enter confirms it.
TEST_F(QtUserSessionTest, TheFindDialogTakesTheTypingInItsTextField) {
  TPreviewingForm main;
  main.Show();
  QWidget* mainWindow = QtWidgetOf(main);
  mainWindow->activateWindow();
  QApplication::processEvents();
  bool inField = false;
  // The late activation of the window below, as a closing menu hands it back.
  QTimer::singleShot(0, mainWindow, [mainWindow] { mainWindow->activateWindow(); });
  WhenModalOpens([&](QWidget* w) {
    QApplication::processEvents();
    QWidget* focus = QApplication::focusWidget();
    inField = focus != nullptr && w->isAncestorOf(focus) &&
              (qobject_cast<QLineEdit*>(focus) != nullptr || qobject_cast<QComboBox*>(focus) != nullptr);
    if (focus == nullptr) return;
    TypeInto(focus, "G01");
    SendKey(focus, Qt::Key_Return);
  });
  std::string text;
  uint8_t options = 0;
  const bool confirmed = RunSearchDialog(text, options);
  EXPECT_TRUE(inField);
  EXPECT_TRUE(confirmed);
  EXPECT_EQ(text, "G01");
  main.Hide();
}
