#include "platform/data/sheet/streamed_table.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <string>
#include <string_view>

#include "platform/data/sheet/damage.h"
#include "platform/data/sheet/sheet_session.h"
#include "platform/data/sheet/sheet_table.h"

namespace platform::data::sheet {
namespace {

}  // namespace

// The second pass: takes the scan's cells, keeps those of the range at or
// after the row being looked for, and serves one row of them.
class StreamedSheetTable::Cursor : public CellSink {
 public:
  Cursor(std::shared_ptr<const WorkbookReader> reader, std::size_t worksheet, const SheetLayout& layout,
         const CellFingerprint& first_pass)
      : reader_(std::move(reader)),
        worksheet_(worksheet),
        shared_(reader_->SharedStrings()),
        first_data_row_(layout.header_row + 1),
        last_row_(layout.last_row),
        first_column_(layout.first_column),
        field_count_(layout.last_column - layout.first_column + 1),
        expected_(first_pass),
        slot_(field_count_, -1) {}

  // Makes table row `row` the one Fill reads.
  void Load(std::int64_t row);
  void Fill(int field, Variant& out) const;
  std::int64_t loaded() const { return loaded_; }

  void Number(std::uint32_t row, std::uint32_t column, double value) override {
    seen_.Add(row, column, CellKind::kNumber, std::bit_cast<std::uint64_t>(value));
    Hold(row, column, CellKind::kNumber, std::bit_cast<std::uint64_t>(value));
  }
  void Date(std::uint32_t row, std::uint32_t column, double serial) override {
    seen_.Add(row, column, CellKind::kDate, std::bit_cast<std::uint64_t>(serial));
    Hold(row, column, CellKind::kDate, std::bit_cast<std::uint64_t>(serial));
  }
  void Boolean(std::uint32_t row, std::uint32_t column, bool value) override {
    seen_.Add(row, column, CellKind::kBoolean, value ? 1 : 0);
    Hold(row, column, CellKind::kBoolean, value ? 1 : 0);
  }
  void SharedText(std::uint32_t row, std::uint32_t column, std::uint32_t index) override {
    if (index >= shared_->size()) RaiseMissingSharedString(index);
    seen_.Add(row, column, CellKind::kSharedText, index);
    Hold(row, column, CellKind::kSharedText, index);
  }
  void Text(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    seen_.AddText(row, column, text);
    if (!Wanted(row, column)) return;
    incoming_.push_back({row, column, CellKind::kOwnText, static_cast<std::uint32_t>(text.size()),
                         incoming_text_.size()});
    incoming_text_.append(text);
  }

 private:
  struct Held {
    std::uint32_t row;
    std::uint32_t column;
    CellKind kind;
    std::uint32_t length;   // kOwnText: of the text
    std::uint64_t payload;  // double bits, 0/1, shared index, or where the own text begins
  };

  // Cells of rows already served, below the range or beside it are not
  // kept (they are still counted into seen_).
  bool Wanted(std::uint32_t row, std::uint32_t column) const {
    return row >= target_row_ && row <= last_row_ && column >= first_column_ && column - first_column_ < field_count_;
  }
  void Hold(std::uint32_t row, std::uint32_t column, CellKind kind, std::uint64_t payload) {
    if (Wanted(row, column)) incoming_.push_back({row, column, kind, 0, payload});
  }
  void Restart();
  void Pull(bool to_end);
  void TakeRow();
  void KeepFrom(std::size_t first);
  void End();

  std::shared_ptr<const WorkbookReader> reader_;
  std::size_t worksheet_;
  std::shared_ptr<const StringTable> shared_;
  std::uint32_t first_data_row_;
  std::uint32_t last_row_;
  std::uint32_t first_column_;
  std::uint32_t field_count_;
  CellFingerprint expected_;

