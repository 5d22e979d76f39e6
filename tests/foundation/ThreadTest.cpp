#include "foundation/Thread.h"

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace {

class ThreadTest : public testsupport::IsolatedTest {};

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

}  // namespace
