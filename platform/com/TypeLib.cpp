#include "platform/com/TypeLib.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "platform/registry/RegKey.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace platform::com {

namespace {

using platform::system::utf16ToUtf8;
using platform::system::utf8ToUtf16;

constexpr std::size_t kMaxText = 64 * 1024;
constexpr std::size_t kMaxName = 255;

bool isName(std::string_view word) {
  if (word.empty() || word.size() > kMaxName) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char c = word[i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
  }
  return true;
}

// A decimal number up to limit, all digits.
bool parseNumber(std::string_view word, unsigned long limit, unsigned long& out) {
  if (word.empty() || word.size() > 10) return false;
  unsigned long value = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  if (value > limit) return false;
  out = value;
  return true;
}

// The next space-separated word of line, taken off it.
std::string_view nextWord(std::string_view& line) {
  const std::size_t start = line.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    line = {};
    return {};
  }
  line.remove_prefix(start);
  const std::size_t end = std::min(line.find(' '), line.size());
  const std::string_view word = line.substr(0, end);
  line.remove_prefix(end);
  return word;
}

// An optional help string in double quotes ending the line; false when the rest is anything else.
bool takeHelpString(std::string_view line, std::u16string& help) {
  const std::size_t start = line.find_first_not_of(' ');
  if (start == std::string_view::npos) return true;
  line.remove_prefix(start);
  while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
  if (line.size() < 2 || line.front() != '"' || line.back() != '"') return false;
  const std::string_view text = line.substr(1, line.size() - 2);
  if (text.find('"') != std::string_view::npos) return false;
  help = utf8ToUtf16(text);
  return true;
}

bool isDispatch(const TypeLibInterface& item) { return item.kind != TypeLibInterfaceKind::kUnknown; }

std::u16string versionKey(REFGUID libid, WORD major, WORD minor) {
  return u"TypeLib\\" + formatGuid(libid) + u"\\" + utf8ToUtf16(std::to_string(major) + "." + std::to_string(minor));
}

HRESULT fail(const char* where, const std::u16string& key, LONG rc) {
  diag::error(where, "cannot write HKCR\\" + utf16ToUtf8(key) + " (" + std::to_string(rc) + ")");
  return HRESULT_FROM_WIN32(rc);
}

// Deletes HKCR\path when it has neither sub-keys nor values.
void deleteIfEmpty(const std::u16string& path) {
  CRegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, path.c_str(), KEY_READ) != ERROR_SUCCESS) return;
  DWORD subKeys = 0, values = 0;
  const LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                                   nullptr, nullptr, nullptr);
  key.Close();
  if (rc == ERROR_SUCCESS && subKeys == 0 && values == 0) RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
}

std::u16string readText(CRegKey& key, const char16_t* name) {
  char16_t text[1024];
  DWORD type = 0;
  ULONG size = sizeof text - sizeof text[0];
  if (key.QueryValue(name, &type, text, &size) != ERROR_SUCCESS || type != REG_SZ) return {};
  std::u16string value(text, size / sizeof text[0]);
  while (!value.empty() && value.back() == u'\0') value.pop_back();
  return value;
}

}  // namespace

const TypeLibInterface* TypeLibDescription::find(REFIID iid) const {
  for (const TypeLibInterface& item : interfaces)
    if (IsEqualIID(item.iid, iid)) return &item;
  return nullptr;
}

