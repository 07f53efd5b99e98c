#include "platform/data/xlsx/xml/xml_scanner.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/data/xlsx/xml/utf16_input.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/error.h"

// The few functions every token goes through are inlined into Next():
// a call each costs a tenth of a sheet's scanning time.
#if defined(__GNUC__)
#define E2D_HOT [[gnu::always_inline]] inline
#else
#define E2D_HOT inline
#endif

namespace platform::data::xml {
namespace {

constexpr std::size_t kInitialBuffer = std::size_t{128} << 10;
// An entity reference is at most this long ("&#x0010FFFF;" with a few
// leading zeros to spare).
constexpr std::size_t kMaxEntity = 40;

// What a byte may be, by bit.
enum : std::uint8_t {
  kNameStart = 1,
  kNameChar = 2,
  kSpace = 4,
  kTextSpecial = 8,       // needs a look in text: & \r ] controls, non-ASCII
  kAttributeSpecial = 16,  // in attribute values: & < \t \n \r controls, non-ASCII
  kCdataSpecial = 32,      // in CDATA, comments and instructions: \r controls, non-ASCII
  kPlainName = 64,         // ASCII name characters but ':'
  kMarkup = 128,           // '<'
};

constexpr std::array<std::uint8_t, 256> MakeClasses() {
  std::array<std::uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    std::uint8_t k = 0;
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (letter || c == '_' || c == ':' || c >= 0x80) k |= kNameStart | kNameChar;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') k |= kNameChar;
    if ((k & kNameChar) && c != ':' && c < 0x80) k |= kPlainName;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') k |= kSpace;
    const bool control = c < 0x20 && c != '\t' && c != '\n';
    if (control || c >= 0x80 || c == '&' || c == ']') k |= kTextSpecial;
    if (c < 0x20 || c >= 0x80 || c == '&' || c == '<') k |= kAttributeSpecial;
    if (control || c >= 0x80) k |= kCdataSpecial;
    if (c == '<') k |= kMarkup;
    t[static_cast<std::size_t>(c)] = k;
  }
  return t;
}
constexpr std::array<std::uint8_t, 256> kClasses = MakeClasses();

// Where a plain attribute value stops: its closing quote, or anything
// kAttributeSpecial. One test a byte instead of two, in every cell's tag.
constexpr std::array<bool, 256> MakeValueStops() {
  std::array<bool, 256> t{};
  for (std::size_t c = 0; c < 256; ++c) t[c] = (kClasses[c] & kAttributeSpecial) != 0 || c == '"';
  return t;
}
constexpr std::array<bool, 256> kValueStops = MakeValueStops();

enum Mode : int { kText = kTextSpecial, kAttribute = kAttributeSpecial, kCdata = kCdataSpecial };

std::uint8_t ClassOf(char c) { return kClasses[static_cast<unsigned char>(c)]; }

// text from offset on, offset <= size (substr would check and may throw).
std::string_view Tail(std::string_view text, std::size_t offset) {
  return std::string_view(text.data() + offset, text.size() - offset);
}

// Names are short: a plain loop beats a call to memcmp.
bool SameBytes(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

bool InRange(unsigned char c, unsigned low, unsigned high) { return c >= low && c <= high; }

// Length of the UTF-8 sequence of one XML character at p, 0 when the bytes
// are not one (overlong forms, surrogates, U+FFFE and U+FFFF included).
std::size_t Utf8Char(const char* p, const char* e) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  const std::size_t left = static_cast<std::size_t>(e - p);
  const unsigned char c = u[0];
  if (c < 0x80) return 1;
  // Most Chinese characters: E1-EC and two continuation bytes.
  if (c >= 0xE1 && c <= 0xEC && left >= 3 && (u[1] & 0xC0) == 0x80 && (u[2] & 0xC0) == 0x80) return 3;
  auto cont = [&](std::size_t i) { return i < left && InRange(u[i], 0x80, 0xBF); };
  if (InRange(c, 0xC2, 0xDF)) return cont(1) ? 2 : 0;
  if (InRange(c, 0xE0, 0xEF)) {
    if (left < 3 || !cont(2)) return 0;
    const unsigned char c1 = u[1];
    if (c == 0xE0 ? !InRange(c1, 0xA0, 0xBF) : c == 0xED ? !InRange(c1, 0x80, 0x9F) : !InRange(c1, 0x80, 0xBF)) {
      return 0;
    }
    if (c == 0xEF && c1 == 0xBF && (u[2] == 0xBE || u[2] == 0xBF)) return 0;
    return 3;
  }
  if (InRange(c, 0xF0, 0xF4)) {
    if (left < 4 || !cont(2) || !cont(3)) return 0;
    const unsigned char c1 = u[1];
    if (c == 0xF0 ? !InRange(c1, 0x90, 0xBF) : c == 0xF4 ? !InRange(c1, 0x80, 0x8F) : !InRange(c1, 0x80, 0xBF)) {
      return 0;
    }
    return 4;
  }
  return 0;
}

bool IsXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

void AppendUtf8(std::uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The value of a character reference's digits ("#123" or "#x7B"), or
// UINT32_MAX when they are not a valid number.
std::uint32_t CharacterReference(std::string_view digits) {
  const bool hex = !digits.empty() && digits.front() == 'x';
  if (hex) digits.remove_prefix(1);
  if (digits.empty()) return UINT32_MAX;
  std::uint64_t value = 0;
  for (const char c : digits) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) return UINT32_MAX;
    value = value * (hex ? 16 : 10) + static_cast<unsigned>(d);
    if (value > 0x10FFFF) return UINT32_MAX;
  }
  return static_cast<std::uint32_t>(value);
}

