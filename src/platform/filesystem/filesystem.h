#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <string_view>

// The file system as the program sees it. Paths are UTF-8 text, taken
// apart with kPathSeparator; std::filesystem::path only inside platform/.
// filesystem_posix.cpp and filesystem_win32.cpp are the two ports.
namespace platform {

// The separator the program writes into paths it builds.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// True for a character that separates a path's parts: kPathSeparator, and
// on Windows "/" as well, which the system takes in its place.
bool IsPathSeparator(char32_t c);

std::filesystem::path ToFsPath(std::string_view utf8_path);
std::string FromFsPath(const std::filesystem::path& path);

// The path made absolute against the current folder (not resolving
// links); an empty or already absolute path comes back as it is.
std::string AbsolutePath(std::string_view path);

// Every failure below is an Error: 53 file not found, 76 path not found
// (a folder on the way is missing), 58 file exists, 70 permission denied
// (also a read-only file or, on Windows, a file another program locks),
// 61 disk full, 75 anything else. Descriptions name the path.

// A file read at arbitrary offsets. Owned by the caller. Other programs
// may keep the file open, for writing too (a workbook open in Excel).
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads up to n bytes at offset into out; returns how many were read
  // (fewer only at the end of the file). Throws Error on a read failure.
  virtual std::size_t Read(std::uint64_t offset, std::size_t n,
                           char* out) const = 0;
};

// A new file being written. Appends go through a buffer (no system call
// per small write). Where the system allows, data written starts going to
// disk in the background every few MiB, so that Sync has little left to
// wait for. Owned by the caller; destroying it without Close()
// closes the descriptor and keeps what was flushed.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual void Append(std::string_view data) = 0;
  // Writes at an absolute offset (after flushing pending appends); the
  // append position is unchanged.
  virtual void WriteAt(std::uint64_t offset, std::string_view data) = 0;
  // Hands buffered data to the operating system.
  virtual void Flush() = 0;
  // Flush, then make the data durable (fsync).
  virtual void Sync() = 0;
  // Flush and close. Errors (a full disk) are raised here at the latest.
  virtual void Close() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // True when a file (not a folder) exists at path.
  virtual bool FileExists(std::string_view path) const = 0;

  // True when a folder exists at path.
  virtual bool FolderExists(std::string_view path) const = 0;

  // True when a file exists at path and may not be written (the flag
  // DeleteFile without force refuses).
  virtual bool IsReadOnly(std::string_view path) const = 0;

  // Removes the file. With force = false a read-only file is refused
  // (70). A missing file is 53, a folder 75.
  virtual void DeleteFile(std::string_view path, bool force) = 0;

  // Moves (renames) a file. Never replaces: fails with 58 when the
  // destination exists, leaving both files as they were. A missing source
  // is 53. Works across volumes by copying.
  virtual void MoveFile(std::string_view source,
                        std::string_view destination) = 0;

  // True when both paths name one existing file (the same file reached by
  // two spellings included). False when either is missing. File systems
  // that cannot tell answer false.
  virtual bool SameFile(std::string_view a, std::string_view b) const = 0;

  // The last component of the path: the text after the last separator.
  virtual std::string GetFileName(std::string_view path) const = 0;

  // Makes source durable on disk, then renames it over destination in one
  // step: afterwards destination is the new file, and if this fails
  // destination is untouched (old file or none). Both must be in one
  // folder. A read-only destination is refused (70) on every system.
  virtual void ReplaceFile(std::string_view source,
                           std::string_view destination) = 0;

  // Opens an existing file for reading. 53/76/70/75 on failure.
  virtual std::unique_ptr<RandomAccessFile> OpenForRead(
      std::string_view path) const = 0;

  // Creates a new file; fails with 58 if anything exists at path, which
  // is then untouched.
  virtual std::unique_ptr<WritableFile> CreateExclusive(
      std::string_view path) = 0;
};

// The machine's own file system.
FileSystem& RealFileSystem();

// Passes every call to another file system; wrappers that change one or
// two operations (fault injection, a sandbox) derive from it.
class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}

  bool FileExists(std::string_view path) const override { return inner_.FileExists(path); }
  bool FolderExists(std::string_view path) const override { return inner_.FolderExists(path); }
  bool IsReadOnly(std::string_view path) const override { return inner_.IsReadOnly(path); }
  bool SameFile(std::string_view a, std::string_view b) const override { return inner_.SameFile(a, b); }
  void DeleteFile(std::string_view path, bool force) override { inner_.DeleteFile(path, force); }
  void MoveFile(std::string_view source, std::string_view destination) override {
    inner_.MoveFile(source, destination);
  }
  std::string GetFileName(std::string_view path) const override { return inner_.GetFileName(path); }
  void ReplaceFile(std::string_view source, std::string_view destination) override {
    inner_.ReplaceFile(source, destination);
  }
  std::unique_ptr<RandomAccessFile> OpenForRead(std::string_view path) const override {
    return inner_.OpenForRead(path);
  }
  std::unique_ptr<WritableFile> CreateExclusive(std::string_view path) override {
    return inner_.CreateExclusive(path);
  }

 protected:
  FileSystem& inner() const { return inner_; }

 private:
  FileSystem& inner_;
};

// An in-memory RandomAccessFile over bytes the caller keeps alive.
class MemoryFile : public RandomAccessFile {
 public:
  explicit MemoryFile(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  std::size_t Read(std::uint64_t offset, std::size_t n,
                   char* out) const override;

 private:
  std::string_view bytes_;
};

// A MemoryFile that holds its bytes itself.
class OwnedMemoryFile : public RandomAccessFile {
 public:
  explicit OwnedMemoryFile(std::string bytes) : bytes_(std::move(bytes)), view_(bytes_) {}
  std::uint64_t Size() const override { return view_.Size(); }
  std::size_t Read(std::uint64_t offset, std::size_t n, char* out) const override {
    return view_.Read(offset, n, out);
  }

 private:
  std::string bytes_;
  MemoryFile view_;
};

}  // namespace platform