  std::unique_ptr<SheetScan> scan_;
  CellFingerprint seen_;
  bool ended_ = false;
  bool changed_ = false;
  std::uint32_t target_row_ = 0;  // the sheet row being looked for
  std::vector<Held> incoming_;    // cells not yet served, in scan order
  std::string incoming_text_;
  std::vector<Held> spare_;
  std::string spare_text_;
  std::vector<Held> row_;  // the loaded row's cells
  std::string row_text_;
  std::vector<std::int32_t> slot_;  // by field: index into row_, or -1
  std::int64_t loaded_ = -1;
};

void StreamedSheetTable::Cursor::Restart() {
  scan_ = reader_->ScanCells(worksheet_);
  seen_ = CellFingerprint();
  ended_ = false;
  incoming_.clear();
  incoming_text_.clear();
  loaded_ = -1;
}

void StreamedSheetTable::Cursor::Load(std::int64_t row) {
  if (changed_) End();
  if (!scan_ || row < loaded_) Restart();
  target_row_ = static_cast<std::uint32_t>(first_data_row_ + row);
  // The last row is complete only at the sheet's end, where the second
  // pass is checked against the first.
  Pull(target_row_ == last_row_);
  TakeRow();
  loaded_ = row;
}

// Scans until a cell after the target row (or the end) is seen.
void StreamedSheetTable::Cursor::Pull(bool to_end) {
  while (!ended_ && (to_end || incoming_.empty() || incoming_.back().row <= target_row_)) {
    if (!scan_->Next(*this)) End();
  }
}

void StreamedSheetTable::Cursor::End() {
  ended_ = true;
  changed_ = changed_ || !(seen_ == expected_);
  if (changed_) {
    RaiseDamaged(
        "第二次读取工作表时读到的单元格与第一次不同"
        "（转换期间工作簿被改动了？请关闭修改它的程序后重新转换）");
  }
}

void StreamedSheetTable::Cursor::TakeRow() {
  for (const Held& held : row_) slot_[held.column - first_column_] = -1;
  row_.clear();
  row_text_.clear();
  std::size_t i = 0;
  for (; i < incoming_.size() && incoming_[i].row <= target_row_; ++i) {
    Held held = incoming_[i];
    if (held.row != target_row_) continue;
    if (held.kind == CellKind::kOwnText) {
      const std::size_t at = row_text_.size();
      row_text_.append(incoming_text_, static_cast<std::size_t>(held.payload), held.length);
      held.payload = at;
    }
    slot_[held.column - first_column_] = static_cast<std::int32_t>(row_.size());
    row_.push_back(held);
  }
  KeepFrom(i);
}

// Keeps incoming_[first...] (cells of later rows) and drops the rest.
void StreamedSheetTable::Cursor::KeepFrom(std::size_t first) {
  spare_.clear();
  spare_text_.clear();
  for (std::size_t i = first; i < incoming_.size(); ++i) {
    Held held = incoming_[i];
    if (held.kind == CellKind::kOwnText) {
      const std::size_t at = spare_text_.size();
      spare_text_.append(incoming_text_, static_cast<std::size_t>(held.payload), held.length);
      held.payload = at;
    }
    spare_.push_back(held);
  }
  incoming_.swap(spare_);
  incoming_text_.swap(spare_text_);
}

void StreamedSheetTable::Cursor::Fill(int field, Variant& out) const {
  const std::int32_t at = slot_[static_cast<std::size_t>(field)];
  if (at < 0) {
    out.SetNull();
    return;
  }
  const Held& held = row_[static_cast<std::size_t>(at)];
  switch (held.kind) {
    case CellKind::kNumber: out.SetNumber(std::bit_cast<double>(held.payload)); return;
    case CellKind::kDate: out.SetDate(std::bit_cast<double>(held.payload)); return;
    case CellKind::kBoolean: out.SetBoolean(held.payload != 0); return;
    case CellKind::kSharedText: out.SetTextView(shared_->Get(static_cast<std::size_t>(held.payload))); return;
    case CellKind::kOwnText:
      out.SetTextView(std::string_view(row_text_).substr(static_cast<std::size_t>(held.payload), held.length));
      return;
  }
}

StreamedSheetTable::StreamedSheetTable(std::shared_ptr<const WorkbookReader> reader, std::size_t worksheet,
                                       const SheetLayout& layout, const CellFingerprint& first_pass)
    : fields_(FieldsOf(layout)), row_count_(DataRowCount(layout)) {
  if (layout.has_content) cursor_ = std::make_unique<Cursor>(std::move(reader), worksheet, layout, first_pass);
}

StreamedSheetTable::~StreamedSheetTable() = default;

void StreamedSheetTable::ReadValue(std::int64_t row, int field, Variant& out) const {
  if (cursor_->loaded() != row) cursor_->Load(row);
  cursor_->Fill(field, out);
}

namespace {

// The first pass: holds the cells while they fit the budget, then learns
// only the layout.
class FirstPassSink : public CellSink {
 public:
  // The reader's shared strings are asked for only when first needed:
  // a reader may still be reading them while the cells are held.
  FirstPassSink(const WorkbookReader& reader, std::size_t worksheet, SheetLimits limits, std::size_t budget)
      : reader_(reader),
        worksheet_(worksheet),
        limits_(limits),
        budget_(budget),
        builder_(std::in_place, nullptr, limits),
        missing_([this](std::uint32_t row, std::uint32_t column, std::uint64_t index) {
          reader_.RaiseMissingSharedString(worksheet_, row, column, index);
        }) {
    builder_->CheckSharedLater();
  }

