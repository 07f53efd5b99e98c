// The file system on POSIX (Linux): descriptors, errno.
#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/filesystem/file_error.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"

namespace platform {
namespace {

using file_error::Fault;

constexpr std::size_t kWriteBufferSize = 1 << 16;
// After this much written, the system is asked to start putting it on disk.
constexpr std::uint64_t kWriteBehindBytes = 4 << 20;

std::string Native(std::string_view path) { return std::string(path); }

std::string ParentOf(std::string_view path) {
  const auto slash = path.find_last_of(kPathSeparator);
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return std::string(1, kPathSeparator);
  return std::string(path.substr(0, slash));
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The one place errno becomes a fault.
[[noreturn]] void RaiseFileError(int errno_value, std::string_view action, std::string_view path) {
  switch (errno_value) {
    case ENOENT:  // a missing folder on the way is a different fault from a missing file
      file_error::Raise(IsFolder(ParentOf(path)) ? Fault::kFileNotFound : Fault::kPathNotFound,
                        action, path);
    case ENOTDIR:
      file_error::Raise(Fault::kPathNotFound, action, path);
    case EEXIST:
      file_error::Raise(Fault::kFileExists, action, path);
    case EACCES:
    case EPERM:
    case EROFS:
      file_error::Raise(Fault::kDenied, action, path);
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
      file_error::Raise(Fault::kDiskFull, action, path);
    case EISDIR:
      file_error::Raise(Fault::kIsFolder, action, path);
    case ENAMETOOLONG:
      file_error::Raise(Fault::kNameTooLong, action, path);
    default:
      file_error::Raise(Fault::kOther, action, path, std::strerror(errno_value));
  }
}

// Retries a call interrupted by a signal.
template <typename F>
auto Retry(F f) {
  decltype(f()) r;
  do {
    r = f();
  } while (r == -1 && errno == EINTR);
  return r;
}

void WriteAll(int fd, const char* data, std::size_t n, std::string_view path) {
  while (n > 0) {
    const ssize_t w = Retry([&] { return ::write(fd, data, n); });
    if (w < 0) RaiseFileError(errno, "写入", path);
    data += w;
    n -= static_cast<std::size_t>(w);
  }
}

void SyncFolderOf(std::string_view path) {
  const int fd = ::open(ParentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // best effort: the rename itself has happened
  ::fsync(fd);
  ::close(fd);
}

class PosixRandomAccessFile final : public RandomAccessFile {
 public:
  PosixRandomAccessFile(int fd, std::uint64_t size, std::string path)
      : fd_(fd), size_(size), path_(std::move(path)) {}
  ~PosixRandomAccessFile() override { ::close(fd_); }

  std::uint64_t Size() const override { return size_; }

  std::size_t Read(std::uint64_t offset, std::size_t n, char* out) const override {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t r = Retry([&] {
        return ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
      });
      if (r < 0) RaiseFileError(errno, "读取", path_);
      if (r == 0) break;
      done += static_cast<std::size_t>(r);
    }
    return done;
  }

 private:
  int fd_;
  std::uint64_t size_;
  std::string path_;
};

class PosixWritableFile final : public WritableFile {
 public:
  PosixWritableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {
    buffer_.reserve(kWriteBufferSize);
  }
  ~PosixWritableFile() override {
    if (fd_ >= 0) {
      try {
        Flush();
      } catch (const Error&) {
        // Nothing to report to from a destructor; Close() reports it.
      }
      ::close(fd_);
    }
  }

  void Append(std::string_view data) override {
    if (buffer_.size() + data.size() > kWriteBufferSize) {
      Flush();
      if (data.size() >= kWriteBufferSize) {
        WriteAll(fd_, data.data(), data.size(), path_);
        position_ += data.size();
        Wrote(data.size());
        return;
      }
    }
    buffer_.append(data);
  }

  void WriteAt(std::uint64_t offset, std::string_view data) override {
    Flush();
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t w = Retry([&] {
        return ::pwrite(fd_, data.data() + done, data.size() - done,
                        static_cast<off_t>(offset + done));
      });
      if (w < 0) RaiseFileError(errno, "写入", path_);
      done += static_cast<std::size_t>(w);
    }
    Wrote(data.size());
  }

  void Flush() override {
    if (buffer_.empty()) return;
    // Clear first: a failed write must not be retried by the destructor.
    std::string pending;
    pending.swap(buffer_);
    buffer_.reserve(kWriteBufferSize);
    WriteAll(fd_, pending.data(), pending.size(), path_);
    position_ += pending.size();
    Wrote(pending.size());
  }

  void Sync() override {
    Flush();
    if (Retry([&] { return ::fsync(fd_); }) != 0) RaiseFileError(errno, "写入", path_);
  }

  void Close() override {
    if (fd_ < 0) return;
    Flush();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) RaiseFileError(errno, "关闭", path_);
  }

 private:
  // Starts write-back of what has been written once enough has gathered,
  // so that Sync at the end waits for the last stretch only, not for the
  // whole file. Only a request: errors surface at Sync or Close.
  void Wrote(std::uint64_t n) {
    unsynced_ += n;
    if (unsynced_ < kWriteBehindBytes) return;
    unsynced_ = 0;
#if defined(__linux__)
    ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
  }

