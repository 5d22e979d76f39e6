#pragma once
// comctl32 as the system's dialogs use it: list views (report and icon views, check boxes,
// image lists), up-down controls, the notification structures of WM_NOTIFY, and shlwapi's
// auto-completion of paths in an edit.

#include "platform/ui/WinUser.h"

struct HIMAGELIST__;
using HIMAGELIST = HIMAGELIST__*;

constexpr const char16_t* WC_LISTVIEWW = u"SysListView32";
constexpr const char16_t* UPDOWN_CLASSW = u"msctls_updown32";

struct NMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
};

// Common notifications.
constexpr UINT NM_FIRST = 0;
constexpr UINT NM_CLICK = NM_FIRST - 2;
constexpr UINT NM_DBLCLK = NM_FIRST - 3;
constexpr UINT NM_RETURN = NM_FIRST - 4;
constexpr UINT NM_RCLICK = NM_FIRST - 5;
constexpr UINT NM_SETFOCUS = NM_FIRST - 7;
constexpr UINT NM_KILLFOCUS = NM_FIRST - 8;

// List view.
constexpr UINT LVN_FIRST = static_cast<UINT>(-100);
constexpr UINT LVN_ITEMCHANGING = LVN_FIRST - 0;
constexpr UINT LVN_ITEMCHANGED = LVN_FIRST - 1;
constexpr UINT LVN_INSERTITEM = LVN_FIRST - 2;
constexpr UINT LVN_DELETEITEM = LVN_FIRST - 3;
constexpr UINT LVN_DELETEALLITEMS = LVN_FIRST - 4;
constexpr UINT LVN_COLUMNCLICK = LVN_FIRST - 8;
constexpr UINT LVN_KEYDOWN = LVN_FIRST - 55;
constexpr UINT LVN_ITEMACTIVATE = LVN_FIRST - 14;

constexpr UINT LVM_FIRST = 0x1000;
constexpr UINT LVM_SETIMAGELIST = LVM_FIRST + 3;
constexpr UINT LVM_GETIMAGELIST = LVM_FIRST + 2;
constexpr UINT LVM_GETITEMCOUNT = LVM_FIRST + 4;
constexpr UINT LVM_DELETEITEM = LVM_FIRST + 8;
constexpr UINT LVM_DELETEALLITEMS = LVM_FIRST + 9;
constexpr UINT LVM_GETNEXTITEM = LVM_FIRST + 12;
constexpr UINT LVM_GETITEMRECT = LVM_FIRST + 14;
constexpr UINT LVM_ENSUREVISIBLE = LVM_FIRST + 19;
constexpr UINT LVM_GETCOLUMNWIDTH = LVM_FIRST + 29;
constexpr UINT LVM_SETCOLUMNWIDTH = LVM_FIRST + 30;
constexpr UINT LVM_SETITEMSTATE = LVM_FIRST + 43;
constexpr UINT LVM_GETITEMSTATE = LVM_FIRST + 44;
constexpr UINT LVM_GETSELECTEDCOUNT = LVM_FIRST + 50;
constexpr UINT LVM_SETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 54;
constexpr UINT LVM_GETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 55;
constexpr UINT LVM_GETITEMW = LVM_FIRST + 75;
constexpr UINT LVM_SETITEMW = LVM_FIRST + 76;
constexpr UINT LVM_INSERTITEMW = LVM_FIRST + 77;
constexpr UINT LVM_INSERTCOLUMNW = LVM_FIRST + 97;
constexpr UINT LVM_GETITEMTEXTW = LVM_FIRST + 115;
constexpr UINT LVM_SETITEMTEXTW = LVM_FIRST + 116;

constexpr UINT LVIF_TEXT = 0x0001;
constexpr UINT LVIF_IMAGE = 0x0002;
constexpr UINT LVIF_PARAM = 0x0004;
constexpr UINT LVIF_STATE = 0x0008;

constexpr UINT LVIS_FOCUSED = 0x0001;
constexpr UINT LVIS_SELECTED = 0x0002;
constexpr UINT LVIS_CUT = 0x0004;
constexpr UINT LVIS_DROPHILITED = 0x0008;
constexpr UINT LVIS_STATEIMAGEMASK = 0xF000;
constexpr UINT INDEXTOSTATEIMAGEMASK(UINT i) { return i << 12; }

constexpr int LVNI_ALL = 0x0000;
constexpr int LVNI_FOCUSED = 0x0001;
constexpr int LVNI_SELECTED = 0x0002;

constexpr int LVSIL_NORMAL = 0;
constexpr int LVSIL_SMALL = 1;
constexpr int LVSIL_STATE = 2;

constexpr int LVIR_BOUNDS = 0;
constexpr int LVIR_ICON = 1;
constexpr int LVIR_LABEL = 2;

constexpr int LVCF_FMT = 0x0001;
constexpr int LVCF_WIDTH = 0x0002;
constexpr int LVCF_TEXT = 0x0004;
constexpr int LVCF_SUBITEM = 0x0008;
constexpr int LVCFMT_LEFT = 0x0000;
constexpr int LVCFMT_RIGHT = 0x0001;
constexpr int LVCFMT_CENTER = 0x0002;
constexpr int LVSCW_AUTOSIZE = -1;
constexpr int LVSCW_AUTOSIZE_USEHEADER = -2;


struct LVCOLUMNW {
  UINT mask;
  int fmt;
  int cx;
  LPWSTR pszText;
  int cchTextMax;
  int iSubItem;
};

struct LVITEMW {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  LPWSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
};

struct NMLISTVIEW {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
};

struct NMITEMACTIVATE {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
  UINT uKeyFlags;
};

