#pragma once
// Test hooks of the process-wide Chromium engine (chromiumPrintEngine()).

#include <sys/types.h>

#include "platform/Export.h"

namespace platform::browser::detail {

// The browser's process id, or -1 when it has not been started.
QM_PLATFORM_API pid_t chromiumPidForTesting();
// How many times the browser was started in this process.
QM_PLATFORM_API int chromiumStartsForTesting();

}  // namespace platform::browser::detail
