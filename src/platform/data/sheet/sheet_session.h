#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/provider.h"
#include "platform/data/sheet/cell_scan.h"
#include "platform/data/sheet/sheet_cells.h"
#include "platform/data/sheet/string_table.h"

// A workbook of any format as a database: what the schema rowset lists and
// which table a select statement reads, the same for every reader.
namespace platform::data::sheet {

// A worksheet as its reader lists it.
struct Worksheet {
  std::string name;  // UTF-8
  bool visible = true;
};

// What a reader of one workbook format hands the session: its worksheets
// and, when one is selected, that worksheet's cells.
class WorkbookReader {
 public:
  virtual ~WorkbookReader() = default;
  // The worksheets in workbook order, read once when the session opens.
  // Chart, macro and dialog sheets are not worksheets and are left out.
  virtual std::vector<Worksheet> Worksheets() const = 0;
  // A pass over the cells of Worksheets()[index] from its start (see the
  // contract in sheet_cells.h), made anew at each call; it may use the
  // reader until it goes. Raises platform::Error (1103 for damage).
  virtual std::unique_ptr<SheetScan> ScanCells(std::size_t index) const = 0;
  // The shared strings the scans' cells refer to (never null). A reader
  // may still be reading them when a first scan starts; this then waits
  // for them (and raises what reading them raised).
  virtual std::shared_ptr<const StringTable> SharedStrings() const = 0;
  // Raises the error for a cell of Worksheets()[worksheet] that refers to
  // a shared string that does not exist, found after the scan handed it
  // over; by default RaiseMissingSharedString's.
  virtual void RaiseMissingSharedString(std::size_t worksheet, std::uint32_t row, std::uint32_t column,
                                        std::uint64_t index) const;
  // The largest sheet of the reader's format.
  virtual SheetLimits Limits() const { return {}; }
};

// A session over the reader's workbook: OpenSchema(adSchemaTables) lists
// the worksheets, visible ones first, then hidden ones, each group in
// workbook order, by TableNameOf; Query("select * from  [name]") reads the
// worksheet whose listed name, without apostrophes, equals name (ASCII
// case ignored): held when its cells fit kHeldCellsBudget, else read
// twice, once to learn the table's fields and once row by row as they are
// read (see OpenSheetTable). Execute raises 1106 (read-only), Query
// 1104 for a name not listed and 1105 for any other statement, OpenSchema
// 1008 for other schemas. The session owns the reader.
std::unique_ptr<Session> OpenSheetSession(std::unique_ptr<WorkbookReader> reader);

// A worksheet's table name as the schema rowset lists it: name + "$",
// in apostrophes when the name holds anything but letters, digits and '_'
// (bytes of non-ASCII characters count as letters).
std::string TableNameOf(std::string_view sheet_name);

}  // namespace platform::data::sheet
