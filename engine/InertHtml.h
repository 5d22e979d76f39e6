#pragma once
// Item HTML made inert before it joins a template: no element that runs, embeds or fetches
// anything (script, object, embed, applet, iframe, frame, frameset, meta, base, link, and
// noscript and plaintext, which parse differently once the markup is read again), no on*
// attribute, no javascript: or vbscript: address, no comment (MSHTML runs conditional comments),
// and no @page or @import in style sheets. Everything else is kept as it is.

#include <optional>
#include <string_view>

#include "foundation/QuilString.h"
#include "platform/html/HtmlDocument.h"

class CMSHTMLWrapper;

namespace NInertHtml {

// Markup as the document serialises it (documentHTML, or an element's innerHTML), filtered.
// elements are the elements whose start tags the markup holds, in document order (the
// document's or element's `all`): they tell which tags hold raw text. changed says whether
// anything was taken out. Nullopt when the markup does not match the elements.
std::optional<quilstring> filterMarkup(std::u16string_view markup,
                                       const platform::html::CHtmlElementCollection& elements, bool& changed);

// A style sheet's text without its @page and @import rules (wherever they stand, nested or
// written with escapes); the rest is kept byte for byte.
quilstring inertStyleText(std::u16string_view css);

// Makes the wrapper's loaded document inert: filters it and loads the result again until the
// document reads back unchanged. A document that never settles is replaced by one holding its
// body's text. False when there is no document or it could not be reloaded.
bool makeDocumentInert(CMSHTMLWrapper& wrapper);

// The same for the content of one element (the template element that received a body). False,
// logged, when the element refuses new content; content that never settles becomes its text.
bool makeElementInert(platform::html::CHtmlElement element);

// How often markup is filtered and read again before it counts as never settling.
inline constexpr int kMaxInertRounds = 4;

}  // namespace NInertHtml
