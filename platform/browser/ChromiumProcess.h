#pragma once
// Starting and ending the headless Chromium process with its DevTools pipe on fds 3 and 4.

#include <filesystem>
#include <functional>
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
  // Why the browser runs without its sandbox; empty when it runs sandboxed.
  std::string unsandboxedBecause;
};

// Whether Chromium's own sandbox can run in this process: never as root (Chromium refuses to
// start so), and only where a user namespace can be made (its namespace sandbox needs one),
// which a child process tries once per process. False with `why` set otherwise.
QM_PLATFORM_API bool sandboxAvailable(std::string& why);
// Test seam: replaces the whole check (true: the sandbox can run; false with `why`); an empty
// function puts the real one back. Either way the next sandboxAvailable asks anew, and the
// Warning may be reported again.
QM_PLATFORM_API void setSandboxCheckForTesting(std::function<bool(std::string& why)> check);

// Reports, once per process, the Warning that the browser runs without its sandbox and why; a
// sandboxed browser reports nothing. Called at the browser's first answer, when the log is there.
QM_PLATFORM_API void reportUnsandboxed(const ChromiumProcess& process);

// The binary $QUILLMARK_CHROMIUM names when set (whether or not it exists), else
// chromium-headless-shell, else chromium; empty when none is installed.
QM_PLATFORM_API std::filesystem::path findChromium();

// Starts the browser in its own process group with a fresh profile folder inside the process's
// temporary folder, sandboxed where it can be, stdout and stderr discarded. False (and `error`
// set) when it cannot start.
QM_PLATFORM_API bool startChromium(const std::filesystem::path& binary, ChromiumProcess& process, std::string& error);

// Whether the process still runs (reaps it when it has ended).
QM_PLATFORM_API bool chromiumAlive(ChromiumProcess& process);

// Kills the whole process group, reaps the process, closes our pipe ends and removes the
// profile folder. Safe on an ended or never-started process.
QM_PLATFORM_API void stopChromium(ChromiumProcess& process);

}  // namespace platform::browser::detail
