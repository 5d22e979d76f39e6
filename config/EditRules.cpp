#include "config/EditRules.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace NConfig {
namespace {

constexpr double kMillimetresPerHundredth = 0.254;

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::size_t lastSeparator(const quilstring& path) { return path.find_last_of(u"/\\"); }

}  // namespace

std::optional<DWORD> parseBoundedNumber(const quilstring& text, DWORD limit) {
  if (text.empty()) return std::nullopt;
  unsigned long long value = 0;
  for (char16_t c : text) {
    if (!isDigit(c)) return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - u'0');
    if (value > limit) return std::nullopt;
  }
  return static_cast<DWORD>(value);
}

std::optional<PageRange> parsePageRange(const quilstring& text) {
  const std::size_t dash = text.find(u'-');
  if (dash == quilstring::npos) {
    const auto page = parseBoundedNumber(text);
    if (!page) return std::nullopt;
    return PageRange{*page, *page};
  }
  const auto from = parseBoundedNumber(text.substr(0, dash));
  const auto to = parseBoundedNumber(text.substr(dash + 1));
  if (!from || !to || *from > *to) return std::nullopt;
  return PageRange{*from, *to};
}

quilstring formatPageRange(DWORD from, DWORD to) {
  const auto shown = [](DWORD value) { return static_cast<std::int32_t>(value) > 0 ? value : DWORD{1}; };
  from = shown(from);
  to = shown(to);
  quilstring text;
  if (from < to) text.Format(u"%u-%u", from, to);
  else text.Format(u"%u", from);
  return text;
}

quilstring formatMargin(DWORD hundredths, bool inches) {
  const double value = inches ? hundredths / 100.0 : hundredths * kMillimetresPerHundredth;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", value);
  return quilstring::fromUtf8(buffer);
}

std::optional<DWORD> parseMargin(const quilstring& text, bool inches) {
  std::string number;
  bool point = false;
  for (char16_t c : text) {
    if (c == u'.') {
      if (point) break;  // read up to the second point, as a scanned number is
      point = true;
    } else if (!isDigit(c)) {
      return std::nullopt;
    }
    number += static_cast<char>(c);
  }
  for (char16_t c : text)
    if (c != u'.' && !isDigit(c)) return std::nullopt;
  if (number.find_first_of("0123456789") == std::string::npos) return std::nullopt;
  const double value = std::strtod(number.c_str(), nullptr);
  const double hundredths = std::round(inches ? value * 100.0 : value / kMillimetresPerHundredth);
  if (!(hundredths >= 0.0) || hundredths > static_cast<double>(kMaxSignedValue)) return std::nullopt;
  return static_cast<DWORD>(hundredths);
}

bool isValidMessageClass(const quilstring& messageClass) {
  if (messageClass.size() > kMaxClassName || messageClass.find(u'\\') != quilstring::npos) return false;
  for (char16_t c : messageClass)
    if (c != u' ' && c != u'\t') return true;
  return false;
}

quilstring fileNameOf(const quilstring& path) {
  const std::size_t separator = lastSeparator(path);
  return separator == quilstring::npos ? path : quilstring(path.substr(separator + 1));
}

quilstring baseNameOf(const quilstring& path) {
  quilstring name = fileNameOf(path);
  const std::size_t dot = name.rfind(u'.');
  if (dot != quilstring::npos) name.resize(dot);
  return name;
}

quilstring folderOf(const quilstring& path) {
  const std::size_t separator = lastSeparator(path);
  return separator == quilstring::npos ? quilstring() : quilstring(path.substr(0, separator + 1));
}

}  // namespace NConfig
