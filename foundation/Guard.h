#pragma once
// The one guard of every entry point from outside (host calls, callbacks, events, timer ticks,
// loop handlers): an exception never leaves it. It logs an Error "Exception caught in <where>:
// <what>" and answers the failure value.

#include <exception>
#include <utility>

#include "foundation/Log.h"
#include "foundation/QuilString.h"
#include "platform/com/ComError.h"

namespace NUtils {

namespace detail {
void logCaught(const char16_t* where, const char* what, const char* file, int line) noexcept;
void logFailure(const char16_t* errorLine, const char* what, const char* file, int line) noexcept;
}

// R fn(); answers failure when fn throws.
template <class R, class Fn>
R guarded(const char16_t* where, R failure, Fn&& fn, const char* file = __builtin_FILE(),
          int line = __builtin_LINE()) noexcept {
  try {
    return std::forward<Fn>(fn)();
  } catch (const std::exception& e) {
    detail::logCaught(where, e.what(), file, line);
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
    detail::logFailure(errorLine, quilstring(e.Description().empty() ? e.ErrorMessage() : e.Description()).toUtf8().c_str(), file, line);
  } catch (...) {
    detail::logFailure(errorLine, nullptr, file, line);
  }
  return false;
}

}  // namespace NUtils
