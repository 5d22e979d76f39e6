#include "config/ButtonDialogs.h"

#include "config/AutoprintDialogs.h"
#include "config/EditRules.h"
#include "foundation/AddinGlobals.h"
#include "resources/resource.h"

namespace {

constexpr int kQuickButtonColumnWidth = 150;

struct FlagBox {
  int id;
  bool ButtonSettings::*flag;
};
constexpr FlagBox kFlagBoxes[] = {
    {IDC_SHOW_PREVIEW, &ButtonSettings::displayPreviewButton},   {IDC_SHOW_SELECTION, &ButtonSettings::displaySelectionButton},
    {IDC_SHOW_ATTACHMENTS, &ButtonSettings::displayAttachmentsButton}, {IDC_USE_OUTLOOK_BUTTONS, &ButtonSettings::useOutlookButtons},
    {IDC_BUTTONS_IN_MENU, &ButtonSettings::buttonsInMenu},       {IDC_CREATE_TOOLBAR, &ButtonSettings::createToolbar}};

}  // namespace

// ------------------------------------------------------------------------------------------------
// Dialog 131

CDialogButtonManager::CDialogButtonManager(const ButtonSettings& settings)
    : CConfigDialog(IDD_BUTTON_MANAGER, u"CDialogButtonManager"), m_settings(settings) {}

BOOL CDialogButtonManager::OnInitDialog() {
  for (const FlagBox& box : kFlagBoxes) setChecked(box.id, m_settings.*box.flag);
  const HWND list = item(IDC_QUICK_BUTTON_LIST);
  NConfig::insertColumn(list, 0, NConfig::loadText(IDS_COLUMN_DISPLAY_QUICK_BUTTON), kQuickButtonColumnWidth);
  NConfig::insertColumn(list, 1, NConfig::loadText(IDS_COLUMN_FURTHER_DETAILS),
                        NConfig::remainingWidth(list, kQuickButtonColumnWidth));
  ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES);
  for (std::size_t i = 0; i < m_settings.buttons.size() && i < kQuickButtons; ++i) {
    CustomButton& button = m_settings.buttons[i];
    quilstring name;
    name.FormatResource(NGlobals::moduleInstance(), IDS_QUICK_BUTTON_N, static_cast<int>(i + 1));
    // The button's action is named after its row, as the automation object finds it.
    button.action.displayName = name;
    const int row = NConfig::insertRow(list, static_cast<int>(i), name);
    ListView_SetCheckState(list, row, button.showButton ? TRUE : FALSE);
    NConfig::setRowText(list, row, 1, button.displayName);
  }
  centre();
  return TRUE;
}

bool CDialogButtonManager::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return false;
  if (id == IDC_QUICK_BUTTON_EDIT) editButton();
  else if (id == IDC_BUTTONS_HELP) openHelp(NConfig::kHelpButtonOptions);
  else return false;
  return true;
}

bool CDialogButtonManager::OnNotify(const NMHDR& header, LRESULT& result) {
  result = 0;
  if (header.idFrom != IDC_QUICK_BUTTON_LIST || header.code != NM_DBLCLK) return false;
  editButton();
  return true;
}

void CDialogButtonManager::editButton() {
  const HWND list = item(IDC_QUICK_BUTTON_LIST);
  const int row = NConfig::selectedRow(list);
  if (row < 0 || static_cast<std::size_t>(row) >= m_settings.buttons.size()) return;
  CDialogCustomButton dialog(m_settings.buttons[static_cast<std::size_t>(row)]);
  if (dialog.DoModal(window()) != IDOK) return;
  // The row's check box is what OK reads, so the edited button keeps it.
  m_settings.buttons[static_cast<std::size_t>(row)] = dialog.getButton();
  NConfig::setRowText(list, row, 1, dialog.getButton().displayName);
}

void CDialogButtonManager::OnOK() {
  const bool inMenu = m_settings.buttonsInMenu;
  const bool toolbar = m_settings.createToolbar;
  for (const FlagBox& box : kFlagBoxes) m_settings.*box.flag = checked(box.id);
  const HWND list = item(IDC_QUICK_BUTTON_LIST);
  const int rows = ListView_GetItemCount(list);
  for (std::size_t i = 0; i < m_settings.buttons.size(); ++i) {
    m_settings.buttons[i].showButton = static_cast<int>(i) < rows && ListView_GetCheckState(list, static_cast<int>(i));
  }
  if (m_settings.buttonsInMenu != inMenu || m_settings.createToolbar != toolbar)
    showMessage(IDS_RESTART_OUTLOOK, MB_ICONEXCLAMATION, Caption::kDialog);
  end(IDOK);
}

