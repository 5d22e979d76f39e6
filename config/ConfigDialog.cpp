#include "config/ConfigDialog.h"

#include <filesystem>
#include <system_error>

#include "config/EditRules.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "platform/ui/Desktop.h"
#include "resources/resource.h"

namespace {

bool& headlessAllowed() {
  static bool allowed = false;
  return allowed;
}

constexpr const char16_t* kHelpSite = u"https://www.corvessa.com/quillmark/help/";

}  // namespace

void CConfigDialog::allowHeadlessForTesting(bool allow) { headlessAllowed() = allow; }

bool CConfigDialog::canShowModal() {
  return platform::ui::currentFace() == platform::ui::Face::kGtk || headlessAllowed();
}

int CConfigDialog::DoModal(HWND owner) {
  if (!canShowModal()) {
    LOG_ERROR(u"Dialog %u cannot be shown without a display", m_templateId);
    return IDCANCEL;
  }
  const INT_PTR result = DialogBoxParamW(NGlobals::moduleInstance(), MAKEINTRESOURCEW(m_templateId), owner, dialogProc,
                                         reinterpret_cast<LPARAM>(this));
  if (result == -1) LOG_ERROR(u"Dialog %u could not be shown", m_templateId);
  return result == IDOK ? IDOK : IDCANCEL;
}

HWND CConfigDialog::CreateChild(HWND parent) {
  m_child = true;
  const HWND page = CreateDialogParamW(NGlobals::moduleInstance(), MAKEINTRESOURCEW(m_templateId), parent, dialogProc,
                                       reinterpret_cast<LPARAM>(this));
  if (!page) {
    LOG_ERROR(u"Dialog %u could not be made", m_templateId);
    return nullptr;
  }
  ShowWindow(page, SW_SHOW);
  return page;
}

INT_PTR CConfigDialog::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    reinterpret_cast<CConfigDialog*>(lParam)->m_dialog = dialog;
  }
  auto* self = reinterpret_cast<CConfigDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self) return FALSE;
  return NUtils::guarded(self->m_name, INT_PTR{FALSE}, [&] { return self->handle(message, wParam, lParam); });
}

INT_PTR CConfigDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_COMMAND: {
      const WORD id = LOWORD(wParam);
      if (m_child) return OnCommand(id, HIWORD(wParam)) ? TRUE : FALSE;
      if (id == IDOK && HIWORD(wParam) == BN_CLICKED) {
        OnOK();
        return TRUE;
      }
      if (id == IDCANCEL) {
        end(IDCANCEL);
        return TRUE;
      }
      return OnCommand(id, HIWORD(wParam)) ? TRUE : FALSE;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      LRESULT result = 0;
      if (!header || !OnNotify(*header, result)) return FALSE;
      SetWindowLongPtrW(m_dialog, DWLP_MSGRESULT, result);
      return TRUE;
    }
    case WM_HELP:
      if (const char16_t* page = helpPage()) openHelp(page);
      return TRUE;
    case WM_SIZE:
      OnSize(LOWORD(lParam), HIWORD(lParam));
      return FALSE;
    case WM_DESTROY:
      m_dialog = nullptr;
      return FALSE;
    default: return FALSE;
  }
}

quilstring CConfigDialog::itemText(int id) const {
  const HWND control = item(id);
  const int length = GetWindowTextLengthW(control);
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), length + 1)));
  return text;
}

void CConfigDialog::setItemText(int id, const quilstring& text) const { SetDlgItemTextW(m_dialog, id, text.c_str()); }

bool CConfigDialog::checked(int id) const { return IsDlgButtonChecked(m_dialog, id) == BST_CHECKED; }

void CConfigDialog::setChecked(int id, bool on) const { CheckDlgButton(m_dialog, id, on ? BST_CHECKED : BST_UNCHECKED); }

void CConfigDialog::enable(int id, bool on) const { EnableWindow(item(id), on ? TRUE : FALSE); }

