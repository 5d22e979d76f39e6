#pragma once
// The filler's DOM calls: a failed call (or one on a null element) raises _com_error, as the
// generated MSHTML wrappers do, so that each guard of the fill sees it.

#include <string_view>
#include <vector>

#include "foundation/QuilString.h"
#include "foundation/Utils.h"
#include "platform/com/ComError.h"
#include "platform/html/HtmlDocument.h"

namespace engine::detail {

inline void checkElement(const platform::html::CHtmlElement& element) {
  if (!element) _com_issue_error(E_POINTER);
}

inline void check(HRESULT hr) {
  if (FAILED(hr)) _com_issue_error(hr);
}

inline quilstring innerHTMLOf(const platform::html::CHtmlElement& element) {
  checkElement(element);
  return element.innerHTML();
}

inline void putInnerHTML(platform::html::CHtmlElement& element, std::u16string_view html) {
  checkElement(element);
  check(element.setInnerHTML(html));
}

inline void putDisplay(platform::html::CHtmlElement& element, std::u16string_view value) {
  checkElement(element);
  check(element.setStyleDisplay(value));
}

// The description of a COM error for the log: its own, or "???".
inline quilstring describe(const _com_error& error) {
  return error.Description().empty() ? quilstring(u"???") : quilstring(error.Description());
}

// Whether the element's id or name is `id`, compared as the `all` collection does.
inline bool isNamed(const platform::html::CHtmlElement& element, const quilstring& id) {
  return NUtils::equalsNoCase(element.getAttribute(u"id"), id) || NUtils::equalsNoCase(element.getAttribute(u"name"), id);
}

// Every text occurrence of `from` replaced by `to`. The replacements the filler makes can never
// form a new occurrence, so one pass gives what searching again from the start would.
inline void replaceAll(quilstring& text, std::u16string_view from, std::u16string_view to) {
  if (from.empty()) return;
  quilstring out;
  std::size_t start = 0;
  for (std::size_t at = text.find(from); at != quilstring::npos; at = text.find(from, start)) {
    out.append(text, start, at - start);
    out.append(to);
    start = at + from.size();
  }
  if (start == 0) return;
  out.append(text, start, quilstring::npos);
  text = std::move(out);
}

}  // namespace engine::detail
