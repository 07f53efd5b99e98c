// The file system on Windows: the wide-character Win32 API, every handle
// owned by a Handle from the moment it is made.
#include <windows.h>

// windows.h names these as macros; the file system's methods share the names.
#undef DeleteFile
#undef MoveFile
#undef ReplaceFile

#include <algorithm>
#include <string>
#include <utility>

#include "platform/filesystem/file_error.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"
#include "platform/runtime/utf16.h"

namespace platform {
namespace {

using file_error::Fault;

constexpr std::size_t kWriteBufferSize = 1 << 16;
// One ReadFile or WriteFile moves at most this much (its count is 32-bit).
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;
// A workbook another program (Excel) holds open, even for writing, can
// still be read.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Paths this long take the \\?\ form, which lifts the 260-character limit
// (less room for an 8.3 name, as for folders).
constexpr std::size_t kLongPath = MAX_PATH - 12;

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { Close(); }
  Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, INVALID_HANDLE_VALUE)) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle& operator=(Handle&&) = delete;

  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }
  // False, with GetLastError() telling why, when the system reports a failure.
  bool Close() {
    if (!valid()) return true;
    return CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)) != 0;
  }

 private:
  HANDLE h_;
};

// The one place a Win32 error becomes a fault.
Fault FaultOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return Fault::kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
      return Fault::kPathNotFound;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return Fault::kFileExists;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
      return Fault::kDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return Fault::kDiskFull;
    case ERROR_FILENAME_EXCED_RANGE:
      return Fault::kNameTooLong;
    case ERROR_INVALID_NAME:
      return Fault::kBadName;
    default:
      return Fault::kOther;
  }
}

