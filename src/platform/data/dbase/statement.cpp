#include "platform/data/dbase/statement.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/codepage/codepage.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/error.h"

namespace platform::data::dbase {
namespace {

// Keyword texts in lower case; their spaces are part of the shape.
constexpr std::string_view kCreateKeywords = "create table ";
constexpr std::string_view kInsertKeywords = "insert into  ";
constexpr std::string_view kListOpen = "  (";
constexpr std::string_view kTableExtension = ".dbf";
constexpr std::string_view kCharType = "char(";
constexpr std::string_view kValuesKeyword = ")  values (";
constexpr char kQuote = '\'';

constexpr std::size_t kQuotedCharacters = 60;
// Wider than any field; stops a long run of digits from overflowing.
constexpr int kWidthCeiling = 1000000;

using ascii::Lower;

bool MatchesNoCase(std::string_view text, std::size_t pos, std::string_view lower_word) {
  if (pos > text.size() || text.size() - pos < lower_word.size()) return false;
  for (std::size_t i = 0; i < lower_word.size(); ++i) {
    if (Lower(text[pos + i]) != lower_word[i]) return false;
  }
  return true;
}

bool Matches(std::string_view text, std::size_t pos, std::string_view word) {
  return pos <= text.size() && text.substr(pos).starts_with(word);
}

bool At(std::string_view text, std::size_t pos, char c) { return pos < text.size() && text[pos] == c; }

// The first apostrophe at or after pos, or npos. Eight bytes a step in
// line: values are short, and a memchr call per value costs more than
// the scan itself.
std::size_t FindQuote(std::string_view s, std::size_t pos) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kHighBits = 0x8080808080808080;
    constexpr std::uint64_t kQuotes = kOnes * static_cast<unsigned char>(kQuote);
    while (s.size() - pos >= 8) {
      std::uint64_t word;
      std::memcpy(&word, s.data() + pos, sizeof word);
      const std::uint64_t x = word ^ kQuotes;  // a zero byte where an apostrophe is
      // The lowest byte flagged is the first zero byte (flags above it may
      // be false).
      if (const std::uint64_t zero = (x - kOnes) & ~x & kHighBits; zero != 0) {
        return pos + static_cast<std::size_t>(std::countr_zero(zero)) / 8;
      }
      pos += 8;
    }
    for (; pos < s.size(); ++pos) {
      if (s[pos] == kQuote) return pos;
    }
    return std::string_view::npos;
  } else {
    return s.find(kQuote, pos);
  }
}

std::size_t CharacterNumber(std::string_view text, std::size_t pos) {
  std::size_t n = 1;
  for (std::size_t i = 0; i < pos && i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++n;
  }
  return n;
}

struct Failure {
  int number = 0;
  std::string what;
  std::size_t pos = 0;
};

[[noreturn]] void Fail(int number, std::string_view what, std::string_view statement,
                       std::size_t pos) {
  Raise(number, std::string(what) + "（第 " + std::to_string(CharacterNumber(statement, pos)) +
                    " 个字符处）：" + StatementStart(statement));
}

// Checks for "]" + spaces + "CHAR(" + digits + ")" at close, followed by
// "," + "[" or by the statement's final ")". On a match, width is the
// number and next the position of that "," or ")".
bool MatchTypeAt(std::string_view s, std::size_t close, int& width, std::size_t& next) {
  std::size_t i = close + 1;
  const std::size_t spaces_start = i;
  while (i < s.size() && s[i] == ' ') ++i;
  if (i == spaces_start || !MatchesNoCase(s, i, kCharType)) return false;
  i += kCharType.size();
  const std::size_t digits_start = i;
  int value = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    value = std::min(kWidthCeiling, value * 10 + (s[i] - '0'));
    ++i;
  }
  if (i == digits_start || i >= s.size() || s[i] != ')') return false;
  ++i;
  const bool another = i + 1 < s.size() && s[i] == ',' && s[i + 1] == '[';
  const bool last = i + 1 == s.size() && s[i] == ')';
  if (!another && !last) return false;
  width = value;
  next = i;
  return true;
}

