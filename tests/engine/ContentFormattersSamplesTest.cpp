// The body and content formatters on real items, through the Outlook object model over a store of
// .msg files: the HTML-in-RTF samples give a body document with their text, their style rules
// carried into the template; a plain-text sample prints its text; a hostile item formats inert.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/Message.h"
#include "engine/PropertyFormatter.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "platform/mapi/PropTags.h"
#include "platform/outlook/Outlook.h"
#include "tests/engine/FormatterTestSupport.h"
#include "tests/support/MsgWriter.h"

namespace {

namespace fs = std::filesystem;
using formattertest::utf8;
using platform::html::CHtmlDocument;
using platform::html::CHtmlElement;

// A template: the body lands in a cell, as in the default template.
const char16_t* kTemplate =
    u"<html><head><style>td { padding: 0 }</style></head><body><p id=QMMessProp>NAME=Subject</p>"
    u"<table><tr><td id=QMMessProp>NAME=Body</td></tr></table></body></html>";

class ContentFormattersSamplesTest : public formattertest::FormatterTest {
 protected:
  void SetUp() override {
    FormatterTest::SetUp();
    NUtils::resetTempPathForTesting();
    fs::create_directories(inbox());
  }
  void TearDown() override {
    m_outlook.reset();
    CSettings::resetForTesting();
    FormatterTest::TearDown();
  }
  fs::path inbox() const { return dir() / "store" / "Inbox"; }
  void openStore() {
    m_outlook = platform::outlook::COutlook::open(dir() / "store");
    ASSERT_TRUE(m_outlook);
    CSettings::instance().outlookApplication() = m_outlook->application();
  }
  // A store whose Inbox links to the samples (never copied).
  void openSamples(std::initializer_list<const char*> names) {
    for (const char* name : names)
      fs::create_symlink(testsupport::sharedDir() / "testdata" / "msg" / name, inbox() / name);
    openStore();
  }
  CComPtr<IDispatch> sample(const std::string& name) { return m_outlook->item(inbox() / name); }

  // Fills the template's data elements from the item as the filler does for one item: the body
  // prepared first, the styles applied after the fields.
  void fillTemplate(IDispatch* item, CMessage& message, const PrintOptions* range = nullptr) {
    ASSERT_EQ(m_page.loadFromString(kTemplate), S_OK);
    message.setHTMLFromBody(range);
    const auto fields = m_page.all().item(u"QMMessProp");
    for (long i = 0; i < fields.length(); ++i) {
      CHtmlElement field = fields.item(i);
      const quilstring text = field.innerHTML();
      CElementSettings settings(text, item);
      if (auto formatter = CPropertyFormatter::findForElement(settings.kind(), text))
        formatter->format(settings, message, field);
    }
    ASSERT_EQ(message.applyHTMLBodyStyles(m_page), S_OK);
  }
  CHtmlElement bodyCell() const { return m_page.all().tags(u"td").item(0); }

