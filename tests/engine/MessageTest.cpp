// CMessage over .msg fixtures and fake items: recipients by kind, the received-by user, MAPI
// reads and their dates, linked contacts, and an item without a MAPI object.
#include "engine/Message.h"

#include <gtest/gtest.h>

#include "foundation/AddinGlobals.h"
#include "foundation/Settings.h"
#include "tests/engine/MessageFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace enginetest;
using namespace testsupport;

RecipientList listOf(const CMessage& message, ULONG kind) { return *message.getRecipients(kind); }

class MessageTest : public IsolatedTest {
 protected:
  void TearDown() override {
    CSettings::instance().outlookApplication() = nullptr;
    NGlobals::resetForTesting();
  }

  // An Outlook application whose Session.CurrentUser is user (an unreadable one when null).
  void setApplication(IDispatch* user) {
    FakePtr session = makeFake();
    if (user) session->object(0x2, u"CurrentUser", user);
    else session->failing(0x2, u"CurrentUser", E_ACCESSDENIED);
    m_application = makeFake();
    m_application->object(0x1, u"Session", session);
    CSettings::instance().outlookApplication() = m_application.p;
  }

  MsgDescription received() {
    MsgDescription d;
    d.props = {unicodeProp(PR_RECEIVED_BY_NAME_W, u"Rita Receiver"),
               unicodeProp(PR_RECEIVED_BY_EMAIL_ADDRESS_W, u"rita@example.org"),
               unicodeProp(PR_SENDER_NAME_W, u"Sam Sender"), unicodeProp(PR_SENDER_EMAIL_ADDRESS_W, u"sam@example.org"),
               unicodeProp(PR_SENDER_ADDRTYPE_W, u"SMTP")};
    return d;
  }

  FakePtr m_application;
};

TEST_F(MessageTest, RecipientsAreSortedByKindWithoutDuplicates) {
  MsgDescription d;
  d.recipients = {recipient(MAPI_TO, u"Ann", u"ann@example.org"),
                  recipient(MAPI_TO, u"Ann", u"ann@example.org"),
                  recipient(MAPI_TO, u"Ann", u"ann@example.org", u"smtp"),
                  recipient(MAPI_CC, u"", u"bob@example.org"),
                  recipient(MAPI_BCC, u"Carl", u"carl@example.org"),
                  recipient(4, u"Dora", u"dora@example.org"),
                  recipient(MAPI_CC, u"", u""),
                  MsgRecipient{{unicodeProp(PR_DISPLAY_NAME_W, u"No Type")}}};
  d.props = {unicodeProp(PR_SENT_REPRESENTING_NAME_W, u"Boss"),
             unicodeProp(PR_SENT_REPRESENTING_EMAIL_ADDRESS_W, u"boss@example.org")};
  CComPtr<IMessage> mapi = openDescription(d);
  ASSERT_TRUE(mapi);
  CMessage message(itemOf(mapi));

  EXPECT_EQ(listOf(message, kRecipientTo),
            (RecipientList{{u"Ann", u"ann@example.org", u"SMTP"}, {u"Ann", u"ann@example.org", u"smtp"}}));
  EXPECT_EQ(listOf(message, kRecipientCc), (RecipientList{{u"", u"bob@example.org", u"SMTP"}}));
  EXPECT_EQ(listOf(message, kRecipientBcc), (RecipientList{{u"Carl", u"carl@example.org", u"SMTP"}}));
  // No sender properties: still one sender record, empty.
  EXPECT_EQ(listOf(message, kRecipientSender), (RecipientList{{}}));
  EXPECT_EQ(listOf(message, kRecipientSentRepresenting), (RecipientList{{u"Boss", u"boss@example.org", u""}}));
  EXPECT_EQ(listOf(message, kRecipientReceivedBy), (RecipientList{{}}));
  EXPECT_TRUE(listOf(message, 0x00800000).empty());
  EXPECT_EQ(CMessage::recipientKindFromMAPIType(4), 0u);
}

TEST_F(MessageTest, ReceivedByIsTheCurrentUserFromOutlook11On) {
  FakePtr entry = makeFake();
  entry->text(0x1, u"Name", u"Current User").text(0x2, u"Address", u"/o=Org/cn=cu").text(0x3, u"Type", u"EX");
  FakePtr user = makeFake();
  user->object(0x1, u"AddressEntry", entry).text(0x2, u"Name", u"Ignored");
  setApplication(user);
  CComPtr<IMessage> mapi = openDescription(received());

  NGlobals::setOfficeMajorVersion(12);
  CMessage current(itemOf(mapi));
  EXPECT_EQ(listOf(current, kRecipientReceivedBy), (RecipientList{{u"Current User", u"/o=Org/cn=cu", u"EX"}}));

  NGlobals::setOfficeMajorVersion(10);
  CMessage older(itemOf(mapi));
  EXPECT_EQ(listOf(older, kRecipientReceivedBy), (RecipientList{{u"Rita Receiver", u"rita@example.org", u""}}));

  // Without an address entry the recipient's own name and address answer.
  NGlobals::setOfficeMajorVersion(12);
  FakePtr bare = makeFake();
  bare->text(0x2, u"Name", u"Plain User").text(0x3, u"Address", u"plain@example.org");
  setApplication(bare);
  CMessage plain(itemOf(mapi));
  EXPECT_EQ(listOf(plain, kRecipientReceivedBy), (RecipientList{{u"Plain User", u"plain@example.org", u""}}));
}

