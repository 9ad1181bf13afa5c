#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>

TEST(QtBackendSmoke, OffscreenWindowOpensAndCloses) {
  int argc = 1;
  char name[] = "test_qt";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QMainWindow w;
  w.setWindowTitle("KORVEX 6");
  w.show();
  QApplication::processEvents();
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(w.close());
}
