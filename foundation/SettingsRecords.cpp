// The registry encoding of the settings records: readers and writers of one record, and of the
// Templates, Autoprint and Custom Buttons trees.
#include <algorithm>

#include <boost/make_shared.hpp>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "platform/system/Text.h"

namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;  // 0x2001F

// Any length, bounded by the value's size; a value without its terminator reads whole.
bool queryText(CRegKey& key, const char16_t* name, quilstring& value) {
  value.clear();
  if (!key.m_hKey) return false;
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key.m_hKey, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return false;
  std::vector<BYTE> data(bytes + sizeof(char16_t));
  DWORD size = bytes;
  if (RegQueryValueExW(key.m_hKey, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return false;
  std::u16string text(size / sizeof(char16_t), u'\0');
  std::copy_n(data.data(), text.size() * sizeof(char16_t), reinterpret_cast<BYTE*>(text.data()));
  const std::size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  value.assign(text);
  return true;
}

bool queryDword(CRegKey& key, const char16_t* name, DWORD& value) {
  return key.m_hKey && key.QueryDWORDValue(name, value) == ERROR_SUCCESS;
}

DWORD dwordOr(CRegKey& key, const char16_t* name, DWORD fallback) {
  DWORD v = 0;
  return queryDword(key, name, v) ? v : fallback;
}

bool setDword(CRegKey& key, const char16_t* name, DWORD value) { return key.SetDWORDValue(name, value) == ERROR_SUCCESS; }

bool setText(CRegKey& key, const char16_t* name, const quilstring& value) {
  return key.SetStringValue(name, value.c_str(), REG_SZ) == ERROR_SUCCESS;
}

// The file name of a Windows or Linux path, with or without its extension.
quilstring fileNameOf(const quilstring& path, bool withExtension) {
  const std::size_t slash = path.find_last_of(u"\\/");
  quilstring name(path.substr(slash == std::u16string::npos ? 0 : slash + 1));
  if (!withExtension) {
    const std::size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos) name.resize(dot);
  }
  return name;
}

// The names of the sub-keys that begin with a prefix, in list order: by the number after the
// prefix, so "Template10" follows "Template9" although the registry enumerates it earlier.
// Names without a number keep their enumeration order after the numbered ones.
std::vector<quilstring> numberedSubKeys(CRegKey& key, const std::u16string& prefix) {
  struct Entry {
    quilstring name;
    bool numbered;
    unsigned long long number;
  };
  std::vector<Entry> entries;
  for (DWORD index = 0;; ++index) {
    quilstring name;
    if (key.EnumKey(index, name) != ERROR_SUCCESS || name.empty()) break;
    if (!platform::system::startsWithNoCase(name, prefix)) continue;
    const std::u16string rest = name.substr(prefix.size());
    const bool numbered = !rest.empty() && rest.size() <= 9 &&
                          std::all_of(rest.begin(), rest.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
    unsigned long long number = 0;
    if (numbered) {
      for (char16_t c : rest) number = number * 10 + static_cast<unsigned>(c - u'0');
    }
    entries.push_back({name, numbered, number});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.numbered != b.numbered) return a.numbered;
    return a.numbered && a.number < b.number;
  });
  std::vector<quilstring> names;
  for (auto& e : entries) names.push_back(std::move(e.name));
  return names;
}

quilstring localeName(LCID lcid) {
  quilstring name;
  name.Format(u"%u", static_cast<unsigned>(lcid));
  return name;
}

// Deletes the locale key and creates it again for writing; logs the tree's Error on failure.
bool recreateLocaleKey(CRegKey& root, CRegKey& localeKey, const char16_t* failure) {
  const quilstring locale = localeName(NGlobals::threadLocale());
  root.RecurseDeleteKey(locale.c_str());
  const LONG rc = localeKey.Create(root.m_hKey, locale.c_str(), nullptr, REG_OPTION_NON_VOLATILE, kReadWrite);
  if (rc != ERROR_SUCCESS) {
    CSettings::logRegistryError(rc, failure);
    return false;
  }
  return true;
}

}  // namespace

namespace NUtils {

LONG openLocaleKey(CRegKey& parent, REGSAM access, CRegKey& localeKey) {
  LONG rc = localeKey.Open(parent.m_hKey, localeName(NGlobals::threadLocale()).c_str(), access);
  if (rc != ERROR_SUCCESS) rc = localeKey.Open(parent.m_hKey, localeName(CSettings::kDefaultLocale).c_str(), access);
  return rc;
}

}  // namespace NUtils

