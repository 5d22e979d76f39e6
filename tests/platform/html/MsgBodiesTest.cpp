// The HTML bodies of real Outlook mail: each parses, serialises and parses again to the same
// document, so a template never changes a body just by passing it through.
#include <gtest/gtest.h>

#include "platform/com/HResult.h"
#include "platform/html/HtmlDocument.h"
#include "tests/support/MsgBodies.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::html::CHtmlDocument;

class MsgBodiesTest : public testsupport::IsolatedTest {};

TEST_F(MsgBodiesTest, EveryBodyParsesAndSerialisesStably) {
  QM_REQUIRE_SHARED_DATA();
  const auto bodies = testsupport::sampleHtmlBodies();
  EXPECT_GE(bodies.size(), 20u);  // most samples carry HTML, many only inside their RTF
  for (const auto& body : bodies) {
    SCOPED_TRACE(body.file.filename().string());
    CHtmlDocument first;
    ASSERT_EQ(first.loadFromString(body.html), S_OK);
    const std::u16string once = first.documentHTML();
    CHtmlDocument second;
    ASSERT_EQ(second.loadFromString(once), S_OK);
    EXPECT_EQ(second.documentHTML(), once);
    EXPECT_EQ(second.body().innerText(), first.body().innerText());
  }
}

}  // namespace
