#include "platform/data/xls/workbook.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/codepage/codepage.h"
#include "platform/data/sheet/damage.h"
#include "platform/data/sheet/date_format.h"
#include "platform/data/xls/biff_records.h"
#include "platform/data/xls/byte_order.h"
#include "platform/runtime/error.h"

namespace platform::data::xls {
namespace {

// FORMULA: a cached result that is not a number has 0xFFFF in its top
// two bytes and its kind in the first.
constexpr std::uint8_t kFormulaString = 0;
constexpr std::uint8_t kFormulaBoolean = 1;
constexpr std::uint8_t kFormulaError = 2;
constexpr std::uint8_t kFormulaEmpty = 3;

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

void ReadSharedStrings(std::string_view data, const std::vector<std::uint32_t>& breaks, sheet::StringTable& table) {
  RecordCursor c(data, breaks);
  c.Skip(4);  // the total count
  // The unique count is not trusted beyond reserving room: each string
  // takes at least 3 bytes, and each byte of text at most 2 bytes of UTF-8
  // (a UTF-16 unit at most 3).
  const std::size_t bytes = data.size();
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

[[noreturn]] void RaiseOldFormat() {
  Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：这是 Excel 2.x-4.0 的旧格式，请在 Excel 中另存为 97-2003 格式");
}

// The workbook BOF that opens the stream: returns the BIFF version (5 or 8).
int ReadWorkbookBof(RecordReader& reader) {
  if (!reader.Next()) Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：工作簿数据是空的");
  const std::uint16_t first = reader.type();
  if (first == rec::kBofBiff2 || first == rec::kBofBiff3 || first == rec::kBofBiff4) RaiseOldFormat();
  if (first != rec::kBof) Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿");
  RecordCursor c = Cursor(reader);
  const std::uint16_t version = c.U16();
  const std::uint16_t type = c.U16();
  if (!c.ok()) Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿");
  int biff_version = 8;
  if (version == kBiff5Version) {
    biff_version = 5;
  } else if (version == 0x0200 || version == 0x0300 || version == 0x0400 || version == 0x0007 || version == 0) {
    RaiseOldFormat();
  } else if (version != kBiff8Version) {
    Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：未知的版本号 " + std::to_string(version));
  }
  if (type != kBofWorkbookGlobals) {
    Raise(err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：文件里只有单独的工作表或图表，没有工作簿");
  }
  return biff_version;
}

// The records of the globals substream after its BOF, one function each.
class GlobalsReader {
 public:
  GlobalsReader(const RandomAccessFile& stream, StringsRead strings) : reader_(stream), strings_read_(strings) {}

  WorkbookGlobals Read() {
    g_.biff_version = ReadWorkbookBof(reader_);
    biff8_ = g_.biff_version == 8;
    while (reader_.Next() && reader_.type() != rec::kEof) {
      RecordCursor c = Cursor(reader_);
      OnRecord(reader_.type(), c);
    }
    Finish();
    return std::move(g_);
  }

 private:
  void OnRecord(std::uint16_t type, RecordCursor& c) {
    switch (type) {
      case rec::kBof: SkipSubstream(reader_); break;
      case rec::kFilePass: Raise(err::kWorkbookEncrypted, "工作簿已加密，无法读取");
      case rec::kCodePage: g_.code_page = c.U16(); break;
      case rec::kDateMode: g_.date1904 = c.U16() == 1; break;
      case rec::kBoundSheet: OnBoundSheet(c); break;
      case rec::kFormat: OnFormat(c); break;
      case rec::kXf: c.Skip(2); xf_formats_.push_back(c.U16()); break;
      case rec::kSst: if (biff8_) OnSst(); break;
      default: break;
    }
  }

  void OnSst() {
    if (strings_read_ == StringsRead::kLater) {
      // A big table is moved, not copied: it is most of the memory a
      // workbook's globals take.
      std::vector<std::uint32_t> breaks = reader_.breaks();
      g_.raw_shared_strings.push_back({reader_.TakeData(), std::move(breaks)});
    } else {
      ReadSharedStrings(reader_.data(), reader_.breaks(), *strings_);
    }
  }

  void OnBoundSheet(RecordCursor& c) {
    SheetEntry sheet;
    sheet.offset = c.U32();
    sheet.visibility = c.U8();
    sheet.type = c.U8();
    text_.clear();
    std::string_view raw;
    if (biff8_ ? !c.Biff8String(1, text_) : !c.Biff5Bytes(1, raw)) return;
    sheet.name = text_;
    g_.sheets.push_back(std::move(sheet));
    raw_sheet_names_.emplace_back(raw);
  }

  void OnFormat(RecordCursor& c) {
    const int index = c.U16();
    text_.clear();
    std::string_view raw;
    if (biff8_ ? !c.Biff8String(2, text_) : !c.Biff5Bytes(1, raw)) return;
    formats_[index] = biff8_ ? text_ : std::string(raw);
  }

  // BIFF5 text is decoded once the code page is known; then each cell
  // format is judged by its number format.
  void Finish() {
    if (!biff8_) {
      for (std::size_t i = 0; i < g_.sheets.size(); ++i) g_.sheets[i].name = g_.DecodeText(raw_sheet_names_[i]);
      for (auto& [index, code] : formats_) code = g_.DecodeText(code);
    }
    g_.date_xf.resize(xf_formats_.size());
    for (std::size_t i = 0; i < xf_formats_.size(); ++i) {
      const auto custom = formats_.find(xf_formats_[i]);
      g_.date_xf[i] = custom != formats_.end() ? sheet::IsDateFormatCode(custom->second)
                                               : sheet::IsBuiltInDateFormat(xf_formats_[i]);
    }
    g_.shared_strings = std::move(strings_);
  }

  RecordReader reader_;
  StringsRead strings_read_;
  WorkbookGlobals g_;
  bool biff8_ = true;
  std::shared_ptr<sheet::StringTable> strings_ = std::make_shared<sheet::StringTable>(sheet::StringTable::MeasureWidths{});
  std::vector<std::string> raw_sheet_names_;  // BIFF5: undecoded
  std::map<int, std::string> formats_;        // custom codes by index, BIFF5 undecoded
  std::vector<std::uint16_t> xf_formats_;
  std::string text_;
};

// The records of one worksheet, one at each Next, decoded into cells for
// the sheet layer, one function for each kind of cell record.
class BiffSheetScan : public sheet::SheetScan {
 public:
  BiffSheetScan(const RandomAccessFile& stream, const SheetEntry& sheet, const WorkbookGlobals& globals)
      : reader_(stream), sheet_(sheet), globals_(globals), biff8_(globals.biff_version == 8) {
    OpenWorksheet();
  }

  bool Next(sheet::CellSink& sink) override {
    // Past the sheet's EOF lie the next sheet's records.
    if (ended_ || !reader_.Next() || reader_.type() == rec::kEof) {
      ended_ = true;
      return false;
    }
    sink_ = &sink;
    RecordCursor c = Cursor(reader_);
    OnRecord(reader_.type(), c);
    return true;
  }

 private:
  void OpenWorksheet() {
    reader_.Seek(sheet_.offset);
    if (!reader_.Next() || reader_.type() != rec::kBof) sheet::RaiseDamaged("找不到工作表“" + sheet_.name + "”的数据");
    RecordCursor c = Cursor(reader_);
    c.Skip(2);
    if (c.U16() != kBofWorksheet) sheet::RaiseDamaged("“" + sheet_.name + "”不是工作表");
  }

  void OnRecord(std::uint16_t type, RecordCursor& c) {
    switch (type) {
      case rec::kBof: SkipSubstream(reader_); break;
      case rec::kString: OnString(c); break;
      case rec::kDimensions: OnDimensions(c); break;
      case rec::kNumber: OnNumber(c); break;
      case rec::kRk: OnRk(c); break;
      case rec::kMulRk: OnMulRk(c); break;
      case rec::kLabelSst: OnLabelSst(c); break;
      case rec::kLabel: case rec::kRString: OnLabel(c); break;
      case rec::kBoolErr: OnBoolErr(c); break;
      case rec::kFormula: case rec::kFormula3: case rec::kFormula4: OnFormula(c); break;
      default: break;
    }
  }

  // A cell record too short for its value is damage, not an empty cell:
  // dropping it would quietly lose the value.
  [[noreturn]] void ShortCell(std::uint32_t row, std::uint32_t column) const {
    sheet::RaiseDamaged("工作表“" + sheet_.name + "”第 " + std::to_string(row + 1) + " 行第 " +
                        std::to_string(column + 1) + " 列的单元格记录不完整");
  }

  void AddNumber(std::uint32_t row, std::uint32_t column, std::uint32_t xf, double value) {
    if (xf < globals_.date_xf.size() && globals_.date_xf[xf]) {
      sink_->Date(row, column, globals_.date1904 ? value + sheet::k1904DateOffset : value);
    } else {
      sink_->Number(row, column, value);
    }
  }

  // A LABEL's or STRING's text into text_.
  bool ReadLabel(RecordCursor& c) {
    text_.clear();
    if (biff8_) return c.Biff8String(2, text_);
    std::string_view raw;
    if (!c.Biff5Bytes(2, raw)) return false;
    text_ = globals_.DecodeText(raw);
    return true;
  }

  // Only a hint for reserving room, bounded by what the stream can hold
  // (a cell takes at least 6 bytes).
  void OnDimensions(RecordCursor& c) {
    const std::uint32_t first_row = biff8_ ? c.U32() : c.U16();
    const std::uint32_t last_row = biff8_ ? c.U32() : c.U16();
    const std::uint16_t first_column = c.U16();
    const std::uint16_t last_column = c.U16();
    const std::uint64_t rows = last_row > first_row ? last_row - first_row : 0;
    const std::uint64_t columns = last_column > first_column ? last_column - first_column : 0;
    if (c.ok()) sink_->Reserve(static_cast<std::size_t>(std::min(rows * columns, reader_.stream_size() / 6)));
  }

  void OnNumber(RecordCursor& c) {
    const std::uint16_t row = c.U16(), column = c.U16(), xf = c.U16();
    const unsigned char* value = c.Bytes(8);
    if (value == nullptr) ShortCell(row, column);
    AddNumber(row, column, xf, LeDouble(value));
  }

  void OnRk(RecordCursor& c) {
    const std::uint16_t row = c.U16(), column = c.U16(), xf = c.U16();
    const std::uint32_t rk = c.U32();
    if (!c.ok()) ShortCell(row, column);
    AddNumber(row, column, xf, RkValue(rk));
  }

  void OnMulRk(RecordCursor& c) {
    const std::uint16_t row = c.U16(), first_column = c.U16();
    // The count comes from the record's length, not its last-column field.
    const std::size_t count = c.remaining() >= 2 ? (c.remaining() - 2) / 6 : 0;
    for (std::size_t i = 0; i < count && first_column + i <= 0xFFFF; ++i) {
      const std::uint16_t xf = c.U16();
      const std::uint32_t rk = c.U32();
      AddNumber(row, static_cast<std::uint32_t>(first_column + i), xf, RkValue(rk));
    }
  }

  void OnLabelSst(RecordCursor& c) {
    const std::uint16_t row = c.U16(), column = c.U16();
    c.Skip(2);
    const std::uint32_t index = c.U32();
    if (!c.ok()) ShortCell(row, column);
    sink_->SharedText(row, column, index);
  }

  void OnLabel(RecordCursor& c) {
    const std::uint16_t row = c.U16(), column = c.U16();
    c.Skip(2);
    if (!c.ok() || !ReadLabel(c)) ShortCell(row, column);
    sink_->Text(row, column, text_);
  }

  void OnBoolErr(RecordCursor& c) {
    const std::uint16_t row = c.U16(), column = c.U16();
    c.Skip(2);
    const std::uint8_t value = c.U8();
    const std::uint8_t is_error = c.U8();
    if (!c.ok()) ShortCell(row, column);
    if (is_error == 0) sink_->Boolean(row, column, value != 0);
  }

  void OnFormula(RecordCursor& c) {
    pending_string_ = false;
    const std::uint16_t row = c.U16(), column = c.U16(), xf = c.U16();
    const unsigned char* result = c.Bytes(8);
    if (result == nullptr) ShortCell(row, column);
    if (Le16(result + 6) != 0xFFFF) {
      AddNumber(row, column, xf, LeDouble(result));
      return;
    }
    switch (result[0]) {
      case kFormulaString:  // the text comes in the STRING record after it
        pending_string_ = true;
        pending_row_ = row;
        pending_column_ = column;
        break;
      case kFormulaBoolean: sink_->Boolean(row, column, result[2] != 0); break;
      case kFormulaEmpty: sink_->Text(row, column, ""); break;
      case kFormulaError:
      default: break;
    }
  }

  void OnString(RecordCursor& c) {
    if (pending_string_) {
      if (!ReadLabel(c)) ShortCell(pending_row_, pending_column_);
      sink_->Text(pending_row_, pending_column_, text_);
    }
    pending_string_ = false;
  }

  RecordReader reader_;
  const SheetEntry& sheet_;
  const WorkbookGlobals& globals_;
  const bool biff8_;
  bool ended_ = false;
  sheet::CellSink* sink_ = nullptr;  // of the current Next
  std::string text_;
  // A formula with a text result waiting for its STRING record.
  bool pending_string_ = false;
  std::uint32_t pending_row_ = 0;
  std::uint32_t pending_column_ = 0;
};

}  // namespace

std::string WorkbookGlobals::DecodeText(std::string_view bytes) const {
  if (code_page != 0) return codepage::ToUtf8(bytes, code_page);
  // No CODEPAGE record: each byte is the Latin-1 character of its value,
  // so no byte is lost.
  std::string out;
  codepage::AppendLatin1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
  return out;
}

WorkbookGlobals ReadWorkbookGlobals(const RandomAccessFile& stream, StringsRead strings) {
  return GlobalsReader(stream, strings).Read();
}

std::shared_ptr<const sheet::StringTable> DecodeSharedStrings(const std::vector<RawRecord>& records) {
  auto table = std::make_shared<sheet::StringTable>(sheet::StringTable::MeasureWidths{});
  for (const RawRecord& record : records) ReadSharedStrings(record.data, record.breaks, *table);
  return table;
}

std::unique_ptr<sheet::SheetScan> ScanSheetCells(const RandomAccessFile& stream, const SheetEntry& sheet,
                                                const WorkbookGlobals& globals) {
  return std::make_unique<BiffSheetScan>(stream, sheet, globals);
}

sheet::SheetCells ReadSheetCells(const RandomAccessFile& stream, const SheetEntry& sheet,
                                 const WorkbookGlobals& globals) {
  BiffSheetScan scan(stream, sheet, globals);
  return sheet::ReadAllCells(scan, globals.shared_strings, kBiffLimits);
}

}  // namespace platform::data::xls
