#pragma once
// What a person does with the controls, for the headless face (tests, scripted answers): each
// action changes the control as the user would and makes it send exactly the notifications a
// real control sends, in the same order. Every action answers false, doing nothing, when the
// control is not the right kind, or is hidden or disabled (itself or an ancestor).

#include <string>
#include <string_view>
#include <vector>

#include "platform/Export.h"
#include "platform/ui/WinUser.h"

namespace platform::ui::input {

// A push button, check box or radio button: clicked with the mouse (auto check boxes and
// radios change their check first).
QM_PLATFORM_API bool click(HWND button);
// Characters typed at the end of an edit's text, one EN_CHANGE each; the text limit holds.
QM_PLATFORM_API bool typeText(HWND edit, std::u16string_view text);
// Select all and Delete: one EN_CHANGE when there was text.
QM_PLATFORM_API bool clearText(HWND edit);
// A row picked from a combo box's list.
QM_PLATFORM_API bool selectComboItem(HWND combo, int index);
// A list box row clicked or double-clicked.
QM_PLATFORM_API bool clickListBoxRow(HWND list, int row, bool doubleClick = false);
// A list-view row clicked on its label (selects and focuses it), or double-clicked; row -1 is
// the empty area below the rows (clears the selection).
QM_PLATFORM_API bool clickListRow(HWND list, int row);
QM_PLATFORM_API bool doubleClickListRow(HWND list, int row);
// A list-view row's check box clicked.
QM_PLATFORM_API bool clickListCheckBox(HWND list, int row);
// An up-down control's upper or lower arrow clicked.
QM_PLATFORM_API bool clickUpDown(HWND upDown, bool upper);
// A key pressed while `window` has the focus (the focus moves there first), with modifiers held
// (FSHIFT, FCONTROL, FALT): the top-level window's accelerators, then the dialog's keys (Enter,
// Escape, Tab), then the window itself.
QM_PLATFORM_API bool pressKey(HWND window, UINT virtualKey, BYTE modifiers = 0);
// A right click in the window at a screen point (for a list view on a row: it is selected first).
QM_PLATFORM_API bool rightClick(HWND window, POINT screenPoint);
// F1 in the window: WM_HELP to it (and up to its dialog).
QM_PLATFORM_API bool pressF1(HWND window);
// An item of a top-level window's menu bar picked: WM_INITMENUPOPUP for its popup, then
// WM_COMMAND (MAKEWPARAM(id, 0), 0). False for a missing, grayed or popup item.
QM_PLATFORM_API bool pickMenuBarItem(HWND topLevel, UINT id);
// The close box of a top-level window.
QM_PLATFORM_API bool closeWindow(HWND topLevel);
// What an edit with file system completion (SHAutoComplete) offers below it for its text as it
// stands; nothing for an edit without.
QM_PLATFORM_API std::vector<std::u16string> offeredCompletions(HWND edit);

// Popup menus shown headless: each TrackPopupMenu takes the next queued pick (an item id, 0 for
// dismissing the menu); an empty queue dismisses it.
QM_PLATFORM_API void queueMenuPick(UINT id);
struct ShownMenuItem {
  UINT id;
  std::u16string text;
  bool checked;
  bool grayed;
  bool separator;
  int depth;
};
// The items of the last popup menu shown, in order (sub-menus one level deeper).
QM_PLATFORM_API std::vector<ShownMenuItem> lastShownMenu();

}  // namespace platform::ui::input