char PredefinedEntity(std::string_view name) {
  if (name == "amp") return '&';
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  return 0;
}

}  // namespace

std::size_t StringInput::Read(char* out, std::size_t n) {
  n = std::min(n, bytes_.size());
  std::memcpy(out, bytes_.data(), n);
  bytes_.remove_prefix(n);
  return n;
}

// The buffer holds one byte more than its capacity: a NUL after the last
// byte read stops every scanning loop without a bounds check (a NUL inside
// the document is an error anyway).
Scanner::Scanner(Input& input, std::string part)
    : input_(&input), part_(std::move(part)), buffer_(new char[kInitialBuffer + 1]), capacity_(kInitialBuffer) {
  buffer_[0] = '\0';
}

Scanner::~Scanner() = default;

std::uint64_t Scanner::offset() const { return consumed_ + pos_; }

void Scanner::Fail(std::size_t at, std::string_view what) const {
  Raise(err::kWorkbookDamaged, "工作簿已损坏：" + part_ + " 不是正确的 XML：" + std::string(what) + "（第 " +
                                   std::to_string(consumed_ + at) + " 字节）");
}

const std::string_view* Scanner::Find(std::string_view local_name) const {
  for (const Attribute& a : attributes_) {
    if (a.local_name == local_name) return &a.value;
  }
  return nullptr;
}

// Moves what is left to the front, grows the buffer when a token fills it
// whole, and reads until the buffer is full or the input ends. False when
// nothing more can come.
bool Scanner::Fill() {
  if (eof_) return false;
  if (pos_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
    consumed_ += pos_;
    end_ -= pos_;
    pos_ = 0;
  }
  if (end_ == capacity_) {
    if (capacity_ > kMaxTagSize) Fail(0, "标记太长");
    std::unique_ptr<char[]> bigger(new char[capacity_ * 2 + 1]);
    std::memcpy(bigger.get(), buffer_.get(), end_);
    buffer_ = std::move(bigger);
    capacity_ *= 2;
  }
  const std::size_t before = end_;
  while (end_ < capacity_) {
    const std::size_t n = input_->Read(buffer_.get() + end_, capacity_ - end_);
    if (n == 0) {
      eof_ = true;
      break;
    }
    end_ += n;
  }
  buffer_[end_] = '\0';
  return end_ > before;
}

// Reads the first bytes: a byte order mark, or UTF-16 without one, makes
// the rest go through a transcoder to UTF-8.
void Scanner::Start() {
  started_ = true;
  Fill();
  const std::string_view head(buffer_.get(), std::min<std::size_t>(end_, 4));
  const bool bom_le = head.substr(0, 2) == "\xFF\xFE";
  const bool bom_be = head.substr(0, 2) == "\xFE\xFF";
  const bool bare_le = head == std::string_view("<\0?\0", 4);
  const bool bare_be = head == std::string_view("\0<\0?", 4);
  if (head.substr(0, 3) == "\xEF\xBB\xBF") {
    pos_ = 3;
  } else if (bom_le || bom_be || bare_le || bare_be) {
    const std::size_t skip = bom_le || bom_be ? 2 : 0;
    std::string pending(buffer_.get() + skip, end_ - skip);
    transcoder_ = MakeUtf16Input(*input_, std::move(pending), bom_be || bare_be, part_);
    input_ = transcoder_.get();
    utf16_ = true;
    pos_ = end_ = 0;
    buffer_[0] = '\0';
    eof_ = false;
    Fill();
  }
  document_start_ = offset();
}

Token Scanner::Next() {
  if (!started_) Start();
  attributes_.clear();
  if (pending_end_) {
    pending_end_ = false;
    empty_element_ = false;
    Pop();
    return Token::kEndElement;
  }
  for (;;) {
    Step step;
    if (in_cdata_) {
      step = CdataRun();
    } else if (pos_ == end_) {
      if (!Fill()) return AtEnd();
      continue;
    } else if (buffer_[pos_] != '<') {
      step = TextRun();
    } else if (buffer_[pos_ + 1] == '/') {
      step = EndTag();
    } else if (ClassOf(buffer_[pos_ + 1]) & kNameStart) {
      step = PlainStartTag();
    } else {
      step = Markup();
    }
    if (step == Step::kToken) return token_;
    if (step == Step::kNeedMore && !Fill()) Fail(end_, "文档在标记中间结束");
  }
}

