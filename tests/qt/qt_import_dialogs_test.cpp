// The import's dialogs on the Qt backend (offscreen), driven with the keys
// and the mouse as an operator does.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include "foundation/report_windows.h"
#include "import/import_frame.h"
#include "import/odb_import.h"
#include "korvex_test.h"
#include "platform/forms.h"
#include "platform/menus.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_forms.h"
#include "platform/qt/qt_menus.h"

namespace {

class QtImportDialogsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    InstallQtCanvasBackend();
    InstallQtFormsBackend();
  }
  void TearDown() override {
    QApplication::processEvents();
    SetFormsBackend(nullptr);
    SetMenusBackend(nullptr);
    SetCanvasBackend(nullptr);
    TKorvexTest::TearDown();
  }
  // Keys typed into whatever has the keyboard once the dialog is up.
  static void TypeWhenShown(std::vector<std::pair<int, QString>> keys, QString* focusedKind) {
    QTimer::singleShot(50, [keys, focusedKind] {
      QWidget* focus = QApplication::focusWidget();
      if (focusedKind != nullptr) *focusedKind = focus ? focus->metaObject()->className() : "none";
      for (const auto& [key, text] : keys) {
        QWidget* target = QApplication::focusWidget();
        if (target == nullptr) return;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
        QApplication::processEvents();
      }
    });
  }
};

// The format dialog has the keys on its list at once: Down and Enter give
// DXF, a typed letter picks the format it begins; Enter takes a detected one.
TEST_F(QtImportDialogsTest, TheFormatDialogTakesDownLettersAndEnterOnItsList) {
  QString focused;
  TypeWhenShown({{Qt::Key_Down, ""}, {Qt::Key_Return, "\r"}}, &focused);
  EXPECT_EQ(AskFileFormat("NOTES.TXT"), fcDxf);
  EXPECT_EQ(focused, "QComboBox");
  TypeWhenShown({{Qt::Key_G, "g"}, {Qt::Key_Return, "\r"}}, nullptr);
  EXPECT_EQ(AskFileFormat("NOTES.TXT"), fcGerber);
  uint8_t code = fcHpgl;
  TypeWhenShown({{Qt::Key_Return, "\r"}}, &focused);
  ConfirmFileFormat(code, "BOARD.PLT");
  EXPECT_EQ(code, fcHpgl);
  EXPECT_EQ(focused, "QComboBox");
}

// The names of the layer dialog look pressed while the mouse button is
// down on them, and the click toggles the row.
TEST_F(QtImportDialogsTest, ALayerNameLooksPressedWhileTheMouseIsDownOnIt) {
  TValorLayerDialog dialog({"TOP", "DRILL"}, {"PCB", "PANEL"});
  dialog.Show();
  QApplication::processEvents();
  for (const char* name : {"Layer1", "Step2", "StepName1"}) {
    auto* frame = qobject_cast<QFrame*>(QtWidgetOf(dialog.Get<TControl>(name)));
    ASSERT_NE(frame, nullptr) << name;
    EXPECT_EQ(frame->frameShadow(), QFrame::Raised) << name;
    auto send = [frame](QEvent::Type type, Qt::MouseButtons held) {
      const QPoint at = frame->rect().center();
      QMouseEvent e(type, at, frame->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
      QApplication::sendEvent(frame, &e);
      QApplication::processEvents();
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_EQ(frame->frameShadow(), QFrame::Sunken) << name;
    send(QEvent::MouseButtonRelease, Qt::NoButton);
    EXPECT_EQ(frame->frameShadow(), QFrame::Raised) << name;
  }
  EXPECT_TRUE(dialog.Cell(1, 1).Checked());  // the row's click
  EXPECT_TRUE(dialog.Cell(1, 2).Checked());
  dialog.Hide();
}

// The import's results report opens over the main window it reports on,
// wherever that window stands, and its lines are in a fixed-pitch font.
TEST_F(QtImportDialogsTest, TheImportResultsReportOpensOverTheMainWindow) {
  TForm main("TWorkspace");
  main.Add<TLabel>("Label1", "Main window");
  TMainMenu menu("CadMenu");
  menu.Add("&File");
  main.SetMenu(&menu);
  main.SetClientSize(600, 420);
  main.Show();
  QApplication::processEvents();
  QWidget* mainWindow = QtWidgetOf(main);
  mainWindow->move(150, 90);
  QApplication::processEvents();
  TGTScrollWindow report;
  report.SetCaption("Import results");
  report.SetTextSize(30, 16);
  report.WriteLn("Decoding BOARD.DRL");
  report.Show();
  QApplication::processEvents();
  const QPoint reportCentre = QtWidgetOf(report)->frameGeometry().center();
  const QPoint mainCentre = mainWindow->frameGeometry().center();
  EXPECT_LE((reportCentre - mainCentre).manhattanLength(), 40)
      << reportCentre.x() << "," << reportCentre.y() << " over " << mainCentre.x() << "," << mainCentre.y();
  const QFontInfo font(QtWidgetOf(report.Memo1)->font());
  EXPECT_TRUE(font.fixedPitch()) << font.family().toStdString();
  report.Hide();
  main.SetMenu(nullptr);
  main.Hide();
}

}  // namespace
