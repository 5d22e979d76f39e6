// The standard controls' window procedures: button, edit, static, combo box, list box, up-down.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/ui/detail/Window.h"

namespace platform::ui::detail {
namespace {

bool isPushButton(const Window& w) {
  const DWORD type = w.buttonType();
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_PUSHBOX || type == BS_OWNERDRAW ||
         type == BS_USERBUTTON;
}

bool isRadio(const Window& w) { return w.buttonType() == BS_RADIOBUTTON || w.buttonType() == BS_AUTORADIOBUTTON; }

int copyOut(const std::u16string& text, LPWSTR buffer, std::size_t room) {
  if (!buffer) return 0;
  const std::size_t n = room ? std::min(text.size(), room - 1) : text.size();
  std::memcpy(buffer, text.data(), n * sizeof(char16_t));
  buffer[n] = u'\0';
  return static_cast<int>(n);
}

// The radio buttons of the group the button is in: from the WS_GROUP at or before it to the next
// WS_GROUP, as Windows' auto radio buttons see their group.
std::vector<HWND> radioGroupOf(const Window& button) {
  std::vector<HWND> group;
  const Window* parent = find(button.parent);
  if (!parent) return group;
  const auto& siblings = parent->children;
  const auto at = std::find(siblings.begin(), siblings.end(), button.handle);
  if (at == siblings.end()) return group;
  auto first = at;
  while (first != siblings.begin()) {
    const Window* w = find(*first);
    if (w && (w->style & WS_GROUP)) break;
    --first;
  }
  for (auto it = first; it != siblings.end(); ++it) {
    const Window* w = find(*it);
    if (!w) continue;
    if (it != first && (w->style & WS_GROUP)) break;
    if (w->kind == Kind::kButton && isRadio(*w)) group.push_back(*it);
  }
  return group;
}

void setCheck(HWND window, int check) {
  Window* w = find(window);
  if (!w || w->check == check) return;
  w->check = check;
  changed(window, Change::kState);
}

}  // namespace

LRESULT buttonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = find(window);
  if (!w) return 0;
  switch (message) {
    case BM_GETCHECK: return w->check;
    case BM_SETCHECK:
      setCheck(window, static_cast<int>(wParam));
      return 0;
    case BM_GETSTATE: return w->check;
    case BM_SETSTYLE:
      w->style = (w->style & ~0xFFFFu) | (static_cast<DWORD>(wParam) & 0xFFFFu);
      changed(window, Change::kStyle);
      return 0;
    case BM_CLICK: userClick(window); return 0;
    case WM_GETDLGCODE: {
      if (w->buttonType() == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
      if (isPushButton(*w)) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
      if (isRadio(*w)) return DLGC_BUTTON | DLGC_RADIOBUTTON;
      if (w->buttonType() == BS_GROUPBOX) return DLGC_STATIC;
      return DLGC_BUTTON;
    }
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) {
        userClick(window);
        return 0;
      }
      break;
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool userClick(HWND button) {
  Window* w = findForInput(button, Kind::kButton);
  if (!w) return false;
  const DWORD type = w->buttonType();
  if (type == BS_GROUPBOX) return false;
  if (type == BS_AUTOCHECKBOX) {
    setCheck(button, w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
  } else if (type == BS_AUTO3STATE) {
    setCheck(button, (w->check + 1) % 3);
  } else if (type == BS_AUTORADIOBUTTON) {
    for (HWND other : radioGroupOf(*w)) setCheck(other, other == button ? BST_CHECKED : BST_UNCHECKED);
  }
  if (isPushButton(*w) || type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
      type == BS_AUTO3STATE || isRadio(*w)) {
    SetFocus(button);
  }
  notifyCommand(button, BN_CLICKED);
  return true;
}

LRESULT editProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = find(window);
  if (!w) return 0;
  switch (message) {
    case WM_SETTEXT: {
      std::u16string text = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
      if (w->text == text) return TRUE;
      w->text = std::move(text);
      changed(window, Change::kText);
      notifyCommand(window, EN_UPDATE);
      notifyCommand(window, EN_CHANGE);
      return TRUE;
    }
    case EM_LIMITTEXT:
      w->textLimit = static_cast<int>(wParam);
      changed(window, Change::kState);
      return 0;
    case EM_GETLIMITTEXT: return w->textLimit ? w->textLimit : 0x7FFFFFFE;
    case EM_SETREADONLY:
      if (wParam) {
        w->style |= ES_READONLY;
      } else {
        w->style &= ~ES_READONLY;
      }
      changed(window, Change::kStyle);
      return TRUE;
    case EM_SETSEL:
    case EM_GETSEL: return 0;
    case WM_SETFOCUS: notifyCommand(window, EN_SETFOCUS); return 0;
    case WM_KILLFOCUS: notifyCommand(window, EN_KILLFOCUS); return 0;
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
      if ((w->style & ES_MULTILINE) && (w->style & ES_WANTRETURN)) code |= DLGC_WANTALLKEYS;
      return code;
    }
    case WM_CHAR: {
      if (w->style & ES_READONLY) return 0;
      const auto c = static_cast<char16_t>(wParam);
      std::u16string text = w->text;
      if (c == u'\b') {
        if (text.empty()) return 0;
        text.pop_back();
      } else if (c >= 0x20 || ((w->style & ES_MULTILINE) && c == u'\r')) {
        const int limit = w->textLimit ? w->textLimit : 0x7FFFFFFE;
        if (static_cast<int>(text.size()) >= limit) {
          notifyCommand(window, EN_MAXTEXT);
          return 0;
        }
        if ((w->style & ES_NUMBER) && (c < u'0' || c > u'9')) return 0;
        text += c == u'\r' ? std::u16string(u"\r\n") : std::u16string(1, c);
      } else {
        return 0;
      }
      userSetText(window, text);
      return 0;
    }
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool userSetText(HWND edit, const std::u16string& text) {
  Window* w = find(edit);
  if (!w || !effectivelyEnabled(edit) || (w->style & ES_READONLY)) return false;
  if (w->text == text) return true;
  w->text = text;
  if (w->textLimit && static_cast<int>(w->text.size()) > w->textLimit) w->text.resize(static_cast<std::size_t>(w->textLimit));
  changed(edit, Change::kText);
  if (w->kind == Kind::kComboBox) {
    notifyCommand(edit, CBN_EDITUPDATE);
    notifyCommand(edit, CBN_EDITCHANGE);
  } else {
    notifyCommand(edit, EN_UPDATE);
    notifyCommand(edit, EN_CHANGE);
  }
  return true;
}

LRESULT staticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = find(window);
  if (!w) return 0;
  switch (message) {
    case WM_CREATE:
      // As Windows' static does: an icon static loads its icon from the module its text names.
      if ((w->style & SS_TYPEMASK) == SS_ICON && !w->text.empty()) {
        // The template writes the icon's id as "206" (or "#206"); anything else is a name.
        const std::u16string name = w->text[0] == u'#' ? w->text.substr(1) : w->text;
        const bool number = !name.empty() && name.size() < 6 && std::all_of(name.begin(), name.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
        LPCWSTR resource = number ? MAKEINTRESOURCEW(std::stoul(std::string(name.begin(), name.end()))) : name.c_str();
        w->icon = LoadIconW(w->instance, resource);
      }
      return 0;
    case STM_SETICON: {
      const HICON old = w->icon;
      w->icon = reinterpret_cast<HICON>(wParam);
      changed(window, Change::kState);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON: return reinterpret_cast<LRESULT>(w->icon);
    case WM_GETDLGCODE: return DLGC_STATIC;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

namespace {

// What combo and list boxes share: their rows.
LRESULT rowMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam, bool combo, bool& handled) {
  handled = true;
  const auto count = static_cast<int>(w.strings.size());
  const int index = static_cast<int>(static_cast<std::intptr_t>(wParam));
  const LRESULT error = combo ? CB_ERR : LB_ERR;
  const bool sorted = (w.style & (combo ? CBS_SORT : LBS_SORT)) != 0;
  auto insertAt = [&](int at, LPCWSTR text) -> LRESULT {
    std::u16string row = text ? text : u"";
    if (at < 0 || at > count) at = count;
    if (sorted) {
      at = static_cast<int>(std::upper_bound(w.strings.begin(), w.strings.end(), row) - w.strings.begin());
    }
    w.strings.insert(w.strings.begin() + at, std::move(row));
    w.itemData.insert(w.itemData.begin() + at, 0);
    if (w.curSel >= at) ++w.curSel;
    changed(w.handle, Change::kRowInserted, at);
    return at;
  };
  if (message == (combo ? CB_ADDSTRING : LB_ADDSTRING)) return insertAt(count, reinterpret_cast<LPCWSTR>(lParam));
  if (message == (combo ? CB_INSERTSTRING : LB_INSERTSTRING)) return insertAt(index, reinterpret_cast<LPCWSTR>(lParam));
  if (message == (combo ? CB_DELETESTRING : LB_DELETESTRING)) {
    if (index < 0 || index >= count) return error;
    w.strings.erase(w.strings.begin() + index);
    w.itemData.erase(w.itemData.begin() + index);
    if (w.curSel == index) {
      w.curSel = -1;
    } else if (w.curSel > index) {
      --w.curSel;
    }
    changed(w.handle, Change::kRowDeleted, index);
    return count - 1;
  }
  if (message == (combo ? CB_RESETCONTENT : LB_RESETCONTENT)) {
    w.strings.clear();
    w.itemData.clear();
    w.curSel = -1;
    changed(w.handle, Change::kItems);
    return 0;
  }
  if (message == (combo ? CB_GETCOUNT : LB_GETCOUNT)) return count;
  if (message == (combo ? CB_GETCURSEL : LB_GETCURSEL)) return w.curSel;
  if (message == (combo ? CB_SETCURSEL : LB_SETCURSEL)) {
    w.curSel = index >= 0 && index < count ? index : -1;
    if (combo) w.text = w.curSel >= 0 ? w.strings[static_cast<std::size_t>(w.curSel)] : u"";
    changed(w.handle, Change::kState);
    return index >= 0 && index < count ? index : error;
  }
  if (message == (combo ? CB_GETLBTEXT : LB_GETTEXT)) {
    if (index < 0 || index >= count) return error;
    return copyOut(w.strings[static_cast<std::size_t>(index)], reinterpret_cast<LPWSTR>(lParam), 0);
  }
  if (message == (combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN)) {
    if (index < 0 || index >= count) return error;
    return static_cast<LRESULT>(w.strings[static_cast<std::size_t>(index)].size());
  }
  if (message == (combo ? CB_GETITEMDATA : LB_GETITEMDATA)) {
    if (index < 0 || index >= count) return error;
    return w.itemData[static_cast<std::size_t>(index)];
  }
  if (message == (combo ? CB_SETITEMDATA : LB_SETITEMDATA)) {
    if (index < 0 || index >= count) return error;
    w.itemData[static_cast<std::size_t>(index)] = lParam;
    return TRUE;
  }
  if (message == (combo ? CB_FINDSTRINGEXACT : LB_FINDSTRINGEXACT)) {
    const std::u16string wanted = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
    for (int i = 0; i < count; ++i) {
      const int at = (index + 1 + i) % count;
      if (w.strings[static_cast<std::size_t>(at)].size() == wanted.size() &&
          std::equal(wanted.begin(), wanted.end(), w.strings[static_cast<std::size_t>(at)].begin(),
                     [](char16_t a, char16_t b) { return std::towlower(a) == std::towlower(b); })) {
        return at;
      }
    }
    return error;
  }
  handled = false;
  return 0;
}

}  // namespace

LRESULT comboBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = find(window);
  if (!w) return 0;
  bool handled = false;
  const LRESULT result = rowMessage(*w, message, wParam, lParam, true, handled);
  if (handled) return result;
  switch (message) {
    case WM_CREATE:
      // A drop-down combo's height in the template is that of its open list; the window itself
      // is as high as its selection field, as on Windows (the font's line and a 4-pixel border).
      if ((w->style & 0x3) != CBS_SIMPLE) {
        const Window* parent = find(w->parent);
        const int line = parent && parent->dialog ? parent->dialog->baseY : 13;
        w->rect.bottom = std::min<LONG>(w->rect.bottom, w->rect.top + line + 8);
      }
      return 0;
    case CB_LIMITTEXT: w->textLimit = static_cast<int>(wParam); return TRUE;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN: {
      const int count = static_cast<int>(w->strings.size());
      if ((wParam == VK_DOWN || wParam == VK_UP) && count > 0) {
        const int next = std::clamp(w->curSel + (wParam == VK_DOWN ? 1 : -1), 0, count - 1);
        if (next != w->curSel) {
          SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(next), 0);
          notifyCommand(window, CBN_SELCHANGE);
        }
        return 0;
      }
      break;
    }
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool userSelectCombo(HWND combo, int index) {
  Window* w = findForInput(combo, Kind::kComboBox);
  if (!w) return false;
  if (index < 0 || index >= static_cast<int>(w->strings.size())) return false;
  SetFocus(combo);
  notifyCommand(combo, CBN_DROPDOWN);
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  notifyCommand(combo, CBN_SELCHANGE);
  notifyCommand(combo, CBN_SELENDOK);
  notifyCommand(combo, CBN_CLOSEUP);
  return true;
}

LRESULT listBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = find(window);
  if (!w) return 0;
  bool handled = false;
  const LRESULT result = rowMessage(*w, message, wParam, lParam, false, handled);
  if (handled) return result;
  switch (message) {
    case LB_GETITEMRECT: {
      auto* rect = reinterpret_cast<RECT*>(lParam);
      const int row = static_cast<int>(wParam);
      if (!rect || row < 0 || row >= static_cast<int>(w->strings.size())) return LB_ERR;
      if (face().rowRect(*w, row, *rect)) return TRUE;
      RECT client{};
      GetClientRect(window, &client);
      *rect = RECT{0, row * 16, client.right, row * 16 + 16};
      return TRUE;
    }
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN: {
      const int count = static_cast<int>(w->strings.size());
      if ((wParam == VK_DOWN || wParam == VK_UP) && count > 0) {
        const int next = std::clamp(w->curSel + (wParam == VK_DOWN ? 1 : -1), 0, count - 1);
        if (next != w->curSel) {
          SendMessageW(window, LB_SETCURSEL, static_cast<WPARAM>(next), 0);
          if (w->style & LBS_NOTIFY) notifyCommand(window, LBN_SELCHANGE);
        }
        return 0;
      }
      break;
    }
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool userSelectListBox(HWND list, int row, bool doubleClick) {
  Window* w = findForInput(list, Kind::kListBox);
  if (!w) return false;
  if (row < 0 || row >= static_cast<int>(w->strings.size())) return false;
  SetFocus(list);
  const bool notifies = (w->style & LBS_NOTIFY) != 0;
  if (w->curSel != row) {
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    if (notifies) notifyCommand(list, LBN_SELCHANGE);
  }
  if (doubleClick && notifies) notifyCommand(list, LBN_DBLCLK);
  return true;
}

LRESULT upDownProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = find(window);
  if (!w) return 0;
  switch (message) {
    case UDM_SETRANGE:
      w->udUpper = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lParam)));
      w->udLower = static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lParam)));
      return 0;
    case UDM_SETRANGE32:
      w->udLower = static_cast<int>(wParam);
      w->udUpper = static_cast<int>(lParam);
      return 0;
    case UDM_GETRANGE: return MAKELONG(static_cast<WORD>(w->udUpper), static_cast<WORD>(w->udLower));
    case UDM_SETPOS:
    case UDM_SETPOS32: {
      const int old = w->udPos;
      w->udPos = static_cast<int>(message == UDM_SETPOS ? static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lParam))) : lParam);
      return old;
    }
    case UDM_GETPOS:
    case UDM_GETPOS32: return w->udPos;
    case UDM_SETBUDDY: {
      const HWND old = w->buddy;
      w->buddy = reinterpret_cast<HWND>(wParam);
      return reinterpret_cast<LRESULT>(old);
    }
    case UDM_GETBUDDY: return reinterpret_cast<LRESULT>(w->buddy);
    case WM_GETDLGCODE: return (w->style & UDS_ARROWKEYS) ? DLGC_WANTARROWS : 0;
    case WM_KEYDOWN:
      if ((w->style & UDS_ARROWKEYS) && (wParam == VK_UP || wParam == VK_DOWN)) {
        userUpDown(window, wParam == VK_UP);
        return 0;
      }
      break;
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool userUpDown(HWND upDown, bool upper) {
  Window* w = findForInput(upDown, Kind::kUpDown);
  if (!w) return false;
  // The upper arrow moves towards the range's upper end, which with Windows' default range
  // (100 down to 0) is a negative step.
  int delta = upper ? 1 : -1;
  if (w->udUpper < w->udLower) delta = -delta;
  NMUPDOWN change{};
  change.hdr.code = UDN_DELTAPOS;
  change.iPos = w->udPos;
  change.iDelta = delta;
  if (!notify(upDown, change.hdr)) {
    if (!(w = find(upDown))) return true;
    const int low = std::min(w->udLower, w->udUpper);
    const int high = std::max(w->udLower, w->udUpper);
    int next = w->udPos + change.iDelta;
    if (next < low || next > high) next = (w->style & UDS_WRAP) ? (next < low ? high : low) : std::clamp(next, low, high);
    w->udPos = next;
  }
  if (!(w = find(upDown))) return true;
  const HWND parent = w->parent;
  SendMessageW(parent, (w->style & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(static_cast<WORD>(SB_THUMBPOSITION), static_cast<WORD>(w->udPos)),
               reinterpret_cast<LPARAM>(upDown));
  if (IsWindow(upDown)) {
    SendMessageW(parent, (w->style & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(static_cast<WORD>(SB_ENDSCROLL), static_cast<WORD>(w->udPos)),
                 reinterpret_cast<LPARAM>(upDown));
  }
  return true;
}

}  // namespace platform::ui::detail
