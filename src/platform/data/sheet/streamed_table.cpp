#include "platform/data/sheet/streamed_table.h"

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <deque>
#include <exception>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/data/sheet/damage.h"
#include "platform/data/sheet/sheet_session.h"
#include "platform/data/sheet/sheet_table.h"
#include "platform/runtime/work_behind.h"

namespace platform::data::sheet {

namespace {

// A cell of the second pass.
struct HeldCell {
  std::uint32_t row;
  std::uint32_t column;
  CellKind kind;
  std::uint32_t length;   // kOwnText: of the text
  std::uint64_t payload;  // double bits, 0/1, shared index, or where the own text begins
};

// Consecutive table rows [first_row, first_row + count()), on their way
// from the second pass's thread to the reader of the rows.
struct RowBatch {
  std::int64_t first_row = 0;
  std::vector<std::uint32_t> ends;  // by row: where its cells end
  std::vector<HeldCell> cells;      // an own text's payload: where in text
  std::string text;

  std::size_t count() const { return ends.size(); }
  void Clear(std::int64_t first) {
    first_row = first;
    ends.clear();
    cells.clear();
    text.clear();
  }
};

}  // namespace

// The second pass: takes the scan's cells, keeps those of the range at or
// after the row being looked for, and adds one row of them to a batch.
class StreamedSheetTable::Cursor : public CellSink {
 public:
  Cursor(std::shared_ptr<const WorkbookReader> reader, std::size_t worksheet, std::shared_ptr<const StringTable> shared,
         const SheetLayout& layout, const CellFingerprint& first_pass)
      : reader_(std::move(reader)),
        worksheet_(worksheet),
        shared_(std::move(shared)),
        first_data_row_(layout.header_row + 1),
        last_row_(layout.last_row),
        first_column_(layout.first_column),
        field_count_(layout.last_column - layout.first_column + 1),
        expected_(first_pass) {}