void CSettings::logRegistryError(LONG code, const char16_t* format) {
  if (!NLog::enabled()) return;
  const quilstring reason = platform::system::errorText(static_cast<DWORD>(code));
  LOG_ERROR(format, reason.c_str());
}

void CSettings::readPrintOptions(CRegKey& key, PrintOptions& options) {
  DWORD v = 0;
  if (queryDword(key, u"printselection", v)) options.printSelection = v;
  if (queryDword(key, u"pageto", v)) options.pageTo = v;
  if (queryDword(key, u"pagefrom", v)) options.pageFrom = v;
  if (queryDword(key, u"responses", v)) options.responses = v;
}

bool CSettings::readTemplateDetail(CRegKey& key, TemplateDetail& detail) {
  queryText(key, u"DisplayName", detail.displayName);
  queryText(key, u"Printing template", detail.printingTemplate);
  detail.isFolder = dwordOr(key, u"IsFolder", 0);
  if (detail.printingTemplate.empty()) {
    LOG_ERROR(u"Cannot set Template Detail due to invalid parameters");
    return false;
  }
  if (detail.displayName.empty()) detail.displayName = fileNameOf(detail.printingTemplate, true);
  readPrintOptions(key, detail.printOptions);
  return true;
}

void CSettings::readActionDetail(CRegKey& key, ActionDetail& detail) {
  detail.templateEnabled = dwordOr(key, u"Template Enabled", 0) != 0;
  detail.attachmentEnabled = dwordOr(key, u"Attachment Enabled", 0) != 0;
  detail.useOutlookTemplate = dwordOr(key, u"Use Outlook template", 0) != 0;
  detail.attachmentState = dwordOr(key, u"Attachment State", 0);
  queryText(key, u"Display Name", detail.displayName);
  queryText(key, u"Printing template", detail.printingTemplate);
  queryText(key, u"Attachment String", detail.attachmentString);
  readPrintOptions(key, detail.printOptions);
}

void CSettings::readCustomButton(CRegKey& key, CustomButton& button) {
  button.printOperation = dwordOr(key, u"Print Operation", 0);
  button.showAttachmentDialog = dwordOr(key, u"Show Attachment Dialog", 0) != 0;
  button.selectAttachments = dwordOr(key, u"Select Attachments", 0) != 0;
  button.showButton = dwordOr(key, u"Show Button", 0) != 0;
  button.showTemplateSelectionDialog = dwordOr(key, u"Show Template Selection Dialog", 0) != 0;
  queryText(key, u"Display Name", button.displayName);
  button.faceId = dwordOr(key, u"Icon FaceId", 0);
  queryText(key, u"Icon ImageMSO", button.imageMso);
  CRegKey action;
  if (action.Open(key.m_hKey, u"Action", KEY_READ) == ERROR_SUCCESS) readActionDetail(action, button.action);
}

bool CSettings::writePrintOptions(CRegKey& key, const PrintOptions& options) {
  bool ok = setDword(key, u"printselection", options.printSelection);
  ok &= setDword(key, u"pageto", options.pageTo);
  ok &= setDword(key, u"pagefrom", options.pageFrom);
  ok &= setDword(key, u"responses", options.responses);
  return ok;
}

bool CSettings::writeTemplateDetail(CRegKey& key, const TemplateDetail& detail) {
  bool ok = setText(key, u"Printing template", detail.printingTemplate);
  ok &= setText(key, u"DisplayName", detail.displayName);
  ok &= setDword(key, u"IsFolder", detail.isFolder);
  ok &= writePrintOptions(key, detail.printOptions);
  return ok;
}

bool CSettings::writeActionDetail(CRegKey& key, const ActionDetail& detail) {
  bool ok = setText(key, u"Printing template", detail.printingTemplate);
  ok &= setText(key, u"Display Name", detail.displayName);
  ok &= setText(key, u"Attachment String", detail.attachmentString);
  ok &= setDword(key, u"Attachment Enabled", detail.attachmentEnabled ? 1 : 0);
  ok &= setDword(key, u"Template Enabled", detail.templateEnabled ? 1 : 0);
  ok &= setDword(key, u"Attachment State", detail.attachmentState);
  ok &= setDword(key, u"Use Outlook template", detail.useOutlookTemplate ? 1 : 0);
  ok &= writePrintOptions(key, detail.printOptions);
  return ok;
}

