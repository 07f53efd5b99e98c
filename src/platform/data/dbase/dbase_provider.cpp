#include "platform/data/dbase/dbase_provider.h"

#include <array>
#include <cstring>
#include <exception>
#include <utility>

#include "platform/codepage/codepage.h"
#include "platform/data/dbase/dbf_writer.h"
#include "platform/data/dbase/field_names.h"
#include "platform/data/dbase/statement.h"
#include "platform/data/dbase/write_behind.h"
#include "platform/data/warnings.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"

namespace platform::data::dbase {
namespace {

// Rows handed to the writing thread at a time: enough that handing over
// costs nothing per row, few enough that the table on disk stays close
// behind the rows sent.
constexpr std::size_t kRowsPerHandOver = 256;
constexpr std::size_t kBytesPerHandOver = std::size_t{256} << 10;
// Batches handed and not yet written, at most: enough that neither side
// waits for the other while a third thread has the core.
constexpr std::size_t kBatchesAhead = 4;

// Field-name warnings are all listed (at most one of each kind per
// field); value warnings up to this many per kind, then only counted.
constexpr std::size_t kListedPerKind = 100;

class WarningLog {
 public:
  void AddFieldWarning(WarningKind kind, const std::string& field, std::string text) {
    warnings_.listed.push_back({kind, field, 0, std::move(text)});
  }
  // False when the warning is not to be listed (the caller then skips
  // building its text); it is counted.
  bool WantsValueWarning(WarningKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    if (listed_values_[index] < kListedPerKind) return true;
    ++warnings_.unlisted[index];
    return false;
  }
  void AddValueWarning(WarningKind kind, const std::string& field, std::int64_t row,
                       std::string text) {
    ++listed_values_[static_cast<std::size_t>(kind)];
    warnings_.listed.push_back({kind, field, row, std::move(text)});
  }
  const WarningList& warnings() const { return warnings_; }

 private:
  WarningList warnings_;
  std::array<std::size_t, kWarningKindCount> listed_values_{};
};

// A table this session created: what inserts are matched against and
// where their rows go.
struct Table {
  std::string path;
  std::vector<std::string> column_names;  // as the CREATE TABLE wrote them
  std::string insert_head;                // see InsertHead
  std::unique_ptr<DbfWriter> writer;
};

// A value of the row on its way in that a warning is to tell of.
struct ValueNote {
  std::size_t field = 0;
  std::size_t full_length = 0;  // its code page 936 bytes before any cut
  std::size_t kept = 0;         // the bytes written
  std::size_t four_byte = 0;    // characters written in their GB18030 form
};

// The characters of code page 936 bytes that the code page itself cannot
// hold (written in their GB18030 form), as codepage counts them.
std::size_t NotInCp936(std::string_view cp936, std::string& scratch) {
  scratch.clear();
  return codepage::AppendCp936(codepage::FromCp936(cp936), scratch);
}

class DbaseSession final : public Session {
 public:
  DbaseSession(FileSystem& file_system, const Clock& clock, std::string_view folder,
               WriteMode mode)
      : file_system_(file_system), clock_(clock), folder_(folder) {
    if (mode == WriteMode::kOnThread) {
      behind_ = std::make_unique<WriteBehind>([this](const StatementBatch& inserts) { InsertAll(inserts); },
                                              kBatchesAhead);
    }
  }

  // Tables not closed keep the rows inserted so far: the rows on their way
  // are written, then each writer finishes its file on the way out.
  ~DbaseSession() override {
    if (!behind_) return;
    try {
      behind_->Finish();
    } catch (...) {
      // Destruction finishes what it can; Close is where errors are told.
    }
    behind_.reset();
  }
  DbaseSession(const DbaseSession&) = delete;
  DbaseSession& operator=(const DbaseSession&) = delete;

  std::unique_ptr<RowSource> OpenSchema(int /*schema*/) override {
    Raise(err::kNotSupported, "dBase 连接不提供架构行集");
  }

