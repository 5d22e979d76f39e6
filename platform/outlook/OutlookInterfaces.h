#pragma once
// The Outlook object model's interfaces as this layer serves them: dispatch interfaces (every
// member is reached through IDispatch by DISPID or name), their interface ids, the event
// interfaces fired through connection points, IOleWindow, and the enumerations callers pass.

#include "platform/WinTypes.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Guid.h"

QM_DISPINTERFACE(_Application, "00063001-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_NameSpace, "00063002-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_Explorer, "00063003-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_Inspector, "00063005-0000-0000-C000-000000000046");
QM_DISPINTERFACE(MAPIFolder, "00063006-0000-0000-C000-000000000046");
QM_DISPINTERFACE(Attachment, "00063007-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_Inspectors, "00063008-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_Explorers, "0006300A-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_ContactItem, "00063021-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_JournalItem, "00063022-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_PostItem, "00063024-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_NoteItem, "00063025-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_AppointmentItem, "00063033-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_MailItem, "00063034-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_TaskItem, "00063035-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_TaskRequestItem, "00063036-0000-0000-C000-000000000046");
QM_DISPINTERFACE(Attachments, "0006303C-0000-0000-C000-000000000046");
QM_DISPINTERFACE(UserProperties, "0006303D-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_Folders, "00063040-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_Items, "00063041-0000-0000-C000-000000000046");
QM_DISPINTERFACE(UserProperty, "00063042-0000-0000-C000-000000000046");
QM_DISPINTERFACE(Recipient, "00063045-0000-0000-C000-000000000046");
QM_DISPINTERFACE(AddressEntry, "0006304B-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_MeetingItem, "00063062-0000-0000-C000-000000000046");
QM_DISPINTERFACE(_DistListItem, "00063081-0000-0000-C000-000000000046");
QM_DISPINTERFACE(Selection, "00063087-0000-0000-C000-000000000046");
QM_DISPINTERFACE(Link, "00063089-0000-0000-C000-000000000046");
QM_DISPINTERFACE(Links, "0006308A-0000-0000-C000-000000000046");
QM_DISPINTERFACE(ItemProperties, "000630A8-0000-0000-C000-000000000046");
QM_DISPINTERFACE(ItemProperty, "000630A9-0000-0000-C000-000000000046");


// Event interfaces (dispinterfaces the sinks implement), found through IConnectionPointContainer.
inline constexpr IID DIID_ApplicationEvents = platform::com::guid("0006304E-0000-0000-C000-000000000046");
inline constexpr IID DIID_ExplorerEvents = platform::com::guid("0006304F-0000-0000-C000-000000000046");
inline constexpr IID DIID_ExplorersEvents = platform::com::guid("00063078-0000-0000-C000-000000000046");
inline constexpr IID DIID_InspectorsEvents = platform::com::guid("00063079-0000-0000-C000-000000000046");
inline constexpr IID DIID_InspectorEvents = platform::com::guid("0006307D-0000-0000-C000-000000000046");

// The window of an explorer or inspector.
struct IOleWindow : IUnknown {
  STDMETHOD(GetWindow)(HWND* phwnd) = 0;
  STDMETHOD(ContextSensitiveHelp)(BOOL fEnterMode) = 0;

 protected:
  ~IOleWindow() = default;
};
inline constexpr IID IID_IOleWindow = platform::com::guid("00000114-0000-0000-C000-000000000046");
QM_DECLARE_INTERFACE_IID(IOleWindow, IID_IOleWindow);
_COM_SMARTPTR_TYPEDEF(IOleWindow, __uuidof(IOleWindow));

// OlDefaultFolders.
enum OlDefaultFolders : LONG {
  olFolderDeletedItems = 3,
  olFolderOutbox = 4,
  olFolderSentMail = 5,
  olFolderInbox = 6,
  olFolderCalendar = 9,
  olFolderContacts = 10,
  olFolderJournal = 11,
  olFolderNotes = 12,
  olFolderTasks = 13,
  olFolderDrafts = 16,
};

// OlItemType: a folder's DefaultItemType.
enum OlItemType : LONG {
  olMailItem = 0,
  olAppointmentItem = 1,
  olContactItem = 2,
  olTaskItem = 3,
  olJournalItem = 4,
  olNoteItem = 5,
  olPostItem = 6,
  olDistributionListItem = 7,
};

// OlObjectClass: what each object answers as its Class.
enum OlObjectClass : LONG {
  olApplication = 0,
  olNamespace = 1,
  olFolder = 2,
  olRecipient = 4,
  olAttachment = 5,
  olAddressEntry = 8,
  olFolders = 15,
  olItems = 16,
  olAttachments = 18,
  olAppointment = 26,
  olExplorer = 34,
  olInspector = 35,
  olUserProperties = 38,
  olUserProperty = 39,
  olContact = 40,
  olJournal = 42,
  olMail = 43,
  olNote = 44,
  olPost = 45,
  olReport = 46,
  olTask = 48,
  olTaskRequest = 49,
  olMeetingRequest = 53,
  olExplorers = 60,
  olInspectors = 61,
  olDistributionList = 69,
  olSelection = 74,
  olLink = 75,
  olLinks = 76,
  olItemProperties = 98,
  olItemProperty = 99,
};

// OlBodyFormat.
enum OlBodyFormat : LONG {
  olFormatUnspecified = 0,
  olFormatPlain = 1,
  olFormatHTML = 2,
  olFormatRichText = 3,
};

// OlAttachmentType.
enum OlAttachmentType : LONG {
  olByValue = 1,
  olByReference = 4,
  olEmbeddeditem = 5,
  olOLE = 6,
};

// OlUserPropertyType (the types this layer reports).
enum OlUserPropertyType : LONG {
  olOutlookInternal = 0,
  olText = 1,
  olNumber = 3,
  olDateTime = 5,
  olYesNo = 6,
  olCurrency = 14,
  olInteger = 20,
};

// Outlook's date for "none": 4501-01-01 00:00, what unset dates answer.
constexpr double kOutlookNoDate = 949998.0;

// Outlook's Options dialog and the pages add-ins put into it: the collection OptionsPagesAdd
// hands to the add-ins (they call its Add(page ProgID or object, title) through IDispatch), the
// dual interface every page answers, and the site a page tells when it becomes dirty (found on
// the container of the page's client site).
QM_DISPINTERFACE(PropertyPages, "00063080-0000-0000-C000-000000000046");

struct PropertyPage : IDispatch {
  STDMETHOD(GetPageInfo)(BSTR* HelpFile, LONG* HelpContext) = 0;
  STDMETHOD(get_Dirty)(VARIANT_BOOL* Dirty) = 0;
  STDMETHOD(Apply)() = 0;

 protected:
  ~PropertyPage() = default;
};
inline constexpr IID IID_PropertyPage = platform::com::guid("0006307E-0000-0000-C000-000000000046");
QM_DECLARE_INTERFACE_IID(PropertyPage, IID_PropertyPage);
_COM_SMARTPTR_TYPEDEF(PropertyPage, __uuidof(PropertyPage));

struct PropertyPageSite : IDispatch {
  STDMETHOD(OnStatusChange)() = 0;

 protected:
  ~PropertyPageSite() = default;
};
inline constexpr IID IID_PropertyPageSite = platform::com::guid("0006307F-0000-0000-C000-000000000046");
QM_DECLARE_INTERFACE_IID(PropertyPageSite, IID_PropertyPageSite);
_COM_SMARTPTR_TYPEDEF(PropertyPageSite, __uuidof(PropertyPageSite));
