// Converts one workbook through the window, for timing against the
// command line: window_convert WORKBOOK TARGET
// The window is shown (offscreen unless a platform is chosen), Convert is
// clicked, an existing target is replaced. Prints the run's own time on
// stderr; exits 0 when the conversion completed, 1 otherwise.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "frmexcel/conversion_run.h"
#include "frmexcel/frmexcel.h"
#include "platform/dialogs/fake_dialogs.h"

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: window_convert WORKBOOK TARGET\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  }
  QApplication app(argc, argv);
  platform::dialogs::FakeDialogs dialogs;
  dialogs.yes_no_answers = {true};
  frmexcel::FrmExcel window(dialogs, frmexcel::DefaultServices());
  window.findChild<QLineEdit*>(QStringLiteral("txtexcel"))->setText(QString::fromLocal8Bit(argv[1]));
  window.findChild<QLineEdit*>(QStringLiteral("txtdbf"))->setText(QString::fromLocal8Bit(argv[2]));
  window.show();

  int status = 0;
  QObject::connect(&window, &frmexcel::FrmExcel::fatalError, &window,
                   [&status](int exit_status) { status = exit_status; });
  QTimer::singleShot(0, &window, [&] {
    QElapsedTimer clock;
    clock.start();
    window.findChild<QPushButton*>(QStringLiteral("cmd转换"))->click();
    std::fprintf(stderr, "run %.3f s\n", static_cast<double>(clock.nsecsElapsed()) / 1e9);
    QCoreApplication::exit(status);
  });
  const int result = QApplication::exec();
  for (const auto& message : dialogs.messages) {
    if (!message.yes_no) std::fprintf(stderr, "%s\n", message.text.c_str());
  }
  return result;
}
