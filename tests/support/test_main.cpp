// Shared main for the test executables: a QApplication (offscreen) for the
// windows, then GoogleTest.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // Files that a program writes relative to the current folder ("pid.par"
  // without a Dir setting) land in a folder of their own.
  QTemporaryDir work;
  QDir::setCurrent(work.path());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
