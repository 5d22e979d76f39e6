#pragma once
// user32 as the system's code uses it: windows with window procedures, sent and posted messages,
// subclassing, thread hooks, window timers, accelerators, menus, icons and dialogs from
// templates. Everything runs on the UI thread (the loop's thread); only PostMessageW may be
// called from another thread.

#include <cstdint>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/mapi/Icon.h"
#include "platform/system/Errors.h"
#include "platform/ui/Ui.h"
#include "platform/ui/WinStyles.h"

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using DWORD_PTR = std::uintptr_t;
using HANDLE = void*;
using ATOM = WORD;
using SHORT = std::int16_t;
using LPVOID = void*;

struct HMENU__;
using HMENU = HMENU__*;
struct HHOOK__;
using HHOOK = HHOOK__*;
struct HACCEL__;
using HACCEL = HACCEL__*;
struct HFONT__;
using HFONT = HFONT__*;
struct HCURSOR__;
using HCURSOR = HCURSOR__*;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using HOOKPROC = LRESULT (*)(int code, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

struct POINT {
  LONG x;
  LONG y;
};
struct SIZE {
  LONG cx;
  LONG cy;
};
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
using LPRECT = RECT*;

constexpr WORD LOWORD(std::uintptr_t value) { return static_cast<WORD>(value & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t value) { return static_cast<WORD>((value >> 16) & 0xFFFF); }
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) { return static_cast<WPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16)); }
constexpr LPARAM MAKELPARAM(WORD low, WORD high) { return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16)); }
constexpr LONG MAKELONG(WORD low, WORD high) { return static_cast<LONG>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16)); }
constexpr int GET_X_LPARAM(LPARAM value) { return static_cast<SHORT>(LOWORD(static_cast<std::uintptr_t>(value))); }
constexpr int GET_Y_LPARAM(LPARAM value) { return static_cast<SHORT>(HIWORD(static_cast<std::uintptr_t>(value))); }
inline LPCWSTR MAKEINTRESOURCEW(UINT id) { return reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(static_cast<WORD>(id))); }
inline bool IS_INTRESOURCE(LPCWSTR name) { return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0; }

// Messages.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_HELP = 0x0053;
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_GETDLGCODE = 0x0087;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_INITMENUPOPUP = 0x0117;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

constexpr UINT DM_GETDEFID = WM_USER + 0;
constexpr UINT DM_SETDEFID = WM_USER + 1;
constexpr WORD DC_HASDEFID = 0x534B;

constexpr WPARAM SC_CLOSE = 0xF060;

// Answers of WM_GETDLGCODE.
constexpr LRESULT DLGC_WANTARROWS = 0x0001;
constexpr LRESULT DLGC_WANTTAB = 0x0002;
constexpr LRESULT DLGC_WANTALLKEYS = 0x0004;
constexpr LRESULT DLGC_HASSETSEL = 0x0008;
constexpr LRESULT DLGC_DEFPUSHBUTTON = 0x0010;
constexpr LRESULT DLGC_UNDEFPUSHBUTTON = 0x0020;
constexpr LRESULT DLGC_RADIOBUTTON = 0x0040;
constexpr LRESULT DLGC_WANTCHARS = 0x0080;
constexpr LRESULT DLGC_STATIC = 0x0100;
constexpr LRESULT DLGC_BUTTON = 0x2000;

// Button notifications and messages.
constexpr WORD BN_CLICKED = 0;
constexpr WORD BN_DBLCLK = 5;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_GETSTATE = 0x00F2;
constexpr UINT BM_SETSTATE = 0x00F3;
constexpr UINT BM_SETSTYLE = 0x00F4;
constexpr UINT BM_CLICK = 0x00F5;
constexpr WPARAM BST_UNCHECKED = 0x0000;
constexpr WPARAM BST_CHECKED = 0x0001;
constexpr WPARAM BST_INDETERMINATE = 0x0002;

// Edit notifications and messages.
constexpr WORD EN_SETFOCUS = 0x0100;
constexpr WORD EN_KILLFOCUS = 0x0200;
constexpr WORD EN_CHANGE = 0x0300;
constexpr WORD EN_UPDATE = 0x0400;
constexpr WORD EN_MAXTEXT = 0x0501;
constexpr UINT EM_GETSEL = 0x00B0;
constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_SETREADONLY = 0x00CF;
constexpr UINT EM_LIMITTEXT = 0x00C5;
constexpr UINT EM_SETLIMITTEXT = EM_LIMITTEXT;
constexpr UINT EM_GETLIMITTEXT = 0x00D5;

