// HTML Tidy cleans the body of every real sample mail, and the result still holds its text.
#include <gtest/gtest.h>

#include "foundation/HtmlText.h"
#include "platform/com/HResult.h"
#include "platform/html/HtmlDocument.h"
#include "tests/support/MsgBodies.h"
#include "tests/support/TestEnvironment.h"

namespace {

class TidySamplesTest : public testsupport::IsolatedTest {};

TEST_F(TidySamplesTest, EveryBodyIsCleanedAndKeepsItsText) {
  QM_REQUIRE_SHARED_DATA();
  const auto bodies = testsupport::sampleHtmlBodies();
  ASSERT_GE(bodies.size(), 20u);
  for (const auto& body : bodies) {
    SCOPED_TRACE(body.file.filename().string());
    std::u16string cleaned = body.html;
    NUtils::tidyHTML(cleaned);
    platform::html::CHtmlDocument before, after;
    ASSERT_EQ(before.loadFromString(body.html), S_OK);
    ASSERT_EQ(after.loadFromString(cleaned), S_OK);
    const std::u16string text = before.body().innerText();
    // The first words of the body survive the repair.
    EXPECT_NE(after.body().innerText().find(text.substr(0, std::min<std::size_t>(text.size(), 12))), std::u16string::npos);
  }
}

}  // namespace
