#pragma once
// Writing the tree back as HTML, and its rendered text.

#include <string>

#include "platform/html/detail/Tree.h"

namespace platform::html::detail {

void serializeChildren(const Node* node, std::u16string& out);
void serializeNode(const Node* node, std::u16string& out);
void serializeDocument(const DocumentData& doc, std::u16string& out);

std::u16string renderedText(const Node* node);

// The text of an element's text children, joined (a STYLE element's sheet).
std::u16string childText(const Node* node);

}  // namespace platform::html::detail
