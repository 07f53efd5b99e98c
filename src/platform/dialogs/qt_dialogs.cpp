#include "platform/dialogs/qt_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace platform::dialogs {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString QtNameFilters(std::string_view filter) {
  QStringList filters;
  for (const FilterEntry& entry : ParseFilter(filter)) {
    QString patterns = FromUtf8(entry.patterns);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << FromUtf8(entry.description) + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return filters.join(QStringLiteral(";;"));
}

std::optional<std::string> QtDialogs::ChooseFile(FileDialogKind kind, std::string_view filter,
                                                 std::string_view file_name) {
  QFileDialog dialog(QApplication::activeWindow());
  if (kind == FileDialogKind::kOpen) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The conversion asks before it replaces a file; asking here as well
    // would put the question twice.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  }
  dialog.setNameFilter(QtNameFilters(filter));
  if (!file_name.empty()) dialog.selectFile(FromUtf8(file_name));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  // Qt hands back '/' on every system; the program splits paths at the
  // platform's own separator.
  return QDir::toNativeSeparators(chosen.front()).toStdString();
}

void QtDialogs::ShowInformation(std::string_view text, std::string_view title) {
  QMessageBox box(QMessageBox::Information, FromUtf8(title), FromUtf8(text), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

bool QtDialogs::AskYesNo(std::string_view text, std::string_view title) {
  QMessageBox box(QMessageBox::Information, FromUtf8(title), FromUtf8(text),
                  QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  box.exec();
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

}  // namespace platform::dialogs
