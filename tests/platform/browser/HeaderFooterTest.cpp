// Internet Explorer's header and footer codes, as its HeaderFooter behaviour renders them.
#include "platform/browser/HeaderFooter.h"

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace {

using namespace platform::browser;

class HeaderFooterTest : public testsupport::IsolatedTest {
 protected:
  HeaderFooterContext m_context{u"Report <Q1> & \"more\"", u"file:///tmp/Memo.htm", {2024, 3, 2, 5, 14, 7, 9, 0}, 1033};
};

std::string cells(const std::string& left, const std::string& centre, const std::string& right) {
  return "<table class=\"qm-headfoot\"><tr><td class=\"qm-left\">" + left + "</td><td class=\"qm-centre\">" + centre +
         "</td><td class=\"qm-right\">" + right + "</td></tr></table>";
}

TEST_F(HeaderFooterTest, CodesAsInternetExplorerRendersThem) {
  struct Case {
    const char16_t* code;
    std::string html;
  } cases[] = {
      {u"", ""},
      {u"&w&bPage &p of &P", cells("Report &lt;Q1&gt; &amp; &quot;more&quot;", "", "Page 3 of 7")},
      {u"&u&b&d", cells("file:///tmp/Memo.htm", "", "3/5/2024")},
      {u"left&bcentre&bright", cells("left", "centre", "right")},
      {u"a&bb&bc&bd", cells("a", "b", "cd")},
      {u"&D", cells("Tuesday, March 5, 2024", "", "")},
      {u"&t|&T", cells("2:07 PM|14:07", "", "")},
      {u"&&p is &p", cells("&amp;p is 3", "", "")},
      {u"100% & &x &", cells("100% &amp; &amp;x &amp;", "", "")},
      {u"<script>&p</script>", cells("&lt;script&gt;3&lt;/script&gt;", "", "")},
      {u"&b&b&p", cells("", "", "3")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.html));
    EXPECT_EQ(c.html, renderHeaderFooter(c.code, m_context, 3, 7));
  }
}

TEST_F(HeaderFooterTest, DatesFollowTheLocale) {
  m_context.locale = 1031;
  EXPECT_EQ(cells("05.03.2024 14:07", "", ""), renderHeaderFooter(u"&d &t", m_context, 1, 1));
}

}  // namespace
