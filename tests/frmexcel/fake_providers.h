#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/data/provider.h"

namespace frmexcel_test {

// One sheet held in memory: its columns and rows.
struct FakeSheet {
  std::vector<platform::data::FieldInfo> fields;
  std::vector<std::vector<platform::Variant>> rows;
};

// Providers for the window tests: workbooks come from memory, dBase
// tables are plain files on disk (one line per inserted row: the values
// part of the insert statement), so that the run's own staging, moving
// and clean-up work on real files in a test's folder.
class FakeProviders : public platform::data::ProviderFactory {
 public:
  // Workbooks by path; any other path fails to open (1101).
  std::map<std::string, FakeSheet> workbooks;
  // Called before each insert is carried out, with its 1-based number;
  // throwing from it fails that insert.
  std::function<void(int insert)> on_insert;
  // Warnings every dBase session reports.
  std::vector<std::string> warnings;

  std::unique_ptr<platform::data::Session> OpenWorkbook(std::string_view path) override;
  std::unique_ptr<platform::data::Session> OpenDbase(std::string_view folder) override;
};

// The lines of a table the fake dBase session wrote.
std::vector<std::string> ReadTableLines(const std::string& path);

}  // namespace frmexcel_test