  std::unique_ptr<RowSource> Query(std::string_view statement) override {
    Raise(err::kNotSupported, "dBase 连接不支持查询：" + StatementStart(statement));
  }

  void Execute(std::string_view statement) override {
    if (closed_) Raise(err::kDbaseSessionClosed, "dBase 连接已经关闭");
    switch (ClassifyStatement(statement)) {
      case StatementKind::kCreateTable:
        // The tables' list changes and field warnings are added: only once
        // the rows sent before are in.
        if (behind_) behind_->Finish();
        CreateTable(ParseCreateTable(statement, folder_));
        break;
      case StatementKind::kInsert:
        if (behind_) {
          StatementBatch& batch = behind_->filling();
          batch.Add(statement);
          // A failure is told at the next insert, not a batch later.
          if (batch.count() >= kRowsPerHandOver || batch.byte_count() >= kBytesPerHandOver ||
              behind_->failed()) {
            behind_->Hand();
          }
        } else {
          ParseAndInsert(statement);
        }
        break;
    }
  }

  void Close() override {
    if (closed_) return;
    closed_ = true;
    std::exception_ptr first;
    if (behind_) {
      try {
        behind_->Finish();
      } catch (...) {
        first = std::current_exception();
      }
    }
    // Every table is closed even when one fails; the first error is raised.
    for (const auto& table : tables_) {
      try {
        table->writer->Close();
      } catch (...) {
        if (!first) first = std::current_exception();
      }
    }
    if (first) std::rethrow_exception(first);
  }

  // Complete for the rows sent only once the session is closed.
  const WarningList& DataWarnings() const override { return warnings_.warnings(); }

 private:
  // On the writing thread: the tables and targets stay as they are while
  // it works (a CREATE TABLE waits for it first).
  void InsertAll(const StatementBatch& inserts) {
    for (std::size_t i = 0; i < inserts.count(); ++i) ParseAndInsert(inserts.text(i));
  }

  void ParseAndInsert(std::string_view statement) {
    ParseInsert(statement, targets_, insert_);
    Insert(*tables_[insert_.table], insert_.values);
  }

  void CreateTable(CreateTableStatement create) {
    std::vector<std::string> names;
    names.reserve(create.columns.size());
    for (const ColumnDefinition& column : create.columns) names.push_back(column.name);
    // Everything is checked before the file exists: a refused table
    // leaves nothing behind.
    const std::vector<FieldName> field_names = MakeFieldNames(names);
    std::vector<DbfField> fields;
    fields.reserve(field_names.size());
    for (std::size_t i = 0; i < field_names.size(); ++i) {
      fields.push_back({field_names[i].bytes, create.columns[i].width});
    }
    CheckFields(fields);

    auto file = file_system_.CreateExclusive(create.path);
    std::unique_ptr<DbfWriter> writer;
    try {
      writer = std::make_unique<DbfWriter>(std::move(file), std::move(fields), clock_);
    } catch (...) {
      try {
        file_system_.DeleteFile(create.path, true);
      } catch (...) {
        // The header error is the one to report.
      }
      throw;
    }

    for (std::size_t i = 0; i < field_names.size(); ++i) {
      const FieldName& name = field_names[i];
      const std::string written = codepage::FromCp936(name.bytes);
      if (name.numbered) {
        warnings_.AddFieldWarning(WarningKind::kFieldRenamed, names[i],
                                  "字段名“" + names[i] + "”与前面的字段重名，改为“" + written + "”");
      } else if (name.shortened) {
        warnings_.AddFieldWarning(WarningKind::kFieldNameCut, names[i],
                                  "字段名“" + names[i] + "”超过 10 个字节，改为“" + written + "”");
      }
      if (name.four_byte > 0) {
        warnings_.AddFieldWarning(WarningKind::kFieldNameFourByte, names[i],
                                  "字段名“" + names[i] + "”中有 " + std::to_string(name.four_byte) +
                                      " 个字符不在代码页 936 中，以 GB18030 形式写入");
      }
    }

    auto table = std::make_unique<Table>();
    table->path = std::move(create.path);
    table->column_names = std::move(names);
    table->insert_head = InsertHead(table->path, table->column_names);
    table->writer = std::move(writer);
    tables_.push_back(std::move(table));
    // The targets view the tables' strings, which stay where they are.
    targets_.clear();
    for (const auto& t : tables_) targets_.push_back({t->path, t->column_names, t->insert_head});
  }

