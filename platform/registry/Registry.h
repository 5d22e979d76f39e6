#pragma once
// advapi32's registry calls and kernel32's FormatMessageW, with Windows' names, values and
// answers. Keys live in three hives (HKLM, HKCU, HKCR) kept as .reg files under $QUILLMARK_HOME;
// RegistryFiles.h has the non-Windows operations (load, import, export, test seams).
//
// Durability: a change is visible to this process at once. It reaches the hive file when the last
// handle of that file opened with write access is closed, on RegFlushKey, or at once when no such
// handle is open (calls on the predefined keys); RegCloseKey and RegFlushKey answer the result of
// that write. A failed write leaves the file as it was and drops the unsaved changes.

#include <cstdarg>
#include <cstdint>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/system/Errors.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using ACCESS_MASK = DWORD;
using LSTATUS = LONG;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
struct FILETIME;
using PFILETIME = FILETIME*;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))

// Standard and generic access rights.
constexpr ACCESS_MASK DELETE = 0x00010000;
constexpr ACCESS_MASK READ_CONTROL = 0x00020000;
constexpr ACCESS_MASK WRITE_DAC = 0x00040000;
constexpr ACCESS_MASK WRITE_OWNER = 0x00080000;
constexpr ACCESS_MASK SYNCHRONIZE = 0x00100000;
constexpr ACCESS_MASK STANDARD_RIGHTS_REQUIRED = 0x000F0000;
constexpr ACCESS_MASK STANDARD_RIGHTS_READ = READ_CONTROL;
constexpr ACCESS_MASK STANDARD_RIGHTS_WRITE = READ_CONTROL;
constexpr ACCESS_MASK STANDARD_RIGHTS_ALL = 0x001F0000;
constexpr ACCESS_MASK ACCESS_SYSTEM_SECURITY = 0x01000000;
constexpr ACCESS_MASK MAXIMUM_ALLOWED = 0x02000000;
constexpr ACCESS_MASK GENERIC_ALL = 0x10000000;
constexpr ACCESS_MASK GENERIC_EXECUTE = 0x20000000;
constexpr ACCESS_MASK GENERIC_WRITE = 0x40000000;
constexpr ACCESS_MASK GENERIC_READ = 0x80000000;

// Key access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x00020019;
constexpr REGSAM KEY_EXECUTE = 0x00020019;
constexpr REGSAM KEY_WRITE = 0x00020006;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens an existing key. A null or empty sub-key gives a new handle to hKey itself. Write rights
// on a hive the current user may not write answer ERROR_ACCESS_DENIED.
QM_PLATFORM_API LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                      PHKEY phkResult);
// Opens or creates a key with every missing key on the path; lpdwDisposition (optional) says which.
QM_PLATFORM_API LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                        DWORD dwOptions, REGSAM samDesired,
                                        LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                        LPDWORD lpdwDisposition);
// Closes a handle; closing the last writing handle of a hive file writes the file (see above).
QM_PLATFORM_API LSTATUS RegCloseKey(HKEY hKey);
// Null lpData with lpcbData asks the size; a short buffer answers ERROR_MORE_DATA with the size.
QM_PLATFORM_API LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                         LPBYTE lpData, LPDWORD lpcbData);
QM_PLATFORM_API LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                                       const BYTE* lpData, DWORD cbData);
// Sub-keys in Windows' order: by upper-cased name. lpcchName counts characters, the terminator
// included on the way in and excluded on the way out. The last-write time is not kept.
QM_PLATFORM_API LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                                      LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                                      PFILETIME lpftLastWriteTime);
// Values in the order they were created.
QM_PLATFORM_API LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
QM_PLATFORM_API LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                                         LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                         PFILETIME lpftLastWriteTime);
QM_PLATFORM_API LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
// Deletes a key without sub-keys (ERROR_ACCESS_DENIED when it has some).
QM_PLATFORM_API LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
// Deletes a key with everything below it; a null sub-key empties hKey but keeps it.
QM_PLATFORM_API LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
// Writes the key's hive file now and answers how that went.
QM_PLATFORM_API LSTATUS RegFlushKey(HKEY hKey);

