#include "platform/shell/XdgShell.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/system/Diagnostics.h"
#include "platform/system/Errors.h"
#include "platform/system/Text.h"

extern char** environ;

namespace platform::shell {
namespace detail {

std::string findProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    const std::string candidate = dir + "/" + name;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return {};
}

std::string contentTypeOf(const std::string& file) {
  char head[4096];
  std::ifstream in(file, std::ios::binary);
  in.read(head, sizeof head);
  const std::streamsize read = in ? static_cast<std::streamsize>(sizeof head) : in.gcount();
  gboolean uncertain = FALSE;
  gchar* type = g_content_type_guess(file.c_str(), reinterpret_cast<const guchar*>(head),
                                     static_cast<gsize>(read > 0 ? read : 0), &uncertain);
  std::string mime = "application/octet-stream";
  if (type) {
    if (gchar* m = g_content_type_get_mime_type(type)) {
      mime = m;
      g_free(m);
    }
    g_free(type);
  }
  return mime;
}

bool cupsPrints(const std::string& mimeType) {
  static const char* const kTypes[] = {"application/pdf", "application/postscript", "image/png",  "image/jpeg",
                                       "image/gif",       "image/tiff",             "image/x-portable-anymap",
                                       "image/x-portable-bitmap", "image/x-portable-graymap", "image/x-portable-pixmap"};
  for (const char* type : kTypes)
    if (mimeType == type) return true;
  // Plain text and its kinds (source code, CSV), but not markup that would print as its tags.
  if (mimeType == "text/html" || mimeType == "text/rtf" || mimeType == "application/rtf") return false;
  gchar* type = g_content_type_from_mime_type(mimeType.c_str());
  const bool text = type && g_content_type_is_a(type, "text/plain");
  g_free(type);
  return text;
}

std::vector<std::string> applicationPrintCommand(const std::string& mimeType) {
  gchar* type = g_content_type_from_mime_type(mimeType.c_str());
  GAppInfo* app = type ? g_app_info_get_default_for_type(type, FALSE) : nullptr;
  g_free(type);
  if (!app) return {};
  const std::string program = g_app_info_get_executable(app) ? g_app_info_get_executable(app) : "";
  g_object_unref(app);
  const std::string name = program.substr(program.find_last_of('/') + 1);
  // The office suite prints a document on the default printer from its command line.
  for (const char* office : {"soffice", "libreoffice", "lowriter", "localc", "loimpress", "lodraw"})
    if (name == office) return {program, "-p"};
  return {};
}

}  // namespace detail

