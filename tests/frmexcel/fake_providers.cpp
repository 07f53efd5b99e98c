#include "frmexcel/fake_providers.h"

#include <fstream>
#include <sstream>

#include "platform/data/connection.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"

namespace frmexcel_test {
namespace {

using platform::data::FieldInfo;
using platform::data::RowSource;
using platform::data::TableRowSource;

constexpr int kFakeWorkbookError = 1101;

class WorkbookSession : public platform::data::Session {
 public:
  explicit WorkbookSession(FakeSheet sheet) : sheet_(std::move(sheet)) {}

  std::unique_ptr<RowSource> OpenSchema(int) override {
    std::vector<FieldInfo> fields{{"TABLE_CATALOG", 0}, {"TABLE_SCHEMA", 0}, {"TABLE_NAME", 0}};
    std::vector<std::vector<platform::Variant>> rows{
        {platform::Variant(), platform::Variant(), platform::Variant::Text("Sheet1$")}};
    return std::make_unique<TableRowSource>(std::move(fields), std::move(rows));
  }
  std::unique_ptr<RowSource> Query(std::string_view statement) override {
    if (statement.find("[Sheet1$]") == std::string_view::npos) {
      platform::Raise(kFakeWorkbookError, "找不到工作表");
    }
    return std::make_unique<TableRowSource>(sheet_.fields, sheet_.rows);
  }
  void Execute(std::string_view) override {
    platform::Raise(platform::err::kNotSupported, "工作簿是只读的");
  }
  void Close() override {}
  const std::vector<std::string>& Warnings() const override { return warnings_; }

 private:
  FakeSheet sheet_;
  std::vector<std::string> warnings_;
};

// The path a statement names: the text after `head` up to the two spaces
// that open its column list.
std::string NamedPath(std::string_view statement, std::string_view head) {
  statement.remove_prefix(head.size());
  while (!statement.empty() && statement.front() == ' ') statement.remove_prefix(1);
  return std::string(statement.substr(0, statement.find("  (")));
}

class DbaseSession : public platform::data::Session {
 public:
  explicit DbaseSession(FakeProviders& owner) : owner_(owner) {}

  std::unique_ptr<RowSource> OpenSchema(int) override {
    platform::Raise(platform::err::kNotSupported, "不支持");
  }
  std::unique_ptr<RowSource> Query(std::string_view) override {
    platform::Raise(platform::err::kNotSupported, "不支持");
  }
  void Execute(std::string_view statement) override {
    if (statement.starts_with("CREATE TABLE ")) {
      path_ = NamedPath(statement, "CREATE TABLE ");
      file_ = platform::RealFileSystem().CreateExclusive(path_);
      return;
    }
    if (!statement.starts_with("insert into ") || !file_) {
      platform::Raise(1201, "无法执行语句");
    }
    ++inserts_;
    if (owner_.on_insert) owner_.on_insert(inserts_);
    const std::size_t values = statement.find(" values (");
    std::string line(statement.substr(values + 9));
    line.pop_back();  // the closing parenthesis
    file_->Append(line + "\n");
    file_->Flush();
  }
  void Close() override {
    if (file_) file_->Close();
    file_.reset();
  }
  const std::vector<std::string>& Warnings() const override { return owner_.warnings; }

 private:
  FakeProviders& owner_;
  std::string path_;
  std::unique_ptr<platform::WritableFile> file_;
  int inserts_ = 0;
};

}  // namespace

std::unique_ptr<platform::data::Session> FakeProviders::OpenWorkbook(std::string_view path) {
  const auto found = workbooks.find(std::string(path));
  if (found == workbooks.end()) {
    platform::Raise(kFakeWorkbookError, "无法打开工作簿：" + std::string(path));
  }
  return std::make_unique<WorkbookSession>(found->second);
}

std::unique_ptr<platform::data::Session> FakeProviders::OpenDbase(std::string_view) {
  return std::make_unique<DbaseSession>(*this);
}

std::vector<std::string> ReadTableLines(const std::string& path) {
  std::ifstream in(platform::ToFsPath(path), std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace frmexcel_test
