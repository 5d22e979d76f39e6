#include "host/OutlookDialogs.h"

#include <algorithm>

#include "platform/resources/Resources.h"
#include "platform/system/Diagnostics.h"
#include "platform/ui/Desktop.h"

namespace host {

namespace {

using platform::resources::DialogItem;
using platform::resources::DialogTemplate;

constexpr DWORD kDialogStyle = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr int kFirstValueId = 200;
constexpr short kLineHeight = 16;

DialogItem pushButton(int id, const char16_t* text, short x, short y, bool isDefault) {
  return {u"BUTTON", text, id, WS_CHILD | WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0,
          x, y, 50, 14, 0};
}

INT_PTR runTemplate(HWND owner, const std::u16string& caption, short cx, short cy, const std::vector<DialogItem>& items,
                    DLGPROC proc, LPARAM param) {
  const DialogTemplate dialog{0,     kDialogStyle,   0, 0, 0, cx, cy, caption.c_str(), u"MS Shell Dlg", 8, 400, false, 0,
                              items.data(), items.size(), u"", 1, 0};
  return DialogBoxIndirectParamW(nullptr, &dialog, owner, proc, param);
}

INT_PTR propertiesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return platform::diag::guarded("Properties dialog", INT_PTR{FALSE}, [&]() -> INT_PTR {
    if (message == WM_INITDIALOG) {
      // The EntryID is what a person comes here to copy.
      const HWND last = GetDlgItem(dialog, kFirstValueId + static_cast<int>(lParam) - 1);
      if (!last) return TRUE;
      SetFocus(last);
      SendMessageW(last, EM_SETSEL, 0, -1);
      return FALSE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
      EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    }
    return FALSE;
  });
}

// Outlook's categories, the Add-ins one at COutlookOptionsDialog::kAddInsCategory.
constexpr const char16_t* kCategories[] = {u"General",  u"Mail",     u"Calendar", u"Contacts",         u"Tasks",
                                           u"Notes and Journal",     u"Search",   u"Mobile",           u"Language",
                                           u"Advanced", u"Customize Ribbon",     u"Quick Access Toolbar", u"Add-ins",
                                           u"Trust Center"};
static_assert(std::u16string_view(kCategories[COutlookOptionsDialog::kAddInsCategory]) == u"Add-ins");

}  // namespace

void showItemProperties(HWND owner, const std::u16string& caption, const std::vector<PropertyLine>& lines) {
  std::vector<DialogItem> items;
  short y = 9;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    items.push_back({u"STATIC", lines[i].label.c_str(), -1, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 7,
                     static_cast<short>(y + 2), 58, 8, 0});
    items.push_back({u"EDIT", lines[i].value.c_str(), kFirstValueId + static_cast<int>(i),
                     WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY, 0, 68, y,
                     225, 12, 0});
    y = static_cast<short>(y + kLineHeight);
  }
  const short height = static_cast<short>(y + 26);
  items.push_back(pushButton(IDOK, u"OK", 243, static_cast<short>(height - 21), true));
  if (runTemplate(owner, caption, 300, height, items, propertiesProc, static_cast<LPARAM>(lines.size())) == -1)
    platform::diag::error("Properties", "the item's Properties could not be shown");
}

COutlookOptionsDialog::COutlookOptionsDialog(std::function<void(HWND)> addInOptions)
    : m_addInOptions(std::move(addInOptions)) {}

int COutlookOptionsDialog::DoModal(HWND owner) {
  const std::vector<DialogItem> items = {
      {u"LISTBOX", u"", kCategoriesId, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY, 0, 7, 7, 95,
       212, 0},
      {u"STATIC", u"", kPageId, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 112, 9, 281, 40, 0},
      {u"BUTTON", u"Add-in &Options...", kAddInOptionsId, WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON, 0, 112, 54, 80, 14, 0},
      pushButton(IDOK, u"OK", 289, 226, true),
      pushButton(IDCANCEL, u"Cancel", 343, 226, false)};
  const INT_PTR result = runTemplate(owner, u"Outlook Options", 400, 247, items, dialogProc, reinterpret_cast<LPARAM>(this));
  if (result == -1) platform::diag::error("Options", "the Outlook Options dialog could not be shown");
  m_dialog = nullptr;
  return result == IDOK ? IDOK : IDCANCEL;
}

INT_PTR COutlookOptionsDialog::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    reinterpret_cast<COutlookOptionsDialog*>(lParam)->m_dialog = dialog;
  }
  auto* self = reinterpret_cast<COutlookOptionsDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self) return FALSE;
  return platform::diag::guarded("Outlook Options dialog", INT_PTR{FALSE}, [&]() -> INT_PTR {
    const HWND categories = GetDlgItem(dialog, kCategoriesId);
    switch (message) {
      case WM_INITDIALOG:
        for (const char16_t* category : kCategories)
          SendMessageW(categories, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(category));
        SendMessageW(categories, LB_SETCURSEL, 0, 0);
        self->showCategory(0);
        return TRUE;
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case IDOK:
          case IDCANCEL: EndDialog(dialog, LOWORD(wParam)); return TRUE;
          case kCategoriesId:
            if (HIWORD(wParam) != LBN_SELCHANGE) return FALSE;
            self->showCategory(static_cast<int>(SendMessageW(categories, LB_GETCURSEL, 0, 0)));
            return TRUE;
          case kAddInOptionsId:
            if (self->m_addInOptions) self->m_addInOptions(dialog);
            return TRUE;
          default: return FALSE;
        }
      default: return FALSE;
    }
  });
}

void COutlookOptionsDialog::showCategory(int row) {
  if (row < 0 || row >= static_cast<int>(std::size(kCategories))) return;
  const bool addIns = row == kAddInsCategory;
  const std::u16string text = addIns ? u"Add-in Options: the options of the add-ins Outlook has loaded."
                                     : std::u16string(kCategories[row]) + u": Outlook's own options.";
  SetWindowTextW(GetDlgItem(m_dialog, kPageId), text.c_str());
  ShowWindow(GetDlgItem(m_dialog, kAddInOptionsId), addIns ? SW_SHOW : SW_HIDE);
}

}  // namespace host
