#include "platform/registry/detail/RegText.h"

#include <limits>
#include <optional>

#include "platform/registry/Registry.h"
#include "platform/system/CodePage.h"
#include "platform/system/Text.h"

namespace platform::registry::detail {
namespace {

constexpr std::u16string_view kHeader5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kHeader4 = u"REGEDIT4";
// regedit breaks a hex list once a line reaches this many characters.
constexpr std::size_t kHexLineWidth = 77;

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trimLeft(std::u16string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::u16string_view trimRight(std::u16string_view s) {
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::u16string_view trim(std::u16string_view s) { return trimRight(trimLeft(s)); }

int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads 1 to maxDigits hexadecimal digits making up the whole text.
std::optional<DWORD> parseHex(std::u16string_view s, std::size_t maxDigits) {
  if (s.empty() || s.size() > maxDigits) return std::nullopt;
  DWORD value = 0;
  for (char16_t c : s) {
    const int d = hexDigit(c);
    if (d < 0) return std::nullopt;
    value = (value << 4) | static_cast<DWORD>(d);
  }
  return value;
}

// The bytes of an ANSI (REGEDIT4) file or string: UTF-8 when they are valid UTF-8, else
// Windows-1252, the ANSI code page such files were mostly written in.
std::u16string ansiToText(std::string_view bytes) {
  std::u16string text;
  if (platform::system::utf8ToUtf16Strict(bytes, text)) return text;
  return platform::system::toUtf16(1252, bytes).value_or(platform::system::utf8ToUtf16(bytes));
}

bool decode(std::string_view bytes, std::u16string& text, std::u16string& error) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    if (bytes.size() % 2 != 0) {
      error = u"the UTF-16 text ends in half a character";
      return false;
    }
    text.resize((bytes.size() - 2) / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                      (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
    }
    return true;
  }
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF) {
    error = u"big-endian UTF-16 is not a registry file format";
    return false;
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  text = ansiToText(bytes);
  return true;
}

void appendUtf16Le(std::vector<BYTE>& out, std::u16string_view text) {
  for (char16_t c : text) {
    out.push_back(static_cast<BYTE>(c & 0xFF));
    out.push_back(static_cast<BYTE>(c >> 8));
  }
}

class Parser {
 public:
  explicit Parser(std::u16string_view text) {
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find(u'\n', start);
      if (end == std::u16string_view::npos) end = text.size();
      std::u16string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
      m_lines.push_back(line);
      start = end + 1;
    }
  }

  RegParseResult run() {
    std::size_t i = 0;
    while (i < m_lines.size() && trim(m_lines[i]).empty()) ++i;
    if (i == m_lines.size()) return fail(1, u"the file is empty");
    const std::u16string_view header = trim(m_lines[i]);
    if (header == kHeader5) {
      m_regedit4 = false;
    } else if (header == kHeader4) {
      m_regedit4 = true;
    } else {
      return fail(static_cast<unsigned>(i + 1), u"the first line is not \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
    }
    for (++i; i < m_lines.size(); ++i) {
      const unsigned lineNo = static_cast<unsigned>(i + 1);
      const std::u16string_view line = trimLeft(m_lines[i]);
      if (trimRight(line).empty() || line.front() == u';') continue;
      if (line.front() == u'[') {
        if (!section(trimRight(line), lineNo)) return m_result;
      } else if (line.front() == u'"' || line.front() == u'@') {
        if (!valueLine(line, i)) return m_result;
      } else {
        return fail(lineNo, u"the line is neither a key, a value nor a comment");
      }
    }
    m_result.ok = true;
    return std::move(m_result);
  }

 private:
  RegParseResult fail(unsigned line, std::u16string reason) {
    m_result.ok = false;
    m_result.ops.clear();
    m_result.errorLine = line;
    m_result.error = std::move(reason);
    return std::move(m_result);
  }

  bool failed(unsigned line, std::u16string reason) {
    m_result = fail(line, std::move(reason));
    return false;
  }

  bool section(std::u16string_view line, unsigned lineNo) {
    const std::size_t close = line.rfind(u']');
    if (close != line.size() - 1) return failed(lineNo, u"the key line does not end with \"]\"");
    std::u16string_view body = line.substr(1, close - 1);
    const bool remove = !body.empty() && body.front() == u'-';
    if (remove) body.remove_prefix(1);
    if (!body.empty() && body.back() == u'\\') body.remove_suffix(1);
    std::vector<std::u16string> parts;
    std::size_t start = 0;
    while (true) {
      const std::size_t end = body.find(u'\\', start);
      const std::u16string_view part = body.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
      if (part.empty()) return failed(lineNo, u"the key path has an empty name");
      if (part.size() > kMaxKeyNameLength) return failed(lineNo, u"a key name is longer than 255 characters");
      // The predefined key's name comes first.
      if (parts.size() > kMaxKeyDepth) return failed(lineNo, u"the key is more than 512 levels deep");
      parts.emplace_back(part);
      if (end == std::u16string_view::npos) break;
      start = end + 1;
    }
    const std::u16string root = foldName(parts.front());
    RootId id;
    if (root == u"HKEY_LOCAL_MACHINE" || root == u"HKLM") id = RootId::kLocalMachine;
    else if (root == u"HKEY_CURRENT_USER" || root == u"HKCU") id = RootId::kCurrentUser;
    else if (root == u"HKEY_CLASSES_ROOT" || root == u"HKCR") id = RootId::kClassesRoot;
    else return failed(lineNo, u"the key is not under HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_CLASSES_ROOT");
    parts.erase(parts.begin());
    if (remove && parts.empty()) return failed(lineNo, u"a predefined key cannot be deleted");
    RegOp op;
    op.kind = remove ? RegOp::Kind::kDeleteTree : RegOp::Kind::kCreateKey;
    op.root = id;
    op.line = lineNo;
    op.path = std::move(parts);
    m_inKey = !remove;
    m_deletedSection = remove;
    if (!remove) {
      m_root = id;
      m_path = op.path;
    }
    m_result.ops.push_back(std::move(op));
    return true;
  }

  // Reads a quoted text at s (which starts with the quote) with the escapes \\ and \";
  // a backslash before any other character stays as it is. Answers the rest after the quote.
  std::optional<std::u16string_view> quoted(std::u16string_view s, std::u16string& out) {
    out.clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
      const char16_t c = s[i];
      if (c == u'"') return s.substr(i + 1);
      if (c == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"')) {
        out.push_back(s[++i]);
      } else {
        out.push_back(c);
      }
    }
    return std::nullopt;
  }

  bool valueLine(std::u16string_view line, std::size_t& index) {
    const unsigned lineNo = static_cast<unsigned>(index + 1);
    std::u16string name;
    std::u16string_view rest;
    if (line.front() == u'@') {
      rest = line.substr(1);
    } else {
      const auto after = quoted(line, name);
      if (!after) return failed(lineNo, u"the value name has no closing quote");
      if (name.size() > kMaxValueNameLength) return failed(lineNo, u"the value name is longer than 16383 characters");
      rest = *after;
    }
    rest = trimLeft(rest);
    if (rest.empty() || rest.front() != u'=') return failed(lineNo, u"the value name is not followed by \"=\"");
    rest = trimLeft(rest.substr(1));

    // Hex lists continue on the next lines after a trailing backslash.
    std::u16string joined;
    if (platform::system::startsWithNoCase(rest, u"hex")) {
      joined.assign(trimRight(rest));
      while (!joined.empty() && joined.back() == u'\\') {
        if (index + 1 >= m_lines.size() || trim(m_lines[index + 1]).empty()) {
          return failed(lineNo, u"the hex list continues past its last line");
        }
        joined.pop_back();
        joined.append(trim(m_lines[++index]));
      }
      rest = joined;
    }

    if (m_deletedSection) return true;  // regedit ignores the values of a deleted key
    if (!m_inKey) return failed(lineNo, u"the value comes before any key");

    RegOp op;
    op.root = m_root;
    op.path = m_path;
    op.line = lineNo;
    op.name = std::move(name);
    const std::u16string_view data = trimRight(rest);
    if (data == u"-") {
      op.kind = RegOp::Kind::kDeleteValue;
    } else if (!data.empty() && data.front() == u'"') {
      std::u16string text;
      const auto after = quoted(data, text);
      if (!after) return failed(lineNo, u"the text has no closing quote");
      if (!trim(*after).empty()) return failed(lineNo, u"there is more after the closing quote of the text");
      op.kind = RegOp::Kind::kSetValue;
      op.type = REG_SZ;
      appendUtf16Le(op.data, text);
      op.data.insert(op.data.end(), {0, 0});
    } else if (platform::system::startsWithNoCase(data, u"dword:")) {
      const auto value = parseHex(trim(data.substr(6)), 8);
      if (!value) return failed(lineNo, u"a dword needs 1 to 8 hexadecimal digits");
      op.kind = RegOp::Kind::kSetValue;
      op.type = REG_DWORD;
      for (int shift = 0; shift < 32; shift += 8) op.data.push_back(static_cast<BYTE>(*value >> shift));
    } else if (platform::system::startsWithNoCase(data, u"hex")) {
      std::u16string_view list = data.substr(3);
      DWORD type = REG_BINARY;
      if (!list.empty() && list.front() == u'(') {
        const std::size_t close = list.find(u')');
        const auto parsed = close == std::u16string_view::npos ? std::nullopt : parseHex(list.substr(1, close - 1), 8);
        if (!parsed) return failed(lineNo, u"the type in hex(...) is not a hexadecimal number");
        type = *parsed;
        list = list.substr(close + 1);
      }
      if (list.empty() || list.front() != u':') return failed(lineNo, u"the hex list does not start with \":\"");
      list = trim(list.substr(1));
      std::vector<BYTE> bytes;
      while (!list.empty()) {
        const std::size_t comma = list.find(u',');
        const std::u16string_view item = trim(list.substr(0, comma));
        const auto byte = parseHex(item, 2);
        if (!byte) return failed(lineNo, u"the hex list holds something other than bytes");
        bytes.push_back(static_cast<BYTE>(*byte));
        if (comma == std::u16string_view::npos) break;
        list = trim(list.substr(comma + 1));
      }
      // REGEDIT4 keeps the text types in the ANSI code page; they are UTF-16 from here on.
      if (m_regedit4 && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
        const std::u16string text = ansiToText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        bytes.clear();
        appendUtf16Le(bytes, text);
      }
      op.kind = RegOp::Kind::kSetValue;
      op.type = type;
      op.data = std::move(bytes);
    } else {
      return failed(lineNo, u"the value is not a text, dword:, hex: or hex(n):");
    }
    m_result.ops.push_back(std::move(op));
    return true;
  }

  std::vector<std::u16string_view> m_lines;
  RegParseResult m_result;
  bool m_regedit4 = false;
  bool m_inKey = false;
  bool m_deletedSection = false;
  RootId m_root = RootId::kLocalMachine;
  std::vector<std::u16string> m_path;
};

// Escapes backslashes and quotes, the two escapes regedit knows.
void appendQuoted(std::u16string& out, std::u16string_view text) {
  out.push_back(u'"');
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  out.push_back(u'"');
}

// A REG_SZ that reads back the same from a quoted text: terminated, with no other NUL and no
// line break (regedit would write those raw and could not read them back).
bool isPlainText(const std::vector<BYTE>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  const std::size_t units = data.size() / 2;
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t c = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (i + 1 == units) return c == 0;
    if (c == 0 || c == u'\r' || c == u'\n') return false;
  }
  return false;
}

void appendHex(std::u16string& out, std::size_t lineLength, const std::vector<BYTE>& data) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  for (std::size_t i = 0; i < data.size(); ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 0xF]);
    if (i + 1 == data.size()) break;
    out.push_back(u',');
    lineLength += 3;
    if (lineLength >= kHexLineWidth) {
      out.append(u"\\\r\n  ");
      lineLength = 2;
    }
  }
}

