#include "config/AutoprintDialogs.h"

#include "config/EditRules.h"
#include "config/PrintOptionsDialogs.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "resources/resource.h"

namespace {

constexpr int kActionListReserve = 100;

void showActionRow(HWND list, int row, const ActionDetail& action) { NConfig::setRowText(list, row, 0, action.displayName); }

}  // namespace

// ------------------------------------------------------------------------------------------------
// Dialog 129

CDialogAutoprintSettings::CDialogAutoprintSettings(const AutoprintSettings& settings)
    : CConfigDialog(IDD_AUTOPRINT_SETTINGS, u"CDialogAutoprintSettings"),
      m_actions(settings.actions),
      m_seconds(settings.numSeconds),
      m_list(m_actions, showActionRow) {}

BOOL CDialogAutoprintSettings::OnInitDialog() {
  m_list.attach(item(IDC_ACTION_LIST));
  NConfig::insertColumn(m_list.list(), 0, NConfig::loadText(IDS_AUTOPRINT_ACTIONS),
                        NConfig::remainingWidth(m_list.list(), kActionListReserve));
  m_list.fill();
  quilstring seconds;
  seconds.Format(u"%u", m_seconds);
  setItemText(IDC_SECONDS, seconds);
  centre();
  return TRUE;
}

bool CDialogAutoprintSettings::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_ACTION_ADD: addAction(); return true;
    case IDC_ACTION_EDIT: editAction(); return true;
    case IDC_ACTION_REMOVE: removeAction(); return true;
    case IDC_ONLINE_HELP: openHelp(NConfig::kHelpConfiguration); return true;
    default: return false;
  }
}

bool CDialogAutoprintSettings::OnNotify(const NMHDR& header, LRESULT& result) {
  result = 0;
  if (header.idFrom == IDC_ACTION_LIST && header.code == NM_DBLCLK) {
    editAction();
    return true;
  }
  if (header.idFrom == IDC_ACTION_LIST && header.code == LVN_KEYDOWN) {
    if (reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_DELETE) removeAction();
    return true;
  }
  if (header.idFrom == IDC_ACTION_UPDOWN && header.code == UDN_DELTAPOS) {
    m_list.move(reinterpret_cast<const NMUPDOWN&>(header).iDelta);
    return true;
  }
  return false;
}

void CDialogAutoprintSettings::addAction() {
  CDialogQuillmarkAction dialog;
  if (dialog.DoModal(window()) == IDOK) m_list.append(dialog.getAction());
}

void CDialogAutoprintSettings::editAction() {
  const int row = m_list.selected();
  if (row < 0) return;
  CDialogQuillmarkAction dialog(m_actions[static_cast<std::size_t>(row)]);
  if (dialog.DoModal(window()) == IDOK) m_list.replace(row, dialog.getAction());
}

void CDialogAutoprintSettings::removeAction() {
  const int row = m_list.selected();
  if (row < 0) return;
  if (showMessage(IDS_CONFIRM_REMOVE_ACTION, MB_OKCANCEL | MB_ICONQUESTION, Caption::kProduct,
                  m_actions[static_cast<std::size_t>(row)].displayName.c_str()) == IDOK)
    m_list.remove(row);
}

void CDialogAutoprintSettings::OnOK() {
  const auto seconds = NConfig::parseBoundedNumber(itemText(IDC_SECONDS), kMaxSeconds);
  if (!seconds) {
    showMessage(IDS_INVALID_ATTACHMENT_SECONDS, MB_ICONERROR, Caption::kProduct);
    SetFocus(item(IDC_SECONDS));
    return;
  }
  m_seconds = *seconds;
  end(IDOK);
}

// ------------------------------------------------------------------------------------------------
// Dialog 133

CDialogQuillmarkAction::CDialogQuillmarkAction() : CDialogQuillmarkAction(ActionDetail{}) {}

CDialogQuillmarkAction::CDialogQuillmarkAction(const ActionDetail& action, bool nameEditable)
    : CConfigDialog(IDD_ACTION, u"CDialogQuillmarkAction"), m_action(action), m_nameEditable(nameEditable) {}

