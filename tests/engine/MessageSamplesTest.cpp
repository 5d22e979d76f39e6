// Every real sample as a message prepared for printing, from its item in the Outlook object model
// over a store of the samples: its attachments are written whole to the temporary folder (checked
// against an independent reading of each file), filed as the table below says, deleted with the
// message, and the .msg file itself is never written. Recipients come through Outlook too.
#include "engine/Message.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>

#include <boost/make_shared.hpp>

#include "foundation/AddinGlobals.h"
#include "foundation/Settings.h"
#include "platform/outlook/Outlook.h"
#include "tests/engine/MessageFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace enginetest;
namespace fs = std::filesystem;

fs::path samplesDir() { return testsupport::sharedDir() / "testdata" / "msg"; }

// The filed names of the samples that have attachments (inline images, then attachments).
struct ExpectedFiling {
  std::vector<std::u16string> inlineImages;
  std::vector<std::u16string> attachments;
  std::u16string sender;
};
const std::map<std::string, ExpectedFiling> kFiling = {
    {"bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image.msg",
     // Content ids without an "attachment" disposition file the two texts as inline images.
     {{u"cid:thumbsup", u"cid:dresscode.txt", u"cid:location"}, {}, u"Benny Bottema"}},
    {"bbot__S_MIME_test_message_signed.msg", {{}, {}, u"Benny Bottema"}},
    {"bbot__attachment_with_a_bracket_in_the_name.msg", {{}, {u"Attachment[1.pdf"}, u""}},
    {"bbot__embedded_image.msg", {{u"cid:image001.png@01CDC1CA.B3005370"}, {}, u"Paliarik, Martin"}},
    {"hht__Friday_Lunch.msg", {{}, {}, u"UnoKenji"}},
    {"hht__attachAndInline.msg", {{u"cid:image001.png@01D78380.EF6DC500"}, {u"attach.png"}, u""}},
    {"hht__attachmentFiles.msg", {{}, {u"jpg.jpg", u"png.png", u"tif.tif"}, u"hmailuser"}},
    {"hht__msgInMsg.msg", {{}, {u"green.png"}, u""}},
    {"poi__attachment_msg_inlineImg.msg",
     {{u"cid:image001.png@01D0A524.96D40F30", u"cid:image002.png@01D0A524.96D40F30",
       u"cid:image003.png@01D0A526.B4C739C0", u"cid:image006.jpg@01D0A526.B649E220"},
      {},
      u"Angela Deng"}},
    {"sicos__EmailWithMsgAttachment.msg", {{}, {}, u"Daniel Triendl"}},
    {"tika__testMSG_att_doc.msg", {{}, {u"test-unicode.doc", u"pj1.txt"}, u"Nicolas1 23456"}},
};

// The data sizes of the by-value attachments with a file name, from the independent reading.
std::vector<std::uintmax_t> referenceSizes(const std::string& sample) {
  const fs::path reference = samplesDir() / "reference" / (fs::path(sample).stem().string() + ".txt");
  std::ifstream in(reference);
  const std::regex line(R"re(method=1 long="(.*)" short="(.*)" cid=".*" mime=".*" data=(\d+)B)re");
  std::vector<std::uintmax_t> sizes;
  for (std::string text; std::getline(in, text);) {
    std::smatch m;
    if (std::regex_search(text, m, line) && (m[1].length() || m[2].length())) sizes.push_back(std::stoull(m[3]));
  }
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

std::vector<std::u16string> namesOf(const std::vector<AttachmentDataPtr>& list) {
  std::vector<std::u16string> names;
  for (const auto& a : list) names.push_back(a->name);
  return names;
}

class MessageSamplesTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    NUtils::resetTempPathForTesting();
    m_temp = fs::path(NUtils::getTempPath().toUtf8());
  }
  void TearDown() override {
    m_outlook.reset();
    CSettings::resetForTesting();
    NGlobals::resetForTesting();
  }

  // A store whose Inbox links to the samples (they are never copied); Outlook becomes the
  // application the settings store keeps.
  void openStore(platform::outlook::OutlookOptions options = {}) {
    const fs::path inbox = dir() / "store" / "Inbox";
    fs::create_directories(inbox);
    for (const auto& entry : fs::directory_iterator(samplesDir()))
      if (entry.path().extension() == ".msg") fs::create_symlink(entry.path(), inbox / entry.path().filename());
    m_outlook = platform::outlook::COutlook::open(dir() / "store", std::move(options));
    ASSERT_TRUE(m_outlook);
    CSettings::instance().outlookApplication() = m_outlook->application();
    // The settings store keeps its own support files in the same folder.
    m_supportFiles = filesIn(m_temp);
  }
  CComPtr<IDispatch> item(const char* name) { return m_outlook->item(dir() / "store" / "Inbox" / name); }

  fs::path m_temp;
  std::unique_ptr<platform::outlook::COutlook> m_outlook;
  std::set<std::string> m_supportFiles;
};

