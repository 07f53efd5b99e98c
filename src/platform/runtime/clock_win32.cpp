#include <windows.h>

#include "platform/runtime/current_time.h"

namespace platform {

// The system's own local time: the time zone Windows is set to, whatever
// the C runtime's TZ variable says.
LocalTime CurrentLocalTime() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace platform
