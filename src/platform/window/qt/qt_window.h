#pragma once

#include <QString>
#include <map>
#include <memory>
#include <string>

#include "platform/window/window.h"

class QApplication;
class QWidget;

// The window on Qt Widgets (Linux). Qt's own file dialogs and message boxes
// are used, in Chinese whatever the system's language.
namespace platform::window {

// What every Qt program of ours sets on its application before it shows a
// window: its name, its icon, the Chinese locale and Qt's Chinese
// translation (打开, 另存为, 确定, 是(Y), 否(N)). True when the translation
// was found and installed; without it Qt's own texts stay English.
bool PrepareApplication(QApplication& app);

class FormWidget;

class QtWindow : public Window {
 public:
  // A QApplication must exist for as long as the window; `app`, when
  // given, is one the window owns and destroys after its widgets.
  explicit QtWindow(std::unique_ptr<QApplication> app = nullptr);
  ~QtWindow() override;

  // The window's top-level widget, for tests and screenshots; nullptr
  // before Build. Its controls carry the form's names as objectName.
  QWidget* Widget() const;

  void Build(const Form& form, FormEvents& events) override;
  int Run() override;
  void Quit(int exit_status) override;
  void Close() override;
  std::string Text(std::string_view control) const override;
  void SetText(std::string_view control, std::string_view text) override;
  void Enable(std::string_view control, bool enabled) override;
  void Focus(std::string_view control) override;
  void ProcessPendingEvents() override;
  void ShowMessage(MessageIcon icon, std::string_view text, std::string_view title) override;
  bool AskYesNo(std::string_view text, std::string_view title) override;
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;

 private:
  QWidget& At(std::string_view control) const;

  std::unique_ptr<QApplication> app_;  // first: destroyed last
  std::unique_ptr<FormWidget> widget_;
  std::map<std::string, QWidget*, std::less<>> controls_;
  std::optional<int> quit_status_;
};

// A classic filter as Qt's name-filter list: ".xls|*.xls" becomes
// ".xls (*.xls)"; entries are joined with ";;".
QString QtNameFilters(std::string_view filter);

}  // namespace platform::window
