// Build-time generator: turns resource scripts (.rc syntax, UTF-8) and the headers that name their
// ids into a C++ source holding the module's resource table.
//
//   rcgen OUT.cpp SYMBOL [-h header.h]... script.rc...
//
// Headers: lines `#define NAME value` and `constexpr TYPE NAME = value;` whose value is a number or
// an expression of names defined before it (resource.h, platform/ui/WinStyles.h); other lines are
// not ids and are passed over. Scripts: `#define` lines; STRINGTABLE; DIALOGEX and MENU blocks
// compiled into templates as Windows' resource compiler lays them out; file resources
// `NAME TYPE "path"` (path relative to the script; an ICON must be an .ico file). Anything else is
// refused with its file and line, and nothing is written.

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ui/WinStyles.h"

namespace {

struct ScriptError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Blob {
  std::string type;
  std::string name;
  std::vector<unsigned char> data;
};

struct Item {
  std::string className;
  std::string text;
  long long id = -1;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  DWORD helpId = 0;
};

struct Dialog {
  UINT id = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  DWORD helpId = 0;
  std::string caption;
  std::string className;
  std::string fontFace;
  int pointSize = 0;
  int weight = 0;
  bool italic = false;
  int charset = 1;  // DEFAULT_CHARSET
  UINT menuId = 0;
  std::vector<Item> items;
};

struct MenuItem {
  UINT id = 0;
  std::string text;
  UINT flags = 0;
  int depth = 0;
};

std::map<std::string, long long> g_defines = {
    // What winres.h gives every script: the dialog command ids and the id of unnamed controls.
    {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5},
    {"IDYES", 6}, {"IDNO", 7},     {"IDCLOSE", 8}, {"IDHELP", 9},  {"IDC_STATIC", -1}};
std::map<std::uint32_t, std::u16string> g_strings;
std::vector<Blob> g_blobs;
std::map<UINT, Dialog> g_dialogs;
std::map<UINT, std::vector<MenuItem>> g_menus;

[[noreturn]] void fail(const std::string& where, int line, const std::string& what) {
  throw ScriptError(where + ":" + std::to_string(line) + ": " + what);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return s;
}

std::u16string utf8ToUtf16(const std::string& s, const std::string& where, int line) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp;
    std::size_t extra;
    if (c < 0x80) { cp = c; extra = 0; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
    else fail(where, line, "invalid UTF-8");
    if (i + extra >= s.size() && extra) fail(where, line, "truncated UTF-8");
    for (std::size_t k = 1; k <= extra; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) fail(where, line, "invalid UTF-8");
      cp = (cp << 6) | (d & 0x3F);
    }
    i += 1 + extra;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

// A decimal or 0x number with optional L/U suffixes, at most 32 bits.
std::optional<long long> parseNumber(std::string s) {
  while (!s.empty() && (s.back() == 'L' || s.back() == 'l' || s.back() == 'U' || s.back() == 'u')) s.pop_back();
  if (s.empty() || !std::isdigit(static_cast<unsigned char>(s[0]))) return std::nullopt;
  int base = 10;
  std::size_t start = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    start = 2;
  }
  long long value = 0;
  for (std::size_t i = start; i < s.size(); ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFLL) return std::nullopt;
  }
  return value;
}

// A tokenizer over one script: identifiers/numbers, quoted strings (with rc escapes), punctuation.
struct Lexer {
  std::string text;
  std::string where;
  std::size_t pos = 0;
  int line = 1;

  enum Kind { End, Word, String, Punct };
  struct Token {
    Kind kind = End;
    std::string value;
    int line = 0;
  };

  void skipSpaceAndComments() {
    while (pos < text.size()) {
      char c = text[pos];
      if (c == '\n') { ++line; ++pos; }
      else if (c == ' ' || c == '\t' || c == '\r') { ++pos; }
      else if (text.compare(pos, 2, "//") == 0) { while (pos < text.size() && text[pos] != '\n') ++pos; }
      else if (text.compare(pos, 2, "/*") == 0) {
        const int opened = line;
        pos += 2;
        while (pos < text.size() && text.compare(pos, 2, "*/") != 0) { if (text[pos] == '\n') ++line; ++pos; }
        if (pos >= text.size()) fail(where, opened, "unterminated comment");
        pos += 2;
      } else break;
    }
  }

