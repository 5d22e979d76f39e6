// The system's own temporary folder and the support files extracted into it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "platform/resources/Resources.h"
#include "platform/system/Files.h"

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
  bool own = false;
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

// The folder is the user's own: a real directory (never a link), owned by the user, closed to
// others. /tmp is shared by every user, so anything else there is not ours to use or empty.
bool makeOwnFolder(std::string path) {
  // Without its trailing separator, so that lstat looks at a link instead of through it.
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
  if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return false;
  return true;
}

}  // namespace

namespace NUtils {

const quilstring& getTempPath() {
  TempFolder& folder = tempFolder();
  if (folder.computed) return folder.path;
  folder.computed = true;
  quilstring base = quilstring(platform::system::tempPath());
  LOG_DEBUG(u"QuillMark temp path is %s", base.c_str());
  folder.path = base;
  if (!base.empty()) {
    quilstring own = base + u"Corvessa/";
    if (makeOwnFolder(own.toUtf8())) {
      folder.path = own;
      folder.own = true;
    } else {
      LOG_ERROR(u"Couldn't create QM temp path: %s", own.c_str());
    }
  }
  return folder.path;
}

bool isOwnTempFolder() {
  getTempPath();
  return tempFolder().own;
}

void resetTempPathForTesting() { tempFolder() = TempFolder(); }

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
  // Only ever the system's own folder: never the shared temporary path it may fall back to.
  if (!NUtils::isOwnTempFolder()) return;
  std::error_code ec;
  const std::filesystem::path folder(NUtils::getTempPath().toUtf8());
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    std::error_code ignored;
    std::filesystem::remove_all(entry.path(), ignored);  // links are removed, never followed
  }
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