// Static messages.
constexpr UINT STM_SETICON = 0x0170;
constexpr UINT STM_GETICON = 0x0171;

// List box.
constexpr WORD LBN_ERRSPACE = static_cast<WORD>(-2);
constexpr WORD LBN_SELCHANGE = 1;
constexpr WORD LBN_DBLCLK = 2;
constexpr WORD LBN_SELCANCEL = 3;
constexpr WORD LBN_SETFOCUS = 4;
constexpr WORD LBN_KILLFOCUS = 5;
constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_INSERTSTRING = 0x0181;
constexpr UINT LB_DELETESTRING = 0x0182;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_SETCURSEL = 0x0186;
constexpr UINT LB_GETCURSEL = 0x0188;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LB_FINDSTRINGEXACT = 0x01A2;
constexpr UINT LB_GETITEMDATA = 0x0199;
constexpr UINT LB_SETITEMDATA = 0x019A;
constexpr UINT LB_GETITEMRECT = 0x0198;
constexpr LRESULT LB_ERR = -1;

// Combo box.
constexpr WORD CBN_ERRSPACE = static_cast<WORD>(-1);
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD CBN_DBLCLK = 2;
constexpr WORD CBN_SETFOCUS = 3;
constexpr WORD CBN_KILLFOCUS = 4;
constexpr WORD CBN_EDITCHANGE = 5;
constexpr WORD CBN_EDITUPDATE = 6;
constexpr WORD CBN_DROPDOWN = 7;
constexpr WORD CBN_CLOSEUP = 8;
constexpr WORD CBN_SELENDOK = 9;
constexpr WORD CBN_SELENDCANCEL = 10;
constexpr UINT CB_GETEDITSEL = 0x0140;
constexpr UINT CB_LIMITTEXT = 0x0141;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr LRESULT CB_ERR = -1;

// Window data.
constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_HINSTANCE = -6;
constexpr int GWLP_HWNDPARENT = -8;
constexpr int GWLP_ID = -12;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWLP_USERDATA = -21;
constexpr int DWLP_MSGRESULT = 0;
constexpr int DWLP_DLGPROC = 8;
constexpr int DWLP_USER = 16;

constexpr UINT GA_PARENT = 1;
constexpr UINT GA_ROOT = 2;
constexpr UINT GA_ROOTOWNER = 3;

constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_OWNER = 4;
constexpr UINT GW_CHILD = 5;

// ShowWindow.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;

// SetWindowPos.
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);
// The parent of a message-only window: never shown, never a top-level window.
inline HWND const HWND_MESSAGE = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-3));

// GetSystemMetrics.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
constexpr int SM_CXFIXEDFRAME = SM_CXDLGFRAME;
constexpr int SM_CYFIXEDFRAME = SM_CYDLGFRAME;

// Hooks.
constexpr int WH_CALLWNDPROC = 4;
constexpr int HC_ACTION = 0;
struct CWPSTRUCT {
  LPARAM lParam;
  WPARAM wParam;
  UINT message;
  HWND hwnd;
};

// Keys.
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_CONTROL = 0x11;
constexpr UINT VK_MENU = 0x12;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_PRIOR = 0x21;
constexpr UINT VK_NEXT = 0x22;
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_INSERT = 0x2D;
constexpr UINT VK_DELETE = 0x2E;
constexpr UINT VK_F1 = 0x70;
constexpr UINT VK_F10 = 0x79;
constexpr UINT VK_APPS = 0x5D;

// Accelerators.
constexpr BYTE FVIRTKEY = 0x01;
constexpr BYTE FNOINVERT = 0x02;
constexpr BYTE FSHIFT = 0x04;
constexpr BYTE FCONTROL = 0x08;
constexpr BYTE FALT = 0x10;
struct ACCEL {
  BYTE fVirt;
  WORD key;
  WORD cmd;
};

// The message a loop hands to TranslateAcceleratorW / IsDialogMessageW.
struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

// WM_HELP's data.
constexpr int HELPINFO_WINDOW = 0x0001;
constexpr int HELPINFO_MENUITEM = 0x0002;
struct HELPINFO {
  UINT cbSize;
  int iContextType;
  int iCtrlId;
  HANDLE hItemHandle;
  DWORD_PTR dwContextId;
  POINT MousePos;
};

// Window classes.
struct WNDCLASSEXW {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
  HICON hIconSm;
};
struct CREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
};

