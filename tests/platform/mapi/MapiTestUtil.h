#pragma once
// Small readers shared by the MAPI tests.

#include <optional>
#include <string>

#include "platform/mapi/MAPIInterfaces.h"
#include "platform/mapi/MsgFile.h"
#include "platform/mapi/PropTags.h"
#include "platform/system/Text.h"

namespace mapitest {

using platform::mapi::ComRef;
using platform::mapi::MAPIBuffer;
using platform::mapi::RowSetPtr;

inline std::string utf8(const char16_t* text) { return text ? platform::system::utf16ToUtf8(text) : std::string(); }

// A Unicode property as UTF-8; nothing when it cannot be read.
inline std::optional<std::string> text(IMAPIProp* object, ULONG tag) {
  LPSPropValue value = nullptr;
  if (FAILED(HrGetOneProp(object, CHANGE_PROP_TYPE(tag, PT_UNICODE), &value))) return std::nullopt;
  MAPIBuffer<SPropValue> hold(value);
  return utf8(value->Value.lpszW);
}

inline std::optional<LONG> number(IMAPIProp* object, ULONG tag) {
  LPSPropValue value = nullptr;
  if (FAILED(HrGetOneProp(object, tag, &value))) return std::nullopt;
  MAPIBuffer<SPropValue> hold(value);
  return value->Value.l;
}

// A row's column as UTF-8, empty when it holds an error.
inline std::string column(const SRow& row, ULONG index) {
  const SPropValue& v = row.lpProps[index];
  return PROP_TYPE(v.ulPropTag) == PT_UNICODE ? utf8(v.Value.lpszW) : std::string();
}
inline std::optional<LONG> columnLong(const SRow& row, ULONG index) {
  const SPropValue& v = row.lpProps[index];
  if (PROP_TYPE(v.ulPropTag) != PT_LONG) return std::nullopt;
  return v.Value.l;
}

inline ComRef<IMessage> openFile(const std::string& path) {
  ComRef<IMessage> message;
  platform::mapi::openMsgFile(path, message.receive());
  return message;
}
inline ComRef<IMessage> openBytes(const std::string& bytes) {
  ComRef<IMessage> message;
  platform::mapi::openMsgMemory(bytes.data(), bytes.size(), message.receive());
  return message;
}

inline ComRef<IMessage> embeddedMessage(IMessage* message, ULONG number) {
  ComRef<IAttach> attach;
  if (FAILED(message->OpenAttach(number, nullptr, MAPI_BEST_ACCESS, attach.receive()))) return {};
  ComRef<IUnknown> unknown;
  if (FAILED(attach->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, unknown.receive()))) return {};
  ComRef<IMessage> embedded;
  unknown->QueryInterface(IID_IMessage, reinterpret_cast<void**>(embedded.receive()));
  return embedded;
}

// The whole content of a stream opened on a property.
inline std::optional<std::string> streamOf(IMAPIProp* object, ULONG tag) {
  ComRef<IUnknown> unknown;
  if (FAILED(object->OpenProperty(tag, &IID_IStream, 0, 0, unknown.receive()))) return std::nullopt;
  ComRef<IStream> stream;
  if (FAILED(unknown->QueryInterface(IID_IStream, reinterpret_cast<void**>(stream.receive())))) return std::nullopt;
  STATSTG stat{};
  if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(stat.cbSize.QuadPart), '\0');
  ULONG read = 0;
  if (FAILED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) || read != bytes.size())
    return std::nullopt;
  return bytes;
}

}  // namespace mapitest
