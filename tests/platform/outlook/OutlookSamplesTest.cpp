// The object model over the real samples: every property of the field vocabulary's name table and
// of the shipped templates answers by DISPID and by name, with values checked against the
// independent readings in testdata/msg/reference (times there are UTC; these tests run in UTC).

#include <gtest/gtest.h>

#include "platform/ui/WinUser.h"
#include "platform/com/ComObject.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/outlook/Dispids.h"
#include "tests/platform/outlook/OutlookTestUtil.h"

namespace {

using namespace outlooktest;
using platform::outlook::COutlook;

struct Expect {
  const char16_t* name;
  const char* value;
};

struct SampleCase {
  const char* folder;
  const char* file;
  LONG objectClass;
  const char* kind;  // the template README's item type
  std::vector<Expect> values;
};

// Values read by hand from the files and agreeing with the reference readings.
const std::vector<SampleCase> kSamples = {
    {"Inbox", "tika__testMSG.msg", olMail, "mail",
     {{u"MessageClass", "s:IPM.Note"},
      {u"Subject", "s:MIME registry use cases"},
      {u"SenderName", "s:Jukka Zitting"},
      {u"SenderEmailAddress", "s:jukka.zitting@gmail.com"},
      {u"To", "s:tika-dev@lucene.apache.org"},
      {u"SentOn", "d:2009-01-29 19:16"},
      {u"ReceivedTime", "d:2009-01-29 19:17"},
      {u"BodyFormat", "i:1"},
      {u"Importance", "i:1"},
      {u"Sensitivity", "i:0"},
      {u"FolderName", "s:Inbox"},
      {u"FlagDueBy", "d:none"},
      {u"Categories", "s:"}}},
    {"Calendar", "tika__testMSG_Appointment.msg", olAppointment, "appointment",
     {{u"MessageClass", "s:IPM.Appointment"},
      {u"Subject", "s:Quick brown fox"},
      {u"Start", "d:2017-02-28 18:30"},
      {u"End", "d:2017-02-28 19:00"},
      {u"Location", "s:under lazy dog"},
      {u"AllDayEvent", "b:0"},
      {u"IsRecurring", "b:0"},
      {u"BusyStatus", "i:2"},
      {u"Duration", "i:30"},
      {u"Organizer", "s:Allison, Timothy B."},
      {u"BodyFormat", "i:2"}}},
    {"Calendar", "aspose__Test_Meeting.msg", olAppointment, "appointment",
     {{u"Subject", "s:Test Meeting"},
      {u"Start", "d:2017-02-13 15:00"},
      {u"End", "d:2017-02-13 18:00"},
      {u"Location", "s:Online"},
      {u"MeetingStatus", "i:1"},
      {u"Organizer", "s:Maria Shahid"},
      {u"RequiredAttendees", "s:Maria Shahid; attendee1@gmail.com; attendee2@gmail.com"},
      {u"BodyFormat", "i:3"}}},
    {"Calendar", "hht__Friday_Lunch.msg", olAppointment, "appointment",
     {{u"Subject", "s:Friday Lunch"},
      {u"Start", "d:2023-01-06 03:00"},
      {u"IsRecurring", "b:1"},
      {u"Location", "s:"}}},
    {"Contacts", "tika__testMSG_Contact.msg", olContact, "contact",
     {{u"MessageClass", "s:IPM.Contact"},
      {u"FullName", "s:Dr Quick Brown Fox Jr"},
      {u"FileAs", "s:Fox, Quick Brown"},
      {u"JobTitle", "s:Jumper"},
      {u"CompanyName", "s:Fence Co"},
      {u"BusinessTelephoneNumber", "s:(123) 456-7890"},
      {u"HomeTelephoneNumber", "s:(234) 567-8901"},
      {u"MobileTelephoneNumber", "s:(456) 789-0123"},
      {u"BusinessFaxNumber", "s:(345) 678-9012"},
      {u"Email1Address", "s:quickbrown@gmail.com"},
      {u"Email2Address", "s:"},
      {u"WebPage", "s:www.quickfox.com"},
      {u"BusinessAddress", "s:12 Lazy Dog Lane\r\nSpringfield  01234"},
      {u"BodyFormat", "i:3"}}},
    {"Contacts", "hht__contactAnsi.msg", olContact, "contact",
     {{u"Subject", "s:コム ドット イグザンプル 殿"},
      {u"FileAs", "s:イグザンプル, コム ドット"},
      {u"Email1Address", "s:test@example.com"}}},
    {"Tasks", "tika__testMSG_Task.msg", olTask, "task",
     {{u"MessageClass", "s:IPM.Task"},
      {u"Subject", "s:Must jump over the lazy dog"},
      {u"DueDate", "d:2017-03-10 00:00"},
      {u"StartDate", "d:2017-02-19 00:00"},
      {u"PercentComplete", "i:0"},
      {u"Status", "i:1"},
      {u"Owner", "s:Allison, Timothy B."}}},
    {"Notes", "tika__testMSG_StickyNote.msg", olNote, "note",
     {{u"MessageClass", "s:IPM.StickyNote"},
      {u"Subject", "s:This is a note about the quick brown fox"},
      {u"CreationTime", "d:2017-02-28 18:44"},
      {u"Color", "i:3"}}},
    {"Inbox", "tika__testMSG_Post.msg", olPost, "post",
     {{u"MessageClass", "s:IPM.Post"},
      {u"Subject", "s:QuickBrownFox"},
      {u"ConversationTopic", "s:QuickBrownFox"},
      {u"SentOn", "d:2017-02-28 18:47"},
      {u"BodyFormat", "i:2"}}},
};

// What the item access itself reads by DISPID.
const std::vector<std::pair<DISPID, VARTYPE>> kItemAccess = {
    {0x1A, VT_BSTR},       {0xF404, VT_BSTR},     {0x9100, VT_BSTR},     {0xFA49, VT_I4},
    {0xF815, VT_DISPATCH}, {0xF405, VT_DISPATCH}, {0xF816, VT_DISPATCH}, {0xFA09, VT_DISPATCH},
    {0xF100, VT_UNKNOWN},  {0x853B, VT_BSTR},
};

// Names the templates read with PROP_TYPE=ITEM, by item type (resources/templates/README.md).
const std::map<std::string, std::vector<const char16_t*>> kTemplateNames = {
    // The mail template reads contact fields from the sender's contact, not from the mail.
    {"mail", {}},
    {"appointment", {u"Location", u"Start", u"End", u"AllDayEvent", u"IsRecurring", u"BusyStatus", u"Organizer"}},
    {"contact",
     {u"FullName", u"JobTitle", u"CompanyName", u"FileAs", u"Department", u"BusinessAddress", u"HomeAddress",
      u"OtherAddress", u"BusinessTelephoneNumber", u"HomeTelephoneNumber", u"MobileTelephoneNumber",
      u"BusinessFaxNumber", u"Email1Address", u"Email2Address", u"Email3Address", u"WebPage", u"IMAddress"}},
    {"task", {u"StartDate", u"DueDate", u"Status", u"PercentComplete", u"Owner"}},
    {"post", {u"ConversationTopic"}},
    {"note", {}},
};

class OutlookSamplesTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    if (testsupport::sharedDir().empty()) return;
    std::vector<std::pair<std::string, std::string>> links;
    for (const SampleCase& c : kSamples) links.emplace_back(c.folder, c.file);
    m_root = linkSamples(dir() / "store", links);
    platform::outlook::OutlookOptions options;
    options.userName = u"Test User";
    options.userAddress = u"test@example.com";
    m_outlook = COutlook::open(m_root, options);
    ASSERT_TRUE(m_outlook);
  }
  CComPtr<IDispatch> item(const SampleCase& c) { return m_outlook->item(m_root / c.folder / c.file); }

  std::filesystem::path m_root;
  std::unique_ptr<COutlook> m_outlook;
};

