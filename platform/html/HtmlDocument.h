#pragma once
// The off-screen HTML document: an HTML5 parse of a string or file into the project's own mutable
// tree, with the DOM surface the print engine fills (the `all` collection by id or name, `tags`,
// innerHTML/outerHTML with MSHTML's serialisation habits, innerText, style sheets and rules).
// It never runs script and never fetches anything: there is no script engine and no network here.
//
// Handles (CHtmlDocument, CHtmlElement, CHtmlElementCollection, CHtmlStyleSheet) share the
// document's tree, as COM references do: a handle keeps the tree alive, and an element removed from
// the tree stays allocated (detached) until the last handle goes, so no handle ever dangles.
// Single-threaded: one document and its handles belong to one thread.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Export.h"
#include "platform/WinTypes.h"

namespace platform::html {

namespace detail {
struct Node;
struct DocumentData;
}  // namespace detail

class CHtmlElementCollection;

// How many whole documents (loads) and fragments (innerHTML and insertHTMLBefore) the process
// has parsed so far; what benchmarks and tests count parses with.
struct ParseCounts {
  long long documents = 0;
  long long fragments = 0;
};
QM_PLATFORM_API ParseCounts parseCounts();

// Limits on untrusted markup. Longer input is refused (E_OUTOFMEMORY); nesting deeper than the
// tree's depth is flattened (the deeper elements become children of the deepest allowed one).
constexpr std::size_t kMaxHtmlLength = 16u * 1024u * 1024u;  // UTF-16 units
constexpr std::size_t kMaxTreeDepth = 1024;

class QM_PLATFORM_API CHtmlElement {
 public:
  CHtmlElement() = default;  // the null element; every operation on it answers empty or E_POINTER

  explicit operator bool() const { return m_node != nullptr; }
  friend bool operator==(const CHtmlElement& a, const CHtmlElement& b) { return a.m_node == b.m_node; }

  // Upper case for HTML elements ("IMG"), as written for SVG and MathML ones.
  std::u16string tagName() const;
  // Null for the root element and for an element taken out of the tree.
  CHtmlElement parentElement() const;
  // False once the element (or an ancestor) has been removed from its document.
  bool isInDocument() const;

  // Attribute names compare without regard to ASCII case. An absent attribute reads as empty;
  // a valueless one (<IMG SRC_PERCENT_S>) is present with an empty value.
  std::u16string getAttribute(std::u16string_view name) const;
  bool hasAttribute(std::u16string_view name) const;
  HRESULT setAttribute(std::u16string_view name, std::u16string_view value);
  bool removeAttribute(std::u16string_view name);

  // The attribute names as written, in their order on the element.
  std::vector<std::u16string> attributeNames() const;

  // The descendants (not the element itself), in document order.
  CHtmlElementCollection all() const;
  // The child elements in order (text and comments left out).
  std::vector<CHtmlElement> children() const;
  // False for SVG and MathML elements.
  bool isHtml() const;

  // Takes the element, with everything in it, out of its parent; handles to it stay valid and
  // see it detached. False when it has no parent.
  bool remove();
  // Removes every comment below the element; answers how many went.
  long removeComments();

  // The element's own text children joined, as a STYLE element's sheet reads them.
  std::u16string childText() const;
  // Replaces the own text children by one text node holding `text`, where the first of them
  // stood (at the start when there was none); element children stay.
  HRESULT setChildText(std::u16string_view text);

  // Serialised as MSHTML does where templates rely on it: attribute names in their original
  // spelling, valueless attributes bare, values in double quotes; text escapes & < > and U+00A0.
  std::u16string innerHTML() const;
  std::u16string outerHTML() const;

  // Parses `html` in this element's context (HTML5 fragment parsing) and replaces the children.
  // E_FAIL on TABLE, TBODY, THEAD, TFOOT, TR, HTML, HEAD, TITLE, STYLE, COL, COLGROUP and
  // FRAMESET, as MSHTML refuses them; E_OUTOFMEMORY when the text is too long. On failure the
  // element is unchanged.
  HRESULT setInnerHTML(std::u16string_view html);
  // Parses `html` in the context of this element's parent and inserts the nodes just before this
  // element; `inserted` (optional) receives the inserted top-level elements in order. Refused as
  // setInnerHTML is when the parent is one of the tags above, or there is no parent element.
  HRESULT insertHTMLBefore(std::u16string_view html, std::vector<CHtmlElement>* inserted = nullptr);

  // The rendered text, approximately as MSHTML gives it: runs of white space collapse to one
  // blank (not inside PRE, TEXTAREA, LISTING, PLAINTEXT, XMP), BR and block boundaries become
  // "\r\n", table cells are separated by a tab; text of SCRIPT, STYLE, HEAD, TITLE and TEMPLATE
  // and comments are left out. No leading or trailing blanks or breaks.
  std::u16string innerText() const;
  // Replaces the children by one text node holding `text` as it is (nothing is parsed); E_FAIL
  // where setInnerHTML is refused.
  HRESULT setInnerText(std::u16string_view text);

  // The inline style (the style attribute). Property names compare without regard to case; the
  // value is the last declaration's, trimmed. Setting rewrites the attribute as "name: value"
  // pairs joined by "; "; an empty value removes the declaration.
  std::u16string styleProperty(std::u16string_view name) const;
  HRESULT setStyleProperty(std::u16string_view name, std::u16string_view value);
  HRESULT setStyleDisplay(std::u16string_view value) { return setStyleProperty(u"display", value); }
  std::u16string styleBackground() const { return styleProperty(u"background"); }