  std::unique_ptr<platform::outlook::COutlook> m_outlook;
  CHtmlDocument m_page;
};

TEST_F(ContentFormattersSamplesTest, HTMLInRTFSamplesPrintTheirBodyWithTheirStyles) {
  QM_REQUIRE_SHARED_DATA();
  // Body starts and inline image counts checked by hand against the samples' reference listings.
  const struct {
    const char* file;
    const char16_t* text;
    std::size_t images;
  } cases[] = {
      {"bbot__embedded_image.msg", u"This should pass into the kayako", 1},
      {"hht__Hello_+CJK.msg", u"C 你好\r\nJ こんにちは", 0},
      {"poi__attachment_msg_inlineImg.msg", u"Download and install SQLite Manager", 4},
      {"hht__attachmentFiles.msg", u"attachmentFiles", 0},
  };
  openSamples({"bbot__embedded_image.msg", "hht__Hello_+CJK.msg", "poi__attachment_msg_inlineImg.msg",
               "hht__attachmentFiles.msg"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const CComPtr<IDispatch> item = sample(c.file);
    ASSERT_TRUE(item);
    CMessage message(item);
    fillTemplate(item, message);
    const std::u16string text = bodyCell().innerText();
    EXPECT_NE(text.find(c.text), std::u16string::npos) << utf8(text.substr(0, 200));
    // Word's HTML carries its paragraph styles: collected, and added after the template's own.
    EXPECT_FALSE(message.getHTMLBodyStyles().empty());
    ASSERT_EQ(m_page.styleSheetsLength(), 2);
    EXPECT_EQ(m_page.styleSheet(1).rulesLength(), static_cast<long>(message.getHTMLBodyStyles().size()));
    // Inline images point at their files in the temporary folder.
    const auto images = bodyCell().all().tags(u"img");
    std::size_t resolved = 0;
    for (long i = 0; i < images.length(); ++i) {
      const fs::path source(quilstring(images.item(i).getAttribute(u"src")).toUtf8());
      if (source.is_absolute() && fs::exists(source)) ++resolved;
    }
    EXPECT_EQ(resolved, c.images);
  }
}

TEST_F(ContentFormattersSamplesTest, PlainTextSamplePrintsItsText) {
  QM_REQUIRE_SHARED_DATA();
  openSamples({"sicos__TxtSampleEmail.msg"});
  const CComPtr<IDispatch> item = sample("sicos__TxtSampleEmail.msg");
  ASSERT_TRUE(item);
  CMessage message(item);
  fillTemplate(item, message);
  const std::u16string text = bodyCell().innerText();
  EXPECT_NE(text.find(u"BOOK ONE: 1805"), std::u16string::npos) << utf8(text.substr(0, 200));
  EXPECT_NE(text.find(u"CHAPTER I"), std::u16string::npos);
}

TEST_F(ContentFormattersSamplesTest, HostileItemFormatsToInertHTML) {
  using namespace testsupport;
  const std::u16string subject = u"<img src=x onerror=alert(1)>";
  const std::string html =
      "<html><head><style>@page { size: A3; margin: 0 } @import url(http://e.x/a.css); p { color: red }</style>"
      "<meta http-equiv=refresh content=0><base href=http://e.x/></head>"
      "<body onload=alert(2)><script>alert(3)</script><p onmouseover=alert(4)>Dear <a href=\"javascript:alert(5)\">"
      "reader</a></p><iframe src=http://e.x/></iframe><object data=x></object><svg><script>alert(6)</script></svg>"
      "</body></html>";
  MsgDescription description;
  description.messageClass = "IPM.Note";
  description.props = {unicodeProp(PR_SUBJECT_W, subject), binaryProp(PR_HTML, html),
                       unicodeProp(PR_SENDER_NAME_W, u"<b>Mallory</b>"),
                       unicodeProp(PR_SENDER_EMAIL_ADDRESS_W, u"m@example.org")};
  ASSERT_TRUE(writeMsgFile(description, inbox() / "hostile.msg"));
  openStore();
  const CComPtr<IDispatch> item = m_outlook->item(inbox() / "hostile.msg");
  ASSERT_TRUE(item);
  CMessage message(item);
  fillTemplate(item, message);

  const std::u16string page = m_page.documentHTML();
  for (const char16_t* gone : {u"<script", u"<iframe", u"<object", u"<meta", u"<base", u"onload", u"onmouseover",
                               u"javascript:", u"@page", u"@import", u"<img"})
    EXPECT_EQ(page.find(gone), std::u16string::npos) << utf8(gone) << " in " << utf8(page);
  EXPECT_EQ(m_page.all().item(u"QMMessProp").item(0).innerText(), subject);
  EXPECT_EQ(bodyCell().innerText(), u"Dear reader");
  EXPECT_EQ(message.getHTMLBodyStyles().count(u"p"), 1u);
}

}  // namespace
