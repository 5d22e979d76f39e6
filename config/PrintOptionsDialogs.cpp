#include "config/PrintOptionsDialogs.h"

#include <string>

#include "config/EditRules.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "platform/registry/RegKey.h"
#include "resources/resource.h"

namespace {

constexpr const char16_t* kOutlookPrintStyle = u"Outlook Print Style";
constexpr const char16_t* kDefaultTemplateName = u"PAGEPRINT";

struct MarginEdit {
  const char16_t* value;
  int id;
};
// In the order OK reads and checks them.
constexpr MarginEdit kMargins[] = {
    {u"marginTop", IDC_MARGIN_TOP}, {u"marginLeft", IDC_MARGIN_LEFT}, {u"marginRight", IDC_MARGIN_RIGHT}, {u"marginBottom", IDC_MARGIN_BOTTOM}};

bool queryText(CRegKey& key, const char16_t* name, quilstring& text) {
  DWORD type = 0;
  ULONG bytes = 0;
  if (key.QueryValue(name, &type, nullptr, &bytes) != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  std::u16string buffer(bytes / sizeof(char16_t) + 1, u'\0');
  bytes = static_cast<ULONG>(buffer.size() * sizeof(char16_t));
  if (key.QueryValue(name, &type, buffer.data(), &bytes) != ERROR_SUCCESS) return false;
  buffer.resize(buffer.find(u'\0') == std::u16string::npos ? buffer.size() : buffer.find(u'\0'));
  text = buffer;
  return true;
}

// The person's measuring system: inches unless Windows' regional settings say metric.
bool usesInches() {
  CRegKey key;
  if (key.Open(HKEY_CURRENT_USER, u"Control Panel\\International", KEY_QUERY_VALUE) != ERROR_SUCCESS) return true;
  quilstring measure;
  return !queryText(key, u"iMeasure", measure) || measure != u"0";
}

}  // namespace

// ------------------------------------------------------------------------------------------------
// Dialog 134

CDialogPrintOptions::CDialogPrintOptions(const PrintOptions& options)
    : CConfigDialog(IDD_PRINT_OPTIONS, u"CDialogPrintOptions"), m_options(options) {}

BOOL CDialogPrintOptions::OnInitDialog() {
  for (UINT id : {IDS_LATEST_RESPONSE_ONLY, IDS_LATEST_RESPONSE_PLUS_1, IDS_LATEST_RESPONSE_PLUS_2, IDS_LATEST_RESPONSE_PLUS_3}) {
    SendDlgItemMessageW(window(), IDC_RESPONSES, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(NConfig::loadText(id).c_str()));
  }
  constexpr int kRadios[] = {IDC_PRINT_ALL, IDC_PRINT_PAGES, IDC_PRINT_THREADED};
  for (int i = 0; i < 3; ++i) setChecked(kRadios[i], m_options.printSelection == static_cast<DWORD>(i));
  updateEnabling();
  SendDlgItemMessageW(window(), IDC_RESPONSES, CB_SETCURSEL, m_options.responses, 0);
  setItemText(IDC_PAGE_RANGE, NConfig::formatPageRange(m_options.pageFrom, m_options.pageTo));
  return TRUE;
}

void CDialogPrintOptions::updateEnabling() {
  const bool all = checked(IDC_PRINT_ALL);
  const bool pages = !all && checked(IDC_PRINT_PAGES);
  enable(IDC_RESPONSES, !all && !pages);
  enable(IDC_PAGE_RANGE, pages);
}

bool CDialogPrintOptions::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED || (id != IDC_PRINT_ALL && id != IDC_PRINT_PAGES && id != IDC_PRINT_THREADED)) return false;
  updateEnabling();
  return true;
}

void CDialogPrintOptions::OnOK() {
  m_options.printSelection = checked(IDC_PRINT_ALL) ? 0 : checked(IDC_PRINT_PAGES) ? 1 : 2;
  // No entry selected stores CB_ERR (-1); the thread cut then keeps the latest response only.
  m_options.responses = static_cast<DWORD>(SendDlgItemMessageW(window(), IDC_RESPONSES, CB_GETCURSEL, 0, 0));
  // The range is checked whatever is printed, so a range kept for later is always a valid one.
  const auto range = NConfig::parsePageRange(itemText(IDC_PAGE_RANGE));
  if (!range) {
    showMessage(IDS_INVALID_PAGE_RANGE, MB_ICONEXCLAMATION, Caption::kDialog);
    return;
  }
  m_options.pageFrom = range->from;
  m_options.pageTo = range->to;
  end(IDOK);
}

// ------------------------------------------------------------------------------------------------
// Dialog 122

CDialogPageSetup::CDialogPageSetup(const quilstring& templatePath)
    : CConfigDialog(IDD_PAGE_SETUP, u"CDialogPageSetup"), m_templatePath(templatePath) {}

bool CDialogPageSetup::hasTemplateName(const quilstring& templatePath) {
  return !NConfig::baseNameOf(templatePath).empty();
}

