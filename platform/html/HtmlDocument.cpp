#include "platform/html/HtmlDocument.h"

#include <algorithm>
#include <fstream>
#include <new>
#include <sstream>

#include "platform/com/HResult.h"
#include "platform/html/detail/Css.h"
#include "platform/html/detail/Parser.h"
#include "platform/html/detail/Serializer.h"
#include "platform/html/detail/Tree.h"
#include "platform/system/Text.h"

namespace platform::html {

using namespace detail;

namespace {

// The empty document of a fresh load: what the parser makes of an empty text.
std::shared_ptr<DocumentData> emptyDocument() {
  auto doc = std::make_shared<DocumentData>();
  Node* html = doc->makeElement(u"html");
  appendChild(doc->document, html);
  appendChild(html, doc->makeElement(u"head"));
  appendChild(html, doc->makeElement(u"body"));
  return doc;
}

Node* firstChildElement(const Node* parent, std::u16string_view tag) {
  if (!parent) return nullptr;
  for (Node* c : parent->children)
    if (c->isHtml(tag)) return c;
  return nullptr;
}

HRESULT guardMemory(auto&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::length_error&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

// ---- CHtmlElement ------------------------------------------------------------------------------

CHtmlElement::CHtmlElement(std::shared_ptr<DocumentData> doc, Node* node) : m_doc(std::move(doc)), m_node(node) {}

std::u16string CHtmlElement::tagName() const {
  if (!m_node) return {};
  return m_node->ns == Namespace::Html ? asciiUpper(m_node->tag) : m_node->tag;
}

CHtmlElement CHtmlElement::parentElement() const {
  if (!m_node || !m_node->parent || !m_node->parent->isElement()) return {};
  return CHtmlElement(m_doc, m_node->parent);
}

bool CHtmlElement::isInDocument() const {
  return m_node && isInclusiveAncestor(m_doc->document, m_node);
}

std::u16string CHtmlElement::getAttribute(std::u16string_view name) const {
  if (!m_node) return {};
  const Attribute* a = m_node->findAttribute(asciiLower(name));
  return a ? a->value : std::u16string();
}

bool CHtmlElement::hasAttribute(std::u16string_view name) const {
  return m_node && m_node->findAttribute(asciiLower(name));
}

HRESULT CHtmlElement::setAttribute(std::u16string_view name, std::u16string_view value) {
  if (!m_node) return E_POINTER;
  if (name.empty()) return E_INVALIDARG;
  // A name the parser could not have read would break the markup it is written into.
  for (char16_t c : name)
    if (isAsciiSpace(c) || c == u'/' || c == u'>' || c == u'=' || c == u'"' || c == u'\'' || c == u'<' || c == 0)
      return E_INVALIDARG;
  return guardMemory([&] {
    const std::u16string lname = asciiLower(name);
    if (Attribute* a = m_node->findAttribute(lname)) {
      a->value = value;
      a->hasValue = true;
    } else {
      m_node->attributes.push_back({std::u16string(name), lname, std::u16string(value), true});
    }
    return S_OK;
  });
}

bool CHtmlElement::removeAttribute(std::u16string_view name) {
  if (!m_node) return false;
  const std::u16string lname = asciiLower(name);
  auto& attrs = m_node->attributes;
  for (auto it = attrs.begin(); it != attrs.end(); ++it) {
    if (it->lname == lname) {
      attrs.erase(it);
      return true;
    }
  }
  return false;
}

std::vector<std::u16string> CHtmlElement::attributeNames() const {
  std::vector<std::u16string> names;
  if (!m_node) return names;
  names.reserve(m_node->attributes.size());
  for (const Attribute& a : m_node->attributes) names.push_back(a.name);
  return names;
}

std::vector<CHtmlElement> CHtmlElement::children() const {
  std::vector<CHtmlElement> out;
  if (!m_node) return out;
  for (Node* c : m_node->children)
    if (c->isElement()) out.push_back(CHtmlElement(m_doc, c));
  return out;
}

bool CHtmlElement::isHtml() const { return m_node && m_node->ns == Namespace::Html; }

bool CHtmlElement::remove() {
  if (!m_node || !m_node->parent) return false;
  detach(m_node);
  return true;
}

long CHtmlElement::removeComments() { return m_node ? detail::removeComments(m_node) : 0; }

std::u16string CHtmlElement::childText() const { return m_node ? detail::childText(m_node) : std::u16string(); }

HRESULT CHtmlElement::setChildText(std::u16string_view text) {
  if (!m_node) return E_POINTER;
  return guardMemory([&] {
    Node* node = m_doc->make(NodeKind::Text);
    node->text = text;
    auto& kids = m_node->children;
    const auto first = std::find_if(kids.begin(), kids.end(), [](const Node* c) { return c->kind == NodeKind::Text; });
    insertBefore(m_node, node, first != kids.end() ? *first : kids.empty() ? nullptr : kids.front());
    const auto stale = [node](const Node* c) { return c->kind == NodeKind::Text && c != node; };
    for (Node* c : kids)
      if (stale(c)) c->parent = nullptr;
    std::erase_if(kids, stale);
    return S_OK;
  });
}

CHtmlElementCollection CHtmlElement::all() const {
  if (!m_node) return {};
  std::vector<Node*> nodes;
  collectElements(m_node, nodes);
  return CHtmlElementCollection(m_doc, std::move(nodes));
}

std::u16string CHtmlElement::innerHTML() const {
  std::u16string out;
  if (m_node) serializeChildren(m_node, out);
  return out;
}

std::u16string CHtmlElement::outerHTML() const {
  std::u16string out;
  if (m_node) serializeNode(m_node, out);
  return out;
}

HRESULT CHtmlElement::setInnerHTML(std::u16string_view html) {
  if (!m_node) return E_POINTER;
  if (refusesInnerHtml(m_node)) return E_FAIL;
  return guardMemory([&] {
    std::vector<Node*> nodes;
    const HRESULT hr = parseFragment(html, *m_doc, m_node, depthOf(m_node) + 1, nodes);
    if (FAILED(hr)) return hr;
    removeChildren(m_node);
    for (Node* n : nodes) appendChild(m_node, n);
    return S_OK;
  });
}

HRESULT CHtmlElement::insertHTMLBefore(std::u16string_view html, std::vector<CHtmlElement>* inserted) {
  if (!m_node) return E_POINTER;
  Node* parent = m_node->parent;
  if (!parent || !parent->isElement() || refusesInnerHtml(parent)) return E_FAIL;
  return guardMemory([&] {
    std::vector<Node*> nodes;
    const HRESULT hr = parseFragment(html, *m_doc, parent, depthOf(m_node), nodes);
    if (FAILED(hr)) return hr;
    std::vector<CHtmlElement> elements;
    for (Node* n : nodes) {
      insertBefore(parent, n, m_node);
      if (n->isElement()) elements.push_back(CHtmlElement(m_doc, n));
    }
    if (inserted) *inserted = std::move(elements);
    return S_OK;
  });
}

HRESULT CHtmlElement::setInnerText(std::u16string_view text) {
  if (!m_node) return E_POINTER;
  if (refusesInnerHtml(m_node)) return E_FAIL;
  return guardMemory([&] {
    removeChildren(m_node);
    if (!text.empty()) {
      Node* node = m_doc->make(NodeKind::Text);
      node->text = std::u16string(text);
      appendChild(m_node, node);
    }
    return S_OK;
  });
}

std::u16string CHtmlElement::innerText() const { return m_node ? renderedText(m_node) : std::u16string(); }

std::u16string CHtmlElement::styleProperty(std::u16string_view name) const {
  if (!m_node) return {};
  const Attribute* style = m_node->findAttribute(u"style");
  if (!style) return {};
  const std::u16string lname = asciiLower(trimSpace(name));
  std::u16string value;
  for (const CssDeclaration& d : parseDeclarations(style->value))
    if (d.name == lname) value = d.value;
  return value;
}

HRESULT CHtmlElement::setStyleProperty(std::u16string_view name, std::u16string_view value) {
  if (!m_node) return E_POINTER;
  const std::u16string lname = asciiLower(trimSpace(name));
  const std::u16string_view v = trimSpace(value);
  if (lname.empty() || !isContainedRuleText(lname, true) || !isContainedRuleText(v, false) ||
      lname.find(u':') != std::u16string::npos || v.find(u';') != std::u16string_view::npos)
    return E_INVALIDARG;
  return guardMemory([&] {
    const Attribute* style = m_node->findAttribute(u"style");
    std::vector<CssDeclaration> decls = style ? parseDeclarations(style->value) : std::vector<CssDeclaration>{};
    std::erase_if(decls, [&](const CssDeclaration& d) { return d.name == lname; });
    if (!v.empty()) decls.push_back({lname, std::u16string(v)});
    return setAttribute(u"style", writeDeclarations(decls));
  });
}

// ---- CHtmlElementCollection -------------------------------------------------------------------

CHtmlElement CHtmlElementCollection::item(long index) const {
  if (index < 0 || index >= length()) return {};
  return CHtmlElement(m_doc, m_nodes[static_cast<std::size_t>(index)]);
}

CHtmlElementCollection CHtmlElementCollection::item(std::u16string_view name) const {
  std::vector<Node*> found;
  for (Node* n : m_nodes) {
    for (const Attribute& a : n->attributes) {
      if ((a.lname == u"id" || a.lname == u"name") && equalsNoCase(a.value, name)) {
        found.push_back(n);
        break;
      }
    }
  }
  return CHtmlElementCollection(m_doc, std::move(found));
}

CHtmlElementCollection CHtmlElementCollection::tags(std::u16string_view tag) const {
  std::vector<Node*> found;
  for (Node* n : m_nodes)
    if (equalsNoCase(n->tag, tag)) found.push_back(n);
  return CHtmlElementCollection(m_doc, std::move(found));
}

// ---- CHtmlStyleSheet --------------------------------------------------------------------------

std::vector<CHtmlStyleRule> CHtmlStyleSheet::rules() const {
  std::vector<CHtmlStyleRule> out;
  if (!m_element) return out;
  for (CssRule& r : parseStyleSheet(childText(m_element.m_node)))
    out.push_back({std::move(r.selector), std::move(r.css)});
  return out;
}

HRESULT CHtmlStyleSheet::addRule(std::u16string_view selector, std::u16string_view style, long index) {
  if (!m_element) return E_POINTER;
  if (index != -1) return E_NOTIMPL;
  if (!isContainedRuleText(selector, true) || !isContainedRuleText(style, false)) return E_INVALIDARG;
  return guardMemory([&] {
    Node* sheet = m_element.m_node;
    DocumentData& doc = *m_element.m_doc;
    Node* text = doc.make(NodeKind::Text);
    // Only the sheet's last character matters: copying the whole text per rule made a sheet of
    // many rules quadratic.
    const auto last = std::find_if(sheet->children.rbegin(), sheet->children.rend(),
                                   [](const Node* c) { return c->kind == NodeKind::Text && !c->text.empty(); });
    if (last != sheet->children.rend() && (*last)->text.back() != u'\n') text->text += u'\n';
    text->text += trimSpace(selector);
    text->text += u" { ";
    text->text += trimSpace(style);
    text->text += u" }\n";
    appendChild(sheet, text);
    return S_OK;
  });
}

// ---- CHtmlDocument ----------------------------------------------------------------------------

CHtmlDocument::CHtmlDocument() : m_doc(emptyDocument()) {}

HRESULT CHtmlDocument::loadFromString(std::u16string_view html) {
  return guardMemory([&] {
    auto doc = std::make_shared<DocumentData>();
    const HRESULT hr = parseDocument(html, *doc);
    if (FAILED(hr)) return hr;
    m_doc = std::move(doc);
    return S_OK;
  });
}

HRESULT CHtmlDocument::loadFromFile(const std::filesystem::path& path) {
  return guardMemory([&]() -> HRESULT {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return E_FAIL;
    // Each byte gives at most one UTF-16 unit: a longer file cannot fit.
    if (size > kMaxHtmlLength * 3) return E_OUTOFMEMORY;
    std::ifstream in(path, std::ios::binary);
    if (!in) return E_FAIL;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) return E_FAIL;
    const std::string data = bytes.str();
    std::u16string text;
    if (data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0xFF && static_cast<unsigned char>(data[1]) == 0xFE) {
      text.resize((data.size() - 2) / 2);
      for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 + 2 * i]) |
                                        (static_cast<unsigned char>(data[3 + 2 * i]) << 8));
    } else {
      const std::string_view utf8 =
          data.starts_with("\xEF\xBB\xBF") ? std::string_view(data).substr(3) : std::string_view(data);
      text = platform::system::utf8ToUtf16(utf8);
    }
    return loadFromString(text);
  });
}