  // The rest of the current line (for preprocessor lines).
  std::string restOfLine() {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string r = text.substr(pos, end - pos);
    pos = end;
    return r;
  }

  static void appendUtf8(std::string& v, std::uint32_t cp) {
    if (cp < 0x80) v.push_back(static_cast<char>(cp));
    else if (cp < 0x800) { v.push_back(static_cast<char>(0xC0 | (cp >> 6))); v.push_back(static_cast<char>(0x80 | (cp & 0x3F))); }
    else { v.push_back(static_cast<char>(0xE0 | (cp >> 12))); v.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F))); v.push_back(static_cast<char>(0x80 | (cp & 0x3F))); }
  }

  Token next() {
    skipSpaceAndComments();
    Token t;
    t.line = line;
    if (pos >= text.size()) return t;
    char c = text[pos];
    if (c == '"') {
      t.kind = String;
      ++pos;
      std::string v;
      for (;;) {
        if (pos >= text.size()) fail(where, t.line, "unterminated string");
        char d = text[pos++];
        if (d == '\n') fail(where, t.line, "newline in string");
        if (d == '"') {
          if (pos < text.size() && text[pos] == '"') { v.push_back('"'); ++pos; continue; }
          break;
        }
        if (d == '\\' && pos < text.size()) {
          char e = text[pos++];
          switch (e) {
            case 'n': v.push_back('\n'); break;
            case 't': v.push_back('\t'); break;
            case 'r': v.push_back('\r'); break;
            case 'a': v.push_back('\b'); break;
            case '\\': v.push_back('\\'); break;
            case '"': v.push_back('"'); break;
            case '0': v.push_back('\0'); break;
            case 'x': {
              // \xHHHH: a UTF-16 unit, kept as UTF-8 here and widened later.
              std::uint32_t cp = 0;
              int n = 0;
              while (n < 4 && pos < text.size() && std::isxdigit(static_cast<unsigned char>(text[pos]))) {
                cp = cp * 16 + static_cast<std::uint32_t>(std::stoi(std::string(1, text[pos]), nullptr, 16));
                ++pos;
                ++n;
              }
              if (n == 0) fail(where, t.line, "bad \\x escape");
              appendUtf8(v, cp);
              break;
            }
            default: v.push_back('\\'); v.push_back(e); break;
          }
          continue;
        }
        v.push_back(d);
      }
      t.value = v;
      return t;
    }
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#') {
      t.kind = Word;
      std::size_t start = pos++;
      while (pos < text.size() && (std::isalnum(static_cast<unsigned char>(text[pos])) || text[pos] == '_' || text[pos] == '.')) ++pos;
      t.value = text.substr(start, pos - start);
      return t;
    }
    t.kind = Punct;
    t.value = std::string(1, c);
    ++pos;
    return t;
  }
};

// The lexer with one token of look-ahead, and the expressions of the script language.
struct Parser {
  Lexer lx;
  Lexer::Token tok;

  Parser(std::string text, std::string where) : lx{std::move(text), std::move(where)} { advance(); }

  void advance() { tok = lx.next(); }
  [[noreturn]] void error(const std::string& what) const { fail(lx.where, tok.line, what); }
  std::string shown() const { return tok.kind == Lexer::End ? std::string("end of file") : "'" + tok.value + "'"; }

  bool isWord(const char* word) const { return tok.kind == Lexer::Word && upper(tok.value) == word; }
  bool isPunct(char c) const { return tok.kind == Lexer::Punct && tok.value[0] == c; }
  bool isBegin() const { return isWord("BEGIN") || isPunct('{'); }
  bool isEnd() const { return isWord("END") || isPunct('}'); }

  bool accept(char c) {
    if (!isPunct(c)) return false;
    advance();
    return true;
  }
  void expect(char c, const char* what) {
    if (!accept(c)) error(std::string("expected ") + what + ", found " + shown());
  }
  void expectBegin(const std::string& block) {
    if (!isBegin()) error("expected BEGIN of " + block + ", found " + shown());
    advance();
  }
  std::string string(const char* what) {
    if (tok.kind != Lexer::String) error(std::string("expected ") + what + " in quotes, found " + shown());
    std::string s = tok.value;
    advance();
    return s;
  }

