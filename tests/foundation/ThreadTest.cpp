#include "foundation/Thread.h"

#include <gtest/gtest.h>

#include "foundation/Settings.h"
#include "platform/html/HtmlDocument.h"
#include "platform/registry/RegKey.h"
#include "tests/support/TestEnvironment.h"

namespace {

class ThreadTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    CSettings::resetForTesting();
  }
  void TearDown() override { CSettings::resetForTesting(); }
};

const std::vector<quilstring> kHeaders = {u"From:", u"From :"};

std::u16string cut(std::u16string text, int responses, const std::u16string& prefix = u"") {
  EXPECT_TRUE(NUtils::convertTextToThread(text, responses, prefix, kHeaders));
  return text;
}

// A reply over three earlier messages, each introduced by a header line.
const std::u16string kThread =
    u"Latest reply\r\n"
    u"\r\n"
    u"From: Ann\r\n"
    u"first earlier\r\n"
    u"From : Bob\r\n"
    u"second earlier\r\n"
    u"From: Cy\r\n"
    u"third earlier";

TEST_F(ThreadTest, CutsBeforeTheHeaderAfterTheRequestedResponses) {
  struct Case {
    int responses;
    const char16_t* expected;
  };
  const Case cases[] = {
      {0, u"Latest reply\r\n"},
      {1, u"Latest reply\r\n\r\nFrom: Ann\r\nfirst earlier"},
      {2, u"Latest reply\r\n\r\nFrom: Ann\r\nfirst earlier\r\nFrom : Bob\r\nsecond earlier"},
      {3, kThread.c_str()},
      {7, kThread.c_str()},
      {-1, u"Latest reply\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.responses);
    EXPECT_EQ(cut(kThread, c.responses), c.expected);
  }
}

TEST_F(ThreadTest, LinesAreJoinedWithCrLfWithoutTheirOwnCr) {
  struct Case {
    const char16_t* text;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"", u""},
      {u"no header at all", u"no header at all"},
      {u"a\r\nb\r\nc", u"a\r\nb\r\nc"},
      {u"a\nb\nc\n", u"a\r\nb\r\nc"},
      {u"a\r\n\r\nb", u"a\r\n\r\nb"},
      {u"From: first line\nrest", u""},
      {u"top\nFrom:\r\nbelow", u"top"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(quilstring(c.text).toUtf8());
    EXPECT_EQ(cut(c.text, 0), c.expected);
  }
}

TEST_F(ThreadTest, HeaderMatchingRules) {
  struct Case {
    const char16_t* text;
    const char16_t* prefix;
    const char16_t* expected;
  };
  const Case cases[] = {
      // Quoted headers count only when the quoting marks are prefix characters.
      {u"top\n> From: x\nq", u"", u"top\r\n> From: x\r\nq"},
      {u"top\n> From: x\nq", u"> ", u"top"},
      {u"top\n>> > From: x\nq", u"> ", u"top"},
      {u"top\n  From: x\nq", u" ", u"top"},
      {u"top\n  From: x\nq", u"", u"top\r\n  From: x\r\nq"},
      // The comparison is exact: case and the colon matter.
      {u"top\nfrom: x\nFROM: y\nFrom x", u"", u"top\r\nfrom: x\r\nFROM: y\r\nFrom x"},
      {u"top\nsent From: x", u"", u"top\r\nsent From: x"},
      // A line of prefix characters only, or a header cut by the line end, is no header.
      {u"top\n> > \nFrom\n:x", u"> ", u"top\r\n> > \r\nFrom\r\n:x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(quilstring(c.text).toUtf8());
    EXPECT_EQ(cut(c.text, 0, c.prefix), c.expected);
  }
}

TEST_F(ThreadTest, DefaultHeadersComeFromTheStringTable) {
  EXPECT_EQ(NUtils::threadHeaderTexts(), (std::vector<quilstring>{u"From:", u"From :"}));
  EXPECT_EQ(NUtils::threadPrefixChars(), u"");
  std::u16string text = u"reply\r\nFrom: a\r\nold\r\nFrom : b\r\nolder";
  EXPECT_TRUE(NUtils::convertTextToThread(text, 1));
  EXPECT_EQ(text, u"reply\r\nFrom: a\r\nold");
}

// The body's text after cutting the HTML body.
std::u16string cutHtml(const std::u16string& html, int responses, const std::u16string& prefix = u"") {
  platform::html::CHtmlDocument document;
  EXPECT_EQ(document.loadFromString(html), 0);
  NUtils::changeBodyToThread(document, responses, prefix, {u"FROM"});
  return document.body().innerText();
}

// Outlook's reply layout: each earlier message under a header block of nested elements.
const std::u16string kHtmlThread =
    u"<div>Latest</div>"
    u"<div><div><p><b>From:</b> Ann</p></div><p>first</p></div>"
    u"<div><div><p><b>From:</b> Bob</p></div><p>second</p></div>"
    u"<div><div><p><b>From:</b> Cy</p></div><p>third</p></div>";

TEST_F(ThreadTest, HtmlBodyIsCutBeforeTheHeaderAfterTheRequestedResponses) {
  struct Case {
    int responses;
    const char16_t* expected;
  };
  const Case cases[] = {
      {0, u"Latest"},
      {1, u"Latest\r\nFrom: Ann\r\nfirst"},
      {2, u"Latest\r\nFrom: Ann\r\nfirst\r\nFrom: Bob\r\nsecond"},
      {3, u"Latest\r\nFrom: Ann\r\nfirst\r\nFrom: Bob\r\nsecond\r\nFrom: Cy\r\nthird"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.responses);
    EXPECT_EQ(cutHtml(kHtmlThread, c.responses), c.expected);
  }
}

TEST_F(ThreadTest, HtmlHeaderMatchingRules) {
  // Any case matches; quoting marks count only as prefix characters.
  EXPECT_EQ(cutHtml(u"<p>top</p><p>from: x</p><p>q</p>", 0), u"top");
  EXPECT_EQ(cutHtml(u"<p>top</p><p>&gt; From: x</p><p>q</p>", 0), u"top\r\n> From: x\r\nq");
  EXPECT_EQ(cutHtml(u"<p>top</p><p>&gt; From: x</p><p>q</p>", 0, u"> "), u"top");
  EXPECT_EQ(cutHtml(u"<p>top, sent From: x</p>", 0), u"top, sent From: x");
  // A header quoted inside the earlier message it follows still counts as the next one.
  const std::u16string nested =
      u"<p>top</p><blockquote><div><b>From:</b> Ann</div><div>old"
      u"<blockquote><div><b>From:</b> Bob</div><div>older</div></blockquote></div></blockquote>";
  EXPECT_EQ(cutHtml(nested, 1), u"top\r\nFrom: Ann\r\nold");
  EXPECT_EQ(cutHtml(nested, 2), cutHtml(nested, 9));
  EXPECT_NE(cutHtml(nested, 2).find(u"older"), std::u16string::npos);
}

// Whether an element starts a new header is decided by where it stands, not by finding its text
// in the body's text, which the same header text elsewhere would mislead.
TEST_F(ThreadTest, HtmlHeadersAreCountedByTheirPlaceNotTheirText) {
  // The same header text in the containing element, before the nested one.
  EXPECT_EQ(cutHtml(u"<p>top</p><div>From: X<p>From: X</p></div>", 1), u"top\r\nFrom: X");
  // A header repeated inside a <pre> quote of the same message.
  EXPECT_EQ(cutHtml(u"<p>top</p><pre>From: Ann\nold</pre><div>From: Ann</div><p>older</p>", 1),
            u"top\r\nFrom: Ann\r\nold");
  EXPECT_EQ(cutHtml(u"<p>top</p><div><pre>From: Ann\nold</pre><p>From: Ann</p></div><p>older</p>", 1),
            u"top\r\nFrom: Ann\r\nold");
  // Blanks, prefix characters, comments and empty elements before a nested element leave it the
  // same header as its container.
  EXPECT_EQ(cutHtml(u"<p>top</p><div> <!-- x --><span></span>&gt; <b>From:</b> Ann<p>old</p></div>"
                    u"<div>From: Bob</div>",
                    1, u"> "),
            u"top\r\n> From: Ann\r\nold");
}

TEST_F(ThreadTest, HtmlDefaultsComeFromTheStringTable) {
  EXPECT_EQ(NUtils::threadTextMatches(), (std::vector<quilstring>{u"FROM"}));
  platform::html::CHtmlDocument document;
  ASSERT_EQ(document.loadFromString(kHtmlThread), 0);
  NUtils::changeBodyToThread(document, 1);
  EXPECT_EQ(document.body().innerText(), u"Latest\r\nFrom: Ann\r\nfirst");
  platform::html::CHtmlDocument frames;
  ASSERT_EQ(frames.loadFromString(u"<frameset><frame></frameset>"), 0);
  NUtils::changeBodyToThread(frames, 0);
}

}  // namespace

namespace {

TEST_F(ThreadTest, TheRulesComeFromTheSettings) {
  {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kProductKey), ERROR_SUCCESS);
    ASSERT_EQ(key.SetStringValue(u"Thread prefix chars", u"> "), ERROR_SUCCESS);
    ASSERT_EQ(key.SetStringValue(u"Thread text matches", u"Von;From"), ERROR_SUCCESS);
  }
  EXPECT_EQ(NUtils::threadPrefixChars(), u"> ");
  EXPECT_EQ(NUtils::threadTextMatches(), (std::vector<quilstring>{u"VON", u"FROM"}));
  quilstring text(u"latest\n> From: a\nquoted\n");
  ASSERT_TRUE(NUtils::convertTextToThread(text, 0));
  EXPECT_EQ(text, u"latest");
}

}  // namespace
