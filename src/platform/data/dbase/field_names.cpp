#include "platform/data/dbase/field_names.h"

#include <string_view>
#include <unordered_set>

#include "platform/codepage/codepage.h"
#include "platform/data/dbase/dbf_writer.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/error.h"

namespace platform::data::dbase {

std::string FieldNameKey(std::string_view cp936_name) {
  // Folded in UTF-8, where no byte of a multi-byte character is ASCII.
  std::string key = codepage::FromCp936(cp936_name);
  for (char& c : key) c = ascii::Lower(c);
  return key;
}

std::vector<FieldName> MakeFieldNames(std::span<const std::string> utf8_names) {
  CheckFieldCount(utf8_names.size());
  std::vector<FieldName> names;
  names.reserve(utf8_names.size());
  std::unordered_set<std::string> taken;
  for (std::size_t i = 0; i < utf8_names.size(); ++i) {
    const std::string& utf8 = utf8_names[i];
    if (utf8.empty() || utf8.find('\0') != std::string::npos) {
      Raise(err::kDbaseBadFieldName, "第 " + std::to_string(i + 1) + " 个字段的名称" +
                                         (utf8.empty() ? "为空" : "含有 NUL 字符"));
    }
    FieldName name;
    std::string full;
    name.four_byte = codepage::AppendCp936(utf8, full);
    name.bytes = full.substr(0, codepage::Cp936PrefixLength(full, kMaxFieldNameBytes));
    name.shortened = name.bytes.size() < full.size();
    if (!taken.insert(FieldNameKey(name.bytes)).second) {
      name.numbered = true;
      for (std::size_t n = 2;; ++n) {
        const std::string suffix = "_" + std::to_string(n);
        std::string candidate =
            full.substr(0, codepage::Cp936PrefixLength(full, kMaxFieldNameBytes - suffix.size())) +
            suffix;
        if (taken.insert(FieldNameKey(candidate)).second) {
          name.bytes = std::move(candidate);
          break;
        }
      }
    }
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace platform::data::dbase
