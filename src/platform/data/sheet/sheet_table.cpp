#include "platform/data/sheet/sheet_table.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "platform/data/sheet/sheet_layout.h"

namespace platform::data::sheet {
namespace {

// Below this many cells a second thread costs more than it saves.
constexpr std::size_t kSplitLayoutCells = std::size_t{1} << 16;

// Sorted cells are in order: the layout is learnt as a reader's first pass
// learns it. A big sheet's rows below the header are measured in two
// halves at once, the lower half on a thread of its own.
SheetLayout LearnLayout(const SheetCells& cells) {
  LayoutSink above(cells.shared_strings(), SheetLimits{});
  above.SkipFingerprint();
  const std::size_t header = FirstContentRow(cells);
  const std::size_t split = std::max(header + 1, cells.row_count() / 2);
  if (cells.size() < kSplitLayoutCells || split >= cells.row_count()) {
    above.TakeRows(cells, 0, cells.row_count());
    return above.TakeLayout();
  }
  LayoutSink below(cells.shared_strings(), SheetLimits{});
  below.SkipFingerprint();
  below.StartBelowHeader(cells.row(header).number);
  std::exception_ptr error;
  std::thread lower([&] {
    try {
      below.TakeRows(cells, split, cells.row_count());
    } catch (...) {
      error = std::current_exception();
    }
  });
  try {
    above.TakeRows(cells, 0, split);
  } catch (...) {
    lower.join();
    throw;
  }
  lower.join();
  if (error) std::rethrow_exception(error);
  return JoinBelow(above.TakeLayout(), below.layout());
}

}  // namespace

SheetTable::SheetTable(SheetCells cells) : cells_(std::move(cells)) {
  const SheetLayout layout = LearnLayout(cells_);
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

void SheetTable::ReadRow(std::int64_t row, std::span<Variant> out) const {
  for (Variant& value : out) value.SetNull();
  const std::size_t end = row_begin_[static_cast<std::size_t>(row) + 1];
  for (std::size_t cell = row_begin_[static_cast<std::size_t>(row)]; cell < end; ++cell) {
    // Cells left of the first field (empty text, which does not count
    // for the used range) wrap around and are passed over too.
    const std::uint32_t field = cells_.Column(cell) - first_column_;
    if (field < out.size()) Fill(cell, out[field]);
  }
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