// The path as the wide-character API takes it: made absolute ("/" becomes
// "\"), and in the \\?\ form (\\?\UNC\ for a share) when it is long.
std::wstring Native(std::string_view path) {
  const std::wstring wide = ToWide(path);
  if (wide.empty() || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;  // the call that uses it reports the fault
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (n == 0 || n >= full.size()) return wide;
  full.resize(n);
  if (full.size() < kLongPath) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool IsFolderAttribute(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// True when the folder path names (the current one for a bare name) exists.
bool FolderOfExists(std::string_view path) {
  std::string_view folder = path.substr(0, path.size() - file_error::FileNamePart(path).size());
  if (folder.empty()) return true;
  if (folder.size() > 1 && IsPathSeparator(folder.back())) folder.remove_suffix(1);
  return IsFolderAttribute(Attributes(Native(folder)));
}

[[noreturn]] void RaiseWin32Error(DWORD error, std::string_view action, std::string_view path) {
  Fault fault = FaultOf(error);
  // Windows and Wine differ on a missing drive or folder on the way; the
  // folder itself tells.
  if (fault == Fault::kFileNotFound && !FolderOfExists(path)) fault = Fault::kPathNotFound;
  file_error::Raise(fault, action, path, "系统错误 " + std::to_string(error));
}

bool IsReadOnlyFile(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// Writes at offset, whatever the handle's own position.
void WriteAllAt(HANDLE file, std::uint64_t offset, std::string_view data, std::string_view path) {
  while (!data.empty()) {
    OVERLAPPED at = At(offset);
    DWORD wrote = 0;
    const auto chunk = static_cast<DWORD>(std::min(data.size(), kMaxTransfer));
    if (!WriteFile(file, data.data(), chunk, &wrote, &at)) RaiseWin32Error(GetLastError(), "写入", path);
    data.remove_prefix(wrote);
    offset += wrote;
  }
}

class Win32RandomAccessFile final : public RandomAccessFile {
 public:
  Win32RandomAccessFile(Handle&& file, std::uint64_t size, std::string path)
      : file_(std::move(file)), size_(size), path_(std::move(path)) {}

  std::uint64_t Size() const override { return size_; }

  std::size_t Read(std::uint64_t offset, std::size_t n, char* out) const override {
    std::size_t done = 0;
    while (done < n) {
      OVERLAPPED at = At(offset + done);
      DWORD got = 0;
      const auto chunk = static_cast<DWORD>(std::min(n - done, kMaxTransfer));
      if (!ReadFile(file_.get(), out + done, chunk, &got, &at)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) break;
        RaiseWin32Error(error, "读取", path_);
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

 private:
  Handle file_;
  std::uint64_t size_;
  std::string path_;
};

// Every write names its offset, so patching the header (WriteAt) leaves
// the append position alone.
class Win32WritableFile final : public WritableFile {
 public:
  Win32WritableFile(Handle&& file, std::string path) : file_(std::move(file)), path_(std::move(path)) {
    buffer_.reserve(kWriteBufferSize);
  }
  ~Win32WritableFile() override {
    if (!file_.valid()) return;
    try {
      Flush();
    } catch (const Error&) {
      // Nothing to report to from a destructor; Close() reports it.
    }
  }

  void Append(std::string_view data) override {
    if (buffer_.size() + data.size() <= kWriteBufferSize) {
      buffer_.append(data);
      return;
    }
    Flush();
    if (data.size() < kWriteBufferSize) {
      buffer_.append(data);
      return;
    }
    WriteAllAt(file_.get(), position_, data, path_);
    position_ += data.size();
  }

  void WriteAt(std::uint64_t offset, std::string_view data) override {
    Flush();
    WriteAllAt(file_.get(), offset, data, path_);
  }

  void Flush() override {
    if (buffer_.empty()) return;
    // Cleared first: a failed write must not be retried by the destructor.
    std::string pending;
    pending.swap(buffer_);
    buffer_.reserve(kWriteBufferSize);
    WriteAllAt(file_.get(), position_, pending, path_);
    position_ += pending.size();
  }

  void Sync() override {
    Flush();
    if (!FlushFileBuffers(file_.get())) RaiseWin32Error(GetLastError(), "写入", path_);
  }

  void Close() override {
    if (!file_.valid()) return;
    Flush();
    if (!file_.Close()) RaiseWin32Error(GetLastError(), "关闭", path_);
  }

 private:
  Handle file_;
  std::string path_;
  std::string buffer_;
  std::uint64_t position_ = 0;
};

bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
  const Handle file(CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file.valid() && GetFileInformationByHandle(file.get(), &info) != 0;
}

class Win32FileSystem : public FileSystem {
 public:
  bool FileExists(std::string_view path) const override {
    const DWORD attributes = Attributes(Native(path));
    return attributes != INVALID_FILE_ATTRIBUTES && !IsFolderAttribute(attributes);
  }

  bool FolderExists(std::string_view path) const override {
    return IsFolderAttribute(Attributes(Native(path)));
  }

  bool IsReadOnly(std::string_view path) const override {
    return IsReadOnlyFile(Attributes(Native(path)));
  }

  // The read-only flag is checked here, not left to DeleteFileW.
  void DeleteFile(std::string_view path, bool force) override {
    const std::wstring p = Native(path);
    const DWORD attributes = Attributes(p);
    if (attributes == INVALID_FILE_ATTRIBUTES) RaiseWin32Error(GetLastError(), "删除", path);
    if (IsFolderAttribute(attributes)) file_error::Raise(Fault::kIsFolder, "删除", path);
    if (IsReadOnlyFile(attributes)) {
      if (!force) file_error::Raise(Fault::kDenied, "删除", path);
      if (!SetFileAttributesW(p.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
        RaiseWin32Error(GetLastError(), "删除", path);
      }
    }
    if (!DeleteFileW(p.c_str())) RaiseWin32Error(GetLastError(), "删除", path);
  }

  // Without MOVEFILE_REPLACE_EXISTING the system refuses an existing
  // destination itself, also one that appears after the check below.
  void MoveFile(std::string_view source, std::string_view destination) override {
    const std::wstring from = Native(source);
    const std::wstring to = Native(destination);
    if (Attributes(from) == INVALID_FILE_ATTRIBUTES) RaiseWin32Error(GetLastError(), "移动", source);
    if (Attributes(to) != INVALID_FILE_ATTRIBUTES) {
      file_error::Raise(Fault::kFileExists, "移动到", destination);
    }
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) return;
    const DWORD error = GetLastError();
    // The source is a name we chose; a destination that exists, is too
    // long or lies in a missing folder is the one to name.
    const Fault fault = FaultOf(error);
    const bool blame_destination = fault == Fault::kFileExists || fault == Fault::kPathNotFound ||
                                   fault == Fault::kNameTooLong || fault == Fault::kBadName;
    RaiseWin32Error(error, blame_destination ? "移动到" : "移动",
                    blame_destination ? destination : source);
  }

  bool SameFile(std::string_view a, std::string_view b) const override {
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    return FileIdentity(Native(a), ia) && FileIdentity(Native(b), ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
  }

  std::string GetFileName(std::string_view path) const override {
    return std::string(file_error::FileNamePart(path));
  }

  void ReplaceFile(std::string_view source, std::string_view destination) override {
    const std::wstring from = Native(source);
    const std::wstring to = Native(destination);
    {
      Handle file(CreateFileW(from.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file.valid()) RaiseWin32Error(GetLastError(), "打开", source);
      if (!FlushFileBuffers(file.get())) RaiseWin32Error(GetLastError(), "写入", source);
    }
    const DWORD attributes = Attributes(to);
    if (IsFolderAttribute(attributes)) file_error::Raise(Fault::kIsFolder, "替换", destination);
    // Windows refuses to replace a read-only file, but Wine does not: the
    // rule is kept here so that both behave alike.
    if (IsReadOnlyFile(attributes)) file_error::Raise(Fault::kDenied, "替换", destination);
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      RaiseWin32Error(GetLastError(), "替换", destination);
    }
  }

  std::unique_ptr<RandomAccessFile> OpenForRead(std::string_view path) const override {
    const std::wstring p = Native(path);
    if (IsFolderAttribute(Attributes(p))) file_error::Raise(Fault::kIsFolder, "打开", path);
    Handle file(CreateFileW(p.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) RaiseWin32Error(GetLastError(), "打开", path);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) RaiseWin32Error(GetLastError(), "打开", path);
    return std::make_unique<Win32RandomAccessFile>(
        std::move(file), static_cast<std::uint64_t>(size.QuadPart), std::string(path));
  }

  // Others may read the file and delete or rename it while it is written,
  // as on other systems.
  std::unique_ptr<WritableFile> CreateExclusive(std::string_view path) override {
    const std::wstring p = Native(path);
    Handle file(CreateFileW(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) RaiseWin32Error(GetLastError(), "创建", path);
    return std::make_unique<Win32WritableFile>(std::move(file), std::string(path));
  }
};

}  // namespace

bool IsPathSeparator(char32_t c) { return c == '\\' || c == '/'; }

FileSystem& RealFileSystem() {
  static Win32FileSystem file_system;
  return file_system;
}

}  // namespace platform