Token Scanner::AtEnd() {
  if (in_cdata_) Fail(pos_, "CDATA 段没有结束");
  if (depth() > 0) {
    Fail(pos_, "元素 <" + std::string(OpenName()) + "> 没有结束");
  }
  if (!seen_root_) Fail(pos_, "文档中没有元素");
  name_ = local_name_ = {};
  text_ = {};
  return Token::kEndOfDocument;
}

E2D_HOT std::size_t Scanner::SkipSpaces(std::size_t p) const {
  while (ClassOf(buffer_[p]) & kSpace) ++p;
  return p;
}

E2D_HOT Scanner::NameScan Scanner::ScanName(std::size_t p) const {
  NameScan name;
  name.end = p;
  const char* b = buffer_.get();
  if (!(ClassOf(b[p]) & kNameStart)) return name;
  name.unusual = !(ClassOf(b[p]) & kPlainName);
  ++p;
  while (ClassOf(b[p]) & kPlainName) ++p;
  if (ClassOf(b[p]) & kNameChar) {
    name.unusual = true;
    while (ClassOf(b[p]) & kNameChar) ++p;
  }
  name.end = p;
  return name;
}

std::size_t Scanner::CheckName(std::size_t begin, const NameScan& scan) const {
  const std::string_view name(buffer_.get() + begin, scan.end - begin);
  const std::size_t colon = name.find(':');
  std::size_t local = 0;
  if (colon != std::string_view::npos) {
    if (colon == 0 || colon + 1 == name.size() || name.find(':', colon + 1) != std::string_view::npos ||
        !(ClassOf(name[colon + 1]) & kNameStart)) {
      Fail(begin, "名称中的冒号位置不对");
    }
    local = colon + 1;
  }
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (static_cast<unsigned char>(name[i]) < 0x80) continue;
    const std::size_t n = Utf8Char(name.data() + i, name.data() + name.size());
    if (n == 0) Fail(begin + i, "名称不是正确的 UTF-8 文字");
    i += n - 1;
  }
  return local;
}

Scanner::Step Scanner::Markup() {
  if (end_ - pos_ < 2) return Step::kNeedMore;
  const char c = buffer_[pos_ + 1];
  if (c == '/') return EndTag();
  if (c == '?') return ProcessingInstruction();
  if (c != '!') return StartTag();
  const std::string_view rest(buffer_.get() + pos_, end_ - pos_);
  // 1: rest starts with s; -1: it may, once more bytes come; 0: it does not.
  auto match = [&](std::string_view s) {
    const std::size_t n = std::min(s.size(), rest.size());
    if (rest.substr(0, n) != s.substr(0, n)) return 0;
    return n == s.size() ? 1 : -1;
  };
  if (const int m = match("<!--")) return m < 0 ? Step::kNeedMore : Comment();
  if (const int m = match("<![CDATA[")) return m < 0 ? Step::kNeedMore : CdataStart();
  if (const int m = match("<!DOCTYPE")) {
    if (m < 0) return Step::kNeedMore;
    Fail(pos_, "不接受 DOCTYPE 声明");
  }
  Fail(pos_, "不认识的标记“<!”");
}

// The start tags that make up most of a sheet, read in one go: ASCII
// names without prefixes, attributes after single spaces as name="value"
// with nothing to decode, all in the buffer. Anything else goes the
// general way (StartTag), which reads it the same or says what is wrong.
E2D_HOT Scanner::Step Scanner::PlainStartTag() {
  const char* const b = buffer_.get();
  const char* const name = b + pos_ + 1;
  const char* p = name;
  while (ClassOf(*p) & kPlainName) ++p;  // the NUL after the buffer stops it
  if (p == name) return StartTag();
  const char* const name_end = p;
  bool empty = false;
  p = PlainAttributes(p, empty);
  if (p == nullptr) return StartTag();
  prefixed_ = false;
  return FinishStartTag(static_cast<std::size_t>(name_end - b), 0, static_cast<std::size_t>(p - b), empty);
}

// The attributes of a plain start tag from p, its name's end, into
// attributes_; returns where the tag ends, nullptr when it is not plain.
E2D_HOT const char* Scanner::PlainAttributes(const char* p, bool& empty) {
  attributes_.clear();
  for (;;) {
    if (*p == '>') return p + 1;
    if (*p == '/' && p[1] == '>') {
      empty = true;
      return p + 2;
    }
    if (*p != ' ' || attributes_.size() == 8) return nullptr;
    const char* const attribute = ++p;
    if (!(ClassOf(*p) & kNameStart)) return nullptr;
    while (ClassOf(*p) & kPlainName) ++p;
    if (p[0] != '=' || p[1] != '"') return nullptr;
    const char* const value = p + 2;
    // Stops at the quote or at anything to decode (the NUL after the buffer too).
    for (p = value; !kValueStops[static_cast<unsigned char>(*p)];) ++p;
    if (*p != '"') return nullptr;
    const std::string_view attribute_name(attribute, static_cast<std::size_t>(value - 2 - attribute));
    attributes_.push_back({attribute_name, attribute_name, std::string_view(value, static_cast<std::size_t>(p - value))});
    ++p;
  }
}

