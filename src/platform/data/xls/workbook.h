#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem/filesystem.h"

// The workbook's contents as BIFF records describe them: the globals (sheet
// list, shared strings, formats, date system, code page) and, per sheet,
// its cells. Works on the workbook stream alone, so tests feed it records
// built in memory.
namespace platform::data::xls {

// Many strings in one buffer: a workbook's shared strings are stored once
// and cells refer to them by index.
class StringTable {
 public:
  void Add(std::string_view text);
  // Room for count strings of bytes bytes in all, so that adding them
  // never moves what is there (an estimate too large costs address space,
  // not memory: pages never written are never mapped).
  void Reserve(std::size_t bytes, std::size_t count);
  std::size_t size() const { return ends_.size(); }
  std::string_view Get(std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(blob_).substr(begin, ends_[index] - begin);
  }

 private:
  std::string blob_;
  std::vector<std::uint32_t> ends_;
};

enum class SheetVisibility : std::uint8_t { kVisible = 0, kHidden = 1, kVeryHidden = 2 };
inline constexpr std::uint8_t kSheetTypeWorksheet = 0x00;

struct SheetEntry {
  std::string name;           // UTF-8
  std::uint32_t offset = 0;   // of the sheet's BOF in the stream
  std::uint8_t visibility = 0;
  std::uint8_t type = 0;      // 0 worksheet, 1 macro sheet, 2 chart, 6 VB module
};

struct WorkbookGlobals {
  int biff_version = 8;  // 5 (Excel 5/95) or 8 (Excel 97-2003)
  bool date1904 = false;
  int code_page = 0;     // BIFF5 text; 0 when the workbook names none
  std::vector<SheetEntry> sheets;  // in tab order
  StringTable shared_strings;
  std::vector<bool> date_xf;       // per cell format: holds a date or time

  // Text stored in the workbook's code page (BIFF5) as UTF-8.
  std::string DecodeText(std::string_view bytes) const;
};

// Reads the globals substream at the start of the workbook stream.
// Raises kNotAWorkbook for a stream that does not start with a BIFF5/BIFF8
// workbook BOF (with a precise text for Excel 2.x-4.0 files),
// kWorkbookEncrypted for a FILEPASS record, kWorkbookDamaged for a
// truncated record.
WorkbookGlobals ReadWorkbookGlobals(const RandomAccessFile& stream);

// True for the built-in number formats that show dates or times.
bool IsBuiltInDateFormat(int index);
// True when a format code shows a date or time: outside quoted text,
// [...] sections and escaped characters (\x, _x, *x) it holds y, m, d, h
// or s. "[h]:mm" is a time, "0.00\h" and "0 \"days\"" are not.
bool IsDateFormatCode(std::string_view code);

enum class CellKind : std::uint8_t { kNumber, kDate, kBoolean, kSharedText, kOwnText };

// One sheet's cells, sorted by row then column, compactly: 13 bytes a
// cell, text by index. Empty, blank and error cells are not stored.
struct SheetCells {
  std::vector<std::uint32_t> keys;     // row << 16 | column
  std::vector<CellKind> kinds;
  std::vector<std::uint64_t> payloads;  // double bits, 0/1, or a string index
  StringTable own_strings;             // LABEL, RSTRING and formula strings

  static std::uint32_t Key(std::uint32_t row, std::uint32_t column) { return row << 16 | column; }
  static std::uint32_t RowOf(std::uint32_t key) { return key >> 16; }
  static std::uint32_t ColumnOf(std::uint32_t key) { return key & 0xFFFF; }
  double Number(std::size_t i) const;
  std::string_view Text(std::size_t i, const WorkbookGlobals& globals) const;
};

// Reads the cells of the sheet whose BOF is at sheet.offset. Embedded
// substreams (charts inside a worksheet) are skipped whole. Raises
// kWorkbookDamaged when no worksheet BOF is there or a cell refers to a
// shared string that does not exist.
SheetCells ReadSheetCells(const RandomAccessFile& stream, const SheetEntry& sheet,
                          const WorkbookGlobals& globals);

}  // namespace platform::data::xls
