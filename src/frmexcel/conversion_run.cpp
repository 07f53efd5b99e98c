#include "frmexcel/conversion_run.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "frmexcel/sheet_choice.h"
#include "mdlpublic/mdlpublic.h"
#include "platform/data/connection.h"
#include "platform/data/connection_text.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"

namespace frmexcel {
namespace {

namespace data = platform::data;
using platform::Variant;

// The widest field the run asks for, in bytes of code page 936 (50 Chinese
// characters); a wider column is cut to it.
constexpr std::int32_t kMaxFieldWidth = 100;
// "HHmmss.dbf"
constexpr std::size_t kStagingNameLength = 10;

// Only one run at a time: the window yields to its event loop after every
// row, and a second press must not start a run inside the first.
bool g_running = false;

class RunningGuard {
 public:
  RunningGuard() { g_running = true; }
  ~RunningGuard() { g_running = false; }
  RunningGuard(const RunningGuard&) = delete;
  RunningGuard& operator=(const RunningGuard&) = delete;
};

// A row's statement, written through a pointer into bytes kept from row to
// row: one room check per value, not one per piece appended.
class StatementBuffer {
 public:
  void Start(std::string_view head) {
    used_ = 0;
    char* p = Room(head.size());
    std::memcpy(p, head.data(), head.size());
    used_ = head.size();
  }
  // At least n bytes to write at the returned place; Advance to the end of
  // what was written.
  char* Room(std::size_t n) {
    if (bytes_.size() - used_ < n) bytes_.resize(std::max(used_ + n, 2 * bytes_.size()));
    return bytes_.data() + used_;
  }
  void Advance(const char* end) { used_ = static_cast<std::size_t>(end - bytes_.data()); }
  std::string_view text() const { return {bytes_.data(), used_}; }

 private:
  std::vector<char> bytes_;
  std::size_t used_ = 0;
};

// Writes 'text' in quotes with every apostrophe doubled, so a value can never
// end its quotes early or add to the statement: at most 2 * size + 2 bytes.
char* WriteQuoted(std::string_view text, char* p) {
  *p++ = '\'';
  for (std::size_t quote; (quote = text.find('\'')) != std::string_view::npos;) {
    std::memcpy(p, text.data(), quote + 1);
    p += quote + 1;
    *p++ = '\'';
    text.remove_prefix(quote + 1);
  }
  p = std::copy(text.begin(), text.end(), p);  // an empty view may hold no pointer
  *p++ = '\'';
  return p;
}

// The status line for a row, into a buffer kept from row to row.
void SetStatusFor(std::int32_t row_number, std::string& out) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, row_number).ptr;
  out.assign(" 已经导入 ").append(digits, end).append(" 条记录");
}

struct ColumnLists {
  std::string definitions;  // "([Code]  CHAR(8),[名称]  CHAR(100))"
  std::string names;        // "Code,名称"
};

ColumnLists BuildColumnLists(const data::Fields& fields) {
  ColumnLists lists;
  const int field_count = fields.Count();
  if (field_count > std::numeric_limits<std::int16_t>::max()) {
    platform::Raise(platform::err::kOverflow, "溢出：列数超过 32767");
  }
  for (int i = 0; i < field_count; ++i) {
    const data::Field& field = fields[i];
    const std::int32_t width = std::min(field.DefinedSize(), kMaxFieldWidth);
    if (!lists.definitions.empty()) lists.definitions += ',';
    lists.definitions += "[" + field.Name() + "]  CHAR(" + std::to_string(width) + ")";
    if (!lists.names.empty()) lists.names += ',';
    lists.names += field.Name();
  }
  lists.definitions = "(" + lists.definitions + ")";
  return lists;
}

enum class TargetPlan { kCreate, kReplace, kDeclined };

// Refuses a target the run cannot write and asks before replacing one.
TargetPlan CheckTarget(RunHost& host, const platform::FileSystem& file_system,
                       const std::string& workbook, const std::string& target) {
  // Without a target the staging table would land in the root folder.
  if (target.empty()) platform::Raise(platform::err::kPathFileAccess, "没有指定 dbf 文件");
  if (file_system.FolderExists(target)) {
    platform::Raise(platform::err::kPathFileAccess, "目标是文件夹，不是文件：" + target);
  }
  // The old target stays until the new file is complete; it is replaced
  // in one step at the end, so a failure on the way never loses it.
  if (!file_system.FileExists(target)) return TargetPlan::kCreate;
  // Replacing the workbook with its own table would lose the workbook.
  if (file_system.SameFile(workbook, target)) {
    platform::Raise(platform::err::kPathFileAccess, "目标文件就是工作簿本身，不能覆盖：" + target);
  }
  if (!host.AskYesNo(kOverwritePrompt, kMessageTitle)) return TargetPlan::kDeclined;
  // A read-only target is not ours to replace; say so before any work.
  if (file_system.IsReadOnly(target)) {
    platform::Raise(platform::err::kPermissionDenied, "没有权限覆盖只读文件：" + target);
  }
  return TargetPlan::kReplace;
}

