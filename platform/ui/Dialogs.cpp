// Dialogs from DIALOGEX templates: layout in dialog units, the default dialog procedure, modal
// runs, the dialog helpers, and the keys a dialog takes (Enter, Escape, Tab).
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"
#include "platform/ui/detail/Window.h"

namespace platform::ui::detail {
namespace {

int mulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  return static_cast<int>((product + (product >= 0 ? denominator / 2 : -denominator / 2)) / denominator);
}

bool isTabStop(HWND window) {
  const Window* w = find(window);
  return w && (w->style & WS_TABSTOP) && effectivelyVisible(window) && effectivelyEnabled(window);
}

HWND firstTabStop(HWND dialog) {
  const Window* d = find(dialog);
  if (!d) return nullptr;
  for (HWND child : d->children) {
    if (isTabStop(child)) return child;
  }
  return nullptr;
}

HWND defaultButton(HWND dialog) {
  const Window* d = find(dialog);
  if (!d) return nullptr;
  for (HWND child : d->children) {
    const Window* w = find(child);
    if (w && w->kind == Kind::kButton && w->buttonType() == BS_DEFPUSHBUTTON) return child;
  }
  return nullptr;
}

const std::u16string& shellDialogFont() {
  static const std::u16string name = u"MS Shell Dlg";
  return name;
}

HWND createDialog(HINSTANCE instance, const resources::DialogTemplate* dialog, HWND owner, DLGPROC proc, LPARAM param) {
  if (!dialog) return nullptr;
  if (owner && !find(owner)) owner = nullptr;
  const std::u16string fontFace = dialog->fontFace && *dialog->fontFace ? dialog->fontFace : shellDialogFont();
  int baseX = 6;
  int baseY = 13;
  face().baseUnits(fontFace, dialog->pointSize ? dialog->pointSize : 8, baseX, baseY);
  auto px = [&](int x) { return mulDiv(x, baseX, 4); };
  auto py = [&](int y) { return mulDiv(y, baseY, 8); };

  const DWORD style = dialog->style & ~WS_VISIBLE;
  const HWND handle = CreateWindowExW(dialog->exStyle, WC_DIALOG, dialog->caption ? dialog->caption : u"", style, 0, 0, 0, 0,
                                      (style & WS_CHILD) ? owner : owner, nullptr, instance, nullptr);
  Window* w = find(handle);
  if (!w) return nullptr;
  w->dialog = std::make_unique<DialogData>();
  w->dialog->proc = proc;
  w->dialog->baseX = baseX;
  w->dialog->baseY = baseY;

  // The template's size is the client area's; the frame comes on top, as Windows does.
  const RECT frame = face().frame(*w);
  const int width = px(dialog->cx) + frame.left + frame.right;
  const int height = py(dialog->cy) + frame.top + frame.bottom;
  int x = px(dialog->x);
  int y = py(dialog->y);
  if (w->isChild()) {
    // A DS_CONTROL child dialog sits in its parent's client area at the template's position.
  } else if ((dialog->style & DS_CENTER) || !owner || (dialog->x == 0 && dialog->y == 0)) {
    RECT around{0, 0, face().screenSize().cx, face().screenSize().cy};
    if (owner) GetWindowRect(owner, &around);
    x = (around.left + around.right - width) / 2;
    y = (around.top + around.bottom - height) / 2;
  } else if (!(dialog->style & DS_ABSALIGN)) {
    const POINT origin = clientOrigin(owner);
    x += origin.x;
    y += origin.y;
  }
  if (!w->isChild()) {
    // As Windows does, a dialog goes wholly into the work area where it fits.
    const RECT area = face().workArea();
    x = std::max<int>(area.left, std::min<int>(x, area.right - width));
    y = std::max<int>(area.top, std::min<int>(y, area.bottom - height));
  }
  w->rect = RECT{x, y, x + width, y + height};
  face().changed(*w, Change::kGeometry, -1);

  for (std::size_t i = 0; i < dialog->itemCount; ++i) {
    const resources::DialogItem& item = dialog->items[i];
    const DWORD itemStyle = (item.style | WS_CHILD) & ~WS_POPUP;
    const HWND control = CreateWindowExW(item.exStyle, item.className, item.text ? item.text : u"", itemStyle, px(item.x),
                                         py(item.y), px(item.cx), py(item.cy), handle,
                                         reinterpret_cast<HMENU>(static_cast<std::intptr_t>(item.id)), instance, nullptr);
    if (!control) {
      platform::diag::error("CreateDialogIndirectParamW",
                            "control " + std::to_string(item.id) + " of dialog " + std::to_string(dialog->id) +
                                " could not be created");
      if (!(dialog->style & DS_NOFAILCREATE)) {
        DestroyWindow(handle);
        return nullptr;
      }
    }
  }

  const HWND focus = firstTabStop(handle);
  const LRESULT wantsFocus = SendMessageW(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param);
  if (!find(handle)) return nullptr;
  if (wantsFocus && focus && find(focus)) SetFocus(focus);
  if ((dialog->style & WS_VISIBLE) && !find(handle)->dialog->ended) ShowWindow(handle, SW_SHOW);
  return handle;
}

// Windows' dialog units for a template looked up by name.
const resources::DialogTemplate* templateOf(HINSTANCE module, LPCWSTR name) {
  if (!IS_INTRESOURCE(name)) {
    platform::diag::error("DialogBoxParamW", "dialog templates are found by number");
    return nullptr;
  }
  const auto id = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(name));
  const resources::DialogTemplate* found = resources::findDialog(module, id);
  if (!found) platform::diag::error("DialogBoxParamW", "no dialog template " + std::to_string(id));
  return found;
}

