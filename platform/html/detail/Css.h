#pragma once
// A small CSS reader: style rules of a sheet and declarations of a style text.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Export.h"

namespace platform::html::detail {

struct CssRule {
  std::u16string selector;
  std::u16string css;
};

struct CssDeclaration {
  std::u16string name;  // lower case
  std::u16string value;
};

// The style rules in order, one per selector of a group; comments dropped, at-rules skipped whole
// (blocks balanced, strings respected), a rule with an empty selector in its group skipped.
QM_PLATFORM_API std::vector<CssRule> parseStyleSheet(std::u16string_view text);

// Declarations split at semicolons outside strings and brackets (a data: address keeps its own);
// pieces without a name or a value are dropped.
QM_PLATFORM_API std::vector<CssDeclaration> parseDeclarations(std::u16string_view text);
std::u16string writeDeclarations(const std::vector<CssDeclaration>& declarations);

// Whether a text can stand as a selector (or a declaration block) inside a rule of a STYLE element
// without ending the rule, the sheet or the element.
QM_PLATFORM_API bool isContainedRuleText(std::u16string_view text, bool selector);

}  // namespace platform::html::detail