TEST_F(OutlookSamplesTest, EachSampleAnswersItsValuesByNameAndByDispid) {
  QM_REQUIRE_SHARED_DATA();
  for (const SampleCase& c : kSamples) {
    SCOPED_TRACE(c.file);
    CComPtr<IDispatch> it = item(c);
    ASSERT_TRUE(it);
    EXPECT_EQ(show(get(it, 0xF00A)), "i:" + std::to_string(c.objectClass));
    for (const Expect& e : c.values) {
      SCOPED_TRACE(utf8(e.name));
      EXPECT_EQ(show(getByName(it, e.name)), e.value);
      EXPECT_EQ(show(get(it, e.name)), e.value);
    }
  }
}

TEST_F(OutlookSamplesTest, NameTableAndItemAccessAnswerOnEverySampleKind) {
  QM_REQUIRE_SHARED_DATA();
  for (const SampleCase& c : kSamples) {
    SCOPED_TRACE(c.file);
    CComPtr<IDispatch> it = item(c);
    // The field vocabulary's name table.
    for (const auto& [name, dispid, text] : platform::outlook::kItemFieldDispids) {
      SCOPED_TRACE(utf8(name));
      CComVariant byId;
      ASSERT_EQ(get(it, dispid, byId), S_OK);
      // A type the field vocabulary maps to a formatter.
      EXPECT_TRUE(byId.vt == VT_BSTR || byId.vt == VT_I4 || byId.vt == VT_DATE || byId.vt == VT_BOOL) << byId.vt;
      HRESULT hr = E_FAIL;
      const CComVariant byName = getByName(it, std::u16string(name), &hr);
      EXPECT_EQ(hr, S_OK);
      // A contact's 0x3001 is its FullName; by name FolderName is the folder's name.
      if (dispid != 0x3001 || c.objectClass != olContact) {
        EXPECT_EQ(show(byName), show(byId));
      }
    }
    for (const auto& [dispid, vt] : kItemAccess) {
      CComVariant value;
      EXPECT_EQ(get(it, dispid, value), S_OK) << std::hex << dispid;
      EXPECT_EQ(value.vt, vt) << std::hex << dispid;
    }
    for (const char16_t* name : kTemplateNames.at(c.kind)) {
      HRESULT hr = E_FAIL;
      const CComVariant value = getByName(it, name, &hr);
      EXPECT_EQ(hr, S_OK) << utf8(name);
      EXPECT_NE(value.vt, VT_EMPTY) << utf8(name);
    }
  }
}