bool CSettings::readMessageClasses(CRegKey& root) {
  CRegKey locale;
  if (NUtils::openLocaleKey(root, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, locale) != ERROR_SUCCESS) return false;
  bool any = false;
  for (DWORD index = 0;; ++index) {
    quilstring className;
    if (locale.EnumKey(index, className) != ERROR_SUCCESS || className.empty()) break;
    any = true;
    LOG_INFO(u"Printing support required for %s", className.c_str());
    auto settings = boost::make_shared<MessageClassSettings>();
    CRegKey classKey;
    if (classKey.Open(locale.m_hKey, className.c_str(), KEY_READ) == ERROR_SUCCESS) {
      quilstring legacy;
      if (queryText(classKey, u"Printing template", legacy) && !legacy.empty()) {
        TemplateDetail detail;
        detail.printingTemplate = legacy;
        detail.displayName = fileNameOf(legacy, false);
        settings->templates.push_back(detail);
      } else {
        readMessageClassKey(classKey, *settings);
      }
    }
    m_data.messageClasses[className] = settings;
  }
  return any;
}

void CSettings::readMessageClassKey(CRegKey& classKey, MessageClassSettings& settings) {
  for (const quilstring& name : numberedSubKeys(classKey, u"Template")) {
    CRegKey key;
    if (key.Open(classKey.m_hKey, name.c_str(), KEY_READ) != ERROR_SUCCESS) continue;
    // Only 0 (memo) and 1 (multi item) have a meaning: a template stored with another value stays
    // in its class's list, so the class does not fall back to the default templates, but never prints.
    if (const DWORD isFolder = dwordOr(key, u"IsFolder", 0); isFolder > 1)
      LOG_WARNING(u"Template %s has IsFolder %lu, neither 0 nor 1: not used", name.c_str(), isFolder);
    TemplateDetail detail;
    if (readTemplateDetail(key, detail)) settings.templates.push_back(detail);
  }
  CRegKey autoprint;
  if (autoprint.Open(classKey.m_hKey, u"Autoprint", KEY_READ) == ERROR_SUCCESS) {
    // The older single-action form: one autoprint action replaces the whole list.
    TemplateDetail detail;
    if (readTemplateDetail(autoprint, detail)) {
      ActionDetail action;
      action.printingTemplate = detail.printingTemplate;
      action.displayName = u"print with quillmark";
      action.templateEnabled = dwordOr(autoprint, u"Enabled", 0) != 0;
      m_data.autoprint.actions.assign(1, action);
    }
  }
}

bool CSettings::readAutoprint(CRegKey& root) {
  m_data.autoprint.numSeconds = dwordOr(root, u"NumSeconds", 4);
  CRegKey locale;
  if (NUtils::openLocaleKey(root, KEY_READ, locale) != ERROR_SUCCESS) return false;
  bool any = false;
  for (const quilstring& name : numberedSubKeys(locale, u"Action")) {
    CRegKey key;
    if (key.Open(locale.m_hKey, name.c_str(), KEY_READ) != ERROR_SUCCESS) continue;
    ActionDetail action;
    readActionDetail(key, action);
    m_data.autoprint.actions.push_back(action);
    any = true;
  }
  return any;
}

bool CSettings::readCustomButtons(CRegKey& root) {
  CRegKey locale;
  if (NUtils::openLocaleKey(root, KEY_READ, locale) != ERROR_SUCCESS) return false;
  bool any = false;
  for (const quilstring& name : numberedSubKeys(locale, u"Custom Button")) {
    CRegKey key;
    if (key.Open(locale.m_hKey, name.c_str(), KEY_READ) != ERROR_SUCCESS) continue;
    CustomButton button;
    readCustomButton(key, button);
    m_data.buttons.buttons.push_back(button);
    any = true;
  }
  return any;
}

