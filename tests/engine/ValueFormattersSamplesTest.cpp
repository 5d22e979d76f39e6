// The value formatters on real items: the samples and a hostile message in a store of .msg files,
// through the Outlook object model, the message prepared for printing and the registry's lookup.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/Message.h"
#include "engine/PropertyFormatter.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "platform/mapi/PropTags.h"
#include "platform/outlook/Outlook.h"
#include "tests/engine/FormatterTestSupport.h"
#include "tests/support/MsgWriter.h"

namespace {

namespace fs = std::filesystem;
using formattertest::utf8;

class ValueFormattersSamplesTest : public formattertest::FormatterTest {
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

  // Formats one element of the item as the template filler does; answers its innerHTML.
  std::u16string fill(IDispatch* item, CMessage& message, const quilstring& text, bool* answer = nullptr) {
    CElementSettings s(text, item);
    const CPropertyFormatterPtr formatter = CPropertyFormatter::findForElement(s.kind(), text);
    auto target = element();
    m_last = target;
    const bool result = formatter && formatter->format(s, message, target);
    if (answer) *answer = result;
    return target.innerHTML();
  }

  std::unique_ptr<platform::outlook::COutlook> m_outlook;
};

TEST_F(ValueFormattersSamplesTest, FieldsOfARealMail) {
  QM_REQUIRE_SHARED_DATA();
  const fs::path sample = testsupport::sharedDir() / "testdata" / "msg" / "hht__attachmentFiles.msg";
  fs::create_symlink(sample, inbox() / sample.filename());
  openStore();
  setenv("TZ", "Europe/Berlin", 1);
  const CComPtr<IDispatch> item = m_outlook->item(inbox() / sample.filename());
  ASSERT_TRUE(item);
  CMessage message(item);
  // Checked by hand against the sample's reference listing: subject "attachmentFiles", three
  // attached files, delivered and submitted 2023-11-01 00:48:31Z (01:48:31 in Berlin, CET).
  struct Case {
    const char16_t* settings;
    const char* html;
  };
  const Case cases[] = {
      {u"NAME=Subject", "attachmentFiles"},
      {u"NAME=Subject|UPPER_CASE|FORMAT_STRING=Re: %s", "Re: ATTACHMENTFILES"},
      {u"NAME=0x0037001F|PROP_TYPE=MAPI", "attachmentFiles"},
      {u"NAME=AttachmentCount", "3"},
      {u"NAME=ReceivedTime|DATE_FORMAT_FLAGS=0|DATE_FORMAT_PICTURE=M/d/yyyy", "11/1/2023  1:48:31 AM"},
      {u"NAME=SentOn", "Wednesday, November 1, 2023  1:48:31 AM"},
      {u"NAME=0x0E060040|PROP_TYPE=MAPI|DATE_FORMAT_FLAGS=0|DATE_FORMAT_PICTURE=M/d/yyyy|TIME_FORMAT_FLAGS=0",
       "11/1/2023"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(c.settings));
    bool answer = false;
    EXPECT_EQ(utf8(fill(item, message, c.settings, &answer)), c.html);
    EXPECT_TRUE(answer);
  }
}

TEST_F(ValueFormattersSamplesTest, AHostileItemFormatsToInertText) {
  using namespace testsupport;
  const std::u16string hostile = u"<img src=x onerror=alert(1)>";
  MsgDescription description;
  description.messageClass = "IPM.Note";
  description.props = {unicodeProp(PR_SUBJECT_W, hostile), unicodeProp(0x0070001F, hostile),
                       string8Prop(0x0E1D001E, "<script>alert(2)</script>")};
  ASSERT_TRUE(writeMsgFile(description, inbox() / "hostile.msg"));
  openStore();
  const CComPtr<IDispatch> item = m_outlook->item(inbox() / "hostile.msg");
  ASSERT_TRUE(item);
  CMessage message(item);
  const char16_t* fields[] = {u"NAME=Subject", u"NAME=Subject|UPPER_CASE", u"NAME=0x0070001F|PROP_TYPE=MAPI",
                              u"NAME=0x0E1D001E|PROP_TYPE=MAPI", u"NAME=Subject|FORMAT_STRING=<b>%s</b>"};
  for (const char16_t* text : fields) {
    SCOPED_TRACE(utf8(text));
    bool answer = false;
    fill(item, message, text, &answer);
    EXPECT_TRUE(answer);
    EXPECT_EQ(m_last.all().tags(u"img").length(), 0);
    EXPECT_EQ(m_last.all().tags(u"script").length(), 0);
    std::u16string shown = m_last.innerText();
    NUtils::toLower(shown);
    EXPECT_NE(shown.find(u"alert("), std::u16string::npos);
  }
}

}  // namespace
