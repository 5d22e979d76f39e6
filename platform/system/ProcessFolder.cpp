#include "platform/system/ProcessFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/system/Diagnostics.h"
#include "platform/system/Files.h"
#include "platform/system/Text.h"

namespace platform::system {
namespace {

namespace fs = std::filesystem;

// How often a new folder is made when a tidying process took the one just made for abandoned.
constexpr int kCreateAttempts = 16;

int openFolder(const fs::path& path) { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }

int lockFolder(int fd, int operation) {
  int rc;
  do {
    rc = ::flock(fd, operation);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// Whether the open folder still stands at path: the one who removes a folder does so while
// holding its lock, so a folder locked after that is gone from its name.
bool stillAt(int fd, const fs::path& path) {
  struct stat opened {}, named {};
  return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && S_ISDIR(named.st_mode) &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// The system's folder is used only when it is the user's own: a real directory (never a link),
// owned by the user and closed to others. /tmp is shared by every user, so anything else there is
// not ours to use or to empty.
bool makeOwnFolder(const fs::path& path, std::string& why) {
  if (::mkdir(path.c_str(), 0700) == 0) {
    ::chmod(path.c_str(), 0700);  // whatever the umask took away
  } else if (errno != EEXIST) {
    why = path.string() + ": " + std::strerror(errno);
    return false;
  }
  return isPrivateFolder(path, why);
}

std::unique_ptr<ProcessTempFolder>& heldFolder() {
  static std::unique_ptr<ProcessTempFolder> held;
  return held;
}

}  // namespace

const ProcessTempFolder& processTempFolder() {
  std::unique_ptr<ProcessTempFolder>& held = heldFolder();
  if (held) return *held;
  held = std::make_unique<ProcessTempFolder>();
  std::string base = utf16ToUtf8(tempPath());
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  held->systemFolder = fs::path(base) / "Corvessa";
  if (makeOwnFolder(held->systemFolder, held->whyNotShared)) {
    held->folder = CProcessFolder::create(held->systemFolder, std::to_string(::getpid()) + "-");
    held->shared = held->folder != nullptr;
  }
  if (!held->folder) held->folder = CProcessFolder::create(base, "Corvessa-");
  if (!held->folder) held->failure = diag::lastFailure();
  return *held;
}

fs::path processTempPath() {
  if (const auto& held = heldFolder(); held && held->folder) {
    std::error_code ec;
    if (fs::is_directory(held->folder->path(), ec)) return held->folder->path();
    // Removed under us (by hand: no process of the user's takes a held folder): a new one.
    heldFolder().reset();
  }
  const ProcessTempFolder& made = processTempFolder();
  return made.folder ? made.folder->path() : fs::path();
}

void resetProcessTempFolderForTesting() { heldFolder().reset(); }

bool isPrivateFolder(const fs::path& path, std::string& why) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    why = path.string() + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISLNK(st.st_mode)) {
    why = path.string() + " is a symbolic link";
  } else if (!S_ISDIR(st.st_mode)) {
    why = path.string() + " is not a folder";
  } else if (st.st_uid != ::geteuid()) {
    why = path.string() + " belongs to user " + std::to_string(st.st_uid);
  } else if ((st.st_mode & 07777) != 0700) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    why = path.string() + " has mode " + mode + ", not 0700";
  } else {
    return true;
  }
  return false;
}

std::unique_ptr<CProcessFolder> CProcessFolder::create(const fs::path& parent, const std::string& prefix) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    std::string pattern = (parent / (prefix + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) {
      diag::error("CProcessFolder::create", "cannot make a folder in " + parent.string() + ": " + std::strerror(errno));
      return nullptr;
    }
    const int fd = openFolder(pattern);
    if (fd < 0) continue;  // taken for abandoned and removed already
    // Another process tidying the parent may hold it for a moment; it is ours once locked and
    // still there.
    if (lockFolder(fd, LOCK_EX) == 0 && stillAt(fd, pattern))
      return std::unique_ptr<CProcessFolder>(new CProcessFolder(pattern, fd));
    ::close(fd);
  }
  diag::error("CProcessFolder::create", "no folder of its own could be kept in " + parent.string());
  return nullptr;
}

CProcessFolder::CProcessFolder(fs::path path, int lock) : m_path(std::move(path)), m_lock(lock), m_owner(::getpid()) {}

CProcessFolder::~CProcessFolder() {
  if (::getpid() == m_owner) {
    std::error_code ec;
    fs::remove_all(m_path, ec);
    if (ec) diag::warning("CProcessFolder", "cannot remove " + m_path.string() + ": " + ec.message());
  }
  ::close(m_lock);
}

std::size_t removeAbandonedEntries(const fs::path& parent) {
  std::size_t removed = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(parent, ec)) {
    const fs::path path = entry.path();
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;
    std::error_code removeError;
    if (!S_ISDIR(st.st_mode)) {
      if (fs::remove(path, removeError)) ++removed;  // a link goes, never what it points at
    } else {
      const int fd = openFolder(path);
      if (fd < 0) continue;
      // Held by a live process (or being made): it stays.
      if (lockFolder(fd, LOCK_EX | LOCK_NB) == 0 && stillAt(fd, path)) {
        fs::remove_all(path, removeError);
        if (!removeError) ++removed;
      }
      ::close(fd);
    }
    if (removeError)
      diag::warning("removeAbandonedEntries", "cannot remove " + path.string() + ": " + removeError.message());
  }
  if (ec) diag::error("removeAbandonedEntries", "cannot read " + parent.string() + ": " + ec.message());
  return removed;
}

}  // namespace platform::system