// The built-in window classes.
#define WC_DIALOG (MAKEINTRESOURCEW(0x8002))
constexpr const char16_t* WC_BUTTONW = u"Button";
constexpr const char16_t* WC_EDITW = u"Edit";
constexpr const char16_t* WC_STATICW = u"Static";
constexpr const char16_t* WC_COMBOBOXW = u"ComboBox";
constexpr const char16_t* WC_LISTBOXW = u"ListBox";

// Menus.
constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_CENTERALIGN = 0x0004;
constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_TOPALIGN = 0x0000;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

// Images.
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT IMAGE_CURSOR = 2;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_LOADFROMFILE = 0x0010;
constexpr UINT LR_DEFAULTSIZE = 0x0040;
constexpr UINT LR_SHARED = 0x8000;

constexpr int IDC_STATIC = -1;

// Windows and messages.
QM_PLATFORM_API ATOM RegisterClassExW(const WNDCLASSEXW* windowClass);
QM_PLATFORM_API BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
QM_PLATFORM_API HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                                     int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance,
                                     LPVOID param);
QM_PLATFORM_API BOOL DestroyWindow(HWND window);
QM_PLATFORM_API BOOL IsWindow(HWND window);
QM_PLATFORM_API BOOL IsWindowVisible(HWND window);
QM_PLATFORM_API BOOL IsWindowEnabled(HWND window);
QM_PLATFORM_API HWND GetParent(HWND window);
QM_PLATFORM_API HWND GetAncestor(HWND window, UINT flags);
QM_PLATFORM_API HWND GetWindow(HWND window, UINT command);
QM_PLATFORM_API BOOL IsChild(HWND parent, HWND window);
QM_PLATFORM_API int GetClassNameW(HWND window, LPWSTR buffer, int maxCount);
QM_PLATFORM_API BOOL GetWindowRect(HWND window, RECT* rect);
QM_PLATFORM_API BOOL GetClientRect(HWND window, RECT* rect);
QM_PLATFORM_API BOOL ClientToScreen(HWND window, POINT* point);
QM_PLATFORM_API BOOL ScreenToClient(HWND window, POINT* point);
QM_PLATFORM_API BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
QM_PLATFORM_API BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
QM_PLATFORM_API int GetSystemMetrics(int index);
// SPI_GETWORKAREA only: the screen less the desktop's panels, in screen pixels.
constexpr UINT SPI_GETWORKAREA = 0x0030;
QM_PLATFORM_API BOOL SystemParametersInfoW(UINT action, UINT param, void* value, UINT winIni);
QM_PLATFORM_API BOOL EnableWindow(HWND window, BOOL enable);  // answers whether it was disabled before
QM_PLATFORM_API BOOL ShowWindow(HWND window, int command);     // answers whether it was visible before
QM_PLATFORM_API HWND SetFocus(HWND window);
QM_PLATFORM_API HWND GetFocus();
QM_PLATFORM_API BOOL SetWindowTextW(HWND window, LPCWSTR text);
QM_PLATFORM_API int GetWindowTextW(HWND window, LPWSTR buffer, int maxCount);
QM_PLATFORM_API int GetWindowTextLengthW(HWND window);
QM_PLATFORM_API LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
QM_PLATFORM_API LONG_PTR GetWindowLongPtrW(HWND window, int index);
QM_PLATFORM_API LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
QM_PLATFORM_API LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure now, after the thread's WH_CALLWNDPROC hooks; 0 for no window.
QM_PLATFORM_API LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Queues the message for the window's procedure at the next turn of the loop (no hooks, as
// Windows); dropped when the window is gone by then. Any thread.
QM_PLATFORM_API BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// A timer of the window: WM_TIMER to its procedure, or the callback when one is given. Ticks
// come inside nested loops too. Dies with the window.
QM_PLATFORM_API UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC callback);
QM_PLATFORM_API BOOL KillTimer(HWND window, UINT_PTR id);
QM_PLATFORM_API BOOL GetCursorPos(POINT* point);
QM_PLATFORM_API DWORD GetCurrentThreadId();

// Thread hooks: WH_CALLWNDPROC sees every message sent on the thread before its window does;
// the newest hook is called first and passes on with CallNextHookEx.
QM_PLATFORM_API HHOOK SetWindowsHookExW(int type, HOOKPROC proc, HINSTANCE module, DWORD threadId);
QM_PLATFORM_API BOOL UnhookWindowsHookEx(HHOOK hook);
QM_PLATFORM_API LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);

