#include "platform/system/Text.h"

#include <unicode/uchar.h>

DWORD CharLowerBuffW(char16_t* text, DWORD length) {
  if (!text) return 0;
  for (DWORD i = 0; i < length; ++i) text[i] = charLower(text[i]);
  return length;
}

DWORD CharUpperBuffW(char16_t* text, DWORD length) {
  if (!text) return 0;
  for (DWORD i = 0; i < length; ++i) text[i] = charUpper(text[i]);
  return length;
}

char16_t charLower(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  UChar32 m = u_tolower(c);
  return m <= 0xFFFF ? static_cast<char16_t>(m) : c;
}

char16_t charUpper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  UChar32 m = u_toupper(c);
  return m <= 0xFFFF ? static_cast<char16_t>(m) : c;
}

namespace platform::system {

bool equalsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && charLower(a[i]) != charLower(b[i])) return false;
  }
  return true;
}

bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

std::u16string lowerCase(std::u16string_view text) {
  std::u16string out(text);
  CharLowerBuffW(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

namespace {

// Decodes one UTF-8 sequence at s[i]; answers the code point or -1, and advances i.
long decodeOne(std::string_view s, std::size_t& i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) { ++i; return c; }
  int extra;
  long cp;
  long min;
  if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; min = 0x80; }
  else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; min = 0x800; }
  else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; min = 0x10000; }
  else { ++i; return -1; }
  std::size_t j = i + 1;
  for (int k = 0; k < extra; ++k, ++j) {
    if (j >= s.size() || (static_cast<unsigned char>(s[j]) & 0xC0) != 0x80) { i = j; return -1; }
    cp = (cp << 6) | (static_cast<unsigned char>(s[j]) & 0x3F);
  }
  i = j;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  return cp;
}

void appendUtf16(std::u16string& out, long cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

void appendUtf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

template <bool Strict>
bool toUtf16(std::string_view bytes, std::u16string& out) {
  out.clear();
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    long cp = decodeOne(bytes, i);
    if (cp < 0) {
      if (Strict) return false;
      cp = 0xFFFD;
    }
    appendUtf16(out, cp);
  }
  return true;
}

template <bool Strict>
bool toUtf8(std::u16string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned long cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (Strict) return false;
      cp = 0xFFFD;
    }
    appendUtf8(out, cp);
  }
  return true;
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  toUtf16<false>(bytes, out);
  return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  toUtf8<false>(text, out);
  return out;
}

bool utf8ToUtf16Strict(std::string_view bytes, std::u16string& out) { return toUtf16<true>(bytes, out); }

bool utf16ToUtf8Strict(std::u16string_view text, std::string& out) { return toUtf8<true>(text, out); }

}  // namespace platform::system
