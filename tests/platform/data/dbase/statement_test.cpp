#include "platform/data/dbase/statement.h"

#include <gtest/gtest.h>

#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"
#include "support/errors.h"

namespace platform::data::dbase {
namespace {

// '|' stands for the platform's path separator.
std::string P(std::string s) {
  for (char& c : s) {
    if (c == '|') c = kPathSeparator;
  }
  return s;
}

// Folder names users have: everything the path may hold.
const char* const kOddFolder = "|home|张三|my data (2024) [v1], O'Brien's";

TEST(ParseCreateTableTest, TakesTheRunsShapeWithAnyPathAndNames) {
  const struct {
    const char* folder;
    const char* statement;
    const char* path;
    std::vector<ColumnDefinition> columns;
  } cases[] = {
      {"|d", "CREATE TABLE |d|143005.dbf  ([Code]  CHAR(8),[名称]  CHAR(100))", "|d|143005.dbf",
       {{"Code", 8}, {"名称", 100}}},
      {"|d", "create table |d|143005.DBF  ([a]  char(1))", "|d|143005.DBF", {{"a", 1}}},
      {kOddFolder, "CREATE TABLE |home|张三|my data (2024) [v1], O'Brien's|090507.dbf  ([a]  CHAR(1))",
       "|home|张三|my data (2024) [v1], O'Brien's|090507.dbf", {{"a", 1}}},
      // A folder holding the very text that ends a path.
      {"|x.dbf  ([a]  CHAR(1))", "CREATE TABLE |x.dbf  ([a]  CHAR(1))|143005.dbf  ([b]  CHAR(2))",
       "|x.dbf  ([a]  CHAR(1))|143005.dbf", {{"b", 2}}},
      // A table outside the session's folder.
      {"|d", "CREATE TABLE |e|1.dbf  ([a]  CHAR(1))", "|e|1.dbf", {{"a", 1}}},
      // The empty folder: the path is a separator and the name.
      {"", "CREATE TABLE |143005.dbf  ([a]  CHAR(1))", "|143005.dbf", {{"a", 1}}},
      // Names with spaces, commas, apostrophes, brackets and a false end.
      {"|d",
       "CREATE TABLE |d|1.dbf  ([a b]  CHAR(1),[x,y]  CHAR(2),[it's]  CHAR(3),[a]b]  CHAR(4),"
       "[[c]  CHAR(5),[p]  CHAR(1)q]  CHAR(6),[单价 (元)]  CHAR(7))",
       "|d|1.dbf",
       {{"a b", 1}, {"x,y", 2}, {"it's", 3}, {"a]b", 4}, {"[c", 5}, {"p]  CHAR(1)q", 6},
        {"单价 (元)", 7}}},
      {"|d", "CREATE TABLE |d|1.dbf  ([a]  CHAR(008),[b]   CHAR(2))", "|d|1.dbf",
       {{"a", 8}, {"b", 2}}},
      // Checked later, not here: an empty name, widths out of range.
      {"|d", "CREATE TABLE |d|1.dbf  ([]  CHAR(0),[b]  CHAR(99999999999))", "|d|1.dbf",
       {{"", 0}, {"b", 1000000}}},
  };
  for (const auto& c : cases) {
    const std::string statement = P(c.statement);
    EXPECT_EQ(ClassifyStatement(statement), StatementKind::kCreateTable);
    const CreateTableStatement create = ParseCreateTable(statement, P(c.folder));
    EXPECT_EQ(create.path, P(c.path)) << statement;
    ASSERT_EQ(create.columns.size(), c.columns.size()) << statement;
    for (std::size_t i = 0; i < c.columns.size(); ++i) {
      EXPECT_EQ(create.columns[i].name, c.columns[i].name) << statement;
      EXPECT_EQ(create.columns[i].width, c.columns[i].width) << statement;
    }
  }
}

// Asserts that parsing fails with the number and a description that
// quotes the statement's start.
template <typename F>
void ExpectRefused(const std::string& statement, int number, F parse) {
  const Error e = testing_support::ErrorOf([&] { parse(statement); });
  EXPECT_EQ(e.number(), number) << statement << "\n" << e.description();
  EXPECT_NE(e.description().find(StatementStart(statement)), std::string::npos) << e.description();
  EXPECT_NE(e.description().find("个字符处"), std::string::npos) << e.description();
}

TEST(ParseCreateTableTest, RefusesEverythingElse) {
  const char* const cases[] = {
      "CREATE TABLE |d|1.dbf ([a]  CHAR(1))",       // one space before the list
      "CREATE TABLE |d|1.txt  ([a]  CHAR(1))",      // not a .dbf
      "CREATE TABLE .dbf  ([a]  CHAR(1))",          // no name at all
      "CREATE  TABLE |d|1.dbf  ([a]  CHAR(1))",
      "CREATE TABLE",
      "CREATE TABLE |d|1.dbf  ()",
      "CREATE TABLE |d|1.dbf  (a  CHAR(1))",        // no brackets
      "CREATE TABLE |d|1.dbf  ([a]CHAR(1))",        // no space
      "CREATE TABLE |d|1.dbf  ([a]  CHAR())",
      "CREATE TABLE |d|1.dbf  ([a]  CHAR(-1))",
      "CREATE TABLE |d|1.dbf  ([a]  VARCHAR(1))",
      "CREATE TABLE |d|1.dbf  ([a]  CHAR(1)",       // unclosed list
      "CREATE TABLE |d|1.dbf  ([a]  CHAR(1)) ",     // text after it
      "CREATE TABLE |d|1.dbf  ([a]  CHAR(1),)",
      "CREATE TABLE |d|1.dbf  ([a]  CHAR(1),[b])",
      "CREATE TABLE |d|1.dbf  ([a  CHAR(1))",
  };
  for (const char* c : cases) {
    ExpectRefused(P(c), err::kDbaseBadStatement,
                  [](const std::string& s) { ParseCreateTable(s, P("|d")); });
  }
}

TEST(ClassifyStatementTest, OnlyCreateAndInsert) {
  EXPECT_EQ(ClassifyStatement("Insert into  x"), StatementKind::kInsert);
  for (const char* c : {"", "DROP TABLE x", "select * from  [Sheet1$]", "CREATETABLE", " insert"}) {
    ExpectRefused(c, err::kDbaseBadStatement, [](const std::string& s) { ClassifyStatement(s); });
  }
}

TEST(StatementStartTest, QuotesSixtyCharactersOnOneLine) {
  EXPECT_EQ(StatementStart("insert into  x"), "insert into  x");
  std::string long_text;
  for (int i = 0; i < 70; ++i) long_text += "苹";
  std::string expected;
  for (int i = 0; i < 60; ++i) expected += "苹";
  EXPECT_EQ(StatementStart(long_text), expected + "…");
  EXPECT_EQ(StatementStart("a\nb"), "a b");
}

std::vector<std::string> Values(const InsertStatement& insert) {
  return {insert.values.begin(), insert.values.end()};
}

class ParseInsertTest : public ::testing::Test {
 protected:
  std::string plain_path = P("|d|143005.dbf");
  std::vector<std::string> plain_names = {"Code", "名称"};
  std::string odd_path = P(std::string(kOddFolder) + "|143005.dbf");
  std::vector<std::string> odd_names = {"a b", "x,y", "it's"};
  std::string plain_head = InsertHead(plain_path, plain_names);
  std::string odd_head = InsertHead(odd_path, odd_names);
  std::vector<InsertTarget> targets = {{plain_path, plain_names, plain_head},
                                       {odd_path, odd_names, odd_head}};
  InsertStatement insert;
};

TEST_F(ParseInsertTest, TakesTheRunsShape) {
  const struct {
    std::string statement;
    std::size_t table;
    std::vector<std::string> values;
  } cases[] = {
      {"insert into  |d|143005.dbf  (Code,名称)  values ('1','苹果')", 0, {"1", "苹果"}},
      {"INSERT INTO  |d|143005.dbf  (Code,名称)  VALUES ('1','2')", 0, {"1", "2"}},
      {"insert into  |d|143005.dbf  (Code,名称)  values ('','')", 0, {"", ""}},
      // Doubled apostrophes stand for one.
      {"insert into  |d|143005.dbf  (Code,名称)  values ('O''Brien','''')", 0, {"O'Brien", "'"}},
      {"insert into  |d|143005.dbf  (Code,名称)  values ('''a''','b''''')", 0, {"'a'", "b''"}},
      // Values holding the statement's own punctuation.
      {"insert into  |d|143005.dbf  (Code,名称)  values ('a,b','x'',''y')", 0, {"a,b", "x','y"}},
      {"insert into  |d|143005.dbf  (Code,名称)  values (')  values (','(')", 0,
       {")  values (", "("}},
      {"insert into  |d|143005.dbf  (Code,名称)  values ('  ','a\nb')", 0, {"  ", "a\nb"}},
      // Names with spaces and commas, in a folder with everything.
      {"insert into  " + std::string(kOddFolder) +
           "|143005.dbf  (a b,x,y,it's)  values ('1,2','(3)','4''5')",
       1,
       {"1,2", "(3)", "4'5"}},
  };
  for (const auto& c : cases) {
    const std::string statement = P(c.statement);
    EXPECT_EQ(ClassifyStatement(statement), StatementKind::kInsert);
    ParseInsert(statement, targets, insert);
    EXPECT_EQ(insert.table, c.table) << statement;
    EXPECT_EQ(Values(insert), c.values) << statement;
  }
}

// Texts built so that one table's path begins another's: the statement
// must still go to exactly one table, by the same rule however it is
// spelled.
TEST_F(ParseInsertTest, LongerPathWinsAndOthersAreTriedWhenItDoesNotFit) {
  const std::string short_path = P("|d|1.dbf");
  const std::string long_path = P("|d|1.dbf  (x");
  const std::vector<std::string> short_names = {"x  (y"};
  const std::vector<std::string> long_names = {"y"};
  const std::vector<std::string> other_names = {"z"};
  const std::string short_head = InsertHead(short_path, short_names);
  const std::string long_head = InsertHead(long_path, long_names);
  const std::string other_head = InsertHead(long_path, other_names);
  const std::vector<InsertTarget> both = {{short_path, short_names, short_head},
                                          {long_path, long_names, long_head}};
  const std::vector<InsertTarget> fallback = {{short_path, short_names, short_head},
                                              {long_path, other_names, other_head}};
  for (const char* values : {"values", "VALUES"}) {
    const std::string statement = P("insert into  |d|1.dbf  (x  (y)  ") + values + " ('v')";
    ParseInsert(statement, both, insert);
    EXPECT_EQ(insert.table, 1u) << statement;
    ParseInsert(statement, fallback, insert);
    EXPECT_EQ(insert.table, 0u) << statement;
    EXPECT_EQ(Values(insert), std::vector<std::string>{"v"});
  }
}

// Apostrophes are found eight bytes at a time: put one, doubled, at every
// place of a value against those eight bytes, with bytes of every kind
// (high bytes, the bytes next to the apostrophe's) around it.
TEST_F(ParseInsertTest, ApostropheFoundAtEveryPlaceOfALongValue) {
  const std::string filler = "&(\x80\xFF苹果\x26\x28" "ab";
  for (std::size_t length = 0; length <= 24; ++length) {
    std::string plain;
    while (plain.size() < length) plain += filler[plain.size() % filler.size()];
    for (std::size_t at = 0; at <= length; ++at) {
      const std::string value = plain.substr(0, at) + "'" + plain.substr(at);
      std::string quoted = plain.substr(0, at) + "''" + plain.substr(at);
      const std::string statement =
          P("insert into  |d|143005.dbf  (Code,名称)  values ('") + plain + "','" + quoted + "')";
      ParseInsert(statement, targets, insert);
      ASSERT_EQ(Values(insert), (std::vector<std::string>{plain, value})) << statement;
    }
  }
}

TEST_F(ParseInsertTest, ReusedStatementHoldsOnlyTheNewValues) {
  const std::string first =
      P("insert into  |d|143005.dbf  (Code,名称)  values ('long value','x''''y')");
  const std::string second = P("insert into  |d|143005.dbf  (Code,名称)  values ('a''b','')");
  ParseInsert(first, targets, insert);
  EXPECT_EQ(Values(insert), (std::vector<std::string>{"long value", "x''y"}));
  ParseInsert(second, targets, insert);
  EXPECT_EQ(Values(insert), (std::vector<std::string>{"a'b", ""}));
}

TEST_F(ParseInsertTest, RefusesEverythingElse) {
  const struct {
    const char* statement;
    int number;
  } cases[] = {
      {"insert into  |d|999999.dbf  (Code,名称)  values ('1','2')", err::kDbaseUnknownTable},
      {"insert into  |D|143005.dbf  (Code,名称)  values ('1','2')", err::kDbaseUnknownTable},
      {"insert into |d|143005.dbf  (Code,名称)  values ('1','2')", err::kDbaseBadStatement},
      {"insert  into  |d|143005.dbf  (Code,名称)  values ('1','2')", err::kDbaseBadStatement},
      {"insert into  |d|143005.dbf (Code,名称)  values ('1','2')", err::kDbaseUnknownTable},
      {"insert into  |d|143005.dbf  (Code,Name)  values ('1','2')", err::kDbaseFieldListMismatch},
      {"insert into  |d|143005.dbf  (Code)  values ('1','2')", err::kDbaseFieldListMismatch},
      {"insert into  |d|143005.dbf  (Code,名称,X)  values ('1','2')", err::kDbaseFieldListMismatch},
      {"insert into  |d|143005.dbf  (code,名称)  values ('1','2')", err::kDbaseFieldListMismatch},
      {"insert into  |d|143005.dbf  (Code,名称) values ('1','2')", err::kDbaseBadStatement},
      {"insert into  |d|143005.dbf  (Code,名称)  values ('1')", err::kDbaseValueCount},
      {"insert into  |d|143005.dbf  (Code,名称)  values ('1','2','3')", err::kDbaseValueCount},
      {"insert into  |d|143005.dbf  (Code,名称)  values ('O'Brien','2')", err::kDbaseBadQuoting},
      {"insert into  |d|143005.dbf  (Code,名称)  values ('1','2)", err::kDbaseBadQuoting},
      {"insert into  |d|143005.dbf  (Code,名称)  values (1,'2')", err::kDbaseBadQuoting},
      {"insert into  |d|143005.dbf  (Code,名称)  values ('1','2'", err::kDbaseBadQuoting},
      {"insert into  |d|143005.dbf  (Code,名称)  values ('1', '2')", err::kDbaseBadQuoting},
      {"insert into  |d|143005.dbf  (Code,名称)  values ('1','2') ", err::kDbaseBadStatement},
      {"insert into  |d|143005.dbf  (Code,名称)  values ('1','2'))", err::kDbaseBadStatement},
  };
  for (const auto& c : cases) {
    ExpectRefused(P(c.statement), c.number,
                  [&](const std::string& s) { ParseInsert(s, targets, insert); });
  }
}

TEST_F(ParseInsertTest, NoTablesMeansUnknownTable) {
  ExpectRefused(P("insert into  |d|143005.dbf  (Code,名称)  values ('1','2')"),
                err::kDbaseUnknownTable,
                [&](const std::string& s) { ParseInsert(s, {}, insert); });
}

}  // namespace
}  // namespace platform::data::dbase
