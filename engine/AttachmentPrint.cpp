#include "engine/AttachmentPrint.h"

#include <string>

#include <boost/make_shared.hpp>

#include "engine/Message.h"
#include "engine/PrintItem.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "platform/registry/RegKey.h"
#include "platform/shell/Shell.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/Ui.h"
#include "resources/resource.h"

namespace {

bool& headlessAllowed() {
  static bool allowed = false;
  return allowed;
}

// The shell's icon for a file of that name; the file need not exist.
HICON shellIcon(const quilstring& name, int size) {
  SHFILEINFOW info{};
  const UINT flags = SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | (size <= 16 ? SHGFI_SMALLICON : SHGFI_LARGEICON);
  if (!SHGetFileInfoW(name.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info, flags)) return nullptr;
  return info.hIcon;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The dialogs' shared part.

CAttachmentsDialog::CAttachmentsDialog(AttachmentList& attachments, bool selectAll, UINT templateId, int listId)
    : m_attachments(attachments), m_selectAll(selectAll), m_templateId(templateId), m_listId(listId) {}

CAttachmentsDialog::~CAttachmentsDialog() {
  if (m_images) ImageList_Destroy(m_images);
}

void CAttachmentsDialog::allowHeadlessForTesting(bool allow) { headlessAllowed() = allow; }

int CAttachmentsDialog::DoModal(HWND owner) {
  // Without a display only a test can act in the dialog; nobody else could end it.
  if (platform::ui::currentFace() != platform::ui::Face::kGtk && !headlessAllowed()) {
    LOG_ERROR(u"The attachments dialog %u cannot be shown without a display", m_templateId);
    return IDCANCEL;
  }
  const INT_PTR result = DialogBoxParamW(NGlobals::moduleInstance(), MAKEINTRESOURCEW(m_templateId), owner,
                                         dialogProc, reinterpret_cast<LPARAM>(this));
  if (result == -1) {
    LOG_ERROR(u"The attachments dialog %u could not be shown", m_templateId);
    return IDCANCEL;
  }
  return static_cast<int>(result);
}

INT_PTR CAttachmentsDialog::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    reinterpret_cast<CAttachmentsDialog*>(lParam)->m_dialog = dialog;
  }
  auto* self = reinterpret_cast<CAttachmentsDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self) return FALSE;
  return NUtils::guarded(u"CAttachmentsDialog", INT_PTR{FALSE}, [&] { return self->handle(message, wParam, lParam); });
}

INT_PTR CAttachmentsDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      NUtils::centreOnOwner(m_dialog);
      OnInitDialog();
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (!header || static_cast<int>(header->idFrom) != m_listId) return FALSE;
      return OnListNotify(*header) ? TRUE : FALSE;
    }
    case WM_COMMAND: {
      const WORD id = LOWORD(wParam);
      if (id == IDC_PRINT_AND_CLOSE) {
        printAndClose();
        return TRUE;
      }
      if (id == IDCANCEL) {
        close();
        return TRUE;
      }
      return OnCommand(id) ? TRUE : FALSE;
    }
    case WM_DESTROY:
      if (m_images) ImageList_Destroy(m_images);
      m_images = nullptr;
      m_dialog = nullptr;
      return TRUE;
    default: return FALSE;
  }
}

HWND CAttachmentsDialog::list() const { return GetDlgItem(m_dialog, m_listId); }

