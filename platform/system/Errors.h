#pragma once
// Win32 error codes with Windows' values, the thread's last error, and the system texts of the
// codes this build's layers answer.

#include <string>

#include "platform/Export.h"
#include "platform/WinTypes.h"

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_INVALID_FUNCTION = 1;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_NO_MORE_FILES = 18;
constexpr LONG ERROR_NOT_READY = 21;
constexpr LONG ERROR_GEN_FAILURE = 31;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
constexpr LONG ERROR_INVALID_NAME = 123;
constexpr LONG ERROR_MOD_NOT_FOUND = 126;
constexpr LONG ERROR_PROC_NOT_FOUND = 127;
constexpr LONG ERROR_FILENAME_EXCED_RANGE = 206;
constexpr LONG ERROR_NO_ASSOCIATION = 1155;
constexpr LONG ERROR_CANCELLED = 1223;

// The calling thread's last error, as kernel32 keeps it.
QM_PLATFORM_API DWORD GetLastError();
QM_PLATFORM_API void SetLastError(DWORD code);

namespace platform::system {

// The system text of an error code as FormatMessageW gives it, without its closing line break;
// a code without a text of its own answers "Unknown error (0x...)".
QM_PLATFORM_API std::u16string errorText(DWORD code);

// The Win32 code closest to an errno value (ENOENT -> ERROR_FILE_NOT_FOUND ...).
QM_PLATFORM_API DWORD errorFromErrno(int error);

}  // namespace platform::system