namespace {

enum class Verb { kOpen, kPrint, kUnknown };

Verb verbOf(std::u16string verb) {
  CharLowerBuffW(verb.data(), static_cast<DWORD>(verb.size()));
  if (verb.empty() || verb == u"open") return Verb::kOpen;
  if (verb == u"print") return Verb::kPrint;
  return Verb::kUnknown;
}

// "https://...", "mailto:...": a scheme of two or more letters, digits, '+', '-' or '.' and a colon.
bool isAddress(const std::string& file) {
  const std::size_t colon = file.find(':');
  if (colon == std::string::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(file[0]))) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(file[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A relative file is taken in the request's directory, then in the current one, so the helper
// always gets an absolute path (never one that could read as an option).
std::string absoluteFile(const std::string& file, const std::string& directory) {
  if (!file.empty() && file[0] == '/') return file;
  std::string base = directory;
  if (base.empty() || base[0] != '/') {
    char cwd[4096];
    const std::string current = ::getcwd(cwd, sizeof cwd) ? cwd : "/";
    base = base.empty() ? current : current + "/" + base;
  }
  if (base.back() != '/') base.push_back('/');
  return base + file;
}

DWORD exitCodeError(Verb verb, const std::string& program, int status) {
  if (!WIFEXITED(status)) {
    detail::noteFailureReason(program + " was ended by signal " + std::to_string(WTERMSIG(status)));
    return ERROR_GEN_FAILURE;
  }
  const int code = WEXITSTATUS(status);
  if (code == 0) return ERROR_SUCCESS;
  detail::noteFailureReason(program + " failed with exit status " + std::to_string(code));
  if (verb == Verb::kOpen) {
    // xdg-open: 2 the file does not exist, 3 a required tool is missing, 4 the action failed.
    if (code == 2) return ERROR_FILE_NOT_FOUND;
    if (code == 3 || code == 4) return ERROR_NO_ASSOCIATION;
  }
  return ERROR_GEN_FAILURE;
}

class SpawnActions {
 public:
  SpawnActions() { m_ok = ::posix_spawn_file_actions_init(&m_actions) == 0; }
  ~SpawnActions() {
    if (m_ok) ::posix_spawn_file_actions_destroy(&m_actions);
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  bool ok() const { return m_ok; }
  posix_spawn_file_actions_t* get() { return &m_actions; }

 private:
  posix_spawn_file_actions_t m_actions;
  bool m_ok = false;
};

DWORD run(Verb verb, const std::string& program, const std::vector<std::string>& arguments,
          const std::string& directory, std::chrono::milliseconds wait) {
  SpawnActions actions;
  if (!actions.ok()) return ERROR_NOT_ENOUGH_MEMORY;
  // The helper reads nothing and its chatter ("request id is ...") stays out of our output.
  ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  if (!directory.empty()) ::posix_spawn_file_actions_addchdir_np(actions.get(), directory.c_str());

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv.data(), environ);
  if (spawned != 0) {
    detail::noteFailureReason("cannot run " + program + ": " + std::generic_category().message(spawned));
    return spawned == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_NO_ASSOCIATION;
  }

  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return exitCodeError(verb, program, status);
    if (done < 0 && errno != EINTR) return ERROR_SUCCESS;  // reaped elsewhere (SIGCHLD ignored)
    if (std::chrono::steady_clock::now() >= deadline) {
      // Still running (a viewer xdg-open waits for): it started, so let it finish on its own.
      std::thread([pid] {
        int ignored = 0;
        while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
        }
      }).detach();
      return ERROR_SUCCESS;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

XdgShell::XdgShell(HelperPrograms programs) : m_programs(std::move(programs)) {}

DWORD XdgShell::execute(const ShellRequest& request) {
  return platform::diag::guarded("XdgShell::execute", static_cast<DWORD>(ERROR_GEN_FAILURE), [&]() -> DWORD {
    const Verb verb = verbOf(request.verb);
    if (verb == Verb::kUnknown) return ERROR_NO_ASSOCIATION;
    const std::string directory = system::utf16ToUtf8(request.directory);
    if (!directory.empty() && !isDirectory(directory)) return ERROR_PATH_NOT_FOUND;

    std::string file = system::utf16ToUtf8(request.file);
    if (file.empty()) return ERROR_FILE_NOT_FOUND;
    if (verb == Verb::kPrint || !isAddress(file)) {
      file = absoluteFile(file, directory);
      struct stat st {};
      if (::stat(file.c_str(), &st) != 0) {
        const int error = errno;
        detail::noteFailureReason(std::generic_category().message(error));
        return system::errorFromErrno(error);
      }
    }

    std::vector<std::string> command{verb == Verb::kPrint ? m_programs.print : m_programs.open};
    if (verb == Verb::kPrint) {
      const std::string type = detail::contentTypeOf(file);
      if (!detail::cupsPrints(type)) {
        command = m_programs.typePrinter ? m_programs.typePrinter(type) : detail::applicationPrintCommand(type);
        if (command.empty()) {
          detail::noteFailureReason("no application prints " + type + " files");
          diag::error("XdgShell::execute", "no application prints " + type + " files such as " + file);
          return ERROR_NO_ASSOCIATION;
        }
      }
    }
    const std::string program = detail::findProgram(command.front());
    if (program.empty()) {
      detail::noteFailureReason("the helper " + command.front() + " is not installed");
      diag::error("XdgShell::execute", "the helper " + command.front() + " for " + file + " is not installed");
      return ERROR_NO_ASSOCIATION;
    }
    // xdg-open takes the one file; lp prints on the default destination.
    std::vector<std::string> arguments(command.begin() + 1, command.end());
    arguments.push_back(file);
    return run(verb, program, arguments, directory, m_programs.wait);
  });
}

}  // namespace platform::shell
