#include "platform/outlook/detail/PropertyTable.h"

#include <vector>

#include "platform/mapi/PropTags.h"
#include "platform/outlook/Dispids.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/system/Text.h"

namespace platform::outlook::detail {

using platform::system::equalsNoCase;
namespace {

using F = ValueForm;

PropertyDef tagged(DISPID dispid, std::u16string_view name, std::uint32_t kinds, F form, ULONG type, ULONG id) {
  PropertyDef def{dispid, name, kinds, form, Source::Tag};
  def.tag = PROP_TAG(type, id);
  return def;
}
PropertyDef text(DISPID dispid, std::u16string_view name, std::uint32_t kinds, ULONG id) {
  return tagged(dispid, name, kinds, F::Text, PT_UNICODE, id);
}
PropertyDef number(DISPID dispid, std::u16string_view name, std::uint32_t kinds, ULONG id, LONG absent = 0) {
  PropertyDef def = tagged(dispid, name, kinds, F::Long, PT_LONG, id);
  def.defaultLong = absent;
  return def;
}
PropertyDef flag(DISPID dispid, std::u16string_view name, std::uint32_t kinds, ULONG id) {
  return tagged(dispid, name, kinds, F::Bool, PT_BOOLEAN, id);
}
PropertyDef date(DISPID dispid, std::u16string_view name, std::uint32_t kinds, ULONG id) {
  return tagged(dispid, name, kinds, F::Date, PT_SYSTIME, id);
}
PropertyDef named(DISPID dispid, std::u16string_view name, std::uint32_t kinds, F form, const GUID& set, LONG lid,
                  ULONG type) {
  PropertyDef def{dispid, name, kinds, form, Source::NamedId};
  def.set = &set;
  def.lid = lid;
  def.tag = type;
  return def;
}
PropertyDef namedText(DISPID dispid, std::u16string_view name, std::uint32_t kinds, const GUID& set, LONG lid) {
  return named(dispid, name, kinds, F::Text, set, lid, PT_UNICODE);
}
PropertyDef namedList(DISPID dispid, std::u16string_view name, std::uint32_t kinds, const GUID& set, LONG lid,
                      std::u16string_view joiner) {
  PropertyDef def = named(dispid, name, kinds, F::Text, set, lid, PT_MV_UNICODE);
  def.joiner = joiner;
  return def;
}
PropertyDef namedLong(DISPID dispid, std::u16string_view name, std::uint32_t kinds, const GUID& set, LONG lid) {
  return named(dispid, name, kinds, F::Long, set, lid, PT_LONG);
}
PropertyDef namedBool(DISPID dispid, std::u16string_view name, std::uint32_t kinds, const GUID& set, LONG lid) {
  return named(dispid, name, kinds, F::Bool, set, lid, PT_BOOLEAN);
}
PropertyDef namedDate(DISPID dispid, std::u16string_view name, std::uint32_t kinds, const GUID& set, LONG lid,
                      bool local = false) {
  PropertyDef def = named(dispid, name, kinds, F::Date, set, lid, PT_SYSTIME);
  def.localDate = local;
  return def;
}
PropertyDef computed(DISPID dispid, std::u16string_view name, std::uint32_t kinds, F form, Computed what) {
  PropertyDef def{dispid, name, kinds, form, Source::Computed};
  def.computed = what;
  return def;
}
PropertyDef writable(PropertyDef def) {
  def.writable = true;
  return def;
}

constexpr std::uint32_t kAll = kAllKinds;
constexpr std::uint32_t kMsg = kMessageKinds;
constexpr std::uint32_t kAppt = kAppointment;
constexpr std::uint32_t kTasks = kTaskKinds;
constexpr std::uint32_t kPeople = kContact | kDistList;

std::vector<PropertyDef> buildTable() {
  const GUID& common = PSETID_Common;
  const GUID& address = PSETID_Address;
  const GUID& appointment = PSETID_Appointment;
  const GUID& task = PSETID_Task;
  const GUID& note = PSETID_Note;
  const GUID& log = PSETID_Log;

  std::vector<PropertyDef> t = {
      // Every item: the object model's own members.
      computed(0xF000, u"Application", kAll, F::Object, Computed::Application),
      computed(0xF00A, u"Class", kAll, F::Long, Computed::Class),
      computed(0xF00B, u"Session", kAll, F::Object, Computed::Session),
      computed(0xF001, u"Parent", kAll, F::Object, Computed::Parent),
      computed(kDispidAttachments, u"Attachments", kAll, F::Object, Computed::Attachments),
      computed(kDispidLinks, u"Links", kAll, F::Object, Computed::Links),
      computed(kDispidUserProperties, u"UserProperties", kAll, F::Object, Computed::UserProperties),
      computed(kDispidItemProperties, u"ItemProperties", kAll, F::Object, Computed::ItemProperties),
      computed(kDispidMAPIOBJECT, u"MAPIOBJECT", kAll, F::Object, Computed::MapiObject),
      computed(0xF03E, u"GetInspector", kAll, F::Object, Computed::GetInspector),
      computed(kDispidSave, u"Save", kAll, F::Method, Computed::Save),
      computed(0xF023, u"Close", kAll, F::Method, Computed::Close),
      computed(0xF0A6, u"Display", kAll, F::Method, Computed::Display),
      computed(0xF01E, u"EntryID", kAll, F::Text, Computed::EntryID),
      computed(0xF0A3, u"Saved", kAll, F::Bool, Computed::Saved),
      computed(0xF01C, u"UnRead", kAll, F::Bool, Computed::UnRead),

      // Bodies, derived from what the file stores.
      writable(computed(kDispidBody, u"Body", kAll, F::Text, Computed::Body)),
      computed(kDispidHTMLBody, u"HTMLBody", kAll, F::Text, Computed::HTMLBody),
      computed(kDispidBodyFormat, u"BodyFormat", kAll, F::Long, Computed::BodyFormat),

      // The field vocabulary's name table, answered on every item type.
      text(kDispidSubject, u"Subject", kAll, 0x0037),
      namedList(kDispidCategories, u"Categories", kAll, PS_PUBLIC_STRINGS, 0, u", "),
      number(kDispidSensitivity, u"Sensitivity", kAll, 0x0036, 0),
      number(kDispidImportance, u"Importance", kAll, 0x0017, 1),
      namedText(kDispidBillingInformation, u"BillingInformation", kAll, common, 0x8535),
      writable(namedList(kDispidCompanies, u"Companies", kAll, common, 0x8539, u"; ")),
      namedText(kDispidFlagRequest, u"FlagRequest", kAll, common, 0x8530),
      number(kDispidFlagStatus, u"FlagStatus", kAll, 0x1090, 0),
      namedText(kDispidMileage, u"Mileage", kAll, common, 0x8534),
      computed(kDispidSize, u"Size", kAll, F::Long, Computed::Size),
      // A contact's 0x3001 is its FullName; by name every item answers its folder's name.
      text(0x3001, u"FullName", kPeople, 0x3001),
      computed(kDispidFolderName, u"FolderName", kAll, F::Text, Computed::FolderName),
      computed(kDispidVotingOptions, u"VotingOptions", kAll, F::Text, Computed::VotingOptions),
      namedText(kDispidVotingResponse, u"VotingResponse", kAll, common, 0x8524),
      flag(kDispidDeliveryReportRequested, u"DeliveryReportRequested", kAll, 0x0023),
      flag(kDispidReadReceiptRequested, u"ReadReceiptRequested", kAll, 0x0029),
      date(kDispidCreationTime, u"CreationTime", kAll, 0x3007),
      date(kDispidDeferredDeliveryTime, u"DeferredDeliveryTime", kAll, 0x000F),
      date(kDispidExpiryTime, u"ExpiryTime", kAll, 0x0015),
      date(kDispidFlagDueBy, u"FlagDueBy", kAll, 0x0030),
      date(kDispidLastModificationTime, u"LastModificationTime", kAll, 0x3008),
      namedDate(kDispidReminderTime, u"ReminderTime", kAll, common, 0x8502),

      // Common to items.
      text(kDispidMessageClass, u"MessageClass", kAll, 0x001A),
      text(0x70, u"ConversationTopic", kAll, 0x0070),
      namedBool(0x8503, u"ReminderSet", kAll, common, 0x8503),
      namedBool(0x854E, u"NoAging", kAll, common, 0x854E),
      namedText(0x8554, u"OutlookVersion", kAll, common, 0x8554),
      namedLong(0x8552, u"OutlookInternalVersion", kAll, common, 0x8552),
      number(0x3FDE, u"InternetCodepage", kAll, 0x3FDE, 0),

      // Messages: mail, posts, meeting and task requests, reports.
      date(0x39, u"SentOn", kMsg | kAppt, 0x0039),
      date(0xE06, u"ReceivedTime", kMsg | kAppt, 0x0E06),
      text(0xC1A, u"SenderName", kMsg | kAppt, 0x0C1A),
      text(0xC1F, u"SenderEmailAddress", kMsg | kAppt, 0x0C1F),
      text(0xC1E, u"SenderEmailType", kMsg | kAppt, 0x0C1E),
      text(0xE04, u"To", kMsg, 0x0E04),
      text(0xE03, u"CC", kMsg, 0x0E03),
      text(0xE02, u"BCC", kMsg, 0x0E02),
      text(0x40, u"ReceivedByName", kMsg, 0x0040),
      text(0x44, u"ReceivedOnBehalfOfName", kMsg, 0x0044),
      text(0x42, u"SentOnBehalfOfName", kMsg, 0x0042),
      text(0x50, u"ReplyRecipientNames", kMsg, 0x0050),
      computed(0xF402, u"Sent", kMsg | kAppt, F::Bool, Computed::Sent),
      number(0x26, u"Priority", kMsg, 0x0026, 0),

      // Appointments (and what a meeting request shares).
      namedDate(0x820D, u"Start", kAppt, appointment, 0x820D),
      namedDate(0x820E, u"End", kAppt, appointment, 0x820E),
      namedText(0x8208, u"Location", kAppt | kMeeting, appointment, 0x8208),
      namedBool(0x8215, u"AllDayEvent", kAppt, appointment, 0x8215),
      namedBool(0x8223, u"IsRecurring", kAppt, appointment, 0x8223),
      namedLong(0x8205, u"BusyStatus", kAppt, appointment, 0x8205),
      namedLong(0x8213, u"Duration", kAppt, appointment, 0x8213),
      namedLong(0x8217, u"MeetingStatus", kAppt, appointment, 0x8217),
      namedLong(0x8218, u"ResponseStatus", kAppt, appointment, 0x8218),
      namedText(0x8232, u"RecurrencePattern", kAppt, appointment, 0x8232),
      namedDate(0x8220, u"ReplyTime", kAppt, appointment, 0x8220),
      namedLong(0x8501, u"ReminderMinutesBeforeStart", kAppt, common, 0x8501),
      text(0x42, u"Organizer", kAppt, 0x0042),
      text(0xE04, u"RequiredAttendees", kAppt, 0x0E04),
      text(0xE03, u"OptionalAttendees", kAppt, 0x0E03),
      text(0xE02, u"Resources", kAppt, 0x0E02),

      // Contacts (distribution lists share the names).
      text(0x3A06, u"FirstName", kContact, 0x3A06),
      text(0x3A44, u"MiddleName", kContact, 0x3A44),
      text(0x3A11, u"LastName", kContact, 0x3A11),
      text(0x3A45, u"Title", kContact, 0x3A45),
      text(0x3A05, u"Suffix", kContact, 0x3A05),
      text(0x3A4F, u"NickName", kContact, 0x3A4F),
      text(0x3A17, u"JobTitle", kContact, 0x3A17),
      text(0x3A16, u"CompanyName", kContact, 0x3A16),
      text(0x3A18, u"Department", kContact, 0x3A18),
      text(0x3A19, u"OfficeLocation", kContact, 0x3A19),
      text(0x3A46, u"Profession", kContact, 0x3A46),
      text(0x3A4E, u"ManagerName", kContact, 0x3A4E),
      text(0x3A30, u"AssistantName", kContact, 0x3A30),
      text(0x3A48, u"Spouse", kContact, 0x3A48),
      text(0x3A00, u"Account", kContact, 0x3A00),
      text(0x3A4A, u"CustomerID", kContact, 0x3A4A),
      text(0x3A07, u"GovernmentIDNumber", kContact, 0x3A07),
      text(0x3A43, u"Hobby", kContact, 0x3A43),
      text(0x3A0C, u"Language", kContact, 0x3A0C),
      tagged(0x3A4D, u"Gender", kContact, F::Long, PT_I2, 0x3A4D),
      date(0x3A42, u"Birthday", kContact, 0x3A42),
      date(0x3A41, u"Anniversary", kContact, 0x3A41),
      namedText(0x8005, u"FileAs", kContact, address, 0x8005),
      namedText(0x801B, u"BusinessAddress", kContact, address, 0x801B),
      namedText(0x801A, u"HomeAddress", kContact, address, 0x801A),
      namedText(0x801C, u"OtherAddress", kContact, address, 0x801C),
      text(0x3A15, u"MailingAddress", kContact, 0x3A15),
      namedText(0x8045, u"BusinessAddressStreet", kContact, address, 0x8045),
      namedText(0x8046, u"BusinessAddressCity", kContact, address, 0x8046),
      namedText(0x8047, u"BusinessAddressState", kContact, address, 0x8047),
      namedText(0x8048, u"BusinessAddressPostalCode", kContact, address, 0x8048),
      namedText(0x8049, u"BusinessAddressCountry", kContact, address, 0x8049),
      text(0x3A5D, u"HomeAddressStreet", kContact, 0x3A5D),
      text(0x3A59, u"HomeAddressCity", kContact, 0x3A59),
      text(0x3A5C, u"HomeAddressState", kContact, 0x3A5C),
      text(0x3A5B, u"HomeAddressPostalCode", kContact, 0x3A5B),
      text(0x3A5A, u"HomeAddressCountry", kContact, 0x3A5A),
      text(0x3A08, u"BusinessTelephoneNumber", kContact, 0x3A08),
      text(0x3A1B, u"Business2TelephoneNumber", kContact, 0x3A1B),
      text(0x3A09, u"HomeTelephoneNumber", kContact, 0x3A09),
      text(0x3A2F, u"Home2TelephoneNumber", kContact, 0x3A2F),
      text(0x3A1C, u"MobileTelephoneNumber", kContact, 0x3A1C),
      text(0x3A24, u"BusinessFaxNumber", kContact, 0x3A24),
      text(0x3A25, u"HomeFaxNumber", kContact, 0x3A25),
      text(0x3A1F, u"OtherTelephoneNumber", kContact, 0x3A1F),
      text(0x3A1A, u"PrimaryTelephoneNumber", kContact, 0x3A1A),
      text(0x3A1E, u"CarTelephoneNumber", kContact, 0x3A1E),
      text(0x3A21, u"PagerNumber", kContact, 0x3A21),
      text(0x3A57, u"CompanyMainTelephoneNumber", kContact, 0x3A57),
      text(0x3A2E, u"AssistantTelephoneNumber", kContact, 0x3A2E),
      namedText(0x8083, u"Email1Address", kContact, address, 0x8083),
      namedText(0x8082, u"Email1AddressType", kContact, address, 0x8082),
      namedText(0x8080, u"Email1DisplayName", kContact, address, 0x8080),
      namedText(0x8093, u"Email2Address", kContact, address, 0x8093),
      namedText(0x8092, u"Email2AddressType", kContact, address, 0x8092),
      namedText(0x8090, u"Email2DisplayName", kContact, address, 0x8090),
      namedText(0x80A3, u"Email3Address", kContact, address, 0x80A3),
      namedText(0x80A2, u"Email3AddressType", kContact, address, 0x80A2),
      namedText(0x80A0, u"Email3DisplayName", kContact, address, 0x80A0),
      namedText(0x802B, u"WebPage", kContact, address, 0x802B),
      text(0x3A51, u"BusinessHomePage", kContact, 0x3A51),
      text(0x3A50, u"PersonalHomePage", kContact, 0x3A50),
      namedText(0x8062, u"IMAddress", kContact, address, 0x8062),

      // Distribution lists.
      namedText(0x8053, u"DLName", kDistList, address, 0x8053),
      computed(0x8057, u"MemberCount", kDistList, F::Long, Computed::MemberCount),

      // Journal entries.
      namedText(0x8700, u"Type", kJournal, log, 0x8700),
      namedDate(0x8706, u"Start", kJournal, log, 0x8706),
      namedDate(0x8708, u"End", kJournal, log, 0x8708),
      namedLong(0x8707, u"Duration", kJournal, log, 0x8707),
      namedBool(0x870E, u"DocPrinted", kJournal, log, 0x870E),
      namedBool(0x870F, u"DocSaved", kJournal, log, 0x870F),
      namedBool(0x8710, u"DocRouted", kJournal, log, 0x8710),
      namedBool(0x8711, u"DocPosted", kJournal, log, 0x8711),
      text(0xE04, u"ContactNames", kJournal, 0x0E04),

      // Notes.
      namedLong(0x8B00, u"Color", kNote, note, 0x8B00),
      namedLong(0x8B02, u"Width", kNote, note, 0x8B02),
      namedLong(0x8B03, u"Height", kNote, note, 0x8B03),
      namedLong(0x8B04, u"Left", kNote, note, 0x8B04),
      namedLong(0x8B05, u"Top", kNote, note, 0x8B05),

      // Tasks and task requests. Task dates are stored as local midnight: not shifted.
      namedDate(0x8104, u"StartDate", kTasks, task, 0x8104, true),
      namedDate(0x8105, u"DueDate", kTasks, task, 0x8105, true),
      namedDate(0x810F, u"DateCompleted", kTasks, task, 0x810F, true),
      namedLong(0x8101, u"Status", kTasks, task, 0x8101),
      computed(0x8102, u"PercentComplete", kTasks, F::Long, Computed::PercentComplete),
      namedBool(0x811C, u"Complete", kTasks, task, 0x811C),
      namedText(0x811F, u"Owner", kTasks, task, 0x811F),
      namedText(0x8121, u"Delegator", kTasks, task, 0x8121),
      namedBool(0x8103, u"TeamTask", kTasks, task, 0x8103),
      namedBool(0x8126, u"IsRecurring", kTasks, task, 0x8126),
      namedLong(0x8110, u"ActualWork", kTasks, task, 0x8110),
      namedLong(0x8111, u"TotalWork", kTasks, task, 0x8111),
      namedLong(0x8129, u"Ownership", kTasks, task, 0x8129),
      namedLong(0x812A, u"DelegationState", kTasks, task, 0x812A),
      namedText(0x8127, u"Role", kTasks, task, 0x8127),
  };
  // Categories are the public string "Keywords".
  for (PropertyDef& def : t) {
    if (def.name == u"Categories") {
      def.source = Source::NamedString;
      def.stringName = u"Keywords";
    }
  }
  return t;
}


// The class itself or one of its sub-classes ("IPM.Note" and "IPM.Note.SMIME", not "IPM.Notes").
bool isClassOrSub(std::u16string_view messageClass, std::u16string_view base) {
  return platform::system::startsWithNoCase(messageClass, base) &&
         (messageClass.size() == base.size() || messageClass[base.size()] == u'.');
}

}  // namespace

ItemKind kindOfMessageClass(std::u16string_view messageClass) {
  struct Prefix {
    std::u16string_view base;
    ItemKind kind;
  };
  static constexpr Prefix kPrefixes[] = {
      {u"IPM.Appointment", kAppointment}, {u"IPM.Schedule.Meeting", kMeeting},
      {u"IPM.Contact", kContact},         {u"IPM.DistList", kDistList},
      {u"IPM.Activity", kJournal},        {u"IPM.StickyNote", kNote},
      {u"IPM.Post", kPost},               {u"IPM.TaskRequest", kTaskRequest},
      {u"IPM.Task", kTask},               {u"REPORT", kReport},
  };
  for (const Prefix& p : kPrefixes)
    if (isClassOrSub(messageClass, p.base)) return p.kind;
  return kMail;
}

LONG classOfKind(ItemKind kind) {
  switch (kind) {
    case kAppointment: return olAppointment;
    case kMeeting: return olMeetingRequest;
    case kContact: return olContact;
    case kDistList: return olDistributionList;
    case kJournal: return olJournal;
    case kNote: return olNote;
    case kPost: return olPost;
    case kTask: return olTask;
    case kTaskRequest: return olTaskRequest;
    case kReport: return olReport;
    default: return olMail;
  }
}

std::span<const PropertyDef> propertyTable() {
  static const std::vector<PropertyDef> table = buildTable();
  return table;
}

const PropertyDef* findProperty(ItemKind kind, DISPID dispid) {
  for (const PropertyDef& def : propertyTable())
    if (def.dispid == dispid && (def.kinds & kind)) return &def;
  return nullptr;
}

const PropertyDef* findProperty(ItemKind kind, std::u16string_view name) {
  for (const PropertyDef& def : propertyTable())
    if ((def.kinds & kind) && equalsNoCase(def.name, name)) return &def;
  return nullptr;
}

}  // namespace platform::outlook::detail
