#include "engine/InertHtml.h"

#include <algorithm>
#include <array>

#include "engine/MSHTMLWrapper.h"

namespace NInertHtml {
namespace {

using platform::html::CHtmlElement;

constexpr std::array<std::u16string_view, 12> kDroppedElements = {
    u"script", u"object", u"embed", u"applet", u"iframe", u"frame",
    u"frameset", u"meta", u"base", u"link", u"noscript", u"plaintext"};
// The raw-text elements that are kept: their text is written out unescaped.
constexpr std::array<std::u16string_view, 4> kRawTextElements = {u"style", u"xmp", u"noembed", u"noframes"};
// SVG animation values that may set an address part way through a list.
constexpr std::array<std::u16string_view, 4> kAnimationValues = {u"values", u"from", u"to", u"by"};

template <std::size_t N>
bool isOneOf(const std::array<std::u16string_view, N>& set, std::u16string_view name) {
  return std::find(set.begin(), set.end(), name) != set.end();
}

char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

quilstring lowered(std::u16string_view text) {
  quilstring out(text);
  for (char16_t& c : out) c = asciiLower(c);
  return out;
}

bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r'; }

// Whether an attribute value is a script address: browsers drop blanks and control characters
// anywhere in an address before they look at its scheme. The parser has read the entities.
bool isScriptAddress(std::u16string_view name, std::u16string_view value) {
  quilstring compact;
  for (char16_t c : value)
    if (c > 0x20) compact += asciiLower(c);
  const bool anywhere = isOneOf(kAnimationValues, name);
  for (std::u16string_view scheme : {std::u16string_view(u"javascript:"), std::u16string_view(u"vbscript:")}) {
    const std::size_t at = compact.find(scheme);
    if (at == 0 || (anywhere && at != quilstring::npos)) return true;
  }
  return false;
}

// One walk over the parsed tree, in document order, taking out what must go. The tree is later
// written out and read again by the browser; what it reads must be what was checked here. Text,
// attribute values and closing tags are written escaped, and comments are gone, so the only
// markup a reader can find that is not an element of this tree is the unescaped text of a
// raw-text element. That stays text as long as the element is read as HTML: only SVG or MathML
// before it (a reader may see it inside foreign content, where its start tag makes no raw-text
// element) can change that, so there such text holding a '<' goes with its element.
class CInertWalk {
 public:
  explicit CInertWalk(bool foreignAround) : m_foreignSeen(foreignAround) {}

  // Cleans the element's children and their content.
  void children(const CHtmlElement& parent) {
    for (CHtmlElement child : parent.children())
      if (keep(child)) children(child);
  }

  // Cleans the element itself; false when it was taken out.
  bool keep(CHtmlElement& element) {
    const quilstring tag = lowered(element.tagName());
    if (isOneOf(kDroppedElements, tag)) {
      element.remove();
      return false;
    }
    const bool html = element.isHtml();
    if (!html) m_foreignSeen = true;
    for (const std::u16string& name : element.attributeNames()) {
      const quilstring lname = lowered(name);
      if (lname.starts_with(u"on") || isScriptAddress(lname, element.getAttribute(name))) element.removeAttribute(name);
    }
    if (html && m_foreignSeen && isOneOf(kRawTextElements, tag) &&
        element.childText().find(u'<') != std::u16string::npos) {
      element.remove();
      return false;
    }
    // An SVG style sheet applies as an HTML one does.
    if (tag == u"style") {
      const std::u16string css = element.childText();
      const quilstring inert = inertStyleText(css);
      if (inert.size() != css.size()) element.setChildText(inert);
    }
    return true;
  }

