#include "foundation/Settings.h"

#include <memory>
#include <set>

#include <boost/make_shared.hpp>

#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/mapi/FormMgr.h"
#include "platform/office/RibbonUI.h"
#include "platform/registry/RegistryFiles.h"
#include "resources/resource.h"

namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

std::unique_ptr<CSettings>& holder() {
  // The logger is built first so that it outlives the store, whose destruction still uses it.
  CLogger::instance();
  static std::unique_ptr<CSettings> settings;
  return settings;
}

// Whether the current user may set values or create sub-keys in the machine product key. A key
// not there yet is writable when the user may create it under its nearest existing parent, so
// a first save can store "Allow users to modify settings". Asked on each read: a save may have
// created the key since.
bool machineKeyWritable() {
  quilstring path(kProductKey);
  DWORD needed = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
  while (!path.empty()) {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ) != ERROR_FILE_NOT_FOUND) break;
    const std::size_t slash = path.rfind(u'\\');
    path.resize(slash == quilstring::npos ? 0 : slash);
    needed = KEY_CREATE_SUB_KEY;
  }
  const DWORD mask = NUtils::registryKeyAccessMaskOfCurrentUser(path.empty() ? quilstring(u"MACHINE")
                                                                             : quilstring(u"MACHINE\\") + path);
  return (mask & needed) != 0;
}

// The first of several names that are equal ignoring case, or empty: such classes cannot all
// be stored, since registry key names ignore case.
quilstring caseClash(const std::map<quilstring, MessageClassSettingsPtr>& classes) {
  std::set<quilstring> seen;
  for (const auto& entry : classes) {
    quilstring folded = entry.first;
    NUtils::toLower(folded);
    if (!seen.insert(folded).second) return entry.first;
  }
  return {};
}

}  // namespace

CSettings& CSettings::instance() {
  auto& settings = holder();
  if (!settings) settings.reset(new CSettings());
  return *settings;
}

void CSettings::resetForTesting() {
  holder().reset();
  NUtils::resetTempPathForTesting();
}

CSettings::CSettings() {
  clearTempFolder();
  extractResources();
  read();
}

CSettings::~CSettings() {
  for (const quilstring& path : m_extractedFiles) {
    if (!path.empty()) ::unlink(path.toUtf8().c_str());
  }
  CLogger::instance().endRedirection();
  releaseRibbonUIs();
  m_application.Release();
  clearFormMgr();
}

void CSettings::read() {
  m_readFailure.clear();
  CRegKey machine;
  const LONG machineRc = machine.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_QUERY_VALUE);
  const bool haveMachine = machineRc == ERROR_SUCCESS;
  if (!haveMachine && machineRc != ERROR_FILE_NOT_FOUND) noteReadFailure(HKEY_LOCAL_MACHINE, machineRc);

  // Without a machine key users may modify settings: their own key is read.
  bool allowUsers = true;
  DWORD value = 0;
  if (haveMachine && machine.QueryDWORDValue(u"Allow users to modify settings", value) == ERROR_SUCCESS) {
    allowUsers = value != 0;
  }
  m_data.otherOptions.allowUsersToModifySettings = allowUsers;

  CRegKey user;
  const LONG userRc = user.Open(HKEY_CURRENT_USER, kProductKey, KEY_QUERY_VALUE);
  if (allowUsers && userRc != ERROR_SUCCESS && userRc != ERROR_FILE_NOT_FOUND) noteReadFailure(HKEY_CURRENT_USER, userRc);

  if (readDword(allowUsers, machine, user, u"Tidy HTML", value)) m_data.otherOptions.tidyHTML = value != 0;
  if (readDword(allowUsers, machine, user, u"Enable Logging", value)) {
    m_data.otherOptions.enableLogging = value != 0;
    m_logThreshold = value != 0 ? quilstring(u"debug") : quilstring();
  }
  quilstring text;
  if (readString(allowUsers, machine, user, u"Thread prefix chars", text)) {
    NUtils::toLower(text);
    m_threadPrefixChars = text;
  }
  quilstring matches;
  if (readString(allowUsers, machine, user, u"Thread text matches", matches)) {
    NUtils::toLower(matches);
  } else {
    matches.LoadString(NGlobals::moduleInstance(), IDS_THREAD_HEADER_FROM);
  }
  NUtils::toUpper(matches);
  m_threadTextMatches.clear();
  NUtils::tokenize(matches, u";", m_threadTextMatches);
  if (readString(allowUsers, machine, user, u"Log path", text)) m_data.otherOptions.logPath = text;

  if (!m_logThreshold.empty()) {
    if (!m_data.otherOptions.logPath.empty()) CLogger::instance().redirectTo(m_data.otherOptions.logPath);
    NLog::setLevels({u"Info", u"Error", u"Warning", u"Debug"}, m_logThreshold);
    LOG_INFO(u"Logging threshold set to %s", m_logThreshold.c_str());
    LOG_INFO(u"Temp location set to %s", NUtils::getTempPath().c_str());
  } else {
    // "Enable Logging" 0 (or absent) switches the log off and closes its file.
    NLog::switchOff();
    CLogger::instance().endRedirection();
  }

  // Logged once the log may be on; the hive's own report came before.
  if (!m_readFailure.empty()) LOG_ERROR(u"CSettings::read -- the settings cannot be read: %s", m_readFailure.c_str());

  if (readDword(allowUsers, machine, user, u"WBHost load timeout", value)) m_loadTimeout = value;

  readRecords(allowUsers, machine, user);
  m_machineKeyWritable = machineKeyWritable();
}

