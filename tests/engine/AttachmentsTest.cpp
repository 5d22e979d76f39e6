// Attachments of a message: safe file names, files of their own in the temporary folder, whole
// copies only, inline images by content id and location, and the files going with the message.
#include "engine/Attachments.h"

#include <gtest/gtest.h>

#include <fstream>

#include <boost/make_shared.hpp>

#include "engine/Message.h"
#include "foundation/Settings.h"
#include "tests/engine/MessageFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace enginetest;
using namespace testsupport;
namespace fs = std::filesystem;

struct NameCase {
  std::u16string name;
  std::u16string expected;
};

using SafeAttachmentFileNameTest = IsolatedTest;

TEST_F(SafeAttachmentFileNameTest, KeepsNamesInsideTheirFolder) {
  const std::u16string longName = std::u16string(300, u'a') + u".pdf";
  const std::u16string cjk = u"報告書 第3四半期.xlsx";
  const std::u16string rtl = u"تقرير الربع الثالث.pdf";
  const NameCase cases[] = {
      {u"report.pdf", u"report.pdf"},
      {u"../../etc/passwd", u"passwd"},
      {u"C:\\dir\\report.pdf", u"report.pdf"},
      {u"C:report.pdf", u"C_report.pdf"},
      {u"a\u0001b.txt", u"a_b.txt"},
      {u"tab\there\x7F.txt", u"tab_here_.txt"},
      {u"what?<>|*\".txt", u"what______.txt"},
      {u"CON", u"_CON"},
      {u"nul.txt", u"_nul.txt"},
      {u"com1.log", u"_com1.log"},
      {u"CONSOLE.txt", u"CONSOLE.txt"},
      {u".", u"attachment"},
      {u"..", u"attachment"},
      {u"dir/", u"attachment"},
      {u"name. . ", u"name"},
      {u".profile", u".profile"},
      {cjk, cjk},
      {rtl, rtl},
      {u"\U0001F4CE clip.png", u"\U0001F4CE clip.png"},
      {u"invoice\u202Egpj.exe", u"invoicegpj.exe"},
      {u"\u202E\u2067", u"attachment"},
      {longName, std::u16string(kMaxAttachmentFileName - 4, u'a') + u".pdf"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(quilstring(c.name).toUtf8());
    EXPECT_EQ(safeAttachmentFileName(c.name), c.expected);
  }
  // A cut never splits a surrogate pair.
  std::u16string emoji;
  for (int i = 0; i < 60; ++i) emoji += u"\U0001F600";
  const quilstring cut = safeAttachmentFileName(emoji);
  EXPECT_LE(cut.size(), kMaxAttachmentFileName);
  EXPECT_EQ(cut.size() % 2, 0u);
  EXPECT_FALSE(quilstring(cut).toUtf8().empty());
}

TEST_F(SafeAttachmentFileNameTest, ContentIdsLoseTheirAngleBrackets) {
  EXPECT_EQ(bareContentId(u"<img1@x>"), u"img1@x");
  EXPECT_EQ(bareContentId(u"img1@x"), u"img1@x");
  EXPECT_EQ(bareContentId(u"<"), u"<");
  EXPECT_EQ(bareContentId(u"<>"), u"");
}

class AttachmentsTest : public IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    NUtils::resetTempPathForTesting();
    m_temp = fs::path(NUtils::getTempPath().toUtf8());
    ASSERT_TRUE(fs::is_directory(m_temp));
  }
  void TearDown() override { platform::mapi::setFileStreamWriteLimitForTesting(std::nullopt); }

  boost::shared_ptr<CMessage> messageOf(const MsgDescription& d, FakePtr* itemOut = nullptr) {
    CComPtr<IMessage> mapi = openDescription(d);
    EXPECT_TRUE(mapi);
    FakePtr item = itemOf(mapi);
    if (itemOut) *itemOut = item;
    return boost::make_shared<CMessage>(item);
  }

  fs::path m_temp;
};