 private:
  bool m_foreignSeen;
};

// ---- Style sheets --------------------------------------------------------------------------

bool isHex(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }
bool isNameChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
         c == u'_' || c >= 0x80;
}

// Past a string that starts at i (its quote), or to the end of its line when unterminated.
std::size_t skipString(std::u16string_view css, std::size_t i) {
  const char16_t quote = css[i++];
  while (i < css.size()) {
    const char16_t c = css[i];
    if (c == u'\\') {
      i += 2;
      continue;
    }
    if (c == quote) return i + 1;
    if (c == u'\n') return i;
    ++i;
  }
  return css.size();
}

std::size_t skipComment(std::u16string_view css, std::size_t i) {
  const std::size_t end = css.find(u"*/", i + 2);
  return end == std::u16string_view::npos ? css.size() : end + 2;
}

// The name of the at-keyword at i ('@'), escapes read, in lower case; end receives its end.
quilstring atKeyword(std::u16string_view css, std::size_t i, std::size_t& end) {
  quilstring name;
  ++i;
  while (i < css.size()) {
    const char16_t c = css[i];
    if (c == u'\\' && i + 1 < css.size() && css[i + 1] != u'\n') {
      ++i;
      if (isHex(css[i])) {
        char32_t code = 0;
        std::size_t digits = 0;
        while (i < css.size() && digits < 6 && isHex(css[i])) {
          const char16_t h = css[i];
          code = code * 16 + (h <= u'9' ? h - u'0' : (asciiLower(h) - u'a' + 10));
          ++i;
          ++digits;
        }
        if (i < css.size() && isSpace(css[i])) ++i;
        name += code < 0x10000 ? asciiLower(static_cast<char16_t>(code)) : char16_t(0xFFFD);
      } else {
        name += asciiLower(css[i++]);
      }
      continue;
    }
    if (!isNameChar(c)) break;
    name += asciiLower(c);
    ++i;
  }
  end = i;
  return name;
}

// The end of the at-rule starting at i: after its ';' or its block, or before the '}' that
// closes the block it stands in.
std::size_t atRuleEnd(std::u16string_view css, std::size_t i) {
  int nesting = 0;
  while (i < css.size()) {
    const char16_t c = css[i];
    if (c == u'"' || c == u'\'') {
      i = skipString(css, i);
    } else if (c == u'/' && i + 1 < css.size() && css[i + 1] == u'*') {
      i = skipComment(css, i);
    } else if (c == u'\\') {
      i += 2;
    } else if (c == u'(' || c == u'[') {
      ++nesting;
      ++i;
    } else if ((c == u')' || c == u']') && nesting > 0) {
      --nesting;
      ++i;
    } else if (c == u';' && nesting == 0) {
      return i + 1;
    } else if (c == u'}' && nesting == 0) {
      return i;
    } else if (c == u'{') {
      int depth = 1;
      ++i;
      while (i < css.size() && depth > 0) {
        const char16_t d = css[i];
        if (d == u'"' || d == u'\'') {
          i = skipString(css, i);
        } else if (d == u'/' && i + 1 < css.size() && css[i + 1] == u'*') {
          i = skipComment(css, i);
        } else if (d == u'\\') {
          i += 2;
        } else {
          if (d == u'{') ++depth;
          if (d == u'}') --depth;
          ++i;
        }
      }
      return std::min(i, css.size());
    } else {
      ++i;
    }
  }
  return css.size();
}

// One pass; answers whether a rule was taken out.
bool removeAtRules(std::u16string_view css, quilstring& out) {
  bool removed = false;
  std::size_t i = 0;
  while (i < css.size()) {
    const char16_t c = css[i];
    std::size_t next = i + 1;
    if (c == u'"' || c == u'\'') {
      next = skipString(css, i);
    } else if (c == u'/' && i + 1 < css.size() && css[i + 1] == u'*') {
      next = skipComment(css, i);
    } else if (c == u'\\') {
      next = std::min(i + 2, css.size());
    } else if (c == u'@') {
      std::size_t end = i;
      const quilstring name = atKeyword(css, i, end);
      if (name == u"page" || name == u"import") {
        i = atRuleEnd(css, end);
        removed = true;
        continue;
      }
      next = std::max(end, i + 1);
    }
    out.append(css.substr(i, next - i));
    i = next;
  }
  return removed;
}

}  // namespace

quilstring inertStyleText(std::u16string_view css) {
  quilstring text(css);
  // Taking a rule out may join what stood around it into a new one ("@pa@import x;ge").
  for (;;) {
    quilstring out;
    out.reserve(text.size());
    if (!removeAtRules(text, out)) return text;
    text = std::move(out);
  }
}

bool makeDocumentInert(CMSHTMLWrapper& wrapper) {
  auto document = wrapper.getDocument();
  if (!document) return false;
  document->removeComments();
  CHtmlElement root = document->root();
  CInertWalk walk(false);
  if (root && walk.keep(root)) walk.children(root);
  return true;
}

bool makeElementInert(CHtmlElement element) {
  if (!element) return false;
  element.removeComments();
  bool foreignAround = false;
  for (CHtmlElement e = element; e && !foreignAround; e = e.parentElement()) foreignAround = !e.isHtml();
  CInertWalk(foreignAround).children(element);
  return true;
}

}  // namespace NInertHtml