// ------------------------------------------------------------------------------------------------
// Dialog 128

CDialogCustomButton::CDialogCustomButton(const CustomButton& button)
    : CConfigDialog(IDD_CUSTOM_BUTTON, u"CDialogCustomButton"), m_button(button) {}

BOOL CDialogCustomButton::OnInitDialog() {
  setChecked(IDC_SHOW_ATTACHMENT_DIALOG, m_button.showAttachmentDialog);
  setChecked(IDC_SELECT_ATTACHMENTS, m_button.selectAttachments);
  setChecked(IDC_SHOW_TEMPLATE_SELECTION, m_button.showTemplateSelectionDialog);
  for (int id : {IDC_BUTTON_NAME, IDC_IMAGEMSO}) limitText(id);
  limitText(IDC_FACEID, 10);
  setItemText(IDC_BUTTON_NAME, m_button.displayName);
  setItemText(IDC_IMAGEMSO, m_button.imageMso);
  quilstring faceId;
  if (m_button.faceId != 0) faceId.Format(u"%u", m_button.faceId);
  setItemText(IDC_FACEID, faceId);
  setChecked(IDC_OP_DIALOG, m_button.printOperation == 0);
  setChecked(IDC_OP_PREVIEW, m_button.printOperation == 1);
  setChecked(IDC_OP_QUICK, m_button.printOperation == 2);
  applyRadioRule();
  enable(IDC_SELECT_ATTACHMENTS, checked(IDC_SHOW_ATTACHMENT_DIALOG));
  centre();
  return TRUE;
}

void CDialogCustomButton::applyRadioRule() {
  if (checked(IDC_OP_DIALOG)) {
    setChecked(IDC_OP_PREVIEW, false);
    setChecked(IDC_OP_QUICK, false);
  } else if (checked(IDC_OP_PREVIEW)) {
    setChecked(IDC_OP_QUICK, false);
  }
}

bool CDialogCustomButton::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_ACTION_SETTINGS: {
      CDialogQuillmarkAction dialog(m_button.action, false);
      if (dialog.DoModal(window()) == IDOK) m_button.action = dialog.getAction();
      return true;
    }
    case IDC_OP_DIALOG:
    case IDC_OP_PREVIEW:
    case IDC_OP_QUICK: applyRadioRule(); return true;
    case IDC_SHOW_ATTACHMENT_DIALOG: enable(IDC_SELECT_ATTACHMENTS, checked(IDC_SHOW_ATTACHMENT_DIALOG)); return true;
    case IDC_BUTTONS_HELP: openHelp(NConfig::kHelpQuickButtons); return true;
    default: return false;
  }
}

void CDialogCustomButton::OnOK() {
  const quilstring faceText = itemText(IDC_FACEID);
  const auto faceId = faceText.empty() ? std::optional<DWORD>(0) : NConfig::parseBoundedNumber(faceText);
  if (!faceId) {
    showMessage(IDS_FACEID_NOT_A_NUMBER, MB_ICONERROR, Caption::kProduct);
    SetFocus(item(IDC_FACEID));
    return;
  }
  m_button.faceId = *faceId;
  m_button.showAttachmentDialog = checked(IDC_SHOW_ATTACHMENT_DIALOG);
  m_button.selectAttachments = checked(IDC_SELECT_ATTACHMENTS);
  m_button.showTemplateSelectionDialog = checked(IDC_SHOW_TEMPLATE_SELECTION);
  m_button.printOperation = checked(IDC_OP_DIALOG) ? 0 : checked(IDC_OP_PREVIEW) ? 1 : 2;
  m_button.displayName = itemText(IDC_BUTTON_NAME);
  m_button.imageMso = itemText(IDC_IMAGEMSO);
  if (m_button.displayName.empty() && m_button.faceId == 0) {
    showMessage(IDS_QUICK_BUTTON_NAME_REQUIRED, MB_ICONEXCLAMATION, Caption::kDialog);
    return;
  }
  end(IDOK);
}
