#include "platform/data/xls/workbook.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <numeric>

#include "platform/codepage/codepage.h"
#include "platform/data/xls/biff_records.h"
#include "platform/data/xls/byte_order.h"
#include "platform/runtime/error.h"
#include "platform/runtime/memory.h"

namespace platform::data::xls {
namespace {

// Days between the 1904 and 1900 date systems' day zero.
constexpr double k1904Offset = 1462;
constexpr std::uint32_t kMaxColumns = 256;
// FORMULA: a cached result that is not a number has 0xFFFF in its top
// two bytes and its kind in the first.
constexpr std::uint8_t kFormulaString = 0;
constexpr std::uint8_t kFormulaBoolean = 1;
constexpr std::uint8_t kFormulaError = 2;
constexpr std::uint8_t kFormulaEmpty = 3;

[[noreturn]] void Damaged(const std::string& what) {
  Raise(err::kWorkbookDamaged, "工作簿已损坏：" + what);
}

RecordCursor Cursor(const RecordReader& r) { return RecordCursor(r.data(), r.breaks()); }

// Skips an embedded substream whose BOF was just read.
void SkipSubstream(RecordReader& reader) {
  int depth = 1;
  while (depth > 0 && reader.Next()) {
    if (reader.type() == rec::kBof) ++depth;
    if (reader.type() == rec::kEof) --depth;
  }
}

double RkValue(std::uint32_t rk) {
  double value;
  if (rk & 0x02) {
    value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&value, &bits, sizeof value);
  }
  return (rk & 0x01) ? value / 100 : value;
}

std::uint64_t Bits(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

void ReadSharedStrings(const RecordReader& reader, StringTable& table) {
  RecordCursor c = Cursor(reader);
  c.Skip(4);  // the total count
  // The unique count is not trusted beyond reserving room: each string
  // takes at least 3 bytes, and each byte of text at most 2 bytes of UTF-8
  // (a UTF-16 unit at most 3).
  const std::size_t bytes = reader.data().size();
  table.Reserve(bytes * 2, std::min<std::size_t>(c.U32(), bytes / 3));
  std::string text;
  std::size_t trailing = 0;
  while (c.ok() && c.remaining() > 0) {
    text.clear();
    if (!c.Biff8Text(2, text, trailing)) break;
    table.Add(text);
    c.Skip(trailing);
  }
}

}  // namespace

void StringTable::Add(std::string_view text) {
  if (blob_.size() + text.size() > std::numeric_limits<std::uint32_t>::max()) {
    Raise(err::kOutOfMemory, "工作簿中的文字太多，无法读取");
  }
  blob_.append(text);
  ends_.push_back(static_cast<std::uint32_t>(blob_.size()));
}

void StringTable::Reserve(std::size_t bytes, std::size_t count) {
  blob_.reserve(bytes);
  ends_.reserve(count);
  PreferLargePages(blob_.data(), blob_.capacity());
  PreferLargePages(ends_.data(), ends_.capacity() * sizeof(std::uint32_t));
}

std::string WorkbookGlobals::DecodeText(std::string_view bytes) const {
  std::string out;
  if (code_page == 0) {
    // No CODEPAGE record: each byte is the Latin-1 character of its value,
    // so no byte is lost.
    codepage::AppendLatin1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
    return out;
  }
  return codepage::ToUtf8(bytes, code_page);
}

bool IsBuiltInDateFormat(int index) {
  return (index >= 14 && index <= 22) || (index >= 27 && index <= 36) || (index >= 45 && index <= 47) ||
         (index >= 50 && index <= 58);
}

bool IsDateFormatCode(std::string_view code) {
  bool quoted = false;
  bool bracketed = false;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (quoted) {
      quoted = c != '"';
    } else if (bracketed) {
      bracketed = c != ']';
    } else if (c == '"') {
      quoted = true;
    } else if (c == '[') {
      bracketed = true;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;  // the next character is shown as it is
    } else {
      switch (c) {
        case 'y': case 'Y': case 'm': case 'M': case 'd': case 'D':
        case 'h': case 'H': case 's': case 'S':
          return true;
        default:
          break;
      }
    }
  }
  return false;
}

