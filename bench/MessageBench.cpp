// A sample prepared for printing: the message made from the item (recipients read), its
// attachments written to the temporary folder, and the files deleted with it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <boost/make_shared.hpp>

#include "engine/Message.h"
#include "foundation/Settings.h"
#include "platform/com/ComObject.h"
#include "platform/com/DispatchImpl.h"
#include "platform/mapi/MsgFile.h"

#ifndef QM_SHARED_DIR
#define QM_SHARED_DIR "../shared"
#endif

namespace {

// An item answering MAPIOBJECT with its message, as Outlook hands an opened file to the add-in.
class CItem : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CItem)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  void hold(IMessage* message) {
    m_message = message;
    dispatchTable().property(0xF100, u"MAPIOBJECT", [this](const platform::com::CDispArgs&, VARIANT* result) {
      return platform::com::putVariant(result, CComVariant(static_cast<IUnknown*>(m_message.p)));
    });
  }

 private:
  CComPtr<IMessage> m_message;
};

void prepare(benchmark::State& state, const char* name) {
  const std::filesystem::path path = std::filesystem::path(QM_SHARED_DIR) / "testdata" / "msg" / name;
  NUtils::getTempPath();
  std::size_t files = 0;
  for (auto _ : state) {
    CComPtr<IMessage> message;
    if (FAILED(platform::mapi::openMsgFile(path, message.Receive()))) {
      state.SkipWithError("sample not found (set QM_SHARED_DIR)");
      return;
    }
    CComPtr<CComObject<CItem>> item = CComObject<CItem>::Make();
    item->hold(message);
    auto printed = boost::make_shared<CMessage>(item);
    benchmark::DoNotOptimize(printed->getRecipients(kRecipientTo));
    benchmark::DoNotOptimize(printed->getRecipients(kRecipientSender));
    files = printed->getAttachments().size() + printed->getInlineImages().size();
  }
  state.counters["files"] = static_cast<double>(files);
}

BENCHMARK_CAPTURE(prepare, attachmentFiles, "hht__attachmentFiles.msg")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(prepare, inlineImages, "poi__attachment_msg_inlineImg.msg")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(prepare, wordDocument, "tika__testMSG_att_doc.msg")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(prepare, noAttachments, "sicos__TxtSampleEmail.msg")->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // The attachments go to a temporary folder of this run, not the user's.
  char pattern[] = "/tmp/qmbench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  setenv("TMPDIR", pattern, 1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(pattern, ignored);
  return 0;
}