  // Each value is encoded straight into its place in the record; only a
  // value longer than its field takes the way through a string, to be cut
  // on a character boundary.
  void Insert(Table& table, std::span<const std::string_view> values) {
    DbfWriter& writer = *table.writer;
    const std::vector<DbfField>& fields = writer.fields();
    notes_.clear();
    char* field = writer.BeginRecord();
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const auto width = static_cast<std::size_t>(fields[i].width);
      std::size_t four_byte = 0;
      const std::size_t written = codepage::WriteCp936(values[i], field, width, four_byte);
      if (written != codepage::kDoesNotFit) {
        if (four_byte > 0) notes_.push_back({i, written, written, four_byte});
      } else {
        std::string& bytes = value_;
        bytes.clear();
        four_byte = codepage::AppendCp936(values[i], bytes);
        const std::size_t full_length = bytes.size();
        bytes.resize(codepage::Cp936PrefixLength(bytes, width));
        if (four_byte > 0) four_byte = NotInCp936(bytes, scratch_);
        // The field may hold part of what did not fit: written over whole.
        std::memcpy(field, bytes.data(), bytes.size());
        std::memset(field + bytes.size(), kPadding, width - bytes.size());
        notes_.push_back({i, full_length, bytes.size(), four_byte});
      }
      field += width;
    }
    writer.EndRecord();

    // Told only once the row is in.
    const std::int64_t row = writer.record_count();
    for (const ValueNote& note : notes_) {
      const std::string& name = table.column_names[note.field];
      if (note.full_length > note.kept && warnings_.WantsValueWarning(WarningKind::kValueCut)) {
        warnings_.AddValueWarning(WarningKind::kValueCut, name, row,
                                  "第 " + std::to_string(row) + " 行字段“" + name + "”的值长 " +
                                      std::to_string(note.full_length) + " 个字节，超过字段宽度 " +
                                      std::to_string(fields[note.field].width) + "，截断为 " +
                                      std::to_string(note.kept) + " 个字节");
      }
      if (note.four_byte > 0 && warnings_.WantsValueWarning(WarningKind::kValueFourByte)) {
        warnings_.AddValueWarning(WarningKind::kValueFourByte, name, row,
                                  "第 " + std::to_string(row) + " 行字段“" + name + "”中有 " +
                                      std::to_string(note.four_byte) +
                                      " 个字符不在代码页 936 中，以 GB18030 形式写入");
      }
    }
  }

  FileSystem& file_system_;
  const Clock& clock_;
  std::string folder_;
  std::vector<std::unique_ptr<Table>> tables_;
  std::vector<InsertTarget> targets_;
  InsertStatement insert_;
  std::vector<ValueNote> notes_;  // the row's, reused from row to row
  std::string value_;
  std::string scratch_;
  WarningLog warnings_;
  bool closed_ = false;
  // Last: it ends its thread before anything the rows need goes.
  std::unique_ptr<WriteBehind> behind_;
};

}  // namespace

std::unique_ptr<Session> OpenDbaseSession(FileSystem& file_system, const Clock& clock,
                                          std::string_view folder, WriteMode mode) {
  return std::make_unique<DbaseSession>(file_system, clock, folder, mode);
}

}  // namespace platform::data::dbase