HRESULT parseTypeLib(std::string_view text, TypeLibDescription& out) {
  TypeLibDescription library;
  bool haveLibrary = false;
  std::set<std::u16string> names;  // lower-cased, of the current interface
  std::set<DISPID> ids;
  std::size_t lineNumber = 0;
  const auto bad = [&](const char* what) {
    diag::error("parseTypeLib", "line " + std::to_string(lineNumber) + ": " + what);
    return TYPE_E_INVDATAREAD;
  };
  if (text.size() > kMaxText) return bad("the description is too long");
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_of("\t\r") != std::string_view::npos) return bad("tabs and stray carriage returns are not allowed");
    const std::string_view keyword = nextWord(line);
    if (keyword.empty() || keyword.front() == '#') continue;

    if (keyword == "library") {
      if (haveLibrary) return bad("a second library");
      GUID libid{};
      const std::string_view id = nextWord(line), version = nextWord(line), lcid = nextWord(line), name = nextWord(line);
      const std::size_t dot = version.find('.');
      unsigned long major = 0, minor = 0, locale = 0;
      if (!parseGuid(utf8ToUtf16(id), libid)) return bad("the library id is not a GUID");
      if (dot == std::string_view::npos || !parseNumber(version.substr(0, dot), 0xFFFF, major) ||
          !parseNumber(version.substr(dot + 1), 0xFFFF, minor))
        return bad("the version is not major.minor");
      if (!parseNumber(lcid, 0xFFFF, locale)) return bad("the locale is not a number");
      if (!isName(name)) return bad("the library name is not a name");
      const std::size_t help = line.find_first_not_of(' ');
      library.libid = libid;
      library.major = static_cast<WORD>(major);
      library.minor = static_cast<WORD>(minor);
      library.lcid = static_cast<LCID>(locale);
      library.name = utf8ToUtf16(name);
      library.helpString = help == std::string_view::npos ? u"" : utf8ToUtf16(line.substr(help));
      haveLibrary = true;
    } else if (!haveLibrary) {
      return bad("the library must come first");
    } else if (keyword == "interface") {
      TypeLibInterface item;
      const std::string_view id = nextWord(line), name = nextWord(line);
      if (!parseGuid(utf8ToUtf16(id), item.iid)) return bad("the interface id is not a GUID");
      if (!isName(name)) return bad("the interface name is not a name");
      for (std::string_view rest = line;;) {
        const std::string_view word = nextWord(rest);
        if (word == "dual" && item.kind == TypeLibInterfaceKind::kDispatch) {
          item.kind = TypeLibInterfaceKind::kDual;
        } else if (word == "unknown" && item.kind == TypeLibInterfaceKind::kDispatch) {
          item.kind = TypeLibInterfaceKind::kUnknown;
        } else if (word == "nonextensible" && !item.nonextensible) {
          item.nonextensible = true;
        } else {
          break;
        }
        line = rest;
      }
      if (!takeHelpString(line, item.helpString)) return bad("text after the interface name");
      if (library.find(item.iid)) return bad("an interface id comes twice");
      item.name = utf8ToUtf16(name);
      library.interfaces.push_back(std::move(item));
      names.clear();
      ids.clear();
    } else if (keyword == "member") {
      if (library.interfaces.empty() || !isDispatch(library.interfaces.back()))
        return bad("a member outside a dispatch interface");
      const std::string_view id = nextWord(line), name = nextWord(line);
      unsigned long dispid = 0;
      if (!parseNumber(id, 0x7FFFFFFF, dispid)) return bad("the DISPID is not a number of 0 or more");
      if (!isName(name)) return bad("the member name is not a name");
      TypeLibMember member{static_cast<DISPID>(dispid), utf8ToUtf16(name), {}, {}};
      if (!takeHelpString(line, member.helpString)) return bad("text after the member name");
      if (!names.insert(platform::system::lowerCase(member.name)).second) return bad("a member name comes twice");
      if (!ids.insert(member.id).second) return bad("a DISPID comes twice");
      library.interfaces.back().members.push_back(std::move(member));
    } else if (keyword == "method") {
      if (library.interfaces.empty() || isDispatch(library.interfaces.back()))
        return bad("a method outside a plain interface");
      const std::size_t open = line.find('('), close = line.find(')');
      if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return bad("the method has no parameter list");
      std::string_view name = line.substr(0, open);
      while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
      if (!isName(name)) return bad("the method name is not a name");
      const std::string_view parameters = line.substr(open + 1, close - open - 1);
      if (parameters.find_first_of("()\"") != std::string_view::npos) return bad("the parameter list is not one");
      TypeLibMember member{DISPID_UNKNOWN, utf8ToUtf16(name), utf8ToUtf16(parameters), {}};
      if (!takeHelpString(line.substr(close + 1), member.helpString)) return bad("text after the method");
      if (!names.insert(platform::system::lowerCase(member.name)).second) return bad("a member name comes twice");
      library.interfaces.back().members.push_back(std::move(member));
    } else if (keyword == "coclass") {
      TypeLibCoclass item;
      const std::string_view id = nextWord(line), name = nextWord(line), defaultInterface = nextWord(line);
      if (!parseGuid(utf8ToUtf16(id), item.clsid)) return bad("the class id is not a GUID");
      if (!isName(name) || !isName(defaultInterface)) return bad("the class or its default interface is not a name");
      if (!takeHelpString(line, item.helpString)) return bad("text after the class's default interface");
      for (const TypeLibCoclass& other : library.coclasses)
        if (IsEqualGUID(other.clsid, item.clsid)) return bad("a class id comes twice");
      item.name = utf8ToUtf16(name);
      item.defaultInterface = utf8ToUtf16(defaultInterface);
      library.coclasses.push_back(std::move(item));
    } else {
      return bad("an unknown statement");
    }
  }
  if (!haveLibrary) return bad("no library");
  out = std::move(library);
  return S_OK;
}

