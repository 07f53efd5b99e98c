#include "platform/runtime/memory.h"

namespace platform {

// Windows gives large pages only to a process holding the "lock pages in
// memory" privilege, which ordinary users lack: nothing to ask for.
void PreferLargePages(const void* /*data*/, std::size_t /*bytes*/) noexcept {}

}  // namespace platform
