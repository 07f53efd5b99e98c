#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/data/provider.h"
#include "platform/data/sheet/sheet_layout.h"

namespace platform::data::sheet {

class WorkbookReader;

// The held cells of a sheet may take this much before it is streamed
// instead: sheets up to about 3 M cells (the big benchmark's 2 M among
// them) are then read once, as reading twice costs a second decode.
inline constexpr std::size_t kHeldCellsBudget = std::size_t{32} << 20;

// Worksheets()[worksheet] of the reader as a table, by the rules of
// SheetTable. A first pass holds the cells in a SheetCellsBuilder while
// they take at most held_budget bytes (SheetCellsBuilder::HeldBytes): a
// sheet that fits is served from them by a SheetTable, read once. Beyond
// the budget the cells held so far go to a LayoutSink, are dropped, and
// the pass goes on learning only the table's layout; the table then reads
// the cells a second time, row by row as the rows are asked for
// (StreamedSheetTable), so that memory does not grow with the sheet.
// Cells out of order are held whatever they take (they must be sorted):
// those found after the hand-over are read a second time into a
// SheetTable. Raises what the reader raises (1103 for damage).
std::unique_ptr<RowSource> OpenSheetTable(std::shared_ptr<const WorkbookReader> reader, std::size_t worksheet,
                                          std::size_t held_budget = kHeldCellsBudget);

// A table of a sheet whose layout a first pass learnt; its rows are read
// from the sheet a second time, on a thread of its own a few batches of
// rows ahead of the rows asked for, so that memory stays bounded. Rows
// are meant to be read in order: a row before the batch being read is
// found by scanning the sheet again from its start. When the last row is
// read, the scan has gone on to the sheet's end and raises 1103 if it did
// not see the very cells the first pass saw (the workbook changed in
// between), so that no table is finished from a sheet read two ways. A
// fault stays: every later read raises it again. ReadValue's text views
// hold while the same row is read.
class StreamedSheetTable : public RowSource {
 public:
  StreamedSheetTable(std::shared_ptr<const WorkbookReader> reader, std::size_t worksheet, const SheetLayout& layout,
                     const CellFingerprint& first_pass);
  ~StreamedSheetTable() override;
  StreamedSheetTable(const StreamedSheetTable&) = delete;
  StreamedSheetTable& operator=(const StreamedSheetTable&) = delete;

  const std::vector<FieldInfo>& Fields() const override { return fields_; }
  std::int64_t RowCount() const override { return row_count_; }
  void ReadValue(std::int64_t row, int field, Variant& out) const override;

 private:
  class Cursor;
  class RowsAhead;

  std::vector<FieldInfo> fields_;
  std::int64_t row_count_ = 0;
  std::unique_ptr<RowsAhead> ahead_;  // the second pass, moved by ReadValue
};

}  // namespace platform::data::sheet
