#include "platform/runtime/utf16.h"

#include <windows.h>

#include <climits>

#include "platform/runtime/error.h"

namespace platform {
namespace {

int Length(std::size_t n) {
  if (n > static_cast<std::size_t>(INT_MAX)) Raise(err::kOverflow, "溢出：文本超过 2 GB");
  return static_cast<int>(n);
}

}  // namespace

std::wstring ToWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), Length(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), Length(utf8.size()), wide.data(), n);
  return wide;
}

std::string FromWide(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int size = Length(utf16.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

}  // namespace platform
