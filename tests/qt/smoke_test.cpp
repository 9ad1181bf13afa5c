#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>

TEST(QtBackendSmoke, OffscreenWindowOpensAndCloses) {
  QMainWindow w;
  w.setWindowTitle("KORVEX 6");
  w.show();
  QApplication::processEvents();
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(w.close());
}
