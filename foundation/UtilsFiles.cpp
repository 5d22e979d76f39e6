#include "foundation/Utils.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "platform/com/HResult.h"
#include "platform/resources/Resources.h"
#include "platform/shell/Shell.h"
#include "platform/system/Errors.h"
#include "platform/system/Files.h"
#include "platform/ui/Ui.h"

namespace NUtils {
namespace {

constexpr ULONG kPrintMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
constexpr int kTitleLength = 520;

// A path split as _wsplitpath does, at '/': the folder with its trailing separator, the name,
// and the extension from the name's last dot (with the dot).
struct PathParts {
  quilstring folder;
  quilstring name;
  quilstring extension;
};

PathParts splitPath(const quilstring& path) {
  PathParts parts;
  const std::size_t slash = path.rfind(u'/');
  const std::size_t nameStart = slash == quilstring::npos ? 0 : slash + 1;
  parts.folder = path.substr(0, nameStart);
  const std::size_t dot = path.rfind(u'.');
  if (dot != quilstring::npos && dot >= nameStart) {
    parts.name = path.substr(nameStart, dot - nameStart);
    parts.extension = path.substr(dot);
  } else {
    parts.name = path.substr(nameStart);
  }
  return parts;
}

// The folder last chosen per filter text, for the whole process.
std::mutex g_browseMutex;
std::map<quilstring, quilstring>& lastFolders() {
  static std::map<quilstring, quilstring> folders;
  return folders;
}

const char16_t* orNone(const quilstring& text) { return text.empty() ? u"(None)" : text.c_str(); }

}  // namespace

std::uint64_t getFileSize(const quilstring& path) {
  WIN32_FIND_DATAW data{};
  // A name cut short by a 0 would find another file.
  HANDLE find = INVALID_HANDLE_VALUE;
  if (path.find(u'\0') != quilstring::npos) SetLastError(ERROR_INVALID_NAME);
  else find = FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    LOG_DEBUG(u"File: %s return INVALID_HANDLE_VALUE. Last Error (%d)", path.c_str(), error);
    return 0;
  }
  FindClose(find);
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool shellExecute(ULONG mask, const quilstring& verb, const quilstring& file, const quilstring& parameters,
                  const quilstring& directory) {
  return guarded(u"shellExecute", false, [&] {
    const quilstring folder = directory.empty() ? splitPath(file).folder : directory;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = mask;
    info.hwnd = nullptr;
    info.lpVerb = verb.empty() ? nullptr : verb.c_str();
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = SW_HIDE;
    if (ShellExecuteExW(&info)) {
      LOG_DEBUG(u"ShellExecute() of \"%s\" on %s succeeded", verb.c_str(), file.c_str());
      return true;
    }
    const DWORD error = GetLastError();
    LOG_ERROR(u"ShellExecute() of \"%s\" on %s failed. Reason: %s", verb.c_str(), file.c_str(),
              quilstring(platform::system::errorText(error)).c_str());
    return false;
  });
}

bool printFile(const quilstring& file) { return shellExecute(kPrintMask, u"Print", file, quilstring(), quilstring()); }

bool printAttachment(const quilstring& filePath, DWORD state, const quilstring& list) {
  return guarded(u"printAttachment", false, [&] {
    if (state == 1) return true;
    if (state != 2 && state != 3) return false;
    const PathParts file = splitPath(filePath);
    const quilstring extension = file.extension.empty() ? quilstring() : quilstring(file.extension.substr(1));

    std::vector<quilstring> entries;
    tokenize(list, u";", entries);
    bool listed = false;
    for (const quilstring& entry : entries) {
      // At the last dot, as the file name is split, so a whole name with dots can be listed.
      const std::size_t dot = entry.rfind(u'.');
      const quilstring entryName = dot == quilstring::npos ? quilstring() : quilstring(entry.substr(0, dot));
      const quilstring entryExtension = dot == quilstring::npos ? entry : quilstring(entry.substr(dot + 1));
      if (!equalsNoCase(entryExtension, extension)) continue;
      if (entryName.empty() || entryName == u"*" || equalsNoCase(entryName, file.name)) {
        listed = true;
        break;
      }
    }
    return state == 2 ? listed : !listed;
  });
}

bool browseForFile(const quilstring& filter, UINT titleId, HWND owner, HINSTANCE module, DWORD flags,
                   const quilstring& defaultExtension, quilstring& path) {
  return guarded(u"browseForFile", false, [&] {
    LOG_DEBUG(u"NUtils::browseForFile -- filter=%s, defext=%s, start=%s", orNone(filter), orNone(defaultExtension),
              path.c_str());
    quilstring start = path;
    if (start.empty() && !filter.empty()) {
      LOG_DEBUG(u"No start -- looking for last path used");
      std::lock_guard lock(g_browseMutex);
      const auto found = lastFolders().find(filter);
      if (found != lastFolders().end()) {
        start = found->second;
        LOG_DEBUG(u"Last path used found to be %s", start.c_str());
      }
    }

    char16_t file[MAX_PATH] = {};
    quilstring initialDir;
    if (!start.empty()) {
      const PathParts parts = splitPath(start);
      initialDir = parts.folder;
      const quilstring name = parts.name + parts.extension;
      name.copy(file, std::min<std::size_t>(name.size(), MAX_PATH - 1));
    } else {
      char16_t documents[MAX_PATH] = {};
      if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, documents))) initialDir = documents;
      LOG_DEBUG(u"No start or last path -- using CSIDL_PERSONAL folder (%s)", initialDir.c_str());
    }

    char16_t title[kTitleLength] = {};
    LoadStringW(module, titleId, title, kTitleLength);
    // The dialog reads pairs up to an empty text.
    quilstring filterList = filter;
    filterList.append(2, u'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.hInstance = module;
    dialog.lpstrFilter = filterList.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    dialog.lpstrTitle = title;
    dialog.Flags = flags;
    dialog.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    if (!GetOpenFileNameW(&dialog)) return false;

    path = quilstring(file);
    const quilstring folder = splitPath(path).folder;
    {
      std::lock_guard lock(g_browseMutex);
      lastFolders()[filter] = folder;
    }
    LOG_DEBUG(u"Browse successful -- storing FileType=%s, StartPath=%s", filter.c_str(), folder.c_str());
    return true;
  });
}

}  // namespace NUtils
