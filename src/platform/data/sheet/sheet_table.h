#pragma once

#include <cstdint>
#include <vector>

#include "platform/data/provider.h"
#include "platform/data/sheet/sheet_cells.h"

namespace platform::data::sheet {

// One worksheet read as a table: its used range by content (from the first
// row and column holding a cell that is not empty text to the last), the
// first row of it naming the fields, every further row a data row (empty
// rows inside the range included). An empty header cell names its field
// "F" + the column's number within the table. A field's DefinedSize is the
// widest text form of its data values in code page 936 bytes, at least 1.
// ReadValue's text views the cells' strings (valid while the table lives).
class SheetTable : public RowSource {
 public:
  explicit SheetTable(SheetCells cells);

  const std::vector<FieldInfo>& Fields() const override { return fields_; }
  std::int64_t RowCount() const override { return row_count_; }
  void ReadValue(std::int64_t row, int field, Variant& out) const override;
  // The row's cells in one sweep, each put at its field.
  void ReadRow(std::int64_t row, std::span<Variant> out) const override;

 private:
  void IndexRows();
  // Index of the cell at (table row, field), or -1.
  std::int64_t Find(std::int64_t row, int field) const;
  void Fill(std::size_t cell, Variant& out) const;

  SheetCells cells_;
  std::vector<FieldInfo> fields_;
  std::uint32_t first_data_row_ = 0;
  std::uint32_t first_column_ = 0;
  std::int64_t row_count_ = 0;
  std::vector<std::uint32_t> row_begin_;  // row_count_ + 1 cell indexes
  // Rows are read field after field: the cell after the last one found is
  // the one likely asked for next.
  mutable std::size_t next_cell_ = 0;
};

}  // namespace platform::data::sheet
