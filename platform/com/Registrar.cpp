#include "platform/com/Registrar.h"

#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/registry/RegKey.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace platform::com {
namespace {

using system::utf16ToUtf8;

enum class Rule { kPlain, kNoRemove, kForceRemove, kDelete };

struct Value {
  DWORD type = REG_SZ;
  std::u16string text;
  DWORD number = 0;
};

// One key or named value of a script, as parsed.
struct Entry {
  Rule rule = Rule::kPlain;
  bool isNamedValue = false;
  std::u16string name;
  bool hasValue = false;
  Value value;
  std::vector<Entry> children;
};

struct Root {
  HKEY key;
  std::vector<Entry> entries;
};

class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Reads a script into its table of entries, with the replacements made.
class Parser {
 public:
  Parser(std::u16string_view text, const std::map<std::u16string, std::u16string>& replacements)
      : m_text(text), m_replacements(replacements) {}

  std::vector<Root> parse() {
    std::vector<Root> roots;
    for (skipSpace(); m_pos < m_text.size(); skipSpace()) {
      const std::u16string name = system::lowerCase(token());
      Root root{};
      if (name == u"hkcr" || name == u"hkey_classes_root") root.key = HKEY_CLASSES_ROOT;
      else if (name == u"hkcu" || name == u"hkey_current_user") root.key = HKEY_CURRENT_USER;
      else if (name == u"hklm" || name == u"hkey_local_machine") root.key = HKEY_LOCAL_MACHINE;
      else fail("unknown root key \"" + utf16ToUtf8(name) + "\"");
      expect(u'{');
      root.entries = entries();
      roots.push_back(std::move(root));
    }
    return roots;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw ScriptError(what + " at character " + std::to_string(m_pos));
  }

  void skipSpace() {
    while (m_pos < m_text.size() && isSpace(m_text[m_pos])) ++m_pos;
  }

  void expect(char16_t c) {
    skipSpace();
    if (m_pos >= m_text.size() || m_text[m_pos] != c) fail(std::string("expected '") + static_cast<char>(c) + "'");
    ++m_pos;
  }

  bool peek(char16_t c) {
    skipSpace();
    return m_pos < m_text.size() && m_text[m_pos] == c;
  }

  // A bare word (up to a space, '=', '{' or '}') or a quoted text, replacements made.
  std::u16string token() {
    skipSpace();
    if (m_pos >= m_text.size()) fail("unexpected end");
    std::u16string raw;
    if (m_text[m_pos] == u'\'') {
      for (++m_pos;; ++m_pos) {
        if (m_pos >= m_text.size()) fail("unterminated text");
        if (m_text[m_pos] == u'\'') {
          if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'\'') {
            raw.push_back(u'\'');
            ++m_pos;
            continue;
          }
          ++m_pos;
          break;
        }
        raw.push_back(m_text[m_pos]);
      }
    } else if (m_text[m_pos] == u'{' && m_pos + 1 < m_text.size() && !isSpace(m_text[m_pos + 1])) {
      // A braced class id is one name, not the start of a block.
      const std::size_t end = m_text.find(u'}', m_pos);
      if (end == std::u16string_view::npos) fail("unterminated braced name");
      raw.assign(m_text.substr(m_pos, end + 1 - m_pos));
      m_pos = end + 1;
    } else {
      while (m_pos < m_text.size() && !isSpace(m_text[m_pos]) && m_text[m_pos] != u'=' && m_text[m_pos] != u'{' &&
             m_text[m_pos] != u'}')
        raw.push_back(m_text[m_pos++]);
      if (raw.empty()) fail("expected a name");
    }
    return replace(raw);
  }

  std::u16string replace(const std::u16string& raw) const {
    std::u16string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != u'%') {
        out.push_back(raw[i]);
        continue;
      }
      const std::size_t end = raw.find(u'%', i + 1);
      if (end == std::u16string::npos) fail("unterminated replacement");
      const std::u16string key = raw.substr(i + 1, end - i - 1);
      if (key.empty()) {
        out.push_back(u'%');
      } else {
        const auto found = m_replacements.find(system::lowerCase(key));
        if (found == m_replacements.end()) fail("no replacement for %" + utf16ToUtf8(key) + "%");
        out += found->second;
      }
      i = end;
    }
    return out;
  }

  Value value() {
    const std::u16string type = system::lowerCase(token());
    Value v;
    const std::u16string text = token();
    if (type == u"s") {
      v.type = REG_SZ;
      v.text = text;
    } else if (type == u"d") {
      v.type = REG_DWORD;
      try {
        std::size_t used = 0;
        const std::string digits = utf16ToUtf8(text);
        v.number = static_cast<DWORD>(std::stoul(digits, &used, 0));
        if (used != digits.size()) fail("bad number");
      } catch (const std::logic_error&) {
        fail("bad number \"" + utf16ToUtf8(text) + "\"");
      }
    } else {
      fail("unknown value type \"" + utf16ToUtf8(type) + "\"");
    }
    return v;
  }

  // Entries up to and with the closing brace.
  std::vector<Entry> entries() {
    std::vector<Entry> list;
    while (!peek(u'}')) {
      Entry e;
      std::u16string word = token();
      const std::u16string lower = system::lowerCase(word);
      if (lower == u"noremove" || lower == u"forceremove" || lower == u"delete") {
        e.rule = lower == u"noremove" ? Rule::kNoRemove : lower == u"forceremove" ? Rule::kForceRemove : Rule::kDelete;
        word = token();
      }
      if (system::lowerCase(word) == u"val") {
        e.isNamedValue = true;
        word = token();
      }
      e.name = word;
      if (e.name.find(u'\\') != std::u16string::npos) fail("a key name holds a separator");
      if (peek(u'=')) {
        ++m_pos;
        e.hasValue = true;
        e.value = value();
      }
      if (e.isNamedValue && !e.hasValue) fail("a named value needs a value");
      if (!e.isNamedValue && peek(u'{')) {
        ++m_pos;
        e.children = entries();
      }
      list.push_back(std::move(e));
    }
    expect(u'}');
    return list;
  }

  std::u16string_view m_text;
  const std::map<std::u16string, std::u16string>& m_replacements;
  std::size_t m_pos = 0;
};