  // Whether the cells are still held (else layout() has them).
  bool holding() const { return builder_.has_value(); }
  // Whether the rest of the sheet is still wanted: not once the layout
  // found cells out of order.
  bool wanted() const { return holding() || layout_->in_order(); }
  SheetCells TakeCells() {
    builder_->SetSharedStrings(Strings(), missing_);
    return builder_->Finish();
  }
  // Raises for a held cell that refers to a shared string that does not
  // exist (what holding it would have raised).
  void CheckHeldCells() {
    if (holding()) builder_->SetSharedStrings(Strings(), missing_);
  }
  const LayoutSink& layout() const { return *layout_; }

  void Number(std::uint32_t row, std::uint32_t column, double value) override {
    if (holding()) {
      builder_->AddNumber(row, column, value);
      CheckFixed();
    } else {
      layout_->Number(row, column, value);
    }
  }
  void Date(std::uint32_t row, std::uint32_t column, double serial) override {
    if (holding()) {
      builder_->AddDate(row, column, serial);
      CheckFixed();
    } else {
      layout_->Date(row, column, serial);
    }
  }
  void Boolean(std::uint32_t row, std::uint32_t column, bool value) override {
    if (holding()) {
      builder_->AddBoolean(row, column, value);
      CheckFixed();
    } else {
      layout_->Boolean(row, column, value);
    }
  }
  void SharedText(std::uint32_t row, std::uint32_t column, std::uint32_t index) override {
    if (holding()) {
      builder_->AddSharedText(row, column, index);
      CheckFixed();
    } else {
      // The reader may not have checked it (its strings were not read yet).
      if (index >= shared_->size()) missing_(row, column, index);
      layout_->SharedText(row, column, index);
    }
  }
  void Text(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    if (holding()) {
      builder_->AddText(row, column, text);
      Check();
    } else {
      layout_->Text(row, column, text);
    }
  }
  // The hint is followed up to the budget: beyond it the cells are not
  // held.
  void Reserve(std::size_t cells) override {
    if (holding()) builder_->Reserve(std::min(cells, budget_ / kCellBytes + 1));
  }

 private:
  static constexpr std::size_t kCellBytes = SheetCells::kHeldPerCell;

  // A cell of fixed size (not a copied text) adds at most this much to
  // what is held: its own bytes and perhaps a new row's.
  static constexpr std::size_t kMostPerFixedCell = SheetCells::kHeldPerCell + SheetCells::kHeldPerRow;

  // As Check, but the held bytes are counted only once cells of fixed size
  // may have taken what was left of the budget at the last count: the
  // count is asked for every cell, and this spares most of them.
  void CheckFixed() {
    if (unchecked_room_ >= kMostPerFixedCell) {
      unchecked_room_ -= kMostPerFixedCell;
      return;
    }
    Check();
  }

  // Past the budget, cells in order go to the layout (in the order they
  // came, as a pass streaming from the start would give them) and are
  // dropped. Cells out of order stay held: they must be sorted.
  void Check() {
    const std::size_t held = builder_->HeldBytes();
    unchecked_room_ = held <= budget_ ? budget_ - held : 0;
    if (held <= budget_ || !builder_->in_order()) return;
    builder_->SetSharedStrings(Strings(), missing_);
    layout_.emplace(*shared_, limits_);
    HandOver(builder_->Finish(), *layout_);
    builder_.reset();
  }

  const std::shared_ptr<const StringTable>& Strings() {
    if (!shared_) shared_ = reader_.SharedStrings();
    return shared_;
  }

  const WorkbookReader& reader_;
  std::size_t worksheet_;
  std::shared_ptr<const StringTable> shared_;
  SheetLimits limits_;
  std::size_t budget_;
  std::optional<SheetCellsBuilder> builder_;
  std::size_t unchecked_room_ = 0;  // see CheckFixed
  std::optional<LayoutSink> layout_;
  SheetCellsBuilder::MissingSharedString missing_;
};

}  // namespace

std::unique_ptr<RowSource> OpenSheetTable(std::shared_ptr<const WorkbookReader> reader, std::size_t worksheet,
                                          std::size_t held_budget) {
  std::unique_ptr<SheetScan> scan = reader->ScanCells(worksheet);
  FirstPassSink first(*reader, worksheet, reader->Limits(), held_budget);
  try {
    while (first.wanted() && scan->Next(first)) {
    }
  } catch (...) {
    // A held cell before the failure that names a missing shared string
    // is the sheet's first fault: that is the one told.
    first.CheckHeldCells();
    throw;
  }
  scan.reset();
  if (first.holding()) return std::make_unique<SheetTable>(first.TakeCells());
  if (!first.layout().in_order()) {
    // Cells out of order are sorted, so the sheet is held whole.
    scan = reader->ScanCells(worksheet);
    return std::make_unique<SheetTable>(ReadAllCells(*scan, reader->SharedStrings(), reader->Limits()));
  }
  return std::make_unique<StreamedSheetTable>(std::move(reader), worksheet, first.layout().layout(),
                                              first.layout().fingerprint());
}

}  // namespace platform::data::sheet