  // Adds table row `row` to the batch; rows are loaded in order.
  void Load(std::int64_t row, RowBatch& into);

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
  // Cells of rows already served, below the range or beside it are not
  // kept (they are still counted into seen_).
  bool Wanted(std::uint32_t row, std::uint32_t column) const {
    return row >= target_row_ && row <= last_row_ && column >= first_column_ && column - first_column_ < field_count_;
  }
  void Hold(std::uint32_t row, std::uint32_t column, CellKind kind, std::uint64_t payload) {
    if (Wanted(row, column)) incoming_.push_back({row, column, kind, 0, payload});
  }
  void Pull(bool to_end);
  void TakeRow(RowBatch& into);
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
  std::uint32_t target_row_ = 0;   // the sheet row being looked for
  std::vector<HeldCell> incoming_;  // cells not yet served, in scan order
  std::string incoming_text_;
  std::vector<HeldCell> spare_;
  std::string spare_text_;
};

void StreamedSheetTable::Cursor::Load(std::int64_t row, RowBatch& into) {
  if (!scan_) scan_ = reader_->ScanCells(worksheet_);
  target_row_ = static_cast<std::uint32_t>(first_data_row_ + row);
  // The last row is complete only at the sheet's end, where the second
  // pass is checked against the first.
  Pull(target_row_ == last_row_);
  TakeRow(into);
}

// Scans until a cell after the target row (or the end) is seen.
void StreamedSheetTable::Cursor::Pull(bool to_end) {
  while (!ended_ && (to_end || incoming_.empty() || incoming_.back().row <= target_row_)) {
    if (!scan_->Next(*this)) End();
  }
}

void StreamedSheetTable::Cursor::End() {
  ended_ = true;
  if (!(seen_ == expected_)) {
    RaiseDamaged(
        "第二次读取工作表时读到的单元格与第一次不同"
        "（转换期间工作簿被改动了？请关闭修改它的程序后重新转换）");
  }
}

void StreamedSheetTable::Cursor::TakeRow(RowBatch& into) {
  std::size_t i = 0;
  for (; i < incoming_.size() && incoming_[i].row <= target_row_; ++i) {
    HeldCell held = incoming_[i];
    if (held.row != target_row_) continue;
    if (held.kind == CellKind::kOwnText) {
      const std::size_t at = into.text.size();
      into.text.append(incoming_text_, static_cast<std::size_t>(held.payload), held.length);
      held.payload = at;
    }
    into.cells.push_back(held);
  }
  into.ends.push_back(static_cast<std::uint32_t>(into.cells.size()));
  KeepFrom(i);
}

// Keeps incoming_[first...] (cells of later rows) and drops the rest.
void StreamedSheetTable::Cursor::KeepFrom(std::size_t first) {
  spare_.clear();
  spare_text_.clear();
  for (std::size_t i = first; i < incoming_.size(); ++i) {
    HeldCell held = incoming_[i];
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

// The second pass on a thread of its own, a few batches of rows ahead of
// the rows read: the sheet is decoded while the rows before are written.
// A row before the batch being read starts the pass again from there. A
// fault of the pass is told when the first row it kept from being read
// is asked for, and at every read after that.
class StreamedSheetTable::RowsAhead {
 public:
  RowsAhead(std::shared_ptr<const WorkbookReader> reader, std::size_t worksheet, const SheetLayout& layout,
            const CellFingerprint& first_pass, std::int64_t row_count)
      : reader_(std::move(reader)),
        worksheet_(worksheet),
        layout_(layout),
        first_pass_(first_pass),
        row_count_(row_count),
        shared_(reader_->SharedStrings()),
        slot_(layout.last_column - layout.first_column + 1, -1) {}
  ~RowsAhead() { Stop(); }
  RowsAhead(const RowsAhead&) = delete;
  RowsAhead& operator=(const RowsAhead&) = delete;

  void Read(std::int64_t row, int field, Variant& out) {
    if (row != selected_) Select(row);
    Fill(field, out);
  }

 private:
  // A batch is handed over once it holds this many cells, text bytes or
  // rows: small enough to stay in the caches, large enough that handing
  // it over costs little. The thread runs at most kAhead batches ahead,
  // enough to ride out the turns it takes with the other threads.
  static constexpr std::size_t kBatchCells = std::size_t{1} << 14;
  static constexpr std::size_t kBatchText = std::size_t{1} << 18;
  static constexpr std::size_t kBatchRows = std::size_t{1} << 10;
  static constexpr std::size_t kAhead = 8;

  void Select(std::int64_t row);
  void Fill(int field, Variant& out) const;
  void Start(std::int64_t row);
  void Stop();
  // On the thread: the rows from `row` on, batch by batch.
  void Produce(std::int64_t row);
  // On the thread: false when asked to stop.
  bool Hand(RowBatch& filled);
  // The next batch into reading_; false at the end of the rows.
  bool TakeNext();

  std::shared_ptr<const WorkbookReader> reader_;
  std::size_t worksheet_;
  SheetLayout layout_;
  CellFingerprint first_pass_;
  std::int64_t row_count_;
  std::shared_ptr<const StringTable> shared_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<RowBatch> ready_;  // handed over, not yet taken
  std::vector<RowBatch> spare_;  // read, for the thread to fill again
  bool done_ = false;       // the thread handed its last batch
  bool stop_ = false;
  std::exception_ptr fault_;  // what ended the thread's pass
  std::thread thread_;

  // The reader's side.
  RowBatch reading_;
  std::exception_ptr failed_;  // told at every read once met
  std::int64_t selected_ = -1;
  std::vector<std::int32_t> slot_;     // by field: index into reading_.cells, or -1
  std::vector<std::size_t> filled_;    // the fields of slot_ set
};

void StreamedSheetTable::RowsAhead::Start(std::int64_t row) {
  Stop();
  stop_ = false;
  done_ = false;
  std::move(ready_.begin(), ready_.end(), std::back_inserter(spare_));
  ready_.clear();
  fault_ = nullptr;
  reading_.Clear(row);
  thread_ = std::thread([this, row] { Produce(row); });
}

void StreamedSheetTable::RowsAhead::Stop() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void StreamedSheetTable::RowsAhead::Produce(std::int64_t row) {
  RowBatch filling;
  filling.Clear(row);
  std::exception_ptr fault;
  try {
    Cursor cursor(reader_, worksheet_, shared_, layout_, first_pass_);
    for (; row < row_count_; ++row) {
      cursor.Load(row, filling);
      if (filling.cells.size() >= kBatchCells || filling.text.size() >= kBatchText ||
          filling.count() >= kBatchRows) {
        if (!Hand(filling)) return;
        filling.Clear(row + 1);
      }
    }
  } catch (...) {
    fault = std::current_exception();
  }
  // The rows loaded before a fault are still read.
  if (filling.count() != 0 && !Hand(filling)) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  fault_ = fault;
  done_ = true;
  changed_.notify_all();
}

bool StreamedSheetTable::RowsAhead::Hand(RowBatch& filled) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return ready_.size() < kAhead || stop_; });
  if (stop_) return false;
  ready_.push_back(std::move(filled));
  filled = RowBatch();
  if (!spare_.empty()) {
    filled = std::move(spare_.back());  // a batch already read, its room kept
    spare_.pop_back();
  }
  lock.unlock();
  changed_.notify_all();
  return true;
}

