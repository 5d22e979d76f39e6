#pragma once
// Internet Explorer's header and footer strings ("&w&bPage &p of &P"), rendered as its
// HeaderFooter behaviour renders them: &w the title, &u the address, &d / &D the short / long
// date, &t the time, &T the time in 24-hour form, &p the page, &P the page count, && an
// ampersand, and &b the alignment break: one &b puts what follows at the right, a second one
// makes the middle part centred and the last part right-aligned.

#include <string>
#include <string_view>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/OleTime.h"

namespace platform::browser {

struct HeaderFooterContext {
  std::u16string title;    // &w
  std::u16string address;  // &u
  SYSTEMTIME time{};       // &d &D &t &T, local time
  LCID locale = 1033;
};

// The HTML (UTF-8) of one string for one page: a full-width table of left, centre and right
// cells, every text escaped. Empty for an empty string.
QM_PLATFORM_API std::string renderHeaderFooter(std::u16string_view code, const HeaderFooterContext& context,
                                               int page, int pages);

namespace detail {
// Escapes & < > " ' for text and attribute values, as UTF-8.
QM_PLATFORM_API std::string escapeHtml(std::u16string_view text);
}  // namespace detail

}  // namespace platform::browser
