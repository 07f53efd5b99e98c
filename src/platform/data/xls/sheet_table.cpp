#include "platform/data/xls/sheet_table.h"

#include <algorithm>

#include "platform/codepage/codepage.h"

namespace platform::data::xls {

bool SheetTable::Counts(std::size_t cell) const {
  const CellKind kind = cells_.kinds[cell];
  return (kind != CellKind::kSharedText && kind != CellKind::kOwnText) || !cells_.Text(cell, *globals_).empty();
}

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
      out.SetText(cells_.Text(cell, *globals_));
      return;
  }
}

SheetTable::SheetTable(std::shared_ptr<const WorkbookGlobals> globals, SheetCells cells)
    : globals_(std::move(globals)), cells_(std::move(cells)) {
  const std::size_t n = cells_.keys.size();
  std::uint32_t min_row = UINT32_MAX, max_row = 0, min_column = UINT32_MAX, max_column = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!Counts(i)) continue;
    const std::uint32_t row = SheetCells::RowOf(cells_.keys[i]);
    const std::uint32_t column = SheetCells::ColumnOf(cells_.keys[i]);
    min_row = std::min(min_row, row);
    max_row = std::max(max_row, row);
    min_column = std::min(min_column, column);
    max_column = std::max(max_column, column);
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
  std::vector<bool> named(width);
  Variant value;
  std::string text;
  std::size_t i = std::lower_bound(cells_.keys.begin(), cells_.keys.end(), SheetCells::Key(min_row, 0)) -
                  cells_.keys.begin();
  for (; i < n && SheetCells::RowOf(cells_.keys[i]) == min_row; ++i) {
    const std::uint32_t column = SheetCells::ColumnOf(cells_.keys[i]);
    if (column < min_column || column > max_column || !Counts(i)) continue;
    Fill(i, value);
    fields_[column - min_column].name = value.ToText();
    named[column - min_column] = true;
  }
  for (std::uint32_t f = 0; f < width; ++f) {
    if (!named[f]) fields_[f].name = "F" + std::to_string(f + 1);
    fields_[f].defined_size = 1;
  }

  // Row starts and field widths in one pass over the data rows. Shared
  // strings repeat down a column, so their widths are worked out once.
  std::vector<std::int32_t> shared_width(globals_->shared_strings.size(), -1);
  row_begin_.resize(static_cast<std::size_t>(row_count_) + 1);
  std::size_t row_index = 0;
  for (; i <= n; ++i) {
    const std::uint32_t row = i < n ? SheetCells::RowOf(cells_.keys[i]) : max_row + 1;
    while (row_index <= static_cast<std::size_t>(row_count_) && first_data_row_ + row_index <= row) {
      row_begin_[row_index++] = static_cast<std::uint32_t>(i);
    }
    if (i == n || row > max_row) break;
    const std::uint32_t column = SheetCells::ColumnOf(cells_.keys[i]);
    if (column < min_column || column > max_column) continue;
    std::size_t length;
    switch (cells_.kinds[i]) {
      case CellKind::kSharedText: {
        std::int32_t& w = shared_width[static_cast<std::size_t>(cells_.payloads[i])];
        if (w < 0) w = static_cast<std::int32_t>(codepage::Cp936Length(cells_.Text(i, *globals_)));
        length = static_cast<std::size_t>(w);
        break;
      }
      case CellKind::kOwnText:
        length = codepage::Cp936Length(cells_.Text(i, *globals_));
        break;
      default:  // numbers, dates and booleans print in ASCII
        text.clear();
        Fill(i, value);
        value.AppendText(text);
        length = text.size();
        break;
    }
    std::int32_t& size = fields_[column - min_column].defined_size;
    size = std::max<std::int32_t>(size, static_cast<std::int32_t>(std::min<std::size_t>(length, INT32_MAX)));
  }
  while (row_index <= static_cast<std::size_t>(row_count_)) row_begin_[row_index++] = static_cast<std::uint32_t>(n);
}

std::int64_t SheetTable::Find(std::int64_t row, int field) const {
  const auto begin = cells_.keys.begin() + row_begin_[static_cast<std::size_t>(row)];
  const auto end = cells_.keys.begin() + row_begin_[static_cast<std::size_t>(row) + 1];
  const std::uint32_t key = SheetCells::Key(first_data_row_ + static_cast<std::uint32_t>(row),
                                            first_column_ + static_cast<std::uint32_t>(field));
  const auto it = std::lower_bound(begin, end, key);
  return it != end && *it == key ? it - cells_.keys.begin() : -1;
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
