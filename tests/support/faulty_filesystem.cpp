#include "support/faulty_filesystem.h"

#include "platform/runtime/error.h"

namespace testing_support {
namespace {

class FaultyFile : public platform::WritableFile {
 public:
  FaultyFile(std::unique_ptr<platform::WritableFile> inner, FaultyFileSystem& owner)
      : inner_(std::move(inner)), owner_(owner) {}
  void Append(std::string_view data) override {
    owner_.Check(FaultyFileSystem::Op::kWrite);
    inner_->Append(data);
  }
  void WriteAt(std::uint64_t offset, std::string_view data) override {
    owner_.Check(FaultyFileSystem::Op::kWrite);
    inner_->WriteAt(offset, data);
  }
  void Flush() override { inner_->Flush(); }
  void Sync() override {
    owner_.Check(FaultyFileSystem::Op::kSync);
    inner_->Sync();
  }
  void Close() override {
    owner_.Check(FaultyFileSystem::Op::kClose);
    inner_->Close();
  }

 private:
  std::unique_ptr<platform::WritableFile> inner_;
  FaultyFileSystem& owner_;
};

}  // namespace

void FaultyFileSystem::DeleteFile(std::string_view path, bool force) {
  Check(Op::kDelete);
  inner().DeleteFile(path, force);
}

void FaultyFileSystem::MoveFile(std::string_view source, std::string_view destination) {
  Check(Op::kMove);
  inner().MoveFile(source, destination);
}

void FaultyFileSystem::ReplaceFile(std::string_view source, std::string_view destination) {
  Check(Op::kReplace);
  inner().ReplaceFile(source, destination);
}

std::unique_ptr<platform::RandomAccessFile> FaultyFileSystem::OpenForRead(std::string_view path) const {
  Check(Op::kOpenForRead);
  return inner().OpenForRead(path);
}

std::unique_ptr<platform::WritableFile> FaultyFileSystem::CreateExclusive(std::string_view path) {
  Check(Op::kCreate);
  return std::make_unique<FaultyFile>(inner().CreateExclusive(path), *this);
}

}  // namespace testing_support
