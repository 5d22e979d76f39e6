// Item HTML made inert: hostile markup loses what runs, embeds or fetches, and keeps its text;
// ordinary mail markup comes through unchanged; style sheets lose @page and @import.
#include "engine/InertHtml.h"

#include <gtest/gtest.h>

#include "engine/MSHTMLWrapper.h"
#include "platform/com/HResult.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::html::CHtmlDocument;
using platform::html::CHtmlElement;

std::string utf8(const std::u16string& text) { return quilstring(text).toUtf8(); }

std::u16string lower(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return text;
}

// What may not survive, checked through the DOM of a fresh parse of the markup.
void expectInert(const std::u16string& markup) {
  CHtmlDocument document;
  ASSERT_EQ(document.loadFromString(markup), S_OK);
  const auto all = document.all();
  for (long i = 0; i < all.length(); ++i) {
    const CHtmlElement e = all.item(i);
    const std::u16string tag = lower(e.tagName());
    for (const char16_t* bad : {u"script", u"object", u"embed", u"applet", u"iframe", u"frame", u"frameset", u"meta",
                                u"base", u"link", u"noscript"})
      EXPECT_NE(tag, bad) << utf8(markup);
    for (const char16_t* handler : {u"onload", u"onerror", u"onclick", u"onmouseover", u"ONFOCUS"})
      EXPECT_FALSE(e.hasAttribute(handler)) << utf8(markup);
    for (const char16_t* address : {u"href", u"src", u"xlink:href", u"action", u"formaction", u"values", u"background"}) {
      std::u16string value;
      for (char16_t c : lower(e.getAttribute(address)))
        if (c > 0x20) value += c;
      EXPECT_EQ(value.find(u"javascript:"), std::u16string::npos) << utf8(markup);
      EXPECT_EQ(value.find(u"vbscript:"), std::u16string::npos) << utf8(markup);
    }
  }
  for (long i = 0; i < document.styleSheetsLength(); ++i) {
    const std::u16string text = lower(document.styleSheet(i).owningElement().innerHTML());
    EXPECT_EQ(text.find(u"@page"), std::u16string::npos) << utf8(text);
    EXPECT_EQ(text.find(u"@import"), std::u16string::npos) << utf8(text);
  }
  EXPECT_EQ(markup.find(u"<!--"), std::u16string::npos) << utf8(markup);
}

class InertHtmlTest : public testsupport::IsolatedTest {
 protected:
  // The body markup of a document made inert.
  std::u16string inertDocument(const std::u16string& html) {
    EXPECT_TRUE(m_wrapper.LoadFromString(html));
    EXPECT_TRUE(NInertHtml::makeDocumentInert(m_wrapper));
    return m_wrapper.getDocument()->documentHTML();
  }

  CMSHTMLWrapper m_wrapper;
};

struct HostileCase {
  const char16_t* html;
  const char16_t* keptText;  // text that must still be there
};

TEST_F(InertHtmlTest, HostileMarkupLosesWhatRunsAndKeepsItsText) {
  const HostileCase cases[] = {
      {u"<p>a<script>alert(1)</script>b</p>", u"ab"},
      {u"<body onload=\"alert(1)\"><p onclick=x() ONFOCUS=y>text</p></body>", u"text"},
      {u"<a href=\"javascript:alert(1)\">link</a>", u"link"},
      {u"<a href=\" JaVa&#x09;ScRiPt&colon;alert(1)\">tab</a><a href='vbscript:msgbox'>vb</a>", u"vb"},
      {u"<form action=javascript:alert(1)><button formaction=javascript:x>go</button></form>", u"go"},
      {u"<img src=x onerror=alert(1)>after", u"after"},
      {u"<iframe src=http://e.x/ srcdoc='<script>x</script>'></iframe><object data=x><param name=a></object>"
       u"<embed src=x><applet code=x></applet>kept",
       u"kept"},
      {u"<head><meta http-equiv=refresh content='0;url=http://e.x'><base href=http://e.x/>"
       u"<link rel=stylesheet href=http://e.x/a.css></head><body>meta</body>",
       u"meta"},
      {u"<frameset><frame src=http://e.x></frameset>", u""},
      {u"<svg><script>alert(1)</script><a xlink:href=\"javascript:alert(1)\"><text>svg</text></a>"
       u"<animate attributeName=href values=\"0;javascript:alert(1)\"/></svg>",
       u"svg"},
      {u"<!--[if IE]><script>alert(1)</script><![endif]--><p>cond</p>", u"cond"},
      {u"<noscript><p title=\"</noscript><img src=x onerror=alert(1)>\">ns</p></noscript>x", u"x"},
      {u"<noscript><style></noscript><img src=x onerror=alert(1)></style></noscript>y", u"y"},
      {u"<math><mtext><table><mglyph><style><img src=x onerror=alert(1)></style></mglyph></table></mtext></math>m",
       u"m"},
      {u"<style>@import url(http://e.x/a.css); @page { size: A3 } p { color: red }</style><p>css</p>", u"css"},
      {u"<p>before<plaintext>swallowed</p>", u"before"},
      {u"<form><math><mtext></form><form><mglyph><style></math><img src onerror=alert(1)>", u""},
      {u"<svg><style>@import url(http://e.x/a.css); circle { fill: red }</style></svg>svgcss", u"svgcss"},
      {u"<svg></svg><p><xmp><img src=x onerror=alert(1)></xmp><noembed><script>x</script></noembed>raw</p>", u"raw"},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(utf8(c.html));
    const std::u16string out = inertDocument(c.html);
    expectInert(out);
    EXPECT_NE(m_wrapper.getDocument()->root().innerText().find(c.keptText), std::u16string::npos) << utf8(out);
    EXPECT_EQ(lower(out).find(u"@import"), std::u16string::npos) << utf8(out);
    if (c.keptText == std::u16string_view(u"raw")) {
      EXPECT_EQ(lower(out).find(u"onerror"), std::u16string::npos) << utf8(out);
    }
  }
}

