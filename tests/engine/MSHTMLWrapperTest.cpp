#include "engine/MSHTMLWrapper.h"

#include <gtest/gtest.h>

#include "platform/system/Diagnostics.h"
#include "tests/support/TestEnvironment.h"

namespace {

class MSHTMLWrapperTest : public testsupport::IsolatedTest {};

TEST_F(MSHTMLWrapperTest, HasNoDocumentBeforeTheFirstLoad) {
  CMSHTMLWrapper wrapper;
  wrapper.Initialise();
  EXPECT_FALSE(wrapper.getDocument().has_value());
}

TEST_F(MSHTMLWrapperTest, SecondLoadReplacesTheFirstAndOldElementsStayUsable) {
  CMSHTMLWrapper wrapper;
  wrapper.Initialise();
  ASSERT_TRUE(wrapper.LoadFromString(u"<p id=a>first</p>"));
  auto first = wrapper.getDocument();
  ASSERT_TRUE(first);
  platform::html::CHtmlElement kept = first->all().item(u"a").item(0);
  ASSERT_TRUE(wrapper.LoadFromString(u"<p id=b>second</p>"));
  EXPECT_EQ(wrapper.getDocument()->all().item(u"a").length(), 0);
  EXPECT_EQ(wrapper.getDocument()->all().item(u"b").item(0).innerText(), u"second");
  EXPECT_EQ(kept.innerText(), u"first");  // held by the caller, still valid
}

TEST_F(MSHTMLWrapperTest, ScriptsInTheBodyStayInert) {
  CMSHTMLWrapper wrapper;
  wrapper.Initialise();
  ASSERT_TRUE(wrapper.LoadFromString(
      u"<body onload=\"document.body.innerHTML='x'\"><script>document.write('<p id=w>')</script>"
      u"<img src=\"http://127.0.0.1:9/x.png\" onerror=\"document.title='y'\"><p id=t>text</p></body>"));
  auto doc = wrapper.getDocument();
  EXPECT_EQ(doc->all().item(u"w").length(), 0);
  EXPECT_EQ(doc->all().item(u"t").item(0).innerText(), u"text");
}

TEST_F(MSHTMLWrapperTest, RefusedLoadKeepsThePreviousDocument) {
  CMSHTMLWrapper wrapper;
  wrapper.Initialise();
  ASSERT_TRUE(wrapper.LoadFromString(u"<p id=a>kept</p>"));
  const std::u16string huge(platform::html::kMaxHtmlLength + 1, u'x');
  platform::diag::clearLastFailure();
  EXPECT_FALSE(wrapper.LoadFromString(huge));
  EXPECT_EQ(platform::diag::lastFailure(), "Fail on CHTMLLoader::LoadFromString: Ran out of memory");
  EXPECT_EQ(wrapper.getDocument()->all().item(u"a").length(), 1);
}

}  // namespace
