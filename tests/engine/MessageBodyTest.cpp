// The body of CMessage over fake items: the document loaded inert, plain text without an HTML
// body, the thread range prepared once per range, and the style rules collected and applied.
#include "engine/Message.h"

#include <gtest/gtest.h>

#include "foundation/Settings.h"
#include "platform/com/HResult.h"
#include "tests/engine/FakeOutlook.h"
#include "tests/engine/FormatterTestSupport.h"

namespace {

using namespace enginetest;
using formattertest::utf8;

const char16_t* kThreadHTML =
    u"<html><body><p>Latest</p><p>From: Ann</p><p>one</p><p>From: Bob</p><p>two</p></body></html>";

class MessageBodyTest : public formattertest::FormatterTest {
 protected:
  void SetUp() override {
    FormatterTest::SetUp();
    // The settings store sets up the log when it loads: load it first, then log at Debug here.
    CSettings::instance();
    ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(m_logPath.string())));
    NLog::setLevels(formattertest::kLevelNames, u"debug");
  }
  void TearDown() override {
    CSettings::resetForTesting();
    FormatterTest::TearDown();
  }

  static FakePtr htmlItem(std::u16string_view html) {
    FakePtr item = makeFake();
    item->value(0xFA49, u"BodyFormat", CComVariant(LONG(2)));
    item->text(0xF404, u"HTMLBody", html);
    return item;
  }
  static FakePtr plainItem(std::u16string_view text) {
    FakePtr item = makeFake();
    item->value(0xFA49, u"BodyFormat", CComVariant(LONG(1)));
    item->text(0x9100, u"Body", text);
    return item;
  }
  static std::u16string bodyText(CMessage& message) {
    const auto document = message.getDocument();
    return document ? document->body().innerText() : u"(no document)";
  }
  // How often a log text occurs (Tidy's diagnostics span several lines of the log).
  std::size_t inLog(const std::string& text) const {
    const std::string log = testsupport::readFile(m_logPath);
    std::size_t count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
  }
  std::size_t threadCuts() const { return inLog(">> NUtils::changeBodyToThread"); }
};

TEST_F(MessageBodyTest, HostileBodyDocumentIsInert) {
  FakePtr item = htmlItem(
      u"<html><head><meta http-equiv=refresh content=0><style>@page { size: A3 } p { color: red }</style></head>"
      u"<body onload=alert(1)><script>alert(2)</script><p>Hi <a href=\"javascript:alert(3)\">there</a></p>"
      u"<iframe src=http://e.x/></iframe></body></html>");
  CMessage message(item);
  const auto document = message.getDocument();
  ASSERT_TRUE(document);
  const std::u16string html = document->documentHTML();
  for (const char16_t* gone : {u"<script", u"onload", u"javascript:", u"<iframe", u"<meta", u"@page"})
    EXPECT_EQ(html.find(gone), std::u16string::npos) << utf8(gone) << " in " << utf8(html);
  EXPECT_EQ(document->body().innerText(), u"Hi there");
  EXPECT_NE(html.find(u"p { color: red }"), std::u16string::npos);
  // The same document is answered again: it is loaded once.
  EXPECT_EQ(message.getDocument()->body(), document->body());
  EXPECT_EQ(item->count(u"get HTMLBody"), 1u);
}

TEST_F(MessageBodyTest, ItemWithoutHTMLBodyHasNoDocumentAndIsAskedAgain) {
  FakePtr item = makeFake();
  item->text(0xF404, u"HTMLBody", u"");
  CMessage message(item);
  EXPECT_FALSE(message.getDocument());
  EXPECT_FALSE(message.getDocument());
  EXPECT_EQ(item->count(u"get HTMLBody"), 2u);
  message.setHTMLFromBody(nullptr);  // an HTML item without a body: nothing to prepare
  EXPECT_FALSE(message.getDocument());
}

TEST_F(MessageBodyTest, PlainTextWithoutHTMLBodyPrintsEscapedOnce) {
  CMessage message(plainItem(u"Hi <you> & me\nFrom: Ann\nold"));
  ASSERT_FALSE(message.getDocument());
  message.setHTMLFromBody(nullptr);
  EXPECT_EQ(bodyText(message), u"Hi <you> & me\r\nFrom: Ann\r\nold");

  PrintOptions latest{1, 1, 2, 0};
  CMessage trimmed(plainItem(u"Hi\nFrom: Ann\nold"));
  trimmed.setHTMLFromBody(&latest);
  EXPECT_EQ(bodyText(trimmed), u"Hi");
}

