// The modal dialogs of the Qt window: message boxes and the file dialogs.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QStringList>
#include <QTreeView>

#include "platform/window/qt/qt_window.h"

namespace platform::window {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Qt's own dialog, not the desktop's: only it speaks the Chinese that the
// application installs, whatever the desktop's language.
void SetUpFileDialog(QFileDialog& dialog, const FileDialogRequest& request) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (request.kind == FileDialogKind::kOpen) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The conversion asks before it replaces a file; asking here as well
    // would put the question twice.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  }
  dialog.setDefaultSuffix(FromUtf8(request.default_extension));
  dialog.setNameFilter(QtNameFilters(request.filter));
  if (!request.file_name.empty()) dialog.selectFile(FromUtf8(request.file_name));
  // The detail columns are sized for English by default: in Chinese the
  // sizes ("38.5 MB") and types would be cut short.
  if (auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  }
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

std::optional<std::string> QtWindow::ChooseFile(const FileDialogRequest& request) {
  QFileDialog dialog(Widget());
  SetUpFileDialog(dialog, request);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  // Qt hands back '/' on every system; the program splits paths at the
  // platform's own separator.
  return QDir::toNativeSeparators(chosen.front()).toStdString();
}

void QtWindow::ShowMessage(MessageIcon icon, std::string_view text, std::string_view title) {
  QMessageBox box(icon == MessageIcon::kError ? QMessageBox::Critical : QMessageBox::Information,
                  FromUtf8(title), FromUtf8(text), QMessageBox::Ok, Widget());
  box.exec();
}

bool QtWindow::AskYesNo(std::string_view text, std::string_view title) {
  QMessageBox box(QMessageBox::Information, FromUtf8(title), FromUtf8(text),
                  QMessageBox::Yes | QMessageBox::No, Widget());
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  box.exec();
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

}  // namespace platform::window
