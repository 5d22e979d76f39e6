// Mutated .msg files: opening from memory, reading every property as value and stream, walking
// recipients, attachments and embedded messages must stay bounded and never crash.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/mapi/MAPIInterfaces.h"
#include "platform/mapi/MsgFile.h"
#include "platform/mapi/PropTags.h"

namespace {

using platform::mapi::ComRef;

void readAll(IMAPIProp* object) {
  ULONG count = 0;
  LPSPropValue values = nullptr;
  if (FAILED(object->GetProps(nullptr, MAPI_UNICODE, &count, &values))) return;
  for (ULONG i = 0; i < count; ++i) {
    const ULONG type = PROP_TYPE(values[i].ulPropTag);
    if (type != PT_UNICODE && type != PT_BINARY) continue;
    ComRef<IUnknown> unknown;
    if (FAILED(object->OpenProperty(values[i].ulPropTag, &IID_IStream, 0, 0, unknown.receive()))) continue;
    ComRef<IStream> stream;
    unknown->QueryInterface(IID_IStream, reinterpret_cast<void**>(stream.receive()));
    char buffer[4096];
    ULONG read = 0;
    while (stream && SUCCEEDED(stream->Read(buffer, sizeof buffer, &read)) && read > 0) {
    }
  }
  MAPIFreeBuffer(values);
  LPSPropTagArray tags = nullptr;
  ULONG names = 0;
  LPMAPINAMEID* named = nullptr;
  object->GetNamesFromIDs(&tags, nullptr, 0, &names, &named);
  MAPIFreeBuffer(tags);
  MAPIFreeBuffer(named);
}

void walk(IMessage* message) {
  readAll(message);
  for (auto get : {&IMessage::GetRecipientTable, &IMessage::GetAttachmentTable}) {
    ComRef<IMAPITable> table;
    if (FAILED((message->*get)(MAPI_UNICODE, table.receive()))) continue;
    LPSRowSet rows = nullptr;
    if (SUCCEEDED(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, &rows))) FreeProws(rows);
  }
  for (ULONG i = 0;; ++i) {
    ComRef<IAttach> attach;
    if (FAILED(message->OpenAttach(i, nullptr, MAPI_BEST_ACCESS, attach.receive()))) break;
    readAll(attach.get());
    ComRef<IUnknown> unknown;
    if (SUCCEEDED(attach->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, unknown.receive())))
      walk(static_cast<IMessage*>(static_cast<IUnknown*>(unknown.get())));
  }
}

}  // namespace

// libgsf 1.14.50 leaks a directory entry when a compound file names one entry twice; that leak
// is the library's. Full malloc stacks are needed for the suppression to see its frame.
extern "C" const char* __lsan_default_suppressions() { return "leak:gsf_infile_msole_new\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ComRef<IMessage> message;
  if (SUCCEEDED(platform::mapi::openMsgMemory(data, size, message.receive()))) walk(message.get());
  return 0;
}
