#include "tests/platform/ui/EditorDialog.h"

namespace uitest {
namespace {

using platform::resources::DialogItem;
using platform::resources::DialogTemplate;

const DialogItem kItems[] = {
    {u"SysListView32", u"", kList, WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 0, 7, 7, 180, 90, 0},
    {u"msctls_updown32", u"", kUpDown, WS_VISIBLE | UDS_ARROWKEYS, 0, 190, 7, 11, 28, 0},
    {u"BUTTON", u"&Add", kAdd, WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 0, 205, 7, 50, 14, 0},
    {u"BUTTON", u"Re&name", kRename, WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP, 0, 205, 25, 50, 14, 0},
    {u"BUTTON", u"&Remove", kRemove, WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP, 0, 205, 43, 50, 14, 0},
    {u"STATIC", u"Name:", -1, WS_VISIBLE | SS_LEFT, 0, 7, 104, 30, 8, 0},
    {u"EDIT", u"", kName, WS_VISIBLE | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0, 40, 102, 147, 14, 0},
    {u"BUTTON", u"Print at &once", kAtOnce, WS_VISIBLE | BS_AUTOCHECKBOX | WS_TABSTOP, 0, 7, 122, 100, 10, 0},
    {u"BUTTON", u"OK", IDOK, WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 150, 129, 50, 14, 0},
    {u"BUTTON", u"Cancel", IDCANCEL, WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP, 0, 205, 129, 50, 14, 0},
};

const DialogTemplate kTemplate = {900,  DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                  0,    0, 0, 262, 150, u"Templates", u"MS Shell Dlg", 8, 400, false, 0,
                                  kItems, sizeof kItems / sizeof kItems[0], u"", 1, 0};

EditorState* stateOf(HWND dialog) { return reinterpret_cast<EditorState*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

std::u16string nameText(HWND dialog) {
  char16_t buffer[64] = {};
  GetDlgItemTextW(dialog, kName, buffer, 64);
  return buffer;
}

int selectedRow(HWND dialog) { return ListView_GetNextItem(GetDlgItem(dialog, kList), -1, LVNI_SELECTED); }

void selectRow(HWND dialog, int row) {
  ListView_SetItemState(GetDlgItem(dialog, kList), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void insertRow(HWND dialog, int row, const std::u16string& text) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = const_cast<LPWSTR>(text.c_str());
  ListView_InsertItem(GetDlgItem(dialog, kList), &item);
}

std::u16string rowText(HWND dialog, int row) {
  char16_t buffer[64] = {};
  ListView_GetItemText(GetDlgItem(dialog, kList), row, 0, buffer, 64);
  return buffer;
}

void updateButtons(HWND dialog) {
  const bool selected = selectedRow(dialog) >= 0;
  EnableWindow(GetDlgItem(dialog, kRename), selected && !nameText(dialog).empty());
  EnableWindow(GetDlgItem(dialog, kRemove), selected);
  EnableWindow(GetDlgItem(dialog, kAdd), !nameText(dialog).empty());
}

void removeSelected(HWND dialog) {
  const int row = selectedRow(dialog);
  if (row >= 0) ListView_DeleteItem(GetDlgItem(dialog, kList), row);
  updateButtons(dialog);
}

void move(HWND dialog, int delta) {
  const int row = selectedRow(dialog);
  const int count = ListView_GetItemCount(GetDlgItem(dialog, kList));
  const int other = delta < 0 ? row - 1 : row + 1;
  if (row < 0 || other < 0 || other >= count) return;
  const std::u16string text = rowText(dialog, row);
  ListView_DeleteItem(GetDlgItem(dialog, kList), row);
  insertRow(dialog, other, text);
  selectRow(dialog, other);
}

void command(HWND dialog, int id) {
  EditorState* state = stateOf(dialog);
  switch (id) {
    case kAdd: {
      const std::u16string name = nameText(dialog);
      if (name.empty()) return;
      const int count = ListView_GetItemCount(GetDlgItem(dialog, kList));
      insertRow(dialog, count, name);
      selectRow(dialog, count);
      SetDlgItemTextW(dialog, kName, u"");
      break;
    }
    case kRename: {
      const int row = selectedRow(dialog);
      if (row < 0) return;
      ListView_SetItemText(GetDlgItem(dialog, kList), row, 0, nameText(dialog).c_str());
      SetDlgItemTextW(dialog, kName, u"");
      break;
    }
    case kRemove: removeSelected(dialog); break;
    case kMoveUp: move(dialog, -1); break;
    case IDOK: {
      if (!nameText(dialog).empty()) {
        ++state->refusals;
        MessageBoxW(dialog, u"Add the name or clear it first.", u"Template list", MB_OK | MB_ICONEXCLAMATION);
        return;
      }
      state->rows.clear();
      for (int row = 0; row < ListView_GetItemCount(GetDlgItem(dialog, kList)); ++row) state->rows.push_back(rowText(dialog, row));
      state->atOnce = IsDlgButtonChecked(dialog, kAtOnce) == BST_CHECKED;
      EndDialog(dialog, IDOK);
      return;
    }
    case IDCANCEL: EndDialog(dialog, IDCANCEL); return;
    default: return;
  }
  updateButtons(dialog);
}

}  // namespace

const DialogTemplate& editorTemplate() { return kTemplate; }

INT_PTR editorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<EditorState*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      state->dialog = dialog;
      const HWND list = GetDlgItem(dialog, kList);
      RECT client{};
      GetClientRect(list, &client);
      LVCOLUMNW column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.cx = client.right - GetSystemMetrics(SM_CXVSCROLL);
      column.pszText = const_cast<LPWSTR>(u"Template");
      ListView_InsertColumn(list, 0, &column);
      for (std::size_t i = 0; i < state->rows.size(); ++i) insertRow(dialog, static_cast<int>(i), state->rows[i]);
      SendDlgItemMessageW(dialog, kName, EM_LIMITTEXT, 32, 0);
      updateButtons(dialog);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == kName && HIWORD(wParam) == EN_CHANGE) {
        updateButtons(dialog);
      } else if (HIWORD(wParam) == BN_CLICKED) {
        command(dialog, LOWORD(wParam));
      }
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == kList && (header->code == LVN_ITEMCHANGED || header->code == NM_CLICK)) updateButtons(dialog);
      if (header->idFrom == kList && header->code == LVN_KEYDOWN &&
          reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey == VK_DELETE) {
        removeSelected(dialog);
      }
      if (header->idFrom == kUpDown && header->code == UDN_DELTAPOS) move(dialog, reinterpret_cast<const NMUPDOWN*>(lParam)->iDelta);
      return TRUE;
    }
    case WM_CONTEXTMENU: {
      if (reinterpret_cast<HWND>(wParam) != GetDlgItem(dialog, kList) || selectedRow(dialog) < 0) return FALSE;
      ++stateOf(dialog)->menusShown;
      const HMENU menu = CreatePopupMenu();
      AppendMenuW(menu, MF_STRING, kMoveUp, u"Move &up");
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(menu, MF_STRING, kRemove, u"&Remove");
      if (selectedRow(dialog) == 0) EnableMenuItem(menu, kMoveUp, MF_BYCOMMAND | MF_GRAYED);
      const UINT picked = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, GET_X_LPARAM(lParam),
                                                           GET_Y_LPARAM(lParam), 0, dialog, nullptr));
      DestroyMenu(menu);
      if (picked) command(dialog, static_cast<int>(picked));
      return TRUE;
    }
    case WM_HELP: ++stateOf(dialog)->helpCalls; return TRUE;
    default: return FALSE;
  }
}

}  // namespace uitest
