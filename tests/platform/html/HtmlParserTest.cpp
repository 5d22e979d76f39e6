#include "platform/html/detail/Parser.h"

#include <chrono>

#include <gtest/gtest.h>

#include "platform/com/HResult.h"
#include "platform/html/HtmlDocument.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::html::CHtmlDocument;
using platform::html::CHtmlElement;
namespace detail = platform::html::detail;

class HtmlParserTest : public testsupport::IsolatedTest {
 protected:
  static std::u16string repeat(std::u16string_view s, int n) {
    std::u16string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  }
  static std::size_t maxDepth(const CHtmlDocument& doc) {
    std::size_t deepest = 0;
    const auto all = doc.all();
    for (long i = 0; i < all.length(); ++i) {
      std::size_t d = 0;
      for (CHtmlElement e = all.item(i); e; e = e.parentElement()) ++d;
      deepest = std::max(deepest, d);
    }
    return deepest;
  }
};

TEST_F(HtmlParserTest, ParserInputPassesOrdinaryMarkupThrough) {
  for (std::u16string_view html :
       {u"<!DOCTYPE html><p class='a>b'>x</p><!-- <div> --><script>if (a<b) x('</div>')</script>",
        u"<svg><path d=\"M0 0\"/><style>a{}</style></svg><textarea><b></textarea><a href=x>y</a>",
        u"text < more <3 </ p>", u""}) {
    const std::string utf8(html.begin(), html.end());
    EXPECT_EQ(detail::prepareInput(html), utf8);
  }
}

TEST_F(HtmlParserTest, SurvivesInputsThatAbortTheParser) {
  // Each of these ends the process with an assertion inside the parser when passed on as it is.
  const std::u16string triggers[] = {
      u"<table><math><mi><![CDATA[x]]>Y",
      u"<table><tr><td><table><math><mi><![CDATA[]]>  Y</table>",
      u"<svg><![CDATA[kept as a comment]]></svg>",
  };
  for (const auto& html : triggers) {
    SCOPED_TRACE(std::string(html.begin(), html.end()));
    CHtmlDocument doc;
    EXPECT_EQ(doc.loadFromString(html), S_OK);
    EXPECT_EQ(doc.loadFromString(doc.documentHTML()), S_OK);
    for (std::u16string_view context : {u"td", u"caption", u"div", u"select", u"template", u"svg", u"math"}) {
      ASSERT_EQ(doc.loadFromString(u"<table><caption></caption><tr><td></td></tr></table><select></select>"
                                   u"<template></template><svg></svg><math></math><div></div>"),
                S_OK);
      EXPECT_EQ(doc.all().tags(context).item(0).setInnerHTML(html), S_OK);
      EXPECT_EQ(doc.all().tags(context).item(0).setInnerHTML(u"<math><mi><![CDATA[x]]>Y"), S_OK);
    }
  }
  EXPECT_EQ(detail::prepareInput(u"<![CDATA[x]]>"), "<!-CDATA[x]]>");
}

TEST_F(HtmlParserTest, BoundsNestingDepthAndTime) {
  const auto start = std::chrono::steady_clock::now();
  CHtmlDocument doc;
  ASSERT_EQ(doc.loadFromString(repeat(u"<div>", 100000) + u"deep" + repeat(u"</div>", 100000) + u"<p id=after>"),
            S_OK);
  EXPECT_LE(maxDepth(doc), detail::kMaxOpenElements + 3);
  EXPECT_EQ(doc.all().item(u"after").length(), 1);
  EXPECT_NE(doc.body().innerText().find(u"deep"), std::u16string::npos);
  // Unclosed inline elements nest without scope checks; the tree flattens them at its own bound.
  ASSERT_EQ(doc.loadFromString(repeat(u"<span><svg><g>", 2000)), S_OK);
  EXPECT_LE(maxDepth(doc), platform::html::kMaxTreeDepth + 1);
  // A generous bound: unguarded, the first parse alone takes a minute.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

TEST_F(HtmlParserTest, BoundsAttributesPerTag) {
  std::u16string html = u"<p id=p ";
  for (int i = 0; i < 20000; ++i) html += u"a" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u" x=1 ";
  html += u"/>after";
  CHtmlDocument doc;
  ASSERT_EQ(doc.loadFromString(html), S_OK);
  CHtmlElement p = doc.all().item(u"p").item(0);
  ASSERT_TRUE(p);
  EXPECT_LE(p.outerHTML().size(), 4000u);
  EXPECT_EQ(p.innerText(), u"after");
}

TEST_F(HtmlParserTest, RefusesTooLongInputAndTooMuchParseMemory) {
  CHtmlDocument doc;
  ASSERT_EQ(doc.loadFromString(u"<p>kept</p>"), S_OK);
  EXPECT_EQ(doc.loadFromString(std::u16string(platform::html::kMaxHtmlLength + 1, u'x')), E_OUTOFMEMORY);
  EXPECT_EQ(doc.body().innerText(), u"kept");
  // Each text run re-opens every formatting element still active: a small input would make
  // hundreds of megabytes of nodes.
  std::u16string bomb = u"<p>";
  for (int i = 0; i < 500; ++i) bomb += u"<font color=" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                                       std::u16string(1, static_cast<char16_t>(u'A' + i / 26)) + u">";
  bomb += repeat(u"<p>x", 3000);
  EXPECT_EQ(doc.loadFromString(bomb), E_OUTOFMEMORY);
  EXPECT_EQ(doc.body().innerText(), u"kept");
  EXPECT_EQ(doc.body().setInnerHTML(bomb), E_OUTOFMEMORY);
  EXPECT_EQ(doc.body().innerText(), u"kept");
}

TEST_F(HtmlParserTest, ReadsNothingPastTheEndOfTheInput) {
  for (std::u16string_view html : std::initializer_list<std::u16string_view>{u"<a href=&not", u"<a href=\"", u"<!--", u"<", u"&", u"&#99999999999;", u"<noscript><!DOCTYPE>",
        u"<p a='", u"</", u"<![CDATA[", std::u16string_view(u"\0<p>\0", 5)}) {
    CHtmlDocument doc;
    EXPECT_EQ(doc.loadFromString(html), S_OK);
    EXPECT_EQ(doc.body().setInnerHTML(html), S_OK);
    (void)doc.documentHTML();
  }
}

}  // namespace
