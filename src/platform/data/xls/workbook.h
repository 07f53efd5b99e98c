#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/sheet/cell_scan.h"
#include "platform/data/sheet/sheet_cells.h"
#include "platform/data/sheet/string_table.h"
#include "platform/filesystem/filesystem.h"

// The workbook's contents as BIFF records describe them: the globals (sheet
// list, shared strings, formats, date system, code page) and, per sheet,
// its cells, handed to the sheet layer. Works on the workbook stream
// alone, so tests feed it records built in memory.
namespace platform::data::xls {

enum class SheetVisibility : std::uint8_t { kVisible = 0, kHidden = 1, kVeryHidden = 2 };
inline constexpr std::uint8_t kSheetTypeWorksheet = 0x00;

// A BIFF8 sheet has 65,536 rows and 256 columns.
inline constexpr sheet::SheetLimits kBiffLimits{65536, 256};

struct SheetEntry {
  std::string name;           // UTF-8
  std::uint32_t offset = 0;   // of the sheet's BOF in the stream
  std::uint8_t visibility = 0;
  std::uint8_t type = 0;      // 0 worksheet, 1 macro sheet, 2 chart, 6 VB module
};

// A record as read, its CONTINUE pieces joined (see RecordReader).
struct RawRecord {
  std::string data;
  std::vector<std::uint32_t> breaks;
};

struct WorkbookGlobals {
  int biff_version = 8;  // 5 (Excel 5/95) or 8 (Excel 97-2003)
  bool date1904 = false;
  int code_page = 0;     // BIFF5 text; 0 when the workbook names none
  std::vector<SheetEntry> sheets;  // in tab order
  std::shared_ptr<const sheet::StringTable> shared_strings = std::make_shared<sheet::StringTable>();
  std::vector<bool> date_xf;       // per cell format: holds a date or time
  // Read with StringsRead::kLater: the SST records, for
  // DecodeSharedStrings (shared_strings is then empty).
  std::vector<RawRecord> raw_shared_strings;

  // Text stored in the workbook's code page (BIFF5) as UTF-8.
  std::string DecodeText(std::string_view bytes) const;
};

// Reads the globals substream at the start of the workbook stream.
// Raises kNotAWorkbook for a stream that does not start with a BIFF5/BIFF8
// workbook BOF (with a precise text for Excel 2.x-4.0 files),
// kWorkbookEncrypted for a FILEPASS record, kWorkbookDamaged for a
// truncated record.
// kLater leaves the shared strings undecoded (they take most of the time
// the globals take), for the caller to decode beside other work.
enum class StringsRead { kNow, kLater };
WorkbookGlobals ReadWorkbookGlobals(const RandomAccessFile& stream, StringsRead strings = StringsRead::kNow);

// The shared strings of the SST records, as ReadWorkbookGlobals decodes
// them. Touches nothing else.
std::shared_ptr<const sheet::StringTable> DecodeSharedStrings(const std::vector<RawRecord>& records);

// Reads the cells of the sheet whose BOF is at sheet.offset: numbers by
// their cell format as numbers or dates (1904 serials moved to the 1900
// system), text, booleans, formulas by their cached result. Embedded
// substreams (charts inside a worksheet) are skipped whole. Raises
// kWorkbookDamaged when no worksheet BOF is there, a cell record is too
// short for its value or a cell refers to a shared string that does not
// exist.
sheet::SheetCells ReadSheetCells(const RandomAccessFile& stream, const SheetEntry& sheet,
                                 const WorkbookGlobals& globals);

// The same cells handed over record by record, in the stream's order: a
// scan that holds nothing but the record it reads. The stream, sheet and
// globals must outlive it. Raises as ReadSheetCells does (the missing BOF
// when it is made, the rest as the records come).
std::unique_ptr<sheet::SheetScan> ScanSheetCells(const RandomAccessFile& stream, const SheetEntry& sheet,
                                                const WorkbookGlobals& globals);

}  // namespace platform::data::xls