TEST_F(AttachmentsTest, HostileNamesStayInsideTheTemporaryFolder) {
  const std::u16string names[] = {u"../../etc/passwd", u"..\\..\\evil.txt", u"CON", u"a\u0001b",
                                  std::u16string(300, u'x') + u".txt", u"會議記錄.docx", u"מסמך.pdf",
                                  u"/tmp/absolute.txt", u"..", u"sub/dir/"};
  MsgDescription d;
  for (const auto& name : names) d.attachments.push_back(byValue(name, "data of " + quilstring(name).toUtf8()));
  auto message = messageOf(d);

  const auto& attachments = message->getAttachments();
  ASSERT_EQ(attachments.size(), std::size(names));
  std::set<fs::path> paths;
  for (std::size_t i = 0; i < attachments.size(); ++i) {
    SCOPED_TRACE(i);
    const fs::path path(attachments[i]->filePath.toUtf8());
    EXPECT_EQ(fs::canonical(path.parent_path()), fs::canonical(m_temp));
    EXPECT_EQ(attachments[i]->name, names[i]);  // listed under the name the sender gave
    EXPECT_TRUE(attachments[i]->temporary);
    EXPECT_EQ(readFile(path), "data of " + quilstring(names[i]).toUtf8());
    EXPECT_LE(path.filename().u16string().size(), kMaxAttachmentFileName + 1);
    EXPECT_EQ(fs::status(path).permissions() & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
    paths.insert(path);
  }
  EXPECT_EQ(paths.size(), std::size(names));
  EXPECT_TRUE(paths.count(m_temp / "passwd"));
  EXPECT_TRUE(paths.count(m_temp / "_CON"));
  EXPECT_TRUE(paths.count(m_temp / "a_b"));
  EXPECT_TRUE(paths.count(m_temp / "會議記錄.docx"));
  EXPECT_TRUE(paths.count(m_temp / "attachment"));

  message.reset();
  EXPECT_TRUE(filesIn(m_temp).empty());
  EXPECT_FALSE(fs::exists(dir() / "etc"));
}

TEST_F(AttachmentsTest, ATakenNameGetsACounterEvenWhenTheFileIsEmpty) {
  // A leftover empty file belongs to someone else: it is neither reused nor removed.
  std::FILE* leftover = std::fopen((m_temp / "report.pdf").c_str(), "wb");
  ASSERT_TRUE(leftover);
  std::fclose(leftover);
  MsgDescription d;
  d.attachments = {byValue(u"report.pdf", "first"), byValue(u"report.pdf", "second")};
  auto message = messageOf(d);
  const auto& attachments = message->getAttachments();
  ASSERT_EQ(attachments.size(), 2u);
  EXPECT_EQ(attachments[0]->filePath, quilstring::fromUtf8((m_temp / "report1.pdf").string()));
  EXPECT_EQ(attachments[1]->filePath, quilstring::fromUtf8((m_temp / "report2.pdf").string()));
  EXPECT_EQ(readFile(m_temp / "report2.pdf"), "second");
  message.reset();
  EXPECT_EQ(filesIn(m_temp), (std::set<std::string>{"report.pdf"}));
}

TEST_F(AttachmentsTest, TwoMessagesNeverShareAFile) {
  // Empty attachments leave empty files, which a size test would take for free names.
  MsgDescription d;
  d.attachments = {byValue(u"empty.txt", "")};
  auto first = messageOf(d);
  auto second = messageOf(d);
  ASSERT_EQ(first->getAttachments().size(), 1u);
  ASSERT_EQ(second->getAttachments().size(), 1u);
  const quilstring secondPath = second->getAttachments()[0]->filePath;
  EXPECT_NE(first->getAttachments()[0]->filePath, secondPath);
  first.reset();
  EXPECT_TRUE(fs::exists(fs::path(secondPath.toUtf8())));
  second.reset();
  EXPECT_TRUE(filesIn(m_temp).empty());
}

TEST_F(AttachmentsTest, APartialCopyIsDeletedAndNotListed) {
  MsgDescription d;
  d.attachments = {byValue(u"big.bin", std::string(100000, 'x')), byValue(u"small.txt", "")};
  platform::mapi::setFileStreamWriteLimitForTesting(5000);
  auto message = messageOf(d);
  const auto& attachments = message->getAttachments();
  ASSERT_EQ(attachments.size(), 1u);
  EXPECT_EQ(attachments[0]->name, u"small.txt");
  EXPECT_EQ(filesIn(m_temp), (std::set<std::string>{"small.txt"}));
}

TEST_F(AttachmentsTest, InlineImagesByContentIdAndLocation) {
  MsgDescription d;
  MsgAttachment both = byValue(u"image001.png", "PNG1", u"<img1@example>");
  both.props.push_back(unicodeProp(PR_ATTACH_CONTENT_LOCATION_W, u"http://example/logo.png"));
  MsgAttachment located = byValue(u"image002.png", "PNG2");
  located.props.push_back(unicodeProp(PR_ATTACH_CONTENT_LOCATION_W, u"pics/photo.png"));
  MsgAttachment disposed = byValue(u"chart.png", "PNG3", u"chart@example");
  disposed.props.push_back(unicodeProp(PR_ATTACH_CONTENT_DISPOSITION_W, u"Attachment"));
  d.attachments = {both, located, disposed};
  auto message = messageOf(d);

  const auto& images = message->getInlineImages();
  ASSERT_EQ(images.size(), 3u);
  EXPECT_EQ(images[0]->name, u"cid:img1@example");
  EXPECT_EQ(images[1]->name, u"http://example/logo.png");
  EXPECT_EQ(images[0]->filePath, images[1]->filePath);
  EXPECT_EQ(images[2]->name, u"pics/photo.png");
  ASSERT_EQ(message->getAttachments().size(), 1u);
  EXPECT_EQ(message->getAttachments()[0]->name, u"chart.png");

  platform::html::CHtmlDocument document;
  ASSERT_EQ(document.loadFromString(u"<body><img id=a src=\"CID:IMG1@EXAMPLE\"><img id=b src=\"about:pics/photo.png\">"
                                    u"<img id=c src=\"cid:other\"><img id=d></body>"),
            S_OK);
  message->replaceImages(document.body());
  const auto src = [&](const char16_t* id) { return document.all().item(id).item(0).getAttribute(u"src"); };
  EXPECT_EQ(src(u"a"), images[0]->filePath);
  EXPECT_EQ(src(u"b"), images[2]->filePath);
  EXPECT_EQ(src(u"c"), u"cid:other");
  EXPECT_EQ(src(u"d"), u"");

  // One file for two names: deleted once, all gone.
  message.reset();
  EXPECT_TRUE(filesIn(m_temp).empty());
}

TEST_F(AttachmentsTest, WhatIsNotFiled) {
  MsgDescription d;
  MsgAttachment displayOnly{{longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE), unicodeProp(PR_DISPLAY_NAME_W, u"shown"),
                             binaryProp(PR_ATTACH_DATA_BIN, "x")},
                            nullptr};
  auto inner = std::make_shared<MsgDescription>();
  inner->props = {unicodeProp(PR_SUBJECT_W, u"Inner")};
  MsgAttachment embedded{{longProp(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG), unicodeProp(PR_DISPLAY_NAME_W, u"Inner"),
                          unicodeProp(PR_ATTACH_LONG_FILENAME_W, u"Inner.msg")},
                         inner};
  MsgAttachment ole{{longProp(PR_ATTACH_METHOD, ATTACH_OLE), unicodeProp(PR_DISPLAY_NAME_W, u"Picture"),
                     unicodeProp(PR_ATTACH_FILENAME_W, u"ole.bin"), binaryProp(PR_ATTACH_DATA_BIN, "ole")},
                    nullptr};
  MsgAttachment reference{{longProp(PR_ATTACH_METHOD, ATTACH_BY_REFERENCE),
                           unicodeProp(PR_ATTACH_LONG_FILENAME_W, u"linked.doc")},
                          nullptr};
  const fs::path referenced = dir() / "linked.doc";
  { std::ofstream(referenced) << "linked"; }
  reference.props.push_back(unicodeProp(PR_ATTACH_PATHNAME_W, quilstring::fromUtf8(referenced.string())));
  MsgAttachment photo = byValue(u"ContactPicture.jpg", "JPEG");
  photo.props.push_back(boolProp(PR_ATTACHMENT_CONTACTPHOTO, true));
  d.attachments = {displayOnly, embedded, ole, reference, photo};
  auto message = messageOf(d);

  EXPECT_TRUE(message->hasAttachments());
  ASSERT_NE(message->getAttachmentRows(), nullptr);
  EXPECT_EQ(message->getAttachmentRows()->cRows, 5u);
  EXPECT_TRUE(message->hasOLEAttachment());
  const auto& attachments = message->getAttachments();
  ASSERT_EQ(attachments.size(), 2u);
  EXPECT_EQ(attachments[0]->name, u"linked.doc");
  EXPECT_EQ(attachments[0]->filePath, quilstring::fromUtf8(referenced.string()));
  EXPECT_FALSE(attachments[0]->temporary);
  EXPECT_EQ(attachments[1]->name, u"ContactPicture.jpg");
  EXPECT_EQ(message->getContactPicturePath(), attachments[1]->filePath);
  EXPECT_TRUE(message->getInlineImages().empty());

  message.reset();
  EXPECT_TRUE(fs::exists(referenced));  // not the message's to delete
  EXPECT_TRUE(filesIn(m_temp).empty());
}

