#pragma once

#include "platform/runtime/clock.h"

namespace platform {

// The local wall-clock time now, from the system (clock_posix.cpp,
// clock_win32.cpp).
LocalTime CurrentLocalTime();

}  // namespace platform