  long long primary() {
    if (accept('(')) {
      const long long v = orExpression();
      expect(')', "')'");
      return v;
    }
    if (accept('-')) return -primary();
    if (isWord("NOT")) advance();
    else if (!accept('~')) return operand();
    return ~primary() & 0xFFFFFFFFLL;
  }
  long long operand() {
    if (tok.kind != Lexer::Word) error("expected a number or a name, found " + shown());
    std::optional<long long> value = parseNumber(tok.value);
    if (!value) {
      if (std::isdigit(static_cast<unsigned char>(tok.value[0]))) error("bad number " + tok.value);
      auto it = g_defines.find(tok.value);
      if (it == g_defines.end()) error("unknown name " + tok.value);
      value = it->second;
    }
    advance();
    return *value;
  }
  long long additive() {
    long long v = primary();
    for (;;) {
      if (accept('+')) v += primary();
      else if (accept('-')) v -= primary();
      else return v;
    }
  }
  long long andExpression() {
    long long v = additive();
    while (accept('&')) v &= additive();
    return v;
  }
  long long orExpression() {
    long long v = andExpression();
    while (accept('|')) v |= andExpression();
    return v;
  }
  long long number(const char* what, long long low, long long high) {
    const int line = tok.line;
    const long long v = orExpression();
    if (v < low || v > high) fail(lx.where, line, std::string(what) + " " + std::to_string(v) + " out of range");
    return v;
  }

  // A style: the default bits, each `| X` added and each `| NOT X` taken away, left to right.
  DWORD style(DWORD initial) {
    long long v = initial;
    for (;;) {
      if (isWord("NOT")) {
        advance();
        v &= ~primary();
      } else {
        v |= andExpression();
      }
      if (!accept('|')) return static_cast<DWORD>(v & 0xFFFFFFFFLL);
    }
  }
};

// Header values: only numeric expressions name ids.
void defineFromText(const std::string& name, const std::string& value, const std::string& where, int line) {
  if (name.empty() || value.empty()) return;
  Parser p(value, where);
  p.lx.line = line;
  try {
    const long long v = p.orExpression();
    if (p.tok.kind == Lexer::End || p.isPunct(';')) g_defines[name] = v;
  } catch (const ScriptError&) {
    // A string, a macro with arguments or a type: not an id.
  }
}

void parseHeader(const std::string& path) {
  std::istringstream in(readFile(path));
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::istringstream ls(line);
    std::string first, name;
    ls >> first;
    if (first == "#define") {
      ls >> name;
      if (name.find('(') != std::string::npos) continue;
      std::string rest;
      std::getline(ls, rest);
      defineFromText(name, rest, path, number);
    } else if (first == "constexpr") {
      const std::size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::istringstream head(line.substr(0, eq));
      std::string word;
      while (head >> word) name = word;  // the last word before '=' is the name
      std::string value = line.substr(eq + 1);
      const std::size_t semi = value.find(';');
      if (semi != std::string::npos) value.resize(semi);
      defineFromText(name, value, path, number);
    }
  }
}

std::string dirOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// ------------------------------------------------------------------------------------------------
// STRINGTABLE

void parseStringTable(Parser& p) {
  while (p.tok.kind == Lexer::Word && !p.isWord("BEGIN")) p.advance();  // options
  p.expectBegin("STRINGTABLE");
  while (!p.isEnd()) {
    if (p.tok.kind == Lexer::End) p.error("STRINGTABLE without END");
    const int line = p.tok.line;
    const long long id = p.number("string id", 0, 0xFFFF);
    p.accept(',');
    const std::string text = p.string("a string");
    if (g_strings.count(static_cast<std::uint32_t>(id))) fail(p.lx.where, line, "duplicate string id " + std::to_string(id));
    g_strings[static_cast<std::uint32_t>(id)] = utf8ToUtf16(text, p.lx.where, line);
  }
  p.advance();
}

// ------------------------------------------------------------------------------------------------
// DIALOGEX

