#pragma once
// The one table that ties the object model's item properties (DISPID and name) to MAPI: which
// item types have each property, where its value comes from and in which form it is answered.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/WinTypes.h"
#include "platform/com/Guid.h"
#include "platform/com/Dispatch.h"

namespace platform::outlook::detail {

// Item types as bits, so that a property names every type that has it.
enum ItemKind : std::uint32_t {
  kMail = 1u << 0,
  kAppointment = 1u << 1,
  kMeeting = 1u << 2,  // meeting request, response and cancellation
  kContact = 1u << 3,
  kDistList = 1u << 4,
  kJournal = 1u << 5,
  kNote = 1u << 6,
  kPost = 1u << 7,
  kTask = 1u << 8,
  kTaskRequest = 1u << 9,
  kReport = 1u << 10,
};
constexpr std::uint32_t kAllKinds = 0x7FF;
constexpr std::uint32_t kMessageKinds = kMail | kMeeting | kPost | kTaskRequest | kReport;
constexpr std::uint32_t kTaskKinds = kTask | kTaskRequest;

// The item type of a message class: prefixes as Outlook matches them, ignoring case; anything
// unknown is served as a mail.
ItemKind kindOfMessageClass(std::u16string_view messageClass);
// OlObjectClass of an item type.
LONG classOfKind(ItemKind kind);

// The form of the value handed out.
enum class ValueForm : std::uint8_t { Text, Long, Bool, Date, Double, Object, Method };

// Where the value comes from.
enum class Source : std::uint8_t {
  Tag,          // a MAPI property of fixed tag
  NamedId,      // a named property (set, LID)
  NamedString,  // a named property (set, name)
  Computed,     // worked out by the item (see Computed)
};

enum class Computed : std::uint8_t {
  None,
  Application, Session, Parent, Class,
  Attachments, Links, UserProperties, ItemProperties, MapiObject, GetInspector,
  Save, Close, Display,
  Body, HTMLBody, BodyFormat,
  EntryID, FolderName, Saved, Size, UnRead, Sent, VotingOptions,
  PercentComplete, MemberCount,
};

struct PropertyDef {
  DISPID dispid;
  std::u16string_view name;
  std::uint32_t kinds;
  ValueForm form;
  Source source;
  ULONG tag = 0;  // Tag: the tag to read; Named*: the stored type wanted (PT_UNICODE, PT_MV_UNICODE ...)
  const GUID* set = nullptr;
  LONG lid = 0;
  std::u16string_view stringName = {};
  Computed computed = Computed::None;
  LONG defaultLong = 0;      // Long/Bool answered when the property is absent
  bool localDate = false;    // Date stored as local time (task dates): not shifted
  bool writable = false;     // a put is accepted (and changes nothing on disk)
  std::u16string_view joiner = u"; ";  // between the values of a multi-valued text
};

// Every property, in table order.
std::span<const PropertyDef> propertyTable();
// The property of this DISPID, or of this name (ignoring case), that the item type has; null
// when it has none.
const PropertyDef* findProperty(ItemKind kind, DISPID dispid);
const PropertyDef* findProperty(ItemKind kind, std::u16string_view name);

}  // namespace platform::outlook::detail
