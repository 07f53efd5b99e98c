#include "platform/data/xls/workbook_provider.h"

#include <algorithm>

#include "platform/data/xls/biff_records.h"
#include "platform/data/xls/byte_order.h"
#include "platform/data/xls/compound_file.h"
#include "platform/data/xls/sheet_table.h"
#include "platform/data/xls/workbook.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/error.h"

namespace platform::data::xls {
namespace {

constexpr std::string_view kZipSignature("PK\x03\x04", 4);

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

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Takes a keyword (ASCII case ignored) and the blanks after it.
bool TakeWord(std::string_view& s, std::string_view word) {
  if (!ascii::StartsWithIgnoringCase(s, word)) return false;
  s.remove_prefix(word.size());
  const std::size_t before = s.size();
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  return s.size() < before || s.empty() || s.front() == '[' || word == "*";
}

// "select * from  [name]": the only statement a workbook answers. Returns
// false for any other shape.
bool ParseSelectAll(std::string_view statement, std::string& table) {
  std::string_view s = statement;
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsSpace(s.back()) || s.back() == ';')) s.remove_suffix(1);
  if (!TakeWord(s, "select") || !TakeWord(s, "*") || !TakeWord(s, "from")) return false;
  if (s.size() < 2 || s.front() != '[' || s.back() != ']') return false;
  table.assign(s.substr(1, s.size() - 2));
  return true;
}

class WorkbookSession : public Session {
 public:
  WorkbookSession(std::unique_ptr<RandomAccessFile> file, std::unique_ptr<CompoundFile> compound,
                  std::unique_ptr<RandomAccessFile> stream)
      : file_(std::move(file)), compound_(std::move(compound)), stream_(std::move(stream)) {
    auto globals = std::make_shared<WorkbookGlobals>(ReadWorkbookGlobals(*stream_));
    globals_ = std::move(globals);
    for (const bool want_visible : {true, false}) {
      for (std::size_t i = 0; i < globals_->sheets.size(); ++i) {
        const SheetEntry& sheet = globals_->sheets[i];
        const bool visible = sheet.visibility == static_cast<std::uint8_t>(SheetVisibility::kVisible);
        if (sheet.type == kSheetTypeWorksheet && visible == want_visible) listed_.push_back(i);
      }
    }
  }

  std::unique_ptr<RowSource> OpenSchema(int schema) override {
    if (schema != adSchemaTables) Raise(err::kNotSupported, "工作簿不提供这种架构信息：" + std::to_string(schema));
    std::vector<FieldInfo> fields{{"TABLE_CATALOG", 1}, {"TABLE_SCHEMA", 1}, {"TABLE_NAME", 1}, {"TABLE_TYPE", 5}};
    std::vector<std::vector<Variant>> rows;
    for (const std::size_t i : listed_) {
      std::string name = TableNameOf(globals_->sheets[i].name);
      fields[2].defined_size = std::max<std::int32_t>(fields[2].defined_size, static_cast<std::int32_t>(name.size()));
      rows.push_back({Variant::Null(), Variant::Null(), Variant::Text(std::move(name)), Variant::Text("TABLE")});
    }
    return std::make_unique<TableRowSource>(std::move(fields), std::move(rows));
  }

  std::unique_ptr<RowSource> Query(std::string_view statement) override {
    std::string table;
    if (!ParseSelectAll(statement, table)) {
      Raise(err::kBadStatement, "工作簿只能执行 select * from  [表名] 语句：" + std::string(statement));
    }
    if (table.empty()) Raise(err::kTableNotFound, "找不到表：语句中的表名是空的（工作簿中没有工作表？）");
    for (const std::size_t i : listed_) {
      if (ascii::EqualsIgnoringCase(ascii::WithoutApostrophes(TableNameOf(globals_->sheets[i].name)), table)) {
        return std::make_unique<SheetTable>(globals_, ReadSheetCells(*stream_, globals_->sheets[i], *globals_));
      }
    }
    Raise(err::kTableNotFound, "找不到表：[" + table + "]");
  }

  void Execute(std::string_view) override {
    Raise(err::kWorkbookReadOnly, "工作簿只能读取，不能执行修改语句");
  }

  void Close() override {}

  // A workbook is read as it is: nothing to warn of.
  const std::vector<std::string>& Warnings() const override {
    static const std::vector<std::string> kNone;
    return kNone;
  }

 private:
  std::unique_ptr<RandomAccessFile> file_;
  std::unique_ptr<CompoundFile> compound_;
  std::unique_ptr<RandomAccessFile> stream_;
  std::shared_ptr<const WorkbookGlobals> globals_;
  std::vector<std::size_t> listed_;  // sheet indexes in schema order
};

}  // namespace

std::string TableNameOf(std::string_view sheet_name) {
  const bool plain = std::all_of(sheet_name.begin(), sheet_name.end(), [](char c) {
    // Bytes of non-ASCII characters count as letters (Chinese names stay
    // bare).
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
  });
  std::string name(sheet_name);
  name += '$';
  return plain ? name : "'" + name + "'";
}

std::unique_ptr<Session> OpenWorkbookSession(std::unique_ptr<RandomAccessFile> file) {
  char head[8] = {};
  const std::size_t got = file->Read(0, sizeof head, head);
  const std::string_view first(head, got);
  if (got == 0) Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：文件是空的");
  if (first.substr(0, 4) == kZipSignature) {
    Raise(err::kNotAWorkbook,
          "不是 Excel 97-2003 工作簿：这是 Excel 2007 或更新版本的 .xlsx 工作簿，请在 Excel 中另存为 97-2003 格式");
  }
  if (HasCompoundSignature(first)) {
    auto compound = std::make_unique<CompoundFile>(*file);
    std::unique_ptr<RandomAccessFile> stream = compound->OpenStream("Workbook");
    if (!stream) stream = compound->OpenStream("Book");
    if (!stream) {
      if (compound->HasStream("EncryptedPackage")) Raise(err::kWorkbookEncrypted, "工作簿已加密，无法读取");
      Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：文件中没有工作簿数据");
    }
    return std::make_unique<WorkbookSession>(std::move(file), std::move(compound), std::move(stream));
  }
  // A bare BIFF stream, as some generators write it (and the Excel 2.x-4.0
  // formats, which the globals reader names).
  if (got >= 4) {
    const std::uint16_t type = Le16(reinterpret_cast<const unsigned char*>(head));
    if (type == rec::kBof || type == rec::kBofBiff2 || type == rec::kBofBiff3 || type == rec::kBofBiff4) {
      auto view = std::make_unique<FileView>(*file);
      return std::make_unique<WorkbookSession>(std::move(file), nullptr, std::move(view));
    }
  }
  Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿");
}

std::unique_ptr<Session> OpenWorkbookSession(const FileSystem& file_system, std::string_view path) {
  return OpenWorkbookSession(file_system.OpenForRead(path));
}

}  // namespace platform::data::xls