BOOL CDialogQuillmarkAction::OnInitDialog() {
  setChecked(IDC_ENABLE_ITEM, m_action.templateEnabled);
  setChecked(IDC_ENABLE_ATTACHMENTS, m_action.attachmentEnabled);
  SHAutoComplete(item(IDC_ACTION_TEMPLATE), SHACF_FILESYSTEM | SHACF_USETAB);
  for (int id : {IDC_ACTION_TEMPLATE, IDC_ATTACHMENT_TYPES, IDC_ACTION_NAME}) limitText(id);
  setItemText(IDC_ACTION_TEMPLATE, m_action.printingTemplate);
  setItemText(IDC_ATTACHMENT_TYPES, m_action.attachmentString);
  setItemText(IDC_ACTION_NAME, m_action.displayName);
  enable(IDC_ACTION_NAME, m_nameEditable);
  const int state = m_action.attachmentState == 2 ? IDC_SPECIFIED_TYPES
                    : m_action.attachmentState == 3 ? IDC_ALL_EXCEPT_TYPES
                                                    : IDC_ALL_TYPES;
  for (int id : {IDC_ALL_TYPES, IDC_SPECIFIED_TYPES, IDC_ALL_EXCEPT_TYPES}) setChecked(id, id == state);
  setChecked(IDC_OUTLOOK_LAYOUT, m_action.useOutlookTemplate);
  setChecked(IDC_TEMPLATE_LAYOUT, !m_action.useOutlookTemplate);
  updateEnabling();
  return TRUE;
}

// Each section's controls follow its check box; the template path only matters for the template
// layout, the type list only for the listed states.
void CDialogQuillmarkAction::updateEnabling() {
  const bool itemOn = checked(IDC_ENABLE_ITEM);
  for (int id : {IDC_ACTION_PAGE_SETUP, IDC_PRINT_OPTIONS, IDC_OUTLOOK_LAYOUT, IDC_TEMPLATE_LAYOUT}) enable(id, itemOn);
  const bool templateOn = itemOn && checked(IDC_TEMPLATE_LAYOUT);
  enable(IDC_ACTION_TEMPLATE, templateOn);
  enable(IDC_BROWSE, templateOn);
  const bool attachmentsOn = checked(IDC_ENABLE_ATTACHMENTS);
  for (int id : {IDC_ALL_TYPES, IDC_SPECIFIED_TYPES, IDC_ALL_EXCEPT_TYPES}) enable(id, attachmentsOn);
  enable(IDC_ATTACHMENT_TYPES, attachmentsOn && (checked(IDC_SPECIFIED_TYPES) || checked(IDC_ALL_EXCEPT_TYPES)));
}

bool CDialogQuillmarkAction::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_ENABLE_ITEM:
    case IDC_ENABLE_ATTACHMENTS:
    case IDC_OUTLOOK_LAYOUT:
    case IDC_TEMPLATE_LAYOUT:
    case IDC_ALL_TYPES:
    case IDC_SPECIFIED_TYPES:
    case IDC_ALL_EXCEPT_TYPES: updateEnabling(); return true;
    case IDC_BROWSE: NConfig::browseForTemplate(window(), IDC_ACTION_TEMPLATE); return true;
    case IDC_PRINT_OPTIONS: {
      CDialogPrintOptions dialog(m_action.printOptions);
      if (dialog.DoModal(window()) == IDOK) m_action.printOptions = dialog.getOptions();
      return true;
    }
    case IDC_ACTION_PAGE_SETUP: openPageSetup(); return true;
    case IDC_ACTION_HELP: openHelp(NConfig::kHelpAction); return true;
    default: return false;
  }
}

void CDialogQuillmarkAction::openPageSetup() {
  // The Outlook-style layout prints with the default template; else the path as the edit shows it.
  const quilstring path =
      checked(IDC_OUTLOOK_LAYOUT) ? CSettings::instance().getDefaultTemplatePath() : itemText(IDC_ACTION_TEMPLATE);
  if (!CDialogPageSetup::hasTemplateName(path)) {
    showMessage(IDS_CONFIGURE_PRINT_TEMPLATE, MB_ICONEXCLAMATION, Caption::kDialog);
    return;
  }
  CDialogPageSetup(path).DoModal(window());
}