void CConfigDialog::limitText(int id, int characters) const {
  SendDlgItemMessageW(m_dialog, id, EM_LIMITTEXT, static_cast<WPARAM>(characters ? characters : NConfig::kMaxSettingText), 0);
}

quilstring CConfigDialog::caption() const {
  const int length = GetWindowTextLengthW(m_dialog);
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(m_dialog, text.data(), length + 1)));
  return text;
}

int CConfigDialog::showMessage(UINT textId, UINT type, Caption captionKind, const char16_t* argument) const {
  const quilstring text = NConfig::loadText(textId, argument);
  const quilstring title = captionKind == Caption::kDialog ? caption() : NConfig::loadText(IDS_PROJNAME);
  return MessageBoxW(m_dialog, text.c_str(), title.c_str(), type);
}

void CConfigDialog::centre() const { NUtils::centreOnOwner(m_dialog); }

void CConfigDialog::openHelp(const char16_t* page) const {
  const quilstring address = NConfig::helpAddress(page);
  LOG_DEBUG(u"Opening help page %s", address.c_str());
  NUtils::shellExecute(0, u"open", address, quilstring(), quilstring());
}

namespace NConfig {

quilstring loadText(UINT id, const char16_t* argument) {
  quilstring text;
  if (argument) text.FormatResource(NGlobals::moduleInstance(), id, argument);
  else text.LoadString(NGlobals::moduleInstance(), id);
  return text;
}

quilstring helpAddress(const char16_t* page) { return quilstring(kHelpSite) + page; }

void insertColumn(HWND list, int index, const quilstring& text, int width) {
  std::u16string buffer = text;
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = LVCFMT_LEFT;
  column.cx = width;
  column.pszText = buffer.data();
  column.iSubItem = index;
  ListView_InsertColumn(list, index, &column);
}

int insertRow(HWND list, int row, const quilstring& text) {
  std::u16string buffer = text;
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = buffer.data();
  return ListView_InsertItem(list, &item);
}

void setRowText(HWND list, int row, int column, const quilstring& text) { ListView_SetItemText(list, row, column, text.c_str()); }

quilstring rowText(HWND list, int row, int column) {
  char16_t buffer[520] = {};
  ListView_GetItemText(list, row, column, buffer, 520);
  return buffer;
}

int selectedRow(HWND list) { return ListView_GetNextItem(list, -1, LVNI_SELECTED); }

void selectRow(HWND list, int row) {
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list, row, FALSE);
}

int remainingWidth(HWND list, int used) {
  RECT client{};
  GetClientRect(list, &client);
  return client.right - client.left - GetSystemMetrics(SM_CXVSCROLL) - used;
}

bool browseForTemplate(HWND dialog, int editId) {
  const HWND edit = GetDlgItem(dialog, editId);
  const int length = GetWindowTextLengthW(edit);
  std::u16string typed(static_cast<std::size_t>(length) + 1, u'\0');
  typed.resize(static_cast<std::size_t>(GetWindowTextW(edit, typed.data(), length + 1)));
  quilstring path = typed;
  std::error_code error;
  if (!path.empty() && std::filesystem::is_directory(path.toUtf8(), error) && path.back() != u'/') path += u'/';
  CSettings& settings = CSettings::instance();
  if (path.empty()) path = settings.getMRUBrowseFolder();
  if (path.empty()) path = settings.getTemplateFolder();
  static const quilstring filter(u"HTML Files (*.htm,*.html)\0*.htm;*.html", 38);
  if (!NUtils::browseForFile(filter, IDS_SELECT_TEMPLATE_TITLE, dialog, NGlobals::moduleInstance(),
                             OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY, quilstring(), path))
    return false;
  SetWindowTextW(edit, path.c_str());
  settings.setMRUBrowseFolder(folderOf(path));
  return true;
}

}  // namespace NConfig
