#include <windows.h>

#include "platform/clock.h"

namespace setupext {

LocalTime LocalTimeNow() noexcept {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace setupext
