#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/ui/HtmlView.h"
#include "tests/support/TestEnvironment.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kBody[] =
    "<html><head><title>Mail</title></head><body>"
    "<p>First paragraph.</p>"
    "<div><p>Second <b>bold</b> paragraph.</p><p>Third paragraph.</p></div>"
    "<p>Fourth paragraph.</p>"
    "<script>document.title = 'ran'</script>"
    "</body></html>";

class HtmlViewHeadlessTest : public testsupport::IsolatedTest {};

TEST_F(HtmlViewHeadlessTest, ReadsTheElementsBetweenTheHighlightedTexts) {
  auto view = platform::ui::makeHeadlessHtmlView();
  int completed = 0;
  view->setDocumentCompleteHandler([&] { ++completed; });
  view->loadHtml(kBody, dir());
  EXPECT_EQ(completed, 1);
  EXPECT_EQ(view->baseFolder(), dir());
  EXPECT_EQ(view->nativeWidget(), nullptr);

  std::string html = "unread";
  auto read = [&] { view->selectionHtml([&](bool ok, const std::string& text) { html = ok ? text : "failed"; }); };
  read();
  EXPECT_EQ(html, "") << "nothing is highlighted yet";

  // Across two siblings inside one block: both whole, the bold run inside the first one found
  // by its own text.
  ASSERT_TRUE(view->selectText(u"bold", u"Third"));
  read();
  EXPECT_EQ(html, "<p>Second <b>bold</b> paragraph.</p><p>Third paragraph.</p>");

  // Across blocks: the children of the body from the first paragraph to the fourth.
  ASSERT_TRUE(view->selectText(u"First", u"Fourth"));
  read();
  EXPECT_THAT(html, HasSubstr("<p>First paragraph.</p><div>"));
  EXPECT_THAT(html, HasSubstr("</div><p>Fourth paragraph.</p>"));
  EXPECT_THAT(html, Not(HasSubstr("script")));

  // A text that is not there, or that only comes before the start, highlights nothing.
  EXPECT_FALSE(view->selectText(u"Fourth", u"First"));
  read();
  EXPECT_EQ(html, "");

  // A new document drops the old selection; the page's script is text, never run.
  ASSERT_TRUE(view->selectText(u"First", u"First"));
  view->loadHtml(kBody, dir());
  read();
  EXPECT_EQ(html, "");
  EXPECT_EQ(completed, 2);
  EXPECT_EQ(view->document().all().tags(u"title").item(0L).innerHTML(), u"Mail");
}

}  // namespace