bool StreamedSheetTable::RowsAhead::TakeNext() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return !ready_.empty() || done_; });
  if (ready_.empty()) {
    if (fault_) failed_ = fault_;
    return false;
  }
  spare_.push_back(std::move(reading_));
  reading_ = std::move(ready_.front());
  ready_.pop_front();
  lock.unlock();
  changed_.notify_all();
  return true;
}

void StreamedSheetTable::RowsAhead::Select(std::int64_t row) {
  for (const std::size_t field : filled_) slot_[field] = -1;
  filled_.clear();
  selected_ = -1;
  if (failed_) std::rethrow_exception(failed_);
  if (!thread_.joinable() || row < reading_.first_row) Start(row);
  while (row >= reading_.first_row + static_cast<std::int64_t>(reading_.count())) {
    if (!TakeNext()) {
      if (failed_) std::rethrow_exception(failed_);
      selected_ = row;  // past the rows: no cells
      return;
    }
  }
  const auto k = static_cast<std::size_t>(row - reading_.first_row);
  const std::size_t begin = k == 0 ? 0 : reading_.ends[k - 1];
  for (std::size_t i = begin; i < reading_.ends[k]; ++i) {
    const std::size_t field = reading_.cells[i].column - layout_.first_column;
    slot_[field] = static_cast<std::int32_t>(i);
    filled_.push_back(field);
  }
  selected_ = row;
}

void StreamedSheetTable::RowsAhead::Fill(int field, Variant& out) const {
  const std::int32_t at = slot_[static_cast<std::size_t>(field)];
  if (at < 0) {
    out.SetNull();
    return;
  }
  const HeldCell& held = reading_.cells[static_cast<std::size_t>(at)];
  switch (held.kind) {
    case CellKind::kNumber: out.SetNumber(std::bit_cast<double>(held.payload)); return;
    case CellKind::kDate: out.SetDate(std::bit_cast<double>(held.payload)); return;
    case CellKind::kBoolean: out.SetBoolean(held.payload != 0); return;
    case CellKind::kSharedText: out.SetTextView(shared_->Get(static_cast<std::size_t>(held.payload))); return;
    case CellKind::kOwnText:
      out.SetTextView(std::string_view(reading_.text).substr(static_cast<std::size_t>(held.payload), held.length));
      return;
  }
}

StreamedSheetTable::StreamedSheetTable(std::shared_ptr<const WorkbookReader> reader, std::size_t worksheet,
                                       const SheetLayout& layout, const CellFingerprint& first_pass)
    : fields_(FieldsOf(layout)), row_count_(DataRowCount(layout)) {
  if (layout.has_content) {
    ahead_ = std::make_unique<RowsAhead>(std::move(reader), worksheet, layout, first_pass, row_count_);
  }
}

StreamedSheetTable::~StreamedSheetTable() = default;

void StreamedSheetTable::ReadValue(std::int64_t row, int field, Variant& out) const { ahead_->Read(row, field, out); }

namespace {

// Cells in order on their way to the layout thread.
struct CellBatch {
  SheetCells cells;
  std::size_t count() const { return cells.size(); }
  void Clear() { cells = SheetCells(); }
};

// The first pass: holds the cells while they fit the budget, then learns
// only the layout. Beyond the budget the layout is learnt on a thread of
// its own, from batches of cells taken in order as the reader gives them,
// while the reader decodes the next: that thread also waits for the
// shared strings, which only the layout needs, and checks the cells'
// references to them.
class FirstPassSink : public CellSink {
 public:
  // The reader's shared strings are asked for only when first needed:
  // a reader may still be reading them while the cells are held.
  FirstPassSink(const WorkbookReader& reader, std::size_t worksheet, SheetLimits limits, std::size_t budget)
      : reader_(reader),
        worksheet_(worksheet),
        limits_(limits),
        cut_{std::min(limits.rows, kMaxRows), std::min(limits.columns, kMaxColumns)},
        budget_(budget),
        builder_(std::in_place, nullptr, limits),
        missing_([this](std::uint32_t row, std::uint32_t column, std::uint64_t index) {
          reader_.RaiseMissingSharedString(worksheet_, row, column, index);
        }) {
    builder_->CheckSharedLater();
  }

  // Whether the cells are still held (else layout() has them).
  bool holding() const { return builder_.has_value(); }
  // Whether the rest of the sheet is still wanted: not once cells came
  // out of order after the hand-over.
  bool wanted() const { return holding() || !out_of_order_; }
  SheetCells TakeCells() {
    builder_->SetSharedStrings(Strings(), missing_);
    return builder_->Finish();
  }
  // When the scan failed: raises for an earlier cell that refers to a
  // shared string that does not exist, or for what else learning the
  // layout of the cells before the failure raised (faults of earlier
  // cells are told first).
  void CheckCellsBefore() {
    if (holding()) {
      builder_->SetSharedStrings(Strings(), missing_);
    } else {
      FinishLayout();
    }
  }
  // Once the scan is over: the layout of every cell handed over. Raises
  // what learning it raised.
  void FinishLayout() {
    if (holding()) return;
    Flush();
    behind_->Finish();
  }
  // After FinishLayout: whether the cells came in order, and their layout.
  bool in_order() const { return !out_of_order_ && layout_->in_order(); }
  const LayoutSink& layout() const { return *layout_; }

