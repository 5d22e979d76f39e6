#include "platform/system/Errors.h"

#include <cerrno>
#include <cstdio>

#include "platform/system/Text.h"

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

}  // namespace

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD code) { t_lastError = code; }

namespace platform::system {

std::u16string errorText(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS: return u"The operation completed successfully.";
    case ERROR_INVALID_FUNCTION: return u"Incorrect function.";
    case ERROR_FILE_NOT_FOUND: return u"The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND: return u"The system cannot find the path specified.";
    case ERROR_ACCESS_DENIED: return u"Access is denied.";
    case ERROR_INVALID_HANDLE: return u"The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY: return u"Not enough memory resources are available to process this command.";
    case ERROR_NO_MORE_FILES: return u"There are no more files.";
    case ERROR_NOT_READY: return u"The device is not ready.";
    case ERROR_GEN_FAILURE: return u"A device attached to the system is not functioning.";
    case ERROR_INVALID_PARAMETER: return u"The parameter is incorrect.";
    case ERROR_INSUFFICIENT_BUFFER: return u"The data area passed to a system call is too small.";
    case ERROR_INVALID_NAME: return u"The filename, directory name, or volume label syntax is incorrect.";
    case ERROR_MOD_NOT_FOUND: return u"The specified module could not be found.";
    case ERROR_PROC_NOT_FOUND: return u"The specified procedure could not be found.";
    case ERROR_FILENAME_EXCED_RANGE: return u"The filename or extension is too long.";
    case ERROR_NO_ASSOCIATION: return u"No application is associated with the specified file for this operation.";
    case ERROR_CANCELLED: return u"The operation was canceled by the user.";
    default: break;
  }
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "Unknown error (0x%08X)", static_cast<unsigned>(code));
  return utf8ToUtf16(buffer);
}

DWORD errorFromErrno(int error) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES: case EPERM: case EROFS: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EBADF: return ERROR_INVALID_HANDLE;
    default: return ERROR_GEN_FAILURE;
  }
}

}  // namespace platform::system
