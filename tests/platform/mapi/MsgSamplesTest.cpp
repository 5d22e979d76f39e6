// Every real sample opens, and reads as an independent reader of the same files reads it:
// class, subject, sender, recipients by kind, the 8-bit code page, attachments and embedded
// messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/system/CodePage.h"
#include "tests/platform/mapi/MapiTestUtil.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace mapitest;

struct ExpectedAttachment {
  LONG method;
  const char* longName;
  const char* shortName;
  const char* contentId;
  const char* embeddedSubject;  // null: no embedded message
};

struct ExpectedSample {
  const char* file;
  const char* messageClass;
  const char* subject;
  const char* senderName;
  const char* senderAddress;  // ending in "...": a prefix
  int to, cc, bcc;
  UINT codePage;
  std::vector<ExpectedAttachment> attachments;
};

const std::vector<ExpectedSample> kSamples = {
    {"aspose__Test_Meeting.msg", "IPM.Appointment", "Test Meeting",
     "Maria Shahid", "maria.shahid.dev@gmail.com", 3, 0, 0, 1252, {}},
    {"bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image.msg", "IPM.Note", "hey",
     "Benny Bottema", "b.bottema@gmail.com", 1, 0, 0, 1252, {{1, "thumbsup", "thumbsup", "thumbsup", nullptr}, {1, "dresscode.txt", "dressc~1.txt", "dresscode.txt", nullptr}, {1, "location.txt", "location.txt", "location", nullptr}}},
    {"bbot__S_MIME_test_message_signed.msg", "IPM.Note.SMIME.MultipartSigned", "S/MIME test message signed",
     "Benny Bottema", "benny@bennybottema.com", 1, 0, 0, 1252, {{1, "", "", "", nullptr}}},
    {"bbot__attachment_with_a_bracket_in_the_name.msg", "IPM.Note", "Attachment with the name \"Attachment[1.pdf\"",
     "", "", 1, 0, 0, 1252, {{1, "Attachment[1.pdf", "", "", nullptr}}},
    {"bbot__embedded_image.msg", "IPM.Note", "email test",
     "Paliarik, Martin", "/O=MMS/OU=EXCHANGE ADMINISTRATIVE GROUP (FYDIBOHF23SPDLT)/CN=RECIPIENTS/CN=PALIA...", 1, 0, 0, 1252, {{1, "image001.png", "image001.png", "image001.png@01CDC1CA.B3005370", nullptr}}},
    {"bbot__simple_email_with_TO_and_CC_multiple.msg", "IPM.Note", "Test E-Mail",
     "elias.laugher@gmail.com", "elias.laugher@gmail.com", 2, 2, 2, 1252, {}},
    {"hht__Friday_Lunch.msg", "IPM.Appointment", "Friday Lunch",
     "UnoKenji", "/o=ExchangeLabs/ou=Exchange Administrative Group (FYDIBOHF23SPDLT)/cn=Recipients...", 1, 0, 0, 932, {{5, "", "", "", "Monday Lunch"}, {5, "", "", "", ""}}},
    {"hht__Hello_+CJK.msg", "IPM.Note", "Hello +CJK",
     "", "", 0, 0, 0, 932, {}},
    {"hht__attachAndInline.msg", "IPM.Note", "Attach and inline",
     "", "", 1, 0, 0, 932, {{1, "attach.png", "attach.png", "", nullptr}, {1, "image001.png", "image001.png", "image001.png@01D78380.EF6DC500", nullptr}}},
    {"hht__attachmentFiles.msg", "IPM.Note", "attachmentFiles",
     "hmailuser", "hmailuser@hmailserver.test", 1, 0, 0, 932, {{1, "jpg.jpg", "jpg.jpg", "", nullptr}, {1, "png.png", "png.png", "", nullptr}, {1, "tif.tif", "tif.tif", "", nullptr}}},
    {"hht__contactAnsi.msg", "IPM.Contact", "コム ドット イグザンプル 殿",
     "xmailuser", "xmailuser@xmailserver.test", 0, 0, 0, 932, {}},
    {"hht__msgInMsg.msg", "IPM.Note", "I have attachments!",
     "", "", 0, 0, 0, 932, {{5, "", "", "", "Microsoft Outlook テスト メッセージ"}, {1, "green.png", "green.png", "", nullptr}}},
    {"hht__newOutlook_Microsoft_Outlook_test.msg", "IPM.Note", "Microsoft Outlook テスト メッセージ",
     "Microsoft Outlook", "ku@digitaldolphins.jp", 1, 0, 0, 1252, {}},
    {"hht__nonUnicodeCP932.msg", "IPM.Note", "日本語 Non Unicode タイトル",
     "", "", 1, 0, 0, 932, {}},
    {"hht__nonUnicodeMail.msg", "IPM.Note", "Non Unicode mail subject",
     "", "", 1, 0, 0, 932, {}},
    {"hht__test1.msg", "IPM.Note", "title",
     "", "", 1, 1, 0, 932, {}},
    {"poi__attachment_msg_inlineImg.msg", "IPM.Note", "How to use and check database files from device",
     "Angela Deng", "/O=RESEARCH IN MOTION/OU=EXCHANGE ADMINISTRATIVE GROUP (FYDIBOHF23SPDLT)/CN=RECI...", 1, 0, 0, 1252, {{1, "image001.png", "image001.png", "image001.png@01D0A524.96D40F30", nullptr}, {1, "image002.png", "image002.png", "image002.png@01D0A524.96D40F30", nullptr}, {1, "image003.png", "image003.png", "image003.png@01D0A526.B4C739C0", nullptr}, {1, "image006.jpg", "image006.jpg", "image006.jpg@01D0A526.B649E220", nullptr}}},
    {"sicos__EmailWithMsgAttachment.msg", "IPM.Note", "FW: Msg Attachment Test",
     "Daniel Triendl", "/O=EXCHANGELABS/OU=EXCHANGE ADMINISTRATIVE GROUP (FYDIBOHF23SPDLT)/CN=RECIPIENTS...", 1, 0, 0, 1252, {{5, "", "Msg Attachment Test", "", "Msg Attachment Test"}}},
    {"sicos__EmailWithSpecialCharsInSubject.msg", "IPM.Note", "Un sujet bien défini Àéroport mañana être ouïe électricité così próxima à Ô",
     "Julie Clarebots", "/O=EXCHANGELABS/OU=EXCHANGE ADMINISTRATIVE GROUP (FYDIBOHF23SPDLT)/CN=RECIPIENTS...", 1, 0, 0, 1252, {}},
    {"sicos__RtfSampleEmail.msg", "IPM.Note", "RtfSampleEmail",
     "Wilson, Chris", "/O=EXCHANGE/OU=EXCHANGE ADMINISTRATIVE GROUP (FYDIBOHF23SPDLT)/CN=RECIPIENTS/CN=...", 1, 0, 0, 1252, {}},
    {"sicos__TxtSampleEmail.msg", "IPM.Note", "TxtSampleEmail",
     "Wilson, Chris", "/O=EXCHANGE/OU=EXCHANGE ADMINISTRATIVE GROUP (FYDIBOHF23SPDLT)/CN=RECIPIENTS/CN=...", 1, 0, 0, 1252, {}},
    {"tika__testMSG.msg", "IPM.Note", "MIME registry use cases",
     "Jukka Zitting", "jukka.zitting@gmail.com", 1, 0, 0, 1252, {}},
    {"tika__testMSG_Appointment.msg", "IPM.Appointment", "Quick brown fox",
     "Allison, Timothy B.", "/o=ExchangeLabs/ou=Exchange Administrative Group (FYDIBOHF23SPDLT)/cn=Recipients...", 1, 0, 0, 1252, {}},
    {"tika__testMSG_Contact.msg", "IPM.Contact", "Quick Brown Fox Jr",
     "Allison, Timothy B.", "/o=ExchangeLabs/ou=Exchange Administrative Group (FYDIBOHF23SPDLT)/cn=Recipients...", 0, 0, 0, 1252, {}},
    {"tika__testMSG_Post.msg", "IPM.Post", "QuickBrownFox",
     "Allison, Timothy B.", "/o=ExchangeLabs/ou=Exchange Administrative Group (FYDIBOHF23SPDLT)/cn=Recipients...", 0, 0, 0, 1252, {}},
    {"tika__testMSG_StickyNote.msg", "IPM.StickyNote", "This is a note about the quick brown fox",
     "", "", 0, 0, 0, 1252, {}},
    {"tika__testMSG_Task.msg", "IPM.Task", "Must jump over the lazy dog",
     "Allison, Timothy B.", "/o=ExchangeLabs/ou=Exchange Administrative Group (FYDIBOHF23SPDLT)/cn=Recipients...", 0, 0, 0, 1252, {}},
    {"tika__testMSG_att_doc.msg", "IPM.Note", "test pièce jointe 1",
     "Nicolas1 23456", "nicolas1.23456@free.fr", 1, 0, 0, 1252, {{1, "test-unicode.doc", "TEST-U~1.DOC", "", nullptr}, {1, "pj1.txt", "pj1.txt", "", nullptr}}},
};