void CSettings::readRecords(bool allowUsers, CRegKey& machine, CRegKey& user) {
  DWORD value = 0;
  struct Flag {
    const char16_t* name;
    bool ButtonSettings::*field;
  };
  static const Flag kFlags[] = {
      {u"Use Outlook buttons", &ButtonSettings::useOutlookButtons},
      {u"Buttons in Menu", &ButtonSettings::buttonsInMenu},
      {u"Create Toolbar", &ButtonSettings::createToolbar},
      {u"Display QuillMark preview button", &ButtonSettings::displayPreviewButton},
      {u"Display QuillMark attachments button", &ButtonSettings::displayAttachmentsButton},
      {u"Display QuillMark selection button", &ButtonSettings::displaySelectionButton},
      {u"Display Online help button", &ButtonSettings::displayOnlineHelpButton},
      {u"Attachments Selection View", &ButtonSettings::attachmentsSelectionView},
  };
  for (const Flag& flag : kFlags) {
    if (readDword(allowUsers, machine, user, flag.name, value)) m_data.buttons.*flag.field = value != 0;
  }

  m_data.messageClasses.emplace(kDefaultMessageClass, boost::make_shared<MessageClassSettings>());

  // Each tree comes from the first source that yields something; a source whose key does not
  // open is skipped.
  using Reader = bool (CSettings::*)(CRegKey&);
  auto readFrom = [this](const char16_t* where, HKEY hive, const char16_t* tree, Reader reader) {
    LOG_DEBUG(where);
    CRegKey key;
    if (key.Open(hive, (quilstring(kProductKey) + tree).c_str(), KEY_READ) != ERROR_SUCCESS) return false;
    return (this->*reader)(key);
  };
  (allowUsers && readFrom(u"Looking for templates in Current User..", HKEY_CURRENT_USER, u"\\Templates",
                          &CSettings::readMessageClasses)) ||
      readFrom(u"Looking for templates in Local Machine..", HKEY_LOCAL_MACHINE, u"\\Templates",
               &CSettings::readMessageClasses) ||
      readFrom(u"Looking for templates in Local Machine install defaults..", HKEY_LOCAL_MACHINE,
               u"\\Install defaults\\Templates", &CSettings::readMessageClasses);
  (allowUsers && readFrom(u"Looking for autoprint in Current User..", HKEY_CURRENT_USER, u"\\Autoprint",
                          &CSettings::readAutoprint)) ||
      readFrom(u"Looking for autoprint in Local Machine..", HKEY_LOCAL_MACHINE, u"\\Autoprint", &CSettings::readAutoprint);
  (allowUsers && readFrom(u"Looking for buttons in Current User..", HKEY_CURRENT_USER, u"\\Custom Buttons",
                          &CSettings::readCustomButtons)) ||
      readFrom(u"Looking for buttons in Local Machine..", HKEY_LOCAL_MACHINE, u"\\Custom Buttons",
               &CSettings::readCustomButtons);
  while (m_data.buttons.buttons.size() < 3) m_data.buttons.buttons.emplace_back();
}

