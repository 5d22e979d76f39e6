#pragma once
// kernel32's file calls: the user's temporary path and a query of one file's attributes and size.

#include <cstdint>
#include <string>

#include "platform/Export.h"
#include "platform/WinTypes.h"

using HANDLE = void*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;


struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
};

// The user's temporary folder: $TMPDIR, else "/tmp", always ending with '/'. As Windows: answers
// the length without the terminator when it fits in bufferLength characters, else the size needed
// including the terminator (the buffer untouched).
QM_PLATFORM_API DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer);

// One file's entry, found by its exact name: '*' and '?' are ordinary characters here, never a
// pattern. A missing file answers INVALID_HANDLE_VALUE with the last error set
// (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND ...). The handle is closed with FindClose.
QM_PLATFORM_API HANDLE FindFirstFileW(LPCWSTR fileName, WIN32_FIND_DATAW* data);
// Always FALSE with ERROR_NO_MORE_FILES: a name finds one entry at most.
QM_PLATFORM_API BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data);
QM_PLATFORM_API BOOL FindClose(HANDLE find);

namespace platform::system {

// The temporary path as a string (see GetTempPathW).
QM_PLATFORM_API std::u16string tempPath();

}  // namespace platform::system
