#include "engine/InertHtml.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/MSHTMLWrapper.h"
#include "foundation/HtmlText.h"
#include "foundation/Log.h"
#include "platform/com/HResult.h"

namespace NInertHtml {
namespace {

using platform::html::CHtmlElement;
using platform::html::CHtmlElementCollection;

constexpr std::array<std::u16string_view, 12> kDroppedElements = {
    u"script", u"object", u"embed", u"applet", u"iframe", u"frame",
    u"frameset", u"meta", u"base", u"link", u"noscript", u"plaintext"};
constexpr std::array<std::u16string_view, 18> kVoidElements = {
    u"area", u"base", u"basefont", u"bgsound", u"br", u"col", u"embed", u"frame", u"hr",
    u"img", u"input", u"keygen", u"link", u"meta", u"param", u"source", u"track", u"wbr"};
constexpr std::array<std::u16string_view, 7> kRawTextElements = {u"style",    u"script",   u"xmp",      u"iframe",
                                                                 u"noembed", u"noframes", u"plaintext"};
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

// Finds `needle` (lower case) in text from `from`, ignoring ASCII case.
std::size_t findNoCase(std::u16string_view text, std::u16string_view needle, std::size_t from) {
  if (needle.size() > text.size()) return std::u16string_view::npos;
  for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < needle.size() && asciiLower(text[i + k]) == needle[k]) ++k;
    if (k == needle.size()) return i;
  }
  return std::u16string_view::npos;
}

