#include "frmexcel/conversion_run.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

#include "mdlpublic/mdlpublic.h"
#include "platform/data/connection.h"
#include "platform/data/connection_text.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"

namespace frmexcel {
namespace {

namespace data = platform::data;
using platform::Variant;

// Fields wider than this are cut to it: the older systems that read our
// files take character fields of at most 100.
constexpr std::int32_t kMaxFieldWidth = 100;
// The sheet name is column 2 of the tables rowset.
constexpr int kTableNameColumn = 2;


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

std::string RemoveApostrophes(const std::string& text) { return platform::ascii::WithoutApostrophes(text); }

// Appends 'text' with every apostrophe doubled, so a value can never end
// its quotes early or add to the statement.
void AppendQuoted(std::string_view text, std::string& out) {
  out += '\'';
  for (std::size_t quote; (quote = text.find('\'')) != std::string_view::npos;) {
    out.append(text.substr(0, quote + 1));
    out += '\'';
    text.remove_prefix(quote + 1);
  }
  out.append(text);
  out += '\'';
}

// The status line for a row, into a buffer kept from row to row.
void SetStatusFor(std::int32_t row_number, std::string& out) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, row_number).ptr;
  out.assign(" 已经导入 ").append(digits, end).append(" 条记录");
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

  data::Connection source(services.providers);
  source.Open(data::WorkbookConnectionText(workbook), "", "", data::adOptionUnspecified);

  std::string sheet;
  {
    const std::unique_ptr<data::Recordset> tables = source.OpenSchema(data::adSchemaTables);
    if (!tables->IsEOF()) {
      tables->MoveFirst();
      sheet = RemoveApostrophes(tables->fields()[kTableNameColumn].Value().ToText());
    }
  }

  mdlpublic::strSql = "select * from  [" + sheet + "]";
  data::Recordset rows;
  mdlpublic::OpenRecordset(rows, mdlpublic::strSql, source);

  if (rows.RecordCount() == 0) {
    result.outcome = RunOutcome::kNoRows;
    return result;
  }

  std::string column_definitions;
  std::string column_names;
  const int field_count = rows.fields().Count();
  if (field_count > std::numeric_limits<std::int16_t>::max()) {
    platform::Raise(platform::err::kOverflow, "溢出：列数超过 32767");
  }
  for (int i = 0; i < field_count; ++i) {
    const data::Field& field = rows.fields()[i];
    const std::int32_t width = std::min(field.DefinedSize(), kMaxFieldWidth);
    if (!column_definitions.empty()) column_definitions += ',';
    column_definitions += "[" + field.Name() + "]  CHAR(" + std::to_string(width) + ")";
    if (!column_names.empty()) column_names += ',';
    column_names += field.Name();
  }
  column_definitions = "(" + column_definitions + ")";

  // Without a target the staging table would land in the root folder.
  if (target.empty()) platform::Raise(platform::err::kPathFileAccess, "没有指定 dbf 文件");
  if (services.file_system.FolderExists(target)) {
    platform::Raise(platform::err::kPathFileAccess, "目标是文件夹，不是文件：" + target);
  }
  // The old target stays until the new file is complete; it is replaced
  // in one step at the end, so a failure on the way never loses it.
  const bool replace_target = services.file_system.FileExists(target);
  // Replacing the workbook with its own table would lose the workbook.
  if (replace_target && services.file_system.SameFile(workbook, target)) {
    platform::Raise(platform::err::kPathFileAccess, "目标文件就是工作簿本身，不能覆盖：" + target);
  }
  if (replace_target) {
    if (!host.AskYesNo(kOverwritePrompt, kMessageTitle)) {
      result.outcome = RunOutcome::kDeclined;
      return result;
    }
    // A read-only target is not ours to replace; say so before any work.
    if (services.file_system.IsReadOnly(target)) {
      platform::Raise(platform::err::kPermissionDenied, "没有权限覆盖只读文件：" + target);
    }
  }

  const std::string folder = mdlpublic::GetDirPart(target);
  data::Connection destination(services.providers);
  const std::string staging_name =
      mdlpublic::CreateDbfTable(folder, column_definitions, destination, services.clock);
  const std::string staging_path = folder + platform::kPathSeparator + staging_name;

  std::string insert_head = "insert into  " + staging_path + "  (" + column_names + ") " + " values (";
  std::string text;
  std::string status;
  const Variant empty = Variant::Text("");
  std::int32_t row_number = 1;
  bool stop_requested = false;
  rows.MoveFirst();
  while (!rows.IsEOF()) {
    // Built in place, in buffers that keep their room from row to row.
    std::string& statement = mdlpublic::strSql;
    statement.assign(insert_head);
    const int count = rows.fields().Count();
    for (int j = 0; j < count; ++j) {
      if (j > 0) statement += ',';
      const Variant& value = mdlpublic::NullToDefault(rows.fields()[j].Value(), empty);
      if (value.kind() == Variant::Kind::kText) {
        AppendQuoted(value.text(), statement);
      } else {
        text.clear();
        value.AppendText(text);
        AppendQuoted(text, statement);
      }
    }
    statement += ')';
    destination.Execute(statement, data::adOptionUnspecified);

    SetStatusFor(row_number, status);
    host.SetStatusText(status);
    result.rows = row_number;
    if (row_number == std::numeric_limits<std::int32_t>::max()) {
      platform::Raise(platform::err::kOverflow, "溢出：记录数超过 2147483647");
    }
    ++row_number;
    rows.MoveNext();
    if (!host.Yield()) {
      stop_requested = true;
      break;
    }
  }

  destination.Close();
  result.warnings = destination.Warnings();
  if (stop_requested) {
    // An unfinished table must not be mistaken for a result.
    services.file_system.DeleteFile(staging_path, true);
    result.outcome = RunOutcome::kStopped;
    return result;
  }
  host.SetStatusText(host.StatusText() + " 完成");

  if (replace_target) {
    services.file_system.ReplaceFile(staging_path, target);
  } else {
    // Never replaces: a file that appeared at the target meanwhile stays.
    services.file_system.MoveFile(staging_path, target);
  }
  result.outcome = RunOutcome::kCompleted;
  return result;
}

}  // namespace frmexcel
