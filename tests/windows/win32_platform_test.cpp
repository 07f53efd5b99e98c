// What only the Windows ports have: "\" and drive letters, long and UNC
// paths, files other programs hold open, the read-only rule, the system's
// error codes, the console's streams.
#include <windows.h>

#undef DeleteFile
#undef MoveFile
#undef ReplaceFile

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>

#include "mdlpublic/mdlpublic.h"
#include "platform/codepage/codepage.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"
#include "platform/runtime/utf16.h"
#include "platform/runtime/variant.h"
#include "support/temp_dir.h"

namespace {

using platform::FileSystem;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
namespace err = platform::err;

int ErrorNumber(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::Error& e) {
    return e.number();
  }
  return 0;
}

// The folder examples, literally, with "\" and with "/" (which Windows
// takes as well).
TEST(Win32PathTest, GetDirPartTakesWindowsPaths) {
  const struct {
    const char* path;
    const char* folder;
  } cases[] = {
      {"D:\\data\\out.dbf", "D:\\data"}, {"D:\\out.dbf", "D:"},
      {"D:\\data\\", "D:\\data"},        {"\\out.dbf", ""},
      {"out.dbf", "out.dbf"},            {"D:/data/out.dbf", "D:/data"},
      {"D:\\数据/2024\\结果.dbf", "D:\\数据/2024"},
      {"\\\\server\\share\\out.dbf", "\\\\server\\share"},
  };
  for (const auto& c : cases) EXPECT_EQ(mdlpublic::GetDirPart(c.path), c.folder) << c.path;
}

TEST(Win32PathTest, FileNameAfterEitherSeparator) {
  FileSystem& fs = platform::RealFileSystem();
  EXPECT_EQ(fs.GetFileName("D:\\data\\out.dbf"), "out.dbf");
  EXPECT_EQ(fs.GetFileName("D:/data/结果.dbf"), "结果.dbf");
  EXPECT_EQ(fs.GetFileName("D:\\data/"), "");
}

TEST(Win32PathTest, ChineseFolderIsDoubleByteInTheAnsiCodePage) {
  EXPECT_FALSE(mdlpublic::HasDbcsChar(platform::Variant::Text("D:\\data")));
  EXPECT_TRUE(mdlpublic::HasDbcsChar(platform::Variant::Text("D:\\数据")));
  // The system's own ANSI code page agrees where it is 936.
  if (GetACP() != 936) GTEST_SKIP() << "the ANSI code page is " << GetACP();
  const std::wstring wide = platform::ToWide("数据€");
  char ansi[16] = {};
  const int n = WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), ansi,
                                    sizeof ansi, nullptr, nullptr);
  EXPECT_EQ(std::string(ansi, static_cast<std::size_t>(n)), platform::codepage::ToCp936("数据€"));
}

class Win32FileSystemTest : public ::testing::Test {
 protected:
  FileSystem& fs = platform::RealFileSystem();
  TempDir dir;
};

TEST_F(Win32FileSystemTest, PathsLongerThan260Characters) {
  std::wstring folder = L"\\\\?\\" + platform::ToWide(dir.path());
  for (wchar_t part = L'a'; part <= L'c'; ++part) {
    folder += L"\\" + std::wstring(100, part);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
  }
  const std::string base = platform::FromWide(folder.substr(4));  // as a user types it
  const std::string staging = base + "\\143005.dbf";
  const std::string target = base + "\\" + std::string(100, 'x') + ".dbf";
  ASSERT_GT(target.size(), 400u);
  auto file = fs.CreateExclusive(staging);
  file->Append("new table");
  file->Sync();
  file->Close();
  EXPECT_TRUE(fs.FileExists(staging));
  fs.MoveFile(staging, target);
  auto read = fs.OpenForRead(target);
  char buffer[16];
  ASSERT_EQ(read->Read(0, sizeof buffer, buffer), 9u);
  EXPECT_EQ(std::string(buffer, 9), "new table");
  read.reset();
  fs.DeleteFile(target, false);
  EXPECT_FALSE(fs.FileExists(target));
}

