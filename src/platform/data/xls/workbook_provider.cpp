#include "platform/data/xls/workbook_provider.h"

#include <numeric>

#include "platform/data/sheet/sheet_session.h"
#include "platform/data/sheet/strings_beside.h"
#include "platform/data/xls/biff_records.h"
#include "platform/data/xls/byte_order.h"
#include "platform/data/xls/compound_file.h"
#include "platform/data/xls/workbook.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"

namespace platform::data::xls {
namespace {

// Shared strings of fewer bytes are decoded at once: a thread would cost
// more than it saves.
constexpr std::size_t kStringsBesideBytes = std::size_t{64} << 10;


// A view of a file the session owns elsewhere (a bare BIFF stream is the
// file itself).
class FileView : public RandomAccessFile {
 public:
  explicit FileView(const RandomAccessFile& file) : file_(file) {}
  std::uint64_t Size() const override { return file_.Size(); }
  std::size_t Read(std::uint64_t offset, std::size_t n, char* out) const override {
    return file_.Read(offset, n, out);
  }

 private:
  const RandomAccessFile& file_;
};

// The workbook stream's sheets, handed to the sheet layer: the session
// keeps the file, the compound file and the stream open while it lives.
class BiffWorkbook : public sheet::WorkbookReader {
 public:
  BiffWorkbook(std::unique_ptr<RandomAccessFile> file, std::unique_ptr<CompoundFile> compound,
               std::unique_ptr<RandomAccessFile> stream)
      : file_(std::move(file)),
        compound_(std::move(compound)),
        stream_(std::move(stream)),
        globals_(ReadWorkbookGlobals(*stream_, StringsRead::kLater)) {
    for (std::size_t i = 0; i < globals_.sheets.size(); ++i) {
      if (globals_.sheets[i].type == kSheetTypeWorksheet) worksheets_.push_back(i);
    }
    // The shared strings are decoded beside the first scan of a sheet,
    // which needs only their number, and only at its end.
    const std::size_t bytes =
        std::accumulate(globals_.raw_shared_strings.begin(), globals_.raw_shared_strings.end(), std::size_t{0},
                        [](std::size_t sum, const RawRecord& record) { return sum + record.data.size(); });
    strings_.Start([raw = std::move(globals_.raw_shared_strings)] { return DecodeSharedStrings(raw); },
                   bytes >= kStringsBesideBytes);
  }

  std::vector<sheet::Worksheet> Worksheets() const override {
    std::vector<sheet::Worksheet> out;
    for (const std::size_t i : worksheets_) {
      const SheetEntry& entry = globals_.sheets[i];
      out.push_back({entry.name, entry.visibility == static_cast<std::uint8_t>(SheetVisibility::kVisible)});
    }
    return out;
  }

  std::unique_ptr<sheet::SheetScan> ScanCells(std::size_t index) const override {
    return ScanSheetCells(*stream_, globals_.sheets[worksheets_[index]], globals_);
  }
  std::shared_ptr<const sheet::StringTable> SharedStrings() const override { return strings_.Get(); }
  sheet::SheetLimits Limits() const override { return kBiffLimits; }

 private:
  std::unique_ptr<RandomAccessFile> file_;
  std::unique_ptr<CompoundFile> compound_;
  std::unique_ptr<RandomAccessFile> stream_;
  WorkbookGlobals globals_;
  std::vector<std::size_t> worksheets_;  // indexes into globals_.sheets
  sheet::StringsBeside strings_;  // last: its thread reads nothing else
};

std::unique_ptr<Session> OpenBiff(std::unique_ptr<RandomAccessFile> file, std::unique_ptr<CompoundFile> compound,
                                  std::unique_ptr<RandomAccessFile> stream) {
  return sheet::OpenSheetSession(
      std::make_unique<BiffWorkbook>(std::move(file), std::move(compound), std::move(stream)));
}

}  // namespace

std::unique_ptr<Session> OpenWorkbookSession(std::unique_ptr<RandomAccessFile> file) {
  char head[8] = {};
  const std::size_t got = file->Read(0, sizeof head, head);
  const std::string_view first(head, got);
  if (got == 0) Raise(err::kNotAWorkbook, "不是 Excel 工作簿：文件是空的");
  if (HasCompoundSignature(first)) {
    std::unique_ptr<CompoundFile> compound = CompoundFile::Parse(*file);
    std::unique_ptr<RandomAccessFile> stream = compound->OpenStream("Workbook");
    if (!stream) stream = compound->OpenStream("Book");
    if (!stream) {
      if (compound->HasStream("EncryptedPackage")) Raise(err::kWorkbookEncrypted, "工作簿已加密，无法读取");
      Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：文件中没有工作簿数据");
    }
    return OpenBiff(std::move(file), std::move(compound), std::move(stream));
  }
  // A bare BIFF stream, as some generators write it (and the Excel 2.x-4.0
  // formats, which the globals reader names).
  if (got >= 4) {
    const std::uint16_t type = Le16(reinterpret_cast<const unsigned char*>(head));
    if (type == rec::kBof || type == rec::kBofBiff2 || type == rec::kBofBiff3 || type == rec::kBofBiff4) {
      auto view = std::make_unique<FileView>(*file);
      return OpenBiff(std::move(file), nullptr, std::move(view));
    }
  }
  Raise(err::kNotAWorkbook, "不是 Excel 工作簿（.xls 或 .xlsx）");
}

std::unique_ptr<Session> OpenWorkbookSession(const FileSystem& file_system, std::string_view path) {
  return OpenWorkbookSession(file_system.OpenForRead(path));
}

}  // namespace platform::data::xls