bool ParseValues(std::string_view s, std::size_t pos, std::size_t count, InsertStatement& out,
                 Failure& failure) {
  const auto fail = [&](int number, std::string what, std::size_t at) {
    failure = Failure{number, std::move(what), at};
    return false;
  };
  out.values.resize(count);
  out.undoubled.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) {
      if (At(s, pos, ')')) {
        return fail(err::kDbaseValueCount, "值太少：表有 " + std::to_string(count) +
                                               " 个字段，语句只给出 " + std::to_string(i) +
                                               " 个值",
                    pos);
      }
      if (!At(s, pos, ',')) {
        return fail(err::kDbaseBadQuoting, "值的引号不成对（值中的 ' 须写作 ''）", pos);
      }
      ++pos;
    }
    if (!At(s, pos, '\'')) {
      return fail(err::kDbaseBadQuoting, "值应写在一对 ' 之间", pos);
    }
    const std::size_t value_start = pos;
    ++pos;
    std::size_t quote = FindQuote(s, pos);
    if (quote == std::string_view::npos) {
      return fail(err::kDbaseBadQuoting, "值缺少结尾的 '", value_start);
    }
    if (quote + 1 >= s.size() || s[quote + 1] != kQuote) {
      out.values[i] = s.substr(pos, quote - pos);  // the usual case: nothing to undouble
      pos = quote + 1;
      continue;
    }
    std::string& value = out.undoubled[i];
    value.clear();
    for (;;) {
      value.append(s.substr(pos, quote - pos));
      pos = quote + 1;
      if (pos < s.size() && s[pos] == kQuote) {  // a doubled apostrophe stands for one
        value.push_back(kQuote);
        ++pos;
        quote = FindQuote(s, pos);
        if (quote == std::string_view::npos) {
          return fail(err::kDbaseBadQuoting, "值缺少结尾的 '", value_start);
        }
        continue;
      }
      break;
    }
    out.values[i] = value;
  }
  if (pos + 1 == s.size() && s[pos] == ')') return true;
  if (At(s, pos, ',')) {
    return fail(err::kDbaseValueCount, "值太多：表只有 " + std::to_string(count) + " 个字段",
                pos);
  }
  if (At(s, pos, ')')) return fail(err::kDbaseBadStatement, "语句在“)”之后还有内容", pos + 1);
  return fail(err::kDbaseBadQuoting, "值的引号不成对（值中的 ' 须写作 ''）", pos);
}

// From just after the path's "  (" to the end.
bool ParseInsertBody(std::string_view s, std::size_t pos, const InsertTarget& target,
                     InsertStatement& out, Failure& failure) {
  const auto fail = [&](int number, std::string what, std::size_t at) {
    failure = Failure{number, std::move(what), at};
    return false;
  };
  const std::span<const std::string> names = target.column_names;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool comma = i == 0 || At(s, pos, ',');
    if (comma && i > 0) ++pos;
    if (!comma || !Matches(s, pos, names[i])) {
      return fail(err::kDbaseFieldListMismatch, "字段列表与表的字段不符：第 " +
                                                    std::to_string(i + 1) + " 个字段应为“" +
                                                    names[i] + "”",
                  pos);
    }
    pos += names[i].size();
  }
  if (!MatchesNoCase(s, pos, kValuesKeyword)) {
    return fail(At(s, pos, ',') ? err::kDbaseFieldListMismatch : err::kDbaseBadStatement,
                At(s, pos, ',') ? "字段列表比表的字段多"
                                     : "字段列表之后应为“)  values (”",
                pos);
  }
  return ParseValues(s, pos + kValuesKeyword.size(), names.size(), out, failure);
}

}  // namespace

std::string StatementStart(std::string_view statement) {
  std::string start;
  std::size_t i = 0;
  for (std::size_t n = 0; n < kQuotedCharacters && i < statement.size(); ++n) {
    char32_t c = codepage::NextCodePoint(statement, i);
    if (c < 0x20) c = ' ';  // keep the description on one line
    codepage::AppendUtf8(c, start);
  }
  if (i < statement.size()) start += "…";
  return start;
}

StatementKind ClassifyStatement(std::string_view statement) {
  if (MatchesNoCase(statement, 0, "create ")) return StatementKind::kCreateTable;
  if (MatchesNoCase(statement, 0, "insert ")) return StatementKind::kInsert;
  Fail(err::kDbaseBadStatement, "dBase 连接只接受 CREATE TABLE 和 insert into 语句", statement, 0);
}