TEST_F(OutlookSamplesTest, PropertiesOfOtherItemTypesAreNotMembers) {
  QM_REQUIRE_SHARED_DATA();
  CComPtr<IDispatch> mail = item(kSamples[0]);
  CComVariant value;
  EXPECT_EQ(get(mail, 0x820D, value), DISP_E_MEMBERNOTFOUND);  // Start
  HRESULT hr = S_OK;
  getByName(mail, u"Email1Address", &hr);
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
  DISPID id = 0;
  EXPECT_EQ(CComDispatchDriver(mail).GetIDOfName(u"Location", &id), DISP_E_UNKNOWNNAME);
}

TEST_F(OutlookSamplesTest, HtmlBodyComesFromRtfWhenTheFileKeepsNoHtml) {
  QM_REQUIRE_SHARED_DATA();
  // The appointment keeps its HTML only inside compressed RTF; the contact's RTF is true RTF.
  const std::string appointment = show(get(item(kSamples[1]), 0xF404));
  EXPECT_NE(appointment.find("<html"), std::string::npos);
  EXPECT_NE(appointment.find("jumping"), std::string::npos);
  const std::string contact = show(get(item(kSamples[4]), 0xF404));
  EXPECT_NE(contact.find("quick brown fox"), std::string::npos);
  // Plain mail: the text made into HTML, escaped.
  const std::string mail = show(get(item(kSamples[0]), 0xF404));
  EXPECT_NE(mail.find("I've been working"), std::string::npos);
  EXPECT_NE(mail.find("<br>"), std::string::npos);
}