  int fd_;
  std::string path_;
  std::string buffer_;
  std::uint64_t position_ = 0;
  std::uint64_t unsynced_ = 0;
};

// Copies source to a new destination (exclusive), for moves across volumes.
void CopyExclusive(const std::string& source, const std::string& destination) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) RaiseFileError(errno, "打开", source);
  const int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (out < 0) {
    const int e = errno;
    ::close(in);
    RaiseFileError(e, "创建", destination);
  }
  std::vector<char> buffer(kWriteBufferSize);
  try {
    for (;;) {
      const ssize_t r = Retry([&] { return ::read(in, buffer.data(), buffer.size()); });
      if (r < 0) RaiseFileError(errno, "读取", source);
      if (r == 0) break;
      WriteAll(out, buffer.data(), static_cast<std::size_t>(r), destination);
    }
    if (::fsync(out) != 0) RaiseFileError(errno, "写入", destination);
  } catch (...) {
    ::close(in);
    ::close(out);
    ::unlink(destination.c_str());
    throw;
  }
  ::close(in);
  if (::close(out) != 0) RaiseFileError(errno, "关闭", destination);
}

// A move where no rename can do it (another volume, a file system without
// links): the copy is complete and durable before the source goes.
void MoveByCopying(const std::string& from, const std::string& to) {
  CopyExclusive(from, to);
  ::unlink(from.c_str());
}

class PosixFileSystem : public FileSystem {
 public:
  bool FileExists(std::string_view path) const override {
    struct stat st {};
    return ::stat(Native(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  }

  bool FolderExists(std::string_view path) const override { return IsFolder(Native(path)); }

  bool IsReadOnly(std::string_view path) const override {
    struct stat st {};
    return ::stat(Native(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode) &&
           (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  }

  void DeleteFile(std::string_view path, bool force) override {
    const std::string p = Native(path);
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) RaiseFileError(errno, "删除", path);
    if (S_ISDIR(st.st_mode)) RaiseFileError(EISDIR, "删除", path);
    if (!force && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
      RaiseFileError(EACCES, "删除", path);
    }
    if (::unlink(p.c_str()) != 0) RaiseFileError(errno, "删除", path);
  }

  void MoveFile(std::string_view source, std::string_view destination) override {
    const std::string from = Native(source);
    const std::string to = Native(destination);
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0) RaiseFileError(errno, "移动", source);
    if (::lstat(to.c_str(), &st) == 0) RaiseFileError(EEXIST, "移动到", destination);
    // renameat2 refuses to replace in one step; where the file system
    // lacks it, link + unlink gives the same guarantee.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
      return;
    }
    int e = errno;
    if (e == EINVAL || e == ENOSYS) {
      if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return;
      }
      e = errno;
      if (e == EPERM || e == EOPNOTSUPP) return MoveByCopying(from, to);
    }
    if (e == EXDEV) return MoveByCopying(from, to);
    // The source is a name we chose; a destination that exists, is too
    // long or lies in a missing folder is the one to name.
    const bool blame_destination = e == EEXIST || e == ENAMETOOLONG || e == ENOENT || e == ENOTDIR;
    RaiseFileError(e, blame_destination ? "移动到" : "移动", blame_destination ? destination : source);
  }

  bool SameFile(std::string_view a, std::string_view b) const override {
    struct stat sa {};
    struct stat sb {};
    return ::stat(Native(a).c_str(), &sa) == 0 && ::stat(Native(b).c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }

  std::string GetFileName(std::string_view path) const override {
    return std::string(file_error::FileNamePart(path));
  }

  void ReplaceFile(std::string_view source, std::string_view destination) override {
    const std::string from = Native(source);
    const std::string to = Native(destination);
    const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) RaiseFileError(errno, "打开", source);
    const int synced = ::fsync(fd);
    const int sync_errno = errno;
    ::close(fd);
    if (synced != 0) RaiseFileError(sync_errno, "写入", source);
    if (IsFolder(to)) RaiseFileError(EISDIR, "替换", destination);
    if (IsReadOnly(destination)) RaiseFileError(EACCES, "替换", destination);
    if (::rename(from.c_str(), to.c_str()) != 0) RaiseFileError(errno, "替换", destination);
    SyncFolderOf(to);
  }

  std::unique_ptr<RandomAccessFile> OpenForRead(std::string_view path) const override {
    const std::string p = Native(path);
    const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) RaiseFileError(errno, "打开", path);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      const int e = S_ISDIR(st.st_mode) ? EISDIR : errno;
      ::close(fd);
      RaiseFileError(e, "打开", path);
    }
    return std::make_unique<PosixRandomAccessFile>(fd, static_cast<std::uint64_t>(st.st_size), p);
  }

  std::unique_ptr<WritableFile> CreateExclusive(std::string_view path) override {
    const std::string p = Native(path);
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) RaiseFileError(errno, "创建", path);
    return std::make_unique<PosixWritableFile>(fd, p);
  }
};

}  // namespace

bool IsPathSeparator(char32_t c) { return c == '/'; }

FileSystem& RealFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace platform
