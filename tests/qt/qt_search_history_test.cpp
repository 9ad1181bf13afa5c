// The editor's find and replace boxes on the Qt backend, typed into as an
// operator does: what is typed is what is searched for and put in, however
// the earlier searches of the history begin; the history is offered in the
// drop-down.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QKeyEvent>
#include <QTimer>
#include <functional>
#include <string>

#include "editor/editor_window.h"
#include "platform/forms.h"
#include "platform/menus.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_forms.h"

namespace {

class QtSearchHistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallQtCanvasBackend();
    InstallQtFormsBackend();
    EditorSession = TEditorSession{};
    RememberWord(EditorSession.SearchWords, "G01X0500");
    RememberWord(EditorSession.SearchWords, "X0324Y-0283");
    RememberWord(EditorSession.ReplaceWords, "X0325Y-0283");
  }
  void TearDown() override {
    QApplication::processEvents();
    EditorSession = TEditorSession{};
    SetFormsBackend(nullptr);
    SetMenusBackend(nullptr);
    SetCanvasBackend(nullptr);
  }
};

// Runs action on the modal dialog once it is open, with its editable boxes
// in the order of the form.
void WhenDialogOpens(std::function<void(QWidget*, QList<QComboBox*>)> action, int tries = 200) {
  QTimer::singleShot(10, [action, tries] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      QPointer<QWidget> guard = w;
      action(w, w->findChildren<QComboBox*>());
      if (auto* d = qobject_cast<QDialog*>(guard.data()); d && d->isVisible()) d->reject();
    } else if (tries > 0) {
      WhenDialogOpens(action, tries - 1);
    }
  });
}

// A key pressed and released on the widget, as the keyboard sends it.
void KeyClick(QWidget* to, int key, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(to, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(to, &release);
}

// Types into the box's edit field as the keyboard does, over what it held.
void TypeInto(QComboBox* box, const QString& text) {
  ASSERT_NE(box->lineEdit(), nullptr);
  box->lineEdit()->setFocus();
  box->lineEdit()->selectAll();
  KeyClick(box->lineEdit(), Qt::Key_Backspace);
  for (QChar c : text) {
    const int key = c.isLetter() ? int(c.toUpper().unicode()) : c == QChar('-') ? int(Qt::Key_Minus) : int(c.unicode());
    KeyClick(box->lineEdit(), key, QString(c));
  }
}

}  // namespace

TEST_F(QtSearchHistoryTest, TheFindBoxSearchesForWhatWasTypedNotAnEarlierSearch) {
  // The start of an earlier search, then Enter: the typed text, in any case.
  for (const char* typed : {"X0324Y", "X03", "x0324y", "G0"}) {
    QString shown;
    WhenDialogOpens([&](QWidget*, QList<QComboBox*> boxes) {
      ASSERT_GE(boxes.size(), 1);
      TypeInto(boxes[0], typed);
      shown = boxes[0]->currentText();
      KeyClick(boxes[0]->lineEdit(), Qt::Key_Return);
    });
    std::string text;
    uint8_t options = 0;
    ASSERT_TRUE(RunSearchDialog(text, options)) << typed;
    EXPECT_EQ(shown.toStdString(), typed);
    EXPECT_EQ(text, typed);
  }
  // The history is still there, in the drop-down: Down takes its first
  // entry, the last search.
  std::string picked;
  WhenDialogOpens([&](QWidget*, QList<QComboBox*> boxes) {
    ASSERT_GE(boxes.size(), 1);
    // The list is the history, nothing the box added of its own.
    EXPECT_EQ(boxes[0]->count(), 6);
    TypeInto(boxes[0], "");
    KeyClick(boxes[0]->lineEdit(), Qt::Key_Down);
    picked = boxes[0]->currentText().toStdString();
    KeyClick(boxes[0]->lineEdit(), Qt::Key_Return);
  });
  std::string text;
  uint8_t options = 0;
  ASSERT_TRUE(RunSearchDialog(text, options));
  EXPECT_EQ(picked, EditorSession.SearchWords[0]);
  EXPECT_EQ(text, picked);
}

TEST_F(QtSearchHistoryTest, TheReplaceBoxesKeepBothTypedTexts) {
  WhenDialogOpens([&](QWidget*, QList<QComboBox*> boxes) {
    ASSERT_EQ(boxes.size(), 2);
    TypeInto(boxes[0], "X0324Y");
    TypeInto(boxes[1], "X0325Y");
    KeyClick(boxes[1]->lineEdit(), Qt::Key_Return);
  });
  std::string find, with;
  uint8_t options = 0;
  ASSERT_TRUE(RunReplaceDialog(find, with, options));
  EXPECT_EQ(find, "X0324Y");
  EXPECT_EQ(with, "X0325Y");
  // Put to work on the line the operator had: only the X word changes.
  TForm host("THost");
  TQedController controller(host);
  auto& box = host.Add<TPaintBox>("Box");
  TQedTextFileEditor editor(box, &controller);
  editor.InsertString("G81X0324Y-0283");
  editor.SetCaretPosition(1, 1);
  EXPECT_EQ(editor.Replace(find, with, uint8_t(options | soReplaceAll)), 1);
  EXPECT_EQ(editor.Text(), "G81X0325Y-0283");
}
