#include "config/TemplateListDialogs.h"

#include <boost/make_shared.hpp>

#include "config/EditRules.h"
#include "config/PrintOptionsDialogs.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "resources/resource.h"

namespace {

constexpr int kDisplayNameWidth = 220;
constexpr int kTemplateNameWidth = 150;

bool isDefaultClass(const quilstring& messageClass) { return NUtils::equalsNoCase(messageClass, kDefaultMessageClass); }

void showTemplateRow(HWND list, int row, const TemplateDetail& detail) {
  const quilstring file = NConfig::fileNameOf(detail.printingTemplate);
  NConfig::setRowText(list, row, 0, detail.displayName.empty() ? file : detail.displayName);
  NConfig::setRowText(list, row, 1, file);
  NConfig::setRowText(list, row, 2, NConfig::loadText(detail.isFolder ? IDS_VIEW_TYPE_MULTI_ITEM : IDS_VIEW_TYPE_MEMO));
}

}  // namespace

// ------------------------------------------------------------------------------------------------
// Dialog 118

CDialogQuillMarkTemplates::CDialogQuillMarkTemplates() : CDialogQuillMarkTemplates(quilstring(), nullptr) {}

CDialogQuillMarkTemplates::CDialogQuillMarkTemplates(const quilstring& messageClass, MessageClassSettingsPtr settings)
    : CConfigDialog(IDD_TEMPLATES, u"CDialogQuillMarkTemplates"),
      m_class(messageClass),
      m_settings(std::move(settings)),
      m_list(m_templates, showTemplateRow) {}

CDialogQuillMarkTemplates::~CDialogQuillMarkTemplates() {
  if (m_icon) DestroyIcon(m_icon);
}

BOOL CDialogQuillMarkTemplates::OnInitDialog() {
  m_list.attach(item(IDC_TEMPLATE_LIST));
  if (!m_settings) m_settings = boost::make_shared<MessageClassSettings>();
  m_templates = m_settings->templates;
  enable(IDC_CLASS_EDIT, false);
  if (!m_class.empty()) {
    showClass();
    setItemText(IDC_CLASS_EDIT, isDefaultClass(m_class) ? NConfig::loadText(IDS_DEFAULT_CLASS) : m_class);
    enable(IDC_CHANGE_CLASS, false);
  } else {
    SetWindowTextW(window(), NConfig::loadText(IDS_ADD_SUPPORTED_ITEM).c_str());
  }
  const HWND list = m_list.list();
  NConfig::insertColumn(list, 0, NConfig::loadText(IDS_COLUMN_DISPLAY_NAME), kDisplayNameWidth);
  NConfig::insertColumn(list, 1, NConfig::loadText(IDS_COLUMN_TEMPLATE_NAME), kTemplateNameWidth);
  NConfig::insertColumn(list, 2, NConfig::loadText(IDS_COLUMN_VIEW_TYPE),
                        NConfig::remainingWidth(list, kDisplayNameWidth + kTemplateNameWidth));
  m_list.fill();
  centre();
  return TRUE;
}

// The class's icon and the caption naming its form.
void CDialogQuillMarkTemplates::showClass() {
  quilstring displayName;
  HICON icon = nullptr;
  NUtils::getMessageClassData(CSettings::instance().getFormMgr(), m_class, displayName, icon, false);
  SendDlgItemMessageW(window(), IDC_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  if (m_icon) DestroyIcon(m_icon);
  m_icon = icon;
  SetWindowTextW(window(), (NConfig::loadText(IDS_EDIT_CAPTION) + u": " + displayName).c_str());
}

bool CDialogQuillMarkTemplates::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_CHANGE_CLASS: {
      CAddOutlookItem chooser;
      if (chooser.DoModal(window()) != IDOK) return true;
      m_class = chooser.getClass();
      setItemText(IDC_CLASS_EDIT, m_class);
      showClass();
      return true;
    }
    case IDC_TEMPLATE_ADD: addTemplate(); return true;
    case IDC_TEMPLATE_EDIT: editTemplate(); return true;
    case IDC_TEMPLATE_REMOVE: removeTemplate(); return true;
    case IDC_ONLINE_HELP: openHelp(NConfig::kHelpTemplates); return true;
    default: return false;
  }
}

bool CDialogQuillMarkTemplates::OnNotify(const NMHDR& header, LRESULT& result) {
  result = 0;
  if (header.idFrom == IDC_TEMPLATE_LIST && header.code == NM_DBLCLK) {
    editTemplate();
    return true;
  }
  if (header.idFrom == IDC_TEMPLATE_LIST && header.code == LVN_KEYDOWN) {
    if (reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_DELETE) removeTemplate();
    return true;
  }
  if (header.idFrom == IDC_TEMPLATE_UPDOWN && header.code == UDN_DELTAPOS) {
    m_list.move(reinterpret_cast<const NMUPDOWN&>(header).iDelta);
    return true;
  }
  return false;
}

