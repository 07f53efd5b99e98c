#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/filesystem/filesystem.h"

namespace testing_support {

// Wraps a file system and fails the Nth call of one operation with a
// chosen error; everything else passes through. Files it creates fail
// their Nth write or close the same way.
class FaultyFileSystem : public platform::FileSystem {
 public:
  enum class Op { kDelete, kMove, kReplace, kCreate, kOpenForRead, kAppend, kSync, kClose };

  explicit FaultyFileSystem(platform::FileSystem& inner) : inner_(inner) {}

  void FailAt(Op op, int nth, int number, std::string description) {
    op_ = op;
    nth_ = nth;
    number_ = number;
    description_ = std::move(description);
  }
  int calls(Op op) const {
    const auto it = counts_.find(op);
    return it == counts_.end() ? 0 : it->second;
  }
  void Check(Op op);

  bool FileExists(std::string_view path) const override { return inner_.FileExists(path); }
  bool FolderExists(std::string_view path) const override { return inner_.FolderExists(path); }
  bool IsReadOnly(std::string_view path) const override { return inner_.IsReadOnly(path); }
  bool SameFile(std::string_view a, std::string_view b) const override { return inner_.SameFile(a, b); }
  std::string GetFileName(std::string_view path) const override { return inner_.GetFileName(path); }
  void DeleteFile(std::string_view path, bool force) override;
  void MoveFile(std::string_view source, std::string_view destination) override;
  void ReplaceFile(std::string_view source, std::string_view destination) override;
  std::unique_ptr<platform::RandomAccessFile> OpenForRead(std::string_view path) const override;
  std::unique_ptr<platform::WritableFile> CreateExclusive(std::string_view path) override;

 private:
  platform::FileSystem& inner_;
  Op op_ = Op::kDelete;
  int nth_ = 0;
  int number_ = 0;
  std::string description_;
  mutable std::map<Op, int> counts_;
};

}  // namespace testing_support