CHtmlElement CHtmlDocument::root() const {
  return CHtmlElement(m_doc, firstChildElement(m_doc->document, u"html"));
}

CHtmlElement CHtmlDocument::body() const {
  Node* root = firstChildElement(m_doc->document, u"html");
  Node* body = firstChildElement(root, u"body");
  return body ? CHtmlElement(m_doc, body) : CHtmlElement();
}

CHtmlElementCollection CHtmlDocument::all() const {
  std::vector<Node*> nodes;
  collectElements(m_doc->document, nodes);
  return CHtmlElementCollection(m_doc, std::move(nodes));
}

namespace {

// The HTML STYLE elements (an SVG style element is not a sheet of the document's).
std::vector<Node*> styleElements(const DocumentData& doc) {
  std::vector<Node*> nodes;
  collectElements(doc.document, nodes);
  std::erase_if(nodes, [](const Node* n) { return !n->isHtml(u"style"); });
  return nodes;
}

}  // namespace

long CHtmlDocument::styleSheetsLength() const { return static_cast<long>(styleElements(*m_doc).size()); }

CHtmlStyleSheet CHtmlDocument::styleSheet(long index) const {
  const std::vector<Node*> styles = styleElements(*m_doc);
  if (index < 0 || index >= static_cast<long>(styles.size())) return {};
  return CHtmlStyleSheet(CHtmlElement(m_doc, styles[static_cast<std::size_t>(index)]));
}

