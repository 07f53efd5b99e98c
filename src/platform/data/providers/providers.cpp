#include "platform/data/dbase/dbase_provider.h"
#include "platform/data/providers/providers.h"
#include "platform/data/xls/workbook_provider.h"
#include "platform/data/xlsx/workbook_parts.h"
#include "platform/data/xlsx/xlsx_workbook.h"
#include "platform/data/zip/zip_archive.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"

namespace platform::data {
namespace {

// A ZIP package: an Office Open XML workbook is read, other packages are
// named in the refusal.
std::unique_ptr<Session> OpenPackage(std::unique_ptr<RandomAccessFile> file) {
  auto zip = std::make_unique<zip::ZipArchive>(*file);
  switch (xlsx::IdentifyPackage(*zip)) {
    case xlsx::PackageKind::kWorkbook:
      break;
    case xlsx::PackageKind::kBinaryWorkbook:
      Raise(err::kNotAWorkbook, "不是可以读取的工作簿：这是 Excel 二进制工作簿（.xlsb），请在 Excel 中另存为 .xlsx 格式");
    case xlsx::PackageKind::kOpenDocumentSheet:
      Raise(err::kNotAWorkbook, "不是 Excel 工作簿：这是 OpenDocument 电子表格（.ods），请另存为 .xlsx 格式");
    case xlsx::PackageKind::kOtherDocument:
      Raise(err::kNotAWorkbook, "不是 Excel 工作簿：这是其他类型的文档（不是电子表格）");
    case xlsx::PackageKind::kNoDocument:
      Raise(err::kNotAWorkbook, "不是 Excel 工作簿：这是普通的 ZIP 压缩文件");
  }
  return xlsx::OpenXlsxSession(std::move(file), std::move(zip));
}

class RealProviders : public ProviderFactory {
 public:
  RealProviders(FileSystem& file_system, const Clock& clock)
      : file_system_(file_system), clock_(clock) {}

  std::unique_ptr<Session> OpenWorkbook(std::string_view path) override {
    return OpenWorkbookFile(file_system_.OpenForRead(path));
  }
  std::unique_ptr<Session> OpenDbase(std::string_view folder) override {
    // The run parses and converts the next rows while the last ones are
    // written: the two take the two halves of the work.
    return dbase::OpenDbaseSession(file_system_, clock_, folder, dbase::WriteMode::kOnThread);
  }

 private:
  FileSystem& file_system_;
  const Clock& clock_;
};

}  // namespace

std::unique_ptr<Session> OpenWorkbookFile(std::unique_ptr<RandomAccessFile> file) {
  char head[4] = {};
  const std::size_t got = file->Read(0, sizeof head, head);
  if (zip::HasZipSignature(std::string_view(head, got))) return OpenPackage(std::move(file));
  // Compound files (.xls, and encrypted Office Open XML packages, which
  // the .xls reader names), bare BIFF streams, and everything else, which
  // it refuses.
  return xls::OpenWorkbookSession(std::move(file));
}

std::unique_ptr<ProviderFactory> MakeProviders(FileSystem& file_system, const Clock& clock) {
  return std::make_unique<RealProviders>(file_system, clock);
}

}  // namespace platform::data
