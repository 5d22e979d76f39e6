#include "platform/rtf/RtfReader.h"

#include <algorithm>
#include <array>
#include <limits>

#include "platform/system/CodePage.h"

namespace platform::rtf::detail {
namespace {

constexpr std::size_t kMaxFonts = 4096;
constexpr std::size_t kMaxColors = 4096;
constexpr std::size_t kMaxFontName = 256;
constexpr int kMaxUnicodeSkip = 64;

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Code pages whose bytes below 0x80 are always ASCII, whatever came before: not the stateful
// ones (ISO-2022, HZ, UTF-7), UTF-16 or EBCDIC.
bool asciiCompatible(UINT cp) {
  switch (cp) {
    case 37: case 500: case 875: case 1026: case 1047: case 1200: case 1201:
    case 50220: case 50221: case 50222: case 50225: case 50227: case 50229: case 52936: case 65000:
      return false;
    default:
      return !(cp >= 1140 && cp <= 1149) && (cp == 20866 || cp < 20273 || cp > 20871);
  }
}

bool singleBytePage(UINT cp) {
  return (cp >= 1250 && cp <= 1258) || cp == 874 || cp == 437 || cp == 850 || cp == 866 || cp == 10000 ||
         cp == 20127 || cp == 20866 || cp == 21866 || (cp >= 28591 && cp <= 28606);
}

// Destinations (first word of a group) whose content is never document text.
bool isSkippedDestination(std::string_view w) {
  static constexpr std::array<std::string_view, 58> kSkipped = {
      "stylesheet", "info", "pict", "objdata", "objclass", "objname", "header", "headerl", "headerr",
      "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "annotation", "atnid", "atnauthor",
      "atndate", "atnref", "atntime", "atrfstart", "atrfend", "xe", "tc", "txe", "rxe", "fldinst",
      "themedata", "colorschememapping", "datastore", "latentstyles", "listtable", "listoverridetable",
      "rsidtbl", "generator", "revtbl", "filetbl", "pgdsctbl", "mmathPr", "xmlnstbl", "userprops",
      "docvar", "template", "nonshppict", "shp", "shpinst", "bkmkstart", "bkmkend", "pn", "pntxta",
      "pntxtb", "ftnsep", "ftnsepc", "aftnsep", "aftnsepc", "ftncn", "aftncn"};
  return std::find(kSkipped.begin(), kSkipped.end(), w) != kSkipped.end();
}

// Control words that stand for one character.
char16_t characterOf(std::string_view w) {
  struct Entry {
    std::string_view word;
    char16_t c;
  };
  static constexpr Entry kChars[] = {
      {"tab", u'\t'},        {"emdash", 0x2014},    {"endash", 0x2013},   {"bullet", 0x2022},
      {"lquote", 0x2018},    {"rquote", 0x2019},    {"ldblquote", 0x201C}, {"rdblquote", 0x201D},
      {"emspace", 0x2003},   {"enspace", 0x2002},   {"qmspace", 0x2005},  {"zwj", 0x200D},
      {"zwnj", 0x200C},      {"ltrmark", 0x200E},   {"rtlmark", 0x200F},
  };
  for (const Entry& e : kChars)
    if (e.word == w) return e.c;
  return 0;
}

}  // namespace

Token Tokenizer::next() {
  while (m_pos < m_in.size()) {
    const char c = m_in[m_pos];
    Token t;
    switch (c) {
      case '{':
        ++m_pos;
        t.kind = Token::Kind::GroupStart;
        return t;
      case '}':
        ++m_pos;
        t.kind = Token::Kind::GroupEnd;
        return t;
      case '\r': case '\n': case '\0':
        ++m_pos;
        continue;
      case '\\': {
        ++m_pos;
        if (m_pos >= m_in.size()) return t;
        const char d = m_in[m_pos];
        if (isLetter(d)) {
          const std::size_t start = m_pos;
          while (m_pos < m_in.size() && isLetter(m_in[m_pos])) ++m_pos;
          t.kind = Token::Kind::Word;
          t.text = m_in.substr(start, m_pos - start);
          bool negative = false;
          if (m_pos + 1 < m_in.size() && m_in[m_pos] == '-' && isDigit(m_in[m_pos + 1])) {
            negative = true;
            ++m_pos;
          }
          if (m_pos < m_in.size() && isDigit(m_in[m_pos])) {
            std::int64_t value = 0;
            while (m_pos < m_in.size() && isDigit(m_in[m_pos])) {
              if (value <= std::numeric_limits<std::int32_t>::max()) value = value * 10 + (m_in[m_pos] - '0');
              ++m_pos;
            }
            value = std::min<std::int64_t>(value, std::numeric_limits<std::int32_t>::max());
            t.hasParam = true;
            t.param = static_cast<std::int32_t>(negative ? -value : value);
          }
          if (m_pos < m_in.size() && m_in[m_pos] == ' ') ++m_pos;
          return t;
        }
        if (d == '\'') {
          if (m_pos + 2 < m_in.size() && hexValue(m_in[m_pos + 1]) >= 0 && hexValue(m_in[m_pos + 2]) >= 0) {
            t.kind = Token::Kind::Byte;
            t.byte = static_cast<unsigned char>(hexValue(m_in[m_pos + 1]) * 16 + hexValue(m_in[m_pos + 2]));
            m_pos += 3;
            return t;
          }
          ++m_pos;
          t.kind = Token::Kind::Symbol;
          t.symbol = '\'';
          return t;
        }
        ++m_pos;
        if (d == '\r' || d == '\n') {
          t.kind = Token::Kind::Word;
          t.text = "par";
          return t;
        }
        t.kind = Token::Kind::Symbol;
        t.symbol = d;
        return t;
      }
      default: {
        const std::size_t start = m_pos;
        while (m_pos < m_in.size()) {
          const char e = m_in[m_pos];
          if (e == '{' || e == '}' || e == '\\' || e == '\r' || e == '\n' || e == '\0') break;
          ++m_pos;
        }
        t.kind = Token::Kind::Text;
        t.text = m_in.substr(start, m_pos - start);
        return t;
      }
    }
  }
  return Token{};
}

UINT codePageOfCharset(int charset) {
  switch (charset) {
    case 0: return 1252;
    case 2: return 1252;  // symbol fonts: keep their bytes single
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return 0;
  }
}

const TextDecoder::SingleByteTable* TextDecoder::singleByteTable(UINT codePage) {
  for (const SingleByteTable& t : m_tables)
    if (t.codePage == codePage) return &t;
  if (std::find(m_multiByte.begin(), m_multiByte.end(), codePage) != m_multiByte.end()) return nullptr;
  if (singleBytePage(codePage)) {
    std::string high(128, '\0');
    for (int i = 0; i < 128; ++i) high[i] = static_cast<char>(0x80 + i);
    if (auto text = platform::system::toUtf16(codePage, high); text && text->size() == 128) {
      m_tables.push_back({codePage, std::move(*text)});
      return &m_tables.back();
    }
  }
  m_multiByte.push_back(codePage);
  return nullptr;
}

void TextDecoder::addByte(unsigned char byte, UINT codePage) {
  if (!m_pending.empty()) {
    if (codePage == m_pendingCodePage) {
      m_pending.push_back(static_cast<char>(byte));
      return;
    }
    flush();
  }
  if (byte < 0x80 && asciiCompatible(codePage)) {
    m_out.push_back(static_cast<char16_t>(byte));
    return;
  }
  if (const SingleByteTable* t = singleByteTable(codePage)) {
    m_out.push_back(byte < 0x80 ? static_cast<char16_t>(byte) : t->high[byte - 0x80]);
    return;
  }
  m_pending.push_back(static_cast<char>(byte));
  m_pendingCodePage = codePage;
}

void TextDecoder::flush() {
  if (m_pending.empty()) return;
  auto text = platform::system::toUtf16(m_pendingCodePage, m_pending);
  if (!text) text = platform::system::toUtf16(1252, m_pending);
  if (text) m_out.append(*text);
  m_pending.clear();
}

RtfReader::RtfReader(std::string_view rtf) : m_tokens(rtf), m_decoder(m_text), m_nameDecoder(m_nameText) {
  std::size_t i = 0;
  while (i < rtf.size() && (rtf[i] == ' ' || rtf[i] == '\t' || rtf[i] == '\r' || rtf[i] == '\n')) ++i;
  m_started = rtf.substr(i, 5) == "{\\rtf";
  m_stack.emplace_back();
}

UINT RtfReader::fontCodePage() const {
  const int number = state().font >= 0 ? state().font : m_defaultFont;
  const Font* f = font(number);
  return f && f->codePage ? f->codePage : m_ansiCodePage;
}

const Font* RtfReader::font(int number) const {
  auto it = m_fonts.find(number);
  return it == m_fonts.end() ? nullptr : &it->second;
}

const Color* RtfReader::color(int number) const {
  if (number < 0 || static_cast<std::size_t>(number) >= m_colors.size()) return nullptr;
  return &m_colors[static_cast<std::size_t>(number)];
}

void RtfReader::appendText(char16_t c) {
  m_decoder.flush();
  m_text.push_back(c);
}

bool RtfReader::consumeSkip() {
  if (m_skip <= 0) return false;
  --m_skip;
  return true;
}

bool RtfReader::run() {
  if (!m_started) return false;
  for (;;) {
    const Token t = m_tokens.next();
    if (t.kind == Token::Kind::Text) {
      for (char c : t.text) textByte(static_cast<unsigned char>(c));
      continue;
    }
    if (t.kind == Token::Kind::Byte) {
      textByte(t.byte);
      continue;
    }
    m_decoder.flush();
    beforeChange();
    switch (t.kind) {
      case Token::Kind::GroupStart:
        if (m_stack.size() > kMaxDepth) return false;
        groupStart();
        continue;
      case Token::Kind::GroupEnd:
        if (m_stack.size() <= 2) {  // the document's own group closes: anything after it is not RTF
          m_stack.resize(1);
          break;
        }
        groupEnd();
        continue;
      case Token::Kind::Word:
        word(t);
        continue;
      case Token::Kind::Symbol:
        symbol(t);
        continue;
      default:
        break;
    }
    break;
  }
  finishFonts();
  return true;
}

void RtfReader::groupStart() {
  m_stack.push_back(m_stack.back());
  m_skip = 0;
  m_groupJustOpened = true;
  m_starred = false;
}

void RtfReader::groupEnd() {
  const Destination closed = state().destination;
  m_stack.pop_back();
  m_skip = 0;
  m_groupJustOpened = false;
  m_starred = false;
  if (closed == Destination::FontTable && state().destination != Destination::FontTable) finishFonts();
}

void RtfReader::word(const Token& t) {
  const bool first = m_groupJustOpened;
  const bool starred = m_starred;
  m_groupJustOpened = false;
  m_starred = false;
  GroupState& s = state();
  if (t.text == "bin") {
    if (t.hasParam && t.param > 0) m_tokens.skip(static_cast<std::size_t>(t.param));
    return;
  }
  if (first && (s.destination == Destination::Body || s.destination == Destination::HtmlTag)) {
    if (t.text == "fonttbl") {
      s.destination = Destination::FontTable;
      m_fontBeingDefined = -1;
      return;
    }
    if (t.text == "colortbl") {
      s.destination = Destination::ColorTable;
      m_nextColor = Color{};
      return;
    }
    if (isSkippedDestination(t.text)) {
      s.destination = Destination::Skip;
      return;
    }
    if (starred) {
      s.destination = starredDestination(t.text);
      if (s.destination == Destination::Skip) return;
    }
  } else if (first && starred) {
    s.destination = Destination::Skip;
  }
  switch (s.destination) {
    case Destination::Skip:
      return;
    case Destination::FontTable:
      fontTableWord(t);
      return;
    case Destination::ColorTable: {
      const auto component = static_cast<unsigned char>(std::clamp(t.param, 0, 255));
      if (t.text == "red") m_nextColor.red = component;
      else if (t.text == "green") m_nextColor.green = component;
      else if (t.text == "blue") m_nextColor.blue = component;
      else return;
      m_nextColor.automatic = false;
      return;
    }
    default:
      break;
  }

  if (t.text == "u") {
    if (textWanted()) appendText(static_cast<char16_t>(static_cast<std::uint16_t>(t.param)));
    m_skip = s.unicodeSkip;
    return;
  }
  if (consumeSkip()) return;
  if (t.text == "uc") {
    s.unicodeSkip = std::clamp(t.hasParam ? t.param : 1, 0, kMaxUnicodeSkip);
  } else if (t.text == "f") {
    s.font = t.hasParam ? t.param : -1;
  } else if (t.text == "ansicpg") {
    if (t.hasParam && t.param > 0 && supported(static_cast<UINT>(t.param)))
      m_ansiCodePage = static_cast<UINT>(t.param);
  } else if (t.text == "ansi") {
    m_ansiCodePage = 1252;
  } else if (t.text == "mac") {
    m_ansiCodePage = 10000;
  } else if (t.text == "pc") {
    m_ansiCodePage = 437;
  } else if (t.text == "pca") {
    m_ansiCodePage = 850;
  } else if (t.text == "deff") {
    m_defaultFont = t.param;
  } else if (const char16_t c = characterOf(t.text)) {
    if (textWanted()) appendText(c);
  } else {
    onControl(t);
  }
}

void RtfReader::symbol(const Token& t) {
  if (t.symbol == '*' && m_groupJustOpened) {
    m_starred = true;
    return;
  }
  m_groupJustOpened = false;
  m_starred = false;
  if (t.symbol == '\\' || t.symbol == '{' || t.symbol == '}') {
    textByte(static_cast<unsigned char>(t.symbol));
    return;
  }
  const Destination d = state().destination;
  if (d != Destination::Body && d != Destination::HtmlTag) return;
  if (consumeSkip()) return;
  if (t.symbol == '~') {
    if (textWanted()) appendText(0x00A0);
  } else if (t.symbol == '_') {
    if (textWanted()) appendText(0x2011);
  } else {
    onControl(t);
  }
}

void RtfReader::textByte(unsigned char byte) {
  m_groupJustOpened = false;
  m_starred = false;
  switch (state().destination) {
    case Destination::Skip:
      return;
    case Destination::FontTable: {
      auto it = m_fonts.find(m_fontBeingDefined);
      if (it == m_fonts.end() || it->second.nameDone) return;
      if (byte == ';') it->second.nameDone = true;
      else if (it->second.nameBytes.size() < kMaxFontName) it->second.nameBytes.push_back(static_cast<char>(byte));
      return;
    }
    case Destination::ColorTable:
      colorTableText(byte);
      return;
    default:
      break;
  }
  if (consumeSkip()) return;
  if (textWanted()) m_decoder.addByte(byte, textCodePage());
}

void RtfReader::fontTableWord(const Token& t) {
  if (t.text == "f") {
    m_fontBeingDefined = -1;
    if (!t.hasParam) return;
    if (m_fonts.size() >= kMaxFonts && m_fonts.find(t.param) == m_fonts.end()) return;
    m_fontBeingDefined = t.param;
    m_fonts[t.param] = Font{};
    return;
  }
  auto it = m_fonts.find(m_fontBeingDefined);
  if (it == m_fonts.end()) return;
  if (t.text == "fcharset") it->second.charset = t.param;
  else if (t.text == "cpg" && t.param > 0) it->second.codePage = static_cast<UINT>(t.param);
}

void RtfReader::colorTableText(unsigned char byte) {
  if (byte != ';') return;
  if (m_colors.size() < kMaxColors) m_colors.push_back(m_nextColor);
  m_nextColor = Color{};
}

bool RtfReader::supported(UINT codePage) {
  for (const auto& [cp, ok] : m_supported)
    if (cp == codePage) return ok;
  const bool ok = platform::system::isCodePageSupported(codePage);
  if (m_supported.size() < 64) m_supported.emplace_back(codePage, ok);
  return ok;
}

void RtfReader::finishFonts() {
  for (auto& [number, f] : m_fonts) {
    if (f.settled) continue;
    f.settled = true;
    UINT cp = f.codePage ? f.codePage : codePageOfCharset(f.charset);
    if (cp && !supported(cp)) cp = 0;
    f.codePage = cp;
    m_nameText.clear();
    for (char c : f.nameBytes) m_nameDecoder.addByte(static_cast<unsigned char>(c), cp ? cp : m_ansiCodePage);
    m_nameDecoder.flush();
    f.name = m_nameText;
  }
}

}  // namespace platform::rtf::detail