TEST_F(AttachmentsTest, RowsTakeWhatTheTableLacksFromTheAttachment) {
  MsgDescription d;
  d.attachments = {byValue(u"a.txt", "a")};
  d.attachments[0].props.push_back(longProp(PR_ATTACH_FLAGS, ATT_INVISIBLE_IN_HTML));
  auto message = messageOf(d);
  const SRowSet* rows = message->getAttachmentRows();
  ASSERT_TRUE(rows);
  ASSERT_EQ(rows->cRows, 1u);
  const SRow& row = rows->aRow[0];
  ASSERT_EQ(row.cValues, 11u);
  EXPECT_EQ(row.lpProps[2].ulPropTag, PR_ATTACH_LONG_FILENAME_W);
  EXPECT_EQ(std::u16string(row.lpProps[2].Value.lpszW), u"a.txt");
  EXPECT_EQ(row.lpProps[5].Value.l, static_cast<LONG>(ATTACH_BY_VALUE));
  EXPECT_EQ(row.lpProps[9].ulPropTag, PR_ATTACH_FLAGS);
  EXPECT_EQ(row.lpProps[9].Value.l, static_cast<LONG>(ATT_INVISIBLE_IN_HTML));
  EXPECT_EQ(PROP_TYPE(row.lpProps[10].ulPropTag), PT_ERROR);  // no disposition anywhere
}

