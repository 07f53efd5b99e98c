#include "sheet_test_cells.h"

#include <gtest/gtest.h>

namespace sheet_test {

using platform::data::sheet::SheetCellsBuilder;
using platform::data::sheet::StringTable;

Cell N(std::uint32_t row, std::uint32_t column, double value) { return {row, column, 'n', value, ""}; }
Cell D(std::uint32_t row, std::uint32_t column, double serial) { return {row, column, 'd', serial, ""}; }
Cell B(std::uint32_t row, std::uint32_t column, bool value) { return {row, column, 'b', value ? 1.0 : 0.0, ""}; }
Cell T(std::uint32_t row, std::uint32_t column, std::string text) { return {row, column, 't', 0, std::move(text)}; }
Cell S(std::uint32_t row, std::uint32_t column, std::uint32_t index) { return {row, column, 's', double(index), ""}; }

platform::data::sheet::SheetCells Build(const std::vector<Cell>& cells, const std::vector<std::string>& shared,
                                        platform::data::sheet::SheetLimits limits) {
  // Measured as the readers' shared strings are (the layout takes their
  // widths from the table); the streamed table's tests keep the plain kind.
  auto strings = std::make_shared<StringTable>(StringTable::MeasureWidths{});
  for (const std::string& s : shared) strings->Add(s);
  SheetCellsBuilder builder(strings, limits);
  for (const Cell& c : cells) {
    switch (c.kind) {
      case 'n': builder.AddNumber(c.row, c.column, c.number); break;
      case 'd': builder.AddDate(c.row, c.column, c.number); break;
      case 'b': builder.AddBoolean(c.row, c.column, c.number != 0); break;
      case 's': builder.AddSharedText(c.row, c.column, static_cast<std::uint64_t>(c.number)); break;
      default: {
        // A copy that dies after the call: the builder must keep its own.
        const std::string scratch = c.text;
        builder.AddText(c.row, c.column, scratch);
      }
    }
  }
  return builder.Finish();
}

bool MemoryScan::Next(platform::data::sheet::CellSink& sink) {
  if (next_ == cells_.size()) return false;
  const Cell& c = cells_[next_++];
  switch (c.kind) {
    case 'n': sink.Number(c.row, c.column, c.number); break;
    case 'd': sink.Date(c.row, c.column, c.number); break;
    case 'b': sink.Boolean(c.row, c.column, c.number != 0); break;
    case 's': sink.SharedText(c.row, c.column, static_cast<std::uint32_t>(c.number)); break;
    default: {
      const std::string scratch = c.text;
      sink.Text(c.row, c.column, scratch);
    }
  }
  return true;
}

std::vector<std::string> RowsOf(const platform::data::RowSource& table) {
  std::vector<std::string> rows;
  platform::Variant v;
  // Each row read both ways, a field at a time and whole: they must agree
  // (kind and value), and the whole row is what is shown.
  std::vector<platform::Variant> whole(table.Fields().size());
  for (std::int64_t r = 0; r < table.RowCount(); ++r) {
    table.ReadRow(r, whole);
    std::string row;
    for (std::size_t f = 0; f < table.Fields().size(); ++f) {
      table.ReadValue(r, static_cast<int>(f), v);
      EXPECT_EQ(whole[f].kind(), v.kind()) << "row " << r << ", field " << f;
      EXPECT_EQ(whole[f], v) << "row " << r << ", field " << f;
      row += (whole[f].IsNull() ? "-" : whole[f].ToText()) + "|";
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace sheet_test
