#pragma once
// Test hooks of the process-wide Chromium engine (chromiumPrintEngine()).

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/Export.h"

namespace platform::browser::detail {

// The browser's process id, or -1 when it has not been started.
QM_PLATFORM_API pid_t chromiumPidForTesting();
// How many times the browser was started in this process.
QM_PLATFORM_API int chromiumStartsForTesting();
// How many prints were taken from prints made ahead (printAhead, printDecorationAhead) in this
// process.
QM_PLATFORM_API int printsTakenAheadForTesting();
// Whether the document's print ahead has started (its load ahead ended), for its job to take.
QM_PLATFORM_API bool printingAheadForTesting(const std::filesystem::path& file);
// Whether the engine has no browser pipe, or has seen its pipe break (the browser gone).
QM_PLATFORM_API bool browserPipeBrokenForTesting();
// Told of each DevTools event from the browser's pipe, after the engine has handled it, inside
// the read that brought it; empty to stop.
QM_PLATFORM_API void setBrowserEventListenerForTesting(std::function<void(const std::string& method)> listener);

}  // namespace platform::browser::detail
