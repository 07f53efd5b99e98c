#include <windows.h>

#include "support/open_descriptors.h"

namespace testing_support {

// The process's handles: files, but also events, threads and keys, which
// stay the same across the runs a leak check compares.
int OpenDescriptorCount() {
  DWORD count = 0;
  return GetProcessHandleCount(GetCurrentProcess(), &count) ? static_cast<int>(count) : -1;
}

}  // namespace testing_support
