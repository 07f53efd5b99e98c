#pragma once

#include <functional>

#include "platform/runtime/error.h"

namespace testing_support {

// The error f raises, as the program reports it (platform::CurrentError:
// any other exception becomes 51 or 7); Error(0, "") when it raises none,
// so a test's expectations on number and text fail visibly.
inline platform::Error ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (...) {
    return platform::CurrentError();
  }
  return platform::Error(0, "");
}

}  // namespace testing_support