void appendValue(std::u16string& out, const RegValue& value) {
  const std::size_t lineStart = out.size();
  if (value.name.empty()) {
    out.push_back(u'@');
  } else {
    appendQuoted(out, value.name);
  }
  out.push_back(u'=');
  if (value.type == REG_SZ && isPlainText(value.data)) {
    std::u16string text;
    for (std::size_t i = 0; i + 2 < value.data.size(); i += 2) {
      text.push_back(static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8)));
    }
    appendQuoted(out, text);
  } else if (value.type == REG_DWORD && value.data.size() == 4) {
    const DWORD v = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) | (static_cast<DWORD>(value.data[3]) << 24);
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    out.append(u"dword:");
    for (int shift = 28; shift >= 0; shift -= 4) out.push_back(kDigits[(v >> shift) & 0xF]);
  } else {
    if (value.type == REG_BINARY) {
      out.append(u"hex:");
    } else {
      static constexpr char16_t kDigits[] = u"0123456789abcdef";
      std::u16string type;
      DWORD t = value.type;
      do {
        type.insert(type.begin(), kDigits[t & 0xF]);
        t >>= 4;
      } while (t != 0);
      out.append(u"hex(").append(type).append(u"):");
    }
    appendHex(out, out.size() - lineStart, value.data);
  }
  out.append(u"\r\n");
}