void CDialogQuillmarkAction::OnOK() {
  m_action.templateEnabled = checked(IDC_ENABLE_ITEM);
  m_action.attachmentEnabled = checked(IDC_ENABLE_ATTACHMENTS);
  m_action.attachmentState = checked(IDC_SPECIFIED_TYPES) ? 2 : checked(IDC_ALL_EXCEPT_TYPES) ? 3 : 1;
  m_action.useOutlookTemplate = checked(IDC_OUTLOOK_LAYOUT);
  m_action.displayName = itemText(IDC_ACTION_NAME);
  m_action.printingTemplate = itemText(IDC_ACTION_TEMPLATE);
  m_action.attachmentString = itemText(IDC_ATTACHMENT_TYPES);
  if (m_action.displayName.empty()) {
    showMessage(IDS_AUTOPRINT_NAME_REQUIRED, MB_ICONEXCLAMATION, Caption::kDialog);
    return;
  }
  // An item printed with a template needs the template: without it nothing would print.
  if (m_action.templateEnabled && !m_action.useOutlookTemplate && m_action.printingTemplate.empty()) {
    showMessage(IDS_TEMPLATE_REQUIRED, MB_ICONEXCLAMATION, Caption::kDialog);
    return;
  }
  end(IDOK);
}

// ------------------------------------------------------------------------------------------------
// Dialog 130

CDialogActionSelection::CDialogActionSelection() : CConfigDialog(IDD_ACTION_SELECTION, u"CDialogActionSelection") {}

BOOL CDialogActionSelection::OnInitDialog() {
  const HWND list = item(IDC_ACTION_CHOICE_LIST);
  NConfig::insertColumn(list, 0, NConfig::loadText(IDS_AUTOPRINT_ACTIONS), NConfig::remainingWidth(list, 0));
  m_settings = CSettings::instance().getSettingsData();
  fillList();
  centre();
  return TRUE;
}

void CDialogActionSelection::fillList() {
  const HWND list = item(IDC_ACTION_CHOICE_LIST);
  ListView_DeleteAllItems(list);
  for (std::size_t i = 0; i < m_settings.autoprint.actions.size(); ++i)
    NConfig::insertRow(list, static_cast<int>(i), m_settings.autoprint.actions[i].displayName);
}

bool CDialogActionSelection::OnCommand(WORD id, WORD code) {
  if (id != IDC_EDIT_SETTINGS || code != BN_CLICKED) return false;
  CDialogAutoprintSettings dialog(m_settings.autoprint);
  if (dialog.DoModal(window()) == IDOK) {
    m_settings.autoprint.actions = dialog.getActions();
    m_settings.autoprint.numSeconds = dialog.getSeconds();
    m_edited = true;
    fillList();
  }
  return true;
}

bool CDialogActionSelection::OnNotify(const NMHDR& header, LRESULT& result) {
  result = 0;
  if (header.idFrom != IDC_ACTION_CHOICE_LIST || header.code != NM_DBLCLK) return false;
  OnOK();
  return true;
}

void CDialogActionSelection::OnOK() {
  const int row = NConfig::selectedRow(item(IDC_ACTION_CHOICE_LIST));
  const auto& actions = m_settings.autoprint.actions;
  m_chosenName = row >= 0 && static_cast<std::size_t>(row) < actions.size() ? actions[static_cast<std::size_t>(row)].displayName
                                                                            : quilstring();
  if (m_chosenName.empty()) {
    showMessage(IDS_SELECT_AUTOPRINT_ACTION, MB_ICONEXCLAMATION, Caption::kDialog);
    return;
  }
  if (m_edited) {
    if (!CSettings::instance().save(m_settings)) {
      showMessage(IDS_SAVE_SETTINGS_FAILED, MB_ICONERROR, Caption::kProduct);
      return;
    }
    m_edited = false;
  }
  end(IDOK);
}
