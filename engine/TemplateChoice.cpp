#include "engine/TemplateChoice.h"

#include <string>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/loop/MessageLoop.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/Ui.h"
#include "resources/resource.h"

namespace {

constexpr int kNameColumnWidth = 280;
constexpr const char16_t* kHelpAddress = u"https://www.corvessa.com/quillmark/help/printing.htm";

std::function<void(HWND)>& headlessDriver() {
  static std::function<void(HWND)> driver;
  return driver;
}

void insertColumn(HWND list, int index, const quilstring& text, int width) {
  std::u16string buffer = text;
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.cx = width;
  column.pszText = buffer.data();
  column.iSubItem = index;
  ListView_InsertColumn(list, index, &column);
}

}  // namespace

CDialogTemplateSelection::CDialogTemplateSelection(const std::vector<TemplateDetail>* candidates)
    : m_candidates(candidates) {}

void CDialogTemplateSelection::setHeadlessDriverForTesting(std::function<void(HWND dialog)> driver) {
  headlessDriver() = std::move(driver);
}

quilstring CDialogTemplateSelection::rowText(const TemplateDetail& record) {
  return record.displayName + u" (" + NUtils::moduleString(record.isFolder ? IDS_VIEW_TYPE_MULTI_ITEM : IDS_VIEW_TYPE_MEMO) + u")";
}

int CDialogTemplateSelection::DoModal(HWND owner) {
  m_allRows = false;
  if (!m_candidates || m_candidates->empty()) return IDCANCEL;
  // Without a display only a test can act in the dialog; nobody else could end it.
  if (platform::ui::currentFace() != platform::ui::Face::kGtk && !headlessDriver()) return askThroughPrompts(owner);
  const INT_PTR result = DialogBoxParamW(NGlobals::moduleInstance(), MAKEINTRESOURCEW(IDD_TEMPLATE_SELECTION), owner,
                                         dialogProc, reinterpret_cast<LPARAM>(this));
  if (result == -1) LOG_ERROR(u"The template selection dialog could not be shown");
  return result == IDOK ? IDOK : IDCANCEL;
}

INT_PTR CDialogTemplateSelection::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto* self = reinterpret_cast<CDialogTemplateSelection*>(lParam);
    self->m_dialog = dialog;
    return self->OnInitDialog();
  }
  auto* self = reinterpret_cast<CDialogTemplateSelection*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self) return FALSE;
  switch (message) {
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (!header || header->idFrom != IDC_SELECTION_LIST) return FALSE;
      if (header->code == NM_CLICK || header->code == LVN_ITEMCHANGED) {
        self->updateControls();
      } else if (header->code == NM_DBLCLK) {
        self->accept();
      }
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: self->accept(); return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
      }
    case WM_HELP:
      LOG_DEBUG(u"Opening help page %s", kHelpAddress);
      NUtils::shellExecute(0, u"open", kHelpAddress, quilstring(), quilstring());
      return TRUE;
    case WM_DESTROY:
      if (self->m_images) ImageList_Destroy(self->m_images);
      self->m_images = nullptr;
      self->m_dialog = nullptr;
      return TRUE;
    default: return FALSE;
  }
}

BOOL CDialogTemplateSelection::OnInitDialog() {
  NUtils::centreOnOwner(m_dialog);
  CheckRadioButton(m_dialog, IDC_ALL_ROWS, IDC_SELECTED_ROWS, IDC_SELECTED_ROWS);
  const HWND list = GetDlgItem(m_dialog, IDC_SELECTION_LIST);
  m_images = ImageList_Create(16, 16, ILC_COLOR24, 0, 20);
  ListView_SetImageList(list, m_images, LVSIL_SMALL);
  RECT client{};
  GetClientRect(list, &client);
  insertColumn(list, 0, NUtils::moduleString(IDS_COLUMN_QUILLMARK_TEMPLATE), kNameColumnWidth);
  insertColumn(list, 1, NUtils::moduleString(IDS_COLUMN_SELECTION_VIEW_TYPE),
               client.right - client.left - kNameColumnWidth - GetSystemMetrics(SM_CXVSCROLL));
  for (std::size_t i = 0; i < m_candidates->size(); ++i) {
    const TemplateDetail& record = (*m_candidates)[i];
    std::u16string name = record.displayName;
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = static_cast<int>(i);
    item.pszText = name.data();
    item.lParam = static_cast<LPARAM>(i);
    const int row = ListView_InsertItem(list, &item);
    std::u16string viewType = NUtils::moduleString(record.isFolder ? IDS_VIEW_TYPE_MULTI_ITEM : IDS_VIEW_TYPE_MEMO);
    ListView_SetItemText(list, row, 1, viewType.data());
  }
  SetFocus(list);
  ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list, 0, FALSE);
  updateControls();
  if (headlessDriver() && platform::ui::currentFace() != platform::ui::Face::kGtk) {
    platform::loop::post([driver = headlessDriver(), dialog = m_dialog] {
      if (IsWindow(dialog)) driver(dialog);
    });
  }
  return FALSE;  // the focus is set
}

void CDialogTemplateSelection::updateControls() {
  const int row = ListView_GetNextItem(GetDlgItem(m_dialog, IDC_SELECTION_LIST), -1, LVNI_SELECTED);
  EnableWindow(GetDlgItem(m_dialog, IDOK), row >= 0);
  if (row < 0) return;
  const BOOL multiItem = (*m_candidates)[static_cast<std::size_t>(row)].isFolder ? TRUE : FALSE;
  for (int id : {IDC_MULTI_ITEM_GROUP, IDC_SELECTED_ROWS, IDC_ALL_ROWS}) EnableWindow(GetDlgItem(m_dialog, id), multiItem);
}

void CDialogTemplateSelection::accept() {
  const int row = ListView_GetNextItem(GetDlgItem(m_dialog, IDC_SELECTION_LIST), -1, LVNI_SELECTED);
  if (row < 0 || static_cast<std::size_t>(row) >= m_candidates->size()) return;
  m_chosen = (*m_candidates)[static_cast<std::size_t>(row)];
  m_allRows = IsDlgButtonChecked(m_dialog, IDC_ALL_ROWS) == BST_CHECKED;
  EndDialog(m_dialog, IDOK);
}

int CDialogTemplateSelection::askThroughPrompts(HWND owner) {
  platform::ui::ChoiceRequest request;
  request.owner = owner;
  request.title = kCaption;
  request.prompt = kPrompt;
  for (const TemplateDetail& record : *m_candidates) request.options.push_back(rowText(record));
  request.defaultIndex = 0;
  const int row = platform::ui::defaultUi().choose(request);
  if (row < 0 || static_cast<std::size_t>(row) >= m_candidates->size()) return IDCANCEL;
  const TemplateDetail& record = (*m_candidates)[static_cast<std::size_t>(row)];

  // The row options only mean something for a template that lists several items.
  bool allRows = false;
  if (record.isFolder) {
    platform::ui::ChoiceRequest rows;
    rows.owner = owner;
    rows.title = kCaption;
    rows.prompt = kMultiItemOptions;
    rows.options = {kPrintSelectedRows, kPrintAllRows};
    rows.defaultIndex = 0;
    const int answer = platform::ui::defaultUi().choose(rows);
    if (answer != 0 && answer != 1) return IDCANCEL;
    allRows = answer == 1;
  }
  m_chosen = record;
  m_allRows = allRows;
  return IDOK;
}
