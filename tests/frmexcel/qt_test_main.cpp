// gtest's main with a QApplication around it: the widget tests need one,
// and they never need a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  }
  QApplication app(argc, argv);
  // Tests close windows; that must not end an event loop a later test runs.
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
