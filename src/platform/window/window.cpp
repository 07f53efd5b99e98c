#include "platform/window/window.h"

namespace platform::window {

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

}  // namespace platform::window