bool isSpecialDialogResult(UINT message) {
  return message == WM_INITDIALOG || message == WM_GETDLGCODE || (message >= 0x0132 && message <= 0x0138);
}

}  // namespace

LRESULT dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = find(window);
  if (!w) return 0;
  if (w->dialog && w->dialog->proc) {
    const DLGPROC proc = w->dialog->proc;
    w->dialog->msgResult = 0;
    const INT_PTR handled = platform::diag::guarded("dialog procedure", INT_PTR{0}, [&] { return proc(window, message, wParam, lParam); });
    if (!(w = find(window))) return handled;
    if (handled) return isSpecialDialogResult(message) ? handled : (w->dialog ? w->dialog->msgResult : 0);
  }
  switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_CLOSE: {
      // As Windows: the Cancel command, unless a Cancel button is there and disabled.
      const HWND cancel = GetDlgItem(window, IDCANCEL);
      if (!cancel || IsWindowEnabled(cancel)) {
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(IDCANCEL), BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
      }
      return 0;
    }
    case DM_GETDEFID: {
      if (w->dialog && w->dialog->defId) return MAKELONG(static_cast<WORD>(w->dialog->defId), DC_HASDEFID);
      if (const Window* button = find(defaultButton(window))) return MAKELONG(static_cast<WORD>(button->id), DC_HASDEFID);
      return 0;
    }
    case DM_SETDEFID: {
      if (!w->dialog) return FALSE;
      const int id = static_cast<int>(wParam);
      for (HWND child : w->children) {
        Window* button = find(child);
        if (!button || button->kind != Kind::kButton) continue;
        const DWORD type = button->buttonType();
        if (type == BS_DEFPUSHBUTTON && button->id != id) SendMessageW(child, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
        if (type == BS_PUSHBUTTON && button->id == id) SendMessageW(child, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
      }
      if ((w = find(window)) && w->dialog) w->dialog->defId = id;
      return TRUE;
    }
    case WM_GETDLGCODE: return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool translateKey(HWND window, UINT virtualKey, BYTE modifiers) {
  const HWND root = GetAncestor(window, GA_ROOT);
  const Window* top = find(root);
  if (!top) return false;
  MSG message{window, WM_KEYDOWN, virtualKey, 0, 0, {}};
  if (top->accelerators) {
    setKeyModifiers(modifiers);
    const int taken = TranslateAcceleratorW(root, top->accelerators, &message);
    setKeyModifiers(0);
    if (taken) return true;
  }
  if (top->dialog && modifiers == 0 && IsDialogMessageW(root, &message)) return true;
  return false;
}

bool userKey(HWND window, UINT virtualKey, BYTE modifiers) {
  const Window* w = findForInput(window);
  if (!w) return false;
  if (GetFocus() != window) SetFocus(window);
  if (translateKey(window, virtualKey, modifiers)) return true;
  dispatch(window, WM_KEYDOWN, virtualKey, 0);
  const bool letter = virtualKey >= 'A' && virtualKey <= 'Z';
  const bool digit = virtualKey >= '0' && virtualKey <= '9';
  if (find(window) && (letter || digit || virtualKey == VK_SPACE || virtualKey == VK_BACK) && !(modifiers & (FCONTROL | FALT))) {
    const WPARAM c = letter && !(modifiers & FSHIFT) ? virtualKey + 0x20 : virtualKey;
    dispatch(window, WM_CHAR, c, 0);
  }
  if (find(window)) dispatch(window, WM_KEYUP, virtualKey, 0);
  return true;
}

bool userContextMenu(HWND window, POINT screenPoint) {
  const Window* w = findForInput(window);
  if (!w) return false;
  if (w->kind == Kind::kListView) {
    // Relative to where the list really is (the face's position, not only the model's).
    RECT where{};
    GetWindowRect(window, &where);
    POINT at{screenPoint.x - where.left, screenPoint.y - where.top};
    int row = -1;
    for (int i = 0; i < static_cast<int>(w->items.size()); ++i) {
      RECT r{};
      ListView_GetItemRect(window, i, &r, LVIR_BOUNDS);
      if (at.x >= r.left && at.x < r.right && at.y >= r.top && at.y < r.bottom) row = i;
    }
    SetFocus(window);
    if (row >= 0 && !(ListView_GetItemState(window, row, LVIS_SELECTED) & LVIS_SELECTED)) {
      for (int i = 0; find(window) && i < static_cast<int>(find(window)->items.size()); ++i) {
        if (i != row) setListItemState(window, i, 0, LVIS_SELECTED);
      }
      setListItemState(window, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    NMITEMACTIVATE info{};
    info.hdr.code = NM_RCLICK;
    info.iItem = row;
    info.ptAction = at;
    if (find(window) && notify(window, info.hdr)) return true;
  }
  if (!find(window)) return true;
  SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window),
               MAKELPARAM(static_cast<WORD>(screenPoint.x), static_cast<WORD>(screenPoint.y)));
  return true;
}

bool userHelp(HWND window) { return userKey(window, VK_F1, 0); }

bool userClose(HWND topLevel) {
  const Window* w = find(topLevel);
  if (!w || w->isChild()) return false;
  SendMessageW(topLevel, WM_SYSCOMMAND, SC_CLOSE, 0);
  return true;
}

}  // namespace platform::ui::detail

using namespace platform::ui::detail;

BOOL IsDialogMessageW(HWND dialog, MSG* message) {
  const Window* d = find(dialog);
  if (!d || !message || message->message != WM_KEYDOWN) return FALSE;
  if (message->hwnd != dialog && !IsChild(dialog, message->hwnd)) return FALSE;
  const UINT key = static_cast<UINT>(message->wParam);
  const LRESULT code = message->hwnd == dialog ? 0 : SendMessageW(message->hwnd, WM_GETDLGCODE, message->wParam, reinterpret_cast<LPARAM>(message));
  if (code & DLGC_WANTALLKEYS) return FALSE;
  switch (key) {
    case VK_RETURN: {
      if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) {
        userClick(message->hwnd);
        return TRUE;
      }
      const LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
      const int id = HIWORD(static_cast<std::uintptr_t>(def)) == DC_HASDEFID ? LOWORD(static_cast<std::uintptr_t>(def)) : IDOK;
      const HWND button = GetDlgItem(dialog, id);
      if (button && !effectivelyEnabled(button)) return TRUE;
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), reinterpret_cast<LPARAM>(button));
      return TRUE;
    }
    case VK_ESCAPE: {
      const HWND cancel = GetDlgItem(dialog, IDCANCEL);
      if (cancel && !effectivelyEnabled(cancel)) return TRUE;
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(IDCANCEL), BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
      return TRUE;
    }
    case VK_TAB: {
      if (code & DLGC_WANTTAB) return FALSE;
      const auto& children = d->children;
      const auto at = std::find(children.begin(), children.end(), message->hwnd);
      const std::size_t start = at == children.end() ? 0 : static_cast<std::size_t>(at - children.begin()) + 1;
      for (std::size_t i = 0; i < children.size(); ++i) {
        const HWND next = children[(start + i) % children.size()];
        if (GetWindowLongPtrW(next, GWL_STYLE) & WS_TABSTOP && IsWindowVisible(next) && IsWindowEnabled(next)) {
          SetFocus(next);
          break;
        }
      }
      return TRUE;
    }
    default: return FALSE;
  }
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE module, const platform::resources::DialogTemplate* dialog, HWND owner, DLGPROC proc,
                                LPARAM param) {
  if (!dialog) return -1;
  if (owner) owner = GetAncestor(owner, GA_ROOT);
  const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  const HWND handle = createDialog(module, dialog, owner, proc, param);
  if (!handle) return -1;
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  Window* w = find(handle);
  if (w && w->dialog) {
    w->dialog->modal = true;
    // A template shown at creation is shown again as the modal window it now is.
    if (w->style & WS_VISIBLE) face().changed(*w, Change::kVisible, -1);
  }
  if (w && w->dialog && !w->dialog->ended) ShowWindow(handle, SW_SHOW);
  face().runModal([handle] {
    const Window* live = find(handle);
    return !live || !live->dialog || live->dialog->ended;
  });
  INT_PTR result = -1;
  if (const Window* live = find(handle); live && live->dialog) result = live->dialog->result;
  if (ownerWasEnabled && IsWindow(owner)) EnableWindow(owner, TRUE);
  if (IsWindow(handle)) DestroyWindow(handle);
  if (owner && IsWindow(owner)) SetActiveWindow(owner);
  return result;
}

