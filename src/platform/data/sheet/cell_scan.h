#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/data/sheet/sheet_cells.h"
#include "platform/data/sheet/string_table.h"

// A worksheet's cells as a reader finds them in its file, pulled piece by
// piece, so that a sheet can be read (twice if need be) without being
// held.
namespace platform::data::sheet {

// Receives the cells of a sheet in file order, under the contract of
// sheet_cells.h: rows and columns from 0, empty, blank and error cells
// left out.
class CellSink {
 public:
  virtual ~CellSink() = default;
  virtual void Number(std::uint32_t row, std::uint32_t column, double value) = 0;
  // A serial of the 1900 date system (1904 workbooks already converted).
  virtual void Date(std::uint32_t row, std::uint32_t column, double serial) = 0;
  virtual void Boolean(std::uint32_t row, std::uint32_t column, bool value) = 0;
  // An index into the workbook's shared strings, as the file gives it.
  virtual void SharedText(std::uint32_t row, std::uint32_t column, std::uint32_t index) = 0;
  // Text of the cell itself; the view is valid during the call.
  virtual void Text(std::uint32_t row, std::uint32_t column, std::string_view text) = 0;
  // How many cells the file says the sheet holds: a hint, never trusted.
  virtual void Reserve(std::size_t /*cells*/) {}
};

// One pass over a worksheet's cells, from its start.
class SheetScan {
 public:
  virtual ~SheetScan() = default;
  // Hands the cells of the sheet's next piece (a record, an element: none,
  // one or several cells) to sink; false once the sheet has ended.
  // Raises platform::Error (1103 for damage) where the reader finds it.
  virtual bool Next(CellSink& sink) = 0;
};

// Hands every cell to a builder.
class BuilderSink : public CellSink {
 public:
  explicit BuilderSink(SheetCellsBuilder& builder) : builder_(builder) {}
  void Number(std::uint32_t row, std::uint32_t column, double value) override { builder_.AddNumber(row, column, value); }
  void Date(std::uint32_t row, std::uint32_t column, double serial) override { builder_.AddDate(row, column, serial); }
  void Boolean(std::uint32_t row, std::uint32_t column, bool value) override {
    builder_.AddBoolean(row, column, value);
  }
  void SharedText(std::uint32_t row, std::uint32_t column, std::uint32_t index) override {
    builder_.AddSharedText(row, column, index);
  }
  void Text(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    builder_.AddText(row, column, text);
  }
  void Reserve(std::size_t cells) override { builder_.Reserve(cells); }

 private:
  SheetCellsBuilder& builder_;
};

// The scan run to its end, every cell held (see SheetCellsBuilder).
SheetCells ReadAllCells(SheetScan& scan, std::shared_ptr<const StringTable> shared_strings, SheetLimits limits);

}  // namespace platform::data::sheet
