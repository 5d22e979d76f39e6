#include "platform/html/HtmlDocument.h"

#include <fstream>

#include <gtest/gtest.h>

#include "platform/com/HResult.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::html::CHtmlDocument;
using platform::html::CHtmlElement;
using platform::html::CHtmlElementCollection;
using platform::html::CHtmlStyleSheet;

class HtmlDocumentTest : public testsupport::IsolatedTest {
 protected:
  CHtmlDocument load(std::u16string_view html) {
    CHtmlDocument doc;
    EXPECT_EQ(doc.loadFromString(html), S_OK);
    return doc;
  }
  // A DIV in the body holding `html`, for fragment cases.
  CHtmlElement div(CHtmlDocument& doc, std::u16string_view html) {
    doc = load(u"<div id=host></div>");
    CHtmlElement host = doc.all().item(u"host").item(0);
    EXPECT_EQ(host.setInnerHTML(html), S_OK);
    return host;
  }
  std::vector<std::u16string> ids(const CHtmlElementCollection& c) {
    std::vector<std::u16string> out;
    for (long i = 0; i < c.length(); ++i) out.push_back(c.item(i).getAttribute(u"id"));
    return out;
  }
};

TEST_F(HtmlDocumentTest, FreshDocumentHasRootHeadAndBody) {
  CHtmlDocument doc;
  EXPECT_EQ(doc.root().tagName(), u"HTML");
  EXPECT_EQ(doc.body().tagName(), u"BODY");
  EXPECT_EQ(doc.root().outerHTML(), u"<html><head></head><body></body></html>");
}

TEST_F(HtmlDocumentTest, ParsesAsBrowsersDoWithRootBodyAndTags) {
  CHtmlDocument doc = load(u"<title>t</title><p>one<p>two<table><td>c</table>");
  const CHtmlElement root = doc.all().tags(u"html").item(0);
  EXPECT_EQ(root, doc.root());
  EXPECT_FALSE(root.parentElement());
  EXPECT_EQ(doc.body().parentElement(), root);
  EXPECT_EQ(doc.all().tags(u"P").length(), 2);
  EXPECT_EQ(doc.all().tags(u"tbody").length(), 1);
  // Without a doctype the page is in quirks mode, where a table does not close a paragraph.
  EXPECT_EQ(doc.body().innerHTML(), u"<p>one</p><p>two<table><tbody><tr><td>c</td></tr></tbody></table></p>");
}

TEST_F(HtmlDocumentTest, LoadsFilesInUtf8AndUtf16) {
  const auto utf8 = dir() / "a.html";
  std::ofstream(utf8, std::ios::binary) << "\xEF\xBB\xBF<p>caf\xC3\xA9</p>";
  const auto utf16 = dir() / "b.html";
  std::ofstream(utf16, std::ios::binary) << std::string("\xFF\xFE<\0p\0>\0\xE9\0", 10);
  CHtmlDocument doc;
  ASSERT_EQ(doc.loadFromFile(utf8), S_OK);
  EXPECT_EQ(doc.body().innerText(), u"caf\u00e9");
  ASSERT_EQ(doc.loadFromFile(utf16), S_OK);
  EXPECT_EQ(doc.body().innerText(), u"\u00e9");
  EXPECT_EQ(doc.loadFromFile(dir() / "missing.html"), E_FAIL);
  EXPECT_EQ(doc.body().innerText(), u"\u00e9");  // unchanged by the failure
}

TEST_F(HtmlDocumentTest, AllItemMatchesIdOrNameInDocumentOrderIgnoringCaseAndScope) {
  CHtmlDocument doc = load(
      u"<div id=QMMessProp class=scope><span id=QMMessProp>1</span><input name=qmmessprop id=n>"
      u"<p><b ID=QMMESSPROP>3</b></p><span id=other></span></div><span id=QMMessProp>out</span>");
  const CHtmlElement scope = doc.all().tags(u"div").item(0);
  const CHtmlElementCollection found = scope.all().item(u"QMMessProp");
  ASSERT_EQ(found.length(), 3);  // the scope itself and the element after it are not inside
  EXPECT_EQ(found.item(0).innerHTML(), u"1");
  EXPECT_EQ(found.item(1).getAttribute(u"id"), u"n");
  EXPECT_EQ(found.item(2).innerHTML(), u"3");
  EXPECT_EQ(scope.all().item(u"other").length(), 1);
  EXPECT_EQ(scope.all().item(u"none").length(), 0);
  EXPECT_EQ(doc.root().all().item(u"qmmessprop").length(), 5);
  EXPECT_FALSE(found.item(3));
  EXPECT_FALSE(found.item(-1));
}

