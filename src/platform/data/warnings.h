#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a provider did to the data on its way into a table, so that the
// user hears of every change: the command line prints the lines, the
// window sums them up.
namespace platform::data {

enum class WarningKind {
  kFieldRenamed,       // equal to an earlier field's name (ASCII case ignored): numbered "_2", ...
  kFieldNameCut,       // longer than the 10 bytes of a dBase field name: shortened
  kFieldNameFourByte,  // a field name holds characters written in four-byte GB18030 form
  kValueCut,           // a value longer than its field: cut to the field width
  kValueFourByte,      // a value holds characters written in four-byte GB18030 form
};
inline constexpr std::size_t kWarningKindCount = 5;

struct Warning {
  WarningKind kind = WarningKind::kValueCut;
  std::string field;     // the field's name as the sheet gives it (UTF-8)
  std::int64_t row = 0;  // 1-based data row (record number); 0 for a field name
  std::string text;      // the whole Chinese line, e.g. "第 2 行字段“名称”的值长 ..."
};

struct WarningList {
  // In the order they arose.
  std::vector<Warning> listed;
  // Per kind (indexed by WarningKind), the warnings counted but not listed.
  std::array<std::int64_t, kWarningKindCount> unlisted{};

  bool empty() const;
  // Listed and unlisted warnings of one kind.
  std::int64_t Count(WarningKind kind) const;
  // The lines to show: every listed text, then for each kind with unlisted
  // warnings one line that counts them ("另有 50 个值超过字段宽度被截断，
  // 未逐一列出").
  std::vector<std::string> Lines() const;
};

}  // namespace platform::data