enum class Shape { Text, NoText, Icon, Generic };

struct ControlKind {
  const char* keyword;
  const char* className;
  DWORD style;  // besides WS_CHILD | WS_VISIBLE
  Shape shape;
};

// The shorthand statements, with the class and default style the resource compiler gives them.
const ControlKind kControlKinds[] = {
    {"LTEXT", "STATIC", SS_LEFT | WS_GROUP, Shape::Text},
    {"RTEXT", "STATIC", SS_RIGHT | WS_GROUP, Shape::Text},
    {"CTEXT", "STATIC", SS_CENTER | WS_GROUP, Shape::Text},
    {"PUSHBUTTON", "BUTTON", BS_PUSHBUTTON | WS_TABSTOP, Shape::Text},
    {"DEFPUSHBUTTON", "BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, Shape::Text},
    {"CHECKBOX", "BUTTON", BS_CHECKBOX | WS_TABSTOP, Shape::Text},
    {"AUTOCHECKBOX", "BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, Shape::Text},
    {"RADIOBUTTON", "BUTTON", BS_RADIOBUTTON | WS_TABSTOP, Shape::Text},
    {"AUTORADIOBUTTON", "BUTTON", BS_AUTORADIOBUTTON | WS_TABSTOP, Shape::Text},
    {"GROUPBOX", "BUTTON", BS_GROUPBOX, Shape::Text},
    {"EDITTEXT", "EDIT", ES_LEFT | WS_BORDER | WS_TABSTOP, Shape::NoText},
    {"COMBOBOX", "COMBOBOX", CBS_SIMPLE | WS_TABSTOP, Shape::NoText},
    {"LISTBOX", "LISTBOX", LBS_NOTIFY | WS_BORDER, Shape::NoText},
    {"SCROLLBAR", "SCROLLBAR", SBS_HORZ, Shape::NoText},
    {"ICON", "STATIC", SS_ICON, Shape::Icon},
    {"CONTROL", "", 0, Shape::Generic},
};

// The predefined window classes, which the compiler stores by atom: one spelling for each.
std::string predefinedClass(const std::string& name) {
  const std::string u = upper(name);
  for (const char* known : {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"})
    if (u == known) return u;
  return {};
}

// A control's text: a string, or an id (an icon's) written in decimal.
std::string controlText(Parser& p) {
  if (p.tok.kind == Lexer::String) return p.string("a text");
  return std::to_string(p.number("text id", 0, 0xFFFF));
}

int coordinate(Parser& p, const char* what, bool size) {
  return static_cast<int>(p.number(what, size ? 0 : -32768, 32767));
}

void parseControl(Parser& p, Dialog& d, const ControlKind& kind) {
  Item item;
  item.className = kind.className;
  p.advance();
  if (kind.shape != Shape::NoText) {
    item.text = controlText(p);
    p.expect(',', "',' after the text");
  }
  item.id = p.number("control id", -1, 0xFFFF);
  p.expect(',', "',' after the id");
  DWORD style = WS_CHILD | WS_VISIBLE | kind.style;
  if (kind.shape == Shape::Generic) {
    if (p.tok.kind == Lexer::String) {
      const int line = p.tok.line;
      item.className = p.string("a class");
      if (item.className.empty()) fail(p.lx.where, line, "empty class name");
    } else if (p.tok.kind == Lexer::Word && !predefinedClass(p.tok.value).empty()) {
      item.className = p.tok.value;
      p.advance();
    } else {
      p.error("expected a class name, found " + p.shown());
    }
    if (const std::string atom = predefinedClass(item.className); !atom.empty()) item.className = atom;
    p.expect(',', "',' after the class");
    style = p.style(style);
    p.expect(',', "',' after the style");
  }
  item.x = coordinate(p, "x", false);
  p.expect(',', "',' after x");
  item.y = coordinate(p, "y", false);
  bool more = true;
  if (kind.shape == Shape::Icon) {
    more = p.accept(',');  // an icon's size is optional: it sizes itself
  } else {
    p.expect(',', "',' after y");
  }
  if (more) {
    item.cx = coordinate(p, "width", true);
    p.expect(',', "',' after the width");
    item.cy = coordinate(p, "height", true);
    if (kind.shape != Shape::Generic && p.accept(',')) style = p.style(style);
    if (p.accept(',')) {
      item.exStyle = p.style(0);
      if (p.accept(',')) item.helpId = static_cast<DWORD>(p.number("help id", 0, 0xFFFFFFFFLL));
    }
  }
  item.style = style;
  d.items.push_back(std::move(item));
}

void parseDialog(Parser& p, UINT id, int line) {
  if (g_dialogs.count(id)) fail(p.lx.where, line, "duplicate dialog " + std::to_string(id));
  Dialog d;
  d.id = id;
  d.x = coordinate(p, "x", false);
  p.expect(',', "',' after x");
  d.y = coordinate(p, "y", false);
  p.expect(',', "',' after y");
  d.cx = coordinate(p, "width", true);
  p.expect(',', "',' after the width");
  d.cy = coordinate(p, "height", true);
  if (p.accept(',')) d.helpId = static_cast<DWORD>(p.number("help id", 0, 0xFFFFFFFFLL));

  std::optional<DWORD> style;
  bool caption = false, font = false;
  while (!p.isBegin()) {
    if (p.tok.kind != Lexer::Word) p.error("expected a dialog statement or BEGIN, found " + p.shown());
    const std::string statement = upper(p.tok.value);
    p.advance();
    if (statement == "STYLE") {
      style = p.style(0);
    } else if (statement == "EXSTYLE") {
      d.exStyle = p.style(0);
    } else if (statement == "CAPTION") {
      d.caption = p.string("the caption");
      caption = true;
    } else if (statement == "FONT") {
      d.pointSize = static_cast<int>(p.number("point size", 1, 0x7FFF));
      p.expect(',', "',' after the point size");
      const int faceLine = p.tok.line;
      d.fontFace = p.string("the font name");
      if (d.fontFace.empty()) fail(p.lx.where, faceLine, "empty font name");
      if (p.accept(',')) {
        d.weight = static_cast<int>(p.number("weight", 0, 1000));
        if (p.accept(',')) {
          d.italic = p.number("italic", 0, 1) != 0;
          if (p.accept(',')) d.charset = static_cast<int>(p.number("charset", 0, 255));
        }
      }
      font = true;
    } else if (statement == "MENU") {
      d.menuId = static_cast<UINT>(p.number("menu id", 1, 0xFFFF));
    } else if (statement == "CLASS") {
      d.className = p.string("the class name");
    } else {
      fail(p.lx.where, p.tok.line, "unknown dialog statement " + statement);
    }
  }
  p.advance();
  // As the resource compiler: a popup with border and system menu unless STYLE says otherwise;
  // CAPTION brings the title bar and FONT the flag that makes the dialog manager read the font.
  d.style = style.value_or(WS_POPUP | WS_BORDER | WS_SYSMENU);
  if (caption) d.style |= WS_CAPTION;
  if (font) d.style |= DS_SETFONT;

  while (!p.isEnd()) {
    if (p.tok.kind == Lexer::End) fail(p.lx.where, line, "dialog " + std::to_string(id) + " without END");
    const ControlKind* kind = nullptr;
    for (const ControlKind& k : kControlKinds)
      if (p.isWord(k.keyword)) kind = &k;
    if (!kind) p.error("unknown control statement " + p.shown());
    parseControl(p, d, *kind);
  }
  p.advance();
  g_dialogs[id] = std::move(d);
}

// ------------------------------------------------------------------------------------------------
// MENU

UINT menuOptions(Parser& p) {
  static const std::pair<const char*, UINT> kOptions[] = {
      {"CHECKED", MF_CHECKED}, {"GRAYED", MF_GRAYED},         {"INACTIVE", MF_DISABLED},
      {"HELP", MF_HELP},       {"MENUBREAK", MF_MENUBREAK},  {"MENUBARBREAK", MF_MENUBARBREAK}};
  UINT flags = 0;
  for (;;) {
    const bool comma = p.accept(',');
    bool found = false;
    for (const auto& [word, flag] : kOptions) {
      if (p.isWord(word)) {
        flags |= flag;
        found = true;
      }
    }
    if (!found) {
      if (comma) p.error("expected a menu option, found " + p.shown());
      return flags;
    }
    p.advance();
  }
}

void parseMenuEntries(Parser& p, std::vector<MenuItem>& entries, int depth, int line) {
  p.expectBegin("menu");
  while (!p.isEnd()) {
    if (p.tok.kind == Lexer::End) fail(p.lx.where, line, "menu without END");
    MenuItem entry;
    entry.depth = depth;
    if (p.isWord("MENUITEM")) {
      p.advance();
      if (p.isWord("SEPARATOR")) {
        p.advance();
        entry.flags = MF_SEPARATOR;
      } else {
        entry.text = p.string("the item's text");
        p.expect(',', "',' after the text");
        entry.id = static_cast<UINT>(p.number("command id", 0, 0xFFFF));
        entry.flags = menuOptions(p);
      }
      entries.push_back(std::move(entry));
    } else if (p.isWord("POPUP")) {
      const int popupLine = p.tok.line;
      p.advance();
      entry.text = p.string("the popup's text");
      entry.flags = MF_POPUP | menuOptions(p);
      entries.push_back(std::move(entry));
      parseMenuEntries(p, entries, depth + 1, popupLine);
    } else {
      p.error("expected MENUITEM, POPUP or END, found " + p.shown());
    }
  }
  p.advance();
}

void parseMenu(Parser& p, UINT id, int line) {
  if (g_menus.count(id)) fail(p.lx.where, line, "duplicate menu " + std::to_string(id));
  std::vector<MenuItem> entries;
  parseMenuEntries(p, entries, 0, line);
  if (entries.empty()) fail(p.lx.where, line, "menu " + std::to_string(id) + " has no entries");
  g_menus[id] = std::move(entries);
}

// ------------------------------------------------------------------------------------------------
// Files

// An .ico file: the directory and every image it names lie within the file.
void checkIcon(const std::vector<unsigned char>& d, const std::string& where, int line) {
  auto word = [&](std::size_t at) { return static_cast<unsigned>(d[at] | (d[at + 1] << 8)); };
  auto dword = [&](std::size_t at) { return static_cast<std::size_t>(word(at)) | (static_cast<std::size_t>(word(at + 2)) << 16); };
  if (d.size() < 6 || word(0) != 0 || word(2) != 1 || word(4) == 0) fail(where, line, "not an icon file");
  const std::size_t count = word(4);
  if (6 + 16 * count > d.size()) fail(where, line, "icon directory runs past the file");
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t size = dword(6 + 16 * i + 8), offset = dword(6 + 16 * i + 12);
    if (size == 0 || offset < 6 + 16 * count || offset > d.size() || size > d.size() - offset)
      fail(where, line, "icon image " + std::to_string(i) + " lies outside the file");
  }
}

void addBlob(Blob blob, const std::string& where, int line) {
  for (const Blob& b : g_blobs)
    if (b.type == blob.type && b.name == blob.name) fail(where, line, "duplicate resource " + blob.name + " of type " + blob.type);
  g_blobs.push_back(std::move(blob));
}

// ------------------------------------------------------------------------------------------------

void parseScript(const std::string& path) {
  Parser p(readFile(path), path);
  for (;;) {
    const Lexer::Token t = p.tok;
    if (t.kind == Lexer::End) return;
    if (t.kind == Lexer::Word && t.value == "#define") {
      std::istringstream ls(p.lx.restOfLine());
      std::string name, rest;
      ls >> name;
      std::getline(ls, rest);
      defineFromText(name, rest, path, t.line);
      p.advance();
      continue;
    }
    if (t.kind == Lexer::Word && t.value[0] == '#') {
      p.lx.restOfLine();  // #include and friends: headers come on the command line
      p.advance();
      continue;
    }
    if (p.isWord("STRINGTABLE")) {
      p.advance();
      parseStringTable(p);
      continue;
    }
    if (t.kind != Lexer::Word && t.kind != Lexer::String) p.error("unexpected " + p.shown());

    // NAME TYPE ...: a name that is a defined id stands for its number.
    std::optional<long long> number;
    if (t.kind == Lexer::Word) {
      number = parseNumber(t.value);
      if (!number && g_defines.count(t.value)) number = g_defines[t.value];
      if (!number && std::isdigit(static_cast<unsigned char>(t.value[0]))) p.error("bad number " + t.value);
    }
    const std::string name = number ? std::to_string(*number) : upper(t.value);
    p.advance();
    if (p.tok.kind != Lexer::Word) p.error("expected a resource type after " + t.value + ", found " + p.shown());
    const std::string type = upper(p.tok.value);
    p.advance();

    if (type == "DIALOGEX" || type == "MENU") {
      if (!number || *number < 1 || *number > 0xFFFF) fail(path, t.line, type + " " + t.value + " needs a numeric id from 1 to 65535");
      if (type == "DIALOGEX") parseDialog(p, static_cast<UINT>(*number), t.line);
      else parseMenu(p, static_cast<UINT>(*number), t.line);
      continue;
    }
    if (type == "DIALOG" || type == "MENUEX") fail(path, t.line, type + " is not understood; write DIALOGEX or MENU");
    if (p.tok.kind != Lexer::String) fail(path, t.line, "resource " + t.value + " of type " + type + " needs a file");
    const std::string file = p.tok.value[0] == '/' ? p.tok.value : dirOf(path) + "/" + p.tok.value;
    p.advance();
    if (!std::ifstream(file, std::ios::binary)) fail(path, t.line, "cannot open " + file);
    const std::string data = readFile(file);
    Blob blob{type, name, std::vector<unsigned char>(data.begin(), data.end())};
    if (type == "ICON") checkIcon(blob.data, path, t.line);
    addBlob(std::move(blob), path, t.line);
  }
}

// ------------------------------------------------------------------------------------------------
// Output

std::string u16Array(const std::u16string& s) {
  std::string out = "{";
  for (char16_t c : s) out += std::to_string(static_cast<unsigned>(c)) + ",";
  return out + "0}";
}

// Every text of the templates once, by its UTF-8 spelling.
struct TextPool {
  std::map<std::string, std::string> names;
  std::ostringstream out;
  std::string operator()(const std::string& text) {
    auto it = names.find(text);
    if (it != names.end()) return it->second;
    const std::string name = "t" + std::to_string(names.size());
    out << "const char16_t " << name << "[] = " << u16Array(utf8ToUtf16(text, "text", 0)) << ";\n";
    return names[text] = name;
  }
};

std::string hex(DWORD v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08Xu", static_cast<unsigned>(v));
  return buf;
}

void writeTemplates(std::ostream& body, TextPool& text) {
  for (const auto& [id, d] : g_dialogs) {
    if (d.items.empty()) continue;
    body << "const platform::resources::DialogItem kItems" << id << "[] = {\n";
    for (const Item& i : d.items) {
      body << "  {.className = " << text(i.className) << ", .text = " << text(i.text) << ", .id = " << i.id
           << ", .style = " << hex(i.style) << ", .exStyle = " << hex(i.exStyle) << ", .x = " << i.x << ", .y = " << i.y
           << ", .cx = " << i.cx << ", .cy = " << i.cy << ", .helpId = " << i.helpId << "u},\n";
    }
    body << "};\n";
  }
  if (!g_dialogs.empty()) {
    body << "const platform::resources::DialogTemplate kDialogs[] = {\n";
    for (const auto& [id, d] : g_dialogs) {
      body << "  {.id = " << id << "u, .style = " << hex(d.style) << ", .exStyle = " << hex(d.exStyle) << ", .x = " << d.x
           << ", .y = " << d.y << ", .cx = " << d.cx << ", .cy = " << d.cy << ", .caption = " << text(d.caption)
           << ", .fontFace = " << text(d.fontFace) << ", .pointSize = " << d.pointSize << ", .weight = " << d.weight
           << ", .italic = " << (d.italic ? "true" : "false") << ", .menuId = " << d.menuId << "u, .items = "
           << (d.items.empty() ? std::string("nullptr") : "kItems" + std::to_string(id)) << ", .itemCount = " << d.items.size()
           << ", .className = " << text(d.className) << ", .charset = " << d.charset << ", .helpId = " << d.helpId << "u},\n";
    }
    body << "};\n";
  }
  for (const auto& [id, entries] : g_menus) {
    body << "const platform::resources::MenuEntry kMenu" << id << "[] = {\n";
    for (const MenuItem& e : entries)
      body << "  {.id = " << e.id << "u, .text = " << text(e.text) << ", .flags = " << hex(e.flags) << ", .depth = " << e.depth << "},\n";
    body << "};\n";
  }
  if (!g_menus.empty()) {
    body << "const platform::resources::MenuTemplate kMenus[] = {\n";
    for (const auto& [id, entries] : g_menus)
      body << "  {.id = " << id << "u, .entries = kMenu" << id << ", .entryCount = " << entries.size() << "},\n";
    body << "};\n";
  }
}

void writeOutput(const std::string& outPath, const std::string& symbol) {
  std::ostringstream out;
  out << "// Generated by rcgen from the resource scripts. Do not edit.\n"
      << "#include \"platform/resources/Resources.h\"\n\nnamespace {\n";
  std::size_t i = 0;
  for (const auto& [id, text] : g_strings) {
    out << "const char16_t s" << i++ << "[] = " << u16Array(text) << ";\n";
  }
  for (std::size_t b = 0; b < g_blobs.size(); ++b) {
    out << "const char16_t bt" << b << "[] = " << u16Array(utf8ToUtf16(g_blobs[b].type, "type", 0)) << ";\n";
    out << "const char16_t bn" << b << "[] = " << u16Array(utf8ToUtf16(g_blobs[b].name, "name", 0)) << ";\n";
    out << "const unsigned char bd" << b << "[] = {";
    const auto& d = g_blobs[b].data;
    for (std::size_t k = 0; k < d.size(); ++k) out << (k ? "," : "") << (k % 32 == 0 ? "\n" : "") << static_cast<unsigned>(d[k]);
    out << (d.empty() ? "0" : "") << "};\n";
  }
  out << "const platform::resources::StringEntry kStrings[] = {\n";
  i = 0;
  for (const auto& [id, text] : g_strings) out << "  {" << id << "u, s" << i++ << ", " << text.size() << "},\n";
  if (g_strings.empty()) out << "  {0u, nullptr, 0},\n";
  out << "};\nconst platform::resources::BlobEntry kBlobs[] = {\n";
  for (std::size_t b = 0; b < g_blobs.size(); ++b)
    out << "  {bt" << b << ", bn" << b << ", bd" << b << ", " << g_blobs[b].data.size() << "},\n";
  if (g_blobs.empty()) out << "  {nullptr, nullptr, nullptr, 0},\n";
  out << "};\n";
  TextPool text;
  std::ostringstream templates;
  writeTemplates(templates, text);
  out << text.out.str() << templates.str();
  out << "}  // namespace\n\n"
      << "extern const platform::resources::ModuleResources " << symbol << ";\n"
      << "const platform::resources::ModuleResources " << symbol << " = {\"" << symbol << "\", kStrings, "
      << g_strings.size() << ", kBlobs, " << g_blobs.size() << ", " << (g_dialogs.empty() ? "nullptr" : "kDialogs") << ", "
      << g_dialogs.size() << ", " << (g_menus.empty() ? "nullptr" : "kMenus") << ", " << g_menus.size() << "};\n";
  // Write only when changed, so an unchanged script rebuilds nothing.
  std::string generated = out.str();
  std::ifstream old(outPath, std::ios::binary);
  if (old) {
    std::ostringstream o;
    o << old.rdbuf();
    if (o.str() == generated) return;
  }
  std::ofstream f(outPath, std::ios::binary);
  f << generated;
  if (!f) throw std::runtime_error("cannot write " + outPath);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: rcgen OUT.cpp SYMBOL [-h header]... script.rc...\n";
    return 2;
  }
  try {
    std::vector<std::string> scripts;
    for (int a = 3; a < argc; ++a) {
      std::string arg = argv[a];
      if (arg == "-h" && a + 1 < argc) parseHeader(argv[++a]);
      else scripts.push_back(arg);
    }
    for (const auto& s : scripts) parseScript(s);
    writeOutput(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::cerr << "rcgen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