// One insert per row, the status line after each. Returns false when the
// host asked to stop.
bool InsertRows(data::Recordset& rows, data::Connection& destination, const std::string& insert_head,
                RunHost& host, RunResult& result) {
  std::string status;
  const Variant empty = Variant::Text("");
  StatementBuffer statement;
  Variant::TextBuffer number_text;
  std::int32_t row_number = 1;
  rows.MoveFirst();
  while (!rows.IsEOF()) {
    statement.Start(insert_head);
    const int count = rows.fields().Count();
    for (int j = 0; j < count; ++j) {
      const Variant& value = mdlpublic::NullToDefault(rows.fields()[j].Value(), empty);
      if (value.kind() == Variant::Kind::kText) {
        // A string's size is below half the address space: no overflow.
        char* p = statement.Room(2 * value.text().size() + 3);
        if (j > 0) *p++ = ',';
        statement.Advance(WriteQuoted(value.text(), p));
      } else {
        // The text of a number, a date or True/False never holds an
        // apostrophe: it goes straight into the statement.
        const std::string_view text = value.TextIn(number_text);
        char* p = statement.Room(text.size() + 3);
        if (j > 0) *p++ = ',';
        *p++ = '\'';
        p = std::copy(text.begin(), text.end(), p);
        *p++ = '\'';
        statement.Advance(p);
      }
    }
    char* end = statement.Room(1);
    *end++ = ')';
    statement.Advance(end);
    mdlpublic::strSql.assign(statement.text());
    destination.Execute(mdlpublic::strSql, data::adOptionUnspecified);

    SetStatusFor(row_number, status);
    host.SetStatusText(status);
    result.rows = row_number;
    if (row_number == std::numeric_limits<std::int32_t>::max()) {
      platform::Raise(platform::err::kOverflow, "溢出：记录数超过 2147483647");
    }
    ++row_number;
    rows.MoveNext();
    if (!host.Yield()) return false;
  }
  return true;
}

// Puts the finished table at the target.
void MoveIntoPlace(platform::FileSystem& file_system, const std::string& staging_path,
                   const std::string& target, TargetPlan plan) {
  if (plan == TargetPlan::kReplace) {
    file_system.ReplaceFile(staging_path, target);
  } else {
    // Never replaces: a file that appeared at the target meanwhile stays.
    file_system.MoveFile(staging_path, target);
  }
}

// Creates the staging table, fills it and moves it to the target.
RunOutcome WriteTarget(RunHost& host, const RunServices& services, data::Recordset& rows,
                       const ColumnLists& columns, const std::string& target, TargetPlan plan,
                       RunResult& result) {
  const std::string folder = mdlpublic::GetDirPart(target);
  data::Connection destination(services.providers);
  const std::string staging_name =
      mdlpublic::CreateDbfTable(folder, columns.definitions, destination, services.clock,
                                services.file_system.GetFileName(target));
  const std::string staging_path = folder + platform::kPathSeparator + staging_name;
  const std::string insert_head =
      "insert into  " + staging_path + "  (" + columns.names + ") " + " values (";
  const bool completed = InsertRows(rows, destination, insert_head, host, result);
  destination.Close();
  result.warnings = destination.Warnings();
  if (!completed) {
    // An unfinished table must not be mistaken for a result.
    services.file_system.DeleteFile(staging_path, true);
    return RunOutcome::kStopped;
  }
  host.SetStatusText(host.StatusText() + " 完成");
  MoveIntoPlace(services.file_system, staging_path, target, plan);
  return RunOutcome::kCompleted;
}

// True when a staging file name ("HHmmss.dbf") starts at text[at].
bool IsStagingNameAt(std::string_view text, std::size_t at) {
  constexpr std::string_view kExtension = ".dbf";
  if (text.size() - at < kStagingNameLength) return false;
  const std::string_view name = text.substr(at, kStagingNameLength);
  return name.ends_with(kExtension) &&
         name.find_first_not_of("0123456789") == kStagingNameLength - kExtension.size();
}

// The user knows the target, not the staging file: an error that names a
// staging path ("<folder>/HHmmss.dbf") names the target instead.
platform::Error NamingTheTarget(const platform::Error& error, const std::string& target) {
  const std::string folder = mdlpublic::GetDirPart(target) + platform::kPathSeparator;
  const std::string& text = error.description();
  std::string named;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(folder, from)) != std::string::npos;) {
    if (IsStagingNameAt(text, at + folder.size())) {
      named.append(text, from, at - from).append(target);
      from = at + folder.size() + kStagingNameLength;
    } else {
      named.append(text, from, at + 1 - from);
      from = at + 1;
    }
  }
  named.append(text, from);
  return platform::Error(error.number(), named);
}

}  // namespace

RunResult RunConversion(RunHost& host, const RunServices& services) {
  RunResult result;
  if (g_running) {
    result.outcome = RunOutcome::kAlreadyRunning;
    return result;
  }
  const RunningGuard guard;

  // Both paths are read once: editing them mid-run must not redirect the
  // rows that follow.
  const std::string workbook = host.WorkbookPath();
  const std::string target = host.TargetPath();
  const std::string sheet = host.SheetChoice();

  data::Connection source(services.providers);
  source.Open(data::WorkbookConnectionText(workbook), "", "", data::adOptionUnspecified);
  mdlpublic::strSql = "select * from  [" + ChooseSheet(source, sheet) + "]";
  data::Recordset rows;
  mdlpublic::OpenRecordset(rows, mdlpublic::strSql, source);
  if (rows.RecordCount() == 0) {
    result.outcome = RunOutcome::kNoRows;
    return result;
  }
  const ColumnLists columns = BuildColumnLists(rows.fields());
  const TargetPlan plan = CheckTarget(host, services.file_system, workbook, target);
  if (plan == TargetPlan::kDeclined) {
    result.outcome = RunOutcome::kDeclined;
    return result;
  }
  try {
    result.outcome = WriteTarget(host, services, rows, columns, target, plan, result);
  } catch (const platform::Error& error) {
    throw NamingTheTarget(error, target);
  }
  return result;
}

}  // namespace frmexcel
