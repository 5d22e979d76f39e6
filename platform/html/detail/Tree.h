#pragma once
// The document tree behind the handles. Nodes are owned by their document and live until it dies:
// a node taken out of the tree is only detached, so handles to it stay valid.

#include "platform/system/Text.h"
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::html::detail {

enum class NodeKind : std::uint8_t { Document, Element, Text, Comment };
enum class Namespace : std::uint8_t { Html, Svg, MathMl };

struct Attribute {
  std::u16string name;   // original spelling, as serialised
  std::u16string lname;  // ASCII lower case, for lookups
  std::u16string value;
  bool hasValue = true;  // false for a bare attribute such as <IMG SRC_PERCENT_S>
};

struct Node {
  NodeKind kind = NodeKind::Element;
  Namespace ns = Namespace::Html;
  std::u16string tag;   // element: lower case for HTML, adjusted case for SVG
  std::u16string text;  // text or comment data
  std::vector<Attribute> attributes;
  Node* parent = nullptr;
  std::vector<Node*> children;

  bool isElement() const { return kind == NodeKind::Element; }
  bool isHtml(std::u16string_view name) const { return isElement() && ns == Namespace::Html && tag == name; }
  const Attribute* findAttribute(std::u16string_view lowerName) const;
  Attribute* findAttribute(std::u16string_view lowerName);
};

struct Doctype {
  bool present = false;
  std::u16string name, publicId, systemId;
};

struct DocumentData {
  std::vector<std::unique_ptr<Node>> nodes;  // every node ever made, detached ones included
  Node* document = nullptr;
  Doctype doctype;

  DocumentData();
  Node* make(NodeKind kind);
  Node* makeElement(std::u16string tag, Namespace ns = Namespace::Html);
};

// Tree edits. Detached nodes keep their own subtree.
void appendChild(Node* parent, Node* child);
void insertBefore(Node* parent, Node* child, Node* reference);
void detach(Node* node);
void removeChildren(Node* node);

// Detaches every comment below `scope`; answers how many.
long removeComments(Node* scope);

// Number of element ancestors (0 for a node directly under the document).
std::size_t depthOf(const Node* node);
bool isInclusiveAncestor(const Node* ancestor, const Node* node);
// Elements below `scope` (not itself) in document order.
void collectElements(const Node* scope, std::vector<Node*>& out);

std::u16string asciiLower(std::u16string_view s);
std::u16string asciiUpper(std::u16string_view s);
using platform::system::equalsNoCase;
bool isAsciiSpace(char16_t c);
std::u16string_view trimSpace(std::u16string_view s);

// The tags whose innerHTML MSHTML refuses to set (checked on HTML elements).
bool refusesInnerHtml(const Node* element);

}  // namespace platform::html::detail
