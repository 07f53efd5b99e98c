#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <bit>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/data/sheet/string_table.h"

// The cells of one worksheet in a compact store, whatever format they were
// read from, and the one way a reader hands them over.
//
// Contract for readers (.xls, .xlsx): make a SheetCellsBuilder with the
// workbook's shared strings and the format's limits, call one Add function
// for every cell that holds a value, then Finish once. Empty, blank and
// error cells are not handed over (they read as null). Rows and columns
// are 0-based and must lie below the builder's limits, which are at most
// kMaxRows x kMaxColumns (1,048,576 x 16,384, the largest sheet either
// format describes); a cell beyond them raises 1103 "工作簿已损坏：单元格的
// 列号 N 超出 M 列" (or "...行号 N 超出 M 行", N counted from 1): such a
// cell is damage, and dropping it would quietly lose a value. Cells may come in any order; a position handed over twice
// keeps the value handed over last. Numbers and dates are doubles; a date
// is a day serial of the 1900 date system (readers of a 1904 workbook add
// k1904DateOffset). Text is UTF-8, either copied (AddText: the view need
// only live during the call) or an index into the shared string table the
// builder was given (AddSharedText: not copied; the cells keep the table
// alive; an index past its end raises 1103). An empty text cell holds a
// value (the empty text) but does not count for the used range.
namespace platform::data::sheet {

enum class CellKind : std::uint8_t { kNumber, kDate, kBoolean, kSharedText, kOwnText };

inline constexpr std::uint32_t kMaxRows = 1'048'576;
inline constexpr std::uint32_t kMaxColumns = 16'384;

struct SheetLimits {
  std::uint32_t rows = kMaxRows;
  std::uint32_t columns = kMaxColumns;
};

// For a cell at or beyond the limits: raises 1103, naming its column when
// that is beyond them, else its row.
[[noreturn]] void RaiseBeyondLimits(std::uint32_t row, std::uint32_t column, SheetLimits limits);
// For a cell referring to a shared string past the table's end: 1103.
[[noreturn]] void RaiseMissingSharedString(std::uint64_t index);

// Cells sorted by row, then column: 11 bytes a cell (a 16-bit column, the
// kind, 8 bytes of value) and 8 bytes a row that holds cells (its number
// and where its cells begin), so that row and column numbers of any size
// the limits allow need no wider key.
class SheetCells {
 public:
  // One row holding cells: its number and its cells [begin, end).
  struct Row {
    std::uint32_t number;
    std::uint32_t begin;
    std::uint32_t end;
  };

  std::size_t size() const { return columns_.size(); }
  // What the cells take in memory: 11 bytes a cell, 8 a row, the own
  // texts.
  static constexpr std::size_t kHeldPerCell = sizeof(std::uint16_t) + sizeof(CellKind) + sizeof(std::uint64_t);
  static constexpr std::size_t kHeldPerRow = 2 * sizeof(std::uint32_t);
  std::size_t HeldBytes() const {
    return size() * kHeldPerCell + starts_.size() * kHeldPerRow + own_strings_.HeldBytes();
  }
  // The rows holding cells, ascending; k < row_count().
  std::size_t row_count() const { return starts_.size(); }
  Row row(std::size_t k) const {
    const std::uint32_t end = k + 1 < starts_.size() ? starts_[k + 1].begin : static_cast<std::uint32_t>(size());
    return {starts_[k].number, starts_[k].begin, end};
  }

  // Of cell i < size().
  std::uint32_t Column(std::size_t i) const { return columns_[i]; }
  CellKind Kind(std::size_t i) const { return kinds_[i]; }
  double Number(std::size_t i) const;  // kNumber, kDate
  bool Boolean(std::size_t i) const { return payloads_[i] != 0; }
  std::string_view Text(std::size_t i) const;  // kSharedText, kOwnText
  std::size_t SharedIndex(std::size_t i) const { return static_cast<std::size_t>(payloads_[i]); }  // kSharedText

