#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/data/provider.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"
#include "support/fault_plan.h"

namespace testing_support {

// A workbook as the fake workbook provider serves it.
struct FakeSheet {
  std::vector<platform::data::FieldInfo> fields;
  std::vector<std::vector<platform::Variant>> rows;
};

struct FakeWorkbook {
  std::vector<std::string> table_names{"Sheet1$"};  // as the schema lists them
  FakeSheet sheet;                                    // served for any select
};

// What the fake providers saw, in order.
struct ProviderLog {
  std::vector<std::string> opened;      // "workbook:<path>" / "dbase:<folder>"
  std::vector<std::string> queries;     // select statements
  std::vector<std::string> statements;  // CREATE TABLE and insert texts
  int closes = 0;
};

// Providers that serve workbooks from memory and, for the dBase side,
// create the staging file named by CREATE TABLE through the file system
// they are given (so moves and replacements act on its files) and append
// every insert to it, one line each after a first line "CREATE". Their
// fault plan fails any call of ProviderOp with a chosen error; they raise
// their own errors with the numbers the real providers use.
class FakeProviders : public platform::data::ProviderFactory, public FaultPlan<ProviderOp> {
 public:
  using Op = ProviderOp;

  explicit FakeProviders(platform::FileSystem& file_system, FakeWorkbook workbook = {})
      : workbook(std::move(workbook)), file_system_(file_system) {}

  std::unique_ptr<platform::data::Session> OpenWorkbook(std::string_view path) override;
  std::unique_ptr<platform::data::Session> OpenDbase(std::string_view folder) override;

  platform::FileSystem& file_system() const { return file_system_; }

  // Served for any path, unless only_listed_paths: then only the paths in
  // workbooks_by_path open and any other is missing (53).
  FakeWorkbook workbook;
  bool only_listed_paths = false;
  std::map<std::string, FakeWorkbook> workbooks_by_path;
  ProviderLog log;
  // Called before each insert is carried out, with its 1-based number;
  // throwing from it fails that insert.
  std::function<void(int insert_number)> on_insert;
  // What every dBase session reports as its warnings.
  platform::data::WarningList warnings;

 private:
  platform::FileSystem& file_system_;
};

// The values part ("'1','苹果'") of each insert a fake dBase table holds.
std::vector<std::string> ReadInsertedValues(const std::string& path);

}  // namespace testing_support
