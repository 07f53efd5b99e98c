#include "platform/data/sheet/sheet_cells.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "platform/data/sheet/damage.h"
#include "platform/runtime/error.h"
#include "platform/runtime/memory.h"

namespace platform::data::sheet {

double SheetCells::Number(std::size_t i) const { return std::bit_cast<double>(payloads_[i]); }

std::string_view SheetCells::Text(std::size_t i) const {
  const auto index = static_cast<std::size_t>(payloads_[i]);
  return kinds_[i] == CellKind::kSharedText ? shared_->Get(index) : own_strings_.Get(index);
}

std::size_t SheetCells::LowerBound(std::size_t begin, std::size_t end, std::uint32_t column) const {
  const auto first = columns_.begin();
  return static_cast<std::size_t>(std::lower_bound(first + static_cast<std::ptrdiff_t>(begin),
                                                   first + static_cast<std::ptrdiff_t>(end), column) -
                                  first);
}

void SheetCells::Append(std::uint32_t row, std::uint32_t column, CellKind kind, std::uint64_t payload) {
  if (starts_.empty() || starts_.back().number != row) {
    starts_.push_back({row, static_cast<std::uint32_t>(columns_.size())});
  }
  columns_.push_back(static_cast<std::uint16_t>(column));
  kinds_.push_back(kind);
  payloads_.push_back(payload);
}

SheetCellsBuilder::SheetCellsBuilder(std::shared_ptr<const StringTable> shared_strings, SheetLimits limits)
    : limits_{std::min(limits.rows, kMaxRows), std::min(limits.columns, kMaxColumns)} {
  cells_.shared_ = shared_strings ? std::move(shared_strings) : std::make_shared<const StringTable>();
}

void SheetCellsBuilder::Reserve(std::size_t cells) {
  cells_.columns_.reserve(cells);
  cells_.kinds_.reserve(cells);
  cells_.payloads_.reserve(cells);
  PreferLargePages(cells_.columns_.data(), cells * sizeof(std::uint16_t));
  PreferLargePages(cells_.kinds_.data(), cells * sizeof(CellKind));
  PreferLargePages(cells_.payloads_.data(), cells * sizeof(std::uint64_t));
}

void SheetCellsBuilder::AddSharedText(std::uint32_t row, std::uint32_t column, std::uint64_t index) {
  if (shared_later_) {
    max_shared_ = any_shared_ ? std::max(max_shared_, index) : index;
    any_shared_ = true;
  } else if (index >= cells_.shared_->size()) {
    RaiseMissingSharedString(index);
  }
  Add(row, column, CellKind::kSharedText, index);
}

void SheetCellsBuilder::SetSharedStrings(std::shared_ptr<const StringTable> shared_strings,
                                         const MissingSharedString& missing) {
  cells_.shared_ = shared_strings ? std::move(shared_strings) : std::make_shared<const StringTable>();
  shared_later_ = false;
  if (!any_shared_ || max_shared_ < cells_.shared_->size()) return;
  // The cells are still as they came (sorting waits for Finish): the first
  // that refers to a missing string is the one AddSharedText would have
  // refused.
  for (std::size_t k = 0; k < cells_.row_count(); ++k) {
    const SheetCells::Row row = cells_.row(k);
    for (std::size_t i = row.begin; i < row.end; ++i) {
      const std::uint64_t index = cells_.payloads_[i];
      if (cells_.kinds_[i] != CellKind::kSharedText || index < cells_.shared_->size()) continue;
      if (missing) missing(row.number, cells_.columns_[i], index);
      RaiseMissingSharedString(index);
    }
  }
}

void SheetCellsBuilder::AddText(std::uint32_t row, std::uint32_t column, std::string_view text) {
  cells_.own_strings_.Add(text);
  Add(row, column, CellKind::kOwnText, cells_.own_strings_.size() - 1);
}

void RaiseBeyondLimits(std::uint32_t row, std::uint32_t column, SheetLimits limits) {
  // A cell beyond the sheet's last column or row is damage (and would
  // make a table of that many fields or rows).
  if (column >= limits.columns) {
    RaiseDamaged("单元格的列号 " + std::to_string(std::uint64_t{column} + 1) + " 超出 " +
                 std::to_string(limits.columns) + " 列");
  }
  RaiseDamaged("单元格的行号 " + std::to_string(std::uint64_t{row} + 1) + " 超出 " + std::to_string(limits.rows) +
               " 行");
}

void RaiseMissingSharedString(std::uint64_t index) {
  RaiseDamaged("单元格引用了不存在的共享字符串 " + std::to_string(index));
}

void SheetCellsBuilder::Refuse(std::uint32_t row, std::uint32_t column) const {
  if (column >= limits_.columns || row >= limits_.rows) RaiseBeyondLimits(row, column, limits_);
  Raise(err::kOutOfMemory, "工作表中的单元格太多，无法读取");
}

// Sorts by position, stably, so that of two cells at one position the one
// handed over later is kept.
void SheetCellsBuilder::Sort() {
  const std::size_t n = cells_.size();
  std::vector<std::uint64_t> keys(n);
  for (std::size_t k = 0; k < cells_.row_count(); ++k) {
    const SheetCells::Row row = cells_.row(k);
    for (std::size_t i = row.begin; i < row.end; ++i) keys[i] = std::uint64_t{row.number} << 16 | cells_.columns_[i];
  }
  std::vector<std::uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
  SheetCells sorted;
  sorted.columns_.reserve(n);
  sorted.kinds_.reserve(n);
  sorted.payloads_.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t at = order[i];
    if (i + 1 < n && keys[order[i + 1]] == keys[at]) continue;
    sorted.Append(static_cast<std::uint32_t>(keys[at] >> 16), cells_.columns_[at], cells_.kinds_[at],
                  cells_.payloads_[at]);
  }
  sorted.own_strings_ = std::move(cells_.own_strings_);
  sorted.shared_ = std::move(cells_.shared_);
  cells_ = std::move(sorted);
}

SheetCells SheetCellsBuilder::Finish() {
  if (!in_order_) Sort();
  std::shared_ptr<const StringTable> shared = cells_.shared_;
  SheetCells done = std::move(cells_);
  cells_ = SheetCells();
  cells_.shared_ = std::move(shared);
  in_order_ = true;
  return done;
}

}  // namespace platform::data::sheet