namespace {

// p past "</" + name + ">", or nullptr.
E2D_HOT const char* AfterEndTag(const char* p, std::string_view name) {
  if (p[0] != '<' || p[1] != '/') return nullptr;
  p += 2;
  for (const char c : name) {
    if (*p++ != c) return nullptr;
  }
  return *p == '>' ? p + 1 : nullptr;
}

// Text from p on up to the next "<" that needs no decoding and is correct
// UTF-8 (Chinese text mostly): where it ends, nullptr when it is not such
// text or does not end before e.
const char* PlainUtf8(const char* p, const char* e) {
  while (p < e) {
    if (*p == '<') return p;
    if (static_cast<unsigned char>(*p) < 0x80) {
      if (ClassOf(*p) & kTextSpecial) return nullptr;
      ++p;
      continue;
    }
    const std::size_t n = Utf8Char(p, e);
    if (n == 0) return nullptr;
    p += n;
  }
  return nullptr;
}

E2D_HOT bool HasDuplicates(const std::vector<Attribute>& attributes) {
  for (std::size_t i = 1; i < attributes.size(); ++i) {
    const std::string_view a = attributes[i].name;
    for (std::size_t j = 0; j < i; ++j) {
      const std::string_view b = attributes[j].name;
      if (a.size() == b.size() && a[0] == b[0] && SameBytes(a.data(), b.data(), a.size())) return true;
    }
  }
  return false;
}

}  // namespace

bool Scanner::NextLeaf(Leaf& leaf) {
  if (!started_ || pending_end_ || in_cdata_ || open_.empty() || depth() + 2 > kMaxDepth) return false;
  const char* const b = buffer_.get();
  // White space right after a text is that text's end, not to be skipped.
  const char* p = b + (token_ == Token::kText ? pos_ : SkipSpaces(pos_));  // the NUL after the buffer stops it
  if (*p != '<') return false;
  const char* const name = ++p;
  if (!(ClassOf(*p) & kNameStart)) return false;
  while (ClassOf(*p) & kPlainName) ++p;
  const std::string_view element(name, static_cast<std::size_t>(p - name));
  bool empty = false;
  p = PlainAttributes(p, empty);
  if (p == nullptr || HasDuplicates(attributes_)) return false;
  std::string_view child, text;
  if (!empty) {
    const char* after = AfterEndTag(p, element);
    if (after == nullptr) {
      if (*p != '<' || !(ClassOf(p[1]) & kNameStart)) return false;
      const char* const child_name = ++p;
      while (ClassOf(*p) & kPlainName) ++p;
      if (*p != '>') return false;
      child = std::string_view(child_name, static_cast<std::size_t>(p - child_name));
      const char* const text_begin = ++p;
      while (!(ClassOf(*p) & (kTextSpecial | kMarkup))) ++p;
      if (*p != '<') p = PlainUtf8(p, b + end_);
      if (p == nullptr) return false;
      text = std::string_view(text_begin, static_cast<std::size_t>(p - text_begin));
      p = AfterEndTag(p, child);
      if (p != nullptr) after = AfterEndTag(p, element);
      if (after == nullptr) return false;
    }
    p = after;
  }
  leaf = {element, child, text};
  name_ = local_name_ = element;
  empty_element_ = false;
  token_ = Token::kEndElement;
  pos_ = static_cast<std::size_t>(p - b);
  return true;
}

E2D_HOT Scanner::Step Scanner::StartTag() {
  const std::size_t name_begin = pos_ + 1;
  const NameScan name = ScanName(name_begin);
  if (name.end == end_) return Step::kNeedMore;
  if (name.end == name_begin) Fail(pos_, "“<”后面不是元素名");
  const std::size_t local = name.unusual ? CheckName(name_begin, name) : 0;
  prefixed_ = local != 0;
  attributes_.clear();
  attribute_scratch_.clear();
  // Decoded values are never longer than what they decode, so the
  // scratch never moves while the views into it are made.
  if (attribute_scratch_.capacity() < capacity_) attribute_scratch_.reserve(capacity_);
  std::size_t p = name.end;
  for (;;) {
    const std::size_t q = SkipSpaces(p);
    if (q == end_) return Step::kNeedMore;
    const char c = buffer_[q];
    if (c == '>') return FinishStartTag(name.end, local, q + 1, false);
    if (c == '/') {
      if (q + 1 == end_) return Step::kNeedMore;
      if (buffer_[q + 1] != '>') Fail(q, "“/”后面缺少“>”");
      return FinishStartTag(name.end, local, q + 2, true);
    }
    if (q == p) Fail(q, "属性前面缺少空格");
    p = q;
    if (ReadAttribute(p) == Step::kNeedMore) return Step::kNeedMore;
    if (attributes_.size() > kMaxAttributes) Fail(q, "属性太多");
  }
}

