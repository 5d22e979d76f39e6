#include "platform/system/Diagnostics.h"

#include <mutex>

namespace platform::diag {
namespace {

struct State {
  std::mutex mutex;
  Sink sink;
};

// Never destroyed: reports may come from static destructors.
State& state() {
  static State* s = new State;
  return *s;
}

thread_local std::string t_lastFailure;

std::string_view baseName(const char* file) {
  std::string_view name = file ? file : "";
  const std::size_t slash = name.find_last_of("/\\");
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

}  // namespace

void setSink(Sink sink) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().sink = std::move(sink);
}

void report(Level level, std::string_view where, std::string_view what, const char* file, int line) noexcept {
  try {
    std::string message(where);
    if (!where.empty() && !what.empty()) message += ": ";
    message += what;
    if (level == Level::kError) t_lastFailure = message;
    Sink sink;
    {
      std::lock_guard<std::mutex> lock(state().mutex);
      sink = state().sink;
    }
    if (sink) sink(level, message, baseName(file), line);
  } catch (...) {
    // Reporting must never become a failure of its own.
  }
}

std::string lastFailure() { return t_lastFailure; }

void clearLastFailure() { t_lastFailure.clear(); }

void noteFailure(std::string_view text) noexcept {
  try {
    t_lastFailure.assign(text);
  } catch (...) {
    // Noting a failure must never become a failure of its own; the report itself still goes out.
  }
}

}  // namespace platform::diag