WorkbookGlobals ReadWorkbookGlobals(const RandomAccessFile& stream) {
  WorkbookGlobals g;
  RecordReader reader(stream);
  if (!reader.Next()) Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：工作簿数据是空的");
  const std::uint16_t first = reader.type();
  if (first == rec::kBofBiff2 || first == rec::kBofBiff3 || first == rec::kBofBiff4) {
    Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：这是 Excel 2.x-4.0 的旧格式，请在 Excel 中另存为 97-2003 格式");
  }
  if (first != rec::kBof) Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿");
  {
    RecordCursor c = Cursor(reader);
    const std::uint16_t version = c.U16();
    const std::uint16_t type = c.U16();
    if (!c.ok()) Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿");
    if (version == kBiff8Version) {
      g.biff_version = 8;
    } else if (version == kBiff5Version) {
      g.biff_version = 5;
    } else if (version == 0x0200 || version == 0x0300 || version == 0x0400 || version == 0x0007 || version == 0) {
      Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：这是 Excel 2.x-4.0 的旧格式，请在 Excel 中另存为 97-2003 格式");
    } else {
      Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：未知的版本号 " + std::to_string(version));
    }
    if (type != kBofWorkbookGlobals) {
      Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：文件里只有单独的工作表或图表，没有工作簿");
    }
  }

  std::vector<std::string> raw_sheet_names;  // BIFF5: decoded once the code page is known
  std::map<int, std::string> formats;        // custom codes by index, BIFF5 undecoded
  std::vector<std::uint16_t> xf_formats;
  const bool biff8 = g.biff_version == 8;
  std::string text;
  while (reader.Next()) {
    const std::uint16_t type = reader.type();
    if (type == rec::kEof) break;
    RecordCursor c = Cursor(reader);
    switch (type) {
      case rec::kBof:
        SkipSubstream(reader);
        break;
      case rec::kFilePass:
        Raise(err::kWorkbookEncrypted, "工作簿已加密，无法读取");
      case rec::kCodePage:
        g.code_page = c.U16();
        break;
      case rec::kDateMode:
        g.date1904 = c.U16() == 1;
        break;
      case rec::kBoundSheet: {
        SheetEntry sheet;
        sheet.offset = c.U32();
        sheet.visibility = c.U8();
        sheet.type = c.U8();
        text.clear();
        std::string_view raw;
        if (biff8 ? !c.Biff8String(1, text) : !c.Biff5Bytes(1, raw)) break;
        sheet.name = text;
        g.sheets.push_back(std::move(sheet));
        raw_sheet_names.emplace_back(raw);
        break;
      }
      case rec::kFormat: {
        const int index = c.U16();
        text.clear();
        std::string_view raw;
        if (biff8 ? !c.Biff8String(2, text) : !c.Biff5Bytes(1, raw)) break;
        formats[index] = biff8 ? text : std::string(raw);
        break;
      }
      case rec::kXf:
        c.Skip(2);
        xf_formats.push_back(c.U16());
        break;
      case rec::kSst:
        if (biff8) ReadSharedStrings(reader, g.shared_strings);
        break;
      default:
        break;
    }
  }

  if (!biff8) {
    for (std::size_t i = 0; i < g.sheets.size(); ++i) g.sheets[i].name = g.DecodeText(raw_sheet_names[i]);
    for (auto& [index, code] : formats) code = g.DecodeText(code);
  }
  g.date_xf.resize(xf_formats.size());
  for (std::size_t i = 0; i < xf_formats.size(); ++i) {
    const auto custom = formats.find(xf_formats[i]);
    g.date_xf[i] = custom != formats.end() ? IsDateFormatCode(custom->second) : IsBuiltInDateFormat(xf_formats[i]);
  }
  return g;
}

double SheetCells::Number(std::size_t i) const {
  double d;
  std::memcpy(&d, &payloads[i], sizeof d);
  return d;
}

std::string_view SheetCells::Text(std::size_t i, const WorkbookGlobals& globals) const {
  return kinds[i] == CellKind::kSharedText ? globals.shared_strings.Get(static_cast<std::size_t>(payloads[i]))
                                           : own_strings.Get(static_cast<std::size_t>(payloads[i]));
}

namespace {

class SheetBuilder {
 public:
  SheetBuilder(SheetCells& cells, const WorkbookGlobals& globals) : cells_(cells), globals_(globals) {}

  void Reserve(std::size_t n) {
    cells_.keys.reserve(n);
    cells_.kinds.reserve(n);
    cells_.payloads.reserve(n);
    PreferLargePages(cells_.keys.data(), n * sizeof(std::uint32_t));
    PreferLargePages(cells_.kinds.data(), n * sizeof(CellKind));
    PreferLargePages(cells_.payloads.data(), n * sizeof(std::uint64_t));
  }

