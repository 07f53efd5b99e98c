#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/data/provider.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"

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

// Fails the Nth call (1-based) of one kind with a chosen error.
struct InjectedFault {
  enum class At { kNone, kOpenWorkbook, kQuery, kExecute, kClose };
  At at = At::kNone;
  int nth = 1;
  int number = 0;
  std::string description;
};

// Providers that serve workbooks from memory and, for the dBase side,
// create the staging file named by CREATE TABLE on the real file system (so
// moves and replacements act on real files) and append every insert to it,
// one line each after a first line "CREATE".
class FakeProviders : public platform::data::ProviderFactory {
 public:
  FakeProviders() = default;
  explicit FakeProviders(FakeWorkbook workbook) : workbook(std::move(workbook)) {}

  std::unique_ptr<platform::data::Session> OpenWorkbook(std::string_view path) override;
  std::unique_ptr<platform::data::Session> OpenDbase(std::string_view folder) override;

  // Served for any path, unless only_listed_paths: then only the paths in
  // workbooks_by_path open and any other fails (1101).
  FakeWorkbook workbook;
  bool only_listed_paths = false;
  std::map<std::string, FakeWorkbook> workbooks_by_path;
  ProviderLog log;
  InjectedFault fault;
  // Called before each insert is carried out, with its 1-based number;
  // throwing from it fails that insert.
  std::function<void(int insert_number)> on_insert;
  // What every dBase session reports as its warnings.
  platform::data::WarningList warnings;

  void MaybeFail(InjectedFault::At at);

 private:
  int counts_[5] = {0, 0, 0, 0, 0};
};

// The values part ("'1','苹果'") of each insert a fake dBase table holds.
std::vector<std::string> ReadInsertedValues(const std::string& path);

}  // namespace testing_support
