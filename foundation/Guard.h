#pragma once
// The one guard of every entry point from outside (host calls, callbacks, events, timer ticks,
// loop handlers): an exception never leaves it. It logs an Error "Exception caught in <where>:
// <what>" and answers the failure value.

#include <exception>
#include <string>
#include <utility>

#include "foundation/Log.h"
#include "foundation/QuilString.h"
#include "platform/com/ComError.h"

namespace NUtils {

namespace detail {
void logCaught(const char16_t* where, const char* what, const char* file, int line) noexcept;
void logFailure(const char16_t* errorLine, const char* what, const char* file, int line) noexcept;
// Debug "<what> (<reason>)"; with lastReason, only when the reason is not the one noted there.
void logMiss(const char16_t* what, const char* reason, quilstring* lastReason, const char* file, int line) noexcept;
std::string reasonOf(const _com_error& e);
}

// R fn(); answers failure when fn throws.
template <class R, class Fn>
R guarded(const char16_t* where, R failure, Fn&& fn, const char* file = __builtin_FILE(),
          int line = __builtin_LINE()) noexcept {
  try {
    return std::forward<Fn>(fn)();
  } catch (const std::exception& e) {
    detail::logCaught(where, e.what(), file, line);
  } catch (const _com_error& e) {
    detail::logCaught(where, detail::reasonOf(e).c_str(), file, line);
  } catch (...) {
    detail::logCaught(where, nullptr, file, line);
  }
  return failure;
}

// void fn(); answers whether it returned without an exception.
template <class Fn>
bool guarded(const char16_t* where, Fn&& fn, const char* file = __builtin_FILE(), int line = __builtin_LINE()) noexcept {
  try {
    std::forward<Fn>(fn)();
    return true;
  } catch (const std::exception& e) {
    detail::logCaught(where, e.what(), file, line);
  } catch (const _com_error& e) {
    detail::logCaught(where, detail::reasonOf(e).c_str(), file, line);
  } catch (...) {
    detail::logCaught(where, nullptr, file, line);
  }
  return false;
}

// void fn(); a failure logs the caller's own Error line, followed by the reason in brackets.
template <class Fn>
bool guardedAs(const char16_t* errorLine, Fn&& fn, const char* file = __builtin_FILE(),
               int line = __builtin_LINE()) noexcept {
  try {
    std::forward<Fn>(fn)();
    return true;
  } catch (const std::exception& e) {
    detail::logFailure(errorLine, e.what(), file, line);
  } catch (const _com_error& e) {
    detail::logFailure(errorLine, detail::reasonOf(e).c_str(), file, line);
  } catch (...) {
    detail::logFailure(errorLine, nullptr, file, line);
  }
  return false;
}

// void fn() whose failure is a miss the design expects (a bar or control that need not be there):
// it is logged at Debug only, "<what> (<reason>)". Code that retries on every tick passes
// lastReason, so that a miss is told once until its reason changes or fn succeeds.
template <class Fn>
bool guardedQuietly(const char16_t* what, Fn&& fn, quilstring* lastReason = nullptr,
                    const char* file = __builtin_FILE(), int line = __builtin_LINE()) noexcept {
  try {
    std::forward<Fn>(fn)();
    if (lastReason) lastReason->clear();
    return true;
  } catch (const std::exception& e) {
    detail::logMiss(what, e.what(), lastReason, file, line);
  } catch (const _com_error& e) {
    detail::logMiss(what, detail::reasonOf(e).c_str(), lastReason, file, line);
  } catch (...) {
    detail::logMiss(what, nullptr, lastReason, file, line);
  }
  return false;
}

}  // namespace NUtils
