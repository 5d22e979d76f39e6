// The object model over written fixtures, for what the samples lack: a meeting request, an ANSI
// message in CP1251, a large message with many attachments, dates in another time zone, user
// properties and links, quoting in Find, and stores that are hostile or damaged.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

#include "platform/mapi/MAPIInterfaces.h"
#include "platform/mapi/PropTags.h"
#include "tests/platform/outlook/OutlookTestUtil.h"
#include "tests/support/MsgWriter.h"

namespace {

using namespace outlooktest;
using namespace testsupport;
using platform::outlook::COutlook;
namespace fs = std::filesystem;

constexpr ULONG kStartDate = PROP_TAG(PT_SYSTIME, 0x0060);
constexpr ULONG kEndDate = PROP_TAG(PT_SYSTIME, 0x0061);
constexpr long long kJuly1Noon = 1625140800;  // 2021-07-01 12:00:00 UTC

MsgNamed named(const GUID& set, LONG lid, MsgValue value) {
  MsgNamed n;
  n.guid = set;
  n.lid = lid;
  n.value = std::move(value);
  return n;
}
MsgNamed namedString(const GUID& set, std::u16string name, MsgValue value) {
  MsgNamed n;
  n.guid = set;
  n.name = std::move(name);
  n.value = std::move(value);
  return n;
}

MsgDescription meetingRequest() {
  MsgDescription d;
  d.messageClass = "IPM.Schedule.Meeting.Request";
  d.props = {unicodeProp(PR_SUBJECT_W, u"Planning"),
             unicodeProp(PR_SENDER_NAME_W, u"Ann Organizer"),
             timeProp(PR_CLIENT_SUBMIT_TIME, fileTimeFromUnix(kJuly1Noon)),
             timeProp(kStartDate, fileTimeFromUnix(kJuly1Noon + 86400)),
             timeProp(kEndDate, fileTimeFromUnix(kJuly1Noon + 86400 + 3600)),
             longProp(PR_IMPORTANCE, 2)};
  d.named = {named(PSETID_Appointment, 0x8208, unicodeProp(namedTag(0, PT_UNICODE), u"Room 4"))};
  return d;
}

MsgDescription cp1251Mail() {
  MsgDescription d;
  d.messageClass = "IPM.Note";
  d.props = {ansiProp(PR_SUBJECT_A, u"Привет, мир", 1251), ansiProp(PR_BODY_A, u"Текст <письма>", 1251),
             longProp(PR_MESSAGE_CODEPAGE, 1251)};
  return d;
}

MsgDescription bigMail(int attachments, std::size_t size) {
  MsgDescription d;
  d.messageClass = "IPM.Note";
  d.props = {unicodeProp(PR_SUBJECT_W, u"Many attachments")};
  for (int i = 1; i <= attachments; ++i) {
    const std::u16string name = u"file" + platform::system::utf8ToUtf16(std::to_string(i)) + u".bin";
    MsgAttachment attachment;
    attachment.props = {longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE), unicodeProp(PR_ATTACH_LONG_FILENAME_W, name),
                        unicodeProp(PR_DISPLAY_NAME_W, name), longProp(PR_ATTACH_SIZE, static_cast<LONG>(size)),
                        binaryProp(PR_ATTACH_DATA_BIN, std::string(size, static_cast<char>('a' + i % 26)))};
    d.attachments.push_back(std::move(attachment));
  }
  return d;
}

MsgDescription contact(std::u16string fullName, std::u16string email) {
  MsgDescription d;
  d.messageClass = "IPM.Contact";
  d.props = {unicodeProp(PR_SUBJECT_W, fullName), unicodeProp(PR_DISPLAY_NAME_W, fullName)};
  d.named = {named(PSETID_Address, 0x8083, unicodeProp(namedTag(0, PT_UNICODE), email)),
             namedString(PS_PUBLIC_STRINGS, u"Customer", unicodeProp(namedTag(1, PT_UNICODE), u"ACME")),
             namedString(PS_PUBLIC_STRINGS, u"Keywords", mvUnicodeProp(namedTag(2, PT_MV_UNICODE), {u"Red", u"Blue"}))};
  return d;
}

class OutlookFixturesTest : public testsupport::IsolatedTest {
 protected:
  fs::path write(const std::string& relative, const MsgDescription& d) {
    const fs::path path = dir() / "store" / relative;
    fs::create_directories(path.parent_path());
    EXPECT_TRUE(writeMsgFile(d, path));
    return path;
  }
  std::unique_ptr<COutlook> open(platform::outlook::OutlookOptions options = {}) {
    auto outlook = COutlook::open(dir() / "store", std::move(options));
    EXPECT_TRUE(outlook);
    return outlook;
  }
};