TEST_F(OutlookSamplesTest, EntryIdsRoundTripWithAndWithoutTheStoreId) {
  QM_REQUIRE_SHARED_DATA();
  CComPtr<IDispatch> session = object(m_outlook->application(), u"Session");
  const CComVariant storeId = get(m_outlook->defaultFolder(olFolderInbox), u"StoreID");
  for (const SampleCase& c : kSamples) {
    CComPtr<IDispatch> it = item(c);
    const CComVariant entryId = get(it, 0xF01E);
    ASSERT_EQ(entryId.vt, VT_BSTR);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(callObject(session, u"GetItemFromID", entryId, &hr), it) << c.file;
    CComVariant found;
    EXPECT_EQ(CComDispatchDriver(session).Invoke2(u"GetItemFromID", &entryId, &storeId, &found), S_OK);
    EXPECT_EQ(found.vt == VT_DISPATCH ? found.pdispVal : nullptr, it.p);
    // Lower-case hex is the same id.
    std::u16string lower(entryId.bstrVal);
    for (char16_t& ch : lower) ch = static_cast<char16_t>(std::tolower(ch));
    EXPECT_EQ(callObject(session, u"GetItemFromID", CComVariant(std::u16string_view(lower))), it);
  }
  // Another store's id, or an unknown entry id, raises.
  CComVariant entryId = get(item(kSamples[0]), 0xF01E), otherStore(u"00000000");
  CComVariant found;
  EXPECT_EQ(CComDispatchDriver(session).Invoke2(u"GetItemFromID", &entryId, &otherStore, &found), DISP_E_EXCEPTION);
  HRESULT hr = S_OK;
  call(session, u"GetItemFromID", CComVariant(u"0000000000000000"), &hr);
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
  // A re-opened store gives the same ids.
  auto again = COutlook::open(m_root);
  EXPECT_EQ(show(get(again->item(m_root / kSamples[3].folder / kSamples[3].file), 0xF01E)),
            show(get(item(kSamples[3]), 0xF01E)));
}

TEST_F(OutlookSamplesTest, DefaultFoldersKnowTheirItemTypes) {
  QM_REQUIRE_SHARED_DATA();
  CComPtr<IDispatch> session = object(m_outlook->application(), u"Session");
  const struct {
    LONG folder;
    const char* name;
    const char* messageClass;
    LONG itemType;
    LONG count;
  } cases[] = {
      {olFolderInbox, "s:Inbox", "s:IPM.Note", olMailItem, 2},
      {olFolderCalendar, "s:Calendar", "s:IPM.Appointment", olAppointmentItem, 3},
      {olFolderContacts, "s:Contacts", "s:IPM.Contact", olContactItem, 2},
      {olFolderTasks, "s:Tasks", "s:IPM.Task", olTaskItem, 1},
      {olFolderNotes, "s:Notes", "s:IPM.StickyNote", olNoteItem, 1},
      {olFolderJournal, "s:Journal", "s:IPM.Activity", olJournalItem, 0},
      {olFolderOutbox, "s:Outbox", "s:IPM.Note", olMailItem, 0},
  };
  for (const auto& c : cases) {
    HRESULT hr = E_FAIL;
    CComPtr<IDispatch> folder = callObject(session, u"GetDefaultFolder", CComVariant(c.folder), &hr);
    ASSERT_EQ(hr, S_OK) << c.name;
    EXPECT_EQ(show(get(folder, 0x3001)), c.name);
    EXPECT_EQ(show(get(folder, 0x3107)), c.messageClass);
    EXPECT_EQ(show(get(folder, u"DefaultItemType")), "i:" + std::to_string(c.itemType));
    EXPECT_EQ(show(get(object(folder, u"Items"), u"Count")), "i:" + std::to_string(c.count));
    EXPECT_EQ(callObject(session, u"GetFolderFromID", get(folder, u"EntryID")), folder);
  }
  EXPECT_EQ(show(get(session, u"CurrentUser.Name")), "e:");
  CComVariant user;
  ASSERT_EQ(CComDispatchDriver(session).GetPropertyByPath(u"CurrentUser.AddressEntry.Address", &user), S_OK);
  EXPECT_EQ(show(user), "s:test@example.com");
}