LONG setValue(HKEY key, const char16_t* name, const Value& v) {
  if (v.type == REG_DWORD)
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v.number), sizeof v.number);
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.text.c_str()),
                        static_cast<DWORD>((v.text.size() + 1) * sizeof(char16_t)));
}

bool missing(LONG rc) { return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND; }

// Applies the entries under parent; answers the first failure, having tried everything.
class Applier {
 public:
  LONG failure = ERROR_SUCCESS;
  std::string where;

  void registerEntries(HKEY parent, const std::vector<Entry>& list, const std::string& path) {
    for (const Entry& e : list) {
      const std::string name = path + "\\" + utf16ToUtf8(e.name);
      if (e.isNamedValue) {
        note(setValue(parent, e.name.c_str(), e.value), name);
        continue;
      }
      if (e.rule == Rule::kForceRemove || e.rule == Rule::kDelete) {
        const LONG rc = RegDeleteTreeW(parent, e.name.c_str());
        if (!missing(rc)) note(rc, name);
        if (e.rule == Rule::kDelete) continue;
      }
      CRegKey key;
      if (!note(key.Create(parent, e.name.c_str()), name)) continue;
      if (e.hasValue) note(setValue(key, nullptr, e.value), name);
      registerEntries(key, e.children, name);
      note(key.Close(), name);
    }
  }

  void unregisterEntries(HKEY parent, const std::vector<Entry>& list, const std::string& path) {
    for (const Entry& e : list) {
      const std::string name = path + "\\" + utf16ToUtf8(e.name);
      if (e.rule == Rule::kDelete) continue;
      if (e.isNamedValue) {
        const LONG rc = RegDeleteValueW(parent, e.name.c_str());
        if (!missing(rc)) note(rc, name);
        continue;
      }
      if (e.rule == Rule::kForceRemove) {
        const LONG rc = RegDeleteTreeW(parent, e.name.c_str());
        if (!missing(rc)) note(rc, name);
        continue;
      }
      CRegKey key;
      const LONG rc = key.Open(parent, e.name.c_str(), KEY_READ | KEY_WRITE);
      if (missing(rc)) continue;
      if (!note(rc, name)) continue;
      unregisterEntries(key, e.children, name);
      if (e.rule == Rule::kNoRemove) continue;
      DWORD subKeys = 0;
      note(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr),
           name);
      note(key.Close(), name);
      if (subKeys == 0) {
        const LONG deleted = RegDeleteKeyW(parent, e.name.c_str());
        if (!missing(deleted)) note(deleted, name);
      }
    }
  }

 private:
  bool note(LONG rc, const std::string& name) {
    if (rc == ERROR_SUCCESS) return true;
    if (failure == ERROR_SUCCESS) {
      failure = rc;
      where = name;
    }
    return false;
  }
};

const char* rootName(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return "HKCR";
  if (key == HKEY_CURRENT_USER) return "HKCU";
  return "HKLM";
}

}  // namespace

void CRegistrar::addReplacement(std::u16string_view key, std::u16string_view value) {
  m_replacements[system::lowerCase(key)] = std::u16string(value);
}

HRESULT CRegistrar::registerScript(std::u16string_view script) {
  return diag::guarded("CRegistrar::registerScript", E_FAIL, [&] { return apply(script, true); });
}

HRESULT CRegistrar::unregisterScript(std::u16string_view script) {
  return diag::guarded("CRegistrar::unregisterScript", E_FAIL, [&] { return apply(script, false); });
}

HRESULT CRegistrar::apply(std::u16string_view script, bool registering) {
  const char* where = registering ? "CRegistrar::registerScript" : "CRegistrar::unregisterScript";
  std::vector<Root> roots;
  try {
    roots = Parser(script, m_replacements).parse();
  } catch (const ScriptError& e) {
    diag::error(where, std::string("the script cannot be read: ") + e.what());
    return DISP_E_EXCEPTION;
  }
  Applier applier;
  for (const Root& root : roots) {
    if (registering) applier.registerEntries(root.key, root.entries, rootName(root.key));
    else applier.unregisterEntries(root.key, root.entries, rootName(root.key));
  }
  if (applier.failure == ERROR_SUCCESS) return S_OK;
  diag::error(where, applier.where + ": " + utf16ToUtf8(system::errorText(static_cast<DWORD>(applier.failure))));
  return HRESULT_FROM_WIN32(applier.failure);
}

}  // namespace platform::com
