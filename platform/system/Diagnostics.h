#pragma once
// Failures and notes the platform's layers report. Each goes to the sink the system installs
// (its log); an Error is also kept as the thread's last failure reason, so a caller that sees
// only a status code can still say why it failed.

#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Export.h"

namespace platform::diag {

// The system log's levels, in its order.
enum class Level { kInfo = 0, kError = 1, kWarning = 2, kDebug = 3 };

// file is the reporting source file's base name.
using Sink = std::function<void(Level level, std::string_view message, std::string_view file, int line)>;

// Replaces the sink; an empty one drops reports (the last failure is still kept).
QM_PLATFORM_API void setSink(Sink sink);

// Reports one line, "where: what". Never throws.
QM_PLATFORM_API void report(Level level, std::string_view where, std::string_view what,
                            const char* file = __builtin_FILE(), int line = __builtin_LINE()) noexcept;
inline void error(std::string_view where, std::string_view what,
                  const char* file = __builtin_FILE(), int line = __builtin_LINE()) noexcept {
  report(Level::kError, where, what, file, line);
}
inline void warning(std::string_view where, std::string_view what,
                    const char* file = __builtin_FILE(), int line = __builtin_LINE()) noexcept {
  report(Level::kWarning, where, what, file, line);
}

// The thread's last Error ("where: what"), empty when none since the last clear. Errors the
// system's own log writes are noted here too (noteFailure), so one place answers "why".
QM_PLATFORM_API std::string lastFailure();
QM_PLATFORM_API void clearLastFailure();
QM_PLATFORM_API void noteFailure(std::string_view text) noexcept;

// Runs fn; an exception is reported as an Error "Exception caught in <where>: <what>" and the
// failure value answered. For every entry point of the platform's layers from outside.
template <class R, class Fn>
R guarded(std::string_view where, R failure, Fn&& fn,
          const char* file = __builtin_FILE(), int line = __builtin_LINE()) noexcept {
  try {
    return fn();
  } catch (const std::exception& e) {
    report(Level::kError, std::string("Exception caught in ").append(where), e.what(), file, line);
  } catch (...) {
    report(Level::kError, std::string("Exception caught in ").append(where), "unknown exception", file, line);
  }
  return failure;
}

template <class Fn>
void guarded(std::string_view where, Fn&& fn, const char* file = __builtin_FILE(), int line = __builtin_LINE()) noexcept {
  try {
    fn();
  } catch (const std::exception& e) {
    report(Level::kError, std::string("Exception caught in ").append(where), e.what(), file, line);
  } catch (...) {
    report(Level::kError, std::string("Exception caught in ").append(where), "unknown exception", file, line);
  }
}

}  // namespace platform::diag
