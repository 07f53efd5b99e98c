#include "mdlpublic/mdlpublic.h"

#include <cstdint>

#include "platform/codepage/codepage.h"
#include "platform/data/connection.h"
#include "platform/data/connection_text.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/error.h"

namespace mdlpublic {
namespace {

// Character positions are 16-bit signed: a separator at this position
// leaves no room for the next search position.
constexpr std::int64_t kLastSearchablePosition = 32766;

constexpr int kSecondsPerDay = 24 * 60 * 60;

void AppendTwoDigits(int value, std::string& out) {
  out += static_cast<char>('0' + value / 10 % 10);
  out += static_cast<char>('0' + value % 10);
}

}  // namespace

std::string strSql;

std::string GetDirPart(std::string_view path) {
  // Positions count UTF-16 units, as Windows counts a path's characters.
  std::int64_t position = 0;
  std::size_t last_separator = std::string_view::npos;
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t start = i;
    const char32_t c = platform::codepage::NextCodePoint(path, i);
    position += c >= 0x10000 ? 2 : 1;
    if (platform::IsPathSeparator(c)) {
      if (position > kLastSearchablePosition) {
        platform::Raise(platform::err::kOverflow, "溢出：路径中文件夹分隔符的位置超过 32766");
      }
      last_separator = start;
    }
  }
  if (last_separator == std::string_view::npos) return std::string(path);
  return std::string(path.substr(0, last_separator));
}

bool HasDbcsChar(const platform::Variant& value) noexcept {
  try {
    if (value.IsNull()) return false;
    const std::string text = value.ToText();
    if (text.find_first_not_of(' ') == std::string::npos) return false;
    for (std::size_t i = 0; i < text.size();) {
      if (platform::codepage::IsDoubleByte(platform::codepage::NextCodePoint(text, i))) {
        return true;
      }
    }
  } catch (...) {
    // A value whose text cannot be had holds no double-byte character.
  }
  return false;
}

const platform::Variant& NullToDefault(const platform::Variant& value,
                                       const platform::Variant& default_value) {
  return value.IsNull() ? default_value : value;
}

void OpenRecordset(platform::data::Recordset& recordset, const std::string& source,
                   platform::data::Connection& connection) {
  if (recordset.State() == platform::data::adStateOpen) recordset.Close();
  recordset.Open(platform::Variant::Text(source), connection, platform::data::adOpenStatic,
                 platform::data::adLockReadOnly, platform::data::adOptionUnspecified);
}

std::string StagingName(const platform::LocalTime& time) {
  std::string name;
  AppendTwoDigits(time.hour, name);
  AppendTwoDigits(time.minute, name);
  AppendTwoDigits(time.second, name);
  return name + ".dbf";
}

std::string CreateDbfTable(const std::string& folder, const std::string& column_definitions,
                           platform::data::Connection& connection, const platform::Clock& clock,
                           std::string_view avoid_name) {
  connection.SetCursorLocation(platform::data::adUseClient);
  connection.Open(platform::data::DbaseConnectionText(folder), "", "",
                  platform::data::adOptionUnspecified);

  const platform::LocalTime now = clock.Now();
  const int start = (now.hour * 60 + now.minute) * 60 + now.second;
  for (int offset = 0; offset < kSecondsPerDay; ++offset) {
    const int second = (start + offset) % kSecondsPerDay;
    std::string staging_name = StagingName({now.year, now.month, now.day, second / 3600,
                                            second / 60 % 60, second % 60});
    if (platform::ascii::EqualsIgnoringCase(staging_name, avoid_name)) continue;
    // Two spaces before the column list: the statement shape the dBase
    // provider expects.
    const std::string statement =
        "CREATE TABLE " + folder + platform::kPathSeparator + staging_name + "  " + column_definitions;
    try {
      connection.Execute(statement, platform::data::adOptionUnspecified);
      return staging_name;
    } catch (const platform::Error& e) {
      if (e.number() != platform::err::kFileExists) throw;
    }
  }
  platform::Raise(platform::err::kFileExists,
                  "文件夹中 000000.dbf 到 235959.dbf 的临时文件名都已被占用：" + folder);
}

}  // namespace mdlpublic
