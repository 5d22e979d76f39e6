#include "platform/html/detail/Css.h"

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace {

namespace detail = platform::html::detail;

class CssTest : public testsupport::IsolatedTest {};

TEST_F(CssTest, SplitsSheetsIntoStyleRules) {
  const struct {
    std::u16string_view sheet;
    std::u16string_view expected;  // "selector{css}" per rule, joined by '|'
  } cases[] = {
      {u"p{color:red}", u"p{color: red}"},
      {u"<!-- h1 ,\n h2 > b {A:1;;b : 2 ;} -->", u"h1{a: 1; b: 2}|h2 > b{a: 1; b: 2}"},
      {u"/* a{b:c} */ i {x:y} /* open", u"i{x: y}"},
      {u"@import url(x.css); @media screen { p {c:d} q {e:f} } @font-face{font-family:x} b{g:h}", u"b{g: h}"},
      {u"a[title=\"{,}\"] , b {content:\"};{\"}", u"a[title=\"{,}\"]{content: \"};{\"}|b{content: \"};{\"}"},
      {u"x{background:url(data:image/png;base64,AA==) no-repeat;color:red}",
       u"x{background: url(data:image/png;base64,AA==) no-repeat; color: red}"},
      {u", p {a:b} q {c:d}", u"q{c: d}"},
      {u"p {a:b", u"p{a: b}"},
      {u"p", u""},
      {u"}}}; p {a:b}", u"p{a: b}"},
      {u"@media print { p {a:b}", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.sheet.begin(), c.sheet.end()));
    std::u16string got;
    for (const auto& r : detail::parseStyleSheet(c.sheet)) {
      if (!got.empty()) got += u'|';
      got += r.selector + u"{" + r.css + u"}";
    }
    EXPECT_EQ(got, c.expected);
  }
}

TEST_F(CssTest, RuleTextMustStayInsideItsRule) {
  const struct {
    std::u16string_view text;
    bool selector;
    bool contained;
  } cases[] = {
      {u"p.MsoNormal", true, true},        {u"div > p", true, true},
      {u"a[title=\"x}\"]", true, true},    {u"p; q", true, false},
      {u"p {", true, false},               {u"  ", true, false},
      {u"@media print", true, false},      {u"p /* x", true, false},
      {u"color: red; margin: 0", false, true}, {u"content: \"}\"", false, true},
      {u"color: red }", false, false},     {u"x: \"open", false, false},
      {u"x: y */", false, false},          {u"x: </style>", false, false},
      {u"x: \\7d", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(detail::isContainedRuleText(c.text, c.selector), c.contained);
  }
}

}  // namespace
