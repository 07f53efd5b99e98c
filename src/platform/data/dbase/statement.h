#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The two statement shapes the dBase provider takes, turned into plain
// structs. Keywords are matched ignoring ASCII case; everything else
// (spacing included) must be exactly as the conversion run writes it.
// Parsing is one pass over the text. A statement that does not fit raises
// Error with a description quoting the statement's start.
namespace platform::data::dbase {

enum class StatementKind { kCreateTable, kInsert };

// By the leading keywords; raises 1201 for any other statement.
StatementKind ClassifyStatement(std::string_view statement);

struct ColumnDefinition {
  std::string name;  // UTF-8, as written between the brackets
  int width = 0;     // as written (large numbers saturate); not range-checked
};

struct CreateTableStatement {
  std::string path;
  std::vector<ColumnDefinition> columns;
};

// "CREATE TABLE <path>  ([name]  CHAR(n),[name]  CHAR(n))".
// The path may hold anything; it ends at the first ".dbf" followed by
// "  (" after `folder` + separator when the path begins with the session's
// folder, else after the keywords. A name may hold anything, "]" too: a
// definition ends at a "]" followed by spaces, "CHAR(", digits, ")" and
// then "," + "[" or the final ")". Raises 1201 (with the position) when
// the statement does not fit.
CreateTableStatement ParseCreateTable(std::string_view statement, std::string_view folder);

// A table an insert may name: its path and the column names of its
// CREATE TABLE, in order, and its InsertHead. Views into storage the
// caller keeps.
struct InsertTarget {
  std::string_view path;
  std::span<const std::string> column_names;
  std::string_view head;
};

// The text an insert into the table carries after "insert into  " and
// before its first value: path, "  (", the names joined by ",",
// ")  values (". Statements that start so are parsed with one comparison.
std::string InsertHead(std::string_view path, std::span<const std::string> column_names);

// Filled by ParseInsert; reused from row to row so that nothing is
// allocated per row.
struct InsertStatement {
  std::size_t table = 0;                  // index into the targets
  std::vector<std::string_view> values;   // one per column, apostrophes undoubled
  std::vector<std::string> undoubled;     // holds the values that had doubled apostrophes
};

// "insert into  <path>  (<names>)  values ('v1','v2')". The path must be
// one of the targets' paths, the names that table's column names joined
// by "," in order, the values one per column, each in apostrophes with an
// inner apostrophe doubled. The values view the statement (or out's own
// storage) and are valid while both live. Raises 1202 (no target's path),
// 1203 (names), 1204 (number of values), 1211 (quoting), 1201 (anything
// else).
void ParseInsert(std::string_view statement, std::span<const InsertTarget> targets,
                 InsertStatement& out);

// The statement's first characters for an error description, with "…"
// when it goes on (never cutting a UTF-8 character).
std::string StatementStart(std::string_view statement);

}  // namespace platform::data::dbase
