#include "platform/data/xlsx/xlsx_workbook.h"

#include <string>

#include "platform/data/sheet/cell_scan.h"
#include "platform/data/sheet/damage.h"
#include "platform/data/sheet/sheet_cells.h"
#include "platform/data/sheet/sheet_session.h"
#include "platform/data/sheet/string_table.h"
#include "platform/data/sheet/strings_beside.h"
#include "platform/data/xlsx/sheet_reader.h"
#include "platform/data/xlsx/workbook_parts.h"
#include "platform/filesystem/filesystem.h"

namespace platform::data::xlsx {
namespace {

// Shared strings parts of fewer bytes are read at once: a thread would
// cost more than it saves.
constexpr std::uint64_t kStringsBesideBytes = std::uint64_t{64} << 10;

class XlsxWorkbook : public sheet::WorkbookReader {
 public:
  XlsxWorkbook(std::unique_ptr<RandomAccessFile> file, std::unique_ptr<zip::ZipArchive> zip)
      : file_(std::move(file)), zip_(std::move(zip)), info_(ReadWorkbook(*zip_)) {
    // Big shared strings are read beside the sheet's first scan; the
    // thread starts last, once nothing here can fail.
    const zip::Entry* entry =
        info_.shared_strings_part.empty() ? nullptr : zip_->Find(info_.shared_strings_part);
    const bool beside = entry != nullptr && entry->size >= kStringsBesideBytes;
    if (!beside) strings_.Start([this] { return ReadStrings(); }, false);
    if (!info_.styles_part.empty()) date_styles_ = ReadDateStyles(*zip_, info_.styles_part);
    for (std::size_t i = 0; i < info_.sheets.size(); ++i) {
      if (info_.sheets[i].worksheet) worksheets_.push_back(i);
    }
    if (beside) strings_.Start([this] { return ReadStrings(); }, true);
  }

  std::vector<sheet::Worksheet> Worksheets() const override {
    std::vector<sheet::Worksheet> out;
    for (const std::size_t i : worksheets_) {
      out.push_back({info_.sheets[i].name, info_.sheets[i].state == SheetState::kVisible});
    }
    return out;
  }

  std::unique_ptr<sheet::SheetScan> ScanCells(std::size_t index) const override {
    const SheetInfo& sheet = info_.sheets[worksheets_[index]];
    if (sheet.part.empty()) sheet::RaiseDamaged("找不到工作表“" + sheet.name + "”的数据");
    SheetContext context;
    context.name = sheet.name;
    context.date1904 = info_.date1904;
    context.date_styles = date_styles_;
    context.shared_string_count = strings_.ready() ? strings_.Get()->size() : kSharedStringsNotYetRead;
    if (const zip::Entry* entry = zip_->Find(sheet.part)) context.part_size = entry->size;
    return ScanSheet(*zip_, sheet.part, std::move(context));
  }

  std::shared_ptr<const sheet::StringTable> SharedStrings() const override { return strings_.Get(); }

  void RaiseMissingSharedString(std::size_t worksheet, std::uint32_t row, std::uint32_t column,
                                std::uint64_t index) const override {
    RaiseMissingSharedCell(info_.sheets[worksheets_[worksheet]].name, row, column, std::to_string(index));
  }

 private:
  std::shared_ptr<const sheet::StringTable> ReadStrings() const {
    auto strings = std::make_shared<sheet::StringTable>(sheet::StringTable::MeasureWidths{});
    if (info_.shared_strings_part.empty()) return strings;
    if (const zip::Entry* entry = zip_->Find(info_.shared_strings_part)) {
      // Text is never longer than the XML it is written in.
      strings->Reserve(static_cast<std::size_t>(entry->size), static_cast<std::size_t>(entry->size / 8));
    }
    ReadSharedStrings(*zip_, info_.shared_strings_part, [&](std::string_view s) { strings->Add(s); });
    return strings;
  }

  std::unique_ptr<RandomAccessFile> file_;
  std::unique_ptr<zip::ZipArchive> zip_;
  WorkbookInfo info_;
  std::vector<bool> date_styles_;
  std::vector<std::size_t> worksheets_;  // indexes into info_.sheets
  sheet::StringsBeside strings_;  // last: its thread reads the members above
};

}  // namespace

std::unique_ptr<Session> OpenXlsxSession(std::unique_ptr<RandomAccessFile> file,
                                         std::unique_ptr<zip::ZipArchive> zip) {
  return sheet::OpenSheetSession(std::make_unique<XlsxWorkbook>(std::move(file), std::move(zip)));
}

std::unique_ptr<Session> OpenXlsxSession(std::unique_ptr<RandomAccessFile> file) {
  auto zip = std::make_unique<zip::ZipArchive>(*file);
  return OpenXlsxSession(std::move(file), std::move(zip));
}

}  // namespace platform::data::xlsx