std::filesystem::path sampleDir() { return testsupport::sharedDir() / "testdata" / "msg"; }

void expectAddress(const std::string& actual, const std::string& expected) {
  if (expected.size() > 3 && expected.compare(expected.size() - 3, 3, "...") == 0) {
    EXPECT_EQ(actual.substr(0, expected.size() - 3), expected.substr(0, expected.size() - 3));
  } else {
    EXPECT_EQ(actual, expected);
  }
}

// Reads a whole table with the columns the printed message uses.
RowSetPtr allRows(IMAPITable* table, std::initializer_list<ULONG> columns) {
  std::vector<ULONG> tags(columns);
  std::vector<ULONG> buffer(tags.size() + 1);
  buffer[0] = static_cast<ULONG>(tags.size());
  std::copy(tags.begin(), tags.end(), buffer.begin() + 1);
  LPSRowSet rows = nullptr;
  EXPECT_EQ(HrQueryAllRows(table, reinterpret_cast<LPSPropTagArray>(buffer.data()), nullptr, nullptr, 0, &rows), S_OK);
  return RowSetPtr(rows);
}

class MsgSamplesTest : public testsupport::IsolatedTest {};

TEST_F(MsgSamplesTest, EverySampleReadsAsExpected) {
  QM_REQUIRE_SHARED_DATA();
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(sampleDir()))
    files += entry.path().extension() == ".msg";
  EXPECT_EQ(files, kSamples.size()) << "every sample has a row here";

  for (const ExpectedSample& s : kSamples) {
    SCOPED_TRACE(s.file);
    ComRef<IMessage> message = openFile(sampleDir() / s.file);
    ASSERT_TRUE(message);
    EXPECT_EQ(text(message.get(), PR_MESSAGE_CLASS).value_or(""), s.messageClass);
    EXPECT_EQ(text(message.get(), PR_SUBJECT).value_or(""), s.subject);
    EXPECT_EQ(text(message.get(), PR_SENDER_NAME).value_or(""), s.senderName);
    expectAddress(text(message.get(), PR_SENDER_EMAIL_ADDRESS).value_or(""), s.senderAddress);
    EXPECT_EQ(platform::mapi::stringCodePage(message.get()), s.codePage);

    ComRef<IMAPITable> recipients;
    ASSERT_EQ(message->GetRecipientTable(MAPI_UNICODE, recipients.receive()), S_OK);
    RowSetPtr rows = allRows(recipients.get(), {PR_DISPLAY_NAME_W, PR_RECIPIENT_TYPE, PR_EMAIL_ADDRESS_W, PR_ADDRTYPE_W});
    ASSERT_TRUE(rows);
    int kinds[4] = {};
    for (ULONG i = 0; i < rows->cRows; ++i) {
      const LONG type = columnLong(rows->aRow[i], 1).value_or(0);
      if (type >= 1 && type <= 3) ++kinds[type];
      EXPECT_FALSE(column(rows->aRow[i], 0).empty() && column(rows->aRow[i], 2).empty());
    }
    EXPECT_EQ(kinds[MAPI_TO], s.to);
    EXPECT_EQ(kinds[MAPI_CC], s.cc);
    EXPECT_EQ(kinds[MAPI_BCC], s.bcc);

    ComRef<IMAPITable> attachments;
    ASSERT_EQ(message->GetAttachmentTable(MAPI_UNICODE, attachments.receive()), S_OK);
    RowSetPtr attachRows = allRows(attachments.get(),
                                   {PR_DISPLAY_NAME_W, PR_ATTACH_FILENAME_W, PR_ATTACH_LONG_FILENAME_W,
                                    PR_ATTACH_PATHNAME_W, PR_ATTACH_LONG_PATHNAME_W, PR_ATTACH_METHOD, PR_ATTACH_NUM,
                                    PR_ATTACH_CONTENT_ID_W, PR_ATTACH_CONTENT_LOCATION_W, PR_ATTACH_FLAGS,
                                    PR_ATTACH_CONTENT_DISPOSITION_W});
    ASSERT_TRUE(attachRows);
    ASSERT_EQ(attachRows->cRows, s.attachments.size());
    for (ULONG i = 0; i < attachRows->cRows; ++i) {
      SCOPED_TRACE(i);
      const SRow& row = attachRows->aRow[i];
      const ExpectedAttachment& a = s.attachments[i];
      EXPECT_EQ(row.cValues, 11u);
      EXPECT_EQ(columnLong(row, 5).value_or(-1), a.method);
      EXPECT_EQ(columnLong(row, 6).value_or(-1), static_cast<LONG>(i));
      EXPECT_EQ(column(row, 2), a.longName);
      EXPECT_EQ(column(row, 1), a.shortName);
      EXPECT_EQ(column(row, 7), a.contentId);
      ComRef<IMessage> embedded = embeddedMessage(message.get(), i);
      EXPECT_EQ(static_cast<bool>(embedded), a.embeddedSubject != nullptr);
      if (embedded && a.embeddedSubject) {
        EXPECT_EQ(text(embedded.get(), PR_SUBJECT).value_or(""), a.embeddedSubject);
      }
    }
  }
}

