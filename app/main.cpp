// The korvex program: the Qt desktop front end.
#include <QApplication>

#include "platform/qt/qt_backend.h"
#include "workspace/startup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("KORVEX 6");
  InstallQtBackend();
  return RunProgram([] { return QApplication::exec(); });
}