// An attribute value as the serialiser escapes it (&amp; &quot; &nbsp;), read back.
quilstring unescapeAttribute(std::u16string_view text) {
  quilstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&') {
      if (text.substr(i, 5) == u"&amp;") {
        out += u'&';
        i += 4;
        continue;
      }
      if (text.substr(i, 6) == u"&quot;") {
        out += u'"';
        i += 5;
        continue;
      }
      if (text.substr(i, 6) == u"&nbsp;") {
        out += char16_t(0xA0);
        i += 5;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// Whether an attribute value is a script address: browsers drop blanks and control characters
// anywhere in an address before they look at its scheme.
bool isScriptAddress(std::u16string_view name, std::u16string_view escapedValue) {
  quilstring compact;
  for (char16_t c : unescapeAttribute(escapedValue))
    if (c > 0x20) compact += asciiLower(c);
  const bool anywhere = isOneOf(kAnimationValues, name);
  for (std::u16string_view scheme : {std::u16string_view(u"javascript:"), std::u16string_view(u"vbscript:")}) {
    const std::size_t at = compact.find(scheme);
    if (at == 0 || (anywhere && at != quilstring::npos)) return true;
  }
  return false;
}

struct OpenElement {
  quilstring tag;  // lower case
  bool dropped;    // this element starts a dropped subtree
};

class CMarkupFilter {
 public:
  CMarkupFilter(std::u16string_view markup, const CHtmlElementCollection& elements)
      : m_in(markup), m_elements(elements) {}

  std::optional<quilstring> run(bool& changed) {
    m_out.reserve(m_in.size());
    while (m_pos < m_in.size()) {
      if (m_in[m_pos] != u'<') {
        const std::size_t next = std::min(m_in.find(u'<', m_pos), m_in.size());
        emit(m_in.substr(m_pos, next - m_pos));
        m_pos = next;
        continue;
      }
      bool ok = true;
      if (m_in.substr(m_pos, 4) == u"<!--") {
        ok = comment();
      } else if (m_in.substr(m_pos, 2) == u"<!") {
        ok = declaration();
      } else if (m_in.substr(m_pos, 2) == u"</") {
        ok = endTag();
      } else {
        ok = startTag();
      }
      if (!ok) return std::nullopt;
    }
    if (!m_open.empty() || m_index != m_elements.length()) return std::nullopt;
    changed = m_changed;
    return std::move(m_out);
  }

 private:
  bool skipping() const { return m_droppedDepth > 0; }
  void emit(std::u16string_view text) {
    if (!skipping()) m_out.append(text);
  }

  bool comment() {
    const std::size_t end = m_in.find(u"-->", m_pos + 4);
    if (end == std::u16string_view::npos) return false;
    m_pos = end + 3;
    m_changed = true;
    return true;
  }

  bool declaration() {
    const std::size_t end = m_in.find(u'>', m_pos);
    if (end == std::u16string_view::npos) return false;
    emit(m_in.substr(m_pos, end + 1 - m_pos));
    m_pos = end + 1;
    return true;
  }

  bool endTag() {
    const std::size_t end = m_in.find(u'>', m_pos);
    if (end == std::u16string_view::npos || m_open.empty()) return false;
    const quilstring tag = lowered(m_in.substr(m_pos + 2, end - m_pos - 2));
    if (tag != m_open.back().tag) return false;
    emit(m_in.substr(m_pos, end + 1 - m_pos));
    if (m_open.back().dropped) --m_droppedDepth;
    m_open.pop_back();
    m_pos = end + 1;
    return true;
  }

  bool startTag() {
    std::size_t p = m_pos + 1;
    while (p < m_in.size() && !isSpace(m_in[p]) && m_in[p] != u'>') ++p;
    const std::u16string_view rawTag = m_in.substr(m_pos + 1, p - m_pos - 1);
    const quilstring tag = lowered(rawTag);
    const CHtmlElement element = m_elements.item(m_index++);
    const std::u16string tagName = element.tagName();
    if (!element || lowered(tagName) != tag) return false;
    // HTML elements report their tag in upper case, SVG and MathML ones as written.
    quilstring upper(tagName);
    for (char16_t& c : upper)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    const bool html = upper == tagName;

    const bool drop = isOneOf(kDroppedElements, tag);
    if (drop) {
      m_changed = true;
      ++m_droppedDepth;
    }
    quilstring out = u"<";
    out += rawTag;
    while (true) {
      if (p >= m_in.size()) return false;
      if (m_in[p] == u'>') break;
      if (m_in[p] != u' ') return false;
      const std::size_t nameStart = ++p;
      // A name may begin with '=' (the tokenizer allows it there); it never holds one later.
      if (p < m_in.size() && m_in[p] != u'>') ++p;
      while (p < m_in.size() && !isSpace(m_in[p]) && m_in[p] != u'>' && m_in[p] != u'=') ++p;
      const std::u16string_view name = m_in.substr(nameStart, p - nameStart);
      std::u16string_view value;
      bool hasValue = false;
      if (m_in.substr(p, 2) == u"=\"") {
        const std::size_t close = m_in.find(u'"', p + 2);
        if (close == std::u16string_view::npos) return false;
        value = m_in.substr(p + 2, close - p - 2);
        hasValue = true;
        p = close + 1;
      }
      if (name.empty()) return false;
      const quilstring lname = lowered(name);
      if (lname.starts_with(u"on") || (hasValue && isScriptAddress(lname, value))) {
        m_changed = true;
        continue;
      }
      out += u' ';
      out += name;
      if (hasValue) {
        out += u"=\"";
        out += value;
        out += u'"';
      }
    }
    out += u'>';
    emit(out);
    p += 1;

    if (html && isOneOf(kVoidElements, tag)) {
      if (drop) --m_droppedDepth;
      m_pos = p;
      return true;
    }
    m_open.push_back({tag, drop});
    if (html && isOneOf(kRawTextElements, tag)) {
      // Raw text ends at the first closing tag of its own name: the serialiser escapes others.
      const std::size_t close = findNoCase(m_in, u"</" + tag, p);
      if (close == std::u16string_view::npos) return false;
      const std::u16string_view text = m_in.substr(p, close - p);
      if (tag == u"style") {
        const quilstring inert = inertStyleText(text);
        if (inert.size() != text.size()) m_changed = true;
        emit(inert);
      } else {
        emit(text);
      }
      p = close;
    }
    m_pos = p;
    return true;
  }

  std::u16string_view m_in;
  const CHtmlElementCollection& m_elements;
  quilstring m_out;
  std::size_t m_pos = 0;
  long m_index = 0;
  std::vector<OpenElement> m_open;
  int m_droppedDepth = 0;
  bool m_changed = false;
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

quilstring textOf(const CHtmlElement& scope) {
  std::u16string text = scope ? scope.innerText() : std::u16string();
  NUtils::plainTextToHTML(text, false);
  return text;
}

}  // namespace

std::optional<quilstring> filterMarkup(std::u16string_view markup, const CHtmlElementCollection& elements,
                                       bool& changed) {
  changed = false;
  return CMarkupFilter(markup, elements).run(changed);
}

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
  quilstring current = document->documentHTML();
  for (int round = 0; round < kMaxInertRounds; ++round) {
    bool changed = false;
    const auto filtered = filterMarkup(current, document->all(), changed);
    if (!filtered) break;
    if (!wrapper.LoadFromString(*filtered)) return false;
    document = wrapper.getDocument();
    quilstring again = document->documentHTML();
    // Clean, and read back to the same markup: what the next reader parses is what was checked.
    if (!changed && again == current) return true;
    current = std::move(again);
  }
  LOG_ERROR(u"Item HTML could not be made inert; its text is printed instead");
  const quilstring text = textOf(document->body());
  return wrapper.LoadFromString(u"<html><head></head><body>" + text + u"</body></html>");
}

bool makeElementInert(CHtmlElement element) {
  if (!element) return false;
  quilstring current = element.innerHTML();
  for (int round = 0; round < kMaxInertRounds; ++round) {
    bool changed = false;
    const auto filtered = filterMarkup(current, element.all(), changed);
    if (!filtered) break;
    if (FAILED(element.setInnerHTML(*filtered))) {
      LOG_ERROR(u"Item HTML could not be made inert in its element");
      return false;
    }
    quilstring again = element.innerHTML();
    if (!changed && again == current) return true;
    current = std::move(again);
  }
  LOG_ERROR(u"Item HTML could not be made inert; its text is printed instead");
  return SUCCEEDED(element.setInnerHTML(textOf(element)));
}

}  // namespace NInertHtml