TEST_F(InertHtmlTest, OrdinaryMailMarkupIsKeptAsItIs) {
  const char16_t* cases[] = {
      u"<html><head><style>p.MsoNormal { margin: 0cm; font-family: \"Calibri\" }</style></head>"
      u"<body lang=EN-US link=\"#0563C1\"><div class=WordSection1><p class=MsoNormal>Hello &amp; "
      u"<b>bold</b>&nbsp;<a href=\"mailto:a@b.example?subject=x&amp;y\">mail</a></p>"
      u"<table border=0><tr><td valign=top>cell</td></tr></table><img src=\"cid:image001.png@01D7\" width=10>"
      u"<pre>\n  pre</pre><svg width=\"10\"><circle r=\"4\"></circle></svg></div></body></html>",
      u"<p title=\"a &lt; b &quot;q&quot;\" data-on=\"1\">onion</p><a href=\"http://javascript.example/\">x</a>",
      // Raw text with '<' stays where nothing foreign stands before it.
      u"<style><!-- p { color: red } --></style><xmp><b>as text</b></xmp><svg></svg>",
  };
  for (const char16_t* html : cases) {
    SCOPED_TRACE(utf8(html));
    CHtmlDocument reference;
    ASSERT_EQ(reference.loadFromString(html), S_OK);
    EXPECT_EQ(inertDocument(html), reference.documentHTML());
  }
}

TEST_F(InertHtmlTest, ElementContentIsCheckedInItsOwnContext) {
  CHtmlDocument page;
  ASSERT_EQ(page.loadFromString(u"<body><table><tr><td id=cell>x</td></tr></table><div id=box></div></body>"), S_OK);
  const char16_t* hostile = u"<p onclick=x()>a</p><script>alert(1)</script><svg><script>y</script></svg>b";
  for (const char16_t* id : {u"cell", u"box"}) {
    CHtmlElement target = page.all().item(id).item(0);
    ASSERT_EQ(target.setInnerHTML(hostile), S_OK);
    EXPECT_TRUE(NInertHtml::makeElementInert(target));
    expectInert(target.innerHTML());
    EXPECT_EQ(target.innerText(), u"a\r\nb");
  }
  // Nothing is parsed again: even an element that takes no new content is cleaned in place.
  CHtmlElement table = page.all().tags(u"table").item(0);
  table.all().tags(u"td").item(0).setAttribute(u"onclick", u"x()");
  EXPECT_TRUE(NInertHtml::makeElementInert(table));
  expectInert(table.outerHTML());
  EXPECT_FALSE(NInertHtml::makeElementInert(CHtmlElement()));
}

TEST_F(InertHtmlTest, StyleSheetsLosePageAndImportRules) {
  const struct {
    const char16_t* css;
    const char16_t* inert;
  } cases[] = {
      {u"@import url(a.css); p{color:red}", u" p{color:red}"},
      {u"@IMPORT 'a.css';", u""},
      {u"@import url(a;b); p{}", u" p{}"},
      {u"@page { margin: 0 } p{}", u" p{}"},
      {u"@page :first { @top-center { content: '}' } } a{}", u" a{}"},
      {u"@media print { @page { size: A3 } p { x: y } }", u"@media print {  p { x: y } }"},
      {u"@p\\61 ge { size: A3 }b{}", u"b{}"},
      {u"@\\69mport 'x';", u""},
      {u"@pa@import x;ge { size: A3 }", u""},
      {u"@page { size: A3", u""},
      {u"p { content: \"@page\" } /* @import x; */", u"p { content: \"@page\" } /* @import x; */"},
      {u"@pages {} @media screen { p {} }", u"@pages {} @media screen { p {} }"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(utf8(c.css));
    EXPECT_EQ(NInertHtml::inertStyleText(c.css), std::u16string(c.inert));
  }
}

}  // namespace
