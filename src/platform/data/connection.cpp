#include "platform/data/connection.h"

#include "platform/data/connection_text.h"
#include "platform/runtime/error.h"

namespace platform::data {

Connection::Connection(ProviderFactory& providers) : providers_(providers) {}

Connection::~Connection() = default;

void Connection::Open(std::string_view connection_text, std::string_view /*user_id*/,
                      std::string_view /*password*/, int /*options*/) {
  if (session_) Raise(err::kConnectionAlreadyOpen, "连接已经打开");
  const ConnectionTarget target = ParseConnectionText(connection_text);
  closed_warnings_ = {};
  session_ = target.kind == ConnectionTarget::Kind::kWorkbook
                 ? providers_.OpenWorkbook(target.location)
                 : providers_.OpenDbase(target.location);
}

std::unique_ptr<Recordset> Connection::OpenSchema(int schema) {
  auto recordset = std::make_unique<Recordset>();
  recordset->OpenRows(session().OpenSchema(schema));
  return recordset;
}

void Connection::Execute(std::string_view command_text, int /*options*/) {
  session().Execute(command_text);
}

void Connection::Close() {
  if (!session_) Raise(err::kConnectionClosed, "连接没有打开");
  // The session goes away whether or not Close succeeds: a failed close
  // must not be retried by a later one.
  std::unique_ptr<Session> session = std::move(session_);
  closed_warnings_ = session->DataWarnings();
  session->Close();
  closed_warnings_ = session->DataWarnings();
}

const WarningList& Connection::Warnings() const {
  return session_ ? session_->DataWarnings() : closed_warnings_;
}

Session& Connection::session() {
  if (!session_) Raise(err::kConnectionClosed, "连接没有打开");
  return *session_;
}

const std::string& Field::Name() const { return owner_->rows().Fields()[static_cast<std::size_t>(index_)].name; }

std::int32_t Field::DefinedSize() const {
  return owner_->rows().Fields()[static_cast<std::size_t>(index_)].defined_size;
}

const Variant& Field::ReadValue() const {
  if (owner_->IsEOF()) Raise(err::kNoCurrentRow, "没有当前记录（已到记录集末尾）");
  if (owner_->values_row_ != owner_->position_) owner_->ReadRow();
  return owner_->values_[static_cast<std::size_t>(index_)];
}

void Fields::RaiseOutOfRange(int index) {
  Raise(err::kFieldIndexOutOfRange, "字段序号超出范围：" + std::to_string(index));
}

void Recordset::Open(const Variant& source, Connection& active_connection, int /*cursor_type*/,
                     int /*lock_type*/, int /*options*/) {
  if (rows_) Raise(err::kConnectionAlreadyOpen, "记录集已经打开");
  OpenRows(active_connection.session().Query(source.ToText()));
}

void Recordset::OpenRows(std::unique_ptr<RowSource> rows) {
  if (rows_) Raise(err::kConnectionAlreadyOpen, "记录集已经打开");
  rows_ = std::move(rows);
  row_count_ = rows_->RowCount();
  position_ = 0;
  fields_.items_.clear();
  const auto count = rows_->Fields().size();
  fields_.items_.reserve(count);
  for (std::size_t i = 0; i < count; ++i) fields_.items_.push_back(Field(this, static_cast<int>(i)));
  values_.assign(count, Variant());
  values_row_ = -1;
}

void Recordset::Close() {
  if (!rows_) Raise(err::kRecordsetClosed, "记录集没有打开");
  fields_.items_.clear();
  values_.clear();
  values_row_ = -1;
  rows_.reset();
}

void Recordset::ReadRow() const {
  // Marked unread first: a row that fails to read is read again next time.
  values_row_ = -1;
  rows().ReadRow(position_, values_);
  values_row_ = position_;
}


void Recordset::MoveFirst() {
  rows();
  position_ = 0;
  // A row source may reuse its buffers from row to row: a value read
  // before the rewind must be read again.
  values_row_ = -1;
}

void Recordset::MoveNext() {
  if (IsEOF()) Raise(err::kNoCurrentRow, "没有当前记录（已到记录集末尾）");
  ++position_;
}

std::int64_t Recordset::RecordCount() const {
  rows();
  return row_count_;
}

void Recordset::RaiseClosed() { Raise(err::kRecordsetClosed, "记录集没有打开"); }

const RowSource& Recordset::rows() const {
  if (!rows_) RaiseClosed();
  return *rows_;
}

}  // namespace platform::data