// Stops (answering false) once the text passes maxUnits.
bool appendTree(std::u16string& out, std::u16string& fullName, const KeyNode& node, bool writeSection,
                std::size_t maxUnits) {
  if (out.size() > maxUnits) return false;
  if (writeSection) {
    out.push_back(u'[');
    out.append(fullName);
    out.append(u"]\r\n");
    for (const RegValue& value : node.values()) appendValue(out, value);
    out.append(u"\r\n");
  }
  for (const auto& [folded, child] : node.subkeys()) {
    const std::size_t length = fullName.size();
    fullName.push_back(u'\\');
    fullName.append(child->name());
    const bool fits = appendTree(out, fullName, *child, true, maxUnits);
    fullName.resize(length);
    if (!fits) return false;
  }
  return out.size() <= maxUnits;
}

}  // namespace

RegParseResult parseRegText(std::string_view bytes) {
  RegParseResult result;
  if (bytes.size() > kMaxRegFileBytes) {
    result.error = u"the file is larger than a registry file may be";
    return result;
  }
  std::u16string text;
  if (!decode(bytes, text, result.error)) return result;
  return Parser(text).run();
}

std::string writeRegText(const std::vector<ExportTree>& trees) {
  std::string bytes;
  writeRegText(trees, std::numeric_limits<std::size_t>::max(), bytes);
  return bytes;
}

bool writeRegText(const std::vector<ExportTree>& trees, std::size_t maxBytes, std::string& bytes) {
  bytes.clear();
  // Two bytes a unit after the two of the byte-order mark.
  const std::size_t maxUnits = maxBytes < 2 ? 0 : (maxBytes - 2) / 2;
  std::u16string text(kHeader5);
  text.append(u"\r\n\r\n");
  for (const ExportTree& tree : trees) {
    if (!tree.node) continue;
    std::u16string fullName = tree.fullName;
    if (!appendTree(text, fullName, *tree.node, !tree.isRoot || !tree.node->values().empty(), maxUnits)) return false;
  }
  if (text.size() > maxUnits) return false;
  bytes.assign("\xFF\xFE", 2);
  bytes.reserve(2 + text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return true;
}

}  // namespace platform::registry::detail
