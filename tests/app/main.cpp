// The window tests need one QApplication for the whole run (offscreen platform).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
