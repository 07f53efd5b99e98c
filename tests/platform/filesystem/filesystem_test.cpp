#include "platform/filesystem/filesystem.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/runtime/error.h"
#include "support/errors.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

// Runs f, which must raise the error with this number, and returns the
// description.
template <typename F>
std::string ExpectError(int number, F f) {
  const Error e = testing_support::ErrorOf(f);
  EXPECT_EQ(e.number(), number) << e.description();
  return e.description();
}

class FileSystemTest : public ::testing::Test {
 protected:
  FileSystem& fs = RealFileSystem();
  TempDir dir;
};

TEST_F(FileSystemTest, FileExistsIsFalseForFoldersAndMissingFiles) {
  WriteFileBytes(dir.File("a.dbf"), "x");
  EXPECT_TRUE(fs.FileExists(dir.File("a.dbf")));
  EXPECT_FALSE(fs.FileExists(dir.File("b.dbf")));
  EXPECT_FALSE(fs.FileExists(dir.path()));
  EXPECT_FALSE(fs.FileExists(""));
}

TEST_F(FileSystemTest, DeleteFileRefusesReadOnlyUnlessForced) {
  const std::string path = dir.File("只读.dbf");
  WriteFileBytes(path, "old");
  std::filesystem::permissions(ToFsPath(path), std::filesystem::perms::owner_read |
                                                  std::filesystem::perms::group_read |
                                                  std::filesystem::perms::others_read);
  const std::string why = ExpectError(err::kPermissionDenied, [&] { fs.DeleteFile(path, false); });
  EXPECT_NE(why.find(path), std::string::npos);
  EXPECT_EQ(ReadFileBytes(path), "old");
  fs.DeleteFile(path, true);
  EXPECT_FALSE(fs.FileExists(path));
}

TEST_F(FileSystemTest, DeleteFileReportsMissingFileAndMissingFolder) {
  const std::string why = ExpectError(err::kFileNotFound, [&] { fs.DeleteFile(dir.File("none.dbf"), false); });
  EXPECT_EQ(why, "找不到文件：" + dir.File("none.dbf"));
  ExpectError(err::kPathNotFound, [&] { fs.DeleteFile(dir.File("no/none.dbf"), false); });
  ExpectError(err::kPathFileAccess, [&] { fs.DeleteFile(dir.path(), false); });
}

TEST_F(FileSystemTest, MoveFileNeverReplacesTheDestination) {
  WriteFileBytes(dir.File("new.dbf"), "new");
  WriteFileBytes(dir.File("old.dbf"), "old");
  ExpectError(err::kFileExists, [&] { fs.MoveFile(dir.File("new.dbf"), dir.File("old.dbf")); });
  EXPECT_EQ(ReadFileBytes(dir.File("old.dbf")), "old");
  EXPECT_EQ(ReadFileBytes(dir.File("new.dbf")), "new");

  fs.MoveFile(dir.File("new.dbf"), dir.File("moved.dbf"));
  EXPECT_EQ(ReadFileBytes(dir.File("moved.dbf")), "new");
  EXPECT_FALSE(fs.FileExists(dir.File("new.dbf")));
  ExpectError(err::kFileNotFound, [&] { fs.MoveFile(dir.File("new.dbf"), dir.File("x.dbf")); });
}

TEST_F(FileSystemTest, ReplaceFileSwapsInTheNewFile) {
  WriteFileBytes(dir.File("143005.dbf"), "new");
  WriteFileBytes(dir.File("result.dbf"), "old");
  fs.ReplaceFile(dir.File("143005.dbf"), dir.File("result.dbf"));
  EXPECT_EQ(ReadFileBytes(dir.File("result.dbf")), "new");
  EXPECT_FALSE(fs.FileExists(dir.File("143005.dbf")));
  // A folder in the way is refused, and the source stays.
  WriteFileBytes(dir.File("s.dbf"), "s");
  std::filesystem::create_directory(dir.File("folder.dbf"));
  ExpectError(err::kPathFileAccess, [&] { fs.ReplaceFile(dir.File("s.dbf"), dir.File("folder.dbf")); });
  EXPECT_TRUE(fs.FileExists(dir.File("s.dbf")));
}

// A read-only file is not ours to replace, whatever the system would
// allow (a rename over it succeeds on Linux and under Wine).
TEST_F(FileSystemTest, ReplaceFileRefusesAReadOnlyDestination) {
  WriteFileBytes(dir.File("143005.dbf"), "new");
  WriteFileBytes(dir.File("result.dbf"), "old");
  std::filesystem::permissions(ToFsPath(dir.File("result.dbf")), std::filesystem::perms::owner_read);
  ExpectError(err::kPermissionDenied,
              [&] { fs.ReplaceFile(dir.File("143005.dbf"), dir.File("result.dbf")); });
  EXPECT_EQ(ReadFileBytes(dir.File("result.dbf")), "old");
  EXPECT_EQ(ReadFileBytes(dir.File("143005.dbf")), "new");
}

TEST_F(FileSystemTest, GetFileNameIsTheLastComponent) {
  const std::string sep(1, kPathSeparator);
  EXPECT_EQ(fs.GetFileName("data" + sep + "out" + sep + "结果.dbf"), "结果.dbf");
  EXPECT_EQ(fs.GetFileName("bare.dbf"), "bare.dbf");
  EXPECT_EQ(fs.GetFileName("data" + sep), "");
}

TEST_F(FileSystemTest, CreateExclusiveNeverTouchesAnExistingFile) {
  WriteFileBytes(dir.File("090507.dbf"), "mine");
  ExpectError(err::kFileExists, [&] { fs.CreateExclusive(dir.File("090507.dbf")); });
  EXPECT_EQ(ReadFileBytes(dir.File("090507.dbf")), "mine");
  ExpectError(err::kPathNotFound, [&] { fs.CreateExclusive(dir.File("missing/x.dbf")); });
}

TEST_F(FileSystemTest, WritableFileBuffersAppendsAndPatchesInPlace) {
  auto file = fs.CreateExclusive(dir.File("w.bin"));
  file->Append("hello ");
  file->Append(std::string(70000, 'x'));  // larger than the buffer
  file->Append("!");
  file->WriteAt(0, "HE");
  file->Sync();
  file->Close();
  const std::string bytes = ReadFileBytes(dir.File("w.bin"));
  ASSERT_EQ(bytes.size(), 6u + 70000u + 1u);
  EXPECT_EQ(bytes.substr(0, 6), "HEllo ");
  EXPECT_EQ(bytes.back(), '!');
}

TEST_F(FileSystemTest, OpenForReadReadsAtOffsets) {
  WriteFileBytes(dir.File("r.bin"), "0123456789");
  auto file = fs.OpenForRead(dir.File("r.bin"));
  EXPECT_EQ(file->Size(), 10u);
  char buffer[8];
  ASSERT_EQ(file->Read(7, 8, buffer), 3u);
  EXPECT_EQ(std::string(buffer, 3), "789");
  ExpectError(err::kFileNotFound, [&] { fs.OpenForRead(dir.File("none.xls")); });
  ExpectError(err::kPathFileAccess, [&] { fs.OpenForRead(dir.path()); });
}

}  // namespace
}  // namespace platform
