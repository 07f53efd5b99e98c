#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/warnings.h"
#include "platform/runtime/variant.h"

// What a data provider offers the data-access objects (Connection,
// Recordset). Two providers exist: the workbook provider reads .xls files,
// the dBase provider writes .dbf files.
namespace platform::data {

// The schema rowset listing a data source's tables.
inline constexpr int adSchemaTables = 20;

struct FieldInfo {
  std::string name;               // UTF-8
  std::int32_t defined_size = 0;  // declared width in characters/bytes
};

// The rows behind a static cursor: all of them known when it opens.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual const std::vector<FieldInfo>& Fields() const = 0;
  // Fixed once the rows are made: a recordset counts them once.
  virtual std::int64_t RowCount() const = 0;
  // Fills out with the value of one cell; row < RowCount(), field <
  // Fields().size(). Reuses out's buffer. Text that out views may be
  // valid only until a value of another row is read.
  virtual void ReadValue(std::int64_t row, int field, Variant& out) const = 0;
  // Every field of one row at once (out.size() == Fields().size()): what
  // ReadValue gives field by field, text valid as long. A recordset reads
  // its rows this way, one call a row instead of one a value.
  virtual void ReadRow(std::int64_t row, std::span<Variant> out) const {
    for (std::size_t i = 0; i < out.size(); ++i) ReadValue(row, static_cast<int>(i), out[i]);
  }
};

// A RowSource over values held in memory; the schema rowset and tests use
// it.
class TableRowSource : public RowSource {
 public:
  TableRowSource(std::vector<FieldInfo> fields,
                 std::vector<std::vector<Variant>> rows)
      : fields_(std::move(fields)), rows_(std::move(rows)) {}
  const std::vector<FieldInfo>& Fields() const override { return fields_; }
  std::int64_t RowCount() const override {
    return static_cast<std::int64_t>(rows_.size());
  }
  void ReadValue(std::int64_t row, int field, Variant& out) const override {
    out = rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(field)];
  }

 private:
  std::vector<FieldInfo> fields_;
  std::vector<std::vector<Variant>> rows_;
};

// One open connection to a provider. Every method throws platform::Error
// on failure.
class Session {
 public:
  virtual ~Session() = default;
  // A schema rowset (adSchemaTables); providers without one raise 1008.
  virtual std::unique_ptr<RowSource> OpenSchema(int schema) = 0;
  // Runs a row-returning statement (select).
  virtual std::unique_ptr<RowSource> Query(std::string_view statement) = 0;
  // Runs a statement that returns no rows (CREATE TABLE, insert).
  virtual void Execute(std::string_view statement) = 0;
  // Finishes all work: after Close returns, every file the session wrote
  // is complete on disk.
  virtual void Close() = 0;
  // What the provider did to the data that the user should hear of (a
  // field renamed, a value cut), so far. A provider that changes nothing
  // keeps this default: none.
  virtual const WarningList& DataWarnings() const {
    static const WarningList kNone;
    return kNone;
  }
};

// Opens provider sessions from parsed connection texts. The program makes
// the real ones with MakeProviders() (providers/providers.h); tests wrap a
// factory to inject faults.
class ProviderFactory {
 public:
  virtual ~ProviderFactory() = default;
  // The workbook at path, read as a database, first row as column names.
  virtual std::unique_ptr<Session> OpenWorkbook(std::string_view path) = 0;
  // dBase III tables in folder.
  virtual std::unique_ptr<Session> OpenDbase(std::string_view folder) = 0;
};

}  // namespace platform::data