E2D_HOT Scanner::Step Scanner::ReadAttribute(std::size_t& p) {
  const NameScan name = ScanName(p);
  if (name.end == end_) return Step::kNeedMore;
  if (name.end == p) Fail(p, "属性名不正确");
  const std::size_t local = name.unusual ? CheckName(p, name) : 0;
  prefixed_ = prefixed_ || local != 0;
  std::size_t q = name.end;
  if (q < end_ && buffer_[q] != '=') q = SkipSpaces(q);
  if (q == end_) return Step::kNeedMore;
  if (buffer_[q] != '=') Fail(q, "属性后面缺少“=”");
  q = SkipSpaces(q + 1);
  if (q == end_) return Step::kNeedMore;
  const char quote = buffer_[q];
  if (quote != '"' && quote != '\'') Fail(q, "属性值缺少引号");
  // One pass finds the closing quote and whether anything needs decoding.
  std::uint8_t classes = 0;
  std::size_t value_end = q + 1;
  for (char c; (c = buffer_[value_end]) != quote && c != '\0'; ++value_end) classes |= ClassOf(c);
  if (value_end == end_) return Step::kNeedMore;
  if (buffer_[value_end] == '\0') Fail(value_end, "文字中有不允许的控制字符");
  const std::string_view attribute_name(buffer_.get() + p, name.end - p);
  std::string_view value(buffer_.get() + q + 1, value_end - q - 1);
  if (classes & kAttributeSpecial) {
    const std::size_t before = attribute_scratch_.size();
    if (Decode(q + 1, value_end, kAttribute, attribute_scratch_)) {
      value = std::string_view(attribute_scratch_).substr(before);
    }
  }
  attributes_.push_back({attribute_name, Tail(attribute_name, local), value});
  p = value_end + 1;
  return Step::kToken;
}

E2D_HOT Scanner::Step Scanner::FinishStartTag(std::size_t name_end, std::size_t local, std::size_t after, bool empty) {
  if (root_closed_) Fail(pos_, "根元素之后不能再有元素");
  if (depth() >= kMaxDepth) Fail(pos_, "元素嵌套太深");
  seen_root_ = true;
  const std::size_t name_begin = pos_ + 1;
  name_ = std::string_view(buffer_.get() + name_begin, name_end - name_begin);
  local_name_ = Tail(name_, local);
  if (attributes_.size() > 1) CheckDuplicates();
  Push(name_, local);
  if (prefixed_) CheckNamespaces();
  empty_element_ = empty;
  pending_end_ = empty;
  token_ = Token::kStartElement;
  pos_ = after;
  return Step::kToken;
}

void Scanner::CheckDuplicates() const {
  for (std::size_t i = 1; i < attributes_.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const std::string_view a = attributes_[i].name, b = attributes_[j].name;
      if (a.size() == b.size() && SameBytes(a.data(), b.data(), a.size())) {
        Fail(pos_, "属性 " + std::string(attributes_[i].name) + " 出现了两次");
      }
    }
  }
}

namespace {

std::string_view PrefixOf(std::string_view name, std::string_view local_name) {
  return name.size() == local_name.size() ? std::string_view() : name.substr(0, name.size() - local_name.size() - 1);
}

}  // namespace

bool Scanner::IsBound(std::string_view prefix) const {
  for (auto it = prefix_scopes_.rbegin(); it != prefix_scopes_.rend(); ++it) {
    if (std::string_view(prefixes_).substr(it->begin, it->length) == prefix) return true;
  }
  return false;
}

// Declares the prefixes this start tag binds and checks that every prefix
// it uses is bound, as a namespace-aware parser does.
void Scanner::CheckNamespaces() {
  const auto here = static_cast<std::uint32_t>(depth());
  for (const Attribute& a : attributes_) {
    if (PrefixOf(a.name, a.local_name) != "xmlns") continue;
    if (a.value.empty() || a.local_name == "xmlns") {
      Fail(pos_, "命名空间前缀 " + std::string(a.local_name) + " 的声明不正确");
    }
    prefix_scopes_.push_back({static_cast<std::uint32_t>(prefixes_.size()),
                              static_cast<std::uint32_t>(a.local_name.size()), here});
    prefixes_ += a.local_name;
  }
  auto check = [&](std::string_view prefix) {
    if (!prefix.empty() && prefix != "xml" && !IsBound(prefix)) {
      Fail(pos_, "命名空间前缀 " + std::string(prefix) + " 没有声明");
    }
  };
  const std::string_view element_prefix = PrefixOf(name_, local_name_);
  if (element_prefix == "xmlns") Fail(pos_, "元素名不能用 xmlns 前缀");
  check(element_prefix);
  for (const Attribute& a : attributes_) {
    const std::string_view prefix = PrefixOf(a.name, a.local_name);
    if (prefix != "xmlns") check(prefix);
  }
}