TEST_F(HtmlDocumentTest, SerialisesAsTemplatesExpect) {
  const struct {
    std::u16string_view in, out;
  } cases[] = {
      {u"<IMG SRC_PERCENT_S>", u"<img SRC_PERCENT_S>"},
      {u"<input Disabled value=''>", u"<input Disabled value=\"\">"},
      {u"a &amp; b &lt; c &gt; d \"q\"", u"a &amp; b &lt; c &gt; d \"q\""},
      {u"<a HREF='x\"y&amp;'>t</a>", u"<a HREF=\"x&quot;y&amp;\">t</a>"},
      {u"<p>x<br>y", u"<p>x<br>y</p>"},
      {u"a&nbsp;b", u"a&nbsp;b"},
      {u"<pre>\n\nx</pre>", u"<pre>\n\nx</pre>"},
      {u"<!--note-->", u"<!--note-->"},
      {u"<style>p>b{color:red}</style>", u"<style>p>b{color:red}</style>"},
      {u"<svg viewBox=\"0 0 1 1\"><foreignobject></foreignobject></svg>",
       u"<svg viewBox=\"0 0 1 1\"><foreignObject></foreignObject></svg>"},
      {u"<span id=QMObject>r</span>", u"<span id=\"QMObject\">r</span>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.in.begin(), c.in.end()));
    CHtmlDocument doc;
    EXPECT_EQ(div(doc, c.in).innerHTML(), c.out);
  }
}

TEST_F(HtmlDocumentTest, SettingsTextSurvivesGetSetRoundTrip) {
  CHtmlDocument doc;
  CHtmlElement e = div(doc, u"NAME=ContactPicture|FORMAT_STRING=<IMG SRC_PERCENT_S>");
  const std::u16string once = e.innerHTML();
  EXPECT_EQ(once, u"NAME=ContactPicture|FORMAT_STRING=<img SRC_PERCENT_S>");
  ASSERT_EQ(e.setInnerHTML(once), S_OK);
  EXPECT_EQ(e.innerHTML(), once);
  EXPECT_EQ(e.outerHTML(), u"<div id=\"host\">" + once + u"</div>");
  EXPECT_TRUE(e.all().item(0).hasAttribute(u"src_percent_s"));
}

TEST_F(HtmlDocumentTest, RefusesInnerHtmlWhereMshtmlDoes) {
  CHtmlDocument doc = load(
      u"<!DOCTYPE html><html><head><title>t</title><style>p{}</style></head><body><table><colgroup><col>"
      u"</colgroup><thead><tr><td>h</td></tr></thead><tbody><tr><td>b</td></tr></tbody><tfoot></tfoot>"
      u"</table></body></html>");
  for (std::u16string_view tag : {u"table", u"tbody", u"thead", u"tfoot", u"tr", u"html", u"head", u"title",
                                  u"style", u"col", u"colgroup"}) {
    SCOPED_TRACE(std::string(tag.begin(), tag.end()));
    CHtmlElement e = doc.all().tags(tag).item(0);
    ASSERT_TRUE(e);
    const std::u16string before = e.outerHTML();
    EXPECT_EQ(e.setInnerHTML(u"<td>x</td>"), E_FAIL);
    EXPECT_EQ(e.outerHTML(), before);
  }
  CHtmlDocument frames = load(u"<frameset><frame></frameset>");
  EXPECT_EQ(frames.all().tags(u"frameset").item(0).setInnerHTML(u"<frame>"), E_FAIL);
  EXPECT_FALSE(frames.body());
  // Inserting beside a row parses in the row group's context: refused too.
  CHtmlElement row = doc.all().tags(u"tr").item(1);
  EXPECT_EQ(row.insertHTMLBefore(u"<tr><td>n</td></tr>"), E_FAIL);
  // A cell is not refused, and parses in its own context.
  CHtmlElement cell = doc.all().tags(u"td").item(1);
  EXPECT_EQ(cell.setInnerHTML(u"<b>x</b>"), S_OK);
  EXPECT_EQ(cell.innerHTML(), u"<b>x</b>");
}

TEST_F(HtmlDocumentTest, InnerHtmlParsesInTheElementsContext) {
  CHtmlDocument doc = load(u"<select id=s></select><div id=d></div><textarea id=t></textarea>");
  CHtmlElement select = doc.all().item(u"s").item(0);
  ASSERT_EQ(select.setInnerHTML(u"<option>a<option>b<div>c</div>"), S_OK);
  EXPECT_EQ(select.innerHTML(), u"<option>a</option><option>bc</option>");
  CHtmlElement d = doc.all().item(u"d").item(0);
  ASSERT_EQ(d.setInnerHTML(u"<td>x</td><p>y"), S_OK);
  EXPECT_EQ(d.innerHTML(), u"x<p>y</p>");
  CHtmlElement t = doc.all().item(u"t").item(0);
  ASSERT_EQ(t.setInnerHTML(u"<b>x</b>"), S_OK);
  EXPECT_EQ(t.innerHTML(), u"&lt;b&gt;x&lt;/b&gt;");
}

TEST_F(HtmlDocumentTest, InsertsHtmlBeforeAnElementAndAnswersTheInsertedElements) {
  // The list filler: rows go before the emptied row template.
  CHtmlDocument doc = load(u"<div id=QMFolderList><p>head</p><div id=QMFolderListItem></div></div>");
  CHtmlElement list = doc.all().item(u"QMFolderList").item(0);
  CHtmlElement marker = list.all().item(u"QMFolderListItem").item(0);
  std::vector<CHtmlElement> rows;
  ASSERT_EQ(marker.insertHTMLBefore(u"<SPAN id=QMObject>1</SPAN>text<SPAN id=QMObject><hr>2</SPAN>", &rows), S_OK);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].innerHTML(), u"<hr>2");
  EXPECT_EQ(list.all().item(u"QMObject").length(), 2);
  EXPECT_EQ(list.innerHTML(),
            u"<p>head</p><span id=\"QMObject\">1</span>text<span id=\"QMObject\"><hr>2</span>"
            u"<div id=\"QMFolderListItem\"></div>");
  EXPECT_EQ(doc.root().insertHTMLBefore(u"<p>"), E_FAIL);  // the root has no parent element
}