TEST_F(OutlookFixturesTest, MeetingRequestAnswersAsAMeetingItem) {
  const fs::path file = write("Inbox/meeting.msg", meetingRequest());
  auto outlook = open();
  CComPtr<IDispatch> item = outlook->item(file);
  ASSERT_TRUE(item);
  EXPECT_EQ(show(get(item, u"Class")), "i:53");
  EXPECT_EQ(show(getByName(item, u"Location")), "s:Room 4");
  EXPECT_EQ(show(get(item, 0x8208)), "s:Room 4");
  EXPECT_EQ(show(get(item, 0x39)), "d:2021-07-01 12:00");
  EXPECT_EQ(show(get(item, 0x17)), "i:2");
  EXPECT_EQ(show(get(item, u"SenderName")), "s:Ann Organizer");
  CComQIPtr<_MeetingItem> typed(item);
  EXPECT_TRUE(typed);
  // The template reads the start by MAPI tag, through the item's MAPI object.
  CComVariant mapi = get(item, 0xF100);
  ASSERT_EQ(mapi.vt, VT_UNKNOWN);
  IMessage* message = nullptr;
  ASSERT_EQ(mapi.punkVal->QueryInterface(IID_IMessage, reinterpret_cast<void**>(&message)), S_OK);
  LPSPropValue start = nullptr;
  EXPECT_EQ(HrGetOneProp(message, kStartDate, &start), S_OK);
  MAPIFreeBuffer(start);
  message->Release();
}

TEST_F(OutlookFixturesTest, AnsiMessageInCp1251ReadsRight) {
  const fs::path file = write("Inbox/cp1251.msg", cp1251Mail());
  auto outlook = open();
  CComPtr<IDispatch> item = outlook->item(file);
  EXPECT_EQ(show(get(item, 0x37)), "s:Привет, мир");
  EXPECT_EQ(show(get(item, 0x9100)), "s:Текст <письма>");
  EXPECT_EQ(show(get(item, 0xFA49)), "i:1");
  EXPECT_NE(show(get(item, 0xF404)).find("Текст &lt;письма&gt;"), std::string::npos);
}

TEST_F(OutlookFixturesTest, LargeMessageListsEveryAttachment) {
  const fs::path file = write("Inbox/big.msg", bigMail(50, 20000));
  ASSERT_GE(fs::file_size(file), 1000000u);
  auto outlook = open();
  CComPtr<IDispatch> attachments = object(outlook->item(file), u"Attachments");
  ASSERT_TRUE(attachments);
  EXPECT_EQ(show(get(attachments, u"Count")), "i:50");
  for (LONG i : {1L, 25L, 50L}) {
    CComPtr<IDispatch> attachment = callObject(attachments, u"Item", CComVariant(i));
    ASSERT_TRUE(attachment);
    EXPECT_EQ(show(get(attachment, u"FileName")), "s:file" + std::to_string(i) + ".bin");
    EXPECT_EQ(show(get(attachment, u"Type")), "i:1");
    EXPECT_EQ(show(get(attachment, u"Index")), "i:" + std::to_string(i));
  }
  HRESULT hr = S_OK;
  call(attachments, u"Item", CComVariant(51L), &hr);
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
  call(attachments, u"Item", CComVariant(0L), &hr);
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
}

TEST_F(OutlookFixturesTest, DatesAreLocalAndNoDateIsOutlooksNone) {
  MsgDescription mail;
  mail.messageClass = "IPM.Note";
  FILETIME noDate{};
  noDate.dwHighDateTime = 0x0CB34557;
  noDate.dwLowDateTime = 0xA3DD4000;
  mail.props = {timeProp(PR_CLIENT_SUBMIT_TIME, fileTimeFromUnix(kJuly1Noon)), timeProp(PR_EXPIRY_TIME, noDate)};
  MsgDescription task;
  task.messageClass = "IPM.Task";
  task.named = {named(PSETID_Task, 0x8105, timeProp(namedTag(0, PT_SYSTIME), fileTimeFromUnix(kJuly1Noon - 12 * 3600)))};
  const fs::path mailFile = write("Inbox/dated.msg", mail), taskFile = write("Tasks/task.msg", task);

  const char* oldTz = std::getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  setenv("TZ", "America/New_York", 1);
  tzset();
  auto outlook = open();
  // MAPI keeps UTC; the object model answers local time (EDT, UTC-4).
  EXPECT_EQ(show(get(outlook->item(mailFile), 0x39)), "d:2021-07-01 08:00");
  EXPECT_EQ(show(get(outlook->item(mailFile), 0x15)), "d:none");
  EXPECT_EQ(show(get(outlook->item(mailFile), 0xF)), "d:none");
  EXPECT_EQ(get(outlook->item(mailFile), 0x30).date, kOutlookNoDate);
  // A task's dates are kept as local midnight already.
  EXPECT_EQ(show(getByName(outlook->item(taskFile), u"DueDate")), "d:2021-07-01 00:00");
  setenv("TZ", saved.c_str(), 1);
  tzset();
}

