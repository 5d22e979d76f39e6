#pragma once
// The condition of Items.Find and Items.Restrict: comparisons "[Property] op value" joined by
// And, Or and Not with parentheses, values quoted with ' or " (the quote doubled inside), or bare
// numbers and True/False. Parsing is bounded in length and nesting.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Export.h"
#include "platform/com/Variant.h"

namespace platform::outlook {

class QM_PLATFORM_API CItemFilter {
 public:
  enum class Op { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };
  struct Comparison {
    std::u16string property;
    Op op = Op::Equal;
    std::u16string value;
  };

  static constexpr std::size_t kMaxLength = 16384;
  static constexpr int kMaxDepth = 64;

  // Nothing (and the reason in `error`) when the text is not a condition.
  static std::optional<CItemFilter> parse(std::u16string_view text, std::u16string* error = nullptr);

  const std::vector<Comparison>& comparisons() const { return m_comparisons; }

  // Reads one property of the item being tested; false when the item has no such property.
  using Getter = std::function<bool(std::u16string_view property, CComVariant& value)>;
  // Whether an item meets the condition. Texts compare ignoring case, dates to the minute. Throws
  // std::runtime_error for a property the item lacks or a value of the wrong type, as Outlook
  // raises for them.
  bool matches(const Getter& get) const;

 private:
  struct Node {
    enum Kind { Compare, And, Or, Not } kind = Compare;
    std::vector<int> children;  // And and Or hold a whole chain, so that depth stays bounded
    int comparison = -1;
  };
  friend class CItemFilterParser;
  bool eval(int node, const Getter& get) const;

  std::vector<Comparison> m_comparisons;
  std::vector<Node> m_nodes;
  int m_root = -1;
};

}  // namespace platform::outlook
