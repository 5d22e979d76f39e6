// Build-time generator: turns resource scripts (.rc syntax, UTF-8) and the headers that name their
// ids into a C++ source holding the module's resource table.
//
//   rcgen OUT.cpp SYMBOL [-h header.h]... script.rc...
//
// Understood: `#define NAME number` in headers and scripts; STRINGTABLE blocks; one-line file
// resources `NAME TYPE "path"` (path relative to the script). Other blocks (dialogs, menus) are
// copied as RCDATA-free text resources of type "DIALOG"/"MENU" for the layers that read them.

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Blob {
  std::string type;
  std::string name;
  std::vector<unsigned char> data;
};

std::map<std::string, long> g_defines;
std::map<std::uint32_t, std::u16string> g_strings;
std::vector<Blob> g_blobs;

[[noreturn]] void fail(const std::string& where, int line, const std::string& what) {
  throw std::runtime_error(where + ":" + std::to_string(line) + ": " + what);
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
    int extra;
    if (c < 0x80) { cp = c; extra = 0; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
    else fail(where, line, "invalid UTF-8");
    if (i + extra >= s.size() + (extra ? 0 : 1) && extra) fail(where, line, "truncated UTF-8");
    for (int k = 1; k <= extra; ++k) {
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
        pos += 2;
        while (pos < text.size() && text.compare(pos, 2, "*/") != 0) { if (text[pos] == '\n') ++line; ++pos; }
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
              if (cp < 0x80) v.push_back(static_cast<char>(cp));
              else if (cp < 0x800) { v.push_back(static_cast<char>(0xC0 | (cp >> 6))); v.push_back(static_cast<char>(0x80 | (cp & 0x3F))); }
              else { v.push_back(static_cast<char>(0xE0 | (cp >> 12))); v.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F))); v.push_back(static_cast<char>(0x80 | (cp & 0x3F))); }
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

long resolveId(const std::string& word, const std::string& where, int line) {
  if (!word.empty() && std::isdigit(static_cast<unsigned char>(word[0]))) {
    return std::stol(word, nullptr, 0);
  }
  auto it = g_defines.find(word);
  if (it == g_defines.end()) fail(where, line, "unknown id " + word);
  return it->second;
}

void parseDefines(const std::string& path) {
  std::istringstream in(readFile(path));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string hash, name, value;
    ls >> hash >> name >> value;
    if (hash == "#define" && !value.empty() && std::isdigit(static_cast<unsigned char>(value[0]))) {
      g_defines[name] = std::stol(value, nullptr, 0);
    }
  }
}

