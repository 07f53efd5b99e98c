// Statements into a dBase session on a temporary folder. The input is
// statements one per line; "%D" stands for the folder. Whatever they are,
// the session must not crash, and every table it leaves must be complete:
// as long as its header says, ending in the end-of-file byte.
//
//   TMPDIR=/dev/shm build/fuzz/fuzz/dbase/dbase_statement_fuzzer
//       -dict=fuzz/dbase/dbase.dict CORPUS_DIR fuzz/dbase/corpus
// (a folder in memory: every closed table is fsync'ed). Inputs that once
// found a fault go in fuzz/dbase/regressions/; CTest replays them and the
// seeds (dbase_fuzz_replay).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

#include "platform/data/dbase/dbase_provider.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"

namespace {

namespace fs = std::filesystem;

// The real file system, but files are created only directly inside the
// folder: fuzzed paths must not write elsewhere on the machine.
class FolderOnly : public platform::ForwardingFileSystem {
 public:
  explicit FolderOnly(std::string folder)
      : ForwardingFileSystem(platform::RealFileSystem()), folder_(std::move(folder)) {}

  void DeleteFile(std::string_view path, bool force) override {
    Check(path);
    inner().DeleteFile(path, force);
  }
  void MoveFile(std::string_view, std::string_view) override { Refuse(); }
  void ReplaceFile(std::string_view, std::string_view) override { Refuse(); }
  std::unique_ptr<platform::WritableFile> CreateExclusive(std::string_view path) override {
    Check(path);
    return inner().CreateExclusive(path);
  }

 private:
  [[noreturn]] static void Refuse() { platform::Raise(platform::err::kPermissionDenied, "fuzz"); }
  void Check(std::string_view path) const {
    if (path.size() <= folder_.size() + 1 || !path.starts_with(folder_) ||
        path[folder_.size()] != platform::kPathSeparator) {
      Refuse();
    }
    const std::string_view name = path.substr(folder_.size() + 1);
    if (name.find(platform::kPathSeparator) != std::string_view::npos || name == "." ||
        name == ".." || name.size() > 200 || name.find('\0') != std::string_view::npos) {
      Refuse();
    }
  }
  std::string folder_;
};

// Created on first use, removed when the fuzzer exits.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path_ = fs::temp_directory_path() / ("e2d-fuzz-dbase-" + std::to_string(random()));
    fs::create_directories(path_);
    text_ = platform::FromFsPath(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const std::string& text() const { return text_; }

 private:
  fs::path path_;
  std::string text_;
};

const std::string& Folder() {
  static const TempFolder folder;
  return folder.text();
}

std::uint32_t Le(const std::string& b, std::size_t at, int n) {
  std::uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
  return v;
}

// Every file the session left must be a complete table.
void CheckAndRemoveTables() {
  for (const auto& entry : fs::directory_iterator(platform::ToFsPath(Folder()))) {
    const std::string path = platform::FromFsPath(entry.path());
    std::string bytes(static_cast<std::size_t>(fs::file_size(entry.path())), '\0');
    {
      auto file = platform::RealFileSystem().OpenForRead(path);
      file->Read(0, bytes.size(), bytes.data());
    }
    if (bytes.size() < 66) std::abort();
    const std::uint64_t count = Le(bytes, 4, 4);
    const std::uint64_t header = Le(bytes, 8, 2);
    const std::uint64_t record = Le(bytes, 10, 2);
    if (header < 65 || bytes.size() != header + count * record + 1 || bytes[0] != 0x03 ||
        bytes[header - 1] != 0x0D || bytes.back() != 0x1A) {
      std::abort();
    }
    fs::remove(entry.path());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64 * 1024) return 0;
  std::string input(reinterpret_cast<const char*>(data), size);
  for (std::size_t at = input.find("%D"); at != std::string::npos; at = input.find("%D", at)) {
    input.replace(at, 2, Folder());
    at += Folder().size();
  }
  FolderOnly file_system(Folder());
  const platform::FixedClock clock({2024, 3, 5, 14, 30, 5});
  {
    auto session = platform::data::dbase::OpenDbaseSession(file_system, clock, Folder());
    for (std::size_t start = 0; start <= input.size();) {
      std::size_t end = input.find('\n', start);
      if (end == std::string::npos) end = input.size();
      try {
        session->Execute(std::string_view(input).substr(start, end - start));
      } catch (const platform::Error&) {
      }
      (void)session->DataWarnings().Lines();
      start = end + 1;
    }
    // Half the inputs close the session, the others drop it as a failed
    // run does.
    if (size % 2 == 0) {
      try {
        session->Close();
      } catch (const platform::Error&) {
      }
    }
  }
  CheckAndRemoveTables();
  return 0;
}
