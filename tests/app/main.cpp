// The window tests need one QApplication for the whole run (offscreen platform).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Test discovery runs this program without CTest's environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