TEST_F(OutlookSamplesTest, FindMatchesQuotedValuesJoinedByOrAndAnd) {
  QM_REQUIRE_SHARED_DATA();
  CComPtr<IDispatch> contacts = object(m_outlook->defaultFolder(olFolderContacts), u"Items");
  const struct {
    const char16_t* filter;
    const char* subject;  // "" when nothing matches
  } cases[] = {
      {u"[Email1Address] = 'quickbrown@gmail.com'", "s:Quick Brown Fox Jr"},
      {u"[Email1Address] = 'nobody@x' Or [Email2Address] = 'nobody@x' Or [Email1Address] = 'TEST@example.com'",
       "s:コム ドット イグザンプル 殿"},
      {u"[Email1Address] = \"quickbrown@gmail.com\" And [JobTitle] = 'Jumper'", "s:Quick Brown Fox Jr"},
      {u"[Email1Address] = 'quickbrown@gmail.com' And [JobTitle] = 'Sleeper'", ""},
      {u"[FullName] = 'Dr Quick Brown Fox Jr'", "s:Quick Brown Fox Jr"},
  };
  for (const auto& c : cases) {
    HRESULT hr = E_FAIL;
    CComVariant found = call(contacts, u"Find", CComVariant(std::u16string_view(c.filter)), &hr);
    ASSERT_EQ(hr, S_OK) << utf8(c.filter);
    ASSERT_EQ(found.vt, VT_DISPATCH);
    EXPECT_EQ(found.pdispVal ? show(get(found.pdispVal, 0x37)) : "", c.subject) << utf8(c.filter);
  }
  // The unquoted apostrophe of an address breaks the condition: Find raises.
  HRESULT hr = S_OK;
  call(contacts, u"Find", CComVariant(u"[Email1Address] = 'o'brien@example.com'"), &hr);
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
  call(contacts, u"Find", CComVariant(u"[NoSuchField] = 'x'"), &hr);
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
}

// Records the events it receives.
class CEventSink : public CComObjectRootEx<CComSingleThreadModel>, public IDispatch {
 public:
  BEGIN_COM_MAP(CEventSink)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(DIID_ExplorersEvents, IDispatch)
    COM_INTERFACE_ENTRY_IID(DIID_InspectorsEvents, IDispatch)
    COM_INTERFACE_ENTRY_IID(DIID_ExplorerEvents, IDispatch)
    COM_INTERFACE_ENTRY_IID(DIID_InspectorEvents, IDispatch)
    COM_INTERFACE_ENTRY_IID(DIID_ApplicationEvents, IDispatch)
  END_COM_MAP()

  STDMETHOD(GetTypeInfoCount)(UINT* n) override { return *n = 0, S_OK; }
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    events.push_back(id);
    if (params && params->cArgs == 1 && params->rgvarg[0].vt == VT_DISPATCH) last = params->rgvarg[0].pdispVal;
    if (onEvent) onEvent(id);
    return S_OK;
  }

  std::vector<DISPID> events;
  CComPtr<IDispatch> last;
  std::function<void(DISPID)> onEvent;
};