bool CSettings::writeMessageClasses(CRegKey& root, const std::map<quilstring, MessageClassSettingsPtr>& classes) {
  CRegKey locale;
  if (!recreateLocaleKey(root, locale, u"Could not could not create supported message classes locale key -- reason: %s")) {
    return false;
  }
  bool ok = true;
  for (const auto& [className, settings] : classes) {
    CRegKey classKey;
    LONG rc = classKey.Create(locale.m_hKey, className.c_str(), nullptr, REG_OPTION_NON_VOLATILE, kReadWrite);
    if (rc != ERROR_SUCCESS) {
      logRegistryError(rc, u"Could not create message class key -- reason: %s");
      ok = false;
      continue;
    }
    if (!settings) continue;
    int number = 1;
    for (const TemplateDetail& detail : settings->templates) {
      quilstring name;
      name.Format(u"Template%d", number++);
      CRegKey key;
      rc = key.Create(classKey.m_hKey, name.c_str(), nullptr, REG_OPTION_NON_VOLATILE, kReadWrite);
      if (rc != ERROR_SUCCESS) {
        logRegistryError(rc, u"Could not create Template key -- reason: %s");
        ok = false;
        continue;
      }
      ok &= writeTemplateDetail(key, detail);
    }
  }
  return ok;
}

bool CSettings::writeAutoprint(CRegKey& root, const AutoprintSettings& autoprint) {
  bool ok = setDword(root, u"NumSeconds", autoprint.numSeconds);
  CRegKey locale;
  if (!recreateLocaleKey(root, locale, u"Could not could not create supported autoprint locale key -- reason: %s")) {
    return false;
  }
  int number = 1;
  for (const ActionDetail& action : autoprint.actions) {
    quilstring name;
    name.Format(u"Action%d", number++);
    CRegKey key;
    const LONG rc = key.Create(locale.m_hKey, name.c_str(), nullptr, REG_OPTION_NON_VOLATILE, kReadWrite);
    if (rc != ERROR_SUCCESS) {
      logRegistryError(rc, u"Could not create Action key -- reason: %s");
      ok = false;
      continue;
    }
    ok &= writeActionDetail(key, action);
  }
  return ok;
}

bool CSettings::writeCustomButtons(CRegKey& root, const std::vector<CustomButton>& buttons) {
  CRegKey locale;
  if (!recreateLocaleKey(root, locale, u"Could not could not create supported custom buttons locale key -- reason: %s")) {
    return false;
  }
  bool ok = true;
  int number = 1;
  for (const CustomButton& button : buttons) {
    quilstring name;
    name.Format(u"Custom Button%d", number++);
    CRegKey key;
    LONG rc = key.Create(locale.m_hKey, name.c_str(), nullptr, REG_OPTION_NON_VOLATILE, kReadWrite);
    if (rc != ERROR_SUCCESS) {
      logRegistryError(rc, u"Could not create Custom Button key -- reason: %s");
      ok = false;
      continue;
    }
    ok &= setText(key, u"Display Name", button.displayName);
    ok &= setDword(key, u"Icon FaceId", button.faceId);
    ok &= setText(key, u"Icon ImageMSO", button.imageMso);
    ok &= setDword(key, u"Show Attachment Dialog", button.showAttachmentDialog ? 1 : 0);
    ok &= setDword(key, u"Select Attachments", button.selectAttachments ? 1 : 0);
    ok &= setDword(key, u"Show Template Selection Dialog", button.showTemplateSelectionDialog ? 1 : 0);
    ok &= setDword(key, u"Show Button", button.showButton ? 1 : 0);
    ok &= setDword(key, u"Print Operation", button.printOperation);
    CRegKey action;
    rc = action.Create(key.m_hKey, u"Action", nullptr, REG_OPTION_NON_VOLATILE, kReadWrite);
    if (rc != ERROR_SUCCESS) {
      logRegistryError(rc, u"Could not create Action key -- reason: %s");
      ok = false;
      continue;
    }
    ok &= writeActionDetail(action, button.action);
  }
  return ok;
}

bool CSettings::readDword(bool allowUsers, CRegKey& machine, CRegKey& user, const char16_t* name, DWORD& value) {
  value = 0;
  if (allowUsers && queryDword(user, name, value)) return true;
  if (queryDword(machine, name, value)) return true;
  value = 0;
  return false;
}

bool CSettings::readString(bool allowUsers, CRegKey& machine, CRegKey& user, const char16_t* name, quilstring& value) {
  value.clear();
  if (allowUsers && queryText(user, name, value)) return true;
  if (queryText(machine, name, value)) return true;
  value.clear();
  return false;
}