bool CSettings::save(const SettingsData& data) {
  const quilstring clash = caseClash(data.messageClasses);
  if (!clash.empty()) {
    LOG_ERROR(u"CSettings::save -- message classes differing only by case cannot be stored (%s); nothing saved",
              clash.c_str());
    return false;
  }

  bool ok = true;
  const bool allowUsers = data.otherOptions.allowUsersToModifySettings;
  if (isMachineKeyWritable()) {
    CRegKey machine;
    const LONG rc = machine.Create(HKEY_LOCAL_MACHINE, kProductKey, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite);
    if (rc == ERROR_SUCCESS) {
      ok &= machine.SetDWORDValue(u"Allow users to modify settings", allowUsers ? 1 : 0) == ERROR_SUCCESS;
      ok &= machine.Close() == ERROR_SUCCESS;
    } else {
      logRegistryError(rc, u"Could not create registry key for QuillMark -- reason: %s");
      ok = false;
    }
  }
  m_data.otherOptions.allowUsersToModifySettings = allowUsers;
  HKEY hive = allowUsers ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;

  CRegKey product;
  LONG rc = product.Create(hive, kProductKey, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite);
  if (rc != ERROR_SUCCESS) {
    logRegistryError(rc, u"Could not create registry key for QuillMark -- reason: %s");
    ok = false;
  } else {
    const ButtonSettings& b = data.buttons;
    const OtherOptions& o = data.otherOptions;
    const std::pair<const char16_t*, bool> flags[] = {
        {u"Use Outlook buttons", b.useOutlookButtons},
        {u"Display QuillMark preview button", b.displayPreviewButton},
        {u"Display QuillMark attachments button", b.displayAttachmentsButton},
        {u"Display QuillMark selection button", b.displaySelectionButton},
        {u"Display Online help button", b.displayOnlineHelpButton},
        {u"Buttons in Menu", b.buttonsInMenu},
        {u"Create Toolbar", b.createToolbar},
        {u"Attachments Selection View", b.attachmentsSelectionView},
        {u"Tidy HTML", o.tidyHTML},
        {u"Enable Logging", o.enableLogging},
    };
    for (const auto& [name, value] : flags) ok &= product.SetDWORDValue(name, value ? 1 : 0) == ERROR_SUCCESS;
    ok &= product.SetStringValue(u"Log path", o.logPath.c_str(), REG_SZ) == ERROR_SUCCESS;
  }

  CRegKey templates, autoprint, buttons;
  const quilstring base(kProductKey);
  LONG r1 = templates.Create(hive, (base + u"\\Templates").c_str(), nullptr, REG_OPTION_NON_VOLATILE, kReadWrite);
  LONG r2 = autoprint.Create(hive, (base + u"\\Autoprint").c_str(), nullptr, REG_OPTION_NON_VOLATILE, kReadWrite);
  LONG r3 = buttons.Create(hive, (base + u"\\Custom Buttons").c_str(), nullptr, REG_OPTION_NON_VOLATILE, kReadWrite);
  if (r1 != ERROR_SUCCESS || r2 != ERROR_SUCCESS || r3 != ERROR_SUCCESS) {
    rc = r1 != ERROR_SUCCESS ? r1 : (r2 != ERROR_SUCCESS ? r2 : r3);
    logRegistryError(rc, u"Could not create registry key for supported message classes -- reason: %s");
    ok = false;
  } else {
    ok &= writeMessageClasses(templates, data.messageClasses);
    ok &= writeAutoprint(autoprint, data.autoprint);
    ok &= writeCustomButtons(buttons, data.buttons.buttons);
  }
  // The hive file is written when its last writing handle closes: that answer counts too.
  for (CRegKey* key : {&templates, &autoprint, &buttons, &product}) ok &= key->Close() == ERROR_SUCCESS;
  if (ok) LOG_DEBUG(u"New message data successfully saved to registry");

  LOG_DEBUG(u"Rereading registry data");
  reread();
  // The flag decides which hive every later read takes: a save that could not store it failed.
  if (getAllowUsersToModify() != allowUsers) {
    LOG_ERROR(u"CSettings::save -- \"Allow users to modify settings\" could not be stored in the machine key");
    ok = false;
  }
  // A copy: a ribbon's Invalidate may call back into the store.
  const std::vector<CComPtr<IRibbonUI>> ribbons = m_ribbonUIs;
  for (const CComPtr<IRibbonUI>& ribbon : ribbons) {
    const HRESULT hr = ribbon->Invalidate();
    if (FAILED(hr)) LOG_ERROR(u"CSettings::save -- IRibbonUI::Invalidate failed (%#lX)", static_cast<ULONG>(hr));
  }
  return ok;
}