  const StringTable& shared_strings() const { return *shared_; }
  // The first cell in [begin, end) (cells of one row) whose column is not
  // below column.
  std::size_t LowerBound(std::size_t begin, std::size_t end, std::uint32_t column) const;

 private:
  friend class SheetCellsBuilder;
  struct RowStart {
    std::uint32_t number;
    std::uint32_t begin;
  };
  static_assert(sizeof(RowStart) == kHeldPerRow);
  void Append(std::uint32_t row, std::uint32_t column, CellKind kind, std::uint64_t payload);

  std::vector<RowStart> starts_;
  std::vector<std::uint16_t> columns_;
  std::vector<CellKind> kinds_;
  std::vector<std::uint64_t> payloads_;  // double bits, 0/1, or a string index
  StringTable own_strings_;
  std::shared_ptr<const StringTable> shared_;
};

// Takes the cells of one worksheet from a reader (see the contract above).
class SheetCellsBuilder {
 public:
  // shared_strings may be null (no shared strings); limits above kMaxRows
  // or kMaxColumns are cut to them.
  explicit SheetCellsBuilder(std::shared_ptr<const StringTable> shared_strings, SheetLimits limits = {});

  // Room for that many cells (a hint from the file; too large costs
  // address space, not memory).
  void Reserve(std::size_t cells);

  // For shared strings still being read: a shared index is checked only
  // once SetSharedStrings gives them, which then refuses, as AddSharedText
  // would have, the first cell that refers to one that does not exist: by
  // calling missing(row, column, index), which should raise the reader's
  // own words for it, then RaiseMissingSharedString.
  using MissingSharedString = std::function<void(std::uint32_t row, std::uint32_t column, std::uint64_t index)>;
  void CheckSharedLater() { shared_later_ = true; }
  void SetSharedStrings(std::shared_ptr<const StringTable> shared_strings, const MissingSharedString& missing = {});

  void AddNumber(std::uint32_t row, std::uint32_t column, double value) {
    Add(row, column, CellKind::kNumber, std::bit_cast<std::uint64_t>(value));
  }
  void AddDate(std::uint32_t row, std::uint32_t column, double serial) {
    Add(row, column, CellKind::kDate, std::bit_cast<std::uint64_t>(serial));
  }
  void AddBoolean(std::uint32_t row, std::uint32_t column, bool value) {
    Add(row, column, CellKind::kBoolean, value ? 1 : 0);
  }
  void AddSharedText(std::uint32_t row, std::uint32_t column, std::uint64_t index);
  void AddText(std::uint32_t row, std::uint32_t column, std::string_view text);

  // What the cells handed over so far take (see SheetCells::HeldBytes).
  std::size_t HeldBytes() const { return cells_.HeldBytes(); }
  // Whether every cell so far came after the one before it (by row, then
  // column): then they are held in the order they came.
  bool in_order() const { return in_order_; }

  // The cells in order, the later of two at one position kept. The
  // builder is empty afterwards.
  SheetCells Finish();

 private:
  void Add(std::uint32_t row, std::uint32_t column, CellKind kind, std::uint64_t payload) {
    if (row >= limits_.rows || column >= limits_.columns || cells_.size() >= kMaxCells) Refuse(row, column);
    if (!cells_.starts_.empty()) {
      const std::uint32_t last_row = cells_.starts_.back().number;
      if (row < last_row || (row == last_row && column <= cells_.columns_.back())) in_order_ = false;
    }
    cells_.Append(row, column, kind, payload);
  }
  [[noreturn]] void Refuse(std::uint32_t row, std::uint32_t column) const;
  void Sort();

  bool shared_later_ = false;
  bool any_shared_ = false;  // while checking later: the largest index so far
  std::uint64_t max_shared_ = 0;

  // Cells are counted in 32 bits.
  static constexpr std::size_t kMaxCells = UINT32_MAX;

  SheetCells cells_;
  SheetLimits limits_;
  bool in_order_ = true;
};

}  // namespace platform::data::sheet
