#include "platform/data/xlsx/sheet_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/data/sheet/damage.h"
#include "platform/data/sheet/date_format.h"
#include "platform/data/sheet/sheet_cells.h"
#include "platform/data/xlsx/package.h"
#include "platform/data/xlsx/workbook_parts.h"
#include "platform/data/xlsx/xml/xml_scanner.h"
#include "platform/runtime/error.h"

namespace platform::data::xlsx {
namespace {

enum class CellType : std::uint8_t { kNumber, kShared, kInline, kFormulaText, kBoolean, kError, kDate };

// Element depths inside a worksheet part.
constexpr std::size_t kSheetDataDepth = 2;
constexpr std::size_t kRowDepth = 3;
constexpr std::size_t kCellDepth = 4;
constexpr std::size_t kCellChildDepth = 5;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Numbers of up to 15 digits without an exponent, most of what sheets
// hold: the digits are exact as a double and so is a power of ten up to
// 1e22, so one division, rounded once, gives the nearest double, as a
// general conversion would.
bool ParseShortDecimal(std::string_view text, double& value) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  // The whole part, then the fraction: one test a digit. Past 15 digits the
  // sum may wrap; it is refused below before it is used.
  std::uint64_t digits = 0;
  auto take_digits = [&] {
    const char* const from = p;
    for (unsigned d; p < end && (d = static_cast<unsigned char>(*p) - unsigned{'0'}) <= 9; ++p) digits = digits * 10 + d;
    return static_cast<std::size_t>(p - from);
  };
  std::size_t count = take_digits();
  std::size_t fraction = 0;
  if (p < end && *p == '.') {
    ++p;
    fraction = take_digits();
    count += fraction;
  }
  if (p != end || count == 0 || count > 15) return false;
  const double magnitude = static_cast<double>(digits) / kPowersOfTen[fraction];
  value = negative ? -magnitude : magnitude;
  return true;
}

bool ParseNumber(std::string_view text, double& value) {
  if (ParseShortDecimal(text, value)) return true;
  text = Trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

bool ParseUnsigned(std::string_view text, std::uint64_t& value) {
  if (!text.empty() && text.size() <= 9) {
    std::uint64_t v = 0;
    std::size_t i = 0;
    for (unsigned d; i < text.size() && (d = static_cast<unsigned char>(text[i]) - unsigned{'0'}) <= 9; ++i) {
      v = v * 10 + d;
    }
    if (i == text.size()) {
      value = v;
      return true;
    }
  }
  text = Trimmed(text);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

bool CellTypeOf(std::string_view t, CellType& type) {
  if (t.size() == 1) {
    switch (t[0]) {
      case 'n': type = CellType::kNumber; return true;
      case 's': type = CellType::kShared; return true;
      case 'b': type = CellType::kBoolean; return true;
      case 'e': type = CellType::kError; return true;
      case 'd': type = CellType::kDate; return true;
      default: return false;
    }
  }
  if (t == "str") type = CellType::kFormulaText;
  if (t == "inlineStr") type = CellType::kInline;
  return t == "str" || t == "inlineStr";
}

// Every cell's reference is read here: inlined into the cell's reading,
// it saves a call per cell.
#if defined(__GNUC__)
[[gnu::always_inline]]
#endif
inline bool ReadCellReference(std::string_view reference, std::uint32_t& row, std::uint32_t& column) {
  const char* p = reference.data();
  const char* const end = p + reference.size();
  const char* const letters_end = p + std::min<std::size_t>(reference.size(), 4);
  std::uint32_t c = 0;
  for (; p < letters_end; ++p) {
    // Setting 0x20 makes upper case lower and leaves no other byte a letter.
    const unsigned letter = (static_cast<unsigned char>(*p) | 0x20u) - 'a';
    if (letter > 25) break;
    c = c * 26 + letter + 1;
  }
  const auto digits = static_cast<std::size_t>(end - p);
  if (c == 0 || digits == 0 || digits > 7 || *p == '0' || c > sheet::kMaxColumns) return false;
  std::uint32_t r = 0;
  for (; p < end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - static_cast<unsigned>('0');
    if (digit > 9) return false;
    r = r * 10 + digit;
  }
  if (r > sheet::kMaxRows) return false;
  row = r - 1;
  column = c - 1;
  return true;
}

class SheetParser {
 public:
  explicit SheetParser(const SheetContext& context) : context_(context) {}

  // Reads on to the end of the next cell element, handing its value (if
  // any) to sink; false at the end of the part.
  bool Step(xml::Scanner& s, CellSink& sink) {
    sink_ = &sink;
    for (;;) {
      if (in_row_ && !in_cell_ && s.depth() == kRowDepth && LeafCell(s)) return true;
      const xml::Token t = s.Next();
      if (t == xml::Token::kEndOfDocument) return false;
      if (t == xml::Token::kText) {
        if (in_value_) Append(value_, s.text());
        if (in_inline_text_) Append(inline_, s.text());
      } else if (t == xml::Token::kStartElement) {
        Start(s);
      } else if (End(s)) {
        return true;
      }
    }
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    sheet::RaiseDamaged("工作表“" + context_.name + "”" + what);
  }
  [[noreturn]] void FailCell(const std::string& what) const {
    Fail("的单元格 " + CellName(cell_row_, cell_column_) + " " + what);
  }

  void Append(std::string& to, std::string_view text) {
    if (to.size() + text.size() > kMaxTextBytes) FailCell("的文字太长（超过 16 MB）");
    to += text;
  }

  void Start(xml::Scanner& s) {
    const std::size_t depth = s.depth();
    const std::string_view name = s.local_name();
    switch (depth) {
      case kSheetDataDepth:
        if (name == "dimension") ReserveFor(s);
        in_sheet_data_ = name == "sheetData";
        return;
      case kRowDepth:
        in_row_ = in_sheet_data_ && name == "row";
        if (in_row_) StartRow(s);
        return;
      case kCellDepth:
        if (in_row_ && name == "c") StartCell(s);
        return;
      case kCellChildDepth:
        in_value_ = in_cell_ && name == "v";
        in_inline_ = in_cell_ && name == "is";
        has_value_ = has_value_ || in_value_;
        has_inline_ = has_inline_ || in_inline_;
        return;
      default:
        if (!in_inline_ || phonetic_depth_ != 0) return;
        if (name == "rPh") {
          phonetic_depth_ = depth;
        } else if (name == "t") {
          in_inline_text_ = true;
          inline_text_depth_ = depth;
        }
    }
  }

  // True when a cell element ended.
  bool End(xml::Scanner& s) {
    const std::size_t depth = s.depth() + 1;  // of the element that ends
    switch (depth) {
      case kSheetDataDepth:
        in_sheet_data_ = false;
        return false;
      case kRowDepth:
        in_row_ = false;
        return false;
      case kCellDepth: {
        const bool cell = in_cell_;
        if (in_cell_) Emit();
        in_cell_ = false;
        return cell;
      }
      case kCellChildDepth:
        in_value_ = in_inline_ = false;
        return false;
      default:
        if (depth == inline_text_depth_) in_inline_text_ = false;
        if (depth == phonetic_depth_) phonetic_depth_ = 0;
        return false;
    }
  }

  // The used range the sheet states, as room for its cells: held cells
  // then grow without copies. Only a hint, so a range that is not
  // written plainly is passed over, and no more cells are promised than
  // the part could hold (the smallest cell with a value, <c><v>1</v></c>,
  // takes 16 bytes).
  void ReserveFor(const xml::Scanner& s) {
    const std::string_view* ref = s.Find("ref");
    if (ref == nullptr) return;
    const std::size_t colon = ref->find(':');
    std::uint32_t first_row = 0, first_column = 0, last_row = 0, last_column = 0;
    if (!ReadCellReference(ref->substr(0, colon), first_row, first_column)) return;
    last_row = first_row;
    last_column = first_column;
    if (colon != std::string_view::npos && !ReadCellReference(ref->substr(colon + 1), last_row, last_column)) return;
    if (last_row < first_row || last_column < first_column) return;
    const std::uint64_t cells =
        std::uint64_t{last_row - first_row + 1} * std::uint64_t{last_column - first_column + 1};
    sink_->Reserve(static_cast<std::size_t>(std::min(cells, context_.part_size / 16)));
  }

  void StartRow(const xml::Scanner& s) {
    const std::string_view* r = s.Find("r");
    std::uint64_t number = 0;
    if (r == nullptr) {
      number = static_cast<std::uint64_t>(row_) + 2;
    } else if (!ParseUnsigned(*r, number)) {
      Fail("的行号“" + std::string(*r) + "”不正确");
    }
    if (number < 1 || number > sheet::kMaxRows) Fail("的行号 " + std::to_string(number) + " 不在 1 到 1048576 之间");
    row_ = static_cast<std::int64_t>(number) - 1;
    next_column_ = 0;
  }

  // Most cells are written plainly enough to be read in one go.
  bool LeafCell(xml::Scanner& s) {
    xml::Scanner::Leaf leaf;
    while (s.NextLeaf(leaf)) {
      if (leaf.name != "c") continue;  // not a cell: nothing in it is read
      StartCell(s);
      has_value_ = leaf.child == "v";
      has_inline_ = leaf.child == "is";
      EmitLeaf(leaf.text);
      in_cell_ = false;
      return true;
    }
    return false;
  }

  void StartCell(const xml::Scanner& s);
  void Emit();
  // A cell read whole by NextLeaf: numbers and shared strings (most
  // cells) straight from its text, the rest through value_.
  void EmitLeaf(std::string_view text) {
    if (has_value_ && type_ == CellType::kNumber) return EmitNumber(text);
    if (has_value_ && type_ == CellType::kShared) return EmitShared(text);
    if (has_value_) value_.assign(text);
    Emit();
  }
  void EmitNumber(std::string_view text);
  void EmitShared(std::string_view text);

  const SheetContext& context_;
  CellSink* sink_ = nullptr;  // of the current Step
  bool in_sheet_data_ = false;
  bool in_row_ = false;
  std::int64_t row_ = -1;  // the current row; -1 before the first
  std::uint32_t next_column_ = 0;

  bool in_cell_ = false;
  std::uint32_t cell_row_ = 0;
  std::uint32_t cell_column_ = 0;
  CellType type_ = CellType::kNumber;
  bool date_style_ = false;
  bool in_value_ = false;
  bool has_value_ = false;
  std::string value_;
  bool in_inline_ = false;
  bool has_inline_ = false;
  bool in_inline_text_ = false;
  std::size_t inline_text_depth_ = 0;
  std::size_t phonetic_depth_ = 0;
  std::string inline_;
};

void SheetParser::StartCell(const xml::Scanner& s) {
  if (row_ < 0) row_ = 0;  // cells before any row number: the first row
  cell_row_ = static_cast<std::uint32_t>(row_);
  cell_column_ = next_column_;
  type_ = CellType::kNumber;
  date_style_ = false;
  for (const xml::Attribute& a : s.attributes()) {
    if (a.local_name.size() != 1) continue;
    switch (a.local_name[0]) {
      case 'r':
        if (!ReadCellReference(a.value, cell_row_, cell_column_)) {
          Fail("中的单元格位置“" + std::string(a.value) + "”不正确");
        }
        break;
      case 't':
        if (!CellTypeOf(a.value, type_)) FailCell("的类型“" + std::string(a.value) + "”不正确");
        break;
      case 's': {
        std::uint64_t style = 0;
        if (!ParseUnsigned(a.value, style)) FailCell("的格式编号“" + std::string(a.value) + "”不正确");
        date_style_ = style < context_.date_styles.size() && context_.date_styles[static_cast<std::size_t>(style)];
        break;
      }
      default:
        break;
    }
  }
  if (cell_column_ >= sheet::kMaxColumns) FailCell("超出 16384 列");
  next_column_ = cell_column_ + 1;
  in_cell_ = true;
  has_value_ = has_inline_ = false;
  value_.clear();
  inline_.clear();
}

void SheetParser::EmitNumber(std::string_view text) {
  double number = 0;
  if (!ParseNumber(text, number)) {
    if (Trimmed(text).empty()) return;
    FailCell("的值“" + std::string(text) + "”不是数字");
  }
  if (date_style_) {
    sink_->Date(cell_row_, cell_column_, context_.date1904 ? number + sheet::k1904DateOffset : number);
  } else {
    sink_->Number(cell_row_, cell_column_, number);
  }
}

void SheetParser::EmitShared(std::string_view text) {
  if (Trimmed(text).empty()) return;
  std::uint64_t index = 0;
  if (!ParseUnsigned(text, index) || index >= context_.shared_string_count) {
    RaiseMissingSharedCell(context_.name, cell_row_, cell_column_, text);
  }
  sink_->SharedText(cell_row_, cell_column_, static_cast<std::uint32_t>(index));
}

void SheetParser::Emit() {
  switch (type_) {
    case CellType::kNumber:
      if (has_value_) EmitNumber(value_);
      return;
    case CellType::kShared:
      if (has_value_) EmitShared(value_);
      return;
    case CellType::kInline:
    case CellType::kFormulaText: {
      // An inline string written as a plain value is taken all the same.
      std::string& text = type_ == CellType::kInline && has_inline_ ? inline_ : value_;
      DecodeEscapes(text);
      if (!text.empty()) sink_->Text(cell_row_, cell_column_, text);
      return;
    }
    case CellType::kBoolean: {
      if (!has_value_) return;
      const std::string_view v = Trimmed(value_);
      if (v != "0" && v != "1" && v != "true" && v != "false") FailCell("的值“" + value_ + "”不是逻辑值");
      sink_->Boolean(cell_row_, cell_column_, v == "1" || v == "true");
      return;
    }
    case CellType::kError:
      return;
    case CellType::kDate: {
      if (!has_value_ || Trimmed(value_).empty()) return;
      double serial = 0;
      if (!ParseIsoDate(Trimmed(value_), serial)) FailCell("的值“" + value_ + "”不是日期");
      if (serial < 0) {
        sink_->Text(cell_row_, cell_column_, Trimmed(value_));
      } else {
        sink_->Date(cell_row_, cell_column_, serial);
      }
      return;
    }
  }
}

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's
// algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

unsigned DaysInMonth(unsigned y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// Takes exactly n digits from the front of text.
bool TakeDigits(std::string_view& text, std::size_t n, unsigned& value) {
  if (text.size() < n) return false;
  value = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  text.remove_prefix(n);
  return true;
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

// "HH:MM[:SS[.fff]]" and an optional zone, as a fraction of a day.
bool ParseTime(std::string_view text, double& fraction) {
  unsigned hour = 0, minute = 0, second = 0;
  if (!TakeDigits(text, 2, hour) || !TakeChar(text, ':') || !TakeDigits(text, 2, minute)) return false;
  double seconds = 0;
  if (TakeChar(text, ':')) {
    if (!TakeDigits(text, 2, second)) return false;
    seconds = second;
    if (TakeChar(text, '.')) {
      double scale = 0.1;
      if (text.empty() || text.front() < '0' || text.front() > '9') return false;
      while (!text.empty() && text.front() >= '0' && text.front() <= '9') {
        seconds += (text.front() - '0') * scale;
        scale /= 10;
        text.remove_prefix(1);
      }
    }
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  unsigned zone_hour = 0, zone_minute = 0;
  const bool zone = text == "Z" || ((TakeChar(text, '+') || TakeChar(text, '-')) && TakeDigits(text, 2, zone_hour) &&
                                    TakeChar(text, ':') && TakeDigits(text, 2, zone_minute) && text.empty());
  if (!text.empty() && !zone) return false;
  fraction = (hour * 3600.0 + minute * 60.0 + seconds) / 86400.0;
  return true;
}

}  // namespace

bool ParseIsoDate(std::string_view text, double& serial) {
  if (text.size() >= 3 && text[2] == ':') return ParseTime(text, serial);
  unsigned year = 0, month = 0, day = 0;
  if (!TakeDigits(text, 4, year) || !TakeChar(text, '-') || !TakeDigits(text, 2, month) || !TakeChar(text, '-') ||
      !TakeDigits(text, 2, day)) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  double fraction = 0;
  if (TakeChar(text, 'T')) {
    if (!ParseTime(text, fraction)) return false;
  } else if (!text.empty()) {
    return false;
  }
  // Serials count the phantom 1900-02-29: days before 1900-03-01 are one
  // less than the calendar gives.
  std::int64_t days = DaysFromCivil(year, month, day) - DaysFromCivil(1899, 12, 30);
  if (days < 61) --days;
  serial = static_cast<double>(days) + fraction;
  return true;
}

bool ParseCellReference(std::string_view reference, std::uint32_t& row, std::uint32_t& column) {
  return ReadCellReference(reference, row, column);
}

void RaiseMissingSharedCell(const std::string& sheet, std::uint32_t row, std::uint32_t column,
                            std::string_view written) {
  sheet::RaiseDamaged("工作表“" + sheet + "”的单元格 " + CellName(row, column) + " 引用了不存在的共享字符串“" +
                      std::string(written) + "”");
}

std::string CellName(std::uint32_t row, std::uint32_t column) {
  std::string letters;
  for (std::uint32_t c = column + 1; c > 0; c = (c - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  }
  return letters + std::to_string(static_cast<std::uint64_t>(row) + 1);
}

namespace {

// The part inflated and scanned piece by piece, one cell element at each
// Next.
class XlsxSheetScan : public sheet::SheetScan {
 public:
  XlsxSheetScan(const zip::ZipArchive& zip, const std::string& part, SheetContext context)
      : context_(std::move(context)), part_(zip, part), parser_(context_) {}

  bool Next(CellSink& sink) override {
    if (ended_) return false;
    ended_ = !parser_.Step(part_.scanner(), sink);
    return !ended_;
  }

 private:
  SheetContext context_;
  PartScanner part_;
  SheetParser parser_;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<sheet::SheetScan> ScanSheet(const zip::ZipArchive& zip, const std::string& part,
                                            SheetContext context) {
  return std::make_unique<XlsxSheetScan>(zip, part, std::move(context));
}

void ReadSheet(const zip::ZipArchive& zip, const std::string& part, const SheetContext& context, CellSink& sink) {
  XlsxSheetScan scan(zip, part, context);
  while (scan.Next(sink)) {
  }
}

}  // namespace platform::data::xlsx