// Accelerator tables. TranslateAcceleratorW turns a WM_KEYDOWN matching an entry into
// WM_COMMAND (MAKEWPARAM(cmd, 1), 0) sent to `window`.
QM_PLATFORM_API HACCEL CreateAcceleratorTableW(const ACCEL* entries, int count);
QM_PLATFORM_API BOOL DestroyAcceleratorTable(HACCEL table);
QM_PLATFORM_API int TranslateAcceleratorW(HWND window, HACCEL table, const MSG* message);
// What a dialog's keyboard handling does with a key message for a window inside `dialog`
// (Enter, Escape, Tab); TRUE when it took the message.
QM_PLATFORM_API BOOL IsDialogMessageW(HWND dialog, MSG* message);

// Menus: from the module's MENU templates, or built.
QM_PLATFORM_API HMENU LoadMenuW(HINSTANCE module, LPCWSTR name);
QM_PLATFORM_API HMENU CreatePopupMenu();
QM_PLATFORM_API BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR idOrPopup, LPCWSTR text);
QM_PLATFORM_API BOOL DestroyMenu(HMENU menu);
QM_PLATFORM_API HMENU GetSubMenu(HMENU menu, int position);
QM_PLATFORM_API int GetMenuItemCount(HMENU menu);
QM_PLATFORM_API UINT GetMenuItemID(HMENU menu, int position);
QM_PLATFORM_API UINT GetMenuState(HMENU menu, UINT item, UINT flags);
// Both answer the previous state (MF_CHECKED / MF_GRAYED bits), or -1 for no such item.
QM_PLATFORM_API DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags);
QM_PLATFORM_API BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags);
// Shows the popup and waits until an item is picked or the menu dismissed. With TPM_RETURNCMD it
// answers the picked id (0 for none); otherwise it posts WM_COMMAND to `owner` and answers TRUE.
// A top-level window's menu bar: picking an item sends WM_COMMAND (MAKEWPARAM(id, 0), 0) to the
// window. The window owns the menu it is given and destroys it with itself; SetMenu answers FALSE
// for a child window. Change the menu and call DrawMenuBar (or SetMenu again) to show the change.
QM_PLATFORM_API BOOL SetMenu(HWND window, HMENU menu);
QM_PLATFORM_API HMENU GetMenu(HWND window);
QM_PLATFORM_API BOOL DrawMenuBar(HWND window);
QM_PLATFORM_API BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* unused);

// Icons from the module's ICON resources (the image nearest the size asked; 0 asks for the
// system's icon size). Destroy with DestroyIcon unless LR_SHARED.
QM_PLATFORM_API HICON LoadIconW(HINSTANCE module, LPCWSTR name);
QM_PLATFORM_API HANDLE LoadImageW(HINSTANCE module, LPCWSTR name, UINT type, int cx, int cy, UINT flags);

// Dialogs. A template name is MAKEINTRESOURCEW(id) of the module's DIALOGEX templates.
QM_PLATFORM_API INT_PTR DialogBoxParamW(HINSTANCE module, LPCWSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
QM_PLATFORM_API HWND CreateDialogParamW(HINSTANCE module, LPCWSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
QM_PLATFORM_API BOOL EndDialog(HWND dialog, INT_PTR result);
QM_PLATFORM_API LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
QM_PLATFORM_API HWND GetDlgItem(HWND dialog, int id);
QM_PLATFORM_API int GetDlgCtrlID(HWND window);
QM_PLATFORM_API BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
QM_PLATFORM_API UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int maxCount);
QM_PLATFORM_API LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
QM_PLATFORM_API BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId);
QM_PLATFORM_API UINT IsDlgButtonChecked(HWND dialog, int id);
QM_PLATFORM_API BOOL CheckDlgButton(HWND dialog, int id, UINT check);
QM_PLATFORM_API BOOL MapDialogRect(HWND dialog, RECT* rect);
QM_PLATFORM_API LONG GetDialogBaseUnits();

// The save-file picker, over the same structure as the open-file one.
QM_PLATFORM_API BOOL GetSaveFileNameW(OPENFILENAMEW* info);

namespace platform::resources {
struct DialogTemplate;
}

// The same dialogs from a template the caller holds (a test's own, or one found already).
QM_PLATFORM_API INT_PTR DialogBoxIndirectParamW(HINSTANCE module, const platform::resources::DialogTemplate* dialog,
                                                HWND owner, DLGPROC proc, LPARAM param);
QM_PLATFORM_API HWND CreateDialogIndirectParamW(HINSTANCE module, const platform::resources::DialogTemplate* dialog,
                                                HWND owner, DLGPROC proc, LPARAM param);
