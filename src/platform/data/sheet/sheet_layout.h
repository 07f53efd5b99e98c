#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/data/provider.h"
#include "platform/data/sheet/cell_scan.h"
#include "platform/data/sheet/sheet_cells.h"
#include "platform/data/sheet/string_table.h"

// What a table must know of its worksheet before its first row is read,
// learnt from the cells in one pass: the used range by content, the names
// of the fields and the width of each.
namespace platform::data::sheet {

struct SheetLayout {
  bool has_content = false;  // some cell that is not empty text
  // The used range: from the first to the last row and column holding a
  // cell that is not empty text. The first row names the fields.
  std::uint32_t header_row = 0;
  std::uint32_t last_row = 0;
  std::uint32_t first_column = UINT32_MAX;
  std::uint32_t last_column = 0;
  // By sheet column: the widest text form below the header row, in code
  // page 936 bytes (0 where none).
  std::vector<std::size_t> column_width;
  // The header row's cells that are not empty text: column, text form.
  std::vector<std::pair<std::uint32_t, std::string>> header;
};

// The table's fields: one per column of the used range; an unnamed one is
// "F" + its number within the table; DefinedSize the column's width, at
// least 1. None without content.
std::vector<FieldInfo> FieldsOf(const SheetLayout& layout);
// The data rows: every row of the range below the header row.
std::int64_t DataRowCount(const SheetLayout& layout);

// The cells a pass saw, in order, as a count and a 64-bit mix, so that two
// passes over one sheet can tell whether they saw the same cells.
class CellFingerprint {
 public:
  void Add(std::uint32_t row, std::uint32_t column, CellKind kind, std::uint64_t payload);
  void AddText(std::uint32_t row, std::uint32_t column, std::string_view text);
  bool operator==(const CellFingerprint&) const = default;

 private:
  std::uint64_t count_ = 0;
  std::uint64_t mix_ = 0;
};

// Learns the layout of a sheet whose cells come in order (by row, then
// column, each position once), checking each as SheetCellsBuilder does
// (the same errors for a cell beyond the limits or a shared string that
// does not exist). A cell out of order ends the learning: in_order()
// turns false and later cells are ignored (such a sheet must be held).
class LayoutSink : public CellSink {
 public:
  // shared_strings must outlive the sink.
  LayoutSink(const StringTable& shared_strings, SheetLimits limits);

  // For a part of a sheet wholly below its header row, which an earlier
  // part found: every cell with content is measured, none names a field.
  void StartBelowHeader(std::uint32_t header_row);
  // For cells held, which are never read again: fingerprint() stays empty.
  void SkipFingerprint() { fingerprinting_ = false; }
  // A cell that refers to a shared string that does not exist is refused
  // by calling missing (which should raise the reader's own words for it),
  // then as SheetCellsBuilder refuses it.
  void TellMissingSharedString(SheetCellsBuilder::MissingSharedString missing) { missing_ = std::move(missing); }

  bool in_order() const { return in_order_; }
  const SheetLayout& layout() const { return layout_; }
  SheetLayout TakeLayout() { return std::move(layout_); }
  const CellFingerprint& fingerprint() const { return fingerprint_; }

  void Number(std::uint32_t row, std::uint32_t column, double value) override;
  void Date(std::uint32_t row, std::uint32_t column, double serial) override;
  void Boolean(std::uint32_t row, std::uint32_t column, bool value) override;
  void SharedText(std::uint32_t row, std::uint32_t column, std::uint32_t index) override;
  void Text(std::uint32_t row, std::uint32_t column, std::string_view text) override;

  // The held cells of rows [first_row, end_row), as HandOver would give
  // them but without a call per cell once the header row is known (a big
  // sheet's every row).
  void TakeRows(const SheetCells& cells, std::size_t first_row, std::size_t end_row);

 private:
  // Checks the cell and its order; false when it is not to be measured.
  bool Take(std::uint32_t row, std::uint32_t column);
  // A cell with content: widens the range; true when it lies in the header
  // row (which is named, not measured).
  bool InHeader(std::uint32_t row, std::uint32_t column);
  void Widen(std::uint32_t column, std::size_t width);
  // The width of shared string index < the table's size.
  std::size_t SharedWidth(std::size_t index) const;
  // The width of held cell i of that row (0: empty text).
  std::size_t HeldWidth(const SheetCells& cells, std::uint32_t row, std::size_t i) const;
  // Checks that shared string index exists.
  void CheckShared(std::uint32_t row, std::uint32_t column, std::uint64_t index) const {
    if (index >= shared_.size()) RefuseShared(row, column, index);
  }
  [[noreturn]] void RefuseShared(std::uint32_t row, std::uint32_t column, std::uint64_t index) const;
  void FingerprintHeld(const SheetCells& cells, std::uint32_t row, std::size_t i);
  void Measure(std::uint32_t row, std::uint32_t column, std::size_t width, std::string_view text);

  const StringTable& shared_;
  SheetLimits limits_;
  SheetLayout layout_;
  CellFingerprint fingerprint_;
  bool fingerprinting_ = true;
  SheetCellsBuilder::MissingSharedString missing_;
  bool in_order_ = true;
  bool any_ = false;
  std::uint32_t last_row_ = 0;
  std::uint32_t last_column_ = 0;
};

// Hands cells already held to a sink, in their order: all of them, or the
// stored rows [first_row, end_row).
void HandOver(const SheetCells& cells, CellSink& sink);
void HandOver(const SheetCells& cells, std::size_t first_row, std::size_t end_row, CellSink& sink);

// The layout of cells in order: of above, then of below, which was learnt
// with StartBelowHeader(above's header row).
SheetLayout JoinBelow(SheetLayout above, const SheetLayout& below);

// The stored row holding the first cell with content (row_count() if
// none): the header row.
std::size_t FirstContentRow(const SheetCells& cells);

}  // namespace platform::data::sheet
