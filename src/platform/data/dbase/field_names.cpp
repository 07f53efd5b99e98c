#include "platform/data/dbase/field_names.h"

#include <string_view>
#include <unordered_set>

#include "platform/codepage/codepage.h"
#include "platform/data/dbase/dbf_writer.h"
#include "platform/runtime/error.h"

namespace platform::data::dbase {

std::size_t Cp936CharWidth(std::string_view bytes, std::size_t i) {
  const auto b0 = static_cast<unsigned char>(bytes[i]);
  if (b0 < 0x81 || b0 == 0xFF || i + 1 >= bytes.size()) return 1;
  const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
  if (b1 >= '0' && b1 <= '9' && i + 3 < bytes.size()) return 4;
  return 2;
}

std::string FieldNameKey(std::string_view cp936_name) {
  std::string key(cp936_name);
  for (std::size_t i = 0; i < key.size(); i += Cp936CharWidth(key, i)) {
    if (key[i] >= 'A' && key[i] <= 'Z') key[i] = static_cast<char>(key[i] - 'A' + 'a');
  }
  return key;
}

std::vector<FieldName> MakeFieldNames(std::span<const std::string> utf8_names) {
  if (utf8_names.size() > kMaxFields) {
    Raise(err::kDbaseTooManyFields, "字段太多：" + std::to_string(utf8_names.size()) +
                                        " 个，dBase 表最多 " + std::to_string(kMaxFields) +
                                        " 个字段");
  }
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
