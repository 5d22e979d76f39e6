#include "platform/system/Module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/com/HResult.h"
#include "platform/system/Errors.h"
#include "platform/system/HostFacts.h"
#include "platform/system/Text.h"

namespace platform::system {
namespace {

HRESULT shdocvwDllGetVersion(DLLVERSIONINFO* info) {
  if (!info) return E_POINTER;
  if (info->cbSize != sizeof(DLLVERSIONINFO)) return E_INVALIDARG;
  const HostFacts facts = hostFacts();
  info->dwMajorVersion = facts.ieMajorVersion;
  info->dwMinorVersion = facts.ieMinorVersion;
  info->dwBuildNumber = 0;
  info->dwPlatformID = 2;  // DLLVER_PLATFORM_NT
  return S_OK;
}

BOOL uxthemeIsThemeActive() { return hostFacts().themeActive ? TRUE : FALSE; }

struct Export {
  const char* name;
  FARPROC proc;
};

struct SystemLibrary {
  const char16_t* name;
  bool (*present)(const HostFacts&);
  Export exports[1];
};

const SystemLibrary kLibraries[] = {
    {u"shdocvw.dll", [](const HostFacts& f) { return f.ieMajorVersion > 0; },
     {{"DllGetVersion", reinterpret_cast<FARPROC>(&shdocvwDllGetVersion)}}},
    {u"uxtheme.dll", [](const HostFacts& f) { return f.osMajorVersion >= 5; },
     {{"IsThemeActive", reinterpret_cast<FARPROC>(&uxthemeIsThemeActive)}}},
};

const SystemLibrary* libraryOf(HMODULE module) {
  for (const SystemLibrary& library : kLibraries) {
    if (reinterpret_cast<const void*>(module) == &library) return &library;
  }
  return nullptr;
}

std::u16string executablePath() {
  char buffer[4096];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  return utf8ToUtf16(std::string_view(buffer, static_cast<std::size_t>(length)));
}

}  // namespace

std::u16string modulePathOf(const void* address) {
  Dl_info info{};
  if (!address || ::dladdr(address, &info) == 0) return {};
  // The executable's own entry has an empty name.
  if (!info.dli_fname || !*info.dli_fname) return executablePath();
  char resolved[4096];
  if (::realpath(info.dli_fname, resolved)) return utf8ToUtf16(resolved);
  return utf8ToUtf16(info.dli_fname);
}

}  // namespace platform::system

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  const std::u16string path =
      module ? platform::system::modulePathOf(reinterpret_cast<const void*>(module)) : platform::system::executablePath();
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (!fileName || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() >= size) {
    std::memcpy(fileName, path.data(), (size - 1) * sizeof(char16_t));
    fileName[size - 1] = u'\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(fileName, path.data(), path.size() * sizeof(char16_t));
  fileName[path.size()] = u'\0';
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}

HMODULE LoadLibraryW(LPCWSTR fileName) {
  using namespace platform::system;
  if (!fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::u16string name = lowerCase(fileName);
  const std::size_t slash = name.find_last_of(u"\\/");
  if (slash != std::u16string::npos) name.erase(0, slash + 1);
  if (name.find(u'.') == std::u16string::npos) name += u".dll";
  const HostFacts facts = hostFacts();
  for (const SystemLibrary& library : kLibraries) {
    if (name == library.name && library.present(facts)) {
      return reinterpret_cast<HMODULE>(const_cast<SystemLibrary*>(&library));
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
  const platform::system::SystemLibrary* library = platform::system::libraryOf(module);
  if (!library) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (procName) {
    for (const platform::system::Export& entry : library->exports) {
      if (std::strcmp(entry.name, procName) == 0) return entry.proc;
    }
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  if (platform::system::libraryOf(module)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