// Reads every property of an object both ways (values and streams) and counts them.
std::size_t readEverything(IMAPIProp* object) {
  ULONG count = 0;
  LPSPropValue values = nullptr;
  const HRESULT hr = object->GetProps(nullptr, MAPI_UNICODE, &count, &values);
  EXPECT_TRUE(hr == S_OK || hr == MAPI_W_ERRORS_RETURNED);
  MAPIBuffer<SPropValue> hold(values);
  for (ULONG i = 0; i < count; ++i) {
    const SPropValue& v = values[i];
    EXPECT_NE(PROP_TYPE(v.ulPropTag), PT_STRING8) << "MAPI_UNICODE widens every string";
    if (PROP_TYPE(v.ulPropTag) == PT_UNICODE) {
      const auto bytes = streamOf(object, v.ulPropTag);
      EXPECT_TRUE(bytes);
      if (bytes) {
        EXPECT_EQ(bytes->size(), std::char_traits<char16_t>::length(v.Value.lpszW) * 2);
      }
    } else if (PROP_TYPE(v.ulPropTag) == PT_BINARY) {
      const auto bytes = streamOf(object, v.ulPropTag);
      EXPECT_TRUE(bytes);
      if (bytes) {
        EXPECT_EQ(bytes->size(), v.Value.bin.cb);
      }
    }
  }
  return count;
}

