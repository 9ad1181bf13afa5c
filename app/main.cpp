// The korvex program: the Qt desktop front end.
#include "platform/qt/qt_application.h"
#include "platform/qt/qt_backend.h"
#include "workspace/error_inspector.h"
#include "workspace/startup.h"

int main(int argc, char** argv) {
  TQtApplication app(argc, argv);
  QApplication::setApplicationName("KORVEX 6");
  InstallQtBackend();
  // An exception that escapes an event handler is recorded in the error log.
  SetQtExceptionHandler([](std::exception_ptr error) { HandleApplicationException(error); });
  return RunProgram([] { return QApplication::exec(); });
}