 private:
  friend class CHtmlDocument;
  friend class CHtmlElementCollection;
  friend class CHtmlStyleSheet;
  CHtmlElement(std::shared_ptr<detail::DocumentData> doc, detail::Node* node);

  std::shared_ptr<detail::DocumentData> m_doc;
  detail::Node* m_node = nullptr;
};

// A snapshot of elements in document order, taken when the collection is made (later changes to
// the tree do not show in it).
class QM_PLATFORM_API CHtmlElementCollection {
 public:
  CHtmlElementCollection() = default;

  long length() const { return static_cast<long>(m_nodes.size()); }
  // Null when the index is out of range.
  CHtmlElement item(long index) const;
  // Every element whose id or name attribute equals `name`, in document order: none, one or
  // several. The comparison ignores case, as MSHTML's default does ("qmmessprop" finds
  // id=QMMessProp).
  CHtmlElementCollection item(std::u16string_view name) const;
  // The elements whose tag name equals `tag`, ignoring case.
  CHtmlElementCollection tags(std::u16string_view tag) const;

 private:
  friend class CHtmlElement;
  friend class CHtmlDocument;
  CHtmlElementCollection(std::shared_ptr<detail::DocumentData> doc, std::vector<detail::Node*> nodes)
      : m_doc(std::move(doc)), m_nodes(std::move(nodes)) {}

  std::shared_ptr<detail::DocumentData> m_doc;
  std::vector<detail::Node*> m_nodes;
};

// One rule of a style sheet, read when asked: a selector of a group is a rule of its own (as
// MSHTML splits "h1, h2 {...}" into two rules).
struct CHtmlStyleRule {
  std::u16string selectorText;  // white space collapsed
  std::u16string cssText;       // declarations as "name: value" joined by "; "
};

// A STYLE element of the document seen as a style sheet. Its rules are read from the element's
// text each time: style rules only; comments are dropped, and at-rules (@media, @page,
// @font-face, @import ...) are skipped whole, so they are not rules here but stay in the text.
class QM_PLATFORM_API CHtmlStyleSheet {
 public:
  CHtmlStyleSheet() = default;
  explicit operator bool() const { return static_cast<bool>(m_element); }

  std::vector<CHtmlStyleRule> rules() const;
  long rulesLength() const { return static_cast<long>(rules().size()); }

  // Appends "selector { css }" to the sheet's text. Only index -1 (append) is supported
  // (E_NOTIMPL otherwise). A selector or style text that could break out of its rule or its
  // STYLE element (braces, comment marks, "<", unbalanced quotes, an empty selector) is refused
  // with E_INVALIDARG.
  HRESULT addRule(std::u16string_view selector, std::u16string_view style, long index = -1);

  CHtmlElement owningElement() const { return m_element; }

 private:
  friend class CHtmlDocument;
  explicit CHtmlStyleSheet(CHtmlElement element) : m_element(std::move(element)) {}
  CHtmlElement m_element;
};

// The document. A default-made document is empty (<html><head></head><body></body></html>), as a
// fresh MSHTML document after InitNew. Copies share one tree.
class QM_PLATFORM_API CHtmlDocument {
 public:
  CHtmlDocument();

  // Replace the whole document by the parse of `html`. The HTML5 parser repairs any markup, so
  // the only failures are E_OUTOFMEMORY (too long, or too much memory for the parse) and, for
  // files, E_FAIL when the file cannot be read. On failure the document is unchanged. Elements
  // taken before a load keep the previous tree.
  HRESULT loadFromString(std::u16string_view html);
  // The file's bytes are UTF-8 (a UTF-8 or UTF-16LE byte-order mark is honoured; invalid bytes
  // become U+FFFD).
  HRESULT loadFromFile(const std::filesystem::path& path);

  // The first HTML element (the `tags("html")[0]` of the document's `all`), the BODY element of
  // the root; null when absent (a FRAMESET document has no body).
  CHtmlElement root() const;
  CHtmlElement body() const;
  // Every element of the document in document order, the root included.
  CHtmlElementCollection all() const;

  // The STYLE elements of the document in document order (LINK style sheets are never fetched
  // and are not listed).
  long styleSheetsLength() const;
  CHtmlStyleSheet styleSheet(long index) const;
  // Appends an empty STYLE element at the end of HEAD (made when missing) and answers its sheet.
  // Only an empty address and index -1 are supported: E_NOTIMPL otherwise (nothing is fetched).
  HRESULT createStyleSheet(std::u16string_view href, long index, CHtmlStyleSheet* sheet);

  // Removes everything from `from` to the end of the body: the element, everything after it
  // inside each of its ancestors, up to the body; the ancestors themselves stay. E_INVALIDARG
  // when `from` is not inside this document's body.
  HRESULT truncateBodyFrom(const CHtmlElement& from);

  // Removes every comment of the document, those outside the root included; answers how many.
  long removeComments();

  // The whole document as written to a file: the doctype (when the source had one, with its
  // public and system identifiers, so the rendering mode is kept), comments outside the root,
  // and the root's outer HTML.
  std::u16string documentHTML() const;

 private:
  std::shared_ptr<detail::DocumentData> m_doc;
};

}  // namespace platform::html