  void Number(std::uint32_t row, std::uint32_t column, std::uint32_t xf, double value) {
    const bool date = xf < globals_.date_xf.size() && globals_.date_xf[xf];
    if (date && globals_.date1904) value += k1904Offset;
    Add(row, column, date ? CellKind::kDate : CellKind::kNumber, Bits(value));
  }
  void Boolean(std::uint32_t row, std::uint32_t column, bool value) {
    Add(row, column, CellKind::kBoolean, value ? 1 : 0);
  }
  void SharedText(std::uint32_t row, std::uint32_t column, std::uint32_t index) {
    if (index >= globals_.shared_strings.size()) {
      Damaged("单元格引用了不存在的共享字符串 " + std::to_string(index));
    }
    Add(row, column, CellKind::kSharedText, index);
  }
  void OwnText(std::uint32_t row, std::uint32_t column, std::string_view text) {
    cells_.own_strings.Add(text);
    Add(row, column, CellKind::kOwnText, cells_.own_strings.size() - 1);
  }

  // Sorts by position; where a cell was written twice the later one wins.
  void Finish() {
    if (in_order_) return;
    std::vector<std::uint32_t> order(cells_.keys.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return cells_.keys[a] < cells_.keys[b]; });
    SheetCells sorted;
    sorted.keys.reserve(order.size());
    sorted.kinds.reserve(order.size());
    sorted.payloads.reserve(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (i + 1 < order.size() && cells_.keys[order[i + 1]] == cells_.keys[order[i]]) continue;
      sorted.keys.push_back(cells_.keys[order[i]]);
      sorted.kinds.push_back(cells_.kinds[order[i]]);
      sorted.payloads.push_back(cells_.payloads[order[i]]);
    }
    cells_.keys = std::move(sorted.keys);
    cells_.kinds = std::move(sorted.kinds);
    cells_.payloads = std::move(sorted.payloads);
  }

 private:
  void Add(std::uint32_t row, std::uint32_t column, CellKind kind, std::uint64_t payload) {
    // A sheet has 256 columns; a cell beyond them is damage (and would
    // make a table of up to 65,536 fields).
    if (column >= kMaxColumns) Damaged("单元格的列号 " + std::to_string(column + 1) + " 超出 256 列");
    const std::uint32_t key = SheetCells::Key(row, column);
    if (!cells_.keys.empty() && key <= cells_.keys.back()) in_order_ = false;
    cells_.keys.push_back(key);
    cells_.kinds.push_back(kind);
    cells_.payloads.push_back(payload);
  }

  SheetCells& cells_;
  const WorkbookGlobals& globals_;
  bool in_order_ = true;
};

}  // namespace

