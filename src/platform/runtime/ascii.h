#pragma once

#include <string>
#include <string_view>

// Rules on the ASCII characters of UTF-8 text (keywords of statements and
// connection texts, table names): whatever the process locale, and never
// touching the bytes of a multi-byte character.
namespace platform::ascii {

constexpr char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

constexpr bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// The text with every apostrophe (') removed: how a table name the schema
// lists is turned into the name a select statement uses.
inline std::string WithoutApostrophes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c != '\'') out += c;
  }
  return out;
}

}  // namespace platform::ascii
