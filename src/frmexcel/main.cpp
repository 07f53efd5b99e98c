#include <QApplication>

#include "frmexcel/conversion_run.h"
#include "frmexcel/frmexcel.h"
#include "frmicon/frmicon.h"
#include "platform/dialogs/qt_dialogs.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("excel2dbf"));
  QApplication::setApplicationVersion(QStringLiteral("1.00"));
  QApplication::setDesktopFileName(QStringLiteral("excel2dbf"));
  QApplication::setWindowIcon(frmicon::ProgramIcon());

  platform::dialogs::QtDialogs dialogs;
  frmexcel::FrmExcel window(dialogs, frmexcel::DefaultServices());
  QObject::connect(&window, &frmexcel::FrmExcel::fatalError, &app,
                   [](int exit_status) { QCoreApplication::exit(exit_status); });
  window.show();
  return app.exec();
}
