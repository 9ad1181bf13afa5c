// The Qt application object of the program: QApplication whose event
// dispatch routes every exception that escapes an event handler to the
// application's exception handler, so that a failing operation never
// unwinds through the window system's event loop.
//
//   TQtApplication app(argc, argv);
//   SetQtExceptionHandler(
//       [](std::exception_ptr e) { HandleApplicationException(e); });
//
// With no handler set, an escaped exception gets an error box with its
// message.
#pragma once
#include <QApplication>
#include <exception>
#include <functional>

using TQtExceptionHandler = std::function<void(std::exception_ptr error)>;

// Installs the handler (an empty function puts the error box back).
void SetQtExceptionHandler(TQtExceptionHandler handler);

// Runs deliver, which hands one event to its receiver; an exception that
// escapes it goes to the handler and the event counts as not handled.
bool DeliverGuarded(const std::function<bool()>& deliver);

class TQtApplication : public QApplication {
  Q_OBJECT

 public:
  TQtApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};
