// What every port of the file system shares: path conversions, the error
// texts, the in-memory file.
#include "platform/filesystem/filesystem.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/filesystem/file_error.h"
#include "platform/runtime/error.h"

namespace platform {

std::filesystem::path ToFsPath(std::string_view utf8_path) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8_path.data()), utf8_path.size()));
}

std::string FromFsPath(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

std::string AbsolutePath(std::string_view path) {
  if (path.empty()) return std::string(path);
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(ToFsPath(path), error);
  return error ? std::string(path) : FromFsPath(absolute);
}

std::size_t MemoryFile::Read(std::uint64_t offset, std::size_t n, char* out) const {
  if (offset >= bytes_.size()) return 0;
  const std::size_t count = std::min<std::uint64_t>(n, bytes_.size() - offset);
  std::memcpy(out, bytes_.data() + offset, count);
  return count;
}

namespace file_error {

void Raise(Fault fault, std::string_view action, std::string_view path, std::string_view detail) {
  const std::string p(path);
  const std::string what(action);
  switch (fault) {
    case Fault::kFileNotFound:
      platform::Raise(err::kFileNotFound, "找不到文件：" + p);
    case Fault::kPathNotFound:
      platform::Raise(err::kPathNotFound, "路径未找到：" + p);
    case Fault::kFileExists:
      platform::Raise(err::kFileExists, "文件已存在：" + p);
    case Fault::kDenied:
      platform::Raise(err::kPermissionDenied, "没有权限" + what + "：" + p);
    case Fault::kDiskFull:
      platform::Raise(err::kDiskFull, "磁盘已满，无法" + what + "：" + p);
    case Fault::kIsFolder:
      platform::Raise(err::kPathFileAccess, "这是文件夹，不是文件：" + p);
    case Fault::kNameTooLong:
      platform::Raise(err::kPathFileAccess, "路径太长：" + p);
    case Fault::kBadName:
      platform::Raise(err::kPathFileAccess, "文件名无效：" + p);
    case Fault::kOther:
      break;
  }
  platform::Raise(err::kPathFileAccess,
                  "路径/文件访问错误（" + what + "）：" + p + "（" + std::string(detail) + "）");
}

std::string_view FileNamePart(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return path.substr(i);
  }
  return path;
}

}  // namespace file_error
}  // namespace platform