E2D_HOT void Scanner::Push(std::string_view name, std::size_t local) {
  open_.push_back({static_cast<std::uint32_t>(open_used_), static_cast<std::uint32_t>(local)});
  if (open_used_ + name.size() > open_names_.size()) open_names_.resize(2 * (open_used_ + name.size()));
  // Names are short: a plain loop beats a call to memcpy.
  char* to = open_names_.data() + open_used_;
  for (const char c : name) *to++ = c;
  open_used_ += name.size();
}

E2D_HOT void Scanner::Pop() {
  open_used_ = open_.back().begin;
  open_.pop_back();
  while (!prefix_scopes_.empty() && prefix_scopes_.back().depth > depth()) {
    prefixes_.resize(prefix_scopes_.back().begin);
    prefix_scopes_.pop_back();
  }
  if (open_.empty()) root_closed_ = true;
}

// The usual end tag: the name of the open element, then ">".
E2D_HOT Scanner::Step Scanner::EndTag() {
  if (!open_.empty()) {
    const std::string_view open = OpenName();
    const std::size_t name_begin = pos_ + 2;
    const std::size_t close = name_begin + open.size();
    if (close < end_ && buffer_[close] == '>' && SameBytes(buffer_.get() + name_begin, open.data(), open.size())) {
      name_ = std::string_view(buffer_.get() + name_begin, open.size());
      local_name_ = Tail(name_, open_.back().local);
      empty_element_ = false;
      Pop();
      token_ = Token::kEndElement;
      pos_ = close + 1;
      return Step::kToken;
    }
  }
  return SlowEndTag();
}

Scanner::Step Scanner::SlowEndTag() {
  const std::size_t name_begin = pos_ + 2;
  const NameScan scan = ScanName(name_begin);
  const std::size_t name_end = scan.end;
  if (name_end == end_) return Step::kNeedMore;
  if (name_end == name_begin) Fail(pos_, "“</”后面不是元素名");
  const std::size_t q = SkipSpaces(name_end);
  if (q == end_) return Step::kNeedMore;
  if (buffer_[q] != '>') Fail(q, "结束标记缺少“>”");
  const std::size_t local = scan.unusual ? CheckName(name_begin, scan) : 0;
  const std::string_view name(buffer_.get() + name_begin, name_end - name_begin);
  if (open_.empty()) Fail(pos_, "多余的结束标记 </" + std::string(name) + ">");
  const std::string_view open = OpenName();
  if (open != name) {
    Fail(pos_, "结束标记 </" + std::string(name) + "> 与开始标记 <" + std::string(open) + "> 不配对");
  }
  name_ = name;
  local_name_ = name.substr(local);
  empty_element_ = false;
  Pop();
  token_ = Token::kEndElement;
  pos_ = q + 1;
  return Step::kToken;
}

Scanner::Step Scanner::Comment() {
  std::size_t p = pos_ + 4;
  for (;;) {
    const void* dash = std::memchr(buffer_.get() + p, '-', end_ - p);
    if (dash == nullptr) return Step::kNeedMore;
    p = static_cast<std::size_t>(static_cast<const char*>(dash) - buffer_.get());
    if (p + 2 >= end_) return Step::kNeedMore;
    if (buffer_[p + 1] == '-') {
      if (buffer_[p + 2] != '>') Fail(p, "注释中不能有“--”");
      CheckChars(pos_ + 4, p);
      pos_ = p + 3;
      return Step::kSkipped;
    }
    ++p;
  }
}

Scanner::Step Scanner::ProcessingInstruction() {
  const std::size_t target_begin = pos_ + 2;
  const std::size_t target_end = ScanName(target_begin).end;
  if (target_end == end_) return Step::kNeedMore;
  if (target_end == target_begin) Fail(pos_, "处理指令缺少名称");
  std::size_t q = target_end;
  for (;;) {
    const void* mark = std::memchr(buffer_.get() + q, '?', end_ - q);
    if (mark == nullptr) return Step::kNeedMore;
    q = static_cast<std::size_t>(static_cast<const char*>(mark) - buffer_.get());
    if (q + 1 == end_) return Step::kNeedMore;
    if (buffer_[q + 1] == '>') break;
    ++q;
  }
  if (q != target_end && !(ClassOf(buffer_[target_end]) & kSpace)) Fail(target_end, "处理指令的名称后面缺少空格");
  const std::string_view target(buffer_.get() + target_begin, target_end - target_begin);
  if (ascii::EqualsIgnoringCase(target, "xml")) {
    if (target != "xml" || offset() != document_start_) Fail(pos_, "XML 声明只能在文档开头");
    Declaration(target_end, q);
  } else {
    CheckChars(target_end, q);
  }
  pos_ = q + 2;
  return Step::kSkipped;
}