TEST_F(HtmlDocumentTest, ElementPropertiesStyleAndAttributes) {
  CHtmlDocument doc = load(
      u"<body style=\"BACKGROUND: url(bg.jpg) no-repeat; color:red\"><table><tr><td><img id=i src=a.png>"
      u"</td></tr></table><svg><circle/></svg>");
  EXPECT_EQ(doc.body().styleBackground(), u"url(bg.jpg) no-repeat");
  CHtmlElement img = doc.all().item(u"i").item(0);
  EXPECT_EQ(img.tagName(), u"IMG");
  EXPECT_EQ(img.getAttribute(u"SRC"), u"a.png");
  ASSERT_EQ(img.setAttribute(u"src", u"/tmp/job/a b&c.png"), S_OK);
  EXPECT_EQ(img.outerHTML(), u"<img id=\"i\" src=\"/tmp/job/a b&amp;c.png\">");
  EXPECT_EQ(img.setAttribute(u"on x", u"v"), E_INVALIDARG);
  EXPECT_EQ(img.parentElement().tagName(), u"TD");
  EXPECT_EQ(img.parentElement().parentElement().tagName(), u"TR");
  EXPECT_EQ(doc.all().tags(u"circle").item(0).tagName(), u"circle");

  CHtmlElement tr = img.parentElement().parentElement();
  ASSERT_EQ(tr.setStyleDisplay(u"none"), S_OK);
  EXPECT_EQ(tr.outerHTML().substr(0, 27), u"<tr style=\"display: none\"><");
  ASSERT_EQ(doc.body().setStyleDisplay(u"block"), S_OK);
  EXPECT_EQ(doc.body().getAttribute(u"style"), u"background: url(bg.jpg) no-repeat; color: red; display: block");
  ASSERT_EQ(doc.body().setStyleDisplay(u""), S_OK);
  EXPECT_EQ(doc.body().styleProperty(u"display"), u"");
  EXPECT_EQ(tr.setStyleDisplay(u"none; background: url(x)"), E_INVALIDARG);
  EXPECT_EQ(CHtmlElement().setStyleDisplay(u"none"), E_POINTER);
}

