#pragma once
// shell32's "open or print a file by its type": an IShell that runs a verb on a file, the
// process-wide instance, the ShellExecuteExW/ShellExecuteW fronts and the user's documents folder.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/mapi/Icon.h"
#include "platform/ui/WinUser.h"
#include "platform/system/Files.h"

constexpr ULONG SEE_MASK_DEFAULT = 0x00000000;
constexpr ULONG SEE_MASK_NOCLOSEPROCESS = 0x00000040;
constexpr ULONG SEE_MASK_NOASYNC = 0x00000100;
constexpr ULONG SEE_MASK_FLAG_NO_UI = 0x00000400;


// ShellExecute's answers in hInstApp: above 32 is success.
constexpr INT SE_ERR_FNF = 2;
constexpr INT SE_ERR_PNF = 3;
constexpr INT SE_ERR_ACCESSDENIED = 5;
constexpr INT SE_ERR_OOM = 8;
constexpr INT SE_ERR_NOASSOC = 31;
constexpr INT kShellExecuteSucceeded = 42;

struct SHELLEXECUTEINFOW {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCWSTR lpVerb;
  LPCWSTR lpFile;
  LPCWSTR lpParameters;
  LPCWSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  void* lpIDList;
  LPCWSTR lpClass;
  void* hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;
};

// Runs the verb through the process's shell. FALSE with the last error set (ERROR_FILE_NOT_FOUND,
// ERROR_NO_ASSOCIATION when no helper can do it ...) and an SE_ERR_* code in hInstApp on failure;
// a wrong cbSize answers ERROR_INVALID_PARAMETER. Never throws.
QM_PLATFORM_API BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info);
// The older front: answers a value above 32 on success, else an SE_ERR_* code.
QM_PLATFORM_API HINSTANCE ShellExecuteW(HWND hwnd, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                        LPCWSTR directory, INT showCommand);

constexpr int CSIDL_PERSONAL = 0x0005;

// The user's documents folder for CSIDL_PERSONAL (XDG_DOCUMENTS_DIR, else ~/Documents when it
// exists, else the home folder) into a MAX_PATH buffer, without a trailing '/'. Other folders
// answer E_INVALIDARG; a path too long for the buffer E_FAIL.
QM_PLATFORM_API HRESULT SHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path);

namespace platform::shell {

// One verb on one file, as ShellExecuteExW was given it (null texts are empty).
struct ShellRequest {
  std::u16string verb;  // empty: the file type's default verb, "open"
  std::u16string file;  // a path or an address ("https://...")
  std::u16string parameters;
  std::u16string directory;  // where the helper runs; empty: the caller's
  ULONG mask = SEE_MASK_DEFAULT;
  int show = SW_HIDE;
};

class QM_PLATFORM_API IShell {
 public:
  virtual ~IShell();
  // Answers ERROR_SUCCESS or a Win32 error code; must not throw.
  virtual DWORD execute(const ShellRequest& request) = 0;
};

// A file the shell was asked to print and did not print, and why.
struct FailedPrint {
  std::u16string file;
  std::string reason;
};
// The "print" verbs through ShellExecuteExW that failed since the list was last taken, oldest
// first; taking empties it. For the command that ran the prints: the add-in only logs them.
QM_PLATFORM_API std::vector<FailedPrint> takeFailedPrints();

namespace detail {
// A shell's own words for why the verb it runs on this thread fails ("no application prints
// text/html files"), taken in place of the error code's text.
QM_PLATFORM_API void noteFailureReason(std::string reason);
}  // namespace detail

// The process's shell: the one installed for testing, else the desktop's (XdgShell).
QM_PLATFORM_API IShell& defaultShell();
// Installs a shell for the process (not owned); null puts the desktop's back.
QM_PLATFORM_API void SetForTesting(IShell* shell);

}  // namespace platform::shell

// shell32's file information, as far as the icon of a file type goes.
constexpr UINT SHGFI_LARGEICON = 0x000000000;
constexpr UINT SHGFI_SMALLICON = 0x000000001;
constexpr UINT SHGFI_ICON = 0x000000100;
constexpr UINT SHGFI_USEFILEATTRIBUTES = 0x000000010;

struct SHFILEINFOW {
  HICON hIcon;
  int iIcon;
  DWORD dwAttributes;
  WCHAR szDisplayName[MAX_PATH];
  WCHAR szTypeName[80];
};

// With SHGFI_ICON: the icon of the path's file type (32 pixels, or 16 with SHGFI_SMALLICON) in
// hIcon, to be destroyed with DestroyIcon. With SHGFI_USEFILEATTRIBUTES the type comes from the
// name alone, so the file need not exist. Answers non-zero on success, 0 when no icon was found.
QM_PLATFORM_API std::uintptr_t SHGetFileInfoW(LPCWSTR path, DWORD attributes, SHFILEINFOW* info, UINT size, UINT flags);
