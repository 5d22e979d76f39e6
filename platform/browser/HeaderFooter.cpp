#include "platform/browser/HeaderFooter.h"

#include <array>

#include "platform/system/LocaleFormat.h"
#include "platform/system/Text.h"

using platform::system::utf16ToUtf8;
using platform::system::utf8ToUtf16;

namespace platform::browser {

namespace detail {

std::string escapeHtml(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      case u'\'': out += u"&#39;"; break;
      default: out += c;
    }
  }
  return utf16ToUtf8(out);
}

}  // namespace detail

namespace {

std::u16string formatDate(const HeaderFooterContext& context, DWORD flags) {
  char16_t buffer[128];
  const int n = GetDateFormatW(context.locale, flags, &context.time, nullptr, buffer, 128);
  return n > 0 ? std::u16string(buffer, static_cast<std::size_t>(n - 1)) : std::u16string();
}

std::u16string formatTime(const HeaderFooterContext& context, DWORD flags) {
  char16_t buffer[128];
  const int n = GetTimeFormatW(context.locale, flags, &context.time, nullptr, buffer, 128);
  return n > 0 ? std::u16string(buffer, static_cast<std::size_t>(n - 1)) : std::u16string();
}

std::u16string number(int value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

std::string renderHeaderFooter(std::u16string_view code, const HeaderFooterContext& context, int page, int pages) {
  if (code.empty()) return {};
  std::array<std::u16string, 3> parts;  // before the first &b, after it, after the second
  std::size_t part = 0;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char16_t c = code[i];
    if (c != u'&' || i + 1 == code.size()) {
      parts[part] += c;
      continue;
    }
    switch (code[++i]) {
      case u'w': parts[part] += context.title; break;
      case u'u': parts[part] += context.address; break;
      case u'd': parts[part] += formatDate(context, DATE_SHORTDATE); break;
      case u'D': parts[part] += formatDate(context, DATE_LONGDATE); break;
      case u't': parts[part] += formatTime(context, TIME_NOSECONDS); break;
      case u'T': parts[part] += formatTime(context, TIME_NOSECONDS | TIME_FORCE24HOURFORMAT | TIME_NOTIMEMARKER); break;
      case u'p': parts[part] += number(page); break;
      case u'P': parts[part] += number(pages); break;
      case u'&': parts[part] += u'&'; break;
      case u'b':
        if (part < 2) ++part;  // a third break and later ones are dropped
        break;
      default:  // not a code: shown as written
        parts[part] += c;
        parts[part] += code[i];
    }
  }
  // One break: left and right; two: left, centre and right.
  const std::u16string& left = parts[0];
  const std::u16string& centre = part == 2 ? parts[1] : std::u16string();
  const std::u16string& right = part == 2 ? parts[2] : parts[1];
  return "<table class=\"qm-headfoot\"><tr><td class=\"qm-left\">" + detail::escapeHtml(left) +
         "</td><td class=\"qm-centre\">" + detail::escapeHtml(centre) + "</td><td class=\"qm-right\">" +
         detail::escapeHtml(right) + "</td></tr></table>";
}

}  // namespace platform::browser
