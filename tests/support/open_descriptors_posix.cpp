#include "support/open_descriptors.h"

#include <filesystem>

namespace testing_support {

int OpenDescriptorCount() {
  std::error_code error;
  int count = 0;
  for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
       it.increment(error)) {
    ++count;
  }
  return error ? -1 : count;
}

}  // namespace testing_support