TEST_F(MessageTest, AFailingCurrentUserKeepsTheRestOfTheRecipients) {
  NGlobals::setOfficeMajorVersion(16);
  CComPtr<IMessage> mapi = openDescription(received());
  setApplication(nullptr);  // CurrentUser answers E_ACCESSDENIED
  CMessage denied(itemOf(mapi));
  EXPECT_EQ(listOf(denied, kRecipientReceivedBy), (RecipientList{{u"Rita Receiver", u"rita@example.org", u""}}));
  EXPECT_EQ(listOf(denied, kRecipientSender), (RecipientList{{u"Sam Sender", u"sam@example.org", u"SMTP"}}));
  EXPECT_EQ(listOf(denied, kRecipientSentRepresenting).size(), 1u);

  // An address entry whose Address fails: nothing half-read is kept.
  FakePtr entry = makeFake();
  entry->text(0x1, u"Name", u"Half").failing(0x2, u"Address").text(0x3, u"Type", u"EX");
  FakePtr user = makeFake();
  user->object(0x1, u"AddressEntry", entry);
  setApplication(user);
  CMessage half(itemOf(mapi));
  EXPECT_EQ(listOf(half, kRecipientReceivedBy), (RecipientList{{u"Rita Receiver", u"rita@example.org", u""}}));
  EXPECT_EQ(listOf(half, kRecipientSender).front().name, u"Sam Sender");
}

TEST_F(MessageTest, AnItemWithoutMapiObjectHasNoRecipientsOrAttachments) {
  CMessage message(itemOf(nullptr));
  EXPECT_EQ(message.getMAPIMessage(), nullptr);
  for (ULONG kind : {kRecipientTo, kRecipientSender, kRecipientReceivedBy}) EXPECT_TRUE(listOf(message, kind).empty());
  LPSPropValue value = reinterpret_cast<LPSPropValue>(&message);
  EXPECT_FALSE(message.getMAPIProperty(PR_SUBJECT_W, &value));
  EXPECT_EQ(value, nullptr);
  EXPECT_FALSE(message.hasAttachments());
  EXPECT_TRUE(message.getAttachments().empty());
  EXPECT_EQ(message.getItem().getMessageClass(), u"IPM.Note");  // the object model still answers
}

TEST_F(MessageTest, MapiReadsAndTheirDates) {
  MsgDescription d;
  d.props = {unicodeProp(PR_SUBJECT_W, u"Subject line"),
             timeProp(PR_CLIENT_SUBMIT_TIME, fileTimeFromUnix(1700000000)),
             // Outlook's "no date", as MAPI stores it.
             timeProp(PR_REPLY_TIME, FILETIME{0xA3DD4000u, 0x0CB34557u})};
  CComPtr<IMessage> mapi = openDescription(d);
  CMessage message(itemOf(mapi));

  LPSPropValue value = nullptr;
  ASSERT_TRUE(message.getMAPIProperty(PR_SUBJECT_W, &value));
  platform::mapi::MAPIBuffer<SPropValue> hold(value);
  EXPECT_EQ(std::u16string(value->Value.lpszW), u"Subject line");

  FILETIME time{};
  TimeBasis basis = TimeBasis::Local;
  ASSERT_TRUE(message.getMAPIFileTime(PR_CLIENT_SUBMIT_TIME, time, &basis));
  EXPECT_EQ(basis, TimeBasis::UTC);
  const FILETIME expected = fileTimeFromUnix(1700000000);
  EXPECT_EQ(time.dwLowDateTime, expected.dwLowDateTime);
  EXPECT_EQ(time.dwHighDateTime, expected.dwHighDateTime);
  EXPECT_FALSE(message.getMAPIFileTime(PR_REPLY_TIME, time));
  EXPECT_FALSE(message.getMAPIFileTime(PR_EXPIRY_TIME, time));

  LPUNKNOWN stream = nullptr;
  ASSERT_TRUE(message.openMAPIProperty(PR_SUBJECT_W, &IID_IStream, 0, 0, &stream));
  stream->Release();
  EXPECT_FALSE(message.openMAPIProperty(PR_BODY_W, &IID_IStream, 0, 0, &stream));
  EXPECT_EQ(stream, nullptr);
}

TEST_F(MessageTest, ContactNamesFollowTheLinks) {
  FakePtr item = itemOf(nullptr);
  CMessage none(item);
  EXPECT_EQ(none.getContactNames(), u"");

  std::vector<CComPtr<IDispatch>> members;
  for (const char16_t* name : {u"", u"Ann Archer", u"Bob Baker"}) {
    FakePtr link = makeFake();
    link->text(0x1, u"Name", name);
    members.emplace_back(link.p);
  }
  FakePtr links = makeFake();
  links->collection(members);
  item->object(0xF405, u"Links", links);
  CMessage linked(item);
  EXPECT_EQ(linked.getContactNames(), u"Ann Archer, Bob Baker");
}

}  // namespace