HRESULT RegisterTypeLib(const TypeLibDescription& library, const std::u16string& modulePath) {
  const std::u16string version = versionKey(library.libid, library.major, library.minor);
  const std::u16string libid = formatGuid(library.libid);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, version.c_str());  // what an earlier registration left goes
  CRegKey key;
  LONG rc = key.Create(HKEY_CLASSES_ROOT, version.c_str());
  if (rc == ERROR_SUCCESS)
    rc = key.SetStringValue(nullptr, (library.helpString.empty() ? library.name : library.helpString).c_str());
  if (rc != ERROR_SUCCESS) return fail("RegisterTypeLib", version, rc);

  const std::u16string folder = modulePath.substr(0, modulePath.rfind(u'/') == std::u16string::npos ? 0 : modulePath.rfind(u'/'));
  char locale[16];
  std::snprintf(locale, sizeof locale, "%x", static_cast<unsigned>(library.lcid));
  const struct {
    std::u16string path;
    std::u16string value;
  } texts[] = {{version + u"\\FLAGS", u"0"},
               {version + u"\\HELPDIR", folder},
               {version + u"\\" + utf8ToUtf16(locale) + u"\\linux", modulePath}};
  for (const auto& text : texts) {
    CRegKey sub;
    rc = sub.Create(HKEY_CLASSES_ROOT, text.path.c_str());
    if (rc == ERROR_SUCCESS) rc = sub.SetStringValue(nullptr, text.value.c_str());
    if (rc != ERROR_SUCCESS) return fail("RegisterTypeLib", text.path, rc);
  }
  for (const TypeLibInterface& item : library.interfaces) {
    if (!isDispatch(item)) continue;
    const std::u16string iid = formatGuid(item.iid);
    // The description: the interface's name and a DWORD value per member.
    const std::u16string described = version + u"\\Interfaces\\" + iid;
    CRegKey members;
    rc = members.Create(HKEY_CLASSES_ROOT, described.c_str());
    if (rc == ERROR_SUCCESS) rc = members.SetStringValue(nullptr, item.name.c_str());
    for (const TypeLibMember& member : item.members)
      if (rc == ERROR_SUCCESS) rc = members.SetDWORDValue(member.name.c_str(), static_cast<DWORD>(member.id));
    if (rc != ERROR_SUCCESS) return fail("RegisterTypeLib", described, rc);

    const std::u16string interfaceKey = u"Interface\\" + iid;
    RegDeleteTreeW(HKEY_CLASSES_ROOT, interfaceKey.c_str());
    CRegKey entry, proxy, owner;
    rc = entry.Create(HKEY_CLASSES_ROOT, interfaceKey.c_str());
    if (rc == ERROR_SUCCESS) rc = entry.SetStringValue(nullptr, item.name.c_str());
    // Dispatch interfaces are marshalled by the automation marshaller.
    if (rc == ERROR_SUCCESS) rc = proxy.Create(entry, u"ProxyStubClsid32");
    if (rc == ERROR_SUCCESS) rc = proxy.SetStringValue(nullptr, u"{00020424-0000-0000-C000-000000000046}");
    if (rc == ERROR_SUCCESS) rc = owner.Create(entry, u"TypeLib");
    if (rc == ERROR_SUCCESS) rc = owner.SetStringValue(nullptr, libid.c_str());
    if (rc == ERROR_SUCCESS)
      rc = owner.SetStringValue(u"Version", utf8ToUtf16(std::to_string(library.major) + "." + std::to_string(library.minor)).c_str());
    if (rc != ERROR_SUCCESS) return fail("RegisterTypeLib", interfaceKey, rc);
  }
  return S_OK;
}

HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor) {
  const std::u16string version = versionKey(libid, major, minor);
  CRegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, (version + u"\\Interfaces").c_str(), KEY_READ) != ERROR_SUCCESS) {
    CRegKey plain;
    if (plain.Open(HKEY_CLASSES_ROOT, version.c_str(), KEY_READ) != ERROR_SUCCESS) {
      diag::error("UnRegisterTypeLib", "HKCR\\" + utf16ToUtf8(version) + " is not registered");
      return TYPE_E_REGISTRYACCESS;
    }
  }
  // Interface keys go only where they still name this library.
  std::u16string iid;
  for (DWORD index = 0; static_cast<HKEY>(key) && key.EnumKey(index, iid) == ERROR_SUCCESS; ++index) {
    const std::u16string interfaceKey = u"Interface\\" + iid;
    CRegKey owner;
    if (owner.Open(HKEY_CLASSES_ROOT, (interfaceKey + u"\\TypeLib").c_str(), KEY_READ) != ERROR_SUCCESS) continue;
    GUID named{};
    const bool ours = parseGuid(readText(owner, nullptr), named) && IsEqualGUID(named, libid);
    owner.Close();
    if (ours) RegDeleteTreeW(HKEY_CLASSES_ROOT, interfaceKey.c_str());
  }
  key.Close();
  const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, version.c_str());
  if (rc != ERROR_SUCCESS) return fail("UnRegisterTypeLib", version, rc);
  deleteIfEmpty(u"TypeLib\\" + formatGuid(libid));
  deleteIfEmpty(u"TypeLib");
  deleteIfEmpty(u"Interface");
  return S_OK;
}

HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, TypeLibDescription& out, std::u16string* modulePath) {
  const std::u16string version = versionKey(libid, major, minor);
  const auto notRegistered = [&](const char* what) {
    diag::error("LoadRegTypeLib", "HKCR\\" + utf16ToUtf8(version) + ": " + what);
    return TYPE_E_LIBNOTREGISTERED;
  };
  CRegKey key, interfaces;
  if (key.Open(HKEY_CLASSES_ROOT, version.c_str(), KEY_READ) != ERROR_SUCCESS) return notRegistered("not registered");
  if (interfaces.Open(key, u"Interfaces", KEY_READ) != ERROR_SUCCESS) return notRegistered("no interfaces described");
  TypeLibDescription library;
  library.libid = libid;
  library.major = major;
  library.minor = minor;
  library.helpString = readText(key, nullptr);
  // The module is the one registered under a locale key (its hex name), "linux".
  std::u16string sub, path;
  for (DWORD index = 0; path.empty() && key.EnumKey(index, sub) == ERROR_SUCCESS; ++index) {
    unsigned long locale = 0;
    char* end = nullptr;
    const std::string text = utf16ToUtf8(sub);
    locale = std::strtoul(text.c_str(), &end, 16);
    if (text.empty() || *end != '\0' || locale > 0xFFFF) continue;
    CRegKey module;
    if (module.Open(key, (sub + u"\\linux").c_str(), KEY_READ) != ERROR_SUCCESS) continue;
    path = readText(module, nullptr);
    library.lcid = static_cast<LCID>(locale);
  }
  if (path.empty()) return notRegistered("no module registered");

  std::u16string iidText;
  for (DWORD index = 0; interfaces.EnumKey(index, iidText) == ERROR_SUCCESS; ++index) {
    TypeLibInterface item;
    CRegKey members;
    if (!parseGuid(iidText, item.iid) || members.Open(interfaces, iidText.c_str(), KEY_READ) != ERROR_SUCCESS)
      return notRegistered("an interface key is not an interface id");
    item.name = readText(members, nullptr);
    char16_t name[kMaxName + 1];
    for (DWORD value = 0;; ++value) {
      DWORD chars = kMaxName + 1, type = 0, data = 0, size = sizeof data;
      const LONG rc = RegEnumValueW(members, value, name, &chars, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return notRegistered("a member cannot be read");
      if (chars == 0) continue;  // the interface's name
      if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data || data > 0x7FFFFFFF)
        return notRegistered("a member is not a DISPID");
      item.members.push_back({static_cast<DISPID>(data), std::u16string(name, chars), {}, {}});
    }
    library.interfaces.push_back(std::move(item));
  }
  out = std::move(library);
  if (modulePath) *modulePath = path;
  return S_OK;
}

HRESULT getIDsOfNames(const TypeLibDescription& library, REFIID iid, const char16_t* const* names, UINT count,
                      DISPID* ids) {
  if (count && (!names || !ids)) return E_POINTER;
  const TypeLibInterface* item = library.find(iid);
  if (!item || !isDispatch(*item)) return TYPE_E_ELEMENTNOTFOUND;
  HRESULT result = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    for (const TypeLibMember& member : item->members)
      if (names[i] && platform::system::equalsNoCase(member.name, names[i])) ids[i] = member.id;
    if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
  }
  return result;
}

}  // namespace platform::com
