#include "platform/data/sheet/sheet_table.h"

#include "platform/data/sheet/sheet_layout.h"

namespace platform::data::sheet {

SheetTable::SheetTable(SheetCells cells) : cells_(std::move(cells)) {
  // Sorted cells are in order: the layout is learnt as a reader's first
  // pass learns it.
  LayoutSink sink(cells_.shared_strings(), SheetLimits{});
  HandOver(cells_, sink);
  const SheetLayout& layout = sink.layout();
  fields_ = FieldsOf(layout);
  row_count_ = DataRowCount(layout);
  if (!layout.has_content) {
    row_begin_.push_back(0);
    return;
  }
  first_data_row_ = layout.header_row + 1;
  first_column_ = layout.first_column;
  IndexRows();
}

void SheetTable::IndexRows() {
  // Row r's cells are [row_begin_[r], row_begin_[r + 1]): the cells of the
  // first stored row at or after sheet row first_data_row_ + r begin it.
  row_begin_.resize(static_cast<std::size_t>(row_count_) + 1);
  std::size_t k = 0;
  for (std::size_t r = 0; r < row_begin_.size(); ++r) {
    const std::uint64_t sheet_row = first_data_row_ + r;
    while (k < cells_.row_count() && cells_.row(k).number < sheet_row) ++k;
    row_begin_[r] = k < cells_.row_count() ? cells_.row(k).begin : static_cast<std::uint32_t>(cells_.size());
  }
  next_cell_ = row_begin_[0];
}

void SheetTable::Fill(std::size_t cell, Variant& out) const {
  switch (cells_.Kind(cell)) {
    case CellKind::kNumber:
      out.SetNumber(cells_.Number(cell));
      return;
    case CellKind::kDate:
      out.SetDate(cells_.Number(cell));
      return;
    case CellKind::kBoolean:
      out.SetBoolean(cells_.Boolean(cell));
      return;
    case CellKind::kSharedText:
    case CellKind::kOwnText:
      out.SetTextView(cells_.Text(cell));
      return;
  }
}

std::int64_t SheetTable::Find(std::int64_t row, int field) const {
  const std::size_t begin = row_begin_[static_cast<std::size_t>(row)];
  const std::size_t end = row_begin_[static_cast<std::size_t>(row) + 1];
  const std::uint32_t column = first_column_ + static_cast<std::uint32_t>(field);
  std::size_t cell = next_cell_;
  if (cell < begin || cell >= end || cells_.Column(cell) != column) {
    cell = cells_.LowerBound(begin, end, column);
    if (cell == end || cells_.Column(cell) != column) return -1;
  }
  next_cell_ = cell + 1;
  return static_cast<std::int64_t>(cell);
}

void SheetTable::ReadValue(std::int64_t row, int field, Variant& out) const {
  const std::int64_t cell = Find(row, field);
  if (cell < 0) {
    out.SetNull();
  } else {
    Fill(static_cast<std::size_t>(cell), out);
  }
}

}  // namespace platform::data::sheet
