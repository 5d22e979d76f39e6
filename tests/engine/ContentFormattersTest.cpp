// The content formatters over .msg fixtures and fake items: recipients in both styles and "on
// behalf of", attachment names, the contact picture and the body with its inline images. Every
// item text reaches the page escaped once; separators and format strings stay template HTML.
#include <gtest/gtest.h>

#include <string>

#include "engine/Message.h"
#include "engine/PropertyFormatter.h"
#include "engine/formatters/AttachmentFormatter.h"
#include "engine/formatters/ImageFormatter.h"
#include "engine/formatters/RecipientFormatter.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "tests/engine/FormatterTestSupport.h"
#include "tests/engine/MessageFixtures.h"

namespace {

using namespace enginetest;
using namespace testsupport;
using formattertest::utf8;

class ContentFormattersTest : public formattertest::FormatterTest {
 protected:
  void SetUp() override {
    FormatterTest::SetUp();
    NUtils::resetTempPathForTesting();
  }
  void TearDown() override {
    CSettings::resetForTesting();
    FormatterTest::TearDown();
  }
  // Formats one element as the template filler does; answers its innerHTML.
  std::u16string fill(CMessage& message, const quilstring& text, bool* answer = nullptr) {
    CElementSettings s(text, message.getItem().getDispatch());
    const CPropertyFormatterPtr formatter = CPropertyFormatter::findForElement(s.kind(), text);
    EXPECT_TRUE(formatter) << utf8(text);
    auto target = element();
    m_last = target;
    const bool result = formatter && formatter->format(s, message, target);
    if (answer) *answer = result;
    return target.innerHTML();
  }
};

TEST_F(ContentFormattersTest, RecipientEntriesInShortAndFullStyle) {
  const LONG shortStyle = CElementSettings::kStyleShort;
  const LONG full = CElementSettings::kStyleFull;
  const struct {
    RecipientDetails recipient;
    LONG style;
    const char16_t* text;
  } cases[] = {
      {{u"Ann", u"ann.example", u"SMTP"}, shortStyle, u"Ann"},
      {{u"Ann", u"ann.example", u"SMTP"}, full, u"Ann [ann.example]"},
      {{u"", u"bob.example", u"SMTP"}, shortStyle, u"bob.example"},
      {{u"", u"bob.example", u"SMTP"}, full, u"bob.example"},
      {{u"Exchange User", u"/o=Org/cn=user", u"ex"}, full, u"Exchange User"},
      {{u"ann.example", u"ann.example", u"SMTP"}, full, u"ann.example"},
      {{u"Ann <ann.example>", u"ann.example", u"SMTP"}, full, u"ann.example"},
      {{u"Ann", u"", u"SMTP"}, full, u"Ann"},
      {{u"", u"", u""}, full, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(utf8(c.text));
    EXPECT_EQ(CRecipientPropertyFormatter::entryText(c.recipient, c.style), std::u16string(c.text));
  }
}

TEST_F(ContentFormattersTest, RecipientListsAreEscapedOnceAndJoinedByTemplateSeparators) {
  MsgDescription d;
  d.recipients = {recipient(MAPI_TO, u"Ann", u"ann.example"), recipient(MAPI_TO, u"", u"bob.example"),
                  recipient(MAPI_TO, u"<b>Eve</b> & Co", u"eve\"@example")};
  CComPtr<IMessage> mapi = openDescription(d);
  ASSERT_TRUE(mapi);
  CMessage message(itemOf(mapi));
  EXPECT_EQ(fill(message, u"NAME=To"), u"Ann, bob.example, &lt;b&gt;Eve&lt;/b&gt; &amp; Co");
  EXPECT_EQ(m_last.innerText(), u"Ann, bob.example, <b>Eve</b> & Co");
  fill(message, u"NAME=ToFull|VALUE_SEPARATOR=<BR>");
  EXPECT_EQ(m_last.innerText(), u"Ann [ann.example]\r\nbob.example\r\n<b>Eve</b> & Co [eve\"@example]");
  EXPECT_EQ(m_last.all().tags(u"b").length(), 0);
  bool answer = true;
  EXPECT_EQ(fill(message, u"NAME=Cc", &answer), u"");
  EXPECT_FALSE(answer);
}

TEST_F(ContentFormattersTest, FromShowsTheDelegateOnBehalfOfThePrincipal) {
  const struct {
    RecipientDetails sender, representing;
    const char16_t* from;
  } cases[] = {
      {{u"Dan", u"dan@example.org", u"SMTP"}, {u"Pat", u"pat@example.org", u"SMTP"}, u"Dan on behalf of Pat"},
      {{u"Dan", u"dan@example.org", u"SMTP"}, {u"Dan", u"DAN@example.org", u"SMTP"}, u"Dan"},
      // The addresses differ, or else the names do.
      {{u"Dan", u"dan@example.org", u"SMTP"}, {u"Daniel", u"dan@example.org", u"SMTP"}, u"Dan on behalf of Daniel"},
      {{u"Dan", u"dan@example.org", u"SMTP"}, {u"dan", u"pat@example.org", u"SMTP"}, u"Dan on behalf of dan"},
      {{u"Dan", u"dan@example.org", u"SMTP"}, {u"", u"dan@example.org", u"SMTP"}, u"Dan"},
      {{u"Dan", u"", u""}, {u"Pat", u"", u""}, u"Dan on behalf of Pat"},
      {{u"Dan", u"dan@example.org", u"SMTP"}, {u"", u"", u""}, u"Dan"},
      {{u"<i>D</i>", u"d@example.org", u"SMTP"}, {u"P&P", u"p@example.org", u"SMTP"},
       u"&lt;i&gt;D&lt;/i&gt; on behalf of P&amp;P"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(utf8(c.from));
    MsgDescription d;
    const auto add = [&](ULONG name, ULONG address, ULONG type, const RecipientDetails& r) {
      if (!r.name.empty()) d.props.push_back(unicodeProp(name, r.name));
      if (!r.address.empty()) d.props.push_back(unicodeProp(address, r.address));
      if (!r.addressType.empty()) d.props.push_back(unicodeProp(type, r.addressType));
    };
    add(PR_SENDER_NAME_W, PR_SENDER_EMAIL_ADDRESS_W, PR_SENDER_ADDRTYPE_W, c.sender);
    add(PR_SENT_REPRESENTING_NAME_W, PR_SENT_REPRESENTING_EMAIL_ADDRESS_W, PR_SENT_REPRESENTING_ADDRTYPE_W,
        c.representing);
    CComPtr<IMessage> mapi = openDescription(d);
    CMessage message(itemOf(mapi));
    EXPECT_EQ(fill(message, u"NAME=From"), std::u16string(c.from));
  }
}

TEST_F(ContentFormattersTest, AttachmentNamesFromTheTableInOrder) {
  MsgDescription embedded;
  embedded.messageClass = "IPM.Note";
  embedded.props = {unicodeProp(PR_SUBJECT_W, u"Forwarded <mail>")};
  const std::u16string longName = std::u16string(300, u'n') + u".txt";

  MsgDescription d;
  d.attachments.push_back(byValue(u"C:\\dir\\report.pdf", "pdf"));
  d.attachments.push_back(byValue(u"inline.png", "png", u"img1"));
  d.attachments.back().props.push_back(longProp(PR_ATTACH_FLAGS, 1));
  d.attachments.push_back(byValue(u"/unix/path/" + longName, "long"));
  MsgAttachment mail{{longProp(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG), unicodeProp(PR_DISPLAY_NAME_W, u"shown")},
                     std::make_shared<MsgDescription>(embedded)};
  d.attachments.push_back(mail);
  d.attachments.push_back({{longProp(PR_ATTACH_METHOD, ATTACH_BY_REFERENCE),
                            unicodeProp(PR_ATTACH_LONG_PATHNAME_W, u"\\\\server\\share\\a&b.doc")},
                           nullptr});
  d.attachments.push_back({{longProp(PR_ATTACH_METHOD, ATTACH_OLE), unicodeProp(PR_DISPLAY_NAME_W, u"Picture")},
                           nullptr});
  d.attachments.push_back({{longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE), unicodeProp(PR_DISPLAY_NAME_W, u"Only")},
                           nullptr});
  d.attachments.push_back({{longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE), unicodeProp(PR_ATTACH_FILENAME_W, u"SHORT.TXT")},
                           nullptr});
  // Direction controls would turn the rest of the line around ("invoice" then "exe.gpj" shown as "gpj.exe").
  d.attachments.push_back(byValue(u"\u200Finvoice\u202Eexe.gpj\u2066\u202A\u2069", "exe"));
  CComPtr<IMessage> mapi = openDescription(d);
  ASSERT_TRUE(mapi);
  CMessage message(itemOf(mapi));

  const std::vector<quilstring> expected = {u"report.pdf", longName, u"Forwarded <mail>", u"a&b.doc",
                                            u"Picture",    u"Only",  u"SHORT.TXT",        u"invoiceexe.gpj"};
  EXPECT_EQ(CAttachmentPropertyFormatter::attachmentNames(message), expected);
  fill(message, u"NAME=Attachments|VALUE_SEPARATOR=<BR>");
  EXPECT_EQ(m_last.all().tags(u"br").length(), 7);
  EXPECT_EQ(m_last.all().tags(u"mail").length(), 0);
  EXPECT_NE(m_last.innerText().find(u"Forwarded <mail>\r\na&b.doc"), std::u16string::npos);
}

TEST_F(ContentFormattersTest, FileNamePartHasNoLengthLimit) {
  const std::u16string longName(1000, u'x');
  const struct {
    std::u16string path, name;
  } cases[] = {{u"C:\\dir\\report.pdf", u"report.pdf"}, {u"report.pdf", u"report.pdf"}, {u"C:report.pdf", u"report.pdf"},
               {u"/a/b.c", u"b.c"},                    {u"C:\\dir\\", u""},             {u"C:\\" + longName, longName}};
  for (const auto& c : cases) EXPECT_EQ(CAttachmentPropertyFormatter::fileNamePart(c.path), c.name) << utf8(c.path);
}

TEST_F(ContentFormattersTest, ContactPictureIsAnImageWithItsPathEscaped) {
  EXPECT_EQ(CImagePropertyFormatter::pictureHTML(u"/tmp/a\"b<c>.jpg", false),
            u"<IMG src=\"/tmp/a&#34;b&#60;c&#62;.jpg\"/>");
  EXPECT_EQ(CImagePropertyFormatter::pictureHTML(u"/tmp/a&b.jpg", true), u"/tmp/a&#38;b.jpg");
  EXPECT_EQ(CImagePropertyFormatter::pictureHTML(u"", false), u"");

  MsgDescription d;
  d.attachments.push_back(byValue(u"photo\" onerror=\"x.jpg", "jpeg"));
  d.attachments.back().props.push_back(boolProp(0x7FFF000B, true));
  CComPtr<IMessage> mapi = openDescription(d);
  CMessage message(itemOf(mapi));
  ASSERT_FALSE(message.getContactPicturePath().empty());
  fill(message, u"NAME=ContactPicture");
  const auto image = m_last.all().tags(u"img").item(0);
  ASSERT_TRUE(image);
  EXPECT_EQ(image.getAttribute(u"src"), message.getContactPicturePath());
  EXPECT_FALSE(image.hasAttribute(u"onerror"));
  EXPECT_EQ(fill(message, u"NAME=ContactPicture|FORMAT_STRING=<a href=\"%s\">photo</a>"),
            u"<a href=\"" + message.getContactPicturePath() + u"\">photo</a>");

  CMessage none(itemOf(openDescription(MsgDescription())));
  bool answer = true;
  EXPECT_EQ(fill(none, u"NAME=ContactPicture", &answer), u"");
  EXPECT_FALSE(answer);
}

TEST_F(ContentFormattersTest, BodyResolvesInlineImagesWithoutAnAttachmentFieldBeforeIt) {
  MsgDescription d;
  d.attachments.push_back(byValue(u"pic.png", "png-bytes", u"<pic1@x>"));
  CComPtr<IMessage> mapi = openDescription(d);
  FakePtr item = itemOf(mapi);
  item->value(0xFA49, u"BodyFormat", CComVariant(LONG(2)));
  item->text(0xF404, u"HTMLBody",
             u"<html><head><style>p { color: red }</style></head>"
             u"<body><p>see <img src=\"CID:pic1@x\"></p></body></html>");
  CMessage message(item);
  bool answer = false;
  fill(message, u"NAME=Body", &answer);
  EXPECT_TRUE(answer);
  const auto image = m_last.all().tags(u"img").item(0);
  ASSERT_TRUE(image);
  ASSERT_EQ(message.getInlineImages().size(), 1u);
  EXPECT_EQ(image.getAttribute(u"src"), message.getInlineImages().front()->filePath);
  // The body flag collects the body's style rules for the template.
  EXPECT_EQ(message.getHTMLBodyStyles().count(u"p"), 1u);
}

// A body document with nothing in it (an empty selection printed) shows nothing, not the settings.
TEST_F(ContentFormattersTest, EmptyBodyClearsTheElement) {
  FakePtr item = makeFake();
  item->text(0xF404, u"HTMLBody", u"<html><body><p>whole body</p></body></html>");
  CMessage message(item);
  ASSERT_EQ(message.getDocument()->body().setInnerHTML(u""), S_OK);
  bool answer = true;
  EXPECT_EQ(fill(message, u"NAME=Body", &answer), u"");
  EXPECT_FALSE(answer);
}

// Without a body document the formatter raises, so that the filler clears the element instead
// of leaving its settings text on the page.
TEST_F(ContentFormattersTest, MissingBodyDocumentRaisesEPointer) {
  FakePtr item = makeFake();
  item->text(0xF404, u"HTMLBody", u"");
  CMessage message(item);
  try {
    fill(message, u"NAME=Body");
    ADD_FAILURE() << "no exception";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), E_POINTER);
  }
}

}  // namespace