std::size_t walk(IMessage* message, int depth) {
  std::size_t total = readEverything(message);
  ComRef<IMAPITable> attachments;
  EXPECT_EQ(message->GetAttachmentTable(0, attachments.receive()), S_OK);
  ULONG count = 0;
  attachments->GetRowCount(0, &count);
  for (ULONG i = 0; i < count; ++i) {
    ComRef<IAttach> attach;
    EXPECT_EQ(message->OpenAttach(i, &IID_IAttachment, MAPI_BEST_ACCESS, attach.receive()), S_OK);
    if (attach) total += readEverything(attach.get());
    if (ComRef<IMessage> embedded = embeddedMessage(message, i)) total += walk(embedded.get(), depth + 1);
  }
  return total;
}

TEST_F(MsgSamplesTest, EveryPropertyOfEverySampleReadsAsValueAndStream) {
  QM_REQUIRE_SHARED_DATA();
  for (const ExpectedSample& s : kSamples) {
    SCOPED_TRACE(s.file);
    ComRef<IMessage> message = openFile(sampleDir() / s.file);
    ASSERT_TRUE(message);
    EXPECT_GT(walk(message.get(), 0), 20u);
  }
}

TEST_F(MsgSamplesTest, NamedPropertiesResolveByTheirOwnFilesMap) {
  QM_REQUIRE_SHARED_DATA();
  // AppointmentStartWhole (PSETID_Appointment, 0x820D) has a different id in each file.
  const struct {
    const char* file;
    ULONG expectedId;
    long long startUnix;
  } cases[] = {
      {"aspose__Test_Meeting.msg", 0x8003, 1486998000},  // 2017-02-13 15:00:00Z
      {"hht__Friday_Lunch.msg", 0x8001, 1672974000},     // 2023-01-06 03:00:00Z
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ComRef<IMessage> message = openFile(sampleDir() / c.file);
    ASSERT_TRUE(message);
    GUID set = PSETID_Appointment;
    MAPINAMEID name{&set, MNID_ID, {}};
    name.Kind.lID = 0x820D;
    LPMAPINAMEID names[] = {&name};
    LPSPropTagArray tags = nullptr;
    ASSERT_EQ(message->GetIDsFromNames(1, names, 0, &tags), S_OK);
    MAPIBuffer<SPropTagArray> holdTags(tags);
    EXPECT_EQ(PROP_ID(tags->aulPropTag[0]), c.expectedId);
    LPSPropValue value = nullptr;
    ASSERT_EQ(HrGetOneProp(message.get(), CHANGE_PROP_TYPE(tags->aulPropTag[0], PT_SYSTIME), &value), S_OK);
    MAPIBuffer<SPropValue> holdValue(value);
    const ULONGLONG ticks = (ULONGLONG{value->Value.ft.dwHighDateTime} << 32) | value->Value.ft.dwLowDateTime;
    EXPECT_EQ(static_cast<long long>(ticks / 10000000ULL) - 11644473600LL, c.startUnix);

    // And back from the id to the name.
    ULONG count = 0;
    LPMAPINAMEID* back = nullptr;
    ASSERT_EQ(message->GetNamesFromIDs(&tags, nullptr, 0, &count, &back), S_OK);
    MAPIBuffer<LPMAPINAMEID> holdNames(back);
    ASSERT_EQ(count, 1u);
    EXPECT_TRUE(IsEqualGUID(*back[0]->lpguid, PSETID_Appointment));
    EXPECT_EQ(back[0]->ulKind, MNID_ID);
    EXPECT_EQ(back[0]->Kind.lID, 0x820D);
  }
}

TEST_F(MsgSamplesTest, EmbeddedMessageUsesTheRootsNameMap) {
  QM_REQUIRE_SHARED_DATA();
  // The embedded "Monday Lunch" exception stores AppointmentStartWhole under the root's id.
  ComRef<IMessage> message = openFile(sampleDir() / "hht__Friday_Lunch.msg");
  ASSERT_TRUE(message);
  ComRef<IMessage> embedded = embeddedMessage(message.get(), 0);
  ASSERT_TRUE(embedded);
  GUID set = PSETID_Appointment;
  MAPINAMEID name{&set, MNID_ID, {}};
  name.Kind.lID = 0x820D;
  LPMAPINAMEID names[] = {&name};
  LPSPropTagArray tags = nullptr;
  ASSERT_EQ(embedded->GetIDsFromNames(1, names, 0, &tags), S_OK);
  MAPIBuffer<SPropTagArray> holdTags(tags);
  LPSPropValue value = nullptr;
  ASSERT_EQ(HrGetOneProp(embedded.get(), CHANGE_PROP_TYPE(tags->aulPropTag[0], PT_SYSTIME), &value), S_OK);
  MAPIBuffer<SPropValue> holdValue(value);
  const ULONGLONG ticks = (ULONGLONG{value->Value.ft.dwHighDateTime} << 32) | value->Value.ft.dwLowDateTime;
  EXPECT_EQ(static_cast<long long>(ticks / 10000000ULL) - 11644473600LL, 1673233200);  // 2023-01-09 03:00:00Z
}

TEST_F(MsgSamplesTest, AnsiSubjectsDecodeByTheirCodePage) {
  QM_REQUIRE_SHARED_DATA();
  const struct {
    const char* file;
    const char* subject;
  } cases[] = {
      {"hht__nonUnicodeCP932.msg", "日本語 Non Unicode タイトル"},
      {"sicos__EmailWithSpecialCharsInSubject.msg",
       "Un sujet bien défini Àéroport mañana être ouïe électricité così próxima à Ô"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ComRef<IMessage> message = openFile(sampleDir() / c.file);
    ASSERT_TRUE(message);
    // Stored as 8-bit: read as stored, and converted when asked for Unicode.
    LPSPropValue raw = nullptr;
    ASSERT_EQ(HrGetOneProp(message.get(), PR_SUBJECT_A, &raw), S_OK);
    MAPIBuffer<SPropValue> hold(raw);
    EXPECT_NE(std::string(raw->Value.lpszA), c.subject);
    EXPECT_EQ(text(message.get(), PR_SUBJECT).value_or(""), c.subject);
    EXPECT_EQ(utf8(platform::system::toUtf16(platform::mapi::stringCodePage(message.get()), raw->Value.lpszA)
                       .value_or(u"").c_str()),
              c.subject);
  }
}

}  // namespace
