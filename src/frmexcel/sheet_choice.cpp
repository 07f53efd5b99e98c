#include "frmexcel/sheet_choice.h"

#include <charconv>
#include <memory>
#include <vector>

#include "platform/data/connection.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/error.h"

namespace frmexcel {
namespace {

namespace data = platform::data;

// The sheet name is column 2 of the tables rowset.
constexpr int kTableNameColumn = 2;

// Every table the workbook lists, without apostrophes ("Sheet1$").
std::vector<std::string> ListedTables(data::Connection& source) {
  const std::unique_ptr<data::Recordset> tables = source.OpenSchema(data::adSchemaTables);
  std::vector<std::string> names;
  if (tables->IsEOF()) return names;
  for (tables->MoveFirst(); !tables->IsEOF(); tables->MoveNext()) {
    names.push_back(platform::ascii::WithoutApostrophes(tables->fields()[kTableNameColumn].Value().ToText()));
  }
  return names;
}

// A listed table's sheet name: the table name without the '$' a workbook
// adds to it.
std::string_view SheetNameOf(std::string_view table) {
  if (table.ends_with('$')) table.remove_suffix(1);
  return table;
}

// The 1-based number a choice of digits only gives; 0 for any other text.
std::size_t NumberOf(const std::string& choice) {
  std::size_t number = 0;
  const auto [end, error] = std::from_chars(choice.data(), choice.data() + choice.size(), number);
  if (error != std::errc() || end != choice.data() + choice.size()) return 0;
  return number;
}

[[noreturn]] void RaiseNoSuchSheet(const std::string& choice, const std::vector<std::string>& tables) {
  std::string known;
  for (std::size_t i = 0; i < tables.size(); ++i) {
    known += (i == 0 ? "" : "，") + std::to_string(i + 1) + " " + std::string(SheetNameOf(tables[i]));
  }
  platform::Raise(platform::err::kTableNotFound,
                  "工作簿中没有工作表“" + choice + "”" +
                      (tables.empty() ? "：工作簿中没有工作表" : "；可选的工作表（序号 名称）：" + known));
}

}  // namespace

std::string ChooseSheet(data::Connection& source, const std::string& choice) {
  const std::vector<std::string> tables = ListedTables(source);
  if (choice.empty()) return tables.empty() ? "" : tables.front();
  // A name wins over a number: a sheet may well be called "2".
  const std::string wanted = platform::ascii::WithoutApostrophes(choice);
  for (const std::string& table : tables) {
    if (platform::ascii::EqualsIgnoringCase(SheetNameOf(table), wanted)) return table;
  }
  const std::size_t number = NumberOf(choice);
  if (number >= 1 && number <= tables.size()) return tables[number - 1];
  RaiseNoSuchSheet(choice, tables);
}

}  // namespace frmexcel
