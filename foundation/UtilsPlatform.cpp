#include "foundation/Utils.h"

#include <algorithm>

#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "platform/com/HResult.h"
#include "platform/system/HostFacts.h"
#include "platform/system/Module.h"
#include "platform/ui/WinUser.h"

namespace NUtils {

float getIEVersion() {
  constexpr const char16_t* kNoBrowser =
      u"FATAL! Failed to load shdocvw.dll -- have you got Microsoft Internet Explorer version 6 or later installed?";
  HMODULE library = LoadLibraryW(u"shdocvw.dll");
  if (!library) {
    LOG_ERROR(kNoBrowser);
    return 0;
  }
  // A library without a version answers 0, which the caller reports as too old a version.
  float version = 0;
  if (auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(GetProcAddress(library, "DllGetVersion"))) {
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;
    if (SUCCEEDED(getVersion(&info))) {
      version = static_cast<float>(info.dwMajorVersion) + static_cast<float>(info.dwMinorVersion) / 10.0f;
      LOG_DEBUG(u"MSIE ver = %.1f", static_cast<double>(version));
    }
  }
  FreeLibrary(library);
  return version;
}

DWORD getOSMajorVersion() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExW(&info) ? info.dwMajorVersion : 0;
}

bool isThemeActive() {
  static const bool active = guarded(u"isThemeActive", false, [] {
    if (getOSMajorVersion() < 5) return false;
    HMODULE library = LoadLibraryW(u"uxtheme.dll");
    if (!library) return false;
    bool answer = false;
    if (auto themeActive = reinterpret_cast<ISTHEMEACTIVEPROC>(GetProcAddress(library, "IsThemeActive"))) {
      answer = themeActive() != FALSE;
    }
    FreeLibrary(library);
    return answer;
  });
  return active;
}

void centreOnOwner(HWND window) {
  RECT own{}, work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT area = work;
  GetWindowRect(window, &own);
  if (const HWND owner = GetWindow(window, GW_OWNER)) GetWindowRect(owner, &area);
  const LONG width = own.right - own.left, height = own.bottom - own.top;
  // Over the owner, but wholly on the work area where it fits (an owner near an edge).
  const LONG x = std::max(work.left, std::min(area.left + (area.right - area.left - width) / 2, work.right - width));
  const LONG y = std::max(work.top, std::min(area.top + (area.bottom - area.top - height) / 2, work.bottom - height));
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

quilstring moduleString(UINT id) {
  quilstring text;
  text.LoadString(NGlobals::moduleInstance(), id);
  return text;
}

}  // namespace NUtils
