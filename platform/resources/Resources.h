#pragma once
// Module resources: the string table, HTML pages and images, dialog and menu templates that a
// module carries. A module's table is generated at build time from its resource scripts; its
// HINSTANCE is the handle of that table.

#include <cstddef>
#include <span>

#include "platform/Export.h"
#include "platform/WinTypes.h"

namespace platform::resources {

struct StringEntry {
  UINT id;
  const char16_t* text;  // not terminated; see length
  std::size_t length;
};

struct BlobEntry {
  const char16_t* type;  // upper case: "HTML", "RCDATA", "PNG" ...
  const char16_t* name;  // upper case; a numeric id is written in decimal
  const unsigned char* data;
  std::size_t size;
};

// One control of a dialog template, as DIALOGEX gives it; sizes in dialog units.
struct DialogItem {
  const char16_t* className;  // the predefined classes by one spelling: "BUTTON", "EDIT", "STATIC",
                              // "COMBOBOX", "LISTBOX", "SCROLLBAR"; others as the script names them:
                              // "SysListView32", "msctls_updown32", the WebBrowser's
                              // "{8856F961-340A-11D0-A96B-00C04FD705A2}" ...
  const char16_t* text;       // the control's text, empty when none; an icon's resource id in decimal
  int id;                     // -1 (IDC_STATIC) for none
  DWORD style;                // WS_CHILD | WS_VISIBLE, the statement's default and the script's own
                              // bits, as Windows' resource compiler composes them
  DWORD exStyle;
  short x, y, cx, cy;         // a combo box's cy is its height with the list dropped down
  DWORD helpId;
};

// One DIALOGEX template.
struct DialogTemplate {
  UINT id;
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;
  const char16_t* caption;
  const char16_t* fontFace;  // empty: the system font
  WORD pointSize;
  WORD weight;               // 0 when the script gives none
  bool italic;
  UINT menuId;  // 0: none
  const DialogItem* items;
  std::size_t itemCount;
  const char16_t* className;  // the dialog's window class; empty: the dialog class
  BYTE charset;
  DWORD helpId;
};

// One entry of a MENU template, in script order; a POPUP's entries follow it one level deeper.
struct MenuEntry {
  UINT id;           // 0 for popups and separators
  const char16_t* text;
  UINT flags;        // MF_POPUP, MF_SEPARATOR, MF_GRAYED, MF_DISABLED (INACTIVE), MF_CHECKED ...
                     // as the script gives them (platform/ui/WinStyles.h)
  int depth;         // 0 for the menu's top entries
};

struct MenuTemplate {
  UINT id;
  const MenuEntry* entries;
  std::size_t entryCount;
};

// One module's resources; strings sorted by id, blobs in script order, dialogs and menus by id.
// Icons are blobs of type "ICON" named by their id, each the whole .ico file.
struct ModuleResources {
  const char* moduleName;
  const StringEntry* strings;
  std::size_t stringCount;
  const BlobEntry* blobs;
  std::size_t blobCount;
  const DialogTemplate* dialogs = nullptr;
  std::size_t dialogCount = 0;
  const MenuTemplate* menus = nullptr;
  std::size_t menuCount = 0;
};

// The handle under which a module's resources are found.
inline HINSTANCE handleOf(const ModuleResources& module) {
  return reinterpret_cast<HINSTANCE>(const_cast<ModuleResources*>(&module));
}

// The named resource of the given type (names and types ignore case), or an empty span.
QM_PLATFORM_API std::span<const unsigned char> findResource(HINSTANCE module, const char16_t* name,
                                                            const char16_t* type);

// The dialog or menu template with that id, or null.
QM_PLATFORM_API const DialogTemplate* findDialog(HINSTANCE module, UINT id);
QM_PLATFORM_API const MenuTemplate* findMenu(HINSTANCE module, UINT id);

// Every blob of a module, in script order.
QM_PLATFORM_API std::span<const BlobEntry> allResources(HINSTANCE module);

}  // namespace platform::resources

// As Windows: copies at most cchBufferMax - 1 characters of the text with that id and a
// terminator; answers the number of characters copied, 0 when there is no such text (or no
// module, or no room).
QM_PLATFORM_API int LoadStringW(HINSTANCE module, UINT id, char16_t* buffer, int cchBufferMax);
