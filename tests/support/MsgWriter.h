#pragma once
// Builds Outlook .msg files (OLE compound files laid out as Outlook writes them) from a plain
// description, for fixtures that the real samples lack: any property type, 8-bit strings in a
// chosen code page, named properties with a generated name map, recipients, attachments and
// embedded messages, and deliberately wrong sizes.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/mapi/MAPIDefs.h"

namespace testsupport {

// One property as written. Fixed-size values: `bytes` holds the 8 inline bytes. Variable-size
// values: `bytes` is the stream (strings with their terminator, as Outlook writes them).
// Multi-valued: `values` holds each element.
struct MsgValue {
  ULONG tag = 0;
  std::string bytes;
  std::vector<std::string> values;
  std::optional<ULONG> claimedSize;  // written as the size in the property stream instead of the real one
  bool omitStream = false;           // list the property but write no value stream
};

MsgValue longProp(ULONG tag, LONG value);
MsgValue shortProp(ULONG tag, short value);
MsgValue boolProp(ULONG tag, bool value);
MsgValue i8Prop(ULONG tag, LONGLONG value);
MsgValue doubleProp(ULONG tag, double value);
MsgValue currencyProp(ULONG tag, LONGLONG tenThousandths);
MsgValue timeProp(ULONG tag, FILETIME value);
MsgValue unicodeProp(ULONG tag, std::u16string_view text);
// Raw 8-bit bytes (a terminator is added).
MsgValue string8Prop(ULONG tag, std::string_view bytes);
// Text stored as 8-bit bytes of the code page.
MsgValue ansiProp(ULONG tag, std::u16string_view text, UINT codePage);
MsgValue binaryProp(ULONG tag, std::string_view bytes);
MsgValue clsidProp(ULONG tag, const GUID& value);
MsgValue mvLongProp(ULONG tag, const std::vector<LONG>& values);
MsgValue mvUnicodeProp(ULONG tag, const std::vector<std::u16string>& values);
MsgValue mvString8Prop(ULONG tag, const std::vector<std::string>& values);
MsgValue mvBinaryProp(ULONG tag, const std::vector<std::string>& values);

// The FILETIME of a Unix time in seconds (UTC).
FILETIME fileTimeFromUnix(long long seconds);

// A named property: its set and either a number (lid) or a name. Ids are given in list order
// from 0x8000, so `namedTag(i, type)` is the tag of the i-th one, in the message and in its
// embedded messages alike.
struct MsgNamed {
  GUID guid{};
  std::optional<LONG> lid;
  std::u16string name;
  MsgValue value;  // its tag's type is used; the id is assigned
};
constexpr ULONG namedTag(ULONG index, ULONG type) { return PROP_TAG(type, 0x8000 + index); }

struct MsgDescription;

struct MsgRecipient {
  std::vector<MsgValue> props;
};

struct MsgAttachment {
  std::vector<MsgValue> props;
  std::shared_ptr<MsgDescription> embedded;  // written as PR_ATTACH_DATA_OBJ; set method 5 yourself
};

struct MsgDescription {
  std::string messageClass;  // written as PR_MESSAGE_CLASS_W unless empty
  std::vector<MsgValue> props;
  std::vector<MsgNamed> named;  // the root's only: embedded messages use the root's map
  std::vector<MsgRecipient> recipients;
  std::vector<MsgAttachment> attachments;
  // Streams at the top of this message's storage, by name, written after (and instead of) the
  // generated ones: to damage a fixture on purpose.
  std::map<std::string, std::string> rawStreams;
};

// The bytes of the compound file; empty when libgsf fails.
std::string buildMsg(const MsgDescription& description);
bool writeMsgFile(const MsgDescription& description, const std::filesystem::path& path);

}  // namespace testsupport
