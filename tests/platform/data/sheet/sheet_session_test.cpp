#include "platform/data/sheet/sheet_session.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/runtime/error.h"
#include "sheet_test_cells.h"
#include "support/errors.h"

namespace platform::data::sheet {
namespace {

using namespace sheet_test;
using testing_support::ErrorOf;

// A workbook in memory: each worksheet's only value is "from " + its name.
class MemoryWorkbook : public WorkbookReader {
 public:
  explicit MemoryWorkbook(std::vector<Worksheet> sheets) : sheets_(std::move(sheets)) {
    for (const Worksheet& sheet : sheets_) cells_.push_back({T(0, 0, "name"), T(1, 0, "from " + sheet.name)});
  }
  std::vector<Worksheet> Worksheets() const override { return sheets_; }
  std::unique_ptr<SheetScan> ScanCells(std::size_t index) const override {
    return std::make_unique<MemoryScan>(cells_.at(index));
  }
  std::shared_ptr<const StringTable> SharedStrings() const override { return std::make_shared<StringTable>(); }

 private:
  std::vector<Worksheet> sheets_;
  std::vector<std::vector<Cell>> cells_;
};

std::unique_ptr<Session> Open() {
  return OpenSheetSession(std::make_unique<MemoryWorkbook>(std::vector<Worksheet>{
      {"Hidden", false}, {"Sheet 1", true}, {"O'Brien", true}, {"销售_2023", true}, {"Very", false}}));
}

TEST(SheetSessionTest, SchemaListsVisibleWorksheetsThenHiddenOnes) {
  auto schema = Open()->OpenSchema(adSchemaTables);
  ASSERT_EQ(schema->Fields().size(), 4u);
  EXPECT_EQ(schema->Fields()[2].name, "TABLE_NAME");
  EXPECT_EQ(schema->Fields()[2].defined_size, 12);  // the longest name in UTF-8 bytes: 销售_2023$
  std::vector<std::string> names;
  Variant v;
  for (std::int64_t r = 0; r < schema->RowCount(); ++r) {
    schema->ReadValue(r, 2, v);
    names.push_back(v.ToText());
    schema->ReadValue(r, 3, v);
    EXPECT_EQ(v, Variant::Text("TABLE"));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"'Sheet 1$'", "'O'Brien$'", "销售_2023$", "Hidden$", "Very$"}));
}

TEST(SheetSessionTest, SelectNamesTheListedNameWithoutApostrophesInAnyAsciiCase) {
  auto session = Open();
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"select * from  [OBrien$]", "from O'Brien"}, {"SELECT * FROM  [sheet 1$]", "from Sheet 1"},
      {"  select *  from [销售_2023$] ;", "from 销售_2023"}, {"select * from  [hidden$]", "from Hidden"},
  };
  for (const auto& [statement, value] : cases) {
    EXPECT_EQ(RowsOf(*session->Query(statement)), std::vector<std::string>{std::string(value) + "|"}) << statement;
  }
}

TEST(SheetSessionTest, StatementsItDoesNotAnswer) {
  auto session = Open();
  struct Case {
    std::function<void()> call;
    int number;
    std::string text;
  };
  const std::vector<Case> cases = {
      {[&] { session->Query("select * from  []"); }, err::kTableNotFound,
       "找不到表：语句中的表名是空的（工作簿中没有工作表？）"},
      {[&] { session->Query("select * from  [Nope$]"); }, err::kTableNotFound, "找不到表：[Nope$]"},
      {[&] { session->Query("select * from  [Sheet 1]"); }, err::kTableNotFound, "找不到表：[Sheet 1]"},
      {[&] { session->Query("select a from  [Hidden$]"); }, err::kBadStatement,
       "工作簿只能执行 select * from  [表名] 语句：select a from  [Hidden$]"},
      {[&] { session->Execute("insert into x values (1)"); }, err::kWorkbookReadOnly,
       "工作簿只能读取，不能执行修改语句"},
      {[&] { session->OpenSchema(adSchemaTables + 1); }, err::kNotSupported, "工作簿不提供这种架构信息：21"},
  };
  for (const auto& c : cases) {
    const Error e = ErrorOf(c.call);
    EXPECT_EQ(e.number(), c.number) << c.text;
    EXPECT_EQ(e.description(), c.text);
  }
  EXPECT_TRUE(session->DataWarnings().empty());
}

TEST(SheetSessionTest, TableNamesAreQuotedWhenTheyHoldMoreThanLettersDigitsAndUnderscores) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"Sheet1", "Sheet1$"}, {"销售_2023", "销售_2023$"}, {"Sheet 1", "'Sheet 1$'"}, {"a-b", "'a-b$'"},
      {"O'Brien", "'O'Brien$'"}, {"", "$"},
  };
  for (const auto& [name, table] : cases) EXPECT_EQ(TableNameOf(name), table) << name;
}

}  // namespace
}  // namespace platform::data::sheet
