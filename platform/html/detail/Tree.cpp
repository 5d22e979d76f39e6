#include "platform/html/detail/Tree.h"

#include <algorithm>
#include <array>

#include "platform/system/Text.h"

namespace platform::html::detail {

const Attribute* Node::findAttribute(std::u16string_view lowerName) const {
  for (const Attribute& a : attributes)
    if (a.lname == lowerName) return &a;
  return nullptr;
}

Attribute* Node::findAttribute(std::u16string_view lowerName) {
  return const_cast<Attribute*>(static_cast<const Node*>(this)->findAttribute(lowerName));
}

DocumentData::DocumentData() { document = make(NodeKind::Document); }

Node* DocumentData::make(NodeKind kind) {
  nodes.push_back(std::make_unique<Node>());
  nodes.back()->kind = kind;
  return nodes.back().get();
}

Node* DocumentData::makeElement(std::u16string tag, Namespace ns) {
  Node* n = make(NodeKind::Element);
  n->tag = std::move(tag);
  n->ns = ns;
  return n;
}

void appendChild(Node* parent, Node* child) {
  detach(child);
  child->parent = parent;
  parent->children.push_back(child);
}

void insertBefore(Node* parent, Node* child, Node* reference) {
  detach(child);
  auto at = std::find(parent->children.begin(), parent->children.end(), reference);
  child->parent = parent;
  parent->children.insert(at, child);
}

void detach(Node* node) {
  if (!node->parent) return;
  auto& siblings = node->parent->children;
  siblings.erase(std::find(siblings.begin(), siblings.end(), node));
  node->parent = nullptr;
}

void removeChildren(Node* node) {
  for (Node* c : node->children) c->parent = nullptr;
  node->children.clear();
}

long removeComments(Node* scope) {
  long removed = 0;
  std::vector<Node*> stack{scope};
  while (!stack.empty()) {
    Node* node = stack.back();
    stack.pop_back();
    auto& kids = node->children;
    for (Node* c : kids)
      if (c->kind == NodeKind::Comment) c->parent = nullptr;
    const auto kept = std::erase_if(kids, [](const Node* c) { return c->kind == NodeKind::Comment; });
    removed += static_cast<long>(kept);
    for (Node* c : kids)
      if (!c->children.empty()) stack.push_back(c);
  }
  return removed;
}

std::size_t depthOf(const Node* node) {
  std::size_t d = 0;
  for (const Node* p = node->parent; p && p->isElement(); p = p->parent) ++d;
  return d;
}

bool isInclusiveAncestor(const Node* ancestor, const Node* node) {
  for (; node; node = node->parent)
    if (node == ancestor) return true;
  return false;
}

void collectElements(const Node* scope, std::vector<Node*>& out) {
  // Iterative pre-order walk: the tree's depth is bounded, but no walk needs the stack.
  std::vector<std::pair<const Node*, std::size_t>> stack{{scope, 0}};
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    if (next == node->children.size()) {
      stack.pop_back();
      continue;
    }
    Node* child = node->children[next++];
    if (child->isElement()) {
      out.push_back(child);
      if (!child->children.empty()) stack.emplace_back(child, 0);
    }
  }
}

std::u16string asciiLower(std::u16string_view s) {
  std::u16string r(s);
  for (char16_t& c : r)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return r;
}

std::u16string asciiUpper(std::u16string_view s) {
  std::u16string r(s);
  for (char16_t& c : r)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return r;
}


bool isAsciiSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }

std::u16string_view trimSpace(std::u16string_view s) {
  while (!s.empty() && isAsciiSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isAsciiSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool refusesInnerHtml(const Node* element) {
  static constexpr std::array<std::u16string_view, 12> kRefused = {
      u"table", u"tbody", u"thead", u"tfoot", u"tr", u"html",
      u"head", u"title", u"style", u"col", u"colgroup", u"frameset"};
  if (!element->isElement() || element->ns != Namespace::Html) return false;
  return std::find(kRefused.begin(), kRefused.end(), element->tag) != kRefused.end();
}

}  // namespace platform::html::detail
