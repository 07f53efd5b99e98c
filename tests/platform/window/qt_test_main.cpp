// gtest's main with a QApplication around it, prepared as the program
// prepares its own (Chinese translation, locale, icon). The tests never
// need a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QTemporaryDir>

#include "platform/window/qt/qt_window.h"

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  }
  // Qt's dialogs keep their settings in the user's configuration folder;
  // the tests' go to a folder of their own, removed at the end.
  const QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  platform::window::PrepareApplication(app);
  // Tests close windows; that must not end an event loop a later test runs.
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
