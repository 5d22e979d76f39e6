// The hive files on a POSIX file system.
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/registry/RegistryFiles.h"
#include "platform/registry/detail/RegText.h"

namespace platform::registry {
namespace {

LONG errorOf(int err, LONG otherwise) {
  switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return otherwise;
  }
}

class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }
  // Closes now so that a failing close (a delayed write error) is seen.
  int close() {
    const int rc = ::close(m_fd);
    m_fd = -1;
    return rc;
  }

 private:
  int m_fd;
};

}  // namespace

IHiveStorage::~IHiveStorage() = default;

LONG PosixHiveStorage::stamp(const std::filesystem::path& file, FileStamp& out) {
  struct stat st {};
  out = FileStamp{};
  if (::stat(file.c_str(), &st) != 0) return errorOf(errno, ERROR_READ_FAULT);
  out.exists = true;
  out.device = st.st_dev;
  out.inode = st.st_ino;
  out.size = static_cast<std::uint64_t>(st.st_size);
  out.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return ERROR_SUCCESS;
}

LONG PosixHiveStorage::readFile(const std::filesystem::path& file, std::string& bytes) {
  bytes.clear();
  // O_NONBLOCK: opening a pipe must not wait for a writer; the type is checked before any read.
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) return errorOf(errno, ERROR_READ_FAULT);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return errorOf(errno, ERROR_READ_FAULT);
  if (!S_ISREG(st.st_mode)) return ERROR_BAD_FILE_TYPE;
  if (static_cast<std::uint64_t>(st.st_size) > detail::kMaxRegFileBytes) return ERROR_FILE_TOO_LARGE;
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  while (true) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      bytes.clear();
      return errorOf(errno, ERROR_READ_FAULT);
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    // The file may grow while it is read.
    if (bytes.size() > detail::kMaxRegFileBytes) {
      bytes.clear();
      return ERROR_FILE_TOO_LARGE;
    }
  }
  return ERROR_SUCCESS;
}

LONG PosixHiveStorage::lock(const std::filesystem::path& lockFile, int& fd) {
  fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return errorOf(errno, ERROR_LOCK_VIOLATION);
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      const int err = errno;
      ::close(fd);
      fd = -1;
      return errorOf(err, ERROR_LOCK_VIOLATION);
    }
  }
  return ERROR_SUCCESS;
}

void PosixHiveStorage::unlock(int fd) {
  if (fd < 0) return;
  ::flock(fd, LOCK_UN);
  ::close(fd);
}

LONG PosixHiveStorage::writeDurably(const std::filesystem::path& file, std::string_view bytes) {
  // Never through a link: a planted "<hive>.tmp" link must not truncate what it points to.
  Fd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (fd.get() < 0) return errorOf(errno, ERROR_WRITE_FAULT);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errorOf(errno, ERROR_WRITE_FAULT);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0) return errorOf(errno, ERROR_WRITE_FAULT);
  if (fd.close() != 0) return errorOf(errno, ERROR_WRITE_FAULT);
  return ERROR_SUCCESS;
}

LONG PosixHiveStorage::replace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return errorOf(errno, ERROR_WRITE_FAULT);
  // The rename itself is durable only once the folder is synced.
  const std::filesystem::path folder = to.has_parent_path() ? to.parent_path() : std::filesystem::path(".");
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return ERROR_SUCCESS;
}

LONG PosixHiveStorage::makeFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return errorOf(ec.value(), ERROR_PATH_NOT_FOUND);
  return ERROR_SUCCESS;
}

bool PosixHiveStorage::canWrite(const std::filesystem::path& file) {
  if (::access(file.c_str(), F_OK) == 0) {
    // Replacing the file needs the folder too.
    return ::access(file.c_str(), W_OK) == 0 &&
           ::access((file.has_parent_path() ? file.parent_path() : std::filesystem::path(".")).c_str(), W_OK | X_OK) == 0;
  }
  // A missing file can be written when its nearest existing folder can.
  std::filesystem::path folder = file.parent_path();
  while (!folder.empty() && ::access(folder.c_str(), F_OK) != 0) {
    if (folder == folder.parent_path()) break;
    folder = folder.parent_path();
  }
  if (folder.empty()) folder = ".";
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace platform::registry
