#include "platform/system/Files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "platform/system/Errors.h"
#include "platform/system/Text.h"

namespace platform::system {
namespace {

// A find handle: the one entry was handed out by FindFirstFileW. Live handles are kept so a
// stale or foreign handle is refused rather than dereferenced.
struct FindState {};

std::mutex g_findMutex;
std::unordered_set<FindState*> g_finds;

FILETIME fileTimeOf(const timespec& t) {
  // 100-ns intervals since 1601-01-01.
  constexpr std::uint64_t kEpochDifference = 11644473600ULL;
  const std::uint64_t value = (static_cast<std::uint64_t>(t.tv_sec) + kEpochDifference) * 10000000ULL +
                              static_cast<std::uint64_t>(t.tv_nsec) / 100;
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

std::u16string baseName(const std::u16string& path) {
  std::u16string name = path;
  while (name.size() > 1 && name.back() == u'/') name.pop_back();
  const std::size_t slash = name.rfind(u'/');
  return slash == std::u16string::npos || name.size() == 1 ? name : name.substr(slash + 1);
}

}  // namespace

std::u16string tempPath() {
  const char* dir = std::getenv("TMPDIR");
  std::u16string path = utf8ToUtf16(dir && *dir ? dir : "/tmp");
  if (path.back() != u'/') path.push_back(u'/');
  return path;
}

}  // namespace platform::system

DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer) {
  const std::u16string path = platform::system::tempPath();
  const DWORD length = static_cast<DWORD>(path.size());
  if (!buffer || bufferLength <= length) return length + 1;
  std::memcpy(buffer, path.data(), path.size() * sizeof(char16_t));
  buffer[length] = u'\0';
  return length;
}

HANDLE FindFirstFileW(LPCWSTR fileName, WIN32_FIND_DATAW* data) {
  if (!fileName || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::u16string name(fileName);
  if (name.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  if (::stat(platform::system::utf16ToUtf8(name).c_str(), &st) != 0) {
    DWORD error = platform::system::errorFromErrno(errno);
    // As Windows: a missing folder on the way is a missing path, not a missing file.
    const std::size_t slash = name.rfind(u'/');
    struct stat parent {};
    if (error == ERROR_FILE_NOT_FOUND && slash != std::u16string::npos && slash > 0 &&
        ::stat(platform::system::utf16ToUtf8(name.substr(0, slash)).c_str(), &parent) != 0) {
      error = ERROR_PATH_NOT_FOUND;
    }
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  WIN32_FIND_DATAW found{};
  const std::u16string base = platform::system::baseName(name);
  if (S_ISDIR(st.st_mode)) found.dwFileAttributes |= FILE_ATTRIBUTE_DIRECTORY;
  if ((st.st_mode & 0222) == 0) found.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  if (!base.empty() && base[0] == u'.' && base != u"." && base != u"..") found.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
  if (found.dwFileAttributes == 0) found.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!S_ISDIR(st.st_mode)) {
    const auto size = static_cast<std::uint64_t>(st.st_size);
    found.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    found.nFileSizeLow = static_cast<DWORD>(size);
  }
  found.ftCreationTime = platform::system::fileTimeOf(st.st_ctim);
  found.ftLastAccessTime = platform::system::fileTimeOf(st.st_atim);
  found.ftLastWriteTime = platform::system::fileTimeOf(st.st_mtim);
  const std::size_t count = std::min<std::size_t>(base.size(), MAX_PATH - 1);
  std::memcpy(found.cFileName, base.data(), count * sizeof(char16_t));
  *data = found;
  SetLastError(ERROR_SUCCESS);
  auto* state = new platform::system::FindState;
  std::lock_guard lock(platform::system::g_findMutex);
  platform::system::g_finds.insert(state);
  return state;
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW*) {
  std::lock_guard lock(platform::system::g_findMutex);
  const bool live = platform::system::g_finds.count(static_cast<platform::system::FindState*>(find)) != 0;
  SetLastError(live ? ERROR_NO_MORE_FILES : ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL FindClose(HANDLE find) {
  auto* state = static_cast<platform::system::FindState*>(find);
  {
    std::lock_guard lock(platform::system::g_findMutex);
    if (platform::system::g_finds.erase(state) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  delete state;
  return TRUE;
}
