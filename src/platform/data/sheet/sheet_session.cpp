#include "platform/data/sheet/sheet_session.h"

#include "platform/data/sheet/sheet_cells.h"

#include <algorithm>

#include "platform/data/sheet/streamed_table.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/error.h"

namespace platform::data::sheet {
namespace {

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

class SheetSession : public Session {
 public:
  explicit SheetSession(std::unique_ptr<WorkbookReader> reader) : reader_(std::move(reader)) {
    const std::vector<Worksheet> sheets = reader_->Worksheets();
    for (const bool want_visible : {true, false}) {
      for (std::size_t i = 0; i < sheets.size(); ++i) {
        if (sheets[i].visible == want_visible) listed_.push_back({TableNameOf(sheets[i].name), i});
      }
    }
  }

  std::unique_ptr<RowSource> OpenSchema(int schema) override {
    if (schema != adSchemaTables) Raise(err::kNotSupported, "工作簿不提供这种架构信息：" + std::to_string(schema));
    std::vector<FieldInfo> fields{{"TABLE_CATALOG", 1}, {"TABLE_SCHEMA", 1}, {"TABLE_NAME", 1}, {"TABLE_TYPE", 5}};
    std::vector<std::vector<Variant>> rows;
    for (const Listed& table : listed_) {
      fields[2].defined_size = std::max(fields[2].defined_size, static_cast<std::int32_t>(table.name.size()));
      rows.push_back({Variant::Null(), Variant::Null(), Variant::Text(table.name), Variant::Text("TABLE")});
    }
    return std::make_unique<TableRowSource>(std::move(fields), std::move(rows));
  }

  std::unique_ptr<RowSource> Query(std::string_view statement) override {
    std::string table;
    if (!ParseSelectAll(statement, table)) {
      Raise(err::kBadStatement, "工作簿只能执行 select * from  [表名] 语句：" + std::string(statement));
    }
    if (table.empty()) Raise(err::kTableNotFound, "找不到表：语句中的表名是空的（工作簿中没有工作表？）");
    for (const Listed& listed : listed_) {
      if (ascii::EqualsIgnoringCase(ascii::WithoutApostrophes(listed.name), table)) {
        return OpenSheetTable(reader_, listed.worksheet);
      }
    }
    Raise(err::kTableNotFound, "找不到表：[" + table + "]");
  }

  void Execute(std::string_view) override {
    Raise(err::kWorkbookReadOnly, "工作簿只能读取，不能执行修改语句");
  }

  // A workbook is read as it is: nothing to finish, nothing to warn of.
  void Close() override {}

 private:
  struct Listed {
    std::string name;       // as the schema lists it
    std::size_t worksheet;  // index into the reader's worksheets
  };

  // Shared with the tables, which read the sheet after Query returns.
  std::shared_ptr<const WorkbookReader> reader_;
  std::vector<Listed> listed_;  // in schema order
};

}  // namespace

void WorkbookReader::RaiseMissingSharedString(std::size_t /*worksheet*/, std::uint32_t /*row*/,
                                              std::uint32_t /*column*/, std::uint64_t index) const {
  sheet::RaiseMissingSharedString(index);
}

std::unique_ptr<Session> OpenSheetSession(std::unique_ptr<WorkbookReader> reader) {
  return std::make_unique<SheetSession>(std::move(reader));
}

std::string TableNameOf(std::string_view sheet_name) {
  const bool plain = std::all_of(sheet_name.begin(), sheet_name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
  });
  std::string name(sheet_name);
  name += '$';
  return plain ? name : "'" + name + "'";
}

}  // namespace platform::data::sheet