TEST_F(HtmlDocumentTest, InnerTextIsTheRenderedText) {
  const struct {
    std::u16string_view in, out;
  } cases[] = {
      {u"<p>Hello <b>world</b></p><p>  From:\n  Ann</p>", u"Hello world\r\nFrom: Ann"},
      {u"a<br>b<br><br>c", u"a\r\nb\r\n\r\nc"},
      {u"<script>x()</script><style>p{}</style>t<!--c-->", u"t"},
      {u"<pre>  a\n  b</pre>", u"  a\r\n  b"},
      {u"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", u"a\tb\r\nc"},
      {u"<div><div>  </div></div>x", u"x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.in.begin(), c.in.end()));
    CHtmlDocument doc;
    EXPECT_EQ(div(doc, c.in).innerText(), c.out);
  }
}

TEST_F(HtmlDocumentTest, StyleSheetsRulesAndAddedSheetsSerialiseBack) {
  CHtmlDocument doc = load(
      u"<html><head><style>/* c */ p.MsoNormal, li.MsoNormal {margin:0in; font-family:\"Calibri\",sans-serif}"
      u"@page WordSection1 {size:8.5in 11in;} @media print { p {color:red} } a:link{color:blue}</style>"
      u"</head><body><style>td{ }</style><svg><style>c{}</style></svg></body></html>");
  ASSERT_EQ(doc.styleSheetsLength(), 2);
  const auto rules = doc.styleSheet(0).rules();
  ASSERT_EQ(rules.size(), 3u);
  EXPECT_EQ(rules[0].selectorText, u"p.MsoNormal");
  EXPECT_EQ(rules[1].selectorText, u"li.MsoNormal");
  EXPECT_EQ(rules[1].cssText, u"margin: 0in; font-family: \"Calibri\",sans-serif");
  EXPECT_EQ(rules[2].selectorText, u"a:link");
  EXPECT_EQ(doc.styleSheet(1).rules().at(0).cssText, u"");
  EXPECT_FALSE(doc.styleSheet(2));

  CHtmlStyleSheet added;
  ASSERT_EQ(doc.createStyleSheet(u"", -1, &added), S_OK);
  ASSERT_EQ(doc.styleSheetsLength(), 3);
  EXPECT_EQ(doc.styleSheet(1).owningElement(), added.owningElement());  // end of HEAD, before the body's
  ASSERT_EQ(added.addRule(u"p.MsoNormal", u"margin: 0in", -1), S_OK);
  ASSERT_EQ(added.addRule(u"td", u"content: \"</style><script>x</script>\"", -1), S_OK);
  EXPECT_EQ(added.rulesLength(), 2);
  EXPECT_EQ(doc.createStyleSheet(u"http://x/a.css", -1, &added), E_NOTIMPL);

  // Written out and read back, the sheet keeps its rules and cannot end its element early.
  CHtmlDocument again = load(doc.documentHTML());
  EXPECT_EQ(again.styleSheetsLength(), 3);
  EXPECT_EQ(again.styleSheet(1).rules().size(), 2u);
  EXPECT_EQ(again.all().tags(u"script").length(), 0);

  CHtmlStyleSheet sheet = again.styleSheet(1);
  for (std::u16string_view bad : {u"p { color: red } q", u"p/*", u"", u"@import url(x)", u"p\"", u"<b>"})
    EXPECT_EQ(sheet.addRule(bad, u"color: red"), E_INVALIDARG) << std::string(bad.begin(), bad.end());
  for (std::u16string_view bad : {u"color: red } p {", u"x: '", u"a: b /*"})
    EXPECT_EQ(sheet.addRule(u"p", bad), E_INVALIDARG) << std::string(bad.begin(), bad.end());
  EXPECT_EQ(sheet.addRule(u"p", u"color: red", 0), E_NOTIMPL);
}

TEST_F(HtmlDocumentTest, TruncatesTheBodyFromAnElementKeepingItsAncestors) {
  CHtmlDocument doc = load(
      u"<div id=outer><p>keep</p><div id=mid><p>keep too</p><p id=cut>From: <b>x</b></p><p>gone</p></div>"
      u"<p>gone</p></div><p>gone</p>");
  CHtmlElement cut = doc.all().item(u"cut").item(0);
  ASSERT_EQ(doc.truncateBodyFrom(cut), S_OK);
  EXPECT_EQ(doc.body().innerHTML(),
            u"<div id=\"outer\"><p>keep</p><div id=\"mid\"><p>keep too</p></div></div>");
  // The cut element is detached but its handle still works.
  EXPECT_FALSE(cut.isInDocument());
  EXPECT_FALSE(cut.parentElement());
  EXPECT_EQ(cut.innerText(), u"From: x");
  EXPECT_EQ(doc.all().item(u"cut").length(), 0);
  EXPECT_EQ(doc.truncateBodyFrom(cut), E_INVALIDARG);
  EXPECT_EQ(doc.truncateBodyFrom(doc.body()), E_INVALIDARG);
  EXPECT_EQ(doc.truncateBodyFrom(doc.all().tags(u"head").item(0)), E_INVALIDARG);
  CHtmlDocument other = load(u"<p id=cut>x</p>");
  EXPECT_EQ(doc.truncateBodyFrom(other.all().item(u"cut").item(0)), E_INVALIDARG);
}

TEST_F(HtmlDocumentTest, WholeDocumentKeepsDoctypeAndOuterComments) {
  const std::u16string html =
      u"<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" \"http://www.w3.org/TR/html4/loose.dtd\">"
      u"<!--top--><html><head></head><body><p>x</p></body></html>";
  EXPECT_EQ(load(html).documentHTML(), html);
  EXPECT_EQ(load(u"<p>x").documentHTML(), u"<html><head></head><body><p>x</p></body></html>");
}

TEST_F(HtmlDocumentTest, HandlesStayValidAfterRemovalReloadAndTheDocumentObject) {
  CHtmlElement kept;
  CHtmlElement removed;
  {
    CHtmlDocument doc = load(u"<div id=a><span id=b>x</span></div>");
    kept = doc.all().item(u"a").item(0);
    removed = doc.all().item(u"b").item(0);
    ASSERT_EQ(kept.setInnerHTML(u"<i>new</i>"), S_OK);
    EXPECT_FALSE(removed.isInDocument());
    ASSERT_EQ(doc.loadFromString(u"<p>other</p>"), S_OK);
    EXPECT_EQ(doc.all().item(u"a").length(), 0);
  }
  EXPECT_TRUE(kept.isInDocument());
  EXPECT_EQ(kept.innerHTML(), u"<i>new</i>");
  EXPECT_EQ(removed.outerHTML(), u"<span id=\"b\">x</span>");
  EXPECT_EQ(removed.setInnerHTML(u"y"), S_OK);
  EXPECT_EQ(CHtmlElement().innerHTML(), u"");
  EXPECT_EQ(CHtmlElement().all().length(), 0);
}

TEST_F(HtmlDocumentTest, EditsInPlaceRemoveElementsAttributesCommentsAndSetOwnText) {
  CHtmlDocument doc = load(
      u"<!--top--><p id=p A=1 b><!--in--><b>x</b><svg><style>a<g></g>b<!--c--></style></svg></p>");
  CHtmlElement p = doc.all().item(u"p").item(0);
  EXPECT_EQ(p.attributeNames(), (std::vector<std::u16string>{u"id", u"A", u"b"}));
  EXPECT_TRUE(p.removeAttribute(u"a"));
  const std::vector<CHtmlElement> kids = p.children();
  ASSERT_EQ(kids.size(), 2u);
  EXPECT_TRUE(kids[0].isHtml());
  EXPECT_FALSE(kids[1].isHtml());
  CHtmlElement style = kids[1].children().at(0);
  EXPECT_EQ(style.childText(), u"ab");
  EXPECT_EQ(p.removeComments(), 2);
  ASSERT_EQ(style.setChildText(u"c{}"), S_OK);
  EXPECT_EQ(style.innerHTML(), u"c{}<g></g>");
  CHtmlElement b = kids[0];
  EXPECT_TRUE(b.remove());
  EXPECT_FALSE(b.remove());
  EXPECT_FALSE(b.isInDocument());
  EXPECT_EQ(b.outerHTML(), u"<b>x</b>");
  EXPECT_EQ(doc.removeComments(), 1);
  EXPECT_EQ(doc.documentHTML(),
            u"<html><head></head><body><p id=\"p\" b><svg><style>c{}<g></g></style></svg></p></body></html>");
}

TEST_F(HtmlDocumentTest, LoadingNeverRunsScriptsNorFetches) {
  // No script engine and no network exist here: script stays text, sources stay addresses.
  CHtmlDocument doc = load(
      u"<body onload=\"document.body.innerHTML='ran'\"><script>document.write('<p id=w>ran</p>')</script>"
      u"<img src=\"http://example.invalid/x.png\"><iframe src=\"http://example.invalid/\"></iframe>"
      u"<link rel=stylesheet href=\"http://example.invalid/s.css\"></body>");
  EXPECT_EQ(doc.all().item(u"w").length(), 0);
  EXPECT_EQ(doc.all().tags(u"script").item(0).innerHTML(), u"document.write('<p id=w>ran</p>')");
  EXPECT_EQ(doc.all().tags(u"iframe").item(0).innerHTML(), u"");
  EXPECT_EQ(doc.styleSheetsLength(), 0);
  EXPECT_EQ(doc.body().innerText(), u"");
}

}  // namespace
