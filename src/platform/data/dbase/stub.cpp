// Placeholder until the dBase writer lands.
#include "platform/data/dbase/dbase_provider.h"
#include "platform/runtime/error.h"

namespace platform::data::dbase {
std::unique_ptr<Session> OpenDbaseSession(FileSystem&, const Clock&, std::string_view) {
  Raise(err::kNotSupported, "dBase 写入尚未实现");
}
}  // namespace platform::data::dbase
