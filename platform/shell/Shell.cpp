#include "platform/shell/Shell.h"

#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <utility>

#include "platform/com/HResult.h"
#include "platform/shell/XdgShell.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Errors.h"
#include "platform/system/Text.h"

namespace platform::shell {
namespace {

std::atomic<IShell*> g_testShell{nullptr};

std::mutex g_failedMutex;
std::vector<FailedPrint> g_failedPrints;
thread_local std::string t_failureReason;

bool isPrintVerb(LPCWSTR verb) {
  if (!verb) return false;
  std::u16string lower(verb);
  CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  return lower == u"print";
}

void notePrintFailed(LPCWSTR file, DWORD code) {
  std::string reason = std::exchange(t_failureReason, {});
  if (reason.empty()) reason = platform::system::utf16ToUtf8(platform::system::errorText(code));
  std::lock_guard<std::mutex> lock(g_failedMutex);
  g_failedPrints.push_back({file ? std::u16string(file) : std::u16string(), std::move(reason)});
}

std::u16string textOf(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

INT seErrorOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return SE_ERR_FNF;
    case ERROR_PATH_NOT_FOUND: return SE_ERR_PNF;
    case ERROR_ACCESS_DENIED: return SE_ERR_ACCESSDENIED;
    case ERROR_NOT_ENOUGH_MEMORY: return SE_ERR_OOM;
    default: return SE_ERR_NOASSOC;
  }
}

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs ("$HOME/Documents" or an absolute path), or empty.
std::string xdgDocumentsFolder(const std::string& home) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string file = (config && *config ? std::string(config) : home + "/.config") + "/user-dirs.dirs";
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
    if (line.rfind(kKey, 0) != 0) continue;
    std::string value = line.substr(kKey.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    return value.empty() || value[0] != '/' ? std::string() : value;
  }
  return {};
}

}  // namespace

IShell::~IShell() = default;

IShell& defaultShell() {
  if (IShell* shell = g_testShell.load()) return *shell;
  static XdgShell desktop;
  return desktop;
}

void SetForTesting(IShell* shell) { g_testShell.store(shell); }

std::vector<FailedPrint> takeFailedPrints() {
  std::lock_guard<std::mutex> lock(g_failedMutex);
  return std::exchange(g_failedPrints, {});
}

void detail::noteFailureReason(std::string reason) { t_failureReason = std::move(reason); }

}  // namespace platform::shell

namespace platform::shell {
namespace {

// keepFailedPrint: a failed "print" is kept for the command to report.
BOOL shellExecute(SHELLEXECUTEINFOW* info, bool keepFailedPrint) {
  if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD code = ERROR_FILE_NOT_FOUND;
  t_failureReason.clear();
  if (info->lpFile && *info->lpFile) {
    ShellRequest request;
    request.verb = textOf(info->lpVerb);
    request.file = info->lpFile;
    request.parameters = textOf(info->lpParameters);
    request.directory = textOf(info->lpDirectory);
    request.mask = info->fMask;
    request.show = info->nShow;
    code = platform::diag::guarded("ShellExecuteExW", ERROR_GEN_FAILURE, [&] { return defaultShell().execute(request); });
  }
  info->hProcess = nullptr;
  if (code == ERROR_SUCCESS) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(kShellExecuteSucceeded));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  }
  info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(seErrorOf(code)));
  if (keepFailedPrint && isPrintVerb(info->lpVerb)) notePrintFailed(info->lpFile, code);
  SetLastError(code);
  return FALSE;
}

}  // namespace
}  // namespace platform::shell

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) { return platform::shell::shellExecute(info, true); }

HINSTANCE ShellExecuteW(HWND hwnd, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        INT showCommand) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC;
  info.hwnd = hwnd;
  info.lpVerb = verb;
  info.lpFile = file;
  info.lpParameters = parameters;
  info.lpDirectory = directory;
  info.nShow = showCommand;
  // The older front's callers act on its bare answer (the printer keeps its pages in a file when
  // no printer takes them), so its failures are not kept for the command.
  platform::shell::shellExecute(&info, false);
  return info.hInstApp;
}

HRESULT SHGetFolderPathW(HWND, int folder, HANDLE, DWORD, LPWSTR path) {
  if (!path) return E_POINTER;
  if (folder != CSIDL_PERSONAL) return E_INVALIDARG;
  const std::string home = platform::shell::homeFolder();
  std::error_code ec;
  std::string chosen = platform::shell::xdgDocumentsFolder(home);
  if (chosen.empty() || !std::filesystem::is_directory(chosen, ec)) {
    chosen = home + "/Documents";
    if (!std::filesystem::is_directory(chosen, ec)) chosen = home;
  }
  while (chosen.size() > 1 && chosen.back() == '/') chosen.pop_back();
  const std::u16string text = platform::system::utf8ToUtf16(chosen);
  if (text.size() >= MAX_PATH) return E_FAIL;
  std::memcpy(path, text.data(), text.size() * sizeof(char16_t));
  path[text.size()] = u'\0';
  return S_OK;
}
