#include "platform/data/xls/sheet_table.h"

#include <algorithm>

#include "platform/codepage/codepage.h"

namespace platform::data::xls {

void SheetTable::Fill(std::size_t cell, Variant& out) const {
  switch (cells_.kinds[cell]) {
    case CellKind::kNumber:
      out.SetNumber(cells_.Number(cell));
      return;
    case CellKind::kDate:
      out.SetDate(cells_.Number(cell));
      return;
    case CellKind::kBoolean:
      out.SetBoolean(cells_.payloads[cell] != 0);
      return;
    case CellKind::kSharedText:
    case CellKind::kOwnText:
      out.SetTextView(cells_.Text(cell, *globals_));
      return;
  }
}

SheetTable::SheetTable(std::shared_ptr<const WorkbookGlobals> globals, SheetCells cells)
    : globals_(std::move(globals)), cells_(std::move(cells)) {
  const std::size_t n = cells_.keys.size();
  // One pass finds the used range and, for every sheet column, the widest
  // text form below the header row. A cell holds something unless it is
  // empty text; the first such cell's row is the header row. Shared
  // strings repeat down a column, so their widths are worked out once.
  std::vector<std::int32_t> shared_width(globals_->shared_strings.size(), -1);
  std::vector<std::size_t> column_width;
  std::uint32_t min_row = UINT32_MAX, max_row = 0, min_column = UINT32_MAX, max_column = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t row = SheetCells::RowOf(cells_.keys[i]);
    const std::uint32_t column = SheetCells::ColumnOf(cells_.keys[i]);
    std::size_t width;
    switch (cells_.kinds[i]) {
      case CellKind::kSharedText: {
        std::int32_t& w = shared_width[static_cast<std::size_t>(cells_.payloads[i])];
        if (w < 0) {
          w = static_cast<std::int32_t>(
              std::min<std::size_t>(codepage::Cp936Length(cells_.Text(i, *globals_)), INT32_MAX));
        }
        width = static_cast<std::size_t>(w);
        break;
      }
      case CellKind::kOwnText:
        width = codepage::Cp936Length(cells_.Text(i, *globals_));
        break;
      default:  // numbers, dates and booleans print in ASCII; measured below the header only
        width = SIZE_MAX;
        break;
    }
    if (width == 0) continue;  // empty text
    if (min_row == UINT32_MAX) min_row = row;
    max_row = row;
    min_column = std::min(min_column, column);
    max_column = std::max(max_column, column);
    if (row == min_row) continue;
    if (width == SIZE_MAX) {
      switch (cells_.kinds[i]) {
        case CellKind::kNumber:
          width = NumberTextLength(cells_.Number(i));
          break;
        case CellKind::kDate:
          width = DateTextLength(cells_.Number(i));
          break;
        default:
          width = cells_.payloads[i] != 0 ? 4 : 5;  // "True", "False"
          break;
      }
    }
    if (column >= column_width.size()) column_width.resize(column + 1);
    column_width[column] = std::max(column_width[column], width);
  }
  if (min_row == UINT32_MAX) {
    row_begin_.push_back(0);
    return;
  }
  first_data_row_ = min_row + 1;
  first_column_ = min_column;
  row_count_ = max_row - min_row;

  const std::uint32_t width = max_column - min_column + 1;
  fields_.resize(width);
  column_width.resize(std::max<std::size_t>(column_width.size(), max_column + 1));
  for (std::uint32_t f = 0; f < width; ++f) {
    fields_[f].defined_size = static_cast<std::int32_t>(
        std::clamp<std::size_t>(column_width[min_column + f], 1, INT32_MAX));
  }
  std::vector<bool> named(width);
  Variant value;
  std::size_t i = std::lower_bound(cells_.keys.begin(), cells_.keys.end(), SheetCells::Key(min_row, 0)) -
                  cells_.keys.begin();
  for (; i < n && SheetCells::RowOf(cells_.keys[i]) == min_row; ++i) {
    const std::uint32_t column = SheetCells::ColumnOf(cells_.keys[i]);
    if (column < min_column || column > max_column) continue;
    Fill(i, value);
    if (value.kind() == Variant::Kind::kText && value.text().empty()) continue;
    fields_[column - min_column].name = value.ToText();
    named[column - min_column] = true;
  }
  for (std::uint32_t f = 0; f < width; ++f) {
    if (!named[f]) fields_[f].name = "F" + std::to_string(f + 1);
  }

  row_begin_.resize(static_cast<std::size_t>(row_count_) + 1);
  std::size_t row_index = 0;
  for (; i <= n; ++i) {
    const std::uint32_t row = i < n ? SheetCells::RowOf(cells_.keys[i]) : max_row + 1;
    while (row_index <= static_cast<std::size_t>(row_count_) && first_data_row_ + row_index <= row) {
      row_begin_[row_index++] = static_cast<std::uint32_t>(i);
    }
    if (i == n || row > max_row) break;
  }
  while (row_index <= static_cast<std::size_t>(row_count_)) row_begin_[row_index++] = static_cast<std::uint32_t>(n);
  next_cell_ = row_begin_[0];
}

std::int64_t SheetTable::Find(std::int64_t row, int field) const {
  const std::size_t begin = row_begin_[static_cast<std::size_t>(row)];
  const std::size_t end = row_begin_[static_cast<std::size_t>(row) + 1];
  const std::uint32_t key = SheetCells::Key(first_data_row_ + static_cast<std::uint32_t>(row),
                                            first_column_ + static_cast<std::uint32_t>(field));
  std::size_t cell = next_cell_;
  if (cell < begin || cell >= end || cells_.keys[cell] != key) {
    cell = static_cast<std::size_t>(
        std::lower_bound(cells_.keys.begin() + static_cast<std::ptrdiff_t>(begin),
                         cells_.keys.begin() + static_cast<std::ptrdiff_t>(end), key) -
        cells_.keys.begin());
    if (cell == end || cells_.keys[cell] != key) return -1;
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

}  // namespace platform::data::xls
