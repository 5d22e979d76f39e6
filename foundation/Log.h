#pragma once
// CLogger: the process-wide levelled log. Off when the process starts; every log call goes through
// the LOG_* macros, which test the process-wide flag before any argument is evaluated.

#include <atomic>
#include <ctime>
#include <functional>
#include <vector>

#include <boost/thread/mutex.hpp>

#include "foundation/QuilString.h"

// The source record of one log line: the calling file's base name and the line number.
struct LogSource {
  LogSource(const char* file, int line);
  quilstring m_file;
  int m_line;
};

class CLogger {
 public:
  enum Level { kInfo = 0, kError = 1, kWarning = 2, kDebug = 3 };

  static CLogger& instance();
  // The platform's reports end here too: what static destructors report later goes nowhere.
  ~CLogger();

  // The standard level name at an index: "Info", "Error", "Warning", "Debug".
  static const quilstring& levelName(int level);

  // Stores the four level names; the threshold becomes the index of the name equal to
  // thresholdName ignoring case (unchanged when none is).
  void setLevels(const std::vector<quilstring>& names, const quilstring& thresholdName);
  int threshold() const { return m_threshold; }

  void info(const LogSource& source, const char16_t* format, ...);
  void error(const LogSource& source, const char16_t* format, ...);
  void warning(const LogSource& source, const char16_t* format, ...);
  void debug(const LogSource& source, const char16_t* format, ...);

  // Writes one whole line under the mutex and flushes it.
  void write(int level, const quilstring& file, int line, const quilstring& message);

  // Sends lines to a file opened for append (created when missing); an active redirection ends
  // first. When the file cannot be opened the log stays where it was and false is answered.
  bool redirectTo(const quilstring& path);
  // Puts the log back on the standard error stream.
  void endRedirection();

  // Test seams: the clock of the time stamp, and a reset to the state at process start.
  void setClockForTesting(std::function<std::time_t()> clock);
  void resetForTesting();

 private:
  CLogger();
  void writeLevel(int level, const LogSource& source, const char16_t* format, va_list args);

  int m_threshold = 0;
  std::vector<quilstring> m_names = std::vector<quilstring>(4);
  std::size_t m_nameWidth = 0;
  boost::mutex m_mutex;
  int m_fd = 2;  // the log stream: standard error, or the redirection's file
  std::function<std::time_t()> m_clock;
};

namespace NLog {

// The process-wide logging flag; every log call tests it first.
inline std::atomic<bool> g_enabled{false};

inline bool enabled() { return g_enabled.load(std::memory_order_relaxed); }

// Installs the level names and threshold on the logger and switches logging on.
void setLevels(const std::vector<quilstring>& names, const quilstring& thresholdName);

// Switches logging off; nothing is evaluated or written until setLevels is called again.
void switchOff();

}  // namespace NLog

#define QM_LOG_AT(method, ...)                                          \
  do {                                                                  \
    if (NLog::enabled()) CLogger::instance().method(LogSource(__FILE__, __LINE__), __VA_ARGS__); \
  } while (0)

#define LOG_INFO(...) QM_LOG_AT(info, __VA_ARGS__)
// An Error is always formatted: it becomes the thread's last failure reason (what a command
// tells its user) even while the log is off; it is written only when logging is on.
#define LOG_ERROR(...)                                                        \
  do {                                                                        \
    CLogger::instance().error(LogSource(__FILE__, __LINE__), __VA_ARGS__);    \
  } while (0)
#define LOG_WARNING(...) QM_LOG_AT(warning, __VA_ARGS__)
#define LOG_DEBUG(...) QM_LOG_AT(debug, __VA_ARGS__)