std::string dirOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void parseScript(const std::string& path) {
  Lexer lx{readFile(path), path};
  for (;;) {
    Lexer::Token t = lx.next();
    if (t.kind == Lexer::End) return;
    if (t.kind == Lexer::Word && t.value == "#define") {
      std::istringstream ls(lx.restOfLine());
      std::string name, value;
      ls >> name >> value;
      if (!value.empty() && std::isdigit(static_cast<unsigned char>(value[0]))) g_defines[name] = std::stol(value, nullptr, 0);
      continue;
    }
    if (t.kind == Lexer::Word && t.value[0] == '#') {
      lx.restOfLine();  // #include and friends: headers come on the command line
      continue;
    }
    if (t.kind == Lexer::Word && upper(t.value) == "STRINGTABLE") {
      Lexer::Token b = lx.next();
      while (b.kind == Lexer::Word && upper(b.value) != "BEGIN") b = lx.next();  // options
      if (!(b.kind == Lexer::Word && upper(b.value) == "BEGIN") && b.value != "{") fail(path, b.line, "STRINGTABLE without BEGIN");
      for (;;) {
        Lexer::Token id = lx.next();
        if (id.kind == Lexer::End) fail(path, id.line, "STRINGTABLE without END");
        if ((id.kind == Lexer::Word && upper(id.value) == "END") || id.value == "}") break;
        if (id.kind != Lexer::Word) fail(path, id.line, "expected an id");
        long num = resolveId(id.value, path, id.line);
        Lexer::Token s = lx.next();
        if (s.kind == Lexer::Punct && s.value == ",") s = lx.next();
        if (s.kind != Lexer::String) fail(path, s.line, "expected a string for " + id.value);
        if (g_strings.count(static_cast<std::uint32_t>(num))) fail(path, s.line, "duplicate string id " + id.value);
        g_strings[static_cast<std::uint32_t>(num)] = utf8ToUtf16(s.value, path, s.line);
      }
      continue;
    }
    if (t.kind == Lexer::Word || t.kind == Lexer::String) {
      // NAME TYPE "file"  or  NAME TYPE [options] BEGIN ... END (a block kept as text)
      Lexer::Token type = lx.next();
      if (type.kind != Lexer::Word) fail(path, type.line, "expected a resource type after " + t.value);
      std::string name = t.kind == Lexer::Word && std::isdigit(static_cast<unsigned char>(t.value[0]))
                             ? std::to_string(std::stol(t.value, nullptr, 0))
                             : upper(t.value);
      std::string utype = upper(type.value);
      std::size_t blockStart = lx.pos;
      Lexer::Token f = lx.next();
      if (f.kind == Lexer::String) {
        std::string file = f.value[0] == '/' ? f.value : dirOf(path) + "/" + f.value;
        std::string data = readFile(file);
        g_blobs.push_back({utype, name, std::vector<unsigned char>(data.begin(), data.end())});
        continue;
      }
      // A block: skip options up to BEGIN, then keep the text to its matching END.
      while (f.kind != Lexer::End && !(f.kind == Lexer::Word && upper(f.value) == "BEGIN") && f.value != "{") f = lx.next();
      if (f.kind == Lexer::End) fail(path, t.line, "resource " + t.value + " has neither file nor block");
      int depth = 1;
      while (depth > 0) {
        Lexer::Token k = lx.next();
        if (k.kind == Lexer::End) fail(path, t.line, "unterminated block " + t.value);
        if ((k.kind == Lexer::Word && upper(k.value) == "BEGIN") || k.value == "{") ++depth;
        if ((k.kind == Lexer::Word && upper(k.value) == "END") || k.value == "}") --depth;
      }
      std::string block = lx.text.substr(blockStart, lx.pos - blockStart);
      g_blobs.push_back({utype, name, std::vector<unsigned char>(block.begin(), block.end())});
      continue;
    }
    fail(path, t.line, "unexpected '" + t.value + "'");
  }
}

void writeU16(std::ostream& out, const std::u16string& s) {
  out << "{";
  for (std::size_t i = 0; i < s.size(); ++i) out << (i ? "," : "") << static_cast<unsigned>(s[i]);
  out << (s.empty() ? "0" : "") << "}";
}

void writeOutput(const std::string& outPath, const std::string& symbol) {
  std::ostringstream out;
  out << "// Generated by rcgen from the resource scripts. Do not edit.\n"
      << "#include \"platform/resources/Resources.h\"\n\nnamespace {\n";
  std::size_t i = 0;
  for (const auto& [id, text] : g_strings) {
    out << "const char16_t s" << i++ << "[] = ";
    writeU16(out, text);
    out << ";\n";
  }
  for (std::size_t b = 0; b < g_blobs.size(); ++b) {
    out << "const char16_t bt" << b << "[] = ";
    writeU16(out, utf8ToUtf16(g_blobs[b].type, "type", 0) + u'\0');
    out << ";\nconst char16_t bn" << b << "[] = ";
    writeU16(out, utf8ToUtf16(g_blobs[b].name, "name", 0) + u'\0');
    out << ";\nconst unsigned char bd" << b << "[] = {";
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
  out << "};\n}  // namespace\n\n"
      << "extern const platform::resources::ModuleResources " << symbol << ";\n"
      << "const platform::resources::ModuleResources " << symbol << " = {\"" << symbol << "\", kStrings, "
      << g_strings.size() << ", kBlobs, " << g_blobs.size() << "};\n";
  // Write only when changed, so an unchanged script rebuilds nothing.
  std::string text = out.str();
  std::ifstream old(outPath, std::ios::binary);
  if (old) {
    std::ostringstream o;
    o << old.rdbuf();
    if (o.str() == text) return;
  }
  std::ofstream f(outPath, std::ios::binary);
  f << text;
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
      if (arg == "-h" && a + 1 < argc) parseDefines(argv[++a]);
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
