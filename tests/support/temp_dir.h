#pragma once

#include <string>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes away. Tests write only here.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + separator + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// The project's source folder (for fixtures), from E2D_SOURCE_DIR.
std::string SourceDir();

}  // namespace testing_support