TEST_F(OutlookFixturesTest, UserPropertiesCategoriesAndLinks) {
  const fs::path contactFile = write("Contacts/fox.msg", contact(u"Quick Brown Fox", u"fox@example.com"));
  MsgDescription journal;
  journal.messageClass = "IPM.Activity";
  journal.named = {named(PSETID_Common, 0x853A, mvUnicodeProp(namedTag(0, PT_MV_UNICODE), {u"Quick Brown Fox", u"Nobody"})),
                   named(PSETID_Log, 0x8700, unicodeProp(namedTag(1, PT_UNICODE), u"Phone call"))};
  const fs::path journalFile = write("Journal/call.msg", journal);
  auto outlook = open();

  CComPtr<IDispatch> fox = outlook->item(contactFile);
  EXPECT_EQ(show(get(fox, 0x9001)), "s:Red, Blue");
  CComPtr<IDispatch> user = object(fox, u"UserProperties");
  EXPECT_EQ(show(get(user, u"Count")), "i:1");
  CComPtr<IDispatch> customer = callObject(user, u"Item", CComVariant(u"customer"));
  ASSERT_TRUE(customer);
  EXPECT_EQ(show(get(customer, u"Value")), "s:ACME");
  EXPECT_EQ(show(getByName(fox, u"Customer")), "s:ACME");
  CComPtr<IDispatch> found = callObject(object(outlook->defaultFolder(olFolderContacts), u"Items"), u"Find",
                                        CComVariant(u"[Customer] = 'acme'"));
  EXPECT_EQ(found, fox);

  CComPtr<IDispatch> call = outlook->item(journalFile);
  EXPECT_EQ(show(getByName(call, u"Type")), "s:Phone call");
  CComPtr<IDispatch> links = object(call, u"Links");
  CComQIPtr<Links> typed(links);
  EXPECT_TRUE(typed);
  EXPECT_EQ(show(get(links, u"Count")), "i:2");
  CComPtr<IDispatch> first = callObject(links, u"Item", CComVariant(1L));
  EXPECT_EQ(show(get(first, u"Name")), "s:Quick Brown Fox");
  EXPECT_EQ(object(first, u"Item"), fox);
  EXPECT_EQ(show(get(callObject(links, u"Item", CComVariant(2L)), u"Item")), "o:null");
}

TEST_F(OutlookFixturesTest, FindTakesQuotesDoubledOrTheOtherQuote) {
  write("Contacts/obrien.msg", contact(u"Pat O'Brien", u"o'brien@example.com"));
  write("Contacts/other.msg", contact(u"Other", u"other@example.com"));
  auto outlook = open();
  CComPtr<IDispatch> items = object(outlook->defaultFolder(olFolderContacts), u"Items");
  for (const char16_t* filter : {u"[Email1Address] = 'o''brien@example.com'", u"[Email1Address] = \"o'brien@example.com\"",
                                 u"[Email1Address] = 'x' Or [FullName] = 'Pat O''Brien'"}) {
    CComPtr<IDispatch> found = callObject(items, u"Find", CComVariant(std::u16string_view(filter)));
    ASSERT_TRUE(found) << utf8(filter);
    EXPECT_EQ(show(get(found, 0x37)), "s:Pat O'Brien");
    CComVariant next;
    EXPECT_EQ(CComDispatchDriver(items).Invoke0(u"FindNext", &next), S_OK);
    EXPECT_EQ(show(next), "o:null");
  }
  HRESULT hr = S_OK;
  call(items, u"Find", CComVariant(u"[Email1Address] = 'o'brien@example.com'"), &hr);
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
  CComPtr<IDispatch> restricted = callObject(items, u"Restrict", CComVariant(u"Not [FullName] = 'Other'"));
  EXPECT_EQ(show(get(restricted, u"Count")), "i:1");
}