void CDialogQuillMarkTemplates::addTemplate() {
  CDialogQuillMarkTemplate dialog;
  if (dialog.DoModal(window()) == IDOK) m_list.append(dialog.getDetail());
}

void CDialogQuillMarkTemplates::editTemplate() {
  const int row = m_list.selected();
  if (row < 0) return;
  CDialogQuillMarkTemplate dialog(m_templates[static_cast<std::size_t>(row)]);
  if (dialog.DoModal(window()) == IDOK) m_list.replace(row, dialog.getDetail());
}

void CDialogQuillMarkTemplates::removeTemplate() {
  const int row = m_list.selected();
  if (row < 0) return;
  if (showMessage(IDS_CONFIRM_REMOVE_TEMPLATE, MB_OKCANCEL | MB_ICONQUESTION, Caption::kProduct,
                  m_templates[static_cast<std::size_t>(row)].displayName.c_str()) == IDOK)
    m_list.remove(row);
}

void CDialogQuillMarkTemplates::OnOK() {
  const quilstring shown = itemText(IDC_CLASS_EDIT);
  if (!NConfig::isValidMessageClass(shown)) {
    const bool blank = shown.find_first_not_of(u" \t") == quilstring::npos;
    showMessage(blank ? IDS_ENTER_MESSAGE_CLASS : IDS_INVALID_MESSAGE_CLASS, MB_ICONEXCLAMATION, Caption::kDialog);
    return;
  }
  m_resultClass = shown;
  m_settings->templates = m_templates;
  end(IDOK);
}

// ------------------------------------------------------------------------------------------------
// Dialog 113

CAddOutlookItem::CAddOutlookItem() : CConfigDialog(IDD_ADD_OUTLOOK_ITEM, u"CAddOutlookItem") {}

CAddOutlookItem::~CAddOutlookItem() {
  if (m_images) ImageList_Destroy(m_images);
}

const std::vector<quilstring>& CAddOutlookItem::standardClasses() {
  static const std::vector<quilstring> classes{u"IPM.Note",    u"IPM.Appointment", u"IPM.Contact",
                                               u"IPM.DistList", u"IPM.Activity",    u"IPM.Schedule.Meeting.Request",
                                               u"IPM.StickyNote", u"IPM.Post",      u"IPM.TaskRequest"};
  return classes;
}

BOOL CAddOutlookItem::OnInitDialog() {
  const HWND list = item(IDC_STANDARD_LIST);
  if (m_images) ImageList_Destroy(m_images);
  m_images = ImageList_Create(32, 32, ILC_COLOR24, 0, 20);
  ListView_SetImageList(list, m_images, LVSIL_NORMAL);
  IMAPIFormMgr* forms = CSettings::instance().getFormMgr();
  for (const quilstring& messageClass : standardClasses()) {
    quilstring displayName;
    HICON icon = nullptr;
    NUtils::getMessageClassData(forms, messageClass, displayName, icon, false);
    if (icon) {
      ImageList_AddIcon(m_images, icon);
      DestroyIcon(icon);
    }
    std::u16string text = displayName;
    LVITEMW row{};
    row.mask = LVIF_TEXT | LVIF_IMAGE;
    row.iItem = ListView_GetItemCount(list);
    row.pszText = text.data();
    row.iImage = ImageList_GetImageCount(m_images) - 1;
    ListView_InsertItem(list, &row);
  }
  limitText(IDC_CUSTOM_CLASS_EDIT, static_cast<int>(NConfig::kMaxClassName));
  CheckRadioButton(window(), IDC_STANDARD_ITEMS, IDC_CUSTOM_CLASS, IDC_STANDARD_ITEMS);
  NConfig::selectRow(list, 0);
  setMode(1);
  return TRUE;
}

void CAddOutlookItem::setMode(int mode) {
  m_mode = mode;
  enable(IDC_STANDARD_LIST, mode == 1);
  enable(IDC_CUSTOM_CLASS_EDIT, mode == 2);
  updateOk();
}

void CAddOutlookItem::updateOk() {
  const bool ok = m_mode == 1 ? NConfig::selectedRow(item(IDC_STANDARD_LIST)) >= 0
                              : GetWindowTextLengthW(item(IDC_CUSTOM_CLASS_EDIT)) > 0;
  enable(IDOK, ok);
}

bool CAddOutlookItem::OnCommand(WORD id, WORD code) {
  if (id == IDC_STANDARD_ITEMS && code == BN_CLICKED) setMode(1);
  else if (id == IDC_CUSTOM_CLASS && code == BN_CLICKED) setMode(2);
  else if (id == IDC_CUSTOM_CLASS_EDIT && (code == EN_UPDATE || code == EN_CHANGE)) updateOk();
  else return false;
  return true;
}

