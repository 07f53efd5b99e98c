#include "platform/data/warnings.h"

#include <algorithm>

namespace platform::data {
namespace {

// What the "另有 N ..." line says of each kind, after the count.
constexpr std::array<const char*, kWarningKindCount> kUnlistedTexts = {
    " 个字段名与前面的字段重名被改名，未逐一列出",
    " 个字段名超过 10 个字节被截短，未逐一列出",
    " 个字段名含有以 GB18030 形式写入的字符，未逐一列出",
    " 个值超过字段宽度被截断，未逐一列出",
    " 个值含有以 GB18030 形式写入的字符，未逐一列出",
};

}  // namespace

bool WarningList::empty() const {
  return listed.empty() && std::all_of(unlisted.begin(), unlisted.end(), [](std::int64_t n) { return n == 0; });
}

std::int64_t WarningList::Count(WarningKind kind) const {
  const auto of_kind = std::count_if(listed.begin(), listed.end(),
                                     [kind](const Warning& warning) { return warning.kind == kind; });
  return static_cast<std::int64_t>(of_kind) + unlisted[static_cast<std::size_t>(kind)];
}

std::vector<std::string> WarningList::Lines() const {
  std::vector<std::string> lines;
  lines.reserve(listed.size() + kWarningKindCount);
  for (const Warning& warning : listed) lines.push_back(warning.text);
  for (std::size_t kind = 0; kind < kWarningKindCount; ++kind) {
    if (unlisted[kind] > 0) {
      lines.push_back("另有 " + std::to_string(unlisted[kind]) + kUnlistedTexts[kind]);
    }
  }
  return lines;
}

}  // namespace platform::data
