#pragma once
// Item HTML made inert before it joins a template: no element that runs, embeds or fetches
// anything (script, object, embed, applet, iframe, frame, frameset, meta, base, link, and
// noscript and plaintext, which parse differently once the markup is read again), no on*
// attribute, no javascript: or vbscript: address, no comment (MSHTML runs conditional comments),
// and no @page or @import in style sheets (SVG ones too). A raw-text element (STYLE, XMP, NOEMBED,
// NOFRAMES) whose text holds '<' goes as well when SVG or MathML stands before it: a reader may
// take that text for markup there. Everything else is kept as it is.

#include <string_view>

#include "foundation/QuilString.h"
#include "platform/html/HtmlDocument.h"

class CMSHTMLWrapper;

namespace NInertHtml {

// A style sheet's text without its @page and @import rules (wherever they stand, nested or
// written with escapes); the rest is kept byte for byte.
quilstring inertStyleText(std::u16string_view css);

// Makes the wrapper's loaded document inert in place, in one walk over its tree: no parse again.
// False when there is no document.
bool makeDocumentInert(CMSHTMLWrapper& wrapper);

// The same for the content of one element (the template element that received a body), which
// its own context may have read otherwise than the body's document did. False for no element.
bool makeElementInert(platform::html::CHtmlElement element);

}  // namespace NInertHtml