// <?xml version="1.x" encoding="..." standalone="..."?>: the encoding must
// be the one the document is in.
void Scanner::Declaration(std::size_t begin, std::size_t end) {
  std::string_view body(buffer_.get() + begin, end - begin);
  std::string encoding;
  bool version = false;
  while (true) {
    const std::size_t spaces = body.find_first_not_of(" \t\r\n");
    if (spaces == std::string_view::npos) break;
    if (spaces == 0) Fail(begin, "XML 声明不正确");
    body.remove_prefix(spaces);
    const std::size_t eq = body.find('=');
    if (eq == std::string_view::npos) Fail(begin, "XML 声明不正确");
    const std::string_view key = body.substr(0, body.substr(0, eq).find_last_not_of(" \t\r\n") + 1);
    body.remove_prefix(eq + 1);
    body.remove_prefix(std::min(body.size(), body.find_first_not_of(" \t\r\n")));
    if (body.empty() || (body.front() != '"' && body.front() != '\'')) Fail(begin, "XML 声明不正确");
    const std::size_t close = body.find(body.front(), 1);
    if (close == std::string_view::npos) Fail(begin, "XML 声明不正确");
    const std::string_view value = body.substr(1, close - 1);
    body.remove_prefix(close + 1);
    if (key == "version" && !version && value.size() >= 3 && value.substr(0, 2) == "1.") {
      version = true;
    } else if (key == "encoding" && version && encoding.empty()) {
      encoding = std::string(value);
    } else if (key != "standalone" || !version || (value != "yes" && value != "no")) {
      Fail(begin, "XML 声明不正确");
    }
  }
  if (!version) Fail(begin, "XML 声明缺少版本");
  if (encoding.empty()) return;
  const bool utf8 = ascii::EqualsIgnoringCase(encoding, "UTF-8") || ascii::EqualsIgnoringCase(encoding, "US-ASCII");
  const bool utf16 = ascii::StartsWithIgnoringCase(encoding, "UTF-16") && encoding.size() <= 8;
  if (!utf8 && !utf16) Fail(begin, "不支持的编码 " + encoding);
  if (utf16 != utf16_) Fail(begin, "XML 声明的编码 " + encoding + " 与文件不符");
}

Scanner::Step Scanner::CdataStart() {
  if (!seen_root_ || root_closed_) Fail(pos_, "CDATA 段只能在根元素之内");
  in_cdata_ = true;
  pos_ += 9;
  return Step::kSkipped;
}

void Scanner::SetText(std::size_t begin, std::size_t end, int mode) {
  text_scratch_.clear();
  text_ = Decode(begin, end, mode, text_scratch_) ? std::string_view(text_scratch_)
                                                  : std::string_view(buffer_.get() + begin, end - begin);
  name_ = local_name_ = {};
  token_ = Token::kText;
}

Scanner::Step Scanner::CdataRun() {
  for (std::size_t p = pos_;;) {
    const void* hit = std::memchr(buffer_.get() + p, ']', end_ - p);
    if (hit == nullptr) break;
    p = static_cast<std::size_t>(static_cast<const char*>(hit) - buffer_.get());
    if (p + 2 >= end_) break;
    if (buffer_[p + 1] == ']' && buffer_[p + 2] == '>') {
      SetText(pos_, p, kCdata);
      pos_ = p + 3;
      in_cdata_ = false;
      return text_.empty() ? Step::kSkipped : Step::kToken;
    }
    ++p;
  }
  // The end is not in the buffer: read on, or hand out what is there
  // when the buffer is full of it.
  if (pos_ > 0 || end_ < capacity_) return Step::kNeedMore;
  const std::size_t cut = SafeCut(pos_, end_, true);
  SetText(pos_, cut, kCdata);
  pos_ = cut;
  return Step::kToken;
}

E2D_HOT Scanner::Step Scanner::TextRun() {
  // One pass finds the next "<" and whether anything needs decoding.
  std::uint8_t classes = 0;
  std::size_t run_end = pos_;
  for (char c; (c = buffer_[run_end]) != '<' && c != '\0'; ++run_end) classes |= ClassOf(c);
  if (run_end < end_ && buffer_[run_end] == '\0') Fail(run_end, "文字中有不允许的控制字符");
  if (run_end == end_ && !eof_) {
    if (pos_ > 0 || end_ < capacity_) return Step::kNeedMore;  // a text that fits the buffer comes whole
    run_end = SafeCut(pos_, end_, false);
  }
  const std::size_t begin = pos_;
  if (!seen_root_ || root_closed_) {
    for (std::size_t p = begin; p < run_end; ++p) {
      if (!(ClassOf(buffer_[p]) & kSpace)) Fail(p, "根元素之外不能有文字");
    }
    pos_ = run_end;
    return Step::kSkipped;
  }
  if (classes & kTextSpecial) {
    SetText(begin, run_end, kText);
  } else {
    text_ = std::string_view(buffer_.get() + begin, run_end - begin);
    name_ = local_name_ = {};
    token_ = Token::kText;
  }
  pos_ = run_end;
  return Step::kToken;
}

