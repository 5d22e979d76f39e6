#pragma once
// Reads one item's .msg file for the object model: the message is opened on first use, named
// properties are resolved by this file's own map, values come out in the object model's forms
// (local dates, joined lists) and the bodies are derived as Outlook derives them.

#include <filesystem>
#include <optional>
#include <string>

#include "platform/com/Variant.h"
#include "platform/mapi/MAPIInterfaces.h"
#include "platform/outlook/detail/PropertyTable.h"

namespace platform::outlook::detail {

// UTC FILETIME to the local DATE of the object model; Outlook's "none" for 4501-01-01 and later.
DATE localDateOfUtc(const FILETIME& utc);
// A FILETIME taken as it is (already local).
DATE dateOfFileTime(const FILETIME& local);
// Plain text as an HTML document (escaped, line breaks kept).
std::u16string htmlOfPlainText(std::u16string_view text);

class MessageReader {
 public:
  explicit MessageReader(std::filesystem::path file) : m_file(std::move(file)) {}

  // Opens the file once; null when it cannot be read (every value is then absent).
  IMessage* message();
  // Why the file cannot be opened ("cannot be read: Permission denied", "is not a valid .msg
  // file"); empty when it opens.
  std::string openFailure();
  std::uint64_t fileSize() const;

  // One property in a MAPI buffer; null when absent.
  platform::mapi::MAPIBuffer<SPropValue> read(ULONG tag);
  // The tag of a named property in this file (its type set to `type`); 0 when the file lacks it.
  ULONG namedTag(const GUID& set, LONG lid, ULONG type);
  ULONG namedTag(const GUID& set, std::u16string_view name, ULONG type);

  // The stored value of a table property in its answered form; false when the item has no value
  // (the caller answers the property's default).
  bool readStored(const PropertyDef& def, CComVariant& out);
  std::optional<std::u16string> text(ULONG tag);
  std::optional<LONG> number(ULONG tag);

  std::u16string body();
  std::u16string htmlBody();
  LONG bodyFormat();

 private:
  ULONG tagOf(const PropertyDef& def);
  std::optional<std::string> rtf();

  std::filesystem::path m_file;
  platform::mapi::ComRef<IMessage> m_message;
  bool m_opened = false;
  HRESULT m_openResult = S_OK;
};

}  // namespace platform::outlook::detail
