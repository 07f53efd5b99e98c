#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"

namespace platform::data::dbase::testing {

// What a MemoryWritableFile did; outlives the file so tests can look
// after the writer has let go of it.
struct MemoryFileState {
  std::string bytes;
  int writes = 0;  // Append and WriteAt calls
  int syncs = 0;
  bool closed = false;
  int fail_on_write = 0;  // 1-based write call that raises 61; 0 = never
};

// A WritableFile in memory that can fail its Nth write like a full disk.
class MemoryWritableFile : public WritableFile {
 public:
  explicit MemoryWritableFile(MemoryFileState& state) : state_(state) {}

  void Append(std::string_view data) override { WriteAt(state_.bytes.size(), data); }
  void WriteAt(std::uint64_t offset, std::string_view data) override {
    if (++state_.writes == state_.fail_on_write) Raise(err::kDiskFull, "磁盘已满（测试）");
    if (state_.bytes.size() < offset + data.size()) state_.bytes.resize(offset + data.size());
    state_.bytes.replace(offset, data.size(), data);
  }
  void Flush() override {}
  void Sync() override { ++state_.syncs; }
  void Close() override { state_.closed = true; }

 private:
  MemoryFileState& state_;
};

// The machine's file system, except that the files it creates fail their
// Nth write (counted per file) like a full disk.
class DiskFullFileSystem : public ForwardingFileSystem {
 public:
  explicit DiskFullFileSystem(int fail_on_write)
      : ForwardingFileSystem(RealFileSystem()), fail_on_write_(fail_on_write) {}

  std::unique_ptr<WritableFile> CreateExclusive(std::string_view path) override {
    return std::make_unique<Failing>(inner().CreateExclusive(path), fail_on_write_);
  }

 private:
  class Failing : public WritableFile {
   public:
    Failing(std::unique_ptr<WritableFile> file, int fail_on_write)
        : file_(std::move(file)), fail_on_write_(fail_on_write) {}
    void Append(std::string_view data) override {
      Count();
      file_->Append(data);
    }
    void WriteAt(std::uint64_t offset, std::string_view data) override {
      Count();
      file_->WriteAt(offset, data);
    }
    void Flush() override { file_->Flush(); }
    void Sync() override { file_->Sync(); }
    void Close() override { file_->Close(); }

   private:
    void Count() {
      if (++writes_ == fail_on_write_) Raise(err::kDiskFull, "磁盘已满（测试）");
    }
    std::unique_ptr<WritableFile> file_;
    int fail_on_write_;
    int writes_ = 0;
  };

  int fail_on_write_;
};

}  // namespace platform::data::dbase::testing
