#pragma once

#include <memory>
#include <string>

#include "platform/filesystem/filesystem.h"
#include "support/fault_plan.h"

namespace testing_support {

// Wraps a file system and fails the Nth call of one operation with a
// chosen error (see FaultPlan); everything else passes through. Files it
// creates fail their Nth write, sync or close the same way, counted over
// all of them.
class FaultyFileSystem : public platform::ForwardingFileSystem, public FaultPlan<FileOp> {
 public:
  using Op = FileOp;

  explicit FaultyFileSystem(platform::FileSystem& inner) : ForwardingFileSystem(inner) {}

  void DeleteFile(std::string_view path, bool force) override;
  void MoveFile(std::string_view source, std::string_view destination) override;
  void ReplaceFile(std::string_view source, std::string_view destination) override;
  std::unique_ptr<platform::RandomAccessFile> OpenForRead(std::string_view path) const override;
  std::unique_ptr<platform::WritableFile> CreateExclusive(std::string_view path) override;
};

}  // namespace testing_support
