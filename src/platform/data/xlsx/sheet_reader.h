#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <memory>

#include "platform/data/sheet/cell_scan.h"
#include "platform/data/zip/zip_archive.h"

// One worksheet part streamed row by row: its cells are handed to a sink
// as they are scanned, so memory does not grow with the sheet's XML.
namespace platform::data::xlsx {

// A cell holds at most 32,767 characters; a text far beyond that (a
// damaged or hostile file) is refused before it fills the memory.
inline constexpr std::size_t kMaxTextBytes = std::size_t{16} << 20;

// Receives the cells of a sheet in document order. Rows and columns count
// from 0. Empty and error cells are not handed over. A shared-string
// index is below the count given in the SheetContext.
using CellSink = sheet::CellSink;

// A shared-string count not known yet (the strings are still being
// read): the scan then hands every index over, and whoever holds the cells
// checks them later (see RaiseMissingSharedCell).
inline constexpr std::size_t kSharedStringsNotYetRead = SIZE_MAX;

struct SheetContext {
  std::string name;  // the sheet's name, for messages
  bool date1904 = false;
  std::vector<bool> date_styles;  // per cell style: shows a date
  std::size_t shared_string_count = 0;
  std::uint64_t part_size = 0;  // inflated, as the archive says: bounds the cells the <dimension> may promise
};

// kWorkbookDamaged for the cell of the named sheet whose shared-string
// index, as written, names no string.
[[noreturn]] void RaiseMissingSharedCell(const std::string& sheet, std::uint32_t row, std::uint32_t column,
                                         std::string_view written);

// Reads the cells of the worksheet part. Rows and cells may skip
// positions; a cell without a reference takes the column after the
// previous cell of its row, a row without a number the row after the
// previous row. Numbers are read by the cell's type: n (number, a date
// when its style shows one), s (shared string), inlineStr, str (a
// formula's text), b (boolean), e (error: empty), d (ISO 8601 date);
// formulas by their cached value. A d cell before 1899-12-31, which no
// serial can hold, is handed over as its text. Raises kWorkbookDamaged, naming the
// sheet and the cell, for a value that does not fit its type, a reference
// outside the sheet's 1,048,576 x 16,384 cells, a shared string that does
// not exist, a text over kMaxTextBytes, or a part that is not well-formed.
void ReadSheet(const zip::ZipArchive& zip, const std::string& part, const SheetContext& context,
               CellSink& sink);

// The same cells one element at each Next: the part is inflated as the
// scan goes, nothing of it held. The zip must outlive the scan. Raises as
// ReadSheet does (a missing part when it is made).
std::unique_ptr<sheet::SheetScan> ScanSheet(const zip::ZipArchive& zip, const std::string& part,
                                            SheetContext context);

// "B12" as row 11, column 1; false when it is no cell reference.
bool ParseCellReference(std::string_view reference, std::uint32_t& row, std::uint32_t& column);
// The cell's name ("B12") from its row and column.
std::string CellName(std::uint32_t row, std::uint32_t column);
// An ISO 8601 date, date and time, or time ("2023-03-15T12:30:00",
// "2023-03-15", "12:30:00", a time zone ignored) as a serial of the 1900
// date system (1900-03-01 is 61, 1900-02-28 is 59, 1899-12-31 is 0;
// earlier dates are negative); false when the text is no such date.
bool ParseIsoDate(std::string_view text, double& serial);

}  // namespace platform::data::xlsx
