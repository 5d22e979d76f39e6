// What a person does, for the headless face: the same model operations the GTK face runs when
// its widgets report input.
#include "platform/ui/UserInput.h"

#include "platform/ui/detail/PathCompletion.h"
#include "platform/ui/detail/Window.h"

namespace platform::ui::input {

using namespace detail;

bool click(HWND button) { return userClick(button); }

bool typeText(HWND edit, std::u16string_view text) {
  const Window* w = find(edit);
  if (!w || (w->kind != Kind::kEdit && w->kind != Kind::kComboBox) || !effectivelyEnabled(edit) ||
      !effectivelyVisible(edit)) {
    return false;
  }
  if (w->kind == Kind::kComboBox && (w->style & 0x3) == CBS_DROPDOWNLIST) return false;
  SetFocus(edit);
  for (char16_t c : text) {
    const Window* live = find(edit);
    if (!live) return false;
    if (live->kind == Kind::kComboBox) {
      userSetText(edit, live->text + c);
    } else {
      dispatch(edit, WM_CHAR, c == u'\n' ? u'\r' : c, 0);
    }
  }
  return true;
}

bool clearText(HWND edit) {
  const Window* w = find(edit);
  if (!w || (w->kind != Kind::kEdit && w->kind != Kind::kComboBox) || !effectivelyVisible(edit)) return false;
  SetFocus(edit);
  return userSetText(edit, u"");
}

bool selectComboItem(HWND combo, int index) { return userSelectCombo(combo, index); }

bool clickListBoxRow(HWND list, int row, bool doubleClick) { return userSelectListBox(list, row, doubleClick); }

bool clickListRow(HWND list, int row) { return userClickListRow(list, row, false, POINT{-1, -1}); }

bool doubleClickListRow(HWND list, int row) {
  return userClickListRow(list, row, false, POINT{-1, -1}) && userClickListRow(list, row, true, POINT{-1, -1});
}

bool clickListCheckBox(HWND list, int row) { return userToggleListCheck(list, row); }

bool clickUpDown(HWND upDown, bool upper) { return userUpDown(upDown, upper); }

bool pressKey(HWND window, UINT virtualKey, BYTE modifiers) { return userKey(window, virtualKey, modifiers); }

bool rightClick(HWND window, POINT screenPoint) { return userContextMenu(window, screenPoint); }

bool pressF1(HWND window) { return userHelp(window); }

bool closeWindow(HWND topLevel) { return userClose(topLevel); }

std::vector<std::u16string> offeredCompletions(HWND edit) {
  const Window* w = find(edit);
  if (!w || w->kind != Kind::kEdit || !w->autoComplete) return {};
  return fileSystemCompletions(w->text);
}

bool pickMenuBarItem(HWND topLevel, UINT id) {
  const Window* w = findForInput(topLevel);
  if (!w || w->isChild() || !w->menu) return false;
  // The popup holding the item, as a person opens it before picking.
  const auto holder = [id](auto& self, HMENU at) -> HMENU {
    const Menu* m = menu(at);
    if (!m) return nullptr;
    for (const MenuItem& item : m->items) {
      if (item.popup) {
        if (HMENU inner = self(self, item.popup)) return inner;
      } else if (item.id == id && !(item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED))) {
        return at;
      }
    }
    return nullptr;
  };
  const HMENU popup = holder(holder, w->menu);
  if (!popup) return false;
  if (popup != w->menu) SendMessageW(topLevel, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
  // The popup's owner may have changed the menu as it opened.
  const Window* still = find(topLevel);
  if (!still || !still->menu || holder(holder, still->menu) == nullptr) return false;
  SendMessageW(topLevel, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
  return true;
}

}  // namespace platform::ui::input
