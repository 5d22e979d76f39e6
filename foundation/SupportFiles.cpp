// The system's own temporary folder and the support files extracted into it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "platform/resources/Resources.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Files.h"
#include "platform/system/ProcessFolder.h"

namespace {

// The embedded files, in extraction order: the print template, the default item template, the
// print template's toolbar images and the product images.
constexpr const char16_t* kSupportFiles[] = {
    u"PRINTINGTEMPLATE_2057.HTM", u"PAGEPRINT_2057.HTM",
    u"ATTACHMENTS.GIF", u"ATTACHMENTS_HILITE.GIF", u"ATTACHMENTS_INACTIVE.GIF",
    u"BEGIN.GIF", u"BEGIN_HILITE.GIF", u"BEGIN_INACTIVE.GIF",
    u"END.GIF", u"END_HILITE.GIF", u"END_INACTIVE.GIF",
    u"NEXT.GIF", u"NEXT_HILITE.GIF", u"NEXT_INACTIVE.GIF",
    u"PREV.GIF", u"PREV_HILITE.GIF", u"PREV_INACTIVE.GIF",
    u"PRINTCTL.GIF", u"PRINTCTL_HILITE.GIF",
    u"ZOOMIN.GIF", u"ZOOMIN_HILITE.GIF",
    u"ZOOMOUT.GIF", u"ZOOMOUT_HILITE.GIF", u"ZOOM_INACTIVE.GIF",
    u"QUILLMARK_SMALL.BMP", u"QMARK.GIF", u"BACKGROUND.JPG",
};

// The file the check before each print looks for, under the name it was extracted with.
constexpr const char16_t* kProbeFile = u"PREV.GIF";

struct TempFolder {
  bool computed = false;
  quilstring path;
};

TempFolder& tempFolder() {
  static TempFolder folder;
  return folder;
}

std::function<std::size_t(std::size_t)>& writeLimit() {
  static std::function<std::size_t(std::size_t)> limit;
  return limit;
}

quilstring withSeparator(const std::filesystem::path& path) { return quilstring::fromUtf8(path.string() + "/"); }

}  // namespace

namespace NUtils {

const quilstring& getTempPath() {
  TempFolder& folder = tempFolder();
  if (folder.computed) {
    std::error_code ec;
    if (folder.path.empty() || std::filesystem::is_directory(folder.path.toUtf8(), ec)) return folder.path;
    // Removed under the process (a clean-up of the system's temporary folder): the platform makes
    // a new one, and the support files are extracted into it again when next needed.
    const std::filesystem::path made = platform::system::processTempPath();
    LOG_WARNING(u"The temporary folder %s was removed; %s is used instead", folder.path.c_str(),
                quilstring::fromUtf8(made.string()).c_str());
    folder.path = made.empty() ? quilstring() : withSeparator(made);
    return folder.path;
  }
  folder.computed = true;
  const quilstring base = quilstring(platform::system::tempPath());
  LOG_DEBUG(u"QuillMark temp path is %s", base.c_str());
  if (base.empty()) return folder.path;
  // Each process works in a folder of its own inside the system's folder, held for its life, so
  // that the emptying at another process's start never takes a file this one is using. The
  // platform makes it, as the browser it starts keeps its files there too.
  const platform::system::ProcessTempFolder& made = platform::system::processTempFolder();
  if (!made.whyNotShared.empty()) {
    LOG_ERROR(u"Couldn't create QM temp path: %s", withSeparator(made.systemFolder).c_str());
    LOG_WARNING(u"%s; a private folder is used instead", quilstring::fromUtf8(made.whyNotShared).c_str());
  }
  if (made.folder) {
    folder.path = withSeparator(made.folder->path());
  } else {
    LOG_ERROR(u"No temporary folder could be made in %s: %s", base.c_str(), quilstring::fromUtf8(made.failure).c_str());
  }
  return folder.path;
}

bool isOwnTempFolder() {
  getTempPath();
  return platform::system::processTempFolder().shared;
}

void resetTempPathForTesting() {
  tempFolder() = TempFolder();
  platform::system::resetProcessTempFolderForTesting();
}

void setWriteLimitForTesting(std::function<std::size_t(std::size_t)> limit) { writeLimit() = std::move(limit); }

bool writeWholeFile(const std::string& path, const unsigned char* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = true;
  std::size_t done = 0;
  while (done < size) {
    std::size_t chunk = size - done;
    if (writeLimit()) chunk = std::min(chunk, writeLimit()(chunk));
    if (chunk == 0) {
      ok = false;
      break;
    }
    const ssize_t n = ::write(fd, data + done, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  if (!ok) ::unlink(path.c_str());
  return ok;
}

quilstring saveResourceToFile(const quilstring& name, const quilstring& typeName, std::vector<quilstring>& paths) {
  try {
    // Resource types are kept by name; RT_HTML is the HTML type.
    const quilstring type = equalsNoCase(typeName, std::u16string(u"RT_HTML")) ? quilstring(u"HTML") : typeName;
    const auto bytes = platform::resources::findResource(NGlobals::moduleInstance(), name.c_str(), type.c_str());
    const quilstring& folder = getTempPath();
    if (bytes.empty() || folder.empty()) return {};
    quilstring path = folder + name;
    if (!writeWholeFile(path.toUtf8(), bytes.data(), bytes.size())) return {};
    LOG_DEBUG(u"saveResourceToFile: %s", path.c_str());
    paths.push_back(path);
    return path;
  } catch (...) {
    LOG_ERROR(u"Exception caught in saveResourceToFile()");
    return {};
  }
}

}  // namespace NUtils

void CSettings::clearTempFolder() {
  // Only ever the system's own folder, and in it only what no live process holds: the folders of
  // processes that have ended, and files of no process.
  if (!NUtils::isOwnTempFolder()) return;
  const std::filesystem::path own = std::filesystem::path(NUtils::getTempPath().toUtf8()).parent_path().parent_path();
  const std::size_t removed = platform::system::removeAbandonedEntries(own);
  if (removed) LOG_DEBUG(u"Removed %d entries left by ended processes", static_cast<int>(removed));
}

void CSettings::extractResources() {
  m_extractedFiles.clear();
  for (std::size_t i = 0; i < std::size(kSupportFiles); ++i) {
    const quilstring path = NUtils::saveResourceToFile(kSupportFiles[i], u"RT_HTML", m_extractedFiles);
    if (i == 0) m_printTemplatePath = path;
    if (i == 1) m_defaultTemplatePath = path;
  }
}

void CSettings::ensureSupportFiles() {
  const quilstring probe = NUtils::getTempPath() + kProbeFile;
  if (NUtils::getFileSize(probe) == 0) {
    LOG_ERROR(u"PREV.GIF file does not exist. Resetting...");
    extractResources();
  }
}
