#include "platform/dialogs/dialogs.h"

namespace platform::dialogs {

std::vector<FilterEntry> ParseFilter(std::string_view filter) {
  std::vector<std::string_view> parts;
  while (!filter.empty()) {
    const std::size_t bar = filter.find('|');
    parts.push_back(filter.substr(0, bar));
    if (bar == std::string_view::npos) break;
    filter.remove_prefix(bar + 1);
  }
  std::vector<FilterEntry> entries;
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    const std::string_view description = parts[i];
    const std::string_view patterns = i + 1 < parts.size() ? parts[i + 1] : description;
    entries.push_back(FilterEntry{std::string(description), std::string(patterns)});
  }
  return entries;
}

bool FileChooser::Show() {
  std::optional<std::string> chosen = dialogs_.ChooseFile(kind_, filter_, file_name_);
  if (!chosen) return false;
  file_name_ = std::move(*chosen);
  return true;
}

}  // namespace platform::dialogs
