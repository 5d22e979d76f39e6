#pragma once
// kernel32's tick count: milliseconds of a monotonic clock. The 32-bit count wraps after about
// 49.7 days as Windows' does, so callers subtract ticks as unsigned values.

#include "platform/Export.h"
#include "platform/WinTypes.h"

QM_PLATFORM_API DWORD GetTickCount();
QM_PLATFORM_API ULONGLONG GetTickCount64();

namespace platform::system {

// From now on the tick count starts at base and advances with the clock (a base just below
// 2^32 makes the 32-bit count wrap soon). resetTickForTesting returns to the real clock.
QM_PLATFORM_API void setTickBaseForTesting(ULONGLONG base);
QM_PLATFORM_API void resetTickForTesting();

}  // namespace platform::system
