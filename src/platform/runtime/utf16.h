#pragma once

#include <string>
#include <string_view>

// Text at the Win32 boundary: the program's UTF-8 to and from the
// system's UTF-16 (Windows builds only).
namespace platform {

// Malformed UTF-8 bytes become U+FFFD.
std::wstring ToWide(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string FromWide(std::wstring_view utf16);

}  // namespace platform
