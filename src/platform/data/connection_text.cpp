#include "platform/data/connection_text.h"

#include <algorithm>

#include "platform/runtime/ascii.h"
#include "platform/runtime/error.h"

namespace platform::data {
namespace {

constexpr std::string_view kJetProvider = "Microsoft.Jet.OLEDB.4.0";
constexpr std::string_view kOdbcProvider = "MSDASQL.1";
constexpr std::string_view kDataSource = "Data Source=";
constexpr std::string_view kExtendedProperties = ";Extended Properties=";
constexpr std::string_view kDefaultDir = "DefaultDir=";
constexpr std::string_view kAfterDefaultDir = ";Deleted=0;Driver=";
constexpr std::string_view kDbaseDriver = "{Microsoft dBase Driver (*.dbf)}";
constexpr std::string_view kDbase3DriverId = "21";

// The texts the program builds, letter for letter ("CollatingSeuence" and
// "dBase IIV" included: the driver ignores both).
constexpr std::string_view kWorkbookTextHead = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
constexpr std::string_view kWorkbookTextTail = ";Extended Properties=\"Excel 8.0;HDR=Yes;\";";
constexpr std::string_view kDbaseTextHead =
    "Provider=MSDASQL.1;Persist Security Info=False;Extended "
    "Properties=\"CollatingSeuence=ASCII;DefaultDir=";
constexpr std::string_view kDbaseTextTail =
    ";Deleted=0;Driver={Microsoft dBase Driver (*.dbf)};DriverId=21;FIL=dBase "
    "IIV;MaxBufferSize=14048;MaxScanRows=8;PageTimeout=5;SafeTransactions=0;"
    "Statistics=0;Threads=3;UID=admin;UserCommitSync=Yes;\"";

std::string Around(std::string_view head, std::string_view middle, std::string_view tail) {
  std::string text;
  text.reserve(head.size() + middle.size() + tail.size());
  text.append(head).append(middle).append(tail);
  return text;
}

using ascii::Lower;
constexpr auto EqualsI = ascii::EqualsIgnoringCase;
constexpr auto StartsWithI = ascii::StartsWithIgnoringCase;

std::size_t FindI(std::string_view s, std::string_view needle, std::size_t from = 0) {
  const auto it = std::search(s.begin() + static_cast<std::ptrdiff_t>(std::min(from, s.size())), s.end(),
                              needle.begin(), needle.end(),
                              [](char x, char y) { return Lower(x) == Lower(y); });
  return it == s.end() ? std::string_view::npos : static_cast<std::size_t>(it - s.begin());
}

std::size_t RFindI(std::string_view s, std::string_view needle) {
  const auto it = std::find_end(s.begin(), s.end(), needle.begin(), needle.end(),
                                [](char x, char y) { return Lower(x) == Lower(y); });
  return it == s.end() ? std::string_view::npos : static_cast<std::size_t>(it - s.begin());
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

[[noreturn]] void Malformed(std::string_view text, std::string_view why) {
  constexpr std::size_t kQuoted = 80;
  std::string head(text.substr(0, kQuoted));
  if (text.size() > kQuoted) head += "…";
  Raise(err::kBadConnectionText, "连接字符串有误（" + std::string(why) + "）：" + head);
}

// "key=value;key={va;lue};..." -> calls f(key, value) for each pair.
template <typename F>
void ForEachPair(std::string_view s, std::string_view text, F f) {
  std::size_t i = 0;
  while (i < s.size()) {
    const std::size_t eq = s.find('=', i);
    if (eq == std::string_view::npos) {
      if (!Trim(s.substr(i)).empty()) Malformed(text, "缺少“=”");
      return;
    }
    const std::string_view key = Trim(s.substr(i, eq - i));
    std::size_t end;
    if (eq + 1 < s.size() && s[eq + 1] == '{') {
      end = s.find('}', eq + 1);
      if (end == std::string_view::npos) Malformed(text, "缺少“}”");
      ++end;
    } else {
      end = std::min(s.find(';', eq + 1), s.size());
    }
    f(key, Trim(s.substr(eq + 1, end - eq - 1)));
    i = std::min(s.find(';', end), s.size());
    if (i < s.size()) ++i;
  }
}

// Strips the quotes around an Extended Properties value and the ';' after.
std::string_view Unquote(std::string_view value, std::string_view text) {
  if (!value.empty() && value.back() == ';') value.remove_suffix(1);
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
    Malformed(text, "扩展属性应写在双引号中");
  }
  return value.substr(1, value.size() - 2);
}

ConnectionTarget ParseWorkbook(std::string_view rest, std::string_view text) {
  if (!StartsWithI(rest, kDataSource)) Malformed(text, "缺少 Data Source");
  rest.remove_prefix(kDataSource.size());
  const std::size_t marker = RFindI(rest, kExtendedProperties);
  if (marker == std::string_view::npos) Malformed(text, "缺少 Extended Properties");
  const std::string_view path = rest.substr(0, marker);
  const std::string_view properties =
      Unquote(rest.substr(marker + kExtendedProperties.size()), text);
  bool excel8 = false;
  bool header = false;
  std::size_t i = 0;
  while (i <= properties.size()) {
    const std::size_t end = std::min(properties.find(';', i), properties.size());
    const std::string_view item = Trim(properties.substr(i, end - i));
    if (EqualsI(item, "Excel 8.0")) excel8 = true;
    if (EqualsI(item, "HDR=Yes")) header = true;
    if (EqualsI(item, "HDR=No")) {
      Raise(err::kNotSupported, "不支持 HDR=No：工作表的第一行必须是列名");
    }
    i = end + 1;
  }
  if (!excel8) {
    Raise(err::kUnknownProvider, "不支持的扩展属性（只支持 Excel 8.0）：" + std::string(properties));
  }
  if (!header) Malformed(text, "缺少 HDR=Yes");
  return {ConnectionTarget::Kind::kWorkbook, std::string(path)};
}

ConnectionTarget ParseDbase(std::string_view text) {
  const std::size_t start = FindI(text, kDefaultDir);
  if (start == std::string_view::npos) Malformed(text, "缺少 DefaultDir");
  const std::size_t folder_begin = start + kDefaultDir.size();
  const std::size_t folder_end = RFindI(text, kAfterDefaultDir);
  if (folder_end == std::string_view::npos || folder_end < folder_begin) {
    Malformed(text, "DefaultDir 之后缺少 Deleted=0;Driver=");
  }
  const std::string_view folder = text.substr(folder_begin, folder_end - folder_begin);
  std::string_view rest = text.substr(folder_end + 1);  // "Deleted=0;Driver=..."
  if (!rest.empty() && rest.back() == ';') rest.remove_suffix(1);
  if (!rest.empty() && rest.back() == '"') rest.remove_suffix(1);
  bool driver = false;
  bool dbase3 = false;
  ForEachPair(rest, text, [&](std::string_view key, std::string_view value) {
    if (EqualsI(key, "Driver")) {
      if (!EqualsI(value, kDbaseDriver)) {
        Raise(err::kUnknownProvider, "不支持的 ODBC 驱动程序：" + std::string(value));
      }
      driver = true;
    } else if (EqualsI(key, "DriverId")) {
      if (value != kDbase3DriverId) {
        Raise(err::kUnknownProvider, "不支持的 dBase 文件版本（DriverId=" + std::string(value) +
                                         "，只支持 21 即 dBase III）");
      }
      dbase3 = true;
    }
  });
  if (!driver) Malformed(text, "缺少 Driver");
  if (!dbase3) Malformed(text, "缺少 DriverId");
  return {ConnectionTarget::Kind::kDbase, std::string(folder)};
}

}  // namespace

ConnectionTarget ParseConnectionText(std::string_view text) {
  constexpr std::string_view kProvider = "Provider=";
  if (!StartsWithI(text, kProvider)) Malformed(text, "缺少 Provider");
  const std::size_t semicolon = text.find(';');
  if (semicolon == std::string_view::npos) Malformed(text, "缺少“;”");
  const std::string_view provider = Trim(text.substr(kProvider.size(), semicolon - kProvider.size()));
  if (EqualsI(provider, kJetProvider)) return ParseWorkbook(text.substr(semicolon + 1), text);
  if (EqualsI(provider, kOdbcProvider) || EqualsI(provider, "MSDASQL")) return ParseDbase(text);
  Raise(err::kUnknownProvider, "不支持的数据提供程序：" + std::string(provider));
}

std::string WorkbookConnectionText(std::string_view path) {
  return Around(kWorkbookTextHead, path, kWorkbookTextTail);
}

std::string DbaseConnectionText(std::string_view folder) {
  return Around(kDbaseTextHead, folder, kDbaseTextTail);
}

}  // namespace platform::data