TEST_F(Win32FileSystemTest, UncPaths) {
  const char* share = std::getenv("E2D_UNC_SHARE");
  if (share == nullptr) GTEST_SKIP() << "no share named in E2D_UNC_SHARE";
  const std::string folder = share;
  ASSERT_TRUE(fs.FolderExists(folder));
  const std::string staging = folder + "\\090507.dbf";
  const std::string target = folder + "\\结果.dbf";
  if (fs.FileExists(target)) fs.DeleteFile(target, true);
  auto file = fs.CreateExclusive(staging);
  file->Append("rows");
  file->Close();
  fs.MoveFile(staging, target);
  EXPECT_EQ(mdlpublic::GetDirPart(target), folder);
  EXPECT_TRUE(fs.SameFile(target, folder + "/结果.dbf"));
  fs.DeleteFile(target, false);
  EXPECT_FALSE(fs.FileExists(target));
}

// Excel keeps an open workbook locked for writing; it must still convert.
TEST_F(Win32FileSystemTest, WorkbookHeldOpenForWritingIsStillRead) {
  const std::string path = dir.File("工资.xls");
  WriteFileBytes(path, "workbook bytes");
  const HANDLE excel = CreateFileW(platform::ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(excel, INVALID_HANDLE_VALUE);
  auto file = fs.OpenForRead(path);
  char buffer[32];
  EXPECT_EQ(std::string(buffer, file->Read(0, sizeof buffer, buffer)), "workbook bytes");
  file.reset();
  // Deleting it is another matter: the system refuses, and says so.
  EXPECT_EQ(ErrorNumber([&] { fs.DeleteFile(path, true); }), err::kPermissionDenied);
  CloseHandle(excel);
}

// Wine would replace a read-only file; Windows does not, and neither do we.
TEST_F(Win32FileSystemTest, ReadOnlyTargetIsNeverReplacedOrDeleted) {
  const std::string target = dir.File("只读.dbf");
  WriteFileBytes(target, "old");
  ASSERT_TRUE(SetFileAttributesW(platform::ToWide(target).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(fs.IsReadOnly(target));
  WriteFileBytes(dir.File("143005.dbf"), "new");
  EXPECT_EQ(ErrorNumber([&] { fs.ReplaceFile(dir.File("143005.dbf"), target); }),
            err::kPermissionDenied);
  EXPECT_EQ(ErrorNumber([&] { fs.DeleteFile(target, false); }), err::kPermissionDenied);
  EXPECT_EQ(ReadFileBytes(target), "old");
  fs.DeleteFile(target, true);
  EXPECT_FALSE(fs.FileExists(target));
}

TEST_F(Win32FileSystemTest, SystemErrorsBecomeOurNumbers) {
  WriteFileBytes(dir.File("a.dbf"), "a");
  const struct {
    const char* what;
    std::function<void()> call;
    int number;
  } cases[] = {
      {"missing file", [&] { fs.OpenForRead(dir.File("none.xls")); }, err::kFileNotFound},
      {"missing folder", [&] { fs.CreateExclusive(dir.File("no\\x.dbf")); }, err::kPathNotFound},
      {"missing drive", [&] { fs.OpenForRead("Q:\\none.xls"); }, err::kPathNotFound},
      {"existing file", [&] { fs.CreateExclusive(dir.File("a.dbf")); }, err::kFileExists},
      {"existing target", [&] { fs.MoveFile(dir.File("a.dbf"), dir.File("a.dbf")); }, err::kFileExists},
      {"a folder", [&] { fs.OpenForRead(dir.path()); }, err::kPathFileAccess},
      {"bad name", [&] { fs.CreateExclusive(dir.File("a?b.dbf")); }, err::kPathFileAccess},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorNumber(c.call), c.number) << c.what;
}

TEST_F(Win32FileSystemTest, SameFileThroughEitherSeparator) {
  WriteFileBytes(dir.File("book.xls"), "x");
  std::string other = dir.File("book.xls");
  for (char& c : other) c = c == '\\' ? '/' : c;
  EXPECT_TRUE(fs.SameFile(dir.File("book.xls"), other));
  EXPECT_FALSE(fs.SameFile(dir.File("book.xls"), dir.File("none.xls")));
}

}  // namespace