HRESULT CHtmlDocument::createStyleSheet(std::u16string_view href, long index, CHtmlStyleSheet* sheet) {
  if (!sheet) return E_POINTER;
  if (!href.empty() || index != -1) return E_NOTIMPL;
  return guardMemory([&]() -> HRESULT {
    Node* root = firstChildElement(m_doc->document, u"html");
    if (!root) return E_FAIL;
    Node* head = firstChildElement(root, u"head");
    if (!head) {
      head = m_doc->makeElement(u"head");
      insertBefore(root, head, root->children.empty() ? nullptr : root->children.front());
    }
    Node* style = m_doc->makeElement(u"style");
    style->attributes.push_back({u"type", u"type", u"text/css", true});
    appendChild(head, style);
    *sheet = CHtmlStyleSheet(CHtmlElement(m_doc, style));
    return S_OK;
  });
}

HRESULT CHtmlDocument::truncateBodyFrom(const CHtmlElement& from) {
  Node* body = firstChildElement(firstChildElement(m_doc->document, u"html"), u"body");
  if (!from || !body || from.m_doc != m_doc || from.m_node == body || !isInclusiveAncestor(body, from.m_node))
    return E_INVALIDARG;
  // The element goes with what follows it; each ancestor up to the body loses what follows it.
  bool first = true;
  for (Node* cut = from.m_node; cut != body;) {
    Node* parent = cut->parent;
    auto& siblings = parent->children;
    auto at = std::find(siblings.begin(), siblings.end(), cut);
    if (!first) ++at;
    for (auto it = at; it != siblings.end(); ++it) (*it)->parent = nullptr;
    siblings.erase(at, siblings.end());
    cut = parent;
    first = false;
  }
  return S_OK;
}

long CHtmlDocument::removeComments() { return detail::removeComments(m_doc->document); }

std::u16string CHtmlDocument::documentHTML() const {
  std::u16string out;
  serializeDocument(*m_doc, out);
  return out;
}

}  // namespace platform::html
