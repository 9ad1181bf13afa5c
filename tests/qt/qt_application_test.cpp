#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <exception>
#include <stdexcept>
#include <string>

#include "platform/headless/headless_dialogs.h"
#include "platform/message_box.h"
#include "platform/qt/qt_application.h"

namespace {

// Throws from its event handler, as a failing operation would.
class TThrowingObject : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("handler failed");
    return QObject::event(e);
  }
};

std::string MessageOf(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) {
    return x.what();
  } catch (...) {
    return "?";
  }
}

}  // namespace

TEST(QtApplicationTest, EscapedExceptionsReachTheHandler) {
  std::vector<std::string> seen;
  SetQtExceptionHandler([&](std::exception_ptr e) { seen.push_back(MessageOf(e)); });
  TThrowingObject receiver;
  QEvent event(QEvent::User);
  const bool handled =
      DeliverGuarded([&] { return qApp->QApplication::notify(&receiver, &event); });
  EXPECT_FALSE(handled);
  EXPECT_EQ(seen, std::vector<std::string>{"handler failed"});

  // A handler that fails itself never lets the exception into the event loop.
  SetQtExceptionHandler([](std::exception_ptr) { throw std::logic_error("handler broke"); });
  EXPECT_FALSE(DeliverGuarded([]() -> bool { throw 7; }));
  EXPECT_TRUE(DeliverGuarded([] { return true; }));
  SetQtExceptionHandler({});
}

TEST(QtApplicationTest, WithoutAHandlerAnErrorBoxShows) {
  SetMessageBoxBackend(nullptr);  // the recording backend
  ResetMessageBoxScript();
  SetQtExceptionHandler({});
  EXPECT_FALSE(DeliverGuarded([]() -> bool { throw std::runtime_error("no handler"); }));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "no handler");
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtError);
  ResetMessageBoxScript();
}
