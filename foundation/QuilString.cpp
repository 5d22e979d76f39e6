#include "foundation/QuilString.h"

#include <vector>

#include "foundation/TextFormat.h"
#include "platform/resources/Resources.h"
#include "platform/system/Text.h"

namespace {

constexpr int kStackChars = 256;

// LoadStringW cuts a text to its buffer: when fewer than three characters were spare the text
// may have been cut, so load again with a larger buffer.
bool loadWhole(HINSTANCE module, UINT id, std::u16string& out) {
  char16_t first[kStackChars];
  int n = LoadStringW(module, id, first, kStackChars);
  if (n == 0) return false;
  if (kStackChars - n >= 3) {
    out.assign(first, static_cast<std::size_t>(n));
    return true;
  }
  std::vector<char16_t> buffer;
  for (int size = 512;; size += 256) {
    buffer.assign(static_cast<std::size_t>(size) + 1, u'\0');
    n = LoadStringW(module, id, buffer.data(), size + 1);
    if (n == 0) return false;
    if (size + 1 - n >= 3) break;
  }
  out.assign(buffer.data(), static_cast<std::size_t>(n));
  return true;
}

}  // namespace

bool quilstring::LoadString(HINSTANCE module, UINT id) {
  std::u16string text;
  if (!loadWhole(module, id, text)) return false;
  assign(text);
  return true;
}

bool quilstring::FormatV(const char16_t* format, va_list args) {
  if (!format) return false;
  assign(NUtils::formatVa(format, args));
  return true;
}

bool quilstring::Format(const char16_t* format, ...) {
  if (!format) return false;
  va_list args;
  va_start(args, format);
  std::u16string text = NUtils::formatVa(format, args);
  va_end(args);
  assign(text);
  return true;
}

bool quilstring::FormatResource(HINSTANCE module, UINT id, ...) {
  std::u16string format;
  if (!loadWhole(module, id, format)) return false;
  va_list args;
  va_start(args, id);
  std::u16string text = NUtils::formatVa(format.c_str(), args);
  va_end(args);
  assign(text);
  return true;
}

std::string quilstring::toUtf8() const { return platform::system::utf16ToUtf8(*this); }

quilstring quilstring::fromUtf8(std::string_view bytes) { return quilstring(platform::system::utf8ToUtf16(bytes)); }
