#pragma once

#include <string>
#include <string_view>

#include "platform/runtime/clock.h"
#include "platform/runtime/variant.h"

namespace platform::data {
class Connection;
class Recordset;
}  // namespace platform::data

// The shared module: path and text helpers, the shared statement text and
// the recordset and staging-table helpers used by the window handlers and
// the conversion run.
namespace mdlpublic {

// The statement the conversion run is about to use: its select, then each
// insert. Lives for the whole program; keeps the last statement.
extern std::string strSql;

// The folder part of a path: everything before its last separator ("\"
// on Windows, where "/" counts too; "/" elsewhere); a path without a
// separator comes back unchanged. Raises overflow (6) when a
// separator stands at character position 32,767 or later, as the
// positions are 16-bit.
std::string GetDirPart(std::string_view path);

// True when some character of the value's text is a double-byte
// character of code page 936 (the guard against Chinese folder names).
// Null, blank and non-text-convertible values are false. Never raises.
bool HasDbcsChar(const platform::Variant& value) noexcept;

// The default when value is null, else value unchanged. Returns one of
// its arguments, so it is valid as long as both are.
const platform::Variant& NullToDefault(const platform::Variant& value,
                                       const platform::Variant& default_value);

// (Re)opens recordset over source as a static, read-only cursor, closing
// it first if it is open.
void OpenRecordset(platform::data::Recordset& recordset,
                   const std::string& source,
                   platform::data::Connection& connection);

// The staging file name for a moment: "HHmmss.dbf".
std::string StagingName(const platform::LocalTime& time);

// Opens the connection (not yet open) on the dBase driver for folder and
// creates there an empty table under the first free name "HHmmss.dbf"
// from the clock's time of day on: that second's name, else the following
// seconds' (past 235959 on from 000000). A name at which anything exists
// is passed over untouched (the driver creates only new files and refuses
// the others with 58), and so is avoid_name, ignoring ASCII case: the
// target's own file name, which the staging file must never take. Returns
// the name; the connection stays open for the inserts. Raises 58 when all
// 86,400 names are taken, and any other error of the driver as it comes.
// column_definitions carries its parentheses: "([Code]  CHAR(8),[名称]  CHAR(100))".
std::string CreateDbfTable(const std::string& folder,
                           const std::string& column_definitions,
                           platform::data::Connection& connection,
                           const platform::Clock& clock,
                           std::string_view avoid_name);

}  // namespace mdlpublic