// Where a text filling the whole buffer may be cut without splitting a
// UTF-8 sequence, an entity reference, a "\r\n" or a "]]>".
std::size_t Scanner::SafeCut(std::size_t begin, std::size_t end, bool cdata) const {
  std::size_t c = end;
  for (bool changed = true; changed;) {
    changed = false;
    while (c > begin && (buffer_[c - 1] == ']' || buffer_[c - 1] == '\r')) {
      --c;
      changed = true;
    }
    for (std::size_t k = 1; k <= 3 && k <= c - begin; ++k) {
      const auto u = static_cast<unsigned char>(buffer_[c - k]);
      if (u < 0x80) break;
      if (u >= 0xC0) {
        const std::size_t need = u >= 0xF0 ? 4 : u >= 0xE0 ? 3 : 2;
        if (need > k) {
          c -= k;
          changed = true;
        }
        break;
      }
    }
    for (std::size_t i = c; !cdata && i > begin && i + kMaxEntity > c; --i) {
      if (buffer_[i - 1] == ';') break;
      if (buffer_[i - 1] == '&') {
        c = i - 1;
        changed = true;
        break;
      }
    }
  }
  return c > begin ? c : end;
}

bool Scanner::Decode(std::size_t begin, std::size_t end, int mode, std::string& out) const {
  const char* b = buffer_.get();
  std::size_t p = begin;
  std::size_t run = begin;  // start of the bytes not yet copied to out
  bool changed = false;
  while (p < end) {
    const char c = b[p];
    if (!(ClassOf(c) & mode)) {
      ++p;
      continue;
    }
    if (static_cast<unsigned char>(c) >= 0x80) {
      const std::size_t n = Utf8Char(b + p, b + end);
      if (n == 0) Fail(p, "不是正确的 UTF-8 文字");
      p += n;
    } else if (c == ']') {
      if (end - p >= 3 && b[p + 1] == ']' && b[p + 2] == '>') Fail(p, "文字中不能有“]]>”");
      ++p;
    } else if (c == '&' || c == '\r' || (mode == kAttribute && (c == '\t' || c == '\n'))) {
      out.append(b + run, p - run);
      changed = true;
      if (c == '&') {
        p += Entity(p, end, out);
      } else {
        out += mode == kAttribute ? ' ' : '\n';
        p += c == '\r' && p + 1 < end && b[p + 1] == '\n' ? 2 : 1;
      }
      run = p;
    } else if (c == '<') {
      Fail(p, "属性值中不能有“<”");
    } else {
      Fail(p, "文字中有不允许的控制字符");
    }
  }
  if (changed) out.append(b + run, end - run);
  return changed;
}

std::size_t Scanner::Entity(std::size_t at, std::size_t end, std::string& out) const {
  const char* b = buffer_.get();
  const std::size_t limit = std::min(end, at + kMaxEntity);
  std::size_t semicolon = at + 1;
  while (semicolon < limit && b[semicolon] != ';') ++semicolon;
  if (semicolon >= limit) Fail(at, "“&”后面不是完整的实体引用");
  const std::string_view name(b + at + 1, semicolon - at - 1);
  const bool printable = std::all_of(name.begin(), name.end(), [](char c) { return c > 0x20 && c < 0x7F; });
  const std::string shown = printable ? "&" + std::string(name) + ";" : "";
  if (!name.empty() && name.front() == '#') {
    const std::uint32_t c = CharacterReference(name.substr(1));
    if (c == UINT32_MAX || !IsXmlChar(c)) Fail(at, "字符引用 " + shown + " 不正确");
    AppendUtf8(c, out);
  } else if (const char c = PredefinedEntity(name)) {
    out += c;
  } else {
    Fail(at, "未定义的实体 " + shown);
  }
  return semicolon + 1 - at;
}

void Scanner::CheckChars(std::size_t begin, std::size_t end) const {
  const char* b = buffer_.get();
  for (std::size_t p = begin; p < end;) {
    const char c = b[p];
    if (!(ClassOf(c) & kCdataSpecial) || c == '\r') {
      ++p;
    } else if (static_cast<unsigned char>(c) >= 0x80) {
      const std::size_t n = Utf8Char(b + p, b + end);
      if (n == 0) Fail(p, "不是正确的 UTF-8 文字");
      p += n;
    } else {
      Fail(p, "有不允许的控制字符");
    }
  }
}

}  // namespace platform::data::xml
