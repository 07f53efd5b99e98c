#include "support/fake_providers.h"

#include <functional>

#include "support/temp_dir.h"

namespace testing_support {
namespace {

using platform::data::FieldInfo;
using platform::data::RowSource;
using platform::data::Session;
using platform::data::TableRowSource;

class FakeWorkbookSession : public Session {
 public:
  FakeWorkbookSession(FakeProviders& owner, FakeWorkbook workbook)
      : owner_(owner), workbook_(workbook) {}

  std::unique_ptr<RowSource> OpenSchema(int) override {
    std::vector<std::vector<platform::Variant>> rows;
    for (const std::string& name : workbook_.table_names) {
      rows.push_back({platform::Variant(), platform::Variant(), platform::Variant::Text(name),
                      platform::Variant::Text("TABLE")});
    }
    return std::make_unique<TableRowSource>(
        std::vector<FieldInfo>{{"TABLE_CATALOG", 0}, {"TABLE_SCHEMA", 0}, {"TABLE_NAME", 0},
                               {"TABLE_TYPE", 0}},
        std::move(rows));
  }

  std::unique_ptr<RowSource> Query(std::string_view statement) override {
    owner_.log.queries.emplace_back(statement);
    owner_.Check(ProviderOp::kQuery);
    if (statement == "select * from  []") {
      platform::Raise(platform::err::kTableNotFound, "找不到表：语句中的表名是空的（工作簿中没有工作表？）");
    }
    return std::make_unique<TableRowSource>(workbook_.sheet.fields, workbook_.sheet.rows);
  }

  void Execute(std::string_view) override {
    platform::Raise(platform::err::kWorkbookReadOnly, "工作簿只能读取，不能执行修改语句");
  }
  void Close() override {}

 private:
  FakeProviders& owner_;
  FakeWorkbook workbook_;
};

class FakeDbaseSession : public Session {
 public:
  explicit FakeDbaseSession(FakeProviders& owner) : owner_(owner) {}

  std::unique_ptr<RowSource> OpenSchema(int) override {
    platform::Raise(platform::err::kNotSupported, "dBase 连接不提供架构行集");
  }
  std::unique_ptr<RowSource> Query(std::string_view) override {
    platform::Raise(platform::err::kNotSupported, "dBase 连接不支持查询");
  }

  void Execute(std::string_view statement) override {
    owner_.log.statements.emplace_back(statement);
    owner_.Check(ProviderOp::kExecute);
    constexpr std::string_view kCreate = "CREATE TABLE ";
    if (statement.substr(0, kCreate.size()) == kCreate) {
      const std::size_t end = statement.find(".dbf  (");
      const std::string path(statement.substr(kCreate.size(), end + 4 - kCreate.size()));
      file_ = owner_.file_system().CreateExclusive(path);
      file_->Append("CREATE\n");
      return;
    }
    if (owner_.on_insert) owner_.on_insert(++inserts_);
    file_->Append(std::string(statement) + "\n");
    file_->Flush();
  }

  void Close() override {
    ++owner_.log.closes;
    owner_.Check(ProviderOp::kClose);
    if (file_) file_->Close();
  }

  const platform::data::WarningList& DataWarnings() const override { return owner_.warnings; }

 private:
  FakeProviders& owner_;
  std::unique_ptr<platform::WritableFile> file_;
  int inserts_ = 0;
};

}  // namespace

std::unique_ptr<Session> FakeProviders::OpenWorkbook(std::string_view path) {
  log.opened.push_back("workbook:" + std::string(path));
  Check(ProviderOp::kOpenWorkbook);
  if (!only_listed_paths) return std::make_unique<FakeWorkbookSession>(*this, workbook);
  const auto it = workbooks_by_path.find(std::string(path));
  if (it == workbooks_by_path.end()) {
    platform::Raise(platform::err::kFileNotFound, "找不到文件：" + std::string(path));
  }
  return std::make_unique<FakeWorkbookSession>(*this, it->second);
}

std::unique_ptr<Session> FakeProviders::OpenDbase(std::string_view folder) {
  log.opened.push_back("dbase:" + std::string(folder));
  Check(ProviderOp::kOpenDbase);
  return std::make_unique<FakeDbaseSession>(*this);
}

std::vector<std::string> ReadInsertedValues(const std::string& path) {
  constexpr std::string_view kValues = ")  values (";
  std::vector<std::string> values;
  const std::string bytes = ReadFileBytes(path);
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find('\n', start);
    const std::string_view line(bytes.data() + start, (end == std::string::npos ? bytes.size() : end) - start);
    const std::size_t at = line.find(kValues);
    if (at != std::string_view::npos) {
      values.emplace_back(line.substr(at + kValues.size(), line.size() - at - kValues.size() - 1));
    }
    start = end == std::string::npos ? bytes.size() : end + 1;
  }
  return values;
}

}  // namespace testing_support
