#include "platform/data/sheet/sheet_table.h"

#include <algorithm>
#include <string>

#include "platform/codepage/codepage.h"

namespace platform::data::sheet {
namespace {

// Numbers, dates and booleans print in ASCII and never make a cell empty;
// they are measured below the header row only.
constexpr std::size_t kNotText = SIZE_MAX;

// The code page 936 width of a text cell (0: empty text). Shared strings
// repeat down a column, so their widths are worked out once.
std::size_t TextWidth(const SheetCells& cells, std::size_t i, std::vector<std::int32_t>& shared_width) {
  switch (cells.Kind(i)) {
    case CellKind::kSharedText: {
      std::int32_t& w = shared_width[cells.SharedIndex(i)];
      if (w < 0) w = static_cast<std::int32_t>(std::min<std::size_t>(codepage::Cp936Length(cells.Text(i)), INT32_MAX));
      return static_cast<std::size_t>(w);
    }
    case CellKind::kOwnText:
      return codepage::Cp936Length(cells.Text(i));
    default:
      return kNotText;
  }
}

std::size_t ValueWidth(const SheetCells& cells, std::size_t i) {
  switch (cells.Kind(i)) {
    case CellKind::kNumber:
      return NumberTextLength(cells.Number(i));
    case CellKind::kDate:
      return DateTextLength(cells.Number(i));
    default:
      return cells.Boolean(i) ? 4 : 5;  // "True", "False"
  }
}

}  // namespace

SheetTable::SheetTable(SheetCells cells) : cells_(std::move(cells)) {
  UsedRange range;
  std::vector<std::size_t> column_width;
  if (!Measure(range, column_width)) {
    row_begin_.push_back(0);
    return;
  }
  first_data_row_ = range.header_row + 1;
  first_column_ = range.first_column;
  row_count_ = range.last_row - range.header_row;
  NameFields(range, column_width);
  IndexRows(range);
}

bool SheetTable::Measure(UsedRange& range, std::vector<std::size_t>& column_width) const {
  std::vector<std::int32_t> shared_width(cells_.shared_strings().size(), -1);
  bool found = false;
  for (std::size_t k = 0; k < cells_.row_count(); ++k) {
    const SheetCells::Row row = cells_.row(k);
    for (std::size_t i = row.begin; i < row.end; ++i) {
      std::size_t width = TextWidth(cells_, i, shared_width);
      if (width == 0) continue;  // empty text
      if (!found) {
        found = true;
        range.header_row = row.number;
        range.header_index = k;
      }
      const std::uint32_t column = cells_.Column(i);
      range.last_row = row.number;
      range.first_column = std::min(range.first_column, column);
      range.last_column = std::max(range.last_column, column);
      if (row.number == range.header_row) continue;
      if (width == kNotText) width = ValueWidth(cells_, i);
      if (column >= column_width.size()) column_width.resize(column + 1);
      column_width[column] = std::max(column_width[column], width);
    }
  }
  column_width.resize(std::max<std::size_t>(column_width.size(), range.last_column + 1));
  return found;
}

void SheetTable::NameFields(const UsedRange& range, const std::vector<std::size_t>& column_width) {
  const std::uint32_t width = range.last_column - range.first_column + 1;
  fields_.resize(width);
  for (std::uint32_t f = 0; f < width; ++f) {
    fields_[f].defined_size =
        static_cast<std::int32_t>(std::clamp<std::size_t>(column_width[range.first_column + f], 1, INT32_MAX));
  }
  std::vector<bool> named(width);
  Variant value;
  const SheetCells::Row header = cells_.row(range.header_index);
  for (std::size_t i = header.begin; i < header.end; ++i) {
    const std::uint32_t column = cells_.Column(i);
    if (column < range.first_column || column > range.last_column) continue;
    Fill(i, value);
    if (value.kind() == Variant::Kind::kText && value.text().empty()) continue;
    fields_[column - range.first_column].name = value.ToText();
    named[column - range.first_column] = true;
  }
  for (std::uint32_t f = 0; f < width; ++f) {
    if (!named[f]) fields_[f].name = "F" + std::to_string(f + 1);
  }
}

void SheetTable::IndexRows(const UsedRange& range) {
  // Row r's cells are [row_begin_[r], row_begin_[r + 1]): the cells of the
  // first stored row at or after sheet row first_data_row_ + r begin it.
  row_begin_.resize(static_cast<std::size_t>(row_count_) + 1);
  std::size_t k = range.header_index + 1;
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
