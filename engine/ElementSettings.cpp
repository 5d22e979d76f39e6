#include "engine/ElementSettings.h"

#include <span>
#include <string_view>
#include <vector>

#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/com/DispatchDriver.h"
#include "platform/outlook/Dispids.h"

namespace {

enum PropType { kPropNone = 0, kPropMapi = 1, kPropUser = 2, kPropDispid = 3, kPropItem = 4 };

// The Outlook major version whose object model has no ItemProperties (Outlook 2000).
constexpr int kOutlook2000 = 9;

// White space as iswspace answers it on Windows, whatever the process's C locale.
bool isSpace(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

quilstring trimmed(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isSpace(text[begin])) ++begin;
  while (end > begin && isSpace(text[end - 1])) --end;
  return quilstring(text.substr(begin, end - begin));
}

// Takes a key out of the arguments; false when it is not there.
bool take(std::map<quilstring, quilstring>& args, const char16_t* key, quilstring& value) {
  const auto it = args.find(quilstring(key));
  if (it == args.end()) return false;
  value = std::move(it->second);
  args.erase(it);
  return true;
}

DWORD kindOfType(VARTYPE vt, bool currency) {
  switch (vt) {
    case VT_I2:
    case VT_I4: return kKindInteger;
    case VT_R4:
    case VT_R8: return kKindFloat;
    case VT_DATE: return kKindSysTime;
    case VT_BSTR: return kKindString;
    case VT_BOOL: return kKindBoolean;
    case VT_CY: return currency ? kKindCurrency : 0;
    default: return 0;
  }
}

struct SpecialName {
  const char16_t* name;
  DWORD kind;
  LONG recipientStyle;
  const char16_t* dispid = nullptr;       // for computed values read as a pseudo property
  const char16_t* specialName = nullptr;  // for values the item does not hold
};

constexpr SpecialName kSpecialNames[] = {
    {u"Body", kKindBody, 0},
    {u"Attachments", kKindAttachments, 0},
    {u"ContactPicture", kKindContactPicture, 0},
    {u"From", kKindFrom, CElementSettings::kStyleShort},
    {u"FromFull", kKindFrom, CElementSettings::kStyleFull},
    {u"To", kKindTo, CElementSettings::kStyleShort},
    {u"ToFull", kKindTo, CElementSettings::kStyleFull},
    {u"Cc", kKindCc, CElementSettings::kStyleShort},
    {u"CcFull", kKindCc, CElementSettings::kStyleFull},
    {u"Bcc", kKindBcc, CElementSettings::kStyleShort},
    {u"BccFull", kKindBcc, CElementSettings::kStyleFull},
    {u"ReceivedBy", kKindReceivedBy, CElementSettings::kStyleShort},
    {u"ReceivedByFull", kKindReceivedBy, CElementSettings::kStyleFull},
    {u"Contacts", kKindContacts, CElementSettings::kStyleShort},
    {u"ContactsAddress", kKindContacts, CElementSettings::kStyleFull},
    {u"SentOn", kKindClientSubmitTime, 0},
    {u"ReceivedTime", kKindMessageDeliveryTime, 0},
    {u"CurrentTime", kKindSysTime, 0, CElementSettings::kCurrentTimeDispid},
    {u"AttachmentCount", kKindInteger16, 0, nullptr, u"AttachmentCount"},
};

}  // namespace

CElementSettings::CElementSettings(const quilstring& text, IDispatch* item) { resolveKind(parse(text), item); }

