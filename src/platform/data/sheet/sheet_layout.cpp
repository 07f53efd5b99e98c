#include "platform/data/sheet/sheet_layout.h"

#include <algorithm>
#include <bit>

#include "platform/codepage/codepage.h"
#include "platform/runtime/variant.h"

namespace platform::data::sheet {
namespace {

std::uint64_t Step(std::uint64_t mix, std::uint64_t value) {
  mix = (mix ^ value) * 0x9E3779B97F4A7C15u;
  return mix ^ (mix >> 29);
}

// The text form of a value that is not text, as the table names a field
// with it.
template <typename Set>
std::string TextForm(Set set) {
  Variant v;
  set(v);
  return v.ToText();
}

}  // namespace

std::vector<FieldInfo> FieldsOf(const SheetLayout& layout) {
  if (!layout.has_content) return {};
  const std::uint32_t width = layout.last_column - layout.first_column + 1;
  std::vector<FieldInfo> fields(width);
  for (std::uint32_t f = 0; f < width; ++f) {
    const std::size_t column = layout.first_column + f;
    const std::size_t widest = column < layout.column_width.size() ? layout.column_width[column] : 0;
    fields[f].defined_size = static_cast<std::int32_t>(std::clamp<std::size_t>(widest, 1, INT32_MAX));
  }
  std::vector<bool> named(width);
  for (const auto& [column, text] : layout.header) {
    if (column < layout.first_column || column > layout.last_column) continue;
    fields[column - layout.first_column].name = text;
    named[column - layout.first_column] = true;
  }
  for (std::uint32_t f = 0; f < width; ++f) {
    if (!named[f]) fields[f].name = "F" + std::to_string(f + 1);
  }
  return fields;
}

std::int64_t DataRowCount(const SheetLayout& layout) {
  return layout.has_content ? std::int64_t{layout.last_row} - layout.header_row : 0;
}

void CellFingerprint::Add(std::uint32_t row, std::uint32_t column, CellKind kind, std::uint64_t payload) {
  ++count_;
  mix_ = Step(mix_, std::uint64_t{row} << 32 | std::uint64_t{column} << 8 | static_cast<std::uint8_t>(kind));
  mix_ = Step(mix_, payload);
}

void CellFingerprint::AddText(std::uint32_t row, std::uint32_t column, std::string_view text) {
  std::uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3u;
  Add(row, column, CellKind::kOwnText, hash ^ text.size());
}

LayoutSink::LayoutSink(const StringTable& shared_strings, SheetLimits limits)
    : shared_(shared_strings),
      limits_{std::min(limits.rows, kMaxRows), std::min(limits.columns, kMaxColumns)} {}

bool LayoutSink::Take(std::uint32_t row, std::uint32_t column) {
  if (!in_order_) return false;
  if (row >= limits_.rows || column >= limits_.columns) RaiseBeyondLimits(row, column, limits_);
  if (any_ && (row < last_row_ || (row == last_row_ && column <= last_column_))) {
    in_order_ = false;
    return false;
  }
  any_ = true;
  last_row_ = row;
  last_column_ = column;
  return true;
}

bool LayoutSink::InHeader(std::uint32_t row, std::uint32_t column) {
  if (!layout_.has_content) {
    layout_.has_content = true;
    layout_.header_row = row;
  }
  layout_.last_row = row;
  layout_.first_column = std::min(layout_.first_column, column);
  layout_.last_column = std::max(layout_.last_column, column);
  return row == layout_.header_row;
}

void LayoutSink::Widen(std::uint32_t column, std::size_t width) {
  if (column >= layout_.column_width.size()) layout_.column_width.resize(column + 1);
  layout_.column_width[column] = std::max(layout_.column_width[column], width);
}

// A text cell of that width (0: empty text, which is no content).
void LayoutSink::Measure(std::uint32_t row, std::uint32_t column, std::size_t width, std::string_view text) {
  if (width == 0) return;
  if (InHeader(row, column)) {
    layout_.header.emplace_back(column, std::string(text));
  } else {
    Widen(column, width);
  }
}

void LayoutSink::Number(std::uint32_t row, std::uint32_t column, double value) {
  if (!Take(row, column)) return;
  if (fingerprinting_) fingerprint_.Add(row, column, CellKind::kNumber, std::bit_cast<std::uint64_t>(value));
  if (InHeader(row, column)) {
    layout_.header.emplace_back(column, TextForm([&](Variant& v) { v.SetNumber(value); }));
  } else {
    Widen(column, NumberTextLength(value));
  }
}

void LayoutSink::Date(std::uint32_t row, std::uint32_t column, double serial) {
  if (!Take(row, column)) return;
  if (fingerprinting_) fingerprint_.Add(row, column, CellKind::kDate, std::bit_cast<std::uint64_t>(serial));
  if (InHeader(row, column)) {
    layout_.header.emplace_back(column, TextForm([&](Variant& v) { v.SetDate(serial); }));
  } else {
    Widen(column, DateTextLength(serial));
  }
}

void LayoutSink::Boolean(std::uint32_t row, std::uint32_t column, bool value) {
  if (!Take(row, column)) return;
  if (fingerprinting_) fingerprint_.Add(row, column, CellKind::kBoolean, value ? 1 : 0);
  if (InHeader(row, column)) {
    layout_.header.emplace_back(column, value ? "True" : "False");
  } else {
    Widen(column, value ? 4 : 5);
  }
}

void LayoutSink::RefuseShared(std::uint32_t row, std::uint32_t column, std::uint64_t index) const {
  if (missing_) missing_(row, column, index);
  RaiseMissingSharedString(index);
}

void LayoutSink::SharedText(std::uint32_t row, std::uint32_t column, std::uint32_t index) {
  CheckShared(row, column, index);
  if (!Take(row, column)) return;
  if (fingerprinting_) fingerprint_.Add(row, column, CellKind::kSharedText, index);
  Measure(row, column, SharedWidth(index), shared_.Get(index));
}

std::size_t LayoutSink::SharedWidth(std::size_t index) const {
  const std::size_t width = shared_.measured() ? shared_.Width(index) : codepage::Cp936Length(shared_.Get(index));
  return std::min<std::size_t>(width, INT32_MAX);
}

std::size_t LayoutSink::HeldWidth(const SheetCells& cells, std::uint32_t row, std::size_t i) const {
  switch (cells.Kind(i)) {
    case CellKind::kNumber: return NumberTextLength(cells.Number(i));
    case CellKind::kDate: return DateTextLength(cells.Number(i));
    case CellKind::kBoolean: return cells.Boolean(i) ? 4 : 5;
    case CellKind::kSharedText: {
      const std::size_t index = cells.SharedIndex(i);
      CheckShared(row, cells.Column(i), index);
      return SharedWidth(index);
    }
    case CellKind::kOwnText: return codepage::Cp936Length(cells.Text(i));
  }
  return 0;
}

// As the cell handed over alone would add it.
void LayoutSink::FingerprintHeld(const SheetCells& cells, std::uint32_t row, std::size_t i) {
  const std::uint32_t column = cells.Column(i);
  const CellKind kind = cells.Kind(i);
  switch (kind) {
    case CellKind::kNumber:
    case CellKind::kDate: fingerprint_.Add(row, column, kind, std::bit_cast<std::uint64_t>(cells.Number(i))); return;
    case CellKind::kBoolean: fingerprint_.Add(row, column, kind, cells.Boolean(i) ? 1 : 0); return;
    case CellKind::kSharedText: fingerprint_.Add(row, column, kind, cells.SharedIndex(i)); return;
    case CellKind::kOwnText: fingerprint_.AddText(row, column, cells.Text(i)); return;
  }
}

void LayoutSink::Text(std::uint32_t row, std::uint32_t column, std::string_view text) {
  if (!Take(row, column)) return;
  if (fingerprinting_) fingerprint_.AddText(row, column, text);
  Measure(row, column, codepage::Cp936Length(text), text);
}

void LayoutSink::TakeRows(const SheetCells& cells, std::size_t first_row, std::size_t end_row) {
  std::size_t k = first_row;
  // Up to the header row, and once the cells came out of order, cell by
  // cell.
  while (k < end_row && (!layout_.has_content || !in_order_)) {
    HandOver(cells, k, k + 1, *this);
    ++k;
  }
  if (k == end_row) return;
  const SheetCells::Row first = cells.row(k);
  if (any_ && (first.number < last_row_ || (first.number == last_row_ && cells.Column(first.begin) <= last_column_))) {
    HandOver(cells, k, end_row, *this);  // which ends the learning
    return;
  }
  // Held cells come in order, each position once; below the header row
  // every cell with content is measured.
  std::uint32_t last_column = last_column_;
  for (; k < end_row; ++k) {
    const SheetCells::Row row = cells.row(k);
    if (row.number == layout_.header_row) {  // a part said to start below its own first row
      HandOver(cells, k, k + 1, *this);
      continue;
    }
    if (row.number >= limits_.rows) RaiseBeyondLimits(row.number, cells.Column(row.begin), limits_);
    bool content = false;
    for (std::size_t i = row.begin; i < row.end; ++i) {
      const std::uint32_t column = cells.Column(i);
      if (column >= limits_.columns) RaiseBeyondLimits(row.number, column, limits_);
      last_column = column;
      if (fingerprinting_) FingerprintHeld(cells, row.number, i);
      const std::size_t width = HeldWidth(cells, row.number, i);
      if (width == 0) continue;  // empty text is no content
      content = true;
      layout_.first_column = std::min(layout_.first_column, column);
      layout_.last_column = std::max(layout_.last_column, column);
      Widen(column, width);
    }
    if (content) layout_.last_row = row.number;
    if (row.begin != row.end) {
      any_ = true;
      last_row_ = row.number;
      last_column_ = last_column;
    }
  }
}

void LayoutSink::StartBelowHeader(std::uint32_t header_row) {
  layout_.has_content = true;
  layout_.header_row = header_row;
  layout_.last_row = header_row;
}

SheetLayout JoinBelow(SheetLayout above, const SheetLayout& below) {
  above.last_row = std::max(above.last_row, below.last_row);
  above.first_column = std::min(above.first_column, below.first_column);
  above.last_column = std::max(above.last_column, below.last_column);
  if (above.column_width.size() < below.column_width.size()) above.column_width.resize(below.column_width.size());
  for (std::size_t c = 0; c < below.column_width.size(); ++c) {
    above.column_width[c] = std::max(above.column_width[c], below.column_width[c]);
  }
  return above;
}

std::size_t FirstContentRow(const SheetCells& cells) {
  for (std::size_t k = 0; k < cells.row_count(); ++k) {
    const SheetCells::Row row = cells.row(k);
    for (std::size_t i = row.begin; i < row.end; ++i) {
      const CellKind kind = cells.Kind(i);
      if ((kind != CellKind::kSharedText && kind != CellKind::kOwnText) || !cells.Text(i).empty()) return k;
    }
  }
  return cells.row_count();
}

void HandOver(const SheetCells& cells, CellSink& sink) { HandOver(cells, 0, cells.row_count(), sink); }

void HandOver(const SheetCells& cells, std::size_t first_row, std::size_t end_row, CellSink& sink) {
  for (std::size_t k = first_row; k < end_row; ++k) {
    const SheetCells::Row row = cells.row(k);
    for (std::size_t i = row.begin; i < row.end; ++i) {
      const std::uint32_t column = cells.Column(i);
      switch (cells.Kind(i)) {
        case CellKind::kNumber: sink.Number(row.number, column, cells.Number(i)); break;
        case CellKind::kDate: sink.Date(row.number, column, cells.Number(i)); break;
        case CellKind::kBoolean: sink.Boolean(row.number, column, cells.Boolean(i)); break;
        case CellKind::kSharedText:
          sink.SharedText(row.number, column, static_cast<std::uint32_t>(cells.SharedIndex(i)));
          break;
        case CellKind::kOwnText: sink.Text(row.number, column, cells.Text(i)); break;
      }
    }
  }
}

}  // namespace platform::data::sheet
