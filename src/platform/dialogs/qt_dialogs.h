#pragma once

#include <QString>

#include "platform/dialogs/dialogs.h"

namespace platform::dialogs {

// The dialogs of Qt Widgets (the system's own file dialogs where Qt has
// them). Each is modal to the application's active window.
class QtDialogs : public Dialogs {
 public:
  std::optional<std::string> ChooseFile(FileDialogKind kind, std::string_view filter,
                                        std::string_view file_name) override;
  void ShowInformation(std::string_view text, std::string_view title) override;
  bool AskYesNo(std::string_view text, std::string_view title) override;
};

// A classic filter as Qt's name-filter list: ".xls|*.xls" becomes
// ".xls (*.xls)"; entries are joined with ";;".
QString QtNameFilters(std::string_view filter);

}  // namespace platform::dialogs