HWND CreateDialogIndirectParamW(HINSTANCE module, const platform::resources::DialogTemplate* dialog, HWND owner, DLGPROC proc,
                                LPARAM param) {
  return createDialog(module, dialog, owner, proc, param);
}

INT_PTR DialogBoxParamW(HINSTANCE module, LPCWSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
  const platform::resources::DialogTemplate* dialog = templateOf(module, templateName);
  return dialog ? DialogBoxIndirectParamW(module, dialog, owner, proc, param) : -1;
}

HWND CreateDialogParamW(HINSTANCE module, LPCWSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
  const platform::resources::DialogTemplate* dialog = templateOf(module, templateName);
  return dialog ? createDialog(module, dialog, owner, proc, param) : nullptr;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  Window* w = find(dialog);
  if (!w || !w->dialog) return FALSE;
  w->dialog->ended = true;
  w->dialog->result = result;
  ShowWindow(dialog, SW_HIDE);
  return TRUE;
}

LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  // Called by a dialog procedure itself: the default processing without calling it again.
  Window* w = find(dialog);
  if (!w || !w->dialog) return DefWindowProcW(dialog, message, wParam, lParam);
  const DLGPROC proc = w->dialog->proc;
  w->dialog->proc = nullptr;
  const LRESULT result = dialogProc(dialog, message, wParam, lParam);
  if ((w = find(dialog)) && w->dialog) w->dialog->proc = proc;
  return result;
}