quilstring CDialogPageSetup::settingsKeyPath(const quilstring& templateName) {
  return quilstring(kProductKey) + u"\\Template Settings\\" + templateName;
}

BOOL CDialogPageSetup::OnInitDialog() {
  m_templateName = NConfig::baseNameOf(m_templatePath);
  SetWindowTextW(window(), NConfig::loadText(IDS_PRINT_OPTIONS_CAPTION,
                                             m_templateName == kDefaultTemplateName ? kOutlookPrintStyle : m_templateName.c_str())
                               .c_str());
  m_inches = usesInches();
  setItemText(IDC_MARGIN_GROUP, NConfig::loadText(m_inches ? IDS_MARGIN_INCHES : IDS_MARGIN_MILLIMETERS));
  for (const MarginEdit& margin : kMargins) limitText(margin.id, 16);
  resetDefaults();
  readStoredSettings();
  centre();
  return TRUE;
}

void CDialogPageSetup::resetDefaults() {
  for (const MarginEdit& margin : kMargins) setItemText(margin.id, NConfig::formatMargin(kDefaultMargin, m_inches));
  setChecked(IDC_PORTRAIT, true);
  setChecked(IDC_LANDSCAPE, false);
}

void CDialogPageSetup::readStoredSettings() {
  CRegKey root;
  if (m_templateName.empty() ||
      root.Open(HKEY_CURRENT_USER, settingsKeyPath(m_templateName).c_str(), KEY_QUERY_VALUE) != ERROR_SUCCESS)
    return;
  CRegKey locale;
  if (NUtils::openLocaleKey(root, KEY_QUERY_VALUE, locale) != ERROR_SUCCESS) return;
  LOG_DEBUG(u"Retrieving settings for %s from registry", m_templateName.c_str());
  for (const MarginEdit& margin : kMargins) {
    DWORD value = 0;
    if (locale.QueryDWORDValue(margin.value, value) != ERROR_SUCCESS) continue;
    LOG_DEBUG((quilstring(margin.value) + u" is %ld").c_str(), static_cast<long>(value));
    setItemText(margin.id, NConfig::formatMargin(value, m_inches));
  }
  quilstring orientation;
  if (queryText(locale, u"orientation", orientation)) {
    LOG_DEBUG(u"orientation is %s", orientation.c_str());
    const bool landscape = orientation == u"landscape";
    setChecked(IDC_LANDSCAPE, landscape);
    setChecked(IDC_PORTRAIT, !landscape);
  }
}

bool CDialogPageSetup::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_PORTRAIT:
    case IDC_LANDSCAPE:
      setChecked(IDC_PORTRAIT, id == IDC_PORTRAIT);
      setChecked(IDC_LANDSCAPE, id == IDC_LANDSCAPE);
      return true;
    case IDC_RESET_DEFAULTS: resetDefaults(); return true;
    default: return false;
  }
}

void CDialogPageSetup::OnOK() {
  DWORD values[4] = {};
  for (int i = 0; i < 4; ++i) {
    const auto value = NConfig::parseMargin(itemText(kMargins[i].id), m_inches);
    if (!value) {
      showMessage(IDS_INVALID_MARGINS, MB_ICONEXCLAMATION, Caption::kDialog);
      return;
    }
    values[i] = *value;
  }
  if (m_templateName.empty()) {
    showMessage(IDS_CONFIGURE_PRINT_TEMPLATE, MB_ICONEXCLAMATION, Caption::kDialog);
    return;
  }
  if (!writeSettings(values[0], values[1], values[2], values[3])) {
    showMessage(IDS_SAVE_SETTINGS_FAILED, MB_ICONERROR, Caption::kProduct);
    return;
  }
  end(IDOK);
}

bool CDialogPageSetup::writeSettings(DWORD top, DWORD left, DWORD right, DWORD bottom) {
  // The locale the print template reads first: the one stored when the add-in connected.
  const quilstring path = settingsKeyPath(m_templateName) + u"\\" + quilstring::fromUtf8(std::to_string(NGlobals::threadLocale()));
  CRegKey key;
  LONG rc = key.Create(HKEY_CURRENT_USER, path.c_str(), nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE);
  if (rc == ERROR_SUCCESS) rc = key.SetDWORDValue(u"marginTop", top);
  if (rc == ERROR_SUCCESS) rc = key.SetDWORDValue(u"marginLeft", left);
  if (rc == ERROR_SUCCESS) rc = key.SetDWORDValue(u"marginRight", right);
  if (rc == ERROR_SUCCESS) rc = key.SetDWORDValue(u"marginBottom", bottom);
  if (rc == ERROR_SUCCESS) rc = key.SetStringValue(u"orientation", checked(IDC_LANDSCAPE) ? u"landscape" : u"portrait");
  // The values reach the hive file when the key is flushed; only then are they kept.
  if (rc == ERROR_SUCCESS) rc = key.Flush();
  if (rc != ERROR_SUCCESS) {
    LOG_ERROR(u"Could not write the page settings of %s", m_templateName.c_str());
    CSettings::logRegistryError(rc, u"Could not create page settings key -- reason: %s");
    return false;
  }
  return true;
}