TEST_F(OutlookFixturesTest, SaveAndPutsWriteNothingToTheFile) {
  const fs::path file = write("Contacts/fox.msg", contact(u"Quick Brown Fox", u"fox@example.com"));
  const std::string before = readFile(file);
  auto outlook = open();
  CComPtr<IDispatch> item = outlook->item(file);
  CComVariant companies = get(item, 0x853B);
  CComVariant changed(u"Fence Co");
  EXPECT_EQ(CComDispatchDriver(item).PutProperty(0x853B, &changed), S_OK);
  EXPECT_EQ(show(get(item, 0x853B)), "s:Fence Co");
  EXPECT_EQ(CComDispatchDriver(item).Invoke0(0xF048), S_OK);
  CComVariant subject(u"x");
  EXPECT_EQ(CComDispatchDriver(item).PutProperty(0x37, &subject), DISP_E_MEMBERNOTFOUND);
  outlook.reset();
  EXPECT_EQ(readFile(file), before);
}

TEST_F(OutlookFixturesTest, CurrentUserIsNullWithoutAProfileAndRaisesWhenItFails) {
  write("Inbox/a.msg", cp1251Mail());
  auto none = open();
  CComPtr<IDispatch> session = object(none->application(), u"Session");
  EXPECT_EQ(show(get(session, u"CurrentUser")), "o:null");
  platform::outlook::OutlookOptions options;
  options.userName = u"U";
  options.currentUserFails = true;
  auto failing = COutlook::open(dir() / "store", options);
  CComVariant user;
  EXPECT_EQ(CComDispatchDriver(object(failing->application(), u"Session")).GetPropertyByName(u"CurrentUser", &user),
            DISP_E_EXCEPTION);
}

TEST_F(OutlookFixturesTest, HostileStoresStayBounded) {
  // A damaged file, a link looping back, odd names and a very deep tree.
  fs::create_directories(dir() / "store" / "Inbox");
  { std::ofstream(dir() / "store" / "Inbox" / "broken.msg") << "not a compound file"; }
  fs::create_directory_symlink(dir() / "store", dir() / "store" / "Inbox" / "loop");
  write("Inbox/we\xE2\x80\x8Bird \"name\" <x>/..msg", cp1251Mail());
  fs::path deep = dir() / "store" / "Deep";
  for (int i = 0; i < 40; ++i) deep /= "d";
  fs::create_directories(deep);
  auto outlook = open();
  EXPECT_TRUE(outlook->storeTruncated());
  CComPtr<IDispatch> broken = outlook->item(dir() / "store" / "Inbox" / "broken.msg");
  ASSERT_TRUE(broken);
  EXPECT_EQ(show(get(broken, 0x37)), "s:");
  EXPECT_EQ(show(get(broken, 0x1A)), "s:");
  CComVariant mapi;
  EXPECT_EQ(get(broken, 0xF100, mapi), DISP_E_EXCEPTION);
  EXPECT_EQ(show(get(object(broken, u"Attachments"), u"Count")), "i:0");
  // Listed in its folder, but not handed out by its entry id: Outlook cannot open it.
  HRESULT hr = S_OK;
  call(object(outlook->application(), u"Session"), u"GetItemFromID", get(broken, 0xF01E), &hr);
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
  EXPECT_EQ(outlook->openFailure(get(broken, 0xF01E).bstrVal),
            (dir() / "store" / "Inbox" / "broken.msg").string() + " is not a valid .msg file");
  CComPtr<IDispatch> inbox = outlook->defaultFolder(olFolderInbox);
  CComPtr<IDispatch> folders = object(inbox, u"Folders");
  EXPECT_EQ(show(get(folders, u"Count")), "i:1");  // the loop is not followed
  CComPtr<IDispatch> odd = callObject(folders, u"Item", CComVariant(1L));
  EXPECT_EQ(show(get(odd, 0x3001)), "s:we\xE2\x80\x8Bird \"name\" <x>");
  EXPECT_EQ(show(get(odd, 0x3107)), "s:IPM.Note");
  EXPECT_EQ(show(get(callObject(object(odd, u"Items"), u"Item", CComVariant(1L)), 0x37)), "s:Привет, мир");
  EXPECT_FALSE(COutlook::open(dir() / "missing"));
}

}  // namespace
