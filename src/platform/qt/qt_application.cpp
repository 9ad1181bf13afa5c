#include "platform/qt/qt_application.h"

#include <string>

#include "platform/message_box.h"

namespace {

TQtExceptionHandler& Handler() {
  static TQtExceptionHandler handler;
  return handler;
}

void ShowPlainError(std::exception_ptr error) {
  std::string text = "Unknown exception";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    text = e.what();
  } catch (...) {
  }
  MessageDlgCaption(ApplicationTitle, text, mtError, mbOKOnly);
}

}  // namespace

void SetQtExceptionHandler(TQtExceptionHandler handler) { Handler() = std::move(handler); }

bool DeliverGuarded(const std::function<bool()>& deliver) {
  try {
    return deliver();
  } catch (...) {
    const std::exception_ptr error = std::current_exception();
    // The handler must not let anything escape into the event loop either.
    try {
      if (Handler())
        Handler()(error);
      else
        ShowPlainError(error);
    } catch (...) {
    }
    return false;
  }
}

TQtApplication::TQtApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TQtApplication::notify(QObject* receiver, QEvent* event) {
  return DeliverGuarded([&] { return QApplication::notify(receiver, event); });
}