#pragma pack(push, 1)
struct NMLVKEYDOWN {
  NMHDR hdr;
  WORD wVKey;
  UINT flags;
};
#pragma pack(pop)

// Up-down.
constexpr UINT UDN_FIRST = static_cast<UINT>(-721);
constexpr UINT UDN_DELTAPOS = UDN_FIRST - 1;
constexpr UINT UDM_SETRANGE = WM_USER + 101;
constexpr UINT UDM_GETRANGE = WM_USER + 102;
constexpr UINT UDM_SETPOS = WM_USER + 103;
constexpr UINT UDM_GETPOS = WM_USER + 104;
constexpr UINT UDM_SETBUDDY = WM_USER + 105;
constexpr UINT UDM_GETBUDDY = WM_USER + 106;
constexpr UINT UDM_SETRANGE32 = WM_USER + 111;
constexpr UINT UDM_GETRANGE32 = WM_USER + 112;
constexpr UINT UDM_SETPOS32 = WM_USER + 113;
constexpr UINT UDM_GETPOS32 = WM_USER + 114;
constexpr WPARAM SB_THUMBPOSITION = 4;
constexpr WPARAM SB_ENDSCROLL = 8;

struct NMUPDOWN {
  NMHDR hdr;
  int iPos;
  int iDelta;
};

// Image lists.
constexpr UINT ILC_MASK = 0x0001;
constexpr UINT ILC_COLOR = 0x0000;
constexpr UINT ILC_COLOR4 = 0x0004;
constexpr UINT ILC_COLOR8 = 0x0008;
constexpr UINT ILC_COLOR16 = 0x0010;
constexpr UINT ILC_COLOR24 = 0x0018;
constexpr UINT ILC_COLOR32 = 0x0020;

QM_PLATFORM_API HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
QM_PLATFORM_API BOOL ImageList_Destroy(HIMAGELIST list);
// A copy of the icon goes into the list; answers its index, -1 on failure.
QM_PLATFORM_API int ImageList_AddIcon(HIMAGELIST list, HICON icon);
QM_PLATFORM_API int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon);
QM_PLATFORM_API int ImageList_GetImageCount(HIMAGELIST list);
QM_PLATFORM_API BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);

struct INITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
};
constexpr DWORD ICC_LISTVIEW_CLASSES = 0x0001;
constexpr DWORD ICC_UPDOWN_CLASS = 0x0010;
constexpr DWORD ICC_WIN95_CLASSES = 0x00FF;
QM_PLATFORM_API BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

// shlwapi's auto-completion of an edit's text.
constexpr DWORD SHACF_DEFAULT = 0x00000000;
constexpr DWORD SHACF_FILESYSTEM = 0x00000001;
constexpr DWORD SHACF_URLALL = 0x00000006;
constexpr DWORD SHACF_USETAB = 0x00000040;
constexpr DWORD SHACF_FILESYS_ONLY = 0x00000010;
constexpr DWORD SHACF_FILESYS_DIRS = 0x00000020;
QM_PLATFORM_API HRESULT SHAutoComplete(HWND edit, DWORD flags);

// The list-view macros of commctrl.h, as functions.
inline int ListView_GetItemCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }
inline int ListView_GetNextItem(HWND list, int start, int flags) {
  return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(static_cast<WORD>(flags), 0)));
}
inline int ListView_InsertItem(HWND list, const LVITEMW* item) {
  return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(item)));
}
inline int ListView_InsertColumn(HWND list, int index, const LVCOLUMNW* column) {
  return static_cast<int>(SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(column)));
}
inline BOOL ListView_DeleteItem(HWND list, int index) {
  return static_cast<BOOL>(SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(index), 0));
}
inline BOOL ListView_DeleteAllItems(HWND list) { return static_cast<BOOL>(SendMessageW(list, LVM_DELETEALLITEMS, 0, 0)); }
inline void ListView_SetItemText(HWND list, int index, int subItem, LPCWSTR text) {
  LVITEMW item{};
  item.iSubItem = subItem;
  item.pszText = const_cast<LPWSTR>(text);
  SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}
inline void ListView_GetItemText(HWND list, int index, int subItem, LPWSTR buffer, int size) {
  LVITEMW item{};
  item.iSubItem = subItem;
  item.pszText = buffer;
  item.cchTextMax = size;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}
inline void ListView_SetItemState(HWND list, int index, UINT state, UINT mask) {
  LVITEMW item{};
  item.state = state;
  item.stateMask = mask;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}
inline UINT ListView_GetItemState(HWND list, int index, UINT mask) {
  return static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(index), static_cast<LPARAM>(mask)));
}
inline BOOL ListView_GetCheckState(HWND list, int index) {
  return ((ListView_GetItemState(list, index, LVIS_STATEIMAGEMASK) >> 12) - 1) == 1 ? TRUE : FALSE;
}
inline void ListView_SetCheckState(HWND list, int index, BOOL check) {
  ListView_SetItemState(list, index, INDEXTOSTATEIMAGEMASK(check ? 2u : 1u), LVIS_STATEIMAGEMASK);
}
inline DWORD ListView_SetExtendedListViewStyle(HWND list, DWORD style) {
  return static_cast<DWORD>(SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style)));
}
inline HIMAGELIST ListView_SetImageList(HWND list, HIMAGELIST images, int which) {
  return reinterpret_cast<HIMAGELIST>(
      SendMessageW(list, LVM_SETIMAGELIST, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(images)));
}
inline BOOL ListView_GetItemRect(HWND list, int index, RECT* rect, int code) {
  if (rect) rect->left = code;
  return static_cast<BOOL>(SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(rect)));
}
inline BOOL ListView_EnsureVisible(HWND list, int index, BOOL partialOk) {
  return static_cast<BOOL>(SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), partialOk));
}
