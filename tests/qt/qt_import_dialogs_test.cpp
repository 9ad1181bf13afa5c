// The import's dialogs on the Qt backend (offscreen), driven with the keys
// an operator uses: the format dialog takes Down, letters and Enter on its
// list; the layer names of the ODB++ layer dialog look pressed under the
// mouse.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

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

// The dialog that asks for the format of a file no detector knew: the keys
// reach the list at once, so Down and Enter import the file as DXF and
// typed letters pick the format they begin.
TEST_F(QtImportDialogsTest, TheFormatDialogTakesDownLettersAndEnterOnItsList) {
  QString focused;
  TypeWhenShown({{Qt::Key_Down, ""}, {Qt::Key_Return, "\r"}}, &focused);
  EXPECT_EQ(AskFileFormat("NOTES.TXT"), fcDxf);
  EXPECT_EQ(focused, "QComboBox");
  TypeWhenShown({{Qt::Key_G, "g"}, {Qt::Key_Return, "\r"}}, nullptr);
  EXPECT_EQ(AskFileFormat("NOTES.TXT"), fcGerber);
  // A detected format is offered and Enter takes it.
  uint8_t code = fcHpgl;
  TypeWhenShown({{Qt::Key_Return, "\r"}}, &focused);
  ConfirmFileFormat(code, "BOARD.PLT");
  EXPECT_EQ(code, fcHpgl);
  EXPECT_EQ(focused, "QComboBox");
}

}  // namespace
