#pragma once

namespace testing_support {

// How many descriptors this process has open, for leak checks: the
// entries of /proc/self/fd on Linux, the process's handles on Windows; -1
// where that cannot be counted.
int OpenDescriptorCount();

}  // namespace testing_support
