#pragma once
// HTML5 parsing (gumbo) into the document tree, with the defences untrusted markup needs.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/html/detail/Tree.h"

namespace platform::html::detail {

// Open elements the input may nest before further start tags are dropped, and attributes one
// tag may carry before the rest are dropped. The parser's time grows with the square of both.
constexpr std::size_t kMaxOpenElements = 512;
constexpr std::size_t kMaxAttributes = 256;

// The parser's input: UTF-8, terminated, with the markup that trips the parser's assertions
// neutralised ("<![CDATA[" becomes the bogus comment "<!-CDATA[") and nesting and attribute
// counts bounded as above (start tags and attributes beyond the bounds are left out).
QM_PLATFORM_API std::string prepareInput(std::u16string_view html);

// Replace `doc`'s content by the parse of `html`. E_OUTOFMEMORY when the text is longer than
// kMaxHtmlLength or the parse needs more memory than its budget.
HRESULT parseDocument(std::u16string_view html, DocumentData& doc);

// Parse `html` in the context of the element `context`; the top-level nodes (made in `doc`,
// detached) are appended to `out`. `depth` is the depth the top-level nodes will have; deeper
// nesting than kMaxTreeDepth is flattened.
HRESULT parseFragment(std::u16string_view html, DocumentData& doc, const Node* context, std::size_t depth,
                      std::vector<Node*>& out);

}  // namespace platform::html::detail
