#include "support/fake_providers.h"

#include <functional>

namespace testing_support {
namespace {

using platform::data::FieldInfo;
using platform::data::RowSource;
using platform::data::Session;
using platform::data::TableRowSource;

class FakeWorkbookSession : public Session {
 public:
  FakeWorkbookSession(FakeProviders& owner, const FakeWorkbook& workbook)
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
    owner_.MaybeFail(InjectedFault::At::kQuery);
    if (statement == "select * from  []") platform::Raise(1101, "找不到工作表：");
    return std::make_unique<TableRowSource>(workbook_.sheet.fields, workbook_.sheet.rows);
  }

  void Execute(std::string_view) override { platform::Raise(1102, "工作簿是只读的"); }
  void Close() override {}
  const std::vector<std::string>& Warnings() const override { return warnings_; }

 private:
  FakeProviders& owner_;
  const FakeWorkbook& workbook_;
  std::vector<std::string> warnings_;
};

class FakeDbaseSession : public Session {
 public:
  explicit FakeDbaseSession(FakeProviders& owner) : owner_(owner) {}

  std::unique_ptr<RowSource> OpenSchema(int) override { platform::Raise(1008, "不支持"); }
  std::unique_ptr<RowSource> Query(std::string_view) override { platform::Raise(1008, "不支持"); }

  void Execute(std::string_view statement) override {
    owner_.log.statements.emplace_back(statement);
    owner_.MaybeFail(InjectedFault::At::kExecute);
    constexpr std::string_view kCreate = "CREATE TABLE ";
    if (statement.substr(0, kCreate.size()) == kCreate) {
      const std::size_t end = statement.find(".dbf  (");
      const std::string path(statement.substr(kCreate.size(), end + 4 - kCreate.size()));
      file_ = platform::RealFileSystem().CreateExclusive(path);
      file_->Append("CREATE\n");
      warnings_.push_back("created " + path);
      return;
    }
    file_->Append(std::string(statement) + "\n");
    file_->Flush();
    if (owner_.after_insert) owner_.after_insert(++inserts_);
  }

  void Close() override {
    ++owner_.log.closes;
    owner_.MaybeFail(InjectedFault::At::kClose);
    if (file_) file_->Close();
  }

  const std::vector<std::string>& Warnings() const override { return warnings_; }

 private:
  FakeProviders& owner_;
  std::unique_ptr<platform::WritableFile> file_;
  std::vector<std::string> warnings_;
  int inserts_ = 0;
};

}  // namespace

void FakeProviders::MaybeFail(InjectedFault::At at) {
  const int count = ++counts_[static_cast<int>(at)];
  if (fault.at == at && count == fault.nth) platform::Raise(fault.number, fault.description);
}

std::unique_ptr<Session> FakeProviders::OpenWorkbook(std::string_view path) {
  log.opened.push_back("workbook:" + std::string(path));
  MaybeFail(InjectedFault::At::kOpenWorkbook);
  return std::make_unique<FakeWorkbookSession>(*this, workbook_);
}

std::unique_ptr<Session> FakeProviders::OpenDbase(std::string_view folder) {
  log.opened.push_back("dbase:" + std::string(folder));
  return std::make_unique<FakeDbaseSession>(*this);
}

}  // namespace testing_support
