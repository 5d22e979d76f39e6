#pragma once
// CElementSettings: the settings text of one template data element ("NAME=Subject|UPPER_CASE"),
// parsed, and the kind of the formatter that serves the element.

#include <cstddef>
#include <map>
#include <utility>

#include "foundation/QuilString.h"
#include "platform/WinTypes.h"

struct IDispatch;

// Formatter kinds. A scalar kind is a MAPI property type (or a whole property tag, found by its
// low 16 bits); the kinds of computed fields use the high bits. Kinds are unsigned 32-bit values.
inline constexpr DWORD kKindInteger16 = 0x00000002;
inline constexpr DWORD kKindInteger = 0x00000003;
inline constexpr DWORD kKindFloat = 0x00000004;
inline constexpr DWORD kKindCurrency = 0x00000006;
inline constexpr DWORD kKindBoolean = 0x0000000B;
inline constexpr DWORD kKindString8 = 0x0000001E;
inline constexpr DWORD kKindString = 0x0000001F;
inline constexpr DWORD kKindMultiString8 = 0x0000101E;
inline constexpr DWORD kKindMultiString = 0x0000101F;
inline constexpr DWORD kKindSysTime = 0x00000040;
inline constexpr DWORD kKindTo = 0x00010000;
inline constexpr DWORD kKindCc = 0x00020000;
inline constexpr DWORD kKindBcc = 0x00030000;
inline constexpr DWORD kKindAttachments = 0x00100000;
inline constexpr DWORD kKindUserProperty = 0x00200000;
inline constexpr DWORD kKindReceivedBy = 0x00400000;
inline constexpr DWORD kKindContacts = 0x00800000;
inline constexpr DWORD kKindFrom = 0x01000000;
inline constexpr DWORD kKindContactPicture = 0x02000000;
inline constexpr DWORD kKindSentRepresenting = 0x04000000;
inline constexpr DWORD kKindBody = 0x1000001F;
// The MAPI tags of the special date fields SentOn and ReceivedTime.
inline constexpr DWORD kKindClientSubmitTime = 0x00390040;
inline constexpr DWORD kKindMessageDeliveryTime = 0x0E060040;

class CElementSettings {
 public:
  // Flag bits.
  static constexpr DWORD kUpperCase = 0x1;
  static constexpr DWORD kLowerCase = 0x2;
  static constexpr DWORD kBodyElement = 0x200;

  // Recipient styles.
  static constexpr LONG kStyleNone = 0;
  static constexpr LONG kStyleShort = 1;
  static constexpr LONG kStyleFull = 3;

  // The dispid text of the special field CurrentTime.
  static constexpr const char16_t* kCurrentTimeDispid = u"0xFFFF";

  // Bounds on an untrusted settings text: a longer text is ignored whole (kind 0), and only the
  // first kMaxArgs arguments are read; both are logged as errors.
  static constexpr std::size_t kMaxTextLength = 16384;
  static constexpr std::size_t kMaxArgs = 64;

  // Parses the text and resolves the kind. item (may be null) is read only to learn the types
  // of item properties; no reference to it is kept. Never throws for any text: problems are
  // logged and the settings hold what was read.
  CElementSettings(const quilstring& text, IDispatch* item);

  DWORD kind() const { return m_kind; }
  DWORD flags() const { return m_flags; }
  const quilstring& formatString() const { return m_formatString; }
  const quilstring& hideAncestorTag() const { return m_hideAncestorTag; }
  const quilstring& valueSeparator() const { return m_valueSeparator; }
  const std::map<quilstring, quilstring>& possibleValues() const { return m_possibleValues; }
  const quilstring& dateFlags() const { return m_dateFlags; }
  const quilstring& datePicture() const { return m_datePicture; }
  const quilstring& timeFlags() const { return m_timeFlags; }
  const quilstring& timePicture() const { return m_timePicture; }
  const quilstring& dispid() const { return m_dispid; }
  const quilstring& name() const { return m_name; }
  const quilstring& itemName() const { return m_itemName; }
  const quilstring& specialName() const { return m_specialName; }
  LONG recipientStyle() const { return m_recipientStyle; }

  // Replaces the whole value translation (a formatter's default pairs).
  void setPossibleValues(std::map<quilstring, quilstring> values) { m_possibleValues = std::move(values); }

  // The kind of an item property from the VARIANT type of its current value, read by DISPID
  // (hexadecimal text) or through the item's ItemProperties by name; 0 when it cannot be read
  // or its type has no formatter. Never throws.
  static DWORD kindFromItemProperty(IDispatch* item, const quilstring& dispidText);
  static DWORD kindFromNamedProperty(IDispatch* item, const quilstring& propertyName);

 private:
  // Reads the arguments into the fields; answers the PROP_TYPE.
  int parse(const quilstring& text);
  void resolveKind(int propType, IDispatch* item);
  // The kind of a NAME without a usable PROP_TYPE: a special name, else the item field table.
  void resolveName(IDispatch* item);

  DWORD m_kind = 0;
  DWORD m_flags = 0;
  quilstring m_formatString;
  quilstring m_hideAncestorTag;
  quilstring m_valueSeparator;
  std::map<quilstring, quilstring> m_possibleValues;
  quilstring m_dateFlags;
  quilstring m_datePicture;
  quilstring m_timeFlags;
  quilstring m_timePicture;
  quilstring m_dispid;
  quilstring m_name;
  quilstring m_itemName;
  quilstring m_specialName;
  LONG m_recipientStyle = 0;
};
