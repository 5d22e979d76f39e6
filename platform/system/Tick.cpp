#include "platform/system/Tick.h"

#include <atomic>
#include <chrono>

namespace platform::system {
namespace {

ULONGLONG clockMilliseconds() {
  using namespace std::chrono;
  return static_cast<ULONGLONG>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// tick = clock + offset (unsigned arithmetic, so any base works).
std::atomic<ULONGLONG> g_offset{0};

}  // namespace

void setTickBaseForTesting(ULONGLONG base) { g_offset = base - clockMilliseconds(); }

void resetTickForTesting() { g_offset = 0; }

}  // namespace platform::system

ULONGLONG GetTickCount64() { return platform::system::clockMilliseconds() + platform::system::g_offset.load(); }

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }
