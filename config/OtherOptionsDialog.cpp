#include "config/OtherOptionsDialog.h"

#include <filesystem>
#include <system_error>

#include "foundation/AddinGlobals.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "resources/resource.h"

CDialogOtherOptions::CDialogOtherOptions(const OtherOptions& options)
    : CConfigDialog(IDD_OTHER_OPTIONS, u"CDialogOtherOptions"), m_options(options) {}

BOOL CDialogOtherOptions::OnInitDialog() {
  SHAutoComplete(item(IDC_LOG_PATH), SHACF_FILESYSTEM | SHACF_USETAB);
  limitText(IDC_LOG_PATH);
  setItemText(IDC_LOG_PATH, m_options.logPath);
  setChecked(IDC_ALLOW_USER_SETTINGS, m_options.allowUsersToModifySettings);
  // Only someone who may write the machine's settings decides where settings are kept.
  enable(IDC_ALLOW_USER_SETTINGS, CSettings::instance().isMachineKeyWritable());
  setChecked(IDC_TIDY_HTML, m_options.tidyHTML);
  setChecked(IDC_ENABLE_LOGGING, m_options.enableLogging);
  enable(IDC_LOG_PATH, m_options.enableLogging);
  centre();
  return TRUE;
}

bool CDialogOtherOptions::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return false;
  if (id == IDC_ENABLE_LOGGING) {
    enable(IDC_LOG_PATH, checked(IDC_ENABLE_LOGGING));
    return true;
  }
  if (id != IDC_LOG_BROWSE) return false;
  quilstring path = itemText(IDC_LOG_PATH);
  std::error_code error;
  if (!path.empty() && std::filesystem::is_directory(path.toUtf8(), error) && path.back() != u'/') path += u'/';
  static const quilstring filter(u"Log Files (*.log)\0*.log", 23);
  if (NUtils::browseForFile(filter, IDS_SELECT_TEMPLATE_TITLE, window(), NGlobals::moduleInstance(),
                            OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY, quilstring(), path))
    setItemText(IDC_LOG_PATH, path);
  return true;
}

void CDialogOtherOptions::OnOK() {
  m_options.allowUsersToModifySettings = checked(IDC_ALLOW_USER_SETTINGS);
  m_options.tidyHTML = checked(IDC_TIDY_HTML);
  m_options.enableLogging = checked(IDC_ENABLE_LOGGING);
  m_options.logPath = itemText(IDC_LOG_PATH);
  end(IDOK);
}