CreateTableStatement ParseCreateTable(std::string_view s, std::string_view folder) {
  if (!MatchesNoCase(s, 0, kCreateKeywords)) {
    Fail(err::kDbaseBadStatement, "语句应以“CREATE TABLE ”开头", s, 0);
  }
  const std::size_t path_start = kCreateKeywords.size();
  // The folder may hold anything, even ".dbf  (": skip it when the path
  // starts with it, so that only the file name is searched.
  std::size_t search = path_start;
  if (Matches(s, path_start, folder) && path_start + folder.size() < s.size() &&
      s[path_start + folder.size()] == kPathSeparator) {
    search = path_start + folder.size() + 1;
  }
  std::size_t open = std::string_view::npos;
  for (std::size_t from = search;;) {
    const std::size_t p = s.find(kListOpen, from);
    if (p == std::string_view::npos) break;
    if (p >= search + kTableExtension.size() && p - kTableExtension.size() > path_start &&
        MatchesNoCase(s, p - kTableExtension.size(), kTableExtension)) {
      open = p;
      break;
    }
    from = p + 1;
  }
  if (open == std::string_view::npos) {
    Fail(err::kDbaseBadStatement, "找不到表文件名（应以 .dbf 结尾，后跟两个空格和“(”）", s,
         search);
  }

  CreateTableStatement create;
  create.path = std::string(s.substr(path_start, open - path_start));
  std::size_t pos = open + kListOpen.size();
  for (;;) {
    if (!At(s, pos, '[')) Fail(err::kDbaseBadStatement, "字段定义应以“[”开头", s, pos);
    const std::size_t name_start = pos + 1;
    int width = 0;
    std::size_t next = 0;
    for (std::size_t close = name_start;; ++close) {
      close = s.find(']', close);
      if (close == std::string_view::npos) {
        Fail(err::kDbaseBadStatement,
             "字段定义应为“[名称]  CHAR(宽度)”，其后为“,”或结尾的“)”", s, pos);
      }
      if (MatchTypeAt(s, close, width, next)) {
        create.columns.push_back({std::string(s.substr(name_start, close - name_start)), width});
        break;
      }
    }
    if (s[next] == ')') break;
    pos = next + 1;
  }
  return create;
}

std::string InsertHead(std::string_view path, std::span<const std::string> column_names) {
  std::string head(path);
  head += kListOpen;
  for (std::size_t i = 0; i < column_names.size(); ++i) {
    if (i > 0) head += ',';
    head += column_names[i];
  }
  head += kValuesKeyword;
  return head;
}

void ParseInsert(std::string_view s, std::span<const InsertTarget> targets, InsertStatement& out) {
  if (!MatchesNoCase(s, 0, kInsertKeywords)) {
    Fail(err::kDbaseBadStatement, "语句应以“insert into”加两个空格开头", s, 0);
  }
  const std::size_t path_start = kInsertKeywords.size();
  Failure first;
  // The statements the run writes match a head exactly: one comparison.
  // Of two that match, the longer head wins, then the longer path (as below).
  const auto longer = [&](std::size_t a, std::size_t b) {
    return targets[a].head.size() != targets[b].head.size()
               ? targets[a].head.size() > targets[b].head.size()
               : targets[a].path.size() > targets[b].path.size();
  };
  std::size_t best = targets.size();
  for (std::size_t t = 0; t < targets.size(); ++t) {
    if (Matches(s, path_start, targets[t].head) && (best == targets.size() || longer(t, best))) {
      best = t;
    }
  }
  if (best < targets.size() &&
      ParseValues(s, path_start + targets[best].head.size(), targets[best].column_names.size(),
                  out, first)) {
    out.table = best;
    return;
  }

  // Otherwise field by field, for "VALUES" in capitals and for errors
  // that say where the statement went wrong.
  const auto names_table = [&](std::size_t t) {
    return Matches(s, path_start, targets[t].path) &&
           Matches(s, path_start + targets[t].path.size(), kListOpen);
  };
  // One path may begin another's text: the longest one that fits wins.
  best = targets.size();
  for (std::size_t t = 0; t < targets.size(); ++t) {
    if (names_table(t) &&
        (best == targets.size() || targets[t].path.size() > targets[best].path.size())) {
      best = t;
    }
  }
  if (best == targets.size()) {
    Fail(err::kDbaseUnknownTable, "insert 语句中的表不是本连接用 CREATE TABLE 建立的", s,
         path_start);
  }
  const auto body = [&](std::size_t t) {
    return path_start + targets[t].path.size() + kListOpen.size();
  };
  if (ParseInsertBody(s, body(best), targets[best], out, first)) {
    out.table = best;
    return;
  }
  for (std::size_t t = 0; t < targets.size(); ++t) {
    Failure ignored;
    if (t != best && names_table(t) && ParseInsertBody(s, body(t), targets[t], out, ignored)) {
      out.table = t;
      return;
    }
  }
  Fail(first.number, first.what, s, first.pos);
}

}  // namespace platform::data::dbase
