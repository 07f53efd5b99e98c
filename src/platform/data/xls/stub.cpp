// Placeholder until the workbook reader lands.
#include "platform/data/xls/workbook_provider.h"
#include "platform/runtime/error.h"

namespace platform::data::xls {
std::unique_ptr<Session> OpenWorkbookSession(const FileSystem&, std::string_view) {
  Raise(err::kNotSupported, "工作簿读取尚未实现");
}
}  // namespace platform::data::xls