// A plain-text item's text replaces its HTML body's BODY, which is neither tidied nor parsed where
// it holds only text and line breaks: the head's rules and the BODY's attributes stay as the whole
// body had them. Where the BODY tag might not be what it seems (inside a comment) or the BODY holds
// markup, the whole body is read.
TEST_F(MessageBodyTest, PlainTextKeepsTheHTMLBodysHeadAndBodyAttributes) {
  struct Case {
    std::u16string head, inside;
    bool bodyRead;
  } cases[] = {
      {u"<html><head><style>p.a { color: red }</style><!-- a comment --></head>", u"old &bogus; text<br>\r\nmore<BR/>", false},
      {u"<html><head><style>p.a { color: red }</style><!-- not <body> here --></head>", u"old &bogus; text<br>", true},
      {u"<html><head><style>p.a { color: red }</style></head>", u"old &bogus; <p class=x>text</p><style>b { margin: 0 }</style>",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(c.head + c.inside));
    const std::size_t warnings = inLog("unknown entity");
    FakePtr item = plainItem(u"New <text>\nline two");
    item->text(0xF404, u"HTMLBody", c.head + u"<body bgcolor=\"#112233\" class='a>b'>" + c.inside + u"</body></html>");
    CMessage message(item);
    message.setHTMLFromBody(nullptr);
    EXPECT_EQ(bodyText(message), u"New <text>\r\nline two");
    const auto document = message.getDocument();
    ASSERT_TRUE(document);
    EXPECT_EQ(document->body().getAttribute(u"bgcolor"), u"#112233");
    EXPECT_EQ(document->body().getAttribute(u"class"), u"a>b");
    message.extractHTMLBodyStyles();
    EXPECT_EQ(message.getHTMLBodyStyles().count(u"p.a"), 1u);
    EXPECT_EQ(c.bodyRead, inLog("unknown entity") > warnings) << "Tidy warned of the BODY's text";
  }
}

TEST_F(MessageBodyTest, ThreadIsCutOncePerRangeAndEachRangeStartsFromTheItem) {
  CMessage message(htmlItem(kThreadHTML));
  const PrintOptions latest{1, 1, 2, 0};
  const PrintOptions oneEarlier{1, 1, 2, 1};
  const PrintOptions pages{1, 3, 1, 0};

  message.setHTMLFromBody(&latest);
  EXPECT_EQ(bodyText(message), u"Latest");
  message.setHTMLFromBody(&latest);
  EXPECT_EQ(threadCuts(), 1u);

  message.setHTMLFromBody(&pages);
  EXPECT_EQ(bodyText(message), u"Latest\r\nFrom: Ann\r\none\r\nFrom: Bob\r\ntwo");
  message.setHTMLFromBody(&oneEarlier);
  EXPECT_EQ(bodyText(message), u"Latest\r\nFrom: Ann\r\none");
  message.setHTMLFromBody(nullptr);
  EXPECT_EQ(bodyText(message), u"Latest\r\nFrom: Ann\r\none\r\nFrom: Bob\r\ntwo");
  EXPECT_EQ(threadCuts(), 2u);
}

TEST_F(MessageBodyTest, FirstRuleOfEachSelectorIsAppliedInSelectorOrder) {
  CMessage message(htmlItem(
      u"<html><head><style>p.a { color: red } div { margin: 0 } p.a { margin: 1px }</style>"
      u"<style>@import url(x.css); b { font-weight: bold }</style></head><body>x</body></html>"));
  ASSERT_TRUE(message.getDocument());
  message.extractHTMLBodyStyles();
  const std::map<quilstring, quilstring> expected = {
      {u"b", u"font-weight: bold"}, {u"div", u"margin: 0"}, {u"p.a", u"color: red"}};
  EXPECT_EQ(message.getHTMLBodyStyles(), expected);

  platform::html::CHtmlDocument target;
  ASSERT_EQ(target.loadFromString(u"<html><head><style>h1 { x: y }</style></head><body></body></html>"), S_OK);
  EXPECT_EQ(message.applyHTMLBodyStyles(target), S_OK);
  ASSERT_EQ(target.styleSheetsLength(), 2);
  std::vector<std::u16string> selectors;
  for (const auto& rule : target.styleSheet(1).rules()) selectors.push_back(rule.selectorText);
  EXPECT_EQ(selectors, (std::vector<std::u16string>{u"b", u"div", u"p.a"}));
  EXPECT_EQ(inLog("Debug   Retrieved HTMLBody style rule: p.a { color: red } ("), 1u);
  EXPECT_EQ(inLog("Debug   Adding HTMLBody style rule: div { margin: 0 } ("), 1u);
}

TEST_F(MessageBodyTest, NoRulesAddNoStyleSheetAndAMissingDocumentIsLogged) {
  CMessage message(htmlItem(u"<p>no styles</p>"));
  message.extractHTMLBodyStyles();  // before any load: nothing to read
  EXPECT_EQ(inLog("Error   Couldn't retrieve item's HTMLBody styles ("), 1u);
  ASSERT_TRUE(message.getDocument());
  message.extractHTMLBodyStyles();
  platform::html::CHtmlDocument target;
  EXPECT_EQ(message.applyHTMLBodyStyles(target), S_OK);
  EXPECT_EQ(target.styleSheetsLength(), 0);
}

}  // namespace
