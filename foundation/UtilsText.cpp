#include "foundation/Utils.h"

#include <cstdint>

#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "platform/system/Text.h"

namespace NUtils {

bool equalsNoCase(const std::u16string& a, const std::u16string& b) { return platform::system::equalsNoCase(a, b); }

bool equalsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(b[i]);
    if (charLower(x) != charLower(y)) return false;
  }
  return true;
}

void toLower(std::u16string& text) { CharLowerBuffW(text.data(), static_cast<DWORD>(text.size())); }

void toUpper(std::u16string& text) { CharUpperBuffW(text.data(), static_cast<DWORD>(text.size())); }

void tokenize(const std::u16string& text, const std::u16string& delimiters, std::vector<quilstring>& tokens) {
  std::size_t start = text.find_first_not_of(delimiters);
  while (start != std::u16string::npos) {
    const std::size_t end = text.find_first_of(delimiters, start);
    tokens.emplace_back(text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start));
    if (end == std::u16string::npos) break;
    start = text.find_first_not_of(delimiters, end);
  }
}

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f'; }

int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

// Read as a stream reads a number in hexadecimal: blanks, a sign, "0x", the digits. The value
// is taken as 32 bits so that tags and flags with the top bit set keep their bit pattern; more
// digits than 32 bits hold give all bits set.
std::int32_t hexToLong(const std::u16string& text) {
  std::size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  if (i + 2 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
      hexDigit(text[i + 2]) >= 0) {
    i += 2;
  }
  std::uint64_t value = 0;
  for (; i < text.size() && hexDigit(text[i]) >= 0; ++i) {
    value = (value << 4) | static_cast<std::uint64_t>(hexDigit(text[i]));
    if (value > UINT32_MAX) {
      value = UINT32_MAX;
      negative = false;
      break;
    }
  }
  const auto bits = static_cast<std::uint32_t>(value);
  return static_cast<std::int32_t>(negative ? 0u - bits : bits);
}

// As _wtol: a value past the 32-bit range stops at its limit.
std::int32_t toLong(const std::u16string& text) {
  std::size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value >= limit) {
      value = limit;
      break;
    }
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

const quilstring& separators() {
  static const quilstring text(u"\\/,;:");
  return text;
}

const quilstring& listSeparator() {
  static const quilstring text(u", ");
  return text;
}

bool MultiByteToWide(const std::string& bytes, quilstring& out) {
  return guarded(u"MultiByteToWide", false, [&] {
    std::u16string text;
    if (bytes.empty() || !platform::system::utf8ToUtf16Strict(bytes, text)) return false;
    out.assign(text);
    return true;
  });
}

bool WideToMultiByte(const std::u16string& text, std::string& out) {
  return guarded(u"WideToMultiByte", false, [&] {
    std::string bytes;
    if (text.empty() || !platform::system::utf16ToUtf8Strict(text, bytes)) return false;
    out = std::move(bytes);
    return true;
  });
}

}  // namespace NUtils