void CAttachmentsDialog::addRows(HIMAGELIST images, int iconSize) {
  const HWND rows = list();
  for (std::size_t i = 0; i < m_attachments.size(); ++i) {
    const AttachmentData& attachment = *m_attachments[i];
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    if (const HICON icon = shellIcon(attachment.name, iconSize)) {
      ImageList_AddIcon(images, icon);
      DestroyIcon(icon);
      item.mask |= LVIF_IMAGE;
      item.iImage = ImageList_GetImageCount(images) - 1;
    }
    std::u16string name = attachment.name;
    item.iItem = static_cast<int>(i);
    item.pszText = name.data();
    item.lParam = static_cast<LPARAM>(i);
    const int row = ListView_InsertItem(rows, &item);
    if (m_selectAll && row >= 0) ListView_SetItemState(rows, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
}

void CAttachmentsDialog::printRows() {
  std::vector<quilstring> failed;
  for (const int row : rowsToPrint()) {
    if (row < 0 || static_cast<std::size_t>(row) >= m_attachments.size()) continue;
    AttachmentData& attachment = *m_attachments[static_cast<std::size_t>(row)];
    if (!NAttachmentPrint::printAttachment(attachment)) failed.push_back(attachment.name);
  }
  NAttachmentPrint::reportNotPrinted(failed);
}

void CAttachmentsDialog::print() {
  printRows();
  saveView();
}

void CAttachmentsDialog::printAndClose() {
  printRows();
  EndDialog(m_dialog, 0);
  saveView();
}

void CAttachmentsDialog::close() {
  saveView();
  EndDialog(m_dialog, IDCANCEL);
}

void CAttachmentsDialog::switchView() { EndDialog(m_dialog, kSwitched); }

void CAttachmentsDialog::saveView() {
  if (m_switched) NAttachmentPrint::saveSelectionView(selectionView());
}

// ---------------------------------------------------------------------------------------------
// Dialog 112.

CquilMarkAttachmentsDialog::CquilMarkAttachmentsDialog(AttachmentList& attachments, bool selectAll)
    : CAttachmentsDialog(attachments, selectAll, IDD_ATTACHMENTS, IDC_ATTACHMENTS_LIST) {}

void CquilMarkAttachmentsDialog::OnInitDialog() {
  m_images = ImageList_Create(32, 32, ILC_COLOR24, 0, 20);
  ListView_SetImageList(list(), m_images, LVSIL_NORMAL);
  addRows(m_images, 32);
  updatePrintButtons();
}

std::vector<int> CquilMarkAttachmentsDialog::rowsToPrint() const {
  std::vector<int> rows;
  for (int row = ListView_GetNextItem(list(), -1, LVNI_SELECTED); row >= 0;
       row = ListView_GetNextItem(list(), row, LVNI_SELECTED)) {
    rows.push_back(row);
  }
  return rows;
}

bool CquilMarkAttachmentsDialog::OnListNotify(const NMHDR& header) {
  // A key changes the selection after its notification: the change itself updates too.
  if (header.code == NM_CLICK || header.code == LVN_KEYDOWN || header.code == LVN_ITEMCHANGED) {
    updatePrintButtons();
    return true;
  }
  return false;
}

bool CquilMarkAttachmentsDialog::OnCommand(WORD id) {
  switch (id) {
    case IDC_ATTACHMENTS_PRINT: print(); return true;
    case IDC_LIST_VIEW: switchView(); return true;
    default: return false;
  }
}

void CquilMarkAttachmentsDialog::updatePrintButtons() {
  const BOOL any = SendMessageW(list(), LVM_GETSELECTEDCOUNT, 0, 0) > 0 ? TRUE : FALSE;
  EnableWindow(GetDlgItem(m_dialog, IDC_ATTACHMENTS_PRINT), any);
  EnableWindow(GetDlgItem(m_dialog, IDC_PRINT_AND_CLOSE), any);
}

// ---------------------------------------------------------------------------------------------
// Dialog 135.

CDialogComplexAttachments::CDialogComplexAttachments(AttachmentList& attachments, bool selectAll)
    : CAttachmentsDialog(attachments, selectAll, IDD_COMPLEX_ATTACHMENTS, IDC_COMPLEX_LIST) {}

void CDialogComplexAttachments::OnInitDialog() {
  const HWND rows = list();
  const int size = NUtils::getOSMajorVersion() >= 6 || NUtils::isThemeActive() ? 32 : 16;
  m_images = ImageList_Create(size, size, ILC_COLOR24, 0, 20);
  ListView_SetImageList(rows, m_images, LVSIL_SMALL);
  RECT client{};
  GetClientRect(rows, &client);
  std::u16string title = NUtils::moduleString(IDS_COLUMN_MESSAGE_ATTACHMENTS);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.cx = client.right - client.left;
  column.pszText = title.data();
  ListView_InsertColumn(rows, 0, &column);
  ListView_SetExtendedListViewStyle(rows, LVS_EX_CHECKBOXES);
  addRows(m_images, size);
  if (m_selectAll) {
    for (int row = 0; row < ListView_GetItemCount(rows); ++row) ListView_SetCheckState(rows, row, TRUE);
  }
}

std::vector<int> CDialogComplexAttachments::rowsToPrint() const {
  std::vector<int> rows;
  for (int row = 0; row < ListView_GetItemCount(list()); ++row) {
    if (ListView_GetCheckState(list(), row)) rows.push_back(row);
  }
  return rows;
}

bool CDialogComplexAttachments::OnListNotify(const NMHDR& header) {
  if (header.code != NM_CLICK) return false;
  const auto& click = reinterpret_cast<const NMITEMACTIVATE&>(header);
  // A click on the label, not on the check box (which toggles itself), toggles the row.
  if (click.iItem >= 0 && click.ptAction.x >= 14) {
    ListView_SetCheckState(list(), click.iItem, ListView_GetCheckState(list(), click.iItem) ? FALSE : TRUE);
  }
  return true;
}

bool CDialogComplexAttachments::OnCommand(WORD id) {
  switch (id) {
    case IDOK: print(); return true;
    case IDC_SELECTION_VIEW: switchView(); return true;
    case IDC_SELECT_ALL:
      for (int row = 0; row < ListView_GetItemCount(list()); ++row) ListView_SetCheckState(list(), row, TRUE);
      return true;
    default: return false;
  }
}

// ---------------------------------------------------------------------------------------------
// Services.

namespace NAttachmentPrint {

bool printAttachment(AttachmentData& attachment) {
  // The file must outlive the message: the application prints it in its own time.
  attachment.temporary = false;
  if (attachment.filePath.empty()) {
    LOG_ERROR(u"The attachment %s has no file to print", attachment.name.c_str());
    return false;
  }
  return NUtils::printFile(attachment.filePath);
}

void reportNotPrinted(const std::vector<quilstring>& names) {
  if (names.empty()) return;
  quilstring list;
  for (const quilstring& name : names) list += name + u"\n";
  quilstring text;
  text.FormatResource(NGlobals::moduleInstance(), IDS_ATTACHMENTS_NOT_PRINTED, list.c_str());
  MessageBoxW(GetActiveWindow(), text.c_str(), NUtils::moduleString(IDS_LONG_PRODUCT_NAME).c_str(), MB_OK | MB_ICONERROR);
}

bool saveSelectionView(bool selectionView) {
  CSettings& settings = CSettings::instance();
  settings.setAttachmentsSelectionView(selectionView);
  // The value is read from the user's key first only when users may change settings.
  HKEY hive = HKEY_CURRENT_USER;
  if (!settings.getAllowUsersToModify()) {
    if (!settings.isMachineKeyWritable()) {
      LOG_DEBUG(u"Attachments Selection View kept for this session only: the settings cannot be changed");
      return false;
    }
    hive = HKEY_LOCAL_MACHINE;
  }
  CRegKey key;
  LONG rc = key.Create(hive, kProductKey, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE);
  if (rc == ERROR_SUCCESS) rc = key.SetDWORDValue(u"Attachments Selection View", selectionView ? 1 : 0);
  const LONG closed = key.Close();
  if (rc == ERROR_SUCCESS) rc = closed;
  if (rc != ERROR_SUCCESS) {
    CSettings::logRegistryError(rc, u"Could not save the Attachments Selection View -- reason: %s");
    return false;
  }
  return true;
}

int showAttachmentsDialog(AttachmentList& attachments, bool selectAll, bool selectionView, HWND owner) {
  bool switched = false;
  for (;;) {
    std::unique_ptr<CAttachmentsDialog> dialog;
    if (selectionView) dialog = std::make_unique<CquilMarkAttachmentsDialog>(attachments, selectAll);
    else dialog = std::make_unique<CDialogComplexAttachments>(attachments, selectAll);
    dialog->setSwitched(switched);
    const int result = dialog->DoModal(owner);
    if (result != CAttachmentsDialog::kSwitched) return result;
    // The first dialog has gone; the other opens in its place.
    selectionView = !selectionView;
    switched = true;
  }
}

int showAttachmentsDialog(AttachmentList& attachments, bool selectAll, HWND owner) {
  return showAttachmentsDialog(attachments, selectAll, CSettings::instance().getAttachmentsSelectionView(), owner);
}

bool printAttachmentsOfItems(const std::vector<std::shared_ptr<COutlookItem>>& items, HWND owner) {
  bool shown = false;
  NUtils::guardedAs(u"Exception caught printing the attachments of the window's items", [&] {
    std::vector<CMessagePtr> messages;
    AttachmentList combined;
    for (const auto& item : items) {
      if (!item) continue;
      messages.push_back(boost::make_shared<CMessage>(item->getDispatch()));
      const AttachmentList& attachments = messages.back()->getAttachments();
      combined.insert(combined.end(), attachments.begin(), attachments.end());
    }
    showAttachmentsDialog(combined, false, owner);
    shown = true;
  });
  return shown;
}

int modeOfPrintOperation(DWORD printOperation) {
  switch (printOperation) {
    case 0: return kModePrintWithPrompt;
    case 1: return kModePreview;
    case 2: return kModePrint;
    default: return 0;
  }
}

bool printWithCustomButton(const CustomButton& button, IDispatch* item, const ItemPrinter& printItem, HWND owner) {
  CPrintInfo job(item);
  const ActionDetail& action = button.action;
  bool printed = true;
  if (action.templateEnabled) {
    const int mode = modeOfPrintOperation(button.printOperation);
    if (mode == 0) {
      // A mode the printer does not know would fail without a word; say why instead.
      LOG_ERROR(u"The custom button %s has the print operation %lu, not one of 0 to 2; nothing printed",
                button.displayName.c_str(), static_cast<unsigned long>(button.printOperation));
      CPrintItem(job).reportToUser(kStatusEligible);
      return false;
    }
    quilstring templatePath;
    if (!button.showTemplateSelectionDialog) {
      templatePath = action.useOutlookTemplate ? CSettings::instance().getDefaultTemplatePath() : action.printingTemplate;
    }
    job.setRange(action.printOptions);
    printed = printItem(job, mode, templatePath);
    if (!printed) return false;
  }

  const CMessagePtr message = job.getItem();
  if (!action.attachmentEnabled || !message) return printed;
  AttachmentList kept;
  for (const AttachmentDataPtr& attachment : message->getAttachments()) {
    if (NUtils::printAttachment(attachment->name, action.attachmentState, action.attachmentString))
      kept.push_back(attachment);
  }
  if (kept.empty()) return printed;
  if (button.showAttachmentDialog) {
    showAttachmentsDialog(kept, button.selectAttachments, owner);
    return printed;
  }
  std::vector<quilstring> failed;
  for (const AttachmentDataPtr& attachment : kept) {
    LOG_DEBUG(u"Autoprinting Attachment: %s", attachment->name.c_str());
    if (!printAttachment(*attachment)) failed.push_back(attachment->name);
  }
  reportNotPrinted(failed);
  return printed;
}

}  // namespace NAttachmentPrint
