#include "foundation/Log.h"
#include "foundation/Guard.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/TextFormat.h"
#include "foundation/Utils.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

LogSource::LogSource(const char* file, int line) : m_line(line) {
  const char* base = file ? file : "";
  for (const char* p = base; *p; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  m_file = quilstring::fromUtf8(base);
}

CLogger::CLogger() {
  // The platform's layers report through the same log.
  platform::diag::setSink([](platform::diag::Level level, std::string_view message, std::string_view file, int line) {
    if (!NLog::enabled()) return;
    CLogger& logger = CLogger::instance();
    const int index = static_cast<int>(level);
    if (logger.threshold() < index) return;
    logger.write(index, quilstring::fromUtf8(std::string(file)), line, quilstring::fromUtf8(std::string(message)));
  });
  // The sink is taken back when the module is unloaded: the process, and the platform, go on.
  struct SinkRelease {
    ~SinkRelease() { platform::diag::setSink(nullptr); }
  };
  static const SinkRelease release;
}

CLogger::~CLogger() { platform::diag::setSink({}); }

CLogger& CLogger::instance() {
  static CLogger logger;
  return logger;
}

const quilstring& CLogger::levelName(int level) {
  static const std::vector<quilstring> names = {u"Info", u"Error", u"Warning", u"Debug"};
  static const quilstring none;
  return level >= 0 && level < 4 ? names[static_cast<std::size_t>(level)] : none;
}

void CLogger::setLevels(const std::vector<quilstring>& names, const quilstring& thresholdName) {
  m_names.assign(4, quilstring());
  std::size_t longest = 0;
  for (std::size_t i = 0; i < names.size() && i < 4; ++i) {
    m_names[i] = names[i];
    longest = std::max(longest, names[i].size());
    if (NUtils::equalsNoCase(names[i], thresholdName)) m_threshold = static_cast<int>(i);
  }
  m_nameWidth = longest + 1;
}

void CLogger::writeLevel(int level, const LogSource& source, const char16_t* format, va_list args) {
  if (level == kError) {
    quilstring message(NUtils::formatVa(format, args));
    platform::diag::noteFailure(message.toUtf8());
    if (NLog::enabled() && m_threshold >= level) write(level, source.m_file, source.m_line, message);
    return;
  }
  // Each level is written when the threshold is at least its index.
  if (m_threshold < level) return;
  quilstring message(NUtils::formatVa(format, args));
  write(level, source.m_file, source.m_line, message);
}

#define QM_LEVEL_ENTRY(method, level)                                              \
  void CLogger::method(const LogSource& source, const char16_t* format, ...) {    \
    va_list args;                                                                  \
    va_start(args, format);                                                        \
    writeLevel(level, source, format, args);                                       \
    va_end(args);                                                                  \
  }
QM_LEVEL_ENTRY(info, kInfo)
QM_LEVEL_ENTRY(error, kError)
QM_LEVEL_ENTRY(warning, kWarning)
QM_LEVEL_ENTRY(debug, kDebug)
#undef QM_LEVEL_ENTRY

void CLogger::write(int level, const quilstring& file, int line, const quilstring& message) {
  boost::mutex::scoped_lock lock(m_mutex);
  const std::time_t now = m_clock ? m_clock() : std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char timeText[512];
  if (std::strftime(timeText, sizeof timeText, "%X", &local) == 0) timeText[0] = '\0';

  std::string text(timeText);
  if (text.size() < 9) text.append(9 - text.size(), ' ');
  const quilstring& name = level >= 0 && level < 4 ? m_names[static_cast<std::size_t>(level)] : quilstring();
  std::u16string levelField = name;
  if (levelField.size() < m_nameWidth) levelField.append(m_nameWidth - levelField.size(), u' ');
  text += platform::system::utf16ToUtf8(levelField);
  text += platform::system::utf16ToUtf8(message);
  text += " (";
  text += platform::system::utf16ToUtf8(file);
  text += ':';
  text += std::to_string(line);
  text += ")\n";

  // One write per line: with O_APPEND, lines of several processes never tear.
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(m_fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a line that cannot be written is lost
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

bool CLogger::redirectTo(const quilstring& path) {
  boost::mutex::scoped_lock lock(m_mutex);
  const int fd = ::open(path.toUtf8().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (m_fd != 2) ::close(m_fd);
  m_fd = fd;
  return true;
}

void CLogger::endRedirection() {
  boost::mutex::scoped_lock lock(m_mutex);
  if (m_fd != 2) ::close(m_fd);
  m_fd = 2;
}

void CLogger::setClockForTesting(std::function<std::time_t()> clock) {
  boost::mutex::scoped_lock lock(m_mutex);
  m_clock = std::move(clock);
}

void CLogger::resetForTesting() {
  endRedirection();
  boost::mutex::scoped_lock lock(m_mutex);
  m_threshold = 0;
  m_names.assign(4, quilstring());
  m_nameWidth = 0;
  m_clock = nullptr;
  NLog::g_enabled = false;
}

namespace NLog {

void setLevels(const std::vector<quilstring>& names, const quilstring& thresholdName) {
  CLogger::instance().setLevels(names, thresholdName);
  g_enabled = true;
}

void switchOff() { g_enabled = false; }

}  // namespace NLog

namespace NUtils::detail {

void logCaught(const char16_t* where, const char* what, const char* file, int line) noexcept {
  try {
    const quilstring reason = what ? quilstring::fromUtf8(what) : quilstring(u"unknown exception");
    CLogger::instance().error(LogSource(file, line), u"Exception caught in %s: %s", where ? where : u"", reason.c_str());
  } catch (...) {
    // Logging a caught exception must not throw again.
  }
}

void logFailure(const char16_t* errorLine, const char* what, const char* file, int line) noexcept {
  try {
    const quilstring reason = what ? quilstring::fromUtf8(what) : quilstring(u"unknown exception");
    CLogger::instance().error(LogSource(file, line), u"%s (%s)", errorLine ? errorLine : u"", reason.c_str());
  } catch (...) {
    // Logging a caught exception must not throw again.
  }
}

void logMiss(const char16_t* what, const char* reason, quilstring* lastReason, const char* file, int line) noexcept {
  try {
    const quilstring text = reason ? quilstring::fromUtf8(reason) : quilstring(u"unknown exception");
    if (lastReason) {
      if (*lastReason == text) return;
      *lastReason = text;
    }
    if (NLog::enabled()) CLogger::instance().debug(LogSource(file, line), u"%s (%s)", what ? what : u"", text.c_str());
  } catch (...) {
    // Logging a caught exception must not throw again.
  }
}

std::string reasonOf(const _com_error& e) {
  return quilstring(e.Description().empty() ? e.ErrorMessage() : e.Description()).toUtf8();
}

}  // namespace NUtils::detail