HWND GetDlgItem(HWND dialog, int id) {
  const Window* d = find(dialog);
  if (!d) return nullptr;
  for (HWND child : d->children) {
    const Window* w = find(child);
    if (w && w->id == id) return child;
  }
  return nullptr;
}

int GetDlgCtrlID(HWND window) {
  const Window* w = find(window);
  return w && w->isChild() ? w->id : 0;
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) { return SetWindowTextW(GetDlgItem(dialog, id), text); }

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int maxCount) {
  const HWND item = GetDlgItem(dialog, id);
  if (!item) {
    if (buffer && maxCount > 0) buffer[0] = u'\0';
    return 0;
  }
  return static_cast<UINT>(GetWindowTextW(item, buffer, maxCount));
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND item = GetDlgItem(dialog, id);
  return item ? SendMessageW(item, message, wParam, lParam) : 0;
}

BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId) {
  const Window* d = find(dialog);
  if (!d) return FALSE;
  for (HWND child : d->children) {
    const Window* w = find(child);
    if (w && w->id >= firstId && w->id <= lastId) {
      SendMessageW(child, BM_SETCHECK, w->id == checkId ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  }
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  const HWND item = GetDlgItem(dialog, id);
  if (!item) return FALSE;
  SendMessageW(item, BM_SETCHECK, check, 0);
  return TRUE;
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
  const Window* d = find(dialog);
  if (!d || !d->dialog || !rect) return FALSE;
  auto map = [](LONG value, int base, int units) {
    const long long product = static_cast<long long>(value) * base;
    return static_cast<LONG>((product + (product >= 0 ? units / 2 : -units / 2)) / units);
  };
  rect->left = map(rect->left, d->dialog->baseX, 4);
  rect->right = map(rect->right, d->dialog->baseX, 4);
  rect->top = map(rect->top, d->dialog->baseY, 8);
  rect->bottom = map(rect->bottom, d->dialog->baseY, 8);
  return TRUE;
}

LONG GetDialogBaseUnits() {
  int x = 6;
  int y = 13;
  face().baseUnits(u"System", 8, x, y);
  return MAKELONG(static_cast<WORD>(x), static_cast<WORD>(y));
}
