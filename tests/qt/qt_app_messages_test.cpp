#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <vector>

#include "platform/app_messages.h"
#include "platform/qt/qt_app_messages.h"

TEST(QtAppMessages, KeyEventsReachTheHookAndCanBeSwallowed) {
  InstallQtAppMessagesBackend();
  QLineEdit edit;
  edit.show();
  edit.activateWindow();
  edit.setFocus();
  QApplication::processEvents();

  std::vector<TMessage> seen;
  TMessageHook previous = SetApplicationMessageHook([&](TMessage& m, bool& handled) {
    seen.push_back(m);
    handled = m.Msg == WM_CHAR && m.WParam == 'x';  // swallow x only
  });

  for (auto [key, text] : {std::pair{Qt::Key_A, QString("a")}, std::pair{Qt::Key_X, QString("x")}}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(&edit, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(&edit, &release);
  }
  SetApplicationMessageHook(previous);

  EXPECT_EQ(edit.text(), "a");
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[0].Msg, WM_KEYDOWN);
  EXPECT_EQ(seen[0].WParam, unsigned('A'));
  EXPECT_EQ(seen[1].Msg, WM_CHAR);
  EXPECT_EQ(seen[1].WParam, unsigned('a'));
  EXPECT_EQ(seen[2].Msg, WM_KEYUP);
}
