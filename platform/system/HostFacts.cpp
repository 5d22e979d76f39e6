#include "platform/system/HostFacts.h"

#include <mutex>

#include "platform/system/Errors.h"

namespace platform::system {
namespace {

std::mutex g_mutex;
HostFacts g_facts;

}  // namespace

HostFacts hostFacts() {
  std::lock_guard lock(g_mutex);
  return g_facts;
}

void setHostFacts(const HostFacts& facts) {
  std::lock_guard lock(g_mutex);
  g_facts = facts;
}

void resetHostFacts() { setHostFacts(HostFacts{}); }

}  // namespace platform::system

BOOL GetVersionExW(OSVERSIONINFOW* info) {
  if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const platform::system::HostFacts facts = platform::system::hostFacts();
  *info = OSVERSIONINFOW{};
  info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
  info->dwMajorVersion = facts.osMajorVersion;
  info->dwMinorVersion = facts.osMinorVersion;
  info->dwBuildNumber = facts.osBuildNumber;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  return TRUE;
}
