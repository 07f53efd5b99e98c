#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/provider.h"

// The data-access objects the conversion run talks to: a Connection opened
// with a connection text and a Recordset walking a static snapshot of
// rows. Every failing operation throws platform::Error.
//
// The run passes everything these objects take: user and password,
// options, cursor type, lock type and the cursor location. Our providers
// accept and ignore them all: they have no accounts, and every recordset
// is a static, read-only snapshot.
namespace platform::data {

inline constexpr int adStateClosed = 0;
inline constexpr int adStateOpen = 1;
inline constexpr int adOpenStatic = 3;
inline constexpr int adLockReadOnly = 1;
inline constexpr int adUseServer = 2;
inline constexpr int adUseClient = 3;
inline constexpr int adOptionUnspecified = -1;

class Recordset;

class Connection {
 public:
  // The factory must outlive the connection.
  explicit Connection(ProviderFactory& providers);
  // Releases the session without closing it: whatever the provider has
  // not finished stays as it is (a dBase table keeps the rows written).
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Picks the provider from the text (see ParseConnectionText) and opens
  // it.
  void Open(std::string_view connection_text, std::string_view user_id = "",
            std::string_view password = "", int options = adOptionUnspecified);

  // A rowset describing the data source (20 = its tables).
  std::unique_ptr<Recordset> OpenSchema(int schema);

  // Runs a statement that returns no rows.
  void Execute(std::string_view command_text, int options = adOptionUnspecified);

  // Finishes and closes the session; the connection can be opened again.
  void Close();

  int State() const { return session_ ? adStateOpen : adStateClosed; }
  int CursorLocation() const { return cursor_location_; }
  void SetCursorLocation(int location) { cursor_location_ = location; }

  // What the provider did to the data that the user should hear of; after
  // Close, what it told up to its end.
  const WarningList& Warnings() const;

  // The open session (raises 1003 when closed). For Recordset.
  Session& session();

 private:
  ProviderFactory& providers_;
  std::unique_ptr<Session> session_;
  WarningList closed_warnings_;
  int cursor_location_ = adUseServer;
};

class Field {
 public:
  const std::string& Name() const;
  std::int32_t DefinedSize() const;
  // The value in the current row (raises 1006 at EOF). In line: the run
  // asks for every value of every row.
  const Variant& Value() const;

 private:
  friend class Recordset;
  Field(const Recordset* owner, int index) : owner_(owner), index_(index) {}
  const Variant& ReadValue() const;
  const Recordset* owner_;
  int index_;
};

class Fields {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  // Raises 1007 for an index out of range.
  const Field& Item(int index) const {
    if (index < 0 || index >= Count()) RaiseOutOfRange(index);
    return items_[static_cast<std::size_t>(index)];
  }
  const Field& operator[](int index) const { return Item(index); }

 private:
  friend class Recordset;
  [[noreturn]] static void RaiseOutOfRange(int index);
  std::vector<Field> items_;
};

class Recordset {
 public:
  Recordset() = default;
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // Opens a static, read-only snapshot of the statement's rows (source is
  // the statement text as a Variant). Raises 1004... if already open.
  void Open(const Variant& source, Connection& active_connection,
            int cursor_type = adOpenStatic, int lock_type = adLockReadOnly,
            int options = adOptionUnspecified);
  // Adopts rows a provider produced (a schema rowset).
  void OpenRows(std::unique_ptr<RowSource> rows);
  void Close();
  int State() const { return rows_ ? adStateOpen : adStateClosed; }

  // True when there is no current row: the snapshot is empty or the
  // cursor moved past the last row. (Not named EOF: that is a C macro.)
  bool IsEOF() const {
    if (!rows_) RaiseClosed();
    return position_ >= row_count_;
  }
  void MoveFirst();
  // Raises 1006 when already past the last row.
  void MoveNext();
  std::int64_t RecordCount() const;
  const Fields& fields() const {
    if (!rows_) RaiseClosed();
    return fields_;
  }

 private:
  friend class Field;
  [[noreturn]] static void RaiseClosed();
  const RowSource& rows() const;
  // Reads the current row's values, all fields at once.
  void ReadRow() const;

  std::unique_ptr<RowSource> rows_;
  // The snapshot's rows, counted once: every value read checks against it.
  std::int64_t row_count_ = 0;
  Fields fields_;
  std::int64_t position_ = 0;
  // The values of row values_row_ (-1: none read), one a field.
  mutable std::vector<Variant> values_;
  mutable std::int64_t values_row_ = -1;
};

inline const Variant& Field::Value() const {
  // The values held are those of the current row: it is open and not at
  // EOF (a move or a close marks them stale).
  if (owner_->values_row_ == owner_->position_) return owner_->values_[static_cast<std::size_t>(index_)];
  return ReadValue();
}

}  // namespace platform::data