TEST_F(AttachmentsTest, OnlyAnUnsavedItemIsTouchedBeforeItsAttachmentsAreRead) {
  MsgDescription d;
  d.attachments = {byValue(u"a.txt", "a")};
  FakePtr item;
  auto unsaved = messageOf(d, std::addressof(item));
  item->text(0x853B, u"Companies", u"").method(0xF048, u"Save").value(0xF0A3, u"Saved", CComVariant(false));
  unsaved->getAttachments();
  EXPECT_EQ(item->count(u"call Save"), 1u);

  d.props = {binaryProp(PR_PARENT_ENTRYID, "parent")};
  auto filed = messageOf(d, std::addressof(item));
  item->text(0x853B, u"Companies", u"").method(0xF048, u"Save").value(0xF0A3, u"Saved", CComVariant(false));
  filed->getAttachments();
  filed->getInlineImages();
  EXPECT_EQ(item->count(u"call Save"), 0u);
}

TEST_F(AttachmentsTest, AMegabyteOfAttachmentsIsWrittenAndDeleted) {
  MsgDescription d;
  d.props = {unicodeProp(PR_SUBJECT_W, u"Many attachments")};
  for (int i = 0; i < 64; ++i)
    d.attachments.push_back(byValue(u"part.bin", std::string(16384, static_cast<char>('A' + i % 26))));
  auto message = messageOf(d);
  const auto& attachments = message->getAttachments();
  ASSERT_EQ(attachments.size(), 64u);
  std::set<quilstring> paths;
  for (const auto& a : attachments) {
    paths.insert(a->filePath);
    EXPECT_EQ(fs::file_size(fs::path(a->filePath.toUtf8())), 16384u);
  }
  EXPECT_EQ(paths.size(), 64u);
  EXPECT_EQ(readFile(fs::path(attachments[63]->filePath.toUtf8())), std::string(16384, 'A' + 63 % 26));
  message.reset();
  EXPECT_TRUE(filesIn(m_temp).empty());
}

}  // namespace
