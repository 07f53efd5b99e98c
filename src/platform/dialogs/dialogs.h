#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The platform's modal dialogs: the Open and Save As file dialogs and the
// message boxes. Text is UTF-8. The program uses QtDialogs (qt_dialogs.h);
// tests answer through FakeDialogs (fake_dialogs.h).
namespace platform::dialogs {

enum class FileDialogKind { kOpen, kSaveAs };

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Shows the Open or the Save As dialog, modal to the active window, with
  // `file_name` preselected and `filter` in the classic form
  // "description|patterns[|description|patterns...]". Returns the chosen
  // path with the platform's separators, or nullopt when the user
  // cancelled. Save As does not ask about overwriting an existing file:
  // that is the caller's business. No file is opened or created.
  virtual std::optional<std::string> ChooseFile(FileDialogKind kind,
                                                std::string_view filter,
                                                std::string_view file_name) = 0;

  // A message box with the information icon and an OK button; returns
  // when the user has closed it.
  virtual void ShowInformation(std::string_view text,
                               std::string_view title) = 0;

  // A message box with the information icon and the buttons Yes and No,
  // Yes the default. True when the user pressed Yes; closing the box
  // otherwise counts as No.
  virtual bool AskYesNo(std::string_view text, std::string_view title) = 0;
};

// One entry of a classic filter: ".xls|*.xls" is {".xls", "*.xls"}.
struct FilterEntry {
  std::string description;
  std::string patterns;  // ';'-separated, e.g. "*.xls;*.xlt"

  friend bool operator==(const FilterEntry&, const FilterEntry&) = default;
};

// Splits a classic filter into its entries. A trailing description
// without patterns gets its description as the pattern, as the classic
// dialogs do; an empty filter has no entries.
std::vector<FilterEntry> ParseFilter(std::string_view filter);

// A file dialog that keeps its filter and its last file name between
// uses, like the window's two choosers: every use starts from the name
// the previous successful use returned.
class FileChooser {
 public:
  // `dialogs` must outlive the chooser.
  FileChooser(Dialogs& dialogs, FileDialogKind kind, std::string filter)
      : dialogs_(dialogs), kind_(kind), filter_(std::move(filter)) {}

  // Shows the dialog. True when the user chose a file, which FileName()
  // then holds; false when cancelled, FileName() unchanged.
  bool Show();

  const std::string& FileName() const { return file_name_; }
  const std::string& Filter() const { return filter_; }

 private:
  Dialogs& dialogs_;
  FileDialogKind kind_;
  std::string filter_;
  std::string file_name_;
};

}  // namespace platform::dialogs
