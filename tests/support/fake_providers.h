#pragma once

#include <functional>
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

// Providers that serve a FakeWorkbook and, for the dBase side, create the
// staging file named by CREATE TABLE on the real file system (so moves and
// replacements act on real files) and append every insert to it, one line
// each.
class FakeProviders : public platform::data::ProviderFactory {
 public:
  explicit FakeProviders(FakeWorkbook workbook) : workbook_(std::move(workbook)) {}

  std::unique_ptr<platform::data::Session> OpenWorkbook(std::string_view path) override;
  std::unique_ptr<platform::data::Session> OpenDbase(std::string_view folder) override;

  ProviderLog log;
  InjectedFault fault;
  // Called from the dBase session after each insert (tests change state
  // mid-run with it).
  std::function<void(int insert_number)> after_insert;

  void MaybeFail(InjectedFault::At at);

 private:
  FakeWorkbook workbook_;
  int counts_[5] = {0, 0, 0, 0, 0};
};

}  // namespace testing_support
