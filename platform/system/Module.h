#pragma once
// kernel32's module calls: a module's own file path, and the system libraries the add-in loads
// for their version or state ("shdocvw.dll" with DllGetVersion, "uxtheme.dll" with
// IsThemeActive), present as the host facts say. No other library can be loaded here.

#include <string>

#include "platform/Export.h"
#include "platform/WinTypes.h"

using FARPROC = void (*)();

struct DLLVERSIONINFO {
  DWORD cbSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformID;
};
using DLLGETVERSIONPROC = HRESULT (*)(DLLVERSIONINFO*);
using ISTHEMEACTIVEPROC = BOOL (*)();

// The file of the executable or shared library that holds the module (a module handle is the
// address of its resource table); a null module means the executable. As Windows: answers the
// characters copied without the terminator; a short buffer gets a truncated, terminated path,
// the answer size and ERROR_INSUFFICIENT_BUFFER; 0 on failure.
QM_PLATFORM_API DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

// A system library by name (case ignored, ".dll" added when the name has no extension), or null
// with ERROR_MOD_NOT_FOUND when the host reports it absent or it is not one of the above.
QM_PLATFORM_API HMODULE LoadLibraryW(LPCWSTR fileName);
// An export of a loaded system library, or null with ERROR_PROC_NOT_FOUND. Cast it to the
// export's own type (DLLGETVERSIONPROC, ISTHEMEACTIVEPROC) before calling.
QM_PLATFORM_API FARPROC GetProcAddress(HMODULE module, const char* procName);
QM_PLATFORM_API BOOL FreeLibrary(HMODULE module);

namespace platform::system {

// The path of the executable or shared library holding an address; empty when none does.
QM_PLATFORM_API std::u16string modulePathOf(const void* address);

}  // namespace platform::system