TEST_F(MessageSamplesTest, AttachmentsAreWrittenWholeAndDeletedWithTheMessage) {
  QM_REQUIRE_SHARED_DATA();
  openStore();
  int samples = 0;
  for (const auto& entry : fs::directory_iterator(samplesDir())) {
    if (entry.path().extension() != ".msg") continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ++samples;
    const std::string before = testsupport::readFile(entry.path());
    const auto modified = fs::last_write_time(entry.path());
    auto message = boost::make_shared<CMessage>(item(name.c_str()));
    ASSERT_TRUE(message->getMAPIMessage());
    EXPECT_TRUE(message->hasAttachments());

    std::set<quilstring> files;
    for (const auto* list : {&message->getInlineImages(), &message->getAttachments()}) {
      for (const AttachmentDataPtr& a : *list) {
        ASSERT_TRUE(a->temporary);
        const fs::path path(a->filePath.toUtf8());
        EXPECT_EQ(fs::canonical(path.parent_path()), fs::canonical(m_temp));
        files.insert(a->filePath);
      }
    }
    std::vector<std::uintmax_t> sizes;
    for (const quilstring& file : files) sizes.push_back(fs::file_size(fs::path(file.toUtf8())));
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, referenceSizes(name));

    const auto expected = kFiling.find(name);
    if (expected != kFiling.end()) {
      EXPECT_EQ(namesOf(message->getInlineImages()), expected->second.inlineImages);
      EXPECT_EQ(namesOf(message->getAttachments()), expected->second.attachments);
      EXPECT_EQ(message->getRecipients(kRecipientSender)->front().name, expected->second.sender);
    } else {
      EXPECT_TRUE(files.empty());
    }

    message.reset();
    EXPECT_EQ(filesIn(m_temp), m_supportFiles);
    EXPECT_EQ(testsupport::readFile(entry.path()), before);
    EXPECT_EQ(fs::last_write_time(entry.path()), modified);
  }
  EXPECT_GE(samples, 28);
}

TEST_F(MessageSamplesTest, InlineImagesOfASampleReplaceTheBodysSources) {
  QM_REQUIRE_SHARED_DATA();
  openStore();
  auto message = boost::make_shared<CMessage>(item("hht__attachAndInline.msg"));
  platform::html::CHtmlDocument document;
  ASSERT_EQ(document.loadFromString(u"<p><img width=10 src=\"cid:image001.png@01D78380.EF6DC500\"></p>"), S_OK);
  message->replaceImages(document);
  const quilstring src = document.all().tags(u"img").item(0).getAttribute(u"src");
  ASSERT_EQ(message->getInlineImages().size(), 1u);
  EXPECT_EQ(src, message->getInlineImages()[0]->filePath);
  EXPECT_EQ(fs::file_size(fs::path(src.toUtf8())), 809u);
}

TEST_F(MessageSamplesTest, ReceivedByIsOutlooksCurrentUserAndSurvivesItsFailure) {
  QM_REQUIRE_SHARED_DATA();
  NGlobals::setOfficeMajorVersion(12);
  {
    platform::outlook::OutlookOptions options;
    options.userName = u"Printing User";
    options.userAddress = u"printer@example.org";
    openStore(options);
    CMessage message(item("hht__attachmentFiles.msg"));
    const RecipientList receivedBy = *message.getRecipients(kRecipientReceivedBy);
    ASSERT_EQ(receivedBy.size(), 1u);
    EXPECT_EQ(receivedBy[0].name, u"Printing User");
    EXPECT_EQ(receivedBy[0].address, u"printer@example.org");
  }
  fs::remove_all(dir() / "store");
  platform::outlook::OutlookOptions failing;
  failing.userName = u"Printing User";
  failing.currentUserFails = true;
  openStore(failing);
  CMessage message(item("hht__attachmentFiles.msg"));
  EXPECT_EQ(message.getRecipients(kRecipientSender)->front().name, u"hmailuser");
  EXPECT_EQ(message.getRecipients(kRecipientTo)->size(), 1u);
  EXPECT_EQ(message.getAttachments().size(), 3u);
}

}  // namespace
