#include "platform/browser/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>
#include <utility>

#include "platform/system/Diagnostics.h"

namespace platform::browser::detail {

namespace {

namespace fs = std::filesystem;

constexpr const char* kWhere = "pdf output";
std::atomic<int> g_failWrites{0};

std::string reason(int error) { return std::strerror(error); }

}  // namespace

void failWritesForTesting(int error) { g_failWrites = error; }

fs::path makeUniqueFile(const fs::path& folder, std::string_view prefix, std::string_view suffix) {
  std::string pattern = (folder / std::string(prefix)).string() + "XXXXXX" + std::string(suffix);
  const int fd = ::mkstemps(pattern.data(), static_cast<int>(suffix.size()));
  if (fd < 0) {
    diag::error(kWhere, "cannot make a file in " + folder.string() + ": " + reason(errno));
    return {};
  }
  ::close(fd);
  return pattern;
}

COutputFile::COutputFile(fs::path target, bool durable) : m_target(std::move(target)), m_durable(durable) {
  const fs::path folder = m_target.has_parent_path() ? m_target.parent_path() : fs::path(".");
  std::string pattern = (folder / ("." + m_target.filename().string() + ".XXXXXX")).string();
  m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (m_fd < 0) {
    fail("cannot write " + m_target.string(), errno);
    return;
  }
  m_temporary = pattern;
}

COutputFile::~COutputFile() {
  if (m_fd >= 0) ::close(m_fd);
  if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
}

void COutputFile::fail(const std::string& what, int error) {
  m_failed = true;
  diag::error(kWhere, what + ": " + reason(error));
}

bool COutputFile::write(std::string_view data) {
  if (m_fd < 0 || m_failed) return false;
  while (!data.empty()) {
    if (const int injected = g_failWrites.load()) {
      fail("cannot write " + m_target.string(), injected);
      return false;
    }
    const ssize_t n = ::write(m_fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail("cannot write " + m_target.string(), n < 0 ? errno : EIO);
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool COutputFile::commit() {
  if (m_fd < 0 || m_failed) return false;
  if (const int injected = g_failWrites.load()) {
    fail("cannot write " + m_target.string(), injected);
    return false;
  }
  // mkstemp makes the file private; the PDF gets the mode a plain creation would give it.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(m_fd, 0666 & ~mask);
  if (m_durable && ::fsync(m_fd) != 0) {
    fail("cannot write " + m_target.string(), errno);
    return false;
  }
  const int fd = std::exchange(m_fd, -1);
  if (::close(fd) != 0) {
    fail("cannot write " + m_target.string(), errno);
    return false;
  }
  if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
    fail("cannot name " + m_target.string(), errno);
    return false;
  }
  m_temporary.clear();
  return true;
}

bool copyFileWhole(const fs::path& from, const fs::path& target) {
  std::ifstream in(from, std::ios::binary);
  if (!in) {
    diag::error(kWhere, "cannot read " + from.string());
    return false;
  }
  COutputFile out(target);
  char buffer[1 << 16];
  while (out.ok() && in) {
    in.read(buffer, sizeof buffer);
    if (in.gcount() > 0 && !out.write(std::string_view(buffer, static_cast<std::size_t>(in.gcount())))) return false;
  }
  if (in.bad()) {
    diag::error(kWhere, "cannot read " + from.string());
    return false;
  }
  return out.commit();
}

}  // namespace platform::browser::detail
