#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/filesystem/filesystem.h"

namespace testing_support {

TempDir::TempDir() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate = base / ("e2d-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = platform::FromFsPath(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Read-only files and folders made by tests must not stop the clean-up.
  for (auto it = std::filesystem::recursive_directory_iterator(platform::ToFsPath(path_), ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(platform::ToFsPath(path_), ignored);
}

std::string TempDir::File(const std::string& name) const {
  return path_ + platform::kPathSeparator + name;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(platform::ToFsPath(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(platform::ToFsPath(path), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string SourceDir() {
  const char* dir = std::getenv("E2D_SOURCE_DIR");
  return dir != nullptr ? dir : E2D_DEFAULT_SOURCE_DIR;
}

}  // namespace testing_support
