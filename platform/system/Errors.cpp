#include "platform/system/Errors.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <string_view>
#include <cstdio>

#include "platform/system/Text.h"

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

struct ErrorTextEntry {
  DWORD code;
  std::u16string_view text;
};

// Windows' English texts, word for word.
constexpr ErrorTextEntry kTexts[] = {
    {0, u"The operation completed successfully."},
    {1, u"Incorrect function."},
    {2, u"The system cannot find the file specified."},
    {3, u"The system cannot find the path specified."},
    {5, u"Access is denied."},
    {6, u"The handle is invalid."},
    {8, u"Not enough memory resources are available to process this command."},
    {13, u"The data is invalid."},
    {14, u"Not enough memory resources are available to complete this operation."},
    {18, u"There are no more files."},
    {21, u"The device is not ready."},
    {29, u"The system cannot write to the specified device."},
    {30, u"The system cannot read from the specified device."},
    {31, u"A device attached to the system is not functioning."},
    {32, u"The process cannot access the file because it is being used by another process."},
    {33, u"The process cannot access the file because another process has locked a portion of the file."},
    {87, u"The parameter is incorrect."},
    {112, u"There is not enough space on the disk."},
    {122, u"The data area passed to a system call is too small."},
    {123, u"The filename, directory name, or volume label syntax is incorrect."},
    {126, u"The specified module could not be found."},
    {127, u"The specified procedure could not be found."},
    {161, u"The specified path is invalid."},
    {183, u"Cannot create a file when that file already exists."},
    {206, u"The filename or extension is too long."},
    {222, u"The file type being saved or retrieved has been blocked."},
    {223, u"The file size exceeds the limit allowed and cannot be saved."},
    {234, u"More data is available."},
    {259, u"No more data is available."},
    {998, u"Invalid access to memory location."},
    {1004, u"Invalid flags."},
    {1008, u"An attempt was made to reference a token that does not exist."},
    {1009, u"The configuration registry database is corrupt."},
    {1010, u"The configuration registry key is invalid."},
    {1011, u"The configuration registry key could not be opened."},
    {1012, u"The configuration registry key could not be read."},
    {1013, u"The configuration registry key could not be written."},
    {1015, u"The registry is corrupted. The structure of one of the files containing registry data is corrupted, or "
           u"the system's memory image of the file is corrupted, or the file could not be recovered because the "
           u"alternate copy or log was absent or corrupted."},
    {1016, u"An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or "
           u"write out, or flush, one of the files that contain the system's image of the registry."},
    {1018, u"Illegal operation attempted on a registry key that has been marked for deletion."},
    {1155, u"No application is associated with the specified file for this operation."},
    {1223, u"The operation was canceled by the user."},
    {1460, u"This operation returned because the timeout period expired."},
};

const ErrorTextEntry* findText(DWORD code) {
  const auto it = std::find_if(std::begin(kTexts), std::end(kTexts), [&](const ErrorTextEntry& e) { return e.code == code; });
  return it == std::end(kTexts) ? nullptr : it;
}

}  // namespace

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD code) { t_lastError = code; }

namespace platform::system {

std::u16string errorText(DWORD code) {
  if (const ErrorTextEntry* entry = findText(code)) return std::u16string(entry->text);
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

DWORD FormatMessageW(DWORD dwFlags, const void*, DWORD dwMessageId, DWORD, LPWSTR lpBuffer, DWORD nSize, va_list*) {
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) || !lpBuffer) return 0;
  const ErrorTextEntry* entry = findText(dwMessageId);
  if (!entry) return 0;
  std::u16string text(entry->text);
  if ((dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK) == 0) text += u"\r\n";
  if (text.size() + 1 > nSize) return 0;
  std::copy(text.begin(), text.end(), lpBuffer);
  lpBuffer[text.size()] = 0;
  return static_cast<DWORD>(text.size());
}
