#pragma once
// Starting and ending the headless Chromium process with its DevTools pipe on fds 3 and 4.

#include <filesystem>
#include <string>
#include <sys/types.h>

#include "platform/Export.h"

namespace platform::browser::detail {

struct ChromiumProcess {
  pid_t pid = -1;
  int commandFd = -1;  // we write commands here (the browser's fd 3)
  int replyFd = -1;    // we read replies and events here (the browser's fd 4)
  std::filesystem::path profileDir;
  std::filesystem::path binary;
};

// The binary $QUILLMARK_CHROMIUM names when set (whether or not it exists), else
// chromium-headless-shell, else chromium; empty when none is installed.
QM_PLATFORM_API std::filesystem::path findChromium();

// Starts the browser in its own process group with a fresh profile folder under $TMPDIR,
// stdout and stderr discarded. False (and `error` set) when it cannot start.
QM_PLATFORM_API bool startChromium(const std::filesystem::path& binary, ChromiumProcess& process, std::string& error);

// Whether the process still runs (reaps it when it has ended).
QM_PLATFORM_API bool chromiumAlive(ChromiumProcess& process);

// Kills the whole process group, reaps the process, closes our pipe ends and removes the
// profile folder. Safe on an ended or never-started process.
QM_PLATFORM_API void stopChromium(ChromiumProcess& process);

}  // namespace platform::browser::detail
