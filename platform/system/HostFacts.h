#pragma once
// What the host reports about the Windows it plays: the browser control's version, the system
// version and whether a visual theme is active. The version calls (GetVersionExW, the system
// libraries' DllGetVersion and IsThemeActive) answer these values.

#include "platform/Export.h"
#include "platform/WinTypes.h"

namespace platform::system {

struct HostFacts {
  DWORD ieMajorVersion = 11;  // 0: no browser control installed (its library does not load)
  DWORD ieMinorVersion = 0;
  DWORD osMajorVersion = 10;  // below 5: no theme library
  DWORD osMinorVersion = 0;
  DWORD osBuildNumber = 19045;
  bool themeActive = false;
};

// The process-wide record; safe from any thread.
QM_PLATFORM_API HostFacts hostFacts();
QM_PLATFORM_API void setHostFacts(const HostFacts& facts);
// Back to the defaults above.
QM_PLATFORM_API void resetHostFacts();

}  // namespace platform::system

constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
};

// Fills the version from the host facts; FALSE (ERROR_INSUFFICIENT_BUFFER) unless
// dwOSVersionInfoSize is the structure's size.
QM_PLATFORM_API BOOL GetVersionExW(OSVERSIONINFOW* info);