SheetCells ReadSheetCells(const RandomAccessFile& stream, const SheetEntry& sheet, const WorkbookGlobals& globals) {
  SheetCells cells;
  SheetBuilder builder(cells, globals);
  RecordReader reader(stream);
  reader.Seek(sheet.offset);
  if (!reader.Next() || reader.type() != rec::kBof) Damaged("找不到工作表“" + sheet.name + "”的数据");
  {
    RecordCursor c = Cursor(reader);
    c.Skip(2);
    if (c.U16() != kBofWorksheet) Damaged("“" + sheet.name + "”不是工作表");
  }

  const bool biff8 = globals.biff_version == 8;
  std::string text;
  // A formula with a text result: the text comes in the STRING record
  // after it.
  bool pending_string = false;
  std::uint32_t pending_row = 0;
  std::uint32_t pending_column = 0;

  // A cell record too short for its value is damage, not an empty cell:
  // dropping it would quietly lose the value.
  auto short_cell = [&](std::uint32_t row, std::uint32_t column) {
    Damaged("工作表“" + sheet.name + "”第 " + std::to_string(row + 1) + " 行第 " +
            std::to_string(column + 1) + " 列的单元格记录不完整");
  };

  auto read_label = [&](RecordCursor& c) -> bool {
    text.clear();
    if (biff8) return c.Biff8String(2, text);
    std::string_view raw;
    if (!c.Biff5Bytes(2, raw)) return false;
    text = globals.DecodeText(raw);
    return true;
  };

  while (reader.Next()) {
    const std::uint16_t type = reader.type();
    if (type == rec::kEof) break;
    RecordCursor c = Cursor(reader);
    if (type == rec::kBof) {
      SkipSubstream(reader);
      continue;
    }
    if (type == rec::kString) {
      if (pending_string) {
        if (!read_label(c)) short_cell(pending_row, pending_column);
        builder.OwnText(pending_row, pending_column, text);
      }
      pending_string = false;
      continue;
    }
    switch (type) {
      case rec::kDimensions: {
        // Only a hint for reserving room, bounded by what the stream can
        // hold (a cell takes at least 6 bytes).
        std::uint64_t rows = 0, columns = 0;
        if (biff8) {
          const std::uint32_t first_row = c.U32();
          const std::uint32_t last_row = c.U32();
          rows = last_row > first_row ? last_row - first_row : 0;
        } else {
          const std::uint16_t first_row = c.U16();
          const std::uint16_t last_row = c.U16();
          rows = last_row > first_row ? last_row - first_row : 0;
        }
        const std::uint16_t first_column = c.U16();
        const std::uint16_t last_column = c.U16();
        columns = last_column > first_column ? last_column - first_column : 0;
        if (c.ok()) {
          builder.Reserve(static_cast<std::size_t>(std::min(rows * columns, reader.stream_size() / 6)));
        }
        break;
      }
      case rec::kNumber: {
        const std::uint16_t row = c.U16(), column = c.U16(), xf = c.U16();
        if (c.remaining() < 8) short_cell(row, column);
        builder.Number(row, column, xf,
                       LeDouble(reinterpret_cast<const unsigned char*>(reader.data().data()) + c.pos()));
        break;
      }
      case rec::kRk: {
        const std::uint16_t row = c.U16(), column = c.U16(), xf = c.U16();
        const std::uint32_t rk = c.U32();
        if (!c.ok()) short_cell(row, column);
        builder.Number(row, column, xf, RkValue(rk));
        break;
      }
      case rec::kMulRk: {
        const std::uint16_t row = c.U16(), first_column = c.U16();
        // The count comes from the record's length, not its last-column
        // field.
        const std::size_t count = c.remaining() >= 2 ? (c.remaining() - 2) / 6 : 0;
        for (std::size_t i = 0; i < count && first_column + i <= 0xFFFF; ++i) {
          const std::uint16_t xf = c.U16();
          const std::uint32_t rk = c.U32();
          builder.Number(row, static_cast<std::uint32_t>(first_column + i), xf, RkValue(rk));
        }
        break;
      }
      case rec::kLabelSst: {
        const std::uint16_t row = c.U16(), column = c.U16();
        c.Skip(2);
        const std::uint32_t index = c.U32();
        if (!c.ok()) short_cell(row, column);
        builder.SharedText(row, column, index);
        break;
      }
      case rec::kLabel:
      case rec::kRString: {
        const std::uint16_t row = c.U16(), column = c.U16();
        c.Skip(2);
        if (!c.ok() || !read_label(c)) short_cell(row, column);
        builder.OwnText(row, column, text);
        break;
      }
      case rec::kBoolErr: {
        const std::uint16_t row = c.U16(), column = c.U16();
        c.Skip(2);
        const std::uint8_t value = c.U8();
        const std::uint8_t is_error = c.U8();
        if (!c.ok()) short_cell(row, column);
        if (is_error == 0) builder.Boolean(row, column, value != 0);
        break;
      }
      case rec::kFormula:
      case rec::kFormula3:
      case rec::kFormula4: {
        pending_string = false;
        const std::uint16_t row = c.U16(), column = c.U16(), xf = c.U16();
        if (c.remaining() < 8) short_cell(row, column);
        const auto* result = reinterpret_cast<const unsigned char*>(reader.data().data()) + c.pos();
        if (Le16(result + 6) != 0xFFFF) {
          builder.Number(row, column, xf, LeDouble(result));
          break;
        }
        switch (result[0]) {
          case kFormulaString:
            pending_string = true;
            pending_row = row;
            pending_column = column;
            break;
          case kFormulaBoolean:
            builder.Boolean(row, column, result[2] != 0);
            break;
          case kFormulaEmpty:
            builder.OwnText(row, column, "");
            break;
          case kFormulaError:
          default:
            break;
        }
        break;
      }
      default:
        break;
    }
  }
  builder.Finish();
  return cells;
}

}  // namespace platform::data::xls