bool CAddOutlookItem::OnNotify(const NMHDR& header, LRESULT& result) {
  result = 0;
  if (header.idFrom != IDC_STANDARD_LIST) return false;
  if (header.code == NM_CLICK || header.code == LVN_KEYDOWN || header.code == LVN_ITEMCHANGED) {
    updateOk();
  } else if (header.code == NM_DBLCLK) {
    if (m_mode == 1 && NConfig::selectedRow(item(IDC_STANDARD_LIST)) >= 0) OnOK();
  } else {
    return false;
  }
  return true;
}

void CAddOutlookItem::OnOK() {
  if (m_mode == 2) {
    const quilstring typed = itemText(IDC_CUSTOM_CLASS_EDIT);
    if (!NConfig::isValidMessageClass(typed)) {
      showMessage(IDS_INVALID_MESSAGE_CLASS, MB_ICONEXCLAMATION, Caption::kDialog);
      return;
    }
    m_class = typed;
  } else {
    const HWND list = item(IDC_STANDARD_LIST);
    const int row = NConfig::selectedRow(list);
    if (row < 0 || static_cast<std::size_t>(row) >= standardClasses().size()) return;
    m_displayText = NConfig::rowText(list, row);
    m_class = standardClasses()[static_cast<std::size_t>(row)];
  }
  end(IDOK);
}

// ------------------------------------------------------------------------------------------------
// Dialog 119

CDialogQuillMarkTemplate::CDialogQuillMarkTemplate() : CDialogQuillMarkTemplate(TemplateDetail{}) {}

CDialogQuillMarkTemplate::CDialogQuillMarkTemplate(const TemplateDetail& detail)
    : CConfigDialog(IDD_TEMPLATE, u"CDialogQuillMarkTemplate"), m_detail(detail) {}

BOOL CDialogQuillMarkTemplate::OnInitDialog() {
  SHAutoComplete(item(IDC_TEMPLATE_PATH), SHACF_FILESYSTEM | SHACF_USETAB);
  limitText(IDC_TEMPLATE_NAME);
  limitText(IDC_TEMPLATE_PATH);
  SetWindowTextW(window(), (m_detail.displayName.empty()
                                ? NConfig::loadText(IDS_NEW_TEMPLATE_CAPTION)
                                : NConfig::loadText(IDS_EDIT_TEMPLATE_CAPTION, m_detail.displayName.c_str()))
                               .c_str());
  setItemText(IDC_TEMPLATE_NAME, m_detail.displayName);
  setItemText(IDC_TEMPLATE_PATH, m_detail.printingTemplate);
  CheckRadioButton(window(), IDC_MEMO_STYLE, IDC_MULTI_ITEM, m_detail.isFolder ? IDC_MULTI_ITEM : IDC_MEMO_STYLE);
  centre();
  return TRUE;
}

bool CDialogQuillMarkTemplate::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_BROWSE: NConfig::browseForTemplate(window(), IDC_TEMPLATE_PATH); return true;
    case IDC_MEMO_STYLE: m_detail.isFolder = 0; return true;
    case IDC_MULTI_ITEM: m_detail.isFolder = 1; return true;
    case IDC_PRINT_OPTIONS: {
      CDialogPrintOptions dialog(m_detail.printOptions);
      if (dialog.DoModal(window()) == IDOK) m_detail.printOptions = dialog.getOptions();
      return true;
    }
    case IDC_PAGE_SETUP: {
      // The path as the edit shows it now, typed or browsed.
      const quilstring path = itemText(IDC_TEMPLATE_PATH);
      if (!CDialogPageSetup::hasTemplateName(path)) {
        showMessage(IDS_CONFIGURE_PRINT_TEMPLATE, MB_ICONEXCLAMATION, Caption::kDialog);
        return true;
      }
      CDialogPageSetup(path).DoModal(window());
      return true;
    }
    case IDC_ONLINE_HELP: openHelp(NConfig::kHelpTemplates); return true;
    default: return false;
  }
}

void CDialogQuillMarkTemplate::OnOK() {
  m_detail.displayName = itemText(IDC_TEMPLATE_NAME);
  m_detail.printingTemplate = itemText(IDC_TEMPLATE_PATH);
  if (m_detail.printingTemplate.empty()) {
    showMessage(IDS_TEMPLATE_REQUIRED, MB_ICONEXCLAMATION, Caption::kDialog);
    return;
  }
  end(IDOK);
}

// ------------------------------------------------------------------------------------------------

int CTemplateListDialog::DoModal(HWND owner, const quilstring& messageClass, const MessageClassSettingsPtr& settings) {
  CDialogQuillMarkTemplates dialog(messageClass, settings);
  return dialog.DoModal(owner);
}