  void Number(std::uint32_t row, std::uint32_t column, double value) override {
    if (holding()) {
      builder_->AddNumber(row, column, value);
      CheckFixed();
    } else if (Streams(row, column)) {
      chunk_->AddNumber(row, column, value);
      Spend(kMostPerFixedCell);
    }
  }
  void Date(std::uint32_t row, std::uint32_t column, double serial) override {
    if (holding()) {
      builder_->AddDate(row, column, serial);
      CheckFixed();
    } else if (Streams(row, column)) {
      chunk_->AddDate(row, column, serial);
      Spend(kMostPerFixedCell);
    }
  }
  void Boolean(std::uint32_t row, std::uint32_t column, bool value) override {
    if (holding()) {
      builder_->AddBoolean(row, column, value);
      CheckFixed();
    } else if (Streams(row, column)) {
      chunk_->AddBoolean(row, column, value);
      Spend(kMostPerFixedCell);
    }
  }
  void SharedText(std::uint32_t row, std::uint32_t column, std::uint32_t index) override {
    if (holding()) {
      builder_->AddSharedText(row, column, index);
      CheckFixed();
      return;
    }
    // The reader may not have checked it (its strings were not read yet):
    // the layout thread does, in order. A cell beyond the limits is
    // refused here, and one out of order is not learnt: those are checked
    // at once (first, as the layout does), after the cells before them.
    if (!Beyond(row, column) && Streams(row, column)) {
      chunk_->AddSharedText(row, column, index);
      Spend(kMostPerFixedCell);
      return;
    }
    FinishLayout();
    if (index >= Strings()->size()) missing_(row, column, index);
    if (Streams(row, column)) chunk_->AddSharedText(row, column, index);  // raises: beyond the limits
  }
  void Text(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    if (holding()) {
      builder_->AddText(row, column, text);
      Check();
    } else if (Streams(row, column)) {
      chunk_->AddText(row, column, text);
      Spend(kMostPerFixedCell + text.size());
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

  // What a batch for the layout thread may take: small enough to stay in
  // the caches, large enough that handing it over costs nothing.
  static constexpr std::size_t kBatchBytes = std::size_t{1} << 20;

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
    chunk_.emplace(nullptr, limits_);
    chunk_->CheckSharedLater();
    behind_.emplace([this](const CellBatch& batch) { Learn(batch.cells); });
    SheetCells held_cells = builder_->Finish();
    builder_.reset();
    if (held_cells.size() != 0) {
      const SheetCells::Row last = held_cells.row(held_cells.row_count() - 1);
      last_key_ = Key(last.number, held_cells.Column(last.end - 1));
    }
    behind_->filling().cells = std::move(held_cells);
    behind_->Hand();
  }

  static std::int64_t Key(std::uint32_t row, std::uint32_t column) {
    return static_cast<std::int64_t>(std::uint64_t{row} << 32 | column);
  }

  // After the hand-over: whether the cell goes to the layout, that is
  // whether it comes after the one before it. The first that does not
  // ends the learning, as it would for a LayoutSink (which checks the
  // limits first); later cells are ignored.
  bool Streams(std::uint32_t row, std::uint32_t column) {
    if (out_of_order_) return false;
    const std::int64_t key = Key(row, column);
    if (key > last_key_) {
      last_key_ = key;
      return true;
    }
    if (Beyond(row, column)) RaiseBeyondLimits(row, column, cut_);
    out_of_order_ = true;
    return false;
  }
  bool Beyond(std::uint32_t row, std::uint32_t column) const { return row >= cut_.rows || column >= cut_.columns; }

  // On the layout thread, batch by batch; main touches shared_ and
  // layout_ only once the thread is idle.
  void Learn(const SheetCells& cells) {
    if (!layout_) {
      shared_ = reader_.SharedStrings();
      layout_.emplace(*shared_, limits_);
      layout_->TellMissingSharedString(missing_);
    }
    layout_->TakeRows(cells, 0, cells.row_count());
  }

  // Counts what a cell added to the batch, which goes to the layout
  // thread once full.
  void Spend(std::size_t bytes) {
    batch_bytes_ += bytes;
    if (batch_bytes_ >= kBatchBytes) Flush();
  }
  void Flush() {
    batch_bytes_ = 0;
    behind_->filling().cells = chunk_->Finish();
    behind_->Hand();
  }

  const std::shared_ptr<const StringTable>& Strings() {
    if (!shared_) shared_ = reader_.SharedStrings();
    return shared_;
  }

  const WorkbookReader& reader_;
  std::size_t worksheet_;
  std::shared_ptr<const StringTable> shared_;
  SheetLimits limits_;
  SheetLimits cut_;  // the limits as the cells are checked against them
  std::size_t budget_;
  std::optional<SheetCellsBuilder> builder_;
  std::size_t unchecked_room_ = 0;  // see CheckFixed
  SheetCellsBuilder::MissingSharedString missing_;

  // After the hand-over.
  std::optional<LayoutSink> layout_;
  std::optional<SheetCellsBuilder> chunk_;  // the batch being filled
  std::size_t batch_bytes_ = 0;
  std::int64_t last_key_ = -1;  // of the last cell handed over
  bool out_of_order_ = false;
  std::optional<WorkBehind<CellBatch>> behind_;  // last: ended before the layout goes
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
    first.CheckCellsBefore();
    throw;
  }
  scan.reset();
  if (first.holding()) return std::make_unique<SheetTable>(first.TakeCells());
  first.FinishLayout();
  if (!first.in_order()) {
    // Cells out of order are sorted, so the sheet is held whole.
    scan = reader->ScanCells(worksheet);
    return std::make_unique<SheetTable>(ReadAllCells(*scan, reader->SharedStrings(), reader->Limits()));
  }
  return std::make_unique<StreamedSheetTable>(std::move(reader), worksheet, first.layout().layout(),
                                              first.layout().fingerprint());
}

}  // namespace platform::data::sheet
