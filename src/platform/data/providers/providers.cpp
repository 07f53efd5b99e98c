#include "platform/data/dbase/dbase_provider.h"
#include "platform/data/providers/providers.h"
#include "platform/data/xls/workbook_provider.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"

namespace platform::data {
namespace {

class RealProviders : public ProviderFactory {
 public:
  RealProviders(FileSystem& file_system, const Clock& clock)
      : file_system_(file_system), clock_(clock) {}

  std::unique_ptr<Session> OpenWorkbook(std::string_view path) override {
    return xls::OpenWorkbookSession(file_system_, path);
  }
  std::unique_ptr<Session> OpenDbase(std::string_view folder) override {
    return dbase::OpenDbaseSession(file_system_, clock_, folder);
  }

 private:
  FileSystem& file_system_;
  const Clock& clock_;
};

}  // namespace

std::unique_ptr<ProviderFactory> MakeProviders(FileSystem& file_system, const Clock& clock) {
  return std::make_unique<RealProviders>(file_system, clock);
}

}  // namespace platform::data