int CElementSettings::parse(const quilstring& text) {
  int propType = kPropNone;
  if (text.size() > kMaxTextLength) {
    LOG_ERROR(u"Settings text of %d characters is too long: ignored", static_cast<int>(text.size()));
    return propType;
  }
  std::vector<quilstring> tokens;
  NUtils::tokenize(text, u"|", tokens);
  if (tokens.size() > kMaxArgs) {
    LOG_ERROR(u"Too many args (%d): only the first %d are read", static_cast<int>(tokens.size()),
              static_cast<int>(kMaxArgs));
    tokens.resize(kMaxArgs);
  }

  std::map<quilstring, quilstring> args;
  for (const quilstring& token : tokens) {
    const std::size_t equals = token.find(u'=');
    quilstring key = trimmed(std::u16string_view(token).substr(0, equals));
    if (key.empty()) {
      LOG_ERROR(u"Bad arg: \"%s\"", token.c_str());
      continue;
    }
    NUtils::toUpper(key);
    quilstring value = equals == std::u16string::npos ? quilstring() : quilstring(token.substr(equals + 1));
    const auto [it, inserted] = args.emplace(std::move(key), std::move(value));
    if (!inserted) LOG_ERROR(u"Duplicate arg: \"%s\"", it->first.c_str());
  }

  quilstring value;
  if (take(args, u"NAME", value)) m_name = trimmed(value);
  if (take(args, u"PROP_TYPE", value)) {
    const quilstring type = trimmed(value);
    if (NUtils::equalsNoCase(type, u"USER")) propType = kPropUser;
    else if (NUtils::equalsNoCase(type, u"DISPID")) propType = kPropDispid;
    else if (NUtils::equalsNoCase(type, u"MAPI")) propType = kPropMapi;
    else if (NUtils::equalsNoCase(type, u"ITEM")) propType = kPropItem;
  }
  if (take(args, u"FORMAT_STRING", value)) m_formatString = value;
  if (take(args, u"HIDE_TABLE_IF_EMPTY", value)) m_hideAncestorTag = u"TABLE";
  // Taken after the table: an element that names both hides its row.
  if (take(args, u"HIDE_ROW_IF_EMPTY", value)) m_hideAncestorTag = u"TR";
  if (take(args, u"UPPER_CASE", value)) m_flags |= kUpperCase;
  if (take(args, u"LOWER_CASE", value)) m_flags |= kLowerCase;
  if (take(args, u"VALUE_SEPARATOR", value)) m_valueSeparator = value;
  if (take(args, u"POSSIBLE_VALUES", value)) {
    std::vector<quilstring> pairs;
    NUtils::tokenize(value, NUtils::separators(), pairs);
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) m_possibleValues[trimmed(pairs[i])] = trimmed(pairs[i + 1]);
  }
  if (take(args, u"DATE_FORMAT_FLAGS", value)) m_dateFlags = trimmed(value);
  if (take(args, u"DATE_FORMAT_PICTURE", value)) m_datePicture = value;
  if (take(args, u"TIME_FORMAT_FLAGS", value)) m_timeFlags = trimmed(value);
  if (take(args, u"TIME_FORMAT_PICTURE", value)) m_timePicture = value;

  if (!args.empty()) {
    LOG_WARNING(u"Invalid named arguments specified:");
    for (const auto& [key, leftover] : args) LOG_WARNING(u"\t%s = %s", key.c_str(), leftover.c_str());
  }
  return propType;
}

void CElementSettings::resolveKind(int propType, IDispatch* item) {
  const bool outlook2000 = NGlobals::officeMajorVersion() == kOutlook2000;
  if (propType == kPropUser && outlook2000) {
    m_kind = kKindUserProperty;
    return;
  }
  if (propType == kPropItem && outlook2000) propType = kPropMapi;
  switch (propType) {
    case kPropMapi:
      m_kind = static_cast<DWORD>(NUtils::hexToLong(m_name));
      break;
    case kPropUser:
    case kPropItem:
      m_itemName = m_name;
      m_kind = kindFromNamedProperty(item, m_itemName);
      break;
    case kPropDispid:
      m_dispid = m_name;
      m_kind = kindFromItemProperty(item, m_dispid);
      break;
    default:
      resolveName(item);
      break;
  }
}

void CElementSettings::resolveName(IDispatch* item) {
  for (const SpecialName& special : kSpecialNames) {
    if (!NUtils::equalsNoCase(m_name, special.name)) continue;
    m_kind = special.kind;
    m_recipientStyle = special.recipientStyle;
    if (m_kind == kKindBody) m_flags = kBodyElement;
    if (special.dispid) m_dispid = special.dispid;
    if (special.specialName) m_specialName = special.specialName;
    return;
  }
  if (const auto* field = platform::outlook::findItemFieldDispid(m_name)) {
    m_dispid = quilstring(field->dispidText);
    m_kind = kindFromItemProperty(item, m_dispid);
  }
}

DWORD CElementSettings::kindFromItemProperty(IDispatch* item, const quilstring& dispidText) {
  if (!item) return 0;
  return NUtils::guarded(u"CElementSettings::kindFromItemProperty", DWORD{0}, [&]() -> DWORD {
    CComVariant value;
    if (FAILED(CComDispatchDriver::GetProperty(item, NUtils::hexToLong(dispidText), &value))) return 0;
    return kindOfType(value.vt, false);
  });
}

DWORD CElementSettings::kindFromNamedProperty(IDispatch* item, const quilstring& propertyName) {
  if (!item) return 0;
  return NUtils::guarded(u"CElementSettings::kindFromNamedProperty", DWORD{0}, [&]() -> DWORD {
    CComVariant properties;
    if (FAILED(CComDispatchDriver::GetProperty(item, platform::outlook::kDispidItemProperties, &properties)) ||
        properties.vt != VT_DISPATCH || !properties.pdispVal) {
      return 0;
    }
    const CComVariant name{std::u16string_view(propertyName)};
    CComVariant member;
    if (FAILED(CComDispatchDriver(properties.pdispVal)
                   .InvokeArgs(u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::span<const VARIANT>(static_cast<const VARIANT*>(&name), 1),
                               &member)) ||
        member.vt != VT_DISPATCH || !member.pdispVal) {
      return 0;
    }
    CComVariant value;
    if (FAILED(CComDispatchDriver(member.pdispVal).GetPropertyByName(u"Value", &value))) return 0;
    return kindOfType(value.vt, true);
  });
}
