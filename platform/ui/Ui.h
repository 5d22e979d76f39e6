#pragma once
// user32/comdlg32's message boxes, open-file picker and the active window, over an
// IUserInterface the host presents (a terminal prompt, or the default answer) and tests script.

#include <optional>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/WinTypes.h"

// Buttons.
constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_OKCANCEL = 0x0001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x0002;
constexpr UINT MB_YESNOCANCEL = 0x0003;
constexpr UINT MB_YESNO = 0x0004;
constexpr UINT MB_RETRYCANCEL = 0x0005;
constexpr UINT MB_CANCELTRYCONTINUE = 0x0006;
constexpr UINT MB_TYPEMASK = 0x000F;
// Icons.
constexpr UINT MB_ICONHAND = 0x0010;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x0020;
constexpr UINT MB_ICONEXCLAMATION = 0x0030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x0040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0x00F0;
// Default button.
constexpr UINT MB_DEFBUTTON1 = 0x0000;
constexpr UINT MB_DEFBUTTON2 = 0x0100;
constexpr UINT MB_DEFBUTTON3 = 0x0200;
constexpr UINT MB_DEFBUTTON4 = 0x0300;
constexpr UINT MB_DEFMASK = 0x0F00;
// Modality and placement (accepted, no effect here).
constexpr UINT MB_APPLMODAL = 0x0000;
constexpr UINT MB_SYSTEMMODAL = 0x1000;
constexpr UINT MB_TASKMODAL = 0x2000;
constexpr UINT MB_SETFOREGROUND = 0x10000;
constexpr UINT MB_TOPMOST = 0x40000;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDTRYAGAIN = 10;
constexpr int IDCONTINUE = 11;

// Open-file flags.
constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_EXPLORER = 0x00080000;

constexpr DWORD FNERR_BUFFERTOOSMALL = 0x3003;
constexpr DWORD CDERR_STRUCTSIZE = 0x0001;
constexpr DWORD CDERR_INITIALIZATION = 0x0002;

// The fields of the open-file structure this build uses, in Windows' order.
struct OPENFILENAMEW {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCWSTR lpstrFilter;  // pairs of description and patterns, each terminated, then one more 0
  DWORD nFilterIndex;   // 1-based
  LPWSTR lpstrFile;     // in: the initial file name; out: the chosen path
  DWORD nMaxFile;
  LPCWSTR lpstrInitialDir;
  LPCWSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCWSTR lpstrDefExt;
};

// One box: an answer among its buttons (IDOK, IDYES ...); 0 when the type is invalid.
QM_PLATFORM_API int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
// TRUE with the chosen path in lpstrFile; FALSE on Cancel (CommDlgExtendedError 0) or on error
// (CDERR_STRUCTSIZE, CDERR_INITIALIZATION for a missing buffer, FNERR_BUFFERTOOSMALL).
QM_PLATFORM_API BOOL GetOpenFileNameW(OPENFILENAMEW* info);
QM_PLATFORM_API DWORD CommDlgExtendedError();

// The top-level window the user works in (may be null); SetActiveWindow activates the window's
// top-level window and answers the previous one (null, changing nothing, for a non-window).
QM_PLATFORM_API HWND GetActiveWindow();
QM_PLATFORM_API HWND SetActiveWindow(HWND window);

namespace platform::ui {

struct FileFilter {
  std::u16string description;  // "HTML Files (*.htm,*.html)"
  std::u16string patterns;     // "*.htm;*.html"
};

struct OpenFileRequest {
  HWND owner = nullptr;
  std::u16string title;
  std::vector<FileFilter> filters;
  DWORD filterIndex = 1;
  std::u16string initialDir;  // empty: the current folder
  std::u16string fileName;    // offered as the answer
  DWORD flags = 0;
  std::u16string defaultExtension;  // without a dot; added to a typed name without extension
};

struct ChoiceRequest {
  HWND owner = nullptr;
  std::u16string title;
  std::u16string prompt;
  std::vector<std::u16string> options;
  int defaultIndex = 0;
};

class QM_PLATFORM_API IUserInterface {
 public:
  virtual ~IUserInterface();
  // The id of the button chosen among those of the type.
  virtual int messageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type) = 0;
  // The chosen file's path, or nothing on Cancel.
  virtual std::optional<std::u16string> openFile(const OpenFileRequest& request) = 0;
  // The path to save to, or nothing on Cancel; by default answered as openFile is.
  virtual std::optional<std::u16string> saveFile(const OpenFileRequest& request);
  // The index of the chosen option, or -1 on Cancel.
  virtual int choose(const ChoiceRequest& request) = 0;
};

// The process's user interface: the one installed for testing, else the GTK face's boxes and
// pickers when that face is up, else the terminal's.
QM_PLATFORM_API IUserInterface& defaultUi();
// Installs a user interface for the process (not owned); null puts the terminal's back.
QM_PLATFORM_API void SetForTesting(IUserInterface* ui);

// The buttons of a box type in their order, empty for an invalid type.
QM_PLATFORM_API std::vector<int> buttonsOf(UINT type);
// The default button's answer (MB_DEFBUTTONn, the first when out of range).
QM_PLATFORM_API int defaultAnswerOf(UINT type);
// What Escape answers: Cancel when there is one, OK for a lone OK, else the default.
QM_PLATFORM_API int escapeAnswerOf(UINT type);
// A button's label ("OK", "Try Again" ...).
QM_PLATFORM_API std::u16string labelOf(int answer);

// The pairs of a double-terminated filter text; an unpaired description is dropped.
QM_PLATFORM_API std::vector<FileFilter> parseFilter(LPCWSTR filter);

}  // namespace platform::ui