void CSettings::reread() {
  clearBlock();
  read();
}

void CSettings::addRibbonUI(IRibbonUI* ribbon) {
  if (!ribbon) return;
  for (const CComPtr<IRibbonUI>& kept : m_ribbonUIs)
    if (NUtils::CompareInterfaces(kept, ribbon)) return;
  m_ribbonUIs.emplace_back(ribbon);
}

void CSettings::releaseRibbonUIs() {
  std::vector<CComPtr<IRibbonUI>> ribbons;
  ribbons.swap(m_ribbonUIs);
}

void CSettings::noteReadFailure(HKEY hive, LONG code) {
  // A hive file that cannot be used says why (file, line); other failures have the system's text.
  const platform::registry::RegFileStatus status = platform::registry::hiveStatus(hive);
  const std::u16string reason = code == ERROR_BADDB && !status.ok() ? status.message : platform::system::errorText(code);
  if (!m_readFailure.empty()) m_readFailure += u"; ";
  m_readFailure += reason;
}

void CSettings::clearBlock() {
  // Everything read from the registry goes, so the next read gives exactly what it holds.
  m_data = SettingsData();
  m_logThreshold.clear();
  m_threadPrefixChars.clear();
  m_threadTextMatches.clear();
  m_loadTimeout = kDefaultLoadTimeout;
  CLogger::instance().endRedirection();
}

IMAPIFormMgr* CSettings::getFormMgr() {
  if (m_formMgr) return m_formMgr;
  CComPtr<IMAPISession> session;
  const bool loggedOn = NUtils::guarded(u"CSettings::getFormMgr", false, [&] { return SUCCEEDED(MAPILogonEx(0, NULL, NULL, 0, &session)); });
  if (!loggedOn) session.Release();
  if (session) {
    if (FAILED(MAPIOpenFormMgr(session, &m_formMgr))) {
      m_formMgr.Release();
      LOG_ERROR(u"MAPIOpenFormMgr failed");
    }
    session->Logoff(0, 0, 0);
  } else {
    LOG_ERROR(u"MAPILogonEx failed");
  }
  return m_formMgr;
}

void CSettings::clearFormMgr() { m_formMgr.Release(); }

quilstring CSettings::getMRUBrowseFolder() const {
  CRegKey key;
  if (key.Open(HKEY_CURRENT_USER, (quilstring(kProductKey) + u"\\Templates").c_str(), KEY_READ) != ERROR_SUCCESS) return {};
  quilstring folder;
  CRegKey none;
  readString(true, none, key, u"MRUBrowseFolder", folder);
  return folder;
}

bool CSettings::setMRUBrowseFolder(const quilstring& folder) {
  CRegKey key;
  if (key.Create(HKEY_CURRENT_USER, (quilstring(kProductKey) + u"\\Templates").c_str(), nullptr, REG_OPTION_NON_VOLATILE,
                 kReadWrite) != ERROR_SUCCESS) {
    return false;
  }
  return key.SetStringValue(u"MRUBrowseFolder", folder.c_str(), REG_SZ) == ERROR_SUCCESS;
}

quilstring CSettings::getTemplateFolder() const {
  CRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kMakerKey, KEY_READ) != ERROR_SUCCESS) return {};
  quilstring dir;
  CRegKey none;
  if (!readString(false, key, none, u"InstallDir", dir) || dir.empty()) return {};
  // The value normally ends with a separator; add one of the path's own kind when it does not.
  const char16_t separator = dir.find(u'/') == std::u16string::npos && dir.find(u'\\') != std::u16string::npos ? u'\\' : u'/';
  if (dir.back() != u'/' && dir.back() != u'\\') dir.push_back(separator);
  const char16_t last = dir.back();
  dir += u"Templates";
  dir.push_back(last);
  return dir;
}

bool SettingsData::operator==(const SettingsData& other) const {
  if (messageClasses.size() != other.messageClasses.size()) return false;
  for (auto a = messageClasses.begin(), b = other.messageClasses.begin(); a != messageClasses.end(); ++a, ++b) {
    if (a->first != b->first) return false;
    const MessageClassSettings none;
    if ((a->second ? *a->second : none) != (b->second ? *b->second : none)) return false;
  }
  return autoprint == other.autoprint && buttons == other.buttons && otherOptions == other.otherOptions;
}
