#include "platform/browser/PageSetup.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <future>
#include <mutex>
#include <utility>

#include "platform/system/Text.h"

using platform::system::utf16ToUtf8;
using platform::system::utf8ToUtf16;

extern char** environ;

namespace platform::browser {

namespace detail {
namespace {

std::function<std::string()>& cupsQuery() {
  static std::function<std::string()> query;
  return query;
}

// Runs a program without a shell and answers what it wrote on stdout (at most 64 KiB).
std::string runProgram(const char* path, char* const argv[]) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, path, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  std::string out;
  if (rc == 0) {
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0 && out.size() < 65536;)
      out.append(buffer, static_cast<std::size_t>(n));
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out.clear();
  }
  ::close(fds[0]);
  return out;
}

// Asked once per process, in the background from the first print's start: the default printer
// rarely changes while Outlook runs, and lpstat costs 10 to 30 ms.
std::shared_future<std::string>& cupsAnswer() {
  static std::shared_future<std::string> answer;
  return answer;
}

std::string askCups() {
  char lpstat[] = "lpstat", d[] = "-d";
  char* statArgs[] = {lpstat, d, nullptr};
  const std::string line = runProgram("lpstat", statArgs);
  if (line.find("system default destination:") == std::string::npos) return {};
  char lpoptions[] = "lpoptions";
  char* optionArgs[] = {lpoptions, nullptr};
  return runProgram("lpoptions", optionArgs);
}

std::string queryCupsOptions() {
  if (cupsQuery()) return cupsQuery()();
  startCupsQuery();
  return cupsAnswer().get();
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::optional<PaperSize> paperSizeOfCupsOptions(std::string_view options) {
  for (const char* key : {"media=", "PageSize="}) {
    std::size_t at = 0;
    // The key at the start of the text or after a blank.
    while ((at = options.find(key, at)) != std::string_view::npos && at > 0 && options[at - 1] != ' ') ++at;
    if (at == std::string_view::npos) continue;
    std::string_view value = options.substr(at + std::string_view(key).size());
    value = value.substr(0, value.find_first_of(" \n,"));
    const std::string name = lower(value);
    if (name.find("letter") != std::string::npos) return kLetter;
    if (name.find("a4") != std::string::npos) return kA4;
    if (name.find("legal") != std::string::npos) return PaperSize{8.5, 14.0};
    if (name.find("a5") != std::string::npos) return PaperSize{148.0 / 25.4, 210.0 / 25.4};
  }
  return std::nullopt;
}

void startCupsQuery() {
  static std::once_flag once;
  std::call_once(once, [] {
    try {
      cupsAnswer() = std::async(std::launch::async, askCups).share();
    } catch (const std::system_error&) {
      // No thread to spare: asked when needed instead.
      std::promise<std::string> asked;
      asked.set_value(askCups());
      cupsAnswer() = asked.get_future().share();
    }
  });
}

void setCupsOptionsQueryForTesting(std::function<std::string()> query) { cupsQuery() = std::move(query); }

}  // namespace detail

PaperSize defaultPaperSize(LCID locale, bool askPrinter) {
  if (askPrinter)
    if (auto paper = detail::paperSizeOfCupsOptions(detail::queryCupsOptions())) return *paper;
  return locale == 1033 ? kLetter : kA4;
}

bool hasDefaultPrinter() { return !detail::queryCupsOptions().empty(); }

std::u16string templateNameOfAddress(std::u16string_view address) {
  const bool isUrl = address.size() >= 5 && (address[0] | 0x20) == u'f' && (address[1] | 0x20) == u'i' &&
                     (address[2] | 0x20) == u'l' && (address[3] | 0x20) == u'e' && address[4] == u':';
  const std::size_t slash = address.find_last_of(u"/\\");
  std::u16string_view file = slash == std::u16string_view::npos ? address : address.substr(slash + 1);
  if (isUrl) file = file.substr(0, file.find_first_of(u"?#"));
  std::u16string name;
  if (isUrl) {
    // Decoded as bytes, then read as UTF-8, so "%C3%A9" is one letter.
    std::string bytes;
    std::u16string run;  // text between escapes, converted whole so surrogate pairs stay paired
    const auto hex = [](char16_t c) -> int {
      if (c >= u'0' && c <= u'9') return c - u'0';
      if ((c | 0x20) >= u'a' && (c | 0x20) <= u'f') return (c | 0x20) - u'a' + 10;
      return -1;
    };
    for (std::size_t i = 0; i < file.size(); ++i) {
      if (file[i] == u'%' && i + 2 < file.size() && hex(file[i + 1]) >= 0 && hex(file[i + 2]) >= 0) {
        bytes += utf16ToUtf8(run);
        run.clear();
        bytes += static_cast<char>(hex(file[i + 1]) * 16 + hex(file[i + 2]));
        i += 2;
      } else {
        run += file[i];
      }
    }
    bytes += utf16ToUtf8(run);
    name = utf8ToUtf16(bytes);
  } else {
    name.assign(file);
  }
  const std::size_t dot = name.find_last_of(u'.');
  if (dot != std::u16string::npos) name.erase(dot);
  return name;
}

}  // namespace platform::browser
