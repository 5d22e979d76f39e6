#include "platform/browser/ChromiumProcess.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/system/Diagnostics.h"
#include "platform/system/ProcessFolder.h"

extern char** environ;

namespace platform::browser::detail {
namespace {

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// A child tries what Chromium's namespace sandbox does first; this process stays as it is.
bool probeUserNamespace(std::string& why) {
  const pid_t child = ::fork();
  if (child < 0) {
    why = std::string("no process could be started to try a user namespace: ") + std::strerror(errno);
    return false;
  }
  if (child == 0) ::_exit(::unshare(CLONE_NEWUSER) == 0 ? 0 : (errno & 0x7f) + 1);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      why = std::string("the try of a user namespace was lost: ") + std::strerror(errno);
      return false;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  why = WIFEXITED(status) ? std::string("no user namespace can be made here (unshare: ") +
                                std::strerror(WEXITSTATUS(status) - 1) + ")"
                          : std::string("the try of a user namespace ended abnormally");
  return false;
}

struct SandboxState {
  std::mutex mutex;
  std::function<bool(std::string&)> check;
  std::optional<std::pair<bool, std::string>> answer;  // asked once per process
};

SandboxState& sandboxState() {
  static SandboxState* state = new SandboxState;  // never destroyed: browsers stop at exit
  return *state;
}

std::atomic<bool> g_unsandboxedReported{false};

// Where the browser keeps its profile and its helpers their temporary files: the process's own
// folder, which goes with the process (or with the next start's tidying after a crash).
std::filesystem::path browserFolderParent() {
  std::filesystem::path parent = platform::system::processTempPath();
  if (!parent.empty()) return parent;
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

}  // namespace

bool sandboxAvailable(std::string& why) {
  SandboxState& state = sandboxState();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.answer) {
    std::string reason;
    bool ok = false;
    if (state.check)
      ok = state.check(reason);
    else if (::geteuid() == 0)
      reason = "the process runs as root, where Chromium refuses its sandbox";
    else
      ok = probeUserNamespace(reason);
    state.answer.emplace(ok, reason);
  }
  why = state.answer->second;
  return state.answer->first;
}

void setSandboxCheckForTesting(std::function<bool(std::string& why)> check) {
  SandboxState& state = sandboxState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.check = std::move(check);
  state.answer.reset();
  g_unsandboxedReported = false;
}

void reportUnsandboxed(const ChromiumProcess& process) {
  if (process.unsandboxedBecause.empty() || g_unsandboxedReported.exchange(true)) return;
  diag::warning("Chromium", "the browser runs without its sandbox (--no-sandbox): " + process.unsandboxedBecause);
}

std::filesystem::path findChromium() {
  if (const char* chosen = std::getenv("QUILLMARK_CHROMIUM"); chosen && *chosen) return chosen;
  for (const char* candidate : {"/usr/lib/chromium/chromium-headless-shell", "/usr/lib/chromium/chromium"})
    if (::access(candidate, X_OK) == 0) return candidate;
  return {};
}

bool startChromium(const std::filesystem::path& binary, ChromiumProcess& process, std::string& error) {
  process = ChromiumProcess{};
  if (binary.empty()) {
    error = "no Chromium installed (chromium-headless-shell or chromium)";
    return false;
  }
  const std::filesystem::path parent = browserFolderParent();
  std::string pattern = (parent / "chromium-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    error = "cannot create the profile folder in " + parent.string() + ": " + std::strerror(errno);
    return false;
  }
  process.profileDir = pattern;
  process.binary = binary;
  const std::filesystem::path helpersTemp = process.profileDir / "tmp";
  std::error_code noHelpersTemp;
  std::filesystem::create_directory(helpersTemp, noHelpersTemp);
  std::string why;
  if (!sandboxAvailable(why)) process.unsandboxedBecause = why.empty() ? std::string("no reason given") : why;

  int commands[2], replies[2];
  if (::pipe2(commands, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    stopChromium(process);
    return false;
  }
  if (::pipe2(replies, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    ::close(commands[0]);
    ::close(commands[1]);
    stopChromium(process);
    return false;
  }
  // Out of the way of 3 and 4, so the dup2 calls in the child cannot overwrite each other.
  int childIn = ::fcntl(commands[0], F_DUPFD_CLOEXEC, 10);
  int childOut = ::fcntl(replies[1], F_DUPFD_CLOEXEC, 10);
  ::close(commands[0]);
  ::close(replies[1]);
  process.commandFd = commands[1];
  process.replyFd = replies[0];

  const std::string userDataDir = "--user-data-dir=" + process.profileDir.string();
  std::vector<std::string> args = {binary.string(),
                                   "--headless",
                                   "--disable-gpu",
                                   // Nothing is shown: the tabs draw no frames unless asked (their
                                   // targets ask for it too), which spares the compositor's work
                                   // and memory.
                                   "--enable-begin-frame-control",
                                   "--run-all-compositor-stages-before-draw",
                                   "--disable-quic",
                                   "--no-first-run",
                                   "--disable-background-networking",
                                   "--disable-component-update",
                                   "--disable-sync",
                                   userDataDir,
                                   "--remote-debugging-pipe",
                                   "--host-resolver-rules=MAP * ~NOTFOUND",
                                   "--blink-settings=scriptEnabled=false",
                                   // A tab's next document takes over its frame instead of getting
                                   // a new one: a load is 2-4 ms shorter.
                                   "--disable-features=RenderDocument",
                                   "about:blank"};
  // It renders hostile mail: its own sandbox stays on unless it cannot run here.
  if (!process.unsandboxedBecause.empty()) args.insert(args.begin() + 2, "--no-sandbox");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Whatever the browser's helpers write to the temporary path goes with the profile.
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (noHelpersTemp || std::strncmp(*e, "TMPDIR=", 7) != 0) env.emplace_back(*e);
  if (!noHelpersTemp) env.push_back("TMPDIR=" + helpersTemp.string());
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, childIn, 3);
  posix_spawn_file_actions_adddup2(&actions, childOut, 4);
  // Its own group, so the renderers and helpers go with it when it is stopped.
  posix_spawnattr_setpgroup(&attr, 0);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  // SIGPIPE may be ignored in this process; the browser gets default dispositions.
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, binary.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(childIn);
  ::close(childOut);
  if (rc != 0) {
    error = std::string("cannot start ") + binary.string() + ": " + std::strerror(rc);
    stopChromium(process);
    return false;
  }
  process.pid = pid;
  return true;
}

bool chromiumAlive(ChromiumProcess& process) {
  if (process.pid <= 0) return false;
  int status = 0;
  const pid_t r = ::waitpid(process.pid, &status, WNOHANG);
  if (r == 0) return true;
  if (r == process.pid || (r < 0 && errno == ECHILD)) {
    ::kill(-process.pid, SIGKILL);  // helpers left behind by a dead browser
    process.pid = -1;
  }
  return false;
}

void stopChromium(ChromiumProcess& process) {
  closeFd(process.commandFd);
  closeFd(process.replyFd);
  if (process.pid > 0) {
    ::kill(-process.pid, SIGKILL);
    ::kill(process.pid, SIGKILL);
    int status = 0;
    while (::waitpid(process.pid, &status, 0) < 0 && errno == EINTR) {
    }
    process.pid = -1;
  }
  if (!process.profileDir.empty()) {
    // Helpers may still write into the profile for a moment after the group was killed.
    std::error_code ec;
    for (int attempt = 0; attempt < 5; ++attempt) {
      std::filesystem::remove_all(process.profileDir, ec);
      if (!ec) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    process.profileDir.clear();
  }
}

}  // namespace platform::browser::detail
