// The korvex program: the Qt desktop front end.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("KORVEX 6");
  QMainWindow window;
  window.setWindowTitle("KORVEX 6");
  window.resize(600, 476);
  window.show();
  return app.exec();
}
