#pragma once

#include <string_view>

// What went wrong with a file, whatever system reported it; each port maps
// its own codes (errno, GetLastError) here in one place.
namespace platform::file_error {

enum class Fault {
  kFileNotFound,    // 53
  kPathNotFound,    // 76: a folder on the way is missing
  kFileExists,      // 58
  kDenied,          // 70: permissions, a read-only file, a file in use
  kDiskFull,        // 61
  kIsFolder,        // 75
  kNameTooLong,     // 75
  kBadName,         // 75: characters the system does not take in a name
  kOther,           // 75, with the system's own code in detail
};

// Throws the Error for fault. `action` says what was being done ("打开",
// "写入", ...) and goes into the description with the path.
[[noreturn]] void Raise(Fault fault, std::string_view action, std::string_view path,
                        std::string_view detail = {});

// The text after the last separator of path.
std::string_view FileNamePart(std::string_view path);

}  // namespace platform::file_error
