// Opening a .msg sample and reading all its properties, as printing an item does.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/mapi/MAPIInterfaces.h"
#include "platform/mapi/MsgFile.h"

#ifndef QM_SHARED_DIR
#define QM_SHARED_DIR "../shared"
#endif

namespace {

using platform::mapi::ComRef;

std::string readSample(const char* name) {
  std::ifstream in(std::filesystem::path(QM_SHARED_DIR) / "testdata" / "msg" / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void readAll(IMAPIProp* object) {
  ULONG count = 0;
  LPSPropValue values = nullptr;
  object->GetProps(nullptr, MAPI_UNICODE, &count, &values);
  benchmark::DoNotOptimize(values);
  MAPIFreeBuffer(values);
}

void openAndReadAll(benchmark::State& state, const char* name) {
  const std::string bytes = readSample(name);
  if (bytes.empty()) {
    state.SkipWithError("sample not found (set QM_SHARED_DIR)");
    return;
  }
  for (auto _ : state) {
    ComRef<IMessage> message;
    if (FAILED(platform::mapi::openMsgMemory(bytes.data(), bytes.size(), message.receive()))) {
      state.SkipWithError("sample did not open");
      return;
    }
    readAll(message.get());
    ComRef<IMAPITable> table;
    message->GetRecipientTable(MAPI_UNICODE, table.receive());
    LPSRowSet rows = nullptr;
    HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, &rows);
    FreeProws(rows);
    for (ULONG i = 0;; ++i) {
      ComRef<IAttach> attach;
      if (FAILED(message->OpenAttach(i, nullptr, 0, attach.receive()))) break;
      readAll(attach.get());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

}  // namespace

BENCHMARK_CAPTURE(openAndReadAll, mail_48k, "bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image.msg");
BENCHMARK_CAPTURE(openAndReadAll, mail_144k, "poi__attachment_msg_inlineImg.msg");