TEST_F(OutlookSamplesTest, WindowsFireTheirEventsOnOpenSelectAndClose) {
  QM_REQUIRE_SHARED_DATA();
  IDispatch* app = m_outlook->application();
  auto explorersSink = CComObject<CEventSink>::Make();
  auto inspectorsSink = CComObject<CEventSink>::Make();
  platform::com::CEventConnection explorers(get(app, u"Explorers").pdispVal, explorersSink->GetUnknown(),
                                            DIID_ExplorersEvents);
  platform::com::CEventConnection inspectors(get(app, u"Inspectors").pdispVal, inspectorsSink->GetUnknown(),
                                             DIID_InspectorsEvents);
  ASSERT_TRUE(explorers.connected());
  ASSERT_TRUE(inspectors.connected());

  CComPtr<IDispatch> inbox = m_outlook->defaultFolder(olFolderInbox);
  CComPtr<IDispatch> mail = item(kSamples[0]), post = item(kSamples.back());
  CComPtr<IDispatch> explorer = m_outlook->openExplorer(inbox, {mail});
  ASSERT_TRUE(explorer);
  EXPECT_EQ(explorersSink->events, std::vector<DISPID>{0xF001});
  EXPECT_EQ(explorersSink->last, explorer);
  EXPECT_EQ(object(app, u"ActiveExplorer"), explorer);
  EXPECT_EQ(object(explorer, u"CurrentFolder"), inbox);
  EXPECT_EQ(show(get(object(explorer, u"Selection"), u"Count")), "i:1");
  CComQIPtr<IOleWindow> window(explorer);
  HWND hwnd = nullptr;
  ASSERT_TRUE(window);
  EXPECT_EQ(window->GetWindow(&hwnd), S_OK);
  EXPECT_EQ(hwnd, m_outlook->windowHandle(explorer));
  EXPECT_TRUE(IsWindow(hwnd));  // a window of the window layer, as hooks and subclassing need

  auto explorerSink = CComObject<CEventSink>::Make();
  platform::com::CEventConnection explorerEvents(explorer, explorerSink->GetUnknown(), DIID_ExplorerEvents);
  EXPECT_EQ(m_outlook->select(explorer, {mail, post}), S_OK);
  EXPECT_EQ(show(get(object(explorer, u"Selection"), u"Count")), "i:2");
  EXPECT_EQ(m_outlook->switchFolder(explorer, m_outlook->defaultFolder(olFolderContacts)), S_OK);
  EXPECT_EQ(show(get(object(explorer, u"Selection"), u"Count")), "i:0");
  EXPECT_EQ(m_outlook->deactivate(explorer), S_OK);
  EXPECT_EQ(m_outlook->activate(explorer), S_OK);

  // An item's Display opens one inspector; a second opening answers the same one.
  CComVariant none;
  EXPECT_EQ(CComDispatchDriver(mail).Invoke0(u"Display"), S_OK);
  ASSERT_EQ(inspectorsSink->events.size(), 1u);
  CComPtr<IDispatch> inspector = inspectorsSink->last;
  EXPECT_EQ(m_outlook->openInspector(mail), inspector);
  EXPECT_EQ(inspectorsSink->events.size(), 1u);
  EXPECT_EQ(object(inspector, u"CurrentItem"), mail);
  EXPECT_EQ(object(app, u"ActiveInspector"), inspector);

  // Close fires while the inspector still counts, then it leaves the collection.
  auto inspectorSink = CComObject<CEventSink>::Make();
  platform::com::CEventConnection inspectorEvents(inspector, inspectorSink->GetUnknown(), DIID_InspectorEvents);
  LONG countAtClose = -1;
  inspectorSink->onEvent = [&](DISPID id) {
    if (id == 0xF008) countAtClose = get(object(app, u"Inspectors"), u"Count").lVal;
  };
  EXPECT_EQ(CComDispatchDriver(inspector).Invoke0(u"Close"), S_OK);
  EXPECT_EQ(inspectorSink->events, std::vector<DISPID>{0xF008});
  EXPECT_EQ(countAtClose, 1);
  EXPECT_EQ(show(get(object(app, u"Inspectors"), u"Count")), "i:0");
  EXPECT_EQ(m_outlook->windowHandle(inspector), nullptr);

  EXPECT_EQ(m_outlook->close(explorer), S_OK);
  EXPECT_EQ(explorerSink->events, (std::vector<DISPID>{0xF007, 0xF002, 0xF006, 0xF001, 0xF008}));
  EXPECT_EQ(show(get(app, u"ActiveExplorer")), "o:null");
  EXPECT_EQ(m_outlook->close(explorer), S_FALSE);
}

TEST_F(OutlookSamplesTest, ClosingOutlookClosesItsWindowsAndFreesItsObjects) {
  QM_REQUIRE_SHARED_DATA();
  auto sink = CComObject<CEventSink>::Make();
  CComPtr<IDispatch> mail = item(kSamples[0]);
  CComPtr<IDispatch> inspector = m_outlook->openInspector(mail);
  platform::com::CEventConnection events(inspector, sink->GetUnknown(), DIID_InspectorEvents);
  m_outlook.reset();
  EXPECT_EQ(sink->events, std::vector<DISPID>{0xF008});
  // Objects still held keep answering what does not need Outlook.
  EXPECT_EQ(show(get(mail, 0x37)), "s:MIME registry use cases");
  EXPECT_EQ(show(get(mail, u"Application")), "o:null");
}

}  // namespace
